// Board descriptions of 80-column records into the CAD drawing on layer 0:
// paths and arcs of the numeric feature records, parameter records echoed
// in the report window. Coordinates are in ten-thousandths of an inch.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "import/cad_sink.h"
#include "import/import_frame.h"

// The records of a file: lines of text, or a stream of 80-character records
// when the first line is 82 characters or longer.
class TIpcRecords {
 public:
  explicit TIpcRecords(const std::string& fileName);
  ~TIpcRecords();
  TIpcRecords(const TIpcRecords&) = delete;
  TIpcRecords& operator=(const TIpcRecords&) = delete;
  bool Opened() const { return File_ != nullptr; }
  // The next record; false at the end of the file. Cut is set when the
  // last record of a stream ends early or a read fails.
  bool Next(std::string& record);
  bool LineMode = true;
  bool Cut = false;
  // What ended the reading early, for the report.
  std::string CutText;
  // Records (or lines) read so far.
  int32_t Lines = 0;

 private:
  std::FILE* File_ = nullptr;
};

class TIpcReader : public TImportObject {
 public:
  TIpcReader(std::string fileName, double scale) : FileName(std::move(fileName)), Scale(scale) {}
  void Read() override;
  virtual void ParameterRecord(const std::string& text) {}
  virtual void CommentRecord(const std::string& text) {}

  const std::string FileName;
  const double Scale;
  bool ProfileFound = false;  // a path or arc was drawn
  bool EndSeen = false;
  bool Failed = false;
  std::string ErrorText;
  // A record cut short or unreadable ended the reading: what it says.
  std::string CutText;

 private:
  void Dispatch(TIpcRecords& in, std::string record);
  void ArcRule(double cx, double cy, double angleX, double angleY, double radius, double direction);
};

using TIpcToCad = TToCad<TIpcReader>;

void ImportIpcFile(const std::string& fileName);
