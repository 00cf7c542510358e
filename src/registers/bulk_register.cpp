#include "registers/bulk_register.h"

#include "display/classify.h"
#include "platform/paths.h"

namespace tarvex {

namespace {

// The endings the text command leaves to the image register. Metafiles and cursors are not
// among them, so they land in both registers.
bool picture_only_tail(const QString& tail) {
  return tail == u"bmp" || tail == u"ico" || tail == u"jpg" || tail == u"gif";
}

}  // namespace

bool bulk_takes(BulkKind kind, const QString& name, const AddedImageExtensions& added) {
  if (kind == BulkKind::Images) return is_image_path(name, added);
  return !picture_only_tail(extension_tail(name)) && !has_added_image_extension(name, added);
}

int bulk_register(Register& r, BulkKind kind, const QString& folder, const QStringList& names,
                  const AddedImageExtensions& added) {
  int taken = 0;
  for (const QString& name : names) {
    if (!bulk_takes(kind, name, added)) continue;
    r.register_path(join_path(folder, name), false);
    ++taken;
  }
  return taken;
}

void clear_register(Register& r) {
  for (int i = 0; i <= r.max_index && i < r.paths.size(); ++i) r.paths[i].clear();
  r.last = -1;
  r.full = false;
  r.cur = 0;
}

}  // namespace tarvex
