// The engine's internal interface between its phases: command entry, errors,
// definitions, patterns and tokens, rules, compiler, values, routines, runtime.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "context.h"
#include "fpu.h"
#include "item.h"
#include "nxstring.h"

namespace nx {

// ---- command entry, contexts and items (command.cpp, context.cpp, items.cpp) ----
intptr_t command(intptr_t code, std::string_view text, intptr_t misc1, intptr_t misc2,
                 intptr_t returnPtr, intptr_t t);
Item *newThread(ThreadContext *parent);       // thread record + context (child of parent, or a root)
void releaseThread(Item *thread);
Item *newItem(ThreadContext *ctx);            // a bare item bound to ctx, not registered
void releaseItem(Item *item);                 // full release: unregister, members, storage
void setTextResult(ThreadContext *ctx, std::string_view text);
intptr_t textResultToken(ThreadContext *ctx);
bool isThreadRecord(intptr_t word);

// ---- symbol table (symbols.cpp) ----
Item *lookupName(ThreadContext *ctx, std::string_view name, bool ruleHeads = false);
Item *lookupLocal(ThreadContext *ctx, std::string_view name);  // this table only, the chain head
void registerName(ThreadContext *ctx, Item *item, int32_t rank);  // sets error 13 on a constant
void unregisterName(Item *item);
size_t longestName();  // no registered name is longer
int32_t chainPosition(Item *item);

// ---- errors (errors.cpp) ----
void setError(ThreadContext *ctx, int32_t code);
intptr_t callHandlers(ThreadContext *ctx);    // registration order; last result, 0 when none
intptr_t raiseError(ThreadContext *ctx, int32_t code, intptr_t detail);
std::string_view errorMessage(ThreadContext *ctx, int32_t code);

// ---- definitions (define.cpp) ----
Item *define(ThreadContext *ctx, std::string_view text, intptr_t p1, intptr_t p2, intptr_t p3);

// ---- patterns (pattern.cpp) ----
CompiledPattern *compilePattern(std::string_view pattern, bool caseSensitive);
void freePattern(CompiledPattern *pattern);
// Match from 0-based start (anchored patterns only there); sets the 0-based start
// and length of the match.
bool matchPattern(const CompiledPattern *pattern, std::string_view text, size_t start,
                  size_t &matchStart, size_t &matchLength);
void setWordChars(std::string_view chars);
void setCharMap(int code, int replacement);
bool isWordChar(unsigned char c);

// ---- tokenizer and groups (tokenizer.cpp) ----
constexpr char kItemMarker = '\x01';  // followed by a 4-byte item handle
enum class TokenMode { Normal = 0, WithSpace = 1, Resume = 2 };
struct Token {
    size_t start = 0;          // 0-based
    std::string_view text;
    Item *pattern = nullptr;   // matching token pattern, or the embedded item
    bool embedded = false;
};
// Reads the token at pos (0-based), advancing pos. In Resume mode the search
// starts below `resumeBelow`. False at the end of text or when no pattern matches
// (then `noMatch` is set and pos is unchanged).
bool nextToken(ThreadContext *ctx, std::string_view text, size_t &pos, TokenMode mode,
               Token &token, Item *resumeBelow = nullptr, bool *noMatch = nullptr);
// Reads the bracketed group at pos; mode 1 includes the brackets. Error 5 when a
// token does not match.
bool readGroup(ThreadContext *ctx, std::string_view text, size_t &pos, int mode,
               std::string_view &group);
// The text of a quoted literal without the delimiters its pattern matched.
std::string_view literalBody(ThreadContext *ctx, std::string_view literal);

// ---- rules (rules.cpp) ----
Item *defineRule(ThreadContext *ctx, std::string_view ruleText, int32_t rank, uint32_t extraFlags);
std::string expand(ThreadContext *ctx, std::string_view text);

// ---- compiler (compiler.cpp) ----
Item *parse(ThreadContext *ctx, std::string_view text, Item *resultType);
bool mayUnname(const Item *item);  // false: a statement being compiled may not unname it
void releaseExpression(Item *expr);

// ---- values (types.cpp) ----
void createValue(Item *item, ThreadContext *ctx);  // storage for a new item; sets OwnsValue
void releaseValue(Item *item);                     // message 4 or free, when owned
void clearValue(Item *item);                       // message 8
Item *copyItem(Item *source, Item *target);        // command 70
std::string valueToText(Item *item);               // message 3
bool valueFromText(Item *item, std::string_view text, ThreadContext *ctx);  // message 2
void storeNativeResult(Item *type, void *cell, intptr_t word, long double number);  // message 5
intptr_t convertThroughText(Item *from, Item *to); // command 71
intptr_t copyValue(Item *from, Item *to);          // command 72
intptr_t callTypeHandler(Item *type, TypeRequest &request);
NxTypeHandler typeHandlerForSlot(int slot);        // slots 1-20, nullptr when empty

// ---- routines and runtime (routines*.cpp, eval.cpp, callbacks.cpp) ----
void initRoutineTable();
intptr_t routineAddress(intptr_t slot);
void setRoutine(intptr_t slot, intptr_t address);
NxRoutine currentRunner();
NxRoutine evaluationRunner();
// Runs work so that a processor fault in it becomes an error of ctx; false
// when it did not run to its end.
bool runGuarded(ThreadContext *ctx, void (*work)(void *), void *arg);  // the current runner, or the protected one in place of a plain one
bool currentRunnerKnown();                        // the engine's or libNomix296's own runner
void selectRunner(int slot);                       // 150 at each parse, 151 after command 94
void runChain(OperationRecord *first);             // the plain runner loop
long double evaluateExt(Item *expr);
int32_t trueValue();
void loadNativeMath();                             // dlopen libNomix296 and call Handshake
void setAngleUnit(int unit);
int angleUnit();
bool stopRequested();

// ---- floating point: fpu.h ----

} // namespace nx

