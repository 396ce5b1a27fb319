// Entry point of PrintvaneUI.exe: hands the wide argument vector to start-up
// and ends the process with its result.
#include "app/startup.h"

#include <cstdlib>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return runStartup(instance, __argc, __wargv);
}
