// Selecting entries: the register lists, the number box, showing or hiding the lists, and the
// missing-file prompt.

#include "app/main_window.h"
#include "browse/file_box.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "pictures/picture_prefetch.h"
#include "platform/classic_timer.h"
#include "platform/event_tap.h"
#include "registers/entry_number.h"

#include <QAction>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>

namespace tarvex {

namespace {

// The missing-file question after the entry's path; one ordinary space follows "！".
const QString kMissingFileQuestion = QStringLiteral("が見つかりません！ 登録から削除しますか？");

// The key codes the lists react to: Up and Down.
constexpr int kKeyUp = 38;
constexpr int kKeyDown = 40;
constexpr int kEnterAscii = 13;

int list_key_code(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Up:
      return kKeyUp;
    case Qt::Key_Down:
      return kKeyDown;
    default:
      return 0;
  }
}

// Focus that comes and goes with the whole window (another window, a message box, a menu) is
// not the user moving between the window's controls.
bool window_focus_change(const QEvent* event) {
  const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
  return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

}  // namespace

void Form1::connect_selection_events() {
  const std::pair<QListWidget*, bool> lists[] = {{image_list, true}, {text_list, false}};
  for (const auto& [list, image] : lists) {
    // Mouse events of a list arrive at its viewport, keys at the list itself.
    EventTap::install(list->viewport(), [this, image](QEvent* e) {
      if (e->type() == QEvent::MouseButtonRelease) {
        const Qt::MouseButton b = static_cast<QMouseEvent*>(e)->button();
        image ? Img_List_MouseUp(b) : Txt_List_MouseUp(b);
      }
      return false;
    });
    EventTap::install(list, [this, image](QEvent* e) {
      if (e->type() == QEvent::KeyRelease) {
        const auto* k = static_cast<QKeyEvent*>(e);
        // A held key repeats its presses; its release counts once.
        if (!k->isAutoRepeat())
          image ? Img_List_KeyUp(list_key_code(k->key())) : Txt_List_KeyUp(list_key_code(k->key()));
      }
      return false;
    });
  }
  EventTap::install(number_box, [this](QEvent* e) {
    switch (e->type()) {
      case QEvent::FocusIn:
        if (!window_focus_change(e)) Text1_GotFocus();
        break;
      case QEvent::FocusOut:
        if (!window_focus_change(e)) Text1_LostFocus();
        break;
      case QEvent::MouseButtonPress:
        Text1_MouseDown();
        break;
      case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) Text1_KeyPress(kEnterAscii);
        break;
      }
      default:
        break;
    }
    return false;
  });
  connect(登録ファイル名表示, &QAction::triggered, this, [this] { 登録ファイル名表示_Click(); });
}

void Form1::Img_List_MouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) select_from_list(true, selected_line(image_list));
}

void Form1::Txt_List_MouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) select_from_list(false, selected_line(text_list));
}

void Form1::Img_List_KeyUp(int key_code) {
  if (key_code == kKeyUp || key_code == kKeyDown) select_from_list(true, selected_line(image_list));
}

void Form1::Txt_List_KeyUp(int key_code) {
  if (key_code == kKeyUp || key_code == kKeyDown) select_from_list(false, selected_line(text_list));
}

// The chosen line is the entry's number. A file that cannot be loaded leaves the pane as it was,
// without a message; the labels and the number box follow the choice all the same.
void Form1::select_from_list(bool image, int selected) {
  if (selected < 0) return;
  const RegisterSide s = side(image);
  s.reg.cur = selected;
  show_entry(s, selected, EntryMarks::Number);
}

bool Form1::load_entry(const RegisterSide& side, const QString& path) {
  if (!side.image) {
    // Whatever the text pane shows from now on, a workbook still being read is no longer wanted.
    take_sheet_ticket();
    return text_pane->load_file(path);
  }
  if (path.isEmpty()) return false;
  if (std::optional<DecodedPicture> p = prefetch_->take(path, image_pane->wanted_decode_size())) {
    image_pane->show_decoded(p->path, p->picture, p->decode_size, p->stamp.bytes,
                             p->stamp.modified_ms);
    return true;
  }
  return image_pane->load_picture(path);
}

bool Form1::show_entry(const RegisterSide& side, int i, EntryMarks marks) {
  const QString path = side.reg.path(i);
  number_box->setText(display_number(i));
  if (marks == EntryMarks::All) count_label->setText(count_text(side.reg.last));
  ラベル表示(path);
  const bool listed = marks == EntryMarks::Number || select_line(side.list, i);
  return load_entry(side, path) && listed;
}

void Form1::blank_pane(const RegisterSide& side) {
  if (side.image) {
    image_pane->clear_picture();
  } else {
    take_sheet_ticket();
    text_pane->set_text(QString());
  }
}

void Form1::Text1_GotFocus() {
  if (count_label->text().isEmpty()) return;
  if (continuous_checks[0]->isChecked()) {
    continuous_checks[0]->setChecked(false);
    image_timer->set_enabled(false);
  } else if (continuous_checks[1]->isChecked()) {
    continuous_checks[1]->setChecked(false);
    text_timer->set_enabled(false);
  }
  number_box->setText(bare_entry_number(number_box->text()));
}

void Form1::Text1_MouseDown() {
  if (!count_label->text().isEmpty()) number_box->setText(bare_entry_number(number_box->text()));
}

void Form1::Text1_KeyPress(int key_ascii) {
  if (key_ascii == kEnterAscii) number_box_go(true);
}

void Form1::Text1_LostFocus() {
  number_box_go(false);
}

// Goes to the typed entry of the register on display. A number outside the register, and a text
// that is no number at all, put the current number back and leave the register alone.
void Form1::number_box_go(bool on_enter) {
  if (count_label->text().isEmpty()) {
    number_box->clear();
    return;
  }
  bool image = false;
  if (on_display(side(true))) {
    image = true;
  } else if (!on_display(side(false))) {
    return;
  }
  const RegisterSide s = side(image);
  Register& r = s.reg;
  const std::optional<int> n = typed_entry_number(number_box->text());
  if (n && *n >= 0 && *n <= r.top_index()) {
    r.cur = *n;
    show_entry(s, *n, on_enter ? EntryMarks::NumberAndLine : EntryMarks::Number);
    return;
  }
  // A removal may have left no current entry: then there is no number to put back.
  number_box->setText(r.cur >= 0 ? display_number(r.cur) : QString());
  if (on_enter) s.list->setCurrentRow(r.cur);
}

// The menu item is checkable: the menu has already set or removed the mark when this runs.
void Form1::登録ファイル名表示_Click() {
  if (!登録ファイル名表示->isChecked()) {
    image_list->hide();
    text_list->hide();
    return;
  }
  if (!st.txt.empty() && !on_display(side(true))) {
    text_list->show();
    if (selected_line(text_list) < 0) Command3_Click(1);
  } else {
    image_list->show();
    if (selected_line(image_list) < 0) Command2_Click(1);
  }
}

void Form1::nothing_img_file() {
  missing_file_prompt(side(true));
}

void Form1::nothing_txt_file() {
  missing_file_prompt(side(false));
}

// Yes removes the current entry, No blanks the pane; either way the file box shows the folder as
// it is now.
void Form1::missing_file_prompt(const RegisterSide& s) {
  st.msg_answer = msgbox(s.reg.path(s.reg.cur) + kMissingFileQuestion, MsgButtons::YesNo);
  if (st.msg_answer != kAnswerNo) {
    remove_entry(s);
  } else {
    blank_pane(s);
  }
  file_box->refresh();
}

}  // namespace tarvex
