// Reading pictures: metafiles and the picture loader's limits.

#include "heif_writer.h"
#include "pictures/picture_loader.h"
#include "pictures/wmf_player.h"
#include "test_pictures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <atomic>
#include <thread>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

QByteArray data_file(const char* name) {
  QFile f(QStringLiteral(TARVEX_TEST_DATA_DIR "/") + QString::fromLatin1(name));
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

// One metafile record: size in words, function, parameters.
QByteArray wmf_record(quint16 function, const QList<qint16>& words, const QByteArray& raw = {}) {
  QByteArray body;
  for (qint16 w : words) body += QByteArray(reinterpret_cast<const char*>(&w), 2);
  body += raw;
  if (body.size() % 2) body += '\0';
  const quint32 size = 3 + body.size() / 2;
  return QByteArray(reinterpret_cast<const char*>(&size), 4) +
         QByteArray(reinterpret_cast<const char*>(&function), 2) + body;
}

// clang-format off
QByteArray colorref(int r, int g, int b) { return QByteArray(1, char(r)) + char(g) + char(b) + '\0'; }
QByteArray rect(int left, int top, int right, int bottom) { return wmf_record(0x041B, {qint16(bottom), qint16(right), qint16(top), qint16(left)}); }
QByteArray map_mode(int mode) { return wmf_record(0x0103, {qint16(mode)}); }
QByteArray window_org(int x, int y) { return wmf_record(0x020B, {qint16(y), qint16(x)}); }
QByteArray window_ext(int w, int h) { return wmf_record(0x020C, {qint16(h), qint16(w)}); }
QByteArray viewport_ext(int w, int h) { return wmf_record(0x020E, {qint16(h), qint16(w)}); }
// clang-format on

// A metafile with a plain header and room for ten objects: a red brush and no pen selected, then
// `records`.
QByteArray plain_wmf(const QByteArray& records) {
  QByteArray file("\x01\0\x09\0\0\x03\0\0\0\0\x0A\0\0\0\0\0\0\0", 18);
  file += wmf_record(0x02FC, {0}, colorref(255, 0, 0) + QByteArray(2, 0));  // brush 0: red
  file += wmf_record(0x02FA, {5, 0, 0}, colorref(0, 0, 0));                 // pen 1: none
  file += wmf_record(0x012D, {0}) + wmf_record(0x012D, {1});
  return file + records + wmf_record(0x0000, {});
}

using Ink = QList<std::pair<QPoint, QColor>>;  // where a picture shows which colour

}  // namespace

class TestPictureReaders final : public QObject {
  Q_OBJECT
 private slots:
  void wmf_drawing_data();
  void wmf_drawing();
  void wmf_draws_in_bounded_time_data();
  void wmf_draws_in_bounded_time();
  void pictures_data();
  void pictures();
  void limits_of_one_decode_leave_another_alone();
  void added_formats_data();
  void added_formats();
  void drawings_data();
  void drawings();
  void heif_pictures_data();
  void heif_pictures();
  void heif_orientation_data();
  void heif_orientation();
  void heif_refused_data();
  void heif_refused();
};

