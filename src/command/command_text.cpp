#include "command/command_text.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "command/expression.h"
#include "foundation/utilities.h"

std::string CommandWord(const std::string& text) {
  const size_t open = text.find('(');
  return open == std::string::npos ? text : text.substr(0, open);
}

std::vector<std::string> CommandArguments(const std::string& text) {
  std::vector<std::string> result;
  const size_t open = text.find('(');
  if (open == std::string::npos) return result;
  std::string current;
  bool quoted = false;
  bool any = false;
  for (size_t i = open + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') quoted = false;
      else current += c;
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ',' || c == ')') {
      if (any || !current.empty() || c == ',' || !result.empty()) result.push_back(current);
      current.clear();
      any = false;
      if (c == ')') break;
    } else {
      current += c;
    }
  }
  return result;
}

std::string GetCommandArgument(const std::string& text, int n) {
  const std::vector<std::string> args = CommandArguments(text);
  return n >= 1 && n <= int(args.size()) ? args[size_t(n - 1)] : std::string();
}

int32_t GetCommandEntityRef(const std::string& text, int n) {
  const std::string arg = GetCommandArgument(text, n);
  if (arg.size() != 11 || arg[0] != '$' || arg[5] != ':' || arg[6] != '$') return 0;
  for (size_t i : {1, 2, 3, 4, 7, 8, 9, 10})
    if (!std::isxdigit(static_cast<unsigned char>(arg[i]))) return 0;
  return static_cast<int32_t>(ParseSegOfs(arg));
}

bool GetCommandInteger(const std::string& text, int n, int32_t& value) {
  const std::string arg = GetCommandArgument(text, n);
  if (arg.empty()) return false;
  size_t i = (arg[0] == '-' || arg[0] == '+') ? 1 : 0;
  if (i == arg.size()) return false;
  for (size_t k = i; k < arg.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(arg[k]))) return false;
  errno = 0;
  const long long v = std::strtoll(arg.c_str(), nullptr, 10);
  if (errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

TIntPoint GetCommandPoint(const std::string& text, int n) {
  int32_t x = 0, y = 0;
  GetCommandInteger(text, n, x);
  GetCommandInteger(text, n + 1, y);
  return {x, y};
}

bool GetCommandReal(const std::string& text, int n, double& value) {
  return EvaluateExpression(GetCommandArgument(text, n), value);
}

std::string BuildCommandText(const std::string& word, const std::vector<std::string>& arguments) {
  std::string text = word + "(";
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) text += ",";
    text += arguments[i];
  }
  return text + ")";
}

std::string EntityRefText(int32_t index) { return FormatSegOfs(static_cast<uint32_t>(index)); }
