#include "import/igi_post_import.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/geometry_matrix.h"
#include "foundation/geometry_points.h"
#include "foundation/import_guard.h"
#include "import/binary_file_reader.h"
#include "import/import_host.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

constexpr int32_t kChecked = 85;  // records the type check looks at
const char* const kPlacements = "the placements of its sub-figures";

// The records of the head (whole records only) check in the byte order.
bool TypeChecks(const std::vector<uint8_t>& head, std::size_t count, bool bigEndian) {
  if (count == 0) return false;
  if (IsIgiHeader(DecodeIgiRecord(head.data(), bigEndian))) return true;
  for (std::size_t r = 0; r < count && r < kChecked; ++r) {
    const int16_t type = DecodeIgiRecord(head.data() + 12 * r, bigEndian).Type;
    if (type < 0 || type > 99) return false;
  }
  return true;
}

// The records of the file one by one, read through a buffer: what the
// reading holds does not grow with the file.
class TIgiFileRecords : public TIgiRecords {
 public:
  TIgiFileRecords(const std::string& fileName, std::size_t first, std::size_t count, bool bigEndian)
      : Count_(count), Next_(first), BigEndian_(bigEndian) {
    File_ = std::fopen(NativePath(fileName).c_str(), "rb");
    if (File_ != nullptr && fseeko(File_, static_cast<off_t>(first * 12), SEEK_SET) != 0) {
      std::fclose(File_);
      File_ = nullptr;
    }
  }
  ~TIgiFileRecords() override {
    if (File_ != nullptr) std::fclose(File_);
  }
  bool Opened() const { return File_ != nullptr; }
  bool ReadError() const { return ReadError_; }
  bool Next(TIgiRecord& record) override {
    if (File_ == nullptr || Next_ >= Count_) return false;
    uint8_t bytes[12];
    if (std::fread(bytes, 1, 12, File_) != 12) {
      ReadError_ = true;
      return false;
    }
    record = DecodeIgiRecord(bytes, BigEndian_);
    Index = Next_++;
    return true;
  }

 private:
  std::FILE* File_ = nullptr;
  std::size_t Count_, Next_;
  bool BigEndian_;
  bool ReadError_ = false;
};

// A sub-figure's records as captured.
class TIgiHeldRecords : public TIgiRecords {
 public:
  explicit TIgiHeldRecords(const std::vector<TIgiRecord>& records) : Records_(records) {}
  bool Next(TIgiRecord& record) override {
    if (Next_ >= Records_.size()) return false;
    record = Records_[Next_];
    Index = Next_++;
    return true;
  }

 private:
  const std::vector<TIgiRecord>& Records_;
  std::size_t Next_ = 0;
};

// A record of zero bytes only (the padding of a copy, an emptied disk):
// read as any record of no known type, and counted.
bool IsBlank(const TIgiRecord& r) {
  for (uint8_t b : r.Raw)
    if (b != 0) return false;
  return true;
}

// An arc whose ends lie no further apart than this is a whole circle. A
// circle is written as an arc from 0.00005 in left of its top to 0.00005 in
// right of it; storing each end as a float32 may widen that gap of 0.0001
// by up to a unit in the last place of the larger coordinate, so that
// allowance is added (else such a circle would come back as an arc).
double CircleGapLimit(const TRealPoint& start, const TIgiRecord& end) {
  const float largest = std::max({std::fabs(float(start.X)), std::fabs(float(start.Y)),
                                  std::fabs(end.X), std::fabs(end.Y)});
  const double unit = double(std::nextafter(largest, INFINITY)) - double(largest);
  return 0.0001 + 2.0 * unit;
}

}  // namespace

TIgiRecord DecodeIgiRecord(const uint8_t* b, bool bigEndian) {
  TIgiRecord r;
  auto word = [&](int at) {
    return static_cast<int16_t>(bigEndian ? (b[at] << 8) | b[at + 1] : b[at] | (b[at + 1] << 8));
  };
  auto real = [&](int at) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(b[at + k]) << (bigEndian ? 8 * (3 - k) : 8 * k);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  };
  r.Type = word(0);
  r.X = real(2);
  r.Y = real(6);
  r.Word = word(10);
  std::memcpy(r.Raw, b + 2, 10);
  return r;
}

bool IsIgiHeader(const TIgiRecord& r) {
  uint32_t x, y;
  std::memcpy(&x, &r.X, 4);
  std::memcpy(&y, &r.Y, 4);
  return r.Type == 60 && x == 0x7344FFBBu && y == 0x7344FFBBu && static_cast<uint16_t>(r.Word) == 0xFF33;
}

