// Reading texts: encoding detection and decoding, files that cannot be read, rich text.

#include "held_reads.h"
#include "platform/text_codecs.h"
#include "text/rtf_reader.h"
#include "text/text_decode.h"
#include "text/text_index.h"
#include "text/text_loader.h"
#include "wild_texts.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

using namespace tarvex;
using tarvex::testing::HeldReads;
using tarvex::testing::wild_texts;
using tarvex::testing::WildText;

namespace {

QByteArray encoded(const char* codec, const QString& text) {
  QStringEncoder encoder(codec);
  return encoder.encode(text);
}

// The decision of a detector fed the bytes in blocks of the given sizes, taken in turn.
TextEncoding decision_in_blocks(const QByteArray& bytes, const QList<int>& sizes) {
  TextEncodingDetector detector;
  qsizetype at = 0;
  for (int k = 0; at < bytes.size(); ++k) {
    const qsizetype size = std::min<qsizetype>(sizes[k % sizes.size()], bytes.size() - at);
    detector.feed(QByteArrayView(bytes).sliced(at, size));
    at += size;
  }
  return detector.decision();
}

// An ISO-2022-JP text of `count` pieces read from a set of two bytes a character or not: the
// designations the decoder knows (never two in a row, which it takes for an error), characters
// of the set in force, line ends of every kind (after which a set of two bytes gives way to
// ASCII), and among them the `invalid` pieces.
QByteArray jis_text(QRandomGenerator& random, bool double_byte, const QList<QByteArray>& invalid,
                    int count) {
  const QList<QByteArray> singles{"\x1B(B", "\x1B(J"}, doubles{"\x1B$B", "\x1B$@"};
  const QList<QByteArray> kanji{"0!", "F|", "!!", "$\"", "%v", "O!"};
  const QList<QByteArray> ascii{"abc", "\\~", " ", "\t", "1"};
  const QList<QByteArray> line_ends{"\r\n", "\n", "\r", "\r\x1B(B\n"};
  auto pick = [&random](const QList<QByteArray>& from) {
    return from[int(random.bounded(from.size()))];
  };
  QByteArray out;
  bool after_escape = false;
  for (int k = 0; k < count; ++k) {
    switch (random.bounded(invalid.isEmpty() ? 4 : 5)) {
      case 0:
        if (after_escape) continue;
        double_byte = random.bounded(2) == 1;
        out += pick(double_byte ? doubles : singles);
        after_escape = true;
        continue;
      case 1:
        out += pick(line_ends);
        double_byte = false;
        break;
      case 4:
        out += pick(invalid);
        break;
      default:
        out += pick(double_byte ? kanji : ascii);
        break;
    }
    after_escape = false;
  }
  return out;
}

}  // namespace

