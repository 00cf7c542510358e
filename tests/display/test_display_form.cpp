// The display dispatcher and the panes' own events on the real window.

#include "app/form3.h"
#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/drop_data.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "platform/twips.h"
#include "platform/widget_twips.h"
#include "settings/form2.h"
#include "test_pictures.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const QString kNoSuchFile =
    QStringLiteral("指定したファイル名は存在しません！\n\rファイルボックスを開き直してください。");

QByteArray filled(int w, int h, QColor colour, const char* format) {
  QImage image(w, h, qstrcmp(format, "ico") == 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  image.fill(colour);
  return image_bytes(image, format);
}
QByteArray bmp(int w, int h, QColor colour = Qt::green) {
  return filled(w, h, colour, "bmp");
}

QString labels(const Form1& f) {
  return f.Label4[0]->text() + f.Label4[1]->text() + f.Label4[2]->text();
}

// Drags `mime` onto `target`; true when the target takes the drag (it is then dropped there).
[[nodiscard]] bool drop(QWidget* target, QMimeData* mime) {
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent event(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &event);
  return true;
}

// A window whose registers hold `max_index` + 1 entries at most.
Form1& make_form(FormFixture& fx, int max_index = 20, const QString& extra = QString()) {
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=%1\n").arg(max_index) + extra);
  Form1& f = fx.make(false);
  f.show();
  return f;
}

void write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(bytes);
}

}  // namespace

class TestDisplayForm final : public QObject {
  Q_OBJECT
 private slots:
  void image_is_registered_and_shown();
  void image_failure_restores_the_register_data();
  void image_failure_restores_the_register();
  void text_is_registered_and_shown();
  void drops();
  void spreadsheet_choice();
  void pop_up_menus();
  void maximised_picture_display();
  void copying_gives_the_whole_picture_data();
  void copying_gives_the_whole_picture();
  void fitting_the_picture();
  void image_pane_decodes();
  void search_view_selects_the_hit_on_focus();
  void long_texts_arrive_in_slices_data();
  void long_texts_arrive_in_slices();
};

void TestDisplayForm::image_is_registered_and_shown() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString path = fx.write_file("pics/a.bmp", bmp(30, 20));
  QCOMPARE(f.ファイルの表示(path, 1), 0);
  QCOMPARE((QList<int>{f.st.img.last, f.st.img.cur, int(f.Img_List->count())}),
           (QList<int>{0, 0, 1}));
  QCOMPARE(f.Img_List->item(0)->text(), QString("000: a.bmp"));
  QCOMPARE(f.Text1->text() + f.Label6->text(), QString("  0/0"));
  QCOMPARE(labels(f), path);
  QVERIFY(f.Label4[2]->text().endsWith("/pics/a.bmp"));
  for (QAction* a : {f.画像のコピー, f.img_all_clear, f.image_登録から削除, f.img_file_open}) {
    QVERIFY(a->isEnabled());
  }
  QVERIFY(!f.image_ファイル削除->isEnabled());  // deletion is not allowed in these settings
  QVERIFY(!f.Command2[0]->isHidden() && !f.Command2[1]->isHidden() && f.Command3[0]->isHidden());
  QVERIFY(!f.Image1->isHidden() && f.RichTextBox1->isHidden());
  QCOMPARE(f.Image1->size(), QSize(30, 20));
  // Five pictures in a register of four (the file count must be 20 or more, so it is made by
  // hand): the fifth overwrites the first.
  f.st.img.reset(3);
  QStringList files;
  for (int i = 0; i < 5; ++i) {
    files << fx.write_file(QStringLiteral("p/%1.bmp").arg(i), bmp(4, 4));
    f.ファイルの表示(files.back(), 1);
  }
  QCOMPARE(f.st.img.paths.mid(0, 4), (QStringList{files[4], files[1], files[2], files[3]}));
  QCOMPARE((QList<int>{f.st.img.full, int(f.Img_List->count())}), (QList<int>{1, 4}));
  QCOMPARE(f.Text1->text() + f.Label6->text(), QString("  0/3"));
}

