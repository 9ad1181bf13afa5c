#include "editor/editor_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "foundation/byte_order.h"
#include "foundation/file_utils.h"
#include "platform/file_ops.h"
#include "platform/keys.h"

namespace {

constexpr uint8_t S = kShift, C = kCtrl, A = kAlt;

TCommandRecord R(uint16_t key, uint8_t shift, uint16_t cmd) { return {uint8_t(key), shift, 0, 0, cmd}; }
TCommandRecord R2(uint16_t k1, uint8_t s1, uint16_t k2, uint8_t s2, uint16_t cmd) {
  return {uint8_t(k1), s1, uint8_t(k2), s2, cmd};
}

void AddExtends(std::vector<TCommandRecord>& t) {
  t.insert(t.end(), {R(VK_LEFT, S, ccExtendLeft), R(VK_RIGHT, S, ccExtendRight), R(VK_HOME, S, ccExtendHome),
                     R(VK_END, S, ccExtendEnd), R(VK_LEFT, S | C, ccExtWordLeft), R(VK_RIGHT, S | C, ccExtWordRight),
                     R(VK_PRIOR, S, ccExtendPgUp), R(VK_NEXT, S, ccExtendPgDn), R(VK_UP, S, ccExtendUp),
                     R(VK_DOWN, S, ccExtendDown), R(VK_HOME, S | C, ccExtFirstPage), R(VK_END, S | C, ccExtLastPage),
                     R(VK_PRIOR, S | C, ccExtTopOfPage), R(VK_NEXT, S | C, ccExtBotOfPage)});
}

std::vector<TCommandRecord> DefaultTable() {
  std::vector<TCommandRecord> t = {
      R(VK_LEFT, 0, ccLeft), R(VK_RIGHT, 0, ccRight), R(VK_LEFT, C, ccWordLeft), R(VK_RIGHT, C, ccWordRight),
      R(VK_HOME, 0, ccHome), R(VK_END, 0, ccEnd), R(VK_DELETE, 0, ccDel), R(VK_BACK, 0, ccBack),
      R(VK_BACK, S, ccBack), R(VK_PRIOR, C, ccTopOfPage), R(VK_NEXT, C, ccBotOfPage), R(VK_INSERT, 0, ccIns),
      R('Z', C, ccUndo), R(VK_BACK, A, ccRestore), R(VK_UP, 0, ccUp), R(VK_DOWN, 0, ccDown),
      R(VK_RETURN, C, ccNewLine)};
  AddExtends(t);
  t.insert(t.end(), {R(VK_DELETE, S, ccCut), R('X', C, ccCut), R(VK_INSERT, C, ccCopy), R('C', C, ccCopy),
                     R(VK_INSERT, S, ccPaste), R('V', C, ccPaste), R(VK_PRIOR, 0, ccPrevPage),
                     R(VK_NEXT, 0, ccNextPage), R(VK_HOME, C, ccFirstPage), R(VK_END, C, ccLastPage),
                     R(VK_TAB, 0, ccTab), R(VK_TAB, C, ccTab), R('Z', S | C, ccRedo)});
  for (int d = 0; d < 10; ++d) t.push_back(R(uint16_t('0' + d), C, uint16_t(ccGotoMarker0 + d)));
  for (int d = 0; d < 10; ++d) t.push_back(R(uint16_t('0' + d), S | C, uint16_t(ccSetMarker0 + d)));
  return t;
}

std::vector<TCommandRecord> WordStarTable() {
  std::vector<TCommandRecord> t = {
      R('S', C, ccLeft), R('D', C, ccRight), R('E', C, ccUp), R('X', C, ccDown), R('R', C, ccPrevPage),
      R('C', C, ccNextPage), R('W', C, ccScrollUp), R('Z', C, ccScrollDown), R('A', C, ccWordLeft),
      R('F', C, ccWordRight), R2('Q', C, 'S', kAnyCtrl, ccHome), R2('Q', C, 'D', kAnyCtrl, ccEnd),
      R('G', C, ccDel), R('H', C, ccBack), R('Y', C, ccDelLine), R2('Q', C, 'Y', kAnyCtrl, ccDelEol),
      R('V', C, ccIns), R('T', C, ccDelWord), R('P', C, ccCtrlChar), R2('Q', C, 'L', kAnyCtrl, ccRestore)};
  for (int d = 0; d < 10; ++d) t.push_back(R2('Q', C, uint16_t('0' + d), kAnyCtrl, uint16_t(ccGotoMarker0 + d)));
  for (int d = 0; d < 10; ++d) t.push_back(R2('K', C, uint16_t('0' + d), kAnyCtrl, uint16_t(ccSetMarker0 + d)));
  return t;
}

std::vector<TCommandRecord> GridTable() {
  std::vector<TCommandRecord> t = {
      R(VK_LEFT, 0, ccLeft), R(VK_RIGHT, 0, ccRight), R(VK_LEFT, C, ccPageLeft), R(VK_RIGHT, C, ccPageRight),
      R(VK_HOME, 0, ccHome), R(VK_END, 0, ccEnd), R(VK_DELETE, 0, ccDel), R(VK_BACK, 0, ccBack),
      R(VK_NEXT, C, ccBotOfPage), R(VK_PRIOR, C, ccTopOfPage), R(VK_INSERT, 0, ccIns), R('Z', C, ccRestore),
      R(VK_UP, 0, ccUp), R(VK_DOWN, 0, ccDown)};
  AddExtends(t);
  t.insert(t.end(), {R('X', C, ccCut), R('C', C, ccCopy), R('V', C, ccPaste), R(VK_PRIOR, 0, ccPrevPage),
                     R(VK_HOME, C, ccFirstPage), R(VK_NEXT, 0, ccNextPage), R(VK_END, C, ccLastPage),
                     R(VK_UP, C, ccTopLeftCell), R(VK_DOWN, C, ccBotRightCell), R(VK_F1 + 1, 0, ccTableEdit)});
  return t;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::toupper(uint8_t(x)) == std::toupper(uint8_t(y)); });
}

