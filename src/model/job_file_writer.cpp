#include "model/job_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/job_file_reader.h"
#include "model/rout_database.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

// The first lines of every job file: the header record and its title.
const std::string& JobFileSignature() {
  static const std::string signature = std::string("0\r\nHEADER\r\n999\r\n") + JobFileTitle + "\r\n";
  return signature;
}

static_assert(std::endian::native == std::endian::little, "digits are put as little-endian words");

// The eight decimal digits of v (below 100,000,000) as one little-endian
// word, the first digit in the lowest byte, leading zeros kept.
uint64_t EightDigits(uint32_t v) {
  const uint64_t x = uint64_t(v / 10000) | uint64_t(v % 10000) << 32;    // abcd, efgh
  const uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007F0000007Full;  // ab, ef
  const uint64_t pairs = hundreds | (x - hundreds * 100) << 16;            // ab cd ef gh
  const uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;    // a, c, e, g
  return tens | (pairs - tens * 10) << 8;
}

// Writes the decimal text of value at p (as std::to_chars writes it; up to 8
// bytes behind it may be overwritten); the end of the text. The end is
// worked out from the value's size alone, so that the next number can be
// put while this one's digits are still being computed.
[[gnu::always_inline]] inline char* PutDecimal(char* p, int32_t value) {
  uint32_t v = uint32_t(value);
  if (value < 0) {
    *p++ = '-';
    v = 0u - v;
  }
  if (v < 10) {
    *p = char('0' + v);
    return p + 1;
  }
  if (v < 100) {
    // Layers and tools mostly.
    p[0] = char('0' + v / 10);
    p[1] = char('0' + v % 10);
    return p + 2;
  }
  if (v >= 100000000) {
    // At most 4,294,967,295: one or two digits in front of eight.
    const uint32_t high = v / 100000000;
    const uint64_t digits = EightDigits(v % 100000000) + 0x3030303030303030ull;
    const int32_t front = high >= 10 ? 2 : 1;
    if (front == 2) {
      p[0] = char('0' + high / 10);
      p[1] = char('0' + high % 10);
    } else {
      p[0] = char('0' + high);
    }
    std::memcpy(p + front, &digits, 8);
    return p + front + 8;
  }
  // Three to eight digits: the eight with their leading zeros, moved down
  // past the zeros.
  const int32_t count = 3 + (v >= 1000) + (v >= 10000) + (v >= 100000) + (v >= 1000000) +
                        (v >= 10000000);
  const uint64_t text = (EightDigits(v) >> (8 * (8 - count))) + 0x3030303030303030ull;
  std::memcpy(p, &text, 8);
  return p + count;
}

// PutDecimal for a value below 100 (a tool number mostly): the same text
// without a branch on its length, which tools of one and two digits mixed
// would have guessed wrong often. Up to 2 bytes behind p may be
// overwritten.
[[gnu::always_inline]] inline char* PutBelowHundred(char* p, uint32_t v) {
  const uint32_t two = v >= 10;
  const uint32_t tens = v * 103 >> 10;
  const uint32_t twoText = 0x3030u + tens + ((v - tens * 10) << 8);
  const uint32_t oneText = 0x30u + v;
  const uint32_t text = oneText ^ ((oneText ^ twoText) & (0u - two));
  std::memcpy(p, &text, 2);
  return p + 1 + two;
}

}  // namespace

// ---- TJobFileWriter ------------------------------------------------------------------

TJobFileWriter::TJobFileWriter(const std::string& fileName)
    : FileName_(fileName), File_(NativeSavePath(fileName)), Buffer_(new char[kBufferSize]) {
  if (!File_.Opened()) return;
  // What saves of this job left when they were cut short goes now; this
  // save's own file is held open and stays.
  RemoveStaleReplacingFiles(File_.Target(), JobFileSignature());
  Record("HEADER");
  TextField(999, JobFileTitle);
  // On the disk at once: a save cut short leaves a file that shows it is
  // one of the job's own.
  Flush();
}

TJobFileWriter::~TJobFileWriter() = default;

void TJobFileWriter::Yield() { ProcessMessagesInLoop(); }

void TJobFileWriter::Tick(int32_t ticks) {
  TickCounter_ += ticks;
  while (TickCounter_ > 50) {
    TickCounter_ -= 51;
    Yield();
  }
}

char* TJobFileWriter::Room(std::size_t size) {
  if (Used_ + size > kBufferSize) Flush();
  return Buffer_.get() + Used_;
}

void TJobFileWriter::Line(std::string_view text) {
  if (text.size() + 2 > kBufferSize) {
    // Longer than the buffer holds: written as it stands.
    Flush();
    if (File_.Opened()) {
      File_.Write(text.data(), text.size());
      File_.Write("\r\n", 2);
    }
    return;
  }
  char* p = Room(text.size() + 2);
  std::memcpy(p, text.data(), text.size());
  p[text.size()] = '\r';
  p[text.size() + 1] = '\n';
  Used_ += text.size() + 2;
}

void TJobFileWriter::Flush() {
  if (!File_.Opened() || Used_ == 0) return;
  File_.Write(Buffer_.get(), Used_);
  // The disk starts on a big file while the rest is formatted.
  Unsynced_ += Used_;
  if (Unsynced_ >= kWriteBackSize) {
    File_.StartWriteBack();
    Unsynced_ = 0;
  }
  Used_ = 0;
}

void TJobFileWriter::Record(std::string_view name) {
  // Record names are short: "0" and the name go in at once.
  char* p = Room(name.size() + 5);
  std::memcpy(p, "0\r\n", 3);
  std::memcpy(p + 3, name.data(), name.size());
  std::memcpy(p + 3 + name.size(), "\r\n", 2);
  Used_ += name.size() + 5;
  Tick();
}

void TJobFileWriter::FieldAlways(int32_t code, int32_t value) {
  // Two numbers of at most 11 characters, each with its line end; the
  // digits are put eight at a time, so there is room for 8 more.
  char* const start = Room(34);
  char* p = start;
  if (uint32_t(code) < 100) {
    // Group codes have one or two digits.
    if (code >= 10) *p++ = char('0' + code / 10);
    *p++ = char('0' + code % 10);
  } else {
    p = PutDecimal(p, code);
  }
  *p++ = '\r';
  *p++ = '\n';
  p = PutDecimal(p, value);
  *p++ = '\r';
  *p++ = '\n';
  Used_ += std::size_t(p - start);
  Tick();
}

void TJobFileWriter::Field(int32_t code, int32_t value) {
  if (value != 0) FieldAlways(code, value);
}

