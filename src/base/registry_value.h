// What a registry value's type and bytes mean as text or as a number: one rule for the
// Windows layer and for its test double.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system.h"

namespace kelto::registry_value {

// UTF-16LE bytes as UTF-8, without the terminating nulls the value was stored with (a null
// inside stays); a lone surrogate becomes U+FFFD.
std::string TextOfUtf16(const std::vector<std::uint8_t>& bytes);

// REG_SZ and REG_EXPAND_SZ as stored (unexpanded), REG_DWORD as its decimal number; any other
// type is WrongType and leaves `text` as it was.
platform::ReadResult AsText(const platform::RawRegistryValue& value, std::string& text);
// A REG_DWORD of exactly four bytes; anything else is WrongType and leaves `number` as it was.
platform::ReadResult AsDword(const platform::RawRegistryValue& value, std::uint32_t& number);

}  // namespace kelto::registry_value
