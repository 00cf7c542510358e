#pragma once

// The cells of a spreadsheet preview: a fixed block of cell texts and the way a cell's value is
// written as text, shared by the workbook readers.

#include <QString>
#include <QStringList>

namespace tarvex {

// A fixed block of rows × columns cell texts, all empty at first. Cells outside it are ignored,
// so a reader may hand over every cell it meets.
class SheetBlock {
 public:
  SheetBlock(int rows, int columns);

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  bool contains(long long row, long long column) const {
    return row >= 0 && column >= 0 && row < rows_ && column < columns_;
  }
  // Sets a cell (0-based); tabs and line breaks in `text` become spaces so that the block keeps
  // its shape.
  void set(long long row, long long column, const QString& text);
  QString cell(int row, int column) const;

  // The block as a spreadsheet's plain-text copy gives it: cells separated by a tab, CR LF after
  // every row, empty rows and columns included.
  QString text() const;

 private:
  int rows_;
  int columns_;
  QStringList cells_;
};

// A number as a cell shows it: an integer without a decimal point, any other number in the
// shortest form that reads back the same, up to 15 significant digits.
QString number_text(double value);

// TRUE or FALSE.
QString bool_text(bool value);

// A date serial number (days since the workbook's epoch, the fraction being the time of day) as
// yyyy/mm/dd, hh:mm:ss or both. `date1904` selects the 1904 epoch; otherwise serial 60 is the
// 1900 calendar's phantom 29 February and days after it count one less.
enum class DateShape { Date, Time, DateTime };
QString serial_date_text(double serial, bool date1904, DateShape shape);

// Calendar parts as the readers get them; out-of-range parts give "".
QString date_text(int year, int month, int day);
QString time_text(int hour, int minute, int second);

// Whether an Excel number format code shows a date, a time or both (quoted text, escaped
// characters and colour or condition brackets ignored); nullopt-like `Number` otherwise.
enum class FormatKind { Number, Date, Time, DateTime };
FormatKind format_kind(const QString& code);
// The same for the built-in number formats 14-22 and 45-47 (and the Japanese ones 27-36, 50-58).
FormatKind builtin_format_kind(int id);

}  // namespace tarvex