// Metafiles drawn at a size: the colour at each point. Those without a placeable header set
// their frame and scale with the window, the viewport and the map mode.
void TestPictureReaders::wmf_drawing_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("size");  // its own, at which it is drawn
  QTest::addColumn<Ink>("ink");
  const QColor red(Qt::red), white(Qt::white), yellow(Qt::yellow), blue(Qt::blue);
  // Inside the rectangle, the ellipse and the triangle; the rectangle's left and top edges.
  const Ink shapes = {{{100, 60}, yellow}, {{300, 215}, yellow}, {{340, 40}, yellow},
                      {{20, 100}, blue},   {{100, 21}, blue},    {{5, 5}, white},
                      {{250, 280}, white}};
  // clang-format off
  QTest::newRow("placeable")                  << data_file("shapes.wmf") << QSize(400, 300) << shapes;
  QTest::newRow("isotropic")                  << plain_wmf(map_mode(7) + window_ext(1000, 1000) + viewport_ext(400, 200) + rect(0, 500, 500, 1000)) << QSize(200, 200) << Ink{{{50, 150}, red}, {{150, 50}, white}};
  QTest::newRow("flipped by the extent")      << plain_wmf(map_mode(8) + window_org(0, 500) + window_ext(1000, -500) + viewport_ext(200, 100) + rect(0, 0, 500, 250)) << QSize(200, 100) << Ink{{{50, 75}, red}, {{50, 25}, white}};
  QTest::newRow("twips, y upwards")           << plain_wmf(map_mode(6) + window_ext(2880, 1440) + rect(1440, 0, 2880, -720)) << QSize(192, 96) << Ink{{{150, 20}, red}, {{50, 70}, white}};
  QTest::newRow("window extent scaled")       << plain_wmf(map_mode(8) + window_ext(500, 250) + viewport_ext(200, 100) + wmf_record(0x0410, {1, 2, 1, 2}) + rect(500, 0, 1000, 250)) << QSize(200, 100) << Ink{{{150, 25}, red}, {{50, 75}, white}};
  QTest::newRow("viewport origin moved")      << plain_wmf(map_mode(8) + window_ext(500, 250) + viewport_ext(200, 100) + rect(0, 0, 1, 1) + wmf_record(0x020D, {50, 100}) + rect(0, 0, 500, 250)) << QSize(200, 100) << Ink{{{150, 75}, red}, {{50, 25}, white}};
  // clang-format on
}

void TestPictureReaders::wmf_drawing() {
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, size);
  QFETCH(Ink, ink);
  const std::optional<WmfPicture> pic = parse_wmf(bytes);
  QVERIFY(pic);
  QCOMPARE(pic->natural_size_px(), size);
  const QImage image = render_wmf(*pic, size);
  QCOMPARE(image.size(), size);
  for (const auto& [at, colour] : ink)
    QVERIFY2(image.pixelColor(at) == colour,
             qPrintable(QStringLiteral("at %1,%2").arg(at.x()).arg(at.y())));
  // At twice the size the same places scale with it.
  QCOMPARE(render_wmf(*pic, size * 2).pixelColor(ink[0].first * 2), ink[0].second);
}

// Metafiles drawn in bounded time, with ink where they draw: shapes reaching far beyond the
// picture, under a window stretched one way, are cut to what can be seen before they are drawn;
// the line "日本語ﾃｷｽﾄ" (code page 932) is drawn at x 200, y 100 (top-aligned), 24 pixels high.
void TestPictureReaders::wmf_draws_in_bounded_time_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<QRect>("ink");  // where some dark ink must show; invalid: anywhere
  const QByteArray wide_pen = data_file("wide_pen_far_outside.wmf");
  const QByteArray far = map_mode(8) + window_ext(300, 400) + viewport_ext(300, 30000) +
                         wmf_record(0x02FA, {0, 40, 0}, colorref(0, 0, 255)) +
                         wmf_record(0x012D, {2});
  // clang-format off
  QTest::newRow("wide pen far outside, as found")  << wide_pen << QSize() << QRect();
  QTest::newRow("wide pen far outside, stretched") << wide_pen << QSize(1000, 8000) << QRect();
  QTest::newRow("huge ellipse")   << plain_wmf(far + wmf_record(0x0418, {32000, 32000, -32000, -32000})) << QSize(300, 8000) << QRect();
  QTest::newRow("huge text")      << plain_wmf(far + wmf_record(0x02FB, {-3000, 0, 0, 0, 400, 0, 0}) + wmf_record(0x012D, {3}) + wmf_record(0x0521, {4, 0x4848, 0x4848, -1500, -200})) << QSize(300, 8000) << QRect();
  QTest::newRow("japanese text") << data_file("japanese_text.wmf") << QSize() << QRect(200, 100, 150, 28);
  // clang-format on
}

void TestPictureReaders::wmf_draws_in_bounded_time() {
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, size);
  QFETCH(QRect, ink);
  QElapsedTimer clock;
  clock.start();
  const std::optional<LoadedPicture> loaded = load_picture_bytes(bytes, size);
  QVERIFY(loaded);
  QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
  const QImage& image = loaded->image;
  if (!ink.isValid()) ink = image.rect();
  int dark = 0;
  for (int y = ink.top(); y <= ink.bottom() && dark <= 20; y += 3) {
    for (int x = ink.left(); x <= ink.right(); ++x) dark += qGray(image.pixel(x, y)) < 100;
  }
  QVERIFY2(dark > 20, qPrintable(QString::number(dark)));
}

