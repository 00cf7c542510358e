// Stepping through the registers on the real window with real files: the lists and the number
// box, the mode switch, the arrows and the slideshow ticks, the missing-file prompt, removal and
// deletion into a temporary trash.

#include "app/main_window.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "platform/classic_timer.h"
#include "platform/trash.h"
#include "slideshow/arrow_icons.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const QString kMissing = QStringLiteral("が見つかりません！ 登録から削除しますか？");
const QString kNotOnDisplay = QStringLiteral("削除するファイルが表示されていません。");
const QString kNoTrash = QStringLiteral("ゴミ箱に移動できません。完全に削除しますか？");
const QString kAskDelete = QStringLiteral("を削除してもいいですか？");
const QString kNotDeleted = QStringLiteral("を削除できませんでした。\n\r");

void write_picture(const QString& path, QColor colour, int w = 40, int h = 30) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  QVERIFY(QImageWriter(path, "bmp").write(image));
}

QString labels(const Form1& f) {
  return f.Label4[0]->text() + f.Label4[1]->text() + f.Label4[2]->text();
}

// A shown window with `images` pictures and `texts` text files registered through the display
// dispatcher (the last one shown is a text when there are texts). It deletes into a trash in a
// temporary folder; `volume(path)` makes `path` the top of another file system for it.
struct Window {
  QTemporaryDir trash_root;
  TrashConfig config;
  Trash trash;
  FormFixture fx;
  QStringList images, texts;
  Form1* f = nullptr;

  explicit Window(int images_count, int texts_count) {
    config.data_home = trash_root.path() + "/share";
    trash = Trash(config);
    fx.write_settings(
        QStringLiteral("[最大ファイル数]\nファイル数=20\n[ファイルの削除]\nファイルの削除=1\n"));
    fx.trash = &trash;
    f = &fx.make(false);
    f->show();
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    for (int i = 0; i < images_count; ++i) {
      images.append(fx.folder() + QStringLiteral("/pics/p%1.bmp").arg(i));
      write_picture(images.last(), colours[i % 6], 40 + i, 30);
      f->ファイルの表示(images.last(), 1);
    }
    for (int i = 0; i < texts_count; ++i) {
      texts.append(fx.write_file(QStringLiteral("docs/t%1.txt").arg(i),
                                 QByteArray("text ") + char('0' + i)));
      f->ファイルの表示(texts.last(), 1);
    }
  }
  void volume(const QString& top) {
    config.volume_root = [top](const QString& p) {
      return p.startsWith(top) ? top : QStringLiteral("/");
    };
    trash = Trash(config);
  }
  Form1& form() { return *f; }
  bool messages_done() const { return fx.messages.done(); }
  QString report() const { return fx.messages.report(); }
};

// The picture on display has the colour of the file it came from.
QColor shown_colour(const Form1& f) {
  const QImage& p = f.Image1->picture();
  return p.isNull() ? QColor() : p.pixelColor(1, 1);
}

}  // namespace

class TestSteppingForm final : public QObject {
  Q_OBJECT
 private slots:
  void mode_switch_data();
  void mode_switch();
  void pause_and_resume();
  void slideshow_runs_on_its_timer();
  void tick_steps_data();
  void tick_steps();
  void arrows_step_with_the_full_register_rule();
  void copy_rule_after_arrow_step_only();
  void list_selection_data();
  void list_selection();
  void number_box_data();
  void number_box();
  void number_box_focus_stops_the_slideshow();
  void registered_names_menu();
  void missing_file_data();
  void missing_file();
  void missing_text_on_tick();
  void ticks_wait_while_a_message_is_open();
  void dispatcher_restores_before_its_message();
  void prefetched_picture_only_when_unchanged();
  void remove_commands_data();
  void remove_commands();
  void removing_the_only_entry_blanks_its_side();
  void delete_into_the_trash_data();
  void delete_into_the_trash();
  void delete_refusals_data();
  void delete_refusals();
  void text_step_through_the_spreadsheet_preview();
  void keyboard_shortcuts();
  void arrow_pictures_are_sharp_and_mirrored();
};

