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

  QByteArray temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;

  bool ok = write_all(fd, content);
  ok = ok && ::fchmod(fd, mode) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.constData(), target.constData()) == 0;
  if (!ok) {
    ::unlink(temp.constData());
    return false;
  }
  sync_folder(folder_of(target));
  return true;
}

}  // namespace tarvex
