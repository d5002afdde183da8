// Registration: the registrar against the real registry, the registry scripts, the product
// key, per-user redirection, the module's entry points, and an end-to-end run of the
// system's regsvr32 and CoCreateInstance in a separate client.
//
// Everything that writes under HKEY_CLASSES_ROOT in this process first redirects it to a
// scratch key, so that the tests neither see nor disturb a real registration; only the
// end-to-end tests, which run other processes, use the real one (and remove what they wrote).
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "platform/moniker/MkMoniker.h"
#include "Plenvort_h.h"
#include "com/RegistryIds.h"
#include "server/module.h"
#include "document/ElementStream.h"
#include "platform/atl/registrar.h"
#include "platform/orv/ORVRegistry.h"
#include "test_support.h"

namespace {

// The platform files a registered type library under the system kind of the registering DLL.
const std::wstring kTypeLibPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";

const wchar_t kLibId[] = L"{5D73A3B6-F8E9-11D2-B25C-0060B0A4BC1C}";

// ---------------------------------------------------------------------------------------
// Registry helpers

std::wstring Lower(std::wstring s)
{
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A string value (the default value for a null name); nothing when the key or value is missing.
std::optional<std::wstring> StringValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::wstring> result;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
        std::wstring s(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(s.data()), &size) == ERROR_SUCCESS) {
            s.resize(size / sizeof(wchar_t));
            while (!s.empty() && s.back() == L'\0') s.pop_back();
            result = s;
        }
    }
    RegCloseKey(key);
    return result;
}

std::vector<BYTE> RawValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* type)
{
    HKEY key = nullptr;
    std::vector<BYTE> data;
    *type = REG_NONE;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return data;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        if (RegQueryValueExW(key, name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) data.clear();
    }
    RegCloseKey(key);
    return data;
}

DWORD SubkeyCount(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    DWORD n = 0;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return n;
}

void CreateKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
}

std::wstring UniqueName(const wchar_t* stem)
{
    static int counter = 0;
    return std::wstring(stem) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

// A fresh key under HKEY_CURRENT_USER\Software\PlenvortTest, removed with everything below it.
class ScratchKey {
public:
    ScratchKey() : m_path(L"Software\\PlenvortTest\\" + UniqueName(L"scratch"))
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    }
    ~ScratchKey()
    {
        if (m_key) RegCloseKey(m_key);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\PlenvortTest"); // only when empty
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    HKEY key() const { return m_key; }
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_path;
    HKEY m_key = nullptr;
};

// HKEY_CLASSES_ROOT redirected to a scratch key for this process while alive.
class ScratchClassesRoot {
public:
    ScratchClassesRoot() { m_ok = RegOverridePredefKey(HKEY_CLASSES_ROOT, m_scratch.key()) == ERROR_SUCCESS; }
    ~ScratchClassesRoot() { RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); }
    ScratchClassesRoot(const ScratchClassesRoot&) = delete;
    ScratchClassesRoot& operator=(const ScratchClassesRoot&) = delete;
    bool ok() const { return m_ok; }
    const ScratchKey& scratch() const { return m_scratch; }

private:
    ScratchKey m_scratch;
    bool m_ok = false;
};

void SetEnv(const wchar_t* name, const wchar_t* value) { SetEnvironmentVariableW(name, value); }

// ---------------------------------------------------------------------------------------
// The classes and their scripts

struct ClassInfo {
    const wchar_t* name;
    UINT resourceId;
    const wchar_t* clsid;
    bool inObjectMap;
};

