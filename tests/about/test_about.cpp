// The About box, the system-information launcher and the help.

#include "about/frmabout.h"
#include "app/main_window.h"
#include "form_fixture.h"
#include "platform/help_document.h"
#include "platform/system_info.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

bool write_file(const QString& path, const QByteArray& text, bool executable = false) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) return false;
  f.close();
  return !executable || f.setPermissions(f.permissions() | QFile::ExeOwner);
}

}  // namespace

class TestAbout final : public QObject {
  Q_OBJECT
 private slots:
  void user_and_computer_lines_data();
  void user_and_computer_lines();
  void one_about_box_brought_forward();
  void keys_close_the_about_box_data();
  void keys_close_the_about_box();
  void system_info_data();
  void system_info();
  void help_command_data();
  void help_command();
  void help_document_places_data();
  void help_document_places();
  void help_names_every_command();
};

void TestAbout::user_and_computer_lines_data() {
  QTest::addColumn<QString>("user");
  QTest::addColumn<QString>("computer");
  // clang-format off
  QTest::newRow("names unknown") << "" << "";
  QTest::newRow("japanese names") << "山田" << "事務所";
  // clang-format on
}

void TestAbout::user_and_computer_lines() {
  QFETCH(QString, user);
  QFETCH(QString, computer);
  FormFixture fx;
  fx.names.user = user;
  fx.names.computer = computer;
  Form1& f = fx.make(true);
  f.バージョン情報->trigger();
  FrmAbout* box = f.frm_about();
  QVERIFY(box);
  QCOMPARE(box->Label1[0]->text(), "ユーザー名             " + user);
  QCOMPARE(box->Label1[1]->text(), "コンピュータ名         " + computer);
  QCOMPARE(box->windowTitle(), QStringLiteral("Tarvexのﾊﾞｰｼﾞｮﾝ情報"));
  QVERIFY(!box->picIcon->pixmap().isNull());
}

void TestAbout::one_about_box_brought_forward() {
  FormFixture fx;
  fx.names.user = "ann";
  Form1& f = fx.make(true);
  f.バージョン情報_Click();
  QPointer<FrmAbout> first = f.frm_about();
  QVERIFY(first && first->isVisible() && !first->isModal());
  // A second request brings the same box forward, not reloaded.
  first->Label1[0]->setText("changed");
  fx.names.user = "bob";
  f.バージョン情報_Click();
  QCOMPARE(f.frm_about(), first.data());
  QCOMPARE(first->Label1[0]->text(), QStringLiteral("changed"));
  QCOMPARE(f.findChildren<QWidget*>("frmAbout").size(), 1);
  // OK closes and destroys it; the next request makes a new one.
  QTest::mouseClick(first->cmdOK, Qt::LeftButton);
  QTRY_VERIFY(first.isNull());
  f.バージョン情報_Click();
  QPointer<FrmAbout> second = f.frm_about();
  QVERIFY(second);
  QCOMPARE(second->Label1[0]->text(), QStringLiteral("ユーザー名             bob"));
  // Closing the main window closes the box too.
  f.close();
  QTRY_VERIFY(second.isNull());
}

void TestAbout::keys_close_the_about_box_data() {
  QTest::addColumn<int>("key");
  // clang-format off
  QTest::newRow("Escape") << int(Qt::Key_Escape);
  QTest::newRow("Return") << int(Qt::Key_Return);
  QTest::newRow("Enter")  << int(Qt::Key_Enter);
  // clang-format on
}

void TestAbout::keys_close_the_about_box() {
  QFETCH(int, key);
  FormFixture fx;
  Form1& f = fx.make(true);
  f.バージョン情報_Click();
  QPointer<FrmAbout> box = f.frm_about();
  QVERIFY(box);
  box->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(box.data()));
  box->cmdOK->setFocus();
  QTest::keyClick(box.data(), static_cast<Qt::Key>(key));
  QTRY_VERIFY(box.isNull());
}

void TestAbout::system_info_data() {
  QTest::addColumn<QStringList>("scripts");  // name=content, made executable in the PATH folder
  QTest::addColumn<QStringList>("tools");
  QTest::addColumn<bool>("started");
  // clang-format off
  QTest::newRow("no tool on the path") << QStringList{} << QStringList{"sysinfo-a"} << false;
  QTest::newRow("tool fails to start") << QStringList{"sysinfo-a=#!/nonexistent/interpreter\n"} << QStringList{"sysinfo-a"} << false;
  QTest::newRow("first found of the list") << QStringList{"sysinfo-b=#!/bin/sh\ntouch \"$0.ran\"\n"} << QStringList{"sysinfo-a", "sysinfo-b"} << true;
  // clang-format on
}

