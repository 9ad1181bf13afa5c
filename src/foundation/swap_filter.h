// Swap filters: named swap files whose rules rewrite NC tape text line by
// line, on its way into the NC reader (SwapReadFileObj) and out of the tape
// writers (SwapWriteFileObj).
//
// A filter is a list of swap file names separated by ";". Each file holds
// rules "pattern=replacement"; a replacement is plain text or an editing
// program with bracket groups of cursor commands and Swap BASIC statements
// (swap_basic.h). Every line passes each file in list order, and in each
// file every rule of the active section in file order.
//
// Reading a tape through an import filter:
//
//   std::FILE* tape = std::fopen(NativePath(name).c_str(), "rb");
//   SwapReadFileObj swap;
//   swap.Init(ImportFilters[index].SwapFile, tape, false, {}, errorProc);
//   while (!swap.Eof()) {
//     std::string line;
//     swap.ReadLine(line);             // a failed read leaves InOutRes set
//     ... swap.LineCount() is the tape line number ...
//   }
//   swap.Done();
//   std::fclose(tape);
//
// Writing a tape through an export filter:
//
//   std::FILE* tape = std::fopen(NativePath(name).c_str(), "wb");
//   SwapWriteFileObj swap;
//   swap.Init(ExportFilters[index].SwapFile, tape);
//   swap.WriteLine("M48");            // each result line ends in CR LF
//   ...
//   swap.Done();                      // IOResultCode() holds a write error
//   std::fclose(tape);
//
// The empty filter list ("Standard") passes every line unchanged.
//
// Loading never stops at a malformed rule: the rule is loaded as far as it
// makes sense and a message naming the swap file and its line is given to
// the error routine (or NoticeProc) and kept in LoadErrors. Filtering never raises and never
// shows a message; every loop is bounded and no line grows past
// SwapTextLimit characters (growing edits stop there).
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/swap_basic.h"
#include "foundation/tape_feed.h"

// One rule.
struct TSwapRec {
  uint32_t LineNo = 0;  // line of the rule in its file, from 1
  std::string Pattern;
  std::string Replacement;  // compiled: statements replaced by references
};

// One loaded swap file. Rule indexes are positions in Rules; Rules[0] is the
// empty head rule, which is never applied.
struct TSwapControlRec {
  std::string FileName;
  std::vector<TSwapRec> Rules;
  int Start = 0;        // application begins with the rule after this one
  int Stop = -1;        // last rule applied to a line; -1 = through the last
  int SavedStart = 0;   // Start and Stop after the current line ("!")
  int SavedStop = -1;
  int Current = 0;      // rule being applied
  TStatementList Statements;
  TVarArray Vars;       // %0..%9
  bool Stopped = false; // set by EOF: the rules leave lines unchanged
};

// Called with SwapRuleSize before each rule is added.
using TSwapNotifyProc = std::function<void(int32_t size)>;
// Called with "Creating Swap structure" when a rule cannot be stored, and
// with a description of each malformed rule.
using TSwapErrorProc = std::function<void(const std::string& message)>;

inline constexpr int32_t SwapRuleSize = 16;
// Longest rule line that is loaded; a longer one is reported and skipped.
inline constexpr std::size_t MaxSwapRuleLength = 4096;
// The line end the writer puts after each line.
extern const char* const SwapLineEnd;

// The common part of both filter objects.
class TSwapFilter {
 public:
  TSwapFilter() = default;
  TSwapFilter(const TSwapFilter&) = delete;
  TSwapFilter& operator=(const TSwapFilter&) = delete;

  // Every file of the list was found and read without an I/O error.
  bool Loaded = true;
  std::vector<std::unique_ptr<TSwapControlRec>> Controls;
  // The messages of malformed rules met while loading, in order.
  std::vector<std::string> LoadErrors;
  // When set, receives the malformed-rule messages in place of the error
  // routine: such a rule only does less than it says, so a reader takes them
  // as notices and goes on filtering.
  TSwapErrorProc NoticeProc;
};