// Each row starts from 3 images and 2 texts registered (or none of a kind), the text pane on
// display, and runs a list of actions.
void TestSteppingForm::mode_switch_data() {
  QTest::addColumn<int>("images");
  QTest::addColumn<int>("texts");
  QTest::addColumn<QStringList>("actions");
  QTest::addColumn<QString>("checks");  // Check1(0), Check1(1)
  QTest::addColumn<QString>("timers");  // 連続画像, 連続テキスト enabled
  QTest::addColumn<QString>("pauses");  // Command1(0), Command1(1) visible
  QTest::addColumn<QString>("arrows");  // Command2 pair, Command3 pair visible
  // clang-format off
  QTest::newRow("check images")                     << 3 << 2 << QStringList{"check0"}                     << "10" << "10" << "10" << "10";
  QTest::newRow("check images, none registered")    << 0 << 2 << QStringList{"check0"}                     << "00" << "00" << "00" << "01";
  QTest::newRow("check texts")                      << 3 << 2 << QStringList{"check1"}                     << "01" << "01" << "01" << "01";
  QTest::newRow("texts while images run")           << 3 << 2 << QStringList{"check0", "check1"}           << "01" << "01" << "01" << "01";
  QTest::newRow("images while texts run")           << 3 << 2 << QStringList{"check1", "check0"}           << "10" << "10" << "10" << "10";
  QTest::newRow("images while texts run, no image") << 0 << 2 << QStringList{"check1", "check0"}           << "00" << "00" << "00" << "01";
  QTest::newRow("uncheck running images")           << 3 << 2 << QStringList{"check0", "uncheck0"}         << "00" << "00" << "00" << "11";
  QTest::newRow("minimise while images run")        << 3 << 2 << QStringList{"check0", "minimise"}         << "00" << "00" << "00" << "11";
  QTest::newRow("image arrow stops images")         << 3 << 2 << QStringList{"check0", "arrow2"}           << "00" << "00" << "00" << "11";
  QTest::newRow("text arrow while images run")      << 3 << 2 << QStringList{"check0", "arrow3"}           << "10" << "00" << "10" << "10";
  QTest::newRow("text arrow stops texts")           << 3 << 2 << QStringList{"check1", "arrow3"}           << "00" << "00" << "00" << "11";
  QTest::newRow("pause images")                     << 3 << 2 << QStringList{"check0", "pause0"}           << "10" << "00" << "10" << "10";
  QTest::newRow("pause and resume texts")           << 3 << 2 << QStringList{"check1", "pause1", "pause1"} << "01" << "01" << "01" << "01";
  // clang-format on
}

void TestSteppingForm::mode_switch() {
  QFETCH(int, images);
  QFETCH(int, texts);
  QFETCH(QStringList, actions);
  QFETCH(QString, checks);
  QFETCH(QString, timers);
  QFETCH(QString, pauses);
  QFETCH(QString, arrows);
  Window w(images, texts);
  Form1& f = w.form();
  for (const QString& a : actions) {
    if (a == "check0") f.Check1[0]->click();
    if (a == "check1") f.Check1[1]->click();
    if (a == "uncheck0") f.Check1[0]->click();
    if (a == "arrow2") QTest::mouseClick(f.Command2[1], Qt::LeftButton);
    // The text arrows are hidden while images run unless a text was shown meanwhile.
    if (a == "arrow3") f.Command3_Click(1);
    if (a == "pause0") QTest::mouseClick(f.Command1[0], Qt::LeftButton);
    if (a == "pause1") QTest::mouseClick(f.Command1[1], Qt::LeftButton);
    if (a == "minimise") {
      f.showMinimized();
      QTRY_VERIFY(!f.Check1[0]->isChecked());
    }
  }
  auto bit = [](bool b) { return b ? QChar('1') : QChar('0'); };
  QCOMPARE(QString() + bit(f.Check1[0]->isChecked()) + bit(f.Check1[1]->isChecked()), checks);
  QCOMPARE(QString() + bit(f.連続画像->enabled()) + bit(f.連続テキスト->enabled()), timers);
  QCOMPARE(QString() + bit(!f.Command1[0]->isHidden()) + bit(!f.Command1[1]->isHidden()), pauses);
  QCOMPARE(QString() + bit(!f.Command2[0]->isHidden() && !f.Command2[1]->isHidden()) +
               bit(!f.Command3[0]->isHidden() && !f.Command3[1]->isHidden()),
           arrows);
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
}

// The pause button's glyph and counter; the timer states are in the mode table above.
void TestSteppingForm::pause_and_resume() {
  Window w(3, 0);
  Form1& f = w.form();
  f.Check1[0]->click();
  // A new display starts with an empty pane, not paused.
  QVERIFY(f.Image1->picture().isNull());
  f.連続画像_Timer();
  QCOMPARE(f.st.img.cur, 0);
  for (const auto& [glyph, paused] : {std::pair{"■", 1}, std::pair{"□", 0}}) {
    QTest::mouseClick(f.Command1[0], Qt::LeftButton);
    QCOMPARE(f.Command1[0]->text(), QString(glyph));
    QCOMPARE(f.st.img_paused, paused);
  }
  // The display goes on from the entry after the one last shown.
  f.連続画像_Timer();
  QCOMPARE(f.st.img.cur, 1);
}

void TestSteppingForm::slideshow_runs_on_its_timer() {
  Window w(3, 0);
  Form1& f = w.form();
  f.連続画像->set_interval(5);
  f.Check1[0]->click();
  QTRY_COMPARE(f.Text1->text(), QString("  2"));
  QTRY_COMPARE(f.Text1->text(), QString("  0"));
  QCOMPARE(f.Label6->text(), QString("/2"));
  f.Check1[0]->click();
  QVERIFY(!f.連続画像->enabled());
}

