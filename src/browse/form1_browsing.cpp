// The folder tree, the file box and opening a file with its associated application.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "browse/folder_tree.h"
#include "display/classify.h"
#include "platform/file_opener.h"
#include "platform/paths.h"

#include <QAction>
#include <QListWidget>

namespace tarvex {

namespace {
const QString kNoMediumMessage = QStringLiteral("メディアが入ってません！");
// A name that is not valid UTF-8 (a code page 932 name from an old archive) is listed with
// replacement characters and cannot be opened by that name.
const QString kUnreadableNameMessage = QStringLiteral(
    "ファイル名の文字コードを読み取れないため、このファイルは表示できません。\n\r"
    "フォルダ：");
}  // namespace

void Form1::SHTree1_Change() {
  if (!File1->set_path(SHTree1->current_path())) {
    msgbox(kNoMediumMessage, MsgButtons::Ok);
  }
}

QString Form1::file_box_selected_path() const {
  return join_path(File1->path(), File1->file_name());
}

bool Form1::file_box_selection_readable() {
  if (!File1->is_unreadable_name(File1->file_name())) return true;
  msgbox(kUnreadableNameMessage + File1->path(), MsgButtons::Ok);
  return false;
}

void Form1::File1_DblClick() {
  if (File1->list_index() < 0) return;
  if (!file_box_selection_readable()) return;
  ファイルの表示(file_box_selected_path(), 1);
}

void Form1::File1_MouseUp(Qt::MouseButton button, const QPoint& global_pos) {
  if (button != Qt::RightButton) return;
  if (File1->list_index() < 0) {
    list_file_open->setEnabled(false);
  } else {
    list_file_open->setEnabled(!is_icon_or_cursor(File1->file_name()));
  }
  st.popup_source = PopupSource::FileBox;
  popup_menu(file, global_pos);
  st.popup_source = PopupSource::None;
}

void Form1::now_refresh_Click() {
  File1->refresh();
}

void Form1::file_open() {
  QString path;
  switch (st.popup_source) {
    case PopupSource::FileBox:
      path = join_path(SHTree1->current_path(), File1->file_name());
      break;
    case PopupSource::HitList:
      // The hit the user chose in the list.
      if (QListWidgetItem* item = List1->currentItem()) path = item->text();
      break;
    case PopupSource::Pane:
      path = current_entry_path();
      break;
    case PopupSource::None:
      break;
  }
  platform_.opener->open(path);
}

void Form1::select_in_file_box(const QString& name) {
  const qsizetype at = File1->entries().indexOf(name);
  if (at >= 0) File1->set_list_index(static_cast<int>(at));
}

void Form1::browse_to(const QString& folder) {
  SHTree1->set_current_path(folder);
  File1->set_path(SHTree1->current_path());
}

}  // namespace tarvex
