// Start-up and shutdown of the main window.

#include "app/form3.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "browse/file_box.h"
#include "browse/folder_tree.h"
#include "display/classify.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/classic_timer.h"
#include "platform/error_text.h"
#include "platform/qt_translation.h"
#include "platform/widget_twips.h"
#include "search/form4.h"
#include "settings/conversions.h"
#include "settings/default_settings.h"
#include "settings/form2.h"
#include "settings/setting_keys.h"
#include "settings/settings_messages.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace tarvex {

namespace {

// The file-count warning: two lines joined by a line feed and a carriage return.
const QString kFileCountMessage = QStringLiteral(
    "設定ファイル数が範囲外です。ファイル数を２００にしました。\n\r"
    "          Tarvex.iniを確認してください。");

void set_text_colour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colour);
  p.setColor(QPalette::Text, colour);
  w->setPalette(p);
}

}  // namespace

void Form1::Form_Load() {
  using namespace keys;
  // The interface is Japanese whatever the locale: what Qt draws itself (the buttons of the
  // message boxes, the edit boxes' pop-up menus) speaks it too, from the first message on.
  install_japanese_qt_translation();
  // The first start finds the settings Tarvex ships in the settings folder, not an empty file.
  provide_default_settings(settings_.path(), platform_.default_settings);

  // 1. The extension tables.
  for (int slot = 0; slot < kExtensionSlots; ++slot) {
    st.search_exts[slot] = settings_.ini_read(kSearchExtensions, slot_key(slot));
    st.lotus_exts[slot] = settings_.ini_read(kLotusExtensions, slot_key(slot));
    st.excel_exts[slot] = settings_.ini_read(kExcelExtensions, slot_key(slot));
    st.image_exts[slot] =
        added_image_extension(settings_.ini_read(kImageExtensions, slot_key(slot)));
  }

  // 2. Continuous-display intervals; a value the timer refuses leaves its initial interval.
  image_timer->set_interval(
      seconds_to_ms(leading_number(settings_.ini_read(kDisplayTime, kImage))));
  text_timer->set_interval(seconds_to_ms(leading_number(settings_.ini_read(kDisplayTime, kText))));

  // 3. The file box's attribute switches, then its pattern. A text that is no truth value leaves
  // the switch as it was.
  FileAttributes attributes = file_box->attributes();
  const std::pair<const QString*, bool*> switches[] = {{&kArchive, &attributes.archive},
                                                       {&kHidden, &attributes.hidden},
                                                       {&kReadOnly, &attributes.read_only},
                                                       {&kSystem, &attributes.system}};
  for (const auto& [key, value] : switches) {
    if (const auto truth = truth_value(settings_.ini_read(kAttributes, *key))) *value = *truth;
  }
  file_box->set_attributes(attributes);
  file_box->set_pattern(settings_.ini_read(kAttributes, kPattern));

  // 4. The file count, tested in step 12.
  const int stored_count =
      whole_number(settings_.ini_read(kFileCountSection, kFileCount)).value_or(0);

  // 5. The options dialog, hidden, with the spreadsheet choice.
  form2_ = std::make_unique<Form2>();
  connect_options_dialog();
  const QString application = settings_.ini_read(kApplicationSection, kApplication);
  for (int i = 0; i < 3; ++i) {
    if (application == kApplicationNames[i]) {
      form2_->select_option(i);
      break;
    }
  }

  // 6, 7. Title and the register and display state.
  app_title = kAppTitle;
  st.img_paused = st.txt_paused = false;
  st.img.full = st.txt.full = false;
  st.txt.full_before = st.img.full_before = false;
  st.img_found = st.txt_found = false;
  st.popup_source = PopupSource::None;
  st.search_ready = 0;
  st.img.last = st.txt.last = -1;
  st.img.cur = st.txt.cur = 0;
  st.txt.last_before = st.img.last_before = 0;
  st.notice_count = 0;
  st.txt_nav_started = st.img_nav_started = false;
  st.lotus_hit = false;

  // 8, 9. No picture fitting; both continuous-display boxes clear.
  image_pane->set_stretch(false);
  continuous_checks[0]->setChecked(false);
  continuous_checks[1]->setChecked(false);

  // 10, 11. The start-up size; both continuous-display timers off.
  set_outer_size_twips(kMinWindowHeight, kMinWindowWidth);
  image_timer->set_enabled(false);
  text_timer->set_enabled(false);

  // 12. The file count, then the registers sized from it.
  const FileCount count = file_count(QString::number(stored_count));
  if (count.out_of_range) msgbox(kFileCountMessage, MsgButtons::Ok);
  st.img.reset(count.max_index);
  st.txt.reset(count.max_index);

  // 13. Captions; the notice window and the search dialog exist hidden from here on.
  setWindowTitle(app_title);
  form3_ = std::make_unique<Form3>();
  form3_->setWindowTitle(app_title);
  form4_ = std::make_unique<Form4>();
  form4_->setWindowTitle(app_title);
  form2_->setWindowTitle(app_title);

  // 14. Colours.
  for (QLabel* label : path_labels) set_text_colour(label, QColor(192, 64, 0));
  set_text_colour(count_label, QColor(0, 0, 255));
  set_text_colour(number_box, QColor(0, 0, 255));

  // 15. Start-up geometry of the second text box and the register lists.
  const QRect rich2 = twips_geometry(result_view);
  set_twips_geometry(result_view, kSearchTextPaneLeft, kSearchTextPaneTop, rich2.width(),
                     rich2.height());
  for (QListWidget* list : {image_list, text_list}) {
    set_twips_geometry(list, kStartupListTwips.x(), kStartupListTwips.y(),
                       kStartupListTwips.width(), kStartupListTwips.height());
  }

  // 16. The commands that need a registered file.
  for (QAction* a : {img_all_clear, txt_all_clear, txt_kensaku, 文字列検索の終了, txt_file_open,
                     img_file_open, コピー, 画像のコピー, image_登録から削除, text_登録から削除,
                     image_ファイル削除, text_ファイル削除}) {
    a->setEnabled(false);
  }

  // 17. Hidden lists and search view.
  result_view->hide();
  image_list->hide();
  text_list->hide();

  // 18. The dialog's extension list.
  for (const QString& ext : st.search_exts) {
    if (!ext.isEmpty()) form2_->List1->addItem(ext);
  }

  // 19. The spreadsheet application.
  switch (form2_->selected_option()) {
    case 0:
      st.sheet_app = SheetApp::Lotus;
      break;
    case 1:
      st.sheet_app = SheetApp::Excel;
      break;
    case 2:
      st.sheet_app = SheetApp::None;
      break;
    default:
      break;
  }

  // The dialog's pattern box and its two check boxes are the stored values from the start, so
  // shutdown writes back what the file held even when the dialog was never opened, file deletion
  // is allowed from the start when the user allowed it, and a picture is fitted from the start
  // when the user chose fitting. On the first start there is no file yet: the pattern box keeps
  // its "*.*", which shutdown then stores.
  if (QFileInfo::exists(settings_.path())) {
    form2_->Text1->setText(settings_.ini_read(kAttributes, kPattern));
  }
  form2_->Check2->setChecked(leading_number(settings_.ini_read(kFitSection, kFit)) == 1.0);
  form2_->Check3->setChecked(leading_number(settings_.ini_read(kDeleteSection, kDelete)) == 1.0);
  take_dialog_options();
  image_pane->set_stretch(st.options.fit);
  st.options.keep_proportions_text = settings_.ini_read(kFitSection, kKeepProportions);
  st.options.keep_proportions = leading_number(st.options.keep_proportions_text) == 1.0;
  image_pane->set_keep_proportions(st.options.keep_proportions);

  // The folder tree and the file box start in the working folder.
  browse_to(platform_.start_folder.isEmpty() ? QDir::currentPath() : platform_.start_folder);
}

