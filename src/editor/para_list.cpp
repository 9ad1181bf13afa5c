#include "editor/para_list.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------- history

bool TUndoBuffer::BeginGroup() {
  if (GroupOpen_) return true;
  GroupOpen_ = true;
  ++GroupCounter_;
  return false;
}

void TUndoBuffer::EndGroup(bool wasOpen) {
  GroupOpen_ = wasOpen;
  if (!GroupOpen_) Enabled_ = true;
}

void TUndoBuffer::Clear() {
  Undo_.clear();
  Redo_.clear();
  Used_ = 0;
  if (!GroupOpen_) Enabled_ = true;
}

void TUndoBuffer::MarkAllModified() {
  for (auto& r : Undo_) r.Modified = true;
  for (auto& r : Redo_) r.Modified = true;
}

bool TUndoBuffer::CanMerge(const TUndoRecord& rec) {
  if (Undo_.empty() || !Redo_.empty()) return false;
  TUndoRecord& last = Undo_.back();
  if (last.Kind != rec.Kind || last.Para != rec.Para) return false;
  const int32_t lastLen = int32_t(last.Text.size());
  int64_t grow = int64_t(rec.Text.size() + rec.NewText.size());
  if (Used_ + grow > Size_) return false;
  switch (rec.Kind) {
    case 1:
      if (rec.Pos != last.Pos + lastLen) return false;
      last.Text += rec.Text;
      break;
    case 4:
      if (rec.Pos == last.Pos) {
        last.Text += rec.Text;
      } else if (rec.Pos + int32_t(rec.Text.size()) == last.Pos) {
        last.Text = rec.Text + last.Text;
        last.Pos = rec.Pos;
      } else {
        return false;
      }
      break;
    case 6:
      if (rec.Pos != last.Pos + int32_t(last.NewText.size())) return false;
      last.Text += rec.Text;
      last.NewText += rec.NewText;
      break;
    default:
      return false;
  }
  Used_ += grow;
  return true;
}

void TUndoBuffer::DropOldestGroup() {
  if (Undo_.empty()) return;
  const int32_t g = Undo_.front().Group;
  while (!Undo_.empty() && Undo_.front().Group == g) {
    Used_ -= Undo_.front().Cost();
    Undo_.pop_front();
  }
}

bool TUndoBuffer::MakeRoom(int64_t n) {
  if (!Enabled_) return false;
  if (n > Size_) {
    Undo_.clear();
    Redo_.clear();
    Used_ = 0;
    if (GroupOpen_) Enabled_ = false;
    return false;
  }
  if (Size_ - Used_ >= n) return true;
  const int64_t target = std::max<int64_t>(n, Size_ / 16);
  while (!Undo_.empty() && Size_ - Used_ < target) {
    // A group still being recorded is never split.
    if (GroupOpen_ && Undo_.front().Group == GroupCounter_) break;
    DropOldestGroup();
  }
  Redo_.clear();
  if (Size_ - Used_ >= n) return true;
  // The open group itself outgrew the block: it is not recorded at all.
  Undo_.clear();
  Used_ = 0;
  if (GroupOpen_) Enabled_ = false;
  return !GroupOpen_;
}

void TUndoBuffer::Add(TUndoRecord rec) {
  if (!Enabled_) return;
  if (!GroupOpen_) {
    if (CanMerge(rec)) return;
    ++GroupCounter_;
  }
  if (!MakeRoom(rec.Cost())) return;
  rec.Group = GroupCounter_;
  Used_ += rec.Cost();
  Undo_.push_back(std::move(rec));
  Redo_.clear();
}

// ---------------------------------------------------------------- paragraphs

namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t'; }

int32_t NextStop(int32_t col, int32_t tabSize) { return (col / tabSize + 1) * tabSize; }

// Display width of n characters from s (columns counted from 0).
int32_t Width(const char* s, int32_t n, int32_t tabSize) {
  int32_t col = 0;
  for (int32_t i = 0; i < n; ++i) col = s[i] == '\t' ? NextStop(col, tabSize) : col + 1;
  return col;
}

}  // namespace

int32_t TParaNode::LineLength(int32_t k) const {
  const int32_t n = LineCount();
  if (k < 1 || k > n) return 0;
  const int32_t end = k < n ? (*Breaks_)[size_t(k - 1)] : int32_t(Text.size());
  return end - LineStart(k);
}

int32_t TParaNode::LineOfOffset(int32_t offset) const {
  if (!Breaks_) return 1;
  return 1 + int32_t(std::upper_bound(Breaks_->begin(), Breaks_->end(), offset) - Breaks_->begin());
}

