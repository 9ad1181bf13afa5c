#include "import/lzw_decompress.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/file_utils.h"
#include "platform/events.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

void TDecompressor::Yield() { ProcessMessagesInLoop(); }

namespace {

std::atomic<int64_t> limit{kDecompressLimit};

constexpr int32_t kMaxBitsHandled = 16;
constexpr int32_t kTableSize = 1 << kMaxBitsHandled;
constexpr int32_t kClear = 256;

// Input bytes with a bit reservoir; codes are packed least significant bit
// first.
class TCodeReader {
 public:
  explicit TCodeReader(std::FILE* f) : f_(f), buffer_(64 * 1024) {}

  // The next byte, or -1 at the end of the input.
  int ReadByte() {
    if (pos_ == size_ && !Refill()) return -1;
    ++consumed_;
    return buffer_[pos_++];
  }
  bool ReadError() const { return error_; }

  // A code of n bits, false when the input ends before it is complete.
  bool GetCode(int32_t n, int32_t& code) {
    if (bits_ < n) {
      // Whole bytes into the reservoir while they fit.
      while (bits_ <= 56) {
        if (pos_ == size_ && !Refill()) break;
        reservoir_ |= static_cast<uint64_t>(buffer_[pos_++]) << bits_;
        bits_ += 8;
        ++consumed_;
      }
      if (bits_ < n) return false;
    }
    code = static_cast<int32_t>(reservoir_ & static_cast<uint64_t>(CodeMask(n)));
    reservoir_ >>= n;
    bits_ -= n;
    bitPos_ += static_cast<uint64_t>(n);
    return true;
  }

  // Skips the rest of the group of n-bit codes begun at the last alignment:
  // `compress` always writes whole groups of eight codes (n bytes) before
  // it changes the width or clears the table.
  void AlignGroup(int32_t n) {
    const uint64_t group = static_cast<uint64_t>(n) * 8;
    const uint64_t used = bitPos_ - groupStart_;
    uint64_t skip = (group - used % group) % group;
    while (skip > 0) {
      if (bits_ == 0) {
        const int b = ReadByte();
        if (b < 0) break;
        reservoir_ = static_cast<uint64_t>(b);
        bits_ = 8;
      }
      const int32_t take = static_cast<int32_t>(std::min<uint64_t>(skip, static_cast<uint64_t>(bits_)));
      reservoir_ >>= take;
      bits_ -= take;
      bitPos_ += static_cast<uint64_t>(take);
      skip -= static_cast<uint64_t>(take);
    }
    groupStart_ = bitPos_;
  }

  uint64_t Consumed() const { return consumed_; }
  // Bits left over after the last whole code; `compress` pads its last
  // code to a byte, so eight or more mean the input was cut short.
  int32_t LeftoverBits() const { return bits_; }

