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

int Form1::ファイルの表示(const QString& source, int target) {
  if (is_image_path(source, st.image_exts)) {
    Register& r = st.img;
    r.register_path(source, true);
    if (!image_pane->load_picture(r.path(r.last))) {
      // The register is put back before the message: the slideshow must not meet the unshown
      // entry while the message is open.
      r.undo_registration();
      msgbox(kNoSuchFileMessage, MsgButtons::Ok);
      return 0;
    }
    Img_File_List();
    r.cur = r.last;
    enable_entry_commands(side(true));
    number_box->setText(display_number(r.last));
    count_label->setText(count_text(r.top_index()));
    ラベル表示(r.path(r.last));
    画像のコピー->setEnabled(!labels_show_icon_or_cursor());
    if (!r.empty()) {
      image_arrows[0]->show();
      image_arrows[1]->show();
    }
    // Keep the picture inside the window.
    const QRect g = twips_geometry(image_pane);
    const QSize limited = limit_image_pane(g.size(), outer_size_twips());
    set_twips_geometry(image_pane, g.x(), g.y(), limited.width(), limited.height());
    if (target == 1) {
      text_pane->hide();
      image_pane->show();
    }
    return 0;
  }

  Register& r = st.txt;
  st.lotus_hit = false;
  r.register_path(source, true);
  switch (st.sheet_app) {
    case SheetApp::Lotus:
      st.msg_answer = Lotus123で表示(0);
      if (st.msg_answer == 1) return 0;
      break;
    case SheetApp::Excel:
      st.msg_answer = Excelで表示(0);
      if (st.msg_answer == 1) return 0;
      break;
    case SheetApp::None:
      if (!load_entry(side(false), r.path(r.last))) {
        r.cur = r.last;
        nothing_txt_file();
        return 0;
      }
      break;
  }
  r.cur = r.last;
  Txt_file_list();
  enable_entry_commands(side(false));
  number_box->setText(display_number(r.last));
  count_label->setText(count_text(r.top_index()));
  ラベル表示(r.path(r.last));
  text_pane->focus();
  if (!r.empty()) {
    text_arrows[0]->show();
    text_arrows[1]->show();
  }
  if (target == 1) {
    text_pane->show();
    image_pane->hide();
  }
  return 0;
}

// Deleting is enabled only when allowed, and otherwise left as it was.
void Form1::enable_entry_commands(const RegisterSide& s) {
  for (QAction* a : s.entry_commands()) a->setEnabled(true);
  if (st.options.delete_allowed) s.delete_file->setEnabled(true);
}

bool Form1::labels_show_icon_or_cursor() const {
  return std::any_of(path_labels.begin(), path_labels.end(),
                     [](const QLabel* l) { return is_icon_or_cursor(l->text()); });
}

int Form1::ラベル表示(const QString& full_path) {
  for (QLabel* label : path_labels) label->clear();
  const LabelPieces pieces = split_label_path(full_path);
  path_labels[0]->setText(pieces.first);
  path_labels[1]->setText(pieces.second);
  path_labels[2]->setText(pieces.third);
  return 0;
}

}  // namespace tarvex
