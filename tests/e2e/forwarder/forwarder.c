/* Stands in for curl.exe and tar.exe, which Wine lacks, by forwarding to Debian's curl and
 * bsdtar (Windows' tar is bsdtar): it records its start like every stand-in (../standin/record.h),
 * runs the Linux tool with the same arguments, Windows paths ("C:\...") turned into the
 * prefix's Unix paths, and exits with the tool's exit code.
 *
 * Which tool runs follows from the stand-in's own file name. A Windows process cannot wait
 * for a Linux program (Wine starts it detached), so the tool runs inside a small shell
 * script that ends by writing its exit code to a file, and the stand-in waits for that file. */
#include <windows.h>
#include <shellapi.h>

#include "../standin/record.h"

typedef char*(CDECL* UnixFileNameFn)(const wchar_t*);

static UnixFileNameFn unixFileName;

/* Appends text to a growing heap buffer. */
typedef struct {
    char* data;
    int length;
    int capacity;
} Buffer;

static void Append(Buffer* buffer, const char* text, int length) {
    if (length < 0) length = lstrlenA(text);
    if (buffer->length + length + 1 > buffer->capacity) {
        int capacity = (buffer->length + length + 1) * 2;
        char* grown = buffer->data == NULL ? (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)capacity)
                                           : (char*)HeapReAlloc(GetProcessHeap(), 0, buffer->data, (SIZE_T)capacity);
        if (grown == NULL) ExitProcess(250);
        buffer->data = grown;
        buffer->capacity = capacity;
    }
    CopyMemory(buffer->data + buffer->length, text, (SIZE_T)length);
    buffer->length += length;
    buffer->data[buffer->length] = '\0';
}

/* One shell word in single quotes; a quote inside becomes '\''. */
static void AppendQuoted(Buffer* buffer, const char* text) {
    Append(buffer, " '", 2);
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '\'') {
            Append(buffer, "'\\''", 4);
        } else {
            Append(buffer, c, 1);
        }
    }
    Append(buffer, "'", 1);
}

static int IsWindowsPath(const wchar_t* text) {
    return ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z')) && text[1] == L':' &&
           text[2] == L'\\';
}

/* The argument as the Linux tool needs it: a Windows path as its Unix path, anything else in UTF-8. */
static char* ForLinux(const wchar_t* argument) {
    if (IsWindowsPath(argument)) {
        char* path = unixFileName(argument);
        if (path != NULL) return path;
    }
    int length = 0;
    return StandinToUtf8(argument, &length);
}

static int EndsWithIgnoringCase(const wchar_t* text, const wchar_t* suffix) {
    int textLength = lstrlenW(text);
    int suffixLength = lstrlenW(suffix);
    return textLength >= suffixLength && lstrcmpiW(text + textLength - suffixLength, suffix) == 0;
}

static void WriteWholeFile(const wchar_t* path, const char* bytes, int length) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) ExitProcess(251);
    DWORD written = 0;
    WriteFile(file, bytes, (DWORD)length, &written, NULL);
    CloseHandle(file);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    StandinRecordLaunch();

    unixFileName = (UnixFileNameFn)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (unixFileName == NULL) return 252; /* not under Wine */

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    const char* tool = EndsWithIgnoringCase(self, L"\\curl.exe") ? "curl" : "bsdtar";

    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == NULL) return 253;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t script[MAX_PATH + 64];
    wchar_t exitFile[MAX_PATH + 64];
    wsprintfW(script, L"%skelto-forward-%lu.sh", temp, GetCurrentProcessId());
    wsprintfW(exitFile, L"%skelto-forward-%lu.rc", temp, GetCurrentProcessId());
    DeleteFileW(exitFile);
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);

    Buffer text = {NULL, 0, 0};
    Append(&text, "unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy\nPATH=/usr/bin:/bin\ncd", -1);
    AppendQuoted(&text, ForLinux(folder));
    Append(&text, " 2>/dev/null\n", -1);
    Append(&text, tool, -1);
    /* curl: no configuration file of the machine's user. */
    if (tool[0] == 'c') Append(&text, " -q", -1);
    for (int i = 1; i < count; ++i) AppendQuoted(&text, ForLinux(argv[i]));
    Append(&text, " </dev/null >/dev/null 2>&1\necho $? >", -1);
    const char* exitPath = unixFileName(exitFile);
    AppendQuoted(&text, exitPath);
    Append(&text, ".part\nmv", -1);
    AppendQuoted(&text, exitPath);
    Append(&text, ".part", -1);
    AppendQuoted(&text, exitPath);
    Append(&text, "\n", -1);
    WriteWholeFile(script, text.data, text.length);

    Buffer line = {NULL, 0, 0};
    Append(&line, "Z:\\bin\\sh \"", -1);
    Append(&line, unixFileName(script), -1);
    Append(&line, "\"", -1);
    wchar_t command[4096];
    MultiByteToWideChar(CP_UTF8, 0, line.data, -1, command, 4096);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return 254;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    /* curl gives up connecting after 20 s and retries twice: two minutes cover every case. */
    for (int waited = 0; waited < 120000; waited += 20) {
        HANDLE file = CreateFileW(exitFile, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            char digits[16] = {0};
            DWORD read = 0;
            ReadFile(file, digits, sizeof digits - 1, &read, NULL);
            CloseHandle(file);
            DeleteFileW(exitFile);
            DeleteFileW(script);
            int code = 0;
            for (DWORD i = 0; i < read && digits[i] >= '0' && digits[i] <= '9'; ++i) code = code * 10 + (digits[i] - '0');
            return code;
        }
        Sleep(20);
    }
    return 255;
}
