#include "editor/editor_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "platform/file_ops.h"
#include "platform/keys.h"

namespace {

const char* const kNames[] = {
    "ccNone", "ccBack", "ccBotOfPage", "ccBotRightCell", "ccCompleteDate", "ccCompleteTime", "ccCopy",
    "ccCtrlChar", "ccCut", "ccDel", "ccDelBol", "ccDelEol", "ccDelLine", "ccDelWord", "ccDone", "ccDown",
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

constexpr uint8_t S = kShift, C = kCtrl, A = kAlt;

TCommandRecord R(uint16_t key, uint8_t shift, uint16_t cmd) { return {uint8_t(key), shift, 0, 0, cmd}; }
TCommandRecord R2(uint16_t k1, uint8_t s1, uint16_t k2, uint8_t s2, uint16_t cmd) {
  return {uint8_t(k1), s1, uint8_t(k2), s2, cmd};
}

void AddExtends(std::vector<TCommandRecord>& t) {
  t.insert(t.end(), {R(VK_LEFT, S, ccExtendLeft), R(VK_RIGHT, S, ccExtendRight), R(VK_HOME, S, ccExtendHome),
                     R(VK_END, S, ccExtendEnd), R(VK_LEFT, S | C, ccExtWordLeft), R(VK_RIGHT, S | C, ccExtWordRight),
                     R(VK_PRIOR, S, ccExtendPgUp), R(VK_NEXT, S, ccExtendPgDn), R(VK_UP, S, ccExtendUp),
                     R(VK_DOWN, S, ccExtendDown), R(VK_HOME, S | C, ccExtFirstPage), R(VK_END, S | C, ccExtLastPage)});
}

std::vector<TCommandRecord> DefaultTable() {
  std::vector<TCommandRecord> t = {
      R(VK_LEFT, 0, ccLeft), R(VK_RIGHT, 0, ccRight), R(VK_LEFT, C, ccWordLeft), R(VK_RIGHT, C, ccWordRight),
      R(VK_HOME, 0, ccHome), R(VK_END, 0, ccEnd), R(VK_DELETE, 0, ccDel), R(VK_BACK, 0, ccBack),
      R(VK_BACK, S, ccBack), R(VK_PRIOR, C, ccTopOfPage), R(VK_NEXT, C, ccBotOfPage), R(VK_INSERT, 0, ccIns),
      R('Z', C, ccUndo), R(VK_BACK, A, ccRestore), R(VK_UP, 0, ccUp), R(VK_DOWN, 0, ccDown),
      R(VK_RETURN, C, ccNewLine)};
  AddExtends(t);
  t.insert(t.end(), {R(VK_PRIOR, S | C, ccExtTopOfPage), R(VK_NEXT, S | C, ccExtBotOfPage),
                     R(VK_DELETE, S, ccCut), R('X', C, ccCut), R(VK_INSERT, C, ccCopy), R('C', C, ccCopy),
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
  if (command >= ccUser) return "ccUser" + std::to_string(command);
  if (command < std::size(kNames)) return kNames[command];
  return {};
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
  std::string name;
  std::getline(in, name);
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
