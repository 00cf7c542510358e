#include "search/search_screen.h"

namespace tarvex {

QRect hit_pane_twips(QSize outer) {
  return QRect(600, 120, outer.width() - 1245, outer.height() - 1760);
}

QRect normal_pane_twips(QSize outer) {
  return QRect(2640, 120, outer.width() - 3285, outer.height() - 1760);
}

bool search_extension_allows(const QString& path, std::span<const QString> exts) {
  const QString tail = path.right(4);
  for (const QString& ext : exts) {
    if (tail == ext || tail == ext.toUpper()) return true;
  }
  return false;
}

}  // namespace tarvex
