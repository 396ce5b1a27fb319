#include "baselib/svr_filestamp_win.h"

#include <vector>

namespace Solvaris_Win32 {

Solvaris::FileStamp stampOfOpenFile(HANDLE file, uint64_t maxSize)
{
    Solvaris::FileStamp stamp;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return stamp;
    const uint64_t size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const uint64_t written = (uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    uint64_t hash = Solvaris::kHashStart;
    if (size <= maxSize) {
        std::vector<char> block(64 * 1024);
        uint64_t offset = 0;
        while (offset < size) {
            // Read at explicit offsets: the handle's position is no concern here.
            OVERLAPPED at = {};
            at.Offset = DWORD(offset);
            at.OffsetHigh = DWORD(offset >> 32);
            DWORD got = 0;
            const DWORD want = DWORD(size - offset < block.size() ? size - offset : block.size());
            if (!ReadFile(file, block.data(), want, &got, &at))
                return stamp;
            if (got == 0)
                break;  // cut meanwhile: the hash of what is there
            hash = Solvaris::hashBytes(block.data(), got, hash);
            offset += got;
        }
    }
    stamp.exists = true;
    stamp.size = size;
    stamp.written = written;
    stamp.content = hash;
    return stamp;
}

} // namespace Solvaris_Win32
