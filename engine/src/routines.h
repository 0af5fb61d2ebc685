// The engine's native routines: how they reach their operands, the process-wide
// settings they read, and the lists each routine file contributes to the
// routine table.
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cells.h"
#include "engine.h"
#include "nxstring.h"

namespace nx {

// ---- the routine table (routine_table.cpp) ----

// One routine and the slot it occupies.
struct RoutineSlot {
    int slot;
    NxRoutine routine;
};

constexpr int kInitialSlots = 221;  // slots 0 to 220

// The raw content of a slot, 0 when empty or outside the table.
intptr_t routineSlotContent(intptr_t slot);
// What the given slots hold (empty ones left out) and `extra` when not 0,
// sorted for binary search.
std::vector<intptr_t> sortedSlotContents(std::span<const int> slots, intptr_t extra = 0);
intptr_t routineTableSize();

// Several routine lists as one array, so a file can hand all of its lists over at once.
template <size_t... N> auto joinRoutines(const RoutineSlot (&...lists)[N]) {
    std::array<RoutineSlot, (N + ...)> all{};
    size_t at = 0;
    ((std::copy(std::begin(lists), std::end(lists), all.begin() + at), at += N), ...);
    return all;
}

// What each routine file puts into the table.
std::span<const RoutineSlot> arithRoutines();
// True when a record is a Long division or Mod whose divisor is -1: the
// processor reports the quotient's overflow (-2147483648 \ -1) as a division
// by zero, and recovery tells the two apart this way.
bool isLongDivisionOverflow(const OperationRecord *r);
std::span<const RoutineSlot> functionRoutines();
std::span<const RoutineSlot> controlRoutines();
std::span<const RoutineSlot> stringRoutines();
std::span<const RoutineSlot> collectionRoutines();

// The true-value cell (slot 111): what comparisons and logical routines store
// for "true". It lives in the engine heap so the language can bind it by address.
int32_t *trueCell();

// The angle unit's two factors, read by every trigonometric routine.
struct AngleFactors {
    long double toRadians = 1;
    long double fromRadians = 1;
};
extern AngleFactors angleFactors;

// The engine's error message builder (slot 153), an error handler.
intptr_t errorMessageBuilder(intptr_t thread);

// ---- evaluation helpers for routines (eval.cpp) ----

// Evaluates a sub-expression from inside a running chain and reads its 10-byte
// result. Unlike nxEvaluateExt it puts back the control word that was active,
// so the rest of the outer chain keeps running under its own word.
long double evaluateNested(Item *expr);
// Runs a sub-expression's chain the same way without reading a result (for
// expressions of any type, whose cell may be narrower than 10 bytes).
void runNested(Item *expr);

// ---- records and contexts (callbacks.cpp) ----

// The terminating record of the chain r belongs to, or nullptr for a broken chain.
inline OperationRecord *chainEnd(OperationRecord *r) {
    while (r && r->Routine) r = reinterpret_cast<OperationRecord *>(r->Next);
    return r;
}
// The context a running record acts in: the chain's context, or the nearest
// ancestor that has token patterns of its own. Falls back to the default context.
ThreadContext *recordContext(OperationRecord *r);

// Delivers an engine message ("Undefined Callback", "Data loss", error texts)
// through the host's message callback.
void showMessage(std::string_view text, std::string_view caption);
bool nativeMathLoaded();
inline constexpr std::string_view kEngineCaption = "Nomix Fast Math Parser 2.96";

// ---- operand access ----

inline long double xExt(const OperationRecord *r) { return loadExt(cellAt(r->Arg1)); }
inline long double yExt(const OperationRecord *r) { return loadExt(cellAt(r->Arg2)); }
inline void setExt(const OperationRecord *r, long double v) { storeExt(cellAt(r->Result), v); }

template <class T> inline T xOf(const OperationRecord *r) { return load<T>(cellAt(r->Arg1)); }
template <class T> inline T yOf(const OperationRecord *r) { return load<T>(cellAt(r->Arg2)); }
template <class T> inline void setOf(const OperationRecord *r, T v) { store<T>(cellAt(r->Result), v); }

// Argument i (1-based) of the ArgumentList as a cell, a typed value or an item.
inline void *argCell(const OperationRecord *r, intptr_t i) { return cellAt(argSlot(r, i)); }
template <class T> inline T argOf(const OperationRecord *r, intptr_t i) { return load<T>(argCell(r, i)); }
inline long double argExt(const OperationRecord *r, intptr_t i) { return loadExt(argCell(r, i)); }
inline Item *argItem(const OperationRecord *r, intptr_t i) { return reinterpret_cast<Item *>(argSlot(r, i)); }

// Operand i (1 or 2) from the ArgumentList when the record has one with that
// many slots, else from Arg1/Arg2 (operator records may carry only those).
inline intptr_t operand(const OperationRecord *r, intptr_t i) {
    if (r->ArgList && argCount(r) >= i) return argSlot(r, i);
    return i == 1 ? r->Arg1 : r->Arg2;
}

// Text of a String cell (0 and the shared empty handle both read as empty).
inline std::string_view cellText(const void *cell) { return strView(cellStr(cell)); }
inline std::string_view xText(const OperationRecord *r) { return cellText(cellAt(r->Arg1)); }
inline std::string_view yText(const OperationRecord *r) { return cellText(cellAt(r->Arg2)); }
inline void setText(const OperationRecord *r, std::string_view text) { cellAssign(cellAt(r->Result), text); }

// A 32-bit cell value used as an address (addresses the language sees are
// below 4 GiB, so they are zero-extended).
inline void *addressFromLong(int32_t word) {
    return reinterpret_cast<void *>(static_cast<uintptr_t>(static_cast<uint32_t>(word)));
}

// Rounds with the current x87 rounding mode (nearest, ties to even under the
// default control word) and keeps the low 32 bits.
inline int32_t roundToLong(long double v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(std::llrint(v))));
}

// The value true and false are stored as.
inline int32_t truth(bool b) { return b ? trueValue() : 0; }

} // namespace nx
