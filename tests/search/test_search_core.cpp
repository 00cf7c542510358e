// The register scan's core: the byte search against the decode-then-compare reference, on
// hand-made cases and on generated files in every encoding the text pane reads.
#include "platform/text_codecs.h"
#include "search/byte_scan.h"
#include "search/find_next.h"
#include "search/text_search.h"
#include "text/text_decode.h"
#include "text/text_index.h"
#include "wild_texts.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

using namespace tarvex;

namespace {

QByteArray hex(const char* h) {
  return QByteArray::fromHex(h);
}

QByteArray encode(const char* codec, const QString& text) {
  QStringEncoder encoder(codec);
  return encoder.encode(text);
}

// UTF-16 with its byte order mark.
QByteArray utf16(const QString& text, bool big_endian) {
  return big_endian ? "\xFE\xFF" + encode("UTF-16BE", text) : "\xFF\xFE" + encode("UTF-16LE", text);
}

// Pieces of Japanese text: kana, kanji whose code page 932 trail byte is "@", "\" or "|",
// half-width kana, NEC and IBM rows, the characters that mapping tables disagree on.
const QStringList kPieces = {
    QStringLiteral("あいう"), QStringLiteral("検索"), QStringLiteral("ソ"),
    QStringLiteral("表示"),   QStringLiteral("能力"), QStringLiteral("ー"),
    QStringLiteral("ｶﾀｶﾅ"),   QStringLiteral("①"),    QStringLiteral("∵"),
    QStringLiteral("￢"),     QStringLiteral("髙"),   QStringLiteral("～"),
    QStringLiteral("∥"),      QStringLiteral("－"),   QStringLiteral("abc"),
    QStringLiteral("@"),      QStringLiteral("\\"),   QStringLiteral("|"),
    QStringLiteral(" "),      QStringLiteral("\r\n"), QStringLiteral("\n"),
    QStringLiteral("\r"),     QStringLiteral("Ａ"),   QStringLiteral("ABC"),
    QStringLiteral("〇"),     QStringLiteral("℡"),    QStringLiteral("纊"),
};

QString random_text(QRandomGenerator& rng, int pieces) {
  QString text;
  while (pieces-- > 0) text += kPieces[rng.bounded(int(kPieces.size()))];
  return text;
}

// Code page 932 bytes with every byte form the decoder knows for some characters: the NEC
// and IBM duplicates, single trail bytes and stray bytes that do not decode.
QByteArray random_cp932(QRandomGenerator& rng, int chars) {
  static const char* const kCodes[] = {
      "82a0", "8c9f", "8df5", "835c", "955c", "945c", "8140", "837c", "40",   "5c",   "7c",
      "41",   "61",   "0d0a", "0a",   "0d",   "b6",   "8740", "81e6", "879a", "fa5b", "81ca",
      "eef9", "fa54", "fb5c", "8160", "8161", "817c", "81e0", "8790", "8754", "fa4a", "8191",
      "80",   "a0",   "fd",   "81",   "e040", "f040", "8540", "00",   "1a",   "7f",   "ff"};
  QByteArray out;
  for (int i = 0; i < chars; ++i) out += hex(kCodes[rng.bounded(int(std::size(kCodes)))]);
  return out;
}

// EUC-JP bytes with every code the decoder reads: kana, kanji, half-width katakana, JIS X 0212,
// the decoder's 8E E0 to 8E E2 for ¢ £ ¬, NEC's row 13; and, one code in five, noise: lone C1
// bytes and codes that do not decode.
QByteArray random_euc_jp(QRandomGenerator& rng, int chars) {
  static const char* const kCodes[] = {
      "a4a2", "a4f3", "a5ed", "a5f3",   "c6fc",   "cbdc",   "b8a1", "bab7", "8eb6", "8ec0",
      "8ee0", "8ee1", "8ee2", "8fa2b7", "8fb0a1", "8fa2c3", "a1c1", "a1dd", "a1f1", "a1f2",
      "a2cc", "ada1", "a1c2", "41",     "5c",     "0d0a",   "0a",   "0d",   "20"};
  static const char* const kNoise[] = {"85",   "9f",   "80",     "8d",   "a0", "ff", "8e41", "a141",
                                       "f5a1", "fefe", "8fa141", "8ee3", "a4", "8e", "8f41", "00"};
  QByteArray out;
  for (int i = 0; i < chars; ++i) {
    out += rng.bounded(5) ? hex(kCodes[rng.bounded(int(std::size(kCodes)))])
                          : hex(kNoise[rng.bounded(int(std::size(kNoise)))]);
  }
  return out;
}

// Text of mostly ASCII, as UTF-16 without a mark is: words, numbers, some Japanese and a character
// beyond the BMP.
QString random_mostly_ascii(QRandomGenerator& rng, int pieces) {
  static const QStringList kWords = {
      QStringLiteral("Name"), QStringLiteral(","),     QStringLiteral("12"),
      QStringLiteral("abc"),  QStringLiteral(" "),     QStringLiteral("\r\n"),
      QStringLiteral("<p>"),  QStringLiteral("x"),     QStringLiteral("@"),
      QStringLiteral("😀"),    QStringLiteral("\u3000")};
  QString text;
  while (pieces-- > 0) {
    text += rng.bounded(4) == 0 ? random_text(rng, 1) : kWords[rng.bounded(int(kWords.size()))];
  }
  return text;
}

QString random_needle(QRandomGenerator& rng, const QByteArray& bytes) {
  static const QStringList kFixed = {
      QStringLiteral("@"),      QStringLiteral("\\"),     QStringLiteral("|"),
      QStringLiteral("〜"),     QStringLiteral("～"),     QStringLiteral("‖"),
      QStringLiteral("−"),      QStringLiteral("¬"),      QStringLiteral("∵"),
      QStringLiteral("ソ"),     QStringLiteral("ｶﾀ"),     QStringLiteral("検索"),
      QStringLiteral("A"),      QStringLiteral("ab"),     QStringLiteral("\uFFFD"),
      QStringLiteral("\u001C"), QStringLiteral("¢"),      QStringLiteral("￠"),
      QStringLiteral("£"),      QStringLiteral("\u0085"), QStringLiteral("\uFEFF")};
  if (rng.bounded(3) == 0) return kFixed[rng.bounded(int(kFixed.size()))];
  // A piece of the file's own text, so that most needles do occur somewhere.
  const QString text = decode_text_bytes(bytes).text;
  if (text.isEmpty()) return QStringLiteral("x");
  return text.mid(rng.bounded(int(text.size())), 1 + rng.bounded(4));
}

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return QString();
  return path;
}

}  // namespace

