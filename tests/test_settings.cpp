#include <gtest/gtest.h>
#include <objbase.h>

#include <vector>

#include "model/APElement.h"
#include "platform/moniker/MkMoniker.h"
#include "property_test_support.h"

namespace {

using plenvort_test::ArraySetting;
using plenvort_test::TestElement;

using IntGetter = HRESULT (APElement::*)(int*);
using IntSetter = HRESULT (APElement::*)(int);

struct IntSetting {
    int number;
    IntSetter set;
    IntGetter get;
    int defaultValue;
    bool marksChanged;
};

#define S(n, def, marks) {n, &APElement::SetIntSetting##n, &APElement::GetIntSetting##n, def, marks}
const std::vector<IntSetting>& IntSettings()
{
    static const std::vector<IntSetting> all = {
        S(2, 500, true),  S(3, -1, false), S(4, -1, false), S(5, 1, false),  S(6, 1, true),   S(7, 0, true),
        S(8, 0, true),    S(10, -1, false), S(11, 0, false), S(12, -1, false), S(15, 2, true),  S(16, 3, true),
        S(17, 1, true),   S(19, 3, true),  S(20, 1, true),  S(21, 5, true),  S(26, 0, false), S(30, 2, false),
        S(32, 0, false),  S(33, 0, false), S(34, 3, false), S(35, 3, false), S(36, 0, false), S(37, 1, false),
        S(38, 0, false),  S(39, 0, false), S(40, -500, false), S(41, 0, false), S(42, -1, false), S(43, -1, false),
        S(44, -1, false), S(46, -1, false), S(48, 1, false), S(49, 0, false), S(53, 2, false), S(54, 2, false),
        S(55, 2, false),  S(56, 2, false), S(58, 1, false), S(59, 0, false), S(60, 1, false), S(61, 0, false),
        S(62, 0, false),  S(63, 0, false), S(65, 0, false), S(66, 0, false), S(67, 0, false),
    };
    return all;
}
#undef S

} // namespace

TEST(ElementSettings, IntegerDefaultsAndWhichSettersMarkTheElementChanged)
{
    for (const IntSetting& s : IntSettings()) {
        TestElement e;
        int v = 12345;
        EXPECT_EQ((e.*s.get)(&v), S_OK);
        EXPECT_EQ(v, s.defaultValue) << "setting " << s.number;
        EXPECT_EQ((e.*s.set)(777), S_OK);
        (e.*s.get)(&v);
        EXPECT_EQ(v, 777) << "setting " << s.number;
        EXPECT_EQ(e.GetSettingsChangedFlag(), s.marksChanged ? 1 : 0) << "setting " << s.number;
        EXPECT_EQ((e.*s.get)(nullptr), E_FAIL);
    }
}

TEST(ElementSettings, SettingsHoldTheirOwnValues)
{
    // Each setter writes only its own slot.
    TestElement e;
    for (const IntSetting& s : IntSettings()) (e.*s.set)(1000 + s.number);
    for (const IntSetting& s : IntSettings()) {
        int v = 0;
        (e.*s.get)(&v);
        EXPECT_EQ(v, 1000 + s.number);
    }
}

TEST(ElementSettings, OtherDefaults)
{
    TestElement e;
    double x = 9, y = 9, z = 9;
    e.GetVectorSetting1(&x, &y, &z);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(z, 0.0);
    float f = 0;
    e.GetFloatSetting14(&f);
    EXPECT_EQ(f, 1.0f);
    e.GetFloatSetting18(&f);
    EXPECT_EQ(f, 2.0f);
    double d = 0;
    e.GetDoubleSetting25(&d);
    EXPECT_EQ(d, 1.0);
    e.GetDoubleSetting29(&d);
    EXPECT_EQ(d, 1.0);
    e.GetDoubleSetting51(&d);
    EXPECT_EQ(d, 1.0);
    e.GetDoubleSetting57(&d);
    EXPECT_EQ(d, -1.0);
    e.GetDoubleSetting64(&d);
    EXPECT_EQ(d, 10.0);
    double v[3] = {};
    e.GetVectorSetting27(v);
    EXPECT_EQ(std::vector<double>(v, v + 3), (std::vector<double>{0, 1, 0}));
    e.GetVectorSetting28(v);
    EXPECT_EQ(std::vector<double>(v, v + 3), (std::vector<double>{1, 0, 0}));
    int a = 9, b = 9, c = 9;
    e.GetIntTripleSetting23(&a, &b, &c);
    EXPECT_EQ(std::vector<int>({a, b, c}), (std::vector<int>{1, 0, 0}));
    float fa = 0, fb = 0, fc = 0;
    e.GetFloatTripleSetting50(&fa, &fb, &fc);
    EXPECT_EQ(fa, -9999.0f);
    EXPECT_EQ(fb, -9999.0f);
    EXPECT_EQ(fc, -9999.0f);
    int s[7] = {};
    e.GetIntSeptupleSetting68(&s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &s[6]);
    EXPECT_EQ(std::vector<int>(s, s + 7), (std::vector<int>{1, 1, 0, 1, 1, 1, 1}));
    APDocUnits units = AP_UNIT_INCHES;
    e.GetDocUnits(&units);
    EXPECT_EQ(units, AP_UNIT_UNKNOWN);
    char text[8] = "xxxxxxx";
    e.GetStringSetting9(text);
    EXPECT_STREQ(text, "");
    e.GetStringSetting47(text);
    EXPECT_STREQ(text, "");
    CString s31 = "x";
    e.GetStringSetting31(s31);
    EXPECT_TRUE(s31.IsEmpty());
    IORVDataMoniker* m = reinterpret_cast<IORVDataMoniker*>(1);
    e.GetObjectSetting13(&m);
    EXPECT_EQ(m, nullptr);

    std::vector<int> zeroTo37;
    for (int i = 0; i < 38; ++i) zeroTo37.push_back(i);
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting52), zeroTo37);
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting24), (std::vector<int>{1, 7, 8, 20}));
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting22), (std::vector<int>{1}));
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting69), (std::vector<int>{-1}));
    EXPECT_EQ(e.GetSettingsChangedFlag(), 0);
}

