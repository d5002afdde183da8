// The feature block on the element stream, the post-load passes and the feature copy.
#include "features/APFeature.h"

#include <cstdint>
#include <vector>

#include "model/APBlockIO.h"
#include "model/APComQuery.h"
#include "platform/IHbUtility.h"
#include "platform/orv/ORVComCreate.h"
#include "platform/toolkit/WmBrep.h"
#include "platform/toolkit/WmHbBrep.h"
#include "platform/toolkit/WmObjectStream.h"

namespace {

// The stream's number for "no element".
constexpr int kNoElement = -200000;

unsigned char* StreamHandle(WmObjectStream* stream) { return reinterpret_cast<unsigned char*>(stream); }

// The element's number on the stream; false when it is not an element or cannot be numbered.
bool NumberOf(WmObjectStream& stream, IUnknown* link, int* number)
{
    if (!link) {
        *number = kNoElement;
        return true;
    }
    IAPElement* element = Query<IAPElement>(link, IID_IAPElement);
    if (!element) return false;
    const bool ok = stream.ptr2num(element, number);
    element->Release();
    return ok;
}

bool WriteDistribution(WmObjectStream& s, APDistribType type, const double pearson[2], double skew, double kurt)
{
    if (type != AP_DISTRIB_TYPE_PEARSON) return true;
    return s.write(pearson[0]) && s.write(pearson[1]) && s.write(skew) && s.write(kurt);
}

bool ReadDistribution(WmObjectStream& s, int version, APDistribType type, double pearson[2], double& skew, double& kurt)
{
    if (type != AP_DISTRIB_TYPE_PEARSON) return true;
    if (version >= 3 && !(s.read(pearson[0]) && s.read(pearson[1]))) return false;
    return s.read(skew) && s.read(kurt);
}

bool ReadType(WmObjectStream& s, APDistribType& type)
{
    int value = 0;
    if (!s.read(value)) return false;
    type = static_cast<APDistribType>(value);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Writing

HRESULT APFeature::WriteGeometry(WmObjectStream& s)
{
    if (!s.write(m_geometrySource) || !s.write(8) || !s.write(2)) return E_FAIL;
    WmPartition::setVersion(8, 2);
    if (m_geometrySource == 1) {
        if (!m_brep || !m_brep->write(s)) return E_FAIL;
    } else if (m_geometrySource == 2) {
        if (m_parts.empty()) return E_FAIL;
        WmHbBrep* holder = NewToolkitObject<WmHbBrep>();
        if (!holder) return E_FAIL;
        bool ok = true;
        for (int tag : m_parts) ok = ok && holder->appendXtPart(tag, false);
        ok = ok && holder->write(s);
        holder->release();
        if (!ok) return E_FAIL;
    }
    return S_OK;
}

HRESULT APFeature::WriteTolerances(WmObjectStream& s)
{
    if (!s.write(m_tolerances.Count())) return E_FAIL;
    for (int i = 0; i < m_tolerances.Count(); ++i) {
        IAPElement* element = Query<IAPElement>(m_tolerances[i], IID_IAPElement);
        if (!element) return E_FAIL;
        GUID id{};
        HRESULT hr = element->GetClassID(&id);
        if (SUCCEEDED(hr)) hr = s.write(WmGUID(id)) ? element->Serialize(StreamHandle(&s)) : E_FAIL;
        element->Release();
        if (FAILED(hr)) return E_FAIL;
    }
    return S_OK;
}

HRESULT APFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APGeometryNode::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    if (!s.write(kBlockVersion) || !s.write(static_cast<int>(m_basedOnRealGeometry))) return E_FAIL;
    if (m_basedOnRealGeometry && WriteGeometry(s) < 0) return E_FAIL;
    if (WriteTolerances(s) < 0) return E_FAIL;

    const bool colour = m_color[0] >= 0.0, transparency = m_transparency >= 0.0;
    bool ok = s.write(static_cast<int>(colour));
    if (colour) ok = ok && s.write(m_color[0]) && s.write(m_color[1]) && s.write(m_color[2]);
    ok = ok && s.write(static_cast<int>(transparency));
    if (transparency) ok = ok && s.write(m_transparency);
    ok = ok && s.writeMatrix4d(m_transform.m);
    ok = ok && s.write(static_cast<int>(m_size.type)) && s.write(static_cast<int>(m_form.type)) &&
         s.write(static_cast<int>(m_locOrt.type));
    ok = ok && s.write(m_variationSource) && s.write(m_optionFlag) && s.write(m_variationSetting);
    for (const Distribution* d : {&m_size, &m_form, &m_locOrt})
        ok = ok && WriteDistribution(s, d->type, d->pearson, d->skew, d->kurtosis);
    ok = ok && s.write(m_optionPair) && s.write(m_optionPair2);
    ok = ok && s.write(m_intAttribute1) && s.write(m_intAttribute2) && s.write(m_isDefault);
    ok = ok && s.write(m_relatedOwnerFlag) && s.write(m_relatedMemberFlag);
    if (!ok) return E_FAIL;

    std::vector<int> numbers;
    for (int i = 0; i < m_related.Count(); ++i) {
        int number = 0;
        if (!NumberOf(s, m_related[i], &number)) return E_FAIL;
        numbers.push_back(number);
    }
    int linked = 0, owner = 0;
    if (!NumberOf(s, m_linked, &linked) || !NumberOf(s, m_owner, &owner)) return E_FAIL;
    ok = s.write(static_cast<int>(numbers.size()));
    for (int number : numbers) ok = ok && s.write(number);
    ok = ok && s.write(linked) && s.write(owner);
    return ok ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------------------
// Reading

HRESULT APFeature::ReadGeometry(WmObjectStream& s, int version)
{
    int source = 1;
    if (version >= 8) {
        int major = 6, minor = 4;
        if (!s.read(source)) return E_FAIL;
        if (version >= 14 && !(s.read(major) && s.read(minor))) return E_FAIL;
        s.setVersion(major, minor);
    }
    // A geometry block that does not read whole leaves the stream where nothing after it can
    // be trusted.
    if (source == 1) {
        ReleaseAndNull(m_brep);
        m_brep = NewToolkitObject<WmBrep>();
        if (!m_brep || !m_brep->read(s)) return E_FAIL;
    } else if (source == 2) {
        if (m_transmitHolder) m_transmitHolder->release();
        m_transmitHolder = NewToolkitObject<WmHbBrep>();
        if (!m_transmitHolder || !m_transmitHolder->read(s)) return E_FAIL;
        for (int i = 0; i < m_transmitHolder->numXtParts(); ++i) m_parts.push_back(m_transmitHolder->xtPart(i));
    }
    m_geometrySource = source;
    return S_OK;
}

HRESULT APFeature::ReadTolerances(WmObjectStream& s)
{
    int count = 0;
    // Each tolerance takes at least its class id.
    if (!s.read(count) || count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * 16)) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        WmGUID id;
        if (!s.read(id)) return E_FAIL;
        IAPElement* element = nullptr;
        HRESULT hr = ORVCoCreateInstance(id.toGUID(), nullptr, CLSCTX_INPROC_SERVER, IID_IAPElement,
                                         reinterpret_cast<void**>(&element));
        if (FAILED(hr) || !element) return E_FAIL;
        if (m_docSink) element->BindDocument(m_docSink);
        IAPTolerance* tolerance = nullptr;
        if (SUCCEEDED(element->Deserialize(StreamHandle(&s))))
            tolerance = Query<IAPTolerance>(element, IID_IAPTolerance);
        element->Release();
        if (!tolerance) return E_FAIL;
        m_tolerances.Append(tolerance);
    }
    return S_OK;
}