void TestDisplayForm::image_failure_restores_the_register_data() {
  QTest::addColumn<int>("registered");
  QTest::newRow("empty register") << 0;
  QTest::newRow("at the wrap") << 21;
  QTest::newRow("overwriting after the wrap") << 27;
}

void TestDisplayForm::image_failure_restores_the_register() {
  QFETCH(int, registered);
  FormFixture fx;
  Form1& f = make_form(fx);
  for (int i = 0; i < registered; ++i) {
    f.ファイルの表示(fx.write_file(QStringLiteral("p/%1.bmp").arg(i), bmp(4, 4)), 1);
  }
  const auto state = [&f] {
    return std::tuple(f.st.img.paths, f.st.img.last, f.st.img.full, labels(f), f.Img_List->count());
  };
  const auto before = state();
  fx.messages.expect(kNoSuchFile);
  f.ファイルの表示(fx.folder() + "/p/gone.bmp", 1);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(fx.messages.buttons_seen.back(), MsgButtons::Ok);
  QVERIFY(state() == before);
  // A file that is no picture is treated as missing too.
  fx.messages.expect(kNoSuchFile);
  f.ファイルの表示(fx.write_file("p/fake.gif", "GIF89a but not really"), 1);
  QVERIFY(state() == before);
}

void TestDisplayForm::text_is_registered_and_shown() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString path = fx.write_file("docs/memo.txt", QString("メモです").toUtf8());
  f.ファイルの表示(path, 1);
  QCOMPARE(f.RichTextBox1->text(), QString("メモです"));
  QCOMPARE(f.Txt_List->item(0)->text(), QString("000: memo.txt"));
  QCOMPARE(f.Text1->text() + f.Label6->text(), QString("  0/0"));
  QCOMPARE(labels(f), path);
  for (QAction* a : {f.txt_all_clear, f.txt_kensaku, f.txt_file_open, f.text_登録から削除}) {
    QVERIFY(a->isEnabled());
  }
  QVERIFY(!f.text_ファイル削除->isEnabled());
  QVERIFY(!f.RichTextBox1->isHidden() && f.Image1->isHidden() && !f.Command3[1]->isHidden());
  // With deletion allowed, the delete command comes on with the next registration.
  f.form2()->Check3->setChecked(true);
  f.ファイルの表示(path, 1);
  QVERIFY(f.text_ファイル削除->isEnabled());
  QCOMPARE(f.Txt_List->count(), 2);
  // The missing-file prompt asks about the new entry; No keeps it and blanks the pane, while the
  // list, the labels and the number box still show the file before.
  fx.messages.expect(fx.folder() + "/missing.txtが見つかりません！ 登録から削除しますか？",
                     kAnswerNo);
  f.ファイルの表示(fx.folder() + "/missing.txt", 1);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE((QList<int>{f.st.txt.last, f.st.txt.cur, int(f.Txt_List->count())}),
           (QList<int>{2, 2, 2}));
  QCOMPARE(f.RichTextBox1->text() + f.Text1->text(), QString("  1"));
  QCOMPARE(labels(f), path);
}

