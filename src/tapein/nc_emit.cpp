// Move emission: the one road from the interpreter's move records to the
// consumer's operations, with the one-move look-ahead that lets the contour
// offset engine compensate each rout move against its successor.
#include <cmath>
#include <cstdlib>

#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "tapein/contour_offset_seam.h"
#include "tapein/nc_reader.h"

namespace {

constexpr const char* UncompensatedNotice =
    "Cutter compensation is not available: compensated rout moves are read as programmed.";

// A value in consumer units: the divisor is 1 for every import but one, and
// a division costs a hole more than the rest of its arithmetic.
int32_t Divided(int32_t value, int32_t divisor) { return divisor == 1 ? value : value / divisor; }

// The stops of the limits, out of the way of the path every hole takes.
[[gnu::cold, gnu::noinline]] bool LineRepeatsExceeded(TNCReader& reader) {
  reader.Fail("Line " + std::to_string(reader.BlockNumber) + " \"" + reader.GlobalRec->RawLine +
              "\": its repeats make more than " + IntToStrGrouped(MaxLineEmits) +
              " holes and moves; the reading stops.");
  return false;
}

[[gnu::cold, gnu::noinline]] bool TapeEmitsExceeded(TNCReader& reader) {
  reader.Fail("Line " + std::to_string(reader.BlockNumber) + ": the tape makes more than " +
              IntToStrGrouped(MaxTapeEmits) + " holes and moves; the reading stops.");
  return false;
}

// A long expansion lets the GUI run (Poll) once every so many holes and
// moves, so that its Cancel is seen within a few hundred of them; a plain
// tape asks twice a line anyway.
constexpr int64_t kEmitsPerPoll = 256;

}  // namespace

// ---- Emission ------------------------------------------------------------------

bool TNCReader::StoreRefused() {
  TGlobalRec& g = *GlobalRec;
  if (!g.StoreWatch.Refused()) return false;
  if (!ErrorFlag) Fail("Line " + std::to_string(BlockNumber) + ": " + g.StoreWatch.Text() + " The reading stops.");
  return true;
}

bool TNCReader::CountLineRepeat() {
  TGlobalRec& g = *GlobalRec;
  if (ErrorFlag || Abort || (g.StoreWatch.Refused() && StoreRefused())) return false;
  if (++g.LineEmits > MaxLineEmits) return LineRepeatsExceeded(*this);
  return true;
}

bool TNCReader::CountEmission() {
  TGlobalRec& g = *GlobalRec;
  if (!CountLineRepeat()) return false;
  ++g.TapeEmits;
  if (g.TapeEmits > MaxTapeEmits) return TapeEmitsExceeded(*this);
  if (g.TapeEmits % kEmitsPerPoll == 0) Poll(Abort);
  return !Abort;
}

void TNCReader::EmitMove(TNCMove& move) {
  TGlobalRec& g = *GlobalRec;
  // Only holes and moves count against the limits: the empty records that
  // write out a held move (before a hit, at the end of the tape) make none.
  if (move.Kind == NCMoveNone) {
    if (ErrorFlag || Abort || (g.StoreWatch.Refused() && StoreRefused())) return;
  } else if (!CountEmission()) {
    return;
  }
  EmitCountedMove(move);
}

void TNCReader::EmitHit(int32_t x, int32_t y) {
  TGlobalRec& g = *GlobalRec;
  if (!CountEmission()) return;
  if (g.HeldMove.PendingTexts != nullptr || (!DirectEmission && g.HeldMove.Kind != NCMoveNone)) {
    TNCMove move = HitRecord(x, y);
    EmitCountedMove(move);
    return;
  }
  // RecordMove and DispatchMove of the hole's record.
  const int32_t tool = g.ToolNumber;
  const int32_t block = BlockNumber - 1 + g.BlockBase;
  NoteToolPoint(tool, x, y);
  const int32_t size = ToolSize(tool);
  const int32_t d = Divisor;
  Hit(Divided(x, d), Divided(y, d), Divided(size, d), tool, block, 0);
  CountHit(x, y, tool);
  if (DirectEmission) g.HeldMove = BlankMove();
}

