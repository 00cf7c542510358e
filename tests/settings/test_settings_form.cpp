// The options dialog: the rules for what the user types, OK and Cancel, the options command's
// write-back and what it applies to the main window.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/image_pane.h"
#include "form_fixture.h"
#include "platform/classic_timer.h"
#include "platform/error_text.h"
#include "platform/text_codecs.h"
#include "settings/form2.h"
#include "settings/option_rules.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>

#include <sys/resource.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

// A complete settings file in the form the options command writes it back.
const QString kStored = QStringLiteral(
    "[検索拡張子]\n拡張子0=.txt\n拡張子1=\n拡張子2=.ini\n拡張子3=\n拡張子4=\n拡張子5=\n拡張子6=\n"
    "拡張子7=\n拡張子8=\n拡張子9=\n拡張子10=\n"
    "[表示時間]\nイメージ=3\nテキスト=10\n"
    "[表示属性]\nアーカイブ=True\n隠しファイル=False\n読みとり専用=True\nシステム=False\n"
    "表示ファイル=*.*\n"
    "[最大ファイル数]\nファイル数=50\n"
    "[アプリケーションの選択]\nアプリケーション名=excel\n"
    "[イメージの表示を枠にあわせる]\n枠にあわせる=0\n[ファイルの削除]\nファイルの削除=0\n");

QStringList entries(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out.append(list->item(i)->text());
  return out;
}

// Runs the options command; `user` works in the dialog while it is shown modally and must leave
// it by OK, Cancel or its close button.
void run_options(Form1& f, const std::function<void(Form2&)>& user) {
  bool ran = false;
  QTimer::singleShot(0, f.form2(), [&] {
    ran = true;
    Form2& d = *f.form2();
    QVERIFY(d.isVisible());
    user(d);
    if (d.isVisible()) {
      d.done(QDialog::Rejected);
      QFAIL("the dialog was left open");
    }
  });
  f.環境設定表示_Click();
  QVERIFY(ran);
}

}  // namespace

class TestSettingsForm final : public QObject {
  Q_OBJECT
 private slots:
  void extension_rules_data();
  void extension_rules();
  void interval_rules_data();
  void interval_rules();
  void leaving_after_changing_every_control_data();
  void leaving_after_changing_every_control();
  void first_spreadsheet_choice_data();
  void first_spreadsheet_choice();
  void settings_stored_in_one_write();
  void kept_proportions_read_and_written_back_data();
  void kept_proportions_read_and_written_back();
};

void TestSettingsForm::extension_rules_data() {
  QTest::addColumn<QStringList>("list");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QStringList>("after");
  const QStringList nine = {".a01", ".a02", ".a03", ".a04", ".a05", ".a06", ".a07", ".a08", ".a09"};
  const QStringList ten = nine + QStringList{".a10"};
  // clang-format off
  QTest::newRow("with its dot is a duplicate") << QStringList{".txt"} << ".txt" << QStringList{".txt"};
  QTest::newRow("four letters as typed") << QStringList{".txt"} << "html" << QStringList{".txt", "html"};
  QTest::newRow("two characters ignored") << QStringList{".txt"} << "tx" << QStringList{".txt"};
  QTest::newRow("letter case counts") << QStringList{".txt"} << "TXT" << QStringList{".txt", ".TXT"};
  QTest::newRow("ninth to tenth") << nine << "abc" << nine + QStringList{".abc"};
  QTest::newRow("ten is full") << ten << "abc" << ten;
  QTest::newRow("japanese three") << QStringList{} << "日本語" << QStringList{".日本語"};
  // clang-format on
}

void TestSettingsForm::extension_rules() {
  QFETCH(QStringList, list);
  QFETCH(QString, typed);
  QFETCH(QStringList, after);
  Form2 d;
  d.List1->addItems(list);
  d.Text3->setText(typed);
  QTest::mouseClick(d.Command1[0], Qt::LeftButton);
  QCOMPARE(entries(d.List1), after);
  QCOMPARE(d.Text3->text(), typed);
}

void TestSettingsForm::interval_rules_data() {
  QTest::addColumn<QString>("typed");  // the box held "3" before
  QTest::addColumn<QString>("box");
  QTest::addColumn<long long>("timer_ms");  // -1: the timer keeps its interval
  // clang-format off
  QTest::newRow("zero stops") << "0" << "0" << 0LL;
  QTest::newRow("not a number keeps") << "5s" << "3" << -1LL;
  QTest::newRow("full-width digits") << "１２" << "12" << 12000LL;
  QTest::newRow("halves to even") << "0.0025" << "0.0025" << 2LL;
  QTest::newRow("huge") << "99999999999999999999999" << "60" << 60000LL;
  // clang-format on
}

void TestSettingsForm::interval_rules() {
  QFETCH(QString, typed);
  QFETCH(QString, box);
  QFETCH(long long, timer_ms);
  const IntervalAtOk at_ok = interval_at_ok(typed, QStringLiteral("3"));
  QCOMPARE(at_ok.box, box);
  QCOMPARE(at_ok.timer_ms.value_or(-1), timer_ms);
}

