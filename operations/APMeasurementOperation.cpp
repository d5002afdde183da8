#include "operations/APMeasurementOperation.h"

#include <algorithm>

#include "model/APElementLinks.h"
#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APMeasurementOperation, APOperation)
IMPLEMENT_DYNAMIC(APSPCMeasurementOp, APOperation)

namespace {

bool WriteVector(WmObjectStream& s, const double (&v)[3]) { return s.write(v[0]) && s.write(v[1]) && s.write(v[2]); }
bool ReadVector(WmObjectStream& s, double (&v)[3]) { return s.read(v[0]) && s.read(v[1]) && s.read(v[2]); }

// A stored mode outside 1 to 22 follows an axis vector: x 18, y 19, z 20.
int ModeFor(int mode, const double (&v)[3])
{
    if (mode >= 1 && mode <= 22) return mode;
    if (v[0] == 1.0 && v[1] == 0.0 && v[2] == 0.0) return 18;
    if (v[0] == 0.0 && v[1] == 1.0 && v[2] == 0.0) return 19;
    if (v[0] == 0.0 && v[1] == 0.0 && v[2] == 1.0) return 20;
    return mode;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Measurement operation

APMeasurementOperation::APMeasurementOperation()
    : m_limits(false), m_results(APMeasurementResults::Owner::Measurement),
      m_references(*this, APElementList::LoadRule::WatchAll)
{
}

HRESULT APMeasurementOperation::IsHighDesignLimitSet(int* set) { return m_limits.IsHighSet(set); }
HRESULT APMeasurementOperation::IsLowDesignLimitSet(int* set) { return m_limits.IsLowSet(set); }
HRESULT APMeasurementOperation::GetLowDesignLimit(double* value) { return m_limits.GetLow(value); }
HRESULT APMeasurementOperation::SetLowDesignLimit(double value) { return m_limits.SetLow(value); }
HRESULT APMeasurementOperation::GetHighDesignLimit(double* value) { return m_limits.GetHigh(value); }
HRESULT APMeasurementOperation::SetHighDesignLimit(double value) { return m_limits.SetHigh(value); }
HRESULT APMeasurementOperation::SetDesignLimitsFlag(int flag) { return m_limits.SetFlags(flag); }
HRESULT APMeasurementOperation::GetDesignLimitsFlag(int* flag) { return m_limits.GetFlags(flag); }

HRESULT APMeasurementOperation::GetMeasurementVector(double* x, double* y, double* z)
{
    return CopyAllOut(m_values.vector, x, y, z);
}

HRESULT APMeasurementOperation::SetMeasurementVector(double x, double y, double z)
{
    return StoreAll(m_values.vector, x, y, z);
}

HRESULT APMeasurementOperation::GetMeasurementMode(int* mode) { return CopyOut(m_values.mode, mode); }
HRESULT APMeasurementOperation::SetMeasurementMode(int mode) { return Store(m_values.mode, mode); }
HRESULT APMeasurementOperation::SetIsRelative(int relative) { return Store(m_values.relative, relative); }
HRESULT APMeasurementOperation::GetIsRelative(int* relative) { return CopyOut(m_values.relative, relative); }
HRESULT APMeasurementOperation::GetOption1(int* value) { return CopyOut(m_values.option1, value); }
HRESULT APMeasurementOperation::SetOption1(int value) { return Store(m_values.option1, value); }
HRESULT APMeasurementOperation::GetOption2(int* value) { return CopyOut(m_values.option2, value); }
HRESULT APMeasurementOperation::SetOption2(int value) { return Store(m_values.option2, value); }
HRESULT APMeasurementOperation::GetOption3(int* value) { return CopyOut(m_values.option3, value); }
HRESULT APMeasurementOperation::SetOption3(int value) { return Store(m_values.option3, value); }
HRESULT APMeasurementOperation::GetOption4(int* value) { return CopyOut(m_values.option4, value); }
HRESULT APMeasurementOperation::SetOption4(int value) { return Store(m_values.option4, value); }
HRESULT APMeasurementOperation::GetOption5(int* value) { return CopyOut(m_values.option5, value); }
HRESULT APMeasurementOperation::SetOption5(int value) { return Store(m_values.option5, value); }
HRESULT APMeasurementOperation::GetExtraValue1(double* value) { return CopyOut(m_values.extra1, value); }
HRESULT APMeasurementOperation::SetExtraValue1(double value) { return Store(m_values.extra1, value); }
HRESULT APMeasurementOperation::GetExtraValue2(double* value) { return CopyOut(m_values.extra2, value); }
HRESULT APMeasurementOperation::SetExtraValue2(double value) { return Store(m_values.extra2, value); }
HRESULT APMeasurementOperation::GetExtraValue3(double* value) { return CopyOut(m_values.extra3, value); }
HRESULT APMeasurementOperation::SetExtraValue3(double value) { return Store(m_values.extra3, value); }
HRESULT APMeasurementOperation::GetExtraValue4(double* value) { return CopyOut(m_values.extra4, value); }
HRESULT APMeasurementOperation::SetExtraValue4(double value) { return Store(m_values.extra4, value); }
HRESULT APMeasurementOperation::GetExtraValue5(double* value) { return CopyOut(m_values.extra5, value); }
HRESULT APMeasurementOperation::SetExtraValue5(double value) { return Store(m_values.extra5, value); }

// Results

HRESULT APMeasurementOperation::GetResultsStoredFlag(int* stored) { return m_results.GetResultsStored(stored); }
HRESULT APMeasurementOperation::SetResultsStoredFlag(int stored) { return m_results.SetResultsStored(stored); }
HRESULT APMeasurementOperation::SetNumData(int count) { return m_results.SetNumData(count); }
HRESULT APMeasurementOperation::GetNumData(int* count) { return m_results.GetNumData(count); }
HRESULT APMeasurementOperation::SetRawDataByIndex(int index, double value) { return m_results.SetRawData(index, value); }
HRESULT APMeasurementOperation::GetRawDataByIndex(int index, double* value) { return m_results.GetRawData(index, value); }
HRESULT APMeasurementOperation::SetSimulatedNominal(double value) { return m_results.SetSimulatedNominal(value); }
HRESULT APMeasurementOperation::GetSimulatedNominal(double* value) { return m_results.GetSimulatedNominal(value); }
HRESULT APMeasurementOperation::GetProcessStdDev(double* value) { return m_results.GetProcessStdDev(value); }
HRESULT APMeasurementOperation::SetProcessStdDev(double value) { return m_results.SetProcessStdDev(value); }
HRESULT APMeasurementOperation::GetHLMVariance(double* value) { return m_results.GetHLMVariance(value); }
HRESULT APMeasurementOperation::SetHLMVariance(double value) { return m_results.SetHLMVariance(value); }

HRESULT APMeasurementOperation::AppendContribData(const CString& name, double* value)
{
    return value ? m_results.Contributors().Append(name, *value) : E_FAIL;
}

HRESULT APMeasurementOperation::AppendContribData2(const CString& name, double value, int code)
{
    return m_results.Contributors().Append(name, value, code);
}

HRESULT APMeasurementOperation::GetNumContribData(int* count) { return m_results.Contributors().GetCount(count); }

HRESULT APMeasurementOperation::GetContribData(int index, CString& name, double* value)
{
    return m_results.Contributors().Get(index, name, value);
}

HRESULT APMeasurementOperation::GetContribData2(int index, CString& name, double* value, int* code)
{
    return m_results.Contributors().Get(index, name, value, code);
}

HRESULT APMeasurementOperation::RemoveContribDataByIndex(int index) { return m_results.Contributors().RemoveAt(index); }

HRESULT APMeasurementOperation::AppendAltContribData(const CString& name, double* value)
{
    return value ? m_results.Alternates().Append(name, *value) : E_FAIL;
}

HRESULT APMeasurementOperation::AppendAltContribData2(const CString& name, double value, int code)
{
    return m_results.Alternates().Append(name, value, code);
}

HRESULT APMeasurementOperation::GetNumAltContribData(int* count) { return m_results.Alternates().GetCount(count); }

HRESULT APMeasurementOperation::GetAltContribData(int index, CString& name, double* value)
{
    return m_results.Alternates().Get(index, name, value);
}

HRESULT APMeasurementOperation::GetAltContribData2(int index, CString& name, double* value, int* code)
{
    return m_results.Alternates().Get(index, name, value, code);
}

HRESULT APMeasurementOperation::RemoveAltContribDataByIndex(int index) { return m_results.Alternates().RemoveAt(index); }

HRESULT APMeasurementOperation::SetContribDataDetails(const CString& name, double detail1, double detail2,
                                                      double detail3, double detail4, int index, int stride)
{
    return m_results.Contributors().SetDetails(name, detail1, detail2, detail3, detail4, index, stride);
}

HRESULT APMeasurementOperation::GetContribDataDetails(int index, double* detail1, double* detail2, double* detail3,
                                                      double* detail4)
{
    return m_results.Contributors().GetDetails(index, detail1, detail2, detail3, detail4);
}

HRESULT APMeasurementOperation::ExtendContribValues(int count) { return m_results.Contributors().ExtendValues(count); }
HRESULT APMeasurementOperation::ClearContribValues() { return m_results.Contributors().ClearValues(); }

// Reference elements

HRESULT APMeasurementOperation::AppendReferenceElement(IAPElement* element)
{
    if (!element) return S_OK;
    IAPElement* entry = Bare<IAPElement>(element, IID_IAPElement);
    if (!entry) return E_FAIL;
    if (m_references.Contains(entry)) return S_OK;
    if (!m_wrapper) return E_FAIL;
    return m_references.Append(entry, true);
}

HRESULT APMeasurementOperation::GetNumReferenceElements(int* count) { return CopyOut(m_references.Count(), count); }

HRESULT APMeasurementOperation::GetReferenceElement(int index, IAPElement** element)
{
    return m_references.Get(index, element);
}

HRESULT APMeasurementOperation::RemoveReferenceElement(IAPElement* element) { return m_references.RemoveFirst(element); }

HRESULT APMeasurementOperation::RemoveReferenceElementByIndex(int index) { return m_references.RemoveAt(index); }

HRESULT APMeasurementOperation::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3 || !element) return S_OK;
    IAPElement* gone = Bare<IAPElement>(element, IID_IAPElement);
    if (!gone) gone = element;
    if (!m_references.Contains(gone)) return S_OK;
    while (m_references.Count() > 0)
        if (RemoveReferenceElementByIndex(0) < 0) return E_FAIL;
    return S_OK;
}

