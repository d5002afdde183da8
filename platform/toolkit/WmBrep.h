#pragma once
// The toolkit's boundary representation: regions made of shells made of faces; a face lies
// on a surface and is bounded by loops of coedges; each coedge runs along an edge (with the
// edge's model-space curve) and carries its own parameter-space curve on the face.
//
// The B-rep owns every entity, curve and surface. Entities are numbered per kind in the order
// they are made and keep their place for the B-rep's life; a parent lists its children in
// the order they were added. Lookups answer null for an index out of range or for an entity
// of another B-rep; creation and linking answer false for them.
//
// Reference counted (WmRefCounted): made with one reference, freed by the last release. The
// host sees the same object as IPlenvortBrep (include/PlenvortBrep.h); its handle is the address
// of that interface (toHandle / fromHandle).
#include <cstdint>
#include <memory>
#include <vector>

#include "include/PlenvortBrep.h"
#include "platform/toolkit/WmNURBS.h"
#include "platform/toolkit/WmObjectStream.h"
#include "platform/toolkit/WmPlatform.h"

class WmBrep;

// What every topological entity has: its number within its kind.
class WmParaEntity {
public:
    int index() const { return m_index; }

protected:
    explicit WmParaEntity(int index) : m_index(index) {}

private:
    int m_index;
};

class WmParaRegion : public WmParaEntity {
public:
    explicit WmParaRegion(int index) : WmParaEntity(index) {}

private:
    friend class WmBrep;
    std::vector<int> m_shells;
};

class WmParaShell : public WmParaEntity {
public:
    WmParaShell(int index, int region) : WmParaEntity(index), m_region(region) {}
    int regionIndex() const { return m_region; }

private:
    friend class WmBrep;
    int m_region;
    std::vector<int> m_faces;
};

class WmParaFace : public WmParaEntity {
public:
    WmParaFace(int index, int shell) : WmParaEntity(index), m_shell(shell) {}
    int shellIndex() const { return m_shell; }
    // -1 until a surface is set on the face.
    int surfaceIndex() const { return m_surface; }
    bool isNormalReversed() const { return (m_flags & PV_FACE_NORMAL_REVERSED) != 0; }
    void setNormalReversed(bool on) { setFlag(PV_FACE_NORMAL_REVERSED, on); }
    int flags() const { return m_flags; }

private:
    friend class WmBrep;
    void setFlag(int f, bool on) { m_flags = on ? (m_flags | f) : (m_flags & ~f); }
    int m_shell;
    int m_surface = -1;
    int m_flags = 0;
    std::vector<int> m_loops;
};

class WmParaLoop : public WmParaEntity {
public:
    // A new loop is an outer loop that bounds material (anti-hole).
    WmParaLoop(int index, int face) : WmParaEntity(index), m_face(face) {}
    int faceIndex() const { return m_face; }
    bool isOuterLoop() const { return (m_flags & PV_LOOP_OUTER) != 0; }
    bool isAntiHoleLoop() const { return (m_flags & PV_LOOP_ANTI_HOLE) != 0; }
    void setOuterLoop(bool on) { setFlag(PV_LOOP_OUTER, on); }
    void setAntiHoleLoop(bool on) { setFlag(PV_LOOP_ANTI_HOLE, on); }
    int flags() const { return m_flags; }

private:
    friend class WmBrep;
    void setFlag(int f, bool on) { m_flags = on ? (m_flags | f) : (m_flags & ~f); }
    int m_face;
    int m_flags = PV_LOOP_OUTER | PV_LOOP_ANTI_HOLE;
    std::vector<int> m_coedges;
};

