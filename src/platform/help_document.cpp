#include "platform/help_document.h"

#include <QDir>
#include <QFileInfo>

namespace tarvex {

QString find_help_document(const QString& exe_folder) {
  const QDir exe(exe_folder);
  const QString beside = exe.absoluteFilePath(QStringLiteral("help/index.html"));
  const QString installed =
      QDir::cleanPath(exe.absoluteFilePath(QStringLiteral("../share/tarvex/help/index.html")));
  for (const QString& candidate : {beside, installed}) {
    if (QFileInfo(candidate).isFile()) return candidate;
  }
  return installed;
}

}  // namespace tarvex
