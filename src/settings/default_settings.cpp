#include "settings/default_settings.h"

#include "platform/atomic_file.h"
#include "platform/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvex {

namespace {

// Far beyond the few hundred bytes of the shipped file.
constexpr qint64 kMaxDefaultBytes = 1024 * 1024;

}  // namespace

bool provide_default_settings(const QString& settings_path, const QString& default_file) {
  if (settings_path.isEmpty() || default_file.isEmpty()) return false;
  const QFileInfo existing(settings_path);
  if (existing.exists() || existing.isSymLink()) return false;
  QFile file(default_file);
  if (!open_regular_file(file) || file.size() > kMaxDefaultBytes) return false;
  const QByteArray content = file.read(kMaxDefaultBytes + 1);
  if (content.size() != file.size()) return false;
  if (!QDir().mkpath(existing.absolutePath())) return false;
  return create_file_atomically(settings_path, content);
}

}  // namespace tarvex
