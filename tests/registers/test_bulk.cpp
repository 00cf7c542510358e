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

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const QString kImageDone = QStringLiteral("画像ファイル名の登録終了！");
const QString kTextDone = QStringLiteral("テキストファイル名の登録終了！");
const QString kNoImage = QStringLiteral("イメージがない！");
const QString kNoText = QStringLiteral("テキストがない！");
const QString kImageClear = QStringLiteral("登録した画像ファイル名をすべて消去してもいいですか？");
const QString kTextClear =
    QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？");

QString load_question(const QString& folder, BulkKind kind) {
  return folder + (kind == BulkKind::Images
                       ? QStringLiteral("の画像ファイル名を登録しますか？")
                       : QStringLiteral("のテキストファイル名を登録しますか？"));
}

QByteArray bmp() {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter(&buffer, "bmp").write(image);
  return bytes;
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

// The window in a temp folder holding a.txt, b.BMP (a real picture) and c.wmf, with the given
// highest entry number.
Form1& make_abc(FormFixture& fx, int max_index = 200) {
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=%1\n").arg(max_index));
  fx.write_file("a.txt", "text a");
  fx.write_file("b.BMP", bmp());
  fx.write_file("c.wmf", "");
  Form1& f = fx.make(false);
  f.show();
  return f;
}

}  // namespace

Q_DECLARE_METATYPE(tarvex::BulkKind)

class TestBulk final : public QObject {
  Q_OBJECT
 private slots:
  void takes_data();
  void takes();
  void bulk_register_data();
  void bulk_register();
  void clear_then_register_once_data();
  void clear_then_register_once();

  void load_commands_data();
  void load_commands();
  void file_box_decides();
  void folder_of_the_file_box();
  void display_left_alone();
  void notice_closes_at_the_twelfth_tick();
  void clear_commands_data();
  void clear_commands();
};

void TestBulk::takes_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("image");
  QTest::addColumn<bool>("text");
  // clang-format off
  QTest::newRow("txt")              << "a.txt"     << false << true;
  QTest::newRow("upper-case BMP")   << "b.BMP"     << true  << false;
  QTest::newRow("metafile in both") << "c.wmf"     << true  << true;
  QTest::newRow("cursor in both")   << "d.Cur"     << true  << true;
  QTest::newRow("icon")             << "e.ico"     << true  << false;
  QTest::newRow("jpg")              << "f.JPG"     << true  << false;
  QTest::newRow("gif")              << "g.gif"     << true  << false;
  QTest::newRow("jpeg is a text")   << "h.jpeg"    << false << true;
  QTest::newRow("no dot needed")    << "photojpg"  << true  << false;
  QTest::newRow("short name")       << "ab"        << false << true;
  QTest::newRow("no extension")     << "README"    << false << true;
  QTest::newRow("Japanese name")    << "写真.Gif"  << true  << false;
  // clang-format on
}

void TestBulk::takes() {
  QFETCH(QString, name);
  QFETCH(bool, image);
  QFETCH(bool, text);
  QCOMPARE(bulk_takes(BulkKind::Images, name), image);
  QCOMPARE(bulk_takes(BulkKind::Texts, name), text);
}

void TestBulk::bulk_register_data() {
  QTest::addColumn<BulkKind>("kind");
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QStringList>("names");
  QTest::addColumn<int>("runs");
  QTest::addColumn<int>("taken");
  QTest::addColumn<int>("last");
  QTest::addColumn<int>("full");
  QTest::addColumn<QStringList>("entries");  // slots 0 … top_index afterwards
  const QStringList abc{"a.txt", "b.BMP", "c.wmf"};
  const auto img = BulkKind::Images;
  const auto txt = BulkKind::Texts;
  // clang-format off
  QTest::newRow("images of a b c")  << img << "/d"  << abc << 1 << 2 << 1 << 0 << QStringList{"/d/b.BMP", "/d/c.wmf"};
  QTest::newRow("texts of a b c")   << txt << "/d"  << abc << 1 << 2 << 1 << 0 << QStringList{"/d/a.txt", "/d/c.wmf"};
  QTest::newRow("running twice")    << img << "/d"  << abc << 2 << 2 << 3 << 0 << QStringList{"/d/b.BMP", "/d/c.wmf", "/d/b.BMP", "/d/c.wmf"};
  QTest::newRow("root folder")      << txt << "/"   << abc << 1 << 2 << 1 << 0 << QStringList{"/a.txt", "/c.wmf"};
  QTest::newRow("trailing slash")   << img << "/d/" << abc << 1 << 2 << 1 << 0 << QStringList{"/d/b.BMP", "/d/c.wmf"};
  QTest::newRow("nothing taken")    << img << "/d"  << QStringList{"a.txt", "b.jpeg"} << 1 << 0 << -1 << 0 << QStringList{};
  QTest::newRow("empty folder")     << txt << "/d"  << QStringList{} << 1 << 0 << -1 << 0 << QStringList{};
  QTest::newRow("25 files wrap")    << txt << "/d"  << numbered("f%1", 0, 24) << 1 << 25 << 3 << 1
                                    << numbered("/d/f%1", 21, 24) + numbered("/d/f%1", 4, 20);
  QTest::newRow("exactly 21 files") << txt << "/d"  << numbered("f%1", 0, 20) << 1 << 21 << 20 << 0
                                    << numbered("/d/f%1", 0, 20);
  // clang-format on
}

