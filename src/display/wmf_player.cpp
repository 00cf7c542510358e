#include "display/wmf_player.h"

#include "platform/text_codecs.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <cmath>
#include <vector>

namespace tarvex {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr int kMaxSidePx = 8000;
constexpr qint64 kMaxBitmapPixels = 32LL * 1024 * 1024;

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
  QPoint window_org;
  QSize window_ext{1, 1};
  bool window_ext_set = false;
  QPoint viewport_org;
  QSize viewport_ext{1, 1};
  bool viewport_ext_set = false;
  int map_mode = 1;
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
  Player(const WmfPicture& pic, QImage& target) : pic_(pic), painter_(&target), target_(target) {
    objects_.resize(static_cast<size_t>(std::clamp(pic.object_count, 0, 65535)));
    painter_.setRenderHint(QPainter::Antialiasing, true);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    if (pic.placeable) {
      dc_.window_org = pic.bounds.topLeft();
      dc_.window_ext = pic.bounds.size();
    } else {
      dc_.window_org = pic.window_org;
      dc_.window_ext = pic.window_ext;
    }
    dc_.map_mode = 8;
  }

  void play() {
    Cursor rec(pic_.records.constData(), pic_.records.size());
    qsizetype at = 0;
    while (rec.has(at, 6)) {
      const quint32 words = rec.u32(at);
      const quint16 function = rec.u16(at + 4);
      if (function == 0 || words < 3) break;
      const qint64 bytes = static_cast<qint64>(words) * 2;
      if (!rec.has(at, bytes)) break;
      record(function, Cursor(pic_.records.constData() + at + 6, bytes - 6));
      at += bytes;
    }
  }

 private:
  void apply_transform() {
    // The picture's frame (the window) fills the target. For a placeable file the frame is the
    // header's; otherwise it is the window the records set.
    const QSize ext = dc_.window_ext;
    const double sx = ext.width() != 0 ? target_.width() / static_cast<double>(ext.width()) : 1;
    const double sy = ext.height() != 0 ? target_.height() / static_cast<double>(ext.height()) : 1;
    QTransform t;
    t.scale(sx, sy);
    t.translate(-dc_.window_org.x(), -dc_.window_org.y());
    if (pic_.placeable && (pic_.bounds.topLeft() != dc_.window_org || pic_.bounds.size() != ext)) {
      // A placeable file that sets its own window maps that window onto the header's frame.
      const QRect b = pic_.bounds;
      const double fx = b.width() != 0 ? target_.width() / static_cast<double>(b.width()) : 1;
      const double fy = b.height() != 0 ? target_.height() / static_cast<double>(b.height()) : 1;
      QTransform frame;
      frame.scale(fx, fy);
      frame.translate(-b.left(), -b.top());
      const double wx = ext.width() != 0 ? b.width() / static_cast<double>(ext.width()) : 1;
      const double wy = ext.height() != 0 ? b.height() / static_cast<double>(ext.height()) : 1;
      QTransform window;
      window.translate(b.left(), b.top());
      window.scale(wx, wy);
      window.translate(-dc_.window_org.x(), -dc_.window_org.y());
      t = window * frame;
    }
    painter_.setWorldTransform(t);
  }

