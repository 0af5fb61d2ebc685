#include "shell/bootstrap.h"

#include <cmath>
#include <cstring>
#include <system_error>

#include "nxeng296.h"
#include "shell/calculator.h"
#include "shell/format.h"
#include "shell/programdir.h"
#include "shell/script.h"

#include "shell/natives.h"
#include "shell/settings.h"

namespace nomix {

namespace {

// The host used while no application exists: boxes answer as if OK (or with
// their default text) was chosen, waits only sleep.
class QuietHost : public Host {
public:
    int messageBox(const std::string &, int, const std::string &) override { return 1; }
    std::string inputBox(const std::string &, const std::string &, const std::string &d) override {
        return d;
    }
    void doEvents() override {}
    void sleepMs(int) override {}
    bool closing() const override { return false; }
};

Application *current = nullptr;

// An engine address of a callback or a variable, for the "At" texts.
template <class T> intptr_t addressOf(T *p) { return reinterpret_cast<intptr_t>(p); }

// "20 {MyString As String} * {Number}": the text repeated, the count rounded
// half to even; below 1 gives the empty text. A result beyond 64 MiB would only
// exhaust the engine heap: it is refused with an error instead.
void nativeStringRepeat(OperationRecord *record) {
    const char *text = nxParamStrB(record, 1);
    std::string piece(text, nxStrLen(text));
    double count = std::nearbyint(nxParamDbl(record, 2));
    std::string result;
    constexpr double kMaxBytes = 64.0 * 1024 * 1024;
    if (count >= 1 && !piece.empty()) {
        if (count * static_cast<double>(piece.size()) > kMaxBytes) {
            nxReturnStr(record, "");
            binding().RaiseError(record, "Text too long");
            return;
        }
        auto n = static_cast<size_t>(count);
        result.reserve(piece.size() * n);
        for (size_t i = 0; i < n; ++i) result += piece;
    }
    nxReturnStr(record, result.c_str());
}

// Prefix minus: the negated Double argument.
void nativeNegate(OperationRecord *record) { nxReturnDbl(record, -nxParamDbl(record, 1)); }

// The answer variables' name and kept handles, process-wide like the engine.
AnswerVariables &answers() {
    static AnswerVariables a;
    return a;
}

// A number as phase 2 appends it: decimal, one leading blank.
std::string appended(double value) { return decimalText(value); }
std::string appended(intptr_t value) { return " " + std::to_string(value); }

// Steps 1 to 4: string repeat, negation, the screen's twips, the true value.
void defineOperatorsAndScreen(Binding &b) {
    b.DefineNativeOp("Native: 20 {MyString As String} * {Number} As String", addressOf(&nativeStringRepeat));
    nxDeclarePure(&nativeNegate);  // a sign change cannot fault: plots of -x^2 stay unprotected
    b.Define("Op:: -{x}    ~~ Precedence: 25", addressOf(&nativeNegate));
    b.DefineVar("TwipsPerPixelX = " + appended(host().twipsPerPixelX()));
    b.DefineVar("TwipsPerPixelY = " + appended(host().twipsPerPixelY()));
    b.Define("Var: nx_True As Long = 1 ~~ Address: #", b.RoutineAddress(111));
}

// A native bound to a callback, unless the callback is not built in.
void defineNativeAt(Binding &b, std::string_view def, intptr_t address) {
    if (address != 0) b.DefineNative(def, address);
}

// Step 6: date, text and dialog natives, when the numeric natives are built in.
void defineDateAndDialogNatives(Binding &b) {
    defineNativeAt(b, "Native: DateAdd(interval As String, number, date As String) As String", addressOf(&nativeDateAdd));
    defineNativeAt(b, "Native: DateDiff(interval As String, date1 As String, date2 As String, "
                   "firstdayofweek=1, firstweekofyear=1)", addressOf(&nativeDateDiff));
    defineNativeAt(b, "Native: Format(Expr, Format As String) As String", addressOf(&nativeFormatNumber));
    defineNativeAt(b, "Native: Format(Expr As String, Format As String, firstdayofweek=1, "
                   "firstweekofyear=1) As String", addressOf(&nativeFormatText));
    defineNativeAt(b, "Native: Date() As String", addressOf(&nativeDate));
    defineNativeAt(b, "Native: Now() As String", addressOf(&nativeNow));
    defineNativeAt(b, "Native: Time() As String", addressOf(&nativeTime));
    defineNativeAt(b, "Native: Timer()", addressOf(&nativeTimer));
    defineNativeAt(b, "Native: Val(s As String)", addressOf(&nativeVal));
    defineNativeAt(b, "Native: Str(Number) As String", addressOf(&nativeStr));
    defineNativeAt(b, "Native: MsgBox(Prompt As String, Buttons=0, Title As String='Nomix')", addressOf(&nativeMsgBox));
    b.DefineNative("MsgBox(Prompt, Buttons=0, Title As String='Nomix') = MsgBox(Str(Prompt), Buttons, Title)");
    defineNativeAt(b, "Native: InputBox(Prompt As String, Title As String='Nomix Input', Default As String='') As String",
                   addressOf(&nativeInputBox));
}

// Step 7: stacks and tables, bound to engine routines.
void defineStackAndTableFunctions(Binding &b) {
    const std::pair<const char *, int> functions[] = {
        {"Func:: nx_Push(StackName As Stack, ByHandle Data As AnyType, Index As Long = 0) As Long", 120},
        {"Func:: nx_PopNum(StackName As Stack, Index As Long = 0) As Extended", 122},
        {"Func:: nx_PopStr(StackName As Stack, Index As Long = 0) As String", 123},
        {"Func:: nx_ReadNum(StackName As Stack, Index As Long = 0) As Extended", 125},
        {"Func:: nx_ReadStr(StackName As Stack, Index As Long = 0) As String", 126},
        {"Func:: StackFormat(a As String, b As String, c As String, d As String) As Void", 135},
        {"Func:: Handle(TableName As Table, Entry As String) As Dword", 133},
        {"Func:: nx_Delete(TableName As Table, Entry As String) As Void", 131},
        {"Func:: nx_Insert(TableName As Table, Entry As String, ByHandle Data As AnyType) As Void", 130},
    };
    for (const auto &[text, routine] : functions) b.Define(text, b.RoutineAddress(routine));
}

// Steps 8 to 10: item helpers, logical operators, assignment.
void defineLogicAndAssignment(Binding &b) {
    b.DefineNative("hAddress(Item As Dword) = Nomix(nx_GetItemData, '', Item, nx_Address)");
    b.DefineSyntax("Type({ItemHandle}) ::= ~Eval(Nomix(nx_GetItemData, '', {ItemHandle}, nx_DataType))");
    b.DefineNative("Native: Not(x As Long) As Long", b.RoutineAddress(74));
    b.DefineNativeOp("Native: 3 {x As Long} Xor {y as Long} As Long", b.RoutineAddress(77));
    b.DefineNativeOp("Native: 2 {x As Long} Eqv {y as Long} As Long", b.RoutineAddress(78));
    b.DefineNativeOp("Native: 1 {x As Long} Imp {y as Long} As Long", b.RoutineAddress(79));
    intptr_t assign = b.RoutineAddress(140);
    b.DefineNativeOp("Native: 1 {ByHandle Variable As AnyType} = {ByHandle Value As AnyType} As Void", assign);
    b.DefineNativeOp("Native: 1 {ByHandle Variable As String}  = {ByHandle Value As AnyType} As Void", assign);
    b.DefineNativeOp("Native: 1 {ByHandle Variable As Double}  = {ByHandle Value As AnyType} As Void", assign);
}

// Steps 11 to 15: the flags and answer variables bound by address, the handler.
void defineVariablesAndHandler(Binding &b) {
    AppVariables &v = appVariables();
    b.DefineVar("_Quit As Long", addressOf(&v.quit));
    b.Define("Const: nx_ReleaseItem = " + appended(intptr_t{22}));
    answers().name = "last";
    b.DefineVar("StopTyping As Long", addressOf(&v.stopTyping));
    b.DefineVar("StopDelay As Long", addressOf(&v.stopDelay));
    b.DefineVar("StopWait As Long", addressOf(&v.stopWait));
    b.DefineVar("TutorialMode As Long", addressOf(&v.tutorialMode));
    b.DefineVar("SpeechSpeed As Long", addressOf(&v.speechSpeed));
    answers().numberHandle = b.DefineVar(answers().name, addressOf(&v.last));
    answers().textHandle = b.DefineVar(answers().name + "Str As WideString", addressOf(&v.lastStr));
    b.SetErrorHandler(addressOf(&OnEngineError));
}

// Steps 16 to 21: Expand, Def, tables, the further quote.
void defineExpandDefAndTables(Binding &b) {
    const std::string etx(1, '\x03');
    b.Define("Const: nx_Expand = " + appended(intptr_t{95}));
    b.DefineSyntax("Expand {Expr:'.*'} ::= NomixStr(nx_Expand," + etx + "{Expr}" + etx + ")");
    b.DefineSyntax("Def({Definition}) ::= ~Eval(Nomix(nx_Define, {Definition}))");
    b.DefineSyntax("Def {' +'}{Definition:'.*'} ::= Nomix(nx_Define," + etx + "{Definition}" + etx + ") ; 'Ok'");
    b.DefineSyntax("Def Var: {TableName} As Table ::= "
                   "~Eval(Nomix(nx_Define, 'Var: {TableName} As Table', 0, 0, 0, ~t)); "
                   "~Eval(Nomix(nx_DefineSyntax, '{TableName}({ItemName}) ::= "
                   " ValueAtAddr(Type(Handle({TableName}, {ItemName})), "
                   " hAddress(Handle({TableName}, {ItemName})))', 0, 0, 0, ~t)); "
                   "~Eval(Nomix(nx_DefineSyntax, '{TableName}({ItemName}) = {Value} ::="
                   "nx_Insert({TableName}, {ItemName}, {Value})', 0, 0, 0, ~t)); 'Ok'");
    b.Define("Pattern:\\\\q ~~ \\\\q ~~ DataType: #2", 40, b.keptType(KeptType::String));
}

// Step 22: solve, integrate and sum.
void defineNumericNatives(Binding &b) {
    defineNativeAt(b, "Native: Integ_(ByExpr Expr, a, b, ByHandle Var, Precision)", addressOf(&nativeInteg));
    defineNativeAt(b, "Native: Solve_(ByExpr Expr, a, b, ByHandle Var)", addressOf(&nativeSolve));
    defineNativeAt(b, "Native: Sum_(ByExpr Expr, Start, Finish, Step, ByHandle Var)", addressOf(&nativeSum));
}

// The settings file "nomix.def": the calculator's options, the angle unit and
// the answer variable's name.
void readSettingsFile(Application &app) {
    Settings &settings = app.settings();
    SettingsEngine engine;
    engine.evalDbl = [&app](std::string_view text) { return app.binding().EvalDbl(text); };
    engine.setAngleMode = [&app](int unit) { app.binding().SetAngleMode(static_cast<AngleUnit>(unit)); };
    loadSettings("nomix.def", settings, engine);
    applySettings(app);
}

} // namespace

// Allocated once: the engine keeps these addresses for the whole process.
AppVariables &appVariables() {
    static AppVariables *block = [] {
        void *p = nxAlloc(sizeof(AppVariables));
        return p ? static_cast<AppVariables *>(p) : nullptr;
    }();
    if (!block) throw std::bad_alloc();
    return *block;
}

// The WideString cell holds UTF-16LE; characters beyond 16 bits become "?".
std::string lastAnswerText() {
    const char *s = reinterpret_cast<const char *>(static_cast<uintptr_t>(appVariables().lastStr));
    if (!s) return {};
    uint32_t n = nxStrLen(s);
    std::string latin1;
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        unsigned lo = static_cast<unsigned char>(s[i]), hi = static_cast<unsigned char>(s[i + 1]);
        latin1 += hi == 0 ? static_cast<char>(lo) : '?';
    }
    return fromLatin1(latin1);
}

