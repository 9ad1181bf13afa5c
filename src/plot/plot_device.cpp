#include "plot/plot_device.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/file_ops.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "plot/plot_dialogs.h"
#include "plot/plot_placement.h"
#include "plot/plot_title_block.h"

std::array<double, 6> PlotScaleFactors = {0.25, 0.5, 1.0, 2.0, 4.0, 1.0};

// ---- The job ---------------------------------------------------------------------------------

TPlotDevice::TPlotDevice(TCanvas* canvas, TColor backColor)
    : TDrawingBase(canvas, backColor), SavedDrawSurface(DrawSurface) {}

void TPlotDevice::Execute() {
  if (!Setup()) return;
  if (!Place()) return;
  TModalBracket modal;
  bool ok = false;
  try {
    ok = BeginPlot();
    if (ok) PlotBody();
  } catch (...) {
    if (ok) {
      Failed = true;
      EndPlot();
    }
    throw;
  }
  if (ok) EndPlot();
}

void TPlotDevice::PlotBody() {
  // Drill and rout layers shown.
  for (int32_t i = 1; i <= DrillEntityCount && DRDB != nullptr; ++i) {
    if (i % 100 == 0) ProcessMessagesInLoop();
    const uint32_t word = DRDB->WordAt(i);
    if (!SlotInMask(word, DisplayedNCLayerMask)) continue;
    if (TDrillEntity* e = DRDB->EntityAt(i)) e->Draw(uint8_t(LayerOfBit(word) + 30));
  }
  for (int32_t i = 1; i <= RoutEntityCount && RTDB != nullptr; ++i) {
    if (i % 100 == 0) ProcessMessagesInLoop();
    TEntitySlot* slot = RTDB->SlotAt(i);
    if (slot == nullptr || !SlotInMask(slot->Flags, DisplayedNCLayerMask)) continue;
    if (TRoutEntity* e = RTDB->EntityAt(i)) e->Draw(uint8_t(LayerOfBit(slot->Flags) + 30));
  }
  // CAD layers shown, each in its layer's colour.
  for (int32_t i = 1; i <= CadEntityCount && DB != nullptr; ++i) {
    if (i % 100 == 0) ProcessMessagesInLoop();
    TEntitySlot* slot = DB->SlotAt(i);
    if (slot == nullptr || !SlotInMask(slot->Flags, DisplayedLayerMask)) continue;
    SetColor(LayerColors[LayerOfBit(slot->Flags)]);
    TRootDBObject* e = slot->Entity;
    if (auto* p = dynamic_cast<TCadPoint*>(e)) {
      constexpr int32_t Arm = 1016000;  // 0.04 in
      DrawLine(p->X - Arm, p->Y, p->X + Arm, p->Y);
      DrawLine(p->X, p->Y + Arm, p->X, p->Y - Arm);
    } else if (auto* l = dynamic_cast<TCadLine*>(e)) {
      DrawLine(l->X1, l->Y1, l->X2, l->Y2);
    } else if (auto* a = dynamic_cast<TCadArc*>(e)) {
      DrawArc(false, a->SX, a->SY, a->EX, a->EY, a->CX, a->CY);
    } else if (auto* c = dynamic_cast<TCadCircle*>(e)) {
      DrawCircle(c->CX, c->CY, c->Radius);
    }
  }
  // The title block and tool table are laid out for Y growing downward.
  if (MirrorsY()) ScaleY = -ScaleY;
  DrawTitleBlock(*this);
  TToolHits holes{}, others{};
  if (DRDB != nullptr) DRDB->HitsPerTool(holes, others);
  for (int32_t t = 1; t <= 1000; ++t) {
    HitsPerTool[size_t(t)] = holes[size_t(t)] + others[size_t(t)];
    ToolDiameter[size_t(t)] = ToolTable[t].Diameter;
  }
  if (PlotFormatBlock) DrawToolTable(*this);
  if (MirrorsY()) ScaleY = -ScaleY;
  DrawPageFrame();
}

