#include "platform/paths.h"

namespace tarvex {

QString join_path(const QString& folder, const QString& name) {
  if (folder.endsWith(kPathSeparator)) return folder + name;
  return folder + kPathSeparator + name;
}

QString file_name_part(const QString& path) {
  const qsizetype at = path.lastIndexOf(kPathSeparator);
  if (at < 0) return QString();
  return path.mid(at + 1);
}

}  // namespace tarvex