void TParaNode::Wrap(int32_t wrapColumn, int32_t tabSize) {
  Breaks_.reset();
  const int32_t len = int32_t(Text.size());
  if (wrapColumn <= 0 || wrapColumn >= kNoWrap || len == 0) return;
  tabSize = std::max(tabSize, 1);
  const char* s = Text.data();
  const bool tabs = Text.find('\t') != std::string::npos;
  // The most characters from start that fit within the wrap column (at
  // least one, so that a TAB wider than the column still moves on).
  auto limitFrom = [&](int32_t start) {
    if (!tabs) return std::min(wrapColumn, len - start);
    int32_t col = 0, n = 0;
    while (start + n < len) {
      const int32_t next = s[start + n] == '\t' ? NextStop(col, tabSize) : col + 1;
      if (next > wrapColumn) break;
      col = next;
      ++n;
    }
    return std::max(n, 1);
  };
  std::vector<int32_t> breaks;
  int32_t start = 0;
  int32_t limit = limitFrom(start);
  while (len - start > limit) {
    // The line ends at the last blank or TAB up to the character at the
    // limit, or after the last hyphen before it; a word longer than the
    // line is cut at the limit.
    int32_t end = start + limit;
    for (int32_t i = start + limit; i > start; --i) {
      if (IsWhite(s[i])) {
        end = i;
        break;
      }
      if (s[i] == '-' && i < start + limit) {
        end = i + 1;
        break;
      }
    }
    // Blanks after the break stay on this line.
    int32_t next = end;
    while (next < len && IsWhite(s[next])) ++next;
    if (next >= len) break;
    breaks.push_back(next);
    start = next;
    limit = limitFrom(start);
  }
  if (!breaks.empty()) Breaks_ = std::make_unique<std::vector<int32_t>>(std::move(breaks));
}

// ---------------------------------------------------------------- the list

TParaList::TParaList(int32_t undoSize) : Paras_(1), Undo_(undoSize) {}

void TParaList::SetModified(bool modified) {
  if (!modified) Undo_.MarkAllModified();
  if (Modified_ == modified) return;
  Modified_ = modified;
  for (TParaListView* v : Views_) v->ListModifiedChanged();
}

// A list shown by one editor keeps only its 13 markers; while several share
// it, each also has its own places tracked with the text.
void TParaList::AddView(TParaListView* view) {
  if (std::find(Views_.begin(), Views_.end(), view) != Views_.end()) return;
  Views_.push_back(view);
  Markers_.resize(Views_.size() > 1 ? size_t(kMarkerSlots) + Views_.size() * kViewMarks : size_t(kMarkerSlots));
}

void TParaList::RemoveView(TParaListView* view) {
  const auto it = std::find(Views_.begin(), Views_.end(), view);
  if (it == Views_.end()) return;
  const size_t at = ViewSlot(view);
  if (at + kViewMarks <= Markers_.size())
    Markers_.erase(Markers_.begin() + ptrdiff_t(at), Markers_.begin() + ptrdiff_t(at + kViewMarks));
  Views_.erase(it);
  if (Views_.size() <= 1) Markers_.resize(kMarkerSlots);
}

// --- word wrap and display lines

void TParaList::SetWordWrap(bool on) {
  if (on != WordWrap_) ReWrap([&] { WordWrap_ = on; });
}

void TParaList::SetWrapColumn(int32_t column) {
  if (column < 1 || column == WrapColumn_) return;
  if (WordWrap_) ReWrap([&] { WrapColumn_ = column; });
  else WrapColumn_ = column;
}

void TParaList::SetTabSize(int32_t size) {
  if (size < 1 || size > 255 || size == TabSize_) return;
  if (WordWrap_) ReWrap([&] { TabSize_ = size; });
  else TabSize_ = size;
}

void TParaList::ReWrapAll() {
  ReWrap([] {});
}

// The editors of the ring note their places under the old settings, the
// settings change, every paragraph is wrapped again and the editors find
// their places in the new lines.
void TParaList::ReWrap(const std::function<void()>& change) {
  for (TParaListView* v : Views_) v->ListRewrapping();
  change();
  const int32_t wrap = EffectiveWrap();
  int64_t lines = 0;
  for (TParaNode& n : Paras_) {
    n.Wrap(wrap, TabSize_);
    lines += n.LineCount();
  }
  Lines_ = int32_t(std::min<int64_t>(lines, kNoLimit));
  CachePara_ = CacheLine_ = 1;
  FirstChanged = 1;
  LastChanged = kNoLimit;
  for (TParaListView* v : Views_) v->ListRewrapped();
}

