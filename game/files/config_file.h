// config.dat, the configuration the settings program writes and the game only
// reads, once at start-up.
#pragma once

#include "game/config_word.h"

constexpr char kConfigFileName[] = "config.dat";

// The word from the file; all zero (window, 640x480, 32-bit, no options)
// when it does not open. A short file fills only the bytes it holds.
void LoadConfigFile(ConfigWord* word);
