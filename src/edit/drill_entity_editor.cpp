// The Inspect editor of the drill layers: holes, slots, drilled circles and
// drilled texts. The working copy sits hidden in the store's last slot while
// the editor lives; exactly one of the picked entity and the copy is shown.
#include <bit>

#include "edit/entity_editors.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"
#include "model/tool_tables.h"

namespace {

struct TDrillValues {
  TIntPoint P1, P2;  // display orientation
  int32_t Tool = 0;
  int32_t Radius = 0;
  std::string Text;
  bool Vertical = false;
  uint8_t Layer = 30;
  bool operator==(const TDrillValues&) const = default;
};

class TDrillEntityEditor final : public TTemplateEditor {
 public:
  explicit TDrillEntityEditor(int32_t picked);
  ~TDrillEntityEditor() override {
    if (Active()) Abandon();
  }
  void Show() override;

 private:
  void FieldAccepted(uint8_t code, double value) override;
  void EndingKey(uint16_t key) override;
  void OtherKey() override;
  void BuildTemplate() override;
  void Abandon() override;
  TDrillEntity* Picked() { return DRDB->EntityAt(Picked_); }
  TDrillEntity* Copy() { return DRDB->EntityAt(Copy_); }
  // False once the store was renumbered or emptied under the editor: it
  // then leaves the store alone.
  bool Intact() {
    return DRDB != nullptr && Copy_ != 0 && Picked() == PickedEntity_ && Copy() == CopyEntity_;
  }
  TEntitySlot* Slot(int32_t index) { return DrillEntities->GetSlot(index); }
  bool Changed() const { return !(Current_ == Start_); }
  // The picked entity or the copy, whichever the values say, made visible.
  void PutInForce();
  TDrillEntity* InForce() { return Changed() ? Copy() : Picked(); }
  // Hides the copy and frees it when it is still the last entity.
  void DropCopy();
  std::string SizeText() const;
  std::string SnapNote(bool withPoint, const char* holeWord) const;

