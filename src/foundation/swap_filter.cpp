#include "foundation/swap_filter.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "platform/paths.h"

const char* const SwapLineEnd = "\r\n";

namespace {

constexpr const char* kCrLf = "\r\n";

int ErrnoOr(int fallback) { return errno != 0 ? errno : fallback; }

// Reads one line of a text file: CR, LF and CR LF end a line and are not
// kept. False at the end of the file with nothing read, or on a read error
// (err is then set); a line longer than kMaxTextLine is not read on (tooLong
// set, the answer false).
bool ReadTextLine(std::FILE* f, std::string& line, int& err, bool& tooLong) {
  line.clear();
  err = 0;
  errno = 0;
  tooLong = false;
  int c = getc_unlocked(f);  // the reader is the file's only user
  if (c == EOF) {
    if (std::ferror(f)) err = ErrnoOr(EIO);
    return false;
  }
  while (c != EOF && c != '\r' && c != '\n') {
    if (line.size() == kMaxTextLine) {
      tooLong = true;
      return false;
    }
    line.push_back(static_cast<char>(c));
    c = getc_unlocked(f);
  }
  if (c == '\r') {
    int next = std::getc(f);
    if (next != '\n' && next != EOF) std::ungetc(next, f);
  }
  if (c == EOF && std::ferror(f)) {
    err = ErrnoOr(EIO);
    return false;
  }
  return true;
}

std::string Problem(const std::string& fileName, uint32_t lineNo, const std::string& what) {
  return "Swap file " + fileName + ", line " + std::to_string(lineNo) + ": " + what;
}

// The first rule after index from whose replacement holds "/!", or -1.
int NextSectionEnd(const TSwapControlRec& rec, int from) {
  for (std::size_t k = static_cast<std::size_t>(from) + 1; k < rec.Rules.size(); ++k) {
    if (rec.Rules[k].Replacement.find("/!") != std::string::npos) return static_cast<int>(k);
  }
  return -1;
}

// ---- Editing programs -------------------------------------------------------

// Runs (or, with problems given, only checks) the editing program of one rule
// on a line.
class TEditProgram {
 public:
  TEditProgram(TSwapControlRec& rec, int ruleIndex, std::vector<std::string>* problems)
      : rec_(rec), rule_(ruleIndex), prog_(rec.Rules[static_cast<std::size_t>(ruleIndex)].Replacement),
        problems_(problems) {}

  // Line after the program, the pattern having matched at match (0-based)
  // with length patternLength.
  std::string Run(std::string line, std::size_t match, std::size_t patternLength) {
    line_ = std::move(line);
    std::size_t i = prog_.find('[');
    if (i == std::string::npos) i = prog_.size();
    if (i > 0) {
      std::string literal = prog_.substr(0, i);
      std::size_t room = Room() + patternLength;
      if (literal.size() > room) literal.resize(room);
      line_.replace(match, patternLength, literal);
      cursor_ = match + literal.size();
    } else {
      cursor_ = match + patternLength;
    }
    while (i < prog_.size()) {
      if (prog_[i] == '[') {
        i = RunGroup(i + 1);
      } else {
        std::size_t next = prog_.find('[', i);
        if (next == std::string::npos) next = prog_.size();
        WriteRun(SubstituteVars(prog_.substr(i, next - i), rec_.Vars));
        i = next;
      }
    }
    return line_;
  }

  // Walks the program without running it: only problems are recorded.
  void Check() { Run(std::string(), 0, 0); }

 private:
  bool Checking() const { return problems_ != nullptr; }
  std::string Part(std::size_t pos, std::size_t n) const {
    return pos >= prog_.size() ? std::string() : prog_.substr(pos, n);
  }
  void Report(const std::string& what) {
    if (problems_) problems_->push_back(what);
  }
  // Characters the line may still grow by.
  std::size_t Room() const { return line_.size() >= SwapTextLimit ? 0 : SwapTextLimit - line_.size(); }

  void WriteRun(std::string run) {
    if (Checking()) return;
    if (!overwrite_) {
      if (run.size() > Room()) run.resize(Room());
      line_.insert(cursor_, run);
    } else {
      std::size_t over = std::min(run.size(), line_.size() - cursor_);
      if (run.size() - over > Room()) run.resize(over + Room());
      line_.replace(cursor_, over, run);
    }
    cursor_ += run.size();
  }

  // Text between "(" at i and the next ")"; i moves past it. False when
  // there is no "(" at i or no ")" after it.
  bool Argument(std::size_t& i, std::string& text) {
    if (i >= prog_.size() || prog_[i] != '(') return false;
    std::size_t close = prog_.find(')', i + 1);
    if (close == std::string::npos) return false;
    text = prog_.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
  }

  // A bracket group whose "[" stood before i; returns the index after it.
  std::size_t RunGroup(std::size_t i) {
    std::size_t slash = prog_.find('/', i);
    if (slash == std::string::npos || prog_.find_first_of("[]", i) < slash) {
      Report("bracket group without a command");
    }
    if (slash == std::string::npos) return prog_.size();
    i = slash;
    while (i < prog_.size()) {  // prog_[i] is "/"
      std::size_t commandStart = i;
      ++i;
      if (i >= prog_.size()) return i;
      char command = prog_[i++];
      int64_t count = 1;
      if (i < prog_.size() && prog_[i] >= '0' && prog_[i] <= '9') {
        count = 0;
        while (i < prog_.size() && prog_[i] >= '0' && prog_[i] <= '9') {
          count = std::min<int64_t>(count * 10 + (prog_[i] - '0'), std::numeric_limits<int32_t>::max());
          ++i;
        }
      }
      Command(command, count, i, commandStart);
      if (i < prog_.size() && prog_[i] == ']') return i + 1;
      std::size_t next = prog_.find('/', i);
      std::string skipped = prog_.substr(i, (next == std::string::npos ? prog_.size() : next) - i);
      if (skipped.find_first_not_of(' ') != std::string::npos) {
        Report("\"" + skipped + "\" after \"" + prog_.substr(commandStart, i - commandStart) +
               "\" is ignored (the group ends only at a \"]\" right after a command)");
      }
      if (next == std::string::npos) return prog_.size();
      i = next;
    }
    return i;
  }