bool IsModifierKey(uint16_t key) {
  return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == 20 || key == 144 || key == 145;
}

}  // namespace

std::string CommandName(uint16_t command) {
  if (command >= ccUser) {
    std::string format = QedLoadStr(sUserN);
    const size_t at = format.find("%d");
    if (at != std::string::npos) format.replace(at, 2, std::to_string(command));
    return format;
  }
  return QedLoadStr(kQedCommandNameBase + command);
}

int TQedCommandTable::IndexOfKey(uint32_t key) const {
  for (size_t i = 0; i < Records.size(); ++i)
    if (Records[i].Key() == key) return int(i);
  return -1;
}

bool TQedCommandTable::SaveTableFile(const std::string& fileName, int& error) const {
  std::string text = Name + "\r\n";
  char line[64];
  for (const TCommandRecord& r : Records) {
    std::snprintf(line, sizeof line, "%4u%4u%4u%4u%6u\r\n", unsigned(r.Key1), unsigned(r.Shift1), unsigned(r.Key2),
                  unsigned(r.Shift2), unsigned(r.Command));
    text += line;
  }
  error = ReplaceFileContents(fileName, text.data(), text.size());
  return error == 0;
}

bool TQedCommandTable::LoadTableFile(const std::string& fileName, int& error) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    error = errno != 0 ? errno : ENOENT;
    return false;
  }
  // The name line is read up to a bound: a file without line ends is no table.
  std::string name;
  for (char c; name.size() <= kMaxTextLine && in.get(c) && c != '\n';) name += c;
  if (name.size() > kMaxTextLine) {
    error = EFBIG;
    return false;
  }
  while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
  std::vector<TCommandRecord> records;
  unsigned k1, s1, k2, s2, cmd;
  while (in >> k1 >> s1 >> k2 >> s2 >> cmd) {
    if (k1 > 255 || s1 > 255 || k2 > 255 || s2 > 255 || cmd > 65535) break;
    records.push_back(TCommandRecord{uint8_t(k1), uint8_t(s1), uint8_t(k2), uint8_t(s2), uint16_t(cmd)});
  }
  Name = name;
  Records.insert(Records.end(), records.begin(), records.end());
  error = 0;
  return true;
}

