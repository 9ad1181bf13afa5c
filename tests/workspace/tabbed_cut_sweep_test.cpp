// Random tabbed boards: lines and arcs at any slant and size, cut either way
// and compensated to either side or not, tabbed with Auto Tab settings drawn
// from anywhere in the dialog's bounds (at them too). A pick on every path
// start and break-off hole of a board takes the whole board, in place, after
// the settings and the tool page change, in the job reopened, and read back
// from the layer's own rout tape in a random output format that keeps a
// tabbed cut whole. KORVEX_TAB_SWEEP=<batches>[,<first seed>] runs more of
// them and prints what parted (KORVEX_TAB_SWEEP_ACCOUNT=1: with each parted
// board's entities and what a pick on each of its starts takes).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "command/button_manager.h"
#include "foundation/settings_families.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "routpath/auto_tab_bounds.h"
#include "routpath/rout_tabs.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;
constexpr int kAcross = 5;           // boards to a row and rows to a layer
constexpr double kCell = 13.0 * In;  // boards' centres apart

struct TSegment {
  TIntPoint To, Centre;
  bool Arc = false, Clockwise = false;
};

struct TBoard {
  std::string Told;  // what the board is, for a failure's report
  TIntPoint Start;
  uint8_t Comp = 0;
  std::vector<TSegment> Segments;
  std::vector<TIntPoint> Tabs;
  std::vector<std::size_t> TabSides;  // of each tab, the segment it is put on
};