  void Command(char command, int64_t count, std::size_t& i, std::size_t commandStart) {
    const bool run = !Checking();
    std::size_t len = line_.size();
    switch (command) {
      case 'h':
        cursor_ = 0;
        break;
      case 'e':
        cursor_ = len;
        break;
      case 'i':
        overwrite_ = false;
        break;
      case 'o':
        overwrite_ = true;
        break;
      case 'l':
        cursor_ = cursor_ > static_cast<std::size_t>(count) ? cursor_ - static_cast<std::size_t>(count) : 0;
        break;
      case 'r':
        for (int64_t k = 0; run && k < count; ++k) {
          if (cursor_ >= line_.size()) {
            if (Room() == 0) break;
            line_.push_back(' ');
          }
          ++cursor_;
          if (cursor_ < line_.size() && line_[cursor_] == '\n') ++cursor_;
        }
        break;
      case 'b': {
        std::size_t from = cursor_;
        for (int64_t k = 0; k < count && from > 0; ++k) {
          --from;
          if (from > 0 && line_[from - 1] == '\r') --from;
        }
        line_.erase(from, cursor_ - from);
        cursor_ = from;
        break;
      }
      case 'c': {
        std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), Room() / 2);
        std::string breaks;
        for (std::size_t k = 0; k < n; ++k) breaks += kCrLf;
        line_.insert(cursor_, breaks);
        cursor_ += breaks.size();
        break;
      }
      case 't': {
        std::size_t cr = line_.find('\r', cursor_);
        line_.erase(cursor_, (cr == std::string::npos ? line_.size() : cr) - cursor_);
        break;
      }
      case 's': {
        std::string text;
        if (!Argument(i, text)) {
          Report("\"/s\" needs the text to search for in parentheses right after it");
          break;
        }
        for (int64_t k = 0; run && k < count; ++k) {
          std::size_t p = line_.find(text, cursor_);
          if (p == std::string::npos || p + text.size() == cursor_) break;
          cursor_ = p + text.size();
        }
        break;
      }
      case 'R': {
        std::string from, to;
        if (!Argument(i, from) || !Argument(i, to)) {
          Report("\"/R\" needs (old)(new) right after it");
          break;
        }
        if (run) Replace(count, from, to);
        break;
      }
      case 'K': {
        std::size_t end = line_.size();
        for (std::size_t k = cursor_ + 1; k < line_.size(); ++k) {
          if (line_[k] >= 'A' && line_[k] <= 'Z') {
            end = k;
            break;
          }
        }
        if (cursor_ >= line_.size()) end = cursor_;
        if (run) rec_.Vars[9] = StringValue(line_.substr(cursor_, end - cursor_));
        line_.erase(cursor_, end - cursor_);
        break;
      }
      case '!':
        if (run) {
          rec_.SavedStart = rule_;
          rec_.SavedStop = NextSectionEnd(rec_, rule_);
        }
        break;
      case 'B': {
        bool reference = UpperCaseStr(Part(i, 5)) == "ASIC:";
        uint32_t id = 0;
        if (reference) {
          id = static_cast<uint32_t>(HexToInt(Part(i + 5, 8)));
          i = std::min(i + 13, prog_.size());
        }
        const TTokenizedBasic* statement = reference ? FindStatement(rec_.Statements, id) : nullptr;
        if (statement == nullptr) {
          Report("\"" + prog_.substr(commandStart, i - commandStart) + "\" names no statement");
        } else if (run) {
          RunStatement(statement->Text, rec_.Vars, rec_.Stopped);
        }
        break;
      }
      default: {
        std::size_t end = prog_.find_first_of("/]", i);
        Report("unknown command \"" + prog_.substr(commandStart, (end == std::string::npos ? prog_.size() : end) -
                                                                   commandStart) + "\"");
        break;
      }
    }
    cursor_ = std::min(cursor_, line_.size());
  }

  // count times: the first from at or after the cursor becomes to.
  void Replace(int64_t count, const std::string& from, const std::string& to) {
    if (from.empty()) {
      if (to.empty()) return;
      std::size_t copies = std::min<std::size_t>(static_cast<std::size_t>(count), Room() / to.size());
      std::string insert;
      for (std::size_t k = 0; k < copies; ++k) insert += to;
      line_.insert(cursor_, insert);
      cursor_ += insert.size();
      return;
    }
    std::string out = line_.substr(0, cursor_);
    std::size_t pos = cursor_;
    std::size_t newCursor = cursor_;
    for (int64_t k = 0; k < count; ++k) {
      std::size_t q = line_.find(from, pos);
      if (q == std::string::npos) break;
      std::size_t resultLength = out.size() + (q - pos) + to.size() + (line_.size() - q - from.size());
      if (to.size() > from.size() && resultLength > SwapTextLimit) break;
      out.append(line_, pos, q - pos);
      out += to;
      pos = q + from.size();
      newCursor = out.size();
    }
    out.append(line_, pos, std::string::npos);
    line_ = std::move(out);
    cursor_ = newCursor;
  }

  TSwapControlRec& rec_;
  int rule_;
  const std::string& prog_;
  std::vector<std::string>* problems_;
  std::string line_;
  std::size_t cursor_ = 0;
  bool overwrite_ = false;
};

