#include "platform/headless/raster_canvas.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwchar>
#include <numbers>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "platform/canvas_png.h"
#include "platform/canvas_text_cell.h"
#include "platform/headless/raster_lines.h"

namespace {

using TInterval = std::pair<long long, long long>;  // [first, second)

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

TRect Normalized(int x1, int y1, int x2, int y2) {
  return TRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

long long WidthOf(const TRect& r) { return (long long)r.Right - r.Left; }
long long HeightOf(const TRect& r) { return (long long)r.Bottom - r.Top; }

int ClampInt(long long v) {
  return int(std::clamp<long long>(v, -2147483647LL, 2147483647LL));
}

// The rectangle around a shape, widened by a margin, cut to a limit.
TRect AroundShape(long long left, long long top, long long right, long long bottom, long long margin,
                  const TRect& limit) {
  TRect r{ClampInt(left - margin), ClampInt(top - margin), ClampInt(right + margin),
          ClampInt(bottom + margin)};
  return Intersect(r, limit);
}

// Pixels whose centres (x + 0.5) lie in the closed range [lo, hi].
bool CentresIn(double lo, double hi, long long& x0, long long& x1) {
  if (!(lo <= hi)) return false;
  lo = std::clamp(lo, -5e9, 5e9);
  hi = std::clamp(hi, -5e9, 5e9);
  x0 = (long long)std::ceil(lo - 0.5);
  x1 = (long long)std::floor(hi - 0.5) + 1;
  return x0 < x1;
}

// Steps through a dash pattern pixel by pixel: Next answers whether the
// next pixel is on, as PatternOn does for its index.
class TDashWalk {
 public:
  explicit TDashWalk(const std::vector<int>& pattern) : pattern_(pattern) {}
  bool Next() {
    while (left_ == 0) {
      k_ = (k_ + 1) % pattern_.size();
      left_ = pattern_[k_];
    }
    --left_;
    return k_ % 2 == 0;
  }

 private:
  const std::vector<int>& pattern_;
  size_t k_ = 0;
  int left_ = pattern_[0];
};

bool HatchOn(TBrushStyle style, int x, int y) {
  auto m = [](long long v) { return ((v % 8) + 8) % 8 == 0; };
  switch (style) {
    case bsHorizontal: return m(y);
    case bsVertical: return m(x);
    case bsFDiagonal: return m((long long)x - y);
    case bsBDiagonal: return m((long long)x + y);
    case bsCross: return m(x) || m(y);
    case bsDiagCross: return m((long long)x - y) || m((long long)x + y);
    default: return true;
  }
}

// Pixel columns of row y covered by an axis-parallel ellipse (centre and
// semi-axes in continuous coordinates; pixel x spans [x, x + 1)).
bool EllipseRow(double cx, double cy, double a, double b, long long y, long long& x0, long long& x1) {
  if (a <= 0 || b <= 0) return false;
  double t = (double(y) + 0.5 - cy) / b;
  if (std::fabs(t) > 1) return false;
  double h = a * std::sqrt(1 - t * t);
  return CentresIn(cx - h, cx + h, x0, x1);
}

// Whether every row's end cx -/+ h of the ellipse in r, as EllipseRow works
// it out, lies farther than 1e-6 from a pixel's centre.
bool RowEndsClear(const TRect& r) {
  const double cx = (double(r.Left) + r.Right) / 2, cy = (double(r.Top) + r.Bottom) / 2;
  const double a = WidthOf(r) / 2.0, b = HeightOf(r) / 2.0;
  for (long long y = r.Top; y < r.Bottom; ++y) {
    const double t = (double(y) + 0.5 - cy) / b;
    if (std::fabs(t) > 1) continue;
    const double h = a * std::sqrt(1 - t * t);
    for (double end : {cx - h - 0.5, cx + h - 0.5})
      if (std::fabs(end - std::round(end)) <= 1e-6) return false;
  }
  return true;
}

// Angle in degrees [0, 360) of a direction given with y growing downwards,
// measured counter-clockwise as seen on the device.
double DeviceAngle(double dx, double dy) {
  double a = std::atan2(-dy, dx) * 180.0 / std::numbers::pi;
  return a < 0 ? a + 360.0 : a;
}

}  // namespace

// Sets of pixels kept as sorted runs per row, inside a limit rectangle.
// Rows are kept only from the first to the last touched, so a shape that
// puts few pixels into a tall limit costs few rows.
class TRasterCanvas::TSpans {
 public:
  explicit TSpans(const TRect& limit) : limit_(limit), top_(limit.Top) {}

  const TRect& Limit() const { return limit_; }

  void Add(long long y, long long x0, long long x1) {
    if (y < limit_.Top || y >= limit_.Bottom) return;
    x0 = std::max<long long>(x0, limit_.Left);
    x1 = std::min<long long>(x1, limit_.Right);
    if (x0 < x1) Row(y).push_back({x0, x1});
  }
  void AddPixel(int x, int y) { Add(y, x, (long long)x + 1); }

  // Sorts the runs of every row and merges those that touch.
  void Normalize() {
    for (auto& row : rows_) {
      if (row.size() < 2) continue;
      std::sort(row.begin(), row.end());
      size_t out = 0;
      for (size_t i = 1; i < row.size(); ++i) {
        if (row[i].first <= row[out].second) row[out].second = std::max(row[out].second, row[i].second);
        else row[++out] = row[i];
      }
      row.resize(out + 1);
    }
  }

  // Removes the pixels of other (both normalized).
  void Subtract(const TSpans& other) {
    for (size_t r = 0; r < rows_.size(); ++r) {
      long long y = top_ + (long long)r;
      if (y < other.top_ || y >= other.top_ + (long long)other.rows_.size()) continue;
      const auto& cut = other.rows_[size_t(y - other.top_)];
      if (cut.empty() || rows_[r].empty()) continue;
      std::vector<TInterval> out;
      for (TInterval run : rows_[r]) {
        for (const TInterval& c : cut) {
          if (c.second <= run.first || c.first >= run.second) continue;
          if (c.first > run.first) out.push_back({run.first, c.first});
          run.first = std::max(run.first, c.second);
          if (run.first >= run.second) break;
        }
        if (run.first < run.second) out.push_back(run);
      }
      rows_[r] = std::move(out);
    }
  }

  template <class F>
  void ForEach(F f) const {
    for (size_t r = 0; r < rows_.size(); ++r)
      for (const TInterval& run : rows_[r]) f(int(top_ + (long long)r), int(run.first), int(run.second));
  }

 private:
  // The runs of row y (inside the limit), making room for it. Rows added
  // above the first are made room for at least as many as are kept, so a
  // shape drawn upwards row by row costs no more than one drawn downwards.
  std::vector<TInterval>& Row(long long y) {
    if (rows_.empty()) {
      top_ = y;
    } else if (y < top_) {
      long long grow = std::max<long long>(top_ - y, (long long)rows_.size());
      grow = std::min<long long>(grow, top_ - limit_.Top);
      rows_.insert(rows_.begin(), size_t(grow), {});
      top_ -= grow;
    }
    if (size_t(y - top_) >= rows_.size()) rows_.resize(size_t(y - top_) + 1);
    return rows_[size_t(y - top_)];
  }

