// The list of an import's notice of what it skipped or changed: each name
// with its count, in name order ("3 AT, 2 BZ"), and the counts' total.
// Names come from the file: each is cut to its start where it is counted
// (CountedName), and the list shows the first kCountedNamesShown of them,
// then how many more there are ("(12 more)"), so that a box stays readable
// whatever the file holds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "foundation/utilities.h"

inline constexpr std::size_t kCountedNamesShown = 20;
inline constexpr std::size_t kCountedNameLength = 40;

// A name as it is counted and shown: its start when it is long.
inline std::string CountedName(std::string_view name) { return TextStart(name, kCountedNameLength); }

// A count (and a total) stops at INT64_MAX and then means at least that
// many: it is shown so.
inline std::string CountText(int64_t count) {
  return (count == INT64_MAX ? "at least " : "") + std::to_string(count);
}

inline std::string CountedNames(const std::map<std::string, int64_t>& counts, int64_t& total) {
  total = 0;
  std::string list;
  std::size_t shown = 0;
  for (const auto& [name, count] : counts) {
    total = count > INT64_MAX - total ? INT64_MAX : total + count;
    if (shown == kCountedNamesShown) continue;
    if (!list.empty()) list += ", ";
    list += CountText(count) + " " + name;
    ++shown;
  }
  if (counts.size() > shown) list += ", (" + std::to_string(counts.size() - shown) + " more)";
  return list;
}
