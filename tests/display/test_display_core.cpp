// The display subsystem's readers: classification, path labels, text decoding, rich text,
// metafiles and pictures.

#include "display/classify.h"
#include "display/picture_loader.h"
#include "display/rtf_reader.h"
#include "display/text_decode.h"
#include "display/text_loader.h"
#include "display/wmf_player.h"
#include "platform/text_codecs.h"
#include "test_pictures.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

QByteArray data_file(const char* name) {
  QFile f(QStringLiteral(TARVEX_TEST_DATA_DIR "/") + QString::fromLatin1(name));
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

QByteArray encoded(const char* codec, const QString& text) {
  QStringEncoder encoder(codec);
  QByteArray bytes = encoder.encode(text);
  return bytes;
}

int count_colour(const QImage& image, const QRect& area, QColor colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) == colour) ++n;
    }
  }
  return n;
}

}  // namespace

class TestDisplayCore final : public QObject {
  Q_OBJECT
 private slots:
  void classification_data();
  void classification();
  void label_pieces_data();
  void label_pieces();
  void text_encodings_data();
  void text_encodings();
  void text_files_that_cannot_be_read();
  void rtf_text_data();
  void rtf_text();
  void rtf_formats_and_colours();
  void rtf_malformed_data();
  void rtf_malformed();
  void wmf_shapes_data();
  void wmf_shapes();
  void wmf_japanese_text();
  void wmf_round_rect_pie_and_bitmap();
  void wmf_huge_frame_is_drawn_smaller();
  void wmf_mapping_data();
  void wmf_mapping();
  void wmf_draws_in_bounded_time_data();
  void wmf_draws_in_bounded_time();
  void wmf_rejects_garbage();
  void pictures_data();
  void pictures();
  void jpeg_orientation_and_decode_size();
  void picture_limits_data();
  void picture_limits();
  void ordinary_photo_of_48_megapixels();
};

void TestDisplayCore::classification_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<bool>("image");
  QTest::newRow("upper case bmp") << "/p/PICTURE.BMP" << true;
  QTest::newRow("mixed case gif") << "/p/x.Gif" << true;
  QTest::newRow("no dot but ends in bmp") << "/p/noextbmp" << true;
  QTest::newRow("wmf") << "/p/a.wmf" << true;
  QTest::newRow("cursor") << "/p/a.cur" << true;
  QTest::newRow("jpeg is a text") << "/p/photo.jpeg" << false;
  QTest::newRow("png is a text") << "/p/icon.png" << false;
  QTest::newRow("short") << "ico" << true;
  QTest::newRow("empty") << "" << false;
}

void TestDisplayCore::classification() {
  QFETCH(QString, path);
  QFETCH(bool, image);
  QCOMPARE(is_image_path(path), image);
  QVERIFY(is_icon_or_cursor("/a/ICON.ICO"));
  QVERIFY(is_icon_or_cursor("x.Cur"));
  QVERIFY(!is_icon_or_cursor("/a/icon.bmp"));
  QVERIFY(!is_icon_or_cursor("ico"));
  ExtensionTable table;
  table[3] = "xls";
  table[4] = "XLS";
  QVERIFY(in_extension_table(table, "/r/REPORT.XLS"));
  QVERIFY(!in_extension_table(table, "/r/report.wk4"));
}

void TestDisplayCore::label_pieces_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("first");
  QTest::addColumn<QString>("second");
  QTest::addColumn<QString>("third");
  QTest::newRow("file in the root") << "/readme.txt"
                                    << "/readme.txt"
                                    << ""
                                    << "";
  QTest::newRow("one folder") << "/data/readme.txt"
                              << "/data"
                              << "/readme.txt"
                              << "";
  QTest::newRow("two folders") << "/data/sub/a.txt"
                               << "/data"
                               << "/sub"
                               << "/a.txt";
  QTest::newRow("deeper folders stay in the third") << "/a/b/c/f.txt"
                                                    << "/a"
                                                    << "/b"
                                                    << "/c/f.txt";
  QTest::newRow("no separator") << "name.txt"
                                << "name.txt"
                                << ""
                                << "";
  QTest::newRow("relative") << "dir/f.txt"
                            << "dir"
                            << "/f.txt"
                            << "";
  QTest::newRow("empty") << ""
                         << ""
                         << ""
                         << "";
}

void TestDisplayCore::label_pieces() {
  QFETCH(QString, path);
  QFETCH(QString, first);
  QFETCH(QString, second);
  QFETCH(QString, third);
  const LabelPieces p = split_label_path(path);
  QCOMPARE(p.first, first);
  QCOMPARE(p.second, second);
  QCOMPARE(p.third, third);
  QCOMPARE(p.first + p.second + p.third, path);
}

