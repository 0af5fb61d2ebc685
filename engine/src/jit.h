// Machine code for runs of simple Double steps: instead of calling one routine per
// operation record, the engine calls one block of x86-64 code that does the same
// arithmetic on the same cells and leaves memory exactly as the records would.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "nxeng296.h"

namespace nx::jit {

enum class Op : uint8_t {
    Add, Sub, Mul, Div,  // result = x op y       (8-byte Double cells; addsd/subsd/mulsd/divsd)
    Square,              // result = x * x        (mulsd)
    Abs,                 // result = |x|          (clear the sign bit, as std::fabs)
    Neg,                 // result = -x           (flip the sign bit)
    Sqrt,                // result = sqrtsd(x)
    Call1,               // result = fn(x)        fn is double (*)(double)
    Call2,               // result = fn(x, y)     fn is double (*)(double, double)
    CallRecord,          // fn(record): an NxRoutine that reads its own operand cells from
                         // memory and writes its own result cell (any type, maybe 10 bytes)
};

struct Step {
    Op op;
    const void *x = nullptr;    // first operand's cell (unused by CallRecord)
    const void *y = nullptr;    // second operand's cell (binary ops, Call2)
    void *result = nullptr;     // result cell (CallRecord: the cell the routine writes)
    const void *fn = nullptr;   // Call1, Call2, CallRecord
    OperationRecord *record = nullptr;  // CallRecord: passed as the routine's argument
};

namespace detail {
// A piece of executable memory: the same bytes seen through a writable view and
// an executable one (never both on one page).
struct Block {
    std::byte *write = nullptr;
    const std::byte *exec = nullptr;
    size_t size = 0;
    uint32_t sizeClass = 0;   // pool size class, or the dedicated-mapping marker
    uint32_t generation = 0;  // pool generation the block came from
};

// Executable memory of at least `size` bytes, 64-byte aligned; nothing when none can be had.
bool allocateBlock(size_t size, Block &block);
// Makes the written bytes of a block executable (a no-op where the views are separate).
bool sealBlock(Block &block);
// Gives a block back to the pool for reuse.
void releaseBlock(const Block &block);
// True when an address lies in memory that holds generated code. Reads no
// lock and allocates nothing, so a signal handler may ask.
bool isCodeAddress(const void *address);
// Test switch: while false, no executable memory can be had.
void setExecutableMemoryAvailable(bool available);
// Test switch: while false, code goes to private pages made executable once written,
// as on systems that refuse memory objects.
void setSharedViewsAvailable(bool available);
} // namespace detail

// Machine code for a run of steps. entry() runs the steps in order; every step's result is
// stored into its result cell, so memory afterwards holds exactly what the records would
// have written; it returns the last step's result as a double when the last step is not
// CallRecord (otherwise the return value is unspecified). Owns its code memory.
class Code {
public:
    using Entry = double (*)();
    Code(const detail::Block &block, size_t entryOffset, size_t bytes);
    Code(const Code &) = delete;
    Code &operator=(const Code &) = delete;
    ~Code();

    Entry entry() const;
    size_t bytes() const;  // size of the generated code

private:
    detail::Block block_;
    size_t entryOffset_;
    size_t bytes_;
};

// The most steps one block of code takes.
inline constexpr size_t maxSteps = 4096;

// The code for the steps, or nullptr when they cannot be compiled (empty list, more than
// 4096 steps, a step missing a cell or function it needs, no executable memory could be
// had): the caller then keeps the records.
// `flagOffset`, when not 0, is the offset from the thread pointer (fs) of a
// 32-bit thread-local flag that code which calls out sets to 1 on entry and
// after every record routine it calls (which may run code of its own), and to
// 0 before it returns, so a signal handler can tell that a fault arose while
// the code ran, in a function it called too. Code that calls nothing leaves
// the flag alone: a fault in it lies in its own memory (detail::isCodeAddress).
std::unique_ptr<Code> compile(std::span<const Step> steps, int32_t flagOffset = 0);

} // namespace nx::jit