// Stores the text as UTF-16LE in a new engine string and frees the old one.
void setLastAnswerText(std::string_view utf8) {
    std::string latin1 = toLatin1(utf8), wide;
    for (char c : latin1) {
        wide += c;
        wide += '\0';
    }
    char *fresh = nxStrAlloc(wide.data(), static_cast<uint32_t>(wide.size()));
    uint32_t &cell = appVariables().lastStr;
    nxStrFree(reinterpret_cast<char *>(static_cast<uintptr_t>(cell)));
    cell = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(fresh));
}

// What the last phase 1 could not send.
static std::vector<std::string> &languageProblemList() {
    static std::vector<std::string> problems;
    return problems;
}

const std::vector<std::string> &languageProblems() { return languageProblemList(); }

// Sends the shipped language file and keeps the data-type handles it produced.
std::vector<std::string> DefineLanguage(Binding &b) {
    std::vector<std::string> &problems = languageProblemList();
    problems.clear();
    auto file = findLanguageFile();
    if (!file) {
        problems.push_back("the language file language/phase1.nxl was not found");
        b.Initialize();
        return problems;
    }
    BootScript script = readBootScriptFile(*file);
    for (const BootProblem &p : script.problems)
        problems.push_back(file->string() + ":" + std::to_string(p.line) + ": " + p.message);
    BootSender sender(&Nomix);
    for (const SendResult &r : sender.sendAll(script.commands))
        if (r.status != SendStatus::Sent)
            problems.push_back(file->string() + ":" + std::to_string(r.line) + ": not sent");
    for (size_t i = 0; i < kKeptTypeCount; ++i)
        b.setKeptType(static_cast<KeptType>(i), sender.keptType(static_cast<KeptType>(i)));
    return problems;
}

