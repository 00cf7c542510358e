// The display dispatcher and the panes' own events on the real window.

#include "app/layout.h"
#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/drop_data.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "display/text_view.h"
#include "form_fixture.h"
#include "heif_writer.h"
#include "held_reads.h"
#include "platform/fonts.h"
#include "platform/text_codecs.h"
#include "platform/twips.h"
#include "platform/widget_twips.h"
#include "search/find_next.h"
#include "settings/form2.h"
#include "test_pictures.h"
#include "text/text_index.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>
#include <QWheelEvent>

#include <optional>
#include <thread>

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
  return f.path_labels[0]->text() + f.path_labels[1]->text() + f.path_labels[2]->text();
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

// A window whose settings file keeps the pictures' proportions, fitting them or not.
Form1& make_kept_form(FormFixture& fx, bool fit, bool kept = true) {
  fx.write_settings(
      QStringLiteral("[最大ファイル数]\nファイル数=20\n[イメージ拡張子]\n拡張子0=png\n"
                     "[イメージの表示を枠にあわせる]\n枠にあわせる=%1\n縦横比を保つ=%2\n")
          .arg(fit ? 1 : 0)
          .arg(kept ? 1 : 0));
  Form1& f = fx.make(false);
  f.show();
  return f;
}

bool is_blue(QRgb pixel) {
  return qBlue(pixel) > 200 && qRed(pixel) < 60 && qGreen(pixel) < 60;
}

void send_wheel(QWidget* target, QPoint at, int turn, Qt::KeyboardModifiers modifiers) {
  QWheelEvent wheel(QPointF(at), QPointF(target->mapToGlobal(at)), QPoint(), QPoint(0, turn),
                    Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(target, &wheel);
}

}  // namespace

class TestDisplayForm final : public QObject {
  Q_OBJECT
 private slots:
  void picture_is_registered_shown_and_copied();
  void added_picture_formats_need_the_settings_list();
  void phone_photos_with_the_shipped_settings();
  void text_is_registered_shown_and_copied();
  void drops();
  void maximised_picture_display_data();
  void maximised_picture_display();
  void fitted_picture_is_sharp_and_copied_whole_data();
  void fitted_picture_is_sharp_and_copied_whole();
  void stretched_pane_decodes_sparingly();
  void kept_picture_shown_whole_data();
  void kept_picture_shown_whole();
  void kept_picture_zoomed_and_moved_data();
  void kept_picture_zoomed_and_moved();
  void kept_picture_takes_drops_over_the_whole_pane();
  void kept_picture_maximised_data();
  void kept_picture_maximised();
  void special_files_are_not_shown();
  void text_positions_as_in_a_plain_text_editor_data();
  void text_positions_as_in_a_plain_text_editor();
  void text_drawn_as_a_plain_text_editor_draws_it();
  void text_selection_by_mouse_and_keyboard();
  void text_copy_spans_blocks();
  void text_selected_beyond_what_the_view_has_seen();
  void text_selected_whole_while_being_read();
  void text_file_cut_short_or_removed_while_shown();
  void text_file_changed_while_shown_never_copied_mixed_data();
  void text_file_changed_while_shown_never_copied_mixed();
  void text_pane_never_waits_for_slow_media();
  void text_reading_taken_over_by_the_other_pane();
  void text_read_anew_from_off_the_window_thread_data();
  void text_read_anew_from_off_the_window_thread();
  void text_copy_too_large_says_why();
  void text_read_by_assistive_tools();
  void text_file_empty_or_without_line_end_data();
  void text_file_empty_or_without_line_end();
  void text_panes_show_latin_and_japanese_in_one_face();
};

// Registered, shown and copied; a cursor is not offered for copying, and "ファイルを開く" opens it
// by the labels; a missing picture leaves everything as it was.
void TestDisplayForm::picture_is_registered_shown_and_copied() {
  FormFixture fx;
  Form1& f = make_form(fx);
  QMenu* shown = nullptr;
  f.popup_menu = [&](QMenu* m, const QPoint&) { shown = m; };
  const QString path = fx.write_file("pics/a.bmp", bmp(30, 20, Qt::red));
  f.ファイルの表示(path, DisplayTarget::ShowPane);
  QCOMPARE(labels(f) + f.image_list->item(0)->text(), path + "000: a.bmp");
  f.Image1_MouseUp(Qt::RightButton, QPoint());  // offers the copy, which the clipboard shows
  f.画像のコピー->trigger();
  QCOMPARE(QGuiApplication::clipboard()->image().pixelColor(2, 2), QColor(Qt::red));
  QByteArray cur = image_bytes(test_pattern(16, 16), "ico");
  cur[2] = 2;  // a cursor
  f.ファイルの表示(fx.write_file("p/HAND.CUR", cur), DisplayTarget::ShowPane);
  f.Image1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(shown == f.image_menu && !f.画像のコピー->isEnabled() && !f.img_file_open->isEnabled());
  f.img_file_open->setEnabled(true);
  f.img_file_open->trigger();
  QCOMPARE(fx.opener.opened, QStringList{fx.folder() + "/p/HAND.CUR"});
  const auto before = std::tuple(f.st.img.paths, f.st.img.last, labels(f));
  fx.messages.expect(kNoSuchFile);
  f.ファイルの表示(fx.folder() + "/p/gone.bmp", DisplayTarget::ShowPane);
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
    f.ファイルの表示(path, DisplayTarget::ShowPane);
    QCOMPARE(f.st.img.path(0), listed ? path : QString());
    QCOMPARE(f.st.txt.path(0), listed ? QString() : path);
    QCOMPARE(f.image_pane->isHidden(), !listed);
    if (listed) QCOMPARE(f.image_pane->picture().size(), QSize(30, 20));
  }
}

