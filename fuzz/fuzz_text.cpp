// Plain text decoding (byte-order marks, UTF-8, charset guess, code page 932).
#include "text/text_decode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  (void)tarvex::decode_text_bytes(bytes);
  return 0;
}
