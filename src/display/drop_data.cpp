#include "display/drop_data.h"

#include <QMimeData>
#include <QUrl>

namespace tarvex {

bool pane_accepts_drop(const QMimeData* mime) {
  return mime && (mime->hasFormat(QString::fromLatin1(kFileBoxMime)) ||
                  !dropped_local_files(mime).isEmpty());
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
