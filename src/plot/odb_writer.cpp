#include "plot/odb_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "foundation/file_utils.h"
#include "foundation/stroke_glyphs.h"
#include "foundation/utilities.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

namespace {

const char* const kContextText[] = {"NONE", "BOARD", "MISC", "UNKNOWN"};
const char* const kTypeText[] = {"NONE",         "SIGNAL",      "POWER_GROUND", "MIXED",
                                 "SOLDER_MASK",  "SOLDER_PASTE", "SILK_SCREEN", "DRILL",
                                 "ROUT",         "DOCUMENT",    "UNKNOWN"};
const char* const kPolarityText[] = {"NONE", "POSITIVE", "NEGATIVE", "UNKNOWN"};
const char* const kToolTypeText[] = {"PLATED", "NON_PLATED", "VIA"};

const char* Code(const char* const* table, std::size_t n, uint8_t v) {
  return table[std::min<std::size_t>(v, n - 1)];
}

std::string Join(const std::string& root, const std::string& tail) {
  if (!root.empty() && (root.back() == '/' || root.back() == '\\')) return root + tail;
  return root + "/" + tail;
}

bool SameName(const std::string& a, const std::string& b) { return UpperCaseStr(a) == UpperCaseStr(b); }

}  // namespace

std::string OdbCoordinate(int32_t units) {
  char text[40];
  std::snprintf(text, sizeof text, "%.6f", units / 25400000.0);
  std::string s = text;
  if (s == "-0.000000") s = "0.000000";
  return s;
}

std::string OdbSizeText(int32_t units) {
  char text[40];
  std::snprintf(text, sizeof text, "%.1f", units / 25400.0);
  return text;
}

TOdbWriter::TOdbWriter() : TOdbMatrix("") {}

TOdbWriter::~TOdbWriter() {
  if (file_) file_->Close();
}

void TOdbWriter::Fail(const std::string& text) {
  if (Ok) ErrorText = text;
  Ok = false;
}

std::string TOdbWriter::Init(const std::string& path) {
  ErrorText.clear();
  inSurface_ = islandOpen_ = false;
  Ok = true;
  if (!DirectoryIsWritable(path) && !FileExistsNoWild(path)) {
    JobPath = path;
    while (JobPath.size() > 1 && (JobPath.back() == '/' || JobPath.back() == '\\')) JobPath.pop_back();
    return {};
  }
  Ok = false;
  std::string norm = path;
  std::replace(norm.begin(), norm.end(), '\\', '/');
  const std::size_t at = UpperCaseStr(norm).find("/MATRIX/MATRIX");
  if (at == std::string::npos) return ErrorText = "Matrix file found in invalid file structure";
  JobPath = norm.substr(0, at);
  if (!DirectoryIsWritable(JobPath)) return ErrorText = "Path not found";
  if (!FileExistsNoWild(norm)) return ErrorText = "Matrix file not found";
  TOdbFile file(norm);
  if (!file.OpenRead(kOdbNoVerify)) return ErrorText = "Read access error loading Matrix file.";
  if (!Read(file)) return ErrorText = "Unable to load Matrix file.";
  Ok = true;
  return {};
}

void TOdbWriter::AddStep(const std::string& name) {
  int32_t highest = 0;
  for (const TOdbStepRecord& s : Steps) {
    highest = std::max(highest, s.Col);
    if (SameName(s.Name, name)) {
      Fail("AddStep: Step already exists!");
      return;
    }
  }
  Steps.push_back({highest + 1, name});
}

void TOdbWriter::AddLayer(const std::string& name, uint8_t kind) {
  const uint8_t type = kind == 0 ? otDrill : kind == 1 ? otRout : otSignal;
  int32_t highest = 0;
  bool exists = false;
  for (const TOdbLayerRecord& l : Layers) {
    highest = std::max(highest, l.Row);
    if (!SameName(l.Name, name)) continue;
    exists = true;
    // Any non-drill, non-rout layer takes CAD data.
    const bool suits = type == otSignal ? l.Type != otDrill && l.Type != otRout : l.Type == type;
    if (!suits) Fail("AddLayer: Layer already exists with different type");
  }
  if (exists) return;
  TOdbLayerRecord l;
  l.Row = highest + 1;
  l.Context = 1;
  l.Type = type;
  l.Name = name.substr(0, 64);
  l.Polarity = 1;
  Layers.push_back(l);
}

