#pragma once
// Our own small application-framework layer: run-time class information, a narrow string,
// the module-state guard and the application object.
#include <windows.h>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    const CRuntimeClass* m_pBaseClass;

    // True for this class and every class derived from it.
    bool IsDerivedFrom(const CRuntimeClass* base) const
    {
        for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
            if (c == base) return true;
        return false;
    }
};

class CObject {
public:
    static const CRuntimeClass classCObject;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &classCObject; }
    virtual ~CObject() = default;

    BOOL IsKindOf(const CRuntimeClass* cls) const { return cls && GetRuntimeClass()->IsDerivedFrom(cls) ? TRUE : FALSE; }

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(cls) (&cls::class##cls)

#define DECLARE_DYNAMIC(cls)                                                  \
public:                                                                       \
    static const CRuntimeClass class##cls;                                    \
    const CRuntimeClass* GetRuntimeClass() const override { return &class##cls; }

#define IMPLEMENT_DYNAMIC(cls, base) \
    const CRuntimeClass cls::class##cls = {#cls, static_cast<int>(sizeof(cls)), RUNTIME_CLASS(base)};

// Narrow string with byte comparison, the model's string type.
class CString {
public:
    CString() = default;
    CString(const char* s) : m_s(s ? s : "") {}
    CString(const char* s, int n) : m_s(s ? std::string(s, n > 0 ? static_cast<size_t>(n) : 0) : std::string()) {}
    CString(std::string_view s) : m_s(s) {}

    CString& operator=(const char* s) { m_s = s ? s : ""; return *this; }
    CString& operator+=(const CString& o) { m_s += o.m_s; return *this; }
    CString& operator+=(const char* s) { if (s) m_s += s; return *this; }
    CString& operator+=(char c) { m_s += c; return *this; }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }

    operator const char*() const { return m_s.c_str(); }
    const char* GetString() const { return m_s.c_str(); }
    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char GetAt(int i) const { return m_s.at(static_cast<size_t>(i)); }

    int Compare(const char* s) const { return std::strcmp(m_s.c_str(), s ? s : ""); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.m_s == (b ? b : ""); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

    int Find(char c, int start = 0) const { return Pos(m_s.find(c, Clamp(start))); }
    int Find(const char* s, int start = 0) const { return s ? Pos(m_s.find(s, Clamp(start))) : -1; }
    int ReverseFind(char c) const { return Pos(m_s.rfind(c)); }
    CString Left(int n) const { return CString(m_s.substr(0, Clamp(n))); }
    CString Right(int n) const { size_t k = Clamp(n); return k >= m_s.size() ? *this : CString(m_s.substr(m_s.size() - k)); }

    const std::string& str() const { return m_s; }

private:
    static size_t Clamp(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }
    static int Pos(size_t p) { return p == std::string::npos ? -1 : static_cast<int>(p); }
    std::string m_s;
};

// Module state: the library runs in one module, so entering its state is a scope marker only.
struct AFX_MODULE_STATE {};
AFX_MODULE_STATE* AfxGetStaticModuleState();

class AfxModuleStateScope {
public:
    explicit AfxModuleStateScope(AFX_MODULE_STATE*) {}
    AfxModuleStateScope(const AfxModuleStateScope&) = delete;
    AfxModuleStateScope& operator=(const AfxModuleStateScope&) = delete;
};
#define AFX_MANAGE_STATE(p) AfxModuleStateScope _afxModuleState(p)

class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    const char* m_pszAppName;
    HWND m_hMainWnd = nullptr; // a library has none unless its host gives it one
};

// The application's main window, or null when there is none.
HWND AfxGetMainWnd();
