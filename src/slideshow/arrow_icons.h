#pragma once

#include <QIcon>

namespace tarvex {

enum class ArrowDirection { Left, Right, Up, Down };

// The arrow buttons' pictures: a 32 × 32 arrow drawn as a shape, so that it stays sharp at any
// size and on any screen scale. A disabled button shows it grey.
QIcon arrow_icon(ArrowDirection direction);

}  // namespace tarvex
