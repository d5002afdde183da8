#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/CAPProperty.h"
#include "property_test_support.h"

using namespace plenvort_test;

namespace {

struct Kind {
    const char* name;
    const CLSID* clsid;
    const IID* typed;
};

const Kind kKinds[] = {
    {"string", &CLSID_APStringProperty, &IID_IAPStringProperty},
    {"int", &CLSID_APIntProperty, &IID_IAPIntProperty},
    {"double", &CLSID_APDoubleProperty, &IID_IAPDoubleProperty},
    {"element pointer", &CLSID_APElemPtrProperty, &IID_IAPElemPtrProperty},
};

// An IAPProperty that is not one of ours: it keeps its own flag word and answers no typed
// interface. Clone must reach it only through its methods.
class ForeignProperty : public CountedFake<IAPProperty, &IID_IAPProperty> {
public:
    unsigned long flags = 0;
    std::vector<std::string> calls;

    HRESULT STDMETHODCALLTYPE GetFlag(unsigned short f, long* s) override
    {
        *s = (flags >> 16) & f ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFlag(unsigned short f, long on) override
    {
        return Put("SetFlag", static_cast<unsigned long>(f) << 16, on);
    }
    HRESULT STDMETHODCALLTYPE SetPersistanceFlag(long on) override { return Put("SetPersistanceFlag", 1, on); }
    HRESULT STDMETHODCALLTYPE GetPersistanceFlag(long* s) override
    {
        *s = flags & 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCopyFlag(long on) override { return Put("SetCopyFlag", 2, on); }
    HRESULT STDMETHODCALLTYPE GetCopyFlag(long* s) override
    {
        *s = (flags >> 1) & 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(GUID* id) override
    {
        *id = GUID{};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE read(unsigned char*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE write(unsigned char*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IAPProperty*) override { return S_OK; }

private:
    HRESULT Put(const char* call, unsigned long bits, long on)
    {
        calls.push_back(call);
        flags = on ? (flags | bits) : (flags & ~bits);
        return S_OK;
    }
};

using Properties = ObjectsTest;

} // namespace

// ---------------------------------------------------------------------------------------
// Property objects

TEST_F(Properties, EveryKindStartsWithAnEmptyFlagWordAndAnswersItsTwoInterfaces)
{
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        IAPProperty* p = Create<IAPProperty>(*k.clsid, IID_IAPProperty);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(FlagOf(p, &IAPProperty::GetPersistanceFlag), 0);
        EXPECT_EQ(FlagOf(p, &IAPProperty::GetCopyFlag), 0);
        long set = -1;
        EXPECT_EQ(p->GetFlag(0xFFFF, &set), S_OK);
        EXPECT_EQ(set, 0);
        GUID id{};
        EXPECT_EQ(p->GetClassID(&id), S_OK);
        EXPECT_EQ(id, *k.clsid);

        IUnknown* typed = nullptr;
        ASSERT_EQ(p->QueryInterface(*k.typed, reinterpret_cast<void**>(&typed)), S_OK);
        IUnknown* a = nullptr;
        IUnknown* b = nullptr;
        p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        typed->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        EXPECT_EQ(a, b) << "one identity";
        EXPECT_EQ(a, typed) << "the typed interface comes first";
        a->Release();
        b->Release();
        typed->Release();
        IUnknown* key = nullptr;
        EXPECT_EQ(p->QueryInterface(IID_IAPPropertyKey, reinterpret_cast<void**>(&key)), E_NOINTERFACE);
        EXPECT_EQ(p->Release(), 0u);
    }
}

TEST_F(Properties, FlagWordBitsAreIndependent)
{
    IAPProperty* p = NewProperty(CLSID_APIntProperty, false, false);
    auto word = [p] { return static_cast<CAPProperty*>(p)->GetFlagWord(); };
    long set = -1;

    p->SetFlag(0x0003, 1);
    p->GetFlag(0x0002, &set);
    EXPECT_EQ(set, 1);
    p->GetFlag(0x0004, &set);
    EXPECT_EQ(set, 0);
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetPersistanceFlag), 0) << "SetFlag leaves bit 0 alone";
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetCopyFlag), 0) << "SetFlag leaves bit 1 alone";
    EXPECT_EQ(word(), 0x00030000u);

