// The placement rule (ui/placement.h) carried out on a real window.
#pragma once

#include <windows.h>

#include <functional>

#include "ui/placement.h"

namespace kelto::ui {

// Places `window` by the rule: centred on `owner` when that is on screen, otherwise on the
// primary monitor's work area; `layout` lays the controls out at the DPI it is given.
void PlaceWindowWin(HWND window, HWND owner, int clientWidthTwips, int clientHeightTwips,
                    const std::function<void(UINT dpi)>& layout);

}  // namespace kelto::ui
