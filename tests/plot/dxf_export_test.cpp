// The DXF export: the fixed layout, the entity records, the units, the read
// back through the program's own DXF import, and an outside audit of the
// file where the audit tool is installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "cad_export_test_support.h"
#include "import/dxf_import.h"
#include "plot/dxf_export.h"

namespace {

namespace fs = std::filesystem;
using TGroups = std::vector<std::pair<std::string, std::string>>;

// The code/value pairs of a file whose every line ends in CR LF (a bare LF
// fails the test), and those of its ENTITIES section alone.
TGroups GroupsOf(const std::string& text) {
  TGroups groups;
  std::string code;
  for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
    end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "text after the last line end";
    if (end == std::string::npos) break;
    const std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find('\n'), std::string::npos) << "a line ended by LF alone";
    if (code.empty()) code = line.empty() ? "?" : line;
    else groups.emplace_back(std::exchange(code, ""), line);
  }
  EXPECT_TRUE(code.empty());
  return groups;
}
TGroups EntityGroups(const TGroups& all) {
  const std::pair<std::string, std::string> start{"2", "ENTITIES"}, end{"0", "ENDSEC"};
  auto first = std::find(all.begin(), all.end(), start);
  if (first == all.end()) return {};
  return TGroups(first + 1, std::find(first + 1, all.end(), end));
}

class DxfExportTest : public TCadExportTest {
 protected:
  bool Export(const std::string& name, bool inches = true) {
    QueueModalScript("TDrawingUnits", [inches](TForm& f) {
      f.Get<TRadioGroup>("DrawingUnitsGroup").SetItemIndex(inches ? 0 : 1);
      f.Click("OKButton");
    });
    CadExportFormat = cfDxf;
    ExportDxfFile(Path(name));
    return std::filesystem::exists(TempDir / name);
  }
  void ImportBack(const std::string& name, bool inches) {
    ClearDatabase();
    QueueModalScript("TDrawingUnits", [inches](TForm& f) {
      f.Get<TRadioGroup>("DrawingUnitsGroup").SetItemIndex(inches ? 0 : 1);
      f.Click("OKButton");
    });
    ImportDxfToCad(Path(name));
  }
};

TEST_F(DxfExportTest, EmptyDrawingIsTheFixedLayoutAlone) {
  ASSERT_TRUE(Export("EMPTY.DXF"));
  const std::string text = Bytes("EMPTY.DXF");
  const TGroups groups = GroupsOf(text);
  EXPECT_EQ(text.substr(0, 60), "0\r\nSECTION\r\n2\r\nHEADER\r\n999\r\nKORVEX 6.12.5\r\n9\r\n$INSBASE\r\n10\r\n");
  // The extents are fixed whatever the drawing holds.
  EXPECT_NE(text.find("9\r\n$EXTMIN\r\n10\r\n-24.0\r\n20\r\n-24.0\r\n"), std::string::npos);
  EXPECT_NE(text.find("9\r\n$LIMMAX\r\n10\r\n24.0\r\n20\r\n24.0\r\n"), std::string::npos);
  EXPECT_NE(text.find("9\r\n$DIMBLK\r\n1\r\n\r\n"), std::string::npos);
  EXPECT_NE(text.find("3\r\ntxt\r\n4\r\n \r\n0\r\nENDTAB\r\n"), std::string::npos);
  EXPECT_NE(text.find("3\r\nSolid line\r\n"), std::string::npos);
  EXPECT_NE(text.find("0\r\nTABLE\r\n2\r\nUCS\r\n70\r\n0\r\n0\r\nENDTAB\r\n"), std::string::npos);
  // No table of a kind other readers do not know: they refuse the file.
  EXPECT_EQ(text.find("DWGMGR"), std::string::npos);
  // Layers "0" to "30", each on the CONTINUOUS line type.
  int layers = 0;
  for (std::size_t i = 0; i + 1 < groups.size(); ++i)
    if (groups[i] == std::pair<std::string, std::string>{"0", "LAYER"}) {
      EXPECT_EQ(groups[i + 1].second, std::to_string(layers));
      ++layers;
    }
  EXPECT_EQ(layers, 31);
  EXPECT_TRUE(EntityGroups(groups).empty());
  const std::string tail = "0\r\nSECTION\r\n2\r\nBLOCKS\r\n0\r\nENDSEC\r\n0\r\nSECTION\r\n2\r\nENTITIES\r\n"
                           "0\r\nENDSEC\r\n0\r\nEOF\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(DxfExportTest, EntitiesAreWrittenOnTheirLayersInStoreOrder) {
  AddSampleJob();
  ASSERT_TRUE(Export("JOB.DXF"));
  const TGroups e = EntityGroups(GroupsOf(Bytes("JOB.DXF")));
  const TGroups want = {
      {"0", "POINT"}, {"8", "0"},     {"10", "1.0"},  {"20", "1.0"},
      {"0", "LINE"},  {"8", "3"},     {"10", "0.0"},  {"20", "0.0"},  {"11", "1.0"},  {"21", "0.5"},
      {"0", "LINE"},  {"8", "3"},     {"10", "1.0"},  {"20", "0.5"},  {"11", "2.0"},  {"21", "0.5"},
      // A quarter arc counter-clockwise from (2, 0) to (0, 2) about the origin.
      {"0", "ARC"},   {"8", "3"},     {"10", "0.0"},  {"20", "0.0"},  {"40", "2.0"},  {"50", "0.0"},
      {"51", "90.0"},
      {"0", "CIRCLE"}, {"8", "12"},   {"10", "3.0"},  {"20", "3.0"},  {"40", "0.25"},
      // The upper half from (-1, 0.125) round to (-2, 0.125).
      {"0", "ARC"},   {"8", "12"},    {"10", "-1.5"}, {"20", "0.125"}, {"40", "0.5"}, {"50", "0.0"},
      {"51", "180.0"},
  };
  EXPECT_EQ(e, want);
}

