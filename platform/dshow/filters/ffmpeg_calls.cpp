// Opens FFmpeg's libraries by the major versions this code was compiled
// against, so a table entry always has the signature its header declares.
#include "platform/dshow/filters/ffmpeg_calls.h"

#include <dlfcn.h>
extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswresample/version.h>
#include <libswscale/version.h>
}

#include <mutex>
#include <string>

namespace platform::dshow {

namespace {

struct Libraries {
    void* avutil = nullptr;
    void* avcodec = nullptr;
    void* avformat = nullptr;
    void* swscale = nullptr;
    void* swresample = nullptr;
};

void* OpenLibrary(const char* name, int major) {
    const std::string file = "lib" + std::string(name) + ".so." + std::to_string(major);
    // Global, as the libraries' own links to each other expect.
    return dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
}

bool OpenAll(Libraries* libraries) {
    libraries->avutil = OpenLibrary("avutil", LIBAVUTIL_VERSION_MAJOR);
    libraries->avcodec = OpenLibrary("avcodec", LIBAVCODEC_VERSION_MAJOR);
    libraries->avformat = OpenLibrary("avformat", LIBAVFORMAT_VERSION_MAJOR);
    libraries->swscale = OpenLibrary("swscale", LIBSWSCALE_VERSION_MAJOR);
    libraries->swresample = OpenLibrary("swresample", LIBSWRESAMPLE_VERSION_MAJOR);
    return libraries->avutil != nullptr && libraries->avcodec != nullptr &&
           libraries->avformat != nullptr && libraries->swscale != nullptr &&
           libraries->swresample != nullptr;
}

bool Resolve(const Libraries& libraries, FfmpegCalls* calls) {
    bool all = true;
#define TESSEL_FFMPEG_RESOLVE(library, name)                                            \
    calls->name = reinterpret_cast<decltype(&::name)>(dlsym(libraries.library, #name)); \
    all = all && calls->name != nullptr;
    TESSEL_FFMPEG_CALLS(TESSEL_FFMPEG_RESOLVE)
#undef TESSEL_FFMPEG_RESOLVE
    return all;
}

}  // namespace

const FfmpegCalls* OpenFfmpeg() {
    static FfmpegCalls calls;
    static const FfmpegCalls* opened = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        // The libraries stay open: the process may decode again at any time.
        Libraries libraries;
        if (!OpenAll(&libraries) || !Resolve(libraries, &calls)) {
            return;
        }
        // Quiet: a file the libraries cannot read is an answer, not news.
        calls.av_log_set_level(AV_LOG_QUIET);
        opened = &calls;
    });
    return opened;
}

}  // namespace platform::dshow
