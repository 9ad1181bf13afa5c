#include "foundation/tape_feed.h"

#include <algorithm>

#include "foundation/utilities.h"

bool HoldsTapeFeed(std::string_view text) { return std::any_of(text.begin(), text.end(), IsTapeFeed); }

TTapeFeedDropped DropTapeFeed(std::string& line) {
  TTapeFeedDropped dropped;
  // Most lines hold none and are left as they are.
  auto at = std::find_if(line.begin(), line.end(), IsTapeFeed);
  if (at == line.end()) return dropped;
  const auto isBlank = [](char c) { return IsTapeBlank(c) || c == kDosEndMark; };
  bool block = !std::all_of(line.begin(), at, isBlank);  // a character of the block kept
  bool gap = false;                                       // feed met since then
  auto kept = at;
  for (; at != line.end(); ++at) {
    if (IsTapeFeed(*at)) {
      ++dropped.Bytes;
      gap = block;
      continue;
    }
    if (!isBlank(*at)) {
      dropped.Inside = dropped.Inside || gap;
      block = true;
      gap = false;
    }
    *kept++ = *at;
  }
  line.erase(kept, line.end());
  return dropped;
}

bool IsBlankTapeLine(std::string_view line) { return std::all_of(line.begin(), line.end(), IsBlankTapeByte); }

bool ReadsAsTapeText(std::string_view line) {
  if (!HoldsTapeControlChar(line)) return true;
  std::string block(line);
  DropTapeFeed(block);
  return IsBlankTapeLine(block) || !HoldsTapeControlChar(block);
}

void DropTapeBlanks(std::string& block) {
  // Most blocks hold no blank and are left alone.
  const std::size_t first = block.find_first_of(" \t");
  if (first == std::string::npos) return;
  block.erase(std::remove_if(block.begin() + static_cast<std::ptrdiff_t>(first), block.end(), IsTapeBlank),
              block.end());
}
