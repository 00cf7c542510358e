#include "display/drop_data.h"

#include <QMimeData>
#include <QUrl>

namespace tarvex {

bool pane_accepts_drop(const QMimeData* mime) {
  return mime && (mime->hasFormat(QString::fromLatin1(kFileBoxMime)) ||
                  !dropped_local_files(mime).isEmpty());
}

std::optional<PaneDrop> read_pane_drop(const QMimeData* mime) {
  if (mime && mime->hasFormat(QString::fromLatin1(kFileBoxMime))) return PaneDrop{true, {}};
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
