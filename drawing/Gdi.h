#pragma once
// Owners of the GDI objects a symbol uses: each is deselected and deleted on every path out.
#include <windows.h>

namespace datum_symbol {

template <class H>
class GdiObject {
public:
    explicit GdiObject(H handle) : m_handle(handle) {}
    ~GdiObject()
    {
        if (m_handle) DeleteObject(m_handle);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    H get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    H m_handle;
};

// A memory device context compatible with `reference` (null: the screen).
class MemoryDc {
public:
    explicit MemoryDc(HDC reference) : m_dc(CreateCompatibleDC(reference)) {}
    ~MemoryDc()
    {
        if (m_dc) DeleteDC(m_dc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HDC m_dc;
};

// A window's device context (null window: the screen's), released again.
class WindowDc {
public:
    explicit WindowDc(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~WindowDc()
    {
        if (m_dc) ReleaseDC(m_window, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// Selects an object into a device context and puts back the one it replaced; objects of the
// same type selected later through SelectObject are deselected by that as well.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~Selection() { Restore(); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    explicit operator bool() const { return m_old && m_old != HGDI_ERROR; }
    void Restore()
    {
        if (*this) SelectObject(m_dc, m_old);
        m_old = nullptr;
    }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

} // namespace datum_symbol
