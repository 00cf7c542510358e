#include "pictures/svg_check.h"

#include <QBuffer>
#include <QImageReader>
#include <QXmlStreamReader>

namespace tarvex {

namespace {

constexpr int kMaxNesting = 4;

bool is_drawing_format(const QByteArray& format) {
  return format == "svg" || format == "svgz";
}

// A name as Qt's SVG reader sees it, which reads without namespaces: "image", or "svg:image"
// under any prefix.
bool has_local_name(QStringView qualified, QStringView local) {
  if (!qualified.endsWith(local)) return false;
  const qsizetype rest = qualified.size() - local.size();
  return rest == 0 || qualified.at(rest - 1) == u':';
}

// The picture Qt's SVG reader takes from inline data: the base64 text after the last "base64,".
// Null when it takes none.
QByteArray inline_picture(const QString& reference) {
  const qsizetype at = reference.lastIndexOf(QLatin1String("base64,"));
  if (at < 0) return QByteArray();
  return QByteArray::fromBase64(reference.mid(at + 7).toLatin1());
}

class Checker {
 public:
  bool stands_alone(const QByteArray& bytes, int depth) {
    if (bytes.startsWith("\x1f\x8b")) return false;
    QXmlStreamReader xml(bytes);
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (!has_local_name(xml.qualifiedName(), u"image")) continue;
      for (const QXmlStreamAttribute& attribute : xml.attributes()) {
        if (!has_local_name(attribute.qualifiedName(), u"href")) continue;
        if (!reference_stands_alone(attribute.value().toString().trimmed(), depth)) return false;
      }
    }
    return !xml.hasError();
  }

 private:
  bool reference_stands_alone(const QString& reference, int depth) {
    // Anything else is a file name to Qt's reader, however it is written.
    if (!reference.startsWith(QLatin1String("data"))) return false;
    const QByteArray picture = inline_picture(reference);
    if (picture.isEmpty()) return true;
    QBuffer buffer;
    buffer.setData(picture);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (is_drawing_format(reader.format())) {
      return depth < kMaxNesting && stands_alone(picture, depth + 1);
    }
    const QSize size = reader.size();
    if (!size.isValid()) return reader.format().isEmpty();  // no picture Qt reads: none loaded
    embedded_pixels_ += static_cast<qint64>(size.width()) * size.height();
    return embedded_pixels_ <= kMaxEmbeddedPixels;
  }

  qint64 embedded_pixels_ = 0;
};

}  // namespace

bool svg_stands_alone(const QByteArray& bytes) {
  return Checker().stands_alone(bytes, 0);
}

}  // namespace tarvex
