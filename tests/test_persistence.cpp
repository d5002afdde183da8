#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/moniker/MkMoniker.h"
#include "property_test_support.h"

using namespace plenvort_test;

namespace {

using Persistence = ObjectsTest;

// An element whose stand-in wrapper plays the COM object every model object has.
struct WrappedElement : TestElement {
    Counted wrapper;
    WrappedElement() { SetComObject(wrapper.AsElement()); }
};

std::vector<unsigned char> Save(APElement& e, HRESULT* result = nullptr)
{
    MemoryObjectStream out;
    HRESULT hr = e.Serialize(&out.stream);
    if (result) *result = hr;
    else EXPECT_EQ(hr, S_OK);
    return out.bytes.Bytes();
}

// Reads a block into `e`, whose wrapper stands in for the one written; the stream must end
// with the block.
HRESULT Load(APElement& e, const std::vector<unsigned char>& bytes, bool wholeBlock = true)
{
    MemoryObjectStream in(bytes);
    HRESULT hr = e.Deserialize(&in.stream);
    if (hr == S_OK && wholeBlock) {
        EXPECT_TRUE(in.AtEnd()) << "the block was read to its end";
    }
    return hr;
}

// The head of a hand-built block up to field 15, for `version` (9 or later).
void Head(BlockBuilder& b, int version)
{
    b.I(version).I(12).S("name").S("description");
    if (version >= 13) b.S("nine");
    if (version >= 12) b.I(108);
    if (version >= 11) b.I(138);
    if (version >= 10) b.I(137);
    if (version >= 9) b.I(0).I(1); // 34 and 35, below 3
    b.I(132).I(133).I(136).S("thirty-one").I(130);
}

// Group A of a hand-built block, flag included.
void GroupA(BlockBuilder& b, int version)
{
    b.I(1);
    b.I(102).I(106).I(107).F(14.5f).I(115).I(116).I(117).F(18.5f).I(119).I(120).I(121);
    b.Array({22, 23}).I(231).I(232).I(233).Array({24});
    if (version >= 5) b.I(126).D(25.5).D(271).D(272).D(273).D(281).D(282).D(283);
    if (version >= 15) b.I(104).I(103);
    if (version >= 16) b.I(105);
}

void Checks34And35AreAtLeast3(APElement& e)
{
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting34), 3);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting35), 3);
}

// Gives every setting of an element a value other than its default.
void SetEverything(APElement& e)
{
    e.SetCost(44);
    e.SetName("Bracket");
    e.SetDescription("left-hand bracket");
    e.SetPreviousName("old");
    e.SetVectorSetting1(1.5, 2.5, 3.5);
    int n = 2;
    for (auto set : {&APElement::SetIntSetting2, &APElement::SetIntSetting3, &APElement::SetIntSetting4,
                     &APElement::SetIntSetting5, &APElement::SetIntSetting6, &APElement::SetIntSetting7,
                     &APElement::SetIntSetting8})
        (e.*set)(200 + n++);
    e.SetStringSetting9("nine");
    e.SetFloatSetting14(14.25f);
    e.SetIntSetting15(215);
    e.SetIntSetting16(216);
    e.SetIntSetting17(217);
    e.SetFloatSetting18(18.25f);
    e.SetIntSetting19(219);
    e.SetIntSetting20(220);
    e.SetIntSetting21(221);
    const int a22[] = {1, 2, 3};
    e.SetIntArraySetting22(3, a22);
    e.SetIntTripleSetting23(231, 232, 233);
    const int a24[] = {24};
    e.SetIntArraySetting24(1, a24);
    e.SetDoubleSetting25(25.25);
    e.SetIntSetting26(226);
    const double v27[] = {27.1, 27.2, 27.3}, v28[] = {28.1, 28.2, 28.3};
    e.SetVectorSetting27(v27);
    e.SetVectorSetting28(v28);
    e.SetIntSetting30(230);
    e.SetStringSetting31("thirty-one");
    for (auto [set, v] : std::vector<std::pair<HRESULT (APElement::*)(int), int>>{
             {&APElement::SetIntSetting32, 232}, {&APElement::SetIntSetting33, 233}, {&APElement::SetIntSetting34, 234},
             {&APElement::SetIntSetting35, 235}, {&APElement::SetIntSetting36, 236}, {&APElement::SetIntSetting37, 237},
             {&APElement::SetIntSetting38, 238}, {&APElement::SetIntSetting48, 248}, {&APElement::SetIntSetting49, 249},
             {&APElement::SetIntSetting53, 253}, {&APElement::SetIntSetting54, 254}, {&APElement::SetIntSetting55, 255},
             {&APElement::SetIntSetting56, 256}, {&APElement::SetIntSetting58, 258}, {&APElement::SetIntSetting59, 259},
             {&APElement::SetIntSetting60, 260}, {&APElement::SetIntSetting61, 261}, {&APElement::SetIntSetting62, 262},
             {&APElement::SetIntSetting63, 263}, {&APElement::SetIntSetting65, 265}, {&APElement::SetIntSetting67, 267}})
        (e.*set)(v);
    e.SetDocUnits(AP_UNIT_MILES);
    e.SetStringSetting47("forty-seven");
    e.SetFloatTripleSetting50(50.5f, 50.25f, 50.125f);
    e.SetDoubleSetting51(51.5);
    const int a52[] = {5, 2};
    e.SetIntArraySetting52(2, a52);
    e.SetDoubleSetting57(57.5);
    e.SetDoubleSetting64(64.5);
    e.SetIntSeptupleSetting68(1, 2, 3, 4, 5, 6, 7);
    const int a69[] = {6, 9, 69};
    e.SetIntArraySetting69(3, a69);
}

