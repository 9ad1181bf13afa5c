// Key-to-command translation of the text editor: named tables of key
// bindings, searched in priority order, with one-key bindings and two-key
// sequences (Ctrl+Q then S), and a command that makes the next key literal.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "editor/qed_strings.h"
#include "platform/forms.h"

enum TEditorCommand : uint16_t {
  ccNone, ccBack, ccBotOfPage, ccBotRightCell, ccCompleteDate, ccCompleteTime, ccCopy, ccCtrlChar,
  ccCut, ccDec, ccDel, ccDelBol, ccDelEol, ccDelLine, ccDelWord, ccDown, ccEnd, ccExtendDown,
  ccExtendEnd, ccExtendHome, ccExtendLeft, ccExtendPgDn, ccExtendPgUp, ccExtendRight, ccExtendUp,
  ccExtBotOfPage, ccExtFirstPage, ccExtLastPage, ccExtTopOfPage, ccExtWordLeft, ccExtWordRight,
  ccFirstPage, ccGotoMarker0, ccGotoMarker1, ccGotoMarker2, ccGotoMarker3, ccGotoMarker4,
  ccGotoMarker5, ccGotoMarker6, ccGotoMarker7, ccGotoMarker8, ccGotoMarker9, ccHome, ccInc, ccIns,
  ccLastPage, ccLeft, ccNewLine, ccNextPage, ccPageLeft, ccPageRight, ccPaste, ccPrevPage, ccRedo,
  ccRestore, ccRight, ccScrollDown, ccScrollUp, ccSetMarker0, ccSetMarker1, ccSetMarker2,
  ccSetMarker3, ccSetMarker4, ccSetMarker5, ccSetMarker6, ccSetMarker7, ccSetMarker8, ccSetMarker9,
  ccTab, ccTableEdit, ccTopLeftCell, ccTopOfPage, ccUndo, ccUp, ccWordLeft, ccWordRight,
  ccUser = 256
};

// Translation results that are no command.
constexpr uint16_t ccChar = 252;       // the key goes in as typed
constexpr uint16_t ccBroken = 254;     // a sequence was broken off
constexpr uint16_t ccSequence = 255;   // first key of a sequence taken

// Shift bytes of a binding: added together. In a second key, kAnyCtrl means
// "with Ctrl or with no modifier".
constexpr uint8_t kShift = 2, kCtrl = 4, kAlt = 8, kAnyCtrl = 0x80;

// The command's name ("ccLeft", "ccUser300").
std::string CommandName(uint16_t command);

struct TCommandRecord {
  uint8_t Key1 = 0, Shift1 = 0, Key2 = 0, Shift2 = 0;
  uint16_t Command = 0;
  uint32_t Key() const { return uint32_t(Key1) | uint32_t(Shift1) << 8 | uint32_t(Key2) << 16 | uint32_t(Shift2) << 24; }
};

class TQedCommandTable {
 public:
  std::string Name = "(Unknown)";
  bool Active = true;
  std::vector<TCommandRecord> Records;
  int IndexOfKey(uint32_t key) const;
  // A table file: the name on the first line, then one record a line (first
  // key, first shift, second key, second shift, command). False with the
  // system's error number in error when the file cannot be read or written.
  bool SaveTableFile(const std::string& fileName, int& error) const;
  bool LoadTableFile(const std::string& fileName, int& error);
  // The built-in records of "Default", "WordStar" or "Grid" (any case); empty otherwise.
  static std::vector<TCommandRecord> BuiltIn(const std::string& name);
  // The table as a form description keeps it (little-endian): the name
  // (16-bit length, characters), the active flag (byte), a 32-bit count and
  // that many (32-bit key, 16-bit command) pairs. A table named like a
  // built-in one is kept as its changes to the built-in records: the
  // built-in keys it lacks with command 0, in built-in order, then its
  // records that are new or bound to another command. Reading starts from
  // the built-in records (for such a name) and applies the pairs: a new key
  // is added, a known one rebound, or deleted by command 0. A stream that
  // ends early leaves the table unchanged and gives false.
  void WriteStream(std::string& out) const;
  bool ReadStream(const std::string& in, size_t& at);
};

class TQedCommandProcessor {
 public:
  // The built-in tables: "Default" (active), "WordStar" and "Grid" (inactive).
  TQedCommandProcessor();
  std::vector<std::unique_ptr<TQedCommandTable>> TableList;
  TQedCommandTable* FindTable(const std::string& name);
  // Adds a table, making its name unique first.
  TQedCommandTable& AddTable(std::unique_ptr<TQedCommandTable> table);
  void AddBinding(const std::string& table, const TCommandRecord& rec);
  // A key (virtual key code) with the shift byte (kShift, kCtrl, kAlt).
  uint16_t Translate(uint16_t key, uint8_t shift);
  // A key message: the key with the modifiers held when it came.
  uint16_t TranslateKey(uint16_t key, TShiftState shift);
  // Reads a table file into the named table, replacing its records
  // (ETableNotFound when no table has the name; false with the system's
  // error number when the file cannot be read).
  bool LoadTable(const std::string& tableName, const std::string& fileName, int& error);
  // Every table in order (a 32-bit count, then each table's stream).
  // Reading replaces the list only when the whole stream reads.
  std::string WriteTableList() const;
  bool ReadTableList(const std::string& in);
  void Reset() { Mode_ = 0; }
  bool Pending() const { return Mode_ == 1; }

 private:
  uint8_t Mode_ = 0;
  uint8_t PendingKey_ = 0, PendingShift_ = 0;
};
