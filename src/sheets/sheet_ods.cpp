// OpenDocument spreadsheets (.ods): content.xml holds every sheet's cells with their values
// (formulas keep their last result there too); settings.xml names the active sheet. Repeated rows
// and cells are counted, never expanded, so a sheet of a million empty rows costs nothing.

#include "sheets/sheet_readers.h"
#include "sheets/sheet_zip.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tarvex {

namespace {

// The text of a cell's paragraphs, spaces (text:s), tabs and line breaks as spaces.
void paragraph_text(const pugi::xml_node& node, QString& out) {
  for (pugi::xml_node c : node.children()) {
    if (c.type() == pugi::node_pcdata) {
      out += QString::fromUtf8(c.value());
    } else if (is(c, "s")) {
      out += QString(std::clamp(attribute(c, "c").as_int(1), 1, 1000), u' ');
    } else if (is(c, "tab") || is(c, "line-break")) {
      out += u' ';
    } else if (!is(c, "annotation")) {
      paragraph_text(c, out);
    }
  }
}

// "PT18H30M05S" as 18:30:05.
QString duration_text(const QString& value) {
  int h = 0, m = 0;
  double s = 0;
  QString number;
  for (QChar c : value) {
    if (c.isDigit() || c == u'.') {
      number += c;
    } else {
      if (c == u'H') h = number.toInt();
      if (c == u'M') m = number.toInt();
      if (c == u'S') s = number.toDouble();
      number.clear();
    }
  }
  return time_text(h, m, int(s));
}

QString cell_text(const pugi::xml_node& cell) {
  const std::string type = attribute(cell, "value-type").value();
  if (type == "float" || type == "percentage" || type == "currency") {
    return number_text(attribute(cell, "value").as_double());
  }
  if (type == "boolean") {
    return bool_text(std::strcmp(attribute(cell, "boolean-value").value(), "true") == 0);
  }
  if (type == "date") {
    // yyyy-mm-dd with an optional time: THH:MM:SS.
    const QString v = QString::fromUtf8(attribute(cell, "date-value").value());
    QString out = v.left(10).replace(u'-', u'/');
    const QString time = v.mid(11, 8);
    if (time.size() == 8 && time != QLatin1String("00:00:00")) out += u' ' + time;
    return out;
  }
  if (type == "time")
    return duration_text(QString::fromUtf8(attribute(cell, "time-value").value()));
  QString text;
  bool first = true;
  for (pugi::xml_node p : cell.children()) {
    if (!is(p, "p")) continue;
    if (!first) text += u' ';
    paragraph_text(p, text);
    first = false;
  }
  return text;
}

// Walks the rows of a sheet (through header rows, row groups and the like) into the block.
void read_rows(const pugi::xml_node& parent, long long& row, SheetBlock& block) {
  for (pugi::xml_node r : parent.children()) {
    if (row >= block.rows()) return;
    if (is(r, "table-header-rows") || is(r, "table-row-group") || is(r, "table-rows")) {
      read_rows(r, row, block);
      continue;
    }
    if (!is(r, "table-row")) continue;
    const long long rows = std::max(1ll, attribute(r, "number-rows-repeated").as_llong(1));
    long long column = 0;
    for (pugi::xml_node c : r.children()) {
      if (column >= block.columns()) break;
      if (!is(c, "table-cell") && !is(c, "covered-table-cell")) continue;
      const long long columns = std::max(1ll, attribute(c, "number-columns-repeated").as_llong(1));
      const QString text = cell_text(c);
      if (!text.isEmpty()) {
        for (long long dr = 0; dr < rows && row + dr < block.rows(); ++dr) {
          for (long long dc = 0; dc < columns && column + dc < block.columns(); ++dc) {
            block.set(row + dr, column + dc, text);
          }
        }
      }
      column += columns;
    }
    row += rows;
  }
}

}  // namespace

bool is_ods_package(const QString& path) {
  Zip zip = open_zip(path);
  if (!zip) return false;
  const std::optional<std::string> mime = read_part(zip.get(), "mimetype");
  return mime && mime->rfind("application/vnd.oasis.opendocument.spreadsheet", 0) == 0;
}

bool read_ods_block(const QString& path, SheetBlock& block) {
  Zip zip = open_zip(path);
  if (!zip) return false;
  std::optional<std::string> content = read_part(zip.get(), "content.xml");
  pugi::xml_document doc;
  if (!content || !parse(doc, *content)) return false;
  const pugi::xml_node sheet_list =
      child(child(child(doc, "document-content"), "body"), "spreadsheet");
  std::vector<pugi::xml_node> tables;
  for (pugi::xml_node t : sheet_list.children()) {
    if (is(t, "table")) tables.push_back(t);
  }
  if (tables.empty()) return false;

  QString active;
  if (std::optional<std::string> settings = read_part(zip.get(), "settings.xml")) {
    pugi::xml_document s;
    if (parse(s, *settings)) {
      const pugi::xpath_node item = s.select_node("//*[@config:name='ActiveTable']");
      if (item) active = QString::fromUtf8(item.node().text().get());
    }
  }
  auto named = [&](const QString& name, Qt::CaseSensitivity cs) -> int {
    for (size_t i = 0; i < tables.size(); ++i) {
      if (QString::fromUtf8(attribute(tables[i], "name").value()).compare(name, cs) == 0) {
        return int(i);
      }
    }
    return -1;
  };
  int chosen = named(QStringLiteral("Sheet1"), Qt::CaseSensitive);
  if (chosen < 0) chosen = named(QStringLiteral("Sheet1"), Qt::CaseInsensitive);
  if (chosen < 0 && !active.isEmpty()) chosen = named(active, Qt::CaseSensitive);
  if (chosen < 0) chosen = 0;
  long long row = 0;
  read_rows(tables[size_t(chosen)], row, block);
  return true;
}

}  // namespace tarvex
