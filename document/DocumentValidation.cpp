// Validation before an update: which references lead from outside a node into its subtree,
// how each referenced element can be found again by name, and which of them the newer
// document cannot give back.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "document/CAPDocument.h"
#include "document/ComRef.h"
#include "document/Guarded.h"
#include "document/NodeNames.h"
#include "document/UpdateLists.h"
#include "model/APComQuery.h"

namespace {

constexpr UINT kValidationBoxFlags = MB_TASKMODAL | MB_ICONEXCLAMATION | MB_OK; // 0x2030

// Custom-operation labels hold at most 1024 characters.
constexpr size_t kLabelBuffer = 1025;

// The references into a subtree, grouped by referring element. Groups keep the order in
// which their referrers were first met, so the records come out the same on every run.
class ReferenceMap {
public:
    struct Referrer {
        ComRef<IAPElement> element;
        std::vector<ComRef<IAPElement>> referenced;
    };

    void Add(IAPElement* referrer, IAPElement* referenced)
    {
        auto [at, added] = m_index.emplace(Identity(referrer), m_referrers.size());
        if (added) m_referrers.push_back(Referrer{ComRef<IAPElement>::Hold(referrer), {}});
        m_referrers[at->second].referenced.push_back(ComRef<IAPElement>::Hold(referenced));
    }
    template <class Pred>
    void DropReferrersIf(Pred&& drop)
    {
        std::vector<Referrer> kept;
        for (auto& r : m_referrers)
            if (!drop(r.element.Get())) kept.push_back(std::move(r));
        m_referrers = std::move(kept);
        m_index.clear();
    }
    std::vector<Referrer>& Referrers() { return m_referrers; }

private:
    std::vector<Referrer> m_referrers;
    std::unordered_map<IUnknown*, size_t> m_index;
};

bool IsReferrer(IUnknown* dependent)
{
    return Answers(dependent, IID_IAPFeaturePair) || Answers(dependent, IID_IAPCustomOperation) ||
           Answers(dependent, IID_IAPAssemblyOperation) || Answers(dependent, IID_IAPClassicAssemblyOperation) ||
           Answers(dependent, IID_IAPKinematicAssemblyOperation);
}

bool IsAssemblyOperation(IUnknown* element)
{
    return Answers(element, IID_IAPClassicAssemblyOperation) || Answers(element, IID_IAPAssemblyOperation3) ||
           Answers(element, IID_IAPKinematicAssemblyOperation);
}

// The operation a reference belongs to: a pair's operation, or the referrer itself.
ComRef<IAPOperation> OperationOf(IAPElement* referrer)
{
    if (auto pair = QueryRef<IAPFeaturePair>(referrer, IID_IAPFeaturePair)) {
        ComRef<IAPOperation> op;
        if (FAILED(pair->GetOperation(op.Out()))) op.Reset();
        return op;
    }
    return QueryRef<IAPOperation>(referrer, IID_IAPOperation);
}

// Every element of the subtree once, node first, children in order; each dependent that
// refers to it is noted. References from operations that live in the same assembly move
// with it and are left out.
HRESULT CollectReferences(IAPNode* top, ReferenceMap* map)
{
    const bool assembly = Answers(top, IID_IAPAssemblyNode);
    std::unordered_set<IUnknown*> operations;
    std::unordered_set<IUnknown*> seen{Identity(top)};
    std::vector<ComRef<IAPNode>> stack;
    stack.push_back(ComRef<IAPNode>::Hold(top));
    while (!stack.empty()) {
        ComRef<IAPNode> node = std::move(stack.back());
        stack.pop_back();
        auto element = QueryRef<IAPElement>(node.Get(), IID_IAPElement);
        int dependents = 0;
        if (!element || FAILED(element->GetNumDependents(&dependents))) return E_FAIL;
        for (int i = 0; i < dependents; ++i) {
            ComRef<IAPElement> dependent;
            // A dependent that is no element refers to nothing a record could restore.
            if (FAILED(element->GetDependent(i, dependent.Out())) || !dependent) continue;
            if (IsReferrer(dependent.Get())) map->Add(dependent.Get(), element.Get());
        }
        if (assembly && Answers(node.Get(), IID_IAPOperation)) operations.insert(Identity(node.Get()));
        std::vector<ComRef<IAPNode>> children;
        if (FAILED(ChildrenOf(node.Get(), &children))) return E_FAIL;
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            if (seen.insert(Identity(child->Get())).second) stack.push_back(std::move(*child));
    }
    if (assembly) {
        map->DropReferrersIf([&](IAPElement* referrer) {
            ComRef<IAPOperation> op = OperationOf(referrer);
            return op && operations.count(Identity(op.Get())) > 0;
        });
    }
    return S_OK;
}

int IndexOfPair(IAPOperation* op, IAPFeaturePair* pair)
{
    int count = 0;
    if (!op || FAILED(op->GetNumFeaturePairs(&count))) return -1;
    IUnknown* id = Identity(pair);
    for (int i = 0; i < count; ++i) {
        ComRef<IAPFeaturePair> held;
        if (SUCCEEDED(op->GetFeaturePair(i, held.Out())) && held && Identity(held.Get()) == id) return i;
    }
    return -1;
}

// Turns the references into records and checks each against the newer document.
class Validator {
public:
    Validator(IAPDocument* self, IAPPointerList* recorded, IAPDocument* newer, IAPPointerList* affectedElems,
              IAPPointerList* affectedOps)
        : m_self(self), m_recorded(ComRef<IAPPointerList>::Hold(recorded)), m_newer(newer),
          m_affectedElems(affectedElems), m_affectedOps(affectedOps)
    {
    }

