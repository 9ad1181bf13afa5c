#include "recording_reader.h"

namespace {

std::string N(int64_t v) { return std::to_string(v); }

}  // namespace

TRecordingReader::TRecordingReader(const std::string& fileName, const TRecordingOptions& o)
    : TNCReader(fileName, o.SwapFilter, o.ScratchDir, o.Divisor, o.LeadingZeros, o.IntegerDigits,
                o.DecimalDigits, o.Incremental, o.ArcAdjust, o.Metric, o.AxisVersion,
                o.BlockDelete, o.CounterClockwise) {}

std::vector<std::string> TRecordingReader::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& c : Calls)
    if (c.rfind(prefix, 0) == 0) found.push_back(c);
  return found;
}

std::string TRecordingReader::FirstCall(const std::string& prefix) const {
  for (const std::string& c : Calls)
    if (c.rfind(prefix, 0) == 0) return c;
  return {};
}

bool TRecordingReader::RunFailed() {
  bool failed = false;
  Run(failed);
  return failed;
}

void TRecordingReader::HeaderDone(int32_t v) { Record("HeaderDone " + N(v)); }

void TRecordingReader::Poll(bool& abort) {
  if (AbortAfterHits && Hits.size() >= AbortHitCount) abort = true;
}

void TRecordingReader::Progress(const std::string& t) { Record("Progress " + t); }
void TRecordingReader::Notice(const std::string& t) { Record("Notice " + t); }

void TRecordingReader::ToolValue2(uint16_t tool, int32_t& value) {
  Record("ToolValue2 " + N(tool) + " " + N(value));
}

void TRecordingReader::ToolValue(uint16_t tool, int32_t& value) {
  Record("ToolValue " + N(tool) + " " + N(value));
}

void TRecordingReader::Message(const std::string& t) { Record("Message " + t); }
void TRecordingReader::Error(const std::string& t) { Record("Error " + t); }

void TRecordingReader::Warning(int32_t x, int32_t y, int32_t b, const std::string& t) {
  Record("Warning " + N(x) + " " + N(y) + " " + N(b) + " " + t);
}

void TRecordingReader::M96Block(int32_t b, const std::string& t) {
  Record("M96Block " + N(b) + " " + t);
}

void TRecordingReader::UnparsedBlock(const std::string& t, uint8_t kind) {
  Record("UnparsedBlock " + N(kind) + " " + t);
}

void TRecordingReader::OperatorMessage(int32_t b, const std::string& t) {
  Record("OperatorMessage " + N(b) + " " + t);
}

void TRecordingReader::BlockMessage(int32_t b, const std::string& t) {
  Record("BlockMessage " + N(b) + " " + t);
}

bool TRecordingReader::SetOrigin(int32_t x, int32_t y) {
  Record("SetOrigin " + N(x) + " " + N(y));
  return OriginResult;
}

void TRecordingReader::Hit(int32_t x, int32_t y, int32_t size, int32_t tool, int32_t block,
                           uint8_t flag) {
  Hits.push_back({x, y, size, tool, block});
  Record("Hit " + N(x) + " " + N(y) + " " + N(size) + " " + N(tool) + " " + N(block) + " " +
         N(flag));
}

void TRecordingReader::Circle(int32_t x, int32_t y, int32_t size, int32_t d, int32_t tool,
                              int32_t b) {
  Record("Circle " + N(x) + " " + N(y) + " " + N(size) + " " + N(d) + " " + N(tool) + " " + N(b));
  if (ExpandDrilled) TNCReader::Circle(x, y, size, d, tool, b);
}

void TRecordingReader::Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                            int32_t tool, int32_t b, uint8_t flag) {
  Record("Slot " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1) + " " + N(size) + " " +
         N(tool) + " " + N(b));
  if (ExpandDrilled) TNCReader::Slot(x0, y0, x1, y1, size, tool, b, flag);
}