class WmParaCoedge : public WmParaEntity {
public:
    WmParaCoedge(int index, int loop) : WmParaEntity(index), m_loop(loop) {}
    int loopIndex() const { return m_loop; }
    int edgeIndex() const { return m_edge; }
    int uvCurveIndex() const { return m_uvCurve; }
    // Runs against its edge's model-space curve / its own parameter-space curve.
    bool isXYZReversed() const { return (m_flags & PV_COEDGE_XYZ_REVERSED) != 0; }
    bool isUVReversed() const { return (m_flags & PV_COEDGE_UV_REVERSED) != 0; }
    void setXYZReversed(bool on) { setFlag(PV_COEDGE_XYZ_REVERSED, on); }
    void setUVReversed(bool on) { setFlag(PV_COEDGE_UV_REVERSED, on); }
    int flags() const { return m_flags; }

private:
    friend class WmBrep;
    void setFlag(int f, bool on) { m_flags = on ? (m_flags | f) : (m_flags & ~f); }
    int m_loop;
    int m_edge = -1;
    int m_uvCurve = -1;
    int m_flags = 0;
};

class WmParaEdge : public WmParaEntity {
public:
    explicit WmParaEdge(int index) : WmParaEntity(index) {}
    int xyzCurveIndex() const { return m_xyzCurve; }

private:
    friend class WmBrep;
    int m_xyzCurve = -1;
};

class WmBrep : public IPlenvortBrep, public WmRefCounted {
public:
    WmBrep() = default;
    // A deep copy: the same entities, numbers, links, flags, curves and surfaces.
    WmBrep(const WmBrep& other);
    WmBrep& operator=(const WmBrep&) = delete;

    // Without exceptions: an empty B-rep, or a deep copy of src; null when src is null or
    // memory runs out. Either has one reference, the caller's.
    static WmBrep* create();
    static WmBrep* copyOf(const WmBrep* src);

    // Handle of a B-rep as the host sees it, and back; 0 for null.
    static std::uintptr_t toHandle(WmBrep* brep);
    static WmBrep* fromHandle(std::uintptr_t handle);

    // Topology walk.
    int numRegions() const { return static_cast<int>(m_regions.size()); }
    WmParaRegion* region(int i) const;
    int numShellsOnRegion(const WmParaRegion* r) const;
    WmParaShell* shell(const WmParaRegion* r, int i) const;
    int numFacesOnShell(const WmParaShell* s) const;
    WmParaFace* face(const WmParaShell* s, int i) const;
    int numLoopsOnFace(const WmParaFace* f) const;
    WmParaLoop* loop(const WmParaFace* f, int i) const;
    int numCoedgesOnLoop(const WmParaLoop* l) const;
    WmParaCoedge* coedge(const WmParaLoop* l, int i) const;
    // The edge set on a coedge.
    WmParaEdge* edge(const WmParaCoedge* c) const;

    // Entities by their number within the kind.
    int numShells() const { return static_cast<int>(m_shells.size()); }
    int numFaces() const { return static_cast<int>(m_faces.size()); }
    int numLoops() const { return static_cast<int>(m_loops.size()); }
    int numCoedges() const { return static_cast<int>(m_coedges.size()); }
    int numEdges() const { return static_cast<int>(m_edges.size()); }
    int numSurfaces() const { return static_cast<int>(m_surfaces.size()); }
    int numXYZCurves() const { return static_cast<int>(m_xyzCurves.size()); }
    int numUVCurves() const { return static_cast<int>(m_uvCurves.size()); }
    WmParaShell* shellAt(int i) const;
    WmParaFace* faceAt(int i) const;
    WmParaLoop* loopAt(int i) const;
    WmParaCoedge* coedgeAt(int i) const;
    WmParaEdge* edgeAt(int i) const;
    WmBrepSurface* surface(int i) const;
    WmBrepXYZCurve* xyzCurve(int i) const;
    WmBrepUVCurve* uvCurve(int i) const;

