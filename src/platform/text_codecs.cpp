#include "platform/text_codecs.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace tarvex {

namespace {
// ICU's name for Microsoft's code page 932; QStringConverter has no enum value for it.
constexpr const char* kCp932Name = "windows-31j";
}  // namespace

QString decode_cp932(const QByteArray& bytes) {
  QStringDecoder decoder(kCp932Name);
  QString text = decoder.decode(bytes);
  // ICU decodes illegal single bytes to U+001A (SUBSTITUTE); show them as the usual replacement
  // character instead. A lead byte at the very end is held back by the decoder: flush it.
  if (decoder.hasError()) text.replace(QChar(0x1A), QChar::ReplacementCharacter);
  if (!bytes.isEmpty() && is_cp932_lead_byte(static_cast<uchar>(bytes.back()))) {
    // Count the characters before the last byte to see whether it starts a pair of its own.
    qsizetype i = 0;
    bool dangling = false;
    while (i < bytes.size()) {
      if (is_cp932_lead_byte(static_cast<uchar>(bytes[i]))) {
        if (i + 1 == bytes.size()) dangling = true;
        i += 2;
      } else {
        ++i;
      }
    }
    if (dangling) text += QChar::ReplacementCharacter;
  }
  return text;
}

QByteArray encode_cp932(const QString& text, bool* ok) {
  QStringEncoder encoder(kCp932Name);
  QByteArray bytes = encoder.encode(text);
  if (ok) *ok = !encoder.hasError();
  return bytes;
}

bool is_cp932_lead_byte(uchar b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool is_valid_utf8(const QByteArray& bytes) {
  // Stops at the first byte that is not UTF-8: text in another encoding usually shows one early.
  return QByteArrayView(bytes).isValidUtf8();
}

bool has_non_ascii(const QByteArray& bytes) {
  const char* p = bytes.constData();
  const qsizetype n = bytes.size();
  qsizetype i = 0;
  for (; i + 32 <= n; i += 32) {
    quint64 words[4];
    std::memcpy(words, p + i, 32);
    if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) return true;
  }
  for (; i < n; ++i) {
    if (static_cast<uchar>(p[i]) >= 0x80) return true;
  }
  return false;
}

QString decode_utf16le(const QByteArray& bytes) {
  QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
  return decoder.decode(bytes);
}

QString decode_utf16be(const QByteArray& bytes) {
  QStringDecoder decoder(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
  return decoder.decode(bytes);
}

QByteArray encode_utf16le(const QString& text) {
  QStringEncoder encoder(QStringConverter::Utf16LE);
  QByteArray bytes = encoder.encode(text);
  return bytes;
}

int code_page_for_charset(int charset, int default_cp) {
  switch (charset) {
    case 0:
      return 1252;
    case 1:
      return default_cp;
    case 2:
      return 1252;
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    default:
      return default_cp;
  }
}

QString decode_code_page(const QByteArray& bytes, int cp) {
  if (bytes.isEmpty()) return QString();
  if (cp == 932) return decode_cp932(bytes);
  QByteArray name;
  switch (cp) {
    case 936:
      name = "GBK";
      break;
    case 950:
      name = "Big5";
      break;
    case 949:
      name = "windows-949";
      break;
    case 10000:
      name = "macintosh";
      break;
    case 65001:
      name = "UTF-8";
      break;
    default:
      name = "windows-" + QByteArray::number(cp);
      break;
  }
  QStringDecoder decoder(name.constData());
  if (!decoder.isValid()) return QString::fromLatin1(bytes);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) text.replace(QChar(0x1A), QChar::ReplacementCharacter);
  return text;
}

}  // namespace tarvex
