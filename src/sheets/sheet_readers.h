#pragma once

// The workbook readers behind the spreadsheet preview. Each returns the plain text of a fixed
// block of cells (see SheetBlock::text) or "" when the file cannot be read as a workbook: not a
// workbook, unreadable, encrypted, truncated, without a sheet, or declaring sizes its length
// cannot hold. They read files only, never the clipboard, and may run on any thread.

#include "sheets/sheet_cells.h"

#include <QByteArray>
#include <QString>

namespace tarvex {

// The Excel block: A1:J20 of the sheet named "Sheet1", else of the active sheet (the first when
// none is marked). The format is told by the content: a BIFF .xls (compound file, or the bare
// stream of an Excel 2.x to 4.0 file), an Office Open XML .xlsx or an OpenDocument .ods (ZIP).
constexpr int kExcelRows = 20;
constexpr int kExcelColumns = 10;
QString excel_block_text(const QString& path);

// The Lotus 1-2-3 block: A:A1..A:I30 (sheet A) of a WK1, WK3, WK4 or 123 file; labels in code
// page 932.
constexpr int kLotusRows = 30;
constexpr int kLotusColumns = 9;
QString lotus_block_text(const QString& path);

// No workbook stream or part is taken into memory beyond this size: a workbook that needs more
// previews as unreadable, whatever the file's size.
constexpr qint64 kWorkbookPartLimit = 256ll << 20;

// Whether the first bytes of a file are those the .xls reader takes.
bool is_xls_head(const QByteArray& head);

// The single readers; each fills `block` and says whether the file was read.
bool read_xls_block(const QString& path, SheetBlock& block);
bool read_xlsx_block(const QString& path, SheetBlock& block);
bool is_ods_package(const QString& path);
bool read_ods_block(const QString& path, SheetBlock& block);
bool read_wk_block(const QString& path, SheetBlock& block);

}  // namespace tarvex
