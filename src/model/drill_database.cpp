#include "model/drill_database.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_handles.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "platform/paths.h"

TDrillDatabase* DRDB = nullptr;
TDrillUndo* DrillUndo = nullptr;
std::function<void(bool show)> RoutOriginMarker;

namespace {

constexpr double UnitsPerInch = 25400000.0;

}  // namespace

void DrillViewRects(TRect& source, TRect& target) {
  TViewServices& v = ViewServices();
  target = {0, 0, v.ViewWidth(), v.ViewHeight()};
  double ppi = v.PixelsPerInch();
  TRealPoint tl = v.ViewTopLeft();
  int32_t sx = SaturatingRound((tl.X - v.PictureLeftX()) / UnitsPerInch * ppi);
  int32_t sy = SaturatingRound((v.PictureTopY() - tl.Y) / UnitsPerInch * ppi);
  source = {sx, sy, ClampCompToInt(int64_t(sx) + target.Right),
            ClampCompToInt(int64_t(sy) + target.Bottom)};
}

void SetErasePen() {
  TDrawingBase& p = PictureSurface();
  p.SetColor(BackgroundColor);
  p.SetPenMode(4);
  p.SetPenStyle(0);
}

bool CheckDrillTool(int32_t tool) {
  if (ValidToolNumber(tool)) return true;
  ErrorBox("Tool number " + std::to_string(tool) + " is outside the tool table (1 to 1000).");
  return false;
}

bool CheckDrillLayer(int32_t layer) {
  if (ValidDrillLayer(layer)) return true;
  // A rout layer is named as the layer bar names it.
  const std::string name = IsRoutLayer(layer) ? "R" + std::to_string(layer - kFirstRoutLayer) : std::to_string(layer);
  ErrorBox("Layer " + name + " is not a drill layer.");
  return false;
}

// ---- Construction --------------------------------------------------------------------

TDrillDatabase::TDrillDatabase() {
  if (DrillEntities == nullptr) DrillEntities = new TDrillEntities();
  DrillEntities->SetCount(0);
  DrillEntityCount = 0;
  LoadDrilledSlotSettings(DrilledSlots);
  LoadDrilledCircleSettings(DrilledCircleRadius);
  MakeTapeDefaults = DefaultMakeTapeDefaults();
  LoadMakeTapeDefaults(MakeTapeDefaults);
  LoadFirstLastHitDefaults(FirstLastHitDefaults);
  ActiveTools.Fill(true);
  DrillOutputFormat = DefaultDrillFormat(true);
  DrillInputFormat = DefaultDrillFormat(false);
  LoadDrillFormatDefaults(DrillOutputFormat, true);
  LoadDrillFormatDefaults(DrillInputFormat, false);
  LoadSlotAlgorithmSettings(SlotAlgorithm);
  SlotAlgorithm.CuspDefault = std::max<int32_t>(12700, SlotAlgorithm.CuspDefault);
}

TDrillDatabase::~TDrillDatabase() {
  if (DrillEntities == nullptr) return;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TEntitySlot* s = DrillEntities->GetSlot(i);
    delete s->Entity;
    s->Entity = nullptr;
  }
  DrillEntityCount = 0;
  delete DrillEntities;
  DrillEntities = nullptr;
}

void TDrillDatabase::Clear() {
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TEntitySlot* s = DrillEntities->GetSlot(i);
    delete s->Entity;
    *s = TEntitySlot{};
  }
  DrillEntityCount = 0;
  DrillEntities->SetCount(0);
  G93OriginX = 0;
  G93OriginY = 0;
  MainPartSet = false;
  PickCount = 0;
  ToolTable.Fill(TToolRecord{});
  // The journal's indices named the entities just freed.
  if (DrillUndo != nullptr) DrillUndo->Reset();
}

// ---- Per-index primitives ---------------------------------------------------------------

TDrillEntity* TDrillDatabase::EntityAt(int32_t index) {
  if (index < 1 || index > DrillEntityCount) return nullptr;
  return static_cast<TDrillEntity*>(DrillEntities->GetSlot(index)->Entity);
}

uint32_t TDrillDatabase::WordAt(int32_t index) {
  if (index < 1 || index > DrillEntityCount) return 0;
  return DrillEntities->GetSlot(index)->Flags;
}

void TDrillDatabase::EraseEntity(int32_t index) {
  if (TDrillEntity* e = EntityAt(index)) e->Erase();
}

void TDrillDatabase::DrawEntity(int32_t index) {
  TDrillEntity* e = EntityAt(index);
  uint32_t layers = WordAt(index) & 0x3FFu;
  if (e != nullptr && layers != 0) e->Draw(uint8_t(kFirstDrillLayer + LayerOfBit(layers)));
}

void TDrillDatabase::MarkDeleted(int32_t index) {
  if (index >= 1 && index <= DrillEntityCount) DrillEntities->GetSlot(index)->Flags |= SlotDeletedBit;
}

