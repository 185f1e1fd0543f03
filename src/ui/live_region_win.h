// A label that a screen reader reads out when its text changes, wherever the focus is: a
// "live region" (Microsoft Active Accessibility's dynamic annotation of the LiveSetting
// property through IAccPropServices, then EVENT_OBJECT_LIVEREGIONCHANGED).
#pragma once

#include <windows.h>

namespace kelto::ui {

class LiveRegion {
public:
    // Marks the label polite: read out when the reader is done with what it is reading.
    explicit LiveRegion(HWND label);
    ~LiveRegion();
    LiveRegion(const LiveRegion&) = delete;
    LiveRegion& operator=(const LiveRegion&) = delete;

    // Raises the event after the label's text was set. Without the annotation (an older
    // system, COM not to be had) the event is raised all the same.
    void Announce();

private:
    HWND label_;
    struct Annotation;
    Annotation* annotation_ = nullptr;
};

}  // namespace kelto::ui
