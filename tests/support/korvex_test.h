// Test fixture: every test starts from the built-in defaults with its own
// program home folder and an empty in-memory registry.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

class TKorvexTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh folder for this test (removed afterwards); KORVEX_HOME and
  // KORVEX_CONFIG_DIR point into it.
  std::filesystem::path TempDir;
};

// Folder of the shared public sample files, or empty when it is absent
// (tests that need it skip).
std::filesystem::path SharedTestData();
// Writes a file with the given bytes, creating folders.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFileBytes(const std::filesystem::path& path);

// Runs check in a child process without root's right to write anywhere, so
// that a folder's permissions count. Returns 1 when check held, 0 when not,
// -1 when the child could not drop its privileges.
int RunUnprivileged(const std::function<bool()>& check);