// Files dropped from another program go to their registers and leave the visible pane; from
// this window's file box they switch panes; another window's file box counts by its files.
void TestDisplayForm::drops() {
  FormFixture fx;
  fx.write_file("c.bmp", bmp(8, 8));
  Form1& f = make_form(fx);
  f.ファイルの表示(fx.write_file("a.txt", "text"), 1);
  QMimeData outside;
  outside.setUrls({QUrl::fromLocalFile(fx.write_file("x.bmp", bmp(8, 8))),
                   QUrl::fromLocalFile(fx.write_file("y.bmp", bmp(8, 8)))});
  QVERIFY(drop(f.RichTextBox1, &outside));
  QCOMPARE(f.st.img.last, 0);
  QCOMPARE(f.st.img.paths[0], fx.folder() + "/x.bmp");
  QVERIFY(f.Image1->isHidden() && !f.RichTextBox1->isHidden());
  // Another window's marker with its file: shown as any other program's, the pane stays.
  const FileBox other;
  QVERIFY(other.drag_token() != f.File1->drag_token());
  QMimeData theirs;
  theirs.setData(kFileBoxMime, other.drag_token());
  theirs.setUrls({QUrl::fromLocalFile(fx.write_file("t.txt", "theirs"))});
  QVERIFY(drop(f.Image1, &theirs));
  QCOMPARE(f.st.img.last, 0);
  QCOMPARE(f.st.txt.paths[1], fx.folder() + "/t.txt");
  QVERIFY(f.Image1->isHidden());
  // Plain text, another window's marker alone or an old-style marker are not taken at all.
  QMimeData text;
  text.setText("just words");
  QVERIFY(!drop(f.Image1, &text));
  for (const QByteArray& marker : {other.drag_token(), QByteArray("1")}) {
    QMimeData bare;
    bare.setData(kFileBoxMime, marker);
    QVERIFY(!drop(f.Image1, &bare));
    QDropEvent event(QPoint(5, 5), Qt::CopyAction, &bare, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.Image1, &event);
  }
  QCOMPARE((QList<int>{f.st.img.last, f.st.txt.last}), (QList<int>{0, 1}));
  // This window's file box: its selected file, and the pane switches to it.
  f.File1->refresh();
  const int at = f.File1->entries().indexOf("c.bmp");
  QVERIFY(at >= 0);
  f.File1->set_list_index(at);
  QMimeData own;
  own.setData(kFileBoxMime, f.File1->drag_token());
  QVERIFY(drop(f.RichTextBox1, &own));
  QCOMPARE(f.st.img.paths[1], fx.folder() + "/c.bmp");
  QVERIFY(!f.Image1->isHidden() && f.RichTextBox1->isHidden());
}

void TestDisplayForm::spreadsheet_choice() {
  FormFixture fx;
  Form1& f = make_form(fx, 20,
                       "[Excel拡張子]\n拡張子0=xls\n[アプリケーションの選択]\n"
                       "アプリケーション名=excel\n");
  QCOMPARE(f.st.sheet_app, 2);
  const QString report = fx.write_file("REPORT.XLS", "workbook");
  f.ファイルの表示(report, 1);
  QCOMPARE(f.st.txt.paths[0], report);
  QTRY_VERIFY(f.form3()->isHidden());
  // Another text goes to the pane as usual; a missing one is refused and the register restored.
  f.ファイルの表示(fx.write_file("n.txt", "note"), 1);
  QCOMPARE(f.RichTextBox1->text(), QString("note"));
  const QStringList paths = f.st.txt.paths;
  fx.messages.expect(kNoSuchFile);
  f.ファイルの表示(fx.folder() + "/gone.txt", 1);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.st.txt.paths, paths);
  QCOMPARE((QList<int>{f.st.txt.last, f.st.msg_answer}), (QList<int>{1, 1}));
}

