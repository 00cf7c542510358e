#include "workbook_writers.h"

#include "compound_writer.h"

#include <zip.h>

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

namespace tarvex::testing {

namespace {

// Little-endian 16- and 32-bit values.
QByteArray u16(std::initializer_list<quint32> values) {
  QByteArray b;
  for (quint32 v : values) b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
  return b;
}
QByteArray u32(std::initializer_list<quint32> values) {
  QByteArray b;
  for (quint32 v : values) b += u16({v & 0xFFFF, v >> 16});
  return b;
}
QByteArray le_double(double v) {
  return QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
}

QByteArray cp932(const QString& text) {
  return QStringEncoder("windows-31j").encode(text);
}
// Code page 932 text after its 16-bit length.
QByteArray counted(const QString& text) {
  const QByteArray bytes = cp932(text);
  return u16({quint32(bytes.size())}) + bytes;
}

QByteArray record(quint16 type, const QByteArray& data) {
  return u16({type, quint32(data.size())}) + data;
}

QByteArray unicode_string(const QString& text, bool short_length) {
  QByteArray b = u16({quint32(text.size())});
  if (short_length) b.chop(1);  // a one-byte length
  b.append(char(1));            // UTF-16
  for (QChar c : text) b += u16({c.unicode()});
  return b;
}

}  // namespace

namespace {

// The string table: SST and CONTINUE records of at most `limit` bytes. A string's characters are
// split where the record is full; the piece after the split starts with its own flags byte and
// is written in single bytes when its characters allow.
QByteArray string_table(const QStringList& strings, quint32 claimed, int limit, bool rich) {
  QByteArray out;
  quint16 type = 0x00FC;
  QByteArray current = u32({quint32(strings.size()), claimed ? claimed : quint32(strings.size())});
  auto flush = [&] { out += record(std::exchange(type, 0x003C), std::exchange(current, {})); };
  auto narrow = [](const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 256; });
  };
  for (const QString& s : strings) {
    const QByteArray runs = rich ? u16({0, 0, quint32(s.size() / 2), 0}) : QByteArray();
    const QByteArray phonetic = rich ? u16({1, 6, 0, 0, 0}) : QByteArray();
    bool wide = !narrow(s);
    QByteArray header = u16({quint32(s.size())}) + char((wide ? 1 : 0) | (rich ? 0x0C : 0));
    if (rich) header += u16({quint32(runs.size() / 4)}) + u32({quint32(phonetic.size())});
    if (current.size() + header.size() + 2 > limit) flush();
    current += header;
    for (qsizetype i = 0; i < s.size(); ++i) {
      const int width = wide ? 2 : 1;
      if (current.size() + width > limit) {
        flush();
        wide = !narrow(s.mid(i));
        current += char(wide ? 1 : 0);
      }
      current += wide ? u16({s[i].unicode()}) : QByteArray(1, char(s[i].unicode()));
    }
    // Formatting runs are never split, the phonetic reading may be.
    for (qsizetype i = 0; i < runs.size(); i += 4) {
      if (current.size() + 4 > limit) flush();
      current += runs.mid(i, 4);
    }
    for (char c : phonetic) {
      if (current.size() + 1 > limit) flush();
      current += c;
    }
  }
  flush();
  return out;
}

// The RK form of a number when it has one: a 30-bit integer or the high half of a double,
// either optionally ×100.
std::optional<quint32> rk_form(double v) {
  for (int times = 1; times <= 100; times += 99) {
    const double x = v * times;
    if (x == std::trunc(x) && std::fabs(x) < (1 << 29) && (times == 1 || x / 100 == v)) {
      return (quint32(qint32(x)) << 2) | 2 | (times == 100 ? 1 : 0);
    }
    quint64 bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    if ((bits & 0xFFFFFFFF) == 0 && (times == 1 || x / 100 == v)) {
      return quint32(bits >> 32) | (times == 100 ? 1 : 0);
    }
  }
  return std::nullopt;
}

