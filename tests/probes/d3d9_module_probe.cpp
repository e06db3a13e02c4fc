// Loads d3d9.dll in a program that names nothing else of the Direct3D
// service, so that only the module table can bring its code in.
#include <cstdio>

#include "platform/kernel.h"

int main() {
    HMODULE module = LoadLibraryA("d3d9.dll");
    if (module == nullptr || GetProcAddress(module, "Direct3DCreate9") == nullptr) {
        std::fprintf(stderr, "d3d9.dll or Direct3DCreate9 not found\n");
        return 1;
    }
    FreeLibrary(module);
    return 0;
}
