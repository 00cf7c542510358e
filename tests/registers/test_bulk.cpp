// Bulk registration of a folder, clearing a register, and the notice that a bulk registration
// leaves: the ring on its own, then the commands on the real window with real files.

#include "app/form3.h"
#include "app/main_window.h"
#include "browse/file_box.h"
#include "browse/folder_tree.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "platform/classic_timer.h"
#include "registers/bulk_register.h"
#include "settings/form2.h"
#include "test_pictures.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const QString kImageDone = QStringLiteral("画像ファイル名の登録終了！");
const QString kTextDone = QStringLiteral("テキストファイル名の登録終了！");

QString load_question(const QString& folder, BulkKind kind) {
  return folder + (kind == BulkKind::Images
                       ? QStringLiteral("の画像ファイル名を登録しますか？")
                       : QStringLiteral("のテキストファイル名を登録しますか？"));
}

QStringList numbered(const QString& format, int from, int to) {
  QStringList names;
  for (int i = from; i <= to; ++i) names << format.arg(i);
  return names;
}

QStringList lines(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

QString labels(const Form1& f) {
  return f.Label4[0]->text() + f.Label4[1]->text() + f.Label4[2]->text();
}

// The window, shown, in a temp folder holding `files`; b.BMP is a real picture.
Form1& make(FormFixture& fx, const QStringList& files = {"a.txt", "b.BMP", "c.wmf"}) {
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=200\n"));
  for (const QString& name : files)
    fx.write_file(name, name == "b.BMP" ? image_bytes(test_pattern(8, 8), "bmp") : "text a");
  Form1& f = fx.make(false);
  f.show();
  return f;
}

}  // namespace

Q_DECLARE_METATYPE(tarvex::BulkKind)

class TestBulk final : public QObject {
  Q_OBJECT
 private slots:
  void bulk_register_then_clear_data();
  void bulk_register_then_clear();
  void load_commands_data();
  void load_commands();
  void takes_what_the_file_box_lists();
  void notice_closes_at_the_twelfth_tick();
  void clear_commands_data();
  void clear_commands();
};

void TestBulk::bulk_register_then_clear_data() {
  QTest::addColumn<BulkKind>("kind");
  QTest::addColumn<QStringList>("names");
  QTest::addColumn<int>("taken");
  QTest::addColumn<int>("last");
  QTest::addColumn<int>("full");
  QTest::addColumn<QStringList>("entries");  // slots 0 … top_index afterwards
  const QStringList abc{"a.txt", "b.BMP", "c.wmf"};
  const auto img = BulkKind::Images;
  const auto txt = BulkKind::Texts;
  // clang-format off
  QTest::newRow("images of a b c") << img << abc << 2  << 1 << 0 << QStringList{"/d/b.BMP", "/d/c.wmf"};
  QTest::newRow("texts by ending") << txt << QStringList{"README", "photojpg", "x.jpeg", "y.ico"} << 2 << 1 << 0 << QStringList{"/d/README", "/d/x.jpeg"};
  QTest::newRow("25 files wrap")   << txt << numbered("f%1", 0, 24) << 25 << 3 << 1 << numbered("/d/f%1", 21, 24) + numbered("/d/f%1", 4, 20);
  // clang-format on
}

void TestBulk::bulk_register_then_clear() {
  QFETCH(BulkKind, kind);
  QFETCH(QStringList, names);
  QFETCH(int, taken);
  QFETCH(int, last);
  QFETCH(int, full);
  QFETCH(QStringList, entries);
  Register r;
  r.reset(20);
  QCOMPARE(tarvex::bulk_register(r, kind, "/d", names), taken);
  QCOMPARE(r.last, last);
  QCOMPARE(r.full, full);
  QCOMPARE(r.paths.mid(0, r.top_index() + 1), entries);
  // A bulk registration never moves the current entry, nor takes undo copies.
  QCOMPARE(QList<int>({r.cur, r.last_before}), QList<int>({0, 0}));
  // Clearing empties every slot, and the next registration goes to 000.
  r.cur = 1;
  clear_register(r);
  QCOMPARE(r.paths, QStringList(22, QString()));
  QCOMPARE(QList<int>({r.last, r.full, r.cur}), QList<int>({-1, 0, 0}));
  r.register_path("/d/new.txt", true);
  QCOMPARE(r.list_lines(), QStringList{"000: new.txt"});
}

