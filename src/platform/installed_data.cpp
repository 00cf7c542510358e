#include "platform/installed_data.h"

#include <QDir>

namespace tarvex {

QString installed_data_path(const QString& exe_folder, const QString& name) {
  return QDir::cleanPath(
      QDir(exe_folder).absoluteFilePath(QStringLiteral("../share/tarvex/") + name));
}

}  // namespace tarvex
