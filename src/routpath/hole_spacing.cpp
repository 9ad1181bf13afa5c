#include "routpath/hole_spacing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/forms.h"
#include "platform/message_box.h"

namespace {

// Live and on one of D0..D9.
constexpr uint32_t DrillLayersMask = 0x3FFu | SlotDeletedBit;

int64_t FloorDiv(int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

}  // namespace

// ---- Engine -------------------------------------------------------------------------------

void TSpacingCheck::Init(bool pilot, bool duplicate, bool clearance, int32_t spacing) {
  PilotFlag = pilot;
  DuplicateFlag = duplicate;
  ClearanceFlag = clearance;
  MinSpacing = std::max<int32_t>(0, spacing);
  Reach = 0;
  Hits.clear();
}

void TSpacingCheck::Build() {
  Hits.clear();
  int32_t largest = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (static_cast<int32_t>(DRDB->WordAt(i) & DrillLayersMask) <= 0) continue;
    TDrillEntity* e = DRDB->EntityAt(i);
    if (e == nullptr || e->GetType() != etDrillHole) continue;
    TSpacingHit hit;
    TIntPoint p;
    e->GetPoint(p);
    hit.X = p.X;
    hit.Y = p.Y;
    hit.Tool = e->Tool;
    hit.Index = i;
    largest = std::max(largest, DrillToolDiameter(hit.Tool));
    Hits.push_back(hit);
    if (e->BeginStepCopies()) {
      while (e->NextStepCopy(p)) {
        hit.X = p.X;
        hit.Y = p.Y;
        Hits.push_back(hit);
      }
    }
  }
  // Two holes farther apart than the clearance plus the largest diameter
  // taking part can never be too close.
  Reach = static_cast<int64_t>(MinSpacing + 1.4142 * largest);
}

int TSpacingCheck::Classify(const TSpacingHit& a, const TSpacingHit& b) const {
  const int32_t da = DrillToolDiameter(a.Tool), db = DrillToolDiameter(b.Tool);
  if (a.X == b.X && a.Y == b.Y) {
    if (da == db) return 4;
    return db > da ? 2 : 3;
  }
  const int64_t ax = std::llabs(int64_t(a.X) - b.X), ay = std::llabs(int64_t(a.Y) - b.Y);
  if (std::max(ax, ay) >= Reach) return 0;
  const double allowance = a.Tool == b.Tool ? double(da) : double(da / 2 + db / 2);
  const double dx = double(a.X) - double(b.X), dy = double(a.Y) - double(b.Y);
  const double limit = MinSpacing + allowance;
  return limit * limit > dx * dx + dy * dy ? 1 : 0;
}

void TSpacingCheck::Examine(const TSpacingHit& first, const TSpacingHit& second) {
  if (first.Index == second.Index) return;  // a hole and its own copies
  // The hit of the later hole is the one reported as the duplicate.
  const bool swap = second.Index > first.Index;
  const TSpacingHit& a = swap ? second : first;
  const TSpacingHit& b = swap ? first : second;
  switch (Classify(a, b)) {
    case 1:
      if (ClearanceFlag) {
        ReportTooClose(a);
        ReportTooClose(b);
      }
      break;
    case 2:
      if (PilotFlag) ReportPilot(a);
      break;
    case 3:
      if (PilotFlag) ReportPilot(b);
      break;
    case 4:
      if (DuplicateFlag) ReportIdentical(a);
      break;
    default:
      break;
  }
}

