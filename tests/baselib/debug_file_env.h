// Sets and clears _PXLL_DEBUG_FILE for the running test program (and for the
// processes it starts afterwards).
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

namespace DebugFileEnv {

#if defined(_WIN32)
// An empty value removes the variable from the run-time's environment.
inline void set(const char* path) { _wputenv_s(L"_PXLL_DEBUG_FILE", std::wstring(path, path + std::strlen(path)).c_str()); }
inline void clear() { _wputenv_s(L"_PXLL_DEBUG_FILE", L""); }
#else
inline void set(const char* path) { setenv("_PXLL_DEBUG_FILE", path, 1); }
inline void clear() { unsetenv("_PXLL_DEBUG_FILE"); }
#endif

} // namespace DebugFileEnv
