#include "import/odb_reader.h"


#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "foundation/file_utils.h"
#include "foundation/utilities.h"

const char* const OdbContextWords = "NONE BOARD MISC ";
const char* const OdbTypeWords =
    "NONE SIGNAL POWER_GROUND MIXED SOLDER_MASK SOLDER_PASTE SILK_SCREEN DRILL ROUT DOCUMENT ";
const char* const OdbPolarityWords = "NONE POSITIVE NEGATIVE ";
const char* const OdbToolTypeWords = "PLATED NON_PLATED VIA ";

uint8_t OdbWordValue(const char* list, std::string_view word) {
  std::string_view words(list);
  uint8_t index = 0;
  std::size_t start = 0;
  while (start < words.size()) {
    const std::size_t blank = words.find(' ', start);
    const std::string_view w = words.substr(start, blank - start);
    if (w.size() == word.size() &&
        std::equal(w.begin(), w.end(), word.begin(), [](char a, char b) {
          return a == (b >= 'a' && b <= 'z' ? char(b - 32) : b);
        }))
      return index;
    ++index;
    if (blank == std::string_view::npos) break;
    start = blank + 1;
  }
  return index;
}

namespace {

int32_t RoundUnits(double v) {
  v = std::nearbyint(v);
  if (!(v > -2147483647.0)) return -2147483647;
  if (v > 2147483647.0) return 2147483647;
  return static_cast<int32_t>(v);
}

// Lenient real: the longest leading number, 0 when none.
double Real(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0.0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// The blank-separated fields of a feature record before its ";".
struct TFields {
  std::vector<std::string_view> F;
  std::string_view Attributes;
  explicit TFields(std::string_view line) {
    const std::size_t semi = line.find(';');
    if (semi != std::string_view::npos) {
      Attributes = line.substr(semi + 1);
      line = line.substr(0, semi);
    }
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      std::size_t j = i;
      while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
      if (j > i) F.push_back(line.substr(i, j - i));
      i = j;
    }
  }
  std::string_view operator[](std::size_t i) const { return i < F.size() ? F[i] : std::string_view(); }
  double Num(std::size_t i) const { return Real((*this)[i]); }
};

// A "KEY=value" line: key upper-cased and trimmed, value trimmed.
bool KeyValue(const std::string& raw, std::string& key, std::string& value) {
  const std::string line = TrimBlanks(raw);
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = UpperCaseStr(TrimBlanks(line.substr(0, eq)));
  value = TrimBlanks(line.substr(eq + 1));
  return true;
}

bool StartsWithUpper(const std::string& line, const char* word) {
  const std::size_t n = std::char_traits<char>::length(word);
  return line.size() >= n && UpperCaseStr(line.substr(0, n)) == word;
}

// A units line: true when the line is one, with metric set accordingly.
bool UnitsLine(const std::string& line, bool& metric) {
  std::string key, value;
  if (StartsWithUpper(line, "UNITS") && KeyValue(line, key, value) && key == "UNITS") {
    metric = UpperCaseStr(value) == "MM";
    return true;
  }
  if (StartsWithUpper(line, "U ")) {
    metric = UpperCaseStr(TrimBlanks(line.substr(2))) == "MM";
    return true;
  }
  return false;
}

// Reads the blocks "<HEAD> {" ... "}" of a file; each key-value pair goes
// to onKey, each block start to onBlock; a units line to onUnits.
template <class Block, class Key, class Units>
void ReadBlocks(TOdbFile& file, const char* head, Block onBlock, Key onKey, Units onUnits) {
  std::string line, key, value;
  bool inBlock = false;
  while (file.ReadLine(line)) {
    if (!inBlock) {
      if (StartsWithUpper(line, head)) {
        inBlock = true;
        onBlock();
      } else {
        bool metric = false;
        if (UnitsLine(line, metric)) onUnits(metric);
      }
      continue;
    }
    if (line.find('}') != std::string::npos) {
      inBlock = false;
      continue;
    }
    if (!line.empty() && line[0] == '#') continue;
    if (KeyValue(line, key, value)) onKey(key, value);
  }
}

}  // namespace

