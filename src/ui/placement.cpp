#include "ui/placement.h"

#include <algorithm>

#include "ui/layout.h"

namespace kelto::ui {

namespace {
// Centred on [from, to), then kept inside [min, max) where it fits: a window larger than the
// work area keeps its leading edge on screen.
int Centred(int from, int to, int size, int min, int max) {
    const int centred = from + ((to - from) - size) / 2;
    return std::max(min, std::min(centred, max - size));
}
}  // namespace

void PlaceWindow(PlacedWindow& window, int clientWidthTwips, int clientHeightTwips) {
    const ScreenRect around = window.Around();
    const ScreenRect work = window.WorkArea();
    // Onto the monitor first: the DPI read below is then that monitor's.
    window.MoveTo(around.left + (around.right - around.left) / 2, around.top + (around.bottom - around.top) / 2);
    const int dpi = window.Dpi();
    int width = 0;
    int height = 0;
    window.OuterSize(TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi), dpi, width,
                     height);
    window.SetBounds(Centred(around.left, around.right, width, work.left, work.right),
                     Centred(around.top, around.bottom, height, work.top, work.bottom), width, height);
    window.LayoutControls(dpi);
}

}  // namespace kelto::ui
