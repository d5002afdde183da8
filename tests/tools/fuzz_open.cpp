// The child process of the fuzz harness, talking to the library through COM only.
//   fuzz_open seeds <folder>      writes the seed documents into the folder
//   fuzz_open open <list> <temp>  opens each file named in the list (one path a line); for
//                                 each one that opens, saves it into <temp>, opens that
//                                 again and compares the two trees
// For every file it prints "BEGIN <n>" before and "END <n> <outcome>" after, flushed, so
// that the harness can tell which file a crash or a hang belongs to. Outcomes: refused,
// same, differ, save-failed, reopen-failed, leak. After each file, with everything
// released, the library must be unloadable.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/tools/host_model.h"

namespace {

long g_current = -1;

// ---------------------------------------------------------------------------------------
// Seeds

// Nested assemblies, parts, fixtures, notes, a group with members, a node instance, every
// property kind and a node with two parents.
void BuildTree(Builder& b)
{
    IAPNode* body = b.Node(CLSID_APAssemblyNode, "Body in white", "the whole body");
    IAPNode* front = b.Node(CLSID_APAssemblyNode, "Front");
    IAPNode* rear = b.Node(CLSID_APAssemblyNode, "Rear");
    IAPNode* door = b.Node(CLSID_APPartNode, "Door", "hinged");
    IAPNode* hood = b.Node(CLSID_APPartNode, "Hood");
    IAPNode* shared = b.Node(CLSID_APPartNode, "Shared bracket", "under two parents");
    IAPNode* fixture = b.Node(CLSID_APFixtureNode, "Fixture");
    IAPNode* group = b.Node(CLSID_APGroup, "Checks");
    IAPNode* op1 = b.Node(CLSID_APMeasurementOperation, "Gap");
    IAPNode* op2 = b.Node(CLSID_APMeasurementOperation, "Flush");
    IAPNode* instance = b.Node(CLSID_APNodeInstance, "Door again");
    IAPNode* groupNode = b.Node(CLSID_APGroupNode, "Group node");
    IAPNode* lib = b.Node(CLSID_APTolLibNode, "Library");
    b.Link(body, front);
    b.Link(body, rear);
    b.Link(front, door);
    b.Link(front, hood);
    b.Link(front, shared);
    b.Link(rear, shared);
    b.Link(rear, fixture);
    // The operations live in the tree; the group only lists them (a group writes no children).
    b.Link(body, group);
    b.Link(rear, op1);
    b.Link(rear, op2);
    b.Link(rear, instance);
    b.Link(body, groupNode);
    if (IAPGroup* g = As<IAPGroup>(group, IID_IAPGroup)) {
        for (IAPNode* op : {op1, op2})
            if (IAPElement* e = As<IAPElement>(op, IID_IAPElement)) g->AppendGroupElement(e), e->Release();
        g->Release();
    }
    b.Properties(door, hood);
    b.Properties(shared, shared);
    b.Properties(fixture, nullptr);
    (void)lib;
}

void BuildChain(Builder& b, int depth)
{
    IAPNode* at = b.Node(CLSID_APAssemblyNode, "chain 0");
    for (int i = 1; i < depth; ++i) {
        const std::string name = "chain " + std::to_string(i);
        IAPNode* next = b.Node(i % 3 ? CLSID_APAssemblyNode : CLSID_APPartNode, name.c_str());
        if (!b.Link(at, next)) break;
        at = next;
    }
}

int WriteSeeds(const std::string& folder)
{
    struct Seed {
        const char* file;
        void (*build)(Builder&);
        bool texts;
    };
    const Seed seeds[] = {
        {"tree.pvd", [](Builder& b) { BuildTree(b); }, true},
        {"tree-no-texts.pvd", [](Builder& b) { BuildTree(b); }, false},
        {"chain.pvd", [](Builder& b) { BuildChain(b, 120); }, true},
        {"every-kind.pvd", [](Builder& b) { BuildEveryKind(b); }, true},
        {"empty.pvd", [](Builder&) {}, false},
    };
    int failed = 0;
    for (const Seed& s : seeds) {
        IAPDocument* doc = Make<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
        if (!doc) return 3;
        {
            Builder b(doc);
            s.build(b);
        }
        // A save needs one text at least; the others stay absent without `texts`.
        doc->SetProcessName(Text("Door line"));
        if (s.texts) {
            doc->SetProcessDescription(Text(std::string(600, 'd').c_str()));
            doc->SetAssemblyDirectory(Text("C:\\models"));
        }
        const std::string path = folder + "\\" + s.file;
        if (FAILED(doc->Save(Text(path.c_str())))) ++failed, std::printf("seed %s not saved\n", s.file);
        doc->Release();
    }
    return failed ? 4 : 0;
}

// ---------------------------------------------------------------------------------------
// Opening

// The document's description and assembly folder: each one's characters, or the failure
// reading it. (The name is set by the harness before saving.)
std::string Texts(IAPDocument* doc)
{
    using Size = HRESULT (STDMETHODCALLTYPE IAPDocument::*)(int*);
    using Get = HRESULT (STDMETHODCALLTYPE IAPDocument::*)(unsigned char*);
    const std::pair<Size, Get> texts[] = {{&IAPDocument::GetProcessDescriptionSize, &IAPDocument::GetProcessDescription},
                                          {&IAPDocument::GetAssemblyDirectorySize, &IAPDocument::GetAssemblyDirectory}};
    std::string out;
    for (const auto& [size, get] : texts) {
        int n = 0;
        if (FAILED((doc->*size)(&n)) || n < 0 || n >= (1 << 24)) {
            out += "none\n";
            continue;
        }
        std::vector<unsigned char> text(static_cast<size_t>(n) + 1, 0);
        out += FAILED((doc->*get)(text.data())) ? std::string("unreadable") : std::string(text.begin(), text.end() - 1);
        out += "\n";
    }
    return out;
}

// The document's tree as text: every node once, in depth-first order, with its class, name,
// description, note, property count and children (by their number in this order).
std::string Tree(IAPDocument* doc)
{
    IAPPointerList* list = Make<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    if (!list) return "no list";
    doc->GetRoots(list);
    int roots = 0;
    list->GetLength(&roots);
    std::vector<IAPNode*> order;
    std::map<IUnknown*, size_t> number;
    std::vector<IAPNode*> pending;
    auto reach = [&](IAPNode* n) {
        IUnknown* id = As<IUnknown>(n, IID_IUnknown);
        if (id) id->Release(); // the node holds it; only its address is kept
        if (number.count(id)) return number[id];
        number[id] = order.size();
        order.push_back(n);
        n->AddRef();
        pending.push_back(n);
        return order.size() - 1;
    };
    std::string out = Texts(doc) + "roots";
    for (int i = 0; i < roots; ++i) {
        GUID iid = IID_IAPNode;
        IAPNode* node = nullptr;
        if (SUCCEEDED(list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&node))) && node) {
            out += " " + std::to_string(reach(node));
            node->Release();
        }
    }
    list->Release();
    out += "\n";
    std::vector<std::string> lines;
    for (size_t at = 0; at < order.size(); ++at) {
        IAPNode* n = order[at];
        std::string line = std::to_string(at);
        if (IAPElement* e = As<IAPElement>(n, IID_IAPElement)) {
            GUID clsid{};
            e->GetClassID(&clsid);
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, " %08lx", static_cast<unsigned long>(clsid.Data1));
            line += buffer;
            int cost = 0, properties = 0;
            e->GetCost(&cost);
            e->GetNumProperties(&properties);
            line += " cost " + std::to_string(cost) + " props " + std::to_string(properties);
            e->Release();
        }
        line += " [" + Name(n, &IAPElement::GetName, &IAPElement::GetNameSize) + "]";
        line += " [" + Name(n, &IAPElement::GetDescription, &IAPElement::GetDescriptionSize) + "]";
        int noteSize = 0;
        if (SUCCEEDED(n->GetNoteSize(&noteSize)) && noteSize >= 0 && noteSize < (1 << 24)) {
            std::vector<unsigned char> note(static_cast<size_t>(noteSize) + 1);
            if (SUCCEEDED(n->GetNote(note.data()))) line += " note [" + std::string(reinterpret_cast<char*>(note.data())) + "]";
        }
        int children = 0;
        n->GetNumChildren(&children);
        line += " children";
        for (int i = 0; i < children; ++i) {
            IAPNode* c = nullptr;
            if (SUCCEEDED(n->GetChild(i, &c)) && c) {
                line += " " + std::to_string(reach(c));
                c->Release();
            } else {
                line += " ?";
            }
        }
        lines.push_back(line);
    }
    for (IAPNode* n : order) n->Release();
    for (const auto& l : lines) out += l + "\n";
    return out;
}