// Compares every persisted field of two elements.
void ExpectSamePersistedFields(APElement& a, APElement& b)
{
    int ca = 0, cb = 1;
    a.GetCost(&ca);
    b.GetCost(&cb);
    EXPECT_EQ(ca, cb);
    CString sa, sb;
    a.GetName(sa);
    b.GetName(sb);
    EXPECT_EQ(sa, sb);
    a.GetDescription(sa);
    b.GetDescription(sb);
    EXPECT_EQ(sa, sb);
    a.GetStringSetting31(sa);
    b.GetStringSetting31(sb);
    EXPECT_EQ(sa, sb);
    char ta[64], tb[64];
    a.GetStringSetting9(ta);
    b.GetStringSetting9(tb);
    EXPECT_STREQ(ta, tb);
    a.GetStringSetting47(ta);
    b.GetStringSetting47(tb);
    EXPECT_STREQ(ta, tb);
    for (auto get : {&APElement::GetIntSetting2,  &APElement::GetIntSetting3,  &APElement::GetIntSetting4,
                     &APElement::GetIntSetting5,  &APElement::GetIntSetting6,  &APElement::GetIntSetting7,
                     &APElement::GetIntSetting8,  &APElement::GetIntSetting15, &APElement::GetIntSetting16,
                     &APElement::GetIntSetting17, &APElement::GetIntSetting19, &APElement::GetIntSetting20,
                     &APElement::GetIntSetting21, &APElement::GetIntSetting26, &APElement::GetIntSetting30,
                     &APElement::GetIntSetting32, &APElement::GetIntSetting33, &APElement::GetIntSetting34,
                     &APElement::GetIntSetting35, &APElement::GetIntSetting36, &APElement::GetIntSetting37,
                     &APElement::GetIntSetting38, &APElement::GetIntSetting48, &APElement::GetIntSetting49,
                     &APElement::GetIntSetting53, &APElement::GetIntSetting54, &APElement::GetIntSetting55,
                     &APElement::GetIntSetting56, &APElement::GetIntSetting58, &APElement::GetIntSetting59,
                     &APElement::GetIntSetting60, &APElement::GetIntSetting61, &APElement::GetIntSetting62,
                     &APElement::GetIntSetting63, &APElement::GetIntSetting65, &APElement::GetIntSetting67})
        EXPECT_EQ(IntSetting(a, get), IntSetting(b, get));
    for (auto get : {&APElement::GetIntArraySetting22, &APElement::GetIntArraySetting24,
                     &APElement::GetIntArraySetting52, &APElement::GetIntArraySetting69})
        EXPECT_EQ(ArraySetting(a, get), ArraySetting(b, get));
    float fa = 0, fb = 1;
    a.GetFloatSetting14(&fa);
    b.GetFloatSetting14(&fb);
    EXPECT_EQ(fa, fb);
    a.GetFloatSetting18(&fa);
    b.GetFloatSetting18(&fb);
    EXPECT_EQ(fa, fb);
    for (auto get : {&APElement::GetDoubleSetting25, &APElement::GetDoubleSetting51, &APElement::GetDoubleSetting57,
                     &APElement::GetDoubleSetting64}) {
        double da = 0, db = 1;
        (a.*get)(&da);
        (b.*get)(&db);
        EXPECT_EQ(da, db);
    }
    double va[3], vb[3];
    a.GetVectorSetting1(&va[0], &va[1], &va[2]);
    b.GetVectorSetting1(&vb[0], &vb[1], &vb[2]);
    EXPECT_EQ(std::vector<double>(va, va + 3), std::vector<double>(vb, vb + 3));
    a.GetVectorSetting27(va);
    b.GetVectorSetting27(vb);
    EXPECT_EQ(std::vector<double>(va, va + 3), std::vector<double>(vb, vb + 3));
    a.GetVectorSetting28(va);
    b.GetVectorSetting28(vb);
    EXPECT_EQ(std::vector<double>(va, va + 3), std::vector<double>(vb, vb + 3));
    int ia[7], ib[7];
    a.GetIntTripleSetting23(&ia[0], &ia[1], &ia[2]);
    b.GetIntTripleSetting23(&ib[0], &ib[1], &ib[2]);
    EXPECT_EQ(std::vector<int>(ia, ia + 3), std::vector<int>(ib, ib + 3));
    a.GetIntSeptupleSetting68(&ia[0], &ia[1], &ia[2], &ia[3], &ia[4], &ia[5], &ia[6]);
    b.GetIntSeptupleSetting68(&ib[0], &ib[1], &ib[2], &ib[3], &ib[4], &ib[5], &ib[6]);
    EXPECT_EQ(std::vector<int>(ia, ia + 7), std::vector<int>(ib, ib + 7));
    float pa[3], pb[3];
    a.GetFloatTripleSetting50(&pa[0], &pa[1], &pa[2]);
    b.GetFloatTripleSetting50(&pb[0], &pb[1], &pb[2]);
    EXPECT_EQ(std::vector<float>(pa, pa + 3), std::vector<float>(pb, pb + 3));
    APDocUnits ua = AP_UNIT_UNKNOWN, ub = AP_UNIT_COUNT;
    a.GetDocUnits(&ua);
    b.GetDocUnits(&ub);
    EXPECT_EQ(ua, ub);
}

class RecordingDependent : public UnqueryableFake<IAPElementSink> {
public:
    HRESULT STDMETHODCALLTYPE Notify(unsigned long, IAPElement*) override { return S_OK; }
};