class TestText final : public QObject {
  Q_OBJECT
 private slots:
  void text_encodings_data();
  void text_encodings();
  void short_texts_read_as_a_person_reads_them_data();
  void short_texts_read_as_a_person_reads_them();
  void texts_from_the_wild();
  void detector_decides_alike_in_any_blocks();
  void detector_weighs_a_sample_and_settles();
  void decoding_keeps_every_character_data();
  void decoding_keeps_every_character();
  void files_that_cannot_be_read();
  void text_block_counted_without_decoding_data();
  void text_block_counted_without_decoding();
  void iso_2022_jp_counted_as_decoded_data();
  void iso_2022_jp_counted_as_decoded();
  void text_block_ends_after_a_whole_line_end_data();
  void text_block_ends_after_a_whole_line_end();
  void text_index_lines_and_positions_data();
  void text_index_lines_and_positions();
  void text_index_settles_on_the_whole_files_encoding();
  void text_index_of_a_file_that_shrinks();
  void text_index_finds_a_change_anywhere_in_it_data();
  void text_index_finds_a_change_anywhere_in_it();
  void text_index_never_waits_for_its_worker();
  void text_index_of_a_file_changed_before_it_was_stamped();
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

// Short texts that more than one encoding reads without fault, or nearly: each is read the way a
// person reads it. Kana pairs of code page 932 are also UTF-8 two-byte characters, EUC-JP's kana
// are also half-width katakana of code page 932, and UTF-16 of ASCII is valid UTF-8.
void TestText::short_texts_read_as_a_person_reads_them_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("encoding");
  const auto cp932 = [](const QString& t) { return encode_cp932(t); };
  const auto euc = [](const QString& t) { return encoded("EUC-JP", t); };
  const QChar bad(0xFFFD);
  const int sjis = int(TextEncoding::Cp932), eucjp = int(TextEncoding::EucJp);
  const int utf8 = int(TextEncoding::Utf8);
  const QString csv = QStringLiteral("品番,数量\r\nA-1,12\r\n");
  const QString beyond = QStringLiteral("Smile 😀 ok\r\n");
  const QByteArray test_utf8 = QStringLiteral("テスト").toUtf8();
  // clang-format off
  QTest::newRow("kana line, a valid UTF-8 pair first") << QByteArray("\xC3\xBD\xC4\r\n") << QStringLiteral("ﾃｽﾄ\r\n") << sjis;
  QTest::newRow("kana line, also EUC-JP kanji")        << cp932(QStringLiteral("ｶﾀｶﾅ\r\n")) << QStringLiteral("ｶﾀｶﾅ\r\n") << sjis;
  QTest::newRow("kana words, also EUC-JP kanji")       << cp932(QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽ\r\n")) << QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽ\r\n") << sjis;
  QTest::newRow("kana with ASCII")                     << cp932(QStringLiteral("ﾃｽﾄ 123 ﾃﾞｰﾀ\r\n")) << QStringLiteral("ﾃｽﾄ 123 ﾃﾞｰﾀ\r\n") << sjis;
  QTest::newRow("full-width kana, code page 932")      << cp932(QStringLiteral("カタカナ\r\n")) << QStringLiteral("カタカナ\r\n") << sjis;
  QTest::newRow("EUC-JP kana in markup")               << euc(QStringLiteral("<html><body>ログイン</body></html>")) << QStringLiteral("<html><body>ログイン</body></html>") << eucjp;
  QTest::newRow("EUC-JP katakana line")                << euc(QStringLiteral("カタカナ\n")) << QStringLiteral("カタカナ\n") << eucjp;
  QTest::newRow("EUC-JP hiragana line")                << euc(QStringLiteral("ひらがな\n")) << QStringLiteral("ひらがな\n") << eucjp;
  QTest::newRow("EUC-JP kanji line")                   << euc(QStringLiteral("東京都千代田区\n")) << QStringLiteral("東京都千代田区\n") << eucjp;
  QTest::newRow("EUC-JP half-width kana")              << euc(QStringLiteral("ﾃｽﾄ\r\n")) << QStringLiteral("ﾃｽﾄ\r\n") << eucjp;
  QTest::newRow("accented Latin, UTF-8")               << QStringLiteral("Café déjà vu").toUtf8() << QStringLiteral("Café déjà vu") << utf8;
  QTest::newRow("umlauts, UTF-8")                      << QStringLiteral("Ärger über Öl").toUtf8() << QStringLiteral("Ärger über Öl") << utf8;
  QTest::newRow("accented Latin and one bad byte")     << QStringLiteral("Café déjà vu").toUtf8() + "\xFF" << QStringLiteral("Café déjà vu") + bad << utf8;
  QTest::newRow("umlaut and one bad byte")             << QStringLiteral("Öl").toUtf8() + "\xFF" << QStringLiteral("Öl") + bad << utf8;
  QTest::newRow("UTF-16LE without mark")               << encoded("UTF-16LE", csv) << csv << int(TextEncoding::Utf16Le);
  QTest::newRow("UTF-16BE without mark")               << encoded("UTF-16BE", csv) << csv << int(TextEncoding::Utf16Be);
  QTest::newRow("UTF-16LE beyond the BMP")             << encoded("UTF-16LE", beyond) << beyond << int(TextEncoding::Utf16Le);
  QTest::newRow("UTF-16BE beyond the BMP")             << encoded("UTF-16BE", beyond) << beyond << int(TextEncoding::Utf16Be);
  QTest::newRow("UTF-16LE of one letter")              << QByteArray("a\0", 2) << QStringLiteral("a") << int(TextEncoding::Utf16Le);
  QTest::newRow("UTF-16LE cut inside a unit")          << encoded("UTF-16LE", csv).chopped(1) << csv.chopped(1) + bad << int(TextEncoding::Utf16Le);
  QTest::newRow("zeros on both sides are no UTF-16")   << QByteArray("a\0\0\0b\0c\0", 8) << QString("a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD") << utf8;
  QTest::newRow("UTF-8 Japanese line cut short")       << test_utf8.chopped(1) << QStringLiteral("テス") + QString(2, bad) << utf8;
  QTest::newRow("one stray byte in ASCII")             << QByteArray("hello\xA0world") << QString("hello\uFFFDworld") << sjis;
  QTest::newRow("one stray byte in UTF-8 Japanese")    << QStringLiteral("日本語の").toUtf8() + "\xFF" + QStringLiteral("文です").toUtf8() << QStringLiteral("日本語の") + bad + QStringLiteral("文です") << utf8;
  QTest::newRow("one stray byte in code page 932")     << cp932(QStringLiteral("日本語の")) + "\xFF" + cp932(QStringLiteral("文です")) << QStringLiteral("日本語の") + bad + QStringLiteral("文です") << sjis;
  QTest::newRow("one stray byte in EUC-JP")            << euc(QStringLiteral("日本語の")) + "\xFF" + euc(QStringLiteral("文です")) << QStringLiteral("日本語の") + bad + QStringLiteral("文です") << eucjp;
  // clang-format on
}