void TestDisplayCore::text_encodings_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("encoding");
  const QString prose =
      QStringLiteral("吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。");
  QTest::newRow("ascii") << QByteArray("plain text\n") << "plain text\n" << int(TextEncoding::Utf8);
  QTest::newRow("utf-8") << prose.toUtf8() << prose << int(TextEncoding::Utf8);
  QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF") + prose.toUtf8() << prose
                             << int(TextEncoding::Utf8Bom);
  QTest::newRow("utf-16le bom") << QByteArray("\xFF\xFE") + encode_utf16le(prose) << prose
                                << int(TextEncoding::Utf16LeBom);
  QTest::newRow("utf-16be bom") << QByteArray("\xFE\xFF") + encoded("UTF-16BE", prose) << prose
                                << int(TextEncoding::Utf16BeBom);
  QTest::newRow("code page 932") << encode_cp932(prose) << prose << int(TextEncoding::Cp932);
  QTest::newRow("euc-jp") << encoded("EUC-JP", prose) << prose << int(TextEncoding::EucJp);
  QTest::newRow("iso-2022-jp") << encoded("ISO-2022-JP", prose) << prose
                               << int(TextEncoding::Iso2022Jp);
  const QString katakana = QStringLiteral("ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄ");
  QTest::newRow("half-width katakana only")
      << encode_cp932(katakana) << katakana << int(TextEncoding::Cp932);
  const QString nec = QStringLiteral("①②③④⑤⑥⑦⑧⑨⑩㈱㈲");
  QTest::newRow("NEC symbols only") << encode_cp932(nec) << nec << int(TextEncoding::Cp932);
  const QString backslash_trail = QStringLiteral("表示ソフト\\予定");
  QTest::newRow("trail byte 0x5C")
      << encode_cp932(backslash_trail) << backslash_trail << int(TextEncoding::Cp932);
  QTest::newRow("binary with NUL")
      << QByteArray("ab\0cd\x81", 6) << QString("ab\uFFFDcd\uFFFD") << int(TextEncoding::Cp932);
  // UTF-8 spoiled by a few bad bytes stays UTF-8; the bad bytes show as U+FFFD.
  const QByteArray utf8 = prose.toUtf8();
  QTest::newRow("utf-8 with a bad byte")
      << utf8.left(9) + "\xFF" + utf8.mid(9) << prose.left(3) + QChar(0xFFFD) + prose.mid(3)
      << int(TextEncoding::Utf8);
  QTest::newRow("utf-8 cut inside the last character")
      << utf8.chopped(1) << prose.chopped(1) + QString(2, QChar(0xFFFD)) << int(TextEncoding::Utf8);
  QTest::newRow("code page 932 with a stray byte")
      << encode_cp932(prose) + "\xFF" << prose + QChar(0xFFFD) << int(TextEncoding::Cp932);
}

void TestDisplayCore::text_encodings() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, text);
  QFETCH(int, encoding);
  const DecodedText decoded = decode_text_bytes(bytes);
  QCOMPARE(decoded.text, text);
  QCOMPARE(int(decoded.encoding), encoding);
}

void TestDisplayCore::text_files_that_cannot_be_read() {
  QTemporaryDir dir;
  QVERIFY(!load_text_file(dir.filePath("missing.txt")));
  QVERIFY(!load_text_file(dir.path()));
  QVERIFY(!load_text_file(QString()));
  // A file too large for memory is refused without being read (a sparse file costs no disk).
  QFile huge(dir.filePath("huge.txt"));
  huge.open(QIODevice::WriteOnly);
  QVERIFY(huge.resize(kMaxTextFileBytes + 1));
  huge.close();
  QVERIFY(!load_text_file(huge.fileName()));
  QFile empty(dir.filePath("empty.txt"));
  empty.open(QIODevice::WriteOnly);
  empty.close();
  const auto loaded = load_text_file(dir.filePath("empty.txt"));
  QVERIFY(loaded);
  QCOMPARE(loaded->plain, QString());
}

