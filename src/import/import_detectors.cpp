// The detectors of the formats whose readers live elsewhere: each scores a
// file by the evidence its own reader relies on.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "import/hpgl_reader.h"
#include "import/import_frame.h"
#include "import/lzw_decompress.h"
#include "platform/paths.h"

namespace {

std::FILE* OpenForDetection(const std::string& fileName) {
  if (!FileExistsNoWild(fileName)) return nullptr;
  return std::fopen(NativePath(fileName).c_str(), "rb");
}

struct TFileCloser {
  std::FILE* F;
  ~TFileCloser() {
    if (F) std::fclose(F);
  }
};

}  // namespace

double DetectHpgl(const std::string& fileName) {
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return 0.0;
  // Letter pairs count where an instruction may stand; label texts,
  // comments, printer-language escapes and job-language lines are passed
  // over, as the reader passes them over.
  std::vector<bool> seen(256, false);
  std::array<bool, 10> digits{};
  int32_t unmatched = 0;
  char terminator = 3;
  enum { Instruction, Label, Terminator, Comment, Escape, JobLine } state = Instruction;
  bool quoted = false;
  int first = -1;  // the first letter of a pair
  // The tape feed of a plot that came off a punch or a serial link (a
  // blank leader and trailer, rubouts, XON/XOFF) is passed over as the
  // reader passes over it, up to as much as the reader passes over.
  std::size_t feed = 0;
  for (int n = 0, read = 0; n < 1024 && read < 8192;) {
    const int c0 = std::fgetc(file.F);
    if (c0 == EOF) break;
    if (IsTapeFeed(static_cast<char>(c0))) {
      if (++feed > kMaxTextLine) break;
      continue;
    }
    ++read;
    const char c = static_cast<char>(std::toupper(c0));
    switch (state) {
      case Label:
        if (c0 == terminator) state = Instruction;
        continue;
      case Terminator:
        terminator = c == ';' ? 3 : static_cast<char>(c0);
        state = Instruction;
        continue;
      case Comment:
        if (c == '"') quoted = !quoted;
        else if (c == ';' && !quoted) state = Instruction;
        continue;
      case Escape:
        if (c0 >= '@' && c0 <= 'Z') state = Instruction;
        continue;
      case JobLine:
        if (c == '\n' || c == '\r') state = Instruction;
        continue;
      case Instruction: break;
    }
    ++n;
    if (c >= 'A' && c <= 'Z') {
      if (first < 0) {
        first = c;
        continue;
      }
      const int32_t m = HpglMnemonic(static_cast<char>(first), c);
      first = -1;
      if (m <= 0) {
        ++unmatched;
        continue;
      }
      seen[static_cast<std::size_t>(m)] = true;
      const std::string name = HpglMnemonicName(m);
      if (name == "LB" || name == "BL") state = Label;
      else if (name == "DT") state = Terminator;
      else if (name == "CO" || name == "PE") state = Comment;
      quoted = false;
    } else {
      first = -1;
      if (c0 == 27) state = Escape;
      else if (c == '@') state = JobLine;
      else if (c >= '0' && c <= '9') digits[static_cast<std::size_t>(c - '0')] = true;
    }
  }
  const auto was = [&](const char* m) { return seen[static_cast<std::size_t>(HpglMnemonic(m[0], m[1]))]; };
  const double known = static_cast<double>(std::count(seen.begin(), seen.end(), true));
  const double digitCount = static_cast<double>(std::count(digits.begin(), digits.end(), true));
  const bool lb = was("LB");
  if (was("IN") && was("PD") && was("PU") && was("SP") && digitCount >= 9 && (lb || unmatched == 0))
    return 0.85;
  double s = std::min(known / 34.0, 1.0);
  if (known > 1 && !lb) s = s * (known - unmatched) / known;
  if (s < 0.1) s = 0.0;
  else s = s * (digitCount - 8) / 8;
  // A short plot of the second language uses few instructions (a page of
  // labels few digits), but no letter pair outside them.
  if (unmatched == 0 && known >= 3 && (digitCount >= 4 || lb)) s = std::max(3 * s, 0.7);
  return std::clamp(s, 0.0, 1.0);
}

double DetectIgiPost(const std::string& fileName) {
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return 0.0;
  std::array<unsigned char, 85 * 12> bytes{};
  std::size_t records = std::fread(bytes.data(), 1, bytes.size(), file.F) / 12;
  if (records == 0) return 0.0;
  // Zero bytes ahead of the first record that holds any are as well the
  // blank leader of a plot or a tape that came off a punch: the records
  // after a leader of no more than a line's length are the ones to go by.
  const auto blank = [&] {
    return std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(records * 12),
                       [](unsigned char b) { return b == 0; });
  };
  if (blank()) {
    long at = static_cast<long>(records * 12);
    int c = 0;
    while (at <= static_cast<long>(kMaxTextLine) && (c = std::fgetc(file.F)) == 0) ++at;
    if (c != EOF && c != 0 && std::fseek(file.F, at / 12 * 12, SEEK_SET) == 0) {
      records = std::fread(bytes.data(), 1, bytes.size(), file.F) / 12;
      if (records == 0 || blank()) return 0.0;
    }
  }
  // The header record: type 60, both reals holding $7344FFBB, word $FF33.
  for (bool swapped : {false, true}) {
    auto word = [&](std::size_t at) {
      return swapped ? (bytes[at] << 8) | bytes[at + 1] : bytes[at] | (bytes[at + 1] << 8);
    };
    auto dword = [&](std::size_t at) {
      uint32_t v = 0;
      for (int k = 0; k < 4; ++k)
        v |= static_cast<uint32_t>(bytes[at + static_cast<std::size_t>(k)])
             << (swapped ? 8 * (3 - k) : 8 * k);
      return v;
    };
    if (word(0) == 60 && dword(2) == 0x7344FFBBu && dword(6) == 0x7344FFBBu && word(10) == 0xFF33)
      return 0.85;
    bool all = true;
    for (std::size_t r = 0; r < records && all; ++r) {
      const int16_t type = static_cast<int16_t>(word(r * 12));
      all = type >= 0 && type <= 99;
    }
    if (all) return 0.85;
  }
  return 0.0;
}

