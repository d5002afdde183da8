#include "operations/APCustomOperation.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cwctype>

#include "model/APElementLinks.h"
#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APCustomOperation, APOperation)

namespace {

// Texts are written whole; the reader keeps what its buffer holds.
constexpr int kWholeText = INT_MAX;

} // namespace

APCustomOperation::APCustomOperation() : APOperation(1), m_elements(*this, APElementList::LoadRule::SkipAncestors) {}

CString APCustomOperation::Stored(const CString& text)
{
    return text.GetLength() < kTextBuffer ? text : text.Left(kTextBuffer - 1);
}

// ---------------------------------------------------------------------------------------
// Elements

HRESULT APCustomOperation::GetNumElements(int* count) { return CopyOut(m_elements.Count(), count); }

HRESULT APCustomOperation::GetElement(int index, CString& label, IAPElement** element)
{
    if (m_elements.Get(index, element) < 0) return E_FAIL;
    label = static_cast<std::size_t>(index) < m_labels.size() ? m_labels[static_cast<std::size_t>(index)] : CString();
    return S_OK;
}

HRESULT APCustomOperation::AppendElement(const CString& label, IAPElement* element)
{
    return AppendLabelled(label, element, true);
}

HRESULT APCustomOperation::AppendElementNoDependent(const CString& label, IAPElement* element)
{
    return AppendLabelled(label, element, false);
}

HRESULT APCustomOperation::AppendLabelled(const CString& label, IAPElement* element, bool watch)
{
    // Checked first, so that a refused element leaves both lists as they were.
    if (element && (!m_wrapper || !Answers(element, IID_IAPElement))) return E_FAIL;
    const HRESULT hr = m_elements.Append(element, watch);
    // The entry is in: its label follows whatever the registration gave.
    m_labels.push_back(Stored(label));
    return hr;
}

HRESULT APCustomOperation::RemoveElementByIndex(int index)
{
    if (m_elements.RemoveAt(index) < 0) return E_FAIL;
    if (static_cast<std::size_t>(index) >= m_labels.size()) return E_FAIL;
    m_labels.erase(m_labels.begin() + index);
    return S_OK;
}

HRESULT APCustomOperation::RemoveElement(IAPElement* element)
{
    IAPElement* target = element ? Bare<IAPElement>(element, IID_IAPElement) : nullptr;
    for (int i = 0; target && i < m_elements.Count(); ++i)
        if (m_elements[i] == target) return RemoveElementByIndex(i);
    return S_OK;
}

HRESULT APCustomOperation::SetElementByLabel(const CString& label, IAPElement* element)
{
    if (!element) return S_OK;
    // Compared as stored, so that a label that was cut still finds its entry.
    const CString wanted = Stored(label);
    for (int i = static_cast<int>(m_labels.size()) - 1; i >= 0; --i) {
        if (m_labels[static_cast<std::size_t>(i)] != wanted) continue;
        // A label without an element entry (a block may carry more labels) has nothing to
        // replace.
        return i < m_elements.Count() ? m_elements.ReplaceAt(i, element) : E_FAIL;
    }
    return S_OK;
}

HRESULT APCustomOperation::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command == 3) m_elements.NullDestroyed(element);
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Metadata

HRESULT APCustomOperation::AppendMetaData(const CString& first, const CString& second)
{
    m_metaFirst.push_back(Stored(first));
    m_metaSecond.push_back(Stored(second));
    return S_OK;
}

HRESULT APCustomOperation::GetNumMetaData(int* count) { return CopyOut(static_cast<int>(m_metaSecond.size()), count); }

HRESULT APCustomOperation::GetMetaData(int index, CString& first, CString& second)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_metaSecond.size()) return E_FAIL;
    const auto i = static_cast<std::size_t>(index);
    first = i < m_metaFirst.size() ? m_metaFirst[i] : CString();
    second = m_metaSecond[i];
    return S_OK;
}

