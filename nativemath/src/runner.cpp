// The chain runners. The protected runner runs a chain inside a protected
// region; a processor fault (or a nested evaluation's fault, arriving as
// nx::ProcessorFault) goes to the engine's recovery routine, whose verdict
// says where the chain goes on, or that the fault propagates.
#include "faults.h"
#include "internal.h"
#include "x87.h"

namespace nm {
namespace {

inline NxRoutine routineOf(const OperationRecord *record) {
    return reinterpret_cast<NxRoutine>(record->Routine);
}

inline OperationRecord *nextOf(const OperationRecord *record) {
    return reinterpret_cast<OperationRecord *>(record->Next);
}

// The hot loop: one indirect call per record. The record is published before
// its call so a fault is charged to it; fwait makes a pending x87 exception
// trap here rather than in a later record.
inline void runRecords(Region &region) {
    for (OperationRecord *record = region.current; record->Routine != 0; record = nextOf(record)) {
        region.current = record;
        routineOf(record)(record);
        x87Wait();
    }
}

// Runs from region.current to the terminator inside one protected region.
// Returns true when the terminator was reached, false with region.code set
// when a record faulted (region.current is then the failing record).
// Nothing in this frame owns resources: a fault leaves it by siglongjmp.
__attribute__((noinline)) bool runGuarded(Region &region) {
    if (sigsetjmp(region.jump, 0) != 0) {
        popRegion(region);
        return false;
    }
    return runInRegion(region, [&region] { runRecords(region); });
}

// The evaluation control word of the context owning a record: the context is
// the terminating record's Arg1, and its first 16-bit field is fpuWordEval.
uint16_t contextControlWord(const OperationRecord *record) {
    while (record != nullptr && record->Routine != 0) record = nextOf(record);
    if (record == nullptr || record->Arg1 == 0) return kDefaultControlWord;
    return *reinterpret_cast<const uint16_t *>(record->Arg1);
}

// Asks the engine where to go on after a fault; nullptr means propagate.
// The x87 is reset before (the handler may evaluate) and after (the chain
// goes on under its own context's word).
OperationRecord *recoverFrom(OperationRecord *failing, uint32_t code) {
    uint16_t word = contextControlWord(failing);
    resetFpu(word);
    intptr_t next = links.recover ? links.recover(failing, code) : 0;
    loadControlWord(word);
    return reinterpret_cast<OperationRecord *>(next);
}

} // namespace

void protectedRunner(OperationRecord *first) {
    prepareThread();
    Region region;
    region.current = first;
    while (!runGuarded(region)) {
        uint32_t code = region.code;
        OperationRecord *next = recoverFrom(region.current, code);
        if (next == nullptr) throw nx::ProcessorFault(code);
        region.current = next;
    }
}

void plainRunner(OperationRecord *first) {
    for (OperationRecord *record = first; record->Routine != 0; record = nextOf(record))
        routineOf(record)(record);
}

} // namespace nm
