#include <gtest/gtest.h>

#include "com/CAPPointerList.h"
#include "property_test_support.h"

using namespace plenvort_test;

namespace {

class PointerList : public ObjectsTest {
protected:
    void SetUp() override
    {
        ObjectsTest::SetUp();
        list = Create<IAPPointerList2>(CLSID_APPointerList, IID_IAPPointerList2);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override
    {
        if (list) {
            EXPECT_EQ(list->Release(), 0u);
        }
        ObjectsTest::TearDown();
    }
    int Length()
    {
        int n = -1;
        EXPECT_EQ(list->GetLength(&n), S_OK);
        return n;
    }
    unsigned Capacity() { return static_cast<CAPPointerList*>(list)->GetCapacity(); }
    long Found(IUnknown* p)
    {
        long found = -1;
        EXPECT_EQ(list->FindElement(p, &found), S_OK);
        return found;
    }
    IAPPointerList2* list = nullptr;
};

} // namespace

TEST_F(PointerList, AnswersBothInterfacesOnOneTable)
{
    IAPPointerList* v1 = nullptr;
    ASSERT_EQ(list->QueryInterface(IID_IAPPointerList, reinterpret_cast<void**>(&v1)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(v1), static_cast<IUnknown*>(list));
    v1->Release();
    IUnknown* other = nullptr;
    EXPECT_EQ(list->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    EXPECT_EQ(Length(), 0);
}

TEST_F(PointerList, AppendingCountsReferencesAndDoublesTheCapacity)
{
    Counted a, b;
    EXPECT_EQ(list->AppendElement(&a), S_OK);
    EXPECT_EQ(Capacity(), 1u);
    EXPECT_EQ(list->AppendElement(&a), S_OK);
    EXPECT_EQ(Capacity(), 2u);
    EXPECT_EQ(a.refs, 3) << "two entries, two references";
    list->AppendElement(&b);
    EXPECT_EQ(Capacity(), 4u);
    list->AppendElement(&b);
    list->AppendElement(&b);
    EXPECT_EQ(Capacity(), 8u);
    EXPECT_EQ(Length(), 5);
    EXPECT_EQ(b.refs, 4);
    EXPECT_EQ(Found(&a), 1);

    EXPECT_EQ(list->RemoveElement(0), S_OK);
    EXPECT_EQ(a.refs, 2) << "the removed entry gives its reference back";
    EXPECT_EQ(Found(&a), 1) << "the second copy stays";
    ULONG_PTR got = 0;
    GUID iid = IID_IUnknown;
    ASSERT_EQ(list->GetElement(0, &iid, &got), S_OK);
    EXPECT_EQ(reinterpret_cast<IUnknown*>(got), &a) << "order is kept";
    EXPECT_EQ(a.refs, 3);
    reinterpret_cast<IUnknown*>(got)->Release();
    EXPECT_EQ(Capacity(), 8u) << "never shrinks";

    EXPECT_EQ(list->Release(), 0u);
    list = nullptr;
    EXPECT_EQ(a.refs, 1) << "destruction releases every entry";
    EXPECT_EQ(b.refs, 1);
}

TEST_F(PointerList, BadArgumentsLeaveTheListAsItWas)
{
    Counted a;
    list->AppendElement(&a);
    EXPECT_EQ(list->AppendElement(nullptr), E_POINTER);
    long found = -1;
    EXPECT_EQ(list->FindElement(nullptr, &found), E_POINTER);
    EXPECT_EQ(found, 0);

    ULONG_PTR got = 0xDEAD;
    GUID iid = IID_IUnknown;
    EXPECT_EQ(list->GetElement(1, &iid, &got), E_FAIL);
    EXPECT_EQ(got, 0xDEADu) << "out of range leaves the out slot untouched";
    EXPECT_EQ(list->GetElement(-1, &iid, &got), E_FAIL);
    EXPECT_EQ(got, 0xDEADu);
    EXPECT_EQ(list->RemoveElement(1), E_FAIL);
    EXPECT_EQ(list->RemoveElement(-1), E_FAIL);
    EXPECT_EQ(list->SetLength(-1), E_FAIL);
    EXPECT_EQ(Length(), 1);
    EXPECT_EQ(a.refs, 2);
}

TEST_F(PointerList, GetElementHandsOutTheInterfaceAsked)
{
    Counted a;
    a.answersElement = false;
    list->AppendElement(&a);
    GUID iid = IID_IAPElement;
    ULONG_PTR got = 0xDEAD;
    EXPECT_EQ(list->GetElement(0, &iid, &got), E_FAIL);
    EXPECT_EQ(got, 0u) << "an interface the element lacks gives 0";
    a.answersElement = true;
    ASSERT_EQ(list->GetElement(0, &iid, &got), S_OK);
    EXPECT_EQ(reinterpret_cast<IAPElement*>(got), a.AsElement());
    EXPECT_EQ(a.refs, 3);
    reinterpret_cast<IUnknown*>(got)->Release();
}

TEST_F(PointerList, FindComparesPlainPointers)
{
    // A second interface pointer of the same object is not the same entry.
    IAPProperty* prop = NewIntProperty(1);
    IAPIntProperty* typed = nullptr;
    prop->QueryInterface(IID_IAPIntProperty, reinterpret_cast<void**>(&typed));
    list->AppendElement(prop);
    EXPECT_EQ(Found(prop), 1);
    EXPECT_EQ(Found(typed), 0);
    typed->Release();
    prop->Release();
}

TEST_F(PointerList, SetLengthLeavesNullSlotsThatNothingCallsThrough)
{
    Counted a, b;
    list->AppendElement(&a);
    EXPECT_EQ(list->SetLength(4), S_OK);
    EXPECT_EQ(Capacity(), 4u) << "exactly the length asked";
    EXPECT_EQ(Length(), 4);
    GUID iid = IID_IUnknown;
    ULONG_PTR got = 0xDEAD;
    EXPECT_EQ(list->GetElement(2, &iid, &got), E_FAIL);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(Found(&b), 0);
    list->AppendElement(&b);
    EXPECT_EQ(Length(), 5);
    EXPECT_EQ(Found(&b), 1);
    EXPECT_EQ(list->RemoveElement(1), S_OK) << "a null slot can be removed";
    EXPECT_EQ(Length(), 4);
    ASSERT_EQ(list->GetElement(3, &iid, &got), S_OK);
    EXPECT_EQ(reinterpret_cast<IUnknown*>(got), &b);
    reinterpret_cast<IUnknown*>(got)->Release();

    // Shortening drops the entries cut off, with their references.
    EXPECT_EQ(list->SetLength(1), S_OK);
    EXPECT_EQ(b.refs, 1);
    EXPECT_EQ(Found(&b), 0);
    EXPECT_EQ(list->SetLength(0), S_OK);
    EXPECT_EQ(Length(), 0);
    EXPECT_EQ(a.refs, 1);
    // Growing again brings back nulls, not the dropped pointers.
    list->SetLength(3);
    EXPECT_EQ(Found(&a), 0);
    EXPECT_EQ(list->Release(), 0u) << "destruction skips the null slots";
    list = nullptr;
    EXPECT_EQ(a.refs, 1);
    EXPECT_EQ(b.refs, 1);
}

TEST_F(PointerList, AnImpossibleLengthFailsAndKeepsTheList)
{
    Counted a;
    list->AppendElement(&a);
    EXPECT_TRUE(FAILED(list->SetLength(0x7fffffff)));
    EXPECT_EQ(Length(), 1);
    EXPECT_EQ(Found(&a), 1);
}
