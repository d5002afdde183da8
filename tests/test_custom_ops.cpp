// Custom operations: defaults and kind tests, labelled elements with their references and
// watches, metadata, results and contributors, the wide-string helpers, notifications,
// blocks of every version, copies and the document file.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "server/module.h"
#include "document_support.h"
#include "link_support.h"
#include "operations/APCustomOperation.h"

using namespace link_test;

namespace {

// "No element" in a block.
constexpr int kNoElement = -200000;

class CustomOperations : public ObjectsTest {
protected:
    void TearDown() override
    {
        ObjectsTest::TearDown();
        EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
    }
};

IAPCustomOperation12* NewCustom() { return New<IAPCustomOperation12>(CLSID_APCustomOperation, IID_IAPCustomOperation12); }

APCustomOperation* ModelOfCustom(IUnknown* p) { return Model<APCustomOperation>(p); }

using IntGetter = HRESULT (STDMETHODCALLTYPE IAPCustomOperation12::*)(int*);
using DoubleGetter = HRESULT (STDMETHODCALLTYPE IAPCustomOperation12::*)(double*);
using LongGetter = HRESULT (STDMETHODCALLTYPE IAPCustomOperation12::*)(long*);

// What a count getter of the chain answers; the call must succeed.
int Num(IAPCustomOperation12* op, IntGetter get) { return CountOf<IAPCustomOperation12>(op, get); }

// Entry i: its label, and whether it holds `expected` (null for a null entry).
void ExpectEntry(IAPCustomOperation12* op, int i, const std::string& label, IUnknown* expected)
{
    char text[1100] = {};
    IAPElement* e = reinterpret_cast<IAPElement*>(1);
    ASSERT_EQ(op->GetElement(i, Text(text), &e), S_OK) << i;
    EXPECT_EQ(std::string(text), label) << i;
    if (expected) EXPECT_TRUE(Same(e, expected)) << i;
    else EXPECT_EQ(e, nullptr) << i;
    Release(e);
}

std::string Metadata(IAPCustomOperation12* op, int i)
{
    char first[1100] = {}, second[1100] = {};
    if (op->GetMetaData(i, Text(first), Text(second)) != S_OK) return "!";
    return std::string(first) + "=" + second;
}

// A block of `clsid` as far as the operation's (mode 2: no conditions), then `body`.
std::vector<unsigned char> OperationBlock(REFCLSID clsid, const std::function<void(WmObjectStream&)>& body)
{
    return NodeBlock(clsid, [&](Writer& w) {
        Mode2Header(w.out);
        body(w.out);
    });
}

void WriteTexts(WmObjectStream& s, const std::vector<std::string>& texts)
{
    s.write(static_cast<int>(texts.size()));
    for (const std::string& t : texts) s.write(WmString(t.c_str()));
}

// A custom block of `version` with every field it carries set apart from the defaults.
void WriteCustom(WmObjectStream& s, int version, int stored = 1, int count = 2)
{
    s.write(version);
    s.write(static_cast<int>(AP_CUSTOM_MEAS));
    s.write(1);                // relative
    s.write(1), s.write(-1.5); // low limit
    s.write(0);                // high not set
    s.write(WmString("set")), s.write(WmString("ext"));
    if (version >= 4) s.write(0); // option flag
    WriteTexts(s, {"a", "b"});
    s.write(2), s.write(kNoElement), s.write(kNoElement);
    WriteTexts(s, {"k1", "k2"});
    WriteTexts(s, {"v1"});
    if (version < 2) return;
    s.write(stored);
    if (!stored) return;
    s.write(count);
    if (count >= 1) {
        for (int i = 0; i < count; ++i) s.write(0.25 * (i + 1));
        if (version >= 3) WriteTexts(s, {"c"}), s.write(1), s.write(0.75);
        if (version >= 5) s.write(1), s.write(9);
        if (version >= 6) s.write(5.5);
        if (version >= 7) s.write(0.125), s.write(0.0625);
        if (version >= 8) {
            s.write(8.0);
            WriteTexts(s, {"alt"});
            s.write(2), s.write(1.0), s.write(2.0);
            s.write(0);
            s.write(4.0);
        }
        if (version >= 9) s.write(6.0), s.write(7.0);
        if (version >= 10) s.write(3); // option 5, overridden below from version 12
    }
    if (version >= 11) s.write(7), s.write(true), s.write(0.5), s.write(true), s.write(2), s.write(3);
    if (version >= 12) s.write(4);
    if (version >= 13) s.write(true), s.write(4), s.write(5), s.write(false), s.write(6);
}

} // namespace

