#include "test_pictures.h"

#include <QBuffer>
#include <QImageWriter>

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
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    std::fill(line, line + w / 2, qRgb(255, 0, 0));
  }
  return image;
}

QByteArray jpeg_with_orientation(const QImage& image, quint16 orientation) {
  const QByteArray jpeg = image_bytes(image, "jpeg");
  QByteArray tiff("II*\0\x08\0\0\0", 8);
  tiff += QByteArray("\x01\0", 2);                    // one entry
  tiff += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8);  // orientation, SHORT, count 1
  tiff += char(orientation & 0xFF);
  tiff += QByteArray("\0\0\0", 3);
  tiff += QByteArray("\0\0\0\0", 4);  // no next directory
  const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray app1("\xFF\xE1", 2);
  const int length = payload.size() + 2;
  app1 += char(length >> 8);
  app1 += char(length & 0xFF);
  app1 += payload;
  return jpeg.left(2) + app1 + jpeg.mid(2);
}

}  // namespace tarvex::testing