class TestSearchCore : public QObject {
  Q_OBJECT

 private slots:
  void reference_data();
  void reference();
  void fast_equals_reference_data();
  void fast_equals_reference();
  void generated_corpora_data();
  void generated_corpora();
  void texts_from_the_wild_are_found();
  void block_boundaries_data();
  void block_boundaries();
  void small_blocks_answer_as_whole_data();
  void small_blocks_answer_as_whole();
  void file_changed_while_searched_never_crashes();
  void stop_ends_every_pass_data();
  void stop_ends_every_pass();
  void long_lead_byte_runs();
  void anchor_scanner_finds_every_anchor_in_order();
  void scan_keeps_entry_order_and_skips_missing();
  void find_next_data();
  void find_next();
  void iso_2022_jp_look_never_misses();
};

// The reference itself, on cases whose answer follows from the rules.
void TestSearchCore::reference_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("needle");
  QTest::addColumn<bool>("found");
  // clang-format off
  QTest::newRow("plain hit") << QByteArray("xabcx") << QStringLiteral("abc") << true;
  QTest::newRow("case differs") << QByteArray("xABCx") << QStringLiteral("abc") << false;
  QTest::newRow("width differs") << encode("windows-31j", QStringLiteral("ａｂｃ")) << QStringLiteral("abc") << false;
  QTest::newRow("across CRLF") << QByteArray("ab\r\ncd") << QStringLiteral("bc") << false;
  QTest::newRow("needle with a line end") << QByteArray("ab\ncd") << QStringLiteral("b\nc") << false;
  QTest::newRow("at the end without line end") << QByteArray("xx\nyyz") << QStringLiteral("yz") << true;
  QTest::newRow("backslash inside ソ") << hex("835c") << QStringLiteral("\\") << false;
  QTest::newRow("backslash after ソ") << hex("835c5c") << QStringLiteral("\\") << true;
  QTest::newRow("at sign inside 　") << hex("8140") << QStringLiteral("@") << false;
  QTest::newRow("bar inside ー") << hex("837c") << QStringLiteral("|") << false;
  QTest::newRow("NEC ∵ for ∵") << hex("879a") << QStringLiteral("∵") << true;
  QTest::newRow("IBM ∵ for ∵") << hex("fa5b") << QStringLiteral("∵") << true;
  QTest::newRow("wave dash finds tilde") << hex("8160") << QStringLiteral("〜") << true;
  QTest::newRow("tilde in UTF-8 finds wave") << QByteArray("\xE3\x80\x9C") << QStringLiteral("～") << true;
  QTest::newRow("minus finds full-width") << hex("817c") << QStringLiteral("−") << true;
  QTest::newRow("UTF-8 file") << QStringLiteral("日本語の検索").toUtf8() << QStringLiteral("検索") << true;
  QTest::newRow("UTF-16LE") << utf16(QStringLiteral("日本語の検索"), false) << QStringLiteral("の検") << true;
  QTest::newRow("UTF-16BE") << utf16(QStringLiteral("日本語の検索"), true) << QStringLiteral("本語") << true;
  QTest::newRow("empty file") << QByteArray() << QStringLiteral("a") << false;
  QTest::newRow("half-width kana line") << hex("c3bdc40d0a") << QStringLiteral("ﾃｽﾄ") << true;
  QTest::newRow("EUC-JP kana in markup") << encode("EUC-JP", QStringLiteral("<html><body>ログイン</body></html>")) << QStringLiteral("ログイン") << true;
  QTest::newRow("UTF-16LE without mark") << encode("UTF-16LE", QStringLiteral("品番,数量\r\nA-1,12\r\n")) << QStringLiteral("A-1") << true;
  QTest::newRow("UTF-16BE without mark") << encode("UTF-16BE", QStringLiteral("品番,数量\r\nA-1,12\r\n")) << QStringLiteral("数量") << true;
  QTest::newRow("UTF-16LE without mark, beyond the BMP") << encode("UTF-16LE", QStringLiteral("Smile 😀 ok")) << QStringLiteral("😀 o") << true;
  QTest::newRow("UTF-16BE without mark, not across lines") << encode("UTF-16BE", QStringLiteral("A-1\r\n12")) << QStringLiteral("112") << false;
  QTest::newRow("EUC-JP ¢ of 8E E0") << encode("EUC-JP", QStringLiteral("価格は")) + hex("8ee0") + encode("EUC-JP", QStringLiteral("百円です。")) << QStringLiteral("¢") << true;
  QTest::newRow("EUC-JP ¢ of 8E E0 for ￠") << encode("EUC-JP", QStringLiteral("価格は")) + hex("8ee0") + encode("EUC-JP", QStringLiteral("百円です。")) << QStringLiteral("￠百円") << true;
  QTest::newRow("EUC-JP £ and ¬") << encode("EUC-JP", QStringLiteral("価格は")) + hex("8ee18ee2") + encode("EUC-JP", QStringLiteral("です。")) << QStringLiteral("£¬") << true;
  QTest::newRow("EUC-JP lone C1 byte") << encode("EUC-JP", QStringLiteral("日本語の文章")) + hex("85") << QStringLiteral("\u0085") << true;
  QTest::newRow("doubled UTF-8 mark") << hex("efbbbfefbbbf78") << QStringLiteral("\uFEFFx") << true;
  QTest::newRow("doubled UTF-16LE mark") << hex("fffefffe7800") << QStringLiteral("\uFEFF") << true;
  QTest::newRow("doubled UTF-16BE mark") << hex("fefffeff0078") << QStringLiteral("\uFEFFx") << true;
  // clang-format on
}