  TRect limit_;
  long long top_;                              // the row of rows_[0]
  std::vector<std::vector<TInterval>> rows_;  // from the first touched row to the last
};

namespace {

// Adds the pixels whose centres lie within radius r of the segment between
// the centres of pixels a and c (a line with round ends).
template <class TSpanSet>
void AddCapsule(TSpanSet& spans, TPoint a, TPoint c, double r) {
  double ax = a.X + 0.5, ay = a.Y + 0.5, cx = c.X + 0.5, cy = c.Y + 0.5;
  double dx = cx - ax, dy = cy - ay, len2 = dx * dx + dy * dy, len = std::sqrt(len2);
  const TRect& lim = spans.Limit();
  long long yFirst = std::max<long long>(lim.Top, (long long)std::floor(std::min(ay, cy) - r - 1));
  long long yLast = std::min<long long>(lim.Bottom - 1, (long long)std::ceil(std::max(ay, cy) + r + 1));
  for (long long y = yFirst; y <= yLast; ++y) {
    double yc = double(y) + 0.5;
    double lo = 1e300, hi = -1e300;
    auto join = [&](double l, double h) {
      if (l > h) return;
      lo = std::min(lo, l);
      hi = std::max(hi, h);
    };
    for (auto [px, py] : {std::pair{ax, ay}, std::pair{cx, cy}}) {
      double t = yc - py;
      if (std::fabs(t) <= r) {
        double h = std::sqrt(r * r - t * t);
        join(px - h, px + h);
      }
    }
    if (len2 > 0) {
      // |cross(d, X - A)| <= r * len and 0 <= dot(d, X - A) <= len2, both
      // linear in x for X = (x, yc).
      double bl = -1e300, bh = 1e300;
      auto within = [&](double k, double m, double l, double h) {
        if (k == 0) {
          if (m < l || m > h) bl = 1, bh = 0;
          return;
        }
        double u = (l - m) / k, v = (h - m) / k;
        bl = std::max(bl, std::min(u, v));
        bh = std::min(bh, std::max(u, v));
      };
      within(-dy, dx * (yc - ay) + dy * ax, -r * len, r * len);
      within(dx, -dx * ax + dy * (yc - ay), 0, len2);
      join(bl, bh);
    }
    long long x0, x1;
    if (lo <= hi && CentresIn(lo, hi, x0, x1)) spans.Add(y, x0, x1);
  }
}

}  // namespace

namespace {

// Pixels x0 .. x1 - 1 of a row in the mode.
void PaintRun(TColor* row, long long x0, long long x1, TColor color, TPenMode mode) {
  if (x0 >= x1) return;
  if (mode == pmCopy) {
    // A long run (a fill, the picture's clear) through the C library's
    // fill of four-byte words, which writes them many at a time.
    static_assert(sizeof(wchar_t) == sizeof(TColor));
    if (x1 - x0 >= 32)
      std::wmemset(reinterpret_cast<wchar_t*>(row + x0), wchar_t(color & 0xFFFFFF), size_t(x1 - x0));
    else
      std::fill(row + x0, row + x1, color & 0xFFFFFF);
    return;
  }
  for (long long x = x0; x < x1; ++x) row[x] = ApplyPenMode(mode, color, row[x]);
}

}  // namespace

TRect TRasterCanvas::Bounds() const {
  TRect all{0, 0, bitmap_.Width(), bitmap_.Height()};
  return clipped_ ? Intersect(all, clip_) : all;
}

void TRasterCanvas::Paint(const TSpans& spans, TColor color, TPenMode mode) {
  if (mode == pmNop) return;
  auto& px = bitmap_.Buffer();
  int w = bitmap_.Width();
  spans.ForEach([&](int y, int x0, int x1) { PaintRun(px.data() + size_t(y) * size_t(w), x0, x1, color, mode); });
}

void TRasterCanvas::PaintBrush(const TSpans& spans) {
  if (Brush.Style == bsClear) return;
  if (Brush.Style == bsSolid) {
    Paint(spans, Brush.Color, Pen.Mode);
    return;
  }
  if (Pen.Mode == pmNop) return;
  auto& px = bitmap_.Buffer();
  int w = bitmap_.Width();
  spans.ForEach([&](int y, int x0, int x1) {
    TColor* row = px.data() + size_t(y) * size_t(w);
    for (int x = x0; x < x1; ++x)
      row[x] = ApplyPenMode(Pen.Mode, HatchOn(Brush.Style, x, y) ? Brush.Color : BackColor, row[x]);
  });
}

// Strokes the lines through points with the pen. Without outline spans the
// pixels are painted at once (1-pixel lines segment by segment, as the
// classic device does; wider lines as one shape); with them, pen pixels go
// to outline[0] and the gaps of styled pens to outline[1].
void TRasterCanvas::DrawLines(const TPoint* points, size_t count, bool closed, TSpans* outline) {
  if (Pen.Style == psClear || count < 2) return;
  size_t segments = closed ? count : count - 1;
  TRect bounds = Bounds();
  int w = std::max(1, Pen.Width);
  if (w == 1) {
    const std::vector<int>* pattern = Pen.Style == psSolid ? nullptr : DashPattern(Pen.Style);
    auto& px = bitmap_.Buffer();
    int bw = bitmap_.Width();
    if (!pattern && !outline) {
      // Solid pens paint each pixel in the pen's mode; copy needs no read.
      if (Pen.Mode == pmNop) return;
      const TColor colour = Pen.Color & 0xFFFFFF;
      const TPenMode mode = Pen.Mode;
      TColor* data = px.data();
      for (size_t s = 0; s < segments; ++s) {
        TPoint a = points[s], c = points[(s + 1) % count];
        if (std::min(a.X, c.X) >= bounds.Left && std::max(a.X, c.X) < bounds.Right &&
            std::min(a.Y, c.Y) >= bounds.Top && std::max(a.Y, c.Y) < bounds.Bottom) {
          if (mode == pmCopy)
            ForInsideLinePixels(data, bw, a.X, a.Y, c.X, c.Y, [&](TColor& p) { p = colour; });
          else
            ForInsideLinePixels(data, bw, a.X, a.Y, c.X, c.Y,
                                [&](TColor& p) { p = ApplyPenMode(mode, colour, p); });
          continue;
        }
        if (mode == pmCopy)
          ForLinePixels(a.X, a.Y, c.X, c.Y, bounds,
                        [&](int x, int y, long long) { data[size_t(y) * size_t(bw) + size_t(x)] = colour; });
        else
          ForLinePixels(a.X, a.Y, c.X, c.Y, bounds, [&](int x, int y, long long) {
            TColor& p = data[size_t(y) * size_t(bw) + size_t(x)];
            p = ApplyPenMode(mode, colour, p);
          });
      }
      return;
    }
    long long index = 0;
    for (size_t s = 0; s < segments; ++s) {
      TPoint a = points[s], c = points[(s + 1) % count];
      index += ForLinePixels(a.X, a.Y, c.X, c.Y, bounds, [&](int x, int y, long long i) {
        bool on = !pattern || PatternOn(*pattern, index + i);
        if (outline) {
          outline[on ? 0 : 1].AddPixel(x, y);
        } else if (Pen.Mode != pmNop) {
          TColor& p = px[size_t(y) * size_t(bw) + size_t(x)];
          p = ApplyPenMode(Pen.Mode, on ? Pen.Color : BackColor, p);
        }
      });
    }
    return;
  }
  long long l = points[0].X, t = points[0].Y, r = l, b = t;
  for (size_t k = 0; k < count; ++k) {
    const TPoint& p = points[k];
    l = std::min<long long>(l, p.X);
    t = std::min<long long>(t, p.Y);
    r = std::max<long long>(r, p.X);
    b = std::max<long long>(b, p.Y);
  }
  TSpans own(AroundShape(l, t, r + 1, b + 1, w, bounds));
  TSpans& spans = outline ? outline[0] : own;
  for (size_t s = 0; s < segments; ++s)
    AddCapsule(spans, points[s], points[(s + 1) % count], w / 2.0);
  if (!outline) {
    own.Normalize();
    Paint(own, Pen.Color, Pen.Mode);
  }
}

void TRasterCanvas::MoveTo(int x, int y) { pos_ = {x, y}; }

void TRasterCanvas::LineTo(int x, int y) {
  // A one-step line is its start pixel in the pen's colour, whatever the
  // style (patterns start with a dash): the dots of small drill symbols.
  const long long dx = (long long)x - pos_.X, dy = (long long)y - pos_.Y;
  if ((unsigned long long)(dx + 1) <= 2 && (unsigned long long)(dy + 1) <= 2 && (dx | dy) != 0 &&
      Pen.Width <= 1 && Pen.Style != psClear) {
    const TRect b = clipped_ ? Bounds() : TRect{0, 0, bitmap_.Width(), bitmap_.Height()};
    if (Pen.Mode != pmNop && pos_.X >= b.Left && pos_.X < b.Right && pos_.Y >= b.Top && pos_.Y < b.Bottom) {
      TColor& p = bitmap_.Buffer()[size_t(pos_.Y) * size_t(bitmap_.Width()) + size_t(pos_.X)];
      p = Pen.Mode == pmCopy ? Pen.Color & 0xFFFFFF : ApplyPenMode(Pen.Mode, Pen.Color, p);
    }
    pos_ = {x, y};
    return;
  }
  // A line wholly beside the picture, beyond the reach of its pen, paints
  // nothing: the rout paths and arcs of a job mostly lie outside a zoomed
  // picture.
  const TRect b = Bounds();
  const long long reach = std::max(1, Pen.Width);
  if (std::max(x, pos_.X) < b.Left - reach || std::min(x, pos_.X) >= b.Right + reach ||
      std::max(y, pos_.Y) < b.Top - reach || std::min(y, pos_.Y) >= b.Bottom + reach) {
    pos_ = {x, y};
    return;
  }
  // Lines come by the hundred thousand in a redraw: no allocation here.
  const TPoint ends[2] = {pos_, {x, y}};
  DrawLines(ends, 2, false, nullptr);
  pos_ = {x, y};
}

void TRasterCanvas::Polyline(const std::vector<TPoint>& points) { DrawLines(points, false, nullptr); }

void TRasterCanvas::SetPixel(int x, int y, TColor c) {
  TRect b = Bounds();
  if (x < b.Left || x >= b.Right || y < b.Top || y >= b.Bottom) return;
  bitmap_.Buffer()[size_t(y) * size_t(bitmap_.Width()) + size_t(x)] = c & 0xFFFFFF;
}

void TRasterCanvas::SetPixels(const TPoint* points, size_t count, TColor c) {
  const TRect b = Bounds();
  std::vector<TColor>& buffer = bitmap_.Buffer();
  const size_t width = size_t(bitmap_.Width());
  for (size_t i = 0; i < count; ++i) {
    const int x = points[i].X, y = points[i].Y;
    if (x >= b.Left && x < b.Right && y >= b.Top && y < b.Bottom)
      buffer[size_t(y) * width + size_t(x)] = c & 0xFFFFFF;
  }
}

void TRasterCanvas::SetPatternPixels(const TColoredPoint* points, size_t count, const TPoint* offsets,
                                     size_t offsetCount) {
  SetPatternPixelsIn(bitmap_.Buffer().data(), ptrdiff_t(bitmap_.Width()), Bounds(), points, count, offsets,
                     offsetCount, [](TColor c) { return TColor(c & 0xFFFFFF); });
}

void TRasterCanvas::DrawStamps(const TStamp* stamps, size_t count, const TFigure* figures, size_t figureCount) {
  // A thin solid pen that copies sets the lines' pixels as they are; any
  // other pen draws through LineTo.
  const bool solid = Pen.Style != psClear && (Pen.Style == psSolid || DashPattern(Pen.Style) == nullptr);
  if (!(solid && Pen.Mode == pmCopy && Pen.Width <= 1)) {
    TCanvas::DrawStamps(stamps, count, figures, figureCount);
    return;
  }
  const TColor colour = Pen.Color;
  TPoint pen;
  TColor* data = bitmap_.Buffer().data();
  const bool written = DrawStampsIn(
      data, ptrdiff_t(bitmap_.Width()), Bounds(), stamps, count, figures, figureCount,
      [](TColor c) { return TColor(c & 0xFFFFFF); },
      [&](const TStamp& s) {
        Pen.Color = s.Color;
        TCanvas::DrawStamps(&s, 1, figures, figureCount);
      },
      pen);
  Pen.Color = colour;
  if (written) pos_ = pen;
}

TColor TRasterCanvas::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= bitmap_.Width() || y >= bitmap_.Height()) return clWhite;
  return bitmap_.Buffer()[size_t(y) * size_t(bitmap_.Width()) + size_t(x)];
}

