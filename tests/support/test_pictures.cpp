#include "test_pictures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

namespace tarvex::testing {

QByteArray image_bytes(const QImage& image, const char* format, int quality) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (quality >= 0) writer.setQuality(quality);
  writer.write(image);
  return bytes;
}

QImage test_pattern(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter(&image).fillRect(0, 0, w / 2, h, Qt::red);
  return image;
}

QByteArray jpeg_with_orientation(const QImage& image, quint8 orientation) {
  // An APP1 segment of 34 bytes: "Exif", then a little-endian TIFF header whose one directory
  // entry is the orientation (tag 0x0112, SHORT, count 1), and no next directory.
  QByteArray app1(
      "\xFF\xE1\x00\x22"
      "Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\0\0\0\0\0\0\0\0",
      36);
  app1[28] = char(orientation);
  const QByteArray jpeg = image_bytes(image, "jpeg");
  return jpeg.left(2) + app1 + jpeg.mid(2);
}

}  // namespace tarvex::testing
