#include "editor/qed_strings.h"

#include <clocale>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "foundation/byte_order.h"

namespace {

// The command names, in command order (identifier 33768 + number).
const char* const kCommandNames[] = {
    "ccNone", "ccBack", "ccBotOfPage", "ccBotRightCell", "ccCompleteDate", "ccCompleteTime", "ccCopy",
    "ccCtrlChar", "ccCut", "ccDec", "ccDel", "ccDelBol", "ccDelEol", "ccDelLine", "ccDelWord", "ccDown",
    "ccEnd", "ccExtendDown", "ccExtendEnd", "ccExtendHome", "ccExtendLeft", "ccExtendPgDn",
    "ccExtendPgUp", "ccExtendRight", "ccExtendUp", "ccExtBotOfPage", "ccExtFirstPage", "ccExtLastPage",
    "ccExtTopOfPage", "ccExtWordLeft", "ccExtWordRight", "ccFirstPage", "ccGotoMarker0",
    "ccGotoMarker1", "ccGotoMarker2", "ccGotoMarker3", "ccGotoMarker4", "ccGotoMarker5",
    "ccGotoMarker6", "ccGotoMarker7", "ccGotoMarker8", "ccGotoMarker9", "ccHome", "ccInc", "ccIns",
    "ccLastPage", "ccLeft", "ccNewLine", "ccNextPage", "ccPageLeft", "ccPageRight", "ccPaste",
    "ccPrevPage", "ccRedo", "ccRestore", "ccRight", "ccScrollDown", "ccScrollUp", "ccSetMarker0",
    "ccSetMarker1", "ccSetMarker2", "ccSetMarker3", "ccSetMarker4", "ccSetMarker5", "ccSetMarker6",
    "ccSetMarker7", "ccSetMarker8", "ccSetMarker9", "ccTab", "ccTableEdit", "ccTopLeftCell",
    "ccTopOfPage", "ccUndo", "ccUp", "ccWordLeft", "ccWordRight"};

// A string table in the resource layout; texts are 8-bit, each byte one
// UTF-16 code unit.
std::string BuildTable(const std::map<uint32_t, std::string>& texts) {
  const uint32_t n = uint32_t(texts.size());
  std::string out(8 + 12 * size_t(n), '\0');
  auto* p = reinterpret_cast<uint8_t*>(out.data());
  p[0] = 'S', p[1] = 'T', p[2] = 'R', p[3] = '0';
  PutInt32(p + 4, int32_t(n));
  std::string body;
  size_t i = 0;
  for (const auto& [id, text] : texts) {
    p = reinterpret_cast<uint8_t*>(out.data()) + 8 + 12 * i++;
    PutInt32(p, int32_t(id));
    PutInt32(p + 4, int32_t(out.size() + body.size()));
    PutInt32(p + 8, int32_t(text.size()));
    for (char c : text) {
      body.push_back(c);
      body.push_back('\0');
    }
  }
  return out + body;
}

std::map<std::string, std::string>& Resources() {
  static std::map<std::string, std::string> r = [] {
    std::map<uint32_t, std::string> qed;
    for (size_t n = 0; n < std::size(kCommandNames); ++n) qed[kQedCommandNameBase + uint32_t(n)] = kCommandNames[n];
    qed[sDuplicateCommand] = "Duplicate command found while adding a new command to the table";
    qed[sTableNotFound] = "Command table not found or command table index out of range";
    qed[sNoControllerAssigned] = "No Controller assigned";
    qed[sNoTimersAvailable] = "No Window's timers are available";
    qed[sInsufficientMemory] = "insufficient memory for requested operation";
    qed[sTooManyParas] = "Current operation will exceed the maximum number of allowed paragraphs";
    qed[sCannotJoin] = "Cannot join paragraphs. New paragraph size exceeds maximum paragraph size";
    qed[sTextTooLarge] = "Current operation will exceed the maximum editor text size";
    qed[sParaTooLong] = "Current operation will exceed the maximum paragraph size";
    qed[sInvalidLineOrPara] = "Invalid line or paragraph index";
    qed[sInvalidFixedFont] = "Invalid font assignment. Font must be a fixed font";
    qed[sInvalidFontParam] = "Invalid font assignemnt. Font must be a TFont or TQedFixedFont";
    qed[sInvalidLineOrCol] = "Invalid line or column";
    qed[sNone] = "(None)";
    qed[sUser] = "ccUser";
    qed[sUserN] = "ccUser%d";
    qed[sDefaultTable] = "Default";
    qed[sWordStarTable] = "WordStar";
    qed[sUnknownTable] = "(Unknown)";
    qed[sGridTable] = "Grid";
    qed[sRestore] = "&Restore";
    qed[sCut] = "Cu&t";
    qed[sCopy] = "&Copy";
    qed[sPaste] = "&Paste";
    qed[sDelete] = "&Delete";
    qed[sSelectAll] = "Select &All";
    const std::map<uint32_t, std::string> srmgr = {{1, "String not found: %d"},
                                                   {2, "Cannot lock resource"},
                                                   {3, "String resource not found: %s"},
                                                   {4, "Unable to open string resource: %s"},
                                                   {5, "Invalid QedString resource"}};
    return std::map<std::string, std::string>{{"QED_STRINGS_ENGLISH", BuildTable(qed)},
                                              {"SRMGR_STRINGS", BuildTable(srmgr)}};
  }();
  return r;
}

// The string manager's own message: from its table, or the built-in text
// while that table itself is being opened.
std::string ManagerText(uint32_t id, const std::string& arg) {
  static const char* const kFallback[] = {"", "String not found: %d", "Cannot lock resource",
                                          "String resource not found: %s",
                                          "Unable to open string resource: %s", "Invalid QedString resource"};
  const std::string* r = FindStringTableResource("SRMGR_STRINGS");
  std::string format = r != nullptr ? TQedStringResource("SRMGR_STRINGS", false).GetText(id) : kFallback[id];
  if (format.empty()) format = kFallback[id];
  const size_t at = format.find_first_of('%');
  if (at != std::string::npos && at + 1 < format.size()) format.replace(at, 2, arg);
  return format;
}

}  // namespace

