#pragma once

#include <QString>

namespace tarvex {

// Where the help document (index.html of the help folder) is looked for, for an executable in
// `exe_folder`: beside the executable in "help/", then in "share/tarvex/help/" next to the
// executable's folder (the installed layout, and the build tree's copy). The first that exists;
// when none does, the installed place, so that a message can name it.
QString find_help_document(const QString& exe_folder);

}  // namespace tarvex
