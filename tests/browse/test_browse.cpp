// The folder tree, the file box and opening files with their application.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "browse/file_filter.h"
#include "browse/folder_tree.h"
#include "display/text_pane.h"
#include "form_fixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

// Makes a file whose name is given as raw bytes (not necessarily valid UTF-8).
bool touch(const QString& folder, const QByteArray& name, mode_t mode = 0644) {
  const int fd = ::open((QFile::encodeName(folder) + '/' + name).constData(),
                        O_WRONLY | O_CREAT | O_TRUNC, mode);
  const bool written = fd >= 0 && ::write(fd, "x", 1) == 1;
  return ::close(fd) == 0 && written;
}

}  // namespace

class TestBrowse final : public QObject {
  Q_OBJECT
 private slots:
  void patterns_data();
  void patterns();
  void listing_data();
  void listing();
  void tree_reveals_a_deep_start_folder();
  void file_box_pop_up_menu_data();
  void file_box_pop_up_menu();
  void names_that_are_not_utf8();
  void enter_in_the_file_box_shows_the_file_data();
  void enter_in_the_file_box_shows_the_file();
};

void TestBrowse::patterns_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<bool>("match");
  // clang-format off
  QTest::newRow("star dot star without dot") << "README"   << "*.*"          << true;
  QTest::newRow("several with spaces")       << "a.bmp"    << "*.txt; *.bmp" << true;
  QTest::newRow("question mark")             << "a1.txt"   << "a?.txt"       << true;
  QTest::newRow("name dot star without dot") << "README"   << "README.*"     << true;
  QTest::newRow("star dot: no extension")    << "README"   << "*."           << true;
  QTest::newRow("star dot: an extension")    << "a.txt"    << "*."           << false;
  QTest::newRow("long star run")             << "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab" << "*a*a*a*a*a*c" << false;
  // clang-format on
}

void TestBrowse::patterns() {
  QFETCH(QString, name);
  QFETCH(QString, pattern);
  QFETCH(bool, match);
  QCOMPARE(matches_pattern(name, pattern), match);
}

// One folder: A.txt, b.TXT, c.txt, z.bmp, a hidden .dot.txt, a read-only ro.txt, a folder named
// folder.txt and link.txt, a link to c.txt.
void TestBrowse::listing_data() {
  QTest::addColumn<bool>("hidden");
  QTest::addColumn<bool>("read_only");
  QTest::addColumn<QStringList>("listed");
  const QStringList plain{"A.txt", "b.TXT", "c.txt", "link.txt"};
  // clang-format off
  QTest::newRow("normal files only") << false << false << plain;
  QTest::newRow("with read-only")    << false << true  << plain + QStringList{"ro.txt"};
  QTest::newRow("with hidden")       << true  << false << QStringList{".dot.txt"} + plain;
  // clang-format on
}

void TestBrowse::listing() {
  QFETCH(bool, hidden);
  QFETCH(bool, read_only);
  QFETCH(QStringList, listed);
  QTemporaryDir dir;
  for (const char* name : {"b.TXT", "A.txt", "c.txt", "z.bmp", ".dot.txt"})
    QVERIFY(touch(dir.path(), name));
  QVERIFY(touch(dir.path(), "ro.txt", 0444));
  QVERIFY(QDir(dir.path()).mkdir("folder.txt"));
  QVERIFY(QFile::link(dir.filePath("c.txt"), dir.filePath("link.txt")));
  // Archive and system have no counterpart here: they change nothing.
  const FileAttributes a{
      .archive = false, .hidden = hidden, .read_only = read_only, .system = true};
  QCOMPARE(list_files(dir.path(), "*.txt", a).value_or(QStringList{"?"}), listed);
}

void TestBrowse::tree_reveals_a_deep_start_folder() {
  FormFixture fx;
  const QString deep = fx.folder() + "/one/two/three";
  QDir().mkpath(deep);
  QDir().mkpath(fx.folder() + "/.secret");
  fx.write_settings("[最大ファイル数]\nファイル数=20\n[表示属性]\n隠しファイル=True\n");
  Form1& f = fx.make(false);
  f.browse_to(deep);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  // The folder becomes the tree's selected row, inside the visible part of the tree.
  QTRY_COMPARE(f.folder_tree->currentIndex().data(QFileSystemModel::FilePathRole).toString(), deep);
  const auto name_start = [&f] {
    const QRect r = f.folder_tree->visualRect(f.folder_tree->currentIndex());
    return QPoint(r.left() + 2, r.center().y());
  };
  QTRY_VERIFY(f.folder_tree->viewport()->rect().contains(name_start()));
  QVERIFY(f.folder_tree->selectionModel()->isSelected(f.folder_tree->currentIndex()));
  // With the hidden switch on, hidden folders can be reached in the tree as well.
  auto* model = qobject_cast<QFileSystemModel*>(f.folder_tree->model());
  QTRY_VERIFY(model->index(fx.folder() + "/.secret").isValid());
  QTRY_VERIFY(!f.folder_tree->isRowHidden(model->index(fx.folder() + "/.secret").row(),
                                          model->index(fx.folder())));
  f.file_box->set_attributes(FileAttributes{});
  QTRY_COMPARE(model->filter() & QDir::Hidden, QDir::Filters());
}

