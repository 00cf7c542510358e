#pragma once

#include <QByteArray>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QTransform>

#include <optional>

namespace tarvex {

// How a metafile's logical units become device units: the window, the viewport and the map
// mode, as its records set them.
struct WmfMapping {
  // 1 text (one unit a pixel), 2 to 6 fixed metric and English units with y upwards,
  // 7 isotropic, 8 anisotropic.
  int map_mode = 1;
  QPointF window_org;
  QSizeF window_ext{1, 1};
  QPointF viewport_org;
  QSizeF viewport_ext{1, 1};
  // Isotropic and anisotropic: without a viewport extent from the records, one device unit per
  // logical unit in the window's directions.
  bool viewport_ext_set = false;

  QTransform to_device() const;
};

// A Windows metafile, checked and ready to play.
struct WmfPicture {
  QByteArray records;  // the records after the headers
  bool placeable = false;
  int object_count = 0;
  // The mapping when playing starts. A placeable file's frame comes from its header, and its
  // records change only the window, which is fitted to that frame; a plain file starts with the
  // system's defaults and plays every mapping record.
  WmfMapping start;
  // The picture's frame in device units (pixels at 96 dots per inch): it fills the target.
  QRectF frame;

  // The frame's size in pixels, the longer side at most 8000.
  QSize natural_size_px() const;
};

// True when the bytes start with a placeable or a plain metafile header.
bool looks_like_wmf(const QByteArray& bytes);

// Reads the headers and finds the frame. Nothing when they are not those of a metafile or the
// picture has no usable size.
std::optional<WmfPicture> parse_wmf(const QByteArray& bytes);

// Playing a metafile stops after this long; what was drawn by then is the picture.
inline constexpr int kMaxWmfPlayMs = 2000;

// Plays the records onto a white picture of `size` pixels, the picture's frame filling it:
// window and viewport origin and extent, map modes, saved device contexts, pens, brushes, fonts
// (character set 128 as code page 932, heights, escapement), lines, polylines, polygons,
// rectangles, round rectangles, ellipses, arcs, pies, chords, text, and device-independent
// bitmaps. Records it does not know are passed over. Every shape is cut to the picture before it
// is drawn, so a shape far larger than the picture costs no more than one that fills it.
QImage render_wmf(const WmfPicture& picture, QSize size, int max_play_ms = kMaxWmfPlayMs);

}  // namespace tarvex