void TestDisplayCore::rtf_text_data() {
  QTest::addColumn<QByteArray>("rtf");
  QTest::addColumn<QString>("text");
  const QByteArray jp =
      "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 \\'82\\'6c\\'82"
      "\\'72 Gothic;}{\\f1\\fcharset0 Arial;}}";
  QTest::newRow("pairs with trail 0x5C") << jp + "\\f0 \\'95\\'5c\\'8e\\'a6}"
                                         << "表示";
  QTest::newRow("pair with trail 0x7B") << jp + "\\f0 \\'83\\'7b\\'83\\'5c}"
                                        << "ボソ";
  QTest::newRow("default font is Japanese") << jp + "\\'93\\'fa\\'96\\'7b}"
                                            << "日本";
  QTest::newRow("western font") << jp + "\\f1 caf\\'e9}"
                                << "café";
  QTest::newRow("unicode with one fallback")
      << QByteArray("{\\rtf1\\uc1\\u26085?\\u26412?}") << "日本";
  QTest::newRow("unicode without fallback")
      << QByteArray("{\\rtf1\\uc0\\u26085\\u26412}") << "日本";
  QTest::newRow("two fallback bytes")
      << QByteArray("{\\rtf1\\uc2\\u26085\\'93\\'faend}") << "日end";
  QTest::newRow("negative unicode") << QByteArray("{\\rtf1\\u-3913?}") << QString(QChar(0xF0B7));
  QTest::newRow("uc restored after group") << QByteArray("{\\rtf1{\\uc2 x}\\u26085?y}") << "x日y";
  QTest::newRow("breaks and tabs")
      << QByteArray("{\\rtf1 a\\par b\\line c\\tab d}") << "a\nb\nc\td";
  QTest::newRow("escapes") << QByteArray("{\\rtf1 \\\\ \\{ \\}}") << "\\ { }";
  QTest::newRow("destinations skipped")
      << QByteArray(
             "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
             "{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}}{\\*\\generator X;}"
             "{\\pict\\pngblip 0011}{\\header H}{\\footer F}Body\\par}")
      << "Body\n";
  QTest::newRow("binary data skipped") << QByteArray("{\\rtf1 a{\\bin3 }}}b}") << "ab";
  QTest::newRow("unknown words ignored") << QByteArray("{\\rtf1\\foo12 \\bar text}") << "text";
  QTest::newRow("line ends in source ignored") << QByteArray("{\\rtf1 ab\r\ncd}") << "abcd";
  const QByteArray western_and_japanese =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fcharset0 Arial;}"
      "{\\f13\\fcharset128 Mincho;}}\\f0 ";
  QTest::newRow("double-byte characters in their associated font")
      << western_and_japanese + "\\loch\\af0\\hich\\af0\\dbch\\af13 \\'95\\'5c\\'8e\\'a6}"
      << "表示";
  QTest::newRow("low characters in theirs")
      << western_and_japanese + "\\loch\\af0\\dbch\\af13\\loch caf\\'e9}"
      << "café";
  QTest::newRow("font of a kind set by f")
      << western_and_japanese + "\\dbch\\f13 \\'95\\'5c\\loch\\f0 \\'e9}"
      << "表é";
  QTest::newRow("pair split by group boundaries") << jp + "\\f0 {\\'95}{\\'5c}\\'8e{\\b\\'a6}}"
                                                  << "表示";
  QTest::newRow("lead byte alone before a break") << jp + "\\f0 {\\'95}\\par x}"
                                                  << "\uFFFD\nx";
  QTest::newRow("table cells and rows")
      << QByteArray(
             "{\\rtf1\\trowd\\cellx100\\cellx200 a\\cell b\\cell\\row"
             "\\trowd c\\cell \\cell\\row after}")
      << "a\tb\nc\t\nafter";
  QTest::newRow("nested table")
      << QByteArray(
             "{\\rtf1 a\\cell x\\nestcell y\\nestcell{\\*\\nesttableprops\\trowd"
             "\\nestrow}{\\nonesttables x\\tab y\\par}\\cell\\row}")
      << "a\tx\ty\n\n";
  QTest::newRow("hidden text") << QByteArray("{\\rtf1 a{\\v secret}b\\v c\\v0 d\\v e\\plain f}")
                               << "abdf";
}

void TestDisplayCore::rtf_text() {
  QFETCH(QByteArray, rtf);
  QFETCH(QString, text);
  QVERIFY(looks_like_rtf(rtf));
  QCOMPARE(read_rtf(rtf).plain_text(), text);
}

void TestDisplayCore::rtf_formats_and_colours() {
  const RtfDocument doc = read_rtf(
      "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
      "a{\\b b}\\i c\\i0\\ul d\\ulnone\\strike e\\strike0\\fs40 f\\plain g\\cf2 h}");
  QCOMPARE(doc.colors.size(), 3);
  QVERIFY(!doc.colors[0].isValid());
  QCOMPARE(doc.colors[1], QColor(255, 0, 0));
  QCOMPARE(doc.colors[2], QColor(0, 0, 255));
  QStringList texts;
  for (const RtfRun& r : doc.runs) texts << r.text;
  QCOMPARE(texts, (QStringList{"a", "b", "c", "d", "e", "f", "g", "h"}));
  QVERIFY(doc.runs[1].format.bold);
  QVERIFY(!doc.runs[2].format.bold);
  QVERIFY(doc.runs[2].format.italic);
  QVERIFY(doc.runs[3].format.underline);
  QVERIFY(doc.runs[4].format.strike);
  QCOMPARE(doc.runs[5].format.half_points, 40);
  QCOMPARE(doc.runs[6].format, RtfCharFormat{});
  QCOMPARE(doc.runs[7].format.color, 2);
}