HRESULT APFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APGeometryNode::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, geometry = 0;
    if (!s.read(version) || version < 1 || version > kBlockVersion || !s.read(geometry)) return E_FAIL;
    m_basedOnRealGeometry = geometry;
    if (geometry && ReadGeometry(s, version) < 0) return E_FAIL;
    if (ReadTolerances(s) < 0) return E_FAIL;

    int colour = 0, transparency = 0;
    if (!s.read(colour)) return E_FAIL;
    if (colour && !(s.read(m_color[0]) && s.read(m_color[1]) && s.read(m_color[2]))) return E_FAIL;
    if (!s.read(transparency) || (transparency && !s.read(m_transparency))) return E_FAIL;
    if (!s.readMatrix4d(m_transform.m)) return E_FAIL;
    if (geometry) {
        // Older blocks hold their geometry unplaced.
        if (version <= 6 || m_geometrySource == 1) {
            if (m_brep && TransformWmBrep(m_brep, m_transform.m) < 0) return E_FAIL;
        } else if (m_geometrySource == 2) {
            for (int& tag : m_parts) TransformHbPart(&tag, m_transform.m);
        }
    }
    if (version < 2) return S_OK;

    bool ok = ReadType(s, m_size.type) && ReadType(s, m_form.type) && ReadType(s, m_locOrt.type);
    if (version >= 3) ok = ok && s.read(m_variationSource);
    if (version >= 4) ok = ok && s.read(m_optionFlag);
    if (version >= 5) {
        ok = ok && s.read(m_variationSetting);
        if (m_variationSetting < 3) m_variationSetting = 3;
    }
    for (Distribution* d : {&m_size, &m_form, &m_locOrt})
        ok = ok && ReadDistribution(s, version, d->type, d->pearson, d->skew, d->kurtosis);
    if (version >= 6) ok = ok && s.read(m_optionPair) && s.read(m_optionPair2);
    if (version >= 9) ok = ok && s.read(m_intAttribute1);
    if (version >= 10) ok = ok && s.read(m_intAttribute2);
    if (version >= 11) ok = ok && s.read(m_isDefault);
    if (!ok) return E_FAIL;
    if (version < 12) return S_OK;

    int count = 0;
    if (!s.read(m_relatedOwnerFlag) || !s.read(m_relatedMemberFlag) || !s.read(count)) return E_FAIL;
    if (count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * 4)) return E_FAIL;
    std::vector<int> related(static_cast<std::size_t>(count));
    for (int& number : related)
        if (!s.read(number)) return E_FAIL;
    std::vector<int> links{kNoElement, kNoElement};
    if (version >= 13 && !(s.read(links[0]) && s.read(links[1]))) return E_FAIL;
    // The stream fills the slots as the elements register.
    m_pendingRelated.Request(s, related);
    m_pendingLinks.Request(s, links);
    m_linksPending = true;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// After loading

