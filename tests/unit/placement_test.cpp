// Where a window of the helper is put when it is made: onto its monitor first, then sized and
// laid out at the DPI it has there.
#include "ui/placement.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelto {
namespace {

using ::testing::ElementsAre;

// A window made on a 96-DPI monitor whose place is on a 144-DPI one: Windows sends it the new
// DPI once it has been moved there. The outer size is the client size plus a frame of 8 pixels
// a side and a caption of 30, at 96 DPI, scaled with the DPI.
class WindowDouble : public ui::PlacedWindow {
public:
    ui::ScreenRect Around() override { return around; }
    ui::ScreenRect WorkArea() override { return work; }
    void MoveTo(int x, int y) override {
        calls.push_back("move " + std::to_string(x) + "," + std::to_string(y));
        if (x >= dpiChangesAtX) dpi = 144;
    }
    int Dpi() override { return dpi; }
    void OuterSize(int clientWidth, int clientHeight, int atDpi, int& width, int& height) override {
        width = clientWidth + 16 * atDpi / 96;
        height = clientHeight + 46 * atDpi / 96;
    }
    void SetBounds(int x, int y, int width, int height) override {
        calls.push_back("bounds " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) +
                        "x" + std::to_string(height));
    }
    void LayoutControls(int atDpi) override { calls.push_back("layout " + std::to_string(atDpi)); }

    ui::ScreenRect around;
    ui::ScreenRect work;
    int dpi = 96;
    int dpiChangesAtX = 1920;
    std::vector<std::string> calls;
};

// 10504 x 8281 twips (the offline window's client area): 700 x 552 pixels at 96 DPI, 1050 x 828
// at 144.
TEST(Placement, TheWindowIsMovedToItsMonitorFirstAndSizedAtTheDpiItHasThere) {
    WindowDouble window;
    window.around = {1920, 0, 3840, 1040};  // the work area of the 144-DPI monitor on the right
    window.work = window.around;
    ui::PlaceWindow(window, 10504, 8281);
    // 1050 + 24 = 1074 wide, 828 + 69 = 897 high, centred on 1920..3840 and 0..1040.
    EXPECT_THAT(window.calls, ElementsAre("move 2880,520", "bounds 2343,71 1074x897", "layout 144"));
}

TEST(Placement, OnTheSameMonitorNothingChangesTheDpi) {
    WindowDouble window;
    window.around = {0, 0, 1920, 1040};
    window.work = window.around;
    ui::PlaceWindow(window, 10504, 8281);
    // 700 + 16 = 716 wide, 552 + 46 = 598 high.
    EXPECT_THAT(window.calls, ElementsAre("move 960,520", "bounds 602,221 716x598", "layout 96"));
}

// A monitor left of the primary one has negative coordinates: the window stays on it. Centred
// on an owner near the work area's edge, it is kept inside the work area.
TEST(Placement, TheWindowStaysInsideTheWorkAreaOfItsMonitorWhereverThatIs) {
    WindowDouble window;
    window.dpiChangesAtX = 100000;
    window.work = {-1920, 0, 0, 1040};
    window.around = {-1900, 700, -1500, 1000};  // a small owner near the lower left corner
    ui::PlaceWindow(window, 10504, 8281);
    EXPECT_THAT(window.calls, ElementsAre("move -1700,850", "bounds -1920,442 716x598", "layout 96"));
}

}  // namespace
}  // namespace kelto