// ---- Text helpers ----------------------------------------------------------------------------

std::string SkipToken(const std::string& text) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return {};
  const std::size_t next = text.find_first_not_of(' ', blank);
  return next == std::string::npos ? std::string() : text.substr(next);
}

bool IsYesWord(const std::string& text) {
  std::string w = UpperCaseStr(TrimBlanks(text));
  w = w.substr(0, w.find(' '));
  w = w.substr(0, w.find(';'));
  static const char* const yes[] = {"YES", "Y", "T", "ON", "TRUE", "JA", "OK", "OUI",
                                    "JAWOL", "SI", "ENABLE", "DA", "OBVIOUSLY", "OFCOURSE",
                                    "PLEASE"};
  for (const char* y : yes)
    if (w == y) return true;
  return false;
}

int32_t SymbolShapeIndex(const std::string& symbol) {
  std::size_t cut = symbol.find_first_of(" +-0123456789");
  const std::string shape = UpperCaseStr(TrimBlanks(symbol.substr(0, cut)));
  static const char* const shapes[] = {
      "R",      "S",   "RECT",  "OVAL",  "DI",     "OCT",    "DONUT_R", "DONUT_S", "HEX_L",
      "HEX_S",  "BFR", "BFS",   "TRI",   "OVAL_H", "THR",    "THS",     "S_THS",   "S_THO",
      "SR_THS", "RC_THS", "RC_THO", "EL", "MOIRE", "HOLE", "NULL", "DONUT_RC", "DONUT_O"};
  for (int32_t i = 0; i < 27; ++i)
    if (shape == shapes[i]) return i;
  return -1;
}

std::string NormaliseSymbolText(const std::string& text) {
  std::string s = UpperCaseStr(text), out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == 'X' && i + 1 < s.size() && (s[i + 1] == 'R' || s[i + 1] == 'C')) {
      out += ' ';
      ++i;
    } else if (s[i] == 'X') {
      out += ' ';
    } else {
      out += s[i];
    }
  }
  return out;
}

// ---- Matrix ----------------------------------------------------------------------------------

TOdbMatrix::TOdbMatrix(const std::string& jobPath) : JobPath(jobPath) {}

bool TOdbMatrix::Read(TOdbFile& file) {
  std::string line, key, value;
  enum { kNone, kStep, kLayer } block = kNone;
  while (file.ReadLine(line)) {
    if (block == kNone) {
      if (StartsWithUpper(line, "STEP ")) {
        block = kStep;
        Steps.emplace_back();
      } else if (StartsWithUpper(line, "LAYER ")) {
        block = kLayer;
        Layers.emplace_back();
      }
      continue;
    }
    if (line.find('}') != std::string::npos) {
      block = kNone;
      continue;
    }
    if ((!line.empty() && line[0] == '#') || !KeyValue(line, key, value)) continue;
    if (block == kStep) {
      TOdbStepRecord& s = Steps.back();
      if (key == "COL") s.Col = StrToIntLenient(value);
      else if (key == "NAME") s.Name = value;
    } else {
      TOdbLayerRecord& l = Layers.back();
      if (key == "ROW") l.Row = StrToIntLenient(value);
      else if (key == "CONTEXT") l.Context = OdbWordValue(OdbContextWords, value);
      else if (key == "TYPE") l.Type = OdbWordValue(OdbTypeWords, value);
      else if (key == "NAME") l.Name = value.substr(0, 64);
      else if (key == "POLARITY") l.Polarity = OdbWordValue(OdbPolarityWords, value);
      else if (key == "START_NAME") l.StartName = value;
      else if (key == "END_NAME") l.EndName = value;
    }
  }
  return !Steps.empty() && !Layers.empty();
}

bool TOdbMatrix::NextStepName(std::string& name, std::size_t maxLength) {
  if (stepCursor_ >= Steps.size()) return false;
  name = Steps[stepCursor_++].Name.substr(0, maxLength);
  return true;
}

