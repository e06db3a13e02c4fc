// The one public call that turns a model file into a drawable model, and the
// record every file reader receives: the readers are tried in a fixed order
// and each answers -1 without a log line when the bytes are not its format.
#pragma once

#include <cstdint>

#include "models/textures/model_textures.h"

namespace tessel {

struct ModelLoadParams {
    const void* image;  // the whole file, followed by one 0 byte not counted
    int32_t size;
    const char* path;                     // as the caller gave it
    const char* baseName;                 // the file name up to its first '.'
    const char* directory;                // absolute, no trailing separator but a drive root's
    const ModelFileCallbacks* callbacks;  // null: companions through the file layer
};

// Working text sizes of the path split (terminator included).
constexpr int kModelDirectoryBytes = 1024;
constexpr int kModelFileNameBytes = 260;

// Reads the file through the file layer and makes a model of it; the model
// handle or -1.
int LoadModel(const char* path);
// The same from a file image already in memory (the path only names it and
// places its companions); the model handle or -1.
int LoadModelFromImage(const char* path, const void* image, int32_t size);

// The last steps of a load: the base's device buffers (a failure there
// still gives a model) and the model; the model handle, or -1 with the base
// released.
int FinishModelLoad(const char* path, int baseHandle);

// The path split: the absolute directory and the base name. 0, or -1 when a
// part does not fit its working text.
int SplitModelPath(const char* path, char directory[kModelDirectoryBytes],
                   char baseName[kModelFileNameBytes]);

// The readers in the order they are tried; a base handle or -1.
struct ReadModel;

// A text reader's last step: the base converted from the read model it
// filled (`readResult` 0; anything else is its refusal), or -1; the read
// model is released either way.
int ConvertAndReleaseReadModel(int readResult, ReadModel* model, const ModelLoadParams* params);

int ParseTsmModel(const ModelLoadParams* params);
int LoadMqoModel(const ModelLoadParams* params);
int LoadXModel(const ModelLoadParams* params);
int LoadPmdModel(const ModelLoadParams* params);

}  // namespace tessel
