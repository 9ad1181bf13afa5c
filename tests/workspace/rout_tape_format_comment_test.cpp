// The digits statement of a rout tape in the started program: Open Rout Tape
// reads the tape in the digits it states and keeps no ";FILE_FORMAT=" line
// on the layer, and Make Rout Tape states the new tape's digits once, in
// its header, also for a job that holds a statement; the written tapes read
// back to the same points.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TRoutTapeFormatCommentTest : public TWorkspaceDialogsTest {
 protected:
  void Open(TWorkspace& form, const std::string& file) {
    ScriptFileDialogAnswer(file);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "OpenRoutTape1");
  }
  // The layer's comments and the points of its other entities, in cut order.
  static void Layer(uint8_t layer, std::vector<std::string>& comments,
                    std::vector<TIntPoint>& points) {
    comments.clear();
    points.clear();
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      if (e == nullptr || slot == nullptr || SlotDeleted(slot->Flags)) continue;
      if (e->GetType() == 11) {
        std::string text;
        e->GetString(text);
        comments.push_back(text);
      } else {
        points.push_back({e->X, e->Y});
      }
    }
  }
};

TEST_F(TRoutTapeFormatCommentTest, TheDigitsStatementIsReadAndStatedOnceInTheHeader) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  ASSERT_EQ(EditorMode, emRout);
  const std::string folder = ExecutionPath() + "ROUT\\";
  // Three integer digits stated: X0101234 is 10.1234 in, not 1.01234 in as 2.4 reads.
  const std::filesystem::path in = NativePath(folder + "STATED.RT");
  WriteFileBytes(in,
                 "M48\n;FILE_FORMAT=3:4\nINCH,LZ\n;JOB 7\nT01C0.1250\n%\nG90\nT01\n"
                 "G00X0101234Y0100000\nM15\nG01X0200000Y0100000\n;FILE_FORMAT=2:2\nM16\nM30\n");
  Open(form, in.string());
  std::vector<std::string> comments;
  std::vector<TIntPoint> points;
  Layer(40, comments, points);
  EXPECT_EQ(comments, std::vector<std::string>{";JOB 7"});
  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points.front(), (TIntPoint{257134360, 10 * In}));
  EXPECT_EQ(points.back(), (TIntPoint{20 * In, 10 * In}));
  // A job saved before holds the statement of the tape it was read from.
  RTDB->AddCommand(points.back(), ";FILE_FORMAT=3:4", 0);
  // One statement, ahead of the program, or none where the numbers carry
  // their point; read back, the same points and comment.
  const TRoutFormatRecord saved = RoutOutputFormat;
  for (const uint8_t zeros : {0, 3}) {
    RoutOutputFormat.ZerosUsed = zeros;
    const std::string out = NativePath(folder + (zeros == 0 ? "LZ.RT" : "POINT.RT"));
    ScriptFileDialogAnswer(out);
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "MakeRoutTape1");
    const std::string written = ReadFileBytes(out);
    EXPECT_EQ(written.find("FILE_FORMAT"), written.rfind("FILE_FORMAT")) << written;
    EXPECT_EQ(written.find("FILE_FORMAT") < written.find("%"), zeros == 0) << written;
    SelectLayer(41 + zeros / 3);
    Open(form, out);
    std::vector<TIntPoint> pointsBack;
    Layer(41 + zeros / 3, comments, pointsBack);
    EXPECT_EQ(comments, std::vector<std::string>{";JOB 7"});
    EXPECT_EQ(pointsBack, points) << written;
    SelectLayer(40);
  }
  RoutOutputFormat = saved;
  EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
}

// Tapes that write their coordinates with the point are offered the
// decimals they write, a metric drill tape's 4 and an inch rout tape's 6,
// and read back to the unit, also where the header states fewer.
TEST_F(TRoutTapeFormatCommentTest, DecimalPointTapesAreOfferedTheirDecimals) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportExcellonTape(form, Input("FINE.DRL", "M48\nMETRIC\nT01C1.0\n%\nT01\nX12.3456Y5.0001\nM30\n"));
  EXPECT_EQ(DrillInputFormat.MetricDecimalDigits, 4);
  const TDrillEntity* hole = DRDB->EntityAt(1);
  ASSERT_NE(hole, nullptr);
  EXPECT_EQ((TIntPoint{hole->X, hole->Y}), (TIntPoint{12345600, 5000100}));
  // Also where its header states fewer decimals than it writes.
  DRDB->Clear();
  ImportExcellonTape(form, Input("STATED.DRL", "M48\nMETRIC,LZ\n;FILE_FORMAT=3:3\nT01C1.0\n%\nT01\nX12.3456Y5.0001\nM30\n"));
  hole = DRDB->EntityAt(DrillEntityCount);
  ASSERT_NE(hole, nullptr);
  EXPECT_EQ((TIntPoint{hole->X, hole->Y}), (TIntPoint{12345600, 5000100}));
  SelectLayer(40);
  Open(form, Input("FINE.RT", "M48\nINCH\nT01C0.125\n%\nT01\nG00X1.234567Y0.5\nM15\nG01X2.000001Y0.5\nM30\n"));
  EXPECT_EQ(RoutInputFormat.DecimalDigits, 6);
  std::vector<std::string> comments;
  std::vector<TIntPoint> points;
  Layer(40, comments, points);  // 1.234567 in is 31,358,001.8 units
  EXPECT_EQ(points, (std::vector<TIntPoint>{{31358002, In / 2}, {50800025, In / 2}}));
}

}  // namespace
