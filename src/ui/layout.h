// Converting designed layouts (twips, left edges as seen on screen) to window pixels.
#pragma once

#include <span>

#include "ui/colour.h"

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

// A control's designed rectangle in twips from the window's client area: a frame's child
// sits at the frame's position plus its own (frames are not nested).
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

constexpr const ControlSpec* FindControl(std::span<const ControlSpec> table, int id) {
    for (const auto& spec : table)
        if (spec.id == id) return &spec;
    return nullptr;
}

constexpr TwipsRect WindowRectOf(std::span<const ControlSpec> table, const ControlSpec& spec) {
    TwipsRect rect{spec.left, spec.top, spec.width, spec.height};
    if (const ControlSpec* frame = spec.parent != 0 ? FindControl(table, spec.parent) : nullptr) {
        rect.left += frame->left;
        rect.top += frame->top;
    }
    return rect;
}

}  // namespace kelto::ui