void TestText::short_texts_read_as_a_person_reads_them() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, text);
  QFETCH(int, encoding);
  const DecodedText decoded = decode_text_bytes(bytes);
  QCOMPARE(int(decoded.encoding), encoding);
  QCOMPARE(decoded.text, text);
}

// Web pages, CSV exports, mail and subtitles as people write them, short and long, in every
// encoding they come in: each is read in the encoding it was made in, character for character.
void TestText::texts_from_the_wild() {
  const QList<WildText> texts = wild_texts();
  QVERIFY(texts.size() >= 40);
  for (const WildText& t : texts) {
    const DecodedText decoded = decode_text_bytes(t.bytes);
    QVERIFY2(decoded.encoding == t.encoding, qPrintable(t.name));
    QVERIFY2(decoded.text == t.text, qPrintable(t.name));
  }
}

// The detector decides alike however the bytes come: whole, byte by byte, in blocks that split
// every kind of code, and in random blocks.
void TestText::detector_decides_alike_in_any_blocks() {
  QList<QByteArray> inputs;
  for (const WildText& t : wild_texts()) inputs << t.bytes;
  const QString prose = QStringLiteral("吾輩は猫である。名前はまだ無い。ﾃｽﾄ①\r\n");
  QString long_prose;
  while (long_prose.size() < 70000) long_prose += prose;
  for (const char* codec : {"windows-31j", "EUC-JP", "UTF-8", "UTF-16LE", "UTF-16BE"}) {
    inputs << encoded(codec, long_prose);
  }
  inputs << QByteArray("plain ASCII") << QByteArray("\x1B$B$3$s\x1B(B") << QByteArray()
         << QByteArray("\xEF\xBB") << QByteArray("\xFE\xFF\x30\x42");
  QRandomGenerator rng(15);
  for (const QByteArray& bytes : inputs) {
    const TextEncoding whole = detect_text_encoding(bytes);
    QList<QList<int>> splits = {{1}, {2}, {3}, {4095, 1}, {65535}, {100000}};
    for (int k = 0; k < 3; ++k) {
      QList<int> sizes;
      for (int i = 0; i < 20; ++i) sizes << 1 + rng.bounded(k == 0 ? 8 : 20000);
      splits << sizes;
    }
    for (const QList<int>& sizes : splits) {
      QVERIFY2(
          decision_in_blocks(bytes, sizes) == whole,
          qPrintable(QStringLiteral("%1 bytes, blocks of %2").arg(bytes.size()).arg(sizes[0])));
    }
  }
}

