#include "platform/qt/qt_canvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QPaintEngine>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "platform/headless/raster_canvas.h"
#include "platform/headless/raster_lines.h"

namespace {

// Qt's rasterizer works in fixed point; coordinates beyond this are cut to
// the device first.
constexpr long long kSafeCoordinate = 1 << 22;

// Lines gathered before they are handed to Qt in one call.
constexpr size_t kLineBatch = 4096;

bool Huge(long long v) { return v < -kSafeCoordinate || v > kSafeCoordinate; }

bool AnyHuge(std::initializer_list<long long> values) {
  return std::any_of(values.begin(), values.end(), Huge);
}

bool AnyHuge(const std::vector<TPoint>& points) {
  return std::any_of(points.begin(), points.end(), [](const TPoint& p) { return Huge(p.X) || Huge(p.Y); });
}

TRect Normalized(int x1, int y1, int x2, int y2) {
  return TRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

// A device rectangle as a QRect, cut to bounds first (so that its size fits
// an int).
QRect CutRect(const TRect& r, const QRect& bounds) {
  long long l = std::max<long long>(r.Left, bounds.left()), t = std::max<long long>(r.Top, bounds.top());
  long long rr = std::min<long long>(r.Right, (long long)bounds.right() + 1);
  long long b = std::min<long long>(r.Bottom, (long long)bounds.bottom() + 1);
  if (rr <= l || b <= t) return QRect();
  return QRect(int(l), int(t), int(rr - l), int(b - t));
}

struct TModeChoice {
  bool draw = true;
  QPainter::CompositionMode comp = QPainter::CompositionMode_SourceOver;
  TColor color = clBlack;
};

TModeChoice ChooseMode(TPenMode mode, TColor color, bool rasterOps) {
  using C = QPainter;
  switch (mode) {
    case pmNop: return {false};
    case pmBlack: return {true, C::CompositionMode_SourceOver, clBlack};
    case pmWhite: return {true, C::CompositionMode_SourceOver, clWhite};
    case pmCopy: return {true, C::CompositionMode_SourceOver, color};
    case pmNotCopy: return {true, C::CompositionMode_SourceOver, ~color & 0xFFFFFF};
    default: break;
  }
  if (!rasterOps) return {true, C::CompositionMode_SourceOver, mode == pmNot ? clBlack : color};
  switch (mode) {
    case pmNot: return {true, C::RasterOp_NotDestination, color};
    case pmMergePenNot: return {true, C::RasterOp_SourceOrNotDestination, color};
    case pmMaskPenNot: return {true, C::RasterOp_SourceAndNotDestination, color};
    case pmMergeNotPen: return {true, C::RasterOp_NotSourceOrDestination, color};
    case pmMaskNotPen: return {true, C::RasterOp_NotSourceAndDestination, color};
    case pmMerge: return {true, C::RasterOp_SourceOrDestination, color};
    case pmNotMerge: return {true, C::RasterOp_NotSourceAndNotDestination, color};
    case pmMask: return {true, C::RasterOp_SourceAndDestination, color};
    case pmNotMask: return {true, C::RasterOp_NotSourceOrNotDestination, color};
    case pmXor: return {true, C::RasterOp_SourceXorDestination, color};
    case pmNotXor: return {true, C::RasterOp_NotSourceXorDestination, color};
    default: return {true, C::CompositionMode_SourceOver, color};
  }
}

// Liang-Barsky: cuts the segment to box; false when nothing is left.
bool ClipSegment(double& x0, double& y0, double& x1, double& y1, const QRectF& box) {
  double t0 = 0, t1 = 1, dx = x1 - x0, dy = y1 - y0;
  auto edge = [&](double p, double q) {
    if (p == 0) return q >= 0;
    double r = q / p;
    if (p < 0) {
      if (r > t1) return false;
      t0 = std::max(t0, r);
    } else {
      if (r < t0) return false;
      t1 = std::min(t1, r);
    }
    return true;
  };
  if (!edge(-dx, x0 - box.left()) || !edge(dx, box.right() - x0) || !edge(-dy, y0 - box.top()) ||
      !edge(dy, box.bottom() - y0))
    return false;
  double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy, nx1 = x0 + t1 * dx, ny1 = y0 + t1 * dy;
  x0 = nx0, y0 = ny0, x1 = nx1, y1 = ny1;
  return true;
}

// Sutherland-Hodgman: the polygon cut to box.
QPolygonF ClipPolygon(const std::vector<TPoint>& points, const QRectF& box) {
  std::vector<QPointF> poly;
  for (const TPoint& p : points) poly.emplace_back(double(p.X), double(p.Y));
  auto cut = [&](auto inside, auto cross) {
    std::vector<QPointF> out;
    for (size_t i = 0; i < poly.size(); ++i) {
      QPointF a = poly[i], b = poly[(i + 1) % poly.size()];
      bool ia = inside(a), ib = inside(b);
      if (ia) out.push_back(a);
      if (ia != ib) out.push_back(cross(a, b));
    }
    poly = std::move(out);
  };
  auto atX = [](QPointF a, QPointF b, double x) {
    return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
  };
  auto atY = [](QPointF a, QPointF b, double y) {
    return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
  };
  double l = box.left(), r = box.right(), t = box.top(), b = box.bottom();
  cut([&](QPointF p) { return p.x() >= l; }, [&](QPointF a, QPointF c) { return atX(a, c, l); });
  cut([&](QPointF p) { return p.x() <= r; }, [&](QPointF a, QPointF c) { return atX(a, c, r); });
  cut([&](QPointF p) { return p.y() >= t; }, [&](QPointF a, QPointF c) { return atY(a, c, t); });
  cut([&](QPointF p) { return p.y() <= b; }, [&](QPointF a, QPointF c) { return atY(a, c, b); });
  QPolygonF result;
  for (const QPointF& p : poly) result << p;
  return result;
}

Qt::BrushStyle QtBrushStyle(TBrushStyle s) {
  switch (s) {
    case bsSolid: return Qt::SolidPattern;
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
  }
  return Qt::SolidPattern;
}

QPainter::CompositionMode CopyComposition(TCopyMode m) {
  switch (m) {
    case cmSrcCopy: return QPainter::CompositionMode_Source;
    case cmSrcInvert: return QPainter::RasterOp_SourceXorDestination;
    case cmSrcAnd: return QPainter::RasterOp_SourceAndDestination;
    case cmSrcPaint: return QPainter::RasterOp_SourceOrDestination;
    case cmNotSrcCopy: return QPainter::RasterOp_NotSource;
    case cmDstInvert: return QPainter::RasterOp_NotDestination;
  }
  return QPainter::CompositionMode_Source;
}

double ParametricAngle(double dx, double dyDown, double a, double b) {
  if (a <= 0 || b <= 0) return 0;
  double deg = std::atan2(-dyDown / b, dx / a) * 180.0 / std::numbers::pi;
  return deg < 0 ? deg + 360 : deg;
}

}  // namespace

QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
TColor FromQRgb(QRgb rgb) { return RGB(uint8_t(qRed(rgb)), uint8_t(qGreen(rgb)), uint8_t(qBlue(rgb))); }

QFont TQtPainterCanvas::QtFont() const {
  QFont f(QString::fromStdString(Font.Name));
  // Size 0 is the device's default: text read at arm's length, on paper as
  // on the screen.
  constexpr int kDefaultPoints = 10;
  f.setPointSize(Font.Size == 0 ? kDefaultPoints : std::abs(Font.Size));
  f.setBold(Font.Bold);
  f.setItalic(Font.Italic);
  f.setUnderline(Font.Underline);
  f.setStrikeOut(Font.StrikeOut);
  // Whole-pixel advances, as the classic device measures text.
  f.setHintingPreference(QFont::PreferFullHinting);
  if (Font.FixedPitch) {
    f.setFixedPitch(true);
    f.setStyleHint(QFont::TypeWriter);
  }
  return f;
}

QRect TQtPainterCanvas::DeviceRect() {
  QPaintDevice* d = Device();
  return d ? QRect(0, 0, d->width(), d->height()) : QRect();
}

void TQtPainterCanvas::FlushLines() const {
  if (lines_.empty()) return;
  linePainter_->drawLines(lines_.data(), int(lines_.size()));
  lines_.clear();
}

QPainter* TQtPainterCanvas::Prepare(TColor color, TPenMode mode, QColor& out) {
  FlushLines();
  lineReady_ = false;  // whatever the caller sets next is not a line's state
  QPainter* p = Painter();
  if (!p) return nullptr;
  bool rasterOps = p->paintEngine() && p->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
  TModeChoice m = ChooseMode(mode, color, rasterOps);
  if (!m.draw) return nullptr;
  p->setCompositionMode(m.comp);
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (clipped_) p->setClipRect(CutRect(clip_, DeviceRect()));
  else p->setClipping(false);
  p->setBackground(ToQColor(BackColor));
  p->setBackgroundMode(Qt::OpaqueMode);
  out = ToQColor(m.color);
  return p;
}

namespace {

QPen MakePen(const TPen& pen, const QColor& c) {
  int w = std::max(1, pen.Width);
  QPen qp(c);
  qp.setWidth(w == 1 ? 0 : w);
  qp.setCapStyle(w == 1 ? Qt::FlatCap : Qt::RoundCap);
  qp.setJoinStyle(Qt::RoundJoin);
  if (w == 1)
    if (const std::vector<int>* dashes = DashPattern(pen.Style))
      qp.setDashPattern(QList<qreal>(dashes->begin(), dashes->end()));
  return qp;
}

}  // namespace

void TQtPainterCanvas::Stroke(const std::vector<TPoint>& points, bool closed) {
  if (Pen.Style == psClear || points.size() < 2) return;
  const bool solid = Pen.Style == psSolid || Pen.Style == psInsideFrame;
  const std::vector<int>* dashes = Pen.Width <= 1 && !solid ? DashPattern(Pen.Style) : nullptr;
  if (!closed && (solid || dashes) && Pen.Width <= 1 && (rowsValid_ || FindPixelRows())) {
    // Segment by segment, as LineTo writes them and the headless raster
    // draws a one-pixel polyline; the dashes run on from one segment into
    // the next.
    long long step = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i) step += WriteLine(rows_, points[i], points[i + 1], dashes, step);
    return;
  }
  QColor c;
  QPainter* p = Prepare(Pen.Color, Pen.Mode, c);
  if (!p) return;
  p->setPen(MakePen(Pen, c));
  p->setBrush(Qt::NoBrush);
  if (!AnyHuge(points)) {
    QPolygon poly;
    for (const TPoint& pt : points) poly << QPoint(pt.X, pt.Y);
    if (closed) p->drawPolygon(poly);
    else if (points.size() == 2) {
      if (points[0] != points[1]) p->drawLine(poly[0], poly[1]);
    } else p->drawPolyline(poly);
    return;
  }
  double margin = 64 + std::max(1, Pen.Width);
  QRectF box = QRectF(DeviceRect()).adjusted(-margin, -margin, margin, margin);
  size_t n = closed ? points.size() : points.size() - 1;
  for (size_t i = 0; i < n; ++i) {
    const TPoint& a = points[i];
    const TPoint& b = points[(i + 1) % points.size()];
    double x0 = a.X, y0 = a.Y, x1 = b.X, y1 = b.Y;
    if (a != b && ClipSegment(x0, y0, x1, y1, box)) p->drawLine(QLineF(x0, y0, x1, y1));
  }
}