// The rule rec.Current on a line.
std::string ApplyRule(TSwapControlRec& rec, std::string line) {
  if (rec.Stopped) return line;
  const TSwapRec& rule = rec.Rules[static_cast<std::size_t>(rec.Current)];
  std::size_t match = 0;
  if (!rule.Pattern.empty()) {
    match = line.find(rule.Pattern);
    if (match == std::string::npos) return line;
  }
  if (rule.Replacement.find('[') == std::string::npos) {
    std::string replacement = SubstituteVars(rule.Replacement, rec.Vars);
    std::size_t allowed = std::max(SwapTextLimit, line.size());
    std::size_t rest = line.size() - rule.Pattern.size();
    if (rest + replacement.size() > allowed) replacement.resize(allowed - rest);
    return line.replace(match, rule.Pattern.size(), replacement);
  }
  TEditProgram program(rec, rec.Current, nullptr);
  return program.Run(std::move(line), match, rule.Pattern.size());
}

// Adds a rule; false when it could not be stored.
bool AddSwapRule(TSwapControlRec& rec, uint32_t lineNo, const std::string& pattern,
                 const std::string& replacement, int& sectionEnd) {
  try {
    rec.Rules.push_back(TSwapRec{lineNo, pattern, replacement});
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (sectionEnd < 0 && replacement.find("/!") != std::string::npos) {
    sectionEnd = static_cast<int>(rec.Rules.size()) - 1;
  }
  return true;
}

// Reads one swap file into rec; false on an I/O error.
using TProblems = std::vector<std::pair<uint32_t, std::string>>;

bool ReadSwapFile(TSwapControlRec& rec, std::FILE* f, bool outputMode, const TSwapNotifyProc& notify,
                  const TSwapErrorProc& errorProc, TProblems& problems, int& sectionEnd) {
  std::string line;
  uint32_t lineNo = 0;
  int err = 0;
  bool tooLong = false;
  while (ReadTextLine(f, line, err, tooLong)) {
    ++lineNo;
    std::size_t first = line.find_first_not_of(' ');
    line.erase(0, first == std::string::npos ? line.size() : first);
    if (!line.empty() && line[0] == ';') continue;
    bool swapPrefix = UpperCaseStr(line.substr(0, 5)) == "SWAP=";
    if (outputMode && !swapPrefix) continue;
    if (swapPrefix) line.erase(0, 5);
    std::size_t eq = line.find('=');
    if (line.empty() || eq == std::string::npos) continue;
    if (line.size() > MaxSwapRuleLength) {
      problems.emplace_back(lineNo, "rule longer than " + std::to_string(MaxSwapRuleLength) +
                                        " characters; it is not used");
      continue;
    }
    if (notify) notify(SwapRuleSize);
    if (!AddSwapRule(rec, lineNo, line.substr(0, eq), line.substr(eq + 1), sectionEnd)) {
      if (errorProc) errorProc("Creating Swap structure");
    }
  }
  if (tooLong) {
    problems.emplace_back(lineNo + 1, "line longer than " + std::to_string(kMaxTextLine) +
                                          " characters; the rest of the file is not read");
    return false;
  }
  return err == 0;
}

// Empty lines made by the rules disappear: every run of CR LF pairs becomes
// one CR LF.
std::string CollapseEmptyLines(std::string text) {
  // Most lines hold no line break at all and come back as they are.
  if (text.find('\r') == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') {
      const std::size_t o = out.size();
      if (o < 2 || out[o - 2] != '\r' || out[o - 1] != '\n') out += kCrLf;
      i += 2;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

}  // namespace

// ---- Loading ----------------------------------------------------------------

namespace {
void CompileRules(TSwapControlRec& rec, TProblems& problems);
}  // namespace

void LoadSwapFiles(TSwapFilter& filter, const std::string& fileList, const TSwapNotifyProc& notify,
                   bool outputMode, const TSwapErrorProc& errorProc) {
  filter.Loaded = true;
  filter.Controls.clear();
  filter.LoadErrors.clear();
  std::string list = fileList;
  while (!list.empty()) {
    std::size_t semi = list.find(';');
    std::string name = list.substr(0, semi);
    list = semi == std::string::npos ? std::string() : list.substr(semi + 1);

    auto rec = std::make_unique<TSwapControlRec>();
    rec->FileName = name;
    rec->Rules.emplace_back();  // the head rule
    TProblems problems;
    bool ok = false;
    int openError = ENOENT;
    if (FileExistsNoWild(name)) {
      errno = 0;
      std::FILE* f = std::fopen(NativePath(name).c_str(), "rb");
      openError = f ? 0 : (errno ? errno : EIO);
      if (f != nullptr) {
        int sectionEnd = -1;
        ok = ReadSwapFile(*rec, f, outputMode, notify, errorProc, problems, sectionEnd);
        std::fclose(f);
        rec->Stopped = false;
        rec->Start = 0;
        rec->Stop = sectionEnd >= 0 ? sectionEnd : static_cast<int>(rec->Rules.size()) - 1;
        rec->Current = 0;
        CompileRules(*rec, problems);
      }
    }
    filter.Loaded = filter.Loaded && ok;
    if (openError != 0) {
      // A filter that cannot be read must not let the tape pass unfiltered
      // without a word.
      std::string message = "Swap file " + name + ": " + SystemErrorText(openError);
      filter.LoadErrors.push_back(message);
      if (errorProc) errorProc(message);
    }
    std::stable_sort(problems.begin(), problems.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& p : problems) {
      std::string message = Problem(rec->FileName, p.first, p.second);
      filter.LoadErrors.push_back(message);
      if (filter.NoticeProc) filter.NoticeProc(message);
      else if (errorProc) errorProc(message);
    }
    filter.Controls.push_back(std::move(rec));
  }
}

namespace {

void CompileRules(TSwapControlRec& rec, TProblems& problems) {
  for (std::size_t k = 1; k < rec.Rules.size(); ++k) {
    TSwapRec& rule = rec.Rules[k];
    const std::string& r = rule.Replacement;
    std::vector<std::string> found;
    std::string out;
    std::size_t i = 0;
    while (i < r.size()) {
      std::size_t open = r.find('[', i);
      if (open == std::string::npos) {
        out.append(r, i, std::string::npos);
        break;
      }
      out.append(r, i, open - i + 1);
      // The group ends at the first "]" outside double quotes.
      bool quoted = false;
      std::size_t close = std::string::npos;
      for (std::size_t j = open + 1; j < r.size(); ++j) {
        if (r[j] == '"') quoted = !quoted;
        if (r[j] == ']' && !quoted) {
          close = j;
          break;
        }
      }
      if (close == std::string::npos) {
        found.push_back("\"[\" without \"]\"");
        close = r.size();
      }
      out += CompileStatementList(r.substr(open + 1, close - open - 1), rec.Statements, found);
      out.push_back(']');
      i = close + 1;
    }
    rule.Replacement = out;
    if (rule.Replacement.find('[') != std::string::npos) {
      for (const std::string& p : CheckEditProgram(rec, static_cast<int>(k))) found.push_back(p);
    }
    for (const std::string& p : found) problems.emplace_back(rule.LineNo, p);
  }
}

}  // namespace

void CompileBasicSegments(TSwapControlRec& rec, std::vector<std::string>& problems) {
  TProblems found;
  CompileRules(rec, found);
  for (const auto& p : found) problems.push_back(Problem(rec.FileName, p.first, p.second));
}

std::vector<std::string> CheckEditProgram(const TSwapControlRec& rec, int ruleIndex) {
  std::vector<std::string> problems;
  if (ruleIndex < 1 || static_cast<std::size_t>(ruleIndex) >= rec.Rules.size()) return problems;
  // The check changes nothing; the record is only read.
  TEditProgram program(const_cast<TSwapControlRec&>(rec), ruleIndex, &problems);
  program.Check();
  return problems;
}

// ---- Filtering ------------------------------------------------------------

std::string SubstituteVars(const std::string& text, const TVarArray& vars) {
  std::string out = text;
  std::size_t i = 0;
  while (i + 2 < out.size()) {
    if (out[i] == '%' && out[i + 1] == '%' && out[i + 2] >= '0' && out[i + 2] <= '9') {
      const std::string& value = vars[static_cast<std::size_t>(out[i + 2] - '0')];
      if (!value.empty()) {
        std::string shown;
        switch (ValueKind(value)) {
          case vkString: shown = StringText(value); break;
          case vkTruth: shown = IsTrue(value) ? "TRUE" : "FALSE"; break;
          default: shown = value; break;
        }
        if (out.size() - 3 + shown.size() > SwapTextLimit) break;
        out.replace(i, 3, shown);
        // The inserted text is not scanned again.
        i += shown.size();
        continue;
      }
    }
    ++i;
  }
  return out;
}

std::string ApplyRuleChain(TSwapControlRec& rec, const std::string& line) {
  std::string result = line;
  rec.Current = rec.Start + 1;
  rec.SavedStart = rec.Start;
  rec.SavedStop = rec.Stop;
  rec.Vars[0] = StringValue(line);
  const int count = static_cast<int>(rec.Rules.size());
  while (rec.Current >= 1 && rec.Current < count) {
    result = ApplyRule(rec, std::move(result));
    ++rec.Current;
    if (rec.Stop >= 0 && rec.Current == rec.Stop + 1) break;
  }
  rec.Start = rec.SavedStart;
  rec.Stop = rec.SavedStop;
  return result;
}

std::string ApplyControlRec(TSwapControlRec& rec, const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    std::size_t cr = text.find('\r', start);
    std::string piece = text.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
    out += ApplyRuleChain(rec, piece);
    if (cr == std::string::npos) break;
    out += kCrLf;
    start = cr + 1;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  return out;
}

std::string ApplySwapFilter(TSwapFilter& filter, const std::string& text) {
  std::string result = text;
  for (auto& rec : filter.Controls) result = ApplyControlRec(*rec, result);
  result = CollapseEmptyLines(std::move(result));
  if (result.size() >= 2 && result.compare(result.size() - 2, 2, kCrLf) == 0) result.resize(result.size() - 2);
  return result;
}

// ---- SwapWriteFileObj ---------------------------------------------------------

void SwapWriteFileObj::Init(const std::string& fileList, std::FILE* outputFile, const TSwapNotifyProc& notify,
                            const TSwapErrorProc& errorProc) {
  file_ = outputFile;
  ioResult_ = 0;
  LoadSwapFiles(*this, fileList, notify, true, errorProc);
}

void SwapWriteFileObj::WriteLine(const std::string& line) {
  if (ioResult_ != 0) return;
  std::string result = ApplySwapFilter(*this, line);
  if (result.empty()) return;
  if (result == "_") result.clear();
  result += SwapLineEnd;
  errno = 0;
  if (file_ == nullptr) {
    ioResult_ = EBADF;
  } else if (std::fwrite(result.data(), 1, result.size(), file_) != result.size() || std::ferror(file_)) {
    ioResult_ = ErrnoOr(EIO);
  }
  if (ioResult_ != 0) InOutRes = ioResult_;
}

void SwapWriteFileObj::Done() {
  Controls.clear();
  file_ = nullptr;
}

// ---- SwapReadFileObj ---------------------------------------------------------

void SwapReadFileObj::Init(const std::string& fileList, std::FILE* inputFile, bool charMode,
                           const TSwapNotifyProc& notify, const TSwapErrorProc& errorProc) {
  file_ = inputFile;
  bufferPos_ = bufferEnd_ = 0;
  // The caller may hand a file read part way.
  const long start = inputFile != nullptr ? std::ftell(inputFile) : 0;
  fileBytes_ = start > 0 ? start : 0;
  ioResult_ = 0;
  lineTooLong_ = false;
  zeroRun_ = false;
  tapeFeed_ = false;
  runLines_ = 0;
  aheadHeld_ = aheadRead_ = false;
  ahead_.clear();
  feedBlocks_ = feedLine_ = feedLastLine_ = 0;
  feedBlock_.clear();
  tapeAhead_ = -1;
  zeroTailAt_ = -1;
  zeroTailBytes_ = 0;
  zeroTailStop_ = false;
  leaderEnd_ = start > 0 ? -1 : 0;
  LoadSwapFiles(*this, fileList, notify, false, errorProc);
  charMode_ = charMode;
  delivered_ = 0;
  rawCount_ = 0;
  pendingText_.clear();
  origin_ = RuleStates();
  straight_ = start <= 0;
  placesLine_ = -1;
  places_.clear();
}

namespace {

constexpr std::size_t kReadBlock = 65536;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The first CR or LF in [from, end), or end. Eight bytes at a time: a byte
// equal to the line end character gives a zero byte in the XOR, and the
// lowest flagged byte of the zero-byte test is always a true one.
std::size_t FindLineEnd(const char* data, std::size_t from, std::size_t end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    constexpr uint64_t kCR = kOnes * '\r', kLF = kOnes * '\n';
    while (end - from >= 8) {
      uint64_t w;
      std::memcpy(&w, data + from, 8);
      const uint64_t a = w ^ kCR, b = w ^ kLF;
      const uint64_t hits = ((a - kOnes) & ~a & kHighs) | ((b - kOnes) & ~b & kHighs);
      if (hits != 0) return from + std::size_t(std::countr_zero(hits) / 8);
      from += 8;
    }
  }
  while (from < end && !IsLineEnd(data[from])) ++from;
  return from;
}

// The first control character (below the blank, line ends among them) or
// DEL in [from, end), or end: a tape's line is looked at for tape feed only
// where it holds one. As FindLineEnd, the lowest flagged byte is a true one.
std::size_t FindControl(const char* data, std::size_t from, std::size_t end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    constexpr uint64_t kBlank = kOnes * ' ', kDel = kOnes * 0x7f;
    while (end - from >= 8) {
      uint64_t w;
      std::memcpy(&w, data + from, 8);
      const uint64_t d = w ^ kDel;
      const uint64_t hits = ((w - kBlank) & ~w & kHighs) | ((d - kOnes) & ~d & kHighs);
      if (hits != 0) return from + std::size_t(std::countr_zero(hits) / 8);
      from += 8;
    }
  }
  while (from < end && static_cast<unsigned char>(data[from]) >= 0x20 && data[from] != '\x7f') ++from;
  return from;
}

}  // namespace