void TestDisplayForm::pop_up_menus() {
  FormFixture fx;
  Form1& f = make_form(fx);
  f.ファイルの表示(fx.write_file("a.txt", "hello world"), 1);
  QMenu* shown = nullptr;
  QString sel_during;
  f.popup_menu = [&](QMenu* m, const QPoint&) {
    shown = m;
    sel_during = f.st.sel_text;
  };
  f.RichTextBox1_MouseUp(Qt::RightButton, QPoint());
  QCOMPARE(shown, f.t_hyouji);
  QVERIFY(!f.コピー->isEnabled());
  QCOMPARE(f.st.popup_source, 3);
  f.RichTextBox1->select(6, 5);
  f.RichTextBox1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(f.コピー->isEnabled());
  QCOMPARE(sel_during, QString("world"));
  QCOMPARE(f.st.sel_text, QString());
  f.RichTextBox1->focus();
  f.コピー->trigger();
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("world"));
  // A left-button release updates the command without a menu.
  shown = nullptr;
  f.RichTextBox1->select(0, 0);
  f.RichTextBox1_MouseUp(Qt::LeftButton, QPoint());
  QVERIFY(!shown);
  QVERIFY(!f.コピー->isEnabled());
  // The image pane's menu, with nothing registered, then a picture.
  f.Image1_MouseUp(Qt::RightButton, QPoint());
  QCOMPARE(shown, f.hyouji);
  QVERIFY(!f.画像のコピー->isEnabled());  // nothing registered
  f.ファイルの表示(fx.write_file("p/a.bmp", bmp(6, 5, Qt::red)), 1);
  f.Image1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(f.画像のコピー->isEnabled() && f.img_file_open->isEnabled());
  f.画像のコピー->trigger();
  const QImage copied = QGuiApplication::clipboard()->image();
  QCOMPARE(copied.size(), QSize(6, 5));
  QCOMPARE(copied.pixelColor(2, 2), QColor(Qt::red));
  // An icon or a cursor shown: copying and opening are not offered, on display or in the menu.
  f.ファイルの表示(fx.write_file("p/ICON.ICO", filled(16, 16, Qt::blue, "ico")), 1);
  QVERIFY(!f.画像のコピー->isEnabled());
  QByteArray cur = filled(16, 16, Qt::blue, "ico");
  cur[2] = 2;
  f.ファイルの表示(fx.write_file("p/HAND.CUR", cur), 1);
  f.画像のコピー->setEnabled(true);
  f.Image1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(!f.画像のコピー->isEnabled() && !f.img_file_open->isEnabled());
  QCOMPARE(f.st.popup_source, 3);
  // Choosing "ファイルを開く" now opens the displayed file, rebuilt from the labels.
  f.img_file_open->setEnabled(true);
  f.img_file_open->trigger();
  QCOMPARE(fx.opener.opened, QStringList{fx.folder() + "/p/HAND.CUR"});
  f.ファイルの表示(fx.write_file("p/b.bmp", bmp(4, 4)), 1);
  QVERIFY(f.画像のコピー->isEnabled());
}

void TestDisplayForm::maximised_picture_display() {
  FormFixture fx;
  Form1& f = make_form(fx);
  f.ファイルの表示(fx.write_file("big.bmp", bmp(13000 / 15, 8000 / 15)), 1);  // in twips
  f.showMaximized();
  QTRY_VERIFY(f.isMaximized());
  f.最大画面表示->trigger();
  QVERIFY(f.最大画面表示->isChecked());
  QTRY_COMPARE(f.Image1->pos(), QPoint(twips_to_px(10), 0));
  QCOMPARE(f.Image1->size(), QSize(twips_to_px(16000), twips_to_px(12000)));
  QVERIFY(f.File1->isHidden() && !f.登録ファイル名表示->isEnabled());
  f.最大画面表示->trigger();
  QTRY_COMPARE(twips_geometry(f.Image1).topLeft(), QPoint(2640, 120));
  QVERIFY(!f.File1->isHidden() && f.登録ファイル名表示->isEnabled());
}

void TestDisplayForm::copying_gives_the_whole_picture_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<bool>("fitted");
  QTest::addColumn<QSize>("copied");
  QFile wmf(QStringLiteral(TARVEX_TEST_DATA_DIR "/shapes.wmf"));
  QVERIFY(wmf.open(QIODevice::ReadOnly));
  const QImage wide = test_pattern(1600, 400);
  // clang-format off
  QTest::newRow("fitted jpeg")           << "w.jpg" << image_bytes(wide, "jpeg")         << true  << QSize(1600, 400);
  QTest::newRow("fitted jpeg turned")    << "t.jpg" << jpeg_with_orientation(wide, 6)    << true  << QSize(400, 1600);
  QTest::newRow("fitted metafile")       << "s.wmf" << wmf.readAll()                     << true  << QSize(400, 300);
  QTest::newRow("unfitted jpeg")         << "u.jpg" << image_bytes(wide, "jpeg")         << false << QSize(1600, 400);
  // clang-format on
}