std::string TOdbWriter::LayerDir(const std::string& layer, const std::string& step) const {
  return Join(JobPath, "steps/" + LowerCaseStr(step) + "/layers/" + LowerCaseStr(layer));
}

void TOdbWriter::BuildTree() {
  if (!Ok) return;
  bool failed = false;
  const auto make = [&](const std::string& dir) {
    if (failed || DirectoryExists(dir)) return;
    std::error_code ec;
    if (!std::filesystem::create_directory(NativePath(dir), ec)) failed = true;
  };
  make(JobPath);
  make(Join(JobPath, "matrix"));
  make(Join(JobPath, "steps"));
  for (const TOdbStepRecord& s : Steps) {
    const std::string stepDir = Join(JobPath, "steps/" + LowerCaseStr(s.Name));
    make(stepDir);
    // An existing step keeps its header.
    const std::string header = stepDir + "/stephdr";
    if (!failed && !FileExistsNoWild(header)) {
      if (!OpenFile(header)) {
        failed = true;
      } else {
        for (const char* line :
             {"X_DATUM=0", "Y_DATUM=0", "TOP_ACTIVE=0", "BOTTOM_ACTIVE=0", "RIGHT_ACTIVE=0",
              "LEFT_ACTIVE=0", "ONLINE_DRC_NAME=", "ONLINE_DRC_MODE=DEFERRED",
              "ONLINE_DRC_STAT=YELLOW", "ONLINE_DRC_TIME=0", "ONLINE_DRC_BEEP_VOL=2",
              "ONLINE_DRC_BEEP_TONE=500", "ONLINE_NET_MODE=DEFERRED", "ONLINE_NET_STAT=YELLOW",
              "ONLINE_NET_TIME=0", "ONLINE_NET_BEEP_VOL=2", "ONLINE_NET_BEEP_TONE=1000"})
          Line(line);
        CloseFeatures();
      }
    }
    make(stepDir + "/layers");
    for (const TOdbLayerRecord& l : Layers) make(LayerDir(l.Name, s.Name));
  }
  make(Join(JobPath, "fonts"));
  if (!failed && !WriteStandardFont(Join(JobPath, "fonts/standard"))) failed = true;
  if (failed) Fail("Unable to create the folders of <" + JobPath + ">");
}

bool TOdbWriter::OpenFile(const std::string& path) {
  if (file_) CloseFeatures();
  file_ = std::make_unique<TOdbFile>(path);
  if (!file_->OpenWrite(true)) {
    const std::string why = file_->NextError();
    file_.reset();
    Fail(why.empty() ? "Unable to write <" + path + ">" : why);
    return false;
  }
  return true;
}

void TOdbWriter::Line(const std::string& text) {
  if (Ok && file_) file_->WriteLine(text);
}

void TOdbWriter::WriteMatrix() {
  if (!Ok || !OpenFile(Join(JobPath, "matrix/matrix"))) return;
  Line("");
  for (const TOdbStepRecord& s : Steps) {
    Line("STEP {");
    Line("    COL=" + std::to_string(s.Col));
    Line("    NAME=" + UpperCaseStr(s.Name));
    Line("}");
    Line("");
  }
  for (const TOdbLayerRecord& l : Layers) {
    Line("LAYER {");
    Line("    ROW=" + std::to_string(l.Row));
    Line(std::string("    CONTEXT=") + Code(kContextText, 4, l.Context));
    Line(std::string("    TYPE=") + Code(kTypeText, 11, l.Type));
    Line("    NAME=" + UpperCaseStr(l.Name));
    Line(std::string("    POLARITY=") + Code(kPolarityText, 4, l.Polarity));
    Line("    START_NAME=" + l.StartName);
    Line("    END_NAME=" + l.EndName);
    Line("}");
    Line("");
  }
  CloseFeatures();
}

void TOdbWriter::OpenProfile(const std::string& step) {
  if (!Ok || !OpenFile(Join(JobPath, "steps/" + LowerCaseStr(step) + "/profile"))) return;
  for (const char* l : {"#", "#Layer features", "#", ""}) Line(l);
}

