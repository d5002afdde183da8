#include "model/APGroup.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APGroupNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APFeatureGroupNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APSubFeatureGroupNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APNodeInstance, APNode)
IMPLEMENT_DYNAMIC(APGroup, APNode)

namespace {

// Strings pass through a 1024-character buffer on both sides of the stream.
constexpr int kTextBuffer = 1024;

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

} // namespace

// ---------------------------------------------------------------------------------------
// APGroupNode

HRESULT APGroupNode::SetNodeString(const CString& text) { return Store(m_nodeString, text); }

HRESULT APGroupNode::GetNodeString(CString& text) { return Store(text, m_nodeString); }

HRESULT APGroupNode::Serialize(WmObjectStream* stream)
{
    if (!stream || APGeometryNode::Serialize(stream) < 0) return E_FAIL;
    if (!stream->write(kBlockVersion) || !WriteText(*stream, m_nodeString, kTextBuffer)) return E_FAIL;
    return S_OK;
}

HRESULT APGroupNode::Deserialize(WmObjectStream* stream)
{
    if (!stream || APGeometryNode::Deserialize(stream) < 0) return E_FAIL;
    int version = 0;
    if (!stream->read(version)) return E_FAIL;
    CString text;
    if (version >= 2 && !ReadText(*stream, text, kTextBuffer)) return E_FAIL;
    m_nodeString = text;
    return S_OK;
}

APGroupNode& APGroupNode::operator=(const APGroupNode& source)
{
    if (this == &source) return *this;
    APNode::operator=(source);
    m_nodeString = source.m_nodeString;
    return *this;
}

HRESULT APGroupNode::Clone(IAPElement* target) { return CloneByAssignment(*this, target, RUNTIME_CLASS(APGroupNode)); }

// ---------------------------------------------------------------------------------------
// APFeatureGroupNode, APSubFeatureGroupNode

HRESULT APFeatureGroupNode::Serialize(WmObjectStream* stream)
{
    return !stream || APGeometryNode::Serialize(stream) < 0 ? E_FAIL : WriteVersionWord(stream, 1);
}

HRESULT APFeatureGroupNode::Deserialize(WmObjectStream* stream)
{
    return !stream || APGeometryNode::Deserialize(stream) < 0 ? E_FAIL : SkipVersionWord(stream);
}

HRESULT APFeatureGroupNode::Clone(IAPElement* target) { return CloneByAssignment<APNode>(*this, target, RUNTIME_CLASS(APFeatureGroupNode)); }

HRESULT APSubFeatureGroupNode::Serialize(WmObjectStream* stream)
{
    return !stream || APGeometryNode::Serialize(stream) < 0 ? E_FAIL : WriteVersionWord(stream, 1);
}

HRESULT APSubFeatureGroupNode::Deserialize(WmObjectStream* stream)
{
    return !stream || APGeometryNode::Deserialize(stream) < 0 ? E_FAIL : SkipVersionWord(stream);
}

HRESULT APSubFeatureGroupNode::Clone(IAPElement* target) { return CloneByAssignment<APNode>(*this, target, RUNTIME_CLASS(APSubFeatureGroupNode)); }

// ---------------------------------------------------------------------------------------
// APNodeInstance

APNodeInstance::APNodeInstance() { std::copy(std::begin(kIdentity), std::end(kIdentity), m_transform); }

void APNodeInstance::SetTransform(const float m[16])
{
    if (m) std::copy(m, m + 16, m_transform);
}

HRESULT APNodeInstance::Serialize(WmObjectStream* stream)
{
    if (!stream || APNode::Serialize(stream) < 0) return E_FAIL;
    if (!stream->write(1) || !stream->writeMatrix4f(m_transform)) return E_FAIL;
    return S_OK;
}

HRESULT APNodeInstance::Deserialize(WmObjectStream* stream)
{
    if (!stream || APNode::Deserialize(stream) < 0) return E_FAIL;
    int version = 0;
    float m[16];
    if (!stream->read(version) || !stream->readMatrix4f(m)) return E_FAIL;
    std::copy(m, m + 16, m_transform);
    return S_OK;
}

APNodeInstance& APNodeInstance::operator=(const APNodeInstance& source)
{
    if (this == &source) return *this;
    APNode::operator=(source);
    std::copy(std::begin(source.m_transform), std::end(source.m_transform), m_transform);
    return *this;
}

HRESULT APNodeInstance::Clone(IAPElement* target) { return CloneByAssignment(*this, target, RUNTIME_CLASS(APNodeInstance)); }

// ---------------------------------------------------------------------------------------
// APGroup

APGroup::~APGroup() = default;

