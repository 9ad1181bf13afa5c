// Arcs from chords on generated drawings: chains of chords, lines and arcs,
// open and closed, entered in shuffled order. The figures each drawing must
// come back with were taken from the pass as it stood before its endpoint
// lookup was reworked; they pin every entity, in slot order, with its
// deleted mark.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "cleanup_test_support.h"
#include "edit/cleanup_passes.h"
#include "model/cad_database.h"
#include "model/entity_store.h"
#include "model/root_entity.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Portable draws from one 32-bit generator (the standard distributions
// differ between libraries).
class TDraw {
 public:
  explicit TDraw(uint32_t seed) : Gen(seed) {}
  int32_t Int(int32_t lo, int32_t hi) {  // lo..hi
    return lo + int32_t(Gen() % uint32_t(hi - lo + 1));
  }
  double Real(double lo, double hi) { return lo + (hi - lo) * (Gen() / 4294967296.0); }
  bool Chance(int32_t percent) { return Int(0, 99) < percent; }
  uint32_t Raw() { return Gen(); }

 private:
  std::mt19937 Gen;
};

struct TEntry {
  int32_t Kind;  // 2 line, 3 arc
  TIntPoint A, B, C;
};

int32_t Round(double v) { return int32_t(std::lround(v)); }

// One chain from a start point and heading: straight runs, chord runs of
// circles turning either way (even or uneven chords, with or without a
// little noise), true arcs and sharp corners; closed back to its start when
// asked.
void AddChain(TDraw& d, std::vector<TEntry>& out, double x, double y, double heading,
              bool closed) {
  const TIntPoint start{Round(x), Round(y)};
  TIntPoint at = start;
  const int32_t segments = d.Int(1, 7);
  for (int32_t s = 0; s < segments; ++s) {
    const int32_t kind = d.Int(0, 9);
    if (kind <= 2) {  // straight, in one to three collinear pieces
      const double len = d.Real(300000, 8000000);
      const int32_t pieces = d.Int(1, 3);
      for (int32_t k = 1; k <= pieces; ++k) {
        const double f = len * k / pieces;
        TIntPoint p{Round(x + f * std::cos(heading)), Round(y + f * std::sin(heading))};
        out.push_back({2, at, p, {}});
        at = p;
      }
      x += len * std::cos(heading);
      y += len * std::sin(heading);
    } else if (kind <= 7) {  // chords of a circle, tangent to the heading
      const double r = d.Real(400000, 30000000);
      const double turn = d.Chance(50) ? 1.0 : -1.0;
      const double sweep = d.Real(15, 300) * kPi / 180;
      const int32_t n = d.Int(2, 48);
      const bool uneven = d.Chance(20);
      const double noise = d.Chance(25) ? d.Real(0, 30000) : 0.0;
      const double cx = x + r * std::cos(heading + turn * kPi / 2);
      const double cy = y + r * std::sin(heading + turn * kPi / 2);
      const double a0 = heading - turn * kPi / 2;
      double a = 0.0;
      for (int32_t k = 1; k <= n; ++k) {
        double step = sweep / n;
        if (uneven) step *= (k % 2 ? 0.5 : 1.5);
        a = k == n ? sweep : std::min(sweep, a + step);
        double px = cx + r * std::cos(a0 + turn * a);
        double py = cy + r * std::sin(a0 + turn * a);
        if (k < n && noise > 0.0) {
          px += d.Real(-noise, noise);
          py += d.Real(-noise, noise);
        }
        TIntPoint p{Round(px), Round(py)};
        out.push_back({2, at, p, {}});
        at = p;
      }
      x = at.X;
      y = at.Y;
      heading += turn * sweep;
    } else if (kind == 8) {  // a true arc, counter-clockwise from start to end
      const double r = d.Real(400000, 10000000);
      const double turn = d.Chance(50) ? 1.0 : -1.0;
      const double sweep = d.Real(20, 180) * kPi / 180;
      const double cx = x + r * std::cos(heading + turn * kPi / 2);
      const double cy = y + r * std::sin(heading + turn * kPi / 2);
      const double a0 = heading - turn * kPi / 2;
      TIntPoint p{Round(cx + r * std::cos(a0 + turn * sweep)),
                  Round(cy + r * std::sin(a0 + turn * sweep))};
      TIntPoint c{Round(cx), Round(cy)};
      if (turn > 0) {
        out.push_back({3, at, p, c});
      } else {
        out.push_back({3, p, at, c});
      }
      at = p;
      x = p.X;
      y = p.Y;
      heading += turn * sweep;
    } else {  // a sharp corner
      heading += d.Real(30, 150) * kPi / 180 * (d.Chance(50) ? 1 : -1);
    }
  }
  if (closed && !(at == start)) out.push_back({2, at, start, {}});
}