void TestDisplayCore::rtf_malformed_data() {
  QTest::addColumn<QByteArray>("rtf");
  QTest::addColumn<QString>("contains");
  QTest::newRow("unclosed groups") << QByteArray("{\\rtf1 {{{ abc") << "abc";
  QTest::newRow("extra closing braces") << QByteArray("{\\rtf1 a}}}}b") << "a";
  QTest::newRow("deep nesting") << QByteArray("{\\rtf1 ") + QByteArray(200000, '{') + "deep" +
                                       QByteArray(200000, '}')
                                << "deep";
  QTest::newRow("huge numbers") << QByteArray(
                                       "{\\rtf1\\fs99999999999999999999 \\u99999999999 "
                                       "\\cf-99999999999 x\\uc999999 y}")
                                << "y";
  QTest::newRow("truncated hex") << QByteArray("{\\rtf1 ok\\'8") << "ok";
  QTest::newRow("bad hex") << QByteArray("{\\rtf1 ok\\'zz}") << "ok";
  QTest::newRow("huge binary length") << QByteArray("{\\rtf1 ok\\bin999999999999 x}") << "ok";
  QTest::newRow("backslash at end") << QByteArray("{\\rtf1 ok\\") << "ok";
  QTest::newRow("long control word") << QByteArray("{\\rtf1 ") + QByteArray(5000, 'a') + " ok}"
                                     << "ok";
}

void TestDisplayCore::rtf_malformed() {
  QFETCH(QByteArray, rtf);
  QFETCH(QString, contains);
  QVERIFY(read_rtf(rtf).plain_text().contains(contains));
}

void TestDisplayCore::wmf_shapes_data() {
  QTest::addColumn<QString>("file");
  QTest::newRow("placeable") << "shapes.wmf";
  QTest::newRow("plain header") << "shapes_plain.wmf";
}

void TestDisplayCore::wmf_shapes() {
  QFETCH(QString, file);
  const QByteArray bytes = data_file(file.toLatin1().constData());
  QVERIFY(looks_like_wmf(bytes));
  const std::optional<WmfPicture> pic = parse_wmf(bytes);
  QVERIFY(pic);
  QCOMPARE(pic->natural_size_px(), QSize(400, 300));
  const QImage image = render_wmf(*pic, pic->natural_size_px());
  QCOMPARE(image.size(), QSize(400, 300));
  const QColor yellow(255, 255, 0), blue(0, 0, 255), white(255, 255, 255);
  QCOMPARE(image.pixelColor(100, 60), yellow);   // inside the rectangle
  QCOMPARE(image.pixelColor(300, 215), yellow);  // inside the ellipse
  QCOMPARE(image.pixelColor(340, 40), yellow);   // inside the triangle
  QCOMPARE(image.pixelColor(20, 100), blue);     // the rectangle's left edge
  QCOMPARE(image.pixelColor(100, 21), blue);     // its top edge
  QCOMPARE(image.pixelColor(5, 5), white);
  QCOMPARE(image.pixelColor(250, 280), white);
  // Drawn at another size, the frame fills the picture.
  const QImage half = render_wmf(*pic, QSize(200, 150));
  QCOMPARE(half.pixelColor(50, 30), yellow);
}

void TestDisplayCore::wmf_japanese_text() {
  const QByteArray bytes = data_file("japanese_text.wmf");
  const std::optional<WmfPicture> pic = parse_wmf(bytes);
  QVERIFY(pic);
  const QImage image = render_wmf(*pic, pic->natural_size_px());
  // The Japanese line is drawn at x 200, y 100 (top-aligned), 24 pixels high, in black.
  const QRect line(200, 100, 150, 28);
  int dark = 0;
  for (int y = line.top(); y <= line.bottom(); ++y) {
    for (int x = line.left(); x <= line.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 100) ++dark;
    }
  }
  QVERIFY2(dark > 150, qPrintable(QString::number(dark)));
  // The same records with the text replaced by spaces draw no ink there.
  QByteArray blank = bytes;
  const QByteArray jp = encode_cp932(QStringLiteral("日本語ﾃｷｽﾄ"));
  blank.replace(jp, QByteArray(jp.size(), ' '));
  const QImage without = render_wmf(*parse_wmf(blank), pic->natural_size_px());
  QCOMPARE(count_colour(without, line, Qt::black), 0);
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

QByteArray colorref(int r, int g, int b) {
  const char bytes[] = {char(r), char(g), char(b), 0};
  return QByteArray(bytes, 4);
}

