// Continuous display and navigation: the mode switch, the pause buttons, the arrow buttons, the
// two slideshow timers, their keyboard shortcuts, and the keys of the image pane.

#include "app/layout.h"
#include "app/main_window.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "pictures/picture_prefetch.h"
#include "platform/classic_timer.h"
#include "platform/event_tap.h"
#include "platform/widget_twips.h"
#include "slideshow/step_rule.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tarvex {

namespace {

const QString kRunning = QStringLiteral("□");
const QString kPaused = QStringLiteral("■");

}  // namespace

void Form1::connect_navigation_events() {
  prefetch_ = std::make_unique<PicturePrefetch>();
  for (int i = 0; i < 2; ++i) {
    // A check box changed by a program step runs the mode switch at once, nested, as a click
    // does: `toggled` fires for both, `clicked` only for the user.
    connect(continuous_checks[i], &QCheckBox::toggled, this, [this, i] { Check1_Click(i); });
    connect(pause_buttons[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    connect(image_arrows[i], &QPushButton::clicked, this, [this, i] { Command2_Click(i); });
    connect(text_arrows[i], &QPushButton::clicked, this, [this, i] { Command3_Click(i); });
  }
  image_timer->set_handler([this] { 連続画像_Timer(); });
  text_timer->set_handler([this] { 連続テキスト_Timer(); });

  // The keys act as the buttons of the register on display would, and only while those buttons
  // are there to be clicked. Alt with the arrows and Alt+S are keys no control of the window uses.
  auto key = [this](const QString& name, const QList<QKeySequence>& keys) {
    auto* a = new QAction(this);
    a->setObjectName(name);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
    return a;
  };
  previous_entry_key =
      key(QStringLiteral("previous_entry_key"), {QKeySequence(Qt::ALT | Qt::Key_Left)});
  next_entry_key = key(QStringLiteral("next_entry_key"), {QKeySequence(Qt::ALT | Qt::Key_Right)});
  pause_key = key(QStringLiteral("pause_key"),
                  {QKeySequence(Qt::ALT | Qt::Key_S), QKeySequence(Qt::Key_Pause)});
  for (int index = 0; index < 2; ++index) {
    connect(index == 0 ? previous_entry_key : next_entry_key, &QAction::triggered, this,
            [this, index] {
              if (on_display(side(true)) && !image_arrows[index]->isHidden()) {
                Command2_Click(index);
              } else if (on_display(side(false)) && !text_arrows[index]->isHidden()) {
                Command3_Click(index);
              }
            });
  }
  connect(pause_key, &QAction::triggered, this, [this] {
    for (int index = 0; index < 2; ++index) {
      if (continuous_checks[index]->isChecked() && !pause_buttons[index]->isHidden())
        Command1_Click(index);
    }
  });

  // The picture and its arrow buttons answer the keys of a picture viewer. The keys reach them
  // before the buttons' own handling: Space on a focused arrow button pauses a running display
  // instead of clicking the button (which would stop it).
  for (QWidget* w : std::initializer_list<QWidget*>{image_pane, image_arrows[0], image_arrows[1]}) {
    EventTap::install(w, [this](QEvent* event) {
      if (event->type() != QEvent::KeyPress) return false;
      const auto* pressed = static_cast<QKeyEvent*>(event);
      return Image1_KeyDown(pressed->key(), pressed->modifiers(), pressed->isAutoRepeat());
    });
  }
}

bool Form1::Image1_KeyDown(int key_code, Qt::KeyboardModifiers modifiers, bool repeated) {
  if (image_pane->isHidden() || (modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  switch (key_code) {
    case Qt::Key_Left:
    case Qt::Key_PageUp:
    case Qt::Key_Right:
    case Qt::Key_PageDown: {
      const int index = key_code == Qt::Key_Left || key_code == Qt::Key_PageUp ? 0 : 1;
      // As the button would: not while it is not there to be clicked.
      if (image_arrows[index]->isHidden()) return false;
      Command2_Click(index);
      return true;
    }
    case Qt::Key_Space:
      if (!continuous_checks[0]->isChecked() || pause_buttons[0]->isHidden()) return false;
      // A held key pauses or resumes once.
      if (!repeated) Command1_Click(0);
      return true;
    case Qt::Key_Escape:
      if (!最大画面表示->isChecked() || !maximised_display_possible()) return false;
      最大画面表示->trigger();
      return true;
    default:
      return false;
  }
}

// The mode switch. Unchecking a box from here runs this switch again at once, nested, and this
// run then goes on with its own remaining steps.
void Form1::Check1_Click(int index) {
  if (index == 0 && continuous_checks[0]->isChecked() && continuous_checks[1]->isChecked()) {
    continuous_checks[1]->setChecked(false);
    text_timer->set_enabled(false);
  }
  if (index == 1 && continuous_checks[0]->isChecked() && continuous_checks[1]->isChecked()) {
    continuous_checks[0]->setChecked(false);
    image_timer->set_enabled(false);
  }
  if (continuous_checks[0]->isChecked() && st.img.empty()) {
    continuous_checks[0]->setChecked(false);
    return;
  }
  if (continuous_checks[1]->isChecked() && st.txt.empty()) {
    continuous_checks[1]->setChecked(false);
    return;
  }
  if (!continuous_checks[0]->isChecked() && !continuous_checks[1]->isChecked()) {
    // Manual mode.
    image_timer->set_enabled(false);
    text_timer->set_enabled(false);
    pause_buttons[0]->hide();
    pause_buttons[1]->hide();
    if (!st.img.empty()) {
      image_arrows[0]->show();
      image_arrows[1]->show();
    }
    if (!st.txt.empty()) {
      text_arrows[0]->show();
      text_arrows[1]->show();
    }
    return;
  }
  // Images run, or texts.
  start_running(side(continuous_checks[0]->isChecked()));
}

// A display starts with its pane blank: the first entry comes with the first tick.
void Form1::start_running(const RegisterSide& s) {
  const RegisterSide other = side(!s.image);
  other.pause->hide();
  s.pause->show();
  for (QPushButton* arrow : other.arrows) arrow->hide();
  for (QPushButton* arrow : s.arrows) arrow->show();
  other.pane->hide();
  s.pane->show();
  show_pause_state(s.index(), false);
  s.paused = false;
  blank_pane(s);
  // Only the picture has a place of its own in the maximised display.
  if (s.image) 最大画面の再描画();
  other.timer->set_enabled(false);
  s.timer->set_enabled(true);
  if (登録ファイル名表示->isChecked()) {
    other.list->hide();
    s.list->show();
  }
  if (s.image) prefetch_next_picture();
}

void Form1::Command1_Click(int index) {
  const bool image = index == 0;
  if ((image ? st.img : st.txt).empty()) return;
  bool& paused = image ? st.img_paused : st.txt_paused;
  ClassicTimer* timer = image ? image_timer : text_timer;
  if (!paused) {
    timer->set_enabled(false);
    show_pause_state(index, true);
    paused = true;
  } else {
    timer->set_enabled(true);
    show_pause_state(index, false);
    paused = false;
    if (image) prefetch_next_picture();
  }
}

void Form1::Command2_Click(int index) {
  // A step waits while a message box is open: the entry it asks about must stay current.
  if (message_open()) return;
  Register& r = st.img;
  if (r.empty()) return;
  image_pane->show();
  text_timer->set_enabled(false);
  text_pane->hide();
  if (登録ファイル名表示->isChecked()) {
    image_list->show();
    text_list->hide();
  }
  if (continuous_checks[0]->isChecked()) {
    // The click only stops the running display.
    continuous_checks[0]->setChecked(false);
    image_timer->set_enabled(false);
    pause_buttons[0]->hide();
    image_pane->show();
    text_pane->hide();
    return;
  }
  widen_full_register(r);
  step_register(r, st.img_nav_started,
                index == 0 ? StepDirection::Backward : StepDirection::Forward);
  最大画面の再描画();
  if (!show_entry(side(true), r.cur, EntryMarks::All)) {
    nothing_img_file();
    return;
  }
  clamp_image_to_window();
  画像のコピー->setEnabled(!labels_show_icon_or_cursor());
}

void Form1::Command3_Click(int index) {
  if (message_open()) return;
  Register& r = st.txt;
  if (r.empty()) return;
  image_pane->hide();
  text_pane->show();
  image_timer->set_enabled(false);
  if (登録ファイル名表示->isChecked()) {
    image_list->hide();
    text_list->show();
  }
  最大画面の再描画();
  if (continuous_checks[1]->isChecked()) {
    continuous_checks[1]->setChecked(false);
    text_timer->set_enabled(false);
    pause_buttons[1]->hide();
    image_pane->hide();
    text_pane->show();
    return;
  }
  widen_full_register(r);
  step_register(r, st.txt_nav_started,
                index == 0 ? StepDirection::Backward : StepDirection::Forward);
  switch (st.sheet_app) {
    case SheetApp::Lotus:
      st.msg_answer = Lotus123で表示(1);
      if (st.msg_answer == 1) return;
      break;
    case SheetApp::Excel:
      st.msg_answer = Excelで表示(1);
      if (st.msg_answer == 1) return;
      break;
    case SheetApp::None:
      if (!load_entry(side(false), r.path(r.cur))) {
        nothing_txt_file();
        return;
      }
      break;
  }
  number_box->setText(display_number(r.cur));
  count_label->setText(count_text(r.last));
  ラベル表示(r.path(r.cur));
  select_line(text_list, r.cur);
  text_pane->focus();
}

void Form1::連続画像_Timer() {
  // Under an open message box the display waits and goes on after the answer.
  if (message_open()) return;
  Register& r = st.img;
  widen_full_register(r);
  if (r.path(r.cur).isEmpty() || r.cur > r.max_index) {
    image_timer->set_enabled(false);
    continuous_checks[0]->setChecked(false);
    pause_buttons[0]->hide();
    return;
  }
  image_pane->show();
  step_register(r, st.img_nav_started, StepDirection::Forward);
  if (!show_entry(side(true), r.cur, EntryMarks::All)) {
    nothing_img_file();
    return;
  }
  clamp_image_to_window();
  prefetch_next_picture();
}

void Form1::連続テキスト_Timer() {
  if (message_open()) return;
  Register& r = st.txt;
  widen_full_register(r);
  // A register emptied while its display runs stops the display, as an empty picture slot does:
  // there is no file to ask about.
  if (r.cur > r.max_index || r.empty()) {
    text_timer->set_enabled(false);
    continuous_checks[1]->setChecked(false);
    pause_buttons[1]->hide();
    return;
  }
  text_pane->show();
  step_register(r, st.txt_nav_started, StepDirection::Forward);
  // Unlike a picture's, a text's numbers and labels follow only once it is loaded.
  const bool listed = select_line(text_list, r.cur);
  if (!load_entry(side(false), r.path(r.cur)) || !listed) {
    nothing_txt_file();
    return;
  }
  number_box->setText(display_number(r.cur));
  count_label->setText(count_text(r.last));
  ラベル表示(r.path(r.cur));
}

// The pause button's caption shows the display's state; a screen reader hears it in words.
void Form1::show_pause_state(int index, bool paused) {
  pause_buttons[index]->setText(paused ? kPaused : kRunning);
  pause_buttons[index]->setAccessibleDescription(paused ? QStringLiteral("一時停止中")
                                                        : QStringLiteral("連続表示中"));
}

void Form1::clamp_image_to_window() {
  if (isMaximized() || image_pane->stretch()) return;
  const QRect g = twips_geometry(image_pane);
  const QSize limited = limit_image_pane(g.size(), outer_size_twips());
  if (limited != g.size())
    set_twips_geometry(image_pane, g.x(), g.y(), limited.width(), limited.height());
}

// While images run, the picture of the entry the next tick shows is decoded ahead.
void Form1::prefetch_next_picture() {
  if (!prefetch_enabled || !continuous_checks[0]->isChecked() || !image_timer->enabled()) return;
  Register probe = st.img;
  widen_full_register(probe);
  const QString next = probe.path(next_forward_entry(probe, st.img_nav_started));
  if (next.isEmpty()) return;
  prefetch_->prepare(next, image_pane->wanted_decode_size());
}

}  // namespace tarvex