void TestSearchCore::reference() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, needle);
  QFETCH(bool, found);
  QCOMPARE(text_bytes_contain(bytes, needle), found);
  QCOMPARE(SearchNeedle(needle).found_in(bytes), found);
}

// Traps where a byte search without boundaries would answer wrongly.
void TestSearchCore::fast_equals_reference_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("needle");
  // clang-format off
  QTest::newRow("trail @ after odd lead run") << hex("8181818140") << QStringLiteral("@");
  QTest::newRow("trail @ after even lead run") << hex("81818140") << QStringLiteral("@");
  QTest::newRow("pair straddles chars") << hex("82a082a0") << QStringLiteral("\uFF62");
  QTest::newRow("kanji split across pairs") << hex("838c9f") << QStringLiteral("検");
  QTest::newRow("lead then line end") << hex("810a40") << QStringLiteral("@");
  QTest::newRow("UTF-16 odd offset") << QByteArray("\xFF\xFE\x41\x30\x42\x30", 6) << QStringLiteral("\u4230");
  QTest::newRow("UTF-8 mark with bad bytes") << QByteArray("\xEF\xBB\xBF\xE3\xE3\x81\x82") << QStringLiteral("あ");
  QTest::newRow("EUC-JP text") << encode("EUC-JP", QStringLiteral("日本語の文章を検索します。日本語")) << QStringLiteral("検索");
  QTest::newRow("EUC-JP dup tilde") << (encode("EUC-JP", QStringLiteral("日本語の文章です。")) + hex("8fa2b7")) << QStringLiteral("〜");
  QTest::newRow("ISO-2022-JP") << encode("ISO-2022-JP", QStringLiteral("日本語の文章を検索します。")) << QStringLiteral("検索");
  QTest::newRow("ISO-2022-JP ASCII bytes") << encode("ISO-2022-JP", QStringLiteral("日本語の文章を検索します。")) << QStringLiteral("F|K\\");
  QTest::newRow("replacement needle") << hex("8540") << QStringLiteral("\uFFFD");
  QTest::newRow("zero-width no-break space") << QStringLiteral("xa\uFEFFb").toUtf8() << QStringLiteral("a\uFEFFb");
  QTest::newRow("surrogate pair") << QStringLiteral("a😀b").toUtf8() << QStringLiteral("😀");
  QTest::newRow("UTF-16 without mark, odd offset") << QByteArray("x\0\x41\x30\x42\x30", 6) << QStringLiteral("\u4230");
  QTest::newRow("zero bytes in code page 932") << hex("82a000829f00") << QStringLiteral("あ");
  QTest::newRow("EUC-JP cut after 8F A1") << encode("EUC-JP", QStringLiteral("日本語の文章")) + hex("8fa1") << QStringLiteral("章");
  // clang-format on
}

void TestSearchCore::fast_equals_reference() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, needle);
  QCOMPARE(SearchNeedle(needle).found_in(bytes), text_bytes_contain(bytes, needle));
}

