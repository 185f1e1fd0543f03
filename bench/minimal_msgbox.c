/* The yardstick of the start-up benchmark: the least a Windows program can do to put a
 * dialog on screen. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    return MessageBoxW(NULL, L"Minimal", L"Kelto", MB_OK | MB_ICONEXCLAMATION);
}
