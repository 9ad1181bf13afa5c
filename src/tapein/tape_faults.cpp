#include "tapein/tape_faults.h"

#include "foundation/utilities.h"
#include "platform/message_box.h"

namespace {
std::string ShortText(std::string text) {
  return text.size() <= kShortStringMax ? std::move(text) : TextStart(text, kShortStringMax);
}
}  // namespace

void TTapeFaults::Add(std::string text) {
  ++count_;
  if (kept_.size() >= kShown) return;
  kept_.push_back(ShortText(std::move(text)));
}

void TTapeFaults::AddNote(std::string text) {
  if (notes_.size() < kShown) notes_.push_back(ShortText(std::move(text)));
}

std::string TTapeFaults::Lines() const {
  std::string text;
  for (const std::string& line : kept_) text += line + "\r\n";
  if (count_ > static_cast<int64_t>(kept_.size()))
    text += "(" + std::to_string(count_ - static_cast<int64_t>(kept_.size())) + " more)\r\n";
  for (const std::string& line : notes_) text += line + "\r\n";
  return text;
}

void ShowTapeFaults(const TTapeFaults& faults) {
  if (faults.Count() == 0) {
    std::string notes = faults.Lines();
    if (notes.size() >= 2) notes.resize(notes.size() - 2);  // the last line end
    MessageDlg(notes, mtInformation, mbOK);
    return;
  }
  MessageDlg(faults.Lines() + "Some errors were detected in this file.\r\nInspect the output carefully!", mtWarning,
             mbOK);
}