void TPlotDevice::DrawPageFrame() {
  SetPenMode(4);
  SetColor(0);
  SetPenStyle(0);
  const int32_t W = PageWidth, H = PageHeight;
  DrawDeviceLine(0, 0, 0, H - 1);
  DrawDeviceLine(0, H - 1, W - 1, H - 1);
  DrawDeviceLine(W - 1, H - 1, W - 1, 0);
  DrawDeviceLine(W - 1, 0, 0, 0);
  auto tick = [](int k, int32_t L) {
    switch (k) {
      case 0: return L;
      case 8: return 2 * L / 3;
      case 4:
      case 12: return L / 2;
      default: return L / 4;
    }
  };
  const bool mirrors = MirrorsY();
  const double titleLimit = W - 3.27 * ScaleX;
  // Along X: bottom, then top.
  for (int edge = 0; edge < 2; ++edge) {
    const int32_t L = SaturatingRound(ScaleY / 6.0);
    int k = 0;
    for (double p = 0.0; std::trunc(p) <= W; p += ScaleX / 16.0, k = (k + 1) % 16) {
      const int32_t x = SaturatingRound(p), len = tick(k, L);
      const bool limited = (edge == 0) == mirrors;
      if (limited && !(p < titleLimit)) continue;
      if (edge == 0) DrawDeviceLine(x, 0, x, len);
      else DrawDeviceLine(x, H, x, H - len);
    }
  }
  // Along Y: right, then left.
  for (int edge = 0; edge < 2; ++edge) {
    const int32_t L = SaturatingRound(ScaleX / 6.0);
    int k = 0;
    for (double p = 0.0; std::trunc(p) <= H; p += ScaleY / 16.0, k = (k + 1) % 16) {
      const int32_t y = SaturatingRound(p), len = tick(k, L);
      if (edge == 0) {
        if (mirrors != (TitleBlockEdge() > p)) DrawDeviceLine(W, y, W - len, y);
      } else {
        DrawDeviceLine(0, y, len, y);
      }
    }
  }
}

// ---- Papers ----------------------------------------------------------------------------------

