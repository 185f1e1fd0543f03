// Work that must be done before the Windows session ends (sign-out, restart, shutdown),
// whatever the helper is doing at that moment: Windows may end the process any time after its
// windows have answered WM_ENDSESSION. A duty is registered for as long as its owner lives;
// the windows run the duties when they are told that the session ends.
#pragma once

#include <functional>

namespace kelto::platform {

class SessionEndDuty {
public:
    explicit SessionEndDuty(std::function<void()> duty);
    ~SessionEndDuty();
    SessionEndDuty(const SessionEndDuty&) = delete;
    SessionEndDuty& operator=(const SessionEndDuty&) = delete;

private:
    int id_;
};

// Runs every duty registered now, newest first, each at most once. Called on the window thread
// (WM_ENDSESSION) and nowhere else.
void RunSessionEndDuties();

}  // namespace kelto::platform
