// The example Windows that `explain` runs the helper's own code on: a customer's PC with no
// authorized support session, every program of the catalogue in its system folder, and the
// variables TEMP and USERPROFILE holding their own names as placeholders.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "actions/approval.h"
#include "intake/context.h"
#include "platform/system.h"

namespace kelto::tokentool {

// The Windows folder of the example; shown as kSystemRootPlaceholder. It must be a full path:
// the helper starts nothing from a Windows folder that is not one.
inline constexpr const char* kExampleSystemRoot = "C:\\Windows";
inline constexpr const char* kSystemRootPlaceholder = "%SystemRoot%";

// 64-bit Windows runs the 32-bit helper under WOW64, where the Sysnative alias exists.
enum class WindowsBits { Bits64, Bits32 };

// What the shell was asked to start.
struct ShellStart {
    std::string verb, file, parameters, directory;
    friend bool operator==(const ShellStart&, const ShellStart&) = default;
};

// Every platform interface of the helper, answering as the example PC would; nothing reaches
// the machine the tool runs on. Message boxes are recorded and answered No.
class ExampleWindows {
public:
    explicit ExampleWindows(WindowsBits bits);
    ExampleWindows(const ExampleWindows&) = delete;
    ExampleWindows& operator=(const ExampleWindows&) = delete;
    ~ExampleWindows();

    intake::Context& Context();
    const std::vector<actions::BoxText>& Boxes() const;
    const std::vector<ShellStart>& ShellStarts() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// The text with the example's Windows folder written as kSystemRootPlaceholder.
std::string WithPlaceholders(const std::string& text);

}  // namespace kelto::tokentool
