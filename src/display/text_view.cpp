#include "display/text_view.h"

#include "text/text_index.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <system_error>

namespace tarvex {

namespace {

// As a plain text editor lays out its text: tab stops every 80 pixels.
constexpr qreal kTabStop = 80;
// Layouts kept beyond those in sight, and the longest selection that also becomes the X11
// primary selection (a larger one is copied by the copy command only).
constexpr size_t kKeptLayouts = 400;
constexpr qint64 kKeptChars = 256 * 1024;
constexpr qint64 kPrimarySelectionChars = 1 << 20;
// The longest selection the copy command takes to the clipboard: 512 MiB as the clipboard holds
// it, and as much again while another application takes it. A longer one (a selection of
// gigabytes) would exhaust the memory of the machine.
constexpr qint64 kLargestCopy = qint64(1) << 28;

int clamp_int(qint64 v) {
  return int(std::clamp<qint64>(v, 0, INT_MAX));
}

// The accessible text of a view: read on demand, so that a text of any size is read as the view
// shows it.
class AccessibleTextView final : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit AccessibleTextView(TextView* view)
      : QAccessibleWidget(view, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  // The view carries the name of the pane it shows the text of.
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) {
      QString name = widget()->accessibleName();
      for (QWidget* w = widget()->parentWidget(); name.isEmpty() && w; w = w->parentWidget()) {
        name = w->accessibleName();
      }
      return name;
    }
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    s.focusable = true;
    return s;
  }

  void selection(int index, int* start, int* end) const override {
    *start = *end = 0;
    if (index != 0 || view()->anchor() == view()->caret()) return;
    *start = clamp_int(std::min(view()->anchor(), view()->caret()));
    *end = clamp_int(std::max(view()->anchor(), view()->caret()));
  }
  int selectionCount() const override { return view()->anchor() == view()->caret() ? 0 : 1; }
  void addSelection(int start, int end) override { view()->select(start, end); }
  void removeSelection(int) override { view()->select(view()->caret(), view()->caret()); }
  void setSelection(int, int start, int end) override { view()->select(start, end); }
  int cursorPosition() const override { return clamp_int(view()->caret()); }
  void setCursorPosition(int position) override { view()->select(position, position); }
  QString text(int start, int end) const override {
    return view()->text() ? view()->text()->text(start, end) : QString();
  }
  int characterCount() const override {
    return view()->text() ? clamp_int(view()->text()->length()) : 0;
  }
  QRect characterRect(int offset) const override {
    const QRect r = view()->character_rect(offset);
    return r.isEmpty() ? QRect() : QRect(view()->viewport()->mapToGlobal(r.topLeft()), r.size());
  }
  int offsetAtPoint(const QPoint& point) const override {
    const qint64 pos = view()->position_at(view()->viewport()->mapFromGlobal(point));
    return pos < 0 ? -1 : clamp_int(pos);
  }
  void scrollToSubstring(int start, int) override { view()->scroll_to(start); }
  QString attributes(int offset, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    if (offset < 0 || offset > *end) *start = *end = -1;
    return QString();
  }
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                       int* end) const override {
    const auto [s, e] = range_at(offset, type);
    *start = s;
    *end = e;
    return text(s, e);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                           int* end) const override {
    *start = *end = -1;
    const int s = range_at(offset, type).first;
    if (s <= 0) return QString();
    return textAtOffset(s - 1, type, start, end);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                          int* end) const override {
    *start = *end = -1;
    const int e = range_at(offset, type).second;
    if (e >= characterCount()) return QString();
    return textAtOffset(e, type, start, end);
  }

 private:
  TextView* view() const { return static_cast<TextView*>(widget()); }

  // The stretch of text of the given kind around an offset: a character, a word or sentence of
  // its view line, its row on the screen, its view line, or the whole text.
  std::pair<int, int> range_at(int offset, QAccessible::TextBoundaryType type) const {
    const std::shared_ptr<IndexedText>& t = view()->text();
    const int count = characterCount();
    if (!t || count == 0) return {0, 0};
    offset = std::clamp(offset, 0, count);
    if (type == QAccessible::NoBoundary) return {0, count};
    if (type == QAccessible::CharBoundary) {
      const QString c = t->text(offset, offset + 2);
      return {
          offset,
          std::min(
              count,
              offset + (c.size() == 2 && c[0].isHighSurrogate() && c[1].isLowSurrogate() ? 2 : 1))};
    }
    if (type == QAccessible::LineBoundary) {
      const auto [s, e] = view()->row_range(offset);
      return {clamp_int(s), clamp_int(e)};
    }
    const IndexedText::Line line = t->line(t->line_at(offset));
    const int line_start = clamp_int(line.pos);
    const int line_end = clamp_int(line.pos + line.text.size());
    if (type == QAccessible::ParagraphBoundary) return {line_start, std::min(count, line_end + 1)};
    QTextBoundaryFinder finder(type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                 : QTextBoundaryFinder::Sentence,
                               line.text);
    const int local = std::min(offset - line_start, int(line.text.size()));
    finder.setPosition(local);
    int s = finder.isAtBoundary() ? local : int(finder.toPreviousBoundary());
    if (s < 0) s = 0;
    finder.setPosition(s);
    qsizetype e = finder.toNextBoundary();
    if (e < 0) e = line.text.size();
    return {line_start + s, line_start + int(e)};
  }
};

