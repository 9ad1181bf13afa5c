#include "workspace/small_dialogs.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>

#include "command/command_services.h"
#include "foundation/display_units.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/nc_format.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/paths.h"

// ---- Host --------------------------------------------------------------------------

namespace {

TDialogHost* InstalledHost = nullptr;

THeadlessDialogHost& HeadlessHostObject() {
  static THeadlessDialogHost host;
  return host;
}

std::unique_ptr<TSplashScreen> Splash;

}  // namespace

TDialogHost* SetDialogHost(TDialogHost* host) {
  TDialogHost* before = InstalledHost;
  InstalledHost = host;
  return before;
}

TDialogHost& DialogHost() {
  return InstalledHost != nullptr ? *InstalledHost : HeadlessHostObject();
}

THeadlessDialogHost& HeadlessDialogHost() { return HeadlessHostObject(); }

// ---- Options -------------------------------------------------------------------------

TOptionsDialog::TOptionsDialog()
    : TForm("TOptionsDialog"),
      TabbedNotebook1(Add<TTabbedPages>("TabbedNotebook1")),
      ColorGrid1(TabbedNotebook1.AddPage("ColorsPage", "&Colors").Add<TColorGrid>("ColorGrid1")),
      SamplePanel(TabbedNotebook1.Page(0).Add<TPanel>("SamplePanel")),
      SamplePaintBox(SamplePanel.Add<TPaintBox>("SamplePaintBox")),
      KORVEX5CheckBox(TabbedNotebook1.AddPage("LayoutPage", "&Layout")
                          .Add<TCheckBox>("KORVEX5CheckBox", "&KORVEX 5 Toolbar button behavior")),
      LayerCheckBox(TabbedNotebook1.Page(1).Add<TCheckBox>("LayerCheckBox", "Show Layer &Buttons")),
      ToolBarCheckBox(TabbedNotebook1.Page(1).Add<TCheckBox>("ToolBarCheckBox", "Show &Toolbar")),
      StickyCheckBox(
          TabbedNotebook1.Page(1).Add<TCheckBox>("StickyCheckBox", "&Sticky Lines in CAD")),
      ToolResCheckBox(TabbedNotebook1.Page(1).Add<TCheckBox>("ToolResCheckBox",
                                                             "&Micron Metric Tool Resolution")),
      GougeAvoidCheckBox(
          TabbedNotebook1.Page(1).Add<TCheckBox>("GougeAvoidCheckBox", "AutoRout Gouge Avoid")),
      OKButton(Add<TPanel>("ButtonRow").Add<TButton>("OKButton", "OK", mrOk)),
      Button1(Get<TPanel>("ButtonRow").Add<TButton>("Button1", "Cancel", mrCancel)) {
  SetCaption("KORVEX 6 Options");
  auto& row = Get<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  SetSizeable(false);
  OKButton.SetDefault(true);
  Button1.SetCancel(true);
  TabbedNotebook1.SetActivePage(0);
  ColorGrid1.SetForegroundIndex(14);
  ColorGrid1.SetBackgroundIndex(4);
  SamplePaintBox.SetAlign(alClient);
  GougeAvoidCheckBox.SetVisible(false);
  ColorGrid1.OnChange = [this](TControl&) { SamplePaintBoxPaint(); };
  SamplePaintBox.OnPaint = [this](TControl&) { SamplePaintBoxPaint(); };
  OnShow = [this](TForm&) { SamplePaintBoxPaint(); };
  OKButton.OnClick = [this](TControl&) { OKButtonClick(); };
  FormCreate();
}

void TOptionsDialog::FormCreate() {
  KORVEX5CheckBox.SetChecked(!DialogHost().ToolbarBehaviour());
  LayerCheckBox.SetChecked(ShowLayerButtons);
  ToolBarCheckBox.SetChecked(ShowToolbar);
  ToolResCheckBox.SetChecked(MicronMetricToolResolution);
  StickyCheckBox.SetChecked(DialogHost().StickyLines());
  GougeAvoidCheckBox.SetChecked(GougeAvoid);
}

void TOptionsDialog::SamplePaintBoxPaint() {
  SamplePanel.SetColor(ColorGrid1.BackgroundColor());
  TCanvas& canvas = SamplePaintBox.Canvas();
  canvas.Brush.Color = ColorGrid1.BackgroundColor();
  canvas.FillRect(SamplePaintBox.ClientRect());
  canvas.Pen.Color = ColorGrid1.ForegroundColor();
  canvas.Pen.Width = 1;
  canvas.Pen.Mode = pmCopy;
  canvas.Pen.Style = psDashDot;
  const int w = SamplePaintBox.Width();
  const int h = SamplePaintBox.Height();
  canvas.MoveTo(5, h / 2);
  canvas.LineTo(w - 5, h / 2);
  canvas.MoveTo(w / 2, 5);
  canvas.LineTo(w / 2, h - 5);
}

void TOptionsDialog::OKButtonClick() {
  TDialogHost& host = DialogHost();
  host.SetToolbarBehaviour(!KORVEX5CheckBox.Checked());
  host.SetStickyLines(StickyCheckBox.Checked());
  SaveButtonBarStyle(KORVEX5CheckBox.Checked());
  SaveStickyLines(StickyCheckBox.Checked());
  GougeAvoid = GougeAvoidCheckBox.Checked();
  const TColor oldBackground = BackgroundColor;
  BackgroundColor = ColorGrid1.BackgroundColor();
  host.SetDrawingAreaColor(BackgroundColor);
  HighlightColor = ColorGrid1.ForegroundColor();
  GridAndAxisColor = ColorGrid1.ForegroundColor();
  if (ShowLayerButtons != LayerCheckBox.Checked()) host.ShowLayerPanel(LayerCheckBox.Checked());
  ShowLayerButtons = LayerCheckBox.Checked();
  if (ShowToolbar != ToolBarCheckBox.Checked()) host.ShowToolbarPanel(ToolBarCheckBox.Checked());
  ShowToolbar = ToolBarCheckBox.Checked();
  MicronMetricToolResolution = ToolResCheckBox.Checked();
  if (oldBackground != BackgroundColor) ViewServices().RedrawView();
}

void SelectGridColors(TColorGrid& grid, TColor background, TColor foreground) {
  // The grid's cells are the default palette's sixteen basic colours.
  for (int i = 0; i < TColorGrid::ColorCount; ++i) {
    if (TColorGrid::GridColor(i) == background) grid.SetBackgroundIndex(i);
    if (TColorGrid::GridColor(i) == foreground) grid.SetForegroundIndex(i);
  }
}

void ShowOptionsDialog() {
  TModalBracket bracket;
  TOptionsDialog dialog;
  dialog.GougeAvoidCheckBox.SetVisible(true);
  SelectGridColors(dialog.ColorGrid1, BackgroundColor, HighlightColor);
  dialog.ShowModal();
}

// ---- About box and splash screen --------------------------------------------------------

const char* const RevisionNumber = "6.12.5";

namespace {

// The logo: the product's initial in white on a navy field.
std::unique_ptr<TBitmap> MakeLogo() {
  std::unique_ptr<TBitmap> logo = TBitmap::Create(64, 64);
  TCanvas& c = logo->Canvas();
  c.Brush.Color = clNavy;
  c.FillRect(TRect{0, 0, 64, 64});
  c.Pen.Color = clWhite;
  c.Pen.Width = 6;
  c.MoveTo(18, 12);
  c.LineTo(18, 52);
  c.MoveTo(46, 12);
  c.LineTo(20, 32);
  c.LineTo(46, 52);
  return logo;
}

template <class TBox>
void BuildProductBox(TBox& box) {
  box.SetSizeable(false);
  box.Logo.SetPicture(MakeLogo());
  box.ProductLabel.SetFontBold(true);
  box.RevisionPanel.SetBevel(bvNone);
  box.RevisionPanel.SetCaption(std::string("Revision ") + RevisionNumber);
}

}  // namespace

TAboutDialog::TAboutDialog()
    : TForm("TAboutDialog"),
      Logo(Add<TImage>("Logo")),
      ProductLabel(Add<TLabel>("ProductLabel", "KORVEX 6")),
      RevisionPanel(Add<TPanel>("RevisionPanel")),
      OKButton(Add<TButton>("OKButton", "OK", mrOk)) {
  SetCaption("About KORVEX 6");
  OKButton.SetDefault(true);
  BuildProductBox(*this);
}

TSplashScreen::TSplashScreen()
    : TForm("TSplashScreen"),
      Logo(Add<TImage>("Logo")),
      ProductLabel(Add<TLabel>("ProductLabel", "KORVEX 6")),
      RevisionPanel(Add<TPanel>("RevisionPanel")) {
  BuildProductBox(*this);
}

void ShowAboutBox(bool hideSplash) {
  TModalBracket bracket;
  TAboutDialog box;
  box.ShowModal();
  if (hideSplash) HideSplash();
}

void ShowSplash() {
  if (!Splash) Splash = std::make_unique<TSplashScreen>();
  Splash->Show();
  ProcessMessages();
}

void HideSplash() {
  if (!Splash) return;
  Splash->Hide();
  Splash.reset();
}

TSplashScreen* SplashScreen() { return Splash.get(); }

// ---- Out of bounds warning -------------------------------------------------------------------

TOutOfBoundsDialog::TOutOfBoundsDialog()
    : TForm("TOutOfBoundsDialog"),
      Label1(Add<TLabel>("Label1", "Warning:  You have attempted to create")),
      Label2(Add<TLabel>("Label2")),
      Label3(Add<TLabel>("Label3", "Data falling outside this area was deleted.")),
      OKButton(Add<TButton>("OKButton", "OK", mrOk)),
      UndoButton(Add<TButton>("UndoButton", "&Undo", mrAbort)) {
  SetCaption("Warning");
  SetSizeable(false);
  OKButton.SetDefault(true);
  UndoButton.SetCancel(true);
  UndoButton.OnClick = [this](TControl&) { UndoButtonClick(); };
}

void TOutOfBoundsDialog::UndoButtonClick() {
  std::string name;
  if (ActiveUndo != nullptr && ActiveUndo->CanUndo(name)) {
    ButtonManager().ReleaseButton(UndoCommand);
    DialogHost().PressCommand(UndoCommand);
  }
}

std::string OutOfBoundsLimitText() {
  const double limit = Metric ? 1073.7418235 : 42.2733001;
  return "data outside the database limits of +/- " + FormatDecimalNumber(1, limit) +
         (Metric ? "mm." : "\".");
}

void ShowOutOfBoundsNotice() {
  TModalBracket bracket;
  TOutOfBoundsDialog dialog;
  dialog.Label2.SetCaption(OutOfBoundsLimitText());
  dialog.ShowModal();
}
