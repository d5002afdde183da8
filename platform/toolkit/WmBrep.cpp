#include "platform/toolkit/WmBrep.h"

#include <algorithm>
#include <new>

namespace {

// Format version of the B-rep's stream form.
constexpr int kBrepFormat = 1;
// No single B-rep holds more entities of one kind than this.
constexpr int kMaxEntities = 1 << 24;

template <class T>
T* at(const std::vector<std::unique_ptr<T>>& v, int i)
{
    return i >= 0 && static_cast<std::size_t>(i) < v.size() ? v[static_cast<std::size_t>(i)].get() : nullptr;
}

// Is e an entity of this list (and so of this B-rep)?
template <class T>
bool owns(const std::vector<std::unique_ptr<T>>& v, const T* e)
{
    return e && at(v, e->index()) == e;
}

template <class T>
int indexIn(const std::vector<std::unique_ptr<T>>& v, const T* e)
{
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i].get() == e) return static_cast<int>(i);
    return -1;
}

template <class T>
std::vector<std::unique_ptr<T>> cloneAll(const std::vector<std::unique_ptr<T>>& v)
{
    std::vector<std::unique_ptr<T>> out;
    out.reserve(v.size());
    for (const auto& e : v) out.emplace_back(e->clone());
    return out;
}

template <class T>
std::vector<std::unique_ptr<T>> copyAll(const std::vector<std::unique_ptr<T>>& v)
{
    std::vector<std::unique_ptr<T>> out;
    out.reserve(v.size());
    for (const auto& e : v) out.emplace_back(new T(*e));
    return out;
}

