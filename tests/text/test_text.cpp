// Reading texts: encoding detection and decoding, files that cannot be read, rich text.

#include "platform/text_codecs.h"
#include "text/rtf_reader.h"
#include "text/text_decode.h"
#include "text/text_index.h"
#include "text/text_loader.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace tarvex;

class TestText final : public QObject {
  Q_OBJECT
 private slots:
  void text_encodings_data();
  void text_encodings();
  void files_that_cannot_be_read();
  void text_index_lines_and_positions_data();
  void text_index_lines_and_positions();
  void text_index_settles_on_the_whole_files_encoding();
  void text_index_of_a_file_that_shrinks();
  void rtf_text_data();
  void rtf_text();
  void rtf_formats_and_colours();
};

void TestText::text_encodings_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("encoding");
  const QString prose =
      QStringLiteral("吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。");
  const QString kana_and_nec = QStringLiteral("ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿ①②③④⑤⑥⑦⑧⑨⑩㈱㈲");
  const QByteArray utf8 = prose.toUtf8();
  const auto encoded = [&prose](const char* codec) -> QByteArray {
    return QStringEncoder(codec).encode(prose);
  };
  const QChar bad(0xFFFD);
  // clang-format off
  QTest::newRow("utf-8")                    << utf8 << prose << int(TextEncoding::Utf8);
  QTest::newRow("utf-16le bom")             << "\xFF\xFE" + encode_utf16le(prose) << prose << int(TextEncoding::Utf16LeBom);
  QTest::newRow("code page 932")            << encode_cp932(prose) << prose << int(TextEncoding::Cp932);
  QTest::newRow("euc-jp")                   << encoded("EUC-JP") << prose << int(TextEncoding::EucJp);
  QTest::newRow("iso-2022-jp")              << encoded("ISO-2022-JP") << prose << int(TextEncoding::Iso2022Jp);
  QTest::newRow("half-width katakana and NEC symbols") << encode_cp932(kana_and_nec) << kana_and_nec << int(TextEncoding::Cp932);
  QTest::newRow("binary with NUL")          << QByteArray("ab\0cd\x81", 6) << QString("ab\uFFFDcd\uFFFD") << int(TextEncoding::Cp932);
  // Spoiled by a few bad bytes, a text keeps its encoding; the bad bytes show as U+FFFD.
  QTest::newRow("utf-8 with a bad byte")    << utf8.left(9) + "\xFF" + utf8.mid(9) << prose.left(3) + bad + prose.mid(3) << int(TextEncoding::Utf8);
  QTest::newRow("utf-8 cut inside the last character") << utf8.chopped(1) << prose.chopped(1) + QString(2, bad) << int(TextEncoding::Utf8);
  // clang-format on
}

void TestText::text_encodings() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, text);
  QFETCH(int, encoding);
  const DecodedText decoded = decode_text_bytes(bytes);
  QCOMPARE(decoded.text, text);
  QCOMPARE(int(decoded.encoding), encoding);
}

// A folder is no text; a plain text of any size opens at once (a sparse file costs no disk),
// while a rich-text file too large for its formatted view is refused without being read.
void TestText::files_that_cannot_be_read() {
  QTemporaryDir dir;
  QVERIFY(!load_text_file(dir.path()));
  for (const char* start : {"first line\n", "{\\rtf1 first line}"}) {
    QFile huge(dir.filePath(QString::fromLatin1(start).left(3)));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(start) > 0 &&
            huge.resize(kMaxTextFileBytes + 1));
    huge.close();
    const std::optional<LoadedText> loaded = load_text_file(huge.fileName());
    if (start[0] == '{') {
      QVERIFY(!loaded);
    } else {
      QVERIFY(loaded && !loaded->rich && loaded->plain->line(0).text == "first line");
    }
  }
}

namespace {

// A text file indexed in small blocks (so that short texts have many, and lines are cut), in the
// given encoding.
std::shared_ptr<IndexedText> small_blocks(const QString& path, const QByteArray& bytes,
                                          std::optional<TextEncoding> encoding) {
  auto file = std::make_unique<QFile>(path);
  if (!file->open(QIODevice::ReadWrite) || file->write(bytes) != bytes.size() || !file->seek(0))
    return nullptr;
  TextBlockSizes sizes;
  sizes.block = 60;
  sizes.piece = 24;
  const QByteArray head = file->read(sizes.open_bytes());
  return IndexedText::open(std::move(file), head, sizes, encoding);
}

}  // namespace