void TestSteppingForm::tick_steps_data() {
  QTest::addColumn<bool>("image");
  QTest::newRow("images") << true;
  QTest::newRow("texts") << false;
}

void TestSteppingForm::tick_steps() {
  QFETCH(bool, image);
  Window w(image ? 3 : 0, image ? 0 : 3);
  Form1& f = w.form();
  f.Check1[image ? 0 : 1]->click();
  QVERIFY(image ? f.Image1->picture().isNull() : f.RichTextBox1->text().isEmpty());
  for (int cur : {0, 1, 2, 0}) {
    image ? f.連続画像_Timer() : f.連続テキスト_Timer();
    QCOMPARE((image ? f.st.img : f.st.txt).cur, cur);
    QCOMPARE(f.Text1->text(), display_number(cur));
    QCOMPARE(f.Label6->text(), QString("/2"));
    QCOMPARE(labels(f), (image ? w.images : w.texts)[cur]);
    QCOMPARE((image ? f.Img_List : f.Txt_List)->currentRow(), cur);
    if (image)
      QCOMPARE(f.Image1->picture().size(), QSize(40 + cur, 30));
    else
      QCOMPARE(f.RichTextBox1->text(), QString("text %1").arg(cur));
  }
  if (!image) return;
  // A current slot that holds nothing stops the display from its own tick.
  f.st.img.cur = 5;
  f.連続画像_Timer();
  QVERIFY(!f.Check1[0]->isChecked() && !f.連続画像->enabled() && f.Command1[0]->isHidden());
}

// A full register with max_index 20 and newest slot 5: the first step makes /20.
void TestSteppingForm::arrows_step_with_the_full_register_rule() {
  Window w(0, 0);
  Form1& f = w.form();
  QStringList paths;
  for (int i = 0; i < 27; ++i) {
    const QString path = w.fx.folder() + QStringLiteral("/many/f%1.bmp").arg(i);
    write_picture(path, Qt::gray);
    f.ファイルの表示(path, 1);
  }
  QCOMPARE(f.st.img.last, 5);
  // Fresh start: the first step goes to entry 0, either way.
  QTest::mouseClick(f.Command2[0], Qt::LeftButton);
  QCOMPARE(f.st.img.cur, 0);
  QCOMPARE(f.st.img.last, 20);
  QCOMPARE(f.Label6->text(), QString("/20"));
  QTest::mouseClick(f.Command2[0], Qt::LeftButton);
  QCOMPARE(f.st.img.cur, 20);
  QCOMPARE(f.Text1->text(), QString(" 20"));
  QTest::mouseClick(f.Command2[1], Qt::LeftButton);
  QCOMPARE(f.st.img.cur, 0);
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
}

void TestSteppingForm::copy_rule_after_arrow_step_only() {
  Window w(0, 0);
  Form1& f = w.form();
  const QString bmp = w.fx.folder() + "/a.bmp";
  const QString ico = w.fx.folder() + "/B.ICO";
  write_picture(bmp, Qt::red);
  QImage icon(16, 16, QImage::Format_ARGB32);
  icon.fill(Qt::blue);
  QVERIFY(QImageWriter(ico, "ico").write(icon));
  f.ファイルの表示(ico, 1);
  f.ファイルの表示(bmp, 1);
  QVERIFY(f.画像のコピー->isEnabled());
  // The arrow step onto the icon disables copying.
  QTest::mouseClick(f.Command2[1], Qt::LeftButton);
  QCOMPARE(f.st.img.cur, 0);
  QVERIFY(!f.画像のコピー->isEnabled());
  QTest::mouseClick(f.Command2[1], Qt::LeftButton);
  QVERIFY(f.画像のコピー->isEnabled());
  // A tick onto the icon leaves the command as it was.
  f.Check1[0]->click();
  f.連続画像_Timer();
  QCOMPARE(labels(f), ico);
  QVERIFY(f.画像のコピー->isEnabled());
}

void TestSteppingForm::list_selection_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<int>("cur");     // after the action
  QTest::addColumn<bool>("shown");  // the chosen entry is on display
  // clang-format off
  QTest::newRow("left click on line 1")    << "click1"    << 1 << true;
  QTest::newRow("right click on line 1")   << "right1"    << 3 << false;
  QTest::newRow("click on empty part")     << "empty"     << 3 << false;
  QTest::newRow("Down key")                << "down"      << 1 << true;
  QTest::newRow("Page Down key")           << "pagedown"  << 3 << false;
  QTest::newRow("letter key")              << "letter"    << 3 << false;
  // clang-format on
}

