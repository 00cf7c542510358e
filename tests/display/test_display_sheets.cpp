// The spreadsheet preview: the workbook readers on real workbooks written by the tests, and the
// preview on the real window.

#include "app/form3.h"
#include "app/main_window.h"
#include "display/sheet_cells.h"
#include "display/sheet_readers.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "workbook_writers.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QThreadPool>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

using Cells = QList<std::tuple<int, int, QString>>;  // row, column, expected text

XlsCell num(int r, int c, double v, XlsCell::Kind k = XlsCell::Number) {
  return XlsCell{r, c, k, v, QString()};
}
XlsCell txt(int r, int c, const QString& s, XlsCell::Kind k = XlsCell::Text) {
  return XlsCell{r, c, k, 0, s};
}

// The block text split back into its cells; the shape is checked on the way.
QList<QStringList> split_block(const QString& text, int rows, int columns) {
  QList<QStringList> out;
  if (!text.endsWith(QStringLiteral("\r\n"))) return out;
  const QStringList lines = text.chopped(2).split(QStringLiteral("\r\n"));
  if (lines.size() != rows) return out;
  for (const QString& line : lines) {
    const QStringList cells = line.split(u'\t');
    if (cells.size() != columns) return {};
    out.append(cells);
  }
  return out;
}

void check_cells(const QString& text, int rows, int columns, const Cells& expected) {
  const QList<QStringList> grid = split_block(text, rows, columns);
  QCOMPARE(grid.size(), rows);
  int filled = 0;
  for (const QStringList& row : grid) {
    for (const QString& cell : row) filled += cell.isEmpty() ? 0 : 1;
  }
  for (const auto& [r, c, value] : expected) {
    QCOMPARE(grid[r][c], value);
  }
  // Nothing but the expected cells is filled.
  int expected_filled = 0;
  for (const auto& e : expected) expected_filled += std::get<2>(e).isEmpty() ? 0 : 1;
  QCOMPARE(filled, expected_filled);
}

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
  return path;
}

XlsBook sample_book() {
  XlsSheet s{QStringLiteral("Sheet1"),
             {txt(0, 0, "名前"),
              txt(0, 1, "数量"),
              txt(1, 0, "りんご"),
              num(1, 1, 3),
              num(1, 2, 120.5),
              num(2, 1, -7),
              num(2, 2, 0.1),
              num(3, 2, 1e10),
              num(4, 0, 1, XlsCell::Bool),
              num(4, 1, 0, XlsCell::Bool),
              num(4, 2, 0x07, XlsCell::Error),
              num(5, 0, 42.25, XlsCell::FormulaNumber),
              txt(5, 1, "計算結果", XlsCell::FormulaText),
              num(5, 2, 1, XlsCell::FormulaBool),
              num(6, 0, 45322, XlsCell::Date),
              num(6, 1, 45284.770891203706, XlsCell::DateTime),
              num(6, 2, 0.384375, XlsCell::Time),
              txt(7, 0, "Tab\tand\r\nbreak"),
              txt(19, 9, "右下J20"),
              txt(20, 0, "row 21"),
              txt(0, 10, "K1"),
              txt(30, 30, "far")},
             -1,
             -1};
  return XlsBook{{s}, 0, false, false, 0, 512};
}

const Cells kSampleCells = {{0, 0, "名前"},       {0, 1, "数量"},
                            {1, 0, "りんご"},     {1, 1, "3"},
                            {1, 2, "120.5"},      {2, 1, "-7"},
                            {2, 2, "0.1"},        {3, 2, "10000000000"},
                            {4, 0, "TRUE"},       {4, 1, "FALSE"},
                            {4, 2, "#DIV/0!"},    {5, 0, "42.25"},
                            {5, 1, "計算結果"},   {5, 2, "TRUE"},
                            {6, 0, "2024/01/31"}, {6, 1, "2023/12/24 18:30:05"},
                            {6, 2, "09:13:30"},   {7, 0, "Tab and break"},
                            {19, 9, "右下J20"}};

}  // namespace

