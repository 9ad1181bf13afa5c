#include "tapeout/rout_arc_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/display_units.h"
#include "foundation/nc_format.h"
#include "tapein/nc_reader.h"

namespace {

// An arc's centre read back this far off, in steps of the format, or
// nearer, is where the tape puts it.
constexpr double kOneStep = 1 + 1e-9;
// A centre read back this near a point is read back at it.
constexpr double kExactly = 1e-6;

// The turn from a to b about a centre, clockwise or not, radians: a whole
// turn where they meet.
double Turn(const TIntPoint& a, const TIntPoint& b, const TIntPoint& about, bool clockwise) {
  const double a0 = std::atan2(double(a.Y) - about.Y, double(a.X) - about.X);
  const double a1 = std::atan2(double(b.Y) - about.Y, double(b.X) - about.X);
  const double t = std::remainder(clockwise ? a0 - a1 : a1 - a0, 2 * M_PI);
  return t <= 0 ? t + 2 * M_PI : t;
}

}  // namespace

// ---- The arc's words -----------------------------------------------------------------

void TRoutArcBlocks::IJ(int64_t cx, int64_t cy, int64_t sx, int64_t sy, int64_t ex, int64_t ey, int64_t& i,
                        int64_t& j) const {
  const bool offset = f_.IJIncremental;
  i = cx - (offset ? (f_.IJFromStartPoint ? sx : ex) : 0);
  j = cy - (offset ? (f_.IJFromStartPoint ? sy : ey) : 0);
  // Unsigned I and J are an offset's sizes; a centre's own coordinates
  // keep their signs, as X and Y do.
  if (offset && !f_.IJSigned) {
    i = std::llabs(i);
    j = std::llabs(j);
  }
}

void TRoutArcBlocks::Words(const TIntPoint& from, const TIntPoint& to, const TRoutTapeItem& arc,
                           TRoutArcBlock& block) const {
  if (!f_.IJMode) {
    block.RadiusUnits = std::hypot(double(from.X) - arc.Centre.X, double(from.Y) - arc.Centre.Y);
    return;
  }
  int64_t cx = 0, cy = 0, sx = 0, sy = 0, ex = 0, ey = 0;
  ToTapeAxes(f_.Version, arc.Centre.X, arc.Centre.Y, cx, cy);
  ToTapeAxes(f_.Version, from.X, from.Y, sx, sy);
  ToTapeAxes(f_.Version, to.X, to.Y, ex, ey);
  IJ(cx, cy, sx, sy, ex, ey, block.IUnits, block.JUnits);
}

// ---- How the tape reads an arc back ----------------------------------------------------

TRoutArcBlocks::TArcReading TRoutArcBlocks::ReadingOf(const TIntPoint& start, const TRoutTapeItem& arc) const {
  // The reading in the output format (Text Edit Rout) finds every arc's
  // centre from its rounded ends and the radius its words state, I and J
  // too; a tape reader that takes I and J as the centre finds it within
  // half a step. A number the reader could not hold is left to the
  // writing, which refuses it or writes it as it always has.
  TArcReading r;
  const TRoutTapeDigits d = RoutTapeDigits(f_);
  if (d.DecimalDigits < 0 || d.DecimalDigits > 10) return r;
  r.UnitsPerStep = static_cast<double>(UnitsFactorOf(f_.Metric)) / PowersOfTen[d.DecimalDigits];
  int64_t tx = 0, ty = 0;
  ToTapeAxes(f_.Version, arc.Centre.X, arc.Centre.Y, tx, ty);
  r.CentreX = static_cast<double>(tx) / r.UnitsPerStep;
  r.CentreY = static_cast<double>(ty) / r.UnitsPerStep;
  r.Radius = std::hypot(double(start.X) - arc.Centre.X, double(start.Y) - arc.Centre.Y) / r.UnitsPerStep;
  r.Side = TNCReader::ArcCentreSide(arc.Clockwise, f_.Version);
  r.Valid = true;
  return r;
}

