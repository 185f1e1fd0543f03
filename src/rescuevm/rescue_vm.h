// The rescue virtual machine: a portable QEMU and a rescue ISO fetched from the request's
// support server, unpacked beside the helper and booted.
#pragma once

#include <string>

namespace kelto::intake {
struct Context;
struct RequestState;
}  // namespace kelto::intake

namespace kelto::rescuevm {

// "http://" or "https://", the host, ":" and the port in decimal (always written). The one
// place the server address becomes text: both downloads and the confirmation use it.
std::string ServerBaseUrl(const intake::RequestState& request);

// The QEMU arguments that boot the ISO at this path.
std::string QemuArguments(const std::string& isoPath);

// Downloads QEMU and the rescue ISO from the request's server and boots the ISO; the
// outcome is always exactly one message box.
void LaunchRescueVm(intake::Context& context);

}  // namespace kelto::rescuevm
