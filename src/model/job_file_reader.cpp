#include "model/job_file_reader.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

enum TSectionState : uint8_t { ssNone, ssHeader, ssTools, ssSteps, ssEntities };

// An optional sign and at least one digit, nothing else.
bool IsNumberText(const std::string& text) {
  std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i >= text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

std::string Num(int32_t v) { return IntToShortStr(v); }

// True when the number a value line holds (as read leniently, exponent
// included) is a 32-bit integer; text that is no number counts as 0.
bool FitsInt32(const std::string& work) {
  const double v = StrToRealLenient(work);
  return v >= -2147483648.0 && v <= 2147483647.0;
}

}  // namespace

// ---- TJobFileReader ----------------------------------------------------------------------

TJobFileReader::TJobFileReader(const std::string& fileName) : FileName_(fileName) {
  Opened_ = FileExistsNoWild(fileName);
}

void TJobFileReader::Yield() { ProcessMessages(); }

void TJobFileReader::Tick() {
  if (++TickCounter_ > 100) {
    TickCounter_ = 0;
    Yield();
  }
}

void TJobFileReader::FailAt(int32_t line, const std::string& text) {
  if (Failed_) return;
  Failed_ = true;
  ReportError("The job file " + FileName_ + " cannot be read.\r\nLine " + Num(line) + ": " + text +
              "\r\nThe job was left as it was.");
}

bool TJobFileReader::Run() {
  if (!Opened_) {
    ReportError("File does not exist!");
    return false;
  }
  errno = 0;
  File_ = std::fopen(NativePath(FileName_).c_str(), "rb");
  if (File_ == nullptr) {
    const int e = errno != 0 ? errno : EIO;
    Failed_ = true;
    ReportError(SystemErrorText(e) + "\r\nwhile reading " + FileName_);
    return false;
  }
  LineCounter_ = 0;
  DosEndSeen_ = false;
  InOutRes = 0;
  Parse();
  std::fclose(File_);
  File_ = nullptr;
  return !Failed_;
}

bool TJobFileReader::ReadLine(std::string& raw, std::string& work) {
  if (Failed_) return false;
  const TLineRead read = ReadTextLineLimited(File_, raw);
  if (const int e = IOResult()) {
    Failed_ = true;
    ReportError(SystemErrorText(e) + "\r\nwhile reading " + FileName_);
    return false;
  }
  if (read == lrEnd || DosEndSeen_) return false;
  ++LineCounter_;
  // A DOS end-of-file mark (Ctrl-Z) ends the text.
  if (const std::size_t mark = raw.find('\x1a'); mark != std::string::npos) {
    raw.erase(mark);
    DosEndSeen_ = true;
  }
  if (read == lrTooLong) {
    FailAt(LineCounter_, "the line is longer than " + Num(int32_t(kMaxTextLine)) + " characters.");
    return false;
  }
  if (raw.size() > kShortStringMax) raw.resize(kShortStringMax);
  Tick();
  work = UpperCaseStr(RemoveBlanks(raw));
  return true;
}

bool TJobFileReader::ReadCodeLine(std::string& raw, std::string& work) {
  // Editors and transfers leave blank lines between records; a value line
  // is read as it stands.
  while (ReadLine(raw, work))
    if (!work.empty()) return true;
  return false;
}

