// The engine binding layer (NomixVB): the one place where the application calls
// the engine's command entry. It builds the calculator language before the first
// command, converts text between the application (UTF-8) and the engine
// (Latin-1), fetches text results, and holds the application's error handler,
// the automatic definition of assigned names and the floating-point trap switch.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "nxeng296.h"
#include "shell/bootscript.h"

namespace nomix {

// Text crossing the engine boundary. The engine reads 8-bit Latin-1; characters
// beyond it become "?". Bytes that are not valid UTF-8 are taken as Latin-1
// characters themselves, so no input is ever rejected or cut short.
std::string toLatin1(std::string_view utf8);
std::string fromLatin1(std::string_view latin1);
// True when the bytes are well-formed UTF-8 (plain ASCII included).
bool isValidUtf8(std::string_view bytes);

// Engine angle units of SetAngleMode.
enum class AngleUnit : int { Radians = 1, Degrees = 2, Grads = 3 };

class Binding {
public:
    Binding();

    // The language bootstrap that runs before the first command: set by the
    // application (phase 1 from the shipped language file); a binding without
    // one sends commands to a bare engine.
    void setBootstrap(std::function<void(Binding &)> bootstrap) { bootstrap_ = std::move(bootstrap); }
    bool LanguageDefined() const { return languageDefined_; }
    // Runs the bootstrap now unless it already ran (or is running).
    void EnsureLanguage();

    // General wrappers: each runs the bootstrap first when needed.
    intptr_t Call(intptr_t cmd, std::string_view text, intptr_t a1 = 0, intptr_t a2 = 0,
                  intptr_t ptr = 0, intptr_t t = 0);
    intptr_t CallNoText(intptr_t cmd, intptr_t a1 = 0, intptr_t a2 = 0, intptr_t ptr = 0,
                        intptr_t t = 0);
    std::string CallStr(intptr_t cmd, std::string_view text, intptr_t a1 = 0, intptr_t a2 = 0,
                        intptr_t ptr = 0, intptr_t t = 0);

    intptr_t Define(std::string_view text, intptr_t a1 = 0, intptr_t a2 = 0, intptr_t ptr = 0,
                    intptr_t t = 0);
    intptr_t DefineSyntax(std::string_view text, intptr_t a1 = 1, intptr_t t = 0);
    intptr_t DefineNative(std::string_view def, intptr_t address = 0, intptr_t t = 0);
    intptr_t DefineNativeOp(std::string_view def, intptr_t address = 0, intptr_t t = 0);
    intptr_t DefineVar(std::string_view def, intptr_t address = 0, intptr_t t = 0);

    // Sent directly, without the bootstrap check.
    intptr_t Initialize();
    intptr_t RoutineAddress(intptr_t n);
    intptr_t SetErrorMessage(intptr_t code, std::string_view text, intptr_t t = 0);
    intptr_t SetErrorHandler(intptr_t address, intptr_t t = 0);

    double EvalDbl(std::string_view expr, intptr_t t = 0);
    std::string EvalStr(std::string_view expr, intptr_t a1 = 0, intptr_t t = 0);
    intptr_t Parse(std::string_view expr, intptr_t a1 = 0, intptr_t t = 0);
    std::string ResultText(intptr_t h);
    intptr_t Release(intptr_t h);
    intptr_t ItemDataType(intptr_t h);
    intptr_t RenameItem(intptr_t h, std::string_view name);
    // The token that starts at pos (1-based); pos advances past it.
    std::string NextToken(std::string_view text, int32_t &pos, intptr_t a2 = 0, intptr_t t = 0);
    void SetAngleMode(AngleUnit mode);

    int32_t ErrorCode(intptr_t t = 0);
    std::string ErrorText(intptr_t a1 = 0, intptr_t t = 0);
    std::string ErrorExpression();
    std::string OffendingSymbol(intptr_t t = 0);
    intptr_t ErrorLocation(intptr_t t = 0);
    void ClearError();
    void RaiseError(OperationRecord *record, std::string_view message);
    void RaiseCode(OperationRecord *record, int32_t code);
    intptr_t InStr(intptr_t start, std::string_view text, std::string_view pattern, intptr_t flags,
                   intptr_t t = 0);

    bool FpTrapMode() const { return fpTrapMode_; }
    void SetFpTrapMode(bool on);

    // Replaces h by the parse of 'Ok' when the line assigned to an undefined
    // simple name and the name could be defined (a variable, or a function for
    // f(x) = ...). h keeps its value when nothing was defined.
    void DefineOnAssignment(intptr_t &h, std::string_view text);

    // The data-type handles kept from the "DataType:" definitions.
    intptr_t keptType(KeptType type) const { return kept_[static_cast<size_t>(type)]; }
    void setKeptType(KeptType type, intptr_t handle) { kept_[static_cast<size_t>(type)] = handle; }

private:
    intptr_t send(intptr_t cmd, const std::string &latin1, intptr_t a1, intptr_t a2, intptr_t ptr,
                  intptr_t t);
    static std::string textResult(intptr_t token);

    std::function<void(Binding &)> bootstrap_;
    bool languageDefined_ = false;
    bool fpTrapMode_ = false;
    std::array<intptr_t, kKeptTypeCount> kept_{};
};

// The design's name for the binding module.
using NomixVB = Binding;

// The process-wide binding. The engine, its language and the variables bound
// into it exist once per process, so the binding does too; natives called back
// by the engine (they get no user pointer) reach it here.
Binding &binding();

// The simple-name test of the automatic definition: letters, digits and "_";
// a text ending in ")" is tested only up to its "(".
bool IsSimpleName(std::string_view text);

// The application's engine error handler (registered with command 40): shows the
// error box through the current host unless the error is an assignment to an
// undefined simple name, which the caller defines itself.
extern "C" intptr_t OnEngineError(intptr_t t);

// The text of an error box for that context, and whether it stays silent.
struct ErrorReport {
    std::string text;
    bool silent = false;
};
ErrorReport composeErrorReport(Binding &b, intptr_t t);

} // namespace nomix
