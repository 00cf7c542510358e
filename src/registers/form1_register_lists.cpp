// The register list boxes.

#include "app/main_window.h"
#include "display/image_pane.h"
#include "display/text_pane.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>

namespace tarvex {

Form1::RegisterSide Form1::side(bool image) {
  if (image) {
    return RegisterSide{.image = true,
                        .reg = st.img,
                        .list = image_list,
                        .arrows = image_arrows,
                        .pause = pause_buttons[0],
                        .check = continuous_checks[0],
                        .timer = image_timer,
                        .pane = image_pane,
                        .paused = st.img_paused,
                        .nav_started = st.img_nav_started,
                        .view = st.img_view,
                        .clear_all = img_all_clear,
                        .search = nullptr,
                        .open = img_file_open,
                        .remove = image_登録から削除,
                        .copy = 画像のコピー,
                        .delete_file = image_ファイル削除};
  }
  return RegisterSide{.image = false,
                      .reg = st.txt,
                      .list = text_list,
                      .arrows = text_arrows,
                      .pause = pause_buttons[1],
                      .check = continuous_checks[1],
                      .timer = text_timer,
                      .pane = text_pane,
                      .paused = st.txt_paused,
                      .nav_started = st.txt_nav_started,
                      .view = st.txt_view,
                      .clear_all = txt_all_clear,
                      .search = txt_kensaku,
                      .open = txt_file_open,
                      .remove = text_登録から削除,
                      .copy = コピー,
                      .delete_file = text_ファイル削除};
}

bool Form1::on_display(const RegisterSide& side) const {
  return side.view.pane;
}

SideId Form1::shown_side() const {
  if (st.img_view.pane) return SideId::Images;
  return st.txt_view.pane ? SideId::Texts : SideId::None;
}

SideId Form1::running_side() const {
  if (st.img_view.running) return SideId::Images;
  return st.txt_view.running ? SideId::Texts : SideId::None;
}

// What goes out of view goes first, so that a control losing the keyboard never hands it to one
// that is about to be hidden.
void Form1::sync_side(const RegisterSide& s) {
  const SideView& v = s.view;
  const std::pair<QWidget*, bool> shown[] = {{s.pause, v.pause},
                                             {s.arrows[0], v.arrows},
                                             {s.arrows[1], v.arrows},
                                             {s.pane, v.pane},
                                             {s.list, v.list}};
  for (const auto& [w, on] : shown) {
    if (!on) w->hide();
  }
  show_pause_state(s.index(), s.paused);
  for (const auto& [w, on] : shown) {
    if (on) w->show();
  }
  const SideView::Commands& c = v.commands;
  const std::pair<QAction*, bool> commands[] = {
      {s.clear_all, c.clear_all}, {s.search, c.search}, {s.open, c.open},
      {s.remove, c.remove},       {s.copy, c.copy},     {s.delete_file, c.delete_file}};
  for (const auto& [a, on] : commands) {
    if (a != nullptr) a->setEnabled(on);
  }
}

void Form1::Img_File_List() {
  list_entries(side(true));
}

void Form1::Txt_file_list() {
  list_entries(side(false));
}

void Form1::list_entries(const RegisterSide& side) {
  side.list->clear();
  side.list->addItems(side.reg.list_lines());
  // A line cut off at the list's edge shows its entry's path as its tooltip.
  for (int i = 0; i < side.list->count(); ++i) {
    side.list->item(i)->setData(Qt::ToolTipRole, side.reg.path(i));
  }
}

// The selection is the user's choice (a click or a key moves it); the window only marks the
// current entry with it, so it is read here and not kept elsewhere.
int Form1::selected_line(const QListWidget* list) {
  const QListWidgetItem* item = list->currentItem();
  return item != nullptr && item->isSelected() ? list->row(item) : -1;
}

bool Form1::select_line(QListWidget* list, int row) {
  if (row < 0 || row >= list->count()) return false;
  list->setCurrentRow(row);
  return true;
}

QString Form1::Re_Number(int org_number) const {
  // Both registers are sized from the one file count.
  return tarvex::Re_Number(org_number, st.img.max_index);
}

}  // namespace tarvex