QAccessibleInterface* accessible_text_view(const QString& class_name, QObject* object) {
  if (class_name == QLatin1String("tarvex::TextView") && object && object->isWidgetType()) {
    return new AccessibleTextView(static_cast<TextView*>(object));
  }
  return nullptr;
}

}  // namespace

TextView::TextView(QWidget* parent) : QAbstractScrollArea(parent), largest_copy_(kLargestCopy) {
  static const bool factory_installed = [] {
    QAccessible::installFactory(accessible_text_view);
    return true;
  }();
  (void)factory_installed;
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  autoscroll_.setInterval(50);
  connect(&autoscroll_, &QTimer::timeout, this, [this] { autoscroll(); });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!syncing_bar_) set_top(qint64(value) * bar_scale_, 0);
  });
}

TextView::~TextView() {
  // The text may outlive the view (another pane shows it, a search reads it): it wakes the view
  // no more, and the view's reading stops; the runner then waits for it to end.
  watch_.reset();
  reading_.cancel();
}

void TextView::set_text(std::shared_ptr<IndexedText> text) {
  // The text shown before wakes the view no more; its reading stops, and whatever it still
  // delivers is dropped.
  watch_.reset();
  reading_.cancel();
  text_ = std::move(text);
  if (text_) watch_ = text_->watch(wake_);
  // Asked before the lines are counted: a text that ends meanwhile still wakes the view.
  const bool complete = !text_ || text_->complete();
  generation_ = text_ ? text_->generation() : 0;
  touched_ = text_ ? text_->touched() : 0;
  pending_selection_.reset();
  drawn_.clear();
  known_lines_ = text_ ? text_->line_count() : 0;
  forget_layouts();
  top_line_ = 0;
  top_offset_ = 0;
  last_painted_ = -1;
  anchor_ = caret_ = 0;
  desired_x_ = -1;
  follow_end_ = selecting_all_ = false;
  dragging_ = false;
  autoscroll_.stop();
  following_ = !complete;
  run_reading();
  update_scroll_bar();
  viewport()->update();
  if (QAccessible::isActive()) {
    QAccessibleEvent changed(this, QAccessible::VisibleDataChanged);
    QAccessible::updateAccessibility(&changed);
    QAccessibleTextCursorEvent cursor(this, 0);
    QAccessible::updateAccessibility(&cursor);
  }
}

bool TextView::loading() const {
  // Until the view itself has seen the whole text, not just the index: a reading anew that began
  // off the window's thread may have ended before the view took in any of it.
  return text_ && (!text_->complete() || following_ || text_->generation() != generation_);
}

// ---- Layout ----------------------------------------------------------------------------------

const TextView::Laid& TextView::laid(qint64 line) const {
  const qreal width = std::max<qreal>(viewport()->width() - 2 * kMargin, 1);
  if (width != laid_width_) {
    layouts_.clear();
    max_top_.reset();
    laid_width_ = width;
  }
  const auto found = layouts_.find(line);
  if (found != layouts_.end()) return found->second;
  Laid l;
  if (text_) {
    IndexedText::Line t = text_->line(line);
    l.pos = t.pos;
    l.text = std::move(t.text);
    watch_reading_anew();
  }
  l.layout = std::make_unique<QTextLayout>(l.text, font(), viewport());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  option.setTabStopDistance(kTabStop);
  l.layout->setTextOption(option);
  l.layout->setCacheEnabled(true);
  l.layout->beginLayout();
  // The first line stands below the text's top margin.
  if (line == 0) l.height = kMargin;
  for (;;) {
    QTextLine row = l.layout->createLine();
    if (!row.isValid()) break;
    row.setLeadingIncluded(true);
    row.setLineWidth(width);
    row.setPosition(QPointF(0, l.height));
    l.height += row.height();
    if (row.leading() < 0) l.height += std::ceil(row.leading());
  }
  l.layout->endLayout();
  return layouts_.emplace(line, std::move(l)).first->second;
}

