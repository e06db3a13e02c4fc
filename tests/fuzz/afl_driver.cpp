// Drives one fuzz target under AFL++.
//
// Persistent build (TESSEL_FUZZ_PERSISTENT): one process runs many inputs,
// each handed over in shared memory by AFL++'s runtime. Fork build (AFL++'s
// compiler wrapper in its GCC mode): the wrapper's fork server gives every
// input a fresh process, which reads it from standard input.
//
// Given file names, either build runs the target once on each (to look at a
// finding in a debugger).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#ifdef TESSEL_FUZZ_PERSISTENT
// AFL++'s runtime; setting __afl_sharedmem_fuzzing tells it that this program
// takes its inputs from shared memory rather than from standard input.
extern "C" {
int __afl_sharedmem_fuzzing = 1;
extern unsigned int* __afl_fuzz_len;
extern unsigned char* __afl_fuzz_ptr;
void __afl_manual_init(void);
int __afl_persistent_loop(unsigned int max_cnt);
}
// afl-fuzz looks for these marks in the program file: with them it expects
// the persistent loop and lets the program start the fork server itself.
__attribute__((used)) static const char kPersistentMark[] = "##SIG_AFL_PERSISTENT##";
__attribute__((used)) static const char kDeferredMark[] = "##SIG_AFL_DEFER_FORKSRV##";
#endif

namespace {

// Inputs per process before the runtime forks a fresh one: enough to make
// the fork's cost vanish, few enough that a slow leak cannot pile up.
[[maybe_unused]] constexpr unsigned kRunsPerProcess = 10000;

std::vector<uint8_t> ReadAll(std::istream& in) {
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

int RunStandardInput() {
    std::vector<uint8_t> bytes = ReadAll(std::cin);
    return LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        std::vector<uint8_t> bytes = ReadAll(file);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    if (argc > 1) {
        return 0;
    }
#ifdef TESSEL_FUZZ_PERSISTENT
    __afl_manual_init();
    if (__afl_fuzz_ptr == nullptr) {
        return RunStandardInput();  // not under the fuzzer
    }
    while (__afl_persistent_loop(kRunsPerProcess) != 0) {
        LLVMFuzzerTestOneInput(__afl_fuzz_ptr, *__afl_fuzz_len);
    }
    return 0;
#else
    return RunStandardInput();
#endif
}
