// Device-context records. GetDC, BeginPaint and the screen's context are made
// here; the GDI drawing services make memory contexts with the same record and
// hang their own per-context state on `gdi`.
#pragma once

#include "platform/types.h"

struct PlatformDC {
    HWND window = nullptr;                         // null for the screen and for memory contexts
    bool memory = false;                           // made by the GDI service, not by a window
    void* gdi = nullptr;                           // the GDI service's state for this context
    void (*releaseGdi)(PlatformDC* dc) = nullptr;  // frees `gdi` when the context goes
};

namespace platform {

// Makes and frees a record; DestroyDCRecord calls releaseGdi first.
HDC CreateDCRecord(HWND window, bool memory);
void DestroyDCRecord(HDC dc);
// True for a record that exists (made and not destroyed).
bool IsLiveDC(HDC dc);

}  // namespace platform
