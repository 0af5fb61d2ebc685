// The expression compiler: an operator-precedence parser driven by the items
// the host has defined. Tokens come from the context's token patterns, names
// and operators from its symbol table, overloads are chosen by arity and data
// type, and the result is a chain of operation records.
#include <algorithm>
#include <string>
#include <vector>

#include "cells.h"
#include "compiler.h"
#include "fold.h"
#include "state.h"

namespace nx {

namespace {

constexpr int kMaxRetries = 64;           // handler verdicts of 1 at one parse
constexpr size_t kMaxNesting = 10000;     // open brackets and pending operators
constexpr size_t kMaxInsertions = 10000;  // default texts and markers inserted

enum class State { Start = 0, Prefix = 1, Infix = 2, Postfix = 3, Operand = 4, AwaitBracket = 5 };

struct Entry {
    enum class Kind { Operator, Bracket, Function } kind;
    std::string name;                 // operator or function name
    uint32_t fixity = 0;              // operators
    int32_t precedence = 0;
    Item *opener = nullptr;           // brackets: the opening pattern
    bool callable = false;            // brackets: a function's list or a callable pattern
    int32_t args = 1;                 // brackets: argument counter
    size_t operandBase = 0;           // brackets: operands below the group
    size_t start = 0;                 // where the token started (for reports)
    Item *chosen = nullptr;           // brackets: overload chosen before defaults were inserted
};

uint32_t kindOf(Item *pattern) { return pattern ? pattern->kind() : 0; }
bool isKind(Item *pattern, TokenKind k) { return kindOf(pattern) == static_cast<uint32_t>(k); }

class StatementScope;
thread_local StatementScope *runningGroup = nullptr;  // the statement whose ~Eval_P group runs

// The definitions a statement made through its ~Eval_P groups while it was
// compiled ("Local(x, ...)" defines x that way). While such a group runs, the
// statement may take the name away only from items it made itself, and when
// its compilation fails, what it made is released again: a failing statement
// never loses, nor hides, an item it did not create.
class StatementScope {
public:
    bool made(const Item *item) const { return std::find(made_.begin(), made_.end(), item) != made_.end(); }
    // Runs one ~Eval_P group of the statement and notes the definitions it
    // added to ctx's item list (the group may release items too).
    template <class Group> void run(ThreadContext *ctx, Group &&group) {
        std::vector<Item *> before(ctx->items.begin(), ctx->items.end());
        std::sort(before.begin(), before.end());
        struct Running {
            StatementScope *outer;
            explicit Running(StatementScope *self) : outer(runningGroup) { runningGroup = self; }
            ~Running() { runningGroup = outer; }
            Running(const Running &) = delete;
            Running &operator=(const Running &) = delete;
        } running(this);
        group();
        for (Item *item : ctx->items)
            if (!std::binary_search(before.begin(), before.end(), item)) made_.push_back(item);
    }
    // Releases what the statement made and still stands, newest first.
    void releaseMade(ThreadContext *ctx) {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            if (std::find(ctx->items.begin(), ctx->items.end(), *it) != ctx->items.end()) releaseItem(*it);
        made_.clear();
    }

private:
    std::vector<Item *> made_;
};

class Parser {
public:
    Parser(ThreadContext *ctx, std::string_view text, Item *resultType)
        : ctx_(ctx), original_(text), resultType_(resultType) {}

    Item *run();

private:
    enum class Step { Next, Retry, Fail };

    Step token();
    Step fail(int32_t code, size_t start, std::string_view symbol, Item *pattern = nullptr);
    bool finish();

    Step opener(const Token &t);
    Step closer(const Token &t);
    Step separator(const Token &t);
    Step statement(const Token &t);
    bool onlySeparatorsFollow();
    size_t skipBlanks(size_t p);
    Step member(const Token &t);
    Step marker(const Token &t);
    Step evalInPlace(const Token &t);
    Step word(const Token &t);
    std::string_view readWindow() const;
    Step operatorToken(const Token &t, const std::string &name);
    Step operand(Item *item, const Token &t);

