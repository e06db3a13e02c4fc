// The coverage hook of a persistent fuzzing build: GCC's own instrumentation
// (-fsanitize-coverage=trace-pc calls this at every basic block) feeding the
// edge map of AFL++'s runtime (afl-compiler-rt.o), which runs the fork server,
// the persistent loop and the shared-memory input. An edge is the pair of the
// previous and the current block, hashed into the map as AFL++ does.
#include <cstdint>

extern "C" {

extern uint8_t* __afl_area_ptr;

constexpr uintptr_t kMapMask = 0xFFFF;  // AFL++'s default map of 64 KiB

static thread_local uintptr_t previousBlock = 0;

__attribute__((no_sanitize_coverage)) void __sanitizer_cov_trace_pc(void) {
    const auto pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    const uintptr_t block = (pc ^ (pc >> 16)) & kMapMask;
    __afl_area_ptr[block ^ previousBlock]++;
    previousBlock = block >> 1;
}

}  // extern "C"
