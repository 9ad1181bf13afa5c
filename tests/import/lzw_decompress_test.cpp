// The .Z decompressor: every sample written by `compress` decodes to its
// original byte for byte; bad headers, corrupt and cut-short code streams
// fail with a reason and leave no output behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "import/lzw_decompress.h"
#include "korvex_test.h"

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

}  // namespace
