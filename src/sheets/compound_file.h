#pragma once

// The compound file (structured storage) that holds the workbook stream of an .xls file, read
// sector by sector from the open file: only the sectors the stream and its tables need are read,
// so a file's size never decides how much memory its reading takes.

#include <QByteArray>
#include <QStringList>

#include <optional>

class QFile;

namespace tarvex {

// The first stream of the root storage whose name is one of `names` (in any letter case), from
// the compound file open in `file`. Nullopt when the file is not a compound file, has no such
// stream, is cut short, or a chain of its sectors (FAT, DIFAT, mini FAT, directory, mini stream)
// meets a sector it has already passed; and when the stream, or a table needed to find it, is
// larger than `limit` bytes.
std::optional<QByteArray> compound_stream(QFile& file, const QStringList& names, qint64 limit);

}  // namespace tarvex
