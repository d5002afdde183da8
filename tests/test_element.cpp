#include <gtest/gtest.h>
#include <functional>
#include <vector>
#include "model/APElement.h"

namespace {

class TestElement : public APElement {
public:
    HRESULT Clone(IAPElement*) override { return S_OK; }
};

// Minimal COM object standing in for wrappers, dependents and documents.
class FakeUnknown : public IAPElementSink, public IAPDocEventSink {
public:
    ULONG refs = 1;
    bool answersElement = true;
    bool answersDocument = true;
    HRESULT failNotify = S_OK;
    std::vector<std::pair<unsigned long, IAPElement*>> heard;
    std::vector<unsigned short> docCommands;
    std::vector<unsigned long> docLengths;
    std::vector<GUID> docMessages;
    std::function<void()> onNotify;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IAPElementSink) *out = static_cast<IAPElementSink*>(this);
        else if (iid == IID_IAPDocEventSink) *out = static_cast<IAPDocEventSink*>(this);
        else if (iid == IID_IAPElement && answersElement) *out = static_cast<IAPElementSink*>(this);
        else if (iid == IID_IAPDocument && answersDocument) *out = static_cast<IAPElementSink*>(this);
        else return E_NOINTERFACE;
        ++refs;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE Notify(unsigned long cmd, IAPElement* element) override
    {
        heard.emplace_back(cmd, element);
        if (onNotify) onNotify();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement*, unsigned long length, unsigned char* message) override
    {
        docCommands.push_back(cmd);
        docLengths.push_back(length);
        GUID g{};
        if (message && length == 16) memcpy(&g, message, 16);
        docMessages.push_back(g);
        return failNotify;
    }
};

IAPElement* AsElement(FakeUnknown& f) { return reinterpret_cast<IAPElement*>(static_cast<IAPElementSink*>(&f)); }

} // namespace

TEST(APElement, Defaults)
{
    TestElement e;
    int cost = 0, size = 1;
    e.GetCost(&cost);
    EXPECT_EQ(cost, -1);
    e.GetNameSize(&size);
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(APElement)));
    EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(CObject)));
}

TEST(APElement, NamesAndSizes)
{
    TestElement e;
    e.SetName("Bracket");
    e.SetDescription("left side");
    int n = 0, d = 0;
    e.GetNameSize(&n);
    e.GetDescriptionSize(&d);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(d, 9);
}

TEST(APElement, RenameKeepingPreviousAndRestore)
{
    TestElement e;
    int flag = 1;
    e.RenameKeepingPrevious("B", &flag);
    EXPECT_EQ(flag, 0) << "an unnamed element is not renamed";

    e.SetName("A");
    e.RenameKeepingPrevious("", &flag);
    EXPECT_EQ(flag, 0);
    e.RenameKeepingPrevious("B", &flag);
    EXPECT_EQ(flag, 1);
    CString name, previous;
    e.GetName(name);
    e.GetPreviousName(previous);
    EXPECT_EQ(name, "B");
    EXPECT_EQ(previous, "A");

    e.RestorePreviousName(&flag);
    EXPECT_EQ(flag, 1);
    e.GetName(name);
    e.GetPreviousName(previous);
    EXPECT_EQ(name, "A");
    EXPECT_TRUE(previous.IsEmpty());
    e.RestorePreviousName(&flag);
    EXPECT_EQ(flag, 0);
}

TEST(APElement, DependentsAreUniqueAndNotifiedLastFirstWithCommand3)
{
    TestElement e;
    FakeUnknown wrapper, a, b, c;
    e.SetComObject(AsElement(wrapper));
    e.AddDependent(&a);
    e.AddDependent(&b);
    e.AddDependent(&a);
    e.AddDependent(&c);
    int n = 0;
    e.GetNumDependents(&n);
    EXPECT_EQ(n, 3);

    std::vector<FakeUnknown*> order;
    for (FakeUnknown* f : {&a, &b, &c}) f->onNotify = [&order, f] { order.push_back(f); };
    EXPECT_EQ(e.NotifyDependents(1), S_OK);
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], &c);
    EXPECT_EQ(order[1], &b);
    EXPECT_EQ(order[2], &a);
    EXPECT_EQ(a.heard[0].first, 3u);
    EXPECT_EQ(a.heard[0].second, AsElement(wrapper));
    EXPECT_EQ(a.refs, 1u) << "references taken for the call are given back";
}

