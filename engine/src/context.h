// ThreadContext: the per-thread engine state. A thread handle is the address of
// a thread record (an Item flagged flag::Thread) whose second word is its context.
#pragma once
#include <cstdint>
#include <memory>

#include "item.h"

namespace nx {

struct PendingBlock;
struct ParseState;

// The tokenizer's index of a context's patterns by the byte a token starts with
// (tokenizer.cpp): a cache, rebuilt when the pattern list has changed.
struct PatternIndex;

struct ThreadContext {
    uint16_t fpuWordEval = 0x033F;   // loaded before an evaluation
    uint16_t fpuWordAfter = 0x033F;  // loaded after it
    int32_t errorCode = 0;
    ThreadContext *parent = nullptr;
    Vec<Item *> items;               // items defined here, oldest first
    Vec<Item *> handlers;            // error-handler records, registration order
    Vec<NxStr> messages;             // message text by error number
    Vec<Item *> patterns;            // token patterns; index 0 is position 1 (lowest priority)
    uint32_t patternsVersion = 0;    // bumped on every change to patterns
    mutable std::shared_ptr<PatternIndex> patternIndex;
    Vec<Item *> symbols;             // heads of the same-name chains, sorted by name
    Item *defaultType = nullptr;
    Item *thread = nullptr;
    NxStr propertySeparator = nullptr;
    NxStr ruleSeparator = nullptr;
    int32_t caseSensitive = 0;
    int32_t defaultRank = 1;
    int32_t defaultRulePrecedence = 1;
    Item *bodyOwner = nullptr;
    int32_t parseState = 0;          // 1 parsing, 2 expanding, 3 body start, 4 body continued, 5 body complete
    NxStr errorExpression = nullptr;
    Item *errorType = nullptr;
    NxStr errorSymbol = nullptr;
    intptr_t errorDetail = 0;
    int32_t errorLocation = 0;
    int32_t continuation = 0;        // nesting depth of open items and blocks
    PendingBlock *pendingBlock = nullptr;
    ParseState *pendingParse = nullptr;
    ThreadContext *pendingBodyContext = nullptr;
    NxStr stringReturn = nullptr;
    Vec<intptr_t> valueStack;        // saved parameter and local words during calls
    int32_t expandDepth = 0;         // recursion guard for rule expansion
    int32_t callDepth = 0;           // recursion guard for user functions
    bool abandoning = false;         // a limit ended the evaluation: calls return at once
};

// The context a command works on: t's, else the default context.
ThreadContext *resolveContext(intptr_t t);
ThreadContext *defaultContext();
inline intptr_t threadHandle(ThreadContext *c) { return c ? reinterpret_cast<intptr_t>(c->thread) : 0; }

} // namespace nx
