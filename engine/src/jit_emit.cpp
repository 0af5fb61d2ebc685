// The x86-64 emitter for runs of Double steps.
//
// Layout of a block: when Abs or Neg occurs, 32 bytes of 16-byte masks first
// (read RIP-relative by andpd/xorpd), then the code. Code that calls out pushes
// rbx (which also aligns the stack for the calls) and loads it with the middle
// cell address; a leaf uses rdx instead and needs no frame. Every cell within
// 2 GiB of that address is reached as [base+disp]; a farther cell is reached
// through r11 loaded with its 64-bit address. Values stay in xmm registers while
// they are used again (a cache cell -> register, evicting the value read
// farthest ahead), yet every result is also stored into its cell. A call
// clobbers all xmm registers, so the cache starts empty after it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "jit.h"

namespace nx::jit {
namespace {

constexpr int registerCount = 16;
constexpr uint32_t never = UINT32_MAX;
constexpr size_t maskBytes = 32;      // |x| mask at 0, sign mask at 16
constexpr size_t maxStepBytes = 80;   // longest code one step emits (a call marks again)
constexpr size_t frameBytes = 64;     // prologue and epilogue, with the running marker

// SSE2 opcodes (after the 0x0F escape) and their mandatory prefixes.
enum class Sse : uint16_t {
    MovsdLoad = 0xF210, MovsdStore = 0xF211, Addsd = 0xF258, Mulsd = 0xF259, Subsd = 0xF25C,
    Divsd = 0xF25E, Sqrtsd = 0xF251, Movapd = 0x6628, Andpd = 0x6654, Xorpd = 0x6657,
};

// Whether an operation reads a first and a second operand cell.
bool readsX(Op op) { return op != Op::CallRecord; }
bool readsY(Op op) { return op <= Op::Div || op == Op::Call2; }
bool isCall(Op op) { return op >= Op::Call1; }

// True when a step has every cell and function its operation needs.
bool wellFormed(const Step &s) {
    if (s.op > Op::CallRecord) return false;
    if (s.op == Op::CallRecord) return s.fn && s.record;
    if (!s.x || !s.result || (readsY(s.op) && !s.y)) return false;
    return !isCall(s.op) || s.fn;
}

// The distinct cell addresses of a run, sorted, with a mark on cells that share
// bytes with another cell (a store to one changes the other).
struct CellTable {
    std::vector<uintptr_t> address;
    std::vector<uint8_t> overlaps;

    void build(std::span<const Step> steps) {
        address.clear();
        for (const Step &s : steps) {
            if (!readsX(s.op)) continue;
            address.push_back(reinterpret_cast<uintptr_t>(s.x));
            if (readsY(s.op)) address.push_back(reinterpret_cast<uintptr_t>(s.y));
            address.push_back(reinterpret_cast<uintptr_t>(s.result));
        }
        std::sort(address.begin(), address.end());
        address.erase(std::unique(address.begin(), address.end()), address.end());
        overlaps.assign(address.size(), 0);
        for (size_t i = 1; i < address.size(); ++i)
            if (address[i] - address[i - 1] < sizeof(double)) overlaps[i] = overlaps[i - 1] = 1;
    }
    int32_t id(const void *cell) const {
        auto it = std::lower_bound(address.begin(), address.end(), reinterpret_cast<uintptr_t>(cell));
        return int32_t(it - address.begin());
    }
};

// A step's cells by id, and when each value is read next: after the step's reads
// (x, y) and after its write (r). `never` when the next read lies beyond the next
// call (which clobbers registers anyway) or does not come.
struct StepPlan {
    int32_t x = -1, y = -1, r = -1;
    uint32_t nextX = never, nextY = never, nextR = never;
};

// Fills the plans: ids, then the next reads in one backward pass.
void planSteps(std::span<const Step> steps, const CellTable &cells, std::vector<StepPlan> &plans,
               std::vector<uint32_t> &nextRead) {
    plans.assign(steps.size(), StepPlan{});
    nextRead.assign(cells.address.size(), never);
    uint32_t barrier = never;
    auto ahead = [&](int32_t cell) { return nextRead[cell] < barrier ? nextRead[cell] : never; };
    for (size_t i = steps.size(); i-- > 0;) {
        const Step &s = steps[i];
        StepPlan &p = plans[i];
        if (!readsX(s.op)) {
            barrier = uint32_t(i);
            continue;
        }
        p.x = cells.id(s.x);
        p.y = readsY(s.op) ? cells.id(s.y) : (s.op == Op::Square ? p.x : -1);
        p.r = cells.id(s.result);
        p.nextR = ahead(p.r);
        nextRead[p.r] = never;
        if (isCall(s.op)) barrier = uint32_t(i);
        p.nextX = ahead(p.x);
        nextRead[p.x] = uint32_t(i);
        if (p.y >= 0 && p.y != p.x) {
            p.nextY = ahead(p.y);
            nextRead[p.y] = uint32_t(i);
        }
    }
}

// Writes instructions into a buffer large enough for the whole run.
class Assembler {
public:
    // `baseReg` holds `base` while the code runs: rbx (3) when the code calls
    // out, rdx (2) otherwise, which needs no saving.
    Assembler(uint8_t *out, uintptr_t base, int baseReg) : start_(out), at_(out), base_(base), baseReg_(baseReg) {}

