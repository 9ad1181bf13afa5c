// The photoplot reader: a Gerber (RS-274-D) or RS-274X file read block by
// block, keeping the plotter's modal state, and every drawn line, drawn arc
// and flash handed to virtual sinks. It draws nothing itself: descendants
// give the sinks their meaning (CAD entities, drill holes).
//
// The file is cut into blocks by "*" (or the end-of-block character a
// plain RS-274-D file uses) and into parameter groups by "%", whatever the
// line breaks. Parameters understood: FS, MO, AD (circle, rectangle,
// obround, polygon and macro apertures), AM (macros with variables and
// expressions, flattened into outlines), AB (aperture blocks), SR (step and
// repeat), LP (polarity), LM/LR/LS (aperture mirror, turn and scale), the
// image parameters AS, MI, SF, OF, IR, IO and RO, and IF (a file read in
// place). Names, attributes and film settings are passed over; anything
// else is named with its count after the import. G36/G37 regions hand
// their contours to the sinks like drawn tracks.
//
// A tape punched in EBCDIC or EIA is read through the tape input filter.
//
// Coordinates handed to the sinks are integers in units of
// 10^-DecimalDigits of the file's unit (GerberImportDefaults). The format
// parameters found in the file and the G90/G91, G70/G71 and M71/M72 words
// are written into GerberImportDefaults, so they stay in effect in memory
// after the import.
//
// A file that cannot be read stops with Failed set and ErrorText naming the
// file and the line; the descendants then store nothing.
#pragma once
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <string_view>
#include <vector>

#include "import/gerber_macro.h"
#include "import/import_host.h"
#include "tapein/import_cancel.h"

// Aperture shapes.
enum : uint8_t { apCircle = 0, apRectangle = 1, apObround = 2, apUndefined = 3, apPolygon = 4, apMacro = 5 };

// One aperture definition; sizes as written in the file.
struct TApertureRecord {
  int32_t DCode = 0;
  uint8_t Shape = apUndefined;
  double SizeX = 0.0;
  double SizeY = 0.0;
  int32_t Vertices = 0;   // polygon
  double Rotation = 0.0;  // polygon, degrees
  // Macro apertures: the macro's name and parameters, and its flattened
  // outline in file units about the flash point.
  std::string MacroName;
  std::vector<double> Parameters;
  std::vector<TMacroShape> Shapes;
  // The units in force where the aperture was defined.
  bool Metric = false;
  // Why the reader cannot draw the aperture (a macro it cannot flatten);
  // its flashes are then skipped and named. Empty when it can.
  std::string Unreadable;
};

class TGerberReader {
 public:
  // The import's reader: finds the end of block and the format parameters,
  // then asks the user to confirm the format. A file without an end of
  // block is refused with a beep and an error box; a cancelled dialog leaves
  // the reader closed.
  TGerberReader(const std::string& fileName, bool toCad);
  // The detector's reader: keeps the name, never opened, shows nothing.
  struct TQuiet {};
  TGerberReader(const std::string& fileName, TQuiet);
  virtual ~TGerberReader();
  TGerberReader(const TGerberReader&) = delete;
  TGerberReader& operator=(const TGerberReader&) = delete;

  // Reads the file through the sinks when opened.
  virtual void Run();

  // Sinks (file units). Layer is 0 for dark and 1 for clear polarity.
  virtual void Point(int64_t x, int64_t y) {}
  virtual void Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {}
  virtual void Circle(int64_t x, int64_t y, int64_t radius) {}
  virtual void Arc(bool counterClockwise, bool multiQuadrant, int64_t x1, int64_t y1, int64_t x2,
                   int64_t y2, int64_t i, int64_t j) {}
  // True when the descendant has handled the flash itself.
  virtual bool FlashHook(int64_t x, int64_t y, int64_t size) { return false; }
  // Draws the current aperture through the other sinks.
  virtual void Flash(int32_t dCode, int64_t x, int64_t y);

  // ---- Pieces shared with the detector ----
  bool FindEndOfBlock();
  // True when a block (up to the end-of-block character or a line end) is
  // longer than kMaxTextLine; the scan stops there.
  bool HasOverlongBlock();
  void ParseFormatParameters();
  // The next block (at most 255 characters), empty at the end of the file.
  std::string ReadBlock(bool strip);
  bool Eof() const { return pos_ >= text_.size(); }
  int32_t CurrentLine() const { return line_; }
  bool OpenInput();
  void CloseInput();
  // True when a %FS format parameter comes ahead of the first coordinate.
  bool HasFormatParameter();
  static bool ParseApertureDefinition(const std::string& text, TApertureRecord& record);