bool TOdbMatrix::NextLayerName(std::string& name, std::size_t maxLength) {
  if (layerCursor_ >= Layers.size()) return false;
  name = Layers[layerCursor_++].Name.substr(0, maxLength);
  return true;
}

uint8_t TOdbMatrix::LayerType(int32_t n) const {
  return n >= 1 && n <= static_cast<int32_t>(Layers.size()) ? Layers[static_cast<std::size_t>(n - 1)].Type : 0;
}

std::string TOdbMatrix::LayerNameByRow(int32_t row, const std::string& fallback) const {
  if (row == 0) return "PROFILE";
  for (const TOdbLayerRecord& l : Layers)
    if (l.Row == row) return l.Name;
  return fallback;
}

// ---- Reader ----------------------------------------------------------------------------------

TValorReader::TValorReader() : TOdbMatrix("") {}

bool TValorReader::Init(const std::string& matrixPath, std::string& message, int32_t maxAge) {
  lastChain_ = 0;
  newChain_ = true;
  currentX_ = currentY_ = 0;
  MaxAge = maxAge;
  message.clear();
  std::string norm = matrixPath;
  std::replace(norm.begin(), norm.end(), '\\', '/');
  const std::string upper = UpperCaseStr(norm);
  const std::size_t at = upper.find("/MATRIX/MATRIX");
  if (at == std::string::npos || at == 0 || !DirectoryIsWritable(norm.substr(0, at))) {
    message = "Path not found";
    return false;
  }
  JobPath = norm.substr(0, at);
  const std::string matrixFile = JobPath + "/matrix/matrix";
  if (!FileExistsNoWild(matrixFile) && !FileExistsNoWild(matrixFile + ".Z")) {
    message = "Matrix file not found";
    return false;
  }
  TOdbFile file(matrixFile);
  if (!file.OpenRead(MaxAge)) {
    for (std::string m = file.NextError(); !m.empty(); m = file.NextError()) {
      Error(m);
      message += (message.empty() ? "" : "\r\n") + m;
    }
    return false;
  }
  const bool read = Read(file);
  // A matrix cut short at an overlong line would leave layers out unseen.
  if (const std::string cut = file.NextError(); !cut.empty()) {
    message = cut;
    return false;
  }
  if (!read) {
    Error("Unable to load Matrix file.");
    message = "Unable to load Matrix file.";
    return false;
  }
  return true;
}

void TValorReader::SetFeatureKinds(bool pads, bool lines, bool arcs, bool holes, bool surfaces) {
  Pads = pads;
  Lines = lines;
  Arcs = arcs;
  Holes = holes;
  Surfaces = surfaces;
}

bool TValorReader::OpenJobFile(TOdbFile& file, bool mayBeMissing) {
  if (file.OpenRead(MaxAge)) return true;
  if (file.UnpackFailed()) {
    Error(file.NextError() + "\r\n<" + file.FileName() + "> is left out; the rest of the job is read.");
  } else if (!mayBeMissing) {
    Error("Could not open <" + file.FileName() + ">");
  }
  return false;
}

void TValorReader::TellReadErrors(TOdbFile& file) {
  for (std::string m = file.NextError(); !m.empty(); m = file.NextError())
    Error(m + "\r\nThe lines before it are read; the rest of the file is not.");
}

std::string TValorReader::StepPath(int32_t step) const {
  return JobPath + "/steps/" + LowerCaseStr(Steps[static_cast<std::size_t>(step - 1)].Name);
}

void TValorReader::ReadStepProfile(int32_t step) {
  if (step < 1 || step > static_cast<int32_t>(Steps.size())) return;
  ReadFeatures(StepPath(step) + "/profile", 0, otNone, true);
}

