#include "tapein/tape_faults.h"

#include "foundation/utilities.h"
#include "platform/message_box.h"

void TTapeFaults::Add(std::string text) {
  ++count_;
  if (kept_.size() >= kShown) return;
  kept_.push_back(text.size() <= kShortStringMax ? std::move(text) : TextStart(text, kShortStringMax));
}

std::string TTapeFaults::Lines() const {
  std::string text;
  for (const std::string& line : kept_) text += line + "\r\n";
  if (count_ > static_cast<int64_t>(kept_.size()))
    text += "(" + std::to_string(count_ - static_cast<int64_t>(kept_.size())) + " more)\r\n";
  return text;
}

void ShowTapeFaults(const TTapeFaults& faults) {
  MessageDlg(faults.Lines() + "Some errors were detected in this file.\r\nInspect the output carefully!", mtWarning,
             mbOK);
}