void TextView::take_in_file_change() {
  if (!text_) return;
  if (text_->changed_since_indexed()) {
    take_in_text();
  } else if (text_->touched() != touched_) {
    // The file was touched (lines added at its end, or a change that its blocks' fingerprints
    // find when read): the lines laid out before are read, and so checked, again before they are
    // drawn again.
    touched_ = text_->touched();
    forget_layouts();
  }
}

void TextView::watch_reading_anew() const {
  // A read may have found the file changed and begun to read the text anew; the view takes in
  // the new reading as it takes in a text being read, when the text wakes it.
  if (text_ && text_->generation() != generation_) following_ = true;
}

void TextView::forget_layouts() {
  layouts_.clear();
  max_top_.reset();
}

void TextView::trim_layouts(qint64 last_painted) {
  // Keep the lines in sight; of the others, those nearest them, within a budget of lines and of
  // characters (a line cut from a long one holds thousands).
  auto chars = [this] {
    qint64 total = 0;
    for (const auto& [line, l] : layouts_) total += l.text.size();
    return total;
  };
  qint64 total = chars();
  while (layouts_.size() > kKeptLayouts || total > kKeptChars) {
    const auto first = layouts_.begin();
    const auto last = std::prev(layouts_.end());
    const qint64 above = top_line_ - first->first, below = last->first - last_painted;
    if (above <= 0 && below <= 0) break;
    const auto gone = above >= below ? first : last;
    total -= gone->second.text.size();
    layouts_.erase(gone);
  }
}

qint64 TextView::last_line() const {
  return std::max<qint64>(known_lines_ - 1, 0);
}

// ---- Scrolling -------------------------------------------------------------------------------

void TextView::set_top(qint64 line, qreal offset) {
  top_line_ = line;
  top_offset_ = offset;
  clamp_top();
  update_scroll_bar();
  viewport()->update();
}

void TextView::scroll_by(qreal dy) {
  qreal offset = top_offset_ + dy;
  qint64 line = top_line_;
  while (offset < 0 && line > 0) offset += line_height(--line);
  while (line < last_line() && offset >= line_height(line)) offset -= line_height(line++);
  set_top(line, std::max<qreal>(offset, 0));
}

std::pair<qint64, qreal> TextView::max_top() const {
  if (max_top_) return *max_top_;
  qreal room = viewport()->height() - kMargin;
  qint64 line = last_line();
  for (;;) {
    const qreal h = line_height(line);
    if (h >= room) {
      max_top_ = std::pair(line, h - room);
      break;
    }
    room -= h;
    if (line == 0) {
      max_top_ = std::pair(qint64(0), qreal(0));
      break;
    }
    --line;
  }
  return *max_top_;
}

void TextView::clamp_top() {
  top_line_ = std::clamp<qint64>(top_line_, 0, last_line());
  top_offset_ = std::clamp<qreal>(top_offset_, 0, std::max<qreal>(line_height(top_line_) - 1, 0));
  // Far from the end (every line is a pixel tall at least) the view cannot go past it.
  if (top_line_ + viewport()->height() < last_line()) return;
  const auto [line, offset] = max_top();
  if (top_line_ > line || (top_line_ == line && top_offset_ > offset)) {
    top_line_ = line;
    top_offset_ = offset;
  }
}

void TextView::update_scroll_bar() {
  QScrollBar* bar = verticalScrollBar();
  bar_scale_ = int(std::max<qint64>(1, (known_lines_ >> 30) + 1));
  syncing_bar_ = true;
  // While the text is being read, the bar reaches to its last line so far; once it is read, to
  // the last line that may stand at the top (a page before it).
  bar->setRange(0, int((loading() ? last_line() : max_top().first) / bar_scale_));
  const int row = std::max(1, fontMetrics().lineSpacing());
  bar->setPageStep(std::max(1, viewport()->height() / row - 1));
  bar->setSingleStep(1);
  bar->setValue(int(top_line_ / bar_scale_));
  syncing_bar_ = false;
}

