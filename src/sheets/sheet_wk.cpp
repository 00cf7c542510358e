// Lotus 1-2-3 workbooks (WK1, WK3, WK4, 123): libwps reads the file and hands every cell of
// every sheet to a spreadsheet interface; the cells of sheet A inside the block are kept.

#include "platform/regular_file.h"
#include "sheets/sheet_readers.h"

#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>
#include <libwps/libwps.h>

#include <QDate>
#include <QFile>

#include <cmath>
#include <mutex>

namespace tarvex {

namespace {

using librevenge::RVNGPropertyList;
using librevenge::RVNGString;

// Every callback of the interface, doing nothing; the collector below overrides the few that
// carry cells.
class NoSpreadsheet : public librevenge::RVNGSpreadsheetInterface {
 public:
  void setDocumentMetaData(const RVNGPropertyList&) override {}
  void startDocument(const RVNGPropertyList&) override {}
  void endDocument() override {}
  void definePageStyle(const RVNGPropertyList&) override {}
  void defineEmbeddedFont(const RVNGPropertyList&) override {}
  void openPageSpan(const RVNGPropertyList&) override {}
  void closePageSpan() override {}
  void openHeader(const RVNGPropertyList&) override {}
  void closeHeader() override {}
  void openFooter(const RVNGPropertyList&) override {}
  void closeFooter() override {}
  void defineSheetNumberingStyle(const RVNGPropertyList&) override {}
  void openSheet(const RVNGPropertyList&) override {}
  void closeSheet() override {}
  void openSheetRow(const RVNGPropertyList&) override {}
  void closeSheetRow() override {}
  void openSheetCell(const RVNGPropertyList&) override {}
  void closeSheetCell() override {}
  void defineChartStyle(const RVNGPropertyList&) override {}
  void openChart(const RVNGPropertyList&) override {}
  void closeChart() override {}
  void openChartTextObject(const RVNGPropertyList&) override {}
  void closeChartTextObject() override {}
  void openChartPlotArea(const RVNGPropertyList&) override {}
  void closeChartPlotArea() override {}
  void insertChartAxis(const RVNGPropertyList&) override {}
  void openChartSerie(const RVNGPropertyList&) override {}
  void closeChartSerie() override {}
  void defineParagraphStyle(const RVNGPropertyList&) override {}
  void openParagraph(const RVNGPropertyList&) override {}
  void closeParagraph() override {}
  void defineCharacterStyle(const RVNGPropertyList&) override {}
  void openSpan(const RVNGPropertyList&) override {}
  void closeSpan() override {}
  void openLink(const RVNGPropertyList&) override {}
  void closeLink() override {}
  void defineSectionStyle(const RVNGPropertyList&) override {}
  void openSection(const RVNGPropertyList&) override {}
  void closeSection() override {}
  void insertTab() override {}
  void insertSpace() override {}
  void insertText(const RVNGString&) override {}
  void insertLineBreak() override {}
  void insertField(const RVNGPropertyList&) override {}
  void openOrderedListLevel(const RVNGPropertyList&) override {}
  void openUnorderedListLevel(const RVNGPropertyList&) override {}
  void closeOrderedListLevel() override {}
  void closeUnorderedListLevel() override {}
  void openListElement(const RVNGPropertyList&) override {}
  void closeListElement() override {}
  void openFootnote(const RVNGPropertyList&) override {}
  void closeFootnote() override {}
  void openComment(const RVNGPropertyList&) override {}
  void closeComment() override {}
  void openFrame(const RVNGPropertyList&) override {}
  void closeFrame() override {}
  void insertBinaryObject(const RVNGPropertyList&) override {}
  void openTextBox(const RVNGPropertyList&) override {}
  void closeTextBox() override {}
  void openTable(const RVNGPropertyList&) override {}
  void openTableRow(const RVNGPropertyList&) override {}
  void closeTableRow() override {}
  void openTableCell(const RVNGPropertyList&) override {}
  void closeTableCell() override {}
  void insertCoveredTableCell(const RVNGPropertyList&) override {}
  void closeTable() override {}
  void openGroup(const RVNGPropertyList&) override {}
  void closeGroup() override {}
  void defineGraphicStyle(const RVNGPropertyList&) override {}
  void drawRectangle(const RVNGPropertyList&) override {}
  void drawEllipse(const RVNGPropertyList&) override {}
  void drawPolygon(const RVNGPropertyList&) override {}
  void drawPolyline(const RVNGPropertyList&) override {}
  void drawPath(const RVNGPropertyList&) override {}
  void drawConnector(const RVNGPropertyList&) override {}
  void insertEquation(const RVNGPropertyList&) override {}
};

// Numbers as libwps gives them: integers without a point, others in the shortest form that
// reads back the same, up to 15 significant digits.
QString number_text(double value) {
  if (!std::isfinite(value)) return QString();
  if (value == 0) return QStringLiteral("0");  // also -0
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    return QString::number(static_cast<long long>(value));
  }
  QString text;
  for (int digits = 1; digits <= 15; ++digits) {
    text = QString::number(value, 'G', digits);
    if (text.toDouble() == value) break;
  }
  return text;
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

int int_property(const RVNGPropertyList& props, const char* name, int fallback) {
  const librevenge::RVNGProperty* p = props[name];
  return p ? p->getInt() : fallback;
}

// Keeps the cells of the first sheet (sheet A) that fall inside the block.
class BlockCollector final : public NoSpreadsheet {
 public:
  explicit BlockCollector(SheetBlock& block) : block_(block) {}