// Pictures loaded for a pane of `pane` pixels (invalid: at their own size) within the given
// limits: pictures above the limits are decoded smaller when they are JPEGs and refused
// otherwise.
void TestPictureReaders::pictures_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("pane");
  QTest::addColumn<qint64>("max_pixels");
  QTest::addColumn<qint64>("memory_bytes");  // -1: unknown
  QTest::addColumn<QSize>("decoded");        // invalid: refused
  QTest::addColumn<QSize>("full");
  // A metafile whose placeable header frames 30000 × 20000 pixels, with nothing to draw.
  const QByteArray huge_frame =
      QByteArray("\xD7\xCD\xC6\x9A\0\0\0\0\0\0\x30\x75\x20\x4E\x60\0\0\0\0\0\0\0", 22) +
      QByteArray("\x01\0\x09\0\0\x03\x0C\0\0\0\0\0\x03\0\0\0\0\0\x03\0\0\0\0\0", 24);
  const QByteArray bmp = image_bytes(test_pattern(1000, 1000), "bmp");
  const QByteArray wide_bmp = image_bytes(test_pattern(2000, 1000), "bmp");
  const QByteArray jpeg = image_bytes(test_pattern(2000, 1000), "jpeg");
  const QByteArray large_jpeg = image_bytes(test_pattern(4000, 2000), "jpeg");
  // A JPEG whose frame header claims `size` while its data is that of a small picture.
  const auto jpeg_claiming = [](QSize size) {
    QByteArray bytes = image_bytes(test_pattern(16, 16), "jpeg");
    const char dims[] = {char(size.height() >> 8), char(size.height() & 0xFF),
                         char(size.width() >> 8), char(size.width() & 0xFF)};
    return bytes.replace(bytes.indexOf(QByteArray("\xFF\xC0", 2)) + 5, 4, QByteArray(dims, 4));
  };
  // A phone photo of 8000 × 6000 pixels is shown whole within the pixel limit; the kernel's
  // estimate of the free memory is read.
  QVERIFY(PictureLimits::for_this_machine().memory_bytes > 0);
  QImage photo(8000, 6000, QImage::Format_Grayscale8);
  photo.fill(128);
  const QSize no, own;
  const qint64 all = kMaxPicturePixels, unknown = -1;
  // clang-format off
  QTest::newRow("huge metafile frame, drawn smaller in its shape") << huge_frame << own << all << unknown << QSize(7094, 4729) << QSize(7094, 4729);
  QTest::newRow("bmp at the limit")                  << bmp        << own << qint64(1000000) << unknown << QSize(1000, 1000) << QSize(1000, 1000);
  QTest::newRow("bmp above the limit")               << wide_bmp   << own << qint64(1000000) << unknown << no << no;
  QTest::newRow("bmp above the free memory")         << wide_bmp   << own << all << qint64(4000000) << no << no;
  QTest::newRow("jpeg within the limit")             << jpeg       << own << qint64(2000000) << unknown << QSize(2000, 1000) << QSize(2000, 1000);
  QTest::newRow("jpeg above the limit at a half")    << jpeg       << own << qint64(1000000) << unknown << QSize(1000, 500) << QSize(2000, 1000);
  QTest::newRow("jpeg above the free memory")        << jpeg       << own << all << qint64(4000000) << QSize(1000, 500) << QSize(2000, 1000);
  QTest::newRow("jpeg far above the limit")          << large_jpeg << own << qint64(200000) << unknown << QSize(500, 250) << QSize(4000, 2000);
  QTest::newRow("jpeg whose eighth is too large")    << large_jpeg << own << qint64(100000) << unknown << no << no;
  QTest::newRow("jpeg claiming 60000 x 60000")       << jpeg_claiming({60000, 60000}) << own << all << unknown << no << no;
  QTest::newRow("jpeg claiming 5000 x 3000 is read") << jpeg_claiming({5000, 3000}) << own << all << unknown << QSize(5000, 3000) << QSize(5000, 3000);
  QTest::newRow("ordinary photo of 48 megapixels") << image_bytes(photo, "jpeg", 5) << own << all << unknown << QSize(8000, 6000) << QSize(8000, 6000);
  // clang-format on
}