namespace {
// The block of the last reader that ended: every import reads a file, and a
// block taken anew each time cost more than splitting a small tape.
char* SpareBlock = nullptr;
}  // namespace

void SwapReadFileObj::TKeepBlock::operator()(char* block) const noexcept {
  if (SpareBlock == nullptr)
    SpareBlock = block;
  else
    delete[] block;
}

bool SwapReadFileObj::FillBuffer(int& err) {
  // Only the bytes read are looked at: the block is not cleared first.
  if (!buffer_) buffer_.reset(SpareBlock != nullptr ? std::exchange(SpareBlock, nullptr) : new char[kReadBlock]);
  bufferPos_ = bufferEnd_ = 0;
  errno = 0;
  const std::size_t n = std::fread(buffer_.get(), 1, kReadBlock, file_);
  if (n == 0) {
    if (std::ferror(file_)) err = ErrnoOr(EIO);
    return false;
  }
  bufferEnd_ = n;
  fileBytes_ += static_cast<int64_t>(n);
  return true;
}

bool SwapReadFileObj::ReadRawLine(std::string& raw) {
  // Lines of blank tape are no blocks: read past, each counted.
  bool blankTape = true;
  while (blankTape)
    if (!ReadTapeLine(raw, blankTape)) return false;
  return true;
}

