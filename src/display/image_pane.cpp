#include "display/image_pane.h"

#include "display/drop_data.h"
#include "pictures/picture_loader.h"

#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace tarvex {

namespace {

QSize decode_size_for(bool stretch, QSize device_size) {
  return stretch && !device_size.isEmpty() ? device_size : QSize();
}

}  // namespace

ImagePane::ImagePane(QWidget* parent) : QWidget(parent) {
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  redecode_timer_.setSingleShot(true);
  connect(&redecode_timer_, &QTimer::timeout, this, [this] { redecode_when_due(); });
}

QSize ImagePane::stretched_decode_size() const {
  return decode_size_for(stretch_, (QSizeF(size()) * devicePixelRatioF()).toSize());
}

bool ImagePane::decode_fits() const {
  if (!stretch_) return decoded_for_.isEmpty();
  const QSize wanted = stretched_decode_size();
  if (wanted.isEmpty()) return true;
  // A picture decoded whole for the unstretched pane and far larger than the stretched pane is
  // decoded once more for the pane, which is then cheap to paint.
  const qint64 decoded_area = static_cast<qint64>(picture_.width()) * picture_.height();
  const qint64 wanted_area = static_cast<qint64>(wanted.width()) * wanted.height();
  if (decoded_for_.isEmpty() && decoded_area > 4 * wanted_area) return false;
  return LoadedPicture{picture_, full_size_, drawn_}.sharp_enough_for(wanted);
}

QSize ImagePane::wanted_decode_size() const {
  return stretched_decode_size();
}

void ImagePane::show_decoded(const QString& path, const LoadedPicture& picture, QSize decoded_at,
                             qint64 bytes, qint64 modified_ms) {
  redecode_timer_.stop();
  picture_ = picture.image;
  source_ = Source{path, bytes, modified_ms};
  full_size_ = picture.full_size;
  drawn_ = picture.drawn;
  decoded_for_ = decoded_at;
  // One picture pixel is one device pixel.
  if (decoded_at.isEmpty()) picture_.setDevicePixelRatio(devicePixelRatioF());
  if (!stretch_) resize(natural_size());
  update();
}

bool ImagePane::load_picture(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return false;
  const Source source{path, info.size(), info.lastModified().toMSecsSinceEpoch()};
  if (picture_.isNull() || !(source == source_)) return decode(path);
  // The same unchanged file: a stretched picture is sharpened on the pane's schedule.
  if (stretch_) {
    redecode_when_due();
  } else if (!decode_fits()) {
    return decode(path);
  } else {
    resize(natural_size());
  }
  update();
  return true;
}

bool ImagePane::decode(const QString& path) {
  const QFileInfo info(path);
  const QSize decode_size = stretched_decode_size();
  std::optional<LoadedPicture> loaded = load_picture_file(path, decode_size);
  if (!loaded) return false;
  ++decode_count_;
  last_decode_.start();
  redecode_timer_.stop();
  picture_ = loaded->image;
  source_ = Source{path, info.size(), info.lastModified().toMSecsSinceEpoch()};
  full_size_ = loaded->full_size;
  drawn_ = loaded->drawn;
  decoded_for_ = decode_size;
  // One picture pixel is one device pixel.
  if (decode_size.isEmpty()) picture_.setDevicePixelRatio(devicePixelRatioF());
  if (!stretch_) resize(natural_size());
  update();
  return true;
}

void ImagePane::redecode_when_due() {
  if (picture_.isNull() || source_.path.isEmpty() || decode_fits()) return;
  const qint64 since = last_decode_.isValid() ? last_decode_.elapsed() : kRedecodeIntervalMs;
  if (since < kRedecodeIntervalMs) {
    if (!redecode_timer_.isActive()) {
      redecode_timer_.start(static_cast<int>(kRedecodeIntervalMs - since));
    }
    return;
  }
  // A file that can no longer be read leaves the picture as it is.
  decode(source_.path);
}

QImage ImagePane::whole_picture() const {
  if (picture_.isNull()) return QImage();
  QImage whole = picture_;
  const bool scaled_for_pane = !decoded_for_.isEmpty() && whole.size() != full_size_;
  if (scaled_for_pane) {
    if (std::optional<LoadedPicture> loaded = load_picture_file(source_.path)) {
      whole = loaded->image;
    }
  }
  whole.setDevicePixelRatio(1);
  return whole;
}

void ImagePane::clear_picture() {
  picture_ = QImage();
  source_ = Source{};
  full_size_ = QSize();
  drawn_ = false;
  decoded_for_ = QSize();
  redecode_timer_.stop();
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

void ImagePane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (stretch_) redecode_when_due();
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
  take_pane_drop(
      event, file_box_token_, [this] { emit fileBoxDropped(); },
      [this](const QStringList& files) { emit filesDropped(files); });
}

}  // namespace tarvex
