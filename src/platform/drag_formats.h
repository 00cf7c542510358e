#pragma once

namespace tarvex {

// The file box's drag carries this marker beside the file's URL, so the panes tell a drag from
// the file box from files dropped by another program.
inline constexpr const char* kFileBoxMime = "application/x-tarvex-file-box";

}  // namespace tarvex
