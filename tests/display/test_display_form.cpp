// The display dispatcher and the panes' own events on the real window.

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
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

const QString kNoSuchFile =
    QStringLiteral("指定したファイル名は存在しません！\n\rファイルボックスを開き直してください。");

QByteArray bmp(int w, int h, QColor colour = Qt::green) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image_bytes(image, "bmp");
}

QByteArray data_file(const char* name) {
  QFile f(QStringLiteral(TARVEX_TEST_DATA_DIR "/") + QString::fromLatin1(name));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

// A window whose registers hold 21 entries, with PNG and SVG added to the picture formats.
Form1& make_form(FormFixture& fx) {
  fx.write_settings(QStringLiteral(
      "[最大ファイル数]\nファイル数=20\n[イメージ拡張子]\n拡張子0=png\n拡張子1=svg\n"));
  Form1& f = fx.make(false);
  f.show();
  return f;
}

}  // namespace

class TestDisplayForm final : public QObject {
  Q_OBJECT
 private slots:
  void picture_is_registered_shown_and_copied();
  void added_picture_formats_need_the_settings_list();
  void text_is_registered_shown_and_copied();
  void drops();
  void maximised_picture_display_data();
  void maximised_picture_display();
  void fitted_picture_is_sharp_and_copied_whole_data();
  void fitted_picture_is_sharp_and_copied_whole();
  void stretched_pane_decodes_sparingly();
  void long_texts_arrive_in_slices();
  void special_files_are_not_shown();
};

// Registered, shown and copied; a cursor is not offered for copying, and "ファイルを開く" opens it
// by the labels; a missing picture leaves everything as it was.
void TestDisplayForm::picture_is_registered_shown_and_copied() {
  FormFixture fx;
  Form1& f = make_form(fx);
  QMenu* shown = nullptr;
  f.popup_menu = [&](QMenu* m, const QPoint&) { shown = m; };
  const QString path = fx.write_file("pics/a.bmp", bmp(30, 20, Qt::red));
  QCOMPARE(f.ファイルの表示(path, 1), 0);
  QCOMPARE(labels(f) + f.Img_List->item(0)->text(), path + "000: a.bmp");
  f.Image1_MouseUp(Qt::RightButton, QPoint());  // offers the copy, which the clipboard shows
  f.画像のコピー->trigger();
  QCOMPARE(QGuiApplication::clipboard()->image().pixelColor(2, 2), QColor(Qt::red));
  QByteArray cur = image_bytes(test_pattern(16, 16), "ico");
  cur[2] = 2;  // a cursor
  f.ファイルの表示(fx.write_file("p/HAND.CUR", cur), 1);
  f.Image1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(shown == f.hyouji && !f.画像のコピー->isEnabled() && !f.img_file_open->isEnabled());
  f.img_file_open->setEnabled(true);
  f.img_file_open->trigger();
  QCOMPARE(fx.opener.opened, QStringList{fx.folder() + "/p/HAND.CUR"});
  const auto before = std::tuple(f.st.img.paths, f.st.img.last, labels(f));
  fx.messages.expect(kNoSuchFile);
  f.ファイルの表示(fx.folder() + "/p/gone.bmp", 1);
  QVERIFY(std::tuple(f.st.img.paths, f.st.img.last, labels(f)) == before);
}

// A PNG is a picture only when the settings file lists it; without the list it is a text.
void TestDisplayForm::added_picture_formats_need_the_settings_list() {
  const QByteArray png = image_bytes(test_pattern(30, 20), "png");
  for (const bool listed : {false, true}) {
    FormFixture fx;
    fx.write_settings(
        listed ? QStringLiteral("[最大ファイル数]\nファイル数=20\n[イメージ拡張子]\n拡張子5=PNG\n")
               : QStringLiteral("[最大ファイル数]\nファイル数=20\n"));
    Form1& f = fx.make(false);
    f.show();
    const QString path = fx.write_file("icon.png", png);
    QCOMPARE(f.ファイルの表示(path, 1), 0);
    QCOMPARE(f.st.img.path(0), listed ? path : QString());
    QCOMPARE(f.st.txt.path(0), listed ? QString() : path);
    QCOMPARE(f.Image1->isHidden(), !listed);
    if (listed) QCOMPARE(f.Image1->picture().size(), QSize(30, 20));
  }
}

