// The DNC 1.3 wire format: control bytes, packets and the texts they carry.
//
// A packet on the wire is STX, one length byte L, L text bytes with bit 7
// set, then the 8-bit sum and the exclusive-or of those L bytes as sent.
// The text is 7-bit ASCII and ends with CR unless it is 249 characters long;
// a text of that length carries part of a line that goes on in the next
// packet.
#pragma once
#include <cstdint>
#include <string>

inline constexpr uint8_t DncENQ = 0x85;  // bid to send one packet
inline constexpr uint8_t DncACK = 0x86;  // bid accepted, or packet received good
inline constexpr uint8_t DncNAK = 0x95;  // packet received bad
inline constexpr uint8_t DncCAN = 0x98;  // peer busy: wait and bid again
inline constexpr uint8_t DncSTX = 0x82;  // first byte of a packet
inline constexpr char DncCR = '\r';

// Longest packet text.
inline constexpr size_t DncMaxText = 249;

struct TDncPacket {
  uint8_t Kind = DncSTX;
  std::string Text;  // as sent: bit 7 set on every byte (received: cleared by CheckDncPacket)
  uint8_t Sum = 0;
  uint8_t Xor = 0;
};

// Builds the packet for a text: cut to 249 characters, letters from the
// third character on upper-cased, CR appended unless it already ends in CR
// or is 249 characters long, bit 7 set, sum and exclusive-or computed.
TDncPacket BuildDncPacket(const std::string& text);
// The bytes that go on the wire for a packet.
std::string DncWireBytes(const TDncPacket& packet);
// Checks a received packet (text bytes as they came, bit 7 set) against
// its sum and exclusive-or and clears bit 7 on every text byte. True when
// both match.
bool CheckDncPacket(TDncPacket& packet);

// Reply and command words of a packet text.
inline constexpr int DncWordUnknown = 0;
inline constexpr int DncWordSend = 1;
inline constexpr int DncWordSendB = 2;
inline constexpr int DncWordSendQuery = 3;
inline constexpr int DncWordRecv = 4;
inline constexpr int DncWordRecvB = 5;
inline constexpr int DncWordRecvN = 6;
inline constexpr int DncWordOM = 7;
// E replies are 100 + their code (-1, 0, 2, 3, 6), G replies 200 + theirs
// (0, 2).
inline constexpr int DncReplyRefused = 99;
inline constexpr int DncReplyOk = 100;
inline constexpr int DncReplyFileError = 102;
inline constexpr int DncReplyNotFound = 103;
inline constexpr int DncReplyTimeOut = 106;
inline constexpr int DncReplyStop = 200;
inline constexpr int DncReplyRewind = 202;

// A packet text taken apart: a trailing CR removed, blanks made commas,
// letters upper-cased; field 1 up to the first comma, field 2 up to the
// next, field 3 the rest.
struct TDncCommand {
  std::string Text;
  std::string Field1, Field2, Field3;
  int Word = DncWordUnknown;
};
TDncCommand ParseDncCommand(const std::string& text);

// A program name the machine sent, checked before it names a file in one of
// the link's folders: it must be a plain file name, not empty, holding no
// folder separator, drive colon or control character and not "." or "..".
// False with the reason in why.
bool IsSafeRemoteName(const std::string& name, std::string& why);

// A command the PC user gives the link, in the user's own spelling:
//   "OM," + message
//   "COPY," + PC file + ",XM(" + remote name + ")"   (transmit)
//   "COPY,XM(" + remote name + ")," + PC file        (fetch)
// The command word and the XM marker are read regardless of case and blanks
// may stand for the commas around them; the PC file is kept exactly as
// given (it may hold blanks and commas).
enum class TDncUserCommandKind { Illegal, OperatorMessage, Transmit, Fetch };
struct TDncUserCommand {
  TDncUserCommandKind Kind = TDncUserCommandKind::Illegal;
  std::string PcFile;
  std::string RemoteName;
  std::string Message;
};
TDncUserCommand ParseDncUserCommand(const std::string& command);