TEST_F(CustomOperations, DefaultsAndKindTests)
{
    using Op = IAPCustomOperation12;
    Op* op = NewCustom();
    long modified = -1;
    EXPECT_EQ(Got(op, &Op::GetCustomOpType), AP_CUSTOM_UNKNOWN);
    const LongGetter flags[] = {&Op::IsLowDesignLimitSetForCustom, &Op::IsHighDesignLimitSetForCustom,
                                &Op::GetIsRelativeOfCustom, &Op::CheckIfDllWasModified, &Op::GetResultsStoredFlagCustom};
    for (LongGetter get : flags) EXPECT_EQ(Got(op, get), 0);
    EXPECT_EQ(Got(op, &Op::GetCustProcessStdDev), -1.0);
    EXPECT_EQ(Got(op, &Op::GetCustHLMVariance), -9999.0);
    EXPECT_EQ(Got(op, &Op::GetCustomOperationExtraValue4), -9999.0);
    const DoubleGetter zeros[] = {&Op::GetExtraValue6, &Op::GetExtraValue7, &Op::GetExtraValue8,
                                  &Op::GetCustomOperationExtraValue5, &Op::GetCustSimulatedNominal};
    for (DoubleGetter get : zeros) EXPECT_EQ(Got(op, get), 0.0);
    const IntGetter empty[] = {&Op::GetNumElements, &Op::GetNumMetaData, &Op::GetOption5};
    for (IntGetter get : empty) EXPECT_EQ(Got(op, get), 0);
    EXPECT_NEAR(Got(op, &Op::GetMoveLimit), 0.1, 1e-12);
    int flag = -1;
    EXPECT_EQ(ModelOfCustom(op)->GetOptionFlag(&flag), S_OK);
    EXPECT_EQ(flag, 1);
    IAPOperation4* base = Query<IAPOperation4>(op, IID_IAPOperation4);
    EXPECT_EQ(Got(base, &IAPOperation4::GetConditionMode), 1);
    Release(base);

    // A limit setter marks its limit; the active flag is the operation base's.
    EXPECT_EQ(op->SetLowDesignLimitForCustom(-0.5), S_OK);
    EXPECT_EQ(Got(op, &Op::IsLowDesignLimitSetForCustom), 1);
    EXPECT_EQ(Got(op, &Op::IsHighDesignLimitSetForCustom), 0);
    EXPECT_EQ(Got(op, &Op::GetLowDesignLimitOfCustom), -0.5);
    EXPECT_EQ(op->SetActiveFlag(0), S_OK);
    EXPECT_EQ(Got(op, &Op::GetActiveFlag), 0);
    EXPECT_EQ(op->SetMoveType(5), S_OK);
    EXPECT_EQ(op->SetRefreshDelaySeconds(8), S_OK);
    EXPECT_EQ(Got(op, &Op::GetMoveType), 5);
    EXPECT_EQ(Got(op, &Op::GetRefreshDelaySeconds), 8);
    EXPECT_EQ(op->GetCustomOpType(nullptr), E_POINTER);
    EXPECT_EQ(op->CheckIfDllWasModified(nullptr), E_POINTER);
    EXPECT_EQ(op->GetElement(0, nullptr, nullptr), E_POINTER);

    // Another operation answers S_FALSE, except the settings, which fail outright.
    IAPElement* fem = New<IAPElement>(CLSID_APFemAssemblyOperation, IID_IAPElement);
    CAPElement* other = ObjectOf(fem);
    EXPECT_EQ(other->SetCustomOpType(AP_CUSTOM_MOVE), S_FALSE);
    EXPECT_EQ(other->CheckIfDllWasModified(&modified), S_FALSE);
    EXPECT_EQ(other->SetNumDataCustom(3), S_FALSE);
    EXPECT_EQ(other->SetOption5(3), S_FALSE);
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    EXPECT_EQ(ObjectOf(pin)->SetMoveType(1), E_FAIL);
    EXPECT_EQ(ObjectOf(pin)->SetActiveFlag(1), S_FALSE);
    for (IUnknown* p : std::initializer_list<IUnknown*>{op, fem, pin}) p->Release();
}

TEST_F(CustomOperations, OptionFiveServesMeasurementThenCustom)
{
    struct Row {
        const CLSID* clsid;
        HRESULT answer;
    } rows[] = {{&CLSID_APMeasurementOperation, S_OK}, {&CLSID_APCustomOperation, S_OK},
                {&CLSID_APSPCMeasurementOp, S_FALSE}, {&CLSID_APFemAssemblyOperation, S_FALSE}};
    for (const Row& r : rows) {
        IAPElement* e = New<IAPElement>(*r.clsid, IID_IAPElement);
        IAPMeasurementOperation8* meas = Query<IAPMeasurementOperation8>(e, IID_IAPMeasurementOperation8);
        IAPCustomOperation11* custom = Query<IAPCustomOperation11>(e, IID_IAPCustomOperation11);
        // Whichever chain the coclass hands out reaches the one implementation.
        int option = -1;
        if (meas) {
            EXPECT_EQ(meas->SetOption5(12), r.answer);
            EXPECT_EQ(meas->GetOption5(&option), r.answer);
        } else if (custom) {
            EXPECT_EQ(custom->SetOption5(12), r.answer);
            EXPECT_EQ(custom->GetOption5(&option), r.answer);
        } else {
            EXPECT_EQ(ObjectOf(e)->SetOption5(12), r.answer);
            EXPECT_EQ(ObjectOf(e)->GetOption5(&option), r.answer);
        }
        EXPECT_EQ(option, r.answer == S_OK ? 12 : -1);
        Release(meas);
        Release(custom);
        e->Release();
    }
}

