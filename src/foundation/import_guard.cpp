#include "foundation/import_guard.h"

#include <new>
#include <stdexcept>

#include "platform/message_box.h"

namespace {
constexpr int64_t kDefaultHoldLimit = int64_t{128} << 20;
int64_t holdLimit = kDefaultHoldLimit;
}  // namespace

int64_t ImportHoldLimit() { return holdLimit; }

void SetImportHoldLimit(int64_t bytes) { holdLimit = bytes > 0 ? bytes : kDefaultHoldLimit; }

std::string ImportTooLargeText(const std::string& fileName) {
  const int64_t mb = (holdLimit + (int64_t{1} << 20) - 1) >> 20;
  return "<" + fileName + "> needs more than " + std::to_string(mb) + " MB of memory to import.";
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
