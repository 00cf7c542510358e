// Plain text decoding: the decision and every decoder on any bytes, and the detector fed the same
// bytes in blocks (their sizes drawn from the bytes themselves) deciding as on the whole.
#include "text/text_decode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const tarvex::DecodedText decoded = tarvex::decode_text_bytes(bytes);
  for (int e = 0; e <= int(tarvex::TextEncoding::Utf16Be); ++e) {
    (void)tarvex::decode_text_as(bytes, tarvex::TextEncoding(e));
  }
  tarvex::TextEncodingDetector detector;
  uint32_t draw = static_cast<uint32_t>(size) * 2654435761u + (size > 0 ? data[size / 2] : 0);
  for (qsizetype at = 0; at < bytes.size();) {
    draw = draw * 1103515245u + 12345u;
    // Mostly blocks of a few bytes, which split every kind of code; now and then a long one.
    const qsizetype want =
        (draw >> 28) == 0 ? qsizetype(draw >> 12) % 4096 + 1 : (draw >> 16) % 7 + 1;
    const qsizetype block = std::min(want, bytes.size() - at);
    detector.feed(QByteArrayView(bytes).sliced(at, block));
    at += block;
  }
  if (detector.decision() != decoded.encoding) std::abort();
  return 0;
}
