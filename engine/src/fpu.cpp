// x87 control words, mirrored into MXCSR because Double arithmetic runs on SSE.
#include "fpu.h"

#include "nxeng296.h"

namespace nx {

constinit thread_local uint16_t loadedControlWord __attribute__((tls_model("initial-exec"))) = 0;

// x87 control word: bits 0-5 exception masks (IM DM ZM OM UM PM), bits 10-11
// rounding. MXCSR: bits 7-12 the same masks, bits 13-14 rounding. MXCSR is
// built from the word alone, with flush-to-zero and denormals-are-zero off as
// the x87 has them, so Double arithmetic keeps gradual underflow like Extended;
// reading MXCSR first would cost more than the load itself.
void loadControlWordFully(uint16_t word) {
    // A flag left pending from earlier work would trap at the next x87
    // instruction once its fault is unmasked; with every fault masked it
    // cannot, and clearing it would only cost time.
    if ((word & 0x3Fu) != 0x3Fu) __asm__ volatile("fnclex");
    uint32_t mxcsr = mxcsrControlFor(word);
    __asm__ volatile("fldcw %0\n\tldmxcsr %1" : : "m"(word), "m"(mxcsr));
    loadedControlWord = word;
}

} // namespace nx

// A host's explicit load is always carried out in full.
extern "C" NX_API void nxLoadControlWord(uint16_t word) { nx::loadControlWordFully(word); }
