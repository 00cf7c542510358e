#include "pictures/wmf_player.h"

#include "platform/text_codecs.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QtEndian>

#include <cmath>
#include <vector>

namespace tarvex {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr int kMaxSidePx = 8000;
constexpr qint64 kMaxBitmapPixels = 32LL * 1024 * 1024;
// Text taller than this on the picture is drawn as outlines cut to the picture.
constexpr double kLargestGlyphPx = 256;
// Shapes are cut this far outside the picture, so that no cut edge shows.
constexpr double kCutMarginPx = 2;
constexpr double kBandRows = 256;

// The record functions the player knows.
enum class Fn : quint16 {
  Eof = 0x0000,
  SaveDc = 0x001E,
  CreatePalette = 0x00F7,
  SetBkMode = 0x0102,
  SetMapMode = 0x0103,
  SetPolyFillMode = 0x0106,
  RestoreDc = 0x0127,
  SelectObject = 0x012D,
  SetTextAlign = 0x012E,
  DibCreatePatternBrush = 0x0142,
  CreatePatternBrush = 0x01F9,
  DeleteObject = 0x01F0,
  SetBkColor = 0x0201,
  SetTextColor = 0x0209,
  SetWindowOrg = 0x020B,
  SetWindowExt = 0x020C,
  SetViewportOrg = 0x020D,
  SetViewportExt = 0x020E,
  OffsetWindowOrg = 0x020F,
  OffsetViewportOrg = 0x0211,
  LineTo = 0x0213,
  MoveTo = 0x0214,
  CreatePenIndirect = 0x02FA,
  CreateFontIndirect = 0x02FB,
  CreateBrushIndirect = 0x02FC,
  Polygon = 0x0324,
  Polyline = 0x0325,
  ScaleWindowExt = 0x0410,
  ScaleViewportExt = 0x0412,
  Ellipse = 0x0418,
  Rectangle = 0x041B,
  TextOut = 0x0521,
  PolyPolygon = 0x0538,
  RoundRect = 0x061C,
  CreateRegion = 0x06FF,
  Arc = 0x0817,
  Pie = 0x081A,
  Chord = 0x0830,
  DibBitBlt = 0x0940,
  ExtTextOut = 0x0A32,
  DibStretchBlt = 0x0B41,
  StretchDib = 0x0F43,
};

// Little-endian reads that never go past the end: a short read gives 0.
class Cursor {
 public:
  Cursor(const char* data, qsizetype size) : data_(data), size_(size) {}
  qsizetype size() const { return size_; }
  bool has(qsizetype offset, qsizetype n) const {
    return offset >= 0 && n >= 0 && offset <= size_ && n <= size_ - offset;
  }
  quint16 u16(qsizetype offset) const {
    return has(offset, 2) ? qFromLittleEndian<quint16>(data_ + offset) : 0;
  }
  qint16 s16(qsizetype offset) const { return static_cast<qint16>(u16(offset)); }
  quint32 u32(qsizetype offset) const {
    return has(offset, 4) ? qFromLittleEndian<quint32>(data_ + offset) : 0;
  }
  QByteArray bytes(qsizetype offset, qsizetype n) const {
    return has(offset, n) ? QByteArray(data_ + offset, n) : QByteArray();
  }

