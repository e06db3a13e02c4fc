// The kernel object behind a file HANDLE, and what the file calls share.
// Internal to the platform layer.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/kernel/object_internal.h"
#include "platform/types.h"

namespace platform {

struct FileObject : KernelObject {
    FileObject(int descriptor, std::string linuxPath)
        : KernelObject(ObjectKind::File), fd(descriptor), path(std::move(linuxPath)) {}
    ~FileObject() override;

    int fd;
    std::string path;
};

struct FileTimes {
    FILETIME creation;
    FILETIME lastAccess;
    FILETIME lastWrite;
};

// The times of an open descriptor (fd >= 0) or else of the path.
FileTimes FileTimesOf(const std::string& linuxPath, int fd);
DWORD AttributesFromMode(mode_t mode);

}  // namespace platform
