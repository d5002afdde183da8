#pragma once
// Our own registrar: runs registry scripts (the text format the library's REGISTRY resources
// are written in) against the real registry.
//
//   HKCR
//   {
//       Name.1 = s 'Default value'
//       {
//           val Extra = d '5'
//       }
//       NoRemove CLSID { ForceRemove {GUID} = s 'Text' { InprocServer32 = s '%MODULE%' } }
//   }
//
// A script is a list of root keys (HKCR, HKCU, HKLM, HKU, HKCC, HKPD, HKDD or their long
// names), each with a braced body of keys and values. A key may be preceded by `NoRemove`
// (kept on unregistration), `ForceRemove` (its whole tree is deleted before it is written,
// and removed whole on unregistration) or `Delete` (removed on registration). A value is
// `val Name = <type> <data>`; a key's default value is `Key = <type> <data>`. Types: `s`
// (string), `d` (32-bit number), `b` (hex bytes), `m` (strings separated by \0). A key name
// may be written `s 'Name'`. Tokens are separated by white space (so `{GUID}` is one word
// and a brace or equals sign must stand alone); quoted texts take '' for a quote. `%NAME%` inside a token is
// replaced by the registered replacement text (case-insensitive name); `%%` is a percent.
//
// The whole script is parsed before the registry is touched, so a script with a syntax
// error changes nothing. Replacements are made after the script is split into tokens, so a
// replacement text may hold quotes and braces.
#include <windows.h>
#include <string>
#include <utility>
#include <vector>

// A script that does not follow the format, or names an unknown replacement.
constexpr HRESULT REGISTRAR_E_SYNTAX = DISP_E_EXCEPTION;

class CRegistrar {
public:
    // Adds or replaces a replacement; null or empty names are refused.
    HRESULT AddReplacement(const wchar_t* name, const wchar_t* text);
    void ClearReplacements() { m_replacements.clear(); }

    HRESULT StringRegister(const wchar_t* script) { return Run(script, true); }
    HRESULT StringUnregister(const wchar_t* script) { return Run(script, false); }

    // Runs the script held as resource `id` of type `type` (ANSI, UTF-8 with signature, or
    // UTF-16 with signature) in `module`.
    HRESULT ResourceRegister(HINSTANCE module, UINT id, const wchar_t* type = L"REGISTRY");
    HRESULT ResourceUnregister(HINSTANCE module, UINT id, const wchar_t* type = L"REGISTRY");

    // The text of a script resource, or an error.
    static HRESULT LoadScript(HINSTANCE module, UINT id, const wchar_t* type, std::wstring* script);

private:
    HRESULT Run(const wchar_t* script, bool doRegister);
    HRESULT RunResource(HINSTANCE module, UINT id, const wchar_t* type, bool doRegister);

    std::vector<std::pair<std::wstring, std::wstring>> m_replacements;
};
