// The options command: the main window's side of the options dialog.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "platform/classic_timer.h"
#include "settings/conversions.h"
#include "settings/form2.h"
#include "settings/setting_keys.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>

namespace tarvex {

void Form1::connect_options_dialog() {
  Form2::Target target;
  target.attributes = [this] { return file_box->attributes(); };
  target.set_pattern = [this](const QString& pattern) { file_box->set_pattern(pattern); };
  target.set_attributes = [this](const FileAttributes& a) { file_box->set_attributes(a); };
  target.set_interval = [this](int timer, long long ms) {
    (timer == 0 ? image_timer : text_timer)->set_interval(ms);
  };
  form2_->set_target(std::move(target));
  form2_->set_settings(&settings_);
}

void Form1::take_dialog_options() {
  st.options.fit = form2_->Check2->checkState() != Qt::Unchecked;
  st.options.delete_allowed = form2_->Check3->checkState() != Qt::Unchecked;
  st.options.pattern = form2_->Text1->text();
}

void Form1::環境設定表示_Click() {
  using namespace keys;
  Form2& dialog = *form2_;

  // 1. Fill the dialog: the extensions from the window's table, the rest from the file.
  dialog.List1->clear();
  for (const QString& ext : st.search_exts) {
    if (!ext.isEmpty()) dialog.List1->addItem(ext);
  }
  dialog.fill_from(settings_, Form2::CheckReading::NumberOne);

  // 2. The user works in the dialog until OK or Cancel (or its close button, which cancels).
  dialog.exec();

  // What the dialog was left with, OK or Cancel, is what the window goes by from now on.
  take_dialog_options();

  // 3. The extensions back into the table, slot by slot.
  for (int slot = 0; slot < kExtensionSlots; ++slot) {
    st.search_exts[slot] =
        slot < dialog.List1->count() ? dialog.List1->item(slot)->text() : QString();
  }

  // 4. The settings, in this order, in one write.
  const int option = dialog.selected_option();
  save_settings(shortest_decimal(leading_number(dialog.Text2[1]->text())),
                shortest_decimal(leading_number(dialog.Text2[0]->text())));

  // 5. Picture fitting.
  apply_fit_option();

  // 6. The spreadsheet application; unchanged while no choice is selected.
  if (option >= 0) {
    st.sheet_app = option == 0 ? SheetApp::Lotus : option == 1 ? SheetApp::Excel : SheetApp::None;
  }

  // 7. The delete-file commands follow the permission and whether their register holds a file.
  if (st.options.delete_allowed) {
    image_ファイル削除->setEnabled(!st.img.empty());
    text_ファイル削除->setEnabled(!st.txt.empty());
  } else {
    text_ファイル削除->setEnabled(false);
    image_ファイル削除->setEnabled(false);
  }
}

}  // namespace tarvex
