#pragma once

#include <QString>

namespace tarvex {

class MessageService;
class FileOpener;
class Trash;
class SystemNames;
class SystemInfoLauncher;

// The services through which the window reaches the world outside the process. Production fills
// them with the real services; tests with scripted ones and a temporary settings folder.
struct Platform {
  MessageService* messages = nullptr;
  FileOpener* opener = nullptr;
  // The desktop trash for file deletion; null means the trash of the user's environment.
  Trash* trash = nullptr;
  QString settings_folder;
  // The settings file Tarvex ships, copied into the settings folder on the first start; empty:
  // none (the first start then warns about the file count, as a missing file does).
  QString default_settings;
  // The folder the folder tree starts in; empty means the current working directory.
  QString start_folder;

  // About and help.
  SystemNames* names = nullptr;           // login and computer names; null: none known
  SystemInfoLauncher* sysinfo = nullptr;  // system-information tool; null: none available
  QString help_document;                  // the help's index.html, opened through `opener`
};

}  // namespace tarvex