// With the settings file Tarvex ships, a phone's HEIC photo (its name in capitals, turned by its
// container), a HEIF and an AVIF picture are registered and shown as pictures, upright and whole
// in the fitted pane; the copy is upright, and the maximised display shows them at their size.
void TestDisplayForm::phone_photos_with_the_shipped_settings() {
  FormFixture fx;
  fx.default_settings = QStringLiteral(TARVEX_DEFAULT_SETTINGS);
  Form1& f = fx.make(false);
  f.show();
  const QString photo =
      fx.write_file("DCIM/IMG_0001.HEIC", heif_bytes(test_pattern(160, 120), HeifCodec::hevc, 6));
  const QString heif = fx.write_file("b.heif", data_file("picture.heic"));
  const QString avif = fx.write_file("c.avif", data_file("picture.avif"));
  for (const QString& path : {heif, avif, photo}) {
    f.ファイルの表示(path, DisplayTarget::ShowPane);
    QVERIFY(!f.image_pane->isHidden() && f.text_pane->isHidden());
  }
  QCOMPARE(f.st.img.paths.mid(0, 3), (QStringList{heif, avif, photo}));
  QVERIFY(f.st.txt.empty());
  QCOMPARE(f.image_pane->picture().size(), QSize(120, 160));
  f.Image1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(f.画像のコピー->isEnabled());
  f.画像のコピー->trigger();
  const QImage copied = QGuiApplication::clipboard()->image();
  QCOMPARE(copied.size(), QSize(120, 160));
  QVERIFY(qRed(copied.pixel(60, 40)) > 200 && qGreen(copied.pixel(60, 40)) < 60);
  QVERIFY(qGreen(copied.pixel(60, 120)) > 200);
  // The maximised display is that of the pane not fitted: the picture is loaded again for it.
  f.st.options.fit = false;
  f.apply_fit_option();
  f.showMaximized();
  QTRY_VERIFY(f.isMaximized());
  f.最大画面表示->trigger();
  QTRY_VERIFY(f.file_box->isHidden());
  QCOMPARE(f.image_pane->picture().size(), QSize(120, 160));
  QCOMPARE(f.image_pane->size(), QSize(120, 160));
  f.最大画面表示->trigger();
  QTRY_VERIFY(!f.file_box->isHidden());
}

// The pop-up menu offers copying only with a selection, which it sees while it is open.
void TestDisplayForm::text_is_registered_shown_and_copied() {
  FormFixture fx;
  Form1& f = make_form(fx);
  f.ファイルの表示(fx.write_file("docs/memo.txt", "hello world"), DisplayTarget::ShowPane);
  QCOMPARE(f.text_pane->text() + f.text_list->item(0)->text(), "hello world000: memo.txt");
  QVERIFY(!f.text_pane->isHidden() && f.image_pane->isHidden());
  std::pair<QMenu*, QString> shown;  // the menu and the selection it saw
  f.popup_menu = [&](QMenu* m, const QPoint&) { shown = {m, f.st.sel_text}; };
  f.RichTextBox1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(shown.first == f.text_menu && !f.コピー->isEnabled());
  f.text_pane->select(6, 5);
  f.RichTextBox1_MouseUp(Qt::RightButton, QPoint());
  QVERIFY(f.コピー->isEnabled() && shown.second == "world" && f.st.sel_text.isEmpty());
  f.text_pane->focus();
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
  f.ファイルの表示(fx.write_file("a.txt", "text"), DisplayTarget::ShowPane);
  const FileBox other;
  QMimeData theirs;
  theirs.setData(kFileBoxMime, other.drag_token());
  theirs.setUrls({QUrl::fromLocalFile(fx.write_file("x.bmp", bmp(8, 8))),
                  QUrl::fromLocalFile(fx.write_file("y.bmp", bmp(8, 8)))});
  QVERIFY(drop(f.text_pane, &theirs));
  QCOMPARE(f.st.img.paths.mid(0, f.st.img.last + 1), QStringList{fx.folder() + "/x.bmp"});
  QVERIFY(f.image_pane->isHidden() && !f.text_pane->isHidden());
  // Another window's marker alone or an old-style marker are not taken at all.
  for (const QByteArray& marker : {other.drag_token(), QByteArray("1")}) {
    QMimeData bare;
    bare.setData(kFileBoxMime, marker);
    QVERIFY(!drop(f.image_pane, &bare));
  }
  // This window's file box: its selected file, and the pane switches to it.
  f.file_box->refresh();
  f.file_box->set_list_index(f.file_box->entries().indexOf("c.bmp"));
  QMimeData own;
  own.setData(kFileBoxMime, f.file_box->drag_token());
  QVERIFY(drop(f.text_pane, &own));
  QCOMPARE(f.st.img.paths[1], fx.folder() + "/c.bmp");
  QVERIFY(!f.image_pane->isHidden() && f.text_pane->isHidden());
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
  f.ファイルの表示(fx.write_file(name, image_bytes(big, name.endsWith("png") ? "png" : "bmp")),
                   DisplayTarget::ShowPane);
  f.showMaximized();
  QTRY_VERIFY(f.isMaximized());
  f.最大画面表示->trigger();
  QTRY_COMPARE(f.image_pane->geometry(),
               QRect(twips_to_px(10), 0, twips_to_px(16000), twips_to_px(12000)));
  QVERIFY(f.file_box->isHidden() && !f.登録ファイル名表示->isEnabled());
  f.最大画面表示->trigger();
  QTRY_COMPARE(twips_geometry(f.image_pane).topLeft(), QPoint(2640, 120));
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
  f.ファイルの表示(fx.write_file(name, bytes), DisplayTarget::ShowPane);
  const QSize fitted(twips_to_px(9660 - 3285), twips_to_px(6975 - 1760));
  QCOMPARE(f.image_pane->size(), fitted);
  QCOMPARE(f.image_pane->picture().size(), for_pane ? fitted : whole);
  f.resize(f.width() + 300, f.height() + 200);
  QTRY_COMPARE(f.image_pane->size(), fitted + QSize(300, 200));
  QTRY_COMPARE(f.image_pane->picture().size(), for_pane ? fitted + QSize(300, 200) : whole);
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

// Fitted with its proportions kept, a picture is shown whole, centred, in its own shape and never
// larger than it is, whatever its shape; the rest of the pane is not painted with it.
void TestDisplayForm::kept_picture_shown_whole_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QSize>("size");
  // clang-format off
  QTest::newRow("landscape photo") << "l.jpg" << QSize(1600, 1200);
  QTest::newRow("portrait photo")  << "p.jpg" << QSize(600, 1600);
  QTest::newRow("thumbnail")       << "t.jpg" << QSize(100, 75);
  QTest::newRow("huge photo")      << "h.jpg" << QSize(5000, 3750);
  QTest::newRow("panorama")        << "w.png" << QSize(3000, 200);
  // clang-format on
}

