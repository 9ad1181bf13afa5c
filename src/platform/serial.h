// Serial ports.
//
// The program names its ports "COM1", "COM2", ... (also written "\\.\COM1").
// Each name maps to a device path kept in the settings store under
// "\Software\Orbenwright\KORVEX\6.0\Serial Ports" (string values "COM1" ...);
// COM1..COM4 default to /dev/ttyS0..3 and COM5..COM8 to /dev/ttyUSB0..3, and
// the defaults are written there when missing so that a user can edit them.
// A name beginning with "/" is taken as a device path as it stands.
//
// A port runs raw: 8 data bits, no parity, one stop bit, no character
// translation, no flow control unless asked for. Reads never wait: they
// return what has arrived. A failure leaves the system's error text in
// LastError().
//
// OpenSerialPort goes through a replaceable factory: the default opens the
// device with termios; tests of protocol code install one that hands out an
// end of an in-memory pipe pair (CreateMemorySerialPair).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

enum class TSerialFlowControl { None, XonXoff, RtsCts };

struct TSerialSettings {
  int BaudRate = 9600;  // one of StandardBaudRates()
  TSerialFlowControl FlowControl = TSerialFlowControl::None;
};

// 110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200.
const std::vector<int>& StandardBaudRates();
bool IsStandardBaudRate(int rate);

class TSerialPort {
 public:
  virtual ~TSerialPort() = default;
  virtual bool IsOpen() const = 0;
  // Copies up to maxBytes of what has arrived into buffer without waiting.
  // Returns the count (0 when nothing is there), or -1 on an error.
  virtual int64_t Read(uint8_t* buffer, size_t maxBytes) = 0;
  // Writes every byte (waiting while the line is busy), or fails.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
  // Bytes received and not yet read; -1 on an error.
  virtual int64_t BytesInQueue() = 0;
  virtual void Close() = 0;
  // The system's text for the last failure ("" when none happened).
  const std::string& LastError() const { return lastError_; }
  int LastErrorCode() const { return lastErrorCode_; }

  // One byte: true when a byte was read.
  bool ReadByte(uint8_t& byte) { return Read(&byte, 1) == 1; }
  bool WriteByte(uint8_t byte) { return Write(&byte, 1); }
  bool Write(const std::string& bytes) {
    return Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  // Everything that has arrived, as a byte string ("" also on an error).
  std::string ReadAvailable();

 protected:
  // Records an errno code with the system's text for it (or the given
  // text); always returns false.
  bool Fail(int code);
  bool Fail(int code, const std::string& text);
  void ClearError() {
    lastError_.clear();
    lastErrorCode_ = 0;
  }

 private:
  std::string lastError_;
  int lastErrorCode_ = 0;
};

// A port on a terminal device, through termios.
class TPosixSerialPort : public TSerialPort {
 public:
  TPosixSerialPort() = default;
  ~TPosixSerialPort() override;
  TPosixSerialPort(const TPosixSerialPort&) = delete;
  TPosixSerialPort& operator=(const TPosixSerialPort&) = delete;

  // Opens the device for this program alone and sets it up. A port that is
  // already open is closed first. False with LastError() on failure, and the
  // port stays closed.
  bool Open(const std::string& portName, const TSerialSettings& settings);
  bool OpenDevice(const std::string& devicePath, const TSerialSettings& settings);

  using TSerialPort::Write;
  bool IsOpen() const override { return fd_ >= 0; }
  int64_t Read(uint8_t* buffer, size_t maxBytes) override;
  bool Write(const uint8_t* data, size_t size) override;
  int64_t BytesInQueue() override;
  void Close() override;
  const std::string& DevicePath() const { return devicePath_; }

 private:
  int fd_ = -1;
  int baudRate_ = 9600;
  std::string devicePath_;
};

// The device path of a port name ("COM3", "\\.\COM3", "com3" or a path).
// Returns false with an explanation in error when the name is not a port.
bool SerialDevicePath(const std::string& portName, std::string& devicePath, std::string& error);

// Two ports joined back to back in memory: what one writes the other reads.
// Closing one end makes writes from the other fail.
std::pair<std::unique_ptr<TSerialPort>, std::unique_ptr<TSerialPort>> CreateMemorySerialPair();

// Opens a port by the program's name through the installed factory. Returns
// null with the system's text in error on failure.
using TSerialPortFactory = std::function<std::unique_ptr<TSerialPort>(
    const std::string& portName, const TSerialSettings& settings, std::string& error)>;
std::unique_ptr<TSerialPort> OpenSerialPort(const std::string& portName,
                                            const TSerialSettings& settings, std::string& error);
// Installs a factory; an empty one puts the termios factory back. Returns the
// previous factory (empty for the default).
TSerialPortFactory SetSerialPortFactory(TSerialPortFactory factory);