void TJobFileWriter::TextField(int32_t code, const std::string& value) {
  char digits[12];
  const char* end = std::to_chars(digits, digits + sizeof digits, code).ptr;
  Line(std::string_view(digits, std::size_t(end - digits)));
  Line(value);
  Tick();
}

void TJobFileWriter::EntityText(const std::string& text) {
  if (JobTextNeedsEscape(text))
    TextField(kJobEscapedTextGroup, EscapeJobText(text));
  else
    TextField(kJobTextGroup, text);
}

void TJobFileWriter::CloseStepList() {
  if (StepListClosed_) return;
  Record("M08");
  Record("ENDSTEPLIST");
  StepListClosed_ = true;
}

void TJobFileWriter::BeginSection(TSection section, const char* name) {
  if (Section_ == section) return;
  CloseStepList();
  Record("ENDSEC");
  Record(name);
  Section_ = section;
}

int TJobFileWriter::Finish() {
  if (!File_.Opened()) return File_.Error();
  CloseStepList();
  Record("ENDSEC");
  Record("EOF");
  Flush();
  Finished_ = true;
  return File_.Close();
}

int TJobFileWriter::Commit(const std::string& backupName, int* backupError, std::string* keptAs) {
  if (backupError != nullptr) *backupError = 0;
  if (keptAs != nullptr) keptAs->clear();
  if (!Finished_ || File_.Opened()) return File_.Error() != 0 ? File_.Error() : EBADF;
  if (File_.Error() != 0) return File_.Error();
  const std::string& target = File_.Target();
  // The previous version waits under a temporary name beside the backup
  // until the new file is in place: a failure on the way leaves both the
  // job file and an older backup as they were.
  std::unique_ptr<TPendingCopy> backup;
  struct stat st;
  if (!backupName.empty() && ::stat(target.c_str(), &st) == 0) {
    const std::string backupPath = NativeSavePath(backupName);
    // A backup under the target's own name would remove the job itself.
    if (backupPath == target) return EINVAL;
    RemoveStaleReplacingFiles(backupPath, JobFileSignature());
    backup = std::make_unique<TPendingCopy>(target, backupPath);
    if (const int e = backup->Error()) return e;
  }
  if (const int e = File_.Commit()) return e;
  // The job is saved. Should the backup fail to take its name now (a folder
  // of that name, say), the previous version is kept under another name and
  // the caller is told which.
  if (backup != nullptr) {
    const int e = backup->Commit();
    if (backupError != nullptr) *backupError = e;
    if (e != 0) {
      std::string kept;
      backup->KeepUnderFreeName(kept);
      if (keptAs != nullptr) *keptAs = kept;
    }
  }
  return 0;
}

// ---- Records ---------------------------------------------------------------------------

void TJobFileWriter::WritePoint(int32_t x, int32_t y, int32_t layer) {
  BeginEntities();
  Record("POINT");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
}

void TJobFileWriter::WriteLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t layer) {
  BeginEntities();
  Record("LINE");
  Field(8, layer);
  Field(10, x1);
  Field(11, x2);
  Field(20, y1);
  Field(21, y2);
}

void TJobFileWriter::WriteArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3,
                              int32_t y3, int32_t layer) {
  BeginEntities();
  Record("ARC");
  Field(8, layer);
  Field(10, x1);
  Field(11, x2);
  Field(12, x3);
  Field(20, y1);
  Field(21, y2);
  Field(22, y3);
}

void TJobFileWriter::WriteCircle(int32_t x, int32_t y, int32_t radius, int32_t layer) {
  BeginEntities();
  Record("CIRCLE");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  FieldAlways(40, radius);
}

void TJobFileWriter::WriteDrillHole(int32_t x, int32_t y, int32_t layer, int32_t stepId,
                                    int32_t tool) {
  BeginEntities();
  // A job holds holes by the hundred thousand: the record goes into the
  // buffer in one piece, the same text and ticks as Record and the Field
  // calls give (fields of value 0 but the tool left out).
  char* const start = Room(kHoleRecordRoom);
  char* p = start;
  std::memcpy(p, "0\r\nDRILLHOLE\r\n", 14);
  p += 14;
  int32_t ticks = 1;
  auto put = [&](const char* code, std::size_t codeSize, int32_t value) {
    std::memcpy(p, code, codeSize);
    p = PutDecimal(p + codeSize, value);
    std::memcpy(p, "\r\n", 2);
    p += 2;
    ++ticks;
  };
  if (uint32_t(layer) < 10) {
    // A drill layer: "8" and its one digit with their line ends, put
    // whatever the layer and kept unless it is 0. Layers alternate from
    // hole to hole: a branch on the layer would be guessed wrong often.
    const uint64_t field = 0x0A0D300A0D38ull | uint64_t(uint32_t(layer)) << 24;
    std::memcpy(p, &field, 8);
    p += layer != 0 ? 6 : 0;
    ticks += layer != 0;
  } else {
    put("8\r\n", 3, layer);
  }
  if (x != 0) put("10\r\n", 4, x);
  if (y != 0) put("20\r\n", 4, y);
  if (uint32_t(tool) < 100) {
    std::memcpy(p, "50\r\n", 4);
    p = PutBelowHundred(p + 4, uint32_t(tool));
    std::memcpy(p, "\r\n", 2);
    p += 2;
    ++ticks;
  } else {
    put("50\r\n", 4, tool);
  }
  if (stepId != 0) put("52\r\n", 4, stepId);
  Used_ += std::size_t(p - start);
  Tick(ticks);
}

void TJobFileWriter::WriteDrillSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t layer, int32_t stepId, int32_t tool) {
  BeginEntities();
  Record("DRILLSLOT");
  Field(8, layer);
  Field(10, x1);
  Field(11, x2);
  Field(20, y1);
  Field(21, y2);
  FieldAlways(50, tool);
  Field(52, stepId);
}

void TJobFileWriter::WriteDrillCircle(int32_t x, int32_t y, int32_t radius, int32_t layer,
                                      int32_t stepId, int32_t tool) {
  BeginEntities();
  Record("DRILLCIRCLE");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  FieldAlways(40, radius);
  FieldAlways(50, tool);
  Field(52, stepId);
}

void TJobFileWriter::WriteDrillText(int32_t x, int32_t y, const std::string& text,
                                    bool vertical, int32_t layer, int32_t stepId, int32_t tool) {
  BeginEntities();
  Record("DRILLTEXT");
  EntityText(text);
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  Field(44, vertical ? 1 : 0);
  FieldAlways(50, tool);
  Field(52, stepId);
}

