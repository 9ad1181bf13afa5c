#include "platform/registry.h"

// Writing the store to its backing file.
bool TRegistryStore::Flush(std::string* error) {
  if (BackingFile.empty()) return true;
  if (error) *error = "registry persistence is not built yet";
  return false;
}
