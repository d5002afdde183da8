#pragma once
// Features on parts: the base and its ten kinds.
#include <vector>

#include "features/APGeometry.h"
#include "model/APNode.h"

class WmBrep;
class WmHbBrep;

// A new toolkit object (one reference, the caller's), or null when it cannot be made.
template <class T, class... A>
T* NewToolkitObject(A&&... args)
{
    try {
        return new T(static_cast<A&&>(args)...);
    } catch (...) {
        return nullptr;
    }
}
class WmParaFace;
struct IHbUtility;
struct IHbUtilityTopology;

// What every feature holds: the transform, colour, tolerances, distributions, variation
// source, its geometry (one toolkit B-rep or solid-modeller part tags), the related and
// linked features, and how many GD&T tolerances use it as a reference.
//
// The feature transform is 16 doubles, a point being the row vector (x, y, z, 1) times the
// matrix; the held B-rep stays in the feature's own frame and the transform places it.
class APFeature : public APGeometryNode {
    DECLARE_DYNAMIC(APFeature)

public:
    APFeature();
    ~APFeature() override;

    virtual HRESULT GetTransformation(double transform[16]);
    virtual HRESULT SetTransformation(const double transform[16]);
    virtual HRESULT IsFeatureTransparencySet(long* isSet);
    virtual HRESULT IsFeatureColorSet(long* isSet);
    virtual HRESULT GetFeatureTransparency(double* transparency);
    virtual HRESULT GetFeatureColor(double* r, double* g, double* b);
    virtual HRESULT SetFeatureTransparency(double transparency);
    virtual HRESULT SetFeatureColor(double r, double g, double b);
    // A new B-rep (one reference, the caller's) placed by the transform.
    virtual HRESULT GetWmBrep(WmBrep** brep);
    // Keeps a copy of `brep` (null lets the held one go).
    virtual HRESULT SetWmBrep(WmBrep* brep);
    virtual HRESULT SetWmBrep2(WmBrep* brep);
    virtual HRESULT GetIsValid(long* isValid);
    virtual HRESULT SetIsValid(long isValid);
    virtual HRESULT GetBasedOnRealGeometry(long* realGeometry);

    // The tolerance list: one reference per entry; each tolerance knows its feature.
    virtual HRESULT RemoveToleranceByIndex(int index);
    virtual HRESULT RemoveTolerance(IAPTolerance* tolerance);
    virtual HRESULT GetTolerance(int index, IAPTolerance** tolerance);
    virtual HRESULT GetNumTolerances(int* count);
    virtual HRESULT AddTolerance(IAPTolerance* tolerance);

    virtual HRESULT SetSizeDistributionType(APDistribType type);
    virtual HRESULT SetFormDistributionType(APDistribType type);
    virtual HRESULT SetLocOrtDistributionType(APDistribType type);
    virtual HRESULT GetSizeDistributionType(APDistribType* type);
    virtual HRESULT GetFormDistributionType(APDistribType* type);
    virtual HRESULT GetLocOrtDistributionType(APDistribType* type);
    // Skew and kurtosis; only a Pearson distribution has them.
    virtual HRESULT SetSizeDistributionValues(double skew, double kurtosis);
    virtual HRESULT SetFormDistributionValues(double skew, double kurtosis);
    virtual HRESULT SetLocOrtDistributionValues(double skew, double kurtosis);
    virtual HRESULT GetSizeDistributionValues(double* skew, double* kurtosis);
    virtual HRESULT GetFormDistributionValues(double* skew, double* kurtosis);
    virtual HRESULT GetLocOrtDistributionValues(double* skew, double* kurtosis);
    // The Pearson pair, then skew and kurtosis.
    virtual HRESULT SetSizePearsonValues(double v1, double v2, double skew, double kurtosis);
    virtual HRESULT SetFormPearsonValues(double v1, double v2, double skew, double kurtosis);
    virtual HRESULT SetLocOrtPearsonValues(double v1, double v2, double skew, double kurtosis);
    virtual HRESULT GetSizePearsonValues(double* v1, double* v2, double* skew, double* kurtosis);
    virtual HRESULT GetFormPearsonValues(double* v1, double* v2, double* skew, double* kurtosis);
    virtual HRESULT GetLocOrtPearsonValues(double* v1, double* v2, double* skew, double* kurtosis);