void TParaList::Cache(int32_t p, int32_t firstLine) const {
  CachePara_ = p;
  CacheLine_ = firstLine;
}

int32_t TParaList::ParaFirstLine(int32_t p) const {
  if (!WordWrap_) return p;
  const int32_t n = ParaCount();
  p = std::clamp(p, 1, n);
  // Walk from the nearest of the first paragraph, the last and the cache.
  int32_t at = 1, line = 1;
  const int32_t dHead = p - 1, dTail = n - p, dCache = std::abs(p - CachePara_);
  if (dCache < dHead && dCache < dTail) {
    at = CachePara_;
    line = CacheLine_;
  } else if (dTail < dHead) {
    at = n;
    line = Lines_ - Paras_[size_t(n - 1)].LineCount() + 1;
  }
  while (at < p) line += Paras_[size_t(at++ - 1)].LineCount();
  while (at > p) line -= Paras_[size_t(--at - 1)].LineCount();
  Cache(p, line);
  return line;
}

TLineRef TParaList::GetLine(int32_t k) const {
  TLineRef r;
  if (!WordWrap_) {
    r.Para = std::clamp(k, 1, ParaCount());
    r.Length = ParaLength(r.Para);
    return r;
  }
  k = std::clamp(k, 1, Lines_);
  const int32_t n = ParaCount();
  int32_t p = 1, first = 1;
  const int32_t dHead = k - 1, dTail = Lines_ - k, dCache = std::abs(k - CacheLine_);
  if (dCache < dHead && dCache < dTail) {
    p = CachePara_;
    first = CacheLine_;
  } else if (dTail < dHead) {
    p = n;
    first = Lines_ - Paras_[size_t(n - 1)].LineCount() + 1;
  }
  while (k >= first + Paras_[size_t(p - 1)].LineCount() && p < n) first += Paras_[size_t(p++ - 1)].LineCount();
  while (k < first && p > 1) first -= Paras_[size_t(--p - 1)].LineCount();
  Cache(p, first);
  const TParaNode& node = Paras_[size_t(p - 1)];
  r.Para = p;
  r.LineInPara = k - first + 1;
  r.Start = node.LineStart(r.LineInPara);
  r.Length = node.LineLength(r.LineInPara);
  r.LastOfPara = r.LineInPara == node.LineCount();
  return r;
}

int32_t TParaList::ParaPosToLine(int32_t p, int32_t pos) const {
  p = std::clamp(p, 1, ParaCount());
  if (!WordWrap_) return p;
  return ParaFirstLine(p) + Paras_[size_t(p - 1)].LineOfOffset(std::max(pos, 1) - 1) - 1;
}

void TParaList::Rewrapped(int32_t p, int32_t oldLines) {
  // Without word wrap no paragraph keeps a table: one line each.
  if (!WordWrap_) {
    Touch(p, p);
    return;
  }
  TParaNode& node = Paras_[size_t(p - 1)];
  node.Wrap(WrapColumn_, TabSize_);
  const int32_t lines = node.LineCount();
  Lines_ += lines - oldLines;
  if (p < CachePara_) CacheLine_ += lines - oldLines;
  const int32_t first = ParaFirstLine(p);
  Touch(first, lines == oldLines ? first + lines - 1 : kNoLimit);
}

void TParaList::MarkChanged() {
  if (!Replaying_) SetModified(true);
  Edited();
}

void TParaList::Edited() {
  if (Views_.size() > 1)
    for (TParaListView* v : Views_) v->ListEdited();
}

size_t TParaList::ViewSlot(const TParaListView* view) const {
  const auto it = std::find(Views_.begin(), Views_.end(), view);
  return it == Views_.end() ? 0 : size_t(kMarkerSlots) + size_t(it - Views_.begin()) * kViewMarks;
}

bool TParaList::GetViewMarks(const TParaListView* view, TMarker (&marks)[kViewMarks]) const {
  const size_t at = ViewSlot(view);
  if (at == 0 || at + kViewMarks > Markers_.size()) return false;
  std::copy_n(Markers_.begin() + ptrdiff_t(at), kViewMarks, marks);
  return true;
}

void TParaList::SetViewMarks(const TParaListView* view, const TMarker (&marks)[kViewMarks]) {
  const size_t at = ViewSlot(view);
  if (at == 0 || at + kViewMarks > Markers_.size()) return;
  std::copy_n(marks, kViewMarks, Markers_.begin() + ptrdiff_t(at));
}

