// Renders a media file in a program that links no FFmpeg library: the
// decoding libraries must stay out of the process until the graph needs
// them, and then come in.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/dshow.h"
#include "platform/kernel.h"

namespace {

bool Mapped(const char* library) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find(library) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::u16string Wide(const char* text) {
    return std::u16string(text, text + std::strlen(text));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MEDIA_FILE\n", argv[0]);
        return 2;
    }
    if (Mapped("libavcodec")) {
        std::fprintf(stderr, "libavcodec is mapped before any media file was opened\n");
        return 1;
    }
    void* made = nullptr;
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         &made) != S_OK) {
        std::fprintf(stderr, "no filter graph\n");
        return 1;
    }
    auto* graph = static_cast<IGraphBuilder*>(made);
    // With no video renderer registered the clip's pictures end nowhere, so
    // the render may come out partial or fail; what counts is that the
    // decoder was tried, which the movie example's test shows decoding.
    graph->RenderFile(Wide(argv[1]).c_str(), nullptr);
    graph->Release();
    if (!Mapped("libavcodec")) {
        std::fprintf(stderr, "the graph tried the file without libavcodec\n");
        return 1;
    }
    return 0;
}