void TRecordingReader::DrilledText(int32_t x, int32_t y, int32_t size, bool v, int32_t tool,
                                   const std::string& t, int32_t b) {
  Record("DrilledText " + N(x) + " " + N(y) + " " + N(size) + (v ? " v " : " h ") + N(tool) + " " +
         t + " " + N(b));
  if (ExpandDrilled) TNCReader::DrilledText(x, y, size, v, tool, t, b);
}

void TRecordingReader::Emit18(int32_t tool, int32_t size, int32_t compTool, int32_t compDiameter,
                              uint8_t side) {
  Record("Emit18 " + N(tool) + " " + N(size) + " " + N(compTool) + " " + N(compDiameter) + " " +
         N(side));
}

void TRecordingReader::LineMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                                int32_t tool, int32_t b, uint8_t) {
  Record("LineMove " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1) + " " + N(size) + " " +
         N(tool) + " " + N(b));
}

void TRecordingReader::ArcMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx,
                               int32_t cy, int32_t size, bool cw, int32_t tool, int32_t b) {
  Record("ArcMove " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1) + " " + N(cx) + " " +
         N(cy) + " " + N(size) + (cw ? " cw " : " ccw ") + N(tool) + " " + N(b));
}

void TRecordingReader::PatternStart(int32_t b) { Record("PatternStart " + N(b)); }

void TRecordingReader::Hook22(int32_t dx, int32_t dy, int32_t a, uint8_t o) {
  Record("Hook22 " + N(dx) + " " + N(dy) + " " + N(a) + " " + N(o));
}

void TRecordingReader::StepRepeatEnd(int32_t b) { Record("StepRepeatEnd " + N(b)); }

void TRecordingReader::GetText(int32_t id, const std::string& defaultText, std::string& text) {
  TNCReader::GetText(id, defaultText, text);
}

void TRecordingReader::Run(bool& failed) {
  TNCReader::Run(failed);
  Record(std::string("Run ") + (failed ? "failed" : "ok"));
}

void TRecordingReader::RapidMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Record("RapidMove " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1));
}

void TRecordingReader::RoutLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t feed,
                                int32_t mp, uint8_t comp) {
  Record("RoutLine " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1) + " " + N(feed) + " " +
         N(mp) + " " + N(comp));
}

void TRecordingReader::RoutArc(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx,
                               int32_t cy, int32_t feed, int32_t mp, uint8_t comp, bool cw) {
  Record("RoutArc " + N(x0) + " " + N(y0) + " " + N(x1) + " " + N(y1) + " " + N(cx) + " " +
         N(cy) + " " + N(feed) + " " + N(mp) + " " + N(comp) + (cw ? " cw" : " ccw"));
}

void TRecordingReader::RoutCircle(int32_t cx, int32_t cy, int32_t r, int32_t feed, int32_t mp,
                                  bool g32, bool& handled) {
  Record("RoutCircle " + N(cx) + " " + N(cy) + " " + N(r) + " " + N(feed) + " " + N(mp) +
         (g32 ? " G32" : " G33"));
  handled = AcceptRoutCircles;
}

void TRecordingReader::ToolCompDiameter(int32_t tool, int32_t v) {
  Record("ToolCompDiameter " + N(tool) + " " + N(v));
}

void TRecordingReader::ToolDiameter(int32_t tool, int32_t v) {
  Record("ToolDiameter " + N(tool) + " " + N(v));
}

void TRecordingReader::ToolChange(int32_t tool, int32_t comp) {
  Record("ToolChange " + N(tool) + " " + N(comp));
}

void TRecordingReader::PatternEnd(bool& handled) {
  Record("PatternEnd");
  handled = TakesSteps;
}

void TRecordingReader::PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t o,
                                     int32_t count) {
  Record("PatternRepeat " + N(x) + " " + N(y) + " " + N(o) + " " + N(count));
  handled = TakesSteps;
}

void TRecordingReader::PatternsDone(bool& handled) {
  Record("PatternsDone");
  handled = TakesSteps;
}

bool TRecordingReader::TakesStepRepeat() { return TakesSteps; }

bool TRecordingReader::RoutCommandsSeen() { return TNCReader::RoutCommandsSeen(); }

void TRecordingReader::Done() {
  Record("Done");
  Finish();
}
