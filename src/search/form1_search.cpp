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
#include <thread>

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

// Takes a worker's word on the window's thread: the worker emits `finished`, which reaches
// `finish_wait` there through a connection made on the window's thread. The call that crosses is
// Qt's own from its making to its deletion; nothing of Tarvex's is handed over with it.
class FinishNotifier final : public QObject {
  Q_OBJECT
 public:
  FinishNotifier() {
    connect(this, &FinishNotifier::finished, this, &FinishNotifier::finish_wait,
            Qt::QueuedConnection);
  }
  QEventLoop* waiting = nullptr;  // used on the window's thread only

 signals:
  void finished();

 private:
  void finish_wait() {
    if (waiting) waiting->quit();
  }
};

// Work on a thread of its own that the window's thread waits for in an event loop, so that the
// window keeps drawing and the timers keep ticking meanwhile.
class Background {
 public:
  Background() = default;
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  ~Background() { join(); }

  void start(std::function<void()> work) {
    worker_ = std::thread([this, work = std::move(work)] {
      work();
      finished_ = true;
      // The window's thread ends its wait, if it is waiting by then.
      emit notifier_.finished();
    });
  }
  void join() {
    if (worker_.joinable()) worker_.join();
  }
  bool finished() const { return finished_; }

  // Runs `loop` until the work finishes or something else ends the loop; at once when finished.
  void wait_in(QEventLoop& loop, QEventLoop::ProcessEventsFlags flags) {
    if (finished_) return;
    notifier_.waiting = &loop;
    loop.exec(flags);
    notifier_.waiting = nullptr;
  }

 private:
  std::atomic<bool> finished_{false};
  FinishNotifier notifier_;  // lives on the window's thread
  std::thread worker_;
};

// The register scan on a thread of its own. Ending it (or destroying it) stops the scan early
// and waits for it.
class RegisterScan {
 public:
  RegisterScan(std::vector<QString> paths, const QString& text,
               std::function<void(int entry)> starting)
      : paths_(std::move(paths)), needle_(text) {
    control_.starting = std::move(starting);
    background_.start([this] { hits_ = scan_files(paths_, needle_, control_); });
  }
  ~RegisterScan() {
    control_.stop = true;
    background_.join();
  }
  RegisterScan(const RegisterScan&) = delete;
  RegisterScan& operator=(const RegisterScan&) = delete;

  const QString& text() const { return needle_.text(); }
  const std::vector<QString>& paths() const { return paths_; }
  ScanControl& control() { return control_; }
  bool finished() const { return background_.finished(); }
  void wait_in(QEventLoop& loop, QEventLoop::ProcessEventsFlags flags) {
    background_.wait_in(loop, flags);
  }

  // The entries with a hit, in entry order, once the scan has ended.
  const std::vector<int>& hits() {
    background_.join();
    return hits_;
  }

 private:
  std::vector<QString> paths_;
  SearchNeedle needle_;
  ScanControl control_;
  std::vector<int> hits_;
  Background background_;  // last: stopped before the members its work uses
};

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
  std::unique_ptr<RegisterScan> scan;
  form4()->accepting = [this, &scan, &register_paths](const QString& text) {
    if (!text.isEmpty() && !st.txt.empty())
      scan = std::make_unique<RegisterScan>(register_paths(), text, scan_starting);
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
  // covers the entries as they are now.
  const std::vector<QString> paths = register_paths();
  if (!scan || scan->text() != st.search_text || scan->paths() != paths) {
    scan.reset();
    scan = std::make_unique<RegisterScan>(paths, st.search_text, scan_starting);
  }
  hit_list->clear();
  result_view->set_text(QString());
  st.hit_len = static_cast<int>(st.search_text.size());

  QEventLoop loop;
  QTimer::singleShot(scan_progress_delay_ms, &loop, [&loop] { loop.quit(); });
  scan->wait_in(loop, QEventLoop::ExcludeUserInputEvents);
  if (!scan->finished()) {
    QProgressDialog progress(QString(), QStringLiteral("キャンセル"), 0, int(paths.size()), this);
    progress.setObjectName(QStringLiteral("search_progress"));
    progress.setWindowTitle(app_title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    ScanControl& control = scan->control();
    auto update = [&] {
      const int done = control.done.load();
      progress.setLabelText(
          QStringLiteral("文字列を検索しています。 %1 / %2").arg(done).arg(paths.size()));
      progress.setValue(done);
    };
    update();
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &progress, update);
    ticker.start(50);
    connect(&progress, &QProgressDialog::canceled, &progress, [&control] { control.stop = true; });
    progress.show();
    scan->wait_in(loop, {});
  }

  for (int i : scan->hits()) hit_list->addItem(paths[size_t(i)]);
  if (hit_list->count() == 0) {
    msgbox(QStringLiteral("該当するファイルがありません！"), MsgButtons::Ok);
    検索画面終了();
    return;
  }

  hit_list->show();
  for (QWidget* w : std::initializer_list<QWidget*>{
           number_caption, path_caption, path_labels[0], path_labels[1], path_labels[2],
           continuous_labels[0], continuous_labels[1], count_label, number_box,
           continuous_checks[0], continuous_checks[1], image_arrows[1], image_arrows[0],
           text_arrows[0], text_arrows[1]}) {
    w->hide();
  }
  hit_arrows[0]->show();
  hit_arrows[1]->show();
  folder_tree->hide();
  file_box->hide();
  image_pane->hide();
  result_view->show();
  text_pane->hide();
  image_list->hide();
  text_list->hide();
  文字列検索の終了->setEnabled(true);
}

