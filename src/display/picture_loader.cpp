#include "display/picture_loader.h"

#include "display/wmf_player.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cmath>

namespace tarvex {

namespace {

std::optional<QImage> read_with(QImageReader& reader, QSize decode_size) {
  reader.setAllocationLimit(kPictureAllocationLimitMb);
  reader.setAutoTransform(true);
  const QSize declared = reader.size();
  if (declared.isValid() &&
      static_cast<qint64>(declared.width()) * declared.height() > kMaxPicturePixels) {
    return std::nullopt;
  }
  const QByteArray format = reader.format().toLower();
  if (decode_size.isValid() && !decode_size.isEmpty() && (format == "jpeg" || format == "jpg")) {
    // The scaled size applies before the EXIF rotation: swap it for a quarter turn.
    if (reader.transformation() & QImageIOHandler::TransformationRotate90) {
      decode_size.transpose();
    }
    reader.setScaledSize(decode_size);
  }
  QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  return image;
}

}  // namespace

std::optional<QImage> load_picture_bytes(const QByteArray& bytes, QSize decode_size) {
  if (looks_like_wmf(bytes)) {
    std::optional<WmfPicture> wmf = parse_wmf(bytes);
    if (!wmf) return std::nullopt;
    // A frame larger than the pane would ever decode is drawn smaller, keeping its shape.
    QSize size = wmf->natural_size_px();
    const qint64 area = static_cast<qint64>(size.width()) * size.height();
    if (area > kMaxPicturePixels) {
      const double f = std::sqrt(static_cast<double>(kMaxPicturePixels) / area);
      size = QSize(std::max(1, static_cast<int>(size.width() * f)),
                   std::max(1, static_cast<int>(size.height() * f)));
    }
    return render_wmf(*wmf, size);
  }
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  return read_with(reader, decode_size);
}

std::optional<QImage> load_picture_file(const QString& path, QSize decode_size) {
  if (path.isEmpty() || QFileInfo(path).isDir()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray head = file.peek(32);
  if (looks_like_wmf(head)) {
    // Metafiles are small: a record player reads them whole.
    if (file.size() > 64LL * 1024 * 1024) return std::nullopt;
    return load_picture_bytes(file.readAll(), decode_size);
  }
  QImageReader reader(&file);
  return read_with(reader, decode_size);
}

}  // namespace tarvex