void TOdbWriter::OpenFeatures(const std::string& layer, const std::string& step) {
  if (!Ok || !OpenFile(LayerDir(layer, step) + "/features")) return;
  for (const char* l : {"#", "#Feature symbol names", "#", "$0 r0", "", "#", "#Layer features", "#", ""})
    Line(l);
}

void TOdbWriter::WriteTools(const std::string& layer, const std::string& step,
                            bool withAttributes, const std::vector<TOdbToolRecord>& tools) {
  penX_ = penY_ = chainSymbol_ = chainComp_ = 0;
  ChainCount = 0;
  symbolOfTool_.fill(0);
  if (!Ok || !OpenFile(LayerDir(layer, step) + "/tools")) return;
  Line("THICKNESS=0");
  Line("USER_PARAMS=");
  Line("");
  int32_t symbol = 0;
  for (const TOdbToolRecord& t : tools) {
    if (t.Num >= 1 && t.Num <= 1000) symbolOfTool_[static_cast<std::size_t>(t.Num)] = symbol;
    ++symbol;
    Line("TOOLS {");
    Line("    NUM=" + std::to_string(t.Num));
    Line(std::string("    TYPE=") + Code(kToolTypeText, 3, t.Type));
    Line("    MIN_TOL=" + std::to_string(t.MinTol));
    Line("    MAX_TOL=" + std::to_string(t.MaxTol));
    Line("    BIT=" + t.Bit);
    Line("    FINISH_SIZE=" + OdbSizeText(t.FinishSize));
    Line("    DRILL_SIZE=" + OdbSizeText(t.DrillSize));
    Line("}");
    Line("");
  }
  CloseFeatures();
  if (!Ok || !OpenFile(LayerDir(layer, step) + "/features")) return;
  for (const char* l : {"#", "#Feature symbol names", "#"}) Line(l);
  symbol = 0;
  for (const TOdbToolRecord& t : tools) Line("$" + std::to_string(symbol++) + " r" + OdbSizeText(t.DrillSize));
  Line("");
  if (withAttributes)
    for (const char* l : {"#", "#Feature attribute names", "#", "@0 .extended", "@1 .comp",
                          "@2 .rout_chain", "@3 .rout_flag", "@4 .feed", "@5 .speed", ""})
      Line(l);
  for (const char* l : {"#", "#Layer features", "#", ""}) Line(l);
}

void TOdbWriter::CloseFeatures() {
  if (!file_) return;
  if (inSurface_) EndSurface();
  if (!file_->Close()) Fail(file_->NextError());
  file_.reset();
}

void TOdbWriter::WritePad(int32_t x, int32_t y) {
  EndSurface();
  Line("P " + OdbCoordinate(x) + " " + OdbCoordinate(y) + " 0 P 0 0");
}

void TOdbWriter::WriteToolPad(int32_t x, int32_t y, int32_t tool) {
  EndSurface();
  const int32_t symbol = tool >= 1 && tool <= 1000 ? symbolOfTool_[static_cast<std::size_t>(tool)] : 0;
  Line("P " + OdbCoordinate(x) + " " + OdbCoordinate(y) + " " + std::to_string(symbol) + " P 0 0");
}

void TOdbWriter::WriteLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  EndSurface();
  Line("L " + OdbCoordinate(x1) + " " + OdbCoordinate(y1) + " " + OdbCoordinate(x2) + " " +
       OdbCoordinate(y2) + " 0 P 0");
}

void TOdbWriter::WriteArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc, int32_t yc) {
  EndSurface();
  Line("A " + OdbCoordinate(x1) + " " + OdbCoordinate(y1) + " " + OdbCoordinate(x2) + " " +
       OdbCoordinate(y2) + " " + OdbCoordinate(xc) + " " + OdbCoordinate(yc) + " 0 P 0 N");
}

void TOdbWriter::WriteCircle(int32_t xc, int32_t yc, int32_t r) {
  const int32_t left = static_cast<int32_t>(std::max<int64_t>(int64_t{xc} - r, -2147483647));
  const int32_t right = static_cast<int32_t>(std::min<int64_t>(int64_t{xc} + r, 2147483647));
  WriteArc(left, yc, right, yc, xc, yc);
  WriteArc(right, yc, left, yc, xc, yc);
}

