#include "search/search_screen.h"

#include "search/text_search.h"

namespace tarvex {

bool search_extension_allows(const QString& path, std::span<const QString> exts) {
  const QString tail = path.right(4);
  for (const QString& ext : exts) {
    if (tail == ext || tail == ext.toUpper()) return true;
  }
  return false;
}

qsizetype next_occurrence(const QString& buffer, const QString& needle, qsizetype from) {
  if (from < 0 || from > buffer.size()) return -1;
  return fold_search_text(buffer).indexOf(fold_search_text(needle), from);
}

}  // namespace tarvex
