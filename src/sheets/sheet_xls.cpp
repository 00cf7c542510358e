// BIFF workbooks (.xls, BIFF8 and BIFF5): the compound file and its workbook stream are read
// here, record by record, every length bounded by the record that gives it. The globals give the
// sheets, the code page, the date system, the active sheet, the cell formats and the string table;
// the chosen sheet's records give the cells of the block, each with its number format. A file
// that is encrypted, cut inside a structure or declaring more than it holds gives no block.

#include "platform/regular_file.h"
#include "platform/text_codecs.h"
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

quint16 u16(const char* p) {
  return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}
quint32 u32(const char* p) {
  return quint32(u16(p)) | quint32(u16(p + 2)) << 16;
}
double f64(const char* p) {
  double v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

constexpr quint32 kEndOfChain = 0xFFFFFFFE;

// A compound file held in memory, with just enough of its structure to read one stream.
class CompoundFile {
 public:
  explicit CompoundFile(QByteArray bytes) : data_(std::move(bytes)) {}

  // The named stream of the root storage (case-insensitive name), or nullopt.
  std::optional<QByteArray> stream(const QStringList& names) {
    if (!read_header()) return std::nullopt;
    const QByteArray dir = join(chain(first_dir_), sector_);
    const int entries = int(dir.size() / 128);
    if (entries == 0) return std::nullopt;
    const char* root = dir.constData();
    const quint32 mini_start = u32(root + 116);
    const quint64 mini_size = u32(root + 120);
    for (int i = 1; i < entries; ++i) {
      const char* e = dir.constData() + i * 128;
      const int name_bytes = u16(e + 64);
      if (e[66] != 2 || name_bytes < 2 || name_bytes > 64) continue;  // a stream object
      const QString name = decode_utf16le(QByteArray(e, name_bytes - 2)).section(QChar(0), 0, 0);
      if (!names.contains(name, Qt::CaseInsensitive)) continue;
      const quint32 start = u32(e + 116);
      const quint64 size = u32(e + 120);
      if (size > quint64(data_.size())) return std::nullopt;
      QByteArray bytes;
      if (size < cutoff_) {
        const QByteArray mini_stream = join(chain(mini_start), sector_);
        if (quint64(mini_stream.size()) < std::min<quint64>(mini_size, mini_stream.size())) {
          return std::nullopt;
        }
        mini_fat_ = chain_bytes(first_mini_fat_);
        bytes = join_mini(start, mini_stream);
      } else {
        bytes = join(chain(start), sector_);
      }
      if (quint64(bytes.size()) < size) return std::nullopt;  // truncated
      bytes.truncate(qsizetype(size));
      return bytes;
    }
    return std::nullopt;
  }

 private:
  bool read_header() {
    if (data_.size() < 512) return false;
    const char* h = data_.constData();
    const int shift = u16(h + 30);
    if (shift != 9 && shift != 12) return false;
    sector_ = 1 << shift;
    if (u16(h + 32) != 6) return false;
    first_dir_ = u32(h + 48);
    cutoff_ = u32(h + 56);
    first_mini_fat_ = u32(h + 60);
    sectors_ = quint32((data_.size() - sector_) / sector_);
    // The FAT: its sector numbers come from the header's list and the chain of extra lists.
    std::vector<quint32> fat_sectors;
    const quint32 fat_count = u32(h + 44);
    if (fat_count > sectors_) return false;
    for (int i = 0; i < 109 && fat_sectors.size() < fat_count; ++i) {
      fat_sectors.push_back(u32(h + 76 + 4 * i));
    }
    quint32 difat = u32(h + 68);
    for (quint32 hops = 0; fat_sectors.size() < fat_count; ++hops) {
      if (difat >= sectors_ || hops > sectors_) return false;
      const char* s = sector_at(difat);
      for (int i = 0; i < sector_ / 4 - 1 && fat_sectors.size() < fat_count; ++i) {
        fat_sectors.push_back(u32(s + 4 * i));
      }
      difat = u32(s + sector_ - 4);
    }
    fat_.clear();
    fat_.reserve(fat_sectors.size() * (sector_ / 4));
    for (quint32 s : fat_sectors) {
      if (s >= sectors_) return false;
      const char* p = sector_at(s);
      for (int i = 0; i < sector_ / 4; ++i) fat_.push_back(u32(p + 4 * i));
    }
    return true;
  }

  const char* sector_at(quint32 s) const {
    return data_.constData() + (qsizetype(s) + 1) * sector_;
  }

  // A chain of sectors; a loop or a sector beyond the file ends it.
  std::vector<quint32> chain(quint32 start) const {
    std::vector<quint32> out;
    for (quint32 s = start; s != kEndOfChain && s < sectors_ && s < fat_.size();) {
      if (out.size() > sectors_) return {};
      out.push_back(s);
      s = fat_[s];
    }
    return out;
  }

  std::vector<quint32> chain_bytes(quint32 start) const {
    const QByteArray bytes = join(chain(start), sector_);
    std::vector<quint32> out(size_t(bytes.size() / 4));
    for (size_t i = 0; i < out.size(); ++i) out[i] = u32(bytes.constData() + 4 * i);
    return out;
  }

  QByteArray join(const std::vector<quint32>& sectors, int size) const {
    QByteArray out;
    out.reserve(qsizetype(sectors.size()) * size);
    for (quint32 s : sectors) out.append(sector_at(s), size);
    return out;
  }

  QByteArray join_mini(quint32 start, const QByteArray& mini_stream) const {
    QByteArray out;
    const quint32 count = quint32(mini_stream.size() / 64);
    quint32 hops = 0;
    for (quint32 s = start; s != kEndOfChain && s < count && s < mini_fat_.size();
         s = mini_fat_[s]) {
      if (++hops > count) return QByteArray();
      out.append(mini_stream.constData() + qsizetype(s) * 64, 64);
    }
    return out;
  }

  QByteArray data_;
  int sector_ = 512;
  quint32 sectors_ = 0;
  quint32 first_dir_ = 0;
  quint32 first_mini_fat_ = kEndOfChain;
  quint32 cutoff_ = 4096;
  std::vector<quint32> fat_;
  std::vector<quint32> mini_fat_;
};

// Record types.
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
};

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
  bool biff8 = true;
  int codepage = 1252;
  bool date1904 = false;
  int active = 0;
  struct Sheet {
    quint32 offset;
    QByteArray name;  // raw: BIFF5 names are decoded once the code page is known
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

// BIFF5: `length_bytes` of count, then bytes in the code page.
bool record_string5(const char* p, const char* end, int length_bytes, QByteArray& raw) {
  if (end - p < length_bytes) return false;
  const int chars = length_bytes == 1 ? quint8(p[0]) : u16(p);
  if (end - p - length_bytes < chars) return false;
  raw = QByteArray(p + length_bytes, chars);
  return true;
}

bool read_globals(const QByteArray& stream, Globals& g) {
  Records records(stream, 0);
  Record r;
  if (!records.next(r) || r.type != kBof || r.len < 4 || u16(r.p + 2) != 0x0005) return false;
  g.biff8 = u16(r.p) >= 0x0600;
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
      case kBoundSheet: {
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
        if (r.len < 4) return false;
        g.xf_formats.push_back(u16(r.p + 2));
        break;
      case kFormat: {
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

class SheetReader {
 public:
  SheetReader(const Globals& g, const SheetBlock& block) : g_(g), block_(block) {}

  QString format_of(int xf) const {
    if (xf < 0 || size_t(xf) >= g_.xf_formats.size()) return QString();
    const int id = g_.xf_formats[size_t(xf)];
    // A workbook's own FORMAT records come first, also for the built-in numbers: they hold the
    // codes of the version that wrote the file (a German currency, say).
    const auto it = g_.formats.constFind(id);
    return it != g_.formats.cend() ? it.value() : builtin_number_format(id);
  }

  QString text5(const QByteArray& raw) const {
    return decode_code_page(raw, text_code_page(g_.codepage));
  }

  // Reads the substream that starts at `offset`; false when it is malformed.
  bool read(const QByteArray& stream, quint32 offset, SheetCells& out) {
    Records records(stream, qsizetype(offset));
    Record r;
    if (!records.next(r) || r.type != kBof) return false;
    int depth = 1;
    // The formula whose text result the next STRING record holds.
    std::optional<SheetCells::Cell> pending;
    while (records.next(r)) {
      const char* end = r.p + r.len;
      if (r.type == kBof) ++depth;
      if (r.type == kEof && --depth == 0) return true;
      if (depth > 1) continue;  // an embedded chart's records
      if (r.type == kString && pending) {
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
          if (!record_string5(r.p, end, 2, raw)) return false;
          text = text5(raw);
        }
        pending->value.kind = CellValue::Kind::Text;
        pending->value.text = text;
        out.cells.push_back(*pending);
        pending.reset();
        continue;
      }
      // A shared formula, an array or a table may stand between a formula and its text.
      if (r.type != kShrFmla && r.type != kArray && r.type != kTable) pending.reset();
      if (r.type == kMulRk || r.type == kMulBlank) {
        const int item = r.type == kMulRk ? 6 : 2;
        if (r.len < 6 || (r.len - 6) % item != 0) return false;
        const int row = u16(r.p), first = u16(r.p + 2);
        const int count = (r.len - 6) / item;
        for (int i = 0; i < count && r.type == kMulRk; ++i) {
          const char* at = r.p + 4 + i * 6;
          add(out, row, first + i, u16(at), CellValue::of_number(rk_value(u32(at + 2))));
        }
        continue;
      }
      const bool cell = r.type == kLabelSst || r.type == kLabel || r.type == kRString ||
                        r.type == kNumber || r.type == kRk || r.type == kFormula ||
                        r.type == kBoolErr || r.type == kBlank;
      if (!cell) continue;
      if (r.len < 6) return false;
      const int row = u16(r.p), column = u16(r.p + 2), xf = u16(r.p + 4);
      const char* v = r.p + 6;
      switch (r.type) {
        case kLabelSst:
          if (r.len < 10) return false;
          if (block_.contains(row, column)) {
            if (u32(v) >= g_.sst_count) return false;
            SheetCells::Cell c{row, column, CellValue::of_text(QString(), format_of(xf)), u32(v)};
            out.cells.push_back(c);
          }
          break;
        case kLabel:
        case kRString: {
          QByteArray raw;
          bool wide = false;
          const bool ok =
              g_.biff8 ? record_string8(v, end, 2, raw, wide) : record_string5(v, end, 2, raw);
          if (!ok) return false;
          add(out, row, column, xf, CellValue::of_text(g_.biff8 ? decode8(raw, wide) : text5(raw)));
          break;
        }
        case kNumber:
          if (r.len < 14) return false;
          add(out, row, column, xf, CellValue::of_number(f64(v)));
          break;
        case kRk:
          if (r.len < 10) return false;
          add(out, row, column, xf, CellValue::of_number(rk_value(u32(v))));
          break;
        case kBoolErr:
          if (r.len < 8) return false;
          add(out, row, column, xf,
              v[1] ? CellValue::of_error(error_name(quint8(v[0]))) : CellValue::of_bool(v[0] != 0));
          break;
        case kFormula: {
          if (r.len < 20) return false;
          if (u16(v + 6) != 0xFFFF) {
            add(out, row, column, xf, CellValue::of_number(f64(v)));
          } else if (v[0] == 0) {  // a text, in the STRING record that follows
            if (block_.contains(row, column)) {
              pending = SheetCells::Cell{row, column, CellValue::of_text({}, format_of(xf)), -1};
            }
          } else if (v[0] == 1) {
            add(out, row, column, xf, CellValue::of_bool(v[2] != 0));
          } else if (v[0] == 2) {
            add(out, row, column, xf, CellValue::of_error(error_name(quint8(v[2]))));
          } else if (v[0] == 3) {
            add(out, row, column, xf, CellValue::of_text(QString()));
          }
          break;
        }
        default:
          break;
      }
    }
    return true;  // a stream cut before the sheet's end shows what it holds
  }

 private:
  void add(SheetCells& out, int row, int column, int xf, CellValue value) const {
    if (!block_.contains(row, column)) return;
    if (value.kind == CellValue::Kind::Number || value.kind == CellValue::Kind::Text) {
      value.format = format_of(xf);
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

}  // namespace

bool read_xls_block(const QString& path, SheetBlock& block) {
  QFile file(path);
  if (!open_regular_file(file)) return false;
  std::optional<QByteArray> stream =
      CompoundFile(file.readAll()).stream({QStringLiteral("Workbook"), QStringLiteral("Book")});
  file.close();
  if (!stream) return false;
  Globals g;
  if (!read_globals(*stream, g)) return false;
  SheetCells cells;
  SheetReader reader(g, block);
  if (!reader.read(*stream, g.sheets[size_t(chosen_sheet(g))].offset, cells)) return false;

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
