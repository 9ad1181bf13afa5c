#include "tapeout/drill_path_optimizer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

const char* const OptimizerNames[kOptimizerCount] = {
    "None", "Standard", "Band Sweep X", "Band Sweep Y", "Space Filling", "Best in Time"};

void TTimeBudget::SetBudget(uint32_t milliseconds) {
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  set_ = true;
  expired_ = false;
}

bool TTimeBudget::Expired() {
  if (!expired_ && set_ && std::chrono::steady_clock::now() >= deadline_) expired_ = true;
  return expired_;
}

namespace {

constexpr double kEpsilon = 1e-7;
constexpr uint32_t kStandardMilliseconds = 150;
// A board of groups starts from the groups' tour when that is shorter than
// this part of the nearest-neighbour tour.
constexpr double kGroupStart = 0.95;

// The length of (dx, dy). The coordinates are 32-bit database units, far
// from where the plain formula would overflow; std::hypot's guard against
// that costs a good part of the search's time.
inline double Distance(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// A k-d tree of the points for nearest-point searches: buckets of a few
// points, split at the median of the wider side. Unlike a uniform grid it
// keeps its depth whatever the points do: holes on one line, dense groups far
// apart, or a side of a point with nothing on it cost a search no more than a
// few buckets.
class TPointGrid {
 public:
  TPointGrid(const std::vector<double>& xs, const std::vector<double>& ys)
      : xs_(xs), ys_(ys), removed_(xs.size(), false), leafOf_(xs.size(), 0) {
    index_.resize(xs.size());
    std::iota(index_.begin(), index_.end(), 0);
    nodes_.reserve(2 * xs.size() / kBucket + 2);
    if (!index_.empty()) Build(0, static_cast<int32_t>(index_.size()), -1);
  }

  // Takes a point out of the tree (nearest-neighbour construction).
  void Remove(int32_t i) {
    if (removed_[i]) return;
    removed_[i] = true;
    for (int32_t node = leafOf_[i]; node >= 0; node = nodes_[node].Parent) --nodes_[node].Alive;
  }

  // The nearest point still in the tree, or -1. Of points at one distance
  // (hits on a pitch) the one most nearly ahead along (aheadX, aheadY), so
  // that a row is drilled on to its end instead of back and forth, and then
  // the lowest number.
  int32_t Nearest(double x, double y, double aheadX = 0, double aheadY = 0) const {
    int32_t best = -1;
    double bestD = std::numeric_limits<double>::infinity(), bestAhead = 0;
    if (nodes_.empty()) return best;
    double bound = bestD;
    Visit(0, x, y, -1, -1, bound, [&](int32_t j, double d) {
      const double ahead = (xs_[j] - x) * aheadX + (ys_[j] - y) * aheadY;
      if (d < bestD || (d == bestD && (ahead > bestAhead || (ahead == bestAhead && j < best)))) {
        bestD = d;
        bestAhead = ahead;
        best = j;
      }
      return bestD;
    });
    return best;
  }

  // Up to k nearest points other than i, nearest first (the lower number
  // first at one distance); quadrant 0..3 keeps to the points on one side of
  // i in x and in y, -1 takes any.
  std::vector<int32_t> KNearest(int32_t i, int32_t k, int32_t quadrant = -1) const {
    std::vector<std::pair<double, int32_t>> found;
    double bound = std::numeric_limits<double>::infinity();
    if (!nodes_.empty())
      Visit(0, xs_[i], ys_[i], i, quadrant, bound, [&](int32_t j, double d) {
        if (j == i) return bound;
        const std::pair<double, int32_t> item(d, j);
        if (static_cast<int32_t>(found.size()) == k && !(item < found.back())) return bound;
        found.insert(std::upper_bound(found.begin(), found.end(), item), item);
        if (static_cast<int32_t>(found.size()) > k) found.pop_back();
        if (static_cast<int32_t>(found.size()) == k) bound = found.back().first;
        return bound;
      });
    std::vector<int32_t> out;
    for (const auto& f : found) out.push_back(f.second);
    return out;
  }

  int32_t Quadrant(int32_t i, int32_t j) const {
    return (xs_[j] >= xs_[i] ? 0 : 1) + (ys_[j] >= ys_[i] ? 0 : 2);
  }

 private:
  static constexpr int32_t kBucket = 8;
  struct TNode {
    double MinX, MaxX, MinY, MaxY;
    int32_t First, Last;  // the node's points: index_[First .. Last)
    int32_t Low = -1, High = -1, Parent = -1;
    int32_t Alive = 0;
  };

  int32_t Build(int32_t first, int32_t last, int32_t parent) {
    const int32_t at = static_cast<int32_t>(nodes_.size());
    TNode node{};
    node.MinX = node.MinY = std::numeric_limits<double>::infinity();
    node.MaxX = node.MaxY = -std::numeric_limits<double>::infinity();
    for (int32_t k = first; k < last; ++k) {
      const int32_t p = index_[k];
      node.MinX = std::min(node.MinX, xs_[p]);
      node.MaxX = std::max(node.MaxX, xs_[p]);
      node.MinY = std::min(node.MinY, ys_[p]);
      node.MaxY = std::max(node.MaxY, ys_[p]);
    }
    node.First = first;
    node.Last = last;
    node.Parent = parent;
    node.Alive = last - first;
    nodes_.push_back(node);
    if (last - first <= kBucket) {
      for (int32_t k = first; k < last; ++k) leafOf_[index_[k]] = at;
      return at;
    }
    // Points at one place stay one bucket however many: they cannot be told
    // apart by a split.
    if (node.MaxX == node.MinX && node.MaxY == node.MinY) {
      for (int32_t k = first; k < last; ++k) leafOf_[index_[k]] = at;
      return at;
    }
    const bool alongX = node.MaxX - node.MinX >= node.MaxY - node.MinY;
    const int32_t middle = first + (last - first) / 2;
    std::nth_element(index_.begin() + first, index_.begin() + middle, index_.begin() + last,
                     [&](int32_t a, int32_t b) {
                       const double va = alongX ? xs_[a] : ys_[a], vb = alongX ? xs_[b] : ys_[b];
                       return va < vb || (va == vb && a < b);
                     });
    const int32_t low = Build(first, middle, at);
    const int32_t high = Build(middle, last, at);
    nodes_[at].Low = low;
    nodes_[at].High = high;
    return at;
  }

  // The distance from (x, y) to the node's box.
  double BoxDistance(const TNode& node, double x, double y) const {
    const double dx = x < node.MinX ? node.MinX - x : x > node.MaxX ? x - node.MaxX : 0.0;
    const double dy = y < node.MinY ? node.MinY - y : y > node.MaxY ? y - node.MaxY : 0.0;
    return Distance(dx, dy);
  }

  // Whether the node's box reaches the quadrant of point i.
  bool ReachesQuadrant(const TNode& node, int32_t i, int32_t quadrant) const {
    if (quadrant < 0) return true;
    const bool right = (quadrant & 1) == 0, up = (quadrant & 2) == 0;
    if (right ? node.MaxX < xs_[i] : node.MinX >= xs_[i]) return false;
    if (up ? node.MaxY < ys_[i] : node.MinY >= ys_[i]) return false;
    return true;
  }

  // Visits the live points of the node, the nearer half first; visit
  // returns the search radius, kept in bound, and a node wholly beyond it is
  // passed over (one at the radius is still looked at, for its lower
  // numbers).
  template <class F>
  void Visit(int32_t at, double x, double y, int32_t i, int32_t quadrant, double& bound,
             F&& visit) const {
    const TNode& node = nodes_[at];
    if (node.Alive == 0 || !ReachesQuadrant(node, i, quadrant)) return;
    if (node.Low < 0) {
      for (int32_t k = node.First; k < node.Last; ++k) {
        const int32_t j = index_[k];
        if (removed_[j] || (quadrant >= 0 && Quadrant(i, j) != quadrant)) continue;
        bound = visit(j, Distance(xs_[j] - x, ys_[j] - y));
      }
      return;
    }
    int32_t near = node.Low, far = node.High;
    double nearD = BoxDistance(nodes_[near], x, y), farD = BoxDistance(nodes_[far], x, y);
    if (farD < nearD) {
      std::swap(near, far);
      std::swap(nearD, farD);
    }
    if (nearD <= bound) Visit(near, x, y, i, quadrant, bound, visit);
    if (farD <= bound) Visit(far, x, y, i, quadrant, bound, visit);
  }

  const std::vector<double>& xs_;
  const std::vector<double>& ys_;
  std::vector<bool> removed_;
  std::vector<int32_t> leafOf_;
  std::vector<int32_t> index_;
  std::vector<TNode> nodes_;
};

// A closed tour as an array with positions, improved by 2-opt, Or-opt and
// Lin-Kernighan moves over candidate lists, with a queue of the nodes still
// worth looking at (a node leaves the queue once no move starts from it, and
// comes back when a move touches it).
//
// For an open path from a start point the tour holds two more nodes: the
// start S and a node Z at distance 0 from everything, with the edge S-Z
// pinned (no move removes it). The tour S, x1 .. xn, Z then costs exactly
// the open path from S through x1 .. xn.
std::vector<int32_t> SearchTour(const std::vector<TIntPoint>& points,
                                const TOptimizerOptions& options, const TIntPoint* start);

class TTourSearch {
 public:
  TTourSearch(const std::vector<TIntPoint>& points, const TIntPoint* start) {
    const std::size_t n = points.size();
    for (const TIntPoint& p : points) {
      xs_.push_back(p.X);
      ys_.push_back(p.Y);
    }
    open_ = start != nullptr;
    if (open_) {
      start_ = static_cast<int32_t>(n);
      xs_.push_back(start->X);
      ys_.push_back(start->Y);
    }
    // The candidates of a node: its nearest few, and the nearest two on each
    // side (quadrant) of it. On a board of dense groups far apart the nearest
    // points all lie in the node's own group; the quadrant ones reach the
    // next groups, where the tour has to cross.
    TPointGrid grid(xs_, ys_);
    for (std::size_t i = 0; i < xs_.size(); ++i) {
      const int32_t at = static_cast<int32_t>(i);
      std::vector<int32_t> list = grid.KNearest(at, kNearest);
      for (int32_t q = 0; q < 4; ++q)
        for (int32_t j : grid.KNearest(at, kPerQuadrant, q))
          if (std::find(list.begin(), list.end(), j) == list.end()) list.push_back(j);
      std::sort(list.begin(), list.end(), [&](int32_t a, int32_t b) {
        const double da = D(at, a), db = D(at, b);
        return da < db || (da == db && a < b);
      });
      std::vector<double> lengths;
      for (int32_t j : list) lengths.push_back(D(at, j));
      neighbours_.push_back(std::move(list));
      reach_.push_back(std::move(lengths));
    }
    if (open_) {
      zero_ = start_ + 1;
      xs_.push_back(start->X);
      ys_.push_back(start->Y);
      neighbours_.emplace_back();
      reach_.emplace_back();
    }
    n_ = static_cast<int32_t>(xs_.size());
    queued_.assign(xs_.size(), false);
  }

  double D(int32_t a, int32_t b) const {
    if (a == zero_ || b == zero_) return 0;
    return Distance(xs_[a] - xs_[b], ys_[a] - ys_[b]);
  }
  bool Pinned(int32_t a, int32_t b) const {
    return open_ && ((a == start_ && b == zero_) || (a == zero_ && b == start_));
  }
  int32_t Succ(int32_t a) const { return tour_[pos_[a] + 1 == n_ ? 0 : pos_[a] + 1]; }
  int32_t Pred(int32_t a) const { return tour_[pos_[a] == 0 ? n_ - 1 : pos_[a] - 1]; }

  void NearestNeighbourTour() {
    const int32_t real = open_ ? n_ - 1 : n_;  // S takes part, Z comes last
    std::vector<double> gx(xs_.begin(), xs_.begin() + real), gy(ys_.begin(), ys_.begin() + real);
    TPointGrid grid(gx, gy);
    tour_.clear();
    int32_t cur = open_ ? start_ : 0;
    grid.Remove(cur);
    tour_.push_back(cur);
    for (int32_t k = 1; k < real; ++k) {
      const int32_t last = cur;
      cur = grid.Nearest(xs_[cur], ys_[cur], k > 1 ? xs_[last] - xs_[tour_[k - 2]] : 0,
                         k > 1 ? ys_[last] - ys_[tour_[k - 2]] : 0);
      grid.Remove(cur);
      tour_.push_back(cur);
    }
    if (open_) tour_.push_back(zero_);
    SetPositions();
  }

  // Numbers the groups of hits 0 .. hits - 1 that lie within `reach` of
  // one another over the candidate lists (each hit's nearest are among
  // them); returns how many.
  int32_t Groups(int32_t hits, double reach, std::vector<int32_t>& groupOf) const {
    std::vector<int32_t> root(hits);
    std::iota(root.begin(), root.end(), 0);
    auto find = [&](int32_t a) {
      while (root[a] != a) a = root[a] = root[root[a]];
      return a;
    };
    for (int32_t i = 0; i < hits; ++i)
      for (std::size_t k = 0; k < neighbours_[i].size() && reach_[i][k] <= reach; ++k)
        if (neighbours_[i][k] < hits) root[find(i)] = find(neighbours_[i][k]);
    groupOf.assign(hits, -1);
    int32_t groups = 0;
    for (int32_t i = 0; i < hits; ++i) {
      const int32_t r = find(i);
      if (groupOf[r] < 0) groupOf[r] = groups++;
      groupOf[i] = groupOf[r];
    }
    return groups;
  }

  // The tour of a board whose hits lie in groups: hits nearer one another
  // than a few times the usual spacing of neighbours form a group; the
  // groups' centres are ordered by a search of their own, and each group is
  // drilled whole in turn, nearest hit next from where the last group ended.
  // Left alone (false) when the hits do not fall into groups.
  bool GroupTour(const TOptimizerOptions& options) {
    const int32_t hits = open_ ? n_ - 2 : n_;  // the hits: 0 .. hits - 1
    if (hits < 16) return false;
    std::vector<double> spacing;
    spacing.reserve(hits);
    for (int32_t i = 0; i < hits; ++i)
      if (!reach_[i].empty()) spacing.push_back(reach_[i].front());
    if (spacing.empty()) return false;
    std::nth_element(spacing.begin(), spacing.begin() + spacing.size() / 2, spacing.end());
    const double reach = kGroupReach * spacing[spacing.size() / 2];
    std::vector<int32_t> groupOf;
    const int32_t groups = Groups(hits, reach, groupOf);
    if (groups < 4 || groups > hits / 3) return false;
    // Groups with wide gaps between them stay apart when the reach doubles;
    // hits spread evenly run together into a few (and are drilled better
    // from the nearest-neighbour tour).
    std::vector<int32_t> wider;
    if (3 * Groups(hits, 2 * reach, wider) < groups) return false;
    std::vector<std::vector<int32_t>> members(groups);
    for (int32_t i = 0; i < hits; ++i) members[groupOf[i]].push_back(i);
    std::vector<TIntPoint> centres;
    for (const auto& group : members) {
      double sx = 0, sy = 0;
      for (int32_t i : group) {
        sx += xs_[i];
        sy += ys_[i];
      }
      centres.push_back({static_cast<int32_t>(std::lround(sx / group.size())),
                         static_cast<int32_t>(std::lround(sy / group.size()))});
    }
    TOptimizerOptions coarse;
    coarse.Method = 5;
    coarse.Seed = options.Seed;
    // Bounded by kicks alone, so that a run can be repeated exactly: one
    // for 32 groups, so that the groups' tour takes a small part of the
    // time the hits' search takes also where the groups are small parts
    // (with one a group, a board of 1,600 three-hole parts spent the
    // standard method's whole time on it and had none left for its kicks).
    coarse.BudgetMilliseconds = std::numeric_limits<uint32_t>::max();
    coarse.MaxKicks = std::max(1, groups / 32);
    coarse.Cancelled = options.Cancelled;
    std::vector<int32_t> sequence = SearchTour(centres, coarse, nullptr);
    double x = xs_[members[sequence[0]][0]], y = ys_[members[sequence[0]][0]];
    if (open_) {
      // From the group nearest the start, on round the groups' tour.
      x = xs_[start_];
      y = ys_[start_];
      std::size_t nearest = 0;
      double best = std::numeric_limits<double>::infinity();
      for (std::size_t k = 0; k < sequence.size(); ++k) {
        const double d = Distance(centres[sequence[k]].X - x, centres[sequence[k]].Y - y);
        if (d < best) {
          best = d;
          nearest = k;
        }
      }
      std::rotate(sequence.begin(), sequence.begin() + nearest, sequence.end());
    }
    tour_.clear();
    if (open_) tour_.push_back(start_);
    for (int32_t g : sequence) {
      const auto& group = members[g];
      std::vector<double> gx, gy;
      for (int32_t i : group) {
        gx.push_back(xs_[i]);
        gy.push_back(ys_[i]);
      }
      TPointGrid grid(gx, gy);
      for (std::size_t k = 0; k < group.size(); ++k) {
        const int32_t at = grid.Nearest(x, y);
        grid.Remove(at);
        tour_.push_back(group[at]);
        x = gx[at];
        y = gy[at];
      }
    }
    if (open_) tour_.push_back(zero_);
    SetPositions();
    return true;
  }

  void SetTour(std::vector<int32_t> tour, double length) {
    tour_ = std::move(tour);
    length_ = length;
    SetPositions();
  }

  // The open path's points from S, away from Z.
  std::vector<int32_t> OpenPath() const {
    std::vector<int32_t> out;
    const bool forward = Succ(start_) != zero_;
    int32_t at = start_;
    for (int32_t k = 0; k < n_ - 2; ++k) {
      at = forward ? Succ(at) : Pred(at);
      out.push_back(at);
    }
    return out;
  }

  double Length() const {
    double sum = 0;
    for (int32_t i = 0; i < n_; ++i) sum += D(tour_[i], tour_[i + 1 == n_ ? 0 : i + 1]);
    return sum;
  }

  // Runs the moves until no queued node gives a gain; returns the gain.
  double LocalSearch(const std::function<bool()>& stop) {
    double gain = 0;
    int32_t polls = 0;
    while (head_ < queue_.size()) {
      const int32_t a = queue_[head_++];
      queued_[a] = false;
      if (++polls == 1024) {
        polls = 0;
        if (stop && stop()) break;
      }
      double g = TwoOpt(a);
      if (g <= 0) g = OrOpt(a);
      if (g <= 0) g = LinKernighan(a);
      if (g > 0) {
        gain += g;
        Push(a);
      }
      if (!kicking_) journal_.clear();
    }
    for (std::size_t k = head_; k < queue_.size(); ++k) queued_[queue_[k]] = false;
    queue_.clear();
    head_ = 0;
    return gain;
  }

  void QueueAll() {
    for (int32_t i = 0; i < n_; ++i) Push(tour_[i]);
  }

  // Iterated local search: a double bridge (two stretches of the tour swap
  // places), local search around its cuts, kept when the tour comes out
  // shorter and undone otherwise. Ends at the budget, after maxKicks kicks (0: no limit), or
  // once many kicks in a row found nothing: on a small set that is soon.
  void Iterate(TTimeBudget& budget, int64_t maxKicks, uint32_t seed,
               const std::function<bool()>& cancelled) {
    if (n_ < 8) return;
    uint64_t state = seed * 6364136223846793005ull + 1442695040888963407ull;
    auto next = [&state]() {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      return state;
    };
    const int32_t span = std::max<int32_t>(1, std::min<int32_t>(50, (n_ - 2) / 3));
    const int64_t stallLimit = 200 + 20 * int64_t{n_};
    int64_t stalled = 0;
    const auto stop = [&]() { return budget.Expired() || (cancelled && cancelled()); };
    kicking_ = true;
    for (int64_t kick = 0; (maxKicks == 0 || kick < maxKicks) && stalled < stallLimit; ++kick) {
      if ((kick & 63) == 0 && stop()) break;
      journal_.clear();
      int32_t i = static_cast<int32_t>(next() % static_cast<uint64_t>(n_));
      int32_t l1 = 1 + static_cast<int32_t>(next() % span);
      int32_t l2 = 1 + static_cast<int32_t>(next() % span);
      if (!neighbours_[tour_[i]].empty()) {
        // The cuts lie where the tour may be far from the local stretch:
        // next to nodes a short walk away over the candidates (which may lie
        // far apart along the tour), or, every other kick, at long edges,
        // which on a board of dense groups are the crossings between groups.
        // Such kicks change the order in which the groups are drilled. Cuts
        // that fall too close together leave the local stretch.
        auto walk = [&](int32_t from) {
          for (int32_t step = 0; step < kWalk; ++step) {
            const auto& list = neighbours_[from];
            if (list.empty()) break;
            from = list[next() % list.size()];
          }
          return from;
        };
        int32_t cut[3] = {i, 0, 0};
        if (kick % 2 == 1) {
          for (int32_t& at : cut) {
            double longest = -1;
            for (int32_t k = 0; k < kLong; ++k) {
              const int32_t p = static_cast<int32_t>(next() % static_cast<uint64_t>(n_));
              const double d = D(tour_[p], tour_[p + 1 == n_ ? 0 : p + 1]);
              if (d > longest) {
                longest = d;
                at = p;
              }
            }
          }
        } else {
          const int32_t b = walk(tour_[i]), c = walk(b);
          cut[1] = pos_[b];
          cut[2] = pos_[c];
        }
        std::sort(cut, cut + 3);
        if (cut[1] - cut[0] >= 1 && cut[2] - cut[1] >= 1 && n_ - (cut[2] - cut[0]) >= 2) {
          i = cut[0];
          l1 = cut[1] - cut[0];
          l2 = cut[2] - cut[1];
        }
      }
      ++stalled;
      const int32_t a = tour_[i], b1 = tour_[(i + 1) % n_], bl = tour_[(i + l1) % n_];
      const int32_t c1 = tour_[(i + l1 + 1) % n_], cl = tour_[(i + l1 + l2) % n_];
      const int32_t d1 = tour_[(i + l1 + l2 + 1) % n_];
      if (Pinned(a, b1) || Pinned(bl, c1) || Pinned(cl, d1)) continue;
      const double delta = D(a, c1) + D(cl, b1) + D(bl, d1) - D(a, b1) - D(bl, c1) - D(cl, d1);
      ReverseRange((i + 1) % n_, l1);
      ReverseRange((i + l1 + 1) % n_, l2);
      ReverseRange((i + 1) % n_, l1 + l2);
      for (int32_t v : {a, b1, bl, c1, cl, d1}) Push(v);
      const double gain = LocalSearch({});
      if (delta - gain < -kEpsilon) {
        length_ += delta - gain;
        stalled = 0;
      } else {
        Undo(0);
      }
    }
    kicking_ = false;
    journal_.clear();
  }

  std::vector<int32_t> tour_;
  double length_ = 0;

 private:
  static constexpr int32_t kNearest = 6;
  static constexpr int32_t kPerQuadrant = 2;
  // Hits within this many times the usual distance to the nearest hit form
  // a group (GroupTour).
  static constexpr double kGroupReach = 2.5;
  static constexpr int32_t kMaxDepth = 12;
  // The kicks cut alternately next to nodes kWalk candidate steps apart and
  // at the longest of kLong edges drawn.
  static constexpr int32_t kWalk = 3, kLong = 64;
  static constexpr int32_t kBreadth0 = 4, kBreadth1 = 2;

  void SetPositions() {
    pos_.assign(n_, 0);
    for (int32_t i = 0; i < n_; ++i) pos_[tour_[i]] = i;
  }

  void Push(int32_t a) {
    if (queued_[a]) return;
    queued_[a] = true;
    queue_.push_back(a);
  }

  // Reverses len array places from position i on (wrapping round); the
  // journal keeps it so that a kick or a move can be taken back.
  void ReverseRange(int32_t i, int32_t len) {
    journal_.emplace_back(i, len);
    Flip(i, len);
  }
  void Flip(int32_t i, int32_t len) {
    int32_t lo = i, hi = (i + len - 1) % n_;
    for (int32_t k = 0; k < len / 2; ++k) {
      std::swap(tour_[lo], tour_[hi]);
      pos_[tour_[lo]] = lo;
      pos_[tour_[hi]] = hi;
      lo = lo + 1 == n_ ? 0 : lo + 1;
      hi = hi == 0 ? n_ - 1 : hi - 1;
    }
  }
  // Takes back the reversals after the first `mark` of the journal.
  void Undo(std::size_t mark) {
    while (journal_.size() > mark) {
      Flip(journal_.back().first, journal_.back().second);
      journal_.pop_back();
    }
  }

  // Reverses the path from a to b in tour order, or the rest of the tour
  // when that is shorter (the same cyclic tour).
  void Reverse(int32_t a, int32_t b) {
    int32_t i = pos_[a], j = pos_[b];
    int32_t len = (j - i + n_) % n_ + 1;
    if (2 * len > n_) {
      const int32_t ni = (j + 1) % n_;
      len = n_ - len;
      i = ni;
    }
    if (len > 1) ReverseRange(i, len);
  }

  // Replaces the tour edges {x1, x2} and {y1, y2} by {x1, y1} and {x2, y2};
  // x2 follows x1 exactly when y2 follows y1.
  void Exchange(int32_t x1, int32_t x2, int32_t y1, int32_t y2) {
    if (Succ(x1) == x2) Reverse(x2, y1);
    else Reverse(y1, x2);
  }

  double TwoOpt(int32_t a) {
    for (int dir = 0; dir < 2; ++dir) {
      const int32_t b = dir == 0 ? Succ(a) : Pred(a);
      if (Pinned(a, b)) continue;
      const double dab = D(a, b);
      const std::vector<int32_t>& list = neighbours_[a];
      for (std::size_t k = 0; k < list.size(); ++k) {
        const int32_t c = list[k];
        const double g1 = dab - reach_[a][k];
        if (g1 <= kEpsilon) break;
        const int32_t d = dir == 0 ? Succ(c) : Pred(c);
        if (c == b || d == a || Pinned(c, d)) continue;
        const double gain = g1 + D(c, d) - D(b, d);
        if (gain > kEpsilon) {
          Exchange(a, b, c, d);
          for (int32_t v : {a, b, c, d}) Push(v);
          return gain;
        }
      }
    }
    return 0;
  }

  // Moves the stretch of 1 to 3 nodes starting at a (in tour order) between
  // two neighbouring nodes elsewhere, either way round.
  double OrOpt(int32_t s1) {
    if (n_ < 8) return 0;
    int32_t sl = s1;
    for (int32_t len = 1; len <= 3; ++len) {
      if (len > 1) sl = Succ(sl);
      const int32_t p = Pred(s1), nn = Succ(sl);
      if (nn == p || sl == p) break;
      if (Pinned(p, s1) || Pinned(sl, nn)) continue;
      const double removeGain = D(p, s1) + D(sl, nn) - D(p, nn);
      if (removeGain <= kEpsilon) continue;
      for (int32_t e : {s1, sl}) {
        const std::vector<int32_t>& list = neighbours_[e];
        for (std::size_t k = 0; k < list.size(); ++k) {
          const int32_t c = list[k];
          if (reach_[e][k] >= removeGain) break;
          if ((pos_[c] - pos_[s1] + n_) % n_ < len) continue;
          for (int side = 0; side < 2; ++side) {
            const int32_t u = side == 0 ? c : Pred(c);
            const int32_t v = side == 0 ? Succ(c) : c;
            if (v == p || Pinned(u, v) || (pos_[u] - pos_[s1] + n_) % n_ < len ||
                (pos_[v] - pos_[s1] + n_) % n_ < len)
              continue;
            const double forward = D(u, s1) + D(sl, v);
            const double backward = D(u, sl) + D(s1, v);
            const double gain = removeGain + D(u, v) - std::min(forward, backward);
            if (gain <= kEpsilon) continue;
            Exchange(p, s1, u, v);
            if (u != nn) Exchange(p, u, nn, sl);
            if (forward < backward) Exchange(u, sl, s1, v);
            for (int32_t w : {p, nn, s1, sl, u, v}) Push(w);
            return gain;
          }
        }
      }
    }
    return 0;
  }

  // A Lin-Kernighan move from t1: the tour edge t1-t2 is broken and the
  // free end t2 walks on, each step joining it to a candidate t3 and
  // breaking the edge from t3 to t4 on the far side, so that closing t4-t1
  // always gives a tour. Each step is a reversal. The first steps try a few
  // candidates in turn, the later ones only the best; edges joined during
  // the walk are not broken again.
  double LinKernighan(int32_t t1) {
    for (int dir = 0; dir < 2; ++dir) {
      const int32_t t2 = dir == 0 ? Succ(t1) : Pred(t1);
      if (Pinned(t1, t2) || t2 == zero_) continue;
      joined_.clear();
      const double gain = Walk(t1, t2, D(t1, t2), 0);
      if (gain > 0) {
        Push(t1);
        Push(t2);
        return gain;
      }
    }
    return 0;
  }

  // One step of the walk with free end t2 and the gain so far (the broken
  // edges less the joined ones). Returns the best gain of closing the tour
  // at this step or later, leaving the tour there; 0 leaves it as it was.
  double Walk(int32_t t1, int32_t t2, double gain, int32_t depth) {
    if (depth >= kMaxDepth || t2 == zero_) return 0;
    const bool forward = Succ(t1) == t2;
    struct TStep {
      double Value;
      int32_t T3, T4;
    };
    TStep steps[kBreadth0];
    const int32_t breadth = depth == 0 ? kBreadth0 : depth == 1 ? kBreadth1 : 1;
    int32_t count = 0;
    const std::vector<int32_t>& list = neighbours_[t2];
    for (std::size_t c = 0; c < list.size(); ++c) {
      const int32_t t3 = list[c];
      const double d23 = reach_[t2][c];
      if (gain - d23 <= kEpsilon) break;
      const int32_t t4 = forward ? Pred(t3) : Succ(t3);
      if (t3 == t1 || t4 == t2 || Pinned(t3, t4) || Joined(t3, t4)) continue;
      const TStep step{D(t3, t4) - d23, t3, t4};
      // Keep the best `breadth` steps, best first.
      int32_t at = count < breadth ? count++ : breadth;
      while (at > 0 && steps[at - 1].Value < step.Value) {
        if (at < breadth) steps[at] = steps[at - 1];
        --at;
      }
      if (at < breadth) steps[at] = step;
    }
    for (int32_t k = 0; k < count; ++k) {
      const TStep& step = steps[k];
      const double g = gain + step.Value;
      const double closed = g - D(step.T4, t1);
      // The walk goes on from t4 only to a candidate nearer than the gain so
      // far (the candidates come nearest first). Without one, or at the
      // depth limit, the step can only close the tour, and that is judged
      // without turning the stretch round and back: most steps end so.
      const std::vector<int32_t>& onward = neighbours_[step.T4];
      if (depth + 1 >= kMaxDepth || onward.empty() || g - reach_[step.T4].front() <= kEpsilon) {
        if (closed <= kEpsilon) continue;
        Exchange(t2, t1, step.T3, step.T4);
        Push(step.T3);
        Push(step.T4);
        return closed;
      }
      const std::size_t mark = journal_.size();
      joined_.emplace_back(t2, step.T3);
      // t1 t2 .. t4 t3 becomes t1 t4 .. t2 t3: t4 is the new free end.
      Exchange(t2, t1, step.T3, step.T4);
      const std::size_t here = journal_.size();
      const double deeper = Walk(t1, step.T4, g, depth + 1);
      if (deeper > 0 && deeper >= closed) {
        Push(step.T3);
        Push(step.T4);
        return deeper;
      }
      if (closed > kEpsilon) {
        Undo(here);
        Push(step.T3);
        Push(step.T4);
        return closed;
      }
      Undo(mark);
      joined_.pop_back();
    }
    return 0;
  }

  bool Joined(int32_t a, int32_t b) const {
    for (const auto& [x, y] : joined_)
      if ((x == a && y == b) || (x == b && y == a)) return true;
    return false;
  }

  int32_t n_ = 0;
  bool open_ = false;
  int32_t start_ = -1, zero_ = -1;
  std::vector<double> xs_, ys_;
  std::vector<std::vector<int32_t>> neighbours_;
  std::vector<std::vector<double>> reach_;  // the distance to each candidate
  std::vector<int32_t> pos_;
  std::vector<bool> queued_;
  std::vector<int32_t> queue_;
  std::size_t head_ = 0;
  bool kicking_ = false;
  std::vector<std::pair<int32_t, int32_t>> journal_;
  std::vector<std::pair<int32_t, int32_t>> joined_;
};

double Dist(const TIntPoint& a, const TIntPoint& b) {
  return std::hypot(static_cast<double>(a.X) - b.X, static_cast<double>(a.Y) - b.Y);
}

// The open path of a closed tour that is shortest from the start: the tour
// cut at its best edge, run whichever way is shorter.
std::vector<int32_t> OpenTour(const std::vector<TIntPoint>& points, std::vector<int32_t> tour,
                              const TIntPoint& start) {
  const std::size_t n = tour.size();
  if (n < 2) return tour;
  double best = std::numeric_limits<double>::infinity();
  std::size_t bestAt = 0;
  bool backward = false;
  for (std::size_t i = 0; i < n; ++i) {
    const TIntPoint& here = points[tour[i]];
    const double lead = Dist(start, here);
    // Forward from i, ending at i - 1: the edge (i - 1, i) is dropped.
    const double fwd = lead - Dist(points[tour[(i + n - 1) % n]], here);
    // Backward from i, ending at i + 1: the edge (i, i + 1) is dropped.
    const double bwd = lead - Dist(here, points[tour[(i + 1) % n]]);
    if (fwd < best - kEpsilon) {
      best = fwd;
      bestAt = i;
      backward = false;
    }
    if (bwd < best - kEpsilon) {
      best = bwd;
      bestAt = i;
      backward = true;
    }
  }
  std::vector<int32_t> out(n);
  for (std::size_t k = 0; k < n; ++k)
    out[k] = backward ? tour[(bestAt + n - k) % n] : tour[(bestAt + k) % n];
  return out;
}

std::vector<int32_t> SpaceFilling(const std::vector<TIntPoint>& points);

// The closed tour, or with a start the open path from it.
std::vector<int32_t> SearchTour(const std::vector<TIntPoint>& points,
                                const TOptimizerOptions& options, const TIntPoint* start) {
  const int32_t n = static_cast<int32_t>(points.size());
  std::vector<int32_t> identity(n);
  std::iota(identity.begin(), identity.end(), 0);
  // Hits at one place are drilled one after another: the search runs over
  // the places, and each place gives its hits in their own order. (Hits
  // stacked by the thousand would otherwise fill the candidate lists with
  // one another.)
  {
    std::vector<int32_t> byPlace = identity;
    std::sort(byPlace.begin(), byPlace.end(), [&](int32_t a, int32_t b) {
      const TIntPoint &pa = points[a], &pb = points[b];
      return pa.X != pb.X ? pa.X < pb.X : pa.Y != pb.Y ? pa.Y < pb.Y : a < b;
    });
    // Each place is a run of byPlace, its hits in their own order; the
    // places are numbered in the order of their first hits, so that a job
    // with a few stacked hits is searched as it would be without them.
    std::vector<int32_t> runStart;
    for (int32_t k = 0; k < n; ++k) {
      const TIntPoint& p = points[byPlace[k]];
      if (k == 0 || points[byPlace[k - 1]].X != p.X || points[byPlace[k - 1]].Y != p.Y) runStart.push_back(k);
    }
    const int32_t placeCount = static_cast<int32_t>(runStart.size());
    if (placeCount < n) {
      runStart.push_back(n);
      std::vector<int32_t> runOf(placeCount);  // of each place number
      std::iota(runOf.begin(), runOf.end(), 0);
      std::sort(runOf.begin(), runOf.end(),
                [&](int32_t a, int32_t b) { return byPlace[runStart[a]] < byPlace[runStart[b]]; });
      std::vector<TIntPoint> places(placeCount);
      for (int32_t k = 0; k < placeCount; ++k) places[k] = points[byPlace[runStart[runOf[k]]]];
      // The standard method's kicks are still counted by the hits.
      TOptimizerOptions byPlaces = options;
      if (byPlaces.MaxKicks <= 0 && options.Method != 5) byPlaces.MaxKicks = 3 * int64_t{n};
      std::vector<int32_t> order;
      order.reserve(n);
      for (int32_t place : SearchTour(places, byPlaces, start)) {
        const int32_t run = runOf[place];
        order.insert(order.end(), byPlace.begin() + runStart[run], byPlace.begin() + runStart[run + 1]);
      }
      return order;
    }
  }
  // The moves reverse stretches of an array that grow with the hits: past
  // some tens of thousands a search of the whole would take minutes (a
  // million laser vias, hours). The hits are then cut into pieces along a
  // space-filling curve, each piece a compact region, and each searched as an
  // open path from where the one before ended; the seams cost a little
  // length, the time grows with the hits.
  if (n > std::max(options.WholeSearchHits, 8)) {
    const std::vector<int32_t> curve = SpaceFilling(points);
    const int32_t pieceHits = std::max(options.WholeSearchHits, 8) / 2;
    const int32_t pieces = (n + pieceHits - 1) / pieceHits;
    TOptimizerOptions each = options;
    each.BudgetMilliseconds = std::max<uint32_t>(1, options.BudgetMilliseconds / pieces);
    if (options.MaxKicks > 0) each.MaxKicks = std::max<int64_t>(1, options.MaxKicks / pieces);
    std::vector<int32_t> order;
    order.reserve(n);
    TIntPoint from = start != nullptr ? *start : points[curve[0]];
    for (int32_t k = 0; k < pieces; ++k) {
      const int32_t first = static_cast<int32_t>(int64_t{n} * k / pieces);
      const int32_t last = static_cast<int32_t>(int64_t{n} * (k + 1) / pieces);
      std::vector<TIntPoint> piece;
      piece.reserve(last - first);
      for (int32_t at = first; at < last; ++at) piece.push_back(points[curve[at]]);
      for (int32_t at : SearchTour(piece, each, &from)) order.push_back(curve[first + at]);
      from = points[order.back()];
      if (options.Cancelled && options.Cancelled()) {
        // The rest in the curve's order: a whole order all the same.
        for (int32_t at = last; at < n; ++at) order.push_back(curve[at]);
        break;
      }
    }
    return order;
  }
  if (n < 4) {
    if (start == nullptr) return identity;
    // Few enough to try every order.
    std::vector<int32_t> order = identity, bestOrder = identity;
    double bestLength = OpenPathLength(points, identity, *start);
    while (std::next_permutation(order.begin(), order.end())) {
      const double length = OpenPathLength(points, order, *start);
      if (length < bestLength - kEpsilon) {
        bestLength = length;
        bestOrder = order;
      }
    }
    return bestOrder;
  }
  const bool best = options.Method == 5;
  // The standard method refines its local optimum with a short run of kicks:
  // three per hit, at most 150 ms. The local search itself always runs to
  // its end (only Cancel stops it): a tour cut off halfway is far longer.
  TTimeBudget budget;
  budget.SetBudget(best ? options.BudgetMilliseconds : kStandardMilliseconds);
  const int64_t kicks = options.MaxKicks > 0 ? options.MaxKicks : best ? 0 : 3 * int64_t{n};
  TTourSearch search(points, start);
  // On a board of groups the search starts from the groups' tour when that
  // is clearly the shorter. (Where groups mix with rows of pins the two come
  // out about as long, and the search goes further from the
  // nearest-neighbour tour.)
  std::vector<int32_t> grouped;
  double groupedLength = std::numeric_limits<double>::infinity();
  if (search.GroupTour(options)) {
    grouped = search.tour_;
    groupedLength = search.Length();
  }
  search.NearestNeighbourTour();
  search.length_ = search.Length();
  if (groupedLength < kGroupStart * search.length_) search.SetTour(std::move(grouped), groupedLength);
  search.QueueAll();
  search.length_ -= search.LocalSearch(options.Cancelled);
  search.Iterate(budget, kicks, options.Seed, options.Cancelled);
  return start != nullptr ? search.OpenPath() : search.tour_;
}

// Bands stacked across one axis, each swept along the other, alternately forward and
// back; hits level along the sweep in the order of the bands. The band count
// makes bands about as wide as the hits are apart.
std::vector<int32_t> BandSweep(const std::vector<TIntPoint>& points, bool alongX) {
  const std::size_t n = points.size();
  auto along = [&](std::size_t i) { return alongX ? points[i].X : points[i].Y; };
  auto across = [&](std::size_t i) { return alongX ? points[i].Y : points[i].X; };
  int64_t lo = std::numeric_limits<int64_t>::max(), hi = std::numeric_limits<int64_t>::min();
  for (std::size_t i = 0; i < n; ++i) {
    lo = std::min<int64_t>(lo, across(i));
    hi = std::max<int64_t>(hi, across(i));
  }
  const int64_t bands = std::max<int64_t>(1, static_cast<int64_t>(std::sqrt(n / 2.0)));
  const int64_t width = std::max<int64_t>(1, (hi - lo) / bands + 1);
  std::vector<int32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    const int64_t ba = (across(a) - lo) / width, bb = (across(b) - lo) / width;
    if (ba != bb) return ba < bb;
    if (along(a) != along(b)) return (ba % 2 == 0) ? along(a) < along(b) : along(a) > along(b);
    // Hits level along the sweep (a row lying across the bands) go on
    // towards the next band, not back and forth in the order stored.
    if (across(a) != across(b)) return across(a) < across(b);
    return a < b;
  });
  return order;
}