void TOdbWriter::RoutMoveTo(int32_t x, int32_t y, int32_t tool, int32_t comp) {
  EndSurface();
  penX_ = x;
  penY_ = y;
  chainSymbol_ = tool >= 1 && tool <= 1000 ? symbolOfTool_[static_cast<std::size_t>(tool)] : 0;
  chainComp_ = comp == 1 ? 2 : comp == 2 ? 1 : 0;
  ++ChainCount;
}

std::string TOdbWriter::RoutAttributes() const {
  return ";1=" + std::to_string(chainComp_) + ",2=" + std::to_string(ChainCount) + ",3=0,4=0,5=0";
}

void TOdbWriter::RoutLineTo(int32_t x, int32_t y) {
  EndSurface();
  Line("L " + OdbCoordinate(penX_) + " " + OdbCoordinate(penY_) + " " + OdbCoordinate(x) + " " +
       OdbCoordinate(y) + " " + std::to_string(chainSymbol_) + " P 0" + RoutAttributes());
  penX_ = x;
  penY_ = y;
}

void TOdbWriter::RoutArcTo(int32_t x, int32_t y, bool clockwise, int32_t xc, int32_t yc) {
  EndSurface();
  Line("A " + OdbCoordinate(penX_) + " " + OdbCoordinate(penY_) + " " + OdbCoordinate(x) + " " +
       OdbCoordinate(y) + " " + OdbCoordinate(xc) + " " + OdbCoordinate(yc) + " " +
       std::to_string(chainSymbol_) + " P 0 " + (clockwise ? "Y" : "N") + RoutAttributes());
  penX_ = x;
  penY_ = y;
}

void TOdbWriter::BeginSurface(int32_t x, int32_t y) {
  inSurface_ = true;
  if (islandOpen_) Line("OE");
  islandOpen_ = true;
  Line("S P 0");
  Line("OB " + OdbCoordinate(x) + " " + OdbCoordinate(y) + " I");
}

void TOdbWriter::SurfaceSegment(int32_t x, int32_t y) {
  Line("OS " + OdbCoordinate(x) + " " + OdbCoordinate(y));
}

void TOdbWriter::SurfaceArc(int32_t x, int32_t y, bool clockwise, int32_t xc, int32_t yc) {
  Line("OC " + OdbCoordinate(x) + " " + OdbCoordinate(y) + " " + OdbCoordinate(xc) + " " +
       OdbCoordinate(yc) + (clockwise ? " Y" : " N"));
}

void TOdbWriter::EndSurface() {
  if (!inSurface_) return;
  inSurface_ = false;
  if (islandOpen_) {
    Line("OE");
    islandOpen_ = false;
  }
  Line("SE");
}

// ---- The standard font ----------------------------------------------------------------------

