#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <grp.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "korvex_test.h"
#include "platform/registry.h"

namespace fs = std::filesystem;

namespace {

class RegistryFileTest : public TKorvexTest {
 protected:
  TRegistryStore& Store() { return TRegistryStore::Instance(); }
  fs::path RegFile() { return TempDir / "config" / "registry.reg"; }

  // A valid file with a few keys, as the program writes it.
  std::string ValidText() {
    TRegistry reg(Store());
    reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\System", true);
    reg.WriteInteger("Metric", 1);
    reg.WriteString("Last Job", "C:\\JOBS\\PANEL.ZUL");
    reg.WriteFloat("Scale", 2.5);
    reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\Layout", true);
    reg.WriteInteger("Left", -20);
    std::string text = RegistryToText(Store().Root());
    Store().Clear();
    return text;
  }
};

TEST_F(RegistryFileTest, ValuesSurviveARestart) {
  EXPECT_EQ(OpenPersistentRegistry(), "");
  EXPECT_EQ(Store().BackingFile, RegFile().string());

  const std::string tricky = std::string("say \"hi\" C:\\DIR\\ line1\nline2\r\ttab \xE9\xFF end") + '\0' + "after";
  std::vector<uint8_t> blob;
  for (int i = 0; i < 60; ++i) blob.push_back(static_cast<uint8_t>(i * 7));
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\Make Tape Defaults", true));
    reg.WriteInteger("Min", INT32_MIN);
    reg.WriteInteger("Max", INT32_MAX);
    reg.WriteBool("Metric", true);
    reg.WriteString("Tricky", tricky);
    reg.WriteString("", "default value");
    reg.WriteString("Name \"with\" = and \\", "");
    reg.WriteBinary("Blob", blob);
    reg.WriteBinary("Empty", {});
    reg.WriteFloat("Scale", -0.1);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Odd [key] 100% \xC4", true));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Empty Key", true));
  }  // closing the accessor writes the file
  EXPECT_FALSE(Store().Modified);
  std::string saved = ReadFileBytes(RegFile());
  EXPECT_EQ(saved.substr(0, saved.find('\n')), "KORVEX 6 Registry Version 1");
  EXPECT_NE(saved.find("[\\Software\\Orbenwright\\KORVEX\\6.0\\Make Tape Defaults]\n"), std::string::npos);
  EXPECT_NE(saved.find("\"Max\"=dword:7fffffff\n"), std::string::npos);
  const std::string before = RegistryToText(Store().Root());

  Store().Clear();
  std::string error = "x";
  ASSERT_TRUE(Store().LoadFromFile(RegFile().string(), &error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(RegistryToText(Store().Root()), before);

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\software\\orbenwright\\korvex\\6.0\\make tape defaults", false));
  int32_t i = 0;
  EXPECT_EQ(reg.ReadInteger("Min", i), TRegStatus::Ok);
  EXPECT_EQ(i, INT32_MIN);
  bool b = false;
  EXPECT_EQ(reg.ReadBool("Metric", b), TRegStatus::Ok);
  EXPECT_TRUE(b);
  std::string s;
  EXPECT_EQ(reg.ReadString("Tricky", s), TRegStatus::Ok);
  EXPECT_EQ(s, tricky);
  EXPECT_EQ(reg.ReadString("", s), TRegStatus::Ok);
  EXPECT_EQ(s, "default value");
  EXPECT_TRUE(reg.ValueExists("Name \"with\" = and \\"));
  std::vector<uint8_t> bin{1};
  EXPECT_EQ(reg.ReadBinary("Blob", bin), TRegStatus::Ok);
  EXPECT_EQ(bin, blob);
  EXPECT_EQ(reg.ReadBinary("Empty", bin), TRegStatus::Ok);
  EXPECT_TRUE(bin.empty());
  double d = 0;
  EXPECT_EQ(reg.ReadFloat("Scale", d), TRegStatus::Ok);
  EXPECT_EQ(d, -0.1);
  EXPECT_TRUE(reg.KeyExists("\\Software\\Odd [key] 100% \xC4"));
  EXPECT_TRUE(reg.KeyExists("\\Software\\Empty Key"));
  reg.CloseKey();
  // Nothing was left behind by the atomic writes.
  int files = 0;
  for (auto& e : fs::directory_iterator(TempDir / "config")) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);
}