void TestBulk::bulk_register() {
  QFETCH(BulkKind, kind);
  QFETCH(QString, folder);
  QFETCH(QStringList, names);
  QFETCH(int, runs);
  QFETCH(int, taken);
  QFETCH(int, last);
  QFETCH(int, full);
  QFETCH(QStringList, entries);
  Register r;
  r.reset(20);
  r.cur = 0;
  for (int run = 0; run < runs; ++run)
    QCOMPARE(tarvex::bulk_register(r, kind, folder, names), taken);
  QCOMPARE(r.last, last);
  QCOMPARE(r.full, full);
  QCOMPARE(r.paths.mid(0, r.top_index() + 1), entries);
  // The slots past the entries, and the spare after max_index, stay empty.
  for (int i = r.top_index() + 1; i < 22; ++i) QCOMPARE(r.paths[i], QString());
  // A bulk registration never moves the current entry, nor takes undo copies.
  QCOMPARE(r.cur, 0);
  QCOMPARE(r.last_before, 0);
}

void TestBulk::clear_then_register_once_data() {
  QTest::addColumn<int>("registered");
  QTest::newRow("empty") << 0;
  QTest::newRow("up to max_index") << 21;
  QTest::newRow("wrapped") << 25;
}

void TestBulk::clear_then_register_once() {
  QFETCH(int, registered);
  Register r;
  r.reset(20);
  tarvex::bulk_register(r, BulkKind::Texts, "/d", numbered("f%1", 0, registered - 1));
  r.cur = registered > 3 ? 3 : 0;
  clear_register(r);
  QCOMPARE(r.paths, QStringList(22, QString()));
  QCOMPARE(QList<int>({r.last, r.full, r.cur}), QList<int>({-1, 0, 0}));
  QVERIFY(r.list_lines().isEmpty());
  r.register_path("/d/new.txt", true);
  QCOMPARE(r.list_lines(), QStringList{"000: new.txt"});
}

// The folder holds a.txt, b.BMP and c.wmf unless the row names its files.
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
  QTest::newRow("images, cancelled")   << img << int(kAnswerCancel) << true  << abc << none << QString();
  QTest::newRow("texts")               << txt << int(kAnswerOk)     << false << abc << QStringList{"000: a.txt", "001: c.wmf"} << kTextDone;
  QTest::newRow("texts, deletion on")  << txt << int(kAnswerOk)     << true  << abc << QStringList{"000: a.txt", "001: c.wmf"} << kTextDone;
  QTest::newRow("texts, cancelled")    << txt << int(kAnswerCancel) << true  << abc << none << QString();
  QTest::newRow("no image")            << img << int(kAnswerOk)     << true  << QStringList{"a.txt", "b.jpeg"} << none << kNoImage;
  QTest::newRow("no text")             << txt << int(kAnswerOk)     << true  << QStringList{"a.JPG", "b.gif", "c.ico", "d.bmp"} << none << kNoText;
  QTest::newRow("empty folder")        << txt << int(kAnswerOk)     << true  << none << none << kNoText;
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
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=200\n"));
  for (const QString& name : files) fx.write_file(name, name == "b.BMP" ? bmp() : QByteArray("x"));
  Form1& f = fx.make(false);
  f.show();
  f.form2()->Check3->setChecked(deletion_allowed);
  const bool images = kind == BulkKind::Images;
  const Register& r = images ? f.st.img : f.st.txt;
  QListWidget* list_box = images ? f.Img_List : f.Txt_List;
  const auto arrows = images ? f.Command2 : f.Command3;
  const QList<QAction*> enabled =
      images
          ? QList<QAction*>{f.img_all_clear, f.画像のコピー, f.image_登録から削除}
          : QList<QAction*>{f.txt_all_clear, f.txt_kensaku, f.txt_file_open, f.text_登録から削除};
  QAction* deletion = images ? f.image_ファイル削除 : f.text_ファイル削除;

  QSignalSpy rebuilt(list_box->model(), &QAbstractItemModel::rowsInserted);
  fx.messages.expect(load_question(fx.folder(), kind), answer);
  (images ? f.img_all_load : f.txt_all_load)->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(fx.messages.buttons_seen, QList<MsgButtons>{MsgButtons::OkCancel});

  const bool done = !list.isEmpty();
  // The list is rebuilt once for the whole folder, not once per file.
  QCOMPARE(rebuilt.count(), done ? 1 : 0);
  QCOMPARE(lines(list_box), list);
  QCOMPARE(r.last, list.size() - 1);
  QCOMPARE((images ? f.st.img_found : f.st.txt_found) > 0, done);
  QCOMPARE(arrows[0]->isVisible() && arrows[1]->isVisible(), done);
  for (QAction* a : enabled) QVERIFY2(a->isEnabled() == done, qPrintable(a->objectName()));
  // Only the image command opens file deletion, and only when the options allow it.
  QCOMPARE(deletion->isEnabled(), done && images && deletion_allowed);
  // The other register and its commands are untouched.
  QVERIFY((images ? f.st.txt : f.st.img).empty());
  QVERIFY(!(images ? f.txt_all_clear : f.img_all_clear)->isEnabled());
  QVERIFY((images ? f.Command3 : f.Command2)[1]->isHidden());
  if (done) QCOMPARE(f.focusWidget(), arrows[1]);
  QCOMPARE(f.form3()->Label1->text(), notice);
  QCOMPARE(f.ロード終了表示->enabled(), !notice.isEmpty());
  QCOMPARE(f.st.msg_answer, answer);
}

