#include "foundation/report_windows.h"

#include <algorithm>

#include "platform/events.h"

namespace {

const std::string BlankLine(80, ' ');

// Left position that centres a button of the given width in a strip.
int CentredLeft(int stripWidth, int buttonWidth) { return stripWidth / 2 - buttonWidth / 2; }

// The OK button in the middle of its strip, at a button's size: the strip
// was 0 high until now, which is all the layout could have given it.
void PlaceOKButton(TPanel& strip, TButton& ok) {
  constexpr int Width = 75, Height = 25;
  ok.SetBounds(CentredLeft(strip.Width(), Width), (strip.Height() - Height) / 2, Width, Height);
}

}  // namespace

// ---- TGTWindow -------------------------------------------------------------------

TGTWindow::TGTWindow()
    : TForm("TGTWindow"),
      PaintBoxRoot(Add<TPanel>("PaintBoxRoot")),
      PaintBox(PaintBoxRoot.Add<TPaintBox>("PaintBox")),
      ButtonPanel(Add<TPanel>("ButtonPanel")),
      OKButton(ButtonPanel.Add<TButton>("OKButton", "OK", mrOk)) {
  // A report can be made larger (or maximised) to read it.
  SetSizeable(true);
  ButtonPanel.SetAlign(alBottom);
  ButtonPanel.SetHeight(0);
  ButtonPanel.SetBevel(bvNone);
  // Nothing else in the window takes the keyboard: Enter ends the report.
  OKButton.SetDefault(true);
  OKButton.SetVisible(false);
  ButtonPanel.OnResize = [this](TControl&) { PlaceOKButton(ButtonPanel, OKButton); };
  PaintBoxRoot.SetAlign(alClient);
  PaintBoxRoot.SetColor(clWhite);
  PaintBoxRoot.SetBevel(bvNone);
  PaintBox.SetAlign(alClient);
  // A console: every character as wide as the next, so columns line up.
  PaintBox.Canvas().Font.FixedPitch = true;
  PaintBox.OnPaint = [this](TControl&) { PaintBoxPaint(); };
  repaintTimer_.SetEnabled(false);
  repaintTimer_.SetInterval(kRepaintMs);
  repaintTimer_.OnTimer = [this] {
    repaintTimer_.SetEnabled(false);
    if (behind_) PaintBox.Repaint();
  };
  FormCreate();
}

void TGTWindow::FormCreate() {
  for (int32_t i = 1; i <= BufferLines; ++i) Lines[i] = BlankLine;
  CursorX = CursorY = 1;
  OKVisible = false;
  MeasureX();
}

void TGTWindow::MeasureX() {
  // The cells are those of the font the lines are drawn in, as high as its
  // letters reach below the line (g, p, y) and above it.
  const TPoint size = PaintBox.Canvas().TextExtent("X");
  CharWidth = std::max(1, size.X);
  CharHeight = std::max(1, size.Y);
}

void TGTWindow::ClrScr() {
  for (int32_t i = 1; i <= BufferLines; ++i) Lines[i] = BlankLine;
  PaintBox.Repaint();
  ProcessMessages();
}

void TGTWindow::GotoXY(int32_t column, int32_t row) {
  CursorX = column;
  CursorY = row;
}

void TGTWindow::WriteAt(int32_t x, int32_t y, const std::string& text) {
  // A picture that is behind is painted whole by the next paint.
  if (!behind_) {
    MeasureX();
    PaintBox.Canvas().TextOut((x - 1) * CharWidth + 5, (y - 1) * CharHeight + 5, text);
  }
  if (y >= 1 && y <= BufferLines && x >= 1) {
    std::string& line = Lines[y];
    std::string head = line.substr(0, std::min<size_t>(line.size(), size_t(x - 1)));
    head.resize(size_t(x - 1), ' ');
    const size_t tailFrom = size_t(x - 1) + text.size();
    const std::string tail = tailFrom < line.size() ? line.substr(tailFrom) : std::string();
    line = head + text + tail;
  }
}

void TGTWindow::Write(const std::string& text) {
  WriteAt(CursorX, CursorY, text);
  CursorX += int32_t(text.size());
  if (CursorX > Columns) {
    ++CursorY;
    CursorX = 1;
  }
  Scroll();
}

void TGTWindow::WriteLn(const std::string& text) {
  WriteAt(CursorX, CursorY, text);
  CursorX = 1;
  ++CursorY;
  Scroll();
}

void TGTWindow::Scroll() {
  if (CursorY <= Rows) return;
  --CursorY;
  std::move(Lines.begin() + 2, Lines.end(), Lines.begin() + 1);
  Lines[BufferLines] = BlankLine;
  RepaintScrolled();
}

void TGTWindow::RepaintScrolled() {
  if (!painted_ || GetTickCount() - lastPaint_ >= kRepaintMs) {
    PaintBox.Repaint();
    return;
  }
  if (behind_) return;
  behind_ = true;
  repaintTimer_.SetEnabled(true);
}

void TGTWindow::PaintBoxPaint() {
  painted_ = true;
  behind_ = false;
  lastPaint_ = GetTickCount();
  MeasureX();
  TCanvas& canvas = PaintBox.Canvas();
  canvas.Brush.Color = clWhite;
  canvas.FillRect(PaintBox.ClientRect());
  for (int32_t i = 1; i <= BufferLines; ++i)
    canvas.TextOut(5, (i - 1) * CharHeight + 5, Lines[i]);
  // A window the user resized shows as many characters as now fit.
  Columns = (Width() - 17) / CharWidth;
  Rows = (Height() - 36 - (OKVisible ? OKStripHeight : 0)) / CharHeight;
}

