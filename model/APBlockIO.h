#pragma once
// Field helpers shared by the model classes' persisted blocks.
#include <cstdint>
#include <vector>

#include "platform/mfc/afx.h"
#include "Plenvort_h.h"

class WmObjectStream;

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
