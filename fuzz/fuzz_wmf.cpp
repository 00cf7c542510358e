// Windows metafile headers and the record player.
#include "pictures/wmf_player.h"

#include "gui_application.h"

#include <cstddef>
#include <cstdint>

// Far above any campaign's time-out: an input that draws slowly must show as a time-out, not be
// hidden by the player stopping early.
constexpr int kMaxPlayMs = 60000;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  start_offscreen_gui_application(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!tarvex::looks_like_wmf(bytes)) return 0;
  const std::optional<tarvex::WmfPicture> pic = tarvex::parse_wmf(bytes);
  if (!pic) return 0;
  // Play at a small size: the records, not the pixels, are what is tested. A tall, narrow
  // picture keeps its shape, since a frame stretched one way is where shapes reach far outside.
  const QSize natural = pic->natural_size_px();
  const QSize drawn = natural.scaled(QSize(128, 128), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
  (void)tarvex::render_wmf(*pic, drawn, kMaxPlayMs);
  return 0;
}
