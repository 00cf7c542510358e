#include "display/text_decode.h"

#include "platform/text_codecs.h"

#include <QStringDecoder>

#include <uchardet.h>

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

QString without_nul(QString text) {
  if (text.contains(QChar(0))) text.replace(QChar(0), QChar::ReplacementCharacter);
  return text;
}

}  // namespace

TextEncoding detect_text_encoding(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return TextEncoding::Utf8Bom;
  if (bytes.startsWith("\xFF\xFE")) return TextEncoding::Utf16LeBom;
  if (bytes.startsWith("\xFE\xFF")) return TextEncoding::Utf16BeBom;
  const bool high = has_non_ascii(bytes);
  // ISO-2022-JP is seven-bit and so also valid UTF-8: look for its escapes first.
  if (!high && bytes.contains("\x1B$") && guess_charset(bytes) == "ISO-2022-JP") {
    return TextEncoding::Iso2022Jp;
  }
  if (!high || is_valid_utf8(bytes)) return TextEncoding::Utf8;
  if (guess_charset(bytes) == "EUC-JP") return TextEncoding::EucJp;
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