void TestBulk::file_box_decides() {
  FormFixture fx;
  fx.write_file(".hidden.gif", "x");
  fx.write_file("d.jpg", "x");
  Form1& f = make_abc(fx);
  // The pattern: only what the box lists is offered.
  f.File1->set_pattern("*.bmp;*.gif");
  fx.messages.expect(load_question(fx.folder(), BulkKind::Images));
  f.img_all_load_Click();
  QCOMPARE(lines(f.Img_List), QStringList{"000: b.BMP"});
  // The hidden-file switch lets the dot file through on the next run.
  FileAttributes a = f.File1->attributes();
  a.hidden = true;
  f.File1->set_attributes(a);
  fx.messages.expect(load_question(fx.folder(), BulkKind::Images));
  f.img_all_load_Click();
  QCOMPARE(lines(f.Img_List), (QStringList{"000: b.BMP", "001: .hidden.gif", "002: b.BMP"}));
  QCOMPARE(f.st.img.path(1), fx.folder() + "/.hidden.gif");
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

// When the folder tree points at a folder that could not be listed, the file box still lists the
// folder before it; the command asks about, and registers from, the folder whose names it takes.
void TestBulk::folder_of_the_file_box() {
  FormFixture fx;
  fx.write_file("sub/inner.txt", "x");
  Form1& f = make_abc(fx);
  f.SHTree1->set_current_path(fx.folder() + "/sub");
  f.SHTree1_Change();
  f.SHTree1->set_current_path(fx.folder() + "/vanished");
  fx.messages.expect("メディアが入ってません！");
  f.SHTree1_Change();
  fx.messages.expect(load_question(fx.folder() + "/sub", BulkKind::Texts));
  f.txt_all_load_Click();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.st.txt.path(0), fx.folder() + "/sub/inner.txt");
  QCOMPARE(f.st.txt.last, 0);
}

void TestBulk::display_left_alone() {
  FormFixture fx;
  Form1& f = make_abc(fx);
  f.ファイルの表示(fx.folder() + "/a.txt", 1);
  f.ファイルの表示(fx.folder() + "/b.BMP", 1);
  const QString shown = f.Text1->text() + f.Label6->text() + labels(f);
  QVERIFY(shown.endsWith(fx.folder() + "/b.BMP"));
  for (BulkKind kind : {BulkKind::Images, BulkKind::Texts}) {
    fx.messages.expect(load_question(fx.folder(), kind));
    (kind == BulkKind::Images ? f.img_all_load : f.txt_all_load)->trigger();
  }
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(lines(f.Img_List), (QStringList{"000: b.BMP", "001: b.BMP", "002: c.wmf"}));
  QCOMPARE(lines(f.Txt_List), (QStringList{"000: a.txt", "001: a.txt", "002: c.wmf"}));
  QCOMPARE(f.st.img.cur + f.st.txt.cur, 0);
  QCOMPARE(f.Text1->text() + f.Label6->text() + labels(f), shown);
  QVERIFY(!f.Image1->picture().isNull());
  QCOMPARE(f.RichTextBox1->text(), QString("text a"));
  QVERIFY(f.Image1->isVisible());
}

