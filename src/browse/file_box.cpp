#include "browse/file_box.h"

#include "platform/drag_formats.h"
#include "platform/paths.h"

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QStringListModel>
#include <QUrl>

namespace tarvex {

FileBox::FileBox(QWidget* parent) : QListView(parent), model_(new QStringListModel(this)) {
  // Random, so that no other window (of this or another Tarvex) carries the same token.
  QRandomGenerator* random = QRandomGenerator::system();
  drag_token_ = QByteArray::number(random->generate64(), 16) + '-' +
                QByteArray::number(random->generate64(), 16);
  setModel(model_);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setLayoutMode(QListView::Batched);
  setBatchSize(500);
}

bool FileBox::relist(const QString& folder) {
  QStringList unreadable;
  std::optional<QStringList> names = list_files(folder, pattern_, attributes_, &unreadable);
  if (!names) return false;
  unreadable_ = std::move(unreadable);
  const QString selected = file_name();
  const bool same_folder = folder == path_;
  path_ = folder;
  model_->setStringList(*names);
  if (same_folder && !selected.isEmpty()) {
    const qsizetype at = names->indexOf(selected);
    if (at >= 0) set_list_index(static_cast<int>(at));
  }
  return true;
}

bool FileBox::set_path(const QString& folder) {
  return relist(folder);
}

void FileBox::set_pattern(const QString& pattern) {
  pattern_ = pattern;
  if (!path_.isEmpty()) relist(path_);
}

void FileBox::set_attributes(const FileAttributes& attributes) {
  attributes_ = attributes;
  if (!path_.isEmpty()) relist(path_);
  emit attributesChanged();
}

void FileBox::refresh() {
  if (!path_.isEmpty() && !relist(path_)) {
    model_->setStringList({});
    unreadable_.clear();
  }
}

int FileBox::list_index() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.front().row();
}

void FileBox::set_list_index(int index) {
  if (index < 0 || index >= model_->rowCount()) {
    clearSelection();
    return;
  }
  setCurrentIndex(model_->index(index));
}

QString FileBox::file_name() const {
  const int i = list_index();
  return i < 0 ? QString() : model_->stringList().value(i);
}

QStringList FileBox::entries() const {
  return model_->stringList();
}

void FileBox::mousePressEvent(QMouseEvent* event) {
  QListView::mousePressEvent(event);
  pressed_ = event->button() == Qt::LeftButton;
  press_pos_ = event->position().toPoint();
}

void FileBox::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_ || !(event->buttons() & Qt::LeftButton) ||
      (event->position().toPoint() - press_pos_).manhattanLength() <
          QApplication::startDragDistance() ||
      file_name().isEmpty()) {
    return;
  }
  pressed_ = false;
  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(join_path(path_, file_name()))});
  mime->setData(QString::fromLatin1(kFileBoxMime), drag_token_);
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->exec(Qt::CopyAction);
}

void FileBox::mouseReleaseEvent(QMouseEvent* event) {
  pressed_ = false;
  QListView::mouseReleaseEvent(event);
  emit mouseReleased(event->button(), event->globalPosition().toPoint());
}

void FileBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    event->accept();
    emit enterPressed();
    return;
  }
  QListView::keyPressEvent(event);
}

}  // namespace tarvex