 private:
  const char* data_;
  qsizetype size_;
};

// Calls `visit(function, parameters)` for every record in turn, up to the end record or a
// record that does not fit; `visit` returns false to stop early.
template <typename Visit>
void walk_records(const QByteArray& records, Visit&& visit) {
  const Cursor rec(records.constData(), records.size());
  qsizetype at = 0;
  while (rec.has(at, 6)) {
    const quint32 words = rec.u32(at);
    const auto function = static_cast<Fn>(rec.u16(at + 4));
    if (function == Fn::Eof || words < 3) return;
    const qint64 bytes = static_cast<qint64>(words) * 2;
    if (!rec.has(at, bytes)) return;
    if (!visit(function, Cursor(records.constData() + at + 6, bytes - 6))) return;
    at += bytes;
  }
}

bool draws(Fn f) {
  switch (f) {
    case Fn::LineTo:
    case Fn::Polygon:
    case Fn::Polyline:
    case Fn::PolyPolygon:
    case Fn::Rectangle:
    case Fn::RoundRect:
    case Fn::Ellipse:
    case Fn::Arc:
    case Fn::Pie:
    case Fn::Chord:
    case Fn::TextOut:
    case Fn::ExtTextOut:
    case Fn::DibBitBlt:
    case Fn::DibStretchBlt:
    case Fn::StretchDib:
      return true;
    default:
      return false;
  }
}

// Logical units in one pixel at 96 dots per inch for the fixed map modes.
double units_per_px(int map_mode) {
  switch (map_mode) {
    case 2:
      return 254.0 / 96.0;  // 0.1 mm
    case 3:
      return 2540.0 / 96.0;  // 0.01 mm
    case 4:
      return 100.0 / 96.0;  // 0.01 inch
    case 5:
      return 1000.0 / 96.0;  // 0.001 inch
    case 6:
      return 1440.0 / 96.0;  // twips
    default:
      return 1.0;
  }
}

// An extent of zero is refused, as the system refuses it.
void set_extent(QSizeF& ext, double w, double h) {
  if (w != 0 && h != 0) ext = QSizeF(w, h);
}

// `ext` times the numerators over the denominators stored as y denominator, y numerator,
// x denominator, x numerator.
void scale_extent(QSizeF& ext, const Cursor& c) {
  const double y_den = c.s16(0), y_num = c.s16(2), x_den = c.s16(4), x_num = c.s16(6);
  if (x_den == 0 || y_den == 0) return;
  set_extent(ext, ext.width() * x_num / x_den, ext.height() * y_num / y_den);
}

// Applies a mapping record; false when the record is not one. With `window_only` (a placeable
// file), the map mode and the viewport stay as the header gave them.
bool apply_mapping_record(WmfMapping& m, Fn f, const Cursor& c, bool window_only) {
  switch (f) {
    case Fn::SetWindowOrg:
      m.window_org = QPointF(c.s16(2), c.s16(0));
      return true;
    case Fn::SetWindowExt:
      set_extent(m.window_ext, c.s16(2), c.s16(0));
      return true;
    case Fn::OffsetWindowOrg:
      m.window_org += QPointF(c.s16(2), c.s16(0));
      return true;
    case Fn::ScaleWindowExt:
      scale_extent(m.window_ext, c);
      return true;
    default:
      break;
  }
  if (window_only) return false;
  switch (f) {
    case Fn::SetMapMode:
      m.map_mode = c.s16(0);
      return true;
    case Fn::SetViewportOrg:
      m.viewport_org = QPointF(c.s16(2), c.s16(0));
      return true;
    case Fn::SetViewportExt:
      set_extent(m.viewport_ext, c.s16(2), c.s16(0));
      m.viewport_ext_set = true;
      return true;
    case Fn::OffsetViewportOrg:
      m.viewport_org += QPointF(c.s16(2), c.s16(0));
      return true;
    case Fn::ScaleViewportExt:
      scale_extent(m.viewport_ext, c);
      return true;
    default:
      return false;
  }
}

// Cuts a polygon to a rectangle, edge by edge. Inside the rectangle the cut polygon covers the
// same points with the same winding as the whole one, so either fill rule fills it alike.
QPolygonF cut_polygon(const QPolygonF& poly, const QRectF& r) {
  QPolygonF out = poly;
  auto cut = [&out](auto inside, auto cross) {
    if (out.isEmpty()) return;
    QPolygonF in;
    in.swap(out);
    QPointF prev = in.last();
    bool prev_in = inside(prev);
    for (const QPointF& p : in) {
      const bool p_in = inside(p);
      if (p_in != prev_in) out << cross(prev, p);
      if (p_in) out << p;
      prev = p;
      prev_in = p_in;
    }
  };
  auto at_x = [](double x) {
    return [x](QPointF a, QPointF b) {
      return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
    };
  };
  auto at_y = [](double y) {
    return [y](QPointF a, QPointF b) {
      return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
    };
  };
  cut([&r](QPointF p) { return p.x() >= r.left(); }, at_x(r.left()));
  cut([&r](QPointF p) { return p.x() <= r.right(); }, at_x(r.right()));
  cut([&r](QPointF p) { return p.y() >= r.top(); }, at_y(r.top()));
  cut([&r](QPointF p) { return p.y() <= r.bottom(); }, at_y(r.bottom()));
  return out;
}

// The parts of a polyline inside a rectangle, as separate runs (Liang-Barsky per segment).
QList<QPolygonF> cut_polyline(const QPolygonF& line, const QRectF& r) {
  QList<QPolygonF> runs;
  QPolygonF run;
  for (qsizetype i = 1; i < line.size(); ++i) {
    const QPointF a = line[i - 1];
    const QPointF d = line[i] - a;
    double t0 = 0;
    double t1 = 1;
    const double p[] = {-d.x(), d.x(), -d.y(), d.y()};
    const double q[] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    bool visible = true;
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0) {
        visible = q[k] >= 0;
      } else if (p[k] < 0) {
        t0 = std::max(t0, q[k] / p[k]);
      } else {
        t1 = std::min(t1, q[k] / p[k]);
      }
    }
    if (!visible || t0 > t1) {
      if (run.size() >= 2) runs << run;
      run.clear();
      continue;
    }
    const QPointF from = a + d * t0;
    const QPointF to = a + d * t1;
    if (run.isEmpty() || t0 > 0) {
      if (run.size() >= 2) runs << run;
      run = QPolygonF{from};
    }
    run << to;
    if (t1 < 1) {
      runs << run;
      run.clear();
    }
  }
  if (run.size() >= 2) runs << run;
  return runs;
}

