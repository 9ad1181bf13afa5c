// Commands that gather their arguments from the user. A command is defined
// by its text with placeholders, "ADDLINE(CLICK,CLICK)", one prompt per
// placeholder and an executor that receives the text with every
// placeholder filled in:
//   CLICK   a point: a left click (grid and ortho applied), a snap, or typed
//           "x,y" / "@dx,dy" (display units, expressions allowed);
//   RCLICK  a point given with the right button;
//   PICK    an entity picked with a click, written as its reference;
//   PICKAT  the same followed by the point where it was picked;
//   VALUE   a typed number within the definition's bounds;
//   TEXT    typed text.
// Anything else in the list is copied as it stands.
//
// The texts being entered form a queue: the command's own text first, then
// any snap or setting pressed while it waits (a snap, "POSMID(PICK)",
// gathers its own arguments and hands the point it finds to the waiting
// CLICK). BackUpOneStep takes back the newest argument given.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "command/command_interpreter.h"
#include "command/user_panel.h"
#include "foundation/geometry.h"

// Runs a completed command text; false when it changed nothing (it has
// told the user why).
using TCommandExecutor = std::function<bool(const std::string& text)>;

// How the rubber band follows the pointer. The band is given the points of
// the command so far and the pointer last:
//   bandLine       the line through them (in rout mode with the arrow of
//                  the cutting direction at the pointer);
//   bandRectangle  the rectangle of the last two;
//   bandCircle     the circle about the first through the pointer;
//   bandArcEnds    start, end, then the centre: the arc from the start
//                  counter-clockwise toward the end, and the radius line to
//                  the end (before the end is given, the line);
//   bandArcThrough start, a point on the arc, then the end: the arc through
//                  the three (before that, the line);
//   bandCorner     two rays from a common point: a line with two points;
//                  with three (ray end, corner, ray end) both rays and the
//                  arc of the angle between them;
//   bandCrossHair  a cross at the pointer while the point is placed.
enum TBandKind : uint8_t {
  bandNone,
  bandLine,
  bandRectangle,
  bandCircle,
  bandArcEnds,
  bandArcThrough,
  bandCorner,
  bandCrossHair
};

struct TArgumentCommandDef {
  std::string Text;                  // "ADDLINE(CLICK,CLICK)"
  std::string Title;                 // prompt line 1
  std::vector<std::string> Prompts;  // one per placeholder
  TCommandExecutor Execute;
  bool Repeat = false;               // starts again after each run
  TBandKind Band = bandNone;
  double Low = -1e9;                 // bounds of the VALUE placeholders
  double High = 1e9;
  // Runs when the command (or, gathered in between, this text) is
  // cancelled before it completed.
  std::function<void()> OnCancel;
  // The database its picks search (0 drill, 1 rout, 2 CAD); 255: the one
  // of the editor mode.
  uint8_t PickMode = 255;
  // A PICK that hits nothing opens a window instead: the next left click
  // closes it and the argument becomes its two corners "x1,y1,x2,y2", for
  // the executor to select what lies inside.
  bool WindowPick = false;
  // Runs when the entity of the command's first PICK is given, with the
  // text so far ("BREAK($0000:$0001)"): gives the text that takes the
  // command's place, fixed arguments read from the entity and the
  // placeholders still to fill ("BREAKLI($0000:$0001,...,CLICK,CLICK)"), or
  // "" to refuse the entity (the command waits for another pick).
  std::function<std::string(const std::string& text)> Expand;
};

// A snap or construction: from its own completed text, the last point of
// the waiting command (when there is one) and the pointer of the last
// pick, the point it stands for; false when there is none (the user is
// told).
using TPointEvaluator = std::function<bool(const std::string& text, const TIntPoint* last,
                                           const TIntPoint& pointer, TIntPoint& point)>;

// A snap given where the waiting command has no point yet (the first end of
// a line) may stand for a construction that the next point settles: a
// tangent or a perpendicular from the picked entity, a parallel. The
// deferrer turns the snap's completed text into a token ("TNCIR[...]") and
// a provisional point (for the rubber band); false when it cannot (the
// user was told).
using TConstructionDeferrer = std::function<bool(const std::string& text, const TIntPoint& pointer,
                                                 std::string& token, TIntPoint& provisional)>;
// Settles a token once the next point is known: next is that point (a
// click, a typed point or a snap's point), or null when nextSnap, the
// completed text of the snap given next, is first offered to build on the
// token itself (a tangent to two circles). Sets the token's point (first)
// and the next point (second) when settled; refused when the pair makes no
// point (the user was told why); crOther when the snap does not build on
// the token (its own point is then offered as next).
enum TConstructionResult : uint8_t { crSettled, crRefused, crOther };
using TConstructionResolver = std::function<TConstructionResult(
    const std::string& token, const std::string& nextSnap, const TIntPoint* next, const TIntPoint& pointer,
    TIntPoint& first, TIntPoint& second)>;
// Installed by the drawing edit commands.
void SetConstructionResolver(TConstructionResolver resolver);

// A point typed at a point prompt: "x,y" absolute or "@dx,dy" from the last
// point (when there is one), in display units. A text that is no point
// within the database extent is refused with the command line's message and
// answers false.
bool AcceptTypedPoint(const std::string& typed, const TIntPoint* last, TIntPoint& point);

