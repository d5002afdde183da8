#pragma once
// The process document: the hidden root node and the tree operations on it, element
// creation, the event fan-out to client sinks, units, and the compound file behind open,
// save and export.
#include <string>
#include <unordered_set>
#include <vector>

#include "Plenvort_h.h"
#include "com/RegistryIds.h"
#include "model/APArray.h"
#include "platform/atl/atlbase.h"
#include "platform/mfc/afx.h"

class APCopyMap;
class TolLibDefaultWatch;
class APUpdateLists;
template <class T>
class ComRef;
class ElementStreamSession;

class CAPDocument : public CComObjectRootEx<CComSingleThreadModel>,
                    public IAPDocument6,
                    public IAPDocEventSink,
                    public CComCoClass<CAPDocument, &CLSID_APDocument> {
public:
    DECLARE_REGISTRY_RESOURCEID(IDR_APDOCUMENT)

    BEGIN_COM_MAP(CAPDocument)
    COM_INTERFACE_ENTRY_IID(IID_IAPDocument, IAPDocument6)
    COM_INTERFACE_ENTRY_IID(IID_IAPDocument2, IAPDocument6)
    COM_INTERFACE_ENTRY_IID(IID_IAPDocument3, IAPDocument6)
    COM_INTERFACE_ENTRY_IID(IID_IAPDocument4, IAPDocument6)
    COM_INTERFACE_ENTRY_IID(IID_IAPDocument5, IAPDocument6)
    COM_INTERFACE_ENTRY_IID(IID_IAPDocument6, IAPDocument6)
    COM_INTERFACE_ENTRY_IID(IID_IAPDocEventSink, IAPDocEventSink)
    END_COM_MAP()

    CAPDocument();
    virtual ~CAPDocument();
    CAPDocument(const CAPDocument&) = delete;
    CAPDocument& operator=(const CAPDocument&) = delete;

    // Releases the tree, the storages, the moniker, the export element, the sinks still
    // registered and the solid utility.
    void FinalRelease();

    // IAPDocument: tree
    HRESULT STDMETHODCALLTYPE GetRoots(IAPPointerList* list) override;
    HRESULT STDMETHODCALLTYPE GetNumChildren(IAPNode* parent, int* n) override;
    HRESULT STDMETHODCALLTYPE GetChild(IAPNode* parent, int index, IAPNode** child) override;
    HRESULT STDMETHODCALLTYPE GetNumParents(IAPNode* child, int* n) override;
    HRESULT STDMETHODCALLTYPE GetParent(IAPNode* child, int index, IAPNode** parent) override;
    HRESULT STDMETHODCALLTYPE AddChild(IAPNode* parent, IAPNode* child) override;
    HRESULT STDMETHODCALLTYPE InsertChild(IAPNode* parent, IAPNode* child, int insertAfter) override;
    HRESULT STDMETHODCALLTYPE RemoveChild(IAPNode* parent, IAPNode* child) override;
    HRESULT STDMETHODCALLTYPE CopyNode(IAPNode* source, IAPNode** target, long copyChildren) override;

    // IAPDocument: text attributes and files
    HRESULT STDMETHODCALLTYPE SetProcessName(unsigned char* name) override;
    HRESULT STDMETHODCALLTYPE GetProcessName(unsigned char* name) override;
    HRESULT STDMETHODCALLTYPE SetProcessDescription(unsigned char* desc) override;
    HRESULT STDMETHODCALLTYPE GetProcessDescription(unsigned char* desc) override;
    HRESULT STDMETHODCALLTYPE SetAssemblyDirectory(unsigned char* dir) override;
    HRESULT STDMETHODCALLTYPE GetAssemblyDirectory(unsigned char* dir) override;
    HRESULT STDMETHODCALLTYPE Save(unsigned char* filename) override;
    HRESULT STDMETHODCALLTYPE OpenDocument(unsigned char* filename) override;
    HRESULT STDMETHODCALLTYPE GetProcessNameSize(int* size) override;
    HRESULT STDMETHODCALLTYPE GetProcessDescriptionSize(int* size) override;
    HRESULT STDMETHODCALLTYPE GetAssemblyDirectorySize(int* size) override;

    // IAPDocument: names
    HRESULT STDMETHODCALLTYPE LookupNodeByName(unsigned char* name, IAPNode* start, IAPNode** node) override;
    HRESULT STDMETHODCALLTYPE LookupNameForNode(IAPNode* node, unsigned char* name) override;
    HRESULT STDMETHODCALLTYPE GetCompoundNameForNode(IAPNode* node, unsigned char* name) override;
    HRESULT STDMETHODCALLTYPE GetNodeWithCompoundName(unsigned char* name, IAPNode** node) override;
    HRESULT STDMETHODCALLTYPE GetCompoundNameForNode2(IAPNode* node, unsigned char** name) override;

    // IAPDocument: events, creation, deletion
    HRESULT STDMETHODCALLTYPE RegisterEventSink(IAPDocEventSink* sink) override;
    HRESULT STDMETHODCALLTYPE UnregisterEventSink(IAPDocEventSink* sink) override;
    HRESULT STDMETHODCALLTYPE CreateProcessElement(GUID* clsid, GUID* iid, ULONG_PTR* out) override;
    HRESULT STDMETHODCALLTYPE DeleteNodeFromProcess(IAPNode* node) override;

    // IAPDocument: defaults, copying, import
    HRESULT STDMETHODCALLTYPE SetFeatureAsDefault(IAPFeature* feature) override;
    HRESULT STDMETHODCALLTYPE GetDefaults(IAPPointerList* list) override;
    HRESULT STDMETHODCALLTYPE RecordElement(IAPElement* oldElement, IAPElement* newElement) override;
    HRESULT STDMETHODCALLTYPE GetPossibleReferenceElement(IAPElement* dependent, GUID* refIid, IAPElement* oldRef,
                                                          ULONG_PTR* newRef) override;
    HRESULT STDMETHODCALLTYPE ImportDocument(IAPDocument* other, IAPNode* parentNode) override;

    // IAPDocument2
    HRESULT STDMETHODCALLTYPE UpdateDocument(IAPDocument* doc, IAPNode* parentNode, IAPPointerList* inactiveOps) override;
    HRESULT STDMETHODCALLTYPE ValidateUpdateDocument(IAPDocument* doc, IAPNode* parentNode, IAPPointerList* affectedElems,
                                                     IAPPointerList* affectedOps) override;
    HRESULT STDMETHODCALLTYPE CleanUpUpdateDoc() override;
    HRESULT STDMETHODCALLTYPE ExportDocument(unsigned char* filename, IAPNode* node) override;
    HRESULT STDMETHODCALLTYPE GetExportInfo(int* flag, IAPElement** element) override;
    HRESULT STDMETHODCALLTYPE GetCompoundNameForNode3(IAPNode* node, unsigned char* name) override;
    HRESULT STDMETHODCALLTYPE SetTolLibDefaultFeature(IAPFeature* feature) override;
    HRESULT STDMETHODCALLTYPE GetTolLibDefaultFeatures(IAPPointerList* list) override;
    HRESULT STDMETHODCALLTYPE SetTolLibFeatureAsDefault(IAPFeature* feature) override;

    // IAPDocument3
    HRESULT STDMETHODCALLTYPE SaveByMoniker(IORVDataMoniker* moniker) override;
    HRESULT STDMETHODCALLTYPE OpenDocumentByMoniker(IORVDataMoniker* moniker) override;
    HRESULT STDMETHODCALLTYPE ExportDocumentByMoniker(IORVDataMoniker* moniker, IAPNode* node) override;

    // IAPDocument4
    HRESULT STDMETHODCALLTYPE SetHbUtility(IUnknown* utility) override;
    HRESULT STDMETHODCALLTYPE GetHbUtility(IUnknown** utility) override;
    HRESULT STDMETHODCALLTYPE LookupNodeByName2(unsigned char* name, IAPNode* start, IAPNode** node) override;

    // IAPDocument5
    HRESULT STDMETHODCALLTYPE SetDocUnits(APDocUnits units) override;
    HRESULT STDMETHODCALLTYPE GetDocUnits(APDocUnits* units) override;
    HRESULT STDMETHODCALLTYPE GetPdoFilePath(unsigned char* path) override;
    HRESULT STDMETHODCALLTYPE GetPdoFileName(unsigned char* name) override;
    HRESULT STDMETHODCALLTYPE GetTolLibPathWithoutFile(unsigned char* path, int length) override;
    HRESULT STDMETHODCALLTYPE GetTolLibFileWithPath(unsigned char* path, int length) override;

    // IAPDocument6
    HRESULT STDMETHODCALLTYPE GetPdoDataMoniker(IORVDataMoniker** moniker) override;

    // IAPDocEventSink: the fan-out to the registered sinks.
    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement* element, unsigned long length,
                                     unsigned char* message) override;

    // The document's message boxes (an open by moniker whose local copy cannot be fetched, a
    // validation that cannot collect its references); tests put a recorder in their place.
    // Null restores the system's message box.
    using MessageBoxHook = int (*)(const char* text, const char* caption, UINT flags);
    static void SetMessageBoxForTesting(MessageBoxHook hook);
    static int ShowMessageBox(const char* text, const char* caption, UINT flags);

    // The element stream (written and read through the storage's "Element Stream").
    HRESULT WriteElementStream(IStorage* storage);
    HRESULT WriteElementStreamForExport(IStorage* storage, IAPNode* node);
    // Reads the records into a new tree; on success *root holds the first record's node with
    // a reference and the tree is linked; on failure nothing read is left alive. With
    // `copyTo`, the stream is copied there whole as it is read, and a failed copy fails the read.
    HRESULT ReadElementStream(IStorage* storage, IAPNode** root, IStorage* copyTo = nullptr);

