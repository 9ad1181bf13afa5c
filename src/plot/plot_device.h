// The plot job and the devices it draws through.
//
// Every plot and print run is one TPlotDevice: a drawing surface (the same
// operations the entities paint the screen with) plus the job: Setup, Place,
// BeginPlot, the plot body, EndPlot. While the job runs the device stands in
// DrawSurface, so the entities' own drawing lands in the plot.
//
// TFilePlotDevice is the base of the plot-file writers (Gerber, RS-274X,
// HP7580, PostScript). It reads the papers of PLOTSPEC.TXT, asks for paper,
// scale and orientation, lets the user place the page on the drawing, maps
// the world to device steps (Resolution per inch, Y up), cuts lines to the
// page and maps colours to pens. The descendants only say what a pen move,
// a pen draw and a pen change write, and may draw circles and arcs their own
// way. Their text goes to an output buffer that EndPlot puts in place in one
// step: a plot that fails leaves no file, or the old one, under its name.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/drawing_base.h"
#include "model/symbol_drawer.h"
#include "plot/plot_clip.h"

// Plot scale factors: 1/4, 1/2, 1, 2 and 4 to 1; entry 5 is "Auto Scale",
// which the printer's automatic fit rewrites.
extern std::array<double, 6> PlotScaleFactors;

constexpr int32_t kDbUnitsPerInch = 25400000;

class TPlotDevice : public TDrawingBase {
 public:
  // Stores the present DrawSurface in SavedDrawSurface.
  TPlotDevice(TCanvas* canvas, TColor backColor);

  // Slot 39: the whole job: Setup, Place, then inside the modal bracket
  // BeginPlot, the plot body and EndPlot (the last also when the body
  // fails; Failed is set first).
  void Execute();
  // Slots 40-43. False from Setup or Place ends the job before any output;
  // false from BeginPlot skips the body and EndPlot.
  virtual bool Setup() = 0;
  virtual bool Place() = 0;
  virtual bool BeginPlot() = 0;
  virtual void EndPlot() = 0;
  // Slot 44: device point to database point.
  virtual void DeviceToWorld(int32_t dx, int32_t dy, int32_t& x, int32_t& y) = 0;

  // The plot body: drill, rout and CAD layers shown, title block, tool
  // table when asked, page frame.
  void PlotBody();
  // The frame round the page and its ruler ticks every 1/16 inch.
  void DrawPageFrame();

  int32_t PageWidth = 0;
  int32_t PageHeight = 0;
  int32_t ScaleX = 0;
  int32_t ScaleY = 0;
  TDrawingBase* SavedDrawSurface = nullptr;
  // Elements 1..1000: hits per drill tool; element 0 the device Y where the
  // title block (and the tool table on it) ends.
  std::array<int32_t, 1001> HitsPerTool{};
  int32_t& TitleBlockEdge() { return HitsPerTool[0]; }
  std::array<int32_t, 1001> ToolDiameter{};  // element 0 unused
  bool PlotFormatBlock = false;
  int32_t TitleRowHeight = 0;
  int32_t TitleColumnWidth = 0;
  // Set when the body ended by an error: EndPlot then throws the output
  // away instead of sending it.
  bool Failed = false;
  // Set when a plot file was written whole.
  bool Written = false;
  // Set once "Error: Illegal Clip Window" has been shown: a window without an
  // inside fails every line that leaves it, and one box per plot says it.
  bool ClipErrorShown = false;
};

// One paper of PLOTSPEC.TXT: name, size and plotter offsets in inches.
struct TPaperSpec {
  std::string Name;
  double Width = 0.0;
  double Height = 0.0;
  double OffsetX = 0.0;
  double OffsetY = 0.0;
  bool Valid = false;
};
// Five papers from the file and room for "Custom".
struct TPaperTable {
  std::array<TPaperSpec, 6> Papers;
  uint8_t Count = 0;
  TPaperSpec& operator[](int oneBased) { return Papers[size_t(oneBased - 1)]; }
};

// Reads the papers of a PLOTSPEC.TXT text: two free lines, then up to five
// groups of a name line and four number lines (blank and ";" comment lines
// may stand between the numbers; a number line holds one number followed,
// after a blank, by anything; a word that is no number reads 0).
void ReadPaperSpecs(const std::string& text, TPaperTable& papers);

