#include "settings/settings_file.h"

#include "platform/paths.h"
#include "platform/settings_folder.h"
#include "settings/profile.h"

#include <QDir>

namespace tarvex {

QString SettingsFile::path() const {
  return join_path(folder_, kSettingsFileName);
}

QString SettingsFile::ini_read(const QString& section, const QString& key) const {
  return profile_read(path(), section, key);
}

bool SettingsFile::ini_write(const QString& section, const QString& key,
                             const QString& value) const {
  if (!QDir().mkpath(folder_)) return false;
  return profile_write(path(), section, key, value);
}

}  // namespace tarvex
