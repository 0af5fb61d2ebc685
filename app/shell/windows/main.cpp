// nomix (and nomixna, the same program without the tutor's animated
// character): the desktop calculator. Without a display it says so and runs
// nomixcli instead.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "MDInomix.h"
#include "program.h"
#include "shipped.h"

namespace {

constexpr const char *kUsage =
    "usage: nomix [--home DIR] [/SkipAbout] [--exit-after-start] [--report-ready]\n"
    "             [--screenshots DIR [--dark]]\n";

struct Options {
    std::optional<std::string> home, screenshots;
    bool skipAbout = false, exitAfterStart = false, reportReady = false, dark = false;
};

// Reads the command line; nullopt (after a message) when it is not usable.
std::optional<Options> parseOptions(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string lower;
        for (char c : a) lower += char(std::tolower(static_cast<unsigned char>(c)));
        if ((a == "--home" || a == "--screenshots") && i + 1 < argc) {
            (a == "--home" ? o.home : o.screenshots) = std::string(argv[++i]);
        } else if (lower == "/skipabout" || lower == "--skip-about" || lower == "-skipabout") {
            o.skipAbout = true;
        } else if (a == "--exit-after-start") {
            o.exitAfterStart = true;
        } else if (a == "--report-ready") {
            o.reportReady = true;
        } else if (a == "--dark") {
            o.dark = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a.rfind("-", 0) == 0 || a.rfind("/", 0) == 0) {
            std::fprintf(stderr, "nomix: bad argument \"%s\"\n%s", a.c_str(), kUsage);
            return std::nullopt;
        }
        // Other words (a file a desktop passes, say) are ignored.
    }
    return o;
}

// No display and no Qt platform chosen: the terminal calculator instead.
bool hasDisplay() {
    for (const char *var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char *v = std::getenv(var);
        if (v && *v) return true;
    }
    return false;
}

[[noreturn]] void runTerminalCalculator(const Options &o) {
    std::fputs("nomix: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); starting nomixcli\n", stderr);
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string cli = ec ? std::string("nomixcli") : (self.parent_path() / "nomixcli").string();
    std::vector<std::string> args = {cli};
    if (o.home) {
        args.push_back("--home");
        args.push_back(*o.home);
    }
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(cli.c_str(), argv.data());
    ::execvp("nomixcli", argv.data());
    std::perror("nomix: nomixcli could not be started");
    std::exit(127);
}

#ifndef NOMIX_NO_AGENT
// The tutor's character ships as data; without it nomix offers the build that
// does without (nomixna), as the classic program did for a missing component.
bool offerProgramWithoutTutor() {
    if (!nomix::gui::findShipped(QStringLiteral("tutor/character.txt")).isEmpty()) return false;
    auto answer = QMessageBox::question(nullptr, QStringLiteral("Nomix"),
                                        QStringLiteral("The tutor's character is not installed.\n"
                                                       "Start Nomix without the tutor?"));
    if (answer != QMessageBox::Yes) return false;
    QString other = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("nomixna"));
    return QProcess::startDetached(other, {QStringLiteral("/SkipAbout")}, QDir::currentPath());
}
#endif

} // namespace

int main(int argc, char **argv) {
    auto options = parseOptions(argc, argv);
    if (!options) return 2;
    if (options->home) options->home = std::filesystem::absolute(*options->home).string();
    if (options->screenshots) options->screenshots = std::filesystem::absolute(*options->screenshots).string();
    if (!hasDisplay()) runTerminalCalculator(*options);

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nomix"));
    QApplication::setDesktopFileName(QStringLiteral("nomix"));
    QApplication::setWindowIcon(nomix::gui::programIcon());
    if (options->dark) nomix::gui::useDarkPalette();

    nomix::gui::DesktopProgram program;
    std::optional<std::filesystem::path> home;
    if (options->home) home = *options->home;
    for (const QString &problem : program.start(home)) std::fprintf(stderr, "nomix: %s\n", qPrintable(problem));

    if (options->screenshots) {
        QStringList files = nomix::gui::renderScreenshots(program, QString::fromStdString(*options->screenshots), options->dark);
        for (const QString &f : files) std::printf("%s\n", qPrintable(f));
        if (auto *main = program.mainWindow()) main->close();
        return files.isEmpty() ? 1 : 0;
    }
#ifndef NOMIX_NO_AGENT
    if (!options->exitAfterStart && offerProgramWithoutTutor()) return 0;
#endif
    nomix::gui::closeOnSignals(&program, [&program] {
        // A box a calculation or script waits on would hold the close back for ever.
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QDialog *>(w); box && box->isVisible() && box->isModal()) box->reject();
        if (auto *main = program.mainWindow()) main->close();
        else QApplication::quit();
    });
    if (options->exitAfterStart) {
        // Start, show and paint the main window, then close it as File > Exit does.
        auto *main = program.openMainWindow();
        main->repaint();
        QTimer::singleShot(0, main, [main] { main->close(); });
    } else {
        program.showFirstWindow(options->skipAbout);
    }
    // A signal may have closed the main window while its start-up script ran,
    // before the event loop (which alone can quit) was started.
    const QWidgetList tops = QApplication::topLevelWidgets();
    if (std::none_of(tops.begin(), tops.end(), [](const QWidget *w) { return w->isVisible(); })) return 0;
    if (options->reportReady)
        QTimer::singleShot(0, [] {
            std::printf("ready\n");
            std::fflush(stdout);
        });
    return qapp.exec();
}
