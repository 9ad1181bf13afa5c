// Plotter files: a tokenizer cuts the file into two-letter instructions and
// their parameters, and the plotter model follows scaling points, user
// scaling, absolute and relative moves, the pen, dashed line types, arcs,
// circles and stroked labels, handing every line, arc and circle to the add
// operations in database units (25,000 per plotter unit).
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "import/binary_file_reader.h"
#include "import/cad_sink.h"
#include "import/import_frame.h"

// The number (1 to 68) of a two-letter instruction, 0 when it is none.
int32_t HpglMnemonic(char first, char second);

struct THpglToken {
  enum TKind : uint8_t { Mnemonic = 1, Integer = 2, Decimal = 3, Character = 4, None = 6 };
  TKind Kind = None;
  int32_t Int = 0;   // mnemonic number, integer value or character code
  double Real = 0;
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
  // instruction: the file is no plot.
  bool NoInstructions = false;
  int32_t Drawn = 0;  // lines, arcs and circles handed on
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
  char Terminator = 3;
  int32_t TokenCount = 0;

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
  void Arc(const TRealPoint& centre, double sweep, double chord);
  void Circle(double radius, double chord);
  void Label();
  bool Tokenize();  // one step; false at the end of the input
  bool ReadNumber(bool& any, double& value, int& end);

  TBinaryFileReader In_;
  std::deque<THpglToken> Tokens_;
  int State_ = 0;
  std::size_t Skipped_ = 0;  // bytes passed over since the last instruction
  THpglToken None_;
  std::vector<std::string> WarnedKinds_;
};

using THpglToCad = TToCad<THpglReader>;

void ImportHpglToCad(const std::string& fileName);
