// Rule expansion: the text is read token by token, white space included; at a
// token that heads rules, the rules of that head are tried newest first, and a
// match is replaced by the filled replacement, which is expanded in turn.
#include "cells.h"
#include "rules.h"
#include "state.h"

namespace nx {

namespace {

constexpr size_t kMaxSteps = 100000;      // rule applications in one expansion
constexpr size_t kMaxLength = 1u << 22;   // bytes of expanded text
constexpr size_t kMaxReads = 4000000;     // tokens read in one expansion: bounds the work of
                                          // rules that grow their own text, whose every
                                          // step reads the growing text again
constexpr int kMaxDepth = 64;             // nested expansions (~Eval, ~Expand)
constexpr int32_t kRunawayError = nx_ErrRunaway;

uint32_t kindOf(const Token &t) { return t.pattern ? t.pattern->kind() : 0; }

class Expander {
    // Every token the expander reads goes through here, so that runaway rules
    // (and a host's stop request) end the expansion with an error.
    bool read(size_t &pos, Token &t, bool *noMatch = nullptr) {
        // Once a limit or a stop has ended the expansion, every later read fails
        // too, so that the matching under way unwinds at once instead of
        // scanning the rest of the text.
        if (ended_ || ++reads_ > kMaxReads || ((reads_ & 0xFFF) == 0 && stopRequested())) {
            if (!ctx_->errorCode) ctx_->errorCode = reads_ > kMaxReads ? kRunawayError : nx_ErrStopped;
            ended_ = true;
            pos = buf_.size();
            return false;
        }
        return nextToken(ctx_, buf_, pos, TokenMode::WithSpace, t, nullptr, noMatch);
    }

public:
    explicit Expander(ThreadContext *ctx) : ctx_(ctx), cs_(ctx->caseSensitive != 0) {}

    std::string run(std::string_view text) {
        buf_.assign(text);
        size_t p = 0;
        while (p < buf_.size() && ctx_->errorCode == 0) {
            if (++steps_ > kMaxSteps * 4 || buf_.size() > kMaxLength) {
                ctx_->errorCode = kRunawayError;
                break;
            }
            if (stopped()) break;
            Token tok;
            size_t q = p;
            bool noMatch = false;
            if (!read(q, tok, &noMatch)) {
                if (!noMatch) break;
                ++p;  // a character no pattern reads is copied as it stands
                continue;
            }
            if (tok.embedded) {
                p = q;
                continue;
            }
            uint32_t kind = kindOf(tok);
            if (kind == static_cast<uint32_t>(TokenKind::EvalNow) || kind == static_cast<uint32_t>(TokenKind::Expand)) {
                p = marker(p, q, tok);
                continue;
            }
            p = tryRules(p, q, tok);
        }
        return std::move(buf_);
    }

private:
    struct Match {
        size_t start = 0, end = 0;
        std::vector<std::pair<std::string, std::string>> captures;
    };

    // ~Eval(...) is replaced by the text of its value, ~Expand(...) by the
    // expansion of its content; the "_1" forms (pass once) are not read again.
    size_t marker(size_t p, size_t q, const Token &tok) {
        size_t g = skipSpace(q);
        size_t end = g;
        std::string_view group;
        if (!readGroup(ctx_, buf_, end, 0, group)) {
            ctx_->errorCode = 0;
            return q;
        }
        std::string inner(group), value;
        bool evalNow = kindOf(tok) == static_cast<uint32_t>(TokenKind::EvalNow);
        if (evalNow)
            value = evaluateToText(ctx_, inner);
        else
            value = expand(ctx_, inner);
        if (ctx_->errorCode) return buf_.size();
        buf_.replace(p, end - p, value);
        bool once = evalNow ? ((static_cast<uint32_t>(tok.pattern->flags) & flag::PassOnce) != 0) : true;
        return once ? p + value.size() : p;
    }

