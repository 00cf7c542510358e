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
  place("Image1", top_left(120, 2640));
  const int avail_h = H - 1760;
  const int avail_w = W - 3285;
  if (in.stretch) {
    place("Image1", Placement{std::nullopt, std::nullopt, avail_w, avail_h});
  } else {
    Placement size;
    size.height = in.image_size.height() > avail_h ? avail_h : in.image_size.height();
    size.width = in.image_size.width() > avail_w ? avail_w : in.image_size.width();
    place("Image1", size);
  }

  place("RichTextBox1", height(H - 1760));
  place("RichTextBox1", width(in.search_mode ? W - 1245 : W - 3285));
  place("RichTextBox2", height(H - 1760));
  place("RichTextBox2", width(W - 1245));
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