const char* OpenOne(const std::string& path, const std::string& temp, std::string* detail)
{
    IAPDocument* doc = Make<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
    if (!doc) return "no-document";
    HRESULT hr = doc->OpenDocument(Text(path.c_str()));
    const char* outcome = "same";
    char code[32];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(hr));
    *detail = code;
    if (FAILED(hr)) {
        outcome = "refused";
    } else {
        // A save needs a working storage, which setting a text makes; the name is the harness's.
        doc->SetProcessName(Text("fuzz"));
        const std::string first = Tree(doc);
        DeleteFileA(temp.c_str());
        if (FAILED(doc->Save(Text(temp.c_str())))) {
            outcome = "save-failed";
        } else {
            IAPDocument* again = Make<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
            if (!again || FAILED(again->OpenDocument(Text(temp.c_str())))) outcome = "reopen-failed";
            else if (const std::string second = Tree(again); second != first) {
                outcome = "differ";
                if (std::getenv("FUZZ_SHOW")) std::fprintf(stderr, "--- opened\n%s--- reopened\n%s", first.c_str(), second.c_str());
            }
            if (again) again->Release();
        }
        DeleteFileA(temp.c_str());
    }
    doc->Release();
    if (g_canUnload() != S_OK) outcome = "leak";
    return outcome;
}

LONG WINAPI Crashed(EXCEPTION_POINTERS* info)
{
    std::printf("CRASH %ld %08lx\n", g_current, static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int OpenAll(const std::string& listPath, const std::string& temp)
{
    FILE* list = std::fopen(listPath.c_str(), "r");
    if (!list) return 2;
    char line[4096];
    long n = 0;
    while (std::fgets(line, sizeof line, list)) {
        std::string path(line);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        if (path.empty()) continue;
        g_current = n;
        std::printf("BEGIN %ld\n", n);
        std::fflush(stdout);
        std::string detail;
        const char* outcome = OpenOne(path, temp, &detail);
        std::printf("END %ld %s %s\n", n, outcome, detail.c_str());
        std::fflush(stdout);
        ++n;
    }
    std::fclose(list);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(Crashed);
    if (argc < 3) {
        std::printf("usage: fuzz_open seeds <folder> | open <list> <temp>\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || !LoadServer()) return 2;
    int rc = 2;
    const std::string command = argv[1];
    if (command == "seeds") rc = WriteSeeds(argv[2]);
    else if (command == "open" && argc == 4) rc = OpenAll(argv[2], argv[3]);
    CoUninitialize();
    return rc;
}
