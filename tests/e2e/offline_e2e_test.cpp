// Offline support with the real executable: the cable guide opened from the main window and
// from the "offline" URL, its cable test against a local server that the connectivity probe
// reaches through WinHTTP's default proxy, and the offline support window with its token
// box, action buttons, activity list and internet check.
#include <cstdio>

#include "harness.h"
#include "probe_server.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;
using ::testing::UnorderedElementsAre;

constexpr const char* kGuideTitle = "Kelto Remote - ניסיון חיבור באמצעות כבל רשת";
constexpr const char* kOfflineTitle = "Kelto Remote - טיפול ללא אינטרנט";
constexpr const char* kOfflineButtonCaption = "אין לי אינטרנט - פתח טיפול ללא חיבור";

// The guide's controls as designed, in tab order; the picture last.
constexpr const char* kGuideCaptions[] = {
    "נסה להתחבר באמצעות כבל רשת",
    "פעולה פשוטה זו עשויה להחזיר את החיבור ללא שינוי הגדרות במחשב.",
    "לפני שמבצעים איפוס, נסה לחבר כבל רשת ישירות למחשב.",
    "1. חבר קצה אחד של כבל הרשת לשקע ה-LAN במחשב עד שנשמעת נקישה.",
    "2. חבר את הקצה השני לשקע הרשת בקיר או לנתב. המתן כ-20 שניות.",
    "חיברתי כבל - בדוק חיבור",
    "לא עזר - המשך לפעולות תיקון",
    "סגור",
    "",
};
constexpr const char* kCableCaption = "חיברתי כבל - בדוק חיבור";
constexpr const char* kCableAgainCaption = "חיברתי כבל - בדוק שוב";
constexpr const char* kContinueCaption = "לא עזר - המשך לפעולות תיקון";
constexpr const char* kStillOfflineQuestion = "עדיין אין גישה לאינטרנט.\r\nלעבור לפעולות התיקון הנוספות?";
constexpr const char* kInternetBack = "החיבור לאינטרנט חזר בהצלחה.\r\nאפשר לחזור לאתר ולהמשיך את הטיפול.";

constexpr const char* kTokenPrompt = "הזן טוקן בן 6 ספרות שקיבלת מהנציג בטלפון.";
constexpr const char* kTokenNotValid = "הטוקן עדיין אינו תקין או שפג תוקפו.";
constexpr const char* kTokenReady = "הטוקן תקין ומוכן להפעלת פעולה.";
constexpr const char* kTokenAuthorized = "הטוקן כבר אושר לשיחת התמיכה הנוכחית.";
constexpr const char* kConnectionOffline = "מצב ללא אינטרנט - אפשר לבצע פעולות מקומיות בהנחיית הנציג בטלפון";
constexpr const char* kIpInfoCaption = "הצג פרטי IP";
constexpr const char* kCheckInternetCaption = "בדוק אם האינטרנט חזר";

// Sets a variable of the test process, which the helpers it starts inherit, for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(name_, nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const wchar_t* name_;
};

// The probe's request line as it reaches the proxy, in absolute form. (Wine's WinHTTP writes
// the default port into it, "host:80"; Windows leaves it out. Both name the same resource.)
std::string ProbeRequestLine(const ProbeRequest& request) {
    std::string line = request.requestLine;
    const std::string defaultPort = "msftconnecttest.com:80/";
    if (const size_t at = line.find(defaultPort); at != std::string::npos)
        line.erase(at + defaultPort.size() - 4, 3);
    return line;
}

// "hh:nn:ss - " + text, with a time of this test's run.
::testing::Matcher<const std::string&> IsActivityLine(const std::string& text) {
    return ::testing::Truly([text](const std::string& line) {
        if (line.size() != 11 + text.size() || line.substr(8, 3) != " - " || line.substr(11) != text)
            return false;
        for (int i : {0, 1, 3, 4, 6, 7})
            if (line[i] < '0' || line[i] > '9') return false;
        return line[2] == ':' && line[5] == ':';
    });
}

class OfflineTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        server_ = std::make_unique<ProbeServer>(ProbeAnswer::NotFound);
        proxy_ = std::make_unique<ScopedEnvironment>(L"http_proxy", server_->ProxyUrl());
    }
    void TearDown() override {
        HelperTest::TearDown();
        proxy_.reset();
        server_.reset();
    }

    ProbeServer& Server() { return *server_; }
    void UseProxy(const std::wstring& url) {
        proxy_ = std::make_unique<ScopedEnvironment>(L"http_proxy", url);
    }
    // WinHTTP's own proxy setting empty, as on a customer's PC.
    void NoWinHttpProxy() { proxy_.reset(); }

    static const ControlInfo& Control(const WindowSnapshot& window, const char* caption) {
        return window.ControlCaptioned(caption);
    }
    static const ControlInfo& ControlOfClass(const WindowSnapshot& window, const char* className) {
        for (const auto& c : window.controls)
            if (c.className == className) return c;
        throw DriverError(std::string("no control of class ") + className);
    }

    // The main window, then its offline button: the guide, owned by the main window.
    std::pair<WindowSnapshot, WindowSnapshot> OpenGuideFromMainWindow(const Process& helper) {
        const auto main = WaitForMainWindow(helper);
        PressControl(Control(main, kOfflineButtonCaption).hwnd);
        return {main, WaitForWindow(helper, kGuideTitle)};
    }

    // The guide from the "offline" URL, then cmdContinue: the offline support window.
    WindowSnapshot OpenOfflineWindowFromUrl(const Process& helper) {
        const auto guide = WaitForWindow(helper, kGuideTitle);
        PressControl(Control(guide, kContinueCaption).hwnd);
        WaitUntilGone(guide.hwnd, Deadline::In(kDefaultWait));
        return WaitForWindow(helper, kOfflineTitle);
    }

    // Types one character as the keyboard would (WM_CHAR: the box's length limit applies).
    static void TypeChar(HWND edit, wchar_t c) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(edit, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, 5000, &ignored);
    }

    static std::vector<std::string> ListLines(HWND list) {
        std::vector<std::string> lines;
        const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<size_t>(length));
            lines.push_back(Narrow(text));
        }
        return lines;
    }

    // The log's Hebrew as code page 1252 writes it: one "?" per letter.
    static std::string AsAnsi(const std::string& utf8) {
        const std::wstring wide = Widen(utf8);
        std::string out;
        for (wchar_t c : wide) out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    }