void TextView::scrollContentsBy(int, int) {
  // The view follows the scroll bar through its value (set_top); nothing to move here.
}

TextView::RowAt TextView::row_at(qreal y) const {
  qint64 line = top_line_;
  qreal top = -top_offset_;
  while (y < top && line > 0) top -= line_height(--line);
  for (;;) {
    const Laid& l = laid(line);
    if (y < top + l.height || line >= last_line()) {
      const int rows = l.layout->lineCount();
      int row = 0;
      while (row + 1 < rows && y >= top + l.layout->lineAt(row + 1).y()) ++row;
      return {line, row, top};
    }
    top += l.height;
    ++line;
  }
}

std::optional<qreal> TextView::line_top(qint64 line) const {
  const qreal page = viewport()->height();
  qreal top = -top_offset_;
  qint64 at = top_line_;
  while (at > line && top > -page) top -= line_height(--at);
  while (at < line && top < 2 * page) top += line_height(at++);
  if (at != line) return std::nullopt;
  return top;
}

// ---- Painting --------------------------------------------------------------------------------

void TextView::paintEvent(QPaintEvent*) {
  // No line of a file that changed since it was read is drawn among the new text's.
  take_in_file_change();
  QPainter painter(viewport());
  if (!text_) return;
  const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
  painter.setPen(palette().color(group, QPalette::Text));
  const qint64 lo = std::min(anchor_, caret_), hi = std::max(anchor_, caret_);
  const bool caret_visible = hasFocus() && caret_shown_;
  // The lines in sight, all of one reading of the text: a line read meanwhile may have found the
  // file changed, and then the lines are those of the new reading.
  std::vector<const Laid*> shown;
  qint64 line = top_line_;
  for (int tries = 0;; ++tries) {
    shown.clear();
    qreal height = -top_offset_;
    for (line = top_line_; line <= last_line() && height < viewport()->height(); ++line) {
      shown.push_back(&laid(line));
      height += shown.back()->height;
    }
    if (text_->generation() == generation_) break;
    // A file that keeps changing shows nothing until it has held still for one look.
    if (tries == 2) {
      shown.clear();
      line = top_line_;
      break;
    }
    take_in_text();
  }
  drawn_.clear();
  for (const Laid* l : shown) drawn_ << l->text;
  const qint64 caret_line = caret_visible ? text_->line_at(caret_) : -1;
  qreal y = -top_offset_;
  for (qint64 at = top_line_; at < top_line_ + qint64(shown.size()); ++at) {
    const Laid& l = *shown[size_t(at - top_line_)];
    const qint64 end = l.pos + l.text.size();
    QList<QTextLayout::FormatRange> selections;
    if (hi > lo && lo <= end && hi > l.pos) {
      QTextLayout::FormatRange range;
      range.start = int(std::max(lo, l.pos) - l.pos);
      range.length = int(std::min(hi, end + 1) - l.pos) - range.start;
      range.format.setBackground(palette().brush(group, QPalette::Highlight));
      range.format.setForeground(palette().brush(group, QPalette::HighlightedText));
      selections << range;
    }
    const QPointF point(kMargin, y);
    l.layout->draw(&painter, point, selections);
    if (at == caret_line) l.layout->drawCursor(&painter, point, int(caret_ - l.pos), 1);
    y += l.height;
  }
  last_painted_ = line - 1;
  trim_layouts(last_painted_);
}

// ---- Positions -------------------------------------------------------------------------------

qint64 TextView::clamp_pos(qint64 pos) const {
  return text_ ? std::clamp<qint64>(pos, 0, text_->length()) : 0;
}

qint64 TextView::position_at(QPoint point) const {
  if (!text_) return -1;
  const RowAt at = row_at(point.y());
  const Laid& l = laid(at.line);
  if (point.y() < at.top) return l.pos;
  if (point.y() >= at.top + l.height && at.line >= last_line()) return l.pos + l.text.size();
  const QTextLine row = l.layout->lineAt(at.row);
  return l.pos + row.xToCursor(point.x() - kMargin);
}

QRect TextView::character_rect(qint64 pos) const {
  if (!text_) return QRect();
  const qint64 line = text_->line_at(pos);
  const std::optional<qreal> top = line_top(line);
  if (!top) return QRect();
  const Laid& l = laid(line);
  const int local = int(pos - l.pos);
  const QTextLine row = l.layout->lineForTextPosition(local);
  if (!row.isValid()) return QRect();
  const qreal x = row.cursorToX(local);
  const qreal next = local < l.text.size() ? row.cursorToX(local + 1) : x + 1;
  return QRectF(kMargin + x, *top + row.y(), std::max<qreal>(next - x, 1), row.height())
      .toAlignedRect()
      .intersected(viewport()->rect());
}

