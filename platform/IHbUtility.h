#pragma once
// The solid modeller's utility, as features use it for geometry held as solid-modeller parts.
// A host that has a modeller hands an object answering these interfaces to the document
// (IAPDocument4::SetHbUtility); the library ships none. Tags are the modeller's entity tags.
// Matrices are 16 doubles, a point being the row vector (x, y, z, 1) times the matrix.
#include <objbase.h>

// {4B1F0C52-7A3E-4D9B-9C61-2E8A5D07F3B4}
inline constexpr IID IID_IHbUtility = {0x4b1f0c52, 0x7a3e, 0x4d9b, {0x9c, 0x61, 0x2e, 0x8a, 0x5d, 0x07, 0xf3, 0xb4}};
// {7D51D3B6-1E15-44B1-8418-D9CF14BD449B}
inline constexpr IID IID_IHbUtilityTopology = {0x7d51d3b6, 0x1e15, 0x44b1, {0x84, 0x18, 0xd9, 0xcf, 0x14, 0xbd, 0x44, 0x9b}};

struct IHbUtility : public IUnknown {
    // Moves the part by `transform`; *moved is the tag that stands for the moved part (it may
    // be `part` itself).
    virtual HRESULT STDMETHODCALLTYPE TransformPart(int part, const double* transform, int* moved) = 0;
    // A new part equal in shape to `part`.
    virtual HRESULT STDMETHODCALLTYPE CopyPart(int part, int* copy) = 0;
    // The point of the part's surface at (u, v): three doubles.
    virtual HRESULT STDMETHODCALLTYPE PointAtParam(int part, double u, double v, double* xyz) = 0;
};

// Faces and edges of parts.
struct IHbUtilityTopology : public IUnknown {
    // The unit normal of the part at a point on it: three doubles.
    virtual HRESULT STDMETHODCALLTYPE NormalAtPoint(int part, const double* xyz, double* normal) = 0;
    // Is the face the planar face that a plane feature outlines?
    virtual HRESULT STDMETHODCALLTYPE IsPlanarFace(int face, long* yes) = 0;
    // Is the face the face that a surface feature outlines?
    virtual HRESULT STDMETHODCALLTYPE IsSurfaceFace(int face, long* yes) = 0;
    // The tags the part is made of, in a CoTaskMemAlloc'ed block that the caller frees (null
    // when there are none). A feature reads its part through every one of them.
    virtual HRESULT STDMETHODCALLTYPE GetPartTags(int part, int* count, int** tags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumFaceEdges(int face, int* count) = 0;
    // Edge `edge` of the face sampled at `samples` points, three floats each, into `xyz`.
    virtual HRESULT STDMETHODCALLTYPE SampleFaceEdge(int face, int edge, int samples, float* xyz) = 0;
    // The faces of one of a part's tags, in a block as GetPartTags gives it.
    virtual HRESULT STDMETHODCALLTYPE GetTagFaces(int tag, int* count, int** faces) = 0;
};