void TValorReader::ReadStepLayer(int32_t layer, int32_t step) {
  if (step < 1 || step > static_cast<int32_t>(Steps.size())) return;
  if (layer < 1 || layer > static_cast<int32_t>(Layers.size())) return;
  const std::string header = StepPath(step) + "/stephdr";
  {
    TOdbFile file(header);
    if (OpenJobFile(file, false) && std::find(repeatsTold_.begin(), repeatsTold_.end(), step) == repeatsTold_.end()) {
      // The copies of other steps a panel places are read only where
      // those steps are chosen themselves: they are counted, once a step.
      repeatsTold_.push_back(step);
      std::string name;
      int64_t nx = 1, ny = 1;
      // A count of 32-bit factors fits; their sum is held at the largest
      // count, which the notice shows as a lower bound.
      const auto count = [&] {
        if (name.empty()) return;
        int64_t& total = RepeatedSteps[name];
        const int64_t copies = std::max<int64_t>(nx, 0) * std::max<int64_t>(ny, 0);
        total = copies > kCountLimit - total ? kCountLimit : total + copies;
      };
      ReadBlocks(
          file, "STEP-REPEAT",
          [&] {
            count();
            name.clear();
            nx = ny = 1;
          },
          [&](const std::string& key, const std::string& value) {
            if (key == "NAME") name = UpperCaseStr(value);
            else if (key == "NX") nx = StrToIntLenient(value);
            else if (key == "NY") ny = StrToIntLenient(value);
          },
          [](bool) {});
      count();
      TellReadErrors(file);
    }
  }
  const TOdbLayerRecord& record = Layers[static_cast<std::size_t>(layer - 1)];
  const std::string dir = StepPath(step) + "/layers/" + LowerCaseStr(record.Name);
  if (record.Type == otDrill || record.Type == otRout)
    ReadTools(dir + "/tools", layer, record.Type == otRout);
  ReadFeatures(dir + "/features", layer, record.Type, false);
}

void TValorReader::ReadTools(const std::string& path, int32_t layer, bool rout) {
  TOdbFile file(path);
  if (!OpenJobFile(file, true)) return;  // a layer without a tool file takes its sizes from the pads
  std::vector<TOdbToolRecord>& list = rout ? RoutTools : DrillTools;
  const std::size_t first = list.size();
  double unit = 25400.0;  // database units per mil
  ReadBlocks(
      file, "TOOLS",
      [&] {
        list.emplace_back();
        list.back().Layer = layer;
      },
      [&](const std::string& key, const std::string& value) {
        TOdbToolRecord& t = list.back();
        if (key == "NUM") t.Num = StrToIntLenient(value);
        else if (key == "TYPE") t.Type = OdbWordValue(OdbToolTypeWords, value);
        else if (key == "BIT") t.Bit = value;
        else if (key == "MIN_TOL") t.MinTol = RoundUnits(Real(value) * 1000.0);
        else if (key == "MAX_TOL") t.MaxTol = RoundUnits(Real(value) * 1000.0);
        else if (key == "FINISH_SIZE") t.FinishSize = RoundUnits(Real(value) * 1000.0);
        else if (key == "DRILL_SIZE") t.DrillSize = RoundUnits(Real(value) * 1000.0);
      },
      [&](bool metric) { unit = metric ? 1000.0 : 25400.0; });
  TellReadErrors(file);
  // Sizes were gathered in thousandths of the unit; scale them now that the
  // file's units are known.
  const double scale = unit / 1000.0;
  for (std::size_t i = first; i < list.size(); ++i) {
    TOdbToolRecord& t = list[i];
    t.MinTol = RoundUnits(t.MinTol * scale);
    t.MaxTol = RoundUnits(t.MaxTol * scale);
    t.FinishSize = RoundUnits(t.FinishSize * scale);
    t.DrillSize = RoundUnits(t.DrillSize * scale);
  }
}

int32_t TValorReader::FirstTool(bool rout) {
  toolsRout_ = rout;
  toolCursor_ = 0;
  const std::vector<TOdbToolRecord>& list = rout ? RoutTools : DrillTools;
  int32_t lowest = 2147483647;
  for (const TOdbToolRecord& t : list) lowest = std::min(lowest, t.Num);
  return lowest;
}

