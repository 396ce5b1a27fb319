// Owning types for what Windows hands out and wants back: kernel handles,
// GDI objects, device contexts, objects selected into a device context,
// LocalAlloc'ed memory, find handles, registry keys and loaded libraries.
// Each frees on every way out, moves but never copies, and gives the raw
// value to calls with get(); put() hands a call the slot to fill (freeing
// what was there first).
#pragma once
#include <windows.h>

namespace Solvaris_Win32 {

template <typename T, typename Traits>
class Owned {
public:
    Owned() = default;
    explicit Owned(T value) : m_value(value) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : m_value(other.release()) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    T get() const { return m_value; }
    explicit operator bool() const { return Traits::valid(m_value); }
    // Gives up ownership: the caller frees the value.
    T release()
    {
        T value = m_value;
        m_value = Traits::none();
        return value;
    }
    void reset(T value = Traits::none())
    {
        if (Traits::valid(m_value))
            Traits::free(m_value);
        m_value = value;
    }
    T* put()
    {
        reset();
        return &m_value;
    }

private:
    T m_value = Traits::none();
};

struct HandleTraits {
    static HANDLE none() { return nullptr; }
    // Kernel calls report failure with either value; neither is closed.
    static bool valid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
    static void free(HANDLE h) { ::CloseHandle(h); }
};
// A kernel handle: file, pipe, event, process, thread, snapshot.
using UniqueHandle = Owned<HANDLE, HandleTraits>;

template <typename T>
struct GdiObjectTraits {
    static T none() { return nullptr; }
    static bool valid(T h) { return h != nullptr; }
    static void free(T h) { ::DeleteObject(h); }
};
// A pen, brush, font, bitmap or region made by this program.
template <typename T>
using GdiObject = Owned<T, GdiObjectTraits<T>>;

struct MemoryDcTraits {
    static HDC none() { return nullptr; }
    static bool valid(HDC h) { return h != nullptr; }
    static void free(HDC h) { ::DeleteDC(h); }
};
// A device context from CreateCompatibleDC or CreateDC.
using MemoryDc = Owned<HDC, MemoryDcTraits>;

template <typename T>
struct LocalTraits {
    static T* none() { return nullptr; }
    static bool valid(T* p) { return p != nullptr; }
    static void free(T* p) { ::LocalFree(p); }
};
// Memory the system allocated with LocalAlloc for the caller
// (FormatMessage's buffers, security descriptors, access lists).
template <typename T>
using LocalPtr = Owned<T*, LocalTraits<T>>;

struct FindTraits {
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static void free(HANDLE h) { ::FindClose(h); }
};
// A search from FindFirstFile.
using FindHandle = Owned<HANDLE, FindTraits>;

struct RegKeyTraits {
    static HKEY none() { return nullptr; }
    static bool valid(HKEY h) { return h != nullptr; }
    static void free(HKEY h) { ::RegCloseKey(h); }
};
// An opened registry key.
using RegKey = Owned<HKEY, RegKeyTraits>;

struct ModuleTraits {
    static HMODULE none() { return nullptr; }
    static bool valid(HMODULE h) { return h != nullptr; }
    static void free(HMODULE h) { ::FreeLibrary(h); }
};
// A library this program loaded itself with LoadLibrary(Ex).
using ModuleHandle = Owned<HMODULE, ModuleTraits>;

// A window's (or, for null, the screen's) device context from GetDC,
// released to that window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~WindowDc()
    {
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// An object selected into a device context for the life of the scope; the
// object that was selected before goes back in at the end. Nothing is
// selected when the context or the object is null.
class SelectScope {
public:
    SelectScope(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectScope()
    {
        if (m_old && m_old != HGDI_ERROR)
            ::SelectObject(m_dc, m_old);
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

} // namespace Solvaris_Win32