class TestDisplaySheets final : public QObject {
  Q_OBJECT
 private slots:
  void numbers_as_cells_show_them_data();
  void numbers_as_cells_show_them();
  void date_serials_data();
  void date_serials();
  void format_codes_data();
  void format_codes();
  void xls_workbooks_data();
  void xls_workbooks();
  void unreadable_xls_gives_nothing_data();
  void unreadable_xls_gives_nothing();
  void xlsx_workbooks_data();
  void xlsx_workbooks();
  void ods_workbooks_data();
  void ods_workbooks();
  void lotus_workbooks_data();
  void lotus_workbooks();
  void preview_on_the_window();
  void preview_never_touches_the_clipboard();
  void preview_through_text_navigation();
  void missing_workbook_is_a_missing_file();
  void later_step_supersedes_a_reading();
};

void TestDisplaySheets::numbers_as_cells_show_them_data() {
  QTest::addColumn<double>("value");
  QTest::addColumn<QString>("text");
  // clang-format off
  QTest::newRow("integer") << 3.0 << "3";
  QTest::newRow("negative zero") << -0.0 << "0";
  QTest::newRow("large integer") << 1e10 << "10000000000";
  QTest::newRow("integer beyond 15 digits") << 1e16 << "1E+16";
  QTest::newRow("fraction") << 120.5 << "120.5";
  QTest::newRow("shortest form") << 0.1 << "0.1";
  QTest::newRow("sum error hidden") << 0.1 + 0.2 << "0.3";
  QTest::newRow("third") << 1.0 / 3 << "0.333333333333333";
  QTest::newRow("negative fraction") << -0.25 << "-0.25";
  QTest::newRow("small") << 1.5e-7 << "1.5E-07";
  // clang-format on
}

void TestDisplaySheets::numbers_as_cells_show_them() {
  QFETCH(double, value);
  QFETCH(QString, text);
  QCOMPARE(number_text(value), text);
}

void TestDisplaySheets::date_serials_data() {
  QTest::addColumn<double>("serial");
  QTest::addColumn<bool>("date1904");
  QTest::addColumn<int>("shape");
  QTest::addColumn<QString>("text");
  const int d = int(DateShape::Date), t = int(DateShape::Time), dt = int(DateShape::DateTime);
  // clang-format off
  QTest::newRow("first day") << 1.0 << false << d << "1900/01/01";
  QTest::newRow("before the phantom day") << 59.0 << false << d << "1900/02/28";
  QTest::newRow("phantom day") << 60.0 << false << d << "1900/02/29";
  QTest::newRow("after the phantom day") << 61.0 << false << d << "1900/03/01";
  QTest::newRow("modern") << 45322.0 << false << d << "2024/01/31";
  QTest::newRow("1904 epoch") << 0.0 << true << d << "1904/01/01";
  QTest::newRow("noon") << 0.5 << false << t << "12:00:00";
  QTest::newRow("rounds to the second") << 0.999999 << false << t << "00:00:00";
  QTest::newRow("date and time") << 45284.770891203706 << false << dt << "2023/12/24 18:30:05";
  QTest::newRow("negative is a number") << -1.0 << false << d << "-1";
  // clang-format on
}

void TestDisplaySheets::date_serials() {
  QFETCH(double, serial);
  QFETCH(bool, date1904);
  QFETCH(int, shape);
  QFETCH(QString, text);
  QCOMPARE(serial_date_text(serial, date1904, DateShape(shape)), text);
}

