#pragma once

#include <QByteArray>
#include <QString>

namespace tarvex {

// Code page 932 as Windows defines it (Microsoft's table: 0x5C is "\", NEC and IBM extensions).
// Bytes that do not decode become replacement characters; nothing is dropped.
QString decode_cp932(const QByteArray& bytes);

// Encodes into code page 932; characters the code page lacks become "?". `ok`, when given, tells
// whether every character could be encoded.
QByteArray encode_cp932(const QString& text, bool* ok = nullptr);

bool is_cp932_lead_byte(uchar b);
bool is_valid_utf8(const QByteArray& bytes);
bool has_non_ascii(const QByteArray& bytes);
QString decode_utf16le(const QByteArray& bytes);
QString decode_utf16be(const QByteArray& bytes);
QByteArray encode_utf16le(const QString& text);

// The Windows code page of a font character set (128 → 932, 0 → 1252, ...); `default_cp` for
// the default set (1) and for sets without a code page of their own.
int code_page_for_charset(int charset, int default_cp);

// Decodes bytes in a Windows code page; bytes that do not decode become replacement characters.
QString decode_code_page(const QByteArray& bytes, int cp);

}  // namespace tarvex
