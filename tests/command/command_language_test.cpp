// The command language's parts that need no drawing: typed numbers, the
// command panel's edit fields and their refusals, command texts, and the
// Measure tool.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_text.h"
#include "command/expression.h"
#include "command/measure_tool.h"
#include "command/user_panel.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

namespace {

constexpr int32_t In = 25400000;

TEST(ExpressionTest, NumbersSumsProductsAndBrackets) {
  const struct {
    const char* Text;
    double Value;
  } cases[] = {{"1.5", 1.5},        {" 2 + 3 * 4 ", 14.0}, {"(2+3)*4", 20.0}, {"-2*-3", 6.0},
               {"1/4", 0.25},       {"10-4-3", 3.0},      {"8/2/2", 2.0},    {".5+1.", 1.5},
               {"1e2+1E-1", 100.1}, {"((1))", 1.0},       {"+3", 3.0}};
  for (const auto& c : cases) {
    double v = -99.0;
    EXPECT_TRUE(EvaluateExpression(c.Text, v)) << c.Text;
    EXPECT_DOUBLE_EQ(v, c.Value) << c.Text;
  }
}

TEST(ExpressionTest, MalformedTextIsRefusedAndLeavesTheValue) {
  const std::string deep = std::string(200, '(') + "1" + std::string(200, ')');
  for (const std::string& text : {std::string(), std::string(" "), std::string("1+"), std::string("*2"),
                                  std::string("(1"), std::string("1)"), std::string("1..2"),
                                  std::string("abc"), std::string("1 2"), std::string("2/0"),
                                  std::string("2/(1-1)"), std::string("1e999"), std::string("."),
                                  std::string("1,5"), deep}) {
    double v = 7.0;
    EXPECT_FALSE(EvaluateExpression(text, v)) << text;
    EXPECT_EQ(v, 7.0) << text;
  }
}

// A command that records the field events ECO hands it.
class TFieldRecorder : public TInteractiveCommand {
 public:
  explicit TFieldRecorder(std::vector<int>* codes) : Codes_(codes) {}
  uint16_t InputMode() const override { return ievFieldAccepted; }
  bool HandleEvent(TInputEvent& e) override {
    Codes_->push_back(e.Flags[0]);
    return true;
  }

 private:
  std::vector<int>* Codes_;
};

class TPanelFieldTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
    ECO = new TCommandInterpreter();
    ECO->SetActiveCommand(std::make_unique<TFieldRecorder>(&Codes));
  }
  void TearDown() override {
    delete ECO;
    ECO = nullptr;
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }
  static std::string LastBox() {
    return ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text;
  }
  std::vector<int> Codes;
  TUserPanel Panel;
};

TEST_F(TPanelFieldTest, TemplateFieldsAreShownByTheirValues) {
  Panel.SetPromptLine(1, 1, "Hole X~1270000O[-1073741823..1073741823]X1X1~ Tool~5.7L[1..999]TNTN~ |On| ~35D[30..39]LCLC~");
  EXPECT_EQ(Panel.PromptLine(1), "Hole X  +0.0500 Tool5 On D5");
  ASSERT_EQ(Panel.Fields().size(), 3u);
  EXPECT_EQ(Panel.Fields()[0].Column, 7);
  EXPECT_EQ(Panel.Fields()[1].Type, 'L');
  EXPECT_EQ(Panel.Fields()[1].Code, FindCommandCode("TN"));
  Panel.SetPromptLine(2, 1, "~0.0C[Attributes...]HE~ Use mouse to select >");
  EXPECT_EQ(Panel.PromptLine(2), "Attributes... Use mouse to select > ");
  // Writing a line again from column 1 replaces that line's fields only.
  Panel.SetPromptLine(2, 1, "plain");
  EXPECT_EQ(Panel.Fields().size(), 3u);
  Panel.ClearPrompts();
  EXPECT_TRUE(Panel.Fields().empty());
  EXPECT_EQ(Panel.SelectedField(), -1);
}

