#include "dnc/dnc_link.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "foundation/file_utils.h"
#include "platform/paths.h"

namespace {

// Waits, in centiseconds.
constexpr uint32_t EnqWait = 500;
constexpr uint32_t AckWait = 1500;
constexpr uint32_t ReceiveWait = 750;
constexpr uint32_t CanPause = 6;
constexpr int MaxEnqTries = 10;  // counted twice per repeat: six ENQs in all
constexpr int MaxRetries = 12;
// Lines are grouped into data packets of at most this many characters.
constexpr size_t GroupedPacket = 80;
// A long line goes out in slices of this many characters, in packets of the
// longest text, which carry no CR.
constexpr size_t LineSlice = DncMaxText - 2;

const int BaudRates[9] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400};

// A packet text without its closing CR.
std::string TrimmedText(const std::string& text) {
  return !text.empty() && text.back() == DncCR ? text.substr(0, text.size() - 1) : text;
}

bool IsProgramLine(const std::string& line) { return !line.empty() && (line[0] == '%' || line[0] == 'M'); }

}  // namespace

TDNC13Link::TDNC13Link() = default;

TDNC13Link::~TDNC13Link() {
  try {
    SetEnabled(false);
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------
// Properties

void TDNC13Link::SetComPortName(const std::string& name) {
  if (name == comPortName_) return;
  if (enabled_) throw EDncPortError("Failed reassignment of an open port.");
  comPortName_ = name.substr(0, 255);
}

void TDNC13Link::SetComPortBaud(int baud) {
  if (baud == comPortBaud_) return;
  if (enabled_) throw EDncPortError("Failed baud rate change of an open port.");
  comPortBaud_ = baud;
}

void TDNC13Link::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  if (!enabled) {
    CloseTransferFiles();
    timer_.reset();
    if (port_) port_->Close();
    port_.reset();
    enabled_ = false;
    commandProcessing_ = false;
    userCommand_.clear();
    return;
  }
  if (UploadDir.empty()) UploadDir = ".";
  if (DownloadDir.empty()) DownloadDir = ".";
  if (!DirectoryIsWritable(UploadDir)) throw EDncPortError("Bad upload path <" + UploadDir + ">.");
  if (!DirectoryExists(DownloadDir)) throw EDncPortError("Bad download path <" + DownloadDir + ">.");
  if (std::find(std::begin(BaudRates), std::end(BaudRates), comPortBaud_) == std::end(BaudRates))
    throw EDncPortError("Illegal baud rate <" + std::to_string(comPortBaud_) + ">.");
  if (comPortName_.empty()) throw EDncPortError("Illegal com port <>.");
  std::string error;
  TSerialSettings settings;
  settings.BaudRate = comPortBaud_;
  std::unique_ptr<TSerialPort> port = OpenSerialPort(comPortName_, settings, error);
  if (!port) {
    // The system speaks of files; here they are ports.
    for (size_t at = 0; (at = error.find("file", at)) != std::string::npos; at += 4) error.replace(at, 4, "port");
    for (size_t at = 0; (at = error.find("File", at)) != std::string::npos; at += 4) error.replace(at, 4, "Port");
    throw EDncPortError(error.empty() ? "Cannot open port <" + comPortName_ + ">." : error);
  }
  port_ = std::move(port);
  portLost_ = false;
  timer_ = std::make_unique<TTimer>();
  timer_->SetInterval(20);
  timer_->OnTimer = [this] {
    if (enabled_) Tick();
  };
  enabled_ = true;
  suppressTaskDone_ = true;
  ResetLink();
  // "Ready" is reported before the first tick replaces it.
  reportedStatus_ = message_ = status_;
  Fire(OnStatusMsg);
  for (int i = 0; i < 10 && enabled_; ++i) Tick();
}

void TDNC13Link::ExecuteUserCommand(const std::string& command) {
  userCommand_ = command;
  commandProcessing_ = true;
}

// ---------------------------------------------------------------------------
// Clock and port

uint32_t TDNC13Link::Now() const { return GetTickCount(); }

bool TDNC13Link::Expired(uint32_t stamp, uint32_t centiseconds) const {
  // Unsigned difference: right across the tick count's wrap.
  return (Now() - stamp) / 10 > centiseconds;
}

int TDNC13Link::ReadByte() {
  if (!port_ || portLost_) return -1;
  uint8_t byte = 0;
  const int64_t got = port_->Read(&byte, 1);
  if (got == 1) return byte;
  if (got < 0) PortLost(port_->LastError());
  return -1;
}

void TDNC13Link::WriteByte(uint8_t byte) {
  if (!port_ || portLost_) return;
  if (!port_->WriteByte(byte)) PortLost(port_->LastError());
}

void TDNC13Link::WritePacket(const TDncPacket& packet) {
  for (char c : DncWireBytes(packet)) WriteByte(static_cast<uint8_t>(c));
}

void TDNC13Link::PortLost(std::string text) {
  if (portLost_) return;
  portLost_ = true;
  CloseTransferFiles();
  timer_.reset();
  if (port_) port_->Close();
  port_.reset();
  enabled_ = false;
  commandProcessing_ = false;
  userCommand_.clear();
  state_ = 0;
  substate_ = 0;
  depth_ = 0;
  status_ = "DNC Port error : " + text;
  reportedStatus_ = status_;
  message_ = status_;
  Fire(OnStatusMsg);
  Fire(OnTaskFailed);
}

// ---------------------------------------------------------------------------
// Exchange helpers

void TDNC13Link::Push(uint8_t state, int32_t substate) {
  if (depth_ + 1 > StackSize) {
    error_ = true;
    state_ = 3;
    substate_ = 0;
    depth_ = 0;
    return;
  }
  ++depth_;
  stack_[depth_] = TFrame{state_, substate_};
  state_ = state;
  substate_ = substate;
}

void TDNC13Link::Pop() {
  if (depth_ <= 0) {
    state_ = 0;
    substate_ = 0;
    depth_ = 0;
    return;
  }
  state_ = stack_[depth_].State;
  substate_ = stack_[depth_].Substate;
  --depth_;
}

void TDNC13Link::SendText(const std::string& text) {
  sendPkt_ = BuildDncPacket(text);
  Push(4, 0);
}

void TDNC13Link::PrepareReceive() {
  WriteByte(DncACK);
  receiveTime_ = Now();
  byteCount_ = 0;
  complete_ = false;
}

void TDNC13Link::ErrorReset() {
  SetStatus("DNC Error -1");
  state_ = 2;
  substate_ = 0;
  SendText("E,-1");
}

void TDNC13Link::SetProgress(int64_t total, int64_t done) {
  total_ = std::max<int64_t>(total, 1);
  done_ = done;
  const int percent = int(std::clamp<int64_t>(done_ * 100 / total_, 0, 100));
  if (!OnProgressMsg || percent == progress_) return;
  progress_ = percent;
  OnProgressMsg(*this);
}

void TDNC13Link::ResetLink() {
  complete_ = acknowledged_ = error_ = lastWasReceived_ = noReceiveTimeOut_ = false;
  enqTries_ = sendRetries_ = receiveRetries_ = 0;
  byteCount_ = 0;
  status_.clear();
  reportedStatus_.clear();
  failureText_.clear();
  userCommand_.clear();
  commandProcessing_ = false;
  state_ = 0;
  substate_ = 0;
  depth_ = 0;
  SetStatus("DNC 1.3 Ready");
  SetProgress(1, 0);
}

void TDNC13Link::CloseTransferFiles() {
  if (sendFile_) std::fclose(sendFile_);
  sendFile_ = nullptr;
  DropReceiveFile();
}

std::string TDNC13Link::FolderFile(const std::string& dir, const std::string& name) const {
  if (dir.empty()) return name;
  const char last = dir.back();
  return last == '/' || last == '\\' ? dir + name : dir + PathDelim + name;
}

// ---------------------------------------------------------------------------
// One tick

void TDNC13Link::Tick() {
  if (!enabled_) return;
  if (error_) {
    // Report the failure now; the reset runs on the next tick.
    SetStatus("DNC ERROR : No Response!");
    state_ = 2;
    substate_ = 0;
    depth_ = 0;
    CloseTransferFiles();
    error_ = false;
  } else {
    switch (state_) {
      case 0: Idle(); break;
      case 1: RemoteCommand(); break;
      case 2: Reset(); break;
      case 4: Bid(); break;
      case 5: AwaitAck(); break;
      case 6: ReceivePacket(); break;
      case 7: SendFile(); break;
      case 8: ReceiveFile(); break;
      case 9: OperatorMessage(); break;
      case 11: TransmitRequest(); break;
      case 12: FetchRequest(); break;
      case 13: TaskFailed(); break;
      default: break;
    }
  }
  if (portLost_) return;
  if (status_ != reportedStatus_) {
    message_ = status_;
    reportedStatus_ = status_;
    Fire(OnStatusMsg);
  }
  if (!failureText_.empty()) {
    message_ = failureText_;
    failureText_.clear();
    Fire(OnStatusMsg);
  }
}

// ---------------------------------------------------------------------------
// State 0: idle

void TDNC13Link::Idle() {
  if (progress_ != 0) SetProgress(1, 0);
  noReceiveTimeOut_ = false;
  if (userCommand_.empty()) commandProcessing_ = false;
  if (substate_ == 0) {
    // The command that ran was taken off when it started; one given since
    // stays pending.
    SetStatus("DNC 1.3 Link Ready");
    byteCount_ = 0;
    commandProcessing_ = !userCommand_.empty();
    substate_ = 1;
    if (suppressTaskDone_)
      suppressTaskDone_ = false;
    else
      Fire(OnTaskDone);
    return;
  }
  byteCount_ = 0;
  const int byte = ReadByte();
  if (byte == DncENQ) {
    PrepareReceive();
    substate_ = 0;
    Push(1, 0);
    Push(6, 3);
    return;
  }
  if (userCommand_.empty()) return;
  command_ = ParseDncUserCommand(userCommand_);
  const std::string given = userCommand_;
  userCommand_.clear();
  substate_ = 0;
  switch (command_.Kind) {
    case TDncUserCommandKind::OperatorMessage: Push(9, 0); break;
    case TDncUserCommandKind::Transmit: Push(11, 0); break;
    case TDncUserCommandKind::Fetch: Push(12, 0); break;
    default:
      failureText_ = "Illegal User DNC command <" + given + ">";
      state_ = 13;
      substate_ = 0;
      break;
  }
}

// ---------------------------------------------------------------------------
// State 2: reset

void TDNC13Link::Reset() {
  noReceiveTimeOut_ = false;
  CloseTransferFiles();
  complete_ = acknowledged_ = error_ = lastWasReceived_ = false;
  enqTries_ = sendRetries_ = receiveRetries_ = 0;
  byteCount_ = 0;
  state_ = 0;
  substate_ = 0;
  depth_ = 0;
  userCommand_.clear();
  failureText_.clear();
  commandProcessing_ = false;
  SetStatus("DNC 1.3 Reset");
  Fire(OnTaskFailed);
}

// ---------------------------------------------------------------------------
// State 4: bid, then send the packet

void TDNC13Link::Bid() {
  switch (substate_) {
    case 0:
    case 1:
      WriteByte(DncENQ);
      enqTries_ = substate_ == 0 ? 0 : enqTries_ + 1;
      substate_ = 2;
      enqTime_ = Now();
      return;
    case 2: {
      const int byte = ReadByte();
      if (byte < 0) {
        if (!Expired(enqTime_, EnqWait)) return;
        if (enqTries_ < MaxEnqTries) {
          ++enqTries_;
          substate_ = 1;
        } else {
          error_ = true;
          failureText_ = "DNC ERROR : No Response from Remote!";
        }
      } else if (byte == DncACK) {
        sendRetries_ = 1;
        acknowledged_ = false;
        WritePacket(sendPkt_);
        packetTime_ = Now();
        state_ = 5;
        substate_ = 0;
      } else if (byte == DncENQ) {
        // Both sides bid: the machine goes first unless it just had its turn.
        if (lastWasReceived_) return;
        receiveRetries_ = 0;
        PrepareReceive();
        substate_ = 0;
        Push(6, 2);
      } else if (byte == DncCAN) {
        substate_ = 3;
        pauseTime_ = Now();
      }
      return;
    }
    case 3:
      if (Expired(pauseTime_, CanPause)) substate_ = 0;
      return;
    default: return;
  }
}

// ---------------------------------------------------------------------------
// State 5: wait for the packet's ACK or NAK

void TDNC13Link::AwaitAck() {
  auto fail = [this] {
    error_ = true;
    state_ = 2;
    substate_ = 0;
    depth_ = 0;
  };
  switch (substate_) {
    case 0: {
      const int byte = ReadByte();
      if (byte < 0) {
        if (Expired(packetTime_, AckWait)) fail();
      } else if (byte == DncACK) {
        acknowledged_ = true;
        lastWasReceived_ = false;
        Pop();
        Fire(OnPktSentMsg);
      } else if (byte == DncNAK) {
        if (sendRetries_ >= MaxRetries) {
          fail();
        } else if (sendRetries_ % 4 == 0) {
          pauseTime_ = Now();
          substate_ = 2;
        } else {
          WritePacket(sendPkt_);
          packetTime_ = Now();
          ++sendRetries_;
        }
      }
      return;
    }
    case 1: {
      // After a repeated bid: the same wait as for the packet's answer.
      const int byte = ReadByte();
      if (byte < 0) {
        if (Expired(packetTime_, AckWait)) fail();
      } else if (byte == DncENQ) {
        if (lastWasReceived_) return;
        receiveRetries_ = 0;
        PrepareReceive();
        state_ = 4;
        substate_ = 0;
        Push(6, 2);
      } else if (byte == DncACK) {
        WritePacket(sendPkt_);
        packetTime_ = Now();
        byteCount_ = 0;
        substate_ = 0;
      } else if (byte == DncCAN) {
        pauseTime_ = Now();
        substate_ = 3;
      }
      return;
    }
    case 2:
    case 3:
      if (!Expired(pauseTime_, CanPause)) return;
      WriteByte(DncENQ);
      byteCount_ = 0;
      if (substate_ == 2) ++sendRetries_;
      packetTime_ = Now();
      substate_ = 1;
      return;
    default: return;
  }
}

// ---------------------------------------------------------------------------
// State 6: receive one packet

void TDNC13Link::ReceiveBytes() {
  for (;;) {
    const int byte = ReadByte();
    if (byte < 0) return;
    if (complete_) continue;  // what follows a whole packet is dropped
    if (byteCount_ == 0) {
      if (byte != DncSTX) {
        error_ = true;
        return;
      }
      recvPkt_ = TDncPacket{};
      recvPkt_.Kind = uint8_t(byte);
    } else if (byteCount_ == 1) {
      recvLength_ = size_t(byte);
    } else if (byteCount_ < recvLength_ + 2) {
      recvPkt_.Text += char(byte);
    } else if (byteCount_ == recvLength_ + 2) {
      recvPkt_.Sum = uint8_t(byte);
    } else {
      recvPkt_.Xor = uint8_t(byte);
      complete_ = true;
    }
    ++byteCount_;
  }
}

void TDNC13Link::ReceivePacket() {
  switch (substate_) {
    case 0:
      receiveRetries_ = 0;
      substate_ = 1;
      receiveTime_ = Now();
      return;
    case 1: {
      if (!noReceiveTimeOut_ && Expired(receiveTime_, ReceiveWait)) {
        recvPkt_ = BuildDncPacket("E,06");
        CheckDncPacket(recvPkt_);
        lastWasReceived_ = false;
        byteCount_ = 0;
        Pop();
        return;
      }
      if (ReadByte() == DncENQ) {
        substate_ = 2;
        PrepareReceive();
      }
      return;
    }
    case 2: {
      ReceiveBytes();
      if (error_ || portLost_) return;
      if (!complete_ && (noReceiveTimeOut_ || !Expired(receiveTime_, ReceiveWait))) return;
      bool good = false;
      if (!complete_) {
        recvPkt_ = BuildDncPacket("RECEIVE ERROR");
        CheckDncPacket(recvPkt_);
      } else {
        good = CheckDncPacket(recvPkt_);
      }
      ++receiveRetries_;
      if (good) {
        WriteByte(DncACK);
        lastWasReceived_ = true;
        byteCount_ = 0;
        Pop();
        Fire(OnPktRcvdMsg);
        return;
      }
      WriteByte(DncNAK);
      receiveTime_ = Now();
      if (receiveRetries_ < MaxRetries) {
        complete_ = false;
        byteCount_ = 0;
        if (receiveRetries_ % 4 == 0) substate_ = 1;
      } else {
        error_ = true;
        state_ = 2;
        substate_ = 0;
        depth_ = 0;
      }
      return;
    }
    case 3:
      receiveRetries_ = 0;
      substate_ = 2;
      receiveTime_ = Now();
      return;
    default: return;
  }
}

// ---------------------------------------------------------------------------
// State 1: serve the machine's command

void TDNC13Link::RemoteCommand() {
  std::string why;
  switch (substate_) {
    case 0: {
      complete_ = false;
      remote_ = ParseDncCommand(ReceivedText());
      SetStatus("DNC Command <" + remote_.Text + ">");
      const int word = remote_.Word;
      if (!AcceptCmds && word >= DncWordSend && word <= DncWordRecvN) {
        ErrorReset();
        SetStatus("Request rejected: server mode off.");
        return;
      }
      if (word >= DncReplyRefused) {
        Pop();
        return;
      }
      static const int Substates[8] = {10, 20, 30, 40, 50, 60, 70, 80};
      substate_ = Substates[word];
      RemoteCommand();
      return;
    }
    case 10: ErrorReset(); return;
    case 20: {
      if (!IsSafeRemoteName(remote_.Field2, why)) {
        ErrorReset();
        SetStatus("DNC Refused file name <" + remote_.Field2 + "> : " + why);
        return;
      }
      const std::string name = FolderFile(DownloadDir, remote_.Field2);
      SetStatus("Processing send request for <" + name + ">");
      if (!FileExistsNoWild(name)) {
        ErrorReset();
        return;
      }
      SetStatus("DNC Ready to send <" + name + ">");
      sendName_ = name;
      substate_ = 21;
      Push(7, 0);
      SendText("E,00");
      return;
    }
    case 21:
      SetStatus("DNC Done Sending <" + sendName_ + ">");
      Pop();
      return;
    case 30:
    case 60:
      SetStatus(std::string("UnImplemented DNC request : ") + (substate_ == 30 ? "SENB" : "RECB"));
      substate_ = 255;
      SendText("E,02");
      return;
    case 40: {
      if (!IsSafeRemoteName(remote_.Field2, why)) {
        ErrorReset();
        SetStatus("DNC Refused file name <" + remote_.Field2 + "> : " + why);
        return;
      }
      const std::string name = FolderFile(DownloadDir, remote_.Field2);
      SetStatus("Processing DNC file query on <" + name + ">");
      substate_ = 255;
      if (FileExistsNoWild(name)) {
        SetStatus("DNC file query <" + name + "> OK");
        SendText("E,00");
      } else {
        SetStatus("DNC file query <" + name + "> FILE NOT FOUND");
        SendText("E,03");
      }
      return;
    }
    case 50: {
      if (!AllowUploads) {
        ErrorReset();
        SetStatus("Upload request denied.");
        return;
      }
      if (!IsSafeRemoteName(remote_.Field2, why)) {
        ErrorReset();
        SetStatus("DNC Refused file name <" + remote_.Field2 + "> : " + why);
        return;
      }
      const std::string name = FolderFile(UploadDir, remote_.Field2);
      std::error_code ec;
      if (FileExistsNoWild(name) || std::filesystem::exists(std::filesystem::symlink_status(NativePath(name), ec))) {
        ErrorReset();
        SetStatus("DNC Receive Refused : Duplicate File Name <" + name + ">");
        return;
      }
      if (!OpenReceiveFile(name)) {
        SetStatus("DNC Error Opening File <" + name + ">");
        substate_ = 255;
        SendText("E,02");
        return;
      }
      state_ = 8;
      substate_ = 0;
      Push(6, 0);
      SendText("E,00");
      return;
    }
    case 70:
      noReceiveTimeOut_ = true;
      substate_ = 50;
      return;
    case 80: {
      complete_ = false;
      const std::string text = ReceivedText();
      SetStatus(TrimmedText(text));
      substate_ = 255;
      SendText("E,00");
      return;
    }
    default: Pop(); return;
  }
}

// ---------------------------------------------------------------------------
// State 7: send a program file

bool TDNC13Link::OpenSendFile() {
  if (sendFile_) std::fclose(sendFile_);
  sendFile_ = std::fopen(NativePath(sendName_).c_str(), "rb");
  sendText_ = "D,";
  hasPendingLine_ = false;
  pendingLine_.clear();
  longLine_ = false;
  longLineRest_.clear();
  return sendFile_ != nullptr;
}

bool TDNC13Link::NextSendLine(std::string& line) {
  sendReadError_ = sendTooLong_ = false;
  if (!sendFile_) return false;
  InOutRes = 0;
  const TLineRead got = ReadTextLineLimited(sendFile_, line);
  sendReadError_ = IOResult() != 0;
  sendTooLong_ = got == lrTooLong;
  return got == lrLine && !sendReadError_;
}

void TDNC13Link::SendData() {
  substate_ = 3;
  SendText(sendText_);
}

void TDNC13Link::FinishSend() {
  if (sendFile_) std::fclose(sendFile_);
  sendFile_ = nullptr;
}

void TDNC13Link::SendFile() {
  switch (substate_) {
    case 0: {
      SetProgress(FileSizeOf(sendName_), 0);
      SetStatus("PC Sending <" + sendName_ + "> to DNC");
      lineNumber_ = lastEnd_ = previousEnd_ = -1;
      if (!OpenSendFile()) {
        SetStatus("DNC File access error");
        substate_ = 255;
        SendText("E,02");
        return;
      }
      substate_ = 1;
      return;
    }
    case 1:
      for (;;) {
        if (longLine_) {
          // A line too long for one packet goes out in slices; the last
          // slice carries its CR.
          if (longLineRest_.size() >= LineSlice) {
            sendText_ += longLineRest_.substr(0, LineSlice);
            longLineRest_.erase(0, LineSlice);
          } else {
            sendText_ += longLineRest_ + DncCR;
            longLineRest_.clear();
            longLine_ = false;
          }
          SendData();
          return;
        }
        if (hasPendingLine_) {
          hasPendingLine_ = false;
          if (sendText_.size() + pendingLine_.size() + 1 > DncMaxText) {
            longLine_ = true;
            longLineRest_ = std::move(pendingLine_);
            continue;
          }
          sendText_ += pendingLine_ + DncCR;
          if (IsProgramLine(pendingLine_)) {
            SendData();
            return;
          }
          continue;
        }
        std::string line;
        const bool got = NextSendLine(line);
        if (!got && (sendReadError_ || sendTooLong_)) {
          // A file that cannot be read to its end is not sent as complete.
          SetStatus(sendTooLong_ ? "<" + sendName_ + "> has a line longer than " + std::to_string(kMaxTextLine) +
                                       " characters"
                                 : "DNC File access error");
          substate_ = 255;
          SendText("E,02");
          return;
        }
        if (!got) {
          // The end of the file: the last data packet first, if any.
          if (sendText_ == "D,")
            substate_ = 7;
          else
            SendData();
          return;
        }
        ++lineNumber_;
        SetProgress(total_, done_ + int64_t(line.size()) + 2);
        if (IsProgramLine(line)) {
          if ((line == "%" || line == "M25") && lineNumber_ != lastEnd_) {
            previousEnd_ = lastEnd_;
            lastEnd_ = lineNumber_;
          }
          pendingLine_ = std::move(line);
          hasPendingLine_ = true;
          if (sendText_ != "D,") {
            SendData();
            return;
          }
          continue;
        }
        if (sendText_.size() + 1 + line.size() <= GroupedPacket) {
          sendText_ += line + DncCR;
          continue;
        }
        pendingLine_ = std::move(line);
        hasPendingLine_ = true;
        if (sendText_ != "D,") {
          SendData();
          return;
        }
      }
    case 3:
      sendText_ = "D,";
      if (complete_) {
        substate_ = 5;
        complete_ = false;
      } else {
        substate_ = 1;
      }
      return;
    case 5: {
      substate_ = 1;
      complete_ = false;
      const TDncCommand reply = ParseDncCommand(ReceivedText());
      if (reply.Word == DncReplyRewind) {
        substate_ = 6;
      } else if (reply.Word == DncWordOM) {
        Push(1, 80);
      } else if (reply.Word >= DncReplyRefused && reply.Word != DncReplyOk) {
        substate_ = 10;
      }
      return;
    }
    case 6: {
      const int32_t target =
          std::max(0, lastEnd_ > lineNumber_ - 2 && previousEnd_ > 0 ? previousEnd_ : lastEnd_);
      SetStatus("DNC Send <" + sendName_ + "> rewinding to block " + std::to_string(target));
      if (!OpenSendFile()) {
        SetStatus("DNC File access error");
        substate_ = 255;
        SendText("E,02");
        return;
      }
      int64_t done = 0;
      std::string line;
      for (int32_t n = 0; n < target && NextSendLine(line); ++n) done += int64_t(line.size()) + 2;
      lineNumber_ = target - 1;
      SetProgress(total_, done);
      substate_ = 3;
      SendText("G,00");
      return;
    }
    case 7:
      if (complete_) {
        substate_ = 5;
        return;
      }
      substate_ = 8;
      SendText("!,");
      return;
    case 8:
      substate_ = 9;
      if (!complete_) Push(6, 0);
      return;
    case 9: {
      complete_ = false;
      const TDncCommand reply = ParseDncCommand(ReceivedText());
      if (reply.Word == DncReplyRewind) {
        substate_ = 5;
        return;
      }
      FinishSend();
      if (reply.Word == DncReplyOk) {
        SetStatus("DNC Send <" + sendName_ + "> transfer completed");
        Pop();
        return;
      }
      SetStatus("DNC reported error on receiving file <" + sendName_ + ">");
      if (commandProcessing_) {
        // The user's transmit failed: say so rather than report it done.
        FailCommand("DNC Transmit of <" + sendName_ + "> failed");
        return;
      }
      Pop();
      return;
    }
    case 10:
      FinishSend();
      SetStatus("DNC Remote aborted transfer of <" + sendName_ + ">");
      depth_ = 0;
      substate_ = 0;
      state_ = commandProcessing_ ? 13 : 0;
      return;
    default:
      // The file could not be read: the refusal went out.
      FinishSend();
      if (commandProcessing_) {
        FailCommand("DNC File access error");
        return;
      }
      Pop();
      return;
  }
}

// ---------------------------------------------------------------------------
// State 8: store one received data packet

bool TDNC13Link::OpenReceiveFile(const std::string& name) {
  DropReceiveFile();
  recvFile_ = std::make_unique<TReplacingFile>(NativePath(name));
  if (!recvFile_->Opened()) {
    recvFile_.reset();
    return false;
  }
  recvName_ = name;
  recvCarry_.clear();
  lineCount_ = 0;
  return true;
}

bool TDNC13Link::StoreLines(const std::string& payload, bool last) {
  if (!recvFile_) return false;
  // The end packet's lone CR stands for "no lines".
  if (last && payload == std::string(1, DncCR) && recvCarry_.empty()) return true;
  std::string data = recvCarry_ + payload;
  recvCarry_.clear();
  size_t from = 0;
  for (size_t cr; (cr = data.find(DncCR, from)) != std::string::npos; from = cr + 1) {
    const std::string line = data.substr(from, cr - from) + "\r\n";
    if (recvFile_->Write(line.data(), line.size()) != 0) return false;
    ++lineCount_;
  }
  // A packet of the longest text carries part of a line that goes on in the
  // next packet.
  recvCarry_ = data.substr(from);
  if (last && !recvCarry_.empty()) {
    const std::string line = recvCarry_ + "\r\n";
    recvCarry_.clear();
    if (recvFile_->Write(line.data(), line.size()) != 0) return false;
    ++lineCount_;
  }
  return true;
}

bool TDNC13Link::CommitReceiveFile() {
  if (!recvFile_) return false;
  bool ok = recvFile_->Close() == 0;
  // Never replace a file that appeared while the program came.
  std::error_code ec;
  if (ok && std::filesystem::exists(std::filesystem::symlink_status(recvFile_->Target(), ec))) ok = false;
  ok = ok && recvFile_->Commit() == 0;
  recvFile_.reset();
  return ok;
}

void TDNC13Link::DropReceiveFile() {
  recvFile_.reset();  // the temporary file goes with it
  recvCarry_.clear();
}

void TDNC13Link::ReceiveFile() {
  const std::string text = ReceivedText();
  const char kind = text.empty() ? '\0' : text[0];
  const std::string payload = text.size() > 2 ? text.substr(2) : std::string();
  auto ioError = [this] {
    DropReceiveFile();
    SetStatus("DNC Receive <" + recvName_ + "> Aborted by PC : IO Error");
    depth_ = 0;
    substate_ = 0;
    if (commandProcessing_) {
      failureText_ = "DNC Receive <" + recvName_ + "> Aborted by PC : IO Error";
      state_ = 13;
    } else {
      state_ = 0;
    }
    SendText("E,02");
  };
  if (kind == '!') {
    if (!StoreLines(payload, true) || !CommitReceiveFile()) {
      ioError();
      return;
    }
    SetStatus("DNC Received <" + recvName_ + "> " + std::to_string(lineCount_) + " blocks");
    Pop();
    SendText("E,00");
  } else if (kind == 'D') {
    if (!StoreLines(payload, false)) {
      ioError();
      return;
    }
    SetStatus("DNC Receive <" + recvName_ + "> block " + std::to_string(lineCount_));
    Push(6, 0);
  } else {
    DropReceiveFile();
    ErrorReset();
    SetStatus("DNC Receive <" + recvName_ + "> Aborted by DNC");
  }
}

// ---------------------------------------------------------------------------
// States 9, 11, 12 and 13: the user's commands

void TDNC13Link::OperatorMessage() {
  switch (substate_) {
    case 0:
      SetStatus("Sending Operator Message");
      substate_ = 1;
      SendText("OM," + command_.Message);
      return;
    case 1:
      substate_ = 2;
      Push(6, 0);
      return;
    default:
      complete_ = false;
      SetStatus(TrimmedText(ReceivedText()));
      Pop();
      return;
  }
}

void TDNC13Link::TransmitRequest() {
  std::string& pcFile = command_.PcFile;
  switch (substate_) {
    case 0:
      // A bare name is a program for the machine: it is looked up where the
      // machine's own requests find such programs, the download folder.
      if (pcFile.find_first_of("/\\") == std::string::npos) pcFile = FolderFile(DownloadDir, pcFile);
      SetStatus("Processing PC send request of <" + pcFile + ">");
      if (!FileExistsNoWild(pcFile)) {
        FailCommand("Error : PC File <" + pcFile + "> not found.");
        return;
      }
      SetStatus("PC Ready to send <" + pcFile + ">");
      substate_ = 1;
      Push(6, 0);
      SendText("RECV,XM()," + command_.RemoteName);
      complete_ = false;
      return;
    case 1:
      complete_ = false;
      if (ParseDncCommand(ReceivedText()).Word == DncReplyOk) {
        sendName_ = pcFile;
        substate_ = 2;
        Push(7, 0);
        return;
      }
      FailCommand("DNC Refused file send request");
      return;
    default:
      SetStatus("PC Done Sending <" + pcFile + ">");
      Pop();
      return;
  }
}

void TDNC13Link::FetchRequest() {
  std::string& pcFile = command_.PcFile;
  switch (substate_) {
    case 0: {
      // A bare name is a program from the machine: it goes where the
      // machine's own uploads go, the upload folder.
      if (pcFile.find_first_of("/\\") == std::string::npos) pcFile = FolderFile(UploadDir, pcFile);
      SetStatus("Processing PC receive request of <" + pcFile + ">");
      std::error_code ec;
      if (FileExistsNoWild(pcFile) || std::filesystem::exists(std::filesystem::symlink_status(NativePath(pcFile), ec))) {
        FailCommand("Error : PC File <" + pcFile + "> already exists.");
        return;
      }
      SetStatus("PC Ready to receive <" + pcFile + ">");
      substate_ = 1;
      Push(6, 0);
      SendText("SEND," + command_.RemoteName + ",XM()");
      complete_ = false;
      return;
    }
    default:
      complete_ = false;
      if (ParseDncCommand(ReceivedText()).Word != DncReplyOk) {
        failureText_ = "DNC Refused file receive request";
      } else if (!OpenReceiveFile(pcFile)) {
        failureText_ = "DNC Error Opening File <" + pcFile + ">";
      } else {
        // The data packets are stored by state 8 until the end packet; idle
        // follows with nothing left below.
        state_ = 0;
        substate_ = 0;
        depth_ = 0;
        Push(8, 0);
        Push(6, 0);
        return;
      }
      depth_ = 0;
      state_ = 13;
      substate_ = 0;
      return;
  }
}

void TDNC13Link::FailCommand(const std::string& text) {
  failureText_ = text;
  depth_ = 0;
  state_ = 13;
  substate_ = 0;
}

void TDNC13Link::TaskFailed() {
  Fire(OnTaskFailed);
  if (failureText_.empty()) Pop();
}
