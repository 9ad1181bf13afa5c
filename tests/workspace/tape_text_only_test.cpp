// The program never writes what its reader refuses, in the started program:
// Make Rout Tape refuses a layer whose tool page, from a page file or an
// older job, holds a negative compensation size, and the old tape stays byte
// for byte; the tape it writes reads back with Open Rout Tape to the same
// paths, commands and compensation sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

// One rout entity as a tape carries it: kind, point, tool, compensation
// index and side, text.
struct TCut {
  uint8_t Type;
  TIntPoint Point;
  int32_t Tool, CompIndex;
  uint8_t Side;
  std::string Text;
  bool operator==(const TCut&) const = default;
};

class TTapeTextOnlyTest : public TWorkspaceDialogsTest {
 protected:
  void Open(TWorkspace& form, uint8_t layer, const std::string& file) {
    SelectLayer(layer);
    if (RoutLayerModified[layer]) ScriptMessageBoxAnswer(mrNo);  // the layer's tape is not kept
    ScriptFileDialogAnswer(file);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "OpenRoutTape1");
  }
  // Make Rout Tape of the layer over the tape; true when it was written.
  bool Make(TWorkspace& form, uint8_t layer, const std::string& tape) {
    SelectLayer(layer);
    ScriptFileDialogAnswer(tape);
    if (FileExistsNoWild(tape)) ScriptMessageBoxAnswer(mrYes);  // replace it
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    const std::string before = FileExistsNoWild(tape) ? ReadFileBytes(tape) : std::string();
    Run(form, emRout, "MakeRoutTape1");
    return FileExistsNoWild(tape) && ReadFileBytes(tape) != before;
  }
  static std::vector<TCut> Cuts(uint8_t layer) {
    std::vector<TCut> cuts;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      if (e == nullptr || slot == nullptr || SlotDeleted(slot->Flags)) continue;
      TCut cut{e->GetType(), {e->X, e->Y}, 0, 0, 0, ""};
      if (e->GetType() == etRoutJog) {
        cut.Tool = e->GetToolNumber();
        cut.CompIndex = e->GetCompIndex();
        cut.Side = e->GetComp();
      }
      if (e->GetType() == etRoutCommand) e->GetString(cut.Text);
      cuts.push_back(cut);
    }
    return cuts;
  }
};

TEST_F(TTapeTextOnlyTest, WhatTheReaderRefusesIsNeverWrittenAndTheTapeReadsBack) {
  TWorkspace& form = StartProgram();
  const std::string in = Input("IN.RT", "M48\nINCH,LZ\nT01C0.125\nCP,1,0.125\nT02C0.0625\nCP,2,0.0625\n%\nG90\n"
                                "T01\nG00X01Y01\nG41\nM15\nG01X02Y01\nX02Y02\nM47,LOT 7\tA\nM16\n"
                                "T0201\nG00X03Y01\nG42\nM15\nG01X04Y01\nM16\nM30\n");
  Open(form, 40, in);
  const std::vector<TCut> cuts = Cuts(40);
  ASSERT_EQ(cuts.size(), 6u);
  ASSERT_EQ(RoutToolPages[40][1].CompDiameter, In / 8);
  const TRoutToolPage page = RoutToolPages[40];
  const std::string tape = (TempDir / "OUT.RT").string();
  const std::string old = "OLD\r\nTAPE\r\n";

  // A negative compensation size, from a page file or from an older job
  // (Cutter Config takes none).
  const std::string pageFile = (TempDir / "NEG.RTT").string();
  RoutToolPages[40][1].CompDiameter = -In / 8;
  ASSERT_TRUE(SaveRoutToolPage(pageFile, 40));
  const std::string job = (TempDir / "OLDER.ZUL").string();
  ScriptFileDialogAnswer(job);
  Run(form, emRout, "SaveAs1");
  const struct {
    const char* Source;
    bool Job;
  } sources[] = {{"page file", false}, {"job", true}};
  for (const auto& s : sources) {
    SCOPED_TRACE(s.Source);
    RoutToolPages[40] = page;
    if (s.Job) {
      ScriptFileDialogAnswer(job);
      Run(form, emRout, "Open1");
    } else {
      ASSERT_TRUE(LoadRoutToolPage(pageFile, 40));
    }
    ASSERT_EQ(RoutToolPages[40][1].CompDiameter, -In / 8);
    WriteFileBytes(tape, old);
    const size_t boxes = ShownMessageBoxes().size();
    EXPECT_FALSE(Make(form, 40, tape));
    EXPECT_EQ(ReadFileBytes(tape), old);
    ASSERT_GT(ShownMessageBoxes().size(), boxes);
    EXPECT_NE(LastBox().find("Tool 1 (-0.125 in) on the tool page of rout layer R0 has a negative compensation size"),
              std::string::npos)
        << LastBox();
  }
  RoutToolPages[40] = page;
  ASSERT_EQ(Cuts(40), cuts);

  // Written, the tape reads back to the same layer and compensation sizes.
  DeleteFileIfExists(tape);
  ASSERT_TRUE(Make(form, 40, tape)) << LastBox();
  const std::string written = ReadFileBytes(tape);
  EXPECT_NE(written.find("\r\nCP,1,0.125\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find("\r\nM47,LOT 7\tA\r\n"), std::string::npos) << written;
  Open(form, 41, tape);
  EXPECT_EQ(Cuts(41), cuts);
  for (const int32_t tool : {1, 2}) {
    EXPECT_EQ(RoutToolPages[41][tool].Diameter, page[tool].Diameter) << tool;
    EXPECT_EQ(RoutToolPages[41][tool].CompDiameter, page[tool].CompDiameter) << tool;
  }
}

}  // namespace