void TestDisplayForm::kept_picture_shown_whole() {
  QFETCH(QString, name);
  QFETCH(QSize, size);
  FormFixture fx;
  Form1& f = make_kept_form(fx, true);
  QTRY_COMPARE(f.outer_size_twips(), QSize(9660, 6975));
  QImage photo(size, QImage::Format_RGB32);
  photo.fill(Qt::blue);
  f.ファイルの表示(fx.write_file(name, image_bytes(photo, name.endsWith("png") ? "png" : "jpeg")),
                   DisplayTarget::ShowPane);
  for (const QSize grown : {QSize(0, 0), QSize(300, 40), QSize(-10, 250)}) {
    f.resize(f.size() + grown);
    const QSize pane(twips_to_px(f.outer_size_twips().width() - 3285),
                     twips_to_px(f.outer_size_twips().height() - 1760));
    QTRY_COMPARE(f.image_pane->size(), pane);
    const FrameGeometry g = f.image_pane->frame_geometry();
    const QRect r = g.picture;
    QVERIFY2(
        QRect(QPoint(0, 0), pane).contains(r),
        qPrintable(QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())));
    QVERIFY(r.width() <= size.width() && r.height() <= size.height());
    // In its own shape, to the pixel; filling the pane one way unless it is smaller than the pane.
    QVERIFY(qAbs(qint64(r.width()) * size.height() - qint64(r.height()) * size.width()) <=
            qMax(size.width(), size.height()));
    QVERIFY(r.width() == pane.width() || r.height() == pane.height() || r.size() == size);
    QVERIFY(qAbs(r.left() - (pane.width() - r.right() - 1)) <= 1);
    QVERIFY(qAbs(r.top() - (pane.height() - r.bottom() - 1)) <= 1);
    QVERIFY(!f.image_pane->horizontal_bar()->isVisible() &&
            !f.image_pane->vertical_bar()->isVisible());
    // The decode is sharp enough for what is shown.
    QTRY_VERIFY(f.image_pane->picture().width() >= r.width() &&
                f.image_pane->picture().height() >= r.height());
    const QImage painted = f.image_pane->grab().toImage();
    QVERIFY(is_blue(painted.pixel(r.center())));
    if (r.left() > 2) QVERIFY(!is_blue(painted.pixel(r.left() / 2, r.center().y())));
    if (r.top() > 2) QVERIFY(!is_blue(painted.pixel(r.center().x(), r.top() / 2)));
  }
}

// The zoom keys, Ctrl with the wheel, the wheel, dragging and the scroll bars, on the picture that
// has the focus (a click gives it). Without the settings key none of them does anything.
void TestDisplayForm::kept_picture_zoomed_and_moved_data() {
  QTest::addColumn<bool>("kept");
  QTest::newRow("kept") << true;
  QTest::newRow("not kept") << false;
}

void TestDisplayForm::kept_picture_zoomed_and_moved() {
  QFETCH(bool, kept);
  FormFixture fx;
  Form1& f = make_kept_form(fx, true, kept);
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  f.ファイルの表示(fx.write_file("w.jpg", image_bytes(test_pattern(1600, 1200), "jpeg")),
                   DisplayTarget::ShowPane);
  ImagePane* pane = f.image_pane;
  QTest::mouseClick(pane, Qt::LeftButton, {}, QPoint(10, 10));
  QCOMPARE(QApplication::focusWidget(), pane);
  const auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(static_cast<QWidget*>(nullptr), k, m);
  };
  const QSize stretched = pane->picture().size();
  if (!kept) {
    QCOMPARE(stretched, pane->size());
    key(Qt::Key_1);
    key(Qt::Key_Plus);
    send_wheel(pane, QPoint(50, 50), 120, Qt::ControlModifier);
    QCOMPARE(pane->picture().size(), stretched);
    QVERIFY(!pane->horizontal_bar()->isVisible());
    QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
    return;
  }
  const double fitted = pane->frame_geometry().scale;
  QVERIFY(fitted < 0.5);
  // 1: the picture's own size, with both scroll bars, decoded whole to stay sharp.
  key(Qt::Key_1);
  QCOMPARE(pane->frame_geometry().scale, 1.0);
  QVERIFY(pane->horizontal_bar()->isVisible() && pane->vertical_bar()->isVisible());
  QTRY_COMPARE(pane->picture().size(), QSize(1600, 1200));
  QCOMPARE(pane->accessibleDescription(), QString("表示倍率 100%"));
  // The wheel scrolls down, a drag moves the picture with the mouse, the bars follow.
  const QPoint start = pane->frame_geometry().scroll;
  send_wheel(pane, QPoint(50, 50), -120, Qt::NoModifier);
  QCOMPARE(pane->frame_geometry().scroll, start + QPoint(0, 60));
  QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(pane, QPoint(70, 90));
  QTest::mouseRelease(pane, Qt::LeftButton, {}, QPoint(70, 90));
  QCOMPARE(pane->frame_geometry().scroll, start + QPoint(30, 70));
  QCOMPARE(pane->horizontal_bar()->value(), start.x() + 30);
  QCOMPARE(pane->vertical_bar()->value(), start.y() + 70);
  pane->horizontal_bar()->setValue(0);
  QCOMPARE(pane->frame_geometry().picture.left(), 0);
  // 0 fits again; + and - step from there; Shift+"+" as typed on a Japanese keyboard.
  key(Qt::Key_0);
  QVERIFY(pane->frame_geometry().scale == fitted && !pane->vertical_bar()->isVisible());
  key(Qt::Key_Plus, Qt::ShiftModifier);
  QCOMPARE(pane->frame_geometry().scale, PictureFrame::next_step(fitted, true));
  key(Qt::Key_Minus);
  key(Qt::Key_Minus);
  const double up = PictureFrame::next_step(fitted, true);
  QCOMPARE(pane->frame_geometry().scale,
           PictureFrame::next_step(PictureFrame::next_step(up, false), false));
  QVERIFY(pane->frame_geometry().scale < fitted);
  // Ctrl with the wheel zooms in at the mouse: the point under it stays under it.
  key(Qt::Key_1);
  const QPoint mouse(40, 30);
  const FrameGeometry before = pane->frame_geometry();
  const QPointF under = QPointF(mouse - before.picture.topLeft()) / before.scale;
  send_wheel(pane, mouse, 120, Qt::ControlModifier);
  const FrameGeometry after = pane->frame_geometry();
  QCOMPARE(after.scale, 1.5);
  const QPointF now = QPointF(mouse - after.picture.topLeft()) / after.scale;
  QVERIFY(qAbs(now.x() - under.x()) < 1 && qAbs(now.y() - under.y()) < 1);
  // The clipboard still gets the whole picture.
  f.画像のコピー->trigger();
  QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(1600, 1200));
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

// A drop is taken anywhere on the pane, beside the picture as well as on it.
void TestDisplayForm::kept_picture_takes_drops_over_the_whole_pane() {
  FormFixture fx;
  Form1& f = make_kept_form(fx, true);
  f.ファイルの表示(fx.write_file("small.bmp", bmp(40, 30)), DisplayTarget::ShowPane);
  QVERIFY(!f.image_pane->frame_geometry().picture.contains(QPoint(5, 5)));
  QMimeData theirs;
  theirs.setUrls({QUrl::fromLocalFile(fx.write_file("x.bmp", bmp(8, 8)))});
  QVERIFY(drop(f.image_pane, &theirs));
  QCOMPARE(f.st.img.paths[1], fx.folder() + "/x.bmp");
}

