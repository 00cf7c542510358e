#pragma once

#include <QByteArray>
#include <QString>

namespace tarvex {

enum class TextEncoding { Utf8Bom, Utf16LeBom, Utf16BeBom, Utf8, EucJp, Iso2022Jp, Cp932 };

struct DecodedText {
  QString text;
  TextEncoding encoding = TextEncoding::Cp932;
};

// Decodes a plain text file's bytes: a byte-order mark first (UTF-8, UTF-16LE/BE); else strictly
// valid UTF-8; else UTF-8 with a few bad bytes (the charset guess says UTF-8, or at least ten
// high bytes form UTF-8 characters for every one that does not); else EUC-JP or ISO-2022-JP
// when the charset guess says so; else code page 932.
// NUL bytes and bytes that do not decode show as U+FFFD; nothing is ever cut off.
DecodedText decode_text_bytes(const QByteArray& bytes);

// Whether the bytes may be ISO-2022-JP: seven-bit text holding the escape that switches to
// JIS X 0208. Only such text is given to the charset guess as ISO-2022-JP.
bool may_be_iso_2022_jp(const QByteArray& bytes);

// The encoding decode_text_bytes chooses for these bytes, without decoding them.
TextEncoding detect_text_encoding(const QByteArray& bytes);

// Decodes the bytes in `encoding` as decode_text_bytes does once it has chosen it (a byte-order
// mark, when the encoding has one, is skipped).
QString decode_text_as(const QByteArray& bytes, TextEncoding encoding);

}  // namespace tarvex
