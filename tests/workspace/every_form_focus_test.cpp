// Every form of the program opens with the keyboard focus on its first
// field: a dialog whose first field is a text box takes typing at once, and
// Enter or a blank typed into it never reaches OK. The forms are found in
// the sources (each form's class name where the form is built), so a new
// form is checked as soon as it exists: the test fails until it is built
// here.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "dnc/dnc_server.h"
#include "edit/clean_dialog.h"
#include "edit/layer_to_cad.h"
#include "editor/editor_window.h"
#include "foundation/file_viewer.h"
#include "foundation/report_windows.h"
#include "foundation/settings.h"
#include "import/dxf_import.h"
#include "import/gerber_reader.h"
#include "import/import_frame.h"
#include "import/odb_import.h"
#include "model/drill_tools.h"
#include "command/command_interpreter.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "plot/cad_export.h"
#include "plot/odb_export_dialogs.h"
#include "plot/plot_dialogs.h"
#include "routpath/auto_rout_settings_dialog.h"
#include "routpath/auto_tab_dialog.h"
#include "routpath/edit_step_dialog.h"
#include "routpath/follow_branch_dialog.h"
#include "routpath/hole_spacing.h"
#include "routpath/panel_origin_dialog.h"
#include "routpath/pocket_dialogs.h"
#include "routpath/slot_settings_dialogs.h"
#include "routpath/step_repeat_dialog.h"
#include "tapein/cad_import.h"
#include "tapein/drill_format_dialog.h"
#include "tapein/drill_import_command.h"
#include "tapein/filter_lists.h"
#include "tapein/rout_import.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/rout_tape_writer.h"
#include "tapeout/tool_table_dialogs.h"
#include "workspace/error_inspector.h"
#include "workspace/layer_dialogs.h"
#include "workspace/small_dialogs.h"
#include "workspace/wait_box.h"
#include "workspace/workspace.h"
#include "workspace_test_support.h"

namespace {

// The class names of the forms the sources build: the name literals given
// to a form's constructor (a form class's base, a form built in place).
std::set<std::string> FormClassesInSources() {
  const std::filesystem::path src = std::filesystem::path(KORVEX_TEST_DATA_DIR) / ".." / ".." / "src";
  const std::regex built(R"re(\b(TForm|T\w+Form)\s*(\w+\s*)?\(([^;{)]*)\))re");
  const std::regex name(R"re("(T[A-Z]\w*)")re");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
    if (entry.path().extension() != ".cpp") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    for (std::sregex_iterator m(s.begin(), s.end(), built), end; m != end; ++m) {
      const std::string args = (*m)[3];
      for (std::sregex_iterator n(args.begin(), args.end(), name); n != end; ++n) names.insert((*n)[1]);
    }
  }
  return names;
}

bool IsTextField(const TControl& c) {
  switch (c.Kind()) {
    case TControlKind::Edit:
    case TControlKind::SpinEdit:
    case TControlKind::Memo:
      return true;
    case TControlKind::ComboBox:
      return static_cast<const TComboBox&>(c).Style() == csDropDown;
    default:
      return false;
  }
}

bool IsReadOnlyText(const TControl& c) {
  if (c.Kind() == TControlKind::Memo) return static_cast<const TMemo&>(c).ReadOnly();
  if (c.Kind() == TControlKind::Edit) return static_cast<const TEdit&>(c).ReadOnly();
  return false;
}

// A control where keys change what the dialog asks for.
bool TakesInput(const TControl& c) {
  return c.Kind() != TControlKind::Button && c.CanFocus() && !IsReadOnlyText(c);
}

bool HasInput(TControl& c) {
  for (auto& child : c.Children())
    if (child->Visible() && (TakesInput(*child) || HasInput(*child))) return true;
  return false;
}

bool HasTextField(TControl& c) {
  for (auto& child : c.Children())
    if ((IsTextField(*child) && child->CanFocus()) || HasTextField(*child)) return true;
  return false;
}

// What a form showed with.
struct TOpening {
  bool HasText = false;
  bool HasInput = false;
  std::string First, Active;
  bool ActiveIsButton = false;
  bool ActiveTakesInput = false;
};

