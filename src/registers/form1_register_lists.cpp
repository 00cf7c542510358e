// The register list boxes.

#include "app/main_window.h"
#include "display/image_pane.h"
#include "display/text_pane.h"

#include <QListWidget>

namespace tarvex {

Form1::RegisterSide Form1::side(bool image) {
  if (image) {
    return RegisterSide{true,
                        st.img,
                        image_list,
                        image_arrows,
                        pause_buttons[0],
                        continuous_checks[0],
                        image_timer,
                        image_pane,
                        st.img_paused,
                        st.img_nav_started,
                        img_all_clear,
                        nullptr,
                        img_file_open,
                        image_登録から削除,
                        画像のコピー,
                        image_ファイル削除};
  }
  return RegisterSide{false,
                      st.txt,
                      text_list,
                      text_arrows,
                      pause_buttons[1],
                      continuous_checks[1],
                      text_timer,
                      text_pane,
                      st.txt_paused,
                      st.txt_nav_started,
                      txt_all_clear,
                      txt_kensaku,
                      txt_file_open,
                      text_登録から削除,
                      コピー,
                      text_ファイル削除};
}

QList<QAction*> Form1::RegisterSide::entry_commands() const {
  QList<QAction*> commands{clear_all, search, open, remove};
  commands.removeAll(nullptr);
  return commands;
}

QList<QAction*> Form1::RegisterSide::register_commands() const {
  return entry_commands() + QList<QAction*>{copy, delete_file};
}

bool Form1::on_display(const RegisterSide& side) const {
  return !side.pane->isHidden();
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