// The weighing reads a sample, the bytes up to the 64K-th zero or high byte: a text settles there,
// and what follows cannot change its decision. A mark settles at once; ASCII never settles, since a
// high byte may still come.
void TestText::detector_weighs_a_sample_and_settles() {
  const QByteArray line = encode_cp932(QStringLiteral("吾輩は猫である。名前はまだ無い。\r\n"));
  QByteArray sjis;
  while (sjis.size() < 140000) sjis += line;
  TextEncodingDetector detector;
  detector.feed(sjis.left(1000));
  QVERIFY(!detector.settled());
  detector.feed(sjis.mid(1000));
  QVERIFY(detector.settled());
  QCOMPARE(detector.decision(), TextEncoding::Cp932);
  // UTF-8 after the sample is read as the sample's encoding, by the pane and the search alike.
  const QByteArray utf8_tail = QStringLiteral("吾輩は猫である。").toUtf8().repeated(1000);
  detector.feed(utf8_tail);
  QCOMPARE(detector.decision(), TextEncoding::Cp932);
  QCOMPARE(detect_text_encoding(sjis + utf8_tail), TextEncoding::Cp932);
  // A short sample with the same UTF-8 lines reads otherwise.
  QCOMPARE(detect_text_encoding(line + utf8_tail), TextEncoding::Utf8);

  TextEncodingDetector marked;
  marked.feed("\xFF\xFE");
  QVERIFY(marked.settled());
  QCOMPARE(marked.decision(), TextEncoding::Utf16LeBom);
  TextEncodingDetector utf16;
  utf16.feed(encoded("UTF-16LE", QStringLiteral("Name,Value\r\n").repeated(10000)));
  QVERIFY(utf16.settled());
  QCOMPARE(utf16.decision(), TextEncoding::Utf16Le);
  TextEncodingDetector ascii;
  ascii.feed(QByteArray(200000, 'a'));
  QVERIFY(!ascii.settled());
  QCOMPARE(ascii.decision(), TextEncoding::Utf8);
  ascii.feed(line);
  QCOMPARE(ascii.decision(), TextEncoding::Cp932);
}

// Every byte shows as a character: a mark after the mark is a character (U+FEFF) as anywhere
// else, a code cut short at the end shows as U+FFFD, and so does a surrogate without its partner.
void TestText::decoding_keeps_every_character_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<int>("encoding");
  QTest::addColumn<QString>("text");
  const QChar bad(0xFFFD);
  const QString mark(QChar(0xFEFF));
  const QByteArray euc = encoded("EUC-JP", QStringLiteral("日本語"));
  // clang-format off
  QTest::newRow("doubled UTF-8 mark")          << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << int(TextEncoding::Utf8Bom) << mark + "x";
  QTest::newRow("doubled UTF-16LE mark")       << QByteArray("\xFF\xFE\xFF\xFEx\0", 6) << int(TextEncoding::Utf16LeBom) << mark + "x";
  QTest::newRow("doubled UTF-16BE mark")       << QByteArray("\xFE\xFF\xFE\xFF\0x", 6) << int(TextEncoding::Utf16BeBom) << mark + "x";
  QTest::newRow("a later block starts with U+FEFF") << QByteArray("\xEF\xBB\xBFx") << int(TextEncoding::Utf8) << mark + "x";
  QTest::newRow("a later block of a marked text") << QByteArray("xy") << int(TextEncoding::Utf8Bom) << QStringLiteral("xy");
  QTest::newRow("EUC-JP lead byte at the end") << euc + "\xA4" << int(TextEncoding::EucJp) << QStringLiteral("日本語") + bad;
  QTest::newRow("EUC-JP 8F A1 at the end")     << euc + "\x8F\xA1" << int(TextEncoding::EucJp) << QStringLiteral("日本語") + bad;
  QTest::newRow("EUC-JP ¢ £ ¬")                << QByteArray("\x8E\xE0\x8E\xE1\x8E\xE2") << int(TextEncoding::EucJp) << QStringLiteral("¢£¬");
  QTest::newRow("ISO-2022-JP cut inside a pair") << QByteArray("\x1B$B0!0") << int(TextEncoding::Iso2022Jp) << QStringLiteral("亜") + bad;
  QTest::newRow("lone high surrogate")         << QByteArray("\x00\xD8x\0", 4) << int(TextEncoding::Utf16Le) << QString(bad) + "x";
  QTest::newRow("lone low surrogate")          << QByteArray("\xDC\x00\0x", 4) << int(TextEncoding::Utf16Be) << QString(bad) + "x";
  QTest::newRow("surrogate pair")              << QByteArray("\x3D\xD8\x00\xDE", 4) << int(TextEncoding::Utf16Le) << QStringLiteral("😀");
  QTest::newRow("NUL in UTF-16")               << QByteArray("\0\0x\0", 4) << int(TextEncoding::Utf16Le) << QString(bad) + "x";
  // clang-format on
}

