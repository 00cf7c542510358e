// The main window shell: start-up, shutdown, the window layout and the notice window.

#include "about/version.h"
#include "app/command_line.h"
#include "app/form3.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "browse/file_box.h"
#include "comma_locale.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "platform/classic_timer.h"
#include "platform/message_box.h"
#include "platform/row_tips.h"
#include "platform/text_codecs.h"
#include "platform/twips.h"
#include "platform/widget_twips.h"
#include "settings/form2.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <memory>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const QString kFullSettings = QStringLiteral(
    "[検索拡張子]\n拡張子0=.txt\n拡張子1=\n拡張子2=.ini\n"
    "[1-2-3拡張子]\n拡張子0=wk4\n[Excel拡張子]\n拡張子0=xls\n拡張子10=xlw\n"
    "[表示時間]\nイメージ=0.5\nテキスト=2.5\n"
    "[表示属性]\nアーカイブ=False\n隠しファイル=True\n読みとり専用=1\nシステム=maybe\n"
    "表示ファイル=*.bmp;*.txt\n"
    "[最大ファイル数]\nファイル数=20.5\n"
    "[アプリケーションの選択]\nアプリケーション名=excel\n"
    "[イメージの表示を枠にあわせる]\n枠にあわせる=1\n[ファイルの削除]\nファイルの削除=1\n");

}  // namespace

class TestApp final : public QObject {
  Q_OBJECT
 private slots:
  void command_line_data();
  void command_line();
  void command_line_answers_without_a_display_data();
  void command_line_answers_without_a_display();
  void image_pane_geometry_data();
  void image_pane_geometry();
  void startup_without_a_settings_file();
  void file_count_at_start_up_data();
  void file_count_at_start_up();
  void fit_and_deletion_round_trip_data();
  void fit_and_deletion_round_trip();
  void first_start_with_the_shipped_settings_data();
  void first_start_with_the_shipped_settings();
  void every_placed_control_exists();
  void controls_have_distinct_accessible_names();
  void shown_list_lies_on_top();
  void settings_round_trip_under_a_comma_locale();
  void shutdown_leaves_a_read_only_settings_file();
  void window_lays_out_snaps_back_and_minimises();
  void window_lays_out_when_the_minimum_is_refused();
  void maximised_window_keeps_its_size();
  void qt_speaks_japanese_data();
  void qt_speaks_japanese();
  void cut_rows_show_whole_data();
  void cut_rows_show_whole();
  void every_control_shows_whole_data();
  void every_control_shows_whole();
};

Q_DECLARE_METATYPE(tarvex::CommandLine::Action)
Q_DECLARE_METATYPE(tarvex::MsgButtons)

// The arguments after the program's name: the first option decides; after "--" everything is a
// name; one name at most.
void TestApp::command_line_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<CommandLine::Action>("action");
  QTest::addColumn<QString>("target");  // for Run; for Error the one-line message
  using A = CommandLine::Action;
  const QString unknown = QStringLiteral("tarvex: 不明なオプションです: ");
  const QString two = QStringLiteral("tarvex: ファイルかフォルダは一つだけ指定できます: ");
  // clang-format off
  QTest::newRow("nothing")                << QStringList{}                         << A::Run     << "";
  QTest::newRow("a file")                 << QStringList{"/p/a.txt"}               << A::Run     << "/p/a.txt";
  QTest::newRow("a folder")               << QStringList{"docs"}                   << A::Run     << "docs";
  QTest::newRow("help")                   << QStringList{"--help"}                 << A::Help    << "";
  QTest::newRow("short help after a file") << QStringList{"a.txt", "-h"}           << A::Help    << "";
  QTest::newRow("version")                << QStringList{"--version"}              << A::Version << "";
  QTest::newRow("first option decides")   << QStringList{"--version", "--help"}    << A::Version << "";
  QTest::newRow("unknown option")         << QStringList{"--verbose"}              << A::Error   << unknown + "--verbose";
  QTest::newRow("unknown before help")    << QStringList{"-x", "--help"}           << A::Error   << unknown + "-x";
  QTest::newRow("a lone dash")            << QStringList{"-"}                      << A::Error   << unknown + "-";
  QTest::newRow("a Qt option is unknown") << QStringList{"-style", "fusion"}       << A::Error   << unknown + "-style";
  QTest::newRow("dashed name after --")   << QStringList{"--", "-odd-name.txt"}    << A::Run     << "-odd-name.txt";
  QTest::newRow("-- then --help")         << QStringList{"--", "--help"}           << A::Run     << "--help";
  QTest::newRow("-- after the name")      << QStringList{"a.txt", "--"}            << A::Run     << "a.txt";
  QTest::newRow("two names")              << QStringList{"a.txt", "b.txt"}         << A::Error   << two + "b.txt";
  QTest::newRow("two names after --")     << QStringList{"--", "a", "--"}          << A::Error   << two + "--";
  // clang-format on
}

