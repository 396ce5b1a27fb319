// Stamping a file that is open (svr_filestamp.h): size and write time from
// the handle, the bytes read through the same handle, so that what is
// judged is the file that was opened and not whatever the name points to
// a moment later.
#pragma once
#include <windows.h>

#include "baselib/svr_filestamp.h"

namespace Solvaris_Win32 {

// Stamps the file open at `file` (opened with read access). The content is
// read from the start through the handle (the file pointer is left where
// the read ended). A file larger than maxSize is stamped by size and time
// alone. exists is false when the handle cannot be asked or read;
// GetLastError tells why.
Solvaris::FileStamp stampOfOpenFile(HANDLE file, uint64_t maxSize = 64ull << 20);

} // namespace Solvaris_Win32
