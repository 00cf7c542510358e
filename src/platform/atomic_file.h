#pragma once

#include <QByteArray>
#include <QString>

namespace tarvex {

// The outcome of a write: the errno value of the step that failed, 0 when the new content is in
// place.
struct WriteResult {
  int error = 0;
  bool ok() const { return error == 0; }
};

// Replaces the file at `path` with `content` so that a reader sees either the old file whole or
// the new one whole: the content goes to a temporary file in the same folder, every write is
// checked, the data is flushed to the disk, and only then is the temporary file renamed over the
// old one. An existing file's permission bits are kept. A symbolic link stays a link: the file it
// leads to is replaced, its temporary file beside it. A file without write permission is the
// user's protection and is never replaced, even for the superuser (EACCES). On any failure (a
// protected file, a full disk, a read-only folder, a size limit, a loop of links) the old file is
// left as it was and the result says why.
WriteResult write_file_atomically(const QString& path, const QByteArray& content);

// Creates the file `path` with `content` whole or not at all, the same way, but never replaces
// anything already there (a file, a link, even one that leads nowhere): false then, as when any
// step fails. The folder must exist.
bool create_file_atomically(const QString& path, const QByteArray& content);

}  // namespace tarvex
