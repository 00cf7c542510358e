// The display dispatcher: a file from outside the registers is registered and shown.

#include "app/layout.h"
#include "app/main_window.h"
#include "display/classify.h"
#include "display/display_messages.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/widget_twips.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tarvex {

void Form1::ファイルの表示(const QString& source, DisplayTarget target) {
  if (is_image_path(source, st.image_exts)) {
    Register& r = st.img;
    r.register_path(source, true);
    if (!Image1->load_picture(r.path(r.last))) {
      // The register is put back before the message: the slideshow must not meet the unshown
      // entry while the message is open.
      r.undo_registration();
      msgbox(kNoSuchFileMessage, MsgButtons::Ok);
      return;
    }
    Img_File_List();
    r.cur = r.last;
    enable_entry_commands(side(true));
    Text1->setText(display_number(r.last));
    Label6->setText(count_label(r.top_index()));
    ラベル表示(r.path(r.last));
    画像のコピー->setEnabled(!labels_show_icon_or_cursor());
    if (!r.empty()) {
      Command2[0]->show();
      Command2[1]->show();
    }
    // Keep the picture inside the window.
    const QRect g = twips_geometry(Image1);
    const QSize limited = limit_image_pane(g.size(), outer_size_twips());
    set_twips_geometry(Image1, g.x(), g.y(), limited.width(), limited.height());
    if (target == DisplayTarget::ShowPane) {
      RichTextBox1->hide();
      Image1->show();
    }
    return;
  }

  Register& r = st.txt;
  st.lotus_hit = false;
  r.register_path(source, true);
  switch (st.sheet_app) {
    case SheetApp::Lotus:
      if (Lotus123で表示(SheetEntry::Newest) == SheetResult::NotShown) return;
      break;
    case SheetApp::Excel:
      if (Excelで表示(SheetEntry::Newest) == SheetResult::NotShown) return;
      break;
    case SheetApp::None:
      if (!load_entry(side(false), r.path(r.last))) {
        r.cur = r.last;
        nothing_txt_file();
        return;
      }
      break;
  }
  r.cur = r.last;
  Txt_file_list();
  enable_entry_commands(side(false));
  Text1->setText(display_number(r.last));
  Label6->setText(count_label(r.top_index()));
  ラベル表示(r.path(r.last));
  RichTextBox1->focus();
  if (!r.empty()) {
    Command3[0]->show();
    Command3[1]->show();
  }
  if (target == DisplayTarget::ShowPane) {
    RichTextBox1->show();
    Image1->hide();
  }
}

// Deleting is enabled only when allowed, and otherwise left as it was.
void Form1::enable_entry_commands(const RegisterSide& s) {
  for (QAction* a : s.entry_commands()) a->setEnabled(true);
  if (st.options.delete_allowed) s.delete_file->setEnabled(true);
}

bool Form1::labels_show_icon_or_cursor() const {
  return std::any_of(Label4.begin(), Label4.end(),
                     [](const QLabel* l) { return is_icon_or_cursor(l->text()); });
}

void Form1::ラベル表示(const QString& full_path) {
  for (QLabel* label : Label4) label->clear();
  const LabelPieces pieces = split_label_path(full_path);
  Label4[0]->setText(pieces.first);
  Label4[1]->setText(pieces.second);
  Label4[2]->setText(pieces.third);
}

}  // namespace tarvex
