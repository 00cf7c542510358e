// Stepping through the registers on the real window with real files: lists, number box, mode
// switch, arrows, slideshow ticks, the missing-file prompt, removal and deletion into a trash.

#include "app/main_window.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "pictures/picture_prefetch.h"
#include "platform/classic_timer.h"
#include "platform/job_runner.h"
#include "platform/trash.h"
#include "thread_sanitizer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

#include <QThread>
#include <thread>

#include <atomic>
#include <memory>
#include <new>
#include <stdexcept>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const QString kMissing = QStringLiteral("が見つかりません！ 登録から削除しますか？");
const QString kAskDelete = QStringLiteral("を削除してもいいですか？");

void write_picture(const QString& path, QColor colour, int w = 40, int h = 30) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  QVERIFY(QImageWriter(path).write(image));  // in the format its suffix names
}

QString labels(const Form1& f) {
  return f.path_labels[0]->text() + f.path_labels[1]->text() + f.path_labels[2]->text();
}

// A shown window with `images` pictures, then `texts` text files, registered through the display
// dispatcher; it deletes into a trash in its own temporary folder.
struct Window {
  TrashConfig config;
  Trash trash;
  FormFixture fx;
  QStringList images, texts;
  Form1* f = nullptr;

  explicit Window(int images_count, int texts_count) {
    config.data_home = fx.folder() + "/share";
    trash = Trash(config);
    fx.write_settings(
        QStringLiteral("[最大ファイル数]\nファイル数=20\n[ファイルの削除]\nファイルの削除=1\n"));
    fx.trash = &trash;
    f = &fx.make(false);
    f->show();
    for (int i = 0; i < images_count; ++i) {
      images.append(fx.folder() + QStringLiteral("/pics/p%1.bmp").arg(i));
      write_picture(images.last(), Qt::red, 40 + i, 30);
      f->ファイルの表示(images.last(), DisplayTarget::ShowPane);
    }
    for (int i = 0; i < texts_count; ++i) {
      texts.append(fx.write_file(QStringLiteral("docs/t%1.txt").arg(i),
                                 QByteArray("text ") + char('0' + i)));
      f->ファイルの表示(texts.last(), DisplayTarget::ShowPane);
    }
  }
};

}  // namespace

class TestSteppingForm final : public QObject {
  Q_OBJECT
 private slots:
  void mode_switch_data();
  void mode_switch();
  void tick_steps();
  void look_ahead_after_resuming();
  void stale_look_ahead_is_not_shown_data();
  void stale_look_ahead_is_not_shown();
  void look_ahead_failure_stays_on_its_thread_data();
  void look_ahead_failure_stays_on_its_thread();
  void wrapped_register_data();
  void wrapped_register();
  void tick_after_clearing_data();
  void tick_after_clearing();
  void added_picture_formats_run_with_look_ahead();
  void choosing_an_entry_data();
  void choosing_an_entry();
  void missing_file_data();
  void missing_file();
  void remove_and_delete_data();
  void remove_and_delete();
  void removal_while_the_slideshow_runs_data();
  void removal_while_the_slideshow_runs();
  void removal_with_nothing_on_display();
  void keys_list_menu_and_number_box_focus();
  void picture_keys_step_as_the_arrows_data();
  void picture_keys_step_as_the_arrows();
  void space_pauses_the_running_pictures();
  void sides_show_their_state_data();
  void sides_show_their_state();
};

// From the pictures and texts registered, the text pane on display, each row runs its actions (0/1
// click Check1(0)/(1), a image arrow, t text arrow). The state: Check1(0) (1); 連続画像,
// 連続テキスト enabled; Command1(0) (1), the image and the text arrows visible.
void TestSteppingForm::mode_switch_data() {
  QTest::addColumn<int>("images");
  QTest::addColumn<QString>("actions");
  QTest::addColumn<QString>("state");
  // clang-format off
  QTest::newRow("check images")                  << 3 << "0"  << "10 10 10 10";
  QTest::newRow("check images, none registered") << 0 << "0"  << "00 00 00 01";
  QTest::newRow("texts while images run")        << 3 << "01" << "01 01 01 01";
  QTest::newRow("image arrow stops images")      << 3 << "0a" << "00 00 00 11";
  QTest::newRow("text shown while images run")   << 3 << "0t" << "10 00 10 10";
  // clang-format on
}

void TestSteppingForm::mode_switch() {
  QFETCH(int, images);
  QFETCH(QString, actions);
  QFETCH(QString, state);
  Window w(images, 2);
  Form1& f = *w.f;
  for (const QChar a : actions) {
    if (a == '0' || a == '1') f.continuous_checks[a.digitValue()]->click();
    if (a == 'a') QTest::mouseClick(f.image_arrows[1], Qt::LeftButton);
    if (a == 't') f.Command3_Click(1);
  }
  auto bits = [](bool a, bool b) { return QString(a ? "1" : "0") + (b ? "1" : "0"); };
  QCOMPARE(
      QStringList({bits(f.continuous_checks[0]->isChecked(), f.continuous_checks[1]->isChecked()),
                   bits(f.image_timer->enabled(), f.text_timer->enabled()),
                   bits(!f.pause_buttons[0]->isHidden(), !f.pause_buttons[1]->isHidden()),
                   bits(!f.image_arrows[0]->isHidden() && !f.image_arrows[1]->isHidden(),
                        !f.text_arrows[0]->isHidden() && !f.text_arrows[1]->isHidden())})
          .join(' '),
      state);
}

void TestSteppingForm::tick_steps() {
  Window w(3, 0);
  Form1& f = *w.f;
  f.continuous_checks[0]->click();
  for (int cur : {0, 1, 2, 0}) {
    f.連続画像_Timer();
    QCOMPARE(f.number_box->text() + f.count_label->text() + labels(f),
             display_number(cur) + "/2" + w.images[cur]);
    QCOMPARE(f.image_pane->picture().size(), QSize(40 + cur, 30));
  }
  // A current slot that holds nothing stops the display from its own tick.
  f.st.img.cur = 5;
  f.連続画像_Timer();
  QVERIFY(!f.continuous_checks[0]->isChecked() && !f.image_timer->enabled() &&
          f.pause_buttons[0]->isHidden());
  f.st.img.cur = 0;
  f.image_timer->set_interval(5);  // the timer runs the ticks
  f.continuous_checks[0]->click();
  QTRY_COMPARE(f.number_box->text(), QString("  2"));
}

