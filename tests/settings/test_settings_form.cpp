// The options dialog: the rules for what the user types, OK and Cancel, the options command's
// write-back and what it applies to the main window.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "form_fixture.h"
#include "platform/classic_timer.h"
#include "platform/text_codecs.h"
#include "platform/widget_twips.h"
#include "settings/form2.h"
#include "settings/option_rules.h"
#include "settings/settings_file.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>

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

QByteArray crlf_cp932(QString text) {
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return encode_cp932(text);
}

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
  void extension_box_keys_and_removal();
  void interval_rules_data();
  void interval_rules();
  void intervals_kept_at_ok();
  void ok_and_cancel_after_changing_every_control_data();
  void ok_and_cancel_after_changing_every_control();
  void write_order_without_a_settings_file();
  void close_button_and_escape_cancel_data();
  void close_button_and_escape_cancel();
  void spreadsheet_choice_data();
  void spreadsheet_choice();
  void delete_commands_data();
  void delete_commands();
  void failed_write_is_reported_once();
  void dialog_layout_and_tabs();
};

void TestSettingsForm::extension_rules_data() {
  QTest::addColumn<QStringList>("list");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QStringList>("after");
  const QStringList nine = {".a01", ".a02", ".a03", ".a04", ".a05", ".a06", ".a07", ".a08", ".a09"};
  const QStringList ten = nine + QStringList{".a10"};
  // The list as Cancel leaves it: eleven slots, empty ones included.
  const QStringList eleven_slots = {".txt", "", ".ini", "", "", "", "", "", "", "", ""};
  // clang-format off
  QTest::newRow("three characters get a dot") << QStringList{} << "txt" << QStringList{".txt"};
  QTest::newRow("with its dot is a duplicate") << QStringList{".txt"} << ".txt" << QStringList{".txt"};
  QTest::newRow("four characters as typed") << QStringList{".txt"} << ".htm" << QStringList{".txt", ".htm"};
  QTest::newRow("four letters as typed") << QStringList{".txt"} << "html" << QStringList{".txt", "html"};
  QTest::newRow("two characters ignored") << QStringList{".txt"} << "tx" << QStringList{".txt"};
  QTest::newRow("empty is a duplicate") << QStringList{} << "" << QStringList{};
  QTest::newRow("letter case counts") << QStringList{".txt"} << "TXT" << QStringList{".txt", ".TXT"};
  QTest::newRow("undotted four letters match") << QStringList{"html"} << "html" << QStringList{"html"};
  QTest::newRow("ninth to tenth") << nine << "abc" << nine + QStringList{".abc"};
  QTest::newRow("ten is full") << ten << "abc" << ten;
  QTest::newRow("cancelled list is full") << eleven_slots << "abc" << eleven_slots;
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

void TestSettingsForm::extension_box_keys_and_removal() {
  Form2 d;
  QSignalSpy finished(&d, &QDialog::finished);
  d.List1->addItems({".ini", ".log"});
  d.show();
  d.Text3->setFocus();
  d.Text3->setText(QStringLiteral("txt"));
  // Enter belongs to "追 加": it adds, keeps the text, and the dialog stays open.
  QTest::keyClick(d.Text3, Qt::Key_Return);
  QTest::keyClick(d.Text3, Qt::Key_Enter);
  QCOMPARE(entries(d.List1), (QStringList{".ini", ".log", ".txt"}));
  QCOMPARE(d.Text3->text(), QStringLiteral("txt"));
  QVERIFY(d.isVisible() && finished.count() == 0);
  // Remove with nothing selected removes nothing.
  d.List1->clearSelection();
  d.List1->setCurrentRow(-1);
  QTest::mouseClick(d.Command1[1], Qt::LeftButton);
  QCOMPARE(d.List1->count(), 3);
  d.List1->setCurrentRow(1);
  QTest::mouseClick(d.Command1[1], Qt::LeftButton);
  QCOMPARE(entries(d.List1), (QStringList{".ini", ".txt"}));
}

void TestSettingsForm::interval_rules_data() {
  QTest::addColumn<QString>("typed");  // the box held "3" before
  QTest::addColumn<QString>("box");
  QTest::addColumn<long long>("timer_ms");  // -1: the timer keeps its interval
  // clang-format off
  QTest::newRow("75 becomes 60") << "75" << "60" << 60000LL;
  QTest::newRow("empty becomes 5, timer keeps") << "" << "5" << -1LL;
  QTest::newRow("half a second") << "0.5" << "0.5" << 500LL;
  QTest::newRow("zero stops") << "0" << "0" << 0LL;
  QTest::newRow("not a number keeps") << "abc" << "3" << -1LL;
  QTest::newRow("negative keeps") << "-3" << "3" << -1LL;
  QTest::newRow("number with unit keeps") << "5s" << "3" << -1LL;
  QTest::newRow("two points keep") << "1.2.3" << "3" << -1LL;
  QTest::newRow("full-width digits") << "１２" << "12" << 12000LL;
  QTest::newRow("blanks around") << " 7 " << "7" << 7000LL;
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

// OK on boxes that leave the timers alone: each box shows and stores its value, each timer keeps
// its own interval.
void TestSettingsForm::intervals_kept_at_ok() {
  FormFixture fx;
  fx.write_settings(kStored);
  Form1& f = fx.make(false);
  run_options(f, [&](Form2& d) {
    d.Text2[0]->setText("abc");
    d.Text2[1]->setText("");
    QTest::mouseClick(d.Command2[0], Qt::LeftButton);
  });
  QCOMPARE(f.form2()->Text2[0]->text(), QStringLiteral("3"));
  QCOMPARE(f.form2()->Text2[1]->text(), QStringLiteral("5"));
  QCOMPARE(f.連続画像->interval(), 3000);
  QCOMPARE(f.連続テキスト->interval(), 10000);
  QCOMPARE(f.settings().ini_read("表示時間", "イメージ"), QStringLiteral("3"));
  QCOMPARE(f.settings().ini_read("表示時間", "テキスト"), QStringLiteral("5"));
}

void TestSettingsForm::ok_and_cancel_after_changing_every_control_data() {
  QTest::addColumn<bool>("ok");
  QTest::addColumn<QString>("file");
  QTest::addColumn<QStringList>("listed");
  QTest::addColumn<int>("image_ms");
  QTest::addColumn<int>("text_ms");
  QTest::addColumn<int>("sheet_app");
  const QString after_ok = QStringLiteral(
      "[検索拡張子]\n拡張子0=.txt\n拡張子1=.log\n拡張子2=\n拡張子3=\n拡張子4=\n拡張子5=\n"
      "拡張子6=\n拡張子7=\n拡張子8=\n拡張子9=\n拡張子10=\n"
      "[表示時間]\nイメージ=2\nテキスト=0.5\n"
      "[表示属性]\nアーカイブ=False\n隠しファイル=True\n読みとり専用=False\nシステム=True\n"
      "表示ファイル=*.txt\n"
      "[最大ファイル数]\nファイル数=50\n"
      "[アプリケーションの選択]\nアプリケーション名=1-2-3\n"
      "[イメージの表示を枠にあわせる]\n枠にあわせる=1\n[ファイルの削除]\nファイルの削除=1\n");
  // clang-format off
  QTest::newRow("OK") << true << after_ok << QStringList{".hidden.txt", "a.txt"} << 2000 << 500 << 1;
  QTest::newRow("Cancel") << false << kStored << QStringList{"a.txt", "b.bmp"} << 3000 << 10000 << 2;
  // clang-format on
}

void TestSettingsForm::ok_and_cancel_after_changing_every_control() {
  QFETCH(bool, ok);
  QFETCH(QString, file);
  QFETCH(QStringList, listed);
  QFETCH(int, image_ms);
  QFETCH(int, text_ms);
  QFETCH(int, sheet_app);
  FormFixture fx;
  fx.write_settings(kStored);
  fx.write_file("a.txt", "a");
  fx.write_file("b.bmp", "b");
  fx.write_file(".hidden.txt", "h");
  Form1& f = fx.make(false);
  QCOMPARE(f.File1->entries(), (QStringList{"a.txt", "b.bmp"}));
  f.File1->set_list_index(0);
  run_options(f, [&](Form2& d) {
    d.Option1[0]->setChecked(true);
    d.Text2[0]->setText("2");
    d.Text2[1]->setText("0.5");
    d.Check2->setChecked(true);
    d.Check3->setChecked(true);
    for (int i = 0; i < 4; ++i) d.Check1[i]->setChecked(i % 2 == 1);
    d.Text1->setText("*.txt");
    d.List1->setCurrentRow(1);  // .ini
    QTest::mouseClick(d.Command1[1], Qt::LeftButton);
    d.Text3->setText("log");
    QTest::mouseClick(d.Command1[0], Qt::LeftButton);
    QTest::mouseClick(d.Command2[ok ? 0 : 1], Qt::LeftButton);
  });
  QCOMPARE(fx.settings_bytes(), crlf_cp932(file));
  QCOMPARE(f.File1->entries(), listed);
  // The file box keeps its selection while the name is still listed.
  QCOMPARE(f.File1->file_name(), QStringLiteral("a.txt"));
  QCOMPARE(f.連続画像->interval(), image_ms);
  QCOMPARE(f.連続テキスト->interval(), text_ms);
  QCOMPARE(f.st.sheet_app, sheet_app);
  QCOMPARE(f.st.search_exts[1], QString(ok ? ".log" : ""));
  if (!ok) {
    // Cancel showed the file's values again, the extension slots as the file has them.
    const Form2& d = *f.form2();
    QCOMPARE(entries(d.List1), (QStringList{".txt", "", ".ini", "", "", "", "", "", "", "", ""}));
    QCOMPARE(d.Text2[0]->text(), QStringLiteral("3"));
    QCOMPARE(d.Text1->text(), QStringLiteral("*.*"));
    QVERIFY(!d.Check1[1]->isChecked());
    QVERIFY(!d.Check2->isChecked());
    QCOMPARE(d.selected_option(), 1);
  }
}

void TestSettingsForm::write_order_without_a_settings_file() {
  FormFixture fx;
  Form1& f = fx.make(true);
  run_options(f, [](Form2& d) {
    d.Option1[1]->setChecked(true);
    d.Text3->setText("txt");
    QTest::mouseClick(d.Command1[0], Qt::LeftButton);
    QTest::mouseClick(d.Command2[0], Qt::LeftButton);
  });
  // Each key went in after the ones written before it, so the new file shows the order.
  QCOMPARE(fx.settings_bytes(),
           crlf_cp932("[アプリケーションの選択]\nアプリケーション名=excel\n"
                      "[表示属性]\nアーカイブ=True\n隠しファイル=False\n読みとり専用=True\n"
                      "システム=False\n表示ファイル=\n"
                      "[検索拡張子]\n拡張子0=.txt\n拡張子1=\n拡張子2=\n拡張子3=\n拡張子4=\n"
                      "拡張子5=\n拡張子6=\n拡張子7=\n拡張子8=\n拡張子9=\n拡張子10=\n"
                      "[表示時間]\nテキスト=0\nイメージ=0\n"
                      "[イメージの表示を枠にあわせる]\n枠にあわせる=0\n"
                      "[ファイルの削除]\nファイルの削除=0\n"));
}

void TestSettingsForm::close_button_and_escape_cancel_data() {
  QTest::addColumn<bool>("escape");
  QTest::newRow("close button") << false;
  QTest::newRow("escape") << true;
}

void TestSettingsForm::close_button_and_escape_cancel() {
  QFETCH(bool, escape);
  FormFixture fx;
  fx.write_settings(kStored);
  Form1& f = fx.make(false);
  run_options(f, [&](Form2& d) {
    d.List1->clear();
    d.Text2[0]->setText("");
    d.Text2[1]->setText("abc");
    d.Text1->setText("*.bmp");
    if (escape) {
      QTest::keyClick(&d, Qt::Key_Escape);
    } else {
      d.close();
    }
  });
  // The stored extensions survive, the timers and the file box are untouched, the program runs.
  QCOMPARE(f.st.search_exts[2], QStringLiteral(".ini"));
  QCOMPARE(f.連続画像->interval(), 3000);
  QCOMPARE(f.File1->pattern(), QStringLiteral("*.*"));
  QCOMPARE(fx.settings_bytes(), crlf_cp932(kStored));
  QVERIFY(!f.form2()->isVisible());
  // The dialog opens again as usual, with the stored extensions.
  run_options(f, [](Form2& d) {
    QCOMPARE(entries(d.List1), (QStringList{".txt", ".ini"}));
    QTest::mouseClick(d.Command2[0], Qt::LeftButton);
  });
}

void TestSettingsForm::spreadsheet_choice_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<int>("choose");  // −1: leave the choice as the dialog shows it
  QTest::addColumn<int>("sheet_app");
  QTest::addColumn<QString>("written");
  // clang-format off
  QTest::newRow("Lotus 1-2-3") << "nothing" << 0 << 1 << "1-2-3";
  QTest::newRow("Excel") << "nothing" << 1 << 2 << "excel";
  QTest::newRow("none") << "excel" << 2 << 0 << "nothing";
  QTest::newRow("unknown name, nothing chosen") << "Excel" << -1 << 0 << "Excel";
  // clang-format on
}

void TestSettingsForm::spreadsheet_choice() {
  QFETCH(QString, stored);
  QFETCH(int, choose);
  QFETCH(int, sheet_app);
  QFETCH(QString, written);
  FormFixture fx;
  fx.write_settings(
      "[最大ファイル数]\nファイル数=50\n[アプリケーションの選択]\nアプリケーション名=" + stored +
      "\n");
  Form1& f = fx.make(false);
  run_options(f, [&](Form2& d) {
    if (choose >= 0) d.Option1[choose]->setChecked(true);
    QTest::mouseClick(d.Command2[0], Qt::LeftButton);
  });
  QCOMPARE(f.st.sheet_app, sheet_app);
  QCOMPARE(f.settings().ini_read("アプリケーションの選択", "アプリケーション名"), written);
}

void TestSettingsForm::delete_commands_data() {
  QTest::addColumn<bool>("allowed");
  QTest::addColumn<bool>("image_registered");
  QTest::addColumn<bool>("text_registered");
  QTest::addColumn<bool>("image_enabled");
  QTest::addColumn<bool>("text_enabled");
  // clang-format off
  QTest::newRow("allowed, images only") << true << true << false << true << false;
  QTest::newRow("allowed, texts only") << true << false << true << false << true;
  QTest::newRow("not allowed, both registered") << false << true << true << false << false;
  // clang-format on
}

void TestSettingsForm::delete_commands() {
  QFETCH(bool, allowed);
  QFETCH(bool, image_registered);
  QFETCH(bool, text_registered);
  QFETCH(bool, image_enabled);
  QFETCH(bool, text_enabled);
  FormFixture fx;
  fx.write_settings(kStored);
  Form1& f = fx.make(false);
  if (image_registered) f.st.img.register_path(fx.folder() + "/a.bmp", false);
  if (text_registered) f.st.txt.register_path(fx.folder() + "/a.txt", false);
  // Start from the opposite state, so the command visibly sets each one.
  f.image_ファイル削除->setEnabled(!image_enabled);
  f.text_ファイル削除->setEnabled(!text_enabled);
  run_options(f, [&](Form2& d) {
    d.Check3->setChecked(allowed);
    QTest::mouseClick(d.Command2[0], Qt::LeftButton);
  });
  QCOMPARE(f.image_ファイル削除->isEnabled(), image_enabled);
  QCOMPARE(f.text_ファイル削除->isEnabled(), text_enabled);
  QCOMPARE(f.settings().ini_read("ファイルの削除", "ファイルの削除"), QString(allowed ? "1" : "0"));
}

void TestSettingsForm::failed_write_is_reported_once() {
  FormFixture fx;
  fx.write_settings(kStored);
  Form1& f = fx.make(false);
  const QByteArray before = fx.settings_bytes();
  // A folder takes the settings file's place: no write can replace it, root's included.
  const QString settings_folder = QFileInfo(fx.settings_path()).absolutePath();
  QVERIFY(QDir(settings_folder).rename("Tarvex.ini", "Tarvex.ini.saved"));
  QVERIFY(QDir(settings_folder).mkdir("Tarvex.ini"));
  fx.messages.expect("設定を保存できませんでした。\n\r" + fx.settings_path());
  run_options(f, [](Form2& d) { QTest::mouseClick(d.Command2[0], Qt::LeftButton); });
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  // Put the file back so that shutdown can write.
  QVERIFY(QDir(settings_folder).rmdir("Tarvex.ini"));
  QVERIFY(QDir(settings_folder).rename("Tarvex.ini.saved", "Tarvex.ini"));
  QCOMPARE(fx.settings_bytes(), before);
}

void TestSettingsForm::dialog_layout_and_tabs() {
  FormFixture fx;
  fx.write_settings(kStored);
  Form1& f = fx.make(false);
  Form2& d = *f.form2();
  // A fresh dialog has no spreadsheet choice selected, and the choices exclude each other.
  Form2 fresh;
  QCOMPARE(fresh.selected_option(), -1);
  fresh.Option1[0]->setChecked(true);
  fresh.Option1[2]->setChecked(true);
  QVERIFY(!fresh.Option1[0]->isChecked());
  QCOMPARE(fresh.selected_option(), 2);

  run_options(f, [](Form2& dialog) {
    QCOMPARE(dialog.SSTab1->currentIndex(), 2);
    QCOMPARE(dialog.SSTab1->count(), 3);
    // Controls on a page stand where the design puts them, counted from the tab control.
    const QRect frame = dialog.Frame2->geometry().translated(
        dialog.Frame2->parentWidget()->mapTo(dialog.SSTab1, QPoint(0, 0)));
    QVERIFY2(std::abs(frame.left() * 15 - 360) < 15, qPrintable(QString::number(frame.left())));
    QVERIFY2(std::abs(frame.top() * 15 - 585) < 15, qPrintable(QString::number(frame.top())));
    QCOMPARE(twips_geometry(dialog.Command2[0]), QRect(5760, 615, 1215, 375));
    QCOMPARE(dialog.Check1[0]->font().family(), QStringLiteral("ＭＳ ゴシック"));
    QCOMPARE(dialog.Check2->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    dialog.SSTab1->setCurrentIndex(0);
    QTest::mouseClick(dialog.Command2[0], Qt::LeftButton);
  });
  // The tab chosen last is in front when the dialog opens again.
  run_options(f, [](Form2& dialog) {
    QCOMPARE(dialog.SSTab1->currentIndex(), 0);
    QTest::mouseClick(dialog.Command2[1], Qt::LeftButton);
  });
  QCOMPARE(d.windowTitle(), QStringLiteral("Tarvex"));
}

QTEST_MAIN(TestSettingsForm)
#include "test_settings_form.moc"
