// x87 control words, mirrored into MXCSR because Double arithmetic runs on SSE.
#include <cstdint>

#include "engine.h"
#include "nxeng296.h"

namespace nx {

// x87 control word: bits 0-5 exception masks (IM DM ZM OM UM PM), bits 10-11
// rounding. MXCSR: bits 7-12 the same masks, bits 13-14 rounding.
void loadControlWord(uint16_t word) {
    if ((word & 0x3Fu) == 0x3Fu) {
        // Every fault masked: when both units already hold the word, a pending
        // flag cannot trap, so the costly loads are skipped. Evaluations load a
        // word before and after each run; usually it is the same masked word.
        uint16_t x87;
        uint32_t sse;
        __asm__ volatile("fnstcw %0" : "=m"(x87));
        __asm__ volatile("stmxcsr %0" : "=m"(sse));
        uint32_t want = (uint32_t(word) & 0x3Fu) << 7 | ((uint32_t(word) >> 10) & 3u) << 13;
        // Bit 6 of the x87 word is reserved and reads back as 1.
        if ((x87 & ~0x40u) == (word & ~0x40u) && (sse & ((0x3Fu << 7) | (3u << 13))) == want) return;
    }
    __asm__ volatile("fclex\n\tfldcw %0" : : "m"(word));
    uint32_t mxcsr;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr &= ~((0x3Fu << 7) | (3u << 13) | 0x3Fu);  // masks, rounding and sticky flags
    mxcsr |= (uint32_t(word) & 0x3Fu) << 7;
    mxcsr |= ((uint32_t(word) >> 10) & 3u) << 13;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
}

} // namespace nx

extern "C" NX_API void nxLoadControlWord(uint16_t word) { nx::loadControlWord(word); }