std::optional<double> TRoutArcBlocks::PieceReadingMiss(const TRoutTapeItem& arc, const TArcReading& reading,
                                                       const TIntPoint& from, int64_t sx, int64_t sy,
                                                       TRoutArcBlock& piece) const {
  const auto held = [](int64_t v) { return v >= -INT32_MAX && v <= INT32_MAX; };
  const double centreX = reading.CentreX, centreY = reading.CentreY;
  int64_t ex = 0, ey = 0, radius = 0;
  if (!TapePoint(piece.End, ex, ey)) return std::nullopt;
  if (!held(sx) || !held(sy) || !held(ex) || !held(ey)) return std::nullopt;
  // A piece whose ends fall on one step states no arc.
  if (ex == sx && ey == sy) return HUGE_VAL;
  Words(from, piece.End, arc, piece);
  piece.OwnWords = false;
  int64_t i = 0, j = 0;
  if (!StatedSteps(piece, radius, i, j)) return std::nullopt;
  // How far off the reading finds the centre of a block stating radius,
  // or I and J as written; HUGE_VAL where it could not hold them, or where
  // they state a radius under a step, no arc.
  const auto readingMiss = [&](int64_t radius) {
    if (!held(radius) || radius < 1) return HUGE_VAL;
    int32_t cx = 0, cy = 0;
    TNCReader::ArcCentreFromRadius(reading.Side, static_cast<int32_t>(radius), static_cast<int32_t>(ex),
                                   static_cast<int32_t>(ey), static_cast<int32_t>(sx), static_cast<int32_t>(sy), cx,
                                   cy);
    return std::max(std::fabs(cx - centreX), std::fabs(cy - centreY));
  };
  const auto ijMiss = [&](int64_t i, int64_t j) { return readingMiss(RadiusOfIJ(i, j, sx, sy)); };
  double pieceMiss = 0;
  if (!f_.IJMode) {
    if (!held(radius)) return std::nullopt;
    pieceMiss = readingMiss(radius);
    // The radius is seldom a whole number of steps, and what the block
    // states is its centre: a radius a step longer or shorter may read
    // back nearer it. An arc read from a tape in this format has its
    // centre on a step and some radius reads back exactly there, the one it
    // was read from: written in it, the tape comes back as it was, where a
    // radius that merely reads back within a step would move the arc.
    const auto onStep = [](double v) { return std::fabs(v - std::round(v)) < kExactly; };
    const bool centreOnStep = onStep(centreX) && onStep(centreY);
    for (const int64_t other : {radius - 1, radius + 1}) {
      if (other <= 0 || pieceMiss <= (centreOnStep ? kExactly : kOneStep)) continue;
      if (const double candidate = readingMiss(other);
          candidate < pieceMiss && (pieceMiss > kOneStep || candidate <= kExactly)) {
        pieceMiss = candidate;
        piece.OwnWords = true;
        piece.Radius = other;
      }
    }
  } else {
    pieceMiss = ijMiss(i, j);
    // The centre is seldom on a step: its I and J rounded one way or
    // the other state a centre within a step of it, and one of those
    // may read back nearer.
    for (int32_t k = 0; k < 4 && pieceMiss > kOneStep; ++k) {
      const double gx = (k & 1) ? std::ceil(centreX) : std::floor(centreX);
      const double gy = (k & 2) ? std::ceil(centreY) : std::floor(centreY);
      if (!(std::fabs(gx) < 9.0e15 && std::fabs(gy) < 9.0e15)) break;
      int64_t wi = 0, wj = 0;
      IJ(static_cast<int64_t>(gx), static_cast<int64_t>(gy), sx, sy, ex, ey, wi, wj);
      const double candidate = ijMiss(wi, wj);
      if (candidate < pieceMiss) {
        pieceMiss = candidate;
        piece.OwnWords = true;
        piece.I = wi;
        piece.J = wj;
      }
    }
  }
  return pieceMiss;
}

