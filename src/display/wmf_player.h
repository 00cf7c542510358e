#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>

#include <optional>

namespace tarvex {

// A Windows metafile, checked and ready to play.
struct WmfPicture {
  QByteArray records;  // the records after the headers
  bool placeable = false;
  QRect bounds;  // placeable header: the picture's frame in logical units
  int units_per_inch = 96;
  int object_count = 0;
  // The window's origin and extent found before drawing (used when there is no placeable header).
  QPoint window_org;
  QSize window_ext;
  int map_mode = 1;

  // The size the picture has on the screen at 96 dots per inch: from the placeable header, or
  // from the window extent.
  QSize natural_size_px() const;
};

// True when the bytes start with a placeable or a plain metafile header.
bool looks_like_wmf(const QByteArray& bytes);

// Reads the headers. Nothing when they are not those of a metafile or the picture has no usable
// size.
std::optional<WmfPicture> parse_wmf(const QByteArray& bytes);

// Plays the records onto a white picture of `size` pixels, the picture's frame filling it:
// window and viewport origin and extent, map modes, saved device contexts, pens, brushes, fonts
// (character set 128 as code page 932, heights, escapement), lines, polylines, polygons,
// rectangles, round rectangles, ellipses, arcs, pies, chords, text, and device-independent
// bitmaps. Records it does not know are passed over.
QImage render_wmf(const WmfPicture& picture, QSize size);

}  // namespace tarvex