HRESULT APCustomOperation::RemoveMetaDataByIndex(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_metaSecond.size()) return E_FAIL;
    m_metaSecond.erase(m_metaSecond.begin() + index);
    if (static_cast<std::size_t>(index) >= m_metaFirst.size()) return E_FAIL;
    m_metaFirst.erase(m_metaFirst.begin() + index);
    return S_OK;
}

HRESULT APCustomOperation::RemoveMetaDataByValue(const CString& second)
{
    const CString wanted = Stored(second);
    for (std::size_t i = 0; i < m_metaSecond.size(); ++i)
        if (m_metaSecond[i] == wanted) return RemoveMetaDataByIndex(static_cast<int>(i));
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Values

HRESULT APCustomOperation::GetNameOfExtension(CString& name) { return Store(name, m_extensionName); }
HRESULT APCustomOperation::SetNameOfExtension(const CString& name) { return Store(m_extensionName, name); }
HRESULT APCustomOperation::GetExtensionSetName(CString& name) { return Store(name, m_extensionSetName); }
HRESULT APCustomOperation::SetExtensionSetName(const CString& name) { return Store(m_extensionSetName, name); }
HRESULT APCustomOperation::GetCustomOpType(APCustomType* type) { return CopyOut(m_type, type); }
HRESULT APCustomOperation::SetCustomOpType(APCustomType type) { return Store(m_type, type); }

HRESULT APCustomOperation::IsHighDesignLimitSetForCustom(int* isSet) { return m_limits.IsHighSet(isSet); }
HRESULT APCustomOperation::IsLowDesignLimitSetForCustom(int* isSet) { return m_limits.IsLowSet(isSet); }
HRESULT APCustomOperation::GetLowDesignLimitOfCustom(double* value) { return m_limits.GetLow(value); }
HRESULT APCustomOperation::SetLowDesignLimitForCustom(double value) { return m_limits.SetLow(value); }
HRESULT APCustomOperation::GetHighDesignLimitOfCustom(double* value) { return m_limits.GetHigh(value); }
HRESULT APCustomOperation::SetHighDesignLimitForCustom(double value) { return m_limits.SetHigh(value); }
HRESULT APCustomOperation::SetIsRelativeForCustom(int value) { return Store(m_relative, value); }
HRESULT APCustomOperation::GetIsRelativeOfCustom(int* value) { return CopyOut(m_relative, value); }
HRESULT APCustomOperation::CheckIfDllWasModified(int* modified) { return CopyOut(0, modified); }

HRESULT APCustomOperation::SetContribDataDetails(const CString& name, double d1, double d2, double d3, double d4,
                                                 int index, int stride)
{
    return m_results.Contributors().SetDetails(name, d1, d2, d3, d4, index, stride);
}

HRESULT APCustomOperation::GetContribDataDetails(int index, double* d1, double* d2, double* d3, double* d4)
{
    return m_results.Contributors().GetDetails(index, d1, d2, d3, d4);
}

HRESULT APCustomOperation::SetExtraValue4(double value) { return Store(m_extra4, value); }
HRESULT APCustomOperation::GetExtraValue4(double* value) { return CopyOut(m_extra4, value); }
HRESULT APCustomOperation::SetExtraValue5(double value) { return Store(m_extra5, value); }
HRESULT APCustomOperation::GetExtraValue5(double* value) { return CopyOut(m_extra5, value); }
HRESULT APCustomOperation::GetExtraValue6(double* value) { return CopyOut(m_extra6, value); }
HRESULT APCustomOperation::SetExtraValue6(double value) { return Store(m_extra6, value); }
HRESULT APCustomOperation::GetExtraValue7(double* value) { return CopyOut(m_extra7, value); }
HRESULT APCustomOperation::SetExtraValue7(double value) { return Store(m_extra7, value); }
HRESULT APCustomOperation::GetExtraValue8(double* value) { return CopyOut(m_extra8, value); }
HRESULT APCustomOperation::SetExtraValue8(double value) { return Store(m_extra8, value); }
HRESULT APCustomOperation::SetOptionFlag(int value) { return Store(m_optionFlag, value ? 1 : 0); }
HRESULT APCustomOperation::GetOptionFlag(int* value) { return CopyOut(m_optionFlag, value); }
HRESULT APCustomOperation::GetOption5(int* value) { return CopyOut(m_option5, value); }
HRESULT APCustomOperation::SetOption5(int value) { return Store(m_option5, value); }

// ---------------------------------------------------------------------------------------
// Wide strings

int APCustomOperation::WideStringLength(const wchar_t* text)
{
    if (!text) return 0;
    int n = 0;
    while (text[n]) ++n;
    return n;
}

HRESULT APCustomOperation::TrimWideString(const wchar_t* text, BSTR* trimmed)
{
    if (!trimmed) return E_FAIL;
    *trimmed = nullptr;
    int begin = 0, end = WideStringLength(text);
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin]))) ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1]))) --end;
    if (begin == end) return S_OK;
    *trimmed = SysAllocStringLen(text + begin, static_cast<UINT>(end - begin));
    return *trimmed ? S_OK : E_FAIL;
}

