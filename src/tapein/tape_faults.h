// The faults a tape reading met: blocks read only as far as they decoded
// ("Block 12:Digit Overflow"), double words, pattern ends without their
// start, missing subprograms. The reader hands each one to Message; every
// import of a tape (drill, rout, Excellon-to-CAD) tells of them with the
// same texts once the tape is in.
//
// The box shows a few of them, so only those are kept: a tape of a million
// faulty blocks costs what a clean one does, and the box counts the rest.
// Each kept text is cut to a short string (a block may be a line of 64 KB).
//
// Beside the faults stand the read's notes: what the reader passed over as
// a machine's reader does (tape feed inside a block) is said, but it is no
// fault, and a tape that holds nothing else reads as the clean tape.
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
  // A note: shown after the faults, never counted among them. The first
  // kShown are kept (a read makes one for its tape and one for each
  // subprogram tape).
  void AddNote(std::string text);
  // Neither a fault nor a note to tell of.
  bool Empty() const { return count_ == 0 && notes_.empty(); }
  // Every fault added, the kept ones included.
  int64_t Count() const { return count_; }
  const std::vector<std::string>& Kept() const { return kept_; }
  // The kept texts, a line each, then "(N more)" for the others, then the
  // notes; empty when there were none.
  std::string Lines() const;

 private:
  std::vector<std::string> kept_;
  std::vector<std::string> notes_;
  int64_t count_ = 0;
};

// The box after a tape read in whole that met faults or made notes. With
// faults, a warning: the faults and notes, then "Some errors were detected
// in this file." and "Inspect the output carefully!". With notes alone,
// the notes as information: the tape read as the clean tape.
void ShowTapeFaults(const TTapeFaults& faults);
