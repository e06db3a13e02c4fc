// The form in which every image loader reads its source: the six stream
// operations copied into the record, and the stream they act on. Loaders never
// close the stream; whoever opened it does.
#pragma once

#include "foundation/files/streams.h"

namespace tessel {

struct InputStream {
    StreamOps ops;  // tell, seek, read, end-of-data, idle, close
    StreamHandle handle;
};

// Copies the operations (later changes to the table do not reach the record).
inline void InitInputStream(InputStream* stream, const StreamOps* ops, StreamHandle handle) {
    stream->ops = *ops;
    stream->handle = handle;
}

}  // namespace tessel
