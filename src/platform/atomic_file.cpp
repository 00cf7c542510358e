#include "platform/atomic_file.h"

#include <QFile>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace tarvex {

namespace {

bool write_all(int fd, const QByteArray& content) {
  const char* data = content.constData();
  qsizetype left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    left -= n;
  }
  return true;
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
// checking every write and flushing it to the disk. Its path, or empty when any step failed
// (nothing is left behind then).
QByteArray write_temporary_beside(const QByteArray& target, const QByteArray& content,
                                  mode_t mode) {
  QByteArray temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return QByteArray();
  bool ok = write_all(fd, content);
  ok = ok && ::fchmod(fd, mode) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(temp.constData());
    return QByteArray();
  }
  return temp;
}

}  // namespace

bool write_file_atomically(const QString& path, const QByteArray& content) {
  const QByteArray target = follow_links(QFile::encodeName(path));
  if (target.isEmpty()) return false;

  mode_t mode = 0644;
  struct stat old_stat {};
  if (::stat(target.constData(), &old_stat) == 0) {
    if (is_protected(old_stat, target)) return false;
    mode = old_stat.st_mode & 07777;
  }

  const QByteArray temp = write_temporary_beside(target, content, mode);
  if (temp.isEmpty()) return false;
  if (::rename(temp.constData(), target.constData()) != 0) {
    ::unlink(temp.constData());
    return false;
  }
  sync_folder(folder_of(target));
  return true;
}

bool create_file_atomically(const QString& path, const QByteArray& content) {
  const QByteArray target = QFile::encodeName(path);
  const QByteArray temp = write_temporary_beside(target, content, 0644);
  if (temp.isEmpty()) return false;
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
  bool ok = write_all(fd, content);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) ::unlink(target.constData());
  return ok;
}

}  // namespace tarvex
