#pragma once
// Field helpers shared by the model classes' persisted blocks.
#include <cstdint>
#include <vector>

#include "model/APArray.h"
#include "platform/mfc/afx.h"
#include "platform/toolkit/WmObjectStream.h"
#include "Plenvort_h.h"

// Can the stream still hold `bytes`? True when it cannot tell; the reads then fail at the
// end of the data instead.
bool MayHold(WmObjectStream& stream, std::int64_t bytes);

// A string through a buffer of `bufferSize` characters: at most bufferSize - 1 are written,
// and a read keeps that many.
bool WriteText(WmObjectStream& stream, const CString& text, int bufferSize);
bool ReadText(WmObjectStream& stream, CString& text, int bufferSize);
// A list of such strings behind its count. A read checks the count against what the stream
// still holds first, and changes `texts` only when the whole list was read.
bool WriteTextList(WmObjectStream& stream, const std::vector<CString>& texts, int bufferSize);
bool ReadTextList(WmObjectStream& stream, std::vector<CString>& texts, int bufferSize);

// A data moniker as its saved bytes behind their length; no moniker is length 0, and a read
// leaves *moniker null for it.
bool WriteMonikerField(WmObjectStream& stream, IORVDataMoniker* moniker);
bool ReadMonikerField(WmObjectStream& stream, IORVDataMoniker** moniker);

// A record nested in its owner's block: {class GUID, the element's own block}. The element is
// created by class and must answer `kind`; it comes back as that interface with the creation
// reference, or null when anything fails.
void* ReadNestedRecord(WmObjectStream& stream, REFIID kind);
// Writes {class GUID, block} of `member` (any interface of an element).
bool WriteNestedRecord(WmObjectStream& stream, IUnknown* member);

// An owned list: its count, then a nested record per entry.
template <class T>
bool WriteOwned(WmObjectStream& s, const APArray<T*>& list)
{
    if (!s.write(list.Count())) return false;
    for (int i = 0; i < list.Count(); ++i)
        if (!WriteNestedRecord(s, list[i])) return false;
    return true;
}

// Reads an owned list. Entries read before a failure stay in `list`; an entry that is not of
// the list's kind (`iid`) fails the read.
template <class T>
bool ReadOwned(WmObjectStream& s, APArray<T*>& list, REFIID iid)
{
    int count = 0;
    // A record is at least its class identifier.
    if (!s.read(count) || count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * 16)) return false;
    for (int i = 0; i < count; ++i) {
        T* e = static_cast<T*>(ReadNestedRecord(s, iid));
        if (!e) return false;
        list.Append(e); // the creation reference becomes the list's
    }
    return true;
}
