// Modules loaded at run time: LoadLibraryA finds the layer's own modules
// by name in a table (no shared object is ever opened), GetProcAddress their
// entry points. Test hooks (a module made absent) are in kernel_testing.h.
#pragma once

#include "platform/types.h"

// Modules that the library loads at run time (d3d9.dll, dsound.dll,
// dwmapi.dll) are the layer's own: a name and a table of entry points.
struct PlatformExport {
    const char* name;
    FARPROC address;
};

HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
HMODULE GetModuleHandleA(LPCSTR moduleName);

namespace platform {

// Registers a module of the layer; `exports` ends with a null name. A module
// registered twice keeps the first table.
void RegisterModule(const char* name, const PlatformExport* exports);

}  // namespace platform