void TestApp::command_line() {
  QFETCH(QStringList, arguments);
  QFETCH(CommandLine::Action, action);
  QFETCH(QString, target);
  const CommandLine line = parse_command_line(arguments);
  QCOMPARE(line.action, action);
  QCOMPARE(action == CommandLine::Action::Error ? line.error : line.target, target);
}

// The built program answers --help, --version and a mistake without a display, in UTF-8.
void TestApp::command_line_answers_without_a_display_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<int>("exit_code");
  QTest::addColumn<QString>("out");
  QTest::addColumn<QString>("err");
  const QString usage = usage_text();
  // clang-format off
  QTest::newRow("help")      << QStringList{"--help"}    << 0 << usage                 << "";
  QTest::newRow("version")   << QStringList{"--version"} << 0 << kVersionTitle + "\n" << "";
  QTest::newRow("unknown")   << QStringList{"--bogus"}   << 2 << ""  << "tarvex: 不明なオプションです: --bogus\n" + usage;
  QTest::newRow("two names") << QStringList{"a", "b"}    << 2 << ""  << "tarvex: ファイルかフォルダは一つだけ指定できます: b\n" + usage;
  QTest::newRow("no display") << QStringList{}           << 1 << ""  << no_display_text();
  // clang-format on
}

void TestApp::command_line_answers_without_a_display() {
  QFETCH(QStringList, arguments);
  QFETCH(int, exit_code);
  QFETCH(QString, out);
  QFETCH(QString, err);
  QVERIFY(usage_text().startsWith("使い方: tarvex [オプション] [ファイル|フォルダ]\n"));
  QCOMPARE(kVersionTitle, QString("Tarvex Ver1.2"));
  QProcess tarvex;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  tarvex.setProcessEnvironment(env);
  tarvex.start(QStringLiteral(TARVEX_BINARY), arguments);
  QVERIFY(tarvex.waitForFinished(30000));
  QCOMPARE(tarvex.exitStatus(), QProcess::NormalExit);
  QCOMPARE(tarvex.exitCode(), exit_code);
  QCOMPARE(QString::fromUtf8(tarvex.readAllStandardOutput()), out);
  QCOMPARE(QString::fromUtf8(tarvex.readAllStandardError()), err);
}

// The image pane's rectangles: limited to the window, and in the maximised display.
void TestApp::image_pane_geometry_data() {
  QTest::addColumn<QSize>("pane");
  QTest::addColumn<QSize>("outer");
  QTest::addColumn<QSize>("limited");
  QTest::addColumn<QRect>("maximised");
  const QSize outer(9660, 6975);
  // clang-format off
  QTest::newRow("at both thresholds") << QSize(12195, 9085) << QSize(16000, 12000) << QSize(12195, 9085) << QRect(10, 0, 12195, 9085);
  QTest::newRow("one twip too wide")  << QSize(12196, 100)  << outer               << QSize(6375, 100)  << QRect(10, 0, 16000, 12000);
  QTest::newRow("one twip too high")  << QSize(100, 9086)   << outer               << QSize(100, 5215)  << QRect(10, 0, 16000, 12000);
  // clang-format on
}

