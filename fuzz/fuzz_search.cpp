// The register scan's byte search against the decode-then-compare reference. The first bytes
// up to a NUL are the search string (UTF-8); the rest is the file.
#include "search/text_search.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const qsizetype split = input.indexOf('\0');
  if (split <= 0 || split > 64) return 0;
  const QString needle = QString::fromUtf8(input.left(split));
  const QByteArray file = input.mid(split + 1);
  const bool fast = tarvex::SearchNeedle(needle).found_in(file);
  if (fast != tarvex::text_bytes_contain(file, needle)) std::abort();
  return 0;
}
