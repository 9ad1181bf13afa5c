// The editor window's small dialogs: print, file information, colours and
// the about box.
#include <string>

#include "editor/editor_window.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/printer.h"

namespace {

class TDoPrintDialog : public TForm {
 public:
  TDoPrintDialog()
      : TForm("TDoPrintDialog"),
        PrintGroup(Add<TGroupBox>("PrintGroup", "File to print:")),
        Label1(PrintGroup.Add<TLabel>("Label1", "UNTITLED.TXT")),
        SelTextCheckBox(PrintGroup.Add<TCheckBox>("SelTextCheckBox", "Print Selected Text")) {
    SetCaption("Print File");
    auto& row = Add<TPanel>("ButtonRow");
    row.SetFlow(TFlow::Horizontal);
    row.SetBevel(bvNone);
    row.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
    row.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
    row.Add<TButton>("SetupButton", "&Setup").OnClick = [](TControl&) { Printer().ExecuteSetupDialog(); };
  }
  TGroupBox& PrintGroup;
  TLabel& Label1;
  TCheckBox& SelTextCheckBox;
};

// The text's lines as printed: at most 255 characters each.
void PrintLines(TQedTextFileEditor& editor, bool selected) {
  TPrinter& printer = Printer();
  printer.Title = "Quillex print job";
  const std::vector<std::string> fonts = printer.Fonts();
  TCanvas& canvas = printer.Canvas();
  canvas.Font = TFont{};
  canvas.Font.Name = fonts.empty() ? "Courier New" : fonts.front();
  canvas.Pen.Color = clBlack;
  canvas.Pen.Width = 1;
  TPrinterLineChannel out(printer);
  if (!out.Open()) {
    if (!printer.LastError.empty()) ErrorBox(printer.LastError);
    return;
  }
  if (selected && editor.SelectionExists()) {
    const std::string text = editor.SelectedText();
    size_t start = 0;
    for (;;) {
      const size_t e = text.find("\r\n", start);
      const size_t n = (e == std::string::npos ? text.size() : e) - start;
      out.WriteLine(text.substr(start, std::min<size_t>(n, 255)));
      if (e == std::string::npos) break;
      start = e + 2;
    }
  } else {
    for (int32_t l = 1; l <= editor.LineCount(); ++l) out.WriteLine(editor.GetPrintableLine(l, 256));
  }
  out.Close();
}

}  // namespace

void ShowPrintDialog(TQuillexForm& form) {
  TQedTextFileEditor& editor = *form.Editor;
  TDoPrintDialog d;
  TTextPoint a, b;
  const bool sel = editor.GetSelection(a, b);
  const TTextPoint c = editor.Caret();
  d.SelTextCheckBox.SetEnabled(sel);
  d.SelTextCheckBox.SetChecked(sel && !(c < a) && !(b < c));
  d.Label1.SetCaption(form.FileName);
  if (d.ShowModal() != mrOk) return;
  ProcessMessages();
  PrintLines(editor, d.SelTextCheckBox.Checked());
}

void ShowFileInfo(const std::string& fileName, bool modified, int32_t lines, int64_t bytes) {
  TForm d("TInfoDialog");
  d.SetCaption("Quillex version 1.01");
  d.Add<TLabel>("CurrentFileLabel", "Current File:");
  d.Add<TLabel>("FileNameLabel", fileName);
  d.Add<TLabel>("ModifiedLabel", modified ? "Modified" : "Not Modified");
  d.Add<TLabel>("LinesLabel", lines == 1 ? "1 Line" : std::to_string(lines) + " Lines");
  d.Add<TLabel>("BytesLabel", bytes == 1 ? "1 Byte" : std::to_string(bytes) + " Bytes");
  d.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  d.ShowModal();
}

bool RunColorDialog(TColor& back, TColor& text, TColor& highBack, TColor& highText) {
  TForm d("TFontColorDialog");
  d.SetCaption("Font Colors");
  TColor pair[4] = {back, text, highBack, highText};
  auto& grid = d.Add<TColorGrid>("ColorGrid1");
  auto& select = d.Add<TRadioGroup>("SelectGroup");
  select.SetItems({"&Regular text", "&Selected text"});
  auto& sample = d.Add<TPanel>("SamplePanel").Add<TPaintBox>("SamplePaintBox");
  sample.SetWidth(200);
  sample.SetHeight(50);
  bool syncing = false;
  auto marks = [&] {
    const int k = select.ItemIndex() == 1 ? 2 : 0;
    syncing = true;
    if (int i = TColorGrid::IndexOfColor(pair[k]); i >= 0) grid.SetBackgroundIndex(i);
    if (int i = TColorGrid::IndexOfColor(pair[k + 1]); i >= 0) grid.SetForegroundIndex(i);
    syncing = false;
  };
  sample.OnPaint = [&](TControl&) {
    TCanvas& c = sample.Canvas();
    c.Font = TFont{"Courier New", 11};
    c.Brush.Color = pair[0];
    c.FillRect(TRect{0, 0, sample.Width(), sample.Height()});
    c.Font.Color = pair[1];
    c.TextOut(5, 5, "Regular Text");
    c.Brush.Color = pair[2];
    c.FillRect(TRect{0, 25, sample.Width(), 45});
    c.Font.Color = pair[3];
    c.TextOut(5, 27, "Selected text");
  };
  grid.OnChange = [&](TControl&) {
    if (syncing) return;
    const int k = select.ItemIndex() == 1 ? 2 : 0;
    pair[k] = grid.BackgroundColor();
    pair[k + 1] = grid.ForegroundColor();
    sample.Invalidate();
  };
  select.OnChange = [&](TControl&) { marks(); };
  select.SetItemIndex(0);
  marks();
  d.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  d.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
  if (d.ShowModal() != mrOk) return false;
  back = pair[0];
  text = pair[1];
  highBack = pair[2];
  highText = pair[3];
  return true;
}

void ShowAbout() {
  TForm d("TAboutWindow");
  d.SetCaption("About Quillex");
  d.Add<TLabel>("ProductName", "Quillex");
  d.Add<TLabel>("Version", "Revision 1.01");
  d.Add<TLabel>("Comments", "The NC text editor of KORVEX 6");
  d.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  d.ShowModal();
}
