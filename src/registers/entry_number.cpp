#include "registers/entry_number.h"

#include "settings/conversions.h"

namespace tarvex {

std::optional<int> typed_entry_number(const QString& text) {
  return whole_number(text);
}

QString bare_entry_number(const QString& text) {
  const std::optional<int> n = whole_number(text);
  return n ? QString::number(*n) : text;
}

}  // namespace tarvex
