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
// outcome is always exactly one message box. Everything is downloaded, unpacked and started
// inside a new folder of the QEMU folder that only administrators can write; the customer
// (given by SID; empty: the account this process runs as) may read and run what is in it.
void LaunchRescueVm(intake::Context& context, const std::string& customerSid = {});

}  // namespace kelto::rescuevm
