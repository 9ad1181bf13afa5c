// Shared set-up of the rout model tests: a rout store and Seq of their own,
// rout editing mode with the display toggles fixed, and a screen picture that
// records the rout drawing operations as text.
#pragma once
#include <string>
#include <vector>

#include "foundation/settings.h"
#include "model/entity_store.h"
#include "model/rout_entities.h"
#include "model/rout_sequence.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/paths.h"
#include "recording_surface.h"

// Records the rout operations that the base surface leaves empty.
class TRoutRecordingSurface : public TRecordingSurface {
 public:
  using TRecordingSurface::TRecordingSurface;
  static std::string Args(std::initializer_list<long long> values) {
    std::string s;
    for (long long v : values) s += (s.empty() ? "" : ",") + std::to_string(v);
    return s;
  }
  void Note(const std::string& name, std::initializer_list<long long> values) {
    Calls.push_back(name + "(" + Args(values) + ")");
  }
  void SetPenMode(uint8_t mode) override {
    Note("SetPenMode", {mode});
    TRecordingSurface::SetPenMode(mode);
  }
  void DrawRoutLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t w) override {
    Note("DrawRoutLine", {x1, y1, x2, y2, w});
  }
  void DrawFeedRateLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t w,
                            int32_t feed) override {
    Note("DrawFeedRateLineMark", {x1, y1, x2, y2, w, feed});
  }
  void DrawZOffsetLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t w) override {
    Note("DrawZOffsetLineMark", {x1, y1, x2, y2, w});
  }
  void DrawTableMove(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Note("DrawTableMove", {x1, y1, x2, y2});
  }
  void DrawRoutArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc, int32_t yc,
                   int32_t w) override {
    Note("DrawRoutArc", {x1, y1, x2, y2, xc, yc, w});
  }
  void DrawFeedRateArcMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc,
                           int32_t yc, int32_t w, uint16_t feed) override {
    Note("DrawFeedRateArcMark", {x1, y1, x2, y2, xc, yc, w, feed});
  }
  void DrawCircleDia(double cx, double cy, double d) override {
    Note("DrawCircleDia", {(long long)cx, (long long)cy, (long long)d});
  }
  void DrawNumber(int32_t x, int32_t y, int32_t n) override { Note("DrawNumber", {x, y, n}); }
  void DrawPolygonMark(int32_t x, int32_t y, double size, TColor colour) override {
    Note("DrawPolygonMark", {x, y, (long long)size, (long long)colour});
  }
  // Calls that draw something (not pen changes).
  std::vector<std::string> Drawn() const {
    std::vector<std::string> out;
    for (const std::string& c : Calls)
      if (c.rfind("Set", 0) != 0) out.push_back(c);
    return out;
  }
};

// A rout store and Seq per test, rout editing, layer 40 current, every layer
// shown, the toggles HeadUpMoves, DisplayStepsDashed and
// DisplaySequenceNumbers on, GougeDetect and RoutConstructionPoints off,
// colours by layer.
class TRoutTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    HeadlessViewServices().PictureOverride = &Surface;
    DrawSurface = nullptr;
    EditorMode = emRout;
    ResetLayerMasks();
    CurrentLayer = 40;
    HeadUpMoves = true;
    DisplayStepsDashed = true;
    DisplaySequenceNumbers = true;
    GougeDetect = false;
    RoutConstructionPoints = false;
    RoutColors = 1;
    DatabaseModified = false;
    RoutLayerModified.Fill(false);
    RoutEntityCount = 0;
    RoutEntities = new TRoutEntities();
    Seq = new TSequenceStore();
  }
  void TearDown() override {
    delete Seq;
    Seq = nullptr;
    for (int32_t i = 1; i <= RoutEntityCount; ++i) delete RoutEntities->GetSlot(i)->Entity;
    delete RoutEntities;
    RoutEntities = nullptr;
    RoutEntityCount = 0;
    DrawSurface = nullptr;
    ResetHeadlessViewServices();
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }

  // Appends the entity to the store on its layer and to the layer's
  // sequence at the insertion point; its store index.
  int32_t Add(TRoutEntity* entity, uint8_t layer = 40) {
    TEntitySlot* slot = RoutEntities->AddSlot(RoutEntityCount);
    slot->Flags = NCLayerBit(layer);
    slot->Entity = entity;
    Seq->InsertHandle(layer, RoutEntityCount);
    return RoutEntityCount;
  }
  void MarkDeleted(int32_t index) { RoutEntities->GetSlot(index)->Flags |= SlotDeletedBit; }

  // Texts of the message boxes shown so far.
  static std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    for (const auto& b : ShownMessageBoxes()) out.push_back(b.Text);
    return out;
  }

  TRoutRecordingSurface Surface;
};
