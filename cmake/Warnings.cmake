# Flags every target gets. Floating point stays strict so that game runs and
# replays are bit-exact across builds: no contraction into FMA, no fast-math.
add_compile_options(
  -Wall -Wextra -Werror
  -Wno-unused-parameter
  -ffp-contract=off -fno-fast-math
  -fno-strict-aliasing
)

# GCC's undefined-behaviour set leaves out float-to-integer casts that
# overflow; they are named here so that every such cast is caught.
# At -O1: unoptimised, every test program's instrumented code and data grew
# twentyfold, and starting and leak-checking each test's process cost more
# than most tests themselves (each test is its own process).
if(TESSEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -O1
                      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  # GCC 12 warns of memset bounds it invents itself when it inlines
  # instrumented vector growth at -O1; the release build keeps the check.
  add_compile_options(-Wno-stringop-overflow)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all)
endif()

# Data races between the library's threads (log, file reader, loaders). The
# build runs at -O1, so code must build warning-free at every level.
if(TESSEL_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -O1 -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# The sanitizer builds are for their reports, whose stacks need only function
# names and lines: line tables (-g1) give those, and leave out the variable
# and type records that make most of these builds' compile and link time and
# size. Later flags win, so this overrides the build type's -g.
if(TESSEL_SANITIZE OR TESSEL_SANITIZE_THREAD)
  add_compile_options(-g1)
endif()

# Targets that hold the system's Japanese texts: sources stay UTF-8, the
# strings become code page 932 bytes at run time.
function(tessel_cp932 target)
  target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=CP932)
endfunction()
# Note: libstdc++'s <chrono> holds a character (U+00B5) that code page 932
# lacks, so CP932 targets use the platform's clocks instead of <chrono>.