// The maximised display keeps the proportions too: its pane stays within the window (a picture
// larger than it is scrolled, not cut off out of reach), fitted or not; Esc on the picture leaves
// it.
void TestDisplayForm::kept_picture_maximised_data() {
  QTest::addColumn<bool>("fit");
  QTest::newRow("fitted") << true;
  QTest::newRow("own size") << false;
}

void TestDisplayForm::kept_picture_maximised() {
  QFETCH(bool, fit);
  FormFixture fx;
  Form1& f = make_kept_form(fx, fit);
  QImage big(13000 / 15, 8000 / 15, QImage::Format_RGB32);  // in twips
  big.fill(Qt::blue);
  f.ファイルの表示(fx.write_file("big.bmp", image_bytes(big, "bmp")), DisplayTarget::ShowPane);
  f.showMaximized();
  QTRY_VERIFY(f.isMaximized());
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  f.file_box->setFocus();
  f.最大画面表示->trigger();
  const QSize outer = f.outer_size_twips();
  const QRect area = maximised_kept_image_geometry(QSize(), outer, true);
  QCOMPARE(area.topLeft(), QPoint(10, 0));
  QTRY_VERIFY(f.file_box->isHidden());
  QCOMPARE(f.image_pane->pos(), QPoint(twips_to_px(10), 0));
  // Within the window's client area, above the bottom rows.
  QVERIFY(f.image_pane->parentWidget()->rect().contains(f.image_pane->geometry()));
  QVERIFY(f.image_pane->geometry().bottom() < f.number_box->geometry().top());
  const FrameGeometry g = f.image_pane->frame_geometry();
  if (fit) {
    QCOMPARE(f.image_pane->size(), QSize(twips_to_px(area.width()), twips_to_px(area.height())));
    QVERIFY(g.picture.width() == f.image_pane->width() ||
            g.picture.height() == f.image_pane->height());
    QVERIFY(!g.horizontal_bar && !g.vertical_bar);
  } else {
    QCOMPARE(g.scale, 1.0);
    QVERIFY(g.horizontal_bar || g.vertical_bar);
  }
  // The focus was in the file box, which the display hides: it goes to the picture, where Esc
  // leaves the display.
  QCOMPARE(QApplication::focusWidget(), f.image_pane);
  QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
  QVERIFY(!f.最大画面表示->isChecked());
  QTRY_VERIFY(!f.file_box->isHidden());
  QCOMPARE(twips_geometry(f.image_pane).topLeft(), QPoint(2640, 120));
  // Esc with the display left does nothing more.
  QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
  QVERIFY(!f.最大画面表示->isChecked());
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
  f.ファイルの表示(fx.folder() + "/zero.bmp", DisplayTarget::ShowPane);
  fx.messages.expect(pipe + missing, MsgAnswer::Yes);
  f.ファイルの表示(pipe, DisplayTarget::ShowPane);
  QVERIFY(f.st.img.paths[0].isEmpty() && f.st.txt.paths[0].isEmpty());
  const QString text = fx.write_file("a.txt", "a");
  f.ファイルの表示(text, DisplayTarget::ShowPane);
  f.ファイルの表示(fx.write_file("b.txt", "b"), DisplayTarget::ShowPane);
  QVERIFY(QFile::remove(text) && ::mkfifo(QFile::encodeName(text).constData(), 0600) == 0);
  fx.messages.expect(text + missing, MsgAnswer::No);
  f.Command3_Click(0);
  QCOMPARE(f.st.txt.paths.mid(0, 2), (QStringList{text, fx.folder() + "/b.txt"}));
}

// The text as shown has the positions a plain text editor gives it: select(start, length) selects
// the same characters whatever the line ends, surrogate pairs, half-width katakana and tabs, in a
// file read a block at a time (a long line cut into pieces) and in a text set whole alike.
void TestDisplayForm::text_positions_as_in_a_plain_text_editor_data() {
  QTest::addColumn<QString>("text");
  // clang-format off
  QTest::newRow("CR LF")                        << QStringLiteral("ab\r\ncd\r\n\r\nef");
  QTest::newRow("LF and a CR alone")            << QStringLiteral("ab\ncd\r\ref\n");
  QTest::newRow("surrogate pairs")              << QStringLiteral("😀a𠮷\n😀😀\r\nz");
  QTest::newRow("half-width katakana and tabs") << QStringLiteral("ｱｲｳ\tｴｵ\n\tｶｷ\r\n");
  QTest::newRow("long line cut into pieces")    << QString(12000, u'字') + QStringLiteral("x\r\ny");
  // clang-format on
}