void TestDisplaySheets::format_codes_data() {
  QTest::addColumn<QString>("code");
  QTest::addColumn<int>("kind");
  const int n = int(FormatKind::Number), d = int(FormatKind::Date), t = int(FormatKind::Time),
            dt = int(FormatKind::DateTime);
  // clang-format off
  QTest::newRow("general") << "General" << n;
  QTest::newRow("scientific") << "0.00E+00" << n;
  QTest::newRow("colour") << "[Red]#,##0" << n;
  QTest::newRow("quoted letters") << "0\"days\"" << n;
  QTest::newRow("escaped letter") << "0\\d" << n;
  QTest::newRow("date") << "yyyy/mm/dd" << d;
  QTest::newRow("month and day") << "m/d" << d;
  QTest::newRow("japanese date") << "yyyy\"年\"m\"月\"d\"日\"" << d;
  QTest::newRow("minutes and seconds") << "mm:ss" << t;
  QTest::newRow("hours") << "h:mm AM/PM" << t;
  QTest::newRow("elapsed hours") << "[h]:mm:ss" << t;
  QTest::newRow("date and time") << "yyyy/m/d h:mm" << dt;
  QTest::newRow("locale bracket") << "[$-411]ge.m.d" << d;
  // clang-format on
}

void TestDisplaySheets::format_codes() {
  QFETCH(QString, code);
  QFETCH(int, kind);
  QCOMPARE(int(format_kind(code)), kind);
}

void TestDisplaySheets::xls_workbooks_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<Cells>("cells");
  XlsBook book = sample_book();
  // clang-format off
  QTest::newRow("cells of every kind") << xls_file(book) << kSampleCells;
  book.sector_size = 4096;
  QTest::newRow("4096-byte sectors") << xls_file(book) << kSampleCells;
  const XlsSheet data{"データ", {txt(0, 0, "別シート"), num(1, 0, 42)}, -1, -1};
  const XlsSheet other{"集計", {txt(0, 0, "集計です")}, -1, -1};
  const XlsSheet sheet1{"Sheet1", {txt(0, 0, "本体")}, -1, -1};
  QTest::newRow("active sheet without Sheet1") << xls_file({{data, other}, 1, false, false, 0, 512})
      << Cells{{0, 0, "集計です"}};
  QTest::newRow("first sheet when none is marked") << xls_file({{data, other}, 7, false, false, 0, 512})
      << Cells{{0, 0, "別シート"}, {1, 0, "42"}};
  QTest::newRow("Sheet1 second") << xls_file({{data, sheet1}, 0, false, false, 0, 512})
      << Cells{{0, 0, "本体"}};
  QTest::newRow("empty workbook") << xls_file({{XlsSheet{"Sheet1", {}, -1, -1}}, 0, false, false, 0, 512})
      << Cells{};
  QTest::newRow("used range smaller than the block") << xls_file({{XlsSheet{"Sheet1", {num(0, 0, 1)}, -1, -1}}, 0, false, false, 0, 512})
      << Cells{{0, 0, "1"}};
  const XlsSheet cp932_sheet{"表1", {txt(0, 0, "ﾊﾞﾅﾅ表示①"), txt(1, 2, "髙橋"), num(2, 0, 2.5), txt(3, 1, "式の値", XlsCell::FormulaText)}, -1, -1};
  QTest::newRow("BIFF5 code page 932") << xls_file({{cp932_sheet}, 0, true, false, 0, 512})
      << Cells{{0, 0, "ﾊﾞﾅﾅ表示①"}, {1, 2, "髙橋"}, {2, 0, "2.5"}, {3, 1, "式の値"}};
  // clang-format on
  // Runs of numbers across the block's edge and below it.
  XlsSheet runs{
      "Sheet1", {}, -1, -1, {{2, 7, {1, 2, 3, 4, 5}}, {19, 0, {9}}, {25, 0, {7, 7}}, {3, 12, {6}}}};
  QTest::newRow("runs of numbers") << xls_file({{runs}, 0, false, false, 0, 512})
                                   << Cells{{2, 7, "1"}, {2, 8, "2"}, {2, 9, "3"}, {19, 0, "9"}};
  // A workbook written by another program.
  QFile sample(QStringLiteral(TARVEX_TEST_DATA_DIR "/sample.xls"));
  sample.open(QIODevice::ReadOnly);
  QTest::newRow("written by xlwt") << sample.readAll()
                                   << Cells{{0, 0, "名前"},
                                            {0, 1, "数量"},
                                            {0, 2, "単価"},
                                            {0, 3, "日付"},
                                            {0, 5, "Note"},
                                            {1, 0, "りんご"},
                                            {1, 1, "3"},
                                            {1, 2, "120.5"},
                                            {1, 3, "2024/01/31"},
                                            {2, 0, "ﾊﾞﾅﾅ"},
                                            {2, 1, "-7"},
                                            {2, 2, "0.1"},
                                            {2, 3, "2023/12/24 18:30:05"},
                                            {3, 0, "Tab and \"quote\""},
                                            {3, 2, "10000000000"},
                                            {3, 3, "09:15:00"},
                                            {5, 0, "TRUE"},
                                            {19, 9, "右下J20"}};
  // A string table long enough to continue over several records.
  XlsSheet many{"Sheet1", {}, -1, -1};
  Cells many_cells;
  for (int i = 0; i < 3000; ++i) many.cells.append(txt(i, 0, QStringLiteral("文字列%1").arg(i)));
  for (int i = 0; i < kExcelRows; ++i) many_cells.append({i, 0, QStringLiteral("文字列%1").arg(i)});
  QTest::newRow("string table over several records")
      << xls_file({{many}, 0, false, false, 0, 512}) << many_cells;
}

