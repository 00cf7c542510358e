#pragma once

#include <QString>

#include <span>

namespace tarvex {

// Whether the in-text search may search a file: its name's last four characters equal a search
// extension as stored, or that extension in upper case (.txt admits .txt and .TXT, not .Txt).
bool search_extension_allows(const QString& path, std::span<const QString> exts);

// The 0-based position of the next occurrence of `needle` in `buffer` at or after `from`, under
// the register scan's character rule; −1 when there is none. An empty needle occurs at every
// position up to the end of the buffer.
qsizetype next_occurrence(const QString& buffer, const QString& needle, qsizetype from);

}  // namespace tarvex