void TDrillDatabase::Undelete(int32_t index) {
  if (index >= 1 && index <= DrillEntityCount)
    DrillEntities->GetSlot(index)->Flags &= ~SlotDeletedBit;
}

bool TDrillDatabase::DeleteEntity(int32_t index) {
  if (static_cast<int32_t>(WordAt(index)) < 1) return false;
  MarkDeleted(index);
  JournalDelete(DrillUndo, index);
  return true;
}

bool TDrillDatabase::EraseEntityImage(int32_t index) {
  SetErasePen();
  EraseEntity(index);
  return true;
}

bool TDrillDatabase::MoveToLayer(int32_t index, uint8_t layer) {
  TDrillEntity* e = EntityAt(index);
  if (e == nullptr || static_cast<int32_t>(WordAt(index)) < 0) return false;
  if (!CheckDrillLayer(layer)) return false;
  int32_t n = Append(e->Clone(), NCLayerBit(layer), false);
  if (n == 0) return false;
  EraseEntity(index);
  MarkDeleted(index);
  JournalDelete(DrillUndo, index);
  DrawEntity(n);
  JournalAdd(DrillUndo, n);
  return true;
}

// ---- Display ---------------------------------------------------------------------------

void TDrillDatabase::ShowOriginMarker() {
  OriginMarkerHidden = false;
  DrawOriginMarker();
  ViewServices().UpdateView();
}

void TDrillDatabase::DrawOriginMarker() {
  if (OriginMarkerHidden) return;
  if (EditorMode == emDrill) {
    if (ShowG93) PictureSurface().DrawOriginMark(-G93OriginX, -G93OriginY, 0x00FF00);
  } else if (RoutOriginMarker) {
    RoutOriginMarker(true);
  }
}

void TDrillDatabase::HideOriginMarker() {
  if (EditorMode == emDrill)
    PictureSurface().DrawOriginMark(-G93OriginX, -G93OriginY, BackgroundColor);
  else if (RoutOriginMarker)
    RoutOriginMarker(false);
  // Until it is shown again (at the origin or layer that follows) the
  // picture, painted again meanwhile, leaves it out.
  OriginMarkerHidden = true;
  ViewServices().UpdateView();
}

void TDrillDatabase::Redraw() {
  DrawOriginMarker();
  if (DrillEntityCount < 1) return;
  TViewServices& v = ViewServices();
  double ppi = v.PixelsPerInch();
  if (!(ppi > 0.0)) return;
  int32_t left = SaturatingRound(v.PictureLeftX());
  int32_t top = SaturatingRound(v.PictureTopY());
  int32_t right = SaturatingRound(left + v.PictureWidth() / ppi * UnitsPerInch);
  int32_t bottom = SaturatingRound(top - v.PictureHeight() / ppi * UnitsPerInch);
  uint16_t xMask = BandMask(left, right);
  uint16_t yMask = BandMask(top, bottom);

  THourGlassCursor hourglass;
  TRect source, target;
  DrillViewRects(source, target);
  TProgressiveCopy copy(100, source, target);
  TDrawingBase& picture = v.Picture();
  picture.Dirty = true;
  picture.SetColor(CurrentLayer < LayerColors.size() ? LayerColors[CurrentLayer] : DimColor);
  picture.SetPenStyle(0);
  // Layer by layer, each in store order: one pass over the store sorts the
  // live entities of the displayed layers that may reach the picture, so
  // the store is read once however many layers there are.
  constexpr int LayerCount = kLastDrillLayer - kFirstDrillLayer + 1;
  // The lists keep their room from one redraw to the next.
  static std::array<std::vector<TDrillEntity*>, LayerCount> kept;
  static bool keptInUse = false;
  std::array<std::vector<TDrillEntity*>, LayerCount> own;
  auto& inView = keptInUse ? own : kept;
  struct TInUse {
    bool& Flag;
    bool Was;
    ~TInUse() { Flag = Was; }
  } inUse{keptInUse, keptInUse};
  keptInUse = true;
  for (auto& list : inView) list.clear();
  const uint32_t displayed = DisplayedNCLayerMask & ((1u << LayerCount) - 1);
  // Slots are read page by page (each page's slots lie side by side); the
  // entities, spread over the heap, are fetched some way ahead of the test.
  constexpr int32_t Ahead = 16;
  constexpr int32_t PageSlots = TDrillEntities::PageSlots;
  for (int32_t first = 1; first <= DrillEntityCount; first += PageSlots) {
    const TEntitySlot* page = DrillEntities->GetSlot(first);
    const int32_t n = std::min(PageSlots, DrillEntityCount - first + 1);
    for (int32_t k = 0; k < n; ++k) {
      if (k + Ahead < n) __builtin_prefetch(page[k + Ahead].Entity);
      // Exactly one displayed layer's bit, not deleted.
      const uint32_t f = page[k].Flags;
      if ((f & displayed) == 0 || (f & (f - 1)) != 0) continue;
      auto* e = static_cast<TDrillEntity*>(page[k].Entity);
      if ((e->XBand & xMask) == 0 || (e->YBand & yMask) == 0) continue;
      inView[size_t(std::countr_zero(f))].push_back(e);
    }
  }
  for (int k = 0; k < LayerCount; ++k) {
    const uint8_t layer = uint8_t(kFirstDrillLayer + k);
    DrawDrillLayer(inView[size_t(k)], layer, copy);
  }
}