void TestDisplaySheets::xls_workbooks() {
  QFETCH(QByteArray, file);
  QFETCH(Cells, cells);
  QTemporaryDir dir;
  const QString path = write(dir, "book.xls", file);
  check_cells(excel_block_text(path), kExcelRows, kExcelColumns, cells);
}

void TestDisplaySheets::unreadable_xls_gives_nothing_data() {
  QTest::addColumn<QByteArray>("file");
  const QByteArray good = xls_file(sample_book());
  XlsBook huge = sample_book();
  huge.sheets[0].declared_rows = 65536;
  huge.sheets[0].declared_columns = 256;
  XlsBook beyond = sample_book();
  beyond.sheets[0].declared_rows = 0x7FFFFFFF;
  XlsBook strings = sample_book();
  strings.claimed_strings = 0x40000000;
  XlsBook long_string = sample_book();
  long_string.long_string = true;
  XlsBook unknown_format = sample_book();
  unknown_format.unknown_format = true;
  XlsBook twice = sample_book();
  twice.twice_declared = true;
  XlsBook encrypted = sample_book();
  encrypted.encrypted = true;
  QByteArray bad_fat = good;
  for (int i = 0; i < 4; ++i) bad_fat[76 + i] = '\x7f';  // the FAT sector lies beyond the file
  QByteArray long_name = good;
  long_name[512 + 512 + 65] = '\x40';  // the root entry's name claims 16 KB
  // clang-format off
  QTest::newRow("not a workbook") << QByteArray("名前,数量\r\n");
  QTest::newRow("directory name beyond its field") << long_name;
  QTest::newRow("empty file") << QByteArray();
  QTest::newRow("compound header only") << good.left(512);
  QTest::newRow("truncated") << good.left(good.size() / 2);
  QTest::newRow("FAT beyond the file") << bad_fat;
  QTest::newRow("a million cells in a small file") << xls_file(huge);
  QTest::newRow("rows beyond any sheet") << xls_file(beyond);
  QTest::newRow("string table beyond the file") << xls_file(strings);
  QTest::newRow("encrypted") << xls_file(encrypted);
  QTest::newRow("sheet size declared twice") << xls_file(twice);
  QTest::newRow("string running past the table") << xls_file(long_string);
  QTest::newRow("cells with an unknown format") << xls_file(unknown_format);
  QTest::newRow("no sheet") << xls_file({{}, 0, false, false, 0, 512});
  // clang-format on
}

void TestDisplaySheets::unreadable_xls_gives_nothing() {
  QFETCH(QByteArray, file);
  QTemporaryDir dir;
  QCOMPARE(excel_block_text(write(dir, "bad.xls", file)), QString());
}

