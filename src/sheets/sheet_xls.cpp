// BIFF workbooks (.xls): FreeXL reads the cells. Before FreeXL sees a file, the compound file
// and its workbook stream are walked here once, so that a file declaring sizes its length cannot
// hold (a sheet of a million rows in a kilobyte, a string table of billions of strings) or an
// encrypted one never reaches the library, whose allocations follow those declarations. The walk
// also finds what FreeXL does not tell: the active sheet and the cells' booleans.

#include "platform/regular_file.h"
#include "sheets/sheet_readers.h"

#include "sheets/compound_writer.h"

#include <freexl.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cstring>
#include <mutex>
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

constexpr quint32 kEndOfChain = 0xFFFFFFFE;

// A compound file held in memory, with just enough of its structure to read one stream.
class CompoundFile {
 public:
  explicit CompoundFile(QByteArray bytes) : data_(std::move(bytes)) {}

  // The named stream of the root storage (case-insensitive name), or nullopt.
  std::optional<QByteArray> stream(const QStringList& names) {
    if (!read_header()) return std::nullopt;
    const std::vector<quint32> dir_chain = chain(first_dir_);
    const QByteArray dir = join(dir_chain, sector_);
    const int entries = int(dir.size() / 128);
    if (entries == 0) return std::nullopt;
    // FreeXL copies every entry's name by the length the entry gives, whatever the name field
    // holds: a length beyond the 64-byte field must never reach it.
    for (int i = 0; i < entries; ++i) {
      const char* e = dir.constData() + i * 128;
      if (u16(e + 64) > 64 || u16(e + 64) % 2 != 0) return std::nullopt;
    }
    const char* root = dir.constData();
    const quint32 mini_start = u32(root + 116);
    const quint64 mini_size = u32(root + 120);
    for (int i = 1; i < entries; ++i) {
      const char* e = dir.constData() + i * 128;
      const int name_bytes = u16(e + 64);
      if (e[66] != 2 || name_bytes < 2 || name_bytes > 64) continue;  // a stream object
      const QString name =
          QString::fromUtf16(reinterpret_cast<const char16_t*>(e), name_bytes / 2 - 1);
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

// What the walk over the workbook stream learns.
struct WorkbookFacts {
  quint32 strings = 0;  // in the string table
  int formats = 0;      // XF records
  bool biff8 = true;
  QByteArray codepage = "windows-1252";
  QStringList sheet_names;  // every sheet in tab order
  std::vector<quint32> sheet_offsets;
  int active = 0;
  // Boolean and error cells of the chosen sheet's block, by row * 256 + column.
  QHash<int, QString> fixed_cells;
};

// The largest sheet FreeXL is let allocate, in cells: a sheet's declared size must be one its
// file could plausibly fill.
quint64 cell_budget(qint64 file_size) {
  return std::min<quint64>(quint64(1) << 23, 65536 + quint64(file_size) * 4);
}

QString error_text(quint8 code) {
  switch (code) {
    case 0x00:
      return QStringLiteral("#NULL!");
    case 0x07:
      return QStringLiteral("#DIV/0!");
    case 0x0F:
      return QStringLiteral("#VALUE!");
    case 0x17:
      return QStringLiteral("#REF!");
    case 0x1D:
      return QStringLiteral("#NAME?");
    case 0x24:
      return QStringLiteral("#NUM!");
    case 0x2A:
      return QStringLiteral("#N/A");
    default:
      return QString();
  }
}

QString biff_sheet_name(const char* p, int len, bool biff8, QStringDecoder& cp) {
  // BOUNDSHEET: offset 6 holds the name's length, then (BIFF8) a flags byte.
  if (len < 8) return QString();
  const int chars = quint8(p[6]);
  if (biff8) {
    const bool wide = p[7] & 1;
    const int bytes = wide ? chars * 2 : chars;
    if (8 + bytes > len) return QString();
    if (wide) return QString::fromUtf16(reinterpret_cast<const char16_t*>(p + 8), chars);
    return QString::fromLatin1(p + 8, chars);
  }
  if (7 + chars > len) return QString();
  return cp.decode(QByteArrayView(p + 7, chars));
}

// Whether the string table starting with the SST record at `at` holds all the strings it
// announces, each complete within the SST record and the CONTINUE records after it. FreeXL copies
// each string by the length it gives, so a string running past its records must not reach it.
bool string_table_whole(const char* d, qsizetype n, qsizetype at) {
  // The table's pieces: the SST record's data and each CONTINUE record's data.
  std::vector<std::pair<const char*, int>> pieces;
  for (qsizetype r = at; r + 4 <= n;) {
    const quint16 type = u16(d + r);
    const int len = u16(d + r + 2);
    if (r + 4 + len > n) break;
    if (r != at && type != 0x003C) break;
    pieces.emplace_back(d + r + 4, len);
    r += 4 + len;
  }
  if (pieces.empty() || pieces[0].second < 8) return false;
  const quint32 count = u32(pieces[0].first + 4);
  size_t piece = 0;
  int pos = 8;
  // Takes `bytes` bytes from the current piece (never across a piece, as records do not split
  // headers); false when they are not there.
  auto take = [&](int bytes, const char** out) {
    while (piece < pieces.size() && pos == pieces[piece].second) {
      ++piece;
      pos = 0;
    }
    if (piece >= pieces.size() || pieces[piece].second - pos < bytes) return false;
    if (out) *out = pieces[piece].first + pos;
    pos += bytes;
    return true;
  };
  for (quint32 i = 0; i < count; ++i) {
    const char* h = nullptr;
    if (!take(3, &h)) return false;
    int chars = u16(h);
    quint8 flags = quint8(h[2]);
    int runs = 0;
    quint32 ext = 0;
    if (flags & 0x08) {
      if (!take(2, &h)) return false;
      runs = u16(h);
    }
    if (flags & 0x04) {
      if (!take(4, &h)) return false;
      ext = u32(h);
    }
    // The characters may go on in the next piece, which starts with its own flags byte.
    while (chars > 0) {
      if (pos == pieces[piece].second) {
        if (++piece >= pieces.size()) return false;
        pos = 0;
        if (!take(1, &h)) return false;
        flags = quint8(h[0]);
      }
      const int width = (flags & 1) ? 2 : 1;
      const int here = std::min(chars, (pieces[piece].second - pos) / width);
      if (here == 0) return false;
      pos += here * width;
      chars -= here;
    }
    // Formatting runs and phonetic data, possibly across pieces.
    quint64 rest = quint64(runs) * 4 + ext;
    while (rest > 0) {
      if (pos == pieces[piece].second) {
        if (++piece >= pieces.size()) return false;
        pos = 0;
      }
      const quint64 here = std::min<quint64>(rest, quint64(pieces[piece].second - pos));
      pos += int(here);
      rest -= here;
    }
  }
  return true;
}

// Whether a string of `chars` characters with its flags byte at `at` fits within `end`.
bool string_fits(const char* at, const char* end, int chars, bool biff8) {
  if (!biff8) return at + chars <= end;
  if (at >= end) return chars == 0;
  return at + 1 + chars * ((at[0] & 1) ? 2 : 1) <= end;
}

// Walks every record of the stream; false when the workbook must not be handed to FreeXL.
bool walk_workbook(const QByteArray& stream, qint64 file_size, WorkbookFacts& facts) {
  const char* d = stream.constData();
  const qsizetype n = stream.size();
  bool biff8 = true;
  QStringDecoder cp("windows-1252");
  const quint64 budget = cell_budget(file_size);
  bool globals = true;
  int dimensions = 0;  // DIMENSIONS records in the current substream
  for (qsizetype at = 0; at + 4 <= n;) {
    const quint16 type = u16(d + at);
    const int len = u16(d + at + 2);
    const char* p = d + at + 4;
    if (at + 4 + len > n) break;  // a cut record ends the walk, as it ends any reader
    switch (type) {
      case 0x0809:  // BOF
        if (len >= 2 && globals && at == 0) biff8 = facts.biff8 = u16(p) >= 0x0600;
        dimensions = 0;
        break;
      case 0x000A:  // EOF
        globals = false;
        break;
      case 0x002F:  // FILEPASS: encrypted
        return false;
      case 0x0042:  // CODEPAGE
        if (len >= 2 && u16(p) == 932) {
          cp = QStringDecoder("windows-31j");
          facts.codepage = "windows-31j";
        }
        break;
      case 0x003D:  // WINDOW1: the active tab
        if (globals && len >= 12) facts.active = u16(p + 10);
        break;
      case 0x0085:  // BOUNDSHEET
        if (len < 8 || !string_fits(p + 7, p + len, quint8(p[6]), biff8)) return false;
        if (globals) {
          facts.sheet_offsets.push_back(u32(p));
          facts.sheet_names.append(biff_sheet_name(p, len, biff8, cp));
        }
        break;
      case 0x00FC:  // SST: every string takes three bytes at least
        if (len < 8 || quint64(u32(p + 4)) * 3 > quint64(n)) return false;
        if (!string_table_whole(d, n, at)) return false;
        facts.strings = u32(p + 4);
        break;
      case 0x00E0:  // XF
        ++facts.formats;
        break;
      case 0x041E:  // FORMAT: a code number and its text
        if (biff8 ? len < 5 || !string_fits(p + 4, p + len, u16(p + 2), true)
                  : len < 3 || !string_fits(p + 3, p + len, quint8(p[2]), false)) {
          return false;
        }
        break;
      case 0x0204:  // LABEL
      case 0x00D6:  // RSTRING
        if (biff8 ? len < 9 || !string_fits(p + 8, p + len, u16(p + 6), true)
                  : len < 8 || !string_fits(p + 8, p + len, u16(p + 6), false)) {
          return false;
        }
        break;
      case 0x0200: {  // DIMENSIONS: one per sheet, of the size its version gives
        // FreeXL sizes a sheet's cells by each such record it meets: a second one, or one cut
        // short, leaves it freeing its cells twice.
        if (++dimensions > 1 || len != (biff8 ? 14 : 10)) return false;
        quint64 rows = 0, columns = 0;
        if (biff8) {
          rows = u32(p + 4);
          columns = u16(p + 10);
        } else {
          rows = u16(p + 2);
          columns = u16(p + 6);
        }
        if (rows > 65536 || columns > 256 || rows * columns > budget) return false;
        break;
      }
      default:
        break;
    }
    at += 4 + len;
  }
  return !facts.sheet_names.isEmpty();
}

// The cached results of formulas and the booleans and errors of one sheet's block: FreeXL gives
// a formula's result as nothing, a boolean as the number 1 or 0 and an error as nothing.
void fixed_cells(const QByteArray& stream, quint32 offset, int rows, int columns, bool biff8,
                 const QByteArray& codepage, WorkbookFacts& facts) {
  const char* d = stream.constData();
  const qsizetype n = stream.size();
  int string_cell = -1;  // the formula whose text result the next STRING record holds
  for (qsizetype at = offset; at + 4 <= n;) {
    const quint16 type = u16(d + at);
    const int len = u16(d + at + 2);
    const char* p = d + at + 4;
    if (at + 4 + len > n || type == 0x000A) break;
    if (type == 0x0207 && string_cell >= 0 && len >= 3) {  // STRING
      const int chars = u16(p);
      QString text;
      if (!biff8) {
        QStringDecoder cp(codepage.constData());
        text = cp.decode(QByteArrayView(p + 2, std::min(chars, len - 2)));
      } else if (p[2] & 1) {
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(p + 3),
                                  std::min(chars, (len - 3) / 2));
      } else {
        text = QString::fromLatin1(p + 3, std::min(chars, len - 3));
      }
      facts.fixed_cells.insert(string_cell, text);
    }
    if (type != 0x0207) string_cell = -1;
    if (len >= 8 && (type == 0x0205 || type == 0x0006)) {
      const int row = u16(p), column = u16(p + 2);
      if (row < rows && column < columns) {
        std::optional<QString> text;
        if (type == 0x0205) {  // BOOLERR
          text = p[7] ? error_text(quint8(p[6])) : bool_text(p[6] != 0);
        } else if (len >= 14 && quint8(p[12]) == 0xFF && quint8(p[13]) == 0xFF) {
          // A formula whose cached result is a text, a boolean, an error or empty.
          if (p[6] == 0) string_cell = row * 256 + column;
          if (p[6] == 1) text = bool_text(p[8] != 0);
          if (p[6] == 2) text = error_text(quint8(p[8]));
          if (p[6] == 3) text = QString();
        } else if (len >= 14) {
          double value = 0;
          std::memcpy(&value, p + 6, sizeof value);
          text = number_text(value);
        }
        if (text) facts.fixed_cells.insert(row * 256 + column, *text);
      }
    }
    at += 4 + len;
  }
}

// The workbook stream with only what the block needs: every record of the globals and of each
// sheet, except the cell records outside the block (rows and columns beyond it are dropped, runs
// of cells cut at its edge), the row and cell index records that point at them, and declared
// sheet sizes larger than the block. FreeXL then reads and stores a few hundred cells however
// large the sheet is. nullopt when the stream does not walk cleanly.
std::optional<QByteArray> block_only_stream(const QByteArray& stream, int rows, int columns,
                                            const WorkbookFacts& facts) {
  const char* d = stream.constData();
  const qsizetype n = stream.size();
  QByteArray out;
  QHash<quint32, quint32> moved;         // substream start: old offset → new offset
  std::vector<qsizetype> sheet_records;  // where the BOUNDSHEET records went
  bool globals = true;
  bool dropped_formula = false;
  auto put16 = [](QByteArray& b, qsizetype at, quint32 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
  };
  for (qsizetype at = 0; at + 4 <= n;) {
    const quint16 type = u16(d + at);
    const int len = u16(d + at + 2);
    const char* p = d + at + 4;
    if (at + 4 + len > n) break;
    const qsizetype next = at + 4 + len;
    QByteArray rec;  // a changed copy of the record; empty when it is kept as it is
    bool keep = true;
    if (type == 0x0809) moved.insert(quint32(at), quint32(out.size()));
    if (globals) {
      if (type == 0x0085 && len >= 4) sheet_records.push_back(out.size());
      if (type == 0x000A) globals = false;
    } else {
      switch (type) {
        case 0x0201:
        case 0x0203:
        case 0x0204:
        case 0x0205:
        case 0x027E:
        case 0x00FD:
        case 0x00D6:
        case 0x0006:  // BLANK NUMBER LABEL BOOLERR RK LABELSST RSTRING FORMULA
          keep = len >= 4 && u16(p) < rows && u16(p + 2) < columns;
          if (type == 0x0006) dropped_formula = !keep;
          // FreeXL looks a cell's format and string up by the numbers the cell gives.
          if (keep && (len < 6 || u16(p + 4) >= facts.formats)) return std::nullopt;
          if (keep && type == 0x00FD && (len < 10 || u32(p + 6) >= facts.strings)) {
            return std::nullopt;
          }
          break;
        case 0x0207:  // STRING: the text result of the formula before it
          keep = !dropped_formula;
          break;
        case 0x00BD:    // MULRK: row, first column, (format, value) × n, last column
        case 0x00BE: {  // MULBLANK: row, first column, format × n, last column
          const int item = type == 0x00BD ? 6 : 2;
          if (len < 6 || u16(p) >= rows || u16(p + 2) >= columns) {
            keep = false;
            break;
          }
          const int first = u16(p + 2);
          const int count = (len - 6) / item;
          for (int i = 0; i < count; ++i) {
            if (u16(p + 4 + i * item) >= facts.formats) return std::nullopt;
          }
          const int kept = std::min(count, columns - first);
          if (kept <= 0) {
            keep = false;
            break;
          }
          QByteArray data(p, 4 + kept * item);
          data.append(char(0));
          data.append(char(0));
          put16(data, data.size() - 2, quint32(first + kept - 1));
          rec = QByteArray(4, '\0') + data;
          put16(rec, 0, type);
          put16(rec, 2, quint32(data.size()));
          break;
        }
        case 0x0208:  // ROW
          keep = len >= 2 && u16(p) < rows;
          break;
        case 0x020B:  // INDEX
        case 0x00D7:  // DBCELL
          keep = false;
          break;
        case 0x0200:  // DIMENSIONS: last row and column + 1, at most the block's
          rec = QByteArray(d + at, 4 + len);
          if (len >= 14) {
            if (u32(p + 4) > quint32(rows)) {
              for (int i = 0; i < 4; ++i) rec[4 + 4 + i] = char((rows >> (8 * i)) & 0xFF);
            }
            if (u16(p + 10) > columns) put16(rec, 4 + 10, quint32(columns));
          } else if (len >= 10) {
            if (u16(p + 2) > rows) put16(rec, 4 + 2, quint32(rows));
            if (u16(p + 6) > columns) put16(rec, 4 + 6, quint32(columns));
          }
          break;
        default:
          break;
      }
      if (type != 0x0006 && type != 0x0207) dropped_formula = false;
    }
    if (keep && rec.isEmpty()) out.append(d + at, 4 + len);
    if (keep && !rec.isEmpty()) out += rec;
    at = next;
  }
  for (qsizetype r : sheet_records) {
    const auto it = moved.constFind(u32(out.constData() + r + 4));
    if (it == moved.cend()) return std::nullopt;
    for (int i = 0; i < 4; ++i) out[r + 4 + i] = char((it.value() >> (8 * i)) & 0xFF);
  }
  return out;
}

QString freexl_cell_text(const FreeXL_CellValue& v) {
  switch (v.type) {
    case FREEXL_CELL_INT:
      return number_text(v.value.int_value);
    case FREEXL_CELL_DOUBLE:
      return number_text(v.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
      return v.value.text_value ? QString::fromUtf8(v.value.text_value) : QString();
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME: {
      // FreeXL writes dates as YYYY-MM-DD; the preview shows them with slashes.
      QString text = v.value.text_value ? QString::fromUtf8(v.value.text_value) : QString();
      if (v.type != FREEXL_CELL_TIME) text.replace(u'-', u'/');
      return text;
    }
    default:
      return QString();
  }
}

}  // namespace

bool read_xls_block(const QString& path, SheetBlock& block) {
  QFile file(path);
  if (!open_regular_file(file)) return false;
  const qint64 file_size = file.size();
  std::optional<QByteArray> stream =
      CompoundFile(file.readAll()).stream({QStringLiteral("Workbook"), QStringLiteral("Book")});
  file.close();
  if (!stream) return false;
  WorkbookFacts facts;
  if (!walk_workbook(*stream, file_size, facts)) return false;

  int chosen = int(facts.sheet_names.indexOf(QStringLiteral("Sheet1"), 0));
  if (chosen < 0) {
    for (int i = 0; i < facts.sheet_names.size(); ++i) {
      if (facts.sheet_names[i].compare(QStringLiteral("Sheet1"), Qt::CaseInsensitive) == 0) {
        chosen = i;
        break;
      }
    }
  }
  if (chosen < 0) chosen = facts.active < facts.sheet_names.size() ? facts.active : 0;
  const QString chosen_name = facts.sheet_names[chosen];
  fixed_cells(*stream, facts.sheet_offsets[size_t(chosen)], block.rows(), block.columns(),
              facts.biff8, facts.codepage, facts);
  // FreeXL opens paths: the reduced workbook goes to a temporary file of its own.
  const std::optional<QByteArray> reduced =
      block_only_stream(*stream, block.rows(), block.columns(), facts);
  stream.reset();
  if (!reduced) return false;
  QTemporaryFile small(QDir::temp().filePath(QStringLiteral("tarvex-sheet-XXXXXX.xls")));
  const QByteArray small_file = compound_file(
      facts.biff8 ? QStringLiteral("Workbook") : QStringLiteral("Book"), *reduced, 4096);
  if (small_file.isEmpty() || !small.open() || small.write(small_file) != small_file.size() ||
      !small.flush()) {
    return false;
  }

  // FreeXL is not known to be safe for two workbooks at once (a superseded preview may still be
  // reading): they take turns.
  static std::mutex reading;
  const std::lock_guard<std::mutex> turn(reading);
  const void* handle = nullptr;
  // A failed open has released the workbook already, whatever the handle still holds: closing
  // it again would free it twice.
  if (freexl_open(QFile::encodeName(small.fileName()).constData(), &handle) != FREEXL_OK) {
    return false;
  }
  bool ok = false;
  unsigned int count = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) == FREEXL_OK && count > 0) {
    // FreeXL lists worksheets only; find the chosen one by its name, else take its first.
    unsigned short index = 0;
    for (unsigned short i = 0; i < count; ++i) {
      const char* name = nullptr;
      if (freexl_get_worksheet_name(handle, i, &name) == FREEXL_OK && name &&
          QString::fromUtf8(name) == chosen_name) {
        index = i;
        break;
      }
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(handle, index) == FREEXL_OK &&
        freexl_worksheet_dimensions(handle, &rows, &columns) == FREEXL_OK) {
      ok = true;
      const unsigned int last_row = std::min<unsigned int>(rows, block.rows());
      const unsigned short last_column = std::min<unsigned short>(columns, block.columns());
      for (unsigned int r = 0; r < last_row; ++r) {
        for (unsigned short c = 0; c < last_column; ++c) {
          FreeXL_CellValue value;
          std::memset(&value, 0, sizeof value);
          if (freexl_get_cell_value(handle, r, c, &value) == FREEXL_OK) {
            block.set(r, c, freexl_cell_text(value));
          }
        }
      }
    }
  }
  freexl_close(handle);
  for (auto it = facts.fixed_cells.cbegin(); it != facts.fixed_cells.cend(); ++it) {
    block.set(it.key() / 256, it.key() % 256, it.value());
  }
  return ok;
}

}  // namespace tarvex
