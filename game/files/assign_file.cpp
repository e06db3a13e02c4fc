// Reading and writing assign.dat.
#include "game/files/assign_file.h"

#include "game/files/game_file.h"
#include "game/files/record_fields.h"

void EncodeKeyAssignment(const KeyAssignment& assignment, uint8_t bytes[kAssignFileBytes]) {
    FieldWriter out{bytes};
    for (const KeyBinding& binding : assignment.buttons) {
        out.U16(binding.padCode);
        out.U16(binding.keyCode);
    }
}

void DecodeKeyAssignment(const uint8_t bytes[kAssignFileBytes], KeyAssignment* assignment) {
    FieldReader in{bytes};
    for (KeyBinding& binding : assignment->buttons) {
        binding.padCode = in.U16();
        binding.keyCode = in.U16();
    }
}

int LoadKeyAssignment(InputState* state) {
    uint8_t bytes[kAssignFileBytes];
    EncodeKeyAssignment(state->assignment, bytes);
    if (ReadGameFile(kAssignFileName, bytes, sizeof bytes) < 0) {
        return -1;
    }
    KeyAssignment read;
    DecodeKeyAssignment(bytes, &read);
    if (!KeyAssignmentInRange(read)) {
        return -1;
    }
    state->assignment = read;
    return 0;
}

int SaveKeyAssignment(const InputState& state) {
    uint8_t bytes[kAssignFileBytes];
    EncodeKeyAssignment(state.assignment, bytes);
    return WriteGameFile(kAssignFileName, bytes, sizeof bytes);
}
