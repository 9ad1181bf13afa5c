// The endpoint grid: finds, for the free end of a CAD line or arc, the CAD
// lines and arcs that touch it, so that a chain of connected entities can be
// followed into one path, and the follow-branch pick that lets the user
// choose at a junction.
//
// Use: Init (layer, tolerance, interactive), Build, then FollowPath as often
// as needed, then Clear. The grid holds entity pointers and store indices,
// so it is valid only while the CAD store is not changed.
//
// End points are kept in square cells keyed by (v + 2^31) shifted right:
// 2^25 units per cell gives the 128 x 128 cell plan of the whole database
// extent, but a search reads the 3 x 3 cells around the free end, so the
// grid picks the smallest power of two not below the tolerance as its cell
// size. Every end point within the tolerance still lies in those nine cells,
// and a dense outline does not put thousands of end points into each search.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "foundation/geometry.h"
#include "model/root_entity.h"
#include "platform/types.h"

class TCadHandle;

// Rounded Euclidean distance of two integer points (SaturatingRound of the
// square root of dx^2 + dy^2; the differences are taken without overflow).
int32_t IntPointDistance(const TIntPoint& a, const TIntPoint& b);
using TPointDistanceFunc = int32_t (*)(const TIntPoint& a, const TIntPoint& b);

// The cell of a coordinate: v taken as unsigned, plus 2^31 (the sign bit
// flipped), shifted right logically by shift. With shift 25, 0 falls into
// cell 64, -1 into 63, -2^30 into 32 and 2^30 - 1 into 95.
constexpr uint32_t EndpointCell(int32_t v, uint8_t shift) {
  return (static_cast<uint32_t>(v) ^ 0x80000000u) >> shift;
}
// The cell shift of the coarse 128 x 128 plan.
constexpr uint8_t CoarseCellShift = 25;
// The smallest shift (at most 31) whose cell size is at least the tolerance.
uint8_t CellShiftForTolerance(int32_t tolerance);

// Results of NextSegment and FollowPath.
enum : uint8_t {
  fpClosed = 0,     // the path came back to its start entity
  fpOpen = 1,       // the path ended at a free end
  fpJunction = 2,   // a junction offered more than one continuation
  fpContinue = 3,   // NextSegment only: exactly one continuation
};

// Link tolerance of every caller: 76,200 units (0.003 in).
constexpr int32_t LinkTolerance = 76200;
// Layer argument of Init for all active CAD layers.
constexpr uint8_t AllActiveCadLayers = 255;
// Command number of BRANCH, the pick that answers a junction.
constexpr int32_t BranchCommand = 37;
// Colour of the offered branch candidates (red).
constexpr TColor PickColor = 0x000000FF;

class TEndpointGrid {
 public:
  TEndpointGrid() = default;
  ~TEndpointGrid() { Clear(); }
  TEndpointGrid(const TEndpointGrid&) = delete;
  TEndpointGrid& operator=(const TEndpointGrid&) = delete;

  // Empties the grid and sets it up for the layer (AllActiveCadLayers:
  // ActiveLayerMask, else that layer's bit with bit 31), the tolerance (two
  // ends connect when their distance is strictly below it) and the
  // interactive flag (followed entities are drawn white and a junction asks
  // the user). distance measures end points (IntPointDistance normally).
  void Init(uint8_t layer, int32_t tolerance, bool interactive,
            TPointDistanceFunc distance = IntPointDistance);
  // Enters every live CAD line and arc of the layer mask by its start and
  // end point (the end only when it falls into another cell than the start).
  // Lets messages run every 1,000 slots.
  void Build();
  // Frees the nodes; the grid is empty afterwards (Init and Build fill it
  // again). Safe to call more than once.
  void Clear();

  // One step of a follow from the free end of current (its end point, or
  // its start point when reversed). Result fpClosed when the single
  // continuation is startEntity, fpOpen when there is none, fpContinue with
  // index and reversed set to the single continuation, fpJunction when
  // several continue and none is clearly nearest (the candidates then stay
  // in BranchCandidates) unless an interactive pick resolved it.
  uint8_t NextSegment(TRootDBObject* startEntity, TRootDBObject* current, int32_t& index,
                      bool& reversed);
  // Follows the chain from the first handle of path (a list of TCadHandle)
  // in the direction and appends a TCadHandle per linked entity. Returns
  // fpClosed, fpOpen or fpJunction. A chain never takes an entity twice:
  // doubling back over a last entity shorter than the tolerance (onto the
  // entity before it, or onto the start at the end it was left from) ends
  // it open; running into any other entity it holds ends it at a junction.
  // Only a line or an arc is followed; for anything else the result is
  // fpOpen and the path stays as it was.
  uint8_t FollowPath(TRootEntityHandle*& path, bool reversed);

