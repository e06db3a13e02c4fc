// What the menus ask of the world outside the game: the millisecond clock
// that seeds a new game, the local time a saved replay is listed with, and
// the pad the key configuration reads. Bound to the library unless a test
// binds its own.
#pragma once

#include <ctime>

struct MenuServices {
    int (*millisecondClock)();
    std::tm (*localTimeNow)();
    // The pad alone, without its keyboard mapping.
    int (*readPadBits)(int padId);
};

// Binds `services` (kept by address, not copied); null goes back to the library's.
void BindMenuServices(const MenuServices* services);
const MenuServices& CurrentMenuServices();
