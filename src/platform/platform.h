#pragma once

#include <QString>

namespace tarvex {

class MessageService;
class FileOpener;

// The services through which the window reaches the world outside the process. Production fills
// them with the real services; tests with scripted ones and a temporary settings folder.
struct Platform {
  MessageService* messages = nullptr;
  FileOpener* opener = nullptr;
  QString settings_folder;
  // The folder the folder tree starts in; empty means the current working directory.
  QString start_folder;
};

}  // namespace tarvex
