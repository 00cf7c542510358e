// The spreadsheet preview: the workbook readers on real workbooks written by the tests, and the
// preview on the real window.

#include "app/form3.h"
#include "app/main_window.h"
#include "compound_writer.h"
#include "display/text_pane.h"
#include "early_biff_writer.h"
#include "form_fixture.h"
#include "sheets/number_format.h"
#include "sheets/sheet_cells.h"
#include "sheets/sheet_readers.h"
#include "thread_sanitizer.h"
#include "workbook_writers.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

using Cells = QList<std::tuple<int, int, QString>>;  // row, column, expected text

XlsCell num(int r, int c, double v, XlsCell::Kind k = XlsCell::Number, const QString& f = {}) {
  return XlsCell{r, c, k, v, QString(), f};
}
XlsCell txt(int r, int c, const QString& s, XlsCell::Kind k = XlsCell::Text) {
  return XlsCell{r, c, k, 0, s, {}};
}

QByteArray source_file(const char* name) {
  QFile f(QStringLiteral(TARVEX_TEST_SOURCE_DIR "/") + QString::fromLatin1(name));
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

QByteArray data_file(const char* name) {
  QFile f(QStringLiteral(TARVEX_TEST_DATA_DIR "/") + QString::fromLatin1(name));
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

// The cells the sample workbooks written by other programs do not show: errors, cached formula
// results, the built-in date formats, line breaks in a text and the cells just outside the block.
XlsBook sample_book() {
  // clang-format off
  return XlsBook{{XlsSheet{QStringLiteral("Sheet1"), {
      txt(0, 0, "名前"), txt(0, 1, "数量"), num(0, 2, 0x07, XlsCell::Error),
      num(1, 0, 42.25, XlsCell::FormulaNumber), txt(1, 1, "計算結果", XlsCell::FormulaText), num(1, 2, 1, XlsCell::FormulaBool),
      num(2, 0, 45322, XlsCell::Date), num(2, 1, 45284.770891203706, XlsCell::DateTime), num(2, 2, 0.384375, XlsCell::Time),
      txt(3, 0, "Tab\tand\r\nbreak"), num(3, 1, 0, XlsCell::Bool), txt(19, 9, "右下J20"), txt(20, 0, "row 21"), txt(0, 10, "K1")}}}};
  // clang-format on
}

// clang-format off
const Cells kSampleCells = {
    {0, 0, "名前"}, {0, 1, "数量"}, {0, 2, "#DIV/0!"}, {1, 0, "42.25"}, {1, 1, "計算結果"}, {1, 2, "TRUE"}, {2, 0, "2024/1/31"},
    {2, 1, "2023/12/24 18:30"}, {2, 2, "9:13:30"}, {3, 0, "Tab and break"}, {3, 1, "FALSE"}, {19, 9, "右下J20"}};
// The sample workbooks written by other programs hold the same table.
const Cells kWrittenElsewhere = {
    {0, 0, "名前"}, {0, 1, "数量"}, {0, 2, "単価"}, {0, 3, "日付"}, {1, 0, "りんご"}, {1, 1, "3"},
    {1, 2, "120.5"}, {1, 3, "2024-01-31"}, {2, 0, "ﾊﾞﾅﾅ"}, {2, 1, "-7"}, {2, 2, "0.1"},
    {2, 3, "2023-12-24 18:30:05"}, {3, 0, "Tab and \"quote\""}, {3, 2, "10000000000"},
    {19, 9, "右下J20"}};
// clang-format on

// One row of the table of value × format → text in tests/data/formats/number_formats.tsv.
// `libreoffice` is LibreOffice's "as shown" text where it differs (one for .xls|.xlsx|.ods when
// they differ among themselves), `why` says why; `converted` tells what LibreOffice stored in
// its own workbooks in place of the format, when it did.
struct FormatRow {
  QString kind, value, format, shown, libreoffice, why, converted;
};

QList<FormatRow> format_rows() {
  static const QList<FormatRow> rows = [] {
    QList<FormatRow> out;
    QFile f(QStringLiteral(TARVEX_TEST_DATA_DIR "/formats/number_formats.tsv"));
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
      if (line.isEmpty() || line.startsWith('#')) continue;
      QStringList c = QString::fromUtf8(line).split(u'\t');
      while (c.size() < 7) c.append(QString());
      out.append({c[0], c[1], c[2], c[3], c[4], c[5], c[6]});
    }
    return out;
  }();
  return rows;
}

// Row i of the table stands in the cell A1 + (i % 20 rows, i / 20 columns).
int table_row(int i) {
  return i % kExcelRows;
}
int table_column(int i) {
  return i / kExcelRows;
}

quint8 error_code(const QString& name) {
  for (int code = 0; code < 64; ++code) {
    if (!name.isEmpty() && error_name(quint8(code)) == name) return quint8(code);
  }
  return 0xFF;
}

// The table written by our own writers: .xls, .xlsx and .ods (without the rows whose format
// the .ods writer cannot store).
QByteArray table_xls() {
  XlsSheet sheet{QStringLiteral("Sheet1"), {}};
  const QList<FormatRow> rows = format_rows();
  for (int i = 0; i < rows.size(); ++i) {
    const FormatRow& r = rows[i];
    const QString format = r.format == QLatin1String("General") ? QString() : r.format;
    XlsCell c{table_row(i), table_column(i), XlsCell::Number, r.value.toDouble(), {}, format};
    if (r.kind == "s")
      c = XlsCell{table_row(i), table_column(i), XlsCell::Text, 0, r.value, format};
    if (r.kind == "b") c.kind = XlsCell::Bool, c.number = r.value == "TRUE";
    if (r.kind == "e") c.kind = XlsCell::Error, c.number = error_code(r.value);
    sheet.cells.append(c);
  }
  return xls_file({{sheet}});
}

QByteArray table_xlsx() {
  const QList<FormatRow> rows = format_rows();
  QList<int> xfs = {0};
  QList<std::pair<int, QString>> custom;
  QMap<int, QByteArray> by_row;
  for (int i = 0; i < rows.size(); ++i) {
    const FormatRow& r = rows[i];
    int id = 0;
    if (r.format.startsWith("builtin:")) {
      id = r.format.mid(8).toInt();
    } else if (r.format != QLatin1String("General")) {
      auto it = std::find_if(custom.begin(), custom.end(),
                             [&](const auto& f) { return f.second == r.format; });
      id = it != custom.end() ? it->first : 164 + int(custom.size());
      if (it == custom.end()) custom.append({id, r.format});
    }
    if (!xfs.contains(id)) xfs.append(id);
    const QByteArray ref =
        QByteArray(1, char('A' + table_column(i))) + QByteArray::number(table_row(i) + 1);
    const QByteArray at = "<c r=\"" + ref + "\" s=\"" + QByteArray::number(xfs.indexOf(id)) + "\"";
    QByteArray cell;
    if (r.kind == "n") cell = at + "><v>" + r.value.toUtf8() + "</v></c>";
    if (r.kind == "s") cell = at + " t=\"inlineStr\"><is><t>" + r.value.toUtf8() + "</t></is></c>";
    if (r.kind == "b") cell = at + " t=\"b\"><v>" + (r.value == "TRUE" ? "1" : "0") + "</v></c>";
    if (r.kind == "e") cell = at + " t=\"e\"><v>" + r.value.toUtf8() + "</v></c>";
    by_row[table_row(i)] += cell;
  }
  QByteArray data;
  for (auto it = by_row.cbegin(); it != by_row.cend(); ++it) {
    data += "<row r=\"" + QByteArray::number(it.key() + 1) + "\">" + it.value() + "</row>";
  }
  return xlsx_file({{"Sheet1", data}}, 0, xfs, custom);
}

bool ods_can_store(const FormatRow& r) {
  return r.format == QLatin1String("General") ||
         (!r.format.startsWith("builtin:") && !ods_data_style("N", r.format).isEmpty());
}

QByteArray table_ods() {
  const QList<FormatRow> rows = format_rows();
  QStringList formats;
  QList<QByteArray> grid(kExcelRows, QByteArray());
  for (int i = 0; i < int(rows.size()); ++i) {
    const FormatRow& row = rows[i];
    QByteArray cell = "<table:table-cell/>";
    if (ods_can_store(row)) {
      QByteArray style;
      if (row.format != QLatin1String("General")) {
        if (!formats.contains(row.format)) formats.append(row.format);
        style =
            " table:style-name=\"ce" + QByteArray::number(formats.indexOf(row.format) + 1) + "\"";
      }
      const QByteArray text = "<text:p>" + row.value.toHtmlEscaped().toUtf8() + "</text:p>";
      const QByteArray open = "<table:table-cell" + style;
      if (row.kind == "n") {
        cell = open + " office:value-type=\"float\" office:value=\"" + row.value.toUtf8() + "\"/>";
      } else if (row.kind == "s") {
        cell = open + " office:value-type=\"string\">" + text + "</table:table-cell>";
      } else if (row.kind == "b") {
        cell = open + " office:value-type=\"boolean\" office:boolean-value=\"" +
               row.value.toLower().toUtf8() + "\"/>";
      } else {
        cell = open +
               " office:value-type=\"float\" office:value=\"0\" calcext:value-type=\"error\">" +
               text + "</table:table-cell>";
      }
    }
    grid[table_row(i)] += cell;
  }
  QByteArray table;
  for (const QByteArray& row : grid) table += "<table:table-row>" + row + "</table:table-row>";
  return ods_file({{"Sheet1", table}}, QString(), formats);
}

// The cells of a block text.
QList<QStringList> grid_of(const QString& text) {
  QList<QStringList> out;
  for (const QString& line : text.split(QStringLiteral("\r\n"))) out.append(line.split(u'\t'));
  return out;
}

QString grid_cell(const QList<QStringList>& grid, int row, int column) {
  return row < grid.size() && column < grid[row].size() ? grid[row][column]
                                                        : QStringLiteral("<no cell>");
}

// A CSV file as LibreOffice writes it: commas, fields with commas or quotes in double quotes.
QList<QStringList> csv_grid(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QList<QStringList> out;
  for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
    QStringList fields(1);
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
      const QChar c = line[i];
      if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
        fields.last() += c;
        ++i;
      } else if (c == u'"') {
        quoted = !quoted;
      } else if (c == u',' && !quoted) {
        fields.append(QString());
      } else if (c != u'\r') {
        fields.last() += c;
      }
    }
    out.append(fields);
  }
  return out;
}

