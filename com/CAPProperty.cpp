#include "com/CAPProperty.h"

#include <cstring>
#include <new>

#include "platform/toolkit/WmObjectStream.h"

// ---------------------------------------------------------------------------------------
// Flag word

HRESULT STDMETHODCALLTYPE CAPProperty::GetFlag(unsigned short flag, long* isSet)
{
    if (!isSet) return E_POINTER;
    *isSet = (m_flags & (static_cast<unsigned long>(flag) << 16)) ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPProperty::SetFlag(unsigned short flag, long trueFalse)
{
    const unsigned long bits = static_cast<unsigned long>(flag) << 16;
    if (trueFalse) m_flags |= bits;
    else m_flags &= ~bits;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPProperty::SetPersistanceFlag(long trueFalse)
{
    if (trueFalse) m_flags |= kPersistent;
    else m_flags &= ~kPersistent;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPProperty::GetPersistanceFlag(long* isSet)
{
    if (!isSet) return E_POINTER;
    *isSet = (m_flags & kPersistent) ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPProperty::SetCopyFlag(long trueFalse)
{
    if (trueFalse) m_flags |= kCopied;
    else m_flags &= ~kCopied;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPProperty::GetCopyFlag(long* isSet)
{
    if (!isSet) return E_POINTER;
    *isSet = (m_flags & kCopied) ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPProperty::Clone(IAPProperty* newProp)
{
    if (!newProp) return E_POINTER;
    return FAILED(CopyFlagsTo(newProp)) ? E_FAIL : S_OK;
}

HRESULT CAPProperty::CopyFlagsTo(IAPProperty* target) const
{
    // Bits 2 to 15 are never set, so these four calls carry the whole word.
    const unsigned short mask = static_cast<unsigned short>(m_flags >> 16);
    HRESULT hr = target->SetPersistanceFlag((m_flags & kPersistent) ? 1 : 0);
    if (SUCCEEDED(hr)) hr = target->SetCopyFlag((m_flags & kCopied) ? 1 : 0);
    if (SUCCEEDED(hr) && mask != 0xFFFF) hr = target->SetFlag(static_cast<unsigned short>(~mask), 0);
    if (SUCCEEDED(hr) && mask != 0) hr = target->SetFlag(mask, 1);
    return hr;
}

// ---------------------------------------------------------------------------------------
// String property

bool CAPStringProperty::ReadValue(WmObjectStream& stream)
{
    WmString text;
    if (!stream.read(text)) return false;
    char buffer[kReadLimit + 1];
    text.stringToMbs(buffer, sizeof buffer);
    m_value = buffer;
    return true;
}

bool CAPStringProperty::WriteValue(WmObjectStream& stream) const
{
    return stream.write(WmString(m_value.GetString(), static_cast<std::size_t>(m_value.GetLength())));
}

HRESULT CAPStringProperty::PassValue(IAPStringProperty* target) const
{
    return target->SetString(reinterpret_cast<unsigned char*>(const_cast<char*>(m_value.GetString())));
}

HRESULT STDMETHODCALLTYPE CAPStringProperty::SetString(unsigned char* string)
{
    if (!string) return E_POINTER;
    try {
        m_value = reinterpret_cast<const char*>(string);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPStringProperty::GetString(unsigned char* string)
{
    if (!string) return E_POINTER;
    std::memcpy(string, m_value.GetString(), static_cast<std::size_t>(m_value.GetLength()) + 1);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPStringProperty::GetStringSize(int* size)
{
    if (!size) return E_POINTER;
    *size = m_value.GetLength();
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Element-pointer property

CAPElemPtrProperty::~CAPElemPtrProperty() { StopWaiting(); }

void CAPElemPtrProperty::StopWaiting()
{
    if (!m_waitingOn) return;
    m_waitingOn->forget(reinterpret_cast<void**>(&m_value));
    m_waitingOn->release();
    m_waitingOn = nullptr;
}

bool CAPElemPtrProperty::ReadValue(WmObjectStream& stream)
{
    int number = 0;
    if (!stream.read(number)) return false;
    StopWaiting();
    // The slot is filled now, or once the element of that number registers itself; a number
    // that cannot be resolved leaves no element.
    m_link.Reset();
    m_ours = false;
    stream.ptrFromNum(number, &m_value);
    m_read = true;
    if (number > 0 && !m_value && (m_waitingOn = stream.swizzler())) m_waitingOn->addRef();
    return true;
}

bool CAPElemPtrProperty::WriteValue(WmObjectStream& stream)
{
    int number = 0;
    return stream.ptr2num(Current(), &number) && stream.write(number);
}

void CAPElemPtrProperty::Store(IAPElement* element)
{
    // A value given now wins over one still awaited from the stream. A host's own object is
    // kept as given: its lifetime is the host's business.
    StopWaiting();
    m_read = false;
    m_value = element;
    m_link.Reset();
    m_ours = element && APElement::FromInterface(element);
    if (m_ours && !m_link.Set(element)) m_link.Reset(); // an element already ending stays unnamed
}

IAPElement* CAPElemPtrProperty::Current()
{
    if (m_read && m_value) {
        // Filled in by the stream: an element of ours goes into the link (an element's read
        // has every one taken in while all are alive); another object stays as it is.
        StopWaiting();
        m_read = false;
        APElement* element = APElement::FromPrimary(m_value);
        m_ours = element != nullptr;
        if (m_ours && !m_link.Set(m_value)) m_link.Reset();
    }
    return m_ours ? m_link.Get() : m_value;
}

HRESULT STDMETHODCALLTYPE CAPElemPtrProperty::GetValue(IAPElement** value)
{
    if (!value) return E_POINTER;
    *value = Current();
    return S_OK;
}

HRESULT CAPElemPtrProperty::PassValue(IAPElemPtrProperty* target) { return target->SetValue(Current()); }

// ---------------------------------------------------------------------------------------
// Property key

HRESULT STDMETHODCALLTYPE CAPPropertyKey::GetKey(unsigned char* key)
{
    if (!key) return E_POINTER;
    std::memcpy(key, m_key.GetString(), static_cast<std::size_t>(m_key.GetLength()) + 1);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPPropertyKey::GetKeySize(int* size)
{
    if (!size) return E_POINTER;
    *size = m_key.GetLength();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPPropertyKey::SetKey(unsigned char* key)
{
    if (!key) return E_POINTER;
    try {
        m_key = reinterpret_cast<const char*>(key);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