bool TJobFileReader::NextRecord(std::string& name, int32_t& nameLine, TJobFields& f) {
  std::string raw, work;
  if (!PendingStart_) {
    if (!ReadCodeLine(raw, work)) return false;
    if (work != "0") {
      FailAt(LineCounter_, "a record (\"0\") was expected, not \"" + raw + "\".");
      return false;
    }
  }
  PendingStart_ = false;
  if (!ReadLine(raw, work)) {
    FailAt(LineCounter_, "the file ends where a record name was expected.");
    return false;
  }
  name = work;
  nameLine = LineCounter_;
  f = TJobFields{};
  for (;;) {
    if (!ReadCodeLine(raw, work)) {
      if (Failed_) return false;
      break;
    }
    if (work == "0") {
      PendingStart_ = true;
      break;
    }
    if (!IsNumberText(work)) {
      FailAt(LineCounter_, "a group code was expected, not \"" + raw + "\".");
      return false;
    }
    const int32_t code = StrToIntLenient(work);
    const int32_t codeLine = LineCounter_;
    std::string value;
    if (!ReadLine(value, work)) {
      FailAt(codeLine, "the file ends where the value of group " + Num(code) + " was expected.");
      return false;
    }
    const bool numeric = code != 3 && code != 8 && code != 999;
    if (numeric && !FitsInt32(work)) {
      FailAt(LineCounter_, "the value " + value + " of group " + Num(code) +
                               " lies outside -2147483648 to 2147483647.");
      return false;
    }
    const int32_t v = StrToIntLenient(work);
    switch (code) {
      case 3: f.Text = value; break;
      case 8:
        f.LayerText = work;
        f.Layer = v;
        f.HasLayer = true;
        break;
      case 10: f.X = v; break;
      case 20: f.Y = v; break;
      case 11: f.X2 = v; break;
      case 21: f.Y2 = v; break;
      case 12: f.X3 = v; break;
      case 22: f.Y3 = v; break;
      case 40: f.Radius = v; break;
      case 42: f.Flag42 = v; break;
      case 43: f.Side = v; break;
      case 44: f.Vertical = v; break;
      case 45: f.HoldOff = v; break;
      case 50: f.Tool = v; break;
      case 51: f.Index = v; break;
      case 52: f.StepId = v; break;
      case 53: f.NestedId = v; break;
      case 60: case 61: case 62: case 63: case 64: case 65: case 66: f.G[code - 60] = v; break;
      case 70:
        f.Count = v;
        f.HasCount = true;
        break;
      case 71: f.Orientation = v; break;
      default: break;  // a group this reader does not know
    }
  }
  return true;
}

void TJobFileReader::Parse() {
  std::string name;
  int32_t line = 0;
  TJobFields f;
  if (!NextRecord(name, line, f)) {
    if (!Failed_) FailAt(1, "the file is empty.");
    return;
  }
  if (name != "HEADER") {
    FailAt(line, "this is not a job database file (no HEADER record).");
    return;
  }
  uint8_t section = ssHeader;
  bool inList = false;
  bool ended = false;
  while (!ended && NextRecord(name, line, f)) {
    RecordLine_ = line;
    if (name == "EOF" || name == "ENDSEC") {
      if (inList) {
        Fail("a step list ends without M08 and ENDSTEPLIST.");
        return;
      }
      if (name == "EOF") ended = true;
      section = ssNone;
      continue;
    }
    if (section == ssNone) {
      if (name == "TOOLSECTION")
        section = ssTools;
      else if (name == "STEPSECTION")
        section = ssSteps;
      else if (name == "ENTITIES")
        section = ssEntities;
      else {
        Fail("a section name was expected, not \"" + name + "\".");
        return;
      }
      continue;
    }
    Dispatch(section, name, f, inList);
    if (Failed_) return;
  }
  if (Failed_) return;
  if (!ended) {
    FailAt(LineCounter_, "the file ends before its EOF record: it is incomplete.");
    return;
  }
  ResolveSteps();
}

void TJobFileReader::Dispatch(uint8_t section, const std::string& name, const TJobFields& f,
                              bool& inList) {
  switch (section) {
    case ssTools:
      if (name == "TOOL") {
        const char kind = f.HasLayer ? FirstChar(f.LayerText) : 'D';
        if (kind == 'R')
          SetRoutTool(f);
        else if (kind == 'D')
          SetDrillTool(f);
        else
          Fail("the tool kind \"" + f.LayerText + "\" is neither D nor R.");
      } else if (name == "COMPINDEX") {
        SetCompIndex(f);
      }
      return;
    case ssSteps:
      if (name == "STEPLIST") {
        // A second STEPLIST inside an open list only repeats the opening.
        if (!inList) BeginStepList();
        inList = true;
      } else if (name == "M01" || name == "M02" || name == "M08") {
        if (!inList) {
          Fail("the step record " + name + " stands outside a step list.");
          return;
        }
        if (name == "M01")
          AddStepMark(f);
        else if (name == "M02")
          AddStep(f);
        else
          EndStepList(f);
      } else if (name == "ENDSTEPLIST") {
        inList = false;
      }
      return;
    case ssEntities:
      if (name == "POINT") AddPoint(f);
      else if (name == "LINE") AddLine(f);
      else if (name == "ARC") AddArc(f);
      else if (name == "CIRCLE") AddCircle(f);
      else if (name == "DRILLHOLE") AddDrillHole(f);
      else if (name == "DRILLSLOT") AddDrillSlot(f);
      else if (name == "DRILLCIRCLE") AddDrillCircle(f);
      else if (name == "DRILLTEXT") AddDrillText(f);
      else if (name == "ROUTHOLE") AddRoutHole(f);
      else if (name == "ROUTCIRCLE") AddRoutCircle(f);
      else if (name == "ROUTJOG") AddRoutJog(f);
      else if (name == "ROUTLINE") AddRoutLine(f);
      else if (name == "ROUTARC") AddRoutArc(f);
      else if (name == "ROUTCOMMAND") AddRoutCommand(f);
      else if (name == "ROUTG93") SetRoutG93(f);
      else if (name == "DRILLG93") SetDrillG93(f);
      return;
    default:
      return;  // the header's fields
  }
}

