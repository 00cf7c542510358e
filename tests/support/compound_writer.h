#pragma once

#include <QByteArray>
#include <QString>

namespace tarvex {

// A compound file holding one stream in its root storage. The stream is padded to 4096 bytes so
// that it lives in regular sectors (no mini stream). With 512-byte sectors the stream may be up
// to about 6.8 MB, with 4096-byte sectors up to about 450 MB; beyond, the result is empty.
QByteArray compound_file(const QString& stream_name, QByteArray stream, int sector_size = 512);

// The ways a compound file's chains can come back to a sector they have passed: the stream's own
// chain in the FAT, the chain of DIFAT sectors, the directory's chain, the chain of the mini FAT's
// sectors, the stream's chain of mini sectors, and the chain of the mini stream itself.
enum class ChainLoop { None, Fat, Difat, Directory, MiniFatSectors, MiniSectors, MiniStream };

// A compound file of 512-byte sectors holding one stream: in the mini stream when it is shorter
// than 4096 bytes, else in regular sectors. With a loop, the chain named is closed on itself;
// for a DIFAT loop the header announces 300 FAT sectors, every one the true FAT sector, so that
// the file reads well if the loop is followed.
QByteArray compound_file_looping(const QString& stream_name, const QByteArray& stream,
                                 ChainLoop loop);

}  // namespace tarvex