void TestBulk::notice_closes_at_the_twelfth_tick() {
  FormFixture fx;
  Form1& f = make_abc(fx);
  Form3* notice = f.form3();
  f.move(300, 200);
  for (int round = 0; round < 2; ++round) {
    f.show_notice(round == 0 ? kImageDone : kNoText);
    QVERIFY(f.ロード終了表示->enabled());
    QCOMPARE(f.ロード終了表示->interval(), 10);
    QVERIFY(!notice->isVisible());
    for (int tick = 1; tick <= 11; ++tick) {
      f.ロード終了表示_Timer();
      QVERIFY2(notice->isVisible(), qPrintable(QString("tick %1").arg(tick)));
      QCOMPARE(f.st.notice_count, tick);
    }
    QCOMPARE(notice->windowTitle(), f.app_title);
    QVERIFY((notice->frameGeometry().center() - f.frameGeometry().center()).manhattanLength() <= 8);
    QCOMPARE(notice->Label1->text(), round == 0 ? kImageDone : kNoText);
    f.ロード終了表示_Timer();
    QVERIFY(!notice->isVisible());
    QVERIFY(!f.ロード終了表示->enabled());
    QCOMPARE(f.st.notice_count, 0);
  }
  // The notice never takes the focus from the main window.
  QVERIFY(notice->testAttribute(Qt::WA_ShowWithoutActivating));
  // Left to the real timer, the notice comes and goes by itself.
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
  QTest::newRow("images, cancelled")            << img << int(kAnswerCancel) << false;
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
  Form1& f = make_abc(fx);
  f.form2()->Check3->setChecked(true);
  const bool images = kind == BulkKind::Images;
  // Both registers hold entries, and the chosen pane is on display.
  fx.messages.expect(load_question(fx.folder(), BulkKind::Images));
  f.img_all_load_Click();
  fx.messages.expect(load_question(fx.folder(), BulkKind::Texts));
  f.txt_all_load_Click();
  const bool picture_shows = images != other_on_display;
  f.ファイルの表示(fx.folder() + (picture_shows ? "/b.BMP" : "/a.txt"), 1);
  f.RichTextBox2->set_text("hit");
  f.st.img_nav_started = f.st.txt_nav_started = 1;
  f.Command1[0]->show();
  f.Command1[1]->show();
  const Register img_before = f.st.img;
  const Register txt_before = f.st.txt;
  const QString number = f.Text1->text();
  const QString path = labels(f);

  fx.messages.expect(images ? kImageClear : kTextClear, answer);
  (images ? f.img_all_clear : f.txt_all_clear)->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(fx.messages.buttons_seen.back(), MsgButtons::OkCancel);

  const Register& r = images ? f.st.img : f.st.txt;
  const Register& other = images ? f.st.txt : f.st.img;
  QCOMPARE(other.paths, (images ? txt_before : img_before).paths);
  QCOMPARE(other.last, (images ? txt_before : img_before).last);
  if (answer != kAnswerOk) {
    QCOMPARE(r.paths, (images ? img_before : txt_before).paths);
    QCOMPARE(f.Text1->text(), number);
    QCOMPARE((images ? f.Img_List : f.Txt_List)->count(), 3);
    QVERIFY((images ? f.img_all_clear : f.txt_all_clear)->isEnabled());
    QVERIFY((images ? f.Command2 : f.Command3)[1]->isVisible());
    return;
  }
  QVERIFY(r.empty());
  QCOMPARE(r.paths, QStringList(r.max_index + 2, QString()));
  QCOMPARE(QList<int>({r.last, r.full, r.cur}), QList<int>({-1, 0, 0}));
  QCOMPARE(images ? f.st.img_nav_started : f.st.txt_nav_started, 0);
  QCOMPARE(images ? f.st.txt_nav_started : f.st.img_nav_started, 1);
  QCOMPARE((images ? f.Img_List : f.Txt_List)->count(), 0);
  QCOMPARE((images ? f.Txt_List : f.Img_List)->count(), other.top_index() + 1);
  // The number box and the path labels go only when the other register is not on display.
  QCOMPARE(f.Text1->text(), other_on_display ? number : QString());
  QCOMPARE(f.Label6->text().isEmpty(), !other_on_display);
  QCOMPARE(labels(f), other_on_display ? path : QString());
  if (images) {
    QVERIFY(f.Image1->picture().isNull());
    QVERIFY(!f.RichTextBox2->text().isEmpty());
  } else {
    QCOMPARE(f.RichTextBox1->text(), QString());
    QCOMPARE(f.RichTextBox2->text(), QString());
    QVERIFY(!f.Image1->picture().isNull() || !picture_shows);
  }
  const int own = images ? 0 : 1;
  const auto own_arrows = images ? f.Command2 : f.Command3;
  const auto other_arrows = images ? f.Command3 : f.Command2;
  QVERIFY(f.Command1[own]->isHidden() && f.Command1[1 - own]->isVisible());
  QVERIFY(own_arrows[0]->isHidden() && own_arrows[1]->isHidden());
  QVERIFY(other_arrows[0]->isVisible() && other_arrows[1]->isVisible());
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
