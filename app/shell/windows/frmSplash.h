// The start window, also shown by Help > About Nomix: the program's name, a
// short welcome, the option to skip the window at the next start
// ("SkipSplashScreen"), and buttons to go on and to open the help.
#pragma once

#include "designwindow.h"

class QCheckBox;
class QPushButton;

namespace nomix::gui {

class frmSplash : public DesignWindow {
    Q_OBJECT
public:
    enum class Mode { Start, About };
    explicit frmSplash(Mode mode, QWidget *parent = nullptr);

    QString formName() const override { return QStringLiteral("frmSplash"); }
    QString helpTopic() const override { return QStringLiteral("About.htm"); }

    void btnContinue_Click();
    void btnHelp_Click();
    void chkSkip_Click(bool checked);

signals:
    // The start button: the main window comes next.
    void continued();

private:
    Mode mode_;
    QCheckBox *chkSkip = nullptr;
    QPushButton *btnContinue = nullptr;
    QPushButton *btnHelp = nullptr;
};

} // namespace nomix::gui