bool SwapReadFileObj::TakeAhead(std::string& raw) {
  aheadHeld_ = false;
  raw = std::move(ahead_);
  ahead_.clear();
  return aheadRead_;
}

bool SwapReadFileObj::MayBeBlankTape(char c) { return IsBlankTapeByte(c) || IsLineEnd(c); }

void SwapReadFileObj::ReadLineEndRun(char lineEnd) {
  int32_t crs = lineEnd == '\r', lfs = lineEnd == '\n';
  int ignored = 0;  // a read error met here shows at the next read
  while ((bufferPos_ < bufferEnd_ || FillBuffer(ignored)) && IsLineEnd(buffer_[bufferPos_])) {
    ++(buffer_[bufferPos_] == '\n' ? lfs : crs);
    ++bufferPos_;
  }
  // CR LF, CR CR LF and LF CR end one line; a blank line between adds one.
  runLines_ += std::max(lfs > 0 ? lfs : crs, 1) - 1;
}

bool SwapReadFileObj::TapeLine(std::string& raw, bool control) {
  if (control && HoldsTapeFeed(raw)) {
    std::string asRead = raw;
    if (DropTapeFeed(raw).Inside && rawCount_ > feedLastLine_) {
      // A line read again after SkipLines is not counted twice.
      feedLastLine_ = rawCount_;
      if (feedBlocks_++ == 0) {
        feedLine_ = rawCount_;
        feedBlock_ = std::move(asRead);
      }
    }
  }
  if (!IsBlankTapeLine(raw)) return false;
  raw.clear();
  return true;
}

