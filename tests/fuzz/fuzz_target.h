// The shape every fuzz target has: one function taking a byte buffer, in the
// common LLVMFuzzerTestOneInput form so that any engine can drive it.
//
// A target file writes TESSEL_FUZZ_TARGET(name) { ... } with `data` and
// `size` in scope. Built alone (TESSEL_FUZZ_STANDALONE), the file defines
// LLVMFuzzerTestOneInput for an engine; built into the replay program, the
// body registers itself under its name so one program runs every target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel_fuzz {

using FuzzBody = int (*)(const uint8_t* data, size_t size);

struct FuzzTargetEntry {
    const char* name;
    FuzzBody body;
};

// Every target linked into the program, in registration order.
inline std::vector<FuzzTargetEntry>& RegisteredTargets() {
    static std::vector<FuzzTargetEntry> targets;
    return targets;
}

struct FuzzRegistration {
    FuzzRegistration(const char* name, FuzzBody body) {
        RegisteredTargets().push_back({name, body});
    }
};

}  // namespace tessel_fuzz

#ifdef TESSEL_FUZZ_STANDALONE
#define TESSEL_FUZZ_ENTRY(name)                                               \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
        return FuzzBody_##name(data, size);                                   \
    }
#else
#define TESSEL_FUZZ_ENTRY(name) \
    static const tessel_fuzz::FuzzRegistration fuzzRegistration_##name(#name, FuzzBody_##name);
#endif

#define TESSEL_FUZZ_TARGET(name)                                  \
    static int FuzzBody_##name(const uint8_t* data, size_t size); \
    TESSEL_FUZZ_ENTRY(name)                                       \
    static int FuzzBody_##name(const uint8_t* data, size_t size)
