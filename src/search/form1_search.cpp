// The register search and its search screen, the find-next search in an opened hit, and the end
// of the search screen.

#include "app/layout.h"
#include "app/main_window.h"
#include "browse/file_box.h"
#include "browse/folder_tree.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/widget_twips.h"
#include "search/find_next.h"
#include "search/form4.h"
#include "search/search_screen.h"
#include "search/text_search.h"
#include "text/text_index.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

namespace tarvex {

namespace {

// Hands the hit list's mouse presses and releases to the window after the list has handled them
// itself (so the line under the mouse is already selected).
class ListMouseFilter final : public QObject {
 public:
  ListMouseFilter(QListWidget* list, std::function<void(QMouseEvent*)> on_press,
                  std::function<void(QMouseEvent*)> on_release)
      : QObject(list),
        viewport_(list->viewport()),
        on_press_(std::move(on_press)),
        on_release_(std::move(on_release)) {
    viewport_->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool release = event->type() == QEvent::MouseButtonRelease;
    // Only the pointer is compared: while the list is being destroyed its viewport still sends
    // events, and the list itself must not be called then.
    if (watched != viewport_ || (!press && !release)) return false;
    viewport_->removeEventFilter(this);
    QCoreApplication::sendEvent(viewport_, event);
    viewport_->installEventFilter(this);
    auto* mouse = static_cast<QMouseEvent*>(event);
    (press ? on_press_ : on_release_)(mouse);
    return true;
  }

 private:
  QWidget* viewport_;
  std::function<void(QMouseEvent*)> on_press_, on_release_;
};

// The window's wait for a search job under way: modal, yet the window keeps drawing and the
// timers keep ticking. The job's delivery, the runner's queued call, is what ends it.
class SearchWait {
 public:
  SearchWait() = default;
  SearchWait(const SearchWait&) = delete;
  SearchWait& operator=(const SearchWait&) = delete;

  // From the job's delivery, on the window's thread.
  void delivered() {
    delivered_ = true;
    if (loop_) loop_->quit();
  }

  // Waits up to `ms` with the user's input held back; whether the result has come.
  bool wait_briefly(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&loop] { loop.quit(); });
    run(loop, QEventLoop::ExcludeUserInputEvents);
    return delivered_;
  }

  // Waits while `progress` shows, `update` refreshing it; its "キャンセル" asks the job on
  // `lane` to stop, and what the job returns then still ends the wait. Whether the result came:
  // only the application quitting ends the wait without it.
  bool wait_with(QProgressDialog& progress, JobLane& lane, const std::function<void()>& update) {
    update();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &progress, update);
    ticker.start(50);
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&lane] { lane.stop(); });
    progress.show();
    QEventLoop loop;
    run(loop, {});
    return delivered_;
  }

 private:
  void run(QEventLoop& loop, QEventLoop::ProcessEventsFlags flags) {
    if (delivered_) return;
    loop_ = &loop;
    loop.exec(flags);
    loop_ = nullptr;
  }

  bool delivered_ = false;
  QEventLoop* loop_ = nullptr;
};

// A progress dialog of the search, modal over every window.
void set_up_progress(QProgressDialog& progress, const QString& name, const QString& title) {
  progress.setObjectName(name);
  progress.setWindowTitle(title);
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  progress.setMinimumDuration(0);
}

// Drops the search job still under way on `lane` when the window no longer waits for it.
class DropOnExit {
 public:
  explicit DropOnExit(JobLane& lane) : lane_(lane) {}
  ~DropOnExit() {
    if (lane_.busy()) lane_.cancel();
  }
  DropOnExit(const DropOnExit&) = delete;
  DropOnExit& operator=(const DropOnExit&) = delete;

 private:
  JobLane& lane_;
};

// One register scan. The job reads the entries, the needle and the progress; the window the
// progress and, once delivered, the hits.
struct RegisterScan {
  RegisterScan(std::vector<QString> scanned, const QString& text,
               std::function<void(int entry)> starting)
      : paths(std::move(scanned)), needle(text) {
    control.starting = std::move(starting);
  }
  const std::vector<QString> paths;
  const SearchNeedle needle;
  ScanControl control;
  // The window's thread only: the entries with a hit, in entry order (none when the scan failed).
  std::optional<std::vector<int>> hits;
  SearchWait wait;
};