namespace {

// The lines of a text, without their line ends.
class TLineSource {
 public:
  explicit TLineSource(const std::string& text) : in_(text) {}
  bool AtEnd() { return in_.peek() == std::char_traits<char>::eof(); }
  bool Next(std::string& line) {
    if (!std::getline(in_, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

 private:
  std::istringstream in_;
};

// One number line; blank and comment-only lines are passed over. At the end
// of the text the end flag is set and the answer is 0.
double ReadPaperNumber(TLineSource& src, bool& atEnd) {
  for (;;) {
    std::string line;
    if (src.AtEnd() || !src.Next(line)) {
      atEnd = true;
      return 0.0;
    }
    size_t first = line.find_first_not_of(' ');
    line = first == std::string::npos ? "" : line.substr(first);
    line = line.substr(0, line.find_first_of(" ;"));
    if (line.empty()) continue;
    if (line.find('.') == std::string::npos) line += ".0";
    bool negative = false;
    if (line[0] == '-') {
      negative = true;
      line.erase(0, 1);
    }
    if (!line.empty() && line[0] == '.') line.insert(0, "0");
    char* end = nullptr;
    double v = std::strtod(line.c_str(), &end);
    if (end == line.c_str() || *end != '\0' || !std::isfinite(v)) v = 0.0;
    return negative ? -v : v;
  }
}

}  // namespace

void ReadPaperSpecs(const std::string& text, TPaperTable& papers) {
  for (int i = 1; i <= 5; ++i) papers[i] = TPaperSpec{};
  papers.Count = 0;
  TLineSource src(text);
  std::string skip;
  src.Next(skip);
  src.Next(skip);
  bool atEnd = false;
  while (!src.AtEnd() && !atEnd && papers.Count < 5) {
    TPaperSpec& p = papers[papers.Count + 1];
    if (!src.Next(p.Name)) break;
    p.Name = ShortStr(p.Name);
    p.Width = ReadPaperNumber(src, atEnd);
    if (!atEnd) p.Height = ReadPaperNumber(src, atEnd);
    if (!atEnd) p.OffsetX = ReadPaperNumber(src, atEnd);
    if (atEnd) break;
    p.OffsetY = ReadPaperNumber(src, atEnd);
    if (atEnd) break;
    p.Valid = true;
    ++papers.Count;
  }
}

// ---- Symbol drawer ---------------------------------------------------------------------------

void TPlotSymbolDrawer::MoveTo(int32_t x, int32_t y) { Owner.PenUpMove(x, y); }
void TPlotSymbolDrawer::LineTo(int32_t x, int32_t y) { Owner.PenDownDraw(x, y); }
void TPlotSymbolDrawer::DrawSymbol(int32_t x, int32_t y, uint16_t tool) {
  LastX = x;
  LastY = y;
  if (Owner.Outcode(x, y) == 0) TSymbolDrawer::DrawSymbol(x, y, tool);
}

// ---- File plot device ------------------------------------------------------------------------

namespace {
// The canvas of the file devices: they draw nothing on a canvas, but an
// entity's direct canvas call must land somewhere harmless.
TCanvas* ScratchCanvas() {
  static std::unique_ptr<TBitmap> bitmap = TBitmap::Create(1, 1);
  return &bitmap->Canvas();
}
constexpr std::array<TColor, 16> PenColors = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
    0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
}  // namespace

TFilePlotDevice::TFilePlotDevice(std::string fileName)
    : TPlotDevice(ScratchCanvas(), clWhite), FileName_(std::move(fileName)) {
  PlotSymbols = new TPlotSymbolDrawer(*this, Resolution() / 50);
}

TFilePlotDevice::~TFilePlotDevice() { delete PlotSymbols; }

int32_t TFilePlotDevice::LengthToDevice(int32_t length) {
  return SaturatingRound(LengthToDeviceReal(length));
}

double TFilePlotDevice::LengthToDeviceReal(int32_t length) {
  return (std::abs(double(ScaleY)) + ScaleX) / 2.0 * length / kDbUnitsPerInch * ScaleFactor();
}

void TFilePlotDevice::WorldToDeviceReal(double x, double y, double& dx, double& dy) {
  const double f = ScaleFactor();
  const double u = ScaleX * (1.0 / kDbUnitsPerInch) * (x - OriginX) * f;
  const double v = ScaleY * (1.0 / kDbUnitsPerInch) * (y - OriginY) * f;
  if (Rotated) {
    dx = -v;
    dy = u;
  } else {
    dx = u;
    dy = v;
  }
}

void TFilePlotDevice::WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) {
  const double f = ScaleFactor();
  const double u = ScaleX * (1.0 / kDbUnitsPerInch) * (x - OriginX) * f;
  const double v = ScaleY * (1.0 / kDbUnitsPerInch) * (y - OriginY) * f;
  if (Rotated) {
    dx = -SaturatingRound(v);
    dy = SaturatingRound(u);
  } else {
    dx = SaturatingRound(u);
    dy = SaturatingRound(v);
  }
}

void TFilePlotDevice::DeviceToWorld(int32_t dx, int32_t dy, int32_t& x, int32_t& y) {
  double ex = dx, ey = dy;
  if (Rotated) {
    ex = dy;
    ey = -double(dx);
  }
  const double f = ScaleFactor();
  x = SaturatingRound(ex / (ScaleX * f) * kDbUnitsPerInch + OriginX);
  y = SaturatingRound(ey / (ScaleY * f) * kDbUnitsPerInch + OriginY);
}

int32_t TFilePlotDevice::PenOfColor(TColor colour) {
  for (size_t i = 0; i < PenColors.size(); ++i)
    if (PenColors[i] == colour) return int32_t(i + 1);
  return 1;
}

void TFilePlotDevice::SetColor(TColor colour) {
  Color = colour;
  CurrentPen = PenOfColor(colour);
  SelectPen(CurrentPen);
}

TColor TFilePlotDevice::GetColor() {
  if (CurrentPen < 1) return 0;
  return CurrentPen < int32_t(LayerColors.size()) ? LayerColors[size_t(CurrentPen)] : 0;
}

TColor TFilePlotDevice::ColorOfTool(int32_t tool) {
  int64_t i = (int64_t(tool) - 1) % 16;
  if (i < 0) i += 16;
  return PenColors[size_t(i)];
}

bool TFilePlotDevice::DevicePointNear(int32_t x, int32_t y, int32_t margin) {
  return x >= ClipWindow[0] - margin && x <= ClipWindow[2] + margin &&
         y >= ClipWindow[1] - margin && y <= ClipWindow[3] + margin;
}

void TFilePlotDevice::DrawPlusMark(int32_t x, int32_t y) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  const int32_t d = SaturatingRound(ScaleX * 0.1);
  DrawDeviceLine(dx - d, dy, dx + d, dy);
  DrawDeviceLine(dx, dy - d, dx, dy + d);
}

void TFilePlotDevice::DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  if (CachedZoom != 999.0) {
    PlotSymbols->SetSize(ScaleX / 50);
    CachedZoom = 999.0;
  }
  PlotSymbols->DrawSymbol(dx, dy, tool);
  Dirty = true;
}

