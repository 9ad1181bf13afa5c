// Photoplots and plots as a punch or a serial link leaves them: a blank
// leader of NULs or rubouts, rubouts over line ends or inside a word, a
// plot's job-language line ended by a CR alone, a photoplot punched in
// EBCDIC or EIA with a blank leader. File > Import recognises each as it
// recognises the clean file, Drill Import offers the photoplot as it does
// the clean one, and each reads to the same drawing.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "import/gerber_cad.h"
#include "import/hpgl_reader.h"
#include "import/import_frame.h"
#include "import_test_support.h"
#include "tapein/drill_import_command.h"
#include "tapein/tape_input_filter.h"

namespace {

using namespace std::string_literals;

class TPlotTapeFormsTest : public TImportTest {
 protected:
  // Each CAD entity: its type and its points.
  static std::vector<std::vector<int32_t>> Entities() {
    std::vector<std::vector<int32_t>> all;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TCadEntity* e = DB->EntityAt(i);
      if (e == nullptr || SlotDeleted(DB->SlotAt(i)->Flags)) continue;
      TIntPoint a, b, c;
      e->GetPoint(a);
      e->GetSecondPoint(b);
      e->GetThirdPoint(c);
      all.push_back({e->GetType(), a.X, a.Y, b.X, b.Y, c.X, c.Y});
    }
    return all;
  }
  struct TRead {
    uint8_t Format = 0;       // File > Import's recognition
    uint8_t DrillFormat = 0;  // Drill Import's
    std::vector<std::vector<int32_t>> Drawing;
    std::vector<std::string> Boxes;
  };
  TRead Read(const std::string& name, const std::string& text, bool hpgl) {
    const std::string file = Write(name, text);
    TRead r;
    r.Format = DetectFileFormat(file);
    if (!hpgl) DetectImportFormat(file, r.DrillFormat);
    delete DB;
    DB = new TCadDatabase();
    GerberImportDefaults = TGerberFormatRecord{};
    ResetHeadlessDialogs();
    if (hpgl)
      ImportHpglToCad(file);
    else
      ImportGerberToCad(file);
    r.Drawing = Entities();
    for (const TMessageBoxRecord& m : ShownMessageBoxes()) r.Boxes.push_back(m.Text);
    return r;
  }
  // Every LF (with the CR before it) of the text as end.
  static std::string Ends(const std::string& text, const std::string& end) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n') continue;
      out += text[k] == '\n' ? end : std::string(1, text[k]);
    }
    return out;
  }
};

