// Owning types for what Windows hands out and wants back: kernel handles,
// GDI objects, device contexts, objects selected into a device context,
// LocalAlloc'ed and GlobalAlloc'ed memory, find handles, registry keys and
// loaded modules. (WinHTTP's handles: svr_http_win.cpp, their one user.) Each frees on every
// way out, moves but never copies, and gives the raw value to calls with
// get(); put() hands a call the slot to fill (freeing what was there first).
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

// The traits of a value that is null when empty and given back with the
// one-argument call `Release`: most of what the system hands out.
template <typename T, auto Release>
struct NullOrReleased {
    static T none() { return nullptr; }
    static bool valid(T v) { return v != nullptr; }
    static void free(T v) { Release(v); }
};

// A pen, brush, font, bitmap or region made by this program.
template <typename T>
using GdiObject = Owned<T, NullOrReleased<T, ::DeleteObject>>;

// A device context from CreateCompatibleDC or CreateDC.
using MemoryDc = Owned<HDC, NullOrReleased<HDC, ::DeleteDC>>;

// Memory the system allocated with LocalAlloc for the caller
// (FormatMessage's buffers, security descriptors, access lists).
template <typename T>
using LocalPtr = Owned<T*, NullOrReleased<T*, ::LocalFree>>;

// Memory the system allocated with GlobalAlloc for the caller (WinHTTP's
// proxy settings and lists).
template <typename T>
using GlobalPtr = Owned<T*, NullOrReleased<T*, ::GlobalFree>>;

// A module from LoadLibrary or LoadLibraryEx.
using LoadedModule = Owned<HMODULE, NullOrReleased<HMODULE, ::FreeLibrary>>;

struct FindTraits {
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static void free(HANDLE h) { ::FindClose(h); }
};
// A search from FindFirstFile.
using FindHandle = Owned<HANDLE, FindTraits>;

// An opened registry key.
using RegKey = Owned<HKEY, NullOrReleased<HKEY, ::RegCloseKey>>;

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
