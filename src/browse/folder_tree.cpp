#include "browse/folder_tree.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>

namespace tarvex {

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setReadOnly(true);
  model_->setRootPath(QString());
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  // The model loads folders in the background: as the start folder's ancestors arrive, the
  // start folder is opened out and scrolled into view again.
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this] {
    if (revealing_) reveal_current();
  });
  header()->hide();
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (!current.isValid()) return;
            const QString path = model_->filePath(current);
            // A current row the view picks by itself for a folder already shown is no choice.
            if (path == current_path_) return;
            revealing_ = false;
            current_path_ = path;
            emit folderSelected();
          });
}

void FolderTree::set_current_path(const QString& folder) {
  current_path_ = QDir::cleanPath(QDir(folder).absolutePath());
  revealing_ = true;
  reveal_current();
}

void FolderTree::reveal_current() {
  const QModelIndex index = model_->index(current_path_);
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
  setCurrentIndex(index);
  scrollTo(index, QAbstractItemView::PositionAtCenter);
}

}  // namespace tarvex
