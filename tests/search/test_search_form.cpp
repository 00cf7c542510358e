// The register search on the real window: the dialog, the hit list and its arrows, the find-next
// panel and the end of the search screen.

#include "app/main_window.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "platform/text_codecs.h"
#include "search/form4.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

Form1& make_form(FormFixture& fx) {
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=20\n"));
  Form1& f = fx.make(false);
  f.st.search_exts = {QStringLiteral(".txt")};
  // Registering a text enables the command; the tests fill the register directly.
  f.txt_kensaku->setEnabled(true);
  f.show();
  return f;
}

void register_texts(Form1& f, const QStringList& paths) {
  for (const QString& p : paths) f.st.txt.register_path(p, false);
}

// Answers the next search dialog: types `text` and presses "Ｏ Ｋ", or presses "キャンセル".
void answer_dialog(Form1& f, const QString& text, bool cancel = false) {
  QTimer::singleShot(0, &f, [&f, text, cancel] {
    Form4* d = f.form4();
    QVERIFY(d->isVisible());
    if (cancel) {
      d->Command1[1]->click();
      return;
    }
    d->Text1->setText(text);
    QTest::keyClick(d->Text1, Qt::Key_Return);
  });
}

QStringList lines(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

void search(Form1& f, const QString& text) {
  answer_dialog(f, text);
  f.txt_kensaku->trigger();
}

}  // namespace

class TestSearchForm : public QObject {
  Q_OBJECT

 private slots:
  void hits_in_entry_order_and_search_screen();
  void messages_data();
  void messages();
  void dialog_default_text();
  void arrows_data();
  void arrows();
  void find_next_overlapping_and_restart();
  void find_next_selection_after_line_breaks();
  void extension_test_data();
  void extension_test();
  void end_restores_normal_screen();
  void clearing_the_texts_ends_the_search_screen();
  void vanished_hit_finds_nothing();
  void cancel_keeps_hits_so_far();
  void list_mouse_events();
};

void TestSearchForm::hits_in_entry_order_and_search_screen() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString a = fx.write_file("a.txt", encode_cp932(QStringLiteral("一行目\r\n検索対象\r\n")));
  const QString b = fx.write_file("b.txt", QByteArray("nothing here"));
  const QString c = fx.write_file("c.txt", QStringLiteral("UTF-8 の検索対象").toUtf8());
  register_texts(f, {a, b, a, fx.folder() + QStringLiteral("/gone.txt"), c});
  search(f, "検索");
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(lines(f.List1), (QStringList{a, a, c}));
  QCOMPARE(f.st.search_mode, 1);
  QVERIFY(f.List1->isVisible() && f.RichTextBox2->isVisible() && !f.RichTextBox1->isVisible());
  QVERIFY(f.Command6[0]->isVisible() && f.Command6[1]->isVisible());
  QVERIFY(!f.Label2->isVisible() && !f.Txt_List->isVisible() && !f.Command3[0]->isVisible());
  QVERIFY(f.文字列検索の終了->isEnabled());
}

void TestSearchForm::messages_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("cancel");
  QTest::addColumn<bool>("registered");
  QTest::addColumn<QString>("message");
  // clang-format off
  QTest::newRow("empty string") << QString() << false << true << QStringLiteral("検索する文字がありません！");
  QTest::newRow("cancelled") << QStringLiteral("abc") << true << true << QStringLiteral("検索する文字がありません！");
  QTest::newRow("empty register") << QStringLiteral("abc") << false << false << QStringLiteral("ファイル名が登録されてません！");
  QTest::newRow("no hit") << QStringLiteral("ABC") << false << true << QStringLiteral("該当するファイルがありません！");
  // clang-format on
}

void TestSearchForm::messages() {
  QFETCH(QString, text);
  QFETCH(bool, cancel);
  QFETCH(bool, registered);
  QFETCH(QString, message);
  FormFixture fx;
  Form1& f = make_form(fx);
  if (registered) register_texts(f, {fx.write_file("x.txt", QByteArray("xabcx"))});
  fx.messages.expect(message);
  answer_dialog(f, text, cancel);
  f.txt_kensaku->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.st.search_mode, 0);
  QVERIFY(!f.List1->isVisible() && f.RichTextBox1->isVisible());
  QVERIFY(!f.文字列検索の終了->isEnabled());
}