QColor colorref(quint32 c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

struct Pen {
  int style = 0;
  int width = 0;
  QColor color = Qt::black;
};
struct Brush {
  int style = 0;
  int hatch = 0;
  QColor color = Qt::white;
  QImage pattern;
};
struct Font {
  int height = -12;
  int escapement = 0;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int charset = 1;
  QString face;
};
struct Object {
  enum Kind { None, PenKind, BrushKind, FontKind, Other } kind = None;
  Pen pen;
  Brush brush;
  Font font;
};

struct Dc {
  Pen pen;
  Brush brush;
  Font font;
  QColor text_color = Qt::black;
  QColor bk_color = Qt::white;
  int bk_mode = 2;  // 1 transparent, 2 opaque
  int text_align = 0;
  int fill_mode = 1;  // 1 alternate, 2 winding
  QPointF position;
  WmfMapping mapping;
};

// Bytes of a device-independent bitmap as a picture; a file header is put in front so Qt's BMP
// reader decodes it.
QImage dib_to_image(const QByteArray& dib) {
  Cursor c(dib.constData(), dib.size());
  const quint32 header_size = c.u32(0);
  if (header_size < 12 || !c.has(0, header_size)) return QImage();
  qint64 width = 0;
  qint64 height = 0;
  int bit_count = 0;
  quint32 compression = 0;
  quint32 colors_used = 0;
  if (header_size == 12) {
    width = c.u16(4);
    height = c.u16(6);
    bit_count = c.u16(10);
  } else {
    width = static_cast<qint32>(c.u32(4));
    height = static_cast<qint32>(c.u32(8));
    bit_count = c.u16(14);
    compression = c.u32(16);
    colors_used = c.u32(32);
  }
  if (width <= 0 || height == 0 || width * std::llabs(height) > kMaxBitmapPixels) return QImage();
  qint64 palette = 0;
  const int entry = header_size == 12 ? 3 : 4;
  if (bit_count <= 8) palette = (colors_used != 0 ? colors_used : (1u << bit_count)) * entry;
  if (compression == 3 && header_size == 40) palette += 12;  // colour masks
  if (palette > dib.size()) return QImage();
  QByteArray file("BM");
  const quint32 total = static_cast<quint32>(14 + dib.size());
  const quint32 offset = static_cast<quint32>(14 + header_size + palette);
  char header[12];
  qToLittleEndian<quint32>(total, header);
  qToLittleEndian<quint32>(0, header + 4);
  qToLittleEndian<quint32>(offset, header + 8);
  file.append(header, 12);
  file.append(dib);
  return QImage::fromData(file, "BMP");
}

class Player {
 public:
  Player(const WmfPicture& pic, QImage& target, int max_play_ms)
      : pic_(pic), painter_(&target), max_play_ms_(max_play_ms) {
    objects_.resize(static_cast<size_t>(std::clamp(pic.object_count, 0, 65535)));
    painter_.setRenderHint(QPainter::Antialiasing, true);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    dc_.mapping = pic.start;
    const QRectF f = pic.frame;
    frame_to_target_ =
        QTransform::fromTranslate(-f.left(), -f.top()) *
        QTransform::fromScale(target.width() / f.width(), target.height() / f.height());
    visible_ =
        QRectF(target.rect()).adjusted(-kCutMarginPx, -kCutMarginPx, kCutMarginPx, kCutMarginPx);
  }

  void play() {
    QElapsedTimer clock;
    clock.start();
    walk_records(pic_.records, [this, &clock](Fn f, const Cursor& c) {
      record(f, c);
      return clock.elapsed() < max_play_ms_;
    });
  }

 private:
  // Logical units to the target's pixels under the current mapping.
  QTransform to_target() const { return dc_.mapping.to_device() * frame_to_target_; }

  QPen make_pen() const {
    const int style = dc_.pen.style & 0x0F;
    if (style == 5) return QPen(Qt::NoPen);
    QPen pen(dc_.pen.color);
    pen.setWidthF(dc_.pen.width <= 1 ? 0 : dc_.pen.width);  // 0: one device pixel
    pen.setCosmetic(dc_.pen.width <= 1);
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                          Qt::DashDotDotLine};
    pen.setStyle(style <= 4 ? styles[style] : Qt::SolidLine);
    // Geometric pens: round ends and joins unless the style says otherwise.
    const int cap = dc_.pen.style & 0x0F00;
    pen.setCapStyle(cap == 0x0100 ? Qt::SquareCap : cap == 0x0200 ? Qt::FlatCap : Qt::RoundCap);
    const int join = dc_.pen.style & 0xF000;
    pen.setJoinStyle(join == 0x1000   ? Qt::BevelJoin
                     : join == 0x2000 ? Qt::MiterJoin
                                      : Qt::RoundJoin);
    return pen;
  }

  QBrush make_brush() const {
    const Brush& b = dc_.brush;
    switch (b.style) {
      case 1:
        return QBrush(Qt::NoBrush);
      case 2: {
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                 Qt::FDiagPattern, Qt::BDiagPattern,
                                                 Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(b.color, hatches[std::clamp(b.hatch, 0, 5)]);
      }
      case 3:
      case 5:
        if (!b.pattern.isNull()) return QBrush(b.pattern);
        return QBrush(b.color);
      default:
        return QBrush(b.color);
    }
  }

  Qt::FillRule fill_rule() const { return dc_.fill_mode == 2 ? Qt::WindingFill : Qt::OddEvenFill; }

  // Fills a path given in logical units, cut to the picture first: the rasteriser's cost grows
  // with a shape's extent, and a metafile's shapes may reach millions of pixels beyond it. A tall
  // shape is filled in bands of rows, as the rasteriser's cost grows faster than its height.
  void fill(const QPainterPath& logical, const QBrush& brush) {
    if (brush.style() == Qt::NoBrush) return;
    QList<QPolygonF> inside;
    QRectF bounds;
    for (const QPolygonF& poly : logical.toSubpathPolygons(to_target())) {
      QPolygonF cut = cut_polygon(poly, visible_);
      if (cut.size() < 3) continue;
      bounds |= cut.boundingRect();
      inside << std::move(cut);
    }
    if (inside.isEmpty()) return;
    painter_.resetTransform();
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(brush);
    const double first = std::floor(bounds.top());
    for (double top = first; top < bounds.bottom(); top += kBandRows) {
      // Bands meet on whole rows, so no pixel is shared and no seam shows.
      const QRectF band(visible_.left(), top, visible_.width(), kBandRows);
      const bool whole = top == first && bounds.bottom() <= top + kBandRows;
      QPainterPath piece;
      piece.setFillRule(logical.fillRule());
      for (const QPolygonF& poly : inside) {
        const QPolygonF cut = whole ? poly : cut_polygon(poly, band);
        if (cut.size() >= 3) piece.addPolygon(cut);
      }
      painter_.drawPath(piece);
    }
  }

  // Strokes a path given in logical units with the current pen, only where it can be seen. A
  // pen scaled with the picture is stroked in logical units (a window stretched one way stretches
  // the line that way) after its centre line is cut to what lies within a pen's reach of the
  // picture; the outline is then filled like any shape.
  void stroke(const QPainterPath& logical) {
    QPen pen = make_pen();
    if (pen.style() == Qt::NoPen) return;
    const QTransform t = to_target();
    const QList<QPolygonF> lines = logical.toSubpathPolygons(t);
    if (pen.isCosmetic()) {
      painter_.resetTransform();
      painter_.setBrush(Qt::NoBrush);
      painter_.setPen(pen);
      for (const QPolygonF& line : lines) {
        for (const QPolygonF& run : cut_polyline(line, visible_)) painter_.drawPolyline(run);
      }
      return;
    }
    bool invertible = false;
    const QTransform back = t.inverted(&invertible);
    if (!invertible) return;
    const double scale = std::min(std::abs(t.m11()), std::abs(t.m22()));
    // Dashes shorter than a pixel or two look like a solid line and would only cost time.
    if (pen.style() != Qt::SolidLine && pen.widthF() * 2 * scale < 2) pen.setStyle(Qt::SolidLine);
    const double reach = pen.widthF() * 2;
    const QRectF window = back.mapRect(visible_).adjusted(-reach, -reach, reach, reach);
    QPainterPath centre;
    for (const QPolygonF& line : lines) {
      const QPolygonF logical_line = back.map(line);
      if (window.contains(logical_line.boundingRect())) {
        centre.addPolygon(logical_line);
        if (line.size() > 2 && line.first() == line.last()) centre.closeSubpath();
        continue;
      }
      for (const QPolygonF& run : cut_polyline(logical_line, window)) centre.addPolygon(run);
    }
    if (centre.isEmpty()) return;
    QPainterPathStroker stroker(pen);
    fill(stroker.createStroke(centre), pen.brush());
  }

  void shape(const QPainterPath& logical) {
    fill(logical, make_brush());
    stroke(logical);
  }

  QPointF point(const Cursor& c, qsizetype offset) const {
    return QPointF(c.s16(offset), c.s16(offset + 2));
  }
  // A rectangle stored as bottom, right, top, left.
  QRectF rect_brtl(const Cursor& c, qsizetype offset) const {
    const double bottom = c.s16(offset);
    const double right = c.s16(offset + 2);
    const double top = c.s16(offset + 4);
    const double left = c.s16(offset + 6);
    return QRectF(QPointF(left, top), QPointF(right, bottom)).normalized();
  }

  QPolygonF polygon(const Cursor& c, qsizetype offset, int count) const {
    QPolygonF poly;
    for (int i = 0; i < count && c.has(offset + i * 4, 4); ++i) poly << point(c, offset + i * 4);
    return poly;
  }

  int add_object(const Object& o) {
    for (size_t i = 0; i < objects_.size(); ++i) {
      if (objects_[i].kind == Object::None) {
        objects_[i] = o;
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // The angle of a point seen from the centre of a rectangle, in Qt's degrees.
  static double angle_of(const QRectF& r, const QPointF& p) {
    const QPointF c = r.center();
    const double dx = (p.x() - c.x()) / std::max(1e-9, r.width() / 2);
    const double dy = (p.y() - c.y()) / std::max(1e-9, r.height() / 2);
    return std::atan2(-dy, dx) * 180.0 / M_PI;
  }

  void arc_like(Fn f, const Cursor& c) {
    const QPointF end(c.s16(2), c.s16(0));
    const QPointF start(c.s16(6), c.s16(4));
    const QRectF r = rect_brtl(c, 8);
    const double a0 = angle_of(r, start);
    double span = angle_of(r, end) - a0;
    if (span <= 0) span += 360;  // arcs run counter-clockwise from start to end
    QPainterPath path;
    if (f == Fn::Pie) {
      path.moveTo(r.center());
      path.arcTo(r, a0, span);
      path.closeSubpath();
    } else {
      path.arcMoveTo(r, a0);
      path.arcTo(r, a0, span);
      if (f == Fn::Chord) path.closeSubpath();
    }
    if (f == Fn::Arc) {
      stroke(path);
    } else {
      shape(path);
    }
  }

  void text(const QByteArray& bytes, QPointF origin, bool update_cp,
            std::optional<QRectF> opaque_rect) {
    const Font& f = dc_.font;
    const int cp = code_page_for_charset(f.charset, 1252);
    const QString s = decode_code_page(bytes, cp);
    QFont font(f.face.isEmpty() ? QStringLiteral("Sans Serif") : f.face);
    if (f.charset == 128) font.setFamilies({f.face, QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(std::max(1, std::abs(f.height == 0 ? 12 : f.height)));
    font.setWeight(f.weight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strike);
    const QFontMetricsF m(font);
    const double width = m.horizontalAdvance(s);
    if (update_cp) origin = dc_.position;
    double dx = 0;
    const int horizontal = dc_.text_align & 6;
    if (horizontal == 6) {
      dx = -width / 2;
    } else if (horizontal == 2) {
      dx = -width;
    }
    double dy = m.ascent();  // TA_TOP
    if ((dc_.text_align & 24) == 24) {
      dy = 0;  // TA_BASELINE
    } else if (dc_.text_align & 8) {
      dy = -m.descent();  // TA_BOTTOM
    }
    // The text's own frame: at the origin, turned by the escapement.
    QTransform local = QTransform::fromTranslate(origin.x(), origin.y());
    if (f.escapement != 0) local = QTransform().rotate(-f.escapement / 10.0) * local;
    if (opaque_rect) {
      QPainterPath box;
      box.addRect(*opaque_rect);
      fill(box, dc_.bk_color);
    } else if (dc_.bk_mode == 2) {
      QPainterPath box;
      box.addRect(QRectF(dx, dy - m.ascent(), width, m.height()));
      fill(local.map(box), dc_.bk_color);
    }
    const QTransform t = local * to_target();
    const double glyph_px = font.pixelSize() * std::max(std::abs(t.m11()) + std::abs(t.m21()),
                                                        std::abs(t.m12()) + std::abs(t.m22()));
    if (glyph_px > kLargestGlyphPx) {
      QPainterPath outlines;
      outlines.addText(QPointF(dx, dy), font, s);
      fill(local.map(outlines), dc_.text_color);
    } else {
      painter_.setWorldTransform(t);
      painter_.setFont(font);
      painter_.setPen(dc_.text_color);
      painter_.drawText(QPointF(dx, dy), s);
    }
    if (update_cp) dc_.position.rx() += width;
  }

  void bitmap(const QByteArray& dib, QRectF dest, QRectF src) {
    const QTransform t = to_target();
    const QRectF on_target = t.mapRect(dest.normalized());
    if (!on_target.intersects(visible_)) return;
    QImage image = dib_to_image(dib);
    if (image.isNull()) return;
    if (src.isEmpty()) src = image.rect();
    // Scaled pictures are drawn only where they meet the target, whatever their extent.
    painter_.setWorldTransform(t);
    painter_.drawImage(dest.normalized(), image, src);
  }

  void record(Fn f, const Cursor& c) {
    if (apply_mapping_record(dc_.mapping, f, c, pic_.placeable)) return;
    switch (f) {
      case Fn::SaveDc:
        if (saved_.size() < 1024) saved_.push_back(dc_);
        break;
      case Fn::RestoreDc: {
        int n = c.s16(0);
        if (n < 0) {
          while (n++ < -1 && !saved_.empty()) saved_.pop_back();
        }
        if (!saved_.empty()) {
          dc_ = saved_.back();
          saved_.pop_back();
        }
        break;
      }
      case Fn::CreatePenIndirect: {
        Object o;
        o.kind = Object::PenKind;
        o.pen.style = c.u16(0);
        o.pen.width = c.s16(2);
        o.pen.color = colorref(c.u32(6));
        add_object(o);
        break;
      }
      case Fn::CreateBrushIndirect: {
        Object o;
        o.kind = Object::BrushKind;
        o.brush.style = c.u16(0);
        o.brush.color = colorref(c.u32(2));
        o.brush.hatch = c.u16(6);
        add_object(o);
        break;
      }
      case Fn::DibCreatePatternBrush: {
        Object o;
        o.kind = Object::BrushKind;
        o.brush.style = 3;
        o.brush.pattern = dib_to_image(c.bytes(4, c.size() - 4));
        add_object(o);
        break;
      }
      case Fn::CreateFontIndirect: {
        Object o;
        o.kind = Object::FontKind;
        o.font.height = c.s16(0);
        o.font.escapement = c.s16(4);
        o.font.weight = c.s16(8);
        const QByteArray flags = c.bytes(10, 4);
        if (flags.size() == 4) {
          o.font.italic = flags[0] != 0;
          o.font.underline = flags[1] != 0;
          o.font.strike = flags[2] != 0;
          o.font.charset = static_cast<uchar>(flags[3]);
        }
        QByteArray face = c.bytes(18, std::min<qsizetype>(32, c.size() - 18));
        const qsizetype nul = face.indexOf('\0');
        if (nul >= 0) face.truncate(nul);
        o.font.face = decode_code_page(face, code_page_for_charset(o.font.charset, 1252));
        add_object(o);
        break;
      }
      case Fn::CreatePalette:
      case Fn::CreatePatternBrush:
      case Fn::CreateRegion: {
        // Objects without an effect here still take their place in the table.
        Object o;
        o.kind = Object::Other;
        add_object(o);
        break;
      }
      case Fn::SelectObject: {
        const quint16 index = c.u16(0);
        if (index < objects_.size()) {
          const Object& o = objects_[index];
          if (o.kind == Object::PenKind) dc_.pen = o.pen;
          if (o.kind == Object::BrushKind) dc_.brush = o.brush;
          if (o.kind == Object::FontKind) dc_.font = o.font;
        }
        break;
      }
      case Fn::DeleteObject: {
        const quint16 index = c.u16(0);
        if (index < objects_.size()) objects_[index] = Object{};
        break;
      }
      case Fn::SetTextColor:
        dc_.text_color = colorref(c.u32(0));
        break;
      case Fn::SetBkColor:
        dc_.bk_color = colorref(c.u32(0));
        break;
      case Fn::SetBkMode:
        dc_.bk_mode = c.u16(0);
        break;
      case Fn::SetTextAlign:
        dc_.text_align = c.u16(0);
        break;
      case Fn::SetPolyFillMode:
        dc_.fill_mode = c.u16(0);
        break;
      case Fn::MoveTo:
        dc_.position = QPointF(c.s16(2), c.s16(0));
        break;
      case Fn::LineTo: {
        const QPointF to(c.s16(2), c.s16(0));
        QPainterPath path(dc_.position);
        path.lineTo(to);
        stroke(path);
        dc_.position = to;
        break;
      }
      case Fn::Polyline:
      case Fn::Polygon: {
        const int count = std::max(0, static_cast<int>(c.s16(0)));
        const QPolygonF poly = polygon(c, 2, count);
        if (poly.isEmpty()) break;
        QPainterPath path;
        path.setFillRule(fill_rule());
        path.addPolygon(poly);
        if (f == Fn::Polyline) {
          stroke(path);
        } else {
          path.closeSubpath();
          shape(path);
        }
        break;
      }
      case Fn::PolyPolygon: {
        const int polys = std::max(0, static_cast<int>(c.s16(0)));
        QPainterPath path;
        path.setFillRule(fill_rule());
        qsizetype at = 2 + 2LL * polys;
        for (int i = 0; i < polys && c.has(2 + 2LL * i, 2); ++i) {
          const int count = std::max(0, static_cast<int>(c.s16(2 + 2LL * i)));
          const QPolygonF poly = polygon(c, at, count);
          if (!poly.isEmpty()) {
            path.addPolygon(poly);
            path.closeSubpath();
          }
          at += 4LL * count;
          if (!c.has(at, 0)) break;
        }
        shape(path);
        break;
      }
      case Fn::Rectangle: {
        QPainterPath path;
        path.addRect(rect_brtl(c, 0));
        shape(path);
        break;
      }
      case Fn::RoundRect: {
        const double h = c.s16(0);
        const double w = c.s16(2);
        QPainterPath path;
        path.addRoundedRect(rect_brtl(c, 4), std::abs(w) / 2, std::abs(h) / 2);
        shape(path);
        break;
      }
      case Fn::Ellipse: {
        QPainterPath path;
        path.addEllipse(rect_brtl(c, 0));
        shape(path);
        break;
      }
      case Fn::Arc:
      case Fn::Pie:
      case Fn::Chord:
        arc_like(f, c);
        break;
      case Fn::TextOut: {
        const int count = std::max(0, static_cast<int>(c.s16(0)));
        const qsizetype padded = (count + 1) & ~1;
        const QByteArray s = c.bytes(2, count);
        const QPointF at(c.s16(2 + padded + 2), c.s16(2 + padded));
        text(s, at, dc_.text_align & 1, std::nullopt);
        break;
      }
      case Fn::ExtTextOut: {
        const QPointF at(c.s16(2), c.s16(0));
        const int count = std::max(0, static_cast<int>(c.s16(4)));
        const quint16 options = c.u16(6);
        qsizetype offset = 8;
        std::optional<QRectF> opaque;
        if (options & 0x0006) {
          const QRectF r(QPointF(c.s16(8), c.s16(10)), QPointF(c.s16(12), c.s16(14)));
          if (options & 0x0002) opaque = r.normalized();
          offset += 8;
        }
        text(c.bytes(offset, count), at, dc_.text_align & 1, opaque);
        break;
      }
      case Fn::DibBitBlt: {  // without a bitmap the record has 9 parameter words
        if (c.size() <= 18) break;
        const double h = c.s16(8);
        const double w = c.s16(10);
        const QRectF src(c.s16(6), c.s16(4), w, h);
        const QRectF dest(c.s16(14), c.s16(12), w, h);
        bitmap(c.bytes(16, c.size() - 16), dest, src);
        break;
      }
      case Fn::DibStretchBlt: {
        const bool has_bitmap = c.size() > 2 * 11;
        if (!has_bitmap) break;
        const QRectF src(c.s16(10), c.s16(8), c.s16(6), c.s16(4));
        const QRectF dest(c.s16(18), c.s16(16), c.s16(14), c.s16(12));
        bitmap(c.bytes(20, c.size() - 20), dest, src);
        break;
      }
      case Fn::StretchDib: {
        const QRectF src(c.s16(12), c.s16(10), c.s16(8), c.s16(6));
        const QRectF dest(c.s16(20), c.s16(18), c.s16(16), c.s16(14));
        bitmap(c.bytes(22, c.size() - 22), dest, src);
        break;
      }
      default:
        break;  // records without a visible effect here, and unknown ones
    }
  }

  const WmfPicture& pic_;
  QPainter painter_;
  int max_play_ms_;
  QTransform frame_to_target_;
  QRectF visible_;  // the target with a small margin: shapes are cut to it
  Dc dc_;
  std::vector<Dc> saved_;
  std::vector<Object> objects_;
};

}  // namespace

QTransform WmfMapping::to_device() const {
  double sx = 1;
  double sy = 1;
  switch (map_mode) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
      sx = 1 / units_per_px(map_mode);
      sy = -sx;  // y grows upwards
      break;
    case 7:
    case 8:
      if (viewport_ext_set) {
        sx = viewport_ext.width() / window_ext.width();
        sy = viewport_ext.height() / window_ext.height();
      } else {
        sx = window_ext.width() < 0 ? -1 : 1;
        sy = window_ext.height() < 0 ? -1 : 1;
      }
      if (map_mode == 7) {
        // Isotropic: one scale for both directions, the smaller one, keeping the directions.
        const double s = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(s, sx);
        sy = std::copysign(s, sy);
      }
      break;
    default:
      break;  // text mode: one logical unit is one device unit
  }
  return QTransform(sx, 0, 0, sy, viewport_org.x() - window_org.x() * sx,
                    viewport_org.y() - window_org.y() * sy);
}

QSize WmfPicture::natural_size_px() const {
  double w = std::abs(frame.width());
  double h = std::abs(frame.height());
  // A side beyond the largest drawn is brought down with the other, keeping the shape.
  const double longest = std::max(w, h);
  if (longest > kMaxSidePx) {
    w = w * kMaxSidePx / longest;
    h = h * kMaxSidePx / longest;
  }
  return QSize(static_cast<int>(std::lround(w)), static_cast<int>(std::lround(h)));
}

bool looks_like_wmf(const QByteArray& bytes) {
  Cursor c(bytes.constData(), bytes.size());
  if (c.u32(0) == kPlaceableKey) return true;
  const quint16 type = c.u16(0);
  return (type == 1 || type == 2) && c.u16(2) == 9 && (c.u16(4) == 0x0300 || c.u16(4) == 0x0100);
}

std::optional<WmfPicture> parse_wmf(const QByteArray& bytes) {
  Cursor c(bytes.constData(), bytes.size());
  WmfPicture pic;
  qsizetype at = 0;
  QRect bounds;
  int units_per_inch = 0;
  if (c.u32(0) == kPlaceableKey) {
    if (!c.has(0, 22)) return std::nullopt;
    pic.placeable = true;
    const int left = c.s16(6), top = c.s16(8), right = c.s16(10), bottom = c.s16(12);
    bounds = QRect(QPoint(left, top), QSize(right - left, bottom - top));
    units_per_inch = c.u16(14);
    at = 22;
  }
  const quint16 type = c.u16(at);
  if (!(type == 1 || type == 2) || c.u16(at + 2) != 9 || !c.has(at, 18)) return std::nullopt;
  pic.object_count = c.u16(at + 10);
  pic.records = bytes.mid(at + 18);

  if (pic.placeable) {
    // The header's frame, at its units per inch, is the picture; the records' window is fitted
    // to it.
    const double inch = units_per_inch > 0 ? units_per_inch : 1440;
    pic.frame = QRectF(0, 0, std::abs(bounds.width()) * 96.0 / inch,
                       std::abs(bounds.height()) * 96.0 / inch);
    pic.start.map_mode = 8;
    pic.start.window_org = bounds.topLeft();
    set_extent(pic.start.window_ext, bounds.width(), bounds.height());
    pic.start.viewport_ext = pic.frame.size();
    pic.start.viewport_ext_set = true;
  } else {
    // The frame of a plain file is the window its records set, as the mapping in force where
    // the drawing starts places it.
    WmfMapping m;
    std::optional<WmfMapping> framing;
    bool window_set = false;
    walk_records(pic.records, [&](Fn f, const Cursor& rec) {
      if (window_set && draws(f)) {
        framing = m;
        return false;
      }
      apply_mapping_record(m, f, rec, false);
      if (f == Fn::SetWindowExt) window_set = true;
      return true;
    });
    if (!framing && window_set) framing = m;
    if (!framing) return std::nullopt;
    const QTransform to_device = framing->to_device();
    if (framing->map_mode == 7 || framing->map_mode == 8) {
      pic.frame = to_device.mapRect(QRectF(framing->window_org, framing->window_ext));
    } else {
      // The fixed modes ignore the window's extent; the file gives it as the picture's size,
      // reaching right and down on the screen from the window's origin.
      const double f = units_per_px(framing->map_mode);
      pic.frame = QRectF(to_device.map(framing->window_org),
                         QSizeF(std::abs(framing->window_ext.width()) / f,
                                std::abs(framing->window_ext.height()) / f));
    }
  }
  const QSize natural = pic.natural_size_px();
  if (natural.width() <= 0 || natural.height() <= 0) return std::nullopt;
  return pic;
}

QImage render_wmf(const WmfPicture& picture, QSize size, int max_play_ms) {
  size = size.boundedTo(QSize(kMaxSidePx, kMaxSidePx));
  if (size.isEmpty() || picture.frame.isEmpty()) return QImage();
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  {
    Player player(picture, image, max_play_ms);
    player.play();
  }
  return image;
}

}  // namespace tarvex