namespace {

// Rows of lim near which a row of the ellipse (cx, cy, a, b) begins or ends
// (its top and bottom) or has an end within, or a few pixels beside, the
// columns of lim, as [first, last] ranges added to rows. Between these rows
// every end of every row lies on the same side of lim's columns, so every
// row meets lim's columns alike.
void AddEdgeRows(double cx, double cy, double a, double b, const TRect& lim, std::vector<TInterval>& rows) {
  if (!(a > 0 && b > 0)) return;
  constexpr double margin = 4;  // pixels beside the columns
  constexpr long long near = 3;  // rows each side of an end's rows
  const double top = lim.Top - 8.0, bottom = lim.Bottom + 8.0;
  // Rows whose t = (y + 0.5 - cy) / b has a magnitude in [tl, th].
  auto addT = [&](double tl, double th) {
    for (int side : {-1, 1}) {
      double y0 = cy + side * b * (side < 0 ? th : tl) - 0.5;
      double y1 = cy + side * b * (side < 0 ? tl : th) - 0.5;
      if (!(y1 >= top && y0 <= bottom)) continue;
      long long first = (long long)std::floor(std::max(y0, top)) - near;
      long long last = (long long)std::ceil(std::min(y1, bottom)) + near;
      first = std::max<long long>(first, lim.Top);
      last = std::min<long long>(last, (long long)lim.Bottom - 1);
      if (first <= last) rows.push_back({first, last});
    }
  };
  addT(1, 1);
  // Half widths h = a * sqrt(1 - t * t) that put the left end (cx - h) or
  // the right end (cx + h) near the columns.
  const double l = lim.Left - margin, r = lim.Right + margin;
  for (auto [hl, hh] : {std::pair{cx - r, cx - l}, std::pair{l - cx, r - cx}}) {
    hl = std::max(hl, 0.0);
    hh = std::min(hh, a);
    if (!(hl <= hh)) continue;
    double ql = hh / a, qh = hl / a;
    addT(std::sqrt(std::max(0.0, 1 - ql * ql)), std::sqrt(std::max(0.0, 1 - qh * qh)));
  }
}

// The outline ring and the interior of an ellipse inscribed in r for a pen
// of width w (0 for no pen). A 1-pixel ring is the set of inside pixels that
// touch the outside; wider rings lie between two ellipses w apart, centred
// on the 1-pixel path (inside r for inside-frame pens).
//
// Only rows near an end of the ellipse's rows in the limit are worked out
// one by one; each stretch of rows between them is worked out once and its
// runs, cut to the limit, copied to the stretch's other rows. An ellipse
// far larger than the picture costs its few rows there, not its height.
template <class TRingSet, class TInnerSet>
void EllipseShape(const TRect& r, int w, bool insideFrame, TRingSet* ring, TInnerSet* inner) {
  double cx = (double(r.Left) + r.Right) / 2, cy = (double(r.Top) + r.Bottom) / 2;
  double a = WidthOf(r) / 2.0, b = HeightOf(r) / 2.0;
  const TRect lim = ring ? ring->Limit() : inner->Limit();
  double grow = insideFrame ? 0 : w / 2.0 - 0.5;
  double ao = a + grow, bo = b + grow, ai = ao - w, bi = bo - w;
  // The 1-pixel ring looks at the rows above and below each row: the last
  // few rows worked out are kept, so walking down costs one row each.
  struct TRowMemo {
    long long Y;
    bool Inside;
    long long X0, X1;
  };
  TRowMemo memo[4] = {{LLONG_MIN, false, 0, 0}, {LLONG_MIN, false, 0, 0}, {LLONG_MIN, false, 0, 0},
                      {LLONG_MIN, false, 0, 0}};
  auto thinRow = [&](long long y, long long& x0, long long& x1) {
    TRowMemo& m = memo[size_t(y) & 3];
    if (m.Y != y) {
      m.Y = y;
      m.Inside = EllipseRow(cx, cy, a, b, y, m.X0, m.X1);
    }
    x0 = m.X0;
    x1 = m.X1;
    return m.Inside;
  };
  // The runs of one row: kind 0 the ring, 1 the interior.
  auto row = [&](long long y, auto&& add) {
    long long x0, x1;
    if (w <= 0) {
      if (EllipseRow(cx, cy, a, b, y, x0, x1)) add(1, x0, x1);
      return;
    }
    if (w == 1) {
      if (!thinRow(y, x0, x1)) return;
      long long u0, u1, d0, d1, i0 = x1, i1 = x1;
      if (thinRow(y - 1, u0, u1) && thinRow(y + 1, d0, d1)) {
        i0 = std::max({x0 + 1, u0, d0});
        i1 = std::min({x1 - 1, u1, d1});
        if (i0 >= i1) i0 = i1 = x1;
      }
      add(0, x0, i0);
      add(0, i1, x1);
      add(1, i0, i1);
      return;
    }
    if (!EllipseRow(cx, cy, ao, bo, y, x0, x1)) return;
    long long i0 = x1, i1 = x1;
    if (!EllipseRow(cx, cy, ai, bi, y, i0, i1)) i0 = i1 = x1;
    add(0, x0, i0);
    add(0, i1, x1);
    add(1, i0, i1);
  };
  auto put = [&](long long y, int kind, long long x0, long long x1) {
    if (kind == 0) ring->Add(y, x0, x1);
    else if (inner) inner->Add(y, x0, x1);
  };

  // A dozen rows at most, for every ellipse drawn: the list is kept.
  thread_local std::vector<TInterval> exact;
  exact.clear();
  if (w <= 1) {
    AddEdgeRows(cx, cy, a, b, lim, exact);
  } else {
    AddEdgeRows(cx, cy, ao, bo, lim, exact);
    AddEdgeRows(cx, cy, ai, bi, lim, exact);
  }
  std::sort(exact.begin(), exact.end());
  size_t next = 0;
  for (long long y = lim.Top; y < lim.Bottom;) {
    while (next < exact.size() && exact[next].second < y) ++next;
    if (next < exact.size() && exact[next].first <= y) {
      for (long long last = std::min<long long>(exact[next].second, lim.Bottom - 1); y <= last; ++y)
        row(y, [&](int kind, long long x0, long long x1) { put(y, kind, x0, x1); });
      continue;
    }
    long long end = next < exact.size() ? exact[next].first : (long long)lim.Bottom;
    struct TRun {
      int Kind;
      long long X0, X1;
    };
    TRun runs[3];
    int count = 0;
    row(y, [&](int kind, long long x0, long long x1) {
      x0 = std::max<long long>(x0, lim.Left);
      x1 = std::min<long long>(x1, lim.Right);
      if (x0 < x1 && (kind == 0 || inner)) runs[count++] = {kind, x0, x1};
    });
    if (count == 0) {
      y = end;
      continue;
    }
    for (; y < end; ++y)
      for (int i = 0; i < count; ++i) put(y, runs[i].Kind, runs[i].X0, runs[i].X1);
  }
}


// Runs of a shape handed straight to f(y, x0, x1), cut to a limit: the
// ellipse's rows go to the picture (or a reused list) without a span set.
template <class F>
class TRunSink {
 public:
  TRunSink(const TRect& limit, F f) : limit_(limit), f_(f) {}
  const TRect& Limit() const { return limit_; }
  void Add(long long y, long long x0, long long x1) {
    if (y < limit_.Top || y >= limit_.Bottom) return;
    x0 = std::max<long long>(x0, limit_.Left);
    x1 = std::min<long long>(x1, limit_.Right);
    if (x0 < x1) f_(int(y), int(x0), int(x1));
  }