TOpening LookAt(TForm& f) {
  TOpening o;
  o.HasText = HasTextField(f);
  o.HasInput = HasInput(f);
  if (TControl* first = f.FirstFieldControl()) o.First = first->Name();
  if (TControl* active = f.ActiveControl()) {
    o.Active = active->Name();
    o.ActiveIsButton = active->Kind() == TControlKind::Button;
    o.ActiveTakesInput = TakesInput(*active);
  }
  return o;
}

template <class T, class... Args>
std::function<void()> Built(Args... args) {
  return [=] {
    T form(args...);
    form.ShowModal();
  };
}

// How each form of the program is built: as its class, or by the function
// that builds it in place. The editor window is made by Open, once the
// program runs.
struct TFormBuilders {
  uint8_t cancelled = 0;
  TOdbLayerFlags flags{};
  std::unique_ptr<TQuillexForm> editor;
  std::map<std::string, std::function<void()>> Map;

  TFormBuilders(const TFormBuilders&) = delete;
  TFormBuilders& operator=(const TFormBuilders&) = delete;
  void Open() { editor = std::make_unique<TQuillexForm>(); }
  TFormBuilders() {
    flags[1] = true;
    Map = {
        {"TAboutDialog", Built<TAboutDialog>()},
        {"TAboutWindow", [] { ShowAbout(); }},
        {"TActiveToolsDialog", Built<TActiveToolsDialog>()},
        {"TAutoRoutDialog", Built<TAutoRoutDialog>(TAutoRoutSettings{})},
        {"TAutoTabDialog", Built<TAutoTabDialog>(TAutoTabSettings{})},
        {"TCadInputFormatDialog", Built<TCadInputFormatDialog>()},
        {"TCancelDialog", [this] { TCancelDialog(cancelled).ShowModal(); }},
        {"TCircleConfigDialog", Built<TCircleConfigDialog>()},
        {"TCleanDialog", Built<TCleanDialog>()},
        {"TDNCServerConfDialog", Built<TDNCServerConfDialog>()},
        {"TDNCServerDialog", Built<TDNCServerDialog>()},
        {"TDoPrintDialog", [this] { ShowPrintDialog(*editor); }},
        {"TDrawingUnits", Built<TDrawingUnits>()},
        {"TDrillInputFormatDialog", Built<TDrillInputFormatDialog>()},
        {"TEditStepDialog", Built<TEditStepDialog>(TStepTextFormat{})},
        {"TExceptionHandler", Built<TExceptionHandler>()},
        {"TFeedRateDialog", Built<TFeedRateDialog>(false)},
        {"TFollowBranchDialog", Built<TFollowBranchDialog>()},
        {"TFontColorDialog", [] {
           TColor a = clWhite, b = clBlack, c = clWhite, d = clBlack;
           RunColorDialog(a, b, c, d);
         }},
        {"TForceDrillFormatDialog", Built<TForceDrillFormatDialog>()},
        {"TForceFormatDialog", Built<TForceFormatDialog>()},
        {"TFullPanelAutoRoutConfigDlg", Built<TFullPanelAutoRoutConfigDlg>()},
        {"TG93Dialog", Built<TG93Dialog>()},
        {"TGTScrollWindow", Built<TGTScrollWindow>()},
        {"TGTWindow", Built<TGTWindow>()},
        {"TGerberDialog", Built<TGerberDialog>()},
        {"TGerberDrillDialog", [] { ExecuteGerberImportDialog("board.gbr", false, "ASCII"); }},
        {"THP7580Dialog", Built<THP7580Dialog>()},
        {"TIndividualLayerDialog", Built<TIndividualLayerDialog>(1)},
        {"TInfoDialog", [] { ShowFileInfo("board.drl", false, 10, 100); }},
        {"TInlineCfgDialog", Built<TInlineCfgDialog>(TFullPanelInlineRout{})},
        {"TLayerColorDialog", Built<TLayerColorDialog>(clGray, clNavy)},
        {"TLayerDialog", Built<TLayerDialog>()},
        {"TLayerNameDialog", Built<TNewNameDialog>(true, std::vector<std::string>{"TOP"})},
        {"TLayerSelectDialog", Built<TValorExportDialog>(flags, true)},
        {"TM97M98Dialog", Built<TM97M98Dialog>()},
        {"TMakeDrillTapeDialog", Built<TMakeDrillTapeDialog>()},
        {"TMarkerSelectionDialog", [this] {
           editor->Editor->SetMarkerAt(1, 1, 1);
           editor->Editor->SetMarkerAt(2, 1, 1);
           editor->GotoMarker();
         }},
        {"TOptionsDialog", Built<TOptionsDialog>()},
        {"TOutOfBoundsDialog", Built<TOutOfBoundsDialog>()},
        {"TPickDrillLayerDialog", Built<TPickDrillLayerDialog>(30)},
        {"TPickFilterDialog", Built<TPickFilterDialog>()},
        {"TPickLayerDialog", Built<TPickLayerDialog>(1)},
        {"TPlotConfigurationDialog", Built<TPlotConfigurationDialog>()},
        {"TPlotPromptDialog", Built<TPlotPromptDialog>()},
        {"TPushDialog", Built<TPushDialog>()},
        {"TQuickPrintDialog", Built<TQuickPrintDialog>()},
        {"TRoutInputFormatDialog", Built<TRoutInputFormatDialog>()},
        {"TRoutOutputFormatDialog", [] { ExecuteRoutOutputFormatDialog(); }},
        {"TSaveLayerDialog", Built<TSaveLayerDialog>()},
        {"TSearchAndReplaceDialog", Built<TSearchDialog>(true)},
        {"TSearchDialog", Built<TSearchDialog>(false)},
        {"TShowWaitDlg", Built<TShowWaitDlg>()},
        {"TSlotAlgorithmDialog", [] { ExecuteSlotAlgorithmDialog(false); }},
        {"TSlotConfigDialog", Built<TSlotConfigDialog>()},
        {"TSpacingCheckDialog", [] {
           bool a = true, b = true, c = true;
           int32_t spacing = 1000;
           ExecuteSpacingCheckDialog(a, b, c, spacing);
         }},
        {"TSplashScreen", Built<TSplashScreen>()},
        {"TStatusDialog", Built<TStatusDialog>()},
        {"TStepNameDialog", Built<TNewNameDialog>(false, std::vector<std::string>{"PCB"})},
        {"TStepRepeatDialog", Built<TStepRepeatDialog>(TAutoStepRepeatSettings{})},
        {"TSuppressDialog", Built<TSuppressDialog>()},
        {"TSwapTablesDialog", Built<TSwapTablesDialog>()},
        {"TSwitchLayerDialog", Built<TSwitchLayerDialog>(1)},
        {"TToolPageDialog", Built<TToolPageDialog>()},
        {"TToolTableDialog", Built<TToolTableDialog>()},
        {"TUpdateDialog", Built<TUpdateDialog>()},
        {"TValorExportDialog", Built<TValorExportDialog>(flags, false)},
        {"TValorLayerDialog",
         Built<TValorLayerDialog>(std::vector<std::string>{"TOP", "DRILL"}, std::vector<std::string>{"PCB"})},
        {"TValorPickLayerDialog", [] {
           int32_t layer = 0, step = 0;
           RunValorPickLayerDialog({"TOP", "DRILL"}, {"PCB"}, layer, step);
         }},
        {"TValorPickStepDialog", [] {
           int32_t step = 0;
           RunValorPickStepDialog({"PCB", "PANEL"}, step);
         }},
        {"TVersionDialog", Built<TVersionDialog>()},
        {"TViewFileDialog", Built<TViewFileDialog>()},
        {"TZDepthDialog", Built<TZDepthDialog>()},
        {"TcomportForm", Built<TcomportForm>()},
    };
  }
};