// The view lines of a text, joined by the line ends between them, are the text as shown (each
// line end one "\n"; a line longer than a piece is several view lines with nothing between); each
// position leads to its line; any stretch reads as the same stretch of the whole text.
void TestText::text_index_lines_and_positions_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("lines");
  const QString long_line = QString(30, u'長') + QStringLiteral("😀") + QString(30, u'x');
  // clang-format off
  QTest::newRow("line ends of every kind") << QStringLiteral("a\r\nbb\nccc\rdddd\r\n\r\n") << 6;
  QTest::newRow("no line end")             << QStringLiteral("ｱｲｳ\tabc") << 1;
  QTest::newRow("empty")                   << QString() << 1;
  QTest::newRow("one line end")            << QStringLiteral("\n") << 2;
  QTest::newRow("line longer than a piece") << long_line + QStringLiteral("\nend") << -1;
  // clang-format on
}

void TestText::text_index_lines_and_positions() {
  QFETCH(QString, text);
  QFETCH(int, lines);
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
  QTemporaryDir dir;
  const std::pair<TextEncoding, QByteArray> files[] = {
      {TextEncoding::Cp932, encode_cp932(text)},
      {TextEncoding::Utf8, text.toUtf8()},
      {TextEncoding::Utf16LeBom, "\xFF\xFE" + encode_utf16le(text)},
      {TextEncoding::EucJp, QStringEncoder("EUC-JP").encode(text)},
      {TextEncoding::Iso2022Jp, QStringEncoder("ISO-2022-JP").encode(text)},
  };
  std::vector<std::shared_ptr<IndexedText>> texts{IndexedText::from_string(text)};
  for (const auto& [encoding, bytes] : files) {
    if (decode_text_as(bytes, encoding) != text) continue;  // not in this encoding
    texts.push_back(small_blocks(dir.filePath(QString::number(int(encoding))), bytes, encoding));
  }
  QVERIFY(texts.size() >= 3);
  for (const std::shared_ptr<IndexedText>& t : texts) {
    QVERIFY(t);
    t->wait_until_complete();
    QCOMPARE(t->length(), shown.size());
    if (lines > 0) QCOMPARE(t->line_count(), lines);
    QString joined;
    for (qint64 l = 0; l < t->line_count(); ++l) {
      const IndexedText::Line line = t->line(l);
      if (line.pos > joined.size()) joined += u'\n';
      QCOMPARE(line.pos, joined.size());
      joined += line.text;
      // A line's positions, its line end included (where a long line was cut, the position
      // after its last character is the next line's first).
      const qint64 end = line.pos + line.text.size();
      for (qint64 p = line.pos; p < end || (p == end && p < shown.size() && shown[p] == u'\n');
           ++p) {
        QCOMPARE(t->line_at(p), l);
      }
    }
    if (joined.size() < shown.size()) joined += u'\n';
    QCOMPARE(joined, shown);
    for (qint64 from = 0; from <= shown.size(); from += 7) {
      QCOMPARE(t->text(from, from + 23), shown.mid(from, 23));
    }
  }
}

// The first screen is shown in the encoding of the file's first bytes; once the whole file is
// read, the decision on all of it holds, and the text is read anew in it.
void TestText::text_index_settles_on_the_whole_files_encoding() {
  QTemporaryDir dir;
  const QByteArray ascii = QByteArray("plain ASCII line\r\n").repeated(20000);
  const QString japanese = QStringLiteral("日本語の行です。\r\n").repeated(10);
  QFile f(dir.filePath("late.txt"));
  QVERIFY(f.open(QIODevice::WriteOnly) && f.write(ascii + encode_cp932(japanese)) > 0);
  f.close();
  const std::optional<LoadedText> loaded = load_text_file(f.fileName());
  QVERIFY(loaded && loaded->plain);
  const std::shared_ptr<IndexedText>& t = loaded->plain;
  QCOMPARE(t->line(0).text, QStringLiteral("plain ASCII line"));
  t->wait_until_complete();
  QCOMPARE(int(t->encoding()), int(TextEncoding::Cp932));
  QCOMPARE(t->generation(), 1);
  QCOMPARE(t->line(20000).text, QStringLiteral("日本語の行です。"));
  QCOMPARE(t->length(), 17 * 20000 + 9 * 10);
}

