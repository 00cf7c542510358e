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
#include <QLabel>
#include <QListWidget>

namespace tarvex {

void Form1::Image1_MouseUp(Qt::MouseButton button, const QPoint& global_pos) {
  if (button != Qt::RightButton) return;
  if (labels_show_icon_or_cursor()) {
    画像のコピー->setEnabled(false);
    img_file_open->setEnabled(false);
  } else {
    画像のコピー->setEnabled(!st.img.empty());
    img_file_open->setEnabled(!st.img.empty());
  }
  image_ファイル削除->setEnabled(!st.img.empty() && st.options.delete_allowed);
  st.popup_source = PopupSource::Pane;
  popup_menu(image_menu, global_pos);
}

// The clipboard gets the whole picture at its own size, not the pane's fitted decode.
void Form1::画像のコピー_Click() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  const QImage whole = image_pane->whole_picture();
  if (!whole.isNull()) clipboard->setImage(whole);
}

// Choosing the command toggles its check mark (the menu item is checkable); the layout then
// follows the new state.
void Form1::最大画面表示_Click() {
  window_layout();
}

void Form1::apply_fit_option() {
  image_pane->set_stretch(st.options.fit);
  window_layout();
}

void Form1::reload_current_picture() {
  const QString current = st.img.path(st.img.cur);
  if (current.isEmpty()) {
    image_pane->clear_picture();
  } else {
    // A picture that cannot be loaded leaves the previous one.
    image_pane->load_picture(current);
  }
}

bool Form1::maximised_display_possible() const {
  // A picture that keeps its proportions is shown whole in the maximised display too, so there
  // the display is not only for the unstretched picture.
  return isMaximized() && (!image_pane->stretch() || image_pane->keep_proportions()) &&
         !image_pane->isHidden();
}

void Form1::最大画面の再描画() {
  if (maximised_display_possible()) {
    reload_current_picture();
    if (最大画面表示->isChecked()) {
      const QSize pane = twips_geometry(image_pane).size();
      const QRect g =
          image_pane->keep_proportions()
              ? maximised_kept_image_geometry(pane, outer_size_twips(), image_pane->stretch())
              : maximised_image_geometry(pane);
      set_twips_geometry(image_pane, g.x(), g.y(), g.width(), g.height());
      // The keys go on reaching the picture when the control that had them is hidden here.
      QWidget* focused = focusWidget();
      for (QWidget* hidden : std::initializer_list<QWidget*>{folder_tree, file_box, image_list}) {
        if (focused && hidden->isAncestorOf(focused)) image_pane->setFocus();
      }
      folder_tree->hide();
      file_box->hide();
      image_list->hide();
      登録ファイル名表示->setChecked(false);
      登録ファイル名表示->setEnabled(false);
    } else {
      folder_tree->show();
      file_box->show();
      登録ファイル名表示->setEnabled(true);
    }
    return;
  }
  if (st.search_mode) {
    folder_tree->hide();
    file_box->hide();
    const QRect t = twips_geometry(text_pane);
    set_twips_geometry(text_pane, kSearchTextPaneLeft, kSearchTextPaneTop, t.width(), t.height());
  } else {
    folder_tree->show();
    file_box->show();
  }
  const QRect g = normal_image_geometry(twips_geometry(image_pane).size());
  set_twips_geometry(image_pane, g.x(), g.y(), g.width(), g.height());
}

}  // namespace tarvex
