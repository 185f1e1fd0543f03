/* Stands in for a system program the end-to-end tests need to observe (cmd.exe, mmc.exe,
 * the settings app, the emulator of the rescue VM ...): appends one line to the launch record
 * (see record.h) and exits 0 without doing anything else. */
#include <windows.h>

#include "record.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    StandinRecordLaunch();
    return 0;
}
