#include "model/APElement.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iterator>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/APBlockIO.h"
#include "model/APComQuery.h"
#include "model/APFieldAccess.h"
#include "model/APWeak.h"
#include "platform/moniker/MkMoniker.h"
#include "platform/orv/ORVComCreate.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APElement, CObject)

APElement::APElement() = default;

// Each document's list of its elements: those bound to it and those last bound to it, so
// that a document that ends can unbind the elements clients still hold (they would otherwise
// call into freed memory) and free the cycles among them. The list runs through the elements
// themselves: joining and leaving cost the same however many elements there are.
static std::unordered_map<IAPDocEventSink*, APElement*>& Bindings()
{
    static std::unordered_map<IAPDocEventSink*, APElement*> bindings;
    return bindings;
}

// Every live element by its wrapper's primary interface (and by its sink, for a wrapper whose
// sink does not stand where the others' do; see OfSink).
static std::unordered_map<const void*, APElement*>& Elements()
{
    static std::unordered_map<const void*, APElement*> elements;
    return elements;
}

APElement* APElement::FromInterface(IUnknown* p)
{
    if (!p) return nullptr;
    IAPElement* primary = nullptr;
    if (FAILED(p->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&primary))) || !primary) return nullptr;
    primary->Release();
    auto it = Elements().find(primary);
    return it == Elements().end() ? nullptr : it->second;
}

APElement* APElement::FromPrimary(const void* p)
{
    auto it = Elements().find(p);
    return it != Elements().end() && it->second->m_wrapper == p ? it->second : nullptr;
}

// Where a wrapper's sink stands from its primary interface: the same for every wrapper, so a
// sink needs no entry of its own (a wrapper laid out otherwise gets one).
static std::uintptr_t g_sinkOffset = 0;
static bool g_sinkOffsetKnown = false;

static APElement* OfSink(IAPElementSink* sink)
{
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(sink);
    if (g_sinkOffsetKnown) {
        APElement* element = APElement::FromPrimary(reinterpret_cast<const void*>(at - g_sinkOffset));
        if (element && element->OwnSink() == sink) return element;
    }
    auto it = Elements().find(sink);
    return it == Elements().end() ? nullptr : it->second;
}

void APElement::LeaveHome()
{
    if (!m_home) return;
    if (m_boundNext) m_boundNext->m_boundPrev = m_boundPrev;
    if (m_boundPrev) {
        m_boundPrev->m_boundNext = m_boundNext;
    } else {
        auto& bindings = Bindings();
        auto it = bindings.find(m_home);
        if (it != bindings.end()) {
            if (m_boundNext) it->second = m_boundNext;
            else bindings.erase(it);
        }
    }
    m_boundPrev = m_boundNext = nullptr;
    m_home = nullptr;
}

void APElement::SetDocSink(IAPDocEventSink* sink)
{
    if (sink && sink != m_home) {
        APElement** head = &Bindings()[sink]; // the only step that may throw
        LeaveHome();
        m_boundNext = *head;
        if (m_boundNext) m_boundNext->m_boundPrev = this;
        *head = this;
        m_home = sink;
    }
    m_docSink = sink;
}

void APElement::ForgetDocument(IAPDocEventSink* sink)
{
    auto& bindings = Bindings();
    auto it = bindings.find(sink);
    if (it == bindings.end()) return;
    // Every element is held while the others let go, so that none ends half-way through the
    // pass; without the memory for that they are only unbound, as before. Nodes in no
    // document's list that a host placed under these (by the node's own child calls) are part
    // of the tree that ends, and let go of their links too.
    std::vector<APElement*> held, strays;
    try {
        std::size_t count = 0;
        for (APElement* element = it->second; element; element = element->m_boundNext) ++count;
        held.reserve(count);
        std::unordered_set<APElement*> seen;
        std::vector<APElement*> children;
        auto visit = [&](APElement* parent) {
            children.clear();
            parent->ListChildren(children);
            for (APElement* child : children)
                if (!child->m_home && child->m_wrapper && !child->m_ending && seen.insert(child).second) strays.push_back(child);
        };
        for (APElement* element = it->second; element; element = element->m_boundNext) visit(element);
        for (std::size_t i = 0; i < strays.size(); ++i) visit(strays[i]);
        held.reserve(count + strays.size());
    } catch (...) {
        held = std::vector<APElement*>();
        strays.clear();
    }
    const bool holding = held.capacity() > 0;
    for (APElement* stray : strays) {
        stray->m_wrapper->AddRef();
        held.push_back(stray);
    }
    for (APElement* element = it->second; element;) {
        APElement* next = element->m_boundNext;
        element->m_docSink = nullptr;
        element->m_home = nullptr;
        element->m_boundPrev = element->m_boundNext = nullptr;
        if (holding && element->m_wrapper && !element->m_ending) {
            element->m_wrapper->AddRef();
            held.push_back(element);
        }
        element = next;
    }
    bindings.erase(it);
    for (APElement* element : held) {
        try {
            element->ReleaseLinks();
        } catch (...) {
        }
    }
    // May end the elements: each wrapper is taken before its release.
    for (APElement* element : held) element->m_wrapper->Release();
}

APElement::~APElement()
{
    CutWeakLinks();
    Unhook();
    LeaveHome();
    if (m_wrapper) Elements().erase(m_wrapper);
    SetOwnSink(nullptr);
    if (m_moniker) m_moniker->Release();
    m_moniker = nullptr;
    ReleaseProperties();
}

void APElement::CutWeakLinks()
{
    while (m_weakLinks) m_weakLinks->Cut();
}

void APElement::Unhook()
{
    if (m_watching) {
        std::unique_ptr<Watched> watched = std::move(m_watching);
        for (const auto& entry : *watched) {
            APElement* target = entry.first;
            int index = -1;
            if (target->m_dependents.Find(m_ownSink, &index)) target->m_dependents.RemoveAt(index, 1);
            if (target->m_unlisted) target->m_unlisted->erase(this);
        }
    }
    for (int i = 0; i < m_dependents.Count(); ++i) {
        APElement* watcher = OfSink(m_dependents[i]);
        if (watcher && watcher->m_watching) watcher->m_watching->erase(this);
    }
    m_dependents.RemoveAll();
    if (m_unlisted) {
        for (APElement* watcher : *m_unlisted)
            if (watcher->m_watching) watcher->m_watching->erase(this);
        m_unlisted.reset();
    }
}

