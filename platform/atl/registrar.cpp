#include "platform/atl/registrar.h"

#include <cerrno>
#include <cwchar>
#include <cwctype>

namespace {

enum class Flag { Normal, NoRemove, ForceRemove, Delete };

struct Value {
    wchar_t type = L's';
    std::wstring text;
};

struct Node {
    Flag flag = Flag::Normal;
    bool isValue = false; // a `val` entry, else a key
    std::wstring name;
    bool hasValue = false; // the key's default value, or the entry's value
    Value value;
    std::vector<Node> children;
};

struct Root {
    HKEY key = nullptr;
    std::vector<Node> children;
};

bool SameText(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

// ---------------------------------------------------------------------------------------
// Tokens

struct Token {
    enum Kind { End, Open, Close, Equals, Word, Quoted } kind = End;
    std::wstring text;
};

class Lexer {
public:
    Lexer(const wchar_t* text, const std::vector<std::pair<std::wstring, std::wstring>>& replacements)
        : m_p(text), m_replacements(replacements)
    {
    }

    // Reads the next token into m_tok; false on a syntax error.
    bool Next()
    {
        while (*m_p && std::iswspace(*m_p)) ++m_p;
        m_tok = Token{};
        if (!*m_p) return true;
        std::wstring raw;
        if (*m_p == L'\'') {
            ++m_p;
            for (;;) {
                if (!*m_p) return false; // unterminated text
                if (*m_p == L'\'') {
                    if (m_p[1] != L'\'') break;
                    ++m_p;
                }
                raw += *m_p++;
            }
            ++m_p;
            m_tok.kind = Token::Quoted;
            return Replace(raw, &m_tok.text);
        }
        // Words run to white space, so that a class id in braces is one word; a brace or an
        // equals sign standing alone is punctuation.
        while (*m_p && !std::iswspace(*m_p) && *m_p != L'\'') raw += *m_p++;
        if (raw == L"{") m_tok.kind = Token::Open;
        else if (raw == L"}") m_tok.kind = Token::Close;
        else if (raw == L"=") m_tok.kind = Token::Equals;
        else {
            m_tok.kind = Token::Word;
            return Replace(raw, &m_tok.text);
        }
        return true;
    }

    const Token& tok() const { return m_tok; }
    // The character right after the current token, past white space.
    wchar_t Peek() const
    {
        const wchar_t* p = m_p;
        while (*p && std::iswspace(*p)) ++p;
        return *p;
    }

private:
    bool Replace(const std::wstring& raw, std::wstring* out) const
    {
        out->clear();
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != L'%') {
                *out += raw[i];
                continue;
            }
            size_t end = raw.find(L'%', i + 1);
            if (end == std::wstring::npos) return false;
            if (end == i + 1) {
                *out += L'%';
            } else {
                std::wstring name = raw.substr(i + 1, end - i - 1);
                const std::wstring* text = nullptr;
                for (const auto& r : m_replacements)
                    if (SameText(r.first, name.c_str())) text = &r.second;
                if (!text) return false;
                *out += *text;
            }
            i = end;
        }
        return true;
    }

    const wchar_t* m_p;
    const std::vector<std::pair<std::wstring, std::wstring>>& m_replacements;
    Token m_tok;
};

// ---------------------------------------------------------------------------------------
// Parser: the whole script into a tree

class Parser {
public:
    explicit Parser(Lexer& lex) : m_lex(lex) {}

