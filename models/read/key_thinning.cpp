// Key thinning: a key that linear interpolation between the last kept key
// and its successor reproduces within 1e-5 is dropped. A set that keeps fewer
// keys takes them with a time table (or a time step when one key is left);
// evenly spaced tables become a step and a start, which costs no bytes a key.
#include <cmath>
#include <cstring>

#include "models/read/read_model.h"
#include "models/read/read_model_preparation.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

constexpr float kEvenTimeTolerance = 1e-6f;
constexpr float kKeyTolerance = 1e-5f;

bool Thinnable(int kind) {
    return kind == 0 || kind == 7 || kind == 1 || kind == 3 || kind == 5;
}

float KeyTime(const ReadModelKeySet* keys, int i) {
    if (keys->hasTimeTable != 0) {
        return keys->times[i];
    }
    return keys->timeStep * static_cast<float>(i) + keys->startTime;
}

// A set without a table is even; one with a table needs more than two keys,
// all as far apart as the first two.
bool TimesAreEven(const ReadModelKeySet* keys) {
    if (keys->hasTimeTable == 0) {
        return true;
    }
    if (keys->keyCount <= 2) {
        return false;
    }
    const float first = keys->times[1] - keys->times[0];
    for (int i = 2; i < keys->keyCount; ++i) {
        const float step = keys->times[i] - keys->times[i - 1];
        if (!(std::fabs(step - first) <= kEvenTimeTolerance)) {
            return false;
        }
    }
    return true;
}

const float* ValueAt(const ReadModelKeySet* keys, int i, int components) {
    return static_cast<const float*>(keys->values) + static_cast<size_t>(i) * components;
}

// Key i lies on the line from the last kept key to key i + 1. The weight is
// the key's share of the time between them; without a table the times are
// step x index + start, so a run of dropped keys still interpolates at the
// right place.
bool Reproduced(const ReadModelKeySet* keys, int kept, int i, int components) {
    const float from = KeyTime(keys, kept);
    const float weight = (KeyTime(keys, i) - from) / (KeyTime(keys, i + 1) - from);
    const float* a = ValueAt(keys, kept, components);
    const float* b = ValueAt(keys, i + 1, components);
    const float* v = ValueAt(keys, i, components);
    for (int c = 0; c < components; ++c) {
        const float line = a[c] + (b[c] - a[c]) * weight;
        if (!(std::fabs(v[c] - line) <= kKeyTolerance)) {
            return false;
        }
    }
    return true;
}

// Writes the kept keys' values to the front of the block and their times
// behind count values; the number kept.
int CollectKeptKeys(const ReadModelKeySet* keys, int components, uint8_t* block) {
    const int count = keys->keyCount;
    const size_t valueBytes = static_cast<size_t>(components) * 4;
    auto* times = reinterpret_cast<float*>(block + valueBytes * count);
    int kept = 0;
    int lastKept = 0;
    auto keep = [&](int i) {
        std::memcpy(block + valueBytes * kept, ValueAt(keys, i, components), valueBytes);
        times[kept] = KeyTime(keys, i);
        lastKept = i;
        ++kept;
    };
    keep(0);
    for (int i = 1; i + 1 < count; ++i) {
        if (!Reproduced(keys, lastKept, i, components)) {
            keep(i);
        }
    }
    if (count > 1) {
        const int last = count - 1;
        const bool sameAsOnlyKept =
            kept == 1 && std::memcmp(ValueAt(keys, lastKept, components),
                                     ValueAt(keys, last, components), valueBytes) == 0;
        if (!sameAsOnlyKept) {
            keep(last);
        }
    }
    return kept;
}

void TakeKeptKeys(ReadModel* model, ReadModelKeySet* keys, uint8_t* block, int kept,
                  int valueBytes) {
    const int count = keys->keyCount;
    keys->values = block;
    keys->keyCount = kept;
    if (keys->hasTimeTable != 0) {
        model->keyDataBytes += (kept - count) * (valueBytes + 4);
    } else if (kept > 1) {
        model->keyDataBytes += kept * (valueBytes + 4) - count * valueBytes;
    } else {
        model->keyDataBytes += (1 - count) * valueBytes;
    }
    if (kept == 1) {
        if (keys->hasTimeTable != 0) {
            model->keyDataBytes -= 4;
        }
        keys->hasTimeTable = 0;
        keys->times = nullptr;
        keys->timeStep = keys->length;
        keys->startTime = 0.0f;
        return;
    }
    keys->hasTimeTable = 1;
    keys->times = reinterpret_cast<float*>(block + static_cast<size_t>(valueBytes) * count);
}

void DropEvenTable(ReadModel* model, ReadModelKeySet* keys) {
    keys->timeStep = keys->times[1] - keys->times[0];
    keys->startTime = keys->times[0];
    keys->hasTimeTable = 0;
    keys->times = nullptr;
    model->keyDataBytes -= 4 * keys->keyCount;
}

}  // namespace

void ThinKeySet(ReadModel* model, ReadModelKeySet* keys, uint8_t onlyToSingle) {
    if (!Thinnable(keys->kind) || keys->keyCount <= 0) {
        return;
    }
    const int valueBytes = ReadModelKeyValueBytes(keys->kind);
    const int components = valueBytes / 4;
    const int count = keys->keyCount;
    const bool even = TimesAreEven(keys);
    const uint64_t blockBytes = static_cast<uint64_t>(count) * (valueBytes + 4);
    if (blockBytes > UINT32_MAX) {
        return;
    }
    auto* block =
        static_cast<uint8_t*>(AllocChainedBlock(static_cast<uint32_t>(blockBytes), &model->blocks));
    if (block == nullptr) {
        return;
    }
    const int kept = CollectKeptKeys(keys, components, block);
    const bool thinned =
        kept == 1 || (kept < count && (!even || static_cast<int64_t>(valueBytes + 4) * kept <
                                                    static_cast<int64_t>(valueBytes) * count));
    if (thinned) {
        if (onlyToSingle == 0 || kept == 1) {
            TakeKeptKeys(model, keys, block, kept, valueBytes);
        }
        return;
    }
    if (keys->hasTimeTable != 0 && even) {
        DropEvenTable(model, keys);
    }
}

}  // namespace tessel