void TQtPainterCanvas::FillRects(const std::vector<QRect>& rects, TColor color, TPenMode mode) {
  QColor c;
  QPainter* p = Prepare(color, mode, c);
  if (!p) return;
  for (const QRect& r : rects)
    if (!r.isEmpty()) p->fillRect(r, c);
}

void TQtPainterCanvas::LineTo(int x, int y) {
  const TPoint from{PosX(), PosY()};
  pos_ = PackPos(x, y);
  const TPoint to{x, y};
  // Lines come by the hundred thousand in a redraw: an ordinary one is
  // drawn as Stroke draws it, without building point lists.
  if (Pen.Style == psClear) return;
  const bool solid = Pen.Style == psSolid || Pen.Style == psInsideFrame;
  // Dashed one-pixel lines (step copies, the zero lines) are written as
  // the headless raster walks them too: Qt's dashes step along other
  // pixels (from the other end of a line running left or up, in another
  // column where steep), which an erase in a solid pen would not cover.
  const std::vector<int>* dashes = Pen.Width <= 1 && !solid ? DashPattern(Pen.Style) : nullptr;
  const bool direct = (solid || dashes) && Pen.Width <= 1 && (rowsValid_ || FindPixelRows());
  if (direct && Pen.Mode == pmCopy && !clipped_) {
    // A one-step line is its start pixel: the dots of small drill symbols.
    const long long dx = (long long)x - from.X, dy = (long long)y - from.Y;
    if (dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1) {
      if ((dx | dy) != 0 && from.X >= 0 && from.Y >= 0 && from.X < rows_.Width && from.Y < rows_.Height) {
        const TColor c = Pen.Color;
        rows_.Data[ptrdiff_t(from.Y) * rows_.Stride + from.X] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
      }
      return;
    }
  }
  if (Huge(from.X) || Huge(from.Y) || Huge(x) || Huge(y)) {
    Stroke({from, {x, y}}, false);
    return;
  }
  if (from == to) return;
  if (direct) {
    WriteLine(rows_, from, to, dashes, 0);
    return;
  }
  QPainter* p = Painter();
  if (!p) return;
  const unsigned long session = PainterSession();
  if (!(lineReady_ && session != 0 && session == lineSession_ && Pen == linePen_ && BackColor == lineBack_ &&
        clipped_ == lineClipped_ && (!clipped_ || clip_ == lineClip_))) {
    QColor c;
    p = Prepare(Pen.Color, Pen.Mode, c);
    if (!p) return;
    p->setPen(MakePen(Pen, c));
    p->setBrush(Qt::NoBrush);
    lineReady_ = session != 0;
    lineSession_ = session;
    linePen_ = Pen;
    lineBack_ = BackColor;
    lineClipped_ = clipped_;
    lineClip_ = clip_;
    lineBounds_ = DeviceRect();
    // Qt strokes thin lines straight into the pixels only under a clip
    // rectangle; the device's own is no clip at all.
    if (!clipped_ && !lineBounds_.isEmpty()) p->setClipRect(lineBounds_);
  }
  // Lines are gathered only where the painter stays this canvas's own until
  // the run ends, and for solid one-pixel pens: wider pens would become one
  // path (XOR cancelling where the lines cross), and dashes depend on the
  // direction. Qt strokes an array of lines with one stroker, which adds a
  // pixel to a line that runs against the one before it; a line given from
  // its other end draws the same pixels, so gathered lines all run left to
  // right, or top to bottom where steep. Such a turned line must not be cut
  // to the device by Qt (the cut would round differently): one reaching
  // outside is drawn on its own.
  if (!lineReady_ || Pen.Width > 1 || !solid) {
    FlushLines();
    p->drawLine(QPoint(from.X, from.Y), QPoint(x, y));
    return;
  }
  QLine line(from.X, from.Y, x, y);
  const int dx = x - from.X, dy = y - from.Y;
  if (std::abs(dx) < std::abs(dy) ? dy < 0 : dx < 0) {
    if (!lineBounds_.contains(line.p1()) || !lineBounds_.contains(line.p2())) {
      FlushLines();
      p->drawLine(line);
      return;
    }
    line = QLine(line.p2(), line.p1());
  }
  linePainter_ = p;
  lines_.push_back(line);
  if (lines_.size() >= kLineBatch) FlushLines();
}

