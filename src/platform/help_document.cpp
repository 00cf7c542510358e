#include "platform/help_document.h"

#include "platform/installed_data.h"

#include <QDir>
#include <QFileInfo>

namespace tarvex {

QString find_help_document(const QString& exe_folder) {
  const QDir exe(exe_folder);
  const QString beside = exe.absoluteFilePath(QStringLiteral("help/index.html"));
  const QString installed = installed_data_path(exe_folder, QStringLiteral("help/index.html"));
  for (const QString& candidate : {beside, installed}) {
    if (QFileInfo(candidate).isFile()) return candidate;
  }
  return installed;
}

}  // namespace tarvex
