#include "operations/APOperationParts.h"

#include <set>

#include "model/APElementLinks.h"
#include "model/APFieldAccess.h"
#include "platform/toolkit/WmObjectStream.h"

// ---------------------------------------------------------------------------------------
// Step settings

HRESULT APStepSettings::SetMoveType(int value) { return Store(m_step.moveType, value); }
HRESULT APStepSettings::GetMoveType(int* value) { return CopyOut(m_step.moveType, value); }
HRESULT APStepSettings::SetMoveFlag(int value) { return Store(m_step.moveFlag, value); }
HRESULT APStepSettings::GetMoveFlag(int* value) { return CopyOut(m_step.moveFlag, value); }
HRESULT APStepSettings::SetMoveLimit(double value) { return Store(m_step.moveLimit, value); }
HRESULT APStepSettings::GetMoveLimit(double* value) { return CopyOut(m_step.moveLimit, value); }
HRESULT APStepSettings::SetShowPointFlag(int value) { return Store(m_step.showPointFlag, value); }
HRESULT APStepSettings::GetShowPointFlag(int* value) { return CopyOut(m_step.showPointFlag, value); }
HRESULT APStepSettings::SetShowPointFrom(int value) { return Store(m_step.showPointFrom, value); }
HRESULT APStepSettings::GetShowPointFrom(int* value) { return CopyOut(m_step.showPointFrom, value); }
HRESULT APStepSettings::SetShowPointTo(int value) { return Store(m_step.showPointTo, value); }
HRESULT APStepSettings::GetShowPointTo(int* value) { return CopyOut(m_step.showPointTo, value); }
HRESULT APStepSettings::SetRefreshFlag(int value) { return Store(m_step.refreshFlag, value); }
HRESULT APStepSettings::GetRefreshFlag(int* value) { return CopyOut(m_step.refreshFlag, value); }
HRESULT APStepSettings::SetRefreshFrom(int value) { return Store(m_step.refreshFrom, value); }
HRESULT APStepSettings::GetRefreshFrom(int* value) { return CopyOut(m_step.refreshFrom, value); }
HRESULT APStepSettings::SetRefreshTo(int value) { return Store(m_step.refreshTo, value); }
HRESULT APStepSettings::GetRefreshTo(int* value) { return CopyOut(m_step.refreshTo, value); }
HRESULT APStepSettings::SetRefreshDelay(int value) { return Store(m_step.refreshDelay, value); }
HRESULT APStepSettings::GetRefreshDelay(int* value) { return CopyOut(m_step.refreshDelay, value); }
HRESULT APStepSettings::SetRefreshDelaySeconds(int value) { return Store(m_step.refreshDelaySeconds, value); }
HRESULT APStepSettings::GetRefreshDelaySeconds(int* value) { return CopyOut(m_step.refreshDelaySeconds, value); }

bool APStepSettings::WriteMove(WmObjectStream& s) const
{
    return s.write(m_step.moveType) && s.write(m_step.moveFlag != 0) && s.write(m_step.moveLimit) &&
           s.write(m_step.showPointFlag != 0) && s.write(m_step.showPointFrom) && s.write(m_step.showPointTo);
}

bool APStepSettings::WriteRefresh(WmObjectStream& s) const
{
    return s.write(m_step.refreshFlag != 0) && s.write(m_step.refreshFrom) && s.write(m_step.refreshTo) &&
           s.write(m_step.refreshDelay != 0) && s.write(m_step.refreshDelaySeconds);
}

bool APStepSettings::ReadMove(WmObjectStream& s)
{
    Values v = m_step;
    if (!s.read(v.moveType) || !s.read(v.moveFlag) || !s.read(v.moveLimit) || !s.read(v.showPointFlag) ||
        !s.read(v.showPointFrom) || !s.read(v.showPointTo))
        return false;
    m_step = v;
    return true;
}

bool APStepSettings::ReadRefresh(WmObjectStream& s)
{
    Values v = m_step;
    if (!s.read(v.refreshFlag) || !s.read(v.refreshFrom) || !s.read(v.refreshTo) || !s.read(v.refreshDelay) ||
        !s.read(v.refreshDelaySeconds))
        return false;
    m_step = v;
    return true;
}

// ---------------------------------------------------------------------------------------
// Element lists

IAPElementSink* APElementList::OwnerSink() const { return OwnSinkOf(m_owner.GetComObject()); }

HRESULT APElementList::Get(int index, IAPElement** element) const { return HandOutEntry(m_entries, index, element); }

HRESULT APElementList::Append(IAPElement* element, bool watch)
{
    IAPElement* entry = nullptr;
    if (element) {
        entry = Query<IAPElement>(element, IID_IAPElement); // the entry's reference
        if (!entry) return E_FAIL;
    }
    m_entries.Append(entry);
    if (!entry) return S_OK;
    if (!m_owner.GetComObject()) return E_FAIL;
    if (!watch) return S_OK;
    IAPElementSink* sink = OwnerSink();
    if (!sink) return E_FAIL;
    const bool watched = Watch(entry, sink);
    sink->Release();
    return watched ? S_OK : E_FAIL;
}