    bool Script(std::vector<Root>* roots)
    {
        if (!m_lex.Next()) return false;
        while (m_lex.tok().kind != Token::End) {
            if (m_lex.tok().kind != Token::Word) return false;
            std::wstring word = m_lex.tok().text;
            if (SameText(word, L"NoRemove") || SameText(word, L"ForceRemove")) { // roots stay anyway
                if (!m_lex.Next() || m_lex.tok().kind != Token::Word) return false;
                word = m_lex.tok().text;
            }
            Root root;
            root.key = RootKey(word);
            if (!root.key) return false;
            if (!m_lex.Next() || m_lex.tok().kind != Token::Open) return false;
            if (!Body(&root.children)) return false;
            roots->push_back(std::move(root));
        }
        return true;
    }

private:
    static HKEY RootKey(const std::wstring& w)
    {
        static const struct {
            const wchar_t* shortName;
            const wchar_t* longName;
            HKEY key;
        } roots[] = {
            {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
            {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
            {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
            {L"HKU", L"HKEY_USERS", HKEY_USERS},
            {L"HKPD", L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
            {L"HKDD", L"HKEY_DYN_DATA", HKEY_DYN_DATA},
            {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        };
        for (const auto& r : roots)
            if (SameText(w, r.shortName) || SameText(w, r.longName)) return r.key;
        return nullptr;
    }

    // At the opening brace: the items up to and including the closing brace; leaves the
    // token after the brace current.
    bool Body(std::vector<Node>* items)
    {
        if (!m_lex.Next()) return false;
        while (m_lex.tok().kind != Token::Close) {
            if (m_lex.tok().kind == Token::End) return false;
            Node node;
            if (!Item(&node)) return false;
            items->push_back(std::move(node));
        }
        return m_lex.Next();
    }

    // At the item's first token; leaves the token after the item current.
    bool Item(Node* node)
    {
        if (m_lex.tok().kind != Token::Word && m_lex.tok().kind != Token::Quoted) return false;
        if (m_lex.tok().kind == Token::Word) {
            const std::wstring& w = m_lex.tok().text;
            Flag f = SameText(w, L"NoRemove")      ? Flag::NoRemove
                     : SameText(w, L"ForceRemove") ? Flag::ForceRemove
                     : SameText(w, L"Delete")      ? Flag::Delete
                                                   : Flag::Normal;
            if (f != Flag::Normal) {
                node->flag = f;
                if (!m_lex.Next()) return false;
                if (m_lex.tok().kind != Token::Word && m_lex.tok().kind != Token::Quoted) return false;
            }
        }
        if (m_lex.tok().kind == Token::Word && SameText(m_lex.tok().text, L"val")) {
            node->isValue = true;
            if (!m_lex.Next() || (m_lex.tok().kind != Token::Word && m_lex.tok().kind != Token::Quoted)) return false;
            node->name = m_lex.tok().text;
            if (!m_lex.Next() || m_lex.tok().kind != Token::Equals) return false;
            if (!TypedValue(&node->value)) return false;
            node->hasValue = true;
            return m_lex.Next();
        }
        // A key name, also written as `s 'Name'`.
        if (m_lex.tok().kind == Token::Word && SameText(m_lex.tok().text, L"s") && m_lex.Peek() == L'\'') {
            if (!m_lex.Next()) return false;
        }
        node->name = m_lex.tok().text;
        if (node->name.empty()) return false;
        if (!m_lex.Next()) return false;
        if (m_lex.tok().kind == Token::Equals) {
            if (!TypedValue(&node->value)) return false;
            node->hasValue = true;
            if (!m_lex.Next()) return false;
        }
        if (m_lex.tok().kind == Token::Open) return Body(&node->children);
        return true;
    }

    // `<type> <data>` after an equals sign.
    bool TypedValue(Value* v)
    {
        if (!m_lex.Next() || m_lex.tok().kind != Token::Word || m_lex.tok().text.size() != 1) return false;
        v->type = static_cast<wchar_t>(std::towlower(m_lex.tok().text[0]));
        if (v->type != L's' && v->type != L'd' && v->type != L'b' && v->type != L'm') return false;
        if (!m_lex.Next() || (m_lex.tok().kind != Token::Word && m_lex.tok().kind != Token::Quoted)) return false;
        v->text = m_lex.tok().text;
        return Valid(*v);
    }

    static bool Valid(const Value& v)
    {
        if (v.type == L'd') {
            if (v.text.empty()) return false;
            wchar_t* end = nullptr;
            errno = 0;
            unsigned long long n = std::wcstoull(v.text.c_str(), &end, 0);
            return end && !*end && errno == 0 && n <= 0xffffffffull;
        }
        if (v.type == L'b') {
            if (v.text.size() % 2) return false;
            for (wchar_t c : v.text)
                if (!std::iswxdigit(c)) return false;
        }
        return true;
    }

    Lexer& m_lex;
};

// ---------------------------------------------------------------------------------------
// Execution

HRESULT FromWin32(LONG err) { return err == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(err)); }

LONG SetValue(HKEY key, const std::wstring& name, const Value& v)
{
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    switch (v.type) {
    case L'd': {
        DWORD n = static_cast<DWORD>(std::wcstoull(v.text.c_str(), nullptr, 0));
        return RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
    }
    case L'b': {
        std::vector<BYTE> bytes;
        for (size_t i = 0; i + 1 < v.text.size(); i += 2)
            bytes.push_back(static_cast<BYTE>(std::wcstoul(v.text.substr(i, 2).c_str(), nullptr, 16)));
        return RegSetValueExW(key, valueName, 0, REG_BINARY, bytes.empty() ? nullptr : bytes.data(),
                              static_cast<DWORD>(bytes.size()));
    }
    case L'm': {
        std::wstring multi;
        for (size_t i = 0; i < v.text.size(); ++i) {
            if (v.text[i] == L'\\' && i + 1 < v.text.size() && v.text[i + 1] == L'0') {
                multi += L'\0';
                ++i;
            } else {
                multi += v.text[i];
            }
        }
        multi += L'\0';
        multi += L'\0';
        return RegSetValueExW(key, valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.data()),
                              static_cast<DWORD>(multi.size() * sizeof(wchar_t)));
    }
    default:
        return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                              static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)));
    }
}

LONG DeleteTree(HKEY parent, const std::wstring& name)
{
    LONG err = RegDeleteTreeW(parent, name.c_str());
    return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
}

class KeyHandle {
public:
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle()
    {
        if (h) RegCloseKey(h);
    }
    HKEY h = nullptr;
};

