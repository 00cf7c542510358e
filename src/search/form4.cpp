#include "search/form4.h"

#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/widget_twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tarvex {

Form4::Form4(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(kAppTitle);
  setFixedSize(5400 / 15, 1800 / 15);

  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(design_font(kFontMaruGothic));
  Label1->setText(QStringLiteral("検索文字を入れてください"));
  set_twips_geometry(Label1, 240, 180, 4800, 300);

  Text1 = new QLineEdit(this);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setFont(design_font(kFontPGothic));
  set_twips_geometry(Text1, 240, 600, 4800, 345);

  const char* captions[] = {"Ｏ Ｋ", "キャンセル"};
  for (int i = 0; i < 2; ++i) {
    Command1[i] = new QPushButton(QString::fromUtf8(captions[i]), this);
    Command1[i]->setObjectName(QStringLiteral("Command1(%1)").arg(i));
    Command1[i]->setFont(design_font(kFontPGothic));
    // Enter is handled by the text box alone, so that it presses "Ｏ Ｋ" exactly once.
    Command1[i]->setAutoDefault(false);
    Command1[i]->setDefault(false);
    set_twips_geometry(Command1[i], 1560 + 1800 * i, 1140, 1455, 420);
    connect(Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
  }
  connect(Text1, &QLineEdit::returnPressed, this, [this] { Command1_Click(0); });
}

QString Form4::input_form(const QString& sel_value) {
  dialog_mode = DialogMode::Input;
  if (!sel_value.isEmpty()) Text1->setText(sel_value);
  set_topmost(false);
  setModal(true);
  exec();
  return Text1->text();
}

void Form4::文字列検索() {
  dialog_mode = DialogMode::FindNext;
  setModal(false);
  set_topmost(true);
}

void Form4::set_topmost(bool on) {
  const bool shown = isVisible();
  // The find-next panel never takes the focus from the main window, not even while it steps
  // back behind a message; the modal input does.
  setAttribute(Qt::WA_ShowWithoutActivating, dialog_mode == DialogMode::FindNext);
  // Changing the flags hides the window; show it again without taking the focus.
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != on)
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (on || shown) show();
}

void Form4::Command1_Click(int index) {
  if (index == 0) {
    if (dialog_mode == DialogMode::FindNext) {
      if (find_next) find_next(Text1->text());
      return;
    }
    if (accepting) accepting(Text1->text());
    Text1->setFocus();
    hide();
    return;
  }
  if (dialog_mode == DialogMode::FindNext) {
    Text1->setFocus();
    hide();
    if (end_search) end_search();
    return;
  }
  Text1->clear();
  Text1->setFocus();
  hide();
}

void Form4::reject() {
  Command1_Click(1);
}

}  // namespace tarvex