 private:
  TRect limit_;
  F f_;
};

// Which pixels of an ellipse an arc from the start ray to the end ray takes.
// The rule is the device angle of the pixel's centre: d = angle - start (plus
// 360 when negative), taken when d <= sweep + 1e-9. Working out two arc
// tangents per pixel is the slow way to follow it: a pixel well away from
// both rays (by much more than the rounding of the angles) lies on the same
// side of each ray whichever way it is worked out, so its side, found from
// two cross products, decides; only pixels near a ray take the angles.
class TArcSweep {
 public:
  TArcSweep(double cx, double cy, int x3, int y3, int x4, int y4) : cx_(cx), cy_(cy) {
    sx_ = x3 + 0.5 - cx;
    sy_ = y3 + 0.5 - cy;
    ex_ = x4 + 0.5 - cx;
    ey_ = y4 + 0.5 - cy;
    Start = DeviceAngle(sx_, sy_);
    double end = DeviceAngle(ex_, ey_);
    Sweep = end - Start;
    if (Sweep < 0) Sweep += 360;
    if (std::fabs(Sweep) < 1e-9) {
      Sweep = 360;
      kind_ = kAll;
    } else {
      // Well away means an angle of about 5.7e-6 degrees (sin 1e-7) from
      // the ray's line; the sweep's own rounding is far below 1e-7 degrees.
      constexpr double near = 1e-7;
      if (Sweep < near) kind_ = kNone;
      else if (Sweep > 360 - near) kind_ = kAllAway;
      else if (std::fabs(Sweep - 180) <= near) kind_ = kHalf;
      else kind_ = Sweep < 180 ? kLess : kMore;
    }
    // A ray through the centre itself has the angle 0.
    if (sx_ == 0 && sy_ == 0) sx_ = 1;
    if (ex_ == 0 && ey_ == 0) ex_ = 1;
    s2_ = sx_ * sx_ + sy_ * sy_;
    e2_ = ex_ * ex_ + ey_ * ey_;
  }

  double Start, Sweep;

  // The pixel's d as the rule works it out.
  double Offset(int x, int y) const {
    double d = DeviceAngle(x + 0.5 - cx_, y + 0.5 - cy_) - Start;
    return d < 0 ? d + 360 : d;
  }
  bool TakesByAngle(int x, int y) const { return Offset(x, y) <= Sweep + 1e-9; }

  // Whether the arc takes pixel (x, y).
  bool Takes(int x, int y) const {
    const int side = Side(x, y);
    return side == kNear ? TakesByAngle(x, y) : side == 1;
  }

  // 1 when the arc takes pixel (x, y) well away from both rays, 0 when it
  // leaves it, kNear when the angles are to decide.
  static constexpr int kNear = 2;
  int Side(int x, int y) const {
    if (kind_ == kAll) return 1;
    const double px = x + 0.5 - cx_, py = y + 0.5 - cy_;
    // Cross products as seen on the device (y upwards): > 0 when the second
    // direction lies counter-clockwise of the first, less than 180 degrees on.
    const double cs = sy_ * px - sx_ * py;  // start to pixel
    const double ce = py * ex_ - px * ey_;  // pixel to end
    const double p2 = px * px + py * py;
    constexpr double tol2 = 1e-14;  // sin^2 of the angle counted as near
    if (cs * cs <= tol2 * s2_ * p2 || ce * ce <= tol2 * e2_ * p2) return kNear;
    switch (kind_) {
      case kNone: return 0;
      case kAllAway: return 1;
      case kHalf: return cs > 0;
      case kLess: return cs > 0 && ce > 0;
      default: return cs > 0 || ce > 0;
    }
  }

  int Kind() const { return kind_; }

  // Whether of the pixels well away from both rays, an arc of kind other
  // with this one's rays the other way round takes exactly those this one
  // leaves. Its cross products are this one's negated and swapped, to the
  // last bit, so that both find the same pixels near a ray; away from them
  // a less-than-half arc and the more-than-half rest (or none and all)
  // decide by the same signs. Two halves decide by the start ray each: the
  // end ray lies within 1e-7 degrees of the start's opposite, and a pixel
  // well away lies more than 5e-6 degrees from both.
  bool Complements(int other) const {
    switch (kind_) {
      case kHalf: return other == kHalf;
      case kLess: return other == kMore;
      case kMore: return other == kLess;
      case kNone: return other == kAllAway;
      case kAllAway: return other == kNone;
      default: return false;
    }
  }

  // Whether the arc takes all (1) or none (0) of pixels x0 .. x1 - 1 of row
  // y, or -1 when they are to be asked one by one. Along a row both cross
  // products change linearly, and the distance from the centre is largest
  // at an end: where each product keeps its sign at both ends, clear of
  // zero by more than the nearness the further end allows, every pixel
  // between lies well away from both rays, on the same sides of them.
  int RunTakes(int x0, int x1, int y) const {
    if (kind_ == kAll) return 1;
    if (x1 - x0 < 3) return -1;
    const double py = y + 0.5 - cy_, pa = x0 + 0.5 - cx_, pb = (x1 - 1) + 0.5 - cx_;
    const double csa = sy_ * pa - sx_ * py, csb = sy_ * pb - sx_ * py;
    const double cea = py * ex_ - pa * ey_, ceb = py * ex_ - pb * ey_;
    const double p2 = std::max(pa * pa, pb * pb) + py * py;
    constexpr double tol2 = 1e-14 * (1 + 1e-6);  // with room for the rounding
    auto clear = [&](double a, double b, double k2) {
      return (a > 0) == (b > 0) && std::min(a * a, b * b) > tol2 * k2 * p2;
    };
    if (!clear(csa, csb, s2_) || !clear(cea, ceb, e2_)) return -1;
    const bool cs = csa > 0, ce = cea > 0;
    switch (kind_) {
      case kNone: return 0;
      case kAllAway: return 1;
      case kHalf: return cs;
      case kLess: return cs && ce;
      default: return cs || ce;
    }
  }

