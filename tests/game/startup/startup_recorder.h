// A start-up table that records every call as text ("ChangeWindowMode(1)")
// and keeps image handles of its own: every file exists unless listed as
// missing, a cut is a new handle remembering its rectangle.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "game/startup/startup_calls.h"
#include "tests/game/call_notes.h"

namespace game_test {

struct RecordedCut {
    int x, y, width, height;
    int source = 0;
};

struct StartupRecorder : CallNotes<StartupRecorder> {
    std::vector<std::string> calls;
    std::set<std::string> missingFiles;
    std::map<std::string, int> loadsByPath;
    std::map<int, RecordedCut> cuts;
    int answer = 6;       // what the message box gives (IDYES)
    int startResult = 0;  // what StartLibrary gives
    int nextHandle = 0x08000001;
    int nextSound = 0x10000001;

    // Binds the recorder for the life of the returned table's user.
    const StartupCalls& Bind() {
        Current() = this;
        static const StartupCalls table = {
            [](int on) { return Note("SetArchiveUse" + Args({on})), 0; },
            [](int on) { return Note("SetRunWhenInactive" + Args({on})), 0; },
            [](int on) { return Note("EnableLogFile" + Args({on})), 0; },
            [](int on) { return Note("SetTransparentColorKeying" + Args({on})), 0; },
            [](int on) { return Note("SetPowerOfTwoTextures" + Args({on})), 0; },
            [](int index) { return Note("SetWindowStyleIndex" + Args({index})), 0; },
            [](int id) { return Note("SetWindowIcon" + Args({id})), 0; },
            [](const char* title) { return Note(std::string("SetWindowTitle(") + title + ")"), 0; },
            [](int off) { return Note("SetDesktopCompositionOff" + Args({off})), 0; },
            [](const char* text, const char* caption) {
                Note(std::string("MessageBox(") + text + "," + caption + ")");
                return Current()->answer;
            },
            [](int mode) { return Note("ChangeWindowMode" + Args({mode})), 0; },
            [](int w, int h, int bits, int rate) {
                return Note("SetScreenMode" + Args({w, h, bits, rate})), 0;
            },
            [] { return Note("StartLibrary()"), Current()->startResult; },
            [](const char* text) { return Note(std::string("SetArchiveSuffix(") + text + ")"), 0; },
            [](const char* text) { return Note(std::string("SetArchiveKey(") + text + ")"), 0; },
            [](int on) { return Note("SetVerticalBlankWait" + Args({on})), 0; },
            [](int mode) { return Note("SetImageFilterMode" + Args({mode})), 0; },
            [](int bits) { return Note("SetNewImageColorDepth" + Args({bits})), 0; },
            [](int option) { return Note("SetImageLoadOption" + Args({option})), 0; },
            [](int on) { return Note("SetZBufferWrite" + Args({on})), 0; },
            [](int target) { return Note("SelectDrawTarget" + Args({target})), 0; },
            [](int x1, int y1, int x2, int y2, int image, int transparent) {
                return Note("DrawImageStretched" + Args({x1, y1, x2, y2, image, transparent})), 0;
            },
            [] { return Note("PresentScreen()"), 0; },
            [](const char* path) {
                StartupRecorder& self = *Current();
                Note(std::string("LoadImage(") + path + ")");
                ++self.loadsByPath[path];
                return self.missingFiles.count(path) != 0 ? -1 : self.nextHandle++;
            },
            [](int x, int y, int w, int h, int source) {
                StartupRecorder& self = *Current();
                if (source == -1) {
                    return -1;
                }
                self.cuts[self.nextHandle] = RecordedCut{x, y, w, h, source};
                return self.nextHandle++;
            },
            [](int image, int* w, int* h) {
                auto found = Current()->cuts.find(image);
                if (found == Current()->cuts.end()) {
                    return -1;
                }
                *w = found->second.width;
                *h = found->second.height;
                return 0;
            },
            [](int image) { return Note("ReleaseImage" + Args({image})), 0; },
            [](int on) { return Note("SetDrawableImageCreation" + Args({on})), 0; },
            [](int w, int h) {
                Note("CreateBlankImage" + Args({w, h}));
                return Current()->nextHandle++;
            },
            [](const char* path) {
                return Note(std::string("LoadModel(") + path + ")"), 0x50000001;
            },
            [](int model, int texture, int mode) {
                return Note("SetModelTextureFilter" + Args({model, texture, mode})), 0;
            },
            [](int mode) { return Note("SetSoundLoadMode" + Args({mode})), 0; },
            [](const char* path, int buffers, int unused) {
                Note(std::string("LoadSound(") + path + "," + std::to_string(buffers) + "," +
                     std::to_string(unused) + ")");
                return Current()->nextSound++;
            },
            [](int64_t ms, int sound) {
                return Note("SetLoopPointMs" + Args({ms, sound})), 0;
            },
        };
        BindStartupCalls(&table);
        return table;
    }
    ~StartupRecorder() {
        BindStartupCalls(nullptr);
        Current() = nullptr;
    }

    // The recorded calls whose text starts with `prefix`.
    std::vector<std::string> Named(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& call : calls) {
            if (call.rfind(prefix, 0) == 0) {
                out.push_back(call);
            }
        }
        return out;
    }
};

}  // namespace game_test
