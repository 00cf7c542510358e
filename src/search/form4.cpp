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
    set_twips_geometry(Command1[i], 1560 + 1800 * i, 1140, 1455, 420);
  }
}

}  // namespace tarvex
