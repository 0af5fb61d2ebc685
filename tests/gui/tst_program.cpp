// The whole desktop program as a user's start-up script drives it: the real
// nomix, offscreen, runs Nomix.nx with lines that fill the calculator, the
// programmable buttons and every tool window through the script natives; then
// SIGTERM ends it and nomix.tmp must hold what each window showed. A second
// start recalls the same session.
#include <QClipboard>
#include <QMdiArea>
#include <QProcess>
#include <QtTest>

#include <csignal>

#include "guitest.h"
#include "helpbrowser.h"

using namespace nomix::gui;
using guitest::nomixProgram;
using guitest::startOffscreen;
using guitest::readAll;
using guitest::writeFile;

namespace {

// The lines the user's script appends to the shipped start-up script.
const char *const kScript[] = {
    "SetInput('Expression', '6*7', 0)",
    "SendKey('Expression', '{ENTER}')",
    "SendKey('Button+4', '{PUSH}')",
    "SetInput('Expression', 'x^2-4', 0)",
    "SetInput('FROM', '0', 0)",
    "SetInput('TO', '5', 0)",
    "SendKey('Expression', '{ENTER}')",
    "SendKey('Button+6', '{PUSH}')",
    "SetInput('Expression', '2*x', 0)",
    "SetInput('FROM', '0', 0)",
    "SetInput('TO', '3', 0)",
    "SendKey('Expression', '{ENTER}')",
    "clicks = 0",
    "Def Syntax: P_Button1 ::= SetVar(clicks, clicks + 10)",
    "SetP_Button(1, 'Ten', 'Adds ten', 1)",
    "SendKey('P_Button+1', '{PUSH}')",
    "SetInput('Expression', 'clicks', 0)",
    "SendKey('Expression', '{ENTER}')",
    "SetInput('CATEGORY', 'Length', 0)",
    "SetInput('VALUE+0', '1', 0)",
    "SetInput('UNIT+0', 'kilometer', 0)",
    "SetInput('UNIT+1', 'meter', 0)",
    "SendKey('CONVERT', '{PUSH}')",
    "SetInput('ADDER', '5', 0)",
    "SetInput('COMMENT', 'five', 0)",
    "SendKey('ADDER', '{ENTER}')",
    "SetInput('ADDER', '7', 0)",
    "SendKey('ADDER', '{ENTER}')",
    "SetInput('SUMEQ', 'x^2', 0)",
    "SetInput('SUMFROM', '1', 0)",
    "SetInput('SUMTO', '4', 0)",
    "SendKey('SUMTO', '{ENTER}')",
    "SetInput('MODULE', \"Ohm's Law\", 0)",
    "SetInput('NUMBER+0', '2', 0)",
    "SetInput('NUMBER+1', '10', 0)",
    "SendKey('USMSOLVE', '{PUSH}')",
    "SendKey('CLEARPLOTEQS', '{PUSH}')",
    "SetInput('PLOTEQ+0', 'y=x^2', 0)",
    "SendKey('NEXT', '{PUSH}')",
    "SetInput('PLOTEQ+1', 'y=sin(x)', 0)",
    "SendKey('PLOT', '{PUSH}')",
    "SetInput('FORMAT', 'Fixed', 0)",
    "SetInput('Expression', '1/3', 0)",
    "SendKey('Expression', '{ENTER}')",
};

// The records of one window in nomix.tmp (the lines after "::name").
QStringList recordsOf(const QByteArray &session, const QString &window) {
    QStringList lines = QString::fromUtf8(session).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // after the file's last line end
    qsizetype at = lines.indexOf(QStringLiteral("::") + window);
    QStringList out;
    if (at < 0) return out;
    for (qsizetype i = at + 1; i < lines.size() && !lines[i].startsWith(QStringLiteral("::")); ++i) out << lines[i];
    return out;
}

// A window's records without its state line and (for a normal window) its geometry.
QStringList contentsOf(const QStringList &records) {
    return records.mid(records.value(0) == QLatin1String("0") ? 5 : 1);
}

// The lines in this order, each after the one before (others may lie between).
bool holdsInOrder(const QStringList &records, const QStringList &expected) {
    qsizetype from = 0;
    for (const QString &line : expected) {
        from = records.indexOf(line, from);
        if (from < 0) return false;
        ++from;
    }
    return true;
}

} // namespace

class Program : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QByteArray firstSession;
    std::unique_ptr<guitest::Session> tools;  // the program the menu tests use, in this process

    // Runs nomix on the home until its start-up script is done, then SIGTERM;
    // the session it wrote goes to session.
    void runUntilSignal(QByteArray &session) {
        QProcess nomix;
        startOffscreen(nomix, home.path());
        QVERIFY(nomix.waitForStarted());
        QByteArray out;
        QTRY_VERIFY2_WITH_TIMEOUT((out += nomix.readAllStandardOutput()).contains("ready") || nomix.state() != QProcess::Running,
                                  "nomix never became ready", 60000);
        QVERIFY2(nomix.state() == QProcess::Running, nomix.readAllStandardError().constData());
        ::kill(pid_t(nomix.processId()), SIGTERM);
        QVERIFY2(nomix.waitForFinished(30000), "nomix did not end on SIGTERM");
        QCOMPARE(nomix.exitStatus(), QProcess::NormalExit);
        QCOMPARE(nomix.exitCode(), 0);
        session = readAll(home.filePath(QStringLiteral("nomix.tmp")));
    }