void TDrillDatabase::EraseAll() {
  if (DrillEntityCount < 1) return;
  THourGlassCursor hourglass;
  TRect source, target;
  DrillViewRects(source, target);
  TProgressiveCopy copy(100, source, target);
  TDrawingBase& picture = PictureSurface();
  picture.Dirty = true;
  picture.SetColor(BackgroundColor);
  picture.SetPenStyle(0);
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TEntitySlot* s = DrillEntities->GetSlot(i);
    if (!SlotInMask(s->Flags, DisplayedNCLayerMask)) continue;
    s->Entity->Erase();
    copy.Tick();
  }
}

// ---- Layers, compaction, statistics ----------------------------------------------------------

void TDrillDatabase::DeleteLayer(uint8_t layer) {
  if (!ValidDrillLayer(layer)) return;
  uint32_t mask = NCLayerBit(layer) | SlotDeletedBit;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TEntitySlot* s = DrillEntities->GetSlot(i);
    if (SlotInMask(s->Flags, mask)) s->Flags |= SlotDeletedBit;
  }
  Compact();
}

bool TDrillDatabase::LayerIsEmpty(uint8_t layer) {
  if (!ValidDrillLayer(layer)) return true;
  uint32_t bit = NCLayerBit(layer);
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (DrillEntities->GetSlot(i)->Flags & bit) return false;
  return true;
}

void TDrillDatabase::Compact() {
  THourGlass hourglass;
  hourglass.Show("Compacting database.  Please wait...");
  int32_t k = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TEntitySlot* s = DrillEntities->GetSlot(i);
    if (SlotDeleted(s->Flags)) {
      delete s->Entity;
      *s = TEntitySlot{};
      continue;
    }
    ++k;
    if (k < i) {
      *DrillEntities->GetSlot(k) = *s;
      *s = TEntitySlot{};
    }
  }
  bool renumbered = k != DrillEntityCount;
  DrillEntityCount = k;
  DrillEntities->SetCount(k);
  if (renumbered) {
    // Every stored index may now name another entity.
    PickCount = 0;
    if (DrillUndo != nullptr) DrillUndo->Reset();
  }
}

void TDrillDatabase::CollectStatistics(TDrillStatistics& counters) {
  THourGlass hourglass;
  hourglass.Show("Collecting statistics.  Please wait...");
  counters.fill(0);
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TEntitySlot* s = DrillEntities->GetSlot(i);
    uint8_t type = s->Entity->GetType();
    if (type < etDrillHole || type > etDrillText) continue;
    ++counters[SlotDeleted(s->Flags) ? type : type + 15];
  }
}

void TDrillDatabase::StatisticsBytes(const TDrillStatistics& c, int32_t& percent,
                                     int32_t& deletedBytes) {
  int64_t deleted = int64_t(c[12]) * 22 + int64_t(c[13]) * 30 + int64_t(c[14]) * 26 +
                    int64_t(c[15]) * 279;
  int64_t total = deleted + int64_t(c[27]) * 22 + int64_t(c[28]) * 30 + int64_t(c[29]) * 26 +
                  int64_t(c[30]) * 279;
  if (total == 0) total = 1;
  deletedBytes = ClampCompToInt(deleted);
  percent = SaturatingRound(double(deleted) / double(total) * 100.0);
}

// ---- Adds ------------------------------------------------------------------------------

int32_t TDrillDatabase::Append(TDrillEntity* entity, uint32_t word, bool journal) {
  TEntitySlot* s = DrillEntities->AddSlot(DrillEntityCount);
  if (s == nullptr) {
    delete entity;
    return 0;
  }
  if (journal) JournalAdd(DrillUndo, DrillEntityCount);
  s->Flags = word;
  s->Entity = entity;
  return DrillEntityCount;
}

