#include "helpbrowser.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "shipped.h"

namespace nomix::gui {

HelpBrowser::HelpBrowser(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpBrowser"));
    setWindowTitle(QStringLiteral("Nomix Help"));
    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    auto *back = new QToolButton(this);
    back->setText(QStringLiteral("Back"));
    back->setObjectName(QStringLiteral("btnBack"));
    auto *forward = new QToolButton(this);
    forward->setText(QStringLiteral("Forward"));
    forward->setObjectName(QStringLiteral("btnForward"));
    auto *contents = new QToolButton(this);
    contents->setText(QStringLiteral("Contents"));
    contents->setObjectName(QStringLiteral("btnContents"));
    bar->addWidget(back);
    bar->addWidget(forward);
    bar->addWidget(contents);
    bar->addStretch();
    layout->addLayout(bar);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("txtHelp"));
    browser_->setOpenLinks(false);
    layout->addWidget(browser_);
    QStringList paths;
    for (const QString &dir : shippedDirectories()) paths << QDir(dir).filePath(QStringLiteral("help"));
    browser_->setSearchPaths(paths);
    connect(back, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QToolButton::setEnabled);
    connect(contents, &QToolButton::clicked, this, [this] { showTopic(QStringLiteral("index.html")); });
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https") ||
            url.scheme() == QLatin1String("mailto"))
            QDesktopServices::openUrl(url);
        else if (url.isRelative() && url.path().isEmpty())
            browser_->scrollToAnchor(url.fragment());
        else
            showTopic(url.toString());
    });
    back->setEnabled(false);
    forward->setEnabled(false);
    resize(720, 560);
}

void HelpBrowser::showTopic(const QString &topic) {
    QString file = topic.section(QLatin1Char('#'), 0, 0);
    QString found = findShipped(QStringLiteral("help/") + QFileInfo(file).fileName());
    if (found.isEmpty()) {
        browser_->setHtml(QStringLiteral("<h2>%1</h2><p>This help topic is not available in this "
                                         "installation.</p><p><a href=\"Overview.htm\">Contents</a></p>")
                              .arg(file.toHtmlEscaped()));
        browser_->setProperty("topic", file);
    } else {
        browser_->setSource(QUrl::fromLocalFile(found));
        browser_->setProperty("topic", QFileInfo(found).fileName());
        if (topic.contains(QLatin1Char('#'))) browser_->scrollToAnchor(topic.section(QLatin1Char('#'), 1));
    }
    setWindowTitle(QStringLiteral("Nomix Help - %1").arg(browser_->documentTitle().isEmpty() ? file : browser_->documentTitle()));
    show();
    raise();
    activateWindow();
}

QString HelpBrowser::currentTopic() const { return browser_->property("topic").toString(); }

} // namespace nomix::gui
