#include "display/text_pane.h"

#include "display/drop_data.h"
#include "display/text_view.h"
#include "text/text_index.h"
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

namespace tarvex {

TextPane::TextPane(QWidget* parent)
    : QWidget(parent), view_(new TextView(this)), edit_(new QPlainTextEdit(this)) {
  edit_->setReadOnly(true);
  edit_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit_->document()->setUndoRedoEnabled(false);
  for (QAbstractScrollArea* area : std::initializer_list<QAbstractScrollArea*>{view_, edit_}) {
    area->setAcceptDrops(false);
    area->setContextMenuPolicy(Qt::NoContextMenu);
    area->viewport()->setAcceptDrops(false);
    area->viewport()->installEventFilter(this);
    area->installEventFilter(this);
  }
  edit_->hide();
  setFocusProxy(view_);
  setAcceptDrops(true);
  connect(view_, &TextView::copyRefused, this, &TextPane::copyRefused);
  show_plain(IndexedText::from_string(QString()));
}

TextPane::~TextPane() = default;

bool TextPane::load_file(const QString& path) {
  std::optional<LoadedText> loaded = load_text_file(path);
  if (!loaded) return false;
  if (loaded->rich) {
    show_rich(loaded->rtf);
  } else {
    show_plain(std::move(loaded->plain));
  }
  return true;
}

void TextPane::set_text(const QString& text) {
  show_plain(IndexedText::from_string(text));
}

void TextPane::show_text_of(const TextPane& other) {
  show_plain(other.shown_text());
}

void TextPane::show_plain(std::shared_ptr<IndexedText> text) {
  const bool had_focus = edit_->hasFocus();
  rich_text_.clear();
  edit_->clear();
  edit_->hide();
  view_->set_text(std::move(text));
  view_->setGeometry(rect());
  view_->show();
  setFocusProxy(view_);
  if (had_focus) view_->setFocus(Qt::OtherFocusReason);
}

void TextPane::show_rich(const RtfDocument& doc) {
  const bool had_focus = view_->hasFocus();
  view_->set_text(nullptr);
  view_->hide();
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
  rich_text_ = doc.plain_text();
  edit_->moveCursor(QTextCursor::Start);
  edit_->setAccessibleName(accessibleName());
  edit_->setGeometry(rect());
  edit_->show();
  setFocusProxy(edit_);
  if (had_focus) edit_->setFocus(Qt::OtherFocusReason);
}

bool TextPane::rich() const {
  return !edit_->isHidden();
}

QWidget* TextPane::shown_widget() const {
  return rich() ? static_cast<QWidget*>(edit_) : view_;
}

std::shared_ptr<IndexedText> TextPane::shown_text() const {
  return rich() ? IndexedText::from_string(rich_text_) : view_->text();
}

QString TextPane::text() const {
  if (rich()) return rich_text_;
  const std::shared_ptr<IndexedText>& t = view_->text();
  // A file found changed while it is read is read anew: the text is the new one, whole. A file
  // that keeps changing, or can no longer be read, gives what one reading gave, or nothing.
  QString text;
  for (int tries = 0; tries < 3; ++tries) {
    t->wait_until_complete();
    text = t->text(0, t->length());
    if (!text.isNull() || t->length() == 0) break;
  }
  return text;
}

QString TextPane::selected_text(qsizetype at_most) const {
  if (!rich()) return view_->selected_text(at_most);
  QString text = edit_->textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, u'\n');
  return at_most < 0 ? text : text.left(at_most);
}

void TextPane::select(qint64 start, qint64 length) {
  if (rich()) {
    QTextCursor cursor(edit_->document());
    const qint64 end_of_text = edit_->document()->characterCount() - 1;
    cursor.setPosition(int(std::clamp<qint64>(start, 0, end_of_text)));
    cursor.setPosition(int(std::clamp<qint64>(start + length, 0, end_of_text)),
                       QTextCursor::KeepAnchor);
    edit_->setTextCursor(cursor);
    return;
  }
  // A place beyond the text indexed so far is selected once the index reaches it; the window
  // does not wait for it meanwhile.
  view_->select_when_indexed(start, start + length);
}

void TextPane::focus() {
  shown_widget()->setFocus(Qt::OtherFocusReason);
}

bool TextPane::focused() const {
  return shown_widget()->hasFocus();
}

void TextPane::copy_selection() {
  if (!rich()) {
    if (!view_->copy()) emit copyRefused();
    return;
  }
  const QString text = selected_text();
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

bool TextPane::loading() const {
  return !rich() && view_->loading();
}

bool TextPane::eventFilter(QObject* watched, QEvent* event) {
  QWidget* viewport = rich() ? edit_->viewport() : view_->viewport();
  if (watched == viewport && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    // The view finishes its own selection first, then the window sees the release.
    viewport->removeEventFilter(this);
    QCoreApplication::sendEvent(viewport, event);
    viewport->installEventFilter(this);
    emit mouseReleased(mouse->button(), mouse->globalPosition().toPoint());
    return true;
  }
  if (watched == shown_widget() && event->type() == QEvent::FocusIn) emit focusGained();
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
  view_->setGeometry(rect());
  edit_->setGeometry(rect());
}

}  // namespace tarvex
