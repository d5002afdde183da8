#pragma once
// Value helpers of feature geometry: 3-vectors, the 4x4 feature transform and point lists.
//
// APMatrix4d maps a point as the row vector (x, y, z, 1) times the matrix and divides by the
// fourth component: x' = m0 x + m4 y + m8 z + m12, ..., w' = m3 x + m7 y + m11 z + m15. The
// translation stands in m12, m13, m14. This is the layout of the feature transform on the
// interfaces and in the element stream.
#include "model/APArray.h"

struct APVector3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    // out = a x b; answers out.
    static APVector3d& Cross(const APVector3d& a, const APVector3d& b, APVector3d& out);
    static APVector3d& Add(const APVector3d& a, const APVector3d& b, APVector3d& out);
    static APVector3d& Subtract(const APVector3d& a, const APVector3d& b, APVector3d& out);
    static APVector3d& Scale(const APVector3d& a, double s, APVector3d& out);
    static double Dot(const APVector3d& a, const APVector3d& b);
    // Divides by the length; a zero vector turns into NaNs.
    static void Normalize(APVector3d& v);
    // As Normalize, but a vector whose squared length is exactly 0 stays as it is.
    static void NormalizeIfNonZero(APVector3d& v);
};

using APPointList = APArray<APVector3d>;

struct APMatrix4d {
    double m[16];

    static void SetIdentity(APMatrix4d& a);
    // Exact comparison with the identity, element by element.
    static bool IsIdentity(const APMatrix4d& a);
    static void Assign(APMatrix4d& a, const APMatrix4d& src);
    static void SetFromArray(APMatrix4d& a, const double values[16]);
    static void AssignFromFloat(APMatrix4d& a, const float values[16]);

    // (x', y', z', w') of p without the division.
    static void TransformPointHomogeneous(const APMatrix4d& a, const APVector3d& p, double out[4]);
    // Maps every point in place (divided by w'); nothing is done for the identity.
    static void TransformPoints(const APMatrix4d& a, APPointList& points);
    static void TransformPoints(const APMatrix4d& a, APVector3d* points, int count);

    // Used by plane geometry.
    // In place by Gauss-Jordan elimination with full pivoting; false (matrix unspecified)
    // when the matrix is singular.
    static bool Invert(APMatrix4d& a);
    static void MultiplyPoint(const APMatrix4d& a, const APVector3d& p, double out[4]);
    // Rows (x, 0), (y, 0), (z, 0), (origin, 1).
    static void SetFrame(APMatrix4d& out, const APVector3d& xAxis, const APVector3d& yAxis, const APVector3d& zAxis,
                         const APVector3d& origin);
    // v times the upper-left 3x3 part.
    static APVector3d TransformDirection(const APMatrix4d& a, const APVector3d& v);
};