HRESULT APGroup::OwnSink(IAPElementSink** sink)
{
    *sink = nullptr;
    if (!m_wrapper) return E_FAIL;
    return FAILED(m_wrapper->QueryInterface(IID_IAPElementSink, reinterpret_cast<void**>(sink))) || !*sink ? E_FAIL : S_OK;
}

HRESULT APGroup::AppendElement(IUnknown* member)
{
    if (!member) return E_FAIL;
    IAPMeasurementOperation* op = nullptr;
    if (FAILED(member->QueryInterface(IID_IAPMeasurementOperation, reinterpret_cast<void**>(&op))) || !op) return E_FAIL;
    // The group holds no reference: the query's goes again on every road.
    if (m_members.Contains(op)) {
        op->Release();
        return S_OK;
    }
    // A member is only taken once the group watches it, so that none can go unnoticed.
    IAPElementSink* sink = nullptr;
    IAPElement* element = nullptr;
    HRESULT hr = OwnSink(&sink);
    if (SUCCEEDED(hr) && (FAILED(op->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element))) || !element))
        hr = E_FAIL;
    if (SUCCEEDED(hr) && FAILED(element->AddDependent(sink))) hr = E_FAIL;
    if (SUCCEEDED(hr)) {
        try {
            m_members.Append(op);
        } catch (...) {
            element->RemoveDependent(sink);
            hr = E_FAIL;
        }
    }
    if (element) element->Release();
    if (sink) sink->Release();
    op->Release();
    return hr;
}

HRESULT APGroup::RemoveElementByIndex(int index)
{
    if (index < 0 || index >= m_members.Count() || !m_wrapper) return E_FAIL;
    IAPMeasurementOperation* op = m_members[index];
    if (op) {
        IAPElementSink* sink = nullptr;
        if (FAILED(OwnSink(&sink))) return E_FAIL;
        IAPElement* element = nullptr;
        if (FAILED(op->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element))) || !element) {
            sink->Release();
            return E_FAIL;
        }
        element->RemoveDependent(sink);
        element->Release();
        sink->Release();
    }
    m_members.RemoveAt(index, 1);
    return S_OK;
}

HRESULT APGroup::GetElement(int index, IAPMeasurementOperation** member)
{
    if (!member || index < 0 || index >= m_members.Count()) return E_FAIL;
    IAPMeasurementOperation* op = m_members[index];
    if (!op) return E_FAIL;
    op->AddRef();
    *member = op;
    return S_OK;
}

HRESULT APGroup::GetElementAsElement(int index, IAPElement** member)
{
    if (!member) return E_FAIL;
    IAPMeasurementOperation* op = nullptr;
    if (GetElement(index, &op) < 0 || !op) return E_FAIL;
    IAPElement* element = nullptr;
    const HRESULT hr = op->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element));
    op->Release();
    if (FAILED(hr) || !element) return E_FAIL;
    *member = element;
    return S_OK;
}

HRESULT APGroup::GetNumElements(int* count) { return CopyOut(m_members.Count(), count); }

HRESULT APGroup::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3) return S_OK;
    if (!element) return E_FAIL;
    IAPMeasurementOperation* op = nullptr;
    if (FAILED(element->QueryInterface(IID_IAPMeasurementOperation, reinterpret_cast<void**>(&op))) || !op) return E_FAIL;
    int index = -1;
    const bool found = m_members.Find(op, &index);
    op->Release();
    if (!found) return E_FAIL;
    // Through the interface, so that the change is announced like any removal.
    IAPGroup* group = nullptr;
    if (FAILED(m_wrapper->QueryInterface(IID_IAPGroup, reinterpret_cast<void**>(&group))) || !group) return E_FAIL;
    const HRESULT hr = group->RemoveGroupElementByIndex(index);
    group->Release();
    return hr == S_OK ? S_OK : E_FAIL;
}

bool APGroup::UnregisterFromMembers()
{
    IAPElementSink* sink = nullptr;
    if (FAILED(OwnSink(&sink))) return false;
    bool all = true;
    for (int i = 0; i < m_members.Count(); ++i) {
        IAPMeasurementOperation* op = m_members[i];
        if (!op) continue;
        IAPElement* element = nullptr;
        if (FAILED(op->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element))) || !element) {
            all = false;
            continue;
        }
        element->RemoveDependent(sink);
        element->Release();
    }
    sink->Release();
    return all;
}

HRESULT APGroup::NotifyDeletion()
{
    if (!m_wrapper) return E_FAIL;
    // Every member is let go even when one cannot be reached, and the group's own dependents
    // hear of its end in any case.
    const bool unregistered = UnregisterFromMembers();
    if (unregistered) m_members.RemoveAll();
    // The node part unlinks any children a client hung under the group.
    const HRESULT hr = APNode::NotifyDeletion();
    return unregistered && hr >= 0 ? S_OK : E_FAIL;
}