 private:
  enum { kAll, kNone, kAllAway, kHalf, kLess, kMore } kind_ = kLess;
  double cx_, cy_, sx_, sy_, ex_, ey_, s2_, e2_;
};

// Puts pixels (a ring's pixels taken from the top, from the left) in
// the order of their angles d from the start ray, when that order can be
// shown to be the one the angles worked out in floating point give, and
// the angles all differ; answers false, leaving the pixels as they came,
// otherwise.
//
// Around the centre the ring's pixels of each quadrant lie in the order of
// rows and columns: upper right from the bottom row up and right to left,
// upper left from the top down and right to left, lower left from the top
// down and left to right, lower right from the bottom up and left to right.
// Joined, the four give the pixels by angle from the east, turned to begin
// at the start ray. Then every two neighbours are checked with integers:
// the later lies counter-clockwise of the earlier by a clear angle (sine
// above 1e-10, a million times the rounding of the worked-out angles), so
// their worked-out angles keep that order. Pixels within a sine of 1e-6 of
// the start ray's direction have an angle near 0 or near 360 (which one is
// the rounding's choice): theirs are worked out and checked against their
// neighbours'.
bool OrderAlongRing(std::vector<std::pair<double, TPoint>>& pixels, std::vector<TArcPoint> (&lists)[5],
                    const TRect& r, int x3, int y3, const TArcSweep& sweep) {
  const size_t n = pixels.size();
  if (n < 2) return true;
  // Doubled offsets from the centre: integers, y downwards.
  const long long cx2 = (long long)r.Left + r.Right, cy2 = (long long)r.Top + r.Bottom;
  constexpr long long big = 1LL << 30;
  long long sx = 2LL * x3 + 1 - cx2, sy = 2LL * y3 + 1 - cy2;
  if (sx == 0 && sy == 0) sx = 1;  // a ray through the centre has the angle 0
  if (!(sx > -big && sx < big && sy > -big && sy < big)) return false;
  const double s2 = double(sx * sx + sy * sy);

  // The quadrants from the east, counter-clockwise as seen; each pixel with
  // its half (0: less than 180 degrees from the start).
  for (auto& q : lists) q.clear();
  for (const auto& p : pixels) {
    const long long x = 2LL * p.second.X + 1 - cx2, y = 2LL * p.second.Y + 1 - cy2;
    if (!(x > -big && x < big && y > -big && y < big) || (x == 0 && y == 0)) return false;
    const long long cs = sy * x - sx * y, dot = sx * x + sy * y;
    const int q = x > 0 && y <= 0 ? 0 : x <= 0 && y < 0 ? 1 : x < 0 && y >= 0 ? 2 : 3;
    lists[q].push_back({p.second, x, y, cs > 0 || (cs == 0 && dot > 0) ? 0 : 1});
  }
  // Reverses each row's stretch of a list.
  auto reverseRows = [](std::vector<TArcPoint>& list) {
    for (size_t i = 0; i < list.size();) {
      size_t j = i;
      while (j < list.size() && list[j].P.Y == list[i].P.Y) ++j;
      std::reverse(list.begin() + ptrdiff_t(i), list.begin() + ptrdiff_t(j));
      i = j;
    }
  };
  std::reverse(lists[0].begin(), lists[0].end());
  reverseRows(lists[1]);
  std::reverse(lists[3].begin(), lists[3].end());
  reverseRows(lists[3]);

  // Whether b follows a clearly (a sine above 1e-10) by angle from the start.
  auto follows = [](const TArcPoint& a, const TArcPoint& b) {
    const long long cross = a.DY * b.DX - a.DX * b.DY;
    const bool apart = double(cross) * double(cross) >
                       1e-20 * double(a.DX * a.DX + a.DY * a.DY) * double(b.DX * b.DX + b.DY * b.DY);
    if (a.Half != b.Half) return a.Half < b.Half && (apart || a.DX * b.DX + a.DY * b.DY < 0);
    return cross > 0 && apart;
  };
  // Whether p lies within a sine of 1e-6 of the start ray's direction.
  auto nearStart = [&](const TArcPoint& p) {
    const long long cs = sy * p.DX - sx * p.DY, dot = sx * p.DX + sy * p.DY;
    return dot > 0 && double(cs) * double(cs) <= 1e-12 * s2 * double(p.DX * p.DX + p.DY * p.DY);
  };
  auto offsetOf = [&](const TArcPoint& p) { return sweep.Offset(p.P.X, p.P.Y); };

  // Joined from the east, then turned at the one place the order from the
  // start falls back.
  std::vector<TArcPoint>& order = lists[4];
  order.clear();
  for (int q = 0; q < 4; ++q) order.insert(order.end(), lists[q].begin(), lists[q].end());
  size_t turn = 0;
  for (size_t i = 1; i < n; ++i)
    if (!follows(order[i - 1], order[i])) {
      turn = i;
      break;
    }
  std::rotate(order.begin(), order.begin() + ptrdiff_t(turn), order.end());

  // Those near the start's direction at either end, and the neighbour each
  // group meets, by their worked-out angles; the rest by integers.
  size_t front = 0, back = n;
  while (front < n && nearStart(order[front])) ++front;
  while (back > front && nearStart(order[back - 1])) --back;
  if (front == n) front = back = 0;  // all near the start: by angles alone below
  const size_t checkedTo = front == 0 ? 0 : std::min(front + 1, n);
  for (size_t i = 1; i < checkedTo; ++i)
    if (!(offsetOf(order[i - 1]) < offsetOf(order[i]))) return false;
  const size_t from = back == n ? n : (back == 0 ? 0 : back - 1);
  for (size_t i = from + 1; i < n; ++i)
    if (!(offsetOf(order[i - 1]) < offsetOf(order[i]))) return false;
  for (size_t i = front + 1; i < back; ++i)
    if (!follows(order[i - 1], order[i])) return false;
  for (size_t i = 0; i < n; ++i) pixels[i].second = order[i].P;
  return true;
}

}  // namespace

// The ring of the ellipse in r for pen width w, cut to limit, as runs in
// rows from the top and from the left in each row, to be moved by origin.
// The two halves of a circle are two arcs of one ring: the last ring is
// kept for the next.
//
// A thin ellipse that the limit does not cut is kept relative to the corner
// of its shape, for the next one of its size elsewhere (the circles of one
// tool along a rout). Its rows are worked out from offsets to the centre,
// the same wherever it lies; only the ends cx - h and cx + h are rounded
// where it lies. When no row's end comes near a pixel's centre (checked
// once, the first time the ring is to serve elsewhere), none of that
// rounding within a picture of 32768 pixels reaches one, and the moved
// ring is the ring the moved ellipse has.
const std::vector<TArcRaster::TRingRun>& TArcRaster::RingRuns(const TRect& r, int w, bool insideFrame,
                                                              const TRect& limit, TPoint& origin) {
  constexpr long long reach = 1 << 15;
  auto near = [&](long long v) { return v > -reach && v < reach; };
  const bool relative = w == 1 && near(limit.Left) && near(limit.Top) && near(limit.Right) && near(limit.Bottom) &&
                        limit.Left == (long long)r.Left - 1 && limit.Top == (long long)r.Top - 1 &&
                        limit.Right == (long long)r.Right + 1 && limit.Bottom == (long long)r.Bottom + 1;
  origin = relative ? TPoint{r.Left, r.Top} : TPoint{0, 0};
  auto moved = [&](const TRect& k) {
    return TRect{k.Left - origin.X, k.Top - origin.Y, k.Right - origin.X, k.Bottom - origin.Y};
  };
  TRingKey key{moved(r), moved(limit), w, insideFrame, relative};
  if (ringValid_ && ringKey_ == key) {
    if (!relative || (origin.X == ringShape_.Left && origin.Y == ringShape_.Top)) return ringRuns_;
    if (ringMovable_ == 0) ringMovable_ = RowEndsClear(ringShape_) ? 1 : -1;
    if (ringMovable_ > 0) return ringRuns_;
  }
  ringRuns_.clear();
  auto keep = [this, &origin](int y, int x0, int x1) {
    ringRuns_.push_back({y - origin.Y, x0 - origin.X, x1 - origin.X});
  };
  TRunSink<decltype(keep)> ring(limit, keep);
  EllipseShape(r, w, insideFrame, &ring, static_cast<decltype(ring)*>(nullptr));
  ringKey_ = key;
  ++ringGeneration_;
  ringShape_ = r;
  ringMovable_ = 0;
  ringValid_ = true;
  return ringRuns_;
}