  int32_t Picked_;
  int32_t Copy_ = 0;
  TDrillEntity* PickedEntity_ = nullptr;
  TDrillEntity* CopyEntity_ = nullptr;
  uint8_t Type_ = 0;
  TDrillValues Start_, Current_;
  uint8_t SnapState_ = 1;
  TIntPoint SnapPoint_;
};

uint8_t DrillLayerOf(uint32_t word) {
  const uint32_t bits = word & 0x3FFu;
  return bits == 0 ? 30 : uint8_t(30 + std::countr_zero(bits));
}

TDrillEntityEditor::TDrillEntityEditor(int32_t picked) : Picked_(picked) {
  // The snap record describes the pick that named this entity.
  SnapState_ = SnapPointFound;
  SnapPoint_ = {SnapPointX, SnapPointY};
  TDrillEntity* e = Picked();
  Type_ = e->GetType();
  Start_.Layer = DrillLayerOf(DRDB->WordAt(Picked_));
  LayerActive_ = !EditLayerActive || EditLayerActive(Start_.Layer);
  {
    TWorkingCopyScope copy;
    Copy_ = DRDB->AppendEntity(e->Clone(), NCLayerBit(Start_.Layer) | SlotDeletedBit);
  }
  PickedEntity_ = e;
  CopyEntity_ = Copy();
  TIntPoint p;
  e->GetPoint(p);
  Start_.P1 = ToDisplay(p);
  if (Type_ == etDrillSlot) {
    e->GetSecondPoint(p);
    Start_.P2 = ToDisplay(p);
  }
  if (Type_ == etDrillCircle) Start_.Radius = e->GetRadius();
  if (Type_ == etDrillText) {
    e->GetString(Start_.Text);
    Start_.Vertical = e->GetVertical();
  }
  Start_.Tool = e->GetToolNumber();
  Current_ = Start_;
  switch (Type_) {
    case etDrillHole: SetEditable({fcLC, fcTN, fcX1, fcY1}); break;
    case etDrillSlot: SetEditable({fcLC, fcTN, fcX1, fcY1, fcX2, fcY2}); break;
    case etDrillCircle: SetEditable({fcLC, fcRA, fcTN, fcX1, fcY1}); break;
    default: SetEditable({fcLC, fcMS, fcTN, fcX1, fcY1}); break;
  }
  RefreshTemplate();
  Show();
}

std::string TDrillEntityEditor::SizeText() const {
  const int32_t size = EquivalentToolSize(DrillToolDiameter(Current_.Tool), !Metric);
  return Metric ? FormatToolSizeMetric(size) : FormatToolSizeInch(size);
}

std::string TDrillEntityEditor::SnapNote(bool withPoint, const char* holeWord) const {
  if (SnapState_ == 0) {
    std::string note = "  |Stepped|";
    if (withPoint) {
      const TIntPoint d = ToDisplay(SnapPoint_);
      note += std::string(holeWord) + FormatCoordinate(d.X) + "  Y " + FormatCoordinate(d.Y);
    }
    return note;
  }
  return SnapState_ == 2 ? "  |Part|" : "  |Tooling|";
}

void TDrillEntityEditor::BuildTemplate() {
  const TDrillValues& v = Current_;
  const std::string x1 = O(v.P1.X, fcX1), y1 = O(v.P1.Y, fcY1);
  const std::string tool = L(v.Tool, fcTN, 1, 1000);
  const std::string layer = FieldBody(v.Layer, 'D', 30, 39, fcLC);
  switch (Type_) {
    case etDrillHole:
      Lines("Hole X~" + x1 + " Y~" + y1 + SnapNote(true, " Hole: X "),
            "Tool = ~" + tool + "  Size = " + SizeText() + "  Layer = ~" + layer);
      break;
    case etDrillCircle:
      Lines("Circle X~" + x1 + " Y~" + y1 + "  Radius~" + O(v.Radius, fcRA, 0, EditRange),
            "Tool = ~" + tool + "  Size = " + SizeText() + "  Layer = ~" + layer + SnapNote(false, ""));
      break;
    case etDrillSlot:
      Lines("Slot  X~" + x1 + " Y~" + y1 + "  Angle = " + SegmentAngleText(v.P1, v.P2) +
                "  Tool = ~" + tool + "  Size = " + SizeText(),
            "      X~" + O(v.P2.X, fcX2) + " Y~" + O(v.P2.Y, fcY2) +
                "  Length = " + SegmentLengthText(v.P1, v.P2) + "  Layer = ~" + layer +
                SnapNote(false, ""));
      break;
    default:
      Lines(std::string(v.Vertical ? "M98 Text " : "M97 Text ") + " X~" + x1 + " Y~" + y1 +
                SnapNote(true, "  Hole: X "),
            "Tool = ~" + tool + "  Size = " + SizeText() + "  Layer = ~" + layer +
                "    Text = " + ButtonField(v.Text, fcMS));
      break;
  }
}

void TDrillEntityEditor::Show() {
  if (!Intact()) return;
  if (TDrillEntity* e = InForce()) e->DrawColour(HighlightColor);
}

void TDrillEntityEditor::PutInForce() {
  TEntitySlot* picked = Slot(Picked_);
  TEntitySlot* copy = Slot(Copy_);
  if (Changed()) {
    picked->Flags |= SlotDeletedBit;
    copy->Flags &= ~SlotDeletedBit;
  } else {
    picked->Flags &= ~SlotDeletedBit;
    copy->Flags |= SlotDeletedBit;
  }
}

void TDrillEntityEditor::FieldAccepted(uint8_t code, double value) {
  const int32_t v = int32_t(value);
  switch (code) {
    case fcX1: Current_.P1.X = v; break;
    case fcY1: Current_.P1.Y = v; break;
    case fcX2: Current_.P2.X = v; break;
    case fcY2: Current_.P2.Y = v; break;
    case fcTN:
      if (v > 0) Current_.Tool = v;
      break;
    case fcRA:
      if (v > 0) Current_.Radius = v;
      break;
    case fcLC:
      if (ValidDrillLayer(v)) Current_.Layer = uint8_t(v);
      break;
    case fcMS: {
      if (!DrilledTextDialog) {
        MessageBeep(MB_OK);
        return;
      }
      std::string text = Current_.Text;
      bool vertical = Current_.Vertical;
      const uint8_t flag = ECO != nullptr ? ECO->EntityEditFlag : 0;
      if (ECO != nullptr) ECO->EntityEditFlag = 0;
      const bool ok = DrilledTextDialog(text, 255, vertical);
      if (ECO != nullptr) ECO->EntityEditFlag = flag;
      if (!ok) return;
      Current_.Text = text.substr(0, 255);
      Current_.Vertical = vertical;
      break;
    }
    default: return;
  }
  if (!Intact()) return;
  if (TDrillEntity* e = InForce()) e->Erase();
  TDrillEntity* copy = Copy();
  copy->SetPoint(FromDisplay(Current_.P1));
  copy->SetToolNumber(uint16_t(Current_.Tool));
  TEntitySlot* slot = Slot(Copy_);
  slot->Flags = (slot->Flags & SlotDeletedBit) | NCLayerBit(Current_.Layer);
  if (Type_ == etDrillCircle) copy->SetRadius(Current_.Radius);
  if (Type_ == etDrillSlot) copy->SetSecondPoint(FromDisplay(Current_.P2));
  if (Type_ == etDrillText) {
    copy->SetString(Current_.Text);
    copy->SetVertical(Current_.Vertical);
  }
  PutInForce();
  Show();
  RefreshTemplate();
}

void TDrillEntityEditor::OtherKey() {
  if (!Intact()) return;
  if (TDrillEntity* e = InForce()) e->Draw(Changed() ? Current_.Layer : Start_.Layer);
}

void TDrillEntityEditor::DropCopy() {
  if (TEntitySlot* copy = Slot(Copy_)) copy->Flags |= SlotDeletedBit;
  if (Copy_ != 0 && Copy_ == DrillEntityCount) {
    TEntitySlot* slot = Slot(Copy_);
    delete slot->Entity;
    *slot = TEntitySlot{};
    --DrillEntityCount;
    DrillEntities->SetCount(DrillEntityCount);
  }
}

void TDrillEntityEditor::Abandon() {
  if (!Intact()) return;
  if (TDrillEntity* e = InForce()) e->Erase();
  Slot(Picked_)->Flags &= ~SlotDeletedBit;
  DropCopy();
  DRDB->DrawEntity(Picked_);
}

void TDrillEntityEditor::EndingKey(uint16_t key) {
  if (!Intact()) return;
  if (key == vkEnter && !Changed()) key = vkEscape;
  if (key != vkEscape) MarkEdited(Start_.Layer);
  switch (key) {
    case vkEscape:
      Abandon();
      break;
    case vkDelete:
      if (TDrillEntity* e = InForce()) e->Erase();
      Slot(Picked_)->Flags |= SlotDeletedBit;
      DropCopy();
      if (ActiveUndo != nullptr) {
        ActiveUndo->RecordDelete(Picked_);
        ActiveUndo->BeginOperation("Delete");
      }
      break;
    default:
      Copy()->Erase();
      Slot(Picked_)->Flags |= SlotDeletedBit;
      Slot(Copy_)->Flags &= ~SlotDeletedBit;
      DRDB->DrawEntity(Copy_);
      if (ActiveUndo != nullptr) {
        ActiveUndo->RecordDelete(Picked_);
        ActiveUndo->RecordAdd(Copy_);
        ActiveUndo->BeginOperation("Obj Inspect Edit");
      }
      break;
  }
  DRDB->CancelPick();
}

}  // namespace

std::unique_ptr<TEntityEditor> MakeDrillEntityEditor(int32_t index) {
  if (DRDB == nullptr || DRDB->EntityAt(index) == nullptr || SlotDeleted(DRDB->WordAt(index)))
    return nullptr;
  // The copy needs a slot of its own.
  if (DrillEntityCount >= TDrillEntities::HighestIndex) {
    ReportStoreFull(DrillEntities->Name(), TDrillEntities::HighestIndex);
    return nullptr;
  }
  return std::make_unique<TDrillEntityEditor>(index);
}