void TestDisplayForm::text_positions_as_in_a_plain_text_editor() {
  QFETCH(QString, text);
  QTemporaryDir dir;
  // The text from files in each encoding that holds it (code page 932 has one byte for a
  // half-width katakana and two for a kanji, UTF-16 two or four), and set whole.
  std::vector<std::pair<const char*, QByteArray>> files{
      {"utf-8", text.toUtf8()}, {"utf-16", "\xFF\xFE" + encode_utf16le(text)}};
  bool in_cp932 = false;
  const QByteArray cp932 = encode_cp932(text, &in_cp932);
  if (in_cp932) files.emplace_back("cp932", cp932);
  std::vector<std::unique_ptr<TextPane>> panes;
  for (const auto& [name, bytes] : files) {
    QFile file(dir.filePath(QString::fromLatin1(name) + QStringLiteral(".txt")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    panes.push_back(std::make_unique<TextPane>());
    QVERIFY(panes.back()->load_file(file.fileName()));
    QTRY_VERIFY(!panes.back()->loading());
  }
  panes.push_back(std::make_unique<TextPane>());
  panes.back()->set_text(text);
  QPlainTextEdit editor;
  editor.setPlainText(text);
  const int end = editor.document()->characterCount() - 1;
  for (const std::unique_ptr<TextPane>& pane : panes) {
    QCOMPARE(pane->text(), editor.toPlainText());
    QList<int> starts;
    for (int p = 0; p <= end; p += end < 100 ? 1 : 97) starts << p;
    // Around the places where this text's index cut the long line into pieces.
    const std::shared_ptr<IndexedText> shown = pane->shown_text();
    if (shown->from_file() && end > 10000) QVERIFY(shown->block_count() >= 2);
    for (int b = 1; b < shown->block_count(); ++b) {
      const int cut = int(shown->block(b).pos);
      for (int p = std::max(0, cut - 3); p <= std::min(end, cut + 3); ++p) starts << p;
    }
    for (int start : starts) {
      for (int length : {0, 1, 2, 5, end}) {
        QTextCursor cursor(editor.document());
        cursor.setPosition(start);
        cursor.setPosition(std::min(start + length, end), QTextCursor::KeepAnchor);
        const QString expected = cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
        pane->select(start, length);
        QCOMPARE(pane->selected_text(), expected);
      }
    }
  }
}

// The same fonts, margins, colours, tab stops and wrapping as a plain text editor: the two draw
// the same pixels for a text with long Japanese lines, half-width katakana, a tab, an emoji,
// empty lines and every line end, with a selection across two lines.
void TestDisplayForm::text_drawn_as_a_plain_text_editor_draws_it() {
  const QString text = QStringLiteral(
      "これは比較のための日本語の行です。折り返しの位置も同じになるはずです。ｶﾀｶﾅ\tタブ ABC\n"
      "二行目\r\n\r\n四行目 😀 "
      "長い長い長い長い長い長い長い長い長い長い長い長い長い長い長い行\r最後");
  QPlainTextEdit editor;
  editor.setReadOnly(true);
  editor.setPlainText(text);
  TextPane pane;
  pane.set_text(text);
  for (QWidget* w : std::initializer_list<QWidget*>{&editor, &pane}) {
    w->resize(420, 300);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
  }
  QTextCursor cursor(editor.document());
  cursor.setPosition(40);
  cursor.setPosition(50, QTextCursor::KeepAnchor);
  editor.setTextCursor(cursor);
  pane.select(40, 10);
  editor.clearFocus();
  pane.findChild<TextView*>()->clearFocus();
  QCOMPARE(pane.grab().toImage(), editor.grab().toImage());
}

// A click places the caret, Shift extends; arrows, Home/End and Down move as in a text editor;
// a drag, a double click (a word) and a triple click (a line) select; Ctrl+A and Ctrl+C select and
// copy everything.
void TestDisplayForm::text_selection_by_mouse_and_keyboard() {
  TextPane pane;
  pane.resize(400, 300);
  pane.show();
  QVERIFY(QTest::qWaitForWindowExposed(&pane));
  pane.set_text(QStringLiteral("abc def\r\nghi jkl\n"));
  auto* view = pane.findChild<TextView*>();
  QVERIFY(view && view->isVisible());
  pane.focus();
  QWidget* viewport = view->viewport();
  auto at = [view](qint64 pos) {  // just right of the left edge of a character
    const QRect r = view->character_rect(pos);
    return QPoint(r.left() + 1, r.center().y());
  };
  QTest::mouseClick(viewport, Qt::LeftButton, {}, at(4));
  QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
  QCOMPARE(pane.selected_text(), QStringLiteral("def"));
  QTest::keyClick(view, Qt::Key_Home);
  QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
  QCOMPARE(pane.selected_text(), QStringLiteral("ab"));
  QTest::keyClick(view, Qt::Key_Down);
  QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
  QCOMPARE(pane.selected_text(), QStringLiteral("i jkl"));
  QTest::mouseClick(viewport, Qt::LeftButton, {}, at(1));
  QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, at(10));
  QCOMPARE(pane.selected_text(), QStringLiteral("bc def\ngh"));
  QTest::mousePress(viewport, Qt::LeftButton, {}, at(8));
  QTest::mouseMove(viewport, at(12));
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, at(12));
  QCOMPARE(pane.selected_text(), QStringLiteral("ghi "));
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, at(13));
  QCOMPARE(pane.selected_text(), QStringLiteral("jkl"));
  QTest::mouseClick(viewport, Qt::LeftButton, {}, at(13));
  QCOMPARE(pane.selected_text(), QStringLiteral("ghi jkl\n"));  // the third click: the line
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("abc def\nghi jkl\n"));
}

// A selection from one block of a long file into a later one is read and copied whole.
void TestDisplayForm::text_copy_spans_blocks() {
  FormFixture fx;
  QString text;
  for (int i = 0; i < 5000; ++i)
    text += QStringLiteral("%1行目：ブロックをまたぐコピー\r\n").arg(i);
  TextPane pane;
  QVERIFY(pane.load_file(fx.write_file("long.txt", encode_cp932(text))));
  QTRY_VERIFY(!pane.loading());
  const std::shared_ptr<IndexedText> shown = pane.shown_text();
  QVERIFY(shown->block_count() >= 3);
  const qint64 from = shown->block(1).pos - 10, to = shown->block(2).pos + 10;
  pane.select(from, to - from);
  pane.focus();
  pane.copy_selection();
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QCOMPARE(QGuiApplication::clipboard()->text(), text.mid(from, to - from));
}

// A place selected in lines indexed after the view last looked at the index (no event has run
// since) is scrolled into sight all the same.
void TestDisplayForm::text_selected_beyond_what_the_view_has_seen() {
  FormFixture fx;
  const QByteArray line = encode_cp932(QStringLiteral("まだ見ていない行\r\n"));
  const QString path = fx.write_file("seen.txt", line.repeated(300000) + "last");
  TextPane pane;
  pane.resize(400, 300);
  pane.show();
  QVERIFY(pane.load_file(path));
  pane.shown_text()->wait_until_complete();
  const qint64 last = pane.shown_text()->length() - 4;
  pane.select(last, 4);
  QCOMPARE(pane.selected_text(), QStringLiteral("last"));
  auto* view = pane.findChild<TextView*>();
  QVERIFY(!view->character_rect(view->caret() - 1).isEmpty());
}

// Ctrl+A while a long text is still being read selects it to its end once read, and leaves the
// view where it is, as Ctrl+End follows the end with the view.
void TestDisplayForm::text_selected_whole_while_being_read() {
  FormFixture fx;
  const QByteArray line = encode_cp932(QStringLiteral("読みながら選ぶ行\r\n"));
  const QString path = fx.write_file("reading.txt", line.repeated(300000) + "end");
  TextPane pane;
  pane.resize(400, 300);
  pane.show();
  auto* view = pane.findChild<TextView*>();
  for (int key : {Qt::Key_A, Qt::Key_End}) {
    QVERIFY(pane.load_file(path));
    QVERIFY(pane.loading());
    QTest::keyClick(view, Qt::Key(key), Qt::ControlModifier);
    QTRY_VERIFY(!pane.loading());
    QCOMPARE(view->caret(), pane.shown_text()->length());
    QCOMPARE(view->anchor(), key == Qt::Key_A ? 0 : view->caret());
    QCOMPARE(view->character_rect(0).isEmpty(), key == Qt::Key_End);
  }
}