void APElement::SetOwnSink(IAPElementSink* sink)
{
    auto it = m_ownSink ? Elements().find(m_ownSink) : Elements().end();
    if (it != Elements().end() && it->second == this) Elements().erase(it);
    m_ownSink = nullptr;
    if (!sink) return;
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(sink) - reinterpret_cast<std::uintptr_t>(m_wrapper);
    if (!g_sinkOffsetKnown && m_wrapper) {
        g_sinkOffset = offset;
        g_sinkOffsetKnown = true;
    }
    if (!m_wrapper || offset != g_sinkOffset) Elements()[sink] = this;
    m_ownSink = sink;
}

HRESULT APElement::SetComObject(IAPElement* wrapper)
{
    if (m_wrapper) Elements().erase(m_wrapper);
    m_wrapper = wrapper;
    if (wrapper) Elements()[wrapper] = this;
    return S_OK;
}

HRESULT APElement::Notify(unsigned long, IAPElement*) { return S_OK; }

HRESULT APElement::NotifyDependents(unsigned short)
{
    if (!m_wrapper) return E_FAIL;
    // Dependents unregister themselves while they hear of the destruction, so walk a
    // snapshot and skip those that have left the list meanwhile.
    auto tell = [this](IAPElementSink* sink) {
        sink->AddRef();
        sink->Notify(3, m_wrapper);
        sink->Release();
    };
    std::vector<IAPElementSink*> snapshot(m_dependents.Data(), m_dependents.Data() + m_dependents.GetCount());
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
        if (*it && m_dependents.Contains(*it)) tell(*it);
    // Elements of ours whose entry someone took out while they still watch this one hear of it too.
    if (m_unlisted) {
        const std::vector<APElement*> unlisted(m_unlisted->begin(), m_unlisted->end());
        for (APElement* watcher : unlisted)
            if (m_unlisted && m_unlisted->count(watcher)) tell(watcher->m_ownSink);
    }
    return S_OK;
}

HRESULT APElement::NotifyDeletion() { return NotifyDependents(3) < 0 ? E_FAIL : S_OK; }

// A dependent of ours remembers where it registered and how often, so that it can leave as it
// ends, and so that taking out its entry (the list is a set, and a host may take out what one of
// our elements registered too) does not leave it unaware of this element's end.
HRESULT APElement::AddDependent(IAPElementSink* sink)
{
    APElement* watcher = sink ? OfSink(sink) : nullptr;
    const bool listed = m_dependents.Contains(sink);
    if (watcher) {
        if (!watcher->m_watching) watcher->m_watching = std::make_unique<Watched>();
        ++(*watcher->m_watching)[this];
        if (m_unlisted) m_unlisted->erase(watcher);
    }
    if (listed) return S_OK;
    try {
        m_dependents.Append(sink);
    } catch (...) {
        if (watcher && --(*watcher->m_watching)[this] <= 0) watcher->m_watching->erase(this);
        throw;
    }
    return S_OK;
}

HRESULT APElement::RemoveDependent(IAPElementSink* sink)
{
    int index = -1;
    const bool listed = m_dependents.Find(sink, &index);
    APElement* watcher = sink ? OfSink(sink) : nullptr;
    auto registered = watcher && watcher->m_watching ? watcher->m_watching->find(this) : Watched::iterator();
    if (watcher && watcher->m_watching && registered != watcher->m_watching->end()) {
        if (registered->second > 1) {
            if (listed) {
                if (!m_unlisted) m_unlisted = std::make_unique<std::unordered_set<APElement*>>();
                m_unlisted->insert(watcher); // the only steps that may throw
            }
            --registered->second;
        } else {
            watcher->m_watching->erase(registered);
            if (m_unlisted) m_unlisted->erase(watcher);
        }
    }
    if (!listed) return E_FAIL;
    m_dependents.RemoveAt(index, 1);
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Links kept without a reference

bool APWeakLink::Point(void* pointer, IUnknown* element)
{
    APElement* target = nullptr;
    if (pointer) {
        target = APElement::FromInterface(element);
        if (!target || target->m_ending) return false;
    }
    Reset();
    if (!target) return true;
    m_pointer = pointer;
    m_target = target;
    m_next = target->m_weakLinks;
    if (m_next) m_next->m_prev = this;
    target->m_weakLinks = this;
    return true;
}

void APWeakLink::Reset()
{
    if (m_target) Cut();
}

void APWeakLink::Cut()
{
    if (m_next) m_next->m_prev = m_prev;
    if (m_prev) m_prev->m_next = m_next;
    else if (m_target) m_target->m_weakLinks = m_next;
    m_pointer = nullptr;
    m_target = nullptr;
    m_prev = m_next = nullptr;
}

HRESULT APElement::GetNumDependents(int* count) { return CopyOut(m_dependents.Count(), count); }

HRESULT APElement::GetDependent(int index, IAPElement** out)
{
    if (!out) return E_FAIL;
    if (index < 0 || index >= m_dependents.Count()) return E_FAIL;
    IAPElementSink* sink = m_dependents[index];
    if (!sink) return E_FAIL;
    return FAILED(sink->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(out))) ? E_FAIL : S_OK;
}

HRESULT APElement::GetDescriptionSize(int* size) { return CopyOut(m_description.GetLength(), size); }

HRESULT APElement::GetNameSize(int* size) { return CopyOut(m_name.GetLength(), size); }

HRESULT APElement::NotifyDocumentChanged(IAPElement* element, const unsigned char* message)
{
    if (!m_docSink) return E_FAIL;
    HRESULT hr = m_docSink->Notify(1, element, 16, const_cast<unsigned char*>(message));
    return hr < 0 ? E_FAIL : S_OK;
}

HRESULT APElement::GetCost(int* cost) { return CopyOut(m_cost, cost); }

HRESULT APElement::SetCost(int cost) { return Store(m_cost, cost); }

HRESULT APElement::GetDescription(CString& description) { return Store(description, m_description); }

HRESULT APElement::SetDescription(const CString& description) { return Store(m_description, description); }

HRESULT APElement::GetName(CString& name) { return Store(name, m_name); }

