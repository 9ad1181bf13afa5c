// The list of an import's notice of what it skipped or changed: each name
// with its count, in name order ("3 AT, 2 BZ"), and the counts' total.
#pragma once
#include <cstdint>
#include <map>
#include <string>

inline std::string CountedNames(const std::map<std::string, int64_t>& counts, int64_t& total) {
  total = 0;
  std::string list;
  for (const auto& [name, count] : counts) {
    total += count;
    if (!list.empty()) list += ", ";
    list += std::to_string(count) + " " + name;
  }
  return list;
}
