#include "display/image_pane.h"

#include "display/drop_data.h"
#include "pictures/picture_loader.h"

#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QWheelEvent>

namespace tarvex {

namespace {

QSize decode_size_for(bool stretch, QSize device_size) {
  return stretch && !device_size.isEmpty() ? device_size : QSize();
}

// One notch of a mouse wheel, in eighths of a degree, and how far a notch scrolls the picture.
constexpr int kWheelNotch = 120;
constexpr int kWheelScrollPixels = 60;

}  // namespace

ImagePane::ImagePane(QWidget* parent) : QWidget(parent) {
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  // A click on the picture gives it the focus, so that the keys reach the pane.
  setFocusPolicy(Qt::StrongFocus);
  redecode_timer_.setSingleShot(true);
  connect(&redecode_timer_, &QTimer::timeout, this, [this] { redecode_when_due(); });
  horizontal_bar_ = new QScrollBar(Qt::Horizontal, this);
  vertical_bar_ = new QScrollBar(Qt::Vertical, this);
  horizontal_bar_->setAccessibleName(QStringLiteral("画像の横スクロールバー"));
  vertical_bar_->setAccessibleName(QStringLiteral("画像の縦スクロールバー"));
  for (QScrollBar* bar : {horizontal_bar_, vertical_bar_}) {
    bar->hide();
    // The bars scroll the picture; the keys stay with the pane.
    bar->setFocusPolicy(Qt::NoFocus);
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      frame_.scroll_to(QPoint(horizontal_bar_->value(), vertical_bar_->value()));
      update();
    });
  }
}

QSize ImagePane::stretched_decode_size() const {
  const QSize device = (QSizeF(size()) * devicePixelRatioF()).toSize();
  // Zoomed beyond the pane, a picture is decoded whole: a decode for the pane is not sharp enough.
  if (stretch_ && keep_proportions_ && !frame_.fitting()) {
    const QSize shown = (QSizeF(frame_.geometry().picture.size()) * devicePixelRatioF()).toSize();
    if (shown.width() > device.width() || shown.height() > device.height()) return QSize();
  }
  return decode_size_for(stretch_, device);
}

bool ImagePane::decode_fits() const {
  if (!stretch_) return decoded_for_.isEmpty();
  const QSize wanted = stretched_decode_size();
  if (keep_proportions_ && wanted.isEmpty()) {
    // A whole decode is the sharpest there is, even one the limits made smaller.
    const QSize shown = (QSizeF(frame_.geometry().picture.size()) * devicePixelRatioF()).toSize();
    return decoded_for_.isEmpty() ||
           LoadedPicture{picture_, full_size_, drawn_}.sharp_enough_for(shown);
  }
  if (wanted.isEmpty()) return true;
  // A picture decoded whole for the unstretched pane and far larger than the stretched pane is
  // decoded once more for the pane, which is then cheap to paint.
  const qint64 decoded_area = static_cast<qint64>(picture_.width()) * picture_.height();
  const qint64 wanted_area = static_cast<qint64>(wanted.width()) * wanted.height();
  if (decoded_for_.isEmpty() && decoded_area > 4 * wanted_area) return false;
  return LoadedPicture{picture_, full_size_, drawn_}.sharp_enough_for(wanted);
}

QSize ImagePane::wanted_decode_size() const {
  // A new picture starts fitted, so it is decoded for the pane as when stretched.
  return decode_size_for(stretch_, (QSizeF(size()) * devicePixelRatioF()).toSize());
}

void ImagePane::show_decoded(const QString& path, const LoadedPicture& picture, QSize decoded_at,
                             qint64 bytes, qint64 modified_ms) {
  redecode_timer_.stop();
  start_frame(path, picture.full_size);
  picture_ = picture.image;
  source_ = Source{path, bytes, modified_ms};
  full_size_ = picture.full_size;
  drawn_ = picture.drawn;
  decoded_for_ = decoded_at;
  // One picture pixel is one device pixel.
  if (decoded_at.isEmpty()) picture_.setDevicePixelRatio(devicePixelRatioF());
  if (!stretch_) resize(natural_size());
  sync_frame();
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
  start_frame(path, loaded->full_size);
  picture_ = loaded->image;
  source_ = Source{path, info.size(), info.lastModified().toMSecsSinceEpoch()};
  full_size_ = loaded->full_size;
  drawn_ = loaded->drawn;
  decoded_for_ = decode_size;
  // One picture pixel is one device pixel.
  if (decode_size.isEmpty()) picture_.setDevicePixelRatio(devicePixelRatioF());
  if (!stretch_) resize(natural_size());
  sync_frame();
  return true;
}

void ImagePane::start_frame(const QString& path, QSize full_size) {
  if (path == source_.path && full_size == full_size_) return;
  const qreal ratio = devicePixelRatioF();
  frame_.set_picture((QSizeF(full_size) / ratio).toSize(), stretch_);
}

QSize ImagePane::frame_picture_size() const {
  return (QSizeF(full_size_) / devicePixelRatioF()).toSize();
}

bool ImagePane::can_pan() const {
  const FrameGeometry g = frame_.geometry();
  return keep_proportions_ && (g.max_scroll.x() > 0 || g.max_scroll.y() > 0);
}

