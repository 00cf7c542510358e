// The register search on the real window: the dialog, the hit list and its arrows, the find-next
// panel and the end of the search screen.

#include "app/main_window.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "display/text_view.h"
#include "form_fixture.h"
#include "platform/text_codecs.h"
#include "search/form4.h"
#include "slideshow/step_rule.h"
#include "test_pictures.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

// The window with the given texts registered; registering a text enables the search command.
Form1& make_form(FormFixture& fx, const QStringList& paths) {
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=20\n"));
  Form1& f = fx.make(false);
  f.st.search_exts = {QStringLiteral(".txt")};
  f.txt_kensaku->setEnabled(true);
  for (const QString& p : paths) f.st.txt.register_path(p, false);
  f.show();
  return f;
}

// Runs the search command; the dialog is given `text` and "Ｏ Ｋ" (Enter), or "キャンセル".
// Returns the dialog's mode and text as it opened.
QString search(Form1& f, const QString& text, bool cancel = false) {
  QString offered;
  QTimer::singleShot(0, &f, [&f, &offered, text, cancel] {
    Form4* d = f.form4();
    QVERIFY(d->isVisible());
    offered = QString::number(d->dialog_mode) + d->Text1->text();
    d->Text1->setText(text);
    if (cancel) d->Command1[1]->click();
    if (!cancel) QTest::keyClick(d->Text1, Qt::Key_Return);
  });
  f.txt_kensaku->trigger();
  return offered;
}

QStringList lines(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

// Searches `text` and opens the first hit with the find-next panel.
void open_first_hit(Form1& f, const QString& text) {
  search(f, text);
  f.hit_list->setCurrentRow(0);
  f.open_hit(false);
}

}  // namespace

class TestSearchForm : public QObject {
  Q_OBJECT

 private slots:
  void hit_list();
  void leaving_the_search_screen_data();
  void leaving_the_search_screen();
  void find_next();
  void cancel_keeps_hits_so_far();
  void find_next_over_the_text_as_shown();
  void find_next_near_the_end_of_a_long_text();
  void find_next_cancelled();
  void register_widened_while_asking();
};

// The hits in entry order on the search screen; the arrows open the line above or below (the
// first when none is selected, the ends stay) with the find-next panel beside the pane; a left
// press on a line opens its hit and a right release opens the file menu for the list.
void TestSearchForm::hit_list() {
  FormFixture fx;
  const QString a = fx.write_file("a.txt", encode_cp932(QStringLiteral("一行目\r\n検索対象\r\n")));
  const QString b = fx.write_file("b.txt", "nothing here");
  const QString c = fx.write_file("c.txt", QStringLiteral("UTF-8 の検索対象").toUtf8());
  Form1& f = make_form(fx, {a, b, a, c});
  std::atomic<int> started{0};
  f.scan_starting = [&started](int) { ++started; };
  search(f, "検索");
  const QStringList hits{a, a, c};
  QCOMPARE(lines(f.hit_list), hits);
  QCOMPARE(started.load(), 4);  // one scan of each entry, though it starts at "Ｏ Ｋ"
  QVERIFY(f.hit_list->isVisible() && f.result_view->isVisible() && !f.text_pane->isVisible());
  QVERIFY(f.hit_arrows[1]->isVisible() && f.文字列検索の終了->isEnabled());

  f.hit_list->clearSelection();
  // clang-format off
  const std::pair<int, int> steps[] = {  // arrow (0 up, 1 down), the line it opens
      {1, 0}, {0, 0}, {1, 1}, {1, 2}, {1, 2}, {0, 1}};
  // clang-format on
  for (const auto& [arrow, opened] : steps) {
    f.hit_arrows[arrow]->click();
    QCOMPARE(f.hit_list->currentRow(), opened);
    QCOMPARE(f.st.hit_path, hits[opened]);
  }
  QVERIFY(f.text_pane->isVisible() && !f.result_view->isVisible());
  QTRY_VERIFY(f.form4()->isVisible());

  QWidget* viewport = f.hit_list->viewport();
  const QPoint line2 = f.hit_list->visualItemRect(f.hit_list->item(2)).center();
  QTest::mousePress(viewport, Qt::LeftButton, {}, line2);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, line2);
  QCOMPARE(f.text_pane->text(), QStringLiteral("UTF-8 の検索対象"));
  PopupSource source_in_menu = PopupSource::None;
  f.popup_menu = [&](QMenu*, const QPoint&) {
    source_in_menu = f.st.popup_source;
    f.list_file_open->trigger();
  };
  QTest::mouseRelease(viewport, Qt::RightButton, {}, line2);
  QCOMPARE(source_in_menu, PopupSource::HitList);
  QCOMPARE(fx.opener.opened, QStringList{c});
}