// Starts the scan as the newest job of `lane`; a scan before it on the lane is stopped and its
// hits are never delivered.
std::shared_ptr<RegisterScan> start_scan(JobRunner& jobs, JobLane& lane, std::vector<QString> paths,
                                         const QString& text,
                                         std::function<void(int entry)> starting) {
  auto scan = std::make_shared<RegisterScan>(std::move(paths), text, std::move(starting));
  jobs.start(
      lane,
      [scan](const JobControl& job) {
        return scan_files(scan->paths, scan->needle, job, scan->control);
      },
      [scan](std::optional<std::vector<int>> hits) {
        scan->hits = std::move(hits);
        scan->wait.delivered();
      });
  return scan;
}

}  // namespace

void Form1::connect_search_events() {
  connect(txt_kensaku, &QAction::triggered, this, [this] { txt_kensaku_Click(); });
  connect(文字列検索の終了, &QAction::triggered, this, [this] { 文字列検索の終了_Click(); });
  for (int i = 0; i < 2; ++i) {
    connect(hit_arrows[i], &QPushButton::clicked, this, [this, i] { Command6_Click(i); });
  }
  new ListMouseFilter(
      hit_list, [this](QMouseEvent* e) { List1_MouseDown(e->button()); },
      [this](QMouseEvent* e) { List1_MouseUp(e->button(), e->globalPosition().toPoint()); });
}

void Form1::txt_kensaku_Click() {
  st.sel_text = text_pane->selected_text(form4()->Text1->maxLength());
  kensaku_main();
}

void Form1::kensaku_main() {
  form4()->find_next = [this](const QString& text) { 文字列検索(text); };
  form4()->end_search = [this] { 検索画面終了(); };
  // A new search while the find-next panel is open: the dialog becomes the modal input again.
  if (form4()->isVisible()) form4()->hide();

  st.search_mode = true;
  auto register_paths = [this] {
    std::vector<QString> paths;
    for (int i = 0; i <= st.txt.last; ++i) paths.push_back(st.txt.path(i));
    return paths;
  };
  // The scan starts the moment "Ｏ Ｋ" is pressed, while the dialog closes and the window
  // redraws; it runs off the window's thread, so the window keeps drawing and the timers keep
  // ticking. User input waits until the progress dialog offers "キャンセル".
  const DropOnExit drop(search_lane_);
  std::shared_ptr<RegisterScan> scan;
  form4()->accepting = [this, &scan, &register_paths](const QString& text) {
    if (!text.isEmpty() && !st.txt.empty())
      scan = start_scan(jobs(), search_lane_, register_paths(), text, scan_starting);
  };
  st.search_text = form4()->input_form(st.sel_text);
  form4()->accepting = nullptr;
  if (st.search_text.isEmpty()) {
    msgbox(QStringLiteral("検索する文字がありません！"), MsgButtons::Ok);
    st.search_mode = false;
    return;
  }
  if (st.txt.empty()) {
    msgbox(QStringLiteral("ファイル名が登録されてません！"), MsgButtons::Ok);
    st.search_mode = false;
    return;
  }
  // The continuous display may have widened the register while the dialog was open: the scan
  // covers the entries as they are now. A scan begun at "Ｏ Ｋ" on others is stopped by the new
  // one taking its lane, and its result is dropped.
  const std::vector<QString> paths = register_paths();
  if (!scan || scan->needle.text() != st.search_text || scan->paths != paths)
    scan = start_scan(jobs(), search_lane_, paths, st.search_text, scan_starting);
  hit_list->clear();
  result_view->set_text(QString());
  st.hit_len = static_cast<int>(st.search_text.size());

  if (!scan->wait.wait_briefly(scan_progress_delay_ms)) {
    QProgressDialog progress(QString(), QStringLiteral("キャンセル"), 0, int(paths.size()), this);
    set_up_progress(progress, QStringLiteral("search_progress"), app_title);
    const ScanControl& control = scan->control;
    const bool came = scan->wait.wait_with(progress, search_lane_, [&] {
      const int done = control.done.load();
      progress.setLabelText(
          QStringLiteral("文字列を検索しています。 %1 / %2").arg(done).arg(paths.size()));
      progress.setValue(done);
    });
    // The application is quitting: the scan is dropped and nothing more is shown.
    if (!came) {
      st.search_mode = false;
      return;
    }
  }

  if (scan->hits) {
    for (int i : *scan->hits) hit_list->addItem(paths[size_t(i)]);
  }
  if (hit_list->count() == 0) {
    msgbox(QStringLiteral("該当するファイルがありません！"), MsgButtons::Ok);
    検索画面終了();
    return;
  }

  hit_list->show();
  for (QWidget* w : std::initializer_list<QWidget*>{
           number_caption, path_caption, path_labels[0], path_labels[1], path_labels[2],
           continuous_labels[0], continuous_labels[1], count_label, number_box,
           continuous_checks[0], continuous_checks[1]}) {
    w->hide();
  }
  // The search screen shows neither register: no pane, no arrows, no list until a hit is opened.
  const RegisterSide images = side(true), texts = side(false);
  for (const RegisterSide& s : {images, texts}) {
    s.view.arrows = false;
    s.view.pane = false;
    s.view.list = false;
  }
  sync_side(images);
  hit_arrows[0]->show();
  hit_arrows[1]->show();
  folder_tree->hide();
  file_box->hide();
  result_view->show();
  sync_side(texts);
  文字列検索の終了->setEnabled(true);
}

