// Linked into every test program: the tests run without sound hardware, find
// their data folder however they are started (CTest sets the video driver
// itself; a value already in the environment is kept), and the Direct3D device
// fills new surfaces with a poison byte, as a real device leaves them holding
// anything.
#include <cstdlib>

namespace {

const bool g_environmentReady = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("TESSEL_TEST_DATA", TESSEL_TEST_DATA_DIR, 0);
    setenv("TESSEL_D3D9_POISON", "1", 0);
    return true;
}();

}  // namespace
