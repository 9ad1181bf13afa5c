// The DNC 1.3 link: one serial port, one NC machine.
//
// TDNC13Link serves the machine's requests (send it a program, take one
// from it, say whether a program exists, show an operator message) and
// carries out the PC user's commands (transmit a file, fetch a program, send
// an operator message). Everything runs on the GUI thread: a 20 ms timer
// runs one tick of a state machine, which reads what the port has buffered
// and writes single bytes, and reports through six events and a status text,
// never through message boxes.
//
// Waits are measured on the monotonic tick count, so none of them depends on
// the time of day. Programs from the machine are written to a temporary file
// beside their final name and put in place only when the whole program has
// come; names the machine sends are plain file names inside the link's
// folders or they are refused.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "dnc/dnc_packet.h"
#include "platform/events.h"
#include "platform/file_ops.h"
#include "platform/serial.h"

// Enabling failed for a reason the user can mend (folders, rate, port).
class EDncPortError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDNC13Link {
 public:
  using TLinkEvent = std::function<void(TDNC13Link& sender)>;

  TDNC13Link();
  ~TDNC13Link();
  TDNC13Link(const TDNC13Link&) = delete;
  TDNC13Link& operator=(const TDNC13Link&) = delete;

  // Opens the port and starts the timer, or closes both. Enabling checks,
  // in order, the upload folder (writable), the download folder (exists),
  // the rate and the port name, then opens the port; each failure throws
  // EDncPortError with its text and leaves the link disabled.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Server mode: the machine's SEND, SENB, SEN?, RECV, RECB and RECN
  // requests are served; when false they are refused.
  bool AcceptCmds = false;
  // RECV and RECN (the machine sends a program to the PC) are accepted.
  bool AllowUploads = false;
  // A user command is pending or under way.
  bool DNCCommandProcessing() const { return commandProcessing_; }

  // Port and rate can change only while the link is disabled; a change on
  // an open link throws EDncPortError.
  const std::string& ComPortName() const { return comPortName_; }
  void SetComPortName(const std::string& name);
  int ComPortBaud() const { return comPortBaud_; }
  void SetComPortBaud(int baud);

  // Folder for programs that come from the machine, and for those that go
  // to it; empty means the current folder.
  std::string UploadDir;
  std::string DownloadDir;

  TLinkEvent OnStatusMsg, OnPktRcvdMsg, OnPktSentMsg, OnProgressMsg, OnTaskFailed, OnTaskDone;

  // The text of the last status report.
  const std::string& Message() const { return message_; }
  // Percent of the file being sent.
  int Progress() const { return progress_; }

  // Gives the link a user command (see ParseDncUserCommand); the idle
  // state takes it up. DNCCommandProcessing is true until it ended.
  void ExecuteUserCommand(const std::string& command);

  // One step of the state machine, as the timer runs it.
  void Tick();

  // The state and substate now (for the window and for tests).
  int State() const { return state_; }
  int Substate() const { return substate_; }

 private:
  struct TFrame {
    uint8_t State = 0;
    int32_t Substate = 0;
  };
  static constexpr int StackSize = 127;

  // --- clock and port ---
  uint32_t Now() const;
  bool Expired(uint32_t stamp, uint32_t centiseconds) const;
  int ReadByte();  // the byte, -1 when none
  void WriteByte(uint8_t byte);
  void WritePacket(const TDncPacket& packet);
  void PortLost(std::string text);  // a copy: the port goes away first

  // --- exchange helpers ---
  void Push(uint8_t state, int32_t substate);
  void Pop();
  void SendText(const std::string& text);
  void PrepareReceive();
  void ErrorReset();  // "E,-1", then reset once it went out
  void SetStatus(const std::string& text) { status_ = text; }
  void ResetLink();
  void SetProgress(int64_t total, int64_t done);
  void CloseTransferFiles();
  // Ends the user's command with the text: the stack is emptied and the
  // failure state reports it.
  void FailCommand(const std::string& text);
  std::string ReceivedText() const { return recvPkt_.Text; }
  std::string FolderFile(const std::string& dir, const std::string& name) const;

  // --- states ---
  void Idle();
  void RemoteCommand();
  void Reset();
  void Bid();
  void AwaitAck();
  void ReceivePacket();
  void ReceiveBytes();
  void SendFile();
  void ReceiveFile();
  void OperatorMessage();
  void TransmitRequest();
  void FetchRequest();
  void TaskFailed();

  // --- sending a file ---
  bool OpenSendFile();
  bool NextSendLine(std::string& line);
  void SendData();
  void FinishSend();
  // --- receiving a file ---
  bool OpenReceiveFile(const std::string& name);
  bool StoreLines(const std::string& payload, bool last);
  bool CommitReceiveFile();
  void DropReceiveFile();

  void Fire(const TLinkEvent& event) {
    if (event) event(*this);
  }

  bool enabled_ = false;
  bool commandProcessing_ = false;
  std::string comPortName_;
  int comPortBaud_ = 0;
  std::unique_ptr<TSerialPort> port_;
  std::unique_ptr<TTimer> timer_;
  bool portLost_ = false;

  uint8_t state_ = 0;
  int32_t substate_ = 0;
  TFrame stack_[StackSize + 1];
  int depth_ = 0;

  TDncPacket recvPkt_, sendPkt_;
  size_t byteCount_ = 0;
  size_t recvLength_ = 0;
  bool complete_ = false;
  bool acknowledged_ = false;
  bool error_ = false;
  bool lastWasReceived_ = false;
  bool noReceiveTimeOut_ = false;
  bool suppressTaskDone_ = false;

  int enqTries_ = 0, sendRetries_ = 0, receiveRetries_ = 0;
  uint32_t enqTime_ = 0, packetTime_ = 0, receiveTime_ = 0, pauseTime_ = 0;

  std::string status_, reportedStatus_, failureText_, message_;
  std::string userCommand_;
  TDncUserCommand command_;
  TDncCommand remote_;

  // File being sent.
  std::FILE* sendFile_ = nullptr;
  std::string sendName_;
  std::string sendText_;
  std::string pendingLine_;
  bool hasPendingLine_ = false;
  std::string longLineRest_;
  bool longLine_ = false;
  bool sendReadError_ = false;
  bool sendTooLong_ = false;  // the file holds a line beyond the reader's bound
  int32_t lineNumber_ = -1, lastEnd_ = -1, previousEnd_ = -1;
  int64_t total_ = 1, done_ = 0;
  int progress_ = 0;

  // File being received.
  std::unique_ptr<TReplacingFile> recvFile_;
  std::string recvName_;
  std::string recvCarry_;
  int32_t lineCount_ = 0;
};
