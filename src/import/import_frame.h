// The import frame: the base object of the CAD importers, the format
// detectors with the choice of the winner, the "File Format" dialog, the
// dispatch to each format's import entry and the File/Import command.
//
// Every CAD import is one undo step, "Import file", and all or nothing: the
// entities an importer produces are held back until the whole file has been
// read, and a file that stops with an error adds none of them.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms.h"

// Format codes; also the list index of the "File Format" dialog.
enum : uint8_t {
  fcUnrecognized = 0,
  fcDxf = 1,
  fcHpgl = 2,
  fcExcellon = 3,
  fcGerber = 4,
  fcGcadd = 5,
  fcIgiPost = 6,
  fcIpc = 7,
  fcOdb = 8,
  fcEsi = 9,
};
constexpr int32_t FormatCount = 10;
extern const std::array<const char*, FormatCount> FormatListNames;

// Database units per file unit.
constexpr double InchImportScale = 25400000.0;
constexpr double MetricImportScale = 1000000.0;

// The base of the CAD importers: a reader walks its file and hands every
// element to the add operations (coordinates already in database units);
// the concrete importer decides what each becomes.
class TImportObject {
 public:
  TImportObject() = default;
  virtual ~TImportObject() = default;
  TImportObject(const TImportObject&) = delete;
  TImportObject& operator=(const TImportObject&) = delete;

  virtual void AddPoint(int32_t layer, double x, double y) {}
  virtual void AddLine(int32_t layer, double x1, double y1, double x2, double y2) {}
  // Counter-clockwise from start to end about the centre; angles in degrees.
  virtual void AddArc(int32_t layer, double sx, double sy, double ex, double ey, double cx,
                      double cy, double a1, double a2) {}
  virtual void AddCircle(int32_t layer, double cx, double cy, double r) {}
  // A read failure with its text (the file and line are in it).
  virtual void Error(const std::string& text) {}
  virtual void Status(const std::string& text) {}
  virtual void Progress() {}
  virtual void Idle() {}
  // Reads the whole file through the operations above.
  virtual void Read() = 0;

  void ExtendBounds(double x, double y) {
    if (x < MinX) MinX = x;
    if (x > MaxX) MaxX = x;
    if (y < MinY) MinY = y;
    if (y > MaxY) MaxY = y;
  }
  double MinX = 1.7e308, MinY = 1.7e308;
  double MaxX = -1.7e308, MaxY = -1.7e308;
};

// CAD entities held back until an import has read its file. Commit adds them
// to DB as one undo step without drawing them one by one, then has the view
// redrawn once (File/Import's zoom to the extents does that for it); a
// failed import calls nothing and leaves DB as it was.
class TPendingCad {
 public:
  // No drawing holds more entities than this: those beyond it are only
  // counted, for Commit to refuse the file, so that a file of millions of
  // elements holds no more memory than the largest drawing.
  static constexpr std::size_t MostItems = 1000000;
  void Point(uint8_t layer, int32_t x, int32_t y) { Add({kPoint, layer, x, y, 0, 0}); }
  void Line(uint8_t layer, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Add({kLine, layer, x1, y1, x2, y2});
  }
  void Arc(uint8_t layer, int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx,
           int32_t cy) {
    if (count_ < kMostItems) arcCentres_.push_back({cx, cy});
    Add({kArc, layer, sx, sy, ex, ey});
  }
  void Circle(uint8_t layer, int32_t cx, int32_t cy, int32_t r) { Add({kCircle, layer, cx, cy, r, 0}); }
  void CircleThrough(uint8_t layer, int32_t cx, int32_t cy, int32_t px, int32_t py) {
    Add({kCircleThrough, layer, cx, cy, px, py});
  }
  std::size_t Count() const { return count_; }
  void Clear() {
    chunks_.clear();
    std::vector<TCentre>().swap(arcCentres_);
    count_ = 0;
  }
  // Adds everything, shows the layers used, closes the undo step. False
  // (after an error box, with nothing added) when the drawing has no room
  // for all of it.
  bool Commit();