QString block_of(const QString& name, const QByteArray& bytes) {
  QTemporaryDir dir;
  const QString path = dir.filePath(name);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return QString();
  f.write(bytes);
  f.close();
  return excel_block_text(path);
}

}  // namespace

class TestDisplaySheets final : public QObject {
  Q_OBJECT
 private slots:
  void number_formats_data();
  void number_formats();
  void fractions_are_the_nearest();
  void cells_as_other_writers_store_them_data();
  void cells_as_other_writers_store_them();
  void workbooks_data();
  void workbooks();
  void values_match_xlrd();
  void preview_on_the_window();
  void late_reading_is_superseded_data();
  void late_reading_is_superseded();
  void early_excel_files_data();
  void early_excel_files();
  void compound_chains_that_loop_data();
  void compound_chains_that_loop();
  void huge_sparse_workbooks_data();
  void huge_sparse_workbooks();
  void failed_reading_leaves_the_window_alive();
};

// Every row of the table: our own writers' .xls, .xlsx and .ods show the text the spreadsheet
// program shows, and so do the workbooks LibreOffice wrote from the table (where it kept the
// format); LibreOffice's "as shown" export agrees, or the row says why not.
void TestDisplaySheets::number_formats_data() {
  QTest::addColumn<int>("index");
  const QList<FormatRow> rows = format_rows();
  QVERIFY(rows.size() > 60);
  for (int i = 0; i < rows.size(); ++i) {
    QTest::newRow(qPrintable(rows[i].value + u' ' + rows[i].format)) << i;
  }
}

void TestDisplaySheets::number_formats() {
  QFETCH(int, index);
  static const QList<QStringList> xls = grid_of(block_of("t.xls", table_xls()));
  static const QList<QStringList> xlsx = grid_of(block_of("t.xlsx", table_xlsx()));
  static const QList<QStringList> ods = grid_of(block_of("t.ods", table_ods()));
  const QString lo = QStringLiteral(TARVEX_TEST_DATA_DIR "/formats/libreoffice");
  static const QList<QStringList> lo_csv[] = {csv_grid(lo + "_xls.csv"), csv_grid(lo + "_xlsx.csv"),
                                              csv_grid(lo + "_ods.csv")};
  static const QList<QStringList> lo_books[] = {grid_of(excel_block_text(lo + ".xls")),
                                                grid_of(excel_block_text(lo + ".xlsx")),
                                                grid_of(excel_block_text(lo + ".ods"))};
  const FormatRow r = format_rows()[index];
  const int row = table_row(index), column = table_column(index);
  QCOMPARE(grid_cell(xls, row, column), r.shown);
  QCOMPARE(grid_cell(xlsx, row, column), r.shown);
  if (ods_can_store(r)) QCOMPARE(grid_cell(ods, row, column), r.shown);
  if (r.converted.isEmpty()) {
    for (const QList<QStringList>& book : lo_books) QCOMPARE(grid_cell(book, row, column), r.shown);
  }
  // LibreOffice's opinion; where it differs from the spreadsheet program, the row says why.
  QVERIFY2(r.libreoffice.isEmpty() || !r.why.isEmpty(), "a difference needs its reason");
  QStringList expected = (r.libreoffice.isEmpty() ? r.shown : r.libreoffice).split(u'|');
  while (expected.size() < 3) expected.append(expected.first());
  for (int i = 0; i < 3; ++i) QCOMPARE(grid_cell(lo_csv[i], row, column), expected[i]);
}

