#include "settings/option_rules.h"

#include "settings/conversions.h"

#include <charconv>
#include <string>

namespace tarvex {

std::optional<QString> extension_to_add(const QStringList& entries, const QString& text) {
  const QString dotted = QStringLiteral(".") + text;
  for (int i = 0; i <= kMaxAddedExtensions; ++i) {
    const QString entry = entries.value(i);
    if (entry == dotted || entry == text) return std::nullopt;
  }
  if (entries.size() >= kMaxAddedExtensions) return std::nullopt;
  if (text.size() == 3) return dotted;
  if (text.size() == 4) return text;
  return std::nullopt;
}

std::optional<double> typed_seconds(const QString& text) {
  // Full-width digits and the full-width point become their plain forms.
  const std::string plain = text.normalized(QString::NormalizationForm_KC).trimmed().toStdString();
  if (plain.empty()) return std::nullopt;
  int digits = 0;
  int points = 0;
  for (const char c : plain) {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.') {
      ++points;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || points > 1) return std::nullopt;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec == std::errc::result_out_of_range) return static_cast<double>(kMaxIntervalSeconds);
  if (ec != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
  return value;
}

IntervalAtOk interval_at_ok(const QString& box, const QString& previous) {
  if (box.isEmpty()) return {QStringLiteral("5"), std::nullopt};
  const std::optional<double> seconds = typed_seconds(box);
  if (!seconds) return {previous, std::nullopt};
  if (*seconds >= kMaxIntervalSeconds) {
    return {QString::number(kMaxIntervalSeconds), kMaxIntervalSeconds * 1000LL};
  }
  // The box keeps what was typed, in plain characters, so it reads back as the same number.
  const QString shown = box.normalized(QString::NormalizationForm_KC).trimmed();
  return {shown, seconds_to_ms(*seconds)};
}

}  // namespace tarvex