// In object-map order, then the three classes without an entry.
const ClassInfo kClasses[] = {
    {L"APPointerList", IDR_APPOINTERLIST, L"{EBA09ACC-28C3-11D3-B26F-0060B0A4BC1C}", true},
    {L"APFixtureNode", IDR_APFIXTURENODE, L"{5D73A3D4-F8E9-11D2-B25C-0060B0A4BC1C}", true},
    {L"APNodeInstance", IDR_APNODEINSTANCE, L"{FE77A0AC-03CA-11D3-B25F-0060B0A4BC1C}", true},
    {L"APMeasurementOperation", IDR_APMEASUREMENTOPERATION, L"{5D73A3D1-F8E9-11D2-B25C-0060B0A4BC1C}", true},
    {L"APAssemblyOperation", IDR_APASSEMBLYOPERATION, L"{5D73A3CE-F8E9-11D2-B25C-0060B0A4BC1C}", true},
    {L"APClassicAssemblyOperation", IDR_APCLASSICASSEMBLYOPERATION, L"{10496A26-EF36-4D70-9BCF-7FE25E074676}", true},
    {L"APKinematicAssemblyOperation", IDR_APKINEMATICASSEMBLYOPERATION, L"{C954DEE1-C3D4-48D4-A2B9-DC72F6095469}", true},
    {L"APFemAssemblyOperation", IDR_APFEMASSEMBLYOPERATION, L"{358D9426-EC10-4358-9F9F-021F771CFFAA}", true},
    {L"APAssemblyNode", IDR_APASSEMBLYNODE, L"{5D73A3CB-F8E9-11D2-B25C-0060B0A4BC1C}", true},
    {L"APPartNode", IDR_APPARTNODE, L"{5D73A3C8-F8E9-11D2-B25C-0060B0A4BC1C}", true},
    {L"APPinFeature", IDR_APPINFEATURE, L"{E5DA39DC-2040-11D3-B26F-0060B0A4BC1C}", true},
    {L"APHoleFeature", IDR_APHOLEFEATURE, L"{E5DA39DF-2040-11D3-B26F-0060B0A4BC1C}", true},
    {L"APSlotFeature", IDR_APSLOTFEATURE, L"{E5DA39E2-2040-11D3-B26F-0060B0A4BC1C}", true},
    {L"APTabFeature", IDR_APTABFEATURE, L"{E5DA39E5-2040-11D3-B26F-0060B0A4BC1C}", true},
    {L"APPlaneFeature", IDR_APPLANEFEATURE, L"{E5DA39E8-2040-11D3-B26F-0060B0A4BC1C}", true},
    {L"APPointFeature", IDR_APPOINTFEATURE, L"{E5DA39EB-2040-11D3-B26F-0060B0A4BC1C}", true},
    {L"APSurfaceFeature", IDR_APSURFACEFEATURE, L"{E5DA39EE-2040-11D3-B26F-0060B0A4BC1C}", true},
    {L"APFeaturePair", IDR_APFEATUREPAIR, L"{E61B808E-0C83-11D3-B265-0060B0A4BC1C}", true},
    {L"APGDTTolerance", IDR_APGDTTOLERANCE, L"{305FA632-0492-11D3-B260-0060B0A4BC1C}", true},
    {L"APSizeTolerance", IDR_APSIZETOLERANCE, L"{305FA635-0492-11D3-B260-0060B0A4BC1C}", true},
    {L"APDocument", IDR_APDOCUMENT, L"{8866DFAC-0A43-11D3-B264-0060B0A4BC1C}", true},
    {L"APDatum", IDR_APDATUM, L"{86DE0996-0A31-11D3-B264-0060B0A4BC1C}", true},
    {L"APDRF", IDR_APDRF, L"{86DE0999-0A31-11D3-B264-0060B0A4BC1C}", true},
    {L"APGroup", IDR_APGROUP, L"{F618587B-96E1-11D3-B283-0060B0A4BC1C}", true},
    {L"APStringProperty", IDR_APSTRINGPROPERTY, L"{A846CDB2-A685-11D3-B287-0060B0A4BC1C}", true},
    {L"APPropertyKey", IDR_APPROPERTYKEY, L"{A846CDB9-A685-11D3-B287-0060B0A4BC1C}", true},
    {L"APIntProperty", IDR_APINTPROPERTY, L"{ABC1E8F6-ABFE-11D3-B288-0060B0A4BC1C}", true},
    {L"APDoubleProperty", IDR_APDOUBLEPROPERTY, L"{99C135C8-BCA3-11D3-B28A-0060B0A4BC1C}", true},
    {L"APElemPtrProperty", IDR_APELEMPTRPROPERTY, L"{99C135CB-BCA3-11D3-B28A-0060B0A4BC1C}", true},
    {L"APCustomOperation", IDR_APCUSTOMOPERATION, L"{45153251-3AE5-11D4-974A-00105A0153A2}", true},
    {L"APSPCMeasurementOp", IDR_APSPCMEASUREMENTOP, L"{9D066623-961F-11D4-857F-0050048323BC}", true},
    {L"APPatternFeature", IDR_APPATTERNFEATURE, L"{720064AC-1C85-11D5-8592-0050048323BC}", true},
    {L"APTolLibNode", IDR_APTOLLIBNODE, L"{DCB63E95-B0F2-11D5-8899-005004225507}", true},
    {L"APTaperedPinFeature", IDR_APTAPEREDPINFEATURE, L"{CE63BAB8-C606-4777-BBC8-973449691B32}", true},
    {L"APTaperedHoleFeature", IDR_APTAPEREDHOLEFEATURE, L"{61246CFA-BAA3-4C6B-B769-EEDD4567BC14}", true},
    {L"APGroupNode", IDR_APGROUPNODE, L"{8A457E96-B427-4D89-B0A1-28CD67226DAA}", true},
    {L"APFeatureGroupNode", IDR_APFEATUREGROUPNODE, L"{F6C62800-5704-43C2-B4F2-372E72D31706}", true},
    {L"APSubFeatureGroupNode", IDR_APSUBFEATUREGROUPNODE, L"{B2D1C9F9-AC17-4E7B-8023-019EAB675335}", true},
    {L"APCondition", IDR_APCONDITION, L"{9665BF13-B4A0-4B39-B53D-C2A983A977B5}", true},
    {L"APElement", IDR_APELEMENT, L"{5D73A3C4-F8E9-11D2-B25C-0060B0A4BC1C}", false},
    {L"APTolerance", IDR_APTOLERANCE, nullptr, false},
    {L"APFeature", IDR_APFEATURE, nullptr, false},
};

bool HasCurVer(const std::wstring& name)
{
    return name == L"APSPCMeasurementOp" || name == L"APPatternFeature" || name == L"APTolLibNode" ||
           name == L"APCustomOperation";
}
bool PlainProductKey(const std::wstring& name)
{
    return name == L"APTaperedPinFeature" || name == L"APTaperedHoleFeature" || name == L"APGroupNode" ||
           name == L"APCondition";
}
bool LowerCaseClsid(const std::wstring& name)
{
    return name == L"APClassicAssemblyOperation" || name == L"APKinematicAssemblyOperation" ||
           name == L"APFeatureGroupNode" || name == L"APSubFeatureGroupNode";
}

CLSID ToClsid(const wchar_t* text)
{
    CLSID id{};
    CLSIDFromString(text, &id);
    return id;
}