void TestText::decoding_keeps_every_character() {
  QFETCH(QByteArray, bytes);
  QFETCH(int, encoding);
  QFETCH(QString, text);
  QCOMPARE(decode_text_as(bytes, TextEncoding(encoding)), text);
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

// Runs a text's reading as the text view runs it, without a window: each reading on a thread of
// its own, started whenever the text wakes it and asks for someone to run it, the one before
// told to stop.
class Readings {
 public:
  explicit Readings(std::shared_ptr<IndexedText> text) : text_(std::move(text)) {
    watch_ = text_->watch([this] { run(); });
    run();
  }
  ~Readings() {
    stop();
    for (std::thread& t : threads_) t.join();
  }
  Readings(const Readings&) = delete;
  Readings& operator=(const Readings&) = delete;

  // Stops the readings and starts no more (the view shows another text), without waiting.
  void stop() {
    watch_.reset();
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    for (const auto& control : controls_) control->stop();
  }

 private:
  void run() {
    const std::lock_guard lock(mutex_);
    if (stopped_ || !text_->needs_reader()) return;
    if (!controls_.empty()) controls_.back()->stop();
    controls_.push_back(std::make_shared<JobControl>(controls_.size()));
    threads_.emplace_back([text = text_, control = controls_.back()] { text->read(*control); });
  }

  std::shared_ptr<IndexedText> text_;
  std::mutex mutex_;
  bool stopped_ = false;
  std::vector<std::shared_ptr<JobControl>> controls_;
  std::vector<std::thread> threads_;
  std::shared_ptr<void> watch_;
};

}  // namespace

// A block counted without decoding it has the characters and line ends that decoding it gives,
// wherever its line ends and its multi-byte characters fall among the eight-byte words that the
// counting takes at a time.
void TestText::text_block_counted_without_decoding_data() {
  QTest::addColumn<QString>("text");
  QString line_ends, emoji, mixed;
  for (int k = 0; k < 17; ++k) line_ends += QString(k, u'a') + QStringLiteral("\r\n");
  line_ends += QStringLiteral("\r\r\n\n\r");
  for (int k = 0; k < 9; ++k) emoji += QString(k, u'a') + QStringLiteral("😀é字\r\n");
  for (int k = 0; k < 9; ++k) mixed += QString(k, u'x') + QStringLiteral("ｱｲｳ漢字①\r\n\n");
  QTest::newRow("line ends at every place") << line_ends;
  QTest::newRow("two-, three- and four-byte characters at every place") << emoji;
  QTest::newRow("half-width katakana, kanji and NEC symbols") << mixed;
}

void TestText::text_block_counted_without_decoding() {
  QFETCH(QString, text);
  for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Cp932, TextEncoding::EucJp}) {
    const QByteArray whole = encoding == TextEncoding::Utf8 ? text.toUtf8()
                             : encoding == TextEncoding::Cp932
                                 ? encode_cp932(text)
                                 : QStringEncoder("EUC-JP").encode(text);
    if (decode_text_as(whole, encoding) != text) continue;  // not in this encoding
    for (int shift = 0; shift < 8; ++shift) {               // every place against the words
      const QByteArray bytes = QByteArray(shift, 'z') + whole;
      TextBlock block;
      block.byte = 64;  // not the file's first block, which is always decoded
      block.bytes = bytes.size();
      const std::optional<BlockCount> count = count_text_block(bytes, encoding, block);
      QVERIFY2(count, "counted without decoding");
      const QString decoded = decode_text_block(bytes, encoding, block);
      QCOMPARE(count->length, decoded.size());
      QCOMPARE(count->line_ends, decoded.count(u'\n'));
    }
  }
}

// ISO-2022-JP counted without decoding: random texts of designations of every kind, characters of
// their sets and bytes that are none, each read from every state a block may start in, count as
// they decode, and the state after them is the one the next block starts in (a whole file
// indexed in small blocks reads as decoding it whole reads). Texts of valid pieces only are
// counted, not left to the decoder.
void TestText::iso_2022_jp_counted_as_decoded_data() {
  QTest::addColumn<QList<QByteArray>>("invalid");
  QTest::addColumn<bool>("valid");
  const QList<QByteArray> invalid{
      "\x1B(I", "\x1B$(D", "\x1B$A", "\x1B(Z", "\x1B",  "\x1B(B\x1B$B",      "~~",
      "t&",     "! ",      "!\n",    "\x0E",   "\x0F",  QByteArray(1, '\0'), "\x80",
      "\xFF",   "\x1B$(O", "\x1B$",  "`",      "\x1B(B"};
  QTest::newRow("designations and characters of their sets") << QList<QByteArray>() << true;
  QTest::newRow("with bytes of no set and escapes of errors") << invalid << false;
}

