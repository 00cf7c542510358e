// The About box, the system-information launcher and the help.

#include "about/frmabout.h"
#include "app/main_window.h"
#include "form_fixture.h"
#include "platform/help_document.h"
#include "platform/system_info.h"

#include <QDir>
#include <QFile>
#include <QLabel>
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
  void one_about_box_brought_forward();
  void system_info_data();
  void system_info();
  void help_command_data();
  void help_command();
  void help_pages_data();
  void help_pages();
};

void TestAbout::one_about_box_brought_forward() {
  FormFixture fx;
  fx.names.user = "山田";
  fx.names.computer = "事務所";
  Form1& f = fx.make(true);
  f.バージョン情報->trigger();
  QPointer<FrmAbout> box = f.frm_about();
  QVERIFY(box && box->isVisible() && !box->isModal());
  QCOMPARE(box->Label1[0]->text(), QStringLiteral("ユーザー名             山田"));
  QCOMPARE(box->Label1[1]->text(), QStringLiteral("コンピュータ名         事務所"));
  QCOMPARE(box->windowTitle(), QStringLiteral("Tarvexのﾊﾞｰｼﾞｮﾝ情報"));
  // The second author line names the build and the Qt it runs on, nothing else.
  QCOMPARE(box->Label2[1]->text(), "Linux 版（Qt " + QString::fromLatin1(qVersion()) + "）");
  // A second request brings the same box forward, not reloaded.
  fx.names.user = "bob";
  f.バージョン情報_Click();
  QCOMPARE(f.frm_about(), box.data());
  QCOMPARE(box->Label1[0]->text(), QStringLiteral("ユーザー名             山田"));
  // OK, Escape and Return close and destroy it; the next request makes a new one.
  QTest::mouseClick(box->cmdOK, Qt::LeftButton);
  for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    QTRY_VERIFY(box.isNull());
    f.バージョン情報_Click();
    box = f.frm_about();
    QVERIFY(box && box->Label1[0]->text() == QStringLiteral("ユーザー名             bob"));
    box->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(box.data()));
    box->cmdOK->setFocus();
    QTest::keyClick(box.data(), key);
  }
  QTRY_VERIFY(box.isNull());
}

void TestAbout::system_info_data() {
  QTest::addColumn<QString>("script");  // made executable in the searched folder
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<bool>("started");
  // clang-format off
  QTest::newRow("tool fails to start") << "sysinfo-a" << QByteArray("#!/nonexistent/interpreter\n") << false;
  QTest::newRow("first found of the list") << "sysinfo-b" << QByteArray("#!/bin/sh\ntouch \"$0.ran\"\n") << true;
  // clang-format on
}

void TestAbout::system_info() {
  QFETCH(QString, script);
  QFETCH(QByteArray, content);
  QFETCH(bool, started);
  QTemporaryDir bin;
  QVERIFY(write_file(bin.filePath(script), content, true));
  // An empty entry (the current folder) and a missing folder are passed over.
  PathSystemInfoLauncher launcher({"sysinfo-a", "sysinfo-b"}, ":/nonexistent:" + bin.path());
  FormFixture fx;
  fx.sysinfo = &launcher;
  Form1& f = fx.make(true);
  f.バージョン情報_Click();
  QVERIFY(f.frm_about());
  if (!started) fx.messages.expect(QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
  QTest::mouseClick(f.frm_about()->cmdSysInfo, Qt::LeftButton);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  if (started) QTRY_VERIFY(QFileInfo::exists(bin.filePath(script + ".ran")));
  // The About box stays open either way, until the main window closes.
  QPointer<FrmAbout> box = f.frm_about();
  QVERIFY(box && box->isVisible());
  f.close();
  QTRY_VERIFY(box.isNull());
}

void TestAbout::help_command_data() {
  QTest::addColumn<bool>("present");  // beside the program and in the installed place
  QTest::addColumn<bool>("viewer");   // the desktop has something that opens the document
  QTest::newRow("document present") << true << true;
  QTest::newRow("document missing") << false << true;
  QTest::newRow("no viewer on the desktop") << true << false;
}

// The document beside the program comes first; without any, the installed place is named.
void TestAbout::help_command() {
  QFETCH(bool, present);
  QFETCH(bool, viewer);
  FormFixture fx;
  fx.opener.result = viewer;
  const QString beside = fx.folder() + "/bin/help/index.html";
  const QString installed = fx.folder() + "/share/tarvex/help/index.html";
  QDir().mkpath(fx.folder() + "/bin");
  if (present) QVERIFY(write_file(beside, "<html></html>") && write_file(installed, "x"));
  fx.help_document = find_help_document(fx.folder() + "/bin");
  QCOMPARE(fx.help_document, present ? beside : installed);
  Form1& f = fx.make(true);
  if (!present) fx.messages.expect("ヘルプファイルが見つかりません。\n\r" + installed);
  if (!viewer)
    fx.messages.expect("ヘルプを表示するアプリケーションが見つかりません。\n\r" + beside);
  f.Tarvexのヘルプ->trigger();
  QCOMPARE(fx.opener.opened, present ? QStringList{beside} : QStringList{});
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

void TestAbout::help_pages_data() {
  QTest::addColumn<QString>("page");
  for (const QString& page : QDir(TARVEX_HELP_DIR).entryList({"*.html"}, QDir::Files))
    QTest::newRow(qPrintable(page)) << page;
}

// Every page of the help is in the contents of its index; every link leads to a page that is
// there and to a place that page has; no example starts with blanks that the browser would drop
// ("  7" shows as "7": the blanks must be &nbsp;).
void TestAbout::help_pages() {
  QFETCH(QString, page);
  const QDir dir(TARVEX_HELP_DIR);
  auto read = [&dir](const QString& name) {
    QFile f(dir.filePath(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  };
  const QString html = read(page);
  QVERIFY(html.startsWith("<!DOCTYPE html>") && html.contains("<meta charset=\"utf-8\">"));
  if (page != "index.html") QVERIFY(read("index.html").contains("<li><a href=\"" + page + "\">"));
  static const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
  for (const QRegularExpressionMatch& m : link.globalMatch(html)) {
    const QString target = m.captured(1);
    const QString file = target.section(u'#', 0, 0);
    const QString anchor = target.section(u'#', 1);
    const QString linked = file.isEmpty() ? html : read(file);
    QVERIFY2(!linked.isEmpty(), qPrintable(target));
    if (!anchor.isEmpty()) QVERIFY2(linked.contains("id=\"" + anchor + "\""), qPrintable(target));
  }
  QVERIFY(!html.contains("<code> "));
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
