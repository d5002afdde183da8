#pragma once
// The toolkit's NURBS geometry: surfaces of a B-rep's faces, model-space (XYZ) curves of its
// edges and parameter-space (UV) curves of its coedges.
//
// A net is stored as passed: degree(s), control counts, knots (count + degree + 1 per
// direction, non-decreasing, with a non-empty range from knot[degree] to knot[count]) and
// control points of `coordinates` doubles each. Rational points are homogeneous
// (x w, y w, z w, w) and are divided by w on evaluation. Evaluation outside the knot range,
// at a NaN, or of a curve or surface without a net fails.
#include <vector>

#include "platform/toolkit/WmObjectStream.h"
#include "platform/toolkit/WmPlatform.h"
#include "platform/toolkit/WmVec.h"

// Does the stream still hold `bytes`? True when it cannot tell (readers then read value by
// value, so that a damaged count fails at the end of the data, not in an allocation).
bool WmStreamHolds(WmObjectStream& s, long long bytes);
// Reads n doubles (n checked against the stream first) into `out`.
bool WmReadDoubles(WmObjectStream& s, long long n, std::vector<double>& out);

// One parametric direction: degree, control count and knots.
class WmNURBSBasis {
public:
    static constexpr int kMaxDegree = 15;

    bool set(int degree, int count, const double* knots);
    bool isSet() const { return m_count > 0; }
    int degree() const { return m_degree; }
    int count() const { return m_count; }
    int numKnots() const { return static_cast<int>(m_knots.size()); }
    const double* knots() const { return m_knots.data(); }
    double first() const { return m_knots.empty() ? 0.0 : m_knots.front(); }
    double last() const { return m_knots.empty() ? 0.0 : m_knots.back(); }
    // Parameter range: knot[degree] to knot[count].
    double start() const { return m_knots[m_degree]; }
    double end() const { return m_knots[m_count]; }

    // The degree + 1 basis functions that do not vanish at t (and their first derivatives
    // when d is given); *first is the control index of N[0]. False outside the range.
    bool evaluate(double t, double* N, double* d, int* first) const;

    bool write(WmObjectStream& s) const;
    bool read(WmObjectStream& s);

private:
    int m_degree = 0;
    int m_count = 0;
    std::vector<double> m_knots;
};

// Common store and evaluator of the curve kinds; `dimension` is 3 for model space, 2 for
// parameter space.
class WmNURBSCurveNet {
public:
    explicit WmNURBSCurveNet(int dimension) : m_dimension(dimension) {}

    bool setInternals(int degree, int count, const double* knots, const double* points, int coordinates);
    bool hasInternals() const { return m_basis.isSet(); }
    int degree() const { return m_basis.degree(); }
    int numControls() const { return m_basis.count(); }
    int coordinates() const { return m_coordinates; }
    bool isRational() const { return m_coordinates == m_dimension + 1; }
    const WmNURBSBasis& basis() const { return m_basis; }
    const double* ctlPoints() const { return m_points.data(); }

    bool getControls(int* count) const;
    bool getKnots(WmVecDouble& knots) const;
    bool getCtlPoints(WmVecDouble& points, int* coordinates) const;
    // Replaces the control points; the count and the coordinates must match the net's.
    bool setCtlPoints(const double* points, int count, int coordinates);

    // Cartesian point (dimension values) and, when asked, its first derivative.
    bool evaluate(double t, double* point, double* derivative = nullptr) const;

    bool write(WmObjectStream& s) const;
    bool read(WmObjectStream& s);

private:
    int m_dimension;
    int m_coordinates = 0;
    WmNURBSBasis m_basis;
    std::vector<double> m_points;
};

// Class type numbers handed to WmBrep::newSurface, newXYZCurve and newUVCurve.
enum WmClassType {
    WmClassNURBSSurface = 0x0101,
    WmClassNURBSXYZCurve = 0x0201,
    WmClassNURBSUVCurve = 0x0301
};

class WmBrepSurface : public WmAllocHooked {
public:
    virtual ~WmBrepSurface() = default;
    virtual int classType() const = 0;
    virtual WmBrepSurface* clone() const = 0;
    virtual bool evaluate(double u, double v, double point[3]) const = 0;
    // Unit normal du x dv; (0, 0, 0) where the derivatives are parallel.
    virtual bool normal(double u, double v, double n[3]) const = 0;
    // The (u, v) whose point lies nearest p.
    virtual bool invert(const double p[3], double* u, double* v) const = 0;
    virtual bool write(WmObjectStream& s) const = 0;
    virtual bool read(WmObjectStream& s) = 0;
};