// Checks what one class's script wrote under HKEY_CLASSES_ROOT (as this process sees it).
void ExpectClassRegistered(HKEY classesRoot, const std::wstring& productKey, const ClassInfo& c,
                           const std::wstring& modulePath)
{
    SCOPED_TRACE(c.name);
    const std::wstring name = c.name;
    const std::wstring text = name + L" Class";
    const std::wstring progId = L"Plenvort." + name;
    for (const std::wstring& id : {progId + L".1", progId}) {
        EXPECT_EQ(StringValue(classesRoot, id).value_or(L"<none>"), text) << id;
        EXPECT_EQ(Lower(StringValue(classesRoot, id + L"\\CLSID").value_or(L"<none>")), Lower(c.clsid)) << id;
    }
    if (HasCurVer(name)) {
        EXPECT_EQ(StringValue(classesRoot, progId + L"\\CurVer").value_or(L"<none>"), progId + L".1");
    } else {
        EXPECT_FALSE(KeyExists(classesRoot, progId + L"\\CurVer"));
    }

    const std::wstring key = productKey + L"\\" + c.clsid;
    EXPECT_EQ(StringValue(classesRoot, key).value_or(L"<none>"), text);
    EXPECT_EQ(StringValue(classesRoot, key + L"\\ProgID").value_or(L"<none>"), progId + L".1");
    EXPECT_EQ(StringValue(classesRoot, key + L"\\VersionIndependentProgID").value_or(L"<none>"), progId);
    EXPECT_EQ(Lower(StringValue(classesRoot, key + L"\\InprocServer32").value_or(L"<none>")), Lower(modulePath));
    auto threading = StringValue(classesRoot, key + L"\\InprocServer32", L"ThreadingModel");
    if (name == L"APCustomOperation") {
        EXPECT_FALSE(threading.has_value());
    } else {
        EXPECT_EQ(threading.value_or(L"<none>"), L"Apartment");
    }
    if (HasCurVer(name)) {
        EXPECT_EQ(StringValue(classesRoot, key + L"\\TypeLib").value_or(L"<none>"), kLibId);
    } else {
        EXPECT_FALSE(KeyExists(classesRoot, key + L"\\TypeLib"));
    }
}

void ExpectClassGone(HKEY classesRoot, const std::wstring& productKey, const ClassInfo& c)
{
    SCOPED_TRACE(c.name);
    const std::wstring progId = std::wstring(L"Plenvort.") + c.name;
    EXPECT_FALSE(KeyExists(classesRoot, progId + L".1"));
    EXPECT_FALSE(KeyExists(classesRoot, progId));
    if (c.clsid) {
        EXPECT_FALSE(KeyExists(classesRoot, productKey + L"\\" + c.clsid));
    }
}

std::wstring ExeDir() { return plenvort_test::ExeDir(); }

// ---------------------------------------------------------------------------------------
// Registrar

class Registrar : public ::testing::Test {
protected:
    // The scratch key's path as seen from HKEY_CURRENT_USER, and a script root for it.
    std::wstring Path(const std::wstring& sub = L"") const { return scratch.path() + (sub.empty() ? L"" : L"\\" + sub); }
    std::wstring Script(const std::wstring& body) const
    {
        return L"HKCU\n{\n NoRemove '" + scratch.path() + L"'\n {\n" + body + L"\n }\n}\n";
    }
    ScratchKey scratch;
    CRegistrar registrar;
};

TEST_F(Registrar, WritesKeysDefaultsAndTypedValues)
{
    ASSERT_NE(scratch.key(), nullptr);
    const std::wstring body = LR"(
        Outer = s 'outer default'
        {
            val Text = s 'It''s here'
            val Number = d '0x2A'
            val Decimal = d 17
            val Bytes = b '00FF10'
            val Multi = m 'one\0two'
            Inner
            {
                'Quoted Name' = s '{braces} = and spaces'
            }
        }
        hkcr_is_just_a_name = s 'x')";
    ASSERT_EQ(registrar.StringRegister(Script(body).c_str()), S_OK);

    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, Path(L"Outer")).value_or(L""), L"outer default");
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, Path(L"Outer"), L"Text").value_or(L""), L"It's here");
    DWORD type = 0;
    auto number = RawValue(HKEY_CURRENT_USER, Path(L"Outer"), L"Number", &type);
    ASSERT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(number.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(number.data()), 42u);
    auto decimal = RawValue(HKEY_CURRENT_USER, Path(L"Outer"), L"Decimal", &type);
    ASSERT_EQ(decimal.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(decimal.data()), 17u);
    auto bytes = RawValue(HKEY_CURRENT_USER, Path(L"Outer"), L"Bytes", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(bytes, (std::vector<BYTE>{0x00, 0xff, 0x10}));
    auto multi = RawValue(HKEY_CURRENT_USER, Path(L"Outer"), L"Multi", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    const wchar_t expected[] = L"one\0two\0";
    ASSERT_EQ(multi.size(), sizeof expected);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(multi.data()), 9), std::wstring(expected, 9));
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, Path(L"Outer\\Inner\\Quoted Name")).value_or(L""), L"{braces} = and spaces");
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, Path(L"hkcr_is_just_a_name")).value_or(L""), L"x");

    ASSERT_EQ(registrar.StringUnregister(Script(body).c_str()), S_OK);
    EXPECT_EQ(SubkeyCount(HKEY_CURRENT_USER, Path()), 0u);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path())); // NoRemove
}

TEST_F(Registrar, ReplacesNamesAfterSplittingTokens)
{
    // A path with a quote and braces must not end the quoted text it is put into.
    ASSERT_EQ(registrar.AddReplacement(L"MODULE", L"C:\\Bob's {files}\\x.dll"), S_OK);
    ASSERT_EQ(registrar.AddReplacement(L"Product", L"Prod Key"), S_OK);
    ASSERT_EQ(registrar.AddReplacement(L"PRODUCT", L"ProdKey"), S_OK); // replaces, any case
    EXPECT_EQ(registrar.AddReplacement(L"", L"x"), E_INVALIDARG);
    EXPECT_EQ(registrar.AddReplacement(nullptr, L"x"), E_INVALIDARG);
    const std::wstring body = LR"(
        NoRemove s '%product%'
        {
            Server = s '%MODULE%'
            Percent = s '100%% sure'
        })";
    ASSERT_EQ(registrar.StringRegister(Script(body).c_str()), S_OK);
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, Path(L"ProdKey\\Server")).value_or(L""), L"C:\\Bob's {files}\\x.dll");
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, Path(L"ProdKey\\Percent")).value_or(L""), L"100% sure");

    // Unknown names are a syntax error, found before anything is written.
    const std::wstring unknown = L"First = s 'one'\n Second = s '%NOSUCH%'";
    EXPECT_EQ(registrar.StringRegister(Script(unknown).c_str()), REGISTRAR_E_SYNTAX);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"First")));
    registrar.ClearReplacements();
    EXPECT_EQ(registrar.StringRegister(Script(L"X = s '%MODULE%'").c_str()), REGISTRAR_E_SYNTAX);
}

