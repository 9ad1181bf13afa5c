#include "import/esi_import.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

int32_t EsiToDatabase(double microns) { return SaturatingRound(microns * 1000.0); }

// ---- Reader ---------------------------------------------------------------------------------

void TEsiReader::Fail(const std::string& text) {
  if (Failed) return;
  Failed = true;
  ErrorText = text;
}

bool TEsiReader::Read() {
  std::FILE* f = FileExistsNoWild(FileName) ? std::fopen(NativePath(FileName).c_str(), "rb") : nullptr;
  if (f == nullptr) {
    Fail("Cannot open <" + FileName + ">: " + std::strerror(errno ? errno : ENOENT) + ".");
    return false;
  }
  std::string line;
  for (TLineRead got; !Failed && (got = ReadTextLineLimited(f, line)) != lrEnd;) {
    ++LineNumber;
    if (got == lrTooLong) {
      // No drill file has such a line: the rest is not read just to find its end.
      Fail("Line " + std::to_string(LineNumber) + " of <" + FileName + "> is longer than " +
           IntToStrGrouped(int32_t(kMaxTextLine)) + " characters.");
      break;
    }
    // The tape feed of a program that came off a punch or over a serial
    // link is passed over, and so are its lines of blank tape, as a tape
    // reader passes over them.
    DropTapeFeed(line);
    if (IsBlankTapeLine(line)) continue;
    if (line.size() > 255) line.resize(255);
    ParseLine(UpperCaseStr(line));
    if ((LineNumber & 1023) == 0) ProcessMessages();
  }
  if (!Failed && std::ferror(f)) Fail("Reading <" + FileName + "> failed.");
  std::fclose(f);
  return !Failed;
}

void TEsiReader::ParseLine(const std::string& text) {
  // A stop word (T, P, M) keeps the line from handing anything over, but
  // the coordinates on it still set the modal values.
  std::vector<std::string> words;
  for (std::size_t at = 0; at < text.size();) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    std::size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end;
  }
  bool coordinate = false, stop = false;
  for (std::size_t w = 0; w < words.size(); ++w) {
    const std::string& word = words[w];
    const std::string rest = word.substr(1);
    const std::string next = w + 1 < words.size() ? words[w + 1] : std::string();
    switch (word[0]) {
      case 'G': {
        const int32_t g = StrToIntLenient(rest);
        if (g >= 0 && g <= 3) Motion = static_cast<uint8_t>(g + 1);
        break;
      }
      case 'X': X = StrToRealLenient(rest); coordinate = true; break;
      case 'Y': Y = StrToRealLenient(rest); coordinate = true; break;
      case 'I': I = StrToRealLenient(rest); coordinate = true; break;
      case 'J': J = StrToRealLenient(rest); coordinate = true; break;
      case 'T': {
        const int32_t t = StrToIntLenient(rest);
        if (t == 0 && !next.empty()) Tool = StrToIntLenient(next);
        if (t == 1 && !next.empty()) {
          const int32_t n = StrToIntLenient(next);
          if (n == 1) Motion = 0;
          if (n == 6) Motion = 1;
        }
        if (t == 2 && !next.empty()) {
          // The size in microns, as a tool table's diameter holds it.
          const double size = StrToRealLenient(next);
          if (!(std::fabs(size) * 1000.0 <= 2147483647.0)) {
            Fail("Line " + std::to_string(LineNumber) + " of <" + FileName + ">: the tool size " + next +
                 " is out of range.");
            return;
          }
          Tools[Tool] = size;
        }
        if (t <= 2 && !next.empty()) ++w;
        stop = true;
        break;
      }
      case 'P':
      case 'M':
        stop = true;
        break;
      default:
        break;
    }
  }
  if (!coordinate || stop) return;
  // A position beyond what a job holds is never pinned to its edge.
  for (const double v : {X, Y, I, J})
    if (!(std::fabs(v) * 1000.0 <= 2147483647.0)) {
      Fail("Line " + std::to_string(LineNumber) + " of <" + FileName +
           "> lies beyond the largest coordinate a job holds (84.5466 in or 2147.48 mm).");
      return;
    }
  ++Elements;
  switch (Motion) {
    case 0: Hole(Tool, X, Y); break;
    case 1: MoveTo(X, Y); break;
    case 2: LineTo(X, Y); break;
    case 3: ArcTo(true, X, Y, I, J); break;
    default: ArcTo(false, X, Y, I, J); break;
  }
}