void APElementList::Clear()
{
    // The list is empty before any release runs, so that a release that reaches back finds
    // no stale entries.
    std::vector<IAPElement*> gone(m_entries.Data(), m_entries.Data() + m_entries.GetCount());
    m_entries.RemoveAll();
    IAPElementSink* sink = gone.empty() ? nullptr : OwnerSink();
    std::set<IAPElement*> unwatched;
    for (IAPElement* e : gone) {
        if (!e) continue;
        // Unregistered before the release that may end the element.
        if (sink && unwatched.insert(e).second) Unwatch(e, sink);
        e->Release();
    }
    if (sink) sink->Release();
}

bool APElementList::DropDestroyed(IAPElement* element) { return Destroyed(element, false); }

bool APElementList::NullDestroyed(IAPElement* element) { return Destroyed(element, true); }

bool APElementList::Destroyed(IAPElement* element, bool keepSlots)
{
    IAPElement* target = element ? Bare<IAPElement>(element, IID_IAPElement) : nullptr;
    if (!target) target = element;
    if (!target) return false;
    int dropped = 0;
    for (int i = m_entries.Count() - 1; i >= 0; --i) {
        if (m_entries[i] != target) continue;
        if (keepSlots) m_entries[i] = nullptr;
        else m_entries.RemoveAt(i);
        ++dropped;
    }
    if (!dropped) return false;
    if (IAPElementSink* sink = OwnerSink()) {
        Unwatch(target, sink);
        sink->Release();
    }
    // May end the element: it is not touched afterwards.
    while (dropped-- > 0) target->Release();
    return true;
}

HRESULT APElementList::RemoveFirst(IAPElement* element)
{
    IAPElement* target = element ? Bare<IAPElement>(element, IID_IAPElement) : nullptr;
    if (!target) target = element;
    int index = -1;
    if (!target || !m_entries.Find(target, &index)) return S_OK;
    IAPElementSink* sink = OwnerSink();
    if (!sink) return E_FAIL;
    Unwatch(target, sink);
    sink->Release();
    m_entries.RemoveAt(index);
    target->Release(); // may end the element
    return S_OK;
}

HRESULT APElementList::RemoveAt(int index)
{
    if (index < 0 || index >= m_entries.Count()) return E_FAIL;
    IAPElement* target = m_entries[index];
    if (!target) {
        m_entries.RemoveAt(index);
        return S_OK;
    }
    IAPElementSink* sink = OwnerSink();
    if (!sink) return E_FAIL;
    m_entries.RemoveAt(index);
    if (!m_entries.Contains(target)) Unwatch(target, sink);
    sink->Release();
    target->Release(); // may end the element
    return S_OK;
}

HRESULT APElementList::ReplaceAt(int index, IAPElement* element)
{
    if (index < 0 || index >= m_entries.Count() || !element) return E_FAIL;
    IAPElementSink* sink = OwnerSink();
    if (!sink) return E_FAIL;
    IAPElement* entry = Query<IAPElement>(element, IID_IAPElement); // the entry's reference
    if (!entry) {
        sink->Release();
        return E_FAIL;
    }
    IAPElement* old = m_entries[index];
    m_entries[index] = entry;
    const bool watched = Watch(entry, sink);
    // Unregistered before the release that may end the old element.
    if (old && !m_entries.Contains(old)) Unwatch(old, sink);
    sink->Release();
    if (old) old->Release();
    return watched ? S_OK : E_FAIL;
}

bool APElementList::Write(WmObjectStream& s) const
{
    if (!s.write(m_entries.Count())) return false;
    for (int i = 0; i < m_entries.Count(); ++i)
        if (!WriteElementRef(s, m_entries[i])) return false;
    return true;
}

bool APElementList::Read(WmObjectStream& s)
{
    int count = 0;
    std::vector<int> numbers;
    if (!s.read(count) || !ReadElementRefs(s, count, numbers)) return false;
    Expect(s, numbers);
    return true;
}

void APElementList::Expect(WmObjectStream& s, const std::vector<int>& numbers)
{
    m_loaded.Request(s, numbers);
    m_pending = true;
}

bool APElementList::IsOwnerAncestor(IAPElement* element) const
{
    IAPNode* node = Query<IAPNode>(m_owner.GetComObject(), IID_IAPNode);
    std::set<IUnknown*> seen;
    bool found = false;
    while (node && !found) {
        IAPNode* parent = nullptr;
        const bool up = SUCCEEDED(node->GetParent(0, &parent)) && parent;
        node->Release();
        node = up ? parent : nullptr;
        if (!node || !seen.insert(Identity(node)).second) break;
        found = Bare<IAPElement>(node, IID_IAPElement) == element;
    }
    if (node) node->Release();
    return found;
}

void APElementList::LetGo()
{
    m_loaded.Clear();
    m_pending = false;
    Clear();
}

HRESULT APElementList::Relink()
{
    if (!m_pending) return S_OK;
    m_pending = false;
    Clear();
    IAPElementSink* sink = OwnerSink();
    if (!sink) {
        m_loaded.Clear();
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    for (int i = 0; i < m_loaded.Count(); ++i) {
        IAPElement* e = m_loaded[i];
        m_entries.Append(e);
        if (!e) continue;
        e->AddRef();
        if (m_rule == LoadRule::SkipAncestors && IsOwnerAncestor(e)) continue;
        if (!Watch(e, sink)) hr = E_FAIL;
    }
    m_loaded.Clear();
    sink->Release();
    return hr;
}