TEST(ElementSettings, NonIntegerSettersAndTheChangedFlag)
{
    {
        TestElement e;
        e.SetFloatSetting14(3.5f);
        EXPECT_EQ(e.GetSettingsChangedFlag(), 1);
    }
    {
        TestElement e;
        e.SetFloatSetting18(3.5f);
        EXPECT_EQ(e.GetSettingsChangedFlag(), 1);
    }
    {
        TestElement e;
        e.SetIntTripleSetting23(4, 5, 6);
        EXPECT_EQ(e.GetSettingsChangedFlag(), 1);
        int a, b, c;
        e.GetIntTripleSetting23(&a, &b, &c);
        EXPECT_EQ(std::vector<int>({a, b, c}), (std::vector<int>{4, 5, 6}));
    }
    {
        TestElement e;
        int v[] = {3};
        e.SetIntArraySetting22(1, v);
        EXPECT_EQ(e.GetSettingsChangedFlag(), 1);
    }
    {
        TestElement e;
        e.SetIntArraySetting24(0, nullptr);
        EXPECT_EQ(e.GetSettingsChangedFlag(), 1);
        EXPECT_TRUE(ArraySetting(e, &APElement::GetIntArraySetting24).empty());
    }
    {
        // None of these marks the element.
        TestElement e;
        const double xyz[3] = {1, 2, 3};
        e.SetVectorSetting1(1, 2, 3);
        e.SetDoubleSetting25(2.0);
        e.SetVectorSetting27(xyz);
        e.SetVectorSetting28(xyz);
        e.SetDoubleSetting29(2.0);
        e.SetStringSetting9("a");
        e.SetStringSetting31("b");
        e.SetStringSetting47("c");
        e.SetDocUnits(AP_UNIT_MILES);
        e.SetFloatTripleSetting50(1, 2, 3);
        int v[] = {5, 6};
        e.SetIntArraySetting52(2, v);
        e.SetIntArraySetting69(2, v);
        e.SetDoubleSetting51(0);
        e.SetDoubleSetting57(0);
        e.SetDoubleSetting64(0);
        e.SetIntSeptupleSetting68(7, 6, 5, 4, 3, 2, 1);
        EXPECT_EQ(e.GetSettingsChangedFlag(), 0);

        double out[3] = {};
        e.GetVectorSetting27(out);
        EXPECT_EQ(out[2], 3.0);
        char text[4];
        e.GetStringSetting47(text);
        EXPECT_STREQ(text, "c");
        APDocUnits units;
        e.GetDocUnits(&units);
        EXPECT_EQ(units, AP_UNIT_MILES);
        EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting69), (std::vector<int>{5, 6}));
        int s[7];
        e.GetIntSeptupleSetting68(&s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &s[6]);
        EXPECT_EQ(std::vector<int>(s, s + 7), (std::vector<int>{7, 6, 5, 4, 3, 2, 1}));
    }
}