TIgiPostReader::TIgiPostReader(std::string fileName, double scale)
    : FileName(std::move(fileName)), Scale(scale) {}

void TIgiPostReader::Fail(const std::string& text) {
  if (!Failed) ErrorText = text;
  Failed = true;
}

bool TIgiPostReader::Open() {
  std::vector<uint8_t> head;
  int64_t size = 0;
  if (!ReadFilePart(FileName, 0, 12 * kChecked, head, size)) {
    Fail("<" + FileName + "> cannot be read.");
    return false;
  }
  // A tail shorter than a record (a closing Ctrl-Z, a cut copy) is left
  // unread; the whole records before it are the drawing.
  TailBytes = static_cast<int32_t>(size % 12);
  RecordCount = static_cast<std::size_t>(size / 12);
  if (RecordCount == 0) {
    Fail("<" + FileName + "> holds no whole record.");
    return false;
  }
  const std::size_t checked = std::min<std::size_t>(RecordCount, head.size() / 12);
  if (TypeChecks(head, checked, false)) BigEndian = false;
  else if (TypeChecks(head, checked, true)) BigEndian = true;
  else {
    Fail("<" + FileName + "> is not an Infinite Graphics POST file.");
    return false;
  }
  HasHeader = IsIgiHeader(DecodeIgiRecord(head.data(), BigEndian));
  First = 0;
  if (HasHeader) {
    First = 1;
    if (RecordCount >= 5) {
      uint32_t bits;
      const float y = DecodeIgiRecord(head.data() + 12, BigEndian).Y;
      std::memcpy(&bits, &y, 4);
      First = 2 + ((bits & 1) ? 2 : 0) + 1;
    }
  }
  Opened = true;
  return true;
}

void TIgiPostReader::Read() {
  if (!Opened && !Open()) return;
  TMatrix3 m = IdentityMatrix;
  ScaleMatrix({0, 0}, m, Scale, Scale);
  TIgiFileRecords records(FileName, First, RecordCount, BigEndian);
  if (!records.Opened()) {
    Fail("<" + FileName + "> cannot be read.");
    return;
  }
  File_ = &records;
  Dispatch(records, m);
  File_ = nullptr;
  if (records.ReadError()) Fail("<" + FileName + "> cannot be read.");
}

void TIgiPostReader::Made(int32_t count) {
  // Entities that flashes of sub-figures make beyond what a drawing holds:
  // the import is refused at once rather than after every flash.
  Made_ += count;
  if (Made_ > static_cast<int64_t>(TPendingCad::MostItems) && !Placing_.empty())
    Fail(RepeatsPastTheDrawingText(FileName, kPlacements));
}

void TIgiPostReader::Poll() {
  if (!CancelBox.TimeToLook(++Read_)) return;
  ProcessMessages();
  // The status box shows how far through the file's records the reading is.
  const int32_t percent = File_ != nullptr && RecordCount > 0
                              ? static_cast<int32_t>(std::min<std::size_t>(100, File_->Index * 100 / RecordCount))
                              : 0;
  if (CancelBox.Cancelled(percent)) Cancelled = true;
}

