// The digits statement of a rout tape in the started program: Open Rout Tape
// reads the tape in the digits it states and keeps the ";FILE_FORMAT=" line
// on the layer like the tape's other comments, and Make Rout Tape writes it
// out again after its own statement; the written tape reads back to the
// same points, the carried line being no statement of the new tape's digits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/file_utils.h"
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

TEST_F(TRoutTapeFormatCommentTest, TheDigitsStatementIsReadKeptAndWrittenAgain) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  ASSERT_EQ(EditorMode, emRout);
  const std::string folder = ExecutionPath() + "ROUT\\";
  // Three integer digits stated: X0100000 is 10 in, not 1 in as 2.4 reads.
  const std::filesystem::path in = NativePath(folder + "STATED.RT");
  WriteFileBytes(in,
                 "M48\n;FILE_FORMAT=3:4\nINCH,LZ\n;JOB 7\nT01C0.1250\n%\nG90\nT01\n"
                 "G00X0100000Y0100000\nM15\nG01X0200000Y0100000\nM16\nM30\n");
  Open(form, in.string());
  std::vector<std::string> comments;
  std::vector<TIntPoint> points;
  Layer(40, comments, points);
  EXPECT_EQ(comments, (std::vector<std::string>{";FILE_FORMAT=3:4", ";JOB 7"}));
  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points.front(), (TIntPoint{10 * In, 10 * In}));
  EXPECT_EQ(points.back(), (TIntPoint{20 * In, 10 * In}));

  const std::filesystem::path out = NativePath(folder + "STATEDOUT.RT");
  ScriptFileDialogAnswer(out.string());
  QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emRout, "MakeRoutTape1");
  const std::string written = ReadFileBytes(out);
  EXPECT_NE(written.find(";FILE_FORMAT=3:4"), std::string::npos) << written;
  EXPECT_NE(written.find(";JOB 7"), std::string::npos) << written;

  // The new tape states its own digits ahead of the carried line.
  EXPECT_LT(written.find("; FILE_FORMAT=2:4"), written.find(";FILE_FORMAT=3:4")) << written;

  // Read back, the tape keeps its statement, both lines and its points;
  // written and read once more, the layer holds the same again.
  const std::vector<std::string> kept = {"; FILE_FORMAT=2:4", ";FILE_FORMAT=3:4", ";JOB 7"};
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    if (round > 0) {
      ScriptFileDialogAnswer(out.string());
      ScriptMessageBoxAnswer(mrYes);  // the tape of the first round is replaced
      QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
      Run(form, emRout, "MakeRoutTape1");
    }
    Open(form, out.string());
    std::vector<std::string> commentsBack;
    std::vector<TIntPoint> pointsBack;
    Layer(40, commentsBack, pointsBack);
    EXPECT_EQ(commentsBack, kept);
    EXPECT_EQ(pointsBack, points) << written;
  }
  EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
}

}  // namespace
