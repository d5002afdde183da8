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

HRESULT STDMETHODCALLTYPE CAPStringProperty::read(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    WmString text;
    if (!stream->read(text)) return E_FAIL;
    char buffer[kReadLimit + 1];
    text.stringToMbs(buffer, sizeof buffer);
    m_value = buffer;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPStringProperty::write(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    return stream->write(WmString(m_value.GetString(), static_cast<std::size_t>(m_value.GetLength()))) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CAPStringProperty::Clone(IAPProperty* newProp)
{
    return CloneThrough<IAPStringProperty>(newProp, IID_IAPStringProperty, [this](IAPStringProperty* p) {
        return p->SetString(reinterpret_cast<unsigned char*>(const_cast<char*>(m_value.GetString())));
    });
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
// Integer property

HRESULT STDMETHODCALLTYPE CAPIntProperty::read(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    int value = 0;
    if (!stream->read(value)) return E_FAIL;
    m_value = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPIntProperty::write(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    return stream->write(m_value) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CAPIntProperty::Clone(IAPProperty* newProp)
{
    return CloneThrough<IAPIntProperty>(newProp, IID_IAPIntProperty, [this](IAPIntProperty* p) { return p->SetValue(m_value); });
}

HRESULT STDMETHODCALLTYPE CAPIntProperty::SetValue(int value)
{
    m_value = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPIntProperty::GetValue(int* value)
{
    if (!value) return E_POINTER;
    *value = m_value;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Double property

HRESULT STDMETHODCALLTYPE CAPDoubleProperty::read(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    double value = 0;
    if (!stream->read(value)) return E_FAIL;
    m_value = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDoubleProperty::write(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    return stream->write(m_value) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CAPDoubleProperty::Clone(IAPProperty* newProp)
{
    return CloneThrough<IAPDoubleProperty>(newProp, IID_IAPDoubleProperty,
                                           [this](IAPDoubleProperty* p) { return p->SetValue(m_value); });
}

HRESULT STDMETHODCALLTYPE CAPDoubleProperty::SetValue(double val)
{
    m_value = val;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDoubleProperty::GetValue(double* val)
{
    if (!val) return E_POINTER;
    *val = m_value;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Element-pointer property

HRESULT STDMETHODCALLTYPE CAPElemPtrProperty::read(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    int number = 0;
    if (!stream->read(number)) return E_FAIL;
    // The slot is filled now, or once the element of that number registers itself; a number
    // that cannot be resolved leaves no element.
    stream->ptrFromNum(number, &m_value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPElemPtrProperty::write(unsigned char* pStream)
{
    WmObjectStream* stream = StreamOf(pStream);
    if (!stream) return E_POINTER;
    int number = 0;
    if (!stream->ptr2num(m_value, &number)) return E_FAIL;
    return stream->write(number) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CAPElemPtrProperty::Clone(IAPProperty* newProp)
{
    return CloneThrough<IAPElemPtrProperty>(newProp, IID_IAPElemPtrProperty,
                                            [this](IAPElemPtrProperty* p) { return p->SetValue(m_value); });
}

HRESULT STDMETHODCALLTYPE CAPElemPtrProperty::SetValue(IAPElement* pElem)
{
    m_value = pElem;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPElemPtrProperty::GetValue(IAPElement** pElem)
{
    if (!pElem) return E_POINTER;
    *pElem = m_value;
    return S_OK;
}

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