// Loads the files of fileList into filter (replacing what it held).
void LoadSwapFiles(TSwapFilter& filter, const std::string& fileList, const TSwapNotifyProc& notify,
                   bool outputMode, const TSwapErrorProc& errorProc);
// Turns the statements of every replacement of rec into references;
// problems receive what is wrong with them.
void CompileBasicSegments(TSwapControlRec& rec, std::vector<std::string>& problems);

// The whole filter on a text (lines separated by CR LF): each file works on
// the output of the one before; empty lines made by the rules disappear and
// a CR LF at the end is removed.
std::string ApplySwapFilter(TSwapFilter& filter, const std::string& text);
// One file on a text: each CR (with an LF after it) separated piece passes
// the rule chain; the results are joined with CR LF.
std::string ApplyControlRec(TSwapControlRec& rec, const std::string& text);
// The active section of one file on one line.
std::string ApplyRuleChain(TSwapControlRec& rec, const std::string& line);
// Replaces each "%%d" whose variable d is not empty by the variable's text.
std::string SubstituteVars(const std::string& text, const TVarArray& vars);
// What is wrong with a compiled replacement's editing program (empty when
// nothing is); the program is not run.
std::vector<std::string> CheckEditProgram(const TSwapControlRec& rec, int ruleIndex);

// Writes tape lines through an export filter into a file opened by the
// caller.
class SwapWriteFileObj : public TSwapFilter {
 public:
  void Init(const std::string& fileList, std::FILE* outputFile, const TSwapNotifyProc& notify = {},
            const TSwapErrorProc& errorProc = {});
  // The filtered line: nothing for an empty result, an empty line for "_",
  // otherwise the result and a line end. After a write error nothing more
  // is written.
  void WriteLine(const std::string& line);
  // Frees the rules (the caller closes the file).
  void Done();
  // errno of the first failed write, 0 when every write went through.
  int IOResultCode() const { return ioResult_; }

 private:
  std::FILE* file_ = nullptr;
  int ioResult_ = 0;
};