// Paused, the display is moved on by the list; resumed, it decodes the picture its next tick shows,
// which the tick then takes without decoding it again.
void TestSteppingForm::look_ahead_after_resuming() {
  Window w(5, 0);
  Form1& f = *w.f;
  QStringList decoded_ahead;
  f.look_ahead().started = [&](const QString& path) { decoded_ahead << path; };
  f.continuous_checks[0]->click();
  f.連続画像_Timer();
  QCOMPARE(decoded_ahead, (QStringList{w.images[0], w.images[1]}));
  f.Command1_Click(0);
  f.image_list->setCurrentRow(2);
  f.Img_List_MouseUp(Qt::LeftButton);
  QCOMPARE(decoded_ahead.size(), 2);
  f.Command1_Click(0);
  QCOMPARE(decoded_ahead.last(), w.images[3]);
  QTRY_VERIFY(f.look_ahead().ready());
  const int decodes = f.image_pane->decode_count();
  f.連続画像_Timer();
  QCOMPARE(labels(f), w.images[3]);
  QCOMPARE(f.image_pane->decode_count(), decodes);
}

// The picture decoded ahead is shown only by the tick that shows its entry, of its file unchanged;
// a tick that finds its decode still under way finishes it rather than decoding the file again. The
// decode of entry 1 can be held back, and the row's last tick shows `shown` at `width` (40 + entry)
// pixels, decoding it or not.
void TestSteppingForm::stale_look_ahead_is_not_shown_data() {
  QTest::addColumn<QString>("event");
  QTest::addColumn<int>("shown");
  QTest::addColumn<int>("width");
  QTest::addColumn<bool>("decoded");
  // clang-format off
  QTest::newRow("file changed after its decode")   << "changed" << 1 << 60 << true;
  QTest::newRow("tick before its decode ended")    << "early"   << 2 << 42 << false;
  QTest::newRow("moved on while it was decoded")   << "moved"   << 4 << 44 << false;
  // clang-format on
}

void TestSteppingForm::stale_look_ahead_is_not_shown() {
  QFETCH(QString, event);
  QFETCH(int, shown);
  QFETCH(int, width);
  QFETCH(bool, decoded);
  Window w(5, 0);
  Form1& f = *w.f;
  auto held = std::make_shared<std::atomic<bool>>(event != "changed");
  const auto release = qScopeGuard([held] { held->store(false); });
  const PictureDecoder loader = f.look_ahead().decoder;
  f.look_ahead().decoder = [held, loader, slow = w.images[1]](const QString& path, QSize size) {
    while (path == slow && held->load()) QThread::msleep(1);
    return loader(path, size);
  };
  f.continuous_checks[0]->click();
  QTRY_VERIFY(f.look_ahead().ready());
  f.連続画像_Timer();  // entry 0; entry 1 is decoded ahead
  if (event == "changed") {
    QTRY_VERIFY(f.look_ahead().ready());
    QFile::remove(w.images[1]);
    write_picture(w.images[1], Qt::blue, 60, 30);
  } else if (event == "early") {
    // The tick finishes entry 1's decode under way instead of decoding the file again beside it;
    // entry 2 is decoded ahead.
    std::thread release_later([held] {
      QThread::msleep(50);
      held->store(false);
    });
    const int before = f.image_pane->decode_count();
    f.連続画像_Timer();
    release_later.join();
    QCOMPARE(labels(f), w.images[1]);
    QCOMPARE(f.image_pane->picture().size(), QSize(41, 30));
    QCOMPARE(f.image_pane->decode_count(), before);
  } else if (event == "moved") {
    // Paused, entry 3 chosen from the list; resumed, entry 4 is decoded ahead.
    f.Command1_Click(0);
    f.image_list->setCurrentRow(3);
    f.Img_List_MouseUp(Qt::LeftButton);
    f.Command1_Click(0);
  }
  if (event != "changed") {
    QTRY_VERIFY(f.look_ahead().ready());
    // Entry 1's decode ends late, and the window takes its result (and drops it).
    held->store(false);
    QTRY_COMPARE(f.jobs().threads(), std::size_t(0));
  }
  const int decodes = f.image_pane->decode_count();
  f.連続画像_Timer();
  QCOMPARE(labels(f), w.images[shown]);
  QCOMPARE(f.image_pane->picture().size(), QSize(width, 30));
  QCOMPARE(f.image_pane->decode_count(), decodes + int(decoded));
}

// A decode ahead that fails by throwing (a failed allocation) gives the tick no picture, and the
// tick loads the file itself; the exception never reaches the window's thread, and the look-ahead
// goes on with the next picture.
void TestSteppingForm::look_ahead_failure_stays_on_its_thread_data() {
  QTest::addColumn<int>("thrown");  // 0 std::bad_alloc, 1 std::runtime_error, 2 an int
  QTest::newRow("bad_alloc") << 0;
  QTest::newRow("runtime_error") << 1;
  QTest::newRow("not an exception class") << 2;
}

void TestSteppingForm::look_ahead_failure_stays_on_its_thread() {
  QFETCH(int, thrown);
  Window w(3, 0);
  Form1& f = *w.f;
  const PictureDecoder loader = f.look_ahead().decoder;
  f.look_ahead().decoder = [thrown](const QString&, QSize) -> std::optional<LoadedPicture> {
    if (thrown == 0) throw std::bad_alloc();
    if (thrown == 1) throw std::runtime_error("decoder");
    throw 7;
  };
  f.continuous_checks[0]->click();
  QTRY_VERIFY(!f.look_ahead().under_way());
  QVERIFY(!f.look_ahead().ready());
  f.look_ahead().decoder = loader;
  int decodes = f.image_pane->decode_count();
  f.連続画像_Timer();
  QCOMPARE(labels(f), w.images[0]);
  QCOMPARE(f.image_pane->decode_count(), decodes + 1);
  QTRY_VERIFY(f.look_ahead().ready());
  decodes = f.image_pane->decode_count();
  f.連続画像_Timer();
  QCOMPARE(labels(f), w.images[1]);
  QCOMPARE(f.image_pane->decode_count(), decodes);
}