// A denominator of digits is the one of the nearest fraction: the engine's search through the
// continued fraction agrees with trying every denominator, for values around whole numbers,
// halves and thirds, tiny ones and random ones.
void TestDisplaySheets::fractions_are_the_nearest() {
  QList<double> values = {0.5, 1.0 / 3, 2.0 / 3, 0.999,  0.0001,  0.00005, 0.3,
                          0.1, 0.7,     1.25,    2.9999, 0.14159, 0.001234};
  QRandomGenerator random(26);
  for (int i = 0; i < 150; ++i) values.append(random.bounded(3.0));
  for (int digits = 1; digits <= 4; ++digits) {
    int limit = 1;
    for (int i = 0; i < digits; ++i) limit *= 10;
    for (const double v : values) {
      long long best_p = std::llround(v), best_q = 1;
      double best = std::fabs(v - double(best_p));
      for (int q = 2; q < limit; ++q) {
        const long long p = std::llround(v * q);
        const double error = std::fabs(v - double(p) / q);
        if (error < best) best = error, best_p = p, best_q = q;
      }
      const QString code = QStringLiteral("#/") + QString(digits, u'#');
      QCOMPARE(format_number(v, code, false), QStringLiteral("%1/%2").arg(best_p).arg(best_q));
    }
  }
}

// Cells as the spreadsheet program and older LibreOffice versions store them: texts with
// escaped characters and line breaks, dates of the first two months of 1900, errors written as
// numbers. Read as the rows of workbooks() are.
void TestDisplaySheets::cells_as_other_writers_store_them_data() {
  QTest::addColumn<QString>("ext");
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<bool>("readable");
  QTest::addColumn<Cells>("cells");
  // clang-format off
  const QList<QByteArray> shared = {
      "<t>abc_x000D_\ndef</t>", "<t>_x005F_x000D_ stays</t>", "<t>A_x0041__x3042__x00e9_ _x12_ _x004G_</t>",
      "<r><t>run_x000D_</t></r><r><t xml:space=\"preserve\">\nnext</t></r>"};
  const QByteArray texts =
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c>"
      "<c r=\"E1\" t=\"inlineStr\"><is><t>in_x000D_\nline</t></is></c><c r=\"F1\" t=\"str\"><f>A1</f><v>1_x000D_\n2</v></c></row>";
  QTest::newRow("xlsx escaped characters") << "xls" << xlsx_file({{"Sheet1", texts}}, 0, {}, {}, false, shared) << true
      << Cells{{0, 0, "abc def"}, {0, 1, "_x000D_ stays"}, {0, 2, "AAあé _x12_ _x004G_"}, {0, 3, "run next"}, {0, 4, "in line"}, {0, 5, "1 2"}};
  const QByteArray dates =
      "<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"d\"><v>1900-01-01</v></c><c r=\"B1\" s=\"1\" t=\"d\"><v>1900-02-28</v></c>"
      "<c r=\"C1\" s=\"1\" t=\"d\"><v>1900-03-01</v></c><c r=\"D1\" s=\"1\" t=\"d\"><v>1899-12-31</v></c>"
      "<c r=\"E1\" s=\"2\" t=\"d\"><v>1900-01-01T12:00:00</v></c><c r=\"F1\" s=\"3\" t=\"d\"><v>1900-01-01</v></c>"
      "<c r=\"G1\" s=\"2\" t=\"d\"><v>1899-12-30T06:00:00</v></c></row>";
  QTest::newRow("xlsx dates before March 1900") << "xls" << xlsx_file({{"Sheet1", dates}}, 0, {0, 14, 22, 1}) << true
      << Cells{{0, 0, "1900/1/1"}, {0, 1, "1900/2/28"}, {0, 2, "1900/3/1"}, {0, 3, "1900/1/0"}, {0, 4, "1900/1/1 12:00"}, {0, 5, "1"}, {0, 6, "1900/1/0 6:00"}};
  QTest::newRow("xlsx 1904 dates") << "xls" << xlsx_file({{"Sheet1", "<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"d\"><v>1904-01-02</v></c></row>"}}, 0, {0, 14}, {}, true) << true
      << Cells{{0, 0, "1904/1/2"}};

  auto cell = [](const QByteArray& attributes, const QByteArray& inner) {
    return "<table:table-cell " + attributes + ">" + inner + "</table:table-cell>";
  };
  const QByteArray error_row = "<table:table-row>" +
      cell("table:formula=\"of:=FOO()\" office:value-type=\"float\" office:value=\"0\"", "<text:p>#NAME?</text:p>") +
      cell("table:formula=\"of:=1/0\" office:value-type=\"float\" office:value=\"0\"", "<text:p>#DIV/0!</text:p>") +
      cell("table:formula=\"of:=A1\" office:value-type=\"float\" office:value=\"0\"", "<text:p>Err:502</text:p>") +
      cell("table:formula=\"of:=NA()\" office:value-type=\"float\" office:value=\"0\"", "<text:p>#N/A</text:p>") +
      cell("office:value-type=\"float\" office:value=\"0\"", "<text:p>#N/A</text:p>") +
      cell("table:formula=\"of:=0\" office:value-type=\"float\" office:value=\"0\"", "<text:p>#NAME</text:p>") +
      cell("table:formula=\"of:=0\" office:value-type=\"float\" office:value=\"0\"", "<text:p>Err:</text:p>") +
      cell("table:formula=\"of:=&quot;#REF!&quot;\" office:value-type=\"string\"", "<text:p>#REF!</text:p>") + "</table:table-row>";
  const QByteArray date_row = "<table:table-row>" +
      cell("office:value-type=\"date\" office:date-value=\"1900-01-01\"", "") +
      cell("office:value-type=\"date\" office:date-value=\"1900-02-28\"", "") +
      cell("office:value-type=\"date\" office:date-value=\"1900-03-01\"", "") +
      cell("office:value-type=\"date\" office:date-value=\"1899-12-30T12:00:00\"", "") +
      cell("office:value-type=\"date\" office:date-value=\"1899-12-31\"", "") + "</table:table-row>";
  const QByteArray text_row = "<table:table-row>" +
      cell("office:value-type=\"string\" office:string-value=\"a&#13;&#10;b\"", "<text:p>a</text:p><text:p>b</text:p>") +
      cell("office:value-type=\"string\"", "<text:p>abc&#13;</text:p><text:p>def</text:p>") +
      cell("office:value-type=\"string\"", "<text:p>x<text:line-break/>y</text:p><text:p>z</text:p>") +
      cell("office:value-type=\"string\" office:string-value=\"\"", "<text:p>shown</text:p>") + "</table:table-row>";
  QTest::newRow("ods errors as numbers, early dates, line breaks") << "ods" << ods_file({{"Sheet1", error_row + date_row + text_row}}, QString()) << true
      << Cells{{0, 0, "#NAME?"}, {0, 1, "#DIV/0!"}, {0, 2, "Err:502"}, {0, 3, "#N/A"}, {0, 4, "0"}, {0, 5, "0"}, {0, 6, "0"}, {0, 7, "#REF!"},
               {1, 0, "1900/1/1"}, {1, 1, "1900/2/28"}, {1, 2, "1900/3/1"}, {1, 3, "1900/1/0 12:00:00"}, {1, 4, "1900/1/0"},
               {2, 0, "a b"}, {2, 1, "abc def"}, {2, 2, "x y z"}};
  // clang-format on
}

void TestDisplaySheets::cells_as_other_writers_store_them() {
  workbooks();
}

