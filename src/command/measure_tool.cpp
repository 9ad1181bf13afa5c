#include "command/measure_tool.h"

#include <cmath>
#include <vector>

#include "command/argument_command.h"
#include "command/rubber_brain.h"
#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"

std::string MeasureText(double v) {
  std::string text = RealToStr(std::nearbyint(v * 10000.0) * 0.0001);
  const size_t dot = text.find('.');
  if (dot == std::string::npos) return std::string(8, ' ');
  while (text.size() - dot - 1 < 4) text += '0';
  return text;
}

TMeasureTool::TMeasureTool() {
  if (UserPanel != nullptr) UserPanel->SavePrompts(SavedPrompts_);
  ShowResult();
}

TMeasureTool::~TMeasureTool() {
  if (UserPanel != nullptr) UserPanel->RestorePrompts(SavedPrompts_);
}

void TMeasureTool::Restart() {
  Count_ = 0;
  ShowResult();
}

void TMeasureTool::Store(int slot, int32_t x, int32_t y) {
  TPoint& p = Points_[slot];
  p.X = x;
  p.Y = y;
  double ox = 0.0, oy = 0.0;
  OrientRealPoint(x, y, Version, ox, oy);
  p.DX = ox / UnitsPerDisplayUnit;
  p.DY = oy / UnitsPerDisplayUnit;
}

void TMeasureTool::ClickPoint(int32_t x, int32_t y) {
  auto hits = [&](int i) { return i < Count_ && Points_[i].X == x && Points_[i].Y == y; };
  switch (Count_) {
    case 0:
      Store(0, x, y);
      Count_ = 1;
      break;
    case 1:
      if (hits(0)) {
        Count_ = 0;
      } else {
        Store(1, x, y);
        Count_ = 2;
      }
      break;
    case 2:
      if (hits(0)) {
        Count_ = 0;
      } else if (hits(1)) {
        Count_ = 1;
      } else {
        Store(2, x, y);
        Count_ = 3;
      }
      break;
    default:
      if (hits(0))
        std::swap(Points_[1], Points_[2]);
      else if (hits(1))
        Count_ = 0;
      else if (hits(2))
        Count_ = 2;
      else
        Store(2, x, y);
      break;
  }
  ShowResult();
}

int32_t TMeasureTool::GetPoints(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, int32_t& x3,
                                int32_t& y3) const {
  if (Count_ == 1) {
    x1 = Points_[0].X;
    y1 = Points_[0].Y;
  } else if (Count_ >= 2) {
    x1 = Points_[1].X;
    y1 = Points_[1].Y;
    x2 = Points_[0].X;
    y2 = Points_[0].Y;
    if (Count_ == 3) {
      x3 = Points_[2].X;
      y3 = Points_[2].Y;
    }
  }
  return Count_;
}

void TMeasureTool::ShowResult() {
  if (UserPanel == nullptr) return;
  UserPanel->ClearPrompts();
  const TPoint& p1 = Points_[0];
  auto at = [](const TPoint& p) { return "X " + MeasureText(p.DX) + " Y " + MeasureText(p.DY); };
  if (Count_ == 0) {
    UserPanel->SetPromptLine(1, 1, "Select point to measure from");
    UserPanel->SetPromptLine(2, 1, ">");
    return;
  }
  if (Count_ == 1) {
    UserPanel->SetPromptLine(1, 1, "Measure from " + at(p1));
    UserPanel->SetPromptLine(2, 1, ">");
    return;
  }
  const TPoint& other = Points_[Count_ - 1];
  const TRealPoint a{p1.DX, p1.DY}, b{Points_[1].DX, Points_[1].DY}, o{other.DX, other.DY};
  double angle = 0.0;
  if (Count_ == 2) {
    angle = DirectionAngle(a, b);
    while (angle > 180.0) angle -= 180.0;
  } else {
    const TRealPoint c{Points_[2].DX, Points_[2].DY};
    angle = (a == b || a == c || b == c) ? 0.0 : VertexAngle(c, a, b);
  }
  UserPanel->SetPromptLine(1, 1, "Measure from " + at(p1) + " to " + at(other));
  UserPanel->SetPromptLine(2, 1,
                           "DX= " + MeasureText(p1.DX - other.DX) + " DY= " +
                               MeasureText(p1.DY - other.DY) + " Len= " +
                               MeasureText(Distance(a, o)) + " Ang= " + MeasureText(angle));
  UserPanel->SetPromptLine(3, 1, ">");
}

// ---- TMeasureCommand -------------------------------------------------------------

bool TMeasureCommand::HandleEvent(TInputEvent& event) {
  if (event.Kind != ievMouseDown) return true;
  if (event.Buttons & mbtRight) {
    Cancel();
    return false;
  }
  if ((event.Buttons & mbtLeft) == 0) return true;
  if (RubberBrain != nullptr) RubberBrain->Hide();
  Tool_.ClickPoint(event.WorldX, event.WorldY);
  ShowBand();
  return true;
}

void TMeasureCommand::Cancel() {
  if (RubberBrain != nullptr) RubberBrain->Hide();
}

void TMeasureCommand::ShowBand() {
  if (RubberBrain == nullptr || !CommandServices.DrawBand) return;
  int32_t x[3] = {}, y[3] = {};
  const int32_t n = Tool_.GetPoints(x[0], y[0], x[1], y[1], x[2], y[2]);
  if (n < 2) return;
  // Two points: the line; three: the two rays from the first point and the
  // arc of the angle between them (the tool gives the second point first,
  // then the first, then the third).
  std::vector<TIntPoint> points{{x[0], y[0]}, {x[1], y[1]}};
  if (n == 3) points.push_back({x[2], y[2]});
  RubberBrain->Show([points] { CommandServices.DrawBand(bandCorner, points); });
}

bool StartMeasure() {
  if (ECO == nullptr) return false;
  if (auto* running = dynamic_cast<TMeasureCommand*>(ECO->ActiveCommand())) {
    running->Tool().Restart();
    return true;
  }
  ECO->CancelCommand();
  ECO->SetActiveCommand(std::make_unique<TMeasureCommand>());
  return true;
}
