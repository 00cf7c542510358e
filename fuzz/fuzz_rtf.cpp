// Rich text reader.
#include "text/rtf_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const tarvex::RtfDocument doc = tarvex::read_rtf(bytes);
  (void)doc.plain_text();
  return 0;
}
