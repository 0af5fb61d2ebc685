// The tutor without its animated character: the balloon text appears in a
// small dockable panel and the status line in the main window's status bar.
// Scripts drive it through the native Agent_Routine (operation numbers in
// README.md), and the panel's Continue button is the control "CONTINUE".
#pragma once

#include <QDockWidget>

class QLabel;
class QPushButton;

namespace nomix::gui {

class TutorPanel : public QDockWidget {
    Q_OBJECT
public:
    explicit TutorPanel(QWidget *parent = nullptr);
    void say(const QString &text);
    QString balloonText() const;
    QPushButton *continueButton() const { return btnContinue; }

    void btnContinue_Click();

private:
    QLabel *lblBalloon = nullptr;
    QPushButton *btnContinue = nullptr;
};

// Registers "Agent_Routine" with the engine (the tutor's natives, the last step
// of the application set-up). Call on the engine thread, after the set-up.
void defineTutorNatives();

} // namespace nomix::gui