class WmBrepXYZCurve : public WmAllocHooked {
public:
    virtual ~WmBrepXYZCurve() = default;
    virtual int classType() const = 0;
    virtual WmBrepXYZCurve* clone() const = 0;
    virtual bool evaluate(double t, double point[3]) const = 0;
    virtual bool write(WmObjectStream& s) const = 0;
    virtual bool read(WmObjectStream& s) = 0;
};

class WmBrepUVCurve : public WmAllocHooked {
public:
    virtual ~WmBrepUVCurve() = default;
    virtual int classType() const = 0;
    virtual WmBrepUVCurve* clone() const = 0;
    virtual bool evaluate(double t, double uv[2]) const = 0;
    virtual bool write(WmObjectStream& s) const = 0;
    virtual bool read(WmObjectStream& s) = 0;
};

class WmBrepNURBSSurface : public WmBrepSurface {
public:
    static int classTypeID() { return WmClassNURBSSurface; }
    // The surface itself when it is a NURBS surface, else null.
    static WmBrepNURBSSurface* cast(WmBrepSurface* s);
    static const WmBrepNURBSSurface* cast(const WmBrepSurface* s);

    int classType() const override { return classTypeID(); }
    WmBrepSurface* clone() const override;

    // Control point (i, j) is element j * numU + i. `points` may be null only for an empty net.
    bool setInternals(int uDegree, int vDegree, int numU, int numV, const double* uKnots, const double* vKnots,
                      const double* points, int coordinates);
    // False while no net is set. Every out-pointer may be null.
    bool getInternals(int* uDegree, int* vDegree, int* numU, int* numV, WmVecDouble* uKnots, WmVecDouble* vKnots,
                      WmVecDouble* points, int* coordinates) const;
    bool hasInternals() const { return m_u.isSet(); }
    bool getKnots(WmVecDouble& uKnots, WmVecDouble& vKnots) const;
    bool getControls(int* numU, int* numV) const;
    bool getCtlPoints(WmVecDouble& points, int* coordinates) const;
    bool setCtlPoints(const double* points, int count, int coordinates);

    const WmNURBSBasis& uBasis() const { return m_u; }
    const WmNURBSBasis& vBasis() const { return m_v; }
    int coordinates() const { return m_coordinates; }
    bool isRational() const { return m_coordinates == 4; }
    const double* ctlPoints() const { return m_points.data(); }

    bool evaluate(double u, double v, double point[3]) const override;
    // Point with its partial derivatives along u and v.
    bool evaluate(double u, double v, double point[3], double du[3], double dv[3]) const;
    bool normal(double u, double v, double n[3]) const override;
    bool invert(const double p[3], double* u, double* v) const override;

    bool write(WmObjectStream& s) const override;
    bool read(WmObjectStream& s) override;

private:
    WmNURBSBasis m_u, m_v;
    int m_coordinates = 0;
    std::vector<double> m_points;
};

class WmBrepNURBSXYZCurve : public WmBrepXYZCurve, public WmNURBSCurveNet {
public:
    WmBrepNURBSXYZCurve() : WmNURBSCurveNet(3) {}
    static int classTypeID() { return WmClassNURBSXYZCurve; }
    static WmBrepNURBSXYZCurve* cast(WmBrepXYZCurve* c);
    static const WmBrepNURBSXYZCurve* cast(const WmBrepXYZCurve* c);

    int classType() const override { return classTypeID(); }
    WmBrepXYZCurve* clone() const override { return new WmBrepNURBSXYZCurve(*this); }
    bool evaluate(double t, double point[3]) const override { return WmNURBSCurveNet::evaluate(t, point); }
    bool write(WmObjectStream& s) const override { return WmNURBSCurveNet::write(s); }
    bool read(WmObjectStream& s) override { return WmNURBSCurveNet::read(s); }
};

class WmBrepNURBSUVCurve : public WmBrepUVCurve, public WmNURBSCurveNet {
public:
    WmBrepNURBSUVCurve() : WmNURBSCurveNet(2) {}
    static int classTypeID() { return WmClassNURBSUVCurve; }
    static WmBrepNURBSUVCurve* cast(WmBrepUVCurve* c);
    static const WmBrepNURBSUVCurve* cast(const WmBrepUVCurve* c);

    int classType() const override { return classTypeID(); }
    WmBrepUVCurve* clone() const override { return new WmBrepNURBSUVCurve(*this); }
    bool evaluate(double t, double uv[2]) const override { return WmNURBSCurveNet::evaluate(t, uv); }
    bool write(WmObjectStream& s) const override { return WmNURBSCurveNet::write(s); }
    bool read(WmObjectStream& s) override { return WmNURBSCurveNet::read(s); }
};