void TJobFileWriter::WriteRoutHole(int32_t x, int32_t y, int32_t layer, int32_t stepId,
                                   int32_t tool) {
  BeginEntities();
  Record("ROUTHOLE");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  FieldAlways(50, tool);
  Field(52, stepId);
}

void TJobFileWriter::WriteRoutJog(int32_t x, int32_t y, int32_t layer, int32_t compSide,
                                  int32_t tool, int32_t compIndex, int32_t stepId) {
  BeginEntities();
  Record("ROUTJOG");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  FieldAlways(43, compSide);
  FieldAlways(50, tool);
  FieldAlways(51, compIndex);
  Field(52, stepId);
}

void TJobFileWriter::WriteRoutLine(int32_t x, int32_t y, int32_t layer, int32_t feed,
                                   int32_t zOffset) {
  BeginEntities();
  Record("ROUTLINE");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  Field(61, feed);
  Field(63, zOffset);
}

void TJobFileWriter::WriteRoutArc(int32_t x, int32_t y, int32_t cx, int32_t cy, bool clockwise,
                                  int32_t layer, int32_t feed, int32_t zOffset) {
  BeginEntities();
  Record("ROUTARC");
  Field(8, layer);
  Field(10, x);
  Field(11, cx);
  Field(20, y);
  Field(21, cy);
  Field(42, clockwise ? 1 : 0);
  Field(61, feed);
  Field(63, zOffset);
}

void TJobFileWriter::WriteRoutCircle(int32_t x, int32_t y, int32_t radius, bool g32,
                                     int32_t tool, int32_t compIndex, int32_t stepId,
                                     int32_t feed, int32_t zOffset, int32_t layer) {
  BeginEntities();
  Record("ROUTCIRCLE");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  FieldAlways(40, radius);
  Field(42, g32 ? 1 : 0);
  FieldAlways(50, tool);
  FieldAlways(51, compIndex);
  Field(52, stepId);
  Field(61, feed);
  Field(63, zOffset);
}

void TJobFileWriter::WriteRoutCommand(int32_t x, int32_t y, const std::string& text,
                                      int32_t holdOff, int32_t layer, int32_t stepId) {
  BeginEntities();
  Record("ROUTCOMMAND");
  EntityText(text);
  Field(8, layer);
  Field(10, x);
  Field(20, y);
  Field(45, holdOff);
  Field(52, stepId);
}

void TJobFileWriter::WriteDrillTool(int32_t tool, int32_t diameter, int32_t feed, int32_t speed,
                                    int32_t zOffset, int32_t maxHits, bool firstLastHit) {
  BeginToolSection();
  Record("TOOL");
  FieldAlways(50, tool);
  FieldAlways(60, diameter);
  FieldAlways(61, feed);
  FieldAlways(62, speed);
  FieldAlways(63, zOffset);
  FieldAlways(64, maxHits);
  FieldAlways(65, firstLastHit ? 1 : 0);
}

void TJobFileWriter::WriteRoutTool(int32_t layer, int32_t tool, int32_t diameter,
                                   int32_t highFeed, int32_t lowFeed, int32_t zOffset) {
  BeginToolSection();
  Record("TOOL");
  TextField(8, "R" + std::to_string(layer));
  FieldAlways(50, tool);
  FieldAlways(60, diameter);
  FieldAlways(61, highFeed);
  FieldAlways(63, zOffset);
  FieldAlways(66, lowFeed);
}

void TJobFileWriter::WriteCompIndex(int32_t layer, int32_t tool, int32_t value) {
  BeginToolSection();
  Record("COMPINDEX");
  TextField(8, "R" + std::to_string(layer));
  FieldAlways(51, tool);
  FieldAlways(63, value);
}

void TJobFileWriter::WriteDrillG93(int32_t x, int32_t y) {
  BeginEntities();
  Record("DRILLG93");
  Field(10, x);
  Field(20, y);
}

void TJobFileWriter::WriteRoutG93(int32_t x, int32_t y, int32_t layer) {
  BeginEntities();
  Record("ROUTG93");
  Field(8, layer);
  Field(10, x);
  Field(20, y);
}

void TJobFileWriter::WriteStepListStart() {
  BeginStepSection();
  Record("STEPLIST");
  StepListClosed_ = false;
}

void TJobFileWriter::WriteStepMark(int32_t count) {
  BeginStepSection();
  Record("M01");
  if (count > 1) FieldAlways(70, count);
}

void TJobFileWriter::WriteStep(int32_t dx, int32_t dy, int32_t count, int32_t orientation) {
  BeginStepSection();
  Record("M02");
  Field(10, dx);
  Field(20, dy);
  FieldAlways(70, count < 1 ? 1 : count);
  FieldAlways(71, orientation);
}

void TJobFileWriter::WriteStepListEnd(int32_t id, int32_t nestedId) {
  BeginStepSection();
  Record("M08");
  Field(52, id);
  FieldAlways(53, nestedId);
  Record("ENDSTEPLIST");
  StepListClosed_ = true;
}

// ---- The job writer ------------------------------------------------------------------------

namespace {

// Step ids: each step object an entity uses, then its outer levels, numbered
// 1, 2, 3, ... in the order they are met.
class TStepIdTable {
 public:
  void Register(TStepObject* object) {
    if (object == nullptr || Ids_.count(object) != 0) return;
    Ids_[object] = int32_t(Order_.size()) + 1;
    Order_.push_back(object);
  }
  void RegisterChain(TStepObject* object) {
    if (object == nullptr) return;
    Register(object);
    Register(object->GetLevel(2));
    Register(object->GetLevel(3));
  }
  int32_t IdOf(TStepObject* object) const {
    if (object == nullptr) return 0;
    auto it = Ids_.find(object);
    return it == Ids_.end() ? 0 : it->second;
  }
  const std::vector<TStepObject*>& Order() const { return Order_; }

