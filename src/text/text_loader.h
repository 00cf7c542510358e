#pragma once

#include "text/rtf_reader.h"
#include "text/text_index.h"

#include <QString>

#include <memory>
#include <optional>

namespace tarvex {

// What the text pane shows for a file: rich text when it is a rich-text file, else plain text,
// read a block at a time as it is shown.
struct LoadedText {
  bool rich = false;
  std::shared_ptr<IndexedText> plain;  // for a plain-text file
  RtfDocument rtf;                     // for a rich-text file
};

// The largest rich-text file the text pane reads: it is read whole, and beyond this size its
// formatted view would not fit in memory (a view needs several times the file's size). A plain
// text of any size opens.
inline constexpr qint64 kMaxTextFileBytes = 512LL * 1024 * 1024;

// Reads a file for the text pane. Nothing when the file cannot be read (missing, a folder, a
// pipe or a device, no permission) or is a rich-text file larger than kMaxTextFileBytes; an
// empty file is an empty text.
std::optional<LoadedText> load_text_file(const QString& path);

}  // namespace tarvex
