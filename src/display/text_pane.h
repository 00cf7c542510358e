#pragma once

#include <QWidget>

#include <memory>

class QPlainTextEdit;

namespace tarvex {

class IndexedText;
class TextView;
struct RtfDocument;

// A read-only text view with selection and focus: load a file, set the whole text, read the text
// and the selection, select, focus, show and hide. A plain text is shown by a view that reads
// only what it shows, so that a text of any size opens at once; a rich text keeps its formats.
// Positions count characters as shown, a line end one. Nothing outside the pane depends on the
// widgets inside it.
class TextPane final : public QWidget {
  Q_OBJECT
 public:
  explicit TextPane(QWidget* parent = nullptr);
  ~TextPane() override;

  // Replaces the content with the file's; false (content unchanged) when it cannot be read.
  bool load_file(const QString& path);
  void set_text(const QString& text);
  // Shows the text `other` shows: the very text of a plain text (read once for both panes), the
  // characters of a rich one, as a plain text from its top.
  void show_text_of(const TextPane& other);
  // The whole text as shown, line ends as "\n" (waits until a long text is read to its end).
  QString text() const;
  // The selected text; with `at_most`, no more than its first that many characters, so that a
  // long selection is not read whole for a use that takes no more.
  QString selected_text(qsizetype at_most = -1) const;
  // Selects; a place the index of a long text has not reached yet is selected once it does.
  void select(qint64 start, qint64 length);
  void focus();
  bool focused() const;
  // Copies the selection to the clipboard; a selection too large to be held is not copied, and
  // copyRefused() tells it (as it does for Ctrl+C).
  void copy_selection();
  // True while a long plain text is still being indexed; it can be read, scrolled and searched
  // meanwhile.
  bool loading() const;
  // The text as shown, for searching it: the plain text, or the characters of a rich text.
  std::shared_ptr<IndexedText> shown_text() const;

  // The drag token of this window's file box: only its drags are taken as the file box's.
  void set_file_box_token(const QByteArray& token) { file_box_token_ = token; }

 signals:
  void mouseReleased(Qt::MouseButton button, const QPoint& global_pos);
  void fileBoxDropped();
  void filesDropped(const QStringList& paths);
  void focusGained();
  void copyRefused();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void show_plain(std::shared_ptr<IndexedText> text);
  void show_rich(const RtfDocument& doc);
  bool rich() const;
  QWidget* shown_widget() const;

  TextView* view_;
  QPlainTextEdit* edit_;
  QString rich_text_;  // the characters of the rich text shown
  QByteArray file_box_token_;
};

}  // namespace tarvex
