#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <deque>
#include <system_error>

#include "platform/registry.h"

namespace {

const char* const kSerialPortsKey = "\\Software\\Orbenwright\\KORVEX\\6.0\\Serial Ports";
constexpr int kDefaultPortCount = 8;

std::string DefaultDevicePath(int port) {
  if (port >= 1 && port <= 4) return "/dev/ttyS" + std::to_string(port - 1);
  if (port >= 5 && port <= 8) return "/dev/ttyUSB" + std::to_string(port - 5);
  return "";
}

speed_t SpeedConstant(int rate) {
  switch (rate) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

// The port number of "COMn" or "\\.\COMn" (any case), or 0.
int PortNumber(const std::string& name) {
  std::string s = name;
  if (s.rfind("\\\\.\\", 0) == 0) s = s.substr(4);
  if (s.size() < 4 || s.size() > 6) return 0;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(s[i])) != "COM"[i]) return 0;
  int n = 0;
  for (size_t i = 3; i < s.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return 0;
    n = n * 10 + (s[i] - '0');
  }
  return n;
}

TSerialPortFactory& InstalledFactory() {
  static TSerialPortFactory factory;
  return factory;
}

}  // namespace

const std::vector<int>& StandardBaudRates() {
  static const std::vector<int> rates = {110,  300,   600,   1200,  2400,  4800,
                                         9600, 19200, 38400, 57600, 115200};
  return rates;
}

bool IsStandardBaudRate(int rate) {
  const std::vector<int>& r = StandardBaudRates();
  return std::find(r.begin(), r.end(), rate) != r.end();
}

// --- TSerialPort -------------------------------------------------------------

bool TSerialPort::Fail(int code) { return Fail(code, std::system_category().message(code)); }

bool TSerialPort::Fail(int code, const std::string& text) {
  lastErrorCode_ = code;
  lastError_ = text;
  return false;
}

std::string TSerialPort::ReadAvailable() {
  std::string out;
  uint8_t buffer[1024];
  for (;;) {
    int64_t n = Read(buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
  }
  return out;
}

// --- Port names ----------------------------------------------------------------

bool SerialDevicePath(const std::string& portName, std::string& devicePath, std::string& error) {
  if (!portName.empty() && portName[0] == '/') {
    devicePath = portName;
    return true;
  }
  const int port = PortNumber(portName);
  if (port < 1) {
    error = "\"" + portName + "\" is not a serial port name";
    return false;
  }
  TRegistry reg;
  if (!reg.OpenKey(kSerialPortsKey, true)) {
    error = "The serial port settings cannot be opened";
    return false;
  }
  // Make the defaults visible (and editable) in the settings.
  for (int i = 1; i <= kDefaultPortCount; ++i) {
    const std::string name = "COM" + std::to_string(i);
    if (!reg.ValueExists(name)) reg.WriteString(name, DefaultDevicePath(i));
  }
  std::string path;
  if (reg.ReadString("COM" + std::to_string(port), path) == TRegStatus::Ok && !path.empty()) {
    devicePath = path;
    return true;
  }
  // A value of the wrong type is left for the user to mend; the default
  // still serves.
  path = DefaultDevicePath(port);
  if (path.empty()) {
    error = "No device is set for COM" + std::to_string(port);
    return false;
  }
  devicePath = path;
  return true;
}

// --- TPosixSerialPort ----------------------------------------------------------

TPosixSerialPort::~TPosixSerialPort() { Close(); }

bool TPosixSerialPort::Open(const std::string& portName, const TSerialSettings& settings) {
  Close();
  std::string path, error;
  if (!SerialDevicePath(portName, path, error)) return Fail(ENODEV, error);
  return OpenDevice(path, settings);
}

bool TPosixSerialPort::OpenDevice(const std::string& devicePath, const TSerialSettings& settings) {
  Close();
  ClearError();
  const speed_t speed = SpeedConstant(settings.BaudRate);
  if (speed == B0 || !IsStandardBaudRate(settings.BaudRate)) return Fail(EINVAL);

  int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  auto failClosed = [&](int code) {
    ::close(fd);
    return Fail(code);
  };
  if (!::isatty(fd)) return failClosed(ENOTTY);
  // The port belongs to this program alone while it is open.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return failClosed(errno == EWOULDBLOCK ? EBUSY : errno);
  ::ioctl(fd, TIOCEXCL);

  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return failClosed(errno);
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | ISTRIP | INPCK | PARMRK);
  if (settings.FlowControl == TSerialFlowControl::XonXoff) tio.c_iflag |= IXON | IXOFF;
  if (settings.FlowControl == TSerialFlowControl::RtsCts) tio.c_cflag |= CRTSCTS;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
    return failClosed(errno);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return failClosed(errno);
  ::tcflush(fd, TCIOFLUSH);

  fd_ = fd;
  baudRate_ = settings.BaudRate;
  devicePath_ = devicePath;
  return true;
}