void TIgiPostReader::Dispatch(TIgiRecords& records, const TMatrix3& m) {
  TLevel level;
  Current_ = {0, 0};
  WasMove_ = PathOpen_ = false;
  const auto transformed = [&m](double x, double y) {
    TRealPoint p;
    TransformPoint(x, y, p.X, p.Y, m);
    return p;
  };
  TIgiRecord r;
  while (!Ended_ && !Failed && !Cancelled && records.Next(r)) {
    const std::size_t i = records.Index;
    if ((++Dispatched_ & 255) == 0) Progress();
    if ((Dispatched_ & 31) == 0) Idle();
    Poll();
    if (r.Type < 0 || r.Type > 99) continue;
    if (r.Type == 0 && IsBlank(r)) ++BlankRecords;
    if (!std::isfinite(r.X) || !std::isfinite(r.Y)) {
      Fail("Record " + std::to_string(i + 1) + " of <" + FileName + "> holds no number.");
      return;
    }
    if (level.Capturing >= 0) {
      if (r.Type == 15) {
        level.Capturing = -1;
        level.Label.clear();
      } else {
        // Sub-figures are kept for their placements: up to the hold limit.
        Held_ += static_cast<int64_t>(sizeof(TIgiRecord));
        if (Held_ > ImportHoldLimit()) {
          Fail(ImportTooLargeText(FileName));
          return;
        }
        Figures_[level.Capturing].push_back(r);
      }
    } else {
      switch (r.Type) {
        case 1: Flash(level, r, m); break;
        case 2:
        case 3: {
          const TRealPoint p = transformed(r.X, r.Y);
          if (WasMove_) PathOpen_ = true;
          if (PathOpen_) {
            AddLine(0, Current_.X, Current_.Y, p.X, p.Y);
            Made(1);
          }
          PathOpen_ = r.Type == 2;
          Current_ = p;
          break;
        }
        case 6: Current_ = transformed(r.X, r.Y); break;
        case 9: Ended_ = true; break;
        case 10:
          if (r.Word < 0) {
            level.Mode = 2;
            level.Figure = -r.Word;
          } else {
            level.Mode = r.Word <= 1 ? r.Word : 0;
            level.Width = r.X;
            level.Height = r.Y;
          }
          break;
        case 30:
        case 31: Centre_ = {r.X, r.Y}; break;
        case 36:
          ArcStart_ = {r.X, r.Y};
          Counter_ = r.Word == 1;
          break;
        case 37: {
          const TRealPoint c = transformed(Centre_.X, Centre_.Y);
          TRealPoint s = transformed(ArcStart_.X, ArcStart_.Y);
          if (Distance(ArcStart_, {r.X, r.Y}) > CircleGapLimit(ArcStart_, r)) {
            const TRealPoint far = transformed(r.X, r.Y);
            TRealPoint e;
            OffsetPoint(c, e, Distance(c, s), DirectionAngle(c, far));
            if (!Counter_ != MatrixIsMirrored(m)) std::swap(s, e);
            AddArc(0, s.X, s.Y, e.X, e.Y, c.X, c.Y, DirectionAngle(c, s), DirectionAngle(c, e));
          } else {
            AddCircle(0, c.X, c.Y, Distance(c, s));
          }
          Made(1);
          break;
        }
        case 81: {
          level.Label.append(reinterpret_cast<const char*>(r.Raw), 10);
          level.Label = level.Label.substr(0, level.Label.find('\0'));
          break;
        }
        case 84: {
          level.Capturing = std::abs(r.Word);
          std::vector<TIgiRecord>& figure = Figures_[level.Capturing];
          Held_ -= static_cast<int64_t>(figure.size() * sizeof(TIgiRecord));
          std::vector<TIgiRecord>().swap(figure);
          Status("SUBFIG " + std::to_string(level.Capturing) + " <" + level.Label + ">");
          break;
        }
        default: break;
      }
    }
    if (r.Type != 2 && r.Type != 3) {
      if (r.Type != 30 && r.Type != 36 && r.Type != 37) PathOpen_ = false;
    }
    WasMove_ = r.Type == 6;
  }
}

