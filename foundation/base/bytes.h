// Memory helpers.
#pragma once

#include <cstddef>

namespace tessel {

// Sets n bytes to value; returns value.
int FillBytes(void* dst, int value, size_t n);
// Copies n bytes forward, first byte first; meant for regions that do not
// overlap, and still byte-forward (well defined) when they do.
void CopyBytes(void* dst, const void* src, size_t n);
// Copies n bytes between regions that may overlap, as through a temporary.
void MoveBytes(void* dst, const void* src, size_t n);
// 0 when the n bytes are equal (n = 0 counts as equal), else 1; no order.
int CompareMemory(const void* a, const void* b, size_t n);

}  // namespace tessel