TEST_F(RegistryFileTest, ConfigFolderFollowsTheEnvironment) {
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  std::string savedXdg = oldXdg ? oldXdg : "";
  std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";

  EXPECT_EQ(RegistryConfigDir(), (TempDir / "config").string());
  unsetenv("KORVEX_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", (TempDir / "xdg").c_str(), 1);
  EXPECT_EQ(RegistryConfigDir(), (TempDir / "xdg" / "korvex6").string());
  // A missing folder is created, and an absent file is no error.
  EXPECT_EQ(OpenPersistentRegistry(), "");
  EXPECT_TRUE(fs::is_directory(TempDir / "xdg" / "korvex6"));
  EXPECT_EQ(Store().BackingFile, (TempDir / "xdg" / "korvex6" / "registry.reg").string());

  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", (TempDir / "user").c_str(), 1);
  EXPECT_EQ(RegistryConfigDir(), (TempDir / "user" / ".config" / "korvex6").string());

  setenv("HOME", savedHome.c_str(), 1);
  if (oldXdg)
    setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryFileTest, DamagedFilesStartWithDefaultsAndAnError) {
  const std::string valid = ValidText();
  TRegKey check;
  ASSERT_TRUE(RegistryFromText(valid, check));

  std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"garbage", "\x7f" "ELF\x01\x02\x03 garbage \xff\xfe"},
      {"cut in a value", valid.substr(0, valid.find("Metric") + 4)},
      {"cut at a line end", valid.substr(0, valid.find("\n[", 40) + 1)},
      {"cut before the last line", valid.substr(0, valid.rfind(';'))},
      {"cut in hex", valid.substr(0, valid.find("hex:") + 7)},
      {"wrong first line", "REGEDIT4\n" + valid.substr(valid.find('\n') + 1)},
      {"zero byte", valid.substr(0, 40) + '\0' + valid.substr(40)},
  };
  const std::string head = "KORVEX 6 Registry Version 1\n[\\A]\n";
  const std::string tail = "; End of KORVEX 6 registry\n";
  for (const char* line : {"\"V\"=\"bad \\q escape\"", "\"V\"=\"open", "\"V\"=dword:123456789",
                           "\"V\"=dword:xyz", "\"V\"=hex:1,2", "\"V\"=hex:01,", "\"V\"=sz:text",
                           "\"V\"=\"a\"b", "V=dword:1", "[\\A\\B", "[\\A%4]"})
    cases.push_back({line, head + line + "\n" + tail});
  cases.push_back({"value before key", "KORVEX 6 Registry Version 1\n\"V\"=dword:1\n" + tail});
  cases.push_back({"text after the end", valid + "[\\More]\n"});

  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    WriteFileBytes(RegFile(), text);
    Store().CreateKey("\\Left\\Over");
    std::string error;
    EXPECT_FALSE(Store().LoadFromFile(RegFile().string(), &error));
    EXPECT_NE(error.find(RegFile().string()), std::string::npos) << error;
    EXPECT_NE(error.find("default settings are used"), std::string::npos) << error;
    EXPECT_TRUE(Store().Root().SubKeys.empty());
    EXPECT_TRUE(Store().Root().Values.empty());
    EXPECT_FALSE(Store().Modified);
  }

  // A valid head then zeros far beyond any settings file: refused unread.
  WriteFileBytes(RegFile(), valid.substr(0, 60));
  fs::resize_file(RegFile(), std::uintmax_t{64} << 20);
  std::string error;
  EXPECT_FALSE(Store().LoadFromFile(RegFile().string(), &error));
  EXPECT_EQ(error, "The settings file " + RegFile().string() +
                       " is damaged (it is larger than 16 MB); the default settings are used.");

  // The program reports the problem; the file goes aside and its defaults
  // take its place.
  WriteFileBytes(RegFile(), "garbage");
  EXPECT_NE(OpenPersistentRegistry(), "");
  {
    TRegistry reg;
    reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\System", true);
    reg.WriteInteger("Metric", 0);
  }
  Store().Clear();
  EXPECT_EQ(OpenPersistentRegistry(), "");
  EXPECT_NE(Store().FindKey("\\Software\\Orbenwright\\KORVEX\\6.0\\System"), nullptr);
}

TEST_F(RegistryFileTest, UnreadableFileIsReported) {
  fs::create_directories(RegFile());  // a folder where the file should be
  Store().CreateKey("\\Left\\Over");
  std::string error;
  EXPECT_FALSE(Store().LoadFromFile(RegFile().string(), &error));
  EXPECT_NE(error.find("Cannot read the settings file"), std::string::npos) << error;
  EXPECT_TRUE(Store().Root().SubKeys.empty());
}

