// A host that drives the library through COM in seeded call orders, to find the orders after
// which an element is used once freed or outlives everything that held it.
//   lifetime_fuzz run <seed> <index>     runs sequence <index> of <seed>
//   lifetime_fuzz replay <seed> <index>  the same sequence, printing every call and its HRESULT
// A sequence builds one to three documents holding every element kind, then links elements
// at random, across documents too (phase 1); takes random actions over the host's references:
// deletions, moves, copies, clones, removals, saves and reopens, imports, reads of every link
// getter (phase 2); and lets everything go in a random order, the documents' ends among the
// releases and reads of the survivors' links in between (phase 3). Before each step it prints
// "STEP <n> <action> <labels>", flushed, so that a crash names its step; at the end "END ok",
// or "END leak" when DllCanUnloadNow still refuses with every reference given back.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/tools/host_model.h"

namespace {

// What an entry answers to; actions pick their arguments by these.
enum Kind : unsigned {
    kElement = 1u << 0,
    kNode = 1u << 1,
    kFeature = 1u << 2,
    kPair = 1u << 3,
    kCondition = 1u << 4,
    kTolerance = 1u << 5,
    kGdt = 1u << 6,
    kDrf = 1u << 7,
    kDatum = 1u << 8,
    kOperation = 1u << 9,
    kGroup = 1u << 10,
    kSink = 1u << 11,
    kAsmOp = 1u << 12,
    kCustomOp = 1u << 13,
};
const std::pair<unsigned, const IID*> kKinds[] = {
    {kElement, &IID_IAPElement},
    {kNode, &IID_IAPNode},
    {kFeature, &IID_IAPFeature8},
    {kPair, &IID_IAPFeaturePair3},
    {kCondition, &IID_IAPCondition},
    {kTolerance, &IID_IAPTolerance},
    {kGdt, &IID_IAPGDTTolerance5},
    {kDrf, &IID_IAPDRF},
    {kDatum, &IID_IAPDatum},
    {kOperation, &IID_IAPOperation4},
    {kGroup, &IID_IAPGroup},
    {kSink, &IID_IAPElementSink},
    {kAsmOp, &IID_IAPAssemblyOperation5},
    {kCustomOp, &IID_IAPCustomOperation12},
};

// A reference of the host's own, given back when it goes.
template <class T>
class Ref {
public:
    explicit Ref(T* p = nullptr) : m_p(p) {}
    Ref(Ref&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref& operator=(Ref&& other) noexcept
    {
        if (this != &other) {
            if (m_p) m_p->Release();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    ~Ref()
    {
        if (m_p) m_p->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T* Detach() { return std::exchange(m_p, nullptr); }

private:
    T* m_p;
};

template <class T>
Ref<T> Q(IUnknown* p)
{
    T* out = nullptr;
    if (!p || FAILED(p->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&out)))) out = nullptr;
    return Ref<T>(out);
}

// An out-parameter's reference: only a call that succeeds hands one out. `p` is read here, after
// the call that fills it has run (the order in which arguments are evaluated is unspecified).
template <class T>
Ref<T> Out(HRESULT hr, T* const& p)
{
    return Ref<T>(SUCCEEDED(hr) ? p : nullptr);
}

int Cap(int n) { return std::clamp(n, 0, 64); }

struct Entry {
    IUnknown* p;
    std::string label;
    unsigned kinds;
};
struct Doc {
    IAPDocument* p;
    std::string label;
};
// A dependent the host registered: the host holds both ends until it takes the registration back.
struct Watcher {
    IAPElement* target;
    IAPElementSink* sink;
    std::string label;
};

class Host;
using Run = bool (*)(Host&);
struct Action {
    const char* name;
    int build; // weight among the links of phase 1
    int play;  // weight in phase 2
    Run run;   // false when the pool offers no arguments
};

class Host {
public:
    Host(unsigned long seed, unsigned long index, bool verbose) : m_verbose(verbose)
    {
        std::seed_seq s{seed, index};
        m_rng.seed(s);
        docs.reserve(8); // a sequence holds four documents at most
    }

    size_t Pick(size_t n) { return n ? static_cast<size_t>(m_rng() % n) : 0; }
    bool Chance(unsigned percent) { return Pick(100) < percent; }

    // A random entry answering every kind in `kinds`, or null.
    Entry* Any(unsigned kinds)
    {
        std::vector<Entry*> fit;
        for (auto& e : pool)
            if ((e->kinds & kinds) == kinds) fit.push_back(e.get());
        return fit.empty() ? nullptr : fit[Pick(fit.size())];
    }
    Doc* AnyDoc() { return docs.empty() ? nullptr : &docs[Pick(docs.size())]; }

    void Step(const std::string& args)
    {
        m_args = args;
        std::printf("STEP %d %s %s\n", ++m_step, m_action, args.c_str());
        std::fflush(stdout);
    }
    void Step(std::initializer_list<const Entry*> entries)
    {
        std::string args;
        for (const Entry* e : entries) args += (args.empty() ? "" : " ") + e->label;
        Step(args);
    }
    // A call is printed before it runs (so that a crash shows it) and its HRESULT after.
    void Calling(const char* call)
    {
        if (m_verbose) std::printf("    %s", call), std::fflush(stdout);
    }
    const std::string& Args() const { return m_args; }
    HRESULT Done(HRESULT hr)
    {
        if (m_verbose) std::printf(" = %08lx\n", static_cast<unsigned long>(hr)), std::fflush(stdout);
        return hr;
    }

    // Takes over the reference `p`, labelled by its element's name.
    void Keep(IUnknown* p, const char* how)
    {
        unsigned kinds = 0;
        for (const auto& [bit, iid] : kKinds)
            if (IUnknown* q = As<IUnknown>(p, *iid)) kinds |= bit, q->Release();
        std::string label = "e" + std::to_string(m_entries++) + ":" + Name(p, &IAPElement::GetName, &IAPElement::GetNameSize);
        if (m_verbose) std::printf("    %s %s\n", how, label.c_str());
        pool.push_back(std::make_unique<Entry>(Entry{p, std::move(label), kinds}));
    }
    // A getter's result: kept by the host now and then in phase 2, else given back at once. `p` is
    // read here, after the getter has run (arguments are evaluated in no fixed order).
    template <class T>
    void Took(HRESULT hr, T* const& p)
    {
        Ref<IUnknown> got(SUCCEEDED(hr) ? p : nullptr);
        if (got && m_phase == 2 && pool.size() < 600 && Chance(20)) Keep(got.Detach(), "kept");
    }
    void Release(size_t at)
    {
        pool[at]->p->Release();
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void EndDocument(size_t at)
    {
        docs[at].p->Release();
        docs.erase(docs.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void Unwatch(size_t at)
    {
        Watcher& w = watchers[at];
        Calling("target->RemoveDependent(sink)");
        Done(w.target->RemoveDependent(w.sink));
        w.target->Release();
        w.sink->Release();
        watchers.erase(watchers.begin() + static_cast<std::ptrdiff_t>(at));
    }
    // The element's document (with a reference), or now and then another one the host holds.
    Ref<IAPDocument> DocumentOf(IUnknown* p, unsigned otherPercent);
    Doc& NewDocument();
    void Roots(IAPDocument* doc);
    std::string TempPath() { return m_temp + "lf" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(m_saves++) + ".pvd"; }

    bool Act(const Action& a)
    {
        m_action = a.name;
        return a.run(*this);
    }
    void Sequence(const Action* actions, size_t count);

    std::vector<std::unique_ptr<Entry>> pool;
    std::vector<Doc> docs;
    std::vector<Watcher> watchers;

private:
    void Phase(int phase, size_t steps, const Action* actions, size_t count);

    std::mt19937_64 m_rng;
    std::vector<bool> m_on; // the actions this sequence takes
    bool m_verbose;
    int m_step = 0, m_phase = 1, m_entries = 0, m_docs = 0, m_saves = 0;
    const char* m_action = "";
    std::string m_args; // the current step's labels
    std::string m_temp = [] {
        char path[MAX_PATH] = {};
        return GetTempPathA(MAX_PATH, path) ? std::string(path) : std::string(".\\");
    }();
};

#define CALL(call) (h.Calling(#call), h.Done(call))
// A getter with one interface out-parameter named `out_`.
#define READ(T, call)            \
    do {                         \
        T* out_ = nullptr;       \
        h.Took(CALL(call), out_); \
    } while (0)

Ref<IAPDocument> Host::DocumentOf(IUnknown* p, unsigned otherPercent)
{
    Host& h = *this;
    IAPDocument* doc = nullptr;
    Ref<IAPElement> e = Q<IAPElement>(p);
    Ref<IAPDocument> own = Out(e ? CALL(e->GetDocument(&doc)) : E_FAIL, doc);
    if (own && !Chance(otherPercent)) return own;
    Doc* other = AnyDoc();
    if (!other) return own;
    other->p->AddRef();
    return Ref<IAPDocument>(other->p);
}

Doc& Host::NewDocument()
{
    IAPDocument* doc = Make<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
    if (!doc) std::printf("END no-document\n"), std::fflush(stdout), ExitProcess(2);
    const std::string label = "d" + std::to_string(m_docs++);
    docs.push_back({doc, label});
    return docs.back();
}

// The document's top-level nodes, for the host to hold.
void Host::Roots(IAPDocument* doc)
{
    Host& h = *this;
    IAPPointerList* list = Make<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    if (!list) return;
    int n = 0;
    if (SUCCEEDED(CALL(doc->GetRoots(list)))) list->GetLength(&n);
    for (int i = 0; i < Cap(n); ++i) {
        GUID iid = IID_IAPNode;
        IAPNode* node = nullptr;
        if (Ref<IAPNode> r = Out(CALL(list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&node))), node)) Keep(r.Detach(), "root");
    }
    list->Release();
}

// ---------------------------------------------------------------------------------------
// Links: an element of kind A told about one of kind B.

// Is the element in a document? (The document is given back at once.)
bool InDocument(IUnknown* p)
{
    IAPDocument* doc = nullptr;
    Ref<IAPElement> e = Q<IAPElement>(p);
    return e && Out(e->GetDocument(&doc), doc);
}

// Links between two elements that are in no document (made outside one, or left by a document
// that ended) are the host's own: a cycle of them is the host's to break, so none is made.
template <class A, class B, class F>
bool Link(Host& h, unsigned ka, unsigned kb, F call)
{
    Entry* a = h.Any(ka);
    Entry* b = h.Any(kb);
    if (!a || !b || (!InDocument(a->p) && !InDocument(b->p))) return false;
    h.Step({a, b});
    Ref<A> x = Q<A>(a->p);
    Ref<B> y = Q<B>(b->p);
    if (x && y) call(h, x.get(), y.get());
    return true;
}

IAPFeature8* AnyFeature(Host& h, Ref<IAPFeature8>& keep)
{
    if (Entry* e = h.Any(kFeature)) keep = Q<IAPFeature8>(e->p);
    return keep.get();
}

void SetPointerProperty(Host& h, IAPElement* e, IAPElement* target)
{
    Ref<IAPPropertyKey> key(Make<IAPPropertyKey>(CLSID_APPropertyKey, IID_IAPPropertyKey));
    Ref<IAPElemPtrProperty> value(Make<IAPElemPtrProperty>(CLSID_APElemPtrProperty, IID_IAPElemPtrProperty));
    Ref<IAPProperty> property = Q<IAPProperty>(value.get());
    if (!key || !property) return;
    key->SetKey(Text("partner"));
    CALL(value->SetValue(target));
    CALL(e->SetProperty(key.get(), property.get()));
}

bool SameObject(IUnknown* a, IUnknown* b)
{
    Ref<IUnknown> x = Q<IUnknown>(a), y = Q<IUnknown>(b);
    return x && x.get() == y.get();
}

// Whether `sink` is among the target's dependents.
bool Listed(Host& h, IAPElement* target, IAPElementSink* sink)
{
    int n = 0;
    CALL(target->GetNumDependents(&n));
    for (int i = 0; i < Cap(n); ++i) {
        IAPElement* raw = nullptr;
        if (Ref<IAPElement> e = Out(CALL(target->GetDependent(i, &raw)), raw); e && SameObject(e.get(), sink)) return true;
    }
    return false;
}

// The links made by one call, a->Set(b), with a of kind `ka` and b of kind `kb`.
template <class A, class B, HRESULT (STDMETHODCALLTYPE A::*Set)(B*), unsigned ka, unsigned kb>
bool Tell(Host& h)
{
    return Link<A, B>(h, ka, kb, [](Host& h, A* a, B* b) { CALL((a->*Set)(b)); });
}

const Action kLinks[] = {
    {"SetOperation", 4, 2, Tell<IAPFeaturePair, IAPOperation, &IAPFeaturePair::SetOperation, kPair, kOperation>},
    {"SetOperationForCondition", 4, 2, Tell<IAPCondition, IAPOperation, &IAPCondition::SetOperationForCondition, kCondition, kOperation>},
    {"SetToleranceFeature", 4, 2, Tell<IAPTolerance, IAPFeature, &IAPTolerance::SetToleranceFeature, kTolerance, kFeature>},
    {"SetLinkedElement", 3, 2, Tell<IAPFeature7, IAPFeature, &IAPFeature7::SetLinkedElement, kFeature, kFeature>},
    {"AppendRelatedElement", 2, 1, Tell<IAPFeature7, IAPFeature, &IAPFeature7::AppendRelatedElement, kFeature, kFeature>},
    {"SetRelatedOwner", 2, 1, Tell<IAPFeature7, IAPFeature, &IAPFeature7::SetRelatedOwner, kFeature, kFeature>},
    {"AddTolerance", 2, 1, Tell<IAPFeature, IAPTolerance, &IAPFeature::AddTolerance, kFeature, kTolerance>},
    {"AppendReferenceFeature", 2, 1, [](Host& h) {
         return Link<IAPGDTTolerance5, IAPFeature>(h, kGdt, kFeature, [](Host& h, auto* t, auto* f) {
             Ref<IAPFeature8> ref;
             IAPFeature8* also = h.Chance(20) ? nullptr : AnyFeature(h, ref);
             // The tolerance holds both: not two elements that are in no document (see Link).
             if (also && !InDocument(t) && !InDocument(also)) also = nullptr;
             CALL(t->AppendReferenceFeature(f, also));
         });
     }},
    {"AppendDatumFeature", 1, 1, Tell<IAPDatum, IAPFeature, &IAPDatum::AppendDatumFeature, kDatum, kFeature>},
    {"AddDatum", 1, 1, [](Host& h) {
         return Link<IAPDRF, IAPDatum>(h, kDrf, kDatum, [](Host& h, auto* r, auto* d) {
             switch (h.Pick(3)) {
             case 0: CALL(r->AddPrimaryDatum(d, AP_MODIFIER_MMC)); break;
             case 1: CALL(r->AddSecondaryDatum(d, AP_MODIFIER_LMC)); break;
             default: CALL(r->AddTertiaryDatum(d, AP_MODIFIER_RFS)); break;
             }
         });
     }},
    {"SetDRF", 1, 1, Tell<IAPGDTTolerance, IAPDRF, &IAPGDTTolerance::SetDRF, kGdt, kDrf>},
    {"SetCompositeDRF", 1, 1, Tell<IAPGDTTolerance2, IAPDRF, &IAPGDTTolerance2::SetCompositeDRF, kGdt, kDrf>},
    {"AppendFeaturePair", 2, 1, Tell<IAPOperation, IAPFeaturePair, &IAPOperation::AppendFeaturePair, kOperation, kPair>},
    {"AppendCondition", 2, 1, Tell<IAPOperation4, IAPCondition, &IAPOperation4::AppendCondition, kOperation, kCondition>},
    {"SetMeasurement1", 1, 1, Tell<IAPCondition, IAPOperation, &IAPCondition::SetMeasurement1, kCondition, kOperation>},
    {"SetMeasurement2", 1, 1, Tell<IAPCondition, IAPOperation, &IAPCondition::SetMeasurement2, kCondition, kOperation>},
    {"SetReferenceElement", 1, 1, Tell<IAPFeaturePair3, IAPOperation, &IAPFeaturePair3::SetReferenceElement, kPair, kOperation>},
    {"AppendObjectFeature", 1, 1, Tell<IAPFeaturePair, IAPFeature, &IAPFeaturePair::AppendObjectFeature, kPair, kFeature>},
    {"AppendTargetFeature", 1, 1, Tell<IAPFeaturePair, IAPFeature, &IAPFeaturePair::AppendTargetFeature, kPair, kFeature>},
    {"AppendGroupElement", 1, 1, Tell<IAPGroup, IAPElement, &IAPGroup::AppendGroupElement, kGroup, kElement>},
    {"AppendAssemblyOperationElement", 1, 1,
     Tell<IAPAssemblyOperation3, IAPElement, &IAPAssemblyOperation3::AppendAssemblyOperationElement, kAsmOp, kElement>},
    {"AppendCustomElement", 1, 1, [](Host& h) {
         return Link<IAPCustomOperation12, IAPElement>(h, kCustomOp, kElement,
                                                       [](Host& h, auto* o, auto* e) { CALL(o->AppendElement(Text("linked"), e)); });
     }},
    {"SetPointerProperty", 1, 1, [](Host& h) {
         return Link<IAPElement, IAPElement>(h, kElement, kElement, [](Host& h, auto* e, auto* t) { SetPointerProperty(h, e, t); });
     }},
    {"AddDependent", 2, 1, [](Host& h) {
         // The dependents of an element are a set: a sink the library registered already is not
         // the host's to take back, so only a new registration is recorded (and kept to the end).
         return Link<IAPElement, IAPElementSink>(h, kElement, kSink, [](Host& h, IAPElement* target, IAPElementSink* sink) {
             if (Listed(h, target, sink) || FAILED(CALL(target->AddDependent(sink)))) return;
             target->AddRef(), sink->AddRef();
             h.watchers.push_back({target, sink, h.Args()});
         });
     }},
    {"AppendChild", 1, 2, Tell<IAPNode, IAPNode, &IAPNode::AppendChild, kNode, kNode>},
};

// ---------------------------------------------------------------------------------------
// Removals: one entry of a kind loses one of the elements it lists.

struct Removal {
    unsigned kind;
    const char* name;
    void (*run)(Host&, IUnknown*);
};

// A removal by index: a random entry of the list that `Count` counts.
template <class T, HRESULT (STDMETHODCALLTYPE T::*Count)(int*), HRESULT (STDMETHODCALLTYPE T::*Remove)(int)>
void RemoveAt(Host& h, IUnknown* u)
{
    Ref<T> p = Q<T>(u);
    int n = 0;
    if (p && SUCCEEDED(CALL((p.get()->*Count)(&n))) && n > 0) CALL((p.get()->*Remove)(static_cast<int>(h.Pick(static_cast<size_t>(Cap(n))))));
}

const Removal kRemovals[] = {
    {kOperation, "FeaturePair", RemoveAt<IAPOperation, &IAPOperation::GetNumFeaturePairs, &IAPOperation::RemoveFeaturePairByIndex>},
    {kOperation, "Condition", RemoveAt<IAPOperation4, &IAPOperation4::GetNumConditions, &IAPOperation4::RemoveConditionByIndex>},
    {kDatum, "DatumFeature", RemoveAt<IAPDatum, &IAPDatum::GetNumDatumFeatures, &IAPDatum::RemoveDatumFeatureByIndex>},
    {kDrf, "PrimaryDatum", RemoveAt<IAPDRF, &IAPDRF::GetNumPrimaryDatums, &IAPDRF::RemovePrimaryDatum>},
    {kDrf, "SecondaryDatum", RemoveAt<IAPDRF, &IAPDRF::GetNumSecondaryDatums, &IAPDRF::RemoveSecondaryDatum>},
    {kFeature, "Tolerance", RemoveAt<IAPFeature, &IAPFeature::GetNumTolerances, &IAPFeature::RemoveToleranceByIndex>},
    {kGdt, "ReferenceFeature", RemoveAt<IAPGDTTolerance5, &IAPGDTTolerance5::GetNumReferenceFeatures, &IAPGDTTolerance5::RemoveReferenceFeatureByIndex>},
    {kFeature, "RelatedElement", RemoveAt<IAPFeature7, &IAPFeature7::GetNumRelatedElements, &IAPFeature7::RemoveRelatedElementByIndex>},
    {kGroup, "GroupElement", RemoveAt<IAPGroup, &IAPGroup::GetGroupNumElements, &IAPGroup::RemoveGroupElementByIndex>},
    {kPair, "ObjectFeature", RemoveAt<IAPFeaturePair, &IAPFeaturePair::GetNumObjectFeatures, &IAPFeaturePair::RemoveObjectFeatureByIndex>},
    {kPair, "TargetFeature", RemoveAt<IAPFeaturePair, &IAPFeaturePair::GetNumTargetFeatures, &IAPFeaturePair::RemoveTargetFeatureByIndex>},
    {kCustomOp, "CustomElement", RemoveAt<IAPCustomOperation, &IAPCustomOperation::GetNumElements, &IAPCustomOperation::RemoveElementByIndex>},
    {kFeature, "LinkedElement", [](Host& h, IUnknown* u) {
         if (auto f = Q<IAPFeature8>(u)) CALL(f->DetachLinkedElement());
     }},
    {kCondition, "Measurement1", [](Host& h, IUnknown* u) {
         Ref<IAPCondition> c = Q<IAPCondition>(u);
         IAPOperation* m = nullptr;
         if (Ref<IAPOperation> op = Out(c ? CALL(c->GetMeasurement1(&m)) : E_FAIL, m)) CALL(c->RemoveMeasurement1(op.get()));
     }},
    {kAsmOp, "Elements", [](Host& h, IUnknown* u) {
         if (auto o = Q<IAPAssemblyOperation3>(u)) CALL(o->ClearElements());
     }},
    {kElement, "Property", [](Host& h, IUnknown* u) {
         Ref<IAPElement> e = Q<IAPElement>(u);
         Ref<IAPPropertyKey> key(Make<IAPPropertyKey>(CLSID_APPropertyKey, IID_IAPPropertyKey));
         if (e && key) key->SetKey(Text("partner")), CALL(e->RemoveProperty(key.get()));
     }},
};

// ---------------------------------------------------------------------------------------
// Reads: every link getter the entry answers, each reference handed out kept or given back.

// A getter with one interface out-parameter: its reference kept by the host or given back.
template <class T, class Item, HRESULT (STDMETHODCALLTYPE T::*get)(Item**)>
void One(Host& h, IUnknown* u, const char* name)
{
    Ref<T> p = Q<T>(u);
    Item* out = nullptr;
    if (p) h.Calling(name), h.Took(h.Done((p.get()->*get)(&out)), out);
}

// Every entry of a counted list.
template <class T, class Item, HRESULT (STDMETHODCALLTYPE T::*count)(int*), HRESULT (STDMETHODCALLTYPE T::*get)(int, Item**)>
void Each(Host& h, IUnknown* u, const char* name)
{
    Ref<T> p = Q<T>(u);
    int n = 0;
    if (!p || FAILED(CALL((p.get()->*count)(&n)))) return;
    for (int i = 0; i < Cap(n); ++i) {
        Item* out = nullptr;
        h.Calling(name), h.Took(h.Done((p.get()->*get)(i, &out)), out);
    }
}

// The datums of a frame, at each of its three places.
template <HRESULT (STDMETHODCALLTYPE IAPDRF::*count)(int*), HRESULT (STDMETHODCALLTYPE IAPDRF::*get)(int, IAPDatum**, APModifierType*)>
void Datums(Host& h, IUnknown* u, const char*)
{
    Ref<IAPDRF> r = Q<IAPDRF>(u);
    int n = 0;
    if (r) CALL((r.get()->*count)(&n));
    for (int i = 0; i < Cap(n); ++i) {
        APModifierType type{};
        READ(IAPDatum, (r.get()->*get)(i, &out_, &type));
    }
}

struct Getter {
    const char* name;
    void (*read)(Host&, IUnknown*, const char*);
};

// Every link getter there is; a read calls those the entry answers.
const Getter kGetters[] = {
    {"GetOperation", One<IAPFeaturePair, IAPOperation, &IAPFeaturePair::GetOperation>},
    {"GetFeaturePairReferenceElement", One<IAPFeaturePair3, IAPOperation, &IAPFeaturePair3::GetFeaturePairReferenceElement>},
    {"GetObjectFeature", Each<IAPFeaturePair, IAPFeature, &IAPFeaturePair::GetNumObjectFeatures, &IAPFeaturePair::GetObjectFeature>},
    {"GetTargetFeature", Each<IAPFeaturePair, IAPFeature, &IAPFeaturePair::GetNumTargetFeatures, &IAPFeaturePair::GetTargetFeature>},
    {"GetOperationForCondition", One<IAPCondition, IAPOperation, &IAPCondition::GetOperationForCondition>},
    {"GetMeasurement1", One<IAPCondition, IAPOperation, &IAPCondition::GetMeasurement1>},
    {"GetMeasurement2", One<IAPCondition, IAPOperation, &IAPCondition::GetMeasurement2>},
    {"GetMeasurement1Element", [](Host& h, IUnknown* u, const char*) {
         APMeasType type{};
         if (Ref<IAPCondition> c = Q<IAPCondition>(u)) READ(IAPElement, c->GetMeasurement1Element(&out_, &type));
     }},
    {"GetToleranceFeature", One<IAPTolerance, IAPFeature, &IAPTolerance::GetToleranceFeature>},
    {"GetDRF", One<IAPGDTTolerance, IAPDRF, &IAPGDTTolerance::GetDRF>},
    {"GetCompositeDRF", One<IAPGDTTolerance2, IAPDRF, &IAPGDTTolerance2::GetCompositeDRF>},
    {"GetReferenceFeature",
     Each<IAPGDTTolerance5, IAPFeature, &IAPGDTTolerance5::GetNumReferenceFeatures, &IAPGDTTolerance5::GetReferenceFeature>},
    {"GetLinkedElement", One<IAPFeature7, IAPFeature, &IAPFeature7::GetLinkedElement>},
    {"GetRelatedOwner", One<IAPFeature7, IAPFeature, &IAPFeature7::GetRelatedOwner>},
    {"GetRelatedElement", Each<IAPFeature7, IAPFeature, &IAPFeature7::GetNumRelatedElements, &IAPFeature7::GetRelatedElement>},
    {"GetTolerance", Each<IAPFeature, IAPTolerance, &IAPFeature::GetNumTolerances, &IAPFeature::GetTolerance>},
    {"GetFeaturePair", Each<IAPOperation, IAPFeaturePair, &IAPOperation::GetNumFeaturePairs, &IAPOperation::GetFeaturePair>},
    {"GetCondition", Each<IAPOperation4, IAPCondition, &IAPOperation4::GetNumConditions, &IAPOperation4::GetCondition>},
    {"GetAssemblyOperationElement", Each<IAPAssemblyOperation3, IAPElement, &IAPAssemblyOperation3::GetAssemblyOperationNumElements,
                                         &IAPAssemblyOperation3::GetAssemblyOperationElement>},
    {"GetElement", [](Host& h, IUnknown* u, const char*) {
         Ref<IAPCustomOperation> o = Q<IAPCustomOperation>(u);
         int n = 0;
         if (o) CALL(o->GetNumElements(&n));
         for (int i = 0; i < Cap(n); ++i) {
             unsigned char label[1024] = {};
             READ(IAPElement, o->GetElement(i, label, &out_));
         }
     }},
    {"GetDatumFeature", Each<IAPDatum, IAPFeature, &IAPDatum::GetNumDatumFeatures, &IAPDatum::GetDatumFeature>},
    {"GetPrimaryDatum", Datums<&IAPDRF::GetNumPrimaryDatums, &IAPDRF::GetPrimaryDatum>},
    {"GetSecondaryDatum", Datums<&IAPDRF::GetNumSecondaryDatums, &IAPDRF::GetSecondaryDatum>},
    {"GetTertiaryDatum", Datums<&IAPDRF::GetNumTertiaryDatums, &IAPDRF::GetTertiaryDatum>},
    {"GetGroupElement", Each<IAPGroup, IAPElement, &IAPGroup::GetGroupNumElements, &IAPGroup::GetGroupElement>},
    {"GetChild", Each<IAPNode, IAPNode, &IAPNode::GetNumChildren, &IAPNode::GetChild>},
    {"GetParent", Each<IAPNode, IAPNode, &IAPNode::GetNumParents, &IAPNode::GetParent>},
    {"GetDependent", Each<IAPElement, IAPElement, &IAPElement::GetNumDependents, &IAPElement::GetDependent>},
    {"GetDocument", [](Host& h, IUnknown* u, const char*) {
         IAPDocument* doc = nullptr;
         // Given back at once: the host's documents end by its own release.
         if (Ref<IAPElement> e = Q<IAPElement>(u)) Out(CALL(e->GetDocument(&doc)), doc);
     }},
    {"GetProperty", [](Host& h, IUnknown* u, const char*) {
         Ref<IAPElement> e = Q<IAPElement>(u);
         Ref<IAPPropertyKey> key(Make<IAPPropertyKey>(CLSID_APPropertyKey, IID_IAPPropertyKey));
         IAPProperty* raw = nullptr;
         if (!e || !key) return;
         key->SetKey(Text("partner"));
         Ref<IAPProperty> property = Out(CALL(e->GetProperty(key.get(), &raw)), raw);
         // The property holds its element without a reference and hands it out so: not the host's to release.
         IAPElement* bare = nullptr;
         if (auto value = Q<IAPElemPtrProperty>(property.get())) CALL(value->GetValue(&bare));
     }},
};

void Read(Host& h, IUnknown* u)
{
    for (const Getter& g : kGetters) g.read(h, u, g.name);
}

// ---------------------------------------------------------------------------------------
// The other actions of phase 2.

bool SameClass(IUnknown* a, IUnknown* b)
{
    GUID x{}, y{};
    Ref<IAPElement> ea = Q<IAPElement>(a), eb = Q<IAPElement>(b);
    return ea && eb && SUCCEEDED(ea->GetClassID(&x)) && SUCCEEDED(eb->GetClassID(&y)) && x == y;
}

// Saves a document and, for a reopen, opens the file again: into a new document, into the same
// one (which drops its tree) or into another the host holds; the host then holds the top nodes.
bool SaveAndOpen(Host& h, bool reopen)
{
    Doc* from = h.AnyDoc();
    if (!from) return false;
    const size_t how = !reopen ? 3 : h.docs.size() < 4 ? h.Pick(3) : 1 + h.Pick(2);
    Doc* into = how == 1 ? from : how == 2 ? h.AnyDoc() : nullptr;
    h.Step(from->label + (how == 0 ? " into a new document" : into ? " into " + into->label : ""));
    IAPDocument* saved = from->p;
    IAPDocument* target = into ? into->p : nullptr;
    const std::string path = h.TempPath();
    // A save needs a working storage, which setting a text makes (the last save used it up).
    CALL(saved->SetProcessName(Text(from->label.c_str())));
    if (SUCCEEDED(CALL(saved->Save(Text(path.c_str())))) && reopen) {
        if (!target) target = h.NewDocument().p;
        if (SUCCEEDED(CALL(target->OpenDocument(Text(path.c_str()))))) h.Roots(target);
    }
    DeleteFileA(path.c_str());
    return true;
}

const Action kPlay[] = {
    {"DeleteNodeFromProcess", 0, 5, [](Host& h) {
         Entry* n = h.Any(kNode);
         if (!n) return false;
         h.Step({n});
         Ref<IAPDocument> doc = h.DocumentOf(n->p, 15);
         Ref<IAPNode> node = Q<IAPNode>(n->p);
         if (doc) CALL(doc->DeleteNodeFromProcess(node.get()));
         return true;
     }},
    {"MoveNode", 0, 3, [](Host& h) {
         Entry* n = h.Any(kNode);
         Entry* to = h.Any(kNode);
         if (!n || !to) return false;
         h.Step({n, to});
         Ref<IAPNode> node = Q<IAPNode>(n->p), target = Q<IAPNode>(to->p);
         IAPNode* raw = nullptr;
         if (Ref<IAPNode> parent = Out(CALL(node->GetParent(0, &raw)), raw)) CALL(parent->RemoveChild(node.get()));
         if (h.Chance(80)) CALL(target->AppendChild(node.get()));
         return true;
     }},
    {"CopyNode", 0, 3, [](Host& h) {
         Entry* n = h.Any(kNode);
         if (!n) return false;
         h.Step({n});
         Ref<IAPDocument> doc = h.DocumentOf(n->p, 50);
         if (!doc) return true;
         Ref<IAPNode> node = Q<IAPNode>(n->p);
         IAPNode* raw = nullptr;
         Ref<IAPNode> copy = Out(CALL(doc->CopyNode(node.get(), &raw, static_cast<long>(h.Pick(2)))), raw);
         Entry* parent = h.Any(kNode);
         if (copy && parent && h.Chance(60))
             if (Ref<IAPNode> p = Q<IAPNode>(parent->p)) CALL(doc->AddChild(p.get(), copy.get()));
         if (copy) h.Keep(copy.Detach(), "copy");
         return true;
     }},
    {"Clone", 0, 3, [](Host& h) {
         Entry* a = h.Any(kElement);
         if (!a) return false;
         Entry* b = h.Any(kElement);
         for (int i = 0; i < 20 && h.Chance(70) && b && !SameClass(a->p, b->p); ++i) b = h.Any(kElement);
         h.Step({a, b});
         Ref<IAPElement> from = Q<IAPElement>(a->p), to = Q<IAPElement>(b->p);
         CALL(from->Clone(to.get()));
         return true;
     }},
    {"Remove", 0, 6, [](Host& h) {
         const Removal& r = kRemovals[h.Pick(std::size(kRemovals))];
         Entry* e = h.Any(r.kind);
         if (!e) return false;
         h.Step(std::string(r.name) + " " + e->label);
         r.run(h, e->p);
         return true;
     }},
    {"Save", 0, 2, [](Host& h) { return SaveAndOpen(h, false); }},
    {"Reopen", 0, 2, [](Host& h) { return SaveAndOpen(h, true); }},
    {"ImportDocument", 0, 2, [](Host& h) {
         Doc* d = h.AnyDoc();
         Doc* other = h.AnyDoc();
         Entry* parent = h.Any(kNode);
         if (!d || !parent || other == d) return false;
         h.Step(d->label + " " + other->label + " " + parent->label);
         Ref<IAPNode> p = Q<IAPNode>(parent->p);
         CALL(d->p->ImportDocument(other->p, p.get()));
         return true;
     }},
    {"Read", 0, 6, [](Host& h) {
         Entry* e = h.Any(0);
         if (!e) return false;
         h.Step({e});
         IUnknown* p = e->p; // held while its reads add entries
         Read(h, p);
         return true;
     }},
    {"Release", 0, 3, [](Host& h) {
         if (h.pool.empty()) return false;
         const size_t at = h.Pick(h.pool.size());
         h.Step({h.pool[at].get()});
         h.Release(at);
         return true;
     }},
    {"EndDocument", 0, 2, [](Host& h) {
         if (h.docs.size() < 2) return false;
         const size_t at = h.Pick(h.docs.size());
         h.Step(h.docs[at].label);
         h.EndDocument(at);
         return true;
     }},
};

void Host::Phase(int phase, size_t steps, const Action* actions, size_t count)
{
    m_phase = phase;
    int total = 0;
    std::vector<int> weights(count);
    for (size_t i = 0; i < count; ++i) total += weights[i] = m_on[i] ? (phase == 1 ? actions[i].build : actions[i].play) : 0;
    for (size_t s = 0; s < steps && total > 0; ++s) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            int at = static_cast<int>(Pick(static_cast<size_t>(total)));
            size_t i = 0;
            while ((at -= weights[i]) >= 0) ++i;
            if (Act(actions[i])) break;
        }
    }
}

void Host::Sequence(const Action* actions, size_t count)
{
    // Phase 1: the documents' models, then links between their elements.
    const size_t documents = 1 + Pick(3);
    for (size_t d = 0; d < documents; ++d) {
        Doc& doc = NewDocument();
        m_action = "Build";
        Step(doc.label);
        Builder b(doc.p);
        BuildEveryKind(b);
        for (IUnknown* p : b.Take()) Keep(p, "built");
    }
    // Each sequence leaves about half the actions out, so that a failure that a frequent action
    // causes early does not hide the others.
    std::string taken;
    for (size_t i = 0; i < count; ++i) {
        m_on.push_back(Chance(50));
        if (m_on.back()) taken += std::string(taken.empty() ? "" : ",") + actions[i].name;
    }
    std::printf("ACTIONS %s\n", taken.c_str());
    const size_t links = std::size(kLinks);
    Phase(1, 3 + Pick(10), actions, links);
    // Phase 2: anything a host may do.
    Phase(2, 10 + Pick(40), actions, count);
    // Phase 3: every reference given back in a random order, documents' ends among them.
    m_phase = 3;
    while (size_t left = pool.size() + docs.size()) {
        size_t at = Pick(left);
        if (at < pool.size()) {
            m_action = "Release";
            Step({pool[at].get()});
            Release(at);
        } else {
            m_action = "EndDocument";
            Step(docs[at - pool.size()].label);
            EndDocument(at - pool.size());
        }
        if (!pool.empty() && Chance(30)) {
            Entry* e = pool[Pick(pool.size())].get();
            m_action = "Read";
            Step({e});
            Read(*this, e->p);
        }
    }
    // Last the host's registrations, whose two ends it held so far.
    m_action = "RemoveDependent";
    while (!watchers.empty()) {
        Step(watchers.back().label);
        Unwatch(watchers.size() - 1);
    }
}

// "module+offset" of a code address (for addr2line), or "" outside every module.
std::string Where(const void* at)
{
    MEMORY_BASIC_INFORMATION info{};
    char name[MAX_PATH] = {}, text[MAX_PATH + 40];
    if (!VirtualQuery(at, &info, sizeof info) || info.Type != MEM_IMAGE) return "";
    const auto* module = static_cast<const char*>(info.AllocationBase);
    if (!GetModuleFileNameA(static_cast<HMODULE>(info.AllocationBase), name, MAX_PATH)) return "";
    const char* file = std::strrchr(name, '\\');
    std::snprintf(text, sizeof text, "%s+0x%llx", file ? file + 1 : name, static_cast<unsigned long long>(static_cast<const char*>(at) - module));
    return text;
}

// The exception and where it happened. Outside the library (a call into freed memory, or a fault
// in a runtime function such as memcpy) the nearest library address on the stack names the caller.
LONG WINAPI Crashed(EXCEPTION_POINTERS* info)
{
#ifdef _WIN64
    void* const* top = reinterpret_cast<void* const*>(info->ContextRecord->Rsp);
#else
    void* const* top = reinterpret_cast<void* const*>(info->ContextRecord->Esp);
#endif
    const void* at = info->ExceptionRecord->ExceptionAddress;
    std::string where = Where(at);
    if (where.rfind("Plenvort.dll", 0) != 0) {
        char bare[32];
        std::snprintf(bare, sizeof bare, "%p", at);
        std::string caller;
        MEMORY_BASIC_INFORMATION stack{};
        if (VirtualQuery(top, &stack, sizeof stack)) {
            void* const* end = reinterpret_cast<void* const*>(static_cast<char*>(stack.BaseAddress) + stack.RegionSize);
            for (void* const* p = top; p < end && p < top + 512 && caller.rfind("Plenvort.dll", 0) != 0; ++p) caller = Where(*p);
        }
        if (caller.rfind("Plenvort.dll", 0) != 0) caller = "?";
        where = (where.empty() ? std::string(bare) : where) + " called from " + caller;
    }
    std::printf("\nCRASH %08lx at %s\n", static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), where.c_str());
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(Crashed);
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode != "run" && mode != "replay") {
        std::printf("usage: lifetime_fuzz run|replay <seed> <index>\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || !LoadServer()) return 2;
    // Links and the other actions in one table: phase 1 weighs only the links.
    std::vector<Action> actions(std::begin(kLinks), std::end(kLinks));
    actions.insert(actions.end(), std::begin(kPlay), std::end(kPlay));
    {
        Host host(std::strtoul(argv[2], nullptr, 10), std::strtoul(argv[3], nullptr, 10), mode == "replay");
        host.Sequence(actions.data(), actions.size());
    }
    std::printf(g_canUnload() == S_OK ? "END ok\n" : "END leak\n");
    std::fflush(stdout);
    CoUninitialize();
    return 0;
}