void TQtPainterCanvas::DrawStamps(const TStamp* stamps, size_t count, const TFigure* figures,
                                  size_t figureCount) {
  // On the rows, a thin solid pen that copies sets the lines' pixels as
  // LineTo writes them; any other pen or device draws through LineTo.
  const bool solid = Pen.Style == psSolid || Pen.Style == psInsideFrame;
  if (!(solid && Pen.Width <= 1 && Pen.Mode == pmCopy && (rowsValid_ || FindPixelRows()))) {
    TCanvas::DrawStamps(stamps, count, figures, figureCount);
    return;
  }
  TRect limit{0, 0, rows_.Width, rows_.Height};
  if (clipped_)
    limit = TRect{std::max(limit.Left, clip_.Left), std::max(limit.Top, clip_.Top),
                  std::min(limit.Right, clip_.Right), std::min(limit.Bottom, clip_.Bottom)};
  const TColor colour = Pen.Color;
  TPoint pen;
  QRgb* data = rows_.Data;
  const TPixelRows rows = rows_;
  const bool written = DrawStampsIn(
      data, rows.Stride, limit, stamps, count, figures, figureCount,
      [](TColor c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); },
      [&](const TStamp& s) {
        Pen.Color = s.Color;
        TCanvas::DrawStamps(&s, 1, figures, figureCount);
        // A far-out line goes through the painter: the rows are taken
        // back before the next stamp is written into them.
        if (!rowsValid_ && !FindPixelRows()) return;
        data = rows_.Data;
      },
      pen);
  Pen.Color = colour;
  if (written) pos_ = PackPos(pen.X, pen.Y);
}