// Each workbook is written to book.<ext> and read as a block of cells; "wk1" picks the 1-2-3
// reader and its block, `readable` false expects no text at all. Malformed workbooks in
// general are the fuzzers' work; the rows here declare sizes that would make the reader allocate
// or walk far beyond the file.
void TestDisplaySheets::workbooks_data() {
  QTest::addColumn<QString>("ext");
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<bool>("readable");
  QTest::addColumn<Cells>("cells");
  const auto changed = [](auto change) {
    XlsBook b = sample_book();
    change(b);
    return xls_file(b);
  };
  const QByteArray good = changed([](XlsBook& b) { b.sector_size = 4096; });
  QByteArray bad_fat = good;
  for (int i = 0; i < 4; ++i) bad_fat[76 + i] = '\x7f';  // the FAT sector lies beyond the file
  // clang-format off
  const XlsSheet data{"データ", {txt(0, 0, "別シート"), num(1, 0, 42)}};
  const XlsSheet other{"集計", {txt(0, 0, "集計です")}};
  const XlsBook biff5{{XlsSheet{"表1", {txt(0, 0, "ﾊﾞﾅﾅ表示①"), txt(1, 2, "髙橋"), num(2, 0, 2.5), txt(3, 1, "式の値", XlsCell::FormulaText)}}}, 0, true};
  // Runs of numbers across the block's edge and below it.
  const XlsSheet runs{
      "Sheet1", {}, -1, -1, {{2, 7, {1, 2, 3, 4, 5}}, {19, 0, {9}}, {25, 0, {7, 7}}, {3, 12, {6}}}};
  // A string table long enough to continue over several records.
  XlsSheet many{"Sheet1", {}};
  Cells many_cells;
  for (int i = 0; i < 3000; ++i) many.cells.append(txt(i, 0, QStringLiteral("文字列%1").arg(i)));
  for (int i = 0; i < kExcelRows; ++i) many_cells.append({i, 0, QStringLiteral("文字列%1").arg(i)});
  const Cells none;
  QTest::newRow("xls cells of every kind, 4096-byte sectors") << "xls" << good << true << kSampleCells;
  QTest::newRow("xls active sheet without Sheet1")        << "xls" << xls_file({{data, other}, 1}) << true << Cells{{0, 0, "集計です"}};
  QTest::newRow("xls Sheet1 second")                      << "xls" << xls_file({{data, XlsSheet{"Sheet1", {txt(0, 0, "本体")}}}}) << true << Cells{{0, 0, "本体"}};
  QTest::newRow("xls BIFF5 code page 932")                << "xls" << xls_file(biff5) << true << Cells{{0, 0, "ﾊﾞﾅﾅ表示①"}, {1, 2, "髙橋"}, {2, 0, "2.5"}, {3, 1, "式の値"}};
  QTest::newRow("xls runs of numbers")                    << "xls" << xls_file({{runs}}) << true << Cells{{2, 7, "1"}, {2, 8, "2"}, {2, 9, "3"}, {19, 0, "9"}};
  QTest::newRow("xls written by xlwt")                    << "xls" << data_file("sample.xls") << true << kWrittenElsewhere + Cells{{0, 5, "Note"}, {3, 3, "09:15"}, {5, 0, "TRUE"}};
  QTest::newRow("xls string table over several records")  << "xls" << xls_file({{many}}) << true << many_cells;
  QTest::newRow("FAT beyond the file")                    << "xls" << bad_fat << false << none;
  // A declared size is no promise of cells: a far cell declares the whole sheet.
  QTest::newRow("a million cells declared in a small file") << "xls" << changed([](XlsBook& b) { b.sheets[0].declared_rows = 65536; b.sheets[0].declared_columns = 256; }) << true << kSampleCells;
  QTest::newRow("string table beyond the file")           << "xls" << changed([](XlsBook& b) { b.claimed_strings = 0x40000000; }) << false << none;
  QTest::newRow("sheet size declared twice")              << "xls" << changed([](XlsBook& b) { b.twice_declared = true; }) << true << kSampleCells;
  QTest::newRow("encrypted")                              << "xls" << source_file("../fuzz/corpus/excel/encrypted.xls") << false << none;
  // The faults the preview had with workbooks of the spreadsheet program itself.
  for (const auto& [name, type] : {std::pair{"shared formula", 0x04BC}, {"array", 0x0221}, {"table", 0x0236}}) {
    QTest::newRow(qPrintable(QStringLiteral("text result after a %1 record").arg(name)))
        << "xls" << changed([type = type](XlsBook& b) { b.between_formula_and_string = quint16(type); }) << true << kSampleCells;
  }
  QTest::newRow("formula with a date format")             << "xls" << xls_file({{XlsSheet{"Sheet1", {num(0, 0, 45322, XlsCell::FormulaNumber, "builtin:14"), num(0, 1, 73961, XlsCell::FormulaNumber, "yyyy/mm/dd")}}}}) << true << Cells{{0, 0, "2024/1/31"}, {0, 1, "2102/06/30"}};
  QTest::newRow("1904 date system")                       << "xls" << xls_file({{XlsSheet{"Sheet1", {num(0, 0, 0, XlsCell::Date), num(0, 1, 45322, XlsCell::Rk, "0.0%"), num(0, 2, -1.5, XlsCell::Number, "[h]:mm"), num(0, 3, -0.25, XlsCell::Number, "h:mm"), num(0, 4, -3e6, XlsCell::Number, "yyyy/m/d")}}}, 0, false, false, 0, 512, true}) << true << Cells{{0, 0, "1904/1/1"}, {0, 1, "4532200.0%"}, {0, 2, "-36:00"}, {0, 3, "-6:00"}, {0, 4, "########"}};
  QTest::newRow("strings split inside, runs and readings") << "xls" << changed([](XlsBook& b) { b.string_record_limit = 30; b.rich_strings = true; }) << true << kSampleCells;
  // Numbers no spreadsheet program holds, as a damaged file may give them: not a number and the
  // infinities, under a format of two sections, a fixed one, a date and General.
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  QTest::newRow("numbers that are not finite")            << "xls" << xls_file({{XlsSheet{"Sheet1", {num(0, 0, nan, XlsCell::Number, "0;(0)"), num(0, 1, inf, XlsCell::Number, "0.00"), num(0, 2, -inf, XlsCell::Number, "yyyy/m/d"), num(0, 3, nan), num(0, 4, nan, XlsCell::FormulaNumber, "#,##0;[Red]-#,##0")}}}}) << true << Cells{{0, 0, "#NUM!"}, {0, 1, "#NUM!"}, {0, 2, "#NUM!"}, {0, 3, "#NUM!"}, {0, 4, "#NUM!"}};
  QTest::newRow("German workbook written by LibreOffice") << "xls" << data_file("formats/german.xls") << true << Cells{{0, 0, "Größe"}, {0, 1, "1,234.50 €"}, {1, 0, "Übermäßig"}, {1, 1, "31.01.2024"}};

  // .xlsx packages; the content decides, not the name. The sample shows shared strings with
  // readings and runs, inline strings, booleans and custom date formats; these rows what it
  // lacks: errors, cached formula results, built-in formats and cells without a reference.
  const QByteArray cells =
      "<row r=\"1\"><c r=\"A1\" t=\"e\"><v>#N/A</v></c><c r=\"B1\" s=\"1\"><v>0.5</v></c><c r=\"C1\" s=\"2\"><v>45322</v></c>"
      "<c r=\"D1\"><f>A2*2</f><v>6</v></c><c r=\"E1\" t=\"str\"><f>\"x\"</f><v>文字</v></c><c r=\"F1\"><f>A2</f><v></v></c><c r=\"K1\"><v>1</v></c></row>"
      "<row><c><v>7</v></c><c><v>8</v></c></row><row r=\"21\"><c r=\"A21\"><v>99</v></c></row>";
  QList<std::pair<QString, QByteArray>> two = {{"データ", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}, {"集計", "<row r=\"1\"><c r=\"A1\"><v>2</v></c></row>"}};
  QTest::newRow("xlsx cells of every kind")         << "xls" << xlsx_file({{"Sheet1", cells}}, 0, {0, 21, 14}) << true << Cells{{0, 0, "#N/A"}, {0, 1, "12:00:00"}, {0, 2, "2024/1/31"}, {0, 3, "6"}, {0, 4, "文字"}, {1, 0, "7"}, {1, 1, "8"}};
  QTest::newRow("xlsx active sheet without Sheet1") << "xls" << xlsx_file(two, 1) << true << Cells{{0, 0, "2"}};
  QTest::newRow("xlsx Sheet1 last")                 << "xls" << xlsx_file(two + QList<std::pair<QString, QByteArray>>{{"Sheet1", "<row r=\"1\"><c r=\"A1\"><v>3</v></c></row>"}}, 1) << true << Cells{{0, 0, "3"}};
  QTest::newRow("xlsx written by openpyxl")         << "xls" << data_file("sample.xlsx") << true << kWrittenElsewhere + Cells{{0, 5, "Note "}, {3, 3, "TRUE"}};

  const QByteArray rows =
      "<table:table-column table:number-columns-repeated=\"16384\"/><table:table-header-rows><table:table-row>"
      "<table:table-cell office:value-type=\"string\"><text:p>名前</text:p></table:table-cell><table:table-cell office:value-type=\"float\" office:value=\"120.5\"><text:p>120.50</text:p></table:table-cell>"
      "</table:table-row></table:table-header-rows><table:table-row>"
      "<table:table-cell table:number-columns-repeated=\"2\" office:value-type=\"float\" office:value=\"3\"/><table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"/>"
      "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-01-31\"/><table:table-cell office:value-type=\"time\" office:time-value=\"PT18H30M05S\"/>"
      "<table:table-cell table:formula=\"of:=1+1\" office:value-type=\"float\" office:value=\"2\"/>"
      "<table:table-cell office:value-type=\"string\"><text:p>a<text:s text:c=\"2\"/>b</text:p><text:p>c<text:tab/>d</text:p></table:table-cell></table:table-row>"
      "<table:table-row table:number-rows-repeated=\"1048570\"><table:table-cell/></table:table-row>"
      "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>遠く</text:p></table:table-cell></table:table-row>";
  const QByteArray tally = "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>集計</text:p></table:table-cell></table:table-row>";
  const Cells ods_cells = {{0, 0, "名前"}, {0, 1, "120.5"}, {1, 0, "3"}, {1, 1, "3"}, {1, 2, "TRUE"}, {1, 3, "2024/1/31"}, {1, 4, "18:30:05"}, {1, 5, "2"}, {1, 6, "a  b c d"}};
  QTest::newRow("ods Sheet1 second, cells of every kind") << "ods" << ods_file({{"集計", tally}, {"Sheet1", rows}}, "集計") << true << ods_cells;
  QTest::newRow("ods active sheet without Sheet1")        << "ods" << ods_file({{"データ", rows}, {"集計", tally}}, "集計") << true << Cells{{0, 0, "集計"}};

  const QList<WkCell> wk = {{0, 0, 0, true, 0, "Name"}, {0, 0, 1, true, 0, "りんご"}, {0, 1, 0, true, 0, "ﾊﾞﾅﾅ表示"}, {0, 1, 1, false, 3, {}}, {0, 2, 2, false, 120.5, {}},
                            {0, 3, 3, false, -0.25, {}}, {0, 29, 8, true, 0, "I30"}, {0, 30, 0, true, 0, "row 31"}, {0, 0, 9, true, 0, "J1"}};
  const Cells wk_cells = {{0, 0, "Name"}, {0, 1, "りんご"}, {1, 0, "ﾊﾞﾅﾅ表示"}, {1, 1, "3"}, {2, 2, "120.5"}, {3, 3, "-0.25"}, {29, 8, "I30"}};
  // Bytes after the end record: the file is parsed whole, far cells and all; a second sheet is
  // not shown.
  QTest::newRow("WK1 with a tail")                    << "wk1" << wk1_file(wk) + QByteArray(7, 'x') << true << wk_cells;
  QTest::newRow("WK3 with a second sheet and a tail") << "wk1" << wk3_file(wk + QList<WkCell>{{1, 5, 5, true, 0, "シートB"}}, 0x1000) + QByteArray(7, 'x') << true << wk_cells;
  // clang-format on
}