void TestDisplayCore::wmf_round_rect_pie_and_bitmap() {
  QByteArray records;
  records += wmf_record(0x020B, {0, 0});      // window origin
  records += wmf_record(0x020C, {100, 200});  // window extent: 200 × 100
  records += wmf_record(0x02FC, {0}, colorref(255, 0, 0) + QByteArray(2, 0));  // brush 0: red
  records += wmf_record(0x02FA, {5, 0, 0}, colorref(0, 0, 0));                 // pen 1: none
  records += wmf_record(0x02FC, {0}, colorref(0, 255, 0) + QByteArray(2, 0));  // brush 2: green
  records += wmf_record(0x012D, {0});
  records += wmf_record(0x012D, {1});
  // Round rectangle: corner height and width, then bottom, right, top, left.
  records += wmf_record(0x061C, {20, 20, 40, 60, 10, 10});
  records += wmf_record(0x012D, {2});
  // Pie in (100,10)-(160,70) from the point at 0 degrees to the point at 90 degrees.
  records += wmf_record(0x081A, {10, 130, 40, 160, 70, 160, 10, 100});
  // A bitmap of two pixels, blue and yellow, stretched onto (10,60) 40 × 20.
  QByteArray dib;
  const qint32 header[] = {40, 2, 1};
  dib += QByteArray(reinterpret_cast<const char*>(header), 12);
  const qint16 planes_bits[] = {1, 24};
  dib += QByteArray(reinterpret_cast<const char*>(planes_bits), 4);
  dib += QByteArray(24, 0);
  dib += QByteArray("\xFF\0\0\0\xFF\xFF\0\0", 8);  // BGR blue, BGR yellow, row padding
  records += wmf_record(0x0B41, {0x0020, 0x00CC, 1, 2, 0, 0, 20, 40, 60, 10}, dib);
  records += wmf_record(0x0000, {});
  QByteArray file("\x01\0\x09\0\0\x03\0\0\0\0\x03\0\0\0\0\0\0\0", 18);
  file += records;
  const std::optional<WmfPicture> pic = parse_wmf(file);
  QVERIFY(pic);
  QCOMPARE(pic->natural_size_px(), QSize(200, 100));
  const QImage image = render_wmf(*pic, pic->natural_size_px());
  QCOMPARE(image.pixelColor(35, 25), QColor(255, 0, 0));       // inside the round rectangle
  QCOMPARE(image.pixelColor(11, 11), QColor(255, 255, 255));   // cut away by its corner
  QCOMPARE(image.pixelColor(145, 25), QColor(0, 255, 0));      // inside the pie's quarter
  QCOMPARE(image.pixelColor(115, 55), QColor(255, 255, 255));  // the quarter left out
  QCOMPARE(image.pixelColor(15, 70), QColor(0, 0, 255));       // the bitmap's first pixel
  QCOMPARE(image.pixelColor(45, 70), QColor(255, 255, 0));     // its second
}

void TestDisplayCore::wmf_huge_frame_is_drawn_smaller() {
  // A placeable header framing 30000 × 20000 pixels, and nothing to draw.
  QByteArray bytes("\xD7\xCD\xC6\x9A\0\0\0\0\0\0\x30\x75\x20\x4E\x60\0\0\0\0\0\0\0", 22);
  bytes += QByteArray("\x01\0\x09\0\0\x03\x0C\0\0\0\0\0\x03\0\0\0\0\0", 18);
  bytes += QByteArray("\x03\0\0\0\0\0", 6);
  const std::optional<LoadedPicture> loaded = load_picture_bytes(bytes);
  QVERIFY(loaded);
  const QImage& image = loaded->image;
  QVERIFY(qint64(image.width()) * image.height() <= 32LL * 1024 * 1024);
  QCOMPARE(image.width() * 2 / image.height(), 3);  // the shape is kept
  QVERIFY(loaded->is_whole());
}

namespace {

// A metafile with a plain header and room for ten objects: a red brush and no pen selected, then
// `records`.
QByteArray plain_wmf(const QByteArray& records) {
  QByteArray file("\x01\0\x09\0\0\x03\0\0\0\0\x0A\0\0\0\0\0\0\0", 18);
  file += wmf_record(0x02FC, {0}, colorref(255, 0, 0) + QByteArray(2, 0));  // brush 0: red
  file += wmf_record(0x02FA, {5, 0, 0}, colorref(0, 0, 0));                 // pen 1: none
  file += wmf_record(0x012D, {0});
  file += wmf_record(0x012D, {1});
  return file + records + wmf_record(0x0000, {});
}

QByteArray rect(int left, int top, int right, int bottom) {
  return wmf_record(0x041B, {qint16(bottom), qint16(right), qint16(top), qint16(left)});
}

QByteArray map_mode(int mode) {
  return wmf_record(0x0103, {qint16(mode)});
}
QByteArray window_org(int x, int y) {
  return wmf_record(0x020B, {qint16(y), qint16(x)});
}
QByteArray window_ext(int w, int h) {
  return wmf_record(0x020C, {qint16(h), qint16(w)});
}
QByteArray viewport_org(int x, int y) {
  return wmf_record(0x020D, {qint16(y), qint16(x)});
}
QByteArray viewport_ext(int w, int h) {
  return wmf_record(0x020E, {qint16(h), qint16(w)});
}

struct MappingCase {
  const char* name;
  QByteArray records;
  QSize natural;
  QPoint red;    // inside the drawn rectangle
  QPoint white;  // outside it
};

}  // namespace