void Form1::save_settings(const QString& text_seconds, const QString& image_seconds) {
  using namespace keys;
  QList<ProfileEdit> edits;
  auto write = [&edits](const QString& section, const QString& key, const QString& value) {
    edits.append(ProfileEdit{section, key, value});
  };

  // 1. The spreadsheet choice, when one is selected.
  const int option = form2_->selected_option();
  if (option >= 0) write(kApplicationSection, kApplication, kApplicationNames[option]);

  // 2, 3. The file box's switches and the dialog's pattern.
  const FileAttributes a = file_box->attributes();
  write(kAttributes, kArchive, truth_text(a.archive));
  write(kAttributes, kHidden, truth_text(a.hidden));
  write(kAttributes, kReadOnly, truth_text(a.read_only));
  write(kAttributes, kSystem, truth_text(a.system));
  write(kAttributes, kPattern, st.options.pattern);

  // 4. The search extensions, empty slots included.
  for (int slot = 0; slot < kExtensionSlots; ++slot) {
    write(kSearchExtensions, slot_key(slot), st.search_exts[slot]);
  }

  // 5. The intervals in seconds.
  write(kDisplayTime, kText, text_seconds);
  write(kDisplayTime, kImage, image_seconds);

  // 6. Picture fitting and file deletion.
  write(kFitSection, kFit, st.options.fit ? QStringLiteral("1") : QStringLiteral("0"));
  write(kDeleteSection, kDelete,
        st.options.delete_allowed ? QStringLiteral("1") : QStringLiteral("0"));
  // Kept as the file held it; a file without the key is left without it.
  if (!st.options.keep_proportions_text.isEmpty()) {
    write(kFitSection, kKeepProportions, st.options.keep_proportions_text);
  }

  // All in one write: the file holds the old values or the new ones, never a mixture. A failure is
  // told once, with the file and why.
  const WriteResult saved = settings_.ini_write_all(edits);
  if (!saved.ok()) {
    msgbox(kSettingsNotSavedMessage + settings_.path() + QStringLiteral("\n\r") +
               error_text(saved.error),
           MsgButtons::Ok);
  }
}

void Form1::Form_Unload() {
  using namespace keys;
  if (unloaded_) return;
  unloaded_ = true;
  // 1 … 6. The settings, the intervals in seconds.
  save_settings(shortest_decimal(text_timer->interval() / 1000.0),
                shortest_decimal(image_timer->interval() / 1000.0));

  // 7. No automation objects are held between previews.
  // 8. The other windows close; then the main window.
  form2_->close();
  form3_->unload();
  form4_->close();
  close_about_box();
}

void Form1::終了_Click() {
  close();
}

void Form1::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

}  // namespace tarvex
