#pragma once

#include <QString>

namespace tarvex {

// Loads Qt's own Japanese translation (qtbase_ja from the qt6-translations-l10n package) into the
// application, so that what Qt draws itself — the standard buttons of a message box (はい,
// いいえ, キャンセル), the edit boxes' pop-up menus, the file dialogs — is Japanese like the
// rest of the window, whatever the user's locale. Returns false when the translation is not
// installed; the window then works with Qt's English texts.
bool install_japanese_qt_translation();

// Where the translation is looked for: Qt's translations folder.
QString japanese_qt_translation_folder();

}  // namespace tarvex
