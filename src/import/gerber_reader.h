// The photoplot reader: a Gerber (RS-274-D) or RS-274X file read block by
// block with its format parameters, aperture table and modal state; every
// drawn line, drawn arc and flash goes to a virtual sink. It draws nothing
// itself: descendants give the sinks their meaning.
//
// Coordinates handed to the sinks are integers in units of
// 10^-DecimalDigits of the file's unit (GerberImportDefaults). The format
// parameters found in the file (%FS, %MO) and the G90/G91, M71/M72 words are
// written into GerberImportDefaults, so they stay in effect in memory after
// the import.
//
// Files are read as plain text; files in punched-tape codes are not read.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tapein/nc_word_decoder.h"

// One aperture definition (shape 0 circle, 1 rectangle, 2 obround, 3 any
// other and a D code without definition); sizes as written in the file.
struct TApertureRecord {
  int32_t DCode = 0;
  uint8_t Shape = 3;
  double SizeX = 0.0;
  double SizeY = 0.0;
};

class TGerberReader {
 public:
  // Finds the end-of-block character and reads the format parameters; the
  // reader is opened when the file can be read. A file without an end of
  // block, or with a block longer than any real one, is refused with a beep
  // and an error box.
  explicit TGerberReader(const std::string& fileName);
  // The detector's reader: keeps the name, never opened.
  struct TQuiet {};
  TGerberReader(const std::string& fileName, TQuiet);
  virtual ~TGerberReader();
  TGerberReader(const TGerberReader&) = delete;
  TGerberReader& operator=(const TGerberReader&) = delete;

  // Reads the file through the sinks when opened.
  virtual void Run();

  // Sinks (file units).
  virtual void Point(int64_t x, int64_t y);
  virtual void Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  virtual void Circle(int64_t x, int64_t y, int64_t radius);
  virtual void Arc(bool counterClockwise, bool multiQuadrant, int64_t x1, int64_t y1, int64_t x2,
                   int64_t y2, int64_t i, int64_t j);
  // True when the descendant has handled the flash itself.
  virtual bool FlashHook(int64_t x, int64_t y, int64_t size);
  // Draws the current aperture through the other sinks.
  virtual void Flash(int32_t dCode, int64_t x, int64_t y);

  // ---- Parts shared with the detector ----
  bool FindEndOfBlock();
  // True when a block (up to the end-of-block character or a line end) is
  // longer than kMaxTextLine; the scan stops there.
  bool HasOverlongBlock();
  void ParseFormatParameters();
  // The next block (at most 255 characters), empty at the end of the file.
  std::string ReadBlock(bool strip);
  bool Eof();
  bool OpenInput();
  void CloseInput();
  static bool ParseApertureDefinition(const std::string& text, TApertureRecord& record);

  bool Opened = false;
  bool AbsoluteCentre = false;
  int32_t DMode = 2;
  bool MultiQuadrant = false;
  bool Stopped = false;
  int32_t CurrentDCode = 0;
  int32_t Interpolation = 1;
  std::string FileName;
  char EndOfBlock = '*';
  int32_t X = 0, Y = 0, PrevX = 0, PrevY = 0;
  int32_t I = 0, J = 0;
  TApertureRecord Aperture;
  std::vector<TApertureRecord> Apertures;

 protected:
  void LoadApertures();
  void FindAperture(int32_t dCode);
  void SelectDCode(int32_t n) { CurrentDCode = n; }
  void ExecuteBlock(const std::array<char, MaxNcWords>& letters,
                    const std::array<int32_t, MaxNcWords>& values, int32_t count);
  void DecodeFile();
  void Reset();

 private:
  std::FILE* input_ = nullptr;
  int pending_ = -1;  // a character read ahead, -1 when none
  int Get();
};

// Confidence 0..0.91 that the reader's file is a photoplot file.
double DetectGerber(TGerberReader& reader);
