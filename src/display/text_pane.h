#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace tarvex {

struct RtfDocument;

// A read-only text view with selection and focus: load a file, set the whole text, read the text
// and the selection, select, focus, show and hide. Nothing outside the pane depends on the
// widget inside it.
class TextPane final : public QWidget {
  Q_OBJECT
 public:
  explicit TextPane(QWidget* parent = nullptr);

  // Replaces the content with the file's; false (content unchanged) when it cannot be read.
  bool load_file(const QString& path);
  void set_text(const QString& text);
  QString text() const;
  QString selected_text() const;
  void select(int start, int length);
  void focus();
  bool focused() const;
  // Copies the selection to the clipboard.
  void copy_selection() const;
  // True while a long text is still being added to the view.
  bool loading() const { return pending_from_ < pending_.size(); }

  // A long text shows its first slice at once; the rest follows in slices of this many
  // characters from the event loop, so the window stays alive. Reading the text, or selecting
  // in it, completes the load first.
  static constexpr qsizetype kSliceChars = 256 * 1024;

  // The drag token of this window's file box: only its drags are taken as the file box's.
  void set_file_box_token(const QByteArray& token) { file_box_token_ = token; }

 signals:
  void mouseReleased(Qt::MouseButton button, const QPoint& global_pos);
  void fileBoxDropped();
  void filesDropped(const QStringList& paths);
  void focusGained();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void show_rich(const RtfDocument& doc);
  void cancel_loading();
  // Adds the next slice of the pending text; false when nothing is left.
  bool append_slice() const;
  void finish_loading() const;

  QPlainTextEdit* edit_;
  class QTimer* slicer_;
  mutable QString pending_;
  mutable qsizetype pending_from_ = 0;
  QByteArray file_box_token_;
};

}  // namespace tarvex