// The pop-up menu offers copying only with a selection, which it sees while it is open.
void TestDisplayForm::text_is_registered_shown_and_copied() {
  FormFixture fx;
  Form1& f = make_form(fx);
  f.ファイルの表示(fx.write_file("docs/memo.txt", "hello world"), 1);
  QCOMPARE(f.RichTextBox1->text() + f.Txt_List->item(0)->text(), "hello world000: memo.txt");
  QVERIFY(!f.RichTextBox1->isHidden() && f.Image1->isHidden());
  std::pair<QMenu*, QString> shown;  // the menu and the selection it saw
  f.popup_menu = [&](QMenu* m, const QPoint&) { shown = {m, f.st.sel_text}; };
  f.RichTextBox1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(shown.first == f.t_hyouji && !f.コピー->isEnabled());
  f.RichTextBox1->select(6, 5);
  f.RichTextBox1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(f.コピー->isEnabled() && shown.second == "world" && f.st.sel_text.isEmpty());
  f.RichTextBox1->focus();
  f.コピー->trigger();
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("world"));
}

// Files dropped from another program, or from another window's file box (which marks its drag
// with a token of its own), go to their registers and leave the visible pane; from this window's
// file box they switch panes.
void TestDisplayForm::drops() {
  FormFixture fx;
  fx.write_file("c.bmp", bmp(8, 8));
  Form1& f = make_form(fx);
  f.ファイルの表示(fx.write_file("a.txt", "text"), 1);
  const FileBox other;
  QMimeData theirs;
  theirs.setData(kFileBoxMime, other.drag_token());
  theirs.setUrls({QUrl::fromLocalFile(fx.write_file("x.bmp", bmp(8, 8))),
                  QUrl::fromLocalFile(fx.write_file("y.bmp", bmp(8, 8)))});
  QVERIFY(drop(f.RichTextBox1, &theirs));
  QCOMPARE(f.st.img.paths.mid(0, f.st.img.last + 1), QStringList{fx.folder() + "/x.bmp"});
  QVERIFY(f.Image1->isHidden() && !f.RichTextBox1->isHidden());
  // Another window's marker alone or an old-style marker are not taken at all.
  for (const QByteArray& marker : {other.drag_token(), QByteArray("1")}) {
    QMimeData bare;
    bare.setData(kFileBoxMime, marker);
    QVERIFY(!drop(f.Image1, &bare));
  }
  // This window's file box: its selected file, and the pane switches to it.
  f.File1->refresh();
  f.File1->set_list_index(f.File1->entries().indexOf("c.bmp"));
  QMimeData own;
  own.setData(kFileBoxMime, f.File1->drag_token());
  QVERIFY(drop(f.RichTextBox1, &own));
  QCOMPARE(f.st.img.paths[1], fx.folder() + "/c.bmp");
  QVERIFY(!f.Image1->isHidden() && f.RichTextBox1->isHidden());
}

void TestDisplayForm::maximised_picture_display_data() {
  QTest::addColumn<QString>("name");
  QTest::newRow("bmp") << "big.bmp";
  QTest::newRow("png") << "big.png";
}

