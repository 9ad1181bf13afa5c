// The reader's run: one tape from its first line to its last, through the
// import swap filter, with the header keywords, the optional M48 default
// file, M99 subprogram files and their P repeats, and the symbol scratch
// file of the package cycles.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string_view>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "platform/paths.h"
#include "tapein/nc_reader.h"

bool ArcAdjustDisabled = false;
double CoordinateLimit = 2147483647.0;

namespace {

// The header keywords; the empty entry is last.
const char* const HeaderKeywords[] = {
    "AFS",  "ATC",  "BLKD",   "BLKDEL", "CCW",   "CP",    "DCTL",     "DEPMOD", "DETECT",
    "DN",   "EXDA", "FMAT",   "FSB",    "HPCK",  "ICI",   "INCH",     "METRIC", "MODE",
    "NCSL", "OM48", "OSTOP",  "OTCLMP", "PCKPARAM", "PF", "PPR",      "PURG",   "PVS",
    "R",    "RD",   "RSB",    "SBK",    "SG",    "SIXM",  "TBFR",     "TCST",   "UP",
    "VER",  "Z",    "ZA",     "ZC",     "ZS",    "Z+",    "Z-",       "/",      "",
};

char UpperCaseChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Where the free text of a block begins (the message of M47, the text M97
// and M98 drill, the file M99 calls): after the comma of the first of them,
// its M in either case; npos when it has none.
std::size_t FreeTextStart(std::string_view text) {
  for (std::size_t i = 0; i + 4 <= text.size(); ++i) {
    if (text[i + 3] != ',' || UpperCaseChar(text[i]) != 'M') continue;
    const char a = text[i + 1], b = text[i + 2];
    if ((a == '4' && b == '7') || (a == '9' && (b == '7' || b == '8' || b == '9'))) return i + 4;
  }
  return std::string::npos;
}

// A comment after a block's words (";" to the end of the line, as several
// CAD programs write them) is no part of the block; free text is kept whole.
void CutTrailingComment(std::string& line) {
  const std::size_t semicolon = line.find(';');
  if (semicolon == std::string::npos || semicolon == 0) return;
  if (FreeTextStart(std::string_view(line).substr(0, semicolon)) != std::string::npos) return;
  line.erase(semicolon);
}

// Tapes written in lower case read as the same words in upper case; free
// text is kept as written.
void UpperCaseWords(std::string& line) {
  if (std::none_of(line.begin(), line.end(), [](char c) { return c >= 'a' && c <= 'z'; })) return;
  const std::size_t end = std::min(FreeTextStart(line), line.size());
  for (std::size_t i = 0; i < end; ++i) line[i] = UpperCaseChar(line[i]);
}

// Opens a file for reading; a failure leaves its error number pending.
std::FILE* OpenForReading(const std::string& name, std::size_t buffer) {
  errno = 0;
  std::FILE* file = std::fopen(NativePath(name).c_str(), "rb");
  if (file == nullptr) {
    InOutRes = errno != 0 ? errno : ENOENT;
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IOFBF, buffer);
  return file;
}

void CloseFile(std::FILE*& file) {
  if (file == nullptr) return;
  if (std::fclose(file) != 0) InOutRes = errno != 0 ? errno : EIO;
  file = nullptr;
}

bool PlainEof(std::FILE* file) {
  const int c = std::fgetc(file);
  if (c == EOF) return true;
  std::ungetc(c, file);
  return false;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Cuts the text to a short string, as ShortStr does, without a copy.
void CutToShortString(std::string& text) {
  if (text.size() > kShortStringMax) text.resize(kShortStringMax);
}

// Removes leading "0" characters and answers how many there were.
int32_t StripZeros(std::string& text) {
  std::size_t n = 0;
  while (n < text.size() && text[n] == '0') ++n;
  text.erase(0, n);
  return static_cast<int32_t>(n);
}

// Digits with at most one decimal point among them, after an optional "+".
bool UnsignedNumberText(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  bool digit = false, point = false;
  for (const char c : text) {
    if (c == '.' && !point)
      point = true;
    else if (c >= '0' && c <= '9')
      digit = true;
    else
      return false;
  }
  return digit;
}

}  // namespace

// ---- Run -------------------------------------------------------------------------

void TNCReader::Run(bool& failed) {
  if (ErrorFlag) {
    // The reader could not be set up (its scratch path failed the check):
    // nothing is read.
    if (!SetupError.empty()) Error(SetupError);
    failed = true;
    Ran = true;
    return;
  }
  ArcAdjustDisabled = !ArcAdjust;
  if (FileBytes == 0) {
    std::error_code error;
    const auto size = std::filesystem::file_size(NativePath(FileName), error);
    if (!error) FileBytes = static_cast<int64_t>(size);
  }
  PrepareFile();
  if (ErrorFlag) {
    Notice("");
    Notice(Text(TextSomeErrors, "Some errors were detected in this file."));
    Notice(Text(TextInspectOutput, "Inspect the output carefully!"));
  }
  failed = Abort || ErrorFlag;
  Ran = true;
}

int32_t TNCReader::PercentRead() const {
  if (!GlobalRec || FileBytes <= 0) return 0;
  return static_cast<int32_t>(std::min<int64_t>(100, GlobalRec->MainSwap.BytesRead() * 100 / FileBytes));
}

void TNCReader::PrepareFile() {
  try {
    GlobalRec = std::make_unique<TGlobalRec>();
  } catch (const std::bad_alloc&) {
    ErrorFlag = true;
    Error("Insufficient memory");
    return;
  }
  TGlobalRec& g = *GlobalRec;
  const std::size_t slash = FileName.find_last_of("\\/");
  g.InputDir = slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
  FileName = g.InputDir + (slash == std::string::npos ? FileName : FileName.substr(slash + 1));
  if (FileExistsNoWild(FileName)) {
    CoordinateLimit = 2147483647.0;
    ResetFileState();
    OpenInput();
    ReadDefaultFile();
    ReadLoop();
    CloseInput();
    StoreRefused();
    // An error met on the way (I/O, a fatal decoding error, a swap filter
    // error) counts as much as one the interpreter marked in the file.
    ErrorFlag = ErrorFlag || g.ErrorInFile;
  } else {
    ErrorFlag = true;
  }
  GlobalRec.reset();
}

void TNCReader::OpenInput() {
  TGlobalRec& g = *GlobalRec;
  g.MainText = OpenForReading(FileName, 65536);
  if (CheckIO("Opening Input File") || g.MainText == nullptr) return;
  g.MainSwap.NoticeProc = ReaderSwapNotice;
  g.MainSwap.Init(SwapFilterName, g.MainText, false, {}, ReaderSwapError);
  g.MainSwap.ReadAsTape();
  g.MainSwapOpen = true;
  g.Values.fill(0);
  g.SubName.clear();
  g.InSub = false;
  g.PendingText = false;
  g.DipStage = 0;
  g.LPackStage = 0;
  g.DrillCycleG81 = false;
  g.DrillCycleG83 = false;
  g.SubOffsetX = g.SubOffsetY = 0;
  g.SubLineCount = 0;
  // The symbol file gets its scratch name when the first cycle makes it.
  g.SymbolFileName.clear();
  WriteDefaultSymbol();
  g.Format2 = true;
  g.SubBaseX = g.SubBaseY = 0;
  g.ArcI = g.ArcJ = 0;
  LastI = LastJ = 0;
}

void TNCReader::ReadDefaultFile() {
  if (!FileExistsNoWild(DefaultFileName)) return;
  TGlobalRec& g = *GlobalRec;
  std::FILE* file = OpenForReading(DefaultFileName, 4096);
  if (CheckIO("Opening M48 Default file") || file == nullptr) {
    CloseFile(file);
    return;
  }
  for (int32_t line = 1; !PlainEof(file) && !ErrorFlag && !Abort; ++line) {
    g.InHeader = true;
    if (ReadTextLineLimited(file, g.Line) == lrTooLong && StopLineTooLong(line)) break;
    g.Line = ShortStr(g.Line);
    g.RawLine = g.Line;
    if (CheckIO("Reading Default File")) break;
    Poll(Abort);
    ProcessLine();
  }
  g.InHeader = false;
  CloseFile(file);
  IOResult();
}

bool TNCReader::StopLineTooLong(int32_t line) {
  Fail("Line " + std::to_string(line) + " is longer than " +
       IntToStrGrouped(int32_t(kMaxTextLine)) + " characters: this is no tape; the reading stops.");
  return true;
}

bool TNCReader::StopAtZeroRun(int32_t line) {
  Fail("Line " + std::to_string(line) + ": more than " + IntToStrGrouped(int32_t(kMaxTextLine)) +
       " zero bytes in a row, more than blank tape holds: this is no tape; the reading stops.");
  return true;
}

void TNCReader::ReportTapeFeed(const SwapReadFileObj& file, const std::string& where) {
  const int32_t blocks = file.FeedBlocks();
  if (blocks == 0) return;
  Note("Line " + std::to_string(file.FeedLine()) + where + ": the tape feed inside the block " +
       QuotedStart(ShowTapeControlChars(file.FeedBlock()), 80) + " was passed over, as a tape reader does" +
       (blocks > 1 ? " (" + IntToStrGrouped(blocks) + " blocks held some)." : "."));
}

void TNCReader::ReportSubTapeFeed() {
  TGlobalRec& g = *GlobalRec;
  if (!g.SubSwapOpen || g.SubSwap.FeedBlocks() == 0) return;
  if (std::find(g.SubFeedTold.begin(), g.SubFeedTold.end(), g.SubName) != g.SubFeedTold.end()) return;
  g.SubFeedTold.push_back(g.SubName);
  ReportTapeFeed(g.SubSwap, " in M99 file " + g.SubName);
}

bool TNCReader::StopAtZeroTail(int32_t line, int64_t zeros) {
  Fail("Line " + std::to_string(line) + ": the file ends in " + Int64ToStrGrouped(zeros) +
       " zero bytes, more than a blank trailer holds: this is no tape; the reading stops.");
  return true;
}

bool TNCReader::CountLinesRead(int64_t lines) {
  TGlobalRec& g = *GlobalRec;
  g.LinesRead += lines;
  if (g.LinesRead <= MaxTapeLines) return true;
  // Repeats are named only where a pattern was read again.
  if (!ErrorFlag)
    Fail("Line " + std::to_string(BlockNumber) +
         (g.PatternReread ? ": the tape's repeats read more than " : ": the tape is longer than ") +
         IntToStrGrouped(int32_t(MaxTapeLines)) + " lines; the reading stops.");
  return false;
}

void TNCReader::ReadLoop() {
  TGlobalRec& g = *GlobalRec;
  if (!g.MainSwapOpen) return;
  int32_t counter = 0;
  // A subprogram called from the last lines of the main file is still read
  // to its end.
  while (true) {
    const bool mainAsked = !g.InSub;
    if (mainAsked && g.MainSwap.Eof()) break;
    if (g.EndOfProgram || Abort || ErrorFlag) break;
    Poll(Abort);
    if (++counter >= 100) {
      Progress(".");
      counter = 0;
    }
    g.FromPercent = false;
    if (!CountLinesRead(1)) break;
    if (g.InSub) {
      if (g.SubSwap.Eof()) {
        CloseSub();
      } else {
        g.SubSwap.ReadLine(g.Line);
        if (LineTooLong(g.SubSwap, g.SubSwap.LineCount())) break;
        if (!TakeReadLine("Reading M99 File", false)) break;
        Poll(Abort);
        g.SubLineCount = g.SubSwap.LineCount();
      }
    }
    if (!g.InSub) {
      // The loop's condition asked already when no subprogram was open.
      if (!mainAsked && g.MainSwap.Eof()) break;
      g.MainSwap.ReadLine(g.Line);
      if (LineTooLong(g.MainSwap, g.MainSwap.LineCount())) break;
      if (!TakeReadLine("Reading Data File", false)) break;
      Poll(Abort);
      g.LineEmits = 0;
      BlockNumber = g.MainSwap.LineCount();
      g.BlockPos = g.MainSwap.DeliveredCount();
    }
    // A plain hole line holds no comment, no lower case letter and no
    // keyword: what follows would hand it to ProcessLine as it is.
    if (PlainLineFastPath && DecodePlainPositionLine(WordFormats, g.Line, g.Letters.data(),
                                                      g.Values.data(), g.WordCount)) {
      ProcessPlainLine();
      continue;
    }
    DropTapeBlanks(g.Line);
    CutTrailingComment(g.Line);
    UpperCaseWords(g.Line);
    const char first = FirstChar(g.Line);
    if (first == ';' || (first == '/' && BlockDelete)) {
      // A digits statement ahead of the program is the tape's format, like
      // its units line; one after the program began is a comment a writer of
      // other digits carried over. Either is handed on as every comment is:
      // the consumer knows it by IsTapeDigitsStatement.
      if (first == ';' && (g.InHeader || !g.ProgramBegun)) ReadFileFormatComment(g.Line);
      UnparsedBlock(g.RawLine, SkippedLineKind());
      continue;
    }
    // A rewind stop ahead of every block opens the tape, as a punch frames
    // it: the program begins after it, and a digits statement there is the
    // tape's own still.
    const bool opensTape = first == '%' && !g.InHeader && !g.ProgramBegun;
    if (first == '%' || g.Line == "M95") {
      g.Line = "M25";
      g.FromPercent = true;
      g.InHeader = false;
      g.HeaderComments = false;
    }
    ProcessLine();
    if (opensTape) g.ProgramBegun = false;
  }
}

bool TNCReader::TakeReadLine(std::string_view context, bool removeBlanks) {
  TGlobalRec& g = *GlobalRec;
  CutToShortString(g.Line);
  g.RawLine = g.Line;
  // Nothing pending is the rule: CheckIO only for a result to take.
  if (InOutRes == 0) {
    LastIOResult = 0;
  } else if (CheckIO(context)) {
    return false;
  }
  if (removeBlanks) DropTapeBlanks(g.Line);
  return true;
}

void TNCReader::CloseInput() {
  TGlobalRec& g = *GlobalRec;
  if (g.InSub) CloseSub();
  if (g.MainText != nullptr) {
    CloseFile(g.MainText);
    CheckIO("Closing Data File");
  }
  if (g.MainSwapOpen) {
    ReportTapeFeed(g.MainSwap);
    g.MainSwap.Done();
    g.MainSwapOpen = false;
  }
  WordFormats.Done();
  // A move held back for the look-ahead is written out by an empty move.
  TNCMove flush;
  flush.Kind = NCMoveNone;
  flush.SourceBlock = 0;
  int32_t px = 0, py = 0;
  PatternTransform(g.CurX + g.SubOffsetX, g.CurY + g.SubOffsetY, px, py);
  ConvertPoint(px, py, flush.EndX, flush.EndY);
  flush.StartX = flush.EndX;
  flush.StartY = flush.EndY;
  flush.Tool = 1;
  flush.ToolOffset = 1;
  EmitMove(flush);
  if (g.SymbolFile != nullptr) {
    CloseFile(g.SymbolFile);
    CheckIO("Closing Symbol File");
  }
  if (g.SymbolFileMade) DeleteFileIfExists(g.SymbolFileName);
}

// ---- Lines and blocks ---------------------------------------------------------

std::string TNCReader::FreeTextBlock() const {
  const TGlobalRec& g = *GlobalRec;
  const std::size_t start = FreeTextStart(g.RawLine);
  if (start == std::string::npos) return g.Line;
  std::size_t end = g.RawLine.size();
  while (end > start && g.RawLine[end - 1] == ' ') --end;
  return UpperCaseStr(g.RawLine.substr(start - 4, 4)) + g.RawLine.substr(start, end - start);
}

uint8_t TNCReader::SkippedLineKind() const {
  if (GlobalRec->InHeader) return 1;
  if (GlobalRec->HeaderComments) return 0;
  return 2;
}

void TNCReader::ProcessLine() {
  TGlobalRec& g = *GlobalRec;
  // The common hole line (X and Y words only) is decoded in one pass; it is
  // no keyword and holds no word the repeat, subprogram and symbol layers
  // act on, so the general way would reach the word dispatch with the same
  // words.
  if (PlainLineFastPath && DecodePlainPositionLine(WordFormats, g.Line, g.Letters.data(),
                                                    g.Values.data(), g.WordCount)) {
    ProcessPlainLine();
    return;
  }
  // Lines of the tape come without blanks already; those of the default
  // file do not.
  std::string stripped;
  std::string_view plain = g.Line;
  if (g.Line.find(' ') != std::string::npos) {
    stripped = RemoveBlanks(g.Line);
    plain = stripped;
  }
  const std::size_t comma = plain.find(',');
  const std::string_view keyword = plain.substr(0, comma);
  if ((keyword == "M71" || keyword == "M72") && comma != std::string::npos) {
    // "M71,TZ": the unit with its zeros, in the header as in the body.
    SwitchUnits(keyword == "M71", std::string(plain.substr(comma + 1)));
    if (g.InHeader) QueueUnparsedBlock(g.RawLine);
  } else if (g.InHeader || keyword == "INCH" || keyword == "METRIC") {
    // Unit lines are honoured also before the M48 that opens the header.
    const std::string word(keyword);
    if (!stripped.empty()) g.Line = stripped;
    // The words of the list, measured once; a word is compared only with
    // those of its length and first letter (a header's tool lines are
    // looked up here one by one).
    static const std::vector<std::string_view> keywords = [] {
      std::vector<std::string_view> list;
      for (const char* entry : HeaderKeywords)
        if (*entry != '\0') list.emplace_back(entry);
      return list;
    }();
    bool known = false;
    for (const std::string_view entry : keywords) {
      if (entry.size() == word.size() && entry[0] == word[0] && entry == word) {
        known = true;
        break;
      }
    }
    if (known)
      ProcessHeaderLine(word);
    else
      ProcessBlock();
  } else {
    ProcessBlock();
  }
  FinishLine();
}

void TNCReader::ProcessPlainLine() {
  GlobalRec->WordCursor = 1;
  if (!PlainHoleBlock()) DispatchNcBlock();
  FinishLine();
}

void TNCReader::FinishLine() {
  TGlobalRec& g = *GlobalRec;
  if (!g.InHeader) g.ProgramBegun = true;
  if (g.WasHeader && !g.InHeader) {
    if (g.ZeroToolDefined) ZeroToolNumber();
    HeaderDone(AxisVersion);
  }
  g.WasHeader = g.InHeader;
}

void TNCReader::ProcessHeaderLine(const std::string& keyword) {
  TGlobalRec& g = *GlobalRec;
  const std::string& line = g.Line;
  const std::size_t comma = line.find(',');
  const std::string afterComma =
      comma == std::string::npos ? std::string() : line.substr(comma + 1, 2);
  if (keyword == "BLKD" || keyword == "BLKDEL") {
    BlockDelete = afterComma == "ON";
  } else if (keyword == "CCW") {
    CounterClockwise = afterComma == "ON";
  } else if (keyword == "CP") {
    // CP,tool,value is read as the words T tool C value; a value with a
    // decimal point keeps every digit, as a T..C size does.
    std::string rest = comma == std::string::npos ? std::string() : line.substr(comma + 1);
    const std::size_t second = rest.find(',');
    const std::string tool = rest.substr(0, second);
    const std::string value = second == std::string::npos ? std::string() : rest.substr(second + 1);
    // A size that is no number, or a negative one, compensates by nothing
    // the tape means: the tool keeps the compensation size it has. (A zero
    // is a size: a tool with no compensation size is written so.)
    if (!UnsignedNumberText(value)) {
      if (KeepsMessages())
        Message(JoinText({"Line ", std::to_string(BlockNumber), " \"", g.RawLine,
                          "\": the compensation size is not a positive number; it is not taken."}));
      return;
    }
    g.Line = "T" + tool + "C" + value;
    if (!DecodeBlockWords("", BlockNumber - 1)) return;
    int32_t cursor = 1, t = 0, c = 0;
    const bool hasT = FindWord('T', cursor, t);
    cursor = 1;
    const bool hasC = FindWord('C', cursor, c);
    if (hasT && hasC) SetToolCompDiameter(t, SizeOfWord('C', c));
  } else if (keyword == "FMAT") {
    if (line.size() >= 6) {
      if (line[5] == '1') g.Format2 = false;
      if (line[5] == '2') g.Format2 = true;
    }
  } else if (keyword == "ICI") {
    if (line.find("ICI,ON") != std::string::npos)
      Incremental = true;
    else if (line.find("ICI,OFF") != std::string::npos)
      Incremental = false;
  } else if (keyword == "INCH") {
    SwitchUnits(false, line.size() > 5 ? line.substr(5) : std::string());
  } else if (keyword == "METRIC") {
    SwitchUnits(true, line.size() > 7 ? line.substr(7) : std::string());
  } else if (keyword == "SG") {
    M96Block(BlockNumber - 1, line);
  } else if (keyword == "VER") {
    if (line.size() >= 5 && line[4] >= '1' && line[4] <= '8') AxisVersion = line[4] - '0';
  }
  // MODE and the other keywords carry nothing the reader uses.
}

bool TNCReader::ReadUnitsTail(std::string tail) {
  bool stated = false;
  if (StartsWith(tail, "LZ") || StartsWith(tail, "TZ")) {
    HeaderZeros = tail[0] == 'L';
    tail.erase(0, 3);
  }
  if (tail.find('.') != std::string::npos && tail.find('0') != std::string::npos) {
    const int32_t integerDigits = StripZeros(tail);
    tail.erase(0, 1);
    const int32_t decimalDigits = StripZeros(tail);
    if (integerDigits >= 1 && integerDigits <= 5 && decimalDigits >= 1 && decimalDigits <= 6) {
      HeaderIntegerDigits = integerDigits;
      HeaderDecimalDigits = StatedDecimals(decimalDigits);
      stated = true;
    }
  }
  const std::size_t comma = tail.find(',');
  if (comma != std::string::npos) tail.erase(0, comma + 1);
  if (StartsWith(tail, "LZ")) HeaderZeros = true;
  if (StartsWith(tail, "TZ")) HeaderZeros = false;
  return stated;
}

void TNCReader::SwitchUnits(bool metric, const std::string& tail) {
  TGlobalRec& g = *GlobalRec;
  const double before = Metric ? g.MetricScale : g.InchScale;
  Metric = metric;
  if (ReadUnitsTail(tail)) {
    g.DigitsStated = true;
  } else if (!g.DigitsStated) {
    HeaderIntegerDigits = metric ? MetricIntegerDigits : InchIntegerDigits;
    HeaderDecimalDigits = metric ? MetricDecimalDigits : InchDecimalDigits;
  }
  ResetNumberFormat();
  const double after = Metric ? g.MetricScale : g.InchScale;
  // The position so far, in the new tape units.
  if (before > 0.0 && after > 0.0 && before != after) RescaleCoordinates(before / after);
}

namespace {
const std::string kDigitsStatement = ";FILE_FORMAT=";
}  // namespace

bool IsTapeDigitsStatement(const std::string& line) {
  return StartsWith(UpperCaseStr(RemoveBlanks(line)), kDigitsStatement.c_str());
}

int32_t TNCReader::StatedDecimals(int32_t stated) const {
  return HeaderZeros ? std::max(stated, Metric ? MetricDecimalDigits : InchDecimalDigits) : stated;
}

bool TNCReader::ReadFileFormatComment(const std::string& line) {
  if (!IsTapeDigitsStatement(line)) return false;
  const std::string value = UpperCaseStr(RemoveBlanks(line)).substr(kDigitsStatement.size());
  const std::size_t colon = value.find(':');
  if (colon == std::string::npos) return false;
  const int32_t integerDigits = StrToIntLenient(value.substr(0, colon));
  const int32_t decimalDigits = StrToIntLenient(value.substr(colon + 1));
  if (integerDigits < 1 || integerDigits > 5 || decimalDigits < 1 || decimalDigits > 6) return false;
  HeaderIntegerDigits = integerDigits;
  HeaderDecimalDigits = StatedDecimals(decimalDigits);
  GlobalRec->DigitsStated = true;
  ResetNumberFormat();
  return true;
}

void TNCReader::EndUnclosedHeader() {
  TGlobalRec& g = *GlobalRec;
  g.InHeader = false;
  g.HeaderComments = false;
  if (!KeepsMessages()) return;
  Notice(JoinText({"The header opened by M48 in line ", std::to_string(g.HeaderLine),
                   " is not closed by % or M95: it ends before line ", std::to_string(BlockNumber), "."}));
}

bool TNCReader::DecodeBlockWords(const std::string& messageSuffix, int32_t messageBlock) {
  TGlobalRec& g = *GlobalRec;
  bool error = false;
  std::string errorText;
  // The whole block is decoded once; a block whose first word (the one
  // after an N) is M47, M97, M98 or M99 is decoded again up to that word
  // only: the rest of its line is free text for the interpreter, and its
  // words neither count as errors nor mark a decimal point.
  const bool pointBefore = WordFormats.XYPoint;
  DecodeLine(WordFormats, g.Line, g.Letters.data(), g.Values.data(), g.WordCount, error,
             errorText);
  const int32_t first = g.WordCount >= 2 && g.Letters[1] == 'N' ? 2 : 1;
  const int32_t code = g.Values[first];
  if (first <= g.WordCount && g.Letters[first] == 'M' &&
      (code == 47 || code == 97 || code == 98 || code == 99)) {
    WordFormats.XYPoint = pointBefore;
    char letter = 0;
    int32_t value = 0;
    bool found = false;
    DecodeFirstWord(WordFormats, g.Line, first, letter, value, found, error, errorText);
    g.Letters[1] = 'M';
    g.Values[1] = value;
    g.WordCount = 1;
  }
  // A position word that did not fit was dropped: the hole would land at the
  // previous position, so the reading stops.
  const std::size_t position = WordFormats.DroppedLetters.find_first_of("XYIJA");
  if (error && position != std::string::npos) {
    Fail(JoinText({"Line ", std::to_string(BlockNumber), " \"", g.RawLine, "\": the ",
                   std::string_view(&WordFormats.DroppedLetters[position], 1),
                   " word lies beyond the largest coordinate (", Metric ? "2147.48 mm" : "84.5466 in",
                   ") or has more digits than the format (", errorText, ")."}));
    return false;
  }
  if (error && (ErrorsAreFatal || KeepsMessages())) {
    std::string text = JoinText({"Block ", IntToShortStr(BlockNumber), ":", errorText});
    if (ErrorsAreFatal) {
      ErrorFlag = true;
      Error(std::move(text));
      return false;
    }
    Message(std::move(text));
    BlockMessage(messageBlock, errorText + messageSuffix);
  }
  return true;
}

void TNCReader::ProcessBlock() {
  if (!DecodeBlockWords("", BlockNumber - 1)) return;
  GlobalRec->WordCursor = 1;
  CheckRepeat();
}

void TNCReader::CheckRepeat() {
  TGlobalRec& g = *GlobalRec;
  if (!g.SymbolDefining && g.WordCount >= 1 && g.Letters[1] == 'P') {
    const int32_t n = g.Values[1];
    int32_t cursor = 1, dx = 0, dy = 0;
    FindWord('X', cursor, dx);
    cursor = 1;
    FindWord('Y', cursor, dy);
    // Without a subprogram to repeat there is nothing to count through.
    if (g.SubName.empty() || !FileExistsNoWild(g.SubName)) return;
    for (int32_t i = 1; i <= n && !ErrorFlag && !Abort; ++i)
      RepeatSub(ClampCompToInt(static_cast<int64_t>(i) * dx),
                ClampCompToInt(static_cast<int64_t>(i) * dy));
    return;
  }
  CheckSubCall();
}

void TNCReader::CheckSubCall() {
  TGlobalRec& g = *GlobalRec;
  if (!HasWordValue('M', 99)) {
    g.WordCursor = 1;
    InterpretNcBlock();
    return;
  }
  if (g.InSub) {
    Message(Text(TextNestedM99, "Illegal nested M99 call!"));
    Message("<" + g.Line + ">");
    std::string next;
    if (!g.SubSwap.Eof()) {
      g.SubSwap.ReadLine(next);
      g.SubLineCount = g.SubSwap.LineCount();
    }
    CheckIO("Reading M99 File");
    CutToShortString(next);
    Message("<" + next + ">");
    g.ErrorInFile = true;
    return;
  }
  // M99, one separator character, then the file name.
  const std::size_t call = g.Line.find("M99");
  const std::size_t nameStart = call == std::string::npos ? g.Line.size() : call + 4;
  const std::string name = nameStart < g.Line.size() ? g.Line.substr(nameStart) : std::string();
  g.SubName = ShortStr(g.InputDir + name);
  auto readMainLine = [&](const char* context) {
    g.Line.clear();
    if (!g.MainSwap.Eof()) {
      g.MainSwap.ReadLine(g.Line);
      g.LineEmits = 0;
      BlockNumber = g.MainSwap.LineCount();
      g.BlockPos = g.MainSwap.DeliveredCount();
    }
    g.Line = ShortStr(g.Line);
    g.RawLine = g.Line;
    const bool failed = CheckIO(context);
    g.Line = RemoveBlanks(g.Line);
    return !failed;
  };
  if (name.empty() || !FileExistsNoWild(g.SubName)) {
    Message(Text(TextM99NotFound, "Error : M99 file not found!"));
    g.ErrorInFile = true;
    readMainLine("Reading input file");
    return;
  }
  g.InSub = true;
  if (!readMainLine("Reading M99 File")) {
    g.InSub = false;
    return;
  }
  Poll(Abort);
  if (!DecodeBlockWords(" in <" + g.SubName + ">", 0)) {
    g.InSub = false;
    return;
  }
  int32_t cursor = 1;
  FindWord('X', cursor, g.SubOffsetX);
  cursor = 1;
  FindWord('Y', cursor, g.SubOffsetY);
  g.SubText = OpenForReading(g.SubName, 65536);
  if (CheckIO("Opening M99 File") || g.SubText == nullptr) {
    g.InSub = false;
    g.SubOffsetX = g.SubOffsetY = 0;
    return;
  }
  g.SubSwap.NoticeProc = ReaderSwapNotice;
  g.SubSwap.Init(SwapFilterName, g.SubText, false, {}, ReaderSwapError);
  g.SubSwap.ReadAsTape();
  g.SubSwapOpen = true;
  g.SubLineCount = 0;
  g.SubBaseX = g.SubOffsetX;
  g.SubBaseY = g.SubOffsetY;
}

void TNCReader::RepeatSub(int32_t dx, int32_t dy) {
  TGlobalRec& g = *GlobalRec;
  if (g.SubName.empty() || !FileExistsNoWild(g.SubName)) return;
  if (g.InSub) {
    // A P repeat inside the subprogram would read it within itself.
    Message(Text(TextNestedM99, "Illegal nested M99 call!"));
    Message("<" + g.Line + ">");
    g.ErrorInFile = true;
    return;
  }
  g.SubOffsetX = ClampCompToInt(static_cast<int64_t>(dx) + g.SubBaseX);
  g.SubOffsetY = ClampCompToInt(static_cast<int64_t>(dy) + g.SubBaseY);
  g.SubText = OpenForReading(g.SubName, 65536);
  if (CheckIO("Opening M99 File") || g.SubText == nullptr) {
    g.SubOffsetX = g.SubOffsetY = 0;
    return;
  }
  g.SubSwap.NoticeProc = ReaderSwapNotice;
  g.SubSwap.Init(SwapFilterName, g.SubText, false, {}, ReaderSwapError);
  g.SubSwap.ReadAsTape();
  g.SubSwapOpen = true;
  g.SubLineCount = 0;
  while (!g.SubSwap.Eof() && !ErrorFlag && !Abort && !g.EndOfProgram) {
    g.FromPercent = false;
    g.SubSwap.ReadLine(g.Line);
    if (LineTooLong(g.SubSwap, g.SubSwap.LineCount())) break;
    if (!TakeReadLine("Reading M99 File")) break;
    Poll(Abort);
    g.SubLineCount = g.SubSwap.LineCount();
    const char first = FirstChar(g.Line);
    if (first == ';' || (first == '/' && BlockDelete)) continue;
    if (first == '%') {
      g.Line = "M25";
      g.FromPercent = true;
    }
    bool error = false;
    std::string errorText;
    DecodeLine(WordFormats, g.Line, g.Letters.data(), g.Values.data(), g.WordCount, error,
               errorText);
    if (error) {
      if (ErrorsAreFatal) {
        Fail(errorText + " in M99 file " + g.SubName);
        break;
      }
      Message(errorText + " in M99 file " + g.SubName);
      BlockMessage(0, errorText + " in <" + g.SubName + ">");
    }
    g.WordCursor = 1;
    InterpretNcBlock();
  }
  CloseFile(g.SubText);
  IOResult();
  ReportSubTapeFeed();
  if (!ConsumerMode) {
    g.SubSwap.Done();
    g.SubSwapOpen = false;
  }
  g.SubOffsetX = g.SubOffsetY = 0;
  g.SubLineCount = 0;
}

void TNCReader::CloseSub() {
  TGlobalRec& g = *GlobalRec;
  g.InSub = false;
  CloseFile(g.SubText);
  CheckIO("Closing M99 File");
  ReportSubTapeFeed();
  if (!ConsumerMode && g.SubSwapOpen) {
    g.SubSwap.Done();
    g.SubSwapOpen = false;
  }
  g.SubOffsetX = g.SubOffsetY = 0;
  g.SubLineCount = 0;
  g.SymbolDefining = false;
}

// ---- Symbol file ------------------------------------------------------------------

void TNCReader::BeginSymbol() {
  TGlobalRec& g = *GlobalRec;
  g.DefaultSymbolPins = 0;
  CloseFile(g.SymbolFile);
  IOResult();
  errno = 0;
  if (g.SymbolFileMade) {
    // The reader's own file, made by an earlier cycle: emptied again.
    g.SymbolFile = std::fopen(NativeSavePath(g.SymbolFileName).c_str(), "w+b");
    if (g.SymbolFile == nullptr) InOutRes = errno != 0 ? errno : EACCES;
  } else {
    // A new file at a scratch name nobody has.
    const int fd = CreateScratchFile(ScratchDir, g.SymbolFileName);
    if (fd >= 0) {
      g.SymbolFileMade = true;
      g.SymbolFile = ::fdopen(fd, "w+b");
      if (g.SymbolFile == nullptr) {
        InOutRes = errno != 0 ? errno : EIO;
        ::close(fd);
      }
    }
  }
  CheckIO("Writing Symbol File " + g.SymbolFileName);
  g.SymbolDefining = true;
  g.SymbolHits = 0;
}

void TNCReader::WriteSymbolHit(int32_t x, int32_t y) {
  TGlobalRec& g = *GlobalRec;
  if (g.SymbolFile == nullptr) return;
  TNCMove move;
  move.Kind = NCMoveHit;
  move.SourceBlock = 0;
  move.CentreX = NCToInternal(x);
  move.CentreY = NCToInternal(y);
  move.FromRepeat = g.InPattern ? 1 : 0;
  move.Tool = g.CurrentTool;
  move.ToolOffset = g.CurrentCompTool;
  unsigned char record[NCMoveRecordSize];
  PackMove(move, record);
  ++g.SymbolHits;
  if (std::fwrite(record, 1, sizeof record, g.SymbolFile) != sizeof record)
    InOutRes = errno != 0 ? errno : EIO;
  CheckIO("Writing Symbol File");
}

void TNCReader::WriteDefaultSymbol() {
  TGlobalRec& g = *GlobalRec;
  // The pins are those a package cycle would write to the symbol file, kept
  // in memory: the file is made by the first cycle, if the tape has one.
  g.SymbolDefining = true;
  g.SymbolHits = 0;
  g.DefaultSymbolPins = 0;
  const auto pin = [&](int64_t x, int64_t y) {
    g.DefaultSymbol[std::size_t(g.DefaultSymbolPins++)] = {NCToInternal(ClampCompToInt(x)),
                                                             NCToInternal(ClampCompToInt(y))};
    ++g.SymbolHits;
  };
  // A tenth of an inch in tape units; with many decimals that is more than
  // 32 bits hold, so the multiples are clamped, never wrapped.
  const int64_t step = SafeRound(2540000.0 / g.InchScale);
  for (int64_t i = 0; i <= 6; ++i) pin(0, i * step);
  for (int64_t i = 6; i >= 0; --i) pin(3 * step, i * step);
}

void TNCReader::ReplaySymbol(int32_t dx, int32_t dy) {
  TGlobalRec& g = *GlobalRec;
  const double scale = Metric ? g.MetricScale : g.InchScale;
  const auto emit = [&](int32_t centreX, int32_t centreY) {
    const int32_t x = ClampCompToInt(static_cast<int64_t>(SafeRound(centreX / scale)) + dx + g.SubOffsetX);
    const int32_t y = ClampCompToInt(static_cast<int64_t>(SafeRound(centreY / scale)) + dy + g.SubOffsetY);
    EmitPatternHit(x, y);
  };
  if (g.SymbolFile == nullptr) {
    // The default symbol: no cycle has written the file yet.
    for (int32_t i = 0; i < g.DefaultSymbolPins; ++i)
      emit(g.DefaultSymbol[std::size_t(i)].first, g.DefaultSymbol[std::size_t(i)].second);
    return;
  }
  if (std::fflush(g.SymbolFile) != 0 || std::fseek(g.SymbolFile, 0, SEEK_SET) != 0)
    InOutRes = errno != 0 ? errno : EIO;
  if (CheckIO("Resetting symbol file")) return;
  unsigned char record[NCMoveRecordSize];
  // The records are read first: emitting a hit may not disturb the file
  // position, but a consumer's operation may take its time. The list of the
  // last replay takes them (a replay the emission started would find it
  // taken and make its own).
  std::vector<TNCMove> records = std::move(ReplayRecords);
  records.clear();
  while (std::fread(record, 1, sizeof record, g.SymbolFile) == sizeof record)
    records.push_back(UnpackMove(record));
  if (std::ferror(g.SymbolFile)) InOutRes = errno != 0 ? errno : EIO;
  if (!CheckIO("Reading symbol file")) {
    std::fseek(g.SymbolFile, 0, SEEK_END);
    for (const TNCMove& m : records) emit(m.CentreX, m.CentreY);
  }
  ReplayRecords = std::move(records);
}

void TNCReader::QueueUnparsedBlock(const std::string& text) {
  TGlobalRec& g = *GlobalRec;
  if (!g.InHeader && !g.HeaderComments) {
    // A queued block waits for the next move and is then handed on with it.
    // The blocks one line's repeats queue count against that line's limit,
    // or a tape of a few lines could queue millions; the tape's own blocks
    // (sequence numbers, comments) are no holes or moves and leave the
    // tape's limit to them.
    if (!CountLineRepeat()) return;
    if (g.HeldMove.PendingTexts == nullptr) g.HeldMove.PendingTexts = new TPendingTexts;
    g.HeldMove.PendingTexts->Add(text);
  } else {
    UnparsedBlock(text, g.InHeader ? 1 : 0);
  }
}
