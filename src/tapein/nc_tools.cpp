// The reader's tool lists: what the tape says about each tool (T words in
// the header define tools, in the program they select them), the parameter
// table lookup, the tool change with its drilling-time bookkeeping, and the
// accessors through which the emission and the consumers see tool values.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "platform/paths.h"
#include "tapein/nc_reader.h"

namespace {

uint16_t ToolKey(int32_t tool) { return static_cast<uint16_t>(tool & 0xFFFF); }


// The text inside every pair of parentheses, joined.
std::string ParenthesisedText(const std::string& line) {
  std::string result;
  std::size_t pos = 0;
  while ((pos = line.find('(', pos)) != std::string::npos) {
    const std::size_t end = line.find(')', pos + 1);
    if (end == std::string::npos) break;
    result += line.substr(pos + 1, end - pos - 1);
    pos = end + 1;
  }
  return result;
}

// The value of the letter's word in the block when it is written with a
// decimal point ("C4.3053"), so that a size keeps every digit it was written
// with, and the digits after its point; false for a word without a point.
bool PointValue(const std::string& line, char letter, double& value, int32_t* decimals = nullptr) {
  for (std::size_t at = line.find(letter); at != std::string::npos;
       at = line.find(letter, at + 1)) {
    std::size_t i = at + 1;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    const std::size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i >= line.size() || line[i] != '.') {
      if (i > digits) return false;  // the word is there, without a point
      continue;
    }
    const std::size_t end = line.find_first_not_of("0123456789", i + 1);
    value = std::strtod(line.substr(digits, end == std::string::npos ? end : end - digits).c_str(),
                        nullptr);
    if (negative) value = -value;
    if (decimals != nullptr)
      *decimals = static_cast<int32_t>((end == std::string::npos ? line.size() : end) - i - 1);
    return true;
  }
  return false;
}

}  // namespace

bool TNCReader::ToolDefined(int32_t tool) const {
  const auto it = ToolList.find(ToolKey(tool));
  return it != ToolList.end() && (it->second.Diameter != 0 || !it->second.Definition.empty());
}

int32_t TNCReader::ZeroToolNumber() {
  TGlobalRec& g = *GlobalRec;
  if (!g.ZeroToolDefined) return 1;
  if (g.ZeroTool == 0) {
    int32_t tool = 1;
    while (ToolDefined(tool)) ++tool;
    g.ZeroTool = tool;
    SetToolDiameter(tool, g.ZeroToolDiameter, g.ZeroToolInch);
    SetToolDefinition(tool, g.ZeroToolDefinition);
    Notice("Tool T0 of the header is read as tool T" + std::to_string(tool) +
           ", the first free tool number.");
  }
  return g.ZeroTool;
}

TToolRec& TNCReader::FindToolInList(int32_t tool) {
  const uint16_t key = ToolKey(tool);
  auto [it, inserted] = ToolList.try_emplace(key);
  if (inserted) it->second.Tool = key;
  LastFoundTool = &it->second;
  return it->second;
}

int32_t& TNCReader::FindComp(int32_t tool) { return CompList[ToolKey(tool)]; }

void TNCReader::SetToolDiameter(int32_t tool, int32_t diameter, bool inch) {
  TToolRec& rec = FindTool(tool);
  rec.Diameter = diameter;
  rec.InchDefined = inch;
  ToolDiameter(tool, diameter / Divisor);
}

void TNCReader::SetToolCompDiameter(int32_t tool, int32_t value) {
  FindComp(tool) = value;
  ToolCompDiameter(tool, value / Divisor);
}

void TNCReader::SetToolFeed(int32_t tool, int32_t feed) { FindTool(tool).Feed = feed; }
void TNCReader::SetToolSpeed(int32_t tool, int32_t speed) { FindTool(tool).Speed = speed; }
void TNCReader::SetToolDepth(int32_t tool, int32_t depth) { FindTool(tool).Depth = depth; }
void TNCReader::SetToolMaxHits(int32_t tool, int32_t maxHits) { FindTool(tool).MaxHits = maxHits; }

