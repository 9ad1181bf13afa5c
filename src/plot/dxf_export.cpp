#include "plot/dxf_export.h"

#include <cstring>

#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "plot/cad_export.h"

std::string FormatDxfReal(double value) { return RealToStr(value); }

namespace {

const char* const kComment = "KORVEX 6.12.5";

// The header variables and their groups, in file order.
struct THeaderVariable {
  const char* Name;
  const char* Groups;
};
const THeaderVariable kHeader[] = {
    {"$INSBASE", "10/0.0 20/0.0 30/0.0"},
    {"$EXTMIN", "10/-24.0 20/-24.0"},
    {"$EXTMAX", "10/24.0 20/24.0"},
    {"$LIMMIN", "10/-24.0 20/-24.0"},
    {"$LIMMAX", "10/24.0 20/24.0"},
    {"$ORTHOMODE", "70/0"},
    {"$REGENMODE", "70/1"},
    {"$FILLMODE", "70/1"},
    {"$QTEXTMODE", "70/0"},
    {"$MIRRTEXT", "70/1"},
    {"$DRAGMODE", "70/2"},
    {"$LTSCALE", "40/1.0"},
    {"$OSMODE", "70/0"},
    {"$ATTMODE", "70/1"},
    {"$TEXTSIZE", "40/0.2"},
    {"$TRACEWID", "40/0.05"},
    {"$TEXTSTYLE", "7/STANDARD"},
    {"$CLAYER", "8/0"},
    {"$CELTYPE", "6/BYLAYER"},
    {"$CECOLOR", "62/256"},
    {"$DIMSCALE", "40/1.0"},
    {"$DIMASZ", "40/0.18"},
    {"$DIMEXO", "40/0.0625"},
    {"$DIMDLI", "40/0.38"},
    {"$DIMRND", "40/0.0"},
    {"$DIMDLE", "40/0.0"},
    {"$DIMEXE", "40/0.18"},
    {"$DIMTP", "40/0.0"},
    {"$DIMTM", "40/0.0"},
    {"$DIMTXT", "40/0.18"},
    {"$DIMCEN", "40/0.09"},
    {"$DIMTSZ", "40/0.0"},
    {"$DIMTOL", "70/0"},
    {"$DIMLIM", "70/0"},
    {"$DIMTIH", "70/1"},
    {"$DIMTOH", "70/1"},
    {"$DIMSE1", "70/0"},
    {"$DIMSE2", "70/0"},
    {"$DIMTAD", "70/0"},
    {"$DIMZIN", "70/0"},
    {"$DIMBLK", "1/"},
    {"$DIMASO", "70/1"},
    {"$DIMSHO", "70/0"},
    {"$DIMPOST", "1/"},
    {"$DIMAPOST", "1/"},
    {"$DIMALT", "70/0"},
    {"$DIMALTD", "70/2"},
    {"$DIMALTF", "40/25.4"},
    {"$DIMLFAC", "40/1.0"},
    {"$DIMTOFL", "70/0"},
    {"$DIMTVP", "40/0.0"},
    {"$DIMTIX", "70/0"},
    {"$DIMSOXD", "70/0"},
    {"$DIMSAH", "70/0"},
    {"$DIMBLK1", "1/"},
    {"$DIMBLK2", "1/"},
    {"$LUNITS", "70/2"},
    {"$LUPREC", "70/4"},
    {"$AXISMODE", "70/0"},
    {"$AXISUNIT", "10/0.0 20/0.0"},
    {"$SKETCHINC", "40/0.1"},
    {"$FILLETRAD", "40/0.0"},
    {"$AUNITS", "70/0"},
    {"$AUPREC", "70/0"},
    {"$ELEVATION", "40/0.0"},
    {"$THICKNESS", "40/0.0"},
    {"$LIMCHECK", "70/0"},
    {"$BLIPMODE", "70/1"},
    {"$CHAMFERA", "40/0.0"},
    {"$CHAMFERB", "40/0.0"},
    {"$SKPOLY", "70/0"},
    {"$TDCREATE", "40/2448564.5991582177"},
    {"$TDUPDATE", "40/2448564.5991582177"},
    {"$TDINDWG", "40/0.0000000000"},
    {"$TDUSRTIMER", "40/0.0000000000"},
    {"$USRTIMER", "70/1"},
    {"$ANGBASE", "50/0.0"},
    {"$ANGDIR", "70/0"},
    {"$PDMODE", "70/0"},
    {"$PDSIZE", "40/0.0"},
    {"$PLINEWID", "40/0.0"},
    {"$COORDS", "70/0"},
    {"$SPLFRAME", "70/0"},
    {"$SPLINETYPE", "70/6"},
    {"$SPLINESEGS", "70/8"},
    {"$ATTDIA", "70/0"},
    {"$ATTREQ", "70/1"},
    {"$HANDLING", "70/0"},
    {"$HANDSEED", "5/0"},
    {"$SURFTAB1", "70/6"},
    {"$SURFTAB2", "70/6"},
    {"$SURFTYPE", "70/6"},
    {"$SURFU", "70/6"},
    {"$SURFV", "70/6"},
    {"$FLATLAND", "70/0"},
    {"$UCSNAME", "2/"},
    {"$UCSORG", "10/0.0 20/0.0 30/0.0"},
    {"$UCSXDIR", "10/1.0 20/0.0 30/0.0"},
    {"$UCSYDIR", "10/0.0 20/1.0 30/0.0"},
    {"$USERI1", "70/0"},
    {"$USERI2", "70/0"},
    {"$USERI3", "70/0"},
    {"$USERI4", "70/0"},
    {"$USERI5", "70/0"},
    {"$USERR1", "40/0.0"},
    {"$USERR2", "40/0.0"},
    {"$USERR3", "40/0.0"},
    {"$USERR4", "40/0.0"},
    {"$USERR5", "40/0.0"},
    {"$WORLDVIEW", "70/1"},
};

const char* const kViewport =
    "0/TABLE 2/VPORT 70/2 0/VPORT 2/*ACTIVE 70/0 10/0.0 20/0.0 11/1.0 21/1.0 12/30.928193 22/16.0 "
    "13/0.0 23/0.0 14/1.0 24/1.0 15/0.0 25/0.0 16/0.0 26/0.0 36/1.0 17/0.0 27/0.0 37/0.0 40/32.0 "
    "41/1.933012 42/50.0 43/0.0 44/0.0 50/0.0 51/0.0 71/0 72/100 73/1 74/1 75/0 76/0 77/0 78/0 "
    "0/ENDTAB";
const char* const kLineType = "0/TABLE 2/LTYPE 70/1 0/LTYPE 2/CONTINUOUS 70/64 3/Solid_line 72/65 73/0 40/0.0 0/ENDTAB";
// Layers "0" to "30": one more than the CAD layers.
constexpr int kLayerNames = 31;

}  // namespace

