// Plotter files: a tokenizer cuts the file into two-letter instructions and
// their parameters, and the plotter model follows scaling points, user
// scaling, absolute and relative moves, the pen, dashed line types, arcs,
// circles and stroked labels, and of the later dialect three-point arcs,
// Beziers, rectangles, wedges, encoded polylines, polygon mode and the
// input window, handing every line, arc and circle to the add operations in
// database units (25,000 per plotter unit).
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "import/binary_file_reader.h"
#include "import/cad_sink.h"
#include "import/import_frame.h"

// The number of a two-letter instruction, 0 when it is none: 1 to 68 for
// the instructions of the first plotter language, above 68 for those its
// second version added (PW, PS, AT, BZ, ...).
int32_t HpglMnemonic(char first, char second);
// The two letters of an instruction number.
std::string HpglMnemonicName(int32_t mnemonic);

struct THpglToken {
  // Encoded: the data of an encoded polyline (PE), held by the reader.
  enum TKind : uint8_t { Mnemonic = 1, Integer = 2, Decimal = 3, Character = 4, Encoded = 5, None = 6 };
  TKind Kind = None;
  int32_t Int = 0;   // mnemonic number, integer value or character code
  double Real = 0;
  int64_t Offset = 0;  // where in the file a mnemonic starts
};

class THpglReader : public TImportObject {
 public:
  explicit THpglReader(std::string fileName) : FileName(std::move(fileName)) {}
  void Read() override;
  // Hook of SP; the pen choice changes nothing here.
  virtual void SetPen(int32_t pen) {}

  int32_t Pen = 0;
  const std::string FileName;
  bool Opened = false;
  // The reading stopped at a stretch longer than kMaxTextLine that holds no
  // instruction: the file is no plot. NoInstructionsText names the line the
  // stretch begins in.
  bool NoInstructions = false;
  std::string NoInstructionsText() const;
  int64_t Drawn = 0;  // lines, arcs and circles handed on
  // Geometry beyond the largest coordinate a job holds: the reading stops
  // and ErrorText names the line.
  bool Failed = false;
  std::string ErrorText;
  // Instructions met that draw nothing here although they draw on a
  // plotter (AT, RA, EW, BZ, SM, ...), and letter pairs that are no
  // instruction at all, each with its count.
  std::map<std::string, int64_t> Skipped;
  // What could not be drawn, once per kind, with the instruction number.
  std::vector<std::string> Warnings;

  // Plotter state, plotter units.
  TRealPoint P1, P2, S1, S2, PenPos;
  double ScaleX = 1, ScaleY = 1, OffsetX = 0, OffsetY = 0;
  bool Isotropic = true, Absolute = true, PenDown = false;
  int32_t LineType = 7;
  double PatternPercent = 4, PatternLength = 0, PatternOffset = 0;
  double ChordAngle = 5;
  uint8_t ChordMode = 0;
  double CharWidth = 0.285, CharHeight = 0.375;
  double LabelAngle = 0;  // degrees, from DI and DR
  bool LabelVertical = false;  // DV1: characters stacked downwards
  double Rotation = 0;  // RO: the whole plot turned by 0, 90, 180 or 270 degrees
  char Terminator = 3;
  int64_t TokenCount = 0;

  // The tokenizer, exposed for tests: the next token without taking it.
  const THpglToken& PeekToken();
  THpglToken TakeToken();
  void Initialize();
  // Opens the file with the plotter in its initial state; Read runs the
  // instructions from here.
  bool Begin();

 protected:
  void Warn(const std::string& text);

 private:
  void Dispatch(int32_t mnemonic);
  void ComputeScale();
  bool GetInt(int32_t& v);
  bool GetReal(double& v);
  bool GetPair(double& x, double& y);
  bool GetPoint(TRealPoint& p);
  void MovesTo();
  void MoveTo(const TRealPoint& target);
  void Segment(const TRealPoint& to, bool down);
  // A drawn line, clipped to the input window.
  void Stroke(TRealPoint from, TRealPoint to);
  void Arc(const TRealPoint& centre, double sweep, double chord);
  void Circle(double radius, double chord);
  void Label();
  void SetRelativeSize(double width, double height);
  // The point as handed on: turned by RO and in database units.
  TRealPoint Out(const TRealPoint& p) const;
  // False, with the reading stopped, when a database value leaves the
  // range of a job.
  bool Fits(std::initializer_list<double> values);
  int64_t LineOfOffset(int64_t offset) const;
  bool Tokenize();  // one step; false at the end of the input
  // The character before In_.Pos was passed over as no instruction; false,
  // with NoInstructions set, once the stretch of them is longer than
  // kMaxTextLine.
  bool PassedOver();
  bool ReadNumber(bool& any, double& value, int& end);
  // An exponent ("e2", "E-3") after a number, taken when one stands there.
  bool ReadExponent(double& value);
  // Three-point arcs (AT, RT), Beziers (BZ, BR), rectangles (EA, ER, RA,
  // RR), wedges (EW, WG) and encoded polylines (PE).
  void ThreePointArc(bool relative);
  void Beziers(bool relative);
  void Rectangle(bool relative);
  void Wedge();
  void EncodedPolyline(const std::string& data);
  // Draws along the points with the pen down, then puts the pen back where
  // and how it was.
  void Outline(const std::vector<TRealPoint>& points);
  // IW: the window lines are clipped to, in plotter units.
  bool Clipping_ = false;
  TRealPoint ClipLow_, ClipHigh_;
  // SC of type 1 (isotropic, with the left and bottom share of the space
  // left over) and 2 (plotter units per user unit).
  int32_t ScType_ = 0;
  double ScLeft_ = 50, ScBottom_ = 50;
  std::string Encoded_;  // data of the pending encoded polyline
  bool patternInMillimetres_ = false;  // LT's length in millimetres
  // Polygon mode (PM): the start of the subpolygon being drawn, whether it
  // starts at the next move, and whether any of its edges was drawn.
  void ClosePolygon();
  bool inPolygon_ = false, polygonStartPending_ = false, polygonDrawn_ = false;
  TRealPoint polygonStart_;

  TBinaryFileReader In_;
  std::deque<THpglToken> Tokens_;
  int State_ = 0;
  std::size_t Skipped_ = 0;  // bytes passed over since the last instruction
  int64_t stretchStart_ = 0;  // file offset of the first of them
  THpglToken None_;
  std::vector<std::string> WarnedKinds_;
  int64_t InstructionOffset_ = 0;
  int64_t Pieces_ = 0;  // moves and draws made, every dash, chord and curve piece
};

// The notice of the instructions a plot held that were not drawn, e.g. "3
// instructions that are not imported were skipped:\n2 AT, 1 BZ"; empty when
// none.
std::string SkippedInstructionsNotice(const std::map<std::string, int64_t>& skipped);

using THpglToCad = TToCad<THpglReader>;

void ImportHpglToCad(const std::string& fileName);