// A document that records the copy map's entries; it also stands as the elements' sink.
class RecordingDocument : public DocumentStub, public IAPDocEventSink {
public:
    LONG refs = 1;
    std::vector<std::pair<IAPElement*, IAPElement*>> recorded;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IAPDocument) *out = static_cast<IAPDocument*>(this);
        else if (iid == IID_IAPDocEventSink) *out = static_cast<IAPDocEventSink*>(this);
        else return E_NOINTERFACE;
        ++refs;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE Notify(unsigned short, IAPElement*, unsigned long, unsigned char*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RecordElement(IAPElement* from, IAPElement* to) override
    {
        recorded.emplace_back(from, to);
        return S_OK;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------
// The written block

TEST_F(Persistence, ANewElementsBlockFieldByField)
{
    WrappedElement e;
    BlockReaderForTest r(Save(e));
    EXPECT_EQ(r.I(), 27) << "format version";
    EXPECT_EQ(r.I(), -1) << "cost";
    EXPECT_EQ(r.S(), "") << "name";
    EXPECT_EQ(r.S(), "") << "description";
    EXPECT_EQ(r.S(), "") << "string setting 9";
    EXPECT_EQ(r.I(), 0) << "setting 8";
    EXPECT_EQ(r.I(), 0) << "setting 38";
    EXPECT_EQ(r.I(), 1) << "setting 37";
    EXPECT_EQ(r.I(), 3) << "setting 34";
    EXPECT_EQ(r.I(), 3) << "setting 35";
    EXPECT_EQ(r.I(), 0) << "setting 32";
    EXPECT_EQ(r.I(), 0) << "setting 33";
    EXPECT_EQ(r.I(), 0) << "setting 36";
    EXPECT_EQ(r.S(), "") << "string setting 31";
    EXPECT_EQ(r.I(), 2) << "setting 30";
    EXPECT_EQ(r.I(), 0) << "settings-changed flag; no group A follows";
    EXPECT_EQ(r.D(), 0.0) << "vector setting 1";
    EXPECT_EQ(r.D(), 0.0);
    EXPECT_EQ(r.D(), 0.0);
    EXPECT_EQ(r.I(), 1) << "pointer number of the wrapper";
    EXPECT_EQ(r.I(), 0) << "property count";
    EXPECT_EQ(r.I(), 0) << "moniker length";
    EXPECT_EQ(r.S(), "") << "string setting 47";
    EXPECT_EQ(r.I(), 1) << "setting 48";
    EXPECT_EQ(r.I(), 0) << "units";
    EXPECT_EQ(r.I(), 0) << "setting 49";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r.F(), -9999.0f) << "setting 50";
    EXPECT_EQ(r.D(), 1.0) << "setting 51";
    EXPECT_EQ(r.Array(), ZeroTo37()) << "setting 52";
    for (int n = 53; n <= 56; ++n) EXPECT_EQ(r.I(), 2) << "setting " << n;
    EXPECT_EQ(r.I(), 1) << "setting 58";
    EXPECT_EQ(r.D(), -1.0) << "setting 57";
    EXPECT_EQ(r.I(), 0) << "setting 59";
    EXPECT_EQ(r.I(), 1) << "setting 60";
    for (int n = 61; n <= 63; ++n) EXPECT_EQ(r.I(), 0) << "setting " << n;
    EXPECT_EQ(r.D(), 10.0) << "setting 64";
    EXPECT_EQ(r.I(), 0) << "setting 65";
    EXPECT_EQ(r.I(), 0) << "setting 67";
    const int s68[] = {1, 1, 0, 1, 1, 1, 1};
    for (int v : s68) EXPECT_EQ(r.I(), v) << "setting 68";
    EXPECT_EQ(r.Array(), std::vector<int>{-1}) << "setting 69";
    EXPECT_TRUE(r.AtEnd());
}

TEST_F(Persistence, GroupAInOrderWhenTheElementIsMarked)
{
    WrappedElement e;
    SetEverything(e);
    ASSERT_EQ(e.GetSettingsChangedFlag(), 1);
    BlockReaderForTest r(Save(e));
    EXPECT_EQ(r.I(), 27);
    EXPECT_EQ(r.I(), 44);
    EXPECT_EQ(r.S(), "Bracket");
    EXPECT_EQ(r.S(), "left-hand bracket");
    EXPECT_EQ(r.S(), "nine");
    EXPECT_EQ(r.I(), 208);
    EXPECT_EQ(r.I(), 238);
    EXPECT_EQ(r.I(), 237);
    EXPECT_EQ(r.I(), 234);
    EXPECT_EQ(r.I(), 235);
    EXPECT_EQ(r.I(), 232);
    EXPECT_EQ(r.I(), 233);
    EXPECT_EQ(r.I(), 236);
    EXPECT_EQ(r.S(), "thirty-one");
    EXPECT_EQ(r.I(), 230);
    EXPECT_EQ(r.I(), 1);
    // Group A.
    EXPECT_EQ(r.I(), 202);
    EXPECT_EQ(r.I(), 206);
    EXPECT_EQ(r.I(), 207);
    EXPECT_EQ(r.F(), 14.25f);
    EXPECT_EQ(r.I(), 215);
    EXPECT_EQ(r.I(), 216);
    EXPECT_EQ(r.I(), 217);
    EXPECT_EQ(r.F(), 18.25f);
    EXPECT_EQ(r.I(), 219);
    EXPECT_EQ(r.I(), 220);
    EXPECT_EQ(r.I(), 221);
    EXPECT_EQ(r.Array(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(r.I(), 231);
    EXPECT_EQ(r.I(), 232);
    EXPECT_EQ(r.I(), 233);
    EXPECT_EQ(r.Array(), std::vector<int>{24});
    EXPECT_EQ(r.I(), 226);
    EXPECT_EQ(r.D(), 25.25);
    for (double v : {27.1, 27.2, 27.3, 28.1, 28.2, 28.3}) EXPECT_EQ(r.D(), v);
    EXPECT_EQ(r.I(), 204) << "setting 4 before setting 3";
    EXPECT_EQ(r.I(), 203);
    EXPECT_EQ(r.I(), 205);
    // Vector setting 1 and the rest.
    EXPECT_EQ(r.D(), 1.5);
    EXPECT_EQ(r.D(), 2.5);
    EXPECT_EQ(r.D(), 3.5);
    EXPECT_EQ(r.I(), 1);
    EXPECT_EQ(r.I(), 0);
    EXPECT_EQ(r.I(), 0);
    EXPECT_EQ(r.S(), "forty-seven");
    EXPECT_EQ(r.I(), 248);
    EXPECT_EQ(r.I(), AP_UNIT_MILES);
    EXPECT_EQ(r.I(), 249);
    EXPECT_EQ(r.F(), 50.5f);
    EXPECT_EQ(r.F(), 50.25f);
    EXPECT_EQ(r.F(), 50.125f);
    EXPECT_EQ(r.D(), 51.5);
    EXPECT_EQ(r.Array(), (std::vector<int>{5, 2}));
    for (int v : {253, 254, 255, 256, 258}) EXPECT_EQ(r.I(), v);
    EXPECT_EQ(r.D(), 57.5);
    for (int v : {259, 260, 261, 262, 263}) EXPECT_EQ(r.I(), v);
    EXPECT_EQ(r.D(), 64.5);
    EXPECT_EQ(r.I(), 265);
    EXPECT_EQ(r.I(), 267);
    for (int v = 1; v <= 7; ++v) EXPECT_EQ(r.I(), v);
    EXPECT_EQ(r.Array(), (std::vector<int>{6, 9, 69}));
    EXPECT_TRUE(r.AtEnd());
}

TEST_F(Persistence, RoundTripKeepsEveryPersistedFieldAndNothingElse)
{
    TestElement a;
    Counted wrapperA;
    a.SetComObject(wrapperA.AsElement());
    SetEverything(a);
    a.SetIntSetting10(1);
    a.SetDoubleSetting29(5.0);
    a.SetIntSetting66(5);
    std::vector<unsigned char> bytes = Save(a);

    TestElement b;
    Counted wrapperB;
    b.SetComObject(wrapperB.AsElement());
    ASSERT_EQ(Load(b, bytes), S_OK);
    ExpectSamePersistedFields(a, b);
    EXPECT_EQ(b.GetSettingsChangedFlag(), 1);
    CString previous;
    b.GetPreviousName(previous);
    EXPECT_TRUE(previous.IsEmpty()) << "the previous name is not persisted";
    EXPECT_EQ(IntSetting(b, &APElement::GetIntSetting10), -1);
    EXPECT_EQ(IntSetting(b, &APElement::GetIntSetting66), 0);
    double d29 = 0;
    b.GetDoubleSetting29(&d29);
    EXPECT_EQ(d29, 1.0);

    // Written again, the block is the same.
    EXPECT_EQ(Save(b), bytes);
}

TEST_F(Persistence, ChangedGroupAValuesSurviveEvenWhenTheirSetterLeavesTheFlag)
{
    using Set = std::function<void(APElement&)>;
    using Check = std::function<void(APElement&)>;
    const std::vector<std::pair<Set, Check>> cases = {
        {[](APElement& e) { e.SetIntSetting3(33); },
         [](APElement& e) { EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting3), 33); }},
        {[](APElement& e) { e.SetIntSetting4(44); },
         [](APElement& e) { EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting4), 44); }},
        {[](APElement& e) { e.SetIntSetting5(0); },
         [](APElement& e) { EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting5), 0); }},
        {[](APElement& e) { e.SetDoubleSetting25(2.5); },
         [](APElement& e) {
             double d = 0;
             e.GetDoubleSetting25(&d);
             EXPECT_EQ(d, 2.5);
         }},
        {[](APElement& e) { e.SetIntSetting26(26); },
         [](APElement& e) { EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting26), 26); }},
        {[](APElement& e) {
             const double v[] = {0, 0, 1};
             e.SetVectorSetting27(v);
         },
         [](APElement& e) {
             double v[3];
             e.GetVectorSetting27(v);
             EXPECT_EQ(v[2], 1.0);
         }},
        {[](APElement& e) {
             const double v[] = {0, -1, 0};
             e.SetVectorSetting28(v);
         },
         [](APElement& e) {
             double v[3];
             e.GetVectorSetting28(v);
             EXPECT_EQ(v[1], -1.0);
         }},
    };
    int i = 0;
    for (const auto& [set, check] : cases) {
        SCOPED_TRACE(i++);
        WrappedElement a;
        set(a);
        EXPECT_EQ(a.GetSettingsChangedFlag(), 0) << "the setter itself leaves the flag";
        std::vector<unsigned char> bytes = Save(a);
        EXPECT_EQ(a.GetSettingsChangedFlag(), 0) << "saving does not mark the element";
        TestElement b;
        b.SetComObject(a.wrapper.AsElement());
        ASSERT_EQ(Load(b, bytes), S_OK);
        check(b);
    }

    // Values set back to their defaults need no group.
    WrappedElement e;
    e.SetIntSetting3(5);
    e.SetIntSetting3(-1);
    BlockReaderForTest r(Save(e));
    for (int f = 0; f < 15; ++f) (f == 2 || f == 3 || f == 4 || f == 13) ? (void)r.S() : (void)r.I();
    EXPECT_EQ(r.I(), 0) << "flag 0 and no group";
    EXPECT_EQ(r.D(), 0.0);
}

