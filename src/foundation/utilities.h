// General helpers: number/text conversions that never fail, short-string
// operations, hexadecimal texts, DOS date/time packing, date and time texts
// and a few numeric helpers.
//
// Texts are short strings: std::string of at most 255 single-byte
// characters (kShortStringMax), positions 1-based, 0 meaning "not found".
// An operation that would grow a text past 255 characters cuts it at 255.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr std::size_t kShortStringMax = 255;

// Cuts a text to the short-string limit.
std::string ShortStr(std::string text);

// ---- Numbers and text ------------------------------------------------------

// Decimal text of a 32-bit integer, "-" for negatives, no grouping.
std::string IntToShortStr(int32_t value);

// Decimal integer text (leading blanks, optional sign, digits; "$" followed by
// hexadecimal digits is read as a 32-bit pattern). When the conversion fails at
// character k, the first k - 1 characters are converted instead; when that
// fails too the result is 0. Decimal values beyond the 32-bit range are
// limited to INT32_MIN .. INT32_MAX. Never raises.
int32_t StrToIntLenient(const std::string& text);

// Real text (leading blanks, optional sign, digits with an optional "." and
// fraction, optional exponent). Empty text gives 0.0; a text ending in "." is
// read with "0" appended; on failure at character k the first k - 1
// characters are tried the same way; then 0.0. A value beyond the double
// range gives 0.0. Locale independent; never raises.
double StrToRealLenient(const std::string& text);

// Fixed notation with 10 decimals, blanks removed, trailing zeros removed
// down to one decimal: 2.5 gives "2.5", 3 gives "3.0", -0.125 "-0.125".
// A value that shows as zero carries no sign.
std::string RealToStr(double value);

double IntToReal(int32_t value);
double Int64ToReal(int64_t value);

// "," before every group of three digits from the right: 1234567 gives
// "1,234,567"; negatives get "-" in front of the grouped magnitude.
std::string IntToStrGrouped(int32_t value);
std::string Int64ToStrGrouped(int64_t value);
// IntToStrGrouped, blanks in front until the text is width long.
std::string IntToStrGroupedPadded(int32_t value, int32_t width);
// Decimal text with "0" in front for 0..9 (two-digit fields).
std::string IntToStr2(int32_t value);
// exp(ln(base) * exponent); a base <= 0 gives 0.0.
double Power(double base, double exponent);

// ---- Short strings -----------------------------------------------------------

std::string UpperCaseStr(const std::string& text);  // a..z only
std::string LowerCaseStr(const std::string& text);  // A..Z only
std::string RemoveBlanks(const std::string& text);
// Deletes trailing characters with codes <= 32, then leading ones < 33.
std::string TrimBlanks(const std::string& text);
// Deletes leading and trailing blanks, then every character outside codes
// 32..126, then upper-cases.
std::string CleanUpperCase(const std::string& text);
// Deletes every trailing "0": "100" gives "1", "000" the empty text.
std::string StripTrailingZeros(const std::string& text);
std::string ReverseStr(const std::string& text);

// Position of the last occurrence of sub in text; 0 when there is none or
// sub is empty.
int32_t LastPos(const std::string& sub, const std::string& text);
// Position of the n-th occurrence of sub in text (occurrences may overlap);
// 0 when there are fewer, when n < 1 or sub is empty.
int32_t NthPos(int32_t n, const std::string& sub, const std::string& text);
// Position of the first character A..Z, 0 if none.
int32_t FirstUpperLetterPos(const std::string& text);
// Number of characters whose code lies outside lo..hi.
int32_t CountCharsOutside(unsigned char lo, unsigned char hi, const std::string& text);
// First character, '\0' for the empty text.
char FirstChar(const std::string& text);
// First n characters (all of them when the text is shorter; empty for n <= 0).
std::string LeftStr(const std::string& text, int32_t n);
// Last n characters (all of them when the text is shorter; empty for n <= 0).
std::string RightStr(const std::string& text, int32_t n);

// A text of a file shown in a message, cut so that a line of any length
// gives a box of a readable size: a text of at most `most` characters
// whole, a longer one as its first `most` characters, "..." and its length:
// TextStart("((((((", 3) gives "(((... (6 characters)".
std::string TextStart(std::string_view text, std::size_t most);
// The same between double quotes, as readers quote a value they refuse:
// "\"X1Y1\"", or "\"(((...\" (200,120 characters)".
std::string QuotedStart(std::string_view text, std::size_t most = 40);
// The text holds a byte no tape block may carry: a control character below
// the blank, TAB excepted (a blank to every tape reader, and a character of
// the tape codes).
bool HoldsTapeControlChar(std::string_view text);
// The text with each such byte written as its name in angle brackets
// ("G04<NUL>X1"), and DEL as "<DEL>", so that a message shows what the
// text holds.
std::string ShowTapeControlChars(std::string_view text);

