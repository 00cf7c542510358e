// The register scan's byte search against the decode-then-compare reference, and find-next's look
// at ISO-2022-JP bytes, which must never pass over bytes whose decoded text holds the string. The
// first byte chooses how the rest is read; the rest up to a NUL is the search string, and after it
// the file.
//  - bit 0 clear: the file is the bytes as they stand;
//    bit 0 set: each byte picks an EUC-JP code from a book of every kind of code the decoder reads
//    (and some it does not), so that the file is an EUC-JP text with noise in it.
//  - bit 1 clear: the search string is UTF-8 (a leading U+FEFF kept, as a typed one would be);
//    bit 1 set: its first two bytes pick a piece of the file's decoded text, so that most strings
//    do occur.
//  - bits 2 to 4: the size of the blocks the search reads the file in, from a whole file at once
//    down to one byte, so that occurrences, characters and marks fall across the cuts.
#include "search/text_search.h"
#include "text/text_decode.h"

#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

const char* const kEucJpCodes[] = {
    "a4a2", "a4f3", "a5ed", "a5f3",   "a5f4", "c6fc", "cbdc",   "b8a1",   "bab7",   "d0a1",
    "f4a6", "a1a1", "a1a2", "a1c1",   "a1c2", "a1dd", "a1ef",   "a1f1",   "a1f2",   "a2cc",
    "a3b1", "a6a1", "a7a1", "a8a1",   "ada1", "adf0", "f9a1",   "fcee",   "8ea1",   "8eb6",
    "8ec0", "8edf", "8ee0", "8ee1",   "8ee2", "8ee3", "8fa2b7", "8fa2c3", "8fb0a1", "8fa1a1",
    "80",   "85",   "8d",   "9f",     "a0",   "ff",   "8e",     "8f",     "a4",     "8e41",
    "a141", "f5a1", "fefe", "8fa141", "00",   "0d",   "0a",     "0d0a",   "20",     "41",
    "5c",   "7e",   "1a",   "1b"};
static_assert(std::size(kEucJpCodes) == 64);

QByteArray euc_jp_text(const QByteArray& picks) {
  QByteArray text;
  for (char p : picks) text += QByteArray::fromHex(kEucJpCodes[uchar(p) % 64]);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const QByteArray input(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  const qsizetype split = input.indexOf('\0');
  if (split <= 0 || split > 64) return 0;
  const QByteArray file = mode & 1 ? euc_jp_text(input.mid(split + 1)) : input.mid(split + 1);
  QString needle;
  if (mode & 2) {
    const QString text = tarvex::decode_text_bytes(file).text;
    if (text.isEmpty() || split < 2) return 0;
    needle = text.mid(uchar(input[0]) % text.size(), 1 + uchar(input[1]) % 4);
  } else {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    needle = utf8.decode(input.left(split));
  }
  static constexpr qsizetype kBlocks[] = {tarvex::kScanBlockBytes, 1, 2, 3, 5, 8, 17, 64};
  const tarvex::SearchNeedle prepared(needle);
  const bool fast = prepared.found_in(file, kBlocks[(mode >> 2) & 7]);
  if (fast != tarvex::text_bytes_contain(file, needle)) std::abort();
  const QString iso =
      tarvex::fold_search_text(tarvex::decode_text_as(file, tarvex::TextEncoding::Iso2022Jp));
  if (iso.contains(tarvex::fold_search_text(needle)) &&
      !prepared.may_occur_in(file, tarvex::TextEncoding::Iso2022Jp))
    std::abort();
  return 0;
}