void TDxfExportWriter::Group(int code, const std::string& value) {
  Put(std::to_string(code) + "\r\n" + value + "\r\n");
}

void TDxfExportWriter::Groups(const char* text) {
  const char* p = text;
  while (*p != '\0') {
    const char* end = std::strchr(p, ' ');
    const std::string word = end != nullptr ? std::string(p, end) : std::string(p);
    const std::size_t slash = word.find('/');
    std::string value = word.substr(slash + 1);
    // A value with blanks of its own is written with "_" in the table.
    for (char& c : value)
      if (c == '_') c = ' ';
    Group(std::stoi(word.substr(0, slash)), value);
    if (end == nullptr) break;
    p = end + 1;
  }
}

void TDxfExportWriter::WriteHead() {
  Groups("0/SECTION 2/HEADER");
  Group(999, kComment);
  for (const THeaderVariable& v : kHeader) {
    Group(9, v.Name);
    Groups(v.Groups);
  }
  Groups("0/ENDSEC 0/SECTION 2/TABLES");
  Groups(kViewport);
  Groups(kLineType);
  Group(0, "TABLE");
  Group(2, "LAYER");
  Group(70, std::to_string(kLayerNames));
  for (int layer = 0; layer < kLayerNames; ++layer) {
    Group(0, "LAYER");
    Group(2, std::to_string(layer));
    Group(70, "0");
    Group(62, "7");
    Group(6, "CONTINUOUS");
  }
  Group(0, "ENDTAB");
  Groups("0/TABLE 2/STYLE 70/1 0/STYLE 2/STANDARD 70/0 40/0.0 41/1.0 50/0.0 71/0 42/0.2 3/txt");
  Group(4, " ");
  Group(0, "ENDTAB");
  for (const char* table : {"VIEW", "UCS"}) {
    Group(0, "TABLE");
    Group(2, table);
    Group(70, "0");
    Group(0, "ENDTAB");
  }
  Groups("0/ENDSEC 0/SECTION 2/BLOCKS 0/ENDSEC 0/SECTION 2/ENTITIES");
}

void TDxfExportWriter::WriteTail() { Groups("0/ENDSEC 0/EOF"); }

void TDxfExportWriter::ExportPoint(double x, double y) {
  if (!Open()) return;
  Group(0, "POINT");
  Group(8, std::to_string(CurrentLayerForExport));
  Real(10, x);
  Real(20, y);
}

void TDxfExportWriter::ExportLine(double x1, double y1, double x2, double y2) {
  if (!Open()) return;
  Group(0, "LINE");
  Group(8, std::to_string(CurrentLayerForExport));
  Real(10, x1);
  Real(20, y1);
  Real(11, x2);
  Real(21, y2);
}

void TDxfExportWriter::ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) {
  if (!Open()) return;
  double r1 = 0.0, a1 = 0.0, r2 = 0.0, a2 = 0.0;
  RectToPolar(x1 - x3, y1 - y3, r1, a1);
  RectToPolar(x2 - x3, y2 - y3, r2, a2);
  Group(0, "ARC");
  Group(8, std::to_string(CurrentLayerForExport));
  Real(10, x3);
  Real(20, y3);
  Real(40, (r1 + r2) * 0.5);
  Real(50, a1);
  Real(51, a2);
}

void TDxfExportWriter::ExportCircle(double x, double y, double r) {
  if (!Open()) return;
  Group(0, "CIRCLE");
  Group(8, std::to_string(CurrentLayerForExport));
  Real(10, x);
  Real(20, y);
  Real(40, r);
}