TEST_F(TPanelFieldTest, TypedValuesAreCheckedAgainstTheBoundsWithTheRefusalTexts) {
  Panel.SetPromptLine(1, 1, "X~0O[-1073741823..1073741823]X1X1~ T~5L[1..999]TNTN~ ~1B[0..1]MSMS~");
  EXPECT_FALSE(Panel.AcceptField(1, "1000"));
  EXPECT_EQ(LastBox(), "<1000> is illegal! Must be from 1 to 999");
  EXPECT_FALSE(Panel.AcceptField(1, "1+"));  // never taken as 0
  EXPECT_EQ(LastBox(), "<1+> is illegal! Must be from 1 to 999");
  EXPECT_FALSE(Panel.AcceptField(0, "50"));
  EXPECT_EQ(LastBox(), "<50> is illegal! Must be from -42.2733 to +42.2733");
  EXPECT_FALSE(Panel.AcceptField(2, "maybe"));
  EXPECT_EQ(LastBox(), "<maybe> is illegal! Must be either \"Yes\" or \"No\"");
  EXPECT_TRUE(Codes.empty());

  EXPECT_TRUE(Panel.AcceptField(1, "2*6"));
  EXPECT_DOUBLE_EQ(Panel.LastFieldValue(), 12.0);
  EXPECT_EQ(Panel.PromptLine(1), "X  +0.0000 T12 Yes");
  // A coordinate is typed in display units and kept in database units.
  EXPECT_TRUE(Panel.AcceptField(0, "-0.25"));
  EXPECT_DOUBLE_EQ(Panel.LastFieldValue(), -In / 4.0);
  EXPECT_EQ(Panel.PromptLine(1), "X  -0.2500 T12 Yes");
  EXPECT_TRUE(Panel.AcceptField(2, "no"));
  EXPECT_EQ(Panel.PromptLine(1), "X  -0.2500 T12 No");
  EXPECT_EQ(Codes, (std::vector<int>{FindCommandCode("TN"), FindCommandCode("X1"), FindCommandCode("MS")}));
}

TEST_F(TPanelFieldTest, EnterGoesToTheSelectedFieldAndMovesOn) {
  Panel.SetPromptLine(1, 1, "A~1R[0..10]RARA~ B~2R[0..10]XCXC~");
  Panel.SelectField(1);
  for (char c : std::string("7.5")) Panel.TypeChar(c);
  EXPECT_TRUE(Panel.Enter());
  EXPECT_EQ(Panel.PromptLine(1), "A1.0 B7.5");
  EXPECT_EQ(Panel.SelectedField(), 0);
  EXPECT_EQ(Codes, std::vector<int>{FindCommandCode("XC")});
}

TEST(FormatCoordinateTest, DisplayUnitsSignAndWidth) {
  Metric = false;
  UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
  EXPECT_EQ(FormatCoordinate(In), "  +1.0000");
  EXPECT_EQ(FormatCoordinate(-In / 2), "  -0.5000");
  EXPECT_EQ(FormatCoordinate(1269), "  +0.0000");
  EXPECT_EQ(FormatCoordinate(1271), "  +0.0001");
  EXPECT_EQ(FormatCoordinate(-1073741823.0), " -42.2733");
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  EXPECT_EQ(FormatCoordinate(1000000), "   +1.000");
  EXPECT_EQ(FormatCoordinate(-123456789), " -123.457");
  Metric = false;
  UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
}

TEST(CommandTextTest, ArgumentsReferencesAndNumbers) {
  const std::string text = "ADDTEXT(100,-200,$0001:$0002,\"A, B\",1.5)";
  EXPECT_EQ(CommandWord(text), "ADDTEXT");
  EXPECT_EQ(CommandArguments(text), (std::vector<std::string>{"100", "-200", "$0001:$0002", "A, B", "1.5"}));
  int32_t v = 0;
  EXPECT_TRUE(GetCommandInteger(text, 2, v));
  EXPECT_EQ(v, -200);
  EXPECT_FALSE(GetCommandInteger(text, 5, v));   // a real
  EXPECT_FALSE(GetCommandInteger(text, 9, v));   // beyond the list
  EXPECT_FALSE(GetCommandInteger("W(99999999999)", 1, v));
  EXPECT_EQ(GetCommandEntityRef(text, 3), 0x10002);
  EXPECT_EQ(GetCommandEntityRef(text, 1), 0);
  EXPECT_EQ(GetCommandEntityRef("W($00G1:$0002)", 1), 0);
  EXPECT_EQ(EntityRefText(0x10002), "$0001:$0002");
  EXPECT_TRUE(CommandArguments("UNDO").empty());
  EXPECT_TRUE(CommandArguments("W()").empty());
  EXPECT_EQ(BuildCommandText("W", {"1", "2"}), "W(1,2)");
}

