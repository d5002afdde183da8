#include "features/APDatum.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "model/APElementLinks.h"
#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"

IMPLEMENT_DYNAMIC(APDatum, APElement)
IMPLEMENT_DYNAMIC(APDRF, APElement)

// ---------------------------------------------------------------------------------------
// APDatum

APDatum::~APDatum() = default;

HRESULT APDatum::AppendDatumFeature(IAPFeature* feature)
{
    IAPFeature* f = Bare<IAPFeature>(feature, IID_IAPFeature);
    return f ? AppendWatched(m_features, f, m_wrapper) : E_FAIL;
}

HRESULT APDatum::RemoveDatumFeatureByIndex(int index)
{
    return RemoveWatched(m_features, index, m_wrapper, [](IAPFeature*) { return false; });
}

HRESULT APDatum::RemoveDatumFeature(IAPFeature* feature)
{
    IAPFeature* f = Bare<IAPFeature>(feature, IID_IAPFeature);
    int index = -1;
    if (!f || !m_features.Find(f, &index)) return S_OK;
    return RemoveDatumFeatureByIndex(index);
}

HRESULT APDatum::GetDatumFeature(int index, IAPFeature** feature) { return HandOutEntry(m_features, index, feature); }

HRESULT APDatum::GetNumDatumFeatures(int* count) { return CopyOut(m_features.Count(), count); }

HRESULT APDatum::SetVisibleFlag(int visible) { return Store(m_visible, visible); }

HRESULT APDatum::GetVisibleFlag(int* visible) { return CopyOut(m_visible, visible); }

HRESULT APDatum::SetTargetFlag(int target) { return Store(m_target, target); }

HRESULT APDatum::GetTargetFlag(int* target) { return CopyOut(m_target, target); }

HRESULT APDatum::AppendTargetLabel(const CString& label)
{
    const CString kept = label.Left(kLabelLength);
    if (std::find(m_labels.begin(), m_labels.end(), kept) == m_labels.end()) m_labels.push_back(kept);
    return S_OK;
}

HRESULT APDatum::RemoveTargetLabel(const CString& label)
{
    auto it = std::find(m_labels.begin(), m_labels.end(), label.Left(kLabelLength));
    if (it != m_labels.end()) m_labels.erase(it);
    return S_OK;
}

HRESULT APDatum::RemoveTargetLabelByIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(m_labels.size())) return E_FAIL;
    m_labels.erase(m_labels.begin() + index);
    return S_OK;
}

HRESULT APDatum::GetTargetLabel(int index, CString& label)
{
    if (index < 0 || index >= static_cast<int>(m_labels.size())) return E_FAIL;
    label = CString(std::to_string(index + 1).c_str());
    return S_OK;
}

HRESULT APDatum::GetNumTargetLabels(int* count) { return CopyOut(static_cast<int>(m_labels.size()), count); }

HRESULT APDatum::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3) return S_OK;
    IAPFeature* f = Bare<IAPFeature>(element, IID_IAPFeature);
    int index = -1;
    if (!f || !m_features.Find(f, &index)) return E_FAIL;
    // Through the interface, so that the change is announced like any removal.
    IAPDatum* datum = Query<IAPDatum>(m_wrapper, IID_IAPDatum);
    if (!datum) return E_FAIL;
    const HRESULT hr = datum->RemoveDatumFeatureByIndex(index);
    datum->Release();
    return hr == S_OK ? S_OK : E_FAIL;
}

bool APDatum::UnwatchAll()
{
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return false;
    bool all = true;
    for (int i = 0; i < m_features.Count(); ++i)
        if (m_features[i] && !Unwatch(m_features[i], sink)) all = false;
    m_features.RemoveAll();
    sink->Release();
    return all;
}

HRESULT APDatum::NotifyDeletion()
{
    if (!m_wrapper) return E_FAIL;
    const bool unhooked = UnwatchAll();
    return APElement::NotifyDeletion() >= 0 && unhooked ? S_OK : E_FAIL;
}