void TNCReader::SetToolComment(int32_t tool, const std::string& text) {
  if (!text.empty()) FindTool(tool).Comment = ShortStr(text);
}

void TNCReader::SetToolDefinition(int32_t tool, const std::string& text) {
  if (!text.empty()) FindTool(tool).Definition = ShortStr(text);
}

void TNCReader::AddToolHits(int32_t tool, int32_t n) { FindTool(tool).Hits += n; }

void TNCReader::AddToolTravel(int32_t tool, double length) {
  FindTool(tool).Travel += static_cast<int64_t>(std::nearbyint(length));
}

int32_t TNCReader::ToolFeedOf(int32_t tool) { return FindTool(tool).Feed; }
int32_t TNCReader::ToolMaxHitsOf(int32_t tool) { return FindTool(tool).MaxHits; }
double TNCReader::ToolTravelOf(int32_t tool) { return static_cast<double>(FindTool(tool).Travel); }

int32_t TNCReader::ToolSize(int32_t tool) {
  TToolRec& rec = FindTool(tool);
  // Asked for every hole: no division by a divisor of 1.
  int32_t value = Divisor == 1 ? rec.Diameter : rec.Diameter / Divisor;
  ToolValue(ToolKey(tool), value);
  rec.Diameter = ClampCompToInt(static_cast<int64_t>(Divisor) * value);
  return rec.Diameter;
}

int32_t TNCReader::ToolCompSize(int32_t tool) {
  int32_t& comp = FindComp(tool);
  int32_t value = comp / Divisor;
  ToolValue2(ToolKey(tool), value);
  comp = ClampCompToInt(static_cast<int64_t>(Divisor) * value);
  return comp;
}

bool TNCReader::TakeFirstTool(TTakenTool& tool) {
  if (!Ran || ToolList.empty()) return false;
  auto first = ToolList.begin();
  const TToolRec& rec = first->second;
  tool.Tool = rec.Tool;
  tool.Diameter = rec.Diameter / Divisor;
  tool.InchDefined = rec.InchDefined;
  tool.MaxHits = rec.MaxHits;
  tool.Speed = rec.Speed;
  tool.Feed = rec.Feed / Divisor;
  tool.Spare = rec.Spare / Divisor;
  tool.Depth = rec.Depth / Divisor;
  tool.Hits = rec.Hits;
  tool.Travel = ClampCompToInt(rec.Travel);
  tool.Comment = rec.Comment;
  tool.Definition = rec.Definition;
  if (LastFoundTool == &first->second) LastFoundTool = nullptr;
  ToolList.erase(first);
  return true;
}

int32_t TNCReader::SizeOfWord(char letter, int32_t value) const {
  double written = 0.0;
  if (GlobalRec && PointValue(GlobalRec->Line, letter, written))
    return SafeRound(written * (Metric ? 1000000.0 : 25400000.0));
  return ToolLengthToInternal(value);
}

int32_t TNCReader::SizeDecimals(char letter) const {
  const int32_t unitDecimals = Metric ? 3 : 4;
  double written = 0.0;
  int32_t decimals = 0;
  if (GlobalRec && PointValue(GlobalRec->Line, letter, written, &decimals))
    return std::max(decimals, unitDecimals);
  return std::clamp(HeaderDecimalDigits, 0, unitDecimals);
}

int32_t TNCReader::ToolLengthToInternal(int32_t value) const {
  const double s =
      std::nearbyint(static_cast<double>(value) * std::pow(10.0, 4 - HeaderDecimalDigits));
  const int64_t scaled = static_cast<int64_t>(std::fmax(std::fmin(s, 9.0e15), -9.0e15));
  if (Metric) return ClampCompToInt(scaled / 10 * 1000);
  return ClampCompToInt(scaled * 2540);
}

