#include "model/root_entity.h"

#include <cmath>
#include <cstdint>

#include "platform/message_box.h"

namespace {
const char* const RootObjectName = "Root DB Object";
const char* const RootHandleName = "Root Entity Handle";
constexpr double ExtentLimit = 1073741823.0;  // 2^30 - 1
}  // namespace

void ReportMissingOperation(const std::string& operation, const std::string& typeName) {
  ErrorBox(operation + " called on " + typeName);
}

// ---- TRootDBObject ----------------------------------------------------------------

void TRootDBObject::Push() { ReportMissingOperation("Push", RootObjectName); }
void TRootDBObject::ComputeShadow() { ReportMissingOperation("ComputeShadow", RootObjectName); }
void TRootDBObject::GetThirdPoint(TIntPoint&) {
  ReportMissingOperation("GetThirdPoint", RootObjectName);
}
void TRootDBObject::SetThirdPoint(const TIntPoint&) {
  ReportMissingOperation("SetThirdPoint", RootObjectName);
}
TStepObject* TRootDBObject::GetStepObj() {
  ReportMissingOperation("GetStepObj", RootObjectName);
  return nullptr;
}
void TRootDBObject::SetStepObj(TStepObject*) {
  ReportMissingOperation("SetStepObj", RootObjectName);
}
void TRootDBObject::AppendStepObj(TStepObject*) {
  ReportMissingOperation("AppendStepObj", RootObjectName);
}

bool TRootDBObject::InRange(double x, double y) {
  return -ExtentLimit < x && x < ExtentLimit && -ExtentLimit < y && y < ExtentLimit;
}

bool TRootDBObject::InRangeFrom(double x, double y, int32_t fromX, int32_t fromY) {
  const auto axis = [](double v, int32_t from) {
    return (-ExtentLimit < v && v < ExtentLimit) ||
           (std::fabs(v) <= std::fabs(static_cast<double>(from)) && std::fabs(v) <= INT32_MAX);
  };
  return axis(x, fromX) && axis(y, fromY);
}

void TRootDBObject::TransformPoint(int32_t x, int32_t y, const double m[3][3], double& outX,
                                   double& outY) {
  double fx = x;
  double fy = y;
  outX = fx * m[0][0] + fy * m[1][0] + m[2][0];
  outY = fx * m[0][1] + fy * m[1][1] + m[2][1];
}

// ---- TRootEntityHandle --------------------------------------------------------------

TRootEntityHandle* TRootEntityHandle::MergeLists(TRootEntityHandle* a, TRootEntityHandle* b) {
  if (a == nullptr) return b;
  if (b == nullptr) return a;
  while (b != nullptr) {
    TRootEntityHandle* h = b;
    b = b->Next;
    // Look for the same entity in A, remembering its predecessor.
    TRootEntityHandle* prev = nullptr;
    TRootEntityHandle* g = a;
    while (g != nullptr && g->Index != h->Index) {
      prev = g;
      g = g->Next;
    }
    if (g != nullptr) {
      // Picked again: deselect. The entity loses its highlight.
      delete h;
      if (prev == nullptr)
        a = g->Next;
      else
        prev->Next = g->Next;
      g->Next = nullptr;
      g->DrawList();
      delete g;
    } else {
      h->Next = nullptr;
      if (a == nullptr) {
        // Every handle of A was deselected: the list starts again here.
        a = h;
      } else {
        TRootEntityHandle* last = a;
        while (last->Next != nullptr) last = last->Next;
        last->Next = h;
      }
    }
  }
  return a;
}

bool TRootEntityHandle::Contains(const TRootEntityHandle* list, int32_t index) {
  for (; list != nullptr; list = list->Next)
    if (list->Index == index) return true;
  return false;
}

void TRootEntityHandle::Step() { ReportMissingOperation("Step", RootHandleName); }
void TRootEntityHandle::CreateStep() { ReportMissingOperation("CreateStep", RootHandleName); }
void TRootEntityHandle::EditStep() { ReportMissingOperation("EditStep", RootHandleName); }
void TRootEntityHandle::DeleteStep() { ReportMissingOperation("DeleteStep", RootHandleName); }
void TRootEntityHandle::CopyStepList(TRootEntityHandle*) {
  ReportMissingOperation("CopyStepList", RootHandleName);
}
void TRootEntityHandle::CrossCopyStepList(int32_t) {
  ReportMissingOperation("CrossCopyStepList", RootHandleName);
}
void TRootEntityHandle::ExpandStepsIntoDatabase() {
  ReportMissingOperation("ExpandStepsIntoDatabase", RootHandleName);
}
