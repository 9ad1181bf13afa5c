// The frame of the Inspect editors: template text, the panel bracket and the
// event decoding shared by the drill, rout and CAD editors.
#include <cmath>

#include "edit/entity_editors.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/editor_state.h"
#include "model/rout_entities.h"

std::function<bool(uint8_t layer)> EditLayerActive;
std::function<bool(std::string& text, int maxLength, bool& vertical)> DrilledTextDialog;
std::function<bool(int& scope, bool forZ)> FeedScopeDialog;

std::string CodeText(uint8_t code) {
  return code < kCommandCodeCount ? CommandCodes[code] : "??";
}

std::string FieldBody(double value, char type, double low, double high, uint8_t code) {
  const std::string c = CodeText(code);
  return RealToStr(value) + type + "[" + RealToStr(low) + ".." + RealToStr(high) + "]" + c + c + "~";
}

std::string ButtonField(const std::string& caption, uint8_t code) {
  return "~0.0C[" + caption + "]" + CodeText(code) + "~";
}

std::string SegmentAngleText(const TIntPoint& a, const TIntPoint& b) {
  double r = 0.0, angle = 0.0;
  RectToPolar(double(b.X) - a.X, double(b.Y) - a.Y, r, angle);
  angle = NormalizeAngle360(angle);
  return RealToStr(std::nearbyint(angle * 1000.0) * 0.001);
}

std::string SegmentLengthText(const TIntPoint& a, const TIntPoint& b) {
  return FormatCoordinate(std::hypot(double(b.X) - a.X, double(b.Y) - a.Y));
}

TIntPoint ToDisplay(const TIntPoint& p) {
  TIntPoint d;
  OrientPoint(p.X, p.Y, Version, d.X, d.Y);
  return d;
}

TIntPoint FromDisplay(const TIntPoint& p) {
  TIntPoint s;
  UnorientPoint(p.X, p.Y, Version, s.X, s.Y);
  return s;
}

TTemplateEditor::TTemplateEditor() {
  if (UserPanel != nullptr) {
    UserPanel->DisableEntry();
    UserPanel->SavePrompts(SavedPrompts_);
  }
}

TTemplateEditor::~TTemplateEditor() {
  if (UserPanel != nullptr) {
    UserPanel->RestorePrompts(SavedPrompts_);
    UserPanel->EnableEntry();
  }
}

TTemplateEditor::TWorkingCopyScope::TWorkingCopyScope()
    : Database_(DatabaseModified), RoutLayers_(RoutLayerModified.Items) {}

TTemplateEditor::TWorkingCopyScope::~TWorkingCopyScope() {
  DatabaseModified = Database_;
  RoutLayerModified.Items = RoutLayers_;
}

void TTemplateEditor::MarkEdited(uint8_t layer) {
  DatabaseModified = true;
  if (layer >= kFirstRoutLayer && layer <= kLastRoutLayer) RoutLayerModified[layer] = true;
}

void TTemplateEditor::SetEditable(std::initializer_list<uint8_t> codes) {
  Editable_.reset();
  if (!LayerActive_) return;
  for (uint8_t c : codes) Editable_.set(c);
}

void TTemplateEditor::Lines(const std::string& line1, const std::string& line2) {
  if (UserPanel == nullptr) return;
  // Blank the lines first: a value shown shorter than before (an angle,
  // a length) would otherwise leave the end of the old text standing.
  for (int line : {1, 2}) {
    const size_t shown = UserPanel->PromptLine(line).size();
    if (shown > 0) UserPanel->SetPromptLine(line, 1, std::string(shown, ' '));
  }
  UserPanel->SetPromptLine(1, 1, line1);
  UserPanel->SetPromptLine(2, 1, line2);
}

void TTemplateEditor::RefreshTemplate() {
  BuildTemplate();
  if (UserPanel != nullptr)
    UserPanel->SetPromptLine(3, 1, "Use mouse to select, <Esc> to abort, <Enter> to save changes >");
}

bool TTemplateEditor::HandleEvent(TInputEvent& event) {
  if (!Active_) return true;
  if (event.Kind & ievFieldAccepted) {
    const uint8_t code = event.Flags[0];
    event.Kind &= ~ievFieldAccepted;
    // Fields of an inactive layer, or of codes the type does not use, change nothing.
    if (code >= Editable_.size() || !Editable_.test(code)) return false;
    const double typed = UserPanel != nullptr ? UserPanel->LastFieldValue() : 0.0;
    FieldAccepted(code, std::nearbyint(typed));
    return false;
  }
  if (event.Kind & ievKey) {
    const uint16_t key = uint16_t(event.Flags[0] | (event.Flags[1] << 8));
    if (key == vkEnter || key == vkEscape || key == vkDelete) {
      event.Kind &= ~ievKey;
      EndingKey(key);
      Active_ = false;
      return true;
    }
    OtherKey();
  }
  return false;
}

std::unique_ptr<TEntityEditor> MakeEntityEditor(uint8_t mode, int32_t index) {
  switch (mode) {
    case 0: return MakeDrillEntityEditor(index);
    case 1: return MakeRoutEntityEditor(index);
    default: return MakeCadEntityEditor(index);
  }
}

void InstallEntityEditors() { EntityEditorFactory = MakeEntityEditor; }
