// Program structure codes: pattern definitions and their repeats (M25, M01,
// M02, M08 and their aliases, up to three nested levels), drilled texts
// (M97, M98) and header blocks.
#include "foundation/display_units.h"
#include "tapein/nc_reader.h"

namespace {

void ClearLevel(TGlobalRec& g, int32_t level) {
  g.RepeatCount[level] = 0;
  g.RepeatLimit[level] = -1;
  g.LevelOffsetX[level] = 0;
  g.LevelOffsetY[level] = 0;
  g.LevelSwap[level] = false;
  g.LevelMirrorX[level] = false;
  g.LevelMirrorY[level] = false;
}

// Whether the pass through the pattern at this level that just ended
// accepted an M02 offset not yet drilled. Pass k accepts the first k M02
// blocks; it leaves RepeatLimit at k when a later block was ignored and at
// k - 1 when exactly k blocks were there, and either way the body must be
// read once more at the new sum of offsets.
bool PassPending(const TGlobalRec& g, int32_t level) {
  return g.RepeatLimit[level] >= 0 && g.RepeatLimit[level] >= g.RepeatCount[level] - 1;
}

}  // namespace

void TNCReader::PatternStartM25() {
  TGlobalRec& g = *GlobalRec;
  PatternStart(BlockNumber - 1);
  g.PatternStartPos = g.BlockPos;
  g.PatternBegun = true;
  // Each repeat goes back to here.
  if (g.MainSwapOpen && g.MainSwap.DeliveredCount() == g.BlockPos) g.MainSwap.RememberPosition();
}

void TNCReader::PatternEndM01() {
  TGlobalRec& g = *GlobalRec;
  if (g.MotionMode != 5) {
    g.HeadDown = false;
    g.MotionMode = 0;
    g.CompSide = 0;
    MoveRapid(g.PrevX, g.PrevY);
  }
  g.InPattern = true;
  bool handled = false;
  PatternEnd(handled);
  if (g.PatternLevel < 1) {
    if (!g.PatternBegun) PatternWithoutStart();
    g.PatternLevel = 1;
    g.RepeatCount[1] += 1;
    g.LevelOffsetX[1] = g.LevelOffsetY[1] = 0;
    g.LevelSwap[1] = g.LevelMirrorX[1] = g.LevelMirrorY[1] = false;
  } else if (g.PatternLevel <= PatternLevels && PassPending(g, g.PatternLevel)) {
    g.RepeatLimit[g.PatternLevel] = -1;
    // A pattern that no M25 began holds no blocks: there is nothing to read
    // again, as for a consumer that repeats what it recorded since the M25.
    if (!handled && g.PatternBegun) RestartPattern(g.PassCounter);
  } else if (g.PatternLevel < PatternLevels) {
    for (int32_t level = g.PatternLevel; level >= 1; --level) ClearLevel(g, level);
    g.PatternLevel += 1;
    g.RepeatCount[g.PatternLevel] += 1;
    g.LevelOffsetX[g.PatternLevel] = g.LevelOffsetY[g.PatternLevel] = 0;
  }
}

void TNCReader::PatternRepeatM02() {
  TGlobalRec& g = *GlobalRec;
  const int32_t level = g.PatternLevel;
  if (level < 1 || level > PatternLevels) {
    g.ErrorInFile = true;
    if (!KeepsMessages()) return;
    if (g.InSub) Message(Text(736, "Error in M99 <") + g.SubName + ">");
    const std::string block = std::to_string(g.InSub ? g.SubLineCount : BlockNumber);
    Message(Text(26, "Error in block number ") + block + Text(27, " : M02 code with no prior M01"));
    Message(Text(28, "Block ") + block + Text(29, " ignored."));
    return;
  }
  const bool takes = TakesStepRepeat();
  if (g.RepeatCount[level] == g.RepeatLimit[level] && !takes) return;
  g.RepeatLimit[level] += 1;
  if (g.RepeatCount[level] == g.RepeatLimit[level] && !takes) return;

  int32_t c = 1, dx = 0, dy = 0;
  if (!FindWord('X', c, dx)) dx = 0;
  c = 1;
  if (!FindWord('Y', c, dy)) dy = 0;
  g.LevelOffsetX[level] = ClampCompToInt(int64_t{g.LevelOffsetX[level]} + dx);
  g.LevelOffsetY[level] = ClampCompToInt(int64_t{g.LevelOffsetY[level]} + dy);
  g.LevelSwap[level] = HasWordValue('M', 70) || HasWordValue('M', 23);
  g.LevelMirrorX[level] = HasWordValue('M', 80) || HasWordValue('M', 21);
  g.LevelMirrorY[level] = HasWordValue('M', 90) || HasWordValue('M', 22);
  const uint8_t code = static_cast<uint8_t>((g.LevelSwap[level] ? 1 : 0) +
                                            (g.LevelMirrorX[level] ? 2 : 0) +
                                            (g.LevelMirrorY[level] ? 4 : 0));

  // The consumer lays the repeat out in the database's axes: the offset goes
  // through the axis version, and so does the orientation (a mirror in the
  // machine's X is one in the database's Y when the axes are exchanged).
  int32_t ox = 0, oy = 0;
  ConvertPoint(dx, dy, ox, oy);
  uint8_t versionOne = code;
  ToVersionOne(code, versionOne);
  int32_t count = 1;
  c = 1;
  if (!FindWord('R', c, count)) count = 1;
  bool handled = false;
  PatternRepeat(handled, ox / Divisor, oy / Divisor, versionOne, count);

  c = 1;
  int32_t tool = 0;
  if (FindWord('T', c, tool)) {
    g.ToolNumber = tool < 1 ? 1 : tool;
    g.ToolOffset = g.ToolNumber;
    ChangeTool();
    ApplyToolWords(false);
  }
}

