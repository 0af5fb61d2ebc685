#include "program.h"

#include <QApplication>
#include <QDir>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPalette>
#include <QPixmap>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "MDInomix.h"
#include "designwindow.h"
#include "frmNOMIX.h"
#include "frmOptions.h"
#include "frmPlaceholder.h"
#include "frmSplash.h"
#include "helpbrowser.h"
#include "shell/bootstrap.h"
#include "tutorpanel.h"

namespace nomix::gui {

DesktopProgram::DesktopProgram() : app_(std::make_unique<Application>(host_)) {
    qApp->installEventFilter(this);
    // The busy cursor shows for a calculation the user can notice, however it
    // started (Enter, a button, a favourite, the timer).
    busyCursorTimer_.setSingleShot(true);
    busyCursorTimer_.setInterval(150);
    connect(&busyCursorTimer_, &QTimer::timeout, this, [this] {
        if (!engine_.computing() || busyCursorShown_) return;
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        busyCursorShown_ = true;
    });
    connect(&engine_, &EngineThread::computingChanged, this, [this](bool computing) {
        if (computing) {
            busyCursorTimer_.start();
            return;
        }
        busyCursorTimer_.stop();
        if (busyCursorShown_) QGuiApplication::restoreOverrideCursor();
        busyCursorShown_ = false;
    });
    DesignWindow::setEngineJobRunner([this](const std::function<void()> &job) { engine_.run(job); });
}

DesktopProgram::~DesktopProgram() {
    qApp->removeEventFilter(this);
    DesignWindow::setEngineJobRunner({});
    if (MDInomix *m = mainWindow()) delete m;
    // Nothing may reach the application once it is gone.
    engine_.run([] {});
}

QStringList DesktopProgram::start(const std::optional<std::filesystem::path> &home) {
    StartReport report;
    engine_.run([&] {
        report = prepareApplication(*app_, home);
        defineTutorNatives();
    });
    QStringList problems;
    for (const std::string &p : report.problems) problems << QString::fromStdString(p);
    return problems;
}

MDInomix *DesktopProgram::mainWindow() const { return host_.mainWindow(); }

MDInomix *DesktopProgram::openMainWindow(bool maximizeCalculator) {
    auto *main = new MDInomix(host_, maximizeCalculator);
    main->show();
    main->load();
    return main;
}

void DesktopProgram::showFirstWindow(bool skipAbout) {
    bool skip = skipAbout;
    engine_.run([&] { skip = skip || app_->settings().skipSplashScreen; });
    if (skip) {
        openMainWindow();
        return;
    }
    auto *splash = new frmSplash(frmSplash::Mode::Start);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    connect(splash, &frmSplash::continued, this, [this] { openMainWindow(); });
    splash->show();
}

// While the engine computes, the user's keys and clicks wait (except Esc and
// the Stop button); Esc stops the calculation. Synthetic keys of scripts pass.
bool DesktopProgram::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste) &&
        pasteOneLine(watched))
        return true;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        break;
    default:
        return false;
    }
    if (!event->spontaneous() || !engine_.busy()) return false;
    // Esc belongs to a box the calculation opened (MsgBox, InputBox); elsewhere it stops.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        !QApplication::activeModalWidget()) {
        EngineThread::requestStop();
        return true;
    }
    // Keys typed during a short job go through; only a calculation the user
    // can notice holds input back.
    if (engine_.computingForMs() < 250) return false;
    if (watched->objectName() == QLatin1String("btnStop")) return false;
    return true;
}

// Paste into a one-line box (a line edit, a combo box's line) takes the
// clipboard text without its line breaks, as Edit > Paste does.
bool DesktopProgram::pasteOneLine(QObject *target) {
    QLineEdit *edit = qobject_cast<QLineEdit *>(target);
    if (auto *combo = qobject_cast<QComboBox *>(target)) edit = combo->lineEdit();
    if (!edit || edit->isReadOnly()) return false;
    QString text = QGuiApplication::clipboard()->text();
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) return false;
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    edit->insert(text);
    emit edit->textEdited(edit->text());
    return true;
}

// ---- signals ----

namespace {
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int) {
    char byte = 1;
    ssize_t ignored = ::write(signalPipe[0], &byte, 1);
    (void)ignored;
}
} // namespace

void closeOnSignals(QObject *context, std::function<void()> onSignal) {
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    ::fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onSignal = std::move(onSignal)] {
        char buffer[16];
        while (::read(signalPipe[1], buffer, sizeof buffer) == ssize_t(sizeof buffer)) {
        }
        onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = &onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

// ---- pictures ----

void useDarkPalette() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
}

namespace {

QString pictureName(const QString &form, int index, int count, bool dark) {
    const double scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    QString name = form;
    if (count > 1) name += QStringLiteral("-%1").arg(index);
    return name + (dark ? QStringLiteral("-dark-") : QStringLiteral("-light-")) +
           QString::number(qRound((scale > 0 ? scale : 1) * 100)) + QStringLiteral(".png");
}

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

bool save(QWidget *w, const QString &path) {
    settle();
    return w->grab().save(path);
}

} // namespace

QStringList renderScreenshots(DesktopProgram &program, const QString &dir, bool dark) {
    QDir().mkpath(dir);
    QStringList written;
    auto keep = [&](QWidget *w, const QString &name) {
        QString path = QDir(dir).filePath(name);
        if (save(w, path)) written << path;
    };
    MDInomix *main = program.mainWindow() ? program.mainWindow() : program.openMainWindow();
    main->resize(1000, 700);
    if (frmNOMIX *calc = main->calculatorWindow()) calc->showSample(0);
    keep(main, pictureName(QStringLiteral("MDInomix"), 0, 2, dark));
    main->tutorPanel()->say(QStringLiteral("Type 2+3 in the input line and click Calculate."));
    main->setTutorStatus(QStringLiteral("The tutor is waiting for you to click Calculate."));
    main->showReminder(QStringLiteral("      Remember: Solve finds every root"));
    keep(main, pictureName(QStringLiteral("MDInomix"), 1, 2, dark));
    main->tutorPanel()->hide();

    // Each design window on its own, at its own size, with each of its samples.
    const QStringList forms = {QStringLiteral("frmNOMIX"), QStringLiteral("frmOptions"), QStringLiteral("frmSplash"),
                               QStringLiteral("frmGraph"), QStringLiteral("frmPlot"), QStringLiteral("frmGraphOptions"),
                               QStringLiteral("frmSumTable"), QStringLiteral("frmConvert"),
                               QStringLiteral("frmConvertTable"), QStringLiteral("frmAdder"), QStringLiteral("frmModule")};
    for (const QString &form : forms) {
        DesignWindow *w = nullptr;
        if (form == QLatin1String("frmNOMIX")) w = new frmNOMIX;
        else if (form == QLatin1String("frmOptions")) w = new frmOptions(main);
        else if (form == QLatin1String("frmSplash")) w = new frmSplash(frmSplash::Mode::Start);
        else w = createToolWindow(form);
        if (!w) w = new frmPlaceholder(form);
        w->setAttribute(Qt::WA_DontShowOnScreen, false);
        w->show();
        const int count = std::max(1, w->sampleCount());
        for (int i = 0; i < count; ++i) {
            w->showSample(i);
            keep(w, pictureName(form, i, count, dark));
        }
        w->close();
        delete w;
    }
    auto *help = new HelpBrowser;
    help->showTopic(QStringLiteral("Overview.htm"));
    keep(help, pictureName(QStringLiteral("HelpBrowser"), 0, 1, dark));
    delete help;
    return written;
}

} // namespace nomix::gui
