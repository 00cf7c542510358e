#pragma once

#include <QByteArray>
#include <QString>

namespace tarvex {

// Replaces the file at `path` with `content` so that a reader sees either the old file whole or
// the new one whole: the content goes to a temporary file in the same folder, every write is
// checked, the data is flushed to the disk, and only then is the temporary file renamed over the
// old one. An existing file's permission bits are kept. A symbolic link stays a link: the file it
// leads to is replaced, its temporary file beside it. A file without write permission is the
// user's protection and is never replaced, even for the superuser. Returns false, leaving the old
// file as it was, when the file is protected or any step fails (a full disk, a read-only folder,
// a size limit).
bool write_file_atomically(const QString& path, const QByteArray& content);

// Creates the file `path` with `content` whole or not at all, the same way, but never replaces
// anything already there (a file, a link, even one that leads nowhere): false then, as when any
// step fails. The folder must exist.
bool create_file_atomically(const QString& path, const QByteArray& content);

}  // namespace tarvex