bool SwapReadFileObj::ReadTapeLine(std::string& raw, bool& blankTape) {
  raw.clear();
  blankTape = false;
  if (file_ == nullptr) {
    ioResult_ = EBADF;
    return false;
  }
  rawCount_ += std::exchange(runLines_, 0);
  if (StopAtZeroTail()) {
    ++rawCount_;
    return false;
  }
  const int64_t lineStart = BytesRead();
  const bool afterLeader = leaderEnd_ >= 0 && lineStart <= leaderEnd_;
  int err = 0;
  // Non-character mode: up to CR, LF or CR LF (as a tape: up to any run of
  // CR and LF). Character mode: up to the next CR or LF, empty pieces read
  // past. Either way no more than kMaxTextLine characters are taken.
  bool ended = false;    // a line end closed the line (else the file's end)
  char lineEnd = 0;
  // As a tape: the line holds a control character or DEL (tape feed maybe);
  // until one is met the line is searched for one with its end.
  bool control = !tapeFeed_;
  bool tooLong = false;
  while (true) {
    if (bufferPos_ == bufferEnd_ && !FillBuffer(err)) break;
    const char* data = buffer_.get();
    if (charMode_ && raw.empty())
      while (bufferPos_ < bufferEnd_ && IsLineEnd(data[bufferPos_])) ++bufferPos_;
    std::size_t stop = control ? FindLineEnd(data, bufferPos_, bufferEnd_) : FindControl(data, bufferPos_, bufferEnd_);
    if (!control && stop < bufferEnd_ && !IsLineEnd(data[stop])) {
      control = true;
      stop = FindLineEnd(data, stop, bufferEnd_);
    }
    const std::size_t room = kMaxTextLine - raw.size();
    if (stop - bufferPos_ > room) {
      // The character after the last one taken is no line end.
      raw.append(data + bufferPos_, room);
      bufferPos_ += room;
      tooLong = true;
      break;
    }
    raw.append(data + bufferPos_, stop - bufferPos_);
    bufferPos_ = stop;
    if (stop < bufferEnd_) {
      ended = true;
      lineEnd = data[stop];
      ++bufferPos_;
      break;
    }
  }
  if (ended && !charMode_ && tapeFeed_) {
    // Most lines end in one LF, CR or CR LF with a block after it.
    const bool single = bufferPos_ < bufferEnd_ && !IsLineEnd(buffer_[bufferPos_]);
    if (!single && lineEnd == '\r' && bufferPos_ + 1 < bufferEnd_ && buffer_[bufferPos_] == '\n' &&
        !IsLineEnd(buffer_[bufferPos_ + 1]))
      ++bufferPos_;
    else if (!single)
      ReadLineEndRun(lineEnd);
  } else if (ended && !charMode_ && lineEnd == '\r') {
    // An LF right after the CR belongs to it. A read error met here shows
    // at the next read.
    int ignored = 0;
    if ((bufferPos_ < bufferEnd_ || FillBuffer(ignored)) && buffer_[bufferPos_] == '\n')
      ++bufferPos_;
  }
  // A Ctrl-Z or NUL behind a last line ends the file: with what may follow
  // it (see SkipDosTail) it is dropped from the line, and so is a tail of
  // too many NULs, at which the next read stops. Either makes no line too
  // long.
  if (err == 0) {
    std::size_t mark = raw.size();
    while (mark > 0 && IsDosTail(raw[mark - 1])) --mark;
    const auto from = std::find_if(raw.begin() + static_cast<std::ptrdiff_t>(mark), raw.end(), IsTapeEnd);
    if (from != raw.end()) {
      const auto nuls = static_cast<std::size_t>(std::count(from, raw.end(), '\0'));
      if (SkipDosTail(nuls) || (zeroTailAt_ >= 0 && BytesRead() >= zeroTailAt_)) {
        raw.erase(from, raw.end());
        tooLong = false;
      }
    }
    // As a tape, TapeLine takes the blank tape out of every line.
    if (!tooLong && !tapeFeed_) blankTape = DropBlankTape(raw, afterLeader);
  }
  // As a tape, the file's end with nothing before it is no line.
  if (tapeFeed_ && err == 0 && !ended && !tooLong && BytesRead() == lineStart) return false;
  ++rawCount_;
  if (err == 0 && tooLong) {
    // A line longer than any block is no tape: the rest is not read.
    lineTooLong_ = true;
    // Zero bytes, maybe behind the marks a link or a punch puts ahead of
    // its leader (XON, DC2, a rubout): a leader longer than a line.
    const auto zeros = std::find_if(raw.begin(), raw.end(), [](char c) { return c == '\0' || !IsTapeFeed(c); });
    zeroRun_ = zeros != raw.end() && std::all_of(zeros, raw.end(), [](char c) { return c == '\0'; });
    ioResult_ = EFBIG;
    raw.clear();
    return false;
  }
  ioResult_ = err;
  if (err != 0) InOutRes = err;
  // Without a control character only blanks can make a line blank tape.
  if (err == 0 && tapeFeed_ && (control || raw.empty() || raw.front() == ' ')) blankTape = TapeLine(raw, control);
  return err == 0;
}