HRESULT APElement::SetName(const CString& name) { return Store(m_name, name); }

HRESULT APElement::GetPreviousName(CString& name) { return Store(name, m_previousName); }

HRESULT APElement::SetPreviousName(const CString& name) { return Store(m_previousName, name); }

HRESULT APElement::RenameKeepingPrevious(const CString& newName, int* changed)
{
    if (!changed) return E_FAIL;
    *changed = 0;
    if (newName.IsEmpty()) return S_OK;
    CString current;
    GetName(current);
    if (current.IsEmpty()) return S_OK;
    m_previousName = current;
    m_name = newName;
    *changed = 1;
    return S_OK;
}

HRESULT APElement::RestorePreviousName(int* restored)
{
    *restored = 0;
    CString previous;
    GetPreviousName(previous);
    if (previous.IsEmpty()) return S_OK;
    SetName(previous);
    SetPreviousName(CString());
    *restored = 1;
    return S_OK;
}

HRESULT APElement::BindDocument(IAPDocEventSink* sink)
{
    SetDocSink(sink);
    return S_OK;
}

HRESULT APElement::GetDocument(IAPDocument** doc)
{
    if (!m_docSink) return E_FAIL;
    // The query hands out exactly the one reference the caller releases.
    return FAILED(m_docSink->QueryInterface(IID_IAPDocument, reinterpret_cast<void**>(doc))) ? E_FAIL : S_OK;
}

HRESULT APElement::FixupLists()
{
    // Element-pointer properties take the elements a read named into their links now, while
    // every one of them is surely alive.
    for (const auto& entry : m_properties) {
        IAPElemPtrProperty* property = Query<IAPElemPtrProperty>(entry.second, IID_IAPElemPtrProperty);
        if (!property) continue;
        IAPElement* value = nullptr;
        property->GetValue(&value);
        property->Release();
    }
    return S_OK;
}

HRESULT APElement::CleanUpCopyList() { return S_OK; }

// ---------------------------------------------------------------------------------------
// Settings

namespace {

struct IntDefault {
    int number;
    int value;
};

// Construction defaults of the integer settings (45 is the document units).
constexpr IntDefault kIntDefaults[] = {
    {2, 500}, {3, -1}, {4, -1}, {5, 1}, {6, 1}, {7, 0}, {8, 0}, {10, -1}, {11, 0}, {12, -1},
    {15, 2}, {16, 3}, {17, 1}, {19, 3}, {20, 1}, {21, 5}, {26, 0}, {30, 2}, {32, 0}, {33, 0},
    {34, 3}, {35, 3}, {36, 0}, {37, 1}, {38, 0}, {39, 0}, {40, -500}, {41, 0}, {42, -1}, {43, -1},
    {44, -1}, {45, AP_UNIT_UNKNOWN}, {46, -1}, {48, 1}, {49, 0}, {53, 2}, {54, 2}, {55, 2}, {56, 2},
    {58, 1}, {59, 0}, {60, 1}, {61, 0}, {62, 0}, {63, 0}, {65, 0}, {66, 0}, {67, 0},
};

enum class SettingKind {
    INT, INT_MARKING, INT_GETTER_FIRST, FLOAT_MARKING, DOUBLE, INT_ARRAY, INT_ARRAY_MARKING, VECTOR, TEXT,
    VECTOR3, OBJECT, INT_TRIPLE, STRING, DOC_UNITS, SPLIT_MONIKER_PATH, FLOAT_TRIPLE, INT_SEPTUPLE,
};

struct SettingRow {
    SettingKind kind;
    int number;
};

constexpr SettingRow kSettingRows[] = {
#define AP_SETTING(kind, n) {SettingKind::kind, n},
#include "model/APElementSettings.h"
#undef AP_SETTING
};

// The integer settings of group A.
constexpr int kGroupAInts[] = {2, 3, 4, 5, 6, 7, 15, 16, 17, 19, 20, 21, 26};

constexpr float kFloat14 = 1.0f, kFloat18 = 2.0f;
constexpr double kDouble25 = 1.0, kDouble29 = 1.0, kDouble51 = 1.0, kDouble57 = -1.0, kDouble64 = 10.0;
constexpr double kVector27[3] = {0, 1, 0}, kVector28[3] = {1, 0, 0};
constexpr int kTriple23[3] = {1, 0, 0};
constexpr int kSeptuple68[7] = {1, 1, 0, 1, 1, 1, 1};
constexpr float kTriple50 = -9999.0f;

bool IsIntSetting(int number)
{
    for (const IntDefault& d : kIntDefaults)
        if (d.number == number) return true;
    return false;
}

int IntDefaultOf(int number)
{
    for (const IntDefault& d : kIntDefaults)
        if (d.number == number) return d.value;
    return 0;
}

// Integer setters that raise the settings-changed flag.
bool MarksChanged(int number)
{
    for (const SettingRow& row : kSettingRows)
        if (row.number == number) return row.kind == SettingKind::INT_MARKING;
    return false;
}

std::vector<int> DefaultArray22() { return {1}; }
std::vector<int> DefaultArray24() { return {1, 7, 8, 20}; }
std::vector<int> DefaultArray52()
{
    std::vector<int> v(38);
    for (int i = 0; i < 38; ++i) v[i] = i;
    return v;
}
std::vector<int> DefaultArray69() { return {-1}; }

} // namespace

APElement::Settings::Settings()
{
    std::fill(std::begin(ints), std::end(ints), 0);
    for (const IntDefault& d : kIntDefaults) ints[d.number] = d.value;
    float14 = kFloat14;
    float18 = kFloat18;
    double25 = kDouble25;
    double29 = kDouble29;
    double51 = kDouble51;
    double57 = kDouble57;
    double64 = kDouble64;
    std::fill(std::begin(vector1), std::end(vector1), 0.0);
    std::copy(std::begin(kVector27), std::end(kVector27), vector27);
    std::copy(std::begin(kVector28), std::end(kVector28), vector28);
    std::copy(std::begin(kTriple23), std::end(kTriple23), triple23);
    std::fill(std::begin(triple50), std::end(triple50), kTriple50);
    std::copy(std::begin(kSeptuple68), std::end(kSeptuple68), septuple68);
    array22 = DefaultArray22();
    array24 = DefaultArray24();
    array52 = DefaultArray52();
    array69 = DefaultArray69();
}