void TArcRaster::ForArcRuns(const TRect& r, int w, TPenStyle style, const TRect& limit, int x3, int y3, int x4,
                            int y4, void (*paint)(void*, int, int, int, bool), void* context) {
  if (style == psClear || WidthOf(r) <= 0 || HeightOf(r) <= 0) return;
  w = std::max(1, w);
  // An arc whose ring lies wholly outside the limit paints nothing and
  // leaves the kept ring and sides as they are (they stay true to the
  // shapes they were worked out for).
  const TRect around = AroundShape(r.Left, r.Top, r.Right, r.Bottom, w, limit);
  if (WidthOf(around) <= 0 || HeightOf(around) <= 0) return;
  TPoint o;
  const std::vector<TRingRun>& ring = RingRuns(r, w, style == psInsideFrame, around, o);
  const TArcSweep sweep((double(r.Left) + r.Right) / 2, (double(r.Top) + r.Bottom) / 2, x3, y3, x4, y4);
  const std::vector<int>* pattern = w == 1 ? DashPattern(style) : nullptr;
  if (!pattern) {
    // Every pixel of the ring once, in any order: the stretches of each run
    // the arc takes. Each pixel's side is kept: the next arc, when it has
    // this one's rays the other way round (the second half of a circle),
    // takes the pixels well away from the rays that this one left.
    const bool other = sidesValid_ && sidesRing_ == ringGeneration_ && sidesShape_ == r && sidesRays_[0] == x4 &&
                       sidesRays_[1] == y4 && sidesRays_[2] == x3 && sidesRays_[3] == y3 &&
                       sweep.Complements(sidesKind_);
    if (!other) {
      sides_.clear();
      sidesValid_ = true;
      sidesRing_ = ringGeneration_;
      sidesShape_ = r;
      sidesRays_[0] = x3, sidesRays_[1] = y3, sidesRays_[2] = x4, sidesRays_[3] = y4;
      sidesKind_ = sweep.Kind();
    } else {
      sidesValid_ = false;
    }
    size_t i = 0;
    for (const TRingRun& run : ring) {
      const int y = run.Y + o.Y, x0 = run.X0 + o.X, x1 = run.X1 + o.X;
      if (other) {
        int from = x0;
        for (int x = x0; x < x1; ++x, ++i) {
          const uint8_t side = sides_[i];
          if (side == 1 || (side == TArcSweep::kNear && !sweep.Takes(x, y))) {
            if (from < x) paint(context, y, from, x, true);
            from = x + 1;
          }
        }
        if (from < x1) paint(context, y, from, x1, true);
        continue;
      }
      const int all = sweep.RunTakes(x0, x1, y);
      if (all >= 0) {
        sides_.insert(sides_.end(), size_t(x1 - x0), uint8_t(all));
        if (all == 1) paint(context, y, x0, x1, true);
        continue;
      }
      int from = x0;
      for (int x = x0; x < x1; ++x) {
        const int side = sweep.Side(x, y);
        sides_.push_back(uint8_t(side));
        if (side == 0 || (side == TArcSweep::kNear && !sweep.TakesByAngle(x, y))) {
          if (from < x) paint(context, y, from, x, true);
          from = x + 1;
        }
      }
      if (from < x1) paint(context, y, from, x1, true);
    }
    return;
  }
  sidesValid_ = false;
  // Dashed pens dash along the curve: the arc's pixels are ordered by their
  // angle from the start. The order follows from the ring's shape (see
  // OrderAlongRing); where it cannot be shown to be the order of the angles
  // as worked out, the angles are worked out and sorted (the ring's pixels
  // taken from the top, from the left).
  pixels_.clear();
  for (const TRingRun& run : ring) {
    const int y = run.Y + o.Y, x0 = run.X0 + o.X, x1 = run.X1 + o.X;
    const int all = sweep.RunTakes(x0, x1, y);
    if (all == 0) continue;
    for (int x = x0; x < x1; ++x)
      if (all == 1 || sweep.Takes(x, y)) pixels_.push_back({0.0, TPoint{x, y}});
  }
  if (!OrderAlongRing(pixels_, lists_, r, x3, y3, sweep)) {
    for (auto& p : pixels_) p.first = sweep.Offset(p.second.X, p.second.Y);
    std::sort(pixels_.begin(), pixels_.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
  }
  TDashWalk dash(*pattern);
  for (const auto& p : pixels_) paint(context, p.second.Y, p.second.X, p.second.X + 1, dash.Next());
}

void TArcRaster::ForCircleArcs(const TRect& r, bool insideFrame, const TRect& limit, int x3, int y3, int x4,
                               int y4, void (*paint)(void*, int, int, int), void* context) {
  struct TTo {
    void (*Paint)(void*, int, int, int);
    void* Context;
  } to{paint, context};
  auto forward = [](void* c, int y, int x0, int x1, bool) {
    auto* t = static_cast<TTo*>(c);
    t->Paint(t->Context, y, x0, x1);
  };
  const TPenStyle style = insideFrame ? psInsideFrame : psSolid;
  ForArcRuns(r, 1, style, limit, x3, y3, x4, y4, forward, &to);
  ForArcRuns(r, 1, style, limit, x4, y4, x3, y3, forward, &to);
}

const TArcRaster::TRingPixel* TArcRaster::KeptCircle(const TRect& r, bool insideFrame, const TRect& limit, int x3,
                                                   int y3, int x4, int y4, size_t& count) {
  // Only a ring the limit leaves whole, near enough to the picture for its
  // offsets to the centre to be exact, is kept (as RingRuns keeps one), and
  // only a small one: large ones are few on a picture.
  constexpr long long reach = 1 << 15, largest = 512;
  const long long w = WidthOf(r), h = HeightOf(r);
  if (!(w > 0 && h > 0 && w <= largest && h <= largest)) return nullptr;
  if (!(r.Left > -reach && r.Top > -reach && r.Right < reach && r.Bottom < reach)) return nullptr;
  const TRect around{r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1};
  if (!(around.Left >= limit.Left && around.Top >= limit.Top && around.Right <= limit.Right &&
        around.Bottom <= limit.Bottom))
    return nullptr;
  const TCircleKey key{int(w),
                       int(h),
                       (long long)x3 - r.Left,
                       (long long)y3 - r.Top,
                       (long long)x4 - r.Left,
                       (long long)y4 - r.Top,
                       insideFrame};
  // Looked up by a hash of the key in a table four times the entries kept
  // (the circles of a picture's tools come in any order).
  constexpr size_t Kept = 512, Slots = 4 * Kept;
  if (circleSlots_.size() != Slots) circleSlots_.assign(Slots, -1);
  uint64_t hash = uint64_t(key.Width) * 0x9E3779B97F4A7C15ull ^ uint64_t(key.Height) * 0xC2B2AE3D27D4EB4Full;
  for (long long v : {key.X3, key.Y3, key.X4, key.Y4}) hash = (hash ^ uint64_t(v)) * 0x100000001B3ull;
  hash ^= hash >> 29;
  size_t slot = size_t(hash + key.InsideFrame) & (Slots - 1);
  const TCircleEntry* entry = nullptr;
  for (; circleSlots_[slot] >= 0; slot = (slot + 1) & (Slots - 1))
    if (circles_[size_t(circleSlots_[slot])].Key == key) {
      entry = &circles_[size_t(circleSlots_[slot])];
      break;
    }
  if (entry == nullptr) {
    // A new one: the two arcs here, their pixels gathered in a mask of the
    // ring's box and kept. The sides the arcs take depend on the
    // offsets to the centre alone, so wherever the ring moves unchanged,
    // so do the arcs' pixels.
    if (circles_.size() >= Kept) {
      circles_.clear();
      circlePixels_.clear();
      circleOffsets_.clear();
      circleSlots_.assign(Slots, -1);
      slot = size_t(hash + key.InsideFrame) & (Slots - 1);
    }
    const int mw = int(w) + 2, mh = int(h) + 2;
    circleMask_.assign(size_t(mw) * size_t(mh), 0);
    struct TMask {
      uint8_t* Data;
      int Width, Left, Top;
    } mask{circleMask_.data(), mw, around.Left, around.Top};
    auto put = [](void* c, int y, int x0, int x1) {
      auto* m = static_cast<TMask*>(c);
      uint8_t* row = m->Data + size_t(y - m->Top) * size_t(m->Width);
      for (int x = x0; x < x1; ++x) row[x - m->Left] = 1;
    };
    ForCircleArcs(r, insideFrame, around, x3, y3, x4, y4, put, &mask);
    TCircleEntry e{key, RowEndsClear(r), circlePixels_.size(), 0};
    if (e.Movable) {
      for (int y = 0; y < mh; ++y)
        for (int x = 0; x < mw; ++x)
          if (circleMask_[size_t(y) * size_t(mw) + size_t(x)]) circlePixels_.push_back({int16_t(x - 1), int16_t(y - 1)});
      e.Count = circlePixels_.size() - e.First;
    }
    circleSlots_[slot] = int(circles_.size());
    circles_.push_back(e);
    entry = &circles_.back();
  }
  if (!entry->Movable) return nullptr;
  count = entry->Count;
  return circlePixels_.data() + entry->First;
}

void TRasterCanvas::DrawCircles(const TCircleMark* circles, size_t count) {
  // A thin solid pen that copies sets each ring's pixels in the circle's
  // colour; any other pen draws the arcs one by one.
  if (!((Pen.Style == psSolid || Pen.Style == psInsideFrame) && Pen.Width <= 1 && Pen.Mode == pmCopy)) {
    TCanvas::DrawCircles(circles, count);
    return;
  }
  TColor* data = bitmap_.Buffer().data();
  const size_t bw = size_t(bitmap_.Width());
  const TRect bounds = Bounds();
  for (size_t i = 0; i < count; ++i) {
    const TCircleMark& c = circles[i];
    arcs_.Circle(Normalized(c.X1, TCircleMark::Beyond(c.Y1), TCircleMark::Beyond(c.X2), c.Y2),
                 Pen.Style == psInsideFrame, bounds, c.X1, c.Y1, c.X2, c.Y2, data, ptrdiff_t(bw),
                 TColor(c.Color & 0xFFFFFF));
  }
}

void TRasterCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  if (Pen.Style == psClear || Pen.Mode == pmNop) return;
  auto& px = bitmap_.Buffer();
  const size_t bw = size_t(bitmap_.Width());
  arcs_.Arc(Normalized(x1, y1, x2, y2), Pen.Width, Pen.Style, Bounds(), x3, y3, x4, y4,
            [&](int y, int x0, int x1, bool on) {
              PaintRun(px.data() + size_t(y) * bw, x0, x1, on ? Pen.Color : BackColor, Pen.Mode);
            });
}

void TRasterCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  TRect r = Normalized(x1, y1, x2, y2);
  if (WidthOf(r) <= 0 || HeightOf(r) <= 0) return;
  bool pen = Pen.Style != psClear;
  int w = pen ? std::max(1, Pen.Width) : 0;
  const std::vector<int>* pattern = w == 1 ? DashPattern(Pen.Style) : nullptr;
  TRect limit = AroundShape(r.Left, r.Top, r.Right, r.Bottom, w, Bounds());
  // The ring and the inside share no pixel: each is painted as its rows
  // come, the inside in the brush, the ring in the pen unless it is dashed
  // (the whole-ellipse arc below dashes it along the curve).
  auto& px = bitmap_.Buffer();
  const size_t bw = size_t(bitmap_.Width());
  const bool fill = Brush.Style != bsClear && Pen.Mode != pmNop;
  const bool hatched = Brush.Style != bsSolid;
  auto brush = [&](int y, int x0, int x1) {
    if (!fill) return;
    TColor* row = px.data() + size_t(y) * bw;
    if (!hatched) {
      PaintRun(row, x0, x1, Brush.Color, Pen.Mode);
      return;
    }
    for (int x = x0; x < x1; ++x)
      row[x] = ApplyPenMode(Pen.Mode, HatchOn(Brush.Style, x, y) ? Brush.Color : BackColor, row[x]);
  };
  const bool solidRing = pen && !pattern && Pen.Mode != pmNop;
  auto outline = [&](int y, int x0, int x1) {
    if (solidRing) PaintRun(px.data() + size_t(y) * bw, x0, x1, Pen.Color, Pen.Mode);
  };
  TRunSink<decltype(brush)> inner(limit, brush);
  TRunSink<decltype(outline)> ring(limit, outline);
  EllipseShape(r, w, Pen.Style == psInsideFrame, pen ? &ring : nullptr, &inner);
  if (!pattern) return;
  int midY = int(((long long)r.Top + r.Bottom) / 2);
  Arc(r.Left, r.Top, r.Right, r.Bottom, r.Right, midY, r.Right, midY);
}

void TRasterCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  TRect r = Normalized(x1, y1, x2, y2);
  if (WidthOf(r) <= 0 || HeightOf(r) <= 0) return;
  bool pen = Pen.Style != psClear;
  int w = pen ? std::max(1, Pen.Width) : 0;
  TRect bounds = Bounds();
  if ((w == 0 || (w == 1 && DashPattern(Pen.Style) == nullptr)) &&
      (Brush.Style == bsSolid || Brush.Style == bsClear)) {
    // A solid 1-pixel outline (or none) round a solid (or no) fill: every
    // pixel is painted once, row by row, with no span sets.
    if (Pen.Mode == pmNop) return;
    auto& px = bitmap_.Buffer();
    const int bw = bitmap_.Width();
    const bool fill = Brush.Style == bsSolid;
    auto run = [&](int y, long long x0, long long x1, TColor colour) {
      x0 = std::max<long long>(x0, bounds.Left);
      x1 = std::min<long long>(x1, bounds.Right);
      PaintRun(px.data() + size_t(y) * size_t(bw), x0, x1, colour, Pen.Mode);
    };
    const int yFirst = std::max(bounds.Top, r.Top), yEnd = std::min(bounds.Bottom, r.Bottom);
    for (int y = yFirst; y < yEnd; ++y) {
      if (w == 0) {
        if (fill) run(y, r.Left, r.Right, Brush.Color);
      } else if (y == r.Top || y == r.Bottom - 1 || WidthOf(r) <= 2) {
        run(y, r.Left, r.Right, Pen.Color);
      } else {
        run(y, r.Left, (long long)r.Left + 1, Pen.Color);
        if (fill) run(y, (long long)r.Left + 1, (long long)r.Right - 1, Brush.Color);
        run(y, (long long)r.Right - 1, r.Right, Pen.Color);
      }
    }
    return;
  }
  TRect limit = AroundShape(r.Left, r.Top, r.Right, r.Bottom, w, bounds);
  TSpans outline[2] = {TSpans(limit), TSpans(limit)};
  TSpans inner(limit);
  if (!pen) {
    for (int y = limit.Top; y < limit.Bottom; ++y) inner.Add(y, r.Left, r.Right);
  } else if (w == 1) {
    DrawLines({{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1}},
              true, outline);
    if (WidthOf(r) == 1 || HeightOf(r) == 1) outline[0].AddPixel(r.Right - 1, r.Bottom - 1);
    for (int y = std::max(limit.Top, r.Top + 1); y < std::min(limit.Bottom, r.Bottom - 1); ++y)
      inner.Add(y, (long long)r.Left + 1, (long long)r.Right - 1);
  } else {
    long long lo = Pen.Style == psInsideFrame ? 0 : (w - 1) / 2;
    long long hi = Pen.Style == psInsideFrame ? 0 : w - 1 - lo;
    long long ol = r.Left - lo, ot = r.Top - lo, orr = r.Right + hi, ob = r.Bottom + hi;
    long long il = ol + w, it = ot + w, ir = orr - w, ib = ob - w;
    for (long long y = std::max<long long>(limit.Top, ot); y < std::min<long long>(limit.Bottom, ob); ++y) {
      if (y >= it && y < ib && il < ir) {
        outline[0].Add(y, ol, il);
        outline[0].Add(y, ir, orr);
        inner.Add(y, il, ir);
      } else {
        outline[0].Add(y, ol, orr);
      }
    }
  }
  for (TSpans& s : outline) s.Normalize();
  inner.Normalize();
  inner.Subtract(outline[0]);
  inner.Subtract(outline[1]);
  PaintBrush(inner);
  Paint(outline[0], Pen.Color, Pen.Mode);
  Paint(outline[1], BackColor, Pen.Mode);
}

