#pragma once

// Small workbook writers for the tests and benchmarks of the spreadsheet preview: BIFF .xls in
// a compound file, Lotus 1-2-3 WK1 and WK3/WK4, and .xlsx packages. They write only what the
// readers need to see, in the layout the spreadsheet programs use.

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvex::testing {

// One cell of an .xls sheet.
struct XlsCell {
  // clang-format off
  enum Kind { Number, Text, Bool, Error, FormulaNumber, FormulaText, FormulaBool, Date, DateTime, Time };
  // clang-format on
  int row = 0, column = 0;
  Kind kind = Number;
  double number = 0;
  QString text;
};

struct XlsSheet {
  QString name;
  QList<XlsCell> cells;
  // Declared used range; -1 takes it from the cells.
  qint64 declared_rows = -1, declared_columns = -1;
  // Runs of whole numbers in one row, as spreadsheet programs write them (MULRK): row, first
  // column, values.
  QList<std::tuple<int, int, QList<int>>> number_runs = {};
};

struct XlsBook {
  QList<XlsSheet> sheets;
  int active = 0;
  // BIFF5 with code page 932 (stream "Book") instead of BIFF8 (stream "Workbook").
  bool biff5 = false;
  // Each sheet declares its size twice.
  bool twice_declared = false;
  // A string table claiming this many strings (0: the true count).
  quint32 claimed_strings = 0;
  int sector_size = 512;
};
QByteArray xls_file(const XlsBook& book);

// A Lotus 1-2-3 cell: a number or a label (labels are written in code page 932).
struct WkCell {
  int sheet = 0, row = 0, column = 0;
  bool label = false;
  double number = 0;
  QString text;
};
// WK1 (version 0x0406) or WK3/WK4 (version 0x1000 / 0x1002).
QByteArray wk1_file(const QList<WkCell>& cells);
QByteArray wk3_file(const QList<WkCell>& cells, quint16 version);

// An .xlsx package: each sheet is (name, sheetData inner XML), the active tab and the built-in
// numFmtId of each cell format as given. The workbook is found at its usual place, without the
// package's own relationships.
QByteArray xlsx_file(const QList<std::pair<QString, QByteArray>>& sheets, int active,
                     const QList<int>& style_formats = {});

// An OpenDocument spreadsheet: each sheet is (name, the table's inner XML with the table:,
// office: and text: prefixes); `active` names the active sheet in settings.xml ("" for none).
QByteArray ods_file(const QList<std::pair<QString, QByteArray>>& sheets, const QString& active);

}  // namespace tarvex::testing
