// What a play frame asks of the services that are not part of play: sound
// effects by slot, music tracks, and a change of scene. The scene machine and
// the frame loop own them; play only asks, and nothing it asks feeds back
// into play, so a replay runs the same without them.
#pragma once

#include "game/loop/scene_machine.h"
#include "game/loop/sound_requests.h"
