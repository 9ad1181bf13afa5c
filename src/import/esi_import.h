// Laser drill files (the 5100 dialect that Make Drill Tape writes): one
// reader hands each programmed element on; the CAD import turns holes into
// circles and paths into lines and arcs, the drill import turns holes into
// hidden hits with their tool sizes. Coordinates and sizes are microns.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "import/import_frame.h"

class TEsiReader {
 public:
  explicit TEsiReader(std::string fileName) : FileName(std::move(fileName)) {}
  virtual ~TEsiReader() = default;
  TEsiReader(const TEsiReader&) = delete;
  TEsiReader& operator=(const TEsiReader&) = delete;

  // Reads the whole file; false with ErrorText when it cannot be read or an
  // element cannot be taken.
  bool Read();
  void ParseLine(const std::string& upperLine);

  // Sizes in microns by tool number, as defined by T0/T2 (a later
  // definition replaces the size).
  std::map<int32_t, double> Tools;
  double X = 0, Y = 0, I = 0, J = 0;
  int32_t Tool = 1;
  uint8_t Motion = 0;  // 0 hole, 1 move, 2 line, 3 clockwise arc, 4 counter-clockwise arc
  int32_t LineNumber = 0;
  int32_t Elements = 0;
  bool Failed = false;
  std::string ErrorText;
  const std::string FileName;

 protected:
  virtual void Hole(int32_t tool, double x, double y) {}
  virtual void MoveTo(double x, double y) {}
  virtual void LineTo(double x, double y) {}
  // clockwise: the arc runs clockwise from the pen to (x, y); (i, j) is the
  // absolute centre.
  virtual void ArcTo(bool clockwise, double x, double y, double i, double j) {}
  void Fail(const std::string& text);
};

class TEsiToCadImporter : public TEsiReader {
 public:
  using TEsiReader::TEsiReader;
  TPendingCad Pending;

 protected:
  void Hole(int32_t tool, double x, double y) override;
  void MoveTo(double x, double y) override;
  void LineTo(double x, double y) override;
  void ArcTo(bool clockwise, double x, double y, double i, double j) override;

 private:
  int32_t PenX = 0, PenY = 0;
};

// Tools outside 1 to 1000 have no place in the tool table: a hole that uses
// one refuses the file.
class TEsiToDrillImporter : public TEsiReader {
 public:
  using TEsiReader::TEsiReader;
  // Stores the holes hidden on the current layer and the tool sizes.
  void Commit();
  struct THole {
    int32_t X, Y, Tool;
  };
  std::vector<THole> Holes;

 protected:
  void Hole(int32_t tool, double x, double y) override;
};

// Microns to database units.
int32_t EsiToDatabase(double microns);

void ImportEsiToCad(const std::string& fileName);
void ImportEsiToDrill(const std::string& fileName);
double DetectEsiForDrill(const std::string& fileName);
