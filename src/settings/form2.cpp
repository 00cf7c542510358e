#include "settings/form2.h"

#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/widget_twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace tarvex {

namespace {

template <typename W>
W* make(QWidget* parent, const QString& name, int left, int top, int width, int height) {
  W* w = new W(parent);
  w->setObjectName(name);
  w->setFont(design_font(kFontPGothic));
  set_twips_geometry(w, left, top, width, height);
  return w;
}

QString indexed(const char* name, int i) {
  return QStringLiteral("%1(%2)").arg(QString::fromUtf8(name)).arg(i);
}

}  // namespace

Form2::Form2(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(kAppTitle);
  setModal(true);
  setFixedSize(7320 / 15, 3660 / 15);

  SSTab1 = make<QTabWidget>(this, QStringLiteral("SSTab1"), 255, 240, 5295, 3000);
  auto* general = new QWidget;
  auto* files = new QWidget;
  auto* exts = new QWidget;
  SSTab1->addTab(general, QStringLiteral("全般"));
  SSTab1->addTab(files, QStringLiteral("表示するﾌｧｲﾙ"));
  SSTab1->addTab(exts, QStringLiteral("検索時の拡張子"));
  SSTab1->setCurrentIndex(2);

  Command2[0] = make<QPushButton>(this, indexed("Command2", 0), 5760, 615, 1215, 375);
  Command2[0]->setText(QStringLiteral("Ｏ Ｋ"));
  Command2[1] = make<QPushButton>(this, indexed("Command2", 1), 5760, 1080, 1215, 375);
  Command2[1]->setText(QStringLiteral("キャンセル"));

  // The tab pages start below the tab row; the design places controls relative to the whole
  // tab control, so the page offset (about 360 twips) is taken off.
  constexpr int kPageTop = 360;

  Frame2 = make<QGroupBox>(general, QStringLiteral("Frame2"), 105, 585 - kPageTop, 2175, 1455);
  Frame2->setTitle(QStringLiteral("表計算ＡＰＰの選択"));
  const char* option_texts[] = {"Lotus 1-2-3", "Excel '97", "使用しない"};
  for (int i = 0; i < 3; ++i) {
    Option1[i] = make<QRadioButton>(Frame2, indexed("Option1", i), 120, 360 * (i + 1), 255, 255);
    Label2[i] = make<QLabel>(Frame2, indexed("Label2", i), 420, 360 * (i + 1), 1680, 255);
    Label2[i]->setText(QString::fromUtf8(option_texts[i]));
    Label2[i]->setBuddy(Option1[i]);
  }

  Frame3 = make<QGroupBox>(general, QStringLiteral("Frame3"), 2505, 585 - kPageTop, 2055, 1455);
  Frame3->setTitle(QStringLiteral("表示間隔"));
  const char* row_texts[] = {"イメージ", "テキスト"};
  for (int i = 0; i < 2; ++i) {
    const int top = 400 + 480 * i;
    Label3[i] = make<QLabel>(Frame3, indexed("Label3", i), 120, top, 855, 255);
    Label3[i]->setText(QString::fromUtf8(row_texts[i]));
    Text2[i] = make<QLineEdit>(Frame3, indexed("Text2", i), 1000, top - 30, 615, 315);
    Label3[i + 2] = make<QLabel>(Frame3, indexed("Label3", i + 2), 1680, top, 255, 255);
    Label3[i + 2]->setText(QStringLiteral("秒"));
  }

  Check2 = make<QCheckBox>(general, QStringLiteral("Check2"), 225, 2160 - kPageTop, 4600, 300);
  Check2->setText(QStringLiteral("イメージの表示を枠にあわせる。"));
  Check3 = make<QCheckBox>(general, QStringLiteral("Check3"), 210, 2490 - kPageTop, 4600, 300);
  Check3->setText(QStringLiteral("ファイルの削除を出来るようにする。"));

  Frame1 = make<QGroupBox>(files, QStringLiteral("Frame1"), 225, 720 - kPageTop, 4215, 1215);
  Frame1->setTitle(QStringLiteral("ファイル属性"));
  const char* attribute_texts[] = {"アーカイブ", "隠しファイル", "読みとり専用", "システム"};
  const int attribute_left[] = {240, 240, 2280, 2280};
  const int attribute_top[] = {360, 720, 360, 720};
  for (int i = 0; i < 4; ++i) {
    Check1[i] = make<QCheckBox>(Frame1, indexed("Check1", i), attribute_left[i], attribute_top[i],
                                1800, 300);
    Check1[i]->setText(QString::fromUtf8(attribute_texts[i]));
  }
  Label1 = make<QLabel>(files, QStringLiteral("Label1"), 465, 2280 - kPageTop, 1215, 255);
  Label1->setText(QStringLiteral("表示ファイル"));
  Text1 = make<QLineEdit>(files, QStringLiteral("Text1"), 1785, 2200 - kPageTop, 1455, 315);
  Text1->setText(QStringLiteral("*.*"));

  List1 = make<QListWidget>(exts, QStringLiteral("List1"), 105, 720 - kPageTop, 1455, 1680);
  Command1[0] = make<QPushButton>(exts, indexed("Command1", 0), 3345, 720 - kPageTop, 1335, 420);
  Command1[0]->setText(QStringLiteral("追 加"));
  Command1[1] = make<QPushButton>(exts, indexed("Command1", 1), 3345, 1200 - kPageTop, 1335, 420);
  Command1[1]->setText(QStringLiteral("削 除"));
  Label4 = make<QLabel>(exts, QStringLiteral("Label4"), 1785, 2040 - kPageTop, 1500, 255);
  Label4->setText(QStringLiteral("追加する拡張子"));
  Text3 = make<QLineEdit>(exts, QStringLiteral("Text3"), 3345, 1920 - kPageTop, 1215, 375);
}

void Form2::showEvent(QShowEvent* event) {
  // The attribute check boxes' fixed-width font is loaded when the dialog is first shown, not
  // at start-up, when nobody can see it yet.
  if (!fonts_applied_) {
    for (QCheckBox* box : Check1) box->setFont(design_font(kFontGothic));
    fonts_applied_ = true;
  }
  QDialog::showEvent(event);
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

}  // namespace tarvex
