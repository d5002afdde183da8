#pragma once
// The narrow string that the moniker functions hand back.
#include <cstring>
#include <string>

class CORVString {
public:
    CORVString() = default;
    CORVString(const char* s) : m_s(s ? s : "") {}
    CORVString(std::string s) : m_s(std::move(s)) {}

    operator const char*() const { return m_s.c_str(); }
    const char* GetString() const { return m_s.c_str(); }
    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }

    friend bool operator==(const CORVString& a, const CORVString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CORVString& a, const char* b) { return a.m_s == (b ? b : ""); }

private:
    std::string m_s;
};