    // The records join the document's lists only at the end: a client's list called on the
    // way may call back into the document, and must not find them half made.
    void CommitTo(APUpdateLists& lists)
    {
        for (auto& r : m_records) lists.pairRecords.push_back(std::move(r));
        for (auto& r : m_assemblyRecords) lists.assemblyRecords.push_back(std::move(r));
        m_records.clear();
        m_assemblyRecords.clear();
    }

    HRESULT Entry(IAPElement* referrer, IAPElement* referenced)
    {
        if (auto custom = QueryRef<IAPCustomOperation>(referrer, IID_IAPCustomOperation))
            return CustomEntry(custom.Get(), referenced);
        if (auto pair = QueryRef<IAPFeaturePair>(referrer, IID_IAPFeaturePair)) return PairEntry(pair.Get(), referenced);
        if (IsAssemblyOperation(referrer)) return AssemblyEntry(referrer, referenced);
        return S_OK;
    }

private:
    // A path of an element of this document; one that cannot be read is empty.
    std::string PathHere(HRESULT (*read)(IAPDocument*, IUnknown*, std::string&), IUnknown* element)
    {
        std::string path;
        if (FAILED(read(m_self, element, path))) path.clear();
        return path;
    }

    // The newer tree, gathered when the first record is to be checked.
    HRESULT Search(APNameSearch** search)
    {
        if (!m_searchBuilt) {
            ComRef<IAPNode> root;
            std::vector<ComRef<IAPNode>> children;
            if (FAILED(FirstRootOf(m_newer, &root)) || FAILED(ChildrenOf(root.Get(), &children))) return E_FAIL;
            std::vector<IAPNode*> tops;
            for (auto& c : children) tops.push_back(c.Get());
            m_search.Build(m_newer, tops);
            m_searchBuilt = true;
        }
        *search = &m_search;
        return S_OK;
    }

    HRESULT Found(const std::string& name, const std::string& path, APNameSearch::Match how, bool* found)
    {
        APNameSearch* search = nullptr;
        if (FAILED(Search(&search))) return E_FAIL;
        *found = search->Find(name, path, how) != nullptr;
        return S_OK;
    }

    // A reference the newer document cannot give back.
    HRESULT Report(IAPElement* referenced, IAPOperation* op)
    {
        if (FAILED(m_affectedElems->AppendElement(referenced))) return E_FAIL;
        if (op && FAILED(m_affectedOps->AppendElement(op))) return E_FAIL;
        return S_OK;
    }

    HRESULT Check(const std::string& name, const std::string& path, APNameSearch::Match how, IAPElement* referenced,
                  IAPOperation* op)
    {
        bool found = false;
        if (FAILED(Found(name, path, how, &found))) return E_FAIL;
        return found ? S_OK : Report(referenced, op);
    }

    HRESULT CustomEntry(IAPCustomOperation* custom, IAPElement* referenced)
    {
        std::string name;
        node_names::ElementName(referenced, name);
        const std::string path = PathHere(node_names::FeaturePath, referenced);
        auto op = QueryRef<IAPOperation>(custom, IID_IAPOperation);
        int count = 0;
        if (FAILED(custom->GetNumElements(&count))) return S_OK;
        bool found = true;
        for (int i = 0; i < count; ++i) {
            std::vector<unsigned char> label(kLabelBuffer, 0);
            ComRef<IAPElement> element;
            if (FAILED(custom->GetElement(i, label.data(), element.Out())) || !element) continue;
            label.back() = 0;
            std::string elementName;
            if (FAILED(node_names::ElementName(element.Get(), elementName)) || elementName != name) continue;
            if (PathHere(node_names::FeaturePath, element.Get()) != path) continue;

            APPairRecord record;
            record.kind = APPairRecord::Custom;
            record.operation = ComRef<IAPOperation>::Hold(op.Get());
            record.elementName = elementName;
            record.isFeature = Answers(element.Get(), IID_IAPFeature);
            if (record.isFeature) record.featurePath = path;
            record.label = reinterpret_cast<const char*>(label.data());
            if (FAILED(m_recorded->AppendElement(element.Get()))) return E_FAIL;
            const std::string recordedPath = record.featurePath;
            m_records.push_back(std::move(record));
            bool here = false;
            if (FAILED(Found(elementName, recordedPath, APNameSearch::CustomElement, &here))) return E_FAIL;
            found = found && here;
        }
        return found ? S_OK : Report(referenced, op.Get());
    }

