#include "app/startup.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace kelto {
namespace {

using testing::FakeSystem;

struct RoadCase {
    std::string arguments;
    app::Road road;
    std::string logged;  // what stands between the brackets of the version line
};

class StartupRoads : public ::testing::TestWithParam<RoadCase> {};

TEST_P(StartupRoads, TrimsLogsAndRoutes) {
    const RoadCase& c = GetParam();
    FakeSystem f;
    const bool keepsRunning = app::RunStartup(f.context, f.mainWindow, c.arguments);

    ASSERT_FALSE(f.LogMessages().empty());
    EXPECT_EQ(f.LogMessages()[0], "Version 1.12.0 Command: [" + c.logged + "]");
    EXPECT_EQ(keepsRunning, c.road == app::Road::MainWindow);
    EXPECT_EQ(f.mainWindow.visible, c.road == app::Road::MainWindow);
    EXPECT_EQ(f.mainWindow.unloaded, c.road != app::Road::MainWindow);
    // The window colours are applied on every road.
    EXPECT_EQ(f.mainWindow.windowBackground, (ui::Rgb{255, 255, 255}));
    EXPECT_EQ(f.mainWindow.backgrounds[ui::kLblStatus], (ui::Rgb{254, 250, 248}));
    EXPECT_EQ(f.mainWindow.textColours[ui::kLblInfo], (ui::Rgb{16, 51, 97}));

    switch (c.road) {
        case app::Road::MainWindow:
            EXPECT_TRUE(f.dialogs.boxes.empty());
            EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "כלי העזר עדיין אינו פעיל.");
            break;
        case app::Road::Elevated:
            ASSERT_EQ(f.dialogs.boxes.size(), 1u);
            EXPECT_EQ(f.dialogs.boxes[0].text, "בקשת ההפעלה המוגבהת אינה תקינה.");
            break;
        case app::Road::Protocol:
            ASSERT_EQ(f.dialogs.boxes.size(), 1u);
            EXPECT_EQ(f.dialogs.boxes[0].text, "התקבלה פעולה לא תקינה.\r\nהערך שהתקבל: " + c.logged);
            EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
            EXPECT_EQ(f.dialogs.boxes[0].flags, 0x30u);  // OK, exclamation
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupRoads,
    ::testing::Values(RoadCase{"", app::Road::MainWindow, ""}, RoadCase{"     ", app::Road::MainWindow, ""},
                      RoadCase{"\t", app::Road::Protocol, "\t"}, RoadCase{" \t ", app::Road::Protocol, "\t"},
                      RoadCase{"   /ELEVATED:xyz  ", app::Road::Elevated, "/ELEVATED:xyz"},
                      RoadCase{"/elevated:", app::Road::Elevated, "/elevated:"},
                      RoadCase{"/elevated", app::Road::Protocol, "/elevated"},
                      RoadCase{"/elevatedx", app::Road::Protocol, "/elevatedx"},
                      RoadCase{"/e", app::Road::Protocol, "/e"},
                      RoadCase{" \"kelto:\" ", app::Road::Protocol, "\"kelto:\""}));

}  // namespace
}  // namespace kelto