double TRoutArcBlocks::ReadingMiss(const TTapePlace& start, const TRoutTapeItem& arc,
                                   std::vector<TRoutArcBlock>& pieces) const {
  const TArcReading reading = ReadingOf(start.At, arc);
  if (!reading.Valid) return 0;
  TIntPoint from = start.At;
  int64_t sx = start.X, sy = start.Y;
  double miss = 0;
  for (TRoutArcBlock& piece : pieces) {
    const std::optional<double> pieceMiss = PieceReadingMiss(arc, reading, from, sx, sy, piece);
    if (!pieceMiss) return 0;
    miss = std::max(miss, *pieceMiss);
    from = piece.End;
    TapePoint(piece.End, sx, sy);
  }
  return miss;
}

// ---- Steps beside a point ---------------------------------------------------------------

TIntPoint TRoutArcBlocks::StepPoint(const TArcReading& reading, int64_t x, int64_t y) const {
  int64_t ax = 0, ay = 0, bx = 0, by = 0;
  ToTapeAxes(f_.Version, 1, 0, ax, ay);
  ToTapeAxes(f_.Version, 0, 1, bx, by);
  const double tx = double(x) * reading.UnitsPerStep, ty = double(y) * reading.UnitsPerStep;
  return TIntPoint{SaturatingRound(double(ax) * tx + double(ay) * ty),
                   SaturatingRound(double(bx) * tx + double(by) * ty)};
}

std::vector<TRoutArcBlocks::TStepBeside> TRoutArcBlocks::StepsBeside(const TArcReading& reading,
                                                                     const TIntPoint& point, int64_t sx, int64_t sy,
                                                                     bool near) const {
  int64_t tx = 0, ty = 0;
  ToTapeAxes(f_.Version, point.X, point.Y, tx, ty);
  const double pointX = double(tx) / reading.UnitsPerStep, pointY = double(ty) / reading.UnitsPerStep;
  std::vector<TStepBeside> steps;
  for (int64_t dy = -1; dy <= 1; ++dy)
    for (int64_t dx = -1; dx <= 1; ++dx) {
      TStepBeside step{point, sx + dx, sy + dy, dx != 0 || dy != 0};
      if (step.Moved) {
        if ((near && std::max(std::fabs(double(step.X) - pointX), std::fabs(double(step.Y) - pointY)) > kOneStep) ||
            std::fabs(std::hypot(double(step.X) - reading.CentreX, double(step.Y) - reading.CentreY) -
                      reading.Radius) > 1)
          continue;
        step.At = StepPoint(reading, step.X, step.Y);
        int64_t cx = 0, cy = 0;
        if (!TapePoint(step.At, cx, cy) || cx != step.X || cy != step.Y) continue;
      }
      steps.push_back(step);
    }
  return steps;
}

// ---- Choosing the blocks -----------------------------------------------------------------

