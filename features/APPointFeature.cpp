#include "features/APPointFeature.h"

#include <objbase.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "features/APCylinderFeature.h"
#include "features/APShapeBuilder.h"
#include "model/APBlockIO.h"
#include "model/APComQuery.h"
#include "platform/moniker/MkMoniker.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APPointFeature, APFeature)

namespace {

// Strings go through buffers of these sizes.
constexpr int kWriteBuffer = 1024;
constexpr int kReadBuffer = 1025;

template <class T>
void SafeRelease(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

void Replace(IORVDataMoniker*& field, IORVDataMoniker* moniker)
{
    if (moniker) moniker->AddRef();
    SafeRelease(field);
    field = moniker;
}

bool WriteDoubles(WmObjectStream& s, const double* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!s.write(v[i])) return false;
    return true;
}

bool ReadDoubles(WmObjectStream& s, double* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!s.read(v[i])) return false;
    return true;
}

// Flag 1 and `count` samples when there are at least that many, else flag 0.
bool WriteSamples(WmObjectStream& s, bool has, const std::vector<double>& samples, int count)
{
    const bool present = has && count >= 0 && samples.size() >= static_cast<std::size_t>(count);
    return s.write(present ? 1 : 0) && (!present || WriteDoubles(s, samples.data(), count));
}

} // namespace

APPointFeature::~APPointFeature()
{
    SafeRelease(m_sizeMoniker);
    SafeRelease(m_locOrtMoniker);
}

// ---------------------------------------------------------------------------------------
// Geometry

HRESULT APPointFeature::DefinePointImplicit(double px, double py, double pz, double dx, double dy, double dz,
                                            double size)
{
    m_point = {px, py, pz};
    m_direction = {dx, dy, dz};
    m_size = size;
    APMatrix4d::SetIdentity(m_transform);
    ReleaseGeometry();
    if (m_geometrySource == 1) m_basedOnRealGeometry = 0;
    return S_OK;
}

HRESULT APPointFeature::ComputeCurrentParameters(double point[3], double direction[3])
{
    if (!point || !direction) return E_FAIL;
    APVector3d p[2];
    p[0] = m_point;
    APVector3d::Add(m_point, m_direction, p[1]);
    APMatrix4d::TransformPoints(m_transform, p, 2);
    APVector3d d;
    APVector3d::Subtract(p[1], p[0], d);
    APVector3d::Normalize(d);
    point[0] = p[0].x, point[1] = p[0].y, point[2] = p[0].z;
    direction[0] = d.x, direction[1] = d.y, direction[2] = d.z;
    return S_OK;
}

HRESULT APPointFeature::GetPoint(double* x, double* y, double* z)
{
    double p[3], d[3];
    if (!x || !y || !z || ComputeCurrentParameters(p, d) < 0) return E_FAIL;
    *x = p[0], *y = p[1], *z = p[2];
    return S_OK;
}

HRESULT APPointFeature::GetPointDirection(double* x, double* y, double* z)
{
    if (!x || !y || !z) return E_FAIL;
    IAPNode* parent = nullptr;
    IAPPlaneFeature* plane = nullptr;
    if (GetParentFeature(&parent) >= 0 && parent) plane = Query<IAPPlaneFeature>(parent, IID_IAPPlaneFeature);
    SafeRelease(parent);
    if (plane) {
        APVector3d n;
        const HRESULT hr = plane->GetNormal(&n.x, &n.y, &n.z);
        plane->Release();
        if (FAILED(hr)) return E_FAIL;
        m_direction = n;
        *x = n.x, *y = n.y, *z = n.z;
        return S_OK;
    }
    double p[3], d[3];
    if (ComputeCurrentParameters(p, d) < 0) return E_FAIL;
    *x = d[0], *y = d[1], *z = d[2];
    return S_OK;
}

HRESULT APPointFeature::GetPointSize(double* size)
{
    if (!size) return E_FAIL;
    *size = m_size;
    return S_OK;
}

