#include "job_file_test_support.h"

#include <fstream>
#include <sstream>

#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/drill_tools.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "workspace/job_file.h"
#include "workspace/startup.h"

namespace {

std::string Pt(const TIntPoint& p) { return std::to_string(p.X) + "," + std::to_string(p.Y); }

std::string Chain(TStepObject* s) {
  if (s == nullptr) return "";
  std::string out = " steps";
  for (TStepObject* level = s; level != nullptr; level = level->Nested()) {
    out += " [";
    for (const TStepCommand& c : level->Commands())
      out += "{" + std::to_string(c.Command) + "," + std::to_string(c.Count) + "," +
             std::to_string(c.DX) + "," + std::to_string(c.DY) + "," +
             std::to_string(c.Orientation) + "}";
    out += "]";
  }
  return out + " copies " + std::to_string(s->CopyCount());
}

}  // namespace

TStepObject* MakeSteps(std::initializer_list<TStepCommand> steps) {
  TStepCommandList list{{1, 1, 0, 0, 0}};
  list.insert(list.end(), steps.begin(), steps.end());
  return new TStepObject(list);
}

std::vector<std::string> TJobFileTest::Boxes() {
  std::vector<std::string> out;
  for (const auto& b : ShownMessageBoxes()) out.push_back(b.Text);
  return out;
}

void TJobFileTest::SetUp() {
  TKorvexTest::SetUp();
  ResetHeadlessDialogs();
  ResetModalScripts();
  ASSERT_TRUE(EnsureWorkingDirectories());
  ResetHeadlessViewServices();
  HeadlessViewServices().PictureOverride = &Surface;
  DrawSurface = nullptr;
  EditorMode = emCad;
  ResetLayerMasks();
  CurrentLayer = 0;
  // A default rout tool page of no tools: the empty pages below are those
  // a new job starts with, which a job file need not list.
  DefaultToolFile = (TempDir / "config" / "EMPTY.RTT").string();
  std::ofstream(DefaultToolFile, std::ios::binary).flush();
  ToolTable.Fill(TToolRecord{});
  ActiveTools.Fill(true);
  for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
    RoutToolPages[l].Fill(TRoutToolRecord{});
    RoutLayerTools[l] = TRoutLayerTool{};
  }
  CadUndo = new TCadUndo();
  RoutUndo = new TRoutUndo();
  DrillUndo = new TDrillUndo();
  ActiveUndo = CadUndo;
  DB = new TCadDatabase();
  RTDB = new TRoutDatabase();
  DRDB = new TDrillDatabase();
  Seq = new TSequenceStore();
  DatabaseFileName.clear();
  DatabasePath = TempDir.string() + "/";
  DatabaseModified = false;
  RoutLayerModified.Fill(false);
  HeadlessFailWritesAfter(-1);
}

void TJobFileTest::TearDown() {
  HeadlessFailWritesAfter(-1);
  delete DRDB;
  DRDB = nullptr;
  delete RTDB;
  RTDB = nullptr;
  delete Seq;
  Seq = nullptr;
  delete DB;
  DB = nullptr;
  delete DrillUndo;
  DrillUndo = nullptr;
  delete RoutUndo;
  RoutUndo = nullptr;
  delete CadUndo;
  CadUndo = nullptr;
  ActiveUndo = nullptr;
  DatabaseFileName.clear();
  DefaultToolFile.clear();
  DrawSurface = nullptr;
  ResetHeadlessViewServices();
  ResetHeadlessDialogs();
  ResetModalScripts();
  TKorvexTest::TearDown();
}

void TJobFileTest::ClearAll() {
  DB->Clear();
  DRDB->Clear();
  RTDB->Clear();
  for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) RoutToolPages[l].Fill(TRoutToolRecord{});
}

