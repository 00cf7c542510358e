#include "display/text_pane.h"

#include "display/drop_data.h"
#include "text/text_loader.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>

namespace tarvex {

namespace {

// Where the slice that starts at `from` ends: after the last line end within the slice, so that
// slices join without splitting a line; a slice without one ends at its full length.
qsizetype slice_end(const QString& text, qsizetype from, qsizetype max_chars) {
  const qsizetype end = std::min(text.size(), from + max_chars);
  if (end == text.size()) return end;
  const qsizetype lf = text.lastIndexOf(u'\n', end - 1);
  return lf >= from ? lf + 1 : end;
}

}  // namespace

TextPane::TextPane(QWidget* parent)
    : QWidget(parent), edit_(new QPlainTextEdit(this)), slicer_(new QTimer(this)) {
  slicer_->setInterval(0);
  connect(slicer_, &QTimer::timeout, this, [this] {
    if (!append_slice()) slicer_->stop();
  });
  edit_->setReadOnly(true);
  edit_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit_->setAcceptDrops(false);
  edit_->setContextMenuPolicy(Qt::NoContextMenu);
  edit_->viewport()->setAcceptDrops(false);
  edit_->viewport()->installEventFilter(this);
  edit_->installEventFilter(this);
  setFocusProxy(edit_);
  setAcceptDrops(true);
}

bool TextPane::load_file(const QString& path) {
  const std::optional<LoadedText> loaded = load_text_file(path);
  if (!loaded) return false;
  if (loaded->rich) {
    show_rich(loaded->rtf);
  } else {
    set_text(loaded->plain);
  }
  return true;
}

void TextPane::show_rich(const RtfDocument& doc) {
  cancel_loading();
  edit_->clear();
  QTextCursor cursor(edit_->document());
  for (const RtfRun& run : doc.runs) {
    QTextCharFormat format;
    format.setFontWeight(run.format.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(run.format.italic);
    format.setFontUnderline(run.format.underline);
    format.setFontStrikeOut(run.format.strike);
    format.setFontPointSize(run.format.half_points / 2.0);
    if (run.format.color > 0 && run.format.color < doc.colors.size() &&
        doc.colors[run.format.color].isValid()) {
      format.setForeground(doc.colors[run.format.color]);
    }
    // Blocks of the plain-text document are separated by paragraph breaks.
    const QStringList paragraphs = run.text.split(u'\n');
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
      if (i > 0) cursor.insertBlock();
      cursor.insertText(paragraphs[i], format);
    }
  }
  edit_->moveCursor(QTextCursor::Start);
}

void TextPane::set_text(const QString& text) {
  cancel_loading();
  const qsizetype first = slice_end(text, 0, kSliceChars);
  if (first == text.size()) {
    edit_->setPlainText(text);
    return;
  }
  // A view of a read-only text keeps no undo history; without it the slices go in faster.
  edit_->document()->setUndoRedoEnabled(false);
  edit_->setPlainText(text.left(first));
  pending_ = text;
  pending_from_ = first;
  slicer_->start();
}

void TextPane::cancel_loading() {
  slicer_->stop();
  pending_.clear();
  pending_from_ = 0;
}

bool TextPane::append_slice() const {
  if (!loading()) return false;
  const qsizetype end = slice_end(pending_, pending_from_, kSliceChars);
  QTextCursor cursor(edit_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(pending_.mid(pending_from_, end - pending_from_));
  pending_from_ = end;
  if (!loading()) {
    pending_.clear();
    pending_from_ = 0;
  }
  return loading();
}

void TextPane::finish_loading() const {
  while (append_slice()) {
  }
  slicer_->stop();
}

QString TextPane::text() const {
  finish_loading();
  return edit_->toPlainText();
}

QString TextPane::selected_text() const {
  QString text = edit_->textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, u'\n');
  return text;
}

void TextPane::select(int start, int length) {
  finish_loading();
  QTextCursor cursor(edit_->document());
  const int end_of_text = edit_->document()->characterCount() - 1;
  cursor.setPosition(std::clamp(start, 0, end_of_text));
  cursor.setPosition(std::clamp(start + length, 0, end_of_text), QTextCursor::KeepAnchor);
  edit_->setTextCursor(cursor);
}

void TextPane::focus() {
  edit_->setFocus(Qt::OtherFocusReason);
}

bool TextPane::focused() const {
  return edit_->hasFocus();
}

void TextPane::copy_selection() const {
  const QString text = selected_text();
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

bool TextPane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_->viewport() && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    // The view finishes its own selection first, then the window sees the release.
    edit_->viewport()->removeEventFilter(this);
    QCoreApplication::sendEvent(edit_->viewport(), event);
    edit_->viewport()->installEventFilter(this);
    emit mouseReleased(mouse->button(), mouse->globalPosition().toPoint());
    return true;
  }
  if (watched == edit_ && event->type() == QEvent::FocusIn) emit focusGained();
  return QWidget::eventFilter(watched, event);
}

void TextPane::dragEnterEvent(QDragEnterEvent* event) {
  if (pane_accepts_drop(event->mimeData(), file_box_token_)) event->acceptProposedAction();
}

void TextPane::dragMoveEvent(QDragMoveEvent* event) {
  event->acceptProposedAction();
}

void TextPane::dropEvent(QDropEvent* event) {
  take_pane_drop(
      event, file_box_token_, [this] { emit fileBoxDropped(); },
      [this](const QStringList& files) { emit filesDropped(files); });
}

void TextPane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  edit_->setGeometry(rect());
}

}  // namespace tarvex