bool APElement::Settings::GroupADiffersFromDefaults() const
{
    for (int n : kGroupAInts)
        if (ints[n] != IntDefaultOf(n)) return true;
    return float14 != kFloat14 || float18 != kFloat18 || double25 != kDouble25 ||
           !std::equal(std::begin(vector27), std::end(vector27), kVector27) ||
           !std::equal(std::begin(vector28), std::end(vector28), kVector28) ||
           !std::equal(std::begin(triple23), std::end(triple23), kTriple23) || array22 != DefaultArray22() ||
           array24 != DefaultArray24();
}

void APElement::Settings::ResetGroupA()
{
    for (int n : kGroupAInts) ints[n] = IntDefaultOf(n);
    float14 = kFloat14;
    float18 = kFloat18;
    double25 = kDouble25;
    std::copy(std::begin(kVector27), std::end(kVector27), vector27);
    std::copy(std::begin(kVector28), std::end(kVector28), vector28);
    std::copy(std::begin(kTriple23), std::end(kTriple23), triple23);
    array22 = DefaultArray22();
    array24 = DefaultArray24();
}

namespace {

template <class T>
bool SameBits(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

} // namespace

bool APElement::Settings::SameAs(const Settings& o) const
{
    return SameBits(ints, o.ints) && SameBits(float14, o.float14) && SameBits(float18, o.float18) &&
           SameBits(double25, o.double25) && SameBits(double29, o.double29) && SameBits(double51, o.double51) &&
           SameBits(double57, o.double57) && SameBits(double64, o.double64) && SameBits(vector1, o.vector1) &&
           SameBits(vector27, o.vector27) && SameBits(vector28, o.vector28) && SameBits(triple23, o.triple23) &&
           SameBits(triple50, o.triple50) && SameBits(septuple68, o.septuple68) && string9 == o.string9 &&
           string31 == o.string31 && string47 == o.string47 && array22 == o.array22 && array24 == o.array24 &&
           array52 == o.array52 && array69 == o.array69;
}

const APElement::Settings& APElement::DefaultSettings()
{
    static const Settings defaults;
    return defaults;
}

const APElement::Settings& APElement::SettingsValues() const { return m_settings ? *m_settings : DefaultSettings(); }

APElement::Settings& APElement::EditSettings()
{
    if (!m_settings) m_settings = std::make_unique<Settings>(DefaultSettings());
    return *m_settings;
}

HRESULT APElement::SetInt(int number, int value)
{
    if (!IsIntSetting(number)) return E_FAIL;
    EditSettings().ints[number] = value;
    if (MarksChanged(number)) m_settingsChanged = 1;
    return S_OK;
}

HRESULT APElement::GetInt(int number, int* value) const
{
    if (!value || !IsIntSetting(number)) return E_FAIL;
    *value = SettingsValues().ints[number];
    return S_OK;
}

HRESULT APElement::SetArray(std::vector<int>& array, int count, const int* values, bool marks)
{
    if (count < 0 || (count > 0 && !values)) return E_FAIL;
    array.assign(values, values + count);
    if (marks) m_settingsChanged = 1;
    return S_OK;
}

HRESULT APElement::GetArray(const std::vector<int>& array, int* count, int** values)
{
    if (!count || !values) return E_FAIL;
    // Allocated before the caller's old array is let go, so a failure leaves it in place.
    const std::size_t n = array.size();
    int* fresh = static_cast<int*>(CoTaskMemAlloc((n ? n : 1) * sizeof(int)));
    if (!fresh) return E_FAIL;
    if (n) std::memcpy(fresh, array.data(), n * sizeof(int));
    if (*values) CoTaskMemFree(*values);
    *values = fresh;
    *count = static_cast<int>(n);
    return S_OK;
}

HRESULT APElement::SetText(CString& target, const char* text)
{
    if (!text) return E_FAIL;
    target = text;
    return S_OK;
}

HRESULT APElement::GetText(const CString& source, char* buffer)
{
    if (!buffer) return E_FAIL;
    std::memcpy(buffer, source.GetString(), static_cast<std::size_t>(source.GetLength()) + 1);
    return S_OK;
}

// The accessors of the plain kinds; the others are written out below.
#define AP_DEFINE_INT(n)                                                          \
    HRESULT APElement::SetIntSetting##n(int value) { return SetInt(n, value); }   \
    HRESULT APElement::GetIntSetting##n(int* value) { return GetInt(n, value); }
#define AP_DEFINE_INT_MARKING(n) AP_DEFINE_INT(n)
#define AP_DEFINE_INT_GETTER_FIRST(n) AP_DEFINE_INT(n)
#define AP_DEFINE_FLOAT_MARKING(n)                      \
    HRESULT APElement::SetFloatSetting##n(float value)  \
    {                                                   \
        EditSettings().float##n = value;                \
        m_settingsChanged = 1;                          \
        return S_OK;                                    \
    }                                                   \
    HRESULT APElement::GetFloatSetting##n(float* value) \
    {                                                   \
        if (!value) return E_FAIL;                      \
        *value = SettingsValues().float##n;             \
        return S_OK;                                    \
    }
#define AP_DEFINE_DOUBLE(n)                               \
    HRESULT APElement::SetDoubleSetting##n(double value)  \
    {                                                     \
        EditSettings().double##n = value;                 \
        return S_OK;                                      \
    }                                                     \
    HRESULT APElement::GetDoubleSetting##n(double* value) \
    {                                                     \
        if (!value) return E_FAIL;                        \
        *value = SettingsValues().double##n;              \
        return S_OK;                                      \
    }
#define AP_DEFINE_INT_ARRAY_WITH(n, marks)                                         \
    HRESULT APElement::SetIntArraySetting##n(int count, const int* values)        \
    {                                                                              \
        if (count < 0 || (count > 0 && !values)) return E_FAIL;                   \
        return SetArray(EditSettings().array##n, count, values, marks);            \
    }                                                                              \
    HRESULT APElement::GetIntArraySetting##n(int* count, int** values)            \
    {                                                                              \
        return GetArray(SettingsValues().array##n, count, values);                 \
    }
#define AP_DEFINE_INT_ARRAY(n) AP_DEFINE_INT_ARRAY_WITH(n, false)
#define AP_DEFINE_INT_ARRAY_MARKING(n) AP_DEFINE_INT_ARRAY_WITH(n, true)
#define AP_DEFINE_VECTOR(n)                                             \
    HRESULT APElement::SetVectorSetting##n(const double xyz[3])        \
    {                                                                   \
        if (!xyz) return E_FAIL;                                        \
        std::copy(xyz, xyz + 3, EditSettings().vector##n);              \
        return S_OK;                                                    \
    }                                                                   \
    HRESULT APElement::GetVectorSetting##n(double xyz[3])              \
    {                                                                   \
        if (!xyz) return E_FAIL;                                        \
        const Settings& s = SettingsValues();                           \
        std::copy(s.vector##n, s.vector##n + 3, xyz);                   \
        return S_OK;                                                    \
    }
#define AP_DEFINE_TEXT(n)                                                                                    \
    HRESULT APElement::SetStringSetting##n(const char* text)                                                 \
    {                                                                                                        \
        return text ? SetText(EditSettings().string##n, text) : E_FAIL;                                      \
    }                                                                                                        \
    HRESULT APElement::GetStringSetting##n(char* buffer) { return GetText(SettingsValues().string##n, buffer); }
#define AP_DEFINE_VECTOR3(n)
#define AP_DEFINE_OBJECT(n)
#define AP_DEFINE_INT_TRIPLE(n)
#define AP_DEFINE_STRING(n)
#define AP_DEFINE_DOC_UNITS(n)
#define AP_DEFINE_SPLIT_MONIKER_PATH(n)
#define AP_DEFINE_FLOAT_TRIPLE(n)
#define AP_DEFINE_INT_SEPTUPLE(n)

#define AP_SETTING(kind, n) AP_DEFINE_##kind(n)
#include "model/APElementSettings.h"
#undef AP_SETTING

#undef AP_DEFINE_INT
#undef AP_DEFINE_INT_MARKING
#undef AP_DEFINE_INT_GETTER_FIRST
#undef AP_DEFINE_FLOAT_MARKING
#undef AP_DEFINE_DOUBLE
#undef AP_DEFINE_INT_ARRAY_WITH
#undef AP_DEFINE_INT_ARRAY
#undef AP_DEFINE_INT_ARRAY_MARKING
#undef AP_DEFINE_VECTOR
#undef AP_DEFINE_TEXT
#undef AP_DEFINE_VECTOR3
#undef AP_DEFINE_OBJECT
#undef AP_DEFINE_INT_TRIPLE
#undef AP_DEFINE_STRING
#undef AP_DEFINE_DOC_UNITS
#undef AP_DEFINE_SPLIT_MONIKER_PATH
#undef AP_DEFINE_FLOAT_TRIPLE
#undef AP_DEFINE_INT_SEPTUPLE

HRESULT APElement::SetVectorSetting1(double x, double y, double z) { return StoreAll(EditSettings().vector1, x, y, z); }

HRESULT APElement::GetVectorSetting1(double* x, double* y, double* z) { return CopyAllOut(SettingsValues().vector1, x, y, z); }

HRESULT APElement::SetObjectSetting13(IORVDataMoniker* moniker)
{
    Replace(m_moniker, moniker);
    return S_OK;
}

HRESULT APElement::GetObjectSetting13(IORVDataMoniker** moniker) { return HandOut(m_moniker, moniker); }

HRESULT APElement::SetIntTripleSetting23(int a, int b, int c)
{
    m_settingsChanged = 1;
    return StoreAll(EditSettings().triple23, a, b, c);
}

HRESULT APElement::GetIntTripleSetting23(int* a, int* b, int* c) { return CopyAllOut(SettingsValues().triple23, a, b, c); }

HRESULT APElement::GetStringSetting31(CString& text) { return Store(text, SettingsValues().string31); }

HRESULT APElement::SetStringSetting31(const CString& text) { return Store(EditSettings().string31, text); }

HRESULT APElement::GetDocUnits(APDocUnits* units)
{
    if (!units) return E_FAIL;
    *units = static_cast<APDocUnits>(SettingsValues().ints[45]);
    return S_OK;
}

HRESULT APElement::SetDocUnits(APDocUnits units)
{
    EditSettings().ints[45] = static_cast<int>(units);
    return S_OK;
}

HRESULT APElement::SetFloatTripleSetting50(float a, float b, float c) { return StoreAll(EditSettings().triple50, a, b, c); }

HRESULT APElement::GetFloatTripleSetting50(float* a, float* b, float* c) { return CopyAllOut(SettingsValues().triple50, a, b, c); }

HRESULT APElement::SplitMonikerPath(IORVDataMoniker* moniker, CString* fileName, CString* directory)
{
    if (!fileName || !directory) return E_FAIL;
    *fileName = CString(MkGetFilename(moniker, 1, nullptr).GetString());
    CString path(MkGetPath(moniker).GetString());
    int slash = path.ReverseFind('\\');
    if (slash >= 0) *directory = path.Left(slash);
    return S_OK;
}

HRESULT APElement::SetIntSeptupleSetting68(int a, int b, int c, int d, int e, int f, int g)
{
    return StoreAll(EditSettings().septuple68, a, b, c, d, e, f, g);
}

HRESULT APElement::GetIntSeptupleSetting68(int* a, int* b, int* c, int* d, int* e, int* f, int* g)
{
    return CopyAllOut(SettingsValues().septuple68, a, b, c, d, e, f, g);
}

// ---------------------------------------------------------------------------------------
// Property map

namespace {

// A key object may claim any length; longer keys are refused before a buffer is made, so
// that no build depends on its address space to stop a bogus one.
constexpr int kMaxPropertyKeyLength = 1 << 20;

// The text of a key object; false when the key cannot tell it.
bool KeyText(IAPPropertyKey* key, CString* text)
{
    int size = -1;
    if (FAILED(key->GetKeySize(&size)) || size < 0 || size > kMaxPropertyKeyLength) return false;
    // A key object of a client may claim any size; no allocation failure leaves here.
    try {
        std::vector<unsigned char> buffer(static_cast<std::size_t>(size) + 1, 0);
        if (FAILED(key->GetKey(buffer.data()))) return false;
        buffer[static_cast<std::size_t>(size)] = 0;
        *text = CString(reinterpret_cast<const char*>(buffer.data()));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// A key object holding `text`, created the way the library creates its own objects.
HRESULT NewKey(const CString& text, IAPPropertyKey** key)
{
    *key = nullptr;
    HRESULT hr = ORVCoCreateInstance(CLSID_APPropertyKey, nullptr, CLSCTX_INPROC_SERVER, IID_IAPPropertyKey,
                                     reinterpret_cast<void**>(key));
    if (FAILED(hr) || !*key) return FAILED(hr) ? hr : E_FAIL;
    std::vector<unsigned char> buffer(text.GetString(), text.GetString() + text.GetLength() + 1);
    hr = (*key)->SetKey(buffer.data());
    if (FAILED(hr)) {
        (*key)->Release();
        *key = nullptr;
    }
    return hr;
}

HRESULT NewProperty(const GUID& clsid, IAPProperty** prop)
{
    *prop = nullptr;
    HRESULT hr = ORVCoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IAPProperty, reinterpret_cast<void**>(prop));
    if (SUCCEEDED(hr) && !*prop) hr = E_FAIL;
    return hr;
}

} // namespace

HRESULT APElement::SetProperty(IAPPropertyKey* key, IAPProperty* value)
{
    if (!key || !value) return E_FAIL;
    CString text;
    if (!KeyText(key, &text)) return E_FAIL;
    auto it = m_properties.find(text);
    if (it == m_properties.end()) {
        m_properties.emplace(text, value);
        value->AddRef();
    } else if (it->second != value) {
        IAPProperty* old = it->second;
        value->AddRef();
        it->second = value;
        old->Release();
    }
    return S_OK;
}

HRESULT APElement::GetProperty(IAPPropertyKey* key, IAPProperty** value)
{
    if (!key || !value) return E_FAIL;
    *value = nullptr;
    CString text;
    if (!KeyText(key, &text)) return E_FAIL;
    auto it = m_properties.find(text);
    if (it == m_properties.end()) return E_FAIL;
    *value = it->second;
    (*value)->AddRef();
    return S_OK;
}

HRESULT APElement::RemoveProperty(IAPPropertyKey* key)
{
    if (!key) return E_FAIL;
    CString text;
    if (!KeyText(key, &text)) return E_FAIL;
    auto it = m_properties.find(text);
    if (it == m_properties.end()) return S_OK;
    IAPProperty* old = it->second;
    m_properties.erase(it);
    old->Release();
    return S_OK;
}

HRESULT APElement::GetNumProperties(int* count) { return CopyOut(static_cast<int>(m_properties.size()), count); }

void APElement::ReleaseProperties()
{
    PropertyMap gone;
    gone.swap(m_properties);
    for (auto& entry : gone) entry.second->Release();
}

// ---------------------------------------------------------------------------------------
// Persistence

namespace {

// The stream's handle as the property interfaces pass it.
unsigned char* StreamHandle(WmObjectStream& stream) { return reinterpret_cast<unsigned char*>(&stream); }


// Reads that stop at the first failure; every value lands in the caller's variable only
// when it was read whole.
class BlockReader {
public:
    explicit BlockReader(WmObjectStream& s) : m_s(s) {}
    bool ok = true;

    template <class T>
    void Get(T& v)
    {
        if (ok) ok = m_s.read(v);
    }
    void GetN(int* v, int n)
    {
        for (int i = 0; i < n; ++i) Get(v[i]);
    }
    void GetN(float* v, int n)
    {
        for (int i = 0; i < n; ++i) Get(v[i]);
    }
    void GetN(double* v, int n)
    {
        for (int i = 0; i < n; ++i) Get(v[i]);
    }
    // A string cut to size - 1 characters.
    void GetText(CString& t, int size)
    {
        if (ok) ok = ReadText(m_s, t, size);
    }
    // A count, then that many ints.
    void GetArray(std::vector<int>& a)
    {
        int n = 0;
        Get(n);
        if (!ok) return;
        if (n < 0 || !MayHold(m_s, static_cast<std::int64_t>(n) * 4)) {
            ok = false;
            return;
        }
        std::vector<int> v;
        v.reserve(static_cast<std::size_t>(std::min(n, 4096)));
        for (int i = 0; i < n && ok; ++i) {
            int x = 0;
            Get(x);
            v.push_back(x);
        }
        if (ok) a = std::move(v);
    }

private:
    WmObjectStream& m_s;
};

class BlockWriter {
public:
    explicit BlockWriter(WmObjectStream& s) : m_s(s) {}
    bool ok = true;

    void Put(int v) { ok = ok && m_s.write(v); }
    void Put(float v) { ok = ok && m_s.write(v); }
    void Put(double v) { ok = ok && m_s.write(v); }
    template <class T>
    void PutN(const T* v, int n)
    {
        for (int i = 0; i < n; ++i) Put(v[i]);
    }
    void PutText(const CString& t) { ok = ok && m_s.write(WmString(t.GetString(), static_cast<std::size_t>(t.GetLength()))); }
    void PutArray(const std::vector<int>& a)
    {
        Put(static_cast<int>(a.size()));
        for (int v : a) Put(v);
    }

private:
    WmObjectStream& m_s;
};

// Smallest stored property: key length, class identifier and a four-byte value.
constexpr std::int64_t kMinPropertyRecord = 4 + 16 + 4;

} // namespace

HRESULT APElement::Serialize(WmObjectStream* stream)
{
    if (!stream) return E_FAIL;
    BlockWriter w(*stream);
    const Settings& s = SettingsValues();

    w.Put(kBlockVersion);
    w.Put(m_cost);
    w.PutText(m_name);
    w.PutText(m_description);
    w.PutText(s.string9);
    w.Put(s.ints[8]);
    w.Put(s.ints[38]);
    w.Put(s.ints[37]);
    w.Put(s.ints[34]);
    w.Put(s.ints[35]);
    w.Put(s.ints[32]);
    w.Put(s.ints[33]);
    w.Put(s.ints[36]);
    w.PutText(s.string31);
    w.Put(s.ints[30]);
    // Some group A setters do not raise the flag; a group that holds anything but its
    // defaults is written anyway, so that no value is lost.
    int flag = m_settingsChanged;
    if (flag != 1 && s.GroupADiffersFromDefaults()) flag = 1;
    w.Put(flag);
    if (flag == 1) {
        w.Put(s.ints[2]);
        w.Put(s.ints[6]);
        w.Put(s.ints[7]);
        w.Put(s.float14);
        w.Put(s.ints[15]);
        w.Put(s.ints[16]);
        w.Put(s.ints[17]);
        w.Put(s.float18);
        w.Put(s.ints[19]);
        w.Put(s.ints[20]);
        w.Put(s.ints[21]);
        w.PutArray(s.array22);
        w.PutN(s.triple23, 3);
        w.PutArray(s.array24);
        w.Put(s.ints[26]);
        w.Put(s.double25);
        w.PutN(s.vector27, 3);
        w.PutN(s.vector28, 3);
        w.Put(s.ints[4]);
        w.Put(s.ints[3]);
        w.Put(s.ints[5]);
    }
    w.PutN(s.vector1, 3);
    if (!w.ok || !m_wrapper) return E_FAIL;

    int number = 0;
    if (!stream->ptr2num(m_wrapper, &number)) return E_FAIL;
    w.Put(number);
    if (!w.ok) return E_FAIL;
    if (FAILED(WriteProperties(*stream))) return E_FAIL;
    if (!WriteMonikerField(*stream, m_moniker)) return E_FAIL;

    w.PutText(s.string47);
    w.Put(s.ints[48]);
    w.Put(s.ints[45]);
    w.Put(s.ints[49]);
    w.PutN(s.triple50, 3);
    w.Put(s.double51);
    w.PutArray(s.array52);
    w.Put(s.ints[53]);
    w.Put(s.ints[54]);
    w.Put(s.ints[55]);
    w.Put(s.ints[56]);
    w.Put(s.ints[58]);
    w.Put(s.double57);
    w.Put(s.ints[59]);
    w.Put(s.ints[60]);
    w.Put(s.ints[61]);
    w.Put(s.ints[62]);
    w.Put(s.ints[63]);
    w.Put(s.double64);
    w.Put(s.ints[65]);
    w.Put(s.ints[67]);
    w.PutN(s.septuple68, 7);
    w.PutArray(s.array69);
    return w.ok ? S_OK : E_FAIL;
}

HRESULT APElement::WriteProperties(WmObjectStream& stream)
{
    std::int64_t countAt = 0, end = 0;
    if (!stream.tell(&countAt) || !stream.write(0)) return E_FAIL;
    int count = 0;
    for (const auto& [key, prop] : m_properties) {
        long persistent = 0;
        if (FAILED(prop->GetPersistanceFlag(&persistent)) || !persistent) continue;
        GUID clsid{};
        if (FAILED(prop->GetClassID(&clsid))) return E_FAIL;
        if (!stream.write(WmString(key.GetString(), static_cast<std::size_t>(key.GetLength()))) ||
            !stream.write(WmGUID(clsid)))
            return E_FAIL;
        if (FAILED(prop->write(StreamHandle(stream)))) return E_FAIL;
        ++count;
    }
    if (!stream.tell(&end) || !stream.seek(countAt) || !stream.write(count) || !stream.seek(end)) return E_FAIL;
    return S_OK;
}

HRESULT APElement::ReadProperties(WmObjectStream& stream)
{
    int count = 0;
    if (!stream.read(count)) return E_FAIL;
    if (count < 0 || !MayHold(stream, static_cast<std::int64_t>(count) * kMinPropertyRecord)) return E_FAIL;
    BlockReader r(stream);
    for (int i = 0; i < count; ++i) {
        CString text;
        r.GetText(text, 256);
        WmGUID clsid;
        r.Get(clsid);
        if (!r.ok) return E_FAIL;
        IAPPropertyKey* key = nullptr;
        if (FAILED(NewKey(text, &key))) return E_FAIL;
        IAPProperty* prop = nullptr;
        HRESULT hr = NewProperty(clsid.toGUID(), &prop);
        // A value that cannot be read whole leaves the stream out of step: refuse the block.
        if (SUCCEEDED(hr)) hr = prop->read(StreamHandle(stream));
        if (SUCCEEDED(hr)) hr = prop->SetPersistanceFlag(1);
        if (SUCCEEDED(hr)) hr = SetProperty(key, prop);
        if (prop) prop->Release();
        key->Release();
        if (FAILED(hr)) return E_FAIL;
    }
    return S_OK;
}

HRESULT APElement::Deserialize(WmObjectStream* stream)
{
    if (!stream) return E_FAIL;
    BlockReader r(*stream);
    // Everything but the properties is read aside and taken over only when the whole block
    // has been read. The settings are read into one scratch set whose arrays and strings keep
    // their memory from block to block: a large file is read without allocating per element.
    static Settings scratch;
    static bool scratchBusy = false;
    std::unique_ptr<Settings> nested; // only if a block were read inside another
    if (scratchBusy) nested = std::make_unique<Settings>(SettingsValues());
    else scratch = SettingsValues();
    struct ScratchUse {
        bool* busy;
        ~ScratchUse() { if (busy) *busy = false; }
    } use{nested ? nullptr : &scratchBusy};
    if (!nested) scratchBusy = true;
    Settings& s = nested ? *nested : scratch;
    int version = 0, cost = 0, flag = 0;
    CString name, description;

    r.Get(version);
    // A newer block holds fields this reader cannot step over, so it is refused like a
    // damaged one rather than read out of step.
    if (!r.ok || version < 1 || version > kBlockVersion) return E_FAIL;
    r.Get(cost);
    r.GetText(name, 1024);
    r.GetText(description, 1024);
    s.string9 = "";
    if (version >= 13) r.GetText(s.string9, 1024);
    s.ints[8] = 0;
    if (version >= 12) r.Get(s.ints[8]);
    s.ints[38] = 0;
    if (version >= 11) r.Get(s.ints[38]);
    s.ints[37] = 1;
    if (version >= 10) r.Get(s.ints[37]);
    s.ints[34] = s.ints[35] = 3;
    if (version >= 9) {
        r.Get(s.ints[34]);
        r.Get(s.ints[35]);
        s.ints[34] = std::max(s.ints[34], 3);
        s.ints[35] = std::max(s.ints[35], 3);
    }
    s.ints[32] = s.ints[33] = s.ints[36] = 0;
    if (version >= 8) {
        r.Get(s.ints[32]);
        r.Get(s.ints[33]);
        r.Get(s.ints[36]);
    }
    s.string31 = "";
    if (version >= 7) r.GetText(s.string31, 256);
    s.ints[30] = 2;
    if (version >= 6) r.Get(s.ints[30]);
    if (version >= 4) r.Get(flag);
    s.ResetGroupA();
    if (version >= 4 && flag == 1) {
        r.Get(s.ints[2]);
        r.Get(s.ints[6]);
        r.Get(s.ints[7]);
        r.Get(s.float14);
        r.Get(s.ints[15]);
        r.Get(s.ints[16]);
        r.Get(s.ints[17]);
        r.Get(s.float18);
        r.Get(s.ints[19]);
        r.Get(s.ints[20]);
        r.Get(s.ints[21]);
        r.GetArray(s.array22);
        r.GetN(s.triple23, 3);
        r.GetArray(s.array24);
        if (version >= 5) {
            r.Get(s.ints[26]);
            r.Get(s.double25);
            r.GetN(s.vector27, 3);
            r.GetN(s.vector28, 3);
        }
        if (version >= 15) {
            r.Get(s.ints[4]);
            r.Get(s.ints[3]);
        }
        if (version == 15) s.ints[3] = s.ints[4] = -1;
        if (version >= 16) r.Get(s.ints[5]);
    }
    std::fill(std::begin(s.vector1), std::end(s.vector1), 0.0);
    if (version >= 3) r.GetN(s.vector1, 3);
    if (!r.ok) return E_FAIL;

    // The new wrapper stands for the number its old wrapper had.
    int number = 0;
    r.Get(number);
    if (!r.ok || !m_wrapper || !stream->registerPtr(m_wrapper, number)) return E_FAIL;
    if (version >= 2 && FAILED(ReadProperties(*stream))) return E_FAIL;

    IORVDataMoniker* moniker = nullptr;
    auto fail = [&moniker]() {
        if (moniker) moniker->Release();
        return E_FAIL;
    };
    if (version >= 14 && !ReadMonikerField(*stream, &moniker)) return fail();
    if (version >= 17) {
        r.GetText(s.string47, 1024);
        r.Get(s.ints[48]);
    } else {
        s.string47 = s.string9;
        s.ints[48] = 0;
    }
    s.ints[45] = AP_UNIT_UNKNOWN;
    if (version >= 19) r.Get(s.ints[45]);
    s.ints[49] = 0;
    std::fill(std::begin(s.triple50), std::end(s.triple50), kTriple50);
    s.double51 = kDouble51;
    if (version >= 20) {
        r.Get(s.ints[49]);
        r.GetN(s.triple50, 3);
        r.Get(s.double51);
    }
    s.array52 = DefaultArray52();
    s.ints[53] = s.ints[54] = s.ints[55] = s.ints[56] = 2;
    if (version >= 21) {
        r.GetArray(s.array52);
        for (int n = 53; n <= 56; ++n) r.Get(s.ints[n]);
    }
    s.ints[58] = 1;
    s.double57 = kDouble57;
    if (version >= 22) {
        r.Get(s.ints[58]);
        r.Get(s.double57);
    }
    s.ints[59] = s.ints[60] = 0;
    if (version >= 23) {
        r.Get(s.ints[59]);
        r.Get(s.ints[60]);
    }
    s.ints[61] = s.ints[62] = s.ints[63] = s.ints[65] = 0;
    s.double64 = kDouble64;
    if (version >= 24) {
        for (int n = 61; n <= 63; ++n) r.Get(s.ints[n]);
        r.Get(s.double64);
        r.Get(s.ints[65]);
    }
    s.ints[67] = 0;
    if (version >= 25) r.Get(s.ints[67]);
    std::copy(std::begin(kSeptuple68), std::end(kSeptuple68), s.septuple68);
    if (version >= 26) r.GetN(s.septuple68, 7);
    s.array69 = DefaultArray69();
    if (version >= 27) r.GetArray(s.array69);
    if (!r.ok) return fail();

    // Values that all came back as their defaults need no settings of the element's own.
    std::unique_ptr<Settings> own;
    if (!s.SameAs(DefaultSettings())) {
        own.reset(new (std::nothrow) Settings(s));
        if (!own) return fail();
    }
    m_settings = std::move(own);
    m_cost = cost;
    m_name = name;
    m_description = description;
    m_settingsChanged = flag;
    if (m_moniker) m_moniker->Release();
    m_moniker = moniker;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Copying

APElement& APElement::operator=(const APElement& source)
{
    if (this == &source) return *this;
    m_cost = source.m_cost;
    m_name = source.m_name;
    m_previousName = source.m_previousName;
    // Both at their defaults: nothing to copy.
    if (source.m_settings || m_settings) {
        const Settings& from = source.SettingsValues();
        Settings& to = EditSettings();
        to.string9 = from.string9;
        to.string47 = from.string47;
        std::copy(std::begin(from.vector1), std::end(from.vector1), to.vector1);
    }
    m_description = source.m_description;
    // A copy made by a document belongs to it, whichever document the source is in: what the
    // copy creates and asks of the copy map goes there. Only an unbound target takes over
    // the source's binding.
    if (!m_docSink) SetDocSink(source.m_docSink);

    // The document's copy map later points the copies of the source's dependents at us.
    if (source.m_dependents.Count() > 0 && m_docSink) {
        IAPDocument* doc = nullptr;
        if (SUCCEEDED(m_docSink->QueryInterface(IID_IAPDocument, reinterpret_cast<void**>(&doc))) && doc) {
            doc->RecordElement(source.m_wrapper, m_wrapper);
            doc->Release();
        }
    }

    for (const auto& [text, prop] : source.m_properties) {
        long copies = 0;
        if (FAILED(prop->GetCopyFlag(&copies)) || !copies) continue;
        GUID clsid{};
        if (FAILED(prop->GetClassID(&clsid))) continue;
        IAPPropertyKey* key = nullptr;
        if (FAILED(NewKey(text, &key))) continue;
        IAPProperty* copy = nullptr;
        if (SUCCEEDED(NewProperty(clsid, &copy))) {
            prop->Clone(copy);
            SetProperty(key, copy);
            copy->Release();
        }
        key->Release();
    }
    return *this;
}

