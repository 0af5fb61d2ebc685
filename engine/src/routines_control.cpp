// Control routines: short-circuit logic, iif, select and the loops, which run
// sub-expressions when and as often as they choose; errors raised from the
// language; and the routines that reach items, addresses, libraries and the
// command entry itself.
#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "codestubs.h"
#include "routines.h"

namespace nx {
namespace {

using R = OperationRecord;

// The item a handle word names.
Item *asItem(intptr_t handle) { return reinterpret_cast<Item *>(handle); }

// True when the item's data type is handled by the engine's handler of a slot.
bool hasEngineType(const Item *item, int slot) {
    intptr_t handler = reinterpret_cast<intptr_t>(typeHandlerForSlot(slot));
    return item && item->dataType && handler && item->dataType->typeHandler == handler;
}

// ---- short-circuit logic, iif and select ----

// x AndAlso y: y runs only when x is not 0.
void andAlso(R *r) {
    bool holds = xExt(r) != 0 && evaluateNested(asItem(r->Arg2)) != 0;
    setExt(r, truth(holds));
}

// x OrElse y: y runs only when x is 0.
void orElse(R *r) {
    bool holds = xExt(r) != 0 || evaluateNested(asItem(r->Arg2)) != 0;
    setExt(r, truth(holds));
}

// The iif branch the condition (argument 1) chooses: argument 2 or 3, nullptr
// when a record was built without that argument.
Item *chosenBranch(R *r) {
    intptr_t i = argOf<int32_t>(r, 1) != 0 ? 2 : 3;
    return i <= argCount(r) ? argItem(r, i) : nullptr;
}

// Numeric iif: only the chosen branch runs.
void numericIif(R *r) { setExt(r, evaluateNested(chosenBranch(r))); }

// The text of a sub-expression's value after running it: a String result as it
// stands, anything else through its type's text form.
std::string expressionText(Item *expr) {
    runNested(expr);
    if (!expr || !expr->address) return {};
    if (!expr->dataType || hasEngineType(expr, 14)) return std::string(cellText(cellAt(expr->address)));
    return valueToText(expr);
}

// String iif: only the chosen branch runs; its text replaces the result string.
void stringIif(R *r) { setText(r, expressionText(chosenBranch(r))); }

// Select: the value of the first (condition, value) pair whose condition holds;
// the result keeps its old value when none does.
void select(R *r) {
    intptr_t n = argCount(r);
    for (intptr_t i = 1; i + 1 <= n; i += 2) {
        if (evaluateNested(argItem(r, i)) != 0) {
            setExt(r, evaluateNested(argItem(r, i + 1)));
            return;
        }
    }
}

// ---- loops ----

// Writes the loop value into the counter item: directly into an Extended or
// Double cell, otherwise through an Extended work variable converted by text,
// so that a counter of any type works. The work variable lives for one loop.
class CounterWriter {
public:
    CounterWriter(Item *counter, ThreadContext *ctx) : counter_(counter) {
        if (!counter || !counter->address) return;
        if (hasEngineType(counter, 4)) {
            mode_ = Mode::Extended;
        } else if (hasEngineType(counter, 3)) {
            mode_ = Mode::Double;
        } else if (ctx) {
            // A definition starts by clearing the context's error; this one is
            // ours, not the user's, so whatever error the chain had stays.
            int32_t error = ctx->errorCode;
            work_ = define(ctx, "Variable ~~ DataType: Extended", 0, 0, 0);
            ctx->errorCode = error;
            if (work_ && work_->address) mode_ = Mode::ByText;
        }
    }
    ~CounterWriter() {
        if (work_) releaseItem(work_);
    }
    CounterWriter(const CounterWriter &) = delete;
    CounterWriter &operator=(const CounterWriter &) = delete;

