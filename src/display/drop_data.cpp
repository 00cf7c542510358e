#include "display/drop_data.h"

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

QStringList dropped_local_files(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files.append(url.toLocalFile());
  }
  return files;
}

}  // namespace tarvex
