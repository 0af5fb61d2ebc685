#include "shell/binding.h"

#include <cctype>

#include "shell/bootstrap.h"
#include "shell/host.h"

namespace nomix {

namespace {

// The length of a well-formed UTF-8 sequence at s[i], or 0 when it is not one.
size_t utf8SequenceAt(std::string_view s, size_t i, uint32_t &code) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c >= 0xF5 || n == 0 || i + n > s.size()) return 0;
    code = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    bool overlong = (n == 3 && code < 0x800) || (n == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

} // namespace

// UTF-8 to Latin-1; malformed bytes pass through as the Latin-1 characters they are.
std::string toLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t code = 0;
        size_t n = c < 0x80 ? 0 : utf8SequenceAt(utf8, i, code);
        if (n == 0) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
        i += n;
    }
    return out;
}

// Every multi-byte sequence must be complete, shortest-form and in range.
bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        uint32_t code = 0;
        size_t n = static_cast<unsigned char>(bytes[i]) < 0x80 ? 1 : utf8SequenceAt(bytes, i, code);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// Latin-1 to UTF-8: every byte is one character.
std::string fromLatin1(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

Binding::Binding() = default;

// The bootstrap flag is set before the bootstrap's first command, so that its
// own commands, which come through here too, do not start it again.
void Binding::EnsureLanguage() {
    if (languageDefined_) return;
    languageDefined_ = true;
    if (bootstrap_) bootstrap_(*this);
}

// One command through the entry; the text is already Latin-1.
intptr_t Binding::send(intptr_t cmd, const std::string &latin1, intptr_t a1, intptr_t a2,
                       intptr_t ptr, intptr_t t) {
    return Nomix(cmd, latin1.c_str(), a1, a2, ptr, t);
}

// A copy of a parked text result, as UTF-8; a zero token (no result) is empty.
std::string Binding::textResult(intptr_t token) {
    if (token == 0) return {};
    const char *s = nxStrReturnB(token);
    return s ? fromLatin1(std::string_view(s, nxStrLen(s))) : std::string();
}

intptr_t Binding::Call(intptr_t cmd, std::string_view text, intptr_t a1, intptr_t a2, intptr_t ptr,
                       intptr_t t) {
    EnsureLanguage();
    return send(cmd, toLatin1(text), a1, a2, ptr, t);
}

// A command without text (a null TextArg), after the bootstrap check.
intptr_t Binding::CallNoText(intptr_t cmd, intptr_t a1, intptr_t a2, intptr_t ptr, intptr_t t) {
    EnsureLanguage();
    return Nomix(cmd, nullptr, a1, a2, ptr, t);
}

std::string Binding::CallStr(intptr_t cmd, std::string_view text, intptr_t a1, intptr_t a2,
                             intptr_t ptr, intptr_t t) {
    return textResult(Call(cmd, text, a1, a2, ptr, t));
}

// Command 1: a definition; the result is the new item's handle.
intptr_t Binding::Define(std::string_view text, intptr_t a1, intptr_t a2, intptr_t ptr, intptr_t t) {
    return Call(nx_Define, text, a1, a2, ptr, t);
}

// Command 2: a syntax rule of rank a1.
intptr_t Binding::DefineSyntax(std::string_view text, intptr_t a1, intptr_t t) {
    return Call(nx_DefineSyntax, text, a1, 0, 0, t);
}

namespace {
// A definition with its keyword and, when there is one, " At " and the address
// in decimal with its one leading blank.
std::string withAddress(std::string_view keyword, std::string_view def, intptr_t address) {
    std::string text(keyword);
    text += def;
    if (address != 0) text += " At  " + std::to_string(address);
    return text;
}
} // namespace

// A function definition ("Func: "), bound to a callback when address is not 0.
intptr_t Binding::DefineNative(std::string_view def, intptr_t address, intptr_t t) {
    return Define(withAddress("Func: ", def, address), 0, 0, 0, t);
}

// An operator definition ("Op: "), bound to a callback when address is not 0.
intptr_t Binding::DefineNativeOp(std::string_view def, intptr_t address, intptr_t t) {
    return Define(withAddress("Op: ", def, address), 0, 0, 0, t);
}

// A variable definition ("Var: "), stored at address when it is not 0.
intptr_t Binding::DefineVar(std::string_view def, intptr_t address, intptr_t t) {
    return Define(withAddress("Var: ", def, address), 0, 0, 0, t);
}

intptr_t Binding::Initialize() { return Nomix(nx_Initialize, nullptr, 0, 0, 0, 0); }

intptr_t Binding::RoutineAddress(intptr_t n) { return Nomix(nx_RoutineAddress, nullptr, n, 0, 0, 0); }

// Command 91: the message text of an error number (sent without the bootstrap check).
intptr_t Binding::SetErrorMessage(intptr_t code, std::string_view text, intptr_t t) {
    return send(nx_SetErrorMessage, toLatin1(text), code, 0, 0, t);
}

// Command 40: registers an error handler for the context.
intptr_t Binding::SetErrorHandler(intptr_t address, intptr_t t) {
    return send(nx_AddErrorHandler, "0", address, 0, 0, t);
}

// The empty expression counts as 0.
double Binding::EvalDbl(std::string_view expr, intptr_t t) {
    double value = 0;
    Call(nx_EvalDbl, expr.empty() ? std::string_view("0") : expr, 0, 0,
         reinterpret_cast<intptr_t>(&value), t);
    return value;
}

// Command 6: the value of an expression as text (or its error message).
std::string Binding::EvalStr(std::string_view expr, intptr_t a1, intptr_t t) {
    return CallStr(nx_EvalStr, expr, a1, 0, 0, t);
}

// Command 21: the compiled expression's handle, 0 when it does not parse.
intptr_t Binding::Parse(std::string_view expr, intptr_t a1, intptr_t t) {
    return Call(nx_Parse, expr, a1, 0, 0, t);
}

// Command 10: evaluates a parsed expression and fetches its text at once.
std::string Binding::ResultText(intptr_t h) {
    EnsureLanguage();
    return textResult(Nomix(nx_EvaluateStr, nullptr, h, 0, 0, 0));
}

intptr_t Binding::Release(intptr_t h) { return CallNoText(nx_ReleaseItem, h); }

intptr_t Binding::ItemDataType(intptr_t h) { return Call(nx_GetItemData, "", h, nx_DataType); }

// Command 98: gives an item a new name (the empty name hides it).
intptr_t Binding::RenameItem(intptr_t h, std::string_view name) {
    return Call(nx_SetItemData, name, h, nx_SymbolName);
}

// Command 96: the token at pos; the engine writes the next position back.
std::string Binding::NextToken(std::string_view text, int32_t &pos, intptr_t a2, intptr_t t) {
    return CallStr(nx_NextToken, text, 0, a2, reinterpret_cast<intptr_t>(&pos), t);
}

void Binding::SetAngleMode(AngleUnit mode) { Call(nx_SetAngleUnit, "0", static_cast<intptr_t>(mode)); }

int32_t Binding::ErrorCode(intptr_t t) { return static_cast<int32_t>(CallNoText(nx_GetError, 0, 0, 0, t)); }

// Command 92: the message of the context's current error.
std::string Binding::ErrorText(intptr_t a1, intptr_t t) {
    EnsureLanguage();
    return textResult(Nomix(nx_GetErrorMessage, nullptr, a1, 0, 0, t));
}

std::string Binding::ErrorExpression() { return CallStr(nx_ErrorExpression, ""); }

std::string Binding::OffendingSymbol(intptr_t t) { return CallStr(nx_ErrorSymbol, "0", 0, 0, 0, t); }

intptr_t Binding::ErrorLocation(intptr_t t) { return Call(nx_ErrorLocation, "0", 0, 0, 0, t); }

void Binding::ClearError() { Call(nx_ClearError, ""); }

// Error 1 carries the application's own message into the evaluation of record.
void Binding::RaiseError(OperationRecord *record, std::string_view message) {
    intptr_t t = nxExprThread(record);
    SetErrorMessage(1, message, t);
    CallNoText(nx_RaiseError, 1, reinterpret_cast<intptr_t>(record), 0, t);
}

// An engine error number (with the message installed for it) into the
// evaluation of record.
void Binding::RaiseCode(OperationRecord *record, int32_t code) {
    CallNoText(nx_RaiseError, code, reinterpret_cast<intptr_t>(record), 0, nxExprThread(record));
}

// Both texts travel as String cells (32-bit handles of engine strings); the
// result is a position in the text.
intptr_t Binding::InStr(intptr_t start, std::string_view text, std::string_view pattern,
                        intptr_t flags, intptr_t t) {
    intptr_t context = Call(nx_GetContext, "", 0, 0, 0, t);
    std::string t8 = toLatin1(text), p8 = toLatin1(pattern);
    char *textStr = nxStrAlloc(t8.data(), static_cast<uint32_t>(t8.size()));
    char *patternStr = nxStrAlloc(p8.data(), static_cast<uint32_t>(p8.size()));
    const uint32_t textCell = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(textStr));
    const uint32_t patternCell = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(patternStr));
    intptr_t found = nxInStr(start, &textCell, &patternCell, flags, context);
    nxStrFree(textStr);
    nxStrFree(patternStr);
    return found;
}