 private:
  std::unordered_map<TStepObject*, int32_t> Ids_;
  std::vector<TStepObject*> Order_;
};

bool IsStepCarrier(uint8_t type) {
  return type == etRoutJog || type == etRoutCircle || type == etRoutHole || type == etRoutCommand;
}

// Every step object a save writes, in the order the entities meet them:
// rout, then drill.
void RegisterJobSteps(TStepIdTable& ids);

// Every live rout entity of the layer in cut order, whatever the layer's
// display state.
template <class F>
void ForEachRoutEntity(uint8_t layer, F&& f) {
  if (Seq == nullptr || RoutEntities == nullptr) return;
  const uint32_t bit = NCLayerBit(layer);
  const int32_t count = Seq->Count(layer);
  for (int32_t p = 1; p <= count; ++p) {
    const int32_t h = Seq->HandleAt(layer, p);
    const uint32_t flags = RoutSlotFlags(h);
    if (SlotDeleted(flags) || !SlotHasBit(flags, bit)) continue;
    if (TRoutEntity* e = RoutEntityAt(h)) f(e);
  }
}

// Every live drill entity in store order with its layer (the lowest drill
// layer bit, bits 0..9, names it), the slots read a page at a time.
template <class F>
void ForEachLiveDrillEntity(F&& f) {
  if (DrillEntities == nullptr) return;
  constexpr int32_t PageSlots = TDrillEntities::PageSlots;
  for (int32_t first = 1; first <= DrillEntityCount; first += PageSlots) {
    const TEntitySlot* page = DrillEntities->GetSlot(first);
    if (page == nullptr) return;
    const int32_t n = std::min(PageSlots, DrillEntityCount - first + 1);
    for (int32_t k = 0; k < n; ++k) {
      const uint32_t flags = page[k].Flags;
      const uint32_t bits = flags & 0x3FFu;
      if (static_cast<int32_t>(flags) <= 0 || bits == 0) continue;
      // The drill store holds drill entities only.
      f(static_cast<TDrillEntity*>(page[k].Entity), std::countr_zero(bits));
    }
  }
}

void WriteRoutEntity(TJobFileWriter& w, TRoutEntity* e, int32_t layer, const TStepIdTable& ids) {
  const int32_t stepId = IsStepCarrier(e->Type) ? ids.IdOf(e->GetStepObj()) : 0;
  switch (e->Type) {
    case etRoutJog:
      w.WriteRoutJog(e->X, e->Y, layer, e->GetComp(), e->GetToolNumber(), e->GetCompIndex(),
                     stepId);
      break;
    case etRoutLine:
      w.WriteRoutLine(e->X, e->Y, layer, e->GetFeedRate(), e->GetZOffset());
      break;
    case etRoutArc:
    case etRoutArcReverse: {
      TIntPoint c;
      e->GetSecondPoint(c);
      w.WriteRoutArc(e->X, e->Y, c.X, c.Y, e->Type == etRoutArcReverse, layer, e->GetFeedRate(),
                     e->GetZOffset());
      break;
    }
    case etRoutCircle:
      w.WriteRoutCircle(e->X, e->Y, e->GetRadius(), e->IsAG32(), e->GetToolNumber(),
                        e->GetCompIndex(), stepId, e->GetFeedRate(), e->GetZOffset(), layer);
      break;
    case etRoutHole:
      w.WriteRoutHole(e->X, e->Y, layer, stepId, e->GetToolNumber());
      break;
    case etRoutCommand: {
      std::string text;
      e->GetString(text);
      w.WriteRoutCommand(e->X, e->Y, text, e->GetHoldOff(), layer, stepId);
      break;
    }
    default:
      break;
  }
}

void WriteDrillEntity(TJobFileWriter& w, TDrillEntity* e, int32_t layer, const TStepIdTable& ids) {
  const int32_t stepId = e->StepObj != nullptr ? ids.IdOf(e->StepObj) : 0;
  switch (e->GetType()) {
    case etDrillHole:
      w.WriteDrillHole(e->X, e->Y, layer, stepId, e->Tool);
      break;
    case etDrillSlot: {
      TIntPoint p2;
      e->GetSecondPoint(p2);
      w.WriteDrillSlot(e->X, e->Y, p2.X, p2.Y, layer, stepId, e->Tool);
      break;
    }
    case etDrillCircle:
      w.WriteDrillCircle(e->X, e->Y, e->GetRadius(), layer, stepId, e->Tool);
      break;
    case etDrillText: {
      std::string text;
      e->GetString(text);
      w.WriteDrillText(e->X, e->Y, text, e->GetVertical(), layer, stepId, e->Tool);
      break;
    }
    default:
      break;
  }
}

// Every live drill entity in store order. A job holds holes by the million:
// each record is written in place, without a call.
[[gnu::flatten]] void WriteDrillEntities(TJobFileWriter& w, const TStepIdTable& ids) {
  ForEachLiveDrillEntity(
      [&](TDrillEntity* e, int32_t layer) { WriteDrillEntity(w, e, layer, ids); });
}

void WriteCadEntity(TJobFileWriter& w, TRootDBObject* e, int32_t layer) {
  TIntPoint p1, p2, p3;
  switch (e->GetType()) {
    case etCadPoint:
      e->GetPoint(p1);
      w.WritePoint(p1.X, p1.Y, layer);
      break;
    case etCadLine:
      e->GetPoint(p1);
      e->GetSecondPoint(p2);
      w.WriteLine(p1.X, p1.Y, p2.X, p2.Y, layer);
      break;
    case etCadArc:
      e->GetPoint(p1);
      e->GetSecondPoint(p2);
      e->GetThirdPoint(p3);
      w.WriteArc(p1.X, p1.Y, p2.X, p2.Y, p3.X, p3.Y, layer);
      break;
    case etCadCircle:
      e->GetPoint(p1);
      w.WriteCircle(p1.X, p1.Y, e->GetRadius(), layer);
      break;
    default:
      break;
  }
}

void RegisterJobSteps(TStepIdTable& ids) {
  for (uint8_t layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer)
    ForEachRoutEntity(layer, [&](TRoutEntity* e) {
      if (IsStepCarrier(e->Type)) ids.RegisterChain(e->GetStepObj());
    });
  ForEachLiveDrillEntity([&](TDrillEntity* e, int32_t) {
    if (e->StepObj != nullptr) ids.RegisterChain(e->StepObj);
  });
}

}  // namespace

int64_t StepObjectWork(const TStepObject& object) {
  std::size_t commands = 0;
  for (const TStepObject* s = &object; s != nullptr; s = s->Nested()) commands += s->Commands().size();
  return StepChainWork(commands, object.Offsets().size());
}

namespace {
// The commands and copies of the registered step objects.
int64_t StepWorkOf(const TStepIdTable& ids, bool* whole) {
  int64_t work = 0;
  for (const TStepObject* object : ids.Order()) {
    work += StepObjectWork(*object);
    if (whole != nullptr && !object->Whole()) *whole = false;
  }
  return work;
}
}  // namespace

int64_t JobStepWork(bool* whole) {
  TStepIdTable ids;
  RegisterJobSteps(ids);
  if (whole != nullptr) *whole = true;
  return StepWorkOf(ids, whole);
}

