// The path follower: walks the CAD lines and arcs of a layer mask chain by
// chain through the end point grid (entities join end to end within the
// link tolerance, 76,200 units) and hands each chain to its descendant: a
// closed one to ClosedPath, an open one (a free end or a junction) to
// OpenPath, then AfterPath. Every entity is followed once; points, circles
// and text never take part. The automatic part rout and the ODB++ profile
// writer derive from it.
//
// Use: Init (or InitFlag), Run, Done. The grid is the shared EndpointGrid,
// so the CAD store must not change between Init and Done.
#pragma once
#include <cstdint>
#include <vector>

#include "model/root_entity.h"

class TPathFollower {
 public:
  TPathFollower() = default;
  virtual ~TPathFollower();
  TPathFollower(const TPathFollower&) = delete;
  TPathFollower& operator=(const TPathFollower&) = delete;

  // The lines and arcs whose slot word passes the signed test against the
  // mask take part (bit L and bit 31 for CAD layer L); the grid is not
  // interactive.
  void Init(uint32_t layerMask);
  // The lines and arcs of the active CAD layers; gridFlag makes the grid
  // interactive (a junction asks the user).
  void InitFlag(bool gridFlag);
  // Follows every chain in slot order: the first entity not yet done
  // starts the next chain.
  void Run();
  // Slot 0: finishes the run (frees the done set and clears the grid).
  virtual void Done();
  // Slot 1: after each chain.
  virtual void AfterPath() {}
  // Slot 2: a closed chain, its handles in order from the starting entity.
  // The list belongs to the callee (it may keep it and set path to null);
  // what is left in path is freed after the call.
  virtual void ClosedPath(TRootEntityHandle*& path, bool& flag);
  // Slot 3: an open chain; the base redraws it in its layer colours.
  virtual void OpenPath(TRootEntityHandle*& path, bool& flag);

  int32_t PathsFollowed() const { return Paths_; }
  // The entity the current chain started from, and the CAD entity count
  // at Init (for progress).
  int32_t CurrentStart() const { return Start_; }
  int32_t EntityCount() const { return int32_t(Done_.size()) - 1; }

 private:
  void Setup(uint32_t mask, bool gridFlag);
  // Bit i set: CAD entity i needs no more work (bit 0 always).
  std::vector<bool> Done_;
  bool Active_ = false;
  int32_t Paths_ = 0;
  int32_t Start_ = 0;
};
