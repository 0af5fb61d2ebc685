// The application's set-up as the benchmarks need it: every definition the
// application sends after the language file, in its order, so that the start-up
// figure measures the real amount of work. Variables that live in the application
// are placed in the engine heap, where bound addresses must be.
#include "app_setup.h"

#include <array>
#include <string>
#include <string_view>

#include "nxeng296.h"

namespace bench {
namespace {

using nomix::BootSender;
using nomix::KeptType;

// Unary minus: the one application callback the expressions run.
void negate(OperationRecord *record) {
    *reinterpret_cast<double *>(record->Result) = -*reinterpret_cast<const double *>(record->Arg1);
}

// Natives whose work lives in windows and scripts; never called here.
void idleNative(OperationRecord *) {}

// The application's error handler answers "stop" to every error.
intptr_t stopOnError(intptr_t) { return 0; }

intptr_t addressOf(void (*routine)(OperationRecord *)) { return reinterpret_cast<intptr_t>(routine); }

// The cells the application binds by address: flags, the answer and its text.
struct ApplicationCells {
    int32_t quit, stopTyping, stopDelay, stopWait, tutorialMode, speechSpeed;
    double last;
    int32_t lastStr;
};

ApplicationCells &cells() {
    static ApplicationCells *block = static_cast<ApplicationCells *>(nxAlloc(sizeof(ApplicationCells)));
    return *block;
}

// Sends one set-up step and remembers it when the engine reports an error.
class Steps {
public:
    explicit Steps(const BootSender &sender) : sender_(sender) {}

    void define(std::string_view text, intptr_t misc1 = 0, intptr_t misc2 = 0) {
        sender_.call(nx_Define, text, misc1, misc2);
        note();
    }
    void syntax(std::string_view text) {
        sender_.call(nx_DefineSyntax, text, 1);
        note();
    }
    // "Func: ", "Op: " or "Var: " + the definition, with " At " and the
    // address (one leading blank, as appended numbers are) when there is one.
    void bound(std::string_view kind, std::string_view def, intptr_t address) {
        std::string text = std::string(kind) + std::string(def);
        if (address != 0) text += " At  " + std::to_string(address);
        define(text);
    }
    void native(std::string_view def, intptr_t address) { bound("Func: ", def, address); }
    void nativeOp(std::string_view def, intptr_t address) { bound("Op: ", def, address); }
    void variable(std::string_view def, void *address) {
        bound("Var: ", def, reinterpret_cast<intptr_t>(address));
    }
    void handler(intptr_t (*entry)(intptr_t)) {
        sender_.call(nx_AddErrorHandler, "0", reinterpret_cast<intptr_t>(entry));
        note();
    }
    intptr_t routine(int n) const { return sender_.routineAddress(n); }
    intptr_t type(KeptType t) const { return sender_.keptType(t); }
    void step(int n) { step_ = n; }
    std::vector<SetupProblem> problems() const { return problems_; }

private:
    void note() {
        if (int32_t error = sender_.errorCode()) problems_.push_back({step_, error});
    }

