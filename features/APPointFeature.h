#pragma once
#include <vector>

#include "features/APFeature.h"

// A single measured or simulated point: location, direction (the surface normal there) and
// the size of its marker, with its own size, form and loc/ort variation (each optionally
// with samples), the minor-axis loc/ort distribution, the measurement file names and flags.
class APPointFeature : public APFeature {
    DECLARE_DYNAMIC(APPointFeature)

public:
    APPointFeature() = default;
    ~APPointFeature() override;

    virtual HRESULT GetPointSize(double* size);
    // A plane parent's normal (kept as the direction), else the placed unit direction.
    virtual HRESULT GetPointDirection(double* x, double* y, double* z);
    virtual HRESULT GetPoint(double* x, double* y, double* z);
    virtual HRESULT DefinePointImplicit(double px, double py, double pz, double dx, double dy, double dz, double size);
    // Takes as many samples as the loc/ort group holds.
    virtual HRESULT SetPtLocOrtMinorAxisDistributionValues(double mean, double std, double skew, double kurt,
                                                           const double* values, const double major[3],
                                                           const double minor[3]);
    // The block (CoTaskMemAlloc, the caller's) is null when there are no minor-axis samples.
    virtual HRESULT GetPtLocOrtMinorAxisDistributionValues(double* mean, double* std, double* skew, double* kurt,
                                                           double** values, double major[3], double minor[3]);
    virtual HRESULT SetSizeXmlFileAndMeasurementName(const CString& file, const CString& measurement, long modTime);
    virtual HRESULT GetSizeXmlFileAndMeasurementName(CString& file, CString& measurement, long* modTime);
    virtual HRESULT SetFormXmlFileAndMeasurementName(const CString& file, const CString& measurement, long modTime);
    virtual HRESULT GetFormXmlFileAndMeasurementName(CString& file, CString& measurement, long* modTime);
    virtual HRESULT SetLocOrtXmlFileAndMeasurementName(const CString& file, const CString& measurement, long modTime);
    virtual HRESULT GetLocOrtXmlFileAndMeasurementName(CString& file, CString& measurement, long* modTime);
    virtual HRESULT SetAsScanPoint();
    virtual HRESULT IsScanPoint(int* flag);
    virtual HRESULT ReverseNormal();
    virtual HRESULT SetAsFemPoint(long isFem);
    virtual HRESULT IsFemPoint(int* flag);
    virtual HRESULT SetSizeXmlFileMonikerAndMeasurementName(IORVDataMoniker* moniker, const CString& measurement,
                                                            long modTime);
    virtual HRESULT GetSizeXmlFileMonikerAndMeasurementName(IORVDataMoniker** moniker, CString& measurement,
                                                            long* modTime);
    virtual HRESULT SetLocOrtXmlFileMonikerAndMeasurementName(IORVDataMoniker* moniker, const CString& measurement,
                                                              long modTime);
    // Writes the moniker output only when a moniker is held.
    virtual HRESULT GetLocOrtXmlFileMonikerAndMeasurementName(IORVDataMoniker** moniker, CString& measurement,
                                                              long* modTime);
    virtual HRESULT SetPointSizeDistributionValues2(double mean, double std, double skew, double kurt, long pearson,
                                                    int count, const double* values);
    virtual HRESULT SetPointFormDistributionValues2(double mean, double std, double skew, double kurt, long pearson,
                                                    int count, const double* values);
    virtual HRESULT SetPointLocOrtDistributionValues2(double mean, double std, double skew, double kurt, long pearson,
                                                      int count, const double* values);
    // The sample block is the caller's (CoTaskMemFree), null without samples.
    virtual HRESULT GetPointSizeDistributionValues2(double* mean, double* std, double* skew, double* kurt,
                                                    long* pearson, int* count, double** values);
    virtual HRESULT GetPointFormDistributionValues2(double* mean, double* std, double* skew, double* kurt,
                                                    long* pearson, int* count, double** values);
    virtual HRESULT GetPointLocOrtDistributionValues2(double* mean, double* std, double* skew, double* kurt,
                                                      long* pearson, int* count, double** values);
    virtual HRESULT SetFromGridPoints(long flag);
    virtual HRESULT GetFromGridPoints(long* flag);
    virtual HRESULT ComputeCurrentParameters(double point[3], double direction[3]);

    HRESULT BuildWmBrep() override;
    HRESULT TransformDefinition(const double transform[16]) override;
    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kPointBlockVersion = 6;

private:
    struct Group {
        double values[4] = {0.0, 0.0, 0.0, 0.0}; // mean, std, skew, kurtosis
        int pearson = 0;
        int modTime = 0;
        int count = 0;
        bool hasSamples = false;
        std::vector<double> samples;
    };
    struct Names {
        CString file, measurement;
    };

    static HRESULT SetGroup(Group& g, double mean, double std, double skew, double kurt, long pearson, int count,
                            const double* values);
    static HRESULT GetGroup(const Group& g, double* mean, double* std, double* skew, double* kurt, long* pearson,
                            int* count, double** values);
    static HRESULT HandOut(const std::vector<double>& samples, int count, double** values);
    static HRESULT SetNames(Names& n, int& modTime, const CString& file, const CString& measurement, long time);
    static HRESULT GetNames(const Names& n, int modTime, CString& file, CString& measurement, long* time);
    static HRESULT SetMoniker(IORVDataMoniker*& field, Names& n, int& modTime, IORVDataMoniker* moniker,
                              const CString& measurement, long time);
    bool HasMinorSamples() const;
    HRESULT ReadGroup(WmObjectStream& s, Group& g, bool withCount);
    HRESULT ReadSamples(WmObjectStream& s, int count, bool& has, std::vector<double>& samples);
    HRESULT ReadName(WmObjectStream& s, CString& name);
    HRESULT ReadFileName(WmObjectStream& s, int version, Names& n, IORVDataMoniker*& moniker);

    APVector3d m_point;
    APVector3d m_direction;
    double m_size = -1.0;
    Group m_sizeGroup, m_formGroup, m_locOrtGroup;
    double m_minor[4] = {0.0, 0.0, 0.0, 0.0};
    bool m_hasMinorSamples = false;
    std::vector<double> m_minorSamples;
    double m_majorAxis[3] = {0.0, 0.0, 0.0};
    double m_minorAxis[3] = {0.0, 0.0, 0.0};
    IORVDataMoniker* m_sizeMoniker = nullptr;   // one reference
    IORVDataMoniker* m_locOrtMoniker = nullptr; // one reference
    Names m_sizeNames, m_formNames, m_locOrtNames;
    int m_scan = 0;
    int m_fem = 0;
    int m_grid = 0;
};
