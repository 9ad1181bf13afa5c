// The CAD export driver: the Export command and its dialogs, the layer
// choice, the progress box with Cancel, and what stays on disk when an
// export is cancelled or fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cad_export_test_support.h"
#include "command/command_services.h"
#include "import/import_frame.h"
#include "platform/headless/headless_files.h"
#include "plot/dxf_export.h"
#include "plot/gcadd_export.h"
#include "plot/hpgl_export.h"
#include "plot/igi_export.h"

namespace {

namespace fs = std::filesystem;

// Names of the files in a folder.
std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class CadExportTest : public TCadExportTest {
 protected:
  void SetUp() override {
    TCadExportTest::SetUp();
    Out = TempDir / "out";
    fs::create_directories(Out);
  }
  // Lines on consecutive layers, n of them, cycling through 0..29.
  static void AddLines(int32_t n) {
    for (int32_t i = 0; i < n; ++i) DB->AddLineOnLayer(i * Mil, 0, i * Mil, Inch, static_cast<uint8_t>(i % 30));
  }
  fs::path Out;
};

// ---- The command ----------------------------------------------------------------------

TEST_F(CadExportTest, ExportCommandOffersTheFiveFormatsAndRunsTheChosenOne) {
  AddSampleJob();
  const std::string startFolder = CadExportPath;
  ASSERT_EQ(startFolder, ExecutionPath() + "CAD/");
  const std::string gcd = (Out / "BOARD.GCD").string();
  ScriptFileDialogAnswer(gcd, cfGcadd);
  ExportCadFile();
  ASSERT_EQ(ShownCommonDialogs().size(), 1u);
  EXPECT_EQ(ShownCommonDialogs()[0].Filter,
            "DXF (*.DXF)|*.DXF|GCadd Drawing (*.GCD)|*.GCD|Infinite Graphics Post|*.PST|HPGL (*.HPL)|*.HPL|VALOR |*.*");
  EXPECT_EQ(ShownCommonDialogs()[0].InitialDir, startFolder);
  EXPECT_EQ(CadExportFormat, cfGcadd);
  EXPECT_EQ(CadExportPath, Out.string() + "/");
  EXPECT_EQ(DetectFileFormat(gcd), fcGcadd);
  // The modal bracket is closed again and the cursor is back.
  EXPECT_EQ(HeadlessViewServices().ModalDepth, 0);
  EXPECT_EQ(HeadlessViewServices().Cursor, crDefault);

  // The next export starts in the folder of the last one, with its format.
  ScriptCommonDialogCancel();
  ExportCadFile();
  EXPECT_EQ(ShownCommonDialogs().back().InitialDir, Out.string() + "/");
  EXPECT_EQ(ShownCommonDialogs().back().FilterIndex, cfGcadd);
}

TEST_F(CadExportTest, ValorChoiceRunsTheProductModelExportNotTheDriver) {
  static std::string exported;
  exported.clear();
  ScriptFileDialogAnswer((Out / "JOB").string(), cfOdb);
  ExportCadFile();
  // With no product-model export installed the choice says so.
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "\"Valor Genesis ODB++\" is not available yet.");
  EXPECT_TRUE(FilesIn(Out).empty());

  OdbExportEntry = [](const std::string& path) { exported = path; };
  ScriptFileDialogAnswer((Out / "JOB").string(), cfOdb);
  ExportCadFile();
  EXPECT_EQ(exported, (Out / "JOB").string());
  EXPECT_EQ(std::count(ModalFormsShown().begin(), ModalFormsShown().end(), "TSaveLayerDialog"), 0);

  // The drill mode's Export: the product model alone, format untouched.
  exported.clear();
  CadExportFormat = cfHpgl;
  ScriptFileDialogAnswer((Out / "DRILLJOB").string());
  ExportOdbFile();
  EXPECT_EQ(ShownCommonDialogs().back().Filter, "VALOR |*.*");
  EXPECT_EQ(exported, (Out / "DRILLJOB").string());
  EXPECT_EQ(CadExportFormat, cfHpgl);
}