// Reads tape lines through an import filter from a file opened by the
// caller.
class SwapReadFileObj : public TSwapFilter {
 public:
  // charMode: lines end at any CR or LF and empty lines are read past.
  void Init(const std::string& fileList, std::FILE* inputFile, bool charMode,
            const TSwapNotifyProc& notify = {}, const TSwapErrorProc& errorProc = {});
  // Reads the file as a machine's tape reader does (after Init): a line
  // end is any run of CR and LF (its LFs, else its CRs, count as lines),
  // tape feed is taken out of every line wherever it stands, and lines of
  // blank tape (tape_feed.h), empty ones among them, are read past and
  // counted. Without it only NULs around the blocks are blank tape.
  void ReadAsTape() { tapeFeed_ = true; }
  // The next filtered line; a raw line the rules split into several is
  // delivered one line per call, "_" as an empty line. A failed read sets
  // IOResultCode and InOutRes; later calls read nothing.
  void ReadLine(std::string& line);
  // Raw lines read from the file (the tape line number).
  int32_t LineCount() const { return rawCount_; }
  // Lines delivered by ReadLine.
  int32_t DeliveredCount() const { return delivered_; }
  // How far into the file the reading is, in bytes (for progress): the
  // reader's own count, so asking costs no system call.
  int64_t BytesRead() const {
    return file_ != nullptr ? fileBytes_ - static_cast<int64_t>(bufferEnd_ - bufferPos_) : 0;
  }
  // Reads the file again from its start: counters and pending lines are
  // cleared, then up to n lines are read and dropped. When the place after
  // n lines was remembered (RememberPosition, or an earlier SkipLines (n))
  // and the rules now carry what they carried when that reading began, the
  // reader goes straight back there instead: the lines that follow, the
  // counters and the rules' state are the same either way.
  void SkipLines(int32_t n);
  // Remembers the place after the lines delivered so far as one SkipLines
  // may go back to (the places of one line count are kept at a time).
  void RememberPosition();
  // Lines SkipLines (n) would read again now: 0 when it goes straight back.
  int32_t RereadLines(int32_t n) const;
  // End of the file reached (or a read error met) and no line pending. A
  // DOS end-of-file mark (Ctrl-Z) or a punch's blank trailer (NUL bytes)
  // followed by nothing but Ctrl-Zs, NULs, blanks and line ends is no line:
  // it ends the file, and is dropped from a last line it closes; the reading
  // stops at such a tail holding more NULs than a line may (kMaxTextLine),
  // see ZeroTailBytes. Blank tape ahead of the first block is dropped from
  // its line, and lines of nothing but NULs and blanks are read past (and
  // counted). Inline while the block read holds the next line's first
  // character.
  // As a tape (ReadAsTape), the end is also where only blank tape lies
  // ahead: the next block is then read ahead and kept for ReadLine.
  bool Eof() {
    if (pendingText_.empty() && ioResult_ == 0 && file_ != nullptr && bufferPos_ < bufferEnd_ &&
        !charMode_ && !(tapeFeed_ ? MayOpenBlankTape(buffer_[bufferPos_]) : IsTapeEnd(buffer_[bufferPos_])))
      return false;
    return EofAtBlockEnd();
  }
  void Done();
  int IOResultCode() const { return ioResult_; }
  // The last raw line was longer than kMaxTextLine: nothing more is read
  // (and no I/O error is left pending).
  bool LineTooLong() const { return lineTooLong_; }
  // That line was nothing but zero bytes (behind feed marks, if any): blank
  // tape longer than a line.
  bool ZeroRun() const { return lineTooLong_ && zeroRun_; }
  // Blocks that held tape feed between their characters (ReadAsTape): how
  // many, the line of the first and its text as read, feed and all.
  int32_t FeedBlocks() const { return feedBlocks_; }
  int32_t FeedLine() const { return feedLine_; }
  const std::string& FeedBlock() const { return feedBlock_; }
  // The reading came to a tail of more NULs than a line may hold, which no
  // punch leaves: the file was not written to its end. The NULs of that
  // tail; nothing more is read (and no I/O error is left pending). 0 while
  // the reading has not stopped there.
  int64_t ZeroTailBytes() const { return zeroTailStop_ ? zeroTailBytes_ : 0; }
  bool CharMode() const { return charMode_; }

