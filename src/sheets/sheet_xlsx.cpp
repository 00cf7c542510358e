// Office Open XML workbooks (.xlsx): the ZIP parts are read with libzip and parsed with pugixml,
// from the workbook through its relationships to the chosen sheet, its shared strings and the
// number formats of its cell formats. Every part is read only when its unpacked size is one its
// packed size and the file's length can account for.

#include "sheets/number_format.h"
#include "sheets/sheet_readers.h"
#include "sheets/sheet_zip.h"

#include <zip.h>
#include <pugixml.hpp>

#include <QFile>
#include <QHash>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

namespace {

std::string folder_of(const std::string& part) {
  const size_t slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target relative to `base_folder`, or absolute from the package root.
std::string resolve(const std::string& base_folder, const std::string& target) {
  std::string path = target.rfind('/', 0) == 0 ? target.substr(1) : base_folder + target;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string piece = path.substr(start, end - start);
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.push_back(piece);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

struct Relationship {
  std::string type, target;
};

QHash<QString, Relationship> relationships(zip_t* zip, const std::string& part) {
  QHash<QString, Relationship> out;
  const std::string rels =
      folder_of(part) + "_rels/" + part.substr(folder_of(part).size()) + ".rels";
  std::optional<std::string> text = read_part(zip, rels);
  pugi::xml_document doc;
  if (!text || !parse(doc, *text)) return out;
  for (pugi::xml_node r : child(doc, "Relationships").children()) {
    if (!is(r, "Relationship")) continue;
    out.insert(
        QString::fromUtf8(r.attribute("Id").value()),
        {r.attribute("Type").value(), resolve(folder_of(part), r.attribute("Target").value())});
  }
  return out;
}

bool type_is(const Relationship& r, const char* kind) {
  const size_t n = std::strlen(kind);
  return r.type.size() >= n && r.type.compare(r.type.size() - n, n, kind) == 0;
}

// A text as the workbook stores it: a character that XML cannot carry (a carriage return in a
// cell of two lines) is written as _xHHHH_, its code in hexadecimal, and an underscore that
// would begin such a run as _x005F_.
QString unescaped(const char* utf8) {
  const QString s = QString::fromUtf8(utf8);
  if (!s.contains(QLatin1String("_x"))) return s;
  auto hex = [](QChar c) {
    return c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
  };
  QString out;
  out.reserve(s.size());
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && hex(s[i + 2]) && hex(s[i + 3]) &&
        hex(s[i + 4]) && hex(s[i + 5]) && s[i + 6] == u'_') {
      out += QChar(char16_t(s.mid(i + 2, 4).toUInt(nullptr, 16)));
      i += 6;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The text of a string item: its own text or its runs, without the phonetic readings.
QString item_text(const pugi::xml_node& si) {
  QString out;
  for (pugi::xml_node c : si.children()) {
    if (is(c, "t")) {
      out += unescaped(c.text().get());
    } else if (is(c, "r")) {
      out += unescaped(child(c, "t").text().get());
    }
  }
  return out;
}

// The column and row (0-based) of a reference such as "AB12".
bool cell_reference(const char* ref, long long& row, long long& column) {
  long long c = 0, r = 0;
  const char* p = ref;
  for (; *p >= 'A' && *p <= 'Z'; ++p) {
    c = c * 26 + (*p - 'A' + 1);
    if (c > 1 << 20) return false;
  }
  if (p == ref) return false;
  const char* digits = p;
  for (; *p >= '0' && *p <= '9'; ++p) {
    r = r * 10 + (*p - '0');
    if (r > 1 << 24) return false;
  }
  if (p == digits || *p || r == 0) return false;
  row = r - 1;
  column = c - 1;
  return true;
}

}  // namespace

bool read_xlsx_block(const QString& path, SheetBlock& block) {
  Zip zip = open_zip(path);
  if (!zip) return false;

  // The workbook part comes from the package's relationships.
  std::string workbook_part = "xl/workbook.xml";
  for (const Relationship& r : relationships(zip.get(), "")) {
    if (type_is(r, "/officeDocument")) workbook_part = r.target;
  }
  std::optional<std::string> workbook_text = read_part(zip.get(), workbook_part);
  pugi::xml_document workbook;
  if (!workbook_text || !parse(workbook, *workbook_text)) return false;
  const pugi::xml_node wb = child(workbook, "workbook");
  const bool date1904 = attribute(child(wb, "workbookPr"), "date1904").as_bool();
  const int active = attribute(child(child(wb, "bookViews"), "workbookView"), "activeTab").as_int();
  QStringList names, ids;
  for (pugi::xml_node s : child(wb, "sheets").children()) {
    if (!is(s, "sheet")) continue;
    names.append(QString::fromUtf8(attribute(s, "name").value()));
    ids.append(QString::fromUtf8(attribute(s, "id").value()));
  }
  if (names.isEmpty()) return false;
  int chosen = int(names.indexOf(QStringLiteral("Sheet1")));
  for (int i = 0; chosen < 0 && i < names.size(); ++i) {
    if (names[i].compare(QStringLiteral("Sheet1"), Qt::CaseInsensitive) == 0) chosen = i;
  }
  if (chosen < 0) chosen = active >= 0 && active < names.size() ? active : 0;

  const QHash<QString, Relationship> rels = relationships(zip.get(), workbook_part);
  const auto sheet_rel = rels.constFind(ids[chosen]);
  if (sheet_rel == rels.cend()) return false;

  QStringList shared;
  std::vector<QString> styles;  // the number format code of each cell format
  for (const Relationship& r : rels) {
    if (type_is(r, "/sharedStrings")) {
      std::optional<std::string> text = read_part(zip.get(), r.target);
      pugi::xml_document doc;
      if (!text || !parse(doc, *text)) continue;
      for (pugi::xml_node si : child(doc, "sst").children()) {
        if (is(si, "si")) shared.append(item_text(si));
      }
    } else if (type_is(r, "/styles")) {
      std::optional<std::string> text = read_part(zip.get(), r.target);
      pugi::xml_document doc;
      if (!text || !parse(doc, *text)) continue;
      const pugi::xml_node ss = child(doc, "styleSheet");
      QHash<int, QString> formats;
      for (pugi::xml_node f : child(ss, "numFmts").children()) {
        formats.insert(attribute(f, "numFmtId").as_int(),
                       QString::fromUtf8(attribute(f, "formatCode").value()));
      }
      for (pugi::xml_node xf : child(ss, "cellXfs").children()) {
        if (!is(xf, "xf")) continue;
        const int id = attribute(xf, "numFmtId").as_int();
        styles.push_back(formats.value(id, builtin_number_format(id)));
      }
    }
  }
  block.set_date1904(date1904);

  std::optional<std::string> sheet_text = read_part(zip.get(), sheet_rel->target);
  pugi::xml_document sheet;
  if (!sheet_text || !parse(sheet, *sheet_text)) return false;
  long long row = -1;
  for (pugi::xml_node r : child(child(sheet, "worksheet"), "sheetData").children()) {
    if (!is(r, "row")) continue;
    const long long number = attribute(r, "r").as_llong(0);
    row = number > 0 ? number - 1 : row + 1;
    if (row >= block.rows()) break;  // rows come in order
    long long column = -1;
    for (pugi::xml_node c : r.children()) {
      if (!is(c, "c")) continue;
      long long cell_row = row, cell_column = column + 1;
      if (const pugi::xml_attribute ref = attribute(c, "r")) {
        if (!cell_reference(ref.value(), cell_row, cell_column)) continue;
      }
      column = cell_column;
      if (!block.contains(cell_row, cell_column)) continue;
      const std::string type = attribute(c, "t").value();
      const QString v = QString::fromUtf8(child(c, "v").text().get());
      const unsigned style = attribute(c, "s").as_uint(0);
      const QString format = style < styles.size() ? styles[style] : QString();
      CellValue value;
      if (type == "s") {
        bool ok = false;
        const int index = v.toInt(&ok);
        if (ok && index >= 0 && index < shared.size())
          value = CellValue::of_text(shared[index], format);
      } else if (type == "inlineStr") {
        value = CellValue::of_text(item_text(child(c, "is")), format);
      } else if (type == "str") {
        value = CellValue::of_text(unescaped(child(c, "v").text().get()), format);
      } else if (type == "e") {
        value = CellValue::of_error(v);
      } else if (type == "b") {
        if (!v.isEmpty()) value = CellValue::of_bool(v.trimmed() != QLatin1String("0"));
      } else if (type == "d") {
        double serial = 0;
        value = iso_serial(v, date1904, serial) ? CellValue::of_number(serial, format)
                                                : CellValue::of_text(v);
      } else if (!v.isEmpty()) {
        bool ok = false;
        const double x = v.toDouble(&ok);
        value = ok ? CellValue::of_number(x, format) : CellValue::of_text(v);
      }
      block.set(cell_row, cell_column, value);
    }
  }
  return true;
}

}  // namespace tarvex
