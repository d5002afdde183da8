#pragma once
// What the measuring operations (measurement and custom) keep once an analysis has run: the
// raw data of the simulated runs, the contributors to the measured variation and an alternate
// contributor list, the simulated nominal, the process standard deviation and the HLM
// variance; and the design limits with their set flags. The two classes differ in a few rules
// (how a list counts, the order of a removal, whether a limit setter marks its flag), chosen
// when the pieces are made; their block layouts differ, so each writes these pieces itself in
// its own order.
#include <vector>

#include "platform/mfc/afx.h"
#include "Plenvort_h.h"

class WmObjectStream;

// A contributor name keeps at most this many characters (a buffer of 2056 with its zero).
constexpr int kContributorNameLength = 2055;
// A raw-data getter's value when the index is not there.
constexpr double kNoRawData = -800000.0;

// One contributor list: the parallel names, values and codes. Contributor i is (name i,
// value i, code i). The values may also carry four detail blocks: with N the number of names,
// detail k (1 to 4) of contributor i lies at value index i + k x N.
class APContributors {
public:
    // What the list's count gives.
    enum class Counted { Names, Values };
    // The order in which a removal takes entry i out of the three arrays, and which array
    // the index is tested against first.
    enum class Removal {
        ValueNameCode, // tested against the values; value, then name, then code
        CodeValueName  // tested against the codes; code, then value, then name
    };
    struct Rules {
        Counted counted = Counted::Names;
        bool countOfNoneEmptiesCodes = false; // a count of 0 also empties the codes
        Removal removal = Removal::ValueNameCode;
    };

    APContributors() = default;
    explicit APContributors(Rules rules) : m_rules(rules) {}

    // Appends the value and the name (cut to kContributorNameLength); no code.
    HRESULT Append(const CString& name, double value);
    // Writes the value at the index equal to the number of names (the values grow with zeros
    // as needed), then appends the name and the code.
    HRESULT Append(const CString& name, double value, int code);
    // The count the rules name (may empty the codes, as the rules say).
    HRESULT GetCount(int* count);
    // Index within the values: value i and name i (empty when there is none).
    HRESULT Get(int index, CString& name, double* value) const;
    // As above, and code i (0 when there is none).
    HRESULT Get(int index, CString& name, double* value, int* code) const;
    // Takes entry i out of each array in the rules' order; E_FAIL when one of them has no
    // entry i (the arrays before it have lost theirs already).
    HRESULT RemoveAt(int index);
    // Where name `index` is `name`, detail k goes to value index + k x stride (growing the
    // values with zeros); any other index or name changes nothing. A negative or
    // unreachable target index fails before anything is written.
    HRESULT SetDetails(const CString& name, double d1, double d2, double d3, double d4, int index, int stride);
    // Any null out-pointer fails before anything is written.
    HRESULT GetDetails(int index, double* d1, double* d2, double* d3, double* d4) const;
    // Appends 5 x count zeros to the values.
    HRESULT ExtendValues(int count);
    // Empties the values unless there are names.
    HRESULT ClearValues();

    int NameCount() const { return static_cast<int>(m_names.size()); }
    int ValueCount() const { return static_cast<int>(m_values.size()); }
    int CodeCount() const { return static_cast<int>(m_codes.size()); }

    // The block parts, each a count and its items. Reads check the count against what the
    // stream still holds before anything is allocated, and change nothing when they fail.
    bool WriteNames(WmObjectStream& stream) const;
    bool ReadNames(WmObjectStream& stream);
    bool WriteValues(WmObjectStream& stream) const;
    bool ReadValues(WmObjectStream& stream);
    bool WriteCodes(WmObjectStream& stream) const;
    bool ReadCodes(WmObjectStream& stream);

private:
    // The values reach index `last` (zeros added); false when it is beyond an array's reach.
    bool GrowValuesTo(long long last);

    Rules m_rules;
    std::vector<CString> m_names;
    std::vector<double> m_values;
    std::vector<int> m_codes;
};

// The stored results of an analysis.
class APMeasurementResults {
public:
    // Whose rules the two contributor lists follow.
    enum class Owner { Measurement, Custom };

    explicit APMeasurementResults(Owner owner);

    HRESULT SetResultsStored(int stored);
    HRESULT GetResultsStored(int* stored) const;
    // Replaces the raw data by `count` zeros and sets results stored; a count below 1 leaves
    // no raw data and clears results stored.
    HRESULT SetNumData(int count);
    // 0 without raw data.
    HRESULT GetNumData(int* count) const;
    // An index outside the raw data (a negative one too) fails; the getter then gives
    // kNoRawData. The setter sets results stored.
    HRESULT SetRawData(int index, double value);
    HRESULT GetRawData(int index, double* value) const;

    HRESULT SetSimulatedNominal(double value);
    HRESULT GetSimulatedNominal(double* value) const;
    HRESULT SetProcessStdDev(double value);
    HRESULT GetProcessStdDev(double* value) const;
    HRESULT SetHLMVariance(double value);
    HRESULT GetHLMVariance(double* value) const;

    APContributors& Contributors() { return m_contributors; }
    APContributors& Alternates() { return m_alternates; }
    const APContributors& Contributors() const { return m_contributors; }
    const APContributors& Alternates() const { return m_alternates; }

    // The head of a results section: results stored; when set, the data count; when that
    // is at least 1, the raw data. The rest of the section, which the owner writes and reads
    // in its own order, follows only where HasSection() says so. A read of a set flag with a
    // count below 1 gives results stored 0. A failed read leaves the results as they were.
    bool WriteHead(WmObjectStream& stream) const;
    bool ReadHead(WmObjectStream& stream);
    bool HasSection() const { return m_stored != 0 && !m_raw.empty(); }

private:
    int m_stored = 0;
    std::vector<double> m_raw;
    double m_nominal = 0.0;
    double m_stdDev = -1.0;
    double m_hlmVariance = -9999.0;
    APContributors m_contributors;
    APContributors m_alternates;
};

// The low and high design limits, each with its set flag.
class APDesignLimits {
public:
    // `marks`: a limit setter also sets its flag to 1 (else the flags change only through
    // SetFlags).
    explicit APDesignLimits(bool marks) : m_marks(marks) {}

    HRESULT SetLow(double value);
    HRESULT GetLow(double* value) const;
    HRESULT SetHigh(double value);
    HRESULT GetHigh(double* value) const;
    HRESULT IsLowSet(int* set) const;
    HRESULT IsHighSet(int* set) const;
    // Both flags take the value.
    HRESULT SetFlags(int value);
    // 1 when both flags are non-zero, else 0.
    HRESULT GetFlags(int* value) const;
    // Copies the limits and flags (the marking rule stays).
    void CopyValues(const APDesignLimits& source);

    // {low set, low when set, high set, high when set}; a failed read changes nothing.
    bool Write(WmObjectStream& stream) const;
    bool Read(WmObjectStream& stream);

private:
    bool m_marks;
    double m_low = 0.0;
    double m_high = 0.0;
    int m_lowSet = 0;
    int m_highSet = 0;
};
