#include "platform/toolkit/WmNURBS.h"

#include <cmath>
#include <cstdint>
#include <new>

namespace {

// Largest number of doubles one net may hold (keeps every size within an int).
constexpr long long kMaxNetDoubles = 1LL << 26;

bool finite(double v) { return std::isfinite(v); }

bool copyOut(const std::vector<double>& from, WmVecDouble& to)
{
    try {
        return to.assign(from.data(), static_cast<int>(from.size()));
    } catch (const WmError&) {
        return false;
    }
}

bool writeDoubles(WmObjectStream& s, const std::vector<double>& v)
{
    for (double d : v)
        if (!s.write(d)) return false;
    return true;
}

// Point (and derivative) of a rational or plain combination. `h` and `dh` hold the weighted
// sums of `coords` values; the last one is the weight when `rational`.
bool project(const double* h, const double* dh, int dimension, bool rational, double* point, double* derivative)
{
    const double w = rational ? h[dimension] : 1.0;
    if (w == 0.0 || !finite(w)) return false;
    for (int k = 0; k < dimension; ++k) point[k] = h[k] / w;
    if (derivative) {
        const double dw = rational ? dh[dimension] : 0.0;
        for (int k = 0; k < dimension; ++k) derivative[k] = (dh[k] - dw * point[k]) / w;
    }
    return true;
}

} // namespace

bool WmStreamHolds(WmObjectStream& s, long long bytes)
{
    if (bytes < 0) return false;
    WmByteStream* b = s.byteStream();
    if (!b) return false;
    std::int64_t left = 0;
    return !b->BytesRemaining(&left) || left >= bytes;
}