// ---- Measure ---------------------------------------------------------------------------

class TMeasureTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
    Version = 1;
    UserPanel = new TUserPanel();
    UserPanel->SetPromptLine(1, 1, "before");
  }
  void TearDown() override {
    delete UserPanel;
    UserPanel = nullptr;
    Version = 1;
    TKorvexTest::TearDown();
  }
  static std::string Line(int n) { return UserPanel->PromptLine(n); }
};

TEST_F(TMeasureTest, TwoPointsShowDifferencesLengthAndTheLineAngle) {
  {
    TMeasureTool tool;
    EXPECT_EQ(Line(1), "Select point to measure from");
    tool.ClickPoint(In, In);
    EXPECT_EQ(Line(1), "Measure from X 1.0000 Y 1.0000");
    tool.ClickPoint(3 * In, 2 * In);
    EXPECT_EQ(Line(1), "Measure from X 1.0000 Y 1.0000 to X 3.0000 Y 2.0000");
    EXPECT_EQ(Line(2), "DX= -2.0000 DY= -1.0000 Len= 2.2361 Ang= 26.5651");
    EXPECT_EQ(Line(3), "> ");
    // Right to left: 180 stays; straight down: 90.
    tool.Restart();
    tool.ClickPoint(2 * In, 0);
    tool.ClickPoint(0, 0);
    EXPECT_NE(Line(2).find("Ang= 180.0000"), std::string::npos);
    tool.Restart();
    tool.ClickPoint(0, 0);
    tool.ClickPoint(0, -In);
    EXPECT_NE(Line(2).find("Ang= 90.0000"), std::string::npos);
  }
  EXPECT_EQ(Line(1), "before");  // the prompts come back once
}

TEST_F(TMeasureTest, ClicksOnHeldPointsDropOrExchangeThem) {
  TMeasureTool tool;
  tool.ClickPoint(0, 0);
  tool.ClickPoint(0, 0);  // the same spot twice: gone again
  EXPECT_EQ(tool.Count(), 0);
  tool.ClickPoint(0, 0);
  tool.ClickPoint(In, 0);
  tool.ClickPoint(0, In);
  EXPECT_NE(Line(2).find("Ang= 90.0000"), std::string::npos);
  tool.ClickPoint(0, 0);  // the first point: the other two change places
  EXPECT_EQ(tool.Count(), 3);
  EXPECT_NE(Line(2).find("Ang= 270.0000"), std::string::npos);
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0, x3 = 0, y3 = 0;
  EXPECT_EQ(tool.GetPoints(x1, y1, x2, y2, x3, y3), 3);
  EXPECT_EQ((std::vector<int32_t>{x1, y1, x2, y2, x3, y3}), (std::vector<int32_t>{0, In, 0, 0, In, 0}));
  tool.ClickPoint(In, 0);  // the third: dropped
  EXPECT_EQ(tool.Count(), 2);
  tool.ClickPoint(0, In);  // the second: dropped
  EXPECT_EQ(tool.Count(), 1);
  EXPECT_EQ(MeasureText(1.5), "1.5000");
  EXPECT_EQ(MeasureText(-0.25), "-0.2500");
}

TEST_F(TMeasureTest, TheMachineAxesOfTheVersionAreShown) {
  Version = 6;  // (-x, -y)
  TMeasureTool tool;
  tool.ClickPoint(In, 2 * In);
  EXPECT_EQ(Line(1), "Measure from X -1.0000 Y -2.0000");
}

}  // namespace

// ---- The interpreter: Inspect and commands at work ---------------------------------------