namespace {

struct TStroke {
  double X1, Y1, X2, Y2;
};

// The strokes of a character from the built-in stroke font, put on the
// font's 0.025 in grid (X -0.1 .. 0.1, Y 0 .. 0.2), or from the grid
// glyphs above; a character neither has would get a plain box.
// Glyphs drawn here rather than taken from the view font: "A" in its
// squared form and the signs the view font lacks. Each stroke is x1 y1 x2 y2
// in grid steps of 0.025 in.
struct TGridGlyph {
  char C;
  std::vector<std::array<int, 4>> Strokes;
};
const TGridGlyph GridGlyphs[] = {
    {'A', {{-4, -4, -4, 6}, {-4, 6, -2, 8}, {-2, 8, 2, 8}, {2, 8, 4, 6}, {4, 6, 4, -4}, {-4, 2, 4, 2}}},
    {'$', {{4, 7, -3, 7}, {-3, 7, -4, 6}, {-4, 6, -4, 5}, {-4, 5, -3, 4}, {-3, 4, 3, 4},
           {3, 4, 4, 3}, {4, 3, 4, 2}, {4, 2, 3, 1}, {3, 1, -4, 1}, {0, 8, 0, 0}}},
    {'%', {{-4, 0, 4, 8}, {-4, 8, -2, 8}, {-2, 8, -2, 6}, {-2, 6, -4, 6}, {-4, 6, -4, 8},
           {2, 2, 4, 2}, {4, 2, 4, 0}, {4, 0, 2, 0}, {2, 0, 2, 2}}},
    {'<', {{4, 8, -4, 4}, {-4, 4, 4, 0}}},
    {'>', {{-4, 8, 4, 4}, {4, 4, -4, 0}}},
    {'@', {{2, 3, 4, 3}, {4, 3, 4, 7}, {4, 7, 3, 8}, {3, 8, -3, 8}, {-3, 8, -4, 7}, {-4, 7, -4, 1},
           {-4, 1, -3, 0}, {-3, 0, 4, 0}, {2, 3, 2, 6}, {2, 6, -1, 6}, {-1, 6, -1, 3}, {-1, 3, 2, 3}}},
    {'[', {{1, 8, -2, 8}, {-2, 8, -2, -2}, {-2, -2, 1, -2}}},
    {']', {{-1, 8, 2, 8}, {2, 8, 2, -2}, {2, -2, -1, -2}}},
    {'^', {{-3, 5, 0, 8}, {0, 8, 3, 5}}},
    {'_', {{-4, -2, 4, -2}}},
    {'\\', {{-4, 8, 4, 0}}},
    {'`', {{-1, 8, 1, 6}}},
    {'{', {{2, 8, 1, 8}, {1, 8, 0, 7}, {0, 7, 0, 4}, {0, 4, -1, 3}, {-1, 3, 0, 2}, {0, 2, 0, -1},
           {0, -1, 1, -2}, {1, -2, 2, -2}}},
    {'|', {{0, 8, 0, -2}}},
    {'}', {{-2, 8, -1, 8}, {-1, 8, 0, 7}, {0, 7, 0, 4}, {0, 4, 1, 3}, {1, 3, 0, 2}, {0, 2, 0, -1},
           {0, -1, -1, -2}, {-1, -2, -2, -2}}},
    {'~', {{-4, 4, -2, 5}, {-2, 5, 2, 3}, {2, 3, 4, 4}}},
};

std::vector<TStroke> GlyphStrokes(char c) {
  if (c == '!') return {{0, 0, 0, 0.2}, {0, -0.1, 0, -0.1}};
  if (c == '-') return {{-0.1, 0.05, 0.1, 0.05}};
  for (const TGridGlyph& g : GridGlyphs) {
    if (g.C != c) continue;
    std::vector<TStroke> out;
    for (const auto& k : g.Strokes) out.push_back({k[0] * 0.025, k[1] * 0.025, k[2] * 0.025, k[3] * 0.025});
    return out;
  }
  const auto gx = [](int v) { return -0.1 + std::lround(v * 8.0 / 11.0) * 0.025; };
  const auto gy = [](int v) { return std::lround(v * 8.0 / 15.0) * 0.025; };
  for (const char* record : ViewStrokeFont) {
    if (record[0] != c) continue;
    std::vector<TStroke> out;
    double px = 0, py = 0;
    const char* p = record + 2;
    while (*p != '\0' && *p != 'E') {
      const char op = *p++;
      int x = 0, y = 0;
      if (std::sscanf(p, "%d,%d", &x, &y) != 2) break;
      while (*p != '\0' && *p != ' ') ++p;
      while (*p == ' ') ++p;
      if (op == 'D' && out.size() < 15) out.push_back({px, py, gx(x), gy(y)});
      px = gx(x);
      py = gy(y);
    }
    if (!out.empty()) return out;
  }
  return {{-0.1, 0, 0.1, 0}, {0.1, 0, 0.1, 0.2}, {0.1, 0.2, -0.1, 0.2}, {-0.1, 0.2, -0.1, 0}};
}

std::string Inch(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", v);
  return std::string(text) == "-0.000000" ? "0.000000" : text;
}

}  // namespace

bool WriteStandardFont(const std::string& path) {
  std::string text;
  for (const char* l : {"#", "# Font size", "#", "XSIZE  0.35", "YSIZE  0.35", "#",
                        "# Offset between characters", "#", "OFFSET 0.00"}) {
    text += l;
    text += "\r\n";
  }
  for (int c = 33; c <= 126; ++c) {
    text += "CHAR ";
    text += static_cast<char>(c);
    text += "\r\n";
    for (const TStroke& s : GlyphStrokes(static_cast<char>(c)))
      text += "LINE " + Inch(s.X1) + " " + Inch(s.Y1) + " " + Inch(s.X2) + " " + Inch(s.Y2) +
              " P R 0.0125000\r\n";
    text += "ECHAR\r\n";
  }
  return ReplaceFileContents(NativeSavePath(path), text.data(), text.size()) == 0;
}
