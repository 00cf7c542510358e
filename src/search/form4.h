#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvex {

// The search-string dialog: the modal input of the register search (mode 1) and the find-next
// panel over an opened hit (mode 2).
class Form4 final : public QDialog {
 public:
  explicit Form4(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;
  QLineEdit* Text1 = nullptr;
  std::array<QPushButton*, 2> Command1{};  // 0 "Ｏ Ｋ", 1 "キャンセル"
  int dialog_mode = 0;
};

}  // namespace tarvex