std::pair<qint64, qint64> TextView::row_range(qint64 pos) const {
  if (!text_) return {0, 0};
  const Laid& l = laid(text_->line_at(pos));
  const QTextLine row = l.layout->lineForTextPosition(int(std::max<qint64>(pos - l.pos, 0)));
  if (!row.isValid()) return {l.pos, l.pos + l.text.size()};
  return {l.pos + row.textStart(), l.pos + row.textStart() + row.textLength()};
}

qreal TextView::caret_x(qint64 pos) const {
  const Laid& l = laid(text_->line_at(pos));
  const QTextLine row = l.layout->lineForTextPosition(int(pos - l.pos));
  return row.isValid() ? row.cursorToX(int(pos - l.pos)) : 0;
}

qint64 TextView::vertical_step(qint64 pos, int rows) const {
  qint64 line = text_->line_at(pos);
  const Laid& start = laid(line);
  const QTextLine here = start.layout->lineForTextPosition(int(pos - start.pos));
  const qreal x = desired_x_ >= 0 ? desired_x_ : caret_x(pos);
  qint64 target = (here.isValid() ? here.lineNumber() : 0) + qint64(rows);
  while (target < 0) {
    if (line == 0) return 0;
    target += laid(--line).layout->lineCount();
  }
  while (target >= laid(line).layout->lineCount()) {
    if (line >= last_line()) return text_->length();
    target -= laid(line++).layout->lineCount();
  }
  const Laid& l = laid(line);
  return l.pos + l.layout->lineAt(int(target)).xToCursor(x);
}

qint64 TextView::row_edge(qint64 pos, bool end) const {
  const Laid& l = laid(text_->line_at(pos));
  const QTextLine row = l.layout->lineForTextPosition(int(pos - l.pos));
  if (!row.isValid()) return pos;
  if (!end) return l.pos + row.textStart();
  qint64 edge = row.textStart() + row.textLength();
  // A wrapped row that ends with a space ends before it, as in a plain text editor.
  if (row.lineNumber() < l.layout->lineCount() - 1 && edge > 0 && l.text.at(edge - 1).isSpace()) {
    --edge;
  }
  return l.pos + edge;
}

qint64 TextView::word_edge(qint64 pos, bool forward) const {
  const Laid& l = laid(text_->line_at(pos));
  const int local = int(pos - l.pos);
  if (forward) {
    if (local >= l.text.size()) return clamp_pos(pos + 1);
    return l.pos + l.layout->nextCursorPosition(local, QTextLayout::SkipWords);
  }
  if (local <= 0) return clamp_pos(pos - 1);
  return l.pos + l.layout->previousCursorPosition(local, QTextLayout::SkipWords);
}

// ---- The caret and the selection -------------------------------------------------------------

void TextView::select_when_indexed(qint64 anchor, qint64 caret) {
  if (!text_ || text_->complete() || text_->length() >= std::max(anchor, caret)) {
    select(anchor, caret);
    return;
  }
  pending_selection_ = std::pair(anchor, caret);
  follow_end_ = selecting_all_ = false;
  // The text wakes the view as its index grows.
  following_ = true;
}

void TextView::select(qint64 anchor, qint64 caret) {
  pending_selection_.reset();
  const qint64 old_anchor = anchor_, old_caret = caret_;
  anchor_ = clamp_pos(anchor);
  caret_ = clamp_pos(caret);
  desired_x_ = -1;
  follow_end_ = selecting_all_ = false;
  if (text_) ensure_caret_visible();
  restart_blink();
  selection_changed(old_anchor, old_caret);
}

void TextView::select_all() {
  if (!text_) return;
  pending_selection_.reset();
  // The whole text is the file's as it is now.
  take_in_file_change();
  // As in a plain text editor, the view stays where it is.
  const qint64 old_anchor = anchor_, old_caret = caret_;
  anchor_ = 0;
  caret_ = text_->length();
  desired_x_ = -1;
  follow_end_ = false;
  selecting_all_ = loading();
  restart_blink();
  selection_changed(old_anchor, old_caret);
}

