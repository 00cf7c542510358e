// Reading texts: encoding detection and decoding, files that cannot be read, rich text.

#include "platform/text_codecs.h"
#include "text/rtf_reader.h"
#include "text/text_decode.h"
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

// A folder is no text; a file too large for memory is refused without being read (a sparse file
// costs no disk).
void TestText::files_that_cannot_be_read() {
  QTemporaryDir dir;
  QVERIFY(!load_text_file(dir.path()));
  QFile huge(dir.filePath("huge.txt"));
  QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(kMaxTextFileBytes + 1));
  huge.close();
  QVERIFY(!load_text_file(huge.fileName()));
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