// The windows with menus keep the keyboard where their own code puts it.
const std::set<std::string> MainWindows = {"TWorkspace", "TQuillexForm"};

class EveryFormFocusTest : public TWorkspaceTest {
 protected:
  std::map<std::string, TOpening> Opened;

  // Every showing of the class is looked at and closed.
  void Watch(const std::string& className) {
    RegisterModalScript(className, [this](TForm& f) {
      Opened[f.ClassName()] = LookAt(f);
      f.SetModalResult(mrCancel);
      if (f.Showing() && !f.ModalEnded()) f.SetModalResult(mrOk);
    });
  }
};

TEST_F(EveryFormFocusTest, EveryFormOpensWithTheFocusOnItsFirstField) {
  StartProgram();
  TFormBuilders forms;
  const auto& builders = forms.Map;
  const std::set<std::string> found = FormClassesInSources();
  ASSERT_GT(found.size(), 60u);
  forms.Open();
  for (const std::string& name : found) {
    if (MainWindows.count(name) != 0) continue;
    auto b = builders.find(name);
    if (b == builders.end()) {
      ADD_FAILURE() << name << " is a form this test does not build";
      continue;
    }
    Watch(name);
    b->second();
    auto o = Opened.find(name);
    if (o == Opened.end()) {
      ADD_FAILURE() << name << " did not open";
      continue;
    }
    // A read-only text (an explanation) never takes the dialog's keys.
    if (o->second.HasInput) EXPECT_TRUE(o->second.ActiveTakesInput) << name << " " << o->second.Active;
    if (!o->second.HasText) continue;
    EXPECT_FALSE(o->second.First.empty()) << name;
    EXPECT_EQ(o->second.Active, o->second.First) << name;
    EXPECT_FALSE(o->second.ActiveIsButton) << name;
  }
  int withText = 0;
  for (const auto& o : Opened) withText += o.second.HasText ? 1 : 0;
  EXPECT_GT(withText, 30);
  // Plot Configuration's first field is its title: typing starts there.
  ASSERT_EQ(Opened.count("TPlotConfigurationDialog"), 1u);
  EXPECT_EQ(Opened["TPlotConfigurationDialog"].Active, "Line1Edit");
  forms.editor.reset();
}