// 23 pictures in a register of slots 0 … 20: it has wrapped (f21 and f22 in slots 0 and 1). The
// count reads /20, the arrows or the ticks visit all 21 entries and go round, and the highest
// number can be typed.
void TestSteppingForm::wrapped_register_data() {
  QTest::addColumn<bool>("ticks");
  QTest::newRow("arrows") << false;
  QTest::newRow("ticks") << true;
}

void TestSteppingForm::wrapped_register() {
  QFETCH(bool, ticks);
  Window w(23, 0);
  Form1& f = *w.f;
  QCOMPARE(f.count_label->text(), QString("/20"));
  if (ticks) f.continuous_checks[0]->click();
  QStringList shown;
  for (int step = 0; step < 22; ++step) {
    ticks ? f.連続画像_Timer() : f.Command2_Click(1);
    QCOMPARE(f.count_label->text(), QString("/20"));
    shown << labels(f);
  }
  QStringList expected = w.images.mid(21, 2) + w.images.mid(2, 19);
  expected << w.images[21];
  QCOMPARE(shown, expected);
  QVERIFY2(w.fx.messages.done(), qPrintable(w.fx.messages.report()));
  if (ticks) f.continuous_checks[0]->click();
  f.number_box->setText("20");
  QTest::keyClick(f.number_box, Qt::Key_Return);
  QCOMPARE(f.st.img.cur, 20);
  QCOMPARE(labels(f) + f.number_box->text(), w.images[20] + " 20");
  QCOMPARE(f.image_list->count(), 21);
}

// A register cleared while its display runs: the next tick stops the display and asks nothing.
void TestSteppingForm::tick_after_clearing_data() {
  QTest::addColumn<bool>("text");
  QTest::newRow("pictures") << false;
  QTest::newRow("texts") << true;
}

void TestSteppingForm::tick_after_clearing() {
  QFETCH(bool, text);
  Window w(text ? 0 : 2, text ? 2 : 0);
  Form1& f = *w.f;
  f.continuous_checks[int(text)]->click();
  text ? f.連続テキスト_Timer() : f.連続画像_Timer();
  w.fx.messages.expect(
      text ? QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？")
           : QStringLiteral("登録した画像ファイル名をすべて消去してもいいですか？"));
  (text ? f.txt_all_clear : f.img_all_clear)->trigger();
  for (int tick = 0; tick < 3; ++tick) text ? f.連続テキスト_Timer() : f.連続画像_Timer();
  QVERIFY2(w.fx.messages.done(), qPrintable(w.fx.messages.report()));
  QVERIFY(!f.continuous_checks[int(text)]->isChecked() &&
          !(text ? f.text_timer : f.image_timer)->enabled());
}

// The picture formats the settings file adds are registered, and run in the slideshow with the
// next picture decoded ahead, as a JPEG is: no tick decodes on the window's thread.
void TestSteppingForm::added_picture_formats_run_with_look_ahead() {
  FormFixture fx;
  fx.write_settings(
      QStringLiteral("[最大ファイル数]\nファイル数=20\n[イメージ拡張子]\n"
                     "拡張子0=png\n拡張子1=tiff\n拡張子2=webp\n拡張子3=svg\n"));
  Form1& f = fx.make(false);
  f.show();
  QStringList paths;
  for (const char* name : {"a.png", "b.tiff", "c.webp"}) {
    paths << fx.folder() + "/pics/" + name;
    write_picture(paths.last(), Qt::blue, 40 + paths.size(), 30);
  }
  paths << fx.write_file("pics/d.svg",
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"44\" height=\"30\">"
                         "<rect width=\"44\" height=\"30\" fill=\"blue\"/></svg>");
  for (const QString& path : paths) f.ファイルの表示(path, DisplayTarget::ShowPane);
  QCOMPARE(f.image_list->count(), 4);
  QVERIFY(f.st.txt.empty());
  f.continuous_checks[0]->click();
  for (int cur : {0, 1, 2, 3, 0}) {
    // The interval passes: the picture the tick shows is decoded ahead meanwhile. (The pane may
    // sharpen what it showed before on its own schedule then; only the tick is counted.)
    QTRY_VERIFY(f.look_ahead().ready());
    const int decodes = f.image_pane->decode_count();
    f.連続画像_Timer();
    QCOMPARE(labels(f), paths[cur]);
    QCOMPARE(f.image_pane->picture().size(), QSize(41 + cur, 30));
    QCOMPARE(f.image_pane->decode_count(), decodes);
  }
}

// Six pictures, their list shown by the menu (stepping to entry 0), entry 2 made current and line
// 1 selected. An action is a list event, or a number typed and then Enter (\r) or focus out (\t).
void TestSteppingForm::choosing_an_entry_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<int>("cur");
  QTest::addColumn<int>("line");     // the list's selected line
  QTest::addColumn<int>("picture");  // the entry on display
  // clang-format off
  QTest::newRow("left click on line 1")  << "click"    << 1 << 1  << 1;
  QTest::newRow("Down key")              << "down"     << 2 << 2  << 2;
  QTest::newRow("4 Enter")               << "4\r"      << 4 << 4  << 4;
  QTest::newRow("9 Enter")               << "9\r"      << 2 << 2  << 0;
  QTest::newRow("4 Tab")                 << "4\t"      << 4 << 1  << 4;
  QTest::newRow("1e400 Tab")             << "1e400\t"  << 2 << 1  << 0;
  QTest::newRow("Tab on an empty box")   << "\t"       << 2 << 1  << 0;
  QTest::newRow("full-width 4 Enter")    << "４\r"      << 4 << 4  << 4;
  QTest::newRow("full-width 3.5 Tab")    << "　３．５\t" << 4 << 1  << 4;
  QTest::newRow("full-width letter Tab") << "ａ\t"      << 2 << 1  << 0;
  // clang-format on
}

