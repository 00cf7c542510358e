#include "registers/entry_removal.h"

namespace tarvex {

void remove_current_entry(Register& r) {
  const int t = r.top_index();
  const int c = r.cur;
  // An empty register, or a current index that names no entry (the entry on display was removed
  // and nothing has been shown since), has nothing to remove.
  if (t == -1 || c < 0 || c > t) return;
  if (c < r.max_index) {
    // Slot max_index + 1 is always "", so the highest listed slot ends up "".
    for (int i = c; i <= t && i + 1 < r.paths.size(); ++i) r.paths[i] = r.paths[i + 1];
    // The newest entry went and no entry followed it: the current index names none rather than
    // the empty slot past the newest. Stepping from there goes where it went before: back to the
    // newest entry, or forward to entry 0.
    if (c == t && c > 0) r.cur = -1;
  } else {
    if (r.max_index >= 0 && r.max_index < r.paths.size()) r.paths[r.max_index].clear();
    r.cur = 0;
  }
  r.full = false;
  r.last = t - 1;
}

bool labels_name_current_entry(const QString& labels_path, const Register& r) {
  if (labels_path.isEmpty() || r.empty()) return false;
  if (r.cur < 0 || r.cur > r.top_index()) return false;
  return r.path(r.cur) == labels_path;
}

}  // namespace tarvex
