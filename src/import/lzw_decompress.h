// The decompressor of files written by the Unix `compress` program (LZW,
// magic bytes 1F 9D, extension ".Z"). The job-tree file access uses it to
// read job files that are kept only in compressed form.
//
// The output is written beside its target and renamed over it only when
// the whole input decoded: a failed decode leaves no output behind and an
// existing file of that name untouched. Nothing is shown to the user; the
// caller gets the reason as text.
//
// A few kilobytes of input may decode to gigabytes: the output is bounded
// by DecompressLimit, and a file that would pass it fails like a corrupt
// one.
#pragma once
#include <cstdint>
#include <string>

class TDecompressor {
 public:
  TDecompressor() = default;
  virtual ~TDecompressor() = default;
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;
  // Called about every 2,000 bytes of input: lets the window process its
  // messages.
  virtual void Yield();

  // The decoding state of the run in progress.
  int32_t FreeEntry = 0;   // next free code
  int32_t MaxCode = 0;     // largest code of the current width
  int32_t MaxMaxCode = 0;  // 2^MaxBits
  int32_t NBits = 0;       // current code width
  int32_t MaxBits = 0;     // from the header
  int32_t YieldCount = 0;  // input bytes since the last yield
  int64_t Decoded = 0;     // output bytes so far
};

// The most bytes one decoded file may have: far beyond any text file of a
// job tree, far below what fills a disk by surprise. Every decoding (the
// job-tree file access and the format guess alike) stops there.
constexpr int64_t kDecompressLimit = int64_t{1} << 30;
int64_t DecompressLimit();
// Sets the limit (bytes, at least 1) and returns the one before; tests
// lower it and put it back.
int64_t SetDecompressLimit(int64_t bytes);

// 2^n - 1.
constexpr int32_t CodeMask(int32_t n) { return (int32_t{1} << n) - 1; }

// Decodes the input into the output file; true when the whole input was
// decoded, else false with the reason in message (at most maxMessage
// characters). The input is left where it is.
bool Decompress(TDecompressor& decompressor, const std::string& inputName,
                const std::string& outputName, std::size_t maxMessage, std::string& message);
