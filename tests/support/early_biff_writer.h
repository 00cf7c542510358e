#pragma once

// Worksheets and workbooks as Excel 2.x, 3.0 and 4.0 wrote them: bare BIFF2, BIFF3 and BIFF4
// streams, not compound files. Each worksheet carries its own code page, date system, FORMAT
// records (numbered by their order) and XF records, then its cells.

#include "workbook_writers.h"

#include <QByteArray>
#include <QList>

namespace tarvex::testing {

struct EarlyBiff {
  int version = 4;  // 2, 3 or 4
  int codepage = 932;
  bool date1904 = false;
  // BIFF2: every cell names its XF through an IXFE record before it, as cells of a sheet with
  // more than 62 XF records do.
  bool ixfe = false;
};

// One worksheet. Cells take the kinds and formats of XlsCell ("builtin:N" stands for no format);
// Rk writes an integer as INTEGER (BIFF2) or RK (BIFF3, BIFF4) where it fits, Text and Label are
// both labels in the code page. BIFF2 labels and formula texts hold 255 bytes at most.
QByteArray early_biff_sheet(const XlsSheet& sheet, const EarlyBiff& options = {});

// An Excel 4.0 workbook: globals naming the sheets, then each sheet as a BIFF4 worksheet after
// a header with its name and length.
QByteArray biff4_workbook(const QList<XlsSheet>& sheets, const EarlyBiff& options = {});

}  // namespace tarvex::testing
