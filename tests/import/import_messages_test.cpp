// What File > Import tells the operator, through the started program: the
// line and cause of a plot that turns to junk, a viewer that says where it
// stops showing a long tape, OK in "Import Valor Layers" with nothing ticked,
// and the status box's Cancel of the drawings read record by record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "entity_counts.h"
#include "foundation/file_viewer.h"
#include "foundation/utilities.h"
#include "gcadd_records.h"
#include "import/import_frame.h"
#include "model/cad_database.h"

namespace {

namespace fs = std::filesystem;

// The job as a refusal must leave it: the entities of every store, the
// name and the modified flag.
struct TJobState {
  decltype(CadCounts()) Cad;
  int32_t CadEntities = 0, Drill = 0, Rout = 0;
  std::string Name;
  bool Modified = false;
  bool operator==(const TJobState&) const = default;
};
TJobState JobState() {
  return {CadCounts(), CadEntityCount, DrillEntityCount, RoutEntityCount, DatabaseFileName, DatabaseModified};
}

class TImportMessagesTest : public TWorkspaceDialogsTest {
 protected:
  // A file of the test's folder: the head, then line after line up to at
  // least size bytes.
  std::string LongTape(const std::string& name, int64_t size) {
    const std::string path = (TempDir / name).string();
    std::ofstream out(path, std::ios::binary);
    out << "M48\r\nINCH,LZ\r\nT1C0.030\r\n%\r\nT1\r\n";
    for (int64_t written = 0; written < size; written += 16) out << "X012345Y067890\r\n";
    return path;
  }
};

TEST_F(TImportMessagesTest, APlotThatTurnsToJunkNamesTheLineAndTheCause) {
  TWorkspace& form = StartProgram();
  const auto before = JobState();
  const std::string plot =
      Input("JUNK.PLT", "IN;SP1;\nPU0,0;PD1000,0;\nPD1000,1000;\n" + std::string(70000, '~') + "\nPD0,0;\n");
  ImportIntoCad(form, plot, fcHpgl);
  EXPECT_EQ(LastBox(), plot + ", line 4: more than 65,536 characters without an instruction follow; the rest of the "
                              "file is no plot.\r\nNothing was imported.");
  EXPECT_EQ(JobState(), before);
}

// A tape of 3 MB: both viewers show its first megabyte up to a line end and
// say that the rest is not shown.
TEST_F(TImportMessagesTest, TheViewersSayWhereTheyStopShowingALongTape) {
  TWorkspace& form = StartProgram();
  const std::string tape = LongTape("LONG.DRL", 3 << 20);
  const int64_t size = static_cast<int64_t>(fs::file_size(tape));
  std::string shown;
  QueueModalScript("TCadInputFormatDialog", [&shown](TForm& f) {
    QueueModalScript("TViewFileDialog", [&shown](TForm& v) {
      shown = static_cast<TViewFileDialog&>(v).Memo.Text();
      v.Click("OKButton");
    });
    f.Click("ViewButton");
    f.Click("CancelButton");
  });
  ImportIntoCad(form, tape, fcExcellon);
  const std::vector<std::string> lines = [&shown] {
    TViewFileDialog split;
    split.Memo.SetText(shown);
    return split.Memo.Lines();
  }();
  ASSERT_GT(lines.size(), 60000u);
  EXPECT_EQ(lines[lines.size() - 2], "X012345Y067890");
  // The head's 31 bytes, then whole lines of 16 up to the megabyte.
  const int64_t kept = 31 + ((1 << 20) - 31) / 16 * 16;
  EXPECT_EQ(lines.back(), RestNotShownText(kept, size));
  EXPECT_EQ(lines.back(), "(The rest of the file is not shown: these are the first 1,048,575 of its " +
                              IntToStrGrouped(static_cast<int32_t>(size)) + " bytes.)");

  // The File Format dialog's View File.
  std::vector<std::string> report;
  QueueModalScript("TForceFormatDialog", [&report](TForm& f) {
    QueueModalScript("TGTScrollWindow", [&report](TForm& w) {
      report = static_cast<TGTScrollWindow&>(w).Memo1.Lines();
      w.Click("OKButton");
    });
    f.Click("ViewButton");
  });
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  ScriptFileDialogAnswer(tape);
  Run(form, emCad, "Import1");
  ASSERT_GT(report.size(), 2u);
  EXPECT_EQ(report[report.size() - 2], "X012345Y067890");
  EXPECT_EQ(report.back().find("(The rest of the file is not shown: these are the first "), 0u) << report.back();
  EXPECT_NE(report.back().find(" of its " + IntToStrGrouped(static_cast<int32_t>(size)) + " bytes.)"),
            std::string::npos)
      << report.back();
  EXPECT_EQ(CadEntityCount, 0);
}

// OK with no layer ticked, or no kind of feature: a box, and the job as it
// was.
TEST_F(TImportMessagesTest, OkInTheValorLayersWithNothingTickedSaysSo) {
  TWorkspace& form = StartProgram();
  const auto before = JobState();
  const std::string matrix = SmallOdbJob(TempDir / "panel");
  const std::string job = (TempDir / "panel").string();
  QueueModalScript("TValorLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportIntoCad(form, matrix, fcOdb);
  EXPECT_EQ(LastBox(), "<" + job + ">: no layer was ticked in \"Import Valor Layers\".\r\nNothing was imported.");
  EXPECT_EQ(JobState(), before);
  QueueModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");
    for (const char* kind : {"PadsCheck", "HolesCheck", "LinesCheck", "ArcsCheck", "SurfacesCheck"})
      f.Get<TCheckBox>(kind).SetChecked(false);
    f.Click("OKButton");
  });
  ImportIntoCad(form, matrix, fcOdb);
  EXPECT_EQ(LastBox(),
            "<" + job + ">: no kind of feature was ticked in \"Import Valor Layers\".\r\nNothing was imported.");
  EXPECT_EQ(JobState(), before);
  // Ticked, the pad comes in.
  QueueModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");
    f.Click("OKButton");
  });
  ImportIntoCad(form, matrix, fcOdb);
  EXPECT_NE(JobState(), before);
}

