#include "frmSplash.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "enginethread.h"
#include "helpbrowser.h"
#include "shipped.h"
#include "shell/bootstrap.h"
#include "shell/settings.h"

namespace nomix::gui {

frmSplash::frmSplash(Mode mode, QWidget *parent) : DesignWindow(parent), mode_(mode) {
    setObjectName(formName());
    setWindowFlag(Qt::Window);
    setWindowTitle(mode == Mode::About ? QStringLiteral("About Nomix") : QStringLiteral("Welcome to Nomix"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("Nomix"), this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 2.4);
    big.setBold(true);
    title->setFont(big);
    auto *subtitle = new QLabel(QStringLiteral("The graphing calculator you can teach"), this);
    subtitle->setObjectName(QStringLiteral("lblSubtitle"));
    auto *welcome = new QLabel(
        QStringLiteral("Type an expression in the Expression Evaluator and press Enter. Define your own "
                       "variables, functions, operators and syntax in the calculator's language, plot "
                       "graphs, solve equations, integrate, convert units, keep an adder tape and run "
                       "scripts. The Help menu explains every window."),
        this);
    welcome->setObjectName(QStringLiteral("lblWelcome"));
    welcome->setWordWrap(true);
    welcome->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    chkSkip = new QCheckBox(QStringLiteral("&Skip this window next time"), this);
    chkSkip->setObjectName(QStringLiteral("chkSkip"));
    btnContinue = new QPushButton(mode == Mode::About ? QStringLiteral("&Close") : QStringLiteral("&Start Nomix"), this);
    btnContinue->setObjectName(QStringLiteral("btnContinue"));
    btnContinue->setDefault(true);
    btnHelp = new QPushButton(QStringLiteral("&Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(chkSkip);
    buttons->addStretch();
    buttons->addWidget(btnHelp);
    buttons->addWidget(btnContinue);
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("imgIcon"));
    const int side = title->sizeHint().height() + subtitle->sizeHint().height();
    icon->setPixmap(programIcon().pixmap(QSize(side, side)));
    auto *heading = new QGridLayout;
    heading->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    heading->addWidget(title, 0, 1);
    heading->addWidget(subtitle, 1, 1);
    heading->setColumnStretch(1, 1);
    heading->setHorizontalSpacing(12);
    layout->addLayout(heading);
    layout->addSpacing(12);
    layout->addWidget(welcome, 1);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    bool skip = false;
    if (EngineThread *e = EngineThread::instance())
        e->run([&] {
            if (Application *a = currentApplication()) skip = a->settings().skipSplashScreen;
        });
    chkSkip->setChecked(skip);
    connect(btnContinue, &QPushButton::clicked, this, &frmSplash::btnContinue_Click);
    connect(btnHelp, &QPushButton::clicked, this, &frmSplash::btnHelp_Click);
    connect(chkSkip, &QCheckBox::clicked, this, &frmSplash::chkSkip_Click);
    resize(twipsToPixels(7200, this), twipsToPixels(3600, this));
}

void frmSplash::btnContinue_Click() {
    if (mode_ == Mode::Start) emit continued();
    close();
}

void frmSplash::btnHelp_Click() {
    auto *help = findChild<HelpBrowser *>();
    if (!help) help = new HelpBrowser(this);
    help->showTopic(QStringLiteral("Overview.htm"));
}

// The choice is kept at once: the next start reads it from "nomix.def".
void frmSplash::chkSkip_Click(bool checked) {
    if (EngineThread *e = EngineThread::instance())
        e->run([checked] {
            if (Application *a = currentApplication()) {
                a->settings().skipSplashScreen = checked;
                saveSettings("nomix.def", a->settings());
            }
        });
}

} // namespace nomix::gui