// 818 unmasks invalid operation, division by zero and overflow; 831 masks all.
void Binding::SetFpTrapMode(bool on) {
    fpTrapMode_ = on;
    Call(nx_SetFpuWord, "0", on ? 818 : 831);
}

// The automatic definition: "f(x) = ..." defines a function, "a = ..." a variable.
void Binding::DefineOnAssignment(intptr_t &h, std::string_view text) {
    if (ErrorCode(0) != 3) return;
    size_t e = text.find('=');
    size_t p = text.find('(');
    if (e == std::string_view::npos || e == 0) return;
    if (p != std::string_view::npos && p > 0 && p < e)
        DefineNative(text, 0);
    else
        DefineVar(text, 0);
    if (ErrorCode(0) != 0) return;
    Release(h);
    h = Parse("'Ok'");
}

// The process-wide binding builds the language from the shipped language file.
Binding &binding() {
    static Binding instance = [] {
        Binding b;
        b.setBootstrap([](Binding &self) { DefineLanguage(self); });
        return b;
    }();
    return instance;
}

// A name of letters, digits and "_"; for "f(x)" only the part before "(" counts.
bool IsSimpleName(std::string_view text) {
    bool endsInBracket = !text.empty() && text.back() == ')';
    for (char c : text) {
        if (endsInBracket && c == '(') return true;
        unsigned char u = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
        bool ok = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
        if (!ok) return false;
    }
    return true;
}

