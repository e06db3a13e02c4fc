#include "images/stdio_file.h"

#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace tessel {

FILE* OpenWriteFile(const WCHAR* widePath, const char* path) {
    if (widePath == nullptr) {
        return path != nullptr ? platform::fopen(path, "wb") : nullptr;
    }
    int size = WideCharToMultiByte(CP_ACP, 0, widePath, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return nullptr;
    }
    auto* narrow =
        static_cast<char*>(AllocTracked(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (narrow == nullptr) {
        return nullptr;
    }
    FILE* file = nullptr;
    if (WideCharToMultiByte(CP_ACP, 0, widePath, -1, narrow, size, nullptr, nullptr) > 0) {
        file = platform::fopen(narrow, "wb");
    }
    FreeTracked(narrow);
    return file;
}

}  // namespace tessel