// ---- CAD side -------------------------------------------------------------------------------

namespace {

// The CAD layer the entities go to: the current one, or layer 0 while a
// drill or rout layer is current.
uint8_t EsiCadLayer() { return CurrentLayer <= 29 ? CurrentLayer : 0; }

}  // namespace

void TEsiToCadImporter::Hole(int32_t tool, double x, double y) {
  PenX = EsiToDatabase(x);
  PenY = EsiToDatabase(y);
  const auto size = Tools.find(tool);
  const int32_t diameter = size == Tools.end() ? 0 : EsiToDatabase(size->second);
  Pending.Circle(EsiCadLayer(), PenX, PenY, diameter / 2);
}

void TEsiToCadImporter::MoveTo(double x, double y) {
  PenX = EsiToDatabase(x);
  PenY = EsiToDatabase(y);
}

void TEsiToCadImporter::LineTo(double x, double y) {
  const int32_t nx = EsiToDatabase(x), ny = EsiToDatabase(y);
  Pending.Line(EsiCadLayer(), PenX, PenY, nx, ny);
  PenX = nx;
  PenY = ny;
}

void TEsiToCadImporter::ArcTo(bool clockwise, double x, double y, double i, double j) {
  const int32_t nx = EsiToDatabase(x), ny = EsiToDatabase(y);
  const int32_t cx = EsiToDatabase(i), cy = EsiToDatabase(j);
  if (clockwise) Pending.Arc(EsiCadLayer(), nx, ny, PenX, PenY, cx, cy);
  else Pending.Arc(EsiCadLayer(), PenX, PenY, nx, ny, cx, cy);
  PenX = nx;
  PenY = ny;
}

// ---- Drill side -----------------------------------------------------------------------------

void TEsiToDrillImporter::Hole(int32_t tool, double x, double y) {
  if (tool < 1 || tool > 1000) {
    Fail("Line " + std::to_string(LineNumber) + " drills with tool " + std::to_string(tool) +
         "; tools run from 1 to 1000.");
    return;
  }
  // Held back only while the drill layers have room for them.
  if (static_cast<int64_t>(Holes.size()) >= DrillRoomForImport()) {
    Fail("<" + FileName + "> drills " + NoRoomForHolesText() + ".");
    return;
  }
  Holes.push_back({EsiToDatabase(x), EsiToDatabase(y), tool});
}

void TEsiToDrillImporter::Commit() {
  for (const auto& [tool, size] : Tools)
    if (tool >= 1 && tool <= 1000) ToolTable[tool].Diameter = static_cast<int32_t>(std::lround(size * 1000.0));
  int32_t counter = 0;
  for (const THole& h : Holes) {
    if (DRDB != nullptr) DRDB->AddHoleOnLayer(h.X, h.Y, CurrentLayer, h.Tool, false);
    if (++counter > 500) {
      ProcessMessages();
      counter = 0;
    }
  }
  Holes.clear();
}

// ---- Entries --------------------------------------------------------------------------------

namespace {

// A file that reads but holds nothing a laser file programs is refused too.
bool ReadOrComplain(TEsiReader& reader) {
  if (reader.Read()) {
    if (reader.Elements > 0 || !reader.Tools.empty()) return true;
    reader.ErrorText = "<" + reader.FileName + "> holds no laser drill data.";
  }
  NothingImported(reader.ErrorText);
  return false;
}

}  // namespace

void ImportEsiToCad(const std::string& fileName) {
  TEsiToCadImporter importer(fileName);
  if (ReadOrComplain(importer)) importer.Pending.Commit();
}

void ImportEsiToDrill(const std::string& fileName) {
  TEsiToDrillImporter importer(fileName);
  if (ReadOrComplain(importer)) importer.Commit();
}

double DetectEsiForDrill(const std::string& fileName) { return DetectEsi(fileName); }