namespace nx {
// ---- calls (calls.cpp): the engine side of native calls by address ----
void nativeStoreResult(OperationRecord *callRecord, intptr_t integerResult, long double extendedResult);
void nativeAfterCall(OperationRecord *callRecord, intptr_t wordCount);
void setTryStdCall(void *function);  // TryStdCall of libNomix296, or nullptr when it is missing
} // namespace nx

namespace nx {
// ---- errors, continued ----
void setErrorMessage(ThreadContext *ctx, int32_t code, std::string_view text, bool replace);
Item *addErrorHandler(ThreadContext *ctx, intptr_t callback);
} // namespace nx

namespace nx {
// ---- compiler, continued ----
// Code 6's parse: in continuation mode a pending parse of the context resumes.
Item *parseContinued(ThreadContext *ctx, std::string_view text, Item *resultType, bool continuation);
} // namespace nx

namespace nx {
// ---- function bodies (compiler) ----
void attachBody(Item *function, Item *body);   // address := the compiled body
bool bodyNeedsArgumentHandling(Item *body);
} // namespace nx

namespace nx {
// ---- runtime, continued (nativemath_loader.cpp, callbacks.cpp) ----
bool nativeMathLoaded();  // libNomix296 was found and its Handshake ran
// The engine's own messages ("Undefined Callback", "Data loss", error texts),
// through the host's message callback (standard error by default).
void showMessage(std::string_view text, std::string_view caption);
} // namespace nx

namespace nx {
// ---- compiler, continued ----
std::string evaluateToText(ThreadContext *ctx, std::string_view text);  // parse, run once, value text
void detachBody(Item *function);
} // namespace nx

namespace nx {
// Runs a compiled expression once between its context's control words and
// returns its value as Extended when its type is numeric (0 otherwise).
long double evaluateExpression(Item *expr);
} // namespace nx

namespace nx {
// True for types whose cells hold their whole value, so that a copy is a copy of
// the bytes (types.cpp).
bool valueOwnsNothing(const Item *type);
// The bytes of an array's value block the engine made at that address; 0 for
// any other address (host memory, single values).
size_t arrayBlockBytes(intptr_t address);
void *spareCell(uint32_t size);  // routines_control.cpp; made at start-up
} // namespace nx

namespace nx {
// ---- chains that cannot fault (purity.cpp) ----
void recordPureRoutines();
bool isPureChain(const OperationRecord *first);
bool isKnownRunner(NxRoutine runner);  // the engine's or libNomix296's own
NxRoutine protectedRunner();             // libNomix296's, taken at start-up; null without it
void refreshRunnerKnown();             // after the known runners change
} // namespace nx