// The letter Alt chooses a control by: the first "&" of its caption before
// a character other than "&" ("&&" shows one "&"), upper case; 0 for none.
char Mnemonic(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return static_cast<char>(std::toupper(static_cast<unsigned char>(caption[i + 1])));
    ++i;
  }
  return 0;
}

struct TMnemonic {
  char Letter = 0;
  std::string Control;
  // The tab page the control lies on; null outside every page (seen with
  // each of them).
  const TControl* Page = nullptr;
};

const TControl* PageAbove(const TControl& c) {
  for (const TControl* p = c.Parent(); p != nullptr; p = p->Parent())
    if (p->Kind() == TControlKind::TabPage) return p;
  return nullptr;
}

// The letters of the controls shown with the form (a tab page shows when
// its tab is chosen), in captions the platform gives mnemonics: buttons,
// check boxes, radio buttons and groups with their items, group boxes and
// the tabs of pages.
void CollectMnemonics(const TControl& c, std::vector<TMnemonic>& out) {
  for (const auto& child : c.Children()) {
    const TControl& k = *child;
    if (!k.Visible() && k.Kind() != TControlKind::TabPage) continue;
    auto add = [&](const std::string& caption, const std::string& name) {
      if (const char letter = Mnemonic(caption)) out.push_back({letter, name + " \"" + caption + "\"", PageAbove(k)});
    };
    switch (k.Kind()) {
      case TControlKind::Button:
      case TControlKind::CheckBox:
      case TControlKind::RadioButton:
      case TControlKind::GroupBox:
      case TControlKind::TabPage:
        add(k.Caption(), k.Name());
        break;
      case TControlKind::RadioGroup: {
        add(k.Caption(), k.Name());
        const auto& items = static_cast<const TRadioGroup&>(k).Items();
        for (size_t i = 0; i < items.size(); ++i) add(items[i], k.Name() + "[" + std::to_string(i) + "]");
        break;
      }
      default:
        break;
    }
    CollectMnemonics(k, out);
  }
}

// Two controls one Alt letter reaches, by form: "form: X: a / b".
std::vector<std::string> SharedMnemonics(const TForm& f) {
  std::vector<TMnemonic> all;
  CollectMnemonics(f, all);
  std::vector<std::string> shared;
  for (size_t i = 0; i < all.size(); ++i)
    for (size_t j = i + 1; j < all.size(); ++j)
      if (all[i].Letter == all[j].Letter &&
          (all[i].Page == all[j].Page || all[i].Page == nullptr || all[j].Page == nullptr))
        shared.push_back(f.ClassName() + ": " + all[i].Letter + ": " + all[i].Control + " / " + all[j].Control);
  return shared;
}

