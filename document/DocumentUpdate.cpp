// The update: a node of the process gives way to the top-level nodes of a newer document, and
// the references a validation recorded are tied to the elements found there again.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "document/CAPDocument.h"
#include "document/ComRef.h"
#include "document/Guarded.h"
#include "document/UpdateLists.h"
#include "model/APComQuery.h"

namespace {

// Does the operation measure along the pair's object features (measurement modes 3 to 5),
// so that a pair needs no target feature of its own?
bool MeasuresWithoutTarget(IAPOperation* op)
{
    auto measurement = QueryRef<IAPMeasurementOperation>(op, IID_IAPMeasurementOperation);
    int mode = 0;
    if (!measurement || measurement->GetMeasurementMode(&mode) != S_OK) return false;
    return mode >= 3 && mode <= 5;
}

// The references of one pair record, tied again; false when the pair cannot stay.
bool RelinkPair(APPairRecord& record, APNameSearch& search)
{
    IAPFeaturePair* pair = record.pair.Get();
    const bool measures = MeasuresWithoutTarget(record.operation.Get());
    auto featureFor = [&](const APRecordedFeature& f) {
        return QueryRef<IAPFeature>(search.Find(f.name, f.partPath, APNameSearch::FeatureByPartPath), IID_IAPFeature);
    };
    for (const APRecordedFeature& f : record.objects) {
        auto feature = featureFor(f);
        if (!feature) continue;
        if (!PairHolds(pair, feature.Get(), true)) pair->AppendObjectFeature(feature.Get());
        if (measures && !PairHolds(pair, feature.Get(), false)) pair->AppendTargetFeature(feature.Get());
    }
    for (const APRecordedFeature& f : record.targets) {
        auto feature = featureFor(f);
        if (feature && !PairHolds(pair, feature.Get(), false)) pair->AppendTargetFeature(feature.Get());
    }
    int objects = 0, targets = 0;
    if (FAILED(pair->GetNumObjectFeatures(&objects))) objects = 0;
    if (FAILED(pair->GetNumTargetFeatures(&targets))) targets = 0;
    return objects > 0 && (targets > 0 || measures);
}

bool RelinkCustomElement(const APPairRecord& record, APNameSearch& search)
{
    IAPElement* element = search.Find(record.elementName, record.featurePath, APNameSearch::CustomElement);
    auto custom = QueryRef<IAPCustomOperation5>(record.operation.Get(), IID_IAPCustomOperation5);
    if (!element || !custom) return false;
    std::vector<unsigned char> label(record.label.begin(), record.label.end());
    label.push_back(0);
    return custom->SetElementByLabel(label.data(), element) == S_OK;
}

// The element goes into the assembly operation's list through whichever family it has.
bool AppendToAssemblyOperation(IAPOperation* op, IAPElement* element, const std::string& name)
{
    if (auto classic = QueryRef<IAPClassicAssemblyOperation>(op, IID_IAPClassicAssemblyOperation))
        if (classic->AppendAssemblyOperationElement(element) == S_OK) return true;
    if (auto assembly = QueryRef<IAPAssemblyOperation3>(op, IID_IAPAssemblyOperation3))
        if (assembly->AppendAssemblyOperationElement(element) == S_OK) return true;
    if (auto kinematic = QueryRef<IAPKinematicAssemblyOperation>(op, IID_IAPKinematicAssemblyOperation)) {
        std::vector<unsigned char> text(name.begin(), name.end());
        text.push_back(0);
        if (kinematic->AppendKinematicAssemblyOperationElement(text.data(), element) == S_OK) return true;
    }
    return false;
}

} // namespace

APUpdateLists& CAPDocument::UpdateLists()
{
    if (!m_updateLists) m_updateLists = new APUpdateLists;
    return *m_updateLists;
}

void CAPDocument::FreeUpdateLists()
{
    // Out of the document first: the releases may end operations.
    APUpdateLists* gone = m_updateLists;
    m_updateLists = nullptr;
    delete gone;
}

HRESULT STDMETHODCALLTYPE CAPDocument::UpdateDocument(IAPDocument* doc, IAPNode* parentNode, IAPPointerList* inactiveOps)
{
    return Guarded([&]() -> HRESULT {
        if (!doc || !parentNode || !inactiveOps) return E_FAIL;
        // Replacing a node by nodes of its own document would tear the tree apart.
        if (SameObject(doc, static_cast<IAPDocument*>(this))) return E_FAIL;

        // The newer nodes are gathered before anything is deleted, so that a failure here
        // loses nothing.
        ComRef<IAPNode> newRoot;
        std::vector<ComRef<IAPNode>> moving;
        if (FAILED(FirstRootOf(doc, &newRoot)) || FAILED(ChildrenOf(newRoot.Get(), &moving))) return E_FAIL;
        ComRef<IAPNode> parent;
        int at = -1;
        if (FAILED(GetParent(parentNode, 0, parent.Out())) || !parent) return E_FAIL;
        if (FAILED(parent->FindChild(parentNode, &at)) || at < 0) return E_FAIL;
        if (!Answers(parentNode, IID_IAPElement)) return E_FAIL;

        if (FAILED(DeleteNodeFromProcess(parentNode))) return E_FAIL;
        // From the last to the first, each at the old node's place: they keep their order.
        for (auto child = moving.rbegin(); child != moving.rend(); ++child)
            if (FAILED(AdoptNode(doc, child->Get(), parent.Get(), false, at - 1))) return E_FAIL;

        std::vector<IAPNode*> tops;
        for (auto& node : moving) tops.push_back(node.Get());
        APNameSearch search;
        search.Build(this, tops);
        // The records leave the document before they are applied: the calls below notify
        // clients, who may call back into the document.
        std::vector<APPairRecord> pairRecords;
        std::vector<APAssemblyOpRecord> assemblyRecords;
        if (m_updateLists) {
            pairRecords.swap(m_updateLists->pairRecords);
            assemblyRecords.swap(m_updateLists->assemblyRecords);
        }
        bool listed = true;
        auto inactive = [&](IAPOperation* op) {
            if (op && FAILED(inactiveOps->AppendElement(op))) listed = false;
        };
        for (APPairRecord& record : pairRecords) {
            if (record.kind == APPairRecord::Pair) {
                if (!record.pair || RelinkPair(record, search)) continue;
                if (record.operation) record.operation->RemoveFeaturePair(record.pair.Get());
                inactive(record.operation.Get());
            } else if (!RelinkCustomElement(record, search)) {
                inactive(record.operation.Get());
            }
        }
        pairRecords.clear();
        if (m_updateLists) m_updateLists->recorded.Reset();
        // A validation run twice records each element twice: the operation takes it once.
        std::set<std::pair<IUnknown*, std::string>> applied;
        for (auto record = assemblyRecords.rbegin(); record != assemblyRecords.rend(); ++record) {
            if (!applied.emplace(Identity(record->operation.Get()), record->name).second) continue;
            IAPElement* element = search.Find(record->name, std::string(), APNameSearch::AnyByName);
            if (!element || !AppendToAssemblyOperation(record->operation.Get(), element, record->name))
                inactive(record->operation.Get());
        }
        assemblyRecords.clear();
        return listed ? S_OK : E_FAIL;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::CleanUpUpdateDoc()
{
    return Guarded([&]() -> HRESULT {
        if (m_updateLists) {
            m_updateLists->FreePairRecords();
            m_updateLists->FreeAssemblyRecords();
        }
        return S_OK;
    });
}