bool TNCReader::ApplyToolWords(bool lookupDone) {
  TGlobalRec& g = *GlobalRec;
  return ApplyToolWords(g.Letters.data(), g.Values.data(), g.WordCount, lookupDone);
}

bool TNCReader::ApplyToolWords(const char* letters, const int32_t* values, int32_t count,
                               bool lookupDone) {
  int32_t tool = 0;
  bool found = false;
  for (int32_t i = 1; i <= count; ++i) {
    if (letters[i] == 'T') {
      tool = values[i];
      found = true;
      break;
    }
  }
  const bool inHeader = GlobalRec && GlobalRec->InHeader;
  if (found && tool == 0 && inHeader) {
    // A T0 with a size is a tool of its own; it is given a number at the
    // end of the header, when the numbers in use are known.
    for (int32_t i = 1; i <= count; ++i) {
      if (letters[i] != 'C') continue;
      TGlobalRec& g = *GlobalRec;
      g.ZeroToolDefined = true;
      g.ZeroToolDiameter = SizeOfWord('C', values[i]);
      g.ZeroToolInch = !Metric;
      g.ZeroToolDefinition = ShortStr(g.RawLine);
    }
    return true;
  }
  if (!found || tool <= 0) return found;
  if (inHeader) {
    SetToolDefinition(tool, GlobalRec->RawLine);
    SetToolComment(tool, ParenthesisedText(GlobalRec->RawLine));
  }
  for (int32_t i = 1; i <= count; ++i) {
    const int32_t v = values[i];
    switch (letters[i]) {
      case 'C':
        if (!lookupDone) {
          const int32_t diameter = SizeOfWord('C', v);
          SetToolDiameter(tool, diameter, !Metric);
          if (inHeader && !ConsumerMode) {
            TDecodedBlock table;
            LookupParameters(diameter, table);
            if (table.WordCount > 0) {
              TDecodedBlock words;
              words.Letters[1] = 'T';
              words.Values[1] = tool;
              words.WordCount = 1;
              for (int32_t k = 1; k <= table.WordCount && words.WordCount < MaxBlockWords; ++k) {
                ++words.WordCount;
                words.Letters[words.WordCount] = table.Letters[k];
                words.Values[words.WordCount] = table.Values[k];
              }
              ApplyToolWords(words.Letters.data(), words.Values.data(), words.WordCount, true);
            }
          }
        }
        break;
      case 'F':
        if (Metric)
          SetToolFeed(tool, ClampCompToInt(static_cast<int64_t>(v) * 1000000));
        else
          SetToolFeed(tool, SafeRound(v * (1.0 / 60.0) * 25400000.0));
        break;
      case 'H':
        SetToolMaxHits(tool, v);
        break;
      case 'R': {
        const int32_t diameter = ClampCompToInt(2 * static_cast<int64_t>(ToolLengthToInternal(v)));
        SetToolDiameter(tool, diameter, !Metric);
        SetToolCompDiameter(tool, diameter);
        break;
      }
      case 'S':
        SetToolSpeed(tool, v);
        break;
      case 'Z': {
        const int32_t depth = ToolLengthToInternal(v);
        SetToolDepth(tool, depth);
        if (!inHeader) MoveParameter = depth / Divisor;
        break;
      }
      default:
        break;
    }
  }
  return true;
}

double TNCReader::HitTime(double firstZ, double secondZ, double feed, double retract,
                          double dwell) {
  return (firstZ - secondZ) / feed + (firstZ - secondZ) / retract + dwell;
}

