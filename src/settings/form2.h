#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace tarvex {

// The options dialog. It exists hidden from start-up to shutdown; its controls hold the dialog's
// values between openings, and three of them (the pattern box Text1, the fit check box Check2 and
// the deletion check box Check3) are the live store other parts of the window consult.
class Form2 final : public QDialog {
 public:
  explicit Form2(QWidget* parent = nullptr);

  QTabWidget* SSTab1 = nullptr;
  std::array<QPushButton*, 2> Command2{};  // 0 "Ｏ Ｋ", 1 "キャンセル"
  // Tab "全般".
  QGroupBox* Frame2 = nullptr;
  std::array<QRadioButton*, 3> Option1{};  // Lotus 1-2-3, Excel '97, 使用しない
  std::array<QLabel*, 3> Label2{};
  QGroupBox* Frame3 = nullptr;
  std::array<QLabel*, 4> Label3{};
  std::array<QLineEdit*, 2> Text2{};  // image and text interval, seconds
  QCheckBox* Check2 = nullptr;        // fit the picture to the pane
  QCheckBox* Check3 = nullptr;        // allow deleting files
  // Tab "表示するﾌｧｲﾙ".
  QGroupBox* Frame1 = nullptr;
  std::array<QCheckBox*, 4> Check1{};  // archive, hidden, read-only, system
  QLabel* Label1 = nullptr;
  QLineEdit* Text1 = nullptr;  // the file box's pattern
  // Tab "検索時の拡張子".
  QListWidget* List1 = nullptr;
  std::array<QPushButton*, 2> Command1{};  // 0 "追 加", 1 "削 除"
  QLabel* Label4 = nullptr;
  QLineEdit* Text3 = nullptr;

  // The selected option button, −1 while none is selected.
  int selected_option() const;
  // Selects option button `index`, or none for −1.
  void select_option(int index);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool fonts_applied_ = false;
};

}  // namespace tarvex
