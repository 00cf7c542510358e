#include "pictures/picture_loader.h"

#include "pictures/heif_picture.h"
#include "pictures/svg_check.h"
#include "pictures/wmf_player.h"
#include "platform/regular_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cmath>

namespace tarvex {

namespace {

// Drawings (metafiles and SVG) are drawn, not decoded: their pictures stay smaller, and their
// files are small.
constexpr qint64 kMaxDrawnPixels = 32LL * 1024 * 1024;
constexpr qint64 kMaxMetafileBytes = 64LL * 1024 * 1024;
constexpr qint64 kMaxSvgBytes = 32LL * 1024 * 1024;
// Bytes a pixel takes in the formats most readers give.
constexpr qint64 kBytesPerPixel = 4;
// Bytes a pixel of a HEIF picture takes while it is decoded: libheif's decoded planes (1.5 for a
// phone's 4:2:0 photo, 3 at most for 4:4:4) and the RGB picture the pane is given (3, or 4 with
// alpha) are held at once.
constexpr qint64 kHeifDecodeBytesPerPixel = 7;
// The deepest format a reader gives (16 bits a channel, four channels).
constexpr qint64 kMaxBytesPerPixel = 8;

qint64 area(QSize s) {
  return static_cast<qint64>(s.width()) * s.height();
}

// The pixels a decode may produce under `limits`.
qint64 pixel_budget(const PictureLimits& limits) {
  qint64 budget = limits.max_pixels;
  if (limits.memory_bytes >= 0) budget = std::min(budget, limits.memory_bytes / kBytesPerPixel);
  return std::max<qint64>(budget, 0);
}

// Qt's allocation guard is one value for the whole process, read by every reader on every thread
// (the window's and the slideshow's look-ahead decode at the same time). It is set once, to the
// most any picture may take; each picture's own limits are checked against the size it declares
// before it is decoded. The guard still stops a reader whose format declares no size. The
// environment's QT_IMAGEIO_MAXALLOC, when set, overrides it.
void guard_allocations_once() {
  static const bool guarded = [] {
    QImageReader::setAllocationLimit(
        static_cast<int>(kMaxPicturePixels * kMaxBytesPerPixel / (1024 * 1024)));
    return true;
  }();
  (void)guarded;
}

// The largest of a half, a quarter and an eighth of `stored` within `budget`, the sizes a JPEG
// decodes at directly; nothing when even an eighth is too large.
std::optional<QSize> reduced_jpeg_size(QSize stored, qint64 budget) {
  for (const int d : {2, 4, 8}) {
    const QSize r((stored.width() + d - 1) / d, (stored.height() + d - 1) / d);
    if (area(r) <= budget) return r;
  }
  return std::nullopt;
}

// A declared size far beyond what the file's bytes can hold: a decompression bomb.
bool absurd_for_file(QSize declared, qint64 file_bytes) {
  const qint64 pixels = area(declared);
  return pixels > kBombCheckFromPixels && pixels / kMaxPixelsPerFileByte > file_bytes;
}

std::optional<LoadedPicture> read_with(QImageReader& reader, qint64 file_bytes, QSize decode_size,
                                       const PictureLimits& limits) {
  reader.setAutoTransform(true);
  // Counted at four bytes a pixel. The format a reader would decode to is not asked:
  // QImageReader::imageFormat() gives an undefined value for a broken JPEG.
  const qint64 budget = pixel_budget(limits);
  const QSize stored = reader.size();
  const QByteArray format = reader.format().toLower();
  const bool jpeg = format == "jpeg" || format == "jpg";
  // Sizes below are in the file's own orientation; EXIF turns a quarter turn afterwards.
  const bool quarter_turn = reader.transformation() & QImageIOHandler::TransformationRotate90;

  QSize scaled;
  if (stored.isValid()) {
    const qint64 pixels = area(stored);
    if (absurd_for_file(stored, file_bytes)) return std::nullopt;
    if (jpeg && decode_size.isValid() && !decode_size.isEmpty()) {
      // Decoded smaller where the pane is smaller; never larger than the picture itself.
      const QSize asked = quarter_turn ? decode_size.transposed() : decode_size;
      if (asked.width() < stored.width() || asked.height() < stored.height()) {
        scaled = asked.boundedTo(stored);
      }
    }
    if (pixels > budget) {
      // Too large to hold whole: only a JPEG can be decoded smaller.
      if (!jpeg) return std::nullopt;
      const std::optional<QSize> reduced = reduced_jpeg_size(stored, budget);
      if (!reduced) return std::nullopt;
      if (!scaled.isValid() || area(scaled) > area(*reduced)) scaled = *reduced;
    }
  }
  if (scaled.isValid()) reader.setScaledSize(scaled);
  QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  // A format that declares no size was decoded under the process-wide guard alone.
  if (!stored.isValid() && area(image.size()) > budget) return std::nullopt;
  QSize full = stored.isValid() ? stored : image.size();
  if (stored.isValid() && quarter_turn) full.transpose();
  return LoadedPicture{image, full, false};
}

// A drawing's own size, made smaller in its shape when it exceeds the limits, and the size it is
// drawn at: the pane's when one is asked for and within the limits, else its own.
struct DrawnSizes {
  QSize natural, drawn;
};
DrawnSizes drawn_sizes(QSize natural, QSize decode_size, const PictureLimits& limits) {
  const qint64 budget = std::min(kMaxDrawnPixels, pixel_budget(limits));
  if (area(natural) > budget) {
    const double f = std::sqrt(static_cast<double>(budget) / static_cast<double>(area(natural)));
    natural = QSize(std::max(1, static_cast<int>(natural.width() * f)),
                    std::max(1, static_cast<int>(natural.height() * f)));
  }
  QSize drawn = natural;
  if (decode_size.isValid() && !decode_size.isEmpty() && area(decode_size) <= budget) {
    drawn = decode_size;
  }
  return {natural, drawn};
}

std::optional<LoadedPicture> load_metafile(const QByteArray& bytes, QSize decode_size,
                                           const PictureLimits& limits) {
  std::optional<WmfPicture> wmf = parse_wmf(bytes);
  if (!wmf) return std::nullopt;
  const DrawnSizes sizes = drawn_sizes(wmf->natural_size_px(), decode_size, limits);
  QImage image = render_wmf(*wmf, sizes.drawn);
  if (image.isNull()) return std::nullopt;
  return LoadedPicture{image, sizes.natural, true};
}

std::optional<LoadedPicture> load_svg(const QByteArray& bytes, QSize decode_size,
                                      const PictureLimits& limits) {
  if (!svg_stands_alone(bytes)) return std::nullopt;
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "svg");
  const QSize declared = reader.size();
  if (!declared.isValid() || declared.isEmpty()) return std::nullopt;
  const DrawnSizes sizes = drawn_sizes(declared, decode_size, limits);
  reader.setScaledSize(sizes.drawn);
  QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  return LoadedPicture{image, sizes.natural, true};
}

// A HEIF container (a phone's HEIC photo, an AVIF picture), through libheif. Its size, upright, is
// checked against the limits before anything is decoded; it is always decoded whole.
std::optional<LoadedPicture> load_heif(QIODevice& device, qint64 file_bytes,
                                       const PictureLimits& limits) {
  const std::optional<HeifPicture> heif = HeifPicture::open(device);
  if (!heif) return std::nullopt;
  const QSize declared = heif->size();
  qint64 budget = limits.max_pixels;
  if (limits.memory_bytes >= 0) {
    budget = std::min(budget, limits.memory_bytes / kHeifDecodeBytesPerPixel);
  }
  if (declared.isEmpty() || area(declared) > budget || absurd_for_file(declared, file_bytes)) {
    return std::nullopt;
  }
  QImage image = heif->decode();
  if (image.isNull()) return std::nullopt;
  return LoadedPicture{image, declared, false};
}

// Every picture but a metafile: Qt's readers tell the format by content (and a file's name);
// an SVG drawing is read whole and checked before it is drawn.
std::optional<LoadedPicture> load_with_qt(QIODevice& device, qint64 file_bytes, QSize decode_size,
                                          const PictureLimits& limits) {
  QImageReader reader(&device);
  const QByteArray format = reader.format();
  if (format == "svg" || format == "svgz") {
    if (file_bytes > kMaxSvgBytes || !device.seek(0)) return std::nullopt;
    return load_svg(device.read(kMaxSvgBytes), decode_size, limits);
  }
  return read_with(reader, file_bytes, decode_size, limits);
}

// Bytes the system could still give, from the kernel's estimate; -1 when it is not known.
qint64 available_memory_bytes() {
  QFile meminfo(QStringLiteral("/proc/meminfo"));
  if (!meminfo.open(QIODevice::ReadOnly)) return -1;
  // The kernel's files report no size: read until the end.
  const QList<QByteArray> lines = meminfo.readAll().split('\n');
  for (const QByteArray& line : lines) {
    if (!line.startsWith("MemAvailable:")) continue;
    const QList<QByteArray> fields = line.simplified().split(' ');
    bool ok = false;
    const qint64 kb = fields.size() >= 2 ? fields[1].toLongLong(&ok) : 0;
    return ok ? kb * 1024 : -1;
  }
  return -1;
}

}  // namespace

