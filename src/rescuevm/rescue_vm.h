#pragma once

namespace kelto::app {
struct Context;
}

namespace kelto::rescuevm {

// Downloads QEMU and the rescue ISO from the request's server and boots the ISO.
void LaunchRescueVm(app::Context& context);

}  // namespace kelto::rescuevm