// A drawing read for seconds: the status box shows with its Cancel, which
// ends the reading with a box and the job as it was.
TEST_F(TImportMessagesTest, CancelStopsTheReadingOfGcaddAndIgiPostDrawings) {
  TWorkspace& form = StartProgram();
  std::string lines;
  for (int k = 0; k < 20000; ++k)
    lines += gcadd::Header(2, 2) + gcadd::Unit(0, 0.001f * k) + gcadd::Unit(1, 0.001f * k, 2);
  const std::string gcadd = Input("LONG.GCD", gcadd::Drawing(lines));
  const auto igiRecord = [](int16_t type, float x, float y) {
    std::string r(12, '\0');
    std::memcpy(&r[0], &type, 2);
    std::memcpy(&r[2], &x, 4);
    std::memcpy(&r[6], &y, 4);
    return r;
  };
  std::string records = igiRecord(6, 0, 0);
  for (int k = 0; k < 20000; ++k) records += igiRecord(2, 0.001f * float(k + 1), 0);
  const std::string igi = Input("LONG.PST", records);

  for (const auto& [file, format] : {std::pair{gcadd, fcGcadd}, std::pair{igi, fcIgiPost}}) {
    SCOPED_TRACE(file);
    const auto before = JobState();
    std::string status;
    // Each look at the events takes 100 ms; once the status box shows, the
    // operator presses its Cancel.
    HeadlessSetProcessMessagesHook([&status] {
      HeadlessAdvanceTime(100);
      if (TForm* box = ShowingModelessForm("TStatusDialog")) {
        status = static_cast<TStatusDialog*>(box)->CaptionPanel.Caption();
        box->Click("CancelButton");
      }
    });
    ImportIntoCad(form, file, format);
    HeadlessSetProcessMessagesHook(nullptr);
    EXPECT_EQ(status, "Reading the file: Cancel withdraws the import.");
    EXPECT_EQ(LastBox(), "The import of <" + file + "> was cancelled.\r\nNothing was imported.");
    EXPECT_EQ(JobState(), before);
    EXPECT_EQ(ShowingModelessForm("TStatusDialog"), nullptr);
    // Not cancelled, the drawing comes in whole.
    ImportIntoCad(form, file, format);
    EXPECT_EQ(CadEntityCount, before.CadEntities + 20000) << LastBox();
  }
}

}  // namespace

