#include "model/model_services.h"

TModelServices ModelServices;
TWindowServices WindowServices;

namespace {
// Used while the interpreter does not exist.
double DisplayTolerance = 0.4;
double LengthParameter = DefaultArcLengthParameter;

double& Field(const std::function<double*()>& installed, double& standIn) {
  double* field = installed ? installed() : nullptr;
  return field != nullptr ? *field : standIn;
}
}  // namespace

double ArcDisplayTolerance() {
  return Field(ModelServices.InterpreterArcDisplayTolerance, DisplayTolerance);
}

void SetArcDisplayTolerance(double tolerance) {
  Field(ModelServices.InterpreterArcDisplayTolerance, DisplayTolerance) = tolerance;
}

double ArcLengthParameter() {
  return Field(ModelServices.InterpreterArcLengthParameter, LengthParameter);
}

void SetArcLengthParameter(double inches) {
  Field(ModelServices.InterpreterArcLengthParameter, LengthParameter) = inches;
}
