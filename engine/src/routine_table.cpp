// The routine table: the numbered slots a host binds operators, functions,
// conversions and data types to, plus the process-wide settings routines read
// (true value, angle unit).
#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "fold.h"
#include "heap.h"
#include "routines.h"

namespace nx {

AngleFactors angleFactors;

namespace {

// A slot number this far up is not a routine number but a mistake; growing the
// table to twice it would exhaust memory.
constexpr intptr_t kMaxSlot = intptr_t(1) << 20;

std::vector<intptr_t> table;
std::once_flag tableOnce;
int currentUnit = 1;

// Slot 0, bound wherever nothing else is: tells the user instead of jumping to 0.
void undefinedCallback(OperationRecord *) { showMessage("Undefined Callback", kEngineCaption); }

template <class F> intptr_t address(F *f) { return reinterpret_cast<intptr_t>(f); }

// Puts every routine of one file's list into the table.
void place(std::span<const RoutineSlot> routines) {
    for (const RoutineSlot &s : routines) table[s.slot] = address(s.routine);
}

// Fills slots 0 to 220 with the engine's own routines, cells and runners.
void fillTable() {
    if (table.size() < kInitialSlots) table.resize(kInitialSlots, 0);
    std::fill(table.begin(), table.begin() + kInitialSlots, 0);
    table[0] = address(&undefinedCallback);
    for (int slot = 1; slot <= 20; ++slot) table[slot] = address(typeHandlerForSlot(slot));
    place(arithRoutines());
    place(functionRoutines());
    place(controlRoutines());
    place(stringRoutines());
    place(collectionRoutines());
    table[110] = address(emptyStringCell());
    table[111] = address(trueCell());
    table[150] = address(&runChain);
    table[151] = address(&runChain);
    table[152] = address(&ExceptionHelper);
    table[153] = address(&errorMessageBuilder);
}

} // namespace

// Creates and fills the table once per process; later calls keep what hosts and
// the extension library have put in since.
void initRoutineTable() {
    std::call_once(tableOnce, [] {
        fillTable();
        selectRunner(150);
    });
}

// A slot's address; slot 0's for a number below 0, beyond the table or empty,
// so an expression bound to a missing routine reports instead of crashing.
intptr_t routineAddress(intptr_t slot) {
    intptr_t content = routineSlotContent(slot);
    if (content) return content;
    return table.empty() ? 0 : table[0];
}

// What a slot holds, 0 included; nxAddr and the runner selection read this.
intptr_t routineSlotContent(intptr_t slot) {
    if (slot < 0 || slot >= static_cast<intptr_t>(table.size())) return 0;
    return table[static_cast<size_t>(slot)];
}

std::vector<intptr_t> sortedSlotContents(std::span<const int> slots, intptr_t extra) {
    std::vector<intptr_t> routines;
    for (int slot : slots)
        if (intptr_t a = routineSlotContent(slot)) routines.push_back(a);
    if (extra) routines.push_back(extra);
    std::sort(routines.begin(), routines.end());
    return routines;
}

// The number of slots, which grows when a slot beyond the table is set.
intptr_t routineTableSize() { return static_cast<intptr_t>(table.size()); }

// Stores an address in a slot, first growing the table to twice the slot number
// when the slot lies beyond it. Negative and absurdly large numbers are ignored.
void setRoutine(intptr_t slot, intptr_t address) {
    if (slot < 0 || slot > kMaxSlot) return;
    if (slot >= static_cast<intptr_t>(table.size()))
        table.resize(static_cast<size_t>(slot == 0 ? 1 : 2 * slot), 0);
    table[static_cast<size_t>(slot)] = address;
    bumpFoldGeneration();
}

// The true-value cell, made on first use.
int32_t *trueCell() {
    static int32_t *cell = static_cast<int32_t *>(heapAlloc(sizeof(int32_t)));
    return cell;
}

// What comparisons store for "true": the host's value in the true-value cell.
int32_t trueValue() { return *trueCell(); }

// Selects radians (1), degrees (2) or grads (3); any other number changes nothing.
void setAngleUnit(int unit) {
    const long double quarterPi = std::atan(1.0L);
    switch (unit) {
    case 1: angleFactors = {1.0L, 1.0L}; break;
    case 2: angleFactors = {quarterPi / 45, 45 / quarterPi}; break;
    case 3: angleFactors = {quarterPi / 50, 50 / quarterPi}; break;
    default: return;
    }
    currentUnit = unit;
    bumpFoldGeneration();
}

// The unit last selected: 1 radians, 2 degrees, 3 grads.
int angleUnit() { return currentUnit; }

} // namespace nx