void TestSearchForm::dialog_default_text() {
  FormFixture fx;
  Form1& f = make_form(fx);
  register_texts(f, {fx.write_file("x.txt", QByteArray("hello world"))});
  f.RichTextBox1->load_file(f.st.txt.path(0));
  f.RichTextBox1->select(6, 5);
  QString seen;
  QTimer::singleShot(0, &f, [&] {
    seen = f.form4()->Text1->text();
    f.form4()->Command1[0]->click();
  });
  f.txt_kensaku->trigger();
  QCOMPARE(seen, QStringLiteral("world"));
  QCOMPARE(lines(f.List1).size(), 1);
  // Without a selection the dialog keeps the last string; after a cancel it is empty.
  f.文字列検索の終了->trigger();
  f.RichTextBox1->select(0, 0);
  fx.messages.expect("検索する文字がありません！");
  QTimer::singleShot(0, &f, [&] {
    seen = f.form4()->Text1->text();
    f.form4()->Command1[1]->click();
  });
  f.txt_kensaku->trigger();
  QCOMPARE(seen, QStringLiteral("world"));
  QCOMPARE(f.form4()->Text1->text(), QString());
}

void TestSearchForm::arrows_data() {
  QTest::addColumn<int>("selected");
  QTest::addColumn<int>("index");
  QTest::addColumn<int>("opened");
  // clang-format off
  QTest::newRow("none, up") << -1 << 0 << 0;
  QTest::newRow("none, down") << -1 << 1 << 0;
  QTest::newRow("first, up stays") << 0 << 0 << 0;
  QTest::newRow("first, down") << 0 << 1 << 1;
  QTest::newRow("last, down stays") << 2 << 1 << 2;
  // clang-format on
}

void TestSearchForm::arrows() {
  QFETCH(int, selected);
  QFETCH(int, index);
  QFETCH(int, opened);
  FormFixture fx;
  Form1& f = make_form(fx);
  QStringList paths;
  for (const char* name : {"hit 0", "hit 1", "hit 2"})
    paths << fx.write_file(QString(name) + ".txt", name);
  register_texts(f, paths);
  search(f, "hit");
  selected >= 0 ? f.List1->setCurrentRow(selected) : f.List1->clearSelection();
  f.st.hit_pos = 5;
  f.Command6[index]->click();
  QCOMPARE(f.List1->currentRow(), opened);
  QCOMPARE(f.st.hit_path, paths[opened]);
  QCOMPARE(f.RichTextBox1->text(), QStringLiteral("hit %1").arg(opened));
  QCOMPARE(f.st.hit_pos, 0);
  QVERIFY(f.RichTextBox1->isVisible() && !f.RichTextBox2->isVisible());
  QTRY_VERIFY(f.form4()->isVisible());
  QCOMPARE(f.form4()->dialog_mode, 2);
  f.文字列検索の終了->trigger();
  QVERIFY(!f.form4()->isVisible());
}

// aaa / aa: characters 1–2, then 2–3, then the message, then 1–2 again.
void TestSearchForm::find_next_overlapping_and_restart() {
  FormFixture fx;
  Form1& f = make_form(fx);
  register_texts(f, {fx.write_file("a.txt", QByteArray("aaa"))});
  search(f, "aa");
  f.List1->setCurrentRow(0);
  f.open_hit(false);
  Form4* panel = f.form4();
  QTRY_VERIFY(panel->isVisible());
  const int expected[] = {2, 3, -1, 2};
  for (int hit_pos : expected) {
    if (hit_pos < 0) fx.messages.expect("検索文字はありません！");
    panel->Command1[0]->click();
    if (hit_pos > 0) {
      QCOMPARE(f.st.hit_pos, hit_pos);
      QCOMPARE(f.RichTextBox2->selected_text(), QStringLiteral("aa"));
      QVERIFY(f.RichTextBox2->isVisible());
      // The result view lies over the text pane, not under it.
      QWidget* client = f.centralWidget();
      const QPoint middle = f.RichTextBox2->geometry().center();
      QVERIFY(f.RichTextBox2->isAncestorOf(client->childAt(middle)));
    }
  }
  // Another string starts again from the top.
  panel->Text1->setText(QStringLiteral("a"));
  panel->Command1[0]->click();
  QCOMPARE(f.st.hit_pos, 2);
}

