#include "ui/main_window.h"

#include <gtest/gtest.h>

#include "intake/session_store.h"
#include "support/fakes.h"
#include "ui/layout.h"

namespace kelto {
namespace {

using namespace platform::mb;
using testing::FakeSystem;

const std::string kBase = "HKCU\\Software\\Classes\\kelto\\";
const std::string kExe = "C:\\Program Files\\Kelto\\KeltoClientHelper.exe";

TEST(Registration, InstallRemovesFirstThenWritesTheFourEntriesInOrder) {
    FakeSystem f;
    ASSERT_TRUE(ui::InstallProtocolHandler(f.registry, kExe));
    std::vector<std::string> writes;
    for (const auto& entry : f.registry.log)
        if (entry.rfind("write ", 0) == 0) writes.push_back(entry);
    EXPECT_EQ(writes, (std::vector<std::string>{"write " + kBase, "write " + kBase + "URL Protocol",
                                                "write " + kBase + "DefaultIcon\\",
                                                "write " + kBase + "shell\\open\\command\\"}));
    EXPECT_EQ(f.registry.log.front(), "delete " + kBase + "shell\\open\\command\\");
    EXPECT_EQ(
        f.registry.Dump(),
        (std::vector<std::string>{
            "hkcu\\", "hkcu\\software\\", "hkcu\\software\\classes\\", "hkcu\\software\\classes\\kelto\\",
            "hkcu\\software\\classes\\kelto\\=URL:Kelto Support Protocol",
            "hkcu\\software\\classes\\kelto\\url protocol=", "hkcu\\software\\classes\\kelto\\defaulticon\\",
            "hkcu\\software\\classes\\kelto\\defaulticon\\=C:\\Program Files\\Kelto\\KeltoClientHelper.exe,0",
            "hkcu\\software\\classes\\kelto\\shell\\", "hkcu\\software\\classes\\kelto\\shell\\open\\",
            "hkcu\\software\\classes\\kelto\\shell\\open\\command\\",
            "hkcu\\software\\classes\\kelto\\shell\\open\\command\\=\"C:\\Program "
            "Files\\Kelto\\KeltoClientHelper.exe\" \"%1\""}));
}

TEST(Registration, InstallingTwiceLeavesOneRegistration) {
    FakeSystem once, twice;
    ASSERT_TRUE(ui::InstallProtocolHandler(once.registry, kExe));
    ASSERT_TRUE(ui::InstallProtocolHandler(twice.registry, "C:\\old\\KeltoClientHelper.exe"));
    ASSERT_TRUE(ui::InstallProtocolHandler(twice.registry, kExe));
    EXPECT_EQ(twice.registry.Dump(), once.registry.Dump());
}

TEST(Registration, AFailedWriteStopsAndReportsFailure) {
    FakeSystem f;
    f.registry.failWritesAfter = 2;
    EXPECT_FALSE(ui::InstallProtocolHandler(f.registry, kExe));
    EXPECT_TRUE(f.registry.HasValue(kBase + "URL Protocol"));
    EXPECT_FALSE(f.registry.KeyExists(kBase + "shell\\"));
    EXPECT_EQ(f.registry.log.back(), "write " + kBase + "DefaultIcon\\");
}

TEST(Registration, RemoveDeletesKeyByKeyDeepestFirst) {
    FakeSystem f;
    ASSERT_TRUE(ui::InstallProtocolHandler(f.registry, kExe));
    f.registry.log.clear();
    ui::RemoveProtocolHandler(f.registry);
    EXPECT_EQ(f.registry.log,
              (std::vector<std::string>{"delete " + kBase + "shell\\open\\command\\",
                                        "delete " + kBase + "shell\\open\\", "delete " + kBase + "shell\\",
                                        "delete " + kBase + "DefaultIcon\\",
                                        "delete " + kBase + "URL Protocol", "delete " + kBase}));
    EXPECT_FALSE(f.registry.KeyExists(kBase));
    EXPECT_TRUE(f.registry.KeyExists("HKCU\\Software\\Classes\\"));
}

TEST(Registration, RemoveKeepsGoingPastKeysItCannotDelete) {
    FakeSystem f;
    // An extra subkey written by someone else keeps "shell" and the base key in place; the
    // rest still goes.
    ASSERT_TRUE(ui::InstallProtocolHandler(f.registry, kExe));
    ASSERT_TRUE(f.registry.WriteString(kBase + "shell\\print\\command\\", "x"));
    ui::RemoveProtocolHandler(f.registry);
    EXPECT_FALSE(f.registry.KeyExists(kBase + "shell\\open\\"));
    EXPECT_FALSE(f.registry.KeyExists(kBase + "DefaultIcon\\"));
    EXPECT_FALSE(f.registry.HasValue(kBase + "URL Protocol"));
    EXPECT_TRUE(f.registry.KeyExists(kBase + "shell\\print\\command\\"));
}

struct StatusCase {
    const char* name;
    std::optional<std::string> openCommand;
    bool active;
};

class InstallStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(InstallStatus, ShowsWhetherAnOpenCommandIsRegistered) {
    FakeSystem f;
    if (GetParam().openCommand)
        f.registry.WriteString(kBase + "shell\\open\\command\\", *GetParam().openCommand);
    ui::RefreshInstallStatus(f.registry, f.mainWindow);
    if (GetParam().active) {
        EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "כלי העזר פעיל ומוכן לקבל פעולות.");
        EXPECT_EQ(f.mainWindow.textColours[ui::kLblStatus], (ui::Rgb{0, 80, 160}));
    } else {
        EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "כלי העזר עדיין אינו פעיל.");
        EXPECT_EQ(f.mainWindow.textColours[ui::kLblStatus], (ui::Rgb{192, 64, 64}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallStatus,
    ::testing::Values(StatusCase{"Missing", std::nullopt, false}, StatusCase{"Empty", "", false},
                      StatusCase{"OtherCopy", "\"D:\\Elsewhere\\KeltoClientHelper.exe\" \"%1\"", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainWindowButtons, InstallShowsTheOutcomeAndRefreshes) {
    FakeSystem f;
    ui::OnInstallClicked(f.context, f.mainWindow);
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, "כלי העזר הופעל בהצלחה.");
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconInformation);
    EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "כלי העזר פעיל ומוכן לקבל פעולות.");

    FakeSystem failing;
    failing.registry.failWritesAfter = 0;
    ui::OnInstallClicked(failing.context, failing.mainWindow);
    ASSERT_EQ(failing.dialogs.boxes.size(), 1u);
    EXPECT_EQ(failing.dialogs.boxes[0].text, "לא ניתן להפעיל את כלי העזר.");
    EXPECT_EQ(failing.dialogs.boxes[0].flags, kOk | kIconExclamation);
    EXPECT_EQ(failing.mainWindow.texts[ui::kLblStatus], "כלי העזר עדיין אינו פעיל.");
}

TEST(MainWindowButtons, RemoveAsksFirstAndNoChangesNothing) {
    FakeSystem f;
    ASSERT_TRUE(ui::InstallProtocolHandler(f.registry, kExe));
    const auto before = f.registry.Dump();
    f.dialogs.answers = {kIdNo};
    ui::OnRemoveClicked(f.context, f.mainWindow);
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, "להסיר את כלי העזר?");
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kYesNo | kIconQuestion | kDefButton1);
    EXPECT_EQ(f.registry.Dump(), before);

