#pragma once

#include <QString>
#include <QStringList>

namespace tarvex {

// Starts the desktop's system-information tool, detached and not waited for. False when no tool
// is there or it could not be started.
class SystemInfoLauncher {
 public:
  virtual ~SystemInfoLauncher() = default;
  virtual bool start() = 0;
};

// Production: the first of a list of common system-information tools found in the folders of a
// search path (by default $PATH). Empty entries of the search path, which would mean the
// current folder, are passed over.
class PathSystemInfoLauncher final : public SystemInfoLauncher {
 public:
  static QStringList default_tools();

  PathSystemInfoLauncher();
  PathSystemInfoLauncher(QStringList tools, QString search_path);

  // The full path of the first tool found, "" when none is.
  QString find() const;
  bool start() override;

 private:
  QStringList tools_;
  QString search_path_;
};

}  // namespace tarvex
