// The editors of Inspect: a picked drill, rout or CAD entity is shown on the
// command panel's prompt lines as template text with typed edit fields; each
// value the user accepts goes into a working copy, and Enter puts the copy
// in place of the entity as one undo step (Delete removes it, Escape leaves
// everything as it was).
//
// A template line is plain text with edit fields written
//   "~" value type "[" low ".." high "]" code code "~"
// (a button: "~0.0C[" caption "]" code "~"); the panel takes the fields out,
// refuses typed values outside their bounds and reports each accepted one
// to ECO, which hands it to the living editor.
#pragma once
#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "command/command_interpreter.h"
#include "command/user_panel.h"
#include "foundation/geometry.h"

// ---- Seams the window installs -----------------------------------------------

// True when the layer (0..44) is active for editing (null: every layer is).
extern std::function<bool(uint8_t layer)> EditLayerActive;
// The "Drilled Text" dialog: on OK true with the edited text (at most
// maxLength characters) and orientation (null: the text cannot be edited).
extern std::function<bool(std::string& text, int maxLength, bool& vertical)> DrilledTextDialog;
// The "New Feed Rate" dialog (forZ: "New Z Offset"): on OK true with the
// scope 0 (up to the next change), 1 (this cut only) or 2 (the whole
// chain). Null: scope 0 without asking.
extern std::function<bool(int& scope, bool forZ)> FeedScopeDialog;

// Installs the editors as ECO's entity-editor factory.
void InstallEntityEditors();

// ---- Field codes (indices in CommandCodes) -------------------------------------

enum : uint8_t {
  fcCI = 16, fcCO = 17, fcCZ = 20, fcFE = 38, fcHE = 45, fcLC = 56, fcMS = 68, fcRA = 88,
  fcTN = 118, fcX1 = 134, fcX2 = 135, fcXC = 136, fcXE = 138, fcXS = 139,
  fcY1 = 141, fcY2 = 142, fcYC = 143, fcYE = 145, fcYS = 146,
};

// Key codes the editors act on.
constexpr uint16_t vkEnter = 13;
constexpr uint16_t vkEscape = 27;
constexpr uint16_t vkDelete = 46;

// The coordinate range of the fields: plus or minus 2^30 - 1.
constexpr int32_t EditRange = 1073741823;

// ---- Template text ------------------------------------------------------------------

// The body of an edit field after its opening "~": value, type letter,
// bounds, the code twice and the closing "~".
std::string FieldBody(double value, char type, double low, double high, uint8_t code);
// A whole button field: "~0.0C[" caption "]" code "~".
std::string ButtonField(const std::string& caption, uint8_t code);
// The two-letter code of an index.
std::string CodeText(uint8_t code);
// Angle (0..360, to 0.001 degree, as RealToStr writes it) and length (as
// FormatCoordinate writes it) of the segment between two display points.
std::string SegmentAngleText(const TIntPoint& a, const TIntPoint& b);
std::string SegmentLengthText(const TIntPoint& a, const TIntPoint& b);
// Display orientation of a stored point, and back.
TIntPoint ToDisplay(const TIntPoint& p);
TIntPoint FromDisplay(const TIntPoint& p);

// The frame the three editors share: the saved prompt lines, the command
// entry bracket, the editable-field set and the decoding of events.
class TTemplateEditor : public TEntityEditor {
 public:
  ~TTemplateEditor() override;
  bool HandleEvent(TInputEvent& event) final;
  // Redraws the entity in force in the highlight colour.
  void Show() override = 0;
  bool Active() const { return Active_; }

 protected:
  TTemplateEditor();
  // A field with the code was accepted with the (rounded) value.
  virtual void FieldAccepted(uint8_t code, double value) = 0;
  // Enter, Escape or Delete; the edit then ends.
  virtual void EndingKey(uint16_t key) = 0;
  // Any other key.
  virtual void OtherKey() {}
  // Builds prompt lines 1 and 2 from the current values.
  virtual void BuildTemplate() = 0;
  // The editor is freed while still active: take back what it shows.
  virtual void Abandon() = 0;
  // BuildTemplate, then prompt line 3.
  void RefreshTemplate();
  void SetEditable(std::initializer_list<uint8_t> codes);
  static void Lines(const std::string& line1, const std::string& line2);
  static std::string O(int32_t value, uint8_t code, int32_t low = -EditRange, int32_t high = EditRange) {
    return FieldBody(value, 'O', low, high, code);
  }
  static std::string L(int32_t value, uint8_t code, int32_t low, int32_t high) {
    return FieldBody(value, 'L', low, high, code);
  }
  // Working copies and previews belong to the editor, not to the job: what
  // is built inside this scope leaves the modified flags as they were.
  class TWorkingCopyScope {
   public:
    TWorkingCopyScope();
    ~TWorkingCopyScope();
    TWorkingCopyScope(const TWorkingCopyScope&) = delete;
    TWorkingCopyScope& operator=(const TWorkingCopyScope&) = delete;

   private:
    bool Database_;
    std::array<bool, 5> RoutLayers_;
  };
  // An edit was saved or deleted on the layer: the job is modified.
  static void MarkEdited(uint8_t layer);
  std::bitset<160> Editable_;
  bool LayerActive_ = false;

 private:
  TPromptBuffer SavedPrompts_;
  bool Active_ = true;
};

// The editor of the mode (0 drill, 1 rout, 2 CAD) for the store index; null
// when the index names no live entity.
std::unique_ptr<TEntityEditor> MakeEntityEditor(uint8_t mode, int32_t index);
std::unique_ptr<TEntityEditor> MakeDrillEntityEditor(int32_t index);
std::unique_ptr<TEntityEditor> MakeRoutEntityEditor(int32_t index);
std::unique_ptr<TEntityEditor> MakeCadEntityEditor(int32_t index);
