#pragma once

#include <QString>

namespace tarvex {

// The names the About box shows: the user's login name and the computer's name. A name the
// system cannot give is "".
class SystemNames {
 public:
  virtual ~SystemNames() = default;
  virtual QString user_name() const = 0;
  virtual QString computer_name() const = 0;
};

// Production: the login name from the password database (falling back to $USER when the user has
// no entry there) and the host name.
class HostSystemNames final : public SystemNames {
 public:
  QString user_name() const override;
  QString computer_name() const override;
};

}  // namespace tarvex
