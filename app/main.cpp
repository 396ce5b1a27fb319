// Entry point of PrintvaneUI.exe.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr, L"Invalid argument.", L"Printvane-UI", MB_ICONERROR | MB_SYSTEMMODAL);
    return -1;
}