// Every way out of the search screen, and every search that never reaches it, leaves the normal
// screen: the empty string, an empty register and no hit with their messages; the panel's end
// button (after the register was cleared meanwhile: an empty pane, no message), the End Search
// command and clearing the texts. The empty string is told first, even with no text registered.
// The picture arrows come back with the normal screen exactly when pictures are registered.
void TestSearchForm::leaving_the_search_screen_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("how");
  QTest::addColumn<QString>("message");
  QTest::addColumn<bool>("pictures");
  // clang-format off
  QTest::newRow("empty string")                 << ""    << "search"       << "検索する文字がありません！"   << false;
  QTest::newRow("empty string, empty register") << ""    << "unregistered" << "検索する文字がありません！"   << false;
  QTest::newRow("empty register")               << "abc" << "unregistered" << "ファイル名が登録されてません！" << false;
  QTest::newRow("no hit")                       << "ABC" << "search"       << "該当するファイルがありません！" << false;
  QTest::newRow("panel's end button")           << "b"   << "panel"        << ""                           << false;
  QTest::newRow("End Search command")           << "b"   << "command"      << ""                           << false;
  QTest::newRow("End Search, pictures there")   << "b"   << "command"      << ""                           << true;
  QTest::newRow("clearing the texts")           << "b"   << "clear"        << "登録したテキストファイル名をすべて消去してもいいですか？" << false;
  // clang-format on
}

void TestSearchForm::leaving_the_search_screen() {
  QFETCH(QString, text);
  QFETCH(QString, how);
  QFETCH(QString, message);
  QFETCH(bool, pictures);
  FormFixture fx;
  Form1& f = make_form(
      fx, how == "unregistered" ? QStringList{} : QStringList{fx.write_file("a.txt", "abc")});
  // With pictures, one is on display when the search starts: the search screen ends on the text
  // pane alone, never with the picture drawn over it.
  if (pictures) {
    QCOMPARE(f.ファイルの表示(fx.write_file("p.bmp", image_bytes(test_pattern(40, 30), "bmp")), 1),
             0);
    QVERIFY(f.image_pane->isVisible());
  }
  if (!message.isEmpty()) fx.messages.expect(message);
  // The ways out from an opened hit leave with the find-next panel showing.
  how == "panel" || how == "command" || how == "clear" ? open_first_hit(f, text)
                                                       : void(search(f, text));
  if (how == "panel") {
    f.st.txt.reset(20);
    f.form4()->Command1[1]->click();
    QCOMPARE(f.text_pane->text(), QString());
    QVERIFY(f.text_arrows[0]->isVisible() && f.number_caption->isVisible());
  } else if (how == "command") {
    f.文字列検索の終了->trigger();
  } else if (how == "clear") {
    // The question opens in front of the panel, not behind it.
    bool panel_on_top_during_question = true;
    fx.messages.while_open = [&](const QString&) {
      panel_on_top_during_question = f.form4()->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    };
    f.txt_all_clear_Click();
    QVERIFY(!panel_on_top_during_question);
  }
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QVERIFY(!f.st.search_mode);
  QVERIFY(!f.form4()->isVisible() && !f.hit_list->isVisible() && !f.hit_arrows[0]->isVisible());
  QVERIFY(f.text_pane->isVisible() && !f.result_view->isVisible());
  // A search screen that opened ends on the text pane alone.
  const bool screen_opened = !text.isEmpty() && how != "unregistered";
  if (screen_opened) QVERIFY(!f.image_pane->isVisible());
  // The number, the count and the path labels name the text entry the pane shows.
  if (screen_opened && how != "panel" && how != "clear") {
    QCOMPARE(f.number_box->text(), QStringLiteral("  0"));
    QCOMPARE(f.count_label->text(), QStringLiteral("/0"));
    QCOMPARE(f.path_labels[0]->text() + f.path_labels[1]->text() + f.path_labels[2]->text(),
             fx.folder() + "/a.txt");
  }
  QVERIFY(!f.文字列検索の終了->isEnabled());
  QCOMPARE(f.image_arrows[0]->isVisible() && f.image_arrows[1]->isVisible(), pictures);
}