PictureLimits PictureLimits::for_this_machine() {
  PictureLimits limits;
  const qint64 available = available_memory_bytes();
  if (available >= 0) limits.memory_bytes = available / 2;
  return limits;
}

std::optional<LoadedPicture> load_picture_bytes(const QByteArray& bytes, QSize decode_size,
                                                const PictureLimits& limits) {
  guard_allocations_once();
  if (looks_like_wmf(bytes)) return load_metafile(bytes, decode_size, limits);
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  if (looks_like_heif(bytes.first(std::min<qsizetype>(bytes.size(), kHeifHeadBytes)))) {
    return load_heif(buffer, bytes.size(), limits);
  }
  return load_with_qt(buffer, bytes.size(), decode_size, limits);
}

std::optional<LoadedPicture> load_picture_file(const QString& path, QSize decode_size,
                                               const PictureLimits& limits) {
  guard_allocations_once();
  QFile file(path);
  if (!open_regular_file(file)) return std::nullopt;
  const QByteArray head = file.peek(kHeifHeadBytes);
  if (looks_like_wmf(head)) {
    if (file.size() > kMaxMetafileBytes) return std::nullopt;
    return load_metafile(file.readAll(), decode_size, limits);
  }
  if (looks_like_heif(head)) return load_heif(file, file.size(), limits);
  return load_with_qt(file, file.size(), decode_size, limits);
}

}  // namespace tarvex
