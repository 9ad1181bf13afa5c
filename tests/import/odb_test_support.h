// Set-up of the ODB++ tests: the import fixture plus the rout database,
// small job trees written on the fly, and entity counts per program layer.
#pragma once
#include <filesystem>
#include <map>
#include <string>

#include "foundation/display_units.h"
#include "entity_counts.h"
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

};
