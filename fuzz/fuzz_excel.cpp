// Excel workbook readers (.xls through our own compound-file and record reader, BIFF2 to BIFF8,
// bare or in a compound file; .xlsx and .ods through libzip and pugixml) and the number formats
// they apply. The readers open paths, so each input is written to a file first.
#include "sheets/sheet_readers.h"

#include <QDir>
#include <QFile>

#include <unistd.h>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QString path =
      QDir::temp().filePath(QStringLiteral("tarvex_fuzz_excel_%1.xls").arg(getpid()));
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
  f.write(reinterpret_cast<const char*>(data), qint64(size));
  f.close();
  (void)tarvex::excel_block_text(path);
  return 0;
}
