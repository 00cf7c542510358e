#pragma once

#include <QString>

namespace tarvex {

// Why a file operation failed, from its errno value, in Japanese words the user can act on.
QString error_text(int error_number);

}  // namespace tarvex