void TestBulk::load_commands_data() {
  QTest::addColumn<BulkKind>("kind");
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("deletion_allowed");
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<QStringList>("list");
  QTest::addColumn<QString>("notice");
  const auto img = BulkKind::Images;
  const auto txt = BulkKind::Texts;
  const QStringList abc{"a.txt", "b.BMP", "c.wmf"}, none;
  // clang-format off
  QTest::newRow("images")              << img << int(kAnswerOk)     << false << abc << QStringList{"000: b.BMP", "001: c.wmf"} << kImageDone;
  QTest::newRow("images, deletion on") << img << int(kAnswerOk)     << true  << abc << QStringList{"000: b.BMP", "001: c.wmf"} << kImageDone;
  QTest::newRow("texts, deletion on")  << txt << int(kAnswerOk)     << true  << abc << QStringList{"000: a.txt", "001: c.wmf"} << kTextDone;
  QTest::newRow("texts, cancelled")    << txt << int(kAnswerCancel) << true  << abc << none << QString();
  QTest::newRow("no image")            << img << int(kAnswerOk)     << true  << QStringList{"a.txt", "b.jpeg"} << none << QStringLiteral("イメージがない！");
  QTest::newRow("no text, no files")   << txt << int(kAnswerOk)     << true  << none << none << QStringLiteral("テキストがない！");
  // clang-format on
}

void TestBulk::load_commands() {
  QFETCH(BulkKind, kind);
  QFETCH(int, answer);
  QFETCH(bool, deletion_allowed);
  QFETCH(QStringList, files);
  QFETCH(QStringList, list);
  QFETCH(QString, notice);
  FormFixture fx;
  Form1& f = make(fx, files);
  f.form2()->Check3->setChecked(deletion_allowed);
  const bool images = kind == BulkKind::Images;
  QListWidget* list_box = images ? f.Img_List : f.Txt_List;
  const auto arrows = images ? f.Command2 : f.Command3;
  const QList<QAction*> enabled =
      images
          ? QList<QAction*>{f.img_all_clear, f.画像のコピー, f.image_登録から削除}
          : QList<QAction*>{f.txt_all_clear, f.txt_kensaku, f.txt_file_open, f.text_登録から削除};

  fx.messages.expect(load_question(fx.folder(), kind), answer);
  (images ? f.img_all_load : f.txt_all_load)->trigger();
  QCOMPARE(fx.messages.buttons_seen, QList<MsgButtons>{MsgButtons::OkCancel});

  const bool done = !list.isEmpty();
  QCOMPARE(lines(list_box), list);
  QCOMPARE(arrows[0]->isVisible() && arrows[1]->isVisible(), done);
  for (QAction* a : enabled) QVERIFY2(a->isEnabled() == done, qPrintable(a->objectName()));
  // Only the image command opens file deletion, and only when the options allow it.
  QCOMPARE((images ? f.image_ファイル削除 : f.text_ファイル削除)->isEnabled(),
           done && images && deletion_allowed);
  // The other register and its commands are untouched.
  QVERIFY((images ? f.st.txt : f.st.img).empty());
  QVERIFY(!(images ? f.txt_all_clear : f.img_all_clear)->isEnabled());
  if (done) QCOMPARE(f.focusWidget(), arrows[1]);
  QCOMPARE(f.form3()->Label1->text(), notice);
  QCOMPARE(f.ロード終了表示->enabled(), !notice.isEmpty());
}

// The commands take the names the file box lists, from the folder it lists, and leave what is on
// display alone.
void TestBulk::takes_what_the_file_box_lists() {
  FormFixture fx;
  fx.write_file(".hidden.gif", "x");
  fx.write_file("sub/inner.txt", "x");
  Form1& f = make(fx);
  f.ファイルの表示(fx.folder() + "/b.BMP", 1);
  const QString shown = f.Text1->text() + labels(f);
  // The box's pattern keeps c.wmf out; its hidden-file switch lets the dot file in.
  f.File1->set_pattern("*.bmp;*.gif");
  FileAttributes a = f.File1->attributes();
  a.hidden = true;
  f.File1->set_attributes(a);
  fx.messages.expect(load_question(fx.folder(), BulkKind::Images));
  f.img_all_load->trigger();
  QCOMPARE(lines(f.Img_List), (QStringList{"000: b.BMP", "001: .hidden.gif", "002: b.BMP"}));
  QCOMPARE(f.st.img.path(1), fx.folder() + "/.hidden.gif");
  QCOMPARE(f.st.img.cur, 0);
  QCOMPARE(f.Text1->text() + labels(f), shown);
  QVERIFY(f.Image1->isVisible() && !f.Image1->picture().isNull());
  // When the tree points at a folder that could not be listed, the box still lists the folder
  // before it: that folder is asked about and registered from.
  f.File1->set_pattern(QString());
  f.SHTree1->set_current_path(fx.folder() + "/sub");
  f.SHTree1_Change();
  f.SHTree1->set_current_path(fx.folder() + "/vanished");
  fx.messages.expect("メディアが入ってません！");
  f.SHTree1_Change();
  fx.messages.expect(load_question(fx.folder() + "/sub", BulkKind::Texts));
  f.txt_all_load->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(lines(f.Txt_List), QStringList{"000: inner.txt"});
  QCOMPARE(f.st.txt.path(0), fx.folder() + "/sub/inner.txt");
}

