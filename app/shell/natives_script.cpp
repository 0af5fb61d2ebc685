// The script natives: through them a script drives the application's windows
// (typing, keys, focus, drop-downs), labels the programmable buttons and
// favourites, waits, times and opens files in the editor. Each reaches the user
// through the current host; without an application they do nothing visible.
#include <chrono>
#include <cmath>
#include <random>

#include "nxeng296.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"
#include "shell/script.h"

namespace nomix {

namespace {

using Clock = std::chrono::steady_clock;

// Argument i as application text.
std::string textArg(OperationRecord *r, int i) {
    const char *s = nxParamStrB(r, i);
    return fromLatin1(std::string_view(s, nxStrLen(s)));
}

// Argument i rounded half to even, clamped to the int range.
int wholeArg(OperationRecord *r, int i) {
    double v = std::nearbyint(nxParamDbl(r, i));
    if (!(v == v)) return 0;
    return static_cast<int>(std::fmax(-2147483648.0, std::fmin(2147483647.0, v)));
}

void returnText(OperationRecord *r, std::string_view utf8) { nxReturnStr(r, toLatin1(utf8).c_str()); }

// One round of a wait: pending events, then 100 ms of sleep.
void waitRound() {
    host().doEvents();
    host().sleepMs(100);
}

// Elapsed seconds on the steady clock.
double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The control a script names; the host is told so it can load its window.
std::optional<ControlRef> resolve(std::string_view name) {
    auto ref = parseControlName(name);
    if (ref && host().resolveControl(*ref)) return ref;
    return std::nullopt;
}

// A control's text. The calculator's input line is the core's own state; the
// host shows it.
std::string controlTextOf(const ControlRef &c) {
    Application *app = currentApplication();
    if (app && c.name == "EXPRESSION") return app->calculator().input();
    return host().controlText(c);
}

// Sets a control's text; the input line's text is kept by the calculator.
void setControlTextOf(const ControlRef &c, const std::string &text, size_t caret) {
    Application *app = currentApplication();
    if (app && c.name == "EXPRESSION") app->calculator().setInput(text);
    host().setControlText(c, text, caret);
}

// ---- the main window ----

void formLeft(OperationRecord *r) { nxReturnDbl(r, host().mainWindowGeometry().left); }
void formTop(OperationRecord *r) { nxReturnDbl(r, host().mainWindowGeometry().top); }
void formWidth(OperationRecord *r) { nxReturnDbl(r, host().mainWindowGeometry().width); }
void formHeight(OperationRecord *r) { nxReturnDbl(r, host().mainWindowGeometry().height); }

// Form_MoveTo(x, y): the main window to left x, top y, in twips.
void formMoveTo(OperationRecord *r) {
    host().moveMainWindow(wholeArg(r, 1), wholeArg(r, 2));
    nxReturnDbl(r, 0);
}

// The calculator window maximised, its input line empty and focused.
void formReset(OperationRecord *r) {
    if (Application *app = currentApplication()) app->calculator().setInput("");
    host().resetCalculatorWindow();
    nxReturnDbl(r, 0);
}

// Decimal on, the other bases off, radians, no numeric format.
void resetOptions(OperationRecord *r) {
    if (Application *app = currentApplication()) {
        CalculatorSettings &s = app->calculator().settings();
        s.dec = true;
        s.bin = s.oct = s.hex = false;
        s.format.clear();
    }
    binding().SetAngleMode(AngleUnit::Radians);
    host().resetOptions();
    nxReturnDbl(r, 0);
}

// ---- waits ----

// The user's stop (Ctrl+C) ends a wait as it ends the engine's loops: with
// error 33, so the calculation does not read as finished.
bool stoppedByUser(OperationRecord *r) {
    if (!nxStopRequested()) return false;
    binding().RaiseCode(r, nx_ErrStopped);
    return true;
}

void doEvents(OperationRecord *) { waitRound(); }

// Ends when the time has passed, StopDelay is set or the main window closes.
// The time is measured on a steady clock, so a delay across midnight ends too.
void delay(OperationRecord *r) {
    double seconds = nxParamDbl(r, 1);
    AppVariables &v = appVariables();
    v.stopDelay = 0;
    Clock::time_point start = Clock::now();
    while (secondsSince(start) < seconds && v.stopDelay == 0 && !host().closing()) {
        if (stoppedByUser(r)) return;
        waitRound();
    }
}

// Runs until the input line is empty (the user calculated it) or StopWait is
// set, in which case the calculation runs here.
void waitForInput(OperationRecord *r) {
    Application *app = currentApplication();
    AppVariables &v = appVariables();
    Host &h = host();
    if (!app) return nxReturnDbl(r, 0);
    ScriptState &state = app->scripts();
    state.waiting = true;
    std::string status = h.tutorStatus();
    while (!app->calculator().input().empty() && !h.closing()) {
        if (stoppedByUser(r)) break;
        h.setTutorStatus("The tutor is waiting for you to click Calculate.");
        waitRound();
        if (v.stopWait != 0) app->calculator().calculate();
    }
    h.setTutorStatus(status);
    v.stopWait = 0;
    state.waiting = false;
    if (h.closing()) h.unloadMainWindow();
    nxReturnDbl(r, 0);
}

// Sets the user timer unless the interval is -1; answers the interval in ms.
void timerInterval(OperationRecord *r) {
    double seconds = nxParamDbl(r, 1);
    Application *app = currentApplication();
    if (!app) return nxReturnDbl(r, 0);
    ScriptState &state = app->scripts();
    if (seconds != -1 && std::isfinite(seconds)) {
        double ms = std::nearbyint(seconds * 1000);
        state.timerIntervalMs = static_cast<int>(std::fmax(0, std::fmin(ms, 2147483647.0)));
        host().setUserTimer(state.timerIntervalMs);
    }
    nxReturnDbl(r, state.timerIntervalMs);
}

// ---- controls ----

void showDropDown(OperationRecord *r) {
    if (auto c = resolve(textArg(r, 1))) host().showDropDown(*c, nxParamDbl(r, 2) != 0);
    nxReturnDbl(r, 0);
}

// SetFocus(Name): focus to the named control.
void setFocus(OperationRecord *r) {
    if (auto c = resolve(textArg(r, 1))) host().setFocus(*c);
}

void sendKeys(OperationRecord *r) { host().sendKeys(textArg(r, 1), nxParamDbl(r, 2) != 0); }

} // namespace

// SendKey and SetInput, defined with the key and typing helpers further down.
void nativeSendKey(OperationRecord *r);
// SetInput(Name, Expr, Typing): the text at once, or typed when Typing > 0.
void nativeSetInput(OperationRecord *r);

namespace {

// ---- buttons, favourites, reminder, editor ----

void setProgrammableButton(OperationRecord *r) {
    if (!host().mainWindowLoaded()) return;
    host().setProgrammableButton(wholeArg(r, 1), textArg(r, 2), textArg(r, 3), nxParamDbl(r, 4) != 0);
}

// Indexes outside 0 .. 20 are ignored: the code table has 21 entries.
void setFavorite(OperationRecord *r) {
    int index = wholeArg(r, 1);
    Application *app = currentApplication();
    if (!app || index < 0 || index >= ScriptState::kFavorites) return;
    app->scripts().favoriteCodes[static_cast<size_t>(index)] = textArg(r, 3);
    host().setFavoriteCaption(index, textArg(r, 2));
}

// SetReminder(Expr): the scrolling reminder text.
void setReminderNative(OperationRecord *r) {
    if (Application *app = currentApplication()) setReminder(app->scripts(), host(), textArg(r, 1));
}

// Only files of the program's directory: a name with a directory part (on Linux
// "/", and the classic "\" and ":") is refused.
void notepad(OperationRecord *r) {
    std::string file = textArg(r, 1);
    if (file.find_first_of("\\:/") != std::string::npos) {
        binding().RaiseError(r, "You may only open a file in the Nomix directory");
        return nxReturnDbl(r, 0);
    }
    nxReturnDbl(r, static_cast<double>(host().openEditor(file)));
}

template <class F> intptr_t at(F *f) { return reinterpret_cast<intptr_t>(f); }

} // namespace

// Phase 2, step 5, in the designed order; plain forms without address call the natives.
void defineScriptNatives(Binding &b) {
    b.DefineNative("Native: Form_Reset()", at(&formReset));
    b.DefineNative("Native: Form_Left()", at(&formLeft));
    b.DefineNative("Native: Form_Top()", at(&formTop));
    b.DefineNative("Native: Form_Height()", at(&formHeight));
    b.DefineNative("Native: Form_Width()", at(&formWidth));
    b.DefineNative("Native: Form_MoveTo(x, y)", at(&formMoveTo));
    b.DefineNative("Native: DoEvents() As Void", at(&doEvents));
    b.DefineNative("Native: Delay(Seconds) As Void", at(&delay));
    b.DefineNative("Native: ResetOptions()", at(&resetOptions));
    b.DefineNative("Native: ShowDropDown(ComboBoxName As String, Show=1)", at(&showDropDown));
    b.DefineNative("Native: SendKey(Name As String, Key As String) As String", at(&nativeSendKey));
    b.DefineNative("SendKey(Key As String) As String = SendKey('Expression', Key)");
    b.DefineNative("Native: SendKeys(Keys As String, Wait=0) As Void", at(&sendKeys));
    b.DefineNative("Native: SetFocus(Name As String) As Void", at(&setFocus));
    b.DefineNative("Native: SetInput(Name As String, Expr As String, Typing=0) As String", at(&nativeSetInput));
    b.DefineNative("SetInput(Expr As String, Typing=.08) As String = SetInput('Expression', Expr, Typing)");
    b.DefineNative("Native: SetP_Button(Index, Caption As String, ToolTip As String, Visible=1) As Void",
                   at(&setProgrammableButton));
    b.DefineNative("HideP_Button(Index) = SetP_Button(Index, '', '', 0)");
    b.DefineNative("Native: SetReminder(Expr As String) As Void", at(&setReminderNative));
    b.DefineNative("Native: WaitForInput()", at(&waitForInput));
    b.DefineNative("Native: TimerInterval(Interval= -1)", at(&timerInterval));
    b.DefineNative("Native: Notepad(FileName As String)", at(&notepad));
    b.DefineNative("Native: SetFavorite(Index, Caption As String, Code As String) As Void", at(&setFavorite));
}

// ---- keys and typing ----

namespace {

// The key a group names; nullopt for names that do nothing.
std::optional<Key> namedKey(const std::string &name) {
    static const std::pair<const char *, Key> keys[] = {
        {"TAB", Key::Tab},     {"UP", Key::Up},         {"DOWN", Key::Down},     {"LEFT", Key::Left},
        {"RIGHT", Key::Right}, {"DELETE", Key::Delete}, {"INSERT", Key::Insert}, {"PUSH", Key::Space},
        {"ENTER", Key::Enter}, {"MENU", Key::Alt}};
    for (const auto &[n, k] : keys)
        if (name == n) return k;
    return std::nullopt;
}

// ASCII upper case, for key names.
std::string upperText(std::string s) {
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Presses a named key count times on the control.
void pressNamed(const ControlRef &c, const std::string &name, int count) {
    auto key = namedKey(upperText(name));
    if (!key) return;
    for (int i = 0; i < count; ++i) {
        if (*key == Key::Alt)
            host().openMenuBar();
        else if (*key == Key::Enter && c.name != "NOMIX")
            host().sendChar(c, '\r');
        else
            host().pressKey(c, *key);
    }
}

// The count of a key group: the rounded value, 1 when missing or 0.
int repeatCount(const std::string &token) {
    double v = std::nearbyint(std::atof(token.c_str()));
    if (!(v >= 1)) return 1;
    return static_cast<int>(std::fmin(v, 1000));
}

// Reads a key group whose parts came as separate tokens: name, count, "}".
void readGroup(Binding &b, const std::string &keys, int32_t &pos, const ControlRef &c) {
    std::string name = b.NextToken(keys, pos);
    std::string count = b.NextToken(keys, pos);
    if (count == "}") {
        pressNamed(c, name, 1);
        return;
    }
    b.NextToken(keys, pos);  // the closing brace
    pressNamed(c, name, repeatCount(count));
}

// A key group the tokenizer returned whole, "{NAME n}".
void pressGroupToken(const std::string &token, const ControlRef &c) {
    std::string inside = token.substr(1, token.size() - 2);
    size_t blank = inside.find_first_of(" \t");
    std::string name = inside.substr(0, blank);
    std::string count = blank == std::string::npos ? "" : inside.substr(blank + 1);
    pressNamed(c, name, repeatCount(count));
}

} // namespace

// Plain tokens are appended to the control's text; {NAME count} presses a key.
void nativeSendKey(OperationRecord *r) {
    auto c = resolve(textArg(r, 1));
    std::string keys = textArg(r, 2);
    returnText(r, "");
    if (!c) return;
    Binding &b = binding();
    int32_t pos = 1;
    for (int guard = 0; guard < 100000 && pos <= static_cast<int32_t>(keys.size()); ++guard) {
        int32_t before = pos;
        std::string token = b.NextToken(keys, pos, 1);
        if (token.empty() || pos <= before) break;
        if (token == "{")
            readGroup(b, keys, pos, *c);
        else if (token.front() == '{' && token.back() == '}')
            pressGroupToken(token, *c);
        else
            setControlTextOf(*c, controlTextOf(*c) + token, controlTextOf(*c).size() + token.size());
    }
}

namespace {

// Waits out one typed character: Typing seconds plus a random fraction, drawn
// anew at every check.
bool waitTyped(double typing, Clock::time_point since) {
    static std::mt19937 random{std::random_device{}()};
    std::uniform_real_distribution<double> fraction(0, 1);
    AppVariables &v = appVariables();
    while (secondsSince(since) <= typing + fraction(random)) {
        if (v.stopTyping != 0 || host().closing()) return false;
        host().doEvents();
        host().sleepMs(10);
    }
    return v.stopTyping == 0 && !host().closing();
}

// The text appears one character at a time (UTF-8 sequences are kept whole).
void typeInto(const ControlRef &c, const std::string &text, double typing) {
    appVariables().stopTyping = 0;
    for (size_t n = 1; n <= text.size(); ++n) {
        if (n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) continue;
        setControlTextOf(c, text.substr(0, n), n);
        if (!waitTyped(typing, Clock::now())) return;
    }
}

} // namespace

// SetInput(Name, Expr, Typing): the text at once, or typed when Typing > 0.
void nativeSetInput(OperationRecord *r) {
    auto c = resolve(textArg(r, 1));
    std::string text = textArg(r, 2);
    double typing = nxParamDbl(r, 3);
    returnText(r, "");
    if (!c) return;
    if (typing > 0)
        typeInto(*c, text, typing);
    else
        setControlTextOf(*c, text, text.size());
}

} // namespace nomix