    // Replaces the ~Eval and ~Expand groups of a replacement just made (at
    // [p, end)) by their values before rules are tried on it again: a rule
    // that computes part of its own result ("Op: Precedence({op}) ::=
    // Op: ~Eval(Precedence({op}))") hands the older rules of its head the
    // computed text, not the formula.
    void markersIn(size_t p, size_t end) {
        while (p < end && p < buf_.size() && ctx_->errorCode == 0) {
            // A value that brings its own ~Eval back would go on for ever.
            if (++steps_ > kMaxSteps * 4 || buf_.size() > kMaxLength) {
                ctx_->errorCode = kRunawayError;
                return;
            }
            if (stopped()) return;
            Token t;
            size_t q = p;
            bool noMatch = false;
            if (!read(q, t, &noMatch)) {
                if (!noMatch) return;
                ++p;
                continue;
            }
            uint32_t kind = kindOf(t);
            if (t.embedded || (kind != static_cast<uint32_t>(TokenKind::EvalNow) &&
                               kind != static_cast<uint32_t>(TokenKind::Expand))) {
                p = q;
                continue;
            }
            size_t before = buf_.size();
            size_t next = marker(p, q, t);
            if (buf_.size() >= before)
                end += buf_.size() - before;
            else
                end -= std::min(end, before - buf_.size());
            p = next;
        }
    }

    size_t skipSpace(size_t pos) {
        while (pos < buf_.size()) {
            Token t;
            size_t q = pos;
            if (!read(q, t) ||
                kindOf(t) != static_cast<uint32_t>(TokenKind::Space) || t.embedded)
                break;
            pos = q;
        }
        return pos;
    }

    // The rules headed by a token: by the name of the rule-head pattern that
    // read it, else by its text; this context first, then the parents.
    std::vector<Item *> rulesFor(const Token &tok) {
        std::vector<Item *> rules;
        bool headPattern = (static_cast<uint32_t>(tok.pattern->flags) & flag::RuleHead) != 0;
        std::string_view name = headPattern ? tok.pattern->nameView() : tok.text;
        for (ThreadContext *c = ctx_; c; c = c->parent) {
            Item *head = lookupLocal(c, name);
            for (Item *i = head; i; i = i->next)
                if (i->role == ItemRole::RuleHead) rules.push_back(i);
        }
        return rules;
    }

    // Tries the rules of a token newest first. A rule that fails to match
    // leaves the text as it found it: the rewrites it made on the way (a
    // literal reached only after rewriting the token there) are undone, so the
    // older rules are tried on the text as it was.
    size_t tryRules(size_t p, size_t q, const Token &tok) {
        for (Item *rule : rulesFor(tok)) {
            Match m;
            undo_.clear();
            if (!matchRule(rule, p, m)) {
                undoRewrites();
                continue;
            }
            undo_.clear();
            std::string filled = fillReplacement(strView(rule->textData), m.captures, cs_);
            buf_.replace(m.start, m.end - m.start, filled);
            bool once = (static_cast<uint32_t>(rule->flags) & flag::PassOnce) != 0;
            if (once) return m.start + filled.size();
            markersIn(m.start, m.start + filled.size());
            return m.start;
        }
        return q;
    }

    // Puts back the text the rewrites of a failed match replaced, newest first.
    void undoRewrites() {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) buf_.replace(it->start, it->length, it->text);
        undo_.clear();
    }

    static void setCapture(Match &m, const std::string &name, std::string text) {
        for (auto &c : m.captures)
            if (c.first == name) {
                c.second = std::move(text);
                return;
            }
        m.captures.emplace_back(name, std::move(text));
    }

    bool matchRule(Item *rule, size_t p, Match &m) {
        auto *data = static_cast<RuleData *>(rule->extra);
        const auto &e = data->elements;
        size_t first = 0;
        m.start = p;
        for (const std::string &name : data->params) m.captures.emplace_back(name, std::string());
        if (data->infix) {
            m.start = leftStart(p, rule->precedence);
            std::string left = trimRight(buf_.substr(m.start, p - m.start));
            if (!hasContent(left)) return false;
            setCapture(m, e[0].text, std::move(left));
            first = 1;
        }
        size_t pos = p;
        for (size_t i = first; i < e.size(); ++i) {
            if (stopped()) return false;
            const RuleElement *next = i + 1 < e.size() ? &e[i + 1] : nullptr;
            if (!matchElement(e[i], next, pos, m, data->infix && i + 1 == e.size() ? rule->precedence : -1))
                return false;
        }
        m.end = pos;
        return true;
    }