std::vector<TCommandRecord> TQedCommandTable::BuiltIn(const std::string& name) {
  if (SameText(name, "Default")) return DefaultTable();
  if (SameText(name, "WordStar")) return WordStarTable();
  if (SameText(name, "Grid")) return GridTable();
  return {};
}

TQedCommandProcessor::TQedCommandProcessor() {
  for (const char* name : {"Default", "WordStar", "Grid"}) {
    auto t = std::make_unique<TQedCommandTable>();
    t->Name = name;
    t->Active = t->Name == "Default";
    t->Records = TQedCommandTable::BuiltIn(name);
    TableList.push_back(std::move(t));
  }
}

TQedCommandTable* TQedCommandProcessor::FindTable(const std::string& name) {
  for (auto& t : TableList)
    if (SameText(t->Name, name)) return t.get();
  return nullptr;
}

TQedCommandTable& TQedCommandProcessor::AddTable(std::unique_ptr<TQedCommandTable> table) {
  std::string base = table->Name;
  while (!base.empty() && std::isdigit(uint8_t(base.back()))) base.pop_back();
  std::string name = base.empty() ? table->Name : base;
  for (int n = 1; FindTable(name) != nullptr; ++n) name = base + std::to_string(n);
  table->Name = name;
  TableList.push_back(std::move(table));
  return *TableList.back();
}

void TQedCommandProcessor::AddBinding(const std::string& table, const TCommandRecord& rec) {
  TQedCommandTable* t = FindTable(table);
  if (t == nullptr) throw ETableNotFound();
  if (t->IndexOfKey(rec.Key()) >= 0) throw EDuplicateCommand();
  t->Records.push_back(rec);
}

uint16_t TQedCommandProcessor::Translate(uint16_t key, uint8_t shift) {
  if (IsModifierKey(key)) return Mode_ == 1 ? ccSequence : ccChar;
  if (Mode_ == 2) {
    Mode_ = 0;
    return ccChar;
  }
  for (auto& t : TableList) {
    if (!t->Active) continue;
    for (const TCommandRecord& r : t->Records) {
      if (Mode_ == 0) {
        if (r.Key1 != key || r.Shift1 != shift) continue;
        if (r.Key2 != 0) {
          Mode_ = 1;
          PendingKey_ = uint8_t(key);
          PendingShift_ = shift;
          return ccSequence;
        }
        if (r.Command == ccCtrlChar) Mode_ = 2;
        return r.Command;
      }
      if (r.Key1 != PendingKey_ || r.Shift1 != PendingShift_ || r.Key2 != key) continue;
      if (r.Shift2 == shift || (r.Shift2 == kAnyCtrl && (shift == 0 || shift == kCtrl))) {
        Mode_ = r.Command == ccCtrlChar ? 2 : 0;
        return r.Command;
      }
    }
  }
  const bool broken = Mode_ == 1;
  Mode_ = 0;
  return broken ? ccBroken : ccChar;
}

uint16_t TQedCommandProcessor::TranslateKey(uint16_t key, TShiftState shift) {
  uint8_t s = 0;
  if (shift & ssCtrl) s |= kCtrl;
  if (shift & ssShift) s |= kShift;
  if (shift & ssAlt) s |= kAlt;
  return Translate(key, s);
}

// ---------------------------------------------------------------- streams

namespace {

void PutU16(std::string& out, uint16_t v) {
  uint8_t b[2];
  PutUInt16(b, v);
  out.append(reinterpret_cast<const char*>(b), 2);
}
void PutI32(std::string& out, int32_t v) {
  uint8_t b[4];
  PutInt32(b, v);
  out.append(reinterpret_cast<const char*>(b), 4);
}

// Reads fields from a stream; any read past its end sets Bad.
struct TReader {
  const std::string& In;
  size_t& At;
  bool Bad = false;
  const uint8_t* Take(size_t n) {
    if (Bad || In.size() - At < n || At > In.size()) {
      Bad = true;
      return nullptr;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(In.data() + At);
    At += n;
    return p;
  }
  uint16_t U16() { const uint8_t* p = Take(2); return p ? GetUInt16(p) : 0; }
  int32_t I32() { const uint8_t* p = Take(4); return p ? GetInt32(p) : 0; }
  uint8_t U8() { const uint8_t* p = Take(1); return p ? *p : 0; }
};

TCommandRecord RecordOfKey(uint32_t key, uint16_t command) {
  return TCommandRecord{uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24), command};
}

}  // namespace