void TNCReader::ChangeTool() {
  TGlobalRec& g = *GlobalRec;
  bool toolChanged = false;
  if (g.ToolNumber != g.CurrentTool) {
    g.CurrentTool = g.ToolNumber;
    toolChanged = true;
    Progress(" T" + IntToShortStr(g.CurrentTool));
    g.ReportToolAgain = false;
  } else if (g.ReportToolAgain) {
    Progress(" T" + IntToShortStr(g.CurrentTool));
    g.ReportToolAgain = false;
  }
  g.CurrentCompTool = g.ToolOffset;
  if (toolChanged || g.CurrentCompTool != g.PrevCompTool) {
    ToolChange(g.CurrentTool, g.CurrentCompTool);
    g.PrevCompTool = g.CurrentCompTool;
  }
  MaxHits = ToolMaxHitsOf(g.CurrentTool);
  HitCount = 0;
  double feed = ToolFeedOf(g.CurrentTool);
  if (feed == 0.0) feed = 63500000.0;
  TravelClock.SetHitTime(HitTime(FirstZLevel, SecondZLevel, feed, RetractSpeed, Dwell));
  TravelClock.AddTime(FirstToolChange ? ToolChangeTime * 0.5 : ToolChangeTime);
  FirstToolChange = false;
  FirstHit = true;
}

void TNCReader::LookupParameters(int32_t diameter, TDecodedBlock& found) {
  std::vector<TDecodedBlock> answers;
  LookupParameters(std::vector<int32_t>{diameter}, answers);
  found = answers.front();
}

void TNCReader::LookupParameters(const std::vector<int32_t>& diameters, std::vector<TDecodedBlock>& found) {
  found.assign(diameters.size(), TDecodedBlock{});
  for (TDecodedBlock& f : found) f.WordCount = 0;
  if (diameters.empty() || !FileExistsNoWild(ParameterFile)) return;
  std::FILE* file = std::fopen(NativePath(ParameterFile).c_str(), "rb");
  if (file == nullptr) InOutRes = errno != 0 ? errno : ENOENT;
  if (CheckIO("Opening F/S file")) {
    if (file != nullptr) std::fclose(file);
    return;
  }
  std::setvbuf(file, nullptr, _IOFBF, 2048);
  // Per diameter: whether a larger size stands in so far (the smallest,
  // the first of equals), and whether its own size was found.
  std::vector<bool> haveCandidate(diameters.size(), false), exact(diameters.size(), false);
  std::vector<int32_t> bestDiameter(diameters.size(), 0);
  std::size_t open = diameters.size();
  int32_t lineNumber = 0;
  std::string line;
  for (TLineRead got; open > 0 && (got = ReadTextLineLimited(file, line)) != lrEnd;) {
    ++lineNumber;
    if (got == lrTooLong) {
      // A table is lines of a few words; a file without line ends is none.
      Fail("Line " + std::to_string(lineNumber) + " longer than " + std::to_string(kMaxTextLine) +
           " characters in parameter table " + ParameterFile);
      break;
    }
    // Tape feed, lines of blank tape and the blanks of a line are passed
    // over, as in a tape.
    DropTapeFeed(line);
    if (IsBlankTapeLine(line)) continue;
    DropTapeBlanks(line);
    TDecodedBlock words;
    bool error = false;
    std::string errorText;
    DecodeLine(WordFormats, line, words, error, errorText);
    if (error) {
      if (ErrorsAreFatal) {
        Fail(errorText + " in parameter table " + ParameterFile);
        break;
      }
      Message(errorText + " in parameter table " + ParameterFile);
      BlockMessage(lineNumber, errorText + " in <" + ParameterFile + ">");
    }
    int32_t c = 0;
    bool hasC = false;
    for (int32_t i = 1; i <= words.WordCount; ++i) {
      if (words.Letters[i] == 'C') {
        c = ToolLengthToInternal(words.Values[i]);
        hasC = true;
        break;
      }
    }
    if (!hasC) continue;
    for (std::size_t k = 0; k < diameters.size(); ++k) {
      if (exact[k] || c < diameters[k]) continue;
      if (c == diameters[k]) {
        found[k] = words;
        exact[k] = true;
        --open;
      } else if (!haveCandidate[k] || c < bestDiameter[k]) {
        haveCandidate[k] = true;
        bestDiameter[k] = c;
        found[k] = words;
      }
    }
  }
  CheckIO("Opening F/S file");
  std::fclose(file);
}