void TNCReader::StepRepeatEndM08() {
  TGlobalRec& g = *GlobalRec;
  bool handled = false;
  PatternsDone(handled);
  if (g.PatternLevel <= 0) {
    // No pattern was open; what an M25 began is still over for a repeat.
    g.PatternBegun = false;
    g.StepRepeatEndLine = BlockNumber;
    return;
  }
  const int32_t level = g.PatternLevel <= PatternLevels ? g.PatternLevel : PatternLevels;
  if (PassPending(g, level) && !handled && g.PatternBegun) {
    g.RepeatLimit[level] = -1;
    RestartPattern(g.PassCounter);
    return;
  }
  StepRepeatEnd(BlockNumber - 1);
  g.InPattern = false;
  for (int32_t l = 1; l <= PatternLevels; ++l) ClearLevel(g, l);
  g.PatternOffsetX = g.PatternOffsetY = 0;
  g.PatternOrientation = 0;
  g.PatternLevel = 0;
  g.PassCounter = 1;
  // The next group repeats only what follows an M25 of its own.
  g.PatternBegun = false;
  g.StepRepeatEndLine = BlockNumber;
}

void TNCReader::PatternFault(std::string text) {
  if (KeepsMessages()) Message(std::move(text));
}

void TNCReader::PatternWithoutStart() {
  TGlobalRec& g = *GlobalRec;
  const std::string line = std::to_string(g.InSub ? g.SubLineCount : BlockNumber);
  std::string text = "Line " + line + ": M01 ends a pattern that no M25 began";
  if (g.StepRepeatEndLine > 0)
    text += " after the step and repeat ended in line " + std::to_string(g.StepRepeatEndLine);
  text += "; the pattern holds no blocks and its repeats add nothing.";
  if (g.InSub) PatternFault(Text(736, "Error in M99 <") + g.SubName + ">");
  PatternFault(std::move(text));
}

void TNCReader::PendingTextBlock() {
  TGlobalRec& g = *GlobalRec;
  g.PendingText = false;
  g.BlockDone = true;
  int32_t value = 0, c = 1;
  if (FindWord('X', c, value)) g.CurX = Incremental ? ClampCompToInt(int64_t{g.CurX} + value) : value;
  c = 1;
  if (FindWord('Y', c, value)) g.CurY = Incremental ? ClampCompToInt(int64_t{g.CurY} + value) : value;

  // The text starts at its code; a block number before it is not text.
  std::string text = g.PendingTextLine;
  const size_t at = text.find(g.TextIsM98 ? "M98" : "M97");
  if (at != std::string::npos) text.erase(0, at);
  if ((text == "M97,*" || text == "M98,*") && !StarText.empty()) text = text.substr(0, 4) + StarText;
  Notice("");
  Progress(text);
  g.MarkingText = text.size() > 4 ? text.substr(4) : std::string();
  int32_t x, y;
  TransformedTapePoint(x, y);
  BuildText(x, y, g.TextIsM98);
}

namespace {

// A header block that only a program body has: a position, a drilled slot,
// or a bare tool select once tools were defined.
bool BodyOnlyBlock(const TGlobalRec& g, bool toolsDefined) {
  bool tool = false, toolValues = false;
  for (int32_t i = 1; i <= g.WordCount; ++i) {
    switch (g.Letters[i]) {
      case 'X':
      case 'Y':
        return true;
      case 'G':
        if (g.Values[i] == 85) return true;
        break;
      case 'T':
        tool = true;
        break;
      case 'B':
      case 'C':
      case 'F':
      case 'H':
      case 'R':
      case 'S':
      case 'Z':
        toolValues = true;
        break;
      default:
        break;
    }
  }
  return tool && !toolValues && toolsDefined;
}

}  // namespace

void TNCReader::HeaderBlock() {
  TGlobalRec& g = *GlobalRec;
  bool toolsDefined = g.ZeroToolDefined;
  for (const auto& [number, tool] : ToolList)
    toolsDefined = toolsDefined || tool.Diameter != 0 || !tool.Definition.empty();
  if (BodyOnlyBlock(g, toolsDefined)) {
    // The body is read on from this block.
    EndUnclosedHeader();
    return;
  }
  g.BlockDone = true;
  // Units are honoured in the header as in the body.
  for (int32_t i = 1; i <= g.WordCount; ++i)
    if (g.Letters[i] == 'M' && (g.Values[i] == 71 || g.Values[i] == 72))
      SwitchUnits(g.Values[i] == 71, std::string());
  bool taken = false;
  if (ConsumerMode) {
    TDecodedBlock block;
    bool error = false;
    std::string errorText;
    DecodeLine(WordFormats, g.Line, block, error, errorText);
    if (error) {
      if (ErrorsAreFatal) {
        ErrorFlag = true;
        Error(errorText);
      } else {
        Message("Block " + std::to_string(BlockNumber) + ":" + errorText);
      }
      BlockMessage(BlockNumber - 1, errorText);
      return;
    }
    taken = ApplyToolWords(block.Letters.data(), block.Values.data(), block.WordCount, false);
  } else {
    taken = ApplyToolWords(false);
  }
  if (!taken) QueueUnparsedBlock(g.RawLine);
}
