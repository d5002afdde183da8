#include "model/APElementLinks.h"

#include <cstdint>

#include "model/APBlockIO.h"

IAPElementSink* OwnSinkOf(IAPElement* wrapper) { return Query<IAPElementSink>(wrapper, IID_IAPElementSink); }

namespace {

bool Register(IUnknown* member, IAPElementSink* sink, bool add)
{
    if (!member || !sink) return false;
    IAPElement* element = Query<IAPElement>(member, IID_IAPElement);
    if (!element) return false;
    const HRESULT hr = add ? element->AddDependent(sink) : element->RemoveDependent(sink);
    element->Release();
    return SUCCEEDED(hr);
}

} // namespace

bool Watch(IUnknown* member, IAPElementSink* sink) { return Register(member, sink, true); }

bool Unwatch(IUnknown* member, IAPElementSink* sink) { return Register(member, sink, false); }

bool WriteElementRef(WmObjectStream& stream, IUnknown* member)
{
    if (!member) return stream.write(kNoElement);
    IAPElement* element = Query<IAPElement>(member, IID_IAPElement);
    if (!element) return false;
    int number = 0;
    const bool ok = stream.ptr2num(element, &number);
    element->Release();
    return ok && stream.write(number);
}

bool ReadElementRefs(WmObjectStream& stream, int count, std::vector<int>& numbers)
{
    numbers.clear();
    if (count < 0 || !MayHold(stream, static_cast<std::int64_t>(count) * 4)) return false;
    numbers.resize(static_cast<std::size_t>(count));
    for (int& number : numbers)
        if (!stream.read(number)) return false;
    return true;
}

void MapThroughCopy(IAPDocument* doc, IAPElement* dependent, REFIID iid, IUnknown* source, void** slot)
{
    IAPElement* element = Query<IAPElement>(source, IID_IAPElement);
    GUID type = iid;
    if (!doc || !element ||
        FAILED(doc->GetPossibleReferenceElement(dependent, &type, element, reinterpret_cast<ULONG_PTR*>(slot))))
        *slot = nullptr;
    if (element) element->Release();
}

IAPDocument* CopyDocument(IAPDocEventSink* sink) { return Query<IAPDocument>(sink, IID_IAPDocument); }
