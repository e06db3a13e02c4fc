// A fingerprint of everything that decides the course of a game: the
// settings that play changes, the player, the wave schedule, the game's
// buttons, every live pooled object, bullet and enemy with its place in its
// pool's order, the stage block and the play generator. Two runs of one game
// hash alike frame by frame exactly when they play alike. The high score and
// score.dat's counters are left out: a replay does not change them.
#pragma once

#include <cstdint>

struct GameScene;

uint64_t HashPlayState(const GameScene& scene);
