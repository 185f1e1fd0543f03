// The rescue VM's support server, played by the kit on 127.0.0.1 (the end-to-end suite's HTTP
// server), and the kit's second life as the "emulator" that server hands out.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kelto::acceptance {

class RescueServer {
public:
    // Serves /vm/qemu.zip and /vm/kelto-rescue.iso from construction to destruction; the
    // image `isoDelayMs` after it is asked for, as over a slow line.
    RescueServer(std::string zip, std::string iso, int isoDelayMs = 0);
    ~RescueServer();
    RescueServer(const RescueServer&) = delete;
    RescueServer& operator=(const RescueServer&) = delete;
    int Port() const;
    // The request targets received, query included.
    std::vector<std::string> Requests() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Where the kit, started as the emulator, records how it was started.
std::wstring EmulatorRecordPath();
// True when this process is the kit started as the emulator (its file is named
// qemu-system-x86_64.exe); then it records its path and command line and stays running a
// while, as an emulator would, until the kit ends it.
bool RunAsRecordingEmulator();

}  // namespace kelto::acceptance
