#pragma once

#include <QString>

namespace tarvex {

// Opens a file with the application the desktop associates with it. An empty path opens nothing.
// The result says whether the desktop took the file: false when the path is empty or no
// application (or no launcher at all) could be found for it.
class FileOpener {
 public:
  virtual ~FileOpener() = default;
  virtual bool open(const QString& path) = 0;
};

// Production: the desktop's default-application opener, handed a file URL (never a shell line).
class DesktopFileOpener final : public FileOpener {
 public:
  bool open(const QString& path) override;
};

}  // namespace tarvex
