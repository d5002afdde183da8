#include "operations/APMeasurementResults.h"

#include <algorithm>
#include <cstdint>

#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"
#include "platform/toolkit/WmObjectStream.h"

namespace {

// The arrays never grow to this index (the model's arrays stop there too).
constexpr long long kIndexLimit = 0x7fffffff;

CString CutName(const CString& name)
{
    return name.GetLength() > kContributorNameLength ? name.Left(kContributorNameLength) : name;
}

template <class T>
bool Holds(const std::vector<T>& items, int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < items.size();
}

template <class T>
bool EraseAt(std::vector<T>& items, int index)
{
    if (!Holds(items, index)) return false;
    items.erase(items.begin() + index);
    return true;
}

// {count, items} of plain values, each as wide on the stream as in memory.
template <class T>
bool WriteItems(WmObjectStream& s, const std::vector<T>& items)
{
    if (!s.write(static_cast<int>(items.size()))) return false;
    for (const T& item : items)
        if (!s.write(item)) return false;
    return true;
}

template <class T>
bool ReadItems(WmObjectStream& s, std::vector<T>& items)
{
    int count = 0;
    if (!s.read(count) || count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * sizeof(T))) return false;
    std::vector<T> read(static_cast<std::size_t>(count));
    for (T& item : read)
        if (!s.read(item)) return false;
    items.swap(read);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Contributors

HRESULT APContributors::Append(const CString& name, double value)
{
    m_values.push_back(value);
    m_names.push_back(CutName(name));
    return S_OK;
}

HRESULT APContributors::Append(const CString& name, double value, int code)
{
    const long long at = static_cast<long long>(m_names.size());
    if (!GrowValuesTo(at)) return E_FAIL;
    m_values[static_cast<std::size_t>(at)] = value;
    m_names.push_back(CutName(name));
    m_codes.push_back(code);
    return S_OK;
}

HRESULT APContributors::GetCount(int* count)
{
    if (!count) return E_FAIL;
    *count = m_rules.counted == Counted::Names ? NameCount() : ValueCount();
    if (*count == 0 && m_rules.countOfNoneEmptiesCodes) m_codes.clear();
    return S_OK;
}

HRESULT APContributors::Get(int index, CString& name, double* value) const
{
    if (!value || !Holds(m_values, index)) return E_FAIL;
    *value = m_values[static_cast<std::size_t>(index)];
    name = Holds(m_names, index) ? m_names[static_cast<std::size_t>(index)] : CString();
    return S_OK;
}

HRESULT APContributors::Get(int index, CString& name, double* value, int* code) const
{
    if (!code || Get(index, name, value) < 0) return E_FAIL;
    *code = Holds(m_codes, index) ? m_codes[static_cast<std::size_t>(index)] : 0;
    return S_OK;
}

HRESULT APContributors::RemoveAt(int index)
{
    if (index < 0) return E_FAIL;
    if (m_rules.removal == Removal::CodeValueName) {
        if (!m_codes.empty() && !Holds(m_codes, index)) return E_FAIL;
        if (!EraseAt(m_codes, index) || !EraseAt(m_values, index) || !EraseAt(m_names, index)) return E_FAIL;
        return S_OK;
    }
    if (!m_values.empty() && !Holds(m_values, index)) return E_FAIL;
    EraseAt(m_values, index);
    if (!EraseAt(m_names, index) || !EraseAt(m_codes, index)) return E_FAIL;
    return S_OK;
}

HRESULT APContributors::SetDetails(const CString& name, double d1, double d2, double d3, double d4, int index,
                                   int stride)
{
    const double details[4] = {d1, d2, d3, d4};
    // Another contributor's name, or none at that index: nothing to do.
    if (!Holds(m_names, index) || m_names[static_cast<std::size_t>(index)] != name) return S_OK;
    long long last = index;
    for (int k = 1; k <= 4; ++k) {
        const long long at = index + static_cast<long long>(k) * stride;
        if (at < 0 || at >= kIndexLimit) return E_FAIL;
        if (at > last) last = at;
    }
    if (!GrowValuesTo(last)) return E_FAIL;
    for (int k = 1; k <= 4; ++k)
        m_values[static_cast<std::size_t>(index + static_cast<long long>(k) * stride)] = details[k - 1];
    return S_OK;
}

HRESULT APContributors::GetDetails(int index, double* d1, double* d2, double* d3, double* d4) const
{
    if (!d1 || !d2 || !d3 || !d4 || !Holds(m_names, index)) return E_FAIL;
    const long long n = NameCount();
    const long long lastAt = index + 4 * n;
    if (lastAt >= static_cast<long long>(m_values.size())) return E_FAIL;
    double details[4];
    for (int k = 1; k <= 4; ++k) details[k - 1] = m_values[static_cast<std::size_t>(index + k * n)];
    return CopyAllOut(details, d1, d2, d3, d4);
}

HRESULT APContributors::ExtendValues(int count)
{
    if (count < 0) return E_FAIL;
    if (count == 0) return S_OK;
    return GrowValuesTo(static_cast<long long>(m_values.size()) + 5LL * count - 1) ? S_OK : E_FAIL;
}

HRESULT APContributors::ClearValues()
{
    if (m_names.empty()) m_values.clear();
    return S_OK;
}

bool APContributors::GrowValuesTo(long long last)
{
    if (last < 0 || last >= kIndexLimit) return false;
    if (static_cast<std::size_t>(last) >= m_values.size()) m_values.resize(static_cast<std::size_t>(last) + 1, 0.0);
    return true;
}

bool APContributors::WriteNames(WmObjectStream& s) const { return WriteTextList(s, m_names, kContributorNameLength + 1); }
bool APContributors::ReadNames(WmObjectStream& s) { return ReadTextList(s, m_names, kContributorNameLength + 1); }

bool APContributors::WriteValues(WmObjectStream& s) const { return WriteItems(s, m_values); }
bool APContributors::ReadValues(WmObjectStream& s) { return ReadItems(s, m_values); }
bool APContributors::WriteCodes(WmObjectStream& s) const { return WriteItems(s, m_codes); }
bool APContributors::ReadCodes(WmObjectStream& s) { return ReadItems(s, m_codes); }

// ---------------------------------------------------------------------------------------
// Results

namespace {

APContributors::Rules MainRules(APMeasurementResults::Owner owner)
{
    const bool custom = owner == APMeasurementResults::Owner::Custom;
    return {APContributors::Counted::Names, custom,
            custom ? APContributors::Removal::CodeValueName : APContributors::Removal::ValueNameCode};
}

APContributors::Rules AlternateRules(APMeasurementResults::Owner owner)
{
    APContributors::Rules rules = MainRules(owner);
    rules.counted = APContributors::Counted::Values;
    return rules;
}

} // namespace

APMeasurementResults::APMeasurementResults(Owner owner)
    : m_contributors(MainRules(owner)), m_alternates(AlternateRules(owner))
{
}

HRESULT APMeasurementResults::SetResultsStored(int stored) { return Store(m_stored, stored); }
HRESULT APMeasurementResults::GetResultsStored(int* stored) const { return CopyOut(m_stored, stored); }

HRESULT APMeasurementResults::SetNumData(int count)
{
    std::vector<double> raw(count > 0 ? static_cast<std::size_t>(count) : 0u, 0.0);
    m_raw.swap(raw);
    m_stored = count > 0 ? 1 : 0;
    return S_OK;
}

HRESULT APMeasurementResults::GetNumData(int* count) const { return CopyOut(static_cast<int>(m_raw.size()), count); }

HRESULT APMeasurementResults::SetRawData(int index, double value)
{
    if (!Holds(m_raw, index)) return E_FAIL;
    m_raw[static_cast<std::size_t>(index)] = value;
    m_stored = 1;
    return S_OK;
}

HRESULT APMeasurementResults::GetRawData(int index, double* value) const
{
    if (!value) return E_FAIL;
    if (!Holds(m_raw, index)) {
        *value = kNoRawData;
        return E_FAIL;
    }
    *value = m_raw[static_cast<std::size_t>(index)];
    return S_OK;
}

HRESULT APMeasurementResults::SetSimulatedNominal(double value) { return Store(m_nominal, value); }
HRESULT APMeasurementResults::GetSimulatedNominal(double* value) const { return CopyOut(m_nominal, value); }
HRESULT APMeasurementResults::SetProcessStdDev(double value) { return Store(m_stdDev, value); }
HRESULT APMeasurementResults::GetProcessStdDev(double* value) const { return CopyOut(m_stdDev, value); }
HRESULT APMeasurementResults::SetHLMVariance(double value) { return Store(m_hlmVariance, value); }
HRESULT APMeasurementResults::GetHLMVariance(double* value) const { return CopyOut(m_hlmVariance, value); }

bool APMeasurementResults::WriteHead(WmObjectStream& s) const
{
    if (!s.write(m_stored)) return false;
    if (!m_stored) return true;
    if (!s.write(static_cast<int>(m_raw.size()))) return false;
    for (double value : m_raw)
        if (!s.write(value)) return false;
    return true;
}

bool APMeasurementResults::ReadHead(WmObjectStream& s)
{
    int stored = 0, count = 0;
    if (!s.read(stored)) return false;
    if (stored && !s.read(count)) return false;
    std::vector<double> raw;
    if (stored && count >= 1) {
        if (!MayHold(s, static_cast<std::int64_t>(count) * 8)) return false;
        raw.resize(static_cast<std::size_t>(count));
        for (double& value : raw)
            if (!s.read(value)) return false;
    }
    m_stored = raw.empty() ? 0 : stored;
    m_raw.swap(raw);
    return true;
}

// ---------------------------------------------------------------------------------------
// Design limits

HRESULT APDesignLimits::SetLow(double value)
{
    if (m_marks) m_lowSet = 1;
    return Store(m_low, value);
}

HRESULT APDesignLimits::SetHigh(double value)
{
    if (m_marks) m_highSet = 1;
    return Store(m_high, value);
}

HRESULT APDesignLimits::GetLow(double* value) const { return CopyOut(m_low, value); }
HRESULT APDesignLimits::GetHigh(double* value) const { return CopyOut(m_high, value); }
HRESULT APDesignLimits::IsLowSet(int* set) const { return CopyOut(m_lowSet, set); }
HRESULT APDesignLimits::IsHighSet(int* set) const { return CopyOut(m_highSet, set); }

HRESULT APDesignLimits::SetFlags(int value)
{
    m_lowSet = m_highSet = value;
    return S_OK;
}

HRESULT APDesignLimits::GetFlags(int* value) const { return CopyOut((m_lowSet && m_highSet) ? 1 : 0, value); }

void APDesignLimits::CopyValues(const APDesignLimits& source)
{
    m_low = source.m_low;
    m_high = source.m_high;
    m_lowSet = source.m_lowSet;
    m_highSet = source.m_highSet;
}

bool APDesignLimits::Write(WmObjectStream& s) const
{
    return s.write(m_lowSet) && (!m_lowSet || s.write(m_low)) && s.write(m_highSet) && (!m_highSet || s.write(m_high));
}

bool APDesignLimits::Read(WmObjectStream& s)
{
    int lowSet = 0, highSet = 0;
    double low = m_low, high = m_high;
    if (!s.read(lowSet) || (lowSet && !s.read(low)) || !s.read(highSet) || (highSet && !s.read(high))) return false;
    m_lowSet = lowSet;
    m_low = low;
    m_highSet = highSet;
    m_high = high;
    return true;
}
