#pragma once

#include <QTreeView>

class QFileSystemModel;

namespace tarvex {

// The folder tree: every folder from the file-system root "/", folders only. It reports a folder
// chosen by the user and can be moved to a folder by the program.
class FolderTree final : public QTreeView {
  Q_OBJECT
 public:
  explicit FolderTree(QWidget* parent = nullptr);

  QString current_path() const { return current_path_; }
  // Selects `folder` without reporting it as the user's choice.
  void set_current_path(const QString& folder);

 signals:
  void folderSelected();

 private:
  void reveal_current();

  QFileSystemModel* model_;
  QString current_path_;
  // The folder set by the program, shown again as the model loads its ancestors.
  bool revealing_ = false;
};

}  // namespace tarvex
