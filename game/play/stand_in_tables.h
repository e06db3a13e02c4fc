// Kind rows for play without the game's CSV tables: every bullet kind the
// behaviours fire and every enemy kind they queue gets a hit circle, a field
// margin and a plain draw style, so that a game runs with all its collisions.
// The tests and the replay tool play with them.
#pragma once

// Fills PlayTables; the image handles stay 0.
void InstallStandInPlayTables();

// The stand-in rows and every behaviour table filled: what start-up would
// leave behind for a game to be played.
void PrepareStandInPlay();