    p->SetPersistanceFlag(42);
    p->SetCopyFlag(-1);
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetPersistanceFlag), 1) << "exactly 0 or 1";
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetCopyFlag), 1);
    EXPECT_EQ(word(), 0x00030003u);

    p->SetFlag(0x0001, 0);
    EXPECT_EQ(word(), 0x00020003u);
    p->SetPersistanceFlag(0);
    EXPECT_EQ(word(), 0x00020002u);
    p->SetCopyFlag(0);
    EXPECT_EQ(word(), 0x00020000u);
    p->SetFlag(0xFFFF, 1);
    EXPECT_EQ(word(), 0xFFFF0000u);
    EXPECT_EQ(FlagOf(p, &IAPProperty::GetCopyFlag), 0);
    EXPECT_EQ(p->Release(), 0u);
}

TEST_F(Properties, TypedValues)
{
    IAPProperty* s = NewStringProperty("hello");
    EXPECT_EQ(StringValue(s), "hello");
    IAPStringProperty* sp = nullptr;
    s->QueryInterface(IID_IAPStringProperty, reinterpret_cast<void**>(&sp));
    char buffer[16] = "xxxxxxxxxxxxxxx";
    sp->SetString(Text(""));
    int size = -1;
    sp->GetStringSize(&size);
    EXPECT_EQ(size, 0);
    sp->GetString(reinterpret_cast<unsigned char*>(buffer));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x') << "length + 1 bytes only";
    sp->Release();
    s->Release();

    IAPProperty* i = NewIntProperty(-17);
    EXPECT_EQ(IntValue(i), -17);
    i->Release();
    IAPProperty* d = NewDoubleProperty(2.5e-300);
    EXPECT_EQ(DoubleValue(d), 2.5e-300);
    d->Release();

    Counted target;
    IAPProperty* e = NewElemPtrProperty(target.AsElement());
    EXPECT_EQ(ElemPtrValue(e), target.AsElement());
    EXPECT_EQ(target.refs, 1) << "the element is held and handed out without a reference";
    e->Release();
    EXPECT_EQ(target.refs, 1);
}