// A file cut short or removed while it is shown, indexed or still being indexed: the pane keeps
// showing what it read, scrolls, selects and copies what is left, and nothing fails.
void TestDisplayForm::text_file_cut_short_or_removed_while_shown() {
  FormFixture fx;
  QByteArray bytes;
  for (int i = 0; i < 200000; ++i) bytes += QByteArray::number(i) + " a line that is cut short\n";
  const QString path = fx.write_file("cut.txt", bytes);
  TextPane pane;
  pane.resize(400, 300);
  pane.show();
  auto* view = pane.findChild<TextView*>();
  for (bool indexed : {true, false}) {
    QVERIFY(pane.load_file(path));
    if (indexed) QTRY_VERIFY(!pane.loading());
    QVERIFY(QFile::resize(path, 3000));
    QTRY_VERIFY(!pane.loading());
    QCOMPARE(pane.shown_text()->line(0).text, QStringLiteral("0 a line that is cut short"));
    for (int key : {Qt::Key_End, Qt::Key_Home, Qt::Key_End}) {
      QTest::keyClick(view, Qt::Key(key), Qt::ControlModifier);
      QVERIFY(!pane.grab().isNull());
    }
    // (The paint found the change: the whole text is selected as it is read anew.)
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTRY_VERIFY(pane.selected_text().startsWith(QStringLiteral("0 a line")));
    QVERIFY(QFile::remove(path));
    QTest::keyClick(view, Qt::Key_PageUp);
    QVERIFY(!pane.grab().isNull());
    fx.write_file("cut.txt", bytes);
  }
}

// A file changed under the pane after it was indexed: a copy that meets the change gives nothing,
// never the old text's first blocks with the new one's later bytes; the text is then read anew,
// the selection gone and the caret within the new text, and a copy or a find gives the new text.
// Lines added at the end (a log being written) change nothing that was indexed: the text stays
// as it was, or takes them in while it is still being read, and is not read anew. A change in the
// middle that makes the file grow (a line inserted, its first bytes as they were) is no such
// lines. The screen never shows a line of one version beside a line of the other.
void TestDisplayForm::text_file_changed_while_shown_never_copied_mixed_data() {
  QTest::addColumn<QString>("change");
  QTest::addColumn<bool>("indexed");
  for (const char* change :
       {"cut to 1000 bytes", "same size, other text", "grown", "line inserted in the middle",
        "line removed from the middle", "line overwritten in the middle"}) {
    QTest::addRow("%s, indexed", change) << QString::fromLatin1(change) << true;
    QTest::addRow("%s, being indexed", change) << QString::fromLatin1(change) << false;
  }
}

void TestDisplayForm::text_file_changed_while_shown_never_copied_mixed() {
  QFETCH(QString, change);
  QFETCH(bool, indexed);
  FormFixture fx;
  auto lines = [](const QString& word, int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
      out += encode_cp932(QStringLiteral("%1 行 %2 ログの一行\r\n").arg(i).arg(word));
    }
    return out;
  };
  const QByteArray old_bytes = lines(QStringLiteral("古い"), 60000);
  const QString path = fx.write_file("log.txt", old_bytes);
  TextPane original;
  QVERIFY(original.load_file(path));
  const QString old_text = original.text();
  TextPane pane;
  pane.resize(400, 300);
  pane.show();
  auto* view = pane.findChild<TextView*>();
  QVERIFY(QTest::qWaitForWindowExposed(&pane));
  // While it is being indexed: the worker waits to read until the file is changed.
  std::optional<HeldReads> held;
  if (!indexed) held.emplace();
  QVERIFY(pane.load_file(path));
  if (indexed) {
    QTRY_VERIFY(!pane.loading());
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Up);
  } else {
    QVERIFY(held->wait_for_a_held_read());
  }
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);

  // The view shows the middle of the text, where the change is made.
  const qsizetype middle = old_bytes.indexOf(encode_cp932(QStringLiteral("30000 行")));
  view->scroll_to(old_text.indexOf(QStringLiteral("30000 行")));
  QVERIFY(!pane.grab().isNull());
  QByteArray new_bytes;
  if (change.startsWith(u"cut")) {
    new_bytes = old_bytes.left(1000);
  } else if (change.startsWith(u"same")) {
    new_bytes = lines(QStringLiteral("新た"), 60000);
    QCOMPARE(new_bytes.size(), old_bytes.size());
  } else if (change.startsWith(u"line inserted")) {
    // An editor saving one more line over the file: it grows by 14 bytes.
    new_bytes = old_bytes;
    new_bytes.insert(middle, "inserted line\n");
  } else if (change.startsWith(u"line removed")) {
    new_bytes = old_bytes;
    new_bytes.remove(middle, new_bytes.indexOf('\n', middle) + 1 - middle);
  } else if (change.startsWith(u"line overwritten")) {
    new_bytes = old_bytes;
    new_bytes.replace(middle, 5, "ABCDE");
  } else {
    new_bytes = old_bytes + lines(QStringLiteral("足した"), 10);
  }
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QCOMPARE(file.write(new_bytes), new_bytes.size());
    QVERIFY(file.resize(new_bytes.size()));
    file.close();
    // A new modification time, whatever the clock's grain.
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60),
                             QFileDevice::FileModificationTime));
  }
  const QString new_text = decode_text_as(new_bytes, TextEncoding::Cp932)
                               .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const bool grown = change == u"grown";
  // What the pane holds at the end: the new text, or the old one where lines were only added
  // after it had been read whole.
  const QString expected = grown && indexed ? old_text : new_text;
  // The lines drawn follow each other in one version of the text.
  auto one_version = [&](QStringList drawn) {
    // (The empty line after the last line end, or of a text not read yet, is in every version.)
    while (!drawn.isEmpty() && drawn.back().isEmpty()) drawn.removeLast();
    const QString run = u'\n' + drawn.join(u'\n') + u'\n';
    return drawn.isEmpty() || (u'\n' + old_text).contains(run) || (u'\n' + new_text).contains(run);
  };
  // Lines further on, read after the change, beside those read before it.
  view->scroll_to(old_text.indexOf(QStringLiteral("33000 行")));
  QVERIFY(!pane.grab().isNull());
  QVERIFY2(one_version(view->drawn_lines()), qPrintable(view->drawn_lines().join(u'|')));

  const QString before = QStringLiteral("クリップボードの前の中身");
  QGuiApplication::clipboard()->setText(before);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  const QString copied = QGuiApplication::clipboard()->text();
  // (A text still being read, or read anew, gives a copy of what was read of it so far.)
  QVERIFY2(copied == before || copied == expected ||
               ((grown || !indexed) && expected.startsWith(copied)),
           qPrintable(QStringLiteral("%1 characters copied").arg(copied.size())));
  if (held) held->release();

  QTRY_VERIFY(!pane.loading());
  // Select all, pressed while the text was being read, goes on selecting the whole text.
  if (indexed && !grown) QCOMPARE(view->anchor(), view->caret());
  QVERIFY(view->caret() <= pane.shown_text()->length());
  QVERIFY(!pane.grab().isNull());
  QVERIFY2(one_version(view->drawn_lines()), qPrintable(view->drawn_lines().join(u'|')));
  // A copy that meets a change not found before gives nothing, and the text is read anew.
  QGuiApplication::clipboard()->setText(before);
  for (int tries = 0; tries < 3 && QGuiApplication::clipboard()->text() == before; ++tries) {
    QTRY_VERIFY(!pane.loading());
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  }
  QCOMPARE(QGuiApplication::clipboard()->text(), expected);
  // The text was read anew where the indexed part changed (while it was being read, the change
  // lay beyond what was read, or its first bytes changed); lines added leave it as it was.
  if (indexed || grown) QCOMPARE(pane.shown_text()->generation() == 0, grown);
  QCOMPARE(pane.text(), expected);
  const QString last = expected.section(u'\n', -2, -2);
  QCOMPARE(find_next(*pane.shown_text(), last, 0), expected.lastIndexOf(last));
}

