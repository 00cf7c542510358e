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
  return f.path_labels[0]->text() + f.path_labels[1]->text() + f.path_labels[2]->text();
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
  void commands_data();
  void commands();
  void takes_what_the_file_box_lists();
  void added_picture_formats_go_to_the_images();
  void phone_photos_go_to_the_images_with_the_shipped_settings();
  void notice_closes_at_the_twelfth_tick();
};

void TestBulk::bulk_register_then_clear_data() {
  QTest::addColumn<BulkKind>("kind");
  QTest::addColumn<QStringList>("added");  // the settings file's added picture formats
  QTest::addColumn<QStringList>("names");
  QTest::addColumn<int>("last");
  QTest::addColumn<bool>("full");
  QTest::addColumn<QStringList>("entries");  // slots 0 … top_index afterwards
  const auto img = BulkKind::Images;
  const auto txt = BulkKind::Texts;
  const QStringList none, added{"png", "jpeg"};
  const QStringList mixed{"a.png", "B.PNG", "x.jpeg", "c.wmf", "icon.png.txt", "png", "d.bmp"};
  // clang-format off
  QTest::newRow("texts by ending")               << txt << none  << QStringList{"README", "photojpg", "x.jpeg", "y.ico"} << 1 << false << QStringList{"/d/README", "/d/x.jpeg"};
  QTest::newRow("25 files wrap")                 << txt << none  << numbered("f%1", 0, 24) << 3 << true << numbered("/d/f%1", 21, 24) + numbered("/d/f%1", 4, 20);
  QTest::newRow("added formats are images")      << img << added << mixed << 4 << false << QStringList{"/d/a.png", "/d/B.PNG", "/d/x.jpeg", "/d/c.wmf", "/d/d.bmp"};
  QTest::newRow("added formats are never texts") << txt << added << mixed << 2 << false << QStringList{"/d/c.wmf", "/d/icon.png.txt", "/d/png"};
  QTest::newRow("without the section, png is text") << txt << none  << mixed << 5 << false << QStringList{"/d/a.png", "/d/B.PNG", "/d/x.jpeg", "/d/c.wmf", "/d/icon.png.txt", "/d/png"};
  // clang-format on
}

void TestBulk::bulk_register_then_clear() {
  QFETCH(BulkKind, kind);
  QFETCH(QStringList, added);
  QFETCH(QStringList, names);
  QFETCH(int, last);
  QFETCH(bool, full);
  QFETCH(QStringList, entries);
  AddedImageExtensions table;
  std::copy(added.begin(), added.end(), table.begin());
  Register r;
  r.reset(20);
  tarvex::bulk_register(r, kind, "/d", names, table);
  QCOMPARE(r.last, last);
  QCOMPARE(r.full, full);
  QCOMPARE(r.paths.mid(0, r.top_index() + 1), entries);
  // A bulk registration never moves the current entry, nor takes undo copies.
  QCOMPARE(QList<int>({r.cur, r.last_before}), QList<int>({0, 0}));
  // Clearing empties every slot, and the next registration goes to 000.
  r.cur = 1;
  clear_register(r);
  QCOMPARE(r.paths, QStringList(22, QString()));
  QCOMPARE(QList<int>({r.last, int(r.full), r.cur}), QList<int>({-1, 0, 0}));
  r.register_path("/d/new.txt", true);
  QCOMPARE(r.list_lines(), QStringList{"000: new.txt"});
}

