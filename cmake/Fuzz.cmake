# A fuzzing build (TESSEL_FUZZ). AFL++'s GCC plugin refuses this GCC, so a
# persistent build instruments every block with GCC's own coverage hook
# (tests/fuzz/afl_coverage.cpp hands it to AFL++'s runtime); a fork build is
# configured with AFL++'s compiler wrapper (afl-gcc, afl-g++) instead, which
# instruments by assembly and needs nothing here.
if(NOT TESSEL_FUZZ)
  return()
endif()

# Optimised with the sanitizers, GCC 12 raises false restrict and bounds
# warnings inside libstdc++; the regular builds keep every warning an error.
if(TESSEL_SANITIZE)
  add_compile_options(-Wno-error)
endif()

if(TESSEL_FUZZ_ENGINE STREQUAL "persistent")
  find_file(AFL_COMPILER_RT afl-compiler-rt-64.o afl-compiler-rt.o
            PATHS /usr/lib/afl /usr/local/lib/afl NO_DEFAULT_PATH REQUIRED)
  add_compile_options(-fsanitize-coverage=trace-pc)
elseif(NOT TESSEL_FUZZ_ENGINE STREQUAL "fork")
  message(FATAL_ERROR "TESSEL_FUZZ_ENGINE is persistent or fork, not ${TESSEL_FUZZ_ENGINE}")
endif()
