#pragma once

#include <QString>

#include <optional>

namespace tarvex {

// The entry number typed into the number box: a whole number with blanks around it allowed, a
// fraction rounded to the nearest whole number with halves to the even one; full-width digits,
// point and blanks count as the ordinary ones. Nothing for a text that is not wholly a number
// (empty, letters, "--3", a number too large to hold).
std::optional<int> typed_entry_number(const QString& text);

// The number box's text while the user edits it: the bare digits of its number ("  7" gives
// "7"). A text that is no number stays as it is.
QString bare_entry_number(const QString& text);

}  // namespace tarvex