    size_t size() const { return size_t(at_ - start_); }
    void byte(uint8_t b) { *at_++ = b; }
    void imm32(uint32_t v) { put(v); }
    void imm64(uint64_t v) { put(v); }

    // op xmm, xmm.
    void sse(Sse op, int reg, int rm) {
        prefix(op, reg, rm >= 8);
        byte(uint8_t(0xC0 | (reg & 7) << 3 | (rm & 7)));
    }
    // op xmm, [cell] (or movsd [cell], xmm): [rbx+disp] near the base, else [r11].
    void sse(Sse op, int reg, const void *cell) {
        int64_t disp = int64_t(reinterpret_cast<uintptr_t>(cell) - base_);
        bool near = disp >= INT32_MIN && disp <= INT32_MAX;
        if (!near) {
            byte(0x49), byte(0xBB), imm64(reinterpret_cast<uintptr_t>(cell));  // mov r11, imm64
            prefix(op, reg, true);
            byte(uint8_t((reg & 7) << 3 | 3));
        } else if (disp == 0) {
            prefix(op, reg, false);
            byte(uint8_t((reg & 7) << 3 | baseReg_));
        } else if (disp >= -128 && disp <= 127) {
            prefix(op, reg, false);
            byte(uint8_t(0x40 | (reg & 7) << 3 | baseReg_)), byte(uint8_t(disp));
        } else {
            prefix(op, reg, false);
            byte(uint8_t(0x80 | (reg & 7) << 3 | baseReg_)), imm32(uint32_t(disp));
        }
    }
    // op xmm, [rip+disp]: `target` is an offset from the start of the code.
    void sseRip(Sse op, int reg, int64_t target) {
        prefix(op, reg, false);
        byte(uint8_t((reg & 7) << 3 | 5));
        imm32(uint32_t(target - int64_t(size() + 4)));
    }
    // mov reg64, imm64 for rax (0), rdx (2), rbx (3) or rdi (7).
    void movImm(int reg, const void *value) {
        byte(0x48), byte(uint8_t(0xB8 + reg)), imm64(reinterpret_cast<uintptr_t>(value));
    }
    void callRax() { byte(0xFF), byte(0xD0); }
    // mov dword ptr fs:[flag], value: the thread's marker that code runs.
    void markFlag(uint32_t value) {
        if (!flagOffset_) return;
        byte(0x64), byte(0xC7), byte(0x04), byte(0x25), imm32(uint32_t(flagOffset_)), imm32(value);
    }
    void markRunning() { markFlag(1); }
    void setFlagOffset(int32_t offset) { flagOffset_ = offset; }

private:
    template <class T> void put(T v) {
        std::memcpy(at_, &v, sizeof v);
        at_ += sizeof v;
    }
    void prefix(Sse op, int reg, bool extendRm) {
        byte(uint8_t(uint16_t(op) >> 8));
        uint8_t rex = uint8_t(0x40 | (reg >= 8 ? 4 : 0) | (extendRm ? 1 : 0));
        if (rex != 0x40) byte(rex);
        byte(0x0F), byte(uint8_t(uint16_t(op) & 0xFF));
    }