void TNCReader::EmitCountedMove(TNCMove& move) {
  TGlobalRec& g = *GlobalRec;
  const bool drillType = move.Kind >= NCMoveHit && move.Kind <= NCMoveCircle;

  if (drillType || DirectEmission) {
    if (!DirectEmission && g.HeldMove.Kind != NCMoveNone) {
      // The rout move held back is written out first (it is the cut before
      // this hit); a flush record takes its place and keeps the end point
      // the next rout move continues from.
      TNCMove flush = BlankMove();
      flush.SourceBlock = move.SourceBlock;
      flush.StartX = flush.EndX = g.HeldMove.EndX;
      flush.StartY = flush.EndY = g.HeldMove.EndY;
      EmitMove(flush);
      g.HeldMove.StartX = g.HeldMove.EndX = g.LastEndX;
      g.HeldMove.StartY = g.HeldMove.EndY = g.LastEndY;
    }
    // Texts queued after the previous move were read before this one: they
    // go out first, so the consumer sees them in tape order.
    if (g.HeldMove.PendingTexts) {
      TNCMove texts = g.HeldMove;
      texts.Kind = NCMoveNone;
      g.HeldMove.PendingTexts = nullptr;
      RecordMove(texts);
    }
    RecordMove(move);
    if (DirectEmission) g.HeldMove = BlankMove();
    return;
  }

  TNCMove& held = g.HeldMove;
  bool direct = move.Comp == 0 && held.Comp == 0;
  if (!direct) direct = ToolCompSize(move.ToolOffset) <= 0 && ToolCompSize(held.ToolOffset) <= 0;

  if (direct) {
    held.StartX = g.LastEndX;
    held.StartY = g.LastEndY;
    RecordMove(held);
    g.LastEndX = held.EndX;
    g.LastEndY = held.EndY;
  } else {
    const TNCMove& active = move.Comp != 0 ? move : held;
    const int32_t radius = ToolCompSize(active.ToolOffset) / 2;
    const bool side = CompensationSide(active);
    TNCMove in[2] = {held, move};
    TNCMove out[MaxOffsetRecords];
    int32_t n = 2;
    if (!OffsetContour(out, n, in, radius, side, 1.0 / g.DecimalStep) && !g.UncompensatedNoticeGiven) {
      g.UncompensatedNoticeGiven = true;
      Notice(UncompensatedNotice);
    }
    // Fewer than two records leave nothing to emit before the new move.
    if (n >= 2) {
      out[0].StartX = g.LastEndX;
      out[0].StartY = g.LastEndY;
      for (int32_t i = 0; i + 1 < n; ++i) {
        TPendingTexts* texts = out[i].PendingTexts;
        RecordMove(out[i]);
        // A list the engine copied into several records goes out once.
        if (texts)
          for (int32_t j = i + 1; j < n; ++j)
            if (out[j].PendingTexts == texts) out[j].PendingTexts = nullptr;
        if (held.PendingTexts == texts) held.PendingTexts = nullptr;
      }
      g.LastEndX = out[n - 2].EndX;
      g.LastEndY = out[n - 2].EndY;
    }
    if (held.PendingTexts) {
      // The engine dropped the held move's texts: they still go out here.
      TNCMove texts = held;
      texts.Kind = NCMoveNone;
      held.PendingTexts = nullptr;
      RecordMove(texts);
    }
  }
  TPendingTexts* own = move.PendingTexts;
  g.HeldMove = move;
  g.HeldMove.PendingTexts = own;
  move.PendingTexts = nullptr;
}

bool TNCReader::CompensationSide(const TNCMove& move) {
  const bool negative = ToolCompSize(move.ToolOffset) < 0;
  const bool right = move.Comp == 2;
  const bool mirrored = MirrorParity[GlobalRec->PatternOrientation & 7] == 1;
  return (negative != right) != mirrored;
}

void TNCReader::RecordMove(TNCMove& m) {
  switch (m.Kind) {
    case NCMoveHit:
      NoteMovePoint(m, m.StartX, m.StartY);
      break;
    case NCMoveText:
    case NCMoveCircle:
      NoteMovePoint(m, m.EndX, m.EndY);
      break;
    case NCMoveSlot:
      NoteMovePoint(m, m.StartX, m.StartY);
      NoteMovePoint(m, m.EndX, m.EndY);
      break;
    default:
      break;
  }
  DispatchMove(m);
  if (!m.Head) return;
  if (m.Kind == NCMoveLine) {
    const double dx = double(m.EndX) - m.StartX, dy = double(m.EndY) - m.StartY;
    AddToolTravel(m.Tool, std::nearbyint(std::sqrt(dx * dx + dy * dy)));
  } else if (m.Kind == NCMoveArcCW || m.Kind == NCMoveArcCCW) {
    double r1, a1, r2, a2;
    RectToPolar(double(m.StartX) - m.CentreX, double(m.StartY) - m.CentreY, r1, a1);
    RectToPolar(double(m.EndX) - m.CentreX, double(m.EndY) - m.CentreY, r2, a2);
    double sweep;
    if (m.Kind == NCMoveArcCW) {
      if (a1 < a2) a1 += 360.0;
      sweep = a1 - a2;
    } else {
      if (a2 < a1) a2 += 360.0;
      sweep = a2 - a1;
    }
    AddToolTravel(m.Tool, std::nearbyint((r1 + r2) * M_PI * (1.0 / 360.0) * sweep));
  }
}

