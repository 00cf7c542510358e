#include "app/layout.h"

namespace tarvex {

std::optional<Placement> LayoutPlan::find(const QString& name) const {
  std::optional<Placement> found;
  for (const auto& [control, placement] : places) {
    if (control != name) continue;
    // Later settings of the same control add to the earlier ones.
    Placement merged = found.value_or(Placement{});
    if (placement.left) merged.left = placement.left;
    if (placement.top) merged.top = placement.top;
    if (placement.width) merged.width = placement.width;
    if (placement.height) merged.height = placement.height;
    found = merged;
  }
  return found;
}

namespace {

// The text panes' and the image pane's height, and the widths of the text pane on the normal and
// on the search screen: the window less the bottom rows, the folder tree and the margins.
int pane_height(int H) {
  return H - 1760;
}
int normal_pane_width(int W) {
  return W - 3285;
}
int search_pane_width(int W) {
  return W - 1245;
}

}  // namespace

QSize image_pane_area(QSize outer) {
  return QSize(normal_pane_width(outer.width()), pane_height(outer.height()));
}

QRect hit_pane_twips(QSize outer) {
  return QRect(kSearchTextPaneLeft, kSearchTextPaneTop, search_pane_width(outer.width()),
               pane_height(outer.height()));
}

QRect normal_pane_twips(QSize outer) {
  return QRect(QPoint(kImagePaneLeft, kImagePaneTop), image_pane_area(outer));
}

QSize limit_image_pane(QSize pane, QSize outer) {
  const QSize area = image_pane_area(outer);
  return QSize(pane.width() > area.width() ? area.width() : pane.width(),
               pane.height() > area.height() ? area.height() : pane.height());
}

QRect maximised_image_geometry(QSize pane) {
  constexpr int kLeft = 10;
  constexpr int kTop = 0;
  if (pane.height() > 9085 || pane.width() > 12195) return QRect(kLeft, kTop, 16000, 12000);
  return QRect(QPoint(kLeft, kTop), pane);
}

QRect maximised_kept_image_geometry(QSize pane, QSize outer, bool stretch) {
  constexpr int kLeft = 10;
  constexpr int kTop = 0;
  // From the left edge the pane passes over the number row and the path labels, so it ends above
  // the number row (at H − 2000), as far from it as the usual pane is from the menu bar.
  const QSize usual = image_pane_area(outer);
  const QSize area(kImagePaneLeft - kLeft + usual.width(),
                   outer.height() - 2000 - kImagePaneTop - kTop);
  return QRect(QPoint(kLeft, kTop), stretch ? area : pane.boundedTo(area));
}

QRect normal_image_geometry(QSize pane) {
  return QRect(QPoint(kImagePaneLeft, kImagePaneTop), pane);
}

LayoutPlan::Action layout_action(const LayoutInput& in) {
  if (in.minimized) return LayoutPlan::Action::StopContinuousDisplay;
  if (!in.minimum_refused && (in.height < kMinWindowHeight || in.width < kMinWindowWidth)) {
    return LayoutPlan::Action::SnapToMinimum;
  }
  return LayoutPlan::Action::Place;
}

LayoutPlan plan_layout(const LayoutInput& in) {
  LayoutPlan plan;
  plan.action = layout_action(in);
  if (plan.action != LayoutPlan::Action::Place) return plan;
  const int H = in.height;
  const int W = in.width;

  auto place = [&plan](const char* name, Placement p) {
    plan.places.append({QString::fromUtf8(name), p});
  };
  auto top = [](int v) { return Placement{std::nullopt, v, std::nullopt, std::nullopt}; };
  auto left = [](int v) { return Placement{v, std::nullopt, std::nullopt, std::nullopt}; };
  auto top_left = [](int t, int l) { return Placement{l, t, std::nullopt, std::nullopt}; };
  auto height = [](int v) { return Placement{std::nullopt, std::nullopt, std::nullopt, v}; };
  auto width = [](int v) { return Placement{std::nullopt, std::nullopt, v, std::nullopt}; };

  // The image pane: its place, then its size. A stretched picture fills the available area; an
  // unstretched one keeps its natural size and is only cut to the area.
  place("Image1", top_left(kImagePaneTop, kImagePaneLeft));
  const QSize outer(W, H);
  const QSize pane = in.stretch ? image_pane_area(outer) : limit_image_pane(in.image_size, outer);
  place("Image1", Placement{std::nullopt, std::nullopt, pane.width(), pane.height()});

  place("RichTextBox1", height(pane_height(H)));
  place("RichTextBox1", width(in.search_mode ? search_pane_width(W) : normal_pane_width(W)));
  place("RichTextBox2", height(pane_height(H)));
  place("RichTextBox2", width(search_pane_width(W)));
  place("List1", top(H - 1550));
  place("List1", width(W - 1345 - in.list1_left));
  place("Check1(0)", top(H - 1460));
  place("Check1(1)", top(H - 1090));
  place("Check1(0)", left(W - 5220));
  place("Check1(1)", left(W - 5220));
  place("Command1(0)", top(H - 1500));
  place("Command1(1)", top(H - 1130));
  place("Command1(0)", left(W - 1980));
  place("Command1(1)", left(W - 1980));
  place("Command2(0)", top(H - 1500));
  place("Command2(1)", top(H - 1500));
  place("Command2(0)", left(W - 2700));
  place("Command2(1)", left(W - 1380));
  place("Command3(0)", top(H - 1130));
  place("Command3(1)", top(H - 1130));
  place("Command3(0)", left(W - 2700));
  place("Command3(1)", left(W - 1380));
  place("Command6(0)", top(H - 1500));
  place("Command6(1)", top(H - 1130));
  place("Command6(0)", left(W - 1260));
  place("Command6(1)", left(W - 1260));
  place("Label2", top(H - 2000));
  place("Label3", top(H - 1600));
  place("Label4(0)", top(H - 1600));
  place("Label4(1)", top(H - 1400));
  place("Label4(2)", top(H - 1200));
  place("Label4(0)", width(W - 5325 - in.label4_left));
  place("Label4(1)", width(W - 5325 - in.label4_left));
  place("Label4(2)", width(W - 5325 - in.label4_left));
  place("Label5(0)", top(H - 1460));
  place("Label5(1)", top(H - 1090));
  place("Label5(0)", left(W - 4860));
  place("Label5(1)", left(W - 4860));
  place("Label6", top(H - 2000));
  place("Text1", top(H - 2000));
  place("Img_List", height(H - 2150));
  place("Txt_List", height(H - 2150));
  place("File1", height(H - 4700));
  return plan;
}

}  // namespace tarvex