    const BootSender &sender_;
    int step_ = 0;
    std::vector<SetupProblem> problems_;
};

constexpr std::array kScriptNatives = {
    "Native: Form_Reset()", "Native: Form_Left()", "Native: Form_Top()", "Native: Form_Height()",
    "Native: Form_Width()", "Native: Form_MoveTo(x, y)", "Native: DoEvents() As Void",
    "Native: Delay(Seconds) As Void", "Native: ResetOptions()",
    "Native: ShowDropDown(ComboBoxName As String, Show=1)",
    "Native: SendKey(Name As String, Key As String) As String",
    "SendKey(Key As String) As String = SendKey('Expression', Key)",
    "Native: SendKeys(Keys As String, Wait=0) As Void", "Native: SetFocus(Name As String) As Void",
    "Native: SetInput(Name As String, Expr As String, Typing=0) As String",
    "SetInput(Expr As String, Typing=.08) As String = SetInput('Expression', Expr, Typing)",
    "Native: SetP_Button(Index, Caption As String, ToolTip As String, Visible=1) As Void",
    "HideP_Button(Index) = SetP_Button(Index, '', '', 0)", "Native: SetReminder(Expr As String) As Void",
    "Native: WaitForInput()", "Native: TimerInterval(Interval= -1)", "Native: Notepad(FileName As String)",
    "Native: SetFavorite(Index, Caption As String, Code As String) As Void",
};

constexpr std::array kDateNatives = {
    "Native: DateAdd(interval As String, number, date As String) As String",
    "Native: DateDiff(interval As String, date1 As String, date2 As String, firstdayofweek=1, "
    "firstweekofyear=1)",
    "Native: Format(Expr, Format As String) As String",
    "Native: Format(Expr As String, Format As String, firstdayofweek=1, firstweekofyear=1) As String",
    "Native: Date() As String", "Native: Now() As String", "Native: Time() As String", "Native: Timer()",
    "Native: Val(s As String)", "Native: Str(Number) As String",
    "Native: MsgBox(Prompt As String, Buttons=0, Title As String='Nomix')",
    "MsgBox(Prompt, Buttons=0, Title As String='Nomix') = MsgBox(Str(Prompt), Buttons, Title)",
    "Native: InputBox(Prompt As String, Title As String='Nomix Input', Default As String='') As String",
};

struct RoutineDef {
    const char *text;
    int routine;
};

constexpr std::array kStackFunctions = {
    RoutineDef{"Func:: nx_Push(StackName As Stack, ByHandle Data As AnyType, Index As Long = 0) As Long", 120},
    RoutineDef{"Func:: nx_PopNum(StackName As Stack, Index As Long = 0) As Extended", 122},
    RoutineDef{"Func:: nx_PopStr(StackName As Stack, Index As Long = 0) As String", 123},
    RoutineDef{"Func:: nx_ReadNum(StackName As Stack, Index As Long = 0) As Extended", 125},
    RoutineDef{"Func:: nx_ReadStr(StackName As Stack, Index As Long = 0) As String", 126},
    RoutineDef{"Func:: StackFormat(a As String, b As String, c As String, d As String) As Void", 135},
    RoutineDef{"Func:: Handle(TableName As Table, Entry As String) As Dword", 133},
    RoutineDef{"Func:: nx_Delete(TableName As Table, Entry As String) As Void", 131},
    RoutineDef{"Func:: nx_Insert(TableName As Table, Entry As String, ByHandle Data As AnyType) As Void", 130},
};

constexpr std::string_view kTableSyntax =
    "Def Var: {TableName} As Table ::= "
    "~Eval(Nomix(nx_Define, 'Var: {TableName} As Table', 0, 0, 0, ~t)); "
    "~Eval(Nomix(nx_DefineSyntax, '{TableName}({ItemName}) ::= "
    " ValueAtAddr(Type(Handle({TableName}, {ItemName})), "
    " hAddress(Handle({TableName}, {ItemName})))', 0, 0, 0, ~t)); "
    "~Eval(Nomix(nx_DefineSyntax, '{TableName}({ItemName}) = {Value} ::="
    "nx_Insert({TableName}, {ItemName}, {Value})', 0, 0, 0, ~t)); 'Ok'";

// Steps 1 to 10: operators, screen measures, the true value, natives.
void defineOperatorsAndNatives(Steps &s) {
    s.step(1);
    s.nativeOp("Native: 20 {MyString As String} * {Number} As String", addressOf(idleNative));
    s.step(2);
    s.define("Op:: -{x}    ~~ Precedence: 25", addressOf(negate));
    s.step(3);
    s.bound("Var: ", "TwipsPerPixelX =  15", 0);
    s.bound("Var: ", "TwipsPerPixelY =  15", 0);
    s.step(4);
    s.define("Var: nx_True As Long = 1 ~~ Address: #", s.routine(111));
    s.step(5);
    for (const char *def : kScriptNatives)
        s.native(def, std::string_view(def).starts_with("Native:") ? addressOf(idleNative) : 0);
    s.step(6);
    for (const char *def : kDateNatives)
        s.native(def, std::string_view(def).starts_with("Native:") ? addressOf(idleNative) : 0);
    s.step(7);
    for (const RoutineDef &def : kStackFunctions) s.define(def.text, s.routine(def.routine));
    s.step(8);
    s.native("hAddress(Item As Dword) = Nomix(nx_GetItemData, '', Item, nx_Address)", 0);
    s.syntax("Type({ItemHandle}) ::= ~Eval(Nomix(nx_GetItemData, '', {ItemHandle}, nx_DataType))");
    s.step(9);
    s.native("Native: Not(x As Long) As Long", s.routine(74));
    s.nativeOp("Native: 3 {x As Long} Xor {y as Long} As Long", s.routine(77));
    s.nativeOp("Native: 2 {x As Long} Eqv {y as Long} As Long", s.routine(78));
    s.nativeOp("Native: 1 {x As Long} Imp {y as Long} As Long", s.routine(79));
    s.step(10);
    s.nativeOp("Native: 1 {ByHandle Variable As AnyType} = {ByHandle Value As AnyType} As Void", s.routine(140));
    s.nativeOp("Native: 1 {ByHandle Variable As String}  = {ByHandle Value As AnyType} As Void", s.routine(140));
    s.nativeOp("Native: 1 {ByHandle Variable As Double}  = {ByHandle Value As AnyType} As Void", s.routine(140));
}

// Steps 11 to 15: the variables shared with the application and its handler.
void defineSharedVariables(Steps &s) {
    ApplicationCells &c = cells();
    s.step(11);
    s.variable("_Quit As Long", &c.quit);
    s.step(12);
    s.define("Const: nx_ReleaseItem =  22");
    s.step(13);
    s.variable("StopTyping As Long", &c.stopTyping);
    s.variable("StopDelay As Long", &c.stopDelay);
    s.variable("StopWait As Long", &c.stopWait);
    s.variable("TutorialMode As Long", &c.tutorialMode);
    s.variable("SpeechSpeed As Long", &c.speechSpeed);
    s.step(14);
    s.variable("last As Double", &c.last);
    s.variable("lastStr As WideString", &c.lastStr);
    s.step(15);
    s.handler(&stopOnError);
}

// Steps 16 to 22: expansion and definition syntax, the second quote, numeric natives.
void defineSyntaxAndNumerics(Steps &s) {
    s.step(16);
    s.define("Const: nx_Expand =  95");
    s.step(17);
    s.syntax("Expand {Expr:'.*'} ::= NomixStr(nx_Expand,\x03{Expr}\x03)");
    s.step(18);
    s.syntax("Def({Definition}) ::= ~Eval(Nomix(nx_Define, {Definition}))");
    s.step(19);
    s.syntax("Def {' +'}{Definition:'.*'} ::= Nomix(nx_Define,\x03{Definition}\x03) ; 'Ok'");
    s.step(20);
    s.syntax(kTableSyntax);
    s.step(21);
    s.define(R"(Pattern:\\q ~~ \\q ~~ DataType: #2)", 40, s.type(KeptType::String));
    s.step(22);
    s.native("Native: Integ_(ByExpr Expr, a, b, ByHandle Var, Precision)", addressOf(idleNative));
    s.native("Native: Solve_(ByExpr Expr, a, b, ByHandle Var)", addressOf(idleNative));
    s.native("Native: Sum_(ByExpr Expr, Start, Finish, Step, ByHandle Var)", addressOf(idleNative));
}

} // namespace

std::vector<SetupProblem> defineApplicationLanguage(const BootSender &sender) {
    Steps steps(sender);
    defineOperatorsAndNatives(steps);
    defineSharedVariables(steps);
    defineSyntaxAndNumerics(steps);
    return steps.problems();
}

} // namespace bench
