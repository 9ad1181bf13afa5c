// Typed numbers of the command line: a number may be written as a small
// arithmetic expression ("1.5+0.25", "(3-1)/4", "-2*0.1").
#pragma once
#include <string>

// Evaluates + - * / with the usual precedence, unary signs and brackets
// over decimal numbers (optional fraction and exponent). Blanks between
// the parts are allowed. False, with value untouched, when the text is
// empty, malformed, divides by zero or leaves the double range.
bool EvaluateExpression(const std::string& text, double& value);
