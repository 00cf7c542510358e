// The settings file: parsing, reading, editing in place and writing back.
#include "settings/profile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  tarvex::ProfileDocument doc = tarvex::ProfileDocument::parse(bytes);
  (void)doc.value(QStringLiteral("表示時間"), QStringLiteral("イメージ"));
  (void)doc.value(QStringLiteral("S"), QStringLiteral("k"));
  doc.set_value(QStringLiteral("表示時間"), QStringLiteral("イメージ"), QStringLiteral("5"));
  doc.set_value(QStringLiteral("新しい"), QStringLiteral("キー"), QStringLiteral("値"));
  const QByteArray written = doc.serialize();
  // A written file reads back what was written.
  const tarvex::ProfileDocument again = tarvex::ProfileDocument::parse(written);
  if (again.value(QStringLiteral("新しい"), QStringLiteral("キー")) != QStringLiteral("値")) {
    __builtin_trap();
  }
  return 0;
}
