// Linked into every test program: the tests run without sound hardware and
// find their data folder however they are started (CTest sets the video
// driver itself; a value already in the environment is kept).
#include <cstdlib>

namespace {

const bool g_environmentReady = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("TESSEL_TEST_DATA", TESSEL_TEST_DATA_DIR, 0);
    return true;
}();

}  // namespace
