// The text pane's own events: mouse-up with its pop-up menu, copying, the search view's focus.

#include "app/main_window.h"
#include "display/text_pane.h"
#include "search/form4.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>

namespace tarvex {

void Form1::RichTextBox1_MouseUp(Qt::MouseButton button, const QPoint& global_pos) {
  // The search dialog's box takes no more of it than its length allows; the rest of a long
  // selection is not read.
  st.sel_text = text_pane->selected_text(form4()->Text1->maxLength());
  コピー->setEnabled(!st.sel_text.isEmpty());
  if (button == Qt::RightButton) {
    st.popup_source = PopupSource::Pane;
    popup_menu(text_menu, global_pos);
  }
  st.sel_text.clear();
}

void Form1::コピー_Click() {
  text_to_clipboard();
}

void Form1::text_to_clipboard() {
  // The control that has the focus copies its own selection. A menu-bar command leaves the focus
  // where it was; after the pane's pop-up menu it is back in the pane.
  if (result_view->focused()) {
    result_view->copy_selection();
  } else if (auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
    line->copy();
  } else {
    text_pane->copy_selection();
  }
}

void Form1::text_copy_refused() {
  msgbox(QStringLiteral("選択範囲が大きすぎるため、コピーできません。\n\r"
                        "選択範囲を小さくしてからコピーしてください。"),
         MsgButtons::Ok);
}

void Form1::RichTextBox2_GotFocus() {
  if (st.hit_pos >= 2) result_view->select(st.hit_pos - 2, st.hit_len);
}

void Form1::pane_file_box_drop() {
  if (!file_box_selection_readable()) return;
  ファイルの表示(file_box_selected_path(), 1);
}

void Form1::pane_files_drop(const QStringList& paths) {
  if (!paths.isEmpty()) ファイルの表示(paths.front(), 2);
}

}  // namespace tarvex
