#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace tarvex {

// How a plain text's bytes are read. New encodings are added at the end: the numbers of the
// others stay as they are.
enum class TextEncoding {
  Utf8Bom,
  Utf16LeBom,
  Utf16BeBom,
  Utf8,
  EucJp,
  Iso2022Jp,
  Cp932,
  Utf16Le,  // UTF-16 without a byte-order mark, told by where its zero bytes fall
  Utf16Be,
};

struct DecodedText {
  QString text;
  TextEncoding encoding = TextEncoding::Cp932;
};

// Decides a text's encoding from its bytes fed in file order, in one pass with bounded memory
// (the first 64 KB are kept for the mark and the charset guess). The decision, in order:
//  1. a byte-order mark (UTF-8, UTF-16LE, UTF-16BE);
//  2. UTF-16 without a mark: mostly ASCII, so that the zero bytes fall on one side of the code
//     units (at least half of them, or a quarter and at least 16; the other side at most one in
//     eight of that);
//  3. ISO-2022-JP: seven-bit text holding the escape to JIS X 0208, when the charset guess agrees;
//  4. seven-bit text, or UTF-8 valid throughout: UTF-8;
//  5. else each reading (code page 932, UTF-8, EUC-JP) is weighed as a person reads it: kana,
//     kanji and Japanese punctuation cost nothing, rarer characters a little, bytes that do not
//     decode much; the cheapest reading wins, code page 932 before UTF-8 before EUC-JP on a tie.
//     So a short reading valid throughout beats one with invalid bytes, and a long text keeps its
//     encoding through a few damaged bytes.
// Steps 2 and 5 weigh the bytes up to the 64K-th byte that is zero or high (the sample): enough to
// judge any text, and quick on huge files.
class TextEncodingDetector {
 public:
  TextEncodingDetector();
  ~TextEncodingDetector();
  TextEncodingDetector(TextEncodingDetector&&) noexcept;
  TextEncodingDetector& operator=(TextEncodingDetector&&) noexcept;

  void feed(QByteArrayView block);  // the next bytes of the file
  // The decision on all bytes fed so far, as if the file ended there. Not for use from two
  // threads at once (it keeps the charset guess once made).
  TextEncoding decision() const;
  // Whether the decision is final: no bytes fed later can change it (a mark, or a full sample
  // that is UTF-16 or has a high byte in it).
  bool settled() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The decision of TextEncodingDetector on all of these bytes.
TextEncoding detect_text_encoding(const QByteArray& bytes);

// Decodes a plain text file's bytes in the encoding detect_text_encoding chooses.
// NUL characters and bytes that do not decode show as U+FFFD; nothing is ever cut off.
DecodedText decode_text_bytes(const QByteArray& bytes);

// Whether the bytes hold ISO-2022-JP's escape to a set of two bytes a character ("ESC $"). Quick
// on long texts: the escape byte is rare, and looked for as one byte.
bool has_jis_escape(QByteArrayView bytes);

// Whether the bytes may be ISO-2022-JP: seven-bit text holding the escape that switches to
// JIS X 0208. Only such text is given to the charset guess as ISO-2022-JP.
bool may_be_iso_2022_jp(const QByteArray& bytes);

// Decodes the bytes in `encoding` as decode_text_bytes does once it has chosen it. A byte-order
// mark of the encoding at the start of the bytes is skipped; any other U+FEFF is text and kept,
// so a later block of a file decodes as well as its first.
QString decode_text_as(const QByteArray& bytes, TextEncoding encoding);

}  // namespace tarvex