namespace {

// A long reading's status box shows how far it is: the gauge moves through
// the file for the drawings read record by record and for the tapes read
// into CAD and rout, not only in Drill Import.
TEST_F(TImportMessagesTest, TheStatusBoxShowsHowFarALongReadingIs) {
  TWorkspace& form = StartProgram();
  std::string lines;
  for (int k = 0; k < 20000; ++k)
    lines += gcadd::Header(2, 2) + gcadd::Unit(0, 0.001f * k) + gcadd::Unit(1, 0.001f * k, 2);
  const std::string gcadd = Input("LONG.GCD", gcadd::Drawing(lines));
  std::string records(12, '\0');
  const int16_t move = 6, draw = 2;
  std::memcpy(&records[0], &move, 2);
  for (int k = 0; k < 20000; ++k) {
    std::string r(12, '\0');
    const float x = 0.001f * float(k + 1);
    std::memcpy(&r[0], &draw, 2);
    std::memcpy(&r[2], &x, 4);
    records += r;
  }
  const std::string igi = Input("LONG.PST", records);
  std::string holes = "M48\nINCH,LZ\nT1C0.030\n%\nT1\n";
  for (int k = 0; k < 20000; ++k) holes += "X" + std::to_string(10000 + k) + "Y010000\n";
  const std::string tape = Input("LONG.DRL", holes + "M30\n");

  std::vector<int> seen;
  // Each look at the events takes 100 ms: the box shows after a second and
  // is updated every half second.
  HeadlessSetProcessMessagesHook([&seen] {
    HeadlessAdvanceTime(100);
    if (auto* box = static_cast<TStatusDialog*>(ShowingModelessForm("TStatusDialog"))) {
      if (seen.empty() || seen.back() != box->StatusGauge.Progress()) seen.push_back(box->StatusGauge.Progress());
    }
    auto* window = static_cast<TGTScrollWindow*>(ShowingModelessForm("TGTScrollWindow"));
    if (window != nullptr && window->OKVisible) window->Click("OKButton");
  });
  const auto movedThrough = [&seen](const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_FALSE(seen.empty());
    // Rising through the file, never back.
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.size(), 3u);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](int p) { return p >= 30 && p < 100; }));
    EXPECT_GE(seen.back(), 80);
    seen.clear();
  };
  ImportIntoCad(form, gcadd, fcGcadd);
  movedThrough("GCADD");
  ImportIntoCad(form, igi, fcIgiPost);
  movedThrough("IGI POST");
  QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportIntoCad(form, tape, fcExcellon);
  movedThrough("Excellon into CAD");
  SelectLayer(40);
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptFileDialogAnswer(tape);
  Run(form, emRout, "OpenRoutTape1");
  movedThrough("rout tape");
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_EQ(ShowingModelessForm("TStatusDialog"), nullptr);
}

}  // namespace

namespace {

// A name that the notice of what was skipped takes from the file is quoted
// by its start: a DXF entity type and an ODB++ symbol of 60,000 characters
// each make a box of a few lines.
TEST_F(TImportMessagesTest, SkippedNamesAreQuotedByTheirStart) {
  TWorkspace& form = StartProgram();
  const std::string type(60000, 'Q');
  RegisterModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  const std::string dxf = Input("NAMES.DXF", "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n0\n" +
                                                 type + "\n8\n0\n0\nENDSEC\n0\nEOF\n");
  ImportIntoCad(form, dxf, fcDxf);
  EXPECT_EQ(LastBox(), "1 entity of types that are not imported was skipped:\n1 " + std::string(40, 'Q') +
                           "... (60,000 characters)");

  const std::string matrix = SmallOdbJob(TempDir / "names");
  std::ofstream(TempDir / "names/steps/pcb/layers/top/features")
      << "UNITS=INCH\n$0 " + std::string(60000, 'z') + "\nP 1 1 0 P 0 0\n";
  QueueModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");
    f.Click("OKButton");
  });
  ImportIntoCad(form, matrix, fcOdb);
  EXPECT_NE(LastBox().find("1 " + std::string(40, 'z') + "... (60,000 characters)"), std::string::npos)
      << LastBox().substr(0, 300);
  EXPECT_LT(LastBox().size(), 400u);
}

}  // namespace
