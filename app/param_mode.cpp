#include "app/modes.h"

// Placeholder until the configuration dialog exists: the dialog cannot be
// created, so the settings stay untouched and the result is -1.
int runParamMode(const ParamArguments&, HWND)
{
    return -1;
}
