#include "workspace/layer_dialogs.h"

#include <algorithm>
#include <memory>

#include "workspace/my_screen.h"

namespace {

// A row of a layer box: caption, Active, Displayed and the colour button.
struct TLayerRow {
  TCheckBox* Active;
  TCheckBox* Displayed;
  TButton* Color;
};

// The widths of a row's boxes and button (0: the box's own), so that rows
// line up under their column heads.
struct TLayerRowWidths {
  int Active = 0;
  int Displayed = 0;
  int Color = 24;
};

TLayerRow AddLayerRow(TControl& parent, const std::string& rowName, const std::string& caption,
                      const std::string& suffix, const std::string& colourCaption,
                      const TLayerRowWidths& widths = {}) {
  auto& row = parent.Add<TPanel>(rowName);
  row.SetBevel(bvNone);
  row.SetFlow(TFlow::Horizontal);
  auto& label = row.Add<TLabel>(rowName + "Caption", caption);
  label.SetWidth(32);
  TLayerRow r;
  r.Active = &row.Add<TCheckBox>("Active" + suffix, "");
  if (widths.Active > 0) r.Active->SetWidth(widths.Active);
  r.Displayed = &row.Add<TCheckBox>("Displayed" + suffix, "");
  if (widths.Displayed > 0) r.Displayed->SetWidth(widths.Displayed);
  r.Color = &row.Add<TButton>("Color" + suffix, colourCaption);
  r.Color->SetWidth(widths.Color);
  return r;
}

// A column's heads, over its rows: which box is Active, which Displayed,
// and the colour button.
TLayerRowWidths AddColumnHeads(TControl& column, int number) {
  TLayerRowWidths w;
  auto width = [](const char* text, int least) {
    return std::max(FormsBackend().TextExtent(text).X + 6, least);
  };
  w.Active = width("Active", 20);
  w.Displayed = width("Displayed", 20);
  w.Color = width("Color", 24);
  auto& heads = column.Add<TPanel>("Heads" + std::to_string(number));
  heads.SetBevel(bvNone);
  heads.SetFlow(TFlow::Horizontal);
  heads.Add<TLabel>("LayerHead" + std::to_string(number), "").SetWidth(32);
  heads.Add<TLabel>("ActiveHead" + std::to_string(number), "Active").SetWidth(w.Active);
  heads.Add<TLabel>("DisplayedHead" + std::to_string(number), "Displayed").SetWidth(w.Displayed);
  heads.Add<TLabel>("ColorHead" + std::to_string(number), "Color").SetWidth(w.Color);
  return w;
}

void AddOkCancel(TForm& form, bool withCancel) {
  auto& buttons = form.Add<TPanel>("ButtonRow");
  buttons.SetBevel(bvNone);
  buttons.SetFlow(TFlow::Horizontal);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  if (withCancel) buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
}

// The state a layer box may change, to decide on a redraw afterwards.
struct TLayerSnapshot {
  uint32_t Displayed = DisplayedLayerMask;
  uint32_t DisplayedNC = DisplayedNCLayerMask;
  std::array<TColor, LayerCount> Colours = LayerColors;
  TColor Back = BackgroundColor;
  // Only the layers' own bits count: the box clears the meaningless ones.
  bool Changed() const {
    return ((Displayed ^ DisplayedLayerMask) & 0x3FFFFFFFu) != 0 ||
           ((DisplayedNC ^ DisplayedNCLayerMask) & 0x7FFFu) != 0 ||
           Colours != LayerColors || Back != BackgroundColor;
  }
};

void AfterLayerBox(const TLayerSnapshot& before) {
  if (LayerBar != nullptr) LayerBar->ColourCaption(CurrentLayer, true);
  if (before.Changed()) ViewServices().RedrawView();
}

}  // namespace

// ---- Layer Control --------------------------------------------------------------------------------

std::string TLayerDialog::RowCaption(int32_t layer) {
  std::string name = LayerName(layer);
  return std::string(name.size() < 4 ? 4 - name.size() : 0, ' ') + name;
}