// Appends a new entity numbered by its place; false when the kind is full.
template <class T, class... Args>
T* append(std::vector<std::unique_ptr<T>>& v, Args... args)
{
    if (v.size() >= static_cast<std::size_t>(kMaxEntities)) return nullptr;
    try {
        v.emplace_back(new T(static_cast<int>(v.size()), args...));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return v.back().get();
}

template <class T>
T* child(const std::vector<std::unique_ptr<T>>& all, const std::vector<int>& children, int i)
{
    return i >= 0 && static_cast<std::size_t>(i) < children.size() ? at(all, children[static_cast<std::size_t>(i)]) : nullptr;
}

bool pushIndex(std::vector<int>& list, int i)
{
    try {
        list.push_back(i);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Geometry by class type.
WmBrepSurface* makeSurface(int type) { return type == WmClassNURBSSurface ? new WmBrepNURBSSurface : nullptr; }
WmBrepXYZCurve* makeXYZCurve(int type) { return type == WmClassNURBSXYZCurve ? new WmBrepNURBSXYZCurve : nullptr; }
WmBrepUVCurve* makeUVCurve(int type) { return type == WmClassNURBSUVCurve ? new WmBrepNURBSUVCurve : nullptr; }

template <class T>
bool writeGeometry(WmObjectStream& s, const std::vector<std::unique_ptr<T>>& v)
{
    for (const auto& g : v)
        if (!s.write(g->classType()) || !g->write(s)) return false;
    return true;
}

template <class T>
bool readGeometry(WmObjectStream& s, int count, T* (*make)(int), std::vector<std::unique_ptr<T>>& v)
{
    for (int i = 0; i < count; ++i) {
        int type = 0;
        if (!s.read(type)) return false;
        std::unique_ptr<T> g(make(type));
        if (!g || !g->read(s)) return false;
        v.push_back(std::move(g));
    }
    return true;
}

bool validRef(int i, std::size_t n) { return i == -1 || (i >= 0 && static_cast<std::size_t>(i) < n); }
bool validParent(int i, std::size_t n) { return i >= 0 && static_cast<std::size_t>(i) < n; }

} // namespace

WmBrep::WmBrep(const WmBrep& other)
    : IPlenvortBrep(), WmRefCounted(other), m_regions(copyAll(other.m_regions)), m_shells(copyAll(other.m_shells)),
      m_faces(copyAll(other.m_faces)), m_loops(copyAll(other.m_loops)), m_coedges(copyAll(other.m_coedges)),
      m_edges(copyAll(other.m_edges)), m_surfaces(cloneAll(other.m_surfaces)), m_xyzCurves(cloneAll(other.m_xyzCurves)),
      m_uvCurves(cloneAll(other.m_uvCurves))
{
}

std::uintptr_t WmBrep::toHandle(WmBrep* brep)
{
    return reinterpret_cast<std::uintptr_t>(static_cast<IPlenvortBrep*>(brep));
}

WmBrep* WmBrep::fromHandle(std::uintptr_t handle)
{
    return static_cast<WmBrep*>(reinterpret_cast<IPlenvortBrep*>(handle));
}

// ---- walk ----

WmParaRegion* WmBrep::region(int i) const { return at(m_regions, i); }

int WmBrep::numShellsOnRegion(const WmParaRegion* r) const
{
    return owns(m_regions, r) ? static_cast<int>(r->m_shells.size()) : 0;
}

WmParaShell* WmBrep::shell(const WmParaRegion* r, int i) const
{
    return owns(m_regions, r) ? child(m_shells, r->m_shells, i) : nullptr;
}

int WmBrep::numFacesOnShell(const WmParaShell* s) const
{
    return owns(m_shells, s) ? static_cast<int>(s->m_faces.size()) : 0;
}

WmParaFace* WmBrep::face(const WmParaShell* s, int i) const
{
    return owns(m_shells, s) ? child(m_faces, s->m_faces, i) : nullptr;
}

int WmBrep::numLoopsOnFace(const WmParaFace* f) const
{
    return owns(m_faces, f) ? static_cast<int>(f->m_loops.size()) : 0;
}

WmParaLoop* WmBrep::loop(const WmParaFace* f, int i) const
{
    return owns(m_faces, f) ? child(m_loops, f->m_loops, i) : nullptr;
}

int WmBrep::numCoedgesOnLoop(const WmParaLoop* l) const
{
    return owns(m_loops, l) ? static_cast<int>(l->m_coedges.size()) : 0;
}

WmParaCoedge* WmBrep::coedge(const WmParaLoop* l, int i) const
{
    return owns(m_loops, l) ? child(m_coedges, l->m_coedges, i) : nullptr;
}

WmParaEdge* WmBrep::edge(const WmParaCoedge* c) const { return owns(m_coedges, c) ? at(m_edges, c->m_edge) : nullptr; }

WmParaShell* WmBrep::shellAt(int i) const { return at(m_shells, i); }
WmParaFace* WmBrep::faceAt(int i) const { return at(m_faces, i); }
WmParaLoop* WmBrep::loopAt(int i) const { return at(m_loops, i); }
WmParaCoedge* WmBrep::coedgeAt(int i) const { return at(m_coedges, i); }
WmParaEdge* WmBrep::edgeAt(int i) const { return at(m_edges, i); }
WmBrepSurface* WmBrep::surface(int i) const { return at(m_surfaces, i); }
WmBrepXYZCurve* WmBrep::xyzCurve(int i) const { return at(m_xyzCurves, i); }
WmBrepUVCurve* WmBrep::uvCurve(int i) const { return at(m_uvCurves, i); }

int WmBrep::indexOf(const WmBrepSurface* s) const { return s ? indexIn(m_surfaces, s) : -1; }
int WmBrep::indexOf(const WmBrepXYZCurve* c) const { return c ? indexIn(m_xyzCurves, c) : -1; }
int WmBrep::indexOf(const WmBrepUVCurve* c) const { return c ? indexIn(m_uvCurves, c) : -1; }

// ---- construction ----

bool WmBrep::newRegionOnBrep(WmParaRegion** out)
{
    if (!out) return false;
    *out = append(m_regions);
    return *out != nullptr;
}

bool WmBrep::newShellOnRegion(WmParaRegion* r, WmParaShell** out)
{
    if (!out || !owns(m_regions, r)) return false;
    WmParaShell* s = append(m_shells, r->index());
    if (!s || !pushIndex(r->m_shells, s->index())) {
        if (s) m_shells.pop_back();
        return false;
    }
    *out = s;
    return true;
}

bool WmBrep::newFaceOnShell(WmParaShell* s, WmParaFace** out)
{
    if (!out || !owns(m_shells, s)) return false;
    WmParaFace* f = append(m_faces, s->index());
    if (!f || !pushIndex(s->m_faces, f->index())) {
        if (f) m_faces.pop_back();
        return false;
    }
    *out = f;
    return true;
}

bool WmBrep::newLoopOnFace(WmParaFace* f, WmParaLoop** out)
{
    if (!out || !owns(m_faces, f)) return false;
    WmParaLoop* l = append(m_loops, f->index());
    if (!l || !pushIndex(f->m_loops, l->index())) {
        if (l) m_loops.pop_back();
        return false;
    }
    *out = l;
    return true;
}

bool WmBrep::newCoedgeOnLoop(WmParaLoop* l, WmParaCoedge** out)
{
    if (!out || !owns(m_loops, l)) return false;
    WmParaCoedge* c = append(m_coedges, l->index());
    if (!c || !pushIndex(l->m_coedges, c->index())) {
        if (c) m_coedges.pop_back();
        return false;
    }
    *out = c;
    return true;
}

bool WmBrep::newEdge(WmParaEdge** out)
{
    if (!out) return false;
    *out = append(m_edges);
    return *out != nullptr;
}

namespace {
template <class T>
bool addGeometry(std::vector<std::unique_ptr<T>>& v, T* made, T** out)
{
    std::unique_ptr<T> g(made);
    if (!out || !g || v.size() >= static_cast<std::size_t>(kMaxEntities)) return false;
    try {
        v.push_back(std::move(g));
    } catch (const std::bad_alloc&) {
        return false;
    }
    *out = made;
    return true;
}
} // namespace

bool WmBrep::newSurface(int classType, WmBrepSurface** out)
{
    return out && addGeometry(m_surfaces, makeSurface(classType), out);
}

bool WmBrep::newXYZCurve(int classType, WmBrepXYZCurve** out)
{
    return out && addGeometry(m_xyzCurves, makeXYZCurve(classType), out);
}

bool WmBrep::newUVCurve(int classType, WmBrepUVCurve** out)
{
    return out && addGeometry(m_uvCurves, makeUVCurve(classType), out);
}

bool WmBrep::setSurfaceOnFace(WmParaFace* f, WmBrepSurface* s)
{
    const int i = indexOf(s);
    if (!owns(m_faces, f) || i < 0) return false;
    f->m_surface = i;
    return true;
}

bool WmBrep::setEdgeOnCoedge(WmParaCoedge* c, WmParaEdge* e)
{
    if (!owns(m_coedges, c) || !owns(m_edges, e)) return false;
    c->m_edge = e->index();
    return true;
}

bool WmBrep::setXYZCurveOnEdge(WmParaEdge* e, WmBrepXYZCurve* curve)
{
    const int i = indexOf(curve);
    if (!owns(m_edges, e) || i < 0) return false;
    e->m_xyzCurve = i;
    return true;
}

bool WmBrep::setUVCurveOnCoedge(WmParaCoedge* c, WmBrepUVCurve* curve)
{
    const int i = indexOf(curve);
    if (!owns(m_coedges, c) || i < 0) return false;
    c->m_uvCurve = i;
    return true;
}

// ---- stream form ----
// Format word, the nine counts, then per entity its parent and links (children lists follow
// from the parents, in number order), then each curve and surface as class type and net.

bool WmBrep::write(WmObjectStream& s) const
{
    const int counts[9] = {numRegions(), numShells(),  numFaces(),    numLoops(),  numCoedges(),
                           numEdges(),   numSurfaces(), numXYZCurves(), numUVCurves()};
    if (!s.write(kBrepFormat)) return false;
    for (int n : counts)
        if (!s.write(n)) return false;
    for (const auto& sh : m_shells)
        if (!s.write(sh->m_region)) return false;
    for (const auto& f : m_faces)
        if (!s.write(f->m_shell) || !s.write(f->m_surface) || !s.write(f->m_flags)) return false;
    for (const auto& l : m_loops)
        if (!s.write(l->m_face) || !s.write(l->m_flags)) return false;
    for (const auto& c : m_coedges)
        if (!s.write(c->m_loop) || !s.write(c->m_edge) || !s.write(c->m_uvCurve) || !s.write(c->m_flags)) return false;
    for (const auto& e : m_edges)
        if (!s.write(e->m_xyzCurve)) return false;
    return writeGeometry(s, m_surfaces) && writeGeometry(s, m_xyzCurves) && writeGeometry(s, m_uvCurves);
}

bool WmBrep::read(WmObjectStream& s)
{
    int format = 0;
    if (!s.read(format) || format != kBrepFormat) return false;
    int n[9];
    for (int& c : n)
        if (!s.read(c) || c < 0 || c > kMaxEntities) return false;
    // Fewest bytes each kind takes; a count the stream cannot hold fails before allocating.
    static const long long kMinBytes[9] = {0, 4, 12, 8, 16, 4, 8, 8, 8};
    long long least = 0;
    for (int k = 0; k < 9; ++k) least += kMinBytes[k] * n[k];
    if (!WmStreamHolds(s, least)) return false;

    WmBrep* fresh = nullptr;
    bool ok = true;
    try {
        fresh = new WmBrep;
        WmBrep& b = *fresh;
        for (int i = 0; i < n[0]; ++i) b.m_regions.emplace_back(new WmParaRegion(i));
        for (int i = 0; ok && i < n[1]; ++i) {
            int r = 0;
            ok = s.read(r) && validParent(r, b.m_regions.size());
            if (ok) {
                b.m_shells.emplace_back(new WmParaShell(i, r));
                b.m_regions[static_cast<std::size_t>(r)]->m_shells.push_back(i);
            }
        }
        for (int i = 0; ok && i < n[2]; ++i) {
            int sh = 0, surf = 0, flags = 0;
            ok = s.read(sh) && s.read(surf) && s.read(flags) && validParent(sh, b.m_shells.size()) &&
                 validRef(surf, static_cast<std::size_t>(n[6]));
            if (ok) {
                auto* f = new WmParaFace(i, sh);
                b.m_faces.emplace_back(f);
                f->m_surface = surf;
                f->m_flags = flags;
                b.m_shells[static_cast<std::size_t>(sh)]->m_faces.push_back(i);
            }
        }
        for (int i = 0; ok && i < n[3]; ++i) {
            int f = 0, flags = 0;
            ok = s.read(f) && s.read(flags) && validParent(f, b.m_faces.size());
            if (ok) {
                auto* l = new WmParaLoop(i, f);
                b.m_loops.emplace_back(l);
                l->m_flags = flags;
                b.m_faces[static_cast<std::size_t>(f)]->m_loops.push_back(i);
            }
        }
        for (int i = 0; ok && i < n[4]; ++i) {
            int l = 0, e = 0, uv = 0, flags = 0;
            ok = s.read(l) && s.read(e) && s.read(uv) && s.read(flags) && validParent(l, b.m_loops.size()) &&
                 validRef(e, static_cast<std::size_t>(n[5])) && validRef(uv, static_cast<std::size_t>(n[8]));
            if (ok) {
                auto* c = new WmParaCoedge(i, l);
                b.m_coedges.emplace_back(c);
                c->m_edge = e;
                c->m_uvCurve = uv;
                c->m_flags = flags;
                b.m_loops[static_cast<std::size_t>(l)]->m_coedges.push_back(i);
            }
        }
        for (int i = 0; ok && i < n[5]; ++i) {
            int curve = 0;
            ok = s.read(curve) && validRef(curve, static_cast<std::size_t>(n[7]));
            if (ok) {
                b.m_edges.emplace_back(new WmParaEdge(i));
                b.m_edges.back()->m_xyzCurve = curve;
            }
        }
        ok = ok && readGeometry(s, n[6], makeSurface, b.m_surfaces) && readGeometry(s, n[7], makeXYZCurve, b.m_xyzCurves) &&
             readGeometry(s, n[8], makeUVCurve, b.m_uvCurves);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!fresh) return false;
    if (ok) swapContents(*fresh);
    fresh->release();
    return ok;
}

void WmBrep::swapContents(WmBrep& o)
{
    m_regions.swap(o.m_regions);
    m_shells.swap(o.m_shells);
    m_faces.swap(o.m_faces);
    m_loops.swap(o.m_loops);
    m_coedges.swap(o.m_coedges);
    m_edges.swap(o.m_edges);
    m_surfaces.swap(o.m_surfaces);
    m_xyzCurves.swap(o.m_xyzCurves);
    m_uvCurves.swap(o.m_uvCurves);
}

// ---- IPlenvortBrep ----

ULONG STDMETHODCALLTYPE WmBrep::Release() { return static_cast<ULONG>(release()); }

ULONG STDMETHODCALLTYPE WmBrep::AddRef() { return static_cast<ULONG>(addRef()); }

int STDMETHODCALLTYPE WmBrep::GetCount(int kind)
{
    switch (kind) {
    case PV_BREP_REGION: return numRegions();
    case PV_BREP_SHELL: return numShells();
    case PV_BREP_FACE: return numFaces();
    case PV_BREP_LOOP: return numLoops();
    case PV_BREP_COEDGE: return numCoedges();
    case PV_BREP_EDGE: return numEdges();
    case PV_BREP_SURFACE: return numSurfaces();
    case PV_BREP_XYZ_CURVE: return numXYZCurves();
    case PV_BREP_UV_CURVE: return numUVCurves();
    default: return -1;
    }
}

HRESULT STDMETHODCALLTYPE WmBrep::GetShell(int i, int* region)
{
    const WmParaShell* s = shellAt(i);
    if (!region) return E_POINTER;
    if (!s) return E_INVALIDARG;
    *region = s->m_region;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmBrep::GetFace(int i, int* shell, int* surface, int* flags)
{
    const WmParaFace* f = faceAt(i);
    if (!shell || !surface || !flags) return E_POINTER;
    if (!f) return E_INVALIDARG;
    *shell = f->m_shell;
    *surface = f->m_surface;
    *flags = f->m_flags;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmBrep::GetLoop(int i, int* face, int* flags)
{
    const WmParaLoop* l = loopAt(i);
    if (!face || !flags) return E_POINTER;
    if (!l) return E_INVALIDARG;
    *face = l->m_face;
    *flags = l->m_flags;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmBrep::GetCoedge(int i, int* loop, int* edge, int* uvCurve, int* flags)
{
    const WmParaCoedge* c = coedgeAt(i);
    if (!loop || !edge || !uvCurve || !flags) return E_POINTER;
    if (!c) return E_INVALIDARG;
    *loop = c->m_loop;
    *edge = c->m_edge;
    *uvCurve = c->m_uvCurve;
    *flags = c->m_flags;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmBrep::GetEdge(int i, int* xyzCurve)
{
    const WmParaEdge* e = edgeAt(i);
    if (!xyzCurve) return E_POINTER;
    if (!e) return E_INVALIDARG;
    *xyzCurve = e->m_xyzCurve;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmBrep::GetSurfaceInfo(int i, int* uDegree, int* vDegree, int* numU, int* numV,
                                                 int* coordinates)
{
    if (!uDegree || !vDegree || !numU || !numV || !coordinates) return E_POINTER;
    const WmBrepNURBSSurface* s = WmBrepNURBSSurface::cast(surface(i));
    if (!s) return E_INVALIDARG;
    if (!s->hasInternals()) return E_FAIL;
    *uDegree = s->uBasis().degree();
    *vDegree = s->vBasis().degree();
    *numU = s->uBasis().count();
    *numV = s->vBasis().count();
    *coordinates = s->coordinates();
    return S_OK;
}

namespace {
HRESULT copyTo(const double* from, int n, double* to, int capacity)
{
    if (!to) return E_POINTER;
    if (capacity != n) return E_INVALIDARG;
    std::copy(from, from + n, to);
    return S_OK;
}
} // namespace

HRESULT STDMETHODCALLTYPE WmBrep::GetSurfaceData(int i, double* uKnots, int uKnotCount, double* vKnots, int vKnotCount,
                                                 double* points, int pointDoubles)
{
    const WmBrepNURBSSurface* s = WmBrepNURBSSurface::cast(surface(i));
    if (!s) return E_INVALIDARG;
    if (!s->hasInternals()) return E_FAIL;
    const int n = s->uBasis().count() * s->vBasis().count() * s->coordinates();
    HRESULT hr = copyTo(s->uBasis().knots(), s->uBasis().numKnots(), uKnots, uKnotCount);
    if (hr == S_OK) hr = copyTo(s->vBasis().knots(), s->vBasis().numKnots(), vKnots, vKnotCount);
    if (hr == S_OK) hr = copyTo(s->ctlPoints(), n, points, pointDoubles);
    return hr;
}

HRESULT STDMETHODCALLTYPE WmBrep::EvaluateSurface(int i, double u, double v, double point[3], double normal[3])
{
    if (!point || !normal) return E_POINTER;
    const WmBrepSurface* s = surface(i);
    if (!s) return E_INVALIDARG;
    return s->evaluate(u, v, point) && s->normal(u, v, normal) ? S_OK : E_FAIL;
}

const WmNURBSCurveNet* WmBrep::curveNet(int kind, int i) const
{
    if (kind == PV_BREP_XYZ_CURVE) return WmBrepNURBSXYZCurve::cast(xyzCurve(i));
    if (kind == PV_BREP_UV_CURVE) return WmBrepNURBSUVCurve::cast(uvCurve(i));
    return nullptr;
}

HRESULT STDMETHODCALLTYPE WmBrep::GetCurveInfo(int kind, int i, int* degree, int* count, int* coordinates)
{
    if (!degree || !count || !coordinates) return E_POINTER;
    const WmNURBSCurveNet* c = curveNet(kind, i);
    if (!c) return E_INVALIDARG;
    if (!c->hasInternals()) return E_FAIL;
    *degree = c->degree();
    *count = c->numControls();
    *coordinates = c->coordinates();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WmBrep::GetCurveData(int kind, int i, double* knots, int knotCount, double* points,
                                               int pointDoubles)
{
    const WmNURBSCurveNet* c = curveNet(kind, i);
    if (!c) return E_INVALIDARG;
    if (!c->hasInternals()) return E_FAIL;
    HRESULT hr = copyTo(c->basis().knots(), c->basis().numKnots(), knots, knotCount);
    if (hr == S_OK) hr = copyTo(c->ctlPoints(), c->numControls() * c->coordinates(), points, pointDoubles);
    return hr;
}

HRESULT STDMETHODCALLTYPE WmBrep::EvaluateCurve(int kind, int i, double t, double point[3])
{
    if (!point) return E_POINTER;
    const WmNURBSCurveNet* c = curveNet(kind, i);
    if (!c) return E_INVALIDARG;
    double p[3] = {0.0, 0.0, 0.0};
    if (!c->evaluate(t, p)) return E_FAIL;
    std::copy(p, p + 3, point);
    return S_OK;
}