long long TQtPainterCanvas::WriteLine(const TPixelRows& rows, TPoint from, TPoint to,
                                     const std::vector<int>* dashes, long long step) {
  if (Pen.Mode == pmNop) return 0;
  const TColor pen = Pen.Color & 0xFFFFFF;
  const QRgb copy = qRgb(GetRValue(pen), GetGValue(pen), GetBValue(pen));
  const TPenMode mode = Pen.Mode;
  // Other modes combine with the pixel as the headless raster combines them.
  auto combine = [pen, mode](QRgb& p) {
    const TColor t = ApplyPenMode(mode, pen, FromQRgb(p));
    p = qRgb(GetRValue(t), GetGValue(t), GetBValue(t));
  };
  TRect limit{0, 0, rows.Width, rows.Height};
  if (clipped_)
    limit = TRect{std::max(limit.Left, clip_.Left), std::max(limit.Top, clip_.Top),
                  std::min(limit.Right, clip_.Right), std::min(limit.Bottom, clip_.Bottom)};
  if (limit.Right <= limit.Left || limit.Bottom <= limit.Top) return 0;
  if (dashes) {
    // The gaps take the background, in the pen's mode.
    const TColor back = BackColor;
    return ForLinePixels(from.X, from.Y, to.X, to.Y, limit, [&](int x, int y, long long i) {
      QRgb& p = rows.Data[ptrdiff_t(y) * rows.Stride + x];
      const TColor t = ApplyPenMode(mode, PatternOn(*dashes, step + i) ? pen : back, FromQRgb(p));
      p = qRgb(GetRValue(t), GetGValue(t), GetBValue(t));
    });
  }
  if (std::min(from.X, to.X) >= limit.Left && std::max(from.X, to.X) < limit.Right &&
      std::min(from.Y, to.Y) >= limit.Top && std::max(from.Y, to.Y) < limit.Bottom) {
    if (mode == pmCopy)
      ForInsideLinePixels(rows.Data, rows.Stride, from.X, from.Y, to.X, to.Y, [copy](QRgb& p) { p = copy; });
    else
      ForInsideLinePixels(rows.Data, rows.Stride, from.X, from.Y, to.X, to.Y, combine);
    return 0;
  }
  ForLinePixels(from.X, from.Y, to.X, to.Y, limit, [&](int x, int y, long long) {
    QRgb& p = rows.Data[ptrdiff_t(y) * rows.Stride + x];
    if (mode == pmCopy)
      p = copy;
    else
      combine(p);
  });
  return 0;
}

void TQtPainterCanvas::Polyline(const std::vector<TPoint>& points) { Stroke(points, false); }

