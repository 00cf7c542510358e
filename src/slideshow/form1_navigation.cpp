// Continuous display and navigation: the mode switch, the pause buttons, the arrow buttons, the
// two slideshow timers, their keyboard shortcuts, and the keys of the image pane.

#include "app/layout.h"
#include "app/main_window.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "pictures/picture_prefetch.h"
#include "platform/classic_timer.h"
#include "platform/event_tap.h"
#include "platform/job_runner.h"
#include "platform/widget_twips.h"
#include "slideshow/step_rule.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cstdint>
#include <optional>
#include <system_error>

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
              if (st.img_view.pane && st.img_view.arrows) {
                Command2_Click(index);
              } else if (st.txt_view.pane && st.txt_view.arrows) {
                Command3_Click(index);
              }
            });
  }
  connect(pause_key, &QAction::triggered, this, [this] {
    for (int index = 0; index < 2; ++index) {
      const SideView& v = index == 0 ? st.img_view : st.txt_view;
      if (v.running && v.pause) Command1_Click(index);
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
  if (!st.img_view.pane || (modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  switch (key_code) {
    case Qt::Key_Left:
    case Qt::Key_PageUp:
    case Qt::Key_Right:
    case Qt::Key_PageDown: {
      const int index = key_code == Qt::Key_Left || key_code == Qt::Key_PageUp ? 0 : 1;
      // As the button would: not while it is not there to be clicked.
      if (!st.img_view.arrows) return false;
      Command2_Click(index);
      return true;
    }
    case Qt::Key_Space:
      if (!st.img_view.running || !st.img_view.pause) return false;
      // A held key pauses or resumes once.
      if (!repeated) Command1_Click(0);
      return true;
    case Qt::Key_Escape:
      if (!st.maximised_display || !maximised_display_possible()) return false;
      最大画面表示->trigger();
      return true;
    default:
      return false;
  }
}

// The mode switch. Unchecking a box from here runs this switch again at once, nested, and this
// run then goes on with its own remaining steps. The box has just been changed, by the user or by
// a step of the window: which display is on is taken from it here, and only here.
void Form1::Check1_Click(int index) {
  (index == 0 ? st.img_view : st.txt_view).running = continuous_checks[index]->isChecked();
  if (index == 0 && st.img_view.running && st.txt_view.running) {
    continuous_checks[1]->setChecked(false);
    text_timer->set_enabled(false);
  }
  if (index == 1 && st.img_view.running && st.txt_view.running) {
    continuous_checks[0]->setChecked(false);
    image_timer->set_enabled(false);
  }
  if (st.img_view.running && st.img.empty()) {
    continuous_checks[0]->setChecked(false);
    return;
  }
  if (st.txt_view.running && st.txt.empty()) {
    continuous_checks[1]->setChecked(false);
    return;
  }
  if (running_side() == SideId::None) {
    // Manual mode: no pause buttons, the arrows of each register that has entries.
    image_timer->set_enabled(false);
    text_timer->set_enabled(false);
    for (const bool image : {true, false}) {
      const RegisterSide s = side(image);
      s.view.pause = false;
      if (!s.reg.empty()) s.view.arrows = true;
      sync_side(s);
    }
    return;
  }
  // Images run, or texts.
  start_running(side(st.img_view.running));
}

// A display starts with its pane blank: the first entry comes with the first tick.
void Form1::start_running(const RegisterSide& s) {
  const RegisterSide other = side(!s.image);
  other.view.pause = false;
  other.view.arrows = false;
  other.view.pane = false;
  s.view.pause = true;
  s.view.arrows = true;
  s.view.pane = true;
  s.paused = false;
  sync_side(other);
  sync_side(s);
  blank_pane(s);
  // Only the picture has a place of its own in the maximised display.
  if (s.image) 最大画面の再描画();
  other.timer->set_enabled(false);
  s.timer->set_enabled(true);
  if (st.list_display) {
    other.view.list = false;
    s.view.list = true;
    sync_side(other);
    sync_side(s);
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

// The picture arrows bring the image pane into view in place of the text pane, with its list when
// the lists are shown, and stop the text timer; a running picture display is only stopped.
void Form1::Command2_Click(int index) {
  // A step waits while a message box is open: the entry it asks about must stay current.
  if (message_open()) return;
  Register& r = st.img;
  if (r.empty()) return;
  const RegisterSide s = side(true), other = side(false);
  s.view.pane = true;
  other.view.pane = false;
  if (st.list_display) {
    s.view.list = true;
    other.view.list = false;
  }
  text_timer->set_enabled(false);
  sync_side(other);
  sync_side(s);
  if (s.view.running) {
    // The click only stops the running display.
    continuous_checks[0]->setChecked(false);
    image_timer->set_enabled(false);
    s.view.pause = false;
    sync_side(s);
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
  s.view.commands.copy = !labels_show_icon_or_cursor();
  sync_side(s);
}

void Form1::Command3_Click(int index) {
  if (message_open()) return;
  Register& r = st.txt;
  if (r.empty()) return;
  const RegisterSide s = side(false), other = side(true);
  s.view.pane = true;
  other.view.pane = false;
  if (st.list_display) {
    s.view.list = true;
    other.view.list = false;
  }
  image_timer->set_enabled(false);
  sync_side(other);
  sync_side(s);
  // Unlike the picture arrows, the text arrows redraw the maximised display before stopping a
  // running display.
  最大画面の再描画();
  if (s.view.running) {
    continuous_checks[1]->setChecked(false);
    text_timer->set_enabled(false);
    s.view.pause = false;
    sync_side(s);
    return;
  }
  widen_full_register(r);
  step_register(r, st.txt_nav_started,
                index == 0 ? StepDirection::Backward : StepDirection::Forward);
  switch (st.sheet_app) {
    case SheetApp::Lotus:
      if (Lotus123で表示(SheetEntry::Current) == SheetResult::NotShown) return;
      break;
    case SheetApp::Excel:
      if (Excelで表示(SheetEntry::Current) == SheetResult::NotShown) return;
      break;
    case SheetApp::None:
      if (!load_entry(side(false), r.path(r.cur))) {
        nothing_txt_file();
        return;
      }
      break;
  }
  number_box->setText(display_number(r.cur));
  show_count(r.last);
  ラベル表示(r.path(r.cur));
  select_line(text_list, r.cur);
  text_pane->focus();
}

void Form1::連続画像_Timer() {
  // Under an open message box the display waits and goes on after the answer.
  if (message_open()) return;
  Register& r = st.img;
  widen_full_register(r);
  const RegisterSide s = side(true);
  if (r.path(r.cur).isEmpty() || r.cur > r.max_index) {
    image_timer->set_enabled(false);
    continuous_checks[0]->setChecked(false);
    s.view.pause = false;
    sync_side(s);
    return;
  }
  s.view.pane = true;
  sync_side(s);
  step_register(r, st.img_nav_started, StepDirection::Forward);
  if (!show_entry(s, r.cur, EntryMarks::All)) {
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
  const RegisterSide s = side(false);
  if (r.cur > r.max_index || r.empty()) {
    text_timer->set_enabled(false);
    continuous_checks[1]->setChecked(false);
    s.view.pause = false;
    sync_side(s);
    return;
  }
  s.view.pane = true;
  sync_side(s);
  step_register(r, st.txt_nav_started, StepDirection::Forward);
  // Unlike a picture's, a text's numbers and labels follow only once it is loaded.
  const bool listed = select_line(text_list, r.cur);
  if (!load_entry(s, r.path(r.cur)) || !listed) {
    nothing_txt_file();
    return;
  }
  number_box->setText(display_number(r.cur));
  show_count(r.last);
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
  if (!prefetch_enabled || !st.img_view.running || !image_timer->enabled()) return;
  Register probe = st.img;
  widen_full_register(probe);
  const QString next = probe.path(next_forward_entry(probe, st.img_nav_started));
  const QSize size = image_pane->wanted_decode_size();
  if (next.isEmpty() || prefetch_->expects(next, size)) return;
  // The decode runs as a job of the picture lane, which drops the one before; it leaves its
  // picture in a handoff the tick takes it from, once it is of the file unchanged.
  try {
    auto handoff = std::make_shared<DecodeHandoff>();
    const std::uint64_t generation = jobs().start(
        picture_lane_,
        [decoder = prefetch_->decoder, next, size, handoff](const JobControl& control) {
          decode_into(decoder, next, size, control, *handoff);
          return true;
        },
        [this](std::optional<bool>) {
          // Delivered only while it is the lane's newest job: the lane is still at its generation.
          prefetch_->hold(picture_lane_.generation());
        });
    prefetch_->expect(next, size, generation, std::move(handoff));
  } catch (const std::system_error&) {
    // No thread to be had: the tick decodes the picture when it is due, as without look-ahead.
    picture_lane_.cancel();
    prefetch_->drop();
  }
}

}  // namespace tarvex