void TestDisplaySheets::xlsx_workbooks_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<Cells>("cells");
  XlsxBook book;
  book.shared_strings = {"<t>名前</t><rPh sb=\"0\" eb=\"2\"><t>ナマエ</t></rPh>",
                         "<r><t>No</t></r><r><t xml:space=\"preserve\">te </t></r>",
                         "<t>Sheet1の値</t>"};
  book.style_formats = {0, 14, 164, 22};
  book.custom_formats = {{164, "h:mm:ss"}};
  book.sheets = {
      {"Sheet1",
       "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
       "<c r=\"K1\" t=\"s\"><v>0</v></c></row>"
       "<row r=\"2\"><c r=\"A2\"><v>3</v></c><c r=\"B2\"><v>120.5</v></c>"
       "<c r=\"C2\" t=\"b\"><v>1</v></c><c r=\"D2\" t=\"e\"><v>#N/A</v></c>"
       "<c r=\"E2\" t=\"inlineStr\"><is><t>インライン</t></is></c></row>"
       "<row r=\"3\"><c r=\"A3\" s=\"1\"><v>45322</v></c><c r=\"B3\" s=\"2\"><v>0.5</v></c>"
       "<c r=\"C3\" s=\"3\"><v>45284.770891203706</v></c>"
       "<c r=\"D3\"><f>A2*2</f><v>6</v></c><c r=\"E3\" t=\"str\"><f>\"x\"</f><v>文字</v></c>"
       "<c r=\"F3\"><f>A2</f><v></v></c></row>"
       "<row r=\"4\"><c><v>7</v></c><c><v>8</v></c></row>"
       "<row r=\"20\"><c r=\"J20\" t=\"inlineStr\"><is><t>右下\tJ20</t></is></c></row>"
       "<row r=\"21\"><c r=\"A21\"><v>99</v></c></row>"}};
  const Cells cells = {{0, 0, "名前"},       {0, 1, "Note "},
                       {1, 0, "3"},          {1, 1, "120.5"},
                       {1, 2, "TRUE"},       {1, 3, "#N/A"},
                       {1, 4, "インライン"}, {2, 0, "2024/01/31"},
                       {2, 1, "12:00:00"},   {2, 2, "2023/12/24 18:30:05"},
                       {2, 3, "6"},          {2, 4, "文字"},
                       {3, 0, "7"},          {3, 1, "8"},
                       {19, 9, "右下 J20"}};
  QTest::newRow("cells of every kind") << xlsx_file(book) << cells;
  XlsxBook two;
  two.shared_strings = book.shared_strings;
  two.active = 1;
  two.sheets = {{"データ", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
                {"集計", "<row r=\"1\"><c r=\"A1\"><v>2</v></c></row>"}};
  QTest::newRow("active sheet without Sheet1") << xlsx_file(two) << Cells{{0, 0, "2"}};
  two.sheets.append(std::pair<QString, QByteArray>{
      "Sheet1", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>2</v></c></row>"});
  QTest::newRow("Sheet1 last, absolute target") << xlsx_file(two) << Cells{{0, 0, "Sheet1の値"}};
  two.sheets = {{"Sheet1", ""}};
  QTest::newRow("empty sheet") << xlsx_file(two) << Cells{};
  // A workbook written by another program (shared strings with readings, dates, a formula
  // without a cached value).
  QFile sample(QStringLiteral(TARVEX_TEST_DATA_DIR "/sample.xlsx"));
  sample.open(QIODevice::ReadOnly);
  QTest::newRow("written by openpyxl") << sample.readAll()
                                       << Cells{{0, 0, "名前"},
                                                {0, 1, "数量"},
                                                {0, 2, "単価"},
                                                {0, 3, "日付"},
                                                {0, 5, "Note "},
                                                {1, 0, "りんご"},
                                                {1, 1, "3"},
                                                {1, 2, "120.5"},
                                                {1, 3, "2024/01/31"},
                                                {2, 0, "ﾊﾞﾅﾅ"},
                                                {2, 1, "-7"},
                                                {2, 2, "0.1"},
                                                {2, 3, "2023/12/24 18:30:05"},
                                                {3, 0, "Tab and \"quote\""},
                                                {3, 2, "10000000000"},
                                                {3, 3, "TRUE"},
                                                {19, 9, "右下J20"}};
}

void TestDisplaySheets::xlsx_workbooks() {
  QFETCH(QByteArray, file);
  QFETCH(Cells, cells);
  QTemporaryDir dir;
  // The content decides, not the name.
  check_cells(excel_block_text(write(dir, "book.xls", file)), kExcelRows, kExcelColumns, cells);
}

void TestDisplaySheets::ods_workbooks_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<Cells>("cells");
  const QByteArray rows =
      "<table:table-column table:number-columns-repeated=\"16384\"/>"
      "<table:table-header-rows><table:table-row><table:table-cell office:value-type=\"string\">"
      "<text:p>名前</text:p></table:table-cell><table:table-cell office:value-type=\"float\" "
      "office:value=\"120.5\"><text:p>120.50</text:p></table:table-cell></table:table-row>"
      "</table:table-header-rows>"
      "<table:table-row><table:table-cell table:number-columns-repeated=\"2\" "
      "office:value-type=\"float\" office:value=\"3\"/><table:table-cell "
      "office:value-type=\"boolean\" office:boolean-value=\"true\"/><table:table-cell "
      "office:value-type=\"date\" office:date-value=\"2024-01-31\"/><table:table-cell "
      "office:value-type=\"time\" office:time-value=\"PT18H30M05S\"/><table:table-cell "
      "table:formula=\"of:=1+1\" office:value-type=\"float\" office:value=\"2\"/>"
      "<table:table-cell office:value-type=\"string\"><text:p>a<text:s text:c=\"2\"/>b</text:p>"
      "<text:p>c<text:tab/>d</text:p></table:table-cell></table:table-row>"
      "<table:table-row "
      "table:number-rows-repeated=\"1048570\"><table:table-cell/></table:table-row>"
      "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>遠く</text:p>"
      "</table:table-cell></table:table-row>";
  const Cells cells = {{0, 0, "名前"},     {0, 1, "120.5"}, {1, 0, "3"},
                       {1, 1, "3"},        {1, 2, "TRUE"},  {1, 3, "2024/01/31"},
                       {1, 4, "18:30:05"}, {1, 5, "2"},     {1, 6, "a  b c d"}};
  const QByteArray other =
      "<table:table-row><table:table-cell office:value-type=\"string\">"
      "<text:p>集計</text:p></table:table-cell></table:table-row>";
  // clang-format off
  QTest::newRow("cells of every kind") << ods_file({{"Sheet1", rows}}, QString()) << cells;
  QTest::newRow("active sheet without Sheet1") << ods_file({{"データ", rows}, {"集計", other}}, "集計")
      << Cells{{0, 0, "集計"}};
  QTest::newRow("Sheet1 second") << ods_file({{"集計", other}, {"Sheet1", rows}}, "集計") << cells;
  // clang-format on
}

void TestDisplaySheets::ods_workbooks() {
  QFETCH(QByteArray, file);
  QFETCH(Cells, cells);
  QTemporaryDir dir;
  check_cells(excel_block_text(write(dir, "book.ods", file)), kExcelRows, kExcelColumns, cells);
}

void TestDisplaySheets::lotus_workbooks_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<Cells>("cells");
  const QList<WkCell> cells = {
      {0, 0, 0, true, 0, "Name"}, {0, 0, 1, true, 0, "りんご"},  {0, 1, 0, true, 0, "ﾊﾞﾅﾅ表示"},
      {0, 1, 1, false, 3, {}},    {0, 2, 2, false, 120.5, {}},   {0, 3, 3, false, -0.25, {}},
      {0, 29, 8, true, 0, "I30"}, {0, 30, 0, true, 0, "row 31"}, {0, 0, 9, true, 0, "J1"}};
  const Cells expected = {{0, 0, "Name"},  {0, 1, "りんご"}, {1, 0, "ﾊﾞﾅﾅ表示"}, {1, 1, "3"},
                          {2, 2, "120.5"}, {3, 3, "-0.25"},  {29, 8, "I30"}};
  // clang-format off
  QTest::newRow("WK1") << wk1_file(cells) << expected;
  QTest::newRow("WK3") << wk3_file(cells, 0x1000) << expected;
  QTest::newRow("WK4") << wk3_file(cells, 0x1002) << expected;
  QList<WkCell> sheets = cells;
  sheets.append({1, 5, 5, true, 0, "シートB"});
  QTest::newRow("WK3 sheet B ignored") << wk3_file(sheets, 0x1000) << expected;
  // Bytes after the end record: the file is parsed whole, far cells and all.
  QTest::newRow("WK1 with a tail") << wk1_file(cells) + QByteArray(7, 'x') << expected;
  QTest::newRow("WK3 with a tail") << wk3_file(sheets, 0x1000) + QByteArray(7, 'x') << expected;
  QTest::newRow("not a Lotus file") << QByteArray("Name\tQty\r\n") << Cells{};
  // clang-format on
}

