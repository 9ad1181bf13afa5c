// Seeded random drill tapes read hit for hit: each tape is written from a
// plan whose holes, slots, tools and lines are known, in every number style
// the tapes use (zeros suppressed on either side, decimal points, signs),
// inch and metric, absolute and incremental, with hole repeats, slots,
// comments, blanks and a mixture of CR, LF and CR LF line ends. The reader
// must find exactly the planned holes, also through a swap filter that
// changes nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "korvex_test.h"
#include "nc_call_log.h"

namespace {

struct TPlannedHit {
  int64_t X, Y, Size, Tool, Block;
  bool operator==(const TPlannedHit&) const = default;
};

struct TPlannedSlot {
  int64_t X0, Y0, X1, Y1, Tool, Block;
  bool operator==(const TPlannedSlot&) const = default;
};

// Records slots with their tool and block; holes are kept by the base.
class TSlotLog : public TCallLog {
 public:
  using TCallLog::TCallLog;
  void Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t, int32_t tool, int32_t block,
            uint8_t) override {
    Slots.push_back({x0, y0, x1, y1, tool, block});
  }
  std::vector<TPlannedSlot> Slots;
};

// A tape with what it holds.
struct TPlannedTape {
  std::string Text;
  std::vector<TPlannedHit> Hits;
  std::vector<TPlannedSlot> Slots;
  std::string Describe;
};

class TTapePlanner {
 public:
  explicit TTapePlanner(uint32_t seed) : rng_(seed) {}

  TPlannedTape Plan() {
    TPlannedTape tape;
    metric_ = Chance(2);
    leftAligned_ = Chance(2);  // LZ: leading zeros written, trailing ones dropped
    incremental_ = false;
    decimals_ = metric_ ? 3 : 4;
    unit_ = metric_ ? 1000 : 2540;  // internal units per tape unit
    tape.Describe = std::string(metric_ ? "METRIC" : "INCH") + (leftAligned_ ? ",LZ" : ",TZ");

    Line(tape, "M48");
    Line(tape, tape.Describe);
    const int tools = 1 + Below(6);
    sizes_.assign(tools + 1, 0);
    for (int t = 1; t <= tools; ++t) {
      // Sizes in tape units, written with a point.
      const int64_t size = 100 + Below(2400);
      sizes_[t] = size * unit_;
      Line(tape, "T" + std::to_string(t) + "C" + Decimal(size, false));
    }
    if (Chance(3)) Line(tape, ";a comment in the header");
    Line(tape, "%");
    tool_ = 1;
    x_ = y_ = 0;
    const int blocks = 150 + Below(250);
    for (int b = 0; b < blocks; ++b) Block(tape, tools);
    Line(tape, "M30");
    // Nothing after the end of the program is read.
    Line(tape, "X" + Number(1000) + "Y" + Number(1000));
    return tape;
  }

 private:
  bool Chance(int n) { return Below(n) == 0; }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  int64_t Between(int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng_);
  }

  // value / 10^decimals written with a point, sometimes without its
  // trailing zeros.
  std::string Decimal(int64_t value, bool trim) {
    std::string digits = std::to_string(std::llabs(value));
    while (static_cast<int>(digits.size()) <= decimals_) digits.insert(0, "0");
    std::string text = digits.substr(0, digits.size() - decimals_) + "." +
                       digits.substr(digits.size() - decimals_);
    if (trim)
      while (text.back() == '0') text.pop_back();
    return (value < 0 ? "-" : (Chance(8) ? "+" : "")) + text;
  }

  // A coordinate in the tape's own number style, or with a point.
  std::string Number(int64_t value) {
    if (Chance(5)) return Decimal(value, Chance(2));
    const int width = (metric_ ? 3 : 2) + decimals_;
    std::string digits = std::to_string(std::llabs(value));
    if (leftAligned_) {
      // Every leading zero written; trailing zeros may be dropped.
      while (static_cast<int>(digits.size()) < width) digits.insert(0, "0");
      const int keep = 1 + Below(width);
      while (static_cast<int>(digits.size()) > keep && digits.back() == '0') digits.pop_back();
    } else {
      // Leading zeros dropped, or some of them written anyway.
      const int pad = Below(3);
      for (int k = 0; k < pad && static_cast<int>(digits.size()) < width; ++k) digits.insert(0, "0");
    }
    return (value < 0 ? "-" : "") + digits;
  }

  // The word of an axis that moves to target: the target, or the step to it.
  std::string Axis(char letter, int64_t& position, int64_t target) {
    const std::string word = std::string(1, letter) + Number(incremental_ ? target - position : target);
    position = target;
    return word;
  }

  int64_t Target() { return Between(-200000, 200000); }

  void Hole(TPlannedTape& tape) {
    tape.Hits.push_back({x_ * unit_, y_ * unit_, sizes_[tool_], tool_, line_});
  }

  void Block(TPlannedTape& tape, int tools) {
    std::string prefix = Chance(6) ? "N" + std::to_string(1 + Below(9999)) : "";
    switch (Below(12)) {
      case 0:
        tool_ = 1 + Below(tools);
        Line(tape, prefix + "T" + std::to_string(tool_));
        return;
      case 1:
        incremental_ = !incremental_;
        Line(tape, incremental_ ? "G91" : "G90");
        return;
      case 2:
        Line(tape, ";hole " + std::to_string(tape.Hits.size()));
        return;
      case 3:
        Line(tape, "");
        return;
      case 4: {
        // A hole repeat: each hole a step on from the one before.
        const int count = 1 + Below(5);
        const int64_t dx = Chance(4) ? 0 : Between(-3000, 3000);
        const int64_t dy = Chance(4) ? 0 : Between(-3000, 3000);
        std::string text = prefix + "R" + (Chance(2) ? "0" : "") + std::to_string(count);
        if (dx != 0) text += "X" + Number(dx);
        if (dy != 0) text += "Y" + Number(dy);
        for (int k = 0; k < count; ++k) {
          x_ += dx;
          y_ += dy;
          Hole(tape);
        }
        Line(tape, text);
        return;
      }
      case 5: {
        // A slot from the block's first point to the point after G85.
        std::string text = prefix + Axis('X', x_, Target()) + Axis('Y', y_, Target());
        const int64_t x0 = x_, y0 = y_;
        text += "G85" + Axis('X', x_, Target()) + Axis('Y', y_, Target());
        tape.Slots.push_back({x0 * unit_, y0 * unit_, x_ * unit_, y_ * unit_, tool_, line_});
        Line(tape, text);
        return;
      }
      default: {
        // A hole; an axis left out keeps its position.
        std::string text = prefix;
        const int axes = Below(5);
        if (axes != 1) text += Axis('X', x_, Target());
        if (axes != 2) text += Axis('Y', y_, Target());
        Hole(tape);
        Line(tape, text);
        return;
      }
    }
  }

  // Appends one line with blanks here and there and a random line end. A
  // run of CR and LF is one line end whose LFs (else CRs) count as lines:
  // an empty line ends as the run before it, in a lone CR after one, else
  // with an LF, so that every line written is one tape line.
  void Line(TPlannedTape& tape, std::string text) {
    if (!text.empty() && text[0] != ';' && Chance(4)) {
      std::string spaced;
      for (char c : text) {
        if (Chance(4)) spaced += ' ';
        spaced += c;
      }
      text = spaced + (Chance(3) ? " " : "");
    }
    static const char* const ends[] = {"\n", "\r\n", "\r"};
    int end = Below(3);
    if (text.empty()) end = lastEnd_ == 2 ? 2 : end == 2 ? Below(2) : end;
    tape.Text += text + ends[end];
    lastEnd_ = end;
    ++line_;
  }

  std::mt19937 rng_;
  bool metric_ = false, leftAligned_ = false, incremental_ = false;
  int decimals_ = 4;
  int64_t unit_ = 2540;
  std::vector<int64_t> sizes_;
  int64_t tool_ = 1, x_ = 0, y_ = 0;
  int64_t line_ = 0;  // the tape's lines so far (the block number of the next)
  int lastEnd_ = 0;
};

