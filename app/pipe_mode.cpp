#include "app/modes.h"
#include "app/progress_dialog.h"

#include <utility>

const DWORD kPipeOpenFlags = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// -pipe: the progress window on the converter's pipe. An invalid handle (the
// pipe could not be opened) is passed on as it is: the reader's first read
// fails and the window closes at once. The result is always 0.
int runPipeMode(Solvaris_Win32::UniqueHandle pipe, HWND owner)
{
    CProgressDialog dialog(std::move(pipe));
    dialog.DoModal(owner);
    return 0;
}
