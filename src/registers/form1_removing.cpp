// Removing entries from the registers and deleting files.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/error_text.h"
#include "platform/trash.h"
#include "registers/entry_removal.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <sys/stat.h>
#include <cerrno>

namespace tarvex {

namespace {

const QString kRemoveImageQuestion =
    QStringLiteral("登録した画像ファイル名を消去してもいいですか？");
const QString kRemoveTextQuestion =
    QStringLiteral("登録したテキストファイル名を消去してもいいですか？");
const QString kDeleteQuestion = QStringLiteral("を削除してもいいですか？");
const QString kNotOnDisplay = QStringLiteral("削除するファイルが表示されていません。");
const QString kNoTrashQuestion = QStringLiteral("ゴミ箱に移動できません。完全に削除しますか？");
const QString kNotDeleted = QStringLiteral("を削除できませんでした。");
const QString kNotConfirmed = QStringLiteral("の削除を行いましたが、結果を確認できませんでした。");

// Why there is no file to delete at `path`: nothing there, a folder, or something else.
QString missing_reason(const QString& path) {
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return error_text(errno);
  if (S_ISDIR(st.st_mode)) return error_text(EISDIR);
  return QStringLiteral("通常のファイルではありません。");
}

// True when no file, link or folder stands at `path`.
bool nothing_at(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT;
}

}  // namespace

void Form1::connect_removing_events() {
  connect(image_登録から削除, &QAction::triggered, this, [this] { image_登録から削除_Click(); });
  connect(text_登録から削除, &QAction::triggered, this, [this] { text_登録から削除_Click(); });
  connect(image_ファイル削除, &QAction::triggered, this, [this] { delete_img_file(); });
  connect(text_ファイル削除, &QAction::triggered, this, [this] { delete_txt_file(); });
}

Trash& Form1::trash() {
  if (platform_.trash != nullptr) return *platform_.trash;
  if (!own_trash_) own_trash_ = std::make_unique<Trash>();
  return *own_trash_;
}

void Form1::remove_img_entry() {
  remove_entry(side(true));
}

void Form1::remove_txt_entry() {
  remove_entry(side(false));
}

// The later entries move down; the backward step brings a neighbour into view, or the emptied
// register's side is blanked.
void Form1::remove_entry(const RegisterSide& s) {
  remove_current_entry(s.reg);
  file_box->refresh();
  list_entries(s);
  if (!s.reg.empty()) {
    if (s.image) {
      Command2_Click(0);
    } else {
      Command3_Click(0);
    }
    return;
  }
  for (QPushButton* arrow : s.arrows) arrow->hide();
  blank_pane(s);
  count_label->clear();
  number_box->clear();
  for (QLabel* label : path_labels) label->clear();
  // Unlike the image side, emptying the text register leaves clearing, searching and opening
  // enabled.
  const QList<QAction*> gone =
      s.image ? s.register_commands() : QList<QAction*>{s.copy, s.remove, s.delete_file};
  for (QAction* a : gone) a->setEnabled(false);
}

void Form1::image_登録から削除_Click() {
  remove_command(side(true));
}

void Form1::text_登録から削除_Click() {
  remove_command(side(false));
}

// The entry the path labels name is the one removed, and only while it is the current entry:
// a display started before its first picture, an entry just removed from a running display, or a
// file of the other kind on display leave nothing named, and nothing is removed.
void Form1::remove_command(const RegisterSide& s) {
  const QString path = path_labels[0]->text() + path_labels[1]->text() + path_labels[2]->text();
  if (!labels_name_current_entry(path, s.reg)) {
    msgbox(kNotOnDisplay, MsgButtons::Ok);
    return;
  }
  st.msg_answer =
      msgbox(s.image ? kRemoveImageQuestion : kRemoveTextQuestion, MsgButtons::OkCancel);
  if (st.msg_answer != kAnswerCancel) remove_entry(s);
}

void Form1::delete_img_file() {
  delete_register_file(true);
}

void Form1::delete_txt_file() {
  delete_register_file(false);
}

// Deletes the file the question names and nothing else: the path labels must name the current
// entry of the command's own register, the file must be a regular file or a link (a link goes,
// never its target), and it must still be the file it was when the question was asked. It goes
// to the desktop trash; only when no trash can take it, and the user agrees, is it deleted for
// good. The entry leaves the register only once the file has gone.
bool Form1::delete_register_file(bool image) {
  const Register& r = image ? st.img : st.txt;
  const QString path = path_labels[0]->text() + path_labels[1]->text() + path_labels[2]->text();
  if (!labels_name_current_entry(path, r)) {
    msgbox(kNotOnDisplay, MsgButtons::Ok);
    return false;
  }
  const std::optional<FileIdentity> asked_about = Trash::identity(path);
  st.msg_answer = msgbox(path + kDeleteQuestion, MsgButtons::YesNo);
  if (st.msg_answer == kAnswerNo) return false;
  auto fail = [this, &path](const QString& reason) {
    msgbox(path + kNotDeleted + QStringLiteral("\n\r") + reason, MsgButtons::Ok);
    return false;
  };
  if (!asked_about) return fail(missing_reason(path));
  RemoveResult result = trash().move_to_trash(path, *asked_about);
  if (result.status == RemoveResult::Status::NoTrash) {
    st.msg_answer = msgbox(kNoTrashQuestion, MsgButtons::YesNoDefaultNo);
    if (st.msg_answer != kAnswerYes) return false;
    result = trash().delete_for_good(path, *asked_about);
  }
  if (result.status == RemoveResult::Status::Unconfirmed) {
    // The file was moved or deleted, but what stands at its place now is not known for sure: the
    // user hears so, and the entry leaves the register only when nothing is there any more.
    msgbox(path + kNotConfirmed + QStringLiteral("\n\r") + result.reason, MsgButtons::Ok);
    if (!nothing_at(path)) return false;
  } else if (result.status != RemoveResult::Status::Done) {
    return fail(result.reason);
  }
  // The file has gone: now its entry leaves the register.
  if (image) {
    remove_img_entry();
  } else {
    remove_txt_entry();
  }
  return true;
}

}  // namespace tarvex
