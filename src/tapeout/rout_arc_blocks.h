// The blocks an arc of a rout path goes out as on a rout tape: a function
// of where the head stands when the arc begins, the arc, what the path goes
// on with after it and the rout output format, and nothing else of the
// writer.
//
// An arc goes out in pieces of a half circle at most, one block where that
// reads back about a centre within one step of the format, else in the
// fewest equal pieces that do (the reading finds a centre from rounded ends
// and radius, and near a half circle the rounding throws it far). A piece's
// radius, or its I and J, may be a step off the rounded ones, the ends
// between a few pieces may go on the steps beside them, and so may the end
// of a short arc the path goes on from and its start at the end of a line
// inside the path, where the blocks then read back nearer the centre.
//
// No arc block ends on the step it starts from: a machine that reads I and
// J takes such a block for a whole circle, and a radius states no arc
// there. An arc whose radius is under a step goes out as the line between
// its rounded ends, or as nothing where they meet; a piece whose ends fall
// on one step is left out, and so is an arc of a half circle or less whose
// ends do: the head is already there, and the path goes on from that point.
// A short arc from a head put a step past its end does not run whole round
// back to it, and a piece whose words would state its centre on its start,
// or a centre the machine would turn about the other way round the circle,
// is not cut as an arc: the cut goes straight to the end.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/geometry.h"
#include "foundation/settings_families.h"
#include "tapeout/rout_tape_writer.h"

// A place of the tape's head: the database point the tape put it at and
// its rounding, in steps of the format's last digit along the tape's axes.
struct TTapePlace {
  TIntPoint At;
  int64_t X = 0, Y = 0;
};

// One block an arc goes out as.
struct TRoutArcBlock {
  TIntPoint End;
  // A line (G01) to End, where the tape can state no arc for it.
  bool Straight = false;
  // The radius (A) or the I and J the block states: chosen, in steps as
  // written, where OwnWords; else rounded from RadiusUnits, or from IUnits
  // and JUnits, the arc's own in database units (I and J along the tape's
  // axes, as the format measures them).
  bool OwnWords = false;
  int64_t Radius = 0, I = 0, J = 0;
  double RadiusUnits = 0;
  int64_t IUnits = 0, JUnits = 0;
};

class TRoutArcBlocks {
 public:
  explicit TRoutArcBlocks(const TRoutFormatRecord& format) : f_(format) {}

  // The blocks of an arc (an Arc item) from `start`, where the head stands;
  // `drawn` is where the arc begins in the drawing, which the head may lie a
  // step beside. `next` is the point of the line or arc the path goes on
  // with from the arc's end, nullptr where the arc's end stays where it is.
  // Empty where the arc states no block.
  std::vector<TRoutArcBlock> Blocks(const TTapePlace& start, const TIntPoint& drawn, const TRoutTapeItem& arc,
                                    const TIntPoint* next) const;

  // The end of a line inside a path, from `from` to lineEnd, that the arc
  // after it is cut from: lineEnd, or a step beside it the arc reads back
  // nearer from; `blocks` gets the arc's blocks from there. False, lineEnd
  // left to the writing, where lineEnd has no place on the tape.
  bool LineEnd(const TTapePlace& from, const TIntPoint& lineEnd, const TRoutTapeItem& arc, const TIntPoint* next,
               TIntPoint& end, std::vector<TRoutArcBlock>& blocks) const;

 private:
  // What the reading is held to for an arc: its centre in steps along the
  // tape's axes, its radius in steps, and the side its centre lies on.
  // Valid is false where the reader could not hold the format's numbers.
  struct TArcReading {
    bool Valid = false;
    double UnitsPerStep = 0, CentreX = 0, CentreY = 0, Radius = 0;
    bool Side = false;
  };
  // A point's rounding (X, Y, in steps) or a step beside it, with the
  // database point on it (the point itself where it stays).
  struct TStepBeside {
    TIntPoint At;
    int64_t X = 0, Y = 0;
    bool Moved = false;
  };

