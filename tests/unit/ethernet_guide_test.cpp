#include "ui/ethernet_guide.h"

#include <gtest/gtest.h>

#include "app/startup.h"
#include "support/fakes.h"
#include "ui/layout.h"

namespace kelto {
namespace {

using namespace platform::mb;
using testing::FakeEthernetGuideView;
using testing::FakeSystem;

const std::string kCableButton = std::to_string(ui::kGuideCmdCableConnected);

struct CableGuide : ::testing::Test {
    FakeSystem f;
    FakeEthernetGuideView view;
};

TEST_F(CableGuide, OpeningLoadsThePictureAndLogs) {
    ui::OnEthernetGuideLoad(f.context, view);
    EXPECT_EQ(view.windowBackground, (ui::Rgb{255, 255, 255}));
    EXPECT_EQ(view.events, std::vector<std::string>{"picture"});
    EXPECT_EQ(view.texts[ui::kGuideLblTryFirst], "לפני שמבצעים איפוס, נסה לחבר כבל רשת ישירות למחשב.");
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Offline Ethernet cable guide opened."});
}

TEST_F(CableGuide, WithoutThePictureTheTextPointsToTheSteps) {
    view.pictureLoads = false;
    ui::OnEthernetGuideLoad(f.context, view);
    EXPECT_EQ(view.texts[ui::kGuideLblTryFirst],
              "לפני שמבצעים איפוס, נסה לחבר כבל רשת ישירות למחשב. פעל לפי שני השלבים המוצגים למעלה.");
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Offline Ethernet cable guide opened."});
}

TEST_F(CableGuide, InternetBackReportsItSetsTheFlagAndCloses) {
    std::string during;
    f.http.onRequest = [&] {
        during = view.events.back() + " " + (view.enabled[ui::kGuideCmdCableConnected] ? "on" : "off");
    };
    f.http.status = 204;
    ui::OnGuideButtonClicked(f.context, view, ui::kGuideCmdCableConnected);

    EXPECT_EQ(during, "pump off");
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Internet restored after Ethernet cable guide."});
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].owner, view.handle);
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto Remote");
    EXPECT_EQ(f.dialogs.boxes[0].text, "החיבור לאינטרנט חזר בהצלחה.\r\nאפשר לחזור לאתר ולהמשיך את הטיפול.");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconInformation);
    EXPECT_TRUE(f.request.ActionLaunched);
    EXPECT_EQ(view.events, (std::vector<std::string>{"disable " + kCableButton,
                                                     "text " + kCableButton + " בודק חיבור לאינטרנט...",
                                                     "pump", "close"}));
}

struct OfflineAnswer {
    const char* name;
    int answer;
    std::vector<std::string> after;  // the guide's events once the question is answered
};

class CableStillOffline : public CableGuide, public ::testing::WithParamInterface<OfflineAnswer> {};

TEST_P(CableStillOffline, LogsReenablesAsksAndFollowsTheAnswer) {
    f.http.status = 404;
    f.dialogs.answers = {GetParam().answer};
    ui::OnGuideButtonClicked(f.context, view, ui::kGuideCmdCableConnected);

    EXPECT_EQ(f.LogMessages(),
              std::vector<std::string>{"Ethernet cable connected but internet still offline."});
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].owner, view.handle);
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto Remote");
    EXPECT_EQ(f.dialogs.boxes[0].text, "עדיין אין גישה לאינטרנט.\r\nלעבור לפעולות התיקון הנוספות?");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kYesNo | kIconQuestion | kDefButton1);
    EXPECT_FALSE(f.request.ActionLaunched);
    EXPECT_TRUE(view.enabled[ui::kGuideCmdCableConnected]);
    EXPECT_EQ(view.texts[ui::kGuideCmdCableConnected], "חיברתי כבל - בדוק שוב");

    std::vector<std::string> expected{
        "disable " + kCableButton, "text " + kCableButton + " בודק חיבור לאינטרנט...", "pump",
        "enable " + kCableButton, "text " + kCableButton + " חיברתי כבל - בדוק שוב"};
    expected.insert(expected.end(), GetParam().after.begin(), GetParam().after.end());
    EXPECT_EQ(view.events, expected);
}