    // A host's stop request (Ctrl+C) ends the expansion with error 33. Regex
    // searches through a long text take time without reading tokens, so rule
    // matching asks too, not only the token reader.
    bool stopped() {
        if (!ended_ && !stopRequested()) return false;
        if (!ctx_->errorCode) ctx_->errorCode = nx_ErrStopped;
        ended_ = true;
        return true;
    }

    bool matchElement(const RuleElement &el, const RuleElement *next, size_t &pos, Match &m, int32_t infixPrec) {
        switch (el.type) {
        case ElementType::Literal: return literalAt(el, pos);
        case ElementType::RegexLiteral:
        case ElementType::RegexParam: {
            size_t s = 0, len = 0;
            if (!matchPattern(el.regex, buf_, pos, s, len) || s != pos) return false;
            if (el.type == ElementType::RegexParam) setCapture(m, el.text, buf_.substr(pos, len));
            pos += len;
            return true;
        }
        case ElementType::Param: return capture(el, next, pos, m, infixPrec);
        }
        return false;
    }

    // A literal token, after any white space.
    // A token that differs from the literal but heads a rule of its own (as "=-"
    // does, rewritten to "= -") is expanded first and compared again, so that a
    // rule sees the text as the rules that come after it will leave it.
    bool literalAt(const RuleElement &el, size_t &pos, bool rewrite = true) {
        size_t start = skipSpace(pos);
        for (int attempt = 0; attempt < (rewrite ? 2 : 1); ++attempt) {
            size_t q = start;
            Token t;
            if (!read(q, t) || t.embedded) return false;
            if (equalNames(t.text, el.text, cs_)) {
                pos = q;
                return true;
            }
            if (attempt > 0 || !rewritesFirst(start, q, t)) return false;
        }
        return false;
    }

    // Applies a rule headed by the token at start, unless it is infix-shaped
    // (its left operand lies before the literal being matched).
    bool rewritesFirst(size_t start, size_t end, const Token &t) {
        // One level only: a rule tried here does not rewrite further ahead, so
        // matching stays linear in the text.
        if (rewriting_ || ++steps_ > kMaxSteps * 4) return false;
        struct Flag {
            bool &f;
            explicit Flag(bool &x) : f(x) { f = true; }
            ~Flag() { f = false; }
        } guard(rewriting_);
        for (Item *rule : rulesFor(t)) {
            if (static_cast<RuleData *>(rule->extra)->infix) continue;
            Match m;
            if (!matchRule(rule, start, m)) continue;
            std::string filled = fillReplacement(strView(rule->textData), m.captures, cs_);
            undo_.push_back({m.start, filled.size(), buf_.substr(m.start, m.end - m.start)});
            buf_.replace(m.start, m.end - m.start, filled);
            return true;
        }
        (void)end;
        return false;
    }

    // True when the element after a parameter matches at pos.
    bool nextMatches(const RuleElement &next, size_t pos) {
        if (next.type == ElementType::Literal) {
            size_t q = pos;
            return literalAt(next, q, false);
        }
        if (next.type == ElementType::Param) return true;
        size_t s = 0, len = 0;
        return matchPattern(next.regex, buf_, pos, s, len) && s == pos;
    }

