# Cross-compiles for 64-bit Windows with MinGW-w64 (posix thread model). This
# build exists for the tests: it runs under 64-bit Wine on machines whose
# kernel runs no 32-bit code. The product is the i686 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
