// The game program: start-up in its order, the frame loop, and the end.
//
// Each frame: the live input, the scenes' updates, the requested sounds, the
// fade; then, unless a skip rule holds, the draw into FrameImage through the
// two draw queues with the FPS figure, the fade box and the screenshot key
// over it, stretched onto the back screen; the wait for the frame's due time
// and the presentation. Logic never skips: the replay fast-forward (bomb held
// while a replay plays) leaves out three frames in four of drawing, waiting
// and presenting, and half-rate drawing leaves out the drawing of odd frames.
#pragma once

#include "game/config_word.h"

// config.dat as loaded at start-up; the loop reads its options every frame.
extern ConfigWord GameConfig;

// Loads the files, starts the library and the game's assets, and builds the
// splash scene fading in: 0, or -1 when the library did not start (then no
// scene exists and nothing is saved).
int StartGame();
// One pass of the loop.
void RunFrame();
// The logic half of a pass, which never skips: the live input, the scenes'
// updates, the requested sounds and music, the fade.
void UpdateFrame();
// The draw part of a frame, into FrameImage and onto the back screen.
void DrawFrame();
// Runs frames while the window lives, until the quit scene is reached.
void RunFrameLoop();
// The whole program: 0 after a normal end, -1 when start-up failed.
int RunGameProgram();