    // A plain parameter captures whole tokens up to the first point where the
    // next element matches; it never ends inside a bracket group and stops
    // before a closing bracket or statement separator of its own level (and,
    // as the right operand of an infix-shaped rule, before an infix operator
    // that binds no tighter). It must capture something.
    bool capture(const RuleElement &el, const RuleElement *next, size_t &pos, Match &m, int32_t infixPrec) {
        size_t q = pos, contentEnd = pos;
        int depth = 0;
        bool content = false;
        while (true) {
            if (stopped()) return false;  // each step may run a regex over the rest of the text
            if (depth == 0 && next && nextMatches(*next, q)) {
                if (!content) return false;  // nothing to capture before what follows
                break;
            }
            if (q >= buf_.size()) {
                if (next) return false;
                break;
            }
            Token t;
            size_t r = q;
            bool noMatch = false;
            if (!read(r, t, &noMatch)) {
                if (!noMatch) break;
                r = q + 1;
            } else if (!t.embedded) {
                uint32_t k = kindOf(t);
                if (k == static_cast<uint32_t>(TokenKind::Open)) {
                    ++depth;
                } else if (k == static_cast<uint32_t>(TokenKind::Close)) {
                    if (depth == 0) {
                        if (next) return false;
                        break;
                    }
                    --depth;
                } else if (depth == 0 && k == static_cast<uint32_t>(TokenKind::Statement)) {
                    if (next) return false;
                    break;
                } else if (depth == 0 && infixPrec >= 0 && content && infixPrecedence(t.text) >= 0 &&
                           infixPrecedence(t.text) <= infixPrec) {
                    if (next) return false;
                    break;
                }
                if (k == static_cast<uint32_t>(TokenKind::Space) && !t.embedded) {
                    q = r;
                    continue;
                }
            }
            q = r;
            contentEnd = q;
            content = true;
        }
        if (!content) return false;
        setCapture(m, el.text, buf_.substr(pos, contentEnd - pos));
        pos = contentEnd;
        return true;
    }

    // Precedence of an infix operator or infix-shaped rule of that name, or -1.
    int32_t infixPrecedence(std::string_view name) {
        for (ThreadContext *c = ctx_; c; c = c->parent)
            for (Item *i = lookupLocal(c, name); i; i = i->next)
                if (static_cast<uint32_t>(i->flags) & flag::Infix) return i->precedence;
        return -1;
    }

    // Where the left operand of an infix-shaped rule starts: after the last
    // infix operator of lower precedence on its level (groups are skipped
    // whole), after the level's opener or separator, or at the start.
    size_t leftStart(size_t p, int32_t precedence) {
        std::vector<size_t> starts{0};
        size_t q = 0;
        while (q < p) {
            Token t;
            size_t r = q;
            if (!read(r, t) || r > p) break;
            uint32_t k = kindOf(t);
            if (t.embedded) {
            } else if (k == static_cast<uint32_t>(TokenKind::Open)) {
                starts.push_back(r);
            } else if (k == static_cast<uint32_t>(TokenKind::Close)) {
                if (starts.size() > 1) starts.pop_back();
            } else if (k == static_cast<uint32_t>(TokenKind::Statement) ||
                       k == static_cast<uint32_t>(TokenKind::Separator)) {
                starts.back() = r;
            } else if (k != static_cast<uint32_t>(TokenKind::Space)) {
                int32_t prec = infixPrecedence(t.text);
                if (prec >= 0 && prec < precedence) starts.back() = r;
            }
            q = r;
        }
        return starts.back();
    }

    static std::string trimRight(std::string s) {
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
        return s;
    }
    static bool hasContent(const std::string &s) { return s.find_first_not_of(" \t") != std::string::npos; }

    // A rewrite made while matching a rule: the replacement at start, `length`
    // bytes long, stands where `text` stood.
    struct Rewrite {
        size_t start;
        size_t length;
        std::string text;
    };

    ThreadContext *ctx_;
    bool cs_;
    std::string buf_;
    std::vector<Rewrite> undo_;
    size_t steps_ = 0;
    size_t reads_ = 0;
    bool rewriting_ = false;
    bool ended_ = false;       // a limit or a stop ended the expansion
};

} // namespace

// Expands a text with the context's rules (and its parents'). The context is in
// its expanding state meanwhile, so rule-head patterns take part.
std::string expand(ThreadContext *ctx, std::string_view text) {
    if (ctx->expandDepth >= kMaxDepth) {
        ctx->errorCode = kRunawayError;
        return std::string(text);
    }
    int32_t saved = ctx->parseState;
    ctx->parseState = 2;
    ctx->expandDepth++;
    std::string result = Expander(ctx).run(text);
    ctx->expandDepth--;
    ctx->parseState = saved;
    return result;
}

} // namespace nx
