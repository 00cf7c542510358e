#pragma once

#include <QString>

// TARVEX_VERSION ("1.2") comes from the project's version in CMakeLists.txt, the one place it is
// written; the package takes its version from there too.
#ifndef TARVEX_VERSION
#error "TARVEX_VERSION is set by the build"
#endif

namespace tarvex {

// The title and version the About box shows and `tarvex --version` prints.
inline const QString kVersionTitle = QStringLiteral("Tarvex Ver" TARVEX_VERSION);

}  // namespace tarvex
