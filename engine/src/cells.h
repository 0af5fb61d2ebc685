// Reading and writing value cells in their fixed formats: Extended cells hold the
// 10 significant bytes of an x87 long double, String and collection cells a
// 32-bit handle. Cells need not be aligned.
#pragma once
#include <cstdint>
#include <cstring>

#include "nxeng296.h"

namespace nx {

inline long double loadExt(const void *cell) {
    long double v = 0;
    std::memcpy(&v, cell, 10);
    return v;
}
inline void storeExt(void *cell, long double v) { std::memcpy(cell, &v, 10); }

template <class T> inline T load(const void *cell) {
    T v;
    std::memcpy(&v, cell, sizeof(T));
    return v;
}
template <class T> inline void store(void *cell, T v) { std::memcpy(cell, &v, sizeof(T)); }

inline void *cellAt(intptr_t address) { return reinterpret_cast<void *>(address); }

// Argument slot i (1-based) of a record's ArgumentList.
inline intptr_t argSlot(const OperationRecord *r, intptr_t i) {
    return reinterpret_cast<const intptr_t *>(r->ArgList)[i];
}
inline intptr_t argCount(const OperationRecord *r) {
    return r->ArgList ? reinterpret_cast<const intptr_t *>(r->ArgList)[0] : 0;
}

} // namespace nx
