#pragma once

namespace kelto::intake {
struct Context;
}

namespace kelto::rescuevm {

// Downloads QEMU and the rescue ISO from the request's server and boots the ISO.
void LaunchRescueVm(intake::Context& context);

}  // namespace kelto::rescuevm
