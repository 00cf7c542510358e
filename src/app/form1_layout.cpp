// The main window's layout pass and its outer size.

#include "app/layout.h"
#include "app/main_window.h"
#include "display/image_pane.h"
#include "platform/classic_timer.h"
#include "platform/once_exposed.h"
#include "platform/twips.h"
#include "platform/widget_twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>

namespace tarvex {

namespace {

// Where the window system reports no caption (offscreen, or no window manager), the outer size
// counts a standard caption and border around the window, so that at the minimum size every
// control of the bottom rows lies inside the window.
constexpr int kStandardCaptionPx = 20;
constexpr int kStandardBorderPx = 3;
// A reported top frame thinner than this holds no caption.
constexpr int kThinnestCaptionPx = 10;
// How long a requested minimum size may take to arrive before it counts as refused.
constexpr int kMinimumGrantWaitMs = 300;

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
  // Below the minimum size (when the window system refused it) sizes can come out negative.
  set_twips_geometry(w, p.left.value_or(g.x()), p.top.value_or(g.y()),
                     std::max(0, p.width.value_or(g.width())),
                     std::max(0, p.height.value_or(g.height())));
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

bool Form1::maximized_for_layout() const {
  return (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) != 0;
}

bool Form1::minimum_size_refused() const {
  const QSize extra = frame_extra(this);
  const QSize most = maximumSize() + extra;
  return px_to_twips(most.width()) < kMinWindowWidth ||
         px_to_twips(most.height()) < kMinWindowHeight;
}

void Form1::lay_out_at_actual_size() {
  minimum_refused_ = true;
  window_layout();
  minimum_refused_ = false;
}

void Form1::window_layout() {
  LayoutInput in;
  const QSize outer = outer_size_twips();
  in.height = outer.height();
  in.width = outer.width();
  in.minimized = minimized_for_layout();
  in.minimum_refused = minimum_refused_;
  in.stretch = image_pane->stretch();
  in.search_mode = st.search_mode;
  in.list1_left = twips_geometry(hit_list).x();
  in.label4_left = twips_geometry(path_labels[0]).x();

  // Minimised, or smaller than the minimum: nothing is placed.
  const LayoutPlan::Action action = layout_action(in);
  if (action == LayoutPlan::Action::StopContinuousDisplay) {
    image_timer->set_enabled(false);
    text_timer->set_enabled(false);
    continuous_checks[0]->setChecked(false);
    continuous_checks[1]->setChecked(false);
    return;
  }
  if (action == LayoutPlan::Action::SnapToMinimum && maximized_for_layout()) {
    // A maximised or full-screen window has the size the window manager gives it. Its state
    // changes before its new size arrives, so a pass in between sees the old size: snapping then
    // would undo the maximising. The controls are placed at the size there is; the new size
    // brings a pass of its own.
    lay_out_at_actual_size();
    return;
  }
  if (action == LayoutPlan::Action::SnapToMinimum) {
    // The new size raises a resize event of its own, whose pass does the layout. A window system
    // may refuse it (a screen or a maximum size too small, a tiling window manager): then no such
    // event comes, and the controls are placed at the size the window really has.
    set_outer_size_twips(kMinWindowHeight, kMinWindowWidth);
    if (minimum_size_refused()) {
      lay_out_at_actual_size();
    } else {
      QTimer::singleShot(kMinimumGrantWaitMs, this, [this] {
        const QSize now = outer_size_twips();
        if (now.height() < kMinWindowHeight || now.width() < kMinWindowWidth) {
          lay_out_at_actual_size();
        }
      });
    }
    return;
  }

  // After the first pass the current picture is loaded again, so that a picture cut at a small
  // size shows whole again at a larger one.
  // A stretched picture is decoded for the pane's new size by the pane itself once the size is
  // set, so the reload here never decodes for the old size.
  if (st.layout_done) reload_current_picture();
  in.image_size = twips_geometry(image_pane).size();

  const LayoutPlan plan = plan_layout(in);
  for (const auto& [name, placement] : plan.places) {
    QWidget* w = centralWidget()->findChild<QWidget*>(name);
    // A placement for a control that does not exist is a fault in the plan, never a skip.
    Q_ASSERT_X(w, "window_layout", qPrintable(QStringLiteral("no control named ") + name));
    if (w) apply_placement(w, placement);
  }
  最大画面の再描画();
  st.layout_done = true;
}

void Form1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  window_layout();
}

void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Before the window is on screen its frame is a guess (a standard caption and border); the
  // window manager's real frame may be thinner or thicker, so the window may stand below its
  // minimum size once framed. The first pass with the real frame snaps it there, before the user
  // can maximise or resize it.
  if (!first_exposure_watched_ && windowHandle()) {
    first_exposure_watched_ = true;
    new OnceExposed(windowHandle(), [this] { window_layout(); });
  }
}

void Form1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) window_layout();
}

}  // namespace tarvex