bool TValorReader::NextTool(int32_t& layer, int32_t& num, int32_t& drillSize) {
  const std::vector<TOdbToolRecord>& list = toolsRout_ ? RoutTools : DrillTools;
  if (toolCursor_ >= list.size()) return false;
  const TOdbToolRecord& t = list[toolCursor_++];
  layer = t.Layer;
  num = t.Num;
  drillSize = t.DrillSize;
  return true;
}

int32_t TValorReader::ToolForSymbol(const std::string& symbol, int32_t layer, bool rout) {
  std::string name = UpperCaseStr(symbol);
  if (!name.empty() && name[0] == 'R') {
    name.erase(0, 1);
  } else if (name.rfind("HOLE", 0) != 0) {
    return 1;
  } else {
    name.erase(0, 4);
    name = name.substr(0, name.find('X'));
  }
  const int32_t size = RoundUnits(Real(name) * SymbolUnit);
  std::vector<TOdbToolRecord>& list = rout ? RoutTools : DrillTools;
  TToolLookup& lookup = rout ? routLookup_ : drillLookup_;
  if (lookup.Indexed > list.size()) lookup = TToolLookup{};
  const auto key = [](int32_t l, int32_t s) {
    return uint64_t{static_cast<uint32_t>(l)} << 32 | static_cast<uint32_t>(s);
  };
  for (; lookup.Indexed < list.size(); ++lookup.Indexed) {
    const TOdbToolRecord& t = list[lookup.Indexed];
    // The first record of a layer and size answers for it.
    lookup.BySize.emplace(key(t.Layer, t.DrillSize), t.Num);
    if (t.Num >= 1 && t.Num <= 1000) lookup.Used[static_cast<std::size_t>(t.Num)] = true;
  }
  if (const auto known = lookup.BySize.find(key(layer, size)); known != lookup.BySize.end()) return known->second;
  while (lookup.FirstFree <= 1000 && lookup.Used[static_cast<std::size_t>(lookup.FirstFree)]) ++lookup.FirstFree;
  const int32_t num = lookup.FirstFree <= 1000 ? lookup.FirstFree : 1;
  TOdbToolRecord t;
  t.Num = num;
  t.Type = 1;
  t.FinishSize = t.DrillSize = size;
  t.Layer = layer;
  list.push_back(t);
  return num;
}

void TValorReader::RoutSegment(int32_t layer, int32_t tool, int32_t chain, int32_t comp, bool arc,
                               double sx, double sy, double ex, double ey, double cx, double cy,
                               bool cw) {
  if (chain == lastChain_ && !newChain_) {
    // The nearer end continues the path (a tie keeps the start).
    const double ds = std::fabs(sx - currentX_) + std::fabs(sy - currentY_);
    const double de = std::fabs(ex - currentX_) + std::fabs(ey - currentY_);
    if (de < ds) {
      std::swap(sx, ex);
      std::swap(sy, ey);
      cw = !cw;
    }
  } else {
    const uint8_t side = comp == 1 ? 2 : comp == 2 ? 1 : 0;
    RoutStart(layer, tool, side, sx, sy);
    newChain_ = false;
  }
  currentX_ = ex;
  currentY_ = ey;
  if (arc) RoutArcTo(cw, ex, ey, cx, cy);
  else RoutLineTo(ex, ey);
  lastChain_ = chain;
}