class TTabbedCutSweepTest : public TWorkspaceDialogsTest {
 protected:
  struct TVecLike {
    double X, Y;
  };
  std::mt19937_64 Random;
  double Uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(Random); }
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(Random); }
  bool Chance(double p) { return Uniform(0, 1) < p; }

  // A field of the dialog as typed in its unit (inches to 4 decimals,
  // millimetres to 3), often at a bound; stored in database units.
  int32_t Field(const TAutoTabBound& b, bool metric, double high = -1) {
    const double top = high >= 0 ? high : b.High(metric);
    const double r = Uniform(0, 1);
    double v = r < 0.15 ? b.Low : r < 0.3 ? top : Uniform(b.Low, top);
    const double digits = metric ? 1000.0 : 10000.0;
    v = std::min(top, std::round(v * digits) / digits);
    return int32_t(std::llround(v * (metric ? 1000000.0 : double(In))));
  }
  TAutoTabSettings Settings(bool metric) {
    const TAutoTabBounds& b = AutoTabBounds;
    TAutoTabSettings s;
    s.Width = Field(b.Width, metric);
    s.CutInWidth = Field(b.Width, metric, s.Width / (metric ? 1000000.0 : double(In)));
    s.CutInOffset = Field(b.CutInOffset, metric);
    s.HoleOffset = Field(b.HoleOffset, metric);
    s.HoleSpacing = Field(b.HoleSpacing, metric);
    s.TabType = Chance(0.5);
    s.DrilledHolesEnabled = Chance(0.7);
    s.CutterRadiusOffset = Chance(0.5);
    const double r = Uniform(0, 1);
    s.NumberOfHoles = uint8_t(r < 0.1 ? 50 : r < 0.2 ? 1 : r < 0.8 ? Between(1, 5) : Between(1, 50));
    s.ToolNumber = Chance(0.1) ? 960 : Between(1, 9);
    return s;
  }
  static std::string Told(const TAutoTabSettings& s) {
    std::ostringstream o;
    o << "{" << s.Width << ", " << s.CutInOffset << ", " << s.CutInWidth << ", " << s.HoleOffset << ", "
      << s.DrilledHolesEnabled << ", " << s.TabType << ", " << int(s.NumberOfHoles) << ", " << s.CutterRadiusOffset
      << ", " << s.ToolNumber << ", " << s.HoleSpacing << "}";
    return o.str();
  }

  // The gap a tab of the settings leaves on a path of the comp side.
  static double Gap(const TAutoTabSettings& s, double cutter, uint8_t comp) {
    double w = s.Width;
    if (!s.CutterRadiusOffset) return w;
    w += cutter;
    const double a = (s.Width - s.CutInWidth) / 2, len = std::hypot(a, double(s.CutInOffset));
    if (!s.TabType && comp != 0) w += 2 * (len <= 1e-10 ? cutter / 2 : cutter / 2 * a / len);
    return w;
  }

  // A board about the centre: its corners or arcs, slanted, cut either way,
  // begun at a corner or part way along its first side, and its tabs'
  // points, some as near an end of what they are put on, or as near each
  // other, as a tab may be.
  TBoard Board(TVecLike centre, const TAutoTabSettings& settings, double cutter) {
    TBoard b;
    const int kind = Between(0, 5);
    const double size = Chance(0.2) ? Uniform(0.2, 1.0) * In : Uniform(1.0, 4.0) * In;
    const double slant = Chance(0.3) ? 90.0 * Between(0, 3) : Uniform(0, 360);
    const bool cw = Chance(0.5);
    b.Comp = uint8_t(Between(0, 2));
    const double gap = Gap(settings, cutter, b.Comp);
    struct TCorner {
      double X, Y;
      bool ArcTo = false;  // the side that ends here is an arc about (CX, CY), counter-clockwise
      double CX = 0, CY = 0;
    };
    std::vector<TCorner> corners;
    const double w = size, h = size * Uniform(0.3, 1.0);
    std::ostringstream told;
    switch (kind) {
      case 0:  // a rectangle
        corners = {{0, 0}, {w, 0}, {w, h}, {0, h}};
        told << "rectangle";
        break;
      case 1:  // a rectangle whose right side bulges out as a half circle
        corners = {{0, 0}, {w, 0}, {w, h, true, w, h / 2}, {0, h}};
        told << "arced";
        break;
      case 2: {  // a round board of 1 to 4 arcs
        const int n = Between(2, 4);
        const double a0 = Uniform(0, 360);
        for (int k = 0; k < n; ++k) {
          const double a = (a0 + 360.0 * k / n) * std::numbers::pi / 180;
          corners.push_back({w / 2 * std::cos(a), w / 2 * std::sin(a), true, 0, 0});
        }
        told << "round of " << n;
        break;
      }
      case 3: {  // a triangle with a sharp corner
        const double angle = Chance(0.5) ? Uniform(2, 10) : Uniform(10, 60);
        corners = {{0, 0}, {w, 0}, {0, w * std::tan(angle * std::numbers::pi / 180)}};
        told << "triangle of " << angle << " deg";
        break;
      }
      case 4: {  // a convex polygon
        const int n = Between(3, 7);
        std::vector<double> angles;
        for (int k = 0; k < n; ++k) angles.push_back(Uniform(0, 360));
        std::sort(angles.begin(), angles.end());
        for (const double a : angles)
          corners.push_back({w / 2 * std::cos(a * std::numbers::pi / 180), w / 2 * std::sin(a * std::numbers::pi / 180)});
        told << "polygon of " << n;
        break;
      }
      default: {  // a rectangle with round corners
        const double r = std::min(w, h) * Uniform(0.05, 0.5);
        corners = {{w - r, 0}, {w, r, true, w - r, r}, {w, h - r}, {w - r, h, true, w - r, h - r},
                   {r, h},     {0, h - r, true, r, h - r}, {0, r},   {r, 0, true, r, r}};
        told << "rounded";
        break;
      }
    }
    // Turned and placed; each point rounded, an arc's end put on its circle
    // from its centre.
    const double t = slant * std::numbers::pi / 180;
    auto place = [&](double x, double y) {
      return TIntPoint{int32_t(std::llround(centre.X + x * std::cos(t) - y * std::sin(t))),
                       int32_t(std::llround(centre.Y + x * std::sin(t) + y * std::cos(t)))};
    };
    std::vector<TIntPoint> points;
    std::vector<TSegment> sides;  // side k ends at points[k], from points[k - 1]
    for (const TCorner& c : corners) points.push_back(place(c.X, c.Y));
    for (std::size_t k = 0; k < corners.size(); ++k) {
      TSegment s;
      s.To = points[k];
      if (corners[k].ArcTo) {
        s.Arc = true;
        s.Centre = place(corners[k].CX, corners[k].CY);
      }
      sides.push_back(s);
    }
    // An arc's end moved onto the circle through its start.
    for (std::size_t k = 0; k < sides.size(); ++k) {
      if (!sides[k].Arc) continue;
      const TIntPoint& from = points[(k + points.size() - 1) % points.size()];
      const TIntPoint& c = sides[k].Centre;
      const double r = std::hypot(double(from.X) - c.X, double(from.Y) - c.Y);
      const double a = std::atan2(double(sides[k].To.Y) - c.Y, double(sides[k].To.X) - c.X);
      if (points.size() > 1)
        points[k] = sides[k].To = {int32_t(std::llround(c.X + r * std::cos(a))), int32_t(std::llround(c.Y + r * std::sin(a)))};
    }
    // Cut the other way: the sides in reverse, arcs clockwise.
    std::vector<TSegment> path;
    TIntPoint start = points.back();
    if (!cw) {
      path = sides;
    } else {
      start = points.front();
      for (std::size_t k = sides.size(); k-- > 0;) {
        TSegment s = sides[k];
        s.To = points[(k + points.size() - 1) % points.size()];
        s.Clockwise = true;
        path.push_back(s);
      }
    }
    // Begun at another corner, or part way along a line side.
    const std::size_t first = std::size_t(Between(0, int(path.size()) - 1));
    std::rotate(path.begin(), path.begin() + first, path.end());
    start = path.back().To;
    if (!path.front().Arc && Chance(0.3)) {
      const TIntPoint to = path.front().To;
      const double f = Chance(0.3) ? std::min(0.9, gap / 2 / std::max(1.0, Dist(start, to)) + 1e-6) : Uniform(0.1, 0.9);
      const TIntPoint mid{int32_t(std::llround(start.X + f * (double(to.X) - start.X))),
                          int32_t(std::llround(start.Y + f * (double(to.Y) - start.Y)))};
      TSegment tail = path.front();
      tail.To = mid;
      path.push_back(tail);
      start = mid;
      told << ", begun along a side";
    }
    b.Start = start;
    b.Segments = path;
    told << (cw ? ", cw" : ", ccw") << ", comp " << int(b.Comp) << ", " << size / In << " in, slant " << slant;
    // The tabs: on random sides; along each, ordered, kept half a gap from
    // its ends and a gap apart, often exactly so.
    const int tabs = Chance(0.1) ? Between(5, 8) : Between(1, 4);
    std::map<std::size_t, int> on;
    for (int k = 0; k < tabs; ++k) ++on[std::size_t(Between(0, int(path.size()) - 1))];
    for (const auto& [side, count] : on) {
      const TIntPoint from = side == 0 ? b.Start : path[side - 1].To;
      const TSegment& s = path[side];
      double length = Dist(from, s.To);
      double a0 = 0, sweep = 0, r = 0;
      if (s.Arc) {
        r = Dist(from, s.Centre);
        a0 = std::atan2(double(from.Y) - s.Centre.Y, double(from.X) - s.Centre.X);
        const double a1 = std::atan2(double(s.To.Y) - s.Centre.Y, double(s.To.X) - s.Centre.X);
        sweep = s.Clockwise ? a0 - a1 : a1 - a0;
        while (sweep <= 1e-9) sweep += 2 * std::numbers::pi;
        length = sweep * r;
      }
      // Positions along the side, in units of length from its start.
      // A tab's gap's end is kept half a gap from an end of an arc by the
      // chord: the arc's length over that chord.
      auto over = [&](double chord) { return s.Arc ? 2 * r * std::asin(std::min(1.0, chord / (2 * r))) : chord; };
      std::vector<double> at;
      double next = over(gap / 2) + 2;
      for (int k = 0; k < count; ++k) {
        const double room = length - over(gap / 2) - 2 - next;
        if (room < 0) break;
        const double p = Chance(0.3) ? next : next + Uniform(0, std::min(room, Chance(0.5) ? 0.2 * In : room));
        at.push_back(p);
        next = p + gap / 2 + over(gap / 2) + (Chance(0.5) ? 2.0 : Uniform(2, 0.001 * In));
      }
      for (const double p : at) {
        if (!s.Arc) {
          const double f = p / length;
          b.TabSides.push_back(side);
          b.Tabs.push_back({int32_t(std::llround(from.X + f * (double(s.To.X) - from.X))),
                            int32_t(std::llround(from.Y + f * (double(s.To.Y) - from.Y)))});
        } else {
          const double a = a0 + (s.Clockwise ? -1 : 1) * p / r;
          b.TabSides.push_back(side);
          b.Tabs.push_back({int32_t(std::llround(s.Centre.X + r * std::cos(a))),
                            int32_t(std::llround(s.Centre.Y + r * std::sin(a)))});
        }
      }
    }
    b.Told = told.str();
    return b;
  }
  static double Dist(const TIntPoint& a, const TIntPoint& b) { return std::hypot(double(a.X) - b.X, double(a.Y) - b.Y); }

  static TIntPoint CellCentre(int k) {
    return {int32_t(std::llround((k % kAcross - (kAcross - 1) / 2.0) * kCell)),
            int32_t(std::llround((k / kAcross - (kAcross - 1) / 2.0) * kCell))};
  }

  // Draws the board on layer 40 and tabs it as the Add Tab command does:
  // on the piece of the side each tab is put on that holds its point (not
  // a neck or a hole that a click there might pick instead).
  void Draw(const TBoard& b) {
    const int32_t begin = Seq->Count(40) + 1;
    RTDB->AppendJog(b.Start);
    RTDB->EntityAt(Seq->HandleAt(40, Seq->Count(40)))->SetComp(b.Comp);
    for (const TSegment& s : b.Segments) {
      if (s.Arc) RTDB->AppendArc(s.To, s.Centre, 0, NoZOffset, s.Clockwise);
      else RTDB->AppendLine(s.To, 0, NoZOffset);
    }
    RoutUndo->BeginOperation("Line");
    for (std::size_t t = 0; t < b.Tabs.size(); ++t) {
      const TIntPoint& q = b.Tabs[t];
      const TSegment& side = b.Segments[b.TabSides[t]];
      const TIntPoint from = b.TabSides[t] == 0 ? b.Start : b.Segments[b.TabSides[t] - 1].To;
      auto onLine = [&](const TIntPoint& p) {
        const double dx = double(side.To.X) - from.X, dy = double(side.To.Y) - from.Y;
        return std::fabs(dx * (double(p.Y) - from.Y) - dy * (double(p.X) - from.X)) <= std::hypot(dx, dy);
      };
      TIntPoint prev;
      int32_t piece = 0;
      for (int32_t p = begin; p <= Seq->Count(40) && piece == 0; ++p) {
        const int32_t h = Seq->HandleAt(40, p);
        TRoutEntity* e = RTDB->EntityAt(h);
        if (e == nullptr || SlotDeleted(RTDB->SlotAt(h)->Flags)) continue;
        const TIntPoint at{e->X, e->Y};
        if (e->GetType() == etRoutLine && !side.Arc && onLine(prev) && onLine(at) &&
            (double(q.X) - prev.X) * (double(q.X) - at.X) + (double(q.Y) - prev.Y) * (double(q.Y) - at.Y) <= 0)
          piece = h;
        if (IsArcType(e->GetType()) && side.Arc && (e->GetType() == etRoutArcReverse) == side.Clockwise) {
          TIntPoint c;
          e->GetCentre(c);
          // Within the arc's sweep: q turned from its start less than its end.
          auto turn = [&](const TIntPoint& to) {
            double a = std::atan2(double(to.Y) - c.Y, double(to.X) - c.X) - std::atan2(double(prev.Y) - c.Y, double(prev.X) - c.X);
            if (side.Clockwise) a = -a;
            while (a < 0) a += 2 * std::numbers::pi;
            return a;
          };
          if (c == side.Centre && turn(q) <= turn(at)) piece = h;
        }
        prev = at;
      }
      if (piece != 0) AddTabAt(piece, q);
    }
  }

  // The path starts and holes of the layer in cut order, board by board:
  // a board's starts begin with a jog where it was begun (read back from a
  // tape, to within its rounding).
  static std::vector<std::vector<int32_t>> Cuts(uint8_t layer, const std::vector<TBoard>& boards) {
    std::vector<std::vector<int32_t>> cuts;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (e == nullptr || SlotDeleted(RTDB->SlotAt(h)->Flags) || e->GetType() == etRoutLine || IsArcType(e->GetType()))
        continue;
      if (cuts.size() < boards.size() && e->GetType() == etRoutJog &&
          Dist({e->X, e->Y}, boards[cuts.size()].Start) < 0.001 * In)
        cuts.emplace_back();
      if (!cuts.empty()) cuts.back().push_back(h);
    }
    return cuts;
  }
  // The layer's entities from the board's first start to the next board's,
  // and what a pick on each start takes: a parted board's account.
  static std::string Account(uint8_t layer, const std::vector<TBoard>& boards, int board) {
    const std::vector<std::vector<int32_t>> cuts = Cuts(layer, boards);
    if (board < 0 || std::size_t(board) >= cuts.size()) return "";
    const std::vector<int32_t>& starts = cuts[std::size_t(board)];
    std::ostringstream o;
    bool in = false;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (e == nullptr || SlotDeleted(RTDB->SlotAt(h)->Flags)) continue;
      if (h == starts.front()) in = true;
      if (!in) continue;
      if (e->GetType() != etRoutLine && !IsArcType(e->GetType()) &&
          std::find(starts.begin(), starts.end(), h) == starts.end())
        break;
      o << "    " << "JLAWCHX"[std::min(6, e->GetType() - etRoutJog)] << " " << e->X << "," << e->Y;
      if (IsArcType(e->GetType())) {
        TIntPoint c;
        e->GetCentre(c);
        o << " c " << c.X << "," << c.Y << (e->GetType() == etRoutArc ? " ccw" : " cw");
      }
      if (e->GetType() == etRoutJog) o << " comp " << int(e->GetComp());
      if (e->GetType() != etRoutLine && !IsArcType(e->GetType())) {
        o << "  takes";
        for (const int32_t g : FindTabbedCut(h).Starts)
          o << " " << (std::find(starts.begin(), starts.end(), g) - starts.begin());
      }
      o << "\n";
    }
    return o.str();
  }
  // The boards of which a pick on some start or hole does not take every
  // start and hole of the board, and only those; -1 where the layer does
  // not hold every board.
  static std::vector<int> Parted(uint8_t layer, const std::vector<TBoard>& boards) {
    const std::vector<std::vector<int32_t>> cuts = Cuts(layer, boards);
    if (cuts.size() != boards.size()) return {-1};
    std::vector<int> parted;
    for (std::size_t k = 0; k < cuts.size(); ++k)
      for (const int32_t h : cuts[k])
        if (FindTabbedCut(h).Starts != cuts[k]) {
          parted.push_back(int(k));
          break;
        }
    return parted;
  }
};

