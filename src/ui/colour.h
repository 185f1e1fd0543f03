#pragma once

#include <cstdint>

namespace kelto::ui {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A window's layout row: positions in twips from the window's left and top edges, as the
// customer sees the window (right-to-left mirroring is applied by the view).
enum class ControlKind { Label, Button, ColouredButton, TextBox, ListBox, Frame, Picture };

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
    bool hasBackground;
    Rgb background;
};

}  // namespace kelto::ui
