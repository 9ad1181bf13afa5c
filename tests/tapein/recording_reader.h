// A consumer of the NC tape reader for tests: every one of the 39 consumer
// operations is recorded as one line of text ("Name arg arg ..."), in call
// order, so that a test can assert what a tape gave to its consumer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tapein/nc_reader.h"

struct TRecordedHit {
  int32_t X = 0, Y = 0, Size = 0, Tool = 0, Block = 0;
};

// Options of the recording consumer.
struct TRecordingOptions {
  std::string SwapFilter;       // import swap filter list; empty = none
  std::string ScratchDir;       // empty = the current directory
  int32_t Divisor = 1;
  bool LeadingZeros = true;     // the zero-mode flag of the formats: LZ tapes
  int32_t IntegerDigits = 2;
  int32_t DecimalDigits = 4;
  bool Incremental = false;
  bool ArcAdjust = false;
  bool Metric = false;
  int32_t AxisVersion = 1;
  bool BlockDelete = false;
  bool CounterClockwise = false;
};

class TRecordingReader : public TNCReader {
 public:
  TRecordingReader(const std::string& fileName, const TRecordingOptions& options = {});

  // Answers of the operations that return something.
  bool ExpandDrilled = false;    // Circle, Slot and DrilledText pass on to the base expansion
  bool AcceptRoutCircles = false;
  bool TakesSteps = false;       // TakesStepRepeat and the handled answers of the pattern slots
  bool OriginResult = true;      // SetOrigin
  bool AbortAfterHits = false;   // Poll sets abort once AbortHitCount hits were seen
  std::size_t AbortHitCount = 0;

  std::vector<std::string> Calls;
  std::vector<TRecordedHit> Hits;

  // Calls that begin with the prefix.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
  // The first call that begins with the prefix, or empty.
  std::string FirstCall(const std::string& prefix) const;
  // Runs and answers the failed flag.
  bool RunFailed();

  /* 0 */ void HeaderDone(int32_t axisVersion) override;
  /* 1 */ void Poll(bool& abort) override;
  /* 2 */ void Progress(const std::string& text) override;
  /* 3 */ void Notice(const std::string& text) override;
  /* 4 */ void ToolValue2(uint16_t tool, int32_t& value) override;
  /* 5 */ void ToolValue(uint16_t tool, int32_t& value) override;
  /* 6 */ void Message(const std::string& text) override;
  /* 7 */ void Error(const std::string& text) override;
  /* 8 */ void Warning(int32_t x, int32_t y, int32_t block, const std::string& text) override;
  /* 9 */ void M96Block(int32_t block, const std::string& text) override;
  /* 10 */ void UnparsedBlock(const std::string& text, uint8_t kind) override;
  /* 11 */ void OperatorMessage(int32_t block, const std::string& text) override;
  /* 12 */ void BlockMessage(int32_t block, const std::string& text) override;
  /* 13 */ bool SetOrigin(int32_t x, int32_t y) override;
  /* 14 */ void Hit(int32_t x, int32_t y, int32_t size, int32_t tool, int32_t block,
                    uint8_t flag) override;
  /* 15 */ void Circle(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t tool,
                       int32_t block) override;
  /* 16 */ void Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, int32_t tool,
                     int32_t block, uint8_t flag) override;
  /* 17 */ void DrilledText(int32_t x, int32_t y, int32_t size, bool vertical, int32_t tool,
                            const std::string& text, int32_t block) override;
  /* 18 */ void Emit18(int32_t tool, int32_t size, int32_t compTool, int32_t compDiameter,
                       uint8_t compSide) override;
  /* 19 */ void LineMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                         int32_t tool, int32_t block, uint8_t flag) override;
  /* 20 */ void ArcMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx, int32_t cy,
                        int32_t size, bool clockwise, int32_t tool, int32_t block) override;
  /* 21 */ void PatternStart(int32_t block) override;
  /* 22 */ void Hook22(int32_t dx, int32_t dy, int32_t argument, uint8_t orientation) override;
  /* 23 */ void StepRepeatEnd(int32_t block) override;
  /* 24 */ void GetText(int32_t id, const std::string& defaultText, std::string& text) override;
  /* 25 */ void Run(bool& failed) override;
  /* 26 */ void RapidMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
  /* 27 */ void RoutLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t feed,
                         int32_t moveParameter, uint8_t comp) override;
  /* 28 */ void RoutArc(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx, int32_t cy,
                        int32_t feed, int32_t moveParameter, uint8_t comp,
                        bool clockwise) override;
  /* 29 */ void RoutCircle(int32_t cx, int32_t cy, int32_t radius, int32_t feed,
                           int32_t moveParameter, bool g32, bool& handled) override;
  /* 30 */ void ToolCompDiameter(int32_t tool, int32_t value) override;
  /* 31 */ void ToolDiameter(int32_t tool, int32_t value) override;
  /* 32 */ void ToolChange(int32_t tool, int32_t compTool) override;
  /* 33 */ void PatternEnd(bool& handled) override;
  /* 34 */ void PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t orientation,
                              int32_t count) override;
  /* 35 */ void PatternsDone(bool& handled) override;
  /* 36 */ bool TakesStepRepeat() override;
  /* 37 */ bool RoutCommandsSeen() override;
  /* 38 */ void Done() override;

 private:
  void Record(const std::string& line) { Calls.push_back(line); }
};