TEST_F(Registrar, BrokenScriptsChangeNothing)
{
    const wchar_t* bodies[] = {
        L"A = s 'unterminated",
        L"A = s 'x'\n {",                 // body never closed
        L"A = q 'x'",                     // unknown type
        L"A = s",                         // no data
        L"A { val = s 'x' }",             // value without a name
        L"A { val V s 'x' }",             // no equals
        L"A = d 'twelve'",                // not a number
        L"A = d '0x100000000'",           // too large
        L"A = b 'ABC'",                   // odd hex
        L"A = s 'x' }",                   // stray brace
        L"A = s '100% sure'",             // lone percent
        L"NoRemove",                      // flag without a key
    };
    for (const wchar_t* body : bodies) {
        EXPECT_EQ(registrar.StringRegister(Script(body).c_str()), REGISTRAR_E_SYNTAX) << body;
        EXPECT_EQ(registrar.StringUnregister(Script(body).c_str()), REGISTRAR_E_SYNTAX) << body;
    }
    EXPECT_EQ(registrar.StringRegister(L"HKXX { A = s 'x' }"), REGISTRAR_E_SYNTAX);
    EXPECT_EQ(registrar.StringRegister(L"HKCU A"), REGISTRAR_E_SYNTAX);
    EXPECT_EQ(registrar.StringRegister(nullptr), E_POINTER);
    EXPECT_EQ(SubkeyCount(HKEY_CURRENT_USER, Path()), 0u);
    EXPECT_EQ(registrar.StringRegister(L""), S_OK);
    EXPECT_EQ(registrar.StringRegister(L"  HKCU { }  "), S_OK);
}

TEST_F(Registrar, UnregistrationHonoursTheFlags)
{
    const std::wstring body = LR"(
        NoRemove Kept
        {
            Mine = s 'm'
            val Gone = s 'g'
            NoRemove val Stays = s 's'
        }
        ForceRemove Forced = s 'f'
        {
            Child = s 'c'
        }
        Shared
        {
            Mine = s 'm'
        }
        Plain = s 'p'
        {
            Leaf = s 'l'
        })";
    ASSERT_EQ(registrar.StringRegister(Script(body).c_str()), S_OK);
    // Things the script did not write.
    CreateKey(HKEY_CURRENT_USER, Path(L"Forced\\Foreign"));
    CreateKey(HKEY_CURRENT_USER, Path(L"Shared\\Foreign"));

    ASSERT_EQ(registrar.StringUnregister(Script(body).c_str()), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Kept")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Kept\\Mine")));
    EXPECT_FALSE(StringValue(HKEY_CURRENT_USER, Path(L"Kept"), L"Gone").has_value());
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, Path(L"Kept"), L"Stays").value_or(L""), L"s");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Forced"))); // with what others put there
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Shared\\Foreign")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Shared\\Mine")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Plain")));

    // Unregistering what is not there is not an error.
    EXPECT_EQ(registrar.StringUnregister(Script(body).c_str()), S_OK);
}

TEST_F(Registrar, ForceRemoveAndDeleteClearOldKeysOnRegistration)
{
    CreateKey(HKEY_CURRENT_USER, Path(L"Forced\\Stale"));
    CreateKey(HKEY_CURRENT_USER, Path(L"Doomed\\Child"));
    CreateKey(HKEY_CURRENT_USER, Path(L"Normal\\Old"));
    const std::wstring body = L"ForceRemove Forced { New = s 'n' }\n Delete Doomed\n Normal { New = s 'n' }";
    ASSERT_EQ(registrar.StringRegister(Script(body).c_str()), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Forced\\Stale")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Forced\\New")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Doomed")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Normal\\Old")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Normal\\New")));
}

TEST_F(Registrar, ResourceScriptsLoadFromTheLibrary)
{
    HMODULE dll = LoadLibraryW(plenvort_test::DllPath().c_str());
    ASSERT_NE(dll, nullptr);
    std::wstring text;
    ASSERT_EQ(CRegistrar::LoadScript(dll, IDR_APPARTNODE, L"REGISTRY", &text), S_OK);
    EXPECT_NE(text.find(L"Plenvort.APPartNode.1 = s 'APPartNode Class'"), std::wstring::npos);
    EXPECT_NE(text.find(L"NoRemove s '%PRODUCT%'"), std::wstring::npos);
    EXPECT_EQ(text.find(L'\0'), std::wstring::npos);
    EXPECT_EQ(CRegistrar::LoadScript(dll, 9999, L"REGISTRY", &text), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(registrar.ResourceRegister(dll, 9999), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    FreeLibrary(dll);
}

// Every one of the library's scripts, run into a scratch HKEY_CLASSES_ROOT.
TEST(RegistryScripts, EveryScriptWritesItsClassAndRemovesIt)
{
    HMODULE dll = LoadLibraryW(plenvort_test::DllPath().c_str());
    ASSERT_NE(dll, nullptr);
    ScratchClassesRoot root;
    ASSERT_TRUE(root.ok());
    CRegistrar registrar;
    registrar.AddReplacement(L"PRODUCT", L"CLSID");
    registrar.AddReplacement(L"MODULE", L"C:\\where\\Plenvort.dll");
    int count = 0;
    for (const ClassInfo& c : kClasses) {
        SCOPED_TRACE(c.name);
        std::wstring text;
        ASSERT_EQ(CRegistrar::LoadScript(dll, c.resourceId, L"REGISTRY", &text), S_OK);
        // The written-out differences between the scripts.
        EXPECT_EQ(text.find(L"NoRemove '%PRODUCT%'") != std::wstring::npos, PlainProductKey(c.name));
        EXPECT_EQ(text.find(L"NoRemove s '%PRODUCT%'") != std::wstring::npos, !PlainProductKey(c.name));
        if (c.clsid) {
            std::wstring clsid = c.clsid;
            if (LowerCaseClsid(c.name)) {
                for (size_t i = 15; i < 24; ++i) clsid[i] = static_cast<wchar_t>(std::towlower(clsid[i]));
            }
            EXPECT_NE(text.find(L"ForceRemove " + clsid + L" = s '"), std::wstring::npos) << clsid;
            EXPECT_NE(text.find(L"CLSID = s '" + clsid + L"'"), std::wstring::npos) << clsid;
        }
        ASSERT_EQ(registrar.ResourceRegister(dll, c.resourceId), S_OK);
        ++count;
    }
    EXPECT_EQ(count, 42);
    for (const ClassInfo& c : kClasses)
        if (c.clsid) ExpectClassRegistered(HKEY_CLASSES_ROOT, L"CLSID", c, L"C:\\where\\Plenvort.dll");
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L"CLSID"), 42u);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L""), 85u); // 84 ProgIDs and CLSID

    for (const ClassInfo& c : kClasses) ASSERT_EQ(registrar.ResourceUnregister(dll, c.resourceId), S_OK) << c.name;
    for (const ClassInfo& c : kClasses) ExpectClassGone(HKEY_CLASSES_ROOT, L"CLSID", c);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L""), 1u);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    FreeLibrary(dll);
}