double TRoutArcBlocks::ChosenEnds(const TTapePlace& start, const TRoutTapeItem& arc, const TArcReading& reading,
                                  std::vector<TRoutArcBlock>& pieces, const TIntPoint* next) const {
  // A block's reading is thrown along its chord by how far its two rounded
  // ends lie off the arc, the one against the other. Between the arc's own
  // ends each piece's end may lie on any step beside it within a step of
  // the arc, and so may the arc's end within a step of it where the path
  // goes on from there (the next block starts where this one ends; the end
  // of a path, which may close it or meet a tab, stays where it is): the
  // ends whose pieces read back nearest are found piece by piece, each kept
  // with the nearest way to it from the arc's start.
  int64_t nx = 0, ny = 0;
  const bool endFree = next != nullptr && TapePoint(*next, nx, ny);
  if (!reading.Valid || (pieces.size() < 2 && !endFree)) return HUGE_VAL;
  struct TEnd {
    TIntPoint At;
    int64_t X = 0, Y = 0;    // steps
    double Miss = HUGE_VAL;  // the farthest reading of the pieces to it
    int32_t From = -1;       // the end before it on that way
    TRoutArcBlock Piece;     // the piece to it from there
  };
  // An end a step aside keeps the pieces running on along the arc only
  // where each piece spans a few steps.
  constexpr int64_t kFewestSteps = 4;
  int64_t sx = start.X, sy = start.Y;
  for (const TRoutArcBlock& piece : pieces) {
    int64_t px = 0, py = 0;
    if (!TapePoint(piece.End, px, py) || std::max(std::llabs(px - sx), std::llabs(py - sy)) < kFewestSteps)
      return HUGE_VAL;
    sx = px;
    sy = py;
  }
  std::vector<std::vector<TEnd>> ends(pieces.size());
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const bool own = k + 1 == pieces.size();
    int64_t px = 0, py = 0;
    if (!TapePoint(pieces[k].End, px, py)) return HUGE_VAL;
    for (const TStepBeside& step : StepsBeside(reading, pieces[k].End, px, py, own)) {
      if (own && step.Moved && (!endFree || (step.X == nx && step.Y == ny))) continue;
      TEnd e;
      e.At = step.At;
      e.X = step.X;
      e.Y = step.Y;
      // The arc's own end, where it is, comes first: it stays where no
      // other reads back nearer.
      if (own && !step.Moved) ends[k].insert(ends[k].begin(), e);
      else ends[k].push_back(e);
    }
  }
  for (std::size_t k = 0; k < ends.size(); ++k) {
    for (TEnd& e : ends[k]) {
      const auto reach = [&](const TIntPoint& from, int64_t sx, int64_t sy, double before, int32_t index) {
        TRoutArcBlock piece{e.At};
        const std::optional<double> miss = PieceReadingMiss(arc, reading, from, sx, sy, piece);
        if (!miss) return false;
        if (std::max(before, *miss) < e.Miss) {
          e.Miss = std::max(before, *miss);
          e.From = index;
          e.Piece = piece;
        }
        return true;
      };
      if (k == 0) {
        if (!reach(start.At, start.X, start.Y, 0, -1)) return HUGE_VAL;
        continue;
      }
      for (std::size_t b = 0; b < ends[k - 1].size(); ++b) {
        const TEnd& before = ends[k - 1][b];
        if (before.Miss < e.Miss && !reach(before.At, before.X, before.Y, before.Miss, int32_t(b)))
          return HUGE_VAL;
      }
    }
  }
  const TEnd* e = &ends.back().front();
  for (const TEnd& other : ends.back())
    if (other.Miss < e->Miss) e = &other;
  const double miss = e->Miss;
  if (!(miss < HUGE_VAL)) return HUGE_VAL;
  for (std::size_t k = pieces.size(); k-- > 0;) {
    pieces[k] = e->Piece;
    if (k > 0) e = &ends[k - 1][std::size_t(e->From)];
  }
  return miss;
}

double TRoutArcBlocks::Sweep(const TIntPoint& start, const TRoutTapeItem& arc) {
  return Turn(start, arc.Point, arc.Centre, arc.Clockwise);
}

double TRoutArcBlocks::HeadSweep(const TTapePlace& head, const TIntPoint& drawn, const TRoutTapeItem& arc) {
  // From a head a step beside the drawn start the arc turns about as far,
  // but the turn from the head is only known within a whole one: behind a
  // start that the arc comes nearly whole round to, it turns past a whole
  // turn. (Past the end of a short arc it would turn nearly whole round:
  // NoArc takes such an arc.)
  const double own = Sweep(drawn, arc), sweep = Sweep(head.At, arc);
  return own - sweep > M_PI ? sweep + 2 * M_PI : sweep;
}

