#pragma once

#include <QString>

namespace tarvex {

// The name of the settings file Tarvex ships, among its installed data (installed_data.h).
inline const QString kDefaultSettingsName = QStringLiteral("Tarvex.ini");

// The first start. When nothing is at `settings_path` yet (not even a link that leads nowhere),
// the settings file Tarvex ships, `default_file`, is copied there, its folder made when missing,
// so that a new user starts with working settings and is not warned about the file count. The
// copy is whole or not made; a file that is there is never touched, and a default that is no
// regular file or is larger than any settings file copies nothing. True when the copy was made.
bool provide_default_settings(const QString& settings_path, const QString& default_file);

}  // namespace tarvex
