// A simulated NC machine on the far end of a pseudo-terminal, speaking the
// DNC 1.3 wire protocol, for the link's tests.
//
// The link under test opens the terminal's slave by its path through a
// port factory that counts what the link writes; the machine plays on the
// master. Pump() reads what the link wrote and answers at once, so one
// test thread drives both ends: advance the virtual clock one tick, pump
// the machine, and so on. A seeded noise model can drop, duplicate or flip
// bytes in both directions, and the machine can be told to NAK packets.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dnc/dnc_packet.h"
#include "platform/events.h"
#include "platform/serial.h"

// Counts the bytes the link wrote so that the machine knows what to wait for.
struct TWireCounter {
  uint64_t Written = 0;
};

class TCountingPort : public TSerialPort {
 public:
  TCountingPort(std::unique_ptr<TSerialPort> inner, std::shared_ptr<TWireCounter> counter)
      : inner_(std::move(inner)), counter_(std::move(counter)) {}
  bool IsOpen() const override { return inner_->IsOpen(); }
  int64_t Read(uint8_t* buffer, size_t maxBytes) override {
    const int64_t n = inner_->Read(buffer, maxBytes);
    if (n < 0) Fail(inner_->LastErrorCode(), inner_->LastError());
    return n;
  }
  using TSerialPort::Write;
  bool Write(const uint8_t* data, size_t size) override {
    if (!inner_->Write(data, size)) return Fail(inner_->LastErrorCode(), inner_->LastError());
    counter_->Written += size;
    return true;
  }
  int64_t BytesInQueue() override { return inner_->BytesInQueue(); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<TSerialPort> inner_;
  std::shared_ptr<TWireCounter> counter_;
};

struct TLineNoise {
  double Drop = 0, Duplicate = 0, Flip = 0;  // chance per byte
};

class TDncMachine {
 public:
  TDncMachine() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) Path = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    counter_ = std::make_shared<TWireCounter>();
    auto counter = counter_;
    previousFactory_ = SetSerialPortFactory(
        [counter](const std::string& portName, const TSerialSettings& settings, std::string& error)
            -> std::unique_ptr<TSerialPort> {
          auto port = std::make_unique<TPosixSerialPort>();
          if (!port->Open(portName, settings)) {
            error = port->LastError();
            return nullptr;
          }
          return std::make_unique<TCountingPort>(std::move(port), counter);
        });
  }
  ~TDncMachine() {
    SetSerialPortFactory(previousFactory_);
    HangUp();
    if (slave_ >= 0) close(slave_);
  }
  TDncMachine(const TDncMachine&) = delete;
  TDncMachine& operator=(const TDncMachine&) = delete;

  // The terminal's slave, for the link's port name.
  std::string Path;

  // Programs the machine holds, as lines.
  std::map<std::string, std::vector<std::string>> Programs;
  // Every packet text the machine received good, in order.
  std::vector<std::string> Received;
  // Operator messages shown on the machine.
  std::vector<std::string> OperatorMessages;
  // Replies (E and G packets) the machine received.
  std::vector<std::string> Replies;

  // Behaviour.
  int NakNextPackets = 0;      // NAK this many good packets before taking one
  bool NakAlways = false;      // never take a packet
  bool Silent = false;         // read and never answer
  bool AnswerCan = false;      // answer the next ENQ with CAN once
  int FallSilentAfterNaks = -1;  // stop answering after this many NAKs
  std::string RewindAfter;     // ask for a rewind once, on the first data packet holding this line
  TLineNoise Noise;
  std::mt19937 Random{12345};

  // Counters for assertions.
  int NaksSent = 0, EnqsSeen = 0, CansSent = 0, RewindsAsked = 0;

  // The machine sends a program to the PC: RECV, then the data once the PC
  // agreed.
  void Upload(const std::string& name, const std::vector<std::string>& lines) {
    Request("RECV," + name);
    upload_ = lines;
    uploading_ = true;
  }

  // The machine asks the PC something (bids at once).
  void Request(const std::string& text) {
    if (text.rfind("SEND,", 0) == 0) incomingName_ = text.substr(5);
    outbox_.push_back(text);
  }

  // Closes the master: the port disappears under the link.
  void HangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  // Reads everything the link wrote and reacts to it.
  void Pump() {
    if (master_ < 0) return;
    WaitForLinkBytes();
    uint8_t buf[4096];
    for (;;) {
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      consumed_ += uint64_t(n);
      for (ssize_t i = 0; i < n; ++i) NoisyByte(buf[i]);
    }
    Timers();
    if (mode_ == TMode::Idle && !outbox_.empty() && !Silent) Bid();
    Flush();
  }

 private:
  enum class TMode { Idle, Receiving, Bidding, AwaitAck };

  uint32_t Now() const { return GetTickCount(); }
  bool Chance(double p) { return p > 0 && std::uniform_real_distribution<double>(0, 1)(Random) < p; }

  void WaitForLinkBytes() {
    const uint64_t expected = counter_->Written;
    for (int tries = 0; tries < 2000; ++tries) {
      int queued = 0;
      ioctl(master_, FIONREAD, &queued);
      if (consumed_ + uint64_t(queued) >= expected) return;
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, 1);
    }
  }

  // What goes out is collected and written at the end of a pump, noise and
  // all; then the machine waits until the link can read it.
  void Put(uint8_t byte) {
    if (Chance(Noise.Drop)) return;
    if (Chance(Noise.Flip)) byte = uint8_t(byte ^ (1u << std::uniform_int_distribution<int>(0, 7)(Random)));
    out_ += char(byte);
    if (Chance(Noise.Duplicate)) out_ += char(byte);
  }
  void Flush() {
    if (out_.empty() || master_ < 0) return;
    int before = 0;
    ioctl(slave_, FIONREAD, &before);
    size_t done = 0;
    while (done < out_.size()) {
      const ssize_t n = write(master_, out_.data() + done, out_.size() - done);
      if (n > 0) {
        done += size_t(n);
      } else {
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 10);
      }
    }
    for (int tries = 0; tries < 2000; ++tries) {
      int queued = 0;
      ioctl(slave_, FIONREAD, &queued);
      if (queued >= before + int(out_.size())) break;
      pollfd p{slave_, POLLIN, 0};
      poll(&p, 1, 1);
    }
    out_.clear();
  }

  void NoisyByte(uint8_t byte) {
    if (Chance(Noise.Drop)) return;
    if (Chance(Noise.Flip)) byte = uint8_t(byte ^ (1u << std::uniform_int_distribution<int>(0, 7)(Random)));
    Byte(byte);
    if (Chance(Noise.Duplicate)) Byte(byte);
  }

  void Byte(uint8_t byte) {
    if (Silent) return;
    switch (mode_) {
      case TMode::Idle:
        if (byte == DncENQ) AcceptBid();
        return;
      case TMode::Receiving:
        ReceiveByte(byte);
        return;
      case TMode::Bidding:
        if (byte == DncACK) {
          WritePacket();
        } else if (byte == DncENQ && lastSent_) {
          // Both bid: the side that just had its packet taken gives way.
          AcceptBid();
        }
        return;
      case TMode::AwaitAck:
        if (byte == DncACK) {
          lastSent_ = true;
          outbox_.pop_front();
          mode_ = TMode::Idle;
        } else if (byte == DncNAK) {
          WritePacket();
        }
        return;
    }
  }

  void AcceptBid() {
    ++EnqsSeen;
    if (AnswerCan) {
      AnswerCan = false;
      ++CansSent;
      Put(DncCAN);
      return;
    }
    Put(DncACK);
    mode_ = TMode::Receiving;
    bytes_.clear();
    since_ = Now();
  }

  void ReceiveByte(uint8_t byte) {
    if (bytes_.empty() && byte == DncENQ) {
      AcceptBid();  // the PC bids again after NAKs
      return;
    }
    if (bytes_.empty() && byte != DncSTX) return;
    bytes_ += char(byte);
    if (bytes_.size() < 2 || bytes_.size() < size_t(uint8_t(bytes_[1])) + 4) return;
    TDncPacket packet;
    packet.Text = bytes_.substr(2, uint8_t(bytes_[1]));
    packet.Sum = uint8_t(bytes_[bytes_.size() - 2]);
    packet.Xor = uint8_t(bytes_.back());
    bytes_.clear();
    if (!CheckDncPacket(packet) || NakAlways || NakNextPackets > 0) {
      if (NakNextPackets > 0) --NakNextPackets;
      ++NaksSent;
      Put(DncNAK);
      if (NaksSent == FallSilentAfterNaks) Silent = true;
      mode_ = TMode::Receiving;  // the PC repeats the packet (or bids again)
      since_ = Now();
      return;
    }
    Put(DncACK);
    mode_ = TMode::Idle;
    lastSent_ = false;
    Serve(packet.Text);
  }

  void Timers() {
    if (mode_ == TMode::Receiving && Now() - since_ > 2000) {
      // Nothing whole came: back to waiting for a bid.
      mode_ = TMode::Idle;
      bytes_.clear();
    } else if ((mode_ == TMode::Bidding || mode_ == TMode::AwaitAck) && Now() - since_ > 3000) {
      mode_ = TMode::Idle;  // bid again
    }
  }

  void Bid() {
    Put(DncENQ);
    mode_ = TMode::Bidding;
    since_ = Now();
  }

  void WritePacket() {
    const TDncPacket packet = BuildDncPacket(outbox_.front());
    for (char c : DncWireBytes(packet)) Put(uint8_t(c));
    mode_ = TMode::AwaitAck;
    since_ = Now();
  }

  // The machine's side of the conversation.
  void Serve(const std::string& text) {
    Received.push_back(text);
    const TDncCommand cmd = ParseDncCommand(text);
    if (text[0] == 'D' || text[0] == '!') {
      // A program coming from the PC.
      if (text[0] == '!' && text.substr(2) == "\r" && carry_.empty()) {
        Programs[incomingName_] = incoming_;
        incoming_.clear();
        Request("E,00");
        return;
      }
      std::string data = carry_ + text.substr(2);
      carry_.clear();
      size_t from = 0;
      for (size_t cr; (cr = data.find('\r', from)) != std::string::npos; from = cr + 1)
        incoming_.push_back(data.substr(from, cr - from));
      carry_ = data.substr(from);
      if (!RewindAfter.empty() && text[0] == 'D') {
        for (const std::string& line : incoming_)
          if (line == RewindAfter) {
            RewindAfter.clear();
            ++RewindsAsked;
            incoming_.clear();
            Request("G,02");
            return;
          }
      }
      if (text[0] == '!') {
        Programs[incomingName_] = incoming_;
        incoming_.clear();
        Request("E,00");
      }
      return;
    }
    if (cmd.Word >= DncReplyRefused || cmd.Field1 == "E" || cmd.Field1 == "G") {
      Replies.push_back(cmd.Text);
      if (cmd.Word != DncReplyOk && cmd.Word != DncReplyRewind && cmd.Word != DncReplyStop) {
        // The PC refused or gave up: the rest of a program the machine was
        // sending is dropped.
        for (size_t i = mode_ == TMode::Idle ? 0 : 1; i < outbox_.size();) {
          const char kind = outbox_[i][0];
          if (kind == 'D' || kind == '!')
            outbox_.erase(outbox_.begin() + long(i));
          else
            ++i;
        }
      }
      if (cmd.Word == DncReplyStop) {
        // The PC rewound: the program comes again from there.
        incoming_.clear();
        carry_.clear();
      }
      if (uploading_) {
        uploading_ = false;
        if (cmd.Word == DncReplyOk) QueueProgram(upload_);
      }
      return;
    }
    if (cmd.Field1 == "RECV") {
      incomingName_ = cmd.Field3;
      incoming_.clear();
      carry_.clear();
      Request("E,00");
    } else if (cmd.Field1 == "SEND") {
      auto found = Programs.find(cmd.Field2);
      if (found == Programs.end()) {
        Request("E,03");
        return;
      }
      Request("E,00");
      QueueProgram(found->second);
    } else if (cmd.Field1 == "OM") {
      OperatorMessages.push_back(text.substr(3, text.size() - 4));
      Request("E,00");
    }
  }

  // Data packets as full as the protocol allows: lines joined while they
  // fit, long lines in slices of the longest text.
  void QueueProgram(const std::vector<std::string>& lines) {
    std::string packet = "D,";
    for (const std::string& line : lines) {
      std::string rest = line + "\r";
      if (packet.size() + rest.size() <= DncMaxText) {
        packet += rest;
        continue;
      }
      if (packet.size() > 2) outbox_.push_back(packet);
      while (2 + rest.size() > DncMaxText) {
        outbox_.push_back("D," + rest.substr(0, DncMaxText - 2));
        rest.erase(0, DncMaxText - 2);
      }
      packet = "D," + rest;
    }
    if (packet.size() > 2) outbox_.push_back(packet);
    outbox_.push_back("!,");
  }

  int master_ = -1, slave_ = -1;
  std::shared_ptr<TWireCounter> counter_;
  TSerialPortFactory previousFactory_;
  uint64_t consumed_ = 0;
  TMode mode_ = TMode::Idle;
  std::string bytes_, out_;
  uint32_t since_ = 0;
  std::deque<std::string> outbox_;
  std::string incomingName_, carry_;
  std::vector<std::string> incoming_;
  std::vector<std::string> upload_;
  bool uploading_ = false;
  bool lastSent_ = false;
};
