// Stand-ins for the library calls of the game whose library part is not
// built yet: 3D models. Each answers as that part of the library does when it
// is not started: a load gives -1 (so the game runs without its floor). When
// the part lands, start-up binds its function in place of the stand-in of the
// same name and the stand-in goes.
#pragma once

#include <cstdint>

namespace pending_library {

// Models: no model loads, so the floor draws nothing (the texture filter
// call is the library's own, which refuses a handle that names no model).
int LoadModel(const char* path);

}  // namespace pending_library