void TNCReader::NoteMovePoint(const TNCMove& move, int32_t x, int32_t y) {
  NoteToolPoint(move.Tool, x, y);
}

void TNCReader::NoteToolPoint(int32_t toolNumber, int32_t x, int32_t y) {
  // The travel is a whole number of units: the longer axis is added as it is.
  TToolRec& tool = FindTool(toolNumber);
  if (tool.Travel == 0) {
    LastTravelX = x;
    LastTravelY = y;
    tool.Travel += 1;
    return;
  }
  const int64_t dx = std::llabs(int64_t{x} - LastTravelX);
  const int64_t dy = std::llabs(int64_t{y} - LastTravelY);
  tool.Travel += dy > dx ? dy : dx;
  LastTravelX = x;
  LastTravelY = y;
}

void TNCReader::DispatchMove(TNCMove& m) {
  const int32_t d = Divisor;
  switch (m.Kind) {
    case NCMoveLine:
    case NCMoveArcCW:
    case NCMoveArcCCW:
    case NCMoveRapid: {
      const int32_t size = ToolSize(m.Tool);
      Emit18(m.Tool, size, m.ToolOffset, ToolCompSize(m.ToolOffset), m.Comp);
      break;
    }
    default:
      break;
  }
  switch (m.Kind) {
    case NCMoveHit: {
      const int32_t size = ToolSize(m.Tool);
      Hit(Divided(m.CentreX, d), Divided(m.CentreY, d), Divided(size, d), m.Tool, m.SourceBlock, 0);
      CountHit(m.CentreX, m.CentreY, m.Tool);
      break;
    }
    case NCMoveLine:
      if (m.Head) {
        const int32_t size = ToolSize(m.Tool);
        RoutLine(m.StartX / d, m.StartY / d, m.EndX / d, m.EndY / d, Feed, MoveParameter, m.Comp);
        Feed = 0;
        MoveParameter = 2147483647;
        LineMove(m.StartX / d, m.StartY / d, m.EndX / d, m.EndY / d, size / d, m.Tool,
                 m.SourceBlock, 0);
      }
      break;
    case NCMoveArcCW:
    case NCMoveArcCCW:
      if (m.Head) {
        const int32_t size = ToolSize(m.Tool);
        const bool clockwise = m.Kind == NCMoveArcCW;
        ArcMove(m.StartX / d, m.StartY / d, m.EndX / d, m.EndY / d, m.CentreX / d, m.CentreY / d,
                size / d, clockwise, m.Tool, m.SourceBlock);
        RoutArc(m.StartX / d, m.StartY / d, m.EndX / d, m.EndY / d, m.CentreX / d, m.CentreY / d,
                Feed, MoveParameter, m.Comp, clockwise);
        Feed = 0;
        MoveParameter = 2147483647;
      }
      break;
    case NCMoveRapid:
      RapidMove(m.StartX / d, m.StartY / d, m.EndX / d, m.EndY / d);
      break;
    case NCMoveText: {
      const int32_t size = ToolSize(m.Tool);
      DrilledText(m.EndX / d, m.EndY / d, size / d, m.CentreX == 1, m.Tool, GlobalRec->MarkingText,
                  m.SourceBlock);
      break;
    }
    case NCMoveSlot: {
      const int32_t size = ToolSize(m.Tool);
      Slot(m.StartX / d, m.StartY / d, m.EndX / d, m.EndY / d, size / d, m.Tool, m.SourceBlock, 0);
      break;
    }
    case NCMoveCircle: {
      const int32_t size = ToolSize(m.Tool);
      Circle(m.EndX / d, m.EndY / d, size / d, m.CentreX / d, m.Tool, m.SourceBlock);
      break;
    }
    default:
      break;
  }
  if (m.PendingTexts) {
    TPendingTexts* texts = m.PendingTexts;
    m.PendingTexts = nullptr;
    for (const TPendingTexts::TRun& run : texts->Runs)
      for (int64_t k = 0; k < run.Count; ++k) UnparsedBlock(run.Text, SkippedLineKind());
    delete texts;
  }
}