// ---- Layers ---------------------------------------------------------------------------

TEST_F(CadExportTest, LayerChoiceStartsFromTheShownLayersAndSkipsDeletedSlots) {
  DB->AddLineOnLayer(0, 0, Inch, 0, 1);
  DB->AddLineOnLayer(0, Inch, Inch, Inch, 2);
  DB->AddLineOnLayer(0, 2 * Inch, Inch, 2 * Inch, 3);
  DB->AddLineOnLayer(0, 3 * Inch, Inch, 3 * Inch, 1);
  DB->MarkDeleted(4);
  // Layer 2 is hidden: its box starts unchecked. The user checks it and
  // unchecks layer 3.
  DisplayedLayerMask &= ~CadLayerBit(2);
  uint32_t offered = 0;
  QueueModalScript("TSaveLayerDialog", [&offered](TForm& f) {
    auto& dialog = static_cast<TSaveLayerDialog&>(f);
    offered = dialog.GetLayerMask();
    EXPECT_EQ(f.Caption(), "Save Layers");
    EXPECT_EQ(f.Get<TCheckBox>("Layer29").Caption(), "29");
    EXPECT_EQ(f.Find<TButton>("CancelButton"), nullptr);
    f.Get<TCheckBox>("Layer2").SetChecked(true);
    f.Get<TCheckBox>("Layer3").SetChecked(false);
    f.Click("OKButton");
  });
  TGcaddExportWriter writer;
  ASSERT_TRUE(RunCadExport(Path("L.GCD"), writer));
  EXPECT_EQ(offered, 0x3FFFFFFFu & ~CadLayerBit(2));
  // Layers 1 and 2, the deleted line left out: two line records.
  EXPECT_EQ(Bytes("L.GCD").size(), 2 * 30u + 10u);
}

// ---- Progress box, Cancel and failures ----------------------------------------------------

