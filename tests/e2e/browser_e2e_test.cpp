// The browser's road: the open command the helper registers for kelto: (main window,
// Install), used the way Windows uses it, leads to the token prompt, and in an authorized
// session straight to consent.
#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;

const std::wstring kSchemeKey = L"Software\\Classes\\kelto";
const std::wstring kOpenCommand = kSchemeKey + L"\\shell\\open\\command";
constexpr const char* kInstallCaption = "הפעל פעולות Kelto";

class BrowserRoadTest : public HelperTest {
protected:
    // Presses Install in the main window and returns the open command it registered.
    std::wstring InstallThroughTheMainWindow() {
        auto helper = StartHelper();
        const auto window = WaitForMainWindow(helper);
        const auto* install = window.ControlWithText(kInstallCaption);
        if (install == nullptr) throw DriverError("no Install button");
        PressControl(install->hwnd);
        Answer(WaitForDialog(helper), IDOK);
        CloseMainWindow(helper, window);
        const auto command = ReadRegistry(kOpenCommand, L"");
        if (!command) throw DriverError("Install registered no open command");
        return Widen(command->data);
    }

    // What Windows starts for a URL: the open command with "%1" replaced by the URL.
    static std::wstring CommandFor(std::wstring command, const std::wstring& url) {
        const size_t at = command.find(L"%1");
        if (at == std::wstring::npos) throw DriverError("the open command has no %1: " + Narrow(command));
        return command.replace(at, 2, url);
    }
};

TEST_F(BrowserRoadTest, RegisteredOpenCommandReachesTheTokenPromptAndInASessionConsent) {
    const std::wstring command = InstallThroughTheMainWindow();

    auto first = StartRaw(CommandFor(command, L"kelto:ipconfig/sid/web-1"));
    const auto prompt = WaitForDialog(first);
    EXPECT_EQ(prompt.title, kTokenPromptTitle);
    Answer(prompt, IDCANCEL);
    WaitForExit(first);

    StoreAuthorizedSession("web-1", LocalSecondsSince2024() + 600);
    auto second = StartRaw(CommandFor(command, L"kelto:ipconfig/sid/web-1"));
    const auto consent = WaitForDialog(second);
    EXPECT_EQ(consent.title, kConsentTitle);
    Answer(consent, IDNO);
    WaitForExit(second);

    // Both got the URL in the double quotes of the registered command.
    const std::string received = VersionLine("\"kelto:ipconfig/sid/web-1\"");
    EXPECT_THAT(LogMessages(),
                ElementsAre(VersionLine(""), received, "Parsed tool: [ipconfig]", "Support session: [web-1]",
                            received, "Parsed tool: [ipconfig]", "Support session: [web-1]"));
}

// The registration copied under HKLM\Software\Classes, and removed again at the end.
class MachineRegistration {
public:
    explicit MachineRegistration(const std::wstring& key) : key_(key) {
        HKEY source = nullptr;
        HKEY target = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &source) != ERROR_SUCCESS ||
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &target, nullptr) != ERROR_SUCCESS ||
            ::RegCopyTreeW(source, nullptr, target) != ERROR_SUCCESS) {
            ADD_FAILURE() << "copying HKCU\\" << Narrow(key) << " to HKLM failed";
        }
        if (target != nullptr) ::RegCloseKey(target);
        if (source != nullptr) ::RegCloseKey(source);
    }
    ~MachineRegistration() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str()); }
    MachineRegistration(const MachineRegistration&) = delete;
    MachineRegistration& operator=(const MachineRegistration&) = delete;

private:
    std::wstring key_;
};

// Through the real shell, as a browser opens the URL: Wine looks URL schemes up only under
// HKLM\Software\Classes, so the registration is copied there first.
TEST_F(BrowserRoadTest, ShellOpensTheUrlWithTheRegisteredCommand) {
    InstallThroughTheMainWindow();
    const MachineRegistration registration(kSchemeKey);

    auto helper = ShellOpen(L"kelto:ipconfig/sid/web-2");
    const auto prompt = WaitForDialog(helper);
    EXPECT_EQ(prompt.title, kTokenPromptTitle);
    Answer(prompt, IDCANCEL);
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine(""), VersionLine("\"kelto:ipconfig/sid/web-2\""),
                                           "Parsed tool: [ipconfig]", "Support session: [web-2]"));
}

}  // namespace
}  // namespace kelto::e2e
