// Fixture of the clean-up tests: a fresh CAD database and journal, the
// headless view with an open status box, and helpers that build and read
// drawings.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "korvex_test.h"
#include "model/view_services.h"

// A headless view whose status box presses Cancel at the given update.
class TCancellingView : public THeadlessViewServices {
 public:
  void UpdateStatus(const std::string& text, int32_t percent, bool& cancelled) override {
    ++Updates;
    if (CancelAtUpdate > 0 && Updates >= CancelAtUpdate) CancelPressed = true;
    Texts.push_back(text);
    THeadlessViewServices::UpdateStatus(text, percent, cancelled);
  }
  int32_t CancelAtUpdate = 0;  // 0: never
  int32_t Updates = 0;
  std::vector<std::string> Texts;
};

class TCleanupTest : public TKorvexTest {
 protected:
  void SetUp() override;
  void TearDown() override;

 public:
  // Live entities of every layer, one text each, sorted: "L x1 y1 x2 y2"
  // (ends in ascending order), "A sx sy ex ey cx cy", "C cx cy r", "P x y";
  // a layer other than 0 is appended as " @layer".
  static std::vector<std::string> Drawing();
  static std::string Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  static std::string Arc(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy);
  static std::string Circle(int32_t cx, int32_t cy, int32_t r);
  // Adds the chords of a circle about the origin from angle a0 through n
  // steps of step degrees (points rounded).
  static void AddChords(double radius, double a0, double step, int32_t n, int32_t cx = 0,
                        int32_t cy = 0);
  static bool SlotDeletedAt(int32_t index);

  TCancellingView View;
};
