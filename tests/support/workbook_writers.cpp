#include "workbook_writers.h"

#include "sheets/compound_writer.h"

#include <zip.h>

#include <QFile>
#include <QMap>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <initializer_list>
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

QByteArray xls_file(const XlsBook& book) {
  const bool b8 = !book.biff5;
  auto bof = [&](quint32 kind) {
    return record(0x0809, u16({b8 ? 0x0600u : 0x0500u, kind, 0x0DBB, 0x07CC}) +
                              (b8 ? u32({0, 6}) : QByteArray()));
  };
  // The string table: every text of every sheet, once.
  QStringList strings;
  for (const XlsSheet& s : book.sheets) {
    for (const XlsCell& c : s.cells) {
      if (b8 && c.kind == XlsCell::Text && !strings.contains(c.text)) strings.append(c.text);
    }
  }

  // Code page, window with the active tab, 1900 dates; then the cell formats: general, date,
  // date and time, time (the built-in formats 14, 22, 21).
  QByteArray globals =
      bof(0x0005) + record(0x0042, u16({b8 ? 1200u : 932u})) +
      record(0x003D, QByteArray(10, '\0') + u16({quint32(book.active), 0, 1, 600})) +
      record(0x0022, QByteArray(2, '\0'));
  for (quint32 fmt : {0u, 14u, 22u, 21u}) {
    globals += record(0x00E0, u16({0, fmt, 0x0001}) + QByteArray(b8 ? 14 : 10, '\0'));
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
    QByteArray sst = u32({quint32(strings.size()),
                          book.claimed_strings ? book.claimed_strings : quint32(strings.size())});
    quint16 type = 0x00FC;
    for (const QString& s : strings) {
      const QByteArray item = unicode_string(s, false);
      // A record holds 8224 bytes at most; the strings after it go on in CONTINUE records.
      if (sst.size() + item.size() > 8224) {
        globals += record(std::exchange(type, 0x003C), std::exchange(sst, {}));
      }
      sst += item;
    }
    globals += record(type, sst);
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
      // The cell formats written above: general, then date, date and time, time.
      const auto xf = QList{XlsCell::Date, XlsCell::DateTime, XlsCell::Time}.indexOf(c.kind) + 1;
      const QByteArray at = u16({quint32(c.row), quint32(c.column), quint32(xf)});
      switch (c.kind) {
        case XlsCell::Text:
          sheet += b8 ? record(0x00FD, at + u32({quint32(strings.indexOf(c.text))}))
                      : record(0x0204, at + counted(c.text));
          break;
        case XlsCell::Bool:
        case XlsCell::Error:
          sheet += record(0x0205, at + char(c.number) + char(c.kind == XlsCell::Error ? 1 : 0));
          break;
        case XlsCell::FormulaNumber:
        case XlsCell::FormulaText:
        case XlsCell::FormulaBool: {
          // The cached result: a number, or a text or truth value marked by 0xFFFF at its end.
          const QByteArray result =
              c.kind == XlsCell::FormulaNumber
                  ? le_double(c.number)
                  : QByteArray(1, char(c.kind == XlsCell::FormulaText ? 0 : 1)) + '\0' +
                        char(c.number) + QByteArray(3, '\0') + u16({0xFFFF});
          // Flags, the chain, then an expression of 3 bytes: the constant 1.
          sheet += record(0x0006, at + result + u16({0}) + u32({0}) + u16({3}) + '\x1E' + u16({1}));
          if (c.kind == XlsCell::FormulaText) {
            sheet += record(0x0207, b8 ? unicode_string(c.text, false) : counted(c.text));
          }
          break;
        }
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
                     const QList<int>& style_formats) {
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
  parts["xl/workbook.xml"] = "<?xml version=\"1.0\"?><workbook " + ns +
                             "><bookViews><workbookView activeTab=\"" + QByteArray::number(active) +
                             "\"/></bookViews><sheets>" + names + "</sheets></workbook>";
  parts["xl/_rels/workbook.xml.rels"] =
      "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
      "2006/relationships\">" +
      rels + "</Relationships>";
  QByteArray xfs;
  for (int id : style_formats) xfs += "<xf numFmtId=\"" + QByteArray::number(id) + "\"/>";
  parts["xl/styles.xml"] =
      "<?xml version=\"1.0\"?><styleSheet " + ns + "><cellXfs>" + xfs + "</cellXfs></styleSheet>";
  return zip_package(parts);
}

QByteArray ods_file(const QList<std::pair<QString, QByteArray>>& sheets, const QString& active) {
  const QByteArray ns =
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\"";
  QByteArray tables;
  for (const auto& [name, xml] : sheets) {
    tables += "<table:table table:name=\"" + name.toUtf8() + "\">" + xml + "</table:table>";
  }
  QMap<QString, QByteArray> parts;
  parts["mimetype"] = "application/vnd.oasis.opendocument.spreadsheet";
  parts["content.xml"] = "<?xml version=\"1.0\"?><office:document-content " + ns +
                         "><office:body><office:spreadsheet>" + tables +
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
