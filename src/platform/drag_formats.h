#pragma once

namespace tarvex {

// The file box's drag carries this marker beside the file's URL, so the panes tell a drag from
// the file box from files dropped by another program. The marker's data is the file box's own
// drag token, which tells this window's file box from the file box of another window.
inline constexpr const char* kFileBoxMime = "application/x-tarvex-file-box";

}  // namespace tarvex
