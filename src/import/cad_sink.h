// The CAD side shared by the readers of plotter, laser, board-description
// and drawing files: every element goes to the pending entities on CAD
// layer (layer mod 30), to be added as one undo step once the whole file
// has been read. Geometry beyond the job's range is counted, for the entry
// to refuse the file.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>

#include "foundation/display_units.h"
#include "import/import_frame.h"

template <class TReader>
class TToCad : public TReader {
 public:
  using TReader::TReader;
  void AddPoint(int32_t layer, double x, double y) override {
    Pending.Point(LayerOf(layer), Fit(x), Fit(y));
  }
  void AddLine(int32_t layer, double x1, double y1, double x2, double y2) override {
    Pending.Line(LayerOf(layer), Fit(x1), Fit(y1), Fit(x2), Fit(y2));
  }
  // Ends that meet, or angles that do, make the whole circle.
  void AddArc(int32_t layer, double sx, double sy, double ex, double ey, double cx, double cy,
              double a1, double a2) override {
    if ((sx == ex && sy == ey) || std::fabs(a1 - a2) < 1e-10) {
      AddCircle(layer, cx, cy, std::hypot(sx - cx, sy - cy));
      return;
    }
    Pending.Arc(LayerOf(layer), Fit(sx), Fit(sy), Fit(ex), Fit(ey), Fit(cx), Fit(cy));
  }
  void AddCircle(int32_t layer, double cx, double cy, double r) override {
    for (const double edge : {cx - r, cx + r, cy - r, cy + r}) Fit(edge);
    Pending.Circle(LayerOf(layer), Fit(cx), Fit(cy), Fit(r));
  }

  TPendingCad Pending;
  // Values beyond the largest coordinate a job holds: the entry refuses
  // the file rather than pin them to the edge.
  int64_t OutOfRange = 0;

 private:
  int32_t Fit(double v) {
    if (!(std::fabs(v) <= 2147483647.0)) ++OutOfRange;
    return SaturatingRound(v);
  }
  static uint8_t LayerOf(int32_t layer) { return layer < 0 ? 0 : static_cast<uint8_t>(layer % 30); }
};

// The refusal of a file whose geometry reaches beyond what a job holds.
inline std::string BeyondTheJobText(const std::string& fileName) {
  return "<" + fileName + "> reaches beyond the largest coordinate a job holds (84.5466 in or 2147.48 mm); "
         "check its units.";
}

// The end of a reading the user stopped with Cancel.
inline std::string CancelledImportText(const std::string& fileName) {
  return "The import of <" + fileName + "> was cancelled.";
}
