#include "text/text_loader.h"

#include "platform/regular_file.h"

#include <QFile>

namespace tarvex {

std::optional<LoadedText> load_text_file(const QString& path) {
  auto file = std::make_unique<QFile>(path);
  if (!open_regular_file(*file)) return std::nullopt;
  const QByteArray head = file->read(TextBlockSizes{}.open_bytes());
  if (file->error() != QFileDevice::NoError) return std::nullopt;
  LoadedText loaded;
  if (looks_like_rtf(head)) {
    if (file->size() > kMaxTextFileBytes) return std::nullopt;
    const QByteArray bytes = head + file->readAll();
    if (file->error() != QFileDevice::NoError) return std::nullopt;
    loaded.rich = true;
    loaded.rtf = read_rtf(bytes);
  } else {
    loaded.plain = IndexedText::open(std::move(file), head);
  }
  return loaded;
}

}  // namespace tarvex