void TestAbout::system_info() {
  QFETCH(QStringList, scripts);
  QFETCH(QStringList, tools);
  QFETCH(bool, started);
  QTemporaryDir bin;
  QString started_marker;
  for (const QString& script : scripts) {
    const qsizetype eq = script.indexOf(u'=');
    const QString path = bin.path() + u'/' + script.left(eq);
    QVERIFY(write_file(path, script.mid(eq + 1).toUtf8(), true));
    started_marker = path + ".ran";
  }
  // An empty entry (the current folder) and a missing folder are passed over.
  PathSystemInfoLauncher launcher(tools, ":/nonexistent:" + bin.path());
  FormFixture fx;
  fx.sysinfo = &launcher;
  Form1& f = fx.make(true);
  f.バージョン情報_Click();
  QVERIFY(f.frm_about());
  if (!started) fx.messages.expect(QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
  QTest::mouseClick(f.frm_about()->cmdSysInfo, Qt::LeftButton);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  if (started) QTRY_VERIFY(QFileInfo::exists(started_marker));
  // The About box stays open either way.
  QVERIFY(f.frm_about() && f.frm_about()->isVisible());
}

void TestAbout::help_command_data() {
  QTest::addColumn<bool>("present");
  QTest::newRow("document present") << true;
  QTest::newRow("document missing") << false;
}

void TestAbout::help_command() {
  QFETCH(bool, present);
  FormFixture fx;
  fx.help_document = fx.folder() + "/share/tarvex/help/index.html";
  if (present) QVERIFY(write_file(fx.help_document, "<html></html>"));
  Form1& f = fx.make(true);
  if (!present) fx.messages.expect("ヘルプファイルが見つかりません。\n\r" + fx.help_document);
  f.Tarvexのヘルプ->trigger();
  QCOMPARE(fx.opener.opened, present ? QStringList{fx.help_document} : QStringList{});
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

void TestAbout::help_document_places_data() {
  QTest::addColumn<bool>("beside");
  QTest::addColumn<bool>("installed");
  QTest::addColumn<QString>("found");  // relative to the temporary folder
  // clang-format off
  QTest::newRow("installed") << false << true << "share/tarvex/help/index.html";
  QTest::newRow("both: beside first") << true << true << "bin/help/index.html";
  QTest::newRow("neither: the installed place") << false << false << "share/tarvex/help/index.html";
  // clang-format on
}

void TestAbout::help_document_places() {
  QFETCH(bool, beside);
  QFETCH(bool, installed);
  QFETCH(QString, found);
  QTemporaryDir root;
  QDir().mkpath(root.path() + "/bin");
  if (beside) QVERIFY(write_file(root.path() + "/bin/help/index.html", "x"));
  if (installed) QVERIFY(write_file(root.path() + "/share/tarvex/help/index.html", "x"));
  QCOMPARE(find_help_document(root.path() + "/bin"), root.path() + u'/' + found);
}

void TestAbout::help_names_every_command() {
  // Every command of the menus appears in the help under its caption (without the access key).
  QString help;
  QDirIterator it(QStringLiteral(TARVEX_HELP_DIR), {"*.html"}, QDir::Files);
  while (it.hasNext()) {
    QFile f(it.next());
    QVERIFY(f.open(QIODevice::ReadOnly));
    help += QString::fromUtf8(f.readAll());
  }
  QVERIFY(!help.isEmpty());
  FormFixture fx;
  Form1& f = fx.make(true);
  QStringList missing;
  const QRegularExpression access_key(QStringLiteral("\\(&.\\)|&"));
  for (QMenu* menu : f.findChildren<QMenu*>()) {
    QList<QAction*> actions = menu->actions();
    actions.append(menu->menuAction());
    for (QAction* a : actions) {
      const QString caption = a->text().remove(access_key);
      if (!a->isSeparator() && !caption.isEmpty() && !help.contains(caption)) missing << caption;
    }
  }
  missing.removeDuplicates();
  QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