// ---------------------------------------------------------------------------------------
// The server module in this process, with the built library as its instance (for its
// resources, its path and its type library).

// {3F1B0E52-7C4D-4E0A-9B1F-5A2C6D8E9F01}
const CLSID CLSID_TestServed = {0x3f1b0e52, 0x7c4d, 0x4e0a, {0x9b, 0x1f, 0x5a, 0x2c, 0x6d, 0x8e, 0x9f, 0x01}};
// {3F1B0E52-7C4D-4E0A-9B1F-5A2C6D8E9F02}
const CLSID CLSID_TestAlias = {0x3f1b0e52, 0x7c4d, 0x4e0a, {0x9b, 0x1f, 0x5a, 0x2c, 0x6d, 0x8e, 0x9f, 0x02}};
// {3F1B0E52-7C4D-4E0A-9B1F-5A2C6D8E9F03}
const CLSID CLSID_TestBroken = {0x3f1b0e52, 0x7c4d, 0x4e0a, {0x9b, 0x1f, 0x5a, 0x2c, 0x6d, 0x8e, 0x9f, 0x03}};

int g_served = 0;

class CTestServed : public CComObjectRootEx<CComSingleThreadModel>,
                    public CComCoClass<CTestServed, &CLSID_TestServed>,
                    public IPersist {
public:
    DECLARE_NO_REGISTRY()
    BEGIN_COM_MAP(CTestServed)
    COM_INTERFACE_ENTRY_IID(IID_IPersist, IPersist)
    END_COM_MAP()
    CTestServed() { ++g_served; }
    virtual ~CTestServed() { --g_served; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override
    {
        *id = CLSID_TestServed;
        return S_OK;
    }
};

BEGIN_OBJECT_MAP(TestMap)
OBJECT_ENTRY(CLSID_TestServed, CTestServed)
END_OBJECT_MAP()

std::vector<BOOL> g_scriptRuns;
HRESULT WINAPI RecordingScript(BOOL reg)
{
    g_scriptRuns.push_back(reg);
    return S_OK;
}
HRESULT WINAPI FailingScript(BOOL reg)
{
    g_scriptRuns.push_back(reg);
    return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
}

// A map whose second script fails.
_ATL_OBJMAP_ENTRY g_brokenMap[] = {
    {&CLSID_TestServed, RecordingScript, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
    {&CLSID_TestBroken, FailingScript, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
    {&CLSID_TestAlias, RecordingScript, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};

size_t AutoMapSize()
{
    size_t n = 0;
    for (_ATL_OBJMAP_ENTRY* e = AtlAutoObjectMap(); e && e->pclsid; ++e) ++n;
    return n;
}

class ServerModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEnv(L"ORV_DEVELOPER_ENV", nullptr);
        SetEnv(L"CURRENT_USER_INSTALL", nullptr);
        dll = LoadLibraryW(plenvort_test::DllPath().c_str());
        ASSERT_NE(dll, nullptr);
        savedMap = _Module.GetClassicObjectMap();
        savedInstance = _Module.GetModuleInstance();
        UseInstance(dll, savedMap);
        orv_hooks::ClearReferenceMappings();
        orv_hooks::TypeLibWrapperCounts() = {};
        ASSERT_EQ(_Module.GetLockCount(), 0);
    }
    void TearDown() override
    {
        _Module.Term();
        _Module.Init(savedMap, savedInstance);
        _Module.ResetProductKey();
        orv_hooks::RecordClassCalls(false);
        orv_hooks::ClearReferenceMappings();
        SetEnv(L"ORV_DEVELOPER_ENV", nullptr);
        SetEnv(L"CURRENT_USER_INSTALL", nullptr);
        EXPECT_EQ(_Module.GetLockCount(), 0);
        EXPECT_EQ(orv_hooks::TypeLibWrapperCounts().live, 0);
        if (dll) FreeLibrary(dll);
        if (copy) FreeLibrary(copy);
        if (!tempDir.empty()) {
            DeleteFileW((tempDir + L"DLLPROD.TXT").c_str());
            DeleteFileW((tempDir + L"PlenvortCopy.dll").c_str());
            RemoveDirectoryW(tempDir.c_str());
        }
    }
    void UseInstance(HINSTANCE instance, _ATL_OBJMAP_ENTRY* map)
    {
        _Module.Term();
        _Module.Init(map, instance);
        _Module.ResetProductKey();
    }
    // A copy of the library in a folder of its own, so that a "DLLPROD.TXT" beside it is
    // seen by nobody else.
    void UseCopyInOwnFolder()
    {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        tempDir = std::wstring(temp) + UniqueName(L"plenvort-reg") + L"\\";
        ASSERT_TRUE(CreateDirectoryW(tempDir.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(plenvort_test::DllPath().c_str(), (tempDir + L"PlenvortCopy.dll").c_str(), FALSE));
        copy = LoadLibraryW((tempDir + L"PlenvortCopy.dll").c_str());
        ASSERT_NE(copy, nullptr);
        UseInstance(copy, savedMap);
    }
    void WriteProductFile(const std::string& bytes)
    {
        FILE* f = _wfopen((tempDir + L"DLLPROD.TXT").c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        _Module.ResetProductKey();
    }

    HMODULE dll = nullptr;
    HMODULE copy = nullptr;
    std::wstring tempDir;
    _ATL_OBJMAP_ENTRY* savedMap = nullptr;
    HINSTANCE savedInstance = nullptr;
};

TEST_F(ServerModule, EndOfStreamMarkerIsAllOnes)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&GUID_EndOfStreamMarker);
    for (size_t i = 0; i < sizeof(GUID); ++i) EXPECT_EQ(bytes[i], 0xff) << i;
}

TEST_F(ServerModule, ProductKeyFromTheEnvironment)
{
    EXPECT_STREQ(_Module.GetProductKey(), "CLSID"); // nothing configured
    SetEnv(L"ORV_DEVELOPER_ENV", L"MyClasses");
    EXPECT_STREQ(_Module.GetProductKey(), "CLSID"); // computed once per process
    _Module.ResetProductKey();
    EXPECT_STREQ(_Module.GetProductKey(), "MyClasses");
    SetEnv(L"ORV_DEVELOPER_ENV", L"Other");
    EXPECT_STREQ(_Module.GetProductKey(), "MyClasses");

    SetEnv(L"ORV_DEVELOPER_ENV", L"");
    _Module.ResetProductKey();
    EXPECT_STREQ(_Module.GetProductKey(), "CLSID");

    std::wstring longValue(2000, L'k');
    longValue[1022] = L'E';
    SetEnv(L"ORV_DEVELOPER_ENV", longValue.c_str());
    _Module.ResetProductKey();
    std::string key = _Module.GetProductKey();
    EXPECT_EQ(key.size(), 1023u);
    EXPECT_EQ(key.back(), 'E');
}

TEST_F(ServerModule, ProductKeyFromTheFileBesideTheLibrary)
{
    UseCopyInOwnFolder();
    EXPECT_STREQ(_Module.GetProductKey(), "CLSID"); // no file
    WriteProductFile("MyProduct\r\nsecond line\r\n");
    EXPECT_STREQ(_Module.GetProductKey(), "MyProduct");
    WriteProductFile("Unix\n");
    EXPECT_STREQ(_Module.GetProductKey(), "Unix");
    WriteProductFile("NoLineEnd");
    EXPECT_STREQ(_Module.GetProductKey(), "NoLineEnd");
    WriteProductFile("\r\nSecond");
    EXPECT_STREQ(_Module.GetProductKey(), "CLSID");
    WriteProductFile("");
    EXPECT_STREQ(_Module.GetProductKey(), "CLSID");
    WriteProductFile(std::string(1500, 'p') + "\n");
    EXPECT_EQ(std::string(_Module.GetProductKey()), std::string(1023, 'p'));

    // The environment wins over the file.
    WriteProductFile("FromFile\n");
    SetEnv(L"ORV_DEVELOPER_ENV", L"FromEnvironment");
    _Module.ResetProductKey();
    EXPECT_STREQ(_Module.GetProductKey(), "FromEnvironment");
}

TEST_F(ServerModule, ScriptsWriteClassKeysUnderTheProductKey)
{
    ScratchClassesRoot root;
    ASSERT_TRUE(root.ok());
    SetEnv(L"ORV_DEVELOPER_ENV", L"MyClasses");
    _Module.ResetProductKey();
    const ClassInfo& part = kClasses[9];
    ASSERT_STREQ(part.name, L"APPartNode");
    ASSERT_EQ(_Module.UpdateRegistryFromResourceD(IDR_APPARTNODE, TRUE), S_OK);
    ExpectClassRegistered(HKEY_CLASSES_ROOT, L"MyClasses", part, plenvort_test::DllPath());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));

    ASSERT_EQ(_Module.UpdateRegistryFromResourceD(IDR_APPARTNODE, FALSE), S_OK);
    ExpectClassGone(HKEY_CLASSES_ROOT, L"MyClasses", part);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"MyClasses")); // never removed
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L""), 1u);

    EXPECT_EQ(_Module.UpdateRegistryFromResourceD(9999, TRUE), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(ServerModule, PerUserRedirectionLastsForTheStepOnly)
{
    const std::wstring inside = UniqueName(L"PlenvortProbeInside");
    const std::wstring after = UniqueName(L"PlenvortProbeAfter");
    {
        CPerUserRedirection none;
        EXPECT_FALSE(none.Active());
    }
    SetEnv(L"CURRENT_USER_INSTALL", L""); // only its presence counts
    {
        CPerUserRedirection redirection;
        ASSERT_TRUE(redirection.Active());
        CreateKey(HKEY_CLASSES_ROOT, inside);
    }
    CreateKey(HKEY_CLASSES_ROOT, after);
    const std::wstring userClasses = L"SOFTWARE\\Classes\\";
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, userClasses + inside));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userClasses + after));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + after));
    RegDeleteKeyW(HKEY_CURRENT_USER, (userClasses + inside).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, after.c_str());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, after));
}