void TestBulk::notice_closes_at_the_twelfth_tick() {
  FormFixture fx;
  Form1& f = make(fx);
  Form3* notice = f.form3();
  f.move(300, 200);
  f.show_notice(kImageDone);
  QVERIFY(f.ロード終了表示->enabled() && !notice->isVisible());
  for (int tick = 1; tick <= 11; ++tick) {
    f.ロード終了表示_Timer();
    QVERIFY2(notice->isVisible(), qPrintable(QString("tick %1").arg(tick)));
  }
  QCOMPARE(notice->windowTitle(), f.app_title);
  QCOMPARE(notice->Label1->text(), kImageDone);
  // It comes up in the middle of the main window, and never takes the focus from it.
  QVERIFY((notice->frameGeometry().center() - f.frameGeometry().center()).manhattanLength() <= 8);
  QVERIFY(notice->testAttribute(Qt::WA_ShowWithoutActivating));
  f.ロード終了表示_Timer();
  QVERIFY(!notice->isVisible() && !f.ロード終了表示->enabled());
  QCOMPARE(f.st.notice_count, 0);
  // Left to the real timer, the notice comes and goes again by itself.
  f.show_notice(kTextDone);
  QTRY_VERIFY(notice->isVisible());
  QTRY_VERIFY(!notice->isVisible());
  QVERIFY(!f.ロード終了表示->enabled());
}

void TestBulk::clear_commands_data() {
  QTest::addColumn<BulkKind>("kind");
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("other_on_display");  // the other register's pane is the one shown
  const auto img = BulkKind::Images;
  const auto txt = BulkKind::Texts;
  // clang-format off
  QTest::newRow("images while a picture shows") << img << int(kAnswerOk)     << false;
  QTest::newRow("images while a text shows")    << img << int(kAnswerOk)     << true;
  QTest::newRow("texts while a text shows")     << txt << int(kAnswerOk)     << false;
  QTest::newRow("texts while a picture shows")  << txt << int(kAnswerOk)     << true;
  QTest::newRow("texts, cancelled")             << txt << int(kAnswerCancel) << false;
  // clang-format on
}

void TestBulk::clear_commands() {
  QFETCH(BulkKind, kind);
  QFETCH(int, answer);
  QFETCH(bool, other_on_display);
  FormFixture fx;
  Form1& f = make(fx);
  const bool images = kind == BulkKind::Images;
  // Both registers hold entries, and the chosen pane is on display.
  for (BulkKind k : {BulkKind::Images, BulkKind::Texts}) {
    fx.messages.expect(load_question(fx.folder(), k));
    (k == BulkKind::Images ? f.img_all_load : f.txt_all_load)->trigger();
  }
  f.ファイルの表示(fx.folder() + (images != other_on_display ? "/b.BMP" : "/a.txt"), 1);
  f.RichTextBox2->set_text("hit");
  const Register before = images ? f.st.img : f.st.txt;
  const Register other_before = images ? f.st.txt : f.st.img;
  const QString shown = f.Text1->text() + labels(f);

  fx.messages.expect(
      images ? QStringLiteral("登録した画像ファイル名をすべて消去してもいいですか？")
             : QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？"),
      answer);
  (images ? f.img_all_clear : f.txt_all_clear)->trigger();
  const Register& r = images ? f.st.img : f.st.txt;
  QListWidget* own_list = images ? f.Img_List : f.Txt_List;
  QCOMPARE((images ? f.st.txt : f.st.img).paths, other_before.paths);
  if (answer != kAnswerOk) {
    QCOMPARE(r.paths, before.paths);
    QCOMPARE(own_list->count(), 3);
    return;
  }
  QVERIFY(r.empty() && own_list->count() == 0);
  // The number box and the path labels go only when the other register is not on display.
  QCOMPARE(f.Text1->text() + labels(f), other_on_display ? shown : QString());
  // Clearing the texts empties both text panes; clearing the images only the picture.
  QCOMPARE(f.RichTextBox2->text().isEmpty(), !images);
  QCOMPARE(f.Image1->picture().isNull(), images || !other_on_display);
  const auto own_arrows = images ? f.Command2 : f.Command3;
  QVERIFY(own_arrows[0]->isHidden() && own_arrows[1]->isHidden());
  const QList<QAction*> own_items =
      images ? QList<QAction*>{f.img_all_clear, f.画像のコピー, f.image_登録から削除,
                               f.image_ファイル削除, f.img_file_open}
             : QList<QAction*>{f.txt_all_clear, f.txt_kensaku,       f.txt_file_open,
                               f.コピー,        f.text_登録から削除, f.text_ファイル削除};
  for (QAction* a : own_items) QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
  QVERIFY((images ? f.txt_all_clear : f.img_all_clear)->isEnabled());
}

QTEST_MAIN(TestBulk)
#include "test_bulk.moc"
