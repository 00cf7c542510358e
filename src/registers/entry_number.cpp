#include "registers/entry_number.h"

#include "settings/conversions.h"

namespace tarvex {

namespace {

// A number typed with the input method on comes in full-width forms ("１２", "　３", "２．５"):
// read them as their ordinary digits, point and blanks.
QString plain_forms(const QString& text) {
  return text.normalized(QString::NormalizationForm_KC);
}

}  // namespace

std::optional<int> typed_entry_number(const QString& text) {
  return whole_number(plain_forms(text));
}

QString bare_entry_number(const QString& text) {
  const std::optional<int> n = whole_number(plain_forms(text));
  return n ? QString::number(*n) : text;
}

}  // namespace tarvex