// A BIFF8 string of a record: 16-bit count, flags, characters in single bytes when they allow.
QByteArray record_string(const QString& text) {
  const bool wide =
      std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 255; });
  QByteArray b = u16({quint32(text.size())}) + char(wide ? 1 : 0);
  for (QChar c : text) b += wide ? u16({c.unicode()}) : QByteArray(1, char(c.unicode()));
  return b;
}

}  // namespace

QByteArray xls_file(const XlsBook& book) {
  const bool b8 = !book.biff5;
  auto bof = [&](quint32 kind) {
    return record(0x0809, u16({b8 ? 0x0600u : 0x0500u, kind, 0x0DBB, 0x07CC}) +
                              (b8 ? u32({0, 6}) : QByteArray()));
  };
  // The string table: every text of every sheet, once.
  QStringList strings;
  // The cell formats: general, date, date and time, time (the built-in formats 14, 22, 21),
  // then one for each other format the cells name; custom codes are numbered from 164.
  QStringList xf_keys = {QString(), "builtin:14", "builtin:22", "builtin:21"};
  QStringList custom;
  for (const XlsSheet& s : book.sheets) {
    for (const XlsCell& c : s.cells) {
      if (b8 && c.kind == XlsCell::Text && !strings.contains(c.text)) strings.append(c.text);
      if (!c.format.isEmpty() && !xf_keys.contains(c.format)) {
        xf_keys.append(c.format);
        if (!c.format.startsWith("builtin:")) custom.append(c.format);
      }
    }
  }
  const auto xf_of = [&](const XlsCell& c) -> quint32 {
    if (!c.format.isEmpty()) return quint32(xf_keys.indexOf(c.format));
    return quint32(QList{XlsCell::Date, XlsCell::DateTime, XlsCell::Time}.indexOf(c.kind) + 1);
  };

  // Code page, window with the active tab, the date system.
  QByteArray globals =
      bof(0x0005) + record(0x0042, u16({b8 ? 1200u : 932u})) +
      record(0x003D, QByteArray(10, '\0') + u16({quint32(book.active), 0, 1, 600})) +
      record(0x0022, u16({book.date1904 ? 1u : 0u}));
  for (int i = 0; i < custom.size(); ++i) {
    globals +=
        record(0x041E, u16({quint32(164 + i)}) +
                           (b8 ? record_string(custom[i])
                               : QByteArray(1, char(cp932(custom[i]).size())) + cp932(custom[i])));
  }
  for (const QString& key : xf_keys) {
    const quint32 id = key.isEmpty()                ? 0
                       : key.startsWith("builtin:") ? key.mid(8).toUInt()
                                                    : quint32(164 + custom.indexOf(key));
    globals += record(0x00E0, u16({0, id, 0x0001}) + QByteArray(b8 ? 14 : 10, '\0'));
  }
  QList<qsizetype> sheet_positions;
  for (const XlsSheet& s : book.sheets) {
    sheet_positions.append(globals.size() + 4);
    // The stream position (filled in below), a visible worksheet, the name.
    const QByteArray name = b8 ? unicode_string(s.name, true)
                               : QByteArray(1, char(cp932(s.name).size())) + cp932(s.name);
    globals += record(0x0085, QByteArray(6, '\0') + name);
  }
  if (b8) {
    globals +=
        string_table(strings, book.claimed_strings, book.string_record_limit, book.rich_strings);
  }

  QByteArray stream = globals + record(0x000A, QByteArray());
  for (int i = 0; i < book.sheets.size(); ++i) {
    const XlsSheet& s = book.sheets[i];
    qToLittleEndian(quint32(stream.size()), stream.data() + sheet_positions[i]);
    qint64 rows = 0, columns = 0;
    for (const XlsCell& c : s.cells) {
      rows = std::max<qint64>(rows, c.row + 1);
      columns = std::max<qint64>(columns, c.column + 1);
    }
    for (const auto& [row, first, values] : s.number_runs) {
      rows = std::max<qint64>(rows, row + 1);
      columns = std::max<qint64>(columns, first + values.size());
    }
    if (s.declared_rows >= 0) rows = s.declared_rows;
    if (s.declared_columns >= 0) columns = s.declared_columns;
    const QByteArray dim = record(0x0200, (b8 ? u32({0, quint32(rows)}) : u16({0, quint32(rows)})) +
                                              u16({0, quint32(columns), 0}));
    QByteArray sheet = bof(0x0010) + dim + (book.twice_declared ? dim : QByteArray());
    for (const XlsCell& c : s.cells) {
      const QByteArray at = u16({quint32(c.row), quint32(c.column), xf_of(c)});
      switch (c.kind) {
        case XlsCell::Text:
          sheet += b8 ? record(0x00FD, at + u32({quint32(strings.indexOf(c.text))}))
                      : record(0x0204, at + counted(c.text));
          break;
        case XlsCell::Label:
          sheet += record(0x0204, at + (b8 ? record_string(c.text) : counted(c.text)));
          break;
        case XlsCell::Blank:
          sheet += record(0x0201, at);
          break;
        case XlsCell::Bool:
        case XlsCell::Error:
          sheet += record(0x0205, at + char(c.number) + char(c.kind == XlsCell::Error ? 1 : 0));
          break;
        case XlsCell::FormulaNumber:
        case XlsCell::FormulaText:
        case XlsCell::FormulaBool:
        case XlsCell::FormulaError:
        case XlsCell::FormulaEmpty: {
          // The cached result: a number, or the kind of a text, truth value, error or empty text
          // marked by 0xFFFF at its end.
          const char kind = c.kind == XlsCell::FormulaText    ? 0
                            : c.kind == XlsCell::FormulaBool  ? 1
                            : c.kind == XlsCell::FormulaError ? 2
                                                              : 3;
          const QByteArray result = c.kind == XlsCell::FormulaNumber
                                        ? le_double(c.number)
                                        : QByteArray(1, kind) + '\0' + char(c.number) +
                                              QByteArray(3, '\0') + u16({0xFFFF});
          // Flags, the chain, then an expression of 3 bytes: the constant 1.
          sheet += record(0x0006, at + result + u16({0}) + u32({0}) + u16({3}) + '\x1E' + u16({1}));
          if (c.kind == XlsCell::FormulaText) {
            if (const quint16 type = book.between_formula_and_string) {
              // The range it covers, then the shared formula's or the array's expression of
              // 3 bytes, or the table's input cells.
              const QByteArray range =
                  u16({quint32(c.row), quint32(c.row)}) + char(c.column) + char(c.column);
              const QByteArray expression = u16({3}) + '\x1E' + u16({1});
              sheet += record(type, range + (type == 0x04BC   ? u16({0}) + expression
                                             : type == 0x0221 ? u16({0}) + u32({0}) + expression
                                                              : u16({0, 0, 0, 0, 0})));
            }
            sheet += record(0x0207, b8 ? unicode_string(c.text, false) : counted(c.text));
          }
          break;
        }
        case XlsCell::Rk:
          if (const std::optional<quint32> rk = rk_form(c.number)) {
            sheet += record(0x027E, at + u32({*rk}));
            break;
          }
          sheet += record(0x0203, at + le_double(c.number));
          break;
        default:
          sheet += record(0x0203, at + le_double(c.number));
          break;
      }
    }
    for (const auto& [row, first, values] : s.number_runs) {
      QByteArray d = u16({quint32(row), quint32(first)});
      for (int v : values) d += u16({0}) + u32({quint32(v) << 2 | 2});  // an integer RK value
      sheet += record(0x00BD, d + u16({quint32(first + values.size() - 1)}));
    }
    stream += sheet + record(0x000A, QByteArray());
  }
  return compound_file(b8 ? QStringLiteral("Workbook") : QStringLiteral("Book"), stream,
                       book.sector_size);
}