void TestSteppingForm::choosing_an_entry() {
  QFETCH(QString, action);
  QFETCH(int, cur);
  QFETCH(int, line);
  QFETCH(int, picture);
  Window w(6, 0);
  Form1& f = *w.f;
  QListWidget* list = f.image_list;
  f.登録ファイル名表示->trigger();
  f.st.img.cur = 2;
  list->setCurrentRow(1);
  if (action.endsWith('\r') || action.endsWith('\t')) {
    f.number_box->setText(action.chopped(1));
    action.endsWith('\r') ? QTest::keyClick(f.number_box, Qt::Key_Return) : f.Text1_LostFocus();
  } else if (action == "click") {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
  } else {
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
  }
  QCOMPARE((QList<int>{f.st.img.cur, list->currentRow(), f.image_pane->picture().width() - 40}),
           (QList<int>{cur, line, picture}));
  QCOMPARE(f.number_box->text(), display_number(cur));
}

// Three pictures or texts, entry 0 on display; entry 1's file goes before an image arrow, an image
// or text tick, or a text arrow through the spreadsheet preview reaches it. Ticks and arrows under
// the open question (a modal box's loop) must neither ask again nor move its entry. Yes (the arrow)
// steps back to entry 0; No blanks the pane, keeps what the step did, and a slideshow runs on.
void TestSteppingForm::missing_file_data() {
  QTest::addColumn<QString>("route");
  for (const char* route : {"arrow", "tick", "text tick", "preview"}) QTest::newRow(route) << route;
}

void TestSteppingForm::missing_file() {
  QFETCH(QString, route);
  const bool yes = route == "arrow";
  const bool text = route == "text tick" || route == "preview";
  const bool tick = route.endsWith("tick");
  Window w(text ? 0 : 3, text ? 3 : 0);
  Form1& f = *w.f;
  Register& r = text ? f.st.txt : f.st.img;
  const QStringList& files = text ? w.texts : w.images;
  if (tick) f.continuous_checks[int(text)]->click();
  if (route == "preview") f.st.sheet_app = SheetApp::Excel;
  const auto step = [&] {
    if (route == "arrow") QTest::mouseClick(f.image_arrows[1], Qt::LeftButton);
    if (route == "tick") f.連続画像_Timer();
    if (route == "text tick") f.連続テキスト_Timer();
    if (route == "preview") QTest::mouseClick(f.text_arrows[1], Qt::LeftButton);
  };
  step();
  QFile::remove(files[1]);
  int cur_under_box = -1;
  w.fx.messages.while_open = [&](const QString&) {
    f.連続画像_Timer();
    f.連続テキスト_Timer();
    f.Command2_Click(1);
    f.Command3_Click(1);
    cur_under_box = r.cur;
  };
  w.fx.messages.expect(files[1] + kMissing, yes ? MsgAnswer::Yes : MsgAnswer::No);
  step();
  QCOMPARE(
      (QList<int>{cur_under_box, r.last, r.cur, int((text ? f.text_list : f.image_list)->count())}),
      (yes ? QList<int>{1, 1, 0, 2} : QList<int>{1, 2, 1, 3}));
  QCOMPARE(r.path(1), files[yes ? 2 : 1]);
  if (route != "tick") QCOMPARE(f.number_box->text() + labels(f), "  0" + files[0]);
  if (!yes && route != "preview")
    QVERIFY(text ? f.text_pane->text().isEmpty() : f.image_pane->picture().isNull());
  QCOMPARE(f.continuous_checks[int(text)]->isChecked() &&
               (text ? f.text_timer : f.image_timer)->enabled(),
           tick);
}

// One picture on display, or a text ("text" rows); each row runs the removal or deletion command
// in its situation, answering the boxes listed ("text|answer", %1 the path). Then: file, entry
// left?
void TestSteppingForm::remove_and_delete_data() {
  QTest::addColumn<QString>("situation");
  QTest::addColumn<QStringList>("boxes");
  QTest::addColumn<bool>("file_left");
  QTest::addColumn<bool>("entry_left");
  const QString remove_picture = QStringLiteral("登録した画像ファイル名を消去してもいいですか？");
  const QString remove_text = QStringLiteral("登録したテキストファイル名を消去してもいいですか？");
  const QString ask = "%1" + kAskDelete;
  const QString failed = QStringLiteral("%1を削除できませんでした。\n\r");
  const QString no_trash = QStringLiteral("ゴミ箱に移動できません。完全に削除しますか？");
  const QString unconfirmed =
      QStringLiteral("%1の削除を行いましたが、結果を確認できませんでした。\n\r");
  // clang-format off
  QTest::newRow("remove the picture")               << "remove"      << QStringList{remove_picture + "|OK"}                                    << true  << false;
  QTest::newRow("remove the text")                  << "text remove" << QStringList{remove_text + "|OK"}                                       << true  << false;
  QTest::newRow("picture into the trash")           << "delete"      << QStringList{ask + "|Yes"}                                              << false << false;
  QTest::newRow("text into the trash")              << "text delete" << QStringList{ask + "|Yes"}                                              << false << false;
  QTest::newRow("link into the trash, not target")  << "link"        << QStringList{ask + "|Yes"}                                              << false << false;
  QTest::newRow("labels name another file")         << "other file"  << QStringList{"削除するファイルが表示されていません。"}                  << true  << true;
  QTest::newRow("removal, labels name another file") << "other file remove" << QStringList{"削除するファイルが表示されていません。"}          << true  << true;
  QTest::newRow("file gone before the command")     << "gone"        << QStringList{ask + "|Yes", failed + "ファイルが見つかりません。"}        << false << true;
  QTest::newRow("question answered No")             << "delete"      << QStringList{ask + "|No"}                                               << true  << true;
  QTest::newRow("file replaced after the question") << "replaced"    << QStringList{ask + "|Yes", failed + "確認の後でファイルが別のファイルに替わりました。"} << true << true;
  QTest::newRow("folder nobody may change")         << "read-only"   << QStringList{ask + "|Yes", failed + "アクセス権がありません。"}          << true  << true;
  QTest::newRow("no trash: delete for good")        << "no trash"    << QStringList{ask + "|Yes", no_trash + "|Yes"}                           << false << false;
  QTest::newRow("no trash: keep the file")          << "no trash"    << QStringList{ask + "|Yes", no_trash + "|No"}                            << true  << true;
  // The move went through, but its check met another program's doing: told apart from a failure;
  // the entry stays exactly while a file stands at its place.
  QTest::newRow("trashed, new file at its place")   << "unconfirmed: new file"  << QStringList{ask + "|Yes", unconfirmed + "元の場所にまだファイルがあります。"} << true << true;
  QTest::newRow("trashed, taken out of the trash")  << "unconfirmed: take file" << QStringList{ask + "|Yes", unconfirmed + "ゴミ箱の中にファイルが見つかりません。"} << false << false;
  // clang-format on
}

