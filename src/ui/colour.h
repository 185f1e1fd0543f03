#pragma once

#include <cstdint>

namespace kelto::ui {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A window's layout row: positions in twips, as the customer sees the window (right-to-left
// mirroring is applied by the view), from the window's client area or, for a control inside
// a frame, from that frame's top-left corner. The rows of a table are in tab order, which is
// also the order the view creates the controls in.
enum class ControlKind { Label, Button, ColouredButton, TextBox, ListBox, Frame, Picture };

// Text alignment as seen: labels read from the right; a few are centred.
enum class TextAlign { Right, Centre };

struct ControlSpec {
    int id;
    const char* name;
    ControlKind kind;
    int left;
    int top;
    int width;
    int height;
    int tabOrder;
    const char* caption;
    bool hasBackground = false;
    Rgb background{};
    // The frame the position is measured from; 0 for the window itself. A frame only offsets
    // its children: every control is a child of the window, so the tab walk stays flat.
    int parent = 0;
    // 0: the window's own font; otherwise the row's size in hundredths of a point.
    int fontCentiPoints = 0;
    bool bold = false;
    TextAlign align = TextAlign::Right;
    bool hasTextColour = false;
    Rgb textColour{};

    constexpr ControlSpec In(int frame) const {
        ControlSpec c = *this;
        c.parent = frame;
        return c;
    }
    constexpr ControlSpec Font(int centiPoints, bool isBold) const {
        ControlSpec c = *this;
        c.fontCentiPoints = centiPoints;
        c.bold = isBold;
        return c;
    }
    constexpr ControlSpec Text(Rgb colour) const {
        ControlSpec c = *this;
        c.hasTextColour = true;
        c.textColour = colour;
        return c;
    }
    constexpr ControlSpec Back(Rgb colour) const {
        ControlSpec c = *this;
        c.hasBackground = true;
        c.background = colour;
        return c;
    }
    constexpr ControlSpec Centred() const {
        ControlSpec c = *this;
        c.align = TextAlign::Centre;
        return c;
    }
};

}  // namespace kelto::ui
