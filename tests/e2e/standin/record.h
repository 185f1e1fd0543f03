/* The launch record the stand-ins append to: one line per start,
 * "<own path>\t<working folder>\t<show mode>\t<command line>\n" in UTF-8, where the show mode
 * is the one the starter asked for (STARTF_USESHOWWINDOW) or "-" when it asked for none. The
 * command line comes last: it is the only field that may hold a tab.
 *
 * The record file is named by the environment variable KELTO_LAUNCH_RECORD, which the test
 * sets and every process it starts inherits; without it, C:\kelto-launches.txt. */
#pragma once

#include <windows.h>

static char* StandinToUtf8(const wchar_t* text, int* length) {
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

static void StandinRecordLaunch(void) {
    wchar_t record[MAX_PATH];
    if (GetEnvironmentVariableW(L"KELTO_LAUNCH_RECORD", record, MAX_PATH) == 0) {
        lstrcpyW(record, L"C:\\kelto-launches.txt");
    }
    wchar_t self[MAX_PATH * 2];
    DWORD selfLength = GetModuleFileNameW(NULL, self, MAX_PATH * 2);
    self[selfLength < MAX_PATH * 2 ? selfLength : MAX_PATH * 2 - 1] = L'\0';
    wchar_t folder[MAX_PATH * 2];
    DWORD folderLength = GetCurrentDirectoryW(MAX_PATH * 2, folder);
    if (folderLength == 0 || folderLength >= MAX_PATH * 2) folder[0] = L'\0';
    STARTUPINFOW startup;
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t show[16];
    if (startup.dwFlags & STARTF_USESHOWWINDOW) {
        wsprintfW(show, L"%u", (unsigned)startup.wShowWindow);
    } else {
        lstrcpyW(show, L"-");
    }

    const wchar_t* parts[4] = {self, folder, show, GetCommandLineW()};
    char* texts[4];
    int lengths[4];
    int total = 0;
    for (int i = 0; i < 4; ++i) {
        texts[i] = StandinToUtf8(parts[i], &lengths[i]);
        if (texts[i] == NULL) return;
        total += lengths[i] + 1; /* its tab, or the closing line feed */
    }
    char* entry = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)total);
    if (entry == NULL) return;
    int at = 0;
    for (int i = 0; i < 4; ++i) {
        CopyMemory(entry + at, texts[i], (SIZE_T)lengths[i]);
        at += lengths[i];
        entry[at++] = i < 3 ? '\t' : '\n';
    }

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
}