protected:
    IAPDocEventSink* Sink() { return static_cast<IAPDocEventSink*>(this); }
    HRESULT EnsureRoot();
    bool IsRoot(IAPNode* node) const;

    HRESULT UnlinkFromRootIfTopLevel(IAPNode* child);
    HRESULT LinkChild(IAPNode* parent, IAPNode* child, bool append, int insertAfter);
    HRESULT DeleteNode(IAPNode* node);
    HRESULT BindSubtree(IAPNode* node, IAPDocEventSink* sink);
    // Moves `child` from its first parent in `other` under `parent` here (appended, or after
    // position insertAfter), bound to this document; on failure it goes back where it was.
    HRESULT AdoptNode(IAPDocument* other, IAPNode* child, IAPNode* parent, bool append, int insertAfter);

    // The update lists that a validation leaves for the update; both methods use them up.
    APUpdateLists& UpdateLists();
    void FreeUpdateLists();

    // Names and lookup. The children of the hidden root, in order, each with a reference.
    HRESULT TopLevelNodes(std::vector<ComRef<IAPNode>>& nodes);
    HRESULT FindTopLevelByName(const std::string& name, IAPNode** node);
    // Shallow search: the start node's children, their names trimmed of trailing blanks.
    HRESULT FindNodeByName(const std::string& name, IAPNode* start, IAPNode** node);
    // Deep search: the start node's subtree, pre-order, names as stored.
    HRESULT FindNodeByName2(const std::string& name, IAPNode* start, IAPNode** node);
    HRESULT CompoundNameInto(IAPNode* node, const char* separator, unsigned char* out);
    HRESULT TolLibPath(std::string& path);

    // Copying. The copy of `source` (and its subtree) into `copy`; a partial copy is left for
    // the caller to delete.
    HRESULT CopyTree(IAPNode* source, ComRef<IAPNode>& copy, long copyChildren);
    void EndCopyMap();
    HRESULT MakeDefaultCopy(IAPFeature* feature, ComRef<IAPNode>& copy);

    // Tolerance-library defaults: one watch per default feature, dropped with the feature.
    friend class TolLibDefaultWatch;
    void Unwatch(TolLibDefaultWatch* watch);
    void DropTolLibDefault(TolLibDefaultWatch* watch);
    void ForgetTolLibDefaults();

    // Element stream pieces.
    HRESULT WriteRecord(ElementStreamSession& session, IAPElement* element);
    // The identities of the records written so far.
    using WrittenSet = std::unordered_set<IUnknown*>;
    HRESULT WriteElementTree(ElementStreamSession& session, IAPElement* top, WrittenSet& written);
    HRESULT FixupLoadedTree(IAPNode* root);
    static void UnlinkAll(const std::vector<IAPElement*>& elements);

    // Compound file pieces.
    HRESULT EnsureWorkingStorage();
    HRESULT SetTextStream(const wchar_t* streamName, const unsigned char* text);
    HRESULT GetTextStream(const wchar_t* streamName, unsigned char* buffer, int* size);
    HRESULT WriteVersion(IStorage* storage);
    // Writes the working storage (version and element stream, in save or export form) to a
    // temporary file beside `path` and puts it in place of `path` only when all went well.
    HRESULT WriteFile(const std::string& path, IAPNode* exportNode);
    HRESULT OpenFile(const std::string& path);
    HRESULT OpenEmpty();
    HRESULT Export(const std::string& path, IAPNode* node);
    HRESULT ReplaceDocumentStorage(IStorage* storage);
    std::string MonikerSavePath(IORVDataMoniker* moniker);
    void SetDocumentPath(const char* path);

    IAPElement* m_exportElement = nullptr; // counted; the node being exported
    int m_exportFlag = 0;                  // 1 while an export writes the root and its first child
    IStorage* m_workStorage = nullptr;     // counted; collects the next save
    IStorage* m_docStorage = nullptr;      // counted; the current document
    APArray<IAPDocEventSink*> m_sinks;     // one reference each, in registration order
    CString m_filePath;
    char m_documentPath[1024] = {};
    IORVDataMoniker* m_moniker = nullptr;  // counted
    IAPNode* m_root = nullptr;             // counted; never shown to clients
    APCopyMap* m_copyMap = nullptr;        // owned, only while a copy runs
    int m_copyDepth = 0;
    IUnknown* m_hbUtility = nullptr;       // the reference the setter took over
    std::vector<TolLibDefaultWatch*> m_tolLibWatches; // one reference each
    APUpdateLists* m_updateLists = nullptr; // owned; made by the first validation
};
