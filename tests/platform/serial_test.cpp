#include "platform/serial.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "korvex_test.h"
#include "platform/registry.h"

namespace {

// A pseudo-terminal: the port under test opens the slave by its path; the
// test plays the far end on the master.
struct TPty {
  int Master = -1;
  int Slave = -1;
  std::string Path;
  TPty() {
    char name[256] = {};
    if (openpty(&Master, &Slave, name, nullptr, nullptr) == 0) Path = name;
  }
  ~TPty() {
    if (Master >= 0) close(Master);
    if (Slave >= 0) close(Slave);
  }
  // Reads exactly n bytes from the master, waiting up to a few seconds.
  std::string ReadMaster(size_t n) {
    std::string out;
    for (int tries = 0; out.size() < n && tries < 500; ++tries) {
      pollfd p{Master, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      char buf[512];
      ssize_t got = read(Master, buf, std::min(sizeof buf, n - out.size()));
      if (got > 0) out.append(buf, static_cast<size_t>(got));
    }
    return out;
  }
};

std::string AllByteValues() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s;
}

// Reads what the port receives until n bytes have come (bounded wait).
std::string ReadPort(TSerialPort& port, size_t n) {
  std::string out;
  for (int tries = 0; out.size() < n && tries < 500; ++tries) {
    std::string got = port.ReadAvailable();
    out += got;
    if (got.empty()) usleep(10000);
  }
  return out;
}

const char* const kPortsKey = "\\Software\\Orbenwright\\KORVEX\\6.0\\Serial Ports";

}  // namespace

class SerialTest : public TKorvexTest {};

TEST_F(SerialTest, EveryByteValuePassesBothWaysUnchanged) {
  TPty pty;
  ASSERT_FALSE(pty.Path.empty());
  TPosixSerialPort port;
  ASSERT_TRUE(port.OpenDevice(pty.Path, TSerialSettings{9600})) << port.LastError();
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.DevicePath(), pty.Path);

  const std::string bytes = AllByteValues();
  ASSERT_TRUE(port.Write(bytes));
  EXPECT_EQ(pty.ReadMaster(bytes.size()), bytes);

  // Nothing there: the read returns at once with nothing.
  uint8_t b = 0;
  EXPECT_FALSE(port.ReadByte(b));
  EXPECT_EQ(port.BytesInQueue(), 0);

  ASSERT_EQ(write(pty.Master, bytes.data(), bytes.size()), 256);
  for (int tries = 0; port.BytesInQueue() < 256 && tries < 500; ++tries) usleep(10000);
  EXPECT_EQ(port.BytesInQueue(), 256);
  ASSERT_TRUE(port.ReadByte(b));
  EXPECT_EQ(b, 0);
  EXPECT_EQ(ReadPort(port, 255), bytes.substr(1));

  // The far end going away is an error, not a quiet line.
  close(pty.Master);
  pty.Master = -1;
  EXPECT_EQ(port.Read(&b, 1), -1);
  EXPECT_EQ(port.LastErrorCode(), EIO);
}

TEST_F(SerialTest, LineIsSetRawEightNoneOneWithTheAskedFlowControl) {
  TPty pty;
  TPosixSerialPort port;
  ASSERT_TRUE(port.OpenDevice(pty.Path, TSerialSettings{9600}));
  termios tio{};
  ASSERT_EQ(tcgetattr(pty.Slave, &tio), 0);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ISTRIP | ICRNL), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));

  port.Close();
  ASSERT_TRUE(port.OpenDevice(pty.Path, TSerialSettings{19200, TSerialFlowControl::XonXoff}));
  ASSERT_EQ(tcgetattr(pty.Slave, &tio), 0);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B19200));
}

TEST_F(SerialTest, FailuresReportTheSystemsText) {
  TPosixSerialPort port;
  EXPECT_FALSE(port.OpenDevice((TempDir / "no-such-tty").string(), TSerialSettings{}));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastErrorCode(), ENOENT);
  EXPECT_EQ(port.LastError(), std::strerror(ENOENT));

  // A plain file is no terminal.
  WriteFileBytes(TempDir / "plain", "x");
  EXPECT_FALSE(port.OpenDevice((TempDir / "plain").string(), TSerialSettings{}));
  EXPECT_EQ(port.LastError(), std::strerror(ENOTTY));

  TPty pty;
  EXPECT_FALSE(port.OpenDevice(pty.Path, TSerialSettings{14400}));
  EXPECT_EQ(port.LastError(), std::strerror(EINVAL));

  // A port in use is refused to a second opener.
  ASSERT_TRUE(port.OpenDevice(pty.Path, TSerialSettings{}));
  TPosixSerialPort second;
  EXPECT_FALSE(second.OpenDevice(pty.Path, TSerialSettings{}));
  EXPECT_EQ(second.LastError(), std::strerror(EBUSY));
  port.Close();
  EXPECT_TRUE(second.OpenDevice(pty.Path, TSerialSettings{}));

  // A closed port fails every operation.
  second.Close();
  uint8_t b;
  EXPECT_EQ(second.Read(&b, 1), -1);
  EXPECT_EQ(second.LastError(), std::strerror(EBADF));
  EXPECT_FALSE(second.WriteByte(1));
  EXPECT_EQ(second.BytesInQueue(), -1);
}

