// The roads the kit walks with the real helper, and the run as a whole.
#pragma once

#include <string>

#include "options.h"

namespace kelto::acceptance {

// Walks every road, puts back what it changed and writes the report; 0 when no check
// failed, 1 otherwise.
int RunKit(const Options& options, const std::wstring& helperPath, const std::wstring& reportDir);

}  // namespace kelto::acceptance
