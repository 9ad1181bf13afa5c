#include "tapeout/tool_table_dialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapein/nc_reader.h"
#include "model/view_services.h"

namespace {

// A number typed into a cell; false when the text is not one.
bool ReadNumber(const std::string& text, double& value) {
  const std::string t = TrimBlanks(text);
  if (t.empty()) return false;
  char* end = nullptr;
  value = std::strtod(t.c_str(), &end);
  return end != t.c_str() && *end == '\0' && std::isfinite(value);
}

// A cell's value in stored units: unchanged cells keep the stored value, so
// that showing and reading back never rounds a value the user did not touch.
bool ReadCell(const TStringGrid& grid, int col, int row, const std::string& shown, double scale,
              double limit, int32_t& field) {
  const std::string& text = grid.Cell(col, row);
  if (text == shown) return true;
  double value = 0;
  if (!ReadNumber(text, value) || std::fabs(value * scale) > limit) return false;
  field = static_cast<int32_t>(std::lround(value * scale));
  return true;
}

void CellError(const TStringGrid& grid, int col, int row) {
  ErrorBox("Tool " + IntToShortStr(row) + ": \"" + grid.Cell(col, row) + "\" is not a valid " +
           grid.Cell(col, 0) + ".");
}

double FeedScale() { return Metric ? 1000.0 : 25400.0 / 60.0; }

std::string DiameterText(int32_t d) { return d == 0 ? "" : ToolSizeToText(d); }

void AddButtonRow(TForm& form, TButton*& ok, TButton*& cancel) {
  auto& row = form.Add<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  ok = &row.Add<TButton>("OKButton", "OK", mrOk);
  cancel = &row.Add<TButton>("CancelButton", "Cancel", mrCancel);
  ok->SetDefault(true);
  cancel->SetCancel(true);
}

TButton& OkOf(TForm& form) {
  TButton* ok = nullptr;
  TButton* cancel = nullptr;
  AddButtonRow(form, ok, cancel);
  return *ok;
}

constexpr double kLengthLimit = 2147483647.0;

}  // namespace

// ---- Drill tool table ---------------------------------------------------------------------

TToolTableDialog::TToolTableDialog()
    : TForm("TToolTableDialog"),
      Grid(Add<TStringGrid>("Grid")),
      OKButton(OkOf(*this)),
      CancelButton(Get<TButton>("CancelButton")) {
  SetCaption("Edit Tool Table");
  Grid.SetSize(7, kToolCount + 1);
  Grid.SetFixed(1, 1);
  Grid.SetEditing(true);
  const char* heads[7] = {"Tool", "Diameter", "Feed", "Speed", "Z Offset", "Max Hits", "First/Last"};
  for (int c = 0; c < 7; ++c) Grid.SetCell(c, 0, heads[c]);
  for (int t = 1; t <= kToolCount; ++t) Grid.SetCell(0, t, "T" + IntToShortStr(t));
  OKButton.OnClick = [this](TControl&) {
    if (!ReadGrid()) SetModalResult(mrNone);
  };
}

void TToolTableDialog::FillGrid() {
  for (int t = 1; t <= kToolCount; ++t) {
    const TToolRecord& r = Work[t];
    Grid.SetCell(1, t, DiameterText(r.Diameter));
    Grid.SetCell(2, t, r.Feed == 0 ? "" : FeedRateToText(r.Feed));
    Grid.SetCell(3, t, r.Speed == 0 ? "" : SpeedToText(r.Speed));
    Grid.SetCell(4, t, r.ZOffset == 0 ? "" : ZOffsetToText(r.ZOffset));
    Grid.SetCell(5, t, r.MaxHits == 0 ? "" : IntToShortStr(r.MaxHits));
    Grid.SetCell(6, t, r.FirstLastHit ? "Y" : "");
  }
}