std::vector<TRoutArcBlock> TRoutArcBlocks::Pieces(const TTapePlace& start, const TIntPoint& drawn,
                                                  const TRoutTapeItem& arc, const TIntPoint* next, double* readingMiss,
                                                  bool firstOnly) const {
  // A radius states the shorter of the two arcs between two points, and so
  // does the program's own tape read back: an arc of more than a half
  // circle goes out as two halves at least. Its reading finds the centre
  // from the rounded ends and radius, and the nearer a block's sweep comes
  // to a half circle the farther that rounding throws the centre along the
  // chord's normal: an arc whose blocks would read back more than a step
  // off goes out in the fewest pieces that read back within one, or in
  // those that come nearest, each piece's words chosen as ReadingMiss
  // says and, among a few pieces, the ends between them as ChosenEnds
  // says. The blocks that read back within a step are written as they
  // always were. Pieces shorter than kLeastPieceSweep come no nearer than
  // fewer, longer ones: an arc is tried in as many pieces as keep them that
  // long, and in up to four however short it is.
  constexpr int32_t kMostPieces = 16, kMostChosenPieces = 4;
  constexpr double kLeastPieceSweep = M_PI / 8;
  constexpr double kThrownAtMost = 2.2;
  const TIntPoint& from = start.At;
  const double a0 = std::atan2(double(from.Y) - arc.Centre.Y, double(from.X) - arc.Centre.X);
  const double sweep = HeadSweep(start, drawn, arc);
  const double r = std::hypot(double(from.X) - arc.Centre.X, double(from.Y) - arc.Centre.Y);
  // Whatever ends lie between its pieces, their readings are thrown along
  // their chords, all told, by as much as the arc's own rounded ends lie
  // off it, the one against the other, over its length. Past
  // kThrownAtMost steps over each radian, some piece's reading is thrown
  // off its chord's midline by more than a step and a half along an axis,
  // and so, its centre rounded to a step, by more than a step: no ends are
  // chosen. An arc's end that may go on a step beside it is held to this
  // where it lies nearest the arc.
  const TArcReading reading = ReadingOf(from, arc);
  int64_t ex = 0, ey = 0;
  const auto off = [&reading](int64_t x, int64_t y) {
    return std::hypot(double(x) - reading.CentreX, double(y) - reading.CentreY) - reading.Radius;
  };
  const auto choosable = [&](const TIntPoint* freeEnd) {
    if (!reading.Valid || !TapePoint(arc.Point, ex, ey)) return false;
    double endOff = std::fabs(off(ex, ey) - off(start.X, start.Y));
    if (freeEnd != nullptr)
      for (int64_t dy = -1; dy <= 1; ++dy)
        for (int64_t dx = -1; dx <= 1; ++dx)
          endOff = std::min(endOff, std::fabs(off(ex + dx, ey + dy) - off(start.X, start.Y)));
    return endOff <= kThrownAtMost * sweep;
  };
  std::vector<TRoutArcBlock> best;
  double bestMiss = HUGE_VAL;
  const int32_t fewest = sweep > M_PI + 1e-9 ? 2 : 1;
  const int32_t most =
      firstOnly ? fewest
                : std::clamp(static_cast<int32_t>(std::ceil(sweep / kLeastPieceSweep)), kMostChosenPieces, kMostPieces);
  const auto tryPieces = [&](const TIntPoint* freeEnd) {
    const bool chooses = choosable(freeEnd);
    for (int32_t n = fewest; n <= most; ++n) {
      std::vector<TRoutArcBlock> ends;
      const double piece = (arc.Clockwise ? -sweep : sweep) / n;
      for (int32_t k = 1; k < n; ++k)
        ends.push_back({{SaturatingRound(arc.Centre.X + r * std::cos(a0 + piece * k)),
                         SaturatingRound(arc.Centre.Y + r * std::sin(a0 + piece * k))}});
      ends.push_back({arc.Point});
      double miss = ReadingMiss(start, arc, ends);
      // The ends between a few pieces, and the end of an arc the path goes
      // on from, may be put on the steps beside them.
      if (miss > kOneStep && chooses && (n > 1 || freeEnd != nullptr) && n <= kMostChosenPieces) {
        std::vector<TRoutArcBlock> chosen = ends;
        if (const double chosenMiss = ChosenEnds(start, arc, reading, chosen, freeEnd); chosenMiss < miss) {
          ends = std::move(chosen);
          miss = chosenMiss;
        }
      }
      if (best.empty() || miss < bestMiss) {
        best = ends;
        bestMiss = miss;
      }
      if (miss <= kOneStep) break;
    }
  };
  // The arc's end stays where it is where pieces read back within a step
  // from there; the end of an arc the path goes on from is put on a step
  // beside it only where none do. Tried in the fewest pieces alone, the
  // end's steps beside it are tried with it where it is.
  if (!firstOnly || next == nullptr) tryPieces(nullptr);
  if (next != nullptr && bestMiss > kOneStep) tryPieces(next);
  if (readingMiss != nullptr) *readingMiss = bestMiss;
  return best;
}