TEST_F(DxfExportTest, ReadsBackThroughTheDxfImportInEitherUnit) {
  AddSampleJob();
  const auto before = LiveEntities();
  for (const bool inches : {true, false}) {
    SCOPED_TRACE(inches ? "inches" : "millimetres");
    ClearDatabase();
    AddSampleJob();
    ASSERT_TRUE(Export(inches ? "IN.DXF" : "MM.DXF", inches));
    EXPECT_EQ(CadExportInches, inches);
    ImportBack(inches ? "IN.DXF" : "MM.DXF", inches);
    ExpectSameEntities(before, LiveEntities(), 2);
  }
  // A one-inch line is 25.4 long in millimetres.
  const TGroups mm = EntityGroups(GroupsOf(Bytes("MM.DXF")));
  ASSERT_GE(mm.size(), 14u);
  EXPECT_EQ(mm[8], (std::pair<std::string, std::string>{"11", "25.4"}));
}

// Real drawings imported, exported and imported again keep every entity.
TEST_F(DxfExportTest, SampleDrawingsSurviveTheRoundTrip) {
  const fs::path folder = SharedTestData() / "dxf";
  if (!fs::exists(folder)) GTEST_SKIP() << "shared test data absent";
  for (const char* sample : {"autocad__Ceco.NET-Architecture-Tm-53.dxf", "autocad__squareandcircle.dxf",
                             "ezdxf__BlockClippedBasicTransform.dxf"}) {
    SCOPED_TRACE(sample);
    ClearDatabase();
    ImportDxfToCad((folder / sample).string());
    const auto before = LiveEntities();
    ASSERT_FALSE(before.empty());
    ASSERT_TRUE(Export("SAMPLE.DXF"));
    ImportBack("SAMPLE.DXF", true);
    ExpectSameEntities(before, LiveEntities(), 2);
  }
}

TEST_F(DxfExportTest, CancelInTheUnitsDialogWritesNothing) {
  AddSampleJob();
  QueueModalScript("TDrawingUnits", [](TForm& f) { f.Click("CancelButton"); });
  ExportDxfFile(Path("NONE.DXF"));
  EXPECT_FALSE(std::filesystem::exists(TempDir / "NONE.DXF"));
  EXPECT_TRUE(CadExportInches);
  EXPECT_EQ(std::count(ModalFormsShown().begin(), ModalFormsShown().end(), "TSaveLayerDialog"), 0);
}

// The audit of the outside DXF library, where Debian's python3-ezdxf is
// installed: the file must load and show no error.
TEST_F(DxfExportTest, OutsideAuditFindsNoError) {
  const std::string python = "/usr/bin/python3";
  if (std::system((python + " -c 'import ezdxf' >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "python3-ezdxf is not installed";
  AddSampleJob();
  ASSERT_TRUE(Export("AUDIT.DXF"));
  const std::string script = Path("audit.py");
  std::ofstream(script) << "import sys, ezdxf\n"
                           "doc = ezdxf.readfile(sys.argv[1])\n"
                           "auditor = doc.audit()\n"
                           "for e in auditor.errors: print('ERROR', e.message)\n"
                           "for e in auditor.fixes: print('FIX', e.message)\n"
                           "kinds = [e.dxftype() for e in doc.modelspace()]\n"
                           "print(' '.join(kinds))\n"
                           "layers = sorted(set(e.dxf.layer for e in doc.modelspace()))\n"
                           "print(' '.join(layers))\n"
                           "sys.exit(1 if auditor.has_errors else 0)\n";
  const std::string out = Path("audit.txt");
  const int status = std::system((python + " " + script + " " + Path("AUDIT.DXF") + " >" + out + " 2>&1").c_str());
  const std::string report = ReadFileBytes(out);
  EXPECT_EQ(status, 0) << report;
  EXPECT_EQ(report, "POINT LINE LINE ARC CIRCLE ARC\n0 12 3\n");
}

}  // namespace