// Up to three characters after the last "." of the file name part (after
// the last "\" or "/"): three blanks when that "." ends the name, empty when
// the file name has no ".".
std::string FileExtension3(const std::string& name);
// Replaces the extension of the file name part (after its last "." that
// follows the last "\" or "/") by ext; a name without one gets its trailing
// blanks deleted and "." + ext appended. A leading "." of ext is dropped.
// The name is never cut: a name made from it may be longer than 255.
std::string ChangeFileExtension(const std::string& name, const std::string& ext);
// The folder part of a name, up to and including its last "\" or "/";
// empty when there is none.
std::string FolderOf(const std::string& name);
// The file name part without folder and extension.
std::string BareName(const std::string& name);
// Shortens a path longer than width to its first 3 characters, "..." and its
// last width - 5 characters, dropping a partial folder name after the "..."
// when the path still holds at least two "\"; then pads with blanks to at
// least width characters.
std::string AbbreviatePath(const std::string& path, int32_t width);
int32_t CountBackslashes(const std::string& text);

// Token scanner over command and list texts. Blanks at position are skipped;
// each delimiter (blank, "(", ")", "*", ";", "=") is a token of its own;
// otherwise the token runs to the next delimiter or the end of the text.
// position (1-based) is left after the token; at the end of the text the
// token is empty. With upcase the token is upper-cased.
std::string NextToken(const std::string& text, int32_t& position, bool upcase);
// 0-based index of word among the upper-cased tokens of list; when nothing
// matches, the index of the last token read. word is compared unchanged, so
// callers pass it in upper case.
uint8_t WordIndex(const std::string& word, const std::string& list);
// The text unchanged (the number is a resource id the program does not use).
std::string ResText(uint16_t number, const std::string& text);

// ---- Hexadecimal and entity references ------------------------------------

std::string ByteToHex(uint8_t b);     // "0F"
std::string WordToHex(uint16_t w);    // "ABCD", high byte first
std::string LongToHex(uint32_t v);    // "0012ABCD", high word first
// A leading "$" is dropped; hex digits (either case) are accumulated up to
// the first other character, wrapping in 32 bits; no digits give 0.
int32_t HexToInt(const std::string& text);
// "$HHHH:$LLLL" of the high and low word: "$0012:$ABCD".
std::string FormatSegOfs(uint32_t v);
// Inverse of FormatSegOfs: characters 2..5 are the high word, 8..11 the low.
uint32_t ParseSegOfs(const std::string& text);

// ---- Date, time and small helpers -----------------------------------------

// Unpacked DOS date and time.
struct TDateTimeRec {
  uint16_t Year = 1980;
  uint16_t Month = 1;
  uint16_t Day = 1;
  uint16_t Hour = 0;
  uint16_t Min = 0;
  uint16_t Sec = 0;
  bool operator==(const TDateTimeRec&) const = default;
};

// Bits 25..31 year - 1980, 21..24 month, 16..20 day, 11..15 hour, 5..10
// minute, 0..4 second / 2. Each field is masked to its width.
uint32_t PackDosDateTime(const TDateTimeRec& dt);
// The inverse; the second comes back even.
TDateTimeRec UnpackDosDateTime(uint32_t value);
// Current local time "HH:MM:SS" and date "MM-DD-YYYY".
std::string TimeText();
std::string DateText();

// A block of `bytes` (a power of two) aligned to its size, zeroed; throws
// std::bad_alloc. FreeAlignedBlock gives it back with the same size.
void* NewAlignedBlock(std::size_t bytes);
void FreeAlignedBlock(void* block, std::size_t bytes);

// True when the first n bytes of the two blocks agree; n < 1 gives true.
bool BytesEqual(const void* a, const void* b, int32_t n);
int32_t MaxInt2(int32_t a, int32_t b);
int32_t MinInt2(int32_t a, int32_t b);
double MaxReal(double a, double b);
// The smaller of two integers ignoring zero: a when b = 0, b when a = 0.
int32_t MinNonZero(int32_t a, int32_t b);
void SwapIntegers(int32_t& a, int32_t& b);
void SwapIntegers2(int32_t& a, int32_t& b);
void SwapReals(double& a, double& b);

// Frees a singly linked list of heap nodes, each reached through the Next
// member of the one before; every node is deleted through its own (virtual)
// destructor.
template <typename TNode>
void FreeObjectList(TNode* head) {
  while (head != nullptr) {
    TNode* next = head->Next;
    delete head;
    head = next;
  }
}

// Angle of (x, y) in radians, -pi..pi.
double ArcTan2(double y, double x);
// ArcTan2(x, sqrt(1 - x^2)), with x limited to -1..1.
double ArcSin(double x);

// The system's default beep.
void Beep();
