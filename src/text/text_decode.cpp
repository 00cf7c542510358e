#include "text/text_decode.h"

#include "platform/text_codecs.h"

#include <QStringDecoder>

#include <uchardet.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace tarvex {

namespace {

// The mark and the charset guess read no more than this much of a text.
constexpr qsizetype kHeadBytes = 64 * 1024;
// The weighing reads the bytes up to this many zero or high bytes: a sample that holds enough
// characters to judge any text, and still quick on huge files.
constexpr qint64 kSampleTellingBytes = 64 * 1024;

QByteArray guess_charset(const QByteArray& bytes) {
  uchardet_t detector = uchardet_new();
  QByteArray name;
  if (uchardet_handle_data(detector, bytes.constData(),
                           static_cast<size_t>(std::min(bytes.size(), kHeadBytes))) == 0) {
    uchardet_data_end(detector);
    name = QByteArray(uchardet_get_charset(detector)).toUpper();
  }
  uchardet_delete(detector);
  return name;
}

// ---- What a character says about a reading ----------------------------------------------------

// The kinds of character a reading of the bytes can hold, from the most to the least natural in
// a Japanese or Western text.
enum Kind : quint8 {
  kKana,       // hiragana and katakana: the bulk of Japanese text
  kKanji,      // kanji of JIS level 1
  kSymbol,     // Japanese punctuation, full-width letters and digits
  kWide,       // UTF-8 characters of three or four bytes, which seldom form by chance
  kRareKanji,  // kanji of JIS level 2
  kUncommon,   // Greek, Cyrillic, box drawing, NEC's circled numbers and units
  kLatin,      // UTF-8 characters of two bytes: accented letters, Greek, Cyrillic
  kHalfKana,   // half-width katakana
  kVendor,     // IBM and NEC extension rows, JIS X 0212, the EUC-JP decoder's ¢ £ ¬
  kPrivate,    // user-defined characters
  kBad,        // a byte or a sequence that does not decode, or a C1 control character
  kKinds
};
constexpr std::array<int, kKinds> kCost = {0, 0, 0, 0, 2, 2, 2, 3, 4, 8, 10};
// A reading that holds kanji but not one kana is seldom Japanese: each of its kanji costs as much
// more as the two half-width katakana whose bytes it is in the other reading.
constexpr int kKanjiWithoutKana = 2 * kCost[kHalfKana];

using Counts = std::array<qint64, kKinds>;

bool is_kanji(char16_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF);
}

// The kind of a JIS character, by what the decoder makes of it and its row in the JIS table.
Kind jis_kind(char16_t c, int row) {
  if (c == 0x1A || c == 0xFFFD) return kBad;
  if (c >= 0xE000 && c <= 0xF8FF) return kPrivate;
  if (is_kanji(c)) {
    if (row >= 16 && row <= 47) return kKanji;
    return row >= 48 && row <= 84 ? kRareKanji : kVendor;
  }
  if (c >= 0x3041 && c <= 0x30FF) return kKana;
  if (row >= 1 && row <= 3) return kSymbol;
  if ((row >= 6 && row <= 8) || row == 13) return kUncommon;
  return kVendor;
}

// The one character the decoder makes of `code` alone, U+FFFD when it makes anything else.
char16_t decode_code(QStringDecoder& decoder, QByteArray code) {
  // A line feed after the code pushes out whatever the decoder holds back.
  code += '\n';
  const QString s = decoder.decode(code);
  return s.size() == 2 && s[1] == u'\n' ? s[0].unicode() : char16_t(0xFFFD);
}

// The kind of every two-byte code of code page 932 and EUC-JP, and of EUC-JP's three-byte
// codes, as their decoders read them.
struct JisKinds {
  std::array<quint8, 64 * 256> cp932{};  // by (lead − 0xC0 or − 0x80) * 256 + trail
  std::array<quint8, 94 * 94> euc{};     // by (first − 0xA1) * 94 + second − 0xA1
  std::array<quint8, 94 * 94> euc_0212{};

  static int cp932_index(uchar lead, uchar trail) {
    return (lead <= 0x9F ? lead - 0x80 : lead - 0xC0) * 256 + trail;
  }
};

