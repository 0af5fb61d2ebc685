#include "desktophost.h"
#include "designwindow.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include <cstdio>

#include "MDInomix.h"
#include "enginethread.h"

namespace nomix::gui {

void runOnWindowThread(const std::function<void()> &f) {
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        f();
        return;
    }
    EngineThread::Parked parked;
    EngineThread::WaitingForWindows waiting;
    QMetaObject::invokeMethod(app, f, Qt::BlockingQueuedConnection);
}

DesktopHost::DesktopHost() {
    if (const QScreen *s = QGuiApplication::primaryScreen())
        if (s->logicalDotsPerInchX() > 0) twipsPerPixel_ = 1440.0 / s->logicalDotsPerInchX();
}

namespace {

using B = QMessageBox::StandardButton;
struct Choice {
    B button;
    int result;
};

// The buttons of a classic box code (its low nibble) with the numbers they answer.
const std::vector<Choice> &choicesOf(int code) {
    static const std::vector<Choice> sets[] = {
        {{B::Ok, 1}},
        {{B::Ok, 1}, {B::Cancel, 2}},
        {{B::Abort, 3}, {B::Retry, 4}, {B::Ignore, 5}},
        {{B::Yes, 6}, {B::No, 7}, {B::Cancel, 2}},
        {{B::Yes, 6}, {B::No, 7}},
        {{B::Retry, 4}, {B::Cancel, 2}},
    };
    int set = code & 0x0F;
    return sets[set > 5 ? 0 : set];
}

// A box closed with Esc or the title bar: Cancel where there is one, else No (a
// box closed without an answer never reads as Yes), else the first button.
int unansweredBox(int code) {
    const std::vector<Choice> &choices = choicesOf(code);
    for (int fallback : {2, 7})
        for (const Choice &c : choices)
            if (c.result == fallback) return fallback;
    return choices.front().result;
}

// The classic box: buttons by the low nibble, the icon by 16, 32, 48 or 64.
int showBox(QWidget *parent, const QString &prompt, int code, const QString &title) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    switch (code & 0x70) {
    case 16: box.setIcon(QMessageBox::Critical); break;
    case 32: box.setIcon(QMessageBox::Question); break;
    case 48: box.setIcon(QMessageBox::Warning); break;
    case 64: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    const std::vector<Choice> &choices = choicesOf(code);
    for (const Choice &c : choices) box.addButton(c.button);
    box.exec();
    B clicked = box.standardButton(box.clickedButton());
    for (const Choice &c : choices)
        if (c.button == clicked) return c.result;
    return unansweredBox(code);
}

} // namespace

int DesktopHost::messageBox(const std::string &prompt, int buttons, const std::string &title) {
    // While the program closes nobody answers a box: it reads as closed unanswered.
    if (closing()) {
        std::fprintf(stderr, "nomix: %s\n", prompt.c_str());
        return unansweredBox(buttons);
    }
    return onWindowThread([&] { return showBox(main_, qs(prompt), buttons, qs(title)); });
}

std::string DesktopHost::inputBox(const std::string &prompt, const std::string &title,
                                  const std::string &defaultText) {
    if (closing()) return {};
    return onWindowThread([&] {
        bool ok = false;
        QString text = QInputDialog::getText(main_, qs(title), qs(prompt), QLineEdit::Normal, qs(defaultText), &ok);
        return ok ? text.toStdString() : std::string();
    });
}

void DesktopHost::doEvents() {
    EngineThread *engine = EngineThread::instance();
    if (engine && engine->onEngineThread()) {
        EngineThread::Parked parked;
        engine->runPending();
        return;
    }
    QCoreApplication::processEvents();
}

void DesktopHost::sleepMs(int milliseconds) {
    EngineThread *engine = EngineThread::instance();
    if (engine && engine->onEngineThread()) {
        EngineThread::Parked parked;
        engine->sleepRunning(milliseconds);
        return;
    }
    QThread::msleep(static_cast<unsigned long>(std::max(0, milliseconds)));
}

bool DesktopHost::mainWindowLoaded() const {
    return onWindowThread([&] { return main_ && main_->loaded(); });
}

WindowGeometry DesktopHost::mainWindowGeometry() const {
    return onWindowThread([&] { return main_ ? main_->geometryTwips() : WindowGeometry{}; });
}

void DesktopHost::moveMainWindow(int left, int top) {
    onWindowThread([&] { if (main_) main_->moveTwips(left, top); });
}

void DesktopHost::resetCalculatorWindow() {
    onWindowThread([&] { if (main_) main_->resetCalculatorWindow(); });
}

void DesktopHost::resetOptions() {
    onWindowThread([&] { if (main_) main_->resetOptionsBar(); });
}

bool DesktopHost::resolveControl(const ControlRef &control) {
    return onWindowThread([&] { return main_ && main_->scriptControl(control) != nullptr; });
}

std::string DesktopHost::controlText(const ControlRef &control) const {
    return onWindowThread([&] { return main_ ? main_->controlText(control).toStdString() : std::string(); });
}

void DesktopHost::setControlText(const ControlRef &control, const std::string &text, size_t caret) {
    onWindowThread([&] { if (main_) main_->setControlText(control, qs(text), int(caret)); });
}

void DesktopHost::setFocus(const ControlRef &control) {
    onWindowThread([&] { if (main_) main_->focusControl(control); });
}

void DesktopHost::showDropDown(const ControlRef &control, bool show) {
    onWindowThread([&] { if (main_) main_->showDropDown(control, show); });
}

void DesktopHost::pressKey(const ControlRef &control, Key key) {
    onWindowThread([&] { if (main_) main_->pressKey(control, int(key)); });
}

void DesktopHost::sendChar(const ControlRef &control, char character) {
    onWindowThread([&] { if (main_) main_->sendChar(control, character); });
}

void DesktopHost::openMenuBar() {
    onWindowThread([&] { if (main_) main_->openMenuBar(); });
}

void DesktopHost::sendKeys(const std::string &keys, bool wait) {
    onWindowThread([&] { if (main_) main_->sendKeys(qs(keys), wait); });
}

void DesktopHost::setProgrammableButton(int index, const std::string &caption, const std::string &toolTip,
                                        bool visible) {
    onWindowThread([&] { if (main_) main_->setProgrammableButton(index, qs(caption), qs(toolTip), visible); });
}

void DesktopHost::setFavoriteCaption(int index, const std::string &caption) {
    onWindowThread([&] { if (main_) main_->setFavoriteCaption(index, qs(caption)); });
}

void DesktopHost::showReminder(const std::string &text) {
    onWindowThread([&] { if (main_) main_->showReminder(qs(text)); });
}

void DesktopHost::setUserTimer(int milliseconds) {
    onWindowThread([&] { if (main_) main_->setUserTimer(milliseconds); });
}

std::string DesktopHost::tutorStatus() const {
    return onWindowThread([&] { return main_ ? main_->tutorStatus().toStdString() : std::string(); });
}

void DesktopHost::setTutorStatus(const std::string &text) {
    onWindowThread([&] { if (main_) main_->setTutorStatus(qs(text)); });
}

void DesktopHost::unloadMainWindow() {
    // Closed once the script's job has ended, as File > Exit closes it.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { if (main_) main_->close(); }, Qt::QueuedConnection);
}

long DesktopHost::openEditor(const std::string &file) {
    return onWindowThread([&] { return main_ ? main_->openEditor(qs(file)) : 0L; });
}

} // namespace nomix::gui
