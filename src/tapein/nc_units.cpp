// Reader units, the default letter formats, the per-file reset of the work
// record and the operations on the block word list.
#include <cmath>

#include "foundation/nc_format.h"
#include "tapein/nc_reader.h"

namespace {

// UseDefault, LeftAligned, IntegerDigits, DecimalDigits, PointMode per letter.
struct TLetterDefault {
  char Letters[16];
  TLetterFormat Format;
};

const TLetterDefault LetterDefaults[] = {
    {"ADEIJKLNOUVWXYZ", {true, true, 3, 3, false}},
    {"C", {true, true, 1, 4, false}},
    {"B", {false, true, 4, 0, false}},
    {"F", {false, true, 3, 0, false}},
    {"GM", {false, false, 2, 0, false}},
    {"H", {false, false, 6, 0, false}},
    {"PQRT", {false, false, kTapeCountDigits, 0, false}},
    {"S", {false, true, 2, 3, false}},
};

}  // namespace

int32_t TNCReader::NCToInternal(int32_t value) const {
  const double scale = Metric ? GlobalRec->MetricScale : GlobalRec->InchScale;
  return SafeRound(static_cast<double>(value) * scale);
}

void TNCReader::ResetNumberFormat() {
  WordFormats.Clear();
  WordFormats.Default = {HeaderZeros, HeaderIntegerDigits, HeaderDecimalDigits, HeaderPointMode};
  for (const TLetterDefault& entry : LetterDefaults)
    for (const char* c = entry.Letters; *c != '\0'; ++c) WordFormats.Of(*c) = entry.Format;
  for (TLetterFormat& f : WordFormats.Letters) {
    if (!f.UseDefault) continue;
    f.LeftAligned = WordFormats.Default.LeftAligned;
    f.IntegerDigits = WordFormats.Default.IntegerDigits;
    f.DecimalDigits = WordFormats.Default.DecimalDigits;
    f.PointMode = WordFormats.Default.PointMode;
  }
  if (!GlobalRec) return;
  TGlobalRec& g = *GlobalRec;
  g.DecimalStep = 1.0;
  for (int32_t k = 0; k < HeaderDecimalDigits; ++k) g.DecimalStep *= 0.1;
  g.InchFactor = 25400000.0;
  g.MetricFactor = 25400000.0 * 0.03937007874015748;
  g.MetricScale = g.DecimalStep * g.MetricFactor;
  g.InchScale = g.DecimalStep * g.InchFactor;
}

void TNCReader::LoadFormatOptions() {
  HeaderZeros = !TrailingZeros;
  HeaderIntegerDigits = IntegerDigits;
  HeaderDecimalDigits = DecimalDigits;
  HeaderPointMode = false;
}

void TNCReader::ResetFileState() {
  TGlobalRec& g = *GlobalRec;
  g.CompSide = 0;
  g.LastCompSide = 0;
  LoadFormatOptions();
  g.ErrorInFile = false;
  g.HeadDown = false;
  g.LastHeadDown = false;
  g.LastEndX = 0;
  g.LastEndY = 0;
  LastTravelX = 0;
  LastTravelY = 0;
  ResetNumberFormat();
  delete g.HeldMove.PendingTexts;
  g.HeldMove = TNCMove{};
  g.HeldMove.Tool = 1;
  g.HeldMove.ToolOffset = 1;
  g.InHeader = false;
  g.WasHeader = false;
  g.EndOfProgram = false;
  g.HeaderComments = true;
  g.ProgramBegun = false;
  g.PassCounter = 1;
  g.PatternStartPos = 0;
  g.PatternBegun = false;
  g.StepRepeatEndLine = 0;
  g.PatternReread = false;
  g.BlockPos = 0;
  BlockNumber = 1;
  g.BlockBase = 0;
  for (int level = 1; level <= PatternLevels; ++level) {
    g.RepeatCount[level] = 0;
    g.RepeatLimit[level] = -1;
    g.LevelOffsetX[level] = 0;
    g.LevelOffsetY[level] = 0;
    g.LevelSwap[level] = false;
    g.LevelMirrorX[level] = false;
    g.LevelMirrorY[level] = false;
  }
  g.PatternOffsetX = 0;
  g.PatternOffsetY = 0;
  g.PatternOrientation = 0;
  g.PatternLevel = 0;
  g.CurX = g.CurY = g.PrevX = g.PrevY = 0;
  g.ArcRadius = 0;
  g.MotionMode = 5;
  g.G92X = g.G92Y = 0;
  g.ToolNumber = 1;
  g.ToolOffset = 1;
  g.CurrentTool = 0;
  g.PrevCompTool = 0;
  g.ReportToolAgain = true;
  g.CircleDiameter = 0;
  g.InPattern = false;
  g.DrillCycleG81 = false;
  g.DrillCycleG83 = false;
}

bool TNCReader::HasWordValue(char letter, int32_t value) const {
  int32_t cursor = 1;
  int32_t found = 0;
  while (FindWord(letter, cursor, found)) {
    if (found == value) return true;
    ++cursor;
  }
  return false;
}

void TNCReader::RemoveWord(char letter) {
  TGlobalRec& g = *GlobalRec;
  int32_t cursor = 1;
  int32_t value = 0;
  if (!FindWord(letter, cursor, value)) return;
  for (int32_t i = cursor; i < g.WordCount; ++i) {
    g.Letters[i] = g.Letters[i + 1];
    g.Values[i] = g.Values[i + 1];
  }
  --g.WordCount;
}

bool TNCReader::InsertWord(char letter, int32_t value, int32_t position) {
  TGlobalRec& g = *GlobalRec;
  if (g.WordCount >= MaxBlockWords) return false;
  if (position < 1) position = 1;
  if (position > g.WordCount) {
    position = g.WordCount + 1;
  } else {
    for (int32_t i = g.WordCount; i >= position; --i) {
      g.Letters[i + 1] = g.Letters[i];
      g.Values[i + 1] = g.Values[i];
    }
  }
  g.Letters[position] = letter;
  g.Values[position] = value;
  ++g.WordCount;
  return true;
}
