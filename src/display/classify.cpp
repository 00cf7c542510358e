#include "display/classify.h"

#include "platform/paths.h"

namespace tarvex {

QString extension_tail(const QString& path) {
  return path.right(3).toLower();
}

QString added_image_extension(const QString& value) {
  QString entry = value.trimmed().toLower();
  if (entry.startsWith(u'.')) entry.remove(0, 1);
  return entry;
}

bool has_added_image_extension(const QString& path, const AddedImageExtensions& added) {
  QString lower;
  for (const QString& ext : added) {
    if (ext.isEmpty()) continue;
    if (lower.isEmpty()) lower = path.toLower();
    if (lower.endsWith(ext) && lower.size() > ext.size() &&
        lower.at(lower.size() - ext.size() - 1) == u'.') {
      return true;
    }
  }
  return false;
}

bool is_image_path(const QString& path, const AddedImageExtensions& added) {
  static const QString kImages[] = {QStringLiteral("bmp"), QStringLiteral("ico"),
                                    QStringLiteral("wmf"), QStringLiteral("jpg"),
                                    QStringLiteral("cur"), QStringLiteral("gif")};
  const QString tail = extension_tail(path);
  for (const QString& ext : kImages) {
    if (tail == ext) return true;
  }
  return has_added_image_extension(path, added);
}

bool is_icon_or_cursor(const QString& text) {
  const QString tail = text.right(4).toLower();
  return tail == u".ico" || tail == u".cur";
}

bool in_extension_table(const ExtensionTable& table, const QString& path) {
  const QString tail = extension_tail(path);
  bool hit = false;
  for (const QString& ext : table) {
    if (ext == tail) hit = true;  // every entry is tested, as the window always did
  }
  return hit;
}

LabelPieces split_label_path(const QString& full_path) {
  LabelPieces pieces;
  const qsizetype p = full_path.indexOf(kPathSeparator, 1);
  if (p < 0) {
    pieces.first = full_path;
    return pieces;
  }
  pieces.first = full_path.left(p);
  const QString rest = full_path.mid(p);
  const qsizetype q = rest.indexOf(kPathSeparator, 1);
  if (q < 0) {
    pieces.second = rest;
  } else {
    pieces.second = rest.left(q);
    pieces.third = rest.mid(q);
  }
  return pieces;
}

}  // namespace tarvex