namespace {

QByteArray extended(double v) {
  if (v == 0) return QByteArray(10, '\0');
  int e = 0;
  const quint64 mantissa = quint64(std::ldexp(std::frexp(std::fabs(v), &e), 64));
  return u32({quint32(mantissa & 0xFFFFFFFF), quint32(mantissa >> 32)}) +
         u16({quint32((e - 1 + 16383) | (v < 0 ? 0x8000 : 0))});
}

QByteArray label_bytes(const WkCell& c) {
  return "'" + cp932(c.text) + QByteArray(1, '\0');
}

// A ZIP package of the given parts (name → UTF-8 text), deflated.
QByteArray zip_package(const QMap<QString, QByteArray>& parts) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("package.zip"));
  int error = 0;
  zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip) return QByteArray();
  for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
    zip_source_t* source =
        zip_source_buffer(zip, it.value().constData(), zip_uint64_t(it.value().size()), 0);
    zip_file_add(zip, it.key().toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
  }
  zip_close(zip);
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

}  // namespace

QByteArray wk1_file(const QList<WkCell>& cells) {
  int rows = 0, columns = 0;
  for (const WkCell& c : cells) {
    rows = std::max(rows, c.row);
    columns = std::max(columns, c.column);
  }
  QByteArray out =
      record(0x0000, u16({0x0406})) + record(0x0006, u16({0, 0, quint32(columns), quint32(rows)}));
  for (const WkCell& c : cells) {
    const QByteArray at = char(0xFF) + u16({quint32(c.column), quint32(c.row)});
    out += c.label ? record(0x000F, at + label_bytes(c)) : record(0x000E, at + le_double(c.number));
  }
  return out + record(0x0001, QByteArray());
}