void TestSettingsForm::leaving_after_changing_every_control_data() {
  QTest::addColumn<int>("leave");  // 0 OK, 1 Cancel, 2 Escape
  QTest::addColumn<QString>("file");
  QTest::addColumn<QStringList>("listed");
  QTest::addColumn<int>("text_ms");
  QTest::addColumn<SheetApp>("sheet_app");
  // The image box was emptied: it shows and stores 5, its timer keeps its 3 seconds.
  const QString after_ok = QStringLiteral(
      "[検索拡張子]\n拡張子0=.txt\n拡張子1=.log\n拡張子2=\n拡張子3=\n拡張子4=\n拡張子5=\n"
      "拡張子6=\n拡張子7=\n拡張子8=\n拡張子9=\n拡張子10=\n"
      "[表示時間]\nイメージ=5\nテキスト=0.5\n"
      "[表示属性]\nアーカイブ=False\n隠しファイル=True\n読みとり専用=False\nシステム=True\n"
      "表示ファイル=*.txt\n"
      "[最大ファイル数]\nファイル数=50\n"
      "[アプリケーションの選択]\nアプリケーション名=1-2-3\n"
      "[イメージの表示を枠にあわせる]\n枠にあわせる=1\n[ファイルの削除]\nファイルの削除=1\n");
  // clang-format off
  QTest::newRow("OK") << 0 << after_ok << QStringList{".hidden.txt", "a.txt"} << 500 << SheetApp::Lotus;
  QTest::newRow("Cancel") << 1 << kStored << QStringList{"a.txt", "b.bmp"} << 10000 << SheetApp::Excel;
  QTest::newRow("Escape") << 2 << kStored << QStringList{"a.txt", "b.bmp"} << 10000 << SheetApp::Excel;
  // clang-format on
}

void TestSettingsForm::leaving_after_changing_every_control() {
  QFETCH(int, leave);
  const bool ok = leave == 0;
  QFETCH(QString, file);
  QFETCH(QStringList, listed);
  QFETCH(int, text_ms);
  QFETCH(SheetApp, sheet_app);
  FormFixture fx;
  fx.write_settings(kStored);
  fx.write_file("a.txt", "a");
  fx.write_file("b.bmp", "b");
  fx.write_file(".hidden.txt", "h");
  Form1& f = fx.make(false);
  f.file_box->set_list_index(0);
  // Only the image register holds a file; each delete command starts opposite to its outcome.
  f.st.img.register_path(fx.folder() + "/b.bmp", false);
  f.image_ファイル削除->setEnabled(!ok);
  f.text_ファイル削除->setEnabled(true);
  run_options(f, [&](Form2& d) {
    d.Option1[0]->setChecked(true);
    d.Text2[0]->setText("");
    d.Text2[1]->setText("0.5");
    d.Check2->setChecked(true);
    d.Check3->setChecked(true);
    for (int i = 0; i < 4; ++i) d.Check1[i]->setChecked(i % 2 == 1);
    d.Text1->setText("*.txt");
    d.List1->clearSelection();
    d.List1->setCurrentRow(-1);  // removes nothing
    QTest::mouseClick(d.Command1[1], Qt::LeftButton);
    d.List1->setCurrentRow(1);  // .ini
    QTest::mouseClick(d.Command1[1], Qt::LeftButton);
    // Enter belongs to "追 加": it adds (the second time a duplicate) and the dialog stays open.
    d.Text3->setText("log");
    QTest::keyClick(d.Text3, Qt::Key_Return);
    QTest::keyClick(d.Text3, Qt::Key_Enter);
    QVERIFY(d.isVisible());
    if (leave < 2) {
      QTest::mouseClick(d.Command2[leave], Qt::LeftButton);
    } else {
      QTest::keyClick(&d, Qt::Key_Escape);
    }
  });
  QCOMPARE(fx.settings_bytes(), encode_cp932(QString(file).replace("\n", "\r\n")));
  QCOMPARE(f.file_box->entries(), listed);
  // The file box keeps its selection while the name is still listed.
  QCOMPARE(f.file_box->file_name(), QStringLiteral("a.txt"));
  QCOMPARE(f.image_timer->interval(), 3000);
  QCOMPARE(f.text_timer->interval(), text_ms);
  QCOMPARE(f.st.sheet_app, sheet_app);
  QCOMPARE(f.image_ファイル削除->isEnabled(), ok);
  QVERIFY(!f.text_ファイル削除->isEnabled());
  QCOMPARE(f.st.search_exts[1], QString(ok ? ".log" : ""));
  const Form2& d = *f.form2();
  QCOMPARE(d.Text2[0]->text(), QString(ok ? "5" : "3"));
  if (!ok) {
    // Leaving showed the file's values again, the extension slots as the file has them.
    QCOMPARE(entries(d.List1), (QStringList{".txt", "", ".ini", "", "", "", "", "", "", "", ""}));
    QCOMPARE(d.Text1->text(), QStringLiteral("*.*"));
    QVERIFY(!d.Check1[1]->isChecked() && !d.Check2->isChecked());
    QCOMPARE(d.selected_option(), 1);
  }
}

