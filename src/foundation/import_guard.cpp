#include "foundation/import_guard.h"

#include <new>
#include <stdexcept>

#include "platform/message_box.h"

namespace {
constexpr int64_t kDefaultHoldLimit = int64_t{128} << 20;
int64_t holdLimit = kDefaultHoldLimit;
constexpr int64_t kDefaultWholeFileLimit = int64_t{1} << 30;
int64_t wholeFileLimit = kDefaultWholeFileLimit;
constexpr int64_t kDefaultRepeatLimit = 16000000;
int64_t repeatLimit = kDefaultRepeatLimit;

std::string Megabytes(int64_t bytes) { return std::to_string((bytes + (int64_t{1} << 20) - 1) >> 20); }
}  // namespace

int64_t ImportHoldLimit() { return holdLimit; }

void SetImportHoldLimit(int64_t bytes) { holdLimit = bytes > 0 ? bytes : kDefaultHoldLimit; }

std::string ImportTooLargeText(const std::string& fileName) {
  return "<" + fileName + "> needs more than " + Megabytes(holdLimit) + " MB of memory to import.";
}

int64_t ImportRepeatLimit() { return repeatLimit; }

void SetImportRepeatLimit(int64_t count) { repeatLimit = count > 0 ? count : kDefaultRepeatLimit; }

int64_t ImportWholeFileLimit() { return wholeFileLimit; }

void SetImportWholeFileLimit(int64_t bytes) { wholeFileLimit = bytes > 0 ? bytes : kDefaultWholeFileLimit; }

std::string ImportFileTooLargeText(const std::string& fileName) {
  return "<" + fileName + "> is larger than the " + Megabytes(wholeFileLimit) + " MB this format can import.";
}

bool RunGuardedImport(const std::string& fileName, const std::function<void()>& import) {
  try {
    import();
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  ErrorBox("There is not enough memory to import <" + fileName + ">.\r\nNothing was imported.");
  return false;
}