TEST_F(CustomOperations, ElementsHoldOneReferenceEachAndKeepTheirLabels)
{
    IAPCustomOperation12* op = NewCustom();
    IAPElement* a = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    IAPElement* b = New<IAPElement>(CLSID_APHoleFeature, IID_IAPElement);
    const ULONG aRefs = RefCount(a), bRefs = RefCount(b);

    EXPECT_EQ(op->AppendElement(Text("first"), a), S_OK);
    EXPECT_EQ(op->AppendElement(Text("none"), nullptr), S_OK);
    EXPECT_EQ(op->AppendElement(Text("again"), a), S_OK);
    EXPECT_EQ(op->AppendCustomOperationElementNoDependent(Text("quiet"), b), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumElements), 4);
    EXPECT_EQ(RefCount(a), aRefs + 2);
    EXPECT_EQ(RefCount(b), bRefs + 1);
    EXPECT_EQ(Dependents(a), 1);
    EXPECT_EQ(Dependents(b), 0) << "appended without the watch";
    ExpectEntry(op, 0, "first", a);
    ExpectEntry(op, 1, "none", nullptr);
    ExpectEntry(op, 3, "quiet", b);
    char label[8] = "keep";
    IAPElement* e = nullptr;
    EXPECT_EQ(op->GetElement(4, Text(label), &e), E_FAIL);
    EXPECT_EQ(op->GetElement(-1, Text(label), &e), E_FAIL);
    EXPECT_STREQ(label, "keep") << "a failing getter leaves the buffer";

    // Removing one of two entries keeps the watch; the second removal ends it.
    EXPECT_EQ(op->RemoveElementByIndex(0), S_OK);
    EXPECT_EQ(Dependents(a), 1);
    EXPECT_EQ(RefCount(a), aRefs + 1);
    ExpectEntry(op, 0, "none", nullptr);
    ExpectEntry(op, 1, "again", a);
    EXPECT_EQ(op->RemoveElement(a), S_OK);
    EXPECT_EQ(Dependents(a), 0);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(op->RemoveElement(a), S_OK) << "not listed";
    EXPECT_EQ(op->RemoveElement(nullptr), S_OK);
    EXPECT_EQ(op->RemoveElementByIndex(2), E_FAIL);
    EXPECT_EQ(op->RemoveElementByIndex(0), S_OK) << "a null entry goes too";
    ExpectEntry(op, 0, "quiet", b);

    // A destroyed element leaves a null entry with its label, and no watch.
    EXPECT_EQ(op->AppendElement(Text("x"), a), S_OK);
    EXPECT_EQ(op->AppendElement(Text("y"), a), S_OK);
    EXPECT_EQ(a->NotifyDependents(3), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumElements), 3);
    ExpectEntry(op, 1, "x", nullptr);
    ExpectEntry(op, 2, "y", nullptr);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(Dependents(a), 0);

    // Labels keep 1024 characters.
    const std::string longLabel(1500, 'L');
    EXPECT_EQ(op->AppendElement(Text(longLabel.c_str()), b), S_OK);
    ExpectEntry(op, 3, std::string(1024, 'L'), b);
    EXPECT_EQ(op->SetElementByLabel(Text(longLabel.c_str()), a), S_OK);
    ExpectEntry(op, 3, std::string(1024, 'L'), a); // found by its stored label
    EXPECT_EQ(op->RemoveElementByIndex(3), S_OK);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(op->AppendElement(Text("long"), b), S_OK);

    // The operation lets go as it ends.
    op->Release();
    EXPECT_EQ(RefCount(b), bRefs);
    EXPECT_EQ(Dependents(b), 0);
    a->Release();
    b->Release();
}

TEST_F(CustomOperations, SetElementByLabelMovesReferencesAndWatches)
{
    IAPCustomOperation12* op = NewCustom();
    IAPElement* a = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    IAPElement* b = New<IAPElement>(CLSID_APHoleFeature, IID_IAPElement);
    IAPElement* c = New<IAPElement>(CLSID_APSlotFeature, IID_IAPElement);
    const ULONG aRefs = RefCount(a), bRefs = RefCount(b), cRefs = RefCount(c);
    op->AppendElement(Text("x"), a);
    op->AppendElement(Text("y"), b);
    op->AppendElement(Text("x"), a);

    // The later of two equal labels is replaced; a stays watched through its other entry.
    EXPECT_EQ(op->SetElementByLabel(Text("x"), c), S_OK);
    ExpectEntry(op, 0, "x", a);
    ExpectEntry(op, 2, "x", c);
    EXPECT_EQ(RefCount(a), aRefs + 1);
    EXPECT_EQ(Dependents(a), 1);
    EXPECT_EQ(RefCount(c), cRefs + 1);
    EXPECT_EQ(Dependents(c), 1);

    // The only entry of b: b loses its reference and its watch.
    EXPECT_EQ(op->SetElementByLabel(Text("y"), c), S_OK);
    ExpectEntry(op, 1, "y", c);
    EXPECT_EQ(RefCount(b), bRefs);
    EXPECT_EQ(Dependents(b), 0);
    EXPECT_EQ(RefCount(c), cRefs + 2);

    // Replacing an element by itself changes no count.
    EXPECT_EQ(op->SetElementByLabel(Text("y"), c), S_OK);
    EXPECT_EQ(RefCount(c), cRefs + 2);
    EXPECT_EQ(Dependents(c), 1);

    // No match, or no element: nothing changes.
    EXPECT_EQ(op->SetElementByLabel(Text("z"), b), S_OK);
    EXPECT_EQ(op->SetElementByLabel(Text("x"), nullptr), S_OK);
    EXPECT_EQ(RefCount(b), bRefs);
    ExpectEntry(op, 2, "x", c);

    // A null entry (its element destroyed) takes a new one.
    EXPECT_EQ(a->NotifyDependents(3), S_OK);
    EXPECT_EQ(op->SetElementByLabel(Text("x"), b), S_OK);
    ExpectEntry(op, 0, "x", nullptr);
    ExpectEntry(op, 2, "x", b);
    EXPECT_EQ(RefCount(c), cRefs + 1);
    EXPECT_EQ(Dependents(c), 1);
    EXPECT_EQ(Dependents(b), 1);

    op->Release();
    EXPECT_EQ(RefCount(b), bRefs);
    EXPECT_EQ(RefCount(c), cRefs);
    EXPECT_EQ(Dependents(c), 0);
    for (IUnknown* p : std::initializer_list<IUnknown*>{a, b, c}) p->Release();
}