int32_t TDrillDatabase::TakeEntities(TDrillEntityBatch& batch) {
  const int32_t count = batch.Count_;
  if (count == 0) return 0;
  if (DrillEntityCount == 0 && DrillEntities->Count() == 0) {
    // The batch's pages become the store's; the store's empty ones the
    // batch's.
    batch.Slots_->SetCount(count);
    DrillEntities->SwapSlots(*batch.Slots_);
    DrillEntityCount = count;
    batch.Count_ = 0;
    batch.Free_ = batch.PageEnd_ = nullptr;
    return count;
  }
  constexpr int32_t PageSlots = TDrillEntities::PageSlots;
  const int32_t room = std::max(0, TDrillEntities::HighestIndex - std::max(0, DrillEntityCount));
  const int32_t n = std::min(count, room);
  for (int32_t done = 0; done < n;) {
    // The slots from the next index to the end of its page lie side by
    // side, and so do the batch's up to the end of theirs.
    const int32_t index = DrillEntityCount + 1;
    int32_t run = std::min(n - done, PageSlots - (index - 1) % PageSlots);
    run = std::min(run, PageSlots - done % PageSlots);
    TEntitySlot* to = DrillEntities->GetSlot(index + run - 1) - (run - 1);
    TEntitySlot* from = &batch.At(done + 1);
    for (int32_t k = 0; k < run; ++k) {
      to[k] = from[k];
      from[k].Entity = nullptr;
    }
    DrillEntityCount += run;
    done += run;
  }
  if (n < count) ReportStoreFull(DrillEntities->Name(), TDrillEntities::HighestIndex);
  // What did not fit goes with the batch.
  batch.Clear();
  return n;
}

// ---- TDrillEntityBatch -------------------------------------------------------------------

TDrillEntityBatch::TDrillEntityBatch() : Slots_(std::make_unique<TDrillEntities>()) {}

TDrillEntityBatch::~TDrillEntityBatch() { Clear(); }

TDrillEntityBatch::TDrillEntityBatch(TDrillEntityBatch&& other) noexcept
    : Slots_(std::move(other.Slots_)), Count_(other.Count_), Free_(other.Free_),
      PageEnd_(other.PageEnd_) {
  other.Count_ = 0;
  other.Free_ = other.PageEnd_ = nullptr;
}

TDrillEntityBatch& TDrillEntityBatch::operator=(TDrillEntityBatch&& other) noexcept {
  if (this != &other) {
    Clear();
    std::swap(Slots_, other.Slots_);
    std::swap(Count_, other.Count_);
    std::swap(Free_, other.Free_);
    std::swap(PageEnd_, other.PageEnd_);
  }
  return *this;
}

TEntitySlot* TDrillEntityBatch::AppendOnNewPage(uint32_t word) {
  if (Slots_ == nullptr) Slots_ = std::make_unique<TDrillEntities>();
  if (Count_ >= TDrillEntities::HighestIndex) return nullptr;
  // The store grows to the new slot, which starts a page.
  constexpr int32_t PageSlots = TDrillEntities::PageSlots;
  TEntitySlot* slot = Slots_->GetSlot(Count_ + 1);
  ++Count_;
  *slot = {word, nullptr};
  Free_ = slot + 1;
  PageEnd_ = slot - (Count_ - 1) % PageSlots + PageSlots;
  return slot;
}

void TDrillEntityBatch::Clear() {
  Free_ = PageEnd_ = nullptr;
  if (Slots_ == nullptr) return;
  for (int32_t i = 1; i <= Count_; ++i) {
    TEntitySlot* s = Slots_->GetSlot(i);
    delete s->Entity;
    s->Entity = nullptr;
  }
  Count_ = 0;
  Slots_->SetCount(0);
}

int32_t TDrillDatabase::AddEntity(TDrillEntity* entity, uint8_t layer, bool visible,
                                  bool setActive) {
  uint32_t word = NCLayerBit(layer) | (visible ? 0u : SlotDeletedBit);
  int32_t n = Append(entity, word, true);
  if (n == 0) return 0;
  if (setActive) ActiveTools[entity->Tool] = true;
  if (visible) entity->Draw(layer);
  return n;
}

int32_t TDrillDatabase::AddTemp(TDrillEntity* entity, int32_t tool) {
  int32_t n = Append(entity, ScratchDeletedWord, false);
  if (n != 0) ActiveTools[tool] = true;
  return n;
}

int32_t TDrillDatabase::AddHole(int32_t x, int32_t y, bool visible) {
  if (!CheckDrillTool(CurrentTool) || !CheckDrillLayer(CurrentLayer)) return 0;
  return AddEntity(new TDrillHole({x, y}, CurrentTool), CurrentLayer, visible, true);
}

int32_t TDrillDatabase::AddHoleOnLayer(int32_t x, int32_t y, uint8_t layer, int32_t tool,
                                       bool visible) {
  // A tape brings its holes here by the million: the checks ask no call
  // unless they fail, and the hole's bands come from its tool's diameter
  // in place (the bands its shadow would give).
  if (!(ValidToolNumber(tool) || CheckDrillTool(tool)) ||
      !(ValidDrillLayer(layer) || CheckDrillLayer(layer)))
    return 0;
  DatabaseModified = true;
  return AddEntity(new TDrillHole({x, y}, uint16_t(tool), ToolTable[tool].Diameter), layer,
                   visible, false);
}

int32_t TDrillDatabase::AddTempHole(int32_t x, int32_t y, int32_t tool) {
  if (!CheckDrillTool(tool)) return 0;
  return AddTemp(new TDrillHole({x, y}, uint16_t(tool)), tool);
}

