#include "display/text_pane.h"

#include "display/drop_data.h"
#include "display/text_loader.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

namespace tarvex {

TextPane::TextPane(QWidget* parent) : QWidget(parent), edit_(new QPlainTextEdit(this)) {
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
  edit_->setPlainText(text);
}

QString TextPane::text() const {
  return edit_->toPlainText();
}

QString TextPane::selected_text() const {
  QString text = edit_->textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, u'\n');
  return text;
}

void TextPane::select(int start, int length) {
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
  if (pane_accepts_drop(event->mimeData())) event->acceptProposedAction();
}

void TextPane::dragMoveEvent(QDragMoveEvent* event) {
  event->acceptProposedAction();
}

void TextPane::dropEvent(QDropEvent* event) {
  const std::optional<PaneDrop> drop = read_pane_drop(event->mimeData());
  if (!drop) return;
  event->acceptProposedAction();
  if (drop->from_file_box) {
    emit fileBoxDropped();
  } else {
    emit filesDropped(drop->files);
  }
}

void TextPane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  edit_->setGeometry(rect());
}

}  // namespace tarvex
