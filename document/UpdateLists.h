#pragma once
// What a validation records about the references into a node that is to be replaced, and the
// name search that finds the referenced elements again in the newer tree.
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Plenvort_h.h"
#include "document/ComRef.h"

// A referenced feature as it can be found again: its name and its part path.
struct APRecordedFeature {
    std::string name;
    std::string partPath;
};

// A feature pair's, or a custom operation's, reference into the replaced node.
struct APPairRecord {
    enum Kind { Pair, Custom };
    Kind kind = Pair;
    ComRef<IAPOperation> operation; // the pair's operation, or the custom operation

    // Pair records.
    ComRef<IAPFeaturePair> pair;
    int pairIndex = -1; // the pair's place in its operation's pair list
    std::vector<APRecordedFeature> objects;
    std::vector<APRecordedFeature> targets;
    bool objectRecorded = false;
    bool targetRecorded = false;

    // Custom-operation records.
    std::string elementName;
    std::string featurePath; // empty unless the element is a feature
    std::string label;
    bool isFeature = false;
};

// An assembly operation's element inside the replaced node.
struct APAssemblyOpRecord {
    std::string name;
    std::string parentName;
    ComRef<IAPOperation> operation;
};

class APUpdateLists {
public:
    std::vector<APPairRecord> pairRecords;         // pair and custom-operation records, in order
    std::vector<APAssemblyOpRecord> assemblyRecords;
    ComRef<IAPPointerList> recorded;               // pairs and custom-operation elements with a record

    // The records are let go only once they are out of the lists: a release may end an
    // operation, and nothing it sets off should meet a half-emptied list.
    void FreePairRecords()
    {
        auto gone = std::move(pairRecords);
        pairRecords.clear();
        ComRef<IAPPointerList> list = std::move(recorded);
    }
    void FreeAssemblyRecords()
    {
        auto gone = std::move(assemblyRecords);
        assemblyRecords.clear();
    }
};

// A new empty pointer list.
HRESULT NewPointerList(ComRef<IAPPointerList>* list);
// The document's first top-level node.
HRESULT FirstRootOf(IAPDocument* doc, ComRef<IAPNode>* root);
// The node's children, in order, each with a reference.
HRESULT ChildrenOf(IAPNode* parent, std::vector<ComRef<IAPNode>>* children);
// Is `feature` among the pair's object (or target) features?
bool PairHolds(IAPFeaturePair* pair, IUnknown* feature, bool object);

// The nodes of a forest in search order: within each tree a node's subtree comes before the
// node itself, and the trees follow one another. A node reached twice counts once.
class APNameSearch {
public:
    enum Match {
        AnyByName,           // every node, on its name
        FeatureByPartPath,   // features only, on name and part path
        CustomElement,       // name; a feature must also have the given feature path
    };

    // `doc` is the document that holds the nodes now; their paths are read through it.
    void Build(IAPDocument* doc, const std::vector<IAPNode*>& tops);
    // The first node that matches, or null; the search holds the reference.
    IAPElement* Find(const std::string& name, const std::string& path, Match how);

private:
    struct Candidate {
        ComRef<IAPNode> node;
        ComRef<IAPElement> element;
        bool isFeature = false;
        std::optional<std::string> partPath;
        std::optional<std::string> featurePath;
    };
    bool ReadPath(HRESULT (*read)(IAPDocument*, IUnknown*, std::string&), const Candidate& c,
                  std::optional<std::string>* path) const;

    IAPDocument* m_doc = nullptr;
    std::vector<Candidate> m_candidates;
    std::unordered_map<std::string, std::vector<size_t>> m_byName; // in search order
};
