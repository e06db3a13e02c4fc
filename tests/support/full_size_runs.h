// Whether the long differential runs go at full size. The sanitizer builds
// are optimised too (their start-up and leak checks cost less that way), but
// their checked memory accesses still make every pixel many times dearer, so
// they take a sample of the cases the release build runs in full.
#pragma once

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define TESSEL_FULL_SIZE_RUNS 1
#else
#define TESSEL_FULL_SIZE_RUNS 0
#endif