QString TextView::selected_text(qsizetype at_most) const {
  if (!text_ || anchor_ == caret_) return QString();
  const qint64 from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
  QString text = text_->text(from, at_most < 0 ? to : std::min<qint64>(to, from + at_most));
  watch_reading_anew();
  return text;
}

bool TextView::copy() {
  if (!text_ || anchor_ == caret_) return true;
  if (std::abs(caret_ - anchor_) > largest_copy_) return false;
  QString text;
  try {
    text = selected_text();
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
  return true;
}

void TextView::move_caret(qint64 pos, bool keep_anchor, bool remember_x) {
  pending_selection_.reset();
  const qint64 old_anchor = anchor_, old_caret = caret_;
  caret_ = clamp_pos(pos);
  if (!keep_anchor) anchor_ = caret_;
  if (remember_x) desired_x_ = -1;
  follow_end_ = selecting_all_ = false;
  ensure_caret_visible();
  restart_blink();
  selection_changed(old_anchor, old_caret);
}

void TextView::selection_changed(qint64 old_anchor, qint64 old_caret) {
  viewport()->update();
  if (old_anchor == anchor_ && old_caret == caret_) return;
  emit selectionChanged();
  if (!QAccessible::isActive()) return;
  QAccessibleTextCursorEvent cursor(this, clamp_int(caret_));
  QAccessible::updateAccessibility(&cursor);
  QAccessibleTextSelectionEvent selected(this, clamp_int(std::min(anchor_, caret_)),
                                         clamp_int(std::max(anchor_, caret_)));
  QAccessible::updateAccessibility(&selected);
}

void TextView::scroll_to(qint64 pos) {
  if (!text_) return;
  const qint64 keep = caret_;
  caret_ = clamp_pos(pos);
  ensure_caret_visible();
  caret_ = keep;
}

void TextView::ensure_caret_visible() {
  // The caret may stand in lines indexed since the view last looked.
  if (following_) take_in_text();
  const qint64 line = text_->line_at(caret_);
  const Laid& l = laid(line);
  const QTextLine row = l.layout->lineForTextPosition(int(caret_ - l.pos));
  const qreal row_top = row.isValid() ? row.y() : 0;
  const qreal row_height = row.isValid() ? row.height() : l.height;
  if (const std::optional<qreal> top = line_top(line)) {
    const qreal y0 = *top + row_top, y1 = y0 + row_height;
    if (y0 < 0) {
      scroll_by(y0);
    } else if (y1 > viewport()->height()) {
      scroll_by(y1 - viewport()->height());
    }
    return;
  }
  // Far away: the caret's row at the top when it lies above the view, else at the bottom.
  const bool above = line < top_line_;
  top_line_ = line;
  top_offset_ = row_top;
  if (above) {
    set_top(line, row_top);
  } else {
    scroll_by(row_height - viewport()->height());
  }
}

void TextView::restart_blink() {
  caret_shown_ = true;
  const int flash = QApplication::cursorFlashTime();
  if (hasFocus() && flash > 0) {
    blink_.start(flash / 2, this);
  } else {
    blink_.stop();
  }
}

// ---- Events ----------------------------------------------------------------------------------

bool TextView::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent* event) {
  if (!text_) {
    event->ignore();
    return;
  }
  if (event->matches(QKeySequence::Copy)) {
    if (!copy()) emit copyRefused();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    select_all();
    return;
  }
  const int page_rows =
      std::max(1, viewport()->height() / std::max(1, fontMetrics().lineSpacing()) - 1);
  struct Move {
    QKeySequence::StandardKey move, select;
  };
  const Move moves[] = {
      {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar},
      {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar},
      {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord},
      {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord},
      {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine},
      {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine},
      {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage},
      {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage},
      {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine},
      {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine},
      {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument},
      {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument},
  };
  for (const Move& m : moves) {
    const bool extend = event->matches(m.select);
    if (!extend && !event->matches(m.move)) continue;
    const Laid& l = laid(text_->line_at(caret_));
    const int local = int(caret_ - l.pos);
    qint64 to = caret_;
    bool vertical = false;
    switch (m.move) {
      case QKeySequence::MoveToNextChar:
        to = local < l.text.size() ? l.pos + l.layout->nextCursorPosition(local) : caret_ + 1;
        break;
      case QKeySequence::MoveToPreviousChar:
        to = local > 0 ? l.pos + l.layout->previousCursorPosition(local) : caret_ - 1;
        break;
      case QKeySequence::MoveToNextWord:
        to = word_edge(caret_, true);
        break;
      case QKeySequence::MoveToPreviousWord:
        to = word_edge(caret_, false);
        break;
      case QKeySequence::MoveToNextLine:
      case QKeySequence::MoveToPreviousLine:
      case QKeySequence::MoveToNextPage:
      case QKeySequence::MoveToPreviousPage: {
        vertical = true;
        const bool page =
            m.move == QKeySequence::MoveToNextPage || m.move == QKeySequence::MoveToPreviousPage;
        const bool down =
            m.move == QKeySequence::MoveToNextLine || m.move == QKeySequence::MoveToNextPage;
        const int rows = (page ? page_rows : 1) * (down ? 1 : -1);
        if (desired_x_ < 0) desired_x_ = caret_x(caret_);
        if (page) scroll_by(rows * fontMetrics().lineSpacing());
        to = vertical_step(caret_, rows);
        break;
      }
      case QKeySequence::MoveToStartOfLine:
        to = row_edge(caret_, false);
        break;
      case QKeySequence::MoveToEndOfLine:
        to = row_edge(caret_, true);
        break;
      case QKeySequence::MoveToStartOfDocument:
        to = 0;
        break;
      case QKeySequence::MoveToEndOfDocument:
        to = text_->length();
        break;
      default:
        break;
    }
    move_caret(to, extend, !vertical);
    // Ctrl+End while the text is still being read: the caret follows its end as it grows.
    if (m.move == QKeySequence::MoveToEndOfDocument) follow_end_ = loading();
    return;
  }
  event->ignore();
}

