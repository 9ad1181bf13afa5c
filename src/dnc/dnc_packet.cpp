#include "dnc/dnc_packet.h"

#include <cctype>

#include "foundation/utilities.h"

namespace {

char Upper(char c) { return char(std::toupper(static_cast<unsigned char>(c))); }

std::string UpperText(std::string s) {
  for (char& c : s) c = Upper(c);
  return s;
}

bool StartsWithNoCase(const std::string& text, size_t at, const std::string& prefix) {
  if (text.size() < at + prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Upper(text[at + i]) != prefix[i]) return false;
  return true;
}

// A signed decimal integer filling the whole text.
bool StrictInteger(const std::string& text, int& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size() || text.size() - i > 6) return false;
  int v = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

int ReplyWord(char kind, const std::string& field2) {
  int code = 0;
  if (!StrictInteger(field2, code)) return DncWordUnknown;
  if (kind == 'E' && (code == -1 || code == 0 || code == 2 || code == 3 || code == 6)) return 100 + code;
  if (kind == 'G' && (code == 0 || code == 2)) return 200 + code;
  return DncWordUnknown;
}

}  // namespace

TDncPacket BuildDncPacket(const std::string& text) {
  std::string t = text.substr(0, DncMaxText);
  for (size_t i = 2; i < t.size(); ++i)
    if (t[i] >= 'a' && t[i] <= 'z') t[i] = char(t[i] - 'a' + 'A');
  if ((t.empty() || t.back() != DncCR) && t.size() < DncMaxText) t += DncCR;
  TDncPacket packet;
  packet.Kind = DncSTX;
  for (char& c : t) {
    c = char(static_cast<uint8_t>(c) | 0x80);
    packet.Sum = uint8_t(packet.Sum + static_cast<uint8_t>(c));
    packet.Xor = uint8_t(packet.Xor ^ static_cast<uint8_t>(c));
  }
  packet.Text = std::move(t);
  return packet;
}

std::string DncWireBytes(const TDncPacket& packet) {
  std::string bytes;
  bytes += char(packet.Kind);
  bytes += char(uint8_t(packet.Text.size()));
  bytes += packet.Text;
  bytes += char(packet.Sum);
  bytes += char(packet.Xor);
  return bytes;
}

bool CheckDncPacket(TDncPacket& packet) {
  uint8_t sum = 0, x = 0;
  for (char& c : packet.Text) {
    sum = uint8_t(sum + static_cast<uint8_t>(c));
    x = uint8_t(x ^ static_cast<uint8_t>(c));
    c = char(static_cast<uint8_t>(c) & 0x7F);
  }
  return sum == packet.Sum && x == packet.Xor;
}

TDncCommand ParseDncCommand(const std::string& text) {
  TDncCommand cmd;
  std::string t = text;
  if (!t.empty() && t.back() == DncCR) t.pop_back();
  for (char& c : t) c = c == ' ' ? ',' : Upper(c);
  cmd.Text = t;
  const size_t c1 = t.find(',');
  cmd.Field1 = t.substr(0, c1);
  if (c1 != std::string::npos) {
    const size_t c2 = t.find(',', c1 + 1);
    cmd.Field2 = t.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (c2 != std::string::npos) cmd.Field3 = t.substr(c2 + 1);
  }
  if (cmd.Field1 == "E" || cmd.Field1 == "G") {
    cmd.Word = ReplyWord(cmd.Field1[0], cmd.Field2);
  } else if (!cmd.Field1.empty()) {
    const int index = WordIndex(cmd.Field1, "NOSUCH SEND SENB SEN? RECV RECB RECN OM NOSUCH");
    cmd.Word = index >= DncWordSend && index <= DncWordOM ? index : DncWordUnknown;
  }
  return cmd;
}

bool IsSafeRemoteName(const std::string& name, std::string& why) {
  if (name.empty()) {
    why = "no file name";
    return false;
  }
  if (name == "." || name == "..") {
    why = "not a file name";
    return false;
  }
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == ':') {
      why = "names a folder";
      return false;
    }
    if (u < 0x20 || u == 0x7F) {
      why = "holds a control character";
      return false;
    }
  }
  return true;
}

TDncUserCommand ParseDncUserCommand(const std::string& command) {
  TDncUserCommand result;
  size_t start = command.find_first_not_of(' ');
  if (start == std::string::npos) return result;
  size_t sep = command.find_first_of(", ", start);
  const std::string word = UpperText(command.substr(start, sep == std::string::npos ? sep : sep - start));
  const std::string rest = sep == std::string::npos ? "" : command.substr(sep + 1);
  if (word == "OM") {
    result.Kind = TDncUserCommandKind::OperatorMessage;
    result.Message = rest;
    return result;
  }
  if (word.compare(0, 3, "COP") != 0 || rest.empty()) return result;
  if (StartsWithNoCase(rest, 0, "XM(")) {
    // Fetch: XM(remote), PC file
    const size_t close = rest.find(')');
    if (close == std::string::npos || close + 1 >= rest.size()) return result;
    if (rest[close + 1] != ',' && rest[close + 1] != ' ') return result;
    result.RemoteName = rest.substr(3, close - 3);
    result.PcFile = rest.substr(close + 2);
    result.Kind = TDncUserCommandKind::Fetch;
  } else {
    // Transmit: PC file, XM(remote)
    if (rest.back() != ')') return result;
    size_t marker = std::string::npos;
    for (size_t i = rest.size(); i-- > 0;)
      if ((rest[i] == ',' || rest[i] == ' ') && StartsWithNoCase(rest, i + 1, "XM(")) {
        marker = i;
        break;
      }
    if (marker == std::string::npos) return result;
    result.PcFile = rest.substr(0, marker);
    result.RemoteName = rest.substr(marker + 4, rest.size() - marker - 5);
    result.Kind = TDncUserCommandKind::Transmit;
  }
  if (result.PcFile.empty() || result.RemoteName.empty()) result = TDncUserCommand{};
  return result;
}