// Metafiles without a placeable header set their frame and scale with the window, the viewport
// and the map mode.
void TestDisplayCore::wmf_mapping_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("natural");
  QTest::addColumn<QPoint>("red");
  QTest::addColumn<QPoint>("white");
  const QByteArray aniso = map_mode(8) + window_ext(1000, 500) + viewport_ext(200, 100);
  // clang-format off
  const MappingCase cases[] = {
      {"text mode, window moved",  window_org(100, 50) + window_ext(200, 100) + rect(150, 50, 250, 100),                      {200, 100}, {100, 25}, {25, 75}},
      {"anisotropic viewport",     aniso + rect(500, 0, 1000, 250),                                                           {200, 100}, {150, 25}, {50, 75}},
      {"viewport origin moved",    aniso + rect(0, 0, 1, 1) + viewport_org(100, 50) + rect(0, 0, 500, 250),                   {200, 100}, {150, 75}, {50, 25}},
      {"window extent scaled",     map_mode(8) + window_ext(500, 250) + viewport_ext(200, 100) + wmf_record(0x0410, {1, 2, 1, 2}) + rect(500, 0, 1000, 250), {200, 100}, {150, 25}, {50, 75}},
      {"isotropic",                map_mode(7) + window_ext(1000, 1000) + viewport_ext(400, 200) + rect(0, 500, 500, 1000), {200, 200}, {50, 150}, {150, 50}},
      {"flipped by the extent",    map_mode(8) + window_org(0, 500) + window_ext(1000, -500) + viewport_ext(200, 100) + rect(0, 0, 500, 250), {200, 100}, {50, 75}, {50, 25}},
      {"twips, y upwards",         map_mode(6) + window_ext(2880, 1440) + rect(1440, 0, 2880, -720),                          {192, 96},  {150, 20}, {50, 70}},
  };
  // clang-format on
  for (const MappingCase& c : cases) {
    QTest::newRow(c.name) << plain_wmf(c.records) << c.natural << c.red << c.white;
  }
}

void TestDisplayCore::wmf_mapping() {
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, natural);
  QFETCH(QPoint, red);
  QFETCH(QPoint, white);
  const std::optional<WmfPicture> pic = parse_wmf(bytes);
  QVERIFY(pic);
  QCOMPARE(pic->natural_size_px(), natural);
  const QImage image = render_wmf(*pic, natural);
  QCOMPARE(image.pixelColor(red), QColor(255, 0, 0));
  QCOMPARE(image.pixelColor(white), QColor(255, 255, 255));
  // At twice the size the same places scale with it.
  const QImage twice = render_wmf(*pic, natural * 2);
  QCOMPARE(twice.pixelColor(red * 2), QColor(255, 0, 0));
}

// Shapes reaching far beyond the picture, under a window stretched one way, are cut to what can
// be seen before they are drawn.
void TestDisplayCore::wmf_draws_in_bounded_time_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("size");
  const QByteArray wide_pen = data_file("wide_pen_far_outside.wmf");
  const QByteArray far = map_mode(8) + window_ext(300, 400) + viewport_ext(300, 30000) +
                         wmf_record(0x02FA, {0, 40, 0}, colorref(0, 0, 255)) +
                         wmf_record(0x012D, {2});
  // clang-format off
  QTest::newRow("wide pen far outside, as found")  << wide_pen << QSize();
  QTest::newRow("wide pen far outside, stretched") << wide_pen << QSize(1000, 8000);
  QTest::newRow("huge ellipse")   << plain_wmf(far + wmf_record(0x0418, {32000, 32000, -32000, -32000})) << QSize(300, 8000);
  QTest::newRow("huge polygon")   << plain_wmf(far + wmf_record(0x0324, {3, -32000, -32000, 32000, 10, 10, 32000})) << QSize(300, 8000);
  QTest::newRow("huge text")      << plain_wmf(far + wmf_record(0x02FB, {-3000, 0, 0, 0, 400, 0, 0}) + wmf_record(0x012D, {3}) + wmf_record(0x0521, {4, 0x4848, 0x4848, -1500, -200})) << QSize(300, 8000);
  // clang-format on
}

