// What the graph's sources share: the system clock, the registry lookups
// and the class factories.
#pragma once

#include <vector>

#include "platform/dshow.h"

namespace platform::dshow {

IReferenceClock* CreateSystemClock();
// Registered filters that take one of the offered types, highest merit
// first (registration order among equals), never MERIT_DO_NOT_USE.
std::vector<MediaFilterRegistration> FiltersTaking(const std::vector<CMediaType>& offered);
std::vector<FileSourceRegistration> FileSourcesAccepting(const BYTE* head, size_t length);
HRESULT CreateFilterGraph(REFIID iid, void** object);
HRESULT CreateNullRenderer(REFIID iid, void** object);
HRESULT CreateMemoryAllocator(REFIID iid, void** object);

}  // namespace platform::dshow