TEST_F(ServerModule, PerUserRegistrationPutsTheTypeLibraryUnderTheUser)
{
    SetEnv(L"CURRENT_USER_INSTALL", L"1");
    UseInstance(dll, TestMap); // the type library only: the test class has no script
    const std::wstring userTypeLib = std::wstring(L"SOFTWARE\\Classes\\TypeLib\\") + kLibId;
    ASSERT_EQ(_Module.RegisterServer(TRUE), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, userTypeLib + L"\\1.0"));
    EXPECT_EQ(Lower(StringValue(HKEY_CURRENT_USER, userTypeLib + L"\\1.0\\409\\" + kTypeLibPlatform).value_or(L"")),
              Lower(plenvort_test::DllPath()));
    // Nothing is left redirected.
    const std::wstring probe = UniqueName(L"PlenvortProbe");
    CreateKey(HKEY_CLASSES_ROOT, probe);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\" + probe));
    RegDeleteKeyW(HKEY_CLASSES_ROOT, probe.c_str());

    ASSERT_EQ(_Module.UnregisterServer(TRUE), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userTypeLib + L"\\1.0"));
}

TEST_F(ServerModule, RegistrationRunsEveryStepInOrder)
{
    ScratchClassesRoot root;
    ASSERT_TRUE(root.ok());
    orv_hooks::RecordClassCalls(true);
    ASSERT_EQ(AutoMapSize(), 39u) << "the object map is not installed";

    ASSERT_EQ(_Module.RegisterServer(TRUE), S_OK);
    const auto& calls = orv_hooks::ClassCalls();
    ASSERT_EQ(calls.size(), 78u);
    for (size_t i = 0; i < 39; ++i) {
        SCOPED_TRACE(kClasses[i].name);
        const CLSID id = ToClsid(kClasses[i].clsid);
        EXPECT_FALSE(calls[i].registered);
        EXPECT_TRUE(IsEqualCLSID(calls[i].clsid, id));
        EXPECT_TRUE(calls[39 + i].registered);
        EXPECT_TRUE(IsEqualCLSID(calls[39 + i].clsid, id));
        EXPECT_EQ(calls[39 + i].instance, dll);
    }
    for (const ClassInfo& c : kClasses) {
        if (c.inObjectMap) {
            ExpectClassRegistered(HKEY_CLASSES_ROOT, L"CLSID", c, plenvort_test::DllPath());
        } else {
            ExpectClassGone(HKEY_CLASSES_ROOT, L"CLSID", c);
        }
    }
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L"CLSID"), 39u);
    const std::wstring typeLib = std::wstring(L"TypeLib\\") + kLibId + L"\\1.0";
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, typeLib).value_or(L""), L"Plenvort 1.0 Type Library");
    EXPECT_EQ(Lower(StringValue(HKEY_CLASSES_ROOT, typeLib + L"\\409\\" + kTypeLibPlatform).value_or(L"")),
              Lower(plenvort_test::DllPath()));
    EXPECT_EQ(orv_hooks::TypeLibWrapperCounts().inits, 1);
    EXPECT_EQ(orv_hooks::TypeLibWrapperCounts().live, 0);

    orv_hooks::RecordClassCalls(true);
    // The type library is gone after the standard step; the wrapper's second removal fails
    // quietly and the whole still succeeds.
    ASSERT_EQ(_Module.UnregisterServer(TRUE), S_OK);
    EXPECT_EQ(orv_hooks::ClassCalls().size(), 39u);
    for (const auto& call : orv_hooks::ClassCalls()) EXPECT_FALSE(call.registered);
    for (const ClassInfo& c : kClasses) ExpectClassGone(HKEY_CLASSES_ROOT, L"CLSID", c);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L"CLSID"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, typeLib));
    EXPECT_EQ(orv_hooks::TypeLibWrapperCounts().unregisters, 1);
    EXPECT_EQ(orv_hooks::TypeLibWrapperCounts().live, 0);

    // A class filter runs one script only.
    const CLSID part = ToClsid(kClasses[9].clsid);
    ASSERT_EQ(_Module.RegisterServer(FALSE, &part), S_OK);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L"CLSID"), 1u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, typeLib));
    ASSERT_EQ(_Module.UnregisterServer(FALSE, &part), S_OK);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, L"CLSID"), 0u);
}

