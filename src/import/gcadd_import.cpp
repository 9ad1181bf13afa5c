#include "import/gcadd_import.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "foundation/geometry_matrix.h"
#include "foundation/geometry_points.h"
#include "foundation/import_guard.h"
#include "import/binary_file_reader.h"
#include "import/import_host.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

constexpr std::size_t kUnit = 10;
const char* const kPlacements = "the placements of its components";
// Recognition looks at this many bytes at the start and at the end.
constexpr std::size_t kRecognized = 2048;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

float Real(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);  // stored little-endian, as this machine keeps it
  return f;
}

// The name of two data units: a length byte, then nine characters from
// each unit; at most 12 characters count.
std::string Name(const uint8_t* first) {
  std::string text(reinterpret_cast<const char*>(first + 1), 9);
  text.append(reinterpret_cast<const char*>(first + kUnit + 1), 9);
  text.resize(std::min<std::size_t>(first[0], 18));
  if (text.size() > 12) text.resize(12);
  return text;
}

}  // namespace

bool RecognizeGcadd(const std::vector<uint8_t>& head, const std::vector<uint8_t>& tail,
                    int64_t size, int32_t& dataOffset) {
  // A drawing ends with FF FF and eight zero bytes (zero bytes may follow);
  // its size then tells which header comes before the data. head holds the
  // file's first bytes, tail its last (byte k of the file at
  // tail[k - (size - tail.size())]).
  if (size <= 0 || tail.empty()) return false;
  const int64_t window = std::min<int64_t>(size, kRecognized);
  const int64_t tailStart = size - static_cast<int64_t>(tail.size());
  const auto at = [&](int64_t k) { return tail[static_cast<std::size_t>(k - tailStart)]; };
  int64_t last = size;
  while (last > size - window && last - 1 >= tailStart && at(last - 1) == 0) --last;
  if (last >= 2 && last - 2 >= tailStart && last - 2 + 10 <= size) {
    static const uint8_t mark[10] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    bool marked = true;
    for (int k = 0; k < 10 && marked; ++k) marked = at(last - 2 + k) == mark[k];
    if (marked) {
      struct TVariant {
        int64_t Remainder;
        uint8_t Head[4];
        int32_t Offset;
      };
      static const TVariant variants[] = {{3, {0x01, 0xE7, 0x02, 0x00}, 743},
                                          {4, {0x03, 0xF0, 0x04, 0x00}, 1264},
                                          {8, {0x03, 0xEA, 0x04, 0x00}, 1258}};
      if (size % 10 == 0) {
        dataOffset = 0;
        return true;
      }
      for (const TVariant& v : variants)
        if (size % 10 == v.Remainder && head.size() >= 4 && std::equal(v.Head, v.Head + 4, head.begin())) {
          dataOffset = v.Offset;
          return true;
        }
    }
  }
  // Else the first 2 KB must walk cleanly through known record types, more
  // records than a random file would give.
  const std::size_t walked = std::min<std::size_t>(static_cast<std::size_t>(window), head.size());
  if (walked < 40) return false;
  static const std::array<int, 21> types = {1,  2,  10, 11, 12, 13, 14, 20, 21, 24, 30,
                                            31, 32, 50, 51, 52, 62, 63, 64, 65, 66};
  std::size_t pos = 0;
  int32_t records = 0;
  while (pos + 20 <= walked) {
    const int type = head[pos + 2];
    const int count = Word(&head[pos + 8]);
    if (std::find(types.begin(), types.end(), type) == types.end() || count >= 25) return false;
    pos += static_cast<std::size_t>(count + 1) * kUnit;
    ++records;
  }
  if (records <= std::max<int32_t>(static_cast<int32_t>(walked / 40), 10)) return false;
  dataOffset = 0;
  return true;
}

bool RecognizeGcadd(const std::vector<uint8_t>& bytes, int32_t& dataOffset) {
  const std::size_t part = std::min<std::size_t>(bytes.size(), kRecognized + 16);
  const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(part));
  const std::vector<uint8_t> tail(bytes.end() - static_cast<std::ptrdiff_t>(part), bytes.end());
  return RecognizeGcadd(head, tail, static_cast<int64_t>(bytes.size()), dataOffset);
}

namespace {

// The first and the last bytes of the file, as recognition reads them.
bool RecognizeGcaddFile(const std::string& fileName, int32_t& dataOffset, bool& readable) {
  std::vector<uint8_t> head, tail;
  int64_t size = 0;
  readable = ReadFilePart(fileName, 0, kRecognized + 16, head, size);
  if (readable && size > static_cast<int64_t>(head.size()))
    readable = ReadFilePart(fileName, std::max<int64_t>(0, size - static_cast<int64_t>(kRecognized) - 16), kRecognized + 16, tail, size);
  else
    tail = head;
  return readable && RecognizeGcadd(head, tail, size, dataOffset);
}

}  // namespace

