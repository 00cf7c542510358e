#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace tarvex {

// The largest picture the image pane decodes whole: 256 million pixels (a gigabyte at four bytes
// a pixel). A JPEG above it is decoded at a half, a quarter or an eighth of its size instead.
inline constexpr qint64 kMaxPicturePixels = 256LL * 1024 * 1024;
// A declared size beyond this many pixels for every byte of the file cannot be a real picture:
// even a blank page saved as a progressive JPEG needs a byte for every few hundred pixels. Such a
// file is refused before decoding (a decompression bomb).
inline constexpr qint64 kMaxPixelsPerFileByte = 1024;
// Pictures up to this size are cheap to decode whatever their file size.
inline constexpr qint64 kBombCheckFromPixels = 16LL * 1024 * 1024;

// What one decode may use.
struct PictureLimits {
  qint64 max_pixels = kMaxPicturePixels;
  // Bytes of memory the decoded picture may take; -1 when unknown (only `max_pixels` counts).
  qint64 memory_bytes = -1;

  // The limits on this machine now: the pixel limit, and half of the memory still available.
  static PictureLimits for_this_machine();
};

struct LoadedPicture {
  QImage image;
  // The whole picture's size, upright. `image` is smaller when it was decoded scaled, for the
  // pane's size or to stay within the limits.
  QSize full_size;
  // A drawing (a metafile or SVG) is drawn at any size; a decoded picture has no more pixels than
  // its full size.
  bool drawn = false;

  bool is_whole() const { return image.size() == full_size; }
  // True when `image` is as sharp as this picture can be at `size`.
  bool sharp_enough_for(QSize size) const {
    const QSize best = drawn ? size : size.boundedTo(full_size);
    return image.width() >= best.width() && image.height() >= best.height();
  }
};

// Loads a picture for the image pane: bmp, ico, cur, gif (first frame), jpg and the other formats
// Qt's image plugins read (png, tiff, webp, ...), SVG drawings through Qt's SVG plugin, HEIF
// pictures (HEIC, AVIF) through libheif with the container's rotation and mirroring, and
// Windows metafiles through Tarvex's own player. The format is told by the content, not by the
// name. EXIF orientation is applied, so a photo appears upright and its size is the rotated one.
// With `decode_size`, a JPEG is decoded straight at that size and a drawing drawn at it (used
// when the pane stretches its picture); a drawing's own size is its natural size, made smaller in
// its shape beyond the limits. Nothing when the file is missing, is not a picture, cannot be
// decoded, is larger than the limits and cannot be decoded smaller, declares a size absurd for its
// number of bytes, or is an SVG drawing that does not stand alone (svg_check.h).
std::optional<LoadedPicture> load_picture_file(
    const QString& path, QSize decode_size = QSize(),
    const PictureLimits& limits = PictureLimits::for_this_machine());

// The same for bytes already in memory (the fuzzers use it).
std::optional<LoadedPicture> load_picture_bytes(
    const QByteArray& bytes, QSize decode_size = QSize(),
    const PictureLimits& limits = PictureLimits::for_this_machine());

}  // namespace tarvex
