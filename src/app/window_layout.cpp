// The main window's layout pass and its outer size.

#include "app/layout.h"
#include "app/main_window.h"
#include "display/image_pane.h"
#include "platform/classic_timer.h"
#include "platform/twips.h"
#include "platform/widget_twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>

namespace tarvex {

namespace {

// Where the window system reports no caption (offscreen, or no window manager), the outer size
// counts a standard caption and border around the window, so that at the minimum size every
// control of the bottom rows lies inside the window.
constexpr int kStandardCaptionPx = 20;
constexpr int kStandardBorderPx = 3;
// A reported top frame thinner than this holds no caption.
constexpr int kThinnestCaptionPx = 10;

QSize frame_extra(const QWidget* w) {
  const QRect frame = w->frameGeometry();
  const QRect inner = w->geometry();
  const int left = inner.left() - frame.left();
  const int top = inner.top() - frame.top();
  const int right = frame.right() - inner.right();
  const int bottom = frame.bottom() - inner.bottom();
  if (top >= kThinnestCaptionPx) return QSize(left + right, top + bottom);
  const int side = std::max({left, right, bottom, kStandardBorderPx});
  return QSize(2 * side, kStandardCaptionPx + 2 * side);
}

void apply_placement(QWidget* w, const Placement& p) {
  const QRect g = twips_geometry(w);
  set_twips_geometry(w, p.left.value_or(g.x()), p.top.value_or(g.y()), p.width.value_or(g.width()),
                     p.height.value_or(g.height()));
}

}  // namespace

QSize Form1::outer_size_twips() const {
  const QSize extra = frame_extra(this);
  return QSize(px_to_twips(width() + extra.width()), px_to_twips(height() + extra.height()));
}

void Form1::set_outer_size_twips(int height_twips, int width_twips) {
  const QSize extra = frame_extra(this);
  resize(twips_to_px(width_twips) - extra.width(), twips_to_px(height_twips) - extra.height());
}

bool Form1::minimized_for_layout() const {
  return isMinimized();
}

void Form1::window_layout() {
  LayoutInput in;
  const QSize outer = outer_size_twips();
  in.height = outer.height();
  in.width = outer.width();
  in.minimized = minimized_for_layout();
  in.stretch = Image1->stretch();
  in.search_mode = st.search_mode != 0;
  in.list1_left = twips_geometry(List1).x();
  in.label4_left = twips_geometry(Label4[0]).x();

  // Minimised, or smaller than the minimum: nothing is placed.
  const LayoutPlan::Action action = layout_action(in);
  if (action == LayoutPlan::Action::StopContinuousDisplay) {
    連続画像->set_enabled(false);
    連続テキスト->set_enabled(false);
    Check1[0]->setChecked(false);
    Check1[1]->setChecked(false);
    return;
  }
  if (action == LayoutPlan::Action::SnapToMinimum) {
    // The new size raises a resize event of its own, whose pass does the layout.
    set_outer_size_twips(kMinWindowHeight, kMinWindowWidth);
    return;
  }

  // After the first pass the current picture is loaded again, so that a picture cut at a small
  // size shows whole again at a larger one.
  // A stretched picture is decoded for the pane's new size by the pane itself once the size is
  // set, so the reload here never decodes for the old size.
  if (st.layout_done == 1) reload_current_picture();
  in.image_size = twips_geometry(Image1).size();

  const LayoutPlan plan = plan_layout(in);
  for (const auto& [name, placement] : plan.places) {
    if (QWidget* w = centralWidget()->findChild<QWidget*>(name)) apply_placement(w, placement);
  }
  最大画面の再描画();
  st.layout_done = 1;
}

void Form1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  window_layout();
}

void Form1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) window_layout();
}

}  // namespace tarvex
