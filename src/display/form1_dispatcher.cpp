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
    if (!image_pane->load_picture(r.path(r.last))) {
      // The register is put back before the message: the slideshow must not meet the unshown
      // entry while the message is open.
      r.undo_registration();
      msgbox(kNoSuchFileMessage, MsgButtons::Ok);
      return;
    }
    Img_File_List();
    r.cur = r.last;
    enable_entry_commands(side(true));
    number_box->setText(display_number(r.last));
    show_count(r.top_index());
    ラベル表示(r.path(r.last));
    const RegisterSide s = side(true);
    s.view.commands.copy = !labels_show_icon_or_cursor();
    if (!r.empty()) s.view.arrows = true;
    sync_side(s);
    // Keep the picture inside the window.
    const QRect g = twips_geometry(image_pane);
    const QSize limited = limit_image_pane(g.size(), outer_size_twips());
    set_twips_geometry(image_pane, g.x(), g.y(), limited.width(), limited.height());
    if (target == DisplayTarget::ShowPane) {
      const RegisterSide other = side(false);
      other.view.pane = false;
      s.view.pane = true;
      sync_side(other);
      sync_side(s);
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
  number_box->setText(display_number(r.last));
  show_count(r.top_index());
  ラベル表示(r.path(r.last));
  text_pane->focus();
  const RegisterSide s = side(false);
  if (!r.empty()) s.view.arrows = true;
  sync_side(s);
  if (target == DisplayTarget::ShowPane) {
    const RegisterSide other = side(true);
    s.view.pane = true;
    other.view.pane = false;
    sync_side(s);
    sync_side(other);
  }
}

// Deleting is enabled only when allowed, and otherwise left as it was.
void Form1::enable_entry_commands(const RegisterSide& s) {
  SideView::Commands& c = s.view.commands;
  c.clear_all = c.search = c.open = c.remove = true;
  if (st.options.delete_allowed) c.delete_file = true;
  sync_side(s);
}

bool Form1::labels_show_icon_or_cursor() const {
  const LabelPieces pieces = split_label_path(st.shown_path);
  return is_icon_or_cursor(pieces.first) || is_icon_or_cursor(pieces.second) ||
         is_icon_or_cursor(pieces.third);
}

// The path is kept whole; the labels only show it, cut where it fits.
void Form1::ラベル表示(const QString& full_path) {
  for (QLabel* label : path_labels) label->clear();
  st.shown_path = full_path;
  const LabelPieces pieces = split_label_path(full_path);
  path_labels[0]->setText(pieces.first);
  path_labels[1]->setText(pieces.second);
  path_labels[2]->setText(pieces.third);
}

void Form1::show_count(int top) {
  st.counted = true;
  count_label->setText(count_text(top));
}

void Form1::clear_entry_marks() {
  number_box->clear();
  st.counted = false;
  count_label->clear();
  st.shown_path.clear();
  for (QLabel* label : path_labels) label->clear();
}

}  // namespace tarvex