const JisKinds& jis_kinds() {
  static const JisKinds kinds = [] {
    JisKinds k;
    k.cp932.fill(kBad);
    QStringDecoder cp932("windows-31j", QStringConverter::Flag::Stateless);
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!is_cp932_lead_byte(uchar(lead))) continue;
      const int row = 2 * (lead <= 0x9F ? lead - 0x81 : lead - 0xC1) + 1;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const char pair[2] = {char(lead), char(trail)};
        k.cp932[size_t(JisKinds::cp932_index(uchar(lead), uchar(trail)))] =
            jis_kind(decode_code(cp932, QByteArray(pair, 2)), row + (trail >= 0x9F));
      }
    }
    QStringDecoder euc("EUC-JP", QStringConverter::Flag::Stateless);
    for (int a = 0xA1; a <= 0xFE; ++a) {
      for (int b = 0xA1; b <= 0xFE; ++b) {
        const size_t at = size_t((a - 0xA1) * 94 + b - 0xA1);
        const char pair[2] = {char(a), char(b)};
        k.euc[at] = jis_kind(decode_code(euc, QByteArray(pair, 2)), a - 0xA0);
        const char triple[3] = {char(0x8F), char(a), char(b)};
        k.euc_0212[at] = decode_code(euc, QByteArray(triple, 3)) == 0xFFFD ? kBad : kVendor;
      }
    }
    return k;
  }();
  return kinds;
}

// ---- The readings, byte by byte -----------------------------------------------------------------
// Each reading takes the bytes as its decoder does: a code cut short by a byte that cannot
// continue it is one bad character, and that byte starts anew. ASCII costs nothing in any reading.

struct Utf8Reading {
  Counts counts{};
  int need = 0;  // continuation bytes still to come
  int length = 0;
  uchar low = 0x80, high = 0xBF;  // the range of the next one

  bool pending() const { return need > 0; }
  void step(uchar b) {
    if (need > 0) {
      if (b >= low && b <= high) {
        low = 0x80;
        high = 0xBF;
        if (--need == 0) ++counts[length == 2 ? kLatin : kWide];
        return;
      }
      need = 0;
      ++counts[kBad];
    }
    if (b < 0x80) return;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      low = b == 0xE0 ? 0xA0 : 0x80;
      high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      low = b == 0xF0 ? 0x90 : 0x80;
      high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
      ++counts[kBad];
      return;
    }
    length = need + 1;
  }
  void finish() {
    if (need > 0) ++counts[kBad];
    need = 0;
  }
};

struct Cp932Reading {
  Counts counts{};
  int lead = -1;

  bool pending() const { return lead >= 0; }
  void step(uchar b) {
    if (lead >= 0) {
      const uchar l = uchar(lead);
      lead = -1;
      if ((b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC)) {
        ++counts[jis_kinds().cp932[size_t(JisKinds::cp932_index(l, b))]];
        return;
      }
      ++counts[kBad];
    }
    if (b < 0x80) return;
    if (is_cp932_lead_byte(b)) {
      lead = b;
    } else {
      ++counts[b >= 0xA1 && b <= 0xDF ? kHalfKana : kBad];
    }
  }
  void finish() {
    if (lead >= 0) ++counts[kBad];
    lead = -1;
  }
};

struct EucJpReading {
  Counts counts{};
  uchar code[2] = {0, 0};  // the bytes of a code not yet complete
  int held = 0;

  bool pending() const { return held > 0; }
  static bool in_row(uchar b) { return b >= 0xA1 && b <= 0xFE; }
  void step(uchar b) {
    if (held > 0) {
      if (complete(b)) return;
      counts[kBad] += held;  // 8F and the byte after it are two
      held = 0;
    }
    if (b < 0x80) return;
    if (b == 0x8E || b == 0x8F || in_row(b)) {
      code[0] = b;
      held = 1;
    } else {
      ++counts[kBad];  // C1 controls, A0, FF
    }
  }
  // Takes b into the code held; false when it cannot continue it.
  bool complete(uchar b) {
    if (!in_row(b)) return false;
    if (held == 1 && code[0] == 0x8F) {
      code[1] = b;
      held = 2;
      return true;
    }
    const JisKinds& k = jis_kinds();
    if (held == 2) {
      ++counts[k.euc_0212[size_t((code[1] - 0xA1) * 94 + b - 0xA1)]];
    } else if (code[0] == 0x8E) {
      ++counts[b <= 0xDF ? kHalfKana : b <= 0xE2 ? kVendor : kBad];
    } else {
      ++counts[k.euc[size_t((code[0] - 0xA1) * 94 + b - 0xA1)]];
    }
    held = 0;
    return true;
  }
  void finish() {
    counts[kBad] += held;
    held = 0;
  }
};

// The cost of a reading, as a person weighs it.
qint64 reading_cost(const Counts& counts) {
  qint64 cost = 0;
  for (int k = 0; k < kKinds; ++k) cost += counts[size_t(k)] * kCost[size_t(k)];
  if (counts[kKana] + counts[kHalfKana] == 0) {
    cost += (counts[kKanji] + counts[kRareKanji]) * kKanjiWithoutKana;
  }
  return cost;
}