void TestPictureReaders::pictures() {
  QVERIFY(!load_picture_file(QDir::tempPath()));  // a folder is no picture
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, pane);
  QFETCH(qint64, max_pixels);
  QFETCH(qint64, memory_bytes);
  QFETCH(QSize, decoded);
  QFETCH(QSize, full);
  const std::optional<LoadedPicture> loaded =
      load_picture_bytes(bytes, pane, PictureLimits{max_pixels, memory_bytes});
  QCOMPARE(loaded.has_value(), decoded.isValid());
  if (!loaded) return;
  QCOMPARE(loaded->image.size(), decoded);
  QCOMPARE(loaded->full_size, full);
}

// The window thread and the slideshow's look-ahead decode at the same time, each within its own
// limits. Qt's allocation guard is shared by every reader of the process: a decode under tight
// limits must not lower it, or a large picture read at that moment elsewhere fails and is
// reported as a missing file.
void TestPictureReaders::limits_of_one_decode_leave_another_alone() {
  const QByteArray large = image_bytes(test_pattern(1200, 1000), "bmp");  // 4.8 MB decoded
  const QByteArray small = image_bytes(test_pattern(8, 8), "bmp");
  const PictureLimits roomy{kMaxPicturePixels, -1};
  const PictureLimits tight{kMaxPicturePixels, 1024 * 1024};
  QVERIFY(load_picture_bytes(small, QSize(), tight));
  QVERIFY(!load_picture_bytes(large, QSize(), tight));  // the tight limits hold for their own
  QVERIFY(!QImage::fromData(large).isNull());

  std::atomic<bool> running{true};
  std::atomic<int> small_failures{0};
  std::thread other([&] {
    while (running) {
      if (!load_picture_bytes(small, QSize(), tight)) ++small_failures;
    }
  });
  int large_failures = 0;
  for (int i = 0; i < 40; ++i) {
    if (!load_picture_bytes(large, QSize(), roomy)) ++large_failures;
  }
  running = false;
  other.join();
  QCOMPARE(large_failures, 0);
  QCOMPARE(small_failures.load(), 0);
}

// The formats Qt's image plugins add, from files ImageMagick wrote (tests/data/make_pictures.sh):
// the left half red and the right half white, at their own size or drawn for a pane.
void TestPictureReaders::added_formats_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QSize>("pane");
  QTest::addColumn<QSize>("decoded");
  QTest::addColumn<bool>("drawn");
  const QSize own, size(40, 30);
  // clang-format off
  QTest::newRow("png")                << "picture.png"   << own << size << false;
  QTest::newRow("png, 16 bits")       << "picture16.png" << own << size << false;
  QTest::newRow("tiff")               << "picture.tif"   << own << size << false;
  QTest::newRow("webp")               << "picture.webp"  << own << size << false;
  QTest::newRow("jpeg")               << "picture.jpeg"  << own << size << false;
  QTest::newRow("svg")                << "drawing.svg"   << own << size << true;
  QTest::newRow("svg for a pane")     << "drawing.svg"   << QSize(80, 60) << QSize(80, 60) << true;
  QTest::newRow("png is not fitted")  << "picture.png"   << QSize(80, 60) << size << false;
  // clang-format on
}

void TestPictureReaders::added_formats() {
  QFETCH(QString, name);
  QFETCH(QSize, pane);
  QFETCH(QSize, decoded);
  QFETCH(bool, drawn);
  const std::optional<LoadedPicture> loaded =
      load_picture_file(QStringLiteral(TARVEX_TEST_DATA_DIR "/") + name, pane);
  QVERIFY(loaded);
  QCOMPARE(loaded->image.size(), decoded);
  QCOMPARE(loaded->full_size, QSize(40, 30));
  QCOMPARE(loaded->drawn, drawn);
  const QColor left = loaded->image.pixelColor(decoded.width() / 4, decoded.height() / 2);
  const QColor right = loaded->image.pixelColor(decoded.width() * 3 / 4, decoded.height() / 2);
  QVERIFY2(left.red() > 230 && left.green() < 30 && left.blue() < 30, qPrintable(left.name()));
  QVERIFY2(right.red() > 230 && right.green() > 230 && right.blue() > 230,
           qPrintable(right.name()));
}