    uint8_t *start_;
    uint8_t *at_;
    uintptr_t base_;
    int baseReg_;
    int32_t flagOffset_ = 0;
};

// Which cell each xmm register holds, and when that value is read next.
class RegisterCache {
public:
    explicit RegisterCache(const CellTable &cells) : cells_(cells), holder_(cells.address.size(), -1) {}

    int holder(int32_t cell) const { return cell < 0 ? -1 : holder_[cell]; }

    // Notes the next read of a cached value.
    void touch(int32_t cell, uint32_t next) {
        if (int reg = holder(cell); reg >= 0) slot_[reg].next = next;
    }
    // A register not in `busy`: an empty one, else the one read farthest ahead.
    int pick(unsigned busy) {
        int best = -1;
        for (int reg = 0; reg < registerCount; ++reg) {
            if (busy & 1u << reg) continue;
            if (slot_[reg].cell < 0) return reg;
            if (best < 0 || slot_[reg].next > slot_[best].next) best = reg;
        }
        drop(best);
        return best;
    }
    void drop(int reg) {
        if (slot_[reg].cell >= 0) holder_[slot_[reg].cell] = -1;
        slot_[reg] = Slot{};
    }
    // Records that `reg` now holds the value just stored into `cell`: other
    // registers holding bytes of that cell are stale.
    void stored(int32_t cell, int reg, uint32_t next) {
        if (cells_.overlaps[cell]) dropOverlapping(cell);
        if (int old = holder_[cell]; old >= 0 && old != reg) drop(old);
        bind(cell, reg, next);
    }
    void bind(int32_t cell, int reg, uint32_t next) {
        drop(reg);
        slot_[reg] = Slot{cell, next};
        holder_[cell] = int8_t(reg);
    }
    void clear() {
        for (int reg = 0; reg < registerCount; ++reg) drop(reg);
    }

private:
    struct Slot {
        int32_t cell = -1;
        uint32_t next = never;
    };
    void dropOverlapping(int32_t cell) {
        uintptr_t at = cells_.address[cell];
        for (int reg = 0; reg < registerCount; ++reg) {
            int32_t other = slot_[reg].cell;
            if (other < 0 || other == cell) continue;
            uintptr_t o = cells_.address[other];
            if ((o > at ? o - at : at - o) < sizeof(double)) drop(reg);
        }
    }

    const CellTable &cells_;
    std::vector<int8_t> holder_;
    Slot slot_[registerCount];
};

// Emits the code of one run: the steps, then the return of the last result.
class StepEmitter {
public:
    StepEmitter(Assembler &as, RegisterCache &cache, int64_t maskOffset)
        : as_(as), cache_(cache), masks_(maskOffset) {}

    void emit(const Step &s, const StepPlan &p) {
        switch (s.op) {
        case Op::Add: binary(Sse::Addsd, s, p); break;
        case Op::Sub: binary(Sse::Subsd, s, p); break;
        case Op::Mul:
        case Op::Square: binary(Sse::Mulsd, s, p); break;
        case Op::Div: binary(Sse::Divsd, s, p); break;
        case Op::Abs: masked(Sse::Andpd, 0, s, p); break;
        case Op::Neg: masked(Sse::Xorpd, 16, s, p); break;
        case Op::Sqrt: squareRoot(s, p); break;
        case Op::Call1:
        case Op::Call2: callValue(s, p); break;
        case Op::CallRecord: callRecord(s); break;
        }
    }
    // Moves the last result to xmm0 (where the caller reads a double).
    void finish() {
        if (last_ > 0) as_.sse(Sse::Movapd, 0, last_);
    }

private:
    // A register that holds x's value and may be overwritten: x's own register
    // when x is not read again, else a copy of it (x being loaded into a
    // register of its own first when it is read again later).
    int workingCopy(const Step &s, const StepPlan &p, unsigned busy) {
        int rx = cache_.holder(p.x);
        if (rx < 0 && p.nextX == never) {
            int d = cache_.pick(busy);
            as_.sse(Sse::MovsdLoad, d, s.x);
            return d;
        }
        if (rx >= 0 && p.nextX == never) {
            cache_.drop(rx);
            return rx;
        }
        if (rx < 0) {
            rx = cache_.pick(busy);
            as_.sse(Sse::MovsdLoad, rx, s.x);
            cache_.bind(p.x, rx, p.nextX);
        }
        cache_.touch(p.x, p.nextX);
        int d = cache_.pick(busy | 1u << rx);
        as_.sse(Sse::Movapd, d, rx);
        return d;
    }

