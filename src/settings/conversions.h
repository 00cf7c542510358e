#pragma once

#include <QString>

#include <optional>

namespace tarvex {

// The one set of conversions between setting texts and values.

// The leading number of a text: blanks, an optional sign, digits with an optional decimal point
// and exponent. A text without one, and the empty text, give 0 ("5s" gives 5, "abc" gives 0).
double leading_number(const QString& text);

// Rounds to the nearest whole number, halves to the even one (2.5 → 2, 3.5 → 4, -0.5 → 0).
double round_half_even(double value);

// Seconds from the settings as a timer interval in milliseconds, halves to even
// (0.5 → 500, 0.0005 → 0, 0.0015 → 2).
long long seconds_to_ms(double seconds);

// A truth value: "True" or "False" in any letter case, or a number (0 is false, anything else
// true). Any other text, the empty text included, gives nothing.
std::optional<bool> truth_value(const QString& text);

// A whole number from a text that is wholly a number (blanks around it allowed), rounded halves
// to even (20.5 → 20); nothing for an empty or non-numeric text or one outside −32768 … 32767.
std::optional<int> whole_number(const QString& text);

// The shortest decimal form with a full stop: 5, 0.5, 2.25, 65.535.
QString shortest_decimal(double value);

// "True" / "False".
QString truth_text(bool value);

// The register size from the file count setting: 20 … 500 are taken, anything else (a missing,
// non-numeric or out-of-range value) gives 200 and says so.
struct FileCount {
  int max_index = 200;
  bool out_of_range = false;
};
inline constexpr int kMinFileCount = 20;
inline constexpr int kMaxFileCount = 500;
inline constexpr int kFallbackFileCount = 200;
FileCount file_count(const QString& text);

}  // namespace tarvex
