// The MQO text-format reader: materials and objects of the file into a read
// model, which the conversion turns into model base data.
#pragma once

#include "models/loading/model_loading.h"
#include "models/read/read_model.h"

namespace tessel {

// Highest material number, object depth and face corner count the reader
// keeps tables for; files beyond them are refused.
constexpr int kMqoTableSize = 1024;

// Fills `model` (cleared by the caller) from the file image. 0; -1 after one
// log line; -2 without a log line when the image is not an MQO file. The
// read model is left for the caller to release in every case.
int ReadMqoIntoModel(const ModelLoadParams* params, ReadModel* model);

}  // namespace tessel