TEST_F(RegistryFileTest, FailedFlushKeepsTheOldFile) {
  // Folder missing altogether.
  Store().BackingFile = (TempDir / "nowhere" / "registry.reg").string();
  Store().CreateKey("\\A");
  std::string error;
  EXPECT_FALSE(Store().Flush(&error));
  EXPECT_NE(error.find("Cannot write the settings file"), std::string::npos) << error;
  EXPECT_TRUE(Store().Modified);

  // Folder not writable: the old file stays as it was.
  ASSERT_EQ(OpenPersistentRegistry(), "");
  {
    TRegistry reg;
    reg.OpenKey("\\Software\\X", true);
    reg.WriteInteger("Old", 1);
  }
  const std::string old = ReadFileBytes(RegFile());
  fs::permissions(TempDir / "config", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
  const std::string path = RegFile().string();
  int result = RunUnprivileged([&] {
    TRegistry reg;
    reg.OpenKey("\\Software\\X", true);
    reg.WriteInteger("New", 2);
    std::string err;
    bool flushed = TRegistryStore::Instance().Flush(&err);
    return !flushed && err.find(path) != std::string::npos && TRegistryStore::Instance().Modified;
  });
  fs::permissions(TempDir / "config", fs::perms::owner_all);
  if (result < 0) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFileBytes(RegFile()), old);
  int files = 0;
  for (auto& e : fs::directory_iterator(TempDir / "config")) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);
}

TEST_F(RegistryFileTest, LinkedFileIsReplacedWhereItLives) {
  // Settings kept elsewhere and linked into the settings folder.
  fs::path real = TempDir / "dotfiles" / "korvex.reg";
  WriteFileBytes(real, "");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, RegFile());
  Store().BackingFile = RegFile().string();
  Store().CreateKey("\\Software\\X");
  ASSERT_TRUE(Store().Flush());
  EXPECT_TRUE(fs::is_symlink(RegFile()));
  EXPECT_NE(ReadFileBytes(real).find("[\\Software\\X]"), std::string::npos);
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(RegistryFileTest, AFileThatCannotBeUsedIsKeptAsideNeverWrittenOver) {
  // Fifty settings, then the file cut short.
  ASSERT_EQ(OpenPersistentRegistry(), "");
  {
    TRegistry reg;
    reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\System", true);
    for (int i = 0; i < 50; ++i) reg.WriteInteger("Value" + std::to_string(i), i);
  }
  const std::string full = ReadFileBytes(RegFile());
  const std::string cut = full.substr(0, full.rfind(';'));
  WriteFileBytes(RegFile(), cut);
  const std::string reg = RegFile().string();
  Store().Clear();
  EXPECT_EQ(OpenPersistentRegistry(),
            "The settings file " + reg + " is damaged (the file is incomplete (cut short)); the "
            "default settings are used. The file was kept as " + reg + ".damaged.");
  EXPECT_EQ(ReadFileBytes(reg + ".damaged"), cut);
  // The next write of a setting starts a new file beside it.
  {
    TRegistry settings;
    settings.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\System", true);
    settings.WriteInteger("Metric", 0);
  }
  EXPECT_NE(ReadFileBytes(RegFile()).find("\"Metric\""), std::string::npos);
  EXPECT_EQ(ReadFileBytes(reg + ".damaged"), cut);

  // A second damaged file goes beside the first.
  WriteFileBytes(RegFile(), "garbage");
  Store().Clear();
  EXPECT_NE(OpenPersistentRegistry().find("kept as " + reg + ".damaged.2."), std::string::npos);
  EXPECT_EQ(ReadFileBytes(reg + ".damaged.2"), "garbage");
  EXPECT_EQ(ReadFileBytes(reg + ".damaged"), cut);

  // A file its user cannot read.
  WriteFileBytes(RegFile(), full);
  ::chmod(RegFile().c_str(), 0);
  ::chmod((TempDir / "config").c_str(), 0777);
  ::chmod(TempDir.c_str(), 0755);
  std::string message;
  int result = RunUnprivileged([&] {
    Store().Clear();
    const std::string text = OpenPersistentRegistry();
    return text == "Cannot read the settings file " + reg + ": Permission denied; the default "
                   "settings are used. The file was kept as " + reg + ".damaged.3.";
  });
  if (result < 0) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFileBytes(reg + ".damaged.3"), full);

  // A folder that takes no new name: the damaged file stays as it is, and
  // nothing is saved over it.
  WriteFileBytes(RegFile(), cut);
  ::chmod((TempDir / "config").c_str(), 0555);
  result = RunUnprivileged([&] {
    Store().Clear();
    const std::string text = OpenPersistentRegistry();
    TRegistry settings;
    settings.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\System", true);
    settings.WriteInteger("Metric", 1);
    return text.find("The file could not be kept aside (Permission denied), so the settings are "
                     "not saved while it is there.") != std::string::npos &&
           Store().BackingFile.empty() && Store().Flush();
  });
  ::chmod((TempDir / "config").c_str(), 0755);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFileBytes(RegFile()), cut);
}

}  // namespace
