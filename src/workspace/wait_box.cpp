#include "workspace/wait_box.h"

#include "platform/events.h"
#include "workspace/statistics_reports.h"

TShowWaitDlg::TShowWaitDlg()
    : TForm("TShowWaitDlg"),
      ImagePanel(Add<TPanel>("ImagePanel")),
      CaptionPaintBox(Add<TPaintBox>("CaptionPaintBox")) {
  SetCaption("Please Wait...");
  SetSizeable(false);
  SetColor(clWhite);
  ImagePanel.SetColor(clWhite);
  ImagePanel.SetCaption("");
  CaptionPaintBox.SetColor(clWhite);
  CaptionPaintBox.OnPaint = [this](TControl&) { CaptionPaintBoxPaint(); };
  Place();
}

void TShowWaitDlg::Place() {
  SetClientSize(BoxWidth, BoxHeight);
  ImagePanel.SetBounds(0, 0, ImagePanelWidth, BoxHeight);
  CaptionPaintBox.SetBounds(ImagePanelWidth, 0, BoxWidth - ImagePanelWidth, BoxHeight);
}

void TShowWaitDlg::SetMessage(const std::string& message) {
  Lines = SplitWaitMessage(message);
  CaptionPaintBox.Invalidate();
}

void TShowWaitDlg::CaptionPaintBoxPaint() {
  TCanvas& canvas = CaptionPaintBox.Canvas();
  canvas.Font.Name = "System";
  canvas.Font.Bold = true;
  canvas.Font.Color = clBlack;
  canvas.Brush.Style = bsSolid;
  canvas.Brush.Color = clWhite;
  canvas.FillRect({0, 0, CaptionPaintBox.Width(), CaptionPaintBox.Height()});
  int32_t width = BoxWidth, height = BoxHeight;
  PaintWaitLines(canvas, Lines, ImagePanelWidth, width, height);
  if (width != BoxWidth || height != BoxHeight) {
    // The box grew: lay it out again; the paint box's next paint shows the
    // lines at the new size.
    BoxWidth = width;
    BoxHeight = height;
    Place();
  }
}
