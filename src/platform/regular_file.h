#pragma once

#include <QFile>

namespace tarvex {

// Opens `file` (its file name set) for reading when the name leads to a regular file, following
// symbolic links. A folder, a named pipe, a device such as /dev/zero or a socket is refused
// without blocking and without reading a byte: the name is opened non-blocking and the check is
// made on the opened file itself, so a name that changes between a look and the open cannot slip
// through. False, with the file closed, for anything else or a file that cannot be opened.
bool open_regular_file(QFile& file);

}  // namespace tarvex
