#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <array>
#include <optional>

namespace tarvex {

// Where the picture sits in the image pane when its proportions are kept, as plain numbers in
// device-independent pixels. The pane either shows the picture whole (fitted: as large as the
// pane allows, never past its own size, centred), or at a chosen scale, centred where it is
// smaller than the pane and scrolled where it is larger.
struct FrameGeometry {
  QRect picture;   // the picture as drawn, in the pane's coordinates; reaches past the view when
                   // it is larger than the view
  QSize viewport;  // the pane less the scroll bars shown
  bool horizontal_bar = false;
  bool vertical_bar = false;
  QPoint scroll;      // how far the view is scrolled into the picture
  QPoint max_scroll;  // zero where the picture fits the view
  double scale = 1.0;
};

class PictureFrame {
 public:
  // The scales the zoom keys step through, smallest first. The smallest and the largest bound
  // any zoom; a fitted picture may be smaller still.
  static constexpr std::array<double, 18> kZoomSteps = {
      1.0 / 20, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3,
      1.0,      1.5,      2.0,      3.0,     4.0,     6.0,     8.0,     12.0,    16.0};

  // The scale that shows `picture` whole in `area`, never above 1.
  static double fit_scale(QSize picture, QSize area);
  // The next scale of kZoomSteps above (or below) `scale`; `scale` itself at the end of the steps.
  static double next_step(double scale, bool larger);

  // A new picture of its own size `natural`: fitted when `fit`, else at its own size, seen from
  // its top-left corner.
  void set_picture(QSize natural, bool fit);
  // The pane's size and the thickness of its scroll bars; the view keeps its scale and is moved
  // back inside the picture where the pane grew.
  void set_pane(QSize pane, int bar_extent);

  QSize picture_size() const { return picture_; }
  bool fitting() const { return fitting_; }
  double scale() const;
  FrameGeometry geometry() const;

  // Zooming keeps the point of the picture under `anchor` (in the pane's coordinates) where it
  // is, as far as the view allows; without an anchor, the middle of the view.
  void zoom_in(std::optional<QPointF> anchor = std::nullopt);
  void zoom_out(std::optional<QPointF> anchor = std::nullopt);
  void zoom_to(double scale, std::optional<QPointF> anchor = std::nullopt);
  void fit();
  // Scrolls the view; a position outside the picture is taken to its nearest edge.
  void scroll_to(QPoint position);

 private:
  QSize scaled_size(double scale) const;
  FrameGeometry geometry_at(double scale, bool fitting, QPoint scroll) const;

  QSize picture_;
  QSize pane_;
  int bar_ = 0;
  bool fitting_ = true;
  double scale_ = 1.0;
  QPoint scroll_;
};

}  // namespace tarvex