INSTANTIATE_TEST_SUITE_P(Answers, CableStillOffline,
                         ::testing::Values(OfflineAnswer{"No", kIdNo, {}},
                                           OfflineAnswer{"Yes", kIdYes, {"hide", "offline window", "close"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CableGuide, NoAnswerFromTheServerCountsAsOffline) {
    f.http.status = std::nullopt;
    f.dialogs.answers = {kIdNo};
    ui::OnGuideButtonClicked(f.context, view, ui::kGuideCmdCableConnected);
    EXPECT_EQ(f.LogMessages(),
              std::vector<std::string>{"Ethernet cable connected but internet still offline."});
}

TEST_F(CableGuide, ContinueOpensTheRepairActionsWithoutATestOrALogLine) {
    ui::OnGuideButtonClicked(f.context, view, ui::kGuideCmdContinue);
    EXPECT_TRUE(f.http.requests.empty());
    EXPECT_TRUE(f.LogMessages().empty());
    EXPECT_EQ(view.events, (std::vector<std::string>{"hide", "offline window", "close"}));
}

TEST_F(CableGuide, CloseLeavesTheFlagAlone) {
    ui::OnGuideButtonClicked(f.context, view, ui::kGuideCmdClose);
    EXPECT_EQ(view.events, std::vector<std::string>{"close"});
    EXPECT_FALSE(f.request.ActionLaunched);
    EXPECT_TRUE(f.LogMessages().empty());
}

// Who opened the guide decides what happens when it has closed.
struct OpenerCase {
    const char* name;
    bool actionLaunchedInGuide;
    bool mainWindowStaysOpen;
};

class MainWindowOpener : public ::testing::TestWithParam<OpenerCase> {};

TEST_P(MainWindowOpener, ClearsTheFlagAndClosesOnlyWhenItWasSet) {
    FakeSystem f;
    f.request.ActionLaunched = true;
    bool clearedBeforeGuide = false;
    f.mainWindow.onEthernetGuide = [&] {
        clearedBeforeGuide = !f.request.ActionLaunched;
        f.request.ActionLaunched = GetParam().actionLaunchedInGuide;
    };
    ui::OnOfflineClicked(f.context, f.mainWindow);
    EXPECT_TRUE(clearedBeforeGuide);
    EXPECT_EQ(f.mainWindow.events.front(), "guide owned");
    EXPECT_EQ(f.mainWindow.unloaded, !GetParam().mainWindowStaysOpen);
}

TEST_P(MainWindowOpener, TheUrlRoadShowsTheGuideWithoutOwnerAndEndsEitherWay) {
    FakeSystem f;
    f.request.ActionLaunched = true;
    bool clearedBeforeGuide = false;
    f.mainWindow.onEthernetGuide = [&] {
        clearedBeforeGuide = !f.request.ActionLaunched;
        f.request.ActionLaunched = GetParam().actionLaunchedInGuide;
    };
    EXPECT_FALSE(app::RunStartup(f.context, f.mainWindow, "\"kelto:offline\""));
    EXPECT_TRUE(clearedBeforeGuide);
    EXPECT_EQ(f.mainWindow.events, (std::vector<std::string>{"hide", "guide", "unload"}));
}

INSTANTIATE_TEST_SUITE_P(Outcomes, MainWindowOpener,
                         ::testing::Values(OpenerCase{"Closed", false, true},
                                           OpenerCase{"Launched", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CableGuideLayout, RowsAreInTabOrderWithThePictureLast) {
    for (size_t i = 0; i + 1 < ui::kGuideLayout.size(); ++i)
        EXPECT_EQ(ui::kGuideLayout[i].tabOrder, static_cast<int>(i));
    EXPECT_EQ(ui::kGuideLayout.back().kind, ui::ControlKind::Picture);
    EXPECT_EQ(ui::kGuideLayout.back().tabOrder, -1);
}

}  // namespace
}  // namespace kelto
