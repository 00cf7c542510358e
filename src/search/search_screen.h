#pragma once

#include <QString>

#include <span>

namespace tarvex {

// Whether the in-text search may search a file: its name's last four characters equal a search
// extension as stored, or that extension in upper case (.txt admits .txt and .TXT, not .Txt).
bool search_extension_allows(const QString& path, std::span<const QString> exts);

}  // namespace tarvex