TLayerDialog::TLayerDialog() : TForm("TLayerDialog") {
  SetCaption("Layer Control");
  auto& columns = Add<TPanel>("Columns");
  columns.SetBevel(bvNone);
  columns.SetFlow(TFlow::Horizontal);
  // On screen: CAD 0-19, then D0-D9 and R0-R4, then CAD 20-29.
  TControl* column = nullptr;
  TLayerRowWidths widths;
  auto addRow = [&](int32_t layer) {
    const std::string n = std::to_string(layer);
    TLayerRow r = AddLayerRow(*column, "Layer" + n, RowCaption(layer), n, "C", widths);
    Active_[layer] = r.Active;
    Displayed_[layer] = r.Displayed;
    r.Active->OnChange = [this, layer](TControl&) {
      if (Active_[layer]->Checked()) Displayed_[layer]->SetChecked(true);
    };
    r.Displayed->OnChange = [this, layer](TControl&) {
      if (!Displayed_[layer]->Checked()) Active_[layer]->SetChecked(false);
    };
    r.Color->OnClick = [layer](TControl&) {
      TColor layerColour = LayerColors[layer], back = BackgroundColor;
      ExecuteLayerColor(layerColour, back);
      LayerColors[layer] = layerColour;
      BackgroundColor = back;
    };
  };
  const std::pair<int32_t, int32_t> ranges[] = {{0, 19}, {30, 44}, {20, 29}};
  int c = 0;
  for (auto [first, last] : ranges) {
    auto& col = columns.Add<TPanel>("Column" + std::to_string(++c));
    col.SetBevel(bvNone);
    // Side by side at full height: the heads of all three stand on one
    // line at the top, however many rows each column has.
    col.SetAlign(alLeft);
    column = &col;
    widths = AddColumnHeads(col, c);
    for (int32_t layer = first; layer <= last; ++layer) addRow(layer);
    // A gap before the next column's layer names.
    col.SetWidth(col.PreferredSize().X + 12);
  }
  for (int32_t layer = 0; layer < LayerLimit; ++layer) {
    Active_[layer]->SetChecked(LayerActive(layer));
    Displayed_[layer]->SetChecked(LayerDisplayed(layer));
  }
  if (IsValidLayer(CurrentLayer)) {
    Active_[CurrentLayer]->SetEnabled(false);
    Displayed_[CurrentLayer]->SetEnabled(false);
  }
  AddOkCancel(*this, true);
}

void TLayerDialog::ApplyMasks() {
  uint32_t active = 0x80000000u, displayed = 0x80000000u;
  uint32_t activeNC = 0x80000000u, displayedNC = 0x80000000u;
  for (int32_t layer = 0; layer < LayerLimit; ++layer) {
    const bool cad = IsCadLayer(layer);
    const uint32_t bit = 1u << (cad ? layer : layer - FirstDrillLayer);
    uint32_t& a = cad ? active : activeNC;
    uint32_t& d = cad ? displayed : displayedNC;
    // The current layer stays active and displayed whatever its boxes say.
    if (Active_[layer]->Checked() || layer == CurrentLayer) {
      a |= bit;
      d |= bit;
    } else if (Displayed_[layer]->Checked()) {
      d |= bit;
    }
  }
  ActiveLayerMask = active;
  DisplayedLayerMask = displayed;
  ActiveNCLayerMask = activeNC;
  DisplayedNCLayerMask = displayedNC;
}

void ExecuteLayerControl() {
  TLayerSnapshot before;
  TLayerDialog dialog;
  if (LayerBar != nullptr) LayerBar->LayerControlBox = &dialog;
  TModalResult result;
  {
    TModalBracket bracket;
    result = dialog.ShowModal();
  }
  if (LayerBar != nullptr) LayerBar->LayerControlBox = nullptr;
  if (result == mrOk) dialog.ApplyMasks();
  AfterLayerBox(before);
}

// ---- The individual layer box ---------------------------------------------------------------------

std::string TIndividualLayerDialog::RowCaption(int32_t layer) {
  if (IsDrillLayer(layer)) return " D" + std::to_string(layer - FirstDrillLayer);
  if (IsRoutLayer(layer)) return " R" + std::to_string(layer - FirstRoutLayer);
  return (layer < 10 ? "  " : " ") + std::to_string(layer);
}

TIndividualLayerDialog::TIndividualLayerDialog(int32_t layer)
    : TForm("TIndividualLayerDialog"), Layer_(layer) {
  const std::string caption = RowCaption(layer);
  SetCaption("Layer " + caption);
  auto& heading = Add<TPanel>("HeadingPanel", " Lay.  Act.  Dis.  Color");
  heading.SetAlignment(taLeftJustify);
  TLayerRow r = AddLayerRow(*this, "Layer0", caption, "0", "&C");
  r.Active->SetChecked(LayerActive(layer));
  r.Displayed->SetChecked(LayerDisplayed(layer));
  if (layer == CurrentLayer) {
    r.Active->SetEnabled(false);
    r.Displayed->SetEnabled(false);
  }
  // The boxes act on the masks at once.
  TCheckBox* active = r.Active;
  TCheckBox* displayed = r.Displayed;
  active->OnChange = [layer, active, displayed](TControl&) {
    if (active->Checked()) {
      SetLayerActive(layer, true);
      displayed->SetChecked(true);
    } else {
      SetLayerActive(layer, false);
    }
  };
  displayed->OnChange = [layer, active, displayed](TControl&) {
    if (displayed->Checked()) {
      SetLayerDisplayed(layer, true);
    } else {
      SetLayerDisplayed(layer, false);
      active->SetChecked(false);
    }
  };
  // Only the layer colour is taken from here.
  r.Color->OnClick = [layer](TControl&) {
    TColor layerColour = LayerColors[layer], back = BackgroundColor;
    ExecuteLayerColor(layerColour, back);
    LayerColors[layer] = layerColour;
  };
  auto& buttons = Add<TPanel>("ButtonRow");
  buttons.SetBevel(bvNone);
  buttons.Add<TButton>("OKButton", "&Done", mrOk).SetDefault(true);
}

void ExecuteIndividualLayer(TControl& button, int x, int y) {
  if (LayerBar == nullptr) return;
  const int32_t layer = LayerBar->LayerOfButton(&button);
  if (layer < 0) return;
  TLayerSnapshot before;
  TIndividualLayerDialog dialog(layer);
  // The pointer's place on the screen: the button within its form, the
  // pointer within the button, and the form's own place.
  int left = x, top = y;
  for (const TControl* c = &button; c != nullptr; c = c->Parent()) {
    left += c->Left();
    top += c->Top();
  }
  dialog.SetLeft(left);
  dialog.SetTop(top);
  LayerBar->IndividualLayerBox = &dialog;
  {
    TModalBracket bracket;
    dialog.ShowModal();
  }
  LayerBar->IndividualLayerBox = nullptr;
  AfterLayerBox(before);
}

// ---- Layer Color ----------------------------------------------------------------------------------

TLayerColorDialog::TLayerColorDialog(TColor layerColour, TColor backColour)
    : TForm("TLayerColorDialog"),
      InitialLayer_(layerColour),
      InitialBack_(backColour),
      InitialFg_(TColorGrid::IndexOfColor(layerColour)),
      InitialBg_(TColorGrid::IndexOfColor(backColour)) {
  SetCaption("Layer Color");
  auto& grid = Add<TColorGrid>("ColorGrid1");
  if (InitialFg_ >= 0) grid.SetForegroundIndex(InitialFg_);
  if (InitialBg_ >= 0) grid.SetBackgroundIndex(InitialBg_);
  auto& sample = Add<TPanel>("SamplePanel");
  auto& box = sample.Add<TPaintBox>("SamplePaintBox");
  box.SetAlign(alClient);
  sample.SetHeight(40);
  box.OnPaint = [this](TControl&) { PaintSample(); };
  grid.OnChange = [this](TControl&) { PaintSample(); };
  OnShow = [this](TForm&) { PaintSample(); };
  Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
}

TColor TLayerColorDialog::LayerColour() const {
  auto& grid = const_cast<TLayerColorDialog*>(this)->Get<TColorGrid>("ColorGrid1");
  if (InitialFg_ < 0 && grid.ForegroundIndex() == 0) return InitialLayer_;
  return grid.ForegroundColor();
}

TColor TLayerColorDialog::BackColour() const {
  auto& grid = const_cast<TLayerColorDialog*>(this)->Get<TColorGrid>("ColorGrid1");
  if (InitialBg_ < 0 && grid.BackgroundIndex() == TColorGrid::ColorCount - 1) return InitialBack_;
  return grid.BackgroundColor();
}

void TLayerColorDialog::PaintSample() {
  auto& box = Get<TPaintBox>("SamplePaintBox");
  TCanvas& canvas = box.Canvas();
  const int w = box.Width(), h = box.Height();
  canvas.Brush.Color = BackColour();
  canvas.Brush.Style = bsSolid;
  canvas.FillRect({0, 0, w, h});
  canvas.Pen.Color = LayerColour();
  canvas.Pen.Width = 1;
  canvas.Pen.Style = psSolid;
  canvas.Pen.Mode = pmCopy;
  canvas.MoveTo(5, h / 2);
  canvas.LineTo(w - 5, h / 2);
}

void ExecuteLayerColor(TColor& layerColour, TColor& backColour) {
  TLayerColorDialog dialog(layerColour, backColour);
  {
    TModalBracket bracket;
    dialog.ShowModal();
  }
  layerColour = dialog.LayerColour();
  backColour = dialog.BackColour();
}

// ---- Pickers ----------------------------------------------------------------------------------------

namespace {
std::vector<std::string> LayerItems(int32_t first, int32_t last) {
  std::vector<std::string> items;
  for (int32_t layer = first; layer <= last; ++layer) items.push_back(LayerName(layer));
  return items;
}
}  // namespace

TPickLayerDialog::TPickLayerDialog(int32_t layer) : TForm("TPickLayerDialog") {
  SetCaption("Select Layer To Erase");
  auto& group = Add<TRadioGroup>("LayerGroup", "Layer");
  group.SetColumns(3);
  group.SetItems(LayerItems(0, LayerLimit - 1));
  group.SetItemIndex(IsValidLayer(layer) ? layer : -1);
  AddOkCancel(*this, true);
}

int32_t TPickLayerDialog::Layer() const {
  return const_cast<TPickLayerDialog*>(this)->Get<TRadioGroup>("LayerGroup").ItemIndex();
}

bool ExecutePickLayer(int32_t& layer) {
  TModalBracket bracket;
  TPickLayerDialog dialog(layer);
  if (dialog.ShowModal() != mrOk) return false;
  const int32_t chosen = dialog.Layer();
  if (!IsValidLayer(chosen)) return false;
  layer = chosen;
  return true;
}

TSwitchLayerDialog::TSwitchLayerDialog(int32_t layer) : TForm("TSwitchLayerDialog"), Given_(layer) {
  SetCaption("Switch to Layer");
  auto& groups = Add<TPanel>("Groups");
  groups.SetBevel(bvNone);
  groups.SetFlow(TFlow::Horizontal);
  auto& cad = groups.Add<TRadioGroup>("CadGroup", "&CAD Layers");
  cad.SetColumns(2);
  cad.SetItems(LayerItems(0, FirstDrillLayer - 1));
  auto& drill = groups.Add<TRadioGroup>("DrillGroup", "&Drill Layers");
  drill.SetItems(LayerItems(FirstDrillLayer, FirstRoutLayer - 1));
  auto& rout = groups.Add<TRadioGroup>("RoutGroup", "&Rout Layers");
  rout.SetItems(LayerItems(FirstRoutLayer, LayerLimit - 1));
  if (IsCadLayer(layer)) cad.SetItemIndex(layer);
  if (IsDrillLayer(layer)) drill.SetItemIndex(layer - FirstDrillLayer);
  if (IsRoutLayer(layer)) rout.SetItemIndex(layer - FirstRoutLayer);
  // A click in one group clears the other two.
  TRadioGroup* all[] = {&cad, &drill, &rout};
  for (TRadioGroup* g : all)
    g->OnClick = [g, all](TControl&) {
      for (TRadioGroup* other : all)
        if (other != g) other->SetItemIndex(-1);
    };
  AddOkCancel(*this, true);
}

int32_t TSwitchLayerDialog::Layer() const {
  auto* self = const_cast<TSwitchLayerDialog*>(this);
  if (int i = self->Get<TRadioGroup>("CadGroup").ItemIndex(); i >= 0) return i;
  if (int i = self->Get<TRadioGroup>("RoutGroup").ItemIndex(); i >= 0) return FirstRoutLayer + i;
  if (int i = self->Get<TRadioGroup>("DrillGroup").ItemIndex(); i >= 0) return FirstDrillLayer + i;
  return Given_;
}

bool ExecuteSwitchLayer(int32_t& layer) {
  TModalBracket bracket;
  TSwitchLayerDialog dialog(layer);
  if (dialog.ShowModal() != mrOk) return false;
  layer = dialog.Layer();
  return true;
}

TPickDrillLayerDialog::TPickDrillLayerDialog(int32_t layer) : TForm("TPickDrillLayerDialog") {
  SetCaption("Select Layer For Data");
  auto& group = Add<TRadioGroup>("LayerGroup", "Layer");
  group.SetColumns(2);
  group.SetItems(LayerItems(FirstDrillLayer, FirstRoutLayer - 1));
  // Outside the drill layers D0 is offered, so a drill layer always comes back.
  group.SetItemIndex(IsDrillLayer(layer) ? layer - FirstDrillLayer : 0);
  AddOkCancel(*this, false);
}

int32_t TPickDrillLayerDialog::Layer() const {
  int i = const_cast<TPickDrillLayerDialog*>(this)->Get<TRadioGroup>("LayerGroup").ItemIndex();
  return FirstDrillLayer + (i >= 0 && i < 10 ? i : 0);
}

int32_t PickDrillLayer() {
  TModalBracket bracket;
  TPickDrillLayerDialog dialog(CurrentLayer);
  if (dialog.ShowModal() != mrOk) return -1;
  return dialog.Layer();
}