namespace {

class TInterpreterTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ECO = new TCommandInterpreter();
    UserPanel = new TUserPanel();
  }
  void TearDown() override {
    EntityEditorFactory = nullptr;
    UndefineCommand(200);
    UndefineCommand(201);
    delete ECO;
    ECO = nullptr;
    delete UserPanel;
    UserPanel = nullptr;
    TKorvexTest::TearDown();
  }
};

// An editor that ends on a key and counts what it saw.
class TCountingEditor : public TEntityEditor {
 public:
  explicit TCountingEditor(int* seen) : Seen_(seen) {}
  bool HandleEvent(TInputEvent& e) override {
    ++*Seen_;
    return e.Kind == ievKey;
  }

 private:
  int* Seen_;
};

TEST_F(TInterpreterTest, AnEntityEditorSeesEveryEventFirstUntilItEnds) {
  EXPECT_FALSE(ECO->StartEntityEdit(5));  // no editors installed
  int seen = 0;
  int32_t madeFor = 0;
  EntityEditorFactory = [&](uint8_t mode, int32_t index) -> std::unique_ptr<TEntityEditor> {
    EXPECT_EQ(mode, 2);
    madeFor = index;
    return std::make_unique<TCountingEditor>(&seen);
  };
  EXPECT_TRUE(ECO->StartEntityEdit(5));
  EXPECT_EQ(madeFor, 5);
  EXPECT_EQ(ECO->EntityEditFlag, 1);
  EXPECT_FALSE(ECO->StartEntityEdit(6));  // one at a time
  TInputEvent move;
  move.Kind = ievMouseMove;
  ECO->HandleEvent(move);
  EXPECT_TRUE(ECO->Inspecting());
  TInputEvent key;
  key.Kind = ievKey;
  ECO->HandleEvent(key);
  EXPECT_EQ(seen, 2);
  EXPECT_FALSE(ECO->Inspecting());
  EXPECT_EQ(ECO->EntityEditFlag, 0);
}

TEST_F(TInterpreterTest, ACommandAtWorkTakesInputInBetweenAndSurvivesACancel) {
  double setting = 0.0;
  bool settingCancelled = false;
  TArgumentCommandDef set;
  set.Text = "SET(VALUE)";
  set.Title = "Setting";
  set.Prompts = {"Enter value"};
  set.Low = 0;
  set.High = 10;
  set.Execute = [&](const std::string& text) { return GetCommandReal(text, 1, setting); };
  set.OnCancel = [&] { settingCancelled = true; };
  DefineSettingCommand(201, set);

  int runs = 0;
  TArgumentCommandDef outer;
  outer.Text = "OUTER(CLICK)";
  outer.Title = "Outer";
  outer.Prompts = {"Click"};
  outer.Repeat = true;
  outer.Execute = [&](const std::string&) {
    ++runs;
    // While at work it asks for a value, as a path follow asks for a pick;
    // what the user does then arrives through ECO.
    EXPECT_TRUE(ECO->RunCommand(201));
    EXPECT_EQ(UserPanel->PromptLine(3), "Enter value > ");
    EXPECT_TRUE(ECO->EnterText("2.5"));
    EXPECT_TRUE(ECO->RunCommand(201));
    TInputEvent cancel = CommandEvent(cmdCancel);
    ECO->HandleEvent(cancel);  // takes back the question, not the command
    // Another command pressed meanwhile is not started.
    const size_t beeps = Beeps().size();
    ECO->RunCommand(200);
    EXPECT_EQ(Beeps().size(), beeps + 1);
    return true;
  };
  DefineArgumentCommand(200, outer);
  ASSERT_TRUE(ECO->RunCommand(200));
  TInputEvent click;
  click.Kind = ievMouseDown;
  click.Buttons = mbtLeft;
  ECO->HandleEvent(click);
  EXPECT_EQ(runs, 1);
  EXPECT_DOUBLE_EQ(setting, 2.5);
  EXPECT_TRUE(settingCancelled);
  // The command is still there and starts again.
  EXPECT_EQ(ECO->ActiveCommandNumber(), 200);
  EXPECT_EQ(ECO->QueuedCommands(), std::vector<std::string>{"OUTER(CLICK)"});
}

}  // namespace