TEST_F(Persistence, NoWrapperNoBlock)
{
    TestElement e;
    HRESULT hr = S_OK;
    std::vector<unsigned char> bytes = Save(e, &hr);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_FALSE(bytes.empty()) << "fields up to vector setting 1 were written";

    WrappedElement withWrapper;
    withWrapper.SetName("kept");
    std::vector<unsigned char> good = Save(withWrapper);
    TestElement reader;
    reader.SetName("mine");
    EXPECT_EQ(Load(reader, good), E_FAIL);
    CString name;
    reader.GetName(name);
    EXPECT_EQ(name, "mine");

    EXPECT_EQ(reader.Serialize(nullptr), E_FAIL);
    EXPECT_EQ(reader.Deserialize(nullptr), E_FAIL);
}

TEST_F(Persistence, WrapperNumberRegistersTheNewWrapper)
{
    // Two elements on one stream get numbers 1 and 2; read back, the numbers resolve to the
    // new wrappers.
    TestElement a, b;
    Counted wa, wb;
    a.SetComObject(wa.AsElement());
    b.SetComObject(wb.AsElement());
    MemoryObjectStream out;
    ASSERT_EQ(a.Serialize(&out.stream), S_OK);
    ASSERT_EQ(b.Serialize(&out.stream), S_OK);

    MemoryObjectStream in(out.bytes.Bytes());
    IAPElement* first = nullptr;
    IAPElement* second = nullptr;
    in.stream.ptrFromNum(1, &first);
    in.stream.ptrFromNum(2, &second);
    TestElement a2, b2;
    Counted wa2, wb2;
    a2.SetComObject(wa2.AsElement());
    b2.SetComObject(wb2.AsElement());
    ASSERT_EQ(a2.Deserialize(&in.stream), S_OK);
    ASSERT_EQ(b2.Deserialize(&in.stream), S_OK);
    EXPECT_EQ(first, wa2.AsElement());
    EXPECT_EQ(second, wb2.AsElement());
    EXPECT_TRUE(in.AtEnd());
}