void TestApp::image_pane_geometry() {
  QFETCH(QSize, pane);
  QFETCH(QSize, outer);
  QFETCH(QSize, limited);
  QFETCH(QRect, maximised);
  QCOMPARE(limit_image_pane(pane, outer), limited);
  QCOMPARE(maximised_image_geometry(pane), maximised);
  const LayoutInput in{.height = outer.height(), .width = outer.width(), .image_size = pane};
  QCOMPARE(plan_layout(in).find("Image1"),
           std::optional(Placement{2640, 120, limited.width(), limited.height()}));
  // The text pane's places on the normal and on the search screen, as the layout pass sizes it.
  const int W = outer.width();
  const int H = outer.height();
  QCOMPARE(normal_pane_twips(outer), QRect(2640, 120, W - 3285, H - 1760));
  QCOMPARE(hit_pane_twips(outer), QRect(600, 120, W - 1245, H - 1760));
}

// Start-up without a settings file, and the file shutdown then writes: every key but the
// application, none being selected. The file box lists everything under the empty pattern; the
// pattern box keeps its "*.*".
void TestApp::startup_without_a_settings_file() {
  FormFixture fx;
  Form1& f = fx.make(true);
  QCOMPARE(f.st.txt.paths.size(), 202);
  QCOMPARE(f.image_timer->interval(), 0);
  QCOMPARE(f.file_box->pattern(), QString());
  QCOMPARE(f.file_box->attributes(), FileAttributes{});
  // The notice window refuses to close until shutdown unloads it.
  QVERIFY(!f.form3()->close());
  f.close();
  const QString text = decode_cp932(fx.settings_bytes());
  for (const char* line : {"イメージ=0\r\n", "アーカイブ=True\r\n", "表示ファイル=*.*\r\n",
                           "ファイルの削除=0\r\n", "拡張子10=\r\n"}) {
    QVERIFY2(text.contains(QString::fromUtf8(line)), line);
  }
  QVERIFY(!text.contains("アプリケーション名"));
}

// The file count's range ends are accepted without a message; beyond them the warning comes once
// and the registers are sized from 200.
void TestApp::file_count_at_start_up_data() {
  QTest::addColumn<QString>("count");
  QTest::addColumn<int>("slot_count");
  QTest::addColumn<bool>("warned");
  // clang-format off
  QTest::newRow("20, the lowest")  << "20"   << 22  << false;
  QTest::newRow("500, the highest") << "500" << 502 << false;
  QTest::newRow("501")             << "501"  << 202 << true;
  QTest::newRow("1000")            << "1000" << 202 << true;
  // clang-format on
}

void TestApp::file_count_at_start_up() {
  QFETCH(QString, count);
  QFETCH(int, slot_count);
  QFETCH(bool, warned);
  FormFixture fx;
  fx.write_settings("[最大ファイル数]\nファイル数=" + count + "\n");
  Form1& f = fx.make(warned);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.st.img.paths.size(), slot_count);
  QCOMPARE(f.st.txt.paths.size(), slot_count);
  // The count is never written back, so a wrong one is warned about at every start.
  f.close();
  QCOMPARE(decode_cp932(fx.settings_bytes()).contains("ファイル数=" + count + "\r\n"), true);
}

// Picture fitting and file deletion stored apart: each keeps its own value through start-up and
// shutdown, and applies its own effect.
void TestApp::fit_and_deletion_round_trip_data() {
  QTest::addColumn<bool>("fit");
  QTest::addColumn<bool>("deletion");
  QTest::newRow("fit only") << true << false;
  QTest::newRow("deletion only") << false << true;
}

void TestApp::fit_and_deletion_round_trip() {
  QFETCH(bool, fit);
  QFETCH(bool, deletion);
  FormFixture fx;
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=20\n"
                                   "[イメージの表示を枠にあわせる]\n枠にあわせる=%1\n"
                                   "[ファイルの削除]\nファイルの削除=%2\n")
                        .arg(int(fit))
                        .arg(int(deletion)));
  Form1& f = fx.make(false);
  QCOMPARE(f.image_pane->stretch(), fit);
  QCOMPARE(f.st.options.delete_allowed, deletion);
  f.ファイルの表示(fx.write_file("a.txt", "a"), 1);
  QCOMPARE(f.text_ファイル削除->isEnabled(), deletion);
  f.close();
  const QString text = decode_cp932(fx.settings_bytes());
  QVERIFY(text.contains(QStringLiteral("枠にあわせる=%1\r\n").arg(int(fit))));
  QVERIFY(text.contains(QStringLiteral("ファイルの削除=%1\r\n").arg(int(deletion))));
}

