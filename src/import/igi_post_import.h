// Photoplot and drawing files of 12-byte records (type, two reals in
// inches, a word) into the CAD drawing on layer 0: moves, draws, arcs,
// flashes of round, obround and square apertures, and sub-figures that are
// defined once and placed by flashes. Either byte order is read.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "import/cad_sink.h"
#include "import/import_frame.h"
#include "tapein/import_cancel.h"

struct TIgiRecord {
  int16_t Type = 0;
  float X = 0, Y = 0;
  int16_t Word = 0;
  uint8_t Raw[10] = {};  // the bytes of X, Y and Word as stored (labels)
};

// The record at a byte offset of a buffer in the given order.
TIgiRecord DecodeIgiRecord(const uint8_t* bytes, bool bigEndian);
bool IsIgiHeader(const TIgiRecord& r);

// Records one at a time; Index is the 0-based number of the one last given.
class TIgiRecords {
 public:
  virtual ~TIgiRecords() = default;
  virtual bool Next(TIgiRecord& record) = 0;
  std::size_t Index = 0;
};

class TIgiPostReader : public TImportObject {
 public:
  TIgiPostReader(std::string fileName, double scale);
  // Takes the file in the byte order whose records check; false (with
  // ErrorText) when neither does.
  bool Open();
  void Read() override;

  const std::string FileName;
  const double Scale;
  bool BigEndian = false;
  bool HasHeader = false;
  bool Failed = false;
  std::string ErrorText;
  int32_t TailBytes = 0;  // bytes after the last whole record, not read
  std::size_t RecordCount = 0;  // whole records in the file
  int64_t BlankRecords = 0;  // records of zero bytes only, passed over
  std::size_t First = 0;  // the first record of the drawing (after the header)
  bool Opened = false;
  // Cancel of a long reading, as the tape imports have it: the status box
  // shows once the reading has taken a second, and its Cancel stops the
  // reading with Cancelled set; the import then reads nothing.
  TImportCancel CancelBox{"Reading the file: Cancel withdraws the import."};
  bool Cancelled = false;

 private:
  struct TLevel {
    int32_t Mode = 0;
    double Width = 0.001, Height = 0.001;
    int32_t Figure = 0;
    std::string Label;
    int32_t Capturing = -1;  // the sub-figure being captured
  };
  void Dispatch(TIgiRecords& records, const TMatrix3& m);
  void Flash(TLevel& level, const TIgiRecord& r, const TMatrix3& m);
  void Fail(const std::string& text);
  // Counts entities handed on.
  void Made(int32_t count);
  // Counts a record read (replayed ones included) and looks at Cancel when
  // it is time to.
  void Poll();

  TRealPoint Current_{}, Centre_{}, ArcStart_{};
  bool Counter_ = false, WasMove_ = false, PathOpen_ = false, Ended_ = false;
  std::map<int32_t, std::vector<TIgiRecord>> Figures_;
  std::vector<int32_t> Placing_;  // sub-figures being replayed, outermost first
  uint32_t Dispatched_ = 0;  // wraps: only its low bits are looked at
  int64_t Made_ = 0;      // entities handed on
  int64_t Read_ = 0;      // records read, those of replayed sub-figures again
  int64_t Repeated_ = 0;  // records of the sub-figures read again at their flashes
  int64_t Held_ = 0;  // bytes of the sub-figures kept and of their copies in replay
  // The file's records while Read reads them: how far the reading is.
  const TIgiRecords* File_ = nullptr;
};

using TIgiPostToCad = TToCad<TIgiPostReader>;

void ImportIgiPostToCad(const std::string& fileName);
