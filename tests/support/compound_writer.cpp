#include "compound_writer.h"

namespace tarvex {

namespace {

void put16(QByteArray& b, quint32 v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& b, quint32 v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void set32(QByteArray& b, qsizetype at, quint32 v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF);
}

constexpr quint32 kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD;

}  // namespace

QByteArray compound_file(const QString& stream_name, QByteArray stream, int sector_size) {
  if (stream.size() < 4096) stream.append(QByteArray(4096 - stream.size(), '\0'));
  const quint64 true_size = quint64(stream.size());
  stream.append(QByteArray((sector_size - stream.size() % sector_size) % sector_size, '\0'));
  const quint32 data_sectors = quint32(stream.size() / sector_size);
  const quint32 per_fat = quint32(sector_size / 4);
  quint32 fat_sectors = 1;
  while (fat_sectors * per_fat < fat_sectors + 1 + data_sectors) ++fat_sectors;
  if (fat_sectors > 109) return QByteArray();  // the header lists 109 FAT sectors at most
  // Sectors: the FAT, one directory sector, the stream.
  const quint32 dir_sector = fat_sectors, first_data = fat_sectors + 1;
  const quint32 total = first_data + data_sectors;

  QByteArray header;
  header.append(QByteArray::fromHex("d0cf11e0a1b11ae1"));
  header.append(QByteArray(16, '\0'));
  put16(header, 0x003E);
  put16(header, sector_size == 512 ? 3 : 4);
  put16(header, 0xFFFE);
  put16(header, sector_size == 512 ? 9 : 12);
  put16(header, 6);
  header.append(QByteArray(6, '\0'));
  put32(header, sector_size == 512 ? 0 : 1);  // directory sectors (version 4 only)
  put32(header, fat_sectors);
  put32(header, dir_sector);
  put32(header, 0);
  put32(header, 4096);
  put32(header, kEnd);  // no mini FAT
  put32(header, 0);
  put32(header, kEnd);  // no extra FAT lists
  put32(header, 0);
  for (quint32 i = 0; i < 109; ++i) put32(header, i < fat_sectors ? i : kFree);
  header.append(QByteArray(sector_size - header.size(), '\0'));

  QByteArray fat;
  for (quint32 s = 0; s < fat_sectors * per_fat; ++s) {
    quint32 v = kFree;
    if (s < fat_sectors) v = kFatSector;
    if (s == dir_sector) v = kEnd;
    if (s >= first_data && s < total) v = s + 1 == total ? kEnd : s + 1;
    put32(fat, v);
  }

  auto entry = [](const QString& name, int type, quint32 child, quint32 start, quint64 size) {
    QByteArray e(128, '\0');
    for (int i = 0; i < name.size() && i < 31; ++i) {
      e[2 * i] = char(name[i].unicode() & 0xFF);
      e[2 * i + 1] = char(name[i].unicode() >> 8);
    }
    e[64] = char((name.size() + 1) * 2);
    e[66] = char(type);
    e[67] = 1;
    set32(e, 68, kFree);
    set32(e, 72, kFree);
    set32(e, 76, child);
    set32(e, 116, start);
    set32(e, 120, quint32(size));
    return e;
  };
  QByteArray dir = entry(QStringLiteral("Root Entry"), 5, 1, kEnd, 0) +
                   entry(stream_name, 2, kFree, first_data, true_size);
  while (dir.size() < sector_size) dir += entry(QString(), 0, kFree, 0, 0);
  return header + fat + dir + stream;
}

}  // namespace tarvex

