#include "platform/headless/recording_canvas.h"

#include "platform/canvas_text_cell.h"

std::string TCanvasCall::ToString() const {
  std::string s = Op + "(";
  bool first = true;
  auto sep = [&] {
    if (!first) s += ",";
    first = false;
  };
  for (int a : Args) {
    sep();
    s += std::to_string(a);
  }
  for (const TPoint& p : Points) {
    sep();
    s += std::to_string(p.X) + ":" + std::to_string(p.Y);
  }
  if (Op == "TextOut" || Op == "TextRect") {
    sep();
    s += "\"" + Text + "\"";
  }
  return s + ")";
}

std::vector<std::string> TRecordingCanvas::Describe() const {
  std::vector<std::string> out;
  out.reserve(Calls.size());
  for (const TCanvasCall& c : Calls) out.push_back(c.ToString());
  return out;
}

TCanvasCall& TRecordingCanvas::Record(const char* op, std::vector<int> args) {
  TCanvasCall& c = Calls.emplace_back();
  c.Op = op;
  c.Args = std::move(args);
  c.Pen = Pen;
  c.Brush = Brush;
  c.Font = Font;
  c.CopyMode = CopyMode;
  c.BackColor = BackColor;
  return c;
}

TCanvas* TRecordingCanvas::Target() {
  if (!target_) return nullptr;
  target_->Pen = Pen;
  target_->Brush = Brush;
  target_->Font = Font;
  target_->CopyMode = CopyMode;
  target_->BackColor = BackColor;
  return target_;
}

void TRecordingCanvas::MoveTo(int x, int y) {
  Record("MoveTo", {x, y});
  if (TCanvas* t = Target()) t->MoveTo(x, y);
  pos_ = {x, y};
}

void TRecordingCanvas::LineTo(int x, int y) {
  Record("LineTo", {x, y});
  if (TCanvas* t = Target()) {
    t->MoveTo(pos_.X, pos_.Y);
    t->LineTo(x, y);
  }
  pos_ = {x, y};
}

void TRecordingCanvas::SetPixel(int x, int y, TColor c) {
  Record("SetPixel", {x, y, int(c)});
  if (TCanvas* t = Target()) t->SetPixel(x, y, c);
}

TColor TRecordingCanvas::GetPixel(int x, int y) const {
  return target_ ? target_->GetPixel(x, y) : clWhite;
}

void TRecordingCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  Record("Arc", {x1, y1, x2, y2, x3, y3, x4, y4});
  if (TCanvas* t = Target()) t->Arc(x1, y1, x2, y2, x3, y3, x4, y4);
}

void TRecordingCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  Record("Ellipse", {x1, y1, x2, y2});
  if (TCanvas* t = Target()) t->Ellipse(x1, y1, x2, y2);
}

void TRecordingCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  Record("Rectangle", {x1, y1, x2, y2});
  if (TCanvas* t = Target()) t->Rectangle(x1, y1, x2, y2);
}

void TRecordingCanvas::Polygon(const std::vector<TPoint>& points) {
  Record("Polygon", {}).Points = points;
  if (TCanvas* t = Target()) t->Polygon(points);
}

void TRecordingCanvas::Polyline(const std::vector<TPoint>& points) {
  Record("Polyline", {}).Points = points;
  if (TCanvas* t = Target()) t->Polyline(points);
}

void TRecordingCanvas::FillRect(const TRect& r) {
  Record("FillRect", {r.Left, r.Top, r.Right, r.Bottom});
  if (TCanvas* t = Target()) t->FillRect(r);
}

void TRecordingCanvas::FrameRect(const TRect& r) {
  Record("FrameRect", {r.Left, r.Top, r.Right, r.Bottom});
  if (TCanvas* t = Target()) t->FrameRect(r);
}

void TRecordingCanvas::TextOut(int x, int y, const std::string& text) {
  Record("TextOut", {x, y}).Text = text;
  if (TCanvas* t = Target()) t->TextOut(x, y, text);
  pos_ = {x + TextExtent(text).X, y};
}

void TRecordingCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  Record("TextRect", {r.Left, r.Top, r.Right, r.Bottom, x, y}).Text = text;
  if (TCanvas* t = Target()) t->TextRect(r, x, y, text);
}

TPoint TRecordingCanvas::TextExtent(const std::string& text) {
  if (TCanvas* t = Target()) return t->TextExtent(text);
  TTextCell cell = TextCellOf(Font, ppi_);
  return {int(TextCharacters(text).size()) * cell.Width, cell.Height};
}

void TRecordingCanvas::CopyRect(const TRect& dest, const TBitmap& source, const TRect& src) {
  Record("CopyRect", {dest.Left, dest.Top, dest.Right, dest.Bottom, src.Left, src.Top, src.Right, src.Bottom});
  if (TCanvas* t = Target()) t->CopyRect(dest, source, src);
}

void TRecordingCanvas::ClipRect(const TRect& r) {
  Record("ClipRect", {r.Left, r.Top, r.Right, r.Bottom});
  if (TCanvas* t = Target()) t->ClipRect(r);
}