TEST_F(ServerModule, AFailingScriptIsReported)
{
    ScratchClassesRoot root;
    ASSERT_TRUE(root.ok());
    UseInstance(dll, g_brokenMap);
    // Keep the library's own classes out of it: only the broken map's entries count here.
    _ATL_OBJMAP_ENTRY* autoMap = AtlAutoObjectMap();
    AtlAutoObjectMap() = nullptr;
    orv_hooks::RecordClassCalls(true);
    g_scriptRuns.clear();

    EXPECT_EQ(_Module.RegisterServer(TRUE), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(g_scriptRuns, (std::vector<BOOL>{TRUE, TRUE})); // stops at the failing one
    EXPECT_EQ(orv_hooks::ClassCalls().size(), 3u);           // the three removals only
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib"));

    g_scriptRuns.clear();
    EXPECT_EQ(_Module.UnregisterServer(TRUE), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(g_scriptRuns, (std::vector<BOOL>{FALSE, FALSE}));
    AtlAutoObjectMap() = autoMap;
}

TEST_F(ServerModule, ClassObjectsThroughTheReferenceMapping)
{
    UseInstance(dll, TestMap);
    EXPECT_EQ(PlenvortDllGetClassObject(CLSID_TestServed, IID_IClassFactory, nullptr), E_POINTER);
    IClassFactory* cf = reinterpret_cast<IClassFactory*>(1);
    EXPECT_EQ(PlenvortDllGetClassObject(CLSID_TestAlias, IID_IClassFactory, reinterpret_cast<void**>(&cf)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(cf, nullptr);

    orv_hooks::SetReferenceMapping(CLSID_TestAlias, CLSID_TestServed);
    CLSID reference{};
    EXPECT_EQ(ORVGetReferenceGUID(CLSID_TestAlias, &reference), S_OK);
    EXPECT_TRUE(IsEqualCLSID(reference, CLSID_TestServed));
    EXPECT_EQ(ORVGetReferenceGUID(CLSID_TestAlias, nullptr), E_POINTER);
    EXPECT_LT(ORVGetReferenceGUID(CLSID_TestBroken, &reference), 0);

    ASSERT_EQ(PlenvortDllGetClassObject(CLSID_TestAlias, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    IClassFactory* direct = nullptr;
    ASSERT_EQ(PlenvortDllGetClassObject(CLSID_TestServed, IID_IClassFactory, reinterpret_cast<void**>(&direct)), S_OK);
    EXPECT_EQ(cf, direct); // one factory, created once
    direct->Release();
    IPersist* object = nullptr;
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&object)), S_OK);
    CLSID id{};
    EXPECT_EQ(object->GetClassID(&id), S_OK);
    EXPECT_TRUE(IsEqualCLSID(id, CLSID_TestServed));
    object->Release();
    cf->Release();
    EXPECT_EQ(g_served, 0);

    IUnknown* wrong = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(PlenvortDllGetClassObject(CLSID_TestServed, IID_IStream, reinterpret_cast<void**>(&wrong)), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);
}

TEST_F(ServerModule, CanUnloadOnlyWithoutObjectsAndLocks)
{
    UseInstance(dll, TestMap);
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
    IClassFactory* cf = nullptr;
    ASSERT_EQ(PlenvortDllGetClassObject(CLSID_TestServed, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_FALSE); // a client holds the factory
    IPersist* object = nullptr;
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&object)), S_OK);
    ASSERT_EQ(cf->LockServer(TRUE), S_OK);
    cf->Release();
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_FALSE); // the server lock
    ASSERT_EQ(PlenvortDllGetClassObject(CLSID_TestServed, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    ASSERT_EQ(cf->LockServer(FALSE), S_OK);
    cf->Release();
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
}

TEST_F(ServerModule, CanUnloadWhileAPointerListLives)
{
    ASSERT_EQ(AutoMapSize(), 39u) << "the object map is not installed";
    IUnknown* list = nullptr;
    ASSERT_EQ(PlenvortDllCanUnloadNow(), S_OK);
    IClassFactory* cf = nullptr;
    ASSERT_EQ(PlenvortDllGetClassObject(CLSID_APPointerList, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IAPPointerList, reinterpret_cast<void**>(&list)), S_OK);
    cf->Release();
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_FALSE);
    list->Release();
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
}

TEST_F(ServerModule, ADataMonikerAClientHoldsKeepsTheModule)
{
    ASSERT_EQ(PlenvortDllCanUnloadNow(), S_OK);
    IORVDataMoniker* moniker = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\plans\\door.pvd", &moniker), S_OK);
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_FALSE);
    moniker->Release();
    EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
}

