// The in-app help browser: the HTML topics shipped in help/ ("Overview.htm",
// "Solve.htm", ...), with back, forward and the contents page. Links to other
// topics stay in the browser; links to the web go to the user's browser.
#pragma once

#include <QWidget>

class QTextBrowser;
class QToolButton;

namespace nomix::gui {

class HelpBrowser : public QWidget {
    Q_OBJECT
public:
    explicit HelpBrowser(QWidget *parent = nullptr);
    // Shows a topic; one that is not there says so in the browser.
    void showTopic(const QString &topic);
    QString currentTopic() const;

private:
    QTextBrowser *browser_ = nullptr;
};

} // namespace nomix::gui
