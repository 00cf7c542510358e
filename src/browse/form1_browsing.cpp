// The folder tree, the file box and opening a file with its associated application.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "browse/folder_tree.h"
#include "display/classify.h"
#include "platform/file_opener.h"
#include "platform/paths.h"

#include <QAction>
#include <QLabel>
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
  if (!file_box->set_path(folder_tree->current_path())) {
    msgbox(kNoMediumMessage, MsgButtons::Ok);
  }
}

QString Form1::file_box_selected_path() const {
  return join_path(file_box->path(), file_box->file_name());
}

bool Form1::file_box_selection_readable() {
  if (!file_box->is_unreadable_name(file_box->file_name())) return true;
  msgbox(kUnreadableNameMessage + file_box->path(), MsgButtons::Ok);
  return false;
}

void Form1::File1_DblClick() {
  if (file_box->list_index() < 0) return;
  if (!file_box_selection_readable()) return;
  ファイルの表示(file_box_selected_path(), 1);
}

void Form1::File1_MouseUp(Qt::MouseButton button, const QPoint& global_pos) {
  if (button != Qt::RightButton) return;
  if (file_box->list_index() < 0) {
    list_file_open->setEnabled(false);
  } else {
    list_file_open->setEnabled(!is_icon_or_cursor(file_box->file_name()));
  }
  st.popup_source = PopupSource::FileBox;
  popup_menu(file_menu, global_pos);
  st.popup_source = PopupSource::None;
}

void Form1::now_refresh_Click() {
  file_box->refresh();
}

void Form1::file_open() {
  QString path;
  switch (st.popup_source) {
    case PopupSource::FileBox:
      path = join_path(folder_tree->current_path(), file_box->file_name());
      break;
    case PopupSource::HitList:
      if (QListWidgetItem* item = hit_list->currentItem()) path = item->text();
      break;
    case PopupSource::Pane:
      path = path_labels[0]->text() + path_labels[1]->text() + path_labels[2]->text();
      break;
    case PopupSource::None:
      break;
  }
  platform_.opener->open(path);
}

void Form1::select_in_file_box(const QString& name) {
  const qsizetype at = file_box->entries().indexOf(name);
  if (at >= 0) file_box->set_list_index(static_cast<int>(at));
}

void Form1::browse_to(const QString& folder) {
  folder_tree->set_current_path(folder);
  file_box->set_path(folder_tree->current_path());
}

}  // namespace tarvex