// The clipboard gets the picture at its own size, upright, whatever the pane shows.
void TestDisplayForm::copying_gives_the_whole_picture() {
  QFETCH(QString, name);
  QFETCH(QByteArray, bytes);
  QFETCH(bool, fitted);
  QFETCH(QSize, copied);
  FormFixture fx;
  Form1& f = make_form(fx);
  f.form2()->Check2->setChecked(fitted);
  f.apply_fit_option();
  QCOMPARE(f.ファイルの表示(fx.write_file(name, bytes), 1), 0);
  // Fitted, the pane shows a decode made for its own size.
  if (fitted) QVERIFY(f.Image1->picture().size() != copied);
  f.画像のコピー->trigger();
  const QImage image = QGuiApplication::clipboard()->image();
  QCOMPARE(image.size(), copied);
  if (name.endsWith(".jpg")) {
    // The red half is on the left, or on top when turned upright.
    const QPoint red = copied.width() > copied.height() ? QPoint(100, 200) : QPoint(200, 100);
    QVERIFY(qRed(image.pixel(red)) > 200 && qGreen(image.pixel(red)) < 60);
  }
}

void TestDisplayForm::fitting_the_picture() {
  FormFixture fx;
  Form1& f = make_form(fx);
  QTRY_COMPARE(f.outer_size_twips(), QSize(9660, 6975));
  f.ファイルの表示(fx.write_file("small.bmp", bmp(20, 10)), 1);
  QCOMPARE(f.Image1->size(), QSize(20, 10));
  f.form2()->Check2->setChecked(true);
  f.apply_fit_option();
  QVERIFY(f.Image1->stretch());
  QCOMPARE(f.Image1->size(), QSize(twips_to_px(9660 - 3285), twips_to_px(6975 - 1760)));
  f.form2()->Check2->setChecked(false);
  f.apply_fit_option();
  QCOMPARE(f.Image1->size(), QSize(20, 10));
  // Fitted, a photo is decoded for the pane, and again for its final size when the window grows.
  f.form2()->Check2->setChecked(true);
  f.apply_fit_option();
  f.ファイルの表示(fx.write_file("photo.jpg", image_bytes(test_pattern(1600, 1200), "jpeg")), 1);
  const QSize before = f.Image1->size();
  QCOMPARE(f.Image1->picture().size(), before);
  f.resize(f.width() + 300, f.height() + 200);
  QTRY_COMPARE(f.Image1->size(), before + QSize(300, 200));
  QTRY_COMPARE(f.Image1->picture().size(), f.Image1->size());
}