void TestSearchCore::generated_corpora_data() {
  QTest::addColumn<int>("kind");
  // clang-format off
  QTest::newRow("code page 932") << 0;
  QTest::newRow("EUC-JP") << 1;
  QTest::newRow("UTF-8") << 2;
  QTest::newRow("UTF-8 with mark") << 3;
  QTest::newRow("UTF-16LE") << 4;
  QTest::newRow("UTF-16BE") << 5;
  QTest::newRow("random bytes") << 6;
  QTest::newRow("ISO-2022-JP") << 7;
  QTest::newRow("ISO-2022-JP with a high byte at the end") << 8;
  QTest::newRow("noisy EUC-JP") << 9;
  QTest::newRow("UTF-16LE without mark") << 10;
  QTest::newRow("UTF-16BE without mark") << 11;
  QTest::newRow("doubled marks") << 12;
  // clang-format on
}

void TestSearchCore::generated_corpora() {
  QFETCH(int, kind);
  QRandomGenerator rng(1234 + kind);
  QTemporaryDir dir;
  int found = 0;
  for (int round = 0; round < 400; ++round) {
    QByteArray bytes;
    const int size = 1 + rng.bounded(round % 10 == 0 ? 4000 : 60);
    const QString text = kind == 10 || kind == 11              ? random_mostly_ascii(rng, size)
                         : kind != 0 && kind != 6 && kind != 9 ? random_text(rng, size)
                                                               : QString();
    if (kind == 0) bytes = random_cp932(rng, size);
    if (kind == 1) bytes = encode("EUC-JP", text);
    if (kind == 2 || kind == 3) bytes = (kind == 3 ? "\xEF\xBB\xBF" : "") + text.toUtf8();
    if (kind == 4 || kind == 5) bytes = utf16(text, kind == 5);
    for (int i = 0; kind == 6 && i < size; ++i) bytes.append(char(rng.bounded(256)));
    if (kind == 7 || kind == 8) bytes = encode("ISO-2022-JP", text) + (kind == 8 ? "\x82\xA0" : "");
    if (kind == 9) bytes = random_euc_jp(rng, size);
    if (kind == 10 || kind == 11) bytes = encode(kind == 10 ? "UTF-16LE" : "UTF-16BE", text);
    if (kind == 12) {
      static const char* const kMarks[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
      const int m = rng.bounded(3);
      const QByteArray body = m == 0   ? text.toUtf8()
                              : m == 1 ? encode("UTF-16LE", text)
                                       : encode("UTF-16BE", text);
      bytes = QByteArray(kMarks[m]) + QByteArray(kMarks[m]).repeated(rng.bounded(3)) + body;
    }
    const QString needle = random_needle(rng, bytes);
    const bool expected = text_bytes_contain(bytes, needle);
    found += expected;
    const SearchNeedle prepared(needle);
    if (prepared.found_in(bytes) != expected) {
      QFAIL(qPrintable(QStringLiteral("round %1 needle %2 bytes %3")
                           .arg(round)
                           .arg(needle, QString::fromLatin1(bytes.toHex()))));
    }
    if (round % 20 == 0) {
      const QString path = write(dir, QStringLiteral("f%1.txt").arg(round), bytes);
      QCOMPARE(search_file(prepared, path),
               expected ? FileSearchResult::Found : FileSearchResult::NotFound);
    }
  }
  // The corpus must exercise both answers.
  QVERIFY(found > 40);
  QVERIFY(found < 360);
}

// Pieces of every line of the texts people write are found in each encoding the texts come in, by
// the scan of the file and by the search of its bytes; a string the text lacks is not.
void TestSearchCore::texts_from_the_wild_are_found() {
  const QList<tarvex::testing::WildText> texts = tarvex::testing::wild_texts();
  QVERIFY(texts.size() >= 40);
  for (const tarvex::testing::WildText& t : texts) {
    QStringList needles;
    for (const QString& line : t.text.split(QRegularExpression(QStringLiteral("\\r?\\n")))) {
      if (line.size() >= 2) needles << line.mid(line.size() / 3, 4);
    }
    QVERIFY(!needles.isEmpty());
    for (const QString& piece : needles) {
      const SearchNeedle needle(piece);
      QVERIFY2(needle.found_in(t.bytes), qPrintable(t.name + u' ' + piece));
      QVERIFY2(search_file(needle, t.path) == FileSearchResult::Found,
               qPrintable(t.name + u' ' + piece));
    }
    const SearchNeedle absent(QStringLiteral("見当たらない文字列"));
    QVERIFY2(!absent.found_in(t.bytes), qPrintable(t.name));
    QVERIFY2(search_file(absent, t.path) == FileSearchResult::NotFound, qPrintable(t.name));
  }
}

// Occurrences that straddle the blocks the scan reads, and at the very end of a file.
void TestSearchCore::block_boundaries_data() {
  QTest::addColumn<qsizetype>("at");
  QTest::addColumn<QString>("codec");
  constexpr qsizetype kBlock = 1 << 20;
  // clang-format off
  for (qsizetype delta : {-3, -2, -1, 0, 1}) {
    QTest::addRow("cp932 at block %+lld", qlonglong(delta)) << kBlock + delta << QStringLiteral("windows-31j");
    QTest::addRow("utf8 at block %+lld", qlonglong(delta)) << kBlock + delta << QStringLiteral("UTF-8");
  }
  QTest::newRow("cp932 at the end") << qsizetype(-1) << QStringLiteral("windows-31j");
  QTest::newRow("utf8 at the end") << qsizetype(-1) << QStringLiteral("UTF-8");
  // clang-format on
}

void TestSearchCore::block_boundaries() {
  QFETCH(qsizetype, at);
  QFETCH(QString, codec);
  const QByteArray needle_bytes = encode(codec.toLatin1().constData(), QStringLiteral("検索"));
  const QByteArray filler = encode(codec.toLatin1().constData(), QStringLiteral("あいうえお\r\n"));
  QByteArray bytes;
  const qsizetype until = at < 0 ? 3 * (1 << 19) : at;
  while (bytes.size() < until) bytes += filler;
  bytes.truncate(until);
  // Keep the text whole before the occurrence: pad with ASCII to the wanted offset.
  while (bytes.size() > 0 && decode_cp932(bytes.right(1)).contains(QChar::ReplacementCharacter)) {
    bytes.chop(1);
  }
  if (codec == QStringLiteral("UTF-8")) {
    while (!is_valid_utf8(bytes)) bytes.chop(1);
  }
  while (bytes.size() < until) bytes += ' ';
  bytes += needle_bytes;
  if (at >= 0) bytes += filler;
  QTemporaryDir dir;
  const QString path = write(dir, QStringLiteral("big.txt"), bytes);
  const SearchNeedle needle(QStringLiteral("検索"));
  QCOMPARE(search_file(needle, path), FileSearchResult::Found);
  QCOMPARE(needle.found_in(bytes), true);
  const SearchNeedle absent(QStringLiteral("検査"));
  QCOMPARE(search_file(absent, path), FileSearchResult::NotFound);
}

// The search reads a text in blocks, keeping bytes from one block in front of the next: with
// blocks of a few bytes, every occurrence, character and mark straddles a cut somewhere, and the
// answer is still the reference's. The decision on the encoding comes only after several blocks,
// and a UTF-8 text with a mark turns out not to be UTF-8 only late.
void TestSearchCore::small_blocks_answer_as_whole_data() {
  QTest::addColumn<int>("kind");
  // clang-format off
  QTest::newRow("code page 932") << 0;
  QTest::newRow("EUC-JP") << 1;
  QTest::newRow("UTF-8 with mark, bad bytes late") << 2;
  QTest::newRow("UTF-16LE with mark") << 3;
  QTest::newRow("UTF-16BE without mark") << 4;
  QTest::newRow("ISO-2022-JP") << 5;
  QTest::newRow("zero bytes, then text") << 6;
  // clang-format on
}

void TestSearchCore::small_blocks_answer_as_whole() {
  QFETCH(int, kind);
  // A code that does not decode, cut between two blocks, is read as in one.
  const QByteArray cut = encode("EUC-JP", QStringLiteral("日本語")) + hex("8fa141");
  for (const qsizetype block : {1, 2, 3, 7})
    QVERIFY(SearchNeedle(QStringLiteral("A")).found_in(cut, block) == text_bytes_contain(cut, "A"));
  QRandomGenerator rng(77 + kind);
  int found = 0;
  for (int round = 0; round < 150; ++round) {
    const int size = 1 + rng.bounded(round % 5 == 0 ? 3000 : 80);
    const QString text = kind == 4 ? random_mostly_ascii(rng, size) : random_text(rng, size);
    QByteArray bytes;
    if (kind == 0) bytes = random_cp932(rng, size);
    if (kind == 1) bytes = random_euc_jp(rng, size);
    if (kind == 2) bytes = "\xEF\xBB\xBF" + text.toUtf8() + (round % 2 ? "\xE3\x81" : "");
    if (kind == 3) bytes = utf16(text, false);
    if (kind == 4) bytes = encode("UTF-16BE", text);
    if (kind == 5) bytes = encode("ISO-2022-JP", text);
    if (kind == 6) bytes = QByteArray(rng.bounded(200), '\0') + text.toUtf8();
    const QString needle = random_needle(rng, bytes);
    const bool expected = text_bytes_contain(bytes, needle);
    found += expected;
    const SearchNeedle prepared(needle);
    for (const qsizetype block : {1, 2, 3, 5, 16, 33}) {
      if (prepared.found_in(bytes, block) != expected) {
        QFAIL(qPrintable(QStringLiteral("round %1 block %2 needle %3 bytes %4")
                             .arg(round)
                             .arg(block)
                             .arg(needle, QString::fromLatin1(bytes.toHex()))));
      }
    }
  }
  QVERIFY(found > 15);
  QVERIFY(found < 135);
}

namespace {

// A file of zero bytes after `head`, `size` long, that takes no room on the disk.
QString sparse_file(const QTemporaryDir& dir, const QString& name, const QByteArray& head,
                    qint64 size) {
  QFile f(dir.filePath(name));
  if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size() || !f.resize(size)) return {};
  return f.fileName();
}

}  // namespace

