// Bounded text copies: the destination is always terminated, and a source that
// does not fit is cut.
#pragma once
#include <cstddef>
#include <cstring>

// Copies src (null = "") into dest of size bytes; returns the length copied.
inline size_t copyBounded(char* dest, size_t size, const char* src) {
    if (dest == nullptr || size == 0) return 0;
    const char* s = src ? src : "";
    size_t n = strnlen(s, size - 1);
    memcpy(dest, s, n);
    dest[n] = '\0';
    return n;
}
