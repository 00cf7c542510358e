#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tarvex {

// Geometry is designed in twips. One device-independent pixel is 15 twips (96 dots per inch);
// Qt's high-dpi scaling maps device-independent pixels to the screen.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twips_to_px(int twips) {
  // Round to the nearest pixel, halves away from zero, for negative values too.
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                    : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}
constexpr int px_to_twips(int px) {
  return px * kTwipsPerPixel;
}

}  // namespace tarvex
