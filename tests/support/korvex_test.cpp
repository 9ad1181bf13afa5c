#include "korvex_test.h"

#include <cstdlib>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <random>
#include <sstream>

#include "detached_undo_window.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_printer.h"
#include "platform/registry.h"
#include "workspace/startup.h"

namespace fs = std::filesystem;

void TKorvexTest::SetUp() {
  std::random_device rd;
  TempDir = fs::temp_directory_path() /
            ("korvex_test_" + std::to_string(::getpid()) + "_" + std::to_string(rd()));
  fs::create_directories(TempDir / "home");
  fs::create_directories(TempDir / "config");
  setenv("KORVEX_HOME", (TempDir / "home").c_str(), 1);
  setenv("KORVEX_CONFIG_DIR", (TempDir / "config").c_str(), 1);
  TRegistryStore::Instance().Clear();
  TRegistryStore::Instance().BackingFile.clear();
  ResetHeadlessDialogs();
  HeadlessResetEvents();
  HeadlessFailWritesAfter(-1);
  HeadlessFailRenames(0);
  HeadlessPrinter().Reset();
  ResetStartupSettings();
  ResetFamilySettings();
  InstallModelServices();
  DetachedUndoWindow().Clear();
  SetUndoWindow(&DetachedUndoWindow());
}

void TKorvexTest::TearDown() {
  SetUndoWindow(nullptr);
  ResetHeadlessDialogs();
  HeadlessFailWritesAfter(-1);
  HeadlessFailRenames(0);
  TRegistryStore::Instance().Clear();
  TRegistryStore::Instance().BackingFile.clear();
  std::error_code ec;
  fs::remove_all(TempDir, ec);
}

TDetachedUndoWindow& DetachedUndoWindow() {
  static TDetachedUndoWindow window;
  return window;
}

fs::path SharedTestData() {
  fs::path p = KORVEX_TESTDATA_DIR;
  std::error_code ec;
  return fs::is_directory(p, ec) ? p : fs::path();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs check in a child process without root's right to write anywhere, so
// that a folder's permissions count. Returns 1 when check held, 0 when not,
// -1 when the child could not drop its privileges.
int RunUnprivileged(const std::function<bool()>& check) {
  pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(77);
    }
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) return 0;
  if (WEXITSTATUS(status) == 77) return -1;
  return WEXITSTATUS(status) == 0 ? 1 : 0;
}