std::string TJobFileTest::DumpJob() {
  std::ostringstream out;
  for (int32_t t = 1; t <= kToolCount; ++t) {
    const TToolRecord& r = ToolTable[t];
    if (r == TToolRecord{}) continue;
    out << "drill tool " << t << ": " << r.Diameter << " " << r.Feed << " " << r.Speed << " "
        << r.ZOffset << " " << r.MaxHits << " " << int(r.FirstLastHit) << "\n";
  }
  for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l)
    for (int32_t t = 1; t <= kToolCount; ++t) {
      const TRoutToolRecord& r = RoutToolPages[l][t];
      if (r == TRoutToolRecord{}) continue;
      out << "rout tool " << l << "/" << t << ": " << r.Diameter << " " << r.CompDiameter << " "
          << r.HighFeed << " " << r.LowFeed << " " << r.ZOffset << "\n";
    }
  out << "drill origin " << DRDB->G93OriginX << "," << DRDB->G93OriginY << "\n";
  for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
    out << "rout origin " << l << " " << Pt(RTDB->G93Origins[l]) << "\n";
    for (int32_t p = 1; p <= Seq->Count(l); ++p) {
      const int32_t h = Seq->HandleAt(l, p);
      const uint32_t flags = RoutSlotFlags(h);
      if (SlotDeleted(flags)) continue;
      TRoutEntity* e = RTDB->EntityAt(h);
      out << "  rout t" << int(e->Type) << " " << e->X << "," << e->Y;
      switch (e->Type) {
        case etRoutJog:
          out << " side " << int(e->GetComp()) << " tool " << e->GetToolNumber() << " comp "
              << e->GetCompIndex();
          break;
        case etRoutLine: out << " feed " << e->GetFeedRate() << " z " << e->GetZOffset(); break;
        case etRoutArc:
        case etRoutArcReverse: {
          TIntPoint c;
          e->GetSecondPoint(c);
          out << " centre " << Pt(c) << " feed " << e->GetFeedRate() << " z " << e->GetZOffset();
          break;
        }
        case etRoutCircle:
          out << " r " << e->GetRadius() << " g32 " << e->IsAG32() << " tool "
              << e->GetToolNumber() << " comp " << e->GetCompIndex() << " feed "
              << e->GetFeedRate() << " z " << e->GetZOffset();
          break;
        case etRoutHole: out << " tool " << e->GetToolNumber(); break;
        default: {
          std::string text;
          e->GetString(text);
          out << " text '" << text << "' hold " << int(e->GetHoldOff());
          break;
        }
      }
      if (e->Type != etRoutLine && e->Type != etRoutArc && e->Type != etRoutArcReverse)
        out << Chain(e->GetStepObj());
      out << "\n";
    }
  }
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (static_cast<int32_t>(DRDB->WordAt(i)) <= 0) continue;
    TDrillEntity* e = DRDB->EntityAt(i);
    out << "drill t" << int(e->GetType()) << " L" << int(LayerOfBit(DRDB->WordAt(i))) << " "
        << e->X << "," << e->Y << " tool " << e->Tool;
    if (auto* s = dynamic_cast<TDrillSlot*>(e)) out << " to " << s->X2 << "," << s->Y2;
    if (auto* c = dynamic_cast<TDrillCircle*>(e)) out << " r " << c->Radius;
    if (auto* t = dynamic_cast<TDrillText*>(e)) out << " '" << t->Text << "' v" << t->Vertical;
    out << Chain(e->GetStepObj()) << "\n";
  }
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = DB->SlotAt(i);
    if (static_cast<int32_t>(slot->Flags) <= 0) continue;
    out << "cad L" << int(LayerOfBit(slot->Flags)) << " ";
    if (auto* p = dynamic_cast<TCadPoint*>(slot->Entity)) out << "point " << p->X << "," << p->Y;
    if (auto* l = dynamic_cast<TCadLine*>(slot->Entity))
      out << "line " << l->X1 << "," << l->Y1 << " " << l->X2 << "," << l->Y2;
    if (auto* a = dynamic_cast<TCadArc*>(slot->Entity))
      out << "arc " << a->SX << "," << a->SY << " " << a->EX << "," << a->EY << " " << a->CX
          << "," << a->CY;
    if (auto* c = dynamic_cast<TCadCircle*>(slot->Entity))
      out << "circle " << c->CX << "," << c->CY << " r " << c->Radius;
    out << "\n";
  }
  return out.str();
}