 private:
  bool Refill() {
    size_ = std::fread(buffer_.data(), 1, buffer_.size(), f_);
    pos_ = 0;
    if (size_ == 0 && std::ferror(f_)) error_ = true;
    return size_ > 0;
  }
  std::FILE* f_;
  std::vector<uint8_t> buffer_;
  std::size_t pos_ = 0, size_ = 0;
  uint64_t consumed_ = 0;
  uint64_t reservoir_ = 0;
  int32_t bits_ = 0;
  uint64_t bitPos_ = 0, groupStart_ = 0;
  bool error_ = false;
};

struct TFileCloser {
  std::FILE* F = nullptr;
  ~TFileCloser() {
    if (F != nullptr) std::fclose(F);
  }
};

// Output bytes gathered in a large block and handed to the replacing file.
class TByteWriter {
 public:
  explicit TByteWriter(TReplacingFile& file) : file_(file), buffer_(kFlushAt + kTableSize + 1) {}
  // Room for the longest string the table can make; nullptr once a write
  // failed (the file's Error says why).
  uint8_t* Reserve() {
    if (used_ >= kFlushAt && Flush() != 0) return nullptr;
    return buffer_.data() + used_;
  }
  void Commit(std::size_t n) { used_ += n; }
  int Flush() {
    const int e = used_ == 0 ? file_.Error() : file_.Write(buffer_.data(), used_);
    used_ = 0;
    return e;
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  TReplacingFile& file_;
  std::vector<uint8_t> buffer_;
  std::size_t used_ = 0;
};

bool Fail(std::string& message, std::size_t maxMessage, const std::string& text) {
  message = text.substr(0, maxMessage);
  return false;
}

// 1073741824 as "1,073,741,824".
std::string Grouped(int64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

int64_t DecompressLimit() { return limit.load(); }

int64_t SetDecompressLimit(int64_t bytes) { return limit.exchange(std::max<int64_t>(bytes, 1)); }

bool Decompress(TDecompressor& d, const std::string& inputName, const std::string& outputName,
                std::size_t maxMessage, std::string& message) {
  message.clear();
  if (inputName.find_first_of("*?") != std::string::npos || !FileExistsNoWild(inputName))
    return Fail(message, maxMessage, "Input file not found.");
  TFileCloser input{std::fopen(NativePath(inputName).c_str(), "rb")};
  if (input.F == nullptr) return Fail(message, maxMessage, "Error starting byte file object");
  TCodeReader reader(input.F);
  const int m1 = reader.ReadByte(), m2 = reader.ReadByte();
  if (m1 != 0x1F || m2 != 0x9D)
    return Fail(message, maxMessage, "Input file not compatible with Compress 4.1.");
  const int flags = reader.ReadByte();
  if (flags < 0) return Fail(message, maxMessage, "Input file not compatible with Compress 4.1.");
  const bool blockMode = (flags & 0x80) != 0;
  d.MaxBits = flags & 0x1F;
  if (d.MaxBits > kMaxBitsHandled)
    return Fail(message, maxMessage,
                "Compressed with " + std::to_string(d.MaxBits) + " bits, can handle only " +
                    std::to_string(kMaxBitsHandled) + " bits.");
  if (d.MaxBits < 9) return Fail(message, maxMessage, "Error in Decompress: invalid header.");
  d.MaxMaxCode = int32_t{1} << d.MaxBits;
  d.NBits = 9;
  d.MaxCode = CodeMask(9);
  d.FreeEntry = blockMode ? 257 : 256;
  d.YieldCount = 0;
  d.Decoded = 0;

  TReplacingFile output(NativePath(outputName));
  if (!output.Opened()) return Fail(message, maxMessage, "Error opening output file");
  TByteWriter writer(output);

  std::vector<uint16_t> prefix(kTableSize, 0);
  std::vector<uint8_t> suffix(kTableSize, 0);
  for (int32_t c = 0; c < 256; ++c) suffix[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c);
  // The longest string the table can hold is one byte per entry.
  std::vector<uint8_t> stack(kTableSize + 1);

  const auto corrupt = [&]() { return Fail(message, maxMessage, "Error in Decompress: corrupt data."); };
  // A full disk says so: the decoding stops at the first failed write.
  const auto writeFailed = [&](int error) {
    return Fail(message, maxMessage, "Error writing output file: " + SystemErrorText(error));
  };
  const int64_t most = DecompressLimit();
  const auto tooLarge = [&]() {
    return Fail(message, maxMessage,
                "The decoded file would be larger than " + Grouped(most) + " bytes; no job file is that large.");
  };
  const auto nextCode = [&](int32_t& code) {
    if (d.FreeEntry > d.MaxCode) {
      reader.AlignGroup(d.NBits);
      ++d.NBits;
      d.MaxCode = d.NBits == d.MaxBits ? d.MaxMaxCode : CodeMask(d.NBits);
    }
    const uint64_t before = reader.Consumed();
    const bool got = reader.GetCode(d.NBits, code);
    d.YieldCount += static_cast<int32_t>(reader.Consumed() - before);
    if (d.YieldCount > 2000) {
      d.YieldCount = 0;
      d.Yield();
    }
    return got;
  };

  int32_t code = 0;
  if (nextCode(code)) {
    if (code > 255) return corrupt();
    int32_t oldCode = code;
    uint8_t finChar = static_cast<uint8_t>(code);
    *writer.Reserve() = finChar;  // the first byte: nothing written yet
    writer.Commit(1);
    d.Decoded = 1;
    while (nextCode(code)) {
      if (blockMode && code == kClear) {
        reader.AlignGroup(d.NBits);
        d.FreeEntry = 256;
        d.NBits = 9;
        d.MaxCode = CodeMask(9);
        continue;
      }
      if (code > d.FreeEntry || (code == d.FreeEntry && code >= d.MaxMaxCode)) return corrupt();
      const int32_t inCode = code;
      std::size_t top = stack.size();
      if (code == d.FreeEntry) {
        stack[--top] = finChar;
        code = oldCode;
      }
      while (code > 255) {
        if (top == 0) return corrupt();
        stack[--top] = suffix[static_cast<std::size_t>(code)];
        code = prefix[static_cast<std::size_t>(code)];
      }
      if (top == 0) return corrupt();
      finChar = static_cast<uint8_t>(code);
      stack[--top] = finChar;
      const std::size_t length = stack.size() - top;
      if (d.Decoded + static_cast<int64_t>(length) > most) return tooLarge();
      uint8_t* to = writer.Reserve();
      if (to == nullptr) return writeFailed(output.Error());
      std::memcpy(to, stack.data() + top, length);
      writer.Commit(length);
      d.Decoded += static_cast<int64_t>(length);
      if (d.FreeEntry < d.MaxMaxCode) {
        prefix[static_cast<std::size_t>(d.FreeEntry)] = static_cast<uint16_t>(oldCode);
        suffix[static_cast<std::size_t>(d.FreeEntry)] = finChar;
        ++d.FreeEntry;
      }
      oldCode = inCode;
    }
  }
  if (reader.ReadError()) return Fail(message, maxMessage, "Error reading input file");
  if (reader.LeftoverBits() >= 8)
    return Fail(message, maxMessage, "Error in Decompress: the file ends in the middle of a code.");
  int error = writer.Flush();
  if (error == 0) error = output.Close();
  if (error == 0) error = output.Commit();
  if (error != 0) return writeFailed(error);
  return true;
}