void TRasterCanvas::Polygon(const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  long long l = points[0].X, t = points[0].Y, r = l, b = t;
  for (const TPoint& p : points) {
    l = std::min<long long>(l, p.X);
    t = std::min<long long>(t, p.Y);
    r = std::max<long long>(r, p.X);
    b = std::max<long long>(b, p.Y);
  }
  int w = Pen.Style == psClear ? 0 : std::max(1, Pen.Width);
  TRect limit = AroundShape(l, t, r + 1, b + 1, w, Bounds());
  TSpans outline[2] = {TSpans(limit), TSpans(limit)};
  DrawLines(points, true, outline);
  for (TSpans& s : outline) s.Normalize();

  if (Brush.Style != bsClear) {
    TSpans inner(limit);
    std::vector<double> xs;
    for (int y = limit.Top; y < limit.Bottom; ++y) {
      double yc = y + 0.5;
      xs.clear();
      for (size_t i = 0; i < points.size(); ++i) {
        const TPoint& p = points[i];
        const TPoint& q = points[(i + 1) % points.size()];
        if ((p.Y > yc) != (q.Y > yc))
          xs.push_back(p.X + (yc - p.Y) * (double(q.X) - p.X) / (double(q.Y) - p.Y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        double a = std::clamp(xs[i], -5e9, 5e9), c = std::clamp(xs[i + 1], -5e9, 5e9);
        inner.Add(y, (long long)std::ceil(a - 0.5), (long long)std::ceil(c - 0.5));
      }
    }
    inner.Normalize();
    inner.Subtract(outline[0]);
    inner.Subtract(outline[1]);
    PaintBrush(inner);
  }
  Paint(outline[0], Pen.Color, Pen.Mode);
  Paint(outline[1], BackColor, Pen.Mode);
}

void TRasterCanvas::FillRect(const TRect& r) {
  TRect b = Intersect(Normalized(r.Left, r.Top, r.Right, r.Bottom), Bounds());
  TSpans spans(b);
  for (int y = b.Top; y < b.Bottom; ++y) spans.Add(y, b.Left, b.Right);
  TPenMode keep = Pen.Mode;
  Pen.Mode = pmCopy;
  PaintBrush(spans);
  Pen.Mode = keep;
}

void TRasterCanvas::FrameRect(const TRect& rect) {
  TRect r = Normalized(rect.Left, rect.Top, rect.Right, rect.Bottom);
  if (WidthOf(r) <= 0 || HeightOf(r) <= 0) return;
  TRect b = Intersect(r, Bounds());
  TSpans spans(b);
  spans.Add(r.Top, r.Left, r.Right);
  spans.Add(r.Bottom - 1, r.Left, r.Right);
  for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
    spans.AddPixel(r.Left, y);
    spans.AddPixel(r.Right - 1, y);
  }
  spans.Normalize();
  TPenMode keep = Pen.Mode;
  Pen.Mode = pmCopy;
  PaintBrush(spans);
  Pen.Mode = keep;
}

void TRasterCanvas::DrawText(const TRect& limit, int x, int y, const std::string& text) {
  TTextCell cell = TextCellOf(Font, PixelsPerInch);
  std::vector<char32_t> chars = TextCharacters(text);
  TRect b = Intersect(Bounds(), limit);
  auto& px = bitmap_.Buffer();
  int bw = bitmap_.Width();
  for (size_t i = 0; i < chars.size(); ++i) {
    long long left = x + (long long)i * cell.Width;
    TRect c = Intersect(b, TRect{ClampInt(left), y, ClampInt(left + cell.Width), ClampInt((long long)y + cell.Height)});
    for (int py = c.Top; py < c.Bottom; ++py) {
      for (int pxl = c.Left; pxl < c.Right; ++pxl) {
        TColor& p = px[size_t(py) * size_t(bw) + size_t(pxl)];
        if (TextCellDot(chars[i], cell, int(pxl - left), py - y, Font.Bold, Font.Underline))
          p = Font.Color & 0xFFFFFF;
        else if (Brush.Style != bsClear)
          p = Brush.Color & 0xFFFFFF;
      }
    }
  }
}

void TRasterCanvas::TextOut(int x, int y, const std::string& text) {
  DrawText(TRect{-2147483647, -2147483647, 2147483647, 2147483647}, x, y, text);
  pos_ = {ClampInt((long long)x + TextExtent(text).X), y};
}

void TRasterCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  FillRect(r);
  TBrushStyle keep = Brush.Style;
  Brush.Style = bsClear;
  DrawText(Normalized(r.Left, r.Top, r.Right, r.Bottom), x, y, text);
  Brush.Style = keep;
}

TPoint TRasterCanvas::TextExtent(const std::string& text) {
  TTextCell cell = TextCellOf(Font, PixelsPerInch);
  return {ClampInt((long long)TextCharacters(text).size() * cell.Width), cell.Height};
}

void TRasterCanvas::CopyRect(const TRect& dest, const TBitmap& source, const TRect& src) {
  if (WidthOf(dest) <= 0 || HeightOf(dest) <= 0 || WidthOf(src) <= 0 || HeightOf(src) <= 0) return;
  // Read the source through a copy: it may be this very picture.
  std::vector<TColor> pixels;
  if (auto* raster = dynamic_cast<const TRasterBitmap*>(&source)) pixels = raster->Buffer();
  else pixels = source.Pixels();
  int sw = source.Width(), sh = source.Height();
  TRect b = Intersect(dest, Bounds());
  auto& px = bitmap_.Buffer();
  int bw = bitmap_.Width();
  for (int y = b.Top; y < b.Bottom; ++y) {
    long long sy = src.Top + ((2 * ((long long)y - dest.Top) + 1) * HeightOf(src)) / (2LL * HeightOf(dest));
    if (sy < 0 || sy >= sh) continue;
    for (int x = b.Left; x < b.Right; ++x) {
      long long sx = src.Left + ((2 * ((long long)x - dest.Left) + 1) * WidthOf(src)) / (2LL * WidthOf(dest));
      if (sx < 0 || sx >= sw) continue;
      TColor& p = px[size_t(y) * size_t(bw) + size_t(x)];
      p = ApplyCopyMode(CopyMode, pixels[size_t(sy) * size_t(sw) + size_t(sx)], p);
    }
  }
}

void TRasterCanvas::ClipRect(const TRect& r) {
  clipped_ = WidthOf(r) > 0 && HeightOf(r) > 0;
  clip_ = r;
}

TRasterBitmap::TRasterBitmap(int width, int height) : canvas_(*this) { SetSize(width, height); }

void TRasterBitmap::SetSize(int width, int height) {
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  const size_t count = size_t(width_) * size_t(height_);
#ifdef __linux__
  // A screen picture is tens of megabytes drawn at random places: on large
  // pages its writes do not miss the address cache at every hit.
  constexpr size_t LargePage = size_t(2) << 20;
  if (count * sizeof(TColor) >= 4 * LargePage && count > pixels_.capacity()) {
    std::vector<TColor>().swap(pixels_);
    pixels_.reserve(count);
    auto first = (reinterpret_cast<uintptr_t>(pixels_.data()) + LargePage - 1) & ~(LargePage - 1);
    auto last = (reinterpret_cast<uintptr_t>(pixels_.data() + count)) & ~(LargePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#endif
  pixels_.assign(count, clWhite);
}

bool TRasterBitmap::SaveToPng(const std::string& path) const {
  return WritePngFile(path, width_, height_, pixels_);
}