// The Hilbert-curve index of (x, y) on a 65,536 x 65,536 grid.
uint64_t HilbertIndex(uint32_t x, uint32_t y) {
  constexpr uint32_t side = 65536;
  uint64_t d = 0;
  for (uint32_t s = side / 2; s > 0; s /= 2) {
    const uint32_t rx = (x & s) ? 1 : 0;
    const uint32_t ry = (y & s) ? 1 : 0;
    d += static_cast<uint64_t>(s) * s * ((3 * rx) ^ ry);
    if (ry == 0) {
      if (rx == 1) {
        x = side - 1 - x;
        y = side - 1 - y;
      }
      std::swap(x, y);
    }
  }
  return d;
}

std::vector<int32_t> SpaceFilling(const std::vector<TIntPoint>& points) {
  const std::size_t n = points.size();
  int64_t minX = std::numeric_limits<int64_t>::max(), minY = minX;
  int64_t maxX = std::numeric_limits<int64_t>::min(), maxY = maxX;
  for (const TIntPoint& p : points) {
    minX = std::min<int64_t>(minX, p.X);
    minY = std::min<int64_t>(minY, p.Y);
    maxX = std::max<int64_t>(maxX, p.X);
    maxY = std::max<int64_t>(maxY, p.Y);
  }
  const double scale = 65535.0 / static_cast<double>(std::max<int64_t>(1, std::max(maxX - minX, maxY - minY)));
  std::vector<std::pair<uint64_t, int32_t>> keys(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<uint32_t>((points[i].X - minX) * scale);
    const auto y = static_cast<uint32_t>((points[i].Y - minY) * scale);
    keys[i] = {HilbertIndex(x, y), static_cast<int32_t>(i)};
  }
  std::sort(keys.begin(), keys.end());
  std::vector<int32_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = keys[i].second;
  return order;
}

}  // namespace