HRESULT APFeature::BindDocument(IAPDocEventSink* sink)
{
    if (APGeometryNode::BindDocument(sink) < 0) return E_FAIL;
    for (int i = 0; i < m_tolerances.Count(); ++i) {
        IAPElement* element = Query<IAPElement>(m_tolerances[i], IID_IAPElement);
        if (!element) return E_FAIL;
        const HRESULT hr = element->BindDocument(sink);
        element->Release();
        if (FAILED(hr)) return E_FAIL;
    }
    return S_OK;
}

HRESULT APFeature::FixupLinks(IAPElementSink* sink)
{
    // Slots are read before anything is linked, so a failure leaves no half-made link.
    std::vector<IAPFeature*> related;
    IAPFeature* links[2] = {nullptr, nullptr};
    bool ok = true;
    for (int i = 0; i < m_pendingRelated.Count(); ++i) {
        IAPElement* e = m_pendingRelated[i];
        IAPFeature* f = e ? Query<IAPFeature>(e, IID_IAPFeature) : nullptr;
        if (e && !f) ok = false;
        related.push_back(f);
    }
    for (int i = 0; i < 2 && i < m_pendingLinks.Count(); ++i) {
        IAPElement* e = m_pendingLinks[i];
        links[i] = e ? Query<IAPFeature>(e, IID_IAPFeature) : nullptr;
        if (e && !links[i]) ok = false;
    }
    m_pendingRelated.Clear();
    m_pendingLinks.Clear();
    m_linksPending = false;
    if (!ok) {
        for (IAPFeature*& f : related) ReleaseAndNull(f);
        for (IAPFeature*& f : links) ReleaseAndNull(f);
        return E_FAIL;
    }
    for (IAPFeature* f : related) {
        m_related.Append(f);
        if (f) SetDependent(f, sink, true);
    }
    IAPFeature** fields[2] = {&m_linked, &m_owner};
    for (int i = 0; i < 2; ++i) {
        if (!links[i]) continue;
        ReleaseAndNull(*fields[i]);
        *fields[i] = links[i];
        SetDependent(links[i], sink, true);
    }
    return S_OK;
}