void TQtPainterCanvas::DrawCircles(const TCircleMark* circles, size_t count) {
  // On the rows, a thin solid pen that copies sets each ring's pixels as
  // the two arcs write them; any other pen or device draws the arcs.
  const bool solid = Pen.Style == psSolid || Pen.Style == psInsideFrame;
  if (!(solid && Pen.Width <= 1 && Pen.Mode == pmCopy && (rowsValid_ || FindPixelRows()))) {
    TCanvas::DrawCircles(circles, count);
    return;
  }
  TRect limit{0, 0, rows_.Width, rows_.Height};
  if (clipped_)
    limit = TRect{std::max(limit.Left, clip_.Left), std::max(limit.Top, clip_.Top),
                  std::min(limit.Right, clip_.Right), std::min(limit.Bottom, clip_.Bottom)};
  if (limit.Right <= limit.Left || limit.Bottom <= limit.Top) return;
  const TPixelRows& rows = rows_;
  for (size_t i = 0; i < count; ++i) {
    const TCircleMark& c = circles[i];
    const QRgb value = qRgb(GetRValue(c.Color), GetGValue(c.Color), GetBValue(c.Color));
    arcs_.Circle(Normalized(c.X1, TCircleMark::Beyond(c.Y1), TCircleMark::Beyond(c.X2), c.Y2),
                 Pen.Style == psInsideFrame, limit, c.X1, c.Y1, c.X2, c.Y2, rows.Data, rows.Stride, value);
  }
}

void TQtPainterCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  if (Pen.Style == psClear) return;
  TRect r = Normalized(x1, y1, x2, y2);
  long long w = (long long)r.Right - r.Left, h = (long long)r.Bottom - r.Top;
  if (w <= 0 || h <= 0) return;
  if (Pen.Width <= 1 && (rowsValid_ || FindPixelRows())) {
    // One-pixel arcs (the circles of holes and tools come by the ten
    // thousand, dashed where they are step copies) are written into the
    // rows pixel by pixel as the headless raster draws them: Qt strokes a
    // dashed arc as a path, many times slower.
    if (Pen.Mode == pmNop) return;
    TRect limit{0, 0, rows_.Width, rows_.Height};
    if (clipped_)
      limit = TRect{std::max(limit.Left, clip_.Left), std::max(limit.Top, clip_.Top),
                    std::min(limit.Right, clip_.Right), std::min(limit.Bottom, clip_.Bottom)};
    if (limit.Right <= limit.Left || limit.Bottom <= limit.Top) return;
    const TPenMode mode = Pen.Mode;
    const TColor pen = Pen.Color, back = BackColor;
    const TPixelRows& rows = rows_;
    arcs_.Arc(r, 1, Pen.Style, limit, x3, y3, x4, y4, [&](int y, int x0, int x1, bool on) {
      QRgb* row = rows.Data + ptrdiff_t(y) * rows.Stride;
      for (int x = x0; x < x1; ++x) {
        const TColor t = ApplyPenMode(mode, on ? pen : back, FromQRgb(row[x]));
        row[x] = qRgb(GetRValue(t), GetGValue(t), GetBValue(t));
      }
    });
    return;
  }
  if (AnyHuge({r.Left, r.Top, r.Right, r.Bottom})) {
    DrawHuge([&](TCanvas& c) { c.Arc(x1, y1, x2, y2, x3, y3, x4, y4); });
    return;
  }
  QColor c;
  QPainter* p = Prepare(Pen.Color, Pen.Mode, c);
  if (!p) return;
  QRectF q(r.Left, r.Top, double(w - 1), double(h - 1));
  double a = q.width() / 2, b = q.height() / 2;
  QPointF m = q.center();
  double start = ParametricAngle(x3 - m.x(), y3 - m.y(), a, b);
  double end = ParametricAngle(x4 - m.x(), y4 - m.y(), a, b);
  double span = end - start;
  if (span < 0) span += 360;
  if (std::fabs(span) < 1e-9) span = 360;
  p->setPen(MakePen(Pen, c));
  p->setBrush(Qt::NoBrush);
  if (q.width() == 0 || q.height() == 0) p->drawLine(q.topLeft(), q.bottomRight());
  else p->drawArc(q, int(std::lround(start * 16)), int(std::lround(span * 16)));
}

void TQtPainterCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  TRect r = Normalized(x1, y1, x2, y2);
  long long w = (long long)r.Right - r.Left, h = (long long)r.Bottom - r.Top;
  if (w <= 0 || h <= 0) return;
  if (AnyHuge({r.Left, r.Top, r.Right, r.Bottom})) {
    DrawHuge([&](TCanvas& c) { c.Ellipse(x1, y1, x2, y2); });
    return;
  }
  bool pen = Pen.Style != psClear;
  QColor c;
  if (Brush.Style != bsClear) {
    if (QPainter* p = Prepare(Brush.Color, Pen.Mode, c)) {
      p->setPen(Qt::NoPen);
      p->setBrush(QBrush(c, QtBrushStyle(Brush.Style)));
      // Inside the outline, so that the two never share a pixel.
      if (pen) p->drawEllipse(QRectF(r.Left + 1, r.Top + 1, double(w - 2), double(h - 2)));
      else p->drawEllipse(QRectF(r.Left, r.Top, double(w), double(h)));
    }
  }
  if (!pen) return;
  if (QPainter* p = Prepare(Pen.Color, Pen.Mode, c)) {
    p->setPen(MakePen(Pen, c));
    p->setBrush(Qt::NoBrush);
    int inset = Pen.Style == psInsideFrame ? std::max(1, Pen.Width) / 2 : 0;
    p->drawEllipse(QRect(r.Left + inset, r.Top + inset, int(w - 1 - 2 * inset), int(h - 1 - 2 * inset)));
  }
}

void TQtPainterCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  TRect r = Normalized(x1, y1, x2, y2);
  if ((long long)r.Right - r.Left <= 0 || (long long)r.Bottom - r.Top <= 0) return;
  QRect dev = DeviceRect().adjusted(-64, -64, 64, 64);
  bool pen = Pen.Style != psClear;
  int w = pen ? std::max(1, Pen.Width) : 0;
  long long lo = (Pen.Style == psInsideFrame || w == 0) ? 0 : (w - 1) / 2;
  long long hi = (Pen.Style == psInsideFrame || w == 0) ? 0 : w - 1 - lo;
  long long ol = r.Left - lo, ot = r.Top - lo, orr = r.Right + hi, ob = r.Bottom + hi;
  long long il = ol + w, it = ot + w, ir = orr - w, ib = ob - w;
  auto rect = [&](long long l, long long t, long long rr, long long b) {
    return CutRect(TRect{int(std::clamp<long long>(l, INT32_MIN + 1, INT32_MAX)),
                         int(std::clamp<long long>(t, INT32_MIN + 1, INT32_MAX)),
                         int(std::clamp<long long>(rr, INT32_MIN + 1, INT32_MAX)),
                         int(std::clamp<long long>(b, INT32_MIN + 1, INT32_MAX))},
                   dev);
  };
  if (Brush.Style != bsClear && il < ir && it < ib) {
    QColor c;
    if (QPainter* p = Prepare(Brush.Color, Pen.Mode, c)) {
      QRect inner = rect(il, it, ir, ib);
      if (!inner.isEmpty()) p->fillRect(inner, QBrush(c, QtBrushStyle(Brush.Style)));
    }
  }
  if (!pen) return;
  bool styled = w == 1 && Pen.Style != psSolid && Pen.Style != psInsideFrame;
  if (styled) {
    Stroke({{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1}}, true);
    return;
  }
  if (it >= ib || il >= ir) {
    FillRects({rect(ol, ot, orr, ob)}, Pen.Color, Pen.Mode);
    return;
  }
  FillRects({rect(ol, ot, orr, it), rect(ol, ib, orr, ob), rect(ol, it, il, ib), rect(ir, it, orr, ib)}, Pen.Color,
            Pen.Mode);
}

void TQtPainterCanvas::Polygon(const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  if (Brush.Style != bsClear) {
    QColor c;
    if (QPainter* p = Prepare(Brush.Color, Pen.Mode, c)) {
      p->setPen(Qt::NoPen);
      p->setBrush(QBrush(c, QtBrushStyle(Brush.Style)));
      if (AnyHuge(points)) {
        p->drawPolygon(ClipPolygon(points, QRectF(DeviceRect()).adjusted(-64, -64, 64, 64)), Qt::OddEvenFill);
      } else {
        QPolygon poly;
        for (const TPoint& pt : points) poly << QPoint(pt.X, pt.Y);
        p->drawPolygon(poly, Qt::OddEvenFill);
      }
    }
  }
  Stroke(points, true);
}

void TQtPainterCanvas::FillRect(const TRect& r) {
  if (Brush.Style == bsClear) return;
  QColor c;
  if (QPainter* p = Prepare(Brush.Color, pmCopy, c)) {
    QRect q = CutRect(Normalized(r.Left, r.Top, r.Right, r.Bottom), DeviceRect());
    if (!q.isEmpty()) p->fillRect(q, QBrush(c, QtBrushStyle(Brush.Style)));
  }
}

void TQtPainterCanvas::FrameRect(const TRect& rect) {
  if (Brush.Style == bsClear) return;
  TRect r = Normalized(rect.Left, rect.Top, rect.Right, rect.Bottom);
  if ((long long)r.Right - r.Left <= 0 || (long long)r.Bottom - r.Top <= 0) return;
  QRect d = DeviceRect().adjusted(-1, -1, 1, 1);
  FillRects({CutRect({r.Left, r.Top, r.Right, r.Top + 1}, d), CutRect({r.Left, r.Bottom - 1, r.Right, r.Bottom}, d),
             CutRect({r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1}, d),
             CutRect({r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1}, d)},
            Brush.Color, pmCopy);
}

void TQtPainterCanvas::DrawText(const QRect* limit, int x, int y, const std::string& text) {
  QPaintDevice* dev = Device();
  if (!dev) return;
  QString s = QString::fromStdString(text);
  QFont f = QtFont();
  QFontMetrics fm(f, dev);
  QColor c;
  if (Brush.Style != bsClear) {
    if (QPainter* p = Prepare(Brush.Color, pmCopy, c)) {
      QRect cell(x, y, fm.horizontalAdvance(s), fm.height());
      if (limit) cell &= *limit;
      if (!cell.isEmpty()) p->fillRect(cell, c);
    }
  }
  QPainter* p = Prepare(Font.Color, pmCopy, c);
  if (!p) return;
  p->setBackgroundMode(Qt::TransparentMode);
  if (limit) p->setClipRect(*limit, clipped_ ? Qt::IntersectClip : Qt::ReplaceClip);
  p->setFont(f);
  p->setPen(QPen(c));
  p->drawText(QPoint(x, y + fm.ascent()), s);
}