  bool Opened = false;
  bool AbsoluteCentre = false;
  int32_t DMode = 2;
  bool MultiQuadrant = false;
  // A draw to the pen's own point leaves the round aperture's mark (into
  // CAD); a drill drawing takes only its flashes as holes.
  bool MarksZeroDraws = true;
  bool Stopped = false;
  bool InRegion = false;
  uint8_t Layer = 0;  // 0 dark, 1 clear polarity
  int32_t CurrentDCode = 0;
  int32_t Interpolation = 1;
  std::string FileName;
  char EndOfBlock = '*';
  // The file is a tape in a coded character set (EBCDIC, EIA), read through
  // the tape filter; the name of its code.
  bool Coded = false;
  std::string CodeName = "ASCII";
  int64_t X = 0, Y = 0, PrevX = 0, PrevY = 0;
  // A unit change within the file: the positions held so far are carried
  // over into the new units.
  void ChangeUnits(bool metric);
  // The aperture table, and the aperture of the current D code (null when
  // it has no definition).
  std::vector<TApertureRecord> Apertures;
  const TApertureRecord* Aperture = nullptr;
  // Where each D code's last definition stands in Apertures.
  std::unordered_map<int32_t, std::size_t> ApertureIndex;
  std::unique_ptr<TImportReport> Window;
  // The image parameters (AS, MI, SF, OF, IR and the older IO and RO) as
  // one map of file integer units: where a point of the file lands on the
  // film. The sinks get the file's own coordinates; the descendants take
  // every point through ToImage as they store it.
  struct TImageMap {
    double Xx = 1, Xy = 0, Yx = 0, Yy = 1, Dx = 0, Dy = 0;
  };
  TImageMap Image;
  void ToImage(double& x, double& y) const {
    const double nx = Image.Xx * x + Image.Xy * y + Image.Dx, ny = Image.Yx * x + Image.Yy * y + Image.Dy;
    x = nx;
    y = ny;
  }
  // The map turns the film over (one axis mirrored): arcs run the other
  // way round.
  bool ImageTurnsOver() const { return Image.Xx * Image.Yy - Image.Xy * Image.Yx < 0; }
  // The factor on lengths (radii, aperture sizes).
  double ImageScale() const { return std::sqrt(std::fabs(Image.Xx * Image.Yy - Image.Xy * Image.Yx)); }
  // What the file holds that the import does not take as drawn, each with
  // its count: parameters and codes passed over, and the D codes flashed
  // without a definition (drawn as points).
  std::map<std::string, int64_t> Skipped;
  std::map<std::string, int64_t> Undefined;
  bool Failed = false;
  std::string ErrorText;
  int64_t Blocks = 0;
  // Cancel of a long reading, as the other imports have it: the status box
  // shows once the reading has taken a second, and its Cancel ends the
  // reading as failed, ErrorText saying it was cancelled.
  TImportCancel CancelBox{"Reading the file: Cancel withdraws the import."};

 protected:
  void Fail(const std::string& what);
  // Looks at Cancel when it is time to (by the blocks read and the objects
  // of blocks and repeats drawn so far).
  void Poll();
  void LoadApertures();
  void FindAperture(int32_t dCode);
  void SelectDCode(int32_t n);
  void DecodeFile();
  void Reset();
  // One data block (its words, blanks stripped).
  void ExecuteBlock(std::string_view block);
  // A block holds at most this many words; the rest is named as skipped.
  static constexpr std::size_t kMaxBlockWords = 64;
  // A word: its letter and the text of its number (trivial, so that a
  // block's array of them costs nothing to make).
  struct TWord {
    char Letter;
    uint32_t Size;
    const char* Data;
    std::string_view Digits() const { return {Data, Size}; }
  };
  // The words of one operation of the block (see ExecuteBlock); true when
  // they end the block (a comment) or the read failed.
  bool ExecuteWords(const TWord* words, std::size_t count, std::string_view text);
  // The block when it is the common one of a position and D01, D02 or D03
  // alone, carried out as ExecuteWords would; false, with nothing done,
  // for any other.
  bool ExecuteCommonBlock(std::string_view block);
  // A comment or a G56/G57 block as written, shown in the report window.
  void ShowBlock(std::string_view block);
  // False, and the read failed, when the pen's position (or where the
  // image puts it) lies beyond what a job holds.
  bool PenWithinJob();
  // The operation of a block once its position, D codes and arc offsets
  // are taken: a line, an arc, a flash or the mark of a draw that does not
  // move; the pen's previous position follows.
  void Operate(bool moved, bool flash, bool drawing, bool positioned, int64_t i, int64_t j);
  // One parameter command of a % group.
  void ExecuteParameter(const std::string& command);
  // A coordinate word's value in file integer units.
  bool Coordinate(std::string_view digits, int64_t& value, bool yAxis = false) const;

