// What the helper's windows paint with: the designed colours, or in Windows' high-contrast
// mode the colours the customer chose for the whole system. Decided here, drawn by the views.
#pragma once

#include <optional>

#include "ui/colour.h"

namespace kelto::ui {

// The system colours a high-contrast theme sets (COLOR_WINDOW, COLOR_WINDOWTEXT, ...).
struct SystemColours {
    Rgb window;
    Rgb windowText;
    Rgb buttonFace;
    Rgb buttonText;
    Rgb highlight;
    Rgb highlightText;
    Rgb grayText;
};

struct ButtonPaint {
    Rgb face;
    Rgb text;
    Rgb frame;
};

struct LabelPaint {
    Rgb text;
    Rgb background;
};

// The window's own background.
Rgb WindowBackground(Rgb designed, bool highContrast, const SystemColours& system);

// A label: its designed text colour (the system's window text where it has none) on its own
// background or the window's.
LabelPaint LabelColours(std::optional<Rgb> designedText, std::optional<Rgb> designedBackground,
                        Rgb windowBackground, bool highContrast, const SystemColours& system);

// A coloured button: its face, light or dark text as the face asks, and a frame. Disabled, it
// takes the system's button face with greyed text. In high contrast a dark (leading) button
// is drawn in the highlight colours, the others as the system's buttons.
ButtonPaint ColouredButtonColours(std::optional<Rgb> designedFace, bool disabled, bool highContrast,
                                  const SystemColours& system);

}  // namespace kelto::ui