TEST_F(CadExportTest, CancelLeavesTheOldFileAndNoPartialOne) {
  AddLines(4500);
  WriteFileBytes(Out / "BIG.DXF", "old contents");
  // The message loop runs twice as the box shows and then every 1,000
  // slots: Cancel is pressed at slot 2,000.
  int runs = 0;
  HeadlessSetProcessMessagesHook([&runs] {
    auto* box = static_cast<TCancelDialog*>(ShowingModelessForm("TCancelDialog"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Caption(), "Cancel Cad Operation");
    EXPECT_EQ(box->Lines[1], "DXF format...");
    // Its lines are seen: the text box is as wide and high as they are.
    TCanvas& canvas = box->TextBox.Canvas();
    EXPECT_GT(box->TextBox.Width(), canvas.TextWidth(box->Lines[0]));
    EXPECT_GT(box->TextBox.Height(), 2 * canvas.TextHeight("X"));
    if (++runs == 4) box->Click("CancelButton");
  });
  CadExportFormat = cfDxf;
  TDxfExportWriter writer;
  EXPECT_FALSE(RunCadExport((Out / "BIG.DXF").string(), writer));
  EXPECT_EQ(runs, 4);
  EXPECT_EQ(ReadFileBytes(Out / "BIG.DXF"), "old contents");
  EXPECT_EQ(FilesIn(Out), std::vector<std::string>{"BIG.DXF"});
  EXPECT_TRUE(ShownMessageBoxes().empty());

  // Without an old file nothing is left at all.
  runs = 0;
  TDxfExportWriter second;
  EXPECT_FALSE(RunCadExport((Out / "NEW.DXF").string(), second));
  EXPECT_EQ(FilesIn(Out), std::vector<std::string>{"BIG.DXF"});

  // Without Cancel the same export is whole, and the box is gone after it.
  HeadlessSetProcessMessagesHook({});
  TDxfExportWriter third;
  EXPECT_TRUE(RunCadExport((Out / "BIG.DXF").string(), third));
  const std::string text = ReadFileBytes(Out / "BIG.DXF");
  std::size_t lines = 0;
  for (std::size_t at = text.find("\r\nLINE\r\n"); at != std::string::npos; at = text.find("\r\nLINE\r\n", at + 1))
    ++lines;
  EXPECT_EQ(lines, 4500u);
  EXPECT_EQ(text.substr(text.size() - 16), "ENDSEC\r\n0\r\nEOF\r\n");
  EXPECT_EQ(ShowingModelessForm("TCancelDialog"), nullptr);
}

// While the layers are asked for, nothing stands beside the target yet; a
// name typed without an extension gets the chosen format's.
TEST_F(CadExportTest, TheFileIsMadeWhenWritingStartsUnderTheTypesExtension) {
  AddLines(10);
  std::vector<std::string> whileAsked;
  QueueModalScript("TSaveLayerDialog", [&](TForm& f) {
    whileAsked = FilesIn(Out);
    f.Click("OKButton");
  });
  ScriptFileDialogAnswer((Out / "export1").string(), cfDxf);
  ExportCadFile();
  EXPECT_TRUE(whileAsked.empty());
  EXPECT_EQ(FilesIn(Out), std::vector<std::string>{"export1.DXF"});
  EXPECT_EQ(DetectFileFormat((Out / "export1.DXF").string()), fcDxf);
}

TEST_F(CadExportTest, FailuresAreReportedAndLeaveTheTargetAsItWas) {
  AddLines(50);
  // A folder that does not exist: nothing is opened, no layer dialog.
  TDxfExportWriter missing;
  EXPECT_FALSE(RunCadExport((Out / "NO" / "X.DXF").string(), missing));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("\r\nwhile exporting file " + (Out / "NO" / "X.DXF").string()),
            std::string::npos);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_EQ(std::count(ModalFormsShown().begin(), ModalFormsShown().end(), "TSaveLayerDialog"), 0);

  // The disk fills up while the file is written: the old file stays.
  WriteFileBytes(Out / "FULL.DXF", "old contents");
  HeadlessFailWritesAfter(1000);
  TDxfExportWriter full;
  EXPECT_FALSE(RunCadExport((Out / "FULL.DXF").string(), full));
  HeadlessFailWritesAfter(-1);
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_NE(ShownMessageBoxes()[1].Text.find("while exporting file"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(Out / "FULL.DXF"), "old contents");
  EXPECT_EQ(FilesIn(Out), std::vector<std::string>{"FULL.DXF"});
}

TEST_F(CadExportTest, CancelBoxLinesBehaveLikeACharacterScreen) {
  TCancelBox box;
  box.SetText(1, 1, "Exporting database in");
  box.SetText(11, 1, "DATA");
  EXPECT_EQ(box.Line(1), "Exporting DATAbase in");
  box.SetText(5, 2, "ab");
  box.SetText(1, 2, "xyz");
  EXPECT_EQ(box.Line(2), "xyz ab");
  box.SetText(1, 2, "");
  box.SetText(1, 11, "ignored");
  EXPECT_EQ(box.Line(2), "");
}

// The import's format detection takes each written file for its own format;
// the job's point is written without an error box.
TEST_F(CadExportTest, WrittenFilesAreRecognisedAsTheirFormats) {
  AddSampleJob();
  ResetHeadlessDialogs();
  TDxfExportWriter dxf;
  THpglExportWriter hpgl;
  TIgiPostExportWriter post;
  TGcaddExportWriter gcadd;
  const std::pair<TCadExportWriter*, uint8_t> cases[] = {
      {&dxf, fcDxf}, {&hpgl, fcHpgl}, {&post, fcIgiPost}, {&gcadd, fcGcadd}};
  for (const auto& [writer, format] : cases) {
    SCOPED_TRACE(FormatListNames[format]);
    const std::string name = Path("JOB" + std::to_string(format));
    ASSERT_TRUE(RunCadExport(name, *writer));
    EXPECT_EQ(DetectFileFormat(name), format);
    for (const auto& box : ShownMessageBoxes()) EXPECT_EQ(box.Text.find("Error"), std::string::npos) << box.Text;
    ResetHeadlessDialogs();
  }
}

}  // namespace
