#include "pictures/heif_picture.h"

#include <libheif/heif.h>

#include <exception>

namespace tarvex {

namespace {

// libheif registers its decoders (HEVC, AV1) once; the window thread and the slideshow's
// look-ahead may both be the first to read a container, so the registration is made under C++'s
// guard for statics. It is never undone: decoding goes on until the process ends.
void init_libheif_once() {
  static const bool initialised = [] {
    heif_init(nullptr);
    return true;
  }();
  (void)initialised;
}

// libheif reads the container through these calls, so that a file is read as the picture loader
// opened it (a regular file, checked once) and bytes in memory are read in place.
struct DeviceReader {
  QIODevice* device = nullptr;

  static DeviceReader& of(void* userdata) { return *static_cast<DeviceReader*>(userdata); }

  static int64_t position(void* userdata) { return of(userdata).device->pos(); }

  static int read(void* data, size_t size, void* userdata) {
    QIODevice* device = of(userdata).device;
    auto* out = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
      const qint64 n = device->read(out + done, static_cast<qint64>(size - done));
      if (n <= 0) return 1;  // a file cut short while it is read
      done += static_cast<size_t>(n);
    }
    return 0;
  }

  static int seek(int64_t position, void* userdata) {
    return of(userdata).device->seek(position) ? 0 : 1;
  }

  // The file is read as it is: it does not grow while libheif waits.
  static heif_reader_grow_status wait_for_file_size(int64_t target_size, void* userdata) {
    return target_size <= of(userdata).device->size() ? heif_reader_grow_status_size_reached
                                                      : heif_reader_grow_status_size_beyond_eof;
  }

  static const heif_reader& callbacks() {
    static const heif_reader reader = {1, position, read, seek, wait_for_file_size};
    return reader;
  }
};

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
  void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

bool brand_is(const QByteArray& head, const char* brand) {
  return heif_has_compatible_brand(reinterpret_cast<const uint8_t*>(head.constData()),
                                   static_cast<int>(head.size()), brand) == 1;
}

}  // namespace

struct HeifPicture::State {
  // The reader is kept at a fixed address: libheif holds a pointer to it until the context goes.
  DeviceReader reader;
  std::unique_ptr<heif_context, ContextFree> context;
  std::unique_ptr<const heif_image_handle, HandleRelease> handle;
};

bool looks_like_heif(const QByteArray& head) {
  if (head.size() < 12 || head.mid(4, 4) != "ftyp") return false;
  init_libheif_once();
  const auto* data = reinterpret_cast<const uint8_t*>(head.constData());
  const int size = static_cast<int>(head.size());
  if (heif_check_filetype(data, size) == heif_filetype_yes_supported) return true;
  // Some cameras name only the general image brand first; every HEIF picture lists it.
  return brand_is(head, "mif1");
}

HeifPicture::HeifPicture(std::unique_ptr<State> state) : state_(std::move(state)) {}
HeifPicture::HeifPicture(HeifPicture&&) noexcept = default;
HeifPicture& HeifPicture::operator=(HeifPicture&&) noexcept = default;
HeifPicture::~HeifPicture() = default;

std::optional<HeifPicture> HeifPicture::open(QIODevice& device) {
  // libheif is C++ behind its C interface: an allocation it cannot make may come out as an
  // exception, which here means a picture that cannot be read.
  try {
    return open_unguarded(device);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

QImage HeifPicture::decode() const {
  try {
    return decode_unguarded();
  } catch (const std::exception&) {
    return QImage();
  }
}

std::optional<HeifPicture> HeifPicture::open_unguarded(QIODevice& device) {
  init_libheif_once();
  auto state = std::make_unique<State>();
  state->reader.device = &device;
  state->context.reset(heif_context_alloc());
  if (!state->context || !device.seek(0)) return std::nullopt;
  heif_error error = heif_context_read_from_reader(state->context.get(), &DeviceReader::callbacks(),
                                                   &state->reader, nullptr);
  if (error.code != heif_error_Ok) return std::nullopt;
  heif_image_handle* handle = nullptr;
  error = heif_context_get_primary_image_handle(state->context.get(), &handle);
  if (error.code != heif_error_Ok || !handle) return std::nullopt;
  state->handle.reset(handle);
  return HeifPicture(std::move(state));
}

QSize HeifPicture::size() const {
  return QSize(heif_image_handle_get_width(state_->handle.get()),
               heif_image_handle_get_height(state_->handle.get()));
}

QImage HeifPicture::decode_unguarded() const {
  const heif_image_handle* handle = state_->handle.get();
  const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
  const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (!options) return QImage();
  options->convert_hdr_to_8bit = 1;
  heif_image* decoded = nullptr;
  const heif_error error =
      heif_decode_image(handle, &decoded, heif_colorspace_RGB, chroma, options.get());
  std::unique_ptr<heif_image, ImageRelease> image(decoded);
  if (error.code != heif_error_Ok || !image) return QImage();
  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  if (QSize(width, height) != size()) return QImage();
  if (heif_image_get_bits_per_pixel(image.get(), heif_channel_interleaved) != (alpha ? 32 : 24)) {
    return QImage();
  }
  int stride = 0;
  uchar* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
  if (!plane || stride < width * (alpha ? 4 : 3)) return QImage();
  const QImage::Format format = !alpha ? QImage::Format_RGB888
                                : heif_image_handle_is_premultiplied_alpha(handle)
                                    ? QImage::Format_RGBA8888_Premultiplied
                                    : QImage::Format_RGBA8888;
  // The picture is libheif's own pixels, not a copy: a 12-megapixel photo is not converted once
  // more (Qt paints these formats as they are). libheif's picture is released with the last
  // QImage that shares it, on whichever thread that is.
  QImage picture(
      plane, width, height, stride, format,
      [](void* held) { heif_image_release(static_cast<const heif_image*>(held)); }, image.get());
  if (picture.isNull()) return QImage();
  image.release();
  return picture;
}

}  // namespace tarvex