    void store(long double v) {
        switch (mode_) {
        case Mode::Extended: storeExt(cellAt(counter_->address), v); break;
        case Mode::Double: nx::store<double>(cellAt(counter_->address), static_cast<double>(v)); break;
        case Mode::ByText:
            storeExt(cellAt(work_->address), v);
            convertThroughText(work_, counter_);
            break;
        case Mode::None: break;
        }
    }

private:
    enum class Mode { None, Extended, Double, ByText };
    Item *counter_;
    Item *work_ = nullptr;
    Mode mode_ = Mode::None;
};

// True when the loop value has passed Finish in the direction of Step. A NaN
// bound or value compares unordered and ends the loop, which could otherwise
// never end.
bool pastFinish(long double v, long double finish, long double step) {
    if (std::isnan(v) || std::isnan(finish)) return true;
    return (step > 0 && v > finish) || (step < 0 && v < finish);
}

// A loop ended by the host's stop request says so: the calculation did not
// finish, and its host must not take the result for one.
void stopped(R *r) {
    if (ThreadContext *ctx = recordContext(r); ctx && ctx->errorCode != nx_ErrStopped)
        raiseError(ctx, nx_ErrStopped, reinterpret_cast<intptr_t>(r));
}

// For Counter = Start To Finish Step Step: Expr. The bounds are read once; the
// counter keeps the first value that failed the end test. A zero step has no end
// test, so (like a step too small to move the counter, or a NaN) it runs Expr
// once and stops. A host's stop request ends the loop too.
void countedLoop(R *r) {
    const long double start = argExt(r, 2), finish = argExt(r, 3), step = argExt(r, 4);
    Item *body = argItem(r, 5);
    CounterWriter counter(argItem(r, 1), recordContext(r));
    for (long double v = start;;) {
        counter.store(v);
        if (pastFinish(v, finish, step)) return;
        runNested(body);
        long double next = v + step;
        if (stopRequested()) {
            stopped(r);
            return;
        }
        if (next == v || std::isnan(next)) return;
        v = next;
    }
}

// Do While DoCondition: Expression: Loop Until LoopCondition is 0.
void conditionalLoop(R *r) {
    Item *doCondition = argItem(r, 1), *expression = argItem(r, 2), *loopCondition = argItem(r, 3);
    while (evaluateNested(doCondition) != 0) {
        if (stopRequested()) {
            stopped(r);
            return;
        }
        runNested(expression);
        if (evaluateNested(loopCondition) == 0) return;
    }
}

// Element i of an array of Doubles whose element 0 lies at the item's value
// address; nullptr beyond the item's declared count, when it has one.
double *doubleElement(const Item *array, int32_t i) {
    if (!array || !array->address || (array->count > 0 && i > array->count)) return nullptr;
    return reinterpret_cast<double *>(array->address) + i;
}

// BatchEval: for i = 1 to Count, Var = VarArray(i), run Expr with the plain
// runner, ResultArray(i) = its value. Element 0 is never touched.
void batchEvaluate(R *r) {
    Item *var = argItem(r, 1), *inputs = argItem(r, 2), *outputs = argItem(r, 3);
    const int32_t count = argOf<int32_t>(r, 4);
    Item *expr = argItem(r, 5);
    if (!var || !var->address || !expr) return;
    for (int32_t i = 1; i <= count; ++i) {
        double *in = doubleElement(inputs, i);
        if (!in) return;
        std::memcpy(cellAt(var->address), in, sizeof(double));
        runChain(expr->chain);
        double *out = doubleElement(outputs, i);
        if (expr->address && out) std::memcpy(out, cellAt(expr->address), sizeof(double));
    }
}

// ---- errors ----

// Error(Message): makes Message the text of error 1 and raises error 1 on the
// evaluating thread.
void raiseUserError(R *r) {
    ThreadContext *ctx = recordContext(r);
    if (!ctx) return;
    command(nx_SetErrorMessage, xText(r), 1, 1, 0, threadHandle(ctx));
    raiseError(ctx, 1, 0);
}

// ---- items, addresses and the routine table ----

// nxAddr(index): the content of a routine table slot, as Nomix(12) gives it to
// the language (a code address through its stub); 0 outside the table.
void routineContent(R *r) {
    long double index = xExt(r);
    intptr_t slot = index >= 0 && index < routineTableSize() ? static_cast<intptr_t>(std::llrint(index)) : -1;
    setExt(r, static_cast<long double>(languageCodeAddress(routineSlotContent(slot))));
}

// ValueAtAddr(DataType, Address, Index): the address of element Index of that
// type at Address, as a 32-bit address (wrapping like the language's Dwords).
void valueAtAddress(R *r) {
    auto *type = static_cast<const Item *>(addressFromLong(argOf<int32_t>(r, 1)));
    uint32_t base = argOf<uint32_t>(r, 2);
    int32_t index = argCount(r) >= 3 ? argOf<int32_t>(r, 3) : 0;
    uint32_t size = type && isLiveItem(type) ? static_cast<uint32_t>(type->size) : 0;
    // An array the engine made knows its bounds: an element outside them is
    // error 20, and the access goes to a zeroed spare cell instead of the
    // memory around the array. Other addresses are the host's business.
    if (size_t bytes = arrayBlockBytes(base)) {
        int64_t offset = int64_t(size) * index;
        if (index < 0 || offset + int64_t(size) > int64_t(bytes)) {
            if (void *spare = spareCell(size)) {
                raiseError(recordContext(r), 20, reinterpret_cast<intptr_t>(r));
                setOf<uint32_t>(r, toHandle(spare));
                return;
            }
        }
    }
    setOf<uint32_t>(r, base + size * static_cast<uint32_t>(index));
}

// ---- libraries ----

// dlopen handles are 64-bit addresses, which a Long cannot carry: the language
// sees a library as its position in this table, plus 1 (0 means "not loaded").
std::vector<void *> &libraries() {
    static std::vector<void *> handles;
    return handles;
}

int32_t libraryNumber(void *handle) {
    auto &list = libraries();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == handle) return static_cast<int32_t>(i + 1);
    list.push_back(handle);
    return static_cast<int32_t>(list.size());
}

// Loads a library by file name; the result (Long) is its number, 0 on failure.
void loadLibrary(R *r) {
    std::string name(xText(r));
    void *handle = name.empty() ? nullptr : dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    setOf<int32_t>(r, handle ? libraryNumber(handle) : 0);
}

// The address of export y of library number x, 0 when missing. A code address
// needs more than 32 bits, so the result is a Double, which holds it exactly.
void libraryExport(R *r) {
    int32_t number = xOf<int32_t>(r);
    auto &list = libraries();
    void *handle = number >= 1 && static_cast<size_t>(number) <= list.size() ? list[number - 1] : nullptr;
    std::string name(yText(r));
    void *address = handle && !name.empty() ? dlsym(handle, name.c_str()) : nullptr;
    setOf<double>(r, static_cast<double>(reinterpret_cast<uintptr_t>(address)));
}

// ---- assignment ----

// True when the assignment may go ahead; raises error 13 on a read-only target.
bool writable(R *r, const Item *target) {
    if (!target->has(flag::Constant)) return true;
    raiseError(recordContext(r), 13, 0);
    return false;
}

// Variable = Value between items: a copy within one data type, a conversion
// through text between two.
void assign(R *r) {
    Item *target = asItem(operand(r, 1)), *source = asItem(operand(r, 2));
    if (!target || !source || !writable(r, target)) return;
    if (target->dataType == source->dataType)
        copyValue(source, target);
    else
        convertThroughText(source, target);
}

// The same assignment for values of a fixed width, copied as raw bytes.
template <size_t Width> void assignRaw(R *r) {
    Item *target = asItem(operand(r, 1)), *source = asItem(operand(r, 2));
    if (!target || !source || !target->address || !source->address || !writable(r, target)) return;
    std::memmove(cellAt(target->address), cellAt(source->address), Width);
}

// ---- the command entry as a routine ----

// Calls the command entry with the six arguments of the record.
intptr_t callCommandEntry(R *r) {
    const intptr_t n = argCount(r);
    auto word = [&](intptr_t i) -> intptr_t { return n >= i ? argOf<int32_t>(r, i) : 0; };
    std::string_view text = n >= 2 ? cellText(argCell(r, 2)) : std::string_view();
    return command(word(1), text, word(3), word(4), word(5), word(6));
}

// Nomix(...) As Long.
void commandAsLong(R *r) { setOf<int32_t>(r, static_cast<int32_t>(callCommandEntry(r))); }

// True when a command's result is the token of a text result: the address of the
// context it ran in (t's, or MiscArg1's for the commands that take an
// expression or a thread there). Other results carry no text.
bool isTextToken(R *r, intptr_t token) {
    if (!token) return false;
    const intptr_t n = argCount(r);
    intptr_t misc1 = n >= 3 ? argOf<int32_t>(r, 3) : 0, t = n >= 6 ? argOf<int32_t>(r, 6) : 0;
    auto *ctx = reinterpret_cast<ThreadContext *>(token);
    if (ctx == resolveContext(t)) return true;
    return misc1 && isLiveItem(asItem(misc1)) && asItem(misc1)->context == ctx;
}

// NomixStr(...) As String: the command's text result replaces the result string.
void commandAsText(R *r) {
    intptr_t token = callCommandEntry(r);
    NxStr text = isTextToken(r, token) ? nxStrReturn(token) : sharedEmpty();
    void *cell = cellAt(r->Result);
    NxStr old = cellStr(cell);
    setCellStr(cell, text);
    strFree(old);
}

constexpr RoutineSlot kControl[] = {
    {80, andAlso},
    {81, orElse},
    {83, numericIif},
    {84, stringIif},
    {195, select},
    {105, countedLoop},
    {107, conditionalLoop},
    {199, batchEvaluate},
    {154, raiseUserError},
};

constexpr RoutineSlot kItems[] = {
    // Any type to any other through text: the conversion works on the source item
    // (Arg1) and the target item (Arg2), whose handlers write and read the text.
    {23, [](R *r) { convertThroughText(asItem(r->Arg1), asItem(r->Arg2)); }},
    {97, [](R *r) { setOf<int32_t>(r, static_cast<int32_t>(argSlot(r, 1))); }},
    {98, [](R *r) { setOf<int32_t>(r, static_cast<int32_t>(r->Arg1)); }},
    {101, routineContent},
    {102, valueAtAddress},
    {108, loadLibrary},
    {109, libraryExport},
    {140, assign},
    {141, assignRaw<4>},
    {142, assignRaw<8>},
    {143, assignRaw<10>},
    {99, commandAsLong},
    {100, commandAsText},
};

} // namespace

// The engine's error handler: shows "Error #n", the message and the offending
// item, and answers 0, which ends the evaluation.
intptr_t errorMessageBuilder(intptr_t thread) {
    ThreadContext *ctx = resolveContext(thread);
    if (!ctx) return 0;
    const int32_t code = ctx->errorCode;
    std::string text = "Error #" + std::to_string(code) + "\r\n" + std::string(errorMessage(ctx, code));
    std::string_view symbol = strView(ctx->errorSymbol);
    if (!symbol.empty()) text.append("\r\nItem: ").append(symbol);
    showMessage(text, "Error");
    return 0;
}

// This file's routines, for the table.
std::span<const RoutineSlot> controlRoutines() {
    static const auto all = joinRoutines(kControl, kItems);
    return all;
}

// A zeroed cell of at least `size` bytes below 2 GiB, made at start-up, that
// out-of-bounds array accesses read and write; nullptr for larger types.
void *spareCell(uint32_t size) {
    constexpr uint32_t kSpareBytes = 256;
    static void *cell = heapAlloc(kSpareBytes);
    if (!cell || size > kSpareBytes) return nullptr;
    std::memset(cell, 0, kSpareBytes);
    return cell;
}

} // namespace nx
