#pragma once

#include <QString>

namespace tarvex {

// The path separator that the window's texts call "\". On this platform it is "/", and a drive
// root is the file-system root "/".
inline constexpr QChar kPathSeparator = u'/';

// Joins a folder and a name with one separator, never doubling it when the folder already ends in
// one (the root "/" joined with "a.txt" gives "/a.txt").
QString join_path(const QString& folder, const QString& name);

// The text after the last separator; "" when the path holds none or ends with one.
QString file_name_part(const QString& path);

}  // namespace tarvex