void TIgiPostReader::Flash(TLevel& level, const TIgiRecord& r, const TMatrix3& m) {
  const auto t = [&m](double x, double y) {
    TRealPoint p;
    TransformPoint(x, y, p.X, p.Y, m);
    return p;
  };
  const double x = r.X, y = r.Y, w = level.Width, h = level.Height;
  const TRealPoint at = t(x, y);
  if (level.Mode == 2) {
    const int32_t n = level.Figure;
    const auto figure = Figures_.find(n);
    if (figure != Figures_.end()) {
      if (std::find(Placing_.begin(), Placing_.end(), n) != Placing_.end()) {
        Fail("Sub-figure " + std::to_string(n) + " of <" + FileName + "> places itself.");
        return;
      }
      if (Placing_.size() >= static_cast<std::size_t>(ImportNestingLimit)) {
        Fail(NestedTooDeepText(FileName, kPlacements));
        return;
      }
      // A flash reads the figure's records again: figures flashing figures
      // multiply, and a file of a few flashes can ask for billions of
      // records. One read again costs its set-up too, of an empty figure as
      // well.
      Repeated_ += static_cast<int64_t>(figure->second.size()) + (Placing_.empty() ? 0 : ImportPlacementCost);
      if (Repeated_ > ImportRepeatLimit()) {
        Fail(RepeatsPastTheLimitText(FileName, kPlacements));
        return;
      }
      if (figure->second.empty()) {  // nothing to place
        Current_ = at;
        return;
      }
      // The figure's own points move by the flash point first, then take
      // the placement in force here.
      TMatrix3 placed = IdentityMatrix;
      TranslateMatrix(placed, x, y);
      ConcatMatrix(m, placed);
      const TRealPoint current = Current_;
      const bool wasMove = WasMove_, open = PathOpen_;
      Placing_.push_back(n);
      // The figure may be defined again while it is replayed: it is replayed
      // from a copy, which counts against the hold limit while it lasts.
      const int64_t copied = static_cast<int64_t>(figure->second.size() * sizeof(TIgiRecord));
      Held_ += copied;
      if (Held_ > ImportHoldLimit()) {
        Fail(ImportTooLargeText(FileName));
        return;
      }
      const std::vector<TIgiRecord> copy = figure->second;
      TIgiHeldRecords records(copy);
      Dispatch(records, placed);
      Held_ -= copied;
      Placing_.pop_back();
      Current_ = current;
      WasMove_ = wasMove;
      PathOpen_ = open;
    }
  } else if (level.Mode == 1) {
    const TRealPoint a = t(x - w / 2, y - h / 2), b = t(x + w / 2, y - h / 2);
    const TRealPoint c = t(x + w / 2, y + h / 2), d = t(x - w / 2, y + h / 2);
    AddLine(0, a.X, a.Y, b.X, b.Y);
    AddLine(0, b.X, b.Y, c.X, c.Y);
    AddLine(0, c.X, c.Y, d.X, d.Y);
    AddLine(0, d.X, d.Y, a.X, a.Y);
    Made(4);
  } else if (w == h) {
    AddCircle(0, at.X, at.Y, w * Scale * 0.5);
    Made(1);
  } else {
    // Obround: two straight sides and two half circles on the outer ends.
    const double d = std::fabs(w - h) / 2;
    const bool wide = w > h;
    const TRealPoint c1 = wide ? t(x - d, y) : t(x, y - d), c2 = wide ? t(x + d, y) : t(x, y + d);
    const TRealPoint a1 = wide ? t(x - d, y - h / 2) : t(x + w / 2, y - d);
    const TRealPoint a2 = wide ? t(x + d, y - h / 2) : t(x + w / 2, y + d);
    const TRealPoint b2 = wide ? t(x + d, y + h / 2) : t(x - w / 2, y + d);
    const TRealPoint b1 = wide ? t(x - d, y + h / 2) : t(x - w / 2, y - d);
    AddLine(0, a1.X, a1.Y, a2.X, a2.Y);
    AddLine(0, b1.X, b1.Y, b2.X, b2.Y);
    const bool mirrored = MatrixIsMirrored(m);
    // Counter-clockwise: from a2 round the far end to b2, from b1 round the
    // near end to a1.
    auto arc = [this, mirrored](TRealPoint s, TRealPoint e, const TRealPoint& c) {
      if (mirrored) std::swap(s, e);
      AddArc(0, s.X, s.Y, e.X, e.Y, c.X, c.Y, DirectionAngle(c, s), DirectionAngle(c, e));
    };
    arc(a2, b2, c2);
    arc(b1, a1, c1);
    Made(4);
  }
  Current_ = at;
}

void ImportIgiPostToCad(const std::string& fileName) {
  if (!CheckImportFile(fileName)) return;
  auto report = ImportHost().OpenReport(ImportCaption("IGI POST-to-CAD ", "6.00", fileName), 50, 15);
  report->WriteLn("&Reading Infinite Graphics POST file...");
  struct TImporter : TIgiPostToCad {
    using TIgiPostToCad::TIgiPostToCad;
    TImportReport* Report = nullptr;
    void Status(const std::string& text) override { Report->WriteLn(text); }
    void Progress() override { Report->Write("."); ProcessMessages(); }
    void Idle() override { ProcessMessages(); }
  } importer(fileName, InchImportScale);
  importer.Report = report.get();
  importer.Read();
  if (importer.Failed || importer.Cancelled || importer.OutOfRange > 0 || importer.Pending.Count() == 0) {
    const std::string text = importer.Failed          ? importer.ErrorText
                             : importer.Cancelled      ? CancelledImportText(fileName)
                             : importer.OutOfRange > 0 ? BeyondTheJobText(fileName)
                                                       : "<" + fileName + "> draws nothing.";
    report->WriteLn(text);
    NothingImported(text);
    return;
  }
  if (importer.TailBytes > 0)
    report->WriteLn("The last " + std::to_string(importer.TailBytes) +
                    " bytes hold no whole record and were not read.");
  if (!importer.Pending.Commit()) return;
  if (importer.BlankRecords > 0) {
    const std::string text = BlankRecordsText(importer.BlankRecords, fileName);
    report->WriteLn(text);
    InformationBox(text);
  }
}