void TestSearchForm::find_next_selection_after_line_breaks() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString text = QStringLiteral("😀xab\r\nyy〜ab\r\n\r\nzab");
  register_texts(f, {fx.write_file("u.txt", text.toUtf8())});
  search(f, "ab");
  f.List1->setCurrentRow(0);
  f.open_hit(false);
  for (int i = 0; i < 3; ++i) {
    f.form4()->Command1[0]->click();
    QCOMPARE(f.RichTextBox2->selected_text(), QStringLiteral("ab"));
  }
  // The full-width tilde finds the wave dash.
  f.form4()->Text1->setText(QStringLiteral("～a"));
  f.form4()->Command1[0]->click();
  QCOMPARE(f.RichTextBox2->selected_text(), QStringLiteral("〜a"));
}

void TestSearchForm::extension_test_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("allowed");
  // clang-format off
  QTest::newRow(".txt") << QStringLiteral("note.txt") << true;
  QTest::newRow(".TXT") << QStringLiteral("note.TXT") << true;
  QTest::newRow(".Txt") << QStringLiteral("note.Txt") << false;
  QTest::newRow(".csv") << QStringLiteral("note.csv") << false;
  // clang-format on
}

void TestSearchForm::extension_test() {
  QFETCH(QString, name);
  QFETCH(bool, allowed);
  FormFixture fx;
  Form1& f = make_form(fx);
  register_texts(f, {fx.write_file(name, QByteArray("find me"))});
  search(f, "me");
  f.List1->setCurrentRow(0);
  f.open_hit(false);
  if (!allowed) fx.messages.expect("このファイルの文字検索はできません！");
  // The message must not open behind the panel, which stays on top of every other window.
  bool panel_on_top_during_message = false;
  fx.messages.while_open = [&](const QString&) {
    panel_on_top_during_message = f.form4()->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
  };
  f.form4()->Command1[0]->click();
  fx.messages.while_open = nullptr;
  QVERIFY(!panel_on_top_during_message);
  QVERIFY(f.form4()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QCOMPARE(f.RichTextBox2->isVisible(), allowed);
  QCOMPARE(f.st.search_ready, allowed ? 1 : 0);
}

void TestSearchForm::end_restores_normal_screen() {
  FormFixture fx;
  Form1& f = make_form(fx);
  register_texts(f, {fx.write_file("a.txt", QByteArray("abc"))});
  search(f, "b");
  f.List1->setCurrentRow(0);
  f.open_hit(false);
  // The register was cleared meanwhile: the pane is left empty, without a message.
  f.st.txt.reset(20);
  f.form4()->Command1[1]->click();
  QVERIFY(!f.form4()->isVisible());
  QCOMPARE(f.st.search_mode, 0);
  QCOMPARE(f.List1->count(), 0);
  QVERIFY(f.Command3[0]->isVisible() && f.Label2->isVisible());
  QVERIFY(!f.Command2[0]->isVisible());  // no image registered
  QVERIFY(!f.List1->isVisible() && !f.Command6[0]->isVisible() && !f.RichTextBox2->isVisible());
  QVERIFY(!f.文字列検索の終了->isEnabled());
  QCOMPARE(f.RichTextBox1->text(), QString());
}

void TestSearchForm::clearing_the_texts_ends_the_search_screen() {
  FormFixture fx;
  Form1& f = make_form(fx);
  register_texts(f, {fx.write_file("a.txt", QByteArray("abc"))});
  search(f, "b");
  QCOMPARE(f.st.search_mode, 1);
  fx.messages.expect("登録したテキストファイル名をすべて消去してもいいですか？");
  f.txt_all_clear_Click();
  QCOMPARE(f.st.search_mode, 0);
  QVERIFY(!f.List1->isVisible());
  QVERIFY(!f.文字列検索の終了->isEnabled());
}

void TestSearchForm::vanished_hit_finds_nothing() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString path = fx.write_file("a.txt", QByteArray("abc"));
  register_texts(f, {path});
  search(f, "b");
  QFile::remove(path);
  f.List1->setCurrentRow(0);
  f.open_hit(false);
  QCOMPARE(f.RichTextBox1->text(), QString());
  QTRY_VERIFY(f.form4()->isVisible());
  fx.messages.expect("検索文字はありません！");
  f.form4()->Command1[0]->click();
  // A new search while the panel is open hides the panel first.
  fx.messages.expect("検索する文字がありません！");
  QTimer::singleShot(0, &f, [&f] {
    QCOMPARE(f.form4()->dialog_mode, 1);
    f.form4()->Command1[1]->click();
  });
  f.txt_kensaku->trigger();
  QVERIFY(!f.form4()->isVisible());
}

