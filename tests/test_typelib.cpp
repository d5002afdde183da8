// The embedded type library is the binary contract that hosts compile against:
// identities, bases, method counts and slot order, enum values. These tests read
// it back from the built DLL through the platform's type-library services.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <type_traits>
#include <vector>
#include "Plenvort_h.h"
#include "test_support.h"

namespace {

// Every later version derives from the one before it, so a caller holding the newest
// version reaches every older method; the private versions obey the same rule.
template <class First, class Second, class... Rest>
constexpr bool Chain()
{
    if constexpr (sizeof...(Rest) == 0) return std::is_base_of_v<First, Second>;
    else return std::is_base_of_v<First, Second> && Chain<Second, Rest...>();
}

static_assert(Chain<IAPElement, IAPElement2, IAPElement3, IAPElement4, IAPElement5, IAPElement6, IAPElement7, IAPElement8,
                    IAPElement9, IAPElement10, IAPElement11, IAPElement12, IAPElement13, IAPElement14, IAPElement15, IAPElement16>());
static_assert(Chain<IAPNode, IAPNode2, IAPNode3>());
static_assert(Chain<IAPPartNode, IAPPartNode2, IAPPartNode3, IAPPartNode4, IAPPartNode5, IAPPartNode6>());
static_assert(Chain<IAPAssemblyNode, IAPAssemblyNode2, IAPAssemblyNode3, IAPAssemblyNode4>());
static_assert(Chain<IAPGroupNode, IAPGroupNode2>());
static_assert(Chain<IAPOperation, IAPOperation2, IAPOperation3, IAPOperation4>());
static_assert(Chain<IAPAssemblyOperation, IAPAssemblyOperation2, IAPAssemblyOperation3, IAPAssemblyOperation4, IAPAssemblyOperation5>());
static_assert(Chain<IAPClassicAssemblyOperation, IAPClassicAssemblyOperation2>());
static_assert(Chain<IAPKinematicAssemblyOperation, IAPKinematicAssemblyOperation2, IAPKinematicAssemblyOperation3>());
static_assert(Chain<IAPFemAssemblyOperation, IAPFemAssemblyOperation2, IAPFemAssemblyOperation3, IAPFemAssemblyOperation4,
                    IAPFemAssemblyOperation5>());
static_assert(Chain<IAPMeasurementOperation, IAPMeasurementOperation2, IAPMeasurementOperation3, IAPMeasurementOperation4,
                    IAPMeasurementOperation5, IAPMeasurementOperation6, IAPMeasurementOperation7, IAPMeasurementOperation8,
                    IAPMeasurementOperation9>());
static_assert(Chain<IAPCustomOperation, IAPCustomOperation2, IAPCustomOperation3, IAPCustomOperation4, IAPCustomOperation5,
                    IAPCustomOperation6, IAPCustomOperation7, IAPCustomOperation8, IAPCustomOperation9, IAPCustomOperation10,
                    IAPCustomOperation11, IAPCustomOperation12>());
static_assert(Chain<IAPFeature, IAPFeature2, IAPFeature3, IAPFeature4, IAPFeature5, IAPFeature6, IAPFeature7, IAPFeature8>());
static_assert(Chain<IAPPlaneFeature, IAPPlaneFeature2, IAPPlaneFeature3, IAPPlaneFeature4>());
static_assert(Chain<IAPPointFeature, IAPPointFeature2, IAPPointFeature3, IAPPointFeature4, IAPPointFeature5>());
static_assert(Chain<IAPSurfaceFeature, IAPSurfaceFeature1>());
static_assert(Chain<IAPFeaturePair, IAPFeaturePair2, IAPFeaturePair3>());
static_assert(Chain<IAPGDTTolerance, IAPGDTTolerance2, IAPGDTTolerance3, IAPGDTTolerance4, IAPGDTTolerance5>());
static_assert(Chain<IAPSizeTolerance, IAPSizeTolerance2>());
static_assert(Chain<IAPDRF, IAPDRF2>());
static_assert(Chain<IAPDatum, IAPDatum2, IAPDatum3, IAPDatum4>());
static_assert(Chain<IAPDocument, IAPDocument2, IAPDocument3, IAPDocument4, IAPDocument5, IAPDocument6>());
static_assert(Chain<IAPPointerList, IAPPointerList2>());
static_assert(std::is_base_of_v<IMoniker, IORVDataMoniker>);
// The classic chain repeats the assembly chain's methods under its own identities.
static_assert(!std::is_base_of_v<IAPAssemblyOperation, IAPClassicAssemblyOperation>);
// Enumerations travel as 32-bit values.
static_assert(sizeof(APDocUnits) == 4 && sizeof(APPressFitType) == 4 && sizeof(APLogicalOperator) == 4);

GUID Guid(const wchar_t* text)
{
    GUID g{};
    EXPECT_EQ(IIDFromString(const_cast<LPOLESTR>(text), &g), S_OK) << text;
    return g;
}

std::wstring Str(BSTR b)
{
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    SysFreeString(b);
    return s;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

template <class T> struct Ptr {
    T* p = nullptr;
    ~Ptr() { if (p) p->Release(); }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// A DLL whose embedded library is checked, with the system kind it must declare. Beside
// this build's own DLL, the other architecture's (named in PLENVORT_PEER_DLLS as
// "arch=path;...") is read too: a 64-bit process reads a 32-bit DLL's library, so the
// 32-bit contract stays checked on hosts that cannot run 32-bit code.
struct BuiltDll {
    std::string label;
    std::wstring path;
    SYSKIND kind;
};

SYSKIND KindOf(const std::string& arch) { return arch == "x86_64" ? SYS_WIN64 : SYS_WIN32; }

std::vector<BuiltDll> BuiltDlls()
{
    std::vector<BuiltDll> dlls{{sizeof(void*) == 8 ? "own_x86_64" : "own_i686", plenvort_test::DllPath(),
                                sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32}};
    const char* peers = std::getenv("PLENVORT_PEER_DLLS");
    std::string list = peers ? peers : "";
    for (std::size_t at = 0; at < list.size();) {
        std::size_t end = list.find(';', at);
        if (end == std::string::npos) end = list.size();
        const std::string entry = list.substr(at, end - at);
        const std::size_t eq = entry.find('=');
        if (eq != std::string::npos) {
            const std::string arch = entry.substr(0, eq), path = entry.substr(eq + 1);
            dlls.push_back({"peer_" + arch, std::wstring(path.begin(), path.end()), KindOf(arch)});
        }
        at = end + 1;
    }
    return dlls;
}

class TypeLib : public ::testing::TestWithParam<BuiltDll> {
protected:
    static inline ITypeLib* lib = nullptr;
    static inline std::wstring loaded;
    static inline std::map<std::wstring, UINT> index;

    void SetUp() override
    {
        const BuiltDll& dll = GetParam();
        if (GetFileAttributesW(dll.path.c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << dll.label << " was not built";
        if (loaded == dll.path) return;
        TearDownTestSuite();
        ASSERT_EQ(LoadTypeLibEx(dll.path.c_str(), REGKIND_NONE, &lib), S_OK);
        loaded = dll.path;
        for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
            BSTR name = nullptr;
            lib->GetDocumentation(i, &name, nullptr, nullptr, nullptr);
            index[Str(name)] = i;
        }
    }
    static void TearDownTestSuite()
    {
        if (lib) lib->Release();
        lib = nullptr;
        loaded.clear();
        index.clear();
    }
    static ITypeInfo* Info(const std::wstring& name)
    {
        auto it = index.find(name);
        ITypeInfo* ti = nullptr;
        if (it != index.end()) lib->GetTypeInfo(it->second, &ti);
        return ti;
    }
    static std::wstring Name(ITypeInfo* ti, MEMBERID id = MEMBERID_NIL)
    {
        BSTR s = nullptr;
        ti->GetDocumentation(id, &s, nullptr, nullptr, nullptr);
        return Str(s);
    }
    static std::wstring HelpString(ITypeInfo* ti)
    {
        BSTR s = nullptr;
        ti->GetDocumentation(MEMBERID_NIL, nullptr, &s, nullptr, nullptr);
        return Str(s);
    }
    static std::wstring BaseName(ITypeInfo* ti)
    {
        HREFTYPE ref;
        Ptr<ITypeInfo> base;
        if (FAILED(ti->GetRefTypeOfImplType(0, &ref)) || FAILED(ti->GetRefTypeInfo(ref, &base))) return L"";
        return Name(base.p);
    }
    // Methods of the interface itself plus those of its bases, IUnknown's three included.
    static int SlotsBefore(ITypeInfo* ti)
    {
        HREFTYPE ref;
        Ptr<ITypeInfo> base;
        if (FAILED(ti->GetRefTypeOfImplType(0, &ref)) || FAILED(ti->GetRefTypeInfo(ref, &base))) return 0;
        TYPEATTR* ta;
        base->GetTypeAttr(&ta);
        int n = ta->cFuncs;
        base->ReleaseTypeAttr(ta);
        return n + SlotsBefore(base.p);
    }
};

struct Itf {
    const wchar_t* name;
    const wchar_t* iid;
    const wchar_t* base;
    int methods;
    const IID* header;
};
#define ITF(n, iid, base, count) Itf{L"" #n, L"{" iid "}", L"" #base, count, &IID_##n}

const Itf kPublic[] = {
    ITF(IAPElement, "0A6ABCEE-F8EA-11D2-B25C-0060B0A4BC1C", IUnknown, 25),
    ITF(IAPElementSink, "B070408C-71FD-11D3-B278-0060B0A4BC1C", IUnknown, 1),
    ITF(IAPNode, "5D73A3C3-F8E9-11D2-B25C-0060B0A4BC1C", IUnknown, 14),
    ITF(IAPTolLibNode, "DCB63E94-B0F2-11D5-8899-005004225507", IUnknown, 0),
    ITF(IAPGroupNode, "92CC4791-2528-4504-9837-D298E1084664", IUnknown, 0),
    ITF(IAPFeatureGroupNode, "6C0A6EDF-35F7-4C2C-9A09-313B80A4C6BC", IUnknown, 0),
    ITF(IAPSubFeatureGroupNode, "2A02CB3D-05FD-4086-A62B-8B2BB9908790", IUnknown, 0),
    ITF(IAPDocument, "8866DFAB-0A43-11D3-B264-0060B0A4BC1C", IUnknown, 34),
    ITF(IAPDocument2, "47211791-90BD-11D5-80AF-00105A98A65F", IAPDocument, 9),
    ITF(IAPDocument3, "3ABA5CA0-11D0-11D7-88F5-005004225507", IAPDocument2, 3),
    ITF(IAPDocument4, "A2895E58-1FE0-4D04-8BAA-4577B459BD2A", IAPDocument3, 3),
    ITF(IAPDocument5, "00B4EE2A-8036-4AD7-9D20-34ACD79180E7", IAPDocument4, 6),
    ITF(IAPDocument6, "7351427B-4249-4226-9F02-0ABF1961A0C3", IAPDocument5, 1),
    ITF(IAPDocEventSink, "27B9BEFC-2410-11D3-B26F-0060B0A4BC1C", IUnknown, 1),
    ITF(IAPOperation, "0A6ABCF2-F8EA-11D2-B25C-0060B0A4BC1C", IUnknown, 7),
    ITF(IAPFemAssemblyOperation, "7E5D5B9E-5DFB-44FD-BB38-A1A5D5194DB4", IUnknown, 8),
    ITF(IAPFemAssemblyOperation2, "43758075-2099-4963-887D-56A37663F93A", IAPFemAssemblyOperation, 4),
    ITF(IAPFemAssemblyOperation3, "B7F92594-5F01-43C3-85AC-27FFC14DDC69", IAPFemAssemblyOperation2, 12),
    ITF(IAPFemAssemblyOperation4, "110DF7B6-8B87-48C8-9992-93EF52E407A6", IAPFemAssemblyOperation3, 10),
    ITF(IAPFemAssemblyOperation5, "948D1BDC-95E8-4216-8594-A05CA7A1CD56", IAPFemAssemblyOperation4, 2),
    ITF(IAPCustomOperation, "45153250-3AE5-11D4-974A-00105A0153A2", IUnknown, 24),
    ITF(IAPCustomOperation2, "A3E167C1-6EEC-11D4-8082-00105A98A65F", IAPCustomOperation, 1),
    ITF(IAPCustomOperation3, "DA670420-D299-11D4-9776-00105A0153A2", IAPCustomOperation2, 16),
    ITF(IAPCustomOperation4, "6D807B80-806B-11D5-888E-005004225507", IAPCustomOperation3, 4),
    ITF(IAPSPCMeasurementOp, "9D066622-961F-11D4-857F-0050048323BC", IUnknown, 8),
    ITF(IAPCondition, "199731B0-C0F4-4146-9A7D-7A9310CD7267", IUnknown, 18),
    ITF(IAPFeature, "1AA53CC9-06E7-11D3-B260-0060B0A4BC1C", IUnknown, 30),
    ITF(IAPPointFeature, "E5DA39EA-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 4),
    ITF(IAPPointFeature2, "55972B70-3B4C-11D5-859B-0050048323BC", IAPPointFeature, 16),
    ITF(IAPPointFeature3, "70704856-FFE9-414E-8695-C275E68CF78A", IAPPointFeature2, 1),
    ITF(IAPPointFeature4, "500B1751-4CC3-4544-81D5-32AE1CA50409", IAPPointFeature3, 12),
    ITF(IAPPointFeature5, "8DC77117-EFC1-422E-AB55-E73CB7C7394D", IAPPointFeature4, 2),
    ITF(IAPPatternFeature, "720064AB-1C85-11D5-8592-0050048323BC", IUnknown, 2),
    ITF(IAPTaperedPinFeature, "E774C12A-16AF-4A22-8E2B-702B6AC84E02", IUnknown, 9),
    ITF(IAPTaperedHoleFeature, "3812D98F-E410-4F6C-80C7-D789C014D671", IUnknown, 9),
    ITF(IAPFeaturePair, "E61B808D-0C83-11D3-B265-0060B0A4BC1C", IUnknown, 17),
    ITF(IAPTolerance, "305FA62E-0492-11D3-B260-0060B0A4BC1C", IUnknown, 6),
    ITF(IAPGDTTolerance, "305FA631-0492-11D3-B260-0060B0A4BC1C", IUnknown, 13),
    ITF(IAPGDTTolerance2, "F2397EB0-1FC5-11D5-8593-0050048323BC", IAPGDTTolerance, 6),
    ITF(IAPGDTTolerance3, "DA211545-3216-431D-8663-02832B2F7D54", IAPGDTTolerance2, 4),
    ITF(IAPGDTTolerance4, "C97E6396-3DC8-4406-850C-EDB0C9AF368A", IAPGDTTolerance3, 4),
    ITF(IAPGDTTolerance5, "4B286384-2868-4EE5-87A4-6567B0AB6E19", IAPGDTTolerance4, 7),
    ITF(IAPSizeTolerance, "305FA634-0492-11D3-B260-0060B0A4BC1C", IUnknown, 6),
    ITF(IAPSizeTolerance2, "48871259-BEDC-4117-A77D-1F6A41424989", IAPSizeTolerance, 2),
    ITF(IAPDRF, "86DE0998-0A31-11D3-B264-0060B0A4BC1C", IUnknown, 12),
    ITF(IAPDatum, "86DE0995-0A31-11D3-B264-0060B0A4BC1C", IUnknown, 5),
    ITF(IAPDatum2, "C60D5791-4311-11D5-80AA-00105A98A65F", IAPDatum, 2),
    ITF(IAPDatum3, "54CF41EE-2D42-11D6-919C-00E0293814ED", IAPDatum2, 7),
    ITF(IAPDatum4, "96EECB06-C3C6-49AC-B001-10DE52189B06", IAPDatum3, 3),
    ITF(IAPProperty, "B1D6A448-A6A5-11D3-B287-0060B0A4BC1C", IUnknown, 10),
    ITF(IAPPropertyKey, "A846CDB8-A685-11D3-B287-0060B0A4BC1C", IUnknown, 3),
    ITF(IAPStringProperty, "A846CDB1-A685-11D3-B287-0060B0A4BC1C", IUnknown, 3),
    ITF(IAPIntProperty, "ABC1E8F5-ABFE-11D3-B288-0060B0A4BC1C", IUnknown, 2),
    ITF(IAPDoubleProperty, "99C135C7-BCA3-11D3-B28A-0060B0A4BC1C", IUnknown, 2),
    ITF(IAPElemPtrProperty, "99C135CA-BCA3-11D3-B28A-0060B0A4BC1C", IUnknown, 2),
    ITF(IAPPointerList, "EBA09ACB-28C3-11D3-B26F-0060B0A4BC1C", IUnknown, 5),
    ITF(IAPPointerList2, "2B92FD40-178C-40F1-82B3-4DB6F953184A", IAPPointerList, 1),
};

// Outside declarations: identity and base are ours to keep, the methods are not.
const Itf kOutside[] = {
    ITF(ILoadee, "630BD893-B382-11D1-8194-0000C0BF89DE", IUnknown, -1),
    ITF(IOutlineData2, "DD7BDDD7-C1D9-4392-AEC5-59AA8B8E2268", IUnknown, -1),
    ITF(IORVDataMoniker, "55AF79D1-14B3-11D5-A8C3-0008C7A03194", IMoniker, -1),
    ITF(IMoniker, "0000000F-0000-0000-C000-000000000046", IPersistStream, 15),
    ITF(IPersistStream, "00000109-0000-0000-C000-000000000046", IPersist, 4),
    ITF(IPersist, "0000010C-0000-0000-C000-000000000046", IUnknown, 1),
    ITF(IStream, "0000000C-0000-0000-C000-000000000046", ISequentialStream, 9),
    ITF(ISequentialStream, "0C733A30-2A1C-11CE-ADE5-00AA0044773D", IUnknown, 2),
    ITF(IBindCtx, "0000000E-0000-0000-C000-000000000046", IUnknown, 10),
    ITF(IRunningObjectTable, "00000010-0000-0000-C000-000000000046", IUnknown, 7),
    ITF(IEnumMoniker, "00000102-0000-0000-C000-000000000046", IUnknown, 4),
    ITF(IEnumString, "00000101-0000-0000-C000-000000000046", IUnknown, 4),
    ITF(IStreamServer, "0D4F4BB0-4FEC-11D1-88A3-006097D423FB", IUnknown, -1),
    ITF(ITqDataAccessManager, "23E1B3FF-3B22-11D5-A8CF-0008C7A03194", IUnknown, -1),
    ITF(IBindStatusCallback, "79EAC9C1-BAF9-11CE-8C82-00AA004BA90B", IUnknown, 8),
    ITF(IBinding, "79EAC9C0-BAF9-11CE-8C82-00AA004BA90B", IUnknown, 6),
};

struct CoClass {
    const wchar_t* name;
    const wchar_t* clsid;
    const CLSID* header;
    const wchar_t* defaultItf;
    int listed;
};
#define CO(n, clsid, def, listed) CoClass{L"" #n, L"{" clsid "}", &CLSID_##n, L"" #def, listed}

const CoClass kCoClasses[] = {
    CO(APPartNode, "5D73A3C8-F8E9-11D2-B25C-0060B0A4BC1C", IUnknown, 1),
    CO(APAssemblyNode, "5D73A3CB-F8E9-11D2-B25C-0060B0A4BC1C", IUnknown, 1),
    CO(APAssemblyOperation, "5D73A3CE-F8E9-11D2-B25C-0060B0A4BC1C", IUnknown, 1),
    CO(APClassicAssemblyOperation, "10496A26-EF36-4D70-9BCF-7FE25E074676", IUnknown, 1),
    CO(APKinematicAssemblyOperation, "C954DEE1-C3D4-48D4-A2B9-DC72F6095469", IUnknown, 1),
    CO(APFemAssemblyOperation, "358D9426-EC10-4358-9F9F-021F771CFFAA", IUnknown, 5),
    CO(APMeasurementOperation, "5D73A3D1-F8E9-11D2-B25C-0060B0A4BC1C", IUnknown, 1),
    CO(APFixtureNode, "5D73A3D4-F8E9-11D2-B25C-0060B0A4BC1C", IUnknown, 1),
    CO(APGDTTolerance, "305FA632-0492-11D3-B260-0060B0A4BC1C", IUnknown, 5),
    CO(APSizeTolerance, "305FA635-0492-11D3-B260-0060B0A4BC1C", IUnknown, 2),
    CO(APDatum, "86DE0996-0A31-11D3-B264-0060B0A4BC1C", IUnknown, 4),
    CO(APDRF, "86DE0999-0A31-11D3-B264-0060B0A4BC1C", IUnknown, 1),
    CO(APDocument, "8866DFAC-0A43-11D3-B264-0060B0A4BC1C", IAPDocument, 6),
    CO(APFeaturePair, "E61B808E-0C83-11D3-B265-0060B0A4BC1C", IUnknown, 1),
    CO(APPinFeature, "E5DA39DC-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 1),
    CO(APHoleFeature, "E5DA39DF-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 1),
    CO(APSlotFeature, "E5DA39E2-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 1),
    CO(APTabFeature, "E5DA39E5-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 1),
    CO(APPlaneFeature, "E5DA39E8-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 1),
    CO(APPointFeature, "E5DA39EB-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 5),
    CO(APSurfaceFeature, "E5DA39EE-2040-11D3-B26F-0060B0A4BC1C", IUnknown, 1),
    CO(APPointerList, "EBA09ACC-28C3-11D3-B26F-0060B0A4BC1C", IAPPointerList, 2),
    CO(APNodeInstance, "FE77A0AC-03CA-11D3-B25F-0060B0A4BC1C", IUnknown, 1),
    CO(APGroup, "F618587B-96E1-11D3-B283-0060B0A4BC1C", IUnknown, 1),
    CO(APStringProperty, "A846CDB2-A685-11D3-B287-0060B0A4BC1C", IAPStringProperty, 1),
    CO(APPropertyKey, "A846CDB9-A685-11D3-B287-0060B0A4BC1C", IAPPropertyKey, 1),
    CO(APIntProperty, "ABC1E8F6-ABFE-11D3-B288-0060B0A4BC1C", IAPIntProperty, 1),
    CO(APDoubleProperty, "99C135C8-BCA3-11D3-B28A-0060B0A4BC1C", IAPDoubleProperty, 1),
    CO(APElemPtrProperty, "99C135CB-BCA3-11D3-B28A-0060B0A4BC1C", IAPElemPtrProperty, 1),
    CO(APCustomOperation, "45153251-3AE5-11D4-974A-00105A0153A2", IAPCustomOperation, 4),
    CO(APSPCMeasurementOp, "9D066623-961F-11D4-857F-0050048323BC", IAPSPCMeasurementOp, 1),
    CO(APPatternFeature, "720064AC-1C85-11D5-8592-0050048323BC", IAPPatternFeature, 1),
    CO(APTolLibNode, "DCB63E95-B0F2-11D5-8899-005004225507", IAPTolLibNode, 1),
    CO(APTaperedPinFeature, "CE63BAB8-C606-4777-BBC8-973449691B32", IAPTaperedPinFeature, 1),
    CO(APTaperedHoleFeature, "61246CFA-BAA3-4C6B-B769-EEDD4567BC14", IAPTaperedHoleFeature, 1),
    CO(APGroupNode, "8A457E96-B427-4D89-B0A1-28CD67226DAA", IAPGroupNode, 1),
    CO(APFeatureGroupNode, "F6C62800-5704-43C2-B4F2-372E72D31706", IAPFeatureGroupNode, 1),
    CO(APSubFeatureGroupNode, "B2D1C9F9-AC17-4E7B-8023-019EAB675335", IAPSubFeatureGroupNode, 1),
    CO(APCondition, "9665BF13-B4A0-4B39-B53D-C2A983A977B5", IAPCondition, 1),
};

TEST_P(TypeLib, LibraryAttributes)
{
    TLIBATTR* la = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&la), S_OK);
    EXPECT_TRUE(IsEqualGUID(la->guid, Guid(L"{5D73A3B6-F8E9-11D2-B25C-0060B0A4BC1C}")));
    EXPECT_TRUE(IsEqualGUID(la->guid, LIBID_PLENVORTLib));
    EXPECT_EQ(la->wMajorVerNum, 1);
    EXPECT_EQ(la->wMinorVerNum, 0);
    EXPECT_EQ(la->lcid, 1033u);
    EXPECT_EQ(la->syskind, GetParam().kind);
    EXPECT_EQ(la->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN), 0);
    lib->ReleaseTLibAttr(la);

    BSTR name = nullptr, doc = nullptr, file = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, &doc, nullptr, &file), S_OK);
    EXPECT_EQ(Str(name), L"PLENVORTLib");
    EXPECT_EQ(Str(doc), L"Plenvort 1.0 Type Library");
    EXPECT_EQ(Str(file), L"");
}

TEST_P(TypeLib, CountsOwnTypes)
{
    int coclasses = 0, own = 0, enums = 0;
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        TYPEKIND kind;
        lib->GetTypeInfoType(i, &kind);
        BSTR s = nullptr;
        lib->GetDocumentation(i, &s, nullptr, nullptr, nullptr);
        std::wstring name = Str(s);
        if (kind == TKIND_COCLASS) ++coclasses;
        if (kind == TKIND_INTERFACE && name.rfind(L"IAP", 0) == 0) ++own;
        if (kind == TKIND_ENUM && name.rfind(L"AP", 0) == 0) ++enums;
    }
    EXPECT_EQ(coclasses, 39);
    EXPECT_EQ(own, 57);
    EXPECT_EQ(enums, 18);
    for (const wchar_t* record : {L"_LARGE_INTEGER", L"_ULARGE_INTEGER", L"tagSTATSTG", L"_FILETIME", L"tagBIND_OPTS2",
                                  L"_COSERVERINFO", L"_COAUTHINFO", L"_COAUTHIDENTITY", L"_tagRemBINDINFO",
                                  L"_REMSECURITY_ATTRIBUTES", L"tagRemSTGMEDIUM", L"tagRemFORMATETC"})
        EXPECT_TRUE(index.count(record)) << Narrow(record);
}

TEST_P(TypeLib, PrivateVersionsStayOut)
{
    for (const IID* iid : {&IID_IAPElement2, &IID_IAPElement16, &IID_IAPNode3, &IID_IAPGeometryNode, &IID_IAPPartNode,
                           &IID_IAPAssemblyNode, &IID_IAPOperation2, &IID_IAPAssemblyOperation, &IID_IAPClassicAssemblyOperation,
                           &IID_IAPKinematicAssemblyOperation, &IID_IAPMeasurementOperation, &IID_IAPFeature8, &IID_IAPPinFeature,
                           &IID_IAPPlaneFeature, &IID_IAPSurfaceFeature1, &IID_IAPFeaturePair3, &IID_IAPDRF2, &IID_IAPGroup,
                           &IID_IAPGroupNode2, &IID_IAPCustomOperation5, &IID_IAPFixtureNode, &IID_IAPNodeInstance}) {
        Ptr<ITypeInfo> ti;
        EXPECT_EQ(lib->GetTypeInfoOfGuid(*iid, &ti), TYPE_E_ELEMENTNOTFOUND);
    }
}

void CheckInterface(ITypeLib* lib, const Itf& row, bool own)
{
    SCOPED_TRACE(Narrow(row.name));
    const GUID iid = Guid(row.iid);
    EXPECT_TRUE(IsEqualGUID(iid, *row.header));
    Ptr<ITypeInfo> ti;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(iid, &ti), S_OK);
    TYPEATTR* ta;
    ASSERT_EQ(ti->GetTypeAttr(&ta), S_OK);
    EXPECT_EQ(ta->typekind, TKIND_INTERFACE);
    if (row.methods >= 0) {
        EXPECT_EQ(ta->cFuncs, row.methods);
    }
    EXPECT_EQ(ta->cImplTypes, 1);
    if (own) {
        EXPECT_EQ(ta->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FHIDDEN |
                                    TYPEFLAG_FRESTRICTED), 0);
    }
    ti->ReleaseTypeAttr(ta);
    BSTR name = nullptr, doc = nullptr;
    ti->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr);
    EXPECT_EQ(Str(name), row.name);
    std::wstring help = Str(doc);
    if (own) {
        EXPECT_EQ(help, std::wstring(row.name) + L" Interface");
    }
    HREFTYPE ref;
    Ptr<ITypeInfo> base;
    ASSERT_EQ(ti->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(ti->GetRefTypeInfo(ref, &base), S_OK);
    BSTR baseName = nullptr;
    base->GetDocumentation(MEMBERID_NIL, &baseName, nullptr, nullptr, nullptr);
    EXPECT_EQ(Str(baseName), row.base);
}

TEST_P(TypeLib, PublicInterfacesMatchTheSchema)
{
    for (const Itf& row : kPublic) CheckInterface(lib, row, true);
}

TEST_P(TypeLib, OutsideInterfacesKeepTheirIdentity)
{
    for (const Itf& row : kOutside) CheckInterface(lib, row, false);
}

TEST_P(TypeLib, CoClassesAreCreatableWithTheirCLSIDs)
{
    for (const CoClass& row : kCoClasses) {
        SCOPED_TRACE(Narrow(row.name));
        const GUID clsid = Guid(row.clsid);
        EXPECT_TRUE(IsEqualGUID(clsid, *row.header));
        Ptr<ITypeInfo> ti;
        ASSERT_EQ(lib->GetTypeInfoOfGuid(clsid, &ti), S_OK);
        TYPEATTR* ta;
        ASSERT_EQ(ti->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, TKIND_COCLASS);
        EXPECT_EQ(ta->wTypeFlags, TYPEFLAG_FCANCREATE);
        EXPECT_EQ(ta->cImplTypes, row.listed);
        ti->ReleaseTypeAttr(ta);
        EXPECT_EQ(Name(ti.p), row.name);
        EXPECT_EQ(HelpString(ti.p), std::wstring(row.name) + L" Class");
        INT flags = 0;
        ASSERT_EQ(ti->GetImplTypeFlags(0, &flags), S_OK);
        EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
        EXPECT_EQ(BaseName(ti.p), row.defaultItf);
    }
}

// Slot order is the binary contract: sample each family at its edges and seams.
struct Slot {
    const wchar_t* itf;
    int index;  // among the interface's own methods
    const wchar_t* method;
    std::vector<const wchar_t*> params;
};

const Slot kSlots[] = {
    {L"IAPElement", 0, L"Serialize", {L"writeStream"}},
    {L"IAPElement", 20, L"GetClassID", {L"guid"}},
    {L"IAPElement", 24, L"GetNumProperties", {L"num"}},
    {L"IAPNode", 13, L"GetNoteSize", {L"size"}},
    {L"IAPDocument", 8, L"CopyNode", {L"iSource", L"iTarget", L"copyChildren"}},
    {L"IAPDocument", 23, L"CreateProcessElement", {L"id", L"iid", L"pIAPElem"}},
    {L"IAPDocument", 33, L"GetCompoundNameForNode2", {L"iNode", L"name"}},
    {L"IAPDocument3", 0, L"SaveByMoniker", {L"pIORVDAtaMoniker"}},
    {L"IAPDocument5", 4, L"GetTolLibPathWithoutFile", {L"PathWithoutFile", L"length"}},
    {L"IAPFemAssemblyOperation", 7, L"GetFemAsmOpNominalTransform", {L"dTform"}},
    {L"IAPFemAssemblyOperation2", 2, L"GetBcNodes", {L"pIAPList"}},
    {L"IAPFemAssemblyOperation3", 0, L"SetMoveType", {L"iMoveType"}},
    {L"IAPFemAssemblyOperation5", 1, L"RemoveBoundaryCondition", {L"pBCElement"}},
    {L"IAPCustomOperation", 23, L"GetIsRelativeOfCustom", {L"isRelative"}},
    {L"IAPCustomOperation3", 10, L"SetActiveFlag", {L"flag"}},
    {L"IAPCondition", 1, L"GetMeasurement1Element", {L"pMeas1Element", L"MeasType1"}},
    {L"IAPCondition", 17, L"GetMeas2Set", {L"Meas2Set"}},
    {L"IAPFeature", 8, L"SetWmBrep", {L"wmBrep"}},
    {L"IAPFeature", 29, L"GetLocOrtDistributionValues", {L"dSkew", L"dKurt"}},
    {L"IAPPointFeature2", 3, L"SetPtLocOrtMinorAxisDistributionValues",
     {L"mean", L"std", L"dSkew", L"dKurt", L"pdVals", L"dMajorAxis", L"dMinorAxis"}},
    {L"IAPPointFeature4", 11, L"GetPointLocOrtDistributionValues2",
     {L"mean", L"std", L"dSkew", L"dKurt", L"isSpecifyPearson", L"numSamples", L"ppdVals"}},
    {L"IAPFeaturePair", 12, L"SetFloat", {L"type"}},
    {L"IAPGDTTolerance", 4, L"GetZoneModifier", {L"mod"}},
    {L"IAPGDTTolerance5", 2, L"AppendReferenceFeature", {L"pFeatureBeingToleranced", L"pRefFeature"}},
    {L"IAPDRF", 9, L"GetNumPrimaryDatums", {L"length"}},
    {L"IAPDatum4", 0, L"DrawDatum",
     {L"pCwnd", L"pHdc", L"iFontSize", L"iCurFeatIndex", L"bDatumTarget", L"width", L"heights", L"p_DIB"}},
    {L"IAPDatum4", 2, L"DrawAnnotationToLoadee",
     {L"pLoadee", L"pIOutlineData2", L"fOriginX", L"fOriginY", L"width", L"height", L"iFontSize", L"iCurFeatIndex",
      L"bDatumTarget"}},
    {L"IAPProperty", 2, L"SetPersistanceFlag", {L"trueFalse"}},
    {L"IAPProperty", 7, L"read", {L"pStream"}},
    {L"IAPPointerList", 1, L"GetElement", {L"index", L"iid", L"elem"}},
    {L"IAPPointerList2", 0, L"FindElement", {L"elem", L"pFound"}},
};

TEST_P(TypeLib, MethodsStandInTheirSlots)
{
    for (const Slot& s : kSlots) {
        SCOPED_TRACE(Narrow(s.itf) + "::" + Narrow(s.method));
        Ptr<ITypeInfo> ti;
        ti.p = Info(s.itf);
        ASSERT_TRUE(ti);
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(ti->GetFuncDesc(s.index, &fd), S_OK);
        EXPECT_EQ(fd->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(fd->callconv, CC_STDCALL);
        EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT);
        // The platform reports vtable offsets in the reading process's pointer size, whichever
        // system kind the library was built for.
        EXPECT_EQ(fd->oVft, (SlotsBefore(ti.p) + s.index) * static_cast<int>(sizeof(void*)));
        BSTR names[16] = {};
        UINT count = 0;
        ASSERT_EQ(ti->GetNames(fd->memid, names, 16, &count), S_OK);
        ASSERT_EQ(count, s.params.size() + 1);
        EXPECT_EQ(fd->cParams, static_cast<SHORT>(s.params.size()));
        // Names share one case-insensitive table in a type library.
        EXPECT_EQ(_wcsicmp(Str(names[0]).c_str(), s.method), 0);
        for (UINT i = 1; i < count; ++i)
            EXPECT_EQ(_wcsicmp(Str(names[i]).c_str(), s.params[i - 1]), 0) << i;
        ti->ReleaseFuncDesc(fd);
    }
}

struct EnumValue {
    const wchar_t* type;
    const wchar_t* member;
    long value;
    long header;
};
#define EV(t, m, v) EnumValue{L"" #t, L"" #m, v, m}

const EnumValue kEnums[] = {
    EV(APFemType, AP_FEM_FLEX_TO_RIGID, 0), EV(APFemType, AP_FEM_SPRINGBACK, 3), EV(APFemType, AP_FEM_GRAVITY, 5),
    EV(APTolCategoryType, AP_TOL_CAT_LOC, 1), EV(APTolCategoryType, AP_TOL_CAT_UNKNOWN, 5),
    EV(APDistribType, AP_DISTRIB_TYPE_NORMAL, 1), EV(APDistribType, AP_DISTRIB_TYPE_PEARSON, 4),
    EV(APTolZoneShapeType, AP_TOL_UNSP, 1), EV(APTolZoneShapeType, AP_TOL_UNKNOWN, 6),
    EV(APModifierType, AP_MODIFIER_MMC, 1), EV(APModifierType, AP_MODIFIER_UNKNOWN, 5), EV(APModifierType, AP_MODIFIER_NMC, 6),
    EV(APTolCalloutType, AP_CALLOUT_ANGULARITY, 1), EV(APTolCalloutType, AP_CALLOUT_SYMMMETRY, 14),
    EV(APTolCalloutType, AP_CALLOUT_UNKNOWN, 15), EV(APTolCalloutType, AP_CALLOUT_DIRECTED_DIM, 18),
    EV(APCompositeType, AP_SINGLE_SEGMENT, 1), EV(APCompositeType, AP_COMPOSITE, 3),
    EV(APSizeType, AP_SIZE_BILATERAL, 1), EV(APSizeType, AP_SIZE_UNKNOWN, 5),
    EV(APThicknessTolType, AP_THICKNESS_FEAT_WIDE, 1), EV(APThicknessTolType, AP_THICKNESS_UNKNOWN, 3),
    EV(APDocUnits, AP_UNIT_UNKNOWN, 0), EV(APDocUnits, AP_UNIT_INCHES, 4), EV(APDocUnits, AP_UNIT_MILES, 11),
    EV(APDocUnits, AP_UNIT_COUNT, 12),
    EV(APCustomType, AP_CUSTOM_MEAS, 1), EV(APCustomType, AP_CUSTOM_UNKNOWN, 3),
    EV(APSPCType, AP_SPC_COORD, 1), EV(APSPCType, AP_SPC_VALUE, 2),
    EV(APFeatureType, AP_FEATURE_PIN, 1), EV(APFeatureType, AP_FEATURE_UNKNOWN, 7), EV(APFeatureType, AP_FEATURE_TAPERED_HOLE, 11),
    EV(APTaperParameterSel, AP_DIAMETER2_SEL, 1), EV(APTaperParameterSel, AP_SEL_UNKNOWN, 4),
    EV(APPressFitType, AP_PRESSFIT_RANDOM, 1), EV(APPressFitType, AP_PRESSFIT_BIAS, 11), EV(APPressFitType, AP_PRESSFIT_UNKNOWN, 12),
    EV(APMeasType, AP_TYPE_CUSTOM, 0), EV(APMeasType, AP_TYPE_REGULAR, 1), EV(APMeasType, AP_TYPE_UNKNOWN, 2),
    EV(APComparisonOperator, EQUALTO, 0), EV(APComparisonOperator, GREATERTHAN, 2), EV(APComparisonOperator, NOTEQUALTO, 5),
    EV(APLogicalOperator, AND, 0), EV(APLogicalOperator, OR, 1), EV(APLogicalOperator, NEITHER, 2),
};

TEST_P(TypeLib, EnumerationValues)
{
    const std::map<std::wstring, int> sizes = {
        {L"APFemType", 6}, {L"APTolCategoryType", 5}, {L"APDistribType", 5}, {L"APTolZoneShapeType", 6},
        {L"APModifierType", 6}, {L"APTolCalloutType", 18}, {L"APCompositeType", 3}, {L"APSizeType", 5},
        {L"APThicknessTolType", 3}, {L"APDocUnits", 13}, {L"APCustomType", 3}, {L"APSPCType", 2},
        {L"APFeatureType", 11}, {L"APTaperParameterSel", 4}, {L"APPressFitType", 12}, {L"APMeasType", 3},
        {L"APComparisonOperator", 6}, {L"APLogicalOperator", 3}, {L"ORVDocSourceType", 11}};
    for (const auto& [type, members] : sizes) {
        Ptr<ITypeInfo> ti;
        ti.p = Info(type);
        ASSERT_TRUE(ti) << Narrow(type);
        TYPEATTR* ta;
        ti->GetTypeAttr(&ta);
        EXPECT_EQ(ta->typekind, TKIND_ENUM) << Narrow(type);
        EXPECT_EQ(ta->cVars, members) << Narrow(type);
        EXPECT_EQ(ta->cbSizeInstance, 4u) << Narrow(type);
        ti->ReleaseTypeAttr(ta);
    }
    for (const EnumValue& e : kEnums) {
        SCOPED_TRACE(Narrow(e.member));
        EXPECT_EQ(e.header, e.value);
        Ptr<ITypeInfo> ti;
        ti.p = Info(e.type);
        ASSERT_TRUE(ti);
        TYPEATTR* ta;
        ti->GetTypeAttr(&ta);
        bool found = false;
        for (WORD i = 0; i < ta->cVars && !found; ++i) {
            VARDESC* vd;
            ti->GetVarDesc(i, &vd);
            if (Name(ti.p, vd->memid) == e.member) {
                found = true;
                EXPECT_EQ(vd->varkind, VAR_CONST);
                EXPECT_EQ(vd->lpvarValue->lVal, e.value);
            }
            ti->ReleaseVarDesc(vd);
        }
        ti->ReleaseTypeAttr(ta);
        EXPECT_TRUE(found);
    }
}

TEST_P(TypeLib, FindNameResolvesPublicNamesOnly)
{
    auto find = [&](const wchar_t* name, std::wstring* owner) {
        wchar_t buf[128];
        wcscpy(buf, name);
        ITypeInfo* ti[4] = {};
        MEMBERID ids[4];
        USHORT found = 4;
        EXPECT_EQ(lib->FindName(buf, 0, ti, ids, &found), S_OK) << Narrow(name);
        if (found && owner) *owner = Name(ti[0]);
        for (USHORT i = 0; i < found; ++i) ti[i]->Release();
        return found;
    };
    std::wstring owner;
    EXPECT_EQ(find(L"AP_CALLOUT_SYMMMETRY", &owner), 1);
    EXPECT_EQ(owner, L"APTolCalloutType");
    EXPECT_EQ(find(L"AP_CALLOUT_SYMMETRY", nullptr), 0);
    EXPECT_EQ(find(L"AP_PRESSFIT_BIAS", &owner), 1);
    EXPECT_EQ(owner, L"APPressFitType");
    EXPECT_EQ(find(L"SetPersistanceFlag", &owner), 1);
    EXPECT_EQ(owner, L"IAPProperty");
    EXPECT_EQ(find(L"GetFemAsmOpNominalTransform", &owner), 1);
    EXPECT_EQ(owner, L"IAPFemAssemblyOperation");
    EXPECT_GE(find(L"IAPDocument6", nullptr), 1);
    EXPECT_GE(find(L"APSubFeatureGroupNode", nullptr), 1);
    // Private versions and their methods are not in the library.
    EXPECT_EQ(find(L"IAPElement16", nullptr), 0);
    EXPECT_EQ(find(L"SetIntSeptupleSetting68", nullptr), 0);
    EXPECT_EQ(find(L"GetDRFMatrix3x4", nullptr), 0);
}

// Interface pointers and B-rep addresses that travel as integers: 32 bits in the Win32
// library, as hosts have always compiled against, pointer-sized in the Win64 one.
TEST_P(TypeLib, HandlesArePointerSized)
{
    struct Handle {
        const wchar_t* itf;
        int index;
        int param;
        bool byPointer;
    };
    const Handle handles[] = {
        {L"IAPDocument", 23, 2, true},  // CreateProcessElement
        {L"IAPPointerList", 1, 2, true},  // GetElement
        {L"IAPFeature", 8, 0, false},  // SetWmBrep
        {L"IAPFeature", 9, 0, true},  // GetWmBrep
        {L"IAPDatum4", 0, 0, false},  // DrawDatum
        {L"IAPDatum4", 0, 7, false},
    };
    const VARTYPE expected = GetParam().kind == SYS_WIN64 ? VT_UI8 : VT_UI4;
    for (const Handle& h : handles) {
        SCOPED_TRACE(Narrow(h.itf) + " " + std::to_string(h.index));
        Ptr<ITypeInfo> ti;
        ti.p = Info(h.itf);
        ASSERT_TRUE(ti);
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(ti->GetFuncDesc(h.index, &fd), S_OK);
        ASSERT_GT(fd->cParams, h.param);
        const TYPEDESC& td = fd->lprgelemdescParam[h.param].tdesc;
        if (h.byPointer) {
            ASSERT_EQ(td.vt, VT_PTR);
            EXPECT_EQ(td.lptdesc->vt, expected);
        } else {
            EXPECT_EQ(td.vt, expected);
        }
        ti->ReleaseFuncDesc(fd);
    }
}

INSTANTIATE_TEST_SUITE_P(Built, TypeLib, ::testing::ValuesIn(BuiltDlls()),
                         [](const ::testing::TestParamInfo<BuiltDll>& info) { return info.param.label; });

}  // namespace
