// OpenDocument spreadsheets (.ods): content.xml holds every sheet's cells with their values
// (formulas keep their last result there too); settings.xml names the active sheet. Repeated rows
// and cells are counted, never expanded, so a sheet of a million empty rows costs nothing.

#include "sheets/sheet_readers.h"
#include "sheets/sheet_zip.h"

#include <QHash>
#include <QStringList>

#include <cmath>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tarvex {

namespace {

// The text of a paragraph: its spaces (text:s), a tab as a space, a line break as one.
void paragraph_text(const pugi::xml_node& node, QString& out) {
  for (pugi::xml_node c : node.children()) {
    if (c.type() == pugi::node_pcdata) {
      out += QString::fromUtf8(c.value());
    } else if (is(c, "s")) {
      out += QString(std::clamp(attribute(c, "c").as_int(1), 1, 1000), u' ');
    } else if (is(c, "tab")) {
      out += u' ';
    } else if (is(c, "line-break")) {
      out += u'\n';
    } else if (!is(c, "annotation")) {
      paragraph_text(c, out);
    }
  }
}

// "PT18H30M05S" (a duration, possibly beyond a day) as a fraction of days.
double duration_days(const QString& value) {
  double days = 0, number = 0;
  QString digits;
  for (QChar c : value) {
    if (c.isDigit() || c == u'.') {
      digits += c;
      continue;
    }
    number = digits.toDouble();
    digits.clear();
    if (c == u'D') days += number;
    if (c == u'H') days += number / 24;
    if (c == u'M') days += number / 1440;
    if (c == u'S') days += number / 86400;
  }
  return value.startsWith(u'-') ? -days : days;
}

// Literal text in a format code: every character escaped.
QString escaped(const QString& text) {
  QString out;
  for (QChar c : text) out += u'\\' + QString(c);
  return out;
}

bool is_long(const pugi::xml_node& n) {
  return std::strcmp(attribute(n, "style").value(), "long") == 0;
}

// The data styles (number:number-style, number:date-style, ...) of the document, turned into the
// format codes of the number format engine, and the cell styles that name them.
class OdsStyles {
 public:
  void add(const pugi::xml_node& container) {
    for (pugi::xml_node n : container.children()) {
      if (n.type() != pugi::node_element) continue;
      const QString name = QString::fromUtf8(attribute(n, "name").value());
      if (is(n, "style")) {
        cells_.insert(name, {QString::fromUtf8(attribute(n, "data-style-name").value()),
                             QString::fromUtf8(attribute(n, "parent-style-name").value())});
      } else if (std::strncmp(n.name(), "number:", 7) == 0 ||
                 QByteArray(local_name(n)).endsWith("-style")) {
        data_.insert(name, n);
      }
    }
  }

  // The format code of a cell style ("" for General).
  QString code_of_cell_style(const QString& cell_style) {
    QString name = cell_style;
    for (int depth = 0; depth < 16 && !name.isEmpty(); ++depth) {
      const auto it = cells_.constFind(name);
      if (it == cells_.cend()) return QString();
      if (!it->first.isEmpty()) return code_of(it->first);
      name = it->second;
    }
    return QString();
  }

 private:
  QString code_of(const QString& data_style) {
    if (const auto it = codes_.constFind(data_style); it != codes_.cend()) return *it;
    const pugi::xml_node n = data_.value(data_style);
    QString code;
    if (n) {
      // Conditional parts become sections: a part for value()>=0 or value()>0 (and value()<0)
      // before the style's own, as the spreadsheet program orders them.
      QStringList sections;
      QStringList conditions;
      for (pugi::xml_node m : n.children()) {
        if (!is(m, "map")) continue;
        const QString condition =
            QString::fromUtf8(attribute(m, "condition").value()).remove(QStringLiteral("value()"));
        const pugi::xml_node part =
            data_.value(QString::fromUtf8(attribute(m, "apply-style-name").value()));
        if (!part) continue;
        conditions.append(condition);
        sections.append(section_code(part));
      }
      sections.append(section_code(n));
      const bool by_sign = (conditions == QStringList{QStringLiteral(">=0")}) ||
                           (conditions == QStringList{QStringLiteral(">0"), QStringLiteral("<0")});
      if (!by_sign) {
        for (int i = 0; i < conditions.size(); ++i)
          sections[i].prepend(u'[' + conditions[i] + u']');
      }
      code = sections.join(u';');
    }
    codes_.insert(data_style, code);
    return code;
  }

