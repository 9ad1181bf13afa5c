// The .Z decompressor: every sample written by `compress` decodes to its
// original byte for byte; bad headers, corrupt and cut-short code streams,
// files that decode past the limit and a full disk fail with a reason and
// leave no output behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "import/lzw_decompress.h"
#include "korvex_test.h"
#include "lzw_compress.h"
#include "platform/headless/headless_files.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LzwDecompressTest : public TKorvexTest {
 protected:
  bool Run(const fs::path& in, const fs::path& out, std::string& message) {
    TDecompressor d;
    return Decompress(d, in.string(), out.string(), 255, message);
  }
  fs::path Put(const std::string& name, const std::string& bytes) {
    WriteFileBytes(TempDir / name, bytes);
    return TempDir / name;
  }
  // The files whose names begin with the target's (its temporary copies).
  int Beside(const std::string& target) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(TempDir)) n += e.path().filename().string().rfind(target, 0) == 0;
    return n;
  }
};

TEST_F(LzwDecompressTest, EverySampleDecodesToItsOriginal) {
  const fs::path dir = SharedTestData() / "compress";
  if (!fs::exists(dir)) GTEST_SKIP() << "shared test data absent";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".Z") continue;
    const fs::path original = fs::path(entry.path()).replace_extension();
    const fs::path out = TempDir / original.filename();
    std::string message;
    ASSERT_TRUE(Run(entry.path(), out, message)) << entry.path() << ": " << message;
    EXPECT_EQ(Bytes(out), Bytes(original)) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 6);
  // The compressed files of a job tree as well.
  const fs::path job = SharedTestData() / "odb" / "kicad9-flat_hierarchy-Z" / "steps" / "pcb" /
                       "layers" / "bottom_copper" / "features.Z";
  const fs::path plain = SharedTestData() / "odb" / "kicad9-flat_hierarchy" / "steps" / "pcb" /
                         "layers" / "bottom_copper" / "features";
  std::string message;
  ASSERT_TRUE(Run(job, TempDir / "features", message)) << message;
  EXPECT_EQ(Bytes(TempDir / "features"), Bytes(plain));
  // The decoder counts what it wrote (detection stops a file that decodes
  // to far more than a matrix).
  TDecompressor counting;
  ASSERT_TRUE(Decompress(counting, job.string(), (TempDir / "again").string(), 255, message)) << message;
  EXPECT_EQ(counting.Decoded, static_cast<int64_t>(fs::file_size(plain)));
}

TEST_F(LzwDecompressTest, BadHeadersAreRefusedWithoutOutput) {
  std::string message;
  const fs::path out = TempDir / "out.txt";
  EXPECT_FALSE(Run(Put("plain.Z", "hello world"), out, message));
  EXPECT_EQ(message, "Input file not compatible with Compress 4.1.");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(Run(Put("wide.Z", std::string("\x1f\x9d\x91", 3)), out, message));
  EXPECT_EQ(message, "Compressed with 17 bits, can handle only 16 bits.");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(Run(TempDir / "missing.Z", out, message));
  EXPECT_EQ(message, "Input file not found.");
  // Only the header: an empty output, and success.
  EXPECT_TRUE(Run(Put("empty.Z", std::string("\x1f\x9d\x90", 3)), out, message)) << message;
  EXPECT_TRUE(fs::exists(out));
  EXPECT_EQ(fs::file_size(out), 0u);
}