HRESULT APPointFeature::ReverseNormal()
{
    m_direction = {-m_direction.x, -m_direction.y, -m_direction.z};
    return S_OK;
}

HRESULT APPointFeature::TransformDefinition(const double transform[16])
{
    if (!transform) return E_FAIL;
    APMatrix4d m;
    APMatrix4d::SetFromArray(m, transform);
    APVector3d u = m_direction, n = AxisReference(m_direction), p[3], step;
    APVector3d::Normalize(u);
    APVector3d::Normalize(n);
    p[0] = m_point;
    APVector3d::Add(p[0], u, p[1]);
    APVector3d::Add(p[1], APVector3d::Scale(n, m_size, step), p[2]);
    APMatrix4d::TransformPoints(m, p, 3);
    APVector3d d, r;
    APVector3d::Subtract(p[1], p[0], d);
    APVector3d::Subtract(p[2], p[1], r);
    APVector3d::Normalize(d);
    m_point = p[0];
    m_direction = d;
    m_size = std::sqrt(APVector3d::Dot(r, r));
    return S_OK;
}

HRESULT APPointFeature::BuildWmBrep()
{
    if (APVector3d::Dot(m_direction, m_direction) == 0.0 || !(m_size > 0.0)) return E_FAIL;
    ReleaseGeometry();
    return CreatePinWmBrep(m_point, m_direction, AxisReference(m_direction), 0.1 * m_size, m_size, 0, &m_brep)
               ? S_OK
               : E_FAIL;
}

// ---------------------------------------------------------------------------------------
// Flags

HRESULT APPointFeature::SetAsScanPoint()
{
    m_scan = 1;
    return S_OK;
}

HRESULT APPointFeature::IsScanPoint(int* flag)
{
    if (!flag) return E_FAIL;
    *flag = m_scan == 1 ? 1 : 0;
    return S_OK;
}

HRESULT APPointFeature::SetAsFemPoint(long isFem)
{
    m_fem = static_cast<int>(isFem);
    return S_OK;
}

HRESULT APPointFeature::IsFemPoint(int* flag)
{
    if (!flag) return E_FAIL;
    *flag = m_fem;
    return S_OK;
}

HRESULT APPointFeature::SetFromGridPoints(long flag)
{
    m_grid = static_cast<int>(flag);
    return S_OK;
}