bool SwapReadFileObj::StopAtZeroTail() {
  if (zeroTailAt_ < 0 || BytesRead() < zeroTailAt_ || ioResult_ != 0) return false;
  zeroTailStop_ = true;
  ioResult_ = EFBIG;
  return true;
}

bool SwapReadFileObj::DropBlankTape(std::string& raw, bool afterLeader) {
  constexpr std::string_view kBlankTape("\0 \t", 3);
  const std::size_t block = std::min(raw.find_first_not_of(kBlankTape), raw.size());
  const bool blankLine = block == raw.size();
  // The leader goes on over empty lines and lines of blank tape.
  if (afterLeader && blankLine) leaderEnd_ = BytesRead();
  // Blanks alone are left as they are: only a NUL makes blank tape.
  if ((!blankLine && !afterLeader) || raw.find('\0') >= block) return false;
  raw.erase(0, block);
  return blankLine;
}

void SwapReadFileObj::ReadLine(std::string& line) {
  if (Controls.empty() && pendingText_.empty()) {
    // A raw line holds no line break, so with no filter loaded it is the
    // line itself.
    if (!NextRawLine(line)) line.clear();
    if (line.size() == 1 && line[0] == '_') line.clear();
    ++delivered_;
    return;
  }
  if (pendingText_.empty()) {
    std::string raw;
    if (NextRawLine(raw)) pendingText_ = ApplySwapFilter(*this, raw);
  }
  std::size_t end = pendingText_.find(kCrLf);
  if (end == std::string::npos) {
    line = std::move(pendingText_);
    pendingText_.clear();
  } else {
    line = pendingText_.substr(0, end);
    pendingText_.erase(0, end + 2);
  }
  if (line == "_") line.clear();
  ++delivered_;
}

// ---- Places to go back to ---------------------------------------------------
//
// The lines after a place depend on the file's bytes from the place's offset
// on, on the counters and pending lines, and on what the rules carry from
// line to line. A reading from the file's start that began with the same
// carried state gives the same place again, so a place is kept with the
// state its reading began with and is gone back to only from that state.

namespace {

constexpr std::size_t kMaxPlaces = 8;

}  // namespace

SwapReadFileObj::TRuleStates SwapReadFileObj::RuleStates() const {
  TRuleStates states;
  states.reserve(Controls.size());
  for (const auto& rec : Controls)
    states.push_back(TRuleState{rec->Start, rec->Stop, rec->SavedStart, rec->SavedStop, rec->Current,
                                rec->Vars, rec->Stopped});
  return states;
}

bool SwapReadFileObj::SameCarried(const TRuleStates& a, const TRuleStates& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    // %0, the saved section and the current rule are set afresh by every
    // line before any rule reads them.
    if (a[i].Start != b[i].Start || a[i].Stop != b[i].Stop || a[i].Stopped != b[i].Stopped)
      return false;
    if (!std::equal(a[i].Vars.begin() + 1, a[i].Vars.end(), b[i].Vars.begin() + 1)) return false;
  }
  return true;
}

const SwapReadFileObj::TReadPlace* SwapReadFileObj::Remembered(int32_t n, const TRuleStates& from) const {
  if (n != placesLine_ || file_ == nullptr) return nullptr;
  for (const TReadPlace& place : places_)
    if (SameCarried(place.From, from)) return &place;
  return nullptr;
}

void SwapReadFileObj::KeepPlace(int32_t n) {
  if (!straight_ || file_ == nullptr || ioResult_ != 0 || lineTooLong_ || zeroTailStop_) return;
  const int64_t offset = BytesRead();
  if (offset > std::numeric_limits<long>::max()) return;
  if (n != placesLine_) {
    places_.clear();
    placesLine_ = n;
  }
  for (auto it = places_.begin(); it != places_.end(); ++it)
    if (SameCarried(it->From, origin_)) {
      places_.erase(it);
      break;
    }
  if (places_.size() >= kMaxPlaces) places_.erase(places_.begin());
  places_.push_back(TReadPlace{origin_, offset, delivered_, rawCount_, runLines_, aheadHeld_, aheadRead_, ahead_,
                               pendingText_, RuleStates()});
}

bool SwapReadFileObj::GoTo(const TReadPlace& place) {
  const int64_t bufferStart = fileBytes_ - static_cast<int64_t>(bufferEnd_);
  if (ioResult_ == 0 && !lineTooLong_ && !zeroTailStop_ && bufferEnd_ > 0 && place.Offset >= bufferStart &&
      place.Offset <= fileBytes_) {
    // A short pattern is still in the block read last.
    bufferPos_ = static_cast<std::size_t>(place.Offset - bufferStart);
  } else {
    bufferPos_ = bufferEnd_ = 0;
    ioResult_ = 0;
    lineTooLong_ = false;
    zeroTailStop_ = false;
    if (std::fseek(file_, static_cast<long>(place.Offset), SEEK_SET) != 0) return false;
    std::clearerr(file_);
    fileBytes_ = place.Offset;
  }
  delivered_ = place.Delivered;
  rawCount_ = place.Raw;
  runLines_ = place.RunLines;
  aheadHeld_ = place.AheadHeld;
  aheadRead_ = place.AheadRead;
  ahead_ = place.Ahead;
  pendingText_ = place.Pending;
  for (std::size_t i = 0; i < Controls.size() && i < place.Rules.size(); ++i) {
    TSwapControlRec& rec = *Controls[i];
    const TRuleState& state = place.Rules[i];
    rec.Start = state.Start;
    rec.Stop = state.Stop;
    rec.SavedStart = state.SavedStart;
    rec.SavedStop = state.SavedStop;
    rec.Current = state.Current;
    rec.Vars = state.Vars;
    rec.Stopped = state.Stopped;
  }
  return true;
}