  // Number of end-point nodes entered by Build.
  int32_t NodeCount() const { return static_cast<int32_t>(Nodes_.size()); }
  uint8_t CellShift() const { return Shift_; }

  int32_t Tolerance = 0;
  uint32_t LayerMask = 0;
  uint8_t LastResult = fpOpen;
  bool Interactive = false;

 private:
  struct TNode {
    TRootDBObject* Entity;
    int32_t Index;
    int32_t Next;  // next node of the same cell, -1 at the end
  };
  struct TCandidate {
    TRootDBObject* Entity;
    int32_t Index;
    int32_t DS;  // distance of the free end to the candidate's start
    int32_t DE;  // ... and to its end
  };
  static uint64_t CellKey(uint32_t cx, uint32_t cy) {
    return (static_cast<uint64_t>(cx) << 32) | cy;
  }
  void Enter(TRootDBObject* entity, int32_t index, uint32_t cx, uint32_t cy);
  void SetBranchCandidates(const std::vector<TCandidate>& candidates);
  uint8_t InteractivePick(TRootDBObject* startEntity, const TIntPoint& freeEnd,
                          int32_t& index, bool& reversed);

  TPointDistanceFunc Distance_ = IntPointDistance;
  uint8_t Shift_ = CoarseCellShift;
  std::unordered_map<uint64_t, int32_t> Heads_;  // cell -> first node
  std::vector<TNode> Nodes_;
  std::vector<TCandidate> Candidates_;
  std::vector<uint32_t> OnPath_;  // per store index: the follow that linked it
  uint32_t FollowStamp_ = 0;
};

// The one grid shared by the path linker, the automatic part rout and the
// path commands.
extern TEndpointGrid EndpointGrid;

// ---- Follow-branch pick state ------------------------------------------------

// 0 idle, 1 a follow is running, 2 waiting for the user's branch pick, 3 the
// user picked (FollowPickEntity, FollowPickIndex), 4 the user chose "Stop
// Here".
enum : uint8_t {
  fpsIdle = 0, fpsFollowing = 1, fpsWaitingForPick = 2, fpsPicked = 3, fpsStopped = 4
};
extern uint8_t FollowPickState;
// The candidates of the last search that found several (nullptr when none
// is pending); owned here, shown by DrawBranchCandidates.
extern TCadHandle* BranchCandidates;
// The candidate list offered to the user during an interactive pick.
extern TCadHandle* FollowPickedPath;
// The entity and CAD slot index chosen by the BRANCH pick.
extern TRootDBObject* FollowPickEntity;
extern int32_t FollowPickIndex;
// The first handle of the path FollowPath is extending.
extern TRootEntityHandle* FollowPathHead;
// Whether the "Follow Branch" alert is shown at a junction (for the run of
// the program).
extern bool ShowBranchAlert;

// Draws the pending branch candidates in PickColor (nothing when none).
void DrawBranchCandidates();
// Frees the pending branch candidates.
void FreeBranchCandidates();
// Unit start state: FollowPickState idle, no candidates pending.
void InitFollowBranchUnit();

// What the interactive branch pick needs of the command interpreter (the
// modal bracket and the view come from the view services). Until one is
// installed, a junction cannot be put to the user and ends the follow as it
// does when not interactive.
class TFollowBranchHost {
 public:
  virtual ~TFollowBranchHost() = default;
  // Presses the BRANCH tool button, starting the pick command.
  virtual void PressBranchCommand() = 0;
  // Drops the newest queued command text ("Stop Here").
  virtual void BackUpOneStep() = 0;
  // True once the main form is closing.
  virtual bool AppClosing() = 0;
};
// Installs the host (not owned; nullptr removes it); returns the previous.
TFollowBranchHost* SetFollowBranchHost(TFollowBranchHost* host);
TFollowBranchHost* FollowBranchHost();
