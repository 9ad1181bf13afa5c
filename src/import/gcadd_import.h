// Drawing files of 10-byte units into the CAD drawing on layer 0: points,
// lines, circles and three-point arcs, with components defined once and
// placed with scale, rotation and offset. Coordinates are inches.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "import/cad_sink.h"
#include "import/import_frame.h"
#include "tapein/import_cancel.h"

// Whether a file of size bytes, of which head holds the first and tail the
// last (at least 2 KB of each, or the whole file), is a drawing, and where
// its data starts.
bool RecognizeGcadd(const std::vector<uint8_t>& head, const std::vector<uint8_t>& tail, int64_t size,
                    int32_t& dataOffset);
// The same for a whole file's bytes.
bool RecognizeGcadd(const std::vector<uint8_t>& bytes, int32_t& dataOffset);

class TGcaddRecords;

class TGcaddReader : public TImportObject {
 public:
  TGcaddReader(std::string fileName, double scale);
  // Reads and recognizes the file; false with ErrorText when it is none.
  bool Open();
  void Read() override;

  const std::string FileName;
  const double Scale;
  int32_t DataOffset = 0;
  bool Valid = false;
  bool Failed = false;
  std::string ErrorText;
  int64_t BlankRecords = 0;  // records of zero bytes only, passed over
  // Cancel of a long reading, as the tape imports have it: the status box
  // shows once the reading has taken a second, and its Cancel stops the
  // reading with Cancelled set; the import then reads nothing.
  TImportCancel CancelBox{"Reading the file: Cancel withdraws the import."};
  bool Cancelled = false;

 private:
  void Parse(TGcaddRecords& records, const TMatrix3& m);
  // Counts a record read (placed copies included) and looks at Cancel
  // when it is time to.
  void Poll();
  void Fail(const std::string& text);
  // Counts an entity handed on.
  void Made();
  // The entities a placement of the component surely makes or refuses the
  // file on (its points, lines and circles, and those of the components it
  // places that are defined now), at most past the drawing's room; depth
  // counts the placements being followed.
  int64_t SurelyMade(const std::string& name, int32_t depth);

  int64_t Made_ = 0;      // entities handed on
  int64_t Read_ = 0;      // records read, those of placed components again
  int64_t Repeated_ = 0;  // records of the components read again at their placements
  int64_t Held_ = 0;  // bytes of the definitions kept
  // The file's records while Read reads them, and the file's size: how far
  // the reading is.
  const TGcaddRecords* File_ = nullptr;
  int64_t FileBytes_ = 0;
  struct TComponent {
    std::vector<uint8_t> Bytes;  // its records as the file holds them
    int64_t Records = 0;
    int64_t SurelyMade = -1;  // -1 until counted
  };
  std::map<std::string, TComponent> Components_;
  std::vector<std::string> Placing_;
};

using TGcaddToCad = TToCad<TGcaddReader>;

void ImportGcaddToCad(const std::string& fileName);
