// Transform matrices of the geometry kernel: builders that append elementary
// transforms, point application, and the uniform and mirrored tests.
//
// Appending A to M replaces M by M x A; points are rows on the left, so the
// transforms already in M act first. RotateMatrix turns clockwise for a
// positive angle; RotatePoint turns counter-clockwise.
#pragma once
#include "foundation/geometry.h"

// M := M x A.
void ConcatMatrix(const TMatrix3& a, TMatrix3& m);
// Shift by (dx, dy).
void TranslateMatrix(TMatrix3& m, double dx, double dy);
// Scale by sx along X and sy along Y about the point c.
void ScaleMatrix(const TRealPoint& c, TMatrix3& m, double sx, double sy);
// Rotation about c by angle degrees clockwise.
void RotateMatrix(const TRealPoint& c, TMatrix3& m, double angle);
// Reflection across the line through p1 perpendicular to p1->p2; coincident
// points (closer than Epsilon) leave M unchanged.
void MirrorMatrix(const TRealPoint& p1, const TRealPoint& p2, TMatrix3& m);

// The second builder set, used by the window edits and the tape readers.
void ConcatMatrix2D(const TMatrix3& a, TMatrix3& m);
void TranslateMatrix2D(TMatrix3& m, double dx, double dy);
void RotateMatrix2D(const TRealPoint& c, TMatrix3& m, double angle);
// Clears GeoErrorCode; error 44 (M unchanged) when neither factor is
// positive. One negative factor alone is accepted.
void ScaleMatrix2D(const TRealPoint& c, TMatrix3& m, double sx, double sy);

// x2 := m11*x + m21*y + m31, y2 := m12*x + m22*y + m32. The outputs may be
// the input variables themselves.
void TransformPoint(double x, double y, double& x2, double& y2, const TMatrix3& m);
// True when the matrix maps circles to circles.
bool MatrixIsUniform(const TMatrix3& m);
// True when the matrix reverses orientation.
bool MatrixIsMirrored(const TMatrix3& m);

// Rotates about the origin by angle degrees counter-clockwise; an angle of
// exactly 0 leaves the point untouched.
void RotatePoint(double& x, double& y, double angle);
void RotatePointRec(TRealPoint& p, double angle);
// The point in the frame with origin s and +X axis from s towards e, and back.
void ToLineFrame(TRealPoint& p, const TRealPoint& s, const TRealPoint& e);
void FromLineFrame(TRealPoint& p, const TRealPoint& s, const TRealPoint& e);
