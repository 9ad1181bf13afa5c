#include "command/expression.h"

#include <cctype>
#include <cmath>
#include <charconv>
#include <system_error>

namespace {
// Recursive descent over the text; Failed_ is sticky.
class TExpressionParser {
 public:
  explicit TExpressionParser(const std::string& text) : Text_(text) {}

  bool Parse(double& value) {
    const double v = Sum();
    SkipBlanks();
    if (Failed_ || Pos_ != Text_.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
  }

 private:
  void SkipBlanks() {
    while (Pos_ < Text_.size() && (Text_[Pos_] == ' ' || Text_[Pos_] == '\t')) ++Pos_;
  }
  bool Take(char c) {
    SkipBlanks();
    if (Pos_ < Text_.size() && Text_[Pos_] == c) {
      ++Pos_;
      return true;
    }
    return false;
  }
  double Sum() {
    double v = Product();
    while (!Failed_) {
      if (Take('+'))
        v += Product();
      else if (Take('-'))
        v -= Product();
      else
        break;
    }
    return v;
  }
  double Product() {
    double v = Factor();
    while (!Failed_) {
      if (Take('*')) {
        v *= Factor();
      } else if (Take('/')) {
        const double d = Factor();
        if (d == 0.0) Failed_ = true;
        else v /= d;
      } else {
        break;
      }
    }
    return v;
  }
  double Factor() {
    if (++Depth_ > 64) {  // a bracket chain no one types
      Failed_ = true;
      return 0.0;
    }
    double v = 0.0;
    if (Take('-'))
      v = -Factor();
    else if (Take('+'))
      v = Factor();
    else if (Take('(')) {
      v = Sum();
      if (!Take(')')) Failed_ = true;
    } else
      v = Number();
    --Depth_;
    return v;
  }
  double Number() {
    SkipBlanks();
    const size_t start = Pos_;
    size_t digits = 0;
    while (Pos_ < Text_.size() && std::isdigit(static_cast<unsigned char>(Text_[Pos_]))) ++Pos_, ++digits;
    if (Pos_ < Text_.size() && Text_[Pos_] == '.') {
      ++Pos_;
      while (Pos_ < Text_.size() && std::isdigit(static_cast<unsigned char>(Text_[Pos_]))) ++Pos_, ++digits;
    }
    if (digits == 0) {
      Failed_ = true;
      return 0.0;
    }
    if (Pos_ < Text_.size() && (Text_[Pos_] == 'e' || Text_[Pos_] == 'E')) {
      size_t p = Pos_ + 1;
      if (p < Text_.size() && (Text_[p] == '+' || Text_[p] == '-')) ++p;
      if (p < Text_.size() && std::isdigit(static_cast<unsigned char>(Text_[p]))) {
        while (p < Text_.size() && std::isdigit(static_cast<unsigned char>(Text_[p]))) ++p;
        Pos_ = p;
      }
    }
    // Locale independent; a number beyond the double range is refused.
    double v = 0.0;
    const char* first = Text_.data() + start;
    const auto [end, error] = std::from_chars(first, Text_.data() + Pos_, v);
    if (error != std::errc() || end != Text_.data() + Pos_) Failed_ = true;
    return v;
  }

  const std::string& Text_;
  size_t Pos_ = 0;
  int Depth_ = 0;
  bool Failed_ = false;
};
}  // namespace

bool EvaluateExpression(const std::string& text, double& value) {
  return TExpressionParser(text).Parse(value);
}