// A file that names no spreadsheet application (a first start): Excel chosen and then Cancel
// leaves no choice, stored or applied; OK stores and applies it.
void TestSettingsForm::first_spreadsheet_choice_data() {
  QTest::addColumn<bool>("ok");
  QTest::newRow("Cancel") << false;
  QTest::newRow("OK") << true;
}

void TestSettingsForm::first_spreadsheet_choice() {
  QFETCH(bool, ok);
  FormFixture fx;
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=50\n"));
  Form1& f = fx.make(false);
  run_options(f, [&](Form2& d) {
    QCOMPARE(d.selected_option(), -1);
    d.Option1[1]->setChecked(true);
    QTest::mouseClick(d.Command2[ok ? 0 : 1], Qt::LeftButton);
  });
  QCOMPARE(f.form2()->selected_option(), ok ? 1 : -1);
  QCOMPARE(f.st.sheet_app, ok ? SheetApp::Excel : SheetApp::None);
  QCOMPARE(decode_cp932(fx.settings_bytes()).contains("アプリケーション名=excel"), ok);
}

// OK stores every value of the dialog in one write. When that write fails (here a file-size limit
// stops the long pattern, as a full disk would), the file keeps all its old values — the new
// choice and interval, which would fit on their own, are not stored without the rest — and the
// user is told once, with the file and why.
void TestSettingsForm::settings_stored_in_one_write() {
  FormFixture fx;
  fx.write_settings(kStored);
  Form1& f = fx.make(false);
  const QByteArray before = fx.settings_bytes();
  fx.messages.expect("設定を保存できませんでした。\n\r" + fx.settings_path() + "\n\r" +
                     error_text(EFBIG));
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = static_cast<rlim_t>(before.size()) + 16;
  run_options(f, [&](Form2& d) {
    d.Option1[0]->setChecked(true);
    d.Text2[0]->setText("7");
    d.Text1->setText(QString(200, u'x'));
    setrlimit(RLIMIT_FSIZE, &small);
    QTest::mouseClick(d.Command2[0], Qt::LeftButton);
  });
  setrlimit(RLIMIT_FSIZE, &saved);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(fx.messages.seen.size(), 1);
  QCOMPARE(fx.settings_bytes(), before);
}

// The key that keeps a picture's proportions is read at start-up, and the options command and
// shutdown write it back as it was read: a file without it stays without it, and behaves as
// before (the picture stretched or cut off).
void TestSettingsForm::kept_proportions_read_and_written_back_data() {
  QTest::addColumn<QString>("line");  // in the fitting section; "" for none
  QTest::addColumn<bool>("kept");
  // clang-format off
  QTest::newRow("absent")       << ""                 << false;
  QTest::newRow("one")          << "縦横比を保つ=1"    << true;
  QTest::newRow("zero")         << "縦横比を保つ=0"    << false;
  QTest::newRow("spaced")       << "縦横比を保つ = 1"  << true;
  QTest::newRow("not a number") << "縦横比を保つ=yes"  << false;
  QTest::newRow("empty")        << "縦横比を保つ="     << false;
  // clang-format on
}

void TestSettingsForm::kept_proportions_read_and_written_back() {
  QFETCH(QString, line);
  QFETCH(bool, kept);
  FormFixture fx;
  QString stored = kStored;
  if (!line.isEmpty()) stored.replace("枠にあわせる=0\n", "枠にあわせる=0\n" + line + "\n");
  fx.write_settings(stored);
  // The key's line as the file holds it, or nothing.
  const auto key_line = [&fx] {
    const QString text = decode_cp932(fx.settings_bytes());
    const qsizetype at = text.indexOf(QStringLiteral("縦横比を保つ"));
    return at < 0 ? QString() : text.mid(at, text.indexOf('\r', at) - at);
  };
  const QString before = key_line();
  QCOMPARE(before, line);
  Form1& f = fx.make(false);
  QCOMPARE(f.image_pane->keep_proportions(), kept);
  QCOMPARE(f.st.options.keep_proportions, kept);
  run_options(f, [](Form2& d) { QTest::mouseClick(d.Command2[0], Qt::LeftButton); });
  QCOMPARE(key_line(), before);
  // A file lost while Tarvex runs is written anew at shutdown, with the key as it was read (an
  // empty value reads as no key, and is not written).
  QVERIFY(QFile::remove(fx.settings_path()));
  f.close();
  QCOMPARE(key_line().remove(' '), line.endsWith('=') ? QString() : QString(before).remove(' '));
}

QTEST_MAIN(TestSettingsForm)
#include "test_settings_form.moc"
