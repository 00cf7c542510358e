#include "settings/conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tarvex {

namespace {

bool is_blank(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Length of the number at the start of `s` (after `from`), 0 when there is none.
qsizetype number_length(const QString& s, qsizetype from) {
  qsizetype i = from;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  qsizetype digits = 0;
  while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) ++i, ++digits;
  if (i < s.size() && s[i] == u'.') {
    ++i;
    while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    qsizetype j = i + 1;
    if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) ++j;
    qsizetype exp_digits = 0;
    while (j < s.size() && s[j].isDigit() && s[j].unicode() < 128) ++j, ++exp_digits;
    if (exp_digits > 0) i = j;
  }
  return i - from;
}

// Reads a number that number_length has accepted. The settings file always uses a full stop,
// whatever the user's locale says, so the C library's locale-dependent readers are not used.
double to_double(const QString& number) {
  std::string text = number.toStdString();
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  double value = 0.0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large gives an infinity of its sign, too small gives zero, as the C reader did.
    const bool tiny = text.find("e-") != std::string::npos || text.find("E-") != std::string::npos;
    if (tiny) return 0.0;
    return text.front() == '-' ? -std::numeric_limits<double>::infinity()
                               : std::numeric_limits<double>::infinity();
  }
  return result.ec == std::errc() ? value : 0.0;
}

}  // namespace

double leading_number(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  const qsizetype n = number_length(text, i);
  if (n == 0) return 0.0;
  const double v = to_double(text.mid(i, n));
  return std::isfinite(v) ? v : 0.0;
}

double round_half_even(double value) {
  return std::nearbyint(value);
}

long long seconds_to_ms(double seconds) {
  const double ms = round_half_even(seconds * 1000.0);
  if (!std::isfinite(ms)) return -1;
  if (ms > static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (ms < static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<long long>(ms);
}

std::optional<bool> truth_value(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(u"true", Qt::CaseInsensitive) == 0) return true;
  if (t.compare(u"false", Qt::CaseInsensitive) == 0) return false;
  if (t.isEmpty() || number_length(t, 0) != t.size()) return std::nullopt;
  return to_double(t) != 0.0;
}

std::optional<int> whole_number(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty() || number_length(t, 0) != t.size()) return std::nullopt;
  const double v = round_half_even(to_double(t));
  if (!std::isfinite(v) || v < -32768.0 || v > 32767.0) return std::nullopt;
  return static_cast<int>(v);
}

QString shortest_decimal(double value) {
  if (!std::isfinite(value)) return QStringLiteral("0");
  if (value == 0.0) value = 0.0;  // no "-0"
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (result.ec != std::errc()) return QStringLiteral("0");
  return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString truth_text(bool value) {
  return value ? QStringLiteral("True") : QStringLiteral("False");
}

FileCount file_count(const QString& text) {
  const int count = whole_number(text).value_or(0);
  if (count < kMinFileCount || count > kMaxFileCount) return {kFallbackFileCount, true};
  return {count, false};
}

}  // namespace tarvex