void TestSteppingForm::list_selection() {
  QFETCH(QString, action);
  QFETCH(int, cur);
  QFETCH(bool, shown);
  Window w(4, 0);
  Form1& f = w.form();
  f.登録ファイル名表示->trigger();
  QVERIFY(!f.Img_List->isHidden());
  // The menu's forward step chose entry 0; entry 3 is made current by a program step.
  f.st.img.cur = 3;
  QListWidget* list = f.Img_List;
  const QString box_before = f.Text1->text();
  if (action == "click1" || action == "right1") {
    const QPoint at = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), action == "click1" ? Qt::LeftButton : Qt::RightButton, {},
                      at);
  } else if (action == "empty") {
    list->setCurrentRow(-1);
    list->clearSelection();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 3));
  } else {
    list->setFocus();
    const Qt::Key key = action == "down"       ? Qt::Key_Down
                        : action == "pagedown" ? Qt::Key_PageDown
                                               : Qt::Key_P;
    QTest::keyClick(list, key);
  }
  QCOMPARE(f.st.img.cur, cur);
  QCOMPARE(f.Text1->text(), shown ? display_number(cur) : box_before);
  if (shown) QCOMPARE(f.Image1->picture().size(), QSize(40 + cur, 30));
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
}

// Image entries 0 … 5 with entry 2 current and line 1 of the list selected.
void TestSteppingForm::number_box_data() {
  QTest::addColumn<int>("images");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("enter");  // else the box loses the focus
  QTest::addColumn<QString>("box");
  QTest::addColumn<int>("cur");
  QTest::addColumn<int>("line");
  // clang-format off
  QTest::newRow("9 Enter")         << 6 << "9"     << true  << "  2" << 2 << 2;
  QTest::newRow("4 Enter")         << 6 << "4"     << true  << "  4" << 4 << 4;
  QTest::newRow("4 Tab")           << 6 << "4"     << false << "  4" << 4 << 1;
  QTest::newRow("1e400 Tab")       << 6 << "1e400" << false << "  2" << 2 << 1;
  QTest::newRow("nothing on display") << 0 << "3" << true << "" << 0 << -1;
  QTest::newRow("--3 Enter")       << 6 << "--3"   << true  << "  2" << 2 << 2;
  // clang-format on
}

void TestSteppingForm::number_box() {
  QFETCH(int, images);
  QFETCH(QString, typed);
  QFETCH(bool, enter);
  QFETCH(QString, box);
  QFETCH(int, cur);
  QFETCH(int, line);
  Window w(images, 0);
  Form1& f = w.form();
  if (images > 0) {
    f.st.img.cur = 2;
    f.Img_List->setCurrentRow(1);
  }
  f.Text1->setText(typed);
  if (enter) {
    QTest::keyClick(f.Text1, Qt::Key_Return);
  } else {
    f.Text1_LostFocus();
  }
  QCOMPARE(f.Text1->text(), box);
  QCOMPARE(f.st.img.cur, cur);
  QCOMPARE(f.Img_List->currentRow(), line);
  if (images > 0 && cur != 2) QCOMPARE(f.Image1->picture().size(), QSize(40 + cur, 30));
}

void TestSteppingForm::number_box_focus_stops_the_slideshow() {
  Window w(3, 0);
  Form1& f = w.form();
  f.Check1[0]->click();
  f.連続画像_Timer();
  f.連続画像_Timer();
  QCOMPARE(f.Text1->text(), QString("  1"));
  f.Text1_GotFocus();
  QVERIFY(!f.Check1[0]->isChecked() && !f.連続画像->enabled() && f.Command1[0]->isHidden());
  QCOMPARE(f.Text1->text(), QString("1"));
  f.Text1->setText("  7");
  f.Text1_MouseDown();
  QCOMPARE(f.Text1->text(), QString("7"));
}

void TestSteppingForm::registered_names_menu() {
  Window w(2, 2);
  Form1& f = w.form();
  // The text pane is on display with texts registered: the text list, and a forward step.
  f.登録ファイル名表示->trigger();
  QVERIFY(f.登録ファイル名表示->isChecked() && !f.Txt_List->isHidden() && f.Img_List->isHidden());
  QCOMPARE(f.st.txt_nav_started, 1);
  QCOMPARE(f.Txt_List->currentRow(), 0);
  // Stepping the images shows their list instead.
  QTest::mouseClick(f.Command2[1], Qt::LeftButton);
  QVERIFY(!f.Img_List->isHidden() && f.Txt_List->isHidden());
  f.登録ファイル名表示->trigger();
  QVERIFY(!f.登録ファイル名表示->isChecked() && f.Img_List->isHidden() && f.Txt_List->isHidden());
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
}