double DetectGcadd(const std::string& fileName) {
  int32_t offset = 0;
  bool readable = false;
  return RecognizeGcaddFile(fileName, offset, readable) ? 0.9 : 0.0;
}

// The records of a drawing one by one: each a header unit and its data
// units, from the file or from a component's copy.
class TGcaddRecords {
 public:
  enum TNext { nRecord, nEnd, nCut };
  virtual ~TGcaddRecords() = default;
  // The next record into record; nEnd after the data (or at the end mark),
  // nCut when the data ends inside a record.
  virtual TNext Next(std::vector<uint8_t>& record) = 0;
  // The byte offset of the record last given.
  std::size_t Position = 0;
};

namespace {

class TGcaddHeld : public TGcaddRecords {
 public:
  explicit TGcaddHeld(const std::vector<uint8_t>& data) : Data_(data) {}
  TNext Next(std::vector<uint8_t>& record) override {
    Position = Pos_;
    if (Pos_ >= Data_.size()) return nEnd;
    if (Pos_ + kUnit > Data_.size()) return nCut;
    const uint8_t* head = &Data_[Pos_];
    if (Word(head) == 65535) return nEnd;
    const std::size_t end = Pos_ + (Word(head + 8) + std::size_t{1}) * kUnit;
    if (end > Data_.size()) return nCut;
    record.assign(head, Data_.data() + end);
    Pos_ = end;
    return nRecord;
  }

 private:
  const std::vector<uint8_t>& Data_;
  std::size_t Pos_ = 0;
};

// The file read forward through a buffer: what it holds is one record at a
// time, whatever the file's size.
class TGcaddFile : public TGcaddRecords {
 public:
  TGcaddFile(const std::string& fileName, int64_t from) {
    File_ = std::fopen(NativePath(fileName).c_str(), "rb");
    if (File_ != nullptr && fseeko(File_, static_cast<off_t>(from), SEEK_SET) != 0) {
      std::fclose(File_);
      File_ = nullptr;
    }
    Pos_ = static_cast<std::size_t>(from);
  }
  ~TGcaddFile() override {
    if (File_ != nullptr) std::fclose(File_);
  }
  bool Opened() const { return File_ != nullptr; }
  bool ReadError() const { return File_ != nullptr && std::ferror(File_) != 0; }
  TNext Next(std::vector<uint8_t>& record) override {
    Position = Pos_;
    record.resize(kUnit);
    const std::size_t got = std::fread(record.data(), 1, kUnit, File_);
    if (got == 0) return nEnd;
    if (got < kUnit) return nCut;
    if (Word(record.data()) == 65535) return nEnd;
    const std::size_t size = (Word(record.data() + 8) + std::size_t{1}) * kUnit;
    record.resize(size);
    if (std::fread(record.data() + kUnit, 1, size - kUnit, File_) != size - kUnit) return nCut;
    Pos_ += size;
    return nRecord;
  }

 private:
  std::FILE* File_ = nullptr;
  std::size_t Pos_ = 0;
};

}  // namespace

TGcaddReader::TGcaddReader(std::string fileName, double scale)
    : FileName(std::move(fileName)), Scale(scale) {}

void TGcaddReader::Fail(const std::string& text) {
  if (!Failed) ErrorText = text;
  Failed = true;
}

bool TGcaddReader::Open() {
  bool readable = false;
  Valid = RecognizeGcaddFile(FileName, DataOffset, readable);
  if (!readable) Fail("<" + FileName + "> cannot be read.");
  else if (!Valid) Fail("<" + FileName + "> is not a GCADD drawing.");
  return Valid;
}

