// The photoplot into the CAD drawing: drawn tracks as centre lines and
// arcs, flashed apertures as their outlines, on CAD layer 0 (dark) and 1
// (clear polarity). One undo step, "Import file"; a file that stops with an
// error adds nothing.
#pragma once
#include <string>

#include "import/gerber_reader.h"
#include "import/import_frame.h"

class TGerberCadReader : public TGerberReader {
 public:
  explicit TGerberCadReader(const std::string& fileName) : TGerberReader(fileName, true) {}
  TGerberCadReader(const std::string& fileName, TQuiet q) : TGerberReader(fileName, q) {}

  // Sets the unit scales, reads the file, stores the entities.
  void Run() override;
  void Point(int64_t x, int64_t y) override;
  void Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2) override;
  void Circle(int64_t x, int64_t y, int64_t radius) override;
  void Arc(bool counterClockwise, bool multiQuadrant, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
           int64_t i, int64_t j) override;

  // Database units per file unit (real numbers: 6 inch decimals are 25.4
  // units, not 25).
  double InchScale = 0.0;
  double MetricScale = 0.0;
  TPendingCad Pending;

 private:
  int32_t ToDatabase(double v) const;
  // True when v (file units) lies within what a job holds.
  bool FitsDatabase(double v) const;
  // A point of the file on the film, in database units.
  TIntPoint ToDatabase(double x, double y) const;
  // Stops the reading once it has drawn more than the drawing's room: the
  // entities would all be refused anyway.
  void CheckRoom() {
    if (static_cast<int64_t>(Pending.Count()) > room_ && !Failed) Fail("the file draws " + NoRoomForEntitiesText());
  }
  int64_t room_ = 0;
};

void ImportGerberToCad(const std::string& fileName);
double DetectGerberFile(const std::string& fileName);