int32_t TDrillDatabase::AddTempHoleWithSteps(int32_t x, int32_t y, TStepObject* step,
                                             int32_t tool) {
  if (!CheckDrillTool(tool)) return 0;
  auto* e = new TDrillHole({x, y}, uint16_t(tool));
  int32_t n = Append(e, ScratchLiveWord, false);
  if (n == 0) return 0;
  ActiveTools[tool] = true;
  e->SetStepObj(step);
  return n;
}

int32_t TDrillDatabase::AddSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool visible) {
  if (!CheckDrillTool(CurrentTool) || !CheckDrillLayer(CurrentLayer)) return 0;
  return AddEntity(new TDrillSlot({x1, y1}, {x2, y2}, CurrentTool), CurrentLayer, visible, true);
}

int32_t TDrillDatabase::AddSlotOnLayer(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                       uint8_t layer, int32_t tool, bool visible) {
  if (!CheckDrillTool(tool) || !CheckDrillLayer(layer)) return 0;
  return AddEntity(new TDrillSlot({x1, y1}, {x2, y2}, uint16_t(tool)), layer, visible, false);
}

int32_t TDrillDatabase::AddTempSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t tool) {
  if (!CheckDrillTool(tool)) return 0;
  return AddTemp(new TDrillSlot({x1, y1}, {x2, y2}, uint16_t(tool)), tool);
}

int32_t TDrillDatabase::AddCircle(int32_t x, int32_t y, int32_t radius, bool visible) {
  if (!CheckDrillTool(CurrentTool) || !CheckDrillLayer(CurrentLayer)) return 0;
  return AddEntity(new TDrillCircle({x, y}, radius, CurrentTool), CurrentLayer, visible, true);
}

int32_t TDrillDatabase::AddCircleOnLayer(int32_t x, int32_t y, int32_t radius, uint8_t layer,
                                         int32_t tool, bool visible) {
  if (!CheckDrillTool(tool) || !CheckDrillLayer(layer)) return 0;
  return AddEntity(new TDrillCircle({x, y}, radius, uint16_t(tool)), layer, visible, false);
}

int32_t TDrillDatabase::AddTempCircle(int32_t x, int32_t y, int32_t radius, int32_t tool) {
  if (!CheckDrillTool(tool)) return 0;
  return AddTemp(new TDrillCircle({x, y}, radius, uint16_t(tool)), tool);
}

int32_t TDrillDatabase::AddText(int32_t x, int32_t y, const std::string& text, bool vertical,
                                bool visible) {
  if (!CheckDrillTool(CurrentTool) || !CheckDrillLayer(CurrentLayer)) return 0;
  return AddEntity(new TDrillText({x, y}, text, vertical, CurrentTool), CurrentLayer, visible,
                   true);
}

int32_t TDrillDatabase::AddTextOnLayer(int32_t x, int32_t y, const std::string& text,
                                       bool vertical, uint8_t layer, int32_t tool, bool visible) {
  if (!CheckDrillTool(tool) || !CheckDrillLayer(layer)) return 0;
  return AddEntity(new TDrillText({x, y}, text, vertical, uint16_t(tool)), layer, visible,
                   false);
}

int32_t TDrillDatabase::AddTempText(int32_t x, int32_t y, const std::string& text, bool vertical,
                                    int32_t tool) {
  if (!CheckDrillTool(tool)) return 0;
  return AddTemp(new TDrillText({x, y}, text, vertical, uint16_t(tool)), tool);
}

// ---- Replacements ----------------------------------------------------------------------

void TDrillDatabase::ReplaceWith(TDrillHandle* h, TDrillEntity* created) {
  TDrillEntity* old = EntityAt(h->Index);
  EraseEntity(h->Index);
  MarkDeleted(h->Index);
  JournalDelete(DrillUndo, h->Index);
  int32_t n = Append(created, NCLayerBit(CurrentLayer), true);
  if (n == 0) return;
  ActiveTools[CurrentTool] = true;
  created->SetStepObj(old->GetStepObj());
  DrawEntity(n);
}

void TDrillDatabase::JoinHolesIntoSlot(TDrillHandle* h1, TDrillHandle* h2) {
  TDrillEntity* e1 = EntityAt(h1->Index);
  TDrillEntity* e2 = EntityAt(h2->Index);
  if (e1 == nullptr || e2 == nullptr) return;
  if (!CheckDrillTool(CurrentTool) || !CheckDrillLayer(CurrentLayer)) return;
  SetErasePen();
  TIntPoint p1, p2;
  e1->GetPoint(p1);
  e2->GetPoint(p2);
  for (int32_t i : {h1->Index, h2->Index}) {
    EraseEntity(i);
    MarkDeleted(i);
    JournalDelete(DrillUndo, i);
  }
  auto* slot = new TDrillSlot(p1, p2, CurrentTool);
  int32_t n = Append(slot, NCLayerBit(CurrentLayer), true);
  if (n == 0) return;
  ActiveTools[CurrentTool] = true;
  slot->SetStepObj(e1->GetStepObj());
  DrawEntity(n);
}