// Phase 2 in the designed order; later steps use names of earlier ones.
void DefineApplicationLanguage(Binding &b) {
    static bool defined = false;
    if (defined) return;
    defined = true;
    defineOperatorsAndScreen(b);  // its first definition runs phase 1
    // Messages of the errors that end runaway input instead of crashing.
    b.SetErrorMessage(nx_ErrTooDeep, "Nesting too deep");
    b.SetErrorMessage(nx_ErrRunaway, "Runaway rule expansion");
    b.SetErrorMessage(nx_ErrStopped, "Stopped");
    b.SetErrorMessage(nx_ErrNoMemory, "Out of memory");
    defineScriptNatives(b);
    defineDateAndDialogNatives(b);
    defineStackAndTableFunctions(b);
    defineLogicAndAssignment(b);
    defineVariablesAndHandler(b);
    defineExpandDefAndTables(b);
    defineNumericNatives(b);
}

const AnswerVariables &answerVariables() { return answers(); }


// Renames the answer variables through their kept handles.
void renameAnswerVariable(Binding &b, const std::string &name) {
    if (name.empty() || name == answers().name) return;
    b.RenameItem(answers().numberHandle, name);
    b.RenameItem(answers().textHandle, name + "Str");
    answers().name = name;
}

Application::Application(Host &host)
    : host_(host), calculator_(std::make_unique<Calculator>(nomix::binding())),
      scripts_(std::make_unique<ScriptState>()), previous_(current) {
    current = this;
}

