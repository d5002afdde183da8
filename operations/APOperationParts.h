#pragma once
// Pieces the operations share: the move, show-point and refresh settings of the operations a
// host plays step by step, and the element lists that operations keep with one reference per
// entry while watching each distinct element as its dependent.
#include <vector>

#include "model/APArray.h"
#include "model/APElement.h"
#include "model/APPendingRefs.h"

class WmObjectStream;

// The move, show-point and refresh settings: stored and returned unchanged. In a block the
// flags and the refresh delay go through the stream's boolean, so they come back as 0 or 1.
class APStepSettings {
public:
    HRESULT SetMoveType(int value);
    HRESULT GetMoveType(int* value);
    HRESULT SetMoveFlag(int value);
    HRESULT GetMoveFlag(int* value);
    HRESULT SetMoveLimit(double value);
    HRESULT GetMoveLimit(double* value);
    HRESULT SetShowPointFlag(int value);
    HRESULT GetShowPointFlag(int* value);
    HRESULT SetShowPointFrom(int value);
    HRESULT GetShowPointFrom(int* value);
    HRESULT SetShowPointTo(int value);
    HRESULT GetShowPointTo(int* value);
    HRESULT SetRefreshFlag(int value);
    HRESULT GetRefreshFlag(int* value);
    HRESULT SetRefreshFrom(int value);
    HRESULT GetRefreshFrom(int* value);
    HRESULT SetRefreshTo(int value);
    HRESULT GetRefreshTo(int* value);
    HRESULT SetRefreshDelay(int value);
    HRESULT GetRefreshDelay(int* value);
    HRESULT SetRefreshDelaySeconds(int value);
    HRESULT GetRefreshDelaySeconds(int* value);

    // Move type, move flag, move limit, show-point flag, from and to.
    bool WriteMove(WmObjectStream& stream) const;
    // Refresh flag, from, to, delay and delay seconds.
    bool WriteRefresh(WmObjectStream& stream) const;
    // Reads change nothing unless the whole group was read.
    bool ReadMove(WmObjectStream& stream);
    bool ReadRefresh(WmObjectStream& stream);

protected:
    struct Values {
        int moveType = 0;
        int moveFlag = 0;
        double moveLimit = 0.1;
        int showPointFlag = 0;
        int showPointFrom = -1;
        int showPointTo = -1;
        int refreshFlag = 0;
        int refreshFrom = -1;
        int refreshTo = -1;
        int refreshDelay = 1;
        int refreshDelaySeconds = 0;
    };
    Values m_step;
};

// An operation's list of elements: nulls and duplicates allowed, one counted reference per
// non-null entry, and (where the entry was appended to be watched, or loaded) the owner's
// registration as dependent of each distinct element. Entries are kept as IAPElement.
//
// A load leaves the references it read pending; Relink, called once by the owner's fix-up,
// turns them into entries. An abandoned load so takes and registers nothing.
class APElementList {
public:
    // Which loaded entries the owner registers with after a load.
    enum class LoadRule { WatchAll, SkipAncestors };

    APElementList(APElement& owner, LoadRule rule) : m_owner(owner), m_rule(rule) {}
    APElementList(const APElementList&) = delete;
    APElementList& operator=(const APElementList&) = delete;
    ~APElementList() { Clear(); }

    int Count() const { return m_entries.Count(); }
    IAPElement* operator[](int index) const { return m_entries[index]; }
    bool Contains(IAPElement* element) const { return m_entries.Contains(element); }

    // The entry with the caller's reference (null entries come out null). E_FAIL out of range.
    HRESULT Get(int index, IAPElement** element) const;
    // Appends `element` (null appends a null entry) with a reference; with `watch`, also
    // registers the owner as its dependent. E_FAIL when the owner has no wrapper (the entry
    // stays), when the element is none or it refuses the registration.
    HRESULT Append(IAPElement* element, bool watch);
    // Releases every entry, unregistering the owner from each distinct element first.
    void Clear();
    // An element reported destroyed: every entry equal to it goes, and with the last one the
    // owner's registration. True when an entry went.
    bool DropDestroyed(IAPElement* element);
    // Ends the owner's registration with `element` and releases and removes its first entry,
    // even where later entries still hold it. S_OK when it is not listed; E_FAIL when the owner
    // has no wrapper to unregister.
    HRESULT RemoveFirst(IAPElement* element);
    // An element reported destroyed: every entry equal to it becomes a null entry in place
    // (so that what runs parallel to the list stays aligned), and the registration ends.
    bool NullDestroyed(IAPElement* element);
    // Releases and removes entry `index`; the owner's registration with its element ends
    // unless another entry still holds it. E_FAIL out of range, and for a non-null entry when
    // the owner has no wrapper to unregister (the entry then stays).
    HRESULT RemoveAt(int index);
    // Entry `index` takes `element` (not null) with a reference and the registration; the
    // element it held loses its reference, and the registration unless listed elsewhere.
    // E_FAIL, with nothing changed, out of range or when the owner cannot register.
    HRESULT ReplaceAt(int index, IAPElement* element);

    // {count, the references} with -200000 for a null entry.
    bool Write(WmObjectStream& stream) const;
    // Reads {count, references} and leaves them pending for Relink.
    bool Read(WmObjectStream& stream);
    // A list that a block does not carry: `numbers` stand for it (-200000 for a null entry).
    void Expect(WmObjectStream& stream, const std::vector<int>& numbers);
    // After a load: the pending references become the entries (whatever the list held gives
    // way), each non-null one with its reference and, by the load rule, the registration.
    // Does nothing unless a read left references pending.
    HRESULT Relink();
    // Clear, and whatever a read left pending is dropped too.
    void LetGo();

private:
    IAPElementSink* OwnerSink() const;
    bool Destroyed(IAPElement* element, bool keepSlots);
    bool IsOwnerAncestor(IAPElement* element) const;

    APElement& m_owner;
    LoadRule m_rule;
    APArray<IAPElement*> m_entries;
    APPendingRefs m_loaded;
    bool m_pending = false;
};
