// The table of the layer's run-time modules behind LoadLibraryA and
// GetProcAddress; a module counts its loads but stays in place when they
// end, and a module a test made absent is not found.
#include "platform/kernel/modules.h"

#include <strings.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/threads.h"
#include "platform/kernel_testing.h"
#include "platform/layer_modules.h"

struct PlatformModule {
    std::string name;
    const PlatformExport* exports;
    bool absent = false;
    int loadCount = 0;
};

namespace {

std::mutex& ModulesLock() {
    static std::mutex lock;
    return lock;
}

// Modules live until the process ends, so an HMODULE never dangles. The
// table is never destroyed either: it stays reachable (no leak report) and
// usable by destructors that run at exit.
std::vector<PlatformModule*>& Modules() {
    static auto* modules = new std::vector<PlatformModule*>;
    return *modules;
}

// "C:\Windows\System32\D3D9.DLL" and "d3d9" both name d3d9.dll.
std::string BaseName(const char* fileName) {
    std::string name(fileName);
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    if (name.find('.') == std::string::npos) {
        name += ".dll";
    }
    return name;
}

PlatformModule* Find(const std::string& name) {
    for (PlatformModule* module : Modules()) {
        if (strcasecmp(module->name.c_str(), name.c_str()) == 0) {
            return module;
        }
    }
    return nullptr;
}

}  // namespace

namespace platform {

void RegisterModule(const char* name, const PlatformExport* exports) {
    std::lock_guard<std::mutex> guard(ModulesLock());
    std::string base = BaseName(name);
    if (Find(base) != nullptr) {
        return;
    }
    Modules().push_back(new PlatformModule{base, exports});
}

void SetModuleAbsent(const char* name, bool absent) {
    std::lock_guard<std::mutex> guard(ModulesLock());
    PlatformModule* module = Find(BaseName(name));
    if (module != nullptr) {
        module->absent = absent;
    }
}

}  // namespace platform

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    platform::RegisterLayerModules();
    std::lock_guard<std::mutex> guard(ModulesLock());
    PlatformModule* module = Find(BaseName(fileName));
    if (module == nullptr || module->absent) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++module->loadCount;
    return module;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(ModulesLock());
    PlatformModule* module = Find(BaseName(moduleName));
    if (module == nullptr || module->absent || module->loadCount == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr || procName == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A name below 0x10000 is an ordinal; our modules export by name only.
    if (reinterpret_cast<uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    for (const PlatformExport* entry = module->exports; entry != nullptr && entry->name != nullptr;
         ++entry) {
        if (std::string(entry->name) == procName) {
            return entry->address;
        }
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(ModulesLock());
    if (module->loadCount > 0) {
        --module->loadCount;
    }
    return TRUE;
}