void TestSteppingForm::remove_and_delete() {
  QFETCH(QString, situation);
  QFETCH(QStringList, boxes);
  QFETCH(bool, file_left);
  QFETCH(bool, entry_left);
  Window w(1, 0);
  Form1& f = *w.f;
  const bool text = situation.startsWith("text");
  QString path = w.images[0];
  if (text)
    f.ファイルの表示(path = w.fx.write_file("docs/note.txt", "note"), DisplayTarget::ShowPane);
  if (situation == "link") {
    QVERIFY(QFile::link(w.images[0], path = w.fx.folder() + "/link.bmp"));
    f.ファイルの表示(path, DisplayTarget::ShowPane);
  }
  const QString folder = QFileInfo(path).absolutePath();
  const bool locked = situation == "read-only";
  if (locked && kThreadSanitizer) QSKIP(kNoChildProcessUnderThreadSanitizer);
  if (locked && QProcess::execute("chattr", {"+i", folder}) != 0) QSKIP("chattr +i is unavailable");
  const auto unlock = qScopeGuard([&] {
    if (locked) QProcess::execute("chattr", {"-i", folder});
  });
  if (situation.startsWith("other file")) f.ラベル表示(w.fx.folder() + "/pics/other.bmp");
  if (situation == "gone") QFile::remove(path);
  if (situation == "no trash") {  // a trash folder that cannot be made
    w.config.data_home = w.fx.write_file("blocked", "") + "/share";
    w.trash = Trash(w.config);
  }
  if (situation.startsWith("unconfirmed")) {
    w.config.after_removal = [&](const QString& removed) {
      if (situation.endsWith("new file")) write_picture(removed, Qt::black);
      if (situation.endsWith("take file"))
        QFile::remove(w.config.data_home + "/Trash/files/" + QFileInfo(removed).fileName());
    };
    w.trash = Trash(w.config);
  }
  if (situation == "replaced") {
    w.fx.messages.while_open = [&](const QString& message) {
      if (!message.endsWith(kAskDelete)) return;
      QFile::rename(path, w.fx.folder() + "/decoy.bmp");
      write_picture(path, Qt::black);
    };
  }
  const QMap<QString, MsgAnswer> answers{{"Yes", MsgAnswer::Yes}, {"No", MsgAnswer::No}};
  for (const QString& box : boxes)
    w.fx.messages.expect(box.section(u'|', 0, 0).replace("%1", path),
                         answers.value(box.section(u'|', 1), MsgAnswer::Ok));
  if (situation.endsWith("remove"))
    (text ? f.text_登録から削除 : f.image_登録から削除)->trigger();
  else
    (text ? f.text_ファイル削除 : f.image_ファイル削除)->trigger();
  if (situation == "no trash")
    QCOMPARE(w.fx.messages.buttons_seen.last(), MsgButtons::YesNoDefaultNo);
  QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), file_left);
  if (path != w.images[0]) QVERIFY(QFileInfo::exists(w.images[0]));
  const Register& r = text ? f.st.txt : f.st.img;
  QCOMPARE(r.paths.contains(path), entry_left);
  // Only a file moved to the trash leaves a record there.
  const bool trashed =
      (!file_left && !entry_left && situation != "no trash") || situation.startsWith("unconfirmed");
  QCOMPARE(QDir(w.config.data_home + "/Trash/info").entryList(QDir::Files).size(), int(trashed));
  // The last entry gone blanks its side; the text side keeps its clearing, search and opening
  // commands (with no text registered, the picture rows find them off).
  if (!r.empty()) return;
  QCOMPARE(f.count_label->text() + f.number_box->text() + labels(f), QString());
  QVERIFY((text ? f.text_pane->text().isEmpty() : f.image_pane->picture().isNull()) &&
          (text ? f.text_arrows : f.image_arrows)[1]->isHidden());
  for (QAction* a : text ? QList<QAction*>{f.text_ファイル削除, f.コピー}
                         : QList<QAction*>{f.画像のコピー, f.image_登録から削除,
                                           f.image_ファイル削除, f.img_file_open, f.img_all_clear})
    QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
  for (QAction* a : {f.txt_all_clear, f.txt_kensaku, f.txt_file_open})
    QCOMPARE(a->isEnabled(), text);
}

// Three pictures or texts run and the entry on display is removed: by the command, or (for the
// newest text) by Yes to the missing-file question of a tick. The removal's backward step only
// stops the display, so the pane still shows the removed file: the current index never names a
// slot past the newest entry, a second removal is refused as naming no entry on display, and the
// next step shows a registered file without asking about a missing one.
void TestSteppingForm::removal_while_the_slideshow_runs_data() {
  QTest::addColumn<bool>("text");
  QTest::addColumn<int>("shown");    // the entry on display when it is removed
  QTest::addColumn<int>("current");  // the current index after the removal
  QTest::newRow("pictures, the newest") << false << 2 << -1;
  QTest::newRow("texts, the newest, its file gone") << true << 2 << -1;
  QTest::newRow("pictures, the middle") << false << 1 << 1;
  QTest::newRow("texts, the middle") << true << 1 << 1;
}

