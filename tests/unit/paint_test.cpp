// What the windows paint with, designed and in Windows' high-contrast mode.
#include "ui/paint.h"

#include <gtest/gtest.h>

namespace kelto {
namespace {

using ui::Rgb;

// A dark high-contrast theme, as Windows' "Night sky" sets it (approximately).
constexpr ui::SystemColours kDarkTheme{
    {0, 0, 0},        // window
    {255, 255, 255},  // window text
    {0, 0, 0},        // button face
    {255, 255, 255},  // button text
    {26, 235, 255},   // highlight
    {0, 0, 0},        // highlight text
    {63, 242, 63},    // grey text
};
// The usual light system colours.
constexpr ui::SystemColours kLight{{255, 255, 255}, {0, 0, 0},       {240, 240, 240}, {0, 0, 0},
                                   {0, 120, 215},   {255, 255, 255}, {109, 109, 109}};

TEST(Paint, OutsideHighContrastTheDesignedColoursStandExactly) {
    EXPECT_EQ(ui::WindowBackground({255, 255, 255}, false, kDarkTheme), (Rgb{255, 255, 255}));
    const auto label =
        ui::LabelColours(Rgb{16, 51, 97}, Rgb{254, 250, 248}, {255, 255, 255}, false, kDarkTheme);
    EXPECT_EQ(label.text, (Rgb{16, 51, 97}));
    EXPECT_EQ(label.background, (Rgb{254, 250, 248}));
    // A label without a designed colour: the system's window text on the window's background.
    const auto plain = ui::LabelColours(std::nullopt, std::nullopt, {255, 255, 255}, false, kLight);
    EXPECT_EQ(plain.text, (Rgb{0, 0, 0}));
    EXPECT_EQ(plain.background, (Rgb{255, 255, 255}));

    const auto blue = ui::ColouredButtonColours(Rgb{7, 104, 232}, false, false, kLight);
    EXPECT_EQ(blue.face, (Rgb{7, 104, 232}));
    EXPECT_EQ(blue.text, (Rgb{255, 255, 255}));
    EXPECT_EQ(blue.frame, (Rgb{4, 72, 160}));
    const auto white = ui::ColouredButtonColours(Rgb{255, 255, 255}, false, false, kLight);
    EXPECT_EQ(white.face, (Rgb{255, 255, 255}));
    EXPECT_EQ(white.text, (Rgb{16, 51, 97}));
    EXPECT_EQ(white.frame, (Rgb{160, 170, 185}));
    const auto disabled = ui::ColouredButtonColours(Rgb{7, 104, 232}, true, false, kLight);
    EXPECT_EQ(disabled.face, (Rgb{240, 240, 240}));
    EXPECT_EQ(disabled.text, (Rgb{109, 109, 109}));
}

// In a dark high-contrast theme the fixed white background with the theme's white window text
// would leave the labels invisible: everything takes the theme's colours.
TEST(Paint, InHighContrastEverythingTakesTheSystemsColours) {
    EXPECT_EQ(ui::WindowBackground({255, 255, 255}, true, kDarkTheme), (Rgb{0, 0, 0}));
    for (const auto& designedText : {std::optional<Rgb>{}, std::optional<Rgb>{Rgb{16, 51, 97}}}) {
        const auto label =
            ui::LabelColours(designedText, Rgb{254, 250, 248}, {255, 255, 255}, true, kDarkTheme);
        EXPECT_EQ(label.text, (Rgb{255, 255, 255}));
        EXPECT_EQ(label.background, (Rgb{0, 0, 0}));
    }
    const auto leading = ui::ColouredButtonColours(Rgb{7, 104, 232}, false, true, kDarkTheme);
    EXPECT_EQ(leading.face, (Rgb{26, 235, 255}));
    EXPECT_EQ(leading.text, (Rgb{0, 0, 0}));
    const auto other = ui::ColouredButtonColours(Rgb{255, 255, 255}, false, true, kDarkTheme);
    EXPECT_EQ(other.face, (Rgb{0, 0, 0}));
    EXPECT_EQ(other.text, (Rgb{255, 255, 255}));
    EXPECT_EQ(other.frame, (Rgb{255, 255, 255}));
    const auto disabled = ui::ColouredButtonColours(Rgb{7, 104, 232}, true, true, kDarkTheme);
    EXPECT_EQ(disabled.face, (Rgb{0, 0, 0}));
    EXPECT_EQ(disabled.text, (Rgb{63, 242, 63}));
}

}  // namespace
}  // namespace kelto