std::string JobStepWorkText(int64_t work) {
  auto grouped = [](int64_t n) { return IntToStrGrouped(int32_t(std::min<int64_t>(n, INT32_MAX))); };
  return "The job's step patterns come to " + grouped(work) +
         " commands and copies; a job file holds at most " + grouped(JobStepWorkLimit()) + ".";
}

TPatternTake TakePatternLevel(TStepObject* chain, TStepObject* pattern, int64_t& jobWork,
                              std::unordered_set<const TStepObject*>& counted, int64_t* jobDrawn,
                              const std::vector<TIntPoint>* points) {
  if (chain != nullptr && chain->LevelCount() + pattern->LevelCount() > kMaxStepLevels)
    return TPatternTake::TooDeep;
  const TStepObject* made = pattern;
  if (chain != nullptr) {
    TQuietStepExpansion quiet;
    made = chain->AppendLevel(pattern);
  }
  if (made == nullptr || !made->ChainWhole()) return TPatternTake::CannotExpand;
  if (points != nullptr)
    for (const TIntPoint& p : *points)
      if (!made->CopiesInRange(p)) return TPatternTake::CannotExpand;
  std::vector<const TStepObject*> levels;
  int64_t work = 0;
  for (const TStepObject* s = made; s != nullptr; s = s->Nested())
    if (counted.count(s) == 0) {
      levels.push_back(s);
      work += StepObjectWork(*s);
    }
  if (jobWork + work > JobStepWorkLimit()) return TPatternTake::PastBound;
  const int64_t drawn = int64_t(made->Offsets().size()) - (chain != nullptr ? int64_t(chain->Offsets().size()) : 0);
  if (jobDrawn != nullptr && *jobDrawn + drawn > JobDrawnCopiesLimit()) return TPatternTake::PastDrawnCopies;
  if (jobDrawn != nullptr) *jobDrawn += drawn;
  jobWork += work;
  counted.insert(levels.begin(), levels.end());
  return TPatternTake::Taken;
}

std::string StepPatternCannotExpandText() {
  return "The step pattern would make more than " + IntToStrGrouped(kMaxStepCopies) +
         " copies or move outside the coordinate range.";
}

namespace {

// Each entity's step chain (the object it holds), rout then drill.
template <class F>
void ForEachJobChain(F&& f) {
  for (uint8_t layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer)
    ForEachRoutEntity(layer, [&](TRoutEntity* e) {
      if (IsStepCarrier(e->Type) && e->GetStepObj() != nullptr) f(e->GetStepObj());
    });
  ForEachLiveDrillEntity([&](TDrillEntity* e, int32_t) {
    if (e->StepObj != nullptr) f(e->StepObj);
  });
}

// The chain each entity is drawn with, once per entity, as the job file
// reader counts them: a rout path's lines and arcs with the chain of the
// last jog before them on their layer; entities drawn without one are
// left out.
template <class F>
void ForEachDrawnEntity(F&& f) {
  for (uint8_t layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) {
    TStepObject* path = nullptr;
    ForEachRoutEntity(layer, [&](TRoutEntity* e) {
      TStepObject* chain = nullptr;
      if (e->Type == etRoutJog)
        chain = path = e->GetStepObj();
      else if (e->Type == etRoutLine || IsArcType(e->Type))
        chain = path;
      else if (IsStepCarrier(e->Type))
        chain = e->GetStepObj();
      if (chain != nullptr) f(chain, e, static_cast<TDrillEntity*>(nullptr));
    });
  }
  ForEachLiveDrillEntity([&](TDrillEntity* e, int32_t) {
    if (e->StepObj != nullptr) f(e->StepObj, static_cast<TRoutEntity*>(nullptr), e);
  });
}

template <class F>
void ForEachDrawnChain(F&& f) {
  ForEachDrawnEntity([&](TStepObject* chain, TRoutEntity*, TDrillEntity*) { f(chain); });
}

// The points a rout entity's copies are made of, as the job file reader
// looks at them: its own, and an arc's centre.
std::vector<TIntPoint> RoutStepPoints(TRoutEntity& e) {
  std::vector<TIntPoint> points{{e.X, e.Y}};
  if (IsArcType(e.Type)) e.GetSecondPoint(points.emplace_back());
  return points;
}

// Each stepped entity's chain with the points its copies are made of (a
// drill entity's StepPoints). Only the chains wanted are given.
template <class W, class F>
void ForEachSteppedPoints(W&& want, F&& f) {
  ForEachDrawnEntity([&](TStepObject* chain, TRoutEntity* r, TDrillEntity* d) {
    if (want(chain)) f(chain, d != nullptr ? d->StepPoints() : RoutStepPoints(*r));
  });
}

// Each live line and arc the jog at the handle starts on its layer, up to
// the next jog; nothing for any other start.
template <class F>
void ForEachPathMove(int32_t handle, F&& f) {
  const TRoutEntity* start = RoutEntityAt(handle);
  if (start == nullptr || start->Type != etRoutJog || Seq == nullptr) return;
  uint8_t layer = 0;
  const int32_t position = Seq->FindHandle(handle, layer);
  if (position == 0) return;
  const uint32_t bit = NCLayerBit(layer);
  for (int32_t p = position + 1; p <= Seq->Count(layer); ++p) {
    const int32_t h = Seq->HandleAt(layer, p);
    const uint32_t flags = RoutSlotFlags(h);
    if (SlotDeleted(flags) || !SlotHasBit(flags, bit)) continue;
    TRoutEntity* e = RoutEntityAt(h);
    if (e == nullptr) continue;
    if (e->Type == etRoutJog) break;
    if (e->Type == etRoutLine || IsArcType(e->Type)) f(*e);
  }
}

int64_t CopiesOf(const TStepObject* chain) { return chain != nullptr ? int64_t(chain->Offsets().size()) : 0; }

bool TakesDrawnCopies(int64_t copies, const char* refused) {
  if (copies <= JobDrawnCopiesLimit()) return true;
  ErrorBox(JobDrawnCopiesText(copies) + "\r\n" + refused);
  return false;
}

// How many entities draw with entry i of chains (see JobStepsTakePattern).
int64_t DrawnAt(const std::vector<int64_t>& drawn, std::size_t i) { return i < drawn.size() ? drawn[i] : 1; }

// The entities holding each chain, less one for each entry of leaving (the
// chains of the entities an edit gives new ones).
std::unordered_map<TStepObject*, int64_t> ChainUsers(const std::vector<TStepObject*>& leaving) {
  std::unordered_map<TStepObject*, int64_t> users;
  ForEachJobChain([&](TStepObject* chain) { ++users[chain]; });
  for (TStepObject* chain : leaving)
    if (chain != nullptr) --users[chain];
  return users;
}

// The chains some entity still holds, registered with their levels.
void RegisterHeld(const std::unordered_map<TStepObject*, int64_t>& users, TStepIdTable& ids) {
  for (const auto& [chain, n] : users)
    if (n > 0) ids.RegisterChain(chain);
}

// The status box of a count that takes more than a moment, with its Cancel.
class TStepCountWait {
 public:
  ~TStepCountWait() {
    if (open_) ViewServices().CloseStatus();
  }
  // True when the user cancelled; done of total (in commands and copies
  // counted, or chains looked up) tells how far the count is. The clock is
  // read every kLookEvery of them.
  bool Cancelled(int64_t done, int64_t total) {
    if (done - lookedAt_ < kLookEvery) return false;
    lookedAt_ = done;
    if (!open_) {
      if (GetTickCount() - start_ < kShowAfterMs) return false;
      ViewServices().OpenStatus(kText);
      open_ = true;
    }
    bool cancelled = false;
    const int32_t percent = total > 0 ? int32_t(std::min<int64_t>(100, done * 100 / total)) : 0;
    ViewServices().UpdateStatus(kText, percent, cancelled);
    return cancelled;
  }

