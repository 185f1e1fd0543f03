// Converting designed layouts (twips, left edges as seen on screen) to window pixels.
#pragma once

namespace kelto::ui {

// Twips to device pixels at the given DPI (1440 twips to the inch), rounded like MulDiv.
constexpr int TwipsToPixels(int twips, int dpi) {
    const long long product = static_cast<long long>(twips) * dpi;
    return static_cast<int>((product >= 0 ? product + 720 : product - 720) / 1440);
}

// The x coordinate a control gets inside a window mirrored for right-to-left reading
// (WS_EX_LAYOUTRTL measures x from the right edge), so that it appears on screen at the
// designed distance `left` from the window's left edge.
constexpr int MirroredX(int left, int width, int clientWidth) { return clientWidth - left - width; }

}  // namespace kelto::ui