// ---- TJobFileLoader: checks ------------------------------------------------------------------

void TJobFileLoader::ReportError(const std::string& text) { ErrorBox(text); }

bool TJobFileLoader::CheckTool(int32_t tool, const char* what) {
  if (ValidToolNumber(tool)) return true;
  Fail(std::string(what) + " number " + Num(tool) + " lies outside 1 to 1000.");
  return false;
}

namespace {
// The layer index of group 8: a number, or for tool records a letter and
// a number.
bool LayerIndex(const TJobFields& f, bool letter, int32_t& index) {
  std::string text = f.LayerText;
  if (letter && !text.empty() && text[0] >= 'A' && text[0] <= 'Z') text.erase(0, 1);
  if (text.empty()) {
    index = 0;
    return true;
  }
  if (!IsNumberText(text)) return false;
  index = StrToIntLenient(text);
  return true;
}
}  // namespace

bool TJobFileLoader::CheckRoutLayer(const TJobFields& f, int32_t& layer) {
  int32_t index = 0;
  if (!LayerIndex(f, true, index) || index < 0 || index > 4) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the rout layers 0 to 4.");
    return false;
  }
  layer = kFirstRoutLayer + index;
  return true;
}

bool TJobFileLoader::CheckCount(int32_t count) {
  if (count >= 0 && count <= kMaxStepCopies) return true;
  Fail("the repeat count " + Num(count) + " lies outside 0 to " + Num(kMaxStepCopies) + ".");
  return false;
}

// ---- TJobFileLoader: entities ------------------------------------------------------------------

void TJobFileLoader::AddCad(uint8_t type, const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 29) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the CAD layers 0 to 29.");
    return;
  }
  TJobContents::TEntity e;
  e.Type = type;
  e.Layer = uint8_t(index);
  e.X = f.X, e.Y = f.Y, e.X2 = f.X2, e.Y2 = f.Y2, e.X3 = f.X3, e.Y3 = f.Y3;
  e.Radius = f.Radius;
  Contents.Entities.push_back(e);
}

void TJobFileLoader::AddDrill(uint8_t type, const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 9) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the drill layers 0 to 9.");
    return;
  }
  if (!CheckTool(f.Tool, "the tool")) return;
  TJobContents::TEntity e;
  e.Type = type;
  e.Layer = uint8_t(30 + index);
  e.X = f.X, e.Y = f.Y, e.X2 = f.X2, e.Y2 = f.Y2;
  e.Radius = f.Radius;
  e.Tool = f.Tool;
  e.StepId = f.StepId;
  e.Flag = f.Vertical != 0 ? 1 : 0;
  if (type == etDrillText) {
    e.Text = int32_t(Contents.Texts.size());
    Contents.Texts.push_back(f.Text);
  }
  Contents.Entities.push_back(e);
}