TEST_F(Persistence, MonikerBlob)
{
    IORVDataMoniker* m = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\jobs\\door.pdo", &m), S_OK);
    unsigned long size = 0;
    ASSERT_EQ(MkGetSizeMax(m, &size), S_OK);
    std::vector<unsigned char> blob(size);
    ASSERT_EQ(MkSave(m, blob.data(), 1, size), S_OK);

    WrappedElement a;
    a.SetObjectSetting13(m);
    std::vector<unsigned char> bytes = Save(a);

    // Field 21 holds the saved moniker.
    BlockReaderForTest r(bytes);
    for (int f = 0; f < 16; ++f) (f == 2 || f == 3 || f == 4 || f == 13) ? (void)r.S() : (void)r.I();
    r.D(), r.D(), r.D();
    r.I();
    EXPECT_EQ(r.I(), 0);
    EXPECT_EQ(r.I(), static_cast<int>(size));
    std::vector<unsigned char> stored(size);
    ASSERT_TRUE(r.data.read(stored.data(), static_cast<std::uint32_t>(size)));
    EXPECT_EQ(stored, blob);

    TestElement b;
    b.SetComObject(a.wrapper.AsElement());
    ASSERT_EQ(Load(b, bytes), S_OK);
    IORVDataMoniker* back = nullptr;
    b.GetObjectSetting13(&back);
    ASSERT_NE(back, nullptr);
    EXPECT_NE(back, m) << "a moniker of its own";
    EXPECT_EQ(std::string(MkGetPath(back).GetString()), "C:\\jobs\\door.pdo");
    back->Release();

    // A block without a moniker takes away the one the element held.
    TestElement none;
    none.SetComObject(a.wrapper.AsElement());
    ASSERT_EQ(Load(b, Save(none)), S_OK);
    b.GetObjectSetting13(&back);
    EXPECT_EQ(back, nullptr);
    m->Release();
}

TEST_F(Persistence, LongStringsAreCutToTheirBuffers)
{
    WrappedElement a;
    const std::string longText(3000, 'x');
    a.SetName(longText.c_str());
    a.SetDescription(longText.c_str());
    a.SetStringSetting9(longText.c_str());
    a.SetStringSetting31(longText.c_str());
    a.SetStringSetting47(longText.c_str());
    Attach(a, std::string(300, 'k'), NewStringProperty(longText));
    std::vector<unsigned char> bytes = Save(a);
    BlockReaderForTest r(bytes);
    r.I(), r.I();
    EXPECT_EQ(r.S().size(), 3000u) << "written whole";

    TestElement b;
    b.SetComObject(a.wrapper.AsElement());
    ASSERT_EQ(Load(b, bytes), S_OK);
    CString s;
    b.GetName(s);
    EXPECT_EQ(s.GetLength(), 1023);
    b.GetDescription(s);
    EXPECT_EQ(s.GetLength(), 1023);
    b.GetStringSetting31(s);
    EXPECT_EQ(s.GetLength(), 255);
    std::vector<char> buffer(4000);
    b.GetStringSetting9(buffer.data());
    EXPECT_EQ(std::string(buffer.data()).size(), 1023u);
    b.GetStringSetting47(buffer.data());
    EXPECT_EQ(std::string(buffer.data()).size(), 1023u);
    ASSERT_EQ(b.Properties().size(), 1u);
    EXPECT_EQ(b.Properties().begin()->first.GetLength(), 255) << "keys keep 255 characters";
    EXPECT_EQ(StringValue(b.Properties().begin()->second), std::string(255, 'x'));
}

// ---------------------------------------------------------------------------------------
// Properties in the block

TEST_F(Persistence, OnlyPersistentPropertiesAreWrittenInKeyOrderWithTheirCount)
{
    WrappedElement a;
    Attach(a, "b", NewIntProperty(2));
    Attach(a, "B", NewIntProperty(1));
    Attach(a, "a", NewIntProperty(3, false));
    Attach(a, "A", NewDoubleProperty(0.5));
    BlockReaderForTest r(Save(a));
    for (int f = 0; f < 16; ++f) (f == 2 || f == 3 || f == 4 || f == 13) ? (void)r.S() : (void)r.I();
    r.D(), r.D(), r.D();
    EXPECT_EQ(r.I(), 1);
    EXPECT_EQ(r.I(), 3) << "the count covers the persistent properties only";
    EXPECT_EQ(r.S(), "A");
    EXPECT_EQ(r.G(), CLSID_APDoubleProperty);
    EXPECT_EQ(r.D(), 0.5);
    EXPECT_EQ(r.S(), "B");
    EXPECT_EQ(r.G(), CLSID_APIntProperty);
    EXPECT_EQ(r.I(), 1);
    EXPECT_EQ(r.S(), "b");
    EXPECT_EQ(r.G(), CLSID_APIntProperty);
    EXPECT_EQ(r.I(), 2);
    EXPECT_EQ(r.I(), 0) << "then the moniker length";
}

TEST_F(Persistence, PropertiesOfEveryKindRoundTrip)
{
    // Element a points at element b through a property; b is written after a.
    TestElement a, b;
    Counted wa, wb;
    a.SetComObject(wa.AsElement());
    b.SetComObject(wb.AsElement());
    Attach(a, "text", NewStringProperty("hello world"));
    Attach(a, "count", NewIntProperty(-42, true, true));
    Attach(a, "ratio", NewDoubleProperty(0.1));
    Attach(a, "partner", NewElemPtrProperty(wb.AsElement()));
    Attach(a, "self", NewElemPtrProperty(wa.AsElement()));
    Attach(a, "nobody", NewElemPtrProperty(nullptr));
    Attach(a, "scratch", NewIntProperty(7, false));
    IAPProperty* flagged = PropertyOf(a, "text");
    flagged->SetFlag(0x0100, 1);
    flagged->Release();
    MemoryObjectStream out;
    ASSERT_EQ(a.Serialize(&out.stream), S_OK);
    ASSERT_EQ(b.Serialize(&out.stream), S_OK);

    MemoryObjectStream in(out.bytes.Bytes());
    TestElement a2, b2;
    Counted wa2, wb2;
    a2.SetComObject(wa2.AsElement());
    b2.SetComObject(wb2.AsElement());
    ASSERT_EQ(a2.Deserialize(&in.stream), S_OK);
    ASSERT_EQ(b2.Deserialize(&in.stream), S_OK);
    EXPECT_TRUE(in.AtEnd());

    int n = 0;
    a2.GetNumProperties(&n);
    EXPECT_EQ(n, 6) << "the non-persistent property stayed behind";
    IAPProperty* p = PropertyOf(a2, "text");
    EXPECT_EQ(StringValue(p), "hello world");
    long set = -1;
    p->GetFlag(0x0100, &set);
    EXPECT_EQ(set, 0) << "the flag word is not part of the stream";
    p->Release();
    p = PropertyOf(a2, "count");
    EXPECT_EQ(IntValue(p), -42);
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetPersistanceFlag), 1);
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetCopyFlag), 0);
    p->Release();
    p = PropertyOf(a2, "ratio");
    EXPECT_EQ(DoubleValue(p), 0.1);
    p->Release();
    p = PropertyOf(a2, "partner");
    EXPECT_EQ(ElemPtrValue(p), wb2.AsElement()) << "resolved once b was read";
    p->Release();
    p = PropertyOf(a2, "self");
    EXPECT_EQ(ElemPtrValue(p), wa2.AsElement());
    p->Release();
    p = PropertyOf(a2, "nobody");
    EXPECT_EQ(ElemPtrValue(p), nullptr);
    p->Release();
    p = PropertyOf(a2, "scratch");
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(wb2.refs, 1) << "element pointers hold no reference";
}