HRESULT APCustomOperation::TrimBstr(BSTR* text)
{
    if (!text) return E_FAIL;
    BSTR trimmed = nullptr;
    if (FAILED(TrimWideString(*text, &trimmed))) return E_FAIL;
    SysFreeString(*text);
    *text = trimmed;
    return S_OK;
}

HRESULT APCustomOperation::MultiByteToTrimmedBstr(const char* source, BSTR* text)
{
    if (!source || !text) return E_FAIL;
    wchar_t wide[kMaxWideText + 1];
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, source, -1, wide, kMaxWideText + 1) == 0) return E_FAIL;
    BSTR trimmed = nullptr;
    if (FAILED(TrimWideString(wide, &trimmed))) return E_FAIL;
    SysFreeString(*text);
    *text = trimmed;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Copies and the block

HRESULT APCustomOperation::Clone(IAPElement* target)
{
    auto* copy = static_cast<APCustomOperation*>(static_cast<APOperation*>(CloneTarget(target, RUNTIME_CLASS(APCustomOperation))));
    if (!copy) return E_FAIL;
    if (copy == this) return S_OK;
    copy->APElement::operator=(*this);
    copy->m_extensionName = m_extensionName;
    copy->m_extensionSetName = m_extensionSetName;
    copy->m_type = m_type;
    copy->m_limits.CopyValues(m_limits);
    double value = 0.0;
    m_results.GetSimulatedNominal(&value);
    copy->m_results.SetSimulatedNominal(value);
    m_results.GetProcessStdDev(&value);
    copy->m_results.SetProcessStdDev(value);
    m_results.GetHLMVariance(&value);
    copy->m_results.SetHLMVariance(value);
    copy->m_extra4 = m_extra4;
    copy->m_extra8 = m_extra8;
    copy->m_option5 = m_option5;
    return S_OK;
}

bool APCustomOperation::WriteSection(WmObjectStream& s) const
{
    const APContributors& main = m_results.Contributors();
    const APContributors& alternates = m_results.Alternates();
    double nominal = 0.0, stdDev = 0.0, hlm = 0.0;
    m_results.GetSimulatedNominal(&nominal);
    m_results.GetProcessStdDev(&stdDev);
    m_results.GetHLMVariance(&hlm);
    return main.WriteNames(s) && main.WriteValues(s) && main.WriteCodes(s) && s.write(nominal) && s.write(stdDev) &&
           s.write(hlm) && s.write(m_extra8) && alternates.WriteNames(s) && alternates.WriteValues(s) &&
           alternates.WriteCodes(s) && s.write(m_extra4) && s.write(m_extra6) && s.write(m_extra7) &&
           s.write(m_option5);
}