void TJobFileLoader::AddRout(uint8_t type, const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 4) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the rout layers 0 to 4.");
    return;
  }
  const bool hasTool = type == etRoutJog || type == etRoutCircle || type == etRoutHole;
  if (hasTool && !CheckTool(f.Tool, "the tool")) return;
  if ((type == etRoutJog || type == etRoutCircle) && (f.Index < 0 || f.Index > kToolCount)) {
    Fail("the compensation index " + Num(f.Index) + " lies outside 0 to 1000.");
    return;
  }
  if (type == etRoutJog && (f.Side < 0 || f.Side > 2)) {
    Fail("the compensation side " + Num(f.Side) + " is not 0, 1 or 2.");
    return;
  }
  const int32_t feed = f.G[1];
  if (feed < 0 || feed > 65535) {
    Fail("the feed rate " + Num(feed) + " lies outside 0 to 65535.");
    return;
  }
  if (f.HoldOff < 0 || f.HoldOff > 255) {
    Fail("the hold-off " + Num(f.HoldOff) + " lies outside 0 to 255.");
    return;
  }
  TJobContents::TEntity e;
  e.Type = type;
  e.Layer = uint8_t(kFirstRoutLayer + index);
  e.X = f.X, e.Y = f.Y, e.X2 = f.X2, e.Y2 = f.Y2;
  e.Radius = f.Radius;
  e.Tool = f.Tool;
  e.Index = f.Index;
  e.Side = uint8_t(f.Side);
  e.Flag = f.Flag42 != 0 ? 1 : 0;
  e.StepId = f.StepId;
  e.Feed = feed;
  e.ZOffset = f.G[3];
  e.HoldOff = f.HoldOff;
  if (type == etRoutCommand) {
    e.Text = int32_t(Contents.Texts.size());
    Contents.Texts.push_back(f.Text);
  }
  Contents.Entities.push_back(e);
}

// ---- TJobFileLoader: tools and origins -----------------------------------------------------

void TJobFileLoader::SetDrillTool(const TJobFields& f) {
  if (!CheckTool(f.Tool, "the drill tool")) return;
  Contents.DrillTools.push_back(
      {f.Tool, f.G[0], f.G[1], f.G[2], f.G[3], f.G[4], uint8_t(f.G[5] != 0 ? 1 : 0)});
}

void TJobFileLoader::SetRoutTool(const TJobFields& f) {
  int32_t layer = 0;
  if (!CheckRoutLayer(f, layer) || !CheckTool(f.Tool, "the rout tool")) return;
  if (f.G[1] < 0 || f.G[1] > 65535 || f.G[6] < 0 || f.G[6] > 65535) {
    Fail("a feed rate of rout tool " + Num(f.Tool) + " lies outside 0 to 65535.");
    return;
  }
  Contents.RoutTools.push_back({layer, f.Tool, f.G[0], f.G[1], f.G[6], f.G[3]});
}

void TJobFileLoader::SetCompIndex(const TJobFields& f) {
  int32_t layer = 0;
  if (!CheckRoutLayer(f, layer) || !CheckTool(f.Index, "the rout tool")) return;
  Contents.CompIndices.push_back({layer, f.Index, f.G[3]});
}

void TJobFileLoader::SetDrillG93(const TJobFields& f) {
  Contents.HasDrillG93 = true;
  Contents.DrillG93X = f.X;
  Contents.DrillG93Y = f.Y;
}

void TJobFileLoader::SetRoutG93(const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 4) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the rout layers 0 to 4.");
    return;
  }
  Contents.RoutG93s.push_back({kFirstRoutLayer + index, f.X, f.Y});
}

// ---- TJobFileLoader: step lists -----------------------------------------------------------

void TJobFileLoader::BeginStepList() { List_.clear(); }

void TJobFileLoader::AddStepMark(const TJobFields& f) {
  const int32_t count = f.HasCount ? f.Count : 1;
  if (!CheckCount(count)) return;
  List_.push_back({1, count, 0, 0, 0});
}

void TJobFileLoader::AddStep(const TJobFields& f) {
  const int32_t count = f.HasCount ? f.Count : 1;
  if (!CheckCount(count)) return;
  if (f.Orientation < 0 || f.Orientation > 7) {
    Fail("the orientation " + Num(f.Orientation) + " lies outside 0 to 7.");
    return;
  }
  List_.push_back({0, count, f.X, f.Y, uint8_t(f.Orientation)});
}

void TJobFileLoader::EndStepList(const TJobFields& f) {
  TJobContents::TStepList list;
  list.Id = f.StepId > 0 ? f.StepId
                         : (Contents.StepLists.empty() ? 1 : Contents.StepLists.back().Id + 1);
  list.NestedId = f.NestedId > 0 ? f.NestedId : 0;
  list.Line = RecordLine();
  for (const TJobContents::TStepList& other : Contents.StepLists)
    if (other.Id == list.Id) {
      Fail("step list " + Num(list.Id) + " is defined twice.");
      return;
    }
  list.Commands = std::move(List_);
  List_.clear();
  Contents.StepLists.push_back(std::move(list));
}

