// Sets and clears _PXLL_DEBUG_FILE for the running test program (and for the
// processes it starts afterwards).
#pragma once

#include <cstdlib>
#include <string>

namespace DebugFileEnv {

#if defined(_WIN32)
inline void setVariable(const wchar_t* name, const char* value) {
    std::wstring w;
    for (const char* p = value; p && *p; ++p)
        w += wchar_t(static_cast<unsigned char>(*p));
    // An empty value removes the variable from the run-time's environment.
    _wputenv_s(name, value ? w.c_str() : L"");
}
inline void set(const char* path) {
    setVariable(L"_PXLL_DEBUG_FILE", path);
}
inline void clear() {
    setVariable(L"_PXLL_DEBUG_FILE", nullptr);
}
#else
inline void set(const char* path) {
    setenv("_PXLL_DEBUG_FILE", path, 1);
}
inline void clear() {
    unsetenv("_PXLL_DEBUG_FILE");
}
#endif

} // namespace DebugFileEnv
