// x87 helpers: value cells, the few transcendental instructions we use directly,
// and control-word handling mirrored into MXCSR (Double arithmetic runs on SSE).
#pragma once

#include <cstdint>
#include <cstring>

namespace nm {

constexpr uint16_t kDefaultControlWord = 0x033F;  // every fault masked
constexpr int kExtendedBytes = 10;                 // significant bytes of an x87 long double

// Reads an Extended cell: only its 10 significant bytes exist in the cell.
inline long double readExtended(intptr_t cell) {
    long double value = 0;
    std::memcpy(&value, reinterpret_cast<const void *>(cell), kExtendedBytes);
    return value;
}

// Writes an Extended cell without touching the bytes after it.
inline void writeExtended(intptr_t cell, long double value) {
    std::memcpy(reinterpret_cast<void *>(cell), &value, kExtendedBytes);
}

inline double readDouble(intptr_t cell) {
    double value;
    std::memcpy(&value, reinterpret_cast<const void *>(cell), sizeof value);
    return value;
}

inline void writeDouble(intptr_t cell, double value) {
    std::memcpy(reinterpret_cast<void *>(cell), &value, sizeof value);
}

// Natural logarithm with fldln2/fyl2x, so 0, negatives and unmasked faults behave
// exactly as the x87 does.
inline long double x87Ln(long double x) {
    long double result;
    __asm__("fldln2\n\t"
            "fxch %%st(1)\n\t"
            "fyl2x"
            : "=t"(result) : "0"(x) : "st(1)");
    return result;
}

inline long double x87Sqrt(long double x) {
    long double result;
    __asm__("fsqrt" : "=t"(result) : "0"(x));
    return result;
}

// y * log2(x) in one fyl2x: a negative x gives the invalid result (NaN or fault),
// a zero x gives -infinity with the division-by-zero flag.
inline long double x87YLog2X(long double x, long double y) {
    long double result;
    __asm__("fyl2x" : "=t"(result) : "0"(x), "u"(y) : "st(1)");
    return result;
}

// 2^t for a finite t: t splits into its nearest integer i and the rest f
// (|f| < 1, the domain of f2xm1); the result is (2^f) scaled by 2^i.
inline long double x87Exp2(long double t) {
    long double result;
    __asm__("fld %%st(0)\n\t"         // t t
            "frndint\n\t"             // i t
            "fxch %%st(1)\n\t"        // t i
            "fsub %%st(1), %%st\n\t"  // f i
            "f2xm1\n\t"               // 2^f-1 i
            "fld1\n\t"                // 1 2^f-1 i
            "faddp\n\t"               // 2^f i
            "fscale\n\t"              // 2^f*2^i i
            "fstp %%st(1)"            // result
            : "=t"(result) : "0"(t) : "st(1)", "st(2)");
    return result;
}

// Rounds to a Double. An unmasked overflow or underflow of the store itself
// only traps at the next x87 instruction, so wait here: otherwise the caller
// would copy an unwritten temporary into the result cell before the fault.
inline double x87ToDouble(long double x) {
    double result;
    __asm__ volatile("fstpl %0\n\tfwait" : "=m"(result) : "t"(x) : "st");
    return result;
}

// Rounds with the current x87 rounding mode; the caller keeps x within range.
inline int64_t x87RoundToInt64(long double x) {
    int64_t result;
    __asm__("fistpll %0" : "=m"(result) : "t"(x) : "st");
    return result;
}

// Loads an x87 control word and mirrors its six masks and rounding control into
// MXCSR; pending flags of both units are cleared so nothing stale traps later.
inline void loadControlWord(uint16_t word) {
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word));
    uint32_t mxcsr;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr &= ~((0x3Fu << 7) | (3u << 13) | 0x3Fu);
    mxcsr |= (uint32_t(word) & 0x3Fu) << 7;
    mxcsr |= ((uint32_t(word) >> 10) & 3u) << 13;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
}

// After a fault the x87 may hold half a routine's operands and a pending
// exception: empty it and start again from the given control word.
inline void resetFpu(uint16_t word) {
    __asm__ volatile("fninit");
    loadControlWord(word);
}

inline uint16_t currentControlWord() {
    uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

// Both units' control settings, kept across a call that may fault.
struct FpuControl {
    uint16_t x87;
    uint32_t mxcsr;
};

inline FpuControl captureFpuControl() {
    FpuControl control;
    __asm__ volatile("fnstcw %0\n\tstmxcsr %1" : "=m"(control.x87), "=m"(control.mxcsr));
    return control;
}

// Empties the x87 and puts both control words back, with no flag left pending.
inline void restoreFpuControl(FpuControl control) {
    uint32_t mxcsr = control.mxcsr & ~0x3Fu;
    __asm__ volatile("fninit\n\tfldcw %0\n\tldmxcsr %1" : : "m"(control.x87), "m"(mxcsr));
}

// Charges a pending x87 exception to the code that caused it.
inline void x87Wait() { __asm__ volatile("fwait"); }

} // namespace nm
