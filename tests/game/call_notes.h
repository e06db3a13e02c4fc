// What a recording table of library calls shares: the one recorder its
// plain-function entries reach, and each call written as text
// ("DrawBoxShape(0,0,640,480,...)") into that recorder's `calls`.
#pragma once

#include <initializer_list>
#include <string>

namespace game_test {

template <class Recorder>
struct CallNotes {
    static Recorder*& Current() {
        static Recorder* current = nullptr;
        return current;
    }
    static void Note(const std::string& call) { Current()->calls.push_back(call); }
    static std::string Args(std::initializer_list<long long> values) {
        std::string text;
        for (long long value : values) {
            text += (text.empty() ? "" : ",") + std::to_string(value);
        }
        return "(" + text + ")";
    }
};

}  // namespace game_test