TEST_F(CustomOperations, MetadataPairs)
{
    IAPCustomOperation12* op = NewCustom();
    EXPECT_EQ(op->AppendMetaData(Text("unit"), Text("mm")), S_OK);
    EXPECT_EQ(op->AppendMetaData(Text("mode"), Text("fast")), S_OK);
    EXPECT_EQ(op->AppendMetaData(Text("kind"), Text("mm")), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumMetaData), 3);
    EXPECT_EQ(Metadata(op, 1), "mode=fast");
    EXPECT_EQ(Metadata(op, 3), "!");
    EXPECT_EQ(Metadata(op, -1), "!");

    // By value: the first pair whose second text matches; a first text does not count.
    EXPECT_EQ(op->RemoveMetaDataByValue(Text("unit")), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumMetaData), 3);
    EXPECT_EQ(op->RemoveMetaDataByValue(Text("mm")), S_OK);
    EXPECT_EQ(Metadata(op, 0), "mode=fast");
    EXPECT_EQ(Metadata(op, 1), "kind=mm");
    EXPECT_EQ(op->RemoveMetaDataByIndex(2), E_FAIL);
    EXPECT_EQ(op->RemoveMetaDataByIndex(0), S_OK);
    EXPECT_EQ(Metadata(op, 0), "kind=mm");

    // Texts keep 1024 characters each.
    const std::string longText(2000, 'm');
    op->AppendMetaData(Text(longText.c_str()), Text(longText.c_str()));
    const std::string kept(1024, 'm');
    EXPECT_EQ(Metadata(op, 1), kept + "=" + kept);
    EXPECT_EQ(op->RemoveMetaDataByValue(Text(longText.c_str())), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumMetaData), 1);
    op->Release();
}

TEST_F(CustomOperations, ResultsAndContributors)
{
    IAPCustomOperation12* op = NewCustom();
    long stored = -1;
    int n = -1, code = -1;
    double value = 0;
    EXPECT_EQ(op->SetNumDataCustom(5), S_OK);
    EXPECT_EQ(op->GetResultsStoredFlagCustom(&stored), S_OK);
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(op->GetNumDataCustom(&n), S_OK);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(op->SetRawDataByIndexCustom(4, 2.5), S_OK);
    EXPECT_EQ(op->GetRawDataByIndexCustom(4, &value), S_OK);
    EXPECT_EQ(value, 2.5);
    for (int bad : {5, -1}) {
        value = 0;
        EXPECT_EQ(op->GetRawDataByIndexCustom(bad, &value), E_FAIL) << bad;
        EXPECT_EQ(value, -800000.0) << bad;
        EXPECT_EQ(op->SetRawDataByIndexCustom(bad, 1.0), E_FAIL) << bad;
    }
    EXPECT_EQ(op->SetNumDataCustom(0), S_OK);
    EXPECT_EQ(op->GetResultsStoredFlagCustom(&stored), S_OK);
    EXPECT_EQ(stored, 0);

    // Two contributors with codes; details of contributor 0 at stride 2.
    EXPECT_EQ(op->AppendCustContribData2(Text("c0"), 0.5, 7), S_OK);
    EXPECT_EQ(op->AppendCustContribData2(Text("c1"), 0.25, 8), S_OK);
    EXPECT_EQ(op->SetCustomOperationContribDataDetails(Text("c0"), 10, 20, 30, 40, 0, 2), S_OK);
    EXPECT_EQ(op->SetCustomOperationContribDataDetails(Text("other"), 1, 1, 1, 1, 1, 2), S_OK) << "name differs";
    EXPECT_EQ(op->SetCustomOperationContribDataDetails(Text("c0"), 1, 1, 1, 1, 5, 2), S_OK) << "no name there";
    EXPECT_EQ(op->SetCustomOperationContribDataDetails(Text("c0"), 1, 1, 1, 1, 0, -1), E_FAIL);
    double d[4] = {};
    EXPECT_EQ(op->GetCustomOperationContribDataDetails(0, &d[0], &d[1], &d[2], &d[3]), S_OK);
    EXPECT_EQ(d[0], 10.0);
    EXPECT_EQ(d[1], 20.0);
    EXPECT_EQ(d[2], 30.0);
    EXPECT_EQ(d[3], 40.0);
    EXPECT_EQ(op->GetCustomOperationContribDataDetails(2, &d[0], &d[1], &d[2], &d[3]), E_FAIL);
    char name[32] = {};
    EXPECT_EQ(op->GetCustContribData2(1, Text(name), &value, &code), S_OK);
    EXPECT_STREQ(name, "c1");
    EXPECT_EQ(value, 0.25);
    EXPECT_EQ(code, 8);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetCustNumContribData), 2);

    // Removal tests the codes and takes code, value, name.
    EXPECT_EQ(op->RemoveCustContribDataByIndex(2), E_FAIL);
    EXPECT_EQ(op->RemoveCustContribDataByIndex(-1), E_FAIL);
    EXPECT_EQ(op->RemoveCustContribDataByIndex(0), S_OK);
    EXPECT_EQ(op->GetCustContribData(0, Text(name), &value), S_OK);
    EXPECT_STREQ(name, "c1");
    EXPECT_EQ(op->ClearCustomOperationContribValues(), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetCustNumContribData), 1) << "names stay, so values stay";
    EXPECT_EQ(op->ExtendCustomOperationContribValues(2), S_OK);

    // The alternates count their values.
    EXPECT_EQ(op->AppendCustomOperationAltContribData2(Text("a0"), 1.5, 2), S_OK);
    EXPECT_EQ(op->AppendCustomOperationAltContribData2(Text("a1"), 2.5, 3), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetCustomOperationNumAltContribData), 2);
    EXPECT_EQ(op->GetCustomOperationAltContribData2(1, Text(name), &value, &code), S_OK);
    EXPECT_STREQ(name, "a1");
    EXPECT_EQ(code, 3);
    EXPECT_EQ(op->RemoveCustomOperationAltContribDataByIndex(0), S_OK);
    EXPECT_EQ(op->GetCustomOperationAltContribData(0, Text(name), &value), S_OK);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(op->AppendCustomOperationAltContribData(Text("a2"), 3.5), S_OK);
    EXPECT_EQ(op->ExtendCustomOperationContribValues(1), S_OK);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetCustomOperationNumAltContribData), 2) << "not the main values";
    op->Release();
}