void TestSteppingForm::removal_while_the_slideshow_runs() {
  QFETCH(bool, text);
  QFETCH(int, shown);
  QFETCH(int, current);
  const QString remove_question =
      text ? QStringLiteral("登録したテキストファイル名を消去してもいいですか？")
           : QStringLiteral("登録した画像ファイル名を消去してもいいですか？");
  Window w(text ? 0 : 3, text ? 3 : 0);
  Form1& f = *w.f;
  const Register& r = text ? f.st.txt : f.st.img;
  const QStringList& files = text ? w.texts : w.images;
  QAction* remove = text ? f.text_登録から削除 : f.image_登録から削除;
  f.continuous_checks[int(text)]->click();
  const auto tick = [&] { text ? f.連続テキスト_Timer() : f.連続画像_Timer(); };
  for (int i = 0; i < shown; ++i) tick();
  if (text && shown == 2) {
    QFile::remove(files[2]);
    w.fx.messages.expect(files[2] + kMissing, MsgAnswer::Yes);
    tick();
  } else {
    tick();
    QCOMPARE(labels(f), files[shown]);
    w.fx.messages.expect(remove_question);
    remove->trigger();
  }
  QVERIFY(!f.continuous_checks[int(text)]->isChecked());
  QStringList left = files;
  left.removeAt(shown);
  QCOMPARE(r.path(0) + r.path(1) + r.path(2), left.join(QString()));
  QCOMPARE(r.last, 1);
  QCOMPARE(r.cur, current);
  if (current < 0) {
    // A number outside the register puts back no number, there being no current entry.
    f.number_box->setText("9");
    QTest::keyClick(f.number_box, Qt::Key_Return);
    QCOMPARE(f.number_box->text(), QString());
  }
  w.fx.messages.expect(QStringLiteral("削除するファイルが表示されていません。"));
  remove->trigger();
  QCOMPARE(r.path(0) + r.path(1), left.join(QString()));
  QCOMPARE(r.last, 1);
  QCOMPARE(r.cur, current);
  // The next step goes round to entry 0.
  text ? f.Command3_Click(1) : f.Command2_Click(1);
  QCOMPARE(r.cur, 0);
  QCOMPARE(labels(f), files[0]);
  QVERIFY2(w.fx.messages.done(), qPrintable(w.fx.messages.report()));
}

