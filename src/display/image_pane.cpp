#include "display/image_pane.h"

#include "display/drop_data.h"
#include "display/picture_loader.h"

#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace tarvex {

ImagePane::ImagePane(QWidget* parent) : QWidget(parent) {
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QSize ImagePane::wanted_decode_size() const {
  return stretch_ ? size() * devicePixelRatioF() : QSize();
}

void ImagePane::show_decoded(const QString& path, const QImage& image, QSize decoded_at,
                             qint64 bytes, qint64 modified_ms) {
  picture_ = image;
  source_ = Source{path, bytes, modified_ms, decoded_at};
  if (!stretch_ || decoded_at.isEmpty()) picture_.setDevicePixelRatio(devicePixelRatioF());
  if (!stretch_) resize(natural_size());
  update();
}

bool ImagePane::load_picture(const QString& path) {
  const qreal dpr = devicePixelRatioF();
  const QSize decode_size = wanted_decode_size();
  const QFileInfo info(path);
  const Source source{path, info.size(), info.lastModified().toMSecsSinceEpoch(), decode_size};
  if (!info.isFile()) return false;
  if (!picture_.isNull() && source == source_) {
    if (!stretch_) resize(natural_size());
    update();
    return true;
  }
  std::optional<QImage> image = load_picture_file(path, decode_size);
  if (!image) return false;
  picture_ = *image;
  source_ = source;
  // One picture pixel is one device pixel.
  if (!stretch_ || decode_size.isEmpty()) picture_.setDevicePixelRatio(dpr);
  if (!stretch_) resize(natural_size());
  update();
  return true;
}

void ImagePane::clear_picture() {
  picture_ = QImage();
  source_ = Source{};
  update();
}

void ImagePane::set_stretch(bool on) {
  stretch_ = on;
  update();
}

QSize ImagePane::natural_size() const {
  if (picture_.isNull()) return QSize(0, 0);
  return (QSizeF(picture_.size()) / picture_.devicePixelRatio()).toSize();
}

void ImagePane::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  if (stretch_) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(rect(), picture_);
  } else {
    // Unscaled: a picture larger than the pane is cut off at its edges.
    painter.drawImage(QPoint(0, 0), picture_);
  }
}

void ImagePane::mouseReleaseEvent(QMouseEvent* event) {
  emit mouseReleased(event->button(), event->globalPosition().toPoint());
}

void ImagePane::dragEnterEvent(QDragEnterEvent* event) {
  if (pane_accepts_drop(event->mimeData(), file_box_token_)) event->acceptProposedAction();
}

void ImagePane::dragMoveEvent(QDragMoveEvent* event) {
  event->acceptProposedAction();
}

void ImagePane::dropEvent(QDropEvent* event) {
  const std::optional<PaneDrop> drop = read_pane_drop(event->mimeData(), file_box_token_);
  if (!drop) return;
  event->acceptProposedAction();
  if (drop->from_file_box) {
    emit fileBoxDropped();
  } else {
    emit filesDropped(drop->files);
  }
}

}  // namespace tarvex