    virtual HRESULT SetVariationSource(int source);
    virtual HRESULT GetVariationSource(int* source);
    // The source that applies: the stored one (or `fallback` for mode 1) where a point feature
    // of this feature can supply it, else 2.
    virtual HRESULT ResolveVariationSource(int fallback, int* source);
    virtual HRESULT SetVariationSetting(int setting);
    virtual HRESULT GetVariationSetting(int* setting);
    virtual HRESULT GetEffectiveVariationSetting(int fallback, int* setting);
    virtual HRESULT SetOptionFlag(int flag);
    virtual HRESULT GetOptionFlag(int* flag);
    virtual HRESULT SetOptionPair(int first, unsigned int second);
    virtual HRESULT GetOptionPair(int* first, unsigned int* second);
    // Moves the held geometry and the definition by the transform; the transform becomes
    // the identity.
    virtual HRESULT ApplyTransformation();
    virtual HRESULT SetGeometrySource(int source);
    virtual HRESULT GetGeometrySource(int* source);
    virtual HRESULT SetHbBody(int tag);
    virtual HRESULT GetHbBody(int* tag);
    virtual HRESULT SetIntAttribute1(int value);
    virtual HRESULT GetIntAttribute1(int* value);
    virtual HRESULT SetBasedOnRealGeometry(long realGeometry);
    virtual HRESULT SetIntAttribute2(int value);
    virtual HRESULT GetIntAttribute2(int* value);
    virtual HRESULT AppendHbPart(int tag);
    virtual HRESULT GetHbPart(int index, int* tag);
    virtual HRESULT GetNumHbParts(int* count);
    virtual HRESULT SetIsDefault(int isDefault);
    virtual HRESULT GetIsDefault(int* isDefault);
    virtual HRESULT SetRelatedOwnerFlag(int flag);
    virtual HRESULT GetRelatedOwnerFlag(int* flag);
    virtual HRESULT SetRelatedMemberFlag(int flag);
    virtual HRESULT GetRelatedMemberFlag(int* flag);

    // Related, linked and owner links: one reference each, and this feature registered as the
    // other's dependent.
    virtual HRESULT AppendRelatedElement(IAPFeature* element);
    virtual HRESULT GetNumRelatedElements(int* count);
    virtual HRESULT GetRelatedElement(int index, IAPFeature** element);
    virtual HRESULT RemoveRelatedElement(IAPFeature* element);
    virtual HRESULT RemoveRelatedElementByIndex(int index);
    virtual HRESULT SetLinkedElement(IAPFeature* element);
    virtual HRESULT GetLinkedElement(IAPFeature** element);
    virtual HRESULT SetRelatedOwner(IAPFeature* element);
    virtual HRESULT GetRelatedOwner(IAPFeature** element);
    virtual HRESULT UnlinkPointFeaturesFromNode(IAPNode* node);
    virtual HRESULT DetachLinkedElement();

    // How many GD&T tolerances use this feature as a reference (not persisted, not copied).
    virtual HRESULT IncrementReferenceUse();
    virtual HRESULT DecrementReferenceUse();
    virtual HRESULT IsUsedAsReference(long* isUsed);

    // Geometry queries. Point buffers are the caller's, three doubles per point, room for
    // samples x edges points.
    virtual HRESULT GetFaceBoundaryPoints(int face, int samples, double* points, int* count);
    virtual HRESULT GetNumFaceBoundaryEdges(int face, int* count);
    virtual HRESULT GetHbPointAtParam(int part, double u, double v, double* x, double* y, double* z);
    virtual HRESULT AcquireHbUtility();
    virtual HRESULT GetNumHbPartBoundaryEdges(int part, int* count);
    virtual HRESULT GetHbPartBoundaryPoints(int part, int samples, double* points, int* count);
    virtual HRESULT GetNumHbSurfaceBoundaryEdges(int part, int* count);
    virtual HRESULT GetHbSurfaceBoundaryPoints(int part, int samples, double* points, int* count);
    // Builds the kind's own B-rep into the held one.
    virtual HRESULT BuildWmBrep() = 0;
    virtual HRESULT GetRegionBoundaryPoints(int region, int samples, double* points, int* count);
    virtual HRESULT GetRegionBoundaryPointsWithNormals(int region, int samples, double* points, double* normals,
                                                       int* count);
    virtual HRESULT GetNumRegionBoundaryEdges(int region, int* count);
    // Moves the kind's defining parameters by `transform`.
    virtual HRESULT TransformDefinition(const double transform[16]) = 0;
    virtual HRESULT TransformWmBrepRegion(int region, WmBrep* brep, const double transform[16]);
    virtual HRESULT TransformWmBrep(WmBrep* brep, const double transform[16]);
    // The part moved by the utility; *tag becomes the tag it answers.
    virtual HRESULT TransformHbPart(int* tag, const double transform[16]);
    virtual HRESULT GetFaceNormal(int face, double* x, double* y, double* z);
    virtual HRESULT GetFaceNormalAtParam(int face, double u, double v, double* x, double* y, double* z);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT BindDocument(IAPDocEventSink* sink) override;
    HRESULT FixupLists() override;
    // The related, linked and owner links go, unwatched; each tolerance lets go of its own.
    void ReleaseLinks() override;
    HRESULT NotifyDependents(unsigned short command) override;
    HRESULT NotifyDeletion() override;

    // The node copy plus geometry (placed where the source's transform puts it), tolerances
    // (copied through the target's document), colour, distributions and a few settings.
    APFeature& operator=(const APFeature& source);
    // The same copy; E_FAIL when the source's solid-modeller parts could not be carried over,
    // so that the copy is not taken for a whole one.
    HRESULT CopyFeature(const APFeature& source);