void Form1::List1_MouseDown(Qt::MouseButton button) {
  if (button != Qt::LeftButton || selected_line(hit_list) < 0) return;
  st.hit_pos = 0;
  st.search_ready = 0;
  open_hit(false);
}

void Form1::open_hit(bool by_arrow) {
  form4()->find_next = [this](const QString& text) { 文字列検索(text); };
  form4()->end_search = [this] { 検索画面終了(); };
  const int line = selected_line(hit_list);
  if (line < 0) return;
  st.hit_path = hit_list->item(line)->text();
  // A hit whose file has gone since the scan shows an empty pane; its find-next finds nothing.
  if (!load_entry(side(false), st.hit_path)) blank_pane(side(false));
  if (!by_arrow) result_view->hide();
  const QRect place = hit_pane_twips(outer_size_twips());
  set_twips_geometry(text_pane, place.left(), place.top(), place.width(), place.height());
  if (!by_arrow) {
    const QRect view = twips_geometry(result_view);
    set_twips_geometry(result_view, view.left(), view.top(), place.width(), place.height());
  }
  text_pane->show();
  if (by_arrow) result_view->hide();
  text_pane->focus();
  form4()->文字列検索();
}

void Form1::Command6_Click(int index) {
  st.hit_pos = 0;
  st.search_ready = 0;
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
    st.search_ready = 0;
  }
  // The result view covers the text pane in the same place.
  result_view->raise();
  result_view->show();
  if (st.search_ready == 0) {
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
    st.search_ready = 1;
  }
  // Positions count characters as the result view shows them, a line break one.
  const std::optional<qint64> found = find_in_result_view(st.search_text, st.hit_pos - 1);
  if (!found) return;  // cancelled: the search stays where it was
  if (*found < 0) {
    st.msg_answer = msgbox(QStringLiteral("検索文字はありません！"), MsgButtons::Ok);
    st.search_ready = 0;
    return;
  }
  st.hit_pos = *found + 2;
  result_view->focus();
  // The panel's button has the keyboard, so the view may not see its focus arrive until the
  // main window is active again: select the occurrence now.
  RichTextBox2_GotFocus();
}

std::optional<qint64> Form1::find_in_result_view(const QString& text, qint64 from) {
  const std::shared_ptr<IndexedText> shown = result_view->shown_text();
  std::atomic<bool> stop{false};
  std::atomic<qint64> scanned{0};
  qint64 found = -1;
  Background search;
  search.start([&] {
    if (find_next_starting) find_next_starting();
    found = find_next(*shown, text, from, &stop, &scanned);
  });
  // A long text is searched while the window keeps drawing; after a moment a progress dialog
  // offers "キャンセル".
  QEventLoop loop;
  QTimer::singleShot(scan_progress_delay_ms, &loop, [&loop] { loop.quit(); });
  search.wait_in(loop, QEventLoop::ExcludeUserInputEvents);
  if (!search.finished()) {
    QProgressDialog progress(QStringLiteral("文字列を検索しています。"),
                             QStringLiteral("キャンセル"), 0, 1000, this);
    progress.setObjectName(QStringLiteral("find_next_progress"));
    progress.setWindowTitle(app_title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    const double size = std::max<double>(1, double(shown->size()));
    auto update = [&] { progress.setValue(int(std::min(1000.0, scanned.load() * 1000 / size))); };
    update();
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &progress, update);
    ticker.start(50);
    connect(&progress, &QProgressDialog::canceled, &progress, [&stop] { stop = true; });
    // The panel stays on top of every window but this dialog.
    const bool panel = form4()->isVisible() && form4()->dialog_mode == 2;
    if (panel) form4()->set_topmost(false);
    progress.show();
    search.wait_in(loop, {});
    if (panel) form4()->set_topmost(true);
  }
  search.join();
  if (found == -2) return std::nullopt;
  return found;
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
  if (!st.img.empty()) {
    image_arrows[0]->show();
    image_arrows[1]->show();
  }
  text_arrows[0]->show();
  text_arrows[1]->show();
  hit_arrows[0]->hide();
  hit_arrows[1]->hide();
  if (登録ファイル名表示->isChecked()) {
    image_list->hide();
    text_list->show();
  }
  文字列検索の終了->setEnabled(false);
  folder_tree->show();
  file_box->show();
  // The window comes back with the text pane in the panes' place, holding the current text entry;
  // the picture shown before the search stays hidden under it, as one pane is shown at a time.
  image_pane->hide();
  text_pane->show();
  st.search_ready = 0;
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
    count_label->setText(count_text(r.top_index()));
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

#include "form1_search.moc"