std::vector<int32_t> OptimizeClosedTour(const std::vector<TIntPoint>& points,
                                        const TOptimizerOptions& options) {
  switch (options.Method) {
    case 0: {
      std::vector<int32_t> order(points.size());
      std::iota(order.begin(), order.end(), 0);
      return order;
    }
    case 2: return BandSweep(points, true);
    case 3: return BandSweep(points, false);
    case 4: return SpaceFilling(points);
    default: return SearchTour(points, options, nullptr);
  }
}

std::vector<int32_t> OptimizeDrillPath(const std::vector<TIntPoint>& points, const TIntPoint& start,
                                       const TOptimizerOptions& options) {
  if (points.empty()) return {};
  switch (options.Method) {
    case 0:
      return OptimizeClosedTour(points, options);
    case 2:
    case 3: {
      // A sweep may run from either end.
      std::vector<int32_t> order = OptimizeClosedTour(points, options);
      std::vector<int32_t> reversed(order.rbegin(), order.rend());
      return OpenPathLength(points, reversed, start) < OpenPathLength(points, order, start)
                 ? reversed
                 : order;
    }
    case 4:
      return OpenTour(points, OptimizeClosedTour(points, options), start);
    default:
      return SearchTour(points, options, &start);
  }
}

double OpenPathLength(const std::vector<TIntPoint>& points, const std::vector<int32_t>& order,
                      const TIntPoint& start) {
  double sum = 0;
  TIntPoint at = start;
  for (int32_t i : order) {
    sum += Dist(at, points[i]);
    at = points[i];
  }
  return sum;
}