 private:
  static constexpr int64_t kLookEvery = 4096;
  static constexpr uint32_t kShowAfterMs = 500;
  static constexpr const char* kText = "Counting the job's step patterns...";
  uint32_t start_ = GetTickCount();
  int64_t lookedAt_ = 0;
  bool open_ = false;
};

// The commands and copies of a chain made of these commands, and whether
// it expands whole.
int64_t ExpandedWork(const TStepCommandList& chain, bool& whole, int64_t* copies = nullptr) {
  TStepCommandList offsets;
  int32_t position = 0;
  whole = chain.empty() || ExpandStepList(false, chain, offsets, position);
  if (copies != nullptr) *copies = int64_t(offsets.size());
  return StepChainWork(chain.size(), offsets.size());
}

// Whether a level of the chain has a step of a turned or mirrored copy.
bool HasOrientedSteps(const TStepObject& chain) {
  for (const TStepObject* s = &chain; s != nullptr; s = s->Nested())
    for (const TStepCommand& c : s->Commands())
      if (c.Command == 0 && c.Orientation >= 1 && c.Orientation <= 7) return true;
  return false;
}

bool TakesWork(int64_t work, const char* refused) {
  if (work <= JobStepWorkLimit()) return true;
  ErrorBox(JobStepWorkText(work) + "\r\n" + refused);
  return false;
}

bool RefuseUnexpandable(const char* refused) {
  ErrorBox(StepPatternCannotExpandText() + "\r\n" + refused);
  return false;
}

// Whether every copy the chain makes of the points lies inside the
// coordinate range, as the job file reader asks of an entity's chain.
bool CopiesInRangeAt(const TStepObject& chain, const std::vector<TIntPoint>& points) {
  for (const TIntPoint& p : points)
    if (!chain.CopiesInRange(p)) return false;
  return true;
}

}  // namespace

int64_t JobDrawnCopies() {
  int64_t copies = 0;
  ForEachDrawnChain([&](const TStepObject* chain) { copies += CopiesOf(chain); });
  return copies;
}

int64_t RoutStartDrawn(int32_t handle) {
  int64_t drawn = 1;
  ForEachPathMove(handle, [&](TRoutEntity&) { ++drawn; });
  return drawn;
}

std::vector<TIntPoint> RoutStartReach(int32_t handle) {
  TRoutEntity* start = RoutEntityAt(handle);
  if (start == nullptr) return {};
  std::vector<TIntPoint> points{{start->X, start->Y}};
  ForEachPathMove(handle, [&](TRoutEntity& e) {
    const std::vector<TIntPoint> own = RoutStepPoints(e);
    points.insert(points.end(), own.begin(), own.end());
  });
  return points;
}

std::string JobDrawnCopiesText(int64_t copies) {
  return "The job's stepped entities would come to " + Int64ToStrGrouped(copies) +
         " copies; a job file holds at most " + Int64ToStrGrouped(JobDrawnCopiesLimit()) + ".";
}

bool JobDrawnCopiesTakeChains(const std::vector<TStepObject*>& chains, const std::vector<int64_t>& drawn,
                              const TStepObject* pattern, const char* refused,
                              const std::vector<std::vector<TIntPoint>>& reach) {
  if (pattern != nullptr)
    for (const std::vector<TIntPoint>& points : reach)
      if (!CopiesInRangeAt(*pattern, points)) return RefuseUnexpandable(refused);
  int64_t change = 0;
  for (std::size_t i = 0; i < chains.size(); ++i)
    change += DrawnAt(drawn, i) * (CopiesOf(pattern) - CopiesOf(chains[i]));
  return change <= 0 || TakesDrawnCopies(JobDrawnCopies() + change, refused);
}

bool JobStepsTakePattern(const std::vector<TStepObject*>& chains, const TStepObject& pattern,
                         const std::vector<int64_t>& drawn, const std::vector<std::vector<TIntPoint>>& reach) {
  const char* refused = "The step pattern was not made.";
  if (!pattern.ChainWhole()) return RefuseUnexpandable(refused);
  // What the job holds after the edit: the chains the changed entities let
  // go of count only where other entities keep them. Every level of a
  // changed chain becomes an object with the pattern as its outermost level
  // (shared by the chains that shared the level), and the pattern's own
  // levels end each new chain.
  TStepIdTable ids;
  RegisterHeld(ChainUsers(chains), ids);
  int64_t work = StepWorkOf(ids, nullptr);
  for (const TStepObject* s = &pattern; s != nullptr; s = s->Nested()) work += StepObjectWork(*s);
  const TStepCommandList outer = pattern.FlattenCommands();
  // The copies of the chain each level becomes, for the drawn copies.
  std::unordered_map<const TStepObject*, int64_t> made;
  TStepCountWait wait;
  int64_t done = 0;
  for (const TStepObject* chain : chains) {
    for (const TStepObject* s = chain; s != nullptr && made.count(s) == 0; s = s->Nested()) {
      TStepCommandList all = s->FlattenCommands();
      all.insert(all.end(), outer.begin(), outer.end());
      bool whole = true;
      work += ExpandedWork(all, whole, &made[s]);
      if (!whole) return RefuseUnexpandable(refused);
    }
    done += kMaxStepCopies;
    if (wait.Cancelled(done, int64_t(chains.size()) * kMaxStepCopies)) return false;
  }
  // Each entity's copies stay inside the coordinate range with the chain
  // it gets.
  {
    TQuietStepExpansion quiet;
    std::unordered_map<const TStepObject*, std::unique_ptr<TStepObject>> got;
    for (std::size_t i = 0; i < chains.size() && i < reach.size(); ++i) {
      const TStepObject* chain = &pattern;
      if (chains[i] != nullptr) {
        std::unique_ptr<TStepObject>& own = got[chains[i]];
        if (own == nullptr) {
          TStepCommandList all = chains[i]->FlattenCommands();
          all.insert(all.end(), outer.begin(), outer.end());
          own = std::make_unique<TStepObject>(std::move(all));
        }
        chain = own.get();
      }
      if (!CopiesInRangeAt(*chain, reach[i])) return RefuseUnexpandable(refused);
    }
  }
  if (!TakesWork(work, refused)) return false;
  int64_t change = 0;
  for (std::size_t i = 0; i < chains.size(); ++i) {
    const int64_t copies = chains[i] != nullptr ? made[chains[i]] : CopiesOf(&pattern);
    change += DrawnAt(drawn, i) * (copies - CopiesOf(chains[i]));
  }
  return change <= 0 || TakesDrawnCopies(JobDrawnCopies() + change, refused);
}

