#include "sheets/sheet_readers.h"

#include "platform/regular_file.h"

#include <QFile>

namespace tarvex {

namespace {

QByteArray file_head(const QString& path, int bytes) {
  QFile f(path);
  if (!open_regular_file(f)) return QByteArray();
  return f.read(bytes);
}

}  // namespace

QString excel_block_text(const QString& path) {
  const QByteArray head = file_head(path, 8);
  SheetBlock block(kExcelRows, kExcelColumns);
  bool ok = false;
  if (is_xls_head(head)) {
    ok = read_xls_block(path, block);
  } else if (head.startsWith("PK\x03\x04")) {
    ok = is_ods_package(path) ? read_ods_block(path, block) : read_xlsx_block(path, block);
  }
  return ok ? block.text() : QString();
}

QString lotus_block_text(const QString& path) {
  SheetBlock block(kLotusRows, kLotusColumns);
  return read_wk_block(path, block) ? block.text() : QString();
}

}  // namespace tarvex
