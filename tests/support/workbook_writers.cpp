#include "workbook_writers.h"

#include "display/compound_writer.h"

#include <zip.h>

#include <QFile>
#include <QMap>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace tarvex::testing {

namespace {

void put16(QByteArray& b, quint32 v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}
void put16(QByteArray& b, std::initializer_list<quint32> values) {
  for (quint32 v : values) put16(b, v);
}
void put32(QByteArray& b, quint32 v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void put32(QByteArray& b, std::initializer_list<quint32> values) {
  for (quint32 v : values) put32(b, v);
}
void put_double(QByteArray& b, double v) {
  b.append(reinterpret_cast<const char*>(&v), sizeof v);
}
void set32(QByteArray& b, qsizetype at, quint32 v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF);
}

QByteArray cp932(const QString& text) {
  return QStringEncoder("windows-31j").encode(text);
}

QByteArray record(quint16 type, const QByteArray& data) {
  QByteArray r;
  put16(r, {type, quint32(data.size())});
  return r + data;
}

QByteArray unicode_string(const QString& text, bool short_length) {
  QByteArray b;
  put16(b, quint32(text.size()));
  if (short_length) b.chop(1);  // a one-byte length
  b.append(char(1));            // UTF-16
  for (QChar c : text) put16(b, c.unicode());
  return b;
}

}  // namespace

QByteArray xls_file(const XlsBook& book) {
  const bool b8 = !book.biff5;
  auto bof = [&](quint16 kind) {
    QByteArray d;
    put16(d, {quint32(b8 ? 0x0600 : 0x0500), kind, 0x0DBB, 0x07CC});
    if (b8) put32(d, {0, 6});
    return record(0x0809, d);
  };
  // The string table: every text of every sheet, once.
  QStringList strings;
  if (b8) {
    for (const XlsSheet& s : book.sheets) {
      for (const XlsCell& c : s.cells) {
        if (c.kind == XlsCell::Text && !strings.contains(c.text)) strings.append(c.text);
      }
    }
  }

  QByteArray globals = bof(0x0005);
  {
    QByteArray d;
    put16(d, b8 ? 1200 : 932);
    globals += record(0x0042, d);
    QByteArray w(10, '\0');
    put16(w, {quint32(book.active), 0, 1, 600});
    globals += record(0x003D, w);
    globals += record(0x0022, QByteArray(2, '\0'));
  }
  // Cell formats: general, then date, date and time, time (the built-in formats 14, 22, 21).
  for (int fmt : {0, 14, 22, 21}) {
    QByteArray d;
    put16(d, {0, quint32(fmt), 0x0001});
    d.append(QByteArray(b8 ? 14 : 10, '\0'));
    globals += record(0x00E0, d);
  }
  QList<qsizetype> sheet_positions;
  for (const XlsSheet& s : book.sheets) {
    QByteArray d;
    sheet_positions.append(globals.size() + 4);
    put32(d, 0);
    put16(d, 0);
    if (b8) {
      d += unicode_string(s.name, true);
    } else {
      const QByteArray name = cp932(s.name);
      d.append(char(name.size()));
      d += name;
    }
    globals += record(0x0085, d);
  }
  if (b8) {
    QByteArray sst;
    put32(sst, {quint32(strings.size()),
                book.claimed_strings ? book.claimed_strings : quint32(strings.size())});
    quint16 type = 0x00FC;
    for (const QString& s : strings) {
      QByteArray item = unicode_string(s, false);
      if (sst.size() + item.size() > 8224) {
        globals += record(type, sst);
        sst.clear();
        type = 0x003C;  // CONTINUE
      }
      sst += item;
    }
    globals += record(type, sst);
  }
  globals += record(0x000A, QByteArray());

  QByteArray stream = globals;
  for (int i = 0; i < book.sheets.size(); ++i) {
    const XlsSheet& s = book.sheets[i];
    set32(stream, sheet_positions[i], quint32(stream.size()));
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
    QByteArray sheet = bof(0x0010);
    QByteArray dim;
    if (b8) {
      put32(dim, {0, quint32(rows)});
    } else {
      put16(dim, {0, quint32(rows)});
    }
    put16(dim, {0, quint32(columns), 0});
    sheet += record(0x0200, dim);
    if (book.twice_declared) sheet += record(0x0200, dim);
    for (const XlsCell& c : s.cells) {
      QByteArray d;
      // The cell formats written above: general, then date, date and time, time.
      const auto xf = QList{XlsCell::Date, XlsCell::DateTime, XlsCell::Time}.indexOf(c.kind) + 1;
      put16(d, {quint32(c.row), quint32(c.column), quint32(xf)});
      switch (c.kind) {
        case XlsCell::Text:
          if (b8) {
            put32(d, quint32(strings.indexOf(c.text)));
            sheet += record(0x00FD, d);
          } else {
            const QByteArray bytes = cp932(c.text);
            put16(d, quint32(bytes.size()));
            sheet += record(0x0204, d + bytes);
          }
          break;
        case XlsCell::Bool:
        case XlsCell::Error:
          d.append(char(c.number));
          d.append(char(c.kind == XlsCell::Error ? 1 : 0));
          sheet += record(0x0205, d);
          break;
        case XlsCell::FormulaNumber:
        case XlsCell::FormulaText:
        case XlsCell::FormulaBool: {
          if (c.kind == XlsCell::FormulaNumber) {
            put_double(d, c.number);
          } else {
            d.append(char(c.kind == XlsCell::FormulaText ? 0 : 1));
            d.append(char(0));
            d.append(char(c.number));
            d.append(QByteArray(3, '\0'));
            put16(d, 0xFFFF);
          }
          put16(d, 0);
          put32(d, 0);
          put16(d, 3);
          d.append(char(0x1E));  // the constant 1
          put16(d, 1);
          sheet += record(0x0006, d);
          if (c.kind == XlsCell::FormulaText) {
            QByteArray text;
            if (b8) {
              text = unicode_string(c.text, false);
            } else {
              const QByteArray bytes = cp932(c.text);
              put16(text, quint32(bytes.size()));
              text += bytes;
            }
            sheet += record(0x0207, text);
          }
          break;
        }
        default:
          put_double(d, c.number);
          sheet += record(0x0203, d);
          break;
      }
    }
    for (const auto& [row, first, values] : s.number_runs) {
      QByteArray d;
      put16(d, {quint32(row), quint32(first)});
      for (int v : values) {
        put16(d, 0);
        put32(d, quint32(v) << 2 | 2);  // an integer RK value
      }
      put16(d, quint32(first + values.size() - 1));
      sheet += record(0x00BD, d);
    }
    sheet += record(0x000A, QByteArray());
    stream += sheet;
  }
  return compound_file(b8 ? QStringLiteral("Workbook") : QStringLiteral("Book"), stream,
                       book.sector_size);
}