void TestDisplaySheets::lotus_workbooks() {
  QFETCH(QByteArray, file);
  QFETCH(Cells, cells);
  QTemporaryDir dir;
  const QString text = lotus_block_text(write(dir, "book.wk1", file));
  if (cells.isEmpty()) {
    QCOMPARE(text, QString());
  } else {
    check_cells(text, kLotusRows, kLotusColumns, cells);
  }
}

namespace {

Form1& make_sheet_form(FormFixture& fx, const QString& app, const QString& section,
                       const QString& ext) {
  fx.write_settings(QStringLiteral("[最大ファイル数]\nファイル数=20\n[%1]\n拡張子0=%2\n"
                                   "[アプリケーションの選択]\nアプリケーション名=%3\n")
                        .arg(section, ext, app));
  Form1& f = fx.make(false);
  f.show();
  return f;
}

// Waits until every reading has run and its result has been handled.
void settle(Form1& f) {
  QThreadPool::globalInstance()->waitForDone();
  QTRY_VERIFY(!f.sheet_reading_pending());
  QCoreApplication::processEvents();
}

}  // namespace

void TestDisplaySheets::preview_on_the_window() {
  FormFixture fx;
  Form1& f = make_sheet_form(fx, "excel", "Excel拡張子", "xls");
  const QString report = fx.write_file("REPORT.XLS", xls_file(sample_book()));
  f.ファイルの表示(report, 1);
  QTRY_VERIFY(f.RichTextBox1->text().startsWith(QStringLiteral("名前\t数量\t\t")));
  QVERIFY(f.form3()->isHidden());
  QCOMPARE(f.form3()->Label1->text(), QStringLiteral("ファイルを読み込んでます。"));
  QCOMPARE(f.st.sheet_file, QStringLiteral("REPORT.XLS"));
  QCOMPARE(f.st.excel_hit, 0);
  QCOMPARE(f.Txt_List->count(), 1);
  // A workbook that cannot be read leaves an empty pane, never the previous text.
  f.ファイルの表示(fx.write_file("broken.xls", "not a workbook"), 1);
  settle(f);
  QCOMPARE(f.RichTextBox1->text(), QString());
  QCOMPARE(f.Txt_List->count(), 2);

  // A list entry in capitals never matches: the file is loaded as a text.
  FormFixture caps;
  Form1& g = make_sheet_form(caps, "excel", "Excel拡張子", "XLS");
  g.ファイルの表示(caps.write_file("plain.xls", "just text"), 1);
  settle(g);
  QCOMPARE(g.RichTextBox1->text(), QStringLiteral("just text"));

  FormFixture lotus;
  Form1& h = make_sheet_form(lotus, "1-2-3", "1-2-3拡張子", "wk1");
  h.ファイルの表示(
      lotus.write_file("売上.WK1", wk1_file({{0, 0, 0, true, 0, "売上"}, {0, 1, 1, false, 5, {}}})),
      1);
  QTRY_VERIFY(h.RichTextBox1->text().startsWith(QStringLiteral("売上\t")));
  // The pane keeps the block's 30 lines (it shows line ends as paragraphs).
  QVERIFY(h.RichTextBox1->text().count(u'\n') >= kLotusRows - 1);
}