TEST_F(SerialTest, PortNamesMapThroughTheSettings) {
  std::string path, error;
  ASSERT_TRUE(SerialDevicePath("COM1", path, error));
  EXPECT_EQ(path, "/dev/ttyS0");
  ASSERT_TRUE(SerialDevicePath("\\\\.\\COM4", path, error));
  EXPECT_EQ(path, "/dev/ttyS3");
  ASSERT_TRUE(SerialDevicePath("com6", path, error));
  EXPECT_EQ(path, "/dev/ttyUSB1");
  ASSERT_TRUE(SerialDevicePath("/dev/ttyACM0", path, error));
  EXPECT_EQ(path, "/dev/ttyACM0");

  // The defaults were written where a user can change them.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kPortsKey, false));
  std::string stored;
  EXPECT_EQ(reg.ReadString("COM8", stored), TRegStatus::Ok);
  EXPECT_EQ(stored, "/dev/ttyUSB3");
  EXPECT_EQ(reg.GetValueNames().size(), 8u);

  EXPECT_FALSE(SerialDevicePath("COM9", path, error));
  EXPECT_EQ(error, "No device is set for COM9");
  EXPECT_FALSE(SerialDevicePath("LPT1", path, error));
  EXPECT_FALSE(SerialDevicePath("COM", path, error));
  EXPECT_FALSE(SerialDevicePath("COM0", path, error));

  // A port pointed at a device opens by its name; a user's entry is kept.
  TPty pty;
  ASSERT_TRUE(reg.WriteString("COM2", pty.Path));
  ASSERT_TRUE(reg.WriteString("COM9", pty.Path));
  reg.CloseKey();
  TPosixSerialPort port;
  ASSERT_TRUE(port.Open("COM2", TSerialSettings{38400})) << port.LastError();
  EXPECT_EQ(port.DevicePath(), pty.Path);
  ASSERT_TRUE(SerialDevicePath("COM2", path, error));
  EXPECT_EQ(path, pty.Path);

  TPosixSerialPort other;
  EXPECT_FALSE(other.Open("LPT1", TSerialSettings{}));
  EXPECT_EQ(other.LastError(), "\"LPT1\" is not a serial port name");
}

TEST_F(SerialTest, MemoryPairCarriesBytesBothWays) {
  auto [a, b] = CreateMemorySerialPair();
  const std::string bytes = AllByteValues();
  ASSERT_TRUE(a->Write(bytes));
  ASSERT_TRUE(b->Write("\x05\x82"));
  EXPECT_EQ(b->BytesInQueue(), 256);
  EXPECT_EQ(a->BytesInQueue(), 2);
  uint8_t first = 0;
  ASSERT_TRUE(a->ReadByte(first));
  EXPECT_EQ(first, 0x05);
  EXPECT_EQ(b->ReadAvailable(), bytes);
  EXPECT_EQ(b->ReadAvailable(), "");

  b->Close();
  EXPECT_FALSE(b->IsOpen());
  EXPECT_FALSE(a->WriteByte(6));
  EXPECT_EQ(a->LastError(), std::strerror(EPIPE));
  // What had arrived before the far end closed can still be read.
  ASSERT_TRUE(a->ReadByte(first));
  EXPECT_EQ(first, 0x82);
}

TEST_F(SerialTest, FactoryLetsProtocolCodeOpenAMemoryPort) {
  auto [near, far] = CreateMemorySerialPair();
  std::string askedFor;
  int askedBaud = 0;
  TSerialPortFactory previous = SetSerialPortFactory(
      [&, n = std::shared_ptr<TSerialPort>(std::move(near))](
          const std::string& name, const TSerialSettings& s, std::string&) mutable {
        askedFor = name;
        askedBaud = s.BaudRate;
        struct TView : TSerialPort {
          std::shared_ptr<TSerialPort> P;
          explicit TView(std::shared_ptr<TSerialPort> p) : P(std::move(p)) {}
          bool IsOpen() const override { return P->IsOpen(); }
          int64_t Read(uint8_t* buf, size_t max) override { return P->Read(buf, max); }
          bool Write(const uint8_t* d, size_t n) override { return P->Write(d, n); }
          int64_t BytesInQueue() override { return P->BytesInQueue(); }
          void Close() override { P->Close(); }
        };
        return std::unique_ptr<TSerialPort>(new TView(n));
      });
  EXPECT_FALSE(previous);
  std::string error;
  auto port = OpenSerialPort("\\\\.\\COM1", TSerialSettings{4800}, error);
  ASSERT_TRUE(port);
  EXPECT_EQ(askedFor, "\\\\.\\COM1");
  EXPECT_EQ(askedBaud, 4800);
  ASSERT_TRUE(port->WriteByte(0x06));
  EXPECT_EQ(far->ReadAvailable(), "\x06");
  SetSerialPortFactory(nullptr);

  // The default factory opens real devices and reports their failure.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kPortsKey, true));
  ASSERT_TRUE(reg.WriteString("COM3", (TempDir / "missing").string()));
  reg.CloseKey();
  EXPECT_FALSE(OpenSerialPort("COM3", TSerialSettings{}, error));
  EXPECT_EQ(error, std::strerror(ENOENT));
}