void ImagePane::sync_frame() {
  if (!keep_proportions_) {
    horizontal_bar_->hide();
    vertical_bar_->hide();
    update();
    return;
  }
  const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  frame_.set_pane(size(), extent);
  const FrameGeometry g = frame_.geometry();
  const std::pair<QScrollBar*, bool> bars[] = {{horizontal_bar_, g.horizontal_bar},
                                               {vertical_bar_, g.vertical_bar}};
  for (const auto& [bar, shown] : bars) {
    const bool across = bar == horizontal_bar_;
    const QSignalBlocker quiet(bar);
    bar->setRange(0, across ? g.max_scroll.x() : g.max_scroll.y());
    bar->setPageStep(std::max(1, across ? g.viewport.width() : g.viewport.height()));
    bar->setSingleStep(kWheelScrollPixels / 3);
    bar->setValue(across ? g.scroll.x() : g.scroll.y());
    if (across) {
      bar->setGeometry(0, g.viewport.height(), g.viewport.width(), extent);
    } else {
      bar->setGeometry(g.viewport.width(), 0, extent, g.viewport.height());
    }
    bar->setVisible(shown);
  }
  setAccessibleDescription(
      picture_.isNull() ? QString() : QStringLiteral("表示倍率 %1%").arg(qRound(g.scale * 100)));
  if (!drag_from_) setCursor(can_pan() ? Qt::OpenHandCursor : Qt::ArrowCursor);
  // A zoom past what the pane's decode holds sharpens the picture on the pane's schedule.
  if (stretch_ && !picture_.isNull() && !decode_fits()) redecode_when_due();
  update();
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
  frame_.set_picture(QSize(), stretch_);
  sync_frame();
}

void ImagePane::set_stretch(bool on) {
  stretch_ = on;
  frame_.set_picture(frame_picture_size(), on);
  sync_frame();
}

void ImagePane::set_keep_proportions(bool on) {
  keep_proportions_ = on;
  frame_.set_picture(frame_picture_size(), stretch_);
  sync_frame();
}

QSize ImagePane::natural_size() const {
  if (picture_.isNull()) return QSize(0, 0);
  return (QSizeF(picture_.size()) / picture_.devicePixelRatio()).toSize();
}

void ImagePane::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  if (keep_proportions_) {
    const FrameGeometry g = frame_.geometry();
    painter.setClipRect(QRect(QPoint(0, 0), g.viewport));
    const qreal ratio = devicePixelRatioF();
    const QSize device = (QSizeF(g.picture.size()) * ratio).toSize();
    if (device == picture_.size()) {
      QImage exact = picture_;
      exact.setDevicePixelRatio(ratio);
      painter.drawImage(g.picture.topLeft(), exact);
    } else if (device.width() <= picture_.width() && device.height() <= picture_.height()) {
      // Made smaller once, not at every paint: scrolling and repainting stay cheap.
      if (scaled_from_ != picture_.cacheKey() || scaled_.size() != device) {
        scaled_ = picture_.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled_.setDevicePixelRatio(ratio);
        scaled_from_ = picture_.cacheKey();
      }
      painter.drawImage(g.picture.topLeft(), scaled_);
    } else {
      // Enlarged: only the part in view is scaled as it is painted.
      painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter.drawImage(QRectF(g.picture), picture_, QRectF(picture_.rect()));
    }
    return;
  }
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
  if (keep_proportions_) sync_frame();
}

void ImagePane::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && can_pan()) {
    drag_from_ = event->position().toPoint();
    drag_scroll_ = frame_.geometry().scroll;
    setCursor(Qt::ClosedHandCursor);
  }
  QWidget::mousePressEvent(event);
}

void ImagePane::mouseMoveEvent(QMouseEvent* event) {
  if (drag_from_) {
    frame_.scroll_to(drag_scroll_ - (event->position().toPoint() - *drag_from_));
    sync_frame();
  }
  QWidget::mouseMoveEvent(event);
}

void ImagePane::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && drag_from_) {
    drag_from_.reset();
    sync_frame();
  }
  emit mouseReleased(event->button(), event->globalPosition().toPoint());
}

void ImagePane::wheelEvent(QWheelEvent* event) {
  if (!keep_proportions_ || picture_.isNull()) {
    QWidget::wheelEvent(event);
    return;
  }
  const QPoint turn = event->angleDelta();
  if (event->modifiers() & Qt::ControlModifier) {
    wheel_rest_ += turn.y();
    const QPointF at = event->position();
    for (; wheel_rest_ >= kWheelNotch; wheel_rest_ -= kWheelNotch) frame_.zoom_in(at);
    for (; wheel_rest_ <= -kWheelNotch; wheel_rest_ += kWheelNotch) frame_.zoom_out(at);
    sync_frame();
    event->accept();
    return;
  }
  if (!can_pan()) {
    event->ignore();
    return;
  }
  const QPoint by =
      event->pixelDelta().isNull() ? turn * kWheelScrollPixels / kWheelNotch : event->pixelDelta();
  frame_.scroll_to(frame_.geometry().scroll - by);
  sync_frame();
  event->accept();
}

void ImagePane::keyPressEvent(QKeyEvent* event) {
  // Shift is allowed: on a Japanese keyboard "+" is typed with it.
  const Qt::KeyboardModifiers others =
      event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  if (!keep_proportions_ || picture_.isNull() || others != Qt::NoModifier) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      frame_.zoom_in();
      break;
    case Qt::Key_Minus:
      frame_.zoom_out();
      break;
    case Qt::Key_1:
      frame_.zoom_to(1.0);
      break;
    case Qt::Key_0:
      frame_.fit();
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  sync_frame();
  event->accept();
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
