#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvex {

// The rules the options dialog applies to what the user types.

// The search extension list holds at most this many entries when the user adds to it (one fewer
// than the settings file's slots).
inline constexpr int kMaxAddedExtensions = 10;

// The entry that "追 加" adds to the extension list `entries` for the typed `text`, or nothing.
// The text is a duplicate when one of the first eleven entries (positions past the end count as
// empty) equals the text or the text with a dot in front, compared exactly. Otherwise, while the
// list has fewer than ten entries, three characters are added with a dot in front (txt → .txt)
// and four characters as typed; any other length adds nothing.
std::optional<QString> extension_to_add(const QStringList& entries, const QString& text);

// A number of seconds typed into an interval box: digits with at most one decimal point, blanks
// around them allowed, full-width digits and points taken as their plain forms; read the same
// under every locale. Nothing for any other text, a sign included.
std::optional<double> typed_seconds(const QString& text);

// What OK makes of an interval box.
struct IntervalAtOk {
  QString box;                        // what the box shows afterwards
  std::optional<long long> timer_ms;  // the timer's new interval; nothing: it keeps its own
};

// The longest interval the dialog accepts, in seconds.
inline constexpr int kMaxIntervalSeconds = 60;

// The interval rules of OK: an empty box becomes "5" and the timer keeps its interval; 60 seconds
// or more become "60"; otherwise the timer gets the seconds in milliseconds, halves to even (0
// stops it). A text that is no number, or a negative one, puts `previous` back into the box and
// leaves the timer alone, so it never reaches the settings file.
IntervalAtOk interval_at_ok(const QString& box, const QString& previous);

}  // namespace tarvex
