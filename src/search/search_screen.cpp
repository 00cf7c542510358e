#include "search/search_screen.h"

namespace tarvex {

bool search_extension_allows(const QString& path, std::span<const QString> exts) {
  const QString tail = path.right(4);
  for (const QString& ext : exts) {
    if (tail == ext || tail == ext.toUpper()) return true;
  }
  return false;
}

}  // namespace tarvex
