// The game's files are fixed-size records read and written whole with the C
// runtime's file calls (never through the library's file layer, so never
// from a data archive). Paths are the game's own: narrow, '\' separated,
// relative to the working directory.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads up to `size` bytes of the file over `bytes`; bytes the file does not
// hold keep their value. The count read, or -1 when the file does not open.
long ReadGameFile(const char* path, uint8_t* bytes, size_t size);

// Writes `size` bytes as the whole file: 0, or -1 when the file does not
// open, a write stops short or the file cannot be replaced. The bytes go to
// a file beside it first (its name and ".tmp") and take the file's name only
// once all of them are on the disk, so a failed save leaves the previous file
// whole and no temporary file behind.
int WriteGameFile(const char* path, const uint8_t* bytes, size_t size);
