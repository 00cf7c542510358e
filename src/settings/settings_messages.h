#pragma once

#include <QString>

namespace tarvex {

// Told once when settings could not be stored, followed by the settings file's path and the
// reason. The old file is then still whole.
inline const QString kSettingsNotSavedMessage = QStringLiteral("設定を保存できませんでした。\n\r");

}  // namespace tarvex