  QPen make_pen() const {
    if (dc_.pen.style == 5) return QPen(Qt::NoPen);
    QPen pen(dc_.pen.color);
    pen.setWidthF(dc_.pen.width <= 1 ? 0 : dc_.pen.width);  // 0: one device pixel
    pen.setCosmetic(dc_.pen.width <= 1);
    switch (dc_.pen.style) {
      case 1:
        pen.setStyle(Qt::DashLine);
        break;
      case 2:
        pen.setStyle(Qt::DotLine);
        break;
      case 3:
        pen.setStyle(Qt::DashDotLine);
        break;
      case 4:
        pen.setStyle(Qt::DashDotDotLine);
        break;
      default:
        pen.setStyle(Qt::SolidLine);
        break;
    }
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

  void prepare_shape() {
    apply_transform();
    painter_.setPen(make_pen());
    painter_.setBrush(make_brush());
    painter_.setBackgroundMode(dc_.bk_mode == 2 ? Qt::OpaqueMode : Qt::TransparentMode);
    painter_.setBackground(dc_.bk_color);
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

  void arc_like(quint16 function, const Cursor& c) {
    const QPointF end(c.s16(2), c.s16(0));
    const QPointF start(c.s16(6), c.s16(4));
    const QRectF r = rect_brtl(c, 8);
    const double a0 = angle_of(r, start);
    double span = angle_of(r, end) - a0;
    if (span <= 0) span += 360;  // arcs run counter-clockwise from start to end
    prepare_shape();
    const int qa = static_cast<int>(std::lround(a0 * 16));
    const int qs = static_cast<int>(std::lround(span * 16));
    if (function == 0x0817) {
      painter_.drawArc(r, qa, qs);
    } else if (function == 0x081A) {
      painter_.drawPie(r, qa, qs);
    } else {
      painter_.drawChord(r, qa, qs);
    }
  }

  void text(const QByteArray& bytes, QPointF origin, bool update_cp,
            std::optional<QRectF> opaque_rect) {
    apply_transform();
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
    painter_.setFont(font);
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
    painter_.save();
    painter_.translate(origin);
    if (f.escapement != 0) painter_.rotate(-f.escapement / 10.0);
    if (opaque_rect) {
      painter_.fillRect(opaque_rect->translated(-origin), dc_.bk_color);
    } else if (dc_.bk_mode == 2) {
      painter_.fillRect(QRectF(dx, dy - m.ascent(), width, m.height()), dc_.bk_color);
    }
    painter_.setPen(dc_.text_color);
    painter_.drawText(QPointF(dx, dy), s);
    painter_.restore();
    if (update_cp) dc_.position.rx() += width;
  }

  void bitmap(const QByteArray& dib, QRectF dest, QRectF src) {
    QImage image = dib_to_image(dib);
    if (image.isNull()) return;
    if (src.isEmpty()) src = image.rect();
    apply_transform();
    painter_.drawImage(dest.normalized(), image, src);
  }

  void record(quint16 function, const Cursor& c) {
    switch (function) {
      case 0x020B:
        dc_.window_org = QPoint(c.s16(2), c.s16(0));
        break;
      case 0x020C:
        dc_.window_ext = QSize(c.s16(2), c.s16(0));
        dc_.window_ext_set = true;
        break;
      case 0x020F:
        dc_.window_org += QPoint(c.s16(2), c.s16(0));
        break;
      case 0x020D:
        dc_.viewport_org = QPoint(c.s16(2), c.s16(0));
        break;
      case 0x020E:
        dc_.viewport_ext = QSize(c.s16(2), c.s16(0));
        dc_.viewport_ext_set = true;
        break;
      case 0x0211:
        dc_.viewport_org += QPoint(c.s16(2), c.s16(0));
        break;
      case 0x0103:
        dc_.map_mode = c.s16(0);
        break;
      case 0x001E:
        if (saved_.size() < 1024) saved_.push_back(dc_);
        break;
      case 0x0127: {
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
      case 0x02FA: {
        Object o;
        o.kind = Object::PenKind;
        o.pen.style = c.u16(0) & 0x0F;
        o.pen.width = c.s16(2);
        o.pen.color = colorref(c.u32(6));
        add_object(o);
        break;
      }
      case 0x02FC: {
        Object o;
        o.kind = Object::BrushKind;
        o.brush.style = c.u16(0);
        o.brush.color = colorref(c.u32(2));
        o.brush.hatch = c.u16(6);
        add_object(o);
        break;
      }
      case 0x0142: {  // DIBCREATEPATTERNBRUSH
        Object o;
        o.kind = Object::BrushKind;
        o.brush.style = 3;
        o.brush.pattern = dib_to_image(c.bytes(4, c.size() - 4));
        add_object(o);
        break;
      }
      case 0x02FB: {
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
      case 0x00F7:  // CREATEPALETTE
      case 0x01F9:  // CREATEPATTERNBRUSH
      case 0x06FF:  // CREATEREGION
      {
        Object o;
        o.kind = Object::Other;
        add_object(o);
        break;
      }
      case 0x012D: {
        const quint16 index = c.u16(0);
        if (index < objects_.size()) {
          const Object& o = objects_[index];
          if (o.kind == Object::PenKind) dc_.pen = o.pen;
          if (o.kind == Object::BrushKind) dc_.brush = o.brush;
          if (o.kind == Object::FontKind) dc_.font = o.font;
        }
        break;
      }
      case 0x01F0: {
        const quint16 index = c.u16(0);
        if (index < objects_.size()) objects_[index] = Object{};
        break;
      }
      case 0x0209:
        dc_.text_color = colorref(c.u32(0));
        break;
      case 0x0201:
        dc_.bk_color = colorref(c.u32(0));
        break;
      case 0x0102:
        dc_.bk_mode = c.u16(0);
        break;
      case 0x012E:
        dc_.text_align = c.u16(0);
        break;
      case 0x0106:
        dc_.fill_mode = c.u16(0);
        break;
      case 0x0214:
        dc_.position = QPointF(c.s16(2), c.s16(0));
        break;
      case 0x0213: {
        const QPointF to(c.s16(2), c.s16(0));
        prepare_shape();
        painter_.drawLine(dc_.position, to);
        dc_.position = to;
        break;
      }
      case 0x0325:
      case 0x0324: {
        const int count = std::max(0, static_cast<int>(c.s16(0)));
        const QPolygonF poly = polygon(c, 2, count);
        prepare_shape();
        if (function == 0x0325) {
          painter_.drawPolyline(poly);
        } else {
          painter_.drawPolygon(poly, dc_.fill_mode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        }
        break;
      }
      case 0x0538: {
        const int polys = std::max(0, static_cast<int>(c.s16(0)));
        QPainterPath path;
        path.setFillRule(dc_.fill_mode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        qsizetype at = 2 + 2LL * polys;
        for (int i = 0; i < polys && c.has(2 + 2LL * i, 2); ++i) {
          const int count = std::max(0, static_cast<int>(c.s16(2 + 2LL * i)));
          const QPolygonF poly = polygon(c, at, count);
          if (!poly.isEmpty()) path.addPolygon(poly), path.closeSubpath();
          at += 4LL * count;
          if (!c.has(at, 0)) break;
        }
        prepare_shape();
        painter_.drawPath(path);
        break;
      }
      case 0x041B:
        prepare_shape();
        painter_.drawRect(rect_brtl(c, 0));
        break;
      case 0x061C: {
        const double h = c.s16(0);
        const double w = c.s16(2);
        prepare_shape();
        painter_.drawRoundedRect(rect_brtl(c, 4), std::abs(w) / 2, std::abs(h) / 2);
        break;
      }
      case 0x0418:
        prepare_shape();
        painter_.drawEllipse(rect_brtl(c, 0));
        break;
      case 0x0817:
      case 0x081A:
      case 0x0830:
        arc_like(function, c);
        break;
      case 0x0521: {
        const int count = std::max(0, static_cast<int>(c.s16(0)));
        const qsizetype padded = (count + 1) & ~1;
        const QByteArray s = c.bytes(2, count);
        const QPointF at(c.s16(2 + padded + 2), c.s16(2 + padded));
        text(s, at, dc_.text_align & 1, std::nullopt);
        break;
      }
      case 0x0A32: {
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
      case 0x0940: {  // DIBBITBLT; without a bitmap the record has 9 parameter words
        if (c.size() <= 18) break;
        const double h = c.s16(8);
        const double w = c.s16(10);
        const QRectF src(c.s16(6), c.s16(4), w, h);
        const QRectF dest(c.s16(14), c.s16(12), w, h);
        bitmap(c.bytes(16, c.size() - 16), dest, src);
        break;
      }
      case 0x0B41: {  // DIBSTRETCHBLT
        const bool has_bitmap = c.size() > 2 * 11;
        if (!has_bitmap) break;
        const QRectF src(c.s16(10), c.s16(8), c.s16(6), c.s16(4));
        const QRectF dest(c.s16(18), c.s16(16), c.s16(14), c.s16(12));
        bitmap(c.bytes(20, c.size() - 20), dest, src);
        break;
      }
      case 0x0F43: {  // STRETCHDIB
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
  QImage& target_;
  Dc dc_;
  std::vector<Dc> saved_;
  std::vector<Object> objects_;
};

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

}  // namespace

QSize WmfPicture::natural_size_px() const {
  double w = 0;
  double h = 0;
  if (placeable) {
    const double inch = units_per_inch > 0 ? units_per_inch : 1440;
    w = std::abs(bounds.width()) * 96.0 / inch;
    h = std::abs(bounds.height()) * 96.0 / inch;
  } else {
    const double f = units_per_px(map_mode);
    w = std::abs(window_ext.width()) / f;
    h = std::abs(window_ext.height()) / f;
  }
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
  if (c.u32(0) == kPlaceableKey) {
    if (!c.has(0, 22)) return std::nullopt;
    pic.placeable = true;
    const int left = c.s16(6), top = c.s16(8), right = c.s16(10), bottom = c.s16(12);
    pic.bounds = QRect(QPoint(left, top), QSize(right - left, bottom - top));
    pic.units_per_inch = c.u16(14);
    at = 22;
  }
  const quint16 type = c.u16(at);
  if (!(type == 1 || type == 2) || c.u16(at + 2) != 9 || !c.has(at, 18)) return std::nullopt;
  pic.object_count = c.u16(at + 10);
  pic.records = bytes.mid(at + 18);

  // The window the records set first gives the frame of a file without a placeable header.
  Cursor rec(pic.records.constData(), pic.records.size());
  qsizetype r = 0;
  bool ext_found = false;
  while (rec.has(r, 6)) {
    const quint32 words = rec.u32(r);
    const quint16 function = rec.u16(r + 4);
    if (function == 0 || words < 3 || !rec.has(r, static_cast<qint64>(words) * 2)) break;
    if (function == 0x020B) pic.window_org = QPoint(rec.s16(r + 8), rec.s16(r + 6));
    if (function == 0x020C && !ext_found) {
      pic.window_ext = QSize(rec.s16(r + 8), rec.s16(r + 6));
      ext_found = true;
    }
    if (function == 0x0103) pic.map_mode = rec.s16(r + 6);
    r += static_cast<qint64>(words) * 2;
  }
  if (!pic.placeable && !ext_found) return std::nullopt;
  const QSize natural = pic.natural_size_px();
  if (natural.width() <= 0 || natural.height() <= 0) return std::nullopt;
  return pic;
}

QImage render_wmf(const WmfPicture& picture, QSize size) {
  size = size.boundedTo(QSize(kMaxSidePx, kMaxSidePx));
  if (size.isEmpty()) return QImage();
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  {
    Player player(picture, image);
    player.play();
  }
  return image;
}

}  // namespace tarvex