    f.dialogs.answers = {kIdYes};
    ui::OnRemoveClicked(f.context, f.mainWindow);
    EXPECT_EQ(f.dialogs.boxes.size(), 2u);  // no message follows the removal
    EXPECT_FALSE(f.registry.KeyExists(kBase));
    EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "כלי העזר עדיין אינו פעיל.");
}

TEST(MainWindowButtons, OfflineFillsTheSessionAndClosesOnlyAfterALaunch) {
    FakeSystem f;
    intake::AuthorizeSession(f.system, "Stored-1");
    f.request.ActionLaunched = true;  // left over: the button starts afresh
    ui::OnOfflineClicked(f.context, f.mainWindow);
    EXPECT_EQ(f.request.CurrentSessionId, "stored-1");
    EXPECT_EQ(f.mainWindow.events, std::vector<std::string>{"guide owned"});
    EXPECT_FALSE(f.mainWindow.unloaded);

    f.mainWindow.onEthernetGuide = [&] { f.request.ActionLaunched = true; };
    ui::OnOfflineClicked(f.context, f.mainWindow);
    EXPECT_TRUE(f.mainWindow.unloaded);
}

TEST(MainWindowLayout, TwipsBecomePixelsAtTheWindowsDpi) {
    EXPECT_EQ(ui::TwipsToPixels(1440, 96), 96);
    EXPECT_EQ(ui::TwipsToPixels(6552, 96), 437);  // 436.8
    EXPECT_EQ(ui::TwipsToPixels(4381, 96), 292);  // 292.07
    EXPECT_EQ(ui::TwipsToPixels(3720, 144), 372);
    EXPECT_EQ(ui::TwipsToPixels(2580, 120), 215);
    EXPECT_EQ(ui::TwipsToPixels(15, 96), 1);  // 1.0
    EXPECT_EQ(ui::TwipsToPixels(7, 96), 0);   // 0.47
    // cmdInstall (left 3720, width 2580 at 96 DPI: 248, 172) sits at the right on screen:
    // mirrored, its x is measured from the right edge.
    EXPECT_EQ(ui::MirroredX(248, 172, 437), 17);
}

}  // namespace
}  // namespace kelto
