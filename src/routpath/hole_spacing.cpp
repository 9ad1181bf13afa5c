#include "routpath/hole_spacing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <tuple>
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

// The neighbour buckets a bucket examines after itself, in this order.
const int Forward[4][2] = {{0, 1}, {1, -1}, {1, 0}, {1, 1}};

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

template <typename TSink>
void TSpacingCheck::Examine(const TSpacingHit& first, const TSpacingHit& second, TSink& report) const {
  if (first.Index == second.Index) return;  // a hole and its own copies
  // The hit of the later hole is the one reported as the duplicate.
  const bool swap = second.Index > first.Index;
  const TSpacingHit& a = swap ? second : first;
  const TSpacingHit& b = swap ? first : second;
  switch (Classify(a, b)) {
    case 1:
      if (ClearanceFlag) {
        report(TSpacingFault::TooClose, a);
        report(TSpacingFault::TooClose, b);
      }
      break;
    case 2:
      if (PilotFlag) report(TSpacingFault::Pilot, a);
      break;
    case 3:
      if (PilotFlag) report(TSpacingFault::Pilot, b);
      break;
    case 4:
      if (DuplicateFlag) report(TSpacingFault::Identical, a);
      break;
    default:
      break;
  }
}

template <typename TSink>
void TSpacingCheck::EveryPair(const std::vector<int32_t>& order, const std::map<TBucketKey, TBucket>& buckets,
                              TSink& report) const {
  for (const auto& [key, bucket] : buckets) {
    for (size_t i = bucket.Begin; i < bucket.End; ++i) {
      const TSpacingHit& a = Hits[order[i]];
      for (size_t j = i + 1; j < bucket.End; ++j) Examine(a, Hits[order[j]], report);
    }
    for (const auto& d : Forward) {
      auto other = buckets.find({key.first + d[0], key.second + d[1]});
      if (other == buckets.end()) continue;
      for (size_t i = bucket.Begin; i < bucket.End; ++i)
        for (size_t j = other->second.Begin; j < other->second.End; ++j)
          Examine(Hits[order[i]], Hits[order[j]], report);
    }
  }
}

void TSpacingCheck::Report(TSpacingFault fault, const TSpacingHit& hit) {
  switch (fault) {
    case TSpacingFault::TooClose: ReportTooClose(hit); break;
    case TSpacingFault::Identical: ReportIdentical(hit); break;
    case TSpacingFault::Pilot: ReportPilot(hit); break;
  }
}

void TSpacingCheck::Run() {
  // Buckets at least as wide as the reach: a pair that can be too close lies
  // in one bucket or in two neighbouring ones. Only buckets that hold hits
  // exist (the hits sorted by bucket).
  const int64_t size = std::max<int64_t>(Reach, 1);
  std::vector<std::pair<TBucketKey, int32_t>> sorted;
  sorted.reserve(Hits.size());
  for (int32_t k = 0; k < int32_t(Hits.size()); ++k)
    sorted.push_back({{FloorDiv(Hits[k].X, size), FloorDiv(Hits[k].Y, size)}, k});
  std::sort(sorted.begin(), sorted.end(), [this](const auto& p, const auto& q) {
    if (p.first != q.first) return p.first < q.first;
    return Hits[p.second].Index > Hits[q.second].Index;
  });
  std::map<TBucketKey, TBucket> buckets;
  std::vector<int32_t> order(sorted.size());
  for (size_t k = 0; k < sorted.size();) {
    size_t e = k;
    while (e < sorted.size() && sorted[e].first == sorted[k].first) ++e;
    buckets.emplace(sorted[k].first, TBucket{k, e, int32_t(buckets.size())});
    for (; k < e; ++k) order[k] = sorted[k].second;
  }
  sorted = {};
  bool done = false;
  if (FirstReportsOnly) {
    const std::vector<TSpacingReport> reports = FirstReports(order, buckets);
    if (FirstReportsSuffice(reports)) {
      for (const TSpacingReport& r : reports) Report(r.Fault, r.Hit);
      done = true;
    }
  }
  if (!done) {
    auto report = [this](TSpacingFault fault, const TSpacingHit& hit) { Report(fault, hit); };
    EveryPair(order, buckets, report);
  }
  Hits.clear();
  Hits.shrink_to_fit();
}

