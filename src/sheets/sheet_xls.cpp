// BIFF workbooks (.xls): the workbook stream is read here, record by record, every length bounded
// by the record that gives it. BIFF8 and BIFF5 streams live in a compound file; their globals give
// the sheets, the code page, the date system, the active sheet, the cell formats and the string
// table. Excel 2.x, 3.0 and 4.0 worksheets (BIFF2, BIFF3, BIFF4) are bare streams holding one
// sheet with its own code page and formats; an Excel 4.0 workbook (BIFF4W) is a stream of
// globals that holds each sheet as a BIFF4 worksheet stream of its own, after a header naming
// it. The chosen sheet's records give the cells of the block, each with its number format. A
// file that is encrypted, cut inside a structure, declaring more than it holds or holding a
// workbook stream beyond the limit gives no block.

#include "platform/regular_file.h"
#include "platform/text_codecs.h"
#include "sheets/compound_file.h"
#include "sheets/little_endian.h"
#include "sheets/number_format.h"
#include "sheets/sheet_readers.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace tarvex {

namespace {

double f64(const char* p) {
  double v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Record types; those of BIFF2 to BIFF4 where they differ follow.
enum : quint16 {
  kBof = 0x0809,
  kEof = 0x000A,
  kFilePass = 0x002F,
  kCodePage = 0x0042,
  kDateMode = 0x0022,
  kWindow1 = 0x003D,
  kBoundSheet = 0x0085,
  kSst = 0x00FC,
  kContinue = 0x003C,
  kXf = 0x00E0,
  kFormat = 0x041E,
  kLabelSst = 0x00FD,
  kLabel = 0x0204,
  kRString = 0x00D6,
  kNumber = 0x0203,
  kRk = 0x027E,
  kMulRk = 0x00BD,
  kFormula = 0x0006,
  kString = 0x0207,
  kShrFmla = 0x04BC,
  kArray = 0x0221,
  kTable = 0x0236,
  kBoolErr = 0x0205,
  kBlank = 0x0201,
  kMulBlank = 0x00BE,
  kBof2 = 0x0009,
  kBof3 = 0x0209,
  kBof4 = 0x0409,
  kSheetHeader = 0x008F,
  kFormat2 = 0x001E,
  kXf2 = 0x0043,
  kXf3 = 0x0243,
  kXf4 = 0x0443,
  kIxfe = 0x0044,
  kFormula3 = 0x0206,
  kFormula4 = 0x0406,
  kBlank2 = 0x0001,
  kInteger2 = 0x0002,
  kNumber2 = 0x0003,
  kLabel2 = 0x0004,
  kBoolErr2 = 0x0005,
  kString2 = 0x0007,
  kArray2 = 0x0021,
  kTable2 = 0x0036,
  kTableOp2 = 0x0037,
};

// The BIFF version a BOF record stands for: 2, 3 or 4 by its type; 5 or 8 by its content.
int bof_version(quint16 type, const char* p, int len) {
  switch (type) {
    case kBof2:
      return 2;
    case kBof3:
      return 3;
    case kBof4:
      return 4;
    case kBof:
      return len >= 2 && u16(p) >= 0x0600 ? 8 : 5;
    default:
      return 0;
  }
}

struct Record {
  quint16 type = 0;
  const char* p = nullptr;
  int len = 0;
};

// The records of the stream from an offset; a record cut by the end of the stream ends them.
class Records {
 public:
  Records(const QByteArray& stream, qsizetype at)
      : d_(stream.constData()), n_(stream.size()), at_(at) {}
  bool next(Record& r) {
    if (at_ < 0 || at_ + 4 > n_) return false;
    const int len = u16(d_ + at_ + 2);
    if (at_ + 4 + len > n_) return false;
    r = Record{u16(d_ + at_), d_ + at_ + 4, len};
    at_ += 4 + len;
    return true;
  }
  // The type of the record after the current one, or 0.
  quint16 peek() const { return at_ + 4 <= n_ ? u16(d_ + at_) : 0; }
  qsizetype position() const { return at_; }
  // Passes over `bytes` bytes of records; false when the stream ends before.
  bool skip(qint64 bytes) {
    if (bytes < 0 || bytes > n_ - at_) return false;
    at_ += qsizetype(bytes);
    return true;
  }

 private:
  const char* d_;
  qsizetype n_;
  qsizetype at_;
};

QString latin1(const char* p, int chars) {
  return QString::fromLatin1(p, chars);
}
QString utf16(const char* p, int chars) {
  QString s(chars, Qt::Uninitialized);
  for (int i = 0; i < chars; ++i) s[i] = QChar(u16(p + 2 * i));
  return s;
}

// A string that may run on from one record into the CONTINUE records after it: the string table
// and a formula's text result. Each continuation of the characters starts with its own flags
// byte, so that the width of the characters may change between pieces.
class Pieces {
 public:
  void add(const char* p, int len) { pieces_.push_back({p, len}); }

  // Takes `bytes` bytes within the current piece (headers never cross a record).
  const char* take(int bytes) {
    while (piece_ < pieces_.size() && pos_ == pieces_[piece_].second) {
      ++piece_;
      pos_ = 0;
    }
    if (piece_ >= pieces_.size() || pieces_[piece_].second - pos_ < bytes) return nullptr;
    const char* out = pieces_[piece_].first + pos_;
    pos_ += bytes;
    return out;
  }

  // A BIFF8 string: 16-bit character count, flags, formatting runs and phonetic data skipped.
  // `keep` false skips the characters without decoding them.
  std::optional<QString> string(bool keep) {
    const char* h = take(3);
    if (!h) return std::nullopt;
    int chars = u16(h);
    quint8 flags = quint8(h[2]);
    quint32 runs = 0, extra = 0;
    if (flags & 0x08) {
      if (!(h = take(2))) return std::nullopt;
      runs = u16(h);
    }
    if (flags & 0x04) {
      if (!(h = take(4))) return std::nullopt;
      extra = u32(h);
    }
    QString out;
    while (chars > 0) {
      if (pos_ == piece_size()) {
        // The characters go on in the next record, which starts with a flags byte of its own:
        // the width of the characters may change there.
        if (++piece_ >= pieces_.size()) return std::nullopt;
        pos_ = 0;
        const char* f = take(1);
        if (!f) return std::nullopt;
        flags = quint8(f[0]);
      }
      const int width = (flags & 1) ? 2 : 1;
      const int here = std::min(chars, (piece_size() - pos_) / width);
      if (here == 0) return std::nullopt;
      const char* p = pieces_[piece_].first + pos_;
      if (keep) out += width == 2 ? utf16(p, here) : latin1(p, here);
      pos_ += here * width;
      chars -= here;
    }
    // Formatting runs and phonetic readings, possibly across pieces.
    quint64 rest = quint64(runs) * 4 + extra;
    while (rest > 0) {
      if (pos_ == piece_size()) {
        if (++piece_ >= pieces_.size()) return std::nullopt;
        pos_ = 0;
      }
      const quint64 here = std::min<quint64>(rest, quint64(piece_size() - pos_));
      pos_ += int(here);
      rest -= here;
    }
    return out;
  }

 private:
  int piece_size() const { return piece_ < pieces_.size() ? pieces_[piece_].second : 0; }

  std::vector<std::pair<const char*, int>> pieces_;
  size_t piece_ = 0;
  int pos_ = 0;
};

// The code page of BIFF5 texts, as the platform's decoder names it.
int text_code_page(int codepage) {
  switch (codepage) {
    case 367:    // ASCII
    case 32769:  // the Windows Latin code page of old versions
    case 1200:   // UTF-16 is BIFF8's; a BIFF5 file saying so means Latin
      return 1252;
    case 32768:
      return 10000;  // Mac Roman
    default:
      return codepage;
  }
}

// What the globals of the workbook give.
struct Globals {
  int version = 8;  // 2, 3, 4, 5 or 8
  bool biff8 = true;
  int codepage = 1252;
  bool date1904 = false;
  int active = 0;
  struct Sheet {
    quint32 offset;
    QByteArray name;  // raw: BIFF2 to BIFF5 names are decoded once the code page is known
    bool wide;        // BIFF8 UTF-16 name
    QString decoded;
  };
  std::vector<Sheet> sheets;
  std::vector<quint16> xf_formats;  // the number format of each cell format
  QHash<int, QString> formats;      // the FORMAT records' codes by number
  Pieces sst;
  quint32 sst_count = 0;
  bool has_sst = false;
};

// A BIFF8 string in a record: `length_bytes` (1 or 2) of character count, a flags byte, the
// characters; raw as UTF-16LE or Latin-1 bytes, with `wide` telling which. False when it does not
// fit the record.
bool record_string8(const char* p, const char* end, int length_bytes, QByteArray& raw, bool& wide) {
  if (end - p < length_bytes + 1) return false;
  const int chars = length_bytes == 1 ? quint8(p[0]) : u16(p);
  const quint8 flags = quint8(p[length_bytes]);
  wide = flags & 1;
  const char* s = p + length_bytes + 1;
  // Rich or phonetic strings in a record carry their sizes before the characters.
  if (flags & 0x08) s += 2;
  if (flags & 0x04) s += 4;
  const qsizetype bytes = qsizetype(chars) * (wide ? 2 : 1);
  if (s > end || end - s < bytes) return false;
  raw = QByteArray(s, bytes);
  return true;
}

QString decode8(const QByteArray& raw, bool wide) {
  return wide ? utf16(raw.constData(), int(raw.size() / 2)) : QString::fromLatin1(raw);
}

// BIFF2 to BIFF5: `length_bytes` of count, then bytes in the code page.
bool record_string5(const char* p, const char* end, int length_bytes, QByteArray& raw) {
  if (end - p < length_bytes) return false;
  const int chars = length_bytes == 1 ? quint8(p[0]) : u16(p);
  if (end - p - length_bytes < chars) return false;
  raw = QByteArray(p + length_bytes, chars);
  return true;
}

// The globals at the start of the stream. A bare BIFF2 to BIFF4 worksheet is a workbook of one
// sheet, at the start of the stream too; its formats are its own (see read_sheet_formats).
bool read_globals(const QByteArray& stream, Globals& g) {
  Records records(stream, 0);
  Record r;
  if (!records.next(r) || r.len < 4) return false;
  g.version = bof_version(r.type, r.p, r.len);
  g.biff8 = g.version == 8;
  const quint16 kind = u16(r.p + 2);
  const bool workspace = g.version == 4 && kind == 0x0100;  // an Excel 4.0 workbook
  if (g.version == 0) return false;
  if (g.version <= 4 && !workspace) {
    g.sheets.push_back(Globals::Sheet{0, {}, false, {}});
    return true;
  }
  if (kind != 0x0005 && !workspace) return false;
  // BIFF5 texts are decoded once the code page is known.
  QHash<int, QByteArray> formats5;
  while (records.next(r)) {
    const char* end = r.p + r.len;
    switch (r.type) {
      case kEof: {
        for (Globals::Sheet& s : g.sheets) {
          s.decoded = g.biff8 ? decode8(s.name, s.wide)
                              : decode_code_page(s.name, text_code_page(g.codepage));
        }
        for (auto it = formats5.cbegin(); it != formats5.cend(); ++it) {
          g.formats.insert(it.key(), decode_code_page(it.value(), text_code_page(g.codepage)));
        }
        return !g.sheets.empty();
      }
      case kFilePass:
        return false;  // encrypted
      case kCodePage:
        if (r.len >= 2) g.codepage = u16(r.p);
        break;
      case kDateMode:
        if (r.len >= 2) g.date1904 = u16(r.p) == 1;
        break;
      case kWindow1:
        if (r.len >= 12) g.active = u16(r.p + 10);
        break;
      case kSheetHeader: {
        // An Excel 4.0 workbook's sheet: its stream's length and its name, then its stream.
        if (!workspace) break;
        Globals::Sheet s{0, {}, false, {}};
        if (r.len < 5 || !record_string5(r.p + 4, end, 1, s.name)) return false;
        s.offset = quint32(records.position());
        if (!records.skip(u32(r.p))) return false;
        g.sheets.push_back(std::move(s));
        break;
      }
      case kBoundSheet: {
        if (workspace) break;  // the names only: they come again with each sheet
        Globals::Sheet s{0, {}, false, {}};
        if (r.len < 7) return false;
        s.offset = u32(r.p);
        const bool ok = g.biff8 ? record_string8(r.p + 6, end, 1, s.name, s.wide)
                                : record_string5(r.p + 6, end, 1, s.name);
        if (!ok) return false;
        g.sheets.push_back(std::move(s));
        break;
      }
      case kXf:
        if (workspace) break;  // each sheet of an Excel 4.0 workbook has its own
        if (r.len < 4) return false;
        g.xf_formats.push_back(u16(r.p + 2));
        break;
      case kFormat: {
        if (workspace) break;
        if (r.len < 3) return false;
        QByteArray raw;
        bool wide = false;
        const bool ok = g.biff8 ? record_string8(r.p + 2, end, 2, raw, wide)
                                : record_string5(r.p + 2, end, 1, raw);
        if (!ok) return false;
        if (g.biff8) {
          g.formats.insert(u16(r.p), decode8(raw, wide));
        } else {
          formats5.insert(u16(r.p), raw);
        }
        break;
      }
      case kSst:
        if (workspace) break;
        // Every string takes three bytes at least: a table announcing more than the stream can
        // hold is not read.
        if (r.len < 8 || quint64(u32(r.p + 4)) * 3 > quint64(stream.size())) return false;
        g.has_sst = true;
        g.sst_count = u32(r.p + 4);
        g.sst.add(r.p + 8, r.len - 8);
        while (records.peek() == kContinue && records.next(r)) g.sst.add(r.p, r.len);
        break;
      default:
        break;
    }
  }
  return false;  // no end of the globals
}

// BIFF2 to BIFF4: a worksheet carries its own code page, date system and number formats, before
// its cells. The FORMAT records are numbered by their order (BIFF4's first two bytes are unused),
// and an XF names its format by that number.
bool read_sheet_formats(const QByteArray& stream, quint32 offset, Globals& g) {
  Records records(stream, qsizetype(offset));
  Record r;
  if (!records.next(r)) return false;
  g.version = bof_version(r.type, r.p, r.len);
  if (g.version < 2 || g.version > 4) return false;
  g.biff8 = false;
  g.xf_formats.clear();
  g.formats.clear();
  QList<QByteArray> formats;
  while (records.next(r) && r.type != kEof) {
    switch (r.type) {
      case kFilePass:
        return false;
      case kCodePage:
        if (r.len >= 2) g.codepage = u16(r.p);
        break;
      case kDateMode:
        if (r.len >= 2) g.date1904 = u16(r.p) == 1;
        break;
      case kFormat2:
      case kFormat: {
        const int unused = r.type == kFormat ? 2 : 0;
        QByteArray raw;
        if (r.len < unused || !record_string5(r.p + unused, r.p + r.len, 1, raw)) return false;
        formats.append(raw);
        break;
      }
      case kXf2:
        if (r.len < 3) return false;
        g.xf_formats.push_back(quint8(r.p[2]) & 0x3F);
        break;
      case kXf3:
      case kXf4:
        if (r.len < 2) return false;
        g.xf_formats.push_back(quint8(r.p[1]));
        break;
      default:
        break;
    }
  }
  for (int i = 0; i < formats.size(); ++i) {
    g.formats.insert(i, decode_code_page(formats[i], text_code_page(g.codepage)));
  }
  return true;
}

// A number as an RK value: a 30-bit integer or the high bits of a double, optionally ×100.
double rk_value(quint32 rk) {
  double v = 0;
  if (rk & 2) {
    v = double(qint32(rk) >> 2);
  } else {
    const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
    std::memcpy(&v, &bits, sizeof v);
  }
  return (rk & 1) ? v / 100 : v;
}

// The cells of one sheet's block, with the string table indexes still to be looked up.
struct SheetCells {
  struct Cell {
    int row, column;
    CellValue value;
    qint64 sst = -1;  // a LABELSST cell's index
  };
  std::vector<Cell> cells;
};

// The kinds of cell record, whatever their type number in the version at hand.
enum class CellRecord {
  None,
  Blank,
  Integer,
  Number,
  Rk,
  Label,
  RString,
  LabelSst,
  BoolErr,
  Formula
};

CellRecord cell_record(quint16 type, int version) {
  if (version == 2) {
    switch (type) {
      case kBlank2:
        return CellRecord::Blank;
      case kInteger2:
        return CellRecord::Integer;
      case kNumber2:
        return CellRecord::Number;
      case kLabel2:
        return CellRecord::Label;
      case kBoolErr2:
        return CellRecord::BoolErr;
      case kFormula:
        return CellRecord::Formula;
      default:
        return CellRecord::None;
    }
  }
  switch (type) {
    case kBlank:
      return CellRecord::Blank;
    case kNumber:
      return CellRecord::Number;
    case kRk:
      return CellRecord::Rk;
    case kLabel:
      return CellRecord::Label;
    case kBoolErr:
      return CellRecord::BoolErr;
    case kRString:
      return version >= 5 ? CellRecord::RString : CellRecord::None;
    case kLabelSst:
      return version >= 5 ? CellRecord::LabelSst : CellRecord::None;
    case kFormula:
      return version >= 5 ? CellRecord::Formula : CellRecord::None;
    case kFormula3:
      return version == 3 ? CellRecord::Formula : CellRecord::None;
    case kFormula4:
      return version == 4 ? CellRecord::Formula : CellRecord::None;
    default:
      return CellRecord::None;
  }
}

class SheetReader {
 public:
  SheetReader(const Globals& g, const SheetBlock& block) : g_(g), block_(block) {}

  // The code of cell format `xf`; a BIFF2 cell whose format is none of the XF records names its
  // number format itself (`own`).
  QString format_of(int xf, int own = -1) const {
    int id = own;
    if (xf >= 0 && size_t(xf) < g_.xf_formats.size()) id = g_.xf_formats[size_t(xf)];
    if (id < 0) return QString();
    // A workbook's own FORMAT records come first, also for the built-in numbers: they hold the
    // codes of the version that wrote the file (a German currency, say). BIFF2 to BIFF4 files
    // number their formats by order and hold every one they use.
    const auto it = g_.formats.constFind(id);
    if (it != g_.formats.cend()) return it.value();
    return g_.version >= 5 ? builtin_number_format(id) : QString();
  }

  QString text5(const QByteArray& raw) const {
    return decode_code_page(raw, text_code_page(g_.codepage));
  }

  // Reads the substream that starts at `offset`; false when it is malformed.
  bool read(const QByteArray& stream, quint32 offset, SheetCells& out) {
    Records records(stream, qsizetype(offset));
    Record r;
    if (!records.next(r) || bof_version(r.type, r.p, r.len) == 0) return false;
    const int version = g_.version;
    const bool biff2 = version == 2;
    const quint16 string_type = biff2 ? kString2 : kString;
    int depth = 1;
    // The formula whose text result the next STRING record holds.
    std::optional<SheetCells::Cell> pending;
    // BIFF2: the cell format of the next cell when its attributes cannot hold the number.
    int ixfe = -1;
    while (records.next(r)) {
      const char* end = r.p + r.len;
      if (bof_version(r.type, r.p, r.len) != 0) ++depth;
      if (r.type == kEof && --depth == 0) return true;
      if (depth > 1) continue;  // an embedded chart's records
      if (r.type == string_type && pending) {
        QString text;
        if (g_.biff8) {
          // Count, flags and characters as a table string has them, running on into CONTINUE
          // records when it is long.
          Pieces pieces;
          pieces.add(r.p, r.len);
          while (records.peek() == kContinue && records.next(r)) pieces.add(r.p, r.len);
          const std::optional<QString> s = pieces.string(true);
          if (!s) return false;
          text = *s;
        } else {
          QByteArray raw;
          if (!record_string5(r.p, end, biff2 ? 1 : 2, raw)) return false;
          text = text5(raw);
        }
        pending->value.kind = CellValue::Kind::Text;
        pending->value.text = text;
        out.cells.push_back(*pending);
        pending.reset();
        continue;
      }
      // A shared formula, an array or a table may stand between a formula and its text.
      const bool between =
          r.type == kShrFmla || r.type == kArray || r.type == kTable ||
          (biff2 && (r.type == kArray2 || r.type == kTable2 || r.type == kTableOp2));
      if (!between) pending.reset();
      if (biff2 && r.type == kIxfe) {
        if (r.len >= 2) ixfe = u16(r.p);
        continue;
      }
      if (version >= 5 && (r.type == kMulRk || r.type == kMulBlank)) {
        const int item = r.type == kMulRk ? 6 : 2;
        if (r.len < 6 || (r.len - 6) % item != 0) return false;
        const int row = u16(r.p), first = u16(r.p + 2);
        const int count = (r.len - 6) / item;
        for (int i = 0; i < count && r.type == kMulRk; ++i) {
          const char* at = r.p + 4 + i * 6;
          add(out, row, first + i, u16(at), -1, CellValue::of_number(rk_value(u32(at + 2))));
        }
        continue;
      }
      const CellRecord kind = cell_record(r.type, version);
      if (kind == CellRecord::None) continue;
      // Row, column and cell format; BIFF2 has three bytes of attributes in place of the format,
      // the first naming the XF record (63: the IXFE record before), the second the number format.
      const int head = biff2 ? 7 : 6;
      if (r.len < head) return false;
      const int row = u16(r.p), column = u16(r.p + 2);
      int xf = biff2 ? quint8(r.p[4]) & 0x3F : u16(r.p + 4);
      const int own = biff2 ? quint8(r.p[5]) & 0x3F : -1;
      if (biff2 && xf == 63 && ixfe >= 0) xf = ixfe;
      ixfe = -1;
      const char* v = r.p + head;
      const int left = r.len - head;
      switch (kind) {
        case CellRecord::LabelSst:
          if (left < 4) return false;
          if (block_.contains(row, column)) {
            if (u32(v) >= g_.sst_count) return false;
            SheetCells::Cell c{row, column, CellValue::of_text(QString(), format_of(xf)), u32(v)};
            out.cells.push_back(c);
          }
          break;
        case CellRecord::Label:
        case CellRecord::RString: {
          QByteArray raw;
          bool wide = false;
          const bool ok = g_.biff8 ? record_string8(v, end, 2, raw, wide)
                                   : record_string5(v, end, biff2 ? 1 : 2, raw);
          if (!ok) return false;
          add(out, row, column, xf, own,
              CellValue::of_text(g_.biff8 ? decode8(raw, wide) : text5(raw)));
          break;
        }
        case CellRecord::Number:
          if (left < 8) return false;
          add(out, row, column, xf, own, CellValue::of_number(f64(v)));
          break;
        case CellRecord::Integer:
          if (left < 2) return false;
          add(out, row, column, xf, own, CellValue::of_number(u16(v)));
          break;
        case CellRecord::Rk:
          if (left < 4) return false;
          add(out, row, column, xf, own, CellValue::of_number(rk_value(u32(v))));
          break;
        case CellRecord::BoolErr:
          if (left < 2) return false;
          add(out, row, column, xf, own,
              v[1] ? CellValue::of_error(error_name(quint8(v[0]))) : CellValue::of_bool(v[0] != 0));
          break;
        case CellRecord::Formula: {
          // The result, then the options, the token count and the tokens: BIFF2 has one byte
          // for each of the two, BIFF3 and BIFF4 two, BIFF5 and BIFF8 four more bytes between.
          if (left < (version >= 5 ? 14 : version >= 3 ? 12 : 10)) return false;
          if (u16(v + 6) != 0xFFFF) {
            add(out, row, column, xf, own, CellValue::of_number(f64(v)));
          } else if (v[0] == 0) {  // a text, in the STRING record that follows
            if (block_.contains(row, column)) {
              pending =
                  SheetCells::Cell{row, column, CellValue::of_text({}, format_of(xf, own)), -1};
            }
          } else if (v[0] == 1) {
            add(out, row, column, xf, own, CellValue::of_bool(v[2] != 0));
          } else if (v[0] == 2) {
            add(out, row, column, xf, own, CellValue::of_error(error_name(quint8(v[2]))));
          } else if (v[0] == 3) {
            add(out, row, column, xf, own, CellValue::of_text(QString()));
          }
          break;
        }
        case CellRecord::Blank:
        case CellRecord::None:
          break;
      }
    }
    return true;  // a stream cut before the sheet's end shows what it holds
  }

 private:
  void add(SheetCells& out, int row, int column, int xf, int own, CellValue value) const {
    if (!block_.contains(row, column)) return;
    if (value.kind == CellValue::Kind::Number || value.kind == CellValue::Kind::Text) {
      value.format = format_of(xf, own);
    }
    out.cells.push_back({row, column, std::move(value), -1});
  }

  const Globals& g_;
  const SheetBlock& block_;
};

// The sheet the preview shows: "Sheet1" (exactly, else in any letter case), else the active one,
// else the first.
int chosen_sheet(const Globals& g) {
  for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
    for (size_t i = 0; i < g.sheets.size(); ++i) {
      if (g.sheets[i].decoded.compare(QStringLiteral("Sheet1"), cs) == 0) return int(i);
    }
  }
  return g.active >= 0 && size_t(g.active) < g.sheets.size() ? g.active : 0;
}

const char kCompoundSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// A file that starts with the BOF record of BIFF2, BIFF3 or BIFF4: Excel 2.x to 4.0 wrote their
// worksheets and workbooks as bare streams.
bool is_bare_stream(const QByteArray& head) {
  if (head.size() < 4) return false;
  const quint16 type = u16(head.constData());
  return type == kBof2 || type == kBof3 || type == kBof4;
}

// The workbook stream: the "Workbook" or "Book" stream of a compound file, or the whole file
// when it is a bare stream; nullopt beyond the limit a workbook part has.
std::optional<QByteArray> workbook_stream(const QString& path) {
  QFile file(path);
  if (!open_regular_file(file)) return std::nullopt;
  const QByteArray head = file.read(8);
  if (head == QByteArray(kCompoundSignature, 8)) {
    return compound_stream(file, {QStringLiteral("Workbook"), QStringLiteral("Book")},
                           kWorkbookPartLimit);
  }
  if (!is_bare_stream(head) || file.size() > kWorkbookPartLimit || !file.seek(0)) {
    return std::nullopt;
  }
  QByteArray all = file.readAll();
  if (all.size() != file.size()) return std::nullopt;  // changed while read
  return all;
}

}  // namespace

