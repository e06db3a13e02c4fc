// assign.dat: the key assignment, sixteen {pad code, key scan code} pairs of
// 16-bit little-endian values, button 0 first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "game/input/input_state.h"

constexpr char kAssignFileName[] = "assign.dat";
constexpr size_t kAssignFileBytes = 64;

// Over the state's assignment: 0 when read. A file that does not open, or
// holds a code the game could not have stored (a damaged file), leaves the
// assignment as it was and gives -1. A short file fills only the bytes it holds.
int LoadKeyAssignment(InputState* state);
// A failed open or write drops the save: 0, or -1 then.
int SaveKeyAssignment(const InputState& state);

void EncodeKeyAssignment(const KeyAssignment& assignment, uint8_t bytes[kAssignFileBytes]);
void DecodeKeyAssignment(const uint8_t bytes[kAssignFileBytes], KeyAssignment* assignment);