TEST_F(Persistence, AReadPropertyIsPersistentWhateverItsDataSaid)
{
    // Written by hand: an int property, with a flag word nowhere in the data.
    BlockBuilder b;
    Head(b, 27);
    b.I(0).D(0).D(0).D(0).I(1);
    b.I(1).S("k").G(CLSID_APIntProperty).I(5);
    b.I(0).S("").I(1).I(0).I(0).F(0).F(0).F(0).D(1).Array({}).I(2).I(2).I(2).I(2).I(1).D(-1);
    b.I(0).I(1).I(0).I(0).I(0).D(10).I(0).I(0);
    for (int i = 0; i < 7; ++i) b.I(1);
    b.Array({-1});
    WrappedElement e;
    ASSERT_EQ(Load(e, b.Bytes()), S_OK);
    IAPProperty* p = PropertyOf(e, "k");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(IntValue(p), 5);
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetPersistanceFlag), 1);
    p->Release();
    EXPECT_TRUE(ArraySetting(e, &APElement::GetIntArraySetting52).empty());
}

// ---------------------------------------------------------------------------------------
// Older blocks

TEST_F(Persistence, Version8KeepsTheDefaultsOfLaterFields)
{
    BlockBuilder b;
    b.I(8).I(3).S("n").S("d").I(132).I(133).I(136).S("s31").I(130).I(0).D(1).D(2).D(3).I(1).I(0);
    WrappedElement e;
    e.SetIntSetting34(99);
    e.SetIntSetting60(99);
    e.SetStringSetting9("old nine");
    ASSERT_EQ(Load(e, b.Bytes()), S_OK);
    Checks34And35AreAtLeast3(e);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting32), 132);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting37), 1);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting60), 0) << "absent: 0, not the construction default";
    char text[32];
    e.GetStringSetting9(text);
    EXPECT_STREQ(text, "");
    e.GetStringSetting47(text);
    EXPECT_STREQ(text, "") << "a copy of setting 9";
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting48), 0);
    IORVDataMoniker* m = reinterpret_cast<IORVDataMoniker*>(1);
    e.GetObjectSetting13(&m);
    EXPECT_EQ(m, nullptr);
}

TEST_F(Persistence, Version9ReadsSettings34And35AsAtLeast3)
{
    BlockBuilder b;
    Head(b, 9);
    GroupA(b, 9);
    b.D(1).D(2).D(3).I(1).I(0);
    WrappedElement e;
    ASSERT_EQ(Load(e, b.Bytes()), S_OK);
    Checks34And35AreAtLeast3(e);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting37), 1) << "from version 10";
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting38), 0);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting8), 0);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting2), 102);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting26), 126);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting3), -1) << "from version 15";
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting4), -1);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting5), 1) << "from version 16";
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting22), (std::vector<int>{22, 23}));
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting24), std::vector<int>{24});
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting52), ZeroTo37());
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting69), std::vector<int>{-1});
    EXPECT_EQ(e.GetSettingsChangedFlag(), 1);
    CString s31;
    e.GetStringSetting31(s31);
    EXPECT_EQ(s31, "thirty-one");
    double x = 0, y = 0, z = 0;
    e.GetVectorSetting1(&x, &y, &z);
    EXPECT_EQ(z, 3.0);
}

TEST_F(Persistence, Version15ReadsSettings3And4AndThenSetsThemToMinus1)
{
    BlockBuilder b;
    Head(b, 15);
    GroupA(b, 15);
    b.D(1).D(2).D(3).I(1).I(0).I(0);
    WrappedElement e;
    e.SetIntSetting5(55);
    ASSERT_EQ(Load(e, b.Bytes()), S_OK);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting3), -1);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting4), -1);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting5), 1) << "no setting 5 in version 15";
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting8), 108);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting38), 138);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting37), 137);
    char text[32];
    e.GetStringSetting47(text);
    EXPECT_STREQ(text, "nine");
}

TEST_F(Persistence, Version16CopiesSetting9IntoSetting47)
{
    BlockBuilder b;
    Head(b, 16);
    GroupA(b, 16);
    b.D(1).D(2).D(3).I(1).I(0).I(0);
    WrappedElement e;
    e.SetStringSetting47("mine");
    e.SetDocUnits(AP_UNIT_INCHES);
    ASSERT_EQ(Load(e, b.Bytes()), S_OK);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting3), 103);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting4), 104);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting5), 105);
    char text[32];
    e.GetStringSetting47(text);
    EXPECT_STREQ(text, "nine");
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting48), 0);
    APDocUnits units = AP_UNIT_MILES;
    e.GetDocUnits(&units);
    EXPECT_EQ(units, AP_UNIT_UNKNOWN);
}

