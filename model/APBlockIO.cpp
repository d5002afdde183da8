#include "model/APBlockIO.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "platform/moniker/MkMoniker.h"
#include "platform/orv/ORVComCreate.h"
#include "platform/toolkit/WmObjectStream.h"

bool MayHold(WmObjectStream& stream, std::int64_t bytes)
{
    std::int64_t left = 0;
    WmByteStream* raw = stream.byteStream();
    if (!raw || !raw->BytesRemaining(&left)) return true;
    return bytes <= left;
}

bool WriteText(WmObjectStream& s, const CString& text, int bufferSize)
{
    int n = std::min(text.GetLength(), bufferSize - 1);
    return s.write(WmString(text.GetString(), static_cast<std::size_t>(n)));
}

bool ReadText(WmObjectStream& s, CString& text, int bufferSize)
{
    WmString w;
    if (!s.read(w)) return false;
    // What a zero-terminated buffer of bufferSize bytes keeps: at most bufferSize - 1
    // characters, up to the first zero.
    const std::string& all = w.str();
    std::size_t n = bufferSize > 0 ? std::min(all.size(), static_cast<std::size_t>(bufferSize - 1)) : 0;
    n = std::find(all.data(), all.data() + n, '\0') - all.data();
    text = CString(std::string_view(all.data(), n));
    return true;
}

bool WriteTextList(WmObjectStream& s, const std::vector<CString>& texts, int bufferSize)
{
    if (!s.write(static_cast<int>(texts.size()))) return false;
    for (const CString& text : texts)
        if (!WriteText(s, text, bufferSize)) return false;
    return true;
}

bool ReadTextList(WmObjectStream& s, std::vector<CString>& texts, int bufferSize)
{
    int count = 0;
    // A string is at least its length word.
    if (!s.read(count) || count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * 4)) return false;
    std::vector<CString> read(static_cast<std::size_t>(count));
    for (CString& text : read)
        if (!ReadText(s, text, bufferSize)) return false;
    texts.swap(read);
    return true;
}

bool WriteMonikerField(WmObjectStream& s, IORVDataMoniker* moniker)
{
    unsigned long length = 0;
    std::vector<unsigned char> bytes;
    if (moniker && SUCCEEDED(MkGetSizeMax(moniker, &length)) && length > 0 && length <= INT_MAX) {
        bytes.resize(length);
        if (FAILED(MkSave(moniker, bytes.data(), 1, length))) bytes.clear();
    }
    if (!s.write(static_cast<int>(bytes.size()))) return false;
    return bytes.empty() || s.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

bool ReadMonikerField(WmObjectStream& s, IORVDataMoniker** moniker)
{
    *moniker = nullptr;
    int length = 0;
    if (!s.read(length) || length < 0 || !MayHold(s, length)) return false;
    if (length == 0) return true;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    if (!s.read(bytes.data(), static_cast<std::uint32_t>(length))) return false;
    if (FAILED(MkLoad(bytes.data(), static_cast<unsigned long>(length), moniker)) || !*moniker) {
        *moniker = nullptr;
        return false;
    }
    return true;
}

void* ReadNestedRecord(WmObjectStream& s, REFIID kind)
{
    WmGUID clsid;
    if (!s.read(clsid)) return nullptr;
    IAPElement* e = nullptr;
    if (FAILED(ORVCoCreateInstance(clsid.toGUID(), nullptr, CLSCTX_INPROC_SERVER, IID_IAPElement,
                                   reinterpret_cast<void**>(&e))) ||
        !e)
        return nullptr;
    // The kind is checked first: a record of another kind is not read at all.
    void* typed = nullptr;
    if (FAILED(e->QueryInterface(kind, &typed))) typed = nullptr;
    if (typed && FAILED(e->Deserialize(reinterpret_cast<unsigned char*>(&s)))) {
        static_cast<IUnknown*>(typed)->Release();
        typed = nullptr;
    }
    e->Release();
    return typed;
}

bool WriteNestedRecord(WmObjectStream& s, IUnknown* member)
{
    IAPElement* e = nullptr;
    if (!member || FAILED(member->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&e))) || !e) return false;
    GUID clsid{};
    const bool ok = SUCCEEDED(e->GetClassID(&clsid)) && s.write(WmGUID(clsid)) &&
                    SUCCEEDED(e->Serialize(reinterpret_cast<unsigned char*>(&s)));
    e->Release();
    return ok;
}
