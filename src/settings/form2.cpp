#include "settings/form2.h"

#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "platform/widget_twips.h"
#include "settings/conversions.h"
#include "settings/option_rules.h"
#include "settings/setting_keys.h"
#include "settings/settings_file.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>

namespace tarvex {

namespace {

constexpr int kEnterKey = 13;

}  // namespace

template <typename W>
W* Form2::on_page(QWidget* page, const QString& name, int left, int top, int width, int height) {
  W* w = make_design_control<W>(page, name, left, top, width, height);
  page_controls_.push_back({w, QRect(left, top, width, height)});
  return w;
}

Form2::Form2(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(kAppTitle);
  setModal(true);
  // A fixed-size dialog: a caption with a close button, nothing to minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFont(design_font(kFontPGothic));
  setFixedSize(twips_to_px(7320), twips_to_px(3660));

  SSTab1 = make_design_control<QTabWidget>(this, QStringLiteral("SSTab1"), 255, 240, 5295, 3000);
  // Three tabs side by side in one row, none hidden behind scroll buttons.
  SSTab1->tabBar()->setExpanding(true);
  SSTab1->setUsesScrollButtons(false);
  auto* general = new QWidget;
  auto* files = new QWidget;
  auto* exts = new QWidget;
  SSTab1->addTab(general, QStringLiteral("全般"));
  SSTab1->addTab(files, QStringLiteral("表示するﾌｧｲﾙ"));
  SSTab1->addTab(exts, QStringLiteral("検索時の拡張子"));
  // The extensions' tab is in front the first time; afterwards the tab last chosen stays.
  SSTab1->setCurrentIndex(2);

  Command2[0] =
      make_design_control<QPushButton>(this, indexed_name("Command2", 0), 5760, 615, 1215, 375);
  Command2[0]->setText(QStringLiteral("Ｏ Ｋ"));
  Command2[1] =
      make_design_control<QPushButton>(this, indexed_name("Command2", 1), 5760, 1080, 1215, 375);
  Command2[1]->setText(QStringLiteral("キャンセル"));

  // Tab "全般".
  Frame2 = on_page<QGroupBox>(general, QStringLiteral("Frame2"), 360, 585, 2175, 1455);
  Frame2->setTitle(QStringLiteral("表計算ＡＰＰの選択"));
  const char* option_texts[] = {"Lotus 1-2-3", "Excel '97", "使用しない"};
  for (int i = 0; i < 3; ++i) {
    // The option buttons share the frame, which makes them exclusive; none is selected yet.
    Option1[i] = make_design_control<QRadioButton>(Frame2, indexed_name("Option1", i), 120,
                                                   360 * (i + 1) - 30, 285, 285);
    Label2[i] = make_design_control<QLabel>(Frame2, indexed_name("Label2", i), 450, 360 * (i + 1),
                                            1650, 255);
    Label2[i]->setText(QString::fromUtf8(option_texts[i]));
    Label2[i]->setBuddy(Option1[i]);
  }

  Frame3 = on_page<QGroupBox>(general, QStringLiteral("Frame3"), 2760, 585, 2055, 1455);
  Frame3->setTitle(QStringLiteral("表示間隔"));
  const char* row_texts[] = {"イメージ", "テキスト"};
  for (int i = 0; i < 2; ++i) {
    const int top = 420 + 480 * i;
    Label3[i] = make_design_control<QLabel>(Frame3, indexed_name("Label3", i), 120, top, 855, 255);
    Label3[i]->setText(QString::fromUtf8(row_texts[i]));
    Text2[i] =
        make_design_control<QLineEdit>(Frame3, indexed_name("Text2", i), 1000, top - 45, 615, 345);
    Label3[i + 2] =
        make_design_control<QLabel>(Frame3, indexed_name("Label3", i + 2), 1680, top, 255, 255);
    Label3[i + 2]->setText(QStringLiteral("秒"));
  }

  Check2 = on_page<QCheckBox>(general, QStringLiteral("Check2"), 480, 2160, 4500, 300);
  Check2->setText(QStringLiteral("イメージの表示を枠にあわせる。"));
  Check3 = on_page<QCheckBox>(general, QStringLiteral("Check3"), 465, 2490, 4500, 300);
  Check3->setText(QStringLiteral("ファイルの削除を出来るようにする。"));

  // Tab "表示するﾌｧｲﾙ". The attribute boxes sit in the frame: their design places, which count
  // from the tab control, less the frame's own place.
  Frame1 = on_page<QGroupBox>(files, QStringLiteral("Frame1"), 480, 720, 4215, 1215);
  Frame1->setTitle(QStringLiteral("ファイル属性"));
  const char* attribute_texts[] = {"アーカイブ", "隠しファイル", "読みとり専用", "システム"};
  const int attribute_left[] = {720, 720, 2760, 2760};
  const int attribute_top[] = {1080, 1440, 1080, 1440};
  for (int i = 0; i < 4; ++i) {
    Check1[i] =
        make_design_control<QCheckBox>(Frame1, indexed_name("Check1", i), attribute_left[i] - 480,
                                       attribute_top[i] - 720, 1800, 300);
    Check1[i]->setText(QString::fromUtf8(attribute_texts[i]));
  }
  Label1 = on_page<QLabel>(files, QStringLiteral("Label1"), 720, 2280, 1215, 255);
  Label1->setText(QStringLiteral("表示ファイル"));
  Text1 = on_page<QLineEdit>(files, QStringLiteral("Text1"), 2040, 2200, 855, 285);
  Text1->setText(QStringLiteral("*.*"));

  // Tab "検索時の拡張子".
  List1 = on_page<QListWidget>(exts, QStringLiteral("List1"), 360, 720, 1455, 1680);
  Command1[0] = on_page<QPushButton>(exts, indexed_name("Command1", 0), 3600, 720, 1335, 420);
  Command1[0]->setText(QStringLiteral("追 加"));
  Command1[1] = on_page<QPushButton>(exts, indexed_name("Command1", 1), 3600, 1200, 1335, 420);
  Command1[1]->setText(QStringLiteral("削 除"));
  Label4 = on_page<QLabel>(exts, QStringLiteral("Label4"), 2040, 2040, 1500, 255);
  Label4->setText(QStringLiteral("追加する拡張子"));
  Text3 = on_page<QLineEdit>(exts, QStringLiteral("Text3"), 3600, 1920, 1215, 375);

  // Enter belongs to the extension box ("追 加"), never to a default button of the dialog.
  for (QPushButton* b : {Command1[0], Command1[1], Command2[0], Command2[1]}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  for (int i = 0; i < 2; ++i) {
    connect(Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    connect(Command2[i], &QPushButton::clicked, this, [this, i] { Command2_Click(i); });
  }
  connect(Text3, &QLineEdit::returnPressed, this, [this] { Text3_KeyPress(kEnterKey); });

  place_page_controls();
}

void Form2::place_page_controls() {
  // A page starts below the tab row and inside the tab control's frame; the design counts from
  // the tab control's corner, so the page's own place is taken off.
  for (const PagePlacement& p : page_controls_) {
    const QWidget* page = p.widget->parentWidget();
    const QPoint origin = page->mapTo(SSTab1, QPoint(0, 0));
    QPoint offset(px_to_twips(origin.x()), px_to_twips(origin.y()));
    // Before the tab control has laid out its pages, assume the usual tab row.
    if (offset.y() <= 0) offset = QPoint(30, 360);
    set_twips_geometry(p.widget, p.twips.left() - offset.x(), p.twips.top() - offset.y(),
                       p.twips.width(), p.twips.height());
  }
}

void Form2::showEvent(QShowEvent* event) {
  // The attribute check boxes' fixed-width font is loaded when the dialog is first shown, not
  // at start-up, when nobody can see it yet.
  if (!fonts_applied_) {
    for (QCheckBox* box : Check1) box->setFont(design_font(kFontGothic));
    fonts_applied_ = true;
  }
  QDialog::showEvent(event);
  place_page_controls();
  opened_option_ = selected_option();
}

void Form2::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  place_page_controls();
}

int Form2::selected_option() const {
  for (int i = 0; i < 3; ++i) {
    if (Option1[i]->isChecked()) return i;
  }
  return -1;
}

void Form2::select_option(int index) {
  if (index >= 0 && index < 3) {
    Option1[index]->setChecked(true);
    return;
  }
  // Auto-exclusive buttons refuse to clear the last checked one; lift that for a moment.
  for (QRadioButton* b : Option1) b->setAutoExclusive(false);
  for (QRadioButton* b : Option1) b->setChecked(false);
  for (QRadioButton* b : Option1) b->setAutoExclusive(true);
}

void Form2::fill_from(const SettingsFile& settings, CheckReading reading) {
  using namespace keys;
  // The intervals as their leading numbers: an empty value shows as 0, 0.50 as 0.5.
  const QString* interval_keys[] = {&kImage, &kText};
  for (int i = 0; i < 2; ++i) {
    Text2[i]->setText(
        shortest_decimal(leading_number(settings.ini_read(kDisplayTime, *interval_keys[i]))));
    filled_intervals_[i] = Text2[i]->text();
  }

  const QString application = settings.ini_read(kApplicationSection, kApplication);
  for (int i = 0; i < 3; ++i) {
    if (application == kApplicationNames[i]) {
      select_option(i);
      break;
    }
  }

  const FileAttributes current = target_.attributes ? target_.attributes() : FileAttributes{};
  const bool current_switches[] = {current.archive, current.hidden, current.read_only,
                                   current.system};
  const QString* attribute_keys[] = {&kArchive, &kHidden, &kReadOnly, &kSystem};
  for (int i = 0; i < 4; ++i) {
    const std::optional<bool> stored =
        truth_value(settings.ini_read(kAttributes, *attribute_keys[i]));
    Check1[i]->setChecked(stored.value_or(current_switches[i]));
  }

  Text1->setText(settings.ini_read(kAttributes, kPattern));

  auto checked = [&settings, reading](const QString& section, const QString& key) {
    const QString value = settings.ini_read(section, key);
    if (reading == CheckReading::NumberOne) return leading_number(value) == 1.0;
    return truth_value(value) == std::optional<bool>(true);
  };
  Check2->setChecked(checked(kFitSection, kFit));
  Check3->setChecked(checked(kDeleteSection, kDelete));
}

void Form2::Command1_Click(int index) {
  if (index == 0) {
    QStringList entries;
    for (int i = 0; i < List1->count(); ++i) entries.append(List1->item(i)->text());
    if (const std::optional<QString> entry = extension_to_add(entries, Text3->text())) {
      List1->addItem(*entry);
    }
    // The typed text stays in the box.
    return;
  }
  const int selected = List1->currentRow();
  if (selected >= 0 && List1->item(selected)->isSelected()) delete List1->takeItem(selected);
}

void Form2::Text3_KeyPress(int key_ascii) {
  if (key_ascii == kEnterKey) Command1_Click(0);
}

void Form2::Command2_Click(int index) {
  if (index == 0) {
    const QString pattern = Text1->text();
    if (target_.set_pattern) target_.set_pattern(pattern);
    FileAttributes attributes;
    attributes.archive = Check1[0]->checkState() != Qt::Unchecked;
    attributes.hidden = Check1[1]->checkState() != Qt::Unchecked;
    attributes.read_only = Check1[2]->checkState() != Qt::Unchecked;
    attributes.system = Check1[3]->checkState() != Qt::Unchecked;
    if (target_.set_attributes) target_.set_attributes(attributes);
    if (target_.set_pattern) target_.set_pattern(pattern);
    for (int i = 0; i < 2; ++i) {
      const IntervalAtOk outcome = interval_at_ok(Text2[i]->text(), filled_intervals_[i]);
      Text2[i]->setText(outcome.box);
      if (outcome.timer_ms && target_.set_interval) target_.set_interval(i, *outcome.timer_ms);
    }
    done(QDialog::Accepted);
    return;
  }

  // Cancel: the dialog shows the settings file's values again. The extension list takes all
  // eleven slots, empty ones included, so each extension keeps its slot.
  if (settings_) {
    // A name in the file that matches no choice leaves the choice the dialog opened with.
    select_option(opened_option_);
    List1->clear();
    for (int slot = 0; slot < 11; ++slot) {
      List1->addItem(settings_->ini_read(keys::kSearchExtensions, keys::slot_key(slot)));
    }
    fill_from(*settings_, CheckReading::Truth);
  }
  done(QDialog::Rejected);
}

void Form2::reject() {
  Command2_Click(1);
}

}  // namespace tarvex
