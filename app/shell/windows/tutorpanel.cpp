#include "tutorpanel.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "MDInomix.h"
#include "desktophost.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"

namespace nomix::gui {

TutorPanel::TutorPanel(QWidget *parent) : QDockWidget(QStringLiteral("Tutor"), parent) {
    setObjectName(QStringLiteral("TutorPanel"));
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    lblBalloon = new QLabel(body);
    lblBalloon->setObjectName(QStringLiteral("lblBalloon"));
    lblBalloon->setWordWrap(true);
    lblBalloon->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    lblBalloon->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblBalloon->setFrameShape(QFrame::StyledPanel);
    lblBalloon->setMargin(8);
    lblBalloon->setMinimumWidth(180);
    btnContinue = new QPushButton(QStringLiteral("C&ontinue"), body);
    btnContinue->setObjectName(QStringLiteral("btnContinue"));
    layout->addWidget(lblBalloon, 1);
    layout->addWidget(btnContinue, 0, Qt::AlignRight);
    setWidget(body);
    connect(btnContinue, &QPushButton::clicked, this, &TutorPanel::btnContinue_Click);
}

void TutorPanel::say(const QString &text) {
    lblBalloon->setText(text);
    show();
    raise();
}

QString TutorPanel::balloonText() const { return lblBalloon->text(); }

// Continue ends the tutorial's pause (its Delay) so the next step comes.
void TutorPanel::btnContinue_Click() { appVariables().stopDelay = 1; }

namespace {

enum AgentOperation {
    Speak = 1, Think = 2, Status = 3, Show = 4, Hide = 5, Wait = 6, Gesture = 7, Move = 8,
    Size = 9, BalloonStyle = 10, Listen = 11, Activate = 12
};

MDInomix *frame() {
    auto *host = dynamic_cast<DesktopHost *>(&nomix::host());
    return host ? host->mainWindow() : nullptr;
}

// Agent_Routine(Operation, Text): what the animated tutor would do, shown
// without the animation: its words in the panel, its status in the status bar.
void agentRoutine(OperationRecord *r) {
    int op = int(nxParamDbl(r, 1));
    const char *raw = nxParamStrB(r, 2);
    QString text = QString::fromStdString(fromLatin1(std::string_view(raw, nxStrLen(raw))));
    onWindowThread([&] {
        MDInomix *main = frame();
        if (!main || !main->tutorPanel()) return;
        switch (op) {
        case Speak:
        case Think: main->tutorPanel()->say(text); break;
        case Status: main->setTutorStatus(text); break;
        case Show:
        case Activate: main->tutorPanel()->show(); break;
        case Hide: main->tutorPanel()->hide(); break;
        default: break;  // gestures, moves, sizes and balloon styles have nothing to animate
        }
    });
    nxReturnStr(r, "");
}

} // namespace

void defineTutorNatives() {
    binding().DefineNative("Native: Agent_Routine(Operation, Text As String = '') As String",
                           reinterpret_cast<intptr_t>(&agentRoutine));
}

} // namespace nomix::gui