void SwapReadFileObj::RememberPosition() { KeepPlace(delivered_); }

int32_t SwapReadFileObj::RereadLines(int32_t n) const {
  return Remembered(n, RuleStates()) != nullptr ? 0 : n;
}

void SwapReadFileObj::SkipLines(int32_t n) {
  // From here the lines are filtered again from the rules' present state.
  const TRuleStates from = RuleStates();
  if (const TReadPlace* place = Remembered(n, from)) {
    const TReadPlace target = *place;
    if (GoTo(target)) {
      origin_ = from;
      straight_ = true;
      return;
    }
  }
  origin_ = from;
  straight_ = true;
  // Lines pending from before the rewind would otherwise be delivered twice.
  pendingText_.clear();
  bufferPos_ = bufferEnd_ = 0;
  fileBytes_ = 0;
  delivered_ = 0;
  rawCount_ = 0;
  runLines_ = 0;
  aheadHeld_ = aheadRead_ = false;
  ahead_.clear();
  ioResult_ = 0;
  lineTooLong_ = false;
  zeroTailStop_ = false;
  if (file_ == nullptr || std::fseek(file_, 0, SEEK_SET) != 0) {
    ioResult_ = file_ == nullptr ? EBADF : ErrnoOr(EIO);
    InOutRes = ioResult_;
    return;
  }
  std::clearerr(file_);
  std::string dropped;
  for (int32_t k = 0; k < n && !Eof(); ++k) ReadLine(dropped);
  KeepPlace(n);
}

bool SwapReadFileObj::EofAtBlockEnd() {
  if (!pendingText_.empty() || aheadHeld_) return false;
  if (ioResult_ != 0 || file_ == nullptr) return true;
  while (true) {
    if (bufferPos_ == bufferEnd_) {
      int err = 0;
      if (!FillBuffer(err)) {
        if (err != 0) {
          ioResult_ = err;
          InOutRes = ioResult_;
        }
        return true;
      }
    }
    if (IsTapeEnd(buffer_[bufferPos_]) && SkipDosTail()) return true;
    // In character mode line ends before the next line are read past anyway.
    if (!charMode_ || !IsLineEnd(buffer_[bufferPos_])) break;
    ++bufferPos_;
  }
  if (!tapeFeed_ || charMode_ || !MayBeBlankTape(buffer_[bufferPos_])) return false;
  // Blank tape ahead: the next block is read, and the end is here when
  // there is none. A line too long or a tail of too many NULs met on the
  // way is the next line's to tell.
  aheadRead_ = ReadRawLine(ahead_);
  if (!aheadRead_ && ioResult_ == 0 && !lineTooLong_) return true;
  aheadHeld_ = true;
  return false;
}

bool SwapReadFileObj::SkipDosTail(std::size_t nulsBefore) {
  // A byte of tape found ahead before is ahead still, and so is a tail of
  // too many NULs.
  if (BytesRead() < tapeAhead_ || (zeroTailAt_ >= 0 && BytesRead() >= zeroTailAt_)) return false;
  std::size_t nuls = nulsBefore;
  for (std::size_t i = bufferPos_; i < bufferEnd_; ++i) {
    if (!IsDosTail(buffer_[i])) {
      tapeAhead_ = fileBytes_ - static_cast<int64_t>(bufferEnd_ - i);
      return false;
    }
    if (buffer_[i] == '\0') ++nuls;
  }
  // The rest of the file is looked at and put back.
  const long at = std::ftell(file_);
  if (at < 0) return false;
  char block[4096];
  bool tail = true;
  int64_t offset = at;
  for (std::size_t n = 0; tail && (n = std::fread(block, 1, sizeof block, file_)) > 0; offset += n) {
    const char* found = std::find_if_not(block, block + n, IsDosTail);
    nuls += static_cast<std::size_t>(std::count(static_cast<const char*>(block), found, '\0'));
    tail = found == block + n;
    if (!tail) tapeAhead_ = offset + (found - block);
  }
  tail = tail && !std::ferror(file_);
  std::clearerr(file_);
  if (std::fseek(file_, at, SEEK_SET) != 0 || !tail) return false;
  if (nuls > kMaxTextLine) {
    // No punch leaves a blank trailer longer than a line: a file that ends
    // in more zero bytes than that was not written to its end. The reading
    // stops when it comes here, or to any later place.
    zeroTailAt_ = BytesRead();
    zeroTailBytes_ = static_cast<int64_t>(nuls);
    return false;
  }
  // Taken, so that the reading stands at the file's end.
  int err = 0;
  bufferPos_ = bufferEnd_;
  while (FillBuffer(err)) bufferPos_ = bufferEnd_;
  return true;
}

void SwapReadFileObj::Done() {
  Controls.clear();
  file_ = nullptr;
}
