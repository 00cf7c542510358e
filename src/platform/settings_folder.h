#pragma once

#include <QString>

namespace tarvex {

inline const QString kSettingsFileName = QStringLiteral("Tarvex.ini");

// Where Tarvex.ini lives: the executable's folder when Tarvex may write there and it is not a
// system folder; otherwise (an installed program) $XDG_CONFIG_HOME/Tarvex, by default
// ~/.config/Tarvex. The folder need not exist yet: it is created on the first write.
QString default_settings_folder();

// The rule above, for a given executable folder and configuration home.
QString choose_settings_folder(const QString& exe_folder, const QString& config_home);

}  // namespace tarvex