// The paper list a fresh install starts with, in the layout ReadPaperSpecs
// reads.
extern const char* const DefaultPaperSpecs;
// Writes DefaultPaperSpecs to <home>PLOTSPEC.TXT when no such file exists, so
// plotting works on a fresh install; an existing file is never touched. The
// error number of the write, or 0.
int WriteDefaultPaperSpecsIfMissing();

class TFilePlotDevice;

// The hole symbols of a file device, drawn in pen moves; a symbol whose
// centre lies off the page is left out whole.
class TPlotSymbolDrawer : public TSymbolDrawer {
 public:
  TPlotSymbolDrawer(TFilePlotDevice& owner, int32_t size) : TSymbolDrawer(size), Owner(owner) {}
  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y) override;
  void DrawSymbol(int32_t x, int32_t y, uint16_t tool) override;

  TFilePlotDevice& Owner;
  int32_t LastX = 0;
  int32_t LastY = 0;
};

class TFilePlotDevice : public TPlotDevice {
 public:
  explicit TFilePlotDevice(std::string fileName);
  ~TFilePlotDevice() override;

  // ---- Drawing surface ----
  int32_t LengthToDevice(int32_t length) override;
  double LengthToDeviceReal(int32_t length) override;
  void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) override;
  void WorldToDeviceReal(double x, double y, double& dx, double& dy) override;
  void Reset() override {}
  void SetPenStyle(uint8_t) override {}
  void SetPenStyleIfChanged(uint8_t) override {}
  void SetPenMode(uint8_t) override {}
  void SetPenModeIfChanged(uint8_t) override {}
  // Maps the colour to a pen (black 1 .. white 16; any other colour pen 1).
  void SetColor(TColor colour) override;
  void SetColorIfChanged(TColor colour) override { SetColor(colour); }
  TColor GetColor() override;
  void DrawPixel(int32_t x, int32_t y) override { DrawPlusMark(x, y); }
  void DrawPlusMark(int32_t x, int32_t y) override;
  void DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool) override;
  void DrawHoleLetter(int32_t x, int32_t y, uint16_t tool) override;
  void DrawDeviceLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void DrawCircle(double cx, double cy, double r) override;
  bool MirrorsY() override { return true; }
  void DrawPolyline(const TDevicePolyline& line) override;
  TColor ColorOfTool(int32_t tool) override;
  bool DevicePointNear(int32_t x, int32_t y, int32_t margin) override;

  // ---- Job ----
  bool Setup() override;
  bool Place() override;
  void DeviceToWorld(int32_t dx, int32_t dy, int32_t& x, int32_t& y) override;

  // ---- Pen model, supplied by each device ----
  virtual void SelectPen(int32_t pen) = 0;
  virtual void PenUpMove(int32_t x, int32_t y) = 0;
  virtual void PenDownDraw(int32_t x, int32_t y) = 0;
  virtual int32_t Resolution() { return 10000; }
  virtual void WriteLine(const std::string& s) = 0;

  // The clip outcode of a device point: 1 left, 2 right, 4 below, 8 above
  // the page.
  uint8_t Outcode(double x, double y) const;
  // The pen of a colour.
  static int32_t PenOfColor(TColor colour);
  // The scale factor in force.
  double ScaleFactor() const { return PlotScaleFactors[ScaleIndex]; }
  // Sets the page and the clip window for paper P at the present scale
  // (what Place does once the page is placed at origin (x, y)).
  void SetPage(const TPaperSpec& paper, bool rotated, double originX, double originY);

  const std::string& FileName() const { return FileName_; }
  // What the device has written so far.
  const std::string& Output() const { return Output_; }

  int32_t CurrentPen = 0;
  uint8_t ScaleIndex = 2;
  double OriginX = 0.0;
  double OriginY = 0.0;
  int32_t PaperOffsetX = 0;
  int32_t PaperOffsetY = 0;
  bool Rotated = false;
  TPaperTable Papers;
  TClipWindow ClipWindowReal;
  std::array<int32_t, 4> ClipWindow{};  // XMin, YMin, XMax, YMax
  TPlotSymbolDrawer* PlotSymbols = nullptr;  // owned

 protected:
  // Appends text to the output buffer.
  void Emit(const std::string& text) { Output_ += text; }
  // Starts an empty output (BeginPlot).
  void OpenOutput() { Output_.clear(); }
  // Puts the output under the file name in one step (EndPlot). A failure
  // shows the system's text and leaves the old file as it was. Nothing is
  // written after a failed body.
  bool CommitOutput();

 private:
  std::string FileName_;
  std::string Output_;
};
