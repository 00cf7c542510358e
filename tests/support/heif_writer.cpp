#include "heif_writer.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace tarvex::testing {

namespace {

heif_error append(heif_context*, const void* data, size_t size, void* userdata) {
  static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data),
                                             static_cast<qsizetype>(size));
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

QByteArray heif_bytes(const QImage& image, HeifCodec codec, int orientation, int quality) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(),
                                                                 heif_context_free);
  heif_image* raw = nullptr;
  if (heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                        &raw)
          .code != heif_error_Ok) {
    return {};
  }
  std::unique_ptr<heif_image, void (*)(const heif_image*)> picture(raw, heif_image_release);
  if (heif_image_add_plane(picture.get(), heif_channel_interleaved, rgb.width(), rgb.height(), 8)
          .code != heif_error_Ok) {
    return {};
  }
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
  for (int y = 0; y < rgb.height(); ++y) {
    std::memcpy(plane + static_cast<qsizetype>(y) * stride, rgb.constScanLine(y),
                static_cast<size_t>(rgb.width()) * 3);
  }
  heif_encoder* raw_encoder = nullptr;
  const heif_compression_format format =
      codec == HeifCodec::hevc ? heif_compression_HEVC : heif_compression_AV1;
  if (heif_context_get_encoder_for_format(context.get(), format, &raw_encoder).code !=
      heif_error_Ok) {
    return {};
  }
  std::unique_ptr<heif_encoder, void (*)(heif_encoder*)> encoder(raw_encoder, heif_encoder_release);
  heif_encoder_set_lossy_quality(encoder.get(), quality);
  std::unique_ptr<heif_encoding_options, void (*)(heif_encoding_options*)> options(
      heif_encoding_options_alloc(), heif_encoding_options_free);
  options->image_orientation = static_cast<heif_orientation>(orientation);
  if (heif_context_encode_image(context.get(), picture.get(), encoder.get(), options.get(), nullptr)
          .code != heif_error_Ok) {
    return {};
  }
  QByteArray bytes;
  heif_writer writer{1, append};
  if (heif_context_write(context.get(), &writer, &bytes).code != heif_error_Ok) return {};
  return bytes;
}

}  // namespace tarvex::testing