// A whole circle of chords (even, or alternating short and long).
void AddLoop(TDraw& d, std::vector<TEntry>& out, double cx, double cy) {
  const double r = d.Real(500000, 40000000);
  const int32_t n = d.Int(3, 90);
  const bool uneven = d.Chance(40);
  std::vector<TIntPoint> pts;
  double a = d.Real(0, 2 * kPi);
  const double unit = 2 * kPi / n;
  for (int32_t k = 0; k < n; ++k) {
    pts.push_back({Round(cx + r * std::cos(a)), Round(cy + r * std::sin(a))});
    a += uneven ? unit * (k % 2 ? 1.4 : 0.6) : unit;
  }
  for (int32_t k = 0; k < n; ++k) out.push_back({2, pts[k], pts[(k + 1) % n], {}});
}

void BuildDrawing(uint32_t seed) {
  TDraw d(seed);
  std::vector<TEntry> entries;
  const int32_t chains = d.Int(1, 6);
  for (int32_t c = 0; c < chains; ++c) {
    // Some chains start on the diagonal, where many points share a fold.
    double x = d.Real(-300000000, 300000000);
    double y = d.Chance(30) ? x : d.Real(-300000000, 300000000);
    const int32_t shape = d.Int(0, 9);
    const size_t first = entries.size();
    if (shape <= 1) {
      AddLoop(d, entries, x, y);
    } else {
      AddChain(d, entries, x, y, d.Real(0, 2 * kPi), shape <= 4);
    }
    // Its mirror image in the diagonal: every point of it shares its fold
    // with a point of the original.
    if (d.Chance(30)) {
      const size_t last = entries.size();
      for (size_t k = first; k < last; ++k) {
        const TEntry e = entries[k];
        const TIntPoint a{e.A.Y, e.A.X}, b{e.B.Y, e.B.X}, c{e.C.Y, e.C.X};
        entries.push_back(e.Kind == 3 ? TEntry{3, b, a, c} : TEntry{2, a, b, c});
      }
    }
  }
  // A branch or two off existing points, and a duplicate.
  if (!entries.empty()) {
    for (int32_t b = d.Int(0, 2); b > 0; --b) {
      const TEntry& e = entries[size_t(d.Int(0, int32_t(entries.size()) - 1))];
      entries.push_back({2, e.A, {e.A.X + d.Int(-5000000, 5000000), e.A.Y + 3000000}, {}});
    }
    if (d.Chance(30)) entries.push_back(entries[size_t(d.Int(0, int32_t(entries.size()) - 1))]);
  }
  // Shuffled, half of the lines entered backwards.
  for (size_t k = entries.size(); k > 1; --k) {
    std::swap(entries[k - 1], entries[d.Raw() % k]);
  }
  for (TEntry& e : entries) {
    if (e.Kind == 2) {
      if (d.Chance(50)) std::swap(e.A, e.B);
      DB->AddLine(e.A.X, e.A.Y, e.B.X, e.B.Y);
    } else {
      DB->AddArc(e.A, e.B, e.C);
    }
  }
}

// Every slot in order, deleted ones marked, folded into one FNV-1a hash.
uint64_t SlotDigest() {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](int64_t v) {
    for (int32_t k = 0; k < 8; ++k) {
      h ^= uint64_t(v >> (8 * k)) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    TRootDBObject* e = slot->Entity;
    TIntPoint a, b, c;
    e->GetPoint(a);
    mix(e->GetType());
    mix(SlotDeleted(slot->Flags));
    mix(a.X);
    mix(a.Y);
    if (e->GetType() == 2 || e->GetType() == 3) {
      e->GetSecondPoint(b);
      mix(b.X);
      mix(b.Y);
    }
    if (e->GetType() == 3) {
      e->GetThirdPoint(c);
      mix(c.X);
      mix(c.Y);
    }
    if (e->GetType() == 4) mix(e->GetRadius());
  }
  return h;
}