// Alt and a letter reach one control of a dialog: no two controls shown
// together (on one page of tabs, or beside the pages) share a letter, so
// Alt+M of Make Drill Tape ticks Millimeters instead of moving the focus
// between it and another control of the letter.
TEST_F(EveryFormFocusTest, NoTwoControlsOfAFormShareTheirAltLetter) {
  StartProgram();
  TFormBuilders forms;
  forms.Open();
  std::vector<std::string> shared;
  std::set<std::string> looked;
  for (const std::string& name : FormClassesInSources()) {
    auto b = forms.Map.find(name);
    if (MainWindows.count(name) != 0 || b == forms.Map.end()) continue;
    RegisterModalScript(name, [&](TForm& f) {
      looked.insert(f.ClassName());
      for (const std::string& s : SharedMnemonics(f)) shared.push_back(s);
      f.SetModalResult(mrCancel);
    });
    b->second();
  }
  EXPECT_GT(looked.size(), 60u);
  EXPECT_EQ(shared, std::vector<std::string>{});
  forms.editor.reset();
}

// The dialogs the imports open, through File > Import and Drill > Import of
// files of each kind: each shows with the keys on its first input (the
// format dialog on its list, whatever text explains it).
using ImportDialogsFocusTest = TWorkspaceDialogsTest;

TEST_F(ImportDialogsFocusTest, TheImportsOpenTheirDialogsWithTheKeysOnTheFirstInput) {
  auto shown = std::make_shared<std::vector<std::pair<std::string, TOpening>>>();
  for (const char* name : {"TForceFormatDialog", "TForceDrillFormatDialog", "TGerberDialog", "TGerberDrillDialog",
                           "TCadInputFormatDialog", "TDrillInputFormatDialog", "TRoutInputFormatDialog",
                           "TValorLayerDialog", "TValorPickLayerDialog", "TValorPickStepDialog",
                           "TPickDrillLayerDialog", "TPickLayerDialog", "TDrawingUnits", "THP7580Dialog", "TInfoDialog",
                           "TG93Dialog", "TM97M98Dialog"})
    RegisterModalScript(name, [shown](TForm& f) {
      shown->emplace_back(f.ClassName(), LookAt(f));
      // An unrecognised file is not imported; the rest go on as offered.
      auto* list = f.Find<TComboBox>("PullDown");
      f.Click(list != nullptr && list->ItemIndex() == 0 ? "CancelButton" : "OKButton");
    });
  // The results windows are read and closed.
  HeadlessSetProcessMessagesHook([] {
    for (const char* name : {"TGTScrollWindow", "TGTWindow"})
      if (TForm* window = ShowingModelessForm(name); window && window->Get<TButton>("OKButton").Visible())
        window->Click("OKButton");
  });
  auto data = [](const std::string& name) { return (std::filesystem::path(KORVEX_TEST_DATA_DIR) / name).string(); };
  TWorkspace& form = StartProgram();
  const std::string unknown = Input("NOTES.TXT", "nothing a format reader knows\nsecond line\n");
  for (const std::string& file : {unknown, data("gerber-quadrant-arcs.gbr"), data("dxf-features/lines-points.dxf"),
                                  data("excellon-format-comment.drl"), data("hpgl2-wrapped.plt"),
                                  SmallOdbJob(TempDir / "job")}) {
    ScriptFileDialogAnswer(file);
    Run(form, emCad, "Import1");
  }
  for (const std::string& file : {unknown, data("excellon-format-comment.drl")}) {
    ScriptFileDialogAnswer(file);
    if (file != unknown) ScriptMessageBoxAnswer(mrYes);  // the main part
    Run(form, emDrill, "Import2");
    ECO->CancelCommand();
  }
  std::set<std::string> classes;
  for (const auto& [name, o] : *shown) {
    classes.insert(name);
    if (o.HasInput) EXPECT_TRUE(o.ActiveTakesInput) << name << " opened on " << o.Active;
    if (name == "TForceFormatDialog" || name == "TForceDrillFormatDialog") EXPECT_EQ(o.Active, "PullDown") << name;
  }
  for (const char* name : {"TForceFormatDialog", "TForceDrillFormatDialog", "TValorLayerDialog"})
    EXPECT_EQ(classes.count(name), 1u) << name << " was not opened";
}

}  // namespace