void TestDisplayCore::wmf_draws_in_bounded_time() {
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, size);
  QElapsedTimer clock;
  clock.start();
  const std::optional<LoadedPicture> loaded = load_picture_bytes(bytes, size);
  QVERIFY(loaded);
  QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
  // Whatever is in view is still drawn.
  const QImage& image = loaded->image;
  bool drawn = false;
  for (int y = 0; y < image.height() && !drawn; y += 3) {
    for (int x = 0; x < image.width() && !drawn; ++x)
      drawn = image.pixel(x, y) != qRgb(255, 255, 255);
  }
  QVERIFY(drawn);
}

void TestDisplayCore::wmf_rejects_garbage() {
  QVERIFY(!looks_like_wmf("hello world"));
  QVERIFY(!parse_wmf(QByteArray("\xD7\xCD\xC6\x9A", 4)));
  QVERIFY(!parse_wmf(QByteArray("\x01\0\x09\0\0\x03", 6)));
  // A plain header without a window extent has no size.
  QVERIFY(!parse_wmf(QByteArray("\x01\0\x09\0\0\x03\0\0\0\0\0\0\0\0\0\0\0\0\x03\0\0\0\0\0", 24)));
}

void TestDisplayCore::pictures_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("size");  // invalid: cannot be loaded
  const QImage pattern = test_pattern(40, 20);
  QTest::newRow("bmp") << image_bytes(pattern, "bmp") << QSize(40, 20);
  const QByteArray ico = image_bytes(test_pattern(32, 32), "ico");
  QTest::newRow("ico") << ico << QSize(32, 32);
  QByteArray cur = ico;
  cur[2] = 2;  // a cursor: type 2, with a hot spot where an icon has planes and bit count
  cur[10] = 5;
  cur[12] = 7;
  QTest::newRow("cur") << cur << QSize(32, 32);
  QTest::newRow("gif") << QByteArray::fromBase64(
                              "R0lGODlhAgABAIABAP8AAP///yH5BAEAAAEALAAAAAACAAEAAAICDAoAOw==")
                       << QSize(2, 1);
  QTest::newRow("jpeg") << image_bytes(pattern, "jpeg") << QSize(40, 20);
  QTest::newRow("metafile") << data_file("shapes.wmf") << QSize(400, 300);
  QTest::newRow("text") << QByteArray("not a picture") << QSize();
  QTest::newRow("empty") << QByteArray() << QSize();
  // A bitmap header that claims 100000 × 100000 pixels is refused before any decoding.
  QByteArray huge = image_bytes(test_pattern(4, 4), "bmp");
  huge[18] = '\xA0';
  huge[19] = '\x86';
  huge[20] = '\x01';
  huge[21] = 0;
  huge[22] = '\xA0';
  huge[23] = '\x86';
  huge[24] = '\x01';
  huge[25] = 0;
  QTest::newRow("huge declared size") << huge << QSize();
}

void TestDisplayCore::pictures() {
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, size);
  QTemporaryDir dir;
  const QString path = dir.filePath("picture.bin");
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
  f.close();
  const std::optional<LoadedPicture> loaded = load_picture_file(path);
  QCOMPARE(loaded.has_value(), size.isValid());
  if (loaded) QCOMPARE(loaded->image.size(), size);
  QVERIFY(!load_picture_file(dir.filePath("missing.bmp")));
  QVERIFY(!load_picture_file(dir.path()));
}

void TestDisplayCore::jpeg_orientation_and_decode_size() {
  QTemporaryDir dir;
  const QString path = dir.filePath("photo.jpg");
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(jpeg_with_orientation(test_pattern(400, 200), 6));  // a quarter turn clockwise
  f.close();
  const std::optional<LoadedPicture> loaded = load_picture_file(path);
  QVERIFY(loaded);
  const QImage& upright = loaded->image;
  QCOMPARE(upright.size(), QSize(200, 400));
  // Turned clockwise, the red left half is now the top half.
  QVERIFY(qRed(upright.pixel(100, 50)) > 200 && qGreen(upright.pixel(100, 50)) < 60);
  QVERIFY(qGreen(upright.pixel(100, 350)) > 200);
  const std::optional<LoadedPicture> scaled = load_picture_file(path, QSize(100, 200));
  QVERIFY(scaled);
  QCOMPARE(scaled->image.size(), QSize(100, 200));
  QCOMPARE(scaled->full_size, QSize(200, 400));
  // A pane larger than the picture gets the picture's own pixels, not an enlarged decode.
  const std::optional<LoadedPicture> large = load_picture_file(path, QSize(800, 900));
  QVERIFY(large);
  QVERIFY(large->is_whole());
}