HRESULT APMeasurementOperation::FixupLists()
{
    const HRESULT hr = APOperation::FixupLists();
    bool allNull = m_references.Count() > 0;
    for (int i = 0; allNull && i < m_references.Count(); ++i) allNull = m_references[i] == nullptr;
    if (allNull) m_references.Clear();
    return hr;
}

HRESULT APMeasurementOperation::Clone(IAPElement* target)
{
    auto* copy = static_cast<APMeasurementOperation*>(CloneTarget(target, RUNTIME_CLASS(APMeasurementOperation)));
    if (!copy) return E_FAIL;
    if (copy == this) return S_OK;
    copy->APElement::operator=(*this);
    copy->m_limits.CopyValues(m_limits);
    Values& v = copy->m_values;
    v.relative = m_values.relative;
    v.mode = m_values.mode;
    std::copy(std::begin(m_values.vector), std::end(m_values.vector), v.vector);
    v.option1 = m_values.option1;
    v.option2 = m_values.option2;
    v.option3 = m_values.option3;
    v.option4 = m_values.option4;
    v.option5 = m_values.option5;
    return S_OK;
}

// Block

bool APMeasurementOperation::WriteSection(WmObjectStream& s, const APMeasurementResults& r, const Values& v)
{
    double nominal = 0.0, stdDev = 0.0, hlm = 0.0;
    r.GetSimulatedNominal(&nominal);
    r.GetProcessStdDev(&stdDev);
    r.GetHLMVariance(&hlm);
    const APContributors& c = r.Contributors();
    const APContributors& a = r.Alternates();
    return c.WriteNames(s) && c.WriteValues(s) && c.WriteCodes(s) && s.write(nominal) && s.write(stdDev) &&
           s.write(hlm) && s.write(v.extra3) && a.WriteNames(s) && a.WriteValues(s) && a.WriteCodes(s) &&
           s.write(v.extra1) && s.write(v.extra2) && s.write(v.extra4) && s.write(v.extra5);
}