// A scan that takes long shows the progress dialog; "キャンセル" lists the hits so far. A pipe
// among the entries is skipped rather than waited on.
void TestSearchForm::cancel_keeps_hits_so_far() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString hit = fx.write_file("a.txt", QByteArray("abc"));
  const QString fifo = fx.folder() + QStringLiteral("/pipe.txt");
  QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  register_texts(f, {hit, fifo, hit, hit});
  f.scan_progress_delay_ms = 0;
  // The scan waits before the third and fourth entries until the dialog has been cancelled.
  std::atomic<bool> release{false};
  f.scan_starting = [&release](int entry) {
    if (entry >= 2) {
      while (!release) QThread::msleep(1);
    }
  };
  QTimer poll;
  bool cancelled = false;
  connect(&poll, &QTimer::timeout, &f, [&] {
    auto* progress = f.findChild<QProgressDialog*>(QStringLiteral("search_progress"));
    if (!progress || cancelled || !progress->labelText().contains(QStringLiteral("2 / 4"))) return;
    QVERIFY(progress->isVisible());
    QPushButton* cancel = progress->findChild<QPushButton*>();
    QVERIFY(cancel && cancel->text() == QStringLiteral("キャンセル"));
    cancelled = true;
    cancel->click();
    release = true;
  });
  poll.start(10);
  search(f, "b");
  QVERIFY(cancelled);
  QCOMPARE(lines(f.List1), QStringList{hit});
}

// A left press on a line opens its hit; a right release opens the file menu for the hit list.
void TestSearchForm::list_mouse_events() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString a = fx.write_file("a.txt", QByteArray("first hit"));
  const QString b = fx.write_file("b.txt", QByteArray("second hit"));
  register_texts(f, {a, b});
  search(f, "hit");
  QWidget* viewport = f.List1->viewport();
  const QPoint line1 = f.List1->visualItemRect(f.List1->item(1)).center();
  QTest::mousePress(viewport, Qt::LeftButton, {}, line1);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, line1);
  QCOMPARE(f.st.hit_path, b);
  QCOMPARE(f.RichTextBox1->text(), QStringLiteral("second hit"));
  QTRY_VERIFY(f.form4()->isVisible());

  int source_in_menu = -1;
  bool enabled_in_menu = false;
  f.popup_menu = [&](QMenu*, const QPoint&) {
    source_in_menu = f.st.popup_source;
    enabled_in_menu = f.list_file_open->isEnabled();
    f.list_file_open->trigger();
  };
  f.RichTextBox2->show();
  QTest::mouseRelease(viewport, Qt::RightButton, {}, line1);
  QCOMPARE(source_in_menu, 2);
  QVERIFY(enabled_in_menu);
  QCOMPARE(fx.opener.opened, QStringList{b});
  QCOMPARE(f.st.popup_source, 0);
  QVERIFY(!f.RichTextBox2->isVisible());
}

QTEST_MAIN(TestSearchForm)
#include "test_search_form.moc"