// A load command on a folder of `files`, then (unless `clear` is -1) the clear command of the same
// register, answered with `clear`, with a file of each register shown: the other register's last
// when `other_shown`.
void TestBulk::commands_data() {
  QTest::addColumn<BulkKind>("kind");
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("deletion_allowed");
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<QStringList>("list");
  QTest::addColumn<QString>("notice");
  QTest::addColumn<int>("clear");
  QTest::addColumn<bool>("other_shown");
  const auto img = BulkKind::Images;
  const auto txt = BulkKind::Texts;
  const int ok = kAnswerOk, cancel = kAnswerCancel;
  const QStringList abc{"a.txt", "b.BMP", "c.wmf"}, none;
  const QStringList images{"000: b.BMP", "001: c.wmf"}, texts{"000: a.txt", "001: c.wmf"};
  // clang-format off
  QTest::newRow("images, picture shown")          << img << ok     << false << abc << images << kImageDone << ok << false;
  QTest::newRow("images, deletion, text shown")   << img << ok     << true  << abc << images << kImageDone << ok << true;
  QTest::newRow("texts, deletion, picture shown") << txt << ok     << true  << abc << texts  << kTextDone  << ok << true;
  QTest::newRow("texts, clearing cancelled")      << txt << ok     << true  << abc << texts  << kTextDone  << cancel << false;
  QTest::newRow("texts, loading cancelled")       << txt << cancel << true  << abc << none   << QString()  << -1 << false;
  QTest::newRow("no image")                       << img << ok     << true  << QStringList{"a.txt", "b.jpeg"} << none << QStringLiteral("イメージがない！") << -1 << false;
  QTest::newRow("no text, no files")              << txt << ok     << true  << none << none  << QStringLiteral("テキストがない！") << -1 << false;
  // clang-format on
}

void TestBulk::commands() {
  QFETCH(BulkKind, kind);
  QFETCH(int, answer);
  QFETCH(bool, deletion_allowed);
  QFETCH(QStringList, files);
  QFETCH(QStringList, list);
  QFETCH(QString, notice);
  QFETCH(int, clear);
  QFETCH(bool, other_shown);
  FormFixture fx;
  Form1& f = make(fx, files);
  f.st.options.delete_allowed = deletion_allowed;
  const bool images = kind == BulkKind::Images;
  QListWidget* list_box = images ? f.image_list : f.text_list;
  const auto arrows = images ? f.image_arrows : f.text_arrows;
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
  QCOMPARE(f.notice_timer->enabled(), !notice.isEmpty());
  if (clear < 0) return;

  const QString own = fx.folder() + (images ? "/b.BMP" : "/a.txt");
  const QString other = fx.folder() + (images ? "/a.txt" : "/b.BMP");
  f.ファイルの表示(other_shown ? own : other, 1);
  f.ファイルの表示(other_shown ? other : own, 1);
  f.result_view->set_text("hit");
  const QStringList before = (images ? f.st.img : f.st.txt).paths;
  const QStringList other_before = (images ? f.st.txt : f.st.img).paths;
  const QString shown = f.number_box->text() + labels(f);
  fx.messages.expect(
      images ? QStringLiteral("登録した画像ファイル名をすべて消去してもいいですか？")
             : QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？"),
      clear);
  (images ? f.img_all_clear : f.txt_all_clear)->trigger();
  QCOMPARE((images ? f.st.txt : f.st.img).paths, other_before);
  if (clear != kAnswerOk) {
    QCOMPARE((images ? f.st.img : f.st.txt).paths, before);
    QCOMPARE(list_box->count(), 3);
    return;
  }
  QVERIFY((images ? f.st.img : f.st.txt).empty() && list_box->count() == 0);
  // The number box and the path labels go only when the other register is not on display.
  QCOMPARE(f.number_box->text() + labels(f), other_shown ? shown : QString());
  // Clearing the texts empties both text panes; clearing the images only the picture.
  QCOMPARE(f.result_view->text().isEmpty(), !images);
  QCOMPARE(f.image_pane->picture().isNull(), images);
  QVERIFY(arrows[0]->isHidden() && arrows[1]->isHidden());
  for (QAction* a : enabled + (images ? QList<QAction*>{f.image_ファイル削除, f.img_file_open}
                                      : QList<QAction*>{f.コピー, f.text_ファイル削除}))
    QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
  QVERIFY((images ? f.txt_all_clear : f.img_all_clear)->isEnabled());
}

