// Aperture macros of RS-274X photoplots: a macro's statements (primitives
// and variable assignments) kept from its %AM group, and flattened for one
// aperture definition into circles and closed outlines about the flash
// point. Expressions take numbers, $n variables, + - x / and parentheses.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/geometry.h"

struct TMacro {
  std::string Name;
  std::vector<std::string> Statements;
};

// A circle (IsCircle) or a closed outline, in file units about the flash
// point; Dark is false for primitives with exposure off.
struct TMacroShape {
  bool IsCircle = false;
  bool Dark = true;
  double Cx = 0.0, Cy = 0.0, R = 0.0;
  std::vector<TRealPoint> Points;
};

// The macro of the group text "AMNAME*statement*statement*..."; false when
// it has no name.
bool ParseMacro(const std::string& group, TMacro& macro);

// The most steps the macros of one file may take to flatten: a statement
// read is four, a point made one, a circle four.
constexpr int64_t kMaxMacroSteps = 4000000;

// The outlines of the macro with the aperture's parameters ($1, $2, ...).
// False with an error text when a statement cannot be evaluated, or when
// the flattening would take more steps than are left (stepsLeft, shared by
// the apertures of a file; kMaxMacroSteps for this macro alone when null),
// which are then 0.
bool FlattenMacro(const TMacro& macro, const std::vector<double>& parameters,
                  std::vector<TMacroShape>& shapes, std::string& error, int64_t* stepsLeft = nullptr);
// The same walk without the outlines: the steps spent and the answer are
// those of FlattenMacro, at a fraction of the work (a file whose macros go
// past the allowance is refused before a point is made).
bool CountMacroSteps(const TMacro& macro, const std::vector<double>& parameters, std::string& error,
                     int64_t* stepsLeft);

// The value of an arithmetic expression over the variables ($1 is
// variables[1]; missing ones are 0); false when it does not parse.
bool EvaluateMacroExpression(const std::string& text, const std::vector<double>& variables,
                             double& value);