// 😀x, two line breaks, aaa / aa: the occurrences at 6–7 and 7–8 (a line break counts one, the
// emoji two), then the message, then 6–7 again; the selection falls on the occurrence, in the
// result view over the text pane. The extension list holds ".txt": ".TXT" is searched, ".Txt"
// refused. A new search while the panel is open asks in the dialog again: it offers the last
// string when the pane has no selection (a cancel empties it), and the pane's selection otherwise.
void TestSearchForm::find_next() {
  FormFixture fx;
  const QStringList files{fx.write_file("a.TXT", QStringLiteral("😀x\r\n\r\naaa").toUtf8()),
                          fx.write_file("b.Txt", "aa")};
  Form1& f = make_form(fx, files);
  open_first_hit(f, "aa");
  Form4* panel = f.form4();
  QTRY_VERIFY(panel->isVisible());
  for (int hit_pos : {7, 8, -1, 7}) {
    if (hit_pos < 0) fx.messages.expect("検索文字はありません！");
    panel->Command1[0]->click();
    if (hit_pos > 0) QCOMPARE(f.st.hit_pos, hit_pos);
  }
  QCOMPARE(f.result_view->selected_text(), QStringLiteral("aa"));
  const QPoint middle = f.result_view->geometry().center();
  QVERIFY(f.result_view->isAncestorOf(f.centralWidget()->childAt(middle)));
  // The refusal must not open behind the panel, which stays on top of every other window.
  f.hit_arrows[1]->click();
  fx.messages.expect("このファイルの文字検索はできません！");
  bool panel_on_top_during_message = true;
  fx.messages.while_open = [&](const QString&) {
    panel_on_top_during_message = panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
  };
  panel->Command1[0]->click();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QVERIFY(!panel_on_top_during_message);
  QVERIFY(panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  fx.messages.expect("検索する文字がありません！");
  QCOMPARE(search(f, "x", true), QStringLiteral("1aa"));
  QVERIFY(!panel->isVisible());
  f.text_pane->select(0, 1);
  QCOMPARE(search(f, "a"), QStringLiteral("1a"));
  QCOMPARE(lines(f.hit_list), files);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

// A scan that takes long shows the progress dialog; "キャンセル" lists the hits so far. A pipe
// among the entries is skipped rather than waited on.
void TestSearchForm::cancel_keeps_hits_so_far() {
  FormFixture fx;
  const QString hit = fx.write_file("a.txt", "abc");
  const QString fifo = fx.folder() + QStringLiteral("/pipe.txt");
  QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  Form1& f = make_form(fx, {hit, fifo, hit, hit});
  f.scan_progress_delay_ms = 0;
  // The scan waits before the third and fourth entries until the dialog has been cancelled.
  std::atomic<bool> release{false};
  f.scan_starting = [&release](int entry) {
    while (entry >= 2 && !release) QThread::msleep(1);
  };
  QTimer poll;
  connect(&poll, &QTimer::timeout, &f, [&] {
    auto* progress = f.findChild<QProgressDialog*>(QStringLiteral("search_progress"));
    if (!progress || release || !progress->labelText().contains(QStringLiteral("2 / 4"))) return;
    QPushButton* cancel = progress->findChild<QPushButton*>();
    QVERIFY(progress->isVisible() && cancel && cancel->text() == QStringLiteral("キャンセル"));
    cancel->click();
    release = true;
  });
  poll.start(10);
  search(f, "b");
  QCOMPARE(lines(f.hit_list), QStringList{hit});
}

// A full register that has wrapped round lists only the entries up to the newest; the continuous
// display's tick widens it to every entry. A widening while the dialog is open counts: the
// search covers the register as it is when the dialog has closed.
void TestSearchForm::register_widened_while_asking() {
  FormFixture fx;
  QStringList files;
  for (int i = 0; i < 25; ++i)
    files << fx.write_file(QStringLiteral("f%1.txt").arg(i), i == 9 ? "abc" : "xyz");
  Form1& f = make_form(fx, files);
  QVERIFY(f.st.txt.last < 9);
  QTimer::singleShot(0, &f, [&f] {
    widen_full_register(f.st.txt);
    f.form4()->Text1->setText(QStringLiteral("abc"));
    QTest::keyClick(f.form4()->Text1, Qt::Key_Return);
  });
  f.txt_kensaku->trigger();
  QCOMPARE(lines(f.hit_list), QStringList{files[9]});
}

// Find-next searches the text as the pane shows it, by the register search's rule: a file listed
// for a string with a no-break space finds it (a space is no match), positions counting a line
// end one; the result view shows the pane's very text.
void TestSearchForm::find_next_over_the_text_as_shown() {
  FormFixture fx;
  const QString nbsp = QStringLiteral("価格\r\n1\u00A0000円 と 1 000円");
  const QString file = fx.write_file("nbsp.txt", nbsp.toUtf8());
  Form1& f = make_form(fx, {file});
  open_first_hit(f, QStringLiteral("1\u00A0000"));
  QCOMPARE(lines(f.hit_list), QStringList{file});
  f.form4()->Command1[0]->click();
  QCOMPARE(f.st.hit_pos, 5);
  QCOMPARE(f.result_view->selected_text(), QStringLiteral("1\u00A0000"));
  QCOMPARE(f.result_view->shown_text(), f.text_pane->shown_text());
  fx.messages.expect("検索文字はありません！");
  f.form4()->Command1[0]->click();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

// In a long file the occurrence near its end is found and selected in the result view, which
// scrolls to it.
void TestSearchForm::find_next_near_the_end_of_a_long_text() {
  FormFixture fx;
  const QString marker = QStringLiteral("終わり近くの印");
  QTemporaryFile big(fx.folder() + QStringLiteral("/XXXXXX.txt"));
  QVERIFY(big.open());
  const QString text_line = QStringLiteral("長いファイルの行です。ABC abc 0123456789\r\n");
  const qint64 chars_a_line = text_line.size() - 1;  // CR LF counts one
  const QByteArray line = encode_cp932(text_line);
  const QByteArray block = line.repeated(1024 * 1024 / line.size());
  qint64 chars = 0;
  for (int i = 0; i < 100; ++i) {
    QCOMPARE(big.write(block), block.size());
    chars += chars_a_line * (block.size() / line.size());
  }
  QVERIFY(big.write(line + encode_cp932(marker + QStringLiteral("\r\n")) + line) > 0);
  big.close();
  Form1& f = make_form(fx, {big.fileName()});
  open_first_hit(f, marker);
  QCOMPARE(lines(f.hit_list), QStringList{big.fileName()});
  f.form4()->Command1[0]->click();
  QCOMPARE(f.st.hit_pos, chars + chars_a_line + 2);
  QCOMPARE(f.result_view->selected_text(), marker);
  auto* result = f.result_view->findChild<TextView*>();
  QVERIFY(!result->character_rect(result->caret()).isEmpty());  // in sight
}

// A find-next search that takes long shows a progress dialog above the panel; "キャンセル" ends
// it with nothing found and nothing said, and the next press searches from where it was.
void TestSearchForm::find_next_cancelled() {
  FormFixture fx;
  Form1& f = make_form(fx, {fx.write_file("a.txt", "abc abc")});
  open_first_hit(f, QStringLiteral("abc"));
  f.form4()->Command1[0]->click();
  QCOMPARE(f.st.hit_pos, 2);
  f.scan_progress_delay_ms = 0;
  std::atomic<bool> release{false};
  f.find_next_starting = [&release] {
    while (!release) QThread::msleep(1);
  };
  bool panel_on_top = true;
  QTimer poll;
  connect(&poll, &QTimer::timeout, &f, [&] {
    auto* progress = f.findChild<QProgressDialog*>(QStringLiteral("find_next_progress"));
    if (!progress || release) return;
    panel_on_top = f.form4()->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    progress->findChild<QPushButton*>()->click();
    release = true;
  });
  poll.start(10);
  f.form4()->Command1[0]->click();
  QVERIFY(release && !panel_on_top);
  QCOMPARE(f.st.hit_pos, 2);
  QVERIFY(f.form4()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  f.find_next_starting = nullptr;
  f.form4()->Command1[0]->click();
  QCOMPARE(f.st.hit_pos, 6);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

QTEST_MAIN(TestSearchForm)
#include "test_search_form.moc"