void TDrillDatabase::HoleToSlot(TDrillHandle* h) {
  TDrillEntity* e = EntityAt(h->Index);
  if (e == nullptr || !CheckDrillTool(CurrentTool) || !CheckDrillLayer(CurrentLayer)) return;
  SetErasePen();
  TIntPoint p;
  e->GetPoint(p);
  double dx, dy;
  PolarToRect(DrilledSlots.Length / 2, DrilledSlots.Angle, dx, dy);
  int64_t ix = SaturatingRound(dx), iy = SaturatingRound(dy);
  TIntPoint a{ClampCompToInt(p.X - ix), ClampCompToInt(p.Y - iy)};
  TIntPoint b{ClampCompToInt(p.X + ix), ClampCompToInt(p.Y + iy)};
  ReplaceWith(h, new TDrillSlot(a, b, CurrentTool));
}

void TDrillDatabase::HoleToCircle(TDrillHandle* h) {
  TDrillEntity* e = EntityAt(h->Index);
  if (e == nullptr || !CheckDrillTool(CurrentTool) || !CheckDrillLayer(CurrentLayer)) return;
  SetErasePen();
  TIntPoint p;
  e->GetPoint(p);
  ReplaceWith(h, new TDrillCircle(p, DrilledCircleRadius, CurrentTool));
}

// ---- Extents and counts ----------------------------------------------------------------------

void TDrillDatabase::ExtendEntity(TDrillEntity* e, bool withSteps, TIntPoint& mn,
                                  TIntPoint& mx) {
  TIntPoint p;
  e->GetPoint(p);
  uint8_t type = e->GetType();
  if (type != etDrillCircle && (!withSteps || e->GetStepObj() == nullptr)) {
    // A job has holes by the hundred thousand: one without copies widens
    // the extents by its points directly.
    ExtendExtents(mn, mx, p);
    if (type == etDrillSlot || type == etDrillText) {
      TIntPoint q;
      e->GetSecondPoint(q);
      ExtendExtents(mn, mx, q);
    }
    return;
  }
  // At most five points (a circle's centre and its four extremes), in place:
  // an import's extents look at each of its entities.
  TIntPoint points[5];
  std::size_t count = 0;
  points[count++] = p;
  if (type == etDrillCircle) {
    int64_t r = e->GetRadius();
    points[count++] = {ClampCompToInt(p.X - r), p.Y};
    points[count++] = {ClampCompToInt(p.X + r), p.Y};
    points[count++] = {p.X, ClampCompToInt(p.Y - r)};
    points[count++] = {p.X, ClampCompToInt(p.Y + r)};
  } else if (type == etDrillSlot || type == etDrillText) {
    e->GetSecondPoint(points[count++]);
  }
  for (std::size_t k = 0; k < count; ++k) ExtendExtents(mn, mx, points[k]);
  TStepObject* step = e->GetStepObj();
  if (!withSteps || step == nullptr) return;
  for (std::size_t k = 0; k < count; ++k) step->ExtendByCopies(points[k], mn, mx);
}

void TDrillDatabase::WidenByLargestTool(TIntPoint& mn, TIntPoint& mx) {
  int32_t largest = 0;
  for (int32_t t = 1; t <= kToolCount; ++t) largest = std::max(largest, ToolTable[t].Diameter);
  int32_t h = largest / 2;
  mn = {ClampCompToInt(int64_t(mn.X) - h), ClampCompToInt(int64_t(mn.Y) - h)};
  mx = {ClampCompToInt(int64_t(mx.X) + h), ClampCompToInt(int64_t(mx.Y) + h)};
}

bool TDrillDatabase::ExtentsFrom(int32_t startIndex, int32_t& minX, int32_t& maxX,
                                 int32_t& minY, int32_t& maxY) {
  int32_t holes = 0, others = 0;
  return ExtentsAndHitsFrom(startIndex, minX, maxX, minY, maxY, holes, others);
}

bool TDrillDatabase::VisibleExtents(int32_t& minX, int32_t& minY, int32_t& maxX, int32_t& maxY,
                                    bool withSteps) {
  TIntPoint mn{minX, minY}, mx{maxX, maxY};
  bool any = false;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (!SlotInMask(WordAt(i), DisplayedNCLayerMask)) continue;
    ExtendEntity(EntityAt(i), withSteps, mn, mx);
    any = true;
  }
  if (!any) return false;
  WidenByLargestTool(mn, mx);
  minX = mn.X;
  minY = mn.Y;
  maxX = mx.X;
  maxY = mx.Y;
  return true;
}