class NcRandomTapes : public TKorvexTest {};

// Within one internal unit (tape units are converted through a scale).
bool Near(int64_t a, int64_t b) { return std::llabs(a - b) <= 1; }

::testing::AssertionResult SameHits(const std::vector<TPlannedHit>& want,
                                    const std::vector<TLoggedHit>& got) {
  if (want.size() != got.size())
    return ::testing::AssertionFailure() << want.size() << " holes planned, " << got.size() << " read";
  for (std::size_t i = 0; i < want.size(); ++i) {
    const TPlannedHit& w = want[i];
    const TLoggedHit& g = got[i];
    if (!Near(w.X, g.X) || !Near(w.Y, g.Y) || !Near(w.Size, g.Size) || w.Tool != g.Tool ||
        w.Block != g.Block)
      return ::testing::AssertionFailure()
             << "hole " << i << ": planned " << w.X << "," << w.Y << " size " << w.Size << " T"
             << w.Tool << " block " << w.Block << "; read " << g.X << "," << g.Y << " size "
             << g.Size << " T" << g.Tool << " block " << g.Block;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameSlots(const std::vector<TPlannedSlot>& want,
                                     const std::vector<TPlannedSlot>& got) {
  if (want.size() != got.size())
    return ::testing::AssertionFailure() << want.size() << " slots planned, " << got.size() << " read";
  for (std::size_t i = 0; i < want.size(); ++i) {
    const TPlannedSlot& w = want[i];
    const TPlannedSlot& g = got[i];
    if (!Near(w.X0, g.X0) || !Near(w.Y0, g.Y0) || !Near(w.X1, g.X1) || !Near(w.Y1, g.Y1) ||
        w.Tool != g.Tool || w.Block != g.Block)
      return ::testing::AssertionFailure() << "slot " << i << " differs: planned T" << w.Tool
                                           << " block " << w.Block << ", read T" << g.Tool
                                           << " block " << g.Block;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(NcRandomTapes, EveryPlannedHoleAndSlotIsReadInEveryStyle) {
  WriteFileBytes(TempDir / "SWAP" / "NONE.SWP", "QQ=QQ\r\n");
  const std::string inertFilter = (TempDir / "SWAP" / "NONE.SWP").string();
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    TTapePlanner planner(seed);
    const TPlannedTape tape = planner.Plan();
    const auto file = TempDir / ("tape" + std::to_string(seed) + ".drl");
    WriteFileBytes(file, tape.Text);
    for (const bool filtered : {false, true}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " " + tape.Describe +
                   (filtered ? " through a swap filter" : ""));
      TTapeOptions options;
      if (filtered) options.SwapFilter = inertFilter;
      TSlotLog r(file.string(), TempDir.string(), options);
      bool failed = false;
      r.Run(failed);
      EXPECT_FALSE(failed);
      EXPECT_TRUE(r.With("Error").empty()) << r.First("Error");
      EXPECT_TRUE(r.With("Message").empty()) << r.First("Message");
      EXPECT_TRUE(SameHits(tape.Hits, r.Hits));
      EXPECT_TRUE(SameSlots(tape.Slots, r.Slots));
      r.Done();
    }
  }
}
