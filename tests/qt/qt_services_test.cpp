#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "korvex_test.h"
#include "platform/clipboard.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_single_instance.h"
#include "platform/single_instance.h"

namespace fs = std::filesystem;

namespace {

const char* const kName = "Orbenwright, Inc. KORVEX : Previous Semaphore";

// Lets the event loop run until done() holds or the time is up.
bool RunEventsUntil(const std::function<bool()>& done, int ms = 5000) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

class QtSingleInstanceTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    hadRuntime_ = old != nullptr;
    if (old) oldRuntime_ = old;
    fs::create_directories(TempDir / "run");
    setenv("XDG_RUNTIME_DIR", (TempDir / "run").c_str(), 1);
    InstallQtSingleInstanceBackend();
  }
  void TearDown() override {
    SetSingleInstanceBackend(nullptr);  // releases every lock still held
    if (hadRuntime_)
      setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    TKorvexTest::TearDown();
  }
  std::string Base() { return SingleInstanceBasePath(kName); }

 private:
  bool hadRuntime_ = false;
  std::string oldRuntime_;
};

TEST_F(QtSingleInstanceTest, SecondInstanceRaisesTheFirst) {
  EXPECT_EQ(SingleInstanceRuntimeDir(), (TempDir / "run").string());
  EXPECT_EQ(Base(), (TempDir / "run").string() + "/Orbenwright__Inc._KORVEX___Previous_Semaphore-" +
                        std::to_string(getuid()));

  int raised = 0;
  ASSERT_TRUE(SingleInstanceBackend().Acquire(kName, [&] { ++raised; }));
  EXPECT_TRUE(fs::exists(Base() + ".lock"));
  EXPECT_TRUE(fs::exists(Base() + ".sock"));

  EXPECT_FALSE(SingleInstanceBackend().Acquire(kName, [] { FAIL() << "the second must not be raised"; }));
  EXPECT_TRUE(RunEventsUntil([&] { return raised == 1; }));
  EXPECT_FALSE(SingleInstanceBackend().Acquire(kName, nullptr));
  EXPECT_TRUE(RunEventsUntil([&] { return raised == 2; }));

  // A stranger on the socket is ignored.
  {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, (Base() + ".sock").c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(write(fd, "hello\n", 6), 6);
    close(fd);
  }
  RunEventsUntil([] { return false; }, 200);
  EXPECT_EQ(raised, 2);

  // Released: the socket is gone and the name can be taken again.
  SingleInstanceBackend().Release(kName);
  EXPECT_FALSE(fs::exists(Base() + ".sock"));
  EXPECT_TRUE(SingleInstanceBackend().Acquire(kName, nullptr));
}

TEST_F(QtSingleInstanceTest, LockHeldElsewhereBlocksAndStaleFilesDoNot) {
  // Files left by a crashed instance: a lock file nobody holds and a socket
  // nobody listens on.
  WriteFileBytes(Base() + ".lock", "");
  {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, (Base() + ".sock").c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
  }
  int raised = 0;
  ASSERT_TRUE(SingleInstanceBackend().Acquire(kName, [&] { ++raised; }));
  EXPECT_FALSE(SingleInstanceBackend().Acquire(kName, nullptr));
  EXPECT_TRUE(RunEventsUntil([&] { return raised == 1; }));
  SingleInstanceBackend().Release(kName);

  // Another process holds the lock (its own open file) but no longer
  // answers on the socket: it is shutting down. The new start waits for the
  // lock instead of ending without a window.
  int fd = open((Base() + ".lock").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  std::thread holder([fd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    close(fd);
  });
  EXPECT_TRUE(SingleInstanceBackend().Acquire(kName, nullptr));
  holder.join();
}

TEST(QtClipboardTest, TextGoesThroughTheSystemClipboard) {
  InstallQtClipboardBackend();
  SetClipboardText("T01C0.0400\nX1Y2");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString("T01C0.0400\nX1Y2"));
  EXPECT_EQ(GetClipboardText(), "T01C0.0400\nX1Y2");

  QGuiApplication::clipboard()->setText(QString::fromUtf8("Ø 0.5 mm"));
  EXPECT_EQ(GetClipboardText(), "\xC3\x98 0.5 mm");
  // Bytes that are not UTF-8 are taken as Latin-1 rather than lost.
  SetClipboardText("25\xB5m");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("25µm"));
  SetClipboardBackend(nullptr);
}

}  // namespace
