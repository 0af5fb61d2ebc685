// Synthesised keys: the classic key codes of SendKey and the key sequences of
// SendKeys as Qt key events posted to the program's own widgets.
#pragma once

#include <QString>

class QWidget;

namespace nomix::gui {

// The Qt key of a classic key code (9 Tab, 13 Enter, 32 Space, 37..40 arrows, 45, 46, 18 Alt).
int qtKeyOf(int classicKey);
// Posts a key press and its release to the widget.
void postKey(QWidget *target, int qtKey, const QString &text, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Posts a SendKeys sequence to the focused widget (the active window's);
// returns the notation's error, empty when the whole sequence was read.
QString postKeySequence(const QString &keys);
// Delivers a key press and release to the control at once: a script's SendKey
// is handled before the script's next line, as the control's own key would be.
void sendKeyNow(QWidget *target, int qtKey, const QString &text);

} // namespace nomix::gui
