// The Inspect editor of the CAD drawing: points, lines, arcs and circles. It
// edits a free-standing clone; Enter deletes the entity and adds a new one
// from the edited values as one undo step "Hand Edit".
#include <bit>
#include <cmath>

#include "edit/entity_editors.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"

namespace {

// The arc notice is shown once per run.
bool ArcNoticeShown = false;

class TCadEntityEditor final : public TTemplateEditor {
 public:
  explicit TCadEntityEditor(int32_t picked);
  ~TCadEntityEditor() override {
    if (Active()) Abandon();
  }
  void Show() override;

 private:
  void FieldAccepted(uint8_t code, double value) override;
  void EndingKey(uint16_t key) override;
  void BuildTemplate() override;
  void Abandon() override;

  // False once the drawing was renumbered or emptied under the editor.
  bool Intact() { return DB != nullptr && DB->EntityAt(Picked_) == PickedEntity_; }

  int32_t Picked_;
  TCadEntity* PickedEntity_;
  uint8_t Type_;
  std::unique_ptr<TCadEntity> Display_, Edited_;
  uint8_t StartLayer_ = 0, Layer_ = 0;
  // Current values in display orientation.
  TIntPoint P1_, P2_, Centre_;
  int32_t Radius_ = 0;
};

TCadEntityEditor::TCadEntityEditor(int32_t picked) : Picked_(picked) {
  TCadEntity* e = DB->EntityAt(picked);
  PickedEntity_ = e;
  Type_ = e->GetType();
  {
    TWorkingCopyScope copies;
    Display_.reset(e->Clone());
    Edited_.reset(e->Clone());
  }
  const uint32_t bits = DB->SlotAt(picked)->Flags & 0x3FFFFFFFu;
  StartLayer_ = Layer_ = bits == 0 ? 0 : uint8_t(std::countr_zero(bits));
  LayerActive_ = !EditLayerActive || EditLayerActive(StartLayer_);
  TIntPoint p;
  Edited_->GetPoint(p);
  P1_ = ToDisplay(p);
  switch (Type_) {
    case etCadPoint: SetEditable({fcLC, fcX1, fcY1}); break;
    case etCadLine:
      Edited_->GetSecondPoint(p);
      P2_ = ToDisplay(p);
      SetEditable({fcLC, fcX1, fcX2, fcY1, fcY2});
      break;
    case etCadArc:
      Edited_->GetSecondPoint(p);
      P2_ = ToDisplay(p);
      Edited_->GetThirdPoint(p);
      Centre_ = ToDisplay(p);
      Radius_ = int32_t(std::lround(std::hypot(double(P1_.X) - Centre_.X, double(P1_.Y) - Centre_.Y)));
      SetEditable({fcLC, fcXC, fcXE, fcXS, fcYC, fcYE, fcYS});
      break;
    default:
      Centre_ = P1_;
      Radius_ = Edited_->GetRadius();
      SetEditable({fcLC, fcRA, fcXC, fcYC});
      break;
  }
  RefreshTemplate();
  Show();
}

void TCadEntityEditor::BuildTemplate() {
  // Radii of zero or less make no circle: the field refuses them.
  const std::string layer = FieldBody(Layer_, 'L', 0, 29, fcLC);
  const std::string radius = O(Radius_, fcRA, 1, EditRange);
  switch (Type_) {
    case etCadPoint:
      Lines("Point X~" + O(P1_.X, fcX1) + " Y~" + O(P1_.Y, fcY1), "Layer = ~" + layer);
      break;
    case etCadLine:
      Lines("Line X~" + O(P1_.X, fcX1) + " Y~" + O(P1_.Y, fcY1) + "  Angle = " +
                SegmentAngleText(P1_, P2_) + "  Layer = ~" + layer,
            "     X~" + O(P2_.X, fcX2) + " Y~" + O(P2_.Y, fcY2) + " Length = " + SegmentLengthText(P1_, P2_));
      break;
    case etCadArc:
      Lines("Arc Center X~" + O(Centre_.X, fcXC) + " Y~" + O(Centre_.Y, fcYC) + "  Radius~" + radius +
                "  Layer = ~" + layer,
            "     Start X~" + O(P1_.X, fcXS) + " Y~" + O(P1_.Y, fcYS) + "  End X~" + O(P2_.X, fcXE) +
                " Y~" + O(P2_.Y, fcYE));
      break;
    default:
      Lines("Circle X~" + O(Centre_.X, fcXC) + " Y~" + O(Centre_.Y, fcYC),
            "Radius  ~" + radius + "  Layer = ~" + layer);
      break;
  }
}

void TCadEntityEditor::Show() {
  Display_->Erase();
  Edited_->DrawColour(HighlightColor);
}

void TCadEntityEditor::FieldAccepted(uint8_t code, double value) {
  const int32_t v = int32_t(value);
  if (Type_ == etCadArc && !ArcNoticeShown) {
    ArcNoticeShown = true;
    ShowMessage("Sorry, arc hand edits are\nnot yet operational...");
  }
  Edited_->Erase();
  switch (code) {
    case fcLC: Layer_ = uint8_t(v); break;
    case fcX1: case fcXS: P1_.X = v; break;
    case fcY1: case fcYS: P1_.Y = v; break;
    case fcX2: case fcXE: P2_.X = v; break;
    case fcY2: case fcYE: P2_.Y = v; break;
    case fcXC: Centre_.X = v; break;
    case fcYC: Centre_.Y = v; break;
    case fcRA:
      if (v > 0) Radius_ = v;
      break;
    default: break;
  }
  switch (Type_) {
    case etCadPoint: Edited_->SetPoint(FromDisplay(P1_)); break;
    case etCadLine:
      Edited_->SetPoint(FromDisplay(P1_));
      Edited_->SetSecondPoint(FromDisplay(P2_));
      break;
    case etCadCircle:
      Edited_->SetPoint(FromDisplay(Centre_));
      Edited_->SetSecondPoint({Radius_, Radius_});
      break;
    default: break;  // arc points are shown, not applied
  }
  Edited_->DrawColour(HighlightColor);
  RefreshTemplate();
}

void TCadEntityEditor::Abandon() {
  Edited_->Erase();
  Display_->Draw(StartLayer_);
}

void TCadEntityEditor::EndingKey(uint16_t key) {
  if (key == vkEscape) {
    Abandon();
    return;
  }
  Edited_->Erase();
  Display_->Erase();
  if (!Intact()) return;
  int32_t added = 0;
  if (key == vkEnter) {
    TIntPoint a, b, c;
    switch (Type_) {
      case etCadPoint:
        a = FromDisplay(P1_);
        added = DB->AddPointOnLayer(a.X, a.Y, Layer_);
        break;
      case etCadLine:
        a = FromDisplay(P1_);
        b = FromDisplay(P2_);
        added = DB->AddLineOnLayer(a.X, a.Y, b.X, b.Y, Layer_);
        break;
      case etCadArc:
        // The arc is stored again as it stands, on the layer chosen.
        Edited_->GetPoint(a);
        Edited_->GetSecondPoint(b);
        Edited_->GetThirdPoint(c);
        added = DB->AddArcOnLayer(a, b, c, Layer_);
        break;
      default:
        c = FromDisplay(Centre_);
        added = DB->AddCircleOnLayer(c.X, c.Y, Radius_, Layer_);
        break;
    }
    // A full drawing (reported by the add) keeps the entity as it was.
    if (added == 0) {
      DB->DrawEntity(Picked_);
      return;
    }
  }
  DB->EraseEntity(Picked_);
  DB->MarkDeleted(Picked_);
  MarkEdited(StartLayer_);
  if (ActiveUndo != nullptr) ActiveUndo->RecordDelete(Picked_);
  if (added != 0) DB->DrawEntity(added);
  if (ActiveUndo != nullptr) ActiveUndo->BeginOperation(key == vkDelete ? "Delete" : "Hand Edit");
}

}  // namespace

std::unique_ptr<TEntityEditor> MakeCadEntityEditor(int32_t index) {
  if (DB == nullptr || DB->EntityAt(index) == nullptr || DB->SlotAt(index) == nullptr ||
      SlotDeleted(DB->SlotAt(index)->Flags))
    return nullptr;
  return std::make_unique<TCadEntityEditor>(index);
}