HRESULT APDatum::Serialize(WmObjectStream* stream)
{
    if (!stream || APElement::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    // The block has no encoding for a missing feature: only the features held are written.
    int count = 0;
    for (int i = 0; i < m_features.Count(); ++i)
        if (m_features[i]) ++count;
    bool ok = s.write(kBlockVersion) && s.write(count);
    for (int i = 0; ok && i < m_features.Count(); ++i)
        if (m_features[i]) ok = WriteElementRef(s, m_features[i]);
    ok = ok && s.write(m_target) && s.write(static_cast<int>(m_labels.size()));
    for (std::size_t i = 0; ok && i < m_labels.size(); ++i) ok = WriteText(s, m_labels[i], kLabelLength + 1);
    return ok ? S_OK : E_FAIL;
}

HRESULT APDatum::Deserialize(WmObjectStream* stream)
{
    if (!stream || APElement::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, count = 0, target = 0, labelCount = 0;
    std::vector<int> numbers;
    std::vector<CString> labels;
    if (!s.read(version) || !s.read(count) || !ReadElementRefs(s, count, numbers)) return E_FAIL;
    if (version >= 2 && !s.read(target)) return E_FAIL;
    if (version >= 3) {
        // Each label is at least its length word.
        if (!s.read(labelCount) || labelCount < 0 || !MayHold(s, static_cast<std::int64_t>(labelCount) * 4))
            return E_FAIL;
        for (int i = 0; i < labelCount; ++i) {
            CString label;
            if (!ReadText(s, label, kLabelLength + 1)) return E_FAIL;
            labels.push_back(label);
        }
    }
    m_storedFeatures.Request(s, numbers);
    m_pending = true;
    m_target = target;
    m_labels = std::move(labels);
    return S_OK;
}

HRESULT APDatum::FixupLists()
{
    if (APElement::FixupLists() < 0 || !m_wrapper) return E_FAIL;
    // Part nodes and frames both reach a datum: only what a read left pending is linked.
    if (!m_pending) return S_OK;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    m_pending = false;
    UnwatchAll();
    HRESULT hr = S_OK;
    for (int i = 0; i < m_storedFeatures.Count(); ++i) {
        if (!m_storedFeatures[i]) continue; // a number the stream could not resolve
        IAPFeature* f = Bare<IAPFeature>(m_storedFeatures[i], IID_IAPFeature);
        if (!f || !Watch(f, sink)) {
            hr = E_FAIL;
            break;
        }
        if (!m_features.Contains(f)) m_features.Append(f);
    }
    m_storedFeatures.Clear();
    sink->Release();
    return hr;
}

HRESULT APDatum::Clone(IAPElement* target)
{
    APDatum* copy = CloneTargetOf<APDatum>(target, RUNTIME_CLASS(APDatum));
    if (!copy) return E_FAIL;
    if (copy == this) return S_OK;
    copy->APElement::operator=(*this);
    copy->UnwatchAll(); // the copy map fills and watches the new features
    copy->m_visible = m_visible;
    copy->m_target = m_target;
    copy->m_labels = m_labels;
    IAPDocument* doc = CopyDocument(copy->m_docSink);
    MapListThroughCopy(doc, copy->m_wrapper, IID_IAPFeature, m_features, copy->m_features);
    if (doc) doc->Release();
    return S_OK;
}

HRESULT APDatum::CleanUpCopyList()
{
    DropNullEntries(m_features);
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// APDRF

APDRF::APDRF() { std::fill(std::begin(m_matrix), std::end(m_matrix), 0.0); }

APDRF::~APDRF()
{
    ReleaseLists();
}

void APDRF::ReleaseLists()
{
    for (APArray<Entry*>& list : m_lists) {
        // Released after the list is emptied, so that a release that reaches back finds no
        // stale entries.
        std::vector<Entry*> gone(list.Data(), list.Data() + list.GetCount());
        list.RemoveAll();
        for (Entry* e : gone) {
            if (e->datum) e->datum->Release();
            delete e;
        }
    }
}

HRESULT APDRF::Add(Precedence p, IAPDatum* datum, APModifierType modifier)
{
    IAPDatum* d = Query<IAPDatum>(datum, IID_IAPDatum);
    if (!d) return E_FAIL;
    APArray<Entry*>& list = m_lists[p];
    for (int i = 0; i < list.Count(); ++i) {
        if (list[i]->datum == d) {
            d->Release();
            return E_FAIL;
        }
    }
    Entry* e = new Entry;
    e->datum = d; // the query's reference becomes the entry's
    e->modifier = modifier;
    try {
        list.Append(e);
    } catch (...) {
        d->Release();
        delete e;
        throw;
    }
    return S_OK;
}

HRESULT APDRF::Get(Precedence p, int index, IAPDatum** datum, APModifierType* modifier)
{
    const APArray<Entry*>& list = m_lists[p];
    if (!datum || !modifier || index < 0 || index >= list.Count()) return E_FAIL;
    *datum = list[index]->datum;
    if (*datum) (*datum)->AddRef();
    *modifier = static_cast<APModifierType>(list[index]->modifier);
    return S_OK;
}

HRESULT APDRF::Remove(Precedence p, int index)
{
    APArray<Entry*>& list = m_lists[p];
    if (index < 0 || index >= list.Count()) return E_FAIL;
    Entry* e = list[index];
    list.RemoveAt(index);
    if (e->datum) e->datum->Release();
    delete e;
    return S_OK;
}

HRESULT APDRF::Count(Precedence p, int* count) { return CopyOut(m_lists[p].Count(), count); }

HRESULT APDRF::AddPrimaryDatum(IAPDatum* datum, APModifierType modifier) { return Add(Primary, datum, modifier); }

HRESULT APDRF::AddSecondaryDatum(IAPDatum* datum, APModifierType modifier) { return Add(Secondary, datum, modifier); }

HRESULT APDRF::AddTertiaryDatum(IAPDatum* datum, APModifierType modifier) { return Add(Tertiary, datum, modifier); }

HRESULT APDRF::GetPrimaryDatum(int index, IAPDatum** datum, APModifierType* modifier)
{
    return Get(Primary, index, datum, modifier);
}

HRESULT APDRF::GetSecondaryDatum(int index, IAPDatum** datum, APModifierType* modifier)
{
    return Get(Secondary, index, datum, modifier);
}

HRESULT APDRF::GetTertiaryDatum(int index, IAPDatum** datum, APModifierType* modifier)
{
    return Get(Tertiary, index, datum, modifier);
}

HRESULT APDRF::RemovePrimaryDatum(int index) { return Remove(Primary, index); }

HRESULT APDRF::RemoveSecondaryDatum(int index) { return Remove(Secondary, index); }

HRESULT APDRF::RemoveTertiaryDatum(int index) { return Remove(Tertiary, index); }

HRESULT APDRF::GetNumPrimaryDatums(int* count) { return Count(Primary, count); }

HRESULT APDRF::GetNumSecondaryDatums(int* count) { return Count(Secondary, count); }

HRESULT APDRF::GetNumTertiaryDatums(int* count) { return Count(Tertiary, count); }

HRESULT APDRF::SetMatrix3x4(const double m[12]) { return StoreArray(m_matrix, m); }

HRESULT APDRF::GetMatrix3x4(double m[12]) { return CopyArrayOut(m_matrix, m); }

std::vector<IAPElement*> APDRF::DatumElements() const
{
    std::vector<IAPElement*> elements;
    for (const APArray<Entry*>& list : m_lists)
        for (int i = 0; i < list.Count(); ++i)
            if (list[i]->datum) elements.push_back(Query<IAPElement>(list[i]->datum, IID_IAPElement));
    return elements;
}

HRESULT APDRF::Serialize(WmObjectStream* stream)
{
    if (!stream || APElement::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kBlockVersion);
    for (const APArray<Entry*>& list : m_lists) {
        // An entry still waiting for its datum has nothing to name.
        int count = 0;
        for (int i = 0; i < list.Count(); ++i)
            if (list[i]->datum) ++count;
        ok = ok && s.write(count);
        for (int i = 0; ok && i < list.Count(); ++i)
            if (list[i]->datum) ok = WriteElementRef(s, list[i]->datum) && s.write(list[i]->modifier);
    }
    return ok ? S_OK : E_FAIL;
}

HRESULT APDRF::ReadList(WmObjectStream& s, int version, Precedence p)
{
    int count = 0;
    // An entry takes at least two words (version 2) or a class GUID (version 1).
    if (!s.read(count) || count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * 8)) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        auto e = std::make_unique<Entry>();
        if (version >= 2) {
            int number = 0;
            if (!s.read(number) || number <= 0 || !s.read(e->modifier)) return E_FAIL;
            e->pending = std::make_unique<APPendingRefs>();
            e->pending->Request(s, {number});
            if (IAPElement* read = (*e->pending)[0]) {
                e->datum = Query<IAPDatum>(read, IID_IAPDatum);
                if (!e->datum) return E_FAIL;
                e->pending.reset();
            }
        } else {
            // The first format carries its datums inside the frame's own block.
            e->datum = static_cast<IAPDatum*>(ReadNestedRecord(s, IID_IAPDatum));
            if (!e->datum || !s.read(e->modifier)) {
                if (e->datum) e->datum->Release();
                return E_FAIL;
            }
        }
        try {
            m_lists[p].Append(e.get());
        } catch (...) {
            if (e->datum) e->datum->Release();
            throw;
        }
        e.release();
    }
    return S_OK;
}

HRESULT APDRF::Deserialize(WmObjectStream* stream)
{
    if (!stream || APElement::Deserialize(stream) < 0) return E_FAIL;
    int version = 0;
    if (!stream->read(version)) return E_FAIL;
    ReleaseLists();
    for (int p = Primary; p < kPrecedences; ++p)
        if (FAILED(ReadList(*stream, version, static_cast<Precedence>(p)))) return E_FAIL;
    return S_OK;
}

HRESULT APDRF::BindDocument(IAPDocEventSink* sink)
{
    if (APElement::BindDocument(sink) < 0) return E_FAIL;
    bool ok = true;
    for (IAPElement* e : DatumElements()) {
        if (!e || FAILED(e->BindDocument(sink))) ok = false;
        if (e) e->Release();
    }
    return ok ? S_OK : E_FAIL;
}

HRESULT APDRF::FixupLists()
{
    if (APElement::FixupLists() < 0) return E_FAIL;
    HRESULT hr = S_OK;
    // Datum numbers a read could not resolve at once: resolved now, or the entry goes.
    for (APArray<Entry*>& list : m_lists) {
        for (int i = list.Count() - 1; i >= 0; --i) {
            Entry* e = list[i];
            if (!e->pending) continue;
            IAPElement* read = (*e->pending)[0];
            e->datum = Query<IAPDatum>(read, IID_IAPDatum);
            e->pending.reset();
            if (!e->datum) {
                if (read) hr = E_FAIL;
                list.RemoveAt(i);
                delete e;
            }
        }
    }
    for (IAPElement* e : DatumElements()) {
        if (SUCCEEDED(hr) && (!e || FAILED(e->FixupLists()))) hr = E_FAIL;
        if (e) e->Release();
    }
    return hr;
}

HRESULT APDRF::Clone(IAPElement* target)
{
    APDRF* copy = CloneTargetOf<APDRF>(target, RUNTIME_CLASS(APDRF));
    if (!copy) return E_FAIL;
    if (copy == this) return S_OK;
    copy->APElement::operator=(*this);
    copy->ReleaseLists();
    IAPDocument* doc = CopyDocument(copy->m_docSink);
    if (!doc) return S_OK;
    // Each datum is copied deeply; an entry whose copy cannot be made is left out.
    for (int p = Primary; p < kPrecedences; ++p) {
        const APArray<Entry*>& from = m_lists[p];
        for (int i = 0; i < from.Count(); ++i) {
            IAPElement* source = Query<IAPElement>(from[i]->datum, IID_IAPElement);
            if (!source) continue;
            GUID clsid = CLSID_APDatum, iid = IID_IAPElement;
            IAPElement* made = nullptr;
            if (SUCCEEDED(doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&made))) && made &&
                SUCCEEDED(source->Clone(made))) {
                IAPDatum* datum = Query<IAPDatum>(made, IID_IAPDatum);
                if (datum) {
                    copy->Add(static_cast<Precedence>(p), datum, static_cast<APModifierType>(from[i]->modifier));
                    datum->Release();
                }
            }
            if (made) made->Release();
            source->Release();
        }
    }
    doc->Release();
    return S_OK;
}
