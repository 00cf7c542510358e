// Bulk registration of the folder on display, and clearing a whole register.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/classic_timer.h"
#include "registers/bulk_register.h"
#include "search/form4.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
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

void clear_numbers_and_labels(Form1& f) {
  f.number_box->clear();
  f.count_label->clear();
  for (QLabel* label : f.path_labels) label->clear();
}

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
  if (st.msg_answer != kAnswerOk) return;
  const BulkKind kind = s.image ? BulkKind::Images : BulkKind::Texts;
  if (bulk_register(s.reg, kind, folder, readable_entries(*file_box), st.image_exts) > 0)
    found = true;
  if (!found) {
    show_notice(s.image ? kNoImage : kNoText);
    return;
  }
  show_notice(s.image ? kImageLoadDone : kTextLoadDone);
  for (QPushButton* arrow : s.arrows) arrow->show();
  // The picture command enables copying but not opening; the text command enables searching and
  // opening but not copying, which waits for a selection.
  const QList<QAction*> enabled =
      s.image ? QList<QAction*>{s.clear_all, s.copy, s.remove} : s.entry_commands();
  for (QAction* a : enabled) a->setEnabled(true);
  list_entries(s);
  // Only the picture command enables deleting (when allowed); the text command leaves it alone.
  if (s.image && st.options.delete_allowed) s.delete_file->setEnabled(true);
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
  if (st.msg_answer != kAnswerOk) return;
  clear_register(s.reg);
  // A file of the other kind on display keeps its number and its path. Otherwise clearing the
  // texts also closes the search screen, and with it the find-next panel, which has nothing left
  // to search.
  if (!on_display(side(!s.image))) {
    clear_numbers_and_labels(*this);
    if (!s.image) {
      検索画面終了();
      if (form4()->isVisible()) form4()->hide();
    }
  }
  blank_pane(s);
  if (!s.image) result_view->set_text(QString());
  s.nav_started = false;
  s.pause->hide();
  for (QPushButton* arrow : s.arrows) arrow->hide();
  for (QAction* a : s.register_commands()) a->setEnabled(false);
  s.list->clear();
}

}  // namespace tarvex