private:
    std::unique_ptr<ProbeServer> server_;
    std::unique_ptr<ScopedEnvironment> proxy_;
};

// ---- the cable guide ----

TEST_F(OfflineTest, MainWindowOpensTheGuideModallyWithItsPicture) {
    auto helper = StartHelper();
    const auto [main, guide] = OpenGuideFromMainWindow(helper);
    EXPECT_EQ(guide.title, kGuideTitle);
    std::vector<std::string> captions;
    for (const auto& c : guide.controls) captions.push_back(c.text);
    EXPECT_THAT(captions, ::testing::ElementsAreArray(kGuideCaptions));
    EXPECT_EQ(::GetWindow(guide.hwnd, GW_OWNER), main.hwnd);
    EXPECT_FALSE(::IsWindowEnabled(main.hwnd));
    ExpectRightToLeftReading(guide);

    // Tab walks the three buttons and comes round again.
    const HWND cable = Control(guide, kCableCaption).hwnd;
    std::vector<HWND> walk{cable};
    for (int i = 0; i < 3; ++i) walk.push_back(::GetNextDlgTabItem(guide.hwnd, walk.back(), FALSE));
    EXPECT_EQ(walk, (std::vector<HWND>{cable, Control(guide, kContinueCaption).hwnd,
                                       Control(guide, "סגור").hwnd, cable}));

    // The picture, drawn unmirrored: the laptop on the left, the wall on the right.
    const auto& picture = guide.controls.back();
    Image image;
    PollUntil(Deadline::In(milliseconds(5000)), [&] {
        image = CaptureControl(picture);
        return PixelsNear(image, Rgb(0x3A, 0x3F, 0x47), 6) > 1000;
    });
    const auto half = [&](bool left) {
        Image part;
        part.width = image.width / 2;
        part.height = image.height;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < part.width; ++x)
                part.pixels.push_back(image.At(left ? x : x + part.width, y));
        return part;
    };
    EXPECT_GT(PixelsNear(half(true), Rgb(0x3A, 0x3F, 0x47), 6), 1000) << "laptop lid on the left";
    EXPECT_EQ(PixelsNear(half(false), Rgb(0x3A, 0x3F, 0x47), 6), 0) << "no laptop on the right";
    EXPECT_GT(PixelsNear(half(false), Rgb(0xF2, 0xEE, 0xE8), 2), 1000) << "wall on the right";
    SaveScreenshot(guide.hwnd, "cable-guide");

    // Colours as designed, and Hebrew that reads from the right edge of its label.
    const auto& title = Control(guide, kGuideCaptions[0]);
    const auto& tryFirst = Control(guide, kGuideCaptions[2]);
    EXPECT_EQ(DominantColour(CaptureControl(Control(guide, kCableCaption))), Rgb(0x07, 0x68, 0xE8))
        << "cable button";
    EXPECT_EQ(DominantColour(CaptureControl(tryFirst)), Rgb(0xFF, 0xF6, 0xF0)) << "notice background";
    EXPECT_GE(PixelsNear(CaptureControl(tryFirst), Rgb(0x0A, 0x47, 0xA8), 24), 10) << "notice text";
    EXPECT_GE(PixelsNear(CaptureControl(title), Rgb(0x0A, 0x47, 0xA8), 24), 10) << "title text";
    ExpectTextHugsRightEdge(title);
    ExpectTextHugsRightEdge(tryFirst);

    // Closing it returns to the main window, which stays open.
    PressControl(Control(guide, "סגור").hwnd);
    WaitUntilGone(guide.hwnd, Deadline::In(kDefaultWait));
    EXPECT_TRUE(
        PollUntil(Deadline::In(milliseconds(5000)), [&] { return ::IsWindowEnabled(main.hwnd) != FALSE; }));
    EXPECT_TRUE(IsRunning(helper));
    CloseMainWindow(helper, main);
    EXPECT_THAT(LogMessages(),
                ElementsAre("Version 1.12.0 Command: []", "Offline Ethernet cable guide opened."));
}

TEST_F(OfflineTest, OfflineUrlOpensTheGuideWithoutOwnerAndEscapeEndsTheProcess) {
    auto helper = StartHelper(L"\"kelto:offline\"");
    const auto guide = WaitForWindow(helper, kGuideTitle);
    EXPECT_EQ(::GetWindow(guide.hwnd, GW_OWNER), nullptr);
    PressKey(Control(guide, kCableCaption).hwnd, VK_ESCAPE);
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(),
                ElementsAre("Version 1.12.0 Command: [\"kelto:offline\"]", "Parsed tool: [offline]",
                            "Support session: []", "Offline Ethernet cable guide opened."));
}

