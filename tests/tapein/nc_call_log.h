// A consumer of the NC tape reader for tests: it records every consumer
// operation as one line of text and keeps the hits apart.
#pragma once
#include <string>
#include <vector>

#include "korvex_test.h"
#include "tapein/nc_reader.h"

struct TLoggedHit {
  int32_t X, Y, Size, Tool, Block;
};

// The reader's construction options, for tests that need more than the
// short constructor gives.
struct TTapeOptions {
  std::string SwapFilter;
  int32_t Divisor = 1;
  bool LeadingZeros = true;  // the zero-mode flag of the formats: LZ tapes
  int32_t IntegerDigits = 2, DecimalDigits = 4;
  bool Metric = false;
  bool BlockDelete = false;
  bool CutterCompensation = false;  // offset compensated moves
};

class TCallLog : public TNCReader {
 public:
  // An inch tape of 2.4 digits with trailing zeros kept (numbers as
  // written), absolute, axis version 1, divisor 1.
  TCallLog(const std::string& file, const std::string& scratch, bool metric = false,
           bool incremental = false, int32_t version = 1)
      : TNCReader(file, "", scratch, 1, false, 2, 4, incremental, false, metric, version, false,
                  false) {}
  TCallLog(const std::string& file, const std::string& scratch, const TTapeOptions& o)
      : TNCReader(file, o.SwapFilter, scratch, o.Divisor, o.LeadingZeros, o.IntegerDigits,
                  o.DecimalDigits, false, o.CutterCompensation, o.Metric, 1, o.BlockDelete,
                  false) {}

  void Poll(bool& abort) override {}
  void Done() override { Finish(); }
  void Progress(const std::string& t) override { Log("Progress " + t); }
  void Notice(std::string t) override { Log("Notice " + t); }
  void Message(std::string t) override { Log("Message " + t); }
  void Error(std::string t) override { Log("Error " + t); }
  void HeaderDone(int32_t v) override { Log("HeaderDone " + N(v)); }
  void M96Block(int32_t b, std::string t) override { Log("M96Block " + N(b) + " " + t); }
  void BlockMessage(int32_t b, std::string t) override {
    Log("BlockMessage " + N(b) + " " + t);
  }
  void ToolValue(uint16_t tool, int32_t& v) override { Log("ToolValue " + N(tool) + " " + N(v)); }
  void ToolDiameter(int32_t tool, int32_t v) override { Log("ToolDiameter " + N(tool) + " " + N(v)); }
  void ToolCompDiameter(int32_t tool, int32_t v) override {
    Log("ToolCompDiameter " + N(tool) + " " + N(v));
  }
  void Warning(int32_t x, int32_t y, int32_t b, std::string t) override {
    Log("Warning " + N(x) + " " + N(y) + " " + N(b) + " " + t);
  }
  void UnparsedBlock(const std::string& t, uint8_t kind) override {
    Log("Unparsed " + t + " " + N(kind));
  }
  void OperatorMessage(int32_t b, const std::string& t) override { Log("Operator " + t); }
  void Hit(int32_t x, int32_t y, int32_t size, int32_t tool, int32_t block, uint8_t) override {
    Hits.push_back({x, y, size, tool, block});
    Log("Hit " + N(x) + " " + N(y) + " t" + N(tool));
  }
  void Circle(int32_t x, int32_t y, int32_t size, int32_t d, int32_t tool, int32_t b) override {
    Log("Circle " + N(x) + " " + N(y) + " d" + N(d));
    if (ExpandDrilled) TNCReader::Circle(x, y, size, d, tool, b);
  }
  void Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, int32_t tool, int32_t b,
            uint8_t f) override {
    Log("Slot " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1));
    if (ExpandDrilled) TNCReader::Slot(x0, y0, x1, y1, size, tool, b, f);
  }
  void DrilledText(int32_t x, int32_t y, int32_t size, bool v, int32_t tool, const std::string& t,
                   int32_t b) override {
    Log("Text " + N(x) + " " + N(y) + (v ? " v " : " h ") + t);
    if (ExpandDrilled) TNCReader::DrilledText(x, y, size, v, tool, t, b);
  }
  void RapidMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override {
    Log("Rapid " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1));
  }
  void RoutLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t feed, int32_t mp,
                uint8_t comp) override {
    Log("Line " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1) + " f" + N(feed) + " c" + N(comp));
  }
  void RoutArc(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx, int32_t cy, int32_t,
               int32_t, uint8_t comp, bool cw) override {
    Log(std::string(cw ? "ArcCW " : "ArcCCW ") + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1) +
        " " + N(cx) + " " + N(cy) + " c" + N(comp));
  }
  void RoutCircle(int32_t cx, int32_t cy, int32_t r, int32_t, int32_t, bool g32,
                  bool& handled) override {
    Log("RoutCircle " + N(cx) + " " + N(cy) + " " + N(r));
    handled = TakeRoutCircles;
  }
  void ToolChange(int32_t tool, int32_t comp) override { Log("ToolChange " + N(tool) + " " + N(comp)); }
  void PatternStart(int32_t b) override { Log("PatternStart " + N(b)); }
  void PatternEnd(bool& handled) override {
    Log("PatternEnd");
    handled = TakesSteps;
  }
  void PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t code, int32_t count) override {
    Log("PatternRepeat " + N(x) + " " + N(y) + " o" + N(code) + " n" + N(count));
    handled = TakesSteps;
  }
  void PatternsDone(bool& handled) override {
    Log("PatternsDone");
    handled = TakesSteps;
  }
  bool TakesStepRepeat() override { return TakesSteps; }
  bool KeepsMessages() const override { return !Quiet; }
  void StepRepeatEnd(int32_t b) override { Log("StepRepeatEnd"); }

  // Lines of the log that begin with the prefix.
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : Calls)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }

  // The first line that begins with the prefix, or empty.
  std::string First(const std::string& prefix) const {
    const auto found = With(prefix);
    return found.empty() ? std::string() : found.front();
  }
  // Runs and answers the failed flag.
  bool RunFailed() {
    bool failed = false;
    Run(failed);
    return failed;
  }

  static std::string N(int64_t v) { return std::to_string(v); }
  void Log(const std::string& line) { Calls.push_back(line); }

  std::vector<std::string> Calls;
  std::vector<TLoggedHit> Hits;
  bool TakesSteps = false;
  bool TakeRoutCircles = false;
  bool ExpandDrilled = false;
  // Tells the reader that Notice, Message and BlockMessage go unheard.
  bool Quiet = false;
};
