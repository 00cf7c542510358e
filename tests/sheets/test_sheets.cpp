// The spreadsheet preview: the workbook readers on real workbooks written by the tests, and the
// preview on the real window.

#include "app/form3.h"
#include "app/main_window.h"
#include "display/text_pane.h"
#include "form_fixture.h"
#include "sheets/sheet_cells.h"
#include "sheets/sheet_readers.h"
#include "workbook_writers.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
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
    {0, 0, "名前"}, {0, 1, "数量"}, {0, 2, "#DIV/0!"}, {1, 0, "42.25"}, {1, 1, "計算結果"}, {1, 2, "TRUE"}, {2, 0, "2024/01/31"},
    {2, 1, "2023/12/24 18:30:05"}, {2, 2, "09:13:30"}, {3, 0, "Tab and break"}, {3, 1, "FALSE"}, {19, 9, "右下J20"}};
// The sample workbooks written by other programs hold the same table.
const Cells kWrittenElsewhere = {
    {0, 0, "名前"}, {0, 1, "数量"}, {0, 2, "単価"}, {0, 3, "日付"}, {1, 0, "りんご"}, {1, 1, "3"},
    {1, 2, "120.5"}, {1, 3, "2024/01/31"}, {2, 0, "ﾊﾞﾅﾅ"}, {2, 1, "-7"}, {2, 2, "0.1"},
    {2, 3, "2023/12/24 18:30:05"}, {3, 0, "Tab and \"quote\""}, {3, 2, "10000000000"}, {19, 9, "右下J20"}};
// clang-format on

}  // namespace

class TestDisplaySheets final : public QObject {
  Q_OBJECT
 private slots:
  void cell_texts();
  void workbooks_data();
  void workbooks();
  void preview_on_the_window();
  void late_reading_is_superseded_data();
  void late_reading_is_superseded();
};

