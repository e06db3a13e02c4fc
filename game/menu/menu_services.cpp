// The menus' services bound to the library.
#include "game/menu/menu_services.h"

#include "foundation/runtime/input.h"
#include "foundation/runtime/message_pump.h"
#include "game/files/replay_file.h"

namespace {

int LibraryClock() {
    return tessel::ReadMillisecondClock();
}

int LibraryPadBits(int padId) {
    return tessel::ReadPadBits(padId);
}

const MenuServices kLibraryServices{LibraryClock, LocalTimeNow, LibraryPadBits};
const MenuServices* boundServices = &kLibraryServices;

}  // namespace

void BindMenuServices(const MenuServices* services) {
    boundServices = services != nullptr ? services : &kLibraryServices;
}

const MenuServices& CurrentMenuServices() {
    return *boundServices;
}
