#include "text/text_loader.h"

#include "text/text_decode.h"

#include <QFile>
#include <QFileInfo>

namespace tarvex {

std::optional<LoadedText> load_text_file(const QString& path) {
  if (path.isEmpty() || QFileInfo(path).isDir()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxTextFileBytes) return std::nullopt;
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