LONG Register(HKEY parent, const std::vector<Node>& items)
{
    for (const Node& n : items) {
        if (n.isValue) {
            if (n.flag == Flag::Delete) {
                LONG err = RegDeleteValueW(parent, n.name.c_str());
                if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return err;
                continue;
            }
            if (LONG err = SetValue(parent, n.name, n.value)) return err;
            continue;
        }
        if (n.flag == Flag::Delete || n.flag == Flag::ForceRemove) {
            if (LONG err = DeleteTree(parent, n.name)) return err;
            if (n.flag == Flag::Delete) continue;
        }
        KeyHandle key;
        if (LONG err = RegCreateKeyExW(parent, n.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key.h,
                                       nullptr))
            return err;
        if (n.hasValue)
            if (LONG err = SetValue(key.h, L"", n.value)) return err;
        if (LONG err = Register(key.h, n.children)) return err;
    }
    return ERROR_SUCCESS;
}

LONG Unregister(HKEY parent, const std::vector<Node>& items)
{
    for (const Node& n : items) {
        if (n.isValue) {
            if (n.flag == Flag::NoRemove) continue;
            LONG err = RegDeleteValueW(parent, n.name.c_str());
            if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return err;
            continue;
        }
        if (n.flag == Flag::Delete) continue;
        if (n.flag == Flag::ForceRemove) {
            if (LONG err = DeleteTree(parent, n.name)) return err;
            continue;
        }
        DWORD subkeys = 0;
        {
            KeyHandle key;
            LONG err = RegOpenKeyExW(parent, n.name.c_str(), 0, KEY_READ | KEY_WRITE, &key.h);
            if (err == ERROR_FILE_NOT_FOUND) continue; // nothing of it to remove
            if (err) return err;
            if ((err = Unregister(key.h, n.children))) return err;
            if ((err = RegQueryInfoKeyW(key.h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr)))
                return err;
        }
        // A key that still has subkeys holds something the script did not write.
        if (n.flag != Flag::NoRemove && subkeys == 0) {
            LONG err = RegDeleteKeyW(parent, n.name.c_str());
            if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return err;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

HRESULT CRegistrar::AddReplacement(const wchar_t* name, const wchar_t* text)
{
    if (!name || !*name || !text) return E_INVALIDARG;
    for (auto& r : m_replacements) {
        if (_wcsicmp(r.first.c_str(), name) == 0) {
            r.second = text;
            return S_OK;
        }
    }
    m_replacements.emplace_back(name, text);
    return S_OK;
}

HRESULT CRegistrar::Run(const wchar_t* script, bool doRegister)
{
    if (!script) return E_POINTER;
    std::vector<Root> roots;
    Lexer lex(script, m_replacements);
    Parser parser(lex);
    if (!parser.Script(&roots)) return REGISTRAR_E_SYNTAX;
    for (const Root& root : roots) {
        LONG err = doRegister ? Register(root.key, root.children) : Unregister(root.key, root.children);
        if (err) return FromWin32(err);
    }
    return S_OK;
}

HRESULT CRegistrar::LoadScript(HINSTANCE module, UINT id, const wchar_t* type, std::wstring* script)
{
    if (!script || !type) return E_POINTER;
    script->clear();
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!res) return FromWin32(static_cast<LONG>(GetLastError()));
    HGLOBAL mem = LoadResource(module, res);
    const auto* data = static_cast<const unsigned char*>(mem ? LockResource(mem) : nullptr);
    DWORD size = SizeofResource(module, res);
    if (!data) return FromWin32(static_cast<LONG>(GetLastError()));
    if (size >= 2 && data[0] == 0xff && data[1] == 0xfe) {
        script->assign(reinterpret_cast<const wchar_t*>(data + 2), (size - 2) / sizeof(wchar_t));
    } else {
        UINT cp = CP_ACP;
        if (size >= 3 && data[0] == 0xef && data[1] == 0xbb && data[2] == 0xbf) {
            cp = CP_UTF8;
            data += 3;
            size -= 3;
        }
        if (size) {
            int n = MultiByteToWideChar(cp, 0, reinterpret_cast<const char*>(data), static_cast<int>(size), nullptr, 0);
            if (n <= 0) return FromWin32(static_cast<LONG>(GetLastError()));
            script->resize(static_cast<size_t>(n));
            MultiByteToWideChar(cp, 0, reinterpret_cast<const char*>(data), static_cast<int>(size), script->data(), n);
        }
    }
    // A resource may carry trailing zeros.
    while (!script->empty() && script->back() == L'\0') script->pop_back();
    return S_OK;
}

HRESULT CRegistrar::RunResource(HINSTANCE module, UINT id, const wchar_t* type, bool doRegister)
{
    std::wstring script;
    HRESULT hr = LoadScript(module, id, type, &script);
    if (FAILED(hr)) return hr;
    return Run(script.c_str(), doRegister);
}

HRESULT CRegistrar::ResourceRegister(HINSTANCE module, UINT id, const wchar_t* type)
{
    return RunResource(module, id, type, true);
}

HRESULT CRegistrar::ResourceUnregister(HINSTANCE module, UINT id, const wchar_t* type)
{
    return RunResource(module, id, type, false);
}