// Whether the zero bytes on one side of the code units make a UTF-16 text of mostly ASCII.
bool zeros_make_utf16(qint64 zeros, qint64 other_side, qint64 units) {
  if (zeros == 0 || 8 * other_side > zeros) return false;
  return 2 * zeros >= units || (zeros >= 16 && 4 * zeros >= units);
}

bool starts_with_mark(const QByteArray& head) {
  return head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE") ||
         head.startsWith("\xFE\xFF");
}

}  // namespace

// ---- The detector -------------------------------------------------------------------------------

struct TextEncodingDetector::State {
  QByteArray head;           // the first kHeadBytes bytes
  qint64 fed = 0;            // bytes fed so far
  bool high = false;         // a byte 0x80 or above so far
  bool escape = false;       // "ESC $" so far
  uchar last = 0;            // the last byte fed, for an escape split between two blocks
  qint64 telling = 0;        // zero and high bytes in the sample so far
  bool sample_full = false;  // the sample has ended before the bytes fed
  qint64 sample_bytes = 0;   // the sample's length
  qint64 zeros[2] = {0, 0};  // the sample's zero bytes at even and at odd offsets
  Utf8Reading utf8;
  Cp932Reading cp932;
  EucJpReading euc_jp;
  mutable int iso_guess = -1;  // the charset guess on the head says ISO-2022-JP (1) or not (0)

  // UTF-16 without a mark, when the sample's zero bytes say so.
  std::optional<TextEncoding> utf16() const {
    const qint64 units = sample_bytes / 2;
    if (zeros_make_utf16(zeros[1], zeros[0], units)) return TextEncoding::Utf16Le;
    if (zeros_make_utf16(zeros[0], zeros[1], units)) return TextEncoding::Utf16Be;
    return std::nullopt;
  }

  void weigh(const uchar* p, qsizetype n) {
    for (qsizetype i = 0; i < n; ++i) {
      const bool pending = utf8.pending() || cp932.pending() || euc_jp.pending();
      // ASCII other than NUL tells nothing while no reading is inside a code: skip it, eight
      // bytes at a time.
      while (!pending && i + 8 <= n) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        constexpr quint64 kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
        if ((w & kHighs) || ((w - kOnes) & ~w & kHighs)) break;
        i += 8;
      }
      if (i >= n) break;
      const uchar b = p[i];
      if (b >= 0x01 && b < 0x80 && !pending) continue;
      utf8.step(b);
      cp932.step(b);
      euc_jp.step(b);
      if (b == 0) ++zeros[(fed + i) & 1];
      if ((b == 0 || b >= 0x80) && ++telling == kSampleTellingBytes) {
        sample_full = true;
        sample_bytes = fed + i + 1;
        return;
      }
    }
    sample_bytes = fed + n;
  }
};

TextEncodingDetector::TextEncodingDetector() : state_(std::make_unique<State>()) {}
TextEncodingDetector::~TextEncodingDetector() = default;
TextEncodingDetector::TextEncodingDetector(TextEncodingDetector&&) noexcept = default;
TextEncodingDetector& TextEncodingDetector::operator=(TextEncodingDetector&&) noexcept = default;

void TextEncodingDetector::feed(QByteArrayView block) {
  State& s = *state_;
  const auto* p = reinterpret_cast<const uchar*>(block.data());
  const qsizetype n = block.size();
  if (n == 0) return;
  if (s.head.size() < kHeadBytes) {
    s.head.append(block.first(std::min(n, kHeadBytes - s.head.size())));
    s.iso_guess = -1;
  }
  // Only seven-bit text may be ISO-2022-JP: its escape is looked for until a high byte comes.
  if (!s.high) {
    const QByteArray bytes = QByteArray::fromRawData(block.data(), n);
    s.high = has_non_ascii(bytes);
    if (!s.high && !s.escape) {
      s.escape = (s.last == 0x1B && p[0] == '$') || has_jis_escape(bytes);
    }
  }
  if (!s.sample_full) s.weigh(p, n);
  s.fed += n;
  s.last = p[n - 1];
}

