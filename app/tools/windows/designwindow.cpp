#include "designwindow.h"

#include <QColor>
#include <QHash>
#include <QPointer>
#include <QGuiApplication>
#include <QScreen>

namespace nomix::gui {

int RecordReader::takeCount(int limit) {
    bool ok = false;
    int n = take().trimmed().toInt(&ok);
    return ok && n >= 0 && n <= limit ? n : 0;
}

std::vector<std::string> RecordReader::takeRest() {
    std::vector<std::string> rest;
    while (!atEnd()) rest.push_back(take().toStdString());
    return rest;
}

static DesignWindow::EngineJobRunner &engineJobRunner() {
    static DesignWindow::EngineJobRunner runner;
    return runner;
}

void DesignWindow::runEngineJob(const std::function<void()> &job) {
    if (engineJobRunner()) engineJobRunner()(job);
    else job();
}

void DesignWindow::setEngineJobRunner(EngineJobRunner runner) { engineJobRunner() = std::move(runner); }

// The frame's opener; empty until a main window installs one.
static WindowOpener &installedOpener() {
    static WindowOpener opener;
    return opener;
}

void setWindowOpener(WindowOpener opener) { installedOpener() = std::move(opener); }

// Without a frame: one top-level window per name, deleted when closed.
static DesignWindow *openTopLevel(const QString &formName) {
    static QHash<QString, QPointer<DesignWindow>> open;
    QPointer<DesignWindow> &window = open[formName];
    if (!window) {
        window = createToolWindow(formName);
        if (!window) return nullptr;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    return window;
}

DesignWindow *openDesignWindow(const QString &formName) {
    const WindowOpener &opener = installedOpener();
    return opener ? opener(formName) : openTopLevel(formName);
}

// "Text|*.a;*.b|Other|*.*" -> "Text (*.a *.b);;Other (*)".
QString qtFilter(const QString &classicFilter) {
    const QStringList parts = classicFilter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns == QLatin1String("*.*")) patterns = QStringLiteral("*");
        QString text = parts[i];
        const qsizetype bracket = text.indexOf(QLatin1String(" ("));
        if (bracket >= 0) text.truncate(bracket);
        out << text + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

QPalette darkPalette() {
    QPalette p;
    const QColor window(50, 50, 54), base(36, 36, 40), text(232, 232, 232), disabled(135, 135, 135);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(62, 62, 66));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, disabled);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

QColor colorFromBgr(unsigned bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

unsigned bgrFromColor(const QColor &color) {
    return unsigned(color.red()) | unsigned(color.green()) << 8 | unsigned(color.blue()) << 16;
}

// The logical DPI of the widget's screen, else of the primary screen, else 96.
static double logicalDpi(const QWidget *widget) {
    if (widget) return widget->logicalDpiX();
    if (const QScreen *s = QGuiApplication::primaryScreen()) return s->logicalDotsPerInchX();
    return 96.0;
}

int twipsToPixels(double twips, const QWidget *widget) {
    return qRound(twips * logicalDpi(widget) / 1440.0);
}

double pixelsToTwips(int pixels, const QWidget *widget) {
    return pixels * 1440.0 / logicalDpi(widget);
}

} // namespace nomix::gui