void TFilePlotDevice::DrawHoleLetter(int32_t x, int32_t y, uint16_t tool) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  const char letter = HoleLetterOf(tool);
  DrawPlotText(*this, dx, dy, std::string(1, letter));
}

uint8_t TFilePlotDevice::Outcode(double x, double y) const {
  uint8_t code = 0;
  if (x < ClipWindow[0]) code |= 1;
  if (x > ClipWindow[2]) code |= 2;
  if (y < ClipWindow[1]) code |= 4;
  if (y > ClipWindow[3]) code |= 8;
  return code;
}

void TFilePlotDevice::DrawDeviceLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Dirty = true;
  const uint8_t c1 = Outcode(x1, y1), c2 = Outcode(x2, y2);
  if (c1 == 0 && c2 == 0) {
    PenUpMove(x1, y1);
    PenDownDraw(x2, y2);
    return;
  }
  if (c1 & c2) return;
  const TRealLine cut = ClipSegmentToWindow(ClipWindowReal, {{double(x1), double(y1)},
                                                             {double(x2), double(y2)}});
  // The line is lost; the plot goes on.
  if (GeoErrorCode != 0 && !ClipErrorShown) {
    ClipErrorShown = true;
    ErrorBox("Error: Illegal Clip Window");
  }
  if (cut == TRealLine{}) return;
  PenUpMove(SaturatingRound(cut.P1.X), SaturatingRound(cut.P1.Y));
  PenDownDraw(SaturatingRound(cut.P2.X), SaturatingRound(cut.P2.Y));
}

void TFilePlotDevice::DrawCircle(double cx, double cy, double r) {
  DrawArc(true, std::nearbyint(cx - r), cy, std::nearbyint(cx + r), cy, cx, cy);
  DrawArc(true, std::nearbyint(cx + r), cy, std::nearbyint(cx - r), cy, cx, cy);
}

void TFilePlotDevice::DrawPolyline(const TDevicePolyline& line) {
  int32_t last = line.P[1].X;
  if (last >= TDevicePolyline::Entries) last = TDevicePolyline::Entries - 1;
  for (int32_t i = 3; i <= last; ++i)
    DrawDeviceLine(line.P[size_t(i - 1)].X, line.P[size_t(i - 1)].Y, line.P[size_t(i)].X,
                   line.P[size_t(i)].Y);
}

const char* const DefaultPaperSpecs =
    "Paper sizes for plot files: a name line, then width, height, X offset and Y offset in inches.\n"
    "Up to five papers are read; blank lines and ; comments may stand between the numbers.\n"
    "Letter\n8.5\n11\n0\n0\n"
    "Legal\n8.5\n14\n0\n0\n"
    "Tabloid\n11\n17\n0\n0\n"
    "A4\n8.27\n11.69\n0\n0\n"
    "A3\n11.69\n16.54\n0\n0\n";

int WriteDefaultPaperSpecsIfMissing() {
  const std::string name = ExecutionPath() + "PLOTSPEC.TXT";
  if (FileExistsNoWild(name)) return 0;
  const std::string text = DefaultPaperSpecs;
  return ReplaceFileContents(NativePath(name), text.data(), text.size());
}

bool TFilePlotDevice::Setup() {
  const std::string name = ExecutionPath() + "PLOTSPEC.TXT";
  if (!FileExistsNoWild(name)) {
    // The full name, so the operator sees where the file was looked for.
    ErrorBox("Error:  Plotter Configuration file \r\n" + name + " missing");
    return false;
  }
  // Read line by line: a file with a line longer than any paper entry is
  // refused at that line rather than read whole.
  std::string text, line;
  bool tooLong = false;
  if (std::FILE* f = std::fopen(NativePath(name).c_str(), "rb")) {
    for (TLineRead got; (got = ReadTextLineLimited(f, line)) != lrEnd;) {
      if (got == lrTooLong) {
        tooLong = true;
        break;
      }
      text += line;
      text += '\n';
    }
    std::fclose(f);
  }
  if (!tooLong) ReadPaperSpecs(text, Papers);
  if (tooLong || Papers.Count == 0) {
    ErrorBox("Error:  No Paper Specs in PLOTSPEC.TXT");
    return false;
  }
  return true;
}