TEST_F(CustomOperations, WideStringHelpers)
{
    EXPECT_EQ(APCustomOperation::WideStringLength(nullptr), 0);
    EXPECT_EQ(APCustomOperation::WideStringLength(L"abc"), 3);

    BSTR out = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(APCustomOperation::TrimWideString(L" \t a  b \r\n", &out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, L"a  b");
    EXPECT_EQ(SysStringLen(out), 4u);
    SysFreeString(out);
    for (const wchar_t* blank : {static_cast<const wchar_t*>(nullptr), L"", L" \t\n "}) {
        out = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(APCustomOperation::TrimWideString(blank, &out), S_OK);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(APCustomOperation::TrimWideString(L"x", nullptr), E_FAIL);

    BSTR text = SysAllocString(L"  padded  ");
    EXPECT_EQ(APCustomOperation::TrimBstr(&text), S_OK);
    EXPECT_STREQ(text, L"padded");
    SysFreeString(text);

    // The caller's BSTR is replaced, whatever its size; a source over 1027 characters fails.
    BSTR small = SysAllocString(L"old");
    EXPECT_EQ(APCustomOperation::MultiByteToTrimmedBstr("  narrow text ", &small), S_OK);
    EXPECT_STREQ(small, L"narrow text");
    const std::string longest(1027, 'w'), tooLong(1028, 'w');
    EXPECT_EQ(APCustomOperation::MultiByteToTrimmedBstr(longest.c_str(), &small), S_OK);
    EXPECT_EQ(SysStringLen(small), 1027u);
    EXPECT_EQ(APCustomOperation::MultiByteToTrimmedBstr(tooLong.c_str(), &small), E_FAIL);
    EXPECT_EQ(SysStringLen(small), 1027u) << "a failure leaves the caller's string";
    EXPECT_EQ(APCustomOperation::MultiByteToTrimmedBstr("   ", &small), S_OK);
    EXPECT_EQ(small, nullptr);
    EXPECT_EQ(APCustomOperation::MultiByteToTrimmedBstr(nullptr, &small), E_FAIL);
}

TEST_F(CustomOperations, OnlyTheLimitAndRelativeSettersNotify)
{
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    struct Row {
        std::function<HRESULT(IAPCustomOperation12*)> call;
        const IID* notifies;
    } rows[] = {
        {[](IAPCustomOperation12* o) { return o->SetLowDesignLimitForCustom(1); }, &IID_IAPCustomOperation},
        {[](IAPCustomOperation12* o) { return o->SetHighDesignLimitForCustom(2); }, &IID_IAPCustomOperation},
        {[](IAPCustomOperation12* o) { return o->SetIsRelativeForCustom(1); }, &IID_IAPCustomOperation},
        {[](IAPCustomOperation12* o) { return o->SetActiveFlag(0); }, &IID_IAPOperation2},
        {[](IAPCustomOperation12* o) { return o->SetCustomOpType(AP_CUSTOM_MOVE); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->SetNameOfExtension(Text("n")); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->SetExtensionSetName(Text("s")); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->AppendMetaData(Text("k"), Text("v")); }, nullptr},
        {[&](IAPCustomOperation12* o) {
             HRESULT hr = o->AppendElement(Text("p"), pin);
             if (hr == S_OK) hr = o->SetElementByLabel(Text("p"), pin);
             return hr == S_OK ? o->RemoveElementByIndex(0) : hr;
         },
         nullptr},
        {[](IAPCustomOperation12* o) { return o->SetNumDataCustom(2); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->AppendCustContribData(Text("c"), 1); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->SetCustHLMVariance(1); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->SetExtraValue8(1); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->SetOption5(1); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->SetMoveFlag(1); }, nullptr},
        {[](IAPCustomOperation12* o) { return o->SetRefreshFlag(1); }, nullptr},
    };
    int i = 0;
    for (const Row& r : rows) {
        FakeDoc doc;
        IAPCustomOperation12* op = NewCustom();
        doc.Bind(op);
        EXPECT_EQ(r.call(op), S_OK) << i;
        const std::vector<IID> sent = doc.Take();
        if (r.notifies) {
            ASSERT_EQ(sent.size(), 1u) << i;
            EXPECT_TRUE(IsEqualIID(sent[0], *r.notifies)) << i;
        } else {
            EXPECT_TRUE(sent.empty()) << i;
        }
        IAPElement* e = Elem(op);
        e->BindDocument(nullptr);
        e->Release();
        op->Release();
        ++i;
    }
    EXPECT_EQ(Dependents(pin), 0);
    pin->Release();
}

TEST_F(CustomOperations, BlockVersions)
{
    for (int version = 1; version <= 14; ++version) {
        auto bytes = OperationBlock(CLSID_APCustomOperation, [&](WmObjectStream& s) { WriteCustom(s, version); });
        IAPElement* e = ReadBack(CLSID_APCustomOperation, bytes);
        ASSERT_NE(e, nullptr) << version;
        IAPCustomOperation12* op = Query<IAPCustomOperation12>(e, IID_IAPCustomOperation12);
        APCustomOperation* m = ModelOfCustom(e);
        const int v = version > 13 ? 13 : version;
        APCustomType type{};
        long flag = -1;
        int n = -1, option = -1, optionFlag = -1;
        double value = 0;
        char text[64] = {};
        op->GetCustomOpType(&type);
        EXPECT_EQ(type, AP_CUSTOM_MEAS) << version;
        op->IsLowDesignLimitSetForCustom(&flag);
        EXPECT_EQ(flag, 1) << version;
        op->GetLowDesignLimitOfCustom(&value);
        EXPECT_EQ(value, -1.5) << version;
        op->GetNameOfExtension(Text(text));
        EXPECT_STREQ(text, "ext") << version;
        m->GetOptionFlag(&optionFlag);
        EXPECT_EQ(optionFlag, v >= 4 ? 0 : 1) << version;
        EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumElements), 2) << version;
        ExpectEntry(op, 1, "b", nullptr);
        EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumMetaData), 1) << version;
        EXPECT_EQ(Metadata(op, 0), "k1=v1") << version;
        op->GetResultsStoredFlagCustom(&flag);
        EXPECT_EQ(flag, v >= 2 ? 1 : 0) << version;
        op->GetNumDataCustom(&n);
        EXPECT_EQ(n, v >= 2 ? 2 : 0) << version;
        EXPECT_EQ(Num(op, &IAPCustomOperation12::GetCustNumContribData), v >= 3 ? 1 : 0) << version;
        int code = -1;
        if (v >= 3) {
            EXPECT_EQ(op->GetCustContribData2(0, Text(text), &value, &code), S_OK) << version;
            EXPECT_EQ(value, 0.75) << version;
            EXPECT_EQ(code, v >= 5 ? 9 : 0) << version;
        }
        op->GetCustSimulatedNominal(&value);
        EXPECT_EQ(value, v >= 6 ? 5.5 : 0.0) << version;
        op->GetCustHLMVariance(&value);
        EXPECT_EQ(value, v >= 7 ? 0.0625 : -9999.0) << version;
        op->GetExtraValue8(&value);
        EXPECT_EQ(value, v >= 8 ? 8.0 : 0.0) << version;
        op->GetCustomOperationExtraValue4(&value);
        EXPECT_EQ(value, v >= 8 ? 4.0 : -9999.0) << version;
        EXPECT_EQ(Num(op, &IAPCustomOperation12::GetCustomOperationNumAltContribData), v >= 8 ? 2 : 0) << version;
        op->GetExtraValue7(&value);
        EXPECT_EQ(value, v >= 9 ? 7.0 : 0.0) << version;
        op->GetOption5(&option);
        EXPECT_EQ(option, v >= 12 ? 4 : v >= 10 ? 3 : 0) << version;
        op->GetMoveType(&n);
        EXPECT_EQ(n, v >= 11 ? 7 : 0) << version;
        op->GetRefreshDelay(&flag);
        EXPECT_EQ(flag, v >= 13 ? 0 : 1) << version;
        op->Release();
        e->Release();
    }

    // Results stored with a data count of 0 read back as not stored; the rest follows.
    auto none = OperationBlock(CLSID_APCustomOperation, [](WmObjectStream& s) { WriteCustom(s, 13, 1, 0); });
    IAPElement* e = ReadBack(CLSID_APCustomOperation, none);
    ASSERT_NE(e, nullptr);
    IAPCustomOperation12* op = Query<IAPCustomOperation12>(e, IID_IAPCustomOperation12);
    long stored = -1;
    int option = 0;
    op->GetResultsStoredFlagCustom(&stored);
    EXPECT_EQ(stored, 0);
    op->GetOption5(&option);
    EXPECT_EQ(option, 4);
    op->Release();
    e->Release();

    // A block cut anywhere fails to read, and leaves nothing behind.
    auto whole = OperationBlock(CLSID_APCustomOperation, [](WmObjectStream& s) { WriteCustom(s, 13); });
    for (std::size_t n = 0; n < whole.size(); ++n) {
        IAPElement* cut = New<IAPElement>(CLSID_APCustomOperation, IID_IAPElement);
        Reader r(whole, n);
        EXPECT_NE(cut->Deserialize(r.Handle()), S_OK) << n;
        cut->Release();
    }

    // Counts that the stream cannot hold fail the read: labels, elements, metadata, names.
    const std::vector<std::function<void(WmObjectStream&)>> bad = {
        [](WmObjectStream& s) { s.write(13), s.write(1), s.write(0), s.write(0), s.write(0), s.write(WmString("")), s.write(WmString("")), s.write(1), s.write(0x7fffffff); },
        [](WmObjectStream& s) { s.write(13), s.write(1), s.write(0), s.write(0), s.write(0), s.write(WmString("")), s.write(WmString("")), s.write(1), s.write(0), s.write(0x10000000); },
        [](WmObjectStream& s) { s.write(13), s.write(1), s.write(0), s.write(0), s.write(0), s.write(WmString("")), s.write(WmString("")), s.write(1), s.write(0), s.write(0), s.write(-1); },
        [](WmObjectStream& s) {
            s.write(13), s.write(1), s.write(0), s.write(0), s.write(0), s.write(WmString("")), s.write(WmString(""));
            s.write(1), s.write(0), s.write(0), s.write(0), s.write(0);
            s.write(1), s.write(1), s.write(0.0), s.write(0x40000000);
        },
    };
    for (const auto& body : bad) EXPECT_EQ(ReadBack(CLSID_APCustomOperation, OperationBlock(CLSID_APCustomOperation, body)), nullptr);
}