// The commands take the names the file box lists, from the folder it lists.
void TestBulk::takes_what_the_file_box_lists() {
  FormFixture fx;
  fx.write_file("sub/inner.txt", "x");
  Form1& f = make(fx);
  // The box's pattern keeps c.wmf out.
  f.file_box->set_pattern("*.bmp;*.txt");
  fx.messages.expect(load_question(fx.folder(), BulkKind::Images));
  f.img_all_load->trigger();
  QCOMPARE(lines(f.image_list), QStringList{"000: b.BMP"});
  // When the tree points at a folder that could not be listed, the box still lists the folder
  // before it: that folder is asked about and registered from.
  f.folder_tree->set_current_path(fx.folder() + "/sub");
  f.SHTree1_Change();
  f.folder_tree->set_current_path(fx.folder() + "/vanished");
  fx.messages.expect("メディアが入ってません！");
  f.SHTree1_Change();
  fx.messages.expect(load_question(fx.folder() + "/sub", BulkKind::Texts));
  f.txt_all_load->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.st.txt.paths.mid(0, 2), (QStringList{fx.folder() + "/sub/inner.txt", QString()}));
}

// With the settings file's added picture formats, a PNG goes to the image register and never to
// the texts.
void TestBulk::added_picture_formats_go_to_the_images() {
  FormFixture fx;
  fx.write_settings(
      QStringLiteral("[最大ファイル数]\nファイル数=200\n[イメージ拡張子]\n拡張子0=png\n"));
  fx.write_file("a.txt", "text a");
  fx.write_file("p.png", image_bytes(test_pattern(8, 8), "png"));
  Form1& f = fx.make(false);
  f.show();
  fx.messages.expect(load_question(fx.folder(), BulkKind::Images));
  f.img_all_load->trigger();
  fx.messages.expect(load_question(fx.folder(), BulkKind::Texts));
  f.txt_all_load->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(lines(f.image_list), QStringList{"000: p.png"});
  QCOMPARE(lines(f.text_list), QStringList{"000: a.txt"});
}

// The settings file Tarvex ships lists the phone formats: a folder of HEIC, HEIF and AVIF pictures
// (named in capitals, as a phone names them) is registered to the images, and none to the texts.
void TestBulk::phone_photos_go_to_the_images_with_the_shipped_settings() {
  FormFixture fx;
  fx.default_settings = QStringLiteral(TARVEX_DEFAULT_SETTINGS);
  fx.write_file("memo.txt", "text");
  for (const char* name : {"IMG_0001.HEIC", "IMG_0002.heic", "b.heif", "c.AVIF"}) {
    fx.write_file(QString::fromLatin1(name), "not decoded when registered");
  }
  Form1& f = fx.make(false);
  f.show();
  fx.messages.expect(load_question(fx.folder(), BulkKind::Images));
  f.img_all_load->trigger();
  fx.messages.expect(load_question(fx.folder(), BulkKind::Texts));
  f.txt_all_load->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QStringList names;
  for (const QString& line : lines(f.image_list)) names << line.mid(5);  // after "000: "
  names.sort();
  QCOMPARE(names, (QStringList{"IMG_0001.HEIC", "IMG_0002.heic", "b.heif", "c.AVIF"}));
  QCOMPARE(lines(f.text_list), QStringList{"000: memo.txt"});
}

// The notice stays up for eleven ticks and closes at the twelfth.
void TestBulk::notice_closes_at_the_twelfth_tick() {
  FormFixture fx;
  Form1& f = make(fx);
  Form3* notice = f.form3();
  f.move(300, 200);
  f.show_notice(kImageDone);
  for (int tick = 1; tick <= 12; ++tick) {
    f.ロード終了表示_Timer();
    QVERIFY2(notice->isVisible() == (tick < 12), qPrintable(QString("tick %1").arg(tick)));
    // It comes up in the middle of the main window.
    if (tick == 1)
      QVERIFY((notice->frameGeometry().center() - f.frameGeometry().center()).manhattanLength() <=
              8);
  }
  QCOMPARE(notice->windowTitle(), f.app_title);
  // It never takes the focus from the main window.
  QVERIFY(notice->testAttribute(Qt::WA_ShowWithoutActivating));
  QVERIFY(!f.notice_timer->enabled());
  // Left to the real timer, the notice comes and goes again by itself.
  f.show_notice(kTextDone);
  QTRY_VERIFY(notice->isVisible());
  QTRY_VERIFY(!notice->isVisible());
}

QTEST_MAIN(TestBulk)
#include "test_bulk.moc"