void TSpacingCheck::Run() {
  // Buckets at least as wide as the reach: a pair that can be too close lies
  // in one bucket or in two neighbouring ones. Only buckets that hold hits
  // exist (the hits sorted by bucket).
  const int64_t size = std::max<int64_t>(Reach, 1);
  using TKey = std::pair<int64_t, int64_t>;
  std::vector<std::pair<TKey, int32_t>> order;
  order.reserve(Hits.size());
  for (int32_t k = 0; k < int32_t(Hits.size()); ++k)
    order.push_back({{FloorDiv(Hits[k].X, size), FloorDiv(Hits[k].Y, size)}, k});
  std::sort(order.begin(), order.end(), [this](const auto& p, const auto& q) {
    if (p.first != q.first) return p.first < q.first;
    return Hits[p.second].Index > Hits[q.second].Index;
  });
  std::map<TKey, std::pair<size_t, size_t>> buckets;
  for (size_t k = 0; k < order.size();) {
    size_t e = k;
    while (e < order.size() && order[e].first == order[k].first) ++e;
    buckets.emplace(order[k].first, std::make_pair(k, e));
    k = e;
  }
  static const int Forward[4][2] = {{0, 1}, {1, -1}, {1, 0}, {1, 1}};
  for (const auto& [key, range] : buckets) {
    for (size_t i = range.first; i < range.second; ++i) {
      const TSpacingHit& a = Hits[order[i].second];
      for (size_t j = i + 1; j < range.second; ++j) Examine(a, Hits[order[j].second]);
    }
    for (const auto& d : Forward) {
      auto other = buckets.find({key.first + d[0], key.second + d[1]});
      if (other == buckets.end()) continue;
      for (size_t i = range.first; i < range.second; ++i)
        for (size_t j = other->second.first; j < other->second.second; ++j)
          Examine(Hits[order[i].second], Hits[order[j].second]);
    }
  }
  Hits.clear();
  Hits.shrink_to_fit();
}

// ---- Dialog -------------------------------------------------------------------------------

namespace {

class TSpacingCheckDialog : public TForm {
 public:
  TSpacingCheckDialog() : TForm("TSpacingCheckDialog") {
    SetCaption("Spacing Check");
    SetSizeable(false);
    DuplicateCheckBox = &Add<TCheckBox>("DuplicateCheckBox", "&Delete Exact Duplicates");
    PilotCheckBox = &Add<TCheckBox>("PilotCheckBox", "Delete &Pilot Holes");
    Add<TLabel>("TextLabel", "The clearance value is the minimum");
    Add<TLabel>("Label1", "wall thickness between any two holes.");
    Add<TLabel>("UnitLabel", std::string("Enter the clearance in ") +
                                 (Metric ? "millimeters." : "inches."));
    auto& row = Add<TPanel>("ClearanceRow");
    row.SetFlow(TFlow::Horizontal);
    row.SetBevel(bvNone);
    ClearanceCheckBox = &row.Add<TCheckBox>("ClearanceCheckBox", "Clearance");
    row.Add<TLabel>("EqualsLabel", "&=");
    ClearanceEdit = &row.Add<TEdit>("ClearanceEdit", Metric ? "0.10" : "0.005");
    auto& buttons = Add<TPanel>("ButtonRow");
    buttons.SetFlow(TFlow::Horizontal);
    buttons.SetBevel(bvNone);
    auto& ok = buttons.Add<TButton>("OKButton", "OK", mrOk);
    ok.SetDefault(true);
    buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
    DuplicateCheckBox->SetChecked(true);
    ClearanceCheckBox->SetChecked(true);
    ok.OnClick = [this](TControl&) {
      if (!OKButtonClick()) SetModalResult(mrNone);
    };
  }

  // A clearance of 0..25 mm or 0..1 inch, whether or not it is asked for.
  bool OKButtonClick() {
    const std::string text = ClearanceEdit->Text();
    Value = StrToRealLenient(text);
    if (Value >= 0 && Value <= (Metric ? 25.0 : 1.0)) return true;
    ErrorBox("Invalid input <" + text + ">.  Value must\r\n" +
             (Metric ? "be between 0 and 25mm" : "be between 0 and 1 inch"));
    return false;
  }

  TCheckBox* DuplicateCheckBox;
  TCheckBox* PilotCheckBox;
  TCheckBox* ClearanceCheckBox;
  TEdit* ClearanceEdit;
  double Value = 0;
};

// The command's reactions: an identical or pilot hit is deleted, a
// too-close hit moved to D9. A hit of a stepped hole first becomes a hole of
// its own (the hole's other hits become holes of their own too, so nothing
// is lost), and only that hole is deleted or moved.
class TSpacingCheckCommandCheck : public TSpacingCheck {
 public:
  int32_t Identical = 0;
  int32_t Pilot = 0;
  int32_t Moved = 0;

