#include "features/APGeometry.h"

#include <cmath>
#include <cstring>
#include <utility>

APVector3d& APVector3d::Cross(const APVector3d& a, const APVector3d& b, APVector3d& out)
{
    const APVector3d r{a.y * b.z - b.y * a.z, a.z * b.x - a.x * b.z, b.y * a.x - a.y * b.x};
    out = r;
    return out;
}

APVector3d& APVector3d::Add(const APVector3d& a, const APVector3d& b, APVector3d& out)
{
    out = APVector3d{a.x + b.x, a.y + b.y, a.z + b.z};
    return out;
}

APVector3d& APVector3d::Subtract(const APVector3d& a, const APVector3d& b, APVector3d& out)
{
    out = APVector3d{a.x - b.x, a.y - b.y, a.z - b.z};
    return out;
}

APVector3d& APVector3d::Scale(const APVector3d& a, double s, APVector3d& out)
{
    out = APVector3d{s * a.x, s * a.y, s * a.z};
    return out;
}

double APVector3d::Dot(const APVector3d& a, const APVector3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void APVector3d::Normalize(APVector3d& v)
{
    const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    v.x /= len;
    v.y /= len;
    v.z /= len;
}

void APVector3d::NormalizeIfNonZero(APVector3d& v)
{
    const double sq = v.x * v.x + v.y * v.y + v.z * v.z;
    if (sq == 0.0) return;
    const double inv = 1.0 / std::sqrt(sq);
    v.x *= inv;
    v.y *= inv;
    v.z *= inv;
}

void APMatrix4d::SetIdentity(APMatrix4d& a)
{
    for (int i = 0; i < 16; ++i) a.m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

bool APMatrix4d::IsIdentity(const APMatrix4d& a)
{
    for (int i = 0; i < 16; ++i)
        if (a.m[i] != ((i % 5 == 0) ? 1.0 : 0.0)) return false;
    return true;
}

void APMatrix4d::Assign(APMatrix4d& a, const APMatrix4d& src) { std::memmove(a.m, src.m, sizeof a.m); }

void APMatrix4d::SetFromArray(APMatrix4d& a, const double values[16]) { std::memmove(a.m, values, sizeof a.m); }

void APMatrix4d::AssignFromFloat(APMatrix4d& a, const float values[16])
{
    for (int i = 0; i < 16; ++i) a.m[i] = static_cast<double>(values[i]);
}

void APMatrix4d::TransformPointHomogeneous(const APMatrix4d& a, const APVector3d& p, double out[4])
{
    const double* m = a.m;
    const double x = p.x, y = p.y, z = p.z;
    out[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
    out[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
    out[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
    out[3] = m[3] * x + m[7] * y + m[11] * z + m[15];
}

void APMatrix4d::TransformPoints(const APMatrix4d& a, APVector3d* points, int count)
{
    if (!points || IsIdentity(a)) return;
    for (int i = 0; i < count; ++i) {
        double h[4];
        TransformPointHomogeneous(a, points[i], h);
        points[i] = APVector3d{h[0] / h[3], h[1] / h[3], h[2] / h[3]};
    }
}

void APMatrix4d::TransformPoints(const APMatrix4d& a, APPointList& points)
{
    TransformPoints(a, points.Data(), points.Count());
}

bool APMatrix4d::Invert(APMatrix4d& a)
{
    double (&m)[16] = a.m;
    auto at = [&m](int r, int c) -> double& { return m[r * 4 + c]; };
    int rowOf[4], colOf[4];
    bool used[4] = {false, false, false, false};
    for (int step = 0; step < 4; ++step) {
        // The largest pivot among the rows and columns not used yet.
        double best = 0.0;
        int pr = -1, pc = -1;
        for (int r = 0; r < 4; ++r) {
            if (used[r]) continue;
            for (int c = 0; c < 4; ++c) {
                if (used[c]) continue;
                if (pr < 0 || std::fabs(at(r, c)) > best) {
                    best = std::fabs(at(r, c));
                    pr = r;
                    pc = c;
                }
            }
        }
        if (pc < 0 || used[pc]) return false;
        used[pc] = true;
        if (pr != pc)
            for (int c = 0; c < 4; ++c) std::swap(at(pr, c), at(pc, c));
        rowOf[step] = pr;
        colOf[step] = pc;
        const double pivot = at(pc, pc);
        if (pivot == 0.0) return false;
        const double inv = 1.0 / pivot;
        at(pc, pc) = 1.0;
        for (int c = 0; c < 4; ++c) at(pc, c) *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == pc) continue;
            const double f = at(r, pc);
            at(r, pc) = 0.0;
            for (int c = 0; c < 4; ++c) at(r, c) -= at(pc, c) * f;
        }
    }
    // Undo the row swaps as column swaps, last first.
    for (int step = 3; step >= 0; --step) {
        if (rowOf[step] == colOf[step]) continue;
        for (int r = 0; r < 4; ++r) std::swap(at(r, rowOf[step]), at(r, colOf[step]));
    }
    return true;
}

void APMatrix4d::MultiplyPoint(const APMatrix4d& a, const APVector3d& p, double out[4])
{
    TransformPointHomogeneous(a, p, out);
}

void APMatrix4d::SetFrame(APMatrix4d& out, const APVector3d& xAxis, const APVector3d& yAxis, const APVector3d& zAxis,
                          const APVector3d& origin)
{
    const APVector3d rows[4] = {xAxis, yAxis, zAxis, origin};
    for (int r = 0; r < 4; ++r) {
        out.m[r * 4 + 0] = rows[r].x;
        out.m[r * 4 + 1] = rows[r].y;
        out.m[r * 4 + 2] = rows[r].z;
        out.m[r * 4 + 3] = r == 3 ? 1.0 : 0.0;
    }
}

APVector3d APMatrix4d::TransformDirection(const APMatrix4d& a, const APVector3d& v)
{
    const double* m = a.m;
    return APVector3d{v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
                      v.x * m[2] + v.y * m[6] + v.z * m[10]};
}