TEST_F(CustomOperations, ClonesCopyTheirSelection)
{
    IAPCustomOperation12* op = NewCustom();
    IAPElement* copy = New<IAPElement>(CLSID_APCustomOperation, IID_IAPElement);
    IAPElement* other = New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    op->SetNameOfExtension(Text("ext"));
    op->SetExtensionSetName(Text("set"));
    op->SetCustomOpType(AP_CUSTOM_MOVE);
    op->SetHighDesignLimitForCustom(3.5);
    op->SetCustSimulatedNominal(1.25);
    op->SetCustProcessStdDev(0.5);
    op->SetCustHLMVariance(0.75);
    op->SetCustomOperationExtraValue4(4);
    op->SetExtraValue8(8);
    op->SetExtraValue6(6);
    op->SetOption5(5);
    op->SetIsRelativeForCustom(1);
    op->SetMoveType(2);
    op->AppendElement(Text("p"), pin);
    op->AppendMetaData(Text("k"), Text("v"));
    op->AppendCustContribData2(Text("c"), 1, 1);
    IAPElement* source = Elem(op);
    EXPECT_EQ(source->Clone(copy), S_OK);
    EXPECT_EQ(source->Clone(other), E_FAIL);
    source->Release();

    IAPCustomOperation12* c = Query<IAPCustomOperation12>(copy, IID_IAPCustomOperation12);
    char text[16] = {};
    c->GetNameOfExtension(Text(text));
    EXPECT_STREQ(text, "ext");
    c->GetExtensionSetName(Text(text));
    EXPECT_STREQ(text, "set");
    APCustomType type{};
    c->GetCustomOpType(&type);
    EXPECT_EQ(type, AP_CUSTOM_MOVE);
    long flag = -1;
    c->IsHighDesignLimitSetForCustom(&flag);
    EXPECT_EQ(flag, 1);
    const std::pair<DoubleGetter, double> values[] = {
        {&IAPCustomOperation12::GetHighDesignLimitOfCustom, 3.5}, {&IAPCustomOperation12::GetCustSimulatedNominal, 1.25},
        {&IAPCustomOperation12::GetCustProcessStdDev, 0.5},       {&IAPCustomOperation12::GetCustHLMVariance, 0.75},
        {&IAPCustomOperation12::GetCustomOperationExtraValue4, 4}, {&IAPCustomOperation12::GetExtraValue8, 8},
        {&IAPCustomOperation12::GetExtraValue6, 0},
    };
    for (const auto& [get, expected] : values) {
        double value = -1;
        (c->*get)(&value);
        EXPECT_EQ(value, expected);
    }
    int n = -1;
    c->GetOption5(&n);
    EXPECT_EQ(n, 5);
    c->GetIsRelativeOfCustom(&flag);
    EXPECT_EQ(flag, 0);
    c->GetMoveType(&n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Num(c, &IAPCustomOperation12::GetNumElements), 0);
    EXPECT_EQ(Num(c, &IAPCustomOperation12::GetNumMetaData), 0);
    EXPECT_EQ(Num(c, &IAPCustomOperation12::GetCustNumContribData), 0);
    for (IUnknown* p : std::initializer_list<IUnknown*>{c, op, copy, other, pin}) p->Release();
}