// With the settings file Tarvex ships, the first start copies it into the empty settings folder,
// reads it and shows no message, nor does the next start. A file that is there keeps its place:
// with a count out of range, or none, it still gets the warning at every start.
void TestApp::first_start_with_the_shipped_settings_data() {
  QTest::addColumn<QString>("existing");  // the settings file before the start; "": none
  QTest::addColumn<bool>("warned");
  // clang-format off
  QTest::newRow("empty settings folder") << QString() << false;
  QTest::newRow("count of 1000")         << "[最大ファイル数]\nファイル数=1000\n" << true;
  QTest::newRow("no count")              << "[表示時間]\nイメージ=3\n" << true;
  // clang-format on
}

void TestApp::first_start_with_the_shipped_settings() {
  QFETCH(QString, existing);
  QFETCH(bool, warned);
  FormFixture fx;
  fx.default_settings = QStringLiteral(TARVEX_DEFAULT_SETTINGS);
  if (!existing.isEmpty()) fx.write_settings(existing);
  const QByteArray before = fx.settings_bytes();
  QFile shipped(fx.default_settings);
  QVERIFY(shipped.open(QIODevice::ReadOnly));
  const QByteArray shipped_bytes = shipped.readAll();
  for (int start = 0; start < 2; ++start) {
    Form1& f = fx.make(warned);
    QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
    QCOMPARE(f.st.img.max_index, 200);
    if (warned && start == 0) {
      QCOMPARE(fx.settings_bytes(), before);
    } else if (start == 0) {
      QCOMPARE(fx.settings_bytes(), shipped_bytes);
      QCOMPARE(f.image_timer->interval(), 5000);
      QCOMPARE(f.text_timer->interval(), 10000);
      QCOMPARE(f.st.sheet_app, SheetApp::Excel);
      QCOMPARE(f.st.image_exts[5], QString("svg"));
      QCOMPARE(f.file_box->pattern(), QString("*.*"));
      QVERIFY(f.image_pane->stretch() && !f.form2()->Check3->isChecked());
    }
    f.close();
    fx.destroy();
  }
  // Shutdown kept what only the user edits, and the count.
  const QString text = decode_cp932(fx.settings_bytes());
  if (!warned) {
    for (const char* kept : {"ファイル数=200\r\n", "拡張子4=webp\r\n", "拡張子3=123\r\n"}) {
      QVERIFY2(text.contains(QString::fromUtf8(kept)), kept);
    }
  }
}

// The whole settings file under a locale with a decimal comma: read at start-up, and written
// back by the exit command with full stops.
void TestApp::settings_round_trip_under_a_comma_locale() {
  const CommaLocale comma;
  QVERIFY2(comma.active(), qPrintable(comma.why()));
  FormFixture fx;
  fx.write_settings(kFullSettings);
  Form1& f = fx.make(false);
  QCOMPARE(f.image_timer->interval(), 500);
  QCOMPARE(f.text_timer->interval(), 2500);
  QCOMPARE(f.st.img.max_index, 20);
  QCOMPARE(f.st.excel_exts[10], QString("xlw"));
  // "maybe" is no truth value: the system switch keeps its initial state.
  QCOMPARE(f.file_box->attributes(), (FileAttributes{false, true, true, false}));
  QCOMPARE(f.file_box->pattern(), QString("*.bmp;*.txt"));
  QCOMPARE(f.st.sheet_app, SheetApp::Excel);
  QVERIFY(f.form2()->Check2->isChecked() && f.form2()->Check3->isChecked());
  QVERIFY(f.st.options.fit && f.st.options.delete_allowed);
  QVERIFY(f.image_pane->stretch());
  f.終了->trigger();
  const QString text = decode_cp932(fx.settings_bytes());
  for (const char* line :
       {"イメージ=0.5\r\n", "テキスト=2.5\r\n", "アーカイブ=False\r\n", "読みとり専用=True\r\n",
        "拡張子1=\r\n", "アプリケーション名=excel\r\n",
        // What the options dialog never showed is kept as the file had it.
        "表示ファイル=*.bmp;*.txt\r\n", "枠にあわせる=1\r\n", "[1-2-3拡張子]\r\n拡張子0=wk4\r\n"}) {
    QVERIFY2(text.contains(QString::fromUtf8(line)), line);
  }
}