bool TDrillDatabase::ExtentsAndHitsFrom(int32_t startIndex, int32_t& minX, int32_t& maxX,
                                        int32_t& minY, int32_t& maxY, int32_t& holes,
                                        int32_t& others) {
  TIntPoint mn{minX, minY}, mx{maxX, maxY};
  int64_t h = 0, o = 0;
  bool any = false;
  for (int32_t i = std::max(1, startIndex); i <= DrillEntityCount; ++i) {
    TDrillEntity* e = EntityAt(i);
    any = true;
    const bool hole = e->GetType() == etDrillHole;
    if (hole && e->StepObj == nullptr) {
      // A tape brings its holes by the hundred thousand: one without copies
      // is its point and one hit.
      mn = {std::min(mn.X, e->X), std::min(mn.Y, e->Y)};
      mx = {std::max(mx.X, e->X), std::max(mx.Y, e->Y)};
      ++h;
      continue;
    }
    ExtendEntity(e, true, mn, mx);
    (hole ? h : o) += e->HitCount();
  }
  if (!any) return false;
  WidenByLargestTool(mn, mx);
  minX = mn.X;
  minY = mn.Y;
  maxX = mx.X;
  maxY = mx.Y;
  holes = ClampCompToInt(h);
  others = ClampCompToInt(o);
  return true;
}

// ---- Import helpers ----------------------------------------------------------------------

namespace {
// Whether the entity's pattern, moved with it by (dx, dy), still expands
// whole with every copy inside the coordinate range, as a window move asks
// of it: a step of a turned or mirrored copy moves with the entity (see
// OrientOffset), and a move far from the tape's coordinates takes it out of
// the range. The entity's move takes the result made here.
bool PatternMovesWith(TDrillEntity& e, const TMatrix3& m, int32_t dx, int32_t dy) {
  TQuietStepExpansion quiet;
  const TStepObject* made = e.GetStepObj()->Transformed(m);
  if (made == nullptr || !made->ChainWhole()) return false;
  for (const TIntPoint& p : e.StepPoints())
    if (!made->CopiesInRange({ClampCompToInt(int64_t{p.X} + dx), ClampCompToInt(int64_t{p.Y} + dy)}))
      return false;
  return true;
}
}  // namespace

bool TDrillDatabase::TranslateFrom(int32_t startIndex, int32_t dx, int32_t dy, uint8_t layer) {
  if (!CheckDrillLayer(layer)) return false;
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, dx, dy);
  // Placed where the file put them (the main part): nothing moves. An
  // entity the file put past the database extent stays there, and the box
  // counts it; a hole without copies keeps its point as it is.
  const bool still = dx == 0 && dy == 0;
  int32_t refused = 0, total = 0, patterns = 0, past = 0;
  {
    THourGlassCursor hourglass;
    const uint32_t word = NCLayerBit(layer);
    for (int32_t i = std::max(1, startIndex); i <= DrillEntityCount; ++i) {
      TEntitySlot* slot = DrillEntities->GetSlot(i);
      slot->Flags = word;
      ++total;
      auto* e = static_cast<TDrillEntity*>(slot->Entity);
      if (still && e->GetStepObj() == nullptr && e->GetType() == etDrillHole) {
        if (!TRootDBObject::InRange(double(e->X), double(e->Y))) ++past;
        continue;
      }
      if (still) {
        const std::vector<TIntPoint> points = e->StepPoints();
        if (!std::all_of(points.begin(), points.end(), [](const TIntPoint& p) { return TRootDBObject::InRange(p); }))
          ++past;
      }
      if (e->GetStepObj() != nullptr && !PatternMovesWith(*e, m, dx, dy)) {
        ++refused;
        ++patterns;
        continue;
      }
      if (!e->Transform(m)) ++refused;
    }
  }
  if (past > 0) {
    // The extent's edge, 2^30 - 1 units, in display units.
    const bool one = past == 1;
    const std::string which = past < total ? std::to_string(past) + " of the " + std::to_string(total) +
                                                 " imported entities"
                              : one        ? std::string("The imported entity")
                                           : "The " + std::to_string(total) + " imported entities";
    WarningBox(which + (one ? " lies" : " lie") + " past the editing area of +/- " +
               (Metric ? "1073.74 mm" : "42.27 in") +
               (one ? ": it stays where the file put it and is drilled there."
                    : ": they stay where the file put them and are drilled there."));
  }
  if (refused == 0) return true;
  const std::string steps = "their step patterns would make more than " + IntToStrGrouped(kMaxStepCopies) +
                            " copies or move outside the coordinate range";
  const std::string kept = " stay where the file placed them, as " +
                           (patterns == 0          ? std::string("they would leave the database extent")
                            : patterns == refused ? steps
                                                  : "they would leave the database extent or " + steps) +
                           ".";
  if (refused == total)
    WarningBox("None of the " + std::to_string(total) + " imported entities was moved: they" +
               kept);
  else
    WarningBox(std::to_string(total - refused) + " of the " + std::to_string(total) +
               " imported entities were moved; the other " + std::to_string(refused) + kept);
  return false;
}

