#include "tapein/nc_move.h"

namespace {

void Put32(TNCMoveBytes& b, int at, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

int32_t Get32(const TNCMoveBytes& b, int at) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= uint32_t{b[at + i]} << (8 * i);
  return static_cast<int32_t>(u);
}

}  // namespace

TNCMove BlankMove() {
  TNCMove m;
  m.SourceBlock = 1;
  return m;
}

TNCMoveBytes EncodeMove(const TNCMove& m) {
  TNCMoveBytes b{};
  b[0] = m.Kind;
  Put32(b, 1, m.SourceBlock);
  Put32(b, 5, m.StartX);
  Put32(b, 9, m.StartY);
  Put32(b, 13, 0);
  Put32(b, 17, m.EndX);
  Put32(b, 21, m.EndY);
  Put32(b, 25, m.CentreX);
  Put32(b, 29, m.CentreY);
  b[33] = m.Comp;
  b[34] = m.FromRepeat;
  b[35] = m.Head;
  Put32(b, 36, m.Tool);
  Put32(b, 40, m.ToolOffset);
  return b;
}

TNCMove DecodeMove(const TNCMoveBytes& b) {
  TNCMove m;
  m.Kind = b[0];
  m.SourceBlock = Get32(b, 1);
  m.StartX = Get32(b, 5);
  m.StartY = Get32(b, 9);
  m.PendingTexts = nullptr;
  m.EndX = Get32(b, 17);
  m.EndY = Get32(b, 21);
  m.CentreX = Get32(b, 25);
  m.CentreY = Get32(b, 29);
  m.Comp = b[33];
  m.FromRepeat = b[34];
  m.Head = b[35];
  m.Tool = Get32(b, 36);
  m.ToolOffset = Get32(b, 40);
  return m;
}
