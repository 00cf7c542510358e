#include "early_biff_writer.h"

#include <QStringEncoder>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace tarvex::testing {

namespace {

QByteArray u16(std::initializer_list<quint32> values) {
  QByteArray b;
  for (quint32 v : values) b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
  return b;
}
QByteArray u32(quint32 v) {
  return u16({v & 0xFFFF, v >> 16});
}
QByteArray le_double(double v) {
  return QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
}
QByteArray record(quint16 type, const QByteArray& data) {
  return u16({type, quint32(data.size())}) + data;
}

QByteArray encoded(const QString& text, int codepage) {
  const char* name = codepage == 932 ? "windows-31j" : "windows-1252";
  return QStringEncoder(name).encode(text);
}

// A text after its length of `length_bytes`; one byte of length holds 255 bytes at most, so a
// longer text is cut after its last whole character that fits.
QByteArray counted(QString text, int codepage, int length_bytes) {
  QByteArray bytes = encoded(text, codepage);
  while (length_bytes == 1 && bytes.size() > 255) {
    text.chop(1);
    bytes = encoded(text, codepage);
  }
  return (length_bytes == 1 ? QByteArray(1, char(bytes.size())) : u16({quint32(bytes.size())})) +
         bytes;
}

// The format code a cell is written with; the date kinds have their usual codes.
QString format_code(const XlsCell& c) {
  if (!c.format.isEmpty() && !c.format.startsWith("builtin:")) return c.format;
  switch (c.kind) {
    case XlsCell::Date:
      return QStringLiteral("yyyy/m/d");
    case XlsCell::DateTime:
      return QStringLiteral("yyyy/m/d h:mm");
    case XlsCell::Time:
      return QStringLiteral("h:mm:ss");
    default:
      return QStringLiteral("General");
  }
}

QByteArray bof(int version, quint16 kind) {
  const quint16 type = version == 2 ? 0x0009 : version == 3 ? 0x0209 : 0x0409;
  return record(type, version == 2 ? u16({quint32(version << 8), kind})
                                   : u16({quint32(version << 8), kind, 0}));
}

}  // namespace

QByteArray early_biff_sheet(const XlsSheet& sheet, const EarlyBiff& o) {
  const int v = o.version;
  const bool b2 = v == 2;
  // The formats: General first, then each other code the cells use; one XF for each.
  QStringList formats = {QStringLiteral("General")};
  for (const XlsCell& c : sheet.cells) {
    if (!formats.contains(format_code(c))) formats.append(format_code(c));
  }
  QByteArray out = bof(v, 0x0010) + record(0x0042, u16({quint32(o.codepage)})) +
                   record(0x0022, u16({o.date1904 ? 1u : 0u}));
  for (const QString& f : formats) {
    const QByteArray code = counted(f, o.codepage, 1);
    out += v == 4 ? record(0x041E, u16({0}) + code) : record(0x001E, code);
  }
  for (int i = 0; i < formats.size(); ++i) {
    // Font, format (BIFF2: in the low six bits of the third byte), then styles left as they are.
    out +=
        b2 ? record(0x0043, QByteArray(1, '\0') + '\0' + char(i) + '\0')
           : record(v == 3 ? 0x0243 : 0x0443, QByteArray(1, '\0') + char(i) + QByteArray(10, '\0'));
  }
  int rows = 0, columns = 0;
  for (const XlsCell& c : sheet.cells) {
    rows = std::max(rows, c.row + 1);
    columns = std::max(columns, c.column + 1);
  }
  out += b2 ? record(0x0000, u16({0, quint32(rows), 0, quint32(columns)}))
            : record(0x0200, u16({0, quint32(rows), 0, quint32(columns), 0}));
  for (const XlsCell& c : sheet.cells) {
    const quint32 xf = quint32(formats.indexOf(format_code(c)));
    // BIFF2: three bytes of attributes, the XF (63: the IXFE record before) and the format.
    QByteArray at = u16({quint32(c.row), quint32(c.column)});
    if (b2) {
      if (o.ixfe) out += record(0x0044, u16({xf}));
      at += QByteArray(1, char(o.ixfe ? 63 : xf)) + char(xf) + '\0';
    } else {
      at += u16({xf});
    }
    const auto cell = [&](quint16 type2, quint16 type, const QByteArray& value) {
      out += record(b2 ? type2 : type, at + value);
    };
    switch (c.kind) {
      case XlsCell::Text:
      case XlsCell::Label:
        cell(0x0004, 0x0204, counted(c.text, o.codepage, b2 ? 1 : 2));
        break;
      case XlsCell::Blank:
        cell(0x0001, 0x0201, QByteArray());
        break;
      case XlsCell::Bool:
      case XlsCell::Error:
        cell(0x0005, 0x0205, QByteArray(1, char(c.number)) + char(c.kind == XlsCell::Error));
        break;
      case XlsCell::FormulaNumber:
      case XlsCell::FormulaText:
      case XlsCell::FormulaBool:
      case XlsCell::FormulaError:
      case XlsCell::FormulaEmpty: {
        const char kind = c.kind == XlsCell::FormulaText    ? 0
                          : c.kind == XlsCell::FormulaBool  ? 1
                          : c.kind == XlsCell::FormulaError ? 2
                                                            : 3;
        const QByteArray result =
            c.kind == XlsCell::FormulaNumber
                ? le_double(c.number)
                : QByteArray(1, kind) + '\0' + char(c.number) + QByteArray(3, '\0') + u16({0xFFFF});
        // The options and the expression: the constant 1, BIFF2 with one-byte sizes.
        const QByteArray expression = QByteArray(1, '\x1E') + u16({1});
        cell(0x0006, v == 3 ? 0x0206 : 0x0406,
             result +
                 (b2 ? QByteArray(1, '\0') + char(expression.size())
                     : u16({0, quint32(expression.size())})) +
                 expression);
        if (c.kind == XlsCell::FormulaText) {
          out += record(b2 ? 0x0007 : 0x0207, counted(c.text, o.codepage, b2 ? 1 : 2));
        }
        break;
      }
      case XlsCell::Rk:
        if (c.number == std::trunc(c.number) && c.number >= 0 && c.number < 65536 && b2) {
          cell(0x0002, 0, u16({quint32(c.number)}));
          break;
        }
        if (c.number == std::trunc(c.number) && std::fabs(c.number) < (1 << 29) && !b2) {
          cell(0, 0x027E, u32(quint32(qint32(c.number)) << 2 | 2));
          break;
        }
        cell(0x0003, 0x0203, le_double(c.number));
        break;
      default:
        cell(0x0003, 0x0203, le_double(c.number));
        break;
    }
  }
  return out + record(0x000A, QByteArray());
}

QByteArray biff4_workbook(const QList<XlsSheet>& sheets, const EarlyBiff& o) {
  EarlyBiff sheet_options = o;
  sheet_options.version = 4;
  QByteArray names;
  for (const XlsSheet& s : sheets) names += record(0x0085, counted(s.name, o.codepage, 1));
  QByteArray out = bof(4, 0x0100) + record(0x0042, u16({quint32(o.codepage)}));
  // Where the first sheet's header starts: after this record and the sheets' names.
  out += record(0x008E, u32(quint32(out.size() + 8 + names.size()))) + names;
  for (const XlsSheet& s : sheets) {
    const QByteArray stream = early_biff_sheet(s, sheet_options);
    out += record(0x008F, u32(quint32(stream.size())) + counted(s.name, o.codepage, 1)) + stream;
  }
  return out + record(0x000A, QByteArray());
}

}  // namespace tarvex::testing
