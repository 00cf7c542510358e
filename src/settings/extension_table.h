#pragma once

#include <QString>

#include <array>

namespace tarvex {

// An extension list of the settings file (the search extensions, the Lotus 1-2-3 and the Excel
// lists): eleven slots, of which the file uses ten; empty slots are "".
inline constexpr int kExtensionSlots = 11;
using ExtensionTable = std::array<QString, kExtensionSlots>;

}  // namespace tarvex
