// A stand-in for the image handles the data tables ask for: loads, cuts and
// sizes are recorded, and every cut is a new handle with the cut's size.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "game/data/data_tables.h"

namespace game_test {

struct ImageCut {
    int x, y, width, height;
    int32_t source;
};

struct FakeImages {
    std::vector<std::string> loads;
    std::map<int32_t, ImageCut> cuts;
    std::map<std::string, std::pair<int, int>> fileSizes;  // files that exist, by path
    std::map<int32_t, std::pair<int, int>> sizes;          // every live handle
    int32_t next = 0x08000001;

    static FakeImages*& Current() {
        static FakeImages* current = nullptr;
        return current;
    }
    static int32_t Load(const char* path) {
        FakeImages& self = *Current();
        self.loads.emplace_back(path);
        auto file = self.fileSizes.find(path);
        if (file == self.fileSizes.end()) {
            return -1;
        }
        self.sizes[self.next] = file->second;
        return self.next++;
    }
    static int32_t Cut(int x, int y, int width, int height, int32_t source) {
        FakeImages& self = *Current();
        if (self.sizes.count(source) == 0) {
            return -1;
        }
        self.cuts[self.next] = ImageCut{x, y, width, height, source};
        self.sizes[self.next] = {width, height};
        return self.next++;
    }
    static int Size(int32_t image, int* width, int* height) {
        FakeImages& self = *Current();
        auto found = self.sizes.find(image);
        if (found == self.sizes.end()) {
            return -1;
        }
        *width = found->second.first;
        *height = found->second.second;
        return 0;
    }
    TableImageOps Ops() {
        Current() = this;
        return TableImageOps{&Load, &Cut, &Size};
    }
};

}  // namespace game_test