private slots:
    void initTestCase() {
        const QDir data(QStringLiteral(NOMIX_SOURCE_DIR "/data"));
        for (const char *file : {"UserDefs.nx", "nomix.cnv", "nomix.usm"})
            QVERIFY(QFile::copy(data.filePath(QString::fromLatin1(file)), home.filePath(QString::fromLatin1(file))));
        QByteArray script = readAll(data.filePath(QStringLiteral("Nomix.nx")));
        QVERIFY(!script.isEmpty());
        if (!script.endsWith('\n')) script += "\r\n";
        for (const char *line : kScript) script += QByteArray(line) + "\r\n";
        QVERIFY(writeFile(home.filePath(QStringLiteral("Nomix.nx")), script));
        QVERIFY(writeFile(home.filePath(QStringLiteral("nomix.def")), "[Other]\r\nSession Recall=True\r\n"));
        runUntilSignal(firstSession);
        QVERIFY(!firstSession.isEmpty());
    }

    // What each window shows after the script, as nomix.tmp keeps it.
    void sessionHolds_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("calculator answers") << "frmNOMIX"
            << QStringList{"Input: 6*7", "Answer: 42", "Input: Solve x^2-4,0,5,x", "Answer: 2",
                           "Input: Integ(2*x,0,3,x,100)", "Answer: 9", "Input: clicks", "Answer: 10",
                           "Input: 1/3", "Answer: 0.33"};
        QTest::newRow("numeric format") << "MDInomix" << QStringList{"Fixed"};
        QTest::newRow("converter") << "frmConvert" << QStringList{"Length", "1", "kilometer", "1000", "meter"};
        QTest::newRow("adder tape") << "frmAdder" << QStringList{"3", "5\tfive", "7\t"};
        QTest::newRow("summation inputs") << "frmSumTable" << QStringList{"x^2", "x", "1", "4", "1"};
        QTest::newRow("module solved") << "frmModule" << QStringList{"Ohm's Law", "V = I*R", "2", "10", "20"};
        QTest::newRow("plot list") << "frmPlot"
            << QStringList{"1", "Cartesian", "y=x^2", "x", "Cartesian", "y=sin(x)", "x"};
        QTest::newRow("graph window") << "frmGraph" << QStringList{};
    }
    void sessionHolds() {
        QFETCH(QString, window);
        QFETCH(QStringList, expected);
        QVERIFY2(firstSession.contains("::" + window.toLatin1() + "\r\n"), firstSession.constData());
        QStringList records = recordsOf(firstSession, window);
        QVERIFY2(holdsInOrder(records, expected), qPrintable(records.join(QLatin1Char('|'))));
    }

    // Started again (with the shipped start-up script) the program recalls the
    // session and writes the same windows and contents back.
    void recalledOnNextStart() {
        QByteArray session = firstSession;
        QVERIFY(writeFile(home.filePath(QStringLiteral("nomix.tmp")), session));
        QFile::remove(home.filePath(QStringLiteral("Nomix.nx")));
        QVERIFY(QFile::copy(QStringLiteral(NOMIX_SOURCE_DIR "/data/Nomix.nx"), home.filePath(QStringLiteral("Nomix.nx"))));
        QByteArray second;
        runUntilSignal(second);
        QVERIFY(!second.isEmpty());
        for (const char *window : {"frmNOMIX", "frmConvert", "frmAdder", "frmSumTable", "frmModule", "frmPlot", "frmGraph"}) {
            // The state and geometry lines may differ (window order decides them); the contents may not.
            QStringList before = contentsOf(recordsOf(firstSession, QString::fromLatin1(window)));
            QStringList after = contentsOf(recordsOf(second, QString::fromLatin1(window)));
            // The graph window keeps only its state and geometry: it must come back all the same.
            QVERIFY2(second.contains(QByteArray("::") + window + "\r\n"), window);
            QVERIFY2(!before.isEmpty() || QByteArray(window) == "frmGraph", window);
            QCOMPARE(after, before);
        }
    }

    // Each tool window opened from the menus is the real window, and the main
    // window's File menu, Special Copy and Help go to it when it is active.
    void toolWindowsThroughTheMenus_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("topic");
        QTest::newRow("converter") << "mnuConverter" << "frmConvert" << "UnitConverter.htm";
        QTest::newRow("adder") << "mnuAdder" << "frmAdder" << "Adder.htm";
        QTest::newRow("modules") << "mnuModules" << "frmModule" << "Modules.htm";
        QTest::newRow("summation") << "mnuSummation" << "frmSumTable" << "SummationTable.htm";
        QTest::newRow("plot") << "mnuPlot" << "frmPlot" << "PlotSetup.htm";
        QTest::newRow("graph options") << "mnuGraphOptions" << "frmGraphOptions" << "GraphOptions.htm";
    }
    void toolWindowsThroughTheMenus() {
        QFETCH(QString, entry);
        QFETCH(QString, form);
        QFETCH(QString, topic);
        if (!tools) tools = guitest::start();
        MDInomix *main = tools->main;
        guitest::choose(main, entry.toLatin1());
        QMdiSubWindow *sub = main->mdiArea()->activeSubWindow();
        QVERIFY(sub);
        auto *w = qobject_cast<DesignWindow *>(sub->widget());
        QVERIFY(w);
        QCOMPARE(w->formName(), form);
        QVERIFY2(!w->findChild<QLabel *>(QStringLiteral("lblComing")), "a placeholder, not the tool");
        auto *open = main->findChild<QAction *>(QStringLiteral("mnuOpen"));
        QCOMPARE(open->isEnabled(), w->fixedFile() || !w->openFilter().isEmpty());
        QCOMPARE(main->findChild<QAction *>(QStringLiteral("mnuPrint"))->text(), w->printCaption());
        guitest::choose(main, "mnuSpecialCopy");
        QVERIFY(!QGuiApplication::clipboard()->image().isNull());
        QApplication::setActiveWindow(main);
        w->setFocus();
        guitest::choose(main, "mnuContents");
        auto *browser = main->findChild<HelpBrowser *>(QStringLiteral("HelpBrowser"));
        QVERIFY(browser);
        QCOMPARE(browser->currentTopic(), topic);
        browser->close();
        sub->close();
        QTRY_VERIFY(!main->mdiArea()->subWindowList().contains(sub));
    }

    void cleanupTestCase() { tools.reset(); }

    // A fresh program directory (no nomix.def: recall is off) still gets the
    // session-state file on SIGTERM; only the recall at start-up needs the option.
    void freshDirectoryWritesTheSession() {
        QTemporaryDir fresh;
        QByteArray script = readAll(QStringLiteral(NOMIX_SOURCE_DIR "/data/Nomix.nx"));
        script += "\r\nSetInput('Expression', '6*7', 0)\r\nSendKey('Expression', '{ENTER}')\r\n";
        QVERIFY(writeFile(fresh.filePath(QStringLiteral("Nomix.nx")), script));
        QProcess nomix;
        startOffscreen(nomix, fresh.path());
        QVERIFY(nomix.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += nomix.readAllStandardOutput()).contains("ready") || nomix.state() != QProcess::Running, 60000);
        ::kill(pid_t(nomix.processId()), SIGTERM);
        QVERIFY(nomix.waitForFinished(30000));
        QCOMPARE(nomix.exitCode(), 0);
        QStringList records = recordsOf(readAll(fresh.filePath(QStringLiteral("nomix.tmp"))), QStringLiteral("frmNOMIX"));
        QVERIFY2(holdsInOrder(records, {"Input: 6*7", "Answer: 42"}), qPrintable(records.join('|')));
        QVERIFY(!QFileInfo::exists(fresh.filePath(QStringLiteral("nomix.def"))));
    }

    // A start-up script stopped at an error box: SIGTERM answers the box, lets
    // the script end and saves the session; the program does not hang.
    void signalWhileABoxWaits() {
        QTemporaryDir boxHome;
        QByteArray script = readAll(QStringLiteral(NOMIX_SOURCE_DIR "/data/Nomix.nx"));
        script += "\r\nSetInput('Expression', '6*7', 0)\r\nSendKey('Expression', '{ENTER}')\r\n"
                  "SetInput('Expression', 'nosuchname + 1', 0)\r\nSendKey('Expression', '{ENTER}')\r\n";
        QVERIFY(writeFile(boxHome.filePath(QStringLiteral("Nomix.nx")), script));
        QVERIFY(writeFile(boxHome.filePath(QStringLiteral("nomix.def")), "[Other]\r\nSession Recall=True\r\n"));
        QProcess nomix;
        startOffscreen(nomix, boxHome.path());
        QVERIFY(nomix.waitForStarted());
        // The box holds the script, so "ready" never comes: give it time to get there.
        QTest::qWait(3000);
        QVERIFY(!nomix.readAllStandardOutput().contains("ready"));
        ::kill(pid_t(nomix.processId()), SIGTERM);
        QVERIFY2(nomix.waitForFinished(30000), "nomix did not end on SIGTERM");
        QCOMPARE(nomix.exitStatus(), QProcess::NormalExit);
        QCOMPARE(nomix.exitCode(), 0);
        QStringList records = recordsOf(readAll(boxHome.filePath(QStringLiteral("nomix.tmp"))), QStringLiteral("frmNOMIX"));
        QVERIFY2(holdsInOrder(records, {"Input: 6*7", "Answer: 42", "Input: nosuchname + 1"}), qPrintable(records.join('|')));
    }
};

QTEST_MAIN(Program)
#include "tst_program.moc"