void TGcaddReader::Read() {
  if (!Valid && !Open()) return;
  TMatrix3 m = IdentityMatrix;
  ScaleMatrix({0, 0}, m, Scale, Scale);
  TGcaddFile file(FileName, DataOffset);
  if (!file.Opened()) {
    Fail("<" + FileName + "> cannot be read.");
    return;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(NativePath(FileName), error);
  FileBytes_ = error ? 0 : static_cast<int64_t>(size);
  File_ = &file;
  Parse(file, m);
  File_ = nullptr;
  if (file.ReadError()) Fail("<" + FileName + "> cannot be read.");
}

void TGcaddReader::Made() {
  // Entities that placements make beyond what a drawing holds: the import
  // is refused at once rather than after every placement has been read.
  if (++Made_ > static_cast<int64_t>(TPendingCad::MostItems) && !Placing_.empty())
    Fail(RepeatsPastTheDrawingText(FileName, kPlacements));
}

int64_t TGcaddReader::SurelyMade(const std::string& name, int32_t depth) {
  const auto found = Components_.find(name);
  if (found == Components_.end() || depth >= ImportNestingLimit) return 0;
  if (found->second.SurelyMade >= 0) return found->second.SurelyMade;
  // A component placing itself refuses the file: counted as none meanwhile.
  found->second.SurelyMade = 0;
  const int64_t room = static_cast<int64_t>(TPendingCad::MostItems) + 1;
  int64_t made = 0;
  bool inDefinition = false;
  std::vector<uint8_t> record;
  TGcaddHeld held(found->second.Bytes);
  // As Parse reads the records: a point, a line or a circle with its points
  // is made (or its missing number refuses the file); a placement of a
  // component defined now reads its records (or refuses the file).
  while (made < room && held.Next(record) == TGcaddRecords::nRecord) {
    const uint8_t type = record[2];
    const std::size_t count = Word(record.data() + 8);
    if (inDefinition) {
      inDefinition = type != 31;
    } else if ((type == 1 && count >= 1) || ((type == 2 || type == 10) && count >= 2)) {
      ++made;
    } else if (type == 30 && count >= 3) {
      inDefinition = true;
    } else if (type == 32 && count >= 5) {
      const std::string placed = Name(record.data() + 4 * kUnit);
      if (!placed.empty()) made += SurelyMade(placed, depth + 1);
    }
  }
  made = std::min(made, room);
  Components_.find(name)->second.SurelyMade = made;
  return made;
}

void TGcaddReader::Poll() {
  if (!CancelBox.TimeToLook(++Read_)) return;
  ProcessMessages();
  // The status box shows how far through the file the reading is.
  const int32_t percent =
      File_ != nullptr && FileBytes_ > 0
          ? static_cast<int32_t>(std::min<int64_t>(100, static_cast<int64_t>(File_->Position) * 100 / FileBytes_))
          : 0;
  if (CancelBox.Cancelled(percent)) Cancelled = true;
}

void TGcaddReader::Parse(TGcaddRecords& records, const TMatrix3& m) {
  std::string copying;
  bool passOver = false;  // inside a second definition of a name
  bool inDefinition = false;
  std::vector<uint8_t> record;
  while (!Failed && !Cancelled) {
    Idle();
    Poll();
    const TGcaddRecords::TNext next = records.Next(record);
    if (next == TGcaddRecords::nEnd) return;
    if (next == TGcaddRecords::nCut) {
      Fail("<" + FileName + "> ends inside a record: the file is cut short.");
      return;
    }
    const std::size_t pos = records.Position;
    const uint8_t* head = record.data();
    // A record of zero bytes only (the padding of a copy, an emptied disk)
    // is read as any record of no known type, and counted.
    if (std::all_of(record.begin(), record.end(), [](uint8_t b) { return b == 0; })) ++BlankRecords;
    const uint8_t type = head[2];
    const std::size_t count = Word(head + 8);
    const uint8_t* units = head + kUnit;  // unit k (1-based) at units + (k - 1) * 10
    const auto has = [count](std::size_t k) { return count >= k; };
    const auto point = [&](std::size_t k, TRealPoint& p) {
      const float x = Real(units + (k - 1) * kUnit + 2), y = Real(units + (k - 1) * kUnit + 6);
      if (!std::isfinite(x) || !std::isfinite(y)) {
        Fail("A record of <" + FileName + "> at byte " + std::to_string(pos) + " holds no number.");
        return false;
      }
      TransformPoint(x, y, p.X, p.Y, m);
      return true;
    };
    if (inDefinition) {
      if (type == 31) {
        inDefinition = false;
      } else if (!passOver) {
        // Definitions are kept for their placements: up to the hold limit.
        Held_ += static_cast<int64_t>(record.size());
        if (Held_ > ImportHoldLimit()) {
          Fail(ImportTooLargeText(FileName));
          return;
        }
        TComponent& kept = Components_[copying];
        kept.Bytes.insert(kept.Bytes.end(), record.begin(), record.end());
        ++kept.Records;
      }
      continue;
    }
    TRealPoint a, b, c;
    switch (type) {
      case 1:
        if (has(1) && point(1, a)) {
          AddPoint(0, a.X, a.Y);
          Made();
        }
        break;
      case 2:
        if (has(2) && point(1, a) && point(2, b)) {
          AddLine(0, a.X, a.Y, b.X, b.Y);
          Made();
        }
        break;
      case 10:
        if (has(2) && point(1, a) && point(2, b)) {
          AddCircle(0, a.X, a.Y, Distance(a, b));
          Made();
        }
        break;
      case 11: {
        if (!has(3) || !point(1, a) || !point(2, b) || !point(3, c)) break;
        double cx = 0, cy = 0, r = -1;
        CircleThreePoints(a.X, a.Y, b.X, b.Y, c.X, c.Y, cx, cy, r);
        if (!(r > 0)) break;
        double bx = b.X - a.X, by = b.Y - a.Y;
        RotatePoint(bx, by, -DirectionAngle(a, c));
        if (by > 0) std::swap(a, c);
        const TRealPoint centre{cx, cy};
        AddArc(0, a.X, a.Y, c.X, c.Y, cx, cy, DirectionAngle(centre, a), DirectionAngle(centre, c));
        Made();
        break;
      }
      case 30:
        if (!has(3)) break;
        copying = Name(units + kUnit);
        Status("Component <" + copying + ">");
        // A name defined again keeps its first definition: the second is
        // passed over.
        passOver = Components_.count(copying) != 0;
        if (!passOver) Components_[copying];
        inDefinition = true;
        break;
      case 32: {
        if (!has(5)) break;
        const std::string name = Name(units + 3 * kUnit);
        if (name.empty()) break;
        const auto found = Components_.find(name);
        if (found == Components_.end()) {
          Status("ERROR: Component <" + name + "> not found!");
          break;
        }
        if (std::find(Placing_.begin(), Placing_.end(), name) != Placing_.end()) {
          Fail("Component <" + name + "> of <" + FileName + "> places itself.");
          return;
        }
        if (Placing_.size() >= static_cast<std::size_t>(ImportNestingLimit)) {
          Fail(NestedTooDeepText(FileName, kPlacements));
          return;
        }
        // A placement reads the component's records again: placements of
        // placements multiply, and a file of a few placements can ask for
        // billions of records. One read again costs its set-up too, of an
        // empty component as well.
        Repeated_ += found->second.Records + (Placing_.empty() ? 0 : ImportPlacementCost);
        if (Repeated_ > ImportRepeatLimit()) {
          Fail(RepeatsPastTheLimitText(FileName, kPlacements));
          return;
        }
        const float ix = Real(units + 2), iy = Real(units + 6);
        const float sx = Real(units + kUnit + 2), sy = Real(units + kUnit + 6);
        const float turn = Real(units + 2 * kUnit + 2);
        if (!std::isfinite(ix) || !std::isfinite(iy) || !std::isfinite(sx) || !std::isfinite(sy) ||
            !std::isfinite(turn)) {
          Fail("A placement of <" + name + "> in <" + FileName + "> holds no number.");
          return;
        }
        if (found->second.Records == 0) break;  // nothing to place
        // Entities past the drawing's room: refused before they are made.
        if (Made_ + SurelyMade(name, static_cast<int32_t>(Placing_.size())) >
            static_cast<int64_t>(TPendingCad::MostItems)) {
          Fail(RepeatsPastTheDrawingText(FileName, kPlacements));
          return;
        }
        // The component's own transform acts first, then the one in force.
        TMatrix3 placed = IdentityMatrix;
        ScaleMatrix({0, 0}, placed, sx, sy);
        RotateMatrix({0, 0}, placed, -turn);
        TranslateMatrix(placed, ix, iy);
        ConcatMatrix(m, placed);
        Placing_.push_back(name);
        // A definition is complete once placed: the copy is read in place.
        TGcaddHeld held(found->second.Bytes);
        Parse(held, placed);
        Placing_.pop_back();
        break;
      }
      default: break;
    }
  }
}

void ImportGcaddToCad(const std::string& fileName) {
  auto report = ImportHost().OpenReport(ImportCaption("GCADD-to-CAD ", "6.00", fileName), 50, 15);
  report->WriteLn("Reading GCADD file...");
  struct TImporter : TGcaddToCad {
    using TGcaddToCad::TGcaddToCad;
    TImportReport* Report = nullptr;
    uint32_t Calls = 0;  // wraps: only its low bits are looked at
    void Status(const std::string& text) override {
      Report->WriteLn(text);
      ProcessMessages();
    }
    void Idle() override {
      if ((++Calls & 63) == 0) ProcessMessages();
    }
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
  if (!importer.Pending.Commit()) return;
  if (importer.BlankRecords > 0) {
    const std::string text = BlankRecordsText(importer.BlankRecords, fileName);
    report->WriteLn(text);
    InformationBox(text);
  }
}