TEST_F(Persistence, Version22StopsAfterSettings58And57)
{
    BlockBuilder b;
    Head(b, 22);
    b.I(0); // not marked: no group A
    b.D(1).D(2).D(3).I(1).I(0).I(0);
    b.S("forty-seven").I(48).I(AP_UNIT_INCHES).I(49).F(1).F(2).F(3).D(51).Array({7, 8}).I(53).I(54).I(55).I(56);
    b.I(58).D(57);
    WrappedElement e;
    e.SetIntSetting2(7); // marks the element; the block's flag 0 clears that
    e.SetIntSetting59(9);
    e.SetIntSetting60(9);
    e.SetIntSetting65(9);
    e.SetIntSetting67(9);
    e.SetIntSeptupleSetting68(9, 9, 9, 9, 9, 9, 9);
    const int nine[] = {9};
    e.SetIntArraySetting69(1, nine);
    ASSERT_EQ(Load(e, b.Bytes()), S_OK);
    EXPECT_EQ(e.GetSettingsChangedFlag(), 0);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting2), 500) << "group A defaults";
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting48), 48);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting56), 56);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting58), 58);
    double d = 0;
    e.GetDoubleSetting57(&d);
    EXPECT_EQ(d, 57.0);
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting52), (std::vector<int>{7, 8}));
    APDocUnits units = AP_UNIT_UNKNOWN;
    e.GetDocUnits(&units);
    EXPECT_EQ(units, AP_UNIT_INCHES);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting59), 0);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting60), 0) << "absent: 0";
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting65), 0);
    e.GetDoubleSetting64(&d);
    EXPECT_EQ(d, 10.0);
    EXPECT_EQ(IntSetting(e, &APElement::GetIntSetting67), 0);
    int s[7];
    e.GetIntSeptupleSetting68(&s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &s[6]);
    EXPECT_EQ(std::vector<int>(s, s + 7), (std::vector<int>{1, 1, 0, 1, 1, 1, 1}));
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting69), std::vector<int>{-1});
}

TEST_F(Persistence, Version1HasOnlyTheBasics)
{
    BlockBuilder b;
    b.I(1).I(5).S("n").S("d").I(1);
    WrappedElement e;
    e.SetVectorSetting1(1, 1, 1);
    ASSERT_EQ(Load(e, b.Bytes()), S_OK);
    double x = 9, y = 9, z = 9;
    e.GetVectorSetting1(&x, &y, &z);
    EXPECT_EQ(x + y + z, 0.0);
    int n = -1;
    e.GetNumProperties(&n);
    EXPECT_EQ(n, 0);
    int cost = 0;
    e.GetCost(&cost);
    EXPECT_EQ(cost, 5);
}

// ---------------------------------------------------------------------------------------
// Damaged blocks

TEST_F(Persistence, EveryTruncationIsRefusedAndLeavesTheSettings)
{
    WrappedElement a;
    SetEverything(a);
    IORVDataMoniker* m = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\x.pdo", &m), S_OK);
    a.SetObjectSetting13(m);
    m->Release();
    Attach(a, "s", NewStringProperty("value"));
    Attach(a, "i", NewIntProperty(1));
    std::vector<unsigned char> bytes = Save(a);

    TestElement fresh;
    fresh.SetComObject(a.wrapper.AsElement());
    std::vector<unsigned char> untouched = Save(fresh);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        TestElement e;
        e.SetComObject(a.wrapper.AsElement());
        std::vector<unsigned char> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        ASSERT_EQ(Load(e, part), E_FAIL);
        // Whatever properties were stored before the cut stay; everything else is as it was.
        std::vector<std::string> keys;
        for (const auto& entry : e.Properties()) keys.emplace_back(entry.first.GetString());
        for (const std::string& k : keys) {
            IAPPropertyKey* key = NewKey(k);
            e.RemoveProperty(key);
            key->Release();
        }
        EXPECT_EQ(Save(e), untouched);
        IORVDataMoniker* none = nullptr;
        e.GetObjectSetting13(&none);
        EXPECT_EQ(none, nullptr);
    }
}

TEST_F(Persistence, BadCountsAndLengthsAreRefused)
{
    // Builds a version-27 block, letting `patch` replace one value.
    enum Spot { kArray22, kArray24, kPropertyCount, kMoniker, kArray52, kArray69, kKeyLength, kName };
    auto build = [](Spot spot, int bad) {
        BlockBuilder b;
        b.I(27).I(1);
        if (spot == kName) b.I(bad);
        else b.S("n");
        b.S("d").S("").I(0).I(0).I(1).I(3).I(3).I(0).I(0).I(0).S("").I(2);
        b.I(1).I(500).I(1).I(0).F(1).I(2).I(3).I(1).F(2).I(3).I(1).I(5);
        spot == kArray22 ? b.I(bad) : b.Array({1});
        b.I(1).I(0).I(0);
        spot == kArray24 ? b.I(bad) : b.Array({1, 7, 8, 20});
        b.I(0).D(1).D(0).D(1).D(0).D(1).D(0).D(0).I(-1).I(-1).I(1);
        b.D(0).D(0).D(0).I(1);
        if (spot == kPropertyCount) b.I(bad);
        else if (spot == kKeyLength) b.I(1).I(bad);
        else b.I(0);
        b.I(spot == kMoniker ? bad : 0);
        b.S("").I(1).I(0).I(0).F(0).F(0).F(0).D(1);
        spot == kArray52 ? b.I(bad) : b.Array({});
        b.I(2).I(2).I(2).I(2).I(1).D(-1).I(0).I(1).I(0).I(0).I(0).D(10).I(0).I(0);
        for (int i = 0; i < 7; ++i) b.I(1);
        spot == kArray69 ? b.I(bad) : b.Array({-1});
        return b.Bytes();
    };
    {
        WrappedElement e;
        ASSERT_EQ(Load(e, build(kArray22, 0)), S_OK) << "the builder makes a sound block";
    }
    for (Spot spot : {kArray22, kArray24, kPropertyCount, kMoniker, kArray52, kArray69, kKeyLength, kName}) {
        for (int bad : {-1, -0x7fffffff, 0x7fffffff, 0x10000000, 5000}) {
            SCOPED_TRACE(::testing::Message() << "spot " << spot << " value " << bad);
            WrappedElement e;
            e.SetName("before");
            const int mine[] = {4, 4};
            e.SetIntArraySetting52(2, mine);
            EXPECT_EQ(Load(e, build(spot, bad)), E_FAIL);
            CString name;
            e.GetName(name);
            EXPECT_EQ(name, "before");
            EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting52), (std::vector<int>{4, 4}));
            EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting22), std::vector<int>{1});
            int n = -1;
            e.GetNumProperties(&n);
            EXPECT_EQ(n, 0);
        }
    }
}

