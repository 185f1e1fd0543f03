/* Stands in for a system program the end-to-end tests need to observe (cmd.exe, mmc.exe,
 * the settings app, the emulator of the rescue VM ...): appends one line to the launch record
 * (see record.h) and exits 0 without doing anything else.
 *
 * With KELTO_STANDIN_LINGER_MS set (decimal milliseconds, at most ten minutes) it stays
 * running that long before it exits, as the real programs stay open: an observer that
 * polls the process list (the acceptance kit) then sees it, and ends it itself. */
#include <windows.h>

#include "record.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    StandinRecordLaunch();
    wchar_t linger[16];
    const DWORD length = GetEnvironmentVariableW(L"KELTO_STANDIN_LINGER_MS", linger, 16);
    if (length > 0 && length < 16) {
        DWORD ms = 0;
        for (const wchar_t* c = linger; *c >= L'0' && *c <= L'9' && ms <= 600000; ++c)
            ms = ms * 10 + (DWORD)(*c - L'0');
        Sleep(ms < 600000 ? ms : 600000);
    }
    return 0;
}