 private:
  enum : uint8_t { kPoint, kLine, kArc, kCircle, kCircleThrough };
  struct TItem {
    uint8_t Kind;
    uint8_t Layer;
    int32_t A, B, C, D;
  };
  // The centres of the arcs, in the order of the arcs among the items.
  struct TCentre {
    int32_t X, Y;
  };
  std::vector<TCentre> arcCentres_;
  // The items in chunks of a fixed size, each written once: an import of a
  // million entities neither copies its list as it grows nor holds it twice.
  static constexpr std::size_t kChunkItems = 16384;
  static constexpr std::size_t kMostItems = MostItems;
  void Add(const TItem& item) {
    if (count_ >= kMostItems) {
      ++count_;
      return;
    }
    const std::size_t at = count_ % kChunkItems;
    if (at == 0) chunks_.emplace_back(new TItem[kChunkItems]);
    chunks_.back()[at] = item;
    ++count_;
  }
  std::vector<std::unique_ptr<TItem[]>> chunks_;
  std::size_t count_ = 0;
};

// Opens the file and reads one byte; an error box "File access error #"
// with the code and its text, and false, when that fails (an empty file
// fails with 100).
bool CheckImportFile(const std::string& fileName);

// The caption of an import's report window: the format's caption, the
// version text, and the file name shortened to 25 characters in brackets.
std::string ImportCaption(const std::string& what, const std::string& version,
                          const std::string& fileName);

// The detectors and entries, by format code (null where the format has
// none).
struct TImportFormat {
  double (*Detect)(const std::string& fileName) = nullptr;
  void (*Import)(const std::string& fileName) = nullptr;
};
const TImportFormat& ImportFormat(uint8_t code);
// Replaces a format's detector and entry (tests, later formats).
void SetImportFormat(uint8_t code, const TImportFormat& format);

// The winner of the scores of the nine detectors (index = code, entry 0
// unused): above 0.6 and above the best so far; a lead under 0.12 over the
// previous best leaves the result ambiguous (0) until a later clear leader.
uint8_t PickFormat(const std::array<double, FormatCount>& scores);
uint8_t DetectFileFormat(const std::string& fileName);

// Form "TForceFormatDialog" ("File Format").
class TForceFormatDialog : public TForm {
 public:
  TForceFormatDialog();
  TMemo& Memo1;
  TComboBox& PullDown;
  TButton& OKButton;
  TButton& CancelButton;
  TButton& ViewButton;
  std::string FileName;
  void ViewButtonClick();
};

// The dialog with the cannot-determine text, "Unrecognized" selected.
uint8_t AskFileFormat(const std::string& fileName);
// The dialog with the detected format selected; code 0 on Cancel.
void ConfirmFileFormat(uint8_t& code, const std::string& fileName);

// Runs the entry of the format; false (after a message) when the format has
// no import here.
bool RunImportEntry(uint8_t code, const std::string& fileName);

// An entry that read nothing (refused or cancelled) says so: File/Import
// then leaves the job's name and the caption as they were.
void ImportFailed();
// The reason an import read nothing, in an error box; the import failed.
void NothingImported(const std::string& reason);

// The notice of a record file whose records of zero bytes only (the
// padding of a copy, an emptied disk) were passed over.
std::string BlankRecordsText(int64_t count, const std::string& fileName);

// The refusals of a file whose repeats go beyond a limit; through names
// them ("the placements of its components"):
// "<file> makes more than 1,000,000 entities through ...; a CAD drawing
// holds no more."
std::string RepeatsPastTheDrawingText(const std::string& fileName, const std::string& through);
// "<file> repeats more than N records through ...", N the repeat limit.
std::string RepeatsPastTheLimitText(const std::string& fileName, const std::string& through);
// "<file> nests ... more than 100 deep." (what: "the placements of its
// components").
std::string NestedTooDeepText(const std::string& fileName, const std::string& what);

// Holes an import may hold back: the room left on the drill layers.
int64_t DrillRoomForImport();
// "more holes than the job has room for (N more)", N that room.
std::string NoRoomForHolesText();
// Entities an import may hold back: the room left in the CAD drawing.
int64_t CadRoomForImport();
// "more entities than the CAD drawing has room for (N more)", N that room.
std::string NoRoomForEntitiesText();

// The File/Import command.
void RunCadImport();

// Gives Drill Import its DXF and photoplot importers (done at start-up).
void InstallDrillImporters();

// The detectors of formats whose importers live elsewhere.
double DetectHpgl(const std::string& fileName);
double DetectGcadd(const std::string& fileName);
double DetectIgiPost(const std::string& fileName);
double DetectIpcFile(const std::string& fileName);
double DetectValorMatrix(const std::string& fileName);
double DetectEsi(const std::string& fileName);