bool JobStepsTakeTransforms(const std::vector<TStepObject*>& chains, int64_t count,
                            const std::function<TMatrix3(int64_t)>& matrixAt, bool copy,
                            const std::vector<int64_t>& drawn, const std::vector<std::vector<TIntPoint>>& reach) {
  std::vector<TStepObject*> distinct;
  {
    std::unordered_set<TStepObject*> seen;
    for (TStepObject* chain : chains)
      if (chain != nullptr && seen.insert(chain).second) distinct.push_back(chain);
  }
  if (distinct.empty() || count <= 0) return true;
  // The entities using each chain, after the edit: a moved entity lets go of
  // its chain; each copy or move takes the chain transformed, one object per
  // chain and matrix (TStepObject::Transformed). A result made before (a
  // copy made twice by the same matrix) is counted as the object it is; a
  // new one costs what its chain costs, and is not made here.
  std::unordered_map<TStepObject*, int64_t> users = ChainUsers(copy ? std::vector<TStepObject*>{} : chains);
  // A chain never moved before makes a new object for every matrix: its
  // work counts count times at once. Only the others look up each matrix.
  int64_t added = 0;
  std::vector<std::pair<TStepObject*, int64_t>> moved;
  for (TStepObject* chain : distinct) {
    TStepIdTable own;
    own.RegisterChain(chain);
    const int64_t work = StepWorkOf(own, nullptr);
    if (chain->HasTransforms())
      moved.emplace_back(chain, work);
    else
      added += work * count;
  }
  TStepCountWait wait;
  for (int64_t k = 0; k < count && !moved.empty(); ++k) {
    const TMatrix3 m = matrixAt(k);
    for (const auto& [chain, work] : moved) {
      if (TStepObject* made = chain->TransformedBefore(m))
        users[made] += 1;
      else
        added += work;
    }
    if (wait.Cancelled((k + 1) * int64_t(moved.size()), count * int64_t(moved.size()))) return false;
  }
  TStepIdTable ids;
  RegisterHeld(users, ids);
  const int64_t work = StepWorkOf(ids, nullptr) + added;
  if (!TakesWork(work, "Nothing was changed.")) return false;
  // A copy draws each copied entity's pattern count times more; a move
  // keeps the copies (a chain transformed makes as many).
  if (copy) {
    int64_t copied = 0;
    for (std::size_t i = 0; i < chains.size(); ++i) copied += DrawnAt(drawn, i) * CopiesOf(chains[i]);
    if (copied > 0 && !TakesDrawnCopies(JobDrawnCopies() + copied * count, "Nothing was changed."))
      return false;
  }
  // A step of a turned or mirrored copy moves with the matrix (see
  // OrientOffset), and may take the pattern's copies out of the coordinate
  // range: such chains are transformed here, as the edit would, and looked
  // at. The edit takes the results made.
  for (TStepObject* chain : distinct) {
    if (!HasOrientedSteps(*chain)) continue;
    for (int64_t k = 0; k < count; ++k) {
      TQuietStepExpansion quiet;
      const TStepObject* made = chain->Transformed(matrixAt(k));
      if (made != nullptr && !made->ChainWhole()) return RefuseUnexpandable("Nothing was changed.");
    }
  }
  // Every copy of an entity moved stays inside the coordinate range. A
  // chain without such steps makes the same copies wherever it goes; an
  // entity that would itself leave the drawing area stays where it is.
  std::vector<bool> oriented(chains.size());
  for (std::size_t i = 0; i < chains.size(); ++i) oriented[i] = chains[i] != nullptr && HasOrientedSteps(*chains[i]);
  TQuietStepExpansion quiet;
  for (int64_t k = 0; k < count; ++k) {
    const TMatrix3 m = matrixAt(k);
    for (std::size_t i = 0; i < chains.size() && i < reach.size(); ++i) {
      if (chains[i] == nullptr) continue;
      const TStepObject* made = oriented[i] ? chains[i]->Transformed(m) : chains[i];
      if (made == nullptr) continue;
      for (const TIntPoint& p : reach[i]) {
        double x = 0, y = 0;
        TRootDBObject::TransformPoint(p.X, p.Y, m.M, x, y);
        if (TRootDBObject::InRange(x, y) &&
            !made->CopiesInRange({int32_t(std::nearbyint(x)), int32_t(std::nearbyint(y))}))
          return RefuseUnexpandable("Nothing was changed.");
      }
    }
  }
  return true;
}

