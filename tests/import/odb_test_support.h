// Set-up of the ODB++ tests: the import fixture plus the rout database,
// small job trees written on the fly, and entity counts per program layer.
#pragma once
#include <filesystem>
#include <map>
#include <string>

#include "foundation/display_units.h"
#include "import_test_support.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/undo_journal.h"

class TOdbTest : public TImportTest {
 protected:
  void SetUp() override {
    TImportTest::SetUp();
    for (int l = 40; l <= 44; ++l) RoutToolPages[l].Fill({});
    InitLayerNames();
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
  }
  void TearDown() override {
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    TImportTest::TearDown();
  }

  // A file of a job tree under TempDir/name, folders made as needed.
  void JobFile(const std::string& job, const std::string& path, const std::string& text) {
    const std::filesystem::path p = TempDir / job / path;
    std::filesystem::create_directories(p.parent_path());
    WriteFileBytes(p, text);
  }
  std::string Matrix(const std::string& job) { return (TempDir / job / "matrix" / "matrix").string(); }

  // Live CAD entities per layer and type ("5:L" lines on layer 5, "5:A", "5:C", "5:P").
  static std::map<std::string, int> CadCounts() {
    std::map<std::string, int> out;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      const uint32_t flags = DB->SlotAt(i)->Flags;
      if (flags == 0 || SlotDeleted(flags)) continue;
      int layer = 0;
      while (layer < 30 && (flags & (1u << layer)) == 0) ++layer;
      static const char kinds[] = "?PLAC";
      const uint8_t type = DB->EntityAt(i)->GetType();
      ++out[std::to_string(layer) + ":" + kinds[type <= 4 ? type : 0]];
    }
    return out;
  }
  // Live drill holes per drill layer (30..39).
  static std::map<int, int> HoleCounts() {
    std::map<int, int> out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      const uint32_t word = DRDB->WordAt(i);
      if (word == 0 || SlotDeleted(word)) continue;
      int layer = 0;
      while (layer < 10 && (word & (1u << layer)) == 0) ++layer;
      ++out[30 + layer];
    }
    return out;
  }
};
