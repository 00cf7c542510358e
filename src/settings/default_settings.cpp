#include "settings/default_settings.h"

#include "platform/atomic_file.h"

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
  const QFileInfo source(default_file);
  if (!source.isFile() || source.size() > kMaxDefaultBytes) return false;
  QFile file(default_file);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray content = file.read(kMaxDefaultBytes + 1);
  if (content.size() > kMaxDefaultBytes || content.size() != source.size()) return false;
  if (!QDir().mkpath(existing.absolutePath())) return false;
  return create_file_atomically(settings_path, content);
}

}  // namespace tarvex
