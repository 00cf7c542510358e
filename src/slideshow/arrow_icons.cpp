#include "slideshow/arrow_icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tarvex {

namespace {

class ArrowEngine final : public QIconEngine {
 public:
  explicit ArrowEngine(ArrowDirection direction) : direction_(direction) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    // The arrow on a 32 × 32 grid, pointing left: a head and a shaft.
    QPainterPath arrow;
    arrow.moveTo(3, 16);
    arrow.lineTo(16, 4);
    arrow.lineTo(16, 11);
    arrow.lineTo(29, 11);
    arrow.lineTo(29, 21);
    arrow.lineTo(16, 21);
    arrow.lineTo(16, 28);
    arrow.closeSubpath();
    const int side = std::min(rect.width(), rect.height());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->translate(rect.center().x() + 0.5, rect.center().y() + 0.5);
    painter->scale(side / 32.0, side / 32.0);
    const int turn[] = {0, 180, 90, 270};
    painter->rotate(turn[static_cast<int>(direction_)]);
    painter->translate(-16, -16);
    const bool disabled = mode == QIcon::Disabled;
    painter->setPen(QPen(disabled ? QColor(128, 128, 128) : QColor(0, 0, 64), 1.2));
    painter->setBrush(disabled ? QColor(192, 192, 192) : QColor(0, 0, 160));
    painter->drawPath(arrow);
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paint(&p, QRect(QPoint(0, 0), size), mode, state);
    return pm;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min({size.width(), size.height(), 32});
    return QSize(side, side);
  }

  QIconEngine* clone() const override { return new ArrowEngine(direction_); }

 private:
  ArrowDirection direction_;
};

}  // namespace

QIcon arrow_icon(ArrowDirection direction) {
  return QIcon(new ArrowEngine(direction));
}

}  // namespace tarvex