TEST_F(OfflineTest, CableTestOfflineAsksNoKeepsTheGuideYesOpensTheRepairActions) {
    auto helper = StartHelper(L"kelto:offline");
    const auto guide = WaitForWindow(helper, kGuideTitle);
    const HWND cable = Control(guide, kCableCaption).hwnd;

    PressControl(cable);
    auto question = WaitForDialog(helper);
    ExpectMessageBox(question, "Kelto Remote", kStillOfflineQuestion, IconKind::Question, {IDYES, IDNO});
    EXPECT_EQ(::GetWindow(question.hwnd, GW_OWNER), guide.hwnd);
    SaveScreenshot(question.hwnd, "guide-still-offline-question");
    // Meanwhile the button reads "check again" and is enabled.
    EXPECT_EQ(TextOf(cable), kCableAgainCaption);
    EXPECT_TRUE(::IsWindowEnabled(cable));
    Answer(question, IDNO);
    EXPECT_TRUE(::IsWindowVisible(guide.hwnd));
    EXPECT_EQ(TextOf(cable), kCableAgainCaption);

    PressControl(cable);
    question = WaitForDialog(helper);
    ExpectMessageBox(question, "Kelto Remote", kStillOfflineQuestion, IconKind::Question, {IDYES, IDNO});
    Answer(question, IDYES);
    const auto offline = WaitForWindow(helper, kOfflineTitle);
    EXPECT_FALSE(::IsWindowVisible(guide.hwnd));
    PressControl(Control(offline, "סגור").hwnd);
    WaitForExit(helper);

    const std::string still = "Ethernet cable connected but internet still offline.";
    EXPECT_THAT(LogMessages(),
                ElementsAre("Version 1.12.0 Command: [kelto:offline]", "Parsed tool: [offline]",
                            "Support session: []", "Offline Ethernet cable guide opened.", still, still,
                            AsAnsi("Offline: מצב טיפול ללא אינטרנט נפתח.")));
    // The probe asked for Windows' test file, uncached, through the proxy.
    const auto requests = Server().Requests();
    ASSERT_THAT(requests, SizeIs(2));
    for (const auto& request : requests) {
        EXPECT_EQ(ProbeRequestLine(request), "GET http://www.msftconnecttest.com/connecttest.txt HTTP/1.1");
        EXPECT_THAT(request.headers, ::testing::Contains("Cache-Control: no-cache"));
    }
}

// The guide opens with the focus on its coloured cable button; Enter presses it as it
// would a plain button, and once the question is answered the focus is back on the button,
// so that Enter checks again.
TEST_F(OfflineTest, EnterOnTheFocusedCableButtonRunsTheCableTestAgainAndAgain) {
    auto helper = StartHelper(L"kelto:offline");
    const auto guide = WaitForWindow(helper, kGuideTitle);
    const HWND cable = Control(guide, kCableCaption).hwnd;
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(WaitForFocus(guide.hwnd, cable, Deadline::In(kDefaultWait)))
            << "round " << round << ": the focus is on \"" << TextOf(FocusOf(guide.hwnd)) << "\"";
        TypeKey(guide.hwnd, VK_RETURN, Deadline::In(kDefaultWait));
        const auto question = WaitForDialog(helper);
        ExpectMessageBox(question, "Kelto Remote", kStillOfflineQuestion, IconKind::Question, {IDYES, IDNO});
        Answer(question, IDNO);
    }
    PressControl(Control(guide, "סגור").hwnd);
    WaitForExit(helper);
    EXPECT_EQ(Server().Requests().size(), 2u);
    const std::string still = "Ethernet cable connected but internet still offline.";
    EXPECT_THAT(LogMessages(), ::testing::Contains(still).Times(2));
}

TEST_F(OfflineTest, CableTestOnlineReportsItAndClosesGuideAndMainWindow) {
    Server().SetAnswer(ProbeAnswer::NoContent);
    auto helper = StartHelper();
    const auto [main, guide] = OpenGuideFromMainWindow(helper);
    PressControl(Control(guide, kCableCaption).hwnd);
    const auto box = WaitForDialog(helper);
    ExpectMessageBox(box, "Kelto Remote", kInternetBack, IconKind::Information, {IDOK});
    SaveScreenshot(box.hwnd, "guide-internet-back");
    Answer(box, IDOK);
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(),
                ElementsAre("Version 1.12.0 Command: []", "Offline Ethernet cable guide opened.",
                            "Internet restored after Ethernet cable guide."));
}

// What the probe makes of each kind of answer, and of no network at all.
struct ProbeCase {
    const char* name;
    ProbeAnswer answer;
    enum { Server, ClosedPort, UnresolvableProxy } network;
    bool online;
};

