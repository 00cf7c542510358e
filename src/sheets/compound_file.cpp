// The compound file of an .xls workbook, read by sectors. The header gives the sector size and
// the list of FAT sectors (its first 109 entries in the header, the rest in a chain of DIFAT
// sectors); the FAT links the sectors of each chain; the directory names the streams; streams
// below the cutoff size live in the mini stream, in 64-byte sectors linked by the mini FAT.
// Every chain is walked with the sectors it has passed in mind: a chain that comes back to one of
// them is a damaged or hostile file and ends the reading at once, and so does a chain longer than
// the limit allows.

#include "sheets/compound_file.h"

#include "platform/text_codecs.h"
#include "sheets/little_endian.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace tarvex {

namespace {

constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
// Sector numbers from here on are markers (free, end of chain, FAT or DIFAT sector), never sectors.
constexpr quint32 kFirstMarker = 0xFFFFFFFA;
constexpr int kMiniSector = 64;
constexpr int kEntry = 128;

class CompoundReader {
 public:
  CompoundReader(QFile& file, qint64 limit) : file_(file), limit_(limit) {}

  std::optional<QByteArray> stream(const QStringList& names) {
    if (!read_header()) return std::nullopt;
    std::vector<quint32> dir_sectors;
    if (!chain(first_dir_, sectors_, dir_sectors)) return std::nullopt;
    QByteArray dir;
    if (!read_sectors(dir_sectors, dir)) return std::nullopt;
    const qsizetype entries = dir.size() / kEntry;
    if (entries == 0) return std::nullopt;
    const char* root = dir.constData();
    for (qsizetype i = 1; i < entries; ++i) {
      const char* e = dir.constData() + i * kEntry;
      const int name_bytes = u16(e + 64);
      if (e[66] != 2 || name_bytes < 2 || name_bytes > 64) continue;  // a stream object
      const QString name = decode_utf16le(QByteArray(e, name_bytes - 2)).section(QChar(0), 0, 0);
      if (!names.contains(name, Qt::CaseInsensitive)) continue;
      const quint32 start = u32(e + 116);
      const qint64 size = u32(e + 120);
      if (size > limit_ || size > qint64(sectors_) * sector_) return std::nullopt;
      if (size < cutoff_) return mini_stream(start, size, u32(root + 116));
      std::vector<quint32> sectors;
      if (!chain(start, sectors_, sectors)) return std::nullopt;
      if (qint64(sectors.size()) * sector_ < size) return std::nullopt;  // cut short
      sectors.resize(size_t((size + sector_ - 1) / sector_));
      QByteArray bytes;
      if (!read_sectors(sectors, bytes)) return std::nullopt;
      bytes.truncate(qsizetype(size));
      return bytes;
    }
    return std::nullopt;
  }

 private:
  // A table of sector numbers (the FAT, the mini FAT) kept in sectors of the file, read a sector
  // at a time as its entries are asked for.
  struct Table {
    std::vector<quint32> sectors;
    QHash<quint32, QByteArray> read;
  };

  bool read_header() {
    char h[512];
    if (!read_at(0, h, sizeof h) || std::memcmp(h, kSignature, 8) != 0) return false;
    const int shift = u16(h + 30);
    if (shift != 9 && shift != 12) return false;
    sector_ = 1 << shift;
    if (u16(h + 32) != 6) return false;
    first_dir_ = u32(h + 48);
    cutoff_ = u32(h + 56);
    first_mini_fat_ = u32(h + 60);
    const qint64 whole = (file_.size() - sector_) / sector_;
    sectors_ = whole > 0 ? quint32(std::min<qint64>(whole, kFirstMarker)) : 0;
    // The FAT's sector numbers: the header's list, then the chain of DIFAT sectors, each ending
    // with the number of the next.
    const quint32 fat_count = u32(h + 44);
    if (fat_count > sectors_ || qint64(fat_count) * 4 > limit_) return false;
    std::vector<quint32>& fat = fat_.sectors;
    for (int i = 0; i < 109 && fat.size() < fat_count; ++i) fat.push_back(u32(h + 76 + 4 * i));
    std::unordered_set<quint32> passed;
    QByteArray s(sector_, Qt::Uninitialized);
    for (quint32 difat = u32(h + 68); fat.size() < fat_count;
         difat = u32(s.constData() + sector_ - 4)) {
      if (difat >= sectors_ || !passed.insert(difat).second) return false;
      if (!read_at(offset(difat), s.data(), sector_)) return false;
      for (int i = 0; i < sector_ / 4 - 1 && fat.size() < fat_count; ++i) {
        fat.push_back(u32(s.constData() + 4 * i));
      }
    }
    return std::all_of(fat.begin(), fat.end(), [&](quint32 f) { return f < sectors_; });
  }