// Our .xls reader against python3-xlrd: the values (not the formats) of generated workbooks with
// every kind of cell record, string tables split inside strings, rich and phonetic strings,
// shared formulas between a formula and its text, BIFF5 in code page 932 and the 1904 system;
// and of Excel 2.x, 3.0 and 4.0 worksheets and Excel 4.0 workbooks (the first sheet).
// xlrd is a test package (tools/deps.sh): without it the test fails.
void TestDisplaySheets::values_match_xlrd() {
  if (kThreadSanitizer) QSKIP(kNoChildProcessUnderThreadSanitizer);
  QTemporaryDir dir;
  QRandomGenerator random(16);
  const QStringList texts = {"",
                             "a",
                             "名前",
                             "ﾊﾞﾅﾅ表示①",
                             "Größe",
                             QString(300, u'x') + "漢字" + QString(200, u'y'),
                             QString(150, u'あ') + "ascii tail"};
  const XlsCell::Kind kinds[] = {
      XlsCell::Number,      XlsCell::Rk,           XlsCell::Text,          XlsCell::Label,
      XlsCell::Bool,        XlsCell::Error,        XlsCell::FormulaNumber, XlsCell::FormulaText,
      XlsCell::FormulaBool, XlsCell::FormulaError, XlsCell::FormulaEmpty,  XlsCell::Blank,
      XlsCell::Date};
  const double numbers[] = {0,         1,          -1,    0.5,       1.23,         100.01,
                            536870911, -536870912, 1e300, 0.1 + 0.2, 45322.999999, 123456789.125};
  const quint8 errors[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
  const quint16 between[] = {0, 0x04BC, 0x0221, 0x0236};
  QStringList paths;
  // 40 BIFF8 and BIFF5 workbooks, then 16 of the early versions: BIFF2, BIFF3, BIFF4 and
  // Excel 4.0 workbooks in turn.
  constexpr int kBooks = 40, kEarlyBooks = 16;
  for (int b = 0; b < kBooks + kEarlyBooks; ++b) {
    const bool early = b >= kBooks;
    XlsBook book{{XlsSheet{QStringLiteral("Sheet1"), {}}}};
    book.biff5 = b % 5 == 4 || early;
    book.date1904 = b % 7 == 3;
    book.between_formula_and_string = between[b % 4];
    book.string_record_limit = b % 3 == 0 ? 8224 : 40 + int(random.bounded(200));
    book.rich_strings = b % 2 == 1;
    for (int r = 0; r < kExcelRows; ++r) {
      for (int c = 0; c < kExcelColumns; ++c) {
        if (random.bounded(4) == 0) continue;
        XlsCell cell{r, c, kinds[random.bounded(int(std::size(kinds)))], 0, {}, {}};
        cell.number = numbers[random.bounded(int(std::size(numbers)))];
        cell.text = texts[random.bounded(int(texts.size()))];
        if (cell.kind == XlsCell::Bool || cell.kind == XlsCell::FormulaBool)
          cell.number = random.bounded(2);
        if (cell.kind == XlsCell::Error || cell.kind == XlsCell::FormulaError) {
          cell.number = errors[random.bounded(int(std::size(errors)))];
        }
        // BIFF5 texts are code page 932; xlrd counts the bytes of a BIFF5 formula's text as
        // characters, so those stay ASCII.
        if (book.biff5 && (cell.text.contains(u'ö') || cell.text.contains(u'①'))) cell.text = "表";
        if (book.biff5 && cell.kind == XlsCell::FormulaText) cell.text = "ascii";
        book.sheets[0].cells.append(cell);
      }
    }
    const QString path = dir.filePath(QStringLiteral("book%1.xls").arg(b));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const int version = 2 + b % 4;  // 5: an Excel 4.0 workbook
    const XlsSheet second{QStringLiteral("Sheet2"), {num(0, 0, 1)}};
    const EarlyBiff options{std::min(version, 4), 932, book.date1904, b % 8 == 2};
    f.write(!early        ? xls_file(book)
            : version < 5 ? early_biff_sheet(book.sheets[0], options)
                          : biff4_workbook({book.sheets[0], second}, options));
    f.close();
    paths.append(path);
  }
  QProcess xlrd;
  xlrd.start(QStringLiteral("/usr/bin/python3"),
             QStringList{QStringLiteral(TARVEX_TEST_SOURCE_DIR "/sheets/xlrd_values.py")} + paths);
  QVERIFY(xlrd.waitForFinished(120000));
  QVERIFY2(xlrd.exitCode() == 0, xlrd.readAllStandardError().constData());
  QHash<QString, QHash<int, QJsonArray>> theirs;
  for (const QByteArray& line : xlrd.readAllStandardOutput().split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonArray a = QJsonDocument::fromJson(line).array();
    theirs[a[0].toString()].insert(a[1].toInt() * 256 + a[2].toInt(), a);
  }
  int compared = 0;
  for (const QString& path : paths) {
    SheetBlock block(kExcelRows, kExcelColumns);
    QVERIFY2(read_xls_block(path, block), qPrintable(path));
    for (int r = 0; r < kExcelRows; ++r) {
      for (int c = 0; c < kExcelColumns; ++c) {
        const CellValue ours = block.value(r, c);
        const QJsonArray their = theirs[path].value(r * 256 + c);
        QString kind, value;
        switch (ours.kind) {
          case CellValue::Kind::Number:
            kind = "n", value = QString::number(ours.number, 'g', 17);
            break;
          case CellValue::Kind::Text:
            kind = "s", value = ours.text;
            break;
          case CellValue::Kind::Bool:
            kind = "b", value = QString::number(int(ours.number));
            break;
          case CellValue::Kind::Error:
            kind = "e", value = ours.text;
            break;
          case CellValue::Kind::Empty:
            break;
        }
        const QString their_kind = their.isEmpty() ? QString() : their[3].toString();
        QString their_value = their.isEmpty() ? QString() : their[4].toString();
        if (their_kind == "n") their_value = QString::number(their_value.toDouble(), 'g', 17);
        const QString where = QStringLiteral("%1 %2,%3").arg(path).arg(r).arg(c);
        QVERIFY2(kind == their_kind && value == their_value,
                 qPrintable(where + ": ours " + kind + " " + value.left(40) + ", xlrd " +
                            their_kind + " " + their_value.left(40)));
        ++compared;
      }
    }
  }
  QCOMPARE(compared, (kBooks + kEarlyBooks) * kExcelRows * kExcelColumns);
}

void TestDisplaySheets::workbooks() {
  QFETCH(QString, ext);
  QFETCH(QByteArray, file);
  QFETCH(bool, readable);
  QFETCH(Cells, cells);
  QTemporaryDir dir;
  const QString path = dir.filePath("book." + ext);
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(file);
  f.close();
  // The block as the preview gives it: rows × columns cells, tab-separated, CRLF after each row.
  const bool lotus = ext == "wk1";
  QList<QStringList> grid(lotus ? kLotusRows : kExcelRows,
                          QStringList(lotus ? kLotusColumns : kExcelColumns));
  for (const auto& [r, c, value] : cells) grid[r][c] = value;
  QString block;
  for (const QStringList& row : grid) block += row.join(u'\t') + QStringLiteral("\r\n");
  QCOMPARE(lotus ? lotus_block_text(path) : excel_block_text(path), readable ? block : QString());
}

// Waits until every reading has run and its result has been handled.
static void settle(Form1& f) {
  QThreadPool::globalInstance()->waitForDone();
  QTRY_VERIFY(!f.sheet_reading_pending());
  QCoreApplication::processEvents();
}

// The window with Excel chosen and .xls in its list, shown.
Form1& excel_window(FormFixture& fx) {
  fx.write_settings(
      QStringLiteral("[最大ファイル数]\nファイル数=20\n[Excel拡張子]\n拡張子0=xls\n"
                     "[アプリケーションの選択]\nアプリケーション名=excel\n"));
  Form1& f = fx.make(false);
  f.show();
  return f;
}

// The preview on the window: the block arrives from the worker thread under the loading notice,
// and whatever is displayed next replaces it.
void TestDisplaySheets::preview_on_the_window() {
  FormFixture fx;
  Form1& f = excel_window(fx);
  f.ファイルの表示(fx.write_file("REPORT.XLS", xls_file(sample_book())), 1);
  QCOMPARE(f.form3()->Label1->text(), QStringLiteral("ファイルを読み込んでます。"));
  QTRY_VERIFY(f.text_pane->text().startsWith(QStringLiteral("名前\t数量\t")));
  QVERIFY(f.form3()->isHidden());
  // A workbook that cannot be read leaves an empty pane, never the previous text.
  f.ファイルの表示(fx.write_file("broken.xls", "not a workbook"), 1);
  settle(f);
  QCOMPARE(f.text_pane->text(), QString());
  // Stepping back to an entry shows that entry, not the newest.
  f.st.txt.cur = 0;
  QCOMPARE(f.Excelで表示(1), 0);
  QTRY_VERIFY(f.text_pane->text().startsWith(QStringLiteral("名前\t")));
  // A later display supersedes a reading still running.
  XlsBook big = sample_book();
  for (int i = 0; i < 60000; ++i) big.sheets[0].cells.append(num(100 + i, 0, i));
  f.ファイルの表示(fx.write_file("slow.xls", xls_file(big)), 1);
  QVERIFY(f.sheet_reading_pending() && !f.form3()->isHidden());
  f.ファイルの表示(fx.write_file("later.txt", "後の表示"), 1);
  QVERIFY(f.form3()->isHidden());
  settle(f);
  QCOMPARE(f.text_pane->text(), QStringLiteral("後の表示"));
  // A missing workbook is a missing file, not an empty block.
  fx.messages.expect(QStringLiteral(
      "指定したファイル名は存在しません！\n\rファイルボックスを開き直してください。"));
  f.ファイルの表示(fx.folder() + "/gone.xls", 1);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.text_pane->text(), QStringLiteral("後の表示"));
  // The 1-2-3 preview keeps the block's 30 lines (the pane shows line ends as paragraphs).
  f.st.sheet_app = SheetApp::Lotus;
  f.st.lotus_exts[0] = QStringLiteral("wk1");
  f.ファイルの表示(
      fx.write_file("売上.WK1", wk1_file({{0, 0, 0, true, 0, "売上"}, {0, 1, 1, false, 5, {}}})),
      1);
  QTRY_VERIFY(f.text_pane->text().startsWith(QStringLiteral("売上\t")));
  QVERIFY(f.text_pane->text().count(u'\n') >= kLotusRows - 1);
}

