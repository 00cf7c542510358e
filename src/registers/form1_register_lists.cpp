// The register list boxes.

#include "app/main_window.h"

#include <QListWidget>

namespace tarvex {

void Form1::Img_File_List() {
  Img_List->clear();
  Img_List->addItems(st.img.list_lines());
}

void Form1::Txt_file_list() {
  Txt_List->clear();
  Txt_List->addItems(st.txt.list_lines());
}

int Form1::selected_line(const QListWidget* list) {
  const QListWidgetItem* item = list->currentItem();
  return item != nullptr && item->isSelected() ? list->row(item) : -1;
}

QString Form1::Re_Number(int org_number) const {
  // Both registers are sized from the one file count.
  return tarvex::Re_Number(org_number, st.img.max_index);
}

}  // namespace tarvex