// The pairs of a bucket come in the order (i, j) of the sorted hits, i < j,
// then those with each forward neighbour; a pair reports the hit of the
// later hole first. So a report's place in the order of all reports is the
// bucket that examines the pair, the neighbour (0 for the bucket itself),
// i, j and the hit's side. A hit's first report of a fault is found from
// its class alone: stacked hits of one place and tool differ only by hole
// index, and only the neighbour's first hits can come first.
std::vector<TSpacingReport> TSpacingCheck::FirstReports(
    const std::vector<int32_t>& order, const std::map<TBucketKey, TBucket>& buckets) const {
  struct TTime {
    int32_t Bucket;
    int32_t Neighbour;
    int64_t I, J;
    int32_t Side;  // 0 the later hole's hit, 1 the other
    auto operator<=>(const TTime&) const = default;
  };
  struct TEvent {
    TTime Time;
    TSpacingFault Fault;
    int64_t At;  // position in the sorted hits
  };
  const int64_t n = int64_t(order.size());
  auto hit = [&](int64_t p) -> const TSpacingHit& { return Hits[order[p]]; };
  std::vector<int32_t> diameter(n);
  for (int64_t p = 0; p < n; ++p) diameter[p] = DrillToolDiameter(hit(p).Tool);

  // Each bucket's hits by place and tool (classes), each class in order.
  struct TClass {
    int64_t Begin, End;  // in byClass
  };
  std::vector<int64_t> byClass(n);
  std::vector<TClass> classes;
  std::vector<size_t> firstClass;  // per bucket ordinal, and one past the end
  std::vector<TBucketKey> keys;
  for (const auto& [key, bucket] : buckets) {
    keys.push_back(key);
    firstClass.push_back(classes.size());
    for (size_t p = bucket.Begin; p < bucket.End; ++p) byClass[p] = int64_t(p);
    std::sort(byClass.begin() + int64_t(bucket.Begin), byClass.begin() + int64_t(bucket.End),
              [&](int64_t p, int64_t q) {
                const TSpacingHit &a = hit(p), &b = hit(q);
                return std::tie(a.X, a.Y, a.Tool, p) < std::tie(b.X, b.Y, b.Tool, q);
              });
    for (int64_t k = int64_t(bucket.Begin); k < int64_t(bucket.End);) {
      int64_t e = k + 1;
      const TSpacingHit& first = hit(byClass[k]);
      while (e < int64_t(bucket.End) && hit(byClass[e]).X == first.X && hit(byClass[e]).Y == first.Y &&
             hit(byClass[e]).Tool == first.Tool)
        ++e;
      classes.push_back({k, e});
      k = e;
    }
  }
  firstClass.push_back(classes.size());

  // Where the holes do not stack, examining every pair and leaving out the
  // repeats costs less than comparing classes (each pair of classes is
  // compared from both sides; measured, a pair of classes costs as much as
  // 1.4 pairs of hits).
  int64_t pairs = 0, classPairs = 0;
  auto classCount = [&](int32_t bucket) { return int64_t(firstClass[bucket + 1] - firstClass[bucket]); };
  for (const auto& [key, bucket] : buckets) {
    const int64_t count = int64_t(bucket.End - bucket.Begin);
    pairs += count * (count - 1) / 2;
    for (const auto& d : Forward) {
      const auto other = buckets.find({key.first + d[0], key.second + d[1]});
      if (other != buckets.end()) pairs += count * int64_t(other->second.End - other->second.Begin);
    }
    for (int64_t dx = -1; dx <= 1; ++dx)
      for (int64_t dy = -1; dy <= 1; ++dy) {
        const auto other = buckets.find({key.first + dx, key.second + dy});
        if (other != buckets.end()) classPairs += classCount(bucket.Ordinal) * classCount(other->second.Ordinal);
      }
  }
  if (pairs * 5 <= classPairs * 7) {
    // A hit's hole at its place: the first of its class's run of that hole.
    std::vector<int32_t> hole(Hits.size());
    for (const TClass& c : classes)
      for (int64_t k = c.Begin; k < c.End;) {
        const int64_t first = k;
        while (k < c.End && hit(byClass[k]).Index == hit(byClass[first]).Index) hole[order[byClass[k++]]] = int32_t(first);
      }
    std::vector<uint8_t> reported(n);
    std::vector<TSpacingReport> reports;
    auto report = [&](TSpacingFault fault, const TSpacingHit& h) {
      uint8_t& done = reported[hole[size_t(&h - Hits.data())]];
      const uint8_t bit = uint8_t(1u << int(fault));
      if ((done & bit) != 0) return;
      done |= bit;
      reports.push_back({fault, h});
    };
    EveryPair(order, buckets, report);
    return reports;
  }

  auto samePlace = [&](int64_t p, int64_t q) { return hit(p).X == hit(q).X && hit(p).Y == hit(q).Y; };
  std::vector<TEvent> events;

  // Identical and pilot hits: the hits of one place, runs of one hole each.
  if (DuplicateFlag || PilotFlag) {
    std::vector<int64_t> place;
    std::vector<std::pair<int64_t, int64_t>> runs;  // in place
    std::vector<int64_t> pilotOf;                    // the first larger hit before a run
    std::vector<std::pair<int32_t, int64_t>> larger;
    std::map<int32_t, int64_t> firstOfDiameter;
    for (size_t c = 0; c < classes.size();) {
      size_t e = c + 1;
      while (e < classes.size() && samePlace(byClass[classes[e].Begin], byClass[classes[c].Begin]) &&
             classes[e].Begin == classes[e - 1].End)
        ++e;
      place.clear();
      for (size_t k = c; k < e; ++k) place.insert(place.end(), byClass.begin() + classes[k].Begin,
                                                  byClass.begin() + classes[k].End);
      std::sort(place.begin(), place.end());
      runs.clear();
      for (size_t k = 0; k < place.size();) {
        size_t r = k + 1;
        while (r < place.size() && hit(place[r]).Index == hit(place[k]).Index) ++r;
        runs.push_back({int64_t(k), int64_t(r)});
        k = r;
      }
      const int32_t bucket = [&] {
        const auto it = std::upper_bound(firstClass.begin(), firstClass.end(), c);
        return int32_t(it - firstClass.begin() - 1);
      }();
      // Larger hits of earlier (higher) holes: the first one at any diameter
      // is a new largest so far.
      pilotOf.assign(runs.size(), -1);
      larger.clear();
      for (size_t r = 0; r < runs.size(); ++r) {
        const int64_t p = place[runs[r].first];
        const auto it = std::upper_bound(larger.begin(), larger.end(), std::make_pair(diameter[p], INT64_MAX));
        if (it != larger.end()) pilotOf[r] = it->second;
        if (larger.empty() || diameter[p] > larger.back().first) larger.push_back({diameter[p], p});
      }
      // Hits of later (lower) holes: the first of each diameter, and the
      // first larger one (kept as first hits of growing diameter).
      firstOfDiameter.clear();
      larger.clear();  // now from the newest (first) hit back: diameters fall
      for (size_t r = runs.size(); r-- > 0;) {
        const int64_t p = place[runs[r].first];
        const int32_t d = diameter[p];
        if (DuplicateFlag) {
          const auto same = firstOfDiameter.find(d);
          if (same != firstOfDiameter.end())
            events.push_back({{bucket, 0, p, same->second, 0}, TSpacingFault::Identical, p});
        }
        if (PilotFlag) {
          if (pilotOf[r] >= 0) {
            events.push_back({{bucket, 0, pilotOf[r], p, 0}, TSpacingFault::Pilot, p});
          } else {
            const auto it = std::partition_point(larger.begin(), larger.end(),
                                                 [d](const auto& l) { return l.first > d; });
            if (it != larger.begin()) events.push_back({{bucket, 0, p, std::prev(it)->second, 0}, TSpacingFault::Pilot, p});
          }
        }
        firstOfDiameter[d] = p;
        while (!larger.empty() && larger.back().first <= d) larger.pop_back();
        larger.push_back({d, p});
      }
      c = e;
    }
  }

  // Too close: per class and neighbour bucket, the first hit of the classes
  // too close to it, and the first hit after the hits of that hit's hole.
  if (ClearanceFlag) {
    struct TNear {
      int64_t First = -1;   // -1: no class of the bucket is too close
      int32_t Index = 0;    // the hole of First
      int64_t Second = -1;  // the first hit of a lower hole than First's
      int32_t Bucket = -1;
    };
    std::vector<size_t> close;
    auto nearIn = [&](size_t own, const TBucketKey& key) {
      TNear near;
      const auto other = buckets.find(key);
      if (other == buckets.end()) return near;
      near.Bucket = other->second.Ordinal;
      const int64_t p = byClass[classes[own].Begin];
      close.clear();
      for (size_t c = firstClass[near.Bucket]; c < firstClass[near.Bucket + 1]; ++c) {
        const int64_t q = byClass[classes[c].Begin];
        if (samePlace(p, q) || Classify(hit(p), hit(q)) != 1) continue;
        close.push_back(c);
        if (near.First < 0 || q < near.First) near.First = q;
      }
      if (near.First < 0) return near;
      near.Index = hit(near.First).Index;
      for (size_t c : close) {
        const auto it = std::partition_point(byClass.begin() + classes[c].Begin, byClass.begin() + classes[c].End,
                                             [&](int64_t q) { return hit(q).Index >= near.Index; });
        if (it != byClass.begin() + classes[c].End && (near.Second < 0 || *it < near.Second)) near.Second = *it;
      }
      return near;
    };
    // The neighbours that examine this bucket, in bucket order, and their
    // neighbour numbers there; then those this bucket examines.
    static const int Backward[4][3] = {{-1, -1, 4}, {-1, 0, 3}, {-1, 1, 2}, {0, -1, 1}};
    TNear before[4], own, after[4];
    for (size_t c = 0; c < classes.size(); ++c) {
      const int32_t bucket = int32_t(std::upper_bound(firstClass.begin(), firstClass.end(), c) - firstClass.begin() - 1);
      const TBucketKey& key = keys[bucket];
      for (int k = 0; k < 4; ++k) {
        before[k] = nearIn(c, {key.first + Backward[k][0], key.second + Backward[k][1]});
        after[k] = nearIn(c, {key.first + Forward[k][0], key.second + Forward[k][1]});
      }
      own = nearIn(c, key);
      auto partner = [](const TNear& near, int32_t index) { return near.Index != index ? near.First : near.Second; };
      for (int64_t k = classes[c].Begin; k < classes[c].End;) {
        const int64_t p = byClass[k];
        const int32_t index = hit(p).Index;
        while (k < classes[c].End && hit(byClass[k]).Index == index) ++k;
        bool found = false;
        TTime time{};
        for (int b = 0; b < 4 && !found; ++b) {
          const int64_t q = before[b].First < 0 ? -1 : partner(before[b], index);
          if (q < 0) continue;
          time = {before[b].Bucket, Backward[b][2], q, p, hit(q).Index > index ? 1 : 0};
          found = true;
        }
        if (!found && own.First >= 0) {
          if (own.Index > index) {
            time = {bucket, 0, own.First, p, 1};
            found = true;
          } else {
            const int64_t q = own.Index < index ? own.First : own.Second;
            if (q >= 0) {
              time = {bucket, 0, p, q, 0};
              found = true;
            }
          }
        }
        for (int a = 0; a < 4 && !found; ++a) {
          const int64_t q = after[a].First < 0 ? -1 : partner(after[a], index);
          if (q < 0) continue;
          time = {bucket, a + 1, p, q, hit(q).Index > index ? 1 : 0};
          found = true;
        }
        if (found) events.push_back({time, TSpacingFault::TooClose, p});
      }
    }
  }

  std::sort(events.begin(), events.end(), [](const TEvent& a, const TEvent& b) { return a.Time < b.Time; });
  std::vector<TSpacingReport> reports;
  reports.reserve(events.size());
  for (const TEvent& e : events) reports.push_back({e.Fault, hit(e.At)});
  return reports;
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
  TSpacingCheckCommandCheck() { FirstReportsOnly = true; }
  int32_t Identical = 0;
  int32_t Pilot = 0;
  int32_t Moved = 0;
  // The store had no room for what the check would add: nothing was done.
  bool Refused = false;

 protected:
  // A hit deleted or moved stays so, and a hole is split once: a second
  // report does nothing. What the reports add is counted first, as they
  // will add it: a hole for each hit of a stepped hole split, a hole for
  // each hit moved. Without room for all of it the check changes nothing,
  // or a hole split or moved beyond the room would lose its hits.
  bool FirstReportsSuffice(const std::vector<TSpacingReport>& reports) override {
    int64_t added = 0;
    std::set<int32_t> split;
    std::set<std::tuple<int32_t, int32_t, int32_t>> done;  // hits deleted or moved
    for (const TSpacingReport& r : reports) {
      TDrillEntity* e = DRDB->EntityAt(r.Hit.Index);
      if (e == nullptr) continue;
      if (e->GetStepObj() != nullptr && split.insert(r.Hit.Index).second) {
        ++added;
        TIntPoint p;
        if (e->BeginStepCopies())
          while (e->NextStepCopy(p)) ++added;
      }
      if (done.insert({r.Hit.Index, r.Hit.X, r.Hit.Y}).second && r.Fault == TSpacingFault::TooClose) ++added;
    }
    Refused = !StoreHasRoom(DrillEntities->Name(), TDrillEntities::HighestIndex, DrillEntityCount, added,
                            "Checking the spacing");
    return true;
  }
  void ReportTooClose(const TSpacingHit& hit) override {
    if (Refused) return;
    const int32_t index = HoleOfHit(hit);
    if (index != 0 && DRDB->MoveToLayer(index, 39)) ++Moved;
  }
  void ReportIdentical(const TSpacingHit& hit) override {
    if (Refused) return;
    const int32_t index = HoleOfHit(hit);
    if (index != 0 && DRDB->DeleteEntity(index)) {
      DRDB->EraseEntityImage(index);
      ++Identical;
    }
  }
  void ReportPilot(const TSpacingHit& hit) override {
    if (Refused) return;
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
  if (check.Refused) return;
  InformationBox("Spacing Check did the following:\r\n" + std::to_string(check.Identical) +
                 " identical holes were deleted\r\n" + std::to_string(check.Pilot) +
                 " pilot holes were deleted\r\n" + std::to_string(check.Moved) +
                 " holes failed the spacing check and\r\nwere moved to layer D9 for inspection.");
  ViewServices().UpdateView();
  DisplayedNCLayerMask |= NCLayerBit(39);
  if (DrillUndo != nullptr) DrillUndo->BeginOperation("Spacing Check");
}