    HRESULT PairEntry(IAPFeaturePair* pair, IAPElement* referenced)
    {
        auto [at, added] = m_pairRecords.emplace(Identity(pair), m_records.size());
        if (added) {
            if (FAILED(m_recorded->AppendElement(pair))) {
                m_pairRecords.erase(at);
                return E_FAIL;
            }
            APPairRecord record;
            record.kind = APPairRecord::Pair;
            if (FAILED(pair->GetOperation(record.operation.Out()))) record.operation.Reset();
            record.pair = ComRef<IAPFeaturePair>::Hold(pair);
            record.pairIndex = IndexOfPair(record.operation.Get(), pair);
            m_records.push_back(std::move(record));
        }
        APPairRecord& record = m_records[at->second];
        auto feature = QueryRef<IAPFeature>(referenced, IID_IAPFeature);
        if (!feature) return S_OK;
        std::vector<APRecordedFeature>* names = nullptr;
        if (PairHolds(pair, feature.Get(), true)) {
            names = &record.objects;
            record.objectRecorded = true;
        } else if (PairHolds(pair, feature.Get(), false)) {
            names = &record.targets;
            record.targetRecorded = true;
        } else {
            return S_OK;
        }
        APRecordedFeature recorded;
        node_names::ElementName(referenced, recorded.name);
        recorded.partPath = PathHere(node_names::PartPath, referenced);
        names->push_back(recorded);
        return Check(recorded.name, recorded.partPath, APNameSearch::FeatureByPartPath, referenced,
                     record.operation.Get());
    }

    HRESULT AssemblyEntry(IAPElement* referrer, IAPElement* referenced)
    {
        APAssemblyOpRecord record;
        node_names::ElementName(referenced, record.name);
        if (auto node = QueryRef<IAPNode>(referenced, IID_IAPNode)) {
            ComRef<IAPNode> parent;
            if (SUCCEEDED(node->GetParent(0, parent.Out())) && parent) node_names::ElementName(parent.Get(), record.parentName);
        }
        record.operation = QueryRef<IAPOperation>(referrer, IID_IAPOperation);
        const std::string name = record.name;
        ComRef<IAPOperation> op = ComRef<IAPOperation>::Hold(record.operation.Get());
        m_assemblyRecords.push_back(std::move(record));
        return Check(name, std::string(), APNameSearch::AnyByName, referenced, op.Get());
    }

    IAPDocument* m_self; // the document whose node is validated
    ComRef<IAPPointerList> m_recorded;
    std::vector<APPairRecord> m_records;
    std::vector<APAssemblyOpRecord> m_assemblyRecords;
    IAPDocument* m_newer;
    IAPPointerList* m_affectedElems;
    IAPPointerList* m_affectedOps;
    APNameSearch m_search;
    bool m_searchBuilt = false;
    std::unordered_map<IUnknown*, size_t> m_pairRecords; // pair -> its record made by this validation
};

} // namespace

HRESULT STDMETHODCALLTYPE CAPDocument::ValidateUpdateDocument(IAPDocument* doc, IAPNode* parentNode,
                                                              IAPPointerList* affectedElems, IAPPointerList* affectedOps)
{
    return Guarded([&]() -> HRESULT {
        if (!doc || !parentNode || !affectedElems || !affectedOps) return E_FAIL;
        if (!Answers(parentNode, IID_IAPElement)) return E_FAIL;
        ComRef<IAPPointerList> recorded;
        UpdateLists().recorded.Reset();
        if (FAILED(NewPointerList(&recorded))) return E_FAIL;
        UpdateLists().recorded = ComRef<IAPPointerList>::Hold(recorded.Get());

        ReferenceMap map;
        auto node = QueryRef<IAPNode>(parentNode, IID_IAPNode);
        if (!node || FAILED(CollectReferences(node.Get(), &map))) {
            ShowMessageBox("Validation failure", "Warning", kValidationBoxFlags);
            return S_OK;
        }
        Validator validator(this, recorded.Get(), doc, affectedElems, affectedOps);
        HRESULT hr = S_OK;
        for (auto& referrer : map.Referrers()) {
            for (auto& referenced : referrer.referenced)
                if (FAILED(hr = validator.Entry(referrer.element.Get(), referenced.Get()))) break;
            if (FAILED(hr)) break;
        }
        validator.CommitTo(UpdateLists());
        return FAILED(hr) ? E_FAIL : S_OK;
    });
}
