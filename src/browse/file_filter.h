#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvex {

// The file box's four attribute switches. On Linux a hidden file is one whose name starts with
// "."; a read-only file is one without write permission bits, or one the user may not write.
// Archive and system have no counterpart: no file carries them, so those two switches change
// nothing.
struct FileAttributes {
  bool archive = true;
  bool hidden = false;
  bool read_only = true;
  bool system = false;
  friend bool operator==(const FileAttributes&, const FileAttributes&) = default;
};

// The classic wildcard rules: "*" and "?", several patterns separated by ";", letter case
// ignored; "*.*" also matches names without a dot (as does any pattern ending in ".*" for the
// part before it), and "*." matches the names without a dot (a pattern ending in "." matches a
// name without a dot by the part before it). The empty pattern matches every name.
bool matches_pattern(const QString& name, const QString& pattern);

// The files (not folders) of `folder` that the pattern and the switches let through, in name
// order ignoring case. Nothing when the folder cannot be listed. A name that is not valid in the
// file system's encoding (UTF-8) is listed with replacement characters, which open no file by
// that name; such listed names are also added to `unreadable` when given.
std::optional<QStringList> list_files(const QString& folder, const QString& pattern,
                                      const FileAttributes& attributes,
                                      QStringList* unreadable = nullptr);

}  // namespace tarvex