void TGTWindow::SetScreenSize(int32_t columns, int32_t rows) {
  Columns = columns;
  Rows = rows;
  ProcessMessages();
  MeasureX();
  SetClientSize(columns * CharWidth + 17, rows * CharHeight + 36 + (OKVisible ? OKStripHeight : 0));
  Realign();
  ProcessMessages();
  PlaceOKButton(ButtonPanel, OKButton);
  ProcessMessages();
}

void TGTWindow::ShowOKButton() {
  if (OKVisible) return;
  ButtonPanel.SetHeight(OKStripHeight);
  OKButton.SetVisible(true);
  Realign();
  SetClientSize(Width(), Height() + OKStripHeight);
  OKVisible = true;
  Realign();
  PlaceOKButton(ButtonPanel, OKButton);
  ProcessMessages();
}

// ---- TGTScrollWindow -----------------------------------------------------------------

TGTScrollWindow::TGTScrollWindow()
    : TForm("TGTScrollWindow"),
      Memo1(Add<TMemo>("Memo1")),
      ButtonPanel(Add<TPanel>("ButtonPanel")),
      OKButton(ButtonPanel.Add<TButton>("OKButton", "OK")) {
  SetSizeable(true);
  ButtonPanel.SetAlign(alBottom);
  ButtonPanel.SetHeight(0);
  ButtonPanel.SetBevel(bvNone);
  OKButton.SetDefault(true);
  OKButton.SetVisible(false);
  OKButton.OnClick = [this](TControl&) { OKButtonClick(); };
  // OK stays in the middle of a window the user resized or maximised.
  ButtonPanel.OnResize = [this](TControl&) { PlaceOKButton(ButtonPanel, OKButton); };
  Memo1.SetAlign(alClient);
  Memo1.SetReadOnly(true);
  Memo1.SetWordWrap(false);
  Memo1.SetFixedPitch(true);
  // Bars only when the text needs them: the window widens to its longest
  // line, so a report of short lines shows none across.
  Memo1.SetScrollBars(false);
  OKVisible = false;
  PendingLine.clear();
}

void TGTScrollWindow::OKButtonClick() {
  OKPressed_ = true;
  if (IsModal()) SetModalResult(mrOk);
}

void TGTScrollWindow::Clear() {
  Memo1.ClearLines();
  ProcessMessages();
}

void TGTScrollWindow::Write(const std::string& text) {
  // The line keeps its first 255 characters; appended in place, as a
  // reading writes a word at a time.
  constexpr std::size_t Longest = 255;
  if (PendingLine.size() < Longest) PendingLine.append(text, 0, Longest - PendingLine.size());
}

void TGTScrollWindow::WriteLn(std::string text) {
  if (!PendingLine.empty()) {
    FitLine(PendingLine);
    Memo1.AddLine(PendingLine);
    PendingLine.clear();
  }
  FitLine(text);
  Memo1.AddLine(std::move(text));
}

void TGTScrollWindow::FitLine(const std::string& line) {
  WantedWidth_ = std::max(WantedWidth_, FormsBackend().FixedPitchTextExtent(line).X + LineMargin);
  // A window on the screen widens when its work is done (ShowOKButton): the
  // window system may not have placed it yet while the first lines arrive.
  if (!Showing() && WantedWidth_ > Width()) SetClientSize(WantedWidth_, Height());
}

void TGTScrollWindow::SetTextSize(int32_t columns, int32_t rows) {
  const int32_t h = MemoFontHeight;
  SetClientSize(columns * h + 12, rows * h + 31 + (OKVisible ? OKStripHeight : 0));
  Realign();
  ProcessMessages();
  PlaceOKButton(ButtonPanel, OKButton);
  ProcessMessages();
}

void TGTScrollWindow::ShowOKButton() {
  if (!OKVisible) {
    ButtonPanel.SetHeight(OKStripHeight);
    OKButton.SetVisible(true);
    Realign();
    SetClientSize(std::max(Width(), WantedWidth_), Height() + OKStripHeight);
    OKVisible = true;
    Realign();
    PlaceOKButton(ButtonPanel, OKButton);
    ProcessMessages();
  }
  // The report waits for its OK: it comes to the front with the keyboard
  // (a message box that came and went meanwhile may have handed it away).
  OKButton.SetFocus();
  if (Showing()) BringToFront();
  OKPressed_ = false;
}

void TGTScrollWindow::HideOKButton() {
  if (!OKVisible) return;
  ButtonPanel.SetHeight(0);
  OKButton.SetVisible(false);
  Realign();
  SetClientSize(Width(), std::max(0, Height() - OKStripHeight));
  OKVisible = false;
  Realign();
  ProcessMessages();
}

void TGTScrollWindow::ScrollToEnd() {
  const auto& lines = Memo1.Lines();
  CaretLine = lines.empty() ? 0 : int32_t(lines.size()) - 1;
  CaretColumn = lines.empty() ? 0 : int32_t(lines.back().size());
  // The memo's widget follows its last line when lines are added; telling it
  // the lines again brings the last one into view.
  Memo1.Changed(TChange::Value);
}
