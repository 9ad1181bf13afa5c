// Every way an import can end without bringing anything in (a file refused
// as malformed or past a limit, a store without room, memory running out, a
// dialog cancelled, the main-part question or the placement withdrawn), in
// every format of File > Import and Drill Import: the job afterwards is the
// job before, down to the room of its stores, its undo steps and its name.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>

#include "foundation/import_guard.h"
#include "import/import_frame.h"
#include "job_snapshot.h"
#include "model/cad_database.h"
#include "model/rout_database.h"
#include "tapein/drill_import_command.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t In = 25400000;

class TImportTakeBackTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    for (const char* form : {"TDrawingUnits", "TGerberDrillDialog", "TCadInputFormatDialog",
                             "TDrillInputFormatDialog", "TPickDrillLayerDialog"})
      RegisterModalScript(form, [](TForm& f) { f.Click("OKButton"); });
    CloseResultWindows();
  }
  void TearDown() override {
    SetImportWholeFileLimit(0);
    InstallDrillImporters();
    TWorkspaceDialogsTest::TearDown();
  }
  // A named job, modified since it was saved, with a step to undo in each
  // mode: a CAD line, a hole on D0, a rout line on R0.
  void MakeJob(TWorkspace& form) {
    DB->AddLineOnLayer(0, 0, In, In, 0);
    CadUndo->BeginOperation("Line");
    SelectLayer(30);
    DRDB->AddHoleOnLayer(In, In, 30, 1, true);
    DrillUndo->BeginOperation("Hole");
    SelectLayer(40);
    RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
    ScriptFileDialogAnswer((TempDir / "JOB.ZUL").string());
    ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Save &As"));
    DB->AddLineOnLayer(0, In, In, In, 0);
    CadUndo->BeginOperation("Line");
    SelectLayer(0);
  }
  // The rout database at 99,990 entities (deleted ones but the last few: the
  // room is the same), the last ten drawn on the current layer as one step.
  static void FillRoutDatabaseTo99990() {
    const int32_t deleted = 99980;
    RoutEntities->GetSlot(deleted);
    for (int32_t i = RoutEntityCount + 1; i <= deleted; ++i) RoutEntities->GetSlot(i)->Flags = SlotDeletedBit;
    RoutEntityCount = deleted;
    while (RoutEntityCount < 99990) RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
    RoutUndo->BeginOperation("Lines");
  }
  TJobSnapshot Snapshot(TWorkspace& form) { return TakeJobSnapshot((TempDir / "SNAPSHOT.ZUL").string(), form.Caption()); }
  // An ODB++ job of one step: two pads on TOP, a hole on DRILL and the
  // rout lines on ROUT. Gives its matrix.
  std::string OdbJob(const std::string& name, int routLines) {
    const fs::path job = TempDir / name;
    for (const char* layer : {"top", "drill", "rout"}) fs::create_directories(job / "steps/pcb/layers" / layer);
    fs::create_directories(job / "matrix");
    std::ofstream(job / "matrix/matrix")
        << "STEP {\n COL=1\n NAME=PCB\n}\n"
           "LAYER {\n ROW=1\n CONTEXT=BOARD\n TYPE=SIGNAL\n NAME=TOP\n POLARITY=POSITIVE\n}\n"
           "LAYER {\n ROW=2\n CONTEXT=BOARD\n TYPE=DRILL\n NAME=DRILL\n POLARITY=POSITIVE\n}\n"
           "LAYER {\n ROW=3\n CONTEXT=BOARD\n TYPE=ROUT\n NAME=ROUT\n POLARITY=POSITIVE\n}\n";
    std::ofstream(job / "steps/pcb/layers/top/features") << "UNITS=INCH\n$0 r10\nP 1 1 0 P 0 0\nP 2 2 0 P 0 0\n";
    std::ofstream(job / "steps/pcb/layers/drill/features") << "UNITS=INCH\n$0 r20\nP 1 1 0 P 0 0\n";
    std::string rout = "UNITS=INCH\n@0 .rout_chain\n@1 .comp\n$0 r100\n";
    for (int k = 0; k < routLines; ++k)
      rout += "L " + std::to_string(k % 50) + " 0 " + std::to_string(k % 50 + 1) + " 0 0 P 0;0=1,1=0\n";
    std::ofstream(job / "steps/pcb/layers/rout/features") << rout;
    std::ofstream(job / "steps/pcb/profile") << "";
    std::ofstream(job / "steps/pcb/stephdr") << "";
    return (job / "matrix/matrix").string();
  }
  // Every layer of the step ticked.
  static void TickAll() {
    QueueModalScript("TValorLayerDialog", [](TForm& f) {
      f.Click("Step1");
      f.Click("OKButton");
    });
  }
  // Every layer of the job's step through Drill Import or File > Import.
  void ImportOdb(TWorkspace& form, const std::string& matrix, bool drill) {
    TickAll();
    if (drill) ImportDrill(form, matrix, ifValor);
    else ImportIntoCad(form, matrix, fcOdb);
  }
};