TextEncoding TextEncodingDetector::decision() const {
  const State& s = *state_;
  if (s.head.startsWith("\xEF\xBB\xBF")) return TextEncoding::Utf8Bom;
  if (s.head.startsWith("\xFF\xFE")) return TextEncoding::Utf16LeBom;
  if (s.head.startsWith("\xFE\xFF")) return TextEncoding::Utf16BeBom;
  if (const std::optional<TextEncoding> utf16 = s.utf16()) return *utf16;
  // ISO-2022-JP is seven-bit and so also valid UTF-8: look for its escapes first.
  if (!s.high && s.escape) {
    if (s.iso_guess < 0) s.iso_guess = guess_charset(s.head) == "ISO-2022-JP";
    if (s.iso_guess) return TextEncoding::Iso2022Jp;
  }
  if (!s.high) return TextEncoding::Utf8;
  // A sample that ends with the bytes fed ends with the text: a code cut short there is bad.
  Utf8Reading utf8 = s.utf8;
  Cp932Reading cp932 = s.cp932;
  EucJpReading euc_jp = s.euc_jp;
  if (!s.sample_full) {
    utf8.finish();
    cp932.finish();
    euc_jp.finish();
  }
  if (utf8.counts[kBad] == 0) return TextEncoding::Utf8;
  const qint64 in_cp932 = reading_cost(cp932.counts);
  const qint64 in_utf8 = reading_cost(utf8.counts);
  const qint64 in_euc_jp = reading_cost(euc_jp.counts);
  if (in_cp932 <= in_utf8 && in_cp932 <= in_euc_jp) return TextEncoding::Cp932;
  return in_utf8 <= in_euc_jp ? TextEncoding::Utf8 : TextEncoding::EucJp;
}

bool TextEncodingDetector::settled() const {
  const State& s = *state_;
  return starts_with_mark(s.head) || (s.sample_full && (s.high || s.utf16()));
}

TextEncoding detect_text_encoding(const QByteArray& bytes) {
  TextEncodingDetector detector;
  detector.feed(bytes);
  return detector.decision();
}

// ---- Decoding -----------------------------------------------------------------------------------

namespace {

QString without_nul(QString text) {
  if (text.contains(QChar(0))) text.replace(QChar(0), QChar::ReplacementCharacter);
  return text;
}

// EUC-JP and ISO-2022-JP through the system's decoders. A code cut short at the very end, which
// the decoder holds back, shows as U+FFFD.
QString decode_with(const char* codec, QByteArrayView bytes) {
  QStringDecoder decoder(codec);
  if (!decoder.isValid()) return decode_cp932(bytes.toByteArray());
  QString text = decoder.decode(bytes);
  const QString tail = decoder.decode(QByteArrayView("\n"));
  if (tail != QLatin1String("\n")) {
    text += QChar::ReplacementCharacter;
  }
  if (decoder.hasError()) text.replace(QChar(0x1A), QChar::ReplacementCharacter);
  return text;
}

// UTF-8 and UTF-16. A U+FEFF is text here (the caller has skipped the mark); a surrogate without
// its partner does not decode.
QString decode_unicode(QStringConverter::Encoding encoding, QByteArrayView bytes) {
  QStringDecoder decoder(
      encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
  QString text = decoder.decode(bytes);
  if (encoding == QStringConverter::Utf8) return text;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;
    } else if (text[i].isSurrogate()) {
      text[i] = QChar::ReplacementCharacter;
    }
  }
  return text;
}

QByteArrayView after_mark(const QByteArray& bytes, const char* mark) {
  const QByteArrayView view(bytes);
  return view.startsWith(mark) ? view.sliced(qstrlen(mark)) : view;
}

}  // namespace

bool has_jis_escape(QByteArrayView bytes) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  while (p < end && (p = static_cast<const char*>(std::memchr(p, 0x1B, size_t(end - p))))) {
    if (p + 1 < end && p[1] == '$') return true;
    ++p;
  }
  return false;
}

bool may_be_iso_2022_jp(const QByteArray& bytes) {
  return !has_non_ascii(bytes) && has_jis_escape(bytes);
}

QString decode_text_as(const QByteArray& bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8Bom:
      return without_nul(decode_unicode(QStringConverter::Utf8, after_mark(bytes, "\xEF\xBB\xBF")));
    case TextEncoding::Utf16LeBom:
      return without_nul(decode_unicode(QStringConverter::Utf16LE, after_mark(bytes, "\xFF\xFE")));
    case TextEncoding::Utf16BeBom:
      return without_nul(decode_unicode(QStringConverter::Utf16BE, after_mark(bytes, "\xFE\xFF")));
    case TextEncoding::Utf16Le:
      return without_nul(decode_unicode(QStringConverter::Utf16LE, bytes));
    case TextEncoding::Utf16Be:
      return without_nul(decode_unicode(QStringConverter::Utf16BE, bytes));
    case TextEncoding::Iso2022Jp:
      return without_nul(decode_with("ISO-2022-JP", bytes));
    case TextEncoding::Utf8:
      return without_nul(decode_unicode(QStringConverter::Utf8, bytes));
    case TextEncoding::EucJp:
      return without_nul(decode_with("EUC-JP", bytes));
    case TextEncoding::Cp932:
      break;
  }
  return without_nul(decode_cp932(bytes));
}

DecodedText decode_text_bytes(const QByteArray& bytes) {
  const TextEncoding encoding = detect_text_encoding(bytes);
  return {decode_text_as(bytes, encoding), encoding};
}

}  // namespace tarvex