void TParaList::Clear() {
  Paras_.clear();
  Paras_.emplace_back();
  Chars_ = 0;
  Lines_ = 1;
  Restart();
}

void TParaList::Restart() {
  CachePara_ = CacheLine_ = 1;
  Undo_.Clear();
  for (auto& m : Markers_) m = TMarker{};
  FirstChanged = 1;
  LastChanged = kNoLimit;
  SetModified(false);
  Edited();
}

void TParaList::SetUndoBufferSize(int32_t size) { Undo_ = TUndoBuffer(std::max<int32_t>(size, 0)); }

int TParaList::CheckLimits(int32_t p, int32_t dp, int64_t db) const {
  if (dp > 0 || p > ParaLimit) {
    int64_t allowed = ParaLimit;
    if (ParaLimit != kNoLimit && p <= ParaLimit && Paras_.back().Text.empty()) allowed = int64_t(ParaLimit) + 1;
    if (int64_t(dp) + ParaCount() > allowed) return edTooManyParas;
  }
  if (db - int64_t(dp) * (2 - LineEndBytes) + FileByteCount() > ByteLimit) return edTextTooLarge;
  if (p == 0 || dp > 0) return 0;
  if (int64_t(ParaLength(p)) + db > ParaLengthLimit) return edParaTooLong;
  return 0;
}

void TParaList::Touch(int32_t first, int32_t last) {
  if (FirstChanged == 0 || first < FirstChanged) FirstChanged = first;
  if (last > LastChanged) LastChanged = last;
}

void TParaList::Record(uint8_t kind, int32_t p, int32_t pos, std::string text, std::string newText) {
  if (Replaying_) return;
  TUndoRecord r;
  r.Kind = kind;
  r.Modified = Modified_;
  r.Para = p;
  r.Pos = pos;
  r.Text = std::move(text);
  r.NewText = std::move(newText);
  Undo_.Add(std::move(r));
}

void TParaList::RecordCaret(int32_t p, int32_t pos) { Record(0, p, pos, {}); }

void TParaList::SetMarker(int slot, int32_t p, int32_t pos) {
  if (slot < 0 || slot >= kMarkerSlots) return;
  Markers_[slot] = TMarker{p, pos};
}

// --- primitive changes (markers follow while tracking is on)

void TParaList::RawInsert(int32_t p, int32_t pos, const std::string& text) {
  TParaNode& node = Paras_[size_t(p - 1)];
  const int32_t oldLines = node.LineCount();
  node.Text.insert(size_t(pos - 1), text);
  Chars_ += int64_t(text.size());
  Rewrapped(p, oldLines);
  if (TrackMarkers)
    for (auto& m : Markers_)
      if (m.Para == p && m.Pos >= pos) m.Pos += int32_t(text.size());
}

std::string TParaList::RawDelete(int32_t p, int32_t pos, int32_t count) {
  TParaNode& node = Paras_[size_t(p - 1)];
  const int32_t oldLines = node.LineCount();
  std::string gone = node.Text.substr(size_t(pos - 1), size_t(count));
  node.Text.erase(size_t(pos - 1), size_t(count));
  Chars_ -= count;
  Rewrapped(p, oldLines);
  if (TrackMarkers)
    for (size_t i = 0; i < Markers_.size(); ++i) {
      TMarker& m = Markers_[i];
      if (m.Para != p || m.Pos < pos) continue;
      // An editor's place inside the run goes to where the run was.
      if (m.Pos < pos + count) m = i < size_t(kMarkerSlots) ? TMarker{} : TMarker{p, pos};
      else m.Pos -= count;
    }
  return gone;
}

void TParaList::RawInsertPara(int32_t at, std::string text) {
  Chars_ += int64_t(text.size());
  TParaNode node(std::move(text));
  if (WordWrap_) node.Wrap(WrapColumn_, TabSize_);
  const int32_t lines = node.LineCount();
  Paras_.insert(Paras_.begin() + (at - 1), std::move(node));
  Lines_ += lines;
  if (at <= CachePara_) {
    ++CachePara_;
    CacheLine_ += lines;
  }
  Touch(ParaFirstLine(at), kNoLimit);
  if (TrackMarkers)
    for (auto& m : Markers_)
      if (m.Para >= at) ++m.Para;
}