void TestDisplayForm::maximised_picture_display() {
  QFETCH(QString, name);
  FormFixture fx;
  Form1& f = make_form(fx);
  QImage big(13000 / 15, 8000 / 15, QImage::Format_RGB32);  // in twips
  big.fill(Qt::green);
  f.ファイルの表示(fx.write_file(name, image_bytes(big, name.endsWith("png") ? "png" : "bmp")), 1);
  f.showMaximized();
  QTRY_VERIFY(f.isMaximized());
  f.最大画面表示->trigger();
  QTRY_COMPARE(f.Image1->geometry(),
               QRect(twips_to_px(10), 0, twips_to_px(16000), twips_to_px(12000)));
  QVERIFY(f.File1->isHidden() && !f.登録ファイル名表示->isEnabled());
  f.最大画面表示->trigger();
  QTRY_COMPARE(twips_geometry(f.Image1).topLeft(), QPoint(2640, 120));
}

void TestDisplayForm::fitted_picture_is_sharp_and_copied_whole_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QSize>("whole");
  QTest::addColumn<bool>("for_pane");  // decoded or drawn for the pane; else whole and scaled
  QFile wmf(QStringLiteral(TARVEX_TEST_DATA_DIR "/shapes.wmf"));
  QVERIFY(wmf.open(QIODevice::ReadOnly));
  const QImage photo = test_pattern(1600, 1200);
  // clang-format off
  QTest::newRow("jpeg")        << "w.jpg" << image_bytes(photo, "jpeg")      << QSize(1600, 1200) << true;
  QTest::newRow("jpeg turned") << "t.jpg" << jpeg_with_orientation(photo, 6) << QSize(1200, 1600) << true;
  QTest::newRow("metafile")    << "s.wmf" << wmf.readAll()                   << QSize(400, 300)   << true;
  QTest::newRow("svg")         << "d.svg" << data_file("drawing.svg")        << QSize(40, 30)     << true;
  QTest::newRow("png")         << "w.png" << image_bytes(photo, "png")       << QSize(1600, 1200) << false;
  // clang-format on
}

// Fitted, a picture is decoded for the pane, and again for its final size when the window grows
// (a JPEG and the drawings; other pictures are decoded whole and scaled as they are painted); the
// clipboard still gets the whole picture, upright.
void TestDisplayForm::fitted_picture_is_sharp_and_copied_whole() {
  QFETCH(QString, name);
  QFETCH(QByteArray, bytes);
  QFETCH(QSize, whole);
  QFETCH(bool, for_pane);
  FormFixture fx;
  Form1& f = make_form(fx);
  QTRY_COMPARE(f.outer_size_twips(), QSize(9660, 6975));
  f.st.options.fit = true;
  f.apply_fit_option();
  QCOMPARE(f.ファイルの表示(fx.write_file(name, bytes), 1), 0);
  const QSize fitted(twips_to_px(9660 - 3285), twips_to_px(6975 - 1760));
  QCOMPARE(f.Image1->size(), fitted);
  QCOMPARE(f.Image1->picture().size(), for_pane ? fitted : whole);
  f.resize(f.width() + 300, f.height() + 200);
  QTRY_COMPARE(f.Image1->size(), fitted + QSize(300, 200));
  QTRY_COMPARE(f.Image1->picture().size(), for_pane ? fitted + QSize(300, 200) : whole);
  f.画像のコピー->trigger();
  const QImage image = QGuiApplication::clipboard()->image();
  QCOMPARE(image.size(), whole);
  // The red half is on the left, or on top when turned upright.
  const QPoint red = whole.width() > whole.height() ? QPoint(whole.width() / 4, whole.height() / 2)
                                                    : QPoint(whole.width() / 2, whole.height() / 4);
  if (!name.endsWith(".wmf"))
    QVERIFY(qRed(image.pixel(red)) > 200 && qGreen(image.pixel(red)) < 60);
}

