#include "registers/entry_removal.h"

#include <algorithm>

namespace tarvex {

void remove_current_entry(Register& r) {
  const int t = r.top_index();
  if (t == -1) return;
  const int c = r.cur;
  if (c < r.max_index) {
    // Slot max_index + 1 is always "", so the highest listed slot ends up "".
    for (int i = std::max(c, 0); i <= t && i + 1 < r.paths.size(); ++i) r.paths[i] = r.paths[i + 1];
  } else {
    if (r.max_index >= 0 && r.max_index < r.paths.size()) r.paths[r.max_index].clear();
    r.cur = 0;
  }
  r.full = 0;
  r.last = t - 1;
}

bool labels_name_current_entry(const QString& labels_path, const Register& r) {
  if (labels_path.isEmpty() || r.empty()) return false;
  if (r.cur < 0 || r.cur > r.top_index()) return false;
  return r.path(r.cur) == labels_path;
}

}  // namespace tarvex