TEST_F(Properties, KeyHoldsItsText)
{
    IAPPropertyKey* key = Create<IAPPropertyKey>(CLSID_APPropertyKey, IID_IAPPropertyKey);
    int size = -1;
    key->GetKeySize(&size);
    EXPECT_EQ(size, 0);
    std::string text = "Weight (kg)";
    key->SetKey(Text(text.c_str()));
    text[0] = 'X'; // the key keeps its own copy
    key->GetKeySize(&size);
    EXPECT_EQ(size, 11);
    char out[16];
    key->GetKey(reinterpret_cast<unsigned char*>(out));
    EXPECT_STREQ(out, "Weight (kg)");
    IUnknown* none = nullptr;
    EXPECT_EQ(key->QueryInterface(IID_IAPProperty, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(key->Release(), 0u);
}

TEST_F(Properties, StreamFormatsAndReadLimits)
{
    Counted target;
    IAPProperty* props[] = {NewStringProperty(std::string(300, 'q')), NewIntProperty(-2), NewDoubleProperty(0.125),
                            NewElemPtrProperty(target.AsElement()), NewElemPtrProperty(nullptr)};
    MemoryObjectStream out;
    unsigned char* handle = reinterpret_cast<unsigned char*>(&out.stream);
    for (IAPProperty* p : props) EXPECT_EQ(p->write(handle), S_OK);

    BlockReaderForTest raw(out.bytes.Bytes());
    EXPECT_EQ(raw.S(), std::string(300, 'q')) << "written whole";
    EXPECT_EQ(raw.I(), -2);
    EXPECT_EQ(raw.D(), 0.125);
    EXPECT_EQ(raw.I(), 1) << "the pointer number of the element";
    EXPECT_EQ(raw.I(), 0) << "null is number 0";
    EXPECT_TRUE(raw.AtEnd());

    // Read back into fresh objects of the same classes.
    MemoryObjectStream in(out.bytes.Bytes());
    Counted renewed;
    ASSERT_TRUE(in.stream.registerPtr(&renewed, 1));
    unsigned char* inHandle = reinterpret_cast<unsigned char*>(&in.stream);
    std::vector<IAPProperty*> back;
    for (IAPProperty* p : props) {
        GUID id{};
        p->GetClassID(&id);
        IAPProperty* q = Create<IAPProperty>(id, IID_IAPProperty);
        EXPECT_EQ(q->read(inHandle), S_OK);
        back.push_back(q);
    }
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(StringValue(back[0]), std::string(255, 'q')) << "at most 255 characters come back";
    EXPECT_EQ(IntValue(back[1]), -2);
    EXPECT_EQ(DoubleValue(back[2]), 0.125);
    EXPECT_EQ(ElemPtrValue(back[3]), renewed.AsElement()) << "the element registered under the number";
    EXPECT_EQ(ElemPtrValue(back[4]), nullptr);
    EXPECT_EQ(FlagOf(back[0], &IAPProperty::GetPersistanceFlag), 0) << "read brings no flags";

    // A short stream fails and keeps the value.
    WmMemoryByteStream empty;
    WmDataStream emptyData(&empty);
    WmObjectStream emptyStream(emptyData);
    for (IAPProperty* q : back) EXPECT_EQ(q->read(reinterpret_cast<unsigned char*>(&emptyStream)), E_FAIL);
    EXPECT_EQ(IntValue(back[1]), -2);
    EXPECT_EQ(StringValue(back[0]), std::string(255, 'q'));
    EXPECT_EQ(back[1]->read(nullptr), E_POINTER);
    EXPECT_EQ(back[1]->write(nullptr), E_POINTER);

    for (IAPProperty* p : props) p->Release();
    for (IAPProperty* q : back) q->Release();
}

TEST_F(Properties, ElementPointerWaitsForTheElementAndForgetsItWhenGone)
{
    // The number is read before the element it names registers.
    BlockBuilder b;
    b.I(5).I(5).I(5);
    MemoryObjectStream in(b.Bytes());
    unsigned char* handle = reinterpret_cast<unsigned char*>(&in.stream);
    IAPProperty* waiting = Create<IAPProperty>(CLSID_APElemPtrProperty, IID_IAPProperty);
    IAPProperty* gone = Create<IAPProperty>(CLSID_APElemPtrProperty, IID_IAPProperty);
    IAPProperty* overridden = Create<IAPProperty>(CLSID_APElemPtrProperty, IID_IAPProperty);
    EXPECT_EQ(waiting->read(handle), S_OK);
    EXPECT_EQ(gone->read(handle), S_OK);
    EXPECT_EQ(overridden->read(handle), S_OK);
    EXPECT_EQ(ElemPtrValue(waiting), nullptr);
    EXPECT_EQ(in.stream.swizzler()->pendingCount(), 3);

    // A property that goes away, or gets a value of its own, no longer waits.
    EXPECT_EQ(gone->Release(), 0u);
    Counted own;
    IAPElemPtrProperty* typed = nullptr;
    overridden->QueryInterface(IID_IAPElemPtrProperty, reinterpret_cast<void**>(&typed));
    typed->SetValue(own.AsElement());
    typed->Release();
    EXPECT_EQ(in.stream.swizzler()->pendingCount(), 1);

    Counted element;
    in.stream.registerPtr(&element, 5);
    EXPECT_EQ(ElemPtrValue(waiting), element.AsElement());
    EXPECT_EQ(ElemPtrValue(overridden), own.AsElement());
    waiting->Release();
    overridden->Release();
}

TEST_F(Properties, CloneCopiesFlagsAndValueAndLeavesTheSourceAlone)
{
    Counted target;
    IAPProperty* sources[] = {NewStringProperty("abc", true, false), NewIntProperty(9, false, true),
                              NewDoubleProperty(-3.5, true, true), NewElemPtrProperty(target.AsElement(), false, false)};
    sources[0]->SetFlag(0x8001, 1);
    for (IAPProperty* src : sources) {
        GUID id{};
        src->GetClassID(&id);
        IAPProperty* copy = Create<IAPProperty>(id, IID_IAPProperty);
        copy->SetFlag(0x0100, 1); // overwritten by the source's word
        copy->SetPersistanceFlag(1);
        EXPECT_EQ(src->Clone(copy), S_OK);
        EXPECT_EQ(static_cast<CAPProperty*>(copy)->GetFlagWord(), static_cast<CAPProperty*>(src)->GetFlagWord());
        copy->Release();
    }
    IAPProperty* copy = Create<IAPProperty>(CLSID_APStringProperty, IID_IAPProperty);
    sources[0]->Clone(copy);
    EXPECT_EQ(StringValue(copy), "abc");
    IAPStringProperty* s = nullptr;
    copy->QueryInterface(IID_IAPStringProperty, reinterpret_cast<void**>(&s));
    s->SetString(Text("changed"));
    s->Release();
    EXPECT_EQ(StringValue(sources[0]), "abc") << "the copy is separate";
    copy->Release();

    copy = Create<IAPProperty>(CLSID_APIntProperty, IID_IAPProperty);
    sources[1]->Clone(copy);
    EXPECT_EQ(IntValue(copy), 9);
    copy->Release();
    copy = Create<IAPProperty>(CLSID_APDoubleProperty, IID_IAPProperty);
    sources[2]->Clone(copy);
    EXPECT_EQ(DoubleValue(copy), -3.5);
    copy->Release();
    copy = Create<IAPProperty>(CLSID_APElemPtrProperty, IID_IAPProperty);
    sources[3]->Clone(copy);
    EXPECT_EQ(ElemPtrValue(copy), target.AsElement());
    EXPECT_EQ(target.refs, 1);
    copy->Release();

    for (IAPProperty* src : sources) src->Release();
}

TEST_F(Properties, CloneIntoAnotherKindCopiesOnlyTheFlags)
{
    IAPProperty* src = NewIntProperty(4, true, true);
    IAPProperty* other = Create<IAPProperty>(CLSID_APDoubleProperty, IID_IAPProperty);
    EXPECT_EQ(src->Clone(other), E_FAIL);
    EXPECT_EQ(FlagOf(other, &IAPProperty::GetCopyFlag), 1);
    EXPECT_EQ(DoubleValue(other), 0.0);
    EXPECT_EQ(src->Clone(nullptr), E_POINTER);
    EXPECT_EQ(RefCount(other), 1u) << "nothing obtained is kept";
    src->Release();
    other->Release();
}

TEST_F(Properties, CloneIntoAForeignObjectGoesThroughItsInterface)
{
    IAPProperty* src = NewIntProperty(4, true, false);
    src->SetFlag(0x0005, 1);
    ForeignProperty foreign;
    foreign.flags = 0x00F20002; // copy flag and upper bits that must go
    EXPECT_EQ(src->Clone(&foreign), E_FAIL) << "it answers no typed interface";
    EXPECT_EQ(foreign.flags, 0x00050001u);
    EXPECT_FALSE(foreign.calls.empty());
    EXPECT_EQ(foreign.refs, 1);
    src->Release();
}

// ---------------------------------------------------------------------------------------
// The element's property map

TEST_F(Properties, MapHoldsOneReferencePerEntryAndReplacesByKey)
{
    IAPProperty* first = NewIntProperty(1);
    IAPProperty* second = NewIntProperty(2);
    {
        TestElement e;
        IAPPropertyKey* key = NewKey("k");
        EXPECT_EQ(e.SetProperty(key, first), S_OK);
        EXPECT_EQ(RefCount(first), 2u);
        EXPECT_EQ(e.SetProperty(key, first), S_OK);
        EXPECT_EQ(RefCount(first), 2u) << "the same pointer again changes nothing";
        EXPECT_EQ(e.SetProperty(key, second), S_OK);
        EXPECT_EQ(RefCount(first), 1u) << "the first value was released";
        EXPECT_EQ(RefCount(second), 2u);
        int n = -1;
        e.GetNumProperties(&n);
        EXPECT_EQ(n, 1);

        IAPProperty* got = nullptr;
        EXPECT_EQ(e.GetProperty(key, &got), S_OK);
        EXPECT_EQ(got, second);
        EXPECT_EQ(RefCount(second), 3u) << "a reference for the caller";
        got->Release();

        IAPPropertyKey* missing = NewKey("K");
        got = reinterpret_cast<IAPProperty*>(1);
        EXPECT_EQ(e.GetProperty(missing, &got), E_FAIL);
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(e.RemoveProperty(missing), S_OK) << "a missing key is no error";

        EXPECT_EQ(e.SetProperty(nullptr, first), E_FAIL);
        EXPECT_EQ(e.SetProperty(key, nullptr), E_FAIL);
        EXPECT_EQ(e.GetProperty(nullptr, &got), E_FAIL);
        EXPECT_EQ(e.GetProperty(key, nullptr), E_FAIL);
        EXPECT_EQ(e.RemoveProperty(nullptr), E_FAIL);
        EXPECT_EQ(e.GetNumProperties(nullptr), E_FAIL);

        EXPECT_EQ(e.RemoveProperty(key), S_OK);
        EXPECT_EQ(RefCount(second), 1u);
        e.GetNumProperties(&n);
        EXPECT_EQ(n, 0);

        e.SetProperty(key, second);
        missing->Release();
        key->Release();
    }
    EXPECT_EQ(RefCount(second), 1u) << "destruction releases the values";
    first->Release();
    second->Release();
}

TEST_F(Properties, KeysAreOrderedByTheirBytes)
{
    TestElement e;
    for (const char* k : {"b", "B", "a", "A1", "A", "_", "a b"}) Attach(e, k, NewIntProperty(0));
    std::vector<CString> order;
    for (const auto& entry : e.Properties()) order.push_back(entry.first);
    const std::vector<CString> expected = {"A", "A1", "B", "_", "a", "a b", "b"};
    EXPECT_EQ(order, expected) << "case-sensitive byte order: upper case first";
    int n = 0;
    e.GetNumProperties(&n);
    EXPECT_EQ(n, 7) << "keys that differ in case are two entries";
}

TEST_F(Properties, AKeyThatClaimsAnImpossibleSizeIsRefused)
{
    class BoastingKey : public UnqueryableFake<IAPPropertyKey> {
    public:
        HRESULT STDMETHODCALLTYPE GetKey(unsigned char* key) override
        {
            key[0] = 0;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetKeySize(int* size) override
        {
            *size = 0x7fffffff;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE SetKey(unsigned char*) override { return S_OK; }
    } key;
    TestElement e;
    IAPProperty* p = NewIntProperty(1);
    EXPECT_EQ(e.SetProperty(&key, p), E_FAIL);
    EXPECT_EQ(RefCount(p), 1u);
    p->Release();
}

TEST_F(Properties, ThroughTheElementInterface)
{
    IAPElement* e = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    ASSERT_NE(e, nullptr);
    IAPPropertyKey* key = NewKey("colour");
    IAPProperty* value = NewStringProperty("blue");
    EXPECT_EQ(e->SetProperty(key, value), S_OK);
    value->Release();
    int n = -1;
    EXPECT_EQ(e->GetNumProperties(&n), S_OK);
    EXPECT_EQ(n, 1);
    IAPProperty* got = nullptr;
    EXPECT_EQ(e->GetProperty(key, &got), S_OK);
    EXPECT_EQ(StringValue(got), "blue");
    got->Release();
    EXPECT_EQ(e->SetProperty(nullptr, got), E_FAIL);
    IAPPropertyKey* other = NewKey("Colour");
    got = reinterpret_cast<IAPProperty*>(1);
    EXPECT_EQ(e->GetProperty(other, &got), E_FAIL);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(e->RemoveProperty(other), S_OK);
    other->Release();
    key->Release();
    // The element's destruction lets go of the property (the fixture checks that no object
    // is left).
    EXPECT_EQ(e->Release(), 0u);
}