QByteArray wk3_file(const QList<WkCell>& cells, quint16 version) {
  QByteArray out = record(0x0000, u16({version, 0, 5}) + '\0' + '\4' + QByteArray(18, '\0'));
  for (const WkCell& c : cells) {
    const QByteArray at = u16({quint32(c.row)}) + char(c.sheet) + char(c.column);
    out += c.label ? record(0x0016, at + label_bytes(c)) : record(0x0017, at + extended(c.number));
  }
  return out + record(0x0001, QByteArray());
}

QByteArray xlsx_file(const QList<std::pair<QString, QByteArray>>& sheets, int active,
                     const QList<int>& style_formats,
                     const QList<std::pair<int, QString>>& custom_formats, bool date1904,
                     const QList<QByteArray>& shared_strings) {
  const QByteArray ns =
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
  const QByteArray rel_type =
      "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  QMap<QString, QByteArray> parts;
  QByteArray names, rels;
  for (int i = 0; i < sheets.size(); ++i) {
    const QByteArray n = QByteArray::number(i + 1);
    names += "<sheet name=\"" + sheets[i].first.toUtf8() + "\" sheetId=\"" + n + "\" r:id=\"rId" +
             n + "\"/>";
    // Relative and absolute targets both occur in the wild.
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel_type + "worksheet\" Target=\"" +
            (i % 2 ? "/xl/worksheets/sheet" : "worksheets/sheet") + n + ".xml\"/>";
    parts["xl/worksheets/sheet" + n + ".xml"] = "<?xml version=\"1.0\"?><worksheet " + ns +
                                                "><sheetData>" + sheets[i].second +
                                                "</sheetData></worksheet>";
  }
  rels += "<Relationship Id=\"rIdT\" Type=\"" + rel_type + "styles\" Target=\"styles.xml\"/>";
  if (!shared_strings.isEmpty()) {
    rels += "<Relationship Id=\"rIdS\" Type=\"" + rel_type +
            "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    QByteArray items;
    for (const QByteArray& item : shared_strings) items += "<si>" + item + "</si>";
    parts["xl/sharedStrings.xml"] = "<?xml version=\"1.0\"?><sst " + ns + ">" + items + "</sst>";
  }
  parts["xl/workbook.xml"] = "<?xml version=\"1.0\"?><workbook " + ns + "><workbookPr date1904=\"" +
                             (date1904 ? "1" : "0") + "\"/><bookViews><workbookView activeTab=\"" +
                             QByteArray::number(active) + "\"/></bookViews><sheets>" + names +
                             "</sheets></workbook>";
  parts["xl/_rels/workbook.xml.rels"] =
      "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
      "2006/relationships\">" +
      rels + "</Relationships>";
  QByteArray xfs;
  for (int id : style_formats) xfs += "<xf numFmtId=\"" + QByteArray::number(id) + "\"/>";
  QByteArray codes;
  for (const auto& [id, code] : custom_formats) {
    codes += "<numFmt numFmtId=\"" + QByteArray::number(id) + "\" formatCode=\"" +
             code.toHtmlEscaped().toUtf8() + "\"/>";
  }
  parts["xl/styles.xml"] = "<?xml version=\"1.0\"?><styleSheet " + ns + "><numFmts>" + codes +
                           "</numFmts><cellXfs>" + xfs + "</cellXfs></styleSheet>";
  return zip_package(parts);
}