bool TDrillDatabase::ActivateFrom(int32_t startIndex, int32_t toolOffset) {
  THourGlassCursor hourglass;
  bool offsetOk = true;
  if (toolOffset > 0) {
    for (int32_t i = std::max(1, startIndex); i <= DrillEntityCount && offsetOk; ++i) {
      int64_t t = int64_t(EntityAt(i)->GetToolNumber()) + toolOffset;
      if (t > kToolCount) {
        ErrorBox("Tool offset " + std::to_string(toolOffset) + " would move tool " +
                 std::to_string(EntityAt(i)->GetToolNumber()) +
                 " past tool 1000. The tools keep their numbers.");
        offsetOk = false;
      }
    }
  }
  for (int32_t i = std::max(1, startIndex); i <= DrillEntityCount; ++i) {
    DrillEntities->GetSlot(i)->Flags &= ~SlotDeletedBit;
    if (toolOffset > 0 && offsetOk) {
      TDrillEntity* e = EntityAt(i);
      e->SetToolNumber(uint16_t(e->GetToolNumber() + toolOffset));
    }
  }
  return offsetOk;
}

bool TDrillDatabase::AnyWithoutSteps(const std::array<bool, 1001>& toolSet,
                                     uint32_t layerMask) {
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (!SlotInMask(WordAt(i), layerMask)) continue;
    TDrillEntity* e = EntityAt(i);
    if (ValidToolNumber(e->Tool) && toolSet[e->Tool] && e->GetStepObj() == nullptr) return true;
  }
  return false;
}

// ---- DrillUndo ---------------------------------------------------------------------------

namespace {
// The change records of the drill journal.
constexpr uint8_t kMainPartChange = 1;
constexpr uint8_t kToolChange = 2;
}  // namespace

void TDrillUndo::Reset() {
  TUndoJournal::Reset();
  MainPartChanges_.clear();
  ToolChanges_.clear();
}

void TDrillUndo::RecordMainPart(bool wasSet, int32_t oldX, int32_t oldY) {
  if (DRDB == nullptr) return;
  MainPartChanges_.push_back(
      {wasSet, DRDB->MainPartSet, oldX, oldY, DRDB->G93OriginX, DRDB->G93OriginY});
  RecordChange(int32_t(MainPartChanges_.size()) - 1, kMainPartChange);
}

void TDrillUndo::RecordTool(int32_t tool, const TToolRecord& before, bool activeBefore) {
  if (!ValidToolNumber(tool)) return;
  ToolChanges_.push_back({tool, before, ToolTable[tool], activeBefore, ActiveTools[tool]});
  RecordChange(int32_t(ToolChanges_.size()) - 1, kToolChange);
}

namespace {
// Sets a journalled tool from one state to the other, field by field, only
// where it still holds the state the step left.
void SwapTool(int32_t tool, const TToolRecord& from, const TToolRecord& to, bool activeFrom,
              bool activeTo) {
  if (ToolTable[tool] == from) ToolTable[tool] = to;
  if (ActiveTools[tool] == activeFrom) ActiveTools[tool] = activeTo;
}
}  // namespace

void TDrillUndo::UndoChange(int32_t index, uint8_t flag) {
  if (DRDB == nullptr || index < 0) return;
  if (flag == kToolChange && size_t(index) < ToolChanges_.size()) {
    const TToolChange& c = ToolChanges_[size_t(index)];
    SwapTool(c.Tool, c.After, c.Before, c.ActiveAfter, c.ActiveBefore);
    return;
  }
  if (flag != kMainPartChange || size_t(index) >= MainPartChanges_.size()) return;
  const TMainPartChange& c = MainPartChanges_[size_t(index)];
  DRDB->MainPartSet = c.WasSet;
  DRDB->G93OriginX = c.OldX;
  DRDB->G93OriginY = c.OldY;
}

void TDrillUndo::RedoChange(int32_t index, uint8_t flag) {
  if (DRDB == nullptr || index < 0) return;
  if (flag == kToolChange && size_t(index) < ToolChanges_.size()) {
    const TToolChange& c = ToolChanges_[size_t(index)];
    SwapTool(c.Tool, c.Before, c.After, c.ActiveBefore, c.ActiveAfter);
    return;
  }
  if (flag != kMainPartChange || size_t(index) >= MainPartChanges_.size()) return;
  const TMainPartChange& c = MainPartChanges_[size_t(index)];
  DRDB->MainPartSet = c.IsSet;
  DRDB->G93OriginX = c.NewX;
  DRDB->G93OriginY = c.NewY;
}

void TDrillUndo::Undo() {
  SetErasePen();
  TUndoJournal::Undo();
}

void TDrillUndo::Redo() {
  SetErasePen();
  TUndoJournal::Redo();
}

void TDrillUndo::EraseEntity(int32_t index) {
  if (DRDB != nullptr) DRDB->EraseEntity(index);
}
void TDrillUndo::DrawEntity(int32_t index) {
  if (DRDB != nullptr) DRDB->DrawEntity(index);
}
void TDrillUndo::DeleteEntity(int32_t index) {
  if (DRDB != nullptr) DRDB->MarkDeleted(index);
}
void TDrillUndo::UndeleteEntity(int32_t index) {
  if (DRDB != nullptr) DRDB->Undelete(index);
}