namespace tarvex {

QByteArray compound_file_looping(const QString& stream_name, const QByteArray& stream,
                                 ChainLoop loop) {
  constexpr int kSector = 512;
  const bool mini = stream.size() < 4096;
  const auto sectors_of = [](qsizetype bytes, int unit) {
    return quint32((bytes + unit - 1) / unit);
  };
  // Sectors: the FAT, the directory, the DIFAT sector (for its loop), the mini FAT (for a mini
  // stream), then the stream's or the mini stream's sectors.
  const quint32 fat_sector = 0, dir_sector = 1;
  quint32 next = 2;
  const quint32 difat_sector = loop == ChainLoop::Difat ? next++ : kEnd;
  const quint32 mini_fat_sector = mini ? next++ : kEnd;
  const quint32 first_data = next;
  const quint32 minis = mini ? sectors_of(stream.size(), 64) : 0;
  const quint32 data_sectors =
      mini ? sectors_of(qsizetype(minis) * 64, kSector) : sectors_of(stream.size(), kSector);
  quint32 total = first_data + data_sectors;
  const quint32 fat_count = loop == ChainLoop::Difat ? 300 : 1;
  // The FAT must lie within the file's sectors as the header counts them.
  if (total < fat_count + 1) total = fat_count + 1;

  QByteArray header;
  header.append(QByteArray::fromHex("d0cf11e0a1b11ae1"));
  header.append(QByteArray(16, '\0'));
  put16(header, 0x003E);
  put16(header, 3);
  put16(header, 0xFFFE);
  put16(header, 9);
  put16(header, 6);
  header.append(QByteArray(10, '\0'));
  put32(header, fat_count);
  put32(header, dir_sector);
  put32(header, 0);
  put32(header, 4096);
  put32(header, mini_fat_sector);
  put32(header, mini ? 1 : 0);
  put32(header, difat_sector);
  put32(header, loop == ChainLoop::Difat ? 1 : 0);
  for (quint32 i = 0; i < 109; ++i) put32(header, i < fat_count ? fat_sector : kFree);

  QByteArray fat;
  for (quint32 s = 0; s < quint32(kSector / 4); ++s) {
    quint32 v = kFree;
    if (s == fat_sector) v = kFatSector;
    if (s == dir_sector || s == mini_fat_sector) v = kEnd;
    if (s == difat_sector) v = 0xFFFFFFFC;
    if (s >= first_data && s < first_data + data_sectors) {
      v = s + 1 == first_data + data_sectors ? kEnd : s + 1;
    }
    put32(fat, v);
  }
  const quint32 last_data = first_data + data_sectors - 1;
  if (loop == ChainLoop::Fat) set32(fat, 4 * last_data, first_data);
  if (loop == ChainLoop::MiniStream) set32(fat, 4 * last_data, first_data);
  if (loop == ChainLoop::Directory) set32(fat, 4 * dir_sector, dir_sector);
  if (loop == ChainLoop::MiniFatSectors) set32(fat, 4 * mini_fat_sector, mini_fat_sector);

  QByteArray mini_fat;
  for (quint32 m = 0; m < quint32(kSector / 4); ++m) {
    put32(mini_fat, m < minis ? (m + 1 == minis ? kEnd : m + 1) : kFree);
  }
  if (loop == ChainLoop::MiniSectors && minis > 0) set32(mini_fat, 4 * (minis - 1), 0);

  auto entry = [](const QString& name, int type, quint32 child, quint32 start, quint64 size) {
    QByteArray e(128, '\0');
    for (int i = 0; i < name.size() && i < 31; ++i) {
      e[2 * i] = char(name[i].unicode() & 0xFF);
      e[2 * i + 1] = char(name[i].unicode() >> 8);
    }
    e[64] = char((name.size() + 1) * 2);
    e[66] = char(type);
    e[67] = 1;
    set32(e, 68, kFree);
    set32(e, 72, kFree);
    set32(e, 76, child);
    set32(e, 116, start);
    set32(e, 120, quint32(size));
    return e;
  };
  QByteArray dir =
      entry(QStringLiteral("Root Entry"), 5, 1, mini ? first_data : kEnd, quint64(minis) * 64) +
      entry(stream_name, 2, kFree, mini ? 0 : first_data, quint64(stream.size()));
  while (dir.size() < kSector) dir += entry(QString(), 0, kFree, 0, 0);

  QByteArray out = header + fat + dir;
  if (loop == ChainLoop::Difat) {
    // The rest of the FAT's sector numbers, then the number of the next DIFAT sector: this one.
    QByteArray difat;
    for (int i = 0; i < kSector / 4 - 1; ++i) put32(difat, fat_sector);
    put32(difat, difat_sector);
    out += difat;
  }
  if (mini) out += mini_fat;
  QByteArray data = stream;
  data.append(QByteArray(qsizetype(data_sectors) * kSector - data.size(), '\0'));
  out += data;
  out.append(QByteArray(qsizetype(total + 1) * kSector - out.size(), '\0'));
  return out;
}

}  // namespace tarvex