HRESULT APGroup::FixupLists()
{
    if (APElement::FixupLists() < 0) return E_FAIL;
    // Only references that a read left pending are turned into members; a live group (the
    // operation is public on the interface) stays as it is.
    if (m_stored.Count() == 0) return S_OK;
    IAPElementSink* sink = nullptr;
    if (FAILED(OwnSink(&sink))) return E_FAIL;

    // Every reference is checked before the first changes anything.
    std::vector<std::pair<IAPMeasurementOperation*, IAPElement*>> found;
    auto release = [&found]() {
        for (auto& [op, element] : found) {
            op->Release();
            element->Release();
        }
    };
    HRESULT hr = S_OK;
    for (int i = 0; i < m_stored.Count() && SUCCEEDED(hr); ++i) {
        IAPElement* stored = m_stored[i];
        if (!stored) continue; // a reference to no element
        IAPMeasurementOperation* op = nullptr;
        IAPElement* element = nullptr;
        if (FAILED(stored->QueryInterface(IID_IAPMeasurementOperation, reinterpret_cast<void**>(&op))) || !op) {
            hr = E_FAIL;
            break;
        }
        if (FAILED(op->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element))) || !element) {
            op->Release();
            hr = E_FAIL;
            break;
        }
        found.emplace_back(op, element);
    }
    if (SUCCEEDED(hr)) {
        for (auto& [op, element] : found) {
            if (m_members.Contains(op)) continue;
            if (FAILED(element->AddDependent(sink))) {
                hr = E_FAIL;
                continue;
            }
            m_members.Append(op);
        }
        m_stored.Clear();
    }
    release();
    sink->Release();
    return hr;
}

HRESULT APGroup::CleanUpCopyList()
{
    for (int i = m_members.Count() - 1; i >= 0; --i)
        if (!m_members[i]) m_members.RemoveAt(i, 1);
    return S_OK;
}

HRESULT APGroup::Serialize(WmObjectStream* stream)
{
    // A group is an element block and its member references: it writes no node block.
    if (!stream || APElement::Serialize(stream) < 0) return E_FAIL;
    std::vector<int> numbers;
    for (int i = 0; i < m_members.Count(); ++i) {
        IAPMeasurementOperation* op = m_members[i];
        if (!op) continue;
        IAPElement* element = nullptr;
        if (FAILED(op->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element))) || !element) return E_FAIL;
        int number = 0;
        const bool ok = stream->ptr2num(element, &number);
        element->Release();
        if (!ok) return E_FAIL;
        numbers.push_back(number);
    }
    if (!stream->write(1) || !stream->write(static_cast<int>(numbers.size()))) return E_FAIL;
    for (int number : numbers)
        if (!stream->write(number)) return E_FAIL;
    return S_OK;
}

HRESULT APGroup::Deserialize(WmObjectStream* stream)
{
    if (!stream || APElement::Deserialize(stream) < 0) return E_FAIL;
    int version = 0, count = 0;
    if (!stream->read(version) || !stream->read(count)) return E_FAIL;
    if (count < 0 || !MayHold(*stream, static_cast<std::int64_t>(count) * 4)) return E_FAIL;
    std::vector<int> numbers(static_cast<std::size_t>(count));
    for (int& number : numbers)
        if (!stream->read(number)) return E_FAIL;
    // The stream fills the slots as the members' records register.
    m_stored.Request(*stream, numbers);
    return S_OK;
}

void APGroup::CopyFrom(const APGroup& source)
{
    APElement::operator=(source);
    if (this == &source || !m_docSink) return;
    IAPDocument* doc = nullptr;
    if (FAILED(m_docSink->QueryInterface(IID_IAPDocument, reinterpret_cast<void**>(&doc))) || !doc) return;
    // The copy replaces the target's members; it lets go of the old ones first.
    UnregisterFromMembers();
    m_members.RemoveAll();
    // The document fills the slots now or when the member's copy is recorded; sized once so
    // that they stay where they are until the copy ends.
    m_members.SetSize(source.m_members.GetCount());
    for (int i = 0; i < source.m_members.Count(); ++i) {
        IAPMeasurementOperation* op = source.m_members[i];
        if (!op) continue;
        IAPElement* element = nullptr;
        if (FAILED(op->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element))) || !element) continue;
        GUID type = IID_IAPMeasurementOperation;
        doc->GetPossibleReferenceElement(m_wrapper, &type, element, reinterpret_cast<ULONG_PTR*>(&m_members[i]));
        element->Release();
    }
    doc->Release();
}

HRESULT APGroup::Clone(IAPElement* target)
{
    APGroup* copy = static_cast<APGroup*>(CloneTarget(target, RUNTIME_CLASS(APGroup)));
    if (!copy) return E_FAIL;
    copy->CopyFrom(*this);
    return S_OK;
}