bool WmReadDoubles(WmObjectStream& s, long long n, std::vector<double>& out)
{
    out.clear();
    if (n < 0 || n > kMaxNetDoubles || !WmStreamHolds(s, n * 8)) return false;
    try {
        for (long long i = 0; i < n; ++i) {
            double d = 0.0;
            if (!s.read(d)) return false;
            out.push_back(d);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// ---- WmNURBSBasis ----

bool WmNURBSBasis::set(int degree, int count, const double* knots)
{
    if (degree < 1 || degree > kMaxDegree || count < degree + 1 || !knots) return false;
    const long long n = static_cast<long long>(count) + degree + 1;
    if (n > kMaxNetDoubles) return false;
    for (long long i = 0; i < n; ++i) {
        if (!finite(knots[i])) return false;
        if (i > 0 && knots[i] < knots[i - 1]) return false;
    }
    if (!(knots[degree] < knots[count])) return false;
    m_knots.assign(knots, knots + n);
    m_degree = degree;
    m_count = count;
    return true;
}

bool WmNURBSBasis::evaluate(double t, double* N, double* d, int* first) const
{
    if (!isSet() || !(t >= start() && t <= end())) return false;
    const double* U = m_knots.data();
    const int p = m_degree, n = m_count;
    // The span s with U[s] <= t < U[s + 1]; the end of the range belongs to the last span.
    int s;
    if (t >= U[n]) {
        s = n - 1;
        while (s > p && U[s] == U[s + 1]) --s;
    } else {
        int lo = p, hi = n;
        s = (lo + hi) / 2;
        while (t < U[s] || t >= U[s + 1]) {
            if (t < U[s]) hi = s;
            else lo = s;
            s = (lo + hi) / 2;
        }
    }
    // Cox - de Boor, degree by degree; keeps degree p - 1 for the derivatives.
    double left[kMaxDegree + 1], right[kMaxDegree + 1], lower[kMaxDegree + 1];
    N[0] = 1.0;
    for (int j = 1; j <= p; ++j) {
        if (j == p)
            for (int k = 0; k < p; ++k) lower[k] = N[k];
        left[j] = t - U[s + 1 - j];
        right[j] = U[s + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            const double temp = N[r] / (right[r + 1] + left[j - r]);
            N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        N[j] = saved;
    }
    if (d) {
        for (int k = 0; k <= p; ++k) {
            const int i = s - p + k;
            double v = 0.0;
            if (k >= 1 && U[i + p] != U[i]) v += p * lower[k - 1] / (U[i + p] - U[i]);
            if (k <= p - 1 && U[i + p + 1] != U[i + 1]) v -= p * lower[k] / (U[i + p + 1] - U[i + 1]);
            d[k] = v;
        }
    }
    *first = s - p;
    return true;
}

bool WmNURBSBasis::write(WmObjectStream& s) const
{
    return s.write(m_degree) && s.write(m_count) && writeDoubles(s, m_knots);
}

bool WmNURBSBasis::read(WmObjectStream& s)
{
    int degree = 0, count = 0;
    if (!s.read(degree) || !s.read(count)) return false;
    if (degree < 1 || degree > kMaxDegree || count < degree + 1) return false;
    std::vector<double> knots;
    if (!WmReadDoubles(s, static_cast<long long>(count) + degree + 1, knots)) return false;
    return set(degree, count, knots.data());
}

// ---- WmNURBSCurveNet ----

bool WmNURBSCurveNet::setInternals(int degree, int count, const double* knots, const double* points, int coordinates)
{
    if (coordinates != m_dimension && coordinates != m_dimension + 1) return false;
    if (!points || static_cast<long long>(count) * coordinates > kMaxNetDoubles) return false;
    WmNURBSBasis basis;
    if (!basis.set(degree, count, knots)) return false;
    try {
        m_points.assign(points, points + static_cast<std::size_t>(count) * coordinates);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_basis = basis;
    m_coordinates = coordinates;
    return true;
}

bool WmNURBSCurveNet::getControls(int* count) const
{
    if (!count || !hasInternals()) return false;
    *count = m_basis.count();
    return true;
}

bool WmNURBSCurveNet::getKnots(WmVecDouble& knots) const
{
    if (!hasInternals()) return false;
    return copyOut(std::vector<double>(m_basis.knots(), m_basis.knots() + m_basis.numKnots()), knots);
}

bool WmNURBSCurveNet::getCtlPoints(WmVecDouble& points, int* coordinates) const
{
    if (!hasInternals() || !copyOut(m_points, points)) return false;
    if (coordinates) *coordinates = m_coordinates;
    return true;
}

bool WmNURBSCurveNet::setCtlPoints(const double* points, int count, int coordinates)
{
    if (!hasInternals() || !points || count != m_basis.count() || coordinates != m_coordinates) return false;
    std::copy(points, points + m_points.size(), m_points.begin());
    return true;
}

bool WmNURBSCurveNet::evaluate(double t, double* point, double* derivative) const
{
    if (!point) return false;
    double N[WmNURBSBasis::kMaxDegree + 1], dN[WmNURBSBasis::kMaxDegree + 1];
    int first = 0;
    if (!m_basis.evaluate(t, N, derivative ? dN : nullptr, &first)) return false;
    double h[4] = {0, 0, 0, 0}, dh[4] = {0, 0, 0, 0};
    for (int k = 0; k <= m_basis.degree(); ++k) {
        const double* P = m_points.data() + static_cast<std::size_t>(first + k) * m_coordinates;
        for (int c = 0; c < m_coordinates; ++c) {
            h[c] += N[k] * P[c];
            if (derivative) dh[c] += dN[k] * P[c];
        }
    }
    return project(h, dh, m_dimension, isRational(), point, derivative);
}

bool WmNURBSCurveNet::write(WmObjectStream& s) const
{
    if (!s.write(hasInternals() ? m_coordinates : 0)) return false;
    if (!hasInternals()) return true;
    return m_basis.write(s) && writeDoubles(s, m_points);
}

bool WmNURBSCurveNet::read(WmObjectStream& s)
{
    int coordinates = 0;
    if (!s.read(coordinates)) return false;
    if (coordinates == 0) {
        *this = WmNURBSCurveNet(m_dimension);
        return true;
    }
    if (coordinates != m_dimension && coordinates != m_dimension + 1) return false;
    WmNURBSBasis basis;
    std::vector<double> points;
    if (!basis.read(s) || !WmReadDoubles(s, static_cast<long long>(basis.count()) * coordinates, points)) return false;
    return setInternals(basis.degree(), basis.count(), basis.knots(), points.data(), coordinates);
}

// ---- casts ----

WmBrepNURBSSurface* WmBrepNURBSSurface::cast(WmBrepSurface* s)
{
    return s && s->classType() == classTypeID() ? static_cast<WmBrepNURBSSurface*>(s) : nullptr;
}
const WmBrepNURBSSurface* WmBrepNURBSSurface::cast(const WmBrepSurface* s)
{
    return s && s->classType() == classTypeID() ? static_cast<const WmBrepNURBSSurface*>(s) : nullptr;
}
WmBrepNURBSXYZCurve* WmBrepNURBSXYZCurve::cast(WmBrepXYZCurve* c)
{
    return c && c->classType() == classTypeID() ? static_cast<WmBrepNURBSXYZCurve*>(c) : nullptr;
}
const WmBrepNURBSXYZCurve* WmBrepNURBSXYZCurve::cast(const WmBrepXYZCurve* c)
{
    return c && c->classType() == classTypeID() ? static_cast<const WmBrepNURBSXYZCurve*>(c) : nullptr;
}
WmBrepNURBSUVCurve* WmBrepNURBSUVCurve::cast(WmBrepUVCurve* c)
{
    return c && c->classType() == classTypeID() ? static_cast<WmBrepNURBSUVCurve*>(c) : nullptr;
}
const WmBrepNURBSUVCurve* WmBrepNURBSUVCurve::cast(const WmBrepUVCurve* c)
{
    return c && c->classType() == classTypeID() ? static_cast<const WmBrepNURBSUVCurve*>(c) : nullptr;
}

// ---- WmBrepNURBSSurface ----

WmBrepSurface* WmBrepNURBSSurface::clone() const { return new WmBrepNURBSSurface(*this); }

bool WmBrepNURBSSurface::setInternals(int uDegree, int vDegree, int numU, int numV, const double* uKnots,
                                      const double* vKnots, const double* points, int coordinates)
{
    if (coordinates != 3 && coordinates != 4) return false;
    const long long doubles = static_cast<long long>(numU) * numV * coordinates;
    if (!points || numU < 1 || numV < 1 || doubles > kMaxNetDoubles) return false;
    WmNURBSBasis u, v;
    if (!u.set(uDegree, numU, uKnots) || !v.set(vDegree, numV, vKnots)) return false;
    try {
        m_points.assign(points, points + doubles);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_u = u;
    m_v = v;
    m_coordinates = coordinates;
    return true;
}

bool WmBrepNURBSSurface::getInternals(int* uDegree, int* vDegree, int* numU, int* numV, WmVecDouble* uKnots,
                                      WmVecDouble* vKnots, WmVecDouble* points, int* coordinates) const
{
    if (!hasInternals()) return false;
    if (uKnots && !copyOut(std::vector<double>(m_u.knots(), m_u.knots() + m_u.numKnots()), *uKnots)) return false;
    if (vKnots && !copyOut(std::vector<double>(m_v.knots(), m_v.knots() + m_v.numKnots()), *vKnots)) return false;
    if (points && !copyOut(m_points, *points)) return false;
    if (uDegree) *uDegree = m_u.degree();
    if (vDegree) *vDegree = m_v.degree();
    if (numU) *numU = m_u.count();
    if (numV) *numV = m_v.count();
    if (coordinates) *coordinates = m_coordinates;
    return true;
}

bool WmBrepNURBSSurface::getKnots(WmVecDouble& uKnots, WmVecDouble& vKnots) const
{
    return getInternals(nullptr, nullptr, nullptr, nullptr, &uKnots, &vKnots, nullptr, nullptr);
}

bool WmBrepNURBSSurface::getControls(int* numU, int* numV) const
{
    if (!numU || !numV) return false;
    return getInternals(nullptr, nullptr, numU, numV, nullptr, nullptr, nullptr, nullptr);
}

bool WmBrepNURBSSurface::getCtlPoints(WmVecDouble& points, int* coordinates) const
{
    return getInternals(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &points, coordinates);
}

bool WmBrepNURBSSurface::setCtlPoints(const double* points, int count, int coordinates)
{
    if (!hasInternals() || !points || coordinates != m_coordinates || count != m_u.count() * m_v.count()) return false;
    std::copy(points, points + m_points.size(), m_points.begin());
    return true;
}

bool WmBrepNURBSSurface::evaluate(double u, double v, double point[3]) const
{
    return evaluate(u, v, point, nullptr, nullptr);
}

bool WmBrepNURBSSurface::evaluate(double u, double v, double point[3], double du[3], double dv[3]) const
{
    if (!point || (du == nullptr) != (dv == nullptr)) return false;
    double Nu[WmNURBSBasis::kMaxDegree + 1], dNu[WmNURBSBasis::kMaxDegree + 1];
    double Nv[WmNURBSBasis::kMaxDegree + 1], dNv[WmNURBSBasis::kMaxDegree + 1];
    int fu = 0, fv = 0;
    const bool derivs = du != nullptr;
    if (!m_u.evaluate(u, Nu, derivs ? dNu : nullptr, &fu) || !m_v.evaluate(v, Nv, derivs ? dNv : nullptr, &fv))
        return false;
    double h[4] = {0, 0, 0, 0}, hu[4] = {0, 0, 0, 0}, hv[4] = {0, 0, 0, 0};
    const int numU = m_u.count();
    for (int b = 0; b <= m_v.degree(); ++b) {
        for (int a = 0; a <= m_u.degree(); ++a) {
            const double* P =
                m_points.data() + (static_cast<std::size_t>(fv + b) * numU + static_cast<std::size_t>(fu + a)) * m_coordinates;
            const double n = Nu[a] * Nv[b];
            for (int c = 0; c < m_coordinates; ++c) {
                h[c] += n * P[c];
                if (derivs) {
                    hu[c] += dNu[a] * Nv[b] * P[c];
                    hv[c] += Nu[a] * dNv[b] * P[c];
                }
            }
        }
    }
    if (!project(h, hu, 3, isRational(), point, du)) return false;
    if (derivs) {
        double again[3];
        return project(h, hv, 3, isRational(), again, dv);
    }
    return true;
}

bool WmBrepNURBSSurface::normal(double u, double v, double n[3]) const
{
    double p[3], du[3], dv[3];
    if (!n || !evaluate(u, v, p, du, dv)) return false;
    double c[3] = {du[1] * dv[2] - du[2] * dv[1], du[2] * dv[0] - du[0] * dv[2], du[0] * dv[1] - du[1] * dv[0]};
    const double len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    const double scale = std::sqrt((du[0] * du[0] + du[1] * du[1] + du[2] * du[2]) * (dv[0] * dv[0] + dv[1] * dv[1] + dv[2] * dv[2]));
    // Parallel derivatives (a pole, a collapsed edge) have no normal.
    if (!(len > 1e-14 * scale) || len == 0.0) {
        n[0] = n[1] = n[2] = 0.0;
        return true;
    }
    for (int k = 0; k < 3; ++k) n[k] = c[k] / len;
    return true;
}

bool WmBrepNURBSSurface::invert(const double p[3], double* u, double* v) const
{
    if (!p || !u || !v || !hasInternals() || !finite(p[0]) || !finite(p[1]) || !finite(p[2])) return false;
    auto dist2 = [p](const double q[3]) {
        return (q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) + (q[2] - p[2]) * (q[2] - p[2]);
    };
    // Start from the nearest of a few samples in every non-empty knot span.
    const int kSamples = 4;
    double bestU = m_u.start(), bestV = m_v.start(), best = -1.0;
    const double* U = m_u.knots();
    const double* V = m_v.knots();
    for (int i = m_u.degree(); i < m_u.count(); ++i) {
        if (U[i] == U[i + 1]) continue;
        for (int j = m_v.degree(); j < m_v.count(); ++j) {
            if (V[j] == V[j + 1]) continue;
            for (int a = 0; a <= kSamples; ++a) {
                for (int b = 0; b <= kSamples; ++b) {
                    const double su = U[i] + (U[i + 1] - U[i]) * a / kSamples;
                    const double sv = V[j] + (V[j + 1] - V[j]) * b / kSamples;
                    double q[3];
                    if (!evaluate(su, sv, q)) continue;
                    const double d = dist2(q);
                    if (best < 0.0 || d < best) {
                        best = d;
                        bestU = su;
                        bestV = sv;
                    }
                }
            }
        }
    }
    if (best < 0.0) return false;
    // Then Gauss-Newton steps on the distance, kept inside the range.
    double cu = bestU, cv = bestV;
    for (int iter = 0; iter < 50; ++iter) {
        double q[3], du[3], dv[3];
        if (!evaluate(cu, cv, q, du, dv)) return false;
        const double r[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
        const double a = du[0] * du[0] + du[1] * du[1] + du[2] * du[2];
        const double b = du[0] * dv[0] + du[1] * dv[1] + du[2] * dv[2];
        const double c = dv[0] * dv[0] + dv[1] * dv[1] + dv[2] * dv[2];
        const double gu = du[0] * r[0] + du[1] * r[1] + du[2] * r[2];
        const double gv = dv[0] * r[0] + dv[1] * r[1] + dv[2] * r[2];
        const double det = a * c - b * b;
        if (!(std::fabs(det) > 1e-300)) break;
        const double stepU = -(c * gu - b * gv) / det;
        const double stepV = -(a * gv - b * gu) / det;
        double nu = cu + stepU, nv = cv + stepV;
        nu = nu < m_u.start() ? m_u.start() : (nu > m_u.end() ? m_u.end() : nu);
        nv = nv < m_v.start() ? m_v.start() : (nv > m_v.end() ? m_v.end() : nv);
        const bool done = nu == cu && nv == cv;
        cu = nu;
        cv = nv;
        if (done) break;
    }
    *u = cu;
    *v = cv;
    return true;
}

bool WmBrepNURBSSurface::write(WmObjectStream& s) const
{
    if (!s.write(hasInternals() ? m_coordinates : 0)) return false;
    if (!hasInternals()) return true;
    return m_u.write(s) && m_v.write(s) && writeDoubles(s, m_points);
}

bool WmBrepNURBSSurface::read(WmObjectStream& s)
{
    int coordinates = 0;
    if (!s.read(coordinates)) return false;
    if (coordinates == 0) {
        *this = WmBrepNURBSSurface();
        return true;
    }
    if (coordinates != 3 && coordinates != 4) return false;
    WmNURBSBasis u, v;
    std::vector<double> points;
    if (!u.read(s) || !v.read(s)) return false;
    if (!WmReadDoubles(s, static_cast<long long>(u.count()) * v.count() * coordinates, points)) return false;
    return setInternals(u.degree(), v.degree(), u.count(), v.count(), u.knots(), v.knots(), points.data(), coordinates);
}
