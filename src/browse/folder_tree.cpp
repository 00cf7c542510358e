#include "browse/folder_tree.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>

namespace tarvex {

// The style's icons follow the desktop's icon theme where it has one.
FolderTree::FolderIcons::FolderIcons()
    : folder_(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
      drive_(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon)) {}

QIcon FolderTree::FolderIcons::icon(IconType type) const {
  return type == Drive || type == Computer ? drive_ : folder_;
}

QIcon FolderTree::FolderIcons::icon(const QFileInfo& info) const {
  return info.isRoot() ? drive_ : folder_;
}

QString FolderTree::FolderIcons::type(const QFileInfo&) const {
  return QStringLiteral("フォルダ");
}

FolderTree::FolderTree(QWidget* parent)
    : QTreeView(parent),
      icons_(std::make_unique<FolderIcons>()),
      model_(new QFileSystemModel(this)) {
  model_->setIconProvider(icons_.get());
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
  // Rows arriving or sorted above the folder move it: scroll it back into view once they settle,
  // until the user takes the tree over.
  scroll_later_.setSingleShot(true);
  scroll_later_.setInterval(0);
  connect(&scroll_later_, &QTimer::timeout, this, [this] {
    if (revealing_) scroll_to_current();
  });
  const auto scroll_soon = [this] {
    if (revealing_) scroll_later_.start();
  };
  connect(model_, &QAbstractItemModel::layoutChanged, this, scroll_soon);
  connect(model_, &QAbstractItemModel::rowsInserted, this, scroll_soon);
  // Every row is one folder name in one font beside one icon: the view need not measure each
  // row's height, which it would do for every folder of a long listing.
  setUniformRowHeights(true);
  header()->hide();
  // The one column is as wide as its deepest folder name, so a deep folder can be scrolled to
  // sideways instead of being cut at the tree's edge.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
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

// The model goes before the icons it uses.
FolderTree::~FolderTree() {
  setModel(nullptr);
  delete model_;
}

void FolderTree::set_show_hidden(bool on) {
  const QDir::Filters base = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives;
  model_->setFilter(on ? base | QDir::Hidden : base);
}

void FolderTree::set_current_path(const QString& folder) {
  current_path_ = QDir::cleanPath(QDir(folder).absolutePath());
  revealing_ = true;
  reveal_current();
}

void FolderTree::reveal_current() {
  if (!painted_) return;
  const QModelIndex index = model_->index(current_path_);
  if (!index.isValid()) return;
  // Open the ancestors from the top, one level at a time: a folder is opened only once the view
  // shows its row, that is once its parent's listing has arrived (each arrival comes back here).
  // Opening a folder the view does not show yet is remembered but never drawn.
  QList<QModelIndex> chain;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) chain.prepend(up);
  executeDelayedItemsLayout();
  for (const QModelIndex& up : chain) {
    if (!visualRect(up).isValid()) return;
    if (!isExpanded(up)) {
      expand(up);
      executeDelayedItemsLayout();
    }
  }
  if (!visualRect(index).isValid()) return;
  setCurrentIndex(index);
  scroll_to_current();
}

void FolderTree::scroll_to_current() {
  const QModelIndex index = currentIndex();
  if (!index.isValid()) return;
  scrollTo(index, QAbstractItemView::PositionAtCenter);
  // Sideways, the folder's name starts one indentation step from the left edge.
  QScrollBar* sideways = horizontalScrollBar();
  sideways->setValue(sideways->value() + visualRect(index).left() - indentation());
}

void FolderTree::paintEvent(QPaintEvent* event) {
  QTreeView::paintEvent(event);
  if (painted_) return;
  // The window is on the screen: now the start folder is opened out, right after this paint.
  painted_ = true;
  QTimer::singleShot(0, this, [this] {
    if (revealing_) reveal_current();
  });
}

void FolderTree::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  // The window's layout gives the tree its size after the folder was shown: keep it in view.
  if (revealing_) scroll_later_.start();
}

void FolderTree::mousePressEvent(QMouseEvent* event) {
  revealing_ = false;
  QTreeView::mousePressEvent(event);
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
  revealing_ = false;
  QTreeView::keyPressEvent(event);
}

void FolderTree::wheelEvent(QWheelEvent* event) {
  revealing_ = false;
  QTreeView::wheelEvent(event);
}

}  // namespace tarvex