class ProbeVerdictTest : public OfflineTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeVerdictTest, CableTestJudgesTheFinalStatus) {
    const auto& c = GetParam();
    Server().SetAnswer(c.answer);
    if (c.network == ProbeCase::ClosedPort)
        UseProxy(L"http://127.0.0.1:" + std::to_wstring(ClosedLocalPort()));
    if (c.network == ProbeCase::UnresolvableProxy) UseProxy(L"http://kelto-probe.invalid:8080");
    auto helper = StartHelper(L"kelto:offline");
    const auto guide = WaitForWindow(helper, kGuideTitle);
    PressControl(Control(guide, kCableCaption).hwnd);
    // The silent server is cut by the probe's own receive timeout.
    const auto box = WaitForDialog(helper, milliseconds(30000));
    if (c.online) {
        ExpectMessageBox(box, "Kelto Remote", kInternetBack, IconKind::Information, {IDOK});
        Answer(box, IDOK);
    } else {
        ExpectMessageBox(box, "Kelto Remote", kStillOfflineQuestion, IconKind::Question, {IDYES, IDNO});
        Answer(box, IDNO);
        PressControl(Control(guide, "סגור").hwnd);
    }
    WaitForExit(helper);
    if (c.network == ProbeCase::Server) {
        const auto requests = Server().Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(ProbeRequestLine(requests[0]),
                  "GET http://www.msftconnecttest.com/connecttest.txt HTTP/1.1");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProbeVerdictTest,
    ::testing::Values(
        ProbeCase{"NoContent", ProbeAnswer::NoContent, ProbeCase::Server, true},
        ProbeCase{"RedirectToOk", ProbeAnswer::RedirectToOk, ProbeCase::Server, true},
        ProbeCase{"RedirectToMissing", ProbeAnswer::RedirectToMissing, ProbeCase::Server, false},
        ProbeCase{"NotFound", ProbeAnswer::NotFound, ProbeCase::Server, false},
        ProbeCase{"ServerError", ProbeAnswer::ServerError, ProbeCase::Server, false},
        ProbeCase{"Silent", ProbeAnswer::Silent, ProbeCase::Server, false},
        ProbeCase{"ClosedPort", ProbeAnswer::NoContent, ProbeCase::ClosedPort, false},
        ProbeCase{"UnresolvableProxy", ProbeAnswer::NoContent, ProbeCase::UnresolvableProxy, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the browser's proxy ----

// The current user's Internet settings, as the browser and Windows' proxy settings page keep
// them: a "DefaultConnectionSettings" record (version 0x46, a change counter, the flags, then
// the fixed proxy, its bypass list and the proxy script's address, each an ANSI string after
// its length) and, beside it, the fixed proxy's plain values. Put back as they were at the end.
class ScopedBrowserProxy {
public:
    static constexpr DWORD kFixedProxy = 0x2;
    static constexpr DWORD kProxyScript = 0x4;

    ScopedBrowserProxy(DWORD flags, const std::string& proxy, const std::string& bypass,
                       const std::string& scriptUrl) {
        std::vector<BYTE> record;
        const auto dword = [&](DWORD d) {
            for (int i = 0; i < 4; ++i) record.push_back(static_cast<BYTE>(d >> (8 * i)));
        };
        const auto text = [&](const std::string& t) {
            dword(static_cast<DWORD>(t.size()));
            record.insert(record.end(), t.begin(), t.end());
        };
        dword(0x46);
        dword(1);
        dword(0x1 | flags);  // direct connections are always allowed besides
        text(proxy);
        text(bypass);
        text(scriptUrl);
        for (int i = 0; i < 8; ++i) dword(0);  // the record's remaining fields, unused here
        HKEY key = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr);
        ::RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, record.data(),
                         static_cast<DWORD>(record.size()));
        ::RegCloseKey(key);
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        const DWORD enable = (flags & kFixedProxy) ? 1 : 0;
        ::RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                         sizeof enable);
        const std::wstring server = Widen(proxy);
        ::RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                         static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }
    ~ScopedBrowserProxy() {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettings, L"ProxyEnable");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettings, L"ProxyServer");
    }
    ScopedBrowserProxy(const ScopedBrowserProxy&) = delete;
    ScopedBrowserProxy& operator=(const ScopedBrowserProxy&) = delete;

private:
    static constexpr const wchar_t* kSettings =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    static constexpr const wchar_t* kConnections =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
};

class BrowserProxyTest : public OfflineTest {
protected:
    // The cable test with WinHTTP's own proxy setting empty: the answer box it ends with.
    WindowSnapshot CableTestWithoutWinHttpProxy(const Process& helper) {
        const auto guide = WaitForWindow(helper, kGuideTitle);
        PressControl(Control(guide, kCableCaption).hwnd);
        return WaitForDialog(helper);
    }
    static std::string HostPort(const ProbeServer& server) {
        return "127.0.0.1:" + std::to_string(server.Port());
    }
};

// A customer behind a company proxy: the browser's fixed proxy carries the probe, although
// WinHTTP's own setting names none.
TEST_F(BrowserProxyTest, TheProbeGoesThroughTheBrowsersFixedProxy) {
    Server().SetAnswer(ProbeAnswer::NoContent);
    ScopedBrowserProxy proxy(ScopedBrowserProxy::kFixedProxy, HostPort(Server()), "<local>", "");
    NoWinHttpProxy();
    auto helper = StartHelper(L"kelto:offline");
    const auto box = CableTestWithoutWinHttpProxy(helper);
    ExpectMessageBox(box, "Kelto Remote", kInternetBack, IconKind::Information, {IDOK});
    Answer(box, IDOK);
    WaitForExit(helper);
    const auto requests = Server().Requests();
    ASSERT_THAT(requests, SizeIs(1));
    EXPECT_EQ(ProbeRequestLine(requests[0]), "GET http://www.msftconnecttest.com/connecttest.txt HTTP/1.1");
}

// A proxy script whose server never answers holds the probe up for the discovery's bound
// only (the script download itself would wait half a minute); then the fixed proxy of the
// same settings carries the request.
TEST_F(BrowserProxyTest, AProxyScriptThatNeverAnswersEndsWithinTheBound) {
    Server().SetAnswer(ProbeAnswer::NoContent);
    ProbeServer silentScript(ProbeAnswer::Silent);
    ScopedBrowserProxy proxy(ScopedBrowserProxy::kFixedProxy | ScopedBrowserProxy::kProxyScript,
                             HostPort(Server()), "", "http://" + HostPort(silentScript) + "/proxy.pac");
    NoWinHttpProxy();
    auto helper = StartHelper(L"kelto:offline");
    const auto box = CableTestWithoutWinHttpProxy(helper);
    ExpectMessageBox(box, "Kelto Remote", kInternetBack, IconKind::Information, {IDOK});
    Answer(box, IDOK);
    WaitForExit(helper);
    EXPECT_THAT(silentScript.Requests(), SizeIs(1));
    EXPECT_THAT(Server().Requests(), SizeIs(1));
}

// ---- the offline support window ----