TEST_F(TPlotTapeFormsTest, APunchedOrSentPlotIsRecognisedAndReadAsTheCleanOne) {
  const std::string rs274x = ReadFileBytes(std::filesystem::path(KORVEX_TEST_DATA_DIR) / "gerber-mirror-offset.gbr");
  // A plain photoplot, its apertures on a wheel of their own.
  const std::string rs274d =
      "G04 PLAIN*\r\nG54D10*\r\nX001250Y002500D02*\r\nX003750Y002500D01*\r\nX003750Y006875D01*\r\n"
      "G54D11*\r\nX009125Y004375D03*\r\nX008250Y007625D03*\r\nM02*\r\n";
  const std::string shortPlot = "IN;SP1;PU0,0;PD1234,0,1234,2345,0,2345,0,0;PU;SP0;\r\n";
  const std::string hpgl = ReadFileBytes(std::filesystem::path(KORVEX_TEST_DATA_DIR) / "hpgl2-wrapped.plt");
  ASSERT_FALSE(rs274x.empty());
  ASSERT_FALSE(hpgl.empty());
  // A plain photoplot punched in EBCDIC and in EIA: each character by the
  // first byte that stands for it (EIA has no line ends: they go).
  const auto punch = [&rs274d](uint8_t code) {
    std::array<bool, 256> valid{};
    std::array<unsigned char, 256> translate{};
    TapeCodeTable(code, valid, translate);
    std::string tape;
    for (char c : rs274d)
      for (std::size_t b = 0; b < 256; ++b)
        if (valid[b] && translate[b] == static_cast<unsigned char>(c)) {
          tape += static_cast<char>(b);
          break;
        }
    return tape;
  };
  const std::string ebcdic = punch(2), eia = punch(3);
  const std::string nuls(200, '\0'), dels(300, '\x7f'), longNuls(1500, '\0'), longDels(1500, '\x7f');
  std::string inWord = rs274x;
  inWord.insert(inWord.find('X', inWord.find("D10")) + 2, "\x7f");
  const struct {
    const char* Name;
    std::string Clean, Text;
    bool Hpgl = false;
  } cases[] = {
      {"RS-274X, rubout leader and trailer", rs274x, dels + rs274x + dels},
      {"RS-274X, a long rubout leader", rs274x, longDels + rs274x},
      {"RS-274X, rubouts over the line ends", rs274x, Ends(rs274x, "\x7f\r\n")},
      {"RS-274X, a rubout inside a word", rs274x, inWord},
      {"RS-274X, XON ... XOFF and rubouts", rs274x, "\x11\x7f\r\n" + rs274x + "\x13\x7f"},
      {"RS-274-D, NUL leader", rs274d, std::string(600, '\0') + rs274d},
      {"RS-274-D in EBCDIC, NUL leader and trailer", ebcdic, nuls + ebcdic + nuls},
      {"RS-274-D in EBCDIC, a long NUL leader", ebcdic, longNuls + ebcdic},
      {"RS-274-D in EIA, NUL leader and trailer", eia, nuls + eia + nuls},
      {"RS-274-D in EIA, a long NUL leader", eia, longNuls + eia},
      {"RS-274-D in EIA, a long rubout leader", eia, longDels + eia + longDels},
      {"HPGL, a long NUL leader", hpgl, longNuls + hpgl, true},
      {"a short HPGL plot, a long NUL leader", shortPlot, longNuls + shortPlot, true},
      {"HPGL, a long rubout leader", hpgl, longDels + hpgl + dels, true},
      {"HPGL, lines ended by a CR alone", hpgl, Ends(hpgl, "\r"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string ext = c.Hpgl ? ".PLT" : ".GBR";
    const TRead clean = Read("CLEAN" + ext, c.Clean, c.Hpgl);
    ASSERT_EQ(clean.Format, c.Hpgl ? fcHpgl : fcGerber);
    if (!c.Hpgl) ASSERT_EQ(clean.DrillFormat, ifGerber);
    ASSERT_FALSE(clean.Drawing.empty());
    const TRead dirty = Read("DIRTY" + ext, c.Text, c.Hpgl);
    EXPECT_EQ(dirty.Format, clean.Format);
    EXPECT_EQ(dirty.DrillFormat, clean.DrillFormat);
    EXPECT_EQ(dirty.Drawing, clean.Drawing);
    EXPECT_EQ(dirty.Boxes, clean.Boxes);
  }
}

// More zero bytes in a row than a line holds are no blank tape, ahead of
// the photoplot, inside it or behind it: the file is refused as before, and
// nothing is read of it.
TEST_F(TPlotTapeFormsTest, MoreZeroBytesThanALineHoldsAreNoBlankTape) {
  const std::string rs274x = ReadFileBytes(std::filesystem::path(KORVEX_TEST_DATA_DIR) / "gerber-mirror-offset.gbr");
  const std::string zeros(kMaxTextLine + 1, '\0');
  for (const std::string& text : {zeros + rs274x, rs274x.substr(0, 100) + zeros + rs274x.substr(100), rs274x + zeros}) {
    const TRead read = Read("ZEROS.GBR", text, false);
    EXPECT_TRUE(read.Drawing.empty());
    ASSERT_EQ(read.Boxes.size(), 1u);
    EXPECT_NE(read.Boxes[0].find("is longer than 65,536 characters!"), std::string::npos) << read.Boxes[0];
  }
}

}  // namespace
