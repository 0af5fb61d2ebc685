#include "keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

#include "shell/keynotation.h"

namespace nomix::gui {

int qtKeyOf(int classicKey) {
    switch (classicKey) {
    case 9: return Qt::Key_Tab;
    case 13: return Qt::Key_Return;
    case 18: return Qt::Key_Alt;
    case 32: return Qt::Key_Space;
    case 37: return Qt::Key_Left;
    case 38: return Qt::Key_Up;
    case 39: return Qt::Key_Right;
    case 40: return Qt::Key_Down;
    case 45: return Qt::Key_Insert;
    case 46: return Qt::Key_Delete;
    default: return 0;
    }
}

void postKey(QWidget *target, int qtKey, const QString &text, Qt::KeyboardModifiers modifiers) {
    if (!target) return;
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, qtKey, modifiers, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, qtKey, modifiers, text));
}

void sendKeyNow(QWidget *target, int qtKey, const QString &text) {
    QPointer<QWidget> alive(target);
    if (!alive) return;
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    if (!alive) return;
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

namespace {

// The Qt key and text of a stroke.
std::pair<int, QString> keyOf(const KeyStroke &s) {
    switch (s.key) {
    case KeyName::Character: {
        QString text = QString::fromUcs4(&s.character, 1);
        int key = text.size() == 1 ? text.at(0).toUpper().unicode() : 0;
        return {key, text};
    }
    case KeyName::Enter: return {Qt::Key_Return, QStringLiteral("\r")};
    case KeyName::Tab: return {Qt::Key_Tab, QStringLiteral("\t")};
    case KeyName::Escape: return {Qt::Key_Escape, QString(QChar(27))};
    case KeyName::Backspace: return {Qt::Key_Backspace, QString(QChar(8))};
    case KeyName::Delete: return {Qt::Key_Delete, {}};
    case KeyName::Insert: return {Qt::Key_Insert, {}};
    case KeyName::Home: return {Qt::Key_Home, {}};
    case KeyName::End: return {Qt::Key_End, {}};
    case KeyName::PageUp: return {Qt::Key_PageUp, {}};
    case KeyName::PageDown: return {Qt::Key_PageDown, {}};
    case KeyName::Up: return {Qt::Key_Up, {}};
    case KeyName::Down: return {Qt::Key_Down, {}};
    case KeyName::Left: return {Qt::Key_Left, {}};
    case KeyName::Right: return {Qt::Key_Right, {}};
    default: return {Qt::Key_F1 + (int(s.key) - int(KeyName::F1)), {}};
    }
}

} // namespace

QString postKeySequence(const QString &keys) {
    KeySequence sequence = parseKeys(keys.toStdString());
    for (const KeyStroke &s : sequence.strokes) {
        QWidget *target = QApplication::focusWidget();
        if (!target) target = QApplication::activeWindow();
        Qt::KeyboardModifiers m;
        if (s.shift) m |= Qt::ShiftModifier;
        if (s.ctrl) m |= Qt::ControlModifier;
        if (s.alt) m |= Qt::AltModifier;
        auto [key, text] = keyOf(s);
        if (s.ctrl || s.alt) text.clear();
        postKey(target, key, text, m);
    }
    return QString::fromStdString(sequence.error);
}

} // namespace nomix::gui
