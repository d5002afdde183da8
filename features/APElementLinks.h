#pragma once
// Links between the feature-side elements (pairs, datums, frames, tolerances) and the
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

// Model objects behind the feature-side wrappers, so that a copy finds its target's model
// without trusting the target to be one of ours.
void TrackModel(APElement* model, IAPElement* oldWrapper, IAPElement* newWrapper);
APElement* TrackedModel(IUnknown* wrapper);
template <class T>
T* CloneTargetOf(IAPElement* target, const CRuntimeClass* cls)
{
    APElement* model = TrackedModel(target);
    return model && model->IsKindOf(cls) ? static_cast<T*>(model) : nullptr;
}

// A list of members held bare and watched: appends, removals and hand-outs. Duplicates across
// the lists that share one registration are the owner's business (`stillHeld`).
template <class T>
HRESULT HandOutEntry(const APArray<T*>& list, int index, T** out)
{
    if (!out || index < 0 || index >= list.Count()) return E_FAIL;
    *out = list[index];
    if (*out) (*out)->AddRef();
    return S_OK;
}

// Removes every null entry, from the last to the first.
template <class T>
void DropNullEntries(APArray<T*>& list)
{
    for (int i = list.Count() - 1; i >= 0; --i)
        if (!list[i]) list.RemoveAt(i);
}