void TJobFileLoader::ResolveSteps() {
  std::unordered_map<int32_t, const TJobContents::TStepList*> byId;
  for (const TJobContents::TStepList& l : Contents.StepLists) byId[l.Id] = &l;
  for (const TJobContents::TStepList& l : Contents.StepLists) {
    int32_t levels = 1;
    for (const TJobContents::TStepList* s = &l; s->NestedId > 0;) {
      auto it = byId.find(s->NestedId);
      if (it == byId.end()) break;  // names no list: nothing is nested
      s = it->second;
      if (s == &l) {
        FailAt(l.Line, "step list " + Num(l.Id) + " nests itself.");
        return;
      }
      if (++levels > 3) {
        FailAt(l.Line, "step list " + Num(l.Id) + " nests more than three levels deep.");
        return;
      }
    }
  }
  // Every chain must expand as the job will expand it: at most
  // kMaxStepCopies copies, every offset inside the coordinate range.
  for (const TJobContents::TStepList& l : Contents.StepLists) {
    TStepCommandList chain = l.Commands;
    for (const TJobContents::TStepList* s = &l; s->NestedId > 0;) {
      auto it = byId.find(s->NestedId);
      if (it == byId.end()) break;
      s = it->second;
      chain.insert(chain.end(), s->Commands.begin(), s->Commands.end());
    }
    TStepCommandList offsets;
    int32_t position = 0;
    if (!ExpandStepList(false, chain, offsets, position)) {
      FailAt(l.Line, "step list " + Num(l.Id) + " cannot be expanded: it makes more than " +
                         Num(kMaxStepCopies) + " copies or moves outside the coordinate range.");
      return;
    }
  }
}

// ---- Reading and loading -------------------------------------------------------------------

bool ReadJobFile(const std::string& fileName, TJobContents& contents) {
  TJobFileLoader loader(fileName);
  if (!loader.Run()) return false;
  contents = std::move(loader.Contents);
  return true;
}

namespace {

// The chain depth of each step list (1 when nothing is nested).
int32_t ChainDepth(const TJobContents::TStepList& list,
                   const std::unordered_map<int32_t, const TJobContents::TStepList*>& byId) {
  int32_t depth = 1;
  const TJobContents::TStepList* s = &list;
  while (s->NestedId > 0 && depth <= 3) {
    auto it = byId.find(s->NestedId);
    if (it == byId.end()) break;
    s = it->second;
    ++depth;
  }
  return depth;
}

// CurrentLayer for the guard's lifetime (the rout command add works on it).
class TCurrentLayerGuard {
 public:
  explicit TCurrentLayerGuard(uint8_t layer) : Saved_(CurrentLayer) { CurrentLayer = layer; }
  ~TCurrentLayerGuard() { CurrentLayer = Saved_; }
  TCurrentLayerGuard(const TCurrentLayerGuard&) = delete;
  TCurrentLayerGuard& operator=(const TCurrentLayerGuard&) = delete;

 private:
  uint8_t Saved_;
};

}  // namespace