// Numbers, date serials and format codes as the cells show them.
void TestDisplaySheets::cell_texts() {
  const auto d = DateShape::Date, t = DateShape::Time;
  const auto kind = [](const char* code) {
    return QString::number(int(format_kind(QString::fromUtf8(code))));
  };
  const QString n = QString::number(int(FormatKind::Number)),
                ft = QString::number(int(FormatKind::Time));
  // clang-format off
  const std::pair<QString, QString> cases[] = {
      {number_text(1e16), "1E+16"},                      // an integer beyond 15 digits
      {number_text(0.1 + 0.2), "0.3"},                   // the sum's error hidden
      {serial_date_text(60, false, d), "1900/02/29"},    // the day that never was
      {serial_date_text(0, true, d), "1904/01/01"},
      {serial_date_text(0.999999, false, t), "00:00:00"},  // rounds to the next day's second
      {kind("[Red]#,##0"), n},
      {kind("0\"days\""), n},
      {kind("0\\d"), n},
      {kind("mm:ss"), ft},
      {kind("[h]:mm:ss"), ft}};
  // clang-format on
  for (const auto& [text, expected] : cases) QCOMPARE(text, expected);
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
  QTest::newRow("xls written by xlwt")                    << "xls" << data_file("sample.xls") << true << kWrittenElsewhere + Cells{{0, 5, "Note"}, {3, 3, "09:15:00"}, {5, 0, "TRUE"}};
  QTest::newRow("xls string table over several records")  << "xls" << xls_file({{many}}) << true << many_cells;
  QTest::newRow("FAT beyond the file")                    << "xls" << bad_fat << false << none;
  QTest::newRow("a million cells in a small file")        << "xls" << changed([](XlsBook& b) { b.sheets[0].declared_rows = 65536; b.sheets[0].declared_columns = 256; }) << false << none;
  QTest::newRow("string table beyond the file")           << "xls" << changed([](XlsBook& b) { b.claimed_strings = 0x40000000; }) << false << none;
  QTest::newRow("sheet size declared twice")              << "xls" << changed([](XlsBook& b) { b.twice_declared = true; }) << false << none;

  // .xlsx packages; the content decides, not the name. The sample shows shared strings with
  // readings and runs, inline strings, booleans and custom date formats; these rows what it
  // lacks: errors, cached formula results, built-in formats and cells without a reference.
  const QByteArray cells =
      "<row r=\"1\"><c r=\"A1\" t=\"e\"><v>#N/A</v></c><c r=\"B1\" s=\"1\"><v>0.5</v></c><c r=\"C1\" s=\"2\"><v>45322</v></c>"
      "<c r=\"D1\"><f>A2*2</f><v>6</v></c><c r=\"E1\" t=\"str\"><f>\"x\"</f><v>文字</v></c><c r=\"F1\"><f>A2</f><v></v></c><c r=\"K1\"><v>1</v></c></row>"
      "<row><c><v>7</v></c><c><v>8</v></c></row><row r=\"21\"><c r=\"A21\"><v>99</v></c></row>";
  QList<std::pair<QString, QByteArray>> two = {{"データ", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}, {"集計", "<row r=\"1\"><c r=\"A1\"><v>2</v></c></row>"}};
  QTest::newRow("xlsx cells of every kind")         << "xls" << xlsx_file({{"Sheet1", cells}}, 0, {0, 21, 14}) << true << Cells{{0, 0, "#N/A"}, {0, 1, "12:00:00"}, {0, 2, "2024/01/31"}, {0, 3, "6"}, {0, 4, "文字"}, {1, 0, "7"}, {1, 1, "8"}};
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
  const Cells ods_cells = {{0, 0, "名前"}, {0, 1, "120.5"}, {1, 0, "3"}, {1, 1, "3"}, {1, 2, "TRUE"}, {1, 3, "2024/01/31"}, {1, 4, "18:30:05"}, {1, 5, "2"}, {1, 6, "a  b c d"}};
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

// The preview on the window: the block arrives from the worker thread under the loading notice,
// and whatever is displayed next replaces it.
void TestDisplaySheets::preview_on_the_window() {
  FormFixture fx;
  fx.write_settings(
      QStringLiteral("[最大ファイル数]\nファイル数=20\n[Excel拡張子]\n拡張子0=xls\n"
                     "[アプリケーションの選択]\nアプリケーション名=excel\n"));
  Form1& f = fx.make(false);
  f.show();
  f.ファイルの表示(fx.write_file("REPORT.XLS", xls_file(sample_book())), 1);
  QCOMPARE(f.form3()->Label1->text(), QStringLiteral("ファイルを読み込んでます。"));
  QTRY_VERIFY(f.RichTextBox1->text().startsWith(QStringLiteral("名前\t数量\t")));
  QVERIFY(f.form3()->isHidden());
  // A workbook that cannot be read leaves an empty pane, never the previous text.
  f.ファイルの表示(fx.write_file("broken.xls", "not a workbook"), 1);
  settle(f);
  QCOMPARE(f.RichTextBox1->text(), QString());
  // Stepping back to an entry shows that entry, not the newest.
  f.st.txt.cur = 0;
  QCOMPARE(f.Excelで表示(1), 0);
  QTRY_VERIFY(f.RichTextBox1->text().startsWith(QStringLiteral("名前\t")));
  // A later display supersedes a reading still running.
  XlsBook big = sample_book();
  for (int i = 0; i < 60000; ++i) big.sheets[0].cells.append(num(100 + i, 0, i));
  f.ファイルの表示(fx.write_file("slow.xls", xls_file(big)), 1);
  QVERIFY(f.sheet_reading_pending() && !f.form3()->isHidden());
  f.ファイルの表示(fx.write_file("later.txt", "後の表示"), 1);
  QVERIFY(f.form3()->isHidden());
  settle(f);
  QCOMPARE(f.RichTextBox1->text(), QStringLiteral("後の表示"));
  // A missing workbook is a missing file, not an empty block.
  fx.messages.expect(QStringLiteral(
      "指定したファイル名は存在しません！\n\rファイルボックスを開き直してください。"));
  f.ファイルの表示(fx.folder() + "/gone.xls", 1);
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
  QCOMPARE(f.RichTextBox1->text(), QStringLiteral("後の表示"));
  // The 1-2-3 preview keeps the block's 30 lines (the pane shows line ends as paragraphs).
  f.st.sheet_app = SheetApp::Lotus;
  f.st.lotus_exts[0] = QStringLiteral("wk1");
  f.ファイルの表示(
      fx.write_file("売上.WK1", wk1_file({{0, 0, 0, true, 0, "売上"}, {0, 1, 1, false, 5, {}}})),
      1);
  QTRY_VERIFY(f.RichTextBox1->text().startsWith(QStringLiteral("売上\t")));
  QVERIFY(f.RichTextBox1->text().count(u'\n') >= kLotusRows - 1);
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
  fx.write_settings(
      QStringLiteral("[最大ファイル数]\nファイル数=20\n[Excel拡張子]\n拡張子0=xls\n"
                     "[アプリケーションの選択]\nアプリケーション名=excel\n"));
  Form1& f = fx.make(false);
  f.show();
  const QString first = fx.write_file("first.txt", "最初のテキスト");
  f.ファイルの表示(first, 1);
  f.ファイルの表示(fx.write_file("book.xls", xls_file(sample_book())), 1);
  settle(f);
  QVERIFY(f.RichTextBox1->text().startsWith(QStringLiteral("名前\t")));
  if (action == "tick") f.Check1[1]->click();
  // The workbook again, as the arrow or the text display shows it; its reading is under way until
  // the window takes its events.
  f.st.txt.cur = 1;
  QCOMPARE(f.Excelで表示(1), 0);
  QVERIFY(f.sheet_reading_pending());
  if (action == "list") {
    f.Txt_List->setCurrentRow(0);
    f.Txt_List_KeyUp(38);
  } else if (action == "number") {
    f.Text1->setText("0");
    f.Text1_KeyPress(13);
  } else if (action == "tick") {
    f.連続テキスト_Timer();
  } else if (action == "start") {
    f.Check1[1]->click();
  } else if (action == "clear") {
    fx.messages.expect(QStringLiteral("登録したテキストファイル名をすべて消去してもいいですか？"));
    f.txt_all_clear->trigger();
  }
  const bool notice_gone = f.form3()->isHidden();
  settle(f);
  QCOMPARE(f.RichTextBox1->text(), shown);
  QVERIFY(notice_gone);
  if (!shown.isEmpty()) {
    QCOMPARE(f.Label4[0]->text() + f.Label4[1]->text() + f.Label4[2]->text(), first);
    QCOMPARE(f.Text1->text(), QStringLiteral("  0"));
  }
  QVERIFY2(fx.messages.done(), qPrintable(fx.messages.report()));
}

QTEST_MAIN(TestDisplaySheets)
#include "test_sheets.moc"
