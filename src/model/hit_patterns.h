// Hit-pattern generators: drilled slots, drilled circles and drilled text are
// drilled as sequences of single hits. Each generator hands its hits, one at a
// time, to a virtual EmitHit; the base classes emit into nothing, and the
// display, the tape writers and the exports derive from them to draw, write
// or collect the hits. Coordinates are database units; hit positions are
// computed in doubles and rounded to the nearest integer (ties to even).
#pragma once
#include <cstdint>
#include <string>

#include "foundation/geometry.h"
#include "foundation/settings_families.h"

// The 5x7 dot-matrix font of drilled text: characters '+' (43) to 'Z' (90),
// seven row bytes from the top row down; bit value 16 is the leftmost of the
// five columns. Characters without a glyph are blank.
constexpr int kDotMatrixFirst = '+';
constexpr int kDotMatrixLast = 'Z';
extern const uint8_t DotMatrixFont[kDotMatrixLast - kDotMatrixFirst + 1][7];

// Most hits one pattern emits (and counts); a pattern that would need more
// stops there.
constexpr int32_t kMaxPatternHits = 1000000;

// The cusp left between hits of diameter d at pitch p:
// d/2 - sqrt((d/2)^2 - (p/2)^2); 999,999,999.9 when p >= d.
double CuspHeight(double p, double d);

// ---- Drilled text --------------------------------------------------------

class TDrilledTextPattern {
 public:
  // pitch = nearest(1.2 x hitDiameter); a diameter of 0 or less stands for
  // 0.0347 inch. orientation is a board orientation 1..8 applied to every hit.
  TDrilledTextPattern(const std::string& text, int32_t hitDiameter, uint8_t orientation,
                      bool vertical);
  virtual ~TDrilledTextPattern() = default;

  // Receives each dot, relative to the text's origin.
  virtual void EmitHit(int32_t x, int32_t y) {}

  // Emits every dot: glyphs from left to right, each from its bottom row up
  // and each row from left to right. Characters outside '+'..'Z' are blank.
  void Generate();
  // Width and height of the text block, turned like the hits.
  void GetExtent(int32_t& width, int32_t& height) const;
  // Columns 0..5 of the character's glyph up to its rightmost dot.
  static int32_t GlyphWidth(char c);

  std::string Text;
  int32_t Advance = 0;  // X of the next glyph while generating
  int32_t Pitch = 0;
  uint8_t Orientation = 1;
  bool Vertical = false;
};

// Counts the hits of a text (hit diameter 500, orientation 1, horizontal).
class TTextHitCounter : public TDrilledTextPattern {
 public:
  explicit TTextHitCounter(const std::string& text);
  void EmitHit(int32_t x, int32_t y) override { ++Counter; }
  int32_t Counter = 0;
};

// ---- Drilled circle ------------------------------------------------------

class TDrilledCirclePattern {
 public:
  // a and b of 0 become 1; the drill diameter is the larger of a and b, the
  // cusp limit is b.
  TDrilledCirclePattern(int32_t centerX, int32_t centerY, int32_t radius, int32_t a, int32_t b);
  virtual ~TDrilledCirclePattern() = default;

  virtual void EmitHit(int32_t x, int32_t y) {}

  // One hit at the centre when the drill is at least as large as the circle;
  // else hits on the radius (circle radius - drill radius), starting at the
  // top and going clockwise, just enough that the cusps between neighbours
  // stay within the cusp limit.
  void Generate();
  int32_t Count() const { return HitCount; }

  int32_t CenterX = 0;
  int32_t CenterY = 0;
  int32_t Radius = 0;
  int32_t DrillDiameter = 1;
  int32_t CuspLimit = 1;
  int32_t HitCount = 0;
};

// Number of hits of a circle of the given diameter cut by a drill of
// diameter drill with cusps of at most cusp (1 to kMaxPatternHits).
int32_t CircleHitCount(double cusp, double drill, double diameter);

// ---- Drilled slot --------------------------------------------------------

class TDrilledSlotPattern {
 public:
  // kind 0: row-refinement pass, 1: subdivision pass (others emit nothing).
  // a and b of 0 become 1; the drill diameter is the larger, the cusp limit b.
  TDrilledSlotPattern(uint8_t kind, TIntPoint end1, TIntPoint end2, int32_t a, int32_t b);
  virtual ~TDrilledSlotPattern() = default;

  virtual void EmitHit(int32_t x, int32_t y) {}
  // A hit with the pilot tool.
  virtual void EmitPilotHit(int32_t x, int32_t y) {}
  // Called once when a slot shorter than the drill starts.
  virtual void BeginShortSlot() {}

  void Generate();
  // Generate with short-slot compensation: the hits after the first are
  // moved sideways (left of the direction from end 1 to end 2 with side
  // set, else right) by drill diameter x factor, at most maxCompensation
  // inches. The compensation is off again afterwards.
  void GenerateWith(bool compensate, bool side, double maxCompensationInches, double factor);
  // The pilot pass with a pilot drill of the given diameter.
  void GeneratePilot(int32_t pilotDiameter);
  // True when the ends lie closer together than the drill diameter.
  bool IsShort() const;
  int32_t Count() const { return HitCount; }

  uint8_t Kind = 0;
  TIntPoint End1;
  TIntPoint End2;
  int32_t DrillDiameter = 1;
  int32_t PilotDiameter = 0;
  int32_t CuspLimit = 1;
  int32_t HitCount = 0;
  double MaxCompensation = 0.0;  // database units
  double CompensationFactor = 0.0;
  bool Compensate = false;
  bool Side = false;
  // Set by an EmitHit that wants no more hits: the pattern ends there.
  bool Stopped = false;

 private:
  bool Hit(double x, double y);
  bool PilotHit(double x, double y);
  void RowRefinement();
  void Subdivision();
  void ShortSlot();
  void PilotPass();
  int32_t PilotHits = 0;
};

// Runs a slot the way the drilled slot algorithm settings ask, whatever kind
// the pattern was made with: the direction byte picks the pass (0
// bi-directional: the row-refinement pass, whose rows walk back and forth; 1
// uni-directional: the subdivision pass); with pilotDiameter above 0 a long
// slot under "Multi Tool Piloting" and a short slot under method 2 get the
// pilot pass; a short slot under method 1 is compensated by the factor (in
// percent of the drill) up to the maximum compensation.
void GenerateSlotHits(TDrilledSlotPattern& slot, const TSlotAlgorithmSettings& settings,
                      int32_t pilotDiameter);
// The pilot drill of a slot drilled with a tool of the given diameter: the
// largest tool of the drill tool table whose diameter lies within the
// settings' minimum and maximum percent of it; 0 when no tool does.
int32_t PilotToolFor(int32_t slotDiameter, const TSlotAlgorithmSettings& settings);

// ---- Hit counters ----------------------------------------------------------

int32_t CountTextHits(const std::string& text);
// Hits of the row-refinement pass.
int32_t CountSlotHits(TIntPoint end1, TIntPoint end2, int32_t a, int32_t b);
int32_t CountCircleHits(TIntPoint center, int32_t radius, int32_t a, int32_t b);
