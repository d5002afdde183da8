#pragma once
// The old-to-new map of one top-level node copy. Copied elements record their copies; elements
// that refer to others ask for the copies of what they refer to, at once when the copy is
// known, or queued until it is recorded. When the copy ends, requests still queued are
// answered with null, since their targets were not copied.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Plenvort_h.h"
#include "model/APArray.h"

struct APCopyRequest {
    IAPElement* requester; // the map holds one reference on each requester, see below
    IID iid;               // the interface the requester wants of the copy
    void** out;            // the requester's slot, filled without a reference
};
using APCopyRequestArray = APArray<APCopyRequest>;

struct APCopyRecord {
    IAPElement* oldElement = nullptr; // a key only: compared, never called
    IAPElement* newElement = nullptr; // null until recorded; the map holds it, see m_copies
    APCopyRequestArray requests;
};
using APCopyRecordArray = APArray<APCopyRecord*>; // owned records

class APCopyMap {
public:
    APCopyMap() = default;
    ~APCopyMap();
    APCopyMap(const APCopyMap&) = delete;
    APCopyMap& operator=(const APCopyMap&) = delete;

    HRESULT RecordElement(IAPElement* oldElement, IAPElement* newElement);
    HRESULT GetPossibleReferenceElement(IAPElement* requester, REFIID iid, IAPElement* oldRef, void** out);

    // Answers every request still queued with null, lets each requester tidy its lists once
    // (CleanUpCopyList), and lets go of the requesters.
    void End();

private:
    APCopyRecord* Find(IAPElement* oldElement) const;
    APCopyRecord* Add(IAPElement* oldElement);
    // The requester stays alive until the map ends, so its slot can still be written.
    void Hold(IAPElement* requester);
    static HRESULT Answer(IAPElement* copy, const APCopyRequest* requests, int count);

    APCopyRecordArray m_records;
    std::unordered_map<IAPElement*, APCopyRecord*> m_index; // keeps a copy linear in its size
    std::vector<IAPElement*> m_requesters;                   // one reference each, first request first
    std::unordered_set<IAPElement*> m_held;
    // One reference on each recorded copy: a copy deleted when a nested copy fails must not
    // leave a dangling answer for the rest of the map's life.
    std::vector<IAPElement*> m_copies;
};
