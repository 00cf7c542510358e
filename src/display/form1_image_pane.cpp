// The image pane's own events: the pop-up menu, copying the picture, picture fitting and the
// maximised picture display.

#include "app/layout.h"
#include "app/main_window.h"
#include "browse/file_box.h"
#include "browse/folder_tree.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/widget_twips.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>

namespace tarvex {

void Form1::Image1_MouseUp(Qt::MouseButton button, const QPoint& global_pos) {
  if (button != Qt::RightButton) return;
  const RegisterSide images = side(true);
  SideView::Commands& c = images.view.commands;
  c.copy = c.open = !labels_show_icon_or_cursor() && !st.img.empty();
  c.delete_file = !st.img.empty() && st.options.delete_allowed;
  sync_side(images);
  st.popup_source = PopupSource::Pane;
  popup_menu(hyouji, global_pos);
}

// The clipboard gets the whole picture at its own size, not the pane's fitted decode.
void Form1::画像のコピー_Click() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  const QImage whole = Image1->whole_picture();
  if (!whole.isNull()) clipboard->setImage(whole);
}

// Choosing the command toggles its check mark (the menu item is checkable): the window takes the
// user's choice from it, and the layout then follows the new state.
void Form1::最大画面表示_Click() {
  st.maximised_display = 最大画面表示->isChecked();
  window_layout();
}

void Form1::apply_fit_option() {
  Image1->set_stretch(st.options.fit);
  window_layout();
}

void Form1::reload_current_picture() {
  const QString current = st.img.path(st.img.cur);
  if (current.isEmpty()) {
    Image1->clear_picture();
  } else {
    // A picture that cannot be loaded leaves the previous one.
    Image1->load_picture(current);
  }
}

bool Form1::maximised_display_possible() const {
  // A picture that keeps its proportions is shown whole in the maximised display too, so there
  // the display is not only for the unstretched picture.
  return isMaximized() && (!Image1->stretch() || Image1->keep_proportions()) && st.img_view.pane;
}

void Form1::最大画面の再描画() {
  if (maximised_display_possible()) {
    reload_current_picture();
    if (st.maximised_display) {
      const QSize pane = twips_geometry(Image1).size();
      const QRect g = Image1->keep_proportions() ? maximised_kept_image_geometry(
                                                       pane, outer_size_twips(), Image1->stretch())
                                                 : maximised_image_geometry(pane);
      set_twips_geometry(Image1, g.x(), g.y(), g.width(), g.height());
      // The keys go on reaching the picture when the control that had them is hidden here.
      QWidget* focused = focusWidget();
      for (QWidget* hidden : std::initializer_list<QWidget*>{SHTree1, File1, Img_List}) {
        if (focused && hidden->isAncestorOf(focused)) Image1->setFocus();
      }
      SHTree1->hide();
      File1->hide();
      const RegisterSide images = side(true);
      images.view.list = false;
      sync_side(images);
      st.list_display = false;
      登録ファイル名表示->setChecked(false);
      登録ファイル名表示->setEnabled(false);
    } else {
      SHTree1->show();
      File1->show();
      登録ファイル名表示->setEnabled(true);
    }
    return;
  }
  if (st.search_mode) {
    SHTree1->hide();
    File1->hide();
    const QRect t = twips_geometry(RichTextBox1);
    set_twips_geometry(RichTextBox1, kSearchTextPaneLeft, kSearchTextPaneTop, t.width(),
                       t.height());
  } else {
    SHTree1->show();
    File1->show();
  }
  const QRect g = normal_image_geometry(twips_geometry(Image1).size());
  set_twips_geometry(Image1, g.x(), g.y(), g.width(), g.height());
}

}  // namespace tarvex