void TestApp::shutdown_leaves_a_read_only_settings_file() {
  FormFixture fx;
  fx.write_settings(kFullSettings);
  const QByteArray before = fx.settings_bytes();
  QVERIFY(QFile::setPermissions(fx.settings_path(), QFile::ReadOwner | QFile::ReadOther));
  Form1& f = fx.make(false);
  // The write fails (shutdown would rewrite "読みとり専用=1" as True); the user is told once, with
  // the file and why.
  fx.messages.expect("設定を保存できませんでした。\n\r" + fx.settings_path() +
                     "\n\rアクセス権がありません。");
  f.close();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(fx.messages.seen.size(), 1);
  QCOMPARE(fx.settings_bytes(), before);
}

void TestApp::every_placed_control_exists() {
  FormFixture fx;
  Form1& f = fx.make(true);
  QStringList titles;
  for (QAction* a : f.menuBar()->actions()) titles << a->text();
  QVERIFY(!titles.contains(QStringLiteral("ファイル")));
  for (const bool search_mode : {false, true}) {
    const LayoutInput in{
        .height = 9000, .width = 12000, .search_mode = search_mode, .image_size = {}};
    const LayoutPlan plan = plan_layout(in);
    for (const auto& [name, placement] : plan.places) {
      QVERIFY2(f.centralWidget()->findChild<QWidget*>(name), qPrintable(name));
    }
    // The search screen's text pane also takes the file box's width.
    QCOMPARE(plan.find("RichTextBox1")->width, std::optional(12000 - (search_mode ? 1245 : 3285)));
  }
}

// What a screen reader hears of each control: a name of its own on the object it meets (a pane's
// inner view), and the value a control shows, as it changes.
void TestApp::controls_have_distinct_accessible_names() {
  FormFixture fx;
  Form1& f = fx.make(true);
  auto heard = [](QWidget* w, QAccessible::Text t) {
    QWidget* met = w->focusProxy() ? w->focusProxy() : w;
    return QAccessible::queryAccessibleInterface(met)->text(t);
  };
  QStringList names;
  for (QWidget* w : f.centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const bool shows_value =
        w == f.count_label ||
        std::find(f.path_labels.begin(), f.path_labels.end(), w) != f.path_labels.end();
    if (qobject_cast<QLabel*>(w) && !shows_value) continue;  // captions name themselves
    const QString name = heard(w, QAccessible::Name);
    QVERIFY2(!name.isEmpty(), qPrintable(w->objectName()));
    if (!name.isEmpty()) names << name;
  }
  QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());

  // The values, while nothing is on display and then as the window shows them.
  QCOMPARE(heard(f.count_label, QAccessible::Name), QStringLiteral("登録数"));
  f.count_label->setText("/7");
  f.ラベル表示("/home/user/pics/a.bmp");
  f.number_box->setText("  7");
  f.st.img.register_path("/home/user/pics/a.bmp", false);
  f.Command1_Click(0);
  const std::tuple<QWidget*, QAccessible::Text, QString> values[] = {
      {f.count_label, QAccessible::Name, "登録数 /7"},
      {f.count_label, QAccessible::Value, "/7"},
      {f.path_labels[0], QAccessible::Name, "表示ファイル（1） /home"},
      {f.path_labels[1], QAccessible::Name, "表示ファイル（2） /user"},
      {f.path_labels[2], QAccessible::Name, "表示ファイル（3） /pics/a.bmp"},
      {f.number_box, QAccessible::Value, "  7"},
      {f.pause_buttons[0], QAccessible::Description, "一時停止中"},
      {f.pause_buttons[1], QAccessible::Description, "連続表示中"},
  };
  for (const auto& [w, t, expected] : values) {
    QCOMPARE(heard(w, t), expected);
  }
}