void TextView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !text_) {
    event->ignore();
    return;
  }
  const QPoint point = event->position().toPoint();
  const qint64 pos = position_at(point);
  if (triple_click_.isActive() &&
      (point - drag_point_).manhattanLength() < QApplication::startDragDistance()) {
    // A third click selects the view line with its line end.
    triple_click_.stop();
    clicks_ = 3;
    const IndexedText::Line line = text_->line(text_->line_at(pos));
    select(line.pos, clamp_pos(line.pos + line.text.size() + 1));
    dragging_ = true;
    return;
  }
  clicks_ = 1;
  drag_point_ = point;
  dragging_ = true;
  move_caret(pos, event->modifiers() & Qt::ShiftModifier);
}

void TextView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton) || !text_) return;
  drag_point_ = event->position().toPoint();
  const bool outside = drag_point_.y() < 0 || drag_point_.y() >= viewport()->height();
  if (outside && !autoscroll_.isActive()) autoscroll_.start();
  if (!outside) autoscroll_.stop();
  const qint64 pos = position_at(drag_point_);
  if (clicks_ == 2) {
    // Word by word: the selection keeps the word double-clicked first.
    const qint64 lo = std::min(anchor_, caret_), hi = std::max(anchor_, caret_);
    if (pos < lo) {
      move_caret(word_edge(std::min(pos + 1, text_->length()), false), true);
    } else if (pos > hi) {
      move_caret(word_edge(std::max<qint64>(pos - 1, 0), true), true);
    }
    return;
  }
  move_caret(pos, true);
}

void TextView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging_) {
    dragging_ = false;
    autoscroll_.stop();
    // As any text view on X11: the selection is also the primary selection.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && anchor_ != caret_ &&
        std::abs(anchor_ - caret_) <= kPrimarySelectionChars) {
      const QString text = selected_text();
      if (!text.isEmpty()) clipboard->setText(text, QClipboard::Selection);
    }
  }
  event->ignore();
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !text_) {
    event->ignore();
    return;
  }
  const qint64 pos = position_at(event->position().toPoint());
  const IndexedText::Line line = text_->line(text_->line_at(pos));
  const int local = int(std::clamp<qint64>(pos - line.pos, 0, line.text.size()));
  QTextBoundaryFinder finder(QTextBoundaryFinder::Word, line.text);
  finder.setPosition(local);
  qsizetype start = finder.boundaryReasons().testFlag(QTextBoundaryFinder::StartOfItem)
                        ? local
                        : finder.toPreviousBoundary();
  if (start < 0) start = 0;
  finder.setPosition(start);
  qsizetype end = finder.toNextBoundary();
  if (end < 0) end = line.text.size();
  select(line.pos + start, line.pos + end);
  clicks_ = 2;
  dragging_ = true;
  drag_point_ = event->position().toPoint();
  triple_click_.start(QApplication::doubleClickInterval(), this);
}