namespace {

// One section of a format code as the parts of an OpenDocument data style; `kind` receives the
// style's element name and `attributes` those of the style itself. False for what the subset below
// does not store.
bool ods_parts(const QString& code, QByteArray& parts, QByteArray& kind, QByteArray& attributes) {
  const QString lower = code.toLower();
  const bool date = lower.contains(QRegularExpression("[ymdhs]|ge|am/pm|午前|aaa"));
  kind = code.contains('%') ? "percentage-style" : "number-style";
  auto text = [&](const QString& t) {
    parts += "<number:text>" + t.toHtmlEscaped().toUtf8() + "</number:text>";
  };
  bool after_hours = false, calendar = false, clock = false;
  for (qsizetype i = 0; i < code.size();) {
    const QChar c = code[i];
    auto run = [&](QChar x) {
      qsizetype n = 0;
      while (i + n < code.size() && code[i + n].toLower() == x) ++n;
      return n;
    };
    if (c == '"') {
      const qsizetype end = code.indexOf('"', i + 1);
      if (end < 0) return false;
      text(code.mid(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == '\\') {
      text(code.mid(i + 1, 1));
      i += 2;
    } else if (!date && (c == '0' || c == '#' || c == ',')) {
      // The digits: integer places, grouping, decimals, an exponent.
      qsizetype j = i;
      int zeros = 0, decimals = 0, min_decimals = 0, exponent = 0;
      bool grouping = false, point = false;
      for (; j < code.size(); ++j) {
        const QChar d = code[j];
        if (d == '0' && !point)
          ++zeros;
        else if (d == '#' && !point)
          continue;
        else if (d == ',' && !point)
          grouping = true;
        else if (d == '.' && !point)
          point = true;
        else if (d == '0' && point)
          ++decimals, ++min_decimals;
        else if (d == '#' && point)
          ++decimals;
        else
          break;
      }
      int factor = 0;  // trailing commas: thousands
      while (j > i && code[j - 1] == ',' && factor < 3) --j, ++factor;
      if (factor > 0) grouping = code.mid(i, j - i).contains(',');
      int places = 0;  // integer places, for an engineering exponent
      for (qsizetype k = i; k < j && code[k] != '.'; ++k)
        places += code[k] == '#' || code[k] == '0';
      if (j + 1 < code.size() && code[j].toUpper() == 'E' && code[j + 1] == '+') {
        j += 2;
        while (j < code.size() && code[j] == '0') ++j, ++exponent;
      } else {
        j += factor;
      }
      const QByteArray common =
          " number:decimal-places=\"" + QByteArray::number(decimals) +
          "\" number:min-decimal-places=\"" + QByteArray::number(min_decimals) +
          "\" number:min-integer-digits=\"" + QByteArray::number(zeros) + "\"";
      if (exponent > 0) {
        kind = "number-style";
        parts += "<number:scientific-number" + common + " number:min-exponent-digits=\"" +
                 QByteArray::number(exponent) + "\"" +
                 (places > 1 && code.mid(i, j - i).contains('#')
                      ? " number:exponent-interval=\"" + QByteArray::number(places) + "\""
                      : QByteArray()) +
                 "/>";
      } else {
        parts += "<number:number" + common + (grouping ? " number:grouping=\"true\"" : "") +
                 (factor ? " number:display-factor=\"1" + QByteArray(3 * factor, '0') + "\""
                         : QByteArray()) +
                 "/>";
      }
      i = j;
    } else if (!date && c == '%') {
      text("%");
      ++i;
    } else if (date && c.toLower() == 'y') {
      const qsizetype n = run('y');
      parts += n > 2 ? "<number:year number:style=\"long\"/>" : "<number:year/>";
      i += n;
    } else if (date && c.toLower() == 'm') {
      const qsizetype n = run('m');
      qsizetype next = i + n;
      while (next < code.size() && !QString("ydhs").contains(code[next].toLower())) ++next;
      const bool minutes =
          n <= 2 && (after_hours || (next < code.size() && code[next].toLower() == 's'));
      const QByteArray style = n == 2 || n == 4 ? " number:style=\"long\"" : "";
      parts += minutes  ? "<number:minutes" + style + "/>"
               : n >= 3 ? "<number:month number:textual=\"true\"" + style + "/>"
                        : "<number:month" + style + "/>";
      i += n;
    } else if (date && c.toLower() == 'd') {
      const qsizetype n = run('d');
      const QByteArray style = n == 2 || n == 4 ? " number:style=\"long\"" : "";
      parts += (n >= 3 ? "<number:day-of-week" : "<number:day") + style + "/>";
      i += n;
    } else if (date && (c.toLower() == 'h' || code.mid(i, 2).toLower() == "[h")) {
      const bool total = c == '[';
      if (total) ++i;
      const qsizetype n = run('h');
      parts += n >= 2 ? "<number:hours number:style=\"long\"/>" : "<number:hours/>";
      i += n + (total ? 1 : 0);
      after_hours = true;
    } else if (date && c.toLower() == 's') {
      const qsizetype n = run('s');
      int decimals = 0;
      i += n;
      if (i < code.size() && code[i] == '.') {
        ++i;
        while (i < code.size() && code[i] == '0') ++i, ++decimals;
      }
      parts += "<number:seconds" + QByteArray(n >= 2 ? " number:style=\"long\"" : "") +
               (decimals ? " number:decimal-places=\"" + QByteArray::number(decimals) + "\"" : "") +
               "/>";
    } else if (date && (lower.mid(i, 5) == "am/pm" || code.mid(i, 5) == "午前/午後")) {
      if (c == u'午') attributes = " number:language=\"ja\" number:country=\"JP\"";
      parts += "<number:am-pm/>";
      i += 5;
    } else if (date && lower.mid(i, 3) == "aaa") {
      const qsizetype n = run('a');
      attributes = " number:language=\"ja\" number:country=\"JP\"";
      parts += n >= 4 ? "<number:day-of-week number:style=\"long\"/>" : "<number:day-of-week/>";
      i += n;
    } else if (date && c.toLower() == 'g') {
      const qsizetype n = run('g');
      if (n == 2) return false;  // the era's first character has no place in the style
      parts += n >= 3 ? "<number:era number:style=\"long\" number:calendar=\"gengou\"/>"
                      : "<number:era number:calendar=\"gengou\"/>";
      i += n;
    } else if (date && c.toLower() == 'e') {
      const qsizetype n = run('e');
      parts += n >= 2 ? "<number:year number:style=\"long\" number:calendar=\"gengou\"/>"
                      : "<number:year number:calendar=\"gengou\"/>";
      i += n;
    } else if (code.mid(i, 7) == "[$-411]") {
      // The Japanese locale: the style's language.
      attributes = " number:language=\"ja\" number:country=\"JP\"";
      i += 7;
    } else if (c == '[' || c == '_' || c == '*' || c == '?' || c == '@') {
      return false;
    } else {
      text(QString(c));
      ++i;
    }
    if (date && i < code.size() && QString("yd").contains(code[i].toLower())) after_hours = false;
    if (parts.contains("<number:year") || parts.contains("<number:month") ||
        parts.contains("<number:day") || parts.contains("<number:era")) {
      calendar = true;
    }
    if (parts.contains("<number:hours") || parts.contains("<number:minutes") ||
        parts.contains("<number:seconds")) {
      clock = true;
    }
  }
  if (calendar) kind = "date-style";
  if (clock && !calendar) {
    kind = "time-style";
    if (code.contains("[h")) attributes = " number:truncate-on-overflow=\"false\"";
  }
  return true;
}

}  // namespace

QByteArray ods_data_style(const QString& name, const QString& code) {
  QStringList sections;
  QString current;
  bool quoted = false;
  for (QChar c : code) {
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      sections.append(std::exchange(current, {}));
    } else {
      current += c;
    }
  }
  sections.append(current);
  if (sections.size() > 3) return QByteArray();
  // Sections by sign are parts of their own, applied by conditions; the last is the style itself.
  QByteArray out;
  const QStringList conditions = sections.size() == 2 ? QStringList{"value()&gt;=0"}
                                 : sections.size() == 3
                                     ? QStringList{"value()&gt;0", "value()&lt;0"}
                                     : QStringList{};
  QByteArray maps;
  for (int i = 0; i < sections.size(); ++i) {
    QByteArray parts, kind, attributes;
    if (!ods_parts(sections[i], parts, kind, attributes)) return QByteArray();
    const bool last = i + 1 == sections.size();
    const QByteArray part_name = name.toUtf8() + (last ? "" : "P" + QByteArray::number(i));
    if (!last) {
      maps += "<style:map style:condition=\"" + conditions[i].toUtf8() +
              "\" style:apply-style-name=\"" + part_name + "\"/>";
    }
    out += "<number:" + kind + " style:name=\"" + part_name + "\"" + attributes + ">" + parts +
           (last ? maps : QByteArray()) + "</number:" + kind + ">";
  }
  return out;
}

QByteArray ods_file(const QList<std::pair<QString, QByteArray>>& sheets, const QString& active,
                    const QStringList& formats) {
  const QByteArray ns =
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\" "
      "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
      "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\"";
  QByteArray styles;
  for (int i = 0; i < formats.size(); ++i) {
    const QByteArray n = QByteArray::number(i + 1);
    styles += ods_data_style("N" + n, formats[i]) + "<style:style style:name=\"ce" + n +
              "\" style:family=\"table-cell\" style:data-style-name=\"N" + n + "\"/>";
  }
  QByteArray tables;
  for (const auto& [name, xml] : sheets) {
    tables += "<table:table table:name=\"" + name.toUtf8() + "\">" + xml + "</table:table>";
  }
  QMap<QString, QByteArray> parts;
  parts["mimetype"] = "application/vnd.oasis.opendocument.spreadsheet";
  parts["content.xml"] = "<?xml version=\"1.0\"?><office:document-content " + ns +
                         "><office:automatic-styles>" + styles +
                         "</office:automatic-styles><office:body><office:spreadsheet>" + tables +
                         "</office:spreadsheet></office:body></office:document-content>";
  if (!active.isEmpty()) {
    parts["settings.xml"] =
        "<?xml version=\"1.0\"?><office:document-settings " + ns +
        "><office:settings><config:config-item-set config:name=\"ooo:view-settings\">"
        "<config:config-item-map-indexed config:name=\"Views\"><config:config-item-map-entry>"
        "<config:config-item config:name=\"ActiveTable\" config:type=\"string\">" +
        active.toUtf8() +
        "</config:config-item></config:config-item-map-entry></config:config-item-map-indexed>"
        "</config:config-item-set></office:settings></office:document-settings>";
  }
  return zip_package(parts);
}

}  // namespace tarvex::testing