// On slow media the window never waits for the worker reading a long text: a place selected
// beyond what is read so far is selected once it is read, a file changed while shown is read anew
// and the text let go (the next step of a slideshow) while the worker's read is still held.
void TestDisplayForm::text_pane_never_waits_for_slow_media() {
  FormFixture fx;
  QByteArray bytes;
  for (int i = 0; i < 100000; ++i) bytes += QByteArray::number(i) + " a line on slow media\n";
  const QString path = fx.write_file("slow.txt", bytes);
  const QString other = fx.write_file("other.txt", "the next text\n");
  TextPane pane;
  pane.resize(400, 300);
  pane.show();
  auto* view = pane.findChild<TextView*>();
  std::optional<HeldReads> held;
  held.emplace();
  QVERIFY(pane.load_file(path));
  QVERIFY(held->wait_for_a_held_read());
  QCOMPARE(pane.shown_text()->line(0).text, QStringLiteral("0 a line on slow media"));
  const qint64 last = QString::fromLatin1(bytes).lastIndexOf(QStringLiteral("99999"));
  pane.select(last, 5);
  QVERIFY(held->held_reads() > 0);
  QCOMPARE(view->anchor(), 0);
  held->release();
  QTRY_COMPARE(pane.selected_text(), QStringLiteral("99999"));

  held.emplace();
  QVERIFY(pane.load_file(path));
  QVERIFY(held->wait_for_a_held_read());
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.write("changed") == 7);
  }
  // The paint finds the change and reads the text anew.
  QVERIFY(!pane.grab().isNull());
  QTRY_COMPARE(pane.shown_text()->generation(), 1);
  QVERIFY(pane.loading());
  QVERIFY(pane.load_file(other));
  QVERIFY(held->held_reads() > 0);
  held->release();
  QTRY_VERIFY(!pane.loading());
  QCOMPARE(pane.shown_text()->line(0).text, QStringLiteral("the next text"));
}

// A text shown in two panes is read by one of them. When that one moves on to another text while
// its read is held, the other runs the reading on and shows the text to its end; the one that
// moved on shows the next text's lines only, whatever the first text's reading still does.
void TestDisplayForm::text_reading_taken_over_by_the_other_pane() {
  FormFixture fx;
  QByteArray bytes;
  for (int i = 0; i < 100000; ++i) bytes += QByteArray::number(i) + " a line two panes show\n";
  const QString path = fx.write_file("shared.txt", bytes);
  const QString other = fx.write_file("other.txt", "the next text\n");
  TextPane reading, other_pane;
  for (TextPane* pane : {&reading, &other_pane}) {
    pane->resize(400, 300);
    pane->show();
  }
  std::optional<HeldReads> held;
  held.emplace();
  QVERIFY(reading.load_file(path));
  QVERIFY(held->wait_for_a_held_read());
  other_pane.show_text_of(reading);
  QVERIFY(reading.load_file(other));
  held.reset();
  QTRY_VERIFY(!other_pane.loading());
  QCOMPARE(other_pane.shown_text()->line_count(), 100001);
  auto* view = other_pane.findChild<TextView*>();
  QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
  QVERIFY(!other_pane.grab().isNull());
  QCOMPARE(view->drawn_lines().mid(view->drawn_lines().size() - 2),
           (QStringList{QStringLiteral("99999 a line two panes show"), QString()}));
  QVERIFY(!reading.loading());
  QVERIFY(!reading.grab().isNull());
  auto* moved_on = reading.findChild<TextView*>();
  QCOMPARE(moved_on->drawn_lines(), (QStringList{QStringLiteral("the next text"), QString()}));
  QCOMPARE(moved_on->verticalScrollBar()->maximum(), 0);
}

// A text read to its end, then found changed by a read off the window's thread (as a search reads
// it): the view runs the reading anew and shows the new text to its end. It is loading until it
// has taken in the new text's end, even when someone else read the text to its end first.
void TestDisplayForm::text_read_anew_from_off_the_window_thread_data() {
  QTest::addColumn<bool>("read_elsewhere");
  QTest::newRow("read by the view") << false;
  QTest::newRow("read to its end before the view looks") << true;
}

void TestDisplayForm::text_read_anew_from_off_the_window_thread() {
  QFETCH(bool, read_elsewhere);
  FormFixture fx;
  QByteArray old_bytes, new_bytes;
  for (int i = 0; i < 50000; ++i) {
    old_bytes += QByteArray::number(i) + " old line\n";
    new_bytes += QByteArray::number(i) + " new line\n";
  }
  const QString path = fx.write_file("changes.txt", old_bytes);
  TextPane pane;
  pane.resize(400, 300);
  pane.show();
  QVERIFY(pane.load_file(path));
  QTRY_VERIFY(!pane.loading());
  const std::shared_ptr<IndexedText> text = pane.shown_text();
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.write(new_bytes) == new_bytes.size());
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60),
                             QFileDevice::FileModificationTime));
  }
  std::thread([text] { (void)text->text(0, 10); }).join();
  QCOMPARE(text->generation(), 1);
  QVERIFY(pane.loading());
  if (read_elsewhere) {
    text->wait_until_complete();
    QVERIFY(pane.loading());
  }
  QTRY_VERIFY(!pane.loading());
  auto* view = pane.findChild<TextView*>();
  QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
  QVERIFY(!pane.grab().isNull());
  QCOMPARE(view->caret(), text->length());
  QVERIFY2(view->drawn_lines().mid(view->drawn_lines().size() - 2) ==
               (QStringList{QStringLiteral("49999 new line"), QString()}),
           qPrintable(view->drawn_lines().join(u'|')));
}

