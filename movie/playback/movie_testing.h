// Test hooks of the movie table (not part of the library's interface).
#pragma once

#include <cstdint>

namespace tessel {

// Replaces the microsecond clock that movies without sound follow; null
// restores the library's clock.
using MovieClock = uint64_t (*)();
void SetMovieClockForTest(MovieClock clock);
// Movies open now.
int OpenMovieCountForTest();

}  // namespace tessel
