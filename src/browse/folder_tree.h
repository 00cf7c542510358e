#pragma once

#include <QAbstractFileIconProvider>
#include <QIcon>
#include <QTimer>
#include <QTreeView>

#include <memory>

class QFileSystemModel;

namespace tarvex {

// The folder tree: every folder from the file-system root "/", folders only. It reports a folder
// chosen by the user and can be moved to a folder by the program.
class FolderTree final : public QTreeView {
  Q_OBJECT
 public:
  explicit FolderTree(QWidget* parent = nullptr);
  ~FolderTree() override;

  QString current_path() const { return current_path_; }
  // Selects `folder` without reporting it as the user's choice.
  void set_current_path(const QString& folder);
  // Lists hidden folders (names starting with a dot) too.
  void set_show_hidden(bool on);

 signals:
  void folderSelected();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  // The user taking the tree over ends the program's reveal of its folder.
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void reveal_current();
  // Scrolls the current folder to the middle of the tree, its name in view.
  void scroll_to_current();

  // The icons of the folders, without the MIME database: the tree lists folders only, and the
  // model's own provider would look up every folder's type there, which costs start-up more than
  // listing the folders does.
  class FolderIcons final : public QAbstractFileIconProvider {
   public:
    FolderIcons();
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;

   private:
    QIcon folder_, drive_;
  };
  std::unique_ptr<FolderIcons> icons_;
  QFileSystemModel* model_;
  QString current_path_;
  // The folder set by the program, shown again as the model loads its ancestors.
  bool revealing_ = false;
  // The tree has been drawn once: before that, opening folders would only delay the window's
  // first appearance.
  bool painted_ = false;
  QTimer scroll_later_;
};

}  // namespace tarvex