bool APCustomOperation::ReadSection(WmObjectStream& s, int version, APMeasurementResults& results, Extras& extras)
{
    APContributors& main = results.Contributors();
    APContributors& alternates = results.Alternates();
    if (version >= 3 && !(main.ReadNames(s) && main.ReadValues(s))) return false;
    if (version >= 5 && !main.ReadCodes(s)) return false;
    double nominal = 0.0, stdDev = 0.0, hlm = 0.0;
    if (version >= 6) {
        if (!s.read(nominal)) return false;
        results.SetSimulatedNominal(nominal);
    }
    if (version >= 7) {
        if (!s.read(stdDev) || !s.read(hlm)) return false;
        results.SetProcessStdDev(stdDev);
        results.SetHLMVariance(hlm);
    }
    if (version >= 8 && !(s.read(extras.extra8) && alternates.ReadNames(s) && alternates.ReadValues(s) &&
                          alternates.ReadCodes(s) && s.read(extras.extra4)))
        return false;
    if (version >= 9 && !(s.read(extras.extra6) && s.read(extras.extra7))) return false;
    return version < 10 || s.read(extras.option5);
}

HRESULT APCustomOperation::Serialize(WmObjectStream* stream)
{
    if (APOperation::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kBlockVersion) && s.write(static_cast<int>(m_type)) && s.write(m_relative) && m_limits.Write(s) &&
              WriteText(s, m_extensionSetName, kWholeText) && WriteText(s, m_extensionName, kWholeText) &&
              s.write(m_optionFlag) && WriteTextList(s, m_labels, kTextBuffer) && m_elements.Write(s) &&
              WriteTextList(s, m_metaFirst, kTextBuffer) && WriteTextList(s, m_metaSecond, kTextBuffer) &&
              m_results.WriteHead(s);
    if (ok && m_results.HasSection()) ok = WriteSection(s);
    // Option 5 is in the results section too; this later copy is the one a reader keeps.
    ok = ok && WriteMove(s) && s.write(m_option5) && WriteRefresh(s);
    return ok ? S_OK : E_FAIL;
}

HRESULT APCustomOperation::Deserialize(WmObjectStream* stream)
{
    if (APOperation::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, type = AP_CUSTOM_UNKNOWN, relative = 0, optionFlag = 1;
    if (!s.read(version) || version < 1) return E_FAIL;
    version = std::min(version, kBlockVersion);
    APDesignLimits limits(true);
    CString setName, name;
    if (!s.read(type) || !s.read(relative) || !limits.Read(s) || !ReadText(s, setName, kReadExtensionNameBuffer) ||
        !ReadText(s, name, kReadExtensionNameBuffer))
        return E_FAIL;
    if (version >= 4 && !s.read(optionFlag)) return E_FAIL;
    std::vector<CString> labels, first, second;
    if (!ReadTextList(s, labels, kReadTextBuffer) || !m_elements.Read(s) || !ReadTextList(s, first, kReadTextBuffer) ||
        !ReadTextList(s, second, kReadTextBuffer))
        return E_FAIL;
    APMeasurementResults results(APMeasurementResults::Owner::Custom);
    Extras extras{m_extra4, m_extra6, m_extra7, m_extra8, m_option5};
    if (version >= 2 && !results.ReadHead(s)) return E_FAIL;
    if (results.HasSection() && !ReadSection(s, version, results, extras)) return E_FAIL;
    if (version >= 11 && !ReadMove(s)) return E_FAIL;
    if (version >= 12 && !s.read(extras.option5)) return E_FAIL;
    if (version >= 13 && !ReadRefresh(s)) return E_FAIL;
    m_type = static_cast<APCustomType>(type);
    m_relative = relative;
    m_limits.CopyValues(limits);
    m_extensionSetName = setName;
    m_extensionName = name;
    m_optionFlag = optionFlag ? 1 : 0;
    m_labels.swap(labels);
    m_metaFirst.swap(first);
    m_metaSecond.swap(second);
    m_results = std::move(results);
    m_extra4 = extras.extra4;
    m_extra6 = extras.extra6;
    m_extra7 = extras.extra7;
    m_extra8 = extras.extra8;
    m_option5 = extras.option5;
    return S_OK;
}