void TValorReader::ReadFeatures(const std::string& path, int32_t layer, uint8_t type,
                                bool profile) {
  TOdbFile file(path);
  if (!OpenJobFile(file, false)) return;
  double coord = 1.0;  // inches per file unit
  SymbolUnit = 25400.0;
  double fileSymbolUnit = SymbolUnit;
  // Each symbol's name and its size unit: the file's, unless the symbol
  // line names its own ("$3 r10 I" in mils, "$4 r250 M" in microns).
  struct TSymbol {
    std::string Name;
    double Unit = 0.0;  // 0: the file's
  };
  std::unordered_map<int32_t, TSymbol> symbols;
  std::unordered_map<std::string, int32_t> attributes;  // upper-cased name -> serial
  bool attributesChecked = false;
  int32_t chainSerial = -1, compSerial = -1;
  double contourX = 0, contourY = 0;
  const bool rout = type == otRout, drill = type == otDrill;
  const bool surfaces = profile || Surfaces;
  std::string line;
  int64_t lineNo = 0;
  // A whole number of the file, false (with the line reported) when it
  // does not fit in 32 bits.
  auto wholeNumber = [&](std::string_view field, const char* what, int32_t& out) {
    const double v = std::trunc(Real(field));
    if (v >= -2147483647.0 && v <= 2147483647.0) {
      out = static_cast<int32_t>(v);
      return true;
    }
    // The first few are shown with their line; the rest are counted for
    // the import's notice, so that a file of thousands does not hold the
    // operator at as many boxes.
    if (++RefusedNumbers <= kRefusalsShown)
      Error(path + ", line " + std::to_string(lineNo) + ": the " + what + " " + std::string(field) +
            " is out of range");
    return false;
  };
  bool badSymbol = false;  // the last symbol number was refused
  auto symbolName = [&](std::string_view field) {
    int32_t n = 0;
    badSymbol = !wholeNumber(field, "symbol number", n);
    if (badSymbol) return std::string();
    const auto it = symbols.find(n);
    SymbolUnit = it == symbols.end() || it->second.Unit == 0.0 ? fileSymbolUnit : it->second.Unit;
    return it == symbols.end() ? std::string() : it->second.Name;
  };
  // The attribute table of a rout feature: the chain and compensation.
  auto routAttributes = [&](std::string_view text, int32_t& chain, int32_t& comp) {
    if (!attributesChecked) {
      attributesChecked = true;
      const auto c = attributes.find(".ROUT_CHAIN"), k = attributes.find(".COMP");
      chainSerial = c == attributes.end() ? -1 : c->second;
      compSerial = k == attributes.end() ? -1 : k->second;
      if (chainSerial < 0) Error("Attribute .rout_chain missing in <" + path + ">");
      if (compSerial < 0) Error("Attribute .comp missing in <" + path + ">");
    }
    chain = comp = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t comma = text.find(',', start);
      if (comma == std::string_view::npos) comma = text.size();
      const std::string_view item = text.substr(start, comma - start);
      const std::size_t eq = item.find('=');
      if (eq != std::string_view::npos) {
        int32_t serial = 0, value = 0;
        if (!wholeNumber(item.substr(0, eq), "attribute number", serial)) {
        } else if (serial < 0 || serial > 100) {
          Error("Feature Attribute serial number out of range");
        } else if (wholeNumber(item.substr(eq + 1), "attribute value", value)) {
          if (serial == chainSerial) chain = value;
          if (serial == compSerial) comp = value;
        }
      }
      start = comma + 1;
    }
  };
  while (!Stop && file.ReadLine(line)) {
    ++lineNo;
    if (line.empty()) continue;
    const char c0 = line[0];
    if (c0 == 'U') {
      bool metric = false;
      if (UnitsLine(line, metric)) {
        coord = metric ? 1.0 / 25.4 : 1.0;
        SymbolUnit = fileSymbolUnit = metric ? 1000.0 : 25400.0;
      }
      continue;
    }
    if (c0 == '$' || c0 == '@') {
      const std::size_t blank = line.find(' ');
      if (blank == std::string::npos) continue;
      const int32_t n = StrToIntLenient(line.substr(1, blank - 1));
      const std::string name = TrimBlanks(line.substr(blank + 1));
      if (c0 == '$') {
        TSymbol& symbol = symbols[n];
        symbol.Name = name;
        const std::size_t last = name.rfind(' ');
        if (last != std::string::npos && last + 2 == name.size()) {
          const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(name.back())));
          if (unit == 'I' || unit == 'M') {
            symbol.Name = TrimBlanks(name.substr(0, last));
            symbol.Unit = unit == 'M' ? 1000.0 : 25400.0;
          }
        }
      }
      else attributes[UpperCaseStr(name)] = n;
      continue;
    }
    const TFields f(line);
    if (profile && c0 != 'O') continue;
    switch (c0) {
      case 'L':
        if (!Lines || f.F.size() < 6) break;
        if (rout) {
          int32_t chain, comp;
          routAttributes(f.Attributes, chain, comp);
          const int32_t tool = ToolForSymbol(symbolName(f[5]), layer, true);
          RoutSegment(layer, tool, chain, comp, false, f.Num(1) * coord, f.Num(2) * coord,
                      f.Num(3) * coord, f.Num(4) * coord, 0, 0, false);
        } else {
          Line(layer, symbolName(f[5]), f.Num(1) * coord, f.Num(2) * coord, f.Num(3) * coord,
               f.Num(4) * coord);
        }
        break;
      case 'A': {
        if (!Arcs || f.F.size() < 8) break;
        const bool cw = IsYesWord(std::string(f[10]));
        double sx = f.Num(1) * coord, sy = f.Num(2) * coord, ex = f.Num(3) * coord,
               ey = f.Num(4) * coord;
        const double cx = f.Num(5) * coord, cy = f.Num(6) * coord;
        if (rout) {
          int32_t chain, comp;
          routAttributes(f.Attributes, chain, comp);
          const int32_t tool = ToolForSymbol(symbolName(f[7]), layer, true);
          RoutSegment(layer, tool, chain, comp, true, sx, sy, ex, ey, cx, cy, cw);
        } else {
          if (cw) {
            std::swap(sx, ex);
            std::swap(sy, ey);
          }
          Arc(layer, symbolName(f[7]), sx, sy, ex, ey, cx, cy);
        }
        break;
      }
      case 'P': {
        if (f.F.size() < 4) break;
        const std::string symbol = symbolName(f[3]);
        if (badSymbol) break;
        const int32_t shape = SymbolShapeIndex(symbol);
        const double x = f.Num(1) * coord, y = f.Num(2) * coord;
        // The pad's orientation: 0..3 turns by quarter turns, 4..7 the same
        // mirrored; 8 and 9 give any angle (9 mirrored). Turns are clockwise.
        int32_t orient = 0;
        if (!wholeNumber(f[6], "pad orientation", orient)) break;
        PadMirror = orient == 9 || (orient >= 4 && orient <= 7);
        PadAngle = orient == 8 || orient == 9 ? Real(f[7]) : orient >= 1 && orient <= 7 ? 90.0 * (orient % 4) : 0.0;
        if (!std::isfinite(PadAngle)) PadAngle = 0.0;
        if ((drill || rout) && (shape == ssRound || shape == ssHole) && Holes) {
          if (drill) {
            Hole(layer, ToolForSymbol(symbol, layer, false), x, y);
          } else {
            RoutHole(layer, ToolForSymbol(symbol, layer, true), x, y);
            newChain_ = true;
          }
        } else if (Pads) {
          Pad(layer, symbol, x, y);
        }
        break;
      }
      case 'O':
        if (!surfaces || line.size() < 2) break;
        if (line[1] == 'B') {
          contourX = f.Num(1) * coord;
          contourY = f.Num(2) * coord;
        } else if (line[1] == 'S') {
          const double x = f.Num(1) * coord, y = f.Num(2) * coord;
          Line(layer, "", contourX, contourY, x, y);
          contourX = x;
          contourY = y;
        } else if (line[1] == 'C') {
          const double ex = f.Num(1) * coord, ey = f.Num(2) * coord;
          const double cx = f.Num(3) * coord, cy = f.Num(4) * coord;
          if (IsYesWord(std::string(f[5]))) Arc(layer, "", ex, ey, contourX, contourY, cx, cy);
          else Arc(layer, "", contourX, contourY, ex, ey, cx, cy);
          contourX = ex;
          contourY = ey;
        }
        break;
      case 'T':
        if (!profile) ++SkippedFeatures["text"];
        break;
      case 'B':
        if (!profile) ++SkippedFeatures["barcode"];
        break;
      default:
        break;
    }
  }
  TellReadErrors(file);
}
