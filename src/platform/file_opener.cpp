#include "platform/file_opener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tarvex {

bool DesktopFileOpener::open(const QString& path) {
  if (path.isEmpty()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

}  // namespace tarvex
