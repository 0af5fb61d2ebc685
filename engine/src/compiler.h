// The expression compiler's working types: operands carry the records that
// compute them until a consumer takes them, so that an argument passed by
// expression can be cut out as a chain of its own.
#pragma once
#include <string>
#include <vector>

#include "engine.h"

namespace nx {

// A run of records linked through Next, in execution order.
struct Code {
    OperationRecord *first = nullptr;
    OperationRecord *last = nullptr;
    bool empty() const { return first == nullptr; }
    void append(OperationRecord *r);
    void append(const Code &other);
};

struct Operand {
    Item *item = nullptr;     // value cell at item->address, type item->dataType
    Code code;                // records that compute it, not yet placed
    bool dynamic = false;     // its address is only known at run time (read from item->address)
    Item *type() const { return item ? item->dataType : nullptr; }
};

// A value cell of a temporary or a literal whose item the expression let go of
// after compiling: records name cells by address, so only the cell must live.
struct PlainCell {
    intptr_t address;
    int32_t size;
    bool constant;
};

struct FastPath;

// What nxEvaluateDbl needs to enter an expression's machine code at once, kept
// where it reads it first: set while the fast path's stamp holds and the code
// may be entered under the context's words (fold.cpp).
struct HotEntry {
    double (*entry)() = nullptr;  // null: take the usual way
    uint32_t generation = 0;      // the generation it was decided under
    uint16_t word = 0;            // the masked word the x87 must hold
};

// What a compiled expression owns. Records and argument lists are carved from
// a few arena blocks, so a chain lies together in memory and costs a handful
// of allocations rather than one per record.
struct ExprData {
    HotEntry hot;             // first, for the hot path
    Vec<Item *> owned;        // constants, temporaries, sub-expressions, member views
    Vec<void *> blocks;       // arena blocks holding records and argument lists
    Vec<PlainCell> cells;     // plain cells whose items are gone
    char *room = nullptr;     // free space in the newest block
    size_t roomLeft = 0;
    size_t firstBlock = 256;  // the parser sizes it from the text
    bool needsArgumentHandling = false;
    bool pure = false;        // the chain cannot fault: evaluations may skip the protected region
    Vec<OperationRecord *> foldable;  // records on constants only, in the order they were made
    FastPath *fast = nullptr;         // what evaluations run instead of the chain (fold.h)

    void *carve(size_t bytes);  // zeroed, 8-byte aligned, lives as long as the expression
};

// Lets go of the items of plain temporaries and literals once an expression is
// compiled, keeping their cells (see slim.cpp).
void slimExpression(Item *expr);

// Emission of records into one expression under construction.
class Emitter {
public:
    Emitter(ThreadContext *ctx, Item *expr);

    OperationRecord *record(intptr_t routine);
    intptr_t *argumentList(size_t n);
    Item *temporary(Item *type);
    Item *constant(Item *pattern, std::string_view text);
    Item *subExpression(Operand &operand);
    Item *view(Item *type, intptr_t address);   // a variable item over existing storage

    // The value of an operand converted to a type (a new operand), or false
    // when no conversion exists.
    bool convert(Operand &operand, Item *target);
    // A record field that must hold the operand's address: fixed now, or
    // written at run time by a record placed before the consumer.
    void bindAddress(Code &code, Operand &operand, intptr_t *field);
    // An operand whose address moves at run time, copied into a fixed cell.
    void settle(Operand &operand);

    ThreadContext *ctx() const { return ctx_; }
    ExprData *data() const { return data_; }
    Item *expr() const { return expr_; }

private:
    ThreadContext *ctx_;
    Item *expr_;
    ExprData *data_;
};

// Overloads and calls.
struct CallSite {
    std::string name;            // looked up through the context and its parents
    Item *callable = nullptr;    // a callable bracket pattern (its own arguments)
    uint32_t fixity = 0;         // flag::Prefix / Infix / Postfix for operators; 0 for functions
};

// Chooses the overload for n operands; 0 with ctx->errorCode 8 or 7.
Item *chooseOverload(ThreadContext *ctx, const CallSite &site, const std::vector<Operand *> &args);
// Items of a name usable as operators of a fixity, in chain order.
std::vector<Item *> operatorCandidates(ThreadContext *ctx, std::string_view name, uint32_t fixity);
std::vector<Item *> sameName(ThreadContext *ctx, std::string_view name);
size_t paramCount(Item *callee);
Item *paramAt(Item *callee, size_t i);  // 0-based; the variable-list parameter repeats
bool acceptsArity(Item *callee, size_t n);
// Emits a call with its arguments (consumed) and returns the result operand.
bool emitCall(Emitter &em, Item *callee, std::vector<Operand> &args, Operand &result);

// x^2 of Doubles as libNomix296's power computes it (purity.cpp): the square
// of the Extended value, rounded once to Double. The compiler puts it in place
// of that power routine when the exponent is the constant 2.
void squareDoubleRoutine(OperationRecord *r);
// libNomix296's Double power, as the routine table held it after start-up (0
// without the library).
intptr_t nativeDoublePower();

// Runtime routines of compiled code (calls.cpp).
void bodyRunner(OperationRecord *r);
void copyParamRoutine(OperationRecord *r);
void fixAddressRoutine(OperationRecord *r);
void loadValueRoutine(OperationRecord *r);
void nativeCallRoutine(OperationRecord *r);
void popParameters(Item *function, ThreadContext *stackOwner);

} // namespace nx
