#include "browse/file_filter.h"

#include <QCollator>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

namespace tarvex {

namespace {

// Glob matching with "*" and "?", case folded, iterative with one backtrack point.
bool glob(const QString& name, const QString& pattern) {
  qsizetype n = 0, p = 0, star = -1, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == u'?' ||
         (pattern[p] != u'*' && pattern[p].toCaseFolded() == name[n].toCaseFolded()))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = n;
    } else if (star >= 0) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool matches_one(const QString& name, const QString& pattern) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  if (glob(name, pattern)) return true;
  // "name.*" also matches "name" without an extension, and a pattern ending in a dot ("*.")
  // matches only names without an extension.
  if (pattern.endsWith(u".*") && !name.contains(u'.')) return glob(name, pattern.chopped(2));
  if (pattern.endsWith(u'.') && !name.contains(u'.')) return glob(name, pattern.chopped(1));
  return false;
}

// Read-only: no write permission bit is set, or this user may not write the file (a file with
// its write bits cleared counts even for the superuser, who could write it anyway).
bool is_read_only(int dir_fd, const char* name) {
  struct stat st {};
  if (::fstatat(dir_fd, name, &st, 0) != 0) return false;
  return (st.st_mode & 0222) == 0 || ::faccessat(dir_fd, name, W_OK, 0) != 0;
}

}  // namespace

bool matches_pattern(const QString& name, const QString& pattern) {
  const QString trimmed = pattern.trimmed();
  if (trimmed.isEmpty()) return true;
  const QStringList parts = trimmed.split(u';', Qt::SkipEmptyParts);
  return std::any_of(parts.begin(), parts.end(), [&name](const QString& part) {
    const QString p = part.trimmed();
    return p.isEmpty() || matches_one(name, p);
  });
}

std::optional<QStringList> list_files(const QString& folder, const QString& pattern,
                                      const FileAttributes& attributes, QStringList* unreadable) {
  const QByteArray native = QFile::encodeName(folder);
  DIR* dir = ::opendir(native.constData());
  if (!dir) return std::nullopt;
  const int dir_fd = ::dirfd(dir);
  QStringList names;
  while (dirent* entry = ::readdir(dir)) {
    const char* raw = entry->d_name;
    if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0'))) continue;
    const bool hidden = raw[0] == '.';
    if (hidden && !attributes.hidden) continue;
    bool is_file = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat st {};
      is_file = ::fstatat(dir_fd, raw, &st, 0) == 0 && S_ISREG(st.st_mode);
    }
    if (!is_file) continue;
    const QString name = QFile::decodeName(raw);
    if (!matches_pattern(name, pattern)) continue;
    if (!attributes.read_only && is_read_only(dir_fd, raw)) continue;
    names.append(name);
    if (unreadable && QFile::encodeName(name) != QByteArray(raw)) unreadable->append(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
  });
  return names;
}

}  // namespace tarvex