void CommitJobContents(const TJobContents& c) {
  for (const auto& t : c.DrillTools)
    ToolTable[t.Tool] = {t.Diameter, t.Feed, t.Speed, t.ZOffset, t.MaxHits, t.FirstLastHit};
  for (const auto& t : c.RoutTools) {
    TRoutToolRecord& r = RoutToolPages[t.Layer][t.Tool];
    r.Diameter = t.Diameter;
    r.HighFeed = uint16_t(t.HighFeed);
    r.LowFeed = uint16_t(t.LowFeed);
    r.ZOffset = t.ZOffset;
  }
  for (const auto& t : c.CompIndices) RoutToolPages[t.Layer][t.Tool].CompDiameter = t.Value;
  if (c.HasDrillG93 && DRDB != nullptr) {
    DRDB->G93OriginX = c.DrillG93X;
    DRDB->G93OriginY = c.DrillG93Y;
  }
  if (RTDB != nullptr)
    for (const auto& g : c.RoutG93s) RTDB->G93Origins[g.Layer] = {g.X, g.Y};

  // Step objects: each held by this routine until the entities took theirs;
  // the outer levels are set innermost first so that every chain expands
  // over finished levels.
  std::unordered_map<int32_t, const TJobContents::TStepList*> lists;
  for (const auto& l : c.StepLists) lists[l.Id] = &l;
  std::unordered_map<int32_t, TStepObject*> objects;
  std::vector<std::pair<int32_t, const TJobContents::TStepList*>> byDepth;
  for (const auto& l : c.StepLists) {
    auto* object = new TStepObject(l.Commands);
    object->AddRef();
    objects[l.Id] = object;
    byDepth.push_back({ChainDepth(l, lists), &l});
  }
  std::stable_sort(byDepth.begin(), byDepth.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [depth, l] : byDepth) {
    if (depth < 2) continue;
    objects[l->Id]->SetNested(objects.at(l->NestedId));
  }
  auto stepOf = [&](int32_t id) -> TStepObject* {
    if (id <= 0) return nullptr;
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : it->second;
  };

  if (Seq != nullptr)
    for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) Seq->SetInsertAtEnd(l);

  for (const TJobContents::TEntity& e : c.Entities) {
    const TIntPoint p{e.X, e.Y};
    const std::string& text = e.Text >= 0 ? c.Texts[std::size_t(e.Text)] : std::string();
    if (e.Type <= etCadCircle) {
      if (DB == nullptr) continue;
      DisplayedLayerMask |= CadLayerBit(e.Layer);
      switch (e.Type) {
        case etCadPoint: DB->AddPointOnLayer(e.X, e.Y, e.Layer); break;
        case etCadLine: DB->AddLineOnLayer(e.X, e.Y, e.X2, e.Y2, e.Layer); break;
        case etCadArc: DB->AddArcOnLayer(p, {e.X2, e.Y2}, {e.X3, e.Y3}, e.Layer); break;
        default: DB->AddCircleOnLayer(e.X, e.Y, e.Radius, e.Layer); break;
      }
    } else if (e.Type >= etDrillHole) {
      if (DRDB == nullptr) continue;
      int32_t n = 0;
      switch (e.Type) {
        case etDrillHole: n = DRDB->AddHoleOnLayer(e.X, e.Y, e.Layer, e.Tool, true); break;
        case etDrillSlot:
          n = DRDB->AddSlotOnLayer(e.X, e.Y, e.X2, e.Y2, e.Layer, e.Tool, true);
          break;
        case etDrillCircle:
          n = DRDB->AddCircleOnLayer(e.X, e.Y, e.Radius, e.Layer, e.Tool, true);
          break;
        default: n = DRDB->AddTextOnLayer(e.X, e.Y, text, e.Flag != 0, e.Layer, e.Tool, true); break;
      }
      if (TStepObject* step = stepOf(e.StepId))
        if (TDrillEntity* entity = DRDB->EntityAt(n)) entity->SetStepObj(step);
    } else {
      if (RTDB == nullptr) continue;
      const uint16_t feed = uint16_t(e.Feed);
      int32_t h = 0;
      switch (e.Type) {
        case etRoutJog: h = RTDB->AddJog(p, e.Layer, e.Side, e.Tool, e.Index); break;
        case etRoutLine: h = RTDB->AddLine(p, e.Layer, feed, e.ZOffset); break;
        case etRoutArc:
        case etRoutArcReverse:
          h = RTDB->AddArc(p, e.Layer, feed, e.Type == etRoutArcReverse, {e.X2, e.Y2}, e.ZOffset);
          break;
        case etRoutCircle:
          h = RTDB->AddCircle(p, e.Layer, e.Tool, feed, e.Index, e.Radius, e.Flag != 0,
                              e.ZOffset);
          break;
        case etRoutHole: h = RTDB->AddHole(p, e.Layer, e.Tool); break;
        default: {
          TCurrentLayerGuard layer(e.Layer);
          h = RTDB->AddCommand(p, text, uint8_t(e.HoldOff));
          break;
        }
      }
      const bool carrier = e.Type == etRoutJog || e.Type == etRoutCircle ||
                           e.Type == etRoutHole || e.Type == etRoutCommand;
      if (TStepObject* step = carrier ? stepOf(e.StepId) : nullptr)
        if (TRoutEntity* entity = RTDB->EntityAt(h)) entity->SetStepObj(step);
    }
  }

  // Lists no entity uses are freed here.
  for (auto& [id, object] : objects) ReleaseStepObject(object);
}

bool LoadJobFile(const std::string& fileName) {
  TJobContents contents;
  if (!ReadJobFile(fileName, contents)) return false;
  CommitJobContents(contents);
  return true;
}