  void openSheet(const RVNGPropertyList&) override { ++sheets_; }

  void openSheetCell(const RVNGPropertyList& props) override {
    in_cell_ = sheets_ == 1;
    if (!in_cell_) return;
    row_ = int_property(props, "librevenge:row", -1);
    column_ = int_property(props, "librevenge:column", -1);
    text_.clear();
    value_.clear();
    if (!block_.contains(row_, column_)) {
      in_cell_ = false;
      return;
    }
    const librevenge::RVNGProperty* type = props["librevenge:value-type"];
    const QString kind = type ? QString::fromUtf8(type->getStr().cstr()) : QString();
    if (kind == QLatin1String("date") || kind == QLatin1String("time")) {
      const QString date = date_text(int_property(props, "librevenge:year", 0),
                                     int_property(props, "librevenge:month", 0),
                                     int_property(props, "librevenge:day", 0));
      const QString time = time_text(int_property(props, "librevenge:hours", 0),
                                     int_property(props, "librevenge:minutes", 0),
                                     int_property(props, "librevenge:seconds", 0));
      value_ = kind == QLatin1String("time") ? time : date;
    } else if (const librevenge::RVNGProperty* v = props["librevenge:value"]) {
      // getStr pads numbers to four decimals; the number itself is written here.
      value_ = kind == QLatin1String("boolean")
                   ? cell_text(CellValue::of_bool(v->getDouble() != 0), false)
                   : number_text(v->getDouble());
    }
  }

  void closeSheetCell() override {
    if (in_cell_) block_.set(row_, column_, value_.isNull() ? text_ : value_);
    in_cell_ = false;
  }

  void insertText(const RVNGString& text) override {
    if (in_cell_) text_ += QString::fromUtf8(text.cstr());
  }
  void insertSpace() override {
    if (in_cell_) text_ += u' ';
  }
  void insertTab() override {
    if (in_cell_) text_ += u' ';
  }
  void insertLineBreak() override {
    if (in_cell_) text_ += u' ';
  }

 private:
  SheetBlock& block_;
  int sheets_ = 0;
  bool in_cell_ = false;
  int row_ = -1, column_ = -1;
  QString text_, value_;
};

quint16 u16_at(const char* p) {
  return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

// libwps turns every cell of the file into calls with property lists, at some tens of
// microseconds a cell: a large sheet would take seconds for a block of 270 cells. The cell
// records outside the block are therefore dropped before parsing, and everything else (the
// header, formats, names, the other records) is kept as it is. A file whose records do not walk
// cleanly from the first to the last byte is handed over untouched.
QByteArray without_far_cells(const QByteArray& file, const SheetBlock& block) {
  const char* d = file.constData();
  const qsizetype n = file.size();
  if (n < 6 || u16_at(d) != 0x0000) return file;
  const quint16 version = u16_at(d + 4);
  const bool wk1 = version >= 0x0404 && version <= 0x0406;
  const bool wk3 = version >= 0x1000 && version <= 0x1005;
  if (!wk1 && !wk3) return file;
  QByteArray out;
  out.reserve(n);
  qsizetype at = 0;
  while (at + 4 <= n) {
    const quint16 type = u16_at(d + at);
    const qsizetype len = u16_at(d + at + 2);
    if (at + 4 + len > n) return file;
    const char* p = d + at + 4;
    bool far = false;
    if (wk1 && type >= 0x000C && type <= 0x0010 && len >= 5) {
      // BLANK, INTEGER, NUMBER, LABEL, FORMULA: format, column, row.
      far = !block.contains(u16_at(p + 3), u16_at(p + 1));
    } else if (wk3 && type >= 0x0016 && type <= 0x0019 && len >= 4) {
      // LABEL, NUMBER, SMALLNUM, FORMULA: row, sheet, column.
      far = quint8(p[2]) != 0 || !block.contains(u16_at(p), quint8(p[3]));
    }
    if (!far) out.append(d + at, 4 + len);
    at += 4 + len;
    if (type == 0x0001) break;  // EOF
  }
  if (at != n) return file;
  return out;
}

}  // namespace

bool read_wk_block(const QString& path, SheetBlock& block) {
  QFile file(path);
  if (!open_regular_file(file)) return false;
  const QByteArray bytes = without_far_cells(file.readAll(), block);
  file.close();
  librevenge::RVNGStringStream stream(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                      unsigned(bytes.size()));
  libwps::WPSKind kind = libwps::WPS_TEXT;
  libwps::WPSCreator creator = libwps::WPS_MSWORKS;
  bool need_encoding = false;
  if (libwps::WPSDocument::isFileFormatSupported(&stream, kind, creator, need_encoding) !=
          libwps::WPS_CONFIDENCE_EXCELLENT ||
      kind != libwps::WPS_SPREADSHEET || creator != libwps::WPS_LOTUS) {
    return false;
  }
  stream.seek(0, librevenge::RVNG_SEEK_SET);
  BlockCollector collector(block);
  // A preview the user has moved on from may still be reading: libwps is not known to be safe
  // for two parses at once, so they take turns.
  static std::mutex parsing;
  const std::lock_guard<std::mutex> turn(parsing);
  // Labels of files without a code page of their own are code page 932.
  return libwps::WPSDocument::parse(&stream, &collector, "", "CP932") == libwps::WPS_OK;
}

}  // namespace tarvex