  static QString section_code(const pugi::xml_node& style) {
    const bool elapsed =
        std::strcmp(attribute(style, "truncate-on-overflow").value(), "false") == 0;
    // Beside an era, the year is the era's year.
    const bool gengou = [&] {
      for (pugi::xml_node p : style.children()) {
        if (is(p, "era") || std::strcmp(attribute(p, "calendar").value(), "gengou") == 0) {
          return true;
        }
      }
      return false;
    }();
    if (is(style, "boolean-style")) return QStringLiteral("\"TRUE\";\"TRUE\";\"FALSE\"");
    // A percentage style's "%" multiplies; Japanese styles show the half of the day and the
    // weekday in Japanese.
    const bool percentage = is(style, "percentage-style");
    const bool japanese = std::strcmp(attribute(style, "language").value(), "ja") == 0;
    // A Japanese style names its months and weekdays in Japanese, as the locale tag of a format
    // code does.
    QString code = japanese ? QStringLiteral("[$-411]") : QString();
    for (pugi::xml_node p : style.children()) {
      if (p.type() != pugi::node_element) continue;
      if (is(p, "number") && !attribute(p, "decimal-places")) {
        // A number without a count of decimals is the General format.
        code += QStringLiteral("General");
      } else if (is(p, "number") || is(p, "scientific-number")) {
        const int decimals = std::clamp(attribute(p, "decimal-places").as_int(0), 0, 30);
        const pugi::xml_attribute min_attr = attribute(p, "min-decimal-places");
        const int min_decimals = min_attr ? std::clamp(min_attr.as_int(0), 0, decimals) : decimals;
        const int integers = std::clamp(attribute(p, "min-integer-digits").as_int(0), 0, 30);
        QString whole = integers > 0 ? QString(integers, u'0') : QStringLiteral("#");
        // Engineering notation: the exponent steps by the interval.
        const int interval = std::clamp(attribute(p, "exponent-interval").as_int(1), 1, 9);
        if (interval > 1) whole = QString(interval - 1, u'#') + whole.right(1);
        if (attribute(p, "grouping").as_bool()) {
          whole = QString(std::max(0, 4 - integers), u'#') + QString(integers, u'0');
          whole.insert(whole.size() - 3, u',');
        }
        // Text among the integer digits, placed by its distance from the decimal point.
        for (pugi::xml_node e : p.children()) {
          if (!is(e, "embedded-text")) continue;
          const int position = attribute(e, "position").as_int(-1);
          if (position < 0 || position > 30) continue;
          while (whole.count(u'0') + whole.count(u'#') < position) whole.prepend(u'#');
          qsizetype at = whole.size();
          for (int digits = 0; at > 0 && digits < position; --at) {
            if (whole[at - 1] == u'0' || whole[at - 1] == u'#') ++digits;
          }
          whole.insert(at, escaped(QString::fromUtf8(e.text().get())));
        }
        code += whole;
        if (decimals > 0) {
          code += u'.' + QString(min_decimals, u'0') + QString(decimals - min_decimals, u'#');
        }
        if (is(p, "scientific-number")) {
          code += QStringLiteral("E+") +
                  QString(std::clamp(attribute(p, "min-exponent-digits").as_int(2), 1, 4), u'0');
        }
        const double factor = attribute(p, "display-factor").as_double(1);
        for (double f = factor; f >= 1000; f /= 1000) code += u',';
      } else if (is(p, "fraction")) {
        // A whole part only when the style counts its digits ("?/?" shows 1.25 as 5/4); the
        // denominator's places are as many as its largest value has digits.
        if (const pugi::xml_attribute whole = attribute(p, "min-integer-digits")) {
          const int zeros = std::clamp(whole.as_int(0), 0, 30);
          code += (zeros > 0 ? QString(zeros, u'0') : QStringLiteral("#")) + u' ';
        }
        const int largest =
            std::clamp(attribute(p, "max-denominator-value").as_int(0), 0, 999999999);
        const int places =
            std::max(std::clamp(attribute(p, "min-denominator-digits").as_int(1), 1, 9),
                     int(QString::number(largest).size()) * (largest > 0));
        code += QString(std::clamp(attribute(p, "min-numerator-digits").as_int(1), 1, 9), u'?') +
                u'/' +
                (attribute(p, "denominator-value")
                     ? QString::number(attribute(p, "denominator-value").as_int())
                     : QString(places, u'?'));
      } else if (is(p, "text") || is(p, "currency-symbol")) {
        const QString text = QString::fromUtf8(p.text().get());
        code += percentage && text == QLatin1String("%") ? text : escaped(text);
      } else if (is(p, "text-content")) {
        code += u'@';
      } else if (is(p, "year")) {
        code += gengou ? (is_long(p) ? QStringLiteral("ee") : QStringLiteral("e"))
                       : (is_long(p) ? QStringLiteral("yyyy") : QStringLiteral("yy"));
      } else if (is(p, "era")) {
        code += is_long(p) ? QStringLiteral("ggg") : QStringLiteral("g");
      } else if (is(p, "month")) {
        const bool textual = attribute(p, "textual").as_bool();
        code += textual ? (is_long(p) ? QStringLiteral("mmmm") : QStringLiteral("mmm"))
                        : (is_long(p) ? QStringLiteral("mm") : QStringLiteral("m"));
      } else if (is(p, "day")) {
        code += is_long(p) ? QStringLiteral("dd") : QStringLiteral("d");
      } else if (is(p, "day-of-week")) {
        code += japanese ? (is_long(p) ? QStringLiteral("aaaa") : QStringLiteral("aaa"))
                         : (is_long(p) ? QStringLiteral("dddd") : QStringLiteral("ddd"));
      } else if (is(p, "hours")) {
        const QString h = is_long(p) ? QStringLiteral("hh") : QStringLiteral("h");
        code += elapsed ? u'[' + h + u']' : h;
      } else if (is(p, "minutes")) {
        code += is_long(p) ? QStringLiteral("mm") : QStringLiteral("m");
      } else if (is(p, "seconds")) {
        code += is_long(p) ? QStringLiteral("ss") : QStringLiteral("s");
        const int decimals = std::clamp(attribute(p, "decimal-places").as_int(0), 0, 3);
        if (decimals > 0) code += u'.' + QString(decimals, u'0');
      } else if (is(p, "am-pm")) {
        code += japanese ? QStringLiteral("午前/午後") : QStringLiteral("AM/PM");
      }
    }
    return code;
  }

