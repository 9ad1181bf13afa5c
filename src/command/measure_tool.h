// The Measure command's tool: up to three clicked points, shown on the
// command panel's prompt lines with their coordinates, differences,
// distance and angle (the direction of a line of two points, or the angle
// at the first point between the rays to the second and third).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "command/command_interpreter.h"
#include "command/user_panel.h"

// v rounded to 4 decimals with at least 4 digits after the "." ("1.5000").
std::string MeasureText(double v);

class TMeasureTool {
 public:
  // Saves the prompt lines and shows the first prompt.
  TMeasureTool();
  // Gives the saved prompt lines back.
  ~TMeasureTool();
  TMeasureTool(const TMeasureTool&) = delete;
  TMeasureTool& operator=(const TMeasureTool&) = delete;

  void Restart();
  // A click at a database point: a click on a held point drops or swaps
  // points (see the table in the source), any other is stored.
  void ClickPoint(int32_t x, int32_t y);
  // The points for the rubber band (integer database units); the count.
  int32_t GetPoints(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, int32_t& x3,
                    int32_t& y3) const;
  int32_t Count() const { return Count_; }

 private:
  struct TPoint {
    double DX = 0.0, DY = 0.0;  // display units, machine axes
    int32_t X = 0, Y = 0;
  };
  void Store(int slot, int32_t x, int32_t y);
  void ShowResult();
  TPromptBuffer SavedPrompts_;
  int32_t Count_ = 0;
  TPoint Points_[3];
};

// The MEASURE command while it runs: clicks go to the tool, the rubber
// band joins the points held.
class TMeasureCommand : public TInteractiveCommand {
 public:
  uint16_t InputMode() const override { return ievMouseDown; }
  bool HandleEvent(TInputEvent& event) override;
  void Cancel() override;
  TMeasureTool& Tool() { return Tool_; }

 private:
  void ShowBand();
  TMeasureTool Tool_;
};

// Starts MEASURE, or restarts the running one.
bool StartMeasure();
