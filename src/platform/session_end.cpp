#include "platform/session_end.h"

#include <utility>
#include <vector>

namespace kelto::platform {

namespace {
struct Duty {
    int id;
    std::function<void()> work;
    bool done = false;
};

// The window thread's: duties are registered, run and removed there alone.
std::vector<Duty>& Duties() {
    static std::vector<Duty> duties;
    return duties;
}
int nextId = 0;
}  // namespace

SessionEndDuty::SessionEndDuty(std::function<void()> duty) : id_(++nextId) {
    Duties().push_back({id_, std::move(duty)});
}

SessionEndDuty::~SessionEndDuty() {
    auto& duties = Duties();
    std::erase_if(duties, [this](const Duty& d) { return d.id == id_; });
}

void RunSessionEndDuties() {
    auto& duties = Duties();
    // Newest first; a duty may not register or remove others while it runs.
    for (std::size_t i = duties.size(); i-- > 0;) {
        if (duties[i].done) continue;
        duties[i].done = true;
        duties[i].work();
    }
}

}  // namespace kelto::platform
