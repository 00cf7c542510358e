#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace tarvex {

// What identifies a file on the disk between the question and its deletion: the same path may
// meanwhile name another file.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  bool symlink = false;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The outcome of removing one file.
struct RemoveResult {
  enum class Status {
    Done,     // the file is gone from its folder (in the trash, or deleted for good)
    NoTrash,  // no trash can take the file; nothing was changed
    Failed,   // nothing was changed; `reason` says why, in Japanese
    // The file was moved into the trash (or deleted) but the check afterwards did not find what
    // it should: the file may well be in the trash while something stands at its place. `reason`
    // says what was not found, in Japanese.
    Unconfirmed,
  };
  Status status = Status::Failed;
  QString reason;
  QString trashed_as;  // the file's place in the trash's files folder
};

// Where the trash folders are, so that tests can point them at temporary folders.
struct TrashConfig {
  // The user's data folder: $XDG_DATA_HOME, else ~/.local/share. The home trash is its "Trash".
  QString data_home;
  // The top folder of the file system that holds `path` (its mount point).
  std::function<QString(const QString& path)> volume_root;
  // Told right after a file has been moved or deleted, before the outcome is checked (tests
  // change the disk there, as another program could).
  std::function<void(const QString& path)> after_removal;

  static TrashConfig from_environment();
};

// The desktop trash as freedesktop.org desktops lay it out: a file on the file system of
// the home trash goes there; a file elsewhere goes to its file system's $topdir/.Trash/$uid (a
// sticky, non-link folder) or $topdir/.Trash-$uid. Each trashed file gets its .trashinfo, and the
// move is verified: the file must be gone from its folder and present in the trash.
//
// Only regular files and symbolic links are taken; a link is moved or deleted itself, never its
// target, and a folder never.
class Trash {
 public:
  explicit Trash(TrashConfig config = TrashConfig::from_environment());

  // The identity of the file at `path` now (the link itself for a link); nothing when there is
  // no regular file or link there.
  static std::optional<FileIdentity> identity(const QString& path);

  // Moves the file at `path` into the trash when it is still `expected`.
  RemoveResult move_to_trash(const QString& path, const FileIdentity& expected) const;
  // Deletes the file at `path` for good when it is still `expected`.
  RemoveResult delete_for_good(const QString& path, const FileIdentity& expected) const;

  // The trash folder a file at `path` would go to, "" when there is none.
  QString trash_folder_for(const QString& path) const;

 private:
  std::optional<RemoveResult> refuse_unless_same(const QString& path,
                                                 const FileIdentity& expected) const;
  TrashConfig config_;
};

}  // namespace tarvex