TEST(ElementSettings, CountedArraysRefuseBadInputAndHandOutFreshCopies)
{
    TestElement e;
    int v[] = {1, 2, 3};
    EXPECT_EQ(e.SetIntArraySetting52(-1, v), E_FAIL);
    EXPECT_EQ(e.SetIntArraySetting52(2, nullptr), E_FAIL);
    EXPECT_EQ(e.SetIntArraySetting22(-3, v), E_FAIL);
    EXPECT_EQ(e.GetSettingsChangedFlag(), 0) << "a refused value marks nothing";
    EXPECT_EQ(ArraySetting(e, &APElement::GetIntArraySetting52).size(), 38u) << "a refused value keeps the old one";

    EXPECT_EQ(e.SetIntArraySetting52(3, v), S_OK);
    v[0] = 99; // the element holds its own copy
    int count = 0;
    int* out = nullptr;
    ASSERT_EQ(e.GetIntArraySetting52(&count, &out), S_OK);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(out[0], 1);
    out[1] = 42; // and hands out a copy
    int* first = out;
    // Handing the old array back frees it and gives a new one.
    ASSERT_EQ(e.GetIntArraySetting52(&count, &out), S_OK);
    EXPECT_EQ(out[1], 2);
    (void)first;
    CoTaskMemFree(out);

    // An empty array still comes as an allocation.
    e.SetIntArraySetting52(0, nullptr);
    out = nullptr;
    ASSERT_EQ(e.GetIntArraySetting52(&count, &out), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_NE(out, nullptr);
    CoTaskMemFree(out);

    EXPECT_EQ(e.GetIntArraySetting52(nullptr, &out), E_FAIL);
    EXPECT_EQ(e.GetIntArraySetting52(&count, nullptr), E_FAIL);
}

TEST(ElementSettings, NullOutPointersFail)
{
    TestElement e;
    double d;
    float f;
    int i;
    EXPECT_EQ(e.GetVectorSetting1(&d, nullptr, &d), E_FAIL);
    EXPECT_EQ(e.GetFloatSetting14(nullptr), E_FAIL);
    EXPECT_EQ(e.GetDoubleSetting57(nullptr), E_FAIL);
    EXPECT_EQ(e.GetVectorSetting27(nullptr), E_FAIL);
    EXPECT_EQ(e.SetVectorSetting28(nullptr), E_FAIL);
    EXPECT_EQ(e.GetIntTripleSetting23(&i, &i, nullptr), E_FAIL);
    EXPECT_EQ(e.GetFloatTripleSetting50(&f, nullptr, &f), E_FAIL);
    EXPECT_EQ(e.GetIntSeptupleSetting68(&i, &i, &i, &i, &i, &i, nullptr), E_FAIL);
    EXPECT_EQ(e.SetStringSetting9(nullptr), E_FAIL);
    EXPECT_EQ(e.GetStringSetting47(nullptr), E_FAIL);
    EXPECT_EQ(e.GetDocUnits(nullptr), E_FAIL);
    EXPECT_EQ(e.GetObjectSetting13(nullptr), E_FAIL);
}

TEST(ElementSettings, MonikerSettingHoldsOneReference)
{
    IORVDataMoniker* a = nullptr;
    IORVDataMoniker* b = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\work\\a.pdo", &a), S_OK);
    ASSERT_EQ(MkCreateMoniker("C:\\work\\b.pdo", &b), S_OK);
    {
        TestElement e;
        e.SetObjectSetting13(a);
        e.SetObjectSetting13(a); // the same pointer again changes nothing
        EXPECT_EQ(a->AddRef(), 3u);
        a->Release();
        IORVDataMoniker* got = nullptr;
        e.GetObjectSetting13(&got);
        EXPECT_EQ(got, a);
        EXPECT_EQ(got->Release(), 2u) << "the getter added one reference";
        e.SetObjectSetting13(b);
        EXPECT_EQ(a->AddRef(), 2u) << "the old moniker was released";
        a->Release();
        EXPECT_EQ(b->AddRef(), 3u);
        b->Release();
        e.SetObjectSetting13(nullptr);
        EXPECT_EQ(b->AddRef(), 2u);
        b->Release();
        e.SetObjectSetting13(b);
    }
    EXPECT_EQ(b->AddRef(), 2u) << "destruction releases the moniker";
    b->Release();
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(b->Release(), 0u);
}

TEST(ElementSettings, SplitMonikerPath)
{
    TestElement e;
    IORVDataMoniker* m = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\work\\jobs\\door.pdo", &m), S_OK);
    CString file, dir = "unchanged";
    EXPECT_EQ(e.SplitMonikerPath(m, &file, &dir), S_OK);
    EXPECT_EQ(file, "door.pdo");
    EXPECT_EQ(dir, "C:\\work\\jobs");
    m->Release();

    ASSERT_EQ(MkCreateMoniker("door.pdo", &m), S_OK);
    file = "";
    dir = "unchanged";
    EXPECT_EQ(e.SplitMonikerPath(m, &file, &dir), S_OK);
    EXPECT_EQ(file, "door.pdo");
    EXPECT_EQ(dir, "unchanged") << "no backslash leaves the directory as it was";
    EXPECT_EQ(e.SplitMonikerPath(m, nullptr, &dir), E_FAIL);
    m->Release();
}
