// The model system on a started library (the hardware path, where it runs),
// with small bases laid out by hand as a loader would leave them, and models
// registered on them the way model creation does.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/memory/memory.h"
#include "models/core/model_system.h"
#include "tests/graphics/images/image_test_support.h"

namespace tessel_test {

// A tracked copy of a text.
inline char* TrackedText(const char* text) {
    auto* copy = static_cast<char*>(tessel::AllocTracked(std::strlen(text) + 1, "", 0));
    std::strcpy(copy, text);
    return copy;
}

// What a small base owns besides its block.
struct BaseParts {
    int frames = 1;
    int textures = 0;
    bool ownedFrameNormals = true;
    bool extraBlocks = true;
    bool vertexBlock = true;
    bool separateTextures = false;
};

// A base in one tracked block (record, then frames and textures), holding
// owned texts, owned normals, a vertex block and a chain of extra blocks as a
// reader leaves them; stored in a reserved slot. Its handle, or -1.
inline int MakeTestBase(const BaseParts& parts = {}) {
    int handle = tessel::NewModelBaseHandle();
    if (handle == -1) {
        return -1;
    }
    size_t size = sizeof(tessel::ModelBase) + sizeof(tessel::ModelFrame) * parts.frames +
                  (parts.separateTextures ? 0 : sizeof(tessel::ModelTexture) * parts.textures);
    auto* block = static_cast<uint8_t*>(tessel::AllocTrackedZeroed(size, "", 0));
    auto* base = reinterpret_cast<tessel::ModelBase*>(block);
    base->frameCount = parts.frames;
    base->frames = reinterpret_cast<tessel::ModelFrame*>(block + sizeof(tessel::ModelBase));
    for (int i = 0; i < parts.frames; ++i) {
        tessel::ModelFrame& frame = base->frames[i];
        frame.base = base;
        frame.index = i;
        if (parts.ownedFrameNormals) {
            frame.normalCount = 2;
            frame.normals = static_cast<tessel::ModelNormal*>(
                tessel::AllocTrackedZeroed(2 * sizeof(tessel::ModelNormal), "", 0));
            frame.normalsOwned = 1;
        }
    }
    base->textureCount = parts.textures;
    if (parts.separateTextures) {
        base->textures = static_cast<tessel::ModelTexture*>(tessel::AllocTrackedZeroed(
            sizeof(tessel::ModelTexture) * (parts.textures > 0 ? parts.textures : 1), "", 0));
        base->texturesSeparate = 1;
    } else {
        base->textures = reinterpret_cast<tessel::ModelTexture*>(
            block + sizeof(tessel::ModelBase) + sizeof(tessel::ModelFrame) * parts.frames);
    }
    for (int i = 0; i < parts.textures; ++i) {
        tessel::ModelTexture& texture = base->textures[i];
        texture.name = TrackedText("texture");
        texture.nameOwned = 1;
        texture.colourFile = TrackedText("colour.bmp");
        texture.colourFileOwned = 1;
        texture.colourImage = tessel::AllocTracked(16, "", 0);
        texture.colourImageSize = 16;
        texture.imageHandle = -1;
        texture.filterMode = 2;
    }
    if (parts.vertexBlock) {
        base->vertexBlock.block = tessel::AllocTrackedZeroed(64, "", 0);
        base->vertexBlock.size = 64;
    }
    if (parts.extraBlocks) {
        void** first = static_cast<void**>(tessel::AllocTrackedZeroed(32, "", 0));
        void** second = static_cast<void**>(tessel::AllocTrackedZeroed(32, "", 0));
        first[1] = second;
        base->extraBlocks = first;
    }
    if (tessel::StoreModelBase(handle, base) != 0) {
        ADD_FAILURE() << "the reserved base slot refused its base";
        return -1;
    }
    return handle;
}

// A model of a base, registered and counted as creation does: its record
// with a separate per-texture block, the base's reference taken. The handle,
// or -1.
inline int MakeTestModel(int baseHandle) {
    tessel::ModelBase* base = tessel::GetModelBase(baseHandle);
    if (base == nullptr) {
        return -1;
    }
    int handle = tessel::NewModelHandle();
    if (handle == -1) {
        return -1;
    }
    // The record and its frames in one block, as creation lays them.
    auto* record = static_cast<tessel::ModelInstance*>(tessel::AllocTrackedZeroed(
        sizeof(tessel::ModelInstance) + sizeof(tessel::ModelInstanceFrame) * base->frameCount, "",
        0));
    record->frames = reinterpret_cast<tessel::ModelInstanceFrame*>(record + 1);
    record->base = base;
    record->baseHandle = baseHandle;
    record->textures = static_cast<tessel::ModelInstanceTexture*>(tessel::AllocTrackedZeroed(
        sizeof(tessel::ModelInstanceTexture) * (base->textureCount > 0 ? base->textureCount : 1),
        "", 0));
    record->texturesSeparate = 1;
    for (int i = 0; i < base->textureCount; ++i) {
        record->textures[i].base = &base->textures[i];
        record->textures[i].imageHandle = -1;
        record->textures[i].filterMode = base->textures[i].filterMode;
    }
    if (tessel::AttachModelRecord(handle, record) != 0) {
        tessel::FreeTracked(record->textures);
        tessel::FreeTracked(record);
        return -1;
    }
    ++base->referenceCount;
    return handle;
}

inline int CheckOf(int modelHandle) {
    return (modelHandle >> 16) & 0x7FF;
}

inline int WithCheck(int modelHandle, int check) {
    return (modelHandle & ~0x07FF0000) | ((check & 0x7FF) << 16);
}

class ModelSystemTest : public ImageTest {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        Start(true);
        ASSERT_EQ(tessel::g_models.initialised, 1) << "the start left the model system down";
    }
};

}  // namespace tessel_test