// A selection too large to be held on the clipboard (gigabytes of a long text) is not copied: the
// copy command and Ctrl+C say why, and the clipboard keeps what it had.
void TestDisplayForm::text_copy_too_large_says_why() {
  FormFixture fx;
  Form1& f = make_form(fx);
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  f.ファイルの表示(fx.write_file("big.txt", "0123456789abcdef"), DisplayTarget::ShowPane);
  auto* view = f.text_pane->findChild<TextView*>();
  view->set_largest_copy(10);
  const QString refused = QStringLiteral(
      "選択範囲が大きすぎるため、コピーできません。\n\r"
      "選択範囲を小さくしてからコピーしてください。");
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  f.text_pane->select(0, 11);
  f.text_pane->focus();
  QCOMPARE(view->anchor(), 0);
  QCOMPARE(view->caret(), 11);
  QVERIFY(view->hasFocus());
  fx.messages.expect(refused);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(fx.messages.seen.size(), 1);
  // The menu's copy command, on after the mouse button was released over the selection.
  f.RichTextBox1_MouseUp(Qt::LeftButton, QPoint());
  QVERIFY(f.コピー->isEnabled());
  fx.messages.expect(refused);
  f.コピー->trigger();
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
  f.text_pane->select(1, 10);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("123456789a"));
}

// The text pane as an assistive tool reads it: its view carries the pane's name and gives the
// characters, the caret, the selection and the line at a place; the result view carries its own
// name, and a rich text's view the pane's.
void TestDisplayForm::text_read_by_assistive_tools() {
  FormFixture fx;
  Form1& f = make_form(fx);
  f.ファイルの表示(
      fx.write_file("a.txt", encode_cp932(QStringLiteral("first line\r\nsecond 行\r\n"))),
      DisplayTarget::ShowPane);
  QAccessibleInterface* pane = QAccessible::queryAccessibleInterface(f.text_pane);
  QAccessibleInterface* view = QAccessible::queryAccessibleInterface(f.text_pane->focusProxy());
  QVERIFY(pane && view && view->textInterface());
  QCOMPARE(pane->text(QAccessible::Name), QStringLiteral("テキスト表示"));
  QCOMPARE(view->text(QAccessible::Name), QStringLiteral("テキスト表示"));
  QVERIFY(view->state().readOnly && view->state().multiLine);
  QAccessibleTextInterface* text = view->textInterface();
  QCOMPARE(text->characterCount(), 20);
  QCOMPARE(text->text(6, 15), QStringLiteral("line\nseco"));
  text->setSelection(0, 11, 17);
  QCOMPARE(f.text_pane->selected_text(), QStringLiteral("second"));
  int start = -1, end = -1;
  text->selection(0, &start, &end);
  QCOMPARE(std::pair(start, end), std::pair(11, 17));
  QCOMPARE(text->cursorPosition(), 17);
  QCOMPARE(text->textAtOffset(13, QAccessible::LineBoundary, &start, &end),
           QStringLiteral("second 行"));
  QCOMPARE(text->textAtOffset(2, QAccessible::WordBoundary, &start, &end), QStringLiteral("first"));
  QCOMPARE(text->textAtOffset(12, QAccessible::CharBoundary, &start, &end), QStringLiteral("e"));
  QVERIFY(text->characterRect(0).isValid());
  QCOMPARE(text->offsetAtPoint(text->characterRect(12).center()), 12);
  QAccessibleInterface* result = QAccessible::queryAccessibleInterface(f.result_view->focusProxy());
  QCOMPARE(result->text(QAccessible::Name), QStringLiteral("検索用のテキスト表示"));
  f.ファイルの表示(fx.write_file("r.rtf", "{\\rtf1 rich}"), DisplayTarget::ShowPane);
  view = QAccessible::queryAccessibleInterface(f.text_pane->focusProxy());
  QCOMPARE(view->text(QAccessible::Name), QStringLiteral("テキスト表示"));
}

// A file with nothing in it, or whose last line has no line end, is shown, walked to its end,
// selected whole and read by an assistive tool like any other.
void TestDisplayForm::text_file_empty_or_without_line_end_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("text");
  // clang-format off
  QTest::newRow("0 bytes")              << QByteArray() << QString();
  QTest::newRow("one line, no end")     << encode_cp932(QStringLiteral("改行のない一行 abc")) << QStringLiteral("改行のない一行 abc");
  QTest::newRow("last line, no end")    << encode_cp932(QStringLiteral("一行目\r\n二行目")) << QStringLiteral("一行目\n二行目");
  QTest::newRow("only a line end")      << QByteArray("\r\n") << QStringLiteral("\n");
  // clang-format on
}

void TestDisplayForm::text_file_empty_or_without_line_end() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, text);
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString path = fx.write_file("t.txt", bytes);
  f.ファイルの表示(path, DisplayTarget::ShowPane);
  QVERIFY(f.text_pane->isVisible());
  QTRY_VERIFY(!f.text_pane->loading());
  QCOMPARE(f.text_pane->text(), text);
  auto* view = f.text_pane->findChild<TextView*>();
  QVERIFY(view && view->isVisible());
  QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(view->caret(), text.size());
  QVERIFY(!f.text_pane->grab().isNull());
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
  QCOMPARE(f.text_pane->selected_text(), text);
  f.text_pane->select(text.size(), 5);  // past the end: nothing
  QCOMPARE(f.text_pane->selected_text(), QString());
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(view);
  QVERIFY(iface && iface->textInterface());
  QCOMPARE(iface->textInterface()->characterCount(), text.size());
  QCOMPARE(iface->textInterface()->text(0, int(text.size())), text);
}

// The text panes take the window's Japanese design font, so that Latin letters, digits, kana and
// kanji of one line come from one face, not from a Latin font with a Japanese one filling in.
void TestDisplayForm::text_panes_show_latin_and_japanese_in_one_face() {
  install_font_substitutions();
  FormFixture fx;
  Form1& f = make_form(fx);
  const QString line = QStringLiteral("Tarvex ABC abc 0123 日本語のテキスト ｶﾀｶﾅ かな");
  f.ファイルの表示(fx.write_file("mixed.txt", encode_cp932(line)), DisplayTarget::ShowPane);
  for (TextPane* pane : {f.text_pane, f.result_view}) {
    const QFont font = pane->findChild<TextView*>()->font();
    QCOMPARE(font.family(), design_font(kFontPGothic).family());
    QTextLayout layout(line, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QSet<QString> faces;
    for (const QGlyphRun& run : layout.glyphRuns()) faces << run.rawFont().familyName();
    QCOMPARE(faces.size(), 1);
  }
}

QTEST_MAIN(TestDisplayForm)
#include "test_display_form.moc"