std::string TParaList::RawDeletePara(int32_t p) {
  const int32_t lines = Paras_[size_t(p - 1)].LineCount();
  std::string gone = std::move(Paras_[size_t(p - 1)].Text);
  Paras_.erase(Paras_.begin() + (p - 1));
  Chars_ -= int64_t(gone.size());
  Lines_ -= lines;
  if (p < CachePara_) {
    --CachePara_;
    CacheLine_ -= lines;
  } else if (p == CachePara_) {
    CachePara_ = CacheLine_ = 1;
  }
  if (Paras_.empty()) {
    Paras_.emplace_back();
    Lines_ = 1;
  }
  Touch(ParaFirstLine(std::max(p - 1, 1)), kNoLimit);
  if (TrackMarkers)
    for (size_t i = 0; i < Markers_.size(); ++i) {
      TMarker& m = Markers_[i];
      if (m.Para == p) m = i < size_t(kMarkerSlots) ? TMarker{} : TMarker{std::min(p, ParaCount()), 1};
      else if (m.Para > p) --m.Para;
    }
  return gone;
}

// --- editing

int TParaList::InsertText(int32_t p, int32_t pos, const std::string& text) {
  if (p < 1 || p > ParaCount() || pos < 1) return 0;
  const int32_t len = ParaLength(p);
  const int32_t pad = pos > len + 1 ? pos - len - 1 : 0;
  if (int r = CheckLimits(p, 0, int64_t(text.size()) + pad)) return r;
  if (text.empty() && pad == 0) return 0;
  std::string all = std::string(size_t(pad), ' ') + text;
  const int32_t at = pos - pad;
  RawInsert(p, at, all);
  Record(1, p, at, std::move(all));
  MarkChanged();
  return 0;
}

void TParaList::DeleteText(int32_t p, int32_t pos, int32_t count) {
  if (p < 1 || p > ParaCount() || pos < 1 || count <= 0) return;
  const int32_t len = ParaLength(p);
  if (pos > len) return;
  count = std::min(count, len - pos + 1);
  std::string gone = RawDelete(p, pos, count);
  Record(4, p, pos, std::move(gone));
  MarkChanged();
}

int TParaList::ReplaceText(int32_t p, int32_t pos, int32_t oldLength, const std::string& text) {
  if (p < 1 || p > ParaCount() || pos < 1) return 0;
  const int32_t len = ParaLength(p);
  if (pos > len + 1) return InsertText(p, pos, text);
  oldLength = std::clamp(oldLength, 0, len - pos + 1);
  if (int r = CheckLimits(p, 0, int64_t(text.size()) - oldLength)) return r;
  const bool track = TrackMarkers;
  TrackMarkers = false;
  std::string old = RawDelete(p, pos, oldLength);
  RawInsert(p, pos, text);
  TrackMarkers = track;
  if (track) {
    const int32_t delta = int32_t(text.size()) - oldLength;
    for (auto& m : Markers_)
      if (m.Para == p && m.Pos >= pos + oldLength) m.Pos += delta;
  }
  Record(6, p, pos, std::move(old), text);
  MarkChanged();
  return 0;
}

int TParaList::InsertParaBefore(int32_t p, const std::string& text) {
  if (p < 1 || p > ParaCount()) return 0;
  if (int r = CheckLimits(0, 1, int64_t(text.size()) + 2)) return r;
  RawInsertPara(p, text);
  Record(2, p, 1, text);
  MarkChanged();
  return 0;
}

int TParaList::InsertParaAfter(int32_t p, const std::string& text) {
  if (p < 1 || p > ParaCount()) return 0;
  if (int r = CheckLimits(0, 1, int64_t(text.size()) + 2)) return r;
  RawInsertPara(p + 1, text);
  Record(3, p + 1, 1, text);
  MarkChanged();
  return 0;
}

void TParaList::DeletePara(int32_t p) {
  if (p < 1 || p > ParaCount()) return;
  if (ParaCount() == 1) {
    DeleteText(1, 1, ParaLength(1));
    return;
  }
  std::string gone = RawDeletePara(p);
  Record(5, p, 1, std::move(gone));
  MarkChanged();
}

