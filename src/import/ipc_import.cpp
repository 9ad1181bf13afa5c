#include "import/ipc_import.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "foundation/file_utils.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "import/import_host.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

// A coordinate pair of a given field width (7 or 10) at a 1-based column;
// absent when its letters do not stand there or the record ends before it.
bool Pair(const std::string& record, int column, int width, double& x, double& y) {
  const std::size_t at = static_cast<std::size_t>(column - 1);
  const std::size_t w = static_cast<std::size_t>(width);
  if (record.size() < at + 2 * w || record[at] != 'X' || record[at + w] != 'Y') return false;
  auto number = [](std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return static_cast<double>(StrToIntLenient(text));
  };
  x = number(record.substr(at + 1, w - 1));
  y = number(record.substr(at + w + 1, w - 1));
  return true;
}

std::string Text(const std::string& record) {
  std::string text = record.size() > 3 ? record.substr(3, 68) : std::string();
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

// ---- Records --------------------------------------------------------------------------------

TIpcRecords::TIpcRecords(const std::string& fileName) {
  if (!FileExistsNoWild(fileName)) return;
  File_ = std::fopen(NativePath(fileName).c_str(), "rb");
  if (File_ == nullptr) return;
  // Card images without line ends are one long first line: only as much of
  // it is read as decides the mode.
  std::string first;
  ReadTextLineLimited(File_, first, 82);
  LineMode = first.size() < 82;
  std::rewind(File_);
}

TIpcRecords::~TIpcRecords() {
  if (File_ != nullptr) std::fclose(File_);
}

bool TIpcRecords::Next(std::string& record) {
  if (File_ == nullptr) return false;
  if (LineMode) {
    const TLineRead got = ReadTextLineLimited(File_, record);
    if (got != lrLine) {
      // A line longer than any record is no record: the file is not read on.
      if (got == lrTooLong) {
        Cut = true;
        CutText = "Line " + std::to_string(Lines + 1) +
                  " is longer than any record: the reading stopped there.";
      } else if (std::ferror(File_)) {
        Cut = true;
        CutText = "The file could not be read past line " + std::to_string(Lines) + ".";
      }
      return false;
    }
    ++Lines;
    if (record.size() > 255) record.resize(255);
    return true;
  }
  char buffer[80];
  const std::size_t got = std::fread(buffer, 1, 80, File_);
  if (got == 0) {
    if (std::ferror(File_)) {
      Cut = true;
      CutText = "The file could not be read past record " + std::to_string(Lines) + ".";
    }
    return false;
  }
  if (got < 80) {
    // Line ends after the last record are no record of their own.
    std::string rest(buffer, got);
    if (rest.find_first_not_of("\r\n\x1A") != std::string::npos) {
      Cut = true;
      CutText = "The last " + std::to_string(got) +
                " characters hold no whole record and were not read.";
    }
    return false;
  }
  ++Lines;
  record.assign(buffer, 80);
  return true;
}

// ---- Reader ---------------------------------------------------------------------------------

void TIpcReader::ArcRule(double cx, double cy, double angleX, double angleY, double radius,
                         double direction) {
  double a1 = (direction > 0 ? angleY : angleX) * 0.0001;
  double a2 = (direction > 0 ? angleX : angleY) * 0.0001;
  const auto reduce = [](double a) {
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
  };
  a1 = reduce(a1);
  a2 = reduce(a2);
  const double x = cx * Scale, y = cy * Scale, r = radius * Scale;
  ProfileFound = true;
  if (a1 == a2) {
    AddCircle(0, x, y, r);
    return;
  }
  AddArc(0, x + r * CosDeg(a1), y + r * SinDeg(a1), x + r * CosDeg(a2), y + r * SinDeg(a2), x, y,
         a1, a2);
}

void TIpcReader::Dispatch(TIpcRecords& in, std::string record) {
  while (!EndSeen) {
    const std::string code = record.substr(0, 3);
    std::string next;
    bool haveNext = false;
    if (!record.empty() && record[0] == 'P') {
      const std::string text = Text(record);
      if (!text.empty()) ParameterRecord(text);
    } else if (!record.empty() && record[0] == 'C') {
      CommentRecord(Text(record));
    } else if (code == "999") {
      EndSeen = true;
      return;
    } else if (code == "171" || code == "172") {
      const int width = code == "171" ? 7 : 10;
      const int columns[3] = {31, width == 7 ? 45 : 51, 59};
      const int pairs = width == 7 ? 3 : 2;
      double px = 0, py = 0, x = 0, y = 0;
      bool started = false;
      if (Pair(record, columns[0], width, px, py) && Pair(record, columns[1], width, x, y)) {
        AddLine(0, px * Scale, py * Scale, x * Scale, y * Scale);
        px = x;
        py = y;
        started = true;
        for (int k = 2; k < pairs; ++k)
          if (Pair(record, columns[k], width, x, y)) {
            AddLine(0, px * Scale, py * Scale, x * Scale, y * Scale);
            px = x;
            py = y;
          }
      }
      ProfileFound = ProfileFound || started;
      while (in.Next(next)) {
        if (next.size() < 2 || next[1] != '0') {
          haveNext = true;
          break;
        }
        for (int k = 0; k < pairs && started; ++k)
          if (Pair(next, columns[k], width, x, y)) {
            AddLine(0, px * Scale, py * Scale, x * Scale, y * Scale);
            px = x;
            py = y;
          }
      }
      if (!haveNext) return;
      record = next;
      continue;
    } else if (code == "181") {
      double cx, cy, ax, ay, r, d;
      if (Pair(record, 31, 7, cx, cy) && Pair(record, 45, 7, ax, ay) && Pair(record, 59, 7, r, d))
        ArcRule(cx, cy, ax, ay, r, d);
    } else if (code == "182") {
      double cx, cy, ax, ay, r, d;
      const bool head = Pair(record, 31, 10, cx, cy) && Pair(record, 51, 10, ax, ay);
      if (!in.Next(next)) return;
      if (next.size() >= 2 && next[1] == '0' && Pair(next, 31, 10, r, d)) {
        if (head) ArcRule(cx, cy, ax, ay, r, d);
      } else {
        record = next;
        continue;
      }
    }
    if (!in.Next(record)) return;
  }
}

void TIpcReader::Read() {
  TIpcRecords in(FileName);
  if (!in.Opened()) {
    Failed = true;
    ErrorText = "<" + FileName + "> cannot be read.";
    return;
  }
  std::string record;
  if (in.Next(record)) Dispatch(in, record);
  // Without its end record the file is read to its end; a record cut in
  // two or unreadable data ends the reading there, and what was read before
  // it stays.
  if (in.Cut) CutText = in.CutText;
}

// ---- Detection and entry --------------------------------------------------------------------

double DetectIpcFile(const std::string& fileName) {
  TIpcRecords in(fileName);
  std::string record;
  if (!in.Opened() || !in.Next(record) || record.size() < 80 || record.rfind("P  JOB", 0) != 0)
    return 0.0;
  for (int n = 0; n < 20; ++n) {
    if (!in.Next(record) || record.size() != 80) return 0.0;
    const bool digits = std::isdigit(static_cast<unsigned char>(record[0])) &&
                        std::isdigit(static_cast<unsigned char>(record[1])) &&
                        std::isdigit(static_cast<unsigned char>(record[2]));
    if (record.rfind("C  ", 0) != 0 && record.rfind("P  ", 0) != 0 && !digits) return 0.0;
  }
  return 0.9;
}

void ImportIpcFile(const std::string& fileName) {
  auto report = ImportHost().OpenReport("IPC-to-CAD 6.00 <" + UpperCaseStr(fileName) + ">", 50, 15);
  report->WriteLn("Reading IPC file...");
  struct TImporter : TIpcToCad {
    using TIpcToCad::TIpcToCad;
    TImportReport* Report = nullptr;
    void ParameterRecord(const std::string& text) override {
      Report->WriteLn(text);
      ProcessMessages();
    }
  } importer(fileName, 2540.0);
  importer.Report = report.get();
  importer.Read();
  if (importer.Failed || importer.OutOfRange > 0) {
    const std::string text = importer.Failed ? importer.ErrorText : BeyondTheJobText(fileName);
    report->WriteLn(text);
    NothingImported(text);
    return;
  }
  if (!importer.CutText.empty()) report->WriteLn(importer.CutText);
  else if (!importer.EndSeen) report->WriteLn("The file ends without its end record (999).");
  const std::string noProfile = "This IPC-D-350 file did not contain\nany board profile information.";
  if (importer.Pending.Count() == 0) {
    const std::string text = "<" + fileName + "> draws nothing.";
    report->WriteLn(text);
    NothingImported(importer.ProfileFound ? text : text + "\r\n" + noProfile);
    return;
  }
  if (!importer.ProfileFound) InformationBox(noProfile);
  importer.Pending.Commit();
}
