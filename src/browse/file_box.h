#pragma once

#include "browse/file_filter.h"

#include <QListView>

class QStringListModel;

namespace tarvex {

// The file box: the files of one folder that match its pattern and attribute switches, in name
// order. A left-button drag carries the selected file's URL (so other programs take the drop
// too) and a marker that tells Tarvex's own panes the drag came from here.
class FileBox final : public QListView {
  Q_OBJECT
 public:
  explicit FileBox(QWidget* parent = nullptr);

  QString path() const { return path_; }
  // Moves to `folder`; false, with the box left where it was, when the folder cannot be listed.
  bool set_path(const QString& folder);
  QString pattern() const { return pattern_; }
  void set_pattern(const QString& pattern);
  FileAttributes attributes() const { return attributes_; }
  void set_attributes(const FileAttributes& attributes);
  // Re-reads the folder, keeping the selected name selected when it is still there.
  void refresh();

  int list_index() const;  // −1 while nothing is selected
  void set_list_index(int index);
  QString file_name() const;  // the selected entry's text, "" when none
  QStringList entries() const;
  // The token this file box's drags carry in their marker; unique to this file box.
  QByteArray drag_token() const { return drag_token_; }
  // True for a listed name that is not valid in the file system's encoding: it shows with
  // replacement characters and no file can be opened by it.
  bool is_unreadable_name(const QString& name) const { return unreadable_.contains(name); }

 signals:
  void mouseReleased(Qt::MouseButton button, const QPoint& global_pos);
  // The attribute switches were set (the folder tree follows the hidden switch).
  void attributesChanged();
  // Enter was pressed in the box: the keyboard's double-click.
  void enterPressed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool relist(const QString& folder);

  QStringListModel* model_;
  QString path_;
  QString pattern_;
  QStringList unreadable_;
  QByteArray drag_token_;
  FileAttributes attributes_;
  QPoint press_pos_;
  bool pressed_ = false;
};

}  // namespace tarvex
