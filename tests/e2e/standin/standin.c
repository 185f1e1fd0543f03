/* Stands in for a system program the end-to-end tests need to observe (cmd.exe, mmc.exe,
 * the settings app ...): appends one line to the launch record,
 * "<own path>\t<working folder>\t<command line>" in UTF-8, and exits 0 without doing anything
 * else. The command line comes last: it is the only field that may hold a tab.
 *
 * The record file is named by the environment variable KELTO_LAUNCH_RECORD, which the test
 * sets and every process it starts inherits; without it, C:\kelto-launches.txt. */
#include <windows.h>

static char* ToUtf8(const wchar_t* text, int* length) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    char* out = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)(n > 0 ? n : 1));
    if (out == NULL) return NULL;
    if (n <= 0) {
        out[0] = '\0';
        n = 1;
    } else {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out, n, NULL, NULL);
    }
    *length = n - 1;
    return out;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    wchar_t record[MAX_PATH];
    if (GetEnvironmentVariableW(L"KELTO_LAUNCH_RECORD", record, MAX_PATH) == 0) {
        lstrcpyW(record, L"C:\\kelto-launches.txt");
    }
    wchar_t self[MAX_PATH * 2];
    DWORD selfLength = GetModuleFileNameW(NULL, self, MAX_PATH * 2);
    self[selfLength < MAX_PATH * 2 ? selfLength : MAX_PATH * 2 - 1] = L'\0';

    wchar_t current[MAX_PATH * 2];
    DWORD currentLength = GetCurrentDirectoryW(MAX_PATH * 2, current);
    if (currentLength == 0 || currentLength >= MAX_PATH * 2) current[0] = L'\0';

    int pathLength = 0;
    int folderLength = 0;
    int lineLength = 0;
    char* path = ToUtf8(self, &pathLength);
    char* folder = ToUtf8(current, &folderLength);
    char* line = ToUtf8(GetCommandLineW(), &lineLength);
    if (path == NULL || folder == NULL || line == NULL) return 0;
    int total = pathLength + 1 + folderLength + 1 + lineLength + 1;
    char* entry = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)total);
    if (entry == NULL) return 0;
    char* at = entry;
    CopyMemory(at, path, (SIZE_T)pathLength);
    at += pathLength;
    *at++ = '\t';
    CopyMemory(at, folder, (SIZE_T)folderLength);
    at += folderLength;
    *at++ = '\t';
    CopyMemory(at, line, (SIZE_T)lineLength);
    entry[total - 1] = '\n';

    /* Several stand-ins may finish at once: one append each, retried while another holds it. */
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, entry, (DWORD)total, &written, NULL);
            CloseHandle(file);
            break;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(10);
    }
    return 0;
}