void TestBrowse::file_box_pop_up_menu_data() {
  QTest::addColumn<QString>("selected");
  QTest::addColumn<bool>("enabled");
  // clang-format off
  QTest::newRow("nothing selected") << ""           << false;
  QTest::newRow("icon")             << "ICON.ICO"   << false;
  QTest::newRow("text")             << "readme.txt" << true;
  // clang-format on
}

void TestBrowse::file_box_pop_up_menu() {
  QFETCH(QString, selected);
  QFETCH(bool, enabled);
  FormFixture fx;
  for (const char* name : {"ICON.ICO", "readme.txt"}) fx.write_file(name, "x");
  Form1& f = fx.make(true);
  f.file_box->set_list_index(f.file_box->entries().indexOf(selected));
  QMenu* shown = nullptr;
  f.popup_menu = [&](QMenu* m, const QPoint&) {
    shown = m;
    if (m->actions().front()->isEnabled()) m->actions().front()->trigger();
  };
  f.File1_MouseUp(Qt::RightButton, QPoint());
  QCOMPARE(shown, f.file_menu);
  QCOMPARE(f.list_file_open->isEnabled(), enabled);
  // After the menu, the open command of the menu bar opens nothing (an empty path).
  f.txt_file_open->setEnabled(true);
  f.txt_file_open->trigger();
  const QStringList opened{fx.folder() + "/" + selected, QString()};
  QCOMPARE(fx.opener.opened, enabled ? opened : opened.mid(1));
}

// A name that is not UTF-8 is listed, but neither shown nor registered; the valid name beside it
// is.
void TestBrowse::names_that_are_not_utf8() {
  FormFixture fx;
  QVERIFY(touch(fx.folder(), "\x93\xfa\x96\x7b.txt"));  // 日本.txt in code page 932
  QVERIFY(touch(fx.folder(), "\xef\xbf\xbd.txt"));      // a real U+FFFD, valid UTF-8
  const QString valid = QStringLiteral("\uFFFD.txt");
  Form1& f = fx.make(true);
  const QStringList names = f.file_box->entries();
  QCOMPARE(names.size(), 2);
  f.select_in_file_box(names[0] == valid ? names[1] : names[0]);
  const QString message =
      "ファイル名の文字コードを読み取れないため、このファイルは表示できません。\n\r"
      "フォルダ：" +
      fx.folder();
  fx.messages.expect(message);
  f.File1_DblClick();
  fx.messages.expect(message);
  f.pane_file_box_drop();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QVERIFY(f.st.txt.empty() && f.text_list->count() == 0);
  fx.messages.expect(fx.folder() + "のテキストファイル名を登録しますか？");
  f.txt_all_load_Click();
  QCOMPARE(f.st.txt.paths.mid(0, 2), (QStringList{fx.folder() + "/" + valid, QString()}));
  // The file box's refresh lists a new file and keeps the selected name, which a double click
  // shows.
  f.select_in_file_box(valid);
  fx.write_file("new.txt", "n");
  f.now_refresh->trigger();
  QCOMPARE(f.file_box->entries().size(), 3);
  f.File1_DblClick();
  QCOMPARE(f.st.txt.paths[1], fx.folder() + "/" + valid);
}

// Enter in the file box shows the selected file as a double click does; with nothing selected it
// shows nothing. The arrow keys move the selection as ever.
void TestBrowse::enter_in_the_file_box_shows_the_file_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
  QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

void TestBrowse::enter_in_the_file_box_shows_the_file() {
  QFETCH(int, key);
  QFETCH(int, modifiers);
  FormFixture fx;
  fx.write_file("a.txt", "alpha");
  fx.write_file("b.txt", "beta");
  Form1& f = fx.make(true);
  f.show();
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  f.file_box->setFocus();
  const auto press = [&] {
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  };
  press();
  QVERIFY(f.st.txt.empty());
  f.select_in_file_box("a.txt");
  f.file_box->setFocus();
  QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Down);
  QCOMPARE(f.file_box->file_name(), QString("b.txt"));
  press();
  QCOMPARE(f.st.txt.paths.mid(0, 2), (QStringList{fx.folder() + "/b.txt", QString()}));
  QTRY_COMPARE(f.text_pane->text(), QString("beta"));
}

QTEST_MAIN(TestBrowse)
#include "test_browse.moc"
