#pragma once

#include <QString>

class QWidget;

namespace tarvex {

// The application's title: the caption of every window and the title of every message box.
inline const QString kAppTitle = QStringLiteral("Tarvex");

// YesNoDefaultNo: a question whose safe answer is No, so that Enter does not confirm it.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoDefaultNo };

// The button the user answered a message box with. The numbers are the classic message-box
// constants, so an answer printed by a test reads as the same constant everywhere.
enum class MsgAnswer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// The one way a modal message reaches the user: the exact text and the buttons go in, the answer
// comes out. The title is always kAppTitle.
class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual MsgAnswer msgbox(const QString& text, MsgButtons buttons) = 0;
};

// Production: a modal QMessageBox over `parent`. The text's "\n\r" pairs are shown as one line
// break; the text handed in is never changed.
class QtMessageService final : public MessageService {
 public:
  explicit QtMessageService(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }
  MsgAnswer msgbox(const QString& text, MsgButtons buttons) override;

 private:
  QWidget* parent_;
};

}  // namespace tarvex
