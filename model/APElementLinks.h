#pragma once
// Links between elements (operations, conditions, pairs, datums, frames, tolerances) and the
// elements they point to: dependent registration, reference numbers in blocks, copy targets.
#include <vector>

#include "model/APArray.h"
#include "model/APComQuery.h"
#include "model/APElement.h"
#include "model/APPendingRefs.h"
#include "platform/toolkit/WmObjectStream.h"

// "No element" in a block. The object stream itself knows only 0 as null.
constexpr int kNoElement = -200000;

// The element's wrapper queried for IAPElementSink (with a reference), or null.
IAPElementSink* OwnSinkOf(IAPElement* wrapper);

// `member` (any interface of an element) as IAPElement gets AddDependent / RemoveDependent.
// False when the member cannot be reached or refuses.
bool Watch(IUnknown* member, IAPElementSink* sink);
bool Unwatch(IUnknown* member, IAPElementSink* sink);

// `p` as interface `iid` without keeping a reference: the pointer a list stores for a member
// held bare. Null for a null `p` or a failing query.
template <class T>
T* Bare(IUnknown* p, REFIID iid)
{
    T* out = Query<T>(p, iid);
    if (out) out->Release();
    return out;
}

// Writes a reference: -200000 for none, else the pointer number of the element.
bool WriteElementRef(WmObjectStream& stream, IUnknown* member);
// Reads `count` reference numbers after checking that the stream can hold them.
bool ReadElementRefs(WmObjectStream& stream, int count, std::vector<int>& numbers);

// The element's copy (`slot`, typed as `iid`) as the running copy's document supplies it, now
// or when the copy is made; null when no copy runs or the document refuses.
void MapThroughCopy(IAPDocument* doc, IAPElement* dependent, REFIID iid, IUnknown* source, void** slot);
// The target's document for a copy, with a reference, or null.
IAPDocument* CopyDocument(IAPDocEventSink* sink);

// The model behind a copy target, found without trusting the target to be one of ours.
template <class T>
T* CloneTargetOf(IAPElement* target, const CRuntimeClass* cls)
{
    APElement* model = APElement::FromInterface(target);
    return model && model->IsKindOf(cls) ? static_cast<T*>(model) : nullptr;
}

// Entry `index` of a list with a reference for the caller (a null entry comes out null).
template <class T>
HRESULT HandOutEntry(const APArray<T*>& list, int index, T** out)
{
    if (!out || index < 0 || index >= list.Count()) return E_FAIL;
    *out = list[index];
    if (*out) (*out)->AddRef();
    return S_OK;
}

// Appends `member` (already the list's interface, not null) unless listed, and watches it.
// Without a sink nothing is taken.
template <class T>
HRESULT AppendWatched(APArray<T*>& list, T* member, IAPElement* wrapper)
{
    if (list.Contains(member)) return S_OK;
    IAPElementSink* sink = OwnSinkOf(wrapper);
    if (!sink) return E_FAIL;
    list.Append(member);
    const bool watched = Watch(member, sink);
    sink->Release();
    return watched ? S_OK : E_FAIL;
}

// Takes entry `index` out; its registration goes too unless `stillWatched(member)` says
// another entry keeps it. A registration already gone does not keep the entry.
template <class T, class Keep>
HRESULT RemoveWatched(APArray<T*>& list, int index, IAPElement* wrapper, Keep&& stillWatched)
{
    if (index < 0 || index >= list.Count()) return E_FAIL;
    IAPElementSink* sink = OwnSinkOf(wrapper);
    if (!sink) return E_FAIL;
    T* member = list[index];
    list.RemoveAt(index);
    if (member && !stillWatched(member)) Unwatch(member, sink);
    sink->Release();
    return S_OK;
}

// The copy's list takes the source's length; each member's slot is filled by the copy map,
// now or when the member's copy is made (so the list is sized once and not moved meanwhile).
template <class T>
void MapListThroughCopy(IAPDocument* doc, IAPElement* dependent, REFIID iid, const APArray<T*>& from, APArray<T*>& to)
{
    to.SetSize(from.GetCount());
    for (int i = 0; i < from.Count(); ++i)
        if (from[i]) MapThroughCopy(doc, dependent, iid, from[i], reinterpret_cast<void**>(&to[i]));
}

// Removes every null entry, from the last to the first.
template <class T>
void DropNullEntries(APArray<T*>& list)
{
    for (int i = list.Count() - 1; i >= 0; --i)
        if (!list[i]) list.RemoveAt(i);
}
