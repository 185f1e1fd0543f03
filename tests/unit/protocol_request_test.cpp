#include "intake/protocol_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using testing::FakeSystem;

const std::string kSessionIdValue = "HKCU\\Software\\KeltoRemote\\AuthorizedSession\\SessionID";
const std::string kExpiresAtValue = "HKCU\\Software\\KeltoRemote\\AuthorizedSession\\ExpiresAt";
const std::string kSessionKey = "HKCU\\Software\\KeltoRemote\\AuthorizedSession";
// FakeClock's local time 2026-12-10 14:00:00, counted from 2024-01-01 00:00:00:
// (366 + 365 + 343) days * 86400 + 14 * 3600.
constexpr long kNow = 92844000;

enum class Outcome { HandedOver, InvalidBox, CableGuide };

struct RequestCase {
    std::string commandLine;
    std::string loggedKey;
    std::string loggedSession;
    std::string host;
    int port;
    bool tls;
    Outcome outcome;
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.commandLine); }

class ProtocolRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(ProtocolRequest, FillsStateLogsAndDecides) {
    const RequestCase& c = GetParam();
    FakeSystem f;
    f.request.ActionLaunched = true;
    bool launchedWhileGuideShown = true;
    f.mainWindow.onEthernetGuide = [&] { launchedWhileGuideShown = f.request.ActionLaunched; };

    kelto::app::RouteProtocolRequest(f.context, f.mainWindow, c.commandLine);

    EXPECT_EQ(f.LogMessages(), (std::vector<std::string>{"Parsed tool: [" + c.loggedKey + "]",
                                                         "Support session: [" + c.loggedSession + "]"}));
    EXPECT_EQ(f.request.CurrentSessionId, c.loggedSession);
    EXPECT_EQ(f.request.ServerHost, c.host);
    EXPECT_EQ(f.request.ServerPort, c.port);
    EXPECT_EQ(f.request.ServerUseTls, c.tls);
    // Nothing is started at this step.
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_TRUE(f.children.commandLines.empty());

    switch (c.outcome) {
        case Outcome::InvalidBox:
            ASSERT_EQ(f.dialogs.boxes.size(), 1u);
            EXPECT_EQ(f.dialogs.boxes[0].text, "התקבלה פעולה לא תקינה.\r\nהערך שהתקבל: " + c.commandLine);
            EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
            EXPECT_EQ(f.dialogs.boxes[0].flags, 0x30u);  // MB_OK | MB_ICONEXCLAMATION
            EXPECT_TRUE(f.mainWindow.events.empty());
            EXPECT_TRUE(f.request.ActionLaunched);
            break;
        case Outcome::CableGuide:
            EXPECT_TRUE(f.dialogs.boxes.empty());
            EXPECT_EQ(f.mainWindow.events, (std::vector<std::string>{"guide"}));  // without an owner
            EXPECT_FALSE(launchedWhileGuideShown);
            break;
        case Outcome::HandedOver:
            // The approval flow asks for the token (no session is authorized); cancelled here.
            EXPECT_TRUE(f.dialogs.boxes.empty());
            EXPECT_TRUE(f.mainWindow.events.empty());
            break;
    }
    EXPECT_EQ(f.dialogs.inputBoxes.size(), c.outcome == Outcome::HandedOver ? 1u : 0u);