bool TToolTableDialog::ReadGrid() {
  TIndexedArray<TToolRecord, 1, kToolCount> next = Work;
  for (int t = 1; t <= kToolCount; ++t) {
    TToolRecord& r = next[t];
    const TToolRecord& old = Work[t];
    auto blankIsZero = [&](int col, int32_t& field) {
      if (TrimBlanks(Grid.Cell(col, t)).empty()) {
        field = 0;
        return true;
      }
      return false;
    };
    struct TColumn {
      int Col;
      int32_t& Field;
      std::string Shown;
      double Scale;
    } columns[] = {
        {1, r.Diameter, DiameterText(old.Diameter), double(UnitsPerDisplayUnit)},
        {2, r.Feed, old.Feed == 0 ? "" : FeedRateToText(old.Feed), FeedScale()},
        {3, r.Speed, old.Speed == 0 ? "" : SpeedToText(old.Speed), 10.0},
        {4, r.ZOffset, old.ZOffset == 0 ? "" : ZOffsetToText(old.ZOffset), double(UnitsPerDisplayUnit)},
        {5, r.MaxHits, old.MaxHits == 0 ? "" : IntToShortStr(old.MaxHits), 1.0},
    };
    for (TColumn& c : columns) {
      if (Grid.Cell(c.Col, t) == c.Shown || blankIsZero(c.Col, c.Field)) continue;
      // Sizes, feeds, speeds and hit counts are never negative.
      double value = 0;
      if (!ReadCell(Grid, c.Col, t, c.Shown, c.Scale, kLengthLimit, c.Field) ||
          (c.Col != 4 && ReadNumber(Grid.Cell(c.Col, t), value) && value < 0)) {
        CellError(Grid, c.Col, t);
        Grid.SetCurrentCell(c.Col, t);
        return false;
      }
    }
    const std::string flag = UpperCaseStr(TrimBlanks(Grid.Cell(6, t)));
    r.FirstLastHit = flag == "Y" || flag == "YES" || flag == "1" ? 1 : 0;
  }
  Work = next;
  return true;
}

bool ExecuteToolTableDialog() {
  TToolTableDialog dialog;
  dialog.Work = ToolTable;
  dialog.FillGrid();
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  if (!(dialog.Work.Items == ToolTable.Items)) DatabaseModified = true;
  ToolTable = dialog.Work;
  return true;
}

// ---- Active tools -----------------------------------------------------------------------

TActiveToolsDialog::TActiveToolsDialog()
    : TForm("TActiveToolsDialog"),
      ToolList(Add<TListBox>("ToolList")),
      AllButton(Add<TButton>("AllButton", "&All")),
      NoneButton(Add<TButton>("NoneButton", "&None")),
      OKButton(OkOf(*this)),
      CancelButton(Get<TButton>("CancelButton")) {
  SetCaption("Active Tools");
  ToolList.SetMultiSelect(true);
  AllButton.OnClick = [this](TControl&) {
    for (int i = 0; i < static_cast<int>(Tools.size()); ++i) ToolList.SetSelected(i, true);
  };
  NoneButton.OnClick = [this](TControl&) {
    for (int i = 0; i < static_cast<int>(Tools.size()); ++i) ToolList.SetSelected(i, false);
  };
}

bool ExecuteActiveToolsDialog() {
  TActiveToolsDialog dialog;
  TToolHits holes{}, others{};
  if (DRDB != nullptr) DRDB->HitsPerTool(holes, others);
  std::vector<std::string> lines;
  for (int32_t t = 1; t <= kToolCount; ++t) {
    const int64_t hits = int64_t{holes[t]} + others[t];
    if (hits == 0) continue;
    dialog.Tools.push_back(t);
    lines.push_back("T" + IntToShortStr(t) + "  " + DiameterText(ToolTable[t].Diameter) + "  " +
                    std::to_string(hits) + " hits");
  }
  dialog.ToolList.SetItems(lines);
  for (std::size_t i = 0; i < dialog.Tools.size(); ++i)
    dialog.ToolList.SetSelected(static_cast<int>(i), ActiveTools[dialog.Tools[i]]);
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  for (std::size_t i = 0; i < dialog.Tools.size(); ++i)
    ActiveTools[dialog.Tools[i]] = dialog.ToolList.Selected(static_cast<int>(i));
  return true;
}

// ---- Axis version -------------------------------------------------------------------------

TVersionDialog::TVersionDialog()
    : TForm("TVersionDialog"),
      VersionGroup(Add<TRadioGroup>("VersionGroup", "Axis Version")),
      OKButton(OkOf(*this)),
      CancelButton(Get<TButton>("CancelButton")) {
  SetCaption("Version");
  VersionGroup.SetItems({"&1", "&2", "&3", "&4", "&5", "&6", "&7", "&8"});
  VersionGroup.SetColumns(4);
}

bool ShowVersionDialog() {
  TVersionDialog dialog;
  dialog.VersionGroup.SetItemIndex(std::clamp<int>(Version, 1, 8) - 1);
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  Version = static_cast<uint8_t>(std::clamp(dialog.VersionGroup.ItemIndex(), 0, 7) + 1);
  return true;
}

// ---- Rout tool pages ----------------------------------------------------------------------

TToolPageDialog::TToolPageDialog()
    : TForm("TToolPageDialog"),
      Grid(Add<TStringGrid>("Grid")),
      LoadButton(Add<TButton>("LoadButton", "&Load")),
      SaveButton(Add<TButton>("SaveButton", "Sa&ve")),
      OKButton(OkOf(*this)),
      CancelButton(Get<TButton>("CancelButton")) {
  SetCaption("Cutter Config");
  Grid.SetSize(6, kToolCount + 1);
  Grid.SetFixed(1, 1);
  Grid.SetEditing(true);
  const char* heads[6] = {"Tool", "Diameter", "Comp Diameter", "High Feed", "Low Feed", "Z Offset"};
  // The columns are as wide as the widest head, so every head reads whole.
  int width = Grid.DefaultColWidth();
  for (int c = 0; c < 6; ++c) {
    Grid.SetCell(c, 0, heads[c]);
    width = std::max(width, FormsBackend().TextExtent(heads[c]).X + 16);
  }
  Grid.SetDefaultCellSize(width, Grid.DefaultRowHeight());
  // All six columns in view, beside the scroll bar.
  Grid.SetWidth(6 * (width + 1) + 3 + 20);
  for (int t = 1; t <= kToolCount; ++t) Grid.SetCell(0, t, "T" + IntToShortStr(t));
  LoadButton.OnClick = [this](TControl&) { LoadButtonClick(); };
  SaveButton.OnClick = [this](TControl&) { SaveButtonClick(); };
  OKButton.OnClick = [this](TControl&) {
    if (!ReadGrid()) SetModalResult(mrNone);
  };
}

void TToolPageDialog::FillGrid() {
  for (int t = 1; t <= kToolCount; ++t) {
    const TRoutToolRecord& r = Work[t];
    Grid.SetCell(1, t, DiameterText(r.Diameter));
    Grid.SetCell(2, t, DiameterText(r.CompDiameter));
    Grid.SetCell(3, t, r.HighFeed == 0 ? "" : IntToShortStr(r.HighFeed));
    Grid.SetCell(4, t, r.LowFeed == 0 ? "" : IntToShortStr(r.LowFeed));
    Grid.SetCell(5, t, r.ZOffset == 0 ? "" : ZOffsetToText(r.ZOffset));
  }
}

bool TToolPageDialog::ReadGrid() {
  TRoutToolPage next = Work;
  for (int t = 1; t <= kToolCount; ++t) {
    TRoutToolRecord& r = next[t];
    const TRoutToolRecord& old = Work[t];
    int32_t high = r.HighFeed, low = r.LowFeed;
    struct TColumn {
      int Col;
      int32_t& Field;
      std::string Shown;
      double Scale;
      double Limit;
    } columns[] = {
        {1, r.Diameter, DiameterText(old.Diameter), double(UnitsPerDisplayUnit), kLengthLimit},
        {2, r.CompDiameter, DiameterText(old.CompDiameter), double(UnitsPerDisplayUnit), kLengthLimit},
        {3, high, old.HighFeed == 0 ? "" : IntToShortStr(old.HighFeed), 1.0, 65535},
        {4, low, old.LowFeed == 0 ? "" : IntToShortStr(old.LowFeed), 1.0, 65535},
        {5, r.ZOffset, old.ZOffset == 0 ? "" : ZOffsetToText(old.ZOffset), double(UnitsPerDisplayUnit), kLengthLimit},
    };
    for (TColumn& c : columns) {
      const std::string text = TrimBlanks(Grid.Cell(c.Col, t));
      if (Grid.Cell(c.Col, t) == c.Shown) continue;
      if (text.empty()) {
        c.Field = 0;
        continue;
      }
      double value = 0;
      if (!ReadCell(Grid, c.Col, t, c.Shown, c.Scale, c.Limit, c.Field) ||
          (c.Col != 5 && ReadNumber(text, value) && value < 0)) {
        CellError(Grid, c.Col, t);
        Grid.SetCurrentCell(c.Col, t);
        return false;
      }
    }
    r.HighFeed = static_cast<uint16_t>(high);
    r.LowFeed = static_cast<uint16_t>(low);
  }
  Work = next;
  return true;
}

void TToolPageDialog::LoadButtonClick() {
  std::string name = "*.RTT";
  if (!ExecuteOpenFileDialog("Load Tool Page", name, 255)) return;
  // The file goes through the layer's page so that the same reader checks it.
  const TRoutToolPage saved = RoutToolPages[Layer];
  if (LoadRoutToolPage(name, Layer)) {
    Work = RoutToolPages[Layer];
    FillGrid();
  } else {
    ErrorBox("The tool page " + name + " cannot be read.");
  }
  RoutToolPages[Layer] = saved;
}

void TToolPageDialog::SaveButtonClick() {
  if (!ReadGrid()) return;
  std::string name;
  // A page of that name is replaced only when the user says so; No asks for
  // another name.
  for (;;) {
    name = "*.RTT";
    if (!ExecuteSaveFileDialog("Save Tool Page as:", name, 255)) return;
    if (FileExtension3(name) == "   " || FileExtension3(name).empty()) name = ChangeFileExtension(name, "RTT");
    if (!FileExistsNoWild(name)) break;
    name = ExistingFileName(name);  // the file replaced, in its own spelling
    if (ConfirmOverwrite(name)) break;
  }
  const TRoutToolPage saved = RoutToolPages[Layer];
  RoutToolPages[Layer] = Work;
  SaveRoutToolPage(name, Layer);
  RoutToolPages[Layer] = saved;
}

bool ExecuteToolPageDialog(int layer) {
  if (layer < kFirstRoutLayer || layer > kLastRoutLayer) return false;
  TToolPageDialog dialog;
  dialog.Layer = layer;
  dialog.Work = RoutToolPages[layer];
  dialog.FillGrid();
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  RoutToolPages[layer] = dialog.Work;
  return true;
}

bool ExecuteDefaultToolPageDialog(int layer) {
  std::string name = DefaultToolFile.empty() ? std::string("*.RTT") : DefaultToolFile;
  {
    TModalBracket bracket;
    if (!ExecuteOpenFileDialog("Select Default Tool Page", name, 255)) return false;
  }
  if (layer >= kFirstRoutLayer && layer <= kLastRoutLayer && !LoadRoutToolPage(name, layer)) {
    ErrorBox("The tool page " + name + " cannot be read.");
    return false;
  }
  DefaultToolFile = name;
  SaveDefaultRoutToolPage();
  return true;
}

// ---- Drilled text and feed rate ------------------------------------------------------------

TM97M98Dialog::TM97M98Dialog()
    : TForm("TM97M98Dialog"),
      TextEdit(Add<TEdit>("TextEdit")),
      OrientationGroup(Add<TRadioGroup>("OrientationGroup", "Orientation")),
      OKButton(OkOf(*this)),
      CancelButton(Get<TButton>("CancelButton")) {
  SetCaption("Drilled Text");
  OrientationGroup.SetItems({"&Horizontal", "&Vertical"});
}

bool RunDrilledTextDialog(std::string& text, int maxLength, bool& vertical) {
  TM97M98Dialog dialog;
  dialog.TextEdit.SetMaxLength(maxLength);
  dialog.TextEdit.SetText(text);
  dialog.OrientationGroup.SetItemIndex(vertical ? 1 : 0);
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  text = dialog.TextEdit.Text();
  vertical = dialog.OrientationGroup.ItemIndex() == 1;
  return true;
}

TFeedRateDialog::TFeedRateDialog(bool forZ)
    : TForm("TFeedRateDialog"),
      ScopeGroup(Add<TRadioGroup>("ScopeGroup", forZ ? "Change Z offset for" : "Change feed rate for ")),
      OKButton(OkOf(*this)),
      CancelButton(Get<TButton>("CancelButton")) {
  SetCaption(forZ ? "New Z Offset" : "New Feed Rate");
  ScopeGroup.SetItems({forZ ? "all cuts up to the next Z offset change" : "all cuts up to next feedrate change",
                       "this cut only", "all cuts in this chain"});
  ScopeGroup.SetItemIndex(0);
}

bool RunFeedRateDialog(int& scope, bool forZ) {
  TFeedRateDialog dialog(forZ);
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  scope = std::clamp(dialog.ScopeGroup.ItemIndex(), 0, 2);
  return true;
}

std::string ToolSizeToText(int32_t size) { return DisplaySizeToText(size / double(UnitsPerDisplayUnit)); }

// ---- Feed/speed table ---------------------------------------------------------------------

namespace {

// The tape reader over the table, used only for its parameter look-up.
class TFeedSpeedReader : public TNCReader {
 public:
  TFeedSpeedReader(const std::string& fileName, const TDrillFormatRecord& f)
      : TNCReader(fileName, "", ExecutionPath() + "SCRATCH\\", 1, f.ZerosUsed == 0 || f.ZerosUsed == 2,
                  f.Metric ? f.MetricIntegerDigits : f.IntegerDigits,
                  f.Metric ? f.MetricDecimalDigits : f.DecimalDigits, !f.Absolute, false, f.Metric,
                  f.Version, f.BlockDelete, false) {
    SetParameterFile(fileName);
    // The number formats a run would start the file with.
    LoadFormatOptions();
    ResetNumberFormat();
  }
  void Poll(bool& abort) override { abort = false; }
  void Message(std::string text) override { Problems.push_back(std::move(text)); }
  void Error(std::string text) override { Problems.push_back(std::move(text)); }
  void Hit(int32_t, int32_t, int32_t, int32_t, int32_t, uint8_t) override {}
  void Done() override {}
  std::vector<std::string> Problems;
};

}  // namespace

bool LoadFeedSpeedTableFile(const std::string& fileName) {
  if (!FileExistsNoWild(fileName)) {
    ErrorBox("The feed/speed table " + fileName + " cannot be found.");
    return false;
  }
  TFeedSpeedReader reader(fileName, DrillInputFormat);
  auto next = ToolTable;
  // The table is read once for every tool with a size.
  std::vector<int32_t> tools, diameters;
  for (int32_t t = 1; t <= kToolCount; ++t)
    if (next[t].Diameter > 0) {
      tools.push_back(t);
      diameters.push_back(next[t].Diameter);
    }
  std::vector<TDecodedBlock> table;
  reader.LookupParameters(diameters, table);
  for (std::size_t k = 0; k < tools.size() && reader.Problems.empty(); ++k) {
    const int32_t t = tools[k];
    const TDecodedBlock& found = table[k];
    if (found.WordCount == 0) continue;
    // The words go through the reader's own tool words, as a tape header's
    // would, and come out in its tool list.
    TDecodedBlock words;
    words.Letters[1] = 'T';
    words.Values[1] = t;
    words.WordCount = 1;
    for (int32_t w = 1; w <= found.WordCount && words.WordCount < MaxBlockWords; ++w)
      if (found.Letters[w] == 'F' || found.Letters[w] == 'S') {
        ++words.WordCount;
        words.Letters[words.WordCount] = found.Letters[w];
        words.Values[words.WordCount] = found.Values[w];
      }
    reader.ApplyToolWords(words.Letters.data(), words.Values.data(), words.WordCount, true);
    const TToolRec& tool = reader.FindTool(t);
    if (tool.Feed != 0) next[t].Feed = tool.Feed / 1000;
    if (tool.Speed != 0) next[t].Speed = tool.Speed / 100;
  }
  if (!reader.Problems.empty()) {
    ErrorBox("The feed/speed table was not loaded:\r\n" + reader.Problems.front());
    return false;
  }
  if (!(next.Items == ToolTable.Items)) DatabaseModified = true;
  ToolTable = next;
  return true;
}

bool LoadFeedSpeedTable() {
  std::string name = ExecutionPath() + "TOOLDATA\\*.*";
  {
    TModalBracket bracket;
    if (!ExecuteOpenFileDialog("Select Feed/Speed Table", name, 255)) return false;
  }
  return LoadFeedSpeedTableFile(name);
}