// The image pane alone: a file replaced on disk is decoded anew; stretched into a pane far smaller
// than the whole decode, a picture is decoded once more for it, and not again when it shrinks.
void TestDisplayForm::stretched_pane_decodes_sparingly() {
  FormFixture fx;
  const QString path = fx.write_file("p.bmp", bmp(10, 10, Qt::red));
  const QString jpeg = fx.write_file("p.jpg", image_bytes(test_pattern(1600, 1200), "jpeg"));
  const QString small = fx.write_file("s.bmp", bmp(50, 40));
  ImagePane pane;
  pane.show();
  QVERIFY(pane.load_picture(path));
  fx.write_file("p.bmp", bmp(12, 8, Qt::blue));
  QVERIFY(pane.load_picture(path));
  QCOMPARE(pane.picture().pixelColor(1, 1), QColor(Qt::blue));
  QVERIFY(pane.load_picture(jpeg));
  const int base = pane.decode_count();
  pane.set_stretch(true);
  pane.resize(200, 150);
  QVERIFY(pane.load_picture(jpeg));
  QTRY_COMPARE(pane.picture().size(), QSize(200, 150));
  QCOMPARE(pane.decode_count(), base + 1);
  pane.resize(100, 75);
  QVERIFY(pane.load_picture(jpeg));
  QCOMPARE(pane.decode_count(), base + 1);
  // Grown step by step as a dragged window edge does: a few decodes, the last for the final size.
  for (int i = 1; i <= 30; ++i) pane.resize(100 + 10 * i, 75 + 8 * i);
  QTRY_COMPARE(pane.picture().size(), QSize(400, 315));
  QVERIFY(pane.decode_count() <= base + 3);
  // A bitmap smaller than the pane cannot get sharper: it is never decoded again.
  QVERIFY(pane.load_picture(small));
  const int decodes = pane.decode_count();
  pane.resize(600, 500);
  QVERIFY(pane.load_picture(small));
  QCOMPARE(pane.decode_count(), decodes);
}

// A long text shows its first slice at once and the rest from the event loop; reading the text
// completes a load at once, and a new text cancels the old one's rest.
void TestDisplayForm::long_texts_arrive_in_slices() {
  QString text(TextPane::kSliceChars * 2 + 7, u'あ');  // one line longer than a slice
  for (int i = 0; text.size() < 5 * TextPane::kSliceChars; ++i) text += QString("\n行%1").arg(i);
  TextPane pane;
  pane.set_text(text);
  QVERIFY(pane.loading());
  QTRY_VERIFY(!pane.loading());
  QCOMPARE(pane.text(), text);
  pane.set_text(text);
  QCOMPARE(pane.text(), text);
  pane.set_text(text);
  pane.set_text(QStringLiteral("short"));
  QCOMPARE(pane.text(), QString("short"));  // reading would append a stale slice at once
}

// A named pipe or a link to /dev/zero, shown from the file box, a drop or the command line, takes
// the path of a file that cannot be shown, at once: a picture is not registered, a text is offered
// for removal. A registered text that has become a pipe is a missing file to the arrow step.
void TestDisplayForm::special_files_are_not_shown() {
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString missing = QStringLiteral("が見つかりません！ 登録から削除しますか？");
  const QString pipe = fx.folder() + "/pipe.txt";
  QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  QVERIFY(QFile::link("/dev/zero", fx.folder() + "/zero.bmp"));
  fx.messages.expect(kNoSuchFile);
  f.ファイルの表示(fx.folder() + "/zero.bmp", 1);
  fx.messages.expect(pipe + missing, kAnswerYes);
  f.ファイルの表示(pipe, 1);
  QVERIFY(f.st.img.paths[0].isEmpty() && f.st.txt.paths[0].isEmpty());
  const QString text = fx.write_file("a.txt", "a");
  f.ファイルの表示(text, 1);
  f.ファイルの表示(fx.write_file("b.txt", "b"), 1);
  QVERIFY(QFile::remove(text) && ::mkfifo(QFile::encodeName(text).constData(), 0600) == 0);
  fx.messages.expect(text + missing, kAnswerNo);
  f.Command3_Click(0);
  QCOMPARE(f.st.txt.paths.mid(0, 2), (QStringList{text, fx.folder() + "/b.txt"}));
}

QTEST_MAIN(TestDisplayForm)
#include "test_display_form.moc"
