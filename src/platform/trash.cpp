#include "platform/trash.h"

#include "platform/error_text.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace tarvex {

namespace {

QByteArray native(const QString& path) {
  return QFile::encodeName(path);
}

bool lstat_path(const QString& path, struct stat* st) {
  return ::lstat(native(path).constData(), st) == 0;
}

// The nearest folder of `path` that exists (the home trash may not exist yet).
QString existing_ancestor(QString path) {
  while (!path.isEmpty() && !QFileInfo::exists(path)) {
    const QString up = QFileInfo(path).absolutePath();
    if (up == path) break;
    path = up;
  }
  return path.isEmpty() ? QStringLiteral("/") : path;
}

// A folder of the trash, made private to the user when it is new. An existing one must be a
// real folder, not a link that could lead the files elsewhere.
bool ensure_folder(const QString& path) {
  struct stat st {};
  if (lstat_path(path, &st)) return S_ISDIR(st.st_mode);
  return ::mkdir(native(path).constData(), 0700) == 0;
}

bool ensure_trash(const QString& trash) {
  return ensure_folder(trash) && ensure_folder(trash + QStringLiteral("/files")) &&
         ensure_folder(trash + QStringLiteral("/info"));
}

bool ensure_folder_path(const QString& path) {
  if (QFileInfo(path).isDir()) return true;
  return QDir().mkpath(path);
}

RemoveResult failed(const QString& reason) {
  return RemoveResult{RemoveResult::Status::Failed, reason, QString()};
}

RemoveResult unconfirmed(const QString& reason, const QString& trashed_as = QString()) {
  return RemoveResult{RemoveResult::Status::Unconfirmed, reason, trashed_as};
}

const QString kStillInPlace = QStringLiteral("元の場所にまだファイルがあります。");

}  // namespace

TrashConfig TrashConfig::from_environment() {
  TrashConfig c;
  c.data_home = qEnvironmentVariable("XDG_DATA_HOME");
  if (c.data_home.isEmpty() || QDir::isRelativePath(c.data_home)) {
    c.data_home = QDir::homePath() + QStringLiteral("/.local/share");
  }
  c.volume_root = [](const QString& path) {
    return QStorageInfo(existing_ancestor(path)).rootPath();
  };
  return c;
}

Trash::Trash(TrashConfig config) : config_(std::move(config)) {
  if (!config_.volume_root) config_.volume_root = TrashConfig::from_environment().volume_root;
}

std::optional<FileIdentity> Trash::identity(const QString& path) {
  struct stat st {};
  if (path.isEmpty() || !lstat_path(path, &st)) return std::nullopt;
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return std::nullopt;
  return FileIdentity{static_cast<unsigned long long>(st.st_dev),
                      static_cast<unsigned long long>(st.st_ino), S_ISLNK(st.st_mode)};
}

std::optional<RemoveResult> Trash::refuse_unless_same(const QString& path,
                                                      const FileIdentity& expected) const {
  struct stat st {};
  if (path.isEmpty() || !lstat_path(path, &st)) return failed(error_text(errno));
  if (S_ISDIR(st.st_mode)) return failed(error_text(EISDIR));
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    return failed(QStringLiteral("通常のファイルではありません。"));
  }
  const std::optional<FileIdentity> now = identity(path);
  if (!now || !(*now == expected)) {
    return failed(QStringLiteral("確認の後でファイルが別のファイルに替わりました。"));
  }
  return std::nullopt;
}

QString Trash::trash_folder_for(const QString& path) const {
  struct stat file {};
  if (!lstat_path(path, &file)) return QString();
  const QString home_trash = config_.data_home + QStringLiteral("/Trash");
  const QString home_base = existing_ancestor(home_trash);
  struct stat home {};
  const QString file_root = config_.volume_root(QFileInfo(path).absolutePath());
  const bool same_volume = ::stat(native(home_base).constData(), &home) == 0 &&
                           home.st_dev == file.st_dev &&
                           config_.volume_root(home_base) == file_root;
  if (same_volume) {
    if (ensure_folder_path(config_.data_home) && ensure_trash(home_trash)) return home_trash;
    return QString();
  }
  if (file_root.isEmpty()) return QString();
  const QString top = file_root.endsWith(u'/') ? file_root.chopped(1) : file_root;
  const QString uid = QString::number(::getuid());
  // $topdir/.Trash shared by all users: only a sticky folder that is no link is trusted.
  const QString shared = top + QStringLiteral("/.Trash");
  struct stat st {};
  if (lstat_path(shared, &st) && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const QString mine = shared + u'/' + uid;
    if (ensure_trash(mine)) return mine;
  }
  const QString own = top + QStringLiteral("/.Trash-") + uid;
  if (lstat_path(own, &st) && (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())) return QString();
  if (ensure_trash(own)) return own;
  return QString();
}

