// Sessions: "nomix.tmp" written on exit and recalled at start-up, damaged
// files that must not stop the program, and the real nomix closing on
// SIGTERM as File > Exit closes it.
#include <QProcess>
#include <QTextStream>

#include <csignal>

#include "guitest.h"

using namespace guitest;

class Sessions : public QObject {
    Q_OBJECT
    std::unique_ptr<Session> s;

private slots:
    void initTestCase() { s = start("[Other]\r\nSession Recall=True\r\n"); }

    // Exit writes the windows and their contents; the next main window recalls them.
    void roundTrip() {
        calculate(s->main, "r = 3");
        calculate(s->main, "r * 2");
        inputLine(s->main)->setEditText(QStringLiteral("unfinished"));
        choose(s->main, "mnuMiscellaneous");
        QStringList answers = s->main->calculatorWindow()->answerLines();
        QStringList recall = s->main->calculatorWindow()->recallLines();
        QVERIFY(s->main->close());
        QByteArray tmp = readAll(QDir::current().filePath(QStringLiteral("nomix.tmp")));
        QVERIFY(tmp.contains("::MDInomix\r\n"));
        QVERIFY(tmp.contains("::frmNOMIX\r\n"));
        QVERIFY(tmp.contains("::frmOptions\r\n"));
        QVERIFY(readAll(QDir::current().filePath(QStringLiteral("nomix.def"))).contains("Session Recall=True"));

        s->main = s->program->openMainWindow();
        frmNOMIX *calc = s->main->calculatorWindow();
        QVERIFY(calc);
        QCOMPARE(calc->answerLines(), answers);
        QCOMPARE(calc->recallLines(), recall);
        QCOMPARE(calc->inputLine()->currentText(), QStringLiteral("unfinished"));
        QVERIFY(s->main->findChild<QWidget *>(QStringLiteral("frmOptions")));
        // The recalled lists are the calculation's: the next answer follows them.
        calculate(s->main, "r + 1");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 4"));
    }

    // Whatever nomix.tmp holds, the main window loads and recalls what it can.
    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("answers");
        QTest::newRow("garbage") << QByteArray("\x01\x02 not a session\r\n::\r\nzz\r\n") << QStringList{};
        QTest::newRow("truncated") << QByteArray("::frmNOMIX\r\n0\r\n2000\r\n7000\r\n0\r\n0\r\n1\r\n1+1\r\n5\r\nInput: 1+1\r\nAnswer: 2")
                                   << QStringList{"Input: 1+1", "Answer: 2"};
        QTest::newRow("huge count") << QByteArray("::frmNOMIX\r\n2\r\n999999999\r\n") << QStringList{};
        QTest::newRow("unknown window") << QByteArray("::frmNoSuchWindow\r\n0\r\n1\r\n1\r\n1\r\n1\r\n") << QStringList{};
    }
    void damagedFiles() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, answers);
        s->main->close();
        QVERIFY(writeFile(QDir::current().filePath(QStringLiteral("nomix.tmp")), content));
        s->main = s->program->openMainWindow();
        QVERIFY(s->main->calculatorWindow());
        QStringList shown = s->main->calculatorWindow()->answerLines();
        for (const QString &line : answers) QVERIFY2(shown.contains(line), qPrintable(shown.join('|')));
        calculate(s->main, "2*21");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 42"));
    }

    // The real program, offscreen: SIGTERM closes it as Exit does, session saved.
    void sigtermSavesTheSession() {
        QTemporaryDir home;
        QVERIFY(writeFile(home.filePath(QStringLiteral("nomix.def")), "[Other]\r\nSession Recall=True\r\n"));
        QProcess nomix;
        startOffscreen(nomix, home.path());
        QVERIFY(nomix.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += nomix.readAllStandardOutput()).contains("ready") || nomix.state() != QProcess::Running, 20000);
        QVERIFY2(nomix.state() == QProcess::Running, nomix.readAllStandardError().constData());
        ::kill(pid_t(nomix.processId()), SIGTERM);
        QVERIFY(nomix.waitForFinished(20000));
        QCOMPARE(nomix.exitStatus(), QProcess::NormalExit);
        QCOMPARE(nomix.exitCode(), 0);
        QVERIFY(readAll(home.filePath(QStringLiteral("nomix.tmp"))).contains("::frmNOMIX\r\n"));
    }

    // Started, shown, painted and closed: the install test's check.
    void exitAfterStart() {
        QTemporaryDir home;
        QProcess nomix;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        nomix.setProcessEnvironment(env);
        nomix.start(nomixProgram(), {QStringLiteral("--home"), home.path(), QStringLiteral("--exit-after-start")});
        QVERIFY(nomix.waitForFinished(30000));
        QCOMPARE(nomix.exitCode(), 0);
    }

    // No display at all: one line says so and the terminal calculator answers.
    void withoutDisplay() {
        QTemporaryDir home;
        QProcess nomix;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(var));
        nomix.setProcessEnvironment(env);
        nomix.start(nomixProgram(), {QStringLiteral("--home"), home.path()});
        QVERIFY(nomix.waitForStarted());
        nomix.write("2+3\n");
        nomix.closeWriteChannel();
        QVERIFY(nomix.waitForFinished(30000));
        QVERIFY(nomix.readAllStandardOutput().contains("Answer: 5"));
        QByteArray err = nomix.readAllStandardError();
        QVERIFY2(err.startsWith("nomix: no display"), err.constData());
    }
};

QTEST_MAIN(Sessions)
#include "tst_session.moc"
