// Tape input filter: reads an NC or photoplot tape byte by byte and hands
// out one block (one line of NC text) at a time. It recognises by itself the
// character code the tape was punched in (plain ASCII, ISO with even parity,
// EBCDIC, EIA), the character that ends a block, and whether the bytes look
// like NC text at all.
//
//   TTapeFilter filter;
//   if (filter.Init(name)) {
//     std::string block;
//     while (filter.ReadBlock(block, 255)) ... ;
//     filter.Close();
//   }
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

class TTapeFilter {
 public:
  TTapeFilter() = default;
  virtual ~TTapeFilter();
  TTapeFilter(const TTapeFilter&) = delete;
  TTapeFilter& operator=(const TTapeFilter&) = delete;

  static constexpr int32_t BufferSize = 16384;

  // Sets the filter up over the file; false when it does not exist or
  // cannot be opened.
  bool Init(const std::string& fileName);

  // Virtual operations, in slot order.
  // The next block without its end-of-block character (at most maxLength
  // characters are kept, a block longer than 255 continues in the next
  // call); false at the end of the input.
  virtual bool ReadBlock(std::string& text, std::size_t maxLength = 255);
  // No character waiting, the buffer used up and the file at its end, or an
  // I/O error pending.
  virtual bool Eof();
  // Opens the file from its start; the first successful open detects the
  // code, the end of block and whether the file is text.
  virtual void Reset();
  virtual void Close();

  uint8_t Code() const { return CodeIndex; }
  // "ASCII", "ISOASCII", "EBCDIC" or "EIA".
  std::string CodeName() const;
  // True when the byte statistics rule the file out as NC text.
  bool Plausible() const { return NotText; }
  char EndOfBlockChar() const { return static_cast<char>(EndOfBlock); }

  // Fields.
  std::string FileName;
  std::FILE* File = nullptr;
  bool Opened = false;
  std::array<unsigned char, BufferSize> Buffer{};
  int32_t Count = 0;
  int32_t Pos = 1;  // 1-based position of the next byte; Count + 1 = empty
  uint8_t CodeIndex = 0;  // 0 ASCII, 1 ISOASCII, 2 EBCDIC, 3 EIA
  std::array<unsigned char, 256> Translate{};
  std::array<bool, 256> Valid{};
  unsigned char EndOfBlock = '\n';
  bool HasChar = false;
  unsigned char Current = 0;
  bool FirstOpen = true;
  bool NotText = false;
  bool IoError = false;

 private:
  void Refill();
  void ReadNextChar();
  int32_t DetectionStart() const;
  void DetectCode();
  void DetectEndOfBlock();
  void CheckText();
  bool FileAtEnd();
};

// The code tables: valid bytes and their translation, for code 0..3.
void TapeCodeTable(uint8_t code, std::array<bool, 256>& valid,
                   std::array<unsigned char, 256>& translate);
