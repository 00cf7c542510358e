#include "text/text_decode.h"

#include "platform/text_codecs.h"

#include <QStringDecoder>

#include <uchardet.h>

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tarvex {

namespace {

// The guess reads no more than this much: enough for any real text, and quick on huge files.
constexpr qsizetype kGuessBytes = 64 * 1024;

QByteArray guess_charset(const QByteArray& bytes) {
  uchardet_t detector = uchardet_new();
  QByteArray name;
  if (uchardet_handle_data(detector, bytes.constData(),
                           static_cast<size_t>(std::min(bytes.size(), kGuessBytes))) == 0) {
    uchardet_data_end(detector);
    name = QByteArray(uchardet_get_charset(detector)).toUpper();
  }
  uchardet_delete(detector);
  return name;
}

QString decode_with(const char* codec, const QByteArray& bytes) {
  QStringDecoder decoder(codec);
  if (!decoder.isValid()) return decode_cp932(bytes);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) text.replace(QChar(0x1A), QChar::ReplacementCharacter);
  return text;
}

// Length of the well-formed UTF-8 sequence at p[i] (of p[0, n)), 0 when there is none.
qsizetype utf8_sequence_length(const uchar* p, qsizetype n, qsizetype i) {
  const uchar lead = p[i];
  qsizetype length = 0;
  uchar low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > n) return 0;
  if (p[i + 1] < low || p[i + 1] > high) return 0;
  for (qsizetype k = 2; k < length; ++k) {
    if (p[i + k] < 0x80 || p[i + k] > 0xBF) return 0;
  }
  return length;
}

// How many of the text's bytes are high (0x80 and above), UTF-8 continuation bytes (0x80 to
// 0xBF) and UTF-8 lead bytes (0xC2 to 0xF4); the other high bytes never occur in UTF-8.
struct HighBytes {
  qsizetype high = 0, continuation = 0, lead = 0;
};

HighBytes count_high_bytes(const uchar* p, qsizetype n) {
  HighBytes c;
  qsizetype i = 0;
#ifdef __SSE2__
  // Byte counters, emptied into the totals before they can overflow. A byte flipped by 0x80 and
  // compared as signed keeps its unsigned order; the high bytes become 0x00 to 0x7F.
  const __m128i flip = _mm_set1_epi8(char(0x80));
  const __m128i zero = _mm_setzero_si128();
  auto total = [&zero](__m128i counts) {
    const __m128i sums = _mm_sad_epu8(counts, zero);
    return qsizetype(_mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  };
  while (i + 16 <= n) {
    __m128i high = zero, continuation = zero, lead = zero;
    for (int round = 0; round < 255 && i + 16 <= n; ++round, i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i s = _mm_xor_si128(v, flip);  // 0x80..0xFF become 0x00..0x7F
      const __m128i is_high = _mm_cmpgt_epi8(s, _mm_set1_epi8(-1));
      const __m128i is_continuation =
          _mm_and_si128(is_high, _mm_cmplt_epi8(s, _mm_set1_epi8(0x40)));
      const __m128i is_lead = _mm_and_si128(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x41)),
                                            _mm_cmplt_epi8(s, _mm_set1_epi8(0x75)));
      high = _mm_sub_epi8(high, is_high);
      continuation = _mm_sub_epi8(continuation, is_continuation);
      lead = _mm_sub_epi8(lead, is_lead);
    }
    c.high += total(high);
    c.continuation += total(continuation);
    c.lead += total(lead);
  }
#endif
  for (; i < n; ++i) {
    c.high += p[i] >= 0x80;
    c.continuation += p[i] >= 0x80 && p[i] <= 0xBF;
    c.lead += p[i] >= 0xC2 && p[i] <= 0xF4;
  }
  return c;
}

// A UTF-8 text spoiled by a few bad bytes (a download cut short, one damaged byte): at least ten
// high bytes form UTF-8 characters for every one that does not (a stray byte, a sequence cut
// short, an overlong or surrogate form). Japanese text in code page 932 or EUC-JP is far from
// that, because most of its lead and trail bytes are no UTF-8 sequence.
bool mostly_utf8(const QByteArray& bytes) {
  const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
  const qsizetype n = bytes.size();
  // Counting bytes settles most texts at once: a UTF-8 character has one lead byte and one to
  // three continuation bytes, so continuation bytes beyond three per lead byte, lead bytes beyond
  // one per continuation byte, and bytes that never occur in UTF-8 are bad whatever their order.
  const HighBytes c = count_high_bytes(p, n);
  const qsizetype never = c.high - c.continuation - c.lead;
  const qsizetype bad =
      never + std::max({qsizetype(0), c.continuation - 3 * c.lead, c.lead - c.continuation});
  if (10 * bad > c.high - bad) return false;
  // Otherwise the sequences are followed one by one; the count ends as soon as even a rest of
  // perfect UTF-8 could not reach the share.
  qsizetype valid = 0, invalid = 0;
  qsizetype i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
    } else if (const qsizetype length = utf8_sequence_length(p, n, i)) {
      valid += length;
      i += length;
    } else {
      ++invalid;
      ++i;
      if (10 * invalid > valid + (n - i)) return false;
    }
  }
  return valid > 0 && valid >= 10 * invalid;
}

QString without_nul(QString text) {
  if (text.contains(QChar(0))) text.replace(QChar(0), QChar::ReplacementCharacter);
  return text;
}

}  // namespace

bool may_be_iso_2022_jp(const QByteArray& bytes) {
  return !has_non_ascii(bytes) && bytes.contains("\x1B$");
}

TextEncoding detect_text_encoding(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return TextEncoding::Utf8Bom;
  if (bytes.startsWith("\xFF\xFE")) return TextEncoding::Utf16LeBom;
  if (bytes.startsWith("\xFE\xFF")) return TextEncoding::Utf16BeBom;
  // ISO-2022-JP is seven-bit and so also valid UTF-8: look for its escapes first.
  if (may_be_iso_2022_jp(bytes) && guess_charset(bytes) == "ISO-2022-JP") {
    return TextEncoding::Iso2022Jp;
  }
  if (!has_non_ascii(bytes) || is_valid_utf8(bytes)) return TextEncoding::Utf8;
  // UTF-8 with a few bytes that do not decode (a cut download) stays UTF-8: those bytes show as
  // U+FFFD and the rest of the text is read as it was written.
  const QByteArray guess = guess_charset(bytes);
  if (guess == "UTF-8" || mostly_utf8(bytes)) return TextEncoding::Utf8;
  if (guess == "EUC-JP") return TextEncoding::EucJp;
  return TextEncoding::Cp932;
}

QString decode_text_as(const QByteArray& bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8Bom:
      return without_nul(QString::fromUtf8(bytes.mid(3)));
    case TextEncoding::Utf16LeBom:
      return without_nul(decode_utf16le(bytes.mid(2)));
    case TextEncoding::Utf16BeBom:
      return without_nul(decode_utf16be(bytes.mid(2)));
    case TextEncoding::Iso2022Jp:
      return without_nul(decode_with("ISO-2022-JP", bytes));
    case TextEncoding::Utf8:
      return without_nul(QString::fromUtf8(bytes));
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
