// config.dat, the configuration the settings program writes and the game only
// reads, once at start-up. Both programs go through these two calls.
#pragma once

#include "game/config_word.h"

constexpr char kConfigFileName[] = "config.dat";

// The word from the file; all zero (window, 640x480, 32-bit, no options)
// when it does not open. A short file fills only the bytes it holds.
void LoadConfigFile(ConfigWord* word);

// Writes the four bytes as the whole file: 0, or -1 (the previous file kept
// whole) when the file cannot take them. Only the settings program saves it.
int SaveConfigFile(const ConfigWord& word);