// A display started on registers that show nothing yet (bulk-loaded, and the first picture comes
// with the first tick) names no entry: the removal commands remove nothing.
void TestSteppingForm::removal_with_nothing_on_display() {
  FormFixture fx;
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=20\n"));
  for (int i = 0; i < 3; ++i)
    write_picture(fx.folder() + QStringLiteral("/p%1.bmp").arg(i), Qt::red, 40, 30);
  fx.write_file("t0.txt", "text");
  Form1& f = fx.make(false);
  f.show();
  f.browse_to(fx.folder());
  fx.messages.expect(fx.folder() + QStringLiteral("の画像ファイル名を登録しますか？"));
  f.img_all_load->trigger();
  fx.messages.expect(fx.folder() + QStringLiteral("のテキストファイル名を登録しますか？"));
  f.txt_all_load->trigger();
  QCOMPARE(f.st.img.last, 2);
  QCOMPARE(f.st.txt.last, 0);
  f.continuous_checks[0]->click();
  for (QAction* remove : {f.image_登録から削除, f.text_登録から削除}) {
    fx.messages.expect(QStringLiteral("削除するファイルが表示されていません。"));
    remove->trigger();
  }
  QCOMPARE(f.st.img.last, 2);
  QCOMPARE(f.st.txt.last, 0);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

// The keys act as the buttons of the register on display; the list menu shows the list of that
// register; the number box's focus stops the slideshow and bares its number.
void TestSteppingForm::keys_list_menu_and_number_box_focus() {
  Window w(3, 3);
  Form1& f = *w.f;
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  // The text pane is on display: the menu shows the text list and steps to entry 0.
  f.登録ファイル名表示->trigger();
  QVERIFY(!f.text_list->isHidden() && f.image_list->isHidden());
  QTest::keyClick(&f, Qt::Key_Left, Qt::AltModifier);
  QCOMPARE(f.st.txt.cur, 2);
  QTest::keyClick(&f, Qt::Key_Right, Qt::AltModifier);
  QCOMPARE(f.st.txt.cur, 0);
  // With images running, their list shows and Alt+S pauses and resumes them.
  f.continuous_checks[0]->click();
  QVERIFY(!f.image_list->isHidden() && f.text_list->isHidden());
  for (const auto& [glyph, running] : {std::pair{"■", false}, std::pair{"□", true}}) {
    QTest::keyClick(&f, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(f.pause_buttons[0]->text(), QString(glyph));
    QCOMPARE(f.image_timer->enabled(), running);
  }
  for (int tick = 0; tick < 2; ++tick) f.連続画像_Timer();
  f.Text1_GotFocus();
  QVERIFY(!f.continuous_checks[0]->isChecked() && !f.image_timer->enabled() &&
          f.pause_buttons[0]->isHidden());
  QCOMPARE(f.number_box->text(), QString("1"));
  // The picture pane is on display now: Alt+Right steps the pictures.
  QTest::keyClick(&f, Qt::Key_Right, Qt::AltModifier);
  QCOMPARE(f.st.img.cur, 2);
}

// With the focus on the picture (a click on it gives it) or on an image arrow button, the arrow
// keys and Page Up / Page Down step the pictures as the arrow buttons do: a second window gets the
// buttons' clicks and must end at the same entry. Elsewhere the keys keep their own meaning and
// step nothing.
void TestSteppingForm::picture_keys_step_as_the_arrows_data() {
  QTest::addColumn<QString>("focus");  // the control's name
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("button");  // the arrow the key stands for; -1 for none
  // clang-format off
  QTest::newRow("picture, Left")           << "Image1"      << int(Qt::Key_Left)     << 0;
  QTest::newRow("picture, Right")          << "Image1"      << int(Qt::Key_Right)    << 1;
  QTest::newRow("picture, Page Up")        << "Image1"      << int(Qt::Key_PageUp)   << 0;
  QTest::newRow("picture, Page Down")      << "Image1"      << int(Qt::Key_PageDown) << 1;
  QTest::newRow("backward arrow, Right")   << "Command2(0)" << int(Qt::Key_Right)    << 1;
  QTest::newRow("forward arrow, Page Up")  << "Command2(1)" << int(Qt::Key_PageUp)   << 0;
  QTest::newRow("picture list, Right")     << "Img_List"    << int(Qt::Key_Right)    << -1;
  QTest::newRow("picture list, Page Up")   << "Img_List"    << int(Qt::Key_PageUp)   << -1;
  QTest::newRow("number box, Left")        << "Text1"       << int(Qt::Key_Left)     << -1;
  QTest::newRow("file box, Right")         << "File1"       << int(Qt::Key_Right)    << -1;
  QTest::newRow("folder tree, Page Down")  << "SHTree1"     << int(Qt::Key_PageDown) << -1;
  // clang-format on
}

void TestSteppingForm::picture_keys_step_as_the_arrows() {
  QFETCH(QString, focus);
  QFETCH(int, key);
  QFETCH(int, button);
  Window keys(3, 0), clicks(3, 0);
  Form1& f = *keys.f;
  if (focus == "Img_List") {
    f.登録ファイル名表示->trigger();
    clicks.f->登録ファイル名表示->trigger();
  }
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  auto* target = f.findChild<QWidget*>(focus);
  QVERIFY(target && target->isVisible());
  if (target == f.image_pane) {
    QTest::mouseClick(f.image_pane, Qt::LeftButton, {}, QPoint(5, 5));
  } else {
    target->setFocus();
  }
  QCOMPARE(QApplication::focusWidget(), target);
  QSet<int> shown{f.st.img.cur};
  for (int press = 0; press < 4; ++press) {
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key(key));
    if (button >= 0) clicks.f->image_arrows[button]->click();
    QCOMPARE(f.st.img.cur, clicks.f->st.img.cur);
    QCOMPARE(labels(f).section('/', -1), labels(*clicks.f).section('/', -1));
    shown.insert(f.st.img.cur);
  }
  // The keys that step went round the three pictures; the others left the entry as it was.
  QCOMPARE(shown.size(), button >= 0 ? 3 : 1);
  QVERIFY2(keys.fx.messages.done(), qPrintable(keys.fx.messages.report()));
}

// Space on the picture or an arrow button pauses and resumes the running pictures (a click on the
// arrow would stop them); with no display running, Space on a button clicks it as ever.
void TestSteppingForm::space_pauses_the_running_pictures() {
  Window w(3, 0);
  Form1& f = *w.f;
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  f.continuous_checks[0]->click();
  f.連続画像_Timer();
  QTest::mouseClick(f.image_pane, Qt::LeftButton, {}, QPoint(5, 5));
  for (QWidget* focus :
       {static_cast<QWidget*>(f.image_pane), static_cast<QWidget*>(f.image_arrows[1])}) {
    focus->setFocus();
    for (const auto& [glyph, running] : {std::pair{"■", false}, std::pair{"□", true}}) {
      QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Space);
      QCOMPARE(f.pause_buttons[0]->text(), QString(glyph));
      QCOMPARE(f.image_timer->enabled(), running);
      QCOMPARE(f.st.img_paused, !running);
      QVERIFY(f.continuous_checks[0]->isChecked());
    }
  }
  // A held key pauses once.
  QTest::keyPress(static_cast<QWidget*>(nullptr), Qt::Key_Space);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
  QApplication::sendEvent(f.image_arrows[1], &repeat);
  QTest::keyRelease(static_cast<QWidget*>(nullptr), Qt::Key_Space);
  QVERIFY(f.st.img_paused);
  // Stopped, Space on the forward arrow is its click again, and on the picture nothing.
  f.continuous_checks[0]->click();
  QVERIFY(!f.continuous_checks[0]->isChecked());
  const int before = f.st.img.cur;
  f.image_pane->setFocus();
  QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Space);
  QCOMPARE(f.st.img.cur, before);
  f.image_arrows[1]->setFocus();
  QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Space);
  QVERIFY(f.st.img.cur != before);
}