// Defines an argument command under a number.
void DefineArgumentCommand(int32_t number, const TArgumentCommandDef& def);
// Defines a snap: pressed while a command waits for a point it gathers its
// own arguments (text "POSMID(PICK)") and then gives the point; pressed
// otherwise it beeps and does not start.
void DefineSnapCommand(int32_t number, const std::string& text, const std::string& title,
                       const std::vector<std::string>& prompts, TPointEvaluator evaluate,
                       TConstructionDeferrer defer = nullptr);
// Defines a setting ("SET(VALUE)"): pressed while a command waits it is
// gathered in between and the command goes on; else it runs on its own.
void DefineSettingCommand(int32_t number, const TArgumentCommandDef& def);

// ---- Services installed by the window and the edit commands ----
struct TCommandServices {
  // The entity of the mode's database (0 drill, 1 rout, 2 CAD) nearest to
  // the point within the aperture; 0 when none.
  std::function<int32_t(int32_t x, int32_t y, int32_t aperture, uint8_t mode)> Pick;
  // Shows the picked entity of the mode's database highlighted (on) or
  // normal again (off).
  std::function<void(int32_t index, bool on, uint8_t mode)> Highlight;
  // The pick aperture in database units (the view's few pixels).
  std::function<int32_t()> Aperture;
  // The grid step in database units (0: no grid).
  std::function<double()> GridStep;
  // Draws a rubber band of world points (exclusive-or: twice takes it off).
  std::function<void(TBandKind kind, const std::vector<TIntPoint>& points)> DrawBand;
};
extern TCommandServices CommandServices;

class TArgumentCommand : public TInteractiveCommand {
 public:
  explicit TArgumentCommand(const TArgumentCommandDef& def);
  ~TArgumentCommand() override;

  uint16_t InputMode() const override { return Finished_ ? 0 : ievMouseDown | ievMouseMove; }
  bool HandleEvent(TInputEvent& event) override;
  void Cancel() override;
  bool TypedText(const std::string& text) override;
  bool BackUpOneStep() override;
  void QueueTexts(std::vector<std::string>& texts) const override;
  bool Busy() const override { return Executing_; }
  void ShowPicked() override;

  // True when the next argument is a point.
  bool WaitsForPoint() const;
  // Pushes a snap or setting frame; false when it does not fit here.
  bool PushSnap(const TArgumentCommandDef& def, TPointEvaluator evaluate,
                TConstructionDeferrer defer = nullptr);
  bool PushSetting(const TArgumentCommandDef& def);

 private:
  struct TFrame {
    TArgumentCommandDef Def;
    TPointEvaluator Evaluate;       // snaps only
    TConstructionDeferrer Defer;    // snaps that may stand for a construction
    std::vector<std::string> Slots; // placeholders and fixed arguments
    // A point given as a construction token, settled by the next point:
    // its index in Given and in Points (-1: none).
    int DeferredGiven = -1;
    int DeferredPoint = -1;
    std::vector<std::string> Given; // one entry per slot filled so far
    std::vector<TIntPoint> Points;  // the points given, in order
    std::vector<int32_t> Picked;    // the entities picked, in order
    // The text the frame had before its Expand, and the prompts used then.
    std::string ExpandedFrom;
    size_t PromptsBefore = 0;
  };
  // Replaces the root text by the Expand of the pick just given; false
  // when the pick was refused.
  bool ExpandRoot();
  // Back from the expanded text to the pick.
  void UndoExpand();
  TFrame& Top() { return Frames_.back(); }
  const TFrame& Top() const { return Frames_.back(); }
  const std::string* NextSlot() const;
  void SkipFixed(TFrame& frame);
  // Gives the next slot a value; completes frames as they fill. False when
  // the command has finished.
  bool Give(const std::string& value, const TIntPoint* point, int32_t picked);
  bool CompleteFrames();
  void ShowPrompt();
  void ShowBand(const TIntPoint& pointer);
  void HideBand();
  void Unhighlight(const TFrame& frame);
  static uint8_t PickModeOf(const TFrame& frame);
  TIntPoint ApplyGridAndOrtho(TIntPoint p) const;
  // The newest point given in the frames below the index.
  const TIntPoint* LastPointBelow(size_t frame) const;
  void RestorePrompts();
  void Reset();

  // Ends the window of a WindowPick; false when the command finished.
  bool CloseWindow(const TIntPoint& pointer);
  // True when a point slot follows the next slot of the frame.
  static bool PointSlotFollows(const TFrame& frame);
  // Puts the settled point of the frame's construction in its place.
  static void Settle(TFrame& frame, const TIntPoint& first);

  std::vector<TFrame> Frames_;
  TArgumentCommandDef RootDef_;  // the command as started
  bool WindowOpen_ = false;  // a WindowPick's first corner is given
  TIntPoint WindowCorner_{0, 0};
  TPromptBuffer SavedPrompts_;
  bool PromptsSaved_ = false;
  TIntPoint Pointer_{0, 0};
  bool Finished_ = false;
  bool Executing_ = false;  // the completed text is being carried out
};