// A file cut short, grown or replaced while a search reads it is read as it is at that moment:
// the search never ends the program. A child process searches a large file of zero bytes (each a
// candidate, so the exact search runs), while this process cuts it to 4 KB, grows it, or puts
// another file in its place; the child must end by itself, not by a signal.
void TestSearchCore::file_changed_while_searched_never_crashes() {
  QTemporaryDir dir;
  constexpr qint64 kSize = qint64(128) << 20;
  const QString path = sparse_file(dir, QStringLiteral("big.txt"), QByteArray(), kSize);
  QVERIFY(!path.isEmpty());
  const SearchNeedle needle(QStringLiteral("存在しない"));
  for (int round = 0; round < 12; ++round) {
    QVERIFY(QFile::resize(path, kSize));
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      // The test's own crash handler would catch the signal: the child dies of it as Tarvex would.
      std::signal(SIGBUS, SIG_DFL);
      std::signal(SIGSEGV, SIG_DFL);
      const FileSearchResult result = search_file(needle, path);
      ::_exit(result == FileSearchResult::Found ? 1 : 0);
    }
    // Let the child get into the file before it changes under it.
    QTest::qWait(5 + round % 4 * 10);
    switch (round % 3) {
      case 0:
        QVERIFY(QFile::resize(path, 4096));
        break;
      case 1:
        QVERIFY(QFile::resize(path, kSize + (qint64(64) << 20)));
        break;
      case 2: {
        const QString other = sparse_file(dir, QStringLiteral("other.txt"), "zzz", 8192);
        QVERIFY(QFile::resize(path, 4096));
        QVERIFY(::rename(QFile::encodeName(other).constData(),
                         QFile::encodeName(path).constData()) == 0);
        break;
      }
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(!WIFSIGNALED(status),
             qPrintable(QStringLiteral("round %1: signal %2").arg(round).arg(WTERMSIG(status))));
    QVERIFY(WIFEXITED(status));
  }
}

