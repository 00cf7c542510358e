#pragma once

// The cells of a spreadsheet preview: a fixed block of cell values, each shown as text through
// the number format engine when the block's text is taken.

#include <QList>
#include <QString>

namespace tarvex {

// One cell as a workbook stores it: its value and its number format.
struct CellValue {
  enum class Kind { Empty, Number, Text, Bool, Error };
  Kind kind = Kind::Empty;
  double number = 0;  // Number; Bool: 1 for TRUE
  QString text;       // Text; Error: its name ("#DIV/0!")
  QString format;     // the number format code; "" is General

  static CellValue of_number(double value, const QString& format = QString());
  static CellValue of_text(const QString& text, const QString& format = QString());
  static CellValue of_bool(bool value);
  static CellValue of_error(const QString& name);
};

// The name of an error as BIFF codes it (0x07 is #DIV/0!); "" for an unknown code.
QString error_name(quint8 code);

// An ISO 8601 date or date-time ("2024-01-31", "2024-01-31T09:15:00.5") as the serial day count
// that shows that date: in the 1900 system days since 1899-12-30, or since 1899-12-31 for the
// days before 1900-03-01 (the system counts a 29 February 1900; 1899-12-31 is its day 0, shown
// as 1900/1/0); with `date1904` days since 1904-01-01. The time is the fraction.
bool iso_serial(const QString& value, bool date1904, double& serial);

// A cell's value as the spreadsheet program shows it (see number_format.h).
QString cell_text(const CellValue& cell, bool date1904);

// A fixed block of rows × columns cells, all empty at first. Cells outside it are ignored, so a
// reader may hand over every cell it meets.
class SheetBlock {
 public:
  SheetBlock(int rows, int columns);

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  bool contains(long long row, long long column) const {
    return row >= 0 && column >= 0 && row < rows_ && column < columns_;
  }
  void set(long long row, long long column, const CellValue& value);
  // A cell shown as the given text.
  void set(long long row, long long column, const QString& text);
  CellValue value(int row, int column) const;

  // Dates of the workbook count from 1904 instead of 1900.
  void set_date1904(bool on) { date1904_ = on; }
  bool date1904() const { return date1904_; }

  // A cell's text; tabs and line breaks in it become spaces so that the block keeps its shape.
  QString cell(int row, int column) const;
  // The block as a spreadsheet's plain-text copy gives it: cells separated by a tab, CR LF after
  // every row, empty rows and columns included.
  QString text() const;

 private:
  int rows_;
  int columns_;
  bool date1904_ = false;
  QList<CellValue> cells_;
};

}  // namespace tarvex