// Three pictures and two texts registered, the text pane on display; each row runs its steps:
// I / T click Check1(0) / (1), a / b / t image arrow forward / back, text arrow forward, p / q
// pause Command1(0) / (1), x / y the image / text tick, i / u show a picture / a text from the
// file box, r / s remove the current picture / text, c / d clear the pictures / the texts, l
// toggle 登録ファイル名表示, e end the search screen. The controls as seen, in pairs of pictures
// and texts: panes, arrows, pause buttons, pause captions "■", lists, check boxes. After every
// step the controls and commands must agree with the state they are written from, and the
// queries with what the labels show.
void TestSteppingForm::sides_show_their_state_data() {
  QTest::addColumn<QString>("steps");
  QTest::addColumn<QString>("seen");
  // clang-format off
  QTest::newRow("registered")              << ""    << "01 11 00 00 00 00";
  QTest::newRow("pictures run")            << "I"   << "10 10 10 00 00 10";
  QTest::newRow("texts take over")         << "IT"  << "01 01 01 00 00 01";
  QTest::newRow("picture arrow stops")     << "Ia"  << "10 11 00 00 00 00";
  QTest::newRow("text arrow, pictures on") << "It"  << "01 10 10 00 00 10";
  QTest::newRow("paused pictures tick")    << "Ipx" << "10 10 10 10 00 10";
  QTest::newRow("texts paused")            << "Tyq" << "01 01 01 01 00 01";
  QTest::newRow("lists shown")             << "l"   << "01 11 00 00 01 00";
  QTest::newRow("lists hidden again")      << "ll"  << "01 11 00 00 00 00";
  QTest::newRow("pictures run, listed")    << "lI"  << "10 10 10 00 10 10";
  QTest::newRow("picture from file box")   << "i"   << "10 11 00 00 00 00";
  QTest::newRow("back and text shown")     << "btu" << "01 11 00 00 00 00";
  QTest::newRow("every picture removed")   << "rrr" << "10 01 00 00 00 00";
  QTest::newRow("every text removed")      << "ss"  << "01 10 00 00 00 00";
  QTest::newRow("pictures cleared")        << "c"   << "01 01 00 00 00 00";
  QTest::newRow("cleared while running")   << "Ic"  << "10 00 00 00 00 10";
  QTest::newRow("next tick stops")         << "Icx" << "10 01 00 00 00 00";
  QTest::newRow("texts cleared")           << "d"   << "01 10 00 00 00 00";
  QTest::newRow("search screen ended")     << "Ie"  << "01 11 10 00 00 10";
  // clang-format on
}

void TestSteppingForm::sides_show_their_state() {
  QFETCH(QString, steps);
  QFETCH(QString, seen);
  Window w(3, 2);
  Form1& f = *w.f;
  auto bits = [](bool a, bool b) { return QString(a ? "1" : "0") + (b ? "1" : "0"); };
  auto agree = [&](const QString& step) {
    for (const bool image : {true, false}) {
      const Form1::RegisterSide s = f.side(image);
      const QString where = step + (image ? " pictures" : " texts");
      QVERIFY2(s.pane->isHidden() != s.view.pane, qPrintable(where + ": pane"));
      QVERIFY2(s.arrows[0]->isHidden() != s.view.arrows, qPrintable(where + ": arrow"));
      QVERIFY2(s.arrows[1]->isHidden() != s.view.arrows, qPrintable(where + ": arrow"));
      QVERIFY2(s.pause->isHidden() != s.view.pause, qPrintable(where + ": pause"));
      QVERIFY2((s.pause->text() == "■") == s.paused, qPrintable(where + ": caption"));
      QVERIFY2(s.list->isHidden() != s.view.list, qPrintable(where + ": list"));
      QVERIFY2(s.check->isChecked() == s.view.running, qPrintable(where + ": check box"));
      const SideView::Commands& c = s.view.commands;
      const std::pair<QAction*, bool> commands[] = {
          {s.clear_all, c.clear_all}, {s.search, c.search}, {s.open, c.open},
          {s.remove, c.remove},       {s.copy, c.copy},     {s.delete_file, c.delete_file}};
      for (const auto& [a, on] : commands) {
        if (a) QVERIFY2(a->isEnabled() == on, qPrintable(where + ": " + a->objectName()));
      }
    }
    const SideId shown = !f.image_pane->isHidden()  ? SideId::Images
                         : !f.text_pane->isHidden() ? SideId::Texts
                                                    : SideId::None;
    QCOMPARE(f.shown_side(), shown);
    const SideId running = f.continuous_checks[0]->isChecked()   ? SideId::Images
                           : f.continuous_checks[1]->isChecked() ? SideId::Texts
                                                                 : SideId::None;
    QCOMPARE(f.running_side(), running);
    QCOMPARE(f.current_entry_path(), labels(f));
    QCOMPARE(f.nothing_shown(), f.count_label->text().isEmpty());
    QCOMPARE(f.st.list_display, f.登録ファイル名表示->isChecked());
  };
  agree(QStringLiteral("registered"));
  for (const QChar step : steps) {
    switch (step.unicode()) {
      case 'I':
      case 'T':
        f.continuous_checks[step == 'I' ? 0 : 1]->click();
        break;
      case 'a':
      case 'b':
        f.Command2_Click(step == 'a' ? 1 : 0);
        break;
      case 't':
        f.Command3_Click(1);
        break;
      case 'p':
      case 'q':
        f.Command1_Click(step == 'p' ? 0 : 1);
        break;
      case 'x':
        f.連続画像_Timer();
        break;
      case 'y':
        f.連続テキスト_Timer();
        break;
      case 'i':
        f.ファイルの表示(w.images[0], DisplayTarget::ShowPane);
        break;
      case 'u':
        f.ファイルの表示(w.texts[0], DisplayTarget::ShowPane);
        break;
      case 'r':
        f.remove_img_entry();
        break;
      case 's':
        f.remove_txt_entry();
        break;
      case 'c':
        w.fx.messages.expect(
            QStringLiteral("登録した画像ファイル名をすべて消去してもいいですか？"));
        f.img_all_clear->trigger();
        break;
      case 'd':
        w.fx.messages.expect(
            QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？"));
        f.txt_all_clear->trigger();
        break;
      case 'l':
        f.登録ファイル名表示->trigger();
        break;
      case 'e':
        f.検索画面終了();
        break;
      default:
        QFAIL("unknown step");
    }
    agree(QString(step));
  }
  QVERIFY2(w.fx.messages.done(), qPrintable(w.fx.messages.report()));
  auto shown = [&](auto visible) { return bits(visible(true), visible(false)); };
  QCOMPARE(QStringList({shown([&](bool i) { return !f.side(i).pane->isHidden(); }),
                        shown([&](bool i) { return !f.side(i).arrows[0]->isHidden(); }),
                        shown([&](bool i) { return !f.side(i).pause->isHidden(); }),
                        shown([&](bool i) { return f.side(i).pause->text() == "■"; }),
                        shown([&](bool i) { return !f.side(i).list->isHidden(); }),
                        shown([&](bool i) { return f.side(i).check->isChecked(); })})
               .join(' '),
           seen);
}

QTEST_MAIN(TestSteppingForm)
#include "test_stepping_form.moc"
