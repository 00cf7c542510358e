// Bulk registration of the folder on display, and clearing a whole register.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/classic_timer.h"
#include "registers/bulk_register.h"
#include "search/form4.h"
#include "settings/form2.h"

#include <QAction>
#include <QCheckBox>
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
  f.Text1->clear();
  f.Label6->clear();
  for (QLabel* label : f.Label4) label->clear();
}

}  // namespace

void Form1::connect_bulk_events() {
  connect(img_all_load, &QAction::triggered, this, [this] { img_all_load_Click(); });
  connect(txt_all_load, &QAction::triggered, this, [this] { txt_all_load_Click(); });
  connect(img_all_clear, &QAction::triggered, this, [this] { img_all_clear_Click(); });
  connect(txt_all_clear, &QAction::triggered, this, [this] { txt_all_clear_Click(); });
  ロード終了表示->set_handler([this] { ロード終了表示_Timer(); });
}

// The names and the folder both come from the file box, so that every registered path names a
// file the box lists. The folder tree can point elsewhere when its folder could not be listed
// (the box then stays on the folder it listed before); joining the tree's folder with the box's
// names would register files that were never offered.
void Form1::img_all_load_Click() {
  st.img_found = 0;
  const QString folder = File1->path();
  st.msg_answer = msgbox(folder + kImageLoadQuestion, MsgButtons::OkCancel);
  if (st.msg_answer != kAnswerOk) return;
  if (bulk_register(st.img, BulkKind::Images, folder, readable_entries(*File1), st.image_exts) > 0)
    st.img_found = 1;
  if (st.img_found == 1) {
    show_notice(kImageLoadDone);
    Command2[0]->show();
    Command2[1]->show();
    img_all_clear->setEnabled(true);
    画像のコピー->setEnabled(true);
    image_登録から削除->setEnabled(true);
    Img_File_List();
    if (form2()->Check3->isChecked()) image_ファイル削除->setEnabled(true);
    Command2[1]->setFocus();
  } else {
    show_notice(kNoImage);
  }
}

void Form1::txt_all_load_Click() {
  st.txt_found = 0;
  const QString folder = File1->path();
  st.msg_answer = msgbox(folder + kTextLoadQuestion, MsgButtons::OkCancel);
  if (st.msg_answer != kAnswerOk) return;
  if (bulk_register(st.txt, BulkKind::Texts, folder, readable_entries(*File1), st.image_exts) > 0)
    st.txt_found = 1;
  if (st.txt_found == 1) {
    show_notice(kTextLoadDone);
    Command3[0]->show();
    Command3[1]->show();
    txt_all_clear->setEnabled(true);
    txt_kensaku->setEnabled(true);
    txt_file_open->setEnabled(true);
    text_登録から削除->setEnabled(true);
    Txt_file_list();
    Command3[1]->setFocus();
  } else {
    show_notice(kNoText);
  }
}

void Form1::img_all_clear_Click() {
  st.msg_answer = msgbox(kImageClearQuestion, MsgButtons::OkCancel);
  if (st.msg_answer != kAnswerOk) return;
  clear_register(st.img);
  // A text on display keeps its number and its path.
  if (RichTextBox1->isHidden()) clear_numbers_and_labels(*this);
  Image1->clear_picture();
  st.img_nav_started = 0;
  for (QPushButton* b : {Command1[0], Command2[0], Command2[1]}) b->hide();
  for (QAction* a :
       {img_all_clear, 画像のコピー, image_登録から削除, image_ファイル削除, img_file_open}) {
    a->setEnabled(false);
  }
  Img_List->clear();
}

void Form1::txt_all_clear_Click() {
  st.msg_answer = msgbox(kTextClearQuestion, MsgButtons::OkCancel);
  if (st.msg_answer != kAnswerOk) return;
  clear_register(st.txt);
  // A picture on display keeps its number and its path; otherwise the search screen closes too,
  // and with it the find-next panel, which has nothing left to search.
  if (Image1->isHidden()) {
    clear_numbers_and_labels(*this);
    検索画面終了();
    if (form4()->isVisible()) form4()->hide();
  }
  RichTextBox1->set_text(QString());
  RichTextBox2->set_text(QString());
  st.txt_nav_started = 0;
  for (QPushButton* b : {Command1[1], Command3[0], Command3[1]}) b->hide();
  for (QAction* a :
       {txt_all_clear, txt_kensaku, txt_file_open, コピー, text_登録から削除, text_ファイル削除}) {
    a->setEnabled(false);
  }
  Txt_List->clear();
}

}  // namespace tarvex