int64_t TPosixSerialPort::Read(uint8_t* buffer, size_t maxBytes) {
  if (fd_ < 0) {
    Fail(EBADF);
    return -1;
  }
  if (maxBytes == 0) return 0;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, maxBytes);
    if (n > 0) return n;
    // Nothing to read: either the line is quiet or it hung up (a device
    // unplugged, the far end of a terminal closed), which only poll tells.
    if (n == 0) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP)) {
        Fail(EIO);
        return -1;
      }
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    Fail(errno);
    return -1;
  }
}

bool TPosixSerialPort::Write(const uint8_t* data, size_t size) {
  if (fd_ < 0) return Fail(EBADF);
  // Allow twice the time the bytes take on the line, plus two seconds, for
  // the line to take them (flow control may hold it).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000) +
                        std::chrono::milliseconds(static_cast<int64_t>(size) * 20000 / baudRate_);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Fail(errno);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Fail(ETIMEDOUT);
    pollfd p{fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno != EINTR) return Fail(errno);
    if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return Fail(EIO);
  }
  return true;
}

int64_t TPosixSerialPort::BytesInQueue() {
  if (fd_ < 0) {
    Fail(EBADF);
    return -1;
  }
  int count = 0;
  if (::ioctl(fd_, FIONREAD, &count) != 0) {
    Fail(errno);
    return -1;
  }
  return count;
}

void TPosixSerialPort::Close() {
  if (fd_ < 0) return;
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);  // also releases the lock
  fd_ = -1;
}

// --- In-memory pair --------------------------------------------------------------

namespace {

struct TMemoryLine {
  std::deque<uint8_t> Queue[2];  // Queue[i]: bytes waiting for end i
  bool Open[2] = {true, true};
};

class TMemorySerialPort : public TSerialPort {
 public:
  TMemorySerialPort(std::shared_ptr<TMemoryLine> line, int side) : line_(std::move(line)), side_(side) {}
  ~TMemorySerialPort() override { Close(); }

  bool IsOpen() const override { return line_->Open[side_]; }

  int64_t Read(uint8_t* buffer, size_t maxBytes) override {
    if (!IsOpen()) {
      Fail(EBADF);
      return -1;
    }
    std::deque<uint8_t>& q = line_->Queue[side_];
    size_t n = std::min(maxBytes, q.size());
    std::copy_n(q.begin(), n, buffer);
    q.erase(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int64_t>(n);
  }

  bool Write(const uint8_t* data, size_t size) override {
    if (!IsOpen()) return Fail(EBADF);
    if (!line_->Open[1 - side_]) return Fail(EPIPE);
    line_->Queue[1 - side_].insert(line_->Queue[1 - side_].end(), data, data + size);
    return true;
  }

  int64_t BytesInQueue() override {
    if (!IsOpen()) {
      Fail(EBADF);
      return -1;
    }
    return static_cast<int64_t>(line_->Queue[side_].size());
  }

  void Close() override {
    line_->Open[side_] = false;
    line_->Queue[side_].clear();
  }

 private:
  std::shared_ptr<TMemoryLine> line_;
  int side_;
};

}  // namespace

std::pair<std::unique_ptr<TSerialPort>, std::unique_ptr<TSerialPort>> CreateMemorySerialPair() {
  auto line = std::make_shared<TMemoryLine>();
  return {std::make_unique<TMemorySerialPort>(line, 0), std::make_unique<TMemorySerialPort>(line, 1)};
}

// --- Factory ---------------------------------------------------------------------

std::unique_ptr<TSerialPort> OpenSerialPort(const std::string& portName,
                                            const TSerialSettings& settings, std::string& error) {
  if (InstalledFactory()) return InstalledFactory()(portName, settings, error);
  auto port = std::make_unique<TPosixSerialPort>();
  if (!port->Open(portName, settings)) {
    error = port->LastError();
    return nullptr;
  }
  return port;
}

TSerialPortFactory SetSerialPortFactory(TSerialPortFactory factory) {
  TSerialPortFactory previous = std::move(InstalledFactory());
  InstalledFactory() = std::move(factory);
  return previous;
}