// Three pictures, entry 0 on display; p1 goes before the arrow or the tick reaches it.
void TestSteppingForm::missing_file_data() {
  QTest::addColumn<bool>("tick");
  QTest::addColumn<bool>("yes");
  QTest::addColumn<int>("cur");
  QTest::addColumn<QString>("box");  // "": not checked
  // Yes on the arrow: the backward step of the removal brings entry 0 into view. Yes on a tick:
  // that step finds the display running and stops it instead. No: the pane is blanked, and what
  // the step did before the load stays.
  // clang-format off
  QTest::newRow("arrow, Yes") << false << true  << 0 << "  0";
  QTest::newRow("arrow, No")  << false << false << 1 << "  1";
  QTest::newRow("tick, Yes")  << true  << true  << 1 << "";
  QTest::newRow("tick, No")   << true  << false << 1 << "";
  // clang-format on
}

void TestSteppingForm::missing_file() {
  QFETCH(bool, tick);
  QFETCH(bool, yes);
  QFETCH(int, cur);
  QFETCH(QString, box);
  Window w(3, 0);
  Form1& f = w.form();
  if (tick) {
    f.Check1[0]->click();
    f.連続画像_Timer();
  } else {
    QTest::mouseClick(f.Command2[1], Qt::LeftButton);
  }
  QFile::remove(w.images[1]);
  w.fx.messages.expect(w.images[1] + kMissing, yes ? kAnswerYes : kAnswerNo);
  tick ? f.連続画像_Timer() : QTest::mouseClick(f.Command2[1], Qt::LeftButton);
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  QCOMPARE(f.st.img.last, yes ? 1 : 2);
  QCOMPARE(f.st.img.cur, cur);
  QCOMPARE(f.st.img.path(1), w.images[yes ? 2 : 1]);
  QCOMPARE(f.Img_List->count(), yes ? 2 : 3);
  QCOMPARE(f.Check1[0]->isChecked(), tick && !yes);
  QCOMPARE(f.連続画像->enabled(), tick && !yes);
  if (!box.isEmpty()) QCOMPARE(f.Text1->text(), box);
  if (!box.isEmpty()) QCOMPARE(labels(f), w.images[cur]);
  if (!yes) QVERIFY(f.Image1->picture().isNull());
}

void TestSteppingForm::missing_text_on_tick() {
  Window w(0, 3);
  Form1& f = w.form();
  f.Check1[1]->click();
  f.連続テキスト_Timer();
  const QString numbers = f.Text1->text();
  QFile::remove(w.texts[1]);
  w.fx.messages.expect(w.texts[1] + kMissing, kAnswerNo);
  f.連続テキスト_Timer();
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  // The text tick has selected the line but not touched the numbers.
  QCOMPARE(f.Txt_List->currentRow(), 1);
  QCOMPARE(f.Text1->text(), numbers);
  QCOMPARE(f.RichTextBox1->text(), QString());
  QCOMPARE(f.st.txt.last, 2);
}

// A modal box runs the timers in its own loop: a tick under an open missing-file question must
// neither raise a second question nor move the entry the question is about.
void TestSteppingForm::ticks_wait_while_a_message_is_open() {
  Window w(3, 0);
  Form1& f = w.form();
  f.Check1[0]->click();
  f.連続画像_Timer();
  QFile::remove(w.images[1]);
  int cur_under_box = -1;
  w.fx.messages.while_open = [&](const QString&) {
    f.連続画像_Timer();
    f.連続画像_Timer();
    QTest::mouseClick(f.Command2[1], Qt::LeftButton);
    cur_under_box = f.st.img.cur;
  };
  w.fx.messages.expect(w.images[1] + kMissing, kAnswerNo);
  f.連続画像_Timer();
  QCOMPARE(cur_under_box, 1);
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  // After the answer the display goes on.
  w.fx.messages.while_open = nullptr;
  QVERIFY(f.連続画像->enabled());
  f.連続画像_Timer();
  QCOMPARE(f.st.img.cur, 2);
}

void TestSteppingForm::dispatcher_restores_before_its_message() {
  Window w(2, 0);
  Form1& f = w.form();
  int last_under_box = -2;
  QString slot_under_box;
  w.fx.messages.while_open = [&](const QString&) {
    last_under_box = f.st.img.last;
    slot_under_box = f.st.img.path(2);
  };
  w.fx.messages.expect(QStringLiteral(
      "指定したファイル名は存在しません！\n\rファイルボックスを開き直してください。"));
  f.ファイルの表示(w.fx.folder() + "/gone.bmp", 1);
  QCOMPARE(last_under_box, 1);
  QCOMPARE(slot_under_box, QString());
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
}