std::optional<std::vector<TRoutArcBlock>> TRoutArcBlocks::NoArc(const TTapePlace& start, const TIntPoint& drawn,
                                                                const TRoutTapeItem& arc) const {
  const TArcReading reading = ReadingOf(start.At, arc);
  int64_t ex = 0, ey = 0;
  // A number the tape cannot hold is left to the writing, which refuses it.
  if (!reading.Valid || !TapePoint(arc.Point, ex, ey)) return std::nullopt;
  const bool meet = ex == start.X && ey == start.Y;
  std::vector<TRoutArcBlock> line;
  if (!meet) line.push_back({arc.Point, true});
  // A radius under a step states no arc the machine can cut: the cut goes
  // straight to the arc's end.
  if (reading.Radius < 1) return line;
  // Nor does one of a half circle or less whose ends fall on one step.
  // (Past a half circle such an arc runs nearly whole round, and its
  // pieces state it.)
  const double own = Sweep(drawn, arc);
  if (meet && own <= M_PI) return line;
  // A head put a step beside the drawn start may stand past the end of a
  // short arc: from there the arc would run nearly whole round, and the cut
  // goes straight back to its end instead.
  if (Sweep(start.At, arc) - own > M_PI) return line;
  return std::nullopt;
}

int64_t TRoutArcBlocks::RadiusOfIJ(int64_t i, int64_t j, int64_t sx, int64_t sy) const {
  // Absolute I and J are read from the arc's start.
  if (!f_.IJIncremental) {
    i -= sx;
    j -= sy;
  }
  return TNCReader::ArcRadiusOfIJ(i, j);
}

bool TRoutArcBlocks::StatedSteps(const TRoutArcBlock& block, int64_t& radius, int64_t& i, int64_t& j) const {
  if (block.OwnWords) {
    radius = block.Radius;
    i = block.I;
    j = block.J;
    return true;
  }
  if (!f_.IJMode) return RoutTapeSteps(f_, block.RadiusUnits, radius);
  return RoutTapeSteps(f_, static_cast<double>(block.IUnits), i) &&
         RoutTapeSteps(f_, static_cast<double>(block.JUnits), j);
}

bool TRoutArcBlocks::StatesNoRadius(const TRoutArcBlock& block, int64_t sx, int64_t sy) const {
  int64_t radius = 0, i = 0, j = 0;
  if (!StatedSteps(block, radius, i, j)) return false;
  return (f_.IJMode ? RadiusOfIJ(i, j, sx, sy) : radius) < 1;
}

bool TRoutArcBlocks::TurnsOtherwise(const TRoutTapeItem& arc, const TIntPoint& from, const TRoutArcBlock& block,
                                    int64_t sx, int64_t sy, int64_t ex, int64_t ey) const {
  // Signed or absolute I and J state the centre the machine cuts about; a
  // radius or unsigned ones leave it the shorter arc.
  if (!f_.IJMode || (f_.IJIncremental && !f_.IJSigned)) return false;
  int64_t radius = 0, i = 0, j = 0;
  if (!StatedSteps(block, radius, i, j)) return false;
  const int64_t cx = i + (f_.IJIncremental ? (f_.IJFromStartPoint ? sx : ex) : 0);
  const int64_t cy = j + (f_.IJIncremental ? (f_.IJFromStartPoint ? sy : ey) : 0);
  const TArcReading reading = ReadingOf(arc.Point, arc);
  if (!reading.Valid) return false;
  // The turns the arc's way round, in the drawing (where the tape's axes
  // mirror it, the tape states the arc the other way round along them): the
  // machine's, between the rounded ends about the stated centre, and the
  // piece's own about the arc's centre.
  const double machine = Turn(StepPoint(reading, sx, sy), StepPoint(reading, ex, ey), StepPoint(reading, cx, cy),
                              arc.Clockwise);
  return std::fabs(machine - Turn(from, block.End, arc.Centre, arc.Clockwise)) > M_PI / 2;
}

