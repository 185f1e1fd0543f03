// Fuzz target over the record of the restore-point frequency value, which a later run reads back
// from the registry: whatever bytes (and whatever type) stand there, reading them must not fail,
// and a record read as one must be exactly what writing its value back gives, so that no other
// bytes can ever reach the frequency value through it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "restore/restore_points.h"

namespace {

[[noreturn]] void Violation(const char* what, std::size_t size) {
    std::fprintf(stderr, "frequency record invariant violated: %s (%zu bytes)\n", what, size);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kelto::platform::RawRegistryValue;
    namespace regtype = kelto::platform::regtype;
    const RawRegistryValue record{regtype::kBinary, {data, data + size}};
    if (const auto saved = kelto::restore::DecodeFrequencyRecord(record)) {
        if (kelto::restore::EncodeFrequencyRecord(*saved) != record) Violation("read back differently", size);
        if (!saved->existed && size != 1) Violation("an absent value with more bytes", size);
    }
    // The same bytes under any other type are no record.
    for (const std::uint32_t type : {regtype::kSz, regtype::kDword, regtype::kQword, regtype::kMultiSz}) {
        if (kelto::restore::DecodeFrequencyRecord({type, record.bytes})) Violation("read under another type", size);
    }
    return 0;
}
