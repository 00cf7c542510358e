// Bulk registration of the folder on display, and clearing a whole register.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/classic_timer.h"
#include "registers/bulk_register.h"
#include "search/form4.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>

namespace tarvex {

namespace {

// The names the file box lists, less those whose encoding could not be read: such a name does not
// lead back to its file.
QStringList readable_entries(const FileBox& box) {
  QStringList names = box.entries();
  names.removeIf([&box](const QString& name) { return box.is_unreadable_name(name); });
  return names;
}

const QString kImageLoadQuestion = QStringLiteral("の画像ファイル名を登録しますか？");
const QString kImageLoadDone = QStringLiteral("画像ファイル名の登録終了！");
const QString kNoImage = QStringLiteral("イメージがない！");
const QString kTextLoadQuestion = QStringLiteral("のテキストファイル名を登録しますか？");
const QString kTextLoadDone = QStringLiteral("テキストファイル名の登録終了！");
const QString kNoText = QStringLiteral("テキストがない！");
const QString kImageClearQuestion =
    QStringLiteral("登録した画像ファイル名をすべて消去してもいいですか？");
const QString kTextClearQuestion =
    QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？");

}  // namespace

void Form1::connect_bulk_events() {
  connect(img_all_load, &QAction::triggered, this, [this] { img_all_load_Click(); });
  connect(txt_all_load, &QAction::triggered, this, [this] { txt_all_load_Click(); });
  connect(img_all_clear, &QAction::triggered, this, [this] { img_all_clear_Click(); });
  connect(txt_all_clear, &QAction::triggered, this, [this] { txt_all_clear_Click(); });
  notice_timer->set_handler([this] { ロード終了表示_Timer(); });
}

void Form1::img_all_load_Click() {
  bulk_load(side(true));
}

void Form1::txt_all_load_Click() {
  bulk_load(side(false));
}

// The names and the folder both come from the file box, so that every registered path names a
// file the box lists. The folder tree can point elsewhere when its folder could not be listed
// (the box then stays on the folder it listed before); joining the tree's folder with the box's
// names would register files that were never offered.
void Form1::bulk_load(const RegisterSide& s) {
  bool& found = s.image ? st.img_found : st.txt_found;
  found = false;
  const QString folder = file_box->path();
  st.msg_answer =
      msgbox(folder + (s.image ? kImageLoadQuestion : kTextLoadQuestion), MsgButtons::OkCancel);
  if (st.msg_answer != MsgAnswer::Ok) return;
  const BulkKind kind = s.image ? BulkKind::Images : BulkKind::Texts;
  if (bulk_register(s.reg, kind, folder, readable_entries(*file_box), st.image_exts) > 0)
    found = true;
  if (!found) {
    show_notice(s.image ? kNoImage : kNoText);
    return;
  }
  show_notice(s.image ? kImageLoadDone : kTextLoadDone);
  s.view.arrows = true;
  sync_side(s);
  // The picture command enables copying but not opening; the text command enables searching and
  // opening but not copying, which waits for a selection.
  SideView::Commands& c = s.view.commands;
  c.clear_all = c.remove = true;
  if (s.image) {
    c.copy = true;
  } else {
    c.search = c.open = true;
  }
  sync_side(s);
  list_entries(s);
  // Only the picture command enables deleting (when allowed); the text command leaves it alone.
  if (s.image && st.options.delete_allowed) {
    c.delete_file = true;
    sync_side(s);
  }
  s.arrows[1]->setFocus();
}

void Form1::img_all_clear_Click() {
  clear_side(side(true));
}

void Form1::txt_all_clear_Click() {
  clear_side(side(false));
}

void Form1::clear_side(const RegisterSide& s) {
  st.msg_answer = msgbox(s.image ? kImageClearQuestion : kTextClearQuestion, MsgButtons::OkCancel);
  if (st.msg_answer != MsgAnswer::Ok) return;
  clear_register(s.reg);
  // A file of the other kind on display keeps its number and its path. Otherwise clearing the
  // texts also closes the search screen, and with it the find-next panel, which has nothing left
  // to search.
  if (!on_display(side(!s.image))) {
    clear_entry_marks();
    if (!s.image) {
      検索画面終了();
      if (form4()->isVisible()) form4()->hide();
    }
  }
  blank_pane(s);
  if (!s.image) result_view->set_text(QString());
  s.nav_started = false;
  s.view.pause = false;
  s.view.arrows = false;
  s.view.commands = {};
  sync_side(s);
  s.list->clear();
}

}  // namespace tarvex