void TQedCommandTable::WriteStream(std::string& out) const {
  PutU16(out, uint16_t(std::min<size_t>(Name.size(), 65535)));
  out.append(Name, 0, std::min<size_t>(Name.size(), 65535));
  out.push_back(Active ? 1 : 0);
  std::vector<std::pair<uint32_t, uint16_t>> pairs;
  const std::vector<TCommandRecord> builtIn = BuiltIn(Name);
  if (builtIn.empty()) {
    for (const TCommandRecord& r : Records) pairs.emplace_back(r.Key(), r.Command);
  } else {
    // A built-in table is kept as its changes: the built-in keys it no
    // longer holds (command 0), then its own and changed bindings.
    for (const TCommandRecord& b : builtIn)
      if (IndexOfKey(b.Key()) < 0) pairs.emplace_back(b.Key(), 0);
    for (const TCommandRecord& r : Records) {
      const auto it = std::find_if(builtIn.begin(), builtIn.end(), [&](const TCommandRecord& b) { return b.Key() == r.Key(); });
      if (it == builtIn.end() || it->Command != r.Command) pairs.emplace_back(r.Key(), r.Command);
    }
  }
  PutI32(out, int32_t(pairs.size()));
  for (const auto& [key, command] : pairs) {
    PutI32(out, int32_t(key));
    PutU16(out, command);
  }
}

bool TQedCommandTable::ReadStream(const std::string& in, size_t& at) {
  TReader r{in, at};
  const uint16_t len = r.U16();
  const uint8_t* name = r.Take(len);
  const uint8_t active = r.U8();
  const int32_t count = r.I32();
  if (r.Bad || count < 0 || size_t(count) > (in.size() - at) / 6) return false;
  std::vector<std::pair<uint32_t, uint16_t>> pairs;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t key = uint32_t(r.I32());
    pairs.emplace_back(key, r.U16());
  }
  if (r.Bad) return false;
  Name.assign(reinterpret_cast<const char*>(name), len);
  Active = active != 0;
  Records = BuiltIn(Name);
  for (const auto& [key, command] : pairs) {
    const int i = IndexOfKey(key);
    if (i < 0) {
      if (command != 0) Records.push_back(RecordOfKey(key, command));
    } else if (command == 0) {
      Records.erase(Records.begin() + i);
    } else {
      Records[size_t(i)].Command = command;
    }
  }
  return true;
}

std::string TQedCommandProcessor::WriteTableList() const {
  std::string out;
  PutI32(out, int32_t(TableList.size()));
  for (const auto& t : TableList) t->WriteStream(out);
  return out;
}

bool TQedCommandProcessor::ReadTableList(const std::string& in) {
  size_t at = 0;
  TReader r{in, at};
  const int32_t count = r.I32();
  if (r.Bad || count < 0) return false;
  std::vector<std::unique_ptr<TQedCommandTable>> tables;
  for (int32_t i = 0; i < count; ++i) {
    auto t = std::make_unique<TQedCommandTable>();
    if (!t->ReadStream(in, at)) return false;
    tables.push_back(std::move(t));
  }
  TableList = std::move(tables);
  Reset();
  return true;
}

bool TQedCommandProcessor::LoadTable(const std::string& tableName, const std::string& fileName, int& error) {
  TQedCommandTable* t = FindTable(tableName);
  if (t == nullptr) throw ETableNotFound();
  TQedCommandTable loaded;
  loaded.Records.clear();
  if (!loaded.LoadTableFile(fileName, error)) return false;
  t->Records = std::move(loaded.Records);
  return true;
}
