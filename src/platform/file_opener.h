#pragma once

#include <QString>

namespace tarvex {

// Opens a file with the application the desktop associates with it. An empty path opens nothing.
class FileOpener {
 public:
  virtual ~FileOpener() = default;
  virtual void open(const QString& path) = 0;
};

// Production: the desktop's default-application opener, handed a file URL (never a shell line).
class DesktopFileOpener final : public FileOpener {
 public:
  void open(const QString& path) override;
};

}  // namespace tarvex
