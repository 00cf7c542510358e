#include "display/drop_data.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace tarvex {

namespace {

bool from_own_file_box(const QMimeData* mime, const QByteArray& own_file_box) {
  const QString format = QString::fromLatin1(kFileBoxMime);
  return mime && !own_file_box.isEmpty() && mime->hasFormat(format) &&
         mime->data(format) == own_file_box;
}

}  // namespace

bool pane_accepts_drop(const QMimeData* mime, const QByteArray& own_file_box) {
  return from_own_file_box(mime, own_file_box) || !dropped_local_files(mime).isEmpty();
}

std::optional<PaneDrop> read_pane_drop(const QMimeData* mime, const QByteArray& own_file_box) {
  if (from_own_file_box(mime, own_file_box)) return PaneDrop{true, {}};
  QStringList files = dropped_local_files(mime);
  if (files.isEmpty()) return std::nullopt;
  return PaneDrop{false, std::move(files)};
}

void take_pane_drop(QDropEvent* event, const QByteArray& own_file_box,
                    const std::function<void()>& file_box,
                    const std::function<void(const QStringList& files)>& files) {
  const std::optional<PaneDrop> drop = read_pane_drop(event->mimeData(), own_file_box);
  if (!drop) return;
  event->acceptProposedAction();
  if (drop->from_file_box) {
    file_box();
  } else {
    files(drop->files);
  }
}

QStringList dropped_local_files(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files.append(url.toLocalFile());
  }
  return files;
}

}  // namespace tarvex
