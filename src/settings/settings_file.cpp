#include "settings/settings_file.h"

#include "platform/paths.h"
#include "platform/settings_folder.h"
#include "settings/profile.h"

#include <QDir>

#include <cerrno>

namespace tarvex {

QString SettingsFile::path() const {
  return join_path(folder_, kSettingsFileName);
}

QString SettingsFile::ini_read(const QString& section, const QString& key) const {
  return profile_read(path(), section, key);
}

bool SettingsFile::ini_write(const QString& section, const QString& key,
                             const QString& value) const {
  return ini_write_all({ProfileEdit{section, key, value}}).ok();
}

WriteResult SettingsFile::ini_write_all(const QList<ProfileEdit>& edits) const {
  errno = 0;
  if (!QDir().mkpath(folder_)) return {errno != 0 ? errno : EACCES};
  return profile_write_values(path(), edits);
}

}  // namespace tarvex
