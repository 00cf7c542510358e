// The display's core: the extension classes, the path labels and the picture's place in the pane.

#include "display/classify.h"
#include "display/picture_frame.h"

#include <QTest>

using namespace tarvex;

class TestDisplayCore final : public QObject {
  Q_OBJECT
 private slots:
  void image_class_data();
  void image_class();
  void path_labels();
  void fitted_picture_data();
  void fitted_picture();
  void zoomed_picture_data();
  void zoomed_picture();
  void view_keeps_inside_the_picture();
};

// An image by the last three characters, or by an extension the settings file adds: the whole
// ending after a dot, in any letter case.
void TestDisplayCore::image_class_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QStringList>("added");  // values as the settings file holds them
  QTest::addColumn<bool>("image");
  const QStringList none, added{"png", "JPEG", " .webp ", "tar.gz", "tif"};
  // clang-format off
  QTest::newRow("fixed, upper case")       << "/p/PICTURE.BMP" << none  << true;
  QTest::newRow("fixed, mixed case")       << "x.Gif"          << none  << true;
  QTest::newRow("fixed, without a dot")    << "noextbmp"       << none  << true;
  QTest::newRow("four letters, fixed")     << "photo.jpeg"     << none  << false;
  QTest::newRow("png without the section") << "icon.png"       << none  << false;
  QTest::newRow("added")                   << "/p/icon.png"    << added << true;
  QTest::newRow("added, upper case")       << "ICON.PNG"       << added << true;
  QTest::newRow("added, four letters")     << "photo.jpeg"     << added << true;
  QTest::newRow("added, written .WebP")    << "a.WebP"         << added << true;
  QTest::newRow("added, with a dot inside") << "a.TAR.GZ"      << added << true;
  QTest::newRow("added, name is the dot")  << ".png"           << added << true;
  QTest::newRow("added needs its dot")     << "xpng"           << added << false;
  QTest::newRow("added ends the name")     << "icon.png.txt"   << added << false;
  QTest::newRow("longer than an entry")    << "scan.tiff"      << added << false;
  QTest::newRow("fixed still holds")       << "a.wmf"          << added << true;
  // clang-format on
}

void TestDisplayCore::image_class() {
  QFETCH(QString, path);
  QFETCH(QStringList, added);
  QFETCH(bool, image);
  AddedImageExtensions table;
  for (int i = 0; i < added.size(); ++i) table[i] = added_image_extension(added[i]);
  QCOMPARE(is_image_path(path, table), image);
}

// The path labels take the first two folders apart and leave the rest to the third.
void TestDisplayCore::path_labels() {
  const auto pieces = [](const QString& path) {
    const LabelPieces p = split_label_path(path);
    return QStringList{p.first, p.second, p.third};
  };
  QCOMPARE(pieces("x.Cur"), (QStringList{"x.Cur", "", ""}));
  QCOMPARE(pieces("/r/REPORT.XLS"), (QStringList{"/r", "/REPORT.XLS", ""}));
  QCOMPARE(pieces("/a/b/c/ICON.ICO"), (QStringList{"/a", "/b", "/c/ICON.ICO"}));
}

// Fitted, a picture is as large as the pane allows in its own proportions, never larger than its
// own size, and centred; it needs no scroll bars.
void TestDisplayCore::fitted_picture_data() {
  QTest::addColumn<QSize>("picture");
  QTest::addColumn<QSize>("pane");
  QTest::addColumn<QRect>("shown");
  const QSize photo(3264, 2448), portrait(2448, 3264);
  // clang-format off
  QTest::newRow("landscape, same shape") << photo          << QSize(400, 300)   << QRect(0, 0, 400, 300);
  QTest::newRow("landscape, wide pane")  << photo          << QSize(640, 300)   << QRect(120, 0, 400, 300);
  QTest::newRow("landscape, tall pane")  << photo          << QSize(400, 900)   << QRect(0, 300, 400, 300);
  QTest::newRow("portrait, wide pane")   << portrait       << QSize(400, 300)   << QRect(87, 0, 225, 300);
  QTest::newRow("portrait, tall pane")   << portrait       << QSize(300, 800)   << QRect(0, 200, 300, 400);
  QTest::newRow("tiny, not enlarged")    << QSize(100, 75) << QSize(400, 300)   << QRect(150, 112, 100, 75);
  QTest::newRow("tiny, exactly")         << QSize(100, 75) << QSize(100, 75)    << QRect(0, 0, 100, 75);
  QTest::newRow("huge")                  << QSize(20000, 15000) << QSize(1600, 900) << QRect(200, 0, 1200, 900);
  QTest::newRow("panorama")              << QSize(40000, 1000) << QSize(400, 300) << QRect(0, 145, 400, 10);
  QTest::newRow("one pixel")             << QSize(1, 1)    << QSize(400, 300)   << QRect(199, 149, 1, 1);
  QTest::newRow("pane with no room")     << photo          << QSize(0, 0)       << QRect(0, 0, 1, 1);
  // clang-format on
}

void TestDisplayCore::fitted_picture() {
  QFETCH(QSize, picture);
  QFETCH(QSize, pane);
  QFETCH(QRect, shown);
  PictureFrame frame;
  frame.set_picture(picture, true);
  frame.set_pane(pane, 16);
  const FrameGeometry g = frame.geometry();
  QCOMPARE(g.picture, shown);
  QVERIFY(!g.horizontal_bar && !g.vertical_bar);
  QCOMPARE(g.viewport, pane);
  QCOMPARE(g.max_scroll, QPoint(0, 0));
  QVERIFY(frame.fitting());
}