bool is_xls_head(const QByteArray& head) {
  return head.startsWith(QByteArray(kCompoundSignature, 8)) || is_bare_stream(head);
}

bool read_xls_block(const QString& path, SheetBlock& block) {
  const std::optional<QByteArray> stream = workbook_stream(path);
  if (!stream) return false;
  Globals g;
  if (!read_globals(*stream, g)) return false;
  const quint32 offset = g.sheets[size_t(chosen_sheet(g))].offset;
  if (g.version <= 4 && !read_sheet_formats(*stream, offset, g)) return false;
  SheetCells cells;
  SheetReader reader(g, block);
  if (!reader.read(*stream, offset, cells)) return false;

  // The string table: only the strings the block shows are decoded, but every string must be
  // whole within its records.
  QHash<quint32, QString> wanted;
  for (const SheetCells::Cell& c : cells.cells) {
    if (c.sst >= 0) wanted.insert(quint32(c.sst), QString());
  }
  if (g.has_sst) {
    for (quint32 i = 0; i < g.sst_count; ++i) {
      const bool keep = wanted.contains(i);
      std::optional<QString> s = g.sst.string(keep);
      if (!s) return false;
      if (keep) wanted[i] = *s;
    }
  }
  block.set_date1904(g.date1904);
  for (SheetCells::Cell& c : cells.cells) {
    if (c.sst >= 0) c.value.text = wanted.value(quint32(c.sst));
    block.set(c.row, c.column, c.value);
  }
  return true;
}

}  // namespace tarvex