void TestText::iso_2022_jp_counted_as_decoded() {
  QFETCH(QList<QByteArray>, invalid);
  QFETCH(bool, valid);
  const TextEncoding jis = TextEncoding::Iso2022Jp;
  // The states a block may start in: none designated yet, or a designation, with or without a
  // line end after it.
  const QList<QByteArray> designations{"", "\x1B(B", "\x1B(J", "\x1B$B", "\x1B$@"};
  QRandomGenerator random(17);
  int counted = 0, texts = 0;
  for (int round = 0; round < 400; ++round) {
    for (const QByteArray& designation : designations) {
      for (const bool reset : {false, true}) {
        const QByteArray bytes = jis_text(random, designation.startsWith("\x1B$") && !reset,
                                          invalid, 1 + int(random.bounded(40)));
        TextBlock block;
        block.byte = 64;  // not the file's first block, which is always decoded
        block.bytes = bytes.size();
        std::copy(designation.begin(), designation.end(), block.escape.begin());
        block.escape_size = quint8(designation.size());
        block.reset_since_escape = reset;
        const std::optional<BlockCount> count = count_text_block(bytes, jis, block);
        ++texts;
        if (!count) continue;
        ++counted;
        const QString decoded = decode_text_block(bytes, jis, block);
        QCOMPARE(count->length, decoded.size());
        QCOMPARE(count->line_ends, decoded.count(u'\n'));
        QCOMPARE(count->ends_line, decoded.endsWith(u'\n'));
      }
    }
  }
  if (valid) QCOMPARE(counted, texts);
  QVERIFY(counted > 0);

  // A whole file: past its first blocks (decoded) the blocks are counted, each from the state
  // the one before left.
  const QByteArray whole = jis_text(random, false, invalid, 12000);
  QTemporaryDir dir;
  auto file = std::make_unique<QFile>(dir.filePath("jis.txt"));
  QVERIFY(file->open(QIODevice::ReadWrite) && file->write(whole) == whole.size() && file->seek(0));
  TextBlockSizes sizes;
  sizes.block = 60;
  sizes.piece = 24;
  const QByteArray head = file->read(sizes.open_bytes());
  const std::shared_ptr<IndexedText> t = IndexedText::open(std::move(file), head, sizes, jis);
  t->wait_until_complete();
  for (int i = 0; i < t->block_count(); ++i) {
    const TextBlock b = t->block(i);
    const QString text = decode_text_block(whole.mid(b.byte, b.bytes), jis, b);
    QCOMPARE(b.length, text.size());
    QCOMPARE(b.ends_line, text.endsWith(u'\n'));
  }
  QString expected = decode_text_as(whole, jis);
  expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
  expected.replace(QChar(0x1A), QChar::ReplacementCharacter);
  QString shown = t->text(0, t->length());
  shown.replace(QChar(0x1A), QChar::ReplacementCharacter);
  QCOMPARE(shown, expected);
}

// A block ends after a whole line end: a CR and the LF after it stay together, in ISO-2022-JP also
// across the designations between them (which decode to nothing, so that the whole text has one
// line end there), but not across bytes that are characters or errors.
void TestText::text_block_ends_after_a_whole_line_end_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<int>("encoding");
  QTest::addColumn<int>("end");
  const int jis = int(TextEncoding::Iso2022Jp), sjis = int(TextEncoding::Cp932);
  // clang-format off
  QTest::newRow("CR LF")                          << QByteArray("ab\r\ncdefgh") << sjis << 4;
  QTest::newRow("CR alone")                       << QByteArray("ab\rcdefghi") << sjis << 3;
  QTest::newRow("ISO-2022-JP: designation between") << QByteArray("ab\r\x1B(B\ncdefgh") << jis << 7;
  QTest::newRow("ISO-2022-JP: two designations")  << QByteArray("ab\r\x1B$B\x1B(J\ncdefgh") << jis << 10;
  QTest::newRow("ISO-2022-JP: designation between, in a long line") << QByteArray("\x1B$B\r\x1B(B\ncdefgh") << jis << 8;
  QTest::newRow("ISO-2022-JP: an error between")  << QByteArray("ab\r\x0E\ncdefghi") << jis << 3;
  QTest::newRow("ISO-2022-JP: an unknown escape") << QByteArray("ab\r\x1B(Z\ncdefgh") << jis << 3;
  QTest::newRow("code page 932: ESC is a character") << QByteArray("ab\r\x1B(B\ncdefgh") << sjis << 3;
  // clang-format on
}