    void store(const Step &s, const StepPlan &p, int reg) {
        as_.sse(Sse::MovsdStore, reg, s.result);
        cache_.stored(p.r, reg, p.nextR);
        last_ = reg;
    }

    // result = x op y; the second operand comes from a register when it is
    // cached or read again later, else straight from its cell.
    void binary(Sse op, const Step &s, const StepPlan &p) {
        int ry = p.y == p.x ? -1 : cache_.holder(p.y);
        unsigned busy = ry >= 0 ? 1u << ry : 0;
        int d = workingCopy(s, p, busy);
        if (p.y == p.x) {
            as_.sse(op, d, d);
        } else if (ry >= 0) {
            cache_.touch(p.y, p.nextY);
            as_.sse(op, d, ry);
        } else if (p.nextY != never) {
            int rx = cache_.holder(p.x);
            int r = cache_.pick(1u << d | (rx >= 0 ? 1u << rx : 0));
            as_.sse(Sse::MovsdLoad, r, s.y);
            cache_.bind(p.y, r, p.nextY);
            as_.sse(op, d, r);
        } else {
            as_.sse(op, d, s.y);
        }
        store(s, p, d);
    }

    // |x| or -x: a bitwise operation with a mask from the block's constants.
    void masked(Sse op, int64_t mask, const Step &s, const StepPlan &p) {
        int d = workingCopy(s, p, 0);
        as_.sseRip(op, d, masks_ + mask);
        store(s, p, d);
    }

    void squareRoot(const Step &s, const StepPlan &p) {
        int rx = cache_.holder(p.x);
        int d;
        if (rx >= 0 && p.nextX == never) {
            cache_.drop(rx);
            d = rx;
        } else {
            cache_.touch(p.x, p.nextX);
            d = cache_.pick(rx >= 0 ? 1u << rx : 0);
        }
        if (rx >= 0) as_.sse(Sse::Sqrtsd, d, rx);
        else as_.sse(Sse::Sqrtsd, d, s.x);
        store(s, p, d);
    }

    // Puts a cell's value into an argument register.
    void argument(int target, int32_t cell, const void *address) {
        int reg = cache_.holder(cell);
        if (reg == target) return;
        if (reg >= 0) as_.sse(Sse::Movapd, target, reg);
        else as_.sse(Sse::MovsdLoad, target, address);
    }

    // result = fn(x) or fn(x, y): arguments in xmm0 and xmm1, result in xmm0.
    void callValue(const Step &s, const StepPlan &p) {
        if (s.op == Op::Call2) {
            int rx = cache_.holder(p.x), ry = cache_.holder(p.y);
            if (rx == 1 && ry == 0) {  // swapped: through xmm2
                as_.sse(Sse::Movapd, 2, 0);
                as_.sse(Sse::Movapd, 0, 1);
                as_.sse(Sse::Movapd, 1, 2);
            } else if (ry == 0) {
                argument(1, p.y, s.y);
                argument(0, p.x, s.x);
            } else {
                argument(0, p.x, s.x);
                argument(1, p.y, s.y);
            }
        } else {
            argument(0, p.x, s.x);
        }
        as_.movImm(0, s.fn);
        as_.callRax();
        cache_.clear();
        store(s, p, 0);
    }