// SVG drawings are drawn when they stand alone. One that names another file (which Qt's reader
// would open as it reads, and a pipe would block it for good), that is compressed, or that is no
// well-formed XML is refused; so is one whose inline pictures are too large together.
void TestPictureReaders::drawings_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("full");  // invalid: refused
  static QTemporaryDir dir;
  const QByteArray pipe = QFile::encodeName(dir.filePath(QStringLiteral("pipe.png")));
  QVERIFY(::mkfifo(pipe.constData(), 0600) == 0);
  const auto svg = [](const QByteArray& body,
                      const QByteArray& size = "width=\"40\" height=\"30\"") {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" " +
           size + ">" + body + "</svg>";
  };
  const auto image = [](const QByteArray& reference, const QByteArray& name = "xlink:href") {
    return "<image x=\"0\" y=\"0\" width=\"20\" height=\"30\" " + name + "=\"" + reference + "\"/>";
  };
  const auto inline_data = [](const QByteArray& bytes, const char* type) {
    return QByteArray("data:") + type + ";base64," + bytes.toBase64();
  };
  const QByteArray red = "<rect width=\"20\" height=\"30\" fill=\"red\"/>";
  const QByteArray png = image_bytes(test_pattern(20, 30), "png");
  QImage blank(9000, 8000, QImage::Format_Mono);  // 72 million pixels in a few kilobytes
  blank.fill(0);
  const QByteArray blank_png = image_bytes(blank, "png");
  const QSize refused, own(40, 30);
  // clang-format off
  QTest::newRow("stands alone")              << svg(red) << own;
  QTest::newRow("frame from the view box")   << svg(red, "viewBox=\"0 0 30 20\"") << QSize(30, 20);
  QTest::newRow("far too large, same shape") << svg(red, "width=\"90000\" height=\"30000\"") << QSize(10033, 3344);
  QTest::newRow("inline picture")            << svg(image(inline_data(png, "image/png"))) << own;
  QTest::newRow("inline drawing")            << svg(image(inline_data(svg(red), "image/svg+xml"))) << own;
  QTest::newRow("fragment: a name to Qt")     << svg(image("#part")) << refused;
  QTest::newRow("names a file")              << svg(image(QFile::encodeName(QStringLiteral(TARVEX_TEST_DATA_DIR "/picture.png")))) << refused;
  QTest::newRow("names a pipe")              << svg(image(pipe)) << refused;
  QTest::newRow("names a pipe by href")      << svg(image(pipe, "href")) << refused;
  QTest::newRow("names a file URL")          << svg(image("file://" + pipe)) << refused;
  QTest::newRow("DATA in capitals")          << svg(image("DATA:" + pipe)) << refused;
  QTest::newRow("name in an entity")         << "<!DOCTYPE svg [<!ENTITY f \"" + pipe + "\">]>" + svg(image("&f;")) << refused;
  QTest::newRow("prefixed image element")    << svg("<s:image xmlns:s=\"http://www.w3.org/2000/svg\" xlink:href=\"" + pipe + "\"/>") << refused;
  QTest::newRow("inline drawing names pipe") << svg(image(inline_data(svg(image(pipe)), "image/svg+xml"))) << refused;
  QTest::newRow("inline picture too large")  << svg(image(inline_data(blank_png, "image/png"))) << refused;
  QTest::newRow("compressed")                << data_file("drawing.svgz") << refused;
  QTest::newRow("not well-formed")           << svg(red).chopped(3) << refused;
  // clang-format on
}

void TestPictureReaders::drawings() {
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, full);
  const std::optional<LoadedPicture> loaded = load_picture_bytes(bytes);
  QCOMPARE(loaded.has_value(), full.isValid());
  if (!loaded) return;
  QCOMPARE(loaded->full_size, full);
  QCOMPARE(loaded->image.size(), full);
  QVERIFY(loaded->drawn);
}