TEST_F(Persistence, UnknownVersionsAndClassesAreRefused)
{
    WrappedElement a;
    std::vector<unsigned char> bytes = Save(a);
    for (int version : {0, -3, 28, 1000}) {
        std::vector<unsigned char> v = bytes;
        std::memcpy(v.data(), &version, 4);
        TestElement e;
        e.SetComObject(a.wrapper.AsElement());
        EXPECT_EQ(Load(e, v), E_FAIL) << version;
    }

    // A property record naming a class that is no property, or no class of ours.
    const GUID notOurs = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const GUID* clsid : {&CLSID_APPointerList, &CLSID_APPropertyKey, &notOurs}) {
        BlockBuilder b;
        Head(b, 27);
        b.I(0).D(0).D(0).D(0).I(1);
        b.I(2).S("a").G(CLSID_APIntProperty).I(1).S("b").G(*clsid).I(2);
        b.I(0).S("").I(1).I(0).I(0).F(0).F(0).F(0).D(1).Array({}).I(2).I(2).I(2).I(2).I(1).D(-1);
        b.I(0).I(1).I(0).I(0).I(0).D(10).I(0).I(0);
        for (int i = 0; i < 7; ++i) b.I(1);
        b.Array({-1});
        TestElement e;
        e.SetComObject(a.wrapper.AsElement());
        e.SetCost(77);
        EXPECT_EQ(Load(e, b.Bytes()), E_FAIL);
        int cost = 0;
        e.GetCost(&cost);
        EXPECT_EQ(cost, 77);
        int n = 0;
        e.GetNumProperties(&n);
        EXPECT_EQ(n, 1) << "the property read before stays";
    }

    // A damaged moniker blob.
    BlockBuilder b;
    Head(b, 14);
    b.I(0).D(0).D(0).D(0).I(1).I(0).I(4).I(0x11223344);
    TestElement e;
    e.SetComObject(a.wrapper.AsElement());
    EXPECT_EQ(Load(e, b.Bytes()), E_FAIL);
}

// ---------------------------------------------------------------------------------------
// Copying

TEST_F(Persistence, CopyTakesTheElementLevelFieldsAndCopyFlaggedProperties)
{
    TestElement source;
    Counted ws;
    source.SetComObject(ws.AsElement());
    SetEverything(source);
    Attach(source, "A", NewIntProperty(1, false, true));
    Attach(source, "B", NewIntProperty(2, true, false));
    Attach(source, "C", NewStringProperty("see", true, true));

    TestElement target;
    Counted wt;
    target.SetComObject(wt.AsElement());
    target.SetIntSetting2(9);
    target.SetIntSetting60(6);
    Attach(target, "C", NewStringProperty("replaced"));
    Attach(target, "D", NewIntProperty(4));
    target = source;

    int cost = 0;
    target.GetCost(&cost);
    EXPECT_EQ(cost, 44);
    CString s;
    target.GetName(s);
    EXPECT_EQ(s, "Bracket");
    target.GetPreviousName(s);
    EXPECT_EQ(s, "old");
    target.GetDescription(s);
    EXPECT_EQ(s, "left-hand bracket");
    char text[32];
    target.GetStringSetting9(text);
    EXPECT_STREQ(text, "nine");
    target.GetStringSetting47(text);
    EXPECT_STREQ(text, "forty-seven");
    double x = 0, y = 0, z = 0;
    target.GetVectorSetting1(&x, &y, &z);
    EXPECT_EQ(y, 2.5);
    EXPECT_EQ(target.GetComObject(), wt.AsElement()) << "the wrapper stays";
    EXPECT_EQ(IntSetting(target, &APElement::GetIntSetting2), 9) << "other settings stay";
    EXPECT_EQ(IntSetting(target, &APElement::GetIntSetting60), 6);
    target.GetStringSetting31(s);
    EXPECT_TRUE(s.IsEmpty());

    int n = 0;
    target.GetNumProperties(&n);
    EXPECT_EQ(n, 3) << "A and C copied, D kept, B not copied";
    IAPProperty* a = PropertyOf(target, "A");
    IAPProperty* sourceA = PropertyOf(source, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, sourceA) << "a new, separate object";
    EXPECT_EQ(IntValue(a), 1);
    EXPECT_EQ(FlagOf(a, &IAPProperty::GetCopyFlag), 1);
    EXPECT_EQ(FlagOf(a, &IAPProperty::GetPersistanceFlag), 0);
    a->Release();
    sourceA->Release();
    IAPProperty* c = PropertyOf(target, "C");
    EXPECT_EQ(StringValue(c), "see");
    c->Release();
    EXPECT_EQ(PropertyOf(target, "B"), nullptr);
    IAPProperty* d = PropertyOf(target, "D");
    EXPECT_EQ(IntValue(d), 4);
    d->Release();
}

TEST_F(Persistence, CopyRecordsTheElementWithTheDocumentOnlyWhenItHasDependents)
{
    RecordingDocument doc;
    TestElement source;
    Counted ws;
    source.SetComObject(ws.AsElement());
    source.BindDocument(&doc);
    TestElement target;
    Counted wt;
    target.SetComObject(wt.AsElement());
    target = source;
    EXPECT_TRUE(doc.recorded.empty()) << "no dependents, nothing to remap";
    EXPECT_EQ(target.GetDocSink(), static_cast<IAPDocEventSink*>(&doc)) << "the binding is shared";

    RecordingDependent dependent;
    source.AddDependent(&dependent);
    TestElement second;
    Counted w2;
    second.SetComObject(w2.AsElement());
    second = source;
    ASSERT_EQ(doc.recorded.size(), 1u);
    EXPECT_EQ(doc.recorded[0].first, ws.AsElement());
    EXPECT_EQ(doc.recorded[0].second, w2.AsElement());
    EXPECT_EQ(doc.refs, 1) << "the query's reference was given back";
    int n = -1;
    second.GetNumDependents(&n);
    EXPECT_EQ(n, 0) << "dependents are not copied";
}