namespace {

QByteArray extended(double v) {
  QByteArray b;
  if (v == 0) return QByteArray(10, '\0');
  const quint16 sign = v < 0 ? 0x8000 : 0;
  int e = 0;
  const double m = std::frexp(std::fabs(v), &e);
  const quint64 mantissa = quint64(std::ldexp(m, 64));
  put32(b, {quint32(mantissa & 0xFFFFFFFF), quint32(mantissa >> 32)});
  put16(b, quint32((e - 1 + 16383) | sign));
  return b;
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
  QByteArray out;
  QByteArray v;
  put16(v, 0x0406);
  out += record(0x0000, v);
  int rows = 0, columns = 0;
  for (const WkCell& c : cells) {
    rows = std::max(rows, c.row);
    columns = std::max(columns, c.column);
  }
  QByteArray range;
  put16(range, {0, 0, quint32(columns), quint32(rows)});
  out += record(0x0006, range);
  for (const WkCell& c : cells) {
    QByteArray d;
    d.append(char(0xFF));
    put16(d, {quint32(c.column), quint32(c.row)});
    if (c.label) {
      out += record(0x000F, d + label_bytes(c));
    } else {
      put_double(d, c.number);
      out += record(0x000E, d);
    }
  }
  return out + record(0x0001, QByteArray());
}

QByteArray wk3_file(const QList<WkCell>& cells, quint16 version) {
  QByteArray bof;
  put16(bof, {version, 0, 5});
  bof.append(char(0));
  bof.append(char(4));
  bof.append(QByteArray(18, '\0'));
  QByteArray out = record(0x0000, bof);
  for (const WkCell& c : cells) {
    QByteArray d;
    put16(d, quint32(c.row));
    d.append(char(c.sheet));
    d.append(char(c.column));
    out += c.label ? record(0x0016, d + label_bytes(c)) : record(0x0017, d + extended(c.number));
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
