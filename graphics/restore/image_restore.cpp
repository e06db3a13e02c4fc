// The refill of images after a lost device. Sub-images of one file sit in
// neighbouring slots, so the file is loaded again only when the path or the
// loader option changes from the previous image; each image then takes its
// own rectangle of the picture.
#include "graphics/restore/image_restore.h"

#include <string>

#include "foundation/memory/log.h"
#include "graphics/fonts/font_handles.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/textures/image_textures.h"
#include "images/base_image.h"
#include "images/image_loader.h"

namespace tessel {

namespace {

uint64_t g_loadCount = 0;

void DefaultRestore(void* /*data*/) {
    RestoreAllImages();
}

// The picture last loaded, kept while the following images share its file.
// The path is a copy: the refill gives each image a name record of its own,
// which frees the shared one the record's path pointed into.
struct LoadedPicture {
    std::string path;
    uint32_t option = 0;
    bool loaded = false;
    bool hasAlpha = false;
    BASEIMAGE image = {};
    BASEIMAGE alpha = {};

    void Release() {
        ReleaseImageBuffer(&image);
        ReleaseImageBuffer(&alpha);
        loaded = false;
        hasAlpha = false;
    }
    bool Matches(const char* otherPath, uint32_t otherOption) const {
        return loaded && path == otherPath && option == otherOption;
    }
    bool Load(const char* newPath, uint32_t newOption) {
        Release();
        path = newPath;
        option = newOption;
        ++g_loadCount;
        const int result = LoadImageBufferWithAlpha(path.c_str(), nullptr, 0, 0, nullptr, 0, 0,
                                                    &image, &alpha, static_cast<int>(newOption));
        if (result < 0) {
            WriteLogFormat("ファイル:%s がロードできませんでした", path.c_str());
            return false;
        }
        loaded = true;
        hasAlpha = result == 0;
        return true;
    }
};

}  // namespace

int SetRestoreCallback(RestoreFunction function, void* data) {
    g_drawSettings.restoreCallback = function != nullptr ? function : DefaultRestore;
    g_drawSettings.restoreCallbackData = function != nullptr ? data : nullptr;
    return 0;
}

int RunRestore() {
    RestoreFunction function = g_drawSettings.restoreCallback;
    if (function == nullptr) {
        function = DefaultRestore;
    }
    function(g_drawSettings.restoreCallbackData);
    // The model textures join here with their layer.
    RecreateAllFonts();
    return 0;
}

void RestoreAllImages() {
    WriteLog("グラフィックを復帰します\n");
    LoadedPicture picture;
    for (int slot = 0; slot < g_images.end; ++slot) {
        const ImageRecord* record = g_images.slots[slot];
        if (record == nullptr || record->fileName == nullptr) {
            continue;
        }
        const char* path = record->fileName->path;
        if (!picture.Matches(path, record->loaderOption) &&
            !picture.Load(path, record->loaderOption)) {
            continue;
        }
        FillImageFromSource(picture.path.c_str(), 0, &picture.image,
                            picture.hasAlpha ? &picture.alpha : nullptr, record->reloadX,
                            record->reloadY, record->handle, record->loaderOption);
    }
    picture.Release();
}

uint64_t RestoreLoadCount() {
    return g_loadCount;
}

}  // namespace tessel
