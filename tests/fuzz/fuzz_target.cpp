// A libFuzzer target: KORVEX_FUZZ_TARGET names the reader it feeds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const TFuzzEntry entry = [] {
    SetFuzzWorkLimit(kFuzzWorkLimit);
    return FindFuzzEntry(KORVEX_FUZZ_TARGET);
  }();
  if (entry == nullptr) std::abort();
  entry(data, size);
  ReleaseFuzzInput();
  return 0;
}
