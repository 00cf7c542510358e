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

  QPlainTextEdit* edit_;
};

}  // namespace tarvex