// A stop is answered in every pass of the exact search, however long the file: the search as
// UTF-8 while the encoding is still open, and the search of a decided encoding. Each file is far
// too large to be read to its end in the test's time, so a scan that did not look at its stop flag
// would not end.
void TestSearchCore::stop_ends_every_pass_data() {
  QTest::addColumn<QByteArray>("head");
  QTest::addColumn<QString>("needle");
  const QByteArray kana = QByteArray("\x82\xA0\x82\xA2").repeated(40000);
  // clang-format off
  QTest::newRow("zero bytes, encoding open") << QByteArray() << QStringLiteral("zzz");
  QTest::newRow("UTF-16LE with mark") << QByteArray("\xFF\xFE") << QStringLiteral("zzz");
  QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF") << QStringLiteral("zzz");
  QTest::newRow("code page 932") << kana + QByteArray(1, '\0') << QStringLiteral("zzz");
  // clang-format on
}

void TestSearchCore::stop_ends_every_pass() {
  QFETCH(QByteArray, head);
  QFETCH(QString, needle);
  QTemporaryDir dir;
  const QString path = sparse_file(dir, QStringLiteral("huge.txt"), head, qint64(64) << 30);
  if (path.isEmpty()) QSKIP("no sparse file of 64 GB here");
  struct Run {
    SearchNeedle needle;
    JobControl job{0};
    ScanControl control;
    std::atomic<bool> started{false}, finished{false};
    std::vector<int> hits{0};
    explicit Run(const QString& text) : needle(text) {}
  };
  // Kept alive after a failure: a scan that does not stop still uses it.
  auto* run = new Run(needle);
  run->control.starting = [run](int) { run->started = true; };
  std::thread([run, path] {
    run->hits = scan_files({path}, run->needle, run->job, run->control, 1);
    run->finished = true;
  }).detach();
  QTRY_VERIFY(run->started.load());
  // Let the scan get well into the file.
  QTest::qWait(100);
  QVERIFY(!run->finished.load());
  run->job.stop();
  QTRY_VERIFY_WITH_TIMEOUT(run->finished.load(), 10000);
  QVERIFY(run->hits.empty());
  delete run;
}

// A long run of bytes that could all be lead bytes: the answer still follows the pairs, and the
// search does not walk the run again for every candidate.
void TestSearchCore::long_lead_byte_runs() {
  for (int extra : {0, 1}) {
    QByteArray bytes(200000 + extra, char(0x81));
    bytes += "\x81\x40";
    const QString needle = decode_cp932(hex("8181"));
    QCOMPARE(SearchNeedle(needle).found_in(bytes), text_bytes_contain(bytes, needle));
    QCOMPARE(SearchNeedle(QStringLiteral("@")).found_in(bytes), text_bytes_contain(bytes, "@"));
  }
}

