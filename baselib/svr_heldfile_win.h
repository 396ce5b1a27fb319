// Waiting out a file that another program holds for a moment (a scanner, a
// reader of the same file, a save in another process): the operation that
// met it is tried again after a pause, until a budget of time is spent.
#pragma once
#include <windows.h>

#include <cstdint>

namespace Solvaris_Win32 {

// Whether `error` says that another program holds the file: opened without
// the sharing asked for, or a range locked.
inline bool isFileHeldError(uint32_t error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Whether a rename over `error`'s target failed because someone holds the
// target: a file open without delete sharing makes the rename fail with
// access denied rather than a sharing violation.
inline bool isRenameHeldError(uint32_t error)
{
    return isFileHeldError(error) || error == ERROR_ACCESS_DENIED;
}

// The budget starts when the object is made: one budget may cover several
// operations (each key of a save, say).
//
//     HeldFileRetry retry(1000, 5);
//     while (!write())
//         if (!retry.again(isFileHeldError(GetLastError())))
//             return false;
class HeldFileRetry {
public:
    HeldFileRetry(uint32_t budgetMs, uint32_t pauseMs)
        : m_deadline(GetTickCount64() + budgetMs), m_pauseMs(pauseMs)
    {
    }

    // Called after a failed try: false when the failure was not a held file
    // or the budget is spent; else pauses and returns true (try again).
    bool again(bool held)
    {
        if (!held || GetTickCount64() >= m_deadline)
            return false;
        Sleep(m_pauseMs);
        return true;
    }

private:
    ULONGLONG m_deadline;
    DWORD m_pauseMs;
};

} // namespace Solvaris_Win32