    static constexpr int kBlockVersion = 14;

protected:
    struct Distribution {
        APDistribType type = AP_DISTRIB_TYPE_NORMAL;
        double skew = 0.0;
        double kurtosis = 0.0;
        double pearson[2] = {0.0, 0.0};
    };

    static HRESULT SetValues(Distribution& d, double skew, double kurtosis);
    static HRESULT GetValues(const Distribution& d, double* skew, double* kurtosis);
    static HRESULT SetPearson(Distribution& d, double v1, double v2, double skew, double kurtosis);
    static HRESULT GetPearson(const Distribution& d, double* v1, double* v2, double* skew, double* kurtosis);

    // Registers `sink` as a dependent of `feature` (or withdraws it); false when the feature
    // cannot be reached.
    static bool SetDependent(IUnknown* feature, IAPElementSink* sink, bool add);
    // The own wrapper's IAPElementSink (with a reference), or null.
    IAPElementSink* OwnSink() const;
    // Replaces a counted link that this feature watches as a dependent.
    HRESULT SetLink(IAPFeature*& field, IAPFeature* element);
    // Lets every tolerance go, each told first that it no longer has a feature.
    void ReleaseTolerances();
    void ReleaseGeometry();
    HRESULT HoldCopyOf(WmBrep* brep);
    // Does the point feature name a measurement file for its loc/ort (or size) variation; does
    // its loc/ort (or size) distribution vary?
    static HRESULT PointNamesSet(IAPPointFeature2* point, bool locOrt, bool* set);
    static HRESULT PointVaries(IAPPointFeature2* point, bool size, bool* varies);
    // The solid-modeller topology interface of the utility (with a reference), or null.
    IHbUtilityTopology* AcquireTopology();
    // The tags the utility lists for a solid-modeller part; E_FAIL when it lists none.
    HRESULT GetHbPartTags(int part, std::vector<int>& tags);
    // The face of one of a part's tags that a plane (or surface) feature outlines.
    HRESULT HbBoundaryFace(int tag, bool surface, IHbUtilityTopology** topology, int* face);
    HRESULT HbBoundaryEdges(int tag, bool surface, int* count);
    HRESULT HbBoundaryPoints(int tag, bool surface, int samples, double* points, int* count);
    // A copy of a stored part or of a B-rep (one reference), placed by `transform`.
    HRESULT PlacedCopyOfPart(int stored, const APMatrix4d& transform, int* placed);
    WmBrep* PlacedCopy(const WmBrep& brep, const APMatrix4d& transform);
    // Face `face` of shell 0 of region `region`, or null.
    WmParaFace* FaceOf(int region, int face) const;
    HRESULT FaceEdgeCount(const WmParaFace* face, int* count) const;
    HRESULT SampleFace(const WmParaFace* face, int samples, APPointList& points, APPointList* normals) const;
    HRESULT FaceNormalAt(const WmParaFace* face, const double* uv, double* x, double* y, double* z) const;
    HRESULT BoundaryPoints(int region, int face, int samples, double* points, double* normals, int* count);
    HRESULT ReadGeometry(WmObjectStream& stream, int version);
    HRESULT WriteGeometry(WmObjectStream& stream);
    HRESULT ReadTolerances(WmObjectStream& stream);
    HRESULT WriteTolerances(WmObjectStream& stream);
    HRESULT FixupLinks(IAPElementSink* sink);
    HRESULT CopyGeometry(const APFeature& source);
    // Is `utility` the modeller of the source's document, or can that not be told?
    static bool SameModeller(const APFeature& source, IHbUtility* utility);
    void CopyTolerances(const APFeature& source);

    APArray<IAPTolerance*> m_tolerances;
    long m_isValid = 1;
    long m_basedOnRealGeometry = 0;
    WmBrep* m_brep = nullptr;             // one reference
    WmHbBrep* m_transmitHolder = nullptr; // one reference
    APMatrix4d m_transform;
    double m_color[3] = {-1.0, -1.0, -1.0};
    double m_transparency = -1.0;
    Distribution m_size, m_form, m_locOrt;
    int m_variationSource = 1;
    int m_variationSetting = 3;
    int m_optionFlag = 0;
    int m_optionPair = 0;
    unsigned int m_optionPair2 = 0;
    int m_geometrySource = 1;
    IHbUtility* m_utility = nullptr; // one reference
    int m_body = 0;
    std::vector<int> m_parts;
    int m_intAttribute1 = 0;
    int m_intAttribute2 = 4;
    int m_isDefault = 0;
    int m_relatedOwnerFlag = 0;
    int m_relatedMemberFlag = 0;
    APArray<IAPFeature*> m_related; // one reference per non-null entry
    IAPFeature* m_linked = nullptr;  // one reference
    IAPFeature* m_owner = nullptr;   // one reference
    APPendingRefs m_pendingRelated;  // references a read left for FixupLists
    APPendingRefs m_pendingLinks;    // linked element, then related owner
    bool m_linksPending = false;
    int m_referenceUse = 0;
};