HRESULT APPointFeature::GetFromGridPoints(long* flag)
{
    if (!flag) return E_FAIL;
    *flag = m_grid;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Distributions

HRESULT APPointFeature::SetGroup(Group& g, double mean, double std, double skew, double kurt, long pearson, int count,
                                 const double* values)
{
    if (values && count < 0) return E_FAIL;
    std::vector<double> samples;
    try {
        if (values) samples.assign(values, values + count);
    } catch (...) {
        return E_FAIL;
    }
    g.values[0] = mean, g.values[1] = std, g.values[2] = skew, g.values[3] = kurt;
    g.pearson = static_cast<int>(pearson);
    g.count = count;
    g.hasSamples = values != nullptr;
    g.samples.swap(samples);
    return S_OK;
}

HRESULT APPointFeature::HandOut(const std::vector<double>& samples, int count, double** values)
{
    *values = nullptr;
    if (count <= 0) return S_OK;
    auto* block = static_cast<double*>(CoTaskMemAlloc(sizeof(double) * static_cast<std::size_t>(count)));
    if (!block) return E_FAIL;
    std::memcpy(block, samples.data(), sizeof(double) * static_cast<std::size_t>(count));
    *values = block;
    return S_OK;
}

HRESULT APPointFeature::GetGroup(const Group& g, double* mean, double* std, double* skew, double* kurt, long* pearson,
                                 int* count, double** values)
{
    if (!mean || !std || !skew || !kurt || !pearson || !count || !values) return E_FAIL;
    *mean = g.values[0], *std = g.values[1], *skew = g.values[2], *kurt = g.values[3];
    *pearson = g.pearson;
    *count = g.count;
    const bool has = g.hasSamples && g.count > 0 && g.samples.size() >= static_cast<std::size_t>(g.count);
    if (!has) {
        *values = nullptr;
        return S_OK;
    }
    return HandOut(g.samples, g.count, values);
}

HRESULT APPointFeature::SetPointSizeDistributionValues2(double mean, double std, double skew, double kurt,
                                                        long pearson, int count, const double* values)
{
    return SetGroup(m_sizeGroup, mean, std, skew, kurt, pearson, count, values);
}

HRESULT APPointFeature::SetPointFormDistributionValues2(double mean, double std, double skew, double kurt,
                                                        long pearson, int count, const double* values)
{
    return SetGroup(m_formGroup, mean, std, skew, kurt, pearson, count, values);
}

HRESULT APPointFeature::SetPointLocOrtDistributionValues2(double mean, double std, double skew, double kurt,
                                                          long pearson, int count, const double* values)
{
    return SetGroup(m_locOrtGroup, mean, std, skew, kurt, pearson, count, values);
}

HRESULT APPointFeature::GetPointSizeDistributionValues2(double* mean, double* std, double* skew, double* kurt,
                                                        long* pearson, int* count, double** values)
{
    return GetGroup(m_sizeGroup, mean, std, skew, kurt, pearson, count, values);
}

HRESULT APPointFeature::GetPointFormDistributionValues2(double* mean, double* std, double* skew, double* kurt,
                                                        long* pearson, int* count, double** values)
{
    return GetGroup(m_formGroup, mean, std, skew, kurt, pearson, count, values);
}

HRESULT APPointFeature::GetPointLocOrtDistributionValues2(double* mean, double* std, double* skew, double* kurt,
                                                          long* pearson, int* count, double** values)
{
    return GetGroup(m_locOrtGroup, mean, std, skew, kurt, pearson, count, values);
}

bool APPointFeature::HasMinorSamples() const
{
    const int m = m_locOrtGroup.count;
    return m_hasMinorSamples && m > 0 && m_minorSamples.size() >= static_cast<std::size_t>(m);
}

HRESULT APPointFeature::SetPtLocOrtMinorAxisDistributionValues(double mean, double std, double skew, double kurt,
                                                               const double* values, const double major[3],
                                                               const double minor[3])
{
    if (!major || !minor) return E_FAIL;
    std::vector<double> samples;
    const int m = m_locOrtGroup.count;
    try {
        if (values && m > 0) samples.assign(values, values + m);
    } catch (...) {
        return E_FAIL;
    }
    m_minor[0] = mean, m_minor[1] = std, m_minor[2] = skew, m_minor[3] = kurt;
    m_hasMinorSamples = values != nullptr;
    m_minorSamples.swap(samples);
    std::memcpy(m_majorAxis, major, sizeof m_majorAxis);
    std::memcpy(m_minorAxis, minor, sizeof m_minorAxis);
    return S_OK;
}

HRESULT APPointFeature::GetPtLocOrtMinorAxisDistributionValues(double* mean, double* std, double* skew, double* kurt,
                                                               double** values, double major[3], double minor[3])
{
    if (!mean || !std || !skew || !kurt || !values || !major || !minor) return E_FAIL;
    *mean = m_minor[0], *std = m_minor[1], *skew = m_minor[2], *kurt = m_minor[3];
    std::memcpy(major, m_majorAxis, sizeof m_majorAxis);
    std::memcpy(minor, m_minorAxis, sizeof m_minorAxis);
    if (!HasMinorSamples()) {
        *values = nullptr;
        return S_OK;
    }
    return HandOut(m_minorSamples, m_locOrtGroup.count, values);
}

// ---------------------------------------------------------------------------------------
// Measurement files

HRESULT APPointFeature::SetNames(Names& n, int& modTime, const CString& file, const CString& measurement, long time)
{
    n.file = file;
    n.measurement = measurement;
    modTime = static_cast<int>(time);
    return S_OK;
}

HRESULT APPointFeature::GetNames(const Names& n, int modTime, CString& file, CString& measurement, long* time)
{
    if (!time) return E_FAIL;
    file = n.file;
    measurement = n.measurement;
    *time = modTime;
    return S_OK;
}

HRESULT APPointFeature::SetMoniker(IORVDataMoniker*& field, Names& n, int& modTime, IORVDataMoniker* moniker,
                                   const CString& measurement, long time)
{
    Replace(field, moniker);
    n.file = CString(MkGetPath(moniker).GetString());
    n.measurement = measurement;
    modTime = static_cast<int>(time);
    return S_OK;
}

HRESULT APPointFeature::SetSizeXmlFileAndMeasurementName(const CString& file, const CString& measurement, long time)
{
    return SetNames(m_sizeNames, m_sizeGroup.modTime, file, measurement, time);
}

HRESULT APPointFeature::GetSizeXmlFileAndMeasurementName(CString& file, CString& measurement, long* time)
{
    return GetNames(m_sizeNames, m_sizeGroup.modTime, file, measurement, time);
}

HRESULT APPointFeature::SetFormXmlFileAndMeasurementName(const CString& file, const CString& measurement, long time)
{
    return SetNames(m_formNames, m_formGroup.modTime, file, measurement, time);
}

HRESULT APPointFeature::GetFormXmlFileAndMeasurementName(CString& file, CString& measurement, long* time)
{
    return GetNames(m_formNames, m_formGroup.modTime, file, measurement, time);
}

HRESULT APPointFeature::SetLocOrtXmlFileAndMeasurementName(const CString& file, const CString& measurement, long time)
{
    return SetNames(m_locOrtNames, m_locOrtGroup.modTime, file, measurement, time);
}

HRESULT APPointFeature::GetLocOrtXmlFileAndMeasurementName(CString& file, CString& measurement, long* time)
{
    return GetNames(m_locOrtNames, m_locOrtGroup.modTime, file, measurement, time);
}

HRESULT APPointFeature::SetSizeXmlFileMonikerAndMeasurementName(IORVDataMoniker* moniker,
                                                                const CString& measurement, long time)
{
    return SetMoniker(m_sizeMoniker, m_sizeNames, m_sizeGroup.modTime, moniker, measurement, time);
}

HRESULT APPointFeature::SetLocOrtXmlFileMonikerAndMeasurementName(IORVDataMoniker* moniker,
                                                                  const CString& measurement, long time)
{
    return SetMoniker(m_locOrtMoniker, m_locOrtNames, m_locOrtGroup.modTime, moniker, measurement, time);
}

HRESULT APPointFeature::GetSizeXmlFileMonikerAndMeasurementName(IORVDataMoniker** moniker, CString& measurement,
                                                                long* time)
{
    if (!moniker || !time) return E_FAIL;
    if (m_sizeMoniker) m_sizeMoniker->AddRef();
    *moniker = m_sizeMoniker;
    measurement = m_sizeNames.measurement;
    *time = m_sizeGroup.modTime;
    return S_OK;
}

HRESULT APPointFeature::GetLocOrtXmlFileMonikerAndMeasurementName(IORVDataMoniker** moniker, CString& measurement,
                                                                  long* time)
{
    if (!moniker || !time) return E_FAIL;
    if (m_locOrtMoniker) {
        m_locOrtMoniker->AddRef();
        *moniker = m_locOrtMoniker;
    }
    measurement = m_locOrtNames.measurement;
    *time = m_locOrtGroup.modTime;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Watching, copying

HRESULT APPointFeature::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3 || !m_linked) return S_OK;
    IAPElement* linked = Query<IAPElement>(m_linked, IID_IAPElement);
    const bool gone = linked && linked == element;
    SafeRelease(linked);
    if (gone) SafeRelease(m_linked);
    return S_OK;
}

