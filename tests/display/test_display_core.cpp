// The display's core: the extension classes and the path labels.

#include "display/classify.h"

#include <QTest>

using namespace tarvex;

class TestDisplayCore final : public QObject {
  Q_OBJECT
 private slots:
  void image_class_data();
  void image_class();
  void path_labels();
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

QTEST_MAIN(TestDisplayCore)
#include "test_display_core.moc"