TEST_F(CustomOperations, AConditionMeasuresThroughACustomMeasurement)
{
    IAPCondition* condition = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
    IAPCustomOperation12* op = NewCustom();
    op->SetCustomOpType(AP_CUSTOM_MEAS);
    IAPOperation* asOperation = Query<IAPOperation>(op, IID_IAPOperation);
    ASSERT_EQ(condition->SetMeasurement1(asOperation), S_OK);
    IAPElement* element = nullptr;
    APMeasType type = AP_TYPE_UNKNOWN;
    EXPECT_EQ(condition->GetMeasurement1Element(&element, &type), S_OK);
    EXPECT_EQ(type, AP_TYPE_CUSTOM);
    EXPECT_TRUE(Same(element, op));
    Release(element);
    condition->RemoveMeasurement1(asOperation);
    for (IUnknown* p : std::initializer_list<IUnknown*>{asOperation, op, condition}) p->Release();
}

TEST_F(CustomOperations, RoundTripThroughTheDocumentFile)
{
    using doc_test::NewNode;
    const std::string path = doc_test::TempPath("custom");
    const std::string longName(300, 'e');
    {
        IAPDocument6* doc = doc_test::NewDocument();
        IAPNode* top = NewNode(doc, CLSID_APAssemblyNode, "top");
        IAPNode* custom = NewNode(doc, CLSID_APCustomOperation, "custom");
        IAPNode* later = NewNode(doc, CLSID_APPartNode, "later");
        IAPElement* gone = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
        ASSERT_EQ(doc->AddChild(top, custom), S_OK);
        ASSERT_EQ(doc->AddChild(top, later), S_OK);
        IAPCustomOperation12* op = Query<IAPCustomOperation12>(custom, IID_IAPCustomOperation12);
        IAPElement* topElement = Elem(top);
        IAPElement* laterElement = Elem(later);
        op->AppendElement(Text("later"), laterElement);
        op->AppendElement(Text("parent"), topElement);
        op->AppendElement(Text("gone"), gone);
        op->AppendElement(Text("again"), laterElement);
        gone->NotifyDependents(3);
        op->AppendMetaData(Text("unit"), Text("mm"));
        op->AppendMetaData(Text(longName.c_str()), Text(std::string(1500, 'm').c_str()));
        op->SetNameOfExtension(Text(longName.c_str()));
        op->SetExtensionSetName(Text("set"));
        op->SetCustomOpType(AP_CUSTOM_MEAS);
        op->SetLowDesignLimitForCustom(-2);
        op->SetNumDataCustom(3);
        op->SetRawDataByIndexCustom(2, 9.5);
        op->AppendCustContribData2(Text("c0"), 0.5, 4);
        op->AppendCustContribData2(Text("c1"), 0.25, 5);
        op->SetCustomOperationContribDataDetails(Text("c0"), 10, 20, 30, 40, 0, 2);
        op->AppendCustomOperationAltContribData2(Text("alt"), 1.5, 6);
        op->SetCustHLMVariance(0.125);
        op->SetExtraValue7(7);
        op->SetOption5(11);
        op->SetRefreshTo(9);
        ASSERT_EQ(doc->SetProcessName(Text("custom")), S_OK);
        ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
        // The operation lists its own parent: that entry goes before the nodes do.
        op->RemoveElementByIndex(1);
        for (IUnknown* p : std::initializer_list<IUnknown*>{op, topElement, laterElement, gone, top, custom, later})
            p->Release();
        doc->Release();
    }
    IAPDocument6* doc = doc_test::NewDocument();
    ASSERT_EQ(doc->OpenDocument(Text(path.c_str())), S_OK);
    IAPNode* top = doc_test::RootAt(doc, 0);
    ASSERT_NE(top, nullptr);
    IAPNode *custom = nullptr, *later = nullptr;
    ASSERT_EQ(top->GetChild(0, &custom), S_OK);
    ASSERT_EQ(top->GetChild(1, &later), S_OK);
    IAPCustomOperation12* op = Query<IAPCustomOperation12>(custom, IID_IAPCustomOperation12);
    EXPECT_EQ(Num(op, &IAPCustomOperation12::GetNumElements), 4);
    ExpectEntry(op, 0, "later", later);
    ExpectEntry(op, 1, "parent", top);
    ExpectEntry(op, 2, "gone", nullptr);
    ExpectEntry(op, 3, "again", later);
    EXPECT_EQ(Dependents(later), 1) << "an element that comes later in the file is kept and watched once";
    EXPECT_EQ(Dependents(top), 0) << "the operation's own ancestor is held but not watched";
    EXPECT_EQ(Metadata(op, 0), "unit=mm");
    EXPECT_EQ(Metadata(op, 1), longName + "=" + std::string(1023, 'm')) << "texts are read into 1024 bytes";
    char name[400] = {};
    op->GetNameOfExtension(Text(name));
    EXPECT_EQ(std::string(name), std::string(255, 'e'));
    long flag = -1;
    op->IsLowDesignLimitSetForCustom(&flag);
    EXPECT_EQ(flag, 1);
    double value = 0, d[4] = {};
    int n = 0, code = 0;
    EXPECT_EQ(op->GetRawDataByIndexCustom(2, &value), S_OK);
    EXPECT_EQ(value, 9.5);
    EXPECT_EQ(op->GetCustomOperationContribDataDetails(0, &d[0], &d[1], &d[2], &d[3]), S_OK);
    EXPECT_EQ(d[3], 40.0);
    EXPECT_EQ(op->GetCustomOperationAltContribData2(0, Text(name), &value, &code), S_OK);
    EXPECT_STREQ(name, "alt");
    EXPECT_EQ(code, 6);
    op->GetCustHLMVariance(&value);
    EXPECT_EQ(value, 0.125);
    op->GetExtraValue7(&value);
    EXPECT_EQ(value, 7.0);
    op->GetOption5(&n);
    EXPECT_EQ(n, 11);
    op->GetRefreshTo(&n);
    EXPECT_EQ(n, 9);
    EXPECT_EQ(op->RemoveElementByIndex(1), S_OK);
    for (IUnknown* p : std::initializer_list<IUnknown*>{op, top, custom, later}) p->Release();
    doc->Release();
    DeleteFileA(path.c_str());
}