void TextView::wheelEvent(QWheelEvent* event) {
  if (!text_ || event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) {
    event->ignore();
    return;
  }
  qreal dy = 0;
  if (!event->pixelDelta().isNull()) {
    dy = -event->pixelDelta().y();
  } else {
    dy = -event->angleDelta().y() / 120.0 * QApplication::wheelScrollLines() *
         fontMetrics().lineSpacing();
  }
  scroll_by(dy);
  event->accept();
}

void TextView::autoscroll() {
  if (!dragging_) {
    autoscroll_.stop();
    return;
  }
  const int row = fontMetrics().lineSpacing();
  if (drag_point_.y() < 0) scroll_by(-row);
  if (drag_point_.y() >= viewport()->height()) scroll_by(row);
  const QPoint inside(drag_point_.x(), std::clamp(drag_point_.y(), 0, viewport()->height() - 1));
  move_caret(position_at(inside), true);
}

void TextView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  restart_blink();
  viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blink_.stop();
  viewport()->update();
}

void TextView::timerEvent(QTimerEvent* event) {
  if (event->timerId() == blink_.timerId()) {
    caret_shown_ = !caret_shown_;
    viewport()->update();
    return;
  }
  if (event->timerId() == triple_click_.timerId()) {
    triple_click_.stop();
    return;
  }
  QAbstractScrollArea::timerEvent(event);
}

void TextView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  max_top_.reset();
  clamp_top();
  update_scroll_bar();
}

void TextView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    forget_layouts();
    clamp_top();
    update_scroll_bar();
    viewport()->update();
  }
}

void TextView::take_in_text() {
  if (!text_) {
    following_ = false;
    return;
  }
  const bool complete = text_->complete();
  // The view is caught up with a complete text once this look is done; until then it follows
  // the text, whoever began its reading.
  following_ = !complete;
  const bool read_anew = text_->generation() != generation_;
  if (read_anew) {
    // The text was read anew (in another encoding, or from a file that changed): its lines and
    // positions changed. The caret stays where it can; a selection of the old text is no
    // selection of the new one, save the whole text selected while it is read.
    generation_ = text_->generation();
    forget_layouts();
    const qint64 old_anchor = anchor_, old_caret = caret_;
    caret_ = clamp_pos(caret_);
    anchor_ = selecting_all_ ? 0 : caret_;
    dragging_ = false;
    autoscroll_.stop();
    if (old_anchor != anchor_ || old_caret != caret_) selection_changed(old_anchor, old_caret);
  }
  const qint64 lines = text_->line_count();
  if (lines != known_lines_ || read_anew) take_in_lines(lines, read_anew, complete);
  if (pending_selection_ && (complete || text_->length() >= std::max(pending_selection_->first,
                                                                     pending_selection_->second))) {
    const auto [anchor, caret] = *pending_selection_;
    select(anchor, caret);
  }
  run_reading();
}

void TextView::run_reading() {
  if (!text_ || !text_->needs_reader()) return;
  try {
    runner_.start(
        reading_,
        [text = text_](const JobControl& control) {
          text->read(control);
          return true;
        },
        // The reading has ended (the text is complete, or someone else runs the reading now):
        // the view takes in its end.
        [this](std::optional<bool>) { take_in_text(); });
  } catch (const std::system_error&) {
    // No thread to be had: the text is what is indexed so far.
    reading_.cancel();
    text_->end_reading();
  }
}

void TextView::take_in_lines(qint64 lines, bool read_anew, bool complete) {
  const qint64 before = known_lines_;
  known_lines_ = lines;
  // Lines never change as more of the text is indexed; only the last line of an empty text so
  // far may have been a placeholder.
  layouts_.erase(std::max<qint64>(before - 1, 0));
  max_top_.reset();
  if (follow_end_) {
    const bool extend = anchor_ != caret_;
    move_caret(text_->length(), extend);
    follow_end_ = !complete;
  } else if (selecting_all_) {
    const qint64 old_caret = caret_;
    caret_ = text_->length();
    selection_changed(anchor_, old_caret);
    selecting_all_ = !complete;
  }
  if (read_anew) clamp_top();
  update_scroll_bar();
  // New lines change the view only where it showed the last line so far.
  if (read_anew || before <= last_painted_ + 1 || selecting_all_) viewport()->update();
}

}  // namespace tarvex