TEST_F(TTabbedCutSweepTest, RandomTabbedBoardsStayOneCut) {
  int batches = 2;
  uint64_t seed = 1;
  const char* env = std::getenv("KORVEX_TAB_SWEEP");
  const bool sweep = env != nullptr;
  if (sweep) std::sscanf(env, "%d,%lu", &batches, &seed);
  struct TFormat {
    bool Metric;
    int Integers, Decimals;
  };
  const std::vector<TFormat> formats{{false, 2, 3}, {false, 2, 4}, {false, 3, 3}, {false, 3, 4}, {false, 2, 5},
                                     {false, 2, 6}, {true, 3, 2},  {true, 4, 2},  {true, 3, 3},  {true, 4, 3},
                                     {true, 3, 4}};
  std::map<std::string, int> parted;
  int boards = 0, tapeBoards = 0;
  for (int batch = 0; batch < batches; ++batch) {
    const uint64_t batchSeed = seed + uint64_t(batch);
    Random.seed(batchSeed);
    TWorkspace* form = &StartProgram();
    SelectLayer(40);
    const double cutter = Chance(0.7) ? RoutToolPages[40][1].Diameter : Uniform(0.005, 0.25) * In;
    RoutToolPages[40][1].Diameter = int32_t(cutter);
    std::vector<TBoard> drawn;
    for (int k = 0; k < kAcross * kAcross; ++k) {
      RTDB->AutoTab = Settings(Chance(0.5));
      const TIntPoint c = CellCentre(k);
      TBoard b = Board({double(c.X), double(c.Y)}, RTDB->AutoTab, cutter);
      b.Told += ", tabs " + Told(RTDB->AutoTab) + ", cutter " + std::to_string(int32_t(cutter));
      Draw(b);
      drawn.push_back(b);
    }
    boards += int(drawn.size());
    auto count = [&](const std::string& how, uint8_t layer, const std::vector<int>& cells) {
      for (const int cell : cells) {
        ++parted[how];
        if (sweep) {
          std::printf("seed %lu board %d %s: %s\n", (unsigned long)batchSeed, cell, how.c_str(),
                      cell >= 0 ? drawn[std::size_t(cell)].Told.c_str() : "(not every board read back)");
          if (cell >= 0) {
            std::printf("  start %d,%d; tabs", drawn[cell].Start.X, drawn[cell].Start.Y);
            for (const TIntPoint& t : drawn[cell].Tabs) std::printf(" %d,%d", t.X, t.Y);
            std::printf("\n");
            if (std::getenv("KORVEX_TAB_SWEEP_ACCOUNT")) std::printf("%s", Account(layer, drawn, cell).c_str());
          }
        } else {
          ADD_FAILURE() << how << ": " << (cell >= 0 ? drawn[std::size_t(cell)].Told : "(not every board read back)");
        }
      }
    };
    count("in place", 40, Parted(40, drawn));
    RTDB->AutoTab = Settings(Chance(0.5));
    RoutToolPages[40][1].Diameter = int32_t(Uniform(0.005, 0.25) * In);
    count("settings changed", 40, Parted(40, drawn));
    RoutToolPages[40][1].Diameter = int32_t(cutter);

    const std::string job = (TempDir / "SWEEP.ZUL").string();
    std::filesystem::remove(job);
    ScriptFileDialogAnswer(job);
    Run(*form, emRout, "SaveAs1");
    CloseProgram();
    form = &StartProgram();
    ScriptFileDialogAnswer(job);
    Run(*form, emRout, "Open1");
    ASSERT_EQ(DatabaseFileName, job) << LastBox();
    count("reopened", 40, Parted(40, drawn));

    for (const uint8_t layer : {41, 42}) {
      const TFormat t = formats[std::size_t(Between(0, int(formats.size()) - 1))];
      // Arcs by radius or by I/J from an end: Open Rout Tape offers no I/J
      // absolute.
      const int arcs = Between(0, 2);
      SelectLayer(40);
      const std::string tape = NativePath(ExecutionPath() + "ROUT\\SWEEP" + std::to_string(layer) + ".RT");
      std::filesystem::remove(tape);
      ScriptFileDialogAnswer(tape);
      QueueModalScript("TRoutOutputFormatDialog", [t, arcs](TForm& f) {
        f.Get<TRadioGroup>("UnitGroup").SetItemIndex(t.Metric ? 1 : 0);
        f.Get<TSpinEdit>("IntegerEdit").SetValue(t.Integers);
        f.Get<TSpinEdit>("DecimalEdit").SetValue(t.Decimals);
        f.Get<TRadioGroup>("ArcGroup").SetItemIndex(arcs);
        f.Click("OKButton");
      });
      const std::size_t shown = ShownMessageBoxes().size();
      Run(*form, emRout, "MakeRoutTape1");
      ASSERT_EQ(ShownMessageBoxes().size(), shown) << LastBox();
      SelectLayer(layer);
      ScriptFileDialogAnswer(tape);
      QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
      Run(*form, emRout, "OpenRoutTape1");
      tapeBoards += int(drawn.size());
      count(std::string("tape ") + (t.Metric ? "metric " : "inch ") + std::to_string(t.Integers) + "." +
                std::to_string(t.Decimals) + " arcs " + std::to_string(arcs),
            layer, Parted(layer, drawn));
    }
    ScriptMessageBoxAnswer(mrNo);  // the tapes read back are not kept
    CloseProgram();
  }
  if (sweep) {
    std::printf("%d boards, %d read back from tapes\n", boards, tapeBoards);
    for (const auto& [how, n] : parted) std::printf("  parted %s: %d\n", how.c_str(), n);
  }
}

}  // namespace
