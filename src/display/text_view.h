#pragma once

#include "platform/job_runner.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QTextLayout;

namespace tarvex {

class IndexedText;

// The text pane's view of a plain text: it lays out and draws only the lines in sight, decoded
// from the text's blocks as they come into sight, wrapped at the view's width as a plain text
// editor wraps them. A caret, a selection by mouse and keyboard, select all and copy work on
// positions of the whole text (a line end counts one), whether or not the text is indexed to its
// end yet. Assistive tools read it through Qt's accessible text interface. The view runs the
// reading of its text off the window's thread on a job runner of its own, and takes in what the
// reading adds when the text wakes it.
class TextView final : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TextView(QWidget* parent = nullptr);
  ~TextView() override;

  // Shows a text from its top, nothing selected; an empty text when null.
  void set_text(std::shared_ptr<IndexedText> text);
  const std::shared_ptr<IndexedText>& text() const { return text_; }
  // True while the text is still being indexed, or the view has yet to take in the end of it.
  bool loading() const;

  qint64 anchor() const { return anchor_; }
  qint64 caret() const { return caret_; }
  // Selects from `anchor` to `caret` (clamped to the text) and scrolls the caret into sight.
  void select(qint64 anchor, qint64 caret);
  // The same, for places the index may not have reached yet: they are selected once it reaches
  // them (or the text's end), without waiting for it; any other selection first cancels it.
  void select_when_indexed(qint64 anchor, qint64 caret);
  void select_all();
  // The selected text, or its first `at_most` characters.
  QString selected_text(qsizetype at_most = -1) const;
  // Copies the selection to the clipboard; false (nothing copied) when it is too large to be
  // held (copyRefused() tells it for Ctrl+C).
  bool copy();
  // The most characters a copy takes to the clipboard (tests make it small).
  void set_largest_copy(qint64 chars) { largest_copy_ = chars; }

  // The view lines drawn last, from the top of the view.
  const QStringList& drawn_lines() const { return drawn_; }

  // For assistive tools: the rectangle of the character at a position in the viewport (empty when
  // it is out of sight), the position at a point of the viewport (−1 outside the text), and
  // scrolling a position into sight.
  QRect character_rect(qint64 pos) const;
  qint64 position_at(QPoint point) const;
  void scroll_to(qint64 pos);
  // The positions of the row on the screen that holds a position (its start, and its end).
  std::pair<qint64, qint64> row_range(qint64 pos) const;

  // The text's left and right margin and the space above its first line, in pixels, as a plain
  // text editor leaves them.
  static constexpr int kMargin = 4;

 signals:
  void selectionChanged();
  // Ctrl+C found the selection too large to copy.
  void copyRefused();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  // A view line laid out at the view's width.
  struct Laid {
    qint64 pos = 0;  // its first position
    QString text;
    std::unique_ptr<QTextLayout> layout;
    qreal height = 0;
  };
  const Laid& laid(qint64 line) const;
  qreal line_height(qint64 line) const { return laid(line).height; }
  void forget_layouts();
  // Forgets layouts beyond a budget, keeping the lines from the top one to `last_painted`.
  void trim_layouts(qint64 last_painted);
  qint64 last_line() const;

  // Scrolling: the top of the view is `top_offset_` pixels into view line `top_line_`.
  void scroll_by(qreal dy);
  void clamp_top();
  // The furthest the view goes down: the last line's bottom at the bottom of the view.
  std::pair<qint64, qreal> max_top() const;
  void update_scroll_bar();
  void set_top(qint64 line, qreal offset);
  // The line and the row within it that stand at a viewport y; the row's place in the viewport.
  struct RowAt {
    qint64 line = 0;
    int row = 0;
    qreal top = 0;  // the line's top in the viewport
  };
  RowAt row_at(qreal y) const;
  // The viewport y of a line's top, if it is in sight or near it (within a page).
  std::optional<qreal> line_top(qint64 line) const;

  // The caret and the selection.
  void move_caret(qint64 pos, bool keep_anchor, bool remember_x = true);
  void selection_changed(qint64 old_anchor, qint64 old_caret);
  qint64 clamp_pos(qint64 pos) const;
  qint64 vertical_step(qint64 pos, int rows) const;
  qint64 row_edge(qint64 pos, bool end) const;
  qint64 word_edge(qint64 pos, bool forward) const;
  qreal caret_x(qint64 pos) const;
  void ensure_caret_visible();
  void restart_blink();
  // Takes in what the text has that the view has not seen yet: more lines, its end, a reading
  // anew; then runs the reading if it waits for someone to run it.
  void take_in_text();
  // Runs the text's reading on the view's runner if it waits for someone to run it.
  void run_reading();
  // Takes in the lines of the text indexed since the view last looked, or a new reading of it.
  void take_in_lines(qint64 lines, bool read_anew, bool complete);
  // Takes in a reading of the text anew that a read of it began.
  void watch_reading_anew() const;
  // Reads the text anew at once if its file changed since it was read.
  void take_in_file_change();
  void autoscroll();

  std::shared_ptr<IndexedText> text_;
  int generation_ = 0;
  int touched_ = 0;  // the text's touched(), as last taken in
  qint64 known_lines_ = 0;
  mutable std::map<qint64, Laid> layouts_;
  mutable qreal laid_width_ = -1;

  qint64 top_line_ = 0;
  qreal top_offset_ = 0;
  qint64 last_painted_ = -1;  // the last line drawn
  mutable std::optional<std::pair<qint64, qreal>> max_top_;
  int bar_scale_ = 1;  // view lines per step of the scroll bar
  bool syncing_bar_ = false;

  qint64 anchor_ = 0, caret_ = 0;
  qreal desired_x_ = -1;
  // Ctrl+End or select all while the text is still being indexed: the caret follows the end,
  // with the view (Ctrl+End) or without it.
  bool follow_end_ = false;
  bool selecting_all_ = false;
  bool caret_shown_ = true;
  QBasicTimer blink_;
  // The view has yet to take in the end of the text (it is still being read, or read anew).
  mutable bool following_ = false;
  QTimer autoscroll_;
  QPoint drag_point_;
  bool dragging_ = false;
  int clicks_ = 0;  // 2 after a double click, 3 after a triple click in time
  QBasicTimer triple_click_;
  // A selection waiting for the index to reach it.
  std::optional<std::pair<qint64, qint64>> pending_selection_;
  qint64 largest_copy_;
  QStringList drawn_;

  // The reading of the text shown, and the text's wake-ups while it is shown. The runner is
  // destroyed before the lane it delivers to (it is declared after it); the wake-ups stop before
  // the runner goes (in the destructor).
  JobLane reading_;
  std::shared_ptr<void> watch_;
  JobRunner runner_;
  std::function<void()> wake_ = runner_.waker([this] { take_in_text(); });
};

}  // namespace tarvex
