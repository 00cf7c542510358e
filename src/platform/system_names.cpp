#include "platform/system_names.h"

#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace tarvex {

QString HostSystemNames::user_name() const {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_name && *found->pw_name) {
    return QString::fromLocal8Bit(found->pw_name);
  }
  return qEnvironmentVariable("USER");
}

QString HostSystemNames::computer_name() const {
  return QSysInfo::machineHostName();
}

}  // namespace tarvex