int TParaList::SplitPara(int32_t p, int32_t pos, bool trim, int32_t& indent, int32_t tabSize) {
  if (p < 1 || p > ParaCount()) return 0;
  const int32_t len = ParaLength(p);
  pos = std::clamp(pos, 1, len + 1);
  if (pos == 1 && indent == 0) {
    indent = 0;
    return InsertParaBefore(p, std::string());
  }
  std::string tail = Para(p).substr(size_t(pos - 1));
  std::string lead;
  if (indent > 0) {
    if (tabSize > 0) lead = std::string(size_t(indent / tabSize), '\t') + std::string(size_t(indent % tabSize), ' ');
    else lead = std::string(size_t(indent), ' ');
  }
  if (int r = CheckLimits(0, 1, int64_t(lead.size()) + 2)) return r;
  const bool wasOpen = BeginGroup();
  const bool track = TrackMarkers;
  const std::vector<TMarker> saved = Markers_;
  TrackMarkers = false;
  RecordCaret(p, pos);
  RawInsertPara(p + 1, tail);
  Record(3, p + 1, 1, tail);
  int32_t cut = pos;
  if (trim)
    while (cut > 1 && IsWhite(Para(p)[size_t(cut - 2)]))
      --cut;
  if (cut <= len) {
    std::string gone = RawDelete(p, cut, len - cut + 1);
    Record(4, p, cut, std::move(gone));
  }
  if (!lead.empty()) {
    RawInsert(p + 1, 1, lead);
    Record(1, p + 1, 1, lead);
  }
  indent = int32_t(lead.size());
  RecordCaret(p + 1, indent + 1);
  TrackMarkers = track;
  if (track) {
    for (size_t i = 0; i < Markers_.size(); ++i) {
      TMarker m = saved[i];
      if (m.Para == p && m.Pos >= pos) m = TMarker{p + 1, m.Pos - pos + 1 + indent};
      else if (m.Para == p && m.Pos > cut) m.Pos = cut;
      else if (m.Para > p) ++m.Para;
      Markers_[i] = m;
    }
  }
  EndGroup(wasOpen);
  MarkChanged();
  return 0;
}

int TParaList::JoinParas(int32_t p, int32_t pos) {
  if (p < 1 || p >= ParaCount()) return 0;
  const bool wasOpen = BeginGroup();
  if (pos <= 1) {
    DeletePara(p);
    EndGroup(wasOpen);
    return 0;
  }
  const int32_t len = ParaLength(p);
  const int64_t gap = pos - 1 - len > 0 ? pos - 1 - len : 0;
  const std::string next = Para(p + 1);
  const int64_t grow = gap + int64_t(next.size());
  if (int64_t(len) + grow > ParaLengthLimit || grow + FileByteCount() - LineEndBytes > ByteLimit) {
    EndGroup(wasOpen);
    return edCannotJoin;
  }
  const bool track = TrackMarkers;
  const std::vector<TMarker> saved = Markers_;
  TrackMarkers = false;
  const std::string all = std::string(size_t(gap), ' ') + next;
  const int32_t at = len + 1;
  if (!all.empty()) {
    RawInsert(p, at, all);
    Record(1, p, at, all);
  }
  std::string gone = RawDeletePara(p + 1);
  Record(5, p + 1, 1, std::move(gone));
  RecordCaret(p, pos);
  TrackMarkers = track;
  if (track)
    for (size_t i = 0; i < Markers_.size(); ++i) {
      TMarker m = saved[i];
      if (m.Para == p + 1) m = TMarker{p, m.Pos + int32_t(gap) + at - 1};
      else if (m.Para > p + 1) --m.Para;
      Markers_[i] = m;
    }
  EndGroup(wasOpen);
  MarkChanged();
  return 0;
}

void TParaList::DeleteRange(int32_t p1, int32_t pos1, int32_t p2, int32_t pos2) {
  if (p1 < 1 || p2 > ParaCount() || p1 > p2) return;
  const bool wasOpen = BeginGroup();
  if (p1 == p2) {
    DeleteText(p1, pos1, pos2 - pos1);
  } else if (pos1 == 1 && pos2 == 1) {
    for (int32_t p = p2 - 1; p >= p1; --p) DeletePara(p);
  } else {
    DeleteText(p2, 1, pos2 - 1);
    for (int32_t p = p2 - 1; p > p1; --p) DeletePara(p);
    DeleteText(p1, pos1, ParaLength(p1) - pos1 + 1);
    // Join without the length test: the joined text was one run before.
    const int32_t len = ParaLength(p1);
    const int32_t gap = pos1 - 1 - len > 0 ? pos1 - 1 - len : 0;
    const std::string next = Para(p1 + 1);
    const std::string all = std::string(size_t(gap), ' ') + next;
    if (!all.empty()) {
      RawInsert(p1, len + 1, all);
      Record(1, p1, len + 1, all);
    }
    std::string gone = RawDeletePara(p1 + 1);
    Record(5, p1 + 1, 1, std::move(gone));
    RecordCaret(p1, pos1);
  }
  EndGroup(wasOpen);
  MarkChanged();
}

