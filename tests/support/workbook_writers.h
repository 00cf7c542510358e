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
  enum Kind { Number, Text, Bool, Error, FormulaNumber, FormulaText, FormulaBool, FormulaError,
              FormulaEmpty, Date, DateTime, Time, Rk, Label, Blank };
  // clang-format on
  int row = 0, column = 0;
  Kind kind = Number;
  double number = 0;  // also the truth value or the error code
  QString text;
  // The number format: a format code, "builtin:N" for built-in format N, or "" for the kind's
  // own (General; the date kinds yyyy/m/d, yyyy/m/d h:mm and h:mm:ss by the built-in 14, 22, 21).
  QString format = {};
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
  bool date1904 = false;
  // The record between a text formula and its STRING record, as the first cell of a shared
  // formula has it: 0 for none, 0x04BC (SHRFMLA), 0x0221 (ARRAY) or 0x0236 (TABLE).
  quint16 between_formula_and_string = 0;
  // The longest string table record: a string that does not fit goes on in a CONTINUE record,
  // in the middle of its characters, with the narrowest width each piece allows.
  int string_record_limit = 8224;
  // Table strings carry formatting runs and a phonetic reading, as Japanese versions write them.
  bool rich_strings = false;
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

// An .xlsx package: each sheet is (name, sheetData inner XML), the active tab and the numFmtId of
// each cell format as given, with the codes of the custom ones (numFmtId 164 and up). The workbook
// is found at its usual place, without the package's own relationships. `shared_strings` are the
// inner XML of the shared string items (<t>, runs), when there are any.
QByteArray xlsx_file(const QList<std::pair<QString, QByteArray>>& sheets, int active,
                     const QList<int>& style_formats = {},
                     const QList<std::pair<int, QString>>& custom_formats = {},
                     bool date1904 = false, const QList<QByteArray>& shared_strings = {});

// An OpenDocument spreadsheet: each sheet is (name, the table's inner XML with the table:,
// office: and text: prefixes); `active` names the active sheet in settings.xml ("" for none).
// `formats` become the cell styles "ce1", "ce2", ... with the data styles a spreadsheet program
// writes for those format codes.
QByteArray ods_file(const QList<std::pair<QString, QByteArray>>& sheets, const QString& active,
                    const QStringList& formats = {});

// The OpenDocument data style (number:number-style, number:date-style, ...) named `name` that
// stores a format code: digits, decimals, grouping, percent, exponents, dates and times, literal
// text and sections by sign; "" for a code it cannot store.
QByteArray ods_data_style(const QString& name, const QString& code);

}  // namespace tarvex::testing