bool APMeasurementOperation::ReadSection(WmObjectStream& s, int version, APMeasurementResults& r, Values& v)
{
    APContributors& c = r.Contributors();
    APContributors& a = r.Alternates();
    double nominal = 0.0, stdDev = -1.0, hlm = -9999.0;
    if (version >= 3 && !(c.ReadNames(s) && c.ReadValues(s))) return false;
    if (version >= 4 && !c.ReadCodes(s)) return false;
    if (version >= 5 && !s.read(nominal)) return false;
    if (version >= 6 && !(s.read(stdDev) && s.read(hlm))) return false;
    if (version >= 7 && !(s.read(v.extra3) && a.ReadNames(s) && a.ReadValues(s) && a.ReadCodes(s) && s.read(v.extra1)))
        return false;
    if (version >= 10 && !(s.read(v.extra2) && s.read(v.extra4) && s.read(v.extra5))) return false;
    r.SetSimulatedNominal(nominal);
    r.SetProcessStdDev(stdDev);
    r.SetHLMVariance(hlm);
    return true;
}

HRESULT APMeasurementOperation::Serialize(WmObjectStream* stream)
{
    if (APOperation::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    const Values& v = m_values;
    bool ok = s.write(kBlockVersion) && WriteVector(s, v.vector) && m_limits.Write(s) && s.write(v.mode) &&
              s.write(v.relative) && m_results.WriteHead(s);
    if (ok && m_results.HasSection()) ok = WriteSection(s, m_results, v);
    ok = ok && s.write(v.option1) && s.write(v.option2) && s.write(v.option4) && m_references.Write(s) &&
         s.write(v.option3) && s.write(v.option5);
    return ok ? S_OK : E_FAIL;
}

HRESULT APMeasurementOperation::Deserialize(WmObjectStream* stream)
{
    if (APOperation::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    Values v;
    APDesignLimits limits(false);
    APMeasurementResults results(APMeasurementResults::Owner::Measurement);
    if (!s.read(version) || version < 1 || !ReadVector(s, v.vector) || !limits.Read(s) || !s.read(v.mode) ||
        !s.read(v.relative))
        return E_FAIL;
    version = std::min(version, kBlockVersion);
    if (version >= 2 && !results.ReadHead(s)) return E_FAIL;
    if (results.HasSection() && !ReadSection(s, version, results, v)) return E_FAIL;
    if (version >= 8 && !s.read(v.option1)) return E_FAIL;
    if (version >= 9 && !s.read(v.option2)) return E_FAIL;
    if (version >= 11 && !s.read(v.option4)) return E_FAIL;
    if (version >= 12 && !(m_references.Read(s) && s.read(v.option3))) return E_FAIL;
    if (version >= 13 && !s.read(v.option5)) return E_FAIL;
    v.mode = ModeFor(v.mode, v.vector);
    if (version < 12 && v.mode == 6) v.option2 = v.option1;
    m_values = v;
    m_limits.CopyValues(limits);
    m_results = results;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// SPC measurement operation

APSPCMeasurementOp& APSPCMeasurementOp::operator=(const APSPCMeasurementOp& source)
{
    APOperation::operator=(source);
    return *this;
}

HRESULT APSPCMeasurementOp::SetSPCMeasurementType(APSPCType type) { return Store(m_type, type); }
HRESULT APSPCMeasurementOp::GetSPCMeasurementType(APSPCType* type) { return CopyOut(m_type, type); }

HRESULT APSPCMeasurementOp::SetXMLFileName(const CString& name) { return Store(m_fileName, name); }

HRESULT APSPCMeasurementOp::GetXMLFileName(CString& name)
{
    name = m_fileName;
    return S_OK;
}

HRESULT APSPCMeasurementOp::SetNameInXMLFile(const CString& name) { return Store(m_nameInFile, name); }

HRESULT APSPCMeasurementOp::GetNameInXMLFile(CString& name)
{
    name = m_nameInFile;
    return S_OK;
}

HRESULT APSPCMeasurementOp::SetAnchorPts(int count, const double point1[3], const double point2[3])
{
    if ((count >= 1 && !point1) || (count >= 2 && !point2)) return E_FAIL;
    m_anchorCount = count;
    if (count >= 1) std::copy(point1, point1 + 3, m_anchors[0]);
    if (count >= 2) std::copy(point2, point2 + 3, m_anchors[1]);
    return S_OK;
}

HRESULT APSPCMeasurementOp::GetAnchorPts(int* count, double point1[3], double point2[3])
{
    if (!count || (m_anchorCount >= 1 && !point1) || (m_anchorCount >= 2 && !point2)) return E_FAIL;
    *count = m_anchorCount;
    if (m_anchorCount >= 1) std::copy(m_anchors[0], m_anchors[0] + 3, point1);
    if (m_anchorCount >= 2) std::copy(m_anchors[1], m_anchors[1] + 3, point2);
    return S_OK;
}

HRESULT APSPCMeasurementOp::Clone(IAPElement* target)
{
    return CloneByAssignment(*this, target, RUNTIME_CLASS(APSPCMeasurementOp));
}

HRESULT APSPCMeasurementOp::Serialize(WmObjectStream* stream)
{
    if (APOperation::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    const bool ok = s.write(kBlockVersion) && s.write(static_cast<int>(m_type)) &&
                    WriteText(s, m_fileName, kNameBuffer) && WriteText(s, m_nameInFile, kNameBuffer) &&
                    s.write(m_anchorCount) && WriteVector(s, m_anchors[0]) && WriteVector(s, m_anchors[1]);
    return ok ? S_OK : E_FAIL;
}

HRESULT APSPCMeasurementOp::Deserialize(WmObjectStream* stream)
{
    if (APOperation::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, type = AP_SPC_COORD, count = 0;
    CString fileName, nameInFile;
    double anchors[2][3] = {};
    // Every format has every field.
    if (!s.read(version) || version < 1 || !s.read(type) || !ReadText(s, fileName, kNameBuffer) ||
        !ReadText(s, nameInFile, kNameBuffer) || !s.read(count) || !ReadVector(s, anchors[0]) ||
        !ReadVector(s, anchors[1]))
        return E_FAIL;
    m_type = static_cast<APSPCType>(type);
    m_fileName = fileName;
    m_nameInFile = nameInFile;
    m_anchorCount = count;
    std::copy(&anchors[0][0], &anchors[0][0] + 6, &m_anchors[0][0]);
    return S_OK;
}
