#pragma once

#include <QByteArray>
#include <QImage>

namespace tarvex::testing {

// The bytes of `image` in `format` ("bmp", "jpeg", "ico", ...) at `quality` (-1: the default).
QByteArray image_bytes(const QImage& image, const char* format, int quality = -1);
// A w × h picture whose left half is red and right half white.
QImage test_pattern(int w, int h);
// A JPEG of `image` whose EXIF orientation is `orientation` (6: turn a quarter clockwise).
QByteArray jpeg_with_orientation(const QImage& image, quint8 orientation);

}  // namespace tarvex::testing