namespace {
// The text without blanks at either end.
std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}
} // namespace

// Error text, a blank line, then the expression, the offending symbol and the
// location, each on its own line when the engine has one. Lines end in CR.
ErrorReport composeErrorReport(Binding &b, intptr_t t) {
    ErrorReport report;
    int32_t code = b.ErrorCode(t);
    report.text = b.ErrorText(0, t) + "\r";
    std::string expr = b.ErrorExpression();
    if (!expr.empty()) {
        report.text += "\rExpression: " + expr;
        size_t eq = expr.find('=');
        if (eq != std::string::npos && code == 3 && IsSimpleName(trimmed(expr.substr(0, eq))))
            report.silent = true;
    }
    std::string symbol = b.OffendingSymbol(t);
    if (!symbol.empty()) report.text += "\rOffending symbol: " + symbol;
    intptr_t location = b.ErrorLocation(t);
    if (location != 0) report.text += "\rError Location:  " + std::to_string(location);
    return report;
}

// Floating-point faults in trap mode go back to the numeric routine that asked
// for them (result 2, no box); everything else is shown, and the engine abandons.
extern "C" intptr_t OnEngineError(intptr_t t) {
    Binding &b = binding();
    int32_t code = b.ErrorCode(t);
    if (b.FpTrapMode() && code >= 21 && code <= 29) {
        b.ClearError();
        return 2;
    }
    ErrorReport report = composeErrorReport(b, t);
    if (!report.silent) host().messageBox(report.text, 48, "Error");
    return 0;
}

} // namespace nomix
