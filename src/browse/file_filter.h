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
// part before it). The empty pattern matches every name.
bool matches_pattern(const QString& name, const QString& pattern);

// The files (not folders) of `folder` that the pattern and the switches let through, in name
// order ignoring case. Nothing when the folder cannot be listed.
std::optional<QStringList> list_files(const QString& folder, const QString& pattern,
                                      const FileAttributes& attributes);

}  // namespace tarvex
