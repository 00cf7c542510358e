#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace tarvex {

// The largest picture the image pane decodes: 128 megabytes of pixels, about 32 million pixels.
inline constexpr int kPictureAllocationLimitMb = 128;
inline constexpr qint64 kMaxPicturePixels = 32LL * 1024 * 1024;

// Loads a picture for the image pane: bmp, ico, cur, gif (first frame), jpg and other formats
// Qt reads, and Windows metafiles through Tarvex's own player. EXIF orientation is applied, so a
// photo appears upright and its size is the rotated one. With `decode_size`, a JPEG is decoded
// straight at that size (used when the pane stretches its picture). Nothing when the file is
// missing, is not a picture, is too large, or cannot be decoded.
std::optional<QImage> load_picture_file(const QString& path, QSize decode_size = QSize());

// The same for bytes already in memory (the fuzzers use it).
std::optional<QImage> load_picture_bytes(const QByteArray& bytes, QSize decode_size = QSize());

}  // namespace tarvex
