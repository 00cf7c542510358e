#pragma once

#include "settings/profile.h"

#include <QList>
#include <QString>

namespace tarvex {

// Access to Tarvex.ini in the settings folder: ini_read and ini_write. Each call reads the file
// afresh and keeps nothing open; each write replaces the file atomically, once.
class SettingsFile final {
 public:
  explicit SettingsFile(QString folder = QString()) : folder_(std::move(folder)) {}

  QString folder() const { return folder_; }
  QString path() const;

  // The value, "" when the file, the section or the key is missing.
  QString ini_read(const QString& section, const QString& key) const;
  // Creates the settings folder when it does not exist yet. False when the value could not be
  // stored; the file is then as it was before the call.
  bool ini_write(const QString& section, const QString& key, const QString& value) const;
  // Sets every value of `edits` in order and writes the file once (shutdown and the options
  // dialog store all their values so). The result says why when the file could not be written;
  // it is then as it was before the call.
  WriteResult ini_write_all(const QList<ProfileEdit>& edits) const;

 private:
  QString folder_;
};

}  // namespace tarvex