void TJobFileTest::BuildRichJob() {
  // Tools.
  ToolTable[1] = {254000, 2540, 600, -12700, 1500, 1};
  ToolTable[2] = {889000, 5080, 450, 0, 0, 0};
  ToolTable[7] = {0, 0, 0, 0, 0, 1};  // only the coupon flag
  ToolTable[1000] = {6350000, 100, 100, 1, 2, 0};
  RoutToolPages[40][1] = {812800, 800000, 6350, 2540, -25400};
  RoutToolPages[40][2] = {1574800, 0, 6350, 2540, 12700};
  RoutToolPages[44][1000] = {3175000, 3175000, 10160, 5080, 0};

  // Step objects: C inside B inside A; D on its own.
  TStepObject* c = MakeSteps({{0, 2, 0, 50000000, 0}});
  TStepObject* b = MakeSteps({{0, 3, 20000000, 0, 2}});
  TStepObject* a = MakeSteps({{0, 2, 1000000, 0, 0}, {0, 1, 0, -1000000, 1}});
  b->SetNested(c);
  a->SetNested(b);
  TStepObject* d = MakeSteps({{0, 4, -500000, 250000, 0}});

  // CAD, on several layers, with a deleted entity in between.
  DB->AddPointOnLayer(-1000, 0, 0);
  DB->AddLineOnLayer(0, 0, 10000000, -5000000, 3);
  const int32_t gone = DB->AddCircleOnLayer(5, 5, 7, 4);
  DB->MarkDeleted(gone);
  DB->AddArcOnLayer({1000000, 0}, {0, 1000000}, {0, 0}, 29);
  DB->AddCircleOnLayer(-3000000, 4000000, 1500000, 5);

  // Drill.
  DRDB->G93OriginX = 1270000;
  DRDB->G93OriginY = -2540000;
  int32_t n = DRDB->AddHoleOnLayer(0, -5, 30, 1, true);
  DRDB->EntityAt(n)->SetStepObj(a);
  n = DRDB->AddSlotOnLayer(100, 200, 300000, 400000, 33, 2, true);
  DRDB->EntityAt(n)->SetStepObj(a);
  n = DRDB->AddHoleOnLayer(7, 7, 31, 1, true);
  DRDB->DeleteEntity(n);
  n = DRDB->AddCircleOnLayer(-500000, 500000, 2000000, 39, 1000, true);
  DRDB->EntityAt(n)->SetStepObj(b);
  DRDB->AddTextOnLayer(123456, -654321, " Lot 7b  x", true, 31, 2, true);

  // Rout: layer 40 with holes and a command among its paths, layer 42
  // hidden, layer 44 with a lone hole.
  RTDB->G93Origins[41] = {2540000, 0};
  int32_t h = RTDB->AddJog({0, 0}, 40, 1, 1, 1);
  RTDB->EntityAt(h)->SetStepObj(d);
  RTDB->AddLine({1000000, 0}, 40, 3000, -25400);
  RTDB->AddArc({2000000, 1000000}, 40, 1500, true, {1000000, 1000000}, NoZOffset);
  RTDB->AddLine({2000000, 3000000}, 40, 0, 0);
  h = RTDB->AddHole({5000000, 5000000}, 40, 2);
  RTDB->EntityAt(h)->SetStepObj(d);
  {
    const uint8_t saved = CurrentLayer;
    CurrentLayer = 40;
    RTDB->AddCommand({5000000, 5000000}, "M47,CHECK  Tab", 1);
    CurrentLayer = saved;
  }
  const int32_t deleted = RTDB->AddLine({9, 9}, 40, 0, 0);
  RTDB->SlotAt(deleted)->Flags |= SlotDeletedBit;
  RTDB->AddJog({-1000000, -1000000}, 40, 2, 2, 0);
  RTDB->AddCircle({-2000000, -2000000}, 40, 2, 500, 2, 750000, true, 5080);
  RTDB->AddJog({0, 0}, 42, 0, 1, 1);
  RTDB->AddLine({0, 1000000}, 42, 100, 0);
  RTDB->AddArc({1000000, 1000000}, 42, 0, false, {500000, 1000000}, -100);
  RTDB->AddHole({1, -1}, 44, 1000);
  // A hole put at the start of layer 40's cut order: store order and cut
  // order now differ.
  Seq->SetInsertAtStart(40);
  RTDB->AddHole({-7000000, 0}, 40, 1);
  DisplayedNCLayerMask &= ~NCLayerBit(42);
  ActiveNCLayerMask &= ~NCLayerBit(42);
  DatabaseModified = true;
}
