// Process entry: builds the Windows implementations and the main window (made when a road
// first needs it) and routes the one command line.
#include <windows.h>

#include "app/startup.h"
#include "base/command_line.h"
#include "intake/context.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"
#include "ui/main_window_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        // The helper runs elevated beside downloaded files: load system DLLs from System32 only.
        ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
        // The common controls and COM are set up where they are first used (the main window,
        // the shell, WMI), so that a start that only shows a message box does not load them.

        kelto::platform::win32::Win32System win32;
        kelto::intake::RequestState request;
        // Made when a road first needs it: shown, or as the owner of a box.
        kelto::ui::MainWindowWin mainWindow(instance);
        kelto::intake::Context context{win32.system, request, mainWindow};
        mainWindow.Attach(context);

        // The argument text is read from the raw command line: the C runtime's own split
        // would drop leading white space such as a lone tab.
        const std::string arguments = kelto::base::ArgumentsFromCommandLine(win32.process.CommandLine());
        if (kelto::app::RunStartup(context, mainWindow, arguments)) return mainWindow.RunMessageLoop();
        // A road that could not make the window it needed ends with the reason as its exit code.
        return static_cast<int>(mainWindow.CreateError());
    } catch (...) {
        return 1;
    }
}
