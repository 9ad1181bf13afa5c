// The list of an import's notice of what it skipped or changed: each name
// with its count, in name order ("3 AT, 2 BZ"), and the counts' total.
#pragma once
#include <cstdint>
#include <map>
#include <string>

// A count (and a total) stops at INT64_MAX and then means at least that
// many: it is shown so.
inline std::string CountText(int64_t count) {
  return (count == INT64_MAX ? "at least " : "") + std::to_string(count);
}

inline std::string CountedNames(const std::map<std::string, int64_t>& counts, int64_t& total) {
  total = 0;
  std::string list;
  for (const auto& [name, count] : counts) {
    total = count > INT64_MAX - total ? INT64_MAX : total + count;
    if (!list.empty()) list += ", ";
    list += CountText(count) + " " + name;
  }
  return list;
}