// Codes of 9 bits, least significant bit first, after a block-mode header.
std::string Stream(bool blockMode, std::initializer_list<int> codes) {
  std::string s("\x1f\x9d", 2);
  s += static_cast<char>((blockMode ? 0x80 : 0) | 16);
  uint32_t acc = 0;
  int bits = 0;
  for (int c : codes) {
    acc |= static_cast<uint32_t>(c) << bits;
    bits += 9;
    while (bits >= 8) {
      s += static_cast<char>(acc & 0xFF);
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) s += static_cast<char>(acc & 0xFF);
  return s;
}

TEST_F(LzwDecompressTest, TableCodesAndTheSelfReferenceDecode) {
  std::string message;
  const fs::path out = TempDir / "out.txt";
  // a, b, then 257 = "ab", then 259 = the entry being made ("ab" + "a").
  ASSERT_TRUE(Run(Put("a.Z", Stream(true, {'a', 'b', 257, 259})), out, message)) << message;
  EXPECT_EQ(Bytes(out), "ababab" "a");
  // Without block mode the first free code is 256 and it is a table code.
  ASSERT_TRUE(Run(Put("b.Z", Stream(false, {'x', 'y', 256})), out, message)) << message;
  EXPECT_EQ(Bytes(out), "xyxy");
}

TEST_F(LzwDecompressTest, CorruptStreamsFailAndKeepTheOldOutput) {
  const fs::path out = Put("keep.txt", "previous contents");
  std::string message;
  // A first code above 255.
  EXPECT_FALSE(Run(Put("c1.Z", Stream(true, {300})), out, message));
  EXPECT_FALSE(message.empty());
  // A code not yet defined.
  EXPECT_FALSE(Run(Put("c2.Z", Stream(true, {'a', 'b', 400})), out, message));
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(Bytes(out), "previous contents");
  // Cut in the middle of a code.
  const std::string whole = Bytes(SharedTestData() / "compress" / "tiny.txt.Z");
  if (!whole.empty()) {
    for (std::size_t cut = 4; cut < whole.size(); ++cut) {
      const fs::path in = Put("cut.Z", whole.substr(0, cut));
      Put("keep.txt", "previous contents");
      if (!Run(in, out, message)) {
        EXPECT_EQ(Bytes(out), "previous contents");
      }
    }
  }
  // Hostile input: random bytes after a good header never crash.
  std::string noise("\x1f\x9d\x90", 3);
  uint32_t seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    noise += static_cast<char>(seed >> 16);
  }
  Run(Put("noise.Z", noise), TempDir / "noise.out", message);
}

// Text that passes every code width and fills the table: decodes to itself.
TEST_F(LzwDecompressTest, EveryCodeWidthAndAFullTableDecode) {
  std::string text;
  uint32_t seed = 99;
  while (text.size() < 400000) {
    seed = seed * 1103515245u + 12345u;
    text += "P " + std::to_string(seed % 5000) + " " + std::to_string((seed >> 8) % 977) + " 0 P 0 0\n";
  }
  const fs::path out = TempDir / "out.txt";
  std::string message;
  ASSERT_TRUE(Run(Put("t.Z", LzwCompress(text)), out, message)) << message;
  EXPECT_EQ(Bytes(out), text);
  ASSERT_TRUE(Run(Put("t12.Z", LzwCompress(text, 12)), out, message)) << message;
  EXPECT_EQ(Bytes(out), text);
}

// A file that decodes past the limit fails as a whole, whether its last
// string or an earlier one passes it; one that reaches it exactly is whole.
TEST_F(LzwDecompressTest, OutputPastTheLimitIsRefusedAndLeavesNothing) {
  {
    const TDecompressLimitFor lower(1000);
    const fs::path out = Put("keep.txt", "previous contents");
    std::string message;
    EXPECT_TRUE(Run(Put("exact.Z", LzwCompress(std::string(1000, '0'))), out, message)) << message;
    EXPECT_EQ(fs::file_size(out), 1000u);
    Put("keep.txt", "previous contents");
    for (std::size_t size : {1001, 200000}) {
      EXPECT_FALSE(Run(Put("big.Z", LzwCompress(std::string(size, '0'))), out, message)) << size;
      EXPECT_EQ(message, "The decoded file would be larger than 1,000 bytes; no job file is that large.");
      EXPECT_EQ(Bytes(out), "previous contents");
    }
    EXPECT_EQ(Beside("keep.txt"), 1);
  }
  EXPECT_EQ(DecompressLimit(), kDecompressLimit);
}

// A full disk: the decoding stops at the first write that fails (not at
// the end of the input) and says why; nothing is left beside the target.
TEST_F(LzwDecompressTest, AFullDiskStopsTheDecodingWithItsReason) {
  const fs::path in = Put("zeros.Z", LzwCompress(std::string(3 << 20, '\0')));
  for (int64_t room : {int64_t{0}, int64_t{5000}}) {
    HeadlessFailWritesAfter(room);
    TDecompressor d;
    std::string message;
    EXPECT_FALSE(Decompress(d, in.string(), (TempDir / "zeros").string(), 255, message));
    HeadlessFailWritesAfter(-1);
    EXPECT_EQ(message, "Error writing output file: No space left on device");
    EXPECT_LT(d.Decoded, 2 << 20);
    EXPECT_EQ(Beside("zeros"), 1);  // the input alone
  }
  // A short file meets the full disk only when it is written at the end.
  HeadlessFailWritesAfter(10);
  std::string message;
  EXPECT_FALSE(Run(Put("short.Z", LzwCompress(std::string(100, 'x'))), TempDir / "short", message));
  HeadlessFailWritesAfter(-1);
  EXPECT_EQ(message, "Error writing output file: No space left on device");
  EXPECT_EQ(Beside("short"), 1);
}

}  // namespace
