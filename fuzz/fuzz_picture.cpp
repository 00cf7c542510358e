// Picture loading through the image pane's loader (Qt's readers with Tarvex's guards).
#include "pictures/picture_loader.h"

#include "gui_application.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  start_offscreen_gui_application(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  // Fixed limits: the machine's free memory would make runs differ. Pictures above the pixel
  // limit take the path that decodes them smaller.
  const tarvex::PictureLimits limits{4LL * 1024 * 1024, -1};
  (void)tarvex::load_picture_bytes(bytes, QSize(), limits);
  (void)tarvex::load_picture_bytes(bytes, QSize(16, 16), limits);
  return 0;
}
