#include "platform/atomic_file.h"

#include <QFile>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace tarvex {

namespace {

// 0, or the errno value of the write that failed.
int write_all(int fd, const QByteArray& content) {
  const char* data = content.constData();
  qsizetype left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // A write that takes nothing, and no error, is a full disk.
    if (n == 0) return ENOSPC;
    data += n;
    left -= n;
  }
  return 0;
}

void sync_folder(const QByteArray& folder) {
  const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

QByteArray folder_of(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArrayLiteral(".");
  if (slash == 0) return QByteArrayLiteral("/");
  return path.left(slash);
}

// The file a chain of symbolic links ends at (the path itself when it is no link), so that the
// link stays a link and its target gets the new content. Empty for a loop or an unreadable link.
QByteArray follow_links(QByteArray path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return QByteArray();
    const QByteArray target(buffer, n);
    path = target.startsWith('/') ? target : folder_of(path) + '/' + target;
  }
  return QByteArray();
}

// A file the user protected against writing: no write permission bit at all, or one this user
// may not write. The superuser may write any file, so the bits are looked at too.
bool is_protected(const struct stat& st, const QByteArray& path) {
  return (st.st_mode & 0222) == 0 || ::access(path.constData(), W_OK) != 0;
}

// Writes `content` to a new temporary file beside `target` with the permission bits `mode`,
// checking every write and flushing it to the disk; its path goes to `temp`. 0, or the errno value
// of the first step that failed (nothing is left behind then).
int write_temporary_beside(const QByteArray& target, const QByteArray& content, mode_t mode,
                           QByteArray* temp) {
  *temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp->data(), O_CLOEXEC);
  if (fd < 0) return errno;
  // The first step that fails gives the reason; the later ones are not tried.
  int error = write_all(fd, content);
  if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ::unlink(temp->constData());
  return error;
}

}  // namespace

WriteResult write_file_atomically(const QString& path, const QByteArray& content) {
  const QByteArray target = follow_links(QFile::encodeName(path));
  if (target.isEmpty()) return {ELOOP};

  mode_t mode = 0644;
  struct stat old_stat {};
  if (::stat(target.constData(), &old_stat) == 0) {
    if (is_protected(old_stat, target)) return {EACCES};
    mode = old_stat.st_mode & 07777;
  }

  QByteArray temp;
  if (const int error = write_temporary_beside(target, content, mode, &temp); error != 0) {
    return {error};
  }
  if (::rename(temp.constData(), target.constData()) != 0) {
    const int error = errno;
    ::unlink(temp.constData());
    return {error};
  }
  sync_folder(folder_of(target));
  return {};
}

bool create_file_atomically(const QString& path, const QByteArray& content) {
  const QByteArray target = QFile::encodeName(path);
  QByteArray temp;
  if (write_temporary_beside(target, content, 0644, &temp) != 0) return false;
  // A hard link, unlike a rename, never replaces what is there.
  const bool linked = ::link(temp.constData(), target.constData()) == 0;
  const int link_error = errno;
  ::unlink(temp.constData());
  if (linked) {
    sync_folder(folder_of(target));
    return true;
  }
  if (link_error != EPERM && link_error != EOPNOTSUPP) return false;
  // A file system without hard links (a FAT memory stick): the file is created exclusively and
  // written in place, and removed again when a write fails.
  const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write_all(fd, content) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) ::unlink(target.constData());
  return ok;
}

}  // namespace tarvex