// ---------------------------------------------------------------------------------------
// End to end: the system's regsvr32 on the built library, a separate client creating
// objects through the system's CoCreateInstance, and unregistration.

// Runs a command line; the process's exit code, or -1.
int RunProcess(const std::wstring& commandLine)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = commandLine;
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

std::wstring RegsvrCommand(bool unregister)
{
    return std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + plenvort_test::DllPath() + L"\"";
}

class Regsvr32 : public ::testing::Test {
protected:
    void SetUp() override { SetEnv(L"CURRENT_USER_INSTALL", nullptr); }
    void TearDown() override
    {
        // Leave the prefix as it was, whatever failed.
        RunProcess(RegsvrCommand(true));
        SetEnv(L"CURRENT_USER_INSTALL", nullptr);
    }
};

TEST_F(Regsvr32, RegistersServesAndUnregisters)
{
    ASSERT_EQ(RunProcess(RegsvrCommand(false)), 0);
    for (const ClassInfo& c : kClasses) {
        if (c.inObjectMap) {
            ExpectClassRegistered(HKEY_CLASSES_ROOT, L"CLSID", c, plenvort_test::DllPath());
        } else {
            ExpectClassGone(HKEY_CLASSES_ROOT, L"CLSID", c);
        }
    }
    const std::wstring typeLib = std::wstring(L"TypeLib\\") + kLibId + L"\\1.0";
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, typeLib).value_or(L""), L"Plenvort 1.0 Type Library");
    EXPECT_EQ(Lower(StringValue(HKEY_CLASSES_ROOT, typeLib + L"\\409\\" + kTypeLibPlatform).value_or(L"")),
              Lower(plenvort_test::DllPath()));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, typeLib + L"\\FLAGS"));

    EXPECT_EQ(RunProcess(L"\"" + ExeDir() + L"reg_client.exe\""), 0) << "see the client's step number";

    ASSERT_EQ(RunProcess(RegsvrCommand(true)), 0);
    for (const ClassInfo& c : kClasses) ExpectClassGone(HKEY_CLASSES_ROOT, L"CLSID", c);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, typeLib));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
}

TEST_F(Regsvr32, PerUserInstallWritesUnderTheUsersClasses)
{
    SetEnv(L"CURRENT_USER_INSTALL", L"yes"); // the child processes inherit it
    ASSERT_EQ(RunProcess(RegsvrCommand(false)), 0);
    const std::wstring user = L"SOFTWARE\\Classes";
    HKEY userClasses = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, user.c_str(), 0, KEY_READ, &userClasses), ERROR_SUCCESS);
    for (const ClassInfo& c : kClasses)
        if (c.inObjectMap) ExpectClassRegistered(userClasses, L"CLSID", c, plenvort_test::DllPath());
    EXPECT_TRUE(KeyExists(userClasses, std::wstring(L"TypeLib\\") + kLibId + L"\\1.0"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\Plenvort.APPartNode"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\{5D73A3C8-F8E9-11D2-B25C-0060B0A4BC1C}"));
    // (No client run here: the test platform's COM looks classes up in the machine's keys only.)

    ASSERT_EQ(RunProcess(RegsvrCommand(true)), 0);
    for (const ClassInfo& c : kClasses) ExpectClassGone(userClasses, L"CLSID", c);
    EXPECT_FALSE(KeyExists(userClasses, std::wstring(L"TypeLib\\") + kLibId + L"\\1.0"));
    RegCloseKey(userClasses);
}

} // namespace