namespace {

// True when the file starts with the magic bytes of `compress` (1F 9D).
bool IsCompressedFile(const std::string& fileName) {
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return false;
  const int b0 = std::fgetc(file.F), b1 = std::fgetc(file.F);
  return b0 == 0x1F && b1 == 0x9D;
}

// A decoder that lets no message loop run (detection runs under the
// please-wait box) and gives up once the decoded copy passes any matrix
// file's size: a small file may decode to gigabytes.
struct TTooLarge {};
class TQuietDecompressor : public TDecompressor {
 public:
  void Yield() override {
    if (Decoded > (int64_t{16} << 20)) throw TTooLarge{};
  }
};

}  // namespace

double DetectValorMatrix(const std::string& fileName) {
  if (!FileExistsNoWild(fileName)) return 0.0;
  // A job kept compressed (matrix/matrix.Z) is scored by its contents, as
  // the reader reads it: decoded into a scratch file that is removed again.
  if (IsCompressedFile(fileName)) {
    const std::string scratch = ReserveScratchFile(ExecutionPath() + "SCRATCH" + PathDelim);
    IOResult();
    if (scratch.empty()) return 0.0;
    TQuietDecompressor decompressor;
    std::string message;
    double score = 0.0;
    try {
      if (Decompress(decompressor, fileName, scratch, 255, message) && !IsCompressedFile(scratch))
        score = DetectValorMatrix(scratch);
    } catch (const TTooLarge&) {
      score = 0.0;
    }
    DeleteFileIfExists(scratch);
    return score;
  }
  if (FileIsNotText(fileName)) return 0.0;
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return 0.0;
  struct TWord {
    const char* Text;
    double Score;
    bool Seen;
  };
  std::array<TWord, 9> words = {{{"STEP", 0.2, false},
                                 {"LAYER", 0.2, false},
                                 {"COL", 0.125, false},
                                 {"ROW", 0.125, false},
                                 {"TYPE", 0.1, false},
                                 {"NAME", 0.1, false},
                                 {"POLARITY", 0.05, false},
                                 {"START_NAME", 0.05, false},
                                 {"END_NAME", 0.05, false}}};
  std::string line;
  for (int n = 0; n < 251 && ReadTextLineLimited(file.F, line) == lrLine; ++n) {
    const std::string upper = UpperCaseStr(line);
    for (TWord& w : words)
      if (upper.find(w.Text) != std::string::npos) w.Seen = true;
  }
  double score = 0.0;
  for (const TWord& w : words) score += w.Seen ? w.Score : 0.0;
  return score;
}

double DetectEsi(const std::string& fileName) {
  // The file is looked at as its reader reads it: its tape feed and its
  // lines of blank tape are no part of the program.
  if (TapeFileIsNotText(fileName)) return 0.0;
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return 0.0;
  bool header = false, percent = false;
  double total = 0.0, good = 0.0;
  std::string line;
  // Header and percent lines are not counted, but the look ends after a
  // few thousand lines all the same: a file of them is not read to its end.
  for (int counted = 0, lines = 0; counted < 200 && lines < 4000 && ReadTextLineLimited(file.F, line) == lrLine;
       ++lines) {
    DropTapeFeed(line);
    if (IsBlankTapeLine(line)) continue;
    const std::string upper = UpperCaseStr(line);
    if (upper.find("(ESI 5000)") != std::string::npos || upper.find("(ESI 5100)") != std::string::npos ||
        upper.find("(ESI 5200)") != std::string::npos) {
      header = true;
    } else if (upper.find('%') != std::string::npos) {
      percent = true;
    } else {
      ++counted;
      total += static_cast<double>(upper.size());
      for (char c : upper)
        if (c == ' ' || c == '+' || c == '-' || (c >= '0' && c <= '9') || c == 'G' || c == 'P' ||
            c == 'T' || c == 'X' || c == 'Y')
          good += 1.0;
    }
  }
  const double score =
      (header ? 0.35 : 0.0) + (percent ? 0.25 : 0.0) + (total > 0.0 ? 0.45 * good / total : 0.0);
  // A percent sign and digits alone fit every drill tape: without its own
  // header line a file is never taken for a laser file.
  return header ? score : std::min(score, 0.6);
}