const std::string* FindStringTableResource(const std::string& name) {
  const auto& r = Resources();
  const auto it = r.find(name);
  return it == r.end() ? nullptr : &it->second;
}

TQedStringResource::TQedStringResource(const std::string& resourceName, bool raiseWhenMissing)
    : Name_(resourceName), Raise_(raiseWhenMissing), Data_(FindStringTableResource(resourceName)) {
  if (Data_ == nullptr) throw ETQedStringResourceError(ManagerText(3, resourceName));
  if (Data_->size() < 8 || Data_->compare(0, 4, "STR0") != 0)
    throw ETQedStringResourceError(ManagerText(5, resourceName));
  const auto* p = reinterpret_cast<const uint8_t*>(Data_->data());
  Count_ = uint32_t(GetInt32(p + 4));
  if (Count_ > (Data_->size() - 8) / 12) throw ETQedStringResourceError(ManagerText(5, resourceName));
}

std::string TQedStringResource::GetText(uint32_t id) const {
  const auto* p = reinterpret_cast<const uint8_t*>(Data_->data());
  uint32_t lo = 0, hi = Count_;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const uint8_t* e = p + 8 + 12 * size_t(mid);
    const uint32_t key = uint32_t(GetInt32(e));
    if (key < id) {
      lo = mid + 1;
    } else if (key > id) {
      hi = mid;
    } else {
      const size_t offset = uint32_t(GetInt32(e + 4)), length = uint32_t(GetInt32(e + 8));
      if (offset > Data_->size() || length > (Data_->size() - offset) / 2) return {};
      std::string text;
      for (size_t i = 0; i < length; ++i) {
        const uint16_t unit = GetUInt16(p + offset + 2 * i);
        text.push_back(unit < 256 ? char(unit) : '?');
      }
      return text;
    }
  }
  if (Raise_) throw ETQedStringResourceError(ManagerText(1, std::to_string(id)));
  return {};
}

const TQedStringResource& QedStrings() {
  static const TQedStringResource r("QED_STRINGS_ENGLISH", false);
  return r;
}

const TQedStringResource& SrMgrStrings() {
  static const TQedStringResource r("SRMGR_STRINGS", false);
  return r;
}

std::string QedLoadStr(uint32_t id) { return QedStrings().GetText(id); }

std::string EditorErrorMessage(int code) {
  switch (code) {
    case 263: return QedLoadStr(sInsufficientMemory);
    case 264: return "Region is too large (> 64K)";
    case 265: return QedLoadStr(sTooManyParas);
    case 266: return QedLoadStr(sCannotJoin);
    case 267: return QedLoadStr(sTextTooLarge);
    case 268: return QedLoadStr(sParaTooLong);
    default: return "Unknown Error condition";
  }
}

EEditorError::EEditorError(int code) : EQedException(EditorErrorMessage(code)), Code(code) {}

void TQedIntlSup::ReadLocale() {
  const std::lconv* c = std::localeconv();
  if (c == nullptr) return;
  if (c->decimal_point != nullptr && c->decimal_point[0] != 0) DecimalChar = c->decimal_point[0];
  if (c->thousands_sep != nullptr && c->thousands_sep[0] != 0) ThousandsChar = c->thousands_sep[0];
  if (c->currency_symbol != nullptr) CurrencyString = c->currency_symbol;
  if (c->frac_digits >= 0 && c->frac_digits < 10) CurrencyDigits = c->frac_digits;
}

TQedIntlSup& IntlSup() {
  static TQedIntlSup intl = [] {
    TQedIntlSup i;
    i.ReadLocale();
    return i;
  }();
  return intl;
}