// The next picture is decoded ahead; a file changed since is loaded anew, a file gone raises the
// missing-file prompt.
void TestSteppingForm::prefetched_picture_only_when_unchanged() {
  Window w(3, 0);
  Form1& f = w.form();
  f.Check1[0]->click();
  f.連続画像_Timer();
  QCOMPARE(shown_colour(f), QColor(Qt::red));
  f.連続画像_Timer();  // entry 1, decoded ahead at the start
  QCOMPARE(shown_colour(f), QColor(Qt::green));
  // Entry 2 is being decoded ahead now; the file is replaced by another picture.
  QFile::remove(w.images[2]);
  write_picture(w.images[2], Qt::black, 70, 50);
  f.連続画像_Timer();
  QCOMPARE(f.st.img.cur, 2);
  QCOMPARE(shown_colour(f), QColor(Qt::black));
  QCOMPARE(f.Image1->picture().size(), QSize(70, 50));
  // Entry 0 is decoded ahead; its file goes.
  QFile::remove(w.images[0]);
  w.fx.messages.expect(w.images[0] + kMissing, kAnswerNo);
  f.連続画像_Timer();
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  QVERIFY(f.Image1->picture().isNull());
}

void TestSteppingForm::remove_commands_data() {
  QTest::addColumn<bool>("image");
  QTest::addColumn<int>("answer");
  // clang-format off
  QTest::newRow("image, OK")     << true  << int(kAnswerOk);
  QTest::newRow("image, Cancel") << true  << int(kAnswerCancel);
  QTest::newRow("text, OK")      << false << int(kAnswerOk);
  QTest::newRow("text, Cancel")  << false << int(kAnswerCancel);
  // clang-format on
}

// Entries a, b, c with b current: removing b leaves a, c and shows a neighbour.
void TestSteppingForm::remove_commands() {
  QFETCH(bool, image);
  QFETCH(int, answer);
  Window w(image ? 3 : 0, image ? 0 : 3);
  Form1& f = w.form();
  Register& r = image ? f.st.img : f.st.txt;
  QPushButton* forward = image ? f.Command2[1] : f.Command3[1];
  QTest::mouseClick(forward, Qt::LeftButton);
  QTest::mouseClick(forward, Qt::LeftButton);
  QCOMPARE(r.cur, 1);
  w.fx.messages.expect(image ? QStringLiteral("登録した画像ファイル名を消去してもいいですか？")
                             : QStringLiteral("登録したテキストファイル名を消去してもいいですか？"),
                       answer);
  (image ? f.image_登録から削除 : f.text_登録から削除)->trigger();
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  QCOMPARE(r.last, answer == kAnswerOk ? 1 : 2);
  const QStringList& files = image ? w.images : w.texts;
  if (answer == kAnswerOk) {
    QCOMPARE(r.path(1), files[2]);
    QCOMPARE(r.cur, 0);  // the backward step from the entry that followed
    QCOMPARE(labels(f), files[0]);
    QCOMPARE((image ? f.Img_List : f.Txt_List)->count(), 2);
    QVERIFY(QFileInfo::exists(files[1]));
  } else {
    QCOMPARE(r.path(1), files[1]);
  }
}

void TestSteppingForm::removing_the_only_entry_blanks_its_side() {
  Window w(1, 1);
  Form1& f = w.form();
  QTest::mouseClick(f.Command2[1], Qt::LeftButton);
  w.fx.messages.expect(QStringLiteral("登録した画像ファイル名を消去してもいいですか？"));
  f.image_登録から削除->trigger();
  QVERIFY(f.st.img.empty() && f.Img_List->count() == 0 && f.Image1->picture().isNull());
  QCOMPARE(f.Label6->text() + f.Text1->text() + labels(f), QString());
  QVERIFY(f.Command2[0]->isHidden() && f.Command2[1]->isHidden());
  for (QAction* a : {f.画像のコピー, f.image_登録から削除, f.image_ファイル削除, f.img_file_open,
                     f.img_all_clear}) {
    QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
  }
  // The text side keeps its clearing, search and opening commands.
  QTest::mouseClick(f.Command3[1], Qt::LeftButton);
  w.fx.messages.expect(QStringLiteral("登録したテキストファイル名を消去してもいいですか？"));
  f.text_登録から削除->trigger();
  QVERIFY(f.st.txt.empty() && f.RichTextBox1->text().isEmpty());
  QVERIFY(!f.text_ファイル削除->isEnabled() && !f.コピー->isEnabled());
  QVERIFY(f.txt_all_clear->isEnabled() && f.txt_kensaku->isEnabled() &&
          f.txt_file_open->isEnabled());
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
}

void TestSteppingForm::delete_into_the_trash_data() {
  QTest::addColumn<bool>("image");
  QTest::addColumn<bool>("other_volume");
  QTest::addColumn<bool>("symlink");
  // clang-format off
  QTest::newRow("image into the home trash")   << true  << false << false;
  QTest::newRow("text into the home trash")    << false << false << false;
  QTest::newRow("text on another file system") << false << true  << false;
  QTest::newRow("symbolic link to a picture")  << true  << false << true;
  // clang-format on
}

