// The detectors of the formats whose readers live elsewhere: each scores a
// file by the evidence its own reader relies on.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cctype>
#include <cstdint>

#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "import/import_frame.h"
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

int HpglMnemonicIndex(char a, char b) {
  static const std::array<std::string, 68> table = [] {
    std::array<std::string, 68> t{};
    const char* list[68] = {"AA", "AF", "AH", "AP", "AR", "AS", "BL", "CA", "CC", "CI", "CM", "CP",
                            "CS", "CT", "DC", "DF", "DI", "DL", "DP", "DR", "DS", "DT", "EA", "EC",
                            "EP", "ER", "ES", "EW", "FP", "FS", "FT", "GP", "IM", "IN", "IP", "IV",
                            "IW", "LB", "LO", "LT", "NR", "PA", "PB", "PD", "PG", "PM", "PR", "PT",
                            "PU", "RA", "RO", "RR", "SA", "SC", "SG", "SI", "SL", "SM", "SP", "SR",
                            "SS", "TL", "UC", "UF", "VS", "WG", "XT", "YT"};
    for (int i = 0; i < 68; ++i) t[static_cast<std::size_t>(i)] = list[i];
    return t;
  }();
  for (int i = 0; i < 68; ++i)
    if (table[static_cast<std::size_t>(i)][0] == a && table[static_cast<std::size_t>(i)][1] == b) return i;
  return -1;
}

}  // namespace

double DetectHpgl(const std::string& fileName) {
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return 0.0;
  std::array<bool, 68> seen{};
  std::array<bool, 10> digits{};
  int32_t unmatched = 0;
  std::string buffer;
  for (int n = 0; n < 1024; ++n) {
    const int c0 = std::fgetc(file.F);
    if (c0 == EOF) break;
    const char c = static_cast<char>(std::toupper(c0));
    if (c >= 'A' && c <= 'Z') {
      buffer += c;
      if (buffer.size() == 2) {
        const int m = HpglMnemonicIndex(buffer[0], buffer[1]);
        if (m >= 0) seen[static_cast<std::size_t>(m)] = true;
        else ++unmatched;
        buffer.clear();
      }
    } else {
      buffer.clear();
      if (c >= '0' && c <= '9') digits[static_cast<std::size_t>(c - '0')] = true;
    }
  }
  const auto was = [&](const char* m) { return seen[static_cast<std::size_t>(HpglMnemonicIndex(m[0], m[1]))]; };
  const double known = static_cast<double>(std::count(seen.begin(), seen.end(), true));
  const double digitCount = static_cast<double>(std::count(digits.begin(), digits.end(), true));
  const bool lb = was("LB");
  if (was("IN") && was("PD") && was("PU") && was("SP") && digitCount >= 9 && (lb || unmatched == 0))
    return 0.85;
  double s = std::min(known / 34.0, 1.0);
  if (known > 1 && !lb) s = s * (known - unmatched) / known;
  if (s < 0.1) s = 0.0;
  else s = s * (digitCount - 8) / 8;
  if (unmatched == 0 && known >= 4 && digitCount >= 4) s = std::max(3 * s, 0.7);
  return std::clamp(s, 0.0, 1.0);
}

double DetectIgiPost(const std::string& fileName) {
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return 0.0;
  std::array<unsigned char, 85 * 12> bytes{};
  const std::size_t records = std::fread(bytes.data(), 1, bytes.size(), file.F) / 12;
  if (records == 0) return 0.0;
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

double DetectValorMatrix(const std::string& fileName) {
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
  if (FileIsNotText(fileName)) return 0.0;
  TFileCloser file{OpenForDetection(fileName)};
  if (file.F == nullptr) return 0.0;
  bool header = false, percent = false;
  double total = 0.0, good = 0.0;
  std::string line;
  for (int counted = 0; counted < 200 && ReadTextLineLimited(file.F, line) == lrLine;) {
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
