#include "text/text_loader.h"

#include "platform/regular_file.h"
#include "text/text_decode.h"

#include <QFile>

namespace tarvex {

std::optional<LoadedText> load_text_file(const QString& path) {
  QFile file(path);
  if (!open_regular_file(file) || file.size() > kMaxTextFileBytes) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  LoadedText loaded;
  if (looks_like_rtf(bytes)) {
    loaded.rich = true;
    loaded.rtf = read_rtf(bytes);
  } else {
    loaded.plain = decode_text_bytes(bytes).text;
  }
  return loaded;
}

}  // namespace tarvex