// HEIF pictures from files heif-enc wrote (tests/data/make_pictures.sh): the left half red and the
// right half white (transparent in the AVIF with alpha), read by libheif, which Qt cannot read.
// They are decoded whole even for a pane, and a HEIF whose first brand is the general image brand
// (as some cameras write) reads like a HEIC.
void TestPictureReaders::heif_pictures_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("pane");
  QTest::addColumn<bool>("transparent_right");
  const QByteArray heic = data_file("picture.heic");
  QByteArray mif1 = heic;
  mif1.replace(8, 4, "mif1");
  const QSize own;
  // clang-format off
  QTest::newRow("heic")                  << heic                              << own            << false;
  QTest::newRow("heic for a pane")       << heic                              << QSize(80, 60)  << false;
  QTest::newRow("heic, 10 bits")         << data_file("picture10.heic")       << own            << false;
  QTest::newRow("avif")                  << data_file("picture.avif")         << own            << false;
  QTest::newRow("avif with alpha")       << data_file("picture_alpha.avif")   << own            << true;
  QTest::newRow("heif, mif1 brand first") << mif1                             << own            << false;
  // clang-format on
}

void TestPictureReaders::heif_pictures() {
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, pane);
  QFETCH(bool, transparent_right);
  QVERIFY(QImage::fromData(bytes).isNull());  // Qt's own readers cannot
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("photo.heic"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
  file.close();
  for (const std::optional<LoadedPicture>& loaded :
       {load_picture_file(path, pane), load_picture_bytes(bytes, pane)}) {
    QVERIFY(loaded);
    QCOMPARE(loaded->image.size(), QSize(40, 30));
    QCOMPARE(loaded->full_size, QSize(40, 30));
    QVERIFY(!loaded->drawn);
    const QColor left = loaded->image.pixelColor(10, 15);
    const QColor right = loaded->image.pixelColor(30, 15);
    QVERIFY2(left.red() > 220 && left.green() < 40 && left.blue() < 40, qPrintable(left.name()));
    QCOMPARE(left.alpha(), 255);
    if (transparent_right) {
      QVERIFY2(right.alpha() < 30, qPrintable(QString::number(right.alpha())));
    } else {
      QVERIFY2(right.red() > 220 && right.green() > 220 && right.blue() > 220,
               qPrintable(right.name()));
    }
  }
}

// A HEIF container turns and mirrors its picture with its own boxes, which libheif applies: a
// picture stored 40 × 30 with a red top-left quarter, under each EXIF orientation, shows the red
// quarter in the corner that orientation puts it (0 top left, 1 top right, 2 bottom right, 3
// bottom left), at its upright size.
void TestPictureReaders::heif_orientation_data() {
  QTest::addColumn<int>("codec");
  QTest::addColumn<int>("orientation");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<int>("red_corner");
  const QSize wide(40, 30), tall(30, 40);
  const int hevc = int(HeifCodec::hevc), av1 = int(HeifCodec::av1);
  // clang-format off
  QTest::newRow("1 upright")                 << hevc << 1 << wide << 0;
  QTest::newRow("2 mirrored")                << hevc << 2 << wide << 1;
  QTest::newRow("3 half turn")               << hevc << 3 << wide << 2;
  QTest::newRow("4 flipped")                 << hevc << 4 << wide << 3;
  QTest::newRow("5 quarter, mirrored")       << hevc << 5 << tall << 0;
  QTest::newRow("6 quarter clockwise")       << hevc << 6 << tall << 1;
  QTest::newRow("7 quarter, flipped")        << hevc << 7 << tall << 2;
  QTest::newRow("8 quarter anticlockwise")   << hevc << 8 << tall << 3;
  QTest::newRow("avif, quarter clockwise")   << av1  << 6 << tall << 1;
  QTest::newRow("avif, mirrored")            << av1  << 2 << wide << 1;
  // clang-format on
}

void TestPictureReaders::heif_orientation() {
  QFETCH(int, codec);
  QFETCH(int, orientation);
  QFETCH(QSize, size);
  QFETCH(int, red_corner);
  QImage stored(40, 30, QImage::Format_RGB32);
  stored.fill(Qt::white);
  for (int y = 0; y < 15; ++y) {
    for (int x = 0; x < 20; ++x) stored.setPixel(x, y, qRgb(255, 0, 0));
  }
  const QByteArray bytes = heif_bytes(stored, HeifCodec(codec), orientation);
  QVERIFY(!bytes.isEmpty());
  const std::optional<LoadedPicture> loaded = load_picture_bytes(bytes);
  QVERIFY(loaded);
  QCOMPARE(loaded->image.size(), size);
  QCOMPARE(loaded->full_size, size);
  const int w = size.width(), h = size.height();
  const QPoint corners[] = {
      {w / 4, h / 4}, {w * 3 / 4, h / 4}, {w * 3 / 4, h * 3 / 4}, {w / 4, h * 3 / 4}};
  for (int c = 0; c < 4; ++c) {
    const QColor colour = loaded->image.pixelColor(corners[c]);
    const bool red = colour.red() > 200 && colour.green() < 60;
    QVERIFY2(red == (c == red_corner),
             qPrintable(QStringLiteral("corner %1: %2").arg(c).arg(colour.name())));
  }
}