  TArcReading ReadingOf(const TIntPoint& start, const TRoutTapeItem& arc) const;
  // How far the arc turns from start to its end, radians: a whole turn
  // where they meet.
  static double Sweep(const TIntPoint& start, const TRoutTapeItem& arc);
  // How far it turns from the head, about as far as from where it is drawn.
  static double HeadSweep(const TTapePlace& head, const TIntPoint& drawn, const TRoutTapeItem& arc);
  // The arc as a line or as nothing where the tape can state no arc for it
  // (see the top of this file); nothing returned where it goes out as arc
  // blocks.
  std::optional<std::vector<TRoutArcBlock>> NoArc(const TTapePlace& start, const TIntPoint& drawn,
                                                  const TRoutTapeItem& arc) const;
  // The arc's words for a block from `from` to `to`, in database units.
  void Words(const TIntPoint& from, const TIntPoint& to, const TRoutTapeItem& arc, TRoutArcBlock& block) const;
  // I and J of a centre as the format states them, for a block from s to
  // e, all in one unit along the tape's axes: the centre's offset from the
  // block's start or end, unsigned as its sizes, or its own coordinates.
  void IJ(int64_t cx, int64_t cy, int64_t sx, int64_t sy, int64_t ex, int64_t ey, int64_t& i, int64_t& j) const;
  // The radius, in steps, that I and J of a block from (sx, sy) state.
  int64_t RadiusOfIJ(int64_t i, int64_t j, int64_t sx, int64_t sy) const;
  // The radius, or the I and J, the block states, in steps as written;
  // false where they do not fit a step count.
  bool StatedSteps(const TRoutArcBlock& block, int64_t& radius, int64_t& i, int64_t& j) const;
  // Whether the block's words from (sx, sy), in steps, state a radius
  // under a step.
  bool StatesNoRadius(const TRoutArcBlock& block, int64_t sx, int64_t sy) const;
  // Whether the block from (sx, sy) to (ex, ey), in steps, turns about the
  // centre its I and J state by more than a quarter turn otherwise than the
  // piece from `from` to its end turns about the arc's own centre.
  bool TurnsOtherwise(const TRoutTapeItem& arc, const TIntPoint& from, const TRoutArcBlock& block, int64_t sx,
                      int64_t sy, int64_t ex, int64_t ey) const;
  // The blocks from start through the pieces' ends, with the words of each
  // (leaving out those that end where they start).
  std::vector<TRoutArcBlock> Written(const TTapePlace& start, const TRoutTapeItem& arc,
                                     std::vector<TRoutArcBlock> pieces) const;

  // The pieces an arc from start is written as: its own end, or the ends of
  // equal pieces of it. readingMiss, where given, is set to how far off the
  // blocks read back at most; firstOnly tries the fewest pieces alone.
  std::vector<TRoutArcBlock> Pieces(const TTapePlace& start, const TIntPoint& drawn, const TRoutTapeItem& arc,
                                    const TIntPoint* next, double* readingMiss = nullptr, bool firstOnly = false) const;
  // How far, in steps along either axis, the centres the tape's reading
  // finds for the arc blocks from start through the pieces' ends lie from
  // the arc's own centre at most. Where the words rounded from the centre
  // would read back more than a step off, a piece is given those of a
  // radius a step longer or shorter, or the I and J of a step next to the
  // centre, that read back nearest; about a centre on a step, a radius a
  // step off that reads back exactly at it.
  double ReadingMiss(const TTapePlace& start, const TRoutTapeItem& arc, std::vector<TRoutArcBlock>& pieces) const;
  // How far off the reading finds the centre of the block from `from` (sx,
  // sy in steps) to the piece's end, its words chosen as ReadingMiss says;
  // HUGE_VAL where the block would state no arc, nothing where the block is
  // left to the writing.
  std::optional<double> PieceReadingMiss(const TRoutTapeItem& arc, const TArcReading& reading, const TIntPoint& from,
                                         int64_t sx, int64_t sy, TRoutArcBlock& piece) const;
  // The ends between equal pieces of an arc put on the steps beside them,
  // a step off the arc at most, and, where the path goes on to `next`, the
  // arc's own end on a step within a step of it, that bring the pieces'
  // readings nearest its centre; the farthest reading, HUGE_VAL where none
  // is found.
  double ChosenEnds(const TTapePlace& start, const TRoutTapeItem& arc, const TArcReading& reading,
                    std::vector<TRoutArcBlock>& pieces, const TIntPoint* next) const;
  // The database point on a step of the tape's axes.
  TIntPoint StepPoint(const TArcReading& reading, int64_t x, int64_t y) const;
  // A point's rounding (sx, sy) and the steps beside it that lie within a
  // step of the arc the reading is held to and, where `near`, within a step
  // of that point, in rows along the tape's axes.
  std::vector<TStepBeside> StepsBeside(const TArcReading& reading, const TIntPoint& point, int64_t sx, int64_t sy,
                                       bool near) const;
  bool TapePoint(const TIntPoint& p, int64_t& sx, int64_t& sy) const { return RoutTapePoint(f_, p, sx, sy); }

  const TRoutFormatRecord& f_;
};