void TFilePlotDevice::SetPage(const TPaperSpec& paper, bool rotated, double originX,
                              double originY) {
  Rotated = rotated;
  ScaleX = Resolution();
  ScaleY = Resolution();
  PageWidth = SaturatingRound(ScaleX * paper.Width);
  PageHeight = SaturatingRound(ScaleY * paper.Height);
  PaperOffsetX = SaturatingRound(ScaleX * paper.OffsetX);
  PaperOffsetY = SaturatingRound(ScaleY * paper.OffsetY);
  const double wdb = std::nearbyint(paper.Width * kDbUnitsPerInch + 0.4999999);
  const double hdb = std::nearbyint(paper.Height * kDbUnitsPerInch - 0.4999999);
  OriginX = originX;
  OriginY = originY;
  ClipWindow[0] = 0;
  ClipWindow[1] = 0;
  ClipWindow[2] = SaturatingRound(wdb / kDbUnitsPerInch * ScaleX);
  ClipWindow[3] = SaturatingRound(hdb / kDbUnitsPerInch * ScaleY);
  ClipWindowReal = {0.0, 0.0, double(ClipWindow[2]), double(ClipWindow[3])};
}

bool TFilePlotDevice::Place() {
  bool prompted = false;
  struct TInstall {
    TFilePlotDevice& Device;
    bool& Prompted;
    ~TInstall() {
      if (!Prompted) return;
      Device.SavedDrawSurface = DrawSurface;
      DrawSurface = &Device;
    }
  } install{*this, prompted};
  bool ask = true;
  for (;;) {
    if (ask) {
      prompted = true;
      if (!RunPlotPrompt(Papers)) return false;
    }
    ask = true;
    ScaleIndex = PlotDefaults.ScaleChosen <= 4 ? PlotDefaults.ScaleChosen : 2;
    const double f = ScaleFactor();
    // A stored paper index beyond the list takes the first paper.
    int index = PlotDefaults.SizeIndex;
    if (index < 1 || index > Papers.Count) index = 1;
    const TPaperSpec paper = Papers[index];
    const bool rotated = PlotDefaults.Orientation == 1;
    double wdb = std::nearbyint(paper.Width * kDbUnitsPerInch + 0.4999999);
    double hdb = std::nearbyint(paper.Height * kDbUnitsPerInch - 0.4999999);
    if (rotated) {
      wdb = std::nearbyint(paper.Height * kDbUnitsPerInch + 0.4999999);
      hdb = std::nearbyint(paper.Width * kDbUnitsPerInch - 0.4999999);
    }
    const double aw = std::nearbyint(wdb / f), ah = std::nearbyint(hdb / f);
    if (!(aw < 2147483647.0) || !(ah < 2147483647.0) || !(aw > -2147483647.0) ||
        !(ah > -2147483647.0)) {
      ErrorBox(
          "Your paper size and scale combination exceed the\r\ndatabase limits.  Please "
          "choose a larger scale.");
      if (!RunPlotPrompt(Papers)) return false;
      ask = false;
      continue;
    }
    int32_t x = 0, y = 0;
    if (!PlacePage(int32_t(aw), int32_t(ah), x, y)) {
      if (PlacementStopped()) return false;
      continue;
    }
    SetPage(paper, rotated, x, rotated ? double(y) + ah : double(y));
    return true;
  }
}

bool TFilePlotDevice::CommitOutput() {
  if (Failed) return false;
  std::vector<uint8_t> bytes(Output_.begin(), Output_.end());
  if (WriteFileReplacing(FileName_, bytes)) {
    Written = true;
    return true;
  }
  const int code = IOResult();
  ErrorBox(SystemErrorText(code) + "\r\nwhile writing the plot file " + FileName_);
  return false;
}
