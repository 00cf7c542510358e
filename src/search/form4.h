#pragma once

#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvex {

// The search-string dialog: the modal input of the register search (Input) and the find-next
// panel over an opened hit (FindNext).
class Form4 final : public QDialog {
 public:
  explicit Form4(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;
  QLineEdit* Text1 = nullptr;
  std::array<QPushButton*, 2> Command1{};  // 0 "Ｏ Ｋ", 1 "キャンセル"
  // What the dialog serves as: none until it first opens.
  enum class DialogMode { None, Input, FindNext };
  DialogMode dialog_mode = DialogMode::None;

  // What the panel's buttons call in the main window (FindNext): find the next occurrence of the
  // string, and end the search screen.
  std::function<void(const QString& text)> find_next;
  std::function<void()> end_search;
  // Input: called with the string when "Ｏ Ｋ" is pressed, before the dialog closes.
  std::function<void(const QString& text)> accepting;

  // Input: shows the dialog modally and returns the entered string ("" after "キャンセル").
  QString input_form(const QString& sel_value);
  // FindNext: shows the find-next panel above the other windows without taking the focus.
  void 文字列検索();
  // Keeps the panel above every other window, or lets a message box come in front of it.
  void set_topmost(bool on);

  void Command1_Click(int index);

 protected:
  // Escape and the window's close button act as "キャンセル".
  void reject() override;
};

}  // namespace tarvex