void TestText::text_block_ends_after_a_whole_line_end() {
  QFETCH(QByteArray, bytes);
  QFETCH(int, encoding);
  QFETCH(int, end);
  TextBlockSizes sizes;
  sizes.block = 3;  // the CR ends the first block's room
  sizes.piece = 3;
  QCOMPARE(next_block_end(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size(), true,
                          TextEncoding(encoding), false, sizes),
           end);
}

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
  // The first read after the change finds it and reads the text anew: 45 whole lines of 14
  // characters and a piece of the next, nothing of the old text past them.
  (void)t->line(0);
  QCOMPARE(t->generation(), 1);
  t->wait_until_complete();
  QCOMPARE(t->line(0).text, QStringLiteral("行00000：縮むファイル"));
  QCOMPARE(t->line(19999).text, QString());
  QVERIFY(t->length() > 630 && t->length() < 640);
  QCOMPARE(t->text(0, 630), text.left(630));
  // A file removed is still read through the handle open on it.
  QVERIFY(QFile::remove(path));
  QCOMPARE(t->text(530, 630), text.mid(530, 100));
  QCOMPARE(t->generation(), 1);
  QVERIFY(t->line_at(t->length()) < t->line_count());
}

namespace {

// Writes `bytes` over the file in place, as an editor that saves into the same file does; with
// `same_stamp`, the file keeps its size and modification time, so that only its bytes tell.
bool write_in_place(const QString& path, const QByteArray& bytes, bool same_stamp) {
  struct stat before {};
  if (::stat(QFile::encodeName(path).constData(), &before) != 0) return false;
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite) || file.write(bytes) != bytes.size() ||
      !file.resize(bytes.size())) {
    return false;
  }
  file.close();
  const timespec times[2] = {before.st_atim, before.st_mtim};
  timespec later = before.st_mtim;
  later.tv_sec += 60;
  const timespec moved[2] = {before.st_atim, later};
  return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), same_stamp ? times : moved,
                     0) == 0;
}

}  // namespace

// A file changed in place while its text is indexed, or after: no read gives a mix of the two
// versions (a text is the old one, the new one, or nothing, or while it is being read the start
// of one of them), and the text then reads as the new one. Lines added at the end are taken in
// while the text is read and leave a text read whole as it was, without reading it anew. The
// blocks are small, so that a change in the middle lies far from the first and the last ones.
void TestText::text_index_finds_a_change_anywhere_in_it_data() {
  QTest::addColumn<QString>("change");
  QTest::addColumn<bool>("same_stamp");
  QTest::addColumn<bool>("indexed");
  const char* changes[] = {"line inserted in the middle", "line removed from the middle",
                           "line overwritten in the middle", "lines added at the end"};
  for (const char* change : changes) {
    for (bool indexed : {true, false}) {
      QTest::addRow("%s, %s", change, indexed ? "indexed" : "being indexed")
          << QString::fromLatin1(change) << false << indexed;
    }
  }
  // Without a new size or time only the bytes tell (a clock of coarse grain, a copy that keeps
  // the time).
  QTest::newRow("line overwritten in the middle, same size and time, indexed")
      << QStringLiteral("line overwritten in the middle") << true << true;
  QTest::newRow("line overwritten in the middle, same size and time, being indexed")
      << QStringLiteral("line overwritten in the middle") << true << false;
}