void TestSteppingForm::delete_into_the_trash() {
  QFETCH(bool, image);
  QFETCH(bool, other_volume);
  QFETCH(bool, symlink);
  Window w(0, 0);
  Form1& f = w.form();
  // The file box's folder is the fixture's folder; a second "volume" inside it.
  const QString volume = w.fx.folder() + "/volume";
  w.volume(volume);
  QString path = w.fx.folder() + (other_volume ? "/volume/note.txt"
                                  : image      ? "/a.bmp"
                                               : "/note.txt");
  const QString target = path;
  if (image) {
    write_picture(path, Qt::red);
    if (symlink) QVERIFY(QFile::link(target, path = w.fx.folder() + "/link.bmp"));
  } else {
    w.fx.write_file(path.mid(w.fx.folder().size() + 1), "note");
  }
  f.ファイルの表示(path, 1);
  QCOMPARE(labels(f), path);
  w.fx.messages.expect(path + kAskDelete, kAnswerYes);
  (image ? f.image_ファイル削除 : f.text_ファイル削除)->trigger();
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  QVERIFY(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink());
  const QString name = QFileInfo(path).fileName();
  const QString in_trash =
      other_volume ? volume + "/.Trash-" + QString::number(::getuid()) + "/files/" + name
                   : w.config.data_home + "/Trash/files/" + name;
  QVERIFY2(QFileInfo(in_trash).exists() || QFileInfo(in_trash).isSymLink(), qPrintable(in_trash));
  if (symlink) QVERIFY(QFileInfo::exists(target));
  // The entry left its register, which is now empty.
  QVERIFY((image ? f.st.img : f.st.txt).empty());
}

// Two pictures with entry 1 on display; each row sets a situation up and answers the boxes
// listed ("ask": the deletion question; "no trash": the offer to delete for good).
void TestSteppingForm::delete_refusals_data() {
  QTest::addColumn<QString>("situation");
  QTest::addColumn<QStringList>("boxes");
  QTest::addColumn<bool>("deleted");
  // clang-format off
  QTest::newRow("labels name the other register's file") << "text shown"   << QStringList{"not shown"}                                << false;
  QTest::newRow("labels empty")                          << "empty labels" << QStringList{"not shown"}                                << false;
  QTest::newRow("labels name another entry")             << "other entry"  << QStringList{"not shown"}                                << false;
  QTest::newRow("question answered No")                  << ""             << QStringList{"ask No"}                                   << false;
  QTest::newRow("file gone before the command")          << "gone"         << QStringList{"ask Yes", "ファイルが見つかりません。"}        << false;
  QTest::newRow("file replaced after the question")      << "replaced"     << QStringList{"ask Yes", "確認の後でファイルが別のファイルに替わりました。"} << false;
  QTest::newRow("folder nobody may change")              << "read-only"    << QStringList{"ask Yes", "アクセス権がありません。"}          << false;
  QTest::newRow("no trash: delete for good")             << "no trash"     << QStringList{"ask Yes", "no trash Yes"}                  << true;
  QTest::newRow("no trash: keep the file")               << "no trash"     << QStringList{"ask Yes", "no trash No"}                   << false;
  // clang-format on
}

void TestSteppingForm::delete_refusals() {
  QFETCH(QString, situation);
  QFETCH(QStringList, boxes);
  QFETCH(bool, deleted);
  Window w(2, 0);
  Form1& f = w.form();
  const QString path = w.images[1];
  const QString folder = QFileInfo(path).absolutePath();
  auto chattr = [&folder](const char* flag) {
    return QProcess::execute("chattr", {QString::fromLatin1(flag), folder}) == 0;
  };
  struct Unlock {
    std::function<bool(const char*)> run;
    ~Unlock() {
      if (run) run("-i");
    }
  } unlock{situation == "read-only" ? std::function<bool(const char*)>(chattr) : nullptr};
  if (situation == "text shown") f.ファイルの表示(w.fx.write_file("docs/t.txt", "t"), 1);
  if (situation == "empty labels")
    for (QLabel* l : f.Label4) l->clear();
  if (situation == "other entry") f.ラベル表示(w.images[0]);
  if (situation == "gone") QFile::remove(path);
  if (situation == "read-only" && !chattr("+i")) QSKIP("chattr +i is not available here");
  if (situation == "no trash") {
    // The pictures lie on a "volume" whose trash folder cannot be made.
    w.fx.write_file("pics/.Trash-" + QString::number(::getuid()), "");
    w.volume(folder);
  }
  if (situation == "replaced") {
    w.fx.messages.while_open = [&](const QString& text) {
      if (!text.endsWith(kAskDelete)) return;
      QFile::rename(path, w.fx.folder() + "/decoy.bmp");
      write_picture(path, Qt::black);
    };
  }
  for (const QString& box : boxes) {
    if (box == "not shown")
      w.fx.messages.expect(kNotOnDisplay);
    else if (box.startsWith("ask"))
      w.fx.messages.expect(path + kAskDelete, box.endsWith("Yes") ? kAnswerYes : kAnswerNo);
    else if (box.startsWith("no trash"))
      w.fx.messages.expect(kNoTrash, box.endsWith("Yes") ? kAnswerYes : kAnswerNo);
    else
      w.fx.messages.expect(path + kNotDeleted + box);
  }
  f.image_ファイル削除->trigger();
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  if (situation == "no trash")
    QCOMPARE(w.fx.messages.buttons_seen.last(), MsgButtons::YesNoDefaultNo);
  QCOMPARE(QFileInfo::exists(path), !deleted && situation != "gone");
  QVERIFY(QFileInfo::exists(w.images[0]));
  QCOMPARE(f.st.img.last, deleted ? 0 : 1);
  QCOMPARE(f.st.img.path(1), deleted ? QString() : path);
  // Nothing reached the trash.
  QCOMPARE(QDir(w.config.data_home + "/Trash/info").entryList(QDir::Files), QStringList());
}

