// Command texts: a command word and its parenthesised, comma-separated
// argument list, "ADDLINE(CLICK,CLICK)" as defined, "ADDLINE(0,0,254000,0)"
// once the user has given its arguments. A clicked point fills two
// arguments (X and Y, database units), a picked entity one (its reference
// "$HHHH:$LLLL"), a typed value one; a typed text stands in double quotes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/geometry.h"

// The word before the "(" (the whole text when there is none).
std::string CommandWord(const std::string& text);
// The arguments in order; a quoted argument without its quotes.
std::vector<std::string> CommandArguments(const std::string& text);
// Argument n (1-based), "" when there are fewer.
std::string GetCommandArgument(const std::string& text, int n);
// The entity index of argument n when it is an entity reference; 0 else.
int32_t GetCommandEntityRef(const std::string& text, int n);
// Argument n as an integer (decimal, optional sign); false when it is none.
bool GetCommandInteger(const std::string& text, int n, int32_t& value);
// Arguments n and n + 1 as a point (a coordinate that is no integer
// reads as 0: the texts are built by the command language).
TIntPoint GetCommandPoint(const std::string& text, int n);
// Argument n as a real; false when it is none.
bool GetCommandReal(const std::string& text, int n, double& value);
// "WORD(a,b,...)".
std::string BuildCommandText(const std::string& word, const std::vector<std::string>& arguments);
// The entity reference of an index.
std::string EntityRefText(int32_t index);
