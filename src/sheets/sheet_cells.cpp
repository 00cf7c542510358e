#include "sheets/sheet_cells.h"

#include <QDate>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarvex {

SheetBlock::SheetBlock(int rows, int columns)
    : rows_(rows), columns_(columns), cells_(qsizetype(rows) * columns) {}

void SheetBlock::set(long long row, long long column, const QString& text) {
  if (!contains(row, column)) return;
  QString cleaned = text;
  cleaned.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  for (QChar& c : cleaned) {
    if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
  }
  cells_[qsizetype(row) * columns_ + column] = cleaned;
}

QString SheetBlock::cell(int row, int column) const {
  return contains(row, column) ? cells_[qsizetype(row) * columns_ + column] : QString();
}

QString SheetBlock::text() const {
  QString out;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      if (c > 0) out += u'\t';
      out += cells_[qsizetype(r) * columns_ + c];
    }
    out += QStringLiteral("\r\n");
  }
  return out;
}

QString number_text(double value) {
  if (!std::isfinite(value)) return QString();
  if (value == 0) return QStringLiteral("0");  // also -0
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    return QString::number(static_cast<long long>(value));
  }
  char buffer[40];
  for (int digits = 1; digits <= 15; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  // The last try (15 digits) stands when no shorter form reads back the same.
  return QString::fromLatin1(buffer);
}

QString bool_text(bool value) {
  return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

QString date_text(int year, int month, int day) {
  if (!QDate::isValid(year, month, day) || year < 1 || year > 9999) return QString();
  return QString::asprintf("%04d/%02d/%02d", year, month, day);
}

QString time_text(int hour, int minute, int second) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return QString();
  }
  return QString::asprintf("%02d:%02d:%02d", hour, minute, second);
}

QString serial_date_text(double serial, bool date1904, DateShape shape) {
  if (!std::isfinite(serial) || serial < 0 || serial >= 2958466) return number_text(serial);
  long long days = static_cast<long long>(std::floor(serial));
  long long seconds = std::llround((serial - double(days)) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  QString date;
  if (date1904) {
    date = QDate(1904, 1, 1).addDays(days).toString(QStringLiteral("yyyy/MM/dd"));
  } else if (days == 60) {
    date = QStringLiteral("1900/02/29");  // the day the 1900 calendar counts but never was
  } else if (days == 0) {
    date = QStringLiteral("1900/01/00");
  } else {
    date = QDate(1899, 12, 31)
               .addDays(days < 60 ? days : days - 1)
               .toString(QStringLiteral("yyyy/MM/dd"));
  }
  const QString time = time_text(int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
  switch (shape) {
    case DateShape::Date:
      return date;
    case DateShape::Time:
      return time;
    case DateShape::DateTime:
      return date + u' ' + time;
  }
  return date;
}

FormatKind format_kind(const QString& code) {
  bool ymd = false, month_or_minute = false, hms = false;
  bool quoted = false;
  // Only the first section (positive numbers) decides.
  for (qsizetype i = 0; i < code.size(); ++i) {
    const QChar c = code[i];
    if (quoted) {
      if (c == u'"') quoted = false;
      continue;
    }
    if (c == u'"') {
      quoted = true;
    } else if (c == u'\\' || c == u'_' || c == u'*') {
      ++i;  // the next character is literal (or a fill or a space width)
    } else if (c == u'[') {
      const qsizetype end = code.indexOf(u']', i);
      if (end < 0) break;
      const QString inner = code.mid(i + 1, end - i - 1).toLower();
      // Elapsed-time brackets ([h], [mm], [ss]) are times; colours, conditions and locales are not.
      if (!inner.isEmpty() && (inner[0] == u'h' || inner[0] == u'm' || inner[0] == u's') &&
          inner.count(inner[0]) == inner.size()) {
        hms = true;
      }
      i = end;
    } else if (c == u';') {
      break;
    } else if (code.mid(i, 7).compare(QStringLiteral("general"), Qt::CaseInsensitive) == 0) {
      i += 6;
    } else {
      const QChar l = c.toLower();
      if (l == u'y' || l == u'd') ymd = true;
      if (l == u'h' || l == u's') hms = true;
      if (l == u'm') month_or_minute = true;
    }
  }
  // "m" is a month beside a year or a day, or alone; beside hours or seconds it is minutes.
  const bool date = ymd || (month_or_minute && !hms);
  if (date && hms) return FormatKind::DateTime;
  if (date) return FormatKind::Date;
  if (hms) return FormatKind::Time;
  return FormatKind::Number;
}

FormatKind builtin_format_kind(int id) {
  if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 58)) {
    return FormatKind::Date;
  }
  if ((id >= 18 && id <= 21) || (id >= 32 && id <= 35) || (id >= 45 && id <= 47)) {
    return FormatKind::Time;
  }
  if (id == 22) return FormatKind::DateTime;
  return FormatKind::Number;
}

}  // namespace tarvex