namespace {

// A JPEG whose frame header claims `size` while its data is that of a small picture.
QByteArray jpeg_claiming(QSize size) {
  QByteArray jpeg = image_bytes(test_pattern(16, 16), "jpeg");
  const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
  jpeg[sof + 5] = char(size.height() >> 8);
  jpeg[sof + 6] = char(size.height() & 0xFF);
  jpeg[sof + 7] = char(size.width() >> 8);
  jpeg[sof + 8] = char(size.width() & 0xFF);
  return jpeg;
}

struct LimitCase {
  const char* name;
  QByteArray bytes;
  qint64 max_pixels;
  qint64 memory_bytes;
  QSize decoded;  // invalid: refused
  QSize full;
};

}  // namespace

// The loader's own limits, given directly rather than through the environment: pictures above
// them are decoded smaller when they are JPEGs and refused otherwise.
void TestDisplayCore::picture_limits_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<qint64>("max_pixels");
  QTest::addColumn<qint64>("memory_bytes");
  QTest::addColumn<QSize>("decoded");
  QTest::addColumn<QSize>("full");
  const QByteArray bmp = image_bytes(test_pattern(1000, 1000), "bmp");
  const QByteArray wide_bmp = image_bytes(test_pattern(2000, 1000), "bmp");
  const QByteArray jpeg = image_bytes(test_pattern(2000, 1000), "jpeg");
  const QByteArray large_jpeg = image_bytes(test_pattern(4000, 2000), "jpeg");
  const QSize none;
  const qint64 unknown = -1;
  // clang-format off
  const LimitCase cases[] = {
      {"bmp at the limit",                  bmp,        1000000, unknown, {1000, 1000}, {1000, 1000}},
      {"bmp above the limit",               wide_bmp,   1000000, unknown, none,         none},
      {"bmp above the free memory",         wide_bmp,   kMaxPicturePixels, 4000000, none, none},
      {"jpeg within the limit",             jpeg,       2000000, unknown, {2000, 1000}, {2000, 1000}},
      {"jpeg above the limit at a half",    jpeg,       1000000, unknown, {1000, 500},  {2000, 1000}},
      {"jpeg above the free memory",        jpeg,       kMaxPicturePixels, 4000000, {1000, 500}, {2000, 1000}},
      {"jpeg far above the limit",          large_jpeg, 200000,  unknown, {500, 250},   {4000, 2000}},
      {"jpeg whose eighth is too large",    large_jpeg, 100000,  unknown, none,         none},
      {"jpeg claiming 60000 x 60000",       jpeg_claiming({60000, 60000}), kMaxPicturePixels, unknown, none, none},
      {"jpeg claiming 5000 x 3000 is read", jpeg_claiming({5000, 3000}), kMaxPicturePixels, unknown, {5000, 3000}, {5000, 3000}},
  };
  // clang-format on
  for (const LimitCase& c : cases) {
    QTest::newRow(c.name) << c.bytes << c.max_pixels << c.memory_bytes << c.decoded << c.full;
  }
}

void TestDisplayCore::picture_limits() {
  QFETCH(QByteArray, bytes);
  QFETCH(qint64, max_pixels);
  QFETCH(qint64, memory_bytes);
  QFETCH(QSize, decoded);
  QFETCH(QSize, full);
  const PictureLimits limits{max_pixels, memory_bytes};
  const std::optional<LoadedPicture> loaded = load_picture_bytes(bytes, QSize(), limits);
  QCOMPARE(loaded.has_value(), decoded.isValid());
  if (!loaded) return;
  QCOMPARE(loaded->image.size(), decoded);
  QCOMPARE(loaded->full_size, full);
}

// A phone photo of 8000 × 6000 pixels is shown whole with the limits of this machine.
void TestDisplayCore::ordinary_photo_of_48_megapixels() {
  const PictureLimits machine = PictureLimits::for_this_machine();
  QVERIFY(machine.max_pixels >= 200LL * 1000 * 1000);
  QVERIFY(machine.memory_bytes > 0);  // the kernel's estimate was read
  QImage photo(8000, 6000, QImage::Format_Grayscale8);
  for (int y = 0; y < photo.height(); ++y) {
    std::fill_n(photo.scanLine(y), photo.width(), static_cast<uchar>(y / 8));
  }
  QTemporaryDir dir;
  const QString path = dir.filePath("phone.jpg");
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(image_bytes(photo, "jpeg", 5));
  f.close();
  const std::optional<LoadedPicture> loaded = load_picture_file(path, QSize(), PictureLimits{});
  QVERIFY(loaded);
  QCOMPARE(loaded->image.size(), QSize(8000, 6000));
  QVERIFY(qAbs(qGray(loaded->image.pixel(10, 4000)) - 4000 / 8 % 256) < 8);
}

QTEST_MAIN(TestDisplayCore)
#include "test_display_core.moc"