    bool reduce(int32_t precedence);
    bool reduceToBracket(Entry *&bracket);
    bool emitOperator(const Entry &e);
    bool emitCallOf(Entry &bracket, size_t n, const Token &t, bool &inserted);
    Item *defaultParamFor(const Entry &bracket, size_t position);
    bool isDynamic(Item *item);
    void insertText(size_t at, const std::string &text);

    ThreadContext *ctx_;
    std::string_view original_;
    Item *resultType_;
    std::string buf_;
    size_t pos_ = 0;
    State state_ = State::Start;
    std::vector<Entry> ops_;
    std::vector<Operand> operands_;
    Code preamble_;
    Item *expr_ = nullptr;
    Emitter *em_ = nullptr;
    int retries_ = 0;
    size_t insertions_ = 0;
    // The operator run last split into names: [start, end) of buf_. The rest
    // of a run is read again after each name taken from its front; reading it
    // whole each time made a line of 200,000 minus signs quadratic.
    struct OperatorRun {
        size_t start = 0, end = 0;
    } run_;
    StatementScope statement_;
};

// The text of a number in the form definitions and ~t insert it.
std::string decimal(intptr_t v) { return " " + std::to_string(v); }

Item *newExpression(ThreadContext *ctx) {
    Item *e = newItem(ctx);
    e->role = ItemRole::Expression;
    e->extra = heapNew<ExprData>();
    return e;
}

// ---- reports ----

// Reports a failed parse at a token to the context's handlers. A verdict of 1
// means the handler repaired the cause: the parse resumes at that token.
Parser::Step Parser::fail(int32_t code, size_t start, std::string_view symbol, Item *pattern) {
    ctx_->errorCode = code;
    strAssign(ctx_->errorExpression, original_);
    ctx_->errorType = resultType_;
    strAssign(ctx_->errorSymbol, symbol);
    ctx_->errorDetail = reinterpret_cast<intptr_t>(pattern);
    ctx_->errorLocation = static_cast<int32_t>(start + 1);
    intptr_t verdict = callHandlers(ctx_);
    ctx_->errorDetail = 0;
    ctx_->errorLocation = 0;
    strAssign(ctx_->errorExpression, "");
    strAssign(ctx_->errorSymbol, "");
    if (verdict == 1 && ++retries_ <= kMaxRetries) {
        ctx_->errorCode = 0;
        pos_ = start;
        return Step::Retry;
    }
    if (verdict == 1 && ctx_->errorCode == 0) ctx_->errorCode = code;
    return Step::Fail;
}

void Parser::insertText(size_t at, const std::string &text) {
    buf_.insert(at, text);
    run_ = {};
    ++insertions_;
}

// ---- reduction ----

bool Parser::emitOperator(const Entry &e) {
    size_t need = e.fixity == flag::Infix ? 2 : 1;
    if (operands_.size() < need) return false;
    std::vector<Operand> args(operands_.end() - static_cast<std::ptrdiff_t>(need), operands_.end());
    operands_.resize(operands_.size() - need);
    std::vector<Operand *> refs;
    for (auto &a : args) refs.push_back(&a);
    CallSite site{e.name, nullptr, e.fixity};
    Item *callee = chooseOverload(ctx_, site, refs);
    if (!callee) return false;
    Operand result;
    if (!emitCall(*em_, callee, args, result)) return false;
    operands_.push_back(std::move(result));
    return true;
}

// Pops and emits operators that bind at least as tightly as the incoming one.
bool Parser::reduce(int32_t precedence) {
    while (!ops_.empty() && ops_.back().kind == Entry::Kind::Operator && ops_.back().precedence >= precedence) {
        Entry e = ops_.back();
        ops_.pop_back();
        if (!emitOperator(e)) return false;
    }
    return true;
}

// Reduces everything above the innermost bracket; bracket is null when none.
bool Parser::reduceToBracket(Entry *&bracket) {
    if (!reduce(INT32_MIN)) return false;
    bracket = (!ops_.empty() && ops_.back().kind == Entry::Kind::Bracket) ? &ops_.back() : nullptr;
    return true;
}

// ---- tokens ----

Parser::Step Parser::opener(const Token &t) {
    bool function = state_ == State::AwaitBracket;
    if (state_ == State::Postfix || state_ == State::Operand) return fail(2, t.start, t.text, t.pattern);
    if (ops_.size() >= kMaxNesting) return fail(nx_ErrTooDeep, t.start, t.text, t.pattern);
    Entry e{Entry::Kind::Bracket, {}, 0, 0, t.pattern, false, 1, operands_.size(), t.start, nullptr};
    if (function) {
        e.name = ops_.back().name;
        e.callable = true;
        ops_.pop_back();
    } else if (t.pattern->has(flag::ArgList) && t.pattern->has(flag::NativeCall)) {
        e.callable = true;  // a bracket pair with an address: its content is the argument list
    }
    ops_.push_back(std::move(e));
    state_ = State::Start;
    return Step::Next;
}

// The parameter whose default text can stand for an empty argument.
Item *Parser::defaultParamFor(const Entry &bracket, size_t position) {
    if (!bracket.callable || bracket.name.empty()) return nullptr;
    for (Item *c : sameName(ctx_, bracket.name)) {
        if (!c->has(flag::ArgList)) continue;
        Item *p = paramAt(c, position);
        if (p && strLen(p->textData) > 0) return p;
    }
    return nullptr;
}

// Emits a function call, or inserts the default texts of missing trailing
// parameters before the closer so that they are read as arguments.
bool Parser::emitCallOf(Entry &bracket, size_t n, const Token &t, bool &inserted) {
    inserted = false;
    std::vector<Operand *> refs;
    for (size_t i = operands_.size() - n; i < operands_.size(); ++i) refs.push_back(&operands_[i]);
    CallSite site{bracket.name, bracket.name.empty() ? bracket.opener : nullptr, 0};
    Item *callee = bracket.chosen && acceptsArity(bracket.chosen, n) && paramCount(bracket.chosen) <= n
                       ? bracket.chosen
                       : chooseOverload(ctx_, site, refs);
    if (!callee) return false;
    if (!callee->regex && paramCount(callee) > n && !(callee->count > 0 && paramAt(callee, callee->count - 1)->has(flag::VarArgs) && n + 1 >= paramCount(callee))) {
        std::string text;
        for (size_t i = n; i < paramCount(callee); ++i) {
            Item *p = paramAt(callee, i);
            if (!p || strLen(p->textData) == 0) {
                ctx_->errorCode = 8;
                return false;
            }
            if (i > 0) text += ", ";
            text.append(strView(p->textData));
        }
        bracket.chosen = callee;
        insertText(t.start, text);
        pos_ = t.start;
        inserted = true;
        return true;
    }
    std::vector<Operand> args(operands_.end() - static_cast<std::ptrdiff_t>(n), operands_.end());
    operands_.resize(operands_.size() - n);
    Operand result;
    if (!emitCall(*em_, callee, args, result)) return false;
    operands_.push_back(std::move(result));
    return true;
}

Parser::Step Parser::closer(const Token &t) {
    if (state_ == State::Prefix || state_ == State::Infix || state_ == State::AwaitBracket)
        return fail(2, t.start, t.text, t.pattern);
    Entry *bracket = nullptr;
    if (!reduceToBracket(bracket)) return fail(ctx_->errorCode ? ctx_->errorCode : 2, t.start, t.text, t.pattern);
    if (!bracket || bracket->opener->closing != t.pattern) return fail(10, t.start, t.text, t.pattern);
    size_t n = (state_ == State::Start && operands_.size() == bracket->operandBase) ? 0 : static_cast<size_t>(bracket->args);
    if (operands_.size() < bracket->operandBase + n) return fail(2, t.start, t.text, t.pattern);
    if (bracket->callable) {
        bool inserted = false;
        if (!emitCallOf(*bracket, n, t, inserted)) return fail(ctx_->errorCode ? ctx_->errorCode : 2, t.start, t.text, t.pattern);
        if (inserted) return Step::Next;
    } else if (n != 1) {
        return fail(2, t.start, t.text, t.pattern);
    }
    ops_.pop_back();
    state_ = State::Operand;
    return Step::Next;
}

Parser::Step Parser::separator(const Token &t) {
    if (state_ == State::Prefix || state_ == State::Infix || state_ == State::AwaitBracket)
        return fail(2, t.start, t.text, t.pattern);
    Entry *bracket = nullptr;
    if (!reduceToBracket(bracket)) return fail(ctx_->errorCode ? ctx_->errorCode : 2, t.start, t.text, t.pattern);
    if (!bracket) return fail(2, t.start, t.text, t.pattern);
    if (state_ == State::Start) {
        // An empty argument takes its parameter's default text, if it has one.
        Item *p = defaultParamFor(*bracket, static_cast<size_t>(bracket->args - 1));
        if (!p || insertions_ >= kMaxInsertions) return fail(2, t.start, t.text, t.pattern);
        insertText(t.start, std::string(strView(p->textData)));
        pos_ = t.start;
        return Step::Next;
    }
    bracket->args++;
    state_ = State::Start;
    return Step::Next;
}

// A statement separator at the outer level ends a statement, which stays in
// the chain; its value is dropped.
Parser::Step Parser::statement(const Token &t) {
    if (state_ == State::Prefix || state_ == State::Infix || state_ == State::AwaitBracket)
        return fail(2, t.start, t.text, t.pattern);
    Entry *bracket = nullptr;
    if (!reduceToBracket(bracket)) return fail(ctx_->errorCode ? ctx_->errorCode : 2, t.start, t.text, t.pattern);
    if (bracket) return fail(10, t.start, t.text, t.pattern);
    if (onlySeparatorsFollow()) return Step::Next;  // separators at the very end are ignored
    for (Operand &o : operands_) preamble_.append(o.code);
    operands_.clear();
    state_ = State::Start;
    return Step::Next;
}

// The first position at or after p that is not white space.
size_t Parser::skipBlanks(size_t p) {
    while (p < buf_.size()) {
        Token t;
        size_t q = p;
        if (!nextToken(ctx_, buf_, q, TokenMode::WithSpace, t) || t.embedded || !isKind(t.pattern, TokenKind::Space))
            break;
        p = q;
    }
    return p;
}

// True when nothing but statement separators is left of the text.
bool Parser::onlySeparatorsFollow() {
    size_t p = pos_;
    Token t;
    while (nextToken(ctx_, buf_, p, TokenMode::Normal, t))
        if (t.embedded || !isKind(t.pattern, TokenKind::Statement)) return false;
    return p >= buf_.size();
}

// Member access: a record variable, then names of its type's fields.
Parser::Step Parser::member(const Token &t) {
    if (state_ != State::Operand || operands_.empty()) return fail(2, t.start, t.text, t.pattern);
    Operand &base = operands_.back();
    if (base.dynamic || !base.code.empty()) return fail(24, t.start, t.text, t.pattern);
    Item *type = base.type();
    intptr_t address = base.item->address;
    while (true) {
        Token name;
        size_t at = pos_;
        if (!nextToken(ctx_, buf_, pos_, TokenMode::Normal, name) || !isKind(name.pattern, TokenKind::Name))
            return fail(5, at, name.text, name.pattern);
        Item *field = type && type->memberContext ? lookupLocal(type->memberContext, name.text) : nullptr;
        if (!field) return fail(14, name.start, name.text, name.pattern);
        address += field->offset;
        type = field->dataType;
        size_t peek = pos_;
        Token dot;
        if (!nextToken(ctx_, buf_, peek, TokenMode::Normal, dot) || !isKind(dot.pattern, TokenKind::Member)) break;
        pos_ = peek;
    }
    base.item = em_->view(type, address);
    return Step::Next;
}

// ~Eval(...) and ~Expand(...) met while compiling (in inserted text): replaced
// by the value's text or the expansion, then read.
Parser::Step Parser::marker(const Token &t) {
    size_t end = pos_;
    std::string_view group;
    if (!readGroup(ctx_, buf_, end, 0, group)) return fail(ctx_->errorCode ? ctx_->errorCode : 5, t.start, t.text, t.pattern);
    std::string inner(group);
    std::string value = isKind(t.pattern, TokenKind::EvalNow) ? evaluateToText(ctx_, inner) : expand(ctx_, inner);
    if (ctx_->errorCode) return fail(ctx_->errorCode, t.start, t.text, t.pattern);
    buf_.replace(t.start, end - t.start, value);
    run_ = {};
    pos_ = t.start;
    return Step::Next;
}

// ~Eval_P(...): run now, at its place in the sequence; leaves no text.
Parser::Step Parser::evalInPlace(const Token &t) {
    size_t end = pos_;
    std::string_view group;
    if (!readGroup(ctx_, buf_, end, 0, group)) return fail(ctx_->errorCode ? ctx_->errorCode : 5, t.start, t.text, t.pattern);
    std::string inner(group);
    PendingBlock *pending = ctx_->pendingBlock;
    ctx_->pendingBlock = nullptr;
    statement_.run(ctx_, [&] { evaluateToText(ctx_, inner); });
    ctx_->pendingBlock = pending;
    if (ctx_->errorCode) return fail(ctx_->errorCode, t.start, t.text, t.pattern);
    pos_ = end;
    return Step::Next;
}

// A parameter passed by reference to the body being compiled has no fixed
// address: consumers read it at run time.
bool Parser::isDynamic(Item *item) {
    Item *owner = ctx_->bodyOwner;
    if (!owner || item->passMode() != PassMode::ByRef) return false;
    return std::find(owner->members.begin(), owner->members.end(), item) != owner->members.end();
}

Parser::Step Parser::operand(Item *item, const Token &t) {
    if (state_ == State::Postfix || state_ == State::Operand || state_ == State::AwaitBracket)
        return fail(2, t.start, t.text, t.pattern);
    Operand o;
    o.item = item;
    o.dynamic = isDynamic(item);
    operands_.push_back(std::move(o));
    state_ = State::Operand;
    return Step::Next;
}

Parser::Step Parser::operatorToken(const Token &t, const std::string &name) {
    bool afterOperand = state_ == State::Operand || state_ == State::Postfix;
    if (state_ == State::AwaitBracket) return fail(2, t.start, t.text, t.pattern);
    uint32_t fixities[2] = {afterOperand ? flag::Infix : flag::Prefix, afterOperand ? flag::Postfix : 0};
    for (uint32_t fixity : fixities) {
        if (!fixity) continue;
        auto candidates = operatorCandidates(ctx_, name, fixity);
        if (candidates.empty()) continue;
        int32_t precedence = candidates.front()->precedence;
        if (fixity != flag::Prefix && !reduce(precedence))
            return fail(ctx_->errorCode ? ctx_->errorCode : 2, t.start, t.text, t.pattern);
        if (ops_.size() >= kMaxNesting) return fail(nx_ErrTooDeep, t.start, t.text, t.pattern);
        ops_.push_back(Entry{Entry::Kind::Operator, name, fixity, precedence, nullptr, false, 1, 0, t.start, nullptr});
        state_ = fixity == flag::Prefix ? State::Prefix : fixity == flag::Infix ? State::Infix : State::Postfix;
        return Step::Next;
    }
    return fail(2, t.start, t.text, t.pattern);
}

// Names, operator runs and literals.
Parser::Step Parser::word(const Token &t) {
    Item *pattern = t.pattern;
    if (pattern->has(flag::Literal)) {
        if (state_ == State::Postfix || state_ == State::Operand || state_ == State::AwaitBracket)
            return fail(2, t.start, t.text, pattern);
        return operand(em_->constant(pattern, t.text), t);
    }
    std::string name(t.text);
    if (pattern->has(flag::OperatorRun)) {
        // The longest prefix of the run that names an item (no name is longer
        // than the longest ever registered); the rest is read again.
        size_t len = std::min(name.size(), longestName());
        while (len > 0 && !lookupName(ctx_, std::string_view(name).substr(0, len))) --len;
        if (len == 0) return fail(3, t.start, t.text, pattern);
        if (len < name.size() && t.start + name.size() > run_.end) run_ = {t.start, t.start + name.size()};
        name.resize(len);
        pos_ = t.start + len;
    }
    Item *item = lookupName(ctx_, name);
    if (!item) return fail(isKind(pattern, TokenKind::Name) || pattern->has(flag::OperatorRun) ? 3 : 2, t.start, name, pattern);
    bool isOperator = false, isFunction = false, isValue = false;
    for (Item *i : sameName(ctx_, name)) {
        isOperator = isOperator || i->has(flag::Operator);
        isFunction = isFunction || (i->has(flag::ArgList) && !i->has(flag::Operator));
        isValue = isValue || i->has(flag::Variable);
    }
    bool afterOperand = state_ == State::Operand || state_ == State::Postfix;
    if (isOperator && afterOperand &&
        (!operatorCandidates(ctx_, name, flag::Infix).empty() || !operatorCandidates(ctx_, name, flag::Postfix).empty()))
        return operatorToken(t, name);
    if (isFunction && (!isValue || [&] {
            size_t peek = pos_;
            Token next;
            return nextToken(ctx_, buf_, peek, TokenMode::Normal, next) && isKind(next.pattern, TokenKind::Open);
        }())) {
        if (state_ == State::Postfix || state_ == State::Operand || state_ == State::AwaitBracket)
            return fail(2, t.start, name, pattern);
        ops_.push_back(Entry{Entry::Kind::Function, name, 0, 0, nullptr, true, 1, 0, t.start, nullptr});
        state_ = State::AwaitBracket;
        return Step::Next;
    }
    if (isOperator && !isValue) return operatorToken(t, name);
    for (Item *i = item; i; i = i->next)
        if (i->has(flag::Variable)) return operand(i, t);
    if (item->has(flag::Variable) || item->address) return operand(item, t);
    return fail(2, t.start, name, pattern);
}

// The text the next token is read from. Inside the rest of a long operator run
// only a window of it is shown: longer than any name, so the name taken from
// its front is the same, and made of the run's characters only.
std::string_view Parser::readWindow() const {
    size_t window = longestName() + 1;
    if (pos_ > run_.start && pos_ < run_.end && run_.end - pos_ > window)
        return std::string_view(buf_).substr(0, pos_ + window);
    return buf_;
}

Parser::Step Parser::token() {
    Token t;
    bool noMatch = false;
    size_t at = pos_;
    if (!nextToken(ctx_, readWindow(), pos_, TokenMode::Normal, t, nullptr, &noMatch)) {
        if (noMatch) {
            at = skipBlanks(at);  // the report points at the character, not the blank before it
            return fail(5, at, buf_.substr(at, 1));
        }
        pos_ = buf_.size();
        return Step::Next;
    }
    if (t.embedded) return operand(t.pattern, t);
    switch (static_cast<TokenKind>(kindOf(t.pattern))) {
    case TokenKind::Open: return opener(t);
    case TokenKind::Close: return closer(t);
    case TokenKind::Separator: return separator(t);
    case TokenKind::Statement: return statement(t);
    case TokenKind::Member: return member(t);
    case TokenKind::ThreadMarker:
        buf_.replace(t.start, t.text.size(), decimal(threadHandle(ctx_)));
        run_ = {};
        pos_ = t.start;
        return Step::Next;
    case TokenKind::EvalNow:
    case TokenKind::Expand: return marker(t);
    case TokenKind::EvalInPlace: return evalInPlace(t);
    case TokenKind::BlockOpen: ctx_->continuation++; return Step::Next;
    case TokenKind::BlockClose:
    case TokenKind::BodyEnd: ctx_->continuation = std::max(0, ctx_->continuation - 1); return Step::Next;
    case TokenKind::Space: return Step::Next;
    default: return word(t);
    }
}

// End of text: no operator may be left hanging, every bracket must be closed,
// and one operand (or none) remains.
bool Parser::finish() {
    size_t end = buf_.size();
    if (state_ == State::Prefix || state_ == State::Infix || state_ == State::AwaitBracket) {
        fail(2, end, "");
        return false;
    }
    if (!reduce(INT32_MIN)) {
        fail(ctx_->errorCode ? ctx_->errorCode : 2, end, "");
        return false;
    }
    if (!ops_.empty()) {
        const Entry &b = ops_.back();
        fail(10, b.start, strView(b.opener ? b.opener->name : nullptr));
        return false;
    }
    if (operands_.size() > 1) {
        fail(2, end, "");
        return false;
    }
    Code chain = preamble_;
    if (!operands_.empty()) {
        Operand &result = operands_.back();
        if (resultType_ && result.type() != resultType_) em_->convert(result, resultType_);
        em_->settle(result);
        chain.append(result.code);
        expr_->address = result.item ? result.item->address : 0;
        expr_->dataType = result.type();
    } else {
        expr_->dataType = resultType_;
    }
    OperationRecord *end_record = em_->record(0);
    end_record->Arg1 = reinterpret_cast<intptr_t>(ctx_);
    chain.append(end_record);
    expr_->chain = chain.first;
    static_cast<ExprData *>(expr_->extra)->pure = isPureChain(expr_->chain);
    return true;
}

Item *Parser::run() {
    int32_t savedState = ctx_->parseState;
    buf_ = expand(ctx_, original_);
    run_ = {};
    if (ctx_->errorCode) {
        ctx_->parseState = savedState;
        return nullptr;
    }
    ctx_->parseState = 1;
    expr_ = newExpression(ctx_);
    // Records and argument lists take some 40 bytes per character of text: one
    // arena block usually holds the whole chain.
    static_cast<ExprData *>(expr_->extra)->firstBlock = std::clamp<size_t>(64 + 40 * buf_.size(), 256, 16384);
    Emitter em(ctx_, expr_);
    em_ = &em;
    bool ok = true;
    while (ok && pos_ < buf_.size()) {
        if (insertions_ > kMaxInsertions) {
            fail(10, pos_, "");
            ok = false;
            break;
        }
        Step s = token();
        if (s == Step::Fail) ok = false;
        if (s == Step::Retry) continue;
    }
    if (ok) ok = finish();
    if (ok) {
        slimExpression(expr_);
        // A function's body runs through its caller's runner (bodyRunner), never
        // as an evaluation of its own: a fast path would not be used.
        if (!ctx_->bodyOwner) buildFastPath(expr_);
    }
    ctx_->parseState = savedState;
    if (!ok) {
        releaseItem(expr_);
        statement_.releaseMade(ctx_);
        return nullptr;
    }
    return expr_;
}

} // namespace

// False when a ~Eval_P group of a statement being compiled would take the
// name away from an item the statement did not create.
bool mayUnname(const Item *item) { return !runningGroup || runningGroup->made(item); }

Item *parseContinued(ThreadContext *ctx, std::string_view text, Item *resultType, bool) {
    ctx->errorCode = 0;
    selectRunner(150);
    if (!resultType) resultType = ctx->defaultType;
    return Parser(ctx, text, resultType).run();
}

Item *parse(ThreadContext *ctx, std::string_view text, Item *resultType) {
    return parseContinued(ctx, text, resultType, false);
}

// Parses with the default type, runs once and gives the value's text; used by
// ~Eval groups and evaluate-in-place markers.
std::string evaluateToText(ThreadContext *ctx, std::string_view text) {
    Item *e = parse(ctx, text, nullptr);
    if (!e) return std::string();
    evaluateExpression(e);
    std::string out = (ctx->errorCode || !e->address || !e->dataType) ? std::string() : valueToText(e);
    releaseItem(e);
    return out;
}

// A compiled expression releases its records, argument lists, constants,
// temporaries and sub-expressions.
void releaseExpression(Item *expr) {
    auto *data = static_cast<ExprData *>(expr->extra);
    if (data) {
        for (auto it = data->owned.rbegin(); it != data->owned.rend(); ++it) {
            Item *o = *it;
            if (o->role == ItemRole::Expression && !o->extra)
                heapDelete(o);
            else
                releaseItem(o);
        }
        for (const PlainCell &c : data->cells) heapFree(cellAt(c.address));
        releaseFastPath(data);
        for (void *b : data->blocks) heapFree(b);
        heapDelete(data);
    }
    heapDelete(expr);
}

void attachBody(Item *function, Item *body) {
    function->address = reinterpret_cast<intptr_t>(body);
    function->role = ItemRole::Function;
}

void detachBody(Item *function) {
    auto *body = reinterpret_cast<Item *>(function->address);
    function->address = 0;
    function->role = ItemRole::Plain;
    if (body && isLiveItem(body) && body->role == ItemRole::Expression) releaseItem(body);
}

bool bodyNeedsArgumentHandling(Item *body) {
    auto *data = static_cast<ExprData *>(body->extra);
    return data && data->needsArgumentHandling;
}

} // namespace nx