// A HEIF container is refused, never decoded in part or crashed on, when it is damaged, cut
// short, or declares a size beyond the limits or absurd for its bytes (checked before decoding).
// A film in the same box structure is no picture.
void TestPictureReaders::heif_refused_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<qint64>("max_pixels");
  QTest::addColumn<qint64>("memory_bytes");  // -1: unknown
  QTest::addColumn<bool>("read");
  const QByteArray heic = data_file("picture.heic");
  const QByteArray avif = data_file("picture.avif");
  // The picture's size as its last 'ispe' box declares it (big-endian width and height): the
  // grid heif-enc wraps its coded tile in, as a phone does.
  const auto claiming = [](QByteArray bytes, quint32 w, quint32 h) {
    const qsizetype at = bytes.lastIndexOf("ispe") + 8;
    for (int i = 0; i < 4; ++i) {
      bytes[at + i] = char(w >> (24 - 8 * i));
      bytes[at + 4 + i] = char(h >> (24 - 8 * i));
    }
    return bytes;
  };
  QByteArray film = heic;
  film.replace(8, 4, "isom");
  film.replace(16, 12, "isomiso2mp41");
  QByteArray zeroed = heic;  // the coded picture's bytes zeroed
  const qsizetype mdat = zeroed.indexOf("mdat") + 4;
  zeroed.replace(mdat, zeroed.size() - mdat, QByteArray(zeroed.size() - mdat, '\0'));
  const qint64 all = kMaxPicturePixels, unknown = -1;
  // Decoding a HEIF picture holds up to seven bytes a pixel at once.
  const qint64 decoding = 40 * 30 * 7;
  // clang-format off
  QTest::newRow("at the pixel limit")          << heic                          << qint64(1200) << unknown << true;
  QTest::newRow("above the pixel limit")       << heic                          << qint64(1199) << unknown << false;
  QTest::newRow("avif above the pixel limit")  << avif                          << qint64(1199) << unknown << false;
  QTest::newRow("within the free memory")      << heic                          << all << decoding << true;
  QTest::newRow("above the free memory")       << heic                          << all << decoding - 1 << false;
  QTest::newRow("claims 8000 x 8000")          << claiming(heic, 8000, 8000)    << all << unknown << false;
  QTest::newRow("claims 60000 x 60000")        << claiming(heic, 60000, 60000)  << all << unknown << false;
  QTest::newRow("claims 0 x 0")                << claiming(heic, 0, 0)          << all << unknown << false;
  QTest::newRow("claims more than it holds")   << claiming(heic, 400, 300)      << all << unknown << false;
  QTest::newRow("cut after the boxes")         << heic.first(heic.indexOf("mdat") + 8) << all << unknown << false;
  QTest::newRow("cut in half")                 << heic.first(heic.size() / 2)   << all << unknown << false;
  QTest::newRow("cut in the file type")        << heic.first(20)                << all << unknown << false;
  QTest::newRow("avif cut in half")            << avif.first(avif.size() / 2)   << all << unknown << false;
  QTest::newRow("coded picture zeroed")        << zeroed                        << all << unknown << false;
  QTest::newRow("a film, not a picture")       << film                          << all << unknown << false;
  // clang-format on
}

void TestPictureReaders::heif_refused() {
  QFETCH(QByteArray, bytes);
  QFETCH(qint64, max_pixels);
  QFETCH(qint64, memory_bytes);
  QFETCH(bool, read);
  const std::optional<LoadedPicture> loaded =
      load_picture_bytes(bytes, QSize(), PictureLimits{max_pixels, memory_bytes});
  QCOMPARE(loaded.has_value(), read);
}

QTEST_MAIN(TestPictureReaders)
#include "test_picture_readers.moc"