// The zoom keys in turn: "+" and "-" step, "1" is the picture's own size, "0" fits again; the
// middle of the view stays on the same point of the picture as far as the view allows. Scroll
// bars are 16 pixels thick.
void TestDisplayCore::zoomed_picture_data() {
  QTest::addColumn<QSize>("picture");
  QTest::addColumn<QSize>("pane");
  QTest::addColumn<bool>("fit");  // how the picture starts: fitted, or at its own size
  QTest::addColumn<QString>("keys");
  QTest::addColumn<double>("scale");
  QTest::addColumn<QRect>("shown");
  QTest::addColumn<QString>("bars");  // "h", "v", "hv" or ""
  const QSize photo(3264, 2448), tiny(100, 75), pane(400, 300);
  // clang-format off
  QTest::newRow("photo, one step in")    << photo << pane << true  << "+"   << 1.0 / 8  << QRect(-12, -11, 408, 306)       << "hv";
  QTest::newRow("photo, own size")       << photo << pane << true  << "1"   << 1.0      << QRect(-1440, -1082, 3264, 2448) << "hv";
  QTest::newRow("photo, own size, fit")  << photo << pane << true  << "10"  << 0.1225   << QRect(0, 0, 400, 300)         << "";
  QTest::newRow("photo, one step out")   << photo << pane << true  << "-"   << 1.0 / 12 << QRect(64, 48, 272, 204)       << "";
  QTest::newRow("photo, in then out")    << photo << pane << true  << "++-" << 1.0 / 8  << QRect(-12, -11, 408, 306)       << "hv";
  QTest::newRow("photo, unfitted")       << photo << pane << false << ""    << 1.0      << QRect(0, 0, 3264, 2448)       << "hv";
  QTest::newRow("photo, unfitted, out")  << photo << pane << false << "-"   << 2.0 / 3  << QRect(0, 0, 2176, 1632)       << "hv";
  QTest::newRow("tiny, one step in")     << tiny  << pane << true  << "+"   << 1.5      << QRect(125, 93, 150, 113)      << "";
  QTest::newRow("tiny, largest")         << tiny  << pane << true  << QString(20, '+') << 16.0 << QRect(-608, -458, 1600, 1200) << "hv";
  QTest::newRow("tiny, smallest")        << tiny  << pane << true  << QString(20, '-') << 0.05 << QRect(197, 148, 5, 4)     << "";
  QTest::newRow("wider than the pane")   << QSize(410, 250) << pane << false << "" << 1.0  << QRect(0, 17, 410, 250)       << "h";
  QTest::newRow("one bar brings the other") << QSize(410, 290) << pane << false << "" << 1.0 << QRect(0, 0, 410, 290)     << "hv";
  QTest::newRow("huge, below the smallest step") << QSize(40000, 1000) << pane << true << "-" << 0.01 << QRect(0, 145, 400, 10) << "";
  // clang-format on
}

void TestDisplayCore::zoomed_picture() {
  QFETCH(QSize, picture);
  QFETCH(QSize, pane);
  QFETCH(bool, fit);
  QFETCH(QString, keys);
  QFETCH(double, scale);
  QFETCH(QRect, shown);
  QFETCH(QString, bars);
  PictureFrame frame;
  frame.set_picture(picture, fit);
  frame.set_pane(pane, 16);
  for (const QChar key : keys) {
    if (key == '+') frame.zoom_in();
    if (key == '-') frame.zoom_out();
    if (key == '1') frame.zoom_to(1.0);
    if (key == '0') frame.fit();
  }
  const FrameGeometry g = frame.geometry();
  QVERIFY2(qAbs(g.scale - scale) < 0.0001, qPrintable(QString::number(g.scale)));
  QCOMPARE(g.picture, shown);
  QCOMPARE(QString(g.horizontal_bar ? "h" : "") + (g.vertical_bar ? "v" : ""), bars);
  QCOMPARE(g.viewport, pane - QSize(g.vertical_bar ? 16 : 0, g.horizontal_bar ? 16 : 0));
}

// Scrolling stops at the picture's edges, a pane grown past the picture centres it again, and a
// zoom at the mouse keeps the point under the mouse where it was.
void TestDisplayCore::view_keeps_inside_the_picture() {
  PictureFrame frame;
  frame.set_picture(QSize(1000, 800), false);
  frame.set_pane(QSize(216, 216), 16);
  QCOMPARE(frame.geometry().max_scroll, QPoint(800, 600));
  frame.scroll_to(QPoint(5000, -20));
  QCOMPARE(frame.geometry().scroll, QPoint(800, 0));
  QCOMPARE(frame.geometry().picture.topLeft(), QPoint(-800, 0));
  frame.scroll_to(QPoint(400, 300));
  frame.zoom_to(2.0, QPointF(50, 20));
  // Picture point (450, 320) was under the mouse and still is.
  QCOMPARE(frame.geometry().picture.topLeft() + QPoint(900, 640), QPoint(50, 20));
  frame.set_pane(QSize(3000, 2000), 16);
  QCOMPARE(frame.geometry().picture, QRect(500, 200, 2000, 1600));
  QVERIFY(!frame.geometry().horizontal_bar && !frame.geometry().vertical_bar);
  frame.set_pane(QSize(216, 216), 16);
  QCOMPARE(frame.geometry().scroll, QPoint(0, 0));
  // No picture: nothing to show, nothing to zoom.
  PictureFrame empty;
  empty.set_pane(QSize(400, 300), 16);
  empty.zoom_in();
  QVERIFY(empty.geometry().picture.isEmpty());
  QVERIFY(empty.fitting());
}

QTEST_MAIN(TestDisplayCore)
#include "test_display_core.moc"