// With a spreadsheet application chosen, the text arrows show an entry through the preview; a
// missing file is asked about once and the step ends there.
void TestSteppingForm::text_step_through_the_spreadsheet_preview() {
  Window w(0, 3);
  Form1& f = w.form();
  f.st.sheet_app = 2;
  QTest::mouseClick(f.Command3[1], Qt::LeftButton);
  QCOMPARE(f.st.txt.cur, 0);
  QCOMPARE(f.RichTextBox1->text(), QString("text 0"));
  QCOMPARE(f.Text1->text(), QString("  0"));
  QFile::remove(w.texts[1]);
  w.fx.messages.expect(w.texts[1] + kMissing, kAnswerNo);
  QTest::mouseClick(f.Command3[1], Qt::LeftButton);
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
  QCOMPARE(f.st.txt.cur, 1);
  QCOMPARE(f.Text1->text(), QString("  0"));
  QCOMPARE(f.st.msg_answer, 1);
}

void TestSteppingForm::keyboard_shortcuts() {
  Window w(3, 2);
  Form1& f = w.form();
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  // The text pane is on display: Alt+Right steps the texts.
  QTest::keyClick(&f, Qt::Key_Right, Qt::AltModifier);
  QCOMPARE(f.st.txt_nav_started, 1);
  QCOMPARE(f.st.txt.cur, 0);
  QTest::keyClick(&f, Qt::Key_Left, Qt::AltModifier);
  QCOMPARE(f.st.txt.cur, 1);
  QCOMPARE(f.st.img_nav_started, 0);
  // With images running, Alt+S pauses and resumes them.
  f.Check1[0]->click();
  QTest::keyClick(&f, Qt::Key_S, Qt::AltModifier);
  QCOMPARE(f.Command1[0]->text(), QString("■"));
  QTest::keyClick(&f, Qt::Key_S, Qt::AltModifier);
  QCOMPARE(f.Command1[0]->text(), QString("□"));
  // Alt+Right on the running images stops them, as the arrow does.
  QTest::keyClick(&f, Qt::Key_Right, Qt::AltModifier);
  QVERIFY(!f.Check1[0]->isChecked());
  QTest::keyClick(&f, Qt::Key_Right, Qt::AltModifier);
  QCOMPARE(f.st.img.cur, 0);
  // The number box keeps its keys.
  f.Text1->setFocus();
  f.Text1->setText("12");
  QTest::keyClick(f.Text1, Qt::Key_Left);
  QCOMPARE(f.Text1->cursorPosition(), 1);
  QVERIFY2(w.messages_done(), qPrintable(w.report()));
}

void TestSteppingForm::arrow_pictures_are_sharp_and_mirrored() {
  for (qreal dpr : {1.0, 2.0}) {
    const QImage left = arrow_icon(ArrowDirection::Left).pixmap(QSize(32, 32), dpr).toImage();
    const QImage right = arrow_icon(ArrowDirection::Right).pixmap(QSize(32, 32), dpr).toImage();
    QCOMPARE(left.size(), QSize(32, 32) * dpr);
    // Drawn at the screen's scale, not enlarged: the head's tip is near the edge in device pixels.
    const int mid = left.height() / 2;
    QVERIFY(qAlpha(left.pixel(int(6 * dpr), mid)) > 128);
    QVERIFY(qAlpha(left.pixel(0, 0)) == 0);
    QVERIFY(qAlpha(right.pixel(right.width() - 1 - int(6 * dpr), mid)) > 128);
    // The shaft, seen from either end.
    QVERIFY(qAlpha(left.pixel(int(22 * dpr), mid)) > 200);
    QVERIFY(qAlpha(right.pixel(right.width() - 1 - int(22 * dpr), mid)) > 200);
    QVERIFY(qAlpha(left.pixel(int(22 * dpr), int(4 * dpr))) == 0);
  }
}

QTEST_MAIN(TestSteppingForm)
#include "test_stepping_form.moc"