// With Excel chosen and a workbook's reading still under way, the text pane is loaded or cleared
// another way: the reading, when it ends, leaves the pane to that, with the labels and the number
// naming what the pane shows.
void TestDisplaySheets::late_reading_is_superseded_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("shown");  // the text the pane ends with
  // clang-format off
  QTest::newRow("Down in the text list")  << "list"   << "最初のテキスト";
  QTest::newRow("number typed and Enter") << "number" << "最初のテキスト";
  QTest::newRow("text tick")              << "tick"   << "最初のテキスト";
  QTest::newRow("text display started")   << "start"  << "";
  QTest::newRow("texts cleared")          << "clear"  << "";
  // clang-format on
}

void TestDisplaySheets::late_reading_is_superseded() {
  QFETCH(QString, action);
  QFETCH(QString, shown);
  FormFixture fx;
  Form1& f = excel_window(fx);
  const QString first = fx.write_file("first.txt", "最初のテキスト");
  f.ファイルの表示(first, 1);
  f.ファイルの表示(fx.write_file("book.xls", xls_file(sample_book())), 1);
  settle(f);
  QVERIFY(f.text_pane->text().startsWith(QStringLiteral("名前\t")));
  if (action == "tick") f.continuous_checks[1]->click();
  // The workbook again, as the arrow or the text display shows it; its reading is under way until
  // the window takes its events.
  f.st.txt.cur = 1;
  QCOMPARE(f.Excelで表示(1), 0);
  QVERIFY(f.sheet_reading_pending());
  if (action == "list") {
    f.text_list->setCurrentRow(0);
    f.Txt_List_KeyUp(38);
  } else if (action == "number") {
    f.number_box->setText("0");
    f.Text1_KeyPress(13);
  } else if (action == "tick") {
    f.連続テキスト_Timer();
  } else if (action == "start") {
    f.continuous_checks[1]->click();
  } else if (action == "clear") {
    fx.messages.expect(QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？"));
    f.txt_all_clear->trigger();
  }
  const bool notice_gone = f.form3()->isHidden();
  settle(f);
  QCOMPARE(f.text_pane->text(), shown);
  QVERIFY(notice_gone);
  if (!shown.isEmpty()) {
    QCOMPARE(f.path_labels[0]->text() + f.path_labels[1]->text() + f.path_labels[2]->text(), first);
    QCOMPARE(f.number_box->text(), QStringLiteral("  0"));
  }
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

// The cells of every kind an Excel 2.x to 4.0 worksheet holds, and what the block shows of them.
static XlsSheet early_sheet(const QString& name) {
  // clang-format off
  return XlsSheet{name, {
      txt(0, 0, "ﾊﾞﾅﾅ表示①"), num(0, 1, 42.5), num(0, 2, 7, XlsCell::Rk), num(0, 3, -3, XlsCell::Rk), num(0, 4, 1, XlsCell::Bool), num(0, 5, 0x07, XlsCell::Error),
      num(1, 0, 2.25, XlsCell::FormulaNumber), txt(1, 1, "式の値", XlsCell::FormulaText), num(1, 2, 0, XlsCell::FormulaBool), num(1, 3, 0x2A, XlsCell::FormulaError), num(1, 4, 0, XlsCell::FormulaEmpty),
      num(2, 0, 45322, XlsCell::Date), num(2, 1, 3.14159, XlsCell::Number, "0.00"), num(2, 2, 0.384375, XlsCell::Time), txt(2, 3, "", XlsCell::Blank), num(2, 4, 70000, XlsCell::Rk),
      txt(19, 9, "右下J20"), txt(20, 0, "row 21"), txt(0, 10, "K1")}};
  // clang-format on
}

// clang-format off
static const Cells kEarlyCells = {
    {0, 0, "ﾊﾞﾅﾅ表示①"}, {0, 1, "42.5"}, {0, 2, "7"}, {0, 3, "-3"}, {0, 4, "TRUE"}, {0, 5, "#DIV/0!"},
    {1, 0, "2.25"}, {1, 1, "式の値"}, {1, 2, "FALSE"}, {1, 3, "#N/A"},
    {2, 0, "2024/1/31"}, {2, 1, "3.14"}, {2, 2, "9:13:30"}, {2, 4, "70000"}, {19, 9, "右下J20"}};
// clang-format on

// Worksheets and workbooks of Excel 2.x, 3.0 and 4.0: bare BIFF2 to BIFF4 streams with their own
// code page and formats, and Excel 4.0 workbooks of several sheets, bare as Excel 4.0 wrote them
// or in a compound file. They are checked as the workbook rows are.
void TestDisplaySheets::early_excel_files_data() {
  QTest::addColumn<QString>("ext");
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<bool>("readable");
  QTest::addColumn<Cells>("cells");
  for (int version : {2, 3, 4}) {
    QTest::newRow(qPrintable(QStringLiteral("BIFF%1 cells of every kind").arg(version)))
        << "xls" << early_biff_sheet(early_sheet("Sheet1"), {version}) << true << kEarlyCells;
  }
  const XlsSheet western{"Sheet1", {txt(0, 0, "Größe"), num(0, 1, 0, XlsCell::Date)}};
  const XlsSheet data{"データ", {txt(0, 0, "別シート")}};
  const XlsSheet tally{"集計", {txt(0, 0, "集計です")}};
  QByteArray cut = early_biff_sheet(early_sheet("Sheet1"), {3});
  cut.chop(40);
  QByteArray label_past_record = early_biff_sheet(XlsSheet{"Sheet1", {txt(0, 0, "abc")}}, {2});
  label_past_record[label_past_record.lastIndexOf("abc") - 1] = 9;  // a length past its record
  QByteArray format_past_record =
      early_biff_sheet(XlsSheet{"Sheet1", {num(0, 0, 1, XlsCell::Number, "0.0")}}, {4});
  format_past_record[format_past_record.indexOf("0.0") - 1] = 40;
  QByteArray sheet_past_stream = biff4_workbook({data, tally});
  sheet_past_stream[sheet_past_stream.indexOf(QByteArray::fromHex("8f00")) + 6] = char(0x7F);
  const Cells none;
  // clang-format off
  QTest::newRow("BIFF2 cells naming their XF by IXFE")      << "xls" << early_biff_sheet(early_sheet("Sheet1"), {2, 932, false, true}) << true << kEarlyCells;
  QTest::newRow("BIFF3 code page 1252, 1904 date system")   << "xls" << early_biff_sheet(western, {3, 1252, true}) << true << Cells{{0, 0, "Größe"}, {0, 1, "1904/1/1"}};
  QTest::newRow("BIFF3 cut inside a cell shows the cells before") << "xls" << cut << true << kEarlyCells.mid(0, 14);
  QTest::newRow("BIFF2 label longer than its record")       << "xls" << label_past_record << false << none;
  QTest::newRow("BIFF4 format longer than its record")      << "xls" << format_past_record << false << none;
  QTest::newRow("Excel 4.0 workbook, Sheet1 second")        << "xls" << biff4_workbook({data, early_sheet("Sheet1")}) << true << kEarlyCells;
  QTest::newRow("Excel 4.0 workbook without Sheet1")        << "xls" << biff4_workbook({tally, data}) << true << Cells{{0, 0, "集計です"}};
  QTest::newRow("Excel 4.0 workbook in a compound file")    << "xls" << compound_file("Book", biff4_workbook({data, early_sheet("Sheet1")})) << true << kEarlyCells;
  QTest::newRow("Excel 4.0 sheet longer than the workbook") << "xls" << sheet_past_stream << false << none;
  // clang-format on
}

void TestDisplaySheets::early_excel_files() {
  workbooks();
}

// Compound files whose chains come back to a sector they have passed are not read: the FAT chain
// of the stream, the DIFAT chain (followed, it would give a readable file), the directory's, the
// mini FAT's sectors, the stream's mini sectors and the mini stream. Each must end at once, not
// when a count of the file's sectors runs out.
void TestDisplaySheets::compound_chains_that_loop_data() {
  QTest::addColumn<int>("loop");
  QTest::addColumn<bool>("mini");
  QTest::addColumn<bool>("readable");
  // clang-format off
  QTest::newRow("no loop, regular sectors")  << int(ChainLoop::None) << false << true;
  QTest::newRow("no loop, mini stream")      << int(ChainLoop::None) << true << true;
  QTest::newRow("FAT")                       << int(ChainLoop::Fat) << false << false;
  QTest::newRow("DIFAT")                     << int(ChainLoop::Difat) << false << false;
  QTest::newRow("directory")                 << int(ChainLoop::Directory) << false << false;
  QTest::newRow("directory, mini stream")    << int(ChainLoop::Directory) << true << false;
  QTest::newRow("mini FAT sectors")          << int(ChainLoop::MiniFatSectors) << true << false;
  QTest::newRow("mini sectors")              << int(ChainLoop::MiniSectors) << true << false;
  QTest::newRow("mini stream")               << int(ChainLoop::MiniStream) << true << false;
  // clang-format on
}

void TestDisplaySheets::compound_chains_that_loop() {
  QFETCH(int, loop);
  QFETCH(bool, mini);
  QFETCH(bool, readable);
  // A BIFF4 worksheet of a few hundred bytes, or padded past the mini stream's cutoff.
  QByteArray stream = early_biff_sheet(XlsSheet{"Sheet1", {txt(0, 0, "連鎖"), num(1, 1, 5)}});
  QVERIFY(stream.size() < 4096);
  if (!mini) stream.append(QByteArray(5000, '\0'));
  const QString text = block_of("loop.xls", compound_file_looping("Book", stream, ChainLoop(loop)));
  QCOMPARE(text.startsWith(QStringLiteral("連鎖\t")), readable);
  if (!readable) QCOMPARE(text, QString());
}

// 64 GiB sparse files named .xls: the reader reads the sectors it needs, never the whole file.
void TestDisplaySheets::huge_sparse_workbooks_data() {
  QTest::addColumn<QByteArray>("head");
  QTest::addColumn<bool>("readable");
  QByteArray over_limit = xls_file(sample_book());
  // The stream's size in its directory entry (sector 1, second entry): 512 MiB.
  over_limit[2 * 512 + 128 + 123] = 0x20;
  QTest::newRow("signature, then holes") << QByteArray::fromHex("d0cf11e0a1b11ae1") << false;
  QTest::newRow("a workbook, then holes") << xls_file(sample_book()) << true;
  QTest::newRow("a stream over the limit") << over_limit << false;
  QTest::newRow("a bare BIFF4 worksheet, then holes")
      << early_biff_sheet(early_sheet("Sheet1")) << false;
}

void TestDisplaySheets::huge_sparse_workbooks() {
  QFETCH(QByteArray, head);
  QFETCH(bool, readable);
  QTemporaryDir dir;
  QFile f(dir.filePath("huge.xls"));
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(head);
  if (!f.resize(64ll << 30)) QSKIP("the file system refuses a sparse file of 64 GiB");
  f.close();
  const QString text = excel_block_text(f.fileName());
  QCOMPARE(text.startsWith(QStringLiteral("名前\t数量\t#DIV/0!")), readable);
  if (!readable) QCOMPARE(text, QString());
}

static QString copy_that_runs_out_of_memory(const QString&, const QString&) {
  throw std::bad_alloc();
}

// A reading that fails, however it fails, leaves the window alive with an empty pane: nothing
// is thrown again on the window thread.
void TestDisplaySheets::failed_reading_leaves_the_window_alive() {
  FormFixture fx;
  Form1& f = excel_window(fx);
  f.text_pane->set_text(QStringLiteral("前の表示"));
  f.start_sheet_reading(f.take_sheet_ticket(), &copy_that_runs_out_of_memory, "book.xls",
                        fx.folder() + "/");
  settle(f);
  QCOMPARE(f.text_pane->text(), QString());
  // The same for a 64 GiB workbook shown from the file box.
  QFile huge(fx.folder() + "/huge.xls");
  QVERIFY(huge.open(QIODevice::WriteOnly));
  huge.write(QByteArray::fromHex("d0cf11e0a1b11ae1"));
  if (!huge.resize(64ll << 30)) QSKIP("the file system refuses a sparse file of 64 GiB");
  huge.close();
  f.text_pane->set_text(QStringLiteral("前の表示"));
  f.ファイルの表示(huge.fileName(), 1);
  settle(f);
  QCOMPARE(f.text_pane->text(), QString());
  QVERIFY(f.form3()->isHidden());
}

QTEST_MAIN(TestDisplaySheets)
#include "test_sheets.moc"