 private:
  bool ReadRawLine(std::string& raw);
  // The line read ahead by Eof, else the next raw line.
  bool NextRawLine(std::string& raw) { return aheadHeld_ ? TakeAhead(raw) : ioResult_ == 0 && ReadRawLine(raw); }
  bool TakeAhead(std::string& raw);
  static bool MayBeBlankTape(char c);
  // Every byte MayBeBlankTape takes, and other control characters: asked
  // of the byte after each line, so cheaply.
  static bool MayOpenBlankTape(char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; }
  // As a tape: takes the feed out of a line (noting a block that held some
  // inside) and tells a line of blank tape; control: the line holds a
  // control character or DEL.
  bool TapeLine(std::string& raw, bool control);
  // As a tape: reads past the rest of the run of CR and LF a line end
  // began with, counting the lines it ends.
  void ReadLineEndRun(char lineEnd);
  bool EofAtBlockEnd();
  // The bytes that end a tape when only a tail follows them: the DOS end
  // mark and a blank trailer's NUL.
  static bool IsTapeEnd(char c) { return c == kDosEndMark || c == '\0'; }
  // What a DOS editor, a padded transfer or a punch leaves behind the end.
  static bool IsDosTail(char c) { return IsDosTailByte(c); }
  // When the bytes from bufferPos_ to the file's end are all such, and hold
  // with nulsBefore (those of the tail already taken into the line) no more
  // NULs than a line may, reads past them and gives true; else reads nothing
  // (and remembers a tail of too many NULs in zeroTailAt_).
  bool SkipDosTail(std::size_t nulsBefore = 0);
  // Stops the reading at a tail of too many NULs when it has come there.
  bool StopAtZeroTail();
  // One raw line; blankTape tells a line of blank tape (see DropBlankTape).
  bool ReadTapeLine(std::string& raw, bool& blankTape);
  // A punch's blank tape in a raw line: the NULs and blanks in front of the
  // first block go when only blank tape lies ahead of the line. True, the
  // line emptied, for a line of nothing but NULs and blanks (a NUL among
  // them).
  bool DropBlankTape(std::string& raw, bool afterLeader);
  // Reads the next block of the file into the buffer; false at the end of
  // the file or on a read error (err then holds its number).
  bool FillBuffer(int& err);
  // What the rules of one swap file carry from one line to the next, with
  // the fields a line sets before it reads them.
  struct TRuleState {
    int Start = 0, Stop = -1, SavedStart = 0, SavedStop = -1, Current = 0;
    TVarArray Vars;
    bool Stopped = false;
  };
  using TRuleStates = std::vector<TRuleState>;
  // A place in the reading: everything the next ReadLine depends on.
  struct TReadPlace {
    TRuleStates From;  // the rules' state when this reading began at the file's start
    int64_t Offset = 0;
    int32_t Delivered = 0;
    int32_t Raw = 0;
    int32_t RunLines = 0;
    bool AheadHeld = false, AheadRead = false;
    std::string Ahead;
    std::string Pending;
    TRuleStates Rules;
  };
  TRuleStates RuleStates() const;
  // The same state as far as the next line can tell.
  static bool SameCarried(const TRuleStates& a, const TRuleStates& b);
  const TReadPlace* Remembered(int32_t n, const TRuleStates& from) const;
  void KeepPlace(int32_t n);
  bool GoTo(const TReadPlace& place);

  std::FILE* file_ = nullptr;
  // The lines read since the reading last began at the file's start were
  // filtered from this state on; straight_ is false when the reading began
  // part way into the file.
  TRuleStates origin_;
  bool straight_ = false;
  int32_t placesLine_ = -1;  // the line count of the places kept
  std::vector<TReadPlace> places_;
  // The file is read in blocks and split into lines here: a tape of a
  // million lines is not read a character at a time. The block of a reader
  // that ends is kept for the next one.
  struct TKeepBlock {
    void operator()(char* block) const noexcept;
  };
  std::unique_ptr<char[], TKeepBlock> buffer_;
  std::size_t bufferPos_ = 0;
  std::size_t bufferEnd_ = 0;
  // The file position behind the last block read.
  int64_t fileBytes_ = 0;
  // The offset of a byte past a Ctrl-Z that is no DOS tail (-1: none found).
  int64_t tapeAhead_ = -1;
  // Where the reading stops at a tail of too many NULs (-1: none found) and
  // the NULs of that tail; the file's bytes before leaderEnd_ are blank
  // tape (-1: the reading began part way into the file).
  int64_t zeroTailAt_ = -1;
  int64_t zeroTailBytes_ = 0;
  int64_t leaderEnd_ = 0;
  bool zeroTailStop_ = false;
  int ioResult_ = 0;
  bool lineTooLong_ = false;
  bool zeroRun_ = false;
  bool charMode_ = false;
  bool tapeFeed_ = false;
  // Empty lines of the last line end run, counted when the next line is read.
  int32_t runLines_ = 0;
  // The line Eof read ahead past blank tape, and whether it was read.
  bool aheadHeld_ = false, aheadRead_ = false;
  std::string ahead_;
  int32_t feedBlocks_ = 0, feedLine_ = 0, feedLastLine_ = 0;
  std::string feedBlock_;
  int32_t delivered_ = 0;
  int32_t rawCount_ = 0;
  std::string pendingText_;
};