int TParaList::InsertTextBlock(int32_t& p, int32_t& pos, const std::string& text) {
  std::vector<std::string> pieces;
  std::vector<bool> ended;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      pieces.push_back(text.substr(start, i - start));
      ended.push_back(true);
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size() || pieces.empty()) {
    pieces.push_back(text.substr(start));
    ended.push_back(false);
  }
  if (pieces.size() == 1 && !ended[0]) {
    int r = InsertText(p, pos, pieces[0]);
    if (r == 0) pos += int32_t(pieces[0].size());
    return r;
  }
  int64_t total = 0;
  for (auto& s : pieces) total += int64_t(s.size()) + 2;
  if (int r = CheckLimits(0, int32_t(pieces.size()), total)) return r;
  const bool wasOpen = BeginGroup();
  int result = 0;
  for (size_t i = 0; i < pieces.size() && result == 0; ++i) {
    if (ended[i] && pos == 1) {
      result = InsertParaBefore(p, pieces[i]);
      ++p;
    } else {
      const int32_t len = ParaLength(p);
      if (pos > len + 1) pos = len + 1;
      result = InsertText(p, pos, pieces[i]);
      pos += int32_t(pieces[i].size());
      if (result == 0 && ended[i]) {
        int32_t indent = 0;
        result = SplitPara(p, pos, false, indent, 0);
        ++p;
        pos = 1;
      }
    }
  }
  EndGroup(wasOpen);
  Touch(std::max(p - 1, 1), kNoLimit);
  return result;
}

int TParaList::AppendPara(std::string text, bool trim) {
  if (trim)
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  if (int r = CheckLimits(0, 1, int64_t(text.size()) + 2)) return r;
  Chars_ += int64_t(text.size());
  TParaNode node(std::move(text));
  if (WordWrap_) node.Wrap(WrapColumn_, TabSize_);
  Lines_ += node.LineCount();
  Paras_.insert(Paras_.end() - 1, std::move(node));
  CachePara_ = CacheLine_ = 1;
  return 0;
}

std::unique_ptr<TParaList> TParaList::EmptyLike() const {
  auto l = std::make_unique<TParaList>(0);
  l->ParaLimit = ParaLimit;
  l->ByteLimit = ByteLimit;
  l->LineEndBytes = LineEndBytes;
  l->ParaLengthLimit = ParaLengthLimit;
  l->WordWrap_ = WordWrap_;
  l->WrapColumn_ = WrapColumn_;
  l->TabSize_ = TabSize_;
  return l;
}

void TParaList::TakeText(TParaList& loaded) {
  Paras_.swap(loaded.Paras_);
  std::swap(Chars_, loaded.Chars_);
  std::swap(Lines_, loaded.Lines_);
  LineEndBytes = loaded.LineEndBytes;
  loaded.Clear();
  Restart();
}

std::string TParaList::GetRange(int32_t p1, int32_t pos1, int32_t p2, int32_t pos2,
                                const std::string& eol) const {
  std::string out;
  for (int32_t p = p1; p <= p2; ++p) {
    const std::string& s = Para(p);
    const size_t from = p == p1 ? size_t(std::max(pos1, 1) - 1) : 0;
    const size_t to = p == p2 ? size_t(std::max(pos2, 1) - 1) : s.size();
    if (from < s.size() && to > from) out.append(s, from, std::min(to, s.size()) - from);
    if (p != p2) out += eol;
  }
  return out;
}

// --- history replay

void TParaList::Apply(const TUndoRecord& r, bool forward, int32_t& p, int32_t& pos) {
  p = r.Para;
  pos = r.Pos;
  switch (r.Kind) {
    case 0:
      break;
    case 1:
      if (forward) {
        RawInsert(r.Para, r.Pos, r.Text);
        pos = r.Pos + int32_t(r.Text.size());
      } else {
        RawDelete(r.Para, r.Pos, int32_t(r.Text.size()));
      }
      break;
    case 2:
    case 3:
      if (forward) RawInsertPara(r.Para, r.Text);
      else RawDeletePara(r.Para);
      break;
    case 4:
      if (forward) RawDelete(r.Para, r.Pos, int32_t(r.Text.size()));
      else RawInsert(r.Para, r.Pos, r.Text);
      break;
    case 5:
      if (forward) RawDeletePara(r.Para);
      else RawInsertPara(r.Para, r.Text);
      if (p > ParaCount()) p = ParaCount();
      break;
    case 6:
      RawDelete(r.Para, r.Pos, int32_t(forward ? r.Text.size() : r.NewText.size()));
      RawInsert(r.Para, r.Pos, forward ? r.NewText : r.Text);
      break;
  }
}

