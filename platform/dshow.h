// The media graph: COM interfaces and types, the base-class framework that
// filters derive from, the filter graph (class CLSID_FilterGraph) with its
// intelligent connect, the null renderer (CLSID_NullRenderer) and the
// memory allocator (CLSID_MemoryAllocator).
//
// Filters that intelligent connect may insert are registered here with the
// media types their input pins take and a merit; file sources are
// registered with a test of the file's first bytes.
#pragma once

#include "platform/dshow/framework.h"
#include "platform/dshow/interfaces.h"
#include "platform/dshow/renderer.h"
#include "platform/dshow/source.h"
#include "platform/dshow/transform.h"
#include "platform/dshow/types.h"

namespace platform {

// One media type a registered filter's input pin takes; GUID_NULL in
// either field matches any.
struct MediaTypePair {
    GUID majorType;
    GUID subtype;
};

// Makes a new filter with one reference, or null.
using MediaFilterFactory = IBaseFilter* (*)();

struct MediaFilterRegistration {
    CLSID classId;
    const WCHAR* name;
    DWORD merit;  // MERIT_DO_NOT_USE and below are never inserted
    MediaFilterFactory factory;
    std::vector<MediaTypePair> inputTypes;
};

// A filter that Connect and Render may insert. A class registered again
// replaces its earlier registration.
void RegisterMediaFilter(const MediaFilterRegistration& registration);

// True when a source registered for RenderFile reads a file that starts
// with these bytes (at most 64 of them).
using FileHeadTest = bool (*)(const BYTE* head, size_t length);

struct FileSourceRegistration {
    CLSID classId;
    DWORD merit;
    MediaFilterFactory factory;  // the filter answers IFileSourceFilter
    FileHeadTest accepts;
};

void RegisterFileSource(const FileSourceRegistration& registration);

}  // namespace platform