void TQtPainterCanvas::TextOut(int x, int y, const std::string& text) {
  DrawText(nullptr, x, y, text);
  pos_ = PackPos(x + TextExtent(text).X, y);
}

void TQtPainterCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  FillRect(r);
  QRect limit = CutRect(Normalized(r.Left, r.Top, r.Right, r.Bottom), DeviceRect());
  if (limit.isEmpty()) return;
  TBrushStyle keep = Brush.Style;
  Brush.Style = bsClear;
  DrawText(&limit, x, y, text);
  Brush.Style = keep;
}

TPoint TQtPainterCanvas::TextExtent(const std::string& text) {
  QPaintDevice* dev = Device();
  QFontMetrics fm = dev ? QFontMetrics(QtFont(), dev) : QFontMetrics(QtFont());
  return {fm.horizontalAdvance(QString::fromStdString(text)), fm.height()};
}

void TQtPainterCanvas::CopyRect(const TRect& dest, const TBitmap& source, const TRect& src) {
  if ((long long)dest.Right - dest.Left <= 0 || (long long)dest.Bottom - dest.Top <= 0 ||
      (long long)src.Right - src.Left <= 0 || (long long)src.Bottom - src.Top <= 0)
    return;
  if (AnyHuge({dest.Left, dest.Top, dest.Right, dest.Bottom, src.Left, src.Top, src.Right, src.Bottom})) return;
  QImage image;
  if (auto* q = dynamic_cast<const TQtBitmap*>(&source)) {
    image = q->Image();
  } else {
    image = QImage(source.Width(), source.Height(), QImage::Format_RGB32);
    std::vector<TColor> px = source.Pixels();
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        TColor c = px[size_t(y) * size_t(image.width()) + size_t(x)];
        line[x] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
      }
    }
  }
  QColor unused;
  QPainter* p = Prepare(clBlack, pmCopy, unused);
  if (!p) return;
  bool rasterOps = p->paintEngine() && p->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
  QRect d(dest.Left, dest.Top, dest.Right - dest.Left, dest.Bottom - dest.Top);
  QRect s(src.Left, src.Top, src.Right - src.Left, src.Bottom - src.Top);
  if (!rasterOps) {
    if (CopyMode == cmDstInvert) return;
    if (CopyMode == cmNotSrcCopy) image.invertPixels();
    p->setCompositionMode(QPainter::CompositionMode_Source);
  } else {
    p->setCompositionMode(CopyComposition(CopyMode));
  }
  if (CopyMode == cmDstInvert && rasterOps) p->fillRect(d, Qt::black);
  else p->drawImage(d, image, s);
}

void TQtPainterCanvas::ClipRect(const TRect& r) {
  clipped_ = (long long)r.Right - r.Left > 0 && (long long)r.Bottom - r.Top > 0;
  clip_ = r;
}

// ---------------------------------------------------------------------------

QPainter* TQtImageCanvas::Painter() {
  if (!painter_.isActive()) {
    if (image_.isNull() || !painter_.begin(&image_)) return nullptr;
    ++session_;
    rowsValid_ = false;
  }
  return &painter_;
}

void TQtImageCanvas::ClosePainter() const {
  FlushLines();
  if (painter_.isActive()) painter_.end();
}

void TQtImageCanvas::End() const {
  ClosePainter();
  // The image may now be copied or replaced: its rows are looked up again.
  rowsValid_ = false;
}

bool TQtImageCanvas::FindPixelRows() {
  // The rows found stay good until a painter opens or the image is handed
  // out (End): in between nothing else reaches it.
  if (image_.isNull() || image_.format() != QImage::Format_RGB32) return false;
  ClosePainter();
  rows_.Data = reinterpret_cast<QRgb*>(image_.bits());
  rows_.Stride = image_.bytesPerLine() / ptrdiff_t(sizeof(QRgb));
  rows_.Width = image_.width();
  rows_.Height = image_.height();
  rowsValid_ = true;
  return true;
}

void TQtImageCanvas::SetPixel(int x, int y, TColor c) {
  if (clipped_ && (x < clip_.Left || x >= clip_.Right || y < clip_.Top || y >= clip_.Bottom)) return;
  if (rowsValid_ || FindPixelRows()) {
    // Holes shown as pixels come by the hundred thousand.
    if (x >= 0 && y >= 0 && x < rows_.Width && y < rows_.Height)
      rows_.Data[ptrdiff_t(y) * rows_.Stride + x] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
    return;
  }
  ClosePainter();
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  image_.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
}

void TQtImageCanvas::SetPixels(const TPoint* points, size_t count, TColor c) {
  if (!(rowsValid_ || FindPixelRows())) {
    TCanvas::SetPixels(points, count, c);
    return;
  }
  // The dots of small symbols: the clip and the colour worked out once.
  int left = 0, top = 0, right = rows_.Width, bottom = rows_.Height;
  if (clipped_) {
    left = std::max(left, clip_.Left);
    top = std::max(top, clip_.Top);
    right = std::min(right, clip_.Right);
    bottom = std::min(bottom, clip_.Bottom);
  }
  const QRgb value = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
  for (size_t i = 0; i < count; ++i) {
    const int x = points[i].X, y = points[i].Y;
    if (x >= left && y >= top && x < right && y < bottom) rows_.Data[ptrdiff_t(y) * rows_.Stride + x] = value;
  }
}

