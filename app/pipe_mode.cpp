#include "app/modes.h"

// Placeholder until the progress window exists.
int runPipeMode(HANDLE, HWND)
{
    return 0;
}
