#include "platform/settings_folder.h"

#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace tarvex {

namespace {

bool is_system_folder(const QString& folder) {
  const QString clean = QDir::cleanPath(folder) + u'/';
  for (const char* prefix : {"/usr/", "/bin/", "/sbin/", "/lib/", "/opt/", "/snap/"}) {
    if (clean.startsWith(QLatin1String(prefix))) return true;
  }
  return false;
}

}  // namespace

QString choose_settings_folder(const QString& exe_folder, const QString& config_home) {
  if (!exe_folder.isEmpty() && !is_system_folder(exe_folder) &&
      ::access(QFile::encodeName(exe_folder).constData(), W_OK) == 0) {
    return exe_folder;
  }
  return join_path(config_home, QStringLiteral("Tarvex"));
}

QString default_settings_folder() {
  QString config_home = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (config_home.isEmpty() || !QDir::isAbsolutePath(config_home)) {
    config_home = join_path(QDir::homePath(), QStringLiteral(".config"));
  }
  return choose_settings_folder(QCoreApplication::applicationDirPath(), config_home);
}

}  // namespace tarvex
