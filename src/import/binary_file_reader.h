// Fast forward reading of a file through one 8 KB window: the caller parses
// in Buffer from Pos to Count and asks for a refill when fewer than 256
// unread bytes remain. The file is read in 128-byte records; the partial
// last record is taken when the records run out.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TBinaryFileReader {
 public:
  static constexpr int32_t Size = 8192;
  static constexpr int32_t Record = 128;

  TBinaryFileReader() = default;
  ~TBinaryFileReader() { Close(); }
  TBinaryFileReader(const TBinaryFileReader&) = delete;
  TBinaryFileReader& operator=(const TBinaryFileReader&) = delete;

  // Opens the file and loads the first window; false (nothing open) when
  // the file cannot be opened. An open file is closed first.
  bool Open(const std::string& fileName);
  // Moves the unread bytes to the front and fills the rest of the window.
  void Refill();
  void Close();

  int32_t Unread() const { return Count - Pos; }
  // The next byte, refilling first when the window runs low; -1 at the end.
  int Peek(int32_t ahead = 0) {
    if (Unread() < 256 && !AtEof) Refill();
    return Pos + ahead < Count ? Buffer[static_cast<std::size_t>(Pos + ahead)] : -1;
  }

  std::array<uint8_t, Size> Buffer{};
  int32_t Pos = 0;  // index of the next unread byte (0-based)
  int64_t Base = 0;  // file offset of Buffer[0]
  int32_t Count = 0;
  bool AtEof = true;
  int64_t Remaining = 0;
  bool IsOpen = false;
  bool ReadError = false;

 private:
  std::FILE* File_ = nullptr;
};

// Up to count bytes of the file from offset on (fewer at its end, none
// from its end on) and the file's size; false when it cannot be opened or
// read.
bool ReadFilePart(const std::string& fileName, int64_t offset, std::size_t count,
                  std::vector<uint8_t>& bytes, int64_t& fileSize);
