// The model loading chain: the path split into an absolute directory and a
// base name, the whole file read through the file layer, the readers tried
// in their fixed order (TSM, MQO, .x, PMD), then device buffers and the model.
#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/files/file_ops.h"
#include "foundation/files/paths.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"
#include "models/instances/model_instances.h"
#include "models/loading/model_loading.h"
#include "models/read/read_model.h"
#include "models/read/read_model_conversion.h"

namespace tessel {

namespace {

using ModelReader = int (*)(const ModelLoadParams*);
constexpr ModelReader kReaders[] = {&ParseTsmModel, &LoadMqoModel, &LoadXModel, &LoadPmdModel};

bool HasSeparator(const char* path) {
    return FindTextChar(path, '\\') != nullptr || FindTextChar(path, '/') != nullptr ||
           FindTextChar(path, ':') != nullptr;
}

// The position of the last '\', '/' or ':', stepping over double-byte
// characters so that a second byte of 0x5C is no separator.
int LastSeparator(const char* path) {
    int last = -1;
    for (int i = 0; path[i] != '\0';) {
        if (IsLeadByte(path + i, LibraryCharSet) != 0 && path[i + 1] != '\0') {
            i += 2;
            continue;
        }
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':') {
            last = i;
        }
        ++i;
    }
    return last;
}

}  // namespace

int FinishModelLoad(const char* path, int baseHandle) {
    BuildModelBaseBuffers(baseHandle, 1);
    const int model = NewModelHandle();
    if (model == -1) {
        WriteLogFormat("モデルファイル %s のモデルハンドルの作成に失敗しました", path);
        ReleaseModelBase(baseHandle);
        return -1;
    }
    if (CreateModelFromBase(model, baseHandle) == 0) {
        return model;
    }
    WriteLogFormat("モデルファイル %s のモデル基本データからモデルデータへの変換に失敗しました",
                   path);
    ReleaseModelBase(baseHandle);
    DeleteModelInstance(model);
    return -1;
}

int SplitModelPath(const char* path, char directory[kModelDirectoryBytes],
                   char baseName[kModelFileNameBytes]) {
    char current[kModelDirectoryBytes] = "";
    FsGetCurrentDir(current);
    const char* fileName = path;
    if (!HasSeparator(path)) {
        CopyTextN(directory, current, kModelDirectoryBytes - 1);
    } else {
        const int separator = LastSeparator(path);
        if (separator + 2 > kModelDirectoryBytes) {
            return -1;
        }
        char text[kModelDirectoryBytes] = "";
        std::memcpy(text, path, separator + 1);
        const char c = path[separator];
        const bool endAtSeparator =
            (c == '/' || c == '\\') && (separator == 0 || path[separator - 1] != ':');
        text[endAtSeparator ? separator : separator + 1] = '\0';
        if (MakeFullPath(text, directory, current) != 0) {
            return -1;
        }
        fileName = path + separator + 1;
    }
    if (std::strlen(fileName) >= static_cast<size_t>(kModelFileNameBytes)) {
        return -1;
    }
    std::strcpy(baseName, fileName);
    if (char* dot = FindTextChar(baseName, '.')) {
        *dot = '\0';
    }
    return 0;
}

int LoadModelFromImage(const char* path, const void* image, int32_t size) {
    if (g_models.initialised == 0) {
        return -1;
    }
    char directory[kModelDirectoryBytes] = "";
    char baseName[kModelFileNameBytes] = "";
    if (SplitModelPath(path, directory, baseName) != 0) {
        WriteLogFormat("モデルファイル %s のパスが長すぎます", path);
        return -1;
    }
    const ModelLoadParams params = {image, size, path, baseName, directory, nullptr};
    int base = -1;
    for (ModelReader reader : kReaders) {
        base = reader(&params);
        if (base >= 0) {
            break;
        }
    }
    if (base < 0) {
        return -1;
    }
    return FinishModelLoad(path, base);
}

int LoadModel(const char* path) {
    if (g_models.initialised == 0) {
        return -1;
    }
    FileHandle file = FsOpen(path, 0, 0, 0);
    if (file == 0) {
        WriteLogFormat("モデルファイル %s が読み込めませんでした", path);
        return -1;
    }
    FsSeek(file, 0, 2);
    const int32_t size = FsTell(file);
    FsSeek(file, 0, 0);
    auto* image =
        size < 0
            ? nullptr
            : static_cast<char*>(AllocTracked(static_cast<uint32_t>(size) + 1, __FILE__, __LINE__));
    if (image == nullptr) {
        WriteLogFormat("モデルファイル %s のデータを格納するメモリ領域の確保に失敗しました", path);
        FsClose(file);
        return -1;
    }
    if (size > 0 && FsRead(image, static_cast<uint32_t>(size), 1, file) != 1) {
        WriteLogFormat("モデルファイル %s が読み込めませんでした", path);
        FreeTracked(image);
        FsClose(file);
        return -1;
    }
    image[size] = '\0';
    FsClose(file);
    const int model = LoadModelFromImage(path, image, size);
    FreeTracked(image);
    return model;
}

int ConvertAndReleaseReadModel(int readResult, ReadModel* model, const ModelLoadParams* params) {
    int result = -1;
    if (readResult == 0) {
        result = ConvertReadModel(model, params->directory, params->callbacks);
        // A base the conversion made but could not finish goes with it.
        if (result < -1) {
            ReleaseModelBase(result);
            result = -1;
        }
    }
    ReadModelRelease(model);
    return result;
}

}  // namespace tessel