    // The intake step alone only says where the request goes; it opens nothing itself.
    FakeSystem alone;
    const intake::ProtocolNext next = intake::HandleProtocolRequest(alone.context, c.commandLine);
    const intake::ProtocolRoad expectedRoad =
        c.outcome == Outcome::HandedOver   ? intake::ProtocolRoad::Approval
        : c.outcome == Outcome::CableGuide ? intake::ProtocolRoad::CableGuide
                                           : intake::ProtocolRoad::Done;
    EXPECT_EQ(next.road, expectedRoad);
    EXPECT_EQ(next.actionKey, c.loggedKey);
    EXPECT_TRUE(alone.mainWindow.events.empty());
    EXPECT_TRUE(alone.dialogs.inputBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtocolRequest,
    ::testing::Values(
        RequestCase{"\"kelto://IPCONFIG/sid/AbC-9_x/host/10.0.0.5/port/0443/tls/1\"", "ipconfig", "AbC-9_x",
                    "10.0.0.5", 443, true, Outcome::HandedOver},
        RequestCase{"kelto:?tool=flushdns&sid=abc", "flushdns", "abc", "", 0, false, Outcome::HandedOver},
        RequestCase{"kelto:ping%3fsid%3dxyz", "ping", "xyz", "", 0, false, Outcome::HandedOver},
        RequestCase{"kelto:notinthecatalogue", "notinthecatalogue", "", "", 0, false, Outcome::HandedOver},
        // No usable key: the box quotes the command line exactly as received.
        RequestCase{"kelto:", "", "", "", 0, false, Outcome::InvalidBox},
        RequestCase{"\"kelto:\"", "", "", "", 0, false, Outcome::InvalidBox},
        RequestCase{"hello world", "", "", "", 0, false, Outcome::InvalidBox},
        RequestCase{"/elevated", "", "", "", 0, false, Outcome::InvalidBox},
        RequestCase{"\"kelto://-x/sid/S1/host/h/port/1\"", "", "S1", "h", 1, false, Outcome::InvalidBox},
        RequestCase{"kelto:%22calc%22 & del *", "", "", "", 0, false, Outcome::InvalidBox},
        RequestCase{"kelto:\xE2\x84\xAA", "", "", "", 0, false, Outcome::InvalidBox},
        // "offline" opens the cable guide instead of the approval flow.
        RequestCase{"\"kelto://offline\"", "offline", "", "", 0, false, Outcome::CableGuide},
        RequestCase{"kelto:OFFLINE/sid/Tech-7", "offline", "Tech-7", "", 0, false, Outcome::CableGuide},
        RequestCase{"kelto:?tool=offline", "offline", "", "", 0, false, Outcome::CableGuide},
        RequestCase{"kelto:offline2", "offline2", "", "", 0, false, Outcome::HandedOver},
        RequestCase{"kelto:offline-x", "offline", "", "", 0, false, Outcome::CableGuide}));

// ---- the stored session fills a URL without sid ----

struct StoredCase {
    const char* name;
    std::string commandLine;
    std::string storedId;
    std::string storedExpiry;
    std::string loggedSession;
    bool keyRemains;
};

void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.name; }

class StoredSession : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredSession, FillsAnEmptySid) {
    const StoredCase& c = GetParam();
    FakeSystem f;
    f.registry.WriteString(kSessionIdValue, c.storedId);
    f.registry.WriteString(kExpiresAtValue, c.storedExpiry);

    kelto::app::RouteProtocolRequest(f.context, f.mainWindow, c.commandLine);

    ASSERT_EQ(f.LogMessages().size(), 2u);
    EXPECT_EQ(f.LogMessages()[1], "Support session: [" + c.loggedSession + "]");
    EXPECT_EQ(f.request.CurrentSessionId, c.loggedSession);
    EXPECT_EQ(f.registry.KeyExists(kSessionKey), c.keyRemains);
    EXPECT_TRUE(f.registry.KeyExists("HKCU\\Software\\KeltoRemote"));
}

const std::string kValid = std::to_string(kNow + 100);

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredSession,
    ::testing::Values(
        StoredCase{"Unexpired", "\"kelto://ipconfig\"", "abc-9_x", kValid, "abc-9_x", true},
        StoredCase{"ExpiresThisSecond", "kelto:ipconfig", "abc", std::to_string(kNow), "abc", true},
        StoredCase{"ExpiredASecondAgo", "kelto:ipconfig", "abc", std::to_string(kNow - 1), "", false},
        StoredCase{"StoredInUpperCase", "kelto:ipconfig", "AbC", kValid, "abc", true},
        StoredCase{"EmptySidFallsBack", "kelto:ipconfig?sid=", "abc", kValid, "abc", true},
        StoredCase{"UrlSidWins", "kelto:ipconfig?sid=Other", "abc", kValid, "Other", true},
        StoredCase{"UrlSidWinsOverExpired", "kelto:ipconfig?sid=Other", "abc", std::to_string(kNow - 1),
                   "Other", true},
        StoredCase{"AlsoForTheInvalidBox", "kelto:", "abc", kValid, "abc", true},
        // A stored value the URL grammar could never produce is not used (and not cleared).
        StoredCase{"StoredWithColon", "kelto:ipconfig", "a:b", kValid, "", true},
        StoredCase{"StoredWithSpace", "kelto:ipconfig", "a b", kValid, "", true},
        StoredCase{"StoredTooLong", "kelto:ipconfig", std::string(81, 'a'), kValid, "", true},
        StoredCase{"StoredLongest", "kelto:ipconfig", std::string(80, 'a'), kValid, std::string(80, 'a'),
                   true},
        StoredCase{"StoredKelvinSign", "kelto:ipconfig", "\xE2\x84\xAA", kValid, "", true},
        StoredCase{"StoredExpiryNotANumber", "kelto:ipconfig", "abc", "soon", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelto
