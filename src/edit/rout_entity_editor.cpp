// The Inspect editor of the rout layers. A rout entity is one step of a
// path: its start is the end of the path entity before it, its feed rate and
// Z offset are modal, and its path's tool and compensation live on the jog
// (or circle) that starts the path. The editor therefore edits the picked
// entity together with the entity before it, the arc after it and the path
// start. The values are kept while the user types; Enter puts clones with
// the new values beside the entities they replace (the old ones are hidden)
// and journals each pair, so the whole edit is one undo step.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "edit/entity_editors.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_entities.h"
#include "model/rout_database.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"
#include "model/tool_tables.h"

namespace {

bool IsArc(uint8_t type) { return type == etRoutArc || type == etRoutArcReverse; }
bool IsCut(uint8_t type) { return type >= etRoutLine && type <= etRoutCircle; }
// A jog, circle, hole or command ends the path before it.
bool EndsPath(uint8_t type) { return !(type == etRoutLine || IsArc(type)); }

const char* CompTypeName(uint8_t side) {
  switch (side) {
    case 0: return "None ";
    case 1: return "Left ";
    case 2: return "Right";
    default: return "???? ";
  }
}

struct TRoutValues {
  TIntPoint Start, End, Centre;  // display orientation
  int32_t Tool = 0;
  uint8_t Comp = 0;
  int32_t CompIndex = 0;
  int32_t Radius = 0;
  bool G32 = false;
  int32_t Feed = 0;  // in force at the picked entity
  int32_t Z = 0;
  bool operator==(const TRoutValues&) const = default;
};

class TRoutEntityEditor final : public TTemplateEditor {
 public:
  explicit TRoutEntityEditor(int32_t picked);
  ~TRoutEntityEditor() override {
    if (Active()) Abandon();
  }
  void Show() override;

 private:
  void FieldAccepted(uint8_t code, double value) override;
  void EndingKey(uint16_t key) override;
  void BuildTemplate() override;
  void Abandon() override;
  TRoutEntity* At(int32_t h) { return RTDB->EntityAt(h); }
  // The value of the layer's tool page in force at the path start and the
  // value in force at the picked entity; inherited gets the one before it.
  int32_t Acquire(bool z, int32_t& inherited);
  void Save();
  void DeletePicked();
  // Appends the clone beside the source (which is hidden) and journals the pair.
  int32_t Replace(int32_t source, TRoutEntity* clone);
  // Carries a changed feed (z false) or Z offset along the path after the cut.
  void CarryAlongPath(int32_t cut, bool z, int32_t scope, int32_t oldValue);
  void Redraw();
  // While the geometry differs from the start, the entities it moves are
  // taken off the picture and the new cuts drawn in their place in the
  // highlight colour (free-standing shapes; the store is not touched).
  void ShowPreview();
  void ErasePreview();
  void AddPreviewLine(const TIntPoint& a, const TIntPoint& b) {
    Preview_.emplace_back(new TCadLine(a.X, a.Y, b.X, b.Y));
  }

  // False once the rout store was renumbered or emptied under the editor.
  bool Intact() { return RTDB != nullptr && Seq != nullptr && At(Picked_) == PickedEntity_; }

  TRoutEntity* PickedEntity_ = nullptr;
  int32_t Picked_, Prev_ = 0, Next_ = 0, PathStart_ = 0;
  uint8_t Type_, Layer_;
  TRoutValues Start_, Current_;
  int32_t InheritedFeed_ = 0, InheritedZ_ = 0;
  int FeedScope_ = 3, ZScope_ = 3;
  bool CompIndexTyped_ = false;
  bool AttributesPage_ = false;
  int32_t FeedDivisor_ = 127;
  std::vector<std::unique_ptr<TCadEntity>> Preview_;
  std::vector<int32_t> Erased_;  // source entities taken off the picture
};

TRoutEntityEditor::TRoutEntityEditor(int32_t picked) : Picked_(picked) {
  TRoutEntity* e = At(picked);
  PickedEntity_ = e;
  Type_ = e->GetType();
  Layer_ = Seq->LayerOf(picked);
  LayerActive_ = !EditLayerActive || EditLayerActive(Layer_);
  FeedDivisor_ = Metric ? 300 : 127;
  PathStart_ = Type_ == etRoutHole ? picked : Seq->FindPathJog(picked);
  if (Type_ != etRoutHole && Type_ != etRoutCircle) {
    Prev_ = RTDB->PathEntityBefore(picked);
    Next_ = RTDB->PathEntityAfter(picked);
    if (TRoutEntity* p = At(Prev_); p == nullptr || p->GetType() == etRoutCircle) Prev_ = 0;
    if (TRoutEntity* n = At(Next_); n == nullptr || n->GetType() == etRoutCircle) Next_ = 0;
  }
  TIntPoint p{0, 0};
  if (TRoutEntity* prev = At(Prev_)) prev->GetPoint(p);
  Start_.Start = ToDisplay(p);
  e->GetPoint(p);
  Start_.End = ToDisplay(p);
  if (IsArc(Type_)) {
    e->GetCentre(p);
    Start_.Centre = ToDisplay(p);
  }
  TRoutEntity* start = At(PathStart_);
  if (Type_ == etRoutCircle) {
    Start_.Radius = e->GetRadius();
    Start_.G32 = e->IsAG32();
    Start_.Comp = Start_.G32 ? 2 : 1;
  } else if (start != nullptr && start->GetType() == etRoutJog) {
    Start_.Comp = start->GetComp();
  }
  if (start != nullptr) {
    Start_.Tool = start->GetToolNumber();
    if (Type_ != etRoutHole) Start_.CompIndex = start->GetCompIndex();
  }
  if (IsCut(Type_)) {
    Start_.Feed = Acquire(false, InheritedFeed_);
    Start_.Z = Acquire(true, InheritedZ_);
  }
  Current_ = Start_;
  switch (Type_) {
    case etRoutJog: SetEditable({fcCI, fcCO, fcHE, fcTN, fcX1, fcX2, fcY1, fcY2}); break;
    case etRoutLine: SetEditable({fcCI, fcCO, fcCZ, fcFE, fcHE, fcTN, fcX1, fcX2, fcY1, fcY2}); break;
    case etRoutArc:
    case etRoutArcReverse:
      SetEditable({fcCI, fcCO, fcCZ, fcFE, fcHE, fcTN, fcX1, fcX2, fcXC, fcXE, fcXS, fcY1, fcY2, fcYC,
                   fcYE, fcYS});
      break;
    case etRoutCircle: SetEditable({fcCI, fcCO, fcCZ, fcFE, fcHE, fcRA, fcTN, fcX2, fcY2}); break;
    default: SetEditable({fcHE, fcTN, fcX1, fcY1}); break;
  }
  RefreshTemplate();
  Show();
}

int32_t TRoutEntityEditor::Acquire(bool z, int32_t& inherited) {
  const TRoutToolRecord& tool = RoutToolPages[Layer_][std::clamp(Start_.Tool, 1, kToolCount)];
  int32_t value = z ? tool.ZOffset : tool.HighFeed;
  inherited = value;
  Seq->SeekHandle(PathStart_);
  for (int32_t h = Seq->NextVisible(Layer_);; h = Seq->NextVisible(Layer_)) {
    if (h == 0) {
      ErrorBox(z ? "Ran past end of database acquiring z offset"
                 : "Ran past end of database acquiring feed rate");
      return value;
    }
    TRoutEntity* e = At(h);
    if (IsCut(e->GetType())) {
      const int32_t own = z ? e->GetZOffset() : int32_t(e->GetFeedRate());
      const bool has = z ? own != NoZOffset : own != 0;
      inherited = value;
      if (has) value = own;
    }
    if (h == Picked_) return value;
  }
}

void TRoutEntityEditor::BuildTemplate() {
  const TRoutValues& v = Current_;
  const std::string attributes = ButtonField("Attributes...", fcHE);
  if (AttributesPage_) {
    const TRoutToolRecord& tool = RoutToolPages[Layer_][std::clamp(v.Tool, 1, kToolCount)];
    const int32_t size = tool.Diameter;
    std::string line1 = "Attributes:  Tool = ~" + L(v.Tool, fcTN, 1, 1000) + "  Size = " +
                        (Metric ? FormatToolSizeMetric(size) : FormatToolSizeInch(size));
    if (IsCut(Type_)) {
      const int32_t low = Metric ? 4 : 10, high = Metric ? 63 : 150;
      line1 += "  FeedRate = ~" + L(v.Feed / FeedDivisor_, fcFE, low, high) + "  Z Offset = ~" + O(v.Z, fcCZ);
    }
    std::string line2 = "Layer = R" + std::to_string(Layer_ - 40);
    line2.resize(std::max<size_t>(line2.size(), 13), ' ');
    if (Type_ == etRoutHole)
      line2 += std::string(38, ' ');
    else
      line2 += "Comp Index = ~" + L(v.CompIndex, fcCI, 1, 1000) + "  Comp Type = " +
               ButtonField(CompTypeName(v.Comp), fcCO);
    line2 += "     " + ButtonField("Coordinates...", fcHE);
    Lines(line1, line2);
    return;
  }
  const bool moved = !(v.Start == Start_.Start) || !(v.End == Start_.End);
  switch (Type_) {
    case etRoutCircle:
      Lines(std::string(v.G32 ? "G32 Circle" : "G33 Circle") + " X~" + O(v.End.X, fcX2) + " Y~" +
                O(v.End.Y, fcY2) + "  Radius~" + O(v.Radius, fcRA, 0, EditRange),
            std::string(56, ' ') + attributes);
      break;
    case etRoutHole:
      Lines("Drill Hole X~" + O(v.End.X, fcX1) + " Y~" + O(v.End.Y, fcY1), std::string(56, ' ') + attributes);
      break;
    case etRoutArc:
    case etRoutArcReverse:
      if (!moved) {
        const int32_t radius = int32_t(std::lround(
            std::hypot(double(v.Start.X) - v.Centre.X, double(v.Start.Y) - v.Centre.Y)));
        Lines("Arc Center X~" + O(v.Centre.X, fcXC) + " Y~" + O(v.Centre.Y, fcYC) + "  Radius~" +
                  O(radius, fcRA, 0, EditRange) + "       " + attributes,
              "     Start X~" + O(v.Start.X, fcXS) + " Y~" + O(v.Start.Y, fcYS) + "  End X~" +
                  O(v.End.X, fcXE) + " Y~" + O(v.End.Y, fcYE));
        break;
      }
      [[fallthrough]];  // an arc whose ends moved is saved as a line
    default:
      Lines(std::string(Type_ == etRoutJog ? "Jog " : "Line") + " X~" + O(v.Start.X, fcX1) + " Y~" +
                O(v.Start.Y, fcY1) + "  Angle = " + SegmentAngleText(v.Start, v.End),
            "     X~" + O(v.End.X, fcX2) + " Y~" + O(v.End.Y, fcY2) + " Length = " +
                SegmentLengthText(v.Start, v.End) + "           " + attributes);
      break;
  }
}

void TRoutEntityEditor::Show() {
  if (!Intact()) return;
  if (!Preview_.empty()) {
    for (auto& shape : Preview_) shape->DrawColour(HighlightColor);
    return;
  }
  if (TRoutEntity* e = At(Picked_)) e->DrawColour(HighlightColor);
}

void TRoutEntityEditor::FieldAccepted(uint8_t code, double value) {
  const int32_t v = int32_t(value);
  TRoutValues& c = Current_;
  // A start point belongs to the entity before: without one it stays.
  const bool startField = code == fcX1 || code == fcY1 || code == fcXS || code == fcYS;
  if (startField && Type_ != etRoutHole && Prev_ == 0) return;
  switch (code) {
    case fcHE: AttributesPage_ = !AttributesPage_; break;
    // The hole's point is shown as X1, Y1.
    case fcX1: case fcXS: (Type_ == etRoutHole ? c.End : c.Start).X = v; break;
    case fcY1: case fcYS: (Type_ == etRoutHole ? c.End : c.Start).Y = v; break;
    case fcX2: case fcXE: c.End.X = v; break;
    case fcY2: case fcYE: c.End.Y = v; break;
    case fcRA:
      if (v >= 0) c.Radius = v;
      break;
    case fcTN:
      c.Tool = v;
      if (!CompIndexTyped_ && Type_ != etRoutHole) c.CompIndex = v;
      break;
    case fcCI:
      c.CompIndex = v;
      CompIndexTyped_ = true;
      break;
    case fcCO:
      if (Type_ == etRoutCircle) {
        c.Comp = c.Comp == 1 ? 2 : 1;
        c.G32 = c.Comp != 1;
      } else {
        c.Comp = c.Comp == 1 ? 0 : c.Comp == 0 ? 2 : 1;
      }
      break;
    case fcFE:
    case fcCZ: {
      const bool z = code == fcCZ;
      int scope = 0;
      if (FeedScopeDialog && !FeedScopeDialog(scope, z)) return;  // Cancel drops the change
      if (z) {
        c.Z = v;
        ZScope_ = scope;
      } else {
        c.Feed = v * FeedDivisor_;
        FeedScope_ = scope;
      }
      break;
    }
    default: return;
  }
  ShowPreview();
  RefreshTemplate();
}

int32_t TRoutEntityEditor::Replace(int32_t source, TRoutEntity* clone) {
  TEntitySlot* slot = RoutEntities->AddSlot(RoutEntityCount);
  if (slot == nullptr) {
    delete clone;
    return 0;
  }
  const int32_t handle = RoutEntityCount;
  slot->Flags = NCLayerBit(Layer_);
  slot->Entity = clone;
  Seq->SetInsertAfter(source);
  if (!Seq->InsertHandleKeepPoint(Layer_, handle)) {
    // The sequence is full (reported): the clone goes and the source stays.
    delete clone;
    *slot = TEntitySlot{};
    --RoutEntityCount;
    RoutEntities->SetCount(RoutEntityCount);
    return 0;
  }
  RTDB->DeleteEntity(source);
  if (ActiveUndo != nullptr) {
    ActiveUndo->RecordDelete(source);
    ActiveUndo->RecordAdd(handle);
  }
  RoutLayerModified[Layer_] = true;
  return handle;
}

void TRoutEntityEditor::CarryAlongPath(int32_t cut, bool z, int32_t scope, int32_t oldValue) {
  if (scope == 0 || cut == 0) return;
  // The cuts after the edited one, up to the end of its path.
  std::vector<int32_t> later;
  Seq->SeekHandle(cut);
  Seq->NextVisible(Layer_);
  for (int32_t h = Seq->NextVisible(Layer_); h != 0; h = Seq->NextVisible(Layer_)) {
    if (EndsPath(At(h)->GetType())) break;
    later.push_back(h);
  }
  for (int32_t h : later) {
    TRoutEntity* e = At(h);
    const bool has = z ? e->GetZOffset() != NoZOffset : e->GetFeedRate() != 0;
    if (scope == 1) {
      // The rest of the path keeps the rate it had.
      if (!has) {
        TRoutEntity* clone = e->Clone(Layer_);
        if (z)
          clone->SetZOffset(oldValue);
        else
          clone->SetFeedRate(uint16_t(oldValue));
        Replace(h, clone);
      }
      return;
    }
    if (has) {
      TRoutEntity* clone = e->Clone(Layer_);
      if (z)
        clone->SetZOffset(NoZOffset);
      else
        clone->SetFeedRate(0);
      Replace(h, clone);
    }
  }
}

void TRoutEntityEditor::Save() {
  const TRoutValues& c = Current_;
  const bool startMoved = !(c.Start == Start_.Start);
  const bool endMoved = !(c.End == Start_.End);
  const bool feedChanged = c.Feed != Start_.Feed;
  const bool zChanged = c.Z != Start_.Z;
  const bool pathChanged = c.Tool != Start_.Tool || c.Comp != Start_.Comp ||
                           c.CompIndex != Start_.CompIndex || c.Radius != Start_.Radius ||
                           c.G32 != Start_.G32;
  auto applyPath = [&](TRoutEntity* e) {
    e->SetToolNumber(c.Tool);
    if (Type_ == etRoutHole) return;
    e->SetCompIndex(c.CompIndex);
    if (e->GetType() == etRoutJog) e->SetComp(c.Comp);
  };
  // The path start, when it is not the picked entity (before the previous
  // one: a jog before the picked cut is both).
  if (PathStart_ != Picked_ && At(PathStart_) != nullptr &&
      (pathChanged || (PathStart_ == Prev_ && startMoved))) {
    TRoutEntity* clone = At(PathStart_)->Clone(Layer_);
    applyPath(clone);
    if (PathStart_ == Prev_) clone->SetPoint(FromDisplay(c.Start));
    Replace(PathStart_, clone);
  }
  if (Prev_ != 0 && Prev_ != PathStart_ && startMoved) {
    TRoutEntity* clone = At(Prev_)->CloneAsLine(Layer_);
    clone->SetPoint(FromDisplay(c.Start));
    Replace(Prev_, clone);
  }
  int32_t cut = Picked_;
  if (startMoved || endMoved || feedChanged || zChanged || (PathStart_ == Picked_ && pathChanged)) {
    TRoutEntity* e = At(Picked_);
    TRoutEntity* clone = IsArc(Type_) && (startMoved || endMoved) ? e->CloneAsLine(Layer_) : e->Clone(Layer_);
    clone->SetPoint(FromDisplay(c.End));
    if (PathStart_ == Picked_) applyPath(clone);
    if (Type_ == etRoutCircle) {
      clone->SetRadius(c.Radius);
      clone->SetG32(c.G32);
    }
    if (feedChanged) clone->SetFeedRate(uint16_t(c.Feed == InheritedFeed_ ? 0 : c.Feed));
    if (zChanged) clone->SetZOffset(c.Z == InheritedZ_ ? NoZOffset : c.Z);
    cut = Replace(Picked_, clone);
  }
  // A following arc starts where the picked entity now ends: it becomes a line.
  if (Next_ != 0 && endMoved && IsArc(At(Next_)->GetType())) Replace(Next_, At(Next_)->CloneAsLine(Layer_));
  if (feedChanged) CarryAlongPath(cut, false, FeedScope_, Start_.Feed);
  if (zChanged) CarryAlongPath(cut, true, ZScope_, Start_.Z);
  if (ActiveUndo != nullptr) ActiveUndo->BeginOperation("Obj Inspect Edit");
}

void TRoutEntityEditor::DeletePicked() {
  std::vector<int32_t> gone{Picked_};
  if (Type_ == etRoutJog) {
    // Deleting the jog alone would join its path to the one before with a
    // cut across the board: the whole path goes.
    Seq->SeekHandle(Picked_);
    Seq->NextVisible(Layer_);
    for (int32_t h = Seq->NextVisible(Layer_); h != 0; h = Seq->NextVisible(Layer_)) {
      if (EndsPath(At(h)->GetType())) break;
      gone.push_back(h);
    }
  } else if (Next_ != 0 && IsArc(At(Next_)->GetType())) {
    // The arc after it now starts elsewhere: it becomes a line to its end.
    Replace(Next_, At(Next_)->CloneAsLine(Layer_));
  }
  for (int32_t h : gone) {
    RTDB->DeleteEntity(h);
    if (ActiveUndo != nullptr) ActiveUndo->RecordDelete(h);
  }
  RoutLayerModified[Layer_] = true;
  if (ActiveUndo != nullptr) ActiveUndo->BeginOperation("Delete");
}

void TRoutEntityEditor::Redraw() {
  RTDB->DrawStepRepeats(Layer_);
  RTDB->DrawFrom(PathStart_);
}

void TRoutEntityEditor::ErasePreview() {
  for (auto& shape : Preview_) shape->Erase();
  Preview_.clear();
  if (!Intact()) return;
  for (int32_t h : Erased_) RTDB->DrawEntity(h);
  Erased_.clear();
}

void TRoutEntityEditor::ShowPreview() {
  ErasePreview();
  if (!Intact()) return;
  TWorkingCopyScope preview;
  const TRoutValues& c = Current_;
  const bool startMoved = !(c.Start == Start_.Start);
  const bool endMoved = !(c.End == Start_.End);
  if (!startMoved && !endMoved && c.Radius == Start_.Radius) {
    Show();
    return;
  }
  const TIntPoint s = FromDisplay(c.Start), e = FromDisplay(c.End);
  auto takeOff = [&](int32_t h) {
    if (TRoutEntity* x = At(h)) x->Erase();
    Erased_.push_back(h);
  };
  takeOff(Picked_);
  if (Prev_ != 0 && startMoved) {
    takeOff(Prev_);
    TIntPoint before{0, 0};
    if (TRoutEntity* b = At(RTDB->PathEntityBefore(Prev_))) b->GetPoint(before);
    AddPreviewLine(before, s);
  }
  if (Next_ != 0 && endMoved) {
    takeOff(Next_);
    TIntPoint after;
    At(Next_)->GetPoint(after);
    AddPreviewLine(e, after);
  }
  switch (Type_) {
    case etRoutCircle: Preview_.emplace_back(new TCadCircle(e.X, e.Y, c.Radius)); break;
    case etRoutHole: Preview_.emplace_back(new TCadPoint(e.X, e.Y)); break;
    default: AddPreviewLine(s, e); break;
  }
  Show();
}

void TRoutEntityEditor::Abandon() {
  ErasePreview();
  if (Intact()) RTDB->DrawEntity(Picked_);
}

void TRoutEntityEditor::EndingKey(uint16_t key) {
  ErasePreview();
  if (!Intact()) return;
  if (key == vkEnter && Current_ == Start_) key = vkEscape;
  if (key != vkEscape) {
    MarkEdited(Layer_);
    // The clones go beside what they replace; where the user goes on
    // drawing stays where it was.
    const TKeptInsertPoints kept;
    RTDB->ErasePath(PathStart_);
    if (key == vkDelete)
      DeletePicked();
    else
      Save();
  }
  Redraw();
}

}  // namespace

std::unique_ptr<TEntityEditor> MakeRoutEntityEditor(int32_t index) {
  if (RTDB == nullptr || Seq == nullptr || RTDB->EntityAt(index) == nullptr ||
      SlotDeleted(RTDB->SlotAt(index)->Flags))
    return nullptr;
  const uint8_t type = RTDB->EntityAt(index)->GetType();
  if (type == etRoutCommand || Seq->LayerOf(index) == 0) return nullptr;
  if (type != etRoutHole && Seq->FindPathJog(index) == 0) return nullptr;
  return std::make_unique<TRoutEntityEditor>(index);
}
