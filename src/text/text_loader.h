#pragma once

#include "text/rtf_reader.h"

#include <QString>

#include <optional>

namespace tarvex {

// What the text pane shows for a file: rich text when it is a rich-text file, else plain text.
struct LoadedText {
  bool rich = false;
  QString plain;    // for a plain-text file
  RtfDocument rtf;  // for a rich-text file
};

// The largest file the text pane reads: beyond it the text would not fit in memory beside its
// view (a view needs several times the file's size).
inline constexpr qint64 kMaxTextFileBytes = 512LL * 1024 * 1024;

// Reads a file for the text pane. Nothing when the file cannot be read (missing, a folder, no
// permission) or is larger than kMaxTextFileBytes; an empty file is an empty text.
std::optional<LoadedText> load_text_file(const QString& path);

}  // namespace tarvex
