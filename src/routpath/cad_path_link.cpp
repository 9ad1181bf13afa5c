#include "routpath/cad_path_link.h"

#include "foundation/settings.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "routpath/endpoint_grid.h"

namespace {

bool IsLineOrArc(TRootDBObject* entity) {
  if (entity == nullptr) return false;
  const uint8_t type = entity->GetType();
  return type == etCadLine || type == etCadArc;
}

}  // namespace

std::string LinkResultText(uint8_t outcome) {
  switch (outcome) {
    case fpClosed: return LinkedClosedText;
    case fpOpen: return LinkedOpenText;
    case fpJunction: return LinkHaltedText;
    default: return LinkUndefinedText;
  }
}

uint8_t LinkPath(bool draw, TRootEntityHandle*& path, int32_t maxLength, std::string& text,
                 bool direction) {
  uint8_t outcome = 255;
  if (path != nullptr) {
    THourGlassCursor cursor;
    TEntitySlot* slot = EntityArray != nullptr ? EntityArray->GetSlot(path->GetIndex()) : nullptr;
    const uint8_t layer = LayerOfBit(slot != nullptr ? slot->Flags : 0);
    EndpointGrid.Init(layer, LinkTolerance, draw);
    EndpointGrid.Build();
    outcome = EndpointGrid.FollowPath(path, direction);
    EndpointGrid.Clear();
  }
  if (path != nullptr && draw) path->DrawListColour(HighlightColor);
  ViewServices().UpdateView();
  text = LinkResultText(outcome);
  if (maxLength < 0) maxLength = 0;
  if (text.size() > static_cast<size_t>(maxLength)) text.resize(maxLength);
  return outcome;
}

bool ChooseLinkDirection(TRootEntityHandle* handle, const TIntPoint& pick) {
  if (handle == nullptr) return false;
  TRootDBObject* entity = handle->GetEntity();
  if (!IsLineOrArc(entity)) return false;
  TIntPoint first, second;
  entity->GetPoint(first);
  entity->GetSecondPoint(second);
  return IntPointDistance(first, pick) < IntPointDistance(second, pick);
}

void LinkPathAndReport(TRootEntityHandle* handle, const TIntPoint& pick) {
  if (handle == nullptr) return;
  const bool direction = ChooseLinkDirection(handle, pick);
  std::string text;
  TRootEntityHandle* path = handle;
  LinkPath(true, path, 255, text, direction);
  MessageDlg(text, mtInformation, mbOK);
  path->DrawList();
}

bool LinkPathQuiet(TRootEntityHandle*& path, const TIntPoint& pick, bool& direction) {
  if (path == nullptr) return false;
  direction = ChooseLinkDirection(path, pick);
  std::string text;
  LinkPath(true, path, 255, text, direction);
  return text.find("Linked") != std::string::npos;
}

bool LinkClosedPathTest(TRootEntityHandle*& path, bool draw) {
  if (path == nullptr) return false;
  std::string text;
  LinkPath(draw, path, 255, text, false);
  return text.find("Linked closed") != std::string::npos;
}