#define EXPECT_JOB_AS_BEFORE(what) EXPECT_EQ(Snapshot(form).Differences(before), "") << what << "\n" << LastBox()

TEST_F(TImportTakeBackTest, EveryRefusalOfEveryImportLeavesTheJobAsItWas) {
  TWorkspace& form = StartProgram();
  MakeJob(form);
  TJobSnapshot before = Snapshot(form);
  ASSERT_NE(before.JobFile, "");
  ASSERT_TRUE(before.Modified);

  // File > Import: zero bytes, a file of none of the formats, in every
  // format.
  const std::string zeros = Input("ZEROS.BIN", std::string(4096, '\0'));
  for (int format = fcDxf; format < FormatCount; ++format) {
    if (format == fcOdb) continue;
    SCOPED_TRACE(FormatListNames[format]);
    const size_t shown = ShownMessageBoxes().size();
    ImportIntoCad(form, zeros, format);
    EXPECT_GT(ShownMessageBoxes().size(), shown);
    EXPECT_JOB_AS_BEFORE("File > Import");
  }
  // Files past the size a photoplot or drawing reader holds.
  SetImportWholeFileLimit(1024);
  for (const auto& [format, text] :
       {std::pair{fcGerber, "%FSLAX24Y24*%\n%MOIN*%\n" + std::string(2048, '\n') + "M02*\n"},
        std::pair{fcDxf, "0\nSECTION\n2\nENTITIES\n" + std::string(2048, ' ') + "\n0\nENDSEC\n0\nEOF\n"}}) {
    ImportIntoCad(form, Input("LARGE.TXT", text), format);
    EXPECT_NE(LastBox().find("this format can import"), std::string::npos) << LastBox();
    EXPECT_JOB_AS_BEFORE("File > Import past the limit");
  }
  SetImportWholeFileLimit(0);
  // The format dialog cancelled.
  ScriptFileDialogAnswer(zeros);
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  Run(form, emCad, "Import1");
  EXPECT_JOB_AS_BEFORE("format cancelled");

  // Memory running out halfway, after the importer put something in every
  // store.
  const TImportFormat kept = ImportFormat(fcGcadd);
  SetImportFormat(fcGcadd, {kept.Detect, [](const std::string&) {
                              DB->AddLineOnLayer(0, 0, 2 * In, 0, 3);
                              DRDB->AddHoleOnLayer(2 * In, In, 31, 7, true);
                              RTDB->AddLineSegment({0, 0}, {0, In}, false, NoZOffset, 0);
                              LayerNames[3] = "HALF";
                              ToolTable[7].Diameter = 12345;
                              throw std::bad_alloc();
                            }});
  ImportIntoCad(form, Input("HALF.GCD", "anything"), fcGcadd);
  SetImportFormat(fcGcadd, kept);
  EXPECT_NE(LastBox().find("There is not enough memory to import"), std::string::npos);
  EXPECT_JOB_AS_BEFORE("out of memory");

  // ODB++: the layer dialog cancelled; a drawing without room for the CAD
  // part refuses the holes and rout paths read with it.
  const std::string odb = OdbJob("panel", 3);
  ScriptFileDialogAnswer(odb);
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TValorLayerDialog", [](TForm& f) { f.Click("CancelButton"); });
  Run(form, emCad, "Import1");
  EXPECT_JOB_AS_BEFORE("ODB++ layers cancelled");

  // A job's matrix kept compressed (.Z) that does not decode.
  const fs::path packed = TempDir / "packed/matrix";
  fs::create_directories(packed);
  const std::string matrixZ = (packed / "matrix.Z").string();
  std::ofstream(matrixZ, std::ios::binary) << std::string("\x1f\x9d\x90", 3) + std::string(64, '\xff');
  size_t boxes = ShownMessageBoxes().size();
  ImportIntoCad(form, matrixZ, fcOdb);
  EXPECT_GT(ShownMessageBoxes().size(), boxes);
  EXPECT_JOB_AS_BEFORE("matrix.Z");

  // Open Rout Tape of a file that draws nothing (empty, or no block that
  // draws): the layer it was to replace stays, with its undo steps.
  SelectLayer(40);
  before.Caption = form.Caption();
  for (const std::string& tape : {Input("EMPTY.RT", ""), Input("NOTHING.RT", "%\nM30\n")}) {
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Open Rout Tap&e"));
    EXPECT_EQ(LastBox(), "<" + tape + "> draws nothing.\r\nNothing was imported.");
    EXPECT_JOB_AS_BEFORE("Open Rout Tape");
  }

  // Drill Import: every format it reads, zero bytes. (The caption names
  // the drill layer chosen.)
  SelectLayer(30);
  before.Caption = form.Caption();
  for (int format : {ifDxf, ifExcellon, ifGerber, ifValor, ifEsi}) {
    SCOPED_TRACE(format);
    boxes = ShownMessageBoxes().size();
    ImportDrill(form, format == ifValor ? Input("BAD.ODB", "") : zeros, format);
    EXPECT_GT(ShownMessageBoxes().size(), boxes);
    EXPECT_JOB_AS_BEFORE("Drill Import");
  }
  boxes = ShownMessageBoxes().size();
  ImportDrill(form, matrixZ, ifValor);
  EXPECT_GT(ShownMessageBoxes().size(), boxes);
  EXPECT_JOB_AS_BEFORE("Drill Import matrix.Z");
  // Memory running out in a drill importer.
  SetDrillFormatImporter(ifDxf, {nullptr, [](const std::string&) {
                                   DB->AddLineOnLayer(0, 0, 2 * In, 0, 3);
                                   DRDB->AddHoleOnLayer(2 * In, In, 30, 1, false);
                                   throw std::length_error("vector");
                                 }});
  ImportDrill(form, Input("HALF.DXF", "anything"), ifDxf);
  InstallDrillImporters();
  EXPECT_NE(LastBox().find("There is not enough memory to import"), std::string::npos);
  EXPECT_JOB_AS_BEFORE("Drill Import out of memory");
  // Files past the size a photoplot or drawing reader holds.
  SetImportWholeFileLimit(1024);
  const std::string plot = Input("LARGE.GBR", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\n" +
                                                  std::string(2048, '\n') + "X0Y0D03*\nM02*\n");
  const std::string drawing = Input("LARGE.DXF", "0\nSECTION\n2\nENTITIES\n" + std::string(2048, ' ') +
                                                     "\n0\nCIRCLE\n8\n0\n10\n1\n20\n1\n40\n0.01\n0\nENDSEC\n0\nEOF\n");
  for (const auto& [format, file] : {std::pair{ifGerber, plot}, std::pair{ifDxf, drawing}}) {
    ImportDrill(form, file, format);
    EXPECT_NE(LastBox().find("this format can import"), std::string::npos) << LastBox();
    EXPECT_JOB_AS_BEFORE("Drill Import past the limit");
  }
  SetImportWholeFileLimit(0);
  // A tool past the ESI tool range.
  ImportDrill(form, Input("BAD.LAS", "(ESI 5100)\nT0 5\nT2 300\nT1 1\nX5 Y5\nT0 1005\nT2 80\nT1 1\nX1 Y1\n"), ifEsi);
  EXPECT_NE(LastBox().find("tool 1005"), std::string::npos) << LastBox();
  EXPECT_JOB_AS_BEFORE("ESI tool");

  // Drill Import of a file of every format that reads: withdrawn at the
  // main-part question (Escape), asked of a job without drill hits, then,
  // with the main part set, by Escape in the placement.
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) DRDB->DeleteEntity(i);
  before = Snapshot(form);
  const std::vector<std::pair<int, std::string>> good = {
      {ifExcellon, Input("GOOD.DRL", "M48\nINCH,TZ\nT1C0.0100\n%\nT1\nX010000Y010000\nM30\n")},
      {ifGerber, Input("GOOD.GBR", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX10000Y10000D03*\nM02*\n")},
      {ifDxf, Input("GOOD.DXF", "0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n8\n0\n10\n1\n20\n1\n40\n0.01\n0\nENDSEC\n0\nEOF\n")},
      {ifEsi, Input("GOOD.LAS", "(ESI 5100)\nT0 1000\nT2 80\nT1 1\nX1 Y1\n")},
      {ifValor, odb}};
  for (const auto& [format, file] : good) {
    SCOPED_TRACE(file);
    if (format == ifValor) TickAll();
    ScriptMessageBoxAnswer(mrCancel);
    ImportDrill(form, file, format);
    ASSERT_FALSE(ShownMessageBoxes().empty());
    EXPECT_EQ(LastBox(), "Is this the main part?") << "the file read nothing";
    EXPECT_JOB_AS_BEFORE("withdrawn at the question");
  }
  DRDB->MainPartSet = true;
  before = Snapshot(form);
  for (const auto& [format, file] : good) {
    SCOPED_TRACE(file);
    if (format == ifValor) TickAll();
    ImportDrill(form, file, format);
    EXPECT_GT(DrillEntityCount, before.Room[3]) << "nothing waits to be placed";
    form.KeyDown(VK_ESCAPE);
    EXPECT_JOB_AS_BEFORE("withdrawn in the placement");
  }
}

// ODB++ with a CAD drawing too full for its pads: "Nothing was imported."
// and nothing is, neither the holes nor the rout paths read with them.
TEST_F(TImportTakeBackTest, AnOdbJobRefusedForTheDrawingsRoomBringsNoHolesNorRoutPaths) {
  TWorkspace& form = StartProgram();
  MakeJob(form);
  const std::string odb = OdbJob("panel", 3);
  {
    // A drawing of deleted entities up to one free slot.
    const int32_t full = TEntityArray::HighestIndex - 1;
    EntityArray->GetSlot(full);
    for (int32_t i = CadEntityCount + 1; i <= full; ++i) EntityArray->GetSlot(i)->Flags = SlotDeletedBit;
    CadEntityCount = full;
  }
  TJobSnapshot before = Snapshot(form);
  for (bool drill : {false, true}) {
    SCOPED_TRACE(drill ? "Drill Import" : "File > Import");
    ImportOdb(form, odb, drill);
    EXPECT_EQ(LastBox(), "The file makes 2 entities; the CAD drawing has room for 1 more.\r\nNothing was imported.");
    EXPECT_JOB_AS_BEFORE("CAD drawing full");
  }
}

// A rout layer past the rout database gives back the room it took: the next
// rout line and the next import go in.
TEST_F(TImportTakeBackTest, AnOdbRoutLayerRefusedForTheRoutDatabaseGivesItsRoomBack) {
  TWorkspace& form = StartProgram();
  MakeJob(form);
  const std::string odb = OdbJob("panel", 3);
  // The job's ODB++ rout layer is 40.
  SelectLayer(40);
  FillRoutDatabaseTo99990();
  const TJobSnapshot before = Snapshot(form);
  const std::string big = OdbJob("big", 40);
  for (bool drill : {false, true}) {
    SCOPED_TRACE(drill ? "Drill Import" : "File > Import");
    ImportOdb(form, big, drill);
    EXPECT_EQ(LastBox(), "<" + (TempDir / "big").string() +
                             ">: The rout database is full: it holds at most 100,000 entities.\r\n"
                             "Nothing was imported.");
    EXPECT_JOB_AS_BEFORE("rout database full");
  }
  // The room is there again: a rout line drawn goes in, and a small rout
  // layer comes in as one step.
  const int32_t routs = RoutEntityCount;
  RTDB->AddLineSegment({0, 0}, {In, In}, false, NoZOffset, 0);
  EXPECT_GT(RoutEntityCount, routs) << LastBox();
  TickAll();
  ImportIntoCad(form, odb, fcOdb);
  EXPECT_GT(RoutEntityCount, 99990);
  EXPECT_EQ(DrillEntityCount, 2) << LastBox();
  std::string undo;
  ASSERT_TRUE(CadUndo->CanUndo(undo));
  EXPECT_EQ(undo, "Import file");
  ASSERT_TRUE(DrillUndo->CanUndo(undo));
  EXPECT_EQ(undo, "Import file");
}

// A rout tape opened on a rout layer that the rout database has no room for
// gives back the room it took: the job is as before and the next rout line
// goes in.
TEST_F(TImportTakeBackTest, ARoutTapeRefusedForTheRoutDatabaseGivesItsRoomBack) {
  TWorkspace& form = StartProgram();
  MakeJob(form);
  SelectLayer(40);
  FillRoutDatabaseTo99990();
  std::string text = "%\n";
  for (int i = 0; i < 20; ++i)
    text += "G00X0" + std::to_string(10000 + i * 1000) + "Y010000\nM15\nG01X0" + std::to_string(10000 + i * 1000) +
            "Y020000\nM16\n";
  text += "M30\n";
  const fs::path tape = TempDir / "BIG.RT";
  WriteFileBytes(tape, text);
  const TJobSnapshot before = Snapshot(form);
  ScriptMessageBoxAnswer(mrNo);  // the layer is not saved first
  ScriptFileDialogAnswer(tape.string());
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Open Rout Tap&e"));
  EXPECT_NE(LastBox().find("The rout database is full"), std::string::npos) << LastBox();
  EXPECT_JOB_AS_BEFORE("rout tape refused");
  const int32_t routs = RoutEntityCount;
  RTDB->AddLineSegment({0, 0}, {In, In}, false, NoZOffset, 0);
  EXPECT_GT(RoutEntityCount, routs) << LastBox();
}

// An ODB++ job whose holes need more tool numbers than the table has left
// brings its drawing and rout paths without them, and no drill step: the
// drill journal, its step to redo, the room of the drill store and the drill
// layers' names are as before, so the holes drawn next are undone alone.
TEST_F(TImportTakeBackTest, HolesRefusedForWantOfToolNumbersLeaveNoDrillStep) {
  TWorkspace& form = StartProgram();
  const std::string odb = OdbJob("panel", 3);
  SelectLayer(30);
  DRDB->AddHoleOnLayer(In, In, 30, 1000, true);
  DrillUndo->BeginOperation("Hole");
  DRDB->AddHoleOnLayer(2 * In, In, 30, 1000, true);
  DrillUndo->BeginOperation("Hole 2");
  Run(form, emDrill, "Undo3");
  SelectLayer(0);
  const int32_t drillSlots = DrillEntityCount, cadSlots = CadEntityCount;
  const std::string d0 = LayerNames[30], d1 = LayerNames[31];
  const auto tools = Tools();
  for (bool drill : {false, true}) {
    SCOPED_TRACE(drill ? "Drill Import" : "File > Import");
    ImportOdb(form, odb, drill);
    EXPECT_NE(LastBox().find("No drill holes were imported."), std::string::npos) << LastBox();
    EXPECT_EQ(DrillEntityCount, drillSlots);
    EXPECT_EQ(LayerNames[30], d0);
    EXPECT_EQ(LayerNames[31], d1);
    EXPECT_EQ(Tools(), tools);
    std::string undo;
    ASSERT_TRUE(DrillUndo->CanUndo(undo));
    EXPECT_EQ(undo, "Hole");
    EXPECT_EQ(DrillUndo->RedoCount(), 1);
  }
  // The drawing came in as a step of its own.
  ASSERT_GT(CadEntityCount, cadSlots);
  std::string cadStep;
  ASSERT_TRUE(CadUndo->CanUndo(cadStep));
  EXPECT_EQ(cadStep, "Import file");

  // Redo brings back the hole undone before; the next hole takes the next
  // slot and goes alone with Undo, then the two before it.
  SelectLayer(30);
  Run(form, emDrill, "Redo3");
  EXPECT_EQ(LiveDrillEntities(), 2);
  EXPECT_EQ(DRDB->AddHoleOnLayer(3 * In, In, 30, 1000, true), drillSlots + 1);
  DrillUndo->BeginOperation("Hole 3");
  for (int32_t live : {2, 1, 0}) {
    Run(form, emDrill, "Undo3");
    EXPECT_EQ(LiveDrillEntities(), live);
  }
  std::string left;
  EXPECT_FALSE(DrillUndo->CanUndo(left)) << left;
  for (int k = 0; k < 3; ++k) Run(form, emDrill, "Redo3");
  EXPECT_EQ(LiveDrillEntities(), 3);
  EXPECT_EQ(DrillEntityCount, drillSlots + 1);
}

// Steps undone before a refused import are offered to redo after it, and
// redo what they undid, though the import wrote its records over them.
TEST_F(TImportTakeBackTest, StepsUndoneBeforeARefusedImportAreStillOfferedToRedo) {
  TWorkspace& form = StartProgram();
  MakeJob(form);
  const int32_t cad = CadEntityCount;
  Run(form, emCad, "UnDo1");
  SelectLayer(30);
  Run(form, emDrill, "Undo3");
  SelectLayer(0);
  ASSERT_EQ(CadUndo->RedoCount(), 1);
  ASSERT_EQ(DrillUndo->RedoCount(), 1);
  const TJobSnapshot before = Snapshot(form);

  // Memory running out after the importer put something in every store.
  const TImportFormat kept = ImportFormat(fcGcadd);
  SetImportFormat(fcGcadd, {kept.Detect, [](const std::string&) {
                              for (int k = 0; k < 2000; ++k) DB->AddLineOnLayer(0, 0, 2 * In, k, 3);
                              DRDB->AddHoleOnLayer(2 * In, In, 31, 7, true);
                              RTDB->AddLineSegment({0, 0}, {0, In}, false, NoZOffset, 0);
                              throw std::bad_alloc();
                            }});
  ImportIntoCad(form, Input("HALF.GCD", "anything"), fcGcadd);
  SetImportFormat(fcGcadd, kept);
  EXPECT_NE(LastBox().find("There is not enough memory to import"), std::string::npos);
  EXPECT_JOB_AS_BEFORE("out of memory");

  // Redo brings back the CAD line and the hole undone before.
  Run(form, emCad, "ReDo1");
  ASSERT_EQ(CadEntityCount, cad);
  EXPECT_FALSE(SlotDeleted(DB->SlotAt(cad)->Flags)) << "the line undone is not back";
  EXPECT_EQ(CadUndo->RedoCount(), 0);
  SelectLayer(30);
  Run(form, emDrill, "Redo3");
  EXPECT_EQ(LiveDrillEntities(), 1);
  std::string undo;
  ASSERT_TRUE(DrillUndo->CanUndo(undo));
  EXPECT_EQ(undo, "Hole");
}

}  // namespace