void TestDisplaySheets::preview_never_touches_the_clipboard() {
  FormFixture fx;
  Form1& f = make_sheet_form(fx, "excel", "Excel拡張子", "xls");
  QGuiApplication::clipboard()->setText(QStringLiteral("ユーザーの文字"));
  f.ファイルの表示(fx.write_file("a.xls", xls_file(sample_book())), 1);
  f.ファイルの表示(fx.write_file("b.xls", "broken"), 1);
  settle(f);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ユーザーの文字"));
}

void TestDisplaySheets::preview_through_text_navigation() {
  FormFixture fx;
  Form1& f = make_sheet_form(fx, "excel", "Excel拡張子", "xls");
  XlsBook second = sample_book();
  second.sheets[0].cells = {txt(0, 0, "二冊目")};
  const QString one = fx.write_file("one.xls", xls_file(sample_book()));
  const QString two = fx.write_file("two.xls", xls_file(second));
  const QString note = fx.write_file("note.txt", "メモ");
  for (const QString& p : {one, two, note}) f.ファイルの表示(p, 1);
  settle(f);
  // Stepping back to an entry: the entry is the displayed one, not the newest.
  f.st.txt.cur = 1;
  QCOMPARE(f.Excelで表示(1), 0);
  QTRY_VERIFY(f.RichTextBox1->text().startsWith(QStringLiteral("二冊目\t")));
  f.st.txt.cur = 2;
  QCOMPARE(f.Excelで表示(1), 0);
  settle(f);
  QCOMPARE(f.RichTextBox1->text(), QStringLiteral("メモ"));
  QVERIFY(fx.messages.done());
}