// The byte scanner, with each set of vector instructions, against a look at every offset: random
// anchors over a few byte values (some sharing their low four bits), so that anchors overlap,
// share keys and stand near the end, and an anchor keyed late may be seen after one that starts
// later.
void TestSearchCore::anchor_scanner_finds_every_anchor_in_order() {
  QRandomGenerator rng(11);
  const uchar values[] = {0x1B, 0x4B, 0x24, 0x94, 0x81, 0x40, 0xE3, 0x8D};
  for (int round = 0; round < 400; ++round) {
    std::vector<ByteAnchor> anchors(1 + rng.bounded(7));
    for (ByteAnchor& a : anchors) {
      const int len = 1 + rng.bounded(ByteAnchor::kMaxBytes);
      for (int j = 0, at = 0; j < len && at < ByteAnchor::kMaxSpan; ++j) {
        a.add(values[rng.bounded(4 + round % 5)], at);
        at += rng.bounded(3) ? 1 : 1 + rng.bounded(12);
      }
      a.starts = rng.generate();
    }
    std::vector<uchar> data(size_t(1 + rng.bounded(4000)));  // exactly as long: overreads show
    for (uchar& b : data) b = values[rng.bounded(4 + round % 5)];
    const auto n = qsizetype(data.size());
    const qsizetype start = rng.bounded(int(n));
    using V = AnchorScanner::Vectors;
    // Samples of one text: without the anchors' bytes, they look rare (and in the data, full of
    // them, the scan soon falls back to pairs, mid-way); full of them, pairs are keyed on the
    // sample's counts.
    std::vector<uchar> no_anchor_bytes(4096, 0), full(4096);
    for (uchar& b : full) b = values[rng.bounded(8)];
    for (const int mode : {0, 1, 2, 3}) {
      const AnchorScanner scanner(anchors, mode == 1 ? V::Sse2 : V::Best);
      AnchorScanner::OneText text(scanner, (mode == 2 ? no_anchor_bytes : full).data(), 4096);
      for (qsizetype from = start; from <= n;) {
        qsizetype expected = from;
        while (expected < n &&
               std::none_of(anchors.begin(), anchors.end(),
                            [&](const ByteAnchor& a) { return a.at(data.data(), expected, n); }))
          ++expected;
        const qsizetype got =
            mode >= 2 ? text.next(data.data(), from, n) : scanner.next(data.data(), from, n);
        QVERIFY2(
            got == expected,
            qPrintable(QStringLiteral("round %1 mode %2 from %3").arg(round).arg(mode).arg(from)));
        from = got + 1;
      }
    }
  }
}

void TestSearchCore::scan_keeps_entry_order_and_skips_missing() {
  QTemporaryDir dir;
  const QString hit =
      write(dir, QStringLiteral("hit.txt"), encode("windows-31j", QStringLiteral("検索する")));
  const QString miss = write(dir, QStringLiteral("miss.txt"), QByteArray("nothing"));
  const QString gone = dir.filePath(QStringLiteral("gone.txt"));
  std::vector<QString> paths{miss, hit, gone, hit, QString(), dir.path(), miss, hit};
  for (int i = 0; i < 40; ++i) paths.push_back(i % 7 == 0 ? hit : miss);
  std::vector<int> expected;
  for (int i = 0; i < int(paths.size()); ++i) {
    if (paths[size_t(i)] == hit) expected.push_back(i);
  }
  const SearchNeedle needle(QStringLiteral("検索"));
  for (int workers : {1, 2, 4}) {
    const JobControl job(0);
    ScanControl control;
    QCOMPARE(scan_files(paths, needle, job, control, workers), expected);
    QCOMPARE(control.done.load(), int(paths.size()));
  }
  // A scan asked to stop before it starts reads nothing.
  JobControl stopped_job(0);
  stopped_job.stop();
  ScanControl stopped;
  QVERIFY(scan_files(paths, needle, stopped_job, stopped, 2).empty());
  QCOMPARE(stopped.done.load(), 0);
}

// Find-next over the text as the pane shows it: overlapping occurrences, the character rule
// (a no-break space is no space), line ends counting one and never crossed, an occurrence
// running on across the cut of a long line, and an empty string that occurs at every position up
// to the end and then no more. The same positions whether the text is a string or a file in one
// of the pane's encodings, read in small blocks so that blocks and cuts fall everywhere.
void TestSearchCore::find_next_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("needle");
  QTest::addColumn<QList<qint64>>("found");
  const QString long_line = QString(40, u'あ') + QStringLiteral("いう\n");
  // clang-format off
  QTest::newRow("overlapping") << QStringLiteral("aaa") << QStringLiteral("aa") << QList<qint64>{0, 1};
  QTest::newRow("case differs") << QStringLiteral("aAa") << QStringLiteral("A") << QList<qint64>{1};
  QTest::newRow("wave dash") << QStringLiteral("〜x～") << QStringLiteral("～") << QList<qint64>{0, 2};
  QTest::newRow("no-break space") << QStringLiteral("a b\u00A0b") << QStringLiteral("\u00A0b") << QList<qint64>{3};
  QTest::newRow("space is no no-break space") << QStringLiteral("a\u00A0b") << QStringLiteral(" b") << QList<qint64>{};
  QTest::newRow("line ends count one") << QStringLiteral("x\r\ny\rz\ny") << QStringLiteral("y") << QList<qint64>{2, 6};
  QTest::newRow("not across a line") << QStringLiteral("ab\ncd") << QStringLiteral("bc") << QList<qint64>{};
  QTest::newRow("across a cut") << long_line << QStringLiteral("あいう") << QList<qint64>{39};
  QTest::newRow("after a surrogate pair") << QStringLiteral("😀x😀x") << QStringLiteral("x") << QList<qint64>{2, 5};
  QTest::newRow("empty string") << QStringLiteral("ab") << QString() << QList<qint64>{0, 1, 2};
  QTest::newRow("empty text") << QString() << QStringLiteral("a") << QList<qint64>{};
  // clang-format on
}