void TestText::text_index_finds_a_change_anywhere_in_it() {
  QFETCH(QString, change);
  QFETCH(bool, same_stamp);
  QFETCH(bool, indexed);
  QByteArray old_bytes;
  for (int i = 0; i < 4000; ++i) old_bytes += encode_cp932(QStringLiteral("%1行：古い版\n").arg(i));
  const qsizetype middle = old_bytes.indexOf("2000");
  QByteArray new_bytes = old_bytes;
  if (change.startsWith(u"line inserted")) {
    new_bytes.insert(middle, encode_cp932(QStringLiteral("挿入した行\n")));
  } else if (change.startsWith(u"line removed")) {
    new_bytes.remove(middle, new_bytes.indexOf('\n', middle) + 1 - middle);
  } else if (change.startsWith(u"line overwritten")) {
    // And one near the end, in a block kept decoded since it was read.
    new_bytes.replace(middle, 4, "abcd");
    new_bytes.replace(new_bytes.indexOf("3990"), 4, "efgh");
  } else {
    new_bytes += encode_cp932(QStringLiteral("足した行\n")).repeated(3);
  }
  const bool appended = change.startsWith(u"lines added");
  auto as_text = [](const QByteArray& bytes) {
    return decode_text_as(bytes, TextEncoding::Cp932)
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  };
  const QString old_text = as_text(old_bytes), new_text = as_text(new_bytes);

  QTemporaryDir dir;
  const QString path = dir.filePath("changed.txt");
  std::optional<HeldReads> held;
  // While it is being indexed: the worker waits to read until the file is changed.
  if (!indexed) held.emplace();
  const std::shared_ptr<IndexedText> t = small_blocks(path, old_bytes, TextEncoding::Cp932);
  QVERIFY(t);
  Readings readings(t);
  if (indexed) {
    t->wait_until_complete();
    // Every block read once, the last ones kept decoded.
    QCOMPARE(t->text(0, t->length()), old_text);
  } else {
    QVERIFY(held->wait_for_a_held_read());
  }
  QVERIFY(write_in_place(path, new_bytes, same_stamp));
  if (held) held->release();

  // Whatever is read meanwhile belongs to one version.
  for (int look = 0; look < 20; ++look) {
    const QString read = t->text(0, t->length());
    QVERIFY2(old_text.startsWith(read) || new_text.startsWith(read),
             qPrintable(QStringLiteral("%1 characters of neither version").arg(read.size())));
    const qint64 line = t->line_count() / 2;
    const QString one = t->line(line).text;
    QVERIFY(one.isEmpty() || old_text.contains(one + u'\n') || new_text.contains(one + u'\n'));
  }
  QString last;
  for (int tries = 0; tries < 4 && last.isNull(); ++tries) {
    t->wait_until_complete();
    last = t->text(0, t->length());
  }
  QCOMPARE(last, appended && indexed ? old_text : new_text);
  // Lines added to a log are taken in without reading it anew.
  if (appended) QCOMPARE(t->generation(), 0);
}

// No call of a text waits for its reading: a text let go, or read anew, while its reading waits for
// a read of slow media, returns at once; the reading ends on its own once the read returns.
void TestText::text_index_never_waits_for_its_worker() {
  QTemporaryDir dir;
  const QByteArray bytes = QByteArray("on slow media\n").repeated(20000);
  const QString path = dir.filePath("slow.txt");
  HeldReads held;
  std::shared_ptr<IndexedText> t = small_blocks(path, bytes, TextEncoding::Utf8);
  QVERIFY(t);
  std::optional<Readings> readings(std::in_place, t);
  QVERIFY(held.wait_for_a_held_read());
  QVERIFY(!t->complete());
  // The file changed: the text is read anew from its start by a new reading; the one held goes.
  QVERIFY(write_in_place(path, QByteArray("changed\n") + bytes, false));
  QCOMPARE(t->line(0).text, QString());
  QCOMPARE(t->generation(), 1);
  QTRY_COMPARE(held.held_reads(), 2);
  // Let go while both wait.
  readings->stop();
  t.reset();
  QCOMPARE(held.held_reads(), 2);
  held.release();
  readings.reset();
  // A text opened anew reads the file to its end as before.
  std::shared_ptr<IndexedText> again =
      small_blocks(dir.filePath("again.txt"), bytes, TextEncoding::Utf8);
  QVERIFY(again);
  again->wait_until_complete();
  QCOMPARE(again->line_count(), 20001);
}

// A file changed after the opener read its first bytes, before the index took the file's size and
// time: the first bytes are not indexed as the file's, the text is read anew from the file.
void TestText::text_index_of_a_file_changed_before_it_was_stamped() {
  QTemporaryDir dir;
  auto file = std::make_unique<QFile>(dir.filePath("early.txt"));
  QVERIFY(file->open(QIODevice::ReadWrite) && file->write("new first line\nsecond\n") > 0);
  QVERIFY(file->seek(0));
  const std::shared_ptr<IndexedText> t =
      IndexedText::open(std::move(file), "old first line\nsecond\n", {}, TextEncoding::Utf8);
  t->wait_until_complete();
  QCOMPARE(t->generation(), 1);
  QCOMPARE(t->text(0, t->length()), QStringLiteral("new first line\nsecond\n"));
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
