#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <span>

namespace tarvex {

// Where the text pane sits on the search screen, and back on the normal screen, for the main
// window's outer size (twips, width × height).
QRect hit_pane_twips(QSize outer);
QRect normal_pane_twips(QSize outer);

// Whether the in-text search may search a file: its name's last four characters equal a search
// extension as stored, or that extension in upper case (.txt admits .txt and .TXT, not .Txt).
bool search_extension_allows(const QString& path, std::span<const QString> exts);

}  // namespace tarvex
