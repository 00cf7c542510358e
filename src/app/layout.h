#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace tarvex {

// The smallest outer size of the main window, in twips; start-up gives it exactly this size.
inline constexpr int kMinWindowHeight = 6975;
inline constexpr int kMinWindowWidth = 9660;

// The image pane's place beside the folder tree, and the text pane's place on the search screen
// (over the folder tree).
inline constexpr int kImagePaneLeft = 2640;
inline constexpr int kImagePaneTop = 120;
inline constexpr int kSearchTextPaneLeft = 600;
inline constexpr int kSearchTextPaneTop = 120;

// The register lists' place at start-up, over the folder tree (the layout pass then sets their
// height).
inline constexpr QRect kStartupListTwips{360, 120, 2175, 4740};

// Where the text pane sits on the search screen (over the folder tree), and back on the normal
// screen beside it, for the main window's outer size (twips, width × height).
QRect hit_pane_twips(QSize outer);
QRect normal_pane_twips(QSize outer);

// The properties one layout pass sets on one control, in twips; the others stay as they are.
struct Placement {
  std::optional<int> left, top, width, height;
  friend bool operator==(const Placement&, const Placement&) = default;
};

struct LayoutInput {
  int height = kMinWindowHeight;  // H: outer height including frame, caption and menu bar
  int width = kMinWindowWidth;    // W: outer width including the frame
  bool minimized = false;
  // The window system did not grant the minimum size: place the controls at the size there is.
  bool minimum_refused = false;
  bool stretch = false;      // the image pane scales its picture to the pane
  bool search_mode = false;  // the search screen is open
  QSize image_size;          // the image pane's size after the picture was reloaded, twips
  int list1_left = 600;      // the search-hit list's left edge
  int label4_left = 1400;    // the path labels' left edge
};

struct LayoutPlan {
  enum class Action { StopContinuousDisplay, SnapToMinimum, Place };
  Action action = Action::Place;
  // Control object names ("Command2(0)", "RichTextBox1") with what to set, in the order set.
  QList<std::pair<QString, Placement>> places;

  std::optional<Placement> find(const QString& name) const;
};

// What a pass does at this size: stop the continuous display when minimised, snap back when below
// the minimum, else place the controls.
LayoutPlan::Action layout_action(const LayoutInput& in);

// One layout pass of the main window as numbers: a minimised window stops the continuous
// display, a window below the minimum snaps back to 9660 × 6975 (both dimensions), and otherwise
// the bottom rows follow the lower edge, the buttons the right edge, and the panes, lists and
// file box stretch.
LayoutPlan plan_layout(const LayoutInput& in);

// The image pane's largest size in a window of outer size `outer` (width × height): the area
// left of the window's right edge and above the bottom rows.
QSize image_pane_area(QSize outer);

// A pane of size `pane` limited to that area, both sides separately: a larger picture is cut off
// at the pane's edges, not scaled.
QSize limit_image_pane(QSize pane, QSize outer);

// The image pane's rectangle (left, top, width, height) in the maximised picture display: at the
// window's top left corner; a pane higher than 9085 or wider than 12195 becomes 16000 × 12000,
// within which the unscaled picture is cut off.
QRect maximised_image_geometry(QSize pane);

// The same with the picture's proportions kept: the pane never reaches past the window, where its
// scroll bars could not be reached. It starts at the same corner and ends at the usual pane's right
// edge and above the number row; a stretched pane takes all of that, another keeps its picture's
// own size within it.
QRect maximised_kept_image_geometry(QSize pane, QSize outer, bool stretch);

// The image pane's rectangle outside the maximised display: its own size in its usual place.
QRect normal_image_geometry(QSize pane);

}  // namespace tarvex