void TestApp::shown_list_lies_on_top() {
  FormFixture fx;
  Form1& f = fx.make(true);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  QTRY_VERIFY(f.st.layout_done);
  for (QWidget* shared :
       std::initializer_list<QWidget*>{f.image_list, f.text_list, f.result_view}) {
    shared->show();
    const QPoint centre = shared->geometry().center();
    QWidget* at = f.centralWidget()->childAt(centre);
    QVERIFY2(at == shared || shared->isAncestorOf(at), qPrintable(shared->objectName()));
    shared->hide();
  }
}

// The shown window is laid out, snaps back when made too low, lays out again when larger, and
// stops the continuous display when minimised.
void TestApp::window_lays_out_snaps_back_and_minimises() {
  FormFixture fx;
  Form1& f = fx.make(true);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  QTRY_COMPARE(twips_geometry(f.image_arrows[1]).topLeft(), QPoint(8280, 5475));
  // Geometry lands on whole pixels: 2275 twips is 151.67 pixels, shown as 152.
  QCOMPARE(f.file_box->height(), twips_to_px(2275));
  f.set_outer_size_twips(5000, 12000);
  QTRY_COMPARE(f.outer_size_twips(), QSize(9660, 6975));
  f.set_outer_size_twips(9000, 12000);
  QTRY_COMPARE(twips_geometry(f.image_arrows[1]).topLeft(), QPoint(12000 - 1380, 9000 - 1500));
  f.continuous_checks[0]->setChecked(true);
  f.image_timer->set_enabled(true);
  f.text_timer->set_enabled(true);
  f.setWindowState(Qt::WindowMinimized);
  QTRY_VERIFY(!f.image_timer->enabled());
  QVERIFY(!f.text_timer->enabled() && !f.continuous_checks[0]->isChecked() &&
          !f.continuous_checks[1]->isChecked());
}

void TestApp::window_lays_out_when_the_minimum_is_refused() {
  FormFixture fx;
  Form1& f = fx.make(true);
  f.setMaximumSize(500, 380);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  QTRY_VERIFY(f.st.layout_done);
  // The bottom rows follow the window's real lower and right edges (to a pixel).
  const QSize outer = f.outer_size_twips();
  QVERIFY(outer.width() < 9660);
  const QPoint arrow = twips_geometry(f.image_arrows[1]).topLeft();
  QVERIFY2((arrow - QPoint(outer.width() - 1380, outer.height() - 1500)).manhattanLength() <= 30,
           qPrintable(QStringLiteral("%1,%2").arg(arrow.x()).arg(arrow.y())));
}

// A maximised window has the size the window manager gives it. Its state changes before that size
// arrives: a pass that sees a size below the minimum then places the controls at that size and
// never snaps the window back, which would undo the maximising.
void TestApp::maximised_window_keeps_its_size() {
  FormFixture fx;
  Form1& f = fx.make(true);
  // Before it is shown the window takes a state and a size as they are given, as a window manager
  // reports them between a maximising and the size it brings.
  f.resize(480, 360);
  f.setWindowState(Qt::WindowMaximized);
  f.window_layout();
  QCOMPARE(f.size(), QSize(480, 360));
  QVERIFY(f.st.layout_done);
  // The bottom rows follow the size there is.
  const QSize outer = f.outer_size_twips();
  QVERIFY(std::abs(twips_geometry(f.image_arrows[1]).left() - (outer.width() - 1380)) <= 15);
}

// What Qt draws itself speaks Japanese once the window has started, whatever the locale: the
// buttons of a real message box and the pop-up menu of an edit box.
void TestApp::qt_speaks_japanese_data() {
  QTest::addColumn<MsgButtons>("buttons");
  QTest::addColumn<QStringList>("texts");
  QTest::newRow("question") << MsgButtons::YesNo << QStringList{"はい(&Y)", "いいえ(&N)"};
  QTest::newRow("safe question") << MsgButtons::YesNoDefaultNo
                                 << QStringList{"はい(&Y)", "いいえ(&N)"};
  QTest::newRow("with Cancel") << MsgButtons::OkCancel << QStringList{"OK", "キャンセル"};
  QTest::newRow("notice") << MsgButtons::Ok << QStringList{"OK"};
}