// The image pane on its own: reloading, and decoding sparingly while it stretches its picture.
void TestDisplayForm::image_pane_decodes() {
  QTemporaryDir dir;
  const QString path = dir.filePath("p.bmp"), jpeg = dir.filePath("p.jpg"),
                small = dir.filePath("s.bmp");
  write(jpeg, image_bytes(test_pattern(1600, 1200), "jpeg"));
  write(small, bmp(50, 40));
  ImagePane pane;
  pane.show();
  write(path, bmp(10, 10, Qt::red));
  QVERIFY(pane.load_picture(path));
  pane.resize(3, 3);
  QVERIFY(pane.load_picture(path));  // the same file again: natural size again
  QCOMPARE(pane.size(), QSize(10, 10));
  write(path, bmp(12, 8, Qt::blue));  // replaced on disk: decoded anew
  QVERIFY(pane.load_picture(path));
  QCOMPARE(pane.size(), QSize(12, 8));
  QCOMPARE(pane.picture().pixelColor(1, 1), QColor(Qt::blue));
  QFile::remove(path);  // gone: the load fails and the picture stays
  QVERIFY(!pane.load_picture(path));
  QCOMPARE(pane.picture().pixelColor(1, 1), QColor(Qt::blue));
  QVERIFY(pane.load_picture(jpeg));
  QCOMPARE(pane.picture().size(), QSize(1600, 1200));
  const int base = pane.decode_count();
  // Stretched into a pane far smaller than the whole decode: decoded once more for the pane.
  pane.set_stretch(true);
  pane.resize(200, 150);
  QVERIFY(pane.load_picture(jpeg));
  QTRY_COMPARE(pane.picture().size(), QSize(200, 150));
  QCOMPARE(pane.decode_count(), base + 1);
  // Smaller: the decode is large enough and is kept.
  pane.resize(100, 75);
  QVERIFY(pane.load_picture(jpeg));
  QCOMPARE(pane.decode_count(), base + 1);
  QCOMPARE(pane.picture().size(), QSize(200, 150));
  // Grown step by step as a dragged window edge does: a few decodes, the last for the final size.
  for (int i = 1; i <= 30; ++i) pane.resize(100 + 10 * i, 75 + 8 * i);
  QVERIFY(pane.decode_count() <= base + 2);
  QTRY_COMPARE(pane.picture().size(), QSize(400, 315));
  QVERIFY(pane.decode_count() <= base + 3);
  // A bitmap smaller than the pane cannot get sharper: it is never decoded again.
  QVERIFY(pane.load_picture(small));
  const int decodes = pane.decode_count();
  pane.resize(600, 500);
  QVERIFY(pane.load_picture(small));
  QCOMPARE(pane.decode_count(), decodes);
  QCOMPARE(pane.picture().size(), QSize(50, 40));
}

void TestDisplayForm::search_view_selects_the_hit_on_focus() {
  FormFixture fx;
  Form1& f = make_form(fx);
  f.RichTextBox2->show();
  f.RichTextBox2->set_text("abcdef");
  f.st.hit_pos = 3;
  f.st.hit_len = 2;
  f.RichTextBox2_GotFocus();
  QCOMPARE(f.RichTextBox2->selected_text(), QString("bc"));
  f.st.hit_pos = 1;
  f.RichTextBox2->select(0, 0);
  f.RichTextBox2_GotFocus();
  QCOMPARE(f.RichTextBox2->selected_text(), QString());
}

void TestDisplayForm::long_texts_arrive_in_slices_data() {
  QTest::addColumn<QString>("text");
  QString lines;
  for (int i = 0; lines.size() < 3 * TextPane::kSliceChars; ++i) {
    lines += QStringLiteral("行%1 テキスト\n").arg(i);
  }
  QTest::newRow("many lines") << lines;
  QTest::newRow("one long line") << QString(TextPane::kSliceChars * 2 + 7, u'あ');
  QTest::newRow("ends without a line end") << lines + QStringLiteral("最後");
}

void TestDisplayForm::long_texts_arrive_in_slices() {
  QFETCH(QString, text);
  TextPane pane;
  pane.set_text(text);
  QVERIFY(pane.loading());
  // The event loop adds the rest.
  QTRY_VERIFY(!pane.loading());
  QCOMPARE(pane.text(), text);
  // Reading the text completes a load at once, and a new text cancels the old one's rest.
  pane.set_text(text);
  QCOMPARE(pane.text(), text);
  pane.set_text(text);
  pane.set_text(QStringLiteral("short"));
  QVERIFY(!pane.loading());
  for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();  // where a stale slice would land
  QCOMPARE(pane.text(), QString("short"));
}

QTEST_MAIN(TestDisplayForm)
#include "test_display_form.moc"