HRESULT APPointFeature::Clone(IAPElement* target)
{
    auto* copy = static_cast<APPointFeature*>(CloneTarget(target, GetRuntimeClass()));
    if (!copy) return E_FAIL;
    if (copy->CopyFeature(*this) < 0) return E_FAIL;
    copy->m_direction = m_direction;
    copy->m_size = m_size;
    Replace(copy->m_sizeMoniker, m_sizeMoniker);
    Replace(copy->m_locOrtMoniker, m_locOrtMoniker);
    copy->m_sizeNames = m_sizeNames;
    copy->m_formNames = m_formNames;
    copy->m_locOrtNames = m_locOrtNames;
    try {
        copy->m_sizeGroup = m_sizeGroup;
        copy->m_formGroup = m_formGroup;
        copy->m_locOrtGroup = m_locOrtGroup;
        copy->m_minorSamples = m_minorSamples;
    } catch (...) {
        return E_FAIL;
    }
    std::memcpy(copy->m_minor, m_minor, sizeof m_minor);
    copy->m_hasMinorSamples = m_hasMinorSamples;
    std::memcpy(copy->m_majorAxis, m_majorAxis, sizeof m_majorAxis);
    std::memcpy(copy->m_minorAxis, m_minorAxis, sizeof m_minorAxis);
    copy->m_fem = m_fem;
    copy->m_grid = m_grid;
    double p[3], d[3];
    if (ComputeCurrentParameters(p, d) >= 0) {
        copy->m_point = {p[0], p[1], p[2]};
        copy->m_direction = {d[0], d[1], d[2]};
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Block

HRESULT APPointFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    const double geometry[7] = {m_point.x, m_point.y, m_point.z, m_direction.x, m_direction.y, m_direction.z, m_size};
    bool ok = s.write(kPointBlockVersion) && WriteDoubles(s, geometry, 7);
    ok = ok && WriteText(s, m_sizeNames.file, kWriteBuffer) && WriteMonikerField(s, m_sizeMoniker) &&
         WriteText(s, m_sizeNames.measurement, kWriteBuffer);
    ok = ok && WriteText(s, m_formNames.file, kWriteBuffer) && WriteText(s, m_formNames.measurement, kWriteBuffer);
    ok = ok && WriteText(s, m_locOrtNames.file, kWriteBuffer) && WriteMonikerField(s, m_locOrtMoniker) &&
         WriteText(s, m_locOrtNames.measurement, kWriteBuffer);
    for (const Group* g : {&m_sizeGroup, &m_formGroup}) {
        ok = ok && WriteDoubles(s, g->values, 4) && s.write(static_cast<double>(g->modTime)) && s.write(g->count);
        ok = ok && WriteSamples(s, g->hasSamples, g->samples, g->count);
    }
    const Group& l = m_locOrtGroup;
    ok = ok && WriteDoubles(s, l.values, 4) && s.write(static_cast<double>(l.modTime)) && s.write(l.count);
    ok = ok && WriteDoubles(s, m_minor, 4) && WriteDoubles(s, m_majorAxis, 3) && WriteDoubles(s, m_minorAxis, 3);
    ok = ok && WriteSamples(s, l.hasSamples, l.samples, l.count);
    ok = ok && WriteSamples(s, HasMinorSamples(), m_minorSamples, l.count);
    ok = ok && s.write(m_scan) && s.write(m_fem);
    ok = ok && s.write(m_sizeGroup.pearson) && s.write(m_formGroup.pearson) && s.write(m_locOrtGroup.pearson);
    ok = ok && s.write(m_grid);
    return ok ? S_OK : E_FAIL;
}

HRESULT APPointFeature::ReadSamples(WmObjectStream& s, int count, bool& has, std::vector<double>& samples)
{
    int flag = 0;
    if (!s.read(flag)) return E_FAIL;
    has = flag == 1;
    samples.clear();
    if (!has) return S_OK;
    // Samples that follow must fit the stream before anything is allocated.
    if (count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * 8)) return E_FAIL;
    try {
        samples.resize(static_cast<std::size_t>(count));
    } catch (...) {
        return E_FAIL;
    }
    return ReadDoubles(s, samples.data(), count) ? S_OK : E_FAIL;
}