std::vector<TRoutArcBlock> TRoutArcBlocks::Written(const TTapePlace& start, const TRoutTapeItem& arc,
                                                   std::vector<TRoutArcBlock> pieces) const {
  std::vector<TRoutArcBlock> blocks;
  blocks.reserve(pieces.size());
  TIntPoint from = start.At;
  int64_t sx = start.X, sy = start.Y;
  for (TRoutArcBlock& piece : pieces) {
    Words(from, piece.End, arc, piece);
    const TIntPoint pieceFrom = from;
    from = piece.End;
    int64_t px = 0, py = 0;
    // A piece that ends on the step it starts from is left out: the next
    // one goes on from there with the words found for it. One whose words
    // state a radius under a step, its centre on its start, or a centre it
    // turns about far otherwise than about the arc's (a piece of a step or
    // two, the stated centre a step aside), is cut as the line to its end.
    if (TapePoint(piece.End, px, py)) {
      if (px == sx && py == sy) continue;
      piece.Straight = StatesNoRadius(piece, sx, sy) || TurnsOtherwise(arc, pieceFrom, piece, sx, sy, px, py);
      sx = px;
      sy = py;
    }
    blocks.push_back(piece);
  }
  return blocks;
}

std::vector<TRoutArcBlock> TRoutArcBlocks::Blocks(const TTapePlace& start, const TIntPoint& drawn,
                                                  const TRoutTapeItem& arc, const TIntPoint* next) const {
  if (std::optional<std::vector<TRoutArcBlock>> none = NoArc(start, drawn, arc)) return std::move(*none);
  return Written(start, arc, Pieces(start, drawn, arc, next));
}

bool TRoutArcBlocks::LineEnd(const TTapePlace& from, const TIntPoint& lineEnd, const TRoutTapeItem& arc,
                             const TIntPoint* next, TIntPoint& end, std::vector<TRoutArcBlock>& blocks) const {
  // Where the ends of the arc alone leave its reading more than a step
  // off, its start, the end of the line before it, may lie on a step beside
  // it as the arc's own end may: the one the arc reads back nearest from.
  end = lineEnd;
  TTapePlace at{lineEnd};
  if (!TapePoint(lineEnd, at.X, at.Y)) return false;
  // An arc that states no arc from the line's own end leaves it there.
  if (std::optional<std::vector<TRoutArcBlock>> none = NoArc(at, lineEnd, arc)) {
    blocks = std::move(*none);
    return true;
  }
  // An arc that reads back within a step from the line's own end, in
  // however many pieces, is written from there as it always was. From a
  // step beside it the fewest pieces tell: more pieces come nearer only
  // for arcs near or past a half circle, whose ends between the pieces
  // choose more than its start does.
  double least = HUGE_VAL;
  std::vector<TRoutArcBlock> pieces = Pieces(at, lineEnd, arc, next, &least);
  const TArcReading reading = ReadingOf(lineEnd, arc);
  TTapePlace chosen = at;
  if (reading.Valid && least > kOneStep)
    for (const TStepBeside& step : StepsBeside(reading, lineEnd, at.X, at.Y, true)) {
      // Not where the line begins.
      if (!step.Moved || (step.X == from.X && step.Y == from.Y)) continue;
      const TTapePlace beside{step.At, step.X, step.Y};
      // Nor where the arc would state none from there.
      if (NoArc(beside, lineEnd, arc)) continue;
      double miss = HUGE_VAL;
      Pieces(beside, lineEnd, arc, next, &miss, true);
      if (miss < least) {
        least = miss;
        chosen = beside;
        if (least <= kOneStep) break;
      }
    }
  end = chosen.At;
  // From a step beside the line's end the arc is written as it is from any
  // start, in however many pieces.
  blocks = end == lineEnd ? Written(at, arc, std::move(pieces)) : Blocks(chosen, lineEnd, arc, next);
  return true;
}