TEST_F(OfflineTest, ContinueOpensTheOfflineWindowWithATaskbarButtonOnTheUrlRoad) {
    auto helper = StartHelper(L"kelto:offline");
    const auto offline = OpenOfflineWindowFromUrl(helper);
    EXPECT_TRUE(offline.exStyle & WS_EX_APPWINDOW);
    ExpectRightToLeftReading(offline);
    const HWND owner = ::GetWindow(offline.hwnd, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_FALSE(::IsWindowVisible(owner));  // the hidden main window
    const auto& list = ControlOfClass(offline, "ListBox");
    EXPECT_THAT(ListLines(list.hwnd), ElementsAre(IsActivityLine("מצב טיפול ללא אינטרנט נפתח.")));
    EXPECT_EQ(Control(offline, kConnectionOffline).text, kConnectionOffline);

    // The keyboard walk, labels and frames left out.
    const std::vector<const char*> walk = {"",  // txtToken
                                           "הצג פרטי IP",
                                           "בדיקת Ping",
                                           "פתח מתאמי רשת",
                                           "הצג מצב Wi-Fi",
                                           "ניקוי DNS",
                                           "חידוש כתובת IP",
                                           "איפוס Proxy",
                                           "איפוס Winsock",
                                           "איפוס TCP/IP",
                                           "איפוס מלא: FW + Winsock + IP",
                                           "",  // lstActivity
                                           "בדוק אם האינטרנט חזר",
                                           "סגור",
                                           "חזרה לאתחול רגיל",
                                           "בטל אתחול מתוזמן",
                                           "בטל מצב טיסה",
                                           "התקן כרטיס רשת מחדש"};
    const HWND token = ControlOfClass(offline, "Edit").hwnd;
    HWND at = token;
    std::vector<std::string> walked;
    for (size_t i = 0; i < walk.size(); ++i) {
        walked.push_back(ClassNameOf(at) == "ListBox" || ClassNameOf(at) == "Edit" ? "" : TextOf(at));
        at = ::GetNextDlgTabItem(offline.hwnd, at, FALSE);
    }
    EXPECT_THAT(walked, ::testing::ElementsAreArray(walk));
    EXPECT_EQ(at, token) << "the walk comes round to the token box";

    PressKey(token, VK_ESCAPE);
    WaitForExit(helper);
    // cmdContinue adds no line of its own.
    EXPECT_THAT(LogMessages(),
                ElementsAre("Version 1.12.0 Command: [kelto:offline]", "Parsed tool: [offline]",
                            "Support session: []", "Offline Ethernet cable guide opened.",
                            AsAnsi("Offline: מצב טיפול ללא אינטרנט נפתח.")));
}

TEST_F(OfflineTest, TokenStatusFollowsEveryKeyAndASeventhCharacterCannotGoIn) {
    const std::string token = TokenOfWindow(SettledTokenWindow(60));
    auto helper = StartHelper(L"kelto:offline/sid/s-42");
    const auto offline = OpenOfflineWindowFromUrl(helper);
    const HWND edit = ControlOfClass(offline, "Edit").hwnd;
    const auto& status = Control(offline, kTokenPrompt);
    SaveScreenshot(offline.hwnd, "offline-token-empty");

    TypeChar(edit, L' ');
    EXPECT_EQ(TextOf(status.hwnd), kTokenPrompt) << "blanks count as empty";
    TypeChar(edit, VK_BACK);
    for (size_t i = 0; i < 5; ++i) {
        TypeChar(edit, static_cast<wchar_t>(token[i]));
        EXPECT_EQ(TextOf(status.hwnd), kTokenNotValid) << "after " << i + 1 << " digits";
    }
    SaveScreenshot(offline.hwnd, "offline-token-invalid");
    EXPECT_GE(PixelsNear(CaptureControl(status), Rgb(0xC0, 0x40, 0x40), 24), 10);
    ExpectTextHugsRightEdge(status);
    TypeChar(edit, static_cast<wchar_t>(token[5]));
    EXPECT_EQ(TextOf(status.hwnd), kTokenReady);
    TypeChar(edit, L'7');
    TypeChar(edit, L'\x05D0');  // a Hebrew letter: any script, still cut at six
    EXPECT_EQ(TextOf(edit), token);
    EXPECT_EQ(TextOf(status.hwnd), kTokenReady);
    PollUntil(Deadline::In(milliseconds(3000)),
              [&] { return PixelsNear(CaptureControl(status), Rgb(0x00, 0x50, 0x80), 24) >= 10; });
    EXPECT_GE(PixelsNear(CaptureControl(status), Rgb(0x00, 0x50, 0x80), 24), 10);
    SaveScreenshot(offline.hwnd, "offline-token-valid");
    PressControl(Control(offline, "סגור").hwnd);
    WaitForExit(helper);
}

TEST_F(OfflineTest, MissingAndWrongTokensAreRefusedAndTheWindowStaysOpen) {
    const std::int64_t window = SettledTokenWindow(60);
    auto helper = StartHelper(L"kelto:offline/sid/s-42");
    const auto offline = OpenOfflineWindowFromUrl(helper);
    const HWND list = ControlOfClass(offline, "ListBox").hwnd;
    const HWND edit = ControlOfClass(offline, "Edit").hwnd;

    PressControl(Control(offline, kIpInfoCaption).hwnd);
    auto box = WaitForDialog(helper);
    ExpectMessageBox(box, "Kelto", "יש להזין תחילה טוקן שקיבלת מהנציג.", IconKind::Information, {IDOK});
    EXPECT_EQ(::GetWindow(box.hwnd, GW_OWNER), offline.hwnd);
    SaveScreenshot(box.hwnd, "offline-token-missing");
    Answer(box, IDOK);

    for (wchar_t c : Widen(TokenOfWindow(window + 5))) TypeChar(edit, c);
    PressControl(Control(offline, kIpInfoCaption).hwnd);
    box = WaitForDialog(helper);
    ExpectMessageBox(box, "Kelto", "קוד הטוקן שגוי או שפג תוקפו.\r\nבקש מהנציג ליצור טוקן חדש.",
                     IconKind::Exclamation, {IDOK});
    SaveScreenshot(box.hwnd, "offline-token-refused");
    Answer(box, IDOK);

    EXPECT_TRUE(PollUntil(Deadline::In(milliseconds(5000)), [&] { return ListLines(list).size() == 3; }));
    EXPECT_THAT(ListLines(list), ElementsAre(IsActivityLine("מצב טיפול ללא אינטרנט נפתח."),
                                             IsActivityLine("הפעולה לא הופעלה: הצגת פרטי IP"),
                                             IsActivityLine("הפעולה לא הופעלה: הצגת פרטי IP")));
    EXPECT_TRUE(::IsWindowVisible(offline.hwnd));
    PressControl(Control(offline, "סגור").hwnd);
    WaitForExit(helper);
    EXPECT_TRUE(Launches().empty());
}

TEST_F(OfflineTest, AValidTokenSendsTheActionAndEverythingCloses) {
    const std::string token = TokenOfWindow(SettledTokenWindow(60));
    auto helper = StartHelper();
    const auto [main, guide] = OpenGuideFromMainWindow(helper);
    PressControl(Control(guide, kContinueCaption).hwnd);
    const auto offline = WaitForWindow(helper, kOfflineTitle);
    EXPECT_EQ(::GetWindow(offline.hwnd, GW_OWNER), main.hwnd);
    EXPECT_FALSE(offline.exStyle & WS_EX_APPWINDOW) << "the visible main window has the taskbar button";
    const HWND edit = ControlOfClass(offline, "Edit").hwnd;
    for (char c : token) TypeChar(edit, static_cast<wchar_t>(c));

    PressControl(Control(offline, kIpInfoCaption).hwnd);
    const auto consent = WaitForDialog(helper);
    EXPECT_EQ(consent.title, kConsentTitle);
    Answer(consent, IDYES);
    const auto restore = WaitForDialog(helper);
    EXPECT_EQ(restore.title, "Kelto - נקודת שחזור");
    Answer(restore, IDNO);
    WaitForExit(helper);
    WaitUntilAllEnded();

    const auto launches = Launches();
    ASSERT_THAT(launches, SizeIs(1));
    // The native command processor, by its full path, started in the system folder.
    EXPECT_EQ(launches[0].program, "C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(launches[0].commandLine,
              "\"" + NativeSystemFolder() + "\\cmd.exe\" /K ipconfig /all");
    EXPECT_EQ(launches[0].workingFolder, "C:\\windows\\System32");
    const auto log = LogMessages();
    ASSERT_THAT(log, SizeIs(6));
    EXPECT_THAT(
        std::vector<std::string>(log.begin(), log.begin() + 4),
        ElementsAre("Version 1.12.0 Command: []", "Offline Ethernet cable guide opened.",
                    AsAnsi("Offline: מצב טיפול ללא אינטרנט נפתח."), "Approved offline tool: ipconfig"));
    // The window logs the action as sent once the shell has started the elevated instance,
    // which may have logged its own start by then.
    EXPECT_THAT(std::vector<std::string>(log.begin() + 4, log.end()),
                UnorderedElementsAre(AsAnsi("Offline: הפעולה נשלחה: הצגת פרטי IP"),
                                     "Version 1.12.0 Command: [/elevated:ipconfig:" + token +
                                         ":0:::0:0:" + OwnUserSid() + "]"));
}

TEST_F(OfflineTest, AStoredSessionDisablesTheTokenBoxAndActionsNeedNoToken) {
    StoreAuthorizedSession("s-42", LocalSecondsSince2024() + 3600);
    auto helper = StartHelper(L"kelto:offline");
    const auto offline = OpenOfflineWindowFromUrl(helper);
    const auto& edit = ControlOfClass(offline, "Edit");
    EXPECT_FALSE(edit.enabled);
    EXPECT_NE(offline.ControlWithText(kTokenAuthorized), nullptr);
    SaveScreenshot(offline.hwnd, "offline-token-authorized");

    PressControl(Control(offline, kIpInfoCaption).hwnd);
    Answer(WaitForDialog(helper), IDYES);
    Answer(WaitForDialog(helper), IDNO);
    WaitForExit(helper);
    WaitUntilAllEnded();
    ASSERT_THAT(Launches(), SizeIs(1));
    const auto log = LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_THAT(std::vector<std::string>(log.end() - 2, log.end()),
                UnorderedElementsAre(
                    AsAnsi("Offline: הפעולה נשלחה: הצגת פרטי IP"),
                    "Version 1.12.0 Command: [/elevated:ipconfig::0:s-42::0:0:" + OwnUserSid() + "]"));
}

TEST_F(OfflineTest, InternetChecksShowOfflineThenOnlineAndKeepTheWindowOpen) {
    auto helper = StartHelper(L"kelto:offline");
    const auto offline = OpenOfflineWindowFromUrl(helper);
    const HWND check = Control(offline, kCheckInternetCaption).hwnd;
    const auto& connection = Control(offline, kConnectionOffline);
    const HWND list = ControlOfClass(offline, "ListBox").hwnd;

    PressControl(check);
    ASSERT_TRUE(WaitForText(connection.hwnd, "עדיין אין גישה לאינטרנט. המשך לפי הנחיית הנציג."));
    PollUntil(Deadline::In(milliseconds(5000)), [&] { return ::IsWindowEnabled(check) != FALSE; });
    EXPECT_EQ(DominantColour(CaptureControl(connection)), Rgb(0xFF, 0xF6, 0xF0));
    SaveScreenshot(offline.hwnd, "offline-internet-still-offline");

    Server().SetAnswer(ProbeAnswer::NoContent);
    for (int i = 0; i < 2; ++i) {
        PressControl(check);
        ASSERT_TRUE(WaitForText(connection.hwnd, "האינטרנט חזר. אפשר לחזור לאתר ולהמשיך בצ'אט."));
        EXPECT_TRUE(
            PollUntil(Deadline::In(milliseconds(5000)), [&] { return ListLines(list).size() == 3u + i; }));
        PollUntil(Deadline::In(milliseconds(5000)), [&] { return ::IsWindowEnabled(check) != FALSE; });
    }
    PollUntil(Deadline::In(milliseconds(3000)),
              [&] { return DominantColour(CaptureControl(connection)) == Rgb(0xF1, 0xF8, 0xEA); });
    EXPECT_EQ(DominantColour(CaptureControl(connection)), Rgb(0xF1, 0xF8, 0xEA));
    EXPECT_GE(PixelsNear(CaptureControl(connection), Rgb(0x00, 0x50, 0x80), 24), 10);
    EXPECT_TRUE(::IsWindowVisible(offline.hwnd));
    EXPECT_THAT(ListLines(list), ElementsAre(IsActivityLine("מצב טיפול ללא אינטרנט נפתח."),
                                             IsActivityLine("בדיקת חיבור נכשלה."),
                                             IsActivityLine("בדיקת חיבור הצליחה. האינטרנט חזר."),
                                             IsActivityLine("בדיקת חיבור הצליחה. האינטרנט חזר.")));
    SaveScreenshot(offline.hwnd, "offline-internet-back");
    PressControl(Control(offline, "סגור").hwnd);
    WaitForExit(helper);
}

// The check holds the helper's thread until the probe gives up on a server that never
// answers. Meanwhile the window answers WM_NULL; a click on Close, an Enter on the check button
// and a request to close do nothing, neither during the check nor after it.
TEST_F(OfflineTest, ClicksAndKeysDuringTheCheckDoNothingAfterIt) {
    Server().SetAnswer(ProbeAnswer::Silent);
    auto helper = StartHelper(L"kelto:offline");
    const auto offline = OpenOfflineWindowFromUrl(helper);
    const HWND check = Control(offline, kCheckInternetCaption).hwnd;
    const auto& connection = Control(offline, kConnectionOffline);
    const HWND list = ControlOfClass(offline, "ListBox").hwnd;

    PressControl(check);
    ASSERT_TRUE(PollUntil(Deadline::In(kDefaultWait), [&] { return Server().Requests().size() == 1; }))
        << "the check never reached the server";
    // The probe waits 2.5 s for an answer from here on: all of this comes within it.
    PressControl(Control(offline, "סגור").hwnd);
    PressKey(check, VK_RETURN);
    ::PostMessageW(offline.hwnd, WM_CLOSE, 0, 0);
    DWORD_PTR ignored = 0;
    EXPECT_NE(::SendMessageTimeoutW(offline.hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000 * Slowness(), &ignored), 0)
        << "the window did not answer during the check";
    EXPECT_EQ(TextOf(connection.hwnd), "בודק חיבור לאינטרנט...");

    ASSERT_TRUE(WaitForText(connection.hwnd, "עדיין אין גישה לאינטרנט. המשך לפי הנחיית הנציג."));
    // What came during the check would act now, when the window reads its messages again.
    EXPECT_FALSE(PollUntil(Deadline::In(milliseconds(3000)),
                           [&] { return !::IsWindowVisible(offline.hwnd) || Server().Requests().size() > 1; }));
    EXPECT_TRUE(::IsWindowVisible(offline.hwnd)) << "the window closed after the check";
    EXPECT_EQ(Server().Requests().size(), 1u) << "the check ran again";
    EXPECT_THAT(ListLines(list), ElementsAre(IsActivityLine("מצב טיפול ללא אינטרנט נפתח."),
                                             IsActivityLine("בדיקת חיבור נכשלה.")));
    PressControl(Control(offline, "סגור").hwnd);
    WaitForExit(helper);
}

// The check's outcome changes a label only; a screen reader is told, so that it reads it out
// wherever the focus is.
TEST_F(OfflineTest, TheCheckOutcomeIsAnnouncedToAScreenReader) {
    auto helper = StartHelper(L"kelto:offline");
    const auto offline = OpenOfflineWindowFromUrl(helper);
    const auto& connection = Control(offline, kConnectionOffline);
    LiveRegionEvents events(helper.id);
    ASSERT_TRUE(events.Hooked());
    PressControl(Control(offline, kCheckInternetCaption).hwnd);
    ASSERT_TRUE(WaitForText(connection.hwnd, "עדיין אין גישה לאינטרנט. המשך לפי הנחיית הנציג."));
    EXPECT_TRUE(PollUntil(Deadline::In(milliseconds(5000)), [&] { return events.Announced(connection.hwnd); }))
        << "no EVENT_OBJECT_LIVEREGIONCHANGED from the connection notice";
    PressControl(Control(offline, "סגור").hwnd);
    WaitForExit(helper);
}

// ---- layout ----

// Designed rectangles in twips from the client area's left and top edges as seen on screen,
// frame children at frame plus their own position; in creation (tab) order.
struct DesignedRect {
    const char* name;
    int left, top, width, height;
};
constexpr DesignedRect kOfflineRects[] = {
    {"lblConnection", 240, 1050, 10020, 480},
    {"fraToken", 240, 1650, 10020, 990},
    {"txtToken", 6840, 2040, 1680, 390},
    {"lblTokenStatus", 540, 2070, 6120, 360},
    {"fraDiagnostics", 5280, 2760, 4980, 3360},
    {"cmdIpInfo", 7860, 3360, 2220, 570},
    {"cmdPing", 5460, 3360, 2220, 570},
    {"cmdAdapters", 7860, 4020, 2220, 570},
    {"cmdWifi", 5460, 4020, 2220, 570},
    {"fraRepair", 240, 2760, 4980, 3360},
    {"cmdFlushDns", 3480, 3360, 1560, 570},
    {"cmdDhcpRenew", 1950, 3360, 1440, 570},
    {"cmdProxyReset", 420, 3360, 1440, 570},
    {"cmdWinsock", 2820, 4020, 2220, 570},
    {"cmdIpReset", 420, 4020, 2220, 570},
    {"cmdFullReset", 420, 4680, 4620, 570},
    {"fraLog", 240, 6240, 10020, 1170},
    {"lstActivity", 420, 6600, 9660, 494},
    {"cmdCheckInternet", 1800, 7560, 2460, 510},
    {"cmdClose", 240, 7560, 1440, 510},
    {"cmdNormalBoot", 7860, 4680, 2220, 570},
    {"lblTokenTitle", 8640, 2100, 1200, 300},
    {"lblHeader", 240, 120, 10020, 510},
    {"lblHeaderSub", 240, 600, 10020, 300},
    {"cmdCancelRestart", 5460, 4680, 2220, 570},
    {"cmdAirplaneMode", 5460, 5340, 4620, 570},
    {"cmdReinstallNetwork", 420, 5340, 4620, 570},
};
constexpr DesignedRect kGuideRects[] = {
    {"lblTitle", 240, 60, 10020, 420},      {"lblSubtitle", 240, 480, 10020, 300},
    {"lblTryFirst", 240, 780, 10020, 480},  {"lblStep1", 360, 1410, 9780, 360},
    {"lblStep2", 360, 1830, 9780, 360},     {"cmdCableConnected", 4920, 7560, 5340, 510},
    {"cmdContinue", 1740, 7560, 3000, 510}, {"cmdClose", 240, 7560, 1320, 510},
    {"imgGuide", 750, 2310, 9000, 4920},
};

void ExpectLayout(const WindowSnapshot& window, const DesignedRect* designed, size_t count, UINT dpi) {
    const RECT client = ClientRectOnScreen(window.hwnd);
    EXPECT_EQ(client.right - client.left, Px(10504, dpi));
    EXPECT_EQ(client.bottom - client.top, Px(8281, dpi));
    ASSERT_EQ(window.controls.size(), count);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(designed[i].name);
        const RECT& r = window.controls[i].screenRect;
        EXPECT_EQ(r.left - client.left, Px(designed[i].left, dpi));
        EXPECT_EQ(r.top - client.top, Px(designed[i].top, dpi));
        EXPECT_EQ(r.right - r.left, Px(designed[i].width, dpi));
        EXPECT_EQ(r.bottom - r.top, Px(designed[i].height, dpi));
    }
}

