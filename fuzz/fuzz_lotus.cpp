// Lotus 1-2-3 workbook reader (libwps). The reader opens paths, so each input is written to a
// file first.
#include "sheets/sheet_readers.h"

#include <QDir>
#include <QFile>

#include <unistd.h>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QString path =
      QDir::temp().filePath(QStringLiteral("tarvex_fuzz_lotus_%1.wk4").arg(getpid()));
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
  f.write(reinterpret_cast<const char*>(data), qint64(size));
  f.close();
  (void)tarvex::lotus_block_text(path);
  return 0;
}