 protected:
  void ReportTooClose(const TSpacingHit& hit) override {
    const int32_t index = HoleOfHit(hit);
    if (index != 0 && DRDB->MoveToLayer(index, 39)) ++Moved;
  }
  void ReportIdentical(const TSpacingHit& hit) override {
    const int32_t index = HoleOfHit(hit);
    if (index != 0 && DRDB->DeleteEntity(index)) {
      DRDB->EraseEntityImage(index);
      ++Identical;
    }
  }
  void ReportPilot(const TSpacingHit& hit) override {
    const int32_t index = HoleOfHit(hit);
    if (index != 0 && DRDB->DeleteEntity(index)) {
      DRDB->EraseEntityImage(index);
      ++Pilot;
    }
  }

 private:
  // The store index of a hole that stands for just this hit.
  int32_t HoleOfHit(const TSpacingHit& hit) {
    auto split = Split.find(hit.Index);
    if (split == Split.end()) {
      TDrillEntity* e = DRDB->EntityAt(hit.Index);
      if (e == nullptr || e->GetStepObj() == nullptr) return hit.Index;
      split = Split.emplace(hit.Index, SplitHole(hit.Index, e)).first;
    }
    auto at = split->second.find({hit.X, hit.Y});
    return at == split->second.end() ? 0 : at->second;
  }

  std::map<std::pair<int32_t, int32_t>, int32_t> SplitHole(int32_t index, TDrillEntity* e) {
    std::map<std::pair<int32_t, int32_t>, int32_t> holes;
    const uint32_t word = DRDB->WordAt(index);
    if (static_cast<int32_t>(word) <= 0) return holes;
    const uint8_t layer = uint8_t(30 + LayerOfBit(word));
    std::vector<TIntPoint> points(1);
    e->GetPoint(points[0]);
    TIntPoint p;
    if (e->BeginStepCopies())
      while (e->NextStepCopy(p)) points.push_back(p);
    const int32_t tool = e->Tool;
    DRDB->EraseEntityImage(index);
    DRDB->DeleteEntity(index);
    for (const TIntPoint& q : points) {
      const int32_t n = DRDB->AddHoleOnLayer(q.X, q.Y, layer, tool, true);
      if (n != 0) holes.emplace(std::make_pair(q.X, q.Y), n);
    }
    return holes;
  }

  std::map<int32_t, std::map<std::pair<int32_t, int32_t>, int32_t>> Split;
};

}  // namespace

bool ExecuteSpacingCheckDialog(bool& duplicate, bool& pilot, bool& clearance, int32_t& spacing) {
  TSpacingCheckDialog dialog;
  ViewServices().BeginModal();
  const TModalResult result = dialog.ShowModal();
  ViewServices().EndModal();
  if (result != mrOk) return false;
  spacing = int32_t(std::nearbyint(double(UnitsPerDisplayUnit) * dialog.Value));
  duplicate = dialog.DuplicateCheckBox->Checked();
  pilot = dialog.PilotCheckBox->Checked();
  clearance = dialog.ClearanceCheckBox->Checked();
  return duplicate || pilot || clearance;
}

void SpacingCheckCommand() {
  if (DRDB == nullptr) return;
  bool duplicate = false, pilot = false, clearance = false;
  int32_t spacing = 0;
  if (!ExecuteSpacingCheckDialog(duplicate, pilot, clearance, spacing)) return;
  THourGlassCursor hourglass;
  TSpacingCheckCommandCheck check;
  check.Init(pilot, duplicate, clearance, spacing);
  check.Build();
  check.Run();
  InformationBox("Spacing Check did the following:\r\n" + std::to_string(check.Identical) +
                 " identical holes were deleted\r\n" + std::to_string(check.Pilot) +
                 " pilot holes were deleted\r\n" + std::to_string(check.Moved) +
                 " holes failed the spacing check and\r\nwere moved to layer D9 for inspection.");
  ViewServices().UpdateView();
  DisplayedNCLayerMask |= NCLayerBit(39);
  if (DrillUndo != nullptr) DrillUndo->BeginOperation("Spacing Check");
}