    // Construction: each hands back the new entity and answers true.
    bool newRegionOnBrep(WmParaRegion** out);
    bool newShellOnRegion(WmParaRegion* region, WmParaShell** out);
    bool newFaceOnShell(WmParaShell* shell, WmParaFace** out);
    bool newLoopOnFace(WmParaFace* face, WmParaLoop** out);
    bool newCoedgeOnLoop(WmParaLoop* loop, WmParaCoedge** out);
    bool newEdge(WmParaEdge** out);
    // classType is one of WmClassType; the new curve or surface has no net yet.
    bool newSurface(int classType, WmBrepSurface** out);
    bool newXYZCurve(int classType, WmBrepXYZCurve** out);
    bool newUVCurve(int classType, WmBrepUVCurve** out);
    bool setSurfaceOnFace(WmParaFace* face, WmBrepSurface* surface);
    bool setEdgeOnCoedge(WmParaCoedge* coedge, WmParaEdge* edge);
    bool setXYZCurveOnEdge(WmParaEdge* edge, WmBrepXYZCurve* curve);
    bool setUVCurveOnCoedge(WmParaCoedge* coedge, WmBrepUVCurve* curve);

    // Index of a curve or surface of this B-rep; -1 for any other.
    int indexOf(const WmBrepSurface* s) const;
    int indexOf(const WmBrepXYZCurve* c) const;
    int indexOf(const WmBrepUVCurve* c) const;

    // Object-stream form. read() replaces the contents only when the whole B-rep was read
    // and is consistent; otherwise the B-rep stays as it was.
    bool write(WmObjectStream& s) const;
    bool read(WmObjectStream& s);

    // IPlenvortBrep
    ULONG STDMETHODCALLTYPE Release() override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    int STDMETHODCALLTYPE GetCount(int kind) override;
    HRESULT STDMETHODCALLTYPE GetShell(int shell, int* region) override;
    HRESULT STDMETHODCALLTYPE GetFace(int face, int* shell, int* surface, int* flags) override;
    HRESULT STDMETHODCALLTYPE GetLoop(int loop, int* face, int* flags) override;
    HRESULT STDMETHODCALLTYPE GetCoedge(int coedge, int* loop, int* edge, int* uvCurve, int* flags) override;
    HRESULT STDMETHODCALLTYPE GetEdge(int edge, int* xyzCurve) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceInfo(int surface, int* uDegree, int* vDegree, int* numU, int* numV,
                                             int* coordinates) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceData(int surface, double* uKnots, int uKnotCount, double* vKnots,
                                             int vKnotCount, double* points, int pointDoubles) override;
    HRESULT STDMETHODCALLTYPE EvaluateSurface(int surface, double u, double v, double point[3],
                                              double normal[3]) override;
    HRESULT STDMETHODCALLTYPE GetCurveInfo(int kind, int curve, int* degree, int* count, int* coordinates) override;
    HRESULT STDMETHODCALLTYPE GetCurveData(int kind, int curve, double* knots, int knotCount, double* points,
                                           int pointDoubles) override;
    HRESULT STDMETHODCALLTYPE EvaluateCurve(int kind, int curve, double t, double point[3]) override;

protected:
    ~WmBrep() override = default;

private:
    const WmNURBSCurveNet* curveNet(int kind, int curve) const;
    void swapContents(WmBrep& other);

    std::vector<std::unique_ptr<WmParaRegion>> m_regions;
    std::vector<std::unique_ptr<WmParaShell>> m_shells;
    std::vector<std::unique_ptr<WmParaFace>> m_faces;
    std::vector<std::unique_ptr<WmParaLoop>> m_loops;
    std::vector<std::unique_ptr<WmParaCoedge>> m_coedges;
    std::vector<std::unique_ptr<WmParaEdge>> m_edges;
    std::vector<std::unique_ptr<WmBrepSurface>> m_surfaces;
    std::vector<std::unique_ptr<WmBrepXYZCurve>> m_xyzCurves;
    std::vector<std::unique_ptr<WmBrepUVCurve>> m_uvCurves;
};
