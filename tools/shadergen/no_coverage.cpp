// The coverage hook of a persistent fuzzing build, for the shader generator: the library's
// objects it links are instrumented, but the generator runs at build time and is not fuzzed,
// so every block it passes counts nothing.
extern "C" __attribute__((no_sanitize_coverage)) void __sanitizer_cov_trace_pc(void) {}
