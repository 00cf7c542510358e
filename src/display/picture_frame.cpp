#include "display/picture_frame.h"

#include <algorithm>
#include <cmath>

namespace tarvex {

namespace {

// Steps compare with a margin, so that a scale reached by arithmetic (a fitted 0.5 computed as
// 300 / 600) counts as the step it equals.
constexpr double kSameScale = 1e-9;

int clamp_to(int value, int highest) {
  return std::clamp(value, 0, std::max(0, highest));
}

}  // namespace

double PictureFrame::fit_scale(QSize picture, QSize area) {
  if (picture.isEmpty()) return 1.0;
  const double across = static_cast<double>(std::max(0, area.width())) / picture.width();
  const double down = static_cast<double>(std::max(0, area.height())) / picture.height();
  return std::min({1.0, across, down});
}

double PictureFrame::next_step(double scale, bool larger) {
  if (larger) {
    for (const double step : kZoomSteps) {
      if (step > scale + kSameScale) return step;
    }
    return std::max(scale, kZoomSteps.back());
  }
  for (auto it = kZoomSteps.rbegin(); it != kZoomSteps.rend(); ++it) {
    if (*it < scale - kSameScale) return *it;
  }
  // Below the smallest step already (a huge picture fitted): it stays as it is.
  return std::min(scale, kZoomSteps.front());
}

void PictureFrame::set_picture(QSize natural, bool fit) {
  picture_ = natural;
  fitting_ = fit;
  scale_ = 1.0;
  scroll_ = QPoint(0, 0);
}

void PictureFrame::set_pane(QSize pane, int bar_extent) {
  pane_ = pane;
  bar_ = std::max(0, bar_extent);
  scroll_ = geometry().scroll;
}

double PictureFrame::scale() const {
  return fitting_ ? fit_scale(picture_, pane_) : scale_;
}

QSize PictureFrame::scaled_size(double scale) const {
  if (picture_.isEmpty()) return QSize(0, 0);
  // A picture never vanishes: at the smallest scale it keeps at least one pixel each way.
  return QSize(std::max(1, static_cast<int>(std::lround(picture_.width() * scale))),
               std::max(1, static_cast<int>(std::lround(picture_.height() * scale))));
}

FrameGeometry PictureFrame::geometry() const {
  return geometry_at(scale(), fitting_, scroll_);
}

FrameGeometry PictureFrame::geometry_at(double scale, bool fitting, QPoint scroll) const {
  FrameGeometry g;
  g.scale = scale;
  const QSize pane(std::max(0, pane_.width()), std::max(0, pane_.height()));
  const QSize shown = scaled_size(scale);
  // A fitted picture needs no scroll bars. Otherwise a bar is shown where the picture is wider
  // (or taller) than the pane, and a bar that takes room can make the other one needed.
  if (!fitting) {
    g.horizontal_bar = shown.width() > pane.width();
    g.vertical_bar = shown.height() > pane.height();
    if (g.horizontal_bar && !g.vertical_bar) g.vertical_bar = shown.height() > pane.height() - bar_;
    if (g.vertical_bar && !g.horizontal_bar) g.horizontal_bar = shown.width() > pane.width() - bar_;
  }
  g.viewport = QSize(std::max(0, pane.width() - (g.vertical_bar ? bar_ : 0)),
                     std::max(0, pane.height() - (g.horizontal_bar ? bar_ : 0)));
  // A fitted picture is never scrolled, even the one pixel left of it in a pane with no room.
  if (!fitting) {
    g.max_scroll = QPoint(std::max(0, shown.width() - g.viewport.width()),
                          std::max(0, shown.height() - g.viewport.height()));
  }
  g.scroll = QPoint(clamp_to(scroll.x(), g.max_scroll.x()), clamp_to(scroll.y(), g.max_scroll.y()));
  const int x = g.max_scroll.x() > 0 ? -g.scroll.x() : (g.viewport.width() - shown.width()) / 2;
  const int y = g.max_scroll.y() > 0 ? -g.scroll.y() : (g.viewport.height() - shown.height()) / 2;
  g.picture = QRect(QPoint(x, y), shown);
  return g;
}

void PictureFrame::zoom_in(std::optional<QPointF> anchor) {
  zoom_to(next_step(scale(), true), anchor);
}

void PictureFrame::zoom_out(std::optional<QPointF> anchor) {
  zoom_to(next_step(scale(), false), anchor);
}

void PictureFrame::zoom_to(double scale, std::optional<QPointF> anchor) {
  if (picture_.isEmpty() || !(scale > 0)) return;
  const FrameGeometry before = geometry();
  const FrameGeometry after = geometry_at(scale, false, QPoint(0, 0));
  const auto middle = [](QSize view) { return QPointF(view.width() / 2.0, view.height() / 2.0); };
  // The point of the picture under the anchor, in the picture's own pixels, stays under it;
  // without one, the point in the middle of the view stays in the middle of the view, which
  // scroll bars coming or going make smaller or larger.
  const QPointF from = anchor.value_or(middle(before.viewport));
  const QPointF to = anchor.value_or(middle(after.viewport));
  const QPointF on_picture = (from - QPointF(before.picture.topLeft())) / before.scale;
  const QPointF wanted = on_picture * scale - to;
  fitting_ = false;
  scale_ = scale;
  scroll_ = QPoint(clamp_to(static_cast<int>(std::lround(wanted.x())), after.max_scroll.x()),
                   clamp_to(static_cast<int>(std::lround(wanted.y())), after.max_scroll.y()));
}

void PictureFrame::fit() {
  fitting_ = true;
  scroll_ = QPoint(0, 0);
}

void PictureFrame::scroll_to(QPoint position) {
  scroll_ = geometry_at(scale(), fitting_, position).scroll;
}

}  // namespace tarvex
