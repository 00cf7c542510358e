#pragma once

#include "browse/file_filter.h"

#include <QDialog>
#include <QRect>

#include <array>
#include <functional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace tarvex {

class SettingsFile;

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

  // What OK changes in the main window: the file box's pattern and switches, and the intervals
  // of the continuous-display timers (0 images, 1 texts) in milliseconds; and the switches as
  // the file box has them now.
  struct Target {
    std::function<FileAttributes()> attributes;
    std::function<void(const QString& pattern)> set_pattern;
    std::function<void(const FileAttributes& attributes)> set_attributes;
    std::function<void(int timer, long long ms)> set_interval;
  };
  void set_target(Target target) { target_ = std::move(target); }
  // The settings file Cancel reads the dialog back from.
  void set_settings(const SettingsFile* settings) { settings_ = settings; }

  // The selected option button, −1 while none is selected.
  int selected_option() const;
  // Selects option button `index`, or none for −1.
  void select_option(int index);

  // How a stored "1"/"0" reads into Check2 and Check3: on opening only the number 1 checks a
  // box; Cancel checks it for any true value.
  enum class CheckReading { NumberOne, Truth };
  // Fills every control but the extension list from the settings file: the interval boxes, the
  // spreadsheet choice (a name that matches none leaves it as it was), the attribute boxes, the
  // pattern box and the two check boxes. An attribute whose stored text is no truth value (no
  // file yet, a hand-edited slip) shows the file box's switch as it is, so OK keeps it.
  void fill_from(const SettingsFile& settings, CheckReading reading);

  // Events.
  void Command1_Click(int index);  // 0 add the typed extension, 1 remove the selected one
  void Command2_Click(int index);  // 0 OK, 1 Cancel
  void Text3_KeyPress(int key_ascii);

  // Cancel: the window's close button and Escape leave the dialog as Cancel does.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Places a control of a tab page from its design position, which counts from the tab
  // control's corner, tab row included.
  template <typename W>
  W* on_page(QWidget* page, const QString& name, int left, int top, int width, int height);
  void place_page_controls();

  struct PagePlacement {
    QWidget* widget;
    QRect twips;
  };
  std::vector<PagePlacement> page_controls_;
  Target target_;
  const SettingsFile* settings_ = nullptr;
  // The interval boxes as last filled, put back when OK meets a text that is no interval.
  std::array<QString, 2> filled_intervals_;
  // The spreadsheet choice as the dialog opened with it, put back by Cancel when the file names
  // none (a first start).
  int opened_option_ = -1;
  bool fonts_applied_ = false;
};

}  // namespace tarvex