void TestDisplaySheets::missing_workbook_is_a_missing_file() {
  FormFixture fx;
  Form1& f = make_sheet_form(fx, "excel", "Excel拡張子", "xls");
  const QString kept = fx.write_file("kept.xls", xls_file(sample_book()));
  f.ファイルの表示(kept, 1);
  settle(f);
  const QStringList paths = f.st.txt.paths;
  fx.messages.expect(QStringLiteral(
      "指定したファイル名は存在しません！\n\rファイルボックスを開き直してください。"));
  f.ファイルの表示(fx.folder() + "/gone.xls", 1);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.st.msg_answer, 1);
  QCOMPARE(f.st.txt.paths, paths);
  QCOMPARE(f.st.txt.last, 0);
  QVERIFY(f.form3()->isHidden());
  QVERIFY(f.RichTextBox1->text().startsWith(QStringLiteral("名前")));
  // Through text navigation the missing-file prompt takes over.
  QFile::remove(kept);
  f.st.txt.cur = 0;
  fx.messages.expect(kept + QStringLiteral("が見つかりません！ 登録から削除しますか？"), kAnswerNo);
  QCOMPARE(f.Excelで表示(1), 1);
  QVERIFY(f.form3()->isHidden());
  QVERIFY(!f.sheet_reading_pending());
}

void TestDisplaySheets::later_step_supersedes_a_reading() {
  FormFixture fx;
  Form1& f = make_sheet_form(fx, "excel", "Excel拡張子", "xls");
  XlsBook big = sample_book();
  for (int i = 0; i < 60000; ++i) big.sheets[0].cells.append(num(100 + i, 0, i));
  const QString slow = fx.write_file("slow.xls", xls_file(big));
  const QString note = fx.write_file("note.txt", "後の表示");
  f.ファイルの表示(slow, 1);
  QVERIFY(f.sheet_reading_pending());
  QVERIFY(!f.form3()->isHidden());
  f.ファイルの表示(note, 1);
  QVERIFY(f.form3()->isHidden());
  settle(f);
  QCOMPARE(f.RichTextBox1->text(), QStringLiteral("後の表示"));
}

QTEST_MAIN(TestDisplaySheets)
#include "test_display_sheets.moc"