Application::~Application() { current = previous_; }

Application *currentApplication() { return current; }

// The current application's host, or the quiet one.
Host &host() {
    static QuietHost quiet;
    return current ? current->host() : quiet;
}

// Copies the settings into the calculation, renames the answer variables and
// sets the engine's angle unit.
void applySettings(Application &app) {
    const Settings &settings = app.settings();
    CalculatorSettings &c = app.calculator().settings();
    c.bin = settings.bin;
    c.dec = settings.dec;
    c.hex = settings.hex;
    c.oct = settings.oct;
    c.format = settings.numericFormat;
    c.recallLimit = settings.inputRecall;
    c.answerLimit = settings.outputRecall;
    c.lowerBound = settings.eqFrom;
    c.upperBound = settings.eqTo;
    c.variable = settings.independentVariable;
    renameAnswerVariable(app.binding(), settings.lastVariable);
    AngleUnit unit = settings.angle == "DEG"   ? AngleUnit::Degrees
                     : settings.angle == "GRA" ? AngleUnit::Grads
                                               : AngleUnit::Radians;
    app.binding().SetAngleMode(unit);
}

// The start-up sequence of a program; each failing step is noted and skipped.
StartReport startApplication(Application &app, const std::optional<std::filesystem::path> &home) {
    StartReport report = prepareApplication(app, home);
    report.startupScriptRun = runStartupScript(app);
    return report;
}

// Runs "Nomix.nx"; a start-up step that fails is skipped.
bool runStartupScript(Application &app) {
    try {
        return runScriptFile(app.binding(), "Nomix.nx");
    } catch (const std::exception &) {
        return false;
    }
}

// Directory, both phases and the settings file; each failing step is noted and skipped.
StartReport prepareApplication(Application &app, const std::optional<std::filesystem::path> &home) {
    StartReport report;
    report.programDirectory = programDirectory(home);
    report.problems = prepareProgramDirectory(report.programDirectory);
    std::error_code ec;
    std::filesystem::current_path(report.programDirectory, ec);
    report.directoryChanged = !ec;
    if (ec) report.problems.push_back("cannot enter " + report.programDirectory.string() + ": " + ec.message());
    try {
        DefineApplicationLanguage(app.binding());
    } catch (const std::exception &e) {
        report.problems.push_back(std::string("application set-up: ") + e.what());
    }
    for (const std::string &p : languageProblems()) report.problems.push_back(p);
    readSettingsFile(app);
    return report;
}

} // namespace nomix