void TQtImageCanvas::SetPatternPixels(const TColoredPoint* points, size_t count, const TPoint* offsets,
                                      size_t offsetCount) {
  if (!(rowsValid_ || FindPixelRows())) {
    TCanvas::SetPatternPixels(points, count, offsets, offsetCount);
    return;
  }
  // The marks of a run of holes: the clip worked out once.
  TRect limit{0, 0, rows_.Width, rows_.Height};
  if (clipped_) {
    limit.Left = std::max(limit.Left, clip_.Left);
    limit.Top = std::max(limit.Top, clip_.Top);
    limit.Right = std::min(limit.Right, clip_.Right);
    limit.Bottom = std::min(limit.Bottom, clip_.Bottom);
  }
  SetPatternPixelsIn(rows_.Data, rows_.Stride, limit, points, count, offsets, offsetCount,
                     [](TColor c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); });
}

TColor TQtImageCanvas::GetPixel(int x, int y) const {
  ClosePainter();
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return clWhite;
  return FromQRgb(image_.pixel(x, y));
}

bool TQtImageCanvas::DrawHuge(const std::function<void(TCanvas&)>& draw) {
  ClosePainter();
  if (image_.isNull()) return true;
  int w = image_.width(), h = image_.height();
  TRasterBitmap raster(w, h);
  auto& px = raster.Buffer();
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
    for (int x = 0; x < w; ++x) px[size_t(y) * size_t(w) + size_t(x)] = FromQRgb(line[x]);
  }
  auto& c = static_cast<TRasterCanvas&>(raster.Canvas());
  c.Pen = Pen;
  c.Brush = Brush;
  c.Font = Font;
  c.CopyMode = CopyMode;
  c.BackColor = BackColor;
  if (clipped_) c.ClipRect(clip_);
  c.PixelsPerInch = std::max(1, image_.logicalDpiY());
  draw(c);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
    for (int x = 0; x < w; ++x) {
      TColor t = px[size_t(y) * size_t(w) + size_t(x)];
      line[x] = qRgb(GetRValue(t), GetGValue(t), GetBValue(t));
    }
  }
  return true;
}

// ---------------------------------------------------------------------------

TQtBitmap::TQtBitmap(int width, int height) : canvas_(image_) { SetSize(width, height); }

namespace {

// A new RGB32 image. A screen picture is tens of megabytes drawn at random
// places: a large one lies on memory advised for large pages, so that its
// writes do not miss the address cache at every hole (as the headless
// raster's). The image frees the memory with its last copy.
QImage NewImage(int width, int height) {
#ifdef __linux__
  constexpr size_t LargePage = size_t(2) << 20;
  const qsizetype bytesPerLine = qsizetype(width) * qsizetype(sizeof(QRgb));
  const size_t bytes = size_t(bytesPerLine) * size_t(std::max(0, height));
  if (width > 0 && height > 0 && bytes >= 4 * LargePage) {
    const size_t rounded = (bytes + LargePage - 1) & ~(LargePage - 1);
    if (void* memory = std::aligned_alloc(LargePage, rounded)) {
      madvise(memory, rounded, MADV_HUGEPAGE);
      QImage image(static_cast<uchar*>(memory), width, height, bytesPerLine, QImage::Format_RGB32,
                   [](void* block) { std::free(block); }, memory);
      if (!image.isNull()) return image;
      std::free(memory);
    }
  }
#endif
  return QImage(std::max(0, width), std::max(0, height), QImage::Format_RGB32);
}

}  // namespace

void TQtBitmap::SetSize(int width, int height) {
  canvas_.End();
  image_ = NewImage(width, height);
  if (!image_.isNull()) image_.fill(Qt::white);
}

const QImage& TQtBitmap::Image() const {
  canvas_.End();
  return image_;
}

std::vector<TColor> TQtBitmap::Pixels() const {
  canvas_.End();
  std::vector<TColor> out;
  out.reserve(size_t(image_.width()) * size_t(image_.height()));
  for (int y = 0; y < image_.height(); ++y) {
    auto* line = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
    for (int x = 0; x < image_.width(); ++x) out.push_back(FromQRgb(line[x]));
  }
  return out;
}

bool TQtBitmap::SaveToPng(const std::string& path) const {
  canvas_.End();
  if (image_.isNull()) return false;
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (!image_.save(&file, "PNG")) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

namespace {
class TQtCanvasBackend : public TCanvasBackend {
 public:
  std::unique_ptr<TBitmap> CreateBitmap(int width, int height) override {
    return std::make_unique<TQtBitmap>(width, height);
  }
  TScreenMetrics Screen() override {
    TScreenMetrics metrics;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      metrics.Width = std::max(screen->size().width(), 1);
      metrics.Height = std::max(screen->size().height(), 1);
      metrics.BitsPerPixel = std::max(screen->depth(), 1);
    }
    return metrics;
  }
};
}  // namespace

void InstallQtCanvasBackend() { SetCanvasBackend(std::make_unique<TQtCanvasBackend>()); }
