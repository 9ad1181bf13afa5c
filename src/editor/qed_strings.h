// The editor library's texts, its international settings and its
// exception family.
//
// The texts live in two string-table resources kept in the program:
// "QED_STRINGS_ENGLISH" (the library's texts: command names at 33768 + the
// command number, error messages, table names, menu captions) and
// "SRMGR_STRINGS" (the string manager's own five messages). A resource is
// little-endian: the magic "STR0", the entry count n, n entries sorted by
// identifier (identifier, byte offset of the text from the resource's
// start, length in UTF-16 code units), then the texts in UTF-16LE. A
// TQedStringResource finds a text by binary search; a missing identifier
// gives an empty text (or raises "String not found: %d" when asked to).
//
// Every exception of the library derives from EQedException and takes its
// message from the library's table when raised.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

// The bytes of a named string-table resource; null when there is none.
const std::string* FindStringTableResource(const std::string& name);

class ETQedStringResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TQedStringResource {
 public:
  // Opens the resource: ETQedStringResourceError when it is missing
  // ("String resource not found: %s") or is no string table ("Invalid
  // QedString resource").
  TQedStringResource(const std::string& resourceName, bool raiseWhenMissing);
  const std::string& Name() const { return Name_; }
  // The text of the identifier, converted to the 8-bit code page
  // (characters above 255 become "?").
  std::string GetText(uint32_t id) const;
  uint32_t Count() const { return Count_; }

 private:
  std::string Name_;
  bool Raise_;
  const std::string* Data_ = nullptr;
  uint32_t Count_ = 0;
};

// The program's two instances.
const TQedStringResource& QedStrings();
const TQedStringResource& SrMgrStrings();
// A text of the library's table (empty when missing).
std::string QedLoadStr(uint32_t id);

// Identifiers of the texts the library uses.
constexpr uint32_t kQedCommandNameBase = 33768;  // + command number
constexpr uint32_t sDuplicateCommand = 34169, sTableNotFound = 34170, sNoControllerAssigned = 34172,
                   sNoTimersAvailable = 34189;
constexpr uint32_t sInsufficientMemory = 34197, sTooManyParas = 34198, sCannotJoin = 34199,
                   sTextTooLarge = 34200, sParaTooLong = 34201;
constexpr uint32_t sInvalidLineOrPara = 34213, sInvalidFixedFont = 34214, sInvalidFontParam = 34215,
                   sInvalidLineOrCol = 34216;
constexpr uint32_t sNone = 34268, sUser = 34269, sUserN = 34270, sDefaultTable = 34275,
                   sWordStarTable = 34276, sUnknownTable = 34277, sGridTable = 34284;
constexpr uint32_t sRestore = 34287, sCut = 34288, sCopy = 34289, sPaste = 34290, sDelete = 34291,
                   sSelectAll = 34292;

// ---------------------------------------------------------------- exceptions

class EQedException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class ENoTimersAvailable : public EQedException {
 public:
  ENoTimersAvailable() : EQedException(QedLoadStr(sNoTimersAvailable)) {}
};
class EControllerError : public EQedException {
 public:
  using EQedException::EQedException;
};
class ENoControllerAssigned : public EControllerError {
 public:
  ENoControllerAssigned() : EControllerError(QedLoadStr(sNoControllerAssigned)) {}
};
class ECmdProcessorError : public EQedException {
 public:
  using EQedException::EQedException;
};
class EDuplicateCommand : public ECmdProcessorError {
 public:
  EDuplicateCommand() : ECmdProcessorError(QedLoadStr(sDuplicateCommand)) {}
};
class ETableNotFound : public ECmdProcessorError {
 public:
  ETableNotFound() : ECmdProcessorError(QedLoadStr(sTableNotFound)) {}
};
// An editing failure; Code is the editing result code (0 when raised with
// a text of its own).
class EEditorError : public EQedException {
 public:
  explicit EEditorError(int code);
  explicit EEditorError(const std::string& message) : EQedException(message), Code(0) {}
  int Code;
};
class EInvalidLineOrCol : public EEditorError {
 public:
  EInvalidLineOrCol() : EEditorError(QedLoadStr(sInvalidLineOrCol)) {}
};
class EInvalidLineOrPara : public EEditorError {
 public:
  EInvalidLineOrPara() : EEditorError(QedLoadStr(sInvalidLineOrPara)) {}
};
class EFixedFontError : public EQedException {
 public:
  using EQedException::EQedException;
};
class EInvalidFixedFont : public EFixedFontError {
 public:
  EInvalidFixedFont() : EFixedFontError(QedLoadStr(sInvalidFixedFont)) {}
};
class EInvalidFontParam : public EFixedFontError {
 public:
  EInvalidFontParam() : EFixedFontError(QedLoadStr(sInvalidFontParam)) {}
};

// The message of an editing result code (263 to 268; any other code
// "Unknown Error condition").
std::string EditorErrorMessage(int code);

// ---------------------------------------------------------------- international settings

// The number, date and currency conventions, read once into one default
// instance (IntlSup) from the user's locale; the NC editor reads none of
// them directly.
struct TQedIntlSup {
  char DecimalChar = '.';
  char ThousandsChar = ',';
  int CurrencyDigits = 2;
  int NegCurrFormat = 0;
  char ListChar = ',';
  std::string Country;
  std::string CurrencyString;
  int CurrencyFormat = 0;
  bool LeadingZero = false;
  char TimeSeparator = ':';
  char DateSeparator = '/';
  std::string TimeAMString, TimePMString;
  std::string ShortDateFormat = "MM/dd/yy";
  std::string LongDateFormat = "dddd, MMMM dd, yyyy";
  char TrueChar = 'T', FalseChar = 'F', YesChar = 'Y', NoChar = 'N';
  // Takes the decimal and thousands characters of the user's locale.
  void ReadLocale();
};
TQedIntlSup& IntlSup();
