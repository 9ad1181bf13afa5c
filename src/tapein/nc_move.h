// The move record of the NC tape reader: every rout move, drill hit, drilled
// slot, circle and text the block interpreter recognises becomes one TNCMove
// on its way to the reader's consumer. The same record, 273 bytes on disk,
// is the element of the symbol scratch file and of the segment arrays handed
// to the contour offset engine.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Block texts queued behind a held move; they reach the consumer once the
// move is out. The lists belong to the reader, the records only refer to
// them, so copying a record never copies or frees a list.
struct TPendingTexts {
  std::vector<std::string> Texts;
};

enum : uint8_t {
  kMoveNone = 0,       // flush record
  kMoveLine = 2,
  kMoveArcCW = 3,
  kMoveArcCCW = 4,
  kMoveRapid = 5,
  kMoveHit = 6,
  kMoveText = 7,
  kMoveSlot = 8,
  kMoveCircle = 9,
};

struct TNCMove {
  uint8_t Kind = kMoveNone;
  int32_t SourceBlock = 0;
  int32_t StartX = 0;
  int32_t StartY = 0;
  TPendingTexts* PendingTexts = nullptr;
  int32_t EndX = 0;
  int32_t EndY = 0;
  // Arc centre; hit position for kind 6; circle diameter (X) for kind 9;
  // 1 in X for a vertical text (kind 7).
  int32_t CentreX = 0;
  int32_t CentreY = 0;
  uint8_t Comp = 0;        // 0 off, 1 left, 2 right
  uint8_t FromRepeat = 0;  // read during a pattern repeat
  uint8_t Head = 0;        // 1 when the head is down
  int32_t Tool = 1;
  int32_t ToolOffset = 1;  // tool whose compensation diameter applies
};

// Kind 0, block 1, tool 1, compensation tool 1, every other field 0.
TNCMove BlankMove();

// Drill-type records go to the consumer at once; the others pass through
// the look-ahead.
inline bool IsDrillMove(uint8_t kind) { return kind >= kMoveHit && kind <= kMoveCircle; }

// 1 when the orientation code 0..7 mirrors the plane (an odd number of its
// swap, mirror-X and mirror-Y bits is set).
inline constexpr uint8_t MirrorParity[8] = {0, 1, 1, 0, 1, 0, 0, 1};

// The record on disk: 273 bytes, little-endian, packed; the pending-text
// reference is written as 0 and read back as none; bytes 44..272 are zero.
constexpr int kNCMoveRecordSize = 273;
using TNCMoveBytes = std::array<uint8_t, kNCMoveRecordSize>;
TNCMoveBytes EncodeMove(const TNCMove& m);
TNCMove DecodeMove(const TNCMoveBytes& bytes);