void TestSearchCore::find_next() {
  QFETCH(QString, text);
  QFETCH(QString, needle);
  QFETCH(QList<qint64>, found);
  QTemporaryDir dir;
  const std::pair<TextEncoding, QByteArray> files[] = {
      {TextEncoding::Cp932, encode("windows-31j", text)},
      {TextEncoding::Utf8, text.toUtf8()},
      {TextEncoding::Utf16LeBom, utf16(text, false)},
      {TextEncoding::EucJp, encode("EUC-JP", text)},
      {TextEncoding::Iso2022Jp, encode("ISO-2022-JP", text)},
  };
  std::vector<std::shared_ptr<IndexedText>> texts{IndexedText::from_string(text)};
  TextBlockSizes small;
  small.block = 24;
  small.piece = 10;
  for (const auto& [encoding, bytes] : files) {
    if (decode_text_as(bytes, encoding) != text) continue;  // not in this encoding
    auto file = std::make_unique<QFile>(dir.filePath(QString::number(int(encoding))));
    QVERIFY(file->open(QIODevice::ReadWrite) && file->write(bytes) == bytes.size() &&
            file->seek(0));
    const QByteArray head = file->read(small.open_bytes());
    texts.push_back(IndexedText::open(std::move(file), head, small, encoding));
  }
  QVERIFY(texts.size() >= 3);
  for (const std::shared_ptr<IndexedText>& t : texts) {
    QList<qint64> seen;
    for (qint64 at = tarvex::find_next(*t, needle, 0); at >= 0 && seen.size() < 10;
         at = tarvex::find_next(*t, needle, at + 1)) {
      seen << at;
    }
    QCOMPARE(seen, found);
  }
}

// Find-next looks at the bytes of an ISO-2022-JP block before decoding it, reading them in the
// sets that the escapes designate: a block whose text holds the string is never passed over.
// Blocks start anywhere (the set in force at the start comes from an escape before it), and the
// text holds what encoders seldom write: spaces and line ends inside a set of two bytes, shifts,
// other escapes, a code cut by the block's end. For strings the text lacks, the look mostly says
// so without decoding.
void TestSearchCore::iso_2022_jp_look_never_misses() {
  QRandomGenerator rng(2022);
  static const char* const kOdd[] = {" ",      "\n",      "\r\n",   "\x0E",   "\x0F",  "\x1B(J",
                                     "\x1B$@", "\x1B$(D", "\x1B(I", "\x1B$A", "\x1BN", "!"};
  int told_absent = 0, absent = 0;
  for (int round = 0; round < 600; ++round) {
    QByteArray bytes;
    for (int piece = 0, pieces = 1 + rng.bounded(30); piece < pieces; ++piece) {
      bytes += rng.bounded(6) ? encode("ISO-2022-JP", random_text(rng, 1 + rng.bounded(4)))
                              : QByteArray(kOdd[rng.bounded(int(std::size(kOdd)))]);
    }
    // A block from anywhere, decoded in the set in force where it starts.
    qsizetype from = rng.bounded(int(bytes.size()));
    const qsizetype escape = from > 0 ? bytes.lastIndexOf('\x1B', from - 1) : -1;
    QByteArray state;
    if (escape >= 0) {
      const qsizetype size = bytes.mid(escape, 3) == "\x1B$("  ? 4
                             : bytes.mid(escape, 2) == "\x1BN" ? 2
                                                               : 3;
      state = bytes.mid(escape, size);
      from = std::max(from, escape + size);
    }
    const QByteArray block = bytes.mid(from, rng.bounded(int(bytes.size() - from) + 1));
    const QString text = fold_search_text(decode_text_as(state + block, TextEncoding::Iso2022Jp));
    QString needle = rng.bounded(4)
                         ? text.mid(rng.bounded(int(text.size()) + 1), 1 + rng.bounded(3))
                         : QStringLiteral("漢字");
    if (needle.isEmpty()) needle = QStringLiteral("あ");
    const bool holds = text.contains(fold_search_text(needle));
    const bool may = SearchNeedle(needle).may_occur_in(block, TextEncoding::Iso2022Jp);
    QVERIFY2(!holds || may, qPrintable(QStringLiteral("round %1 needle %2 block %3 state %4")
                                           .arg(round)
                                           .arg(needle, QString::fromLatin1(block.toHex()),
                                                QString::fromLatin1(state.toHex()))));
    absent += !holds;
    told_absent += !holds && !may;
  }
  QVERIFY(absent > 100);
  QVERIFY2(told_absent > absent / 3,
           qPrintable(QStringLiteral("%1 of %2").arg(told_absent).arg(absent)));
}

QTEST_GUILESS_MAIN(TestSearchCore)
#include "test_search_core.moc"
