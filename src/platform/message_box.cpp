#include "platform/message_box.h"

#include <QMessageBox>

namespace tarvex {

MsgAnswer QtMessageService::msgbox(const QString& text, MsgButtons buttons) {
  QString shown = text;
  shown.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  QMessageBox box(QMessageBox::NoIcon, kAppTitle, shown, QMessageBox::NoButton, parent_);
  switch (buttons) {
    case MsgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MsgButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MsgButtons::YesNoDefaultNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return MsgAnswer::Cancel;
    case QMessageBox::Yes:
      return MsgAnswer::Yes;
    case QMessageBox::No:
      return MsgAnswer::No;
    default:
      return MsgAnswer::Ok;
  }
}

}  // namespace tarvex