HRESULT APPointFeature::ReadGroup(WmObjectStream& s, Group& g, bool withSamples)
{
    double time = 0.0;
    if (!ReadDoubles(s, g.values, 4) || !s.read(time) || !s.read(g.count)) return E_FAIL;
    g.modTime = static_cast<int>(time);
    return withSamples ? ReadSamples(s, g.count, g.hasSamples, g.samples) : S_OK;
}

HRESULT APPointFeature::ReadName(WmObjectStream& s, CString& name)
{
    return ReadText(s, name, kReadBuffer) ? S_OK : E_FAIL;
}

HRESULT APPointFeature::ReadFileName(WmObjectStream& s, int version, Names& n, IORVDataMoniker*& moniker)
{
    if (ReadName(s, n.file) < 0) return E_FAIL;
    if (version >= 4) {
        IORVDataMoniker* loaded = nullptr;
        if (!ReadMonikerField(s, &loaded)) return E_FAIL;
        if (loaded) {
            SafeRelease(moniker);
            moniker = loaded;
        }
    } else {
        // Older blocks kept only the name; the moniker is made from it.
        SafeRelease(moniker);
        if (!n.file.IsEmpty()) MkCreateMoniker(n.file.GetString(), &moniker);
    }
    return S_OK;
}

HRESULT APPointFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    double geometry[7];
    if (!s.read(version) || !ReadDoubles(s, geometry, 7)) return E_FAIL;
    m_point = {geometry[0], geometry[1], geometry[2]};
    m_direction = {geometry[3], geometry[4], geometry[5]};
    m_size = geometry[6];
    if (version >= 2) {
        bool ok = ReadFileName(s, version, m_sizeNames, m_sizeMoniker) >= 0 &&
                  ReadName(s, m_sizeNames.measurement) >= 0 && ReadName(s, m_formNames.file) >= 0 &&
                  ReadName(s, m_formNames.measurement) >= 0 &&
                  ReadFileName(s, version, m_locOrtNames, m_locOrtMoniker) >= 0 &&
                  ReadName(s, m_locOrtNames.measurement) >= 0;
        ok = ok && ReadGroup(s, m_sizeGroup, true) >= 0 && ReadGroup(s, m_formGroup, true) >= 0 &&
             ReadGroup(s, m_locOrtGroup, false) >= 0;
        ok = ok && ReadDoubles(s, m_minor, 4) && ReadDoubles(s, m_majorAxis, 3) && ReadDoubles(s, m_minorAxis, 3);
        ok = ok && ReadSamples(s, m_locOrtGroup.count, m_locOrtGroup.hasSamples, m_locOrtGroup.samples) >= 0;
        ok = ok && ReadSamples(s, m_locOrtGroup.count, m_hasMinorSamples, m_minorSamples) >= 0;
        ok = ok && s.read(m_scan);
        if (version >= 3) ok = ok && s.read(m_fem);
        if (version >= 5)
            ok = ok && s.read(m_sizeGroup.pearson) && s.read(m_formGroup.pearson) && s.read(m_locOrtGroup.pearson);
        if (version >= 6) ok = ok && s.read(m_grid);
        if (!ok) return E_FAIL;
    }
    double p[3], d[3];
    if (ComputeCurrentParameters(p, d) >= 0) {
        m_point = {p[0], p[1], p[2]};
        m_direction = {d[0], d[1], d[2]};
    }
    APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}