HRESULT APFeature::FixupLists()
{
    if (APGeometryNode::FixupLists() < 0) return E_FAIL;
    IAPElementSink* sink = OwnSink();
    if (!sink) return E_FAIL;
    HRESULT hr = S_OK;
    for (int i = 0; SUCCEEDED(hr) && i < m_tolerances.Count(); ++i) {
        IAPElement* element = Query<IAPElement>(m_tolerances[i], IID_IAPElement);
        if (!element || FAILED(element->FixupLists())) hr = E_FAIL;
        ReleaseAndNull(element);
    }
    if (SUCCEEDED(hr) && m_linksPending) hr = FixupLinks(sink);
    sink->Release();
    return hr;
}

// ---------------------------------------------------------------------------------------
// Copying

bool APFeature::SameModeller(const APFeature& source, IHbUtility* utility)
{
    IAPDocument4* doc = source.m_docSink ? Query<IAPDocument4>(source.m_docSink, IID_IAPDocument4) : nullptr;
    if (!doc) return true;
    IUnknown* theirs = nullptr;
    const HRESULT hr = doc->GetHbUtility(&theirs);
    doc->Release();
    if (FAILED(hr) || !theirs) return true;
    IUnknown* id = Identity(theirs);
    const bool same = id && id == Identity(utility);
    theirs->Release();
    return same;
}

HRESULT APFeature::CopyGeometry(const APFeature& source)
{
    ReleaseGeometry();
    if (!source.m_basedOnRealGeometry) return S_OK;
    HRESULT hr = S_OK;
    if (source.m_geometrySource == 1 && source.m_brep) {
        // The copy stands where the source's transform puts the source's geometry.
        m_brep = PlacedCopy(*source.m_brep, source.m_transform);
        m_geometrySource = 1;
    } else if (source.m_geometrySource == 2 && !source.m_parts.empty()) {
        m_parts.clear();
        // Tags name parts of one modeller only: a copy into a document with another one (or
        // none) cannot carry them.
        hr = AcquireHbUtility() >= 0 && SameModeller(source, m_utility) ? S_OK : E_FAIL;
        for (std::size_t i = 0; SUCCEEDED(hr) && i < source.m_parts.size(); ++i) {
            int copy = 0;
            hr = PlacedCopyOfPart(source.m_parts[i], source.m_transform, &copy) < 0 ? E_FAIL : S_OK;
            if (SUCCEEDED(hr)) m_parts.push_back(copy);
        }
        m_geometrySource = 2;
    }
    return hr;
}

void APFeature::CopyTolerances(const APFeature& source)
{
    ReleaseTolerances();
    IAPDocument* doc = m_docSink ? Query<IAPDocument>(m_docSink, IID_IAPDocument) : nullptr;
    if (!doc) return;
    for (int i = 0; i < source.m_tolerances.Count(); ++i) {
        IAPElement* original = Query<IAPElement>(source.m_tolerances[i], IID_IAPElement);
        GUID id{}, iid = IID_IAPElement;
        IAPElement* copy = nullptr;
        IAPTolerance* tolerance = nullptr;
        if (original && SUCCEEDED(original->GetClassID(&id)) &&
            SUCCEEDED(doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&copy))) && copy &&
            SUCCEEDED(original->Clone(copy)))
            tolerance = Query<IAPTolerance>(copy, IID_IAPTolerance);
        if (tolerance) AddTolerance(tolerance);
        ReleaseAndNull(tolerance);
        ReleaseAndNull(copy);
        ReleaseAndNull(original);
    }
    doc->Release();
}

APFeature& APFeature::operator=(const APFeature& source)
{
    CopyFeature(source);
    return *this;
}

HRESULT APFeature::CopyFeature(const APFeature& source)
{
    if (this == &source) return S_OK;
    APGeometryNode::operator=(source);
    m_basedOnRealGeometry = source.m_basedOnRealGeometry;
    m_isValid = source.m_isValid;
    const HRESULT geometry = CopyGeometry(source);
    CopyTolerances(source);
    std::copy(std::begin(source.m_color), std::end(source.m_color), std::begin(m_color));
    m_transparency = source.m_transparency;
    m_variationSource = source.m_variationSource;
    m_variationSetting = source.m_variationSetting;
    m_size = source.m_size;
    m_form = source.m_form;
    m_locOrt = source.m_locOrt;
    m_intAttribute2 = source.m_intAttribute2;
    m_isDefault = source.m_isDefault;
    return geometry;
}
