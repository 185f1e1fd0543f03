/* The yardstick of the elevated-road benchmark: the least a Windows program can do for the
 * road from the customer's last answer to the started command window. One Yes/No box; on the
 * answer the program starts itself again through the shell's "runas" with one argument, and
 * that instance starts the native command processor with "/K ipconfig /all" in the system
 * folder, through the shell, and ends. */
#include <windows.h>
#include <shellapi.h>

/* A 32-bit process reaches the native system folder through Sysnative; a 64-bit one (the
 * x86-64 test bench) through System32 itself. */
#ifdef _WIN64
#define KELTO_NATIVE_SYSTEM L"System32"
#else
#define KELTO_NATIVE_SYSTEM L"Sysnative"
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)show;
    if (lstrcmpW(arguments, L"/elevated") == 0) {
        wchar_t program[MAX_PATH];
        wchar_t folder[MAX_PATH];
        ExpandEnvironmentStringsW(L"%SystemRoot%\\" KELTO_NATIVE_SYSTEM L"\\cmd.exe", program, MAX_PATH);
        ExpandEnvironmentStringsW(L"%SystemRoot%\\System32", folder, MAX_PATH);
        const INT_PTR started =
            (INT_PTR)ShellExecuteW(NULL, L"open", program, L"/K ipconfig /all", folder, SW_SHOWNORMAL);
        return started > 32 ? 0 : 1;
    }
    MessageBoxW(NULL, L"Minimal", L"Kelto", MB_YESNO | MB_ICONQUESTION);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    const INT_PTR started = (INT_PTR)ShellExecuteW(NULL, L"runas", self, L"/elevated", NULL, SW_SHOWNORMAL);
    return started > 32 ? 0 : 1;
}