void Form1::List1_MouseDown(Qt::MouseButton button) {
  if (button != Qt::LeftButton || selected_line(hit_list) < 0) return;
  st.hit_pos = 0;
  st.search_ready = false;
  open_hit(false);
}

void Form1::open_hit(bool by_arrow) {
  form4()->find_next = [this](const QString& text) { 文字列検索(text); };
  form4()->end_search = [this] { 検索画面終了(); };
  const int line = selected_line(hit_list);
  if (line < 0) return;
  st.hit_path = hit_list->item(line)->text();  // the hit the user chose
  // A hit whose file has gone since the scan shows an empty pane; its find-next finds nothing.
  if (!load_entry(side(false), st.hit_path)) blank_pane(side(false));
  if (!by_arrow) result_view->hide();
  const QRect place = hit_pane_twips(outer_size_twips());
  set_twips_geometry(text_pane, place.left(), place.top(), place.width(), place.height());
  if (!by_arrow) {
    const QRect view = twips_geometry(result_view);
    set_twips_geometry(result_view, view.left(), view.top(), place.width(), place.height());
  }
  const RegisterSide texts = side(false);
  texts.view.pane = true;
  sync_side(texts);
  if (by_arrow) result_view->hide();
  text_pane->focus();
  form4()->文字列検索();
}

void Form1::Command6_Click(int index) {
  st.hit_pos = 0;
  st.search_ready = false;
  if (hit_list->count() == 0) return;
  const int line = selected_line(hit_list);
  int next = line;
  if (line < 0) {
    next = 0;
  } else if (index == 0 && line > 0) {
    next = line - 1;
  } else if (index == 1 && line < hit_list->count() - 1) {
    next = line + 1;
  }
  hit_list->setCurrentRow(next);
  hit_list->item(next)->setSelected(true);
  open_hit(true);
}

void Form1::List1_MouseUp(Qt::MouseButton button, const QPoint& global_pos) {
  if (button != Qt::RightButton) return;
  list_file_open->setEnabled(selected_line(hit_list) >= 0);
  result_view->hide();
  st.popup_source = PopupSource::HitList;
  popup_menu(file_menu, global_pos);
  st.popup_source = PopupSource::None;
}

void Form1::文字列検索(const QString& 検索文字列) {
  if (検索文字列 != st.search_text) {
    st.search_text = 検索文字列;
    st.search_ready = false;
  }
  // The result view covers the text pane in the same place.
  result_view->raise();
  result_view->show();
  if (!st.search_ready) {
    if (!search_extension_allows(st.hit_path, st.search_exts)) {
      st.msg_answer =
          msgbox(QStringLiteral("このファイルの文字検索はできません！"), MsgButtons::Ok);
      result_view->hide();
      return;
    }
    // The result view shows the very text the pane shows, read once for both.
    result_view->show_text_of(*text_pane);
    st.hit_len = static_cast<int>(st.search_text.size());
    st.hit_pos = 1;
    st.search_ready = true;
  }
  // Positions count characters as the result view shows them, a line break one.
  const std::optional<qint64> found = find_in_result_view(st.search_text, st.hit_pos - 1);
  if (!found) return;  // cancelled: the search stays where it was
  if (*found < 0) {
    st.msg_answer = msgbox(QStringLiteral("検索文字はありません！"), MsgButtons::Ok);
    st.search_ready = false;
    return;
  }
  st.hit_pos = *found + 2;
  result_view->focus();
  // The panel's button has the keyboard, so the view may not see its focus arrive until the
  // main window is active again: select the occurrence now.
  RichTextBox2_GotFocus();
}