bool JobStepsTakeEdit(TStepObject* const old[3], const bool changed[3],
                      const std::array<std::optional<TStepCommandList>, 3>& lists) {
  const char* refused = "The step lists were not changed.";
  auto changedAt = [&](const TStepObject* s) {
    for (int k = 0; k < 3; ++k)
      if (changed[k] && old[k] != nullptr && old[k] == s) return k;
    return -1;
  };
  auto touches = [&](const TStepObject* s) {
    for (; s != nullptr; s = s->Nested())
      if (changedAt(s) >= 0) return true;
    return false;
  };
  // Every chain holding a changed level is rebuilt down to its deepest
  // changed level, an object for each level above it (shared by the chains
  // that shared the level); the levels below stay as they are. The chains
  // rebuilt count only as the objects they become.
  std::vector<TStepObject*> rebuilt;
  ForEachJobChain([&](TStepObject* chain) {
    if (touches(chain)) rebuilt.push_back(chain);
  });
  TStepIdTable ids;
  RegisterHeld(ChainUsers(rebuilt), ids);
  // The commands of the chain s becomes (empty: none).
  auto rebuiltCommands = [&](const TStepObject* s) {
    TStepCommandList all;
    for (const TStepObject* t = s; t != nullptr; t = t->Nested()) {
      const int j = changedAt(t);
      const TStepCommandList* commands = j < 0 ? &t->Commands() : lists[std::size_t(j)] ? &*lists[std::size_t(j)] : nullptr;
      if (commands != nullptr) all.insert(all.end(), commands->begin(), commands->end());
    }
    return all;
  };
  std::unordered_set<const TStepObject*> made;
  int64_t added = 0;
  TStepCountWait wait;
  int64_t done = 0;
  for (TStepObject* chain : rebuilt) {
    done += kMaxStepCopies;
    for (TStepObject* s = chain; s != nullptr; s = s->Nested()) {
      if (!touches(s)) {
        ids.Register(s);
        continue;
      }
      const int k = changedAt(s);
      if ((k >= 0 && !lists[std::size_t(k)]) || !made.insert(s).second) continue;
      bool whole = true;
      added += ExpandedWork(rebuiltCommands(s), whole);
      if (!whole) return RefuseUnexpandable(refused);
    }
    if (wait.Cancelled(done, int64_t(rebuilt.size()) * kMaxStepCopies)) return false;
  }
  if (!TakesWork(StepWorkOf(ids, nullptr) + added, refused)) return false;
  // Every entity drawn with a rebuilt chain keeps its copies inside the
  // coordinate range with what the chain becomes.
  {
    TQuietStepExpansion quiet;
    std::unordered_map<const TStepObject*, std::unique_ptr<TStepObject>> becomes;
    bool inRange = true;
    ForEachSteppedPoints([&](const TStepObject* chain) { return inRange && touches(chain); },
                         [&](const TStepObject* chain, const std::vector<TIntPoint>& points) {
      if (!inRange) return;
      auto [it, first] = becomes.try_emplace(chain);
      if (first) {
        TStepCommandList all = rebuiltCommands(chain);
        if (!all.empty()) it->second = std::make_unique<TStepObject>(std::move(all));
      }
      if (it->second != nullptr && !CopiesInRangeAt(*it->second, points)) inRange = false;
    });
    if (!inRange) return RefuseUnexpandable(refused);
  }
  // Every entity drawn with a rebuilt chain is drawn with what it becomes.
  std::unordered_map<const TStepObject*, int64_t> copiesMade;
  int64_t copies = 0, change = 0;
  ForEachDrawnChain([&](const TStepObject* chain) {
    copies += CopiesOf(chain);
    if (!touches(chain)) return;
    auto [it, first] = copiesMade.try_emplace(chain, 0);
    if (first) {
      const TStepCommandList all = rebuiltCommands(chain);
      bool whole = true;
      if (!all.empty()) ExpandedWork(all, whole, &it->second);
    }
    change += it->second - CopiesOf(chain);
  });
  return change <= 0 || TakesDrawnCopies(copies + change, refused);
}

int WriteJobFile(const std::string& fileName, const std::string& backupName, int* backupError,
                 std::string* keptAs) {
  if (backupError != nullptr) *backupError = 0;
  if (keptAs != nullptr) keptAs->clear();
  TStepIdTable ids;
  TJobFileWriter w(fileName);
  if (!w.Opened()) return w.Error();

  // Tool tables: the rout pages, then the drill table. A rout tool the file
  // does not list opens as a new job has it (DefaultRoutToolPage): one
  // emptied that a new job has is listed too.
  const TRoutToolPage defaults = DefaultRoutToolPage();
  for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) {
    for (int32_t tool = 1; tool <= kToolCount; ++tool) {
      const TRoutToolRecord& r = RoutToolPages[layer][tool];
      if (r.Diameter == 0 && defaults[tool].Diameter == 0) continue;
      w.WriteRoutTool(layer - kFirstRoutLayer, tool, r.Diameter, r.HighFeed, r.LowFeed, r.ZOffset);
      if (r.CompDiameter != 0) w.WriteCompIndex(layer - kFirstRoutLayer, tool, r.CompDiameter);
    }
  }
  for (int32_t tool = 1; tool <= kToolCount; ++tool) {
    const TToolRecord& t = ToolTable[tool];
    if (t == TToolRecord{}) continue;
    w.WriteDrillTool(tool, t.Diameter, t.Feed, t.Speed, t.ZOffset, t.MaxHits, t.FirstLastHit != 0);
  }

  RegisterJobSteps(ids);
  // The lists, newest first.
  const std::vector<TStepObject*>& order = ids.Order();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    TStepObject* object = *it;
    w.WriteStepListStart();
    for (const TStepCommand& c : object->Commands()) {
      if (c.Command != 0)
        w.WriteStepMark(c.Count);
      else
        w.WriteStep(c.DX, c.DY, c.Count, c.Orientation);
    }
    w.WriteStepListEnd(ids.IdOf(object), ids.IdOf(object->Nested()));
  }

  // Rout layers in cut order, every entity whatever the display state.
  for (uint8_t layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) {
    const int32_t index = layer - kFirstRoutLayer;
    if (RTDB != nullptr) {
      const TIntPoint& g = RTDB->G93Origins[layer];
      if (g.X != 0 || g.Y != 0) w.WriteRoutG93(g.X, g.Y, index);
    }
    ForEachRoutEntity(layer, [&](TRoutEntity* e) { WriteRoutEntity(w, e, index, ids); });
  }

  if (DRDB != nullptr && (DRDB->G93OriginX != 0 || DRDB->G93OriginY != 0))
    w.WriteDrillG93(DRDB->G93OriginX, DRDB->G93OriginY);
  WriteDrillEntities(w, ids);

  if (EntityArray != nullptr) {
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TEntitySlot* slot = EntityArray->GetSlot(i);
      if (slot == nullptr || static_cast<int32_t>(slot->Flags) <= 0 || slot->Entity == nullptr)
        continue;
      const uint8_t layer = LayerOfBit(slot->Flags);
      if (layer > 29) continue;
      WriteCadEntity(w, slot->Entity, layer);
    }
  }

  if (const int e = w.Finish()) return e;
  return w.Commit(backupName, backupError, keptAs);
}