  QHash<QString, std::pair<QString, QString>> cells_;  // cell style: data style, parent
  QHash<QString, pugi::xml_node> data_;
  QHash<QString, QString> codes_;
};

struct OdsContext {
  OdsStyles styles;
  bool date1904 = false;
  QString column_styles[64];
};

// The text of a cell: its paragraphs, each after the first on a line of its own.
QString cell_paragraphs(const pugi::xml_node& cell) {
  QString text;
  bool first = true;
  for (pugi::xml_node p : cell.children()) {
    if (!is(p, "p")) continue;
    if (!first) text += u'\n';
    paragraph_text(p, text);
    first = false;
  }
  return text;
}

// The names of the errors a formula gives, as they stand in place of its value: the spreadsheet
// program's (#DIV/0!) and LibreOffice's numbered ones (Err:502).
bool is_error_name(const QString& text) {
  static const QStringList names = {QStringLiteral("#NULL!"),  QStringLiteral("#DIV/0!"),
                                    QStringLiteral("#VALUE!"), QStringLiteral("#REF!"),
                                    QStringLiteral("#NAME?"),  QStringLiteral("#NUM!"),
                                    QStringLiteral("#N/A")};
  if (names.contains(text)) return true;
  if (!text.startsWith(QLatin1String("Err:")) || text.size() == 4) return false;
  return std::all_of(text.begin() + 4, text.end(), [](QChar c) { return c.isDigit(); });
}

CellValue cell_value(const pugi::xml_node& cell, const QString& style, OdsContext& ods) {
  const QString code = ods.styles.code_of_cell_style(style);
  // A formula's error is a text whose extended value type says so.
  if (std::strcmp(cell.attribute("calcext:value-type").value(), "error") == 0) {
    return CellValue::of_error(cell_paragraphs(cell));
  }
  // The value type by its full name: LibreOffice's extended one has the same local name.
  const pugi::xml_attribute type_attr = cell.attribute("office:value-type");
  const std::string type = (type_attr ? type_attr : attribute(cell, "value-type")).value();
  // Writers without the extended value type store a formula's error as the number 0 with the
  // error's name as its text.
  if (type == "float" && attribute(cell, "formula")) {
    const QString text = cell_paragraphs(cell);
    if (is_error_name(text)) return CellValue::of_error(text);
  }
  if (type == "float" || type == "percentage" || type == "currency") {
    return CellValue::of_number(attribute(cell, "value").as_double(), code);
  }
  if (type == "boolean") {
    return CellValue::of_bool(std::strcmp(attribute(cell, "boolean-value").value(), "true") == 0);
  }
  if (type == "date") {
    double serial = 0;
    const QString v = QString::fromUtf8(attribute(cell, "date-value").value());
    if (iso_serial(v, ods.date1904, serial)) {
      const QString fallback = serial != std::floor(serial) ? QStringLiteral("yyyy/m/d h:mm:ss")
                                                            : QStringLiteral("yyyy/m/d");
      return CellValue::of_number(serial, code.isEmpty() ? fallback : code);
    }
  }
  if (type == "time") {
    const double days = duration_days(QString::fromUtf8(attribute(cell, "time-value").value()));
    return CellValue::of_number(days, code.isEmpty() ? QStringLiteral("h:mm:ss") : code);
  }
  // A text cell's value, where the writer gives it, is the text itself, line breaks and all,
  // shown through the cell's format; the paragraphs are the text as shown.
  const pugi::xml_attribute string_value = attribute(cell, "string-value");
  if (type == "string" && string_value) {
    const QString text = QString::fromUtf8(string_value.value());
    return text.isEmpty() ? CellValue() : CellValue::of_text(text, code);
  }
  const QString text = cell_paragraphs(cell);
  return text.isEmpty() ? CellValue() : CellValue::of_text(text);
}

// The default cell styles of the first columns, through column groups and header columns.
void read_columns(const pugi::xml_node& parent, int& column, OdsContext& ods) {
  for (pugi::xml_node c : parent.children()) {
    if (column >= 64) return;
    if (is(c, "table-columns") || is(c, "table-header-columns") || is(c, "table-column-group")) {
      read_columns(c, column, ods);
    } else if (is(c, "table-column")) {
      const long long repeated =
          std::clamp(attribute(c, "number-columns-repeated").as_llong(1), 1ll, 64ll);
      const QString style = QString::fromUtf8(attribute(c, "default-cell-style-name").value());
      for (long long i = 0; i < repeated && column < 64; ++i) ods.column_styles[column++] = style;
    }
  }
}

// Walks the rows of a sheet (through header rows, row groups and the like) into the block.
void read_rows(const pugi::xml_node& parent, long long& row, SheetBlock& block, OdsContext& ods) {
  for (pugi::xml_node r : parent.children()) {
    if (row >= block.rows()) return;
    if (is(r, "table-header-rows") || is(r, "table-row-group") || is(r, "table-rows")) {
      read_rows(r, row, block, ods);
      continue;
    }
    if (!is(r, "table-row")) continue;
    const long long rows = std::max(1ll, attribute(r, "number-rows-repeated").as_llong(1));
    const QString row_style = QString::fromUtf8(attribute(r, "default-cell-style-name").value());
    long long column = 0;
    for (pugi::xml_node c : r.children()) {
      if (column >= block.columns()) break;
      if (!is(c, "table-cell") && !is(c, "covered-table-cell")) continue;
      const long long columns = std::max(1ll, attribute(c, "number-columns-repeated").as_llong(1));
      QString style = QString::fromUtf8(attribute(c, "style-name").value());
      if (style.isEmpty()) style = row_style;
      if (style.isEmpty() && column < 64) style = ods.column_styles[column];
      const CellValue value = cell_value(c, style, ods);
      if (value.kind != CellValue::Kind::Empty) {
        for (long long dr = 0; dr < rows && row + dr < block.rows(); ++dr) {
          for (long long dc = 0; dc < columns && column + dc < block.columns(); ++dc) {
            block.set(row + dr, column + dc, value);
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
  OdsContext ods;
  const pugi::xml_node document = child(doc, "document-content");
  // The styles keep pointing into both documents while the cells are read.
  std::optional<std::string> styles_part = read_part(zip.get(), "styles.xml");
  pugi::xml_document styles_doc;
  if (styles_part) {
    if (parse(styles_doc, *styles_part)) {
      const pugi::xml_node root = child(styles_doc, "document-styles");
      ods.styles.add(child(root, "styles"));
      ods.styles.add(child(root, "automatic-styles"));
    }
  }
  ods.styles.add(child(document, "automatic-styles"));
  // Dates count from the document's null date: 1904 for workbooks of the 1904 system.
  const pugi::xml_node null_date = child(
      child(child(child(document, "body"), "spreadsheet"), "calculation-settings"), "null-date");
  ods.date1904 = std::strcmp(attribute(null_date, "date-value").value(), "1904-01-01") == 0;
  block.set_date1904(ods.date1904);
  int column = 0;
  read_columns(tables[size_t(chosen)], column, ods);
  long long row = 0;
  read_rows(tables[size_t(chosen)], row, block, ods);
  return true;
}

}  // namespace tarvex
