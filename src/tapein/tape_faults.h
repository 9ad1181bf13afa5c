// The faults a tape reading met: blocks read only as far as they decoded
// ("Block 12:Digit Overflow"), double words, pattern ends without their
// start, missing subprograms. The reader hands each one to Message; every
// import of a tape (drill, rout, Excellon-to-CAD) tells of them with the
// same texts once the tape is in.
//
// The box shows a few of them, so only those are kept: a tape of a million
// faulty blocks costs what a clean one does, and the box counts the rest.
// Each kept text is cut to a short string (a block may be a line of 64 KB).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TTapeFaults {
 public:
  // The texts kept, and shown.
  static constexpr std::size_t kShown = 10;

  void Add(std::string text);
  bool Empty() const { return count_ == 0; }
  // Every fault added, the kept ones included.
  int64_t Count() const { return count_; }
  const std::vector<std::string>& Kept() const { return kept_; }
  // The kept texts, a line each, then "(N more)" for the others; empty
  // when there were none.
  std::string Lines() const;

 private:
  std::vector<std::string> kept_;
  int64_t count_ = 0;
};

// The warning after a tape read in whole that met faults: the faults, then
// "Some errors were detected in this file." and "Inspect the output
// carefully!".
void ShowTapeFaults(const TTapeFaults& faults);