// A file cut short, then removed, while it is shown: what was indexed stays, the text that is
// gone reads as nothing, and nothing fails.
void TestText::text_index_of_a_file_that_shrinks() {
  QTemporaryDir dir;
  const QString path = dir.filePath("shrinks.txt");
  QString text;
  for (int i = 0; i < 20000; ++i)
    text += QStringLiteral("行%1：縮むファイル\n").arg(i, 5, 10, QChar(u'0'));
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly) && f.write(encode_cp932(text)) > 0);
  f.close();
  const std::optional<LoadedText> loaded = load_text_file(path);
  QVERIFY(loaded && loaded->plain);
  const std::shared_ptr<IndexedText>& t = loaded->plain;
  t->wait_until_complete();
  QCOMPARE(t->length(), text.size());
  QVERIFY(t->block_count() > 3);
  QVERIFY(QFile::resize(path, 1000));
  // The first block was decoded when the file opened; the later ones are read now.
  QCOMPARE(t->line(0).text, QStringLiteral("行00000：縮むファイル"));
  QCOMPARE(t->line(19999).text, QString());
  QVERIFY(t->text(0, t->length()).size() < text.size());
  QVERIFY(QFile::remove(path));
  QVERIFY(t->text(t->length() - 100, t->length()).isEmpty());
  QVERIFY(t->line_at(t->length()) < t->line_count());
}

void TestText::rtf_text_data() {
  QTest::addColumn<QByteArray>("rtf");
  QTest::addColumn<QString>("text");
  const QByteArray jp =
      "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 \\'82\\'6c\\'82"
      "\\'72 Gothic;}{\\f1\\fcharset0 Arial;}}";
  const QByteArray western_and_japanese =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fcharset0 Arial;}"
      "{\\f13\\fcharset128 Mincho;}}\\f0 ";
  const QByteArray r = "{\\rtf1";
  // clang-format off
  QTest::newRow("default font is Japanese")   << jp + "\\'93\\'fa\\'96\\'7b}" << "日本";
  QTest::newRow("two fallback bytes")         << r + "\\uc2\\u26085\\'93\\'faend}" << "日end";
  QTest::newRow("uc restored after group")    << r + "{\\uc2 x}\\u26085?y}" << "x日y";
  QTest::newRow("breaks and tabs")            << r + " a\\par b\\line c\\tab d}" << "a\nb\nc\td";
  QTest::newRow("destinations skipped")       << r + "{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}}{\\*\\generator X;}{\\pict\\pngblip 0011}{\\header H}{\\footer F}Body\\par}" << "Body\n";
  QTest::newRow("binary data skipped")        << r + " a{\\bin3 }}}b}" << "ab";
  QTest::newRow("double-byte characters in their associated font") << western_and_japanese + "\\loch\\af0\\hich\\af0\\dbch\\af13 \\'95\\'5c\\'8e\\'a6}" << "表示";
  QTest::newRow("low characters in theirs")   << western_and_japanese + "\\loch\\af0\\dbch\\af13\\loch caf\\'e9}" << "café";
  QTest::newRow("font of a kind set by f")    << western_and_japanese + "\\dbch\\f13 \\'95\\'5c\\loch\\f0 \\'e9}" << "表é";
  QTest::newRow("pair split by group boundaries") << jp + "\\f0 {\\'95}{\\'5c}\\'8e{\\b\\'a6}}" << "表示";
  QTest::newRow("lead byte alone before a break") << jp + "\\f0 {\\'95}\\par x}" << "\uFFFD\nx";
  QTest::newRow("table cells and rows")       << r + "\\trowd\\cellx100\\cellx200 a\\cell b\\cell\\row\\trowd c\\cell \\cell\\row after}" << "a\tb\nc\t\nafter";
  QTest::newRow("nested table")               << r + " a\\cell x\\nestcell y\\nestcell{\\*\\nesttableprops\\trowd\\nestrow}{\\nonesttables x\\tab y\\par}\\cell\\row}" << "a\tx\ty\n\n";
  QTest::newRow("hidden text")                << r + " a{\\v secret}b\\v c\\v0 d\\v e\\plain f}" << "abdf";
  // clang-format on
}

void TestText::rtf_text() {
  QFETCH(QByteArray, rtf);
  QFETCH(QString, text);
  QVERIFY(looks_like_rtf(rtf));
  QCOMPARE(read_rtf(rtf).plain_text(), text);
}

void TestText::rtf_formats_and_colours() {
  const RtfDocument doc = read_rtf(
      "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
      "a{\\b b}\\i c\\i0\\ul d\\ulnone\\strike e\\strike0\\fs40 f\\plain g\\cf2 h}");
  QCOMPARE(doc.colors, (QList<QColor>{QColor(), QColor(255, 0, 0), QColor(0, 0, 255)}));
  QCOMPARE(doc.runs.size(), 8);  // one run a letter
  QVERIFY(doc.runs[1].format.bold && !doc.runs[2].format.bold && doc.runs[2].format.italic);
  QVERIFY(doc.runs[3].format.underline && doc.runs[4].format.strike);
  QVERIFY(doc.runs[5].format.half_points == 40 && doc.runs[7].format.color == 2);
  QCOMPARE(doc.runs[6].format, RtfCharFormat{});
}

QTEST_MAIN(TestText)
#include "test_text.moc"