    // fn(record): the routine reads and writes memory itself.
    void callRecord(const Step &s) {
        as_.movImm(7, s.record);
        as_.movImm(0, s.fn);
        as_.callRax();
        as_.markRunning();  // the routine may have run code of its own, which cleared it
        cache_.clear();
        last_ = -1;
    }

    Assembler &as_;
    RegisterCache &cache_;
    int64_t masks_;
    int last_ = -1;
};

// Scratch space reused by every compile on a thread.
struct Scratch {
    CellTable cells;
    std::vector<StepPlan> plans;
    std::vector<uint32_t> nextRead;
    std::vector<uint8_t> code;
};

// Emits a whole run into scratch.code; returns its size and where the code starts.
size_t assemble(std::span<const Step> steps, Scratch &k, size_t &entryOffset, int32_t flagOffset) {
    k.cells.build(steps);
    planSteps(steps, k.cells, k.plans, k.nextRead);
    bool needsMasks = std::any_of(steps.begin(), steps.end(),
                                  [](const Step &s) { return s.op == Op::Abs || s.op == Op::Neg; });
    size_t bound = maskBytes + frameBytes + steps.size() * maxStepBytes;
    if (k.code.size() < bound) k.code.resize(bound);
    uint8_t *out = k.code.data();
    entryOffset = needsMasks ? maskBytes : 0;
    if (needsMasks) {
        const uint64_t masks[4] = {0x7FFFFFFFFFFFFFFFu, 0x7FFFFFFFFFFFFFFFu, 0x8000000000000000u,
                                   0x8000000000000000u};
        std::memcpy(out, masks, sizeof masks);
        out += maskBytes;
    }
    const auto &cells = k.cells.address;
    uintptr_t base = cells.empty() ? 0 : cells[cells.size() / 2];
    // Code that calls out keeps the base in rbx, saved on the stack (which
    // also aligns it for the calls); a leaf keeps it in rdx and needs no frame.
    const bool calls = std::any_of(steps.begin(), steps.end(), [](const Step &s) { return isCall(s.op); });
    const int baseReg = calls ? 3 : 2;
    Assembler as(out, base, baseReg);
    RegisterCache cache(k.cells);
    StepEmitter emitter(as, cache, -int64_t(maskBytes));
    as.setFlagOffset(calls ? flagOffset : 0);
    as.markRunning();
    if (calls) as.byte(0x53);  // push rbx
    if (!cells.empty()) as.movImm(baseReg, reinterpret_cast<const void *>(base));
    for (size_t i = 0; i < steps.size(); ++i) emitter.emit(steps[i], k.plans[i]);
    emitter.finish();
    if (calls) as.byte(0x5B);  // pop rbx
    as.markFlag(0);
    as.byte(0xC3);  // ret
    return entryOffset + as.size();
}

} // namespace

Code::Code(const detail::Block &block, size_t entryOffset, size_t bytes)
    : block_(block), entryOffset_(entryOffset), bytes_(bytes) {}

Code::~Code() { detail::releaseBlock(block_); }

Code::Entry Code::entry() const { return reinterpret_cast<Entry>(reinterpret_cast<uintptr_t>(block_.exec + entryOffset_)); }

size_t Code::bytes() const { return bytes_; }

// Compiles a run of steps into a block of executable memory.
std::unique_ptr<Code> compile(std::span<const Step> steps, int32_t flagOffset) {
    if (steps.empty() || steps.size() > maxSteps) return nullptr;
    if (!std::all_of(steps.begin(), steps.end(), wellFormed)) return nullptr;
    thread_local Scratch scratch;
    size_t entryOffset = 0;
    size_t size = assemble(steps, scratch, entryOffset, flagOffset);
    detail::Block block;
    if (!detail::allocateBlock(size, block)) return nullptr;
    std::memcpy(block.write, scratch.code.data(), size);
    if (!detail::sealBlock(block)) {
        detail::releaseBlock(block);
        return nullptr;
    }
    return std::make_unique<Code>(block, entryOffset, size);
}

} // namespace nx::jit