void TestApp::qt_speaks_japanese() {
  QFETCH(MsgButtons, buttons);
  QFETCH(QStringList, texts);
  FormFixture fx;
  Form1& f = fx.make(true);
  QtMessageService real(&f);
  QStringList shown;
  QTimer::singleShot(0, &f, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    for (QAbstractButton* b : box->buttons()) shown << b->text();
    box->buttons().constLast()->click();
  });
  real.msgbox(QStringLiteral("質問"), buttons);
  shown.sort();
  texts.sort();
  QCOMPARE(shown, texts);

  std::unique_ptr<QMenu> menu(f.number_box->createStandardContextMenu());
  QStringList items;
  for (const QAction* a : menu->actions()) {
    if (!a->isSeparator()) items << a->text().section(u'\t', 0, 0);
  }
  QCOMPARE(items, QStringList({"元に戻す(&U)", "やり直す(&R)", "切り取り(&T)", "コピー(&C)",
                               "貼り付け(&P)", "削除", "すべてを選択"}));
}

// A file box row or a register list row whose name is cut off at the list's edge shows the whole
// name (a register list row: its entry's path) as its tooltip; a row that fits shows none.
void TestApp::cut_rows_show_whole_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("cut");
  QTest::newRow("short name") << "a.txt" << false;
  QTest::newRow("long name") << QString(60, u'長') + ".txt" << true;
}

void TestApp::cut_rows_show_whole() {
  QFETCH(QString, name);
  QFETCH(bool, cut);
  FormFixture fx;
  const QString path = fx.write_file(name, "abc");
  Form1& f = fx.make(true);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  QVERIFY(f.file_box->set_path(fx.folder()));
  const int row = f.file_box->entries().indexOf(name);
  QVERIFY(row >= 0);
  const QModelIndex in_box = f.file_box->model()->index(row, 0);
  QCOMPARE(cut_row_tip(f.file_box, in_box), cut ? name : QString());

  f.st.txt.register_path(path, false);
  f.Txt_file_list();
  f.text_list->show();
  const QModelIndex in_list = f.text_list->model()->index(0, 0);
  QCOMPARE(cut_row_tip(f.text_list, in_list), cut ? path : QString());

  // The pointer resting on the row shows that tip.
  const QRect rect = f.file_box->visualRect(in_box);
  QHelpEvent rest(QEvent::ToolTip, rect.center(),
                  f.file_box->viewport()->mapToGlobal(rect.center()));
  QApplication::sendEvent(f.file_box->viewport(), &rest);
  QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), cut ? name : QString());
  QToolTip::hideText();
}

// Every control of the window shows whole in the design font, at the smallest window and at a
// larger one: a check box is at least as tall as its box, a button or an edit box as tall as its
// text needs, a caption as tall as a line of its font.
void TestApp::every_control_shows_whole_data() {
  QTest::addColumn<QSize>("outer");
  QTest::newRow("smallest") << QSize(9660, 6975);
  QTest::newRow("larger") << QSize(15000, 10995);
}

void TestApp::every_control_shows_whole() {
  QFETCH(QSize, outer);
  FormFixture fx;
  Form1& f = fx.make(true);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  f.set_outer_size_twips(outer.height(), outer.width());
  QTRY_COMPARE(f.outer_size_twips(), outer);
  for (QWidget* w : f.centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    int needed = 0;
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
      QStyleOptionButton option;
      option.initFrom(box);
      needed = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).height();
    } else if (qobject_cast<QLabel*>(w)) {
      needed = w->fontMetrics().height();
    } else if (qobject_cast<QPushButton*>(w)) {
      needed = static_cast<QPushButton*>(w)->iconSize().height();
    } else if (qobject_cast<QLineEdit*>(w)) {
      needed = w->fontMetrics().height();
    }
    QVERIFY2(w->height() >= needed, qPrintable(QStringLiteral("%1: %2 px tall, needs %3")
                                                   .arg(w->objectName())
                                                   .arg(w->height())
                                                   .arg(needed)));
  }
}

QTEST_MAIN(TestApp)
#include "test_app.moc"
