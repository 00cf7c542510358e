#include "sheets/sheet_cells.h"

#include "sheets/number_format.h"

#include <QDate>
#include <QStringList>

namespace tarvex {

CellValue CellValue::of_number(double value, const QString& format) {
  return CellValue{Kind::Number, value, QString(), format};
}
CellValue CellValue::of_text(const QString& text, const QString& format) {
  return CellValue{Kind::Text, 0, text, format};
}
CellValue CellValue::of_bool(bool value) {
  return CellValue{Kind::Bool, value ? 1.0 : 0.0, QString(), QString()};
}
CellValue CellValue::of_error(const QString& name) {
  return CellValue{Kind::Error, 0, name, QString()};
}

QString error_name(quint8 code) {
  switch (code) {
    case 0x00:
      return QStringLiteral("#NULL!");
    case 0x07:
      return QStringLiteral("#DIV/0!");
    case 0x0F:
      return QStringLiteral("#VALUE!");
    case 0x17:
      return QStringLiteral("#REF!");
    case 0x1D:
      return QStringLiteral("#NAME?");
    case 0x24:
      return QStringLiteral("#NUM!");
    case 0x2A:
      return QStringLiteral("#N/A");
    default:
      return QString();
  }
}

bool iso_serial(const QString& value, bool date1904, double& serial) {
  const QDate date = QDate::fromString(value.left(10), Qt::ISODate);
  if (!date.isValid()) return false;
  // The 1900 system counts a 29 February 1900, so its days before 1900-03-01 are one fewer than
  // the calendar's, down to its day 0 (1900/1/0), the calendar's 1899-12-31. A date-time on
  // 1899-12-30, where writers put a time of no date, keeps its time.
  const bool early = !date1904 && date >= QDate(1899, 12, 31) && date < QDate(1900, 3, 1);
  const QDate base = date1904 ? QDate(1904, 1, 1)
                     : early  ? QDate(1899, 12, 31)
                              : QDate(1899, 12, 30);
  serial = double(base.daysTo(date));
  // The time: hours, minutes and seconds with their fraction.
  const QStringList time = value.mid(11).split(u':');
  if (value.size() > 10 && value[10] == u'T' && time.size() == 3) {
    bool ok[3] = {};
    const double seconds =
        time[0].toInt(&ok[0]) * 3600.0 + time[1].toInt(&ok[1]) * 60.0 + time[2].toDouble(&ok[2]);
    if (ok[0] && ok[1] && ok[2]) serial += seconds / 86400;
  }
  return true;
}

QString cell_text(const CellValue& cell, bool date1904) {
  switch (cell.kind) {
    case CellValue::Kind::Number:
      return format_number(cell.number, cell.format, date1904);
    case CellValue::Kind::Text:
      return cell.format.isEmpty() ? cell.text : format_text(cell.text, cell.format);
    case CellValue::Kind::Bool:
      return cell.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case CellValue::Kind::Error:
      return cell.text;
    case CellValue::Kind::Empty:
      break;
  }
  return QString();
}

SheetBlock::SheetBlock(int rows, int columns)
    : rows_(rows), columns_(columns), cells_(qsizetype(rows) * columns) {}

void SheetBlock::set(long long row, long long column, const CellValue& value) {
  if (contains(row, column)) cells_[qsizetype(row) * columns_ + column] = value;
}

void SheetBlock::set(long long row, long long column, const QString& text) {
  set(row, column, CellValue::of_text(text));
}

CellValue SheetBlock::value(int row, int column) const {
  return contains(row, column) ? cells_[qsizetype(row) * columns_ + column] : CellValue();
}

QString SheetBlock::cell(int row, int column) const {
  QString text = cell_text(value(row, column), date1904_);
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  for (QChar& c : text) {
    if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
  }
  return text;
}

QString SheetBlock::text() const {
  QString out;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      if (c > 0) out += u'\t';
      out += cell(r, c);
    }
    out += QStringLiteral("\r\n");
  }
  return out;
}

}  // namespace tarvex