class OfflineLayoutTest : public OfflineTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(OfflineLayoutTest, BothWindowsStandWhereTheyWereDesigned) {
    const UINT dpi = GetParam();
    ScreenDpi screen(dpi);
    auto helper = StartHelper(L"kelto:offline");
    const auto guide = WaitForWindow(helper, kGuideTitle);
    {
        SCOPED_TRACE("cable guide");
        ExpectLayout(guide, kGuideRects, std::size(kGuideRects), dpi);
    }
    PressControl(Control(guide, kContinueCaption).hwnd);
    const auto offline = WaitForWindow(helper, kOfflineTitle);
    {
        SCOPED_TRACE("offline support window");
        ExpectLayout(offline, kOfflineRects, std::size(kOfflineRects), dpi);
    }
    PressControl(Control(offline, "סגור").hwnd);
    WaitForExit(helper);
}

INSTANTIATE_TEST_SUITE_P(Dpi, OfflineLayoutTest, ::testing::Values(96u, 144u),
                         [](const auto& info) { return std::to_string(info.param); });

// ---- the picture missing ----

// The helper linked without bitmap 101, built beside this test program.
std::wstring HelperWithoutPicture() {
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"kelto_helper_without_picture.exe";
}

TEST_F(OfflineTest, WithoutThePictureTheGuideOpensAndPointsToTheSteps) {
    const std::wstring folder = MakeFolder(L"no-picture");
    const std::wstring exe = CopyInto(HelperWithoutPicture(), folder, L"KeltoClientHelper.exe");
    // It really has no bitmap 101.
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(::FindResourceW(module, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(2)), nullptr);
    ::FreeLibrary(module);

    auto helper = StartRaw(L"\"" + exe + L"\" kelto:offline", folder);
    const auto guide = WaitForWindow(helper, kGuideTitle);
    EXPECT_NE(
        guide.ControlWithText("לפני שמבצעים איפוס, נסה לחבר כבל רשת ישירות למחשב. פעל לפי שני השלבים המוצגים "
                              "למעלה."),
        nullptr);
    const auto& picture = guide.controls.back();
    Image image;
    PollUntil(Deadline::In(milliseconds(3000)), [&] {
        image = CaptureControl(picture);
        return CountColour(image, Rgb(255, 255, 255)) == image.width * image.height;
    });
    EXPECT_EQ(CountColour(image, Rgb(255, 255, 255)), image.width * image.height) << "an empty picture box";
    SaveScreenshot(guide.hwnd, "cable-guide-without-picture");
    PressControl(Control(guide, "סגור").hwnd);
    WaitForExit(helper);
    EXPECT_EQ(LogMessages(folder).back(), "Offline Ethernet cable guide opened.");
}

}  // namespace
}  // namespace kelto::e2e
