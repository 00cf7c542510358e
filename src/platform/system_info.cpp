#include "platform/system_info.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace tarvex {

QStringList PathSystemInfoLauncher::default_tools() {
  return {QStringLiteral("hardinfo2"),
          QStringLiteral("hardinfo"),
          QStringLiteral("kinfocenter"),
          QStringLiteral("lshw-gtk"),
          QStringLiteral("gnome-system-monitor"),
          QStringLiteral("mate-system-monitor"),
          QStringLiteral("xfce4-taskmanager")};
}

PathSystemInfoLauncher::PathSystemInfoLauncher()
    : PathSystemInfoLauncher(default_tools(), qEnvironmentVariable("PATH")) {}

PathSystemInfoLauncher::PathSystemInfoLauncher(QStringList tools, QString search_path)
    : tools_(std::move(tools)), search_path_(std::move(search_path)) {}

QString PathSystemInfoLauncher::find() const {
  QStringList folders;
  for (const QString& folder : search_path_.split(QDir::listSeparator())) {
    if (!folder.isEmpty() && QDir::isAbsolutePath(folder)) folders.append(folder);
  }
  if (folders.isEmpty()) return QString();
  for (const QString& tool : tools_) {
    const QString found = QStandardPaths::findExecutable(tool, folders);
    if (!found.isEmpty()) return found;
  }
  return QString();
}

bool PathSystemInfoLauncher::start() {
  const QString tool = find();
  if (tool.isEmpty()) return false;
  return QProcess::startDetached(tool, {}, QDir::homePath());
}

}  // namespace tarvex