  qint64 offset(quint32 sector) const { return (qint64(sector) + 1) * sector_; }

  bool read_at(qint64 at, char* out, qint64 bytes) {
    return file_.seek(at) && file_.read(out, bytes) == bytes;
  }

  // The sectors' bytes in chain order; runs of adjacent sectors are read at one go.
  bool read_sectors(const std::vector<quint32>& sectors, QByteArray& out) {
    out = QByteArray(qsizetype(sectors.size()) * sector_, Qt::Uninitialized);
    for (size_t i = 0; i < sectors.size();) {
      size_t run = 1;
      while (i + run < sectors.size() && sectors[i + run] == sectors[i] + run) ++run;
      if (!read_at(offset(sectors[i]), out.data() + qsizetype(i) * sector_,
                   qint64(run) * sector_)) {
        return false;
      }
      i += run;
    }
    return true;
  }

  // Entry `i` of a table; the end of a chain when the table does not reach that far.
  std::optional<quint32> entry(Table& table, quint32 i) {
    const quint32 per_sector = quint32(sector_ / 4);
    const quint32 index = i / per_sector;
    if (index >= table.sectors.size()) return kEndOfChain;
    auto it = table.read.constFind(index);
    if (it == table.read.cend()) {
      QByteArray bytes(sector_, Qt::Uninitialized);
      if (!read_at(offset(table.sectors[index]), bytes.data(), sector_)) return std::nullopt;
      // The sectors read stay at hand, up to the limit.
      if (qint64(table.read.size()) * sector_ >= limit_) table.read.clear();
      it = table.read.insert(index, bytes);
    }
    return u32(it.value().constData() + (i % per_sector) * 4);
  }

  // The chain from `start` through `table` among `count` sectors: it ends at a number that is no
  // sector. False when it comes back to a sector it has passed, holds more than the limit, or a
  // table sector cannot be read.
  bool chain(quint32 start, quint32 count, std::vector<quint32>& out, Table& table, int unit) {
    out.clear();
    std::unordered_set<quint32> passed;
    const size_t most = size_t(limit_ / unit) + 1;
    for (quint32 s = start; s < count;) {
      if (!passed.insert(s).second || out.size() >= most) return false;
      out.push_back(s);
      const std::optional<quint32> next = entry(table, s);
      if (!next) return false;
      s = *next;
    }
    return true;
  }
  bool chain(quint32 start, quint32 count, std::vector<quint32>& out) {
    return chain(start, count, out, fat_, sector_);
  }

  // A stream below the cutoff: 64-byte sectors of the mini stream, which is itself the chain of
  // regular sectors from the root entry.
  std::optional<QByteArray> mini_stream(quint32 start, qint64 size, quint32 container_start) {
    Table mini_fat;
    std::vector<quint32> container;
    if (!chain(first_mini_fat_, sectors_, mini_fat.sectors) ||
        !chain(container_start, sectors_, container)) {
      return std::nullopt;
    }
    const quint64 mini_count = quint64(container.size()) * quint64(sector_ / kMiniSector);
    std::vector<quint32> minis;
    if (!chain(start, quint32(std::min<quint64>(mini_count, kFirstMarker)), minis, mini_fat,
               kMiniSector)) {
      return std::nullopt;
    }
    if (qint64(minis.size()) * kMiniSector < size) return std::nullopt;  // cut short
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    for (qint64 done = 0, i = 0; done < size; done += kMiniSector, ++i) {
      const quint64 at = quint64(minis[size_t(i)]) * kMiniSector;
      const qint64 bytes = std::min<qint64>(kMiniSector, size - done);
      if (!read_at(offset(container[size_t(at / quint64(sector_))]) + qint64(at % quint64(sector_)),
                   out.data() + done, bytes)) {
        return std::nullopt;
      }
    }
    return out;
  }

  QFile& file_;
  const qint64 limit_;
  int sector_ = 512;
  quint32 sectors_ = 0;
  quint32 first_dir_ = kEndOfChain;
  quint32 first_mini_fat_ = kEndOfChain;
  qint64 cutoff_ = 4096;
  Table fat_;
};

}  // namespace

std::optional<QByteArray> compound_stream(QFile& file, const QStringList& names, qint64 limit) {
  return CompoundReader(file, limit).stream(names);
}

}  // namespace tarvex