 private:
  struct TRecorded {
    uint8_t Kind;  // 0 line, 1 arc, 2 flash
    uint8_t Layer;
    bool Ccw, Multi;
    int32_t DCode;
    int64_t A, B, C, D, E, F;
  };
  void EmitLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  void EmitArc(bool ccw, bool multi, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t i,
               int64_t j);
  void EmitFlash(int64_t x, int64_t y);
  void FlushStepRepeat();
  // Puts the text of each file an "%IF" parameter names in its place
  // (looked for beside the file); names those that cannot be read.
  void ExpandIncludes();
  std::vector<std::string> missingIncludes_;
  // The Y format of %FS when it differs from the X format (else -1).
  int32_t yIntegerDigits_ = -1, yDecimalDigits_ = -1;
  // Builds Image from the image parameters below.
  void ComputeImage();
  // An offset from the flash point as LM, LR and LS set it (mirror, turn,
  // then scale unless told not to).
  void ObjectMap(double& dx, double& dy, bool scaled = true) const;
  bool ObjectTurnsOver() const { return objectMirrorX_ != objectMirrorY_; }
  // Draws the objects of an aperture block about the flash point.
  void ReplayBlock(const std::vector<TRecorded>& objects, int64_t x, int64_t y);
  // The objects one flash of the block of the D code draws, the blocks it
  // flashes counted out (one that flashes itself counts its own flashes of
  // itself as none: its replay refuses it).
  double BlockObjects(int32_t dCode, int32_t depth = 0);
  // The next unit of the file from pos_: a % parameter group (group true,
  // without its % signs) or a data block (without its end character and
  // blanks; a comment as its G04 alone, its text in comment_); false at
  // the end. Counts the lines
  // passed in line_. The unit stays valid until the next call. Without
  // blocks, data blocks are passed over and only groups are answered (the
  // lines after the last group are then not counted). With raw, data
  // blocks are answered as written, up to their end character (blanks,
  // line breaks and a comment's text kept).
  bool NextUnit(std::string_view& unit, bool& group, bool blocks = true, bool raw = false);

  std::string text_;
  std::string unitBuffer_;  // a data block with its blanks dropped
  // The whole text of the comment NextUnit answered last as its G04 alone
  // (empty after any other unit).
  std::string_view comment_;
  std::string shown_;  // the text of a comment as shown
  // PenWithinJob's database units per file unit, and the units and
  // decimals it was worked out for.
  double perUnit_ = 0;
  bool perUnitMetric_ = false;
  int32_t perUnitDigits_ = -1;
  bool loaded_ = false;
  bool quiet_ = false;
  std::size_t pos_ = 0;
  int32_t line_ = 1;      // line of the block being executed
  int32_t unitLine_ = 1;  // line where the last unit began
  std::vector<TMacro> macros_;
  // Step and repeat: copies in X and Y, their steps in file integer units,
  // and what was drawn since the SR began.
  int32_t repeatX_ = 1, repeatY_ = 1;
  int64_t stepX_ = 0, stepY_ = 0;
  std::vector<TRecorded> recorded_;
  bool replaying_ = false;
  // Image parameters: axes exchanged (AYBX), mirrored A and B, scale
  // factors, offsets in file integer units, rotations in degrees.
  bool swapAxes_ = false, mirrorA_ = false, mirrorB_ = false;
  double scaleA_ = 1, scaleB_ = 1, offsetA_ = 0, offsetB_ = 0;
  double layerRotation_ = 0, imageRotation_ = 0, imageOffsetA_ = 0, imageOffsetB_ = 0;
  // Aperture transforms (LM, LR, LS) for the flashes that follow.
  bool objectMirrorX_ = false, objectMirrorY_ = false;
  double objectRotation_ = 0, objectScale_ = 1;
  // Aperture blocks: those being defined (innermost last) and those
  // defined, by D code, with their objects about the block origin.
  std::vector<std::pair<int32_t, std::vector<TRecorded>>> openBlocks_;
  std::map<int32_t, std::vector<TRecorded>> blocks_;
  int32_t blockDepth_ = 0;
  // BlockObjects of each block as worked out since the blocks last
  // changed, and the objects the flashes of blocks drew so far.
  std::map<int32_t, double> blockObjects_;
  double blockObjectsDrawn_ = 0;
  // Objects of aperture blocks and step and repeats drawn so far.
  int64_t replayed_ = 0;
};

// An aperture, or the centre of an arc, that lies beyond what a job holds:
// never cut to the job's edge, the file is refused with this text.
inline constexpr const char* kGerberSizeBeyondJob =
    "the aperture or the arc's centre reaches beyond the largest coordinate a job holds (84.5466 in or "
    "2147.48 mm); check the format and the units";

// The notice of what the import did not take as drawn (the reader's
// Skipped and Undefined, the latter imported as undefinedAs); empty when it
// took everything.
std::string GerberSkippedNotice(const TGerberReader& reader, const std::string& undefinedAs = "points");

// Confidence 0..0.91 that the reader's file is a photoplot file.
double DetectGerber(TGerberReader& reader);

// Form "TGerberDrillDialog" ("Gerber to Drill"): the coordinate format of
// the photoplot file.
class TGerberDrillDialog;
// The dialog over GerberImportDefaults; true on OK (the values are then
// stored there, and in the registry when "Chan&ge Defaults" is checked).
bool ExecuteGerberImportDialog(const std::string& fileName, bool toCad, const std::string& codeName);
