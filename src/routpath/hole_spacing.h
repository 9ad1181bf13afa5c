// The hole spacing check: finds drill holes that stand at exactly the same
// place with the same diameter (identical), smaller holes at exactly the place
// of a larger one (pilots) and pairs whose walls come closer than a clearance
// (too close). The engine only reports; what happens to a reported hole is up
// to the derived type.
//
// Every hit takes part on its own: a step-and-repeat copy of a hole is a hit
// at its copy position under the hole's store index, and the report names the
// hit (index and position), so that a reaction can act on that one hit
// without touching the entity's other copies.
//
// Holes are sorted into square buckets at least as wide as the reach (the
// largest distance at which two holes of the panel can still be too close),
// kept sparse, so the check stays near-linear however large the panel is.
//
// Every pair is reported, so k hits at one place give k*k/2 reports. A
// reaction that does nothing the second time sets FirstReportsOnly: each hit
// is then reported at most once per fault, where the pairs would first have
// reported it, and the check stays near-linear however the hits stack.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

struct TSpacingHit {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Tool = 0;
  int32_t Index = 0;  // drill-store index of the hole the hit belongs to
};

enum class TSpacingFault : uint8_t { TooClose, Identical, Pilot };

struct TSpacingReport {
  TSpacingFault Fault;
  TSpacingHit Hit;
};

class TSpacingCheck {
 public:
  virtual ~TSpacingCheck() = default;

  // The faults to look for and the clearance (database units, >= 0).
  void Init(bool pilot, bool duplicate, bool clearance, int32_t spacing);
  // Collects the live holes of drill layers D0..D9 with their step copies.
  void Build();
  // Compares and reports; the collected hits are released.
  void Run();

  // Pair class of two hits: 0 nothing, 1 too close, 2 a is the pilot, 3 b is
  // the pilot, 4 identical.
  int Classify(const TSpacingHit& a, const TSpacingHit& b) const;

  double MinSpacing = 0;
  int64_t Reach = 0;
  bool PilotFlag = false;
  bool DuplicateFlag = false;
  bool ClearanceFlag = false;
  // Hits of one hole at one place count as one hit.
  bool FirstReportsOnly = false;
  std::vector<TSpacingHit> Hits;

 protected:
  virtual void ReportTooClose(const TSpacingHit& hit) = 0;
  virtual void ReportIdentical(const TSpacingHit& hit) = 0;
  virtual void ReportPilot(const TSpacingHit& hit) = 0;
  // With FirstReportsOnly, the reports about to be made, in order, before
  // the first; false has every pair reported instead.
  virtual bool FirstReportsSuffice(const std::vector<TSpacingReport>& reports) { return true; }

 private:
  struct TBucket {
    size_t Begin, End;  // the bucket's hits in the sorted order
    int32_t Ordinal;    // the bucket's place in the sorted order
  };
  using TBucketKey = std::pair<int64_t, int64_t>;
  // report(fault, hit) for each fault of the pair.
  template <typename TSink>
  void Examine(const TSpacingHit& a, const TSpacingHit& b, TSink& report) const;
  // Every pair in the order of the reports.
  template <typename TSink>
  void EveryPair(const std::vector<int32_t>& order, const std::map<TBucketKey, TBucket>& buckets,
                 TSink& report) const;
  void Report(TSpacingFault fault, const TSpacingHit& hit);
  std::vector<TSpacingReport> FirstReports(const std::vector<int32_t>& order,
                                           const std::map<TBucketKey, TBucket>& buckets) const;
};

// The "Spacing Check" dialog: which faults to look for and the clearance.
// False on Cancel or when every box is clear; spacing in database units.
bool ExecuteSpacingCheckDialog(bool& duplicate, bool& pilot, bool& clearance, int32_t& spacing);

// The drill File menu's Spacing Check: identical and pilot hits are deleted,
// too-close hits moved to D9, a summary is shown and the whole check is one
// undo operation "Spacing Check". Without room in the drill database for
// the holes it would add (a stepped hole split, a hit moved), a box says so
// and nothing is changed.
void SpacingCheckCommand();
