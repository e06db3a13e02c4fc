// A 16-bit button mask from the logical buttons held, as the game records
// one a frame.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace game_test {

inline uint16_t Buttons(std::initializer_list<int> buttons) {
    uint16_t mask = 0;
    for (int b : buttons) {
        mask = static_cast<uint16_t>(mask | (1u << b));
    }
    return mask;
}

}  // namespace game_test