TEST(APElement, DependentsLeavingDuringTheWalk)
{
    TestElement e;
    FakeUnknown wrapper, a, b, c;
    e.SetComObject(AsElement(wrapper));
    for (FakeUnknown* f : {&a, &b, &c}) e.AddDependent(f);
    // c removes itself and b on hearing the news; b must not be called afterwards.
    c.onNotify = [&] {
        e.RemoveDependent(&c);
        e.RemoveDependent(&b);
    };
    e.NotifyDeletion();
    EXPECT_EQ(c.heard.size(), 1u);
    EXPECT_TRUE(b.heard.empty());
    EXPECT_EQ(a.heard.size(), 1u);
    int n = 0;
    e.GetNumDependents(&n);
    EXPECT_EQ(n, 1);
}

TEST(APElement, NotifyWithoutWrapperFails)
{
    TestElement e;
    FakeUnknown a;
    e.AddDependent(&a);
    EXPECT_EQ(e.NotifyDependents(3), E_FAIL);
    EXPECT_EQ(e.NotifyDeletion(), E_FAIL);
    EXPECT_TRUE(a.heard.empty());
}

TEST(APElement, RemoveAndGetDependentBounds)
{
    TestElement e;
    FakeUnknown a, b;
    EXPECT_EQ(e.RemoveDependent(&a), E_FAIL);
    e.AddDependent(&a);
    EXPECT_EQ(e.RemoveDependent(&b), E_FAIL);

    IAPElement* out = nullptr;
    EXPECT_EQ(e.GetDependent(-1, &out), E_FAIL);
    EXPECT_EQ(e.GetDependent(1, &out), E_FAIL);
    int n = 0;
    e.GetNumDependents(&n);
    EXPECT_EQ(n, 1) << "a bad index never grows the list";
    ASSERT_EQ(e.GetDependent(0, &out), S_OK);
    EXPECT_EQ(out, AsElement(a));
    out->Release();
    a.answersElement = false;
    EXPECT_EQ(e.GetDependent(0, &out), E_FAIL);
}

TEST(APElement, DocumentBindingAndChangeNotification)
{
    TestElement e;
    FakeUnknown doc, wrapper;
    const GUID iid = IID_IAPElement;
    EXPECT_EQ(e.NotifyDocumentChanged(AsElement(wrapper), reinterpret_cast<const unsigned char*>(&iid)), E_FAIL);
    IAPDocument* d = nullptr;
    EXPECT_EQ(e.GetDocument(&d), E_FAIL);

    e.BindDocument(&doc);
    EXPECT_EQ(e.NotifyDocumentChanged(AsElement(wrapper), reinterpret_cast<const unsigned char*>(&iid)), S_OK);
    ASSERT_EQ(doc.docCommands.size(), 1u);
    EXPECT_EQ(doc.docCommands[0], 1);
    EXPECT_EQ(doc.docLengths[0], 16u);
    EXPECT_TRUE(IsEqualGUID(doc.docMessages[0], IID_IAPElement));

    doc.failNotify = E_UNEXPECTED;
    EXPECT_EQ(e.NotifyDocumentChanged(AsElement(wrapper), reinterpret_cast<const unsigned char*>(&iid)), E_FAIL);

    ULONG before = doc.refs;
    ASSERT_EQ(e.GetDocument(&d), S_OK);
    EXPECT_EQ(doc.refs, before + 1) << "exactly one reference handed out";
    d->Release();
    doc.answersDocument = false;
    EXPECT_EQ(e.GetDocument(&d), E_FAIL);

    e.BindDocument(nullptr);
    EXPECT_EQ(e.GetDocument(&d), E_FAIL);
}