RemoveResult Trash::move_to_trash(const QString& path, const FileIdentity& expected) const {
  if (auto refused = refuse_unless_same(path, expected)) return *refused;
  const QString trash = trash_folder_for(path);
  if (trash.isEmpty()) return RemoveResult{RemoveResult::Status::NoTrash, QString(), QString()};

  const QString absolute = QFileInfo(path).absoluteFilePath();
  const QString name = QFileInfo(absolute).fileName();
  // The trash info names the original place: absolute for the home trash, relative to the top
  // folder for a file system's own trash.
  QString original = absolute;
  const QString home_trash = config_.data_home + QStringLiteral("/Trash");
  if (trash != home_trash) {
    QString top = config_.volume_root(QFileInfo(absolute).absolutePath());
    if (!top.endsWith(u'/')) top += u'/';
    if (absolute.startsWith(top)) original = absolute.mid(top.size());
  }
  const QByteArray info_text =
      QByteArrayLiteral("[Trash Info]\nPath=") + QUrl::toPercentEncoding(original, "/") +
      QByteArrayLiteral("\nDeletionDate=") +
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
      '\n';

  // A name of its own in the trash: the info file is made first, exclusively, so that two
  // deletions never share a name.
  QString info_path;
  QString target;
  int fd = -1;
  for (int n = 1; n < 10000 && fd < 0; ++n) {
    const QString candidate = n == 1 ? name : QStringLiteral("%1.%2").arg(name).arg(n);
    info_path = trash + QStringLiteral("/info/") + candidate + QStringLiteral(".trashinfo");
    target = trash + QStringLiteral("/files/") + candidate;
    struct stat st {};
    if (lstat_path(target, &st)) continue;
    fd = ::open(native(info_path).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno != EEXIST) return failed(error_text(errno));
  }
  if (fd < 0) return RemoveResult{RemoveResult::Status::NoTrash, QString(), QString()};
  const bool written = ::write(fd, info_text.constData(), info_text.size()) == info_text.size();
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) {
    ::unlink(native(info_path).constData());
    return failed(error_text(ENOSPC));
  }
  if (::rename(native(absolute).constData(), native(target).constData()) != 0) {
    const int error = errno;
    ::unlink(native(info_path).constData());
    if (error == EXDEV) return RemoveResult{RemoveResult::Status::NoTrash, QString(), QString()};
    return failed(error_text(error));
  }
  if (config_.after_removal) config_.after_removal(absolute);
  // Verified: gone from its folder, in the trash as the same file, with its information. The move
  // itself went through, so a check that fails is no failure to move: it is told as such.
  struct stat gone {};
  struct stat there {};
  if (lstat_path(absolute, &gone) || errno != ENOENT) return unconfirmed(kStillInPlace, target);
  if (!lstat_path(target, &there) ||
      static_cast<unsigned long long>(there.st_ino) != expected.inode) {
    return unconfirmed(QStringLiteral("ゴミ箱の中にファイルが見つかりません。"), target);
  }
  if (!QFileInfo::exists(info_path)) {
    return unconfirmed(QStringLiteral("ゴミ箱の情報ファイルが見つかりません。"), target);
  }
  return RemoveResult{RemoveResult::Status::Done, QString(), target};
}

RemoveResult Trash::delete_for_good(const QString& path, const FileIdentity& expected) const {
  if (auto refused = refuse_unless_same(path, expected)) return *refused;
  // unlink removes a link itself, never its target.
  if (::unlink(native(path).constData()) != 0) return failed(error_text(errno));
  if (config_.after_removal) config_.after_removal(path);
  struct stat gone {};
  if (lstat_path(path, &gone)) return unconfirmed(kStillInPlace);
  return RemoveResult{RemoveResult::Status::Done, QString(), QString()};
}

}  // namespace tarvex