std::optional<qint64> Form1::find_in_result_view(const QString& text, qint64 from) {
  // The job reads the text, the string and its progress; the window the answer once delivered.
  struct Search {
    std::shared_ptr<IndexedText> shown;
    QString text;
    std::atomic<qint64> scanned{0};
    std::optional<qint64> found;  // the window's thread only
    SearchWait wait;
  };
  auto search = std::make_shared<Search>();
  search->shown = result_view->shown_text();
  search->text = text;
  const DropOnExit drop(search_lane_);
  jobs().start(
      search_lane_,
      [search, from, starting = find_next_starting](const JobControl& job) {
        if (starting) starting();
        return find_next(*search->shown, search->text, from, &job.stop_flag(), &search->scanned);
      },
      [search](std::optional<qint64> found) {
        search->found = found;
        search->wait.delivered();
      });
  // A long text is searched while the window keeps drawing; after a moment a progress dialog
  // offers "キャンセル".
  if (!search->wait.wait_briefly(scan_progress_delay_ms)) {
    QProgressDialog progress(QStringLiteral("文字列を検索しています。"),
                             QStringLiteral("キャンセル"), 0, 1000, this);
    set_up_progress(progress, QStringLiteral("find_next_progress"), app_title);
    const double size = std::max<double>(1, double(search->shown->size()));
    // The panel stays on top of every window but this dialog.
    const bool panel = form4()->isVisible() && form4()->dialog_mode == Form4::DialogMode::FindNext;
    if (panel) form4()->set_topmost(false);
    search->wait.wait_with(progress, search_lane_, [&] {
      progress.setValue(int(std::min(1000.0, search->scanned.load() * 1000 / size)));
    });
    if (panel) form4()->set_topmost(true);
  }
  // Cancelled, failed, or left unfinished as the application quits: the search stays where it was.
  if (!search->found || *search->found == -2) return std::nullopt;
  return search->found;
}

void Form1::検索画面終了() {
  hit_list->clear();
  hit_list->hide();
  for (QWidget* w : std::initializer_list<QWidget*>{
           number_caption, path_caption, path_labels[0], path_labels[1], path_labels[2],
           continuous_labels[0], continuous_labels[1], count_label, number_box,
           continuous_checks[0], continuous_checks[1]}) {
    w->show();
  }
  const RegisterSide images = side(true), texts = side(false);
  if (!st.img.empty()) images.view.arrows = true;
  texts.view.arrows = true;
  sync_side(images);
  sync_side(texts);
  hit_arrows[0]->hide();
  hit_arrows[1]->hide();
  if (st.list_display) {
    images.view.list = false;
    texts.view.list = true;
  }
  文字列検索の終了->setEnabled(false);
  folder_tree->show();
  file_box->show();
  // The window comes back with the text pane in the panes' place, holding the current text entry;
  // the picture shown before the search stays hidden under it, as one pane is shown at a time.
  images.view.pane = false;
  texts.view.pane = true;
  sync_side(images);
  sync_side(texts);
  st.search_ready = false;
  st.search_mode = false;
  result_view->set_text(QString());
  result_view->hide();
  const QRect place = normal_pane_twips(outer_size_twips());
  set_twips_geometry(text_pane, place.left(), place.top(), place.width(), place.height());
  // The number box, the count and the path labels name what the pane now shows, the current text
  // entry (a picture may have been on display before the search), and its commands apply to it.
  const Register& r = st.txt;
  if (!r.empty()) {
    number_box->setText(display_number(r.cur));
    show_count(r.top_index());
    ラベル表示(r.path(r.cur));
    enable_entry_commands(side(false));
  }
  // A cleared register or a vanished file leaves the pane empty, without a message.
  if (!load_entry(side(false), r.path(r.cur))) blank_pane(side(false));
}

void Form1::文字列検索の終了_Click() {
  検索画面終了();
  form4()->hide();
}

}  // namespace tarvex
