#pragma once

#include <QString>

namespace tarvex {

// Where Tarvex's own data lies once installed, for an executable in `exe_folder`:
// share/tarvex/<name> next to the executable's folder (/usr/bin/tarvex finds
// /usr/share/tarvex/<name>). The build tree holds the same layout, so a built program finds its
// data as an installed one does. The path whether or not anything is there.
QString installed_data_path(const QString& exe_folder, const QString& name);

}  // namespace tarvex