struct TOutcome {
  int32_t Slots, Live, Arcs, Circles;
  uint64_t Digest;
  bool operator==(const TOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TOutcome& o) {
  return os << "{" << o.Slots << ", " << o.Live << ", " << o.Arcs << ", " << o.Circles << ", 0x"
            << std::hex << o.Digest << std::dec << "ull}";
}

TEST_F(TCleanupTest, GeneratedChainsComeBackAsBefore) {
  // Tolerances cycle through 0.0002, 0.001, 0.002 and 0.005 in.
  const int32_t tolerances[] = {5080, 25400, 50800, 127000};
  // Slots, live entities, arcs and circles made, slot digest.
  const TOutcome expected[] = {
      {146, 70, 3, 0, 0xd30c56d2430ef951ull},
      {9, 9, 0, 0, 0xcc94afb8c80928d0ull},
      {168, 16, 4, 1, 0xc4aadbc91238ce7eull},
      {386, 378, 2, 0, 0xef6dae010592f3cdull},
      {338, 238, 3, 0, 0xd69fa91856ed247bull},
      {111, 68, 2, 0, 0x2e82e523ae6e4fdaull},
      {132, 36, 5, 0, 0x1d60c9bf08902bf0ull},
      {237, 227, 1, 0, 0x8e87079cb2e35663ull},
      {275, 134, 5, 0, 0x19b3e8948070c8d4ull},
      {456, 178, 7, 2, 0x47833ad6cd1fb92aull},
      {257, 61, 8, 0, 0x6424261d5e36e670ull},
      {333, 333, 0, 0, 0xae389ee9c62b6a9aull},
      {228, 93, 5, 0, 0xe739267cdc73e1ebull},
      {272, 70, 8, 0, 0xf0fd3c66250de7ull},
      {5, 5, 0, 0, 0x3d7f92a0207314e9ull},
      {143, 131, 1, 0, 0xd7d8ce14cbf07729ull},
      {234, 121, 8, 0, 0x6e4f6435e52edb36ull},
      {264, 41, 7, 0, 0xe441caa3c7e887edull},
      {72, 6, 0, 1, 0xe1ba4a3ea4a7b57ull},
      {712, 507, 5, 0, 0xb7ac11ccaa90f4d8ull},
      {486, 146, 15, 0, 0x1f637700586cda86ull},
      {383, 122, 9, 0, 0xb38c2f89f2b7c7a2ull},
      {505, 33, 7, 4, 0xa05d149d959e5ddaull},
      {232, 156, 3, 0, 0xd696c1ed5e056730ull},
      {282, 36, 3, 2, 0xbd3cf40f61fb1858ull},
      {304, 64, 10, 0, 0xa6be7a4d08c6e232ull},
      {293, 21, 8, 1, 0xbbfffa390d0f1c7cull},
      {483, 483, 0, 0, 0x9ac459eaf0aa4b24ull},
      {813, 279, 20, 0, 0xbb610d7bb88092daull},
      {428, 104, 12, 0, 0xc1b4f9d3b3981587ull},
      {177, 57, 3, 0, 0x69cc88923e36a709ull},
      {99, 99, 0, 0, 0xe0bbc1cee89ac902ull},
      {63, 3, 0, 1, 0xef293f7586aef1b4ull},
      {212, 56, 7, 0, 0x220d6cf29d45712eull},
      {410, 44, 8, 2, 0x9e4a9511e230a240ull},
      {406, 326, 4, 0, 0x826424c4538d3995ull},
      {73, 33, 2, 0, 0x36815047f260223full},
      {449, 200, 14, 0, 0x8d25078ad21fb296ull},
      {147, 24, 6, 0, 0x56030c1e8bb48782ull},
      {381, 381, 0, 0, 0xe97cf8ce92f47d11ull},
      {399, 165, 7, 0, 0x158679a4ef28e1dbull},
      {111, 4, 3, 0, 0x8136a1f5c678d4d3ull},
      {143, 55, 4, 0, 0xae5ad2f0b5c6dcc6ull},
      {239, 194, 1, 0, 0xea2fdf21b0d4fd4ull},
      {368, 293, 5, 0, 0xa0957731df0f9db8ull},
      {209, 99, 5, 0, 0xae516406323c9589ull},
      {72, 5, 0, 1, 0xf024403b43493d45ull},
      {252, 252, 0, 0, 0xfb9f101549505ed1ull},
      {109, 53, 2, 0, 0xdc73450d18657dfull},
      {443, 54, 11, 0, 0x2f84367623211d85ull},
      {146, 27, 4, 1, 0xf77394910759f1baull},
      {286, 139, 4, 0, 0x41bfcd9589ca1b8cull},
      {312, 143, 6, 0, 0xc46d07c1fda3c22aull},
      {63, 23, 3, 0, 0x475db7c67e501364ull},
      {92, 5, 1, 1, 0xdce14da9236445c0ull},
      {246, 202, 2, 0, 0xe68f9ead915169aeull},
      {59, 59, 0, 0, 0xb9fb3f72942a89afull},
      {192, 51, 7, 0, 0xdb696e9eeef0f07cull},
      {453, 63, 14, 0, 0x7dd2b9ef76dbd4eeull},
      {279, 229, 1, 0, 0x4e34a47eb50c246cull},
  };
  const uint32_t cases = sizeof(expected) / sizeof(expected[0]);
  for (uint32_t seed = 1; seed <= cases; ++seed) {
    DB->Clear();
    BuildDrawing(seed);
    const int32_t t = tolerances[seed % 4];
    BuildArcsFromChords(t);
    const int32_t arcs = ArcCount, circles = CircleCount;
    BuildCirclesFromArcs(t);
    const TOutcome got{CadEntityCount, int32_t(Drawing().size()), arcs, circles + CircleCount,
                       SlotDigest()};
    EXPECT_EQ(got, expected[seed - 1]) << "drawing " << seed;
  }
}

TEST_F(TCleanupTest, ChainsWhosePointsShareOneFoldAreLinkedInLinearWork) {
  // Every end point below lies on the line x = y, so all of them fold to
  // the same key: each neighbour must still be found directly, not by
  // walking all the others.
  const int32_t n = 2000, d = 500000;
  for (int32_t k = 0; k < n; ++k) DB->AddLine(k * d, k * d, (k + 1) * d, (k + 1) * d);
  BuildArcsFromChords(50800);
  EXPECT_EQ(ArcCount, 0);
  EXPECT_EQ(Drawing().size(), size_t(n));
  EXPECT_LE(EndpointProbes, 8 * n);

  // Half circles from point to point along the diagonal: one open run of
  // arcs that the circle pass follows to its end.
  DB->Clear();
  for (int32_t k = 0; k < n; ++k) {
    DB->AddArc({k * d, k * d}, {(k + 1) * d, (k + 1) * d}, {k * d + d / 2, k * d + d / 2});
  }
  BuildCirclesFromArcs(50800);
  EXPECT_EQ(CircleCount, 0);
  EXPECT_EQ(Drawing().size(), size_t(n));
  EXPECT_LE(EndpointProbes, 8 * n);
}

TEST_F(TCleanupTest, LongWaveAndLongUnevenLoopComeBackAsBefore) {
  // An open wave of 6,000 chords, a quarter circle every 20 chords turning
  // the other way; and a closed loop of 3,000 chords alternating 0.06 and
  // 0.18 degrees, too uneven for the loop rule.
  const double r = 12700000.0;
  double cx = 0.0, cy = 0.0, a = kPi, turn = -1.0;
  TIntPoint p{Round(cx + r * std::cos(a)), Round(cy + r * std::sin(a))};
  for (int32_t i = 0; i < 6000; ++i) {
    a += turn * (kPi / 2.0) / 20.0;
    const TIntPoint q{Round(cx + r * std::cos(a)), Round(cy + r * std::sin(a))};
    DB->AddLine(p.X, p.Y, q.X, q.Y);
    p = q;
    if ((i + 1) % 20 == 0) {
      cx = 2.0 * q.X - cx;
      cy = 2.0 * q.Y - cy;
      a += kPi;
      turn = -turn;
    }
  }
  std::vector<TIntPoint> loop;
  for (int32_t k = 0; k < 3000; ++k) {
    const double b = (k / 2 * 0.24 + (k % 2) * 0.06) * kPi / 180.0;
    loop.push_back({Round(-400000000.0 + 3 * r * std::cos(b)), Round(3 * r * std::sin(b))});
  }
  for (size_t k = 0; k < loop.size(); ++k) {
    const TIntPoint& q = loop[(k + 1) % loop.size()];
    DB->AddLine(loop[k].X, loop[k].Y, q.X, q.Y);
  }
  BuildArcsFromChords(50800);
  const int32_t arcs = ArcCount, circles = CircleCount;
  BuildCirclesFromArcs(50800);
  const TOutcome got{CadEntityCount, int32_t(Drawing().size()), arcs, circles + CircleCount,
                     SlotDigest()};
  // Figures taken before the endpoint lookup was reworked.
  EXPECT_EQ(got, (TOutcome{9305, 305, 304, 0, 0xc386624614edc7a7ull}));
}

}  // namespace
