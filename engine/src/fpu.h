// Loading x87 control words (mirrored into MXCSR) around evaluations.
#pragma once
#include <cstdint>

namespace nx {

// The word this thread last loaded into both units through the engine (0: none
// yet). Initial-exec keeps the access a single instruction in the shared library.
extern thread_local constinit uint16_t loadedControlWord __attribute__((tls_model("initial-exec")));

// Loads a word into the x87 and MXCSR unconditionally.
void loadControlWordFully(uint16_t word);

inline uint16_t x87ControlWord() {
    uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

// The MXCSR control bits (masks, rounding, flush-to-zero, denormals-are-zero)
// that go with an x87 word: MXCSR is always built from the word alone.
inline uint32_t mxcsrControlFor(uint16_t word) {
    return (uint32_t(word) & 0x3Fu) << 7 | ((uint32_t(word) >> 10) & 3u) << 13;
}

inline uint32_t mxcsrNow() {
    uint32_t mxcsr;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    return mxcsr;
}

// True when a masked word is in force in both units: the x87 (whose word is
// `x87`) holds it and MXCSR holds its masks and rounding. Both are read back,
// not taken from what the engine loaded last, because a host, a library or a
// native may change either unit between evaluations, and a chain run outside
// the protected region must never meet an unmasked fault. With every fault
// masked no pending flag can trap. Bit 6 of the x87 word is reserved and reads
// back as 1.
inline bool maskedWordInPlace(uint16_t word, uint16_t x87) {
    return (word & 0x3Fu) == 0x3Fu && ((x87 ^ word) & ~0x40u) == 0 &&
           (mxcsrNow() & 0xFFC0u) == mxcsrControlFor(word);
}

// Loads a word before or after an evaluation. Loading stalls on the arithmetic
// in flight, so a word already in place is left alone.
inline void loadControlWord(uint16_t word) {
    if (!maskedWordInPlace(word, x87ControlWord())) loadControlWordFully(word);
}

} // namespace nx