bool TParaList::UndoGroup(int32_t& p, int32_t& pos) {
  auto& undo = Undo_.Undo_;
  if (undo.empty()) return false;
  Replaying_ = true;
  const int32_t g = undo.back().Group;
  bool modified = Modified_;
  while (!undo.empty() && undo.back().Group == g) {
    TUndoRecord r = std::move(undo.back());
    undo.pop_back();
    Undo_.Used_ -= r.Cost();
    Apply(r, false, p, pos);
    modified = r.Modified;
    Undo_.Redo_.push_back(std::move(r));
  }
  Replaying_ = false;
  SetModified(modified);
  Edited();
  return true;
}

bool TParaList::RedoGroup(int32_t& p, int32_t& pos) {
  auto& redo = Undo_.Redo_;
  if (redo.empty()) return false;
  Replaying_ = true;
  const int32_t g = redo.back().Group;
  while (!redo.empty() && redo.back().Group == g) {
    TUndoRecord r = std::move(redo.back());
    redo.pop_back();
    r.Modified = Modified_;
    Apply(r, true, p, pos);
    Undo_.Used_ += r.Cost();
    Undo_.Undo_.push_back(std::move(r));
  }
  Replaying_ = false;
  SetModified(true);
  Edited();
  return true;
}

// --- columns

int32_t TParaList::ColOfPos(int32_t p, int32_t pos) const {
  const std::string& s = Para(p);
  const size_t n = std::min(size_t(std::max(pos, 1) - 1), s.size());
  if (s.find('\t') == std::string::npos || s.find('\t') >= n) return pos;
  int32_t col = 1;
  for (size_t i = 0; i < n; ++i)
    col = s[i] == '\t' ? ((col - 1) / TabSize_ + 1) * TabSize_ + 1 : col + 1;
  return col + (pos - 1 - int32_t(n));
}

int32_t TParaList::PosOfCol(int32_t p, int32_t col) const {
  const std::string& s = Para(p);
  const size_t tab = s.find('\t');
  if (tab == std::string::npos || int32_t(tab) + 1 >= col) return col;
  int32_t c = 1;
  for (size_t i = 0; i < s.size(); ++i) {
    const int32_t next = s[i] == '\t' ? ((c - 1) / TabSize_ + 1) * TabSize_ + 1 : c + 1;
    if (next > col) return int32_t(i) + 1;
    c = next;
  }
  return int32_t(s.size()) + 1 + (col - c);
}

std::string TParaList::Expanded(int32_t p) const {
  const std::string& s = Para(p);
  if (s.find('\t') == std::string::npos) return s;
  std::string out;
  for (char ch : s) {
    if (ch == '\t') out.append(size_t(TabSize_ - int32_t(out.size()) % TabSize_), ' ');
    else out += ch;
  }
  return out;
}

int32_t TParaList::LineColOfPos(const TLineRef& line, int32_t pos) const {
  const char* s = Para(line.Para).data() + line.Start;
  const int32_t n = std::max(pos - 1 - line.Start, 0);
  const int32_t inLine = std::min(n, line.Length);
  // Without a TAB before the point, columns are characters.
  if (std::memchr(s, '\t', size_t(inLine)) == nullptr) return 1 + n;
  return 1 + Width(s, inLine, TabSize_) + (n - inLine);
}

int32_t TParaList::LinePosOfCol(const TLineRef& line, int32_t col) const {
  const char* s = Para(line.Para).data() + line.Start;
  if (std::memchr(s, '\t', size_t(std::clamp(col - 1, 0, line.Length))) == nullptr) return line.Start + std::max(col, 1);
  int32_t c = 0;  // columns before character i
  for (int32_t i = 0; i < line.Length; ++i) {
    const int32_t next = s[i] == '\t' ? NextStop(c, TabSize_) : c + 1;
    if (next >= col) return line.Start + i + 1;
    c = next;
  }
  return line.Start + line.Length + 1 + std::max(col - 1 - c, 0);
}

std::string TParaList::LineText(const TLineRef& line) const {
  return Para(line.Para).substr(size_t(line.Start), size_t(line.Length));
}

std::string TParaList::ExpandedLine(const TLineRef& line) const {
  const char* s = Para(line.Para).data() + line.Start;
  if (std::memchr(s, '\t', size_t(line.Length)) == nullptr) return std::string(s, size_t(line.Length));
  std::string out;
  out.reserve(size_t(line.Length));
  for (int32_t i = 0; i < line.Length; ++i) {
    if (s[i] == '\t') out.append(size_t(TabSize_ - int32_t(out.size()) % TabSize_), ' ');
    else out += s[i];
  }
  return out;
}
